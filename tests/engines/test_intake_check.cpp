// The checks of the intake procedures (engines/IntakeCheck.h), on their own: what each value may
// be, which refusal wins, and what a taken line holds. Both engines' intakes rest on them.
#include "engines/IntakeCheck.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace corvanta;

namespace {

class IntakeCheckTest : public ::testing::Test {
protected:
    IntakeChecker checker{[this](std::string_view key) {
        asked.emplace(key);
        return outlets.count(std::string(key)) > 0;
    }};
    std::set<std::string> outlets{"1", "门店7"};
    std::multiset<std::string> asked;

    static SalesValues sales(std::string_view id = "1", std::string_view date = "2024-03-01",
                             std::string_view qty = "2", std::string_view vch = "11")
    {
        SalesValues v{};
        v[SpUserCode] = " C1 ";
        v[SpPtypeName] = " 名称 ";
        v[SpStandard] = "S";
        v[SpType] = "T";
        v[SpUnit] = "个";
        v[SpArea] = "产地";
        v[SpDate] = date;
        v[SpQty] = qty;
        v[SpTotal] = "10.50";
        v[SpCostTotal] = "-7.25";
        v[SpVchType] = vch;
        v[SpId] = id;
        return v;
    }
    static StockValues stock(std::string_view id = "1", std::string_view qty = "3", std::string_view total = "4.5")
    {
        StockValues v{};
        v[KpUserCode] = "K1";
        v[KpPtypeName] = "名称";
        v[KpKcQty] = qty;
        v[KpKcTotal] = total;
        v[KpId] = id;
        return v;
    }
};

TEST_F(IntakeCheckTest, ATakenSalesLineHoldsItsConvertedValues)
{
    SalesRow row;
    ASSERT_EQ(checker.sales(sales(" 1\t", "2024/3/1", " 12.500 ", " 45 "), row), 0);
    EXPECT_EQ(row.id, "1");             // trimmed, as the outlet list is searched
    EXPECT_EQ(row.usercode, "C1");      // trimmed
    EXPECT_EQ(row.ptypename, " 名称 ");  // kept as sent
    EXPECT_EQ(row.unit, "个");
    EXPECT_EQ(row.day.view(), "2024-03-01");
    EXPECT_EQ(row.day.julian, 2460371);
    EXPECT_EQ(row.qty, 12'500'000);
    EXPECT_EQ(row.total, 10'500'000);
    EXPECT_EQ(row.cost, -7'250'000);
    EXPECT_EQ(row.vchType, 45);
    EXPECT_EQ(asked, (std::multiset<std::string>{"1"}));
}

TEST_F(IntakeCheckTest, TheOutletIsCheckedFirst)
{
    SalesRow row;
    // An unknown outlet is -2 even when every other value is refused as well.
    EXPECT_EQ(checker.sales(sales("9", "2024-02-30", "x", "12"), row), -2);
    EXPECT_EQ(checker.sales(sales(""), row), -2);
    EXPECT_EQ(checker.sales(sales("01"), row), -2);  // the key is text, not a number
    EXPECT_EQ(checker.sales(sales("门店7"), row), 0);
    StockRow srow;
    EXPECT_EQ(checker.stock(stock("9", "x"), srow), -2);
    EXPECT_EQ(checker.stock(stock(" 门店7 "), srow), 0);
}

TEST_F(IntakeCheckTest, EveryOtherValueRefusedIsMinusOne)
{
    SalesRow row;
    for (const char* date : {"2024-02-30", "2024-13-01", "24-01-01", "2024.01.01", "", "0000-01-01", "2024-1-"})
        EXPECT_EQ(checker.sales(sales("1", date), row), -1) << date;
    for (const char* qty : {"", "1e3", "1,5", "0x10", "1234567890123", "0.1234567", "- 5", "１２"})
        EXPECT_EQ(checker.sales(sales("1", "2024-03-01", qty), row), -1) << qty;
    for (const char* vch : {"", "12", "011", "11.0", "4 5"})
        EXPECT_EQ(checker.sales(sales("1", "2024-03-01", "1", vch), row), -1) << vch;
    SalesValues v = sales();
    v[SpTotal] = "ten";
    EXPECT_EQ(checker.sales(v, row), -1);
    v = sales();
    v[SpCostTotal] = "";
    EXPECT_EQ(checker.sales(v, row), -1);

    StockRow srow;
    EXPECT_EQ(checker.stock(stock("1", "x"), srow), -1);
    EXPECT_EQ(checker.stock(stock("1", "1", "0.0000001"), srow), -1);
}

TEST_F(IntakeCheckTest, TheLimitsOfTheNumbers)
{
    SalesRow row;
    ASSERT_EQ(checker.sales(sales("1", "20240229", "-999999999999.999999"), row), 0);
    EXPECT_EQ(row.qty, -999'999'999'999'999'999LL);
    EXPECT_EQ(row.day.view(), "2024-02-29");
    ASSERT_EQ(checker.sales(sales("1", "9999-12-31", "0000123456789012.1234560"), row), 0);
    EXPECT_EQ(row.qty, 123'456'789'012'123'456LL);
    ASSERT_EQ(checker.sales(sales("1", "0001-01-01", "-0.0"), row), 0);
    EXPECT_EQ(row.qty, 0);
    // White space beyond ASCII is trimmed as QString::trimmed trims it.
    ASSERT_EQ(checker.sales(sales("\u30001\u3000", "\u30002024-01-02", "\u00a07"), row), 0);
    EXPECT_EQ(row.id, "1");
    EXPECT_EQ(row.qty, 7'000'000);
}

TEST_F(IntakeCheckTest, ATakenStockLine)
{
    StockRow row;
    ASSERT_EQ(checker.stock(stock(" 1 ", "+3.", ".5"), row), 0);
    EXPECT_EQ(row.id, "1");
    EXPECT_EQ(row.usercode, "K1");
    EXPECT_EQ(row.qty, 3'000'000);
    EXPECT_EQ(row.total, 500'000);
}

// The parameter names the checks' positions stand for.
TEST(IntakeFields, NamesFollowTheParameterOrder)
{
    EXPECT_STREQ(kInsertSalesParamNames[SpUserCode], "@USERCODE");
    EXPECT_STREQ(kInsertSalesParamNames[SpTotal], "@TOTAL");
    EXPECT_STREQ(kInsertSalesParamNames[SpCostTotal], "@COSTTOTAL");
    EXPECT_STREQ(kInsertSalesParamNames[SpId], "@ID");
    EXPECT_STREQ(kInsertStockParamNames[KpKcQty], "@KCQTY");
    EXPECT_STREQ(kInsertStockParamNames[KpId], "@ID");
    EXPECT_EQ(intakeFieldCount(IntakeKind::Sales), 12);
    EXPECT_EQ(intakeFieldCount(IntakeKind::Stock), 9);
    EXPECT_EQ(intakeParamNames(IntakeKind::Stock).size(), 9u);
}

}  // namespace
