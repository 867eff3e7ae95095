// An account set on the PostgreSQL engine under several clients: private staging, consolidation
// that is all or nothing even when the importing process is killed, and text kept as typed.
#include "engines/postgresql/PostgresEngine.h"
#include "tests/engines/postgresql/PgTestServer.h"
#include "tests/support/TestSupport.h"

#include <QDate>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <barrier>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <thread>
#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace corvanta;
using namespace corvanta::test;

namespace {

using Values = std::vector<std::pair<QString, QVariant>>;

// The intake sessions the tests open, per client (Engine::beginIntake, as the import drives it).
std::map<Engine*, std::unique_ptr<IntakeSession>>& sessions()
{
    static std::map<Engine*, std::unique_ptr<IntakeSession>> open;
    return open;
}

void beginIntake(Engine& e)
{
    std::unique_ptr<IntakeSession> s = e.beginIntake();
    ASSERT_TRUE(s);
    sessions()[&e] = std::move(s);
}

// The lines are all in; the session stays for the consolidation.
void completeIntake(Engine& e)
{
    sessions().at(&e)->complete();
}

std::unique_ptr<IntakeSession> takeSession(Engine& e)
{
    auto it = sessions().find(&e);
    if (it == sessions().end())
        return nullptr;
    std::unique_ptr<IntakeSession> s = std::move(it->second);
    sessions().erase(it);
    return s;
}

// A line of kind: into the client's open session as the import sends it, else the procedure's call.
qlonglong intakeLine(Engine& e, IntakeKind kind, const Values& v)
{
    auto it = sessions().find(&e);
    if (it == sessions().end())
        return e.call(kind == IntakeKind::Sales ? QStringLiteral("hz_InsertSales") : QStringLiteral("hz_InsertStock"), v)
            .returnValue;
    const std::span<const char* const> names = intakeParamNames(kind);
    std::vector<std::string> texts(names.size());
    for (const auto& [name, value] : v)
        for (std::size_t i = 0; i < names.size(); ++i)
            if (name.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0 && !value.isNull())
                texts[i] = value.toString().toStdString();
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    return it->second->add(kind, views);
}

// The consolidation as the import does it: the session's when it holds the lines, else the call.
qlonglong consolidate(Engine& e, IntakeKind kind, std::unique_ptr<IntakeSession> session)
{
    if (session)
        if (const std::optional<int> rc = session->consolidate(kind == IntakeKind::Sales, kind == IntakeKind::Stock))
            return *rc;
    return e.call(kind == IntakeKind::Sales ? QStringLiteral("hz_AddSales") : QStringLiteral("hz_AddStock"), {})
        .returnValue;
}
qlonglong consolidate(Engine& e, IntakeKind kind)
{
    return consolidate(e, kind, takeSession(e));
}

// One account set of its own per test, dropped at the end.
class PgAccountSet : public ::testing::Test {
protected:
    void SetUp() override
    {
        CORVANTA_REQUIRE_PG();
        m_dir = std::make_unique<TempProgramDir>();
        m_dir->copyShippedData();
        m_db = uniquePgDatabaseName("acct");
        auto master = openPgMaster();
        master->restoreTemplate(m_db);
    }
    void TearDown() override
    {
        sessions().clear();
        if (!m_db.isEmpty())
            dropPgDatabase(m_db);
    }

    std::unique_ptr<Engine> client() const
    {
        auto e = openPgMaster();
        e->useDatabase(m_db);
        return e;
    }

    static void addOutlet(Engine& e, const QString& id, const QString& name)
    {
        const Values v = {{QStringLiteral("@ID"), id},          {QStringLiteral("@AGENTNAME"), name},
                          {QStringLiteral("@AGENTTYPE"), ""},   {QStringLiteral("@TELEPHONE"), ""},
                          {QStringLiteral("@FAX"), ""},         {QStringLiteral("@ADDRESS"), ""},
                          {QStringLiteral("@LINKMAN"), ""}};
        ASSERT_EQ(e.call(QStringLiteral("hz_InsertNet"), v).returnValue, 0);
    }

    static qlonglong insertSale(Engine& e, const QString& outlet, const QString& code, const QString& date,
                                const QString& qty, const QString& name = QStringLiteral("商品"), bool utf8Form = false)
    {
        const Values v = {{QStringLiteral("@USERCODE"), code},   {QStringLiteral("@PTYPENAME"), name},
                          {QStringLiteral("@STANDARD"), "s"},    {QStringLiteral("@TYPE"), "t"},
                          {QStringLiteral("@UNIT"), "u"},        {QStringLiteral("@AREA"), "a"},
                          {QStringLiteral("@DATE"), date},       {QStringLiteral("@QTY"), qty},
                          {QStringLiteral("@TOTAL"), "10"},      {QStringLiteral("@COSTTOTAL"), "7"},
                          {QStringLiteral("@VCHTYPE"), "11"},    {QStringLiteral("@ID"), outlet}};
        (void)utf8Form;  // the session takes UTF-8 values whatever the form
        return intakeLine(e, IntakeKind::Sales, v);
    }

    static std::vector<QVariantList> sales(Engine& e)
    {
        const CallResult r = e.call(QStringLiteral("hz_GetSales"), {});
        return r.rowset ? r.rowset->rows : std::vector<QVariantList>{};
    }

    std::unique_ptr<TempProgramDir> m_dir;
    QString m_db;
};

// Column numbers of hz_GetSales.
constexpr int kUserCode = 0, kId = 2, kDate = 8, kQty = 9;

}  // namespace

