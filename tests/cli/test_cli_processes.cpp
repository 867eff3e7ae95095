#include "tests/cli/CliProcessFixture.h"
#include "tests/engines/postgresql/PgTestServer.h"

#include <QElapsedTimer>
#include <QSet>
#include <QThread>

using namespace corvanta;
using namespace corvanta::test;

namespace {

QSet<QString> scratchDatabases()
{
    const QString list = pgScalar(QStringLiteral(
        "SELECT string_agg(datname, ',') FROM pg_database WHERE datname LIKE 'corvanta\\_creating\\_%'"));
    const QStringList names = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return QSet<QString>(names.begin(), names.end());
}

bool pgDatabaseExists(const QString& name)
{
    return pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), name) == QStringLiteral("1");
}

// Waits until no session of a killed client is still at work in the creations' databases.
void waitForDeadSessions()
{
    for (int i = 0; i < 200; ++i) {
        if (pgScalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname LIKE 'corvanta\\_creating\\_%'")) ==
            QStringLiteral("0"))
            return;
        QThread::msleep(50);
    }
}

}  // namespace

// kill -9 at varying moments of accountset-create: whatever it left, the same name can be created
// next, and the next creation removes the dead creator's debris.
TEST_F(CliProcesses, KilledCreationOnTheServerNeverBlocksTheName)
{
    if (engine() != QLatin1String("postgresql"))
        GTEST_SKIP() << "the embedded engine's leftovers are tested in CliTest";
    ASSERT_EQ(run({"accountsets"}).code, 0);
    const QString base = uniqueDbName();
    const auto create = [&](const QString& name) {
        return QStringList{"accountset-create", "--admin", admin(), "--password", adminPassword(), "x", name};
    };
    QElapsedTimer timer;
    timer.start();
    const CliRun first = runProcess(create(base));
    const qint64 full = timer.elapsed();
    ASSERT_EQ(first.code, 0) << first.errLines.join('\n').toStdString();
    createdDbs << base;

    int landed = 0;
    for (int attempt = 0; attempt < 40 && landed < 3; ++attempt) {
        const QString name = base + QStringLiteral("_%1").arg(attempt);
        createdDbs << name;
        const QSet<QString> before = scratchDatabases();
        auto p = start(create(name));
        QThread::msleep(static_cast<unsigned long>(full * (25 + (attempt * 37) % 70) / 100));
        p->kill();
        p->waitForFinished(10000);
        if (p->exitStatus() == QProcess::NormalExit) {
            ASSERT_EQ(p->exitCode(), 0) << errLines(*p).join('\n').toStdString();
            continue;  // it finished before the kill
        }
        const QSet<QString> left = scratchDatabases() - before;
        // In the window: the database exists in some form, not registered.
        if (sysIdOf(name) == -1 && (pgDatabaseExists(name) || !left.isEmpty()))
            ++landed;
        waitForDeadSessions();
        const CliRun again = run(create(name));
        ASSERT_EQ(again.code, 0) << "attempt " << attempt << ": " << again.errLines.join('\n').toStdString();
        EXPECT_GT(sysIdOf(name), 0);
        for (const QString& scratch : left)
            EXPECT_FALSE(pgDatabaseExists(scratch)) << scratch.toStdString();
        EXPECT_EQ(pgScalar(QStringLiteral("SELECT shobj_description(oid, 'pg_database') FROM pg_database WHERE datname = $1"),
                           name),
                  QString());
    }
    EXPECT_GE(landed, 1) << "no kill landed between the database's creation and its registration";
}
