// bench/reports: the report commands and the sales query window against peers in the same run.
//   stat   corvanta-cli stat over LINES sales lines (three months)  vs  the same GROUP BY in the
//          sqlite3 shell on an untyped table imported from the same file (psql on PostgreSQL,
//          typed table); target ratio <= 0.5 (the daily summary serves the sums)
//   sales  corvanta-cli sales printing SALES_ROWS lines  vs  sqlite3 -separator '\t' printing
//          the same rows; target ratio <= 1.5 (on PostgreSQL also against psql sorting them)
//   window the sales query window, offscreen, showing SALES_ROWS and LINES rows: seconds from
//          "查询" to the grid painted, and the process's peak memory
//
// Then the same on outlet-shaped files (200 outlets, 5,000 products, one line per outlet, day and
// product): LINES over the quarter in three monthly files, SALES_ROWS in one month; the stat
// target there is <= 0.2 of the peer.
//
//   reports [LINES] [--sales-rows N] [--engine embedded|postgresql|all] [--keep]
//   reports --screenshots DIR      the four windows on a small account set, as PNG files
// PostgreSQL uses PGHOST/PGPORT/PGUSER (e.g. from scripts/pg-test-cluster).
#include "base/Sysdef.h"
#include "bench/BenchFiles.h"
#include "bench/BenchProgram.h"
#include "bench/ImportGen.h"
#include "connection/LoginLogic.h"
#include "connection/UDMData.h"
#include "grid/New_grid.h"
#include "dialogs/GuiMessages.h"
#include "grid/cw_r_ColConfig.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"
#include "reports/UInfo.h"
#include "reports/USales.h"
#include "reports/UStart.h"
#include "reports/UStock.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <string_view>
#include <sys/resource.h>

using namespace corvanta;
using namespace corvanta::bench;