TEST_F(PgAccountSet, StagingIsPrivateToEachClient)
{
    auto a = client();
    auto b = client();
    addOutlet(*a, QStringLiteral("1"), QStringLiteral("一店"));
    addOutlet(*a, QStringLiteral("2"), QStringLiteral("二店"));

    a->call(QStringLiteral("hz_deleSales"), {});
    EXPECT_EQ(insertSale(*a, QStringLiteral("1"), QStringLiteral("A1"), QStringLiteral("2024-03-01"), QStringLiteral("1")), 0);
    b->call(QStringLiteral("hz_deleSales"), {});  // must not clear a's lines
    EXPECT_EQ(insertSale(*b, QStringLiteral("2"), QStringLiteral("B1"), QStringLiteral("2024-03-01"), QStringLiteral("5")), 0);
    EXPECT_EQ(insertSale(*a, QStringLiteral("1"), QStringLiteral("A2"), QStringLiteral("2024-03-01"), QStringLiteral("2")), 0);
    EXPECT_EQ(insertSale(*a, QStringLiteral("9"), QStringLiteral("A3"), QStringLiteral("2024-03-01"), QStringLiteral("2")), -2);

    EXPECT_EQ(a->call(QStringLiteral("hz_AddSales"), {}).returnValue, 0);
    std::vector<QVariantList> rows = sales(*b);
    ASSERT_EQ(rows.size(), 2u);  // a's two lines, none of b's
    EXPECT_EQ(rows[0][kUserCode].toString(), QStringLiteral("A1"));
    EXPECT_EQ(rows[1][kUserCode].toString(), QStringLiteral("A2"));

    EXPECT_EQ(b->call(QStringLiteral("hz_AddSales"), {}).returnValue, 0);
    rows = sales(*a);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][kUserCode].toString(), QStringLiteral("B1"));
    EXPECT_EQ(rows[2][kQty].toString(), QStringLiteral("5"));

    // a consolidating again has nothing left to add.
    EXPECT_EQ(a->call(QStringLiteral("hz_AddSales"), {}).returnValue, 0);
    EXPECT_EQ(sales(*a).size(), 3u);

    // A client that ends takes its unconsolidated lines with it.
    {
        auto c = client();
        c->call(QStringLiteral("hz_deleSales"), {});
        EXPECT_EQ(insertSale(*c, QStringLiteral("1"), QStringLiteral("C1"), QStringLiteral("2024-03-02"), QStringLiteral("1")), 0);
    }
    EXPECT_EQ(b->call(QStringLiteral("hz_AddSales"), {}).returnValue, 0);
    EXPECT_EQ(sales(*a).size(), 3u);
}

// Two clerks consolidating the same outlet's same days at the same moment: the result is one
// copy of the lines, never two.
TEST_F(PgAccountSet, SimultaneousReimportsDoNotDouble)
{
    auto setup = client();
    addOutlet(*setup, QStringLiteral("7"), QStringLiteral("七店"));
    constexpr int kLines = 300;
    auto a = client();
    auto b = client();
    for (int round = 0; round < 4; ++round) {
        for (Engine* e : {a.get(), b.get()}) {
            e->call(QStringLiteral("hz_deleSales"), {});
            for (int i = 0; i < kLines; ++i)
                ASSERT_EQ(insertSale(*e, QStringLiteral("7"), QStringLiteral("P%1").arg(i),
                                     QStringLiteral("2024-04-%1").arg(1 + i % 5), QStringLiteral("1")),
                          0);
        }
        std::barrier start(2);
        std::atomic<int> failed{0};
        auto consolidateAt = [&](Engine* e) {
            start.arrive_and_wait();
            try {
                if (e->call(QStringLiteral("hz_AddSales"), {}).returnValue != 0)
                    ++failed;
            } catch (const DbError&) {
                ++failed;
            }
        };
        std::thread ta(consolidateAt, a.get()), tb(consolidateAt, b.get());
        ta.join();
        tb.join();
        EXPECT_EQ(failed.load(), 0);
        EXPECT_EQ(sales(*setup).size(), size_t(kLines)) << "round " << round;
    }
}

