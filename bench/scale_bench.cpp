// bench/scale: one account set growing as a head office's does, each figure next to its peer
// measured in the same run at the same stored size (the peers' tables take the same files):
//   import     N monthly outlet-shaped files (200 outlets, 5,000 products), the whole
//              "corvanta-cli import" each, vs sqlite3 ".import" / psql "\copy" into the peer table
//   batch      a nightly batch right after the last monthly file: BATCH_FILES files of one outlet
//              day each (BATCH_LINES lines), one "import" command; PostgreSQL also vs the embedded
//              engine's batch of the same run
//   re-import  the last monthly file again (it replaces its outlet days) vs the peer deleting the
//              month's lines and importing the file again
//   stat       "stat --mode P" over the first quarter and over the year vs the GROUP BY of the
//              raw lines in the peer
//   day        "sales" of one day vs the peer printing the day's lines
//
//   scale [--engine embedded|postgresql|all] [--files N] [--lines L] [--batch-files F]
//         [--batch-lines B] [--keep]
// Defaults: 10 files on the embedded engine, 5 on PostgreSQL, 1,000,000 lines each, 200 × 500.
// PostgreSQL uses PGHOST/PGPORT/PGUSER (e.g. from scripts/pg-test-cluster).
#include "base/Sysdef.h"
#include "bench/BenchFiles.h"
#include "bench/ImportGen.h"
#include "connection/UDMData.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace corvanta;

namespace {

const QDate kFirstMonth(2024, 1, 1);

// Seconds of a program with its output thrown away; -1 when it failed.
double timeProgram(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed: %s\n", qPrintable(program), qPrintable(args.join(' ').left(200)),
                     p.readAllStandardError().constData());
        return -1;
    }
    return double(t.nsecsElapsed()) / 1e9;
}

// The best of three (queries: the machine is shared).
double best(const QString& program, const QStringList& args)
{
    double b = -1;
    for (int i = 0; i < 3; ++i) {
        const double t = timeProgram(program, args);
        if (t < 0)
            return -1;
        b = b < 0 ? t : std::min(b, t);
    }
    return b;
}

QString pgServer()
{
    QString server = qEnvironmentVariable("PGHOST");
    if (!qEnvironmentVariableIsEmpty("PGPORT"))
        server = (server.isEmpty() ? QStringLiteral("localhost") : server) + QLatin1Char(':') + qEnvironmentVariable("PGPORT");
    return server;
}

void line(const char* what, qint64 stored, double ours, double peer, const char* peerName, double target)
{
    if (ours < 0 || peer <= 0) {
        std::printf("  %-10s at %9lld lines: FAILED (ours %.3f s, %s %.3f s)\n", what, stored, ours, peerName, peer);
        return;
    }
    std::printf("  %-10s at %9lld lines: ours %7.3f s   %s %7.3f s   ratio %.2f (target <= %.1f) %s\n", what, stored,
                ours, peerName, peer, ours / peer, target, ours / peer <= target ? "ok" : "OVER");
}

struct Options {
    int files = 0;  // 0: the engine's default
    std::uint64_t lines = 1000000;
    int batchFiles = 200;
    int batchLines = 500;
};

