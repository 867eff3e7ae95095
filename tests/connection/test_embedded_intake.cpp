// The embedded engine's import intake: an intake written straight into the tables has the outcomes
// of one staged line by line. (The checks on bytes are held to the text forms in tests/base.)
#include "tests/connection/ConformanceFixture.h"

#include "base/Sysdef.h"
#include "engines/embedded/EmbeddedIntake.h"
#include "engines/embedded/SalesSummary.h"
#include "engines/embedded/Sqlite.h"

#include <QDate>
#include <limits>
#include <sqlite3.h>

namespace corvanta::test {
namespace {

using namespace corvanta::embedded;

std::string utf8(const QString& s)
{
    return s.toStdString();
}

const QString kD1 = QStringLiteral("2024-03-01");
const QString kD2 = QStringLiteral("2024-03-02");
const QStringList kFields = {"ID", "USERCODE", "DATE", "QTY"};

class EmbeddedIntake : public Conformance {
protected:
    Engine& engine() { return dm->ADOConnection.engine(); }

    // An intake session as the import opens it.
    void beginIntake()
    {
        session = engine().beginIntake();
        ASSERT_TRUE(session);
    }
    // A sales line as the import sends it in an intake session (UTF-8 values in the order of
    // SalesParam).
    int bulkSales(const QString& id, const QString& code, const QString& date, const QString& qty)
    {
        const std::string i = utf8(id), c = utf8(code), d = utf8(date), q = utf8(qty);
        const std::array<std::string_view, 12> v = {c, "名称", "S", "M", "个", "产地", d, q, "2", "1", "11", i};
        return session->add(IntakeKind::Sales, v);
    }
    int bulkStock(const QString& id, const QString& code, const QString& qty)
    {
        const std::string i = utf8(id), c = utf8(code), q = utf8(qty);
        const std::array<std::string_view, 9> v = {c, "名称", "S", "M", "个", "产地", q, "5", i};
        return session->add(IntakeKind::Stock, v);
    }
    // The consolidation as the import does it: the session's when it holds the lines, else the
    // procedure's call.
    int consolidate(IntakeKind kind)
    {
        if (session) {
            const std::optional<int> rc = session->consolidate(kind == IntakeKind::Sales, kind == IntakeKind::Stock);
            session.reset();
            if (rc)
                return *rc;
        }
        return call(kind == IntakeKind::Sales ? QStringLiteral("hz_AddSales") : QStringLiteral("hz_AddStock"));
    }
    std::unique_ptr<IntakeSession> session;
    std::vector<QStringList> sales()
    {
        Values f = salesFilter("2024-01-01", "2024-12-31");
        f.push_back({"@AREA", QString()});
        return query(QStringLiteral("hz_GetSales"), f, kFields);
    }
    std::vector<QStringList> stock()
    {
        return query(QStringLiteral("hz_GetStock"),
                     {{"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""}, {"@AREA", ""}},
                     {"ID", "USERCODE", "KCQTY"});
    }
};

// Replacing: the same outlet's lines of the same day go, other outlets and days stay; a refused
// line leaves no trace and the lines before it stay staged, as they would one by one.
TEST_F(EmbeddedIntake, BulkIntakeReplacesLikeTheStaging)
{
    addOutlet("1", "一号店");
    addOutlet("2", "二号店");
    call("hz_deleSales");
    ASSERT_EQ(insertSales("1", "OLD1", "x", kD1, "1", "1", "1"), 0);
    ASSERT_EQ(insertSales("2", "OLD2", "x", kD1, "2", "1", "1"), 0);
    ASSERT_EQ(insertSales("1", "OLD3", "x", kD2, "3", "1", "1"), 0);
    ASSERT_EQ(call("hz_AddSales"), 0);

    call("hz_deleSales");
    beginIntake();
    EXPECT_EQ(bulkSales("1", "N1", kD1, "10"), 0);
    EXPECT_EQ(bulkSales(" 1 ", "N2", "2024/3/1", "11.50"), 0);
    EXPECT_EQ(bulkSales("9", "X", kD1, "1"), -2);  // unknown outlet
    EXPECT_EQ(bulkSales("1", "X", "2024-02-30", "1"), -1);
    EXPECT_EQ(bulkSales("1", "X", kD1, "1e3"), -1);
    session->complete();
    // Nothing is visible before the consolidation.
    EXPECT_EQ(sales(), (std::vector<QStringList>{{"1", "OLD1", kD1, "1"}, {"2", "OLD2", kD1, "2"}, {"1", "OLD3", kD2, "3"}}));
    ASSERT_EQ(consolidate(IntakeKind::Sales), 0);
    EXPECT_EQ(sales(), (std::vector<QStringList>{{"1", "N1", kD1, "10"},
                                                 {"1", "N2", kD1, "11.5"},
                                                 {"2", "OLD2", kD1, "2"},
                                                 {"1", "OLD3", kD2, "3"}}));
    ASSERT_EQ(call("hz_AddSales"), 0);  // consumed: nothing doubles
    EXPECT_EQ(sales().size(), 4u);

    // A run that stopped at a refused line: its lines wait in the staging, not in the figures.
    call("hz_deleSales");
    beginIntake();
    EXPECT_EQ(bulkSales("2", "N3", kD2, "7"), 0);
    EXPECT_EQ(bulkSales("3", "X", kD2, "1"), -2);
    session->complete();
    EXPECT_EQ(sales().size(), 4u);
    ASSERT_EQ(call("hz_AddSales"), 0);
    EXPECT_EQ(sales().back(), (QStringList{"2", "N3", kD2, "7"}));

    // A preparation call after the intake throws its lines away.
    call("hz_deleSales");
    beginIntake();
    EXPECT_EQ(bulkSales("2", "GONE", kD2, "1"), 0);
    session->complete();
    call("hz_deleSales");
    ASSERT_EQ(call("hz_AddSales"), 0);
    EXPECT_EQ(sales().size(), 5u);

    // Several outlets re-imported for one day, one with a key that needs quoting: each replaces
    // its own lines of that day and nothing else.
    const QString odd = QStringLiteral("门店\"7\\");
    addOutlet(odd, QStringLiteral("七号店"));
    call("hz_deleSales");
    ASSERT_EQ(insertSales(odd, "Q1", "x", kD1, "1", "1", "1"), 0);
    ASSERT_EQ(call("hz_AddSales"), 0);
    call("hz_deleSales");
    beginIntake();
    EXPECT_EQ(bulkSales(odd, "Q2", kD1, "2"), 0);
    EXPECT_EQ(bulkSales("1", "N5", kD1, "5"), 0);
    session->complete();
    ASSERT_EQ(consolidate(IntakeKind::Sales), 0);
    std::vector<QStringList> day1;
    for (const QStringList& row : sales())
        if (row[2] == kD1)
            day1.push_back(row);
    EXPECT_EQ(day1, (std::vector<QStringList>{{"1", "N5", kD1, "5"}, {"2", "OLD2", kD1, "2"}, {odd, "Q2", kD1, "2"}}));
}

// A file of both kinds is consolidated by one kind; the other kind's lines stay staged and a later
// consolidation of their kind takes them, in their order.
TEST_F(EmbeddedIntake, MixedIntakeConsolidatesOneKind)
{
    addOutlet("1", "一号店");
    call("hz_deleSales");
    ASSERT_EQ(insertStock("1", "OLDSTOCK", "x", "1", "1"), 0);
    ASSERT_EQ(call("hz_AddStock"), 0);

    call("hz_deleSales");
    beginIntake();
    ASSERT_EQ(bulkSales("1", "S1", kD2, "1"), 0);
    EXPECT_EQ(bulkSales("1", "S2", kD1, "2"), 0);
    EXPECT_EQ(bulkSales("1", "S3", kD2, "3"), 0);
    EXPECT_EQ(bulkStock("1", "K1", "4"), 0);
    EXPECT_EQ(bulkStock("1", "K2", "x"), -1);
    session->complete();
    ASSERT_EQ(consolidate(IntakeKind::Stock), 0);
    EXPECT_EQ(stock(), (std::vector<QStringList>{{"1", "K1", "4"}}));
    EXPECT_TRUE(sales().empty());
    ASSERT_EQ(call("hz_AddSales"), 0);
    EXPECT_EQ(sales(), (std::vector<QStringList>{{"1", "S2", kD1, "2"}, {"1", "S1", kD2, "1"}, {"1", "S3", kD2, "3"}}));

    // Many lines: several batches, the day order and the file order within a day kept.
    call("hz_deleSales");
    beginIntake();
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(bulkSales("1", QStringLiteral("P%1").arg(i, 5, 10, QLatin1Char('0')), i % 2 ? kD1 : kD2, "1"), 0);
    session->complete();
    ASSERT_EQ(consolidate(IntakeKind::Sales), 0);
    const auto rows = sales();
    ASSERT_EQ(rows.size(), 20000u);
    EXPECT_EQ(rows.front()[1], "P00001");
    EXPECT_EQ(rows[9999][1], "P19999");
    EXPECT_EQ(rows[10000][1], "P00000");
    EXPECT_EQ(rows.back()[1], "P19998");
    auto stat = query("hz_AllStat", {{"@date1", kD1}, {"@date2", kD1}, {"@iType", "D"}}, {"code", "AllQTY"});
    EXPECT_EQ(stat, (std::vector<QStringList>{{kD1, "10000"}}));
}

// An account set made by the first template (sales in import order, two indexes) is renumbered
// by day when it is opened, and its figures read as before.
TEST_F(EmbeddedIntake, SchemaOneIsUpgraded)
{
    const QString file = GetDataDir() + "/" + dbName + ".db";
    dm.reset();
    {
        auto db = sqlite::Db::open(file, SQLITE_OPEN_READWRITE);
        db->exec(QStringLiteral(
            "DROP TABLE sales;"
            "CREATE TABLE sales(seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, PTYPENAME TEXT, STANDARD TEXT,"
            "  TYPE TEXT, UNIT TEXT, AREA TEXT, DATE TEXT NOT NULL, QTY INTEGER NOT NULL, TOTAL INTEGER NOT NULL,"
            "  COSTTOTAL INTEGER NOT NULL, VCHTYPE INTEGER NOT NULL);"
            "CREATE INDEX sales_date ON sales(DATE); CREATE INDEX sales_outlet_date ON sales(ID, DATE);"
            "INSERT INTO outlets(idkey, ID, idnum, AGENTNAME) VALUES('1', '1', 1, 'a');"
            "INSERT INTO sales VALUES(1, '1', 'B', 'n', '', '', '', '', '2024-03-02', 1000000, 0, 0, 11);"
            "INSERT INTO sales VALUES(2, '1', 'A', 'n', '', '', '', '', '2024-03-01', 2000000, 0, 0, 11);"
            "INSERT INTO sales VALUES(3, '1', 'C', 'n', '', '', '', '', '2024-03-02', 3000000, 0, 0, 11);"
            "PRAGMA user_version = 1;"));
    }
    dm = newClient();
    EXPECT_EQ(sales(), (std::vector<QStringList>{{"1", "A", kD1, "2"}, {"1", "B", kD2, "1"}, {"1", "C", kD2, "3"}}));
    auto d2 = query("hz_GetSales", [&] { Values f = salesFilter(kD2, kD2); f.push_back({"@AREA", ""}); return f; }(),
                    kFields);
    EXPECT_EQ(d2.size(), 2u);
    auto db = sqlite::Db::open(file, SQLITE_OPEN_READWRITE);
    auto q = db->prepare("SELECT count(*) FROM sqlite_master WHERE name LIKE 'sales_%'");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.integer(0), 0);
}

// The daily summary written in parts (more groups than the writer holds): parts of one group add
// up, outlet days lose their earlier rows once, lines taken back out leave the summary of the
// lines that stay, and a sum beyond the exact range fails in whichever part it arises.
TEST_F(EmbeddedIntake, SummaryWrittenInPartsEqualsTheGroupedLines)
{
    addOutlet("1", "一号店");
    addOutlet("2", "二号店");
    call("hz_deleSales");
    ASSERT_EQ(insertSales("1", "OLD", "x", kD1, "1", "1", "1"), 0);
    ASSERT_EQ(insertSales("2", "OLD", "x", kD1, "2", "1", "1"), 0);
    ASSERT_EQ(insertSales("1", "OLD", "x", kD2, "3", "1", "1"), 0);
    ASSERT_EQ(call("hz_AddSales"), 0);

    const QString file = GetDataDir() + "/" + dbName + ".db";
    auto db = sqlite::Db::open(file, SQLITE_OPEN_READWRITE);
    db->exec(QStringLiteral("CREATE TEMP TABLE stage_sales(seq INTEGER PRIMARY KEY, ID TEXT NOT NULL, USERCODE TEXT, "
                            "PTYPENAME TEXT, STANDARD TEXT, TYPE TEXT, UNIT TEXT, AREA TEXT, DATE TEXT NOT NULL, "
                            "QTY INTEGER NOT NULL, TOTAL INTEGER NOT NULL, COSTTOTAL INTEGER NOT NULL, "
                            "VCHTYPE INTEGER NOT NULL)"));
    // Rows of the summary that the grouped lines do not give, and the other way round.
    auto mismatches = [&] {
        db->exec(QStringLiteral("DROP TABLE IF EXISTS temp.sum_rows; CREATE TEMP TABLE sum_rows(day, ID, USERCODE, "
                                "PTYPENAME, VCHTYPE, DATE, QTY, TOTAL, COSTTOTAL)"));
        for (const SummaryRow& r : readSalesSummary(*db))
            db->prepare("INSERT INTO temp.sum_rows VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
                .bindInt(1, r.day).bindUtf8(2, r.id).bindUtf8(3, r.usercode).bindUtf8(4, r.ptypename)
                .bindInt(5, r.vchType).bindUtf8(6, r.date).bindInt(7, r.qty).bindInt(8, r.total).bindInt(9, r.cost)
                .run();
        auto q = db->prepare(
            "WITH g AS (SELECT seq >> 40 AS day, ID, coalesce(USERCODE, '') AS u, coalesce(PTYPENAME, '') AS p, "
            "  VCHTYPE AS v, max(DATE) AS d, sum(QTY) AS q, sum(TOTAL) AS t, sum(COSTTOTAL) AS c FROM sales "
            "  GROUP BY 1, 2, 3, 4, 5), "
            "s AS (SELECT day, ID, USERCODE, PTYPENAME, VCHTYPE, DATE, QTY, TOTAL, COSTTOTAL FROM temp.sum_rows) "
            "SELECT (SELECT count(*) FROM (SELECT * FROM g EXCEPT SELECT * FROM s)) + "
            "(SELECT count(*) FROM (SELECT * FROM s EXCEPT SELECT * FROM g)), (SELECT count(*) FROM s)");
        EXPECT_TRUE(q.step());
        return std::make_pair(q.integer(0), q.integer(1));
    };
    SalesRow row;
    auto add = [&](IntakeWriter& w, const char* id, const char* code, const QString& date, qint64 qty, int vch = 11) {
        row.id = id;
        row.usercode = code;
        row.ptypename = "名";
        row.day = *ParseDay(date.toStdString());
        row.qty = qty;
        row.total = qty;
        row.cost = qty / 2;
        row.vchType = vch;
        w.addSales(row);
    };
    {
        sqlite::Transaction tx(*db);
        IntakeWriter w(*db);
        w.setSumsLimit(2);
        for (int round = 0; round < 3; ++round) {  // the same groups again in later parts
            add(w, "1", "A", kD1, 1000000);
            add(w, "1", "B", kD1, 500000);
            add(w, "1", "A", kD1, 250000, 45);
            add(w, "2", "A", kD2, 7000000);
        }
        w.replaceSales();
        tx.commit();
    }
    EXPECT_EQ(mismatches(), std::make_pair(qint64(0), qint64(6)));  // outlet 1's day 1 replaced

    // Lines of a kind not consolidated go back to the staging: the parts written go too.
    {
        sqlite::Transaction tx(*db);
        IntakeWriter w(*db);
        w.setSumsLimit(1);
        add(w, "1", "C", kD1, 1000000);
        add(w, "1", "D", kD2, 1000000);
        add(w, "2", "E", kD1, 1000000);
        w.unstageSales();
        tx.commit();
    }
    EXPECT_EQ(mismatches(), std::make_pair(qint64(0), qint64(6)));
    {
        auto staged = db->prepare("SELECT count(*) FROM temp.stage_sales");
        ASSERT_TRUE(staged.step());
        EXPECT_EQ(staged.integer(0), 3);
    }

    // Two halves of a sum beyond 64 bits, written in one part and in two: refused alike.
    for (const size_t limit : {size_t(100), size_t(1)}) {
        sqlite::Transaction tx(*db);
        IntakeWriter w(*db);
        w.setSumsLimit(limit);
        try {
            add(w, "1", "BIG", kD1, std::numeric_limits<qint64>::max() / 2 + 1);
            add(w, "1", "BIG", kD1, std::numeric_limits<qint64>::max() / 2 + 1);
            w.replaceSales();
            ADD_FAILURE() << "no error with parts of " << limit;
        } catch (const DbError& e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), SumOutOfRangeText()) << limit;
        }
    }
    EXPECT_EQ(mismatches(), std::make_pair(qint64(0), qint64(6)));
}

}  // namespace
}  // namespace corvanta::test