// An import's intake in a bulk run answers every line as the plain calls do and stores the
// same figures, including text that COPY must escape.
TEST_F(PgAccountSet, BulkIntakeAnswersAsPlainCalls)
{
    auto e = client();
    addOutlet(*e, QStringLiteral("1"), QStringLiteral("一店"));
    struct Line {
        const char* outlet;
        const char* date;
        const char* qty;
        const char* vch;
        QString name;
    };
    const QString odd = QStringLiteral("tab\there\\back\nnew\rret 全角");
    const std::vector<Line> lines = {
        {"1", "2024-3-5", "1.5", "11", QStringLiteral("a")},
        {"\u3000 1 ", "2024/03/05", ".5", " 45 ", odd},
        {"1", "20240306", "5.", "11", QStringLiteral("c")},
        {"1", " 2024-03-06 ", "+3", "11", QStringLiteral("d")},
        {"1", "2024-03-07", "-0", "11", QStringLiteral("e")},
        {"1", "2024-03-07", "999999999999.123456", "11", QStringLiteral("f")},
        {"1", "2024-02-30", "1", "11", QStringLiteral("bad date")},
        {"1", "2024-03/05", "1", "11", QStringLiteral("mixed separators")},
        {"1", "2024-03-05", "1e5", "11", QStringLiteral("exponent")},
        {"1", "2024-03-05", "0.1234567", "11", QStringLiteral("7 decimals")},
        {"1", "2024-03-05", "1000000000000", "11", QStringLiteral("13 digits")},
        {"1", "2024-03-05", "1", "12", QStringLiteral("document type")},
        {"9", "2024-03-05", "1", "11", QStringLiteral("unknown outlet")},
        {"01", "2024-03-05", "1", "11", QStringLiteral("other outlet text")},
        {"1", "2024-03-08", "2", "45", QStringLiteral("h")},
    };
    auto run = [&](bool bulk) {
        std::vector<qlonglong> codes;
        e->call(QStringLiteral("hz_deleSales"), {});
        if (bulk)
            beginIntake(*e);
        for (const Line& l : lines) {
            const Values v = {{QStringLiteral("@USERCODE"), QStringLiteral(" C1 ")},
                              {QStringLiteral("@PTYPENAME"), l.name},
                              {QStringLiteral("@STANDARD"), odd},
                              {QStringLiteral("@TYPE"), ""},
                              {QStringLiteral("@UNIT"), QVariant()},
                              {QStringLiteral("@AREA"), "a"},
                              {QStringLiteral("@DATE"), QString::fromUtf8(l.date)},
                              {QStringLiteral("@QTY"), QString::fromUtf8(l.qty)},
                              {QStringLiteral("@TOTAL"), "10"},
                              {QStringLiteral("@COSTTOTAL"), "7.25"},
                              {QStringLiteral("@VCHTYPE"), QString::fromUtf8(l.vch)},
                              {QStringLiteral("@ID"), QString::fromUtf8(l.outlet)}};
            codes.push_back(intakeLine(*e, IntakeKind::Sales, v));
        }
        if (bulk)
            completeIntake(*e);
        EXPECT_EQ(consolidate(*e, IntakeKind::Sales), 0);
        return std::make_pair(codes, sales(*e));
    };
    const auto plain = run(false);
    const auto bulk = run(true);
    EXPECT_EQ(plain.first, (std::vector<qlonglong>{0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -2, -2, 0}));
    EXPECT_EQ(bulk.first, plain.first);
    ASSERT_EQ(plain.second.size(), 7u);
    EXPECT_EQ(bulk.second, plain.second);  // the re-import replaced the lines with equal ones
    EXPECT_EQ(plain.second[1][1].toString(), odd);
    EXPECT_EQ(plain.second[1][4].toString(), odd);
    EXPECT_EQ(plain.second[1][kUserCode].toString(), QStringLiteral("C1"));
}

// After an import and a batch right after it: the block ranges they added are summarised (the
// next replace skips them), and the summary's plain columns per outlet day (line count, amount)
// and its monthly sums agree with the lines.
TEST_F(PgAccountSet, ConsolidationSummarisesItsRangesAndKeepsThePlainSums)
{
    // No vacuum comes in between: its summarising leaves the last range as it is.
    pgScalarIn(m_db, QStringLiteral("ALTER TABLE sales SET (autovacuum_enabled = off)"));
    auto e = client();
    for (int o = 1; o <= 8; ++o)
        addOutlet(*e, QString::number(o), QStringLiteral("店%1").arg(o));
    auto import = [&](int fromDay, int days, int outlets, int products, const char* total) {
        e->call(QStringLiteral("hz_deleSales"), {});
        beginIntake(*e);
        for (int d = fromDay; d < fromDay + days; ++d)
            for (int o = 1; o <= outlets; ++o)
                for (int p = 0; p < products; ++p) {
                    const Values v = {{QStringLiteral("@USERCODE"), QStringLiteral("C%1").arg(p)},
                                      {QStringLiteral("@PTYPENAME"), QStringLiteral("品%1").arg(p % 7)},
                                      {QStringLiteral("@STANDARD"), "S"}, {QStringLiteral("@TYPE"), "T"},
                                      {QStringLiteral("@UNIT"), "个"}, {QStringLiteral("@AREA"), "a"},
                                      {QStringLiteral("@DATE"), QDate(2024, 1, 30).addDays(d).toString(Qt::ISODate)},
                                      {QStringLiteral("@QTY"), QString::number(p % 5 + 1)},
                                      {QStringLiteral("@TOTAL"), QString::fromLatin1(total)},
                                      {QStringLiteral("@COSTTOTAL"), "0.25"},
                                      {QStringLiteral("@VCHTYPE"), p % 9 ? "11" : "45"},
                                      {QStringLiteral("@ID"), QString::number(o)}};
                    ASSERT_EQ(intakeLine(*e, IntakeKind::Sales, v), 0);
                }
        completeIntake(*e);
        ASSERT_EQ(consolidate(*e, IntakeKind::Sales), 0);
    };
    import(0, 6, 8, 500, "1.5");  // across a month's end
    for (int o = 1; o <= 8; ++o)
        import(o % 2 ? 5 : 6, 1, 1, 40, "2.25");  // outlet 1 only each time: replaces, then a new day
    // Rows of a that b lacks and of b that a lacks.
    auto differing = [this](const char* a, const char* b) {
        return pgScalarIn(m_db, QStringLiteral("SELECT (SELECT count(*) FROM (%1 EXCEPT %2) x) + "
                                               "(SELECT count(*) FROM (%2 EXCEPT %1) y)")
                                    .arg(QLatin1String(a), QLatin1String(b)));
    };
    EXPECT_EQ(pgScalarIn(m_db, QStringLiteral("SELECT brin_summarize_new_values('sales_brin')")), QStringLiteral("0"));
    EXPECT_EQ(differing("SELECT saledate, id, lines, total FROM sales_daysum",
                        "SELECT saledate, id, count(*), sum(total) FROM sales GROUP BY 1, 2"),
              QStringLiteral("0"));
    // The monthly sums are those folded in plus the changes pending; both ways they agree.
    const char* months = "SELECT month, usercode, ptypename, vchtype, sum(qty), sum(total), sum(costtotal) "
                         "FROM (SELECT * FROM sales_monthsum UNION ALL SELECT * FROM sales_monthpend) m "
                         "GROUP BY 1, 2, 3, 4 HAVING sum(groups) > 0";
    const char* lines = "SELECT date_trunc('month', saledate)::date, usercode, ptypename, vchtype, sum(qty), sum(total), "
                        "sum(costtotal) FROM sales GROUP BY 1, 2, 3, 4";
    EXPECT_EQ(differing(months, lines), QStringLiteral("0"));
    pgScalarIn(m_db, QStringLiteral("SELECT hz_util_month_fold(0)"));
    EXPECT_EQ(pgScalarIn(m_db, QStringLiteral("SELECT count(*) FROM sales_monthpend")), QStringLiteral("0"));
    EXPECT_EQ(differing(months, lines), QStringLiteral("0"));
    EXPECT_EQ(pgScalarIn(m_db, QStringLiteral("SELECT count(*) FROM sales_daysum")),
              pgScalarIn(m_db, QStringLiteral("SELECT count(DISTINCT (saledate, id)) FROM sales")));
}

