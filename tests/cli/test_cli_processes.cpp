#include "tests/cli/CliProcessFixture.h"
#include "tests/engines/postgresql/PgTestServer.h"

#include "engines/embedded/Sqlite.h"
#include "base/Gbk.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <sqlite3.h>
#include <unistd.h>

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

// An outlet's sales file of n lines over 20 days and 50 products; its sums as stat shows them.
struct OutletFile {
    QString path;
    qint64 qty = 0;
    qint64 total = 0;  // in cents
};

OutletFile writeOutletFile(const QString& dir, int outlet, int n)
{
    OutletFile f;
    f.path = dir + QStringLiteral("/outlet%1.txt").arg(outlet);
    QByteArray text = gbk::encode(QString::fromUtf8("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n"));
    for (int i = 0; i < n; ++i) {
        const int qty = 1 + (i * 7 + outlet) % 13;
        const int cents = 100 + (i * 31 + outlet * 17) % 9000;
        f.qty += qty;
        f.total += cents;
        text += gbk::encode(QString::fromUtf8("商品%1,P%1,规格,型号,个,产地,2024-03-%2,%3,0.5,%4.%5,%6,11\r\n")
                                .arg(i % 50)
                                .arg(1 + i % 20, 2, 10, QLatin1Char('0'))
                                .arg(qty)
                                .arg(cents / 100)
                                .arg(cents % 100, 2, 10, QLatin1Char('0'))
                                .arg(outlet));
    }
    QFile out(f.path);
    if (out.open(QIODevice::WriteOnly))
        out.write(text);
    return f;
}

QString centsText(qint64 cents)
{
    QString t = QString::number(cents / 100);
    if (cents % 100)
        t += QStringLiteral(".%1").arg(cents % 100, 2, 10, QLatin1Char('0')).remove(QRegularExpression(QStringLiteral("0$")));
    return t;
}

// stat --mode N: outlet number -> (quantity, amount) as printed.
QMap<QString, QPair<QString, QString>> outletSums(const QString& tsv)
{
    QMap<QString, QPair<QString, QString>> sums;
    const QStringList lines = tsv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList c = lines[i].split(QLatin1Char('\t'));
        if (c.size() >= 5)
            sums[c[1]] = {c[3], c[4]};
    }
    return sums;
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
        waitForDeadSessions();
        if (sysIdOf(name) > 0) {
            // The kill came after the registration committed: a whole account set, whose name is
            // taken now.
            EXPECT_TRUE(pgDatabaseExists(name)) << "attempt " << attempt;
            const CliRun again = run(create(name));
            EXPECT_EQ(again.code, 1) << "attempt " << attempt << ": the name is registered already";
            continue;
        }
        // In the window: the database exists in some form, not registered.
        if (pgDatabaseExists(name) || !left.isEmpty())
            ++landed;
        const CliRun again = run(create(name));
        ASSERT_EQ(again.code, 0) << "attempt " << attempt << ": " << again.errLines.join('\n').toStdString();
        EXPECT_GT(sysIdOf(name), 0);
        // Tests running beside this one create account sets too: a scratch database whose creator
        // still holds its lock is theirs, not a leftover of the killed run.
        for (const QString& scratch : left) {
            const QString key = scratch.mid(int(qstrlen("corvanta_creating_")));
            const bool live = pgScalar(QStringLiteral("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND "
                                                      "granted AND objsubid = 2 AND classid = 72351105 AND objid = "
                                                      "$1::bigint"),
                                       key) != QStringLiteral("0");
            if (!live) {
                EXPECT_FALSE(pgDatabaseExists(scratch)) << scratch.toStdString();
            }
        }
        EXPECT_EQ(pgScalar(QStringLiteral("SELECT shobj_description(oid, 'pg_database') FROM pg_database WHERE datname = $1"),
                           name),
                  QString());
    }
    EXPECT_GE(landed, 1) << "no kill landed between the database's creation and its registration";
}

