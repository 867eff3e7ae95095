#include "setup/InstallSteps.h"
#include "tests/setup/SzddPack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace setup;
using setup::test::SzddPack;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
    f.write(bytes);
}

// Text with enough repetition for back-references, longer than the expander's window.
QByteArray Sample(const QByteArray& seed, int size = 9000)
{
    QByteArray out;
    for (int i = 0; out.size() < size; ++i)
        out += seed + QByteArray::number(i % 37) + (i % 5 ? "," : "\n");
    return out.left(size);
}

const char* const kSources[] = {"az.ex_", "nhsetup.dl_", "ntdriver.dl_", "tavikp.dl_"};

// A medium folder with a packed file for each source, and "c:\" and the Windows folder apart.
struct Medium {
    QTemporaryDir root;
    QString medium = root.path() + "/medium";
    SystemFolders folders{root.path() + "/c", root.path() + "/c/windows"};
    QByteArray contents[4];
    std::vector<std::pair<QString, QStringList>> started;
    QStringList messages;

    Medium() { QDir().mkpath(medium); }
    void pack(const QByteArray& seed)
    {
        for (int i = 0; i < 4; ++i) {
            contents[i] = Sample(seed + kSources[i]);
            WriteAll(medium + "/" + kSources[i], SzddPack(contents[i]));
        }
    }
    InstallSeams seams()
    {
        return {[this](const QString& p, const QStringList& a) { started.emplace_back(p, a); return true; },
                [this](const QString& caption, const QString& text) { messages << caption + ": " + text; }};
    }
    int run() { return RunInstallSteps(medium + "/setup", folders, seams()); }
    QStringList destinations() const
    {
        return {folders.systemDrive + "/tavik$$$/mssetup.exe", folders.windowsFolder + "/nhsetup.dll",
                folders.windowsFolder + "/ntdriver.dll", folders.windowsFolder + "/tavikp.dll"};
    }
};

}  // namespace

TEST(SetupHandOver, MediumFolderIsThePathUpToTheLastSeparator)
{
    EXPECT_EQ(MediumFolder("D:\\setup.exe", u'\\'), "D:");
    EXPECT_EQ(MediumFolder("D:\\disk1\\setup.exe", u'\\'), "D:\\disk1");
    EXPECT_EQ(MediumFolder("setup.exe", u'\\'), "");
    EXPECT_EQ(MediumFolder("/media/cdrom/setup", u'/'), "/media/cdrom");
    EXPECT_EQ(MediumFolder("/setup", u'/'), "");  // "/" + "az.ex_" still names the root's file
}

TEST(SetupHandOver, RecordIsTheFolderInGbkZeroPaddedToOneHundredBytes)
{
    // Started from the root of drive D.
    QByteArray root("D:");
    root.append(98, '\0');
    EXPECT_EQ(HandOverRecord("D:"), root);
    QTemporaryDir dir;
    const QString file = dir.path() + "/parm.txt";
    WriteAll(file, QByteArray(300, 'x'));  // an older, longer file is replaced whole
    ASSERT_TRUE(WriteHandOverFile(file, *HandOverRecord("D:")));
    EXPECT_EQ(ReadAll(file), root);

    // Chinese folder names count two bytes a character.
    const std::optional<QByteArray> chinese = HandOverRecord(QString::fromUtf8("D:\\安装盘"));
    ASSERT_TRUE(chinese);
    EXPECT_EQ(chinese->left(10), QByteArray("D:\\\xB0\xB2\xD7\xB0\xC5\xCC\0", 10));
    EXPECT_EQ(chinese->size(), 100);

    // 99 bytes leave the one terminating zero; 100 bytes do not fit, nor do 50 Chinese characters.
    const QString fits(99, u'a');
    EXPECT_EQ(HandOverRecord(fits), fits.toLatin1() + QByteArray(1, '\0'));
    EXPECT_FALSE(HandOverRecord(QString(100, u'a')));
    EXPECT_FALSE(HandOverRecord(QString(50, QChar(0x5B89))));
    EXPECT_TRUE(HandOverRecord(QString(49, QChar(0x5B89)) + "a"));
    // A character outside GBK would reach the installer as bytes it cannot read.
    EXPECT_FALSE(HandOverRecord(QString::fromUtf8("/media/\xF0\x9F\x93\x80")));
    EXPECT_FALSE(HandOverRecord(QString::fromUtf8("/media/\xF0\xA0\x80\x80")));
}

