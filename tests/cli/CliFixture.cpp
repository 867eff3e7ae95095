#include "tests/cli/CliFixture.h"

#include "base/Sysdef.h"
#include "cli/CliApp.h"
#include "connection/UDMData.h"
#include "base/Gbk.h"
#include "base/TextHelpers.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>

namespace corvanta::test {

QStringList CliRun::lines() const
{
    QStringList l = out.split(QLatin1Char('\n'));
    if (!l.isEmpty() && l.back().isEmpty())
        l.removeLast();
    return l;
}

namespace {
QString engineAdmin()
{
    return testEngine() == QLatin1String("postgresql") ? qEnvironmentVariable("PGUSER")
                                                         : QStringLiteral("sa");
}
QString engineAdminPassword()
{
    return testEngine() == QLatin1String("postgresql") ? qEnvironmentVariable("PGPASSWORD") : QString();
}
}  // namespace

void CliTest::SetUp()
{
    savedReturnValueName = ReturnValueName();
    dir = std::make_unique<TempProgramDir>();
    dir->copyShippedData();
    dir->writeConfig(EngineConfig(engine()));
    if (engine() == QLatin1String("postgresql")) {
        CORVANTA_REQUIRE_PG();
        server = *PgDataSource();
    } else {
        server = QStringLiteral("local");
    }
}

void CliTest::TearDown()
{
    for (const QString& db : createdDbs) {
        int id = sysIdOf(db);
        if (id > 0)
            run({QStringLiteral("accountset-delete"), QStringLiteral("--admin"), admin(),
                 QStringLiteral("--password"), adminPassword(), QString::number(id)});
    }
    dir.reset();
    SetReturnValueName(savedReturnValueName);
}

QString CliTest::admin()
{
    return engineAdmin();
}

QString CliTest::adminPassword()
{
    return engineAdminPassword();
}

CliRun CliTest::run(QStringList args)
{
    if (!args.contains(QStringLiteral("--server")))
        args = QStringList{QStringLiteral("--server"), server} + args;
    CliRun r;
    QString err;
    QTextStream out(&r.out);
    QTextStream errStream(&err);
    r.code = cli::runCli(args, out, errStream);
    r.errLines = err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return r;
}

QString CliTest::uniqueDbName()
{
    return QStringLiteral("cli_%1_%2")
        .arg(QDateTime::currentMSecsSinceEpoch())
        .arg(QRandomGenerator::global()->bounded(1000000));
}

void CliTest::createAccountSet(const QString& name, const QString& dbName)
{
    CliRun r = run({QStringLiteral("accountset-create"), QStringLiteral("--admin"), admin(),
                    QStringLiteral("--password"), adminPassword(), name, dbName});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    createdDbs << dbName;
}

namespace {
std::unique_ptr<TDMData> openAccountSet(const QString& server, const QString& dbName)
{
    auto dm = std::make_unique<TDMData>();
    dm->Connect(server, engineAdmin(), engineAdminPassword(), testEngine());
    dm->ADOConnection.SetDefaultDatabase(dbName);
    return dm;
}
}  // namespace

std::unique_ptr<TDMData> CliTest::accountSet(const QString& dbName) const
{
    return openAccountSet(server, dbName);
}

void CliTest::addOutlet(const QString& dbName, const QString& id, const QString& name)
{
    auto dm = openAccountSet(server, dbName);
    const QString empty;
    int rc = dm->CallProc(dm->ADOSProc, QStringLiteral("hz_InsertNet"),
                          {{"@ID", id}, {"@AGENTNAME", name}, {"@AGENTTYPE", empty}, {"@TELEPHONE", empty},
                           {"@FAX", empty}, {"@ADDRESS", empty}, {"@LINKMAN", empty}});
    ASSERT_EQ(rc, 0);
}

void CliTest::runAccountSetSql(const QString& dbName, const QString& sql)
{
    auto dm = openAccountSet(server, dbName);
    dm->RunScript(sql);
}

std::vector<QStringList> CliTest::queryRows(const QString& dbName, const QString& proc,
                                            const std::vector<std::pair<QString, QVariant>>& values,
                                            const QStringList& fields)
{
    auto dm = openAccountSet(server, dbName);
    dm->CallProc(dm->ADOSProc, proc, values, true);
    std::vector<QStringList> rows;
    for (; !dm->ADOSProc.Eof(); dm->ADOSProc.Next()) {
        QStringList row;
        for (const QString& f : fields)
            row << dm->ADOSProc.FieldText(f);
        rows.push_back(row);
    }
    return rows;
}

QString CliTest::writeGbkFile(const QString& name, const QString& text)
{
    const QString path = dir->path() + QLatin1Char('/') + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(gbk::encode(text));
    return path;
}

int CliTest::sysIdOf(const QString& dbName)
{
    CliRun r = run({QStringLiteral("accountsets")});
    for (const QString& line : r.lines()) {
        QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() == 4 && cells[2] == dbName)
            return cells[3].toInt();
    }
    return -1;
}

}  // namespace corvanta::test