// Batches are copied as they fill and before any other call, so the order of the lines and of
// the calls holds; a line the server refuses after the engine took it is an error.
TEST_F(PgAccountSet, BulkIntakeBatchesAndRefusals)
{
    auto e = client();
    addOutlet(*e, QStringLiteral("1"), QStringLiteral("一店"));
    addOutlet(*e, QStringLiteral("2"), QStringLiteral("二店"));
    constexpr int kLines = 12000;
    e->call(QStringLiteral("hz_deleSales"), {});
    beginIntake(*e);
    for (int i = 0; i < kLines; ++i) {
        ASSERT_EQ(insertSale(*e, QStringLiteral("1"), QStringLiteral("K%1").arg(i, 5, 10, QLatin1Char('0')),
                             QStringLiteral("2024-07-01"), QString::number(i)),
                  0);
        if (i == 7000) {  // another procedure in the middle of the run
            EXPECT_TRUE(e->call(QStringLiteral("hz_GetNet"), {}).rowset.has_value());
        }
    }
    completeIntake(*e);
    EXPECT_EQ(consolidate(*e, IntakeKind::Sales), 0);
    const std::vector<QVariantList> rows = sales(*e);
    ASSERT_EQ(rows.size(), size_t(kLines));
    for (int i = 0; i < kLines; ++i)
        ASSERT_EQ(rows[size_t(i)][kQty].toString(), QString::number(i)) << "line " << i;

    // Outlet 2 is deleted by another client while its lines wait in the engine.
    e->call(QStringLiteral("hz_deleSales"), {});
    beginIntake(*e);
    EXPECT_EQ(insertSale(*e, QStringLiteral("1"), QStringLiteral("X1"), QStringLiteral("2024-07-02"), QStringLiteral("1")), 0);
    EXPECT_EQ(insertSale(*e, QStringLiteral("2"), QStringLiteral("X2"), QStringLiteral("2024-07-02"), QStringLiteral("1")), 0);
    auto other = client();
    EXPECT_EQ(other->call(QStringLiteral("hz_deleteNet"), {{QStringLiteral("@ID"), QStringLiteral("2")}}).returnValue, 0);
    EXPECT_THROW(completeIntake(*e), DbError);
    EXPECT_NO_THROW(completeIntake(*e));  // the run is over
    EXPECT_EQ(consolidate(*e, IntakeKind::Sales), 0);
    EXPECT_EQ(sales(*e).size(), size_t(kLines) + 1);  // outlet 1's line, not outlet 2's

    // An outlet deleted between two runs is unknown to the next one, even as its first line.
    addOutlet(*e, QStringLiteral("3"), QStringLiteral("三店"));
    e->call(QStringLiteral("hz_deleSales"), {});
    beginIntake(*e);
    EXPECT_EQ(insertSale(*e, QStringLiteral("3"), QStringLiteral("Y"), QStringLiteral("2024-07-03"), QStringLiteral("1"), QStringLiteral("p"), true), 0);
    completeIntake(*e);
    e->call(QStringLiteral("hz_deleSales"), {});
    EXPECT_EQ(e->call(QStringLiteral("hz_deleteNet"), {{QStringLiteral("@ID"), QStringLiteral("3")}}).returnValue, 0);
    beginIntake(*e);
    EXPECT_EQ(insertSale(*e, QStringLiteral("3"), QStringLiteral("Y"), QStringLiteral("2024-07-03"), QStringLiteral("1"), QStringLiteral("p"), true), -2);
    completeIntake(*e);
}