// A second import into an account set that another connection writes waits for it, says so once,
// and goes on when the writer is done; with the limit passed it fails naming the other's start.
TEST_F(CliProcesses, SecondImportWaitsForTheRunningOne)
{
    if (engine() != QLatin1String("embedded"))
        GTEST_SKIP() << "only the embedded engine has one writer per account set";
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("等待"), db);
    addOutlet(db, "1", QString::fromUtf8("甲店"));
    const OutletFile file = writeOutletFile(dir->path(), 1, 30);
    const QStringList import{"--account-set", db, "import", file.path};

    // The running import: it holds the write lock, its record says since when.
    auto other = sqlite::Db::open(dir->dataDir() + "/" + db + ".db", SQLITE_OPEN_READWRITE, 5000);
    other->exec("BEGIN IMMEDIATE");
    QFile record(dir->dataDir() + QStringLiteral("/.%1.import-%2").arg(db).arg(qint64(getpid())));
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.write("2026-03-01T08:15:30.000");
    record.close();
    const QString since = QString::fromUtf8("另一次导入（开始于 2026-03-01 08:15:30）");

    CliRun r = runProcess(import, {"CORVANTA_IMPORT_WAIT_SECONDS=1"});
    EXPECT_EQ(r.code, 1);
    const QString failed = since + QString::fromUtf8("仍在写入本帐套，已等待 1 秒，没有导入任何数据");
    EXPECT_EQ(r.errLines, (QStringList{QString::fromUtf8("[系统提示] ") + since + QString::fromUtf8("正在写入本帐套，正在等待它结束（最多 1 秒）……"),
                                       QString::fromUtf8("[系统提示] ") + failed + QString::fromUtf8("：") + file.path,
                                       file.path + ": " + failed}));

    auto p = start(import, {"CORVANTA_IMPORT_WAIT_SECONDS=120"});
    QString err;
    for (int i = 0; i < 300 && !err.contains(QString::fromUtf8("正在等待")); ++i) {
        p->waitForReadyRead(100);
        err += QString::fromUtf8(p->readAllStandardError());
    }
    ASSERT_TRUE(err.contains(QString::fromUtf8("正在等待"))) << err.toStdString();
    other->exec("COMMIT");
    ASSERT_TRUE(p->waitForFinished(60000));
    err += QString::fromUtf8(p->readAllStandardError());
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_EQ(err.split('\n', Qt::SkipEmptyParts),
              (QStringList{QString::fromUtf8("[系统提示] ") + since + QString::fromUtf8("正在写入本帐套，正在等待它结束（最多 2 分钟）……"),
                           QString::fromUtf8("[系统提示] 数据导入成功完成")}));

    // A killed import's record with its lock gone: no wait at all.
    record.setFileName(dir->dataDir() + QStringLiteral("/.%1.import-2147483000").arg(db));
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.close();
    r = runProcess(import, {"CORVANTA_IMPORT_WAIT_SECONDS=0"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.errLines, QStringList{QString::fromUtf8("[系统提示] 数据导入成功完成")});
    const auto sums = outletSums(run({"--account-set", db, "stat", "--mode", "N", "--from", "2024-01-01", "--to", "2024-12-31"}).out);
    EXPECT_EQ(sums.value("1"), qMakePair(QString::number(file.qty), centsText(file.total)));
}

// Imports of different outlets into one account set at the same moment, from separate processes:
// each succeeds (one waiting for the other on the embedded engine), nothing is lost or doubled,
// and a query meanwhile sees each outlet's figures whole or not at all.
TEST_F(CliProcesses, ClientsImportingAtOnceWhileAnotherQueries)
{
    const int clients = engine() == QLatin1String("postgresql") ? 8 : 2;
    const int lines = engine() == QLatin1String("postgresql") ? 12000 : 40000;
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("并发"), db);
    std::vector<OutletFile> files;
    for (int o = 1; o <= clients; ++o) {
        addOutlet(db, QString::number(o), QString::fromUtf8("网点%1").arg(o));
        files.push_back(writeOutletFile(dir->path(), o, lines));
    }
    const QStringList stat{"--account-set", db, "stat", "--mode", "N", "--from", "2024-01-01", "--to", "2024-12-31"};
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<QProcess>> running;
        for (const OutletFile& f : files)
            running.push_back(start({"--account-set", db, "import", f.path}));
        // The ninth client queries until every import is done.
        int queries = 0;
        for (bool busy = true; busy && queries < 2000; ++queries) {
            const CliRun q = runProcess(stat);
            ASSERT_EQ(q.code, 0) << q.errLines.join('\n').toStdString();
            const auto sums = outletSums(q.out);
            for (int o = 1; o <= clients; ++o) {
                const auto got = sums.value(QString::number(o));
                const auto whole = qMakePair(QString::number(files[o - 1].qty), centsText(files[o - 1].total));
                // Not imported yet (first round), or all of it; never a part, never twice.
                if (!(round == 0 && got == qMakePair(QString(), QString()))) {
                    EXPECT_EQ(got, whole) << "outlet " << o << ", round " << round;
                }
            }
            busy = false;
            for (auto& p : running)
                busy = !p->waitForFinished(0) && p->state() != QProcess::NotRunning ? true : busy;
        }
        for (auto& p : running) {
            p->waitForFinished(60000);
            ASSERT_EQ(p->state(), QProcess::NotRunning);
            const QStringList err = errLines(*p);
            EXPECT_EQ(p->exitCode(), 0) << err.join('\n').toStdString();
            EXPECT_EQ(err.filter(QString::fromUtf8("数据导入成功完成")).size(), 1) << err.join('\n').toStdString();
        }
        const auto sums = outletSums(runProcess(stat).out);
        for (int o = 1; o <= clients; ++o)
            EXPECT_EQ(sums.value(QString::number(o)), qMakePair(QString::number(files[o - 1].qty), centsText(files[o - 1].total)));
        const CliRun all = run({"--account-set", db, "sales", "--from", "2024-01-01", "--to", "2024-12-31"});
        EXPECT_EQ(all.lines().size(), 1 + clients * lines);
        EXPECT_GT(queries, 0);
    }
}

