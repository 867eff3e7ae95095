// bench/import: imports generated outlet files through the application layer as the window and
// corvanta-cli do (RunRecordedImport over TDMData: the import and its history record) into each
// engine and times the peers on the same files in the same run:
//   embedded   vs  sqlite3 ".import" into an untyped table (target ratio <= 1.0)
//   postgresql vs  psql "\copy" into a typed table            (target ratio <= 1.5)
// Peak memory (getrusage) is printed after a small and after the full import: it must not grow
// with the file size.
// Then an outlet-shaped file of the same size (one month, 200 outlets, 5,000 products: nearly
// every line its own group) into a fresh account set, in process and as the whole
// "corvanta-cli import" command, against the same peer (targets: embedded <= 1.0, PostgreSQL
// <= 1.3), with the command's peak memory (target <= 100 MiB).
//
//   import [LINES] [--engine embedded|postgresql|all] [--runs N] [--keep]
// With --runs N every engine is measured N times (fresh account sets), each run against its own
// peer timing, and the median ratio is printed at the end.
// PostgreSQL uses PGHOST/PGPORT/PGUSER (e.g. from scripts/pg-test-cluster).
#include "base/Sysdef.h"
#include "bench/BenchFiles.h"
#include "bench/ImportGen.h"
#include "connection/UDMData.h"
#include "import/DataImportProcedures.h"
#include "import/ImportHistory.h"
#include "import/ImportRun.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <vector>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvanta;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

class PrintMessages : public Messages {
public:
    QString superMsg(const QString& caption, const QString& text, const QString&, const QString&, const QString&) override
    {
        print(caption, text);
        return QString();
    }
    void systemBox(const QString& caption, const QString& text) override { print(caption, text); }
    QString last;

private:
    void print(const QString& caption, const QString& text)
    {
        last = text;
        std::fflush(stdout);  // keep the report lines whole
        std::fprintf(stderr, "    [%s] %s\n", qPrintable(caption), qPrintable(QString(text).replace('\r', " / ")));
    }
};

// Runs a program, returns its wall time; -1 when it failed.
double timeProgram(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto t0 = Clock::now();
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    const double t = seconds(t0);
    p.readAllStandardOutput();
    return (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) ? t : -1;
}