// The engine converts the lines of a bulk intake itself (numbers to base-10000 digits, dates to
// days, text to UTF-8): every value must come back as the plain procedure stores it.
TEST_F(PgAccountSet, BulkIntakeConvertsValuesExactly)
{
    auto e = client();
    addOutlet(*e, QStringLiteral("5"), QStringLiteral("五店"));
    struct Case {
        const char* date;
        const char* qty;
        const char* dateOut;
        const char* qtyOut;
    };
    const std::vector<Case> cases = {  // in date order, the order of hz_GetSales
        {"0001-01-01", "0.0001", "0001-01-01", "0.0001"},
        {"19000301", "99990000", "1900-03-01", "99990000"},
        {"1999-12-31", "0.000001", "1999-12-31", "0.000001"},
        {"2000-01-01", "12345.6789", "2000-01-01", "12345.6789"},
        {"2000-02-29", "-10000", "2000-02-29", "-10000"},
        {"2024-1-9", "123456789012", "2024-01-09", "123456789012"},
        {"2024-06-01", "-999999999999.999999", "2024-06-01", "-999999999999.999999"},
        {"2024-06-02", "10000.0001", "2024-06-02", "10000.0001"},
        {"2024-06-03", "-0.000", "2024-06-03", "0"},
        {" 2024-12-31 ", "-0.5", "2024-12-31", "-0.5"},
        {"2100/2/28", "100000000", "2100-02-28", "100000000"},
        {"9999-12-31", "000123.4500", "9999-12-31", "123.45"},
    };
    const QString text = QStringLiteral("𠀀 emoji 😀 ü 全角　\\ \t\"");
    auto run = [&](bool bulk, bool utf8Form = false) {
        e->call(QStringLiteral("hz_deleSales"), {});
        if (bulk)
            beginIntake(*e);
        for (const Case& c : cases)
            EXPECT_EQ(insertSale(*e, QStringLiteral(" 5"), QStringLiteral("C"), QString::fromUtf8(c.date),
                                 QString::fromUtf8(c.qty), text, utf8Form),
                      0)
                << c.date << " " << c.qty;
        if (bulk)
            completeIntake(*e);
        EXPECT_EQ(consolidate(*e, IntakeKind::Sales), 0);
        return sales(*e);
    };
    const std::vector<QVariantList> plain = run(false);
    const std::vector<QVariantList> bulk = run(true);
    ASSERT_EQ(plain.size(), cases.size());
    EXPECT_EQ(bulk, plain);
    EXPECT_EQ(run(true, true), plain);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(bulk[i][kDate].toString(), QString::fromUtf8(cases[i].dateOut));
        EXPECT_EQ(bulk[i][kQty].toString(), QString::fromUtf8(cases[i].qtyOut)) << cases[i].qty;
        EXPECT_EQ(bulk[i][1].toString(), text);
        EXPECT_EQ(bulk[i][kId].toString(), QStringLiteral("5"));
    }
    // A mixed run: sales and stock lines alternate, each kind keeps its own order.
    e->call(QStringLiteral("hz_deleSales"), {});
    beginIntake(*e);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(insertSale(*e, QStringLiteral("5"), QStringLiteral("M%1").arg(i), QStringLiteral("2030-01-01"),
                             QString::number(i)),
                  0);
        const Values v = {{QStringLiteral("@USERCODE"), QStringLiteral("S%1").arg(i)}, {QStringLiteral("@PTYPENAME"), "p"},
                          {QStringLiteral("@STANDARD"), ""}, {QStringLiteral("@TYPE"), ""}, {QStringLiteral("@UNIT"), ""},
                          {QStringLiteral("@AREA"), ""}, {QStringLiteral("@KCQTY"), QString::number(i)},
                          {QStringLiteral("@KCTOTAL"), "1.5"}, {QStringLiteral("@ID"), "5"}};
        EXPECT_EQ(intakeLine(*e, IntakeKind::Stock, v), 0);
    }
    completeIntake(*e);
    EXPECT_EQ(consolidate(*e, IntakeKind::Sales), 0);
    EXPECT_EQ(consolidate(*e, IntakeKind::Stock), 0);
    const CallResult mixed = e->call(QStringLiteral("hz_GetSales"), {{QStringLiteral("@date1"), QStringLiteral("2030-01-01")},
                                                                     {QStringLiteral("@date2"), QStringLiteral("2030-01-01")}});
    const CallResult stock = e->call(QStringLiteral("hz_GetStock"), {});
    ASSERT_TRUE(mixed.rowset && stock.rowset);
    ASSERT_EQ(mixed.rowset->rows.size(), 6u);
    ASSERT_EQ(stock.rowset->rows.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(mixed.rowset->rows[size_t(i)][kQty].toString(), QString::number(i));
        EXPECT_EQ(stock.rowset->rows[size_t(i)][kUserCode].toString(), QStringLiteral("S%1").arg(i));
        EXPECT_EQ(stock.rowset->rows[size_t(i)][8].toString(), QString::number(i));
    }
}