class Engine {
public:
    Engine(const QString& work, bool pg) : m_pg(pg), m_dir(work + (pg ? "/program-pg" : "/program"))
    {
        QDir().mkpath(m_dir + QStringLiteral("/data"));
        bench::CopyDir(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/data"), m_dir + QStringLiteral("/data"));
        for (const char* name : {"corvanta-cli", "corvanta-postgresql.so", "corvanta-chart.so", "corvanta-xlsx.so"})
            QFile::copy(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/") + QLatin1String(name), m_dir + QLatin1Char('/') + QLatin1String(name));
        QFile cfg(m_dir + QStringLiteral("/Config.cfg"));
        if (cfg.open(QIODevice::WriteOnly))
            cfg.write(pg ? "[SYSTEM]\r\nENGINE=postgresql\r\nUSER=" + admin().toUtf8() + "\r\n" : QByteArray("[SYSTEM]\r\n"));
        const QString tag = QString::number(QCoreApplication::applicationPid());
        m_db = pg ? QStringLiteral("cvt_scale_") + tag : QStringLiteral("scale");
        m_peerDb = pg ? QStringLiteral("cvt_scalepeer_") + tag : work + QStringLiteral("/peer.db");
    }
    QString admin() const { return m_pg ? qEnvironmentVariable("PGUSER", QStringLiteral("postgres")) : QStringLiteral("sa"); }
    QStringList cli(const QStringList& args, bool withSet = true) const
    {
        QStringList a;
        if (m_pg)
            a << QStringLiteral("--server") << pgServer();
        if (withSet)
            a << QStringLiteral("--account-set") << m_db;
        return a + args;
    }
    double run(const QStringList& args) const { return timeProgram(m_dir + QStringLiteral("/corvanta-cli"), cli(args)); }
    double runBest(const QStringList& args) const { return best(m_dir + QStringLiteral("/corvanta-cli"), cli(args)); }

    // The account set with the generator's 200 outlets, and the peer's empty table.
    bool setUp(const bench::GenOptions& o)
    {
        if (timeProgram(m_dir + QStringLiteral("/corvanta-cli"),
                        cli({QStringLiteral("accountset-create"), QStringLiteral("--admin"), admin(), QStringLiteral("--password"),
                             QString(), QStringLiteral("规模") + m_db.right(6), m_db}, false)) < 0)
            return false;
        SetAppDirForTesting(m_dir);
        {
            TDMData dm;
            try {
                dm.Connect(m_pg ? pgServer() : QStringLiteral("local"), admin(), qEnvironmentVariable("PGPASSWORD"),
                           m_pg ? QStringLiteral("postgresql") : QStringLiteral("embedded"));
                dm.ADOConnection.SetDefaultDatabase(m_db);
                for (const QString& id : bench::GenOutletIds(o))
                    dm.CallProc(dm.ADOSProc, QStringLiteral("hz_InsertNet"),
                                {{QStringLiteral("@ID"), id}, {QStringLiteral("@AGENTNAME"), QStringLiteral("网点") + id},
                                 {QStringLiteral("@AGENTTYPE"), QStringLiteral("直营")}, {QStringLiteral("@TELEPHONE"), QString()},
                                 {QStringLiteral("@FAX"), QString()}, {QStringLiteral("@ADDRESS"), QString()},
                                 {QStringLiteral("@LINKMAN"), QString()}});
            } catch (const DbError& e) {
                std::printf("  cannot add the outlets: %s\n", e.what());
                SetAppDirForTesting(QString());
                return false;
            }
        }
        SetAppDirForTesting(QString());
        const char* table = "CREATE TABLE t(ptypename text, usercode text, standard text, type text, unit text, area text, "
                            "date %1, qty %2, cost %2, total %2, id text, vch integer)";
        if (!m_pg)
            return timeProgram(QStringLiteral("sqlite3"), {m_peerDb, QString::fromLatin1(table).arg("text", "")}) >= 0;
        timeProgram(QStringLiteral("psql"), {"-X", "-q", "-d", "postgres", "-c", QStringLiteral("CREATE DATABASE %1").arg(m_peerDb)});
        return psql(QString::fromLatin1(table).arg("date", "numeric")) >= 0;
    }
    double psql(const QString& sql, bool timeBest = false) const
    {
        const QStringList args = {"-X", "-q", "-A", "-t", "-F", "\t", "-v", "ON_ERROR_STOP=1", "-d", m_peerDb, "-c", sql};
        return timeBest ? best(QStringLiteral("psql"), args) : timeProgram(QStringLiteral("psql"), args);
    }
    double peerImport(const QString& file) const
    {
        if (m_pg)
            return psql(QStringLiteral("\\copy t FROM '%1' WITH (FORMAT csv, HEADER true, ENCODING 'GBK')").arg(file));
        return timeProgram(QStringLiteral("sqlite3"), {m_peerDb, QStringLiteral(".import --csv --skip 1 '%1' t").arg(file)});
    }
    // The peer's lines of the replaced outlet days go, as a re-import's do; counted in its re-import.
    double peerDropMonth(QDate month) const
    {
        const QString sql = QStringLiteral("DELETE FROM t WHERE date BETWEEN '%1' AND '%2'")
                                .arg(month.toString(Qt::ISODate), month.addMonths(1).addDays(-1).toString(Qt::ISODate));
        return m_pg ? psql(sql) : timeProgram(QStringLiteral("sqlite3"), {m_peerDb, sql});
    }
    double peerQuery(const QString& sql) const
    {
        return m_pg ? psql(sql, true) : best(QStringLiteral("sqlite3"), {QStringLiteral("-separator"), QStringLiteral("\t"), m_peerDb, sql});
    }
    void tearDown() const
    {
        if (!m_pg)
            return;
        for (const QString& db : {m_db, m_peerDb})
            timeProgram(QStringLiteral("psql"), {"-X", "-q", "-d", "postgres", "-c", QStringLiteral("DROP DATABASE IF EXISTS %1").arg(db)});
    }
    bool pg() const { return m_pg; }

private:
    bool m_pg;
    QString m_dir, m_db, m_peerDb;
};

QString statSql(QDate from, QDate to)
{
    return QStringLiteral("SELECT usercode, ptypename, sum(qty), sum(total), sum(cost), sum(total) - sum(cost) FROM t "
                          "WHERE date BETWEEN '%1' AND '%2' GROUP BY 1, 2 ORDER BY 1, 2")
        .arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate));
}