namespace {

const QString kFrom = QStringLiteral("2024-01-01");
const QString kTo = QStringLiteral("2024-03-31");

long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// An account set holding the outlets of the generator and the imported sales files.
bool makeAccountSet(const Program& p, const QString& name, const QString& db, const QStringList& files,
                    const bench::GenOptions& o)
{
    if (!p.run(QString(), {QStringLiteral("accountset-create"), QStringLiteral("--admin"), p.admin(),
                           QStringLiteral("--password"), QString(), name, db}))
        return false;
    for (const QString& id : bench::GenOutletIds(o))
        if (!p.run(db, {QStringLiteral("outlet-add"), QStringLiteral("--id"), id, QStringLiteral("--name"),
                        QStringLiteral("网点") + id}))
            return false;
    return p.run(db, QStringList{QStringLiteral("import")} + files);
}

// The data of one round: the big files (the statistics) and the small (the sales query).
struct Data {
    const char* label;
    QStringList big, small;
    bench::GenOptions o, s;
    double statTarget;
    bool window;
};

void ratio(const char* what, const Timing& ours, const Timing& peer, const char* peerName, double target)
{
    if (ours.wall < 0 || peer.wall <= 0) {
        std::printf("  %-8s FAILED (ours %.3f s, %s %.3f s)\n", what, ours.wall, peerName, peer.wall);
        return;
    }
    const double r = ours.wall / peer.wall;
    std::printf("  %-8s ours %.3f s (cpu %.3f s)   %s %.3f s (cpu %.3f s)   ratio %.2f, cpu ratio %.2f (target <= %.1f) %s\n",
                what, ours.wall, ours.cpu, peerName, peer.wall, peer.cpu, r, peer.cpu > 0 ? ours.cpu / peer.cpu : 0.0,
                target, r <= target ? "ok" : "OVER");
}

// The files' columns; the peers' tables take them in this order.
const char* kColumns = "ptypename, usercode, standard, type, unit, area, date, qty, cost, total, id, vch";
const char* kStatSql = "SELECT usercode, ptypename, sum(qty), sum(total), sum(cost), sum(total) - sum(cost) FROM t "
                       "WHERE date BETWEEN '2024-01-01' AND '2024-03-31' GROUP BY 1, 2 ORDER BY 1, 2";
const char* kSalesSql = "SELECT * FROM t WHERE date BETWEEN '2024-01-01' AND '2024-03-31'";

void benchEmbedded(const QString& work, const Data& d, int round)
{
    std::printf("embedded engine, %s\n", d.label);
    const Program p = makeProgram(work, QStringLiteral("embedded"));
    const bench::GenOptions& o = d.o;
    const bench::GenOptions& s = d.s;
    const QString rbig = QStringLiteral("rbig%1").arg(round), rsmall = QStringLiteral("rsmall%1").arg(round);
    if (!makeAccountSet(p, QStringLiteral("大%1").arg(round), rbig, d.big, o)
        || !makeAccountSet(p, QStringLiteral("小%1").arg(round), rsmall, d.small, s)) {
        std::printf("  FAILED to set up the account sets\n");
        return;
    }
    auto importPeer = [&](const QString& db, const QStringList& files) {
        QFile::remove(db);
        // The files are GBK; the peer reads the same bytes.
        QStringList args = {db, QStringLiteral("CREATE TABLE t(%1)").arg(QLatin1String(kColumns))};
        for (const QString& file : files)
            args << QStringLiteral(".import --csv --skip 1 '%1' t").arg(file);
        return timeProgram(QStringLiteral("sqlite3"), args);
    };
    const QString peerBig = work + QStringLiteral("/peer-big.db"), peerSmall = work + QStringLiteral("/peer-small.db");
    importPeer(peerBig, d.big);
    importPeer(peerSmall, d.small);
    const Timing stat = best(p.cli(), p.base(rbig) + QStringList{"stat", "--mode", "P", "--from", kFrom, "--to", kTo});
    const Timing statPeer = best(QStringLiteral("sqlite3"), {peerBig, QString::fromUtf8(kStatSql)});
    ratio("stat", stat, statPeer, "sqlite3", d.statTarget);
    const Timing sales = best(p.cli(), p.base(rsmall) + QStringList{"sales", "--from", kFrom, "--to", kTo});
    const Timing salesPeer = best(QStringLiteral("sqlite3"), {QStringLiteral("-separator"), QStringLiteral("\t"),
                                                              peerSmall, QString::fromUtf8(kSalesSql)});
    ratio("sales", sales, salesPeer, "sqlite3", d.window ? 1.5 : 1.3);

    std::fflush(stdout);
    if (!d.window)
        return;
    for (const auto& [db, rows] : {std::pair{rsmall, s.lines}, std::pair{rbig, o.lines}}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(e);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--window"), p.dir, db, QString::number(rows)});
        child.waitForFinished(-1);
    }
}

void benchPostgres(const QString& work, const Data& d, int round)
{
    std::printf("postgresql engine, %s\n", d.label);
    const Program p = makeProgram(work, QStringLiteral("postgresql"));
    const bench::GenOptions& o = d.o;
    const bench::GenOptions& s = d.s;
    const QString tag = QStringLiteral("%1_%2").arg(QCoreApplication::applicationPid()).arg(round);
    const QString dbBig = QStringLiteral("cvt_rbig_") + tag, dbSmall = QStringLiteral("cvt_rsmall_") + tag;
    if (!makeAccountSet(p, QStringLiteral("大") + tag, dbBig, d.big, o)
        || !makeAccountSet(p, QStringLiteral("小") + tag, dbSmall, d.small, s)) {
        std::printf("  FAILED to set up the account sets (PGHOST/PGPORT/PGUSER set?)\n");
        return;
    }
    const QString peerDb = QStringLiteral("cvt_rpeer_") + tag;
    const QString psql = QStringLiteral("psql");
    timeProgram(psql, {"-X", "-q", "-d", "postgres", "-c", QStringLiteral("CREATE DATABASE %1").arg(peerDb)});
    const QStringList base = {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", peerDb};
    timeProgram(psql, base + QStringList{"-c",
        "CREATE TABLE t(ptypename text, usercode text, standard text, type text, unit text, area text, "
        "date date, qty numeric, cost numeric, total numeric, id text, vch integer);"
        "CREATE TABLE small(LIKE t)"});
    for (const QString& big : d.big)
        timeProgram(psql, base + QStringList{"-c", QStringLiteral("\\copy t FROM '%1' WITH (FORMAT csv, HEADER true, ENCODING 'GBK')").arg(big)});
    for (const QString& small : d.small)
        timeProgram(psql, base + QStringList{"-c", QStringLiteral("\\copy small FROM '%1' WITH (FORMAT csv, HEADER true, ENCODING 'GBK')").arg(small)});
    timeProgram(psql, base + QStringList{"-c", "ANALYZE"});
    const Timing stat = best(p.cli(), p.base(dbBig) + QStringList{"stat", "--mode", "P", "--from", kFrom, "--to", kTo});
    const Timing statPeer = best(psql, base + QStringList{"-A", "-t", "-c", QString::fromUtf8(kStatSql)});
    ratio("stat", stat, statPeer, "psql", d.statTarget);
    const Timing sales = best(p.cli(), p.base(dbSmall) + QStringList{"sales", "--from", kFrom, "--to", kTo});
    const Timing salesPeer = best(psql, base + QStringList{"-A", "-t", "-F", "\t", "-c",
                                                           QString::fromUtf8(kSalesSql).replace(" t ", " small ")});
    ratio("sales", sales, salesPeer, "psql", d.window ? 1.5 : 1.3);
    // The query's rows come sorted by date, outlet and import order; psql sorting its rows as
    // nearly so as the untyped table allows shows what the sort itself costs.
    const Timing sortedPeer = best(psql, base + QStringList{"-A", "-t", "-F", "\t", "-c",
                                                            QString::fromUtf8(kSalesSql).replace(" t ", " small ") +
                                                                QStringLiteral(" ORDER BY date, id")});
    ratio("sorted", sales, sortedPeer, "psql", d.window ? 1.5 : 1.0);
    for (const QString& db : {dbBig, dbSmall, peerDb})
        timeProgram(psql, {"-X", "-q", "-d", "postgres", "-c", QStringLiteral("DROP DATABASE IF EXISTS %1").arg(db)});
}

// In a child process, so that each size has its own peak: the window on the account set, the
// query run by "查询" over the generator's three months.
int windowChild(const QString& programDir, const QString& db, const QString& rows)
{
    SetAppDirForTesting(programDir);
    TDMData dm;
    dm.Connect(QStringLiteral("local"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));
    ChooseAccountSet(dm, db);
    TfrmSales w(dm, nullptr);
    w.show();
    QApplication::processEvents();
    const long before = peakKiB();
    // The three steps of the window's query run, timed one by one: the query into a cell store
    // (this window's logic), the store into the source grid, the display grid built from it.
    SalesFilters f;
    f.from = QDate(2024, 1, 1);
    f.to = QDate(2024, 3, 31);
    GuiMessages messages;
    auto cpu = [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double cpu0 = cpu();
    QElapsedTimer t;
    t.start();
    ReportRun run = RunSalesQuery(dm, messages, f);
    const double query = double(t.nsecsElapsed()) / 1e9;
    const double queryCpu = cpu() - cpu0;
    const long afterQuery = peakKiB();
    FillReportGrid(*w.MainGrid, std::move(run.cells));
    const double body = double(t.nsecsElapsed()) / 1e9 - query;
    RunColConfig(dm, *w.BackGrid, *w.MainGrid, {1, 2}, w.ColumnMap, kSalesGridId, 0);
    const double config = double(t.nsecsElapsed()) / 1e9 - query - body;
    w.BackGrid->repaint();
    QApplication::processEvents();
    const double s = double(t.nsecsElapsed()) / 1e9;
    const double allCpu = cpu() - cpu0;
    const double limit = rows.toLongLong() > 200000 ? 3.0 : 0.5;
    const double memLimit = rows.toLongLong() > 200000 ? 600 : 150;
    const double mib = double(peakKiB()) / 1024;
    std::printf("  window   %s rows on screen in %.3f s (target <= %.1f s) %s: query -> cell store %.3f s, "
                "setBody %.3f s, column configuration %.3f s, paint %.3f s; cpu %.3f s (query %.3f s); grid rows %d\n"
                "           peak memory %.0f MiB (at start %.0f MiB, after the query %.0f MiB; target <= %.0f MiB) %s\n",
                qPrintable(rows), s, limit, s <= limit ? "ok" : "OVER", query, body, config, s - query - body - config,
                allCpu, queryCpu, w.BackGrid->rowCount(), mib, double(before) / 1024, double(afterQuery) / 1024, memLimit,
                mib <= memLimit ? "ok" : "OVER");
    std::fflush(stdout);
    w.hide();
    return 0;
}

// The windows on a small account set, saved as PNG files for a look.
int screenshots(const QString& dirName)
{
    QTemporaryDir work;
    bench::GenOptions o;
    o.lines = 200;
    const QString file = work.path() + QStringLiteral("/sales.txt");
    const QString stock = work.path() + QStringLiteral("/stock.txt");
    if (!bench::GenerateSalesFile(file, o) || !bench::GenerateStockFile(stock, o))
        return 1;
    const Program p = makeProgram(work.path(), QStringLiteral("embedded"));
    if (!makeAccountSet(p, QStringLiteral("看"), QStringLiteral("rlook"), {file}, o) ||
        !p.run(QStringLiteral("rlook"), {QStringLiteral("import"), stock}))
        return 1;
    SetAppDirForTesting(p.dir);
    TDMData dm;
    dm.Connect(QStringLiteral("local"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));
    ChooseAccountSet(dm, QStringLiteral("rlook"));
    QDir().mkpath(dirName);
    TfrmSales w(dm, nullptr);
    w.show();
    QApplication::processEvents();
    w.DateTimePicker1->setDate(QDate(2024, 1, 1));
    w.Edit5->setText(QStringLiteral("广"));
    w.CheckBox5->setChecked(false);
    w.TBLook->click();
    QApplication::processEvents();
    w.grab().save(dirName + QStringLiteral("/sales.png"));
    w.onStatOpen = [&](TfrmStart& st) {
        QTimer::singleShot(0, &st, [&] {
            st.ComboBox2->setCurrentIndex(1);
            st.TBStat->click();
            QApplication::processEvents();
            st.grab().save(dirName + QStringLiteral("/stat.png"));
            st.TBChart->click();
            QApplication::processEvents();
            st.grab().save(dirName + QStringLiteral("/stat-chart.png"));
            st.ComboBox2->setCurrentIndex(3);
            st.TBStat->click();
            QApplication::processEvents();
            st.grab().save(dirName + QStringLiteral("/stat-chart-days.png"));
            st.reject();
        });
    };
    w.TBStat->click();
    w.onPickerOpen = [&](TfrmInfo& pk) {
        QTimer::singleShot(0, &pk, [&] {
            QApplication::processEvents();
            pk.grab().save(dirName + QStringLiteral("/picker.png"));
            pk.reject();
        });
    };
    w.sbClient->click();
    w.reject();
    TfrmStock s(dm, nullptr);
    s.show();
    QApplication::processEvents();
    s.grab().save(dirName + QStringLiteral("/stock.png"));
    s.reject();
    std::printf("saved in %s\n", qPrintable(dirName));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The window is measured offscreen; screenshots use the display when there is one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && (qEnvironmentVariableIsEmpty("DISPLAY") ||
                                                           argc < 2 || std::string_view(argv[1]) != "--screenshots"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 4 && args[0] == QLatin1String("--window"))
        return windowChild(args[1], args[2], args[3]);
    if (args.size() == 2 && args[0] == QLatin1String("--screenshots"))
        return screenshots(args[1]);

    bench::GenOptions o;
    bench::GenOptions s;
    s.lines = 100000;
    s.seed = o.seed + 7;
    QString engine = QStringLiteral("all");
    bool keep = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--engine") && i + 1 < args.size())
            engine = args[++i];
        else if (args[i] == QLatin1String("--sales-rows") && i + 1 < args.size())
            s.lines = args[++i].toULongLong();
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else
            o.lines = args[i].toULongLong();
    }
    if (o.lines == 0 || s.lines == 0) {
        std::fprintf(stderr, "usage: reports [LINES] [--sales-rows N] [--engine embedded|postgresql|all] [--keep]\n"
                             "       reports --screenshots DIR\n");
        return 2;
    }
    QTemporaryDir work;
    work.setAutoRemove(!keep);
    const QString big = work.path() + QStringLiteral("/sales-big.txt"), small = work.path() + QStringLiteral("/sales-small.txt");
    if (!bench::GenerateSalesFile(big, o) || !bench::GenerateSalesFile(small, s))
        return 1;
    std::vector<Data> rounds = {{"generator files", {big}, {small}, o, s, 0.5, true}};
    Data shaped{"outlet-shaped files", {}, {}, bench::OutletShaped(o.lines / 3, QDate(2024, 1, 1)),
                bench::OutletShaped(s.lines, QDate(2024, 2, 1)), 0.2, false};
    for (int m = 1; m <= 3; ++m) {
        const QString file = work.path() + QStringLiteral("/shaped-%1.txt").arg(m);
        if (!bench::GenerateSalesFile(file, bench::OutletShaped(o.lines / 3, QDate(2024, m, 1))))
            return 1;
        shaped.big << file;
    }
    shaped.small << work.path() + QStringLiteral("/shaped-small.txt");
    if (!bench::GenerateSalesFile(shaped.small[0], shaped.s))
        return 1;
    rounds.push_back(shaped);
    std::printf("files: %llu and %llu sales lines over 2024-01-01 .. 2024-03-31, and outlet-shaped as many\n",
                (unsigned long long)o.lines, (unsigned long long)s.lines);
    std::fflush(stdout);
    for (std::size_t r = 0; r < rounds.size(); ++r) {
        if (engine == QLatin1String("embedded") || engine == QLatin1String("all"))
            benchEmbedded(work.path(), rounds[r], int(r));
        std::fflush(stdout);
        if (engine == QLatin1String("postgresql") || engine == QLatin1String("all"))
            benchPostgres(work.path(), rounds[r], int(r));
        std::fflush(stdout);
    }
    if (keep)
        std::printf("files kept in %s\n", qPrintable(work.path()));
    return 0;
}