// The direct intake writes the lines into the tables inside a transaction that the consolidation
// commits: a mixed file consolidated by stock leaves its sales lines staged, a refused line keeps
// the earlier ones pending, hz_deleSales discards them, and another call or an outlet deleted
// meanwhile ends as it would after line-by-line calls. Each script runs plain and in bulk.
TEST_F(PgAccountSet, DirectIntakeKeepsTheCallsOutcomes)
{
    auto e = client();
    auto other = client();
    addOutlet(*e, QStringLiteral("1"), QStringLiteral("一店"));
    addOutlet(*e, QStringLiteral("2"), QStringLiteral("二店"));
    auto stockLine = [&](const QString& outlet, const QString& code, const QString& qty) {
        const Values v = {{QStringLiteral("@USERCODE"), code}, {QStringLiteral("@PTYPENAME"), "p"},
                          {QStringLiteral("@STANDARD"), ""}, {QStringLiteral("@TYPE"), ""}, {QStringLiteral("@UNIT"), ""},
                          {QStringLiteral("@AREA"), ""}, {QStringLiteral("@KCQTY"), qty},
                          {QStringLiteral("@KCTOTAL"), "1"}, {QStringLiteral("@ID"), outlet}};
        return intakeLine(*e, IntakeKind::Stock, v);
    };
    auto stock = [&] {
        QStringList out;
        const CallResult got = other->call(QStringLiteral("hz_GetStock"), {});
        for (const QVariantList& r : got.rowset->rows)
            out << r[kId].toString() + QLatin1Char(':') + r[kUserCode].toString() + QLatin1Char('=') + r[8].toString();
        return out;
    };
    auto salesText = [&] {
        QStringList out;
        for (const QVariantList& r : sales(*other))
            out << r[kId].toString() + QLatin1Char(':') + r[kDate].toString() + QLatin1Char(':') + r[kUserCode].toString()
                    + QLatin1Char('=') + r[kQty].toString();
        return out;
    };
    auto reset = [&] {
        e->call(QStringLiteral("hz_deleSales"), {});
        ASSERT_EQ(insertSale(*e, QStringLiteral("1"), QStringLiteral("OLD1"), QStringLiteral("2024-03-01"), QStringLiteral("1")), 0);
        ASSERT_EQ(insertSale(*e, QStringLiteral("1"), QStringLiteral("OLD2"), QStringLiteral("2024-03-02"), QStringLiteral("1")), 0);
        ASSERT_EQ(consolidate(*e, IntakeKind::Sales), 0);
        ASSERT_EQ(stockLine(QStringLiteral("1"), QStringLiteral("SOLD"), QStringLiteral("1")), 0);
        ASSERT_EQ(consolidate(*e, IntakeKind::Stock), 0);
    };
    struct Outcome {
        std::vector<qlonglong> codes;
        std::vector<QStringList> states;
        bool operator==(const Outcome&) const = default;
    };
    auto run = [&](bool bulk) {
        Outcome o;
        auto snap = [&] {
            o.states.push_back(salesText());
            o.states.push_back(stock());
        };
        auto intake = [&](const std::function<void()>& lines) {
            e->call(QStringLiteral("hz_deleSales"), {});
            if (bulk)
                beginIntake(*e);
            lines();
            if (bulk)
                completeIntake(*e);
        };
        // A mixed file whose last line is a stock line; the sales lines are consolidated by a
        // later hz_AddSales without a new preparation call.
        reset();
        intake([&] {
            o.codes.push_back(insertSale(*e, QStringLiteral("1"), QStringLiteral("N1"), QStringLiteral("2024-03-01"), QStringLiteral("5")));
            o.codes.push_back(stockLine(QStringLiteral("1"), QStringLiteral("SNEW"), QStringLiteral("7")));
            o.codes.push_back(insertSale(*e, QStringLiteral("1"), QStringLiteral("N2"), QStringLiteral("2024-03-01"), QStringLiteral("6")));
            o.codes.push_back(stockLine(QStringLiteral("1"), QStringLiteral("SNEW2"), QStringLiteral("8")));
        });
        o.codes.push_back(consolidate(*e, IntakeKind::Stock));
        snap();
        o.codes.push_back(consolidate(*e, IntakeKind::Sales));
        snap();

        // A refused line ends the run; the lines before it are pending, and consolidated by a
        // later hz_AddSales...
        reset();
        intake([&] {
            o.codes.push_back(insertSale(*e, QStringLiteral("1"), QStringLiteral("R1"), QStringLiteral("2024-03-02"), QStringLiteral("3")));
            o.codes.push_back(insertSale(*e, QStringLiteral("9"), QStringLiteral("R2"), QStringLiteral("2024-03-02"), QStringLiteral("3")));
        });
        snap();  // another client and another call see none of them yet
        o.codes.push_back(consolidate(*e, IntakeKind::Sales));
        snap();
        // ... or discarded by the next run's preparation call.
        reset();
        intake([&] {
            o.codes.push_back(insertSale(*e, QStringLiteral("1"), QStringLiteral("D1"), QStringLiteral("2024-03-02"), QStringLiteral("4")));
            o.codes.push_back(insertSale(*e, QStringLiteral("1"), QStringLiteral("D2"), QStringLiteral("2024-03-02"), QStringLiteral("bad")));
        });
        e->call(QStringLiteral("hz_deleSales"), {});
        o.codes.push_back(consolidate(*e, IntakeKind::Sales));
        snap();

        // An outlet deleted by another client before the consolidation: it refuses, the lines
        // stay staged and go in once the outlet is back.
        reset();
        intake([&] {
            o.codes.push_back(insertSale(*e, QStringLiteral("2"), QStringLiteral("G1"), QStringLiteral("2024-03-05"), QStringLiteral("2")));
            o.codes.push_back(insertSale(*e, QStringLiteral("1"), QStringLiteral("G2"), QStringLiteral("2024-03-05"), QStringLiteral("2")));
        });
        o.codes.push_back(other->call(QStringLiteral("hz_deleteNet"), {{QStringLiteral("@ID"), QStringLiteral("2")}}).returnValue);
        o.codes.push_back(consolidate(*e, IntakeKind::Sales));
        snap();
        addOutlet(*other, QStringLiteral("2"), QStringLiteral("二店"));
        o.codes.push_back(consolidate(*e, IntakeKind::Sales));
        snap();
        // The next run starts from the same figures.
        e->execSql(QStringLiteral("DELETE FROM sales WHERE saledate = DATE '2024-03-05'"));
        return o;
    };
    const Outcome plain = run(false);
    const Outcome bulk = run(true);
    EXPECT_EQ(plain.codes, (std::vector<qlonglong>{0, 0, 0, 0, 0, 0, 0, -2, 0, 0, -1, 0, 0, 0, 0, -1, 0}));
    ASSERT_EQ(plain.states.size(), 14u);
    EXPECT_EQ(plain.states[0], (QStringList{"1:2024-03-01:OLD1=1", "1:2024-03-02:OLD2=1"}));
    EXPECT_EQ(plain.states[1], (QStringList{"1:SNEW=7", "1:SNEW2=8"}));
    EXPECT_EQ(plain.states[2], (QStringList{"1:2024-03-01:N1=5", "1:2024-03-01:N2=6", "1:2024-03-02:OLD2=1"}));
    EXPECT_EQ(plain.states[4], (QStringList{"1:2024-03-01:OLD1=1", "1:2024-03-02:OLD2=1"}));
    EXPECT_EQ(plain.states[6], (QStringList{"1:2024-03-01:OLD1=1", "1:2024-03-02:R1=3"}));
    EXPECT_EQ(plain.states[8], (QStringList{"1:2024-03-01:OLD1=1", "1:2024-03-02:OLD2=1"}));
    EXPECT_EQ(plain.states[10], (QStringList{"1:2024-03-01:OLD1=1", "1:2024-03-02:OLD2=1"}));
    EXPECT_EQ(plain.states[12],
              (QStringList{"1:2024-03-01:OLD1=1", "1:2024-03-02:OLD2=1", "1:2024-03-05:G2=2", "2:2024-03-05:G1=2"}));
    EXPECT_EQ(bulk.codes, plain.codes);
    for (std::size_t i = 0; i < plain.states.size(); ++i)
        EXPECT_EQ(bulk.states[i], plain.states[i]) << "state " << i;
}

