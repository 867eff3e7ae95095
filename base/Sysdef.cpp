#include "base/Sysdef.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace corvanta {

namespace {
QString& appDirOverride()
{
    static QString dir;
    return dir;
}
QString& returnValueName()
{
    static QString name = QStringLiteral("RETURN_VALUE");
    return name;
}
QString withoutTrailingSeparator(QString dir)
{
    while (dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}
}  // namespace

QString GetAppDir()
{
    if (!appDirOverride().isNull())
        return appDirOverride();
    QString dir = QCoreApplication::applicationDirPath();
    QString canonical = QFileInfo(dir).canonicalFilePath();
    return withoutTrailingSeparator(canonical.isEmpty() ? dir : canonical);
}

QString GetDataDir()
{
    return GetAppDir() + QStringLiteral("/data");
}

void SetAppDirForTesting(const QString& dir)
{
    if (dir.isNull()) {
        appDirOverride() = QString();
        return;
    }
    QString canonical = QFileInfo(dir).canonicalFilePath();
    appDirOverride() = withoutTrailingSeparator(canonical.isEmpty() ? dir : canonical);
    if (appDirOverride().isNull())
        appDirOverride() = QStringLiteral("");
}

QString FindFileNoCase(const QString& dir, const QString& name)
{
    const QString exact = dir + QLatin1Char('/') + name;
    if (QFileInfo::exists(exact))
        return exact;
    QDir d(dir.isEmpty() ? QStringLiteral("/") : dir);
    const QStringList entries = d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir + QLatin1Char('/') + entry;
    return exact;
}

QString ConfigPath()
{
    return FindFileNoCase(GetAppDir(), QStringLiteral("Config.cfg"));
}

const QString& ReturnValueName()
{
    return returnValueName();
}

void SetReturnValueName(const QString& name)
{
    returnValueName() = name;
}

}  // namespace corvanta