// Clients logging in at the same moment each run the catalogue scripts, which replace the
// catalogue procedures: none fails, none finds a procedure missing.
TEST_F(CliProcesses, ClientsLoggingInAtOnce)
{
    if (engine() != QLatin1String("postgresql"))
        GTEST_SKIP() << "the embedded catalogue serves one machine";
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("登录"), db);
    for (int round = 0; round < 4; ++round) {
        std::vector<std::unique_ptr<QProcess>> clients;
        for (int i = 0; i < 8; ++i)
            clients.push_back(start(i % 2 ? QStringList{"accountsets"} : QStringList{"--account-set", db, "outlets"}));
        for (auto& p : clients) {
            p->waitForFinished(60000);
            ASSERT_EQ(p->state(), QProcess::NotRunning);
            const QStringList err = errLines(*p);
            EXPECT_EQ(p->exitCode(), 0) << err.join('\n').toStdString();
            EXPECT_EQ(err, QStringList());
            EXPECT_FALSE(p->readAllStandardOutput().isEmpty());
        }
    }
}

// The PostgreSQL engine, the chart and the XLSX export are modules beside the program, loaded only
// by the runs that need them: with them the chart and the workbook are written; without them the
// embedded engine's runs go on, and the runs that need one say which file is missing instead of
// crashing.
TEST_F(CliProcesses, ModulesLoadedOnlyWhenNeeded)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("模块"), db);
    addOutlet(db, QStringLiteral("1"), QString::fromUtf8("网点1"));
    const OutletFile f = writeOutletFile(dir->path(), 1, 40);
    ASSERT_EQ(runProcess({"--account-set", db, "import", f.path}).code, 0);
    const QStringList stat{"--account-set", db, "stat", "--mode", "D", "--from", "2024-01-01", "--to", "2024-12-31"};
    const QString png = dir->path() + QStringLiteral("/chart.png");
    const QString xlsx = dir->path() + QStringLiteral("/stat.xlsx");
    CliRun r = runProcess(stat + QStringList{"--chart", png, "--format", "xlsx", "--output", xlsx});
    ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
    for (const auto& [file, magic] : {std::pair{png, QByteArray("\x89PNG")}, std::pair{xlsx, QByteArray("PK")}}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        EXPECT_TRUE(f.read(4).startsWith(magic)) << file.toStdString();
    }
    const CliRun withModules = runProcess(stat);
    ASSERT_EQ(withModules.code, 0);
    EXPECT_EQ(withModules.lines().size(), 1 + 20);  // headings and 20 days

    ASSERT_TRUE(QFile::remove(dir->path() + QStringLiteral("/corvanta-xlsx.so")));
    QFile::remove(xlsx);
    r = runProcess(stat + QStringList{"--format", "xlsx", "--output", xlsx});
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.errLines.size(), 1) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(r.errLines[0].startsWith(QStringLiteral("[错误] cannot load ")));
    EXPECT_TRUE(r.errLines[0].contains(dir->path() + QStringLiteral("/corvanta-xlsx.so")));
    EXPECT_FALSE(QFile::exists(xlsx));

    ASSERT_TRUE(QFile::remove(dir->path() + QStringLiteral("/corvanta-chart.so")));
    QFile::remove(png);
    r = runProcess(stat + QStringList{"--chart", png});
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.errLines.size(), 1) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(r.errLines[0].startsWith(QStringLiteral("[错误] --chart: cannot load ")));
    EXPECT_TRUE(r.errLines[0].contains(dir->path() + QStringLiteral("/corvanta-chart.so")));
    EXPECT_FALSE(QFile::exists(png));

    ASSERT_TRUE(QFile::remove(dir->path() + QStringLiteral("/corvanta-postgresql.so")));
    r = runProcess(stat);
    if (engine() == QLatin1String("embedded")) {
        ASSERT_EQ(r.code, 0) << r.errLines.join('\n').toStdString();
        EXPECT_EQ(r.out, withModules.out);
        return;
    }
    EXPECT_EQ(r.code, 3);
    ASSERT_EQ(r.errLines.size(), 2) << r.errLines.join('\n').toStdString();
    EXPECT_TRUE(r.errLines[1].startsWith(QStringLiteral("[原因] The PostgreSQL engine is not available: cannot load ")));
    EXPECT_TRUE(r.errLines[1].contains(dir->path() + QStringLiteral("/corvanta-postgresql.so")));
}

