// Every procedure of the catalogue, called through the data module, against the engine under test.
#include "tests/connection/ConformanceFixture.h"

#include "base/Sysdef.h"
#include "base/Values.h"
#include "engines/DailySums.h"
#include "engines/Engine.h"
#include "engines/Intake.h"
#include "engines/embedded/Sqlite.h"

#include <sqlite3.h>

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <map>
#include <tuple>

namespace corvanta::test {
namespace {

const QString kD1 = QStringLiteral("2024-03-01");
const QString kD2 = QStringLiteral("2024-03-02");

Values withValue(Values v, const QString& name, const QVariant& value)
{
    for (auto& [k, x] : v)
        if (k == name)
            x = value;
    return v;
}

Values statFilter(const QString& mode, const QString& from = QStringLiteral("2024-01-01"),
                  const QString& to = QStringLiteral("2024-12-31"))
{
    return {{QStringLiteral("@date1"), from},        {QStringLiteral("@date2"), to},
            {QStringLiteral("@iType"), mode},        {QStringLiteral("@USERCODE"), QString()},
            {QStringLiteral("@PTYPENAME"), QString()}, {QStringLiteral("@ID"), QString()},
            {QStringLiteral("@AGENTNAME"), QString()}, {QStringLiteral("@VCHTYPE"), QString()}};
}

const QStringList kStatFields = {"code", "FullName", "AllQTY", "AllTOTAL", "ALLCOSTTOTAL", "PROFIT"};
const QStringList kSalesFields = {"USERCODE", "PTYPENAME", "ID", "AGENTNAME", "DATE", "QTY", "TOTAL", "COSTTOTAL",
                                  "VCHTYPE", "AREA"};
const QStringList kNetFields = {"ID", "AGENTNAME", "AGENTTYPE", "TELEPHONE", "FAX", "LINKMAN", "ADDRESS"};

TEST_F(Conformance, SixStepCall)
{
    // Unknown procedure: refused when the parameters are refreshed.
    TADOCommand& cmd = dm->ADOSProc;
    cmd.Close();
    cmd.ClearParameters();
    cmd.SetProcedureName(QStringLiteral("hz_NoSuchProc;1"));
    cmd.SetPrepared(true);
    EXPECT_THROW(cmd.RefreshParameters(), DbError);
    EXPECT_THROW(call(QStringLiteral("hz_NoSuchProc")), DbError);

    // The refresh reports the parameters with the return value; names match without case.
    cmd.Close();
    cmd.ClearParameters();
    cmd.SetProcedureName(QStringLiteral("hz_GetSales;1"));
    cmd.RefreshParameters();
    bool hasReturn = false;
    for (const TParameter& p : cmd.Parameters())
        hasReturn = hasReturn || p.info.direction == ParamDirection::ReturnValue;
    EXPECT_TRUE(hasReturn);
    EXPECT_NO_THROW(cmd.SetParam(QStringLiteral("@usercode"), QStringLiteral("A")));
    EXPECT_THROW(cmd.SetParam(QStringLiteral("@NOSUCH"), QStringLiteral("A")), DbError);
    // A non-number for the integer @ID fails when set; the empty string means no restriction.
    EXPECT_THROW(cmd.SetParam(QStringLiteral("@ID"), QStringLiteral("1a")), DbError);
    EXPECT_THROW(cmd.SetParam(QStringLiteral("@ID"), QStringLiteral("99999999999")), DbError);
    EXPECT_NO_THROW(cmd.SetParam(QStringLiteral("@ID"), QStringLiteral("")));
    EXPECT_NO_THROW(cmd.SetParam(QStringLiteral("@ID"), QStringLiteral(" 12 ")));
    EXPECT_THROW(cmd.SetParam(QStringLiteral("@date1"), QStringLiteral("2024-02-30")), DbError);
    EXPECT_THROW(cmd.SetParam(QStringLiteral("@date1"), QStringLiteral("yesterday")), DbError);

    // A conversion error stops the call before it runs: the record is not inserted.
    Values cfg = {{"@ID", "conv"},   {"@DefaultName", "N"}, {"@UserName", "N"}, {"@Visible", "abc"},
                  {"@SysVisible", 0}, {"@OrderCode", 1},     {"@ColOrder", 1},   {"@UserID", ""},
                  {"@Width", 10},     {"@sMode", "I"}};
    EXPECT_THROW(dm->CallProc(dm->ADOCofig, QStringLiteral("CW_r_GetColConfig"), cfg), DbError);
    dm->CallProc(dm->ADOCofig, QStringLiteral("CW_r_GetColConfig"), {{"@ID", "conv"}, {"@sMode", "S"}}, true);
    EXPECT_EQ(dm->ADOCofig.RecordCount(), 0);

    // The return value is read by either configured name.
    addOutlet(QStringLiteral("7"), QStringLiteral("Seven"));
    EXPECT_EQ(call(QStringLiteral("hz_InsertNet"), {{"@ID", "7"}, {"@AGENTNAME", "again"}}), -2);
    EXPECT_EQ(cmd.ParamValue(QStringLiteral("@RETURN_VALUE")).toInt(), -2);
    EXPECT_EQ(cmd.ParamValue(QStringLiteral("RETURN_VALUE")).toInt(), -2);
    SetReturnValueName(QStringLiteral("RETURN_VALUE"));
    EXPECT_EQ(cmd.ReturnValue(), -2);
    SetReturnValueName(QStringLiteral("@RETURN_VALUE"));
    EXPECT_EQ(cmd.ReturnValue(), -2);

    // Field names without regard to case; unknown fields and reading past the end fail.
    call(QStringLiteral("hz_GetNet"), {}, true);
    ASSERT_FALSE(cmd.Eof());
    EXPECT_EQ(cmd.FieldText(QStringLiteral("agentname")), QStringLiteral("Seven"));
    EXPECT_EQ(cmd.FieldText(QStringLiteral("AgentName")), QStringLiteral("Seven"));
    EXPECT_THROW(cmd.FieldByName(QStringLiteral("NOSUCH")), DbError);
    cmd.Next();
    EXPECT_TRUE(cmd.Eof());
    EXPECT_THROW(cmd.FieldByName(QStringLiteral("ID")), DbError);
}

TEST_F(Conformance, OutletsKeepTextAndReturnCodes)
{
    const QString tricky = QStringLiteral("O'Brien \"总店\"; DROP TABLE outlets; -- 销售网点");
    ASSERT_EQ(call(QStringLiteral("hz_InsertNet"),
                   {{"@ID", "10"},
                    {"@AGENTNAME", tricky},
                    {"@AGENTTYPE", "直营"},
                    {"@TELEPHONE", "010-1234'5"},
                    {"@FAX", "a;b"},
                    {"@ADDRESS", "北京市 \"海淀\""},
                    {"@LINKMAN", "张三"}}),
              0);
    addOutlet(QStringLiteral("2"), QStringLiteral("Two"));
    addOutlet(QStringLiteral("123"), QStringLiteral("OneTwoThree"));
    // Duplicate numbers, also with blanks around them.
    EXPECT_EQ(call(QStringLiteral("hz_InsertNet"), {{"@ID", "10"}, {"@AGENTNAME", "x"}}), -2);
    EXPECT_EQ(call(QStringLiteral("hz_InsertNet"), {{"@ID", " 2 "}, {"@AGENTNAME", "x"}}), -2);
    // One number, one outlet: leading zeros and a sign name the existing outlet.
    for (const char* same : {"0010", "+10", "+0010", " 010 ", "0123"})
        EXPECT_EQ(call(QStringLiteral("hz_InsertNet"), {{"@ID", same}, {"@AGENTNAME", "x"}}), -2) << same;

    auto rows = query(QStringLiteral("hz_GetNet"), {}, kNetFields);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "2");  // numeric order
    EXPECT_EQ(rows[1][0], "10");
    EXPECT_EQ(rows[2][0], "123");
    EXPECT_EQ(rows[1], (QStringList{"10", tricky, "直营", "010-1234'5", "a;b", "张三", "北京市 \"海淀\""}));

    // Modify changes everything but the number; an unknown outlet gives -1.
    EXPECT_EQ(call(QStringLiteral("hz_ModiNet"),
                   {{"@ID", "2"},
                    {"@AGENTNAME", "二号店"},
                    {"@AGENTTYPE", "加盟"},
                    {"@TELEPHONE", "t"},
                    {"@FAX", "f"},
                    {"@ADDRESS", "a"},
                    {"@LINKMAN", "l"}}),
              0);
    EXPECT_EQ(call(QStringLiteral("hz_ModiNet"), {{"@ID", "999"}, {"@AGENTNAME", "x"}}), -1);
    // The outlet a typed number names, not a new one.
    EXPECT_EQ(call(QStringLiteral("hz_ModiNet"), {{"@ID", "+0123"}, {"@AGENTNAME", "OneTwoThree"}}), 0);
    rows = query(QStringLiteral("hz_GetNet"), {}, kNetFields);
    EXPECT_EQ(rows[0], (QStringList{"2", "二号店", "加盟", "t", "f", "l", "a"}));

