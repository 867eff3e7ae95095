// bench/deliveries: the head office's morning.
//   deliveries  corvanta-cli deliveries over 92 days of OUTLETS outlets with LINES sales lines
//               stored (outlet-shaped: one line per outlet, day and product; some outlet days
//               and a few outlets missing); target <= 0.3 s embedded, <= 0.5 s PostgreSQL, whole
//               command. Peer: the same per-outlet-day count over the lines in the sqlite3 shell
//               (psql on PostgreSQL), for scale.
//   intake      corvanta-cli intake of FILES outlet files of FILE_LINES lines  vs  one
//               corvanta-cli import of the same files; target ratio <= 1.2.
//
//   deliveries [--lines N] [--outlets N] [--files N] [--file-lines N] [--engine embedded|postgresql|all]
//              [--skip-deliveries] [--skip-intake]
// PostgreSQL uses PGHOST/PGPORT/PGUSER (e.g. from scripts/pg-test-cluster).
#include "bench/BenchProgram.h"
#include "base/Gbk.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

using namespace corvanta;
using namespace corvanta::bench;

namespace {

const QDate kFirst(2024, 1, 1);
constexpr int kDays = 92;

struct Options {
    qint64 lines = 10'000'000;
    int outlets = 500;
    int files = 200;
    int fileLines = 500;
    QStringList engines{QStringLiteral("embedded")};
    bool deliveries = true, intake = true;
};

// Outlets 6.. deliver; 1..5 never do; each outlet misses about one day in twenty.
bool delivers(int outlet, int day)
{
    return outlet > 5 && (outlet * 31 + day * 17) % 20 != 0;
}

// The lines of outlets [first, last] over the range, products numbered per day so that every
// line is its own group.
QByteArray outletLines(int first, int last, int perDay, int days = kDays)
{
    QByteArray out = gbk::encode(QStringLiteral("商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n"));
    const QByteArray name = gbk::encode(QStringLiteral("矿泉水"));
    const QByteArray rest = gbk::encode(QStringLiteral(",500ml,A,瓶,广州,"));
    for (int o = first; o <= last; ++o) {
        const QByteArray id = QByteArray::number(o);
        for (int d = 0; d < days; ++d) {
            if (days == kDays && !delivers(o, d))
                continue;
            const QByteArray date = kFirst.addDays(d).toString(Qt::ISODate).toLatin1();
            for (int p = 0; p < perDay; ++p) {
                out += name + QByteArray::number(p) + ",P" + QByteArray::number(10000 + p) + rest + date + ','
                       + QByteArray::number(1 + (p + o) % 9) + ",1.5," + QByteArray::number(2 + (p * 7 + d) % 90) + ".5,"
                       + id + ",11\r\n";
            }
        }
    }
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

void makeOld(const QString& path)
{
    namespace fs = std::filesystem;
    fs::last_write_time(fs::path(QFile::encodeName(path).toStdString()),
                        fs::file_time_type::clock::now() - std::chrono::seconds(60));
}

bool createSet(const Program& p, const QString& db, int outlets)
{
    if (!p.run(QString(), {"accountset-create", "--admin", p.admin(), "--password", QString(), db, db}))
        return false;
    for (int o = 1; o <= outlets; ++o)
        if (!p.run(db, {"outlet-add", "--id", QString::number(o), "--name", QStringLiteral("网点%1").arg(o)}))
            return false;
    return true;
}

void deleteSet(const Program& p, const QString& db)
{
    QProcess q;
    q.start(p.cli(), p.base(QString()) << "accountsets");
    q.waitForFinished(-1);
    for (const QString& line : QString::fromUtf8(q.readAllStandardOutput()).split('\n'))
        if (line.section('\t', 2, 2) == db)
            p.run(QString(), {"accountset-delete", "--admin", p.admin(), "--password", QString(), line.section('\t', 3, 3)});
}

void benchDeliveries(const Program& p, const QString& work, const Options& o)
{
    const QString db = QStringLiteral("bench_deliv");
    deleteSet(p, db);
    if (!createSet(p, db, o.outlets))
        return;
    const int delivering = o.outlets - 5;
    const int perDay = int(std::max<qint64>(1, o.lines / (qint64(delivering) * kDays * 19 / 20)));
    QElapsedTimer t;
    t.start();
    qint64 stored = 0;
    // A million lines or so a file, imported one after another.
    const int chunk = std::max(1, int(1'000'000 / (qint64(perDay) * kDays)));
    for (int first = 1; first <= o.outlets; first += chunk) {
        const int last = std::min(o.outlets, first + chunk - 1);
        const QString file = work + QStringLiteral("/chunk.txt");
        const QByteArray bytes = outletLines(first, last, perDay);
        stored += bytes.count('\n') - 1;
        if (!writeFile(file, bytes) || !p.run(db, {"import", file})) {
            std::printf("  deliveries: import of outlets %d..%d FAILED\n", first, last);
            return;
        }
    }
    std::printf("  %s: %lld lines of %d outlets over %d days stored in %.0f s\n", qPrintable(p.engine),
                static_cast<long long>(stored), o.outlets, kDays, double(t.elapsed()) / 1000);
    const QString to = kFirst.addDays(kDays - 1).toString(Qt::ISODate);
    // The first call may build what an account set lacks; the timed ones are the morning's.
    p.run(db, {"deliveries", "--from", kFirst.toString(Qt::ISODate), "--to", to});
    const Timing ours = best(p.cli(), p.base(db) << "deliveries" << "--from" << kFirst.toString(Qt::ISODate) << "--to" << to);
    Timing peer;
    const char* sql = "SELECT ID, DATE, count(*), sum(TOTAL) FROM sales WHERE DATE BETWEEN '2024-01-01' AND "
                      "'2024-04-01' GROUP BY ID, DATE;";
    if (p.engine == QLatin1String("embedded"))
        peer = best(QStringLiteral("sqlite3"), {p.dir + "/data/" + db + ".db", QString::fromLatin1(sql)});
    else
        peer = best(QStringLiteral("psql"),
                    {"-q", "-d", db, "-c",
                     "SELECT id, saledate, count(*), sum(total) FROM sales WHERE saledate BETWEEN '2024-01-01' AND "
                     "'2024-04-01' GROUP BY id, saledate"});
    const double target = p.engine == QLatin1String("embedded") ? 0.3 : 0.5;
    std::printf("  deliveries %s: %.3f s (cpu %.3f s), target <= %.1f s %s; plain count over the lines %.3f s (%.1fx)\n",
                qPrintable(p.engine), ours.wall, ours.cpu, target, ours.wall >= 0 && ours.wall <= target ? "ok" : "OVER",
                peer.wall, peer.wall > 0 && ours.wall > 0 ? peer.wall / ours.wall : 0.0);
    deleteSet(p, db);
}

void benchIntake(const Program& p, const QString& work, const Options& o)
{
    const QString files = work + QStringLiteral("/files");
    QDir().mkpath(files);
    QStringList paths;
    const int days = 5;
    const int perDay = std::max(1, o.fileLines / days);
    for (int f = 1; f <= o.files; ++f) {
        const QString path = files + QStringLiteral("/outlet%1.txt").arg(f, 4, 10, QLatin1Char('0'));
        writeFile(path, outletLines(f, f, perDay, days));
        paths << path;
    }
    std::vector<double> import, intake;
    for (int round = 0; round < 3; ++round) {
        const QString a = QStringLiteral("bench_imp%1").arg(round), b = QStringLiteral("bench_int%1").arg(round);
        deleteSet(p, a);
        deleteSet(p, b);
        if (!createSet(p, a, o.files) || !createSet(p, b, o.files))
            return;
        const QString inbox = work + QStringLiteral("/inbox%1").arg(round);
        QDir().mkpath(inbox);
        for (const QString& path : paths) {
            const QString copy = inbox + path.mid(files.size());
            QFile::copy(path, copy);
            makeOld(copy);
        }
        // Alternating which goes first, so that neither has the warmer cache each time.
        const auto runImport = [&] { import.push_back(timeProgram(p.cli(), p.base(a) << "import" << paths)); };
        const auto runIntake = [&] { intake.push_back(timeProgram(p.cli(), p.base(b) << "intake" << inbox)); };
        if (round % 2) {
            runIntake();
            runImport();
        } else {
            runImport();
            runIntake();
        }
        deleteSet(p, a);
        deleteSet(p, b);
    }
    std::sort(import.begin(), import.end());
    std::sort(intake.begin(), intake.end());
    const double r = import[1] > 0 ? intake[1] / import[1] : 0;
    std::printf("  intake %s: %d files of %d lines: intake %.3f s, import %.3f s (medians of 3), ratio %.2f (target <= 1.2) %s\n",
                qPrintable(p.engine), o.files, perDay * days, intake[1], import[1], r, r > 0 && r <= 1.2 ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == "--lines")
            o.lines = next.toLongLong(), ++i;
        else if (a == "--outlets")
            o.outlets = next.toInt(), ++i;
        else if (a == "--files")
            o.files = next.toInt(), ++i;
        else if (a == "--file-lines")
            o.fileLines = next.toInt(), ++i;
        else if (a == "--engine")
            o.engines = next == "all" ? QStringList{"embedded", "postgresql"} : QStringList{next}, ++i;
        else if (a == "--skip-deliveries")
            o.deliveries = false;
        else if (a == "--skip-intake")
            o.intake = false;
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(a));
            return 2;
        }
    }
    QTemporaryDir work;
    for (const QString& engine : o.engines) {
        const Program p = makeProgram(work.path(), engine);
        if (o.intake)
            benchIntake(p, work.path(), o);
        if (o.deliveries)
            benchDeliveries(p, work.path(), o);
    }
    return 0;
}