struct Timing {
    double ours = -1;
    double firstPass = 0;
    double consolidation = 0;
    double clientCpu = 0;  // user + system time of this process during the import
    double serverCpu = -1; // of the server processes of the account set, when they are on this machine
    bool ok = false;
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Notes when the consolidation starts (the label changes just before it).
// Notes when the first pass ends (the progress range is set) and when the consolidation starts
// (the label changes just before it).
class SplitObserver : public ImportObserver {
public:
    void setProgressMax(qint64) override { firstPassEnd = Clock::now(); }
    void setLabel(const QString&) override { consolidationStart = Clock::now(); }
    Clock::time_point firstPassEnd{};
    Clock::time_point consolidationStart{};
};

// CPU seconds used so far by the local server processes serving database (PostgreSQL names its
// backends "postgres: USER DATABASE ..."); -1 when there are none to be seen.
double serverCpuSeconds(const QString& database)
{
    if (database.isEmpty())
        return -1;
    double total = -1;
    const long ticks = sysconf(_SC_CLK_TCK);
    for (const QFileInfo& proc : QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile cmd(proc.filePath() + QStringLiteral("/cmdline"));
        if (!cmd.open(QIODevice::ReadOnly))
            continue;
        const QByteArray title = cmd.readAll();
        if (!title.startsWith("postgres:") || !title.contains(" " + database.toUtf8() + " "))
            continue;
        QFile stat(proc.filePath() + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12)
            total = std::max(total, 0.0) + double(f[11].toLongLong() + f[12].toLongLong()) / double(ticks);
    }
    return total;
}

Timing importInto(TDMData& dm, const QString& file, const QString& serverDatabase = QString())
{
    PrintMessages messages;
    SplitObserver observer;
    const double cpu0 = cpuSeconds();
    const double server0 = serverCpuSeconds(serverDatabase);
    const auto t0 = Clock::now();
    // As the window and corvanta-cli import: with the run's history record.
    const ImportResult r = RunRecordedImport(dm, file, messages, &observer, true).result;
    Timing t;
    t.ours = seconds(t0);
    t.clientCpu = cpuSeconds() - cpu0;
    if (server0 >= 0)
        t.serverCpu = serverCpuSeconds(serverDatabase) - server0;
    t.consolidation = seconds(observer.consolidationStart);
    t.firstPass = std::chrono::duration<double>(observer.firstPassEnd - t0).count();
    t.ok = r.ok();
    return t;
}

// Procedures that take every line: the cost of reading, checking, splitting and decoding alone.
class NullProcedures : public ImportProcedures {
public:
    void deleSales() override {}
    int insertSales(const IntakeLine&) override { return 0; }
    int insertStock(const IntakeLine&) override { return 0; }
    int addSales() override { return 0; }
    int addStock() override { return 0; }
};

void addOutlets(TDMData& dm, const bench::GenOptions& o)
{
    for (const QString& id : bench::GenOutletIds(o)) {
        dm.CallProc(dm.ADOSProc, QStringLiteral("hz_InsertNet"),
                    {{QStringLiteral("@ID"), id}, {QStringLiteral("@AGENTNAME"), QStringLiteral("网点") + id},
                     {QStringLiteral("@AGENTTYPE"), QStringLiteral("直营")}, {QStringLiteral("@TELEPHONE"), QString()},
                     {QStringLiteral("@FAX"), QString()}, {QStringLiteral("@ADDRESS"), QString()},
                     {QStringLiteral("@LINKMAN"), QString()}});
    }
}

// The ratios of one kind of import over the runs; the median is the figure to go by.
struct Ratios {
    std::vector<double> values;
    bool failed = false;
    void print(const char* what, double target) const
    {
        if (failed || values.empty()) {
            std::printf("%s: FAILED\n", what);
            return;
        }
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const double median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        std::printf("%s: median ratio %.2f over %zu run(s) (min %.2f, max %.2f; target <= %.1f) %s\n", what, median,
                    v.size(), v.front(), v.back(), target, median <= target ? "ok" : "OVER");
    }
};

void report(const char* what, const Timing& ours, double peer, const char* peerName, double target, Ratios& ratios)
{
    if (!ours.ok) {
        std::printf("%-22s FAILED\n", what);
        ratios.failed = true;
        return;
    }
    if (peer <= 0) {
        std::printf("%-22s ours %.3f s   %s failed or missing\n", what, ours.ours, peerName);
        ratios.failed = true;
        return;
    }
    const double ratio = ours.ours / peer;
    ratios.values.push_back(ratio);
    const QByteArray server = ours.serverCpu >= 0 ? QByteArray(", server cpu ") + QByteArray::number(ours.serverCpu, 'f', 3) + " s"
                                                   : QByteArray();
    std::printf("%-16s ours %.3f s (first pass %.3f s, consolidation %.3f s, client cpu %.3f s%s)   %s %.3f s   "
                "ratio %.2f (target <= %.1f) %s\n",
                what, ours.ours, ours.firstPass, ours.consolidation, ours.clientCpu, server.constData(), peerName, peer,
                ratio, target, ratio <= target ? "ok" : "OVER");
}

struct Files {
    QString sales, stock, smallSales, outletSales;
};

bench::GenOptions outletShape(const bench::GenOptions& o) { return bench::OutletShaped(o.lines, QDate(2024, 4, 1)); }

// corvanta-cli with its modules in the program folder, as a user runs it.
void addCli(const QString& programDir)
{
    for (const char* name : {"corvanta-cli", "corvanta-postgresql.so", "corvanta-chart.so", "corvanta-xlsx.so"})
        QFile::copy(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/") + QLatin1String(name),
                    programDir + QLatin1Char('/') + QLatin1String(name));
}

// The whole import command into an account set that has the outlets, with its peak memory
// (GNU time's figure: the process's own, not that of the peers run before).
Timing cliImport(const QString& programDir, const QStringList& server, const QString& db, const QString& file,
                 long& peakKiB)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    const auto t0 = Clock::now();
    p.start(QStringLiteral("/usr/bin/time"),
            QStringList{QStringLiteral("-f"), QStringLiteral("maxrss %M"), programDir + QStringLiteral("/corvanta-cli")} +
                server + QStringList{QStringLiteral("--account-set"), db, QStringLiteral("import"), file});
    p.waitForFinished(-1);
    Timing t;
    t.ours = seconds(t0);
    t.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QList<QByteArray> err = p.readAllStandardError().trimmed().split('\n');
    peakKiB = err.last().startsWith("maxrss ") ? err.last().mid(7).toLong() : -1;
    return t;
}