// One engine's round; the batch's time is returned (-1 when it failed).
double scale(const QString& work, bool pg, const Options& opt, double embeddedBatch)
{
    const int files = opt.files > 0 ? opt.files : (pg ? 5 : 10);
    std::printf("%s engine: %d monthly files of %llu lines, then %d x %d lines\n", pg ? "postgresql" : "embedded", files,
                (unsigned long long)opt.lines, opt.batchFiles, opt.batchLines);
    std::fflush(stdout);
    Engine e(work, pg);
    const bench::GenOptions shape = bench::OutletShaped(opt.lines, kFirstMonth);
    if (!e.setUp(shape)) {
        std::printf("  FAILED to set up (PGHOST/PGPORT/PGUSER set?)\n");
        return -1;
    }
    const char* peerName = pg ? "psql \\copy" : "sqlite3 .import";
    const double importTarget = pg ? 1.3 : 1.0;
    qint64 stored = 0;
    QString last;
    for (int m = 0; m < files; ++m) {
        const QDate month = kFirstMonth.addMonths(m);
        last = work + QStringLiteral("/month-%1.txt").arg(m + 1);
        if (!QFileInfo::exists(last) && !bench::GenerateSalesFile(last, bench::OutletShaped(opt.lines, month)))
            return -1;
        const double ours = e.run({QStringLiteral("import"), last});
        line("import", stored, ours, e.peerImport(last), peerName, importTarget);
        std::fflush(stdout);
        stored += qint64(opt.lines);
    }

    // The nightly batch: the day after the last month, every outlet's file of that day.
    const QDate day = kFirstMonth.addMonths(files);
    QStringList batch;
    QDir().mkpath(work + QStringLiteral("/batch"));
    for (int k = 0; k < opt.batchFiles; ++k) {
        const QString file = work + QStringLiteral("/batch/%1.txt").arg(k + 1, 4, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(file) && !bench::GenerateOutletDayFile(file, shape, k % shape.outlets, day, opt.batchLines))
            return -1;
        batch << file;
    }
    const double ours = e.run(QStringList{QStringLiteral("import")} + batch);
    for (const QString& f : batch)
        e.peerImport(f);  // the peer holds the same lines
    if (ours < 0)
        std::printf("  %-10s at %9lld lines: FAILED\n", "batch", stored);
    else
        std::printf("  %-10s at %9lld lines: ours %7.3f s (target <= 3.0 s on the embedded engine) %s\n", "batch", stored,
                    ours, pg || ours <= 3.0 ? "" : "OVER");
    if (pg && embeddedBatch > 0 && ours > 0)
        line("batch", stored, ours, embeddedBatch, "embedded", 1.5);
    stored += qint64(opt.batchFiles) * opt.batchLines;
    std::fflush(stdout);

    // The last month again: it replaces its outlet days (the peer's lines of them go first).
    const QDate lastMonth = kFirstMonth.addMonths(files - 1);
    const double again = e.run({QStringLiteral("import"), last});
    const double peerDrop = e.peerDropMonth(lastMonth), peerAgain = e.peerImport(last);
    line("re-import", stored, again, peerDrop < 0 || peerAgain < 0 ? -1 : peerDrop + peerAgain,
         pg ? "psql DELETE + \\copy" : "sqlite3 DELETE + .import", importTarget);

    const QDate quarterEnd = kFirstMonth.addMonths(3).addDays(-1), yearEnd = kFirstMonth.addMonths(12).addDays(-1);
    for (const auto& [what, to] : {std::pair{"stat 3 mo", quarterEnd}, std::pair{"stat year", yearEnd}}) {
        const double t = e.runBest({QStringLiteral("stat"), QStringLiteral("--mode"), QStringLiteral("P"), QStringLiteral("--from"),
                                    kFirstMonth.toString(Qt::ISODate), QStringLiteral("--to"), to.toString(Qt::ISODate)});
        line(what, stored, t, e.peerQuery(statSql(kFirstMonth, to)), pg ? "psql GROUP BY" : "sqlite3 GROUP BY", 0.2);
        if (to == yearEnd && t >= 0)
            std::printf("  %-10s at %9lld lines: ours %7.3f s (target <= 1.0 s) %s\n", what, stored, t, t <= 1.0 ? "ok" : "OVER");
    }
    const QDate oneDay = kFirstMonth.addDays(14);
    const double d = e.runBest({QStringLiteral("sales"), QStringLiteral("--from"), oneDay.toString(Qt::ISODate), QStringLiteral("--to"),
                                oneDay.toString(Qt::ISODate)});
    line("day", stored, d,
         e.peerQuery(QStringLiteral("SELECT * FROM t WHERE date = '%1' ORDER BY date, id").arg(oneDay.toString(Qt::ISODate))),
         pg ? "psql" : "sqlite3", pg ? 1.0 : 1.3);
    std::fflush(stdout);
    e.tearDown();
    return ours;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options opt;
    QString engine = QStringLiteral("all");
    bool keep = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const bool more = i + 1 < args.size();
        if (args[i] == QLatin1String("--engine") && more)
            engine = args[++i];
        else if (args[i] == QLatin1String("--files") && more)
            opt.files = args[++i].toInt();
        else if (args[i] == QLatin1String("--lines") && more)
            opt.lines = args[++i].toULongLong();
        else if (args[i] == QLatin1String("--batch-files") && more)
            opt.batchFiles = args[++i].toInt();
        else if (args[i] == QLatin1String("--batch-lines") && more)
            opt.batchLines = args[++i].toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else {
            std::fprintf(stderr, "usage: scale [--engine embedded|postgresql|all] [--files N] [--lines L] "
                                 "[--batch-files F] [--batch-lines B] [--keep]\n");
            return 2;
        }
    }
    if (opt.lines == 0 || opt.batchFiles < 1 || opt.batchLines < 1 || opt.files < 0)
        return 2;
    QTemporaryDir work;
    work.setAutoRemove(!keep);
    double embeddedBatch = -1;
    if (engine == QLatin1String("embedded") || engine == QLatin1String("all"))
        embeddedBatch = scale(work.path(), false, opt, -1);
    if (engine == QLatin1String("postgresql") || engine == QLatin1String("all"))
        scale(work.path(), true, opt, embeddedBatch);
    if (keep)
        std::printf("files kept in %s\n", qPrintable(work.path()));
    return 0;
}