    // Delete: refused (-1) while sales lines refer to the outlet.
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("123", "P1", "Pen", kD1, "1", "2", "1"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "123"}}), -1);
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "0123"}}), -1);  // the same outlet
    // An unknown outlet is not a success, and nothing goes.
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "999"}}), -2);
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "x"}}), -2);
    EXPECT_EQ(query(QStringLiteral("hz_GetNet"), {}, kNetFields).size(), 3u);
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "+02"}}), 0);
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "2"}}), -2);  // gone now
    rows = query(QStringLiteral("hz_GetNet"), {}, kNetFields);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "10");
    EXPECT_EQ(rows[1][0], "123");
}

TEST_F(Conformance, SalesIntakeChecksEveryValue)
{
    addOutlet(QStringLiteral("1"), QStringLiteral("一号店"));
    call(QStringLiteral("hz_deleSales"));
    EXPECT_EQ(insertSales("1", "P1", "Pen", "2024-03-01", "2", "10.50", "7.25"), 0);
    EXPECT_EQ(insertSales("1", "P1", "Pen", "2024/3/2", "-1", "-5.25", "-3.625", "45"), 0);
    EXPECT_EQ(insertSales("1", "P2", "纸;'\"", "20240302", " 3 ", "0", "0"), 0);
    EXPECT_EQ(insertSales("9", "P1", "Pen", kD1, "1", "1", "1"), -2);        // unknown outlet
    EXPECT_EQ(insertSales("", "P1", "Pen", kD1, "1", "1", "1"), -2);
    EXPECT_EQ(insertSales("1", "P1", "Pen", "2024-02-30", "1", "1", "1"), -1);  // not a day
    EXPECT_EQ(insertSales("1", "P1", "Pen", "03/01/2024", "1", "1", "1"), -1);
    EXPECT_EQ(insertSales("1", "P1", "Pen", kD1, "abc", "1", "1"), -1);
    EXPECT_EQ(insertSales("1", "P1", "Pen", kD1, "1", "1e3", "1"), -1);
    EXPECT_EQ(insertSales("1", "P1", "Pen", kD1, "1", "1", ""), -1);
    EXPECT_EQ(insertSales("1", "P1", "Pen", kD1, "1", "1", "1", "12"), -1);  // document type
    EXPECT_EQ(insertSales("1", "P1", "Pen", kD1, "1", "1", "1", ""), -1);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);

    const auto rows = query(QStringLiteral("hz_GetSales"),
                            withValue(salesFilter("2024-01-01", "2024-12-31"), "@AREA", QString()) ,
                            kSalesFields);
    ASSERT_EQ(rows.size(), 3u);
    // Date, then outlet, then import order; values in minimal decimal form.
    EXPECT_EQ(rows[0], (QStringList{"P1", "Pen", "1", "一号店", "2024-03-01", "2", "10.5", "7.25", "11", "Area"}));
    EXPECT_EQ(rows[1], (QStringList{"P1", "Pen", "1", "一号店", "2024-03-02", "-1", "-5.25", "-3.625", "45", "Area"}));
    EXPECT_EQ(rows[2], (QStringList{"P2", "纸;'\"", "1", "一号店", "2024-03-02", "3", "0", "0", "11", "Area"}));
    dm->ADOSProc.First();
    EXPECT_EQ(dm->ADOSProc.FieldByName("VCHTYPE").AsInteger(), 11);
}

TEST_F(Conformance, ReimportReplacesAndSumsAreExact)
{
    addOutlet(QStringLiteral("1"), QStringLiteral("A店"));
    addOutlet(QStringLiteral("2"), QStringLiteral("B店"));
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD1, "0.1", "0.1", "0.05"), 0);
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD1, "0.2", "0.2", "0.05"), 0);
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD2, "1", "1", "0.5"), 0);
    ASSERT_EQ(insertSales("2", "P1", "Pen", kD1, "5", "5", "1"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);

    auto stat = query(QStringLiteral("hz_AllStat"), statFilter("P"), kStatFields);
    ASSERT_EQ(stat.size(), 1u);
    EXPECT_EQ(stat[0], (QStringList{"P1", "Pen", "6.3", "6.3", "1.6", "4.7"}));
    stat = query(QStringLiteral("hz_AllStat"), statFilter("P", kD1, kD1), kStatFields);
    ASSERT_EQ(stat.size(), 1u);
    EXPECT_EQ(stat[0][3], "5.3");  // 0.1 + 0.2 + 5, no binary noise

    // Re-importing outlet 1's file for 03-01 replaces its lines of that date only.
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD1, "0.1", "0.1", "0.05"), 0);
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD1, "0.2", "0.2", "0.05"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);  // staging was consumed: nothing doubles
    stat = query(QStringLiteral("hz_AllStat"), statFilter("N"), kStatFields);
    ASSERT_EQ(stat.size(), 2u);
    EXPECT_EQ(stat[0], (QStringList{"1", "A店", "1.3", "1.3", "0.6", "0.7"}));
    EXPECT_EQ(stat[1], (QStringList{"2", "B店", "5", "5", "1", "4"}));
}