// An account set in the catalogue, made by the command, then given the outlets of o (on dm's server).
bool cliAccountSet(TDMData& dm, const QString& programDir, const QStringList& server, const QString& admin,
                   const QString& name, const QString& db, const bench::GenOptions& o)
{
    if (timeProgram(programDir + QStringLiteral("/corvanta-cli"),
                    server + QStringList{QStringLiteral("accountset-create"), QStringLiteral("--admin"), admin,
                                         QStringLiteral("--password"), QString(), name, db}) < 0)
        return false;
    dm.ADOConnection.SetDefaultDatabase(db);
    addOutlets(dm, o);
    return true;
}

// A fresh account set holding the outlets of o.
void freshAccountSet(TDMData& dm, const QString& name, const bench::GenOptions& o)
{
    dm.RestoreDatabase(name);
    dm.ADOConnection.SetDefaultDatabase(name);
    addOutlets(dm, o);
}

// One run: a fresh account set, the small import (figures already there), the sales and the stock
// import, then the peers on the same files.
struct ShapeRatios {
    Ratios inProcess, command;
};

bool runEmbedded(const QString& work, const Files& f, const bench::GenOptions& o, int run, Ratios& sales, Ratios& stock,
                 ShapeRatios& shapes)
{
    const QString programDir = work + QStringLiteral("/program");
    QDir().mkpath(programDir + QStringLiteral("/data"));
    bench::CopyDir(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/data"), programDir + QStringLiteral("/data"));
    SetAppDirForTesting(programDir);

    TDMData dm;
    const QString dbName = QStringLiteral("benchdb%1").arg(run);
    dm.Connect(QStringLiteral("local"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));
    dm.RestoreDatabase(dbName);
    dm.ADOConnection.SetDefaultDatabase(dbName);
    addOutlets(dm, o);

    std::printf("embedded engine, run %d\n", run);
    const Timing small = importInto(dm, f.smallSales);
    std::printf("  peak memory after a %llu-line import: %ld KiB\n", (unsigned long long)(o.lines / 10), peakKiB());
    const Timing s = importInto(dm, f.sales);
    std::printf("  peak memory after a %llu-line import: %ld KiB\n", (unsigned long long)o.lines, peakKiB());
    const Timing k = importInto(dm, f.stock);
    const bench::GenOptions shaped = outletShape(o);
    freshAccountSet(dm, dbName + QStringLiteral("o"), shaped);
    const Timing os = importInto(dm, f.outletSales);
    addCli(programDir);
    const bool made = cliAccountSet(dm, programDir, {}, QStringLiteral("sa"), QStringLiteral("外形%1").arg(run),
                                    dbName + QStringLiteral("c"), shaped);
    dm.ADOConnection.Close();
    long peak = -1;
    const Timing oc = made ? cliImport(programDir, {}, dbName + QStringLiteral("c"), f.outletSales, peak) : Timing();
    std::printf("  peak memory of corvanta-cli importing %llu outlet-shaped lines: %ld KiB (target <= 102400) %s\n",
                (unsigned long long)o.lines, peak, peak >= 0 && peak <= 102400 ? "ok" : "OVER");

    auto sqliteImport = [&](const QString& file) {
        const QString db = work + QStringLiteral("/peer.db");
        QFile::remove(db);
        return timeProgram(QStringLiteral("sqlite3"), {db, QStringLiteral(".mode csv"),
                                                       QStringLiteral(".import '%1' t").arg(file)});
    };
    // Closing waits for the engine's background checkpoint, so it cannot slow the peer down.
    dm.ADOConnection.Close();
    report("  sales import", s, sqliteImport(f.sales), "sqlite3 .import", 1.0, sales);
    report("  stock import", k, sqliteImport(f.stock), "sqlite3 .import", 1.0, stock);
    const double outletPeer = sqliteImport(f.outletSales);
    report("  outlet-shaped", os, outletPeer, "sqlite3 .import", 1.0, shapes.inProcess);
    report("  corvanta-cli", oc, outletPeer, "sqlite3 .import", 1.0, shapes.command);
    SetAppDirForTesting(QString());
    return small.ok && s.ok && k.ok && os.ok && oc.ok;
}

QString pgServer()
{
    QString server = qEnvironmentVariable("PGHOST");
    if (!qEnvironmentVariableIsEmpty("PGPORT"))
        server = (server.isEmpty() ? QStringLiteral("localhost") : server) + QLatin1Char(':') + qEnvironmentVariable("PGPORT");
    return server;
}

bool runPostgres(const QString& work, const Files& f, const bench::GenOptions& o, int run, Ratios& sales, Ratios& stock,
                 ShapeRatios& shapes)
{
    const QString programDir = work + QStringLiteral("/program-pg");
    QDir().mkpath(programDir + QStringLiteral("/data"));
    bench::CopyDir(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/data"), programDir + QStringLiteral("/data"));
    QFile cfg(programDir + QStringLiteral("/Config.cfg"));
    if (!cfg.open(QIODevice::WriteOnly))
        return false;
    cfg.write("[SYSTEM]\r\nENGINE=postgresql\r\nUSER=" + qgetenv("PGUSER") + "\r\n");
    cfg.close();
    SetAppDirForTesting(programDir);

    const QString dbName = QStringLiteral("cvt_bench_%1_%2").arg(QCoreApplication::applicationPid()).arg(run);
    Timing s, k, small, os, oc;
    long peak = -1;
    {
        TDMData dm;
        try {
            dm.Connect(pgServer(), qEnvironmentVariable("PGUSER"), qEnvironmentVariable("PGPASSWORD"), QStringLiteral("postgresql"));
            dm.RestoreDatabase(dbName);
            dm.ADOConnection.SetDefaultDatabase(dbName);
            addOutlets(dm, o);
        } catch (const DbError& e) {
            std::printf("postgresql engine: cannot connect (%s); set PGHOST/PGPORT/PGUSER\n", e.what());
            SetAppDirForTesting(QString());
            sales.failed = stock.failed = true;
            return false;
        }
        std::printf("postgresql engine, run %d\n", run);
        small = importInto(dm, f.smallSales, dbName);
        std::printf("  peak memory after a %llu-line import: %ld KiB\n", (unsigned long long)(o.lines / 10), peakKiB());
        s = importInto(dm, f.sales, dbName);
        std::printf("  peak memory after a %llu-line import: %ld KiB\n", (unsigned long long)o.lines, peakKiB());
        k = importInto(dm, f.stock, dbName);
        const bench::GenOptions shaped = outletShape(o);
        freshAccountSet(dm, dbName + QStringLiteral("o"), shaped);
        os = importInto(dm, f.outletSales, dbName + QStringLiteral("o"));
        addCli(programDir);
        const QStringList server = {QStringLiteral("--server"), pgServer()};
        if (cliAccountSet(dm, programDir, server, qEnvironmentVariable("PGUSER"),
                          QStringLiteral("外形%1").arg(dbName), dbName + QStringLiteral("c"), shaped)) {
            dm.ADOConnection.Close();
            oc = cliImport(programDir, server, dbName + QStringLiteral("c"), f.outletSales, peak);
        }
        dm.ADOConnection.Close();
    }
    std::printf("  peak memory of corvanta-cli importing %llu outlet-shaped lines: %ld KiB (target <= 102400) %s\n",
                (unsigned long long)o.lines, peak, peak >= 0 && peak <= 102400 ? "ok" : "OVER");
    const QString psql = QStringLiteral("psql");
    const QStringList base = {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                              QStringLiteral("-d"), dbName};
    timeProgram(psql, base + QStringList{QStringLiteral("-c"),
        QStringLiteral("CREATE TABLE peer_sales(ptypename text, usercode text, standard text, type text, unit text, "
                       "area text, date date, qty numeric, costtotal numeric, total numeric, id text, vchtype integer);"
                       "CREATE TABLE peer_stock(ptypename text, usercode text, standard text, type text, unit text, "
                       "area text, kcqty numeric, kctotal numeric, id text);")});
    auto copy = [&](const char* table, const QString& file) {
        return timeProgram(psql, base + QStringList{QStringLiteral("-c"),
            QStringLiteral("\\copy %1 FROM '%2' WITH (FORMAT csv, HEADER true, ENCODING 'GBK')").arg(QLatin1String(table), file)});
    };
    report("  sales import", s, copy("peer_sales", f.sales), "psql \\copy", 1.5, sales);
    report("  stock import", k, copy("peer_stock", f.stock), "psql \\copy", 1.5, stock);
    timeProgram(psql, base + QStringList{QStringLiteral("-c"), QStringLiteral("TRUNCATE peer_sales")});
    const double outletPeer = copy("peer_sales", f.outletSales);
    report("  outlet-shaped", os, outletPeer, "psql \\copy", 1.3, shapes.inProcess);
    report("  corvanta-cli", oc, outletPeer, "psql \\copy", 1.3, shapes.command);
    for (const QString& db : {dbName, dbName + QStringLiteral("o"), dbName + QStringLiteral("c")})
        timeProgram(psql, {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-d"), QStringLiteral("postgres"),
                           QStringLiteral("-c"), QStringLiteral("DROP DATABASE IF EXISTS %1").arg(db)});
    SetAppDirForTesting(QString());
    return small.ok && s.ok && k.ok && os.ok && oc.ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::GenOptions o;
    QString engine = QStringLiteral("all");
    bool keep = false;
    int runs = 1;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--engine") && i + 1 < args.size())
            engine = args[++i];
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = args[++i].toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else
            o.lines = args[i].toULongLong();
    }
    if (o.lines == 0 || runs < 1) {
        std::fprintf(stderr, "usage: import [LINES] [--engine embedded|postgresql|all] [--runs N] [--keep]\n");
        return 2;
    }
    QTemporaryDir work;
    work.setAutoRemove(!keep);
    Files f{work.path() + QStringLiteral("/sales.txt"), work.path() + QStringLiteral("/stock.txt"),
            work.path() + QStringLiteral("/sales-small.txt"), work.path() + QStringLiteral("/sales-outlets.txt")};
    bench::GenOptions small = o;
    small.lines = std::max<std::uint64_t>(1, o.lines / 10);
    small.seed = o.seed + 1;
    if (!bench::GenerateSalesFile(f.sales, o) || !bench::GenerateStockFile(f.stock, o)
        || !bench::GenerateSalesFile(f.smallSales, small) || !bench::GenerateSalesFile(f.outletSales, outletShape(o)))
        return 1;
    std::printf("files: %llu sales lines (%lld bytes), %llu stock lines (%lld bytes)\n",
                (unsigned long long)o.lines, QFileInfo(f.sales).size(), (unsigned long long)o.lines,
                QFileInfo(f.stock).size());

    {
        PrintMessages quiet;
        NullProcedures none;
        const auto t0 = Clock::now();
        RunImport(f.sales, none, quiet);
        std::printf("reading, checking, splitting and decoding the sales file alone: %.3f s\n", seconds(t0));
    }
    const bool embedded = engine == QLatin1String("embedded") || engine == QLatin1String("all");
    const bool postgres = engine == QLatin1String("postgresql") || engine == QLatin1String("all");
    Ratios eSales, eStock, pSales, pStock;
    ShapeRatios eShapes, pShapes;
    bool ok = true;
    // The runs alternate between the engines, so that a slow spell of the machine hits both.
    for (int run = 1; run <= runs; ++run) {
        if (embedded)
            ok = runEmbedded(work.path(), f, o, run, eSales, eStock, eShapes) && ok;
        if (postgres)
            ok = runPostgres(work.path(), f, o, run, pSales, pStock, pShapes) && ok;
    }
    if (embedded) {
        eSales.print("embedded sales", 1.0);
        eStock.print("embedded stock", 1.0);
        eShapes.inProcess.print("embedded outlet-shaped", 1.0);
        eShapes.command.print("embedded corvanta-cli import", 1.0);
    }
    if (postgres) {
        pSales.print("postgresql sales", 1.5);
        pStock.print("postgresql stock", 1.5);
        pShapes.inProcess.print("postgresql outlet-shaped", 1.3);
        pShapes.command.print("postgresql corvanta-cli import", 1.3);
    }
    if (keep)
        std::printf("files kept in %s\n", qPrintable(work.path()));
    return ok ? 0 : 1;
}