TEST(SetupExpand, PackedSourcesAreExpandedOthersCopiedAsTheyAre)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    const QByteArray text = Sample("packed line ");
    const QByteArray packed = SzddPack(text);
    ASSERT_LT(packed.size(), text.size() / 2);  // the packer really used back-references
    WriteAll(d + "/a.ex_", packed);
    EXPECT_EQ(ExpandFile(d + "/a.ex_", d + "/a.exe"), ExpandResult::Expanded);
    EXPECT_EQ(ReadAll(d + "/a.exe"), text);

    // Unpacked sources, short ones and one that only starts like a packed file, byte for byte.
    for (const QByteArray& plain : {QByteArray("MZ\x90\0\x03", 5), QByteArray("SZDD but not packed"),
                                    QByteArray(), Sample("plain ", 70000)}) {
        WriteAll(d + "/p.dl_", plain);
        EXPECT_EQ(ExpandFile(d + "/p.dl_", d + "/p.dll"), ExpandResult::Copied);
        EXPECT_EQ(ReadAll(d + "/p.dll"), plain);
    }

    // An existing destination is overwritten; a missing source leaves it alone.
    WriteAll(d + "/a.exe", QByteArray(20000, 'o'));
    EXPECT_EQ(ExpandFile(d + "/a.ex_", d + "/a.exe", true), ExpandResult::Expanded);
    EXPECT_EQ(ReadAll(d + "/a.exe"), text);
    EXPECT_TRUE(QFileInfo(d + "/a.exe").isExecutable());
    EXPECT_EQ(ExpandFile(d + "/none.ex_", d + "/a.exe"), ExpandResult::SourceMissing);
    EXPECT_EQ(ReadAll(d + "/a.exe"), text);
    EXPECT_EQ(ExpandFile(d + "/none.ex_", d + "/new.exe"), ExpandResult::SourceMissing);
    EXPECT_FALSE(QFile::exists(d + "/new.exe"));
    EXPECT_EQ(ExpandFile(d, d + "/dir.exe"), ExpandResult::SourceMissing);  // a folder is no source

    // A packed file cut inside its header fails without touching the destination or leaving scraps.
    WriteAll(d + "/cut.ex_", packed.left(11));
    EXPECT_EQ(ExpandFile(d + "/cut.ex_", d + "/a.exe"), ExpandResult::Failed);
    EXPECT_EQ(ReadAll(d + "/a.exe"), text);
    EXPECT_EQ(QDir(d).entryList(QDir::Files).size(), 5) << qPrintable(QDir(d).entryList(QDir::Files).join(' '));
}

TEST(SetupSteps, RunPlacesAllFourFilesWritesTheHandOverAndStartsTheInstaller)
{
    Medium m;
    m.pack("first ");
    EXPECT_EQ(m.run(), 0);
    EXPECT_TRUE(m.messages.isEmpty());

    QByteArray record = QFile::encodeName(m.medium);
    record.append(100 - record.size(), '\0');
    EXPECT_EQ(ReadAll(m.folders.systemDrive + "/parm.txt"), record);
    const QStringList dest = m.destinations();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ReadAll(dest[i]), m.contents[i]) << qPrintable(dest[i]);
    ASSERT_EQ(m.started.size(), 1u);
    EXPECT_EQ(m.started[0].first, dest[0]);
    EXPECT_TRUE(m.started[0].second.isEmpty());
    EXPECT_TRUE(QFileInfo(dest[0]).isExecutable());

    // A second run, with new files on the medium, overwrites the hand-over file and all four.
    m.pack("second ");
    WriteAll(m.folders.systemDrive + "/parm.txt", QByteArray(4096, 'z'));
    EXPECT_EQ(m.run(), 0);
    EXPECT_EQ(ReadAll(m.folders.systemDrive + "/parm.txt"), record);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ReadAll(dest[i]), m.contents[i]) << qPrintable(dest[i]);
    EXPECT_EQ(m.started.size(), 2u);
}

TEST(SetupSteps, EveryStepRunsWhenASourceIsMissingOrUnpacked)
{
    Medium m;
    m.pack("x ");
    QFile::remove(m.medium + "/ntdriver.dl_");
    WriteAll(m.medium + "/tavikp.dl_", "plain library");
    EXPECT_EQ(m.run(), 0);
    const QStringList dest = m.destinations();
    EXPECT_EQ(ReadAll(dest[0]), m.contents[0]);
    EXPECT_EQ(ReadAll(dest[1]), m.contents[1]);
    EXPECT_FALSE(QFile::exists(dest[2]));
    EXPECT_EQ(ReadAll(dest[3]), "plain library");
    EXPECT_EQ(m.started.size(), 1u);
}

TEST(SetupSteps, FoldersBeyondTheLimitsStopTheRunWithAMessageBeforeAnyWrite)
{
    // The medium folder: 100 bytes or more.
    Medium m;
    m.pack("x ");
    const QString longMedium = m.medium + "/" + QString(99 - m.medium.size(), u'm');
    ASSERT_EQ(QFile::encodeName(longMedium).size(), 100);
    EXPECT_EQ(RunInstallSteps(longMedium + "/setup", m.folders, m.seams()), 1);
    ASSERT_EQ(m.messages.size(), 1);
    EXPECT_TRUE(m.messages[0].startsWith(QString::fromUtf8("错误: 安装盘文件夹的路径太长（100 字节）")))
        << qPrintable(m.messages[0]);
    EXPECT_TRUE(m.messages[0].contains(longMedium));
    EXPECT_FALSE(QFile::exists(m.folders.systemDrive));
    EXPECT_TRUE(m.started.empty());

    // The Windows folder: no cut path, nothing unpacked anywhere.
    m.messages.clear();
    m.started.clear();
    m.folders.windowsFolder = m.root.path() + "/" + QString(100, u'w');
    EXPECT_EQ(m.run(), 1);
    ASSERT_EQ(m.messages.size(), 1);
    EXPECT_TRUE(m.messages[0].contains(QString::fromUtf8("Windows 文件夹的路径太长"))) << qPrintable(m.messages[0]);
    EXPECT_TRUE(m.messages[0].contains("CORVANTA_SETUP_WINDOWS"));
    EXPECT_FALSE(QFile::exists(m.folders.systemDrive));
    EXPECT_FALSE(QFile::exists(m.folders.windowsFolder));
    EXPECT_TRUE(m.started.empty());
}
