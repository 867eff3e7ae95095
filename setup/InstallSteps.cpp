#include "setup/InstallSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryFile>

#include <mspack.h>

#include <filesystem>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

namespace setup {

namespace {

const QString kCaption = QString::fromUtf8("错误");

// The first eight bytes of a file packed by the system's compress tool.
const QByteArray kSzddMagic("SZDD\x88\xF0\x27\x33", 8);

bool IsSzdd(QFile& file)
{
    return file.peek(kSzddMagic.size()) == kSzddMagic;
}

std::filesystem::path FsPath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Moves a finished temporary file over the destination in one step.
bool Replace(QTemporaryFile& temp, const QString& destination, bool executable)
{
    QFileDevice::Permissions perms = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                     | QFileDevice::ReadOther;
    if (executable)
        perms |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    temp.setPermissions(perms);
    temp.close();
    std::error_code ec;
    std::filesystem::rename(FsPath(temp.fileName()), FsPath(destination), ec);
    if (ec)
        return false;
    temp.setAutoRemove(false);
    return true;
}

bool ExpandSzdd(const QString& source, QTemporaryFile& temp)
{
    std::unique_ptr<msszdd_decompressor, void (*)(msszdd_decompressor*)> lz(
        mspack_create_szdd_decompressor(nullptr), mspack_destroy_szdd_decompressor);
    if (!lz)
        return false;
    const QByteArray in = QFile::encodeName(source);
    const QByteArray out = QFile::encodeName(temp.fileName());
    return lz->decompress(lz.get(), in.constData(), out.constData()) == MSPACK_ERR_OK;
}

bool Copy(QFile& source, QTemporaryFile& temp)
{
    char buf[64 * 1024];
    for (;;) {
        const qint64 n = source.read(buf, sizeof buf);
        if (n < 0)
            return false;
        if (n == 0)
            return temp.flush();
        if (temp.write(buf, n) != n)
            return false;
    }
}

QString TooLongFolder(const QString& what, qsizetype bytes, const QString& folder)
{
    return QString::fromUtf8("%1的路径太长（%2 字节），安装程序只能接受 %3 字节以内的路径：\n%4")
        .arg(what)
        .arg(bytes)
        .arg(kHandOverSize - 1)
        .arg(folder);
}

}  // namespace

QString MediumFolder(const QString& programPath, QChar separator)
{
    const qsizetype cut = programPath.lastIndexOf(separator);
    return cut < 0 ? QString() : programPath.left(cut);
}

std::optional<QByteArray> ToCodePage(const QString& text)
{
#ifdef _WIN32
    QStringEncoder enc(QStringConverter::System);
#else
    QStringEncoder enc("GB18030");
#endif
    QByteArray bytes = enc(text);
    if (enc.hasError())
        return std::nullopt;
#ifndef _WIN32
    // GB18030 four-byte sequences (second byte a digit) are outside GBK: the engine cannot read them.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80)
            continue;
        if (i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '9')
            return std::nullopt;
        ++i;
    }
#endif
    return bytes;
}

std::optional<QByteArray> HandOverRecord(const QString& mediumFolder)
{
    std::optional<QByteArray> bytes = ToCodePage(mediumFolder);
    if (!bytes || bytes->size() >= kHandOverSize)
        return std::nullopt;
    bytes->append(QByteArray(kHandOverSize - bytes->size(), '\0'));
    return bytes;
}

bool WriteHandOverFile(const QString& path, const QByteArray& record)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(record);
    return file.commit();
}

ExpandResult ExpandFile(const QString& source, const QString& destination, bool executable)
{
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly))
        return ExpandResult::SourceMissing;
    QTemporaryFile temp(destination + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return ExpandResult::Failed;
    const bool packed = IsSzdd(in);
    const bool done = packed ? ExpandSzdd(source, temp) : Copy(in, temp);
    if (!done || !Replace(temp, destination, executable))
        return ExpandResult::Failed;
    return packed ? ExpandResult::Expanded : ExpandResult::Copied;
}