TEST_F(Conformance, DateRangeAndLargeSumsAreOneRuleOnBothEngines)
{
    addOutlet(QStringLiteral("1"), QStringLiteral("A店"));
    call(QStringLiteral("hz_deleSales"));
    // Every day from 0001-01-01 to 9999-12-31 is a sales date on either engine.
    for (const char* day : {"0001-01-01", "8000-01-01", "9999-12-31"})
        ASSERT_EQ(insertSales("1", "D", "Day", day, "1", "1", "1"), 0) << day;
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    const auto days = query(QStringLiteral("hz_AllStat"), statFilter("D", "0001-01-01", "9999-12-31"), kStatFields);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0][1], "0001-01-01");
    EXPECT_EQ(days[1][1], "8000-01-01");
    EXPECT_EQ(days[2][1], "9999-12-31");

    // Ten of the largest amount: the exact sum, or a refusal that says why; never another figure.
    call(QStringLiteral("hz_deleSales"));
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(insertSales("1", "BIG", "Big", kD1, "1", "999999999999.999999", "0"), 0);
    // The daily summary sums at consolidation, so the refusal may come there (nothing consolidated).
    try {
        ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
        const auto big = query(QStringLiteral("hz_AllStat"), statFilter("P", kD1, kD1), kStatFields);
        ASSERT_EQ(big.size(), 1u);
        EXPECT_EQ(big[0][3], "9999999999999.99999");
    } catch (const DbError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), SumOutOfRangeText());
        EXPECT_TRUE(query(QStringLiteral("hz_AllStat"), statFilter("P", kD1, kD1), kStatFields).empty());
    }
    // Within the stated range the sum is exact on both: nine of them, re-imported.
    call(QStringLiteral("hz_deleSales"));
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(insertSales("1", "BIG", "Big", kD1, "1", "999999999999.999999", "0"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    const auto sum = query(QStringLiteral("hz_AllStat"), statFilter("P", kD1, kD1), kStatFields);
    ASSERT_EQ(sum.size(), 1u);
    EXPECT_EQ(sum[0][3], "8999999999999.999991");

    // The same through an intake session, which writes its own sums at consolidation.
    const std::string d1 = kD1.toStdString();
    const std::array<std::string_view, 12> big = {"BIG", "Big", "S", "M", "个", "产地", d1, "1", "999999999999.999999", "0",
                                                  "11", "1"};
    for (const int n : {10, 9}) {
        SCOPED_TRACE(n);
        auto s = dm->ADOConnection.engine().beginIntake();
        ASSERT_TRUE(s);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(s->add(IntakeKind::Sales, big), 0);
        s->complete();
        try {
            const std::optional<int> rc = s->consolidate(true, false);
            ASSERT_EQ(rc ? *rc : call(QStringLiteral("hz_AddSales")), 0);
            const auto got = query(QStringLiteral("hz_AllStat"), statFilter("P", kD1, kD1), kStatFields);
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(got[0][3], n == 10 ? "9999999999999.99999" : "8999999999999.999991");
        } catch (const DbError& e) {
            EXPECT_EQ(n, 10);
            EXPECT_EQ(QString::fromUtf8(e.what()), SumOutOfRangeText());
            // Nothing consolidated: the nine of before.
            const auto kept = query(QStringLiteral("hz_AllStat"), statFilter("P", kD1, kD1), kStatFields);
            ASSERT_EQ(kept.size(), 1u);
            EXPECT_EQ(kept[0][3], "8999999999999.999991");
        }
    }
}

// Outlet-shaped data (a line per outlet, day and product, so nearly every line its own group),
// more groups than an intake holds at once: the summary is written in parts, outlet days on both
// sides of a part's end are added up. Then a nightly batch right after it, one outlet day per
// session, replacing some outlet days and adding others. The statistics (read from the summary)
// equal the sums of the lines the test knows it left.
TEST_F(Conformance, SummaryAgreesWithTheLinesAfterABulkImportAndABatch)
{
    constexpr int kOutlets = 60, kProducts = 400;
    const int days = int(DailySums::kMaxGroups / (kOutlets * kProducts / 2)) + 1;  // beyond one part
    for (int o = 1; o <= kOutlets; ++o)
        addOutlet(QString::number(o), QStringLiteral("店%1").arg(o));
    call(QStringLiteral("hz_deleSales"));
    struct Line {
        int product, vch;
        qint64 qtyCents, totalCents;
    };
    std::map<std::pair<int, int>, std::vector<Line>> kept;  // (day, outlet) -> lines
    Engine& engine = dm->ADOConnection.engine();
    auto dateOf = [](int day) { return QDate(2024, 5, 1).addDays(day).toString(Qt::ISODate).toStdString(); };
    auto money = [](qint64 cents) { return QString::number(cents / 100) + '.' + QString::number(cents % 100).rightJustified(2, '0'); };
    auto addLine = [&](IntakeSession& s, int day, int outlet, const Line& l) {
        const std::string date = dateOf(day), id = std::to_string(outlet), code = "C" + std::to_string(l.product),
                          name = "品" + std::to_string(l.product % 97), qty = money(l.qtyCents).toStdString(),
                          total = money(l.totalCents).toStdString(), vch = std::to_string(l.vch);
        const std::array<std::string_view, 12> v = {code, name, "S", "M", "个", "产地", date, qty, total, "0.5", vch, id};
        return s.add(IntakeKind::Sales, v);
    };
    auto consolidate = [&](std::unique_ptr<IntakeSession> s) {
        s->complete();
        const std::optional<int> rc = s->consolidate(true, false);
        return rc ? *rc : call(QStringLiteral("hz_AddSales"));
    };
    {
        auto s = engine.beginIntake();
        ASSERT_TRUE(s);
        for (int d = 0; d < days; ++d) {
            for (int o = 1; o <= kOutlets; ++o) {
                auto& lines = kept[{d, o}];
                // Half the products a day, from a start of the outlet day's own; every 50th line a
                // return, every 7th outlet day one product twice (a group of two lines).
                for (int k = 0; k < kProducts / 2; ++k) {
                    const int p = (d * 31 + o * 17 + k) % kProducts;
                    lines.push_back({p, (k + o) % 50 == 0 ? 45 : 11, 100 + k % 7 * 25, 1000 + (d + o + k) % 300});
                }
                if ((d + o) % 7 == 0)
                    lines.push_back(lines.front());
            }
        }
        // First the first half of every outlet day, then the second halves: each outlet day,
        // and the groups of two lines, lie in parts far apart, as in a file not sorted by day.
        for (const bool second : {false, true}) {
            for (const auto& [key, lines] : kept) {
                const std::size_t half = lines.size() / 2;
                for (std::size_t i = second ? half : 0; i < (second ? lines.size() : half); ++i)
                    ASSERT_EQ(addLine(*s, key.first, key.second, lines[i]), 0);
            }
        }
        ASSERT_EQ(consolidate(std::move(s)), 0);
    }
    if (engineUnderTest() == QLatin1String("postgresql")) {
        // The bulk import is analysed at once: until then the planner reads every line for a
        // one-day query instead of the day's block ranges.
        EXPECT_NO_THROW(engine.execSql(QStringLiteral(
            "DO $$ BEGIN "
            "IF (SELECT reltuples FROM pg_class WHERE oid = 'sales'::regclass) < (SELECT count(*) FROM sales) * 0.9 "
            "THEN RAISE EXCEPTION 'the imported lines have no statistics'; END IF; END $$")));
    }
    // The batch: outlet 1..20's files of the last day (replacing theirs) and of the day after.
    for (const int d : {days - 1, days}) {
        for (int o = 1; o <= 20; ++o) {
            auto s = engine.beginIntake();
            ASSERT_TRUE(s);
            auto& lines = kept[{d, o}];
            lines.clear();
            for (int k = 0; k < 30; ++k)
                lines.push_back({(o * 13 + k * 3) % kProducts, 11, 300 + k, 2000 + o});
            for (const Line& l : lines)
                ASSERT_EQ(addLine(*s, d, o, l), 0);
            ASSERT_EQ(consolidate(std::move(s)), 0);
        }
    }

    // Cents as the minimal decimal text the statistics give.
    auto minimal = [](qint64 cents) {
        QString t = QString::number(cents / 100);
        if (cents % 100 != 0) {
            t += '.' + QString::number(cents % 100).rightJustified(2, '0');
            if (t.endsWith('0'))
                t.chop(1);
        }
        return t;
    };
    using Sums = std::map<QString, std::array<qint64, 3>>;
    std::map<char, Sums> want;
    auto sumTheLines = [&] {
        want.clear();
        for (const auto& [key, lines] : kept) {
            for (const Line& l : lines) {
                const std::pair<char, QString> keys[] = {{'P', QStringLiteral("C%1").arg(l.product)},
                                                         {'N', QString::number(key.second)},
                                                         {'D', QString::fromStdString(dateOf(key.first))},
                                                         {'V', QString::number(l.vch)}};
                for (const auto& [mode, k] : keys) {
                    auto& sum = want[mode][k];
                    sum[0] += l.qtyCents;
                    sum[1] += l.totalCents;
                    sum[2] += 50;
                }
            }
        }
    };
    sumTheLines();
    auto checkStatistics = [&] {
        for (const char mode : {'P', 'N', 'D', 'V'}) {
            SCOPED_TRACE(mode);
            std::map<QString, QStringList> got;
            for (const QStringList& r :
                 query(QStringLiteral("hz_AllStat"), statFilter(QString(QChar(mode))), kStatFields))
                got[r[0]] = QStringList{r[2], r[3], r[4]};
            std::map<QString, QStringList> expected;
            for (const auto& [k, sum] : want[mode])
                expected[k] = QStringList{minimal(sum[0]), minimal(sum[1]), minimal(sum[2])};
            EXPECT_EQ(got.size(), expected.size());
            EXPECT_TRUE(got == expected);
            for (const auto& [k, v] : expected)
                if (got[k] != v) {
                    ADD_FAILURE() << k.toStdString() << ": " << got[k].join(' ').toStdString() << " instead of "
                                  << v.join(' ').toStdString();
                    break;
                }
        }
    };
    checkStatistics();
    // Each group once in its outlet day (parts merged, not laid side by side), and the monthly
    // sums with the changes still pending count exactly those groups.
    const QString counts = QStringLiteral(
        "DO $$ BEGIN "
        "IF EXISTS (SELECT 1 FROM hz_sales_groups GROUP BY saledate, id, usercode, ptypename, vchtype "
        "           HAVING count(*) > 1) THEN RAISE EXCEPTION 'a group twice in an outlet day'; END IF; "
        "IF (SELECT sum(groups) FROM (SELECT groups FROM sales_monthsum UNION ALL "
        "                             SELECT groups FROM sales_monthpend) m) <> (SELECT count(*) FROM hz_sales_groups) "
        "THEN RAISE EXCEPTION 'monthly sums count other groups'; END IF; END $$");
    const bool pg = engineUnderTest() == QLatin1String("postgresql");
    if (pg) {
        EXPECT_NO_THROW(engine.execSql(counts));
    }

    // The whole month imported again, every outlet day it has with other amounts (on PostgreSQL
    // its monthly sums, with the batch's changes still pending, are then taken off whole): the
    // figures follow the new lines.
    {
        auto s = engine.beginIntake();
        ASSERT_TRUE(s);
        for (auto& [key, lines] : kept)
            for (Line& l : lines) {
                l.totalCents += 1;
                ASSERT_EQ(addLine(*s, key.first, key.second, l), 0);
            }
        ASSERT_EQ(consolidate(std::move(s)), 0);
    }
    sumTheLines();
    checkStatistics();
    if (pg) {
        EXPECT_NO_THROW(engine.execSql(counts));
        // The changes are pending; folded into the monthly sums, the figures stay.
        EXPECT_NO_THROW(engine.execSql(QStringLiteral(
            "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM sales_monthpend) THEN RAISE EXCEPTION 'nothing pending'; "
            "END IF; END $$")));
        EXPECT_NO_THROW(engine.execSql(QStringLiteral("SELECT hz_util_month_fold(0)")));
        EXPECT_NO_THROW(engine.execSql(QStringLiteral(
            "DO $$ BEGIN IF EXISTS (SELECT 1 FROM sales_monthpend) THEN RAISE EXCEPTION 'not folded'; "
            "END IF; END $$")));
        EXPECT_NO_THROW(engine.execSql(counts));
        checkStatistics();
    }
}

TEST_F(Conformance, StatisticsModesAndFilters)
{
    addOutlet(QStringLiteral("3"), QStringLiteral("东城店"));
    addOutlet(QStringLiteral("20"), QStringLiteral("西城店"));
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("3", "B2", "蓝色钢笔", "2024-01-10", "2", "20", "12", "11", "北京"), 0);
    ASSERT_EQ(insertSales("3", "A1", "红色铅笔", "2024-01-10", "10", "5", "3", "11", "上海"), 0);
    ASSERT_EQ(insertSales("20", "A1", "红色铅笔", "2024-02-01", "-1", "-0.5", "-0.3", "45", "上海"), 0);
    ASSERT_EQ(insertSales("20", "B2", "蓝色钢笔", "2024-03-31", "1", "10", "6", "11", "北京"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);

    EXPECT_EQ(query(QStringLiteral("hz_AllStat"), statFilter("P"), kStatFields),
              (std::vector<QStringList>{{"A1", "红色铅笔", "9", "4.5", "2.7", "1.8"},
                                        {"B2", "蓝色钢笔", "3", "30", "18", "12"}}));
    EXPECT_EQ(query(QStringLiteral("hz_AllStat"), statFilter("N"), kStatFields),
              (std::vector<QStringList>{{"3", "东城店", "12", "25", "15", "10"},
                                        {"20", "西城店", "0", "9.5", "5.7", "3.8"}}));
    auto v = query(QStringLiteral("hz_AllStat"), statFilter("V"), kStatFields);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].mid(1), (QStringList{"11", "13", "35", "21", "14"}));
    EXPECT_EQ(v[1].mid(1), (QStringList{"45", "-1", "-0.5", "-0.3", "-0.2"}));
    auto d = query(QStringLiteral("hz_AllStat"), statFilter("D"), kStatFields);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0][1], "2024-01-10");
    EXPECT_EQ(d[2][1], "2024-03-31");
    EXPECT_EQ(d[2][2], "1");

    // Date range is inclusive at both ends.
    EXPECT_EQ(query(QStringLiteral("hz_AllStat"), statFilter("D", "2024-02-01", "2024-03-31"), kStatFields).size(), 2u);
    EXPECT_EQ(query(QStringLiteral("hz_AllStat"), statFilter("D", "2024-02-02", "2024-03-30"), kStatFields).size(), 0u);
    // Filters: code exact, names by containment, outlet number as an integer, document type.
    auto f = [&](const QString& name, const QVariant& value) {
        return query(QStringLiteral("hz_AllStat"), withValue(statFilter("N"), name, value), kStatFields);
    };
    EXPECT_EQ(f("@USERCODE", "A1").size(), 2u);
    EXPECT_EQ(f("@USERCODE", "A").size(), 0u);
    EXPECT_EQ(f("@PTYPENAME", "钢笔").size(), 2u);
    EXPECT_EQ(f("@PTYPENAME", "红色").at(1), (QStringList{"20", "西城店", "-1", "-0.5", "-0.3", "-0.2"}));
    EXPECT_EQ(f("@ID", "20").size(), 1u);
    EXPECT_EQ(f("@ID", "020").size(), 1u);
    EXPECT_EQ(f("@ID", 3).at(0)[0], "3");
    EXPECT_EQ(f("@AGENTNAME", "东城").size(), 1u);
    EXPECT_EQ(f("@VCHTYPE", "45").size(), 1u);
    EXPECT_EQ(f("@VCHTYPE", "45").at(0)[0], "20");

    // Sales query with the same filters plus place of origin.
    Values s = withValue(salesFilter("2024-01-01", "2024-12-31"), "@AREA", QString());
    s.push_back({"@AREA", "上海"});
    auto rows = query(QStringLiteral("hz_GetSales"), s, kSalesFields);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][4], "2024-01-10");
    EXPECT_EQ(rows[1][4], "2024-02-01");
    EXPECT_EQ(query(QStringLiteral("hz_GetSales"), withValue(s, "@AGENTNAME", "西城"), kSalesFields).size(), 1u);

    // Product lists for the picker.
    EXPECT_EQ(query(QStringLiteral("hz_GetSalesName"), {}, {"USERCODE", "PTYPENAME"}),
              (std::vector<QStringList>{{"A1", "红色铅笔"}, {"B2", "蓝色钢笔"}}));
}

