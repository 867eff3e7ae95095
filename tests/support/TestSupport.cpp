#include "tests/support/TestSupport.h"

#include "base/Sysdef.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace corvanta::test {

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

TempProgramDir::TempProgramDir() : m_dir(std::make_unique<QTemporaryDir>())
{
    QDir(m_dir->path()).mkpath(QStringLiteral("data"));
    SetAppDirForTesting(m_dir->path());
}

TempProgramDir::~TempProgramDir()
{
    SetAppDirForTesting(QString());
}

QString TempProgramDir::path() const
{
    return GetAppDir();
}

QString TempProgramDir::dataDir() const
{
    return GetDataDir();
}

void TempProgramDir::writeConfig(const QByteArray& bytes) const
{
    QFile f(path() + QStringLiteral("/Config.cfg"));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

namespace {
bool isShippedDataFile(const QString& rel)
{
    if (rel.startsWith(QStringLiteral("deleted/")))
        return false;
    for (const char* suffix : {".db", ".db-wal", ".db-shm", ".db-journal", ".dbf", ".tmp"})
        if (rel.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return false;
    return true;
}
}  // namespace

void TempProgramDir::copyShippedData() const
{
    QString programDir = qEnvironmentVariable("CORVANTA_PROGRAM_DIR");
    if (programDir.isEmpty())
        programDir = QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR);
    const QString from = programDir + QStringLiteral("/data");
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString rel = QDir(from).relativeFilePath(src);
        // Only what ships: running the program from the build tree leaves its databases, print
        // tables and deleted sets in the same folder, and a test must not start with them.
        if (!isShippedDataFile(rel))
            continue;
        const QString dst = dataDir() + QLatin1Char('/') + rel;
        QDir().mkpath(QFileInfo(dst).path());
        QFile::remove(dst);
        QFile::copy(src, dst);
    }
}

bool InCi()
{
    return !qEnvironmentVariable("CI").isEmpty();
}

std::optional<QString> PgDataSource()
{
    const QString host = qEnvironmentVariable("PGHOST");
    if (host.isEmpty())
        return std::nullopt;
    const QString port = qEnvironmentVariable("PGPORT");
    return port.isEmpty() ? host : host + QLatin1Char(':') + port;
}

QByteArray EngineConfig(const QString& engine)
{
    QByteArray cfg = "[SQLVERSION]\nVERSION=8.0\n[SYSTEM]\nENGINE=" + engine.toUtf8() + "\n";
    if (engine == QLatin1String("postgresql")) {
        cfg += "USER=" + qEnvironmentVariable("PGUSER").toUtf8() + "\n";
        cfg += "PASSWORD=" + qEnvironmentVariable("PGPASSWORD").toUtf8() + "\n";
    }
    return cfg;
}

QString RecordingMessages::superMsg(const QString& caption, const QString& text, const QString& buttons,
                                    const QString& /*options*/, const QString& icon)
{
    messages.push_back({QStringLiteral("superMsg"), caption, text, buttons, icon});
    if (answers.empty())
        return QString();
    QString a = answers.front();
    answers.pop_front();
    return a;
}

void RecordingMessages::systemBox(const QString& caption, const QString& text)
{
    messages.push_back({QStringLiteral("systemBox"), caption, text, QStringLiteral("myok"), QString()});
}

QStringList RecordingMessages::texts() const
{
    QStringList out;
    for (const auto& m : messages)
        out << m.caption + QStringLiteral(": ") + m.text;
    return out;
}

}  // namespace corvanta::test