InstallPaths PathsFor(const QString& mediumFolder, const SystemFolders& folders)
{
    const QString sep(kSeparator);
    InstallPaths p;
    p.handOverFile = folders.systemDrive + sep + QStringLiteral("parm.txt");
    p.scratchFolder = folders.systemDrive + sep + QStringLiteral("tavik$$$");
    p.installer = p.scratchFolder + sep + QStringLiteral("mssetup.exe");
    p.items[0] = {mediumFolder + sep + QStringLiteral("az.ex_"), p.installer};
    p.items[1] = {mediumFolder + sep + QStringLiteral("nhsetup.dl_"), folders.windowsFolder + sep + QStringLiteral("nhsetup.dll")};
    p.items[2] = {mediumFolder + sep + QStringLiteral("ntdriver.dl_"), folders.windowsFolder + sep + QStringLiteral("ntdriver.dll")};
    p.items[3] = {mediumFolder + sep + QStringLiteral("tavikp.dl_"), folders.windowsFolder + sep + QStringLiteral("tavikp.dll")};
    return p;
}

int RunInstallSteps(const QString& programPath, const SystemFolders& folders, const InstallSeams& seams)
{
    // 1, 2: the medium folder and the Windows folder.
    const QString medium = MediumFolder(programPath);
    const QString windows = folders.windowsFolder;

    // Both limits are checked before anything is written: a cut path would unpack into, or
    // point the installer at, the wrong folder.
    const std::optional<QByteArray> record = HandOverRecord(medium);
    if (!record) {
        const std::optional<QByteArray> bytes = ToCodePage(medium);
        seams.showMessage(kCaption, bytes ? TooLongFolder(QString::fromUtf8("安装盘文件夹"), bytes->size(), medium)
                                          : QString::fromUtf8("安装盘文件夹的路径中有安装程序无法识别的字符：\n%1\n"
                                                              "请把安装文件复制到名称只含中文、字母和数字的文件夹后再运行。")
                                                .arg(medium));
        return 1;
    }
    const std::optional<QByteArray> windowsBytes = ToCodePage(windows);
    if (!windowsBytes || windowsBytes->size() >= kWindowsFolderLimit) {
        QString text = windowsBytes ? TooLongFolder(QString::fromUtf8("Windows 文件夹"), windowsBytes->size(), windows)
                                    : QString::fromUtf8("Windows 文件夹的路径中有安装程序无法识别的字符：\n%1").arg(windows);
#ifndef _WIN32
        text += QString::fromUtf8("\n可用环境变量 CORVANTA_SETUP_WINDOWS 指定另一个文件夹。");
#endif
        seams.showMessage(kCaption, text);
        return 1;
    }

    const InstallPaths paths = PathsFor(medium, folders);
    // Where "c:\" and the Windows folder are ordinary folders they may not exist yet.
    QDir().mkpath(folders.systemDrive);
    QDir().mkpath(windows);

    // 3: the hand-over file; 4: the scratch folder (an existing one is no error).
    WriteHandOverFile(paths.handOverFile, *record);
    QDir().mkpath(paths.scratchFolder);

    // 5-8: the installer engine and the three libraries, each whatever became of the others.
    for (int i = 0; i < 4; ++i)
        ExpandFile(paths.items[i].source, paths.items[i].destination, i == 0);

    // 9: the installer, not waited for and its start not checked.
    seams.startDetached(paths.installer, {});
    return 0;
}

SystemFolders SystemFoldersFromEnvironment()
{
#ifdef _WIN32
    SystemFolders f;
    f.systemDrive = QStringLiteral("c:");
    wchar_t buf[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryW(buf, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH)
        f.windowsFolder = QString::fromWCharArray(buf, static_cast<int>(n));
    return f;
#else
    SystemFolders f;
    f.systemDrive = qEnvironmentVariable("CORVANTA_SETUP_DRIVE_C");
    if (f.systemDrive.isEmpty())
        f.systemDrive = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                        + QStringLiteral("/corvanta-setup/drive_c");
    while (f.systemDrive.size() > 1 && f.systemDrive.endsWith(kSeparator))
        f.systemDrive.chop(1);
    f.windowsFolder = qEnvironmentVariable("CORVANTA_SETUP_WINDOWS");
    if (f.windowsFolder.isEmpty())
        f.windowsFolder = f.systemDrive + QStringLiteral("/windows");
    while (f.windowsFolder.size() > 1 && f.windowsFolder.endsWith(kSeparator))
        f.windowsFolder.chop(1);
    return f;
#endif
}

}  // namespace setup