// What the report windows send and read: filters match their text verbatim (no pattern
// characters, no escapes), the outlet number as a whole number or refused at binding, the columns
// by the names the windows read, the picker lists in their order.
TEST_F(Conformance, ReportProceduresTakeFiltersVerbatim)
{
    addOutlet(QStringLiteral("5"), QStringLiteral("南%店"));
    addOutlet(QStringLiteral("6"), QStringLiteral("北_店"));
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("5", "A%1", "100%纯棉", "2024-05-01", "1", "10", "6", "11", "上'海"), 0);
    ASSERT_EQ(insertSales("6", "A_1", "a\\b_c", "2024-05-02", "2", "20", "12", "45", "北\\京"), 0);
    ASSERT_EQ(insertSales("6", "AB1", "abxc", "2024-05-02", "3", "30", "18", "11", "北京"), 0);
    ASSERT_EQ(insertSales("5", "Z9", "末行", "2024-05-02", "1", "1", "1"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertStock("5", "A%1", "100%纯棉", "1", "1", "上'海"), 0);
    ASSERT_EQ(insertStock("6", "AB1", "abxc", "2", "2", "北京"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddStock")), 0);

    const Values sales = withValue(salesFilter("2024-01-01", "2024-12-31"), "@AREA", QString());
    auto count = [&](const QString& proc, Values v, const QString& name, const QString& value) {
        if (proc == QLatin1String("hz_GetStock"))
            v = {{"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""}, {"@AREA", ""}};
        return query(proc, withValue(v, name, value), {"USERCODE"}).size();
    };
    Values salesAll = sales;
    salesAll.push_back({"@AREA", QString()});
    const QString procs[] = {QStringLiteral("hz_GetSales"), QStringLiteral("hz_GetStock")};
    for (const QString& proc : procs) {
        SCOPED_TRACE(proc.toStdString());
        EXPECT_EQ(count(proc, salesAll, "@USERCODE", "A%1"), 1u);
        EXPECT_EQ(count(proc, salesAll, "@USERCODE", "A%"), 0u);
        EXPECT_EQ(count(proc, salesAll, "@USERCODE", " AB1 "), 1u);
        EXPECT_EQ(count(proc, salesAll, "@PTYPENAME", "%"), 1u);
        EXPECT_EQ(count(proc, salesAll, "@PTYPENAME", "0%纯"), 1u);
        EXPECT_EQ(count(proc, salesAll, "@PTYPENAME", "ab%c"), 0u);
        EXPECT_EQ(count(proc, salesAll, "@AGENTNAME", "_"), proc == procs[0] ? 2u : 1u);
        EXPECT_EQ(count(proc, salesAll, "@AGENTNAME", "南_店"), 0u);
        EXPECT_EQ(count(proc, salesAll, "@AREA", "'"), 1u);
        EXPECT_EQ(count(proc, salesAll, "@AREA", "' OR ''='"), 0u);
        EXPECT_EQ(count(proc, salesAll, "@PTYPENAME", QString(1000, QChar(u'棉'))), 0u);
        EXPECT_EQ(count(proc, salesAll, "@ID", "06"), proc == procs[0] ? 2u : 1u);
        EXPECT_THROW(count(proc, salesAll, "@ID", "abc"), DbError);
        EXPECT_THROW(count(proc, salesAll, "@ID", "6a"), DbError);
    }
    EXPECT_EQ(count("hz_GetSales", salesAll, "@PTYPENAME", "\\b"), 1u);
    EXPECT_EQ(count("hz_GetSales", salesAll, "@AREA", "\\"), 1u);
    EXPECT_EQ(count("hz_GetSales", salesAll, "@PTYPENAME", "b_c"), 1u);

    // Within a day by outlet number, then as imported.
    EXPECT_EQ(query(QStringLiteral("hz_GetSales"),
                    withValue(withValue(salesAll, "@date1", "2024-05-02"), "@date2", "2024-05-02"), {"ID", "USERCODE"}),
              (std::vector<QStringList>{{"5", "Z9"}, {"6", "A_1"}, {"6", "AB1"}}));

    // Every column the sales window reads, as text.
    const auto rows = query(QStringLiteral("hz_GetSales"), withValue(salesAll, "@VCHTYPE", "45"),
                            {"USERCODE", "PTYPENAME", "ID", "AGENTNAME", "STANDARD", "TYPE", "UNIT", "AREA", "DATE",
                             "QTY", "TOTAL", "COSTTOTAL", "VCHTYPE"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QStringList{"A_1", "a\\b_c", "6", "北_店", "S", "M", "个", "北\\京", "2024-05-02", "2", "20",
                                    "12", "45"}));
    // The statistics filters take the same texts; the picker lists keep their order.
    EXPECT_EQ(query(QStringLiteral("hz_AllStat"), withValue(statFilter("P"), "@PTYPENAME", "%"), kStatFields).size(), 1u);
    EXPECT_EQ(query(QStringLiteral("hz_AllStat"), withValue(statFilter("N"), "@AGENTNAME", "%"), kStatFields).at(0).mid(0, 2),
              (QStringList{"5", "南%店"}));
    EXPECT_EQ(query(QStringLiteral("hz_GetSPName"), {}, {"USERCODE", "PTYPENAME"}),
              (std::vector<QStringList>{{"A%1", "100%纯棉"}, {"AB1", "abxc"}}));
    EXPECT_EQ(query(QStringLiteral("hz_GetNet"), {}, {"ID", "AGENTNAME"}),
              (std::vector<QStringList>{{"5", "南%店"}, {"6", "北_店"}}));
}

// Lines by date, then outlet number as an integer (other numbers after, by their text), then the
// order of import; stock by outlet, product code, order of import.
TEST_F(Conformance, QueryRowOrders)
{
    for (const char* id : {"20", "B", "3", "A", "7"})
        addOutlet(QString::fromLatin1(id), QStringLiteral("店") + QString::fromLatin1(id));
    call(QStringLiteral("hz_deleSales"));
    const std::pair<const char*, const char*> lines[] = {{"B", "p1"}, {"20", "p2"}, {"3", "p3"}, {"A", "p4"},
                                                         {"3", "p5"}, {"20", "p6"}, {"7", "p9"}};
    for (const auto& [id, code] : lines)
        ASSERT_EQ(insertSales(id, code, "x", kD2, "1", "1", "1"), 0);
    ASSERT_EQ(insertSales("A", "p7", "x", kD1, "1", "1", "1"), 0);
    ASSERT_EQ(insertSales("3", "p8", "x", kD1, "1", "1", "1"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    // A later import of an earlier day: the day comes before the order of import.
    ASSERT_EQ(insertSales("20", "p11", "x", "2024-01-15", "1", "1", "1"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    const QStringList expected{"p11", "p8", "p7", "p3", "p5", "p9", "p2", "p6", "p4", "p1"};
    const Values all = withValue(salesFilter("2024-01-01", "2024-12-31"), "@AREA", "");
    QStringList codes, names;
    for (const QStringList& row : query(QStringLiteral("hz_GetSales"), all, kSalesFields)) {
        codes << row[0];
        names << row[3];
    }
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(names, (QStringList{"店20", "店3", "店A", "店3", "店3", "店7", "店20", "店20", "店A", "店B"}));
    if (engineUnderTest() == QLatin1String("postgresql")) {
        // The engine orders the server's unsorted lines itself: the same rows as the server's own
        // hz_GetSales, in the same order, with or without a filter.
        dm->ADOConnection.engine().execSql(QStringLiteral(
            "CREATE OR REPLACE FUNCTION test_server_sales(\"date1\" date, \"date2\" date, \"USERCODE\" text, "
            "\"PTYPENAME\" text, \"ID\" bigint, \"AGENTNAME\" text, \"AREA\" text, \"VCHTYPE\" bigint) "
            "RETURNS SETOF hz_sales_row LANGUAGE sql STABLE "
            "AS $$ SELECT * FROM hz_GetSales($1, $2, $3, $4, $5, $6, $7, $8) $$"));
        for (const Values& f : {all, withValue(all, "@PTYPENAME", "x"), withValue(salesFilter(kD2, kD2), "@AREA", "")})
            EXPECT_EQ(query(QStringLiteral("hz_GetSales"), f, kSalesFields),
                      query(QStringLiteral("test_server_sales"), f, kSalesFields));
    }

    call(QStringLiteral("hz_deleSales"));
    const std::pair<const char*, const char*> stock[] = {{"B", "x"}, {"20", "y"}, {"3", "z"}, {"A", "w"},
                                                         {"3", "a"}, {"3", "z"}};
    for (const auto& [id, code] : stock)
        ASSERT_EQ(insertStock(id, code, QString::fromLatin1(id), "1", "1", QString::fromLatin1(code)), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddStock")), 0);
    QStringList keys;
    for (const QStringList& row : query(QStringLiteral("hz_GetStock"),
                                        {{"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""}, {"@AREA", ""}},
                                        {"ID", "USERCODE"}))
        keys << row.join(':');
    EXPECT_EQ(keys, (QStringList{"3:a", "3:z", "3:z", "20:y", "A:w", "B:x"}));
}

TEST_F(Conformance, StockImportReplacesTheOutletsStock)
{
    addOutlet(QStringLiteral("1"), QStringLiteral("一号店"));
    addOutlet(QStringLiteral("2"), QStringLiteral("二号店"));
    call(QStringLiteral("hz_deleSales"));
    EXPECT_EQ(insertStock("1", "B", "笔", "10", "100.10"), 0);
    EXPECT_EQ(insertStock("1", "A", "纸", "5", "0.3"), 0);
    EXPECT_EQ(insertStock("2", "A", "纸", "1", "0.1"), 0);
    EXPECT_EQ(insertStock("3", "A", "纸", "1", "0.1"), -2);
    EXPECT_EQ(insertStock("1", "A", "纸", "x", "0.1"), -1);
    ASSERT_EQ(call(QStringLiteral("hz_AddStock")), 0);

    const QStringList fields = {"USERCODE", "PTYPENAME", "ID", "AGENTNAME", "AREA", "KCQTY", "KCTOTAL"};
    Values all = {{"@USERCODE", ""}, {"@PTYPENAME", ""}, {"@ID", ""}, {"@AGENTNAME", ""}, {"@AREA", ""}};
    EXPECT_EQ(query(QStringLiteral("hz_GetStock"), all, fields),
              (std::vector<QStringList>{{"A", "纸", "1", "一号店", "Area", "5", "0.3"},
                                        {"B", "笔", "1", "一号店", "Area", "10", "100.1"},
                                        {"A", "纸", "2", "二号店", "Area", "1", "0.1"}}));

    // A new stock file of outlet 1 replaces all its lines; outlet 2 keeps its own.
    call(QStringLiteral("hz_deleSales"));
    EXPECT_EQ(insertStock("1", "C", "墨", "2", "4"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddStock")), 0);
    EXPECT_EQ(query(QStringLiteral("hz_GetStock"), all, fields),
              (std::vector<QStringList>{{"C", "墨", "1", "一号店", "Area", "2", "4"},
                                        {"A", "纸", "2", "二号店", "Area", "1", "0.1"}}));
    EXPECT_EQ(query(QStringLiteral("hz_GetStock"), withValue(all, "@ID", "2"), fields).size(), 1u);
    EXPECT_EQ(query(QStringLiteral("hz_GetStock"), withValue(all, "@PTYPENAME", "墨"), fields).size(), 1u);
    EXPECT_THROW(query(QStringLiteral("hz_GetStock"), withValue(all, "@ID", "abc"), fields), DbError);
    EXPECT_EQ(query(QStringLiteral("hz_GetSPName"), {}, {"USERCODE", "PTYPENAME"}),
              (std::vector<QStringList>{{"A", "纸"}, {"C", "墨"}}));
    // An outlet that still has stock lines is not deleted either.
    EXPECT_EQ(call(QStringLiteral("hz_deleteNet"), {{"@ID", "2"}}), -1);
}

TEST_F(Conformance, StagingIsPrivateToAConnection)
{
    addOutlet(QStringLiteral("1"), QStringLiteral("一号店"));
    auto other = newClient();
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD1, "1", "1", "1"), 0);
    // The other clerk clears and consolidates its own (empty) staging.
    EXPECT_EQ(other->CallProc(other->ADOSProc, QStringLiteral("hz_deleSales")), 0);
    ASSERT_EQ(other->CallProc(other->ADOSProc, QStringLiteral("hz_InsertSales"),
                              {{"@USERCODE", "P9"}, {"@PTYPENAME", "Other"}, {"@DATE", kD2}, {"@QTY", "9"},
                               {"@TOTAL", "9"}, {"@COSTTOTAL", "9"}, {"@VCHTYPE", "11"}, {"@ID", "1"}}),
              0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    auto rows = query(QStringLiteral("hz_GetSales"), withValue(salesFilter("2024-01-01", "2024-12-31"), "@AREA", ""),
                      kSalesFields);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "P1");
    ASSERT_EQ(other->CallProc(other->ADOSProc, QStringLiteral("hz_AddSales")), 0);
    rows = query(QStringLiteral("hz_GetSales"), withValue(salesFilter("2024-01-01", "2024-12-31"), "@AREA", ""),
                 kSalesFields);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "P9");
}

TEST_F(Conformance, ColumnConfigurationModes)
{
    auto cfg = [&](const QString& mode, int order, int colOrder, const QString& user, int visible, int sys, int width,
                   bool open = false) {
        return dm->CallProc(dm->ADOCofig, QStringLiteral("CW_r_GetColConfig"),
                            {{"@ID", "sdc102"}, {"@DefaultName", mode == "I" ? "Default" + QString::number(order) : ""},
                             {"@UserName", user}, {"@Visible", visible}, {"@SysVisible", sys}, {"@OrderCode", order},
                             {"@ColOrder", colOrder}, {"@UserID", ""}, {"@Width", width}, {"@sMode", mode}},
                            open);
    };
    const QStringList fields = {"OrderCode", "ColOrder", "DefaultName", "UserName", "Visible", "SysVisible", "Width"};
    EXPECT_GE(cfg("S", 0, 0, "", 0, 0, 0), 0);
    cfg("S", 0, 0, "", 0, 0, 0, true);
    EXPECT_EQ(dm->ADOCofig.RecordCount(), 0);

    cfg("I", 2, 2, "名称", 1, 0, 80);
    cfg("I", 1, 1, "编码", 1, 1, 50);
    cfg("U", 2, 1, " 新名称 ", 0, 0, 0);  // DefaultName, SysVisible, Width stay
    cfg("U", 1, 2, "编码", 1, 0, 0);
    cfg("UW", 2, 0, "", 0, 0, 120);       // only the width
    cfg("S", 0, 0, "", 0, 0, 0, true);
    auto rows = readRows(dm->ADOCofig, fields);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (QStringList{"1", "2", "Default1", "编码", "1", "1", "50"}));
    EXPECT_EQ(rows[1], (QStringList{"2", "1", "Default2", " 新名称 ", "0", "0", "120"}));
    dm->ADOCofig.First();
    EXPECT_EQ(dm->ADOCofig.FieldByName("ColOrder").AsInteger(), 2);

    // Another grid id is a separate set of records: "D" and "UW" of one leave the other alone.
    dm->CallProc(dm->ADOCofig, QStringLiteral("CW_r_GetColConfig"),
                 {{"@ID", "sdc101"}, {"@DefaultName", "Other"}, {"@UserName", "Other"}, {"@Visible", 1},
                  {"@SysVisible", 0}, {"@OrderCode", 2}, {"@ColOrder", 2}, {"@UserID", ""}, {"@Width", 30},
                  {"@sMode", "I"}});
    // "I" of a column that has a record already replaces it (a rebuild after a failed delete).
    cfg("I", 2, 3, "again", 1, 0, 90);
    cfg("S", 0, 0, "", 0, 0, 0, true);
    rows = readRows(dm->ADOCofig, fields);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], (QStringList{"2", "3", "Default2", "again", "1", "0", "90"}));
    // An unknown mode is refused.
    EXPECT_LT(cfg("X", 0, 0, "", 0, 0, 0), 0);

    EXPECT_GT(cfg("D", 0, 0, "", 0, 0, 0), 0);
    cfg("S", 0, 0, "", 0, 0, 0, true);
    EXPECT_EQ(dm->ADOCofig.RecordCount(), 0);
    dm->CallProc(dm->ADOCofig, QStringLiteral("CW_r_GetColConfig"), {{"@ID", "sdc101"}, {"@sMode", "S"}}, true);
    rows = readRows(dm->ADOCofig, fields);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (QStringList{"2", "2", "Other", "Other", "1", "0", "30"}));
}

TEST_F(Conformance, CatalogueCreateListDelete)
{
    // Re-running the catalogue preparation at every load succeeds and keeps the entries.
    dm->ADOConnection.SetDefaultDatabase(QStringLiteral("master"));
    prepareCatalogue(*dm);
    prepareCatalogue(*dm);
    const QString second = uniqueDbName();
    const qlonglong id2 = createAccountSet(*dm, second, QStringLiteral("第二个 'set'"));
    ASSERT_GT(id2, sysid);
    dm->CallProc(dm->QueryProc, QStringLiteral("hz_getzt"), {}, true);
    std::vector<QStringList> rows = readRows(dm->QueryProc, {"SYSID", "SYSNAME", "DBNAME"});
    ASSERT_GE(rows.size(), 2u);
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_LT(rows[i - 1][0].toLongLong(), rows[i][0].toLongLong());
    // Other tests may add entries meanwhile; ours are in id order with their names.
    auto pos = [&](const QString& db) {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i][2].compare(db, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    };
    ASSERT_GE(pos(second), 0);
    EXPECT_LT(pos(dbName), pos(second));
    EXPECT_EQ(rows[size_t(pos(second))][1], QStringLiteral("第二个 'set'"));

    // The same name again is refused; so is a name that is not a plain identifier.
    EXPECT_THROW(dm->RestoreDatabase(second), DbError);
    EXPECT_THROW(dm->RestoreDatabase(second.toUpper()), DbError);  // names compare without case
    for (const QString& bad : {QStringLiteral("x; DROP DATABASE master"), QStringLiteral("../evil"),
                               QStringLiteral("1abc"), QStringLiteral("数据库")}) {
        try {
            dm->RestoreDatabase(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const DbError& e) {
            EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QLatin1String("letter")), -1) << e.what();
        }
    }

    // A database in use by another client is not deleted.
    {
        auto user = std::make_unique<TDMData>();
        connect(*user);
        user->ADOConnection.SetDefaultDatabase(second);
        user->CallProc(user->ADOSProc, QStringLiteral("hz_GetNet"), {}, true);
        EXPECT_THROW(dm->CallProc(dm->InsertProc, QStringLiteral("hz_DeleteZt"), {{"@ztid", id2}}), DbError);
        EXPECT_TRUE(sysidOf(*dm, second).has_value());
    }

    EXPECT_NE(dm->CallProc(dm->InsertProc, QStringLiteral("hz_DeleteZt"), {{"@ztid", id2}}), -1);
    EXPECT_FALSE(sysidOf(*dm, second).has_value());
    // An id that is no longer in the catalogue is no refusal.
    EXPECT_NE(dm->CallProc(dm->InsertProc, QStringLiteral("hz_DeleteZt"), {{"@ztid", id2}}), -1);
    EXPECT_THROW(dm->ADOConnection.SetDefaultDatabase(second), DbError);

    if (engineUnderTest() == QLatin1String("embedded")) {
        // Taken out of service, not destroyed: the file moved to data/deleted/.
        EXPECT_FALSE(QFileInfo::exists(GetDataDir() + "/" + second + ".db"));
        const QStringList moved = QDir(GetDataDir() + "/deleted").entryList({second + "-*.db"}, QDir::Files);
        EXPECT_EQ(moved.size(), 1);
    }
}

// The statistics are served from a daily summary: after every kind of change to the lines (line by
// line and bulk imports, re-imports of an outlet day, a consolidation of the other kind first,
// refused consolidations and deletions) they equal the lines of hz_GetSales grouped here, for
// every mode and with the filters, in the same order. An account set without the summary (made
// before it) gets it built on first use.
TEST_F(Conformance, StatisticsSummaryEqualsTheGroupedLines)
{
    const QString kD3 = QStringLiteral("2024-03-05");
    using Sums = std::tuple<qint64, qint64, qint64>;
    auto dec = [](const QString& t) {
        const std::optional<qint64> v = scaled::parse(QStringView(t));
        EXPECT_TRUE(v) << t.toStdString();
        return v.value_or(0);
    };
    const std::vector<std::pair<QString, QString>> filters = {
        {}, {"@PTYPENAME", "甲"}, {"@ID", "2"}, {"@VCHTYPE", "45"}, {"@USERCODE", " P2 "}, {"@AGENTNAME", "店"}};
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const auto& [name, value] : filters) {
            for (const char* from : {"2024-01-01", "2024-03-02"}) {
                Values sf = salesFilter(QString::fromLatin1(from), QStringLiteral("2024-12-31"));
                sf.push_back({QStringLiteral("@AREA"), QString()});
                if (!name.isEmpty())
                    sf = withValue(sf, name, value);
                const auto lines = query(QStringLiteral("hz_GetSales"), sf,
                                         {"USERCODE", "PTYPENAME", "ID", "AGENTNAME", "DATE", "QTY", "TOTAL",
                                          "COSTTOTAL", "VCHTYPE"});
                for (const char* mode : {"P", "N", "V", "D"}) {
                    SCOPED_TRACE(std::string(mode) + " " + name.toStdString() + " from " + from);
                    // key: sort key, code, name
                    std::map<std::tuple<qint64, std::string, std::string>, Sums> want;
                    for (const QStringList& l : lines) {
                        std::tuple<qint64, std::string, std::string> k;
                        if (*mode == 'P')
                            k = {0, l[0].toStdString(), l[1].toStdString()};
                        else if (*mode == 'N')
                            k = {l[2].toLongLong(), l[2].toStdString(), l[3].toStdString()};
                        else if (*mode == 'V')
                            k = {l[8].toLongLong(), l[8].toStdString(), l[8].toStdString()};
                        else
                            k = {0, l[4].toStdString(), l[4].toStdString()};
                        auto& [q, t, c] = want[k];
                        q += dec(l[5]);
                        t += dec(l[6]);
                        c += dec(l[7]);
                    }
                    Values stf = withValue(statFilter(QString::fromLatin1(mode), QString::fromLatin1(from)), name, value);
                    std::vector<std::tuple<std::string, std::string, qint64, qint64, qint64, qint64>> got, expected;
                    for (const QStringList& r : query(QStringLiteral("hz_AllStat"), stf, kStatFields))
                        got.emplace_back(r[0].toStdString(), r[1].toStdString(), dec(r[2]), dec(r[3]), dec(r[4]),
                                         dec(r[5]));
                    for (const auto& [k, s] : want)
                        expected.emplace_back(std::get<1>(k), std::get<2>(k), std::get<0>(s), std::get<1>(s),
                                              std::get<2>(s), std::get<1>(s) - std::get<2>(s));
                    EXPECT_EQ(got, expected);
                }
            }
        }
    };

    addOutlet(QStringLiteral("1"), QStringLiteral("甲店"));
    addOutlet(QStringLiteral("2"), QStringLiteral("乙店"));
    addOutlet(QStringLiteral("10"), QStringLiteral("Ten"));
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("1", "P1", "甲笔", kD1, "0.1", "0.3", "0.05"), 0);
    ASSERT_EQ(insertSales("1", "P1", "甲笔", kD1, "0.2", "0.3", "0.05", "45"), 0);
    ASSERT_EQ(insertSales("1", "P1", "Pen", kD1, "1", "2", "1"), 0);  // same code, another name
    ASSERT_EQ(insertSales("1", "P2", "乙纸", kD2, "-3", "-4.5", "-1"), 0);
    ASSERT_EQ(insertSales("2", "P1", "甲笔", kD1, "5", "5.000001", "1"), 0);
    ASSERT_EQ(insertSales("2", "P2", "乙纸", kD2, "7", "70", "60", "45"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    check("first import");

    // A re-import of outlet 1's 03-01 replaces that outlet day only.
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("1", "P3", "丙", kD1, "2", "2", "1", "45"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    check("re-import line by line");

    // The import's own path: an intake session written straight into the tables.
    Engine& engine = dm->ADOConnection.engine();
    auto bulk = [](IntakeSession& s, const char* id, const char* code, const char* name, const QString& date,
                   const char* qty, const char* vch) {
        const std::string d = date.toStdString();
        const std::array<std::string_view, 12> v = {code, name, "S", "M", "个", "产地", d, qty, "3", "1", vch, id};
        return s.add(IntakeKind::Sales, v);
    };
    auto consolidate = [&](std::unique_ptr<IntakeSession> s, IntakeKind kind) {
        const std::optional<int> rc = s->consolidate(kind == IntakeKind::Sales, kind == IntakeKind::Stock);
        return rc ? *rc
                  : call(kind == IntakeKind::Sales ? QStringLiteral("hz_AddSales") : QStringLiteral("hz_AddStock"));
    };
    call(QStringLiteral("hz_deleSales"));
    {
        auto s = engine.beginIntake();
        ASSERT_TRUE(s);
        ASSERT_EQ(bulk(*s, "2", "P2", "乙纸", kD2, "1.5", "11"), 0);
        ASSERT_EQ(bulk(*s, "2", "P2", "乙纸", kD2, "2.50", "11"), 0);
        ASSERT_EQ(bulk(*s, "10", "P1", "甲笔", kD3, "4", "11"), 0);
        ASSERT_EQ(bulk(*s, "10", "P1", "甲笔", kD3, "4", "45"), 0);
        ASSERT_EQ(bulk(*s, "10", "P1", "甲笔", kD3, "0.125", "45"), 0);
        s->complete();
        ASSERT_EQ(consolidate(std::move(s), IntakeKind::Sales), 0);
    }
    check("intake session");
    // The sums the intake wrote read exactly as the sums of the same lines consolidated by the
    // procedures.
    {
        const char* modes[] = {"P", "N", "V", "D"};
        std::vector<std::vector<QStringList>> viaIntake;
        for (const char* mode : modes)
            viaIntake.push_back(query(QStringLiteral("hz_AllStat"), statFilter(QString::fromLatin1(mode)), kStatFields));
        call(QStringLiteral("hz_deleSales"));
        ASSERT_EQ(insertSales("2", "P2", "乙纸", kD2, "1.5", "3", "1", "11", "产地"), 0);
        ASSERT_EQ(insertSales("2", "P2", "乙纸", kD2, "2.50", "3", "1", "11", "产地"), 0);
        ASSERT_EQ(insertSales("10", "P1", "甲笔", kD3, "4", "3", "1", "11", "产地"), 0);
        ASSERT_EQ(insertSales("10", "P1", "甲笔", kD3, "4", "3", "1", "45", "产地"), 0);
        ASSERT_EQ(insertSales("10", "P1", "甲笔", kD3, "0.125", "3", "1", "45", "产地"), 0);
        ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
        for (size_t i = 0; i < viaIntake.size(); ++i)
            EXPECT_EQ(query(QStringLiteral("hz_AllStat"), statFilter(QString::fromLatin1(modes[i])), kStatFields),
                      viaIntake[i])
                << modes[i];
    }

    // A mixed file whose stock is consolidated first: its sales wait in the staging.
    {
        auto s = engine.beginIntake();
        ASSERT_TRUE(s);
        ASSERT_EQ(bulk(*s, "1", "P9", "甲", kD2, "9", "11"), 0);
        const std::array<std::string_view, 9> stockLine = {"P1", "甲笔", "S", "M", "个", "产地", "1", "1", "1"};
        ASSERT_EQ(s->add(IntakeKind::Stock, stockLine), 0);
        s->complete();
        ASSERT_EQ(consolidate(std::move(s), IntakeKind::Stock), 0);
    }
    check("stock consolidated, sales staged");
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    check("staged sales consolidated");

    // The outlet of staged lines deleted meanwhile; an outlet with lines is not deleted.
    addOutlet(QStringLiteral("11"), QStringLiteral("Eleven"));
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("11", "P1", "甲笔", kD1, "1", "1", "1"), 0);
    ASSERT_EQ(insertSales("1", "P1", "甲笔", kD1, "100", "1", "1"), 0);
    {
        auto other = newClient();
        EXPECT_EQ(other->CallProc(other->ADOSProc, QStringLiteral("hz_deleteNet"), {{"@ID", "11"}}), 0);
        EXPECT_EQ(other->CallProc(other->ADOSProc, QStringLiteral("hz_deleteNet"), {{"@ID", "1"}}), -1);
    }
    call(QStringLiteral("hz_AddSales"));  // -1 on the server engine, which checks the outlets again
    check("consolidation after the outlet was deleted; refused deletion");

    // An account set made before the summary: built from the lines on first use, then kept.
    const bool embedded = engineUnderTest() == QLatin1String("embedded");
    if (embedded) {
        dm->ADOConnection.engine().execSql(QStringLiteral("DROP TABLE sales_daysum; DROP TABLE sales_prod"));
    } else {  // nor the procedures that keep it
        dm->ADOConnection.engine().execSql(QStringLiteral(
            "DROP TABLE sales_daysum, sales_monthsum CASCADE; DROP FUNCTION hz_util_direct_replace_sales, "
            "hz_util_lock_known_outlets, hz_util_sum_written CASCADE"));
    }
    // Another client opens the account set, checks the summary, imports a line, checks again.
    auto reopenAndImport = [&](const char* opened, const char* imported, const char* id, const char* code,
                               const char* name, const QString& day, const char* value) {
        dm = newClient();
        check(opened);
        call(QStringLiteral("hz_deleSales"));
        ASSERT_EQ(insertSales(id, code, name, day, value, value, value), 0);
        ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
        check(imported);
    };
    reopenAndImport("summary built on first use", "import after the summary was built", "2", "P1", "甲笔", kD1, "8");
    if (!embedded) {
        // One with the row-per-group summary of earlier versions (stale here) and their
        // procedures: upgraded to the packed form, built from the lines, the old table gone.
        dm->ADOConnection.engine().execSql(QStringLiteral(
            "DROP TABLE sales_daysum, sales_monthsum CASCADE; DROP FUNCTION hz_util_sum_written;"
            "CREATE TABLE sales_sum (saledate date NOT NULL, id text COLLATE \"C\" NOT NULL, usercode text, "
            "ptypename text, vchtype integer NOT NULL, qty numeric NOT NULL, total numeric NOT NULL, "
            "costtotal numeric NOT NULL);"
            "INSERT INTO sales_sum VALUES ('2024-03-01', '1', 'P1', '甲笔', 11, 1, 1, 1);"
            "UPDATE sales SET qty = qty + 1 WHERE id = '2';"));
        reopenAndImport("old summary table replaced", "import after the old summary was replaced", "1", "P2", "乙纸",
                        kD2, "3");
        EXPECT_NO_THROW(dm->ADOConnection.engine().execSql(QStringLiteral(
            "DO $$ BEGIN IF to_regclass('sales_sum') IS NOT NULL THEN RAISE EXCEPTION 'old table kept'; END IF; END $$")));
        // One of the version before, whose queries had other bodies (here: a sales query that
        // finds nothing) and which had no template version: brought up to date on first use.
        dm->ADOConnection.engine().execSql(QStringLiteral(
            "DROP FUNCTION hz_util_template_version();"
            "CREATE OR REPLACE FUNCTION hz_GetSales(\"date1\" date, \"date2\" date, \"USERCODE\" text, "
            "\"PTYPENAME\" text, \"ID\" bigint, \"AGENTNAME\" text, \"AREA\" text, \"VCHTYPE\" bigint) "
            "RETURNS SETOF hz_sales_row LANGUAGE plpgsql STABLE AS $$ BEGIN RETURN; END $$"));
        reopenAndImport("queries of the version before replaced", "import after the queries were replaced", "2",
                        "P2", "乙纸", kD2, "2");
        return;
    }

    // One made with the row-per-group summary of earlier versions, which an import of such a
    // version left stale: the summary is built again from the lines and the old table goes.
    dm->ADOConnection.engine().execSql(QStringLiteral(
        "CREATE TABLE sales_sum(day INTEGER NOT NULL, ID TEXT NOT NULL, USERCODE TEXT NOT NULL, "
        "PTYPENAME TEXT NOT NULL, VCHTYPE INTEGER NOT NULL, DATE TEXT NOT NULL, QTY INTEGER NOT NULL, "
        "TOTAL INTEGER NOT NULL, COSTTOTAL INTEGER NOT NULL, PRIMARY KEY(day, ID, USERCODE, PTYPENAME, VCHTYPE)) "
        "WITHOUT ROWID;"
        "INSERT INTO sales_sum VALUES(2460371, '1', 'P1', '甲笔', 11, '2024-03-01', 1, 1, 1);"
        "UPDATE sales SET QTY = QTY + 1000000 WHERE ID = '2';"));
    reopenAndImport("old summary table replaced", "import after the old summary was replaced", "1", "P2", "乙纸", kD2,
                    "3");

    // A build that fails (a sum beyond the exact range) leaves the account set as it was.
    const char* lastLine = "(SELECT max(seq) FROM sales)";
    dm->ADOConnection.engine().execSql(QStringLiteral(
        "DROP TABLE sales_daysum; DROP TABLE sales_prod; CREATE TABLE sales_sum(day INTEGER);"
        "UPDATE sales SET QTY = 9223372036854775807 WHERE seq = %1;"
        "INSERT INTO sales SELECT seq + 1, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
        "COSTTOTAL, VCHTYPE FROM sales WHERE seq = %1;").arg(QLatin1String(lastLine)));
    dm = newClient();
    try {
        query(QStringLiteral("hz_AllStat"), statFilter("P"), kStatFields);
        ADD_FAILURE() << "a sum beyond the range was built";
    } catch (const DbError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), SumOutOfRangeText());
    }
    {
        auto db = sqlite::Db::open(GetDataDir() + "/" + dbName + ".db", SQLITE_OPEN_READWRITE);
        auto q = db->prepare("SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master "
                             "WHERE name IN ('sales_sum', 'sales_daysum', 'sales_prod') ORDER BY name)");
        ASSERT_TRUE(q.step());
        EXPECT_EQ(q.text(0), QStringLiteral("sales_sum"));
    }
    dm->ADOConnection.engine().execSql(QStringLiteral("DELETE FROM sales WHERE seq = %1; UPDATE sales SET QTY = 5000000 "
                                                      "WHERE seq = %1;").arg(QLatin1String(lastLine)));
    check("built after a failed build");

    // A damaged blob of the summary is a clear refusal, not a crash or a wrong figure.
    dm->ADOConnection.engine().execSql(QStringLiteral("UPDATE sales_daysum SET sums = x'01ff'"));
    try {
        query(QStringLiteral("hz_AllStat"), statFilter("P"), kStatFields);
        ADD_FAILURE() << "a damaged summary was read";
    } catch (const DbError& e) {
        EXPECT_NE(QString::fromUtf8(e.what()).indexOf(QStringLiteral("damaged")), -1) << e.what();
    }
}

// The deliveries: per outlet of the list and day of the range, the lines and amount imported,
// as a plain count of the lines says, whichever way the lines came in.
TEST_F(Conformance, DeliveriesCountTheImportedLinesPerOutletDay)
{
    const QStringList fields{"ID", "AGENTNAME", "DATE", "LINES", "TOTAL"};
    const QString from = QStringLiteral("2024-03-01"), to = QStringLiteral("2024-03-05");
    auto deliveries = [&](const QString& f, const QString& t) {
        return query(QStringLiteral("hz_GetDeliveries"), {{"@date1", f}, {"@date2", t}}, fields);
    };
    // Outlet -> date -> (lines, amount) from the lines themselves.
    auto plainCount = [&] {
        std::map<std::pair<QString, QString>, std::pair<qint64, qint64>> counted;
        Values sf = salesFilter(from, to);
        sf.push_back({QStringLiteral("@AREA"), QString()});
        for (const QStringList& l : query(QStringLiteral("hz_GetSales"), sf, {"ID", "DATE", "TOTAL"})) {
            auto& [n, total] = counted[{l[0], l[1]}];
            ++n;
            total += scaled::parse(QStringView(l[2])).value_or(0);
        }
        return counted;
    };
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        const auto counted = plainCount();
        const auto got = deliveries(from, to);
        const QStringList order{"1", "2", "3", "10"};  // the outlet list's order
        ASSERT_EQ(got.size(), std::size_t(order.size() * 5));
        for (std::size_t i = 0; i < got.size(); ++i) {
            const QStringList& r = got[i];
            EXPECT_EQ(r[0], order[qsizetype(i / 5)]);
            EXPECT_EQ(r[2], QDate(2024, 3, 1).addDays(qint64(i % 5)).toString(Qt::ISODate));
            const auto it = counted.find({r[0], r[2]});
            const qint64 lines = it == counted.end() ? 0 : it->second.first;
            const qint64 total = it == counted.end() ? 0 : it->second.second;
            EXPECT_EQ(r[3].toLongLong(), lines) << r.join(' ').toStdString();
            EXPECT_EQ(scaled::parse(QStringView(r[4])).value_or(-1), total) << r.join(' ').toStdString();
        }
    };
    // The engine's bulk intake where it has one (the client sums the lines), else line by line.
    auto bulkSales = [&](const std::vector<std::map<QString, QString>>& lines) {
        call(QStringLiteral("hz_deleSales"));
        std::unique_ptr<IntakeSession> session = dm->BeginIntake();
        if (!session) {
            for (const auto& l : lines)
                ASSERT_EQ(insertSales(l.at("@ID"), l.at("@USERCODE"), l.at("@PTYPENAME"), l.at("@DATE"), l.at("@QTY"),
                                      l.at("@TOTAL"), l.at("@COSTTOTAL"), l.at("@VCHTYPE")), 0);
        } else {
            for (const auto& l : lines) {
                std::vector<QByteArray> bytes;
                for (const char* name : intakeParamNames(IntakeKind::Sales)) {
                    const auto it = l.find(QLatin1String(name));
                    bytes.push_back(it == l.end() ? QByteArray("x") : it->second.toUtf8());
                }
                std::vector<std::string_view> values;
                for (const QByteArray& b : bytes)
                    values.emplace_back(b.constData(), std::size_t(b.size()));
                ASSERT_EQ(session->add(IntakeKind::Sales, values), 0);
            }
            session->complete();
            if (const std::optional<int> rc = session->consolidate(true, false)) {
                ASSERT_EQ(*rc, 0);
                return;
            }
        }
        ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    };
    auto line = [](const char* id, const char* code, const char* date, const char* total, const char* vch = "11") {
        return std::map<QString, QString>{{"@ID", id}, {"@USERCODE", code}, {"@PTYPENAME", "N"}, {"@DATE", date},
                                          {"@QTY", "1"}, {"@TOTAL", total}, {"@COSTTOTAL", "0.5"}, {"@VCHTYPE", vch}};
    };

    addOutlet(QStringLiteral("1"), QStringLiteral("甲店"));
    addOutlet(QStringLiteral("2"), QStringLiteral("乙店"));
    addOutlet(QStringLiteral("3"), QStringLiteral("丙店"));  // never sends anything
    addOutlet(QStringLiteral("10"), QStringLiteral("Ten"));
    // Line by line: outlet 1 on the first day (two lines of one product: one group, two lines)
    // and on the days just outside the range.
    call(QStringLiteral("hz_deleSales"));
    ASSERT_EQ(insertSales("1", "P1", "甲笔", "2024-03-01", "1", "1.25", "1"), 0);
    ASSERT_EQ(insertSales("1", "P1", "甲笔", "2024-03-01", "2", "2.5", "1"), 0);
    ASSERT_EQ(insertSales("1", "P2", "乙纸", "2024-03-01", "1", "-3", "1", "45"), 0);
    ASSERT_EQ(insertSales("1", "P1", "甲笔", "2024-02-29", "1", "9", "1"), 0);
    ASSERT_EQ(insertSales("1", "P1", "甲笔", "2024-03-06", "1", "9", "1"), 0);
    ASSERT_EQ(call(QStringLiteral("hz_AddSales")), 0);
    check("line by line");

    // In bulk: outlet 2 on the last day of the range, outlet 10 on two days.
    bulkSales({line("2", "P1", "2024-03-05", "4"), line("2", "P1", "2024-03-05", "4"), line("2", "P3", "2024-03-05", "1"),
               line("10", "P1", "2024-03-02", "0.1"), line("10", "P1", "2024-03-03", "0.2", "45")});
    check("bulk");
    // A re-import of outlet 1's first day replaces its lines: the count goes down, not up.
    bulkSales({line("1", "P9", "2024-03-01", "7")});
    check("re-import");

    // The range: a year at most (366 days is a year), a reversed one has no days.
    EXPECT_EQ(deliveries("2024-01-01", "2024-12-31").size(), std::size_t(4 * 366));
    EXPECT_EQ(call(QStringLiteral("hz_GetDeliveries"), {{"@date1", "2024-01-01"}, {"@date2", "2025-01-01"}}, true), -1);
    EXPECT_TRUE(readRows(dm->ADOSProc, fields).empty());
    EXPECT_TRUE(deliveries("2024-03-05", "2024-03-01").empty());

    // An account set whose summary has no line counts yet gets a new one on first use.
    if (engineUnderTest() == QLatin1String("embedded")) {
        dm->ADOConnection.engine().execSql(QStringLiteral(
            "DROP INDEX sales_daysum_count; ALTER TABLE sales_daysum DROP COLUMN lines; "
            "ALTER TABLE sales_daysum DROP COLUMN total; PRAGMA user_version = 3;"));
    } else {
        dm->ADOConnection.engine().execSql(QStringLiteral(
            "DROP TABLE sales_daysum CASCADE; DROP FUNCTION hz_GetDeliveries(date, date);"));
    }
    dm = newClient();
    check("summary made afresh");
    // One with the counts but not their index gets the index.
    if (engineUnderTest() == QLatin1String("embedded")) {
        dm->ADOConnection.engine().execSql(QStringLiteral("DROP INDEX sales_daysum_count; PRAGMA user_version = 4;"));
        dm = newClient();
        check("counts' index added");
        auto db = sqlite::Db::open(GetDataDir() + "/" + dbName + ".db", SQLITE_OPEN_READWRITE);
        auto q = db->prepare("SELECT count(*) FROM sqlite_master WHERE name = 'sales_daysum_count'");
        ASSERT_TRUE(q.step());
        EXPECT_EQ(q.integer(0), 1);
    }
    // A set whose summary is there but not the procedure gets the procedure, figures unchanged.
    if (engineUnderTest() == QLatin1String("postgresql")) {
        dm->ADOConnection.engine().execSql(QStringLiteral("DROP FUNCTION hz_GetDeliveries(date, date);"));
        dm = newClient();
        check("procedure brought back");
    }
    bulkSales({line("3", "P1", "2024-03-04", "2")});
    check("import after the summary was made afresh");
}

}  // namespace
}  // namespace corvanta::test
