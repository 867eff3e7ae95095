// Helper of the kill test: stages many sales lines for outlet 1 and consolidates them; prints
// "ADD" just before the consolidation so the test can kill it in the middle. With "bulk" the lines
// are sent as an import sends them (one bulk run on the engine).
//   conformance_kill_child PROGRAM_DIR DBNAME LINES QTY [bulk]
#include "app/Sysdef.h"
#include "connection/UDMData.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5 && argc != 6)
        return 2;
    const bool bulk = argc == 6 && QByteArray(argv[5]) == "bulk";
    using namespace corvanta;
    SetAppDirForTesting(QString::fromLocal8Bit(argv[1]));
    SetReturnValueName(QStringLiteral("@RETURN_VALUE"));
    const QString db = QString::fromLocal8Bit(argv[2]);
    const int lines = QByteArray(argv[3]).toInt();
    const QString qty = QString::fromLatin1(argv[4]);
    try {
        TDMData dm;
        dm.Connect(QStringLiteral("local"), QStringLiteral("sa"), QString(), QStringLiteral("embedded"));
        dm.ADOConnection.SetDefaultDatabase(db);
        dm.CallProc(dm.ADOSProc, QStringLiteral("hz_deleSales"));
        if (bulk)
            dm.ADOConnection.engine().beginBulk();
        for (int i = 0; i < lines; ++i) {
            const QString date = QStringLiteral("2024-01-0%1").arg(1 + i % 5);
            if (dm.CallProc(dm.ADOSProc, QStringLiteral("hz_InsertSales"),
                            {{"@USERCODE", QStringLiteral("P%1").arg(i % 50)}, {"@PTYPENAME", "商品"}, {"@DATE", date},
                             {"@QTY", qty}, {"@TOTAL", qty}, {"@COSTTOTAL", "0.1"}, {"@VCHTYPE", "11"}, {"@ID", "1"}})
                != 0)
                return 3;
        }
        if (bulk)
            dm.ADOConnection.engine().endBulk();
        std::printf("ADD\n");
        std::fflush(stdout);
        const int rv = dm.CallProc(dm.ADOSProc, QStringLiteral("hz_AddSales"));
        std::printf("DONE %d\n", rv);
        std::fflush(stdout);
        return rv == 0 ? 0 : 4;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