// Two clerks importing the same outlet's same days in bulk at the same time: both intakes are
// open together, then both consolidate at once; one copy of the lines remains.
TEST_F(PgAccountSet, SimultaneousDirectReimportsDoNotDouble)
{
    auto setup = client();
    addOutlet(*setup, QStringLiteral("7"), QStringLiteral("七店"));
    addOutlet(*setup, QStringLiteral("8"), QStringLiteral("八店"));
    constexpr int kLines = 300;
    auto a = client();
    auto b = client();
    for (int round = 0; round < 4; ++round) {
        for (Engine* e : {a.get(), b.get()}) {
            e->call(QStringLiteral("hz_deleSales"), {});
            beginIntake(*e);
        }
        for (int i = 0; i < kLines; ++i) {
            // The two meet the outlets in opposite orders.
            const QString first = i < kLines / 2 ? QStringLiteral("7") : QStringLiteral("8");
            const QString second = i < kLines / 2 ? QStringLiteral("8") : QStringLiteral("7");
            ASSERT_EQ(insertSale(*a, first, QStringLiteral("P%1").arg(i), QStringLiteral("2024-04-%1").arg(1 + i % 5),
                                 QString::number(round)),
                      0);
            ASSERT_EQ(insertSale(*b, second, QStringLiteral("P%1").arg(i), QStringLiteral("2024-04-%1").arg(1 + i % 5),
                                 QString::number(round)),
                      0);
        }
        completeIntake(*a);
        completeIntake(*b);
        std::barrier start(2);
        std::atomic<int> failed{0};
        // Each client's session, taken here: the threads touch nothing shared.
        std::unique_ptr<IntakeSession> sa = takeSession(*a), sb = takeSession(*b);
        auto consolidateAt = [&](Engine* e, IntakeSession* session) {
            start.arrive_and_wait();
            try {
                std::unique_ptr<IntakeSession> own(session);
                if (consolidate(*e, IntakeKind::Sales, std::move(own)) != 0)
                    ++failed;
            } catch (const DbError&) {
                ++failed;
            }
        };
        std::thread ta(consolidateAt, a.get(), sa.release()), tb(consolidateAt, b.get(), sb.release());
        ta.join();
        tb.join();
        EXPECT_EQ(failed.load(), 0);
        const std::vector<QVariantList> rows = sales(*setup);
        EXPECT_EQ(rows.size(), size_t(kLines)) << "round " << round;
        for (const QVariantList& row : rows)
            ASSERT_EQ(row[kQty].toString(), QString::number(round)) << "round " << round;
    }
}

