#include "base/AtomicFile.h"

#include "base/Sysdef.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstring>
#include <filesystem>
#include <system_error>
#include <type_traits>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace corvanta {

namespace {

// The path the file's content really lives at: links followed, also for a file not there yet.
QString resolvedPath(const QString& file)
{
    QFileInfo fi(file);
    for (int hops = 0; fi.isSymLink() && hops < 40; ++hops)
        fi = QFileInfo(fi.symLinkTarget());
    if (fi.exists())
        return fi.canonicalFilePath();
    const QString dir = QFileInfo(fi.absolutePath()).canonicalFilePath();
    return dir.isEmpty() ? fi.absoluteFilePath() : dir + QLatin1Char('/') + fi.fileName();
}

QString canonicalOrSelf(const QString& path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QFileInfo(path).absoluteFilePath() : c;
}

bool isInside(const QString& path, const QString& dir)
{
    return !dir.isEmpty() && (path == dir || path.startsWith(dir + QLatin1Char('/')));
}

bool isProgramFileName(const QFileInfo& fi)
{
    static const QStringList names{QStringLiteral("corvanta"), QStringLiteral("corvanta-cli"),
                                   QStringLiteral("PRINT.EXE"), QStringLiteral("setup")};
    for (const QString& n : names)
        if (fi.fileName().compare(n, Qt::CaseInsensitive) == 0)
            return true;
    static const QStringList suffixes{QStringLiteral("so"), QStringLiteral("dll"), QStringLiteral("exe"),
                                      QStringLiteral("dylib")};
    if (suffixes.contains(fi.suffix().toLower()))
        return true;
    return fi.isFile() && fi.isExecutable();
}

// Qt's file device reports a write that went through only in part as done, and a full disk
// can cut a buffered file that way: every write goes to the file at once, and a short one is
// retried for the rest and recorded with its cause.
template <class Write>
qint64 writeWhole(const char* data, qint64 len, QString& failure, const QFileDevice& device, Write write)
{
    qint64 done = 0;
    while (done < len) {
        errno = 0;
        const qint64 n = write(data + done, len - done);
        if (n <= 0) {
            if (failure.isEmpty())
                failure = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : device.errorString();
            return done > 0 ? done : -1;
        }
        done += n;
    }
    return done;
}

template <class File>
class CheckedFile : public File {
public:
    CheckedFile(const QString& name, QString* failure) : File(name), m_failure(failure) {}
    bool openForWriting()
    {
        return File::open((std::is_same_v<File, QTemporaryFile> ? QIODevice::ReadWrite : QIODevice::WriteOnly) |
                          QIODevice::Unbuffered);
    }

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        return writeWhole(data, len, *m_failure, *this,
                          [this](const char* d, qint64 n) { return File::writeData(d, n); });
    }

private:
    QString* m_failure;
};

bool syncToDisk(QFile& f)
{
#ifdef Q_OS_WIN
    return ::_commit(f.handle()) == 0;
#else
    return ::fsync(f.handle()) == 0;
#endif
}

}  // namespace

