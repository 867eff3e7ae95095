// import_gen sales|stock OUT [LINES] [SEED]: writes a GBK outlet file for benchmarks.
// import_gen outlets OUT [LINES] [YYYY-MM]: an outlet-shaped sales file of one month (200 outlets,
// 5,000 products).
#include "bench/ImportGen.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray kind = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (argc < 3 || (kind != "sales" && kind != "stock" && kind != "outlets")) {
        std::fprintf(stderr, "usage: %s sales|stock OUT [LINES] [SEED]\n       %s outlets OUT [LINES] [YYYY-MM]\n",
                     argv[0], argv[0]);
        return 2;
    }
    if (kind == "outlets") {
        const QDate month = argc > 4 ? QDate::fromString(QString::fromLatin1(argv[4]) + "-01", Qt::ISODate) : QDate(2024, 1, 1);
        if (!month.isValid())
            return 2;
        const auto o = corvanta::bench::OutletShaped(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1000000, month);
        return corvanta::bench::GenerateSalesFile(QString::fromLocal8Bit(argv[2]), o) ? 0 : 1;
    }
    corvanta::bench::GenOptions o;
    if (argc > 3)
        o.lines = std::strtoull(argv[3], nullptr, 10);
    if (argc > 4)
        o.seed = std::strtoull(argv[4], nullptr, 10);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const bool ok = QByteArray(argv[1]) == "sales" ? corvanta::bench::GenerateSalesFile(out, o)
                                                   : corvanta::bench::GenerateStockFile(out, o);
    return ok ? 0 : 1;
}
