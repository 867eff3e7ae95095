// import_gen sales|stock OUT [LINES] [SEED]: writes a GBK outlet file for benchmarks.
#include "bench/ImportGen.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || (QByteArray(argv[1]) != "sales" && QByteArray(argv[1]) != "stock")) {
        std::fprintf(stderr, "usage: %s sales|stock OUT [LINES] [SEED]\n", argv[0]);
        return 2;
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