namespace {

struct ShellRun {
    int code = -1;  // the shell's status: 128 + N for a command ended by signal N
    QString out;
    QString err;
};

// Runs script in bash with "$@" the client and its arguments; at most a minute.
ShellRun shell(const QString& script, const QStringList& command)
{
    QProcess p;
    p.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"), script, QStringLiteral("bash")} + command);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

// A result that does not reach its reader whole fails the command, with the cause; a reader that
// stops early ends it quietly, the way it ends cat.
TEST_F(CliProcesses, StandardOutputFailuresAreReported)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("输出"), db);
    addOutlet(db, QStringLiteral("1"), QString::fromUtf8("网点1"));
    const OutletFile f = writeOutletFile(dir->path(), 1, 4000);
    ASSERT_EQ(runProcess({"--account-set", db, "import", f.path}).code, 0);
    const QStringList sales{cliPath, "--server", server, "--account-set", db, "sales", "--from", "2024-01-01",
                            "--to", "2024-12-31"};

    ShellRun r = shell(R"("$@" > /dev/full)", sales);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("[错误] 写入标准输出失败：No space left on device"))) << r.err.toStdString();
    r = shell(R"("$@" >&-)", sales);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("写入标准输出失败"))) << r.err.toStdString();
    // The same with the CSV and a command whose result is small.
    EXPECT_EQ(shell(R"("$@" --format csv > /dev/full)", sales).code, 1);
    EXPECT_EQ(shell(R"("$@" > /dev/full)", {cliPath, "--server", server, "--account-set", db, "outlets"}).code, 1);

    // Even when the caller ignores SIGPIPE: no message, and not a success.
    for (const QString& script : {QStringLiteral(R"("$@" | head -c 100 > /dev/null; echo "${PIPESTATUS[0]}" >&2)"),
                                  QStringLiteral(R"(trap '' PIPE; "$@" | head -c 100 > /dev/null; echo "${PIPESTATUS[0]}" >&2)")}) {
        r = shell(script, sales);
        EXPECT_EQ(r.err.trimmed(), QStringLiteral("141")) << script.toStdString() << ": " << r.err.toStdString();
    }
    // Written whole, it is a success.
    r = shell(R"("$@" | wc -l)", sales);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.trimmed().toInt(), 1 + 4000);
}

// A device or a FIFO is refused before anything opens it: the command ends, it does not hang.
TEST_F(CliProcesses, NonRegularImportFilesAreRefusedWithoutHanging)
{
    const QString db = uniqueDbName();
    createAccountSet(QString::fromUtf8("设备"), db);
    const QString fifo = dir->path() + QStringLiteral("/pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& file : {QStringLiteral("/dev/zero"), fifo}) {
        auto p = start({"--account-set", db, "import", file});
        const bool ended = p->waitForFinished(30000);
        if (!ended)
            p->kill();
        ASSERT_TRUE(ended) << file.toStdString() << " hangs";
        EXPECT_EQ(p->exitCode(), 1);
        EXPECT_TRUE(errLines(*p).join('\n').contains(QStringLiteral("导入文件不是普通文件，不能导入：") + file));
    }
    // The refusal is in the history; nothing else was read.
    const CliRun h = runProcess({"--account-set", db, "history"});
    ASSERT_EQ(h.code, 0);
    EXPECT_EQ(h.lines().size(), 3);
}