std::optional<QString> ProtectedTargetReason(const QString& file)
{
    const QString path = resolvedPath(file);
    const QString appDir = canonicalOrSelf(GetAppDir());
    if (isInside(path, canonicalOrSelf(FindFileNoCase(appDir, QStringLiteral("data")))))
        return QStringLiteral("它在本程序的数据文件夹里（目录、帐套和模板都在那里）");
    if (path == canonicalOrSelf(ConfigPath()))
        return QStringLiteral("它是本程序的配置文件 Config.cfg");
    const QFileInfo fi(path);
    if (QFileInfo(fi.absolutePath()).canonicalFilePath() == appDir) {
        if (fi.fileName().compare(QStringLiteral("Config.cfg"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("它是本程序的配置文件 Config.cfg");
        if (isProgramFileName(fi))
            return QStringLiteral("它是本程序自己的文件");
    }
    if (QCoreApplication::instance() && path == canonicalOrSelf(QCoreApplication::applicationFilePath()))
        return QStringLiteral("它是本程序自己的文件");
    return std::nullopt;
}

AtomicFile::AtomicFile(QString target, bool ownFile) : m_target(std::move(target)), m_ownFile(ownFile) {}

AtomicFile::~AtomicFile()
{
    if (m_file)
        m_file->close();
    if (!m_committed && !m_temp.isEmpty())
        QFile::remove(m_temp);
}

bool AtomicFile::setError(const QString& cause)
{
    m_failed = true;
    if (m_error.isEmpty())
        m_error = QStringLiteral("写入文件 %1 失败：%2").arg(m_target, cause);
    return false;
}

void AtomicFile::fail(const QString& cause)
{
    setError(cause);
}

bool AtomicFile::open()
{
    if (const auto reason = m_ownFile ? std::nullopt : ProtectedTargetReason(m_target)) {
        m_failed = true;
        m_error = QStringLiteral("不能写入文件 %1：%2").arg(m_target, *reason);
        return false;
    }
    m_final = resolvedPath(m_target);
    const QFileInfo fi(m_final);
    if (fi.isDir())
        return setError(QStringLiteral("它是一个文件夹"));
    if (fi.exists() && !fi.isFile()) {
        // A device or a pipe: its reader takes the bytes as they come; it cannot be replaced.
        m_stream = true;
        auto stream = std::make_unique<CheckedFile<QFile>>(m_final, &m_writeFailure);
        if (!stream->openForWriting())
            return setError(stream->errorString());
        m_file = std::move(stream);
        return true;
    }
    auto temp = std::make_unique<CheckedFile<QTemporaryFile>>(
        fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".XXXXXX"), &m_writeFailure);
    temp->setAutoRemove(false);
    if (!temp->openForWriting())
        return setError(QStringLiteral("不能在 %1 建立临时文件：%2").arg(fi.absolutePath(), temp->errorString()));
    m_temp = temp->fileName();
    m_file = std::move(temp);
    return true;
}

QString AtomicFile::pathForWriter()
{
    if (m_byName || !m_file)
        return m_temp;
    m_byName = true;
    if (m_stream) {
        // The writer wants a file it may seek in: it writes a scratch file, commit copies it.
        QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/corvanta-XXXXXX"));
        scratch.setAutoRemove(false);
        if (!scratch.open()) {
            setError(scratch.errorString());
            return QString();
        }
        m_temp = scratch.fileName();
        return m_temp;
    }
    m_file->close();
    return m_temp;
}

bool AtomicFile::commit()
{
    if (!m_file || m_committed)
        return m_committed;
    if (m_failed) {
        m_file->close();
        return false;
    }
    if (!m_writeFailure.isEmpty())
        return setError(m_writeFailure);
    if (m_byName && m_stream) {
        QFile scratch(m_temp);
        if (!scratch.open(QIODevice::ReadOnly))
            return setError(scratch.errorString());
        while (!scratch.atEnd()) {
            const QByteArray chunk = scratch.read(1 << 20);
            if (chunk.isEmpty() && scratch.error() != QFileDevice::NoError)
                return setError(scratch.errorString());
            if (m_file->write(chunk) != chunk.size())
                return setError(!m_writeFailure.isEmpty() ? m_writeFailure : m_file->errorString());
        }
    }
    if (m_byName && !m_stream) {
        QFile written(m_temp);
        if (!written.open(QIODevice::ReadWrite) || !syncToDisk(written))
            return setError(written.errorString());
    } else {
        if (!m_file->flush() || !m_writeFailure.isEmpty() || m_file->error() != QFileDevice::NoError)
            return setError(!m_writeFailure.isEmpty() ? m_writeFailure : m_file->errorString());
        if (!m_stream && !syncToDisk(*m_file))
            return setError(QString::fromLocal8Bit(std::strerror(errno)));
        m_file->close();
        if (m_file->error() != QFileDevice::NoError)
            return setError(m_file->errorString());
    }
    if (m_stream) {
        m_file->close();
        if (!m_temp.isEmpty())
            QFile::remove(m_temp);
        m_temp.clear();
        m_committed = true;
        return true;
    }
    const QFileInfo old(m_final);
    QFile::setPermissions(m_temp, old.exists() ? old.permissions()
                                               : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ReadGroup | QFileDevice::ReadOther);
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(m_temp.toStdU16String()),
                            std::filesystem::path(m_final.toStdU16String()), ec);
    if (ec)
        return setError(QString::fromLocal8Bit(ec.message().c_str()));
    m_committed = true;
    return true;
}

bool CheckedStream::openDescriptor(int fd)
{
    return QFile::open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
}

qint64 CheckedStream::writeData(const char* data, qint64 len)
{
    return writeWhole(data, len, m_failure, *this, [this](const char* d, qint64 n) { return QFile::writeData(d, n); });
}

bool WriteFileAtomically(const QString& file, const QByteArray& bytes, QString* error)
{
    AtomicFile f(file);
    if (f.open()) {
        if (f.device().write(bytes) != bytes.size())
            f.fail(f.device().errorString());
        if (f.commit())
            return true;
    }
    if (error)
        *error = f.error();
    return false;
}

}  // namespace corvanta
