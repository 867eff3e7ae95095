// Helper of the kill test: stages many sales lines for outlet 1 and consolidates them; prints
// "ADD" just before the consolidation so the test can kill it in the middle. With "bulk" the lines
// are sent as an import sends them (an intake session of the engine, consolidated by the session);
// "mixed" sends stock lines (quantity QTY) between them as well and consolidates both kinds.
//   conformance_kill_child PROGRAM_DIR DBNAME LINES QTY [bulk|mixed]
#include "base/Sysdef.h"
#include "connection/UDMData.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5 && argc != 6)
        return 2;
    const bool mixed = argc == 6 && QByteArray(argv[5]) == "mixed";
    const bool bulk = mixed || (argc == 6 && QByteArray(argv[5]) == "bulk");
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
        std::unique_ptr<IntakeSession> session;
        if (bulk && !(session = dm.ADOConnection.engine().beginIntake()))
            return 5;
        const std::string q = qty.toStdString();
        for (int i = 0; i < lines; ++i) {
            const QString date = QStringLiteral("2024-01-0%1").arg(1 + i % 5);
            const QString code = QStringLiteral("P%1").arg(i % 50);
            int rc = 0;
            if (session) {
                const std::string d = date.toStdString(), c = code.toStdString();
                const std::array<std::string_view, kSalesParams> v = {c, "商品", "", "", "", "", d, q, q, "0.1", "11", "1"};
                rc = session->add(IntakeKind::Sales, v);
            } else {
                rc = dm.CallProc(dm.ADOSProc, QStringLiteral("hz_InsertSales"),
                                 {{"@USERCODE", code}, {"@PTYPENAME", "商品"}, {"@DATE", date}, {"@QTY", qty},
                                  {"@TOTAL", qty}, {"@COSTTOTAL", "0.1"}, {"@VCHTYPE", "11"}, {"@ID", "1"}});
            }
            if (rc == 0 && mixed && i % 10 == 0) {
                const std::string c = code.toStdString();
                const std::array<std::string_view, kStockParams> v = {c, "商品", "", "", "", "", q, q, "1"};
                rc = session->add(IntakeKind::Stock, v);
            }
            if (rc != 0)
                return 3;
        }
        if (session)
            session->complete();
        std::printf("ADD\n");
        std::fflush(stdout);
        std::optional<int> consolidated;
        if (session)
            consolidated = session->consolidate(true, mixed);
        const int rv = consolidated ? *consolidated : dm.CallProc(dm.ADOSProc, QStringLiteral("hz_AddSales"));
        std::printf("DONE %d\n", rv);
        std::fflush(stdout);
        return rv == 0 ? 0 : 4;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