#ifndef _WIN32
// The importing program killed at a random moment: the figures are the earlier ones or the new
// ones in full, never a mix and never a loss.
TEST_F(PgAccountSet, KilledImportKeepsEarlierFigures)
{
    auto checker = client();
    addOutlet(*checker, QStringLiteral("3"), QStringLiteral("三店"));
    constexpr int kLines = 400;
    const ConnectionProps props = pgTestProps();
    const QString db = m_db;

    // The child imports kLines lines of quantity qty and consolidates; it tells the parent over a
    // pipe when the consolidation starts.
    auto runImport = [&](int qty, int pipeOut) {
        try {
            auto e = makePostgresEngine();
            e->open(props);
            e->useDatabase(db);
            try {
                // A server that notices the lost client at once ends its statement sooner.
                e->execSql(QStringLiteral("SET client_connection_check_interval = 5"));
            } catch (const DbError&) {
            }
            e->call(QStringLiteral("hz_deleSales"), {});
            const bool bulk = qty % 4 >= 2;  // the intake's open transaction killed as well
            if (bulk)
                beginIntake(*e);
            for (int i = 0; i < kLines; ++i)
                if (insertSale(*e, QStringLiteral("3"), QStringLiteral("K%1").arg(i),
                               QStringLiteral("2024-05-%1").arg(1 + i % 20), QString::number(qty))
                    != 0)
                    _exit(3);
            if (bulk)
                completeIntake(*e);
            const char mark = 'A';
            if (write(pipeOut, &mark, 1) != 1)
                _exit(4);
            _exit(consolidate(*e, IntakeKind::Sales) == 0 ? 0 : 5);
        } catch (...) {
            _exit(6);
        }
    };

    // Earlier figures: every line quantity 1.
    {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            runImport(1, fds[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        close(fds[0]);
        close(fds[1]);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }

    int expectedQty = 1;
    QRandomGenerator rng(QRandomGenerator::global()->generate());
    // Even rounds kill during the intake, odd ones during the consolidation; after the first
    // eight, odd rounds go on (bounded) until a kill has landed inside a consolidation.
    int killedInConsolidation = 0;
    int round = 2;
    for (; round <= 9 || (killedInConsolidation == 0 && round <= 31); round += round < 9 ? 1 : 2) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            runImport(round, fds[1]);
        }
        close(fds[1]);
        if (round % 2 == 0) {
            // During the intake of lines.
            std::this_thread::sleep_for(std::chrono::milliseconds(rng.bounded(1, 150)));
        } else {
            // During the consolidation.
            char mark = 0;
            if (read(fds[0], &mark, 1) == 1)
                std::this_thread::sleep_for(std::chrono::microseconds(rng.bounded(0, round <= 9 ? 30000 : 2000)));
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(fds[0]);
        // The child exits as soon as hz_AddSales answers: killed means killed before the answer.
        if (round % 2 == 1 && WIFSIGNALED(status))
            ++killedInConsolidation;

        // Wait until the server has finished with the killed client's session.
        for (int i = 0; i < 600; ++i) {
            if (pgScalar(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = $1 "
                                        "AND application_name = 'Corvanta' AND state <> 'idle'"),
                         db)
                == QStringLiteral("0"))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }

        const std::vector<QVariantList> rows = sales(*checker);
        ASSERT_EQ(rows.size(), size_t(kLines)) << "round " << round;
        const QString first = rows.front()[kQty].toString();
        for (const QVariantList& row : rows)
            ASSERT_EQ(row[kQty].toString(), first) << "round " << round << ": a mix of old and new lines";
        const int qty = first.toInt();
        EXPECT_TRUE(qty == expectedQty || qty == round) << "round " << round << ": quantity " << qty;
        expectedQty = qty;
    }
    EXPECT_GE(killedInConsolidation, 1) << "no kill landed inside a consolidation in rounds 3 to " << round - 2;
    RecordProperty("killed_in_consolidation", killedInConsolidation);
}

#endif

TEST_F(PgAccountSet, TextIsStoredAndReadBackUnchanged)
{
    auto e = client();
    const QStringList texts = {
        QStringLiteral("O'Brien \"商店\""),
        QStringLiteral("a;b; DROP TABLE outlets; --"),
        QStringLiteral("'); DELETE FROM sales; --"),
        QStringLiteral("$$ $1 %s %% _ \\ \\n"),
        QStringLiteral("北京市朝阳区（东）１号　全角空格"),
        QStringLiteral("𠀀 emoji 😀 and ü"),
        QStringLiteral("  inner  blanks  "),
    };
    int n = 0;
    for (const QString& t : texts) {
        ++n;
        const QString id = QString::number(100 + n);
        const Values v = {{QStringLiteral("@ID"), id},       {QStringLiteral("@AGENTNAME"), t},
                          {QStringLiteral("@AGENTTYPE"), t}, {QStringLiteral("@TELEPHONE"), t},
                          {QStringLiteral("@FAX"), t},       {QStringLiteral("@ADDRESS"), t},
                          {QStringLiteral("@LINKMAN"), t}};
        ASSERT_EQ(e->call(QStringLiteral("hz_InsertNet"), v).returnValue, 0) << t.toStdString();
    }
    const CallResult net = e->call(QStringLiteral("hz_GetNet"), {});
    ASSERT_TRUE(net.rowset.has_value());
    ASSERT_EQ(net.rowset->rows.size(), size_t(texts.size()));
    for (int i = 0; i < texts.size(); ++i)
        for (int c = 1; c < 7; ++c)
            EXPECT_EQ(net.rowset->rows[size_t(i)][c].toString(), texts[i]) << "outlet " << i << " field " << c;

    e->call(QStringLiteral("hz_deleSales"), {});
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_EQ(insertSale(*e, QString::number(101 + i), QStringLiteral("C%1").arg(i), QStringLiteral("2024-06-01"),
                             QStringLiteral("1"), texts[i]),
                  0);
    ASSERT_EQ(consolidate(*e, IntakeKind::Sales), 0);
    const std::vector<QVariantList> rows = sales(*e);
    ASSERT_EQ(rows.size(), size_t(texts.size()));
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(rows[size_t(i)][1].toString(), texts[i]);
        EXPECT_EQ(rows[size_t(i)][3].toString(), texts[i]);  // AGENTNAME from the outlet list
        EXPECT_EQ(rows[size_t(i)][kId].toString(), QString::number(101 + i));
        EXPECT_EQ(rows[size_t(i)][kDate].toString(), QStringLiteral("2024-06-01"));
    }

    // Filter values are text to look for, never patterns or SQL.
    for (const QString& needle : {QStringLiteral("%"), QStringLiteral("_"), QStringLiteral("'"),
                                  QStringLiteral("全角"), QStringLiteral("\\")}) {
        int expected = 0;
        for (const QString& t : texts)
            expected += t.contains(needle) ? 1 : 0;
        const CallResult r = e->call(QStringLiteral("hz_GetSales"), {{QStringLiteral("@PTYPENAME"), needle}});
        ASSERT_TRUE(r.rowset.has_value());
        EXPECT_EQ(r.rowset->rows.size(), size_t(expected)) << needle.toStdString();
    }
}
