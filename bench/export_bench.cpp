// bench/export: a sales-query grid of ROWS rows (default 100000, the 14 columns as the window
// shows them) written to XLSX and to CSV (UTF-8, GBK); seconds for each. Target: XLSX <= 3 s.
//   export [ROWS] [--keep DIR]
#include "export/GridExport.h"
#include "base/CellStore.h"
#include "reports/ReportLogic.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

using namespace corvanta;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int rows = 100000;
    QString keep;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--keep") && i + 1 < args.size())
            keep = args[++i];
        else
            rows = args[i].toInt();
    }
    if (rows <= 0) {
        std::fprintf(stderr, "usage: export [ROWS] [--keep DIR]\n");
        return 2;
    }

    CellStore cells(int(SalesColumns().size()));
    cells.reserve(std::size_t(rows), std::size_t(rows) * 12);
    const QDate first(2024, 1, 1);
    for (int r = 0; r < rows; ++r) {
        const std::string n = std::to_string(r + 1);
        const std::string code = std::string("P").append(std::to_string(r % 5000));
        const std::string name = std::string("红色铅笔").append(std::to_string(r % 5000));
        const std::string outlet = std::to_string(r % 300 + 1);
        const std::string date = first.addDays(r % 365).toString(QStringLiteral("yyyy-MM-dd")).toStdString();
        const std::string qty = std::to_string(r % 17 + 1);
        const std::string total = std::to_string(r % 997).append(".").append(std::to_string(r % 10)).append("5");
        const std::string cost = std::to_string(r % 631).append(".3");
        cells.appendRow({n, code, name, outlet, "东城店", "10支", "X", "盒", "北京", date, qty, total, cost,
                         r % 7 ? "销售" : "销售退货"});
    }
    const ReportGridTable table(SalesHeadings(), ColumnWidths(SalesColumns()), cells);

    QTemporaryDir tmp;
    const QString dir = keep.isEmpty() ? tmp.path() : keep;
    auto run = [&](const char* what, const QString& file, auto write) {
        QElapsedTimer t;
        t.start();
        QString error;
        const bool ok = write(file, &error);
        const double s = double(t.nsecsElapsed()) / 1e9;
        std::printf("%-10s %8d rows  %7.3f s  %10lld bytes%s\n", what, rows, s,
                    static_cast<long long>(QFileInfo(file).size()), ok ? "" : "  FAILED");
        return s;
    };
    const double xlsx = run("xlsx", dir + QStringLiteral("/sales.xlsx"), [&](const QString& f, QString* e) {
        return WriteXlsx(table, f, e);
    });
    run("csv-utf8", dir + QStringLiteral("/sales-utf8.csv"), [&](const QString& f, QString* e) {
        return WriteCsv(table, f, CsvEncoding::Utf8Bom, e);
    });
    run("csv-gbk", dir + QStringLiteral("/sales-gbk.csv"), [&](const QString& f, QString* e) {
        return WriteCsv(table, f, CsvEncoding::Gbk, e);
    });
    std::printf("xlsx target <= 3 s: %s\n", xlsx <= 3.0 ? "met" : "MISSED");
    return 0;
}
