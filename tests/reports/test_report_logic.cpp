// The report logic on a real account set of the engine under test: what is sent, what is read,
// and how a run ends.
#include "reports/ReportLogic.h"
#include "tests/connection/ConformanceFixture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

class ReportLogic : public Conformance {
protected:
    void SetUp() override
    {
        Conformance::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        addOutlet("3", "东城店");
        addOutlet("20", "西城店");
        call("hz_deleSales");
        ASSERT_EQ(insertSales("3", "B2", "蓝色钢笔", "2024-01-10", "2", "20", "12", "11", "北京"), 0);
        ASSERT_EQ(insertSales("3", "A1", "红色铅笔", "2024-01-10", "10", "5", "3", "11", "上海"), 0);
        ASSERT_EQ(insertSales("20", "A1", "红色铅笔", "2024-02-01", "-1", "-0.5", "-0.3", "45", "上海"), 0);
        ASSERT_EQ(insertSales("20", "C%", "100%_纯\\棉'", "2024-03-31", "1", "10", "6", "11", "北京"), 0);
        ASSERT_EQ(call("hz_AddSales"), 0);
    }

    // The value last bound to a parameter of ADOSProc.
    QVariant sent(const QString& name) const
    {
        for (const TParameter& p : dm->ADOSProc.Parameters())
            if (p.info.name.compare(name, Qt::CaseInsensitive) == 0)
                return p.value;
        return QVariant();
    }

    static QStringList row(const CellStore& s, int r)
    {
        QStringList l;
        for (int c = 0; c < s.columnCount(); ++c)
            l << s.cell(c, r);
        return l;
    }

    SalesFilters year() const
    {
        SalesFilters f;
        f.from = QDate(2024, 1, 1);
        f.to = QDate(2024, 12, 31);
        return f;
    }

    RecordingMessages messages;
};

}  // namespace

TEST(ReportRules, FilterDocTypeRowCountAndDates)
{
    EXPECT_EQ(FilterValue(true, "  "), "");
    EXPECT_EQ(FilterValue(true, "  笔 "), "笔");
    EXPECT_EQ(FilterValue(false, "笔"), "");
    EXPECT_EQ(DocTypeValue(true, "销售"), "11");
    EXPECT_EQ(DocTypeValue(true, "销售退货"), "45");
    EXPECT_EQ(DocTypeValue(true, ""), "");
    EXPECT_EQ(DocTypeValue(false, "销售退货"), "");
    EXPECT_EQ(DocTypeWord("11"), "销售");
    EXPECT_EQ(DocTypeWord(" 11"), "销售");
    EXPECT_EQ(DocTypeWord("45"), "销售退货");
    EXPECT_EQ(DocTypeWord(""), "销售退货");
    EXPECT_EQ(DocTypeWord("111"), "销售退货");
    EXPECT_EQ(ReportRowCount(0), 22);
    EXPECT_EQ(ReportRowCount(20), 22);
    EXPECT_EQ(ReportRowCount(21), 23);
    EXPECT_EQ(ReportRowCount(100), 102);
    EXPECT_EQ(ParseProcDate("2024-02-29"), QDate(2024, 2, 29));
    EXPECT_FALSE(ParseProcDate("2023-02-29"));
    EXPECT_FALSE(ParseProcDate("2024-2-9"));
    EXPECT_FALSE(ParseProcDate(" 2024-02-01"));
    EXPECT_FALSE(ParseProcDate("20240201"));
    EXPECT_FALSE(ParseProcDate(""));
    EXPECT_FALSE(ParseProcDate("2024-02-01\n"));
    EXPECT_FALSE(ParseProcDate("2024-13-01"));
    EXPECT_FALSE(ParseProcDate("2024-04-31"));
    EXPECT_FALSE(ParseProcDate("0000-01-01"));
    EXPECT_FALSE(ParseProcDate("2024-0a-01"));
    EXPECT_FALSE(ParseProcDate("2024/02/01"));
    EXPECT_FALSE(ParseProcDate(QString::fromUtf8("２０２４-02-01")));  // full-width digits
    EXPECT_EQ(ParseProcDate("0001-01-01"), QDate(1, 1, 1));
    // The title keeps the one blank inside its first text and fits 80 bytes.
    EXPECT_EQ(SalesTitle(QDate(2024, 3, 1), QDate(2024, 3, 31)).value, "(商品销售时间 从2024-03-01到2024-03-31)");
    EXPECT_EQ(SalesTitle(QDate(2024, 3, 1), QDate(2024, 3, 31)).name, "销售时间");
    EXPECT_EQ(StockTitle().name, "商品编号");
    EXPECT_EQ(StockTitle().value, "商品编号");
    EXPECT_EQ(StatTemplate(2), "每日销售情况统计表.rwx");
    EXPECT_EQ(StatTemplate(3), "销售退货统计表.rwx");
}

TEST_F(ReportLogic, SalesQuerySendsTheFiltersAndShowsWords)
{
    ReportRun run = RunSalesQuery(*dm, messages, year());
    ASSERT_EQ(run.outcome, RunOutcome::Done);
    ASSERT_EQ(run.cells.rowCount(), 4);
    ASSERT_EQ(run.cells.columnCount(), 14);
    EXPECT_EQ(row(run.cells, 2), (QStringList{"3", "A1", "红色铅笔", "20", "西城店", "S", "M", "个", "上海", "2024-02-01",
                                              "-1", "-0.5", "-0.3", "销售退货"}));
    EXPECT_EQ(run.cells.cell(0, 3), "4");
    EXPECT_EQ(run.cells.cell(13, 3), "销售");
    EXPECT_EQ(sent("@date1").toString(), "2024-01-01");
    EXPECT_EQ(sent("@ID").toString(), "");
    EXPECT_TRUE(messages.messages.empty());

    // Document type "销售退货" sends 45; text filters match verbatim, never as patterns.
    SalesFilters f = year();
    f.docType = DocTypeValue(true, "销售退货");
    run = RunSalesQuery(*dm, messages, f);
    EXPECT_EQ(sent("@VCHTYPE").toString(), "45");
    EXPECT_EQ(run.cells.rowCount(), 1);
    const std::pair<const char*, int> names[] = {{"%", 1}, {"_", 1}, {"\\", 1}, {"'", 1}, {"100%", 1}, {"1_0", 0},
                                                 {"%笔", 0}, {"铅笔", 2}};
    for (const auto& [text, count] : names) {
        f = year();
        f.name = text;
        EXPECT_EQ(RunSalesQuery(*dm, messages, f).cells.rowCount(), count) << text;
    }
    f = year();
    f.code = "C%";
    EXPECT_EQ(RunSalesQuery(*dm, messages, f).cells.rowCount(), 1);
    f.code = "C";
    EXPECT_EQ(RunSalesQuery(*dm, messages, f).cells.rowCount(), 0);
    f = year();
    f.outletName = QString(1000, QChar(u'店'));
    EXPECT_EQ(RunSalesQuery(*dm, messages, f).cells.rowCount(), 0);
    f = year();
    f.from = f.to = QDate(2024, 1, 10);
    EXPECT_EQ(RunSalesQuery(*dm, messages, f).cells.rowCount(), 2);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ReportLogic, DateOrderAndOutletNumberEndTheRunWithTheirMessage)
{
    // A run that is refused calls nothing: the parameters of the run before stay.
    SalesFilters f = year();
    f.area = "北京";
    ASSERT_EQ(RunSalesQuery(*dm, messages, f).outcome, RunOutcome::Done);
    f = year();
    f.from = QDate(2024, 2, 1);
    f.to = QDate(2024, 1, 31);
    EXPECT_EQ(RunSalesQuery(*dm, messages, f).outcome, RunOutcome::DateOrder);
    EXPECT_EQ(messages.texts(), QStringList{"系统提示: 开始时间不能大于结束时间！"});
    EXPECT_EQ(sent("@AREA").toString(), "北京");

    messages.messages.clear();
    for (const char* bad : {"abc", "1a", "12 3", "99999999999999999999999"}) {
        f = year();
        f.outlet = bad;
        EXPECT_EQ(RunSalesQuery(*dm, messages, f).outcome, RunOutcome::BadOutlet) << bad;
        StatFilters s;
        s.from = f.from;
        s.to = f.to;
        s.outlet = bad;
        EXPECT_EQ(RunStatistics(*dm, messages, s).outcome, RunOutcome::BadOutlet) << bad;
        StockFilters k;
        k.outlet = bad;
        EXPECT_EQ(RunStockQuery(*dm, messages, k).outcome, RunOutcome::BadOutlet) << bad;
    }
    EXPECT_EQ(messages.messages.size(), 12u);
    EXPECT_EQ(messages.texts().front(), "系统提示: 网点编号应为数字，请重新输入！");
    f = year();
    f.outlet = "20";
    ReportRun run = RunSalesQuery(*dm, messages, f);
    EXPECT_EQ(run.outcome, RunOutcome::Done);
    EXPECT_EQ(run.cells.rowCount(), 2);
}

TEST_F(ReportLogic, StatisticsPerModeAndPickerLists)
{
    StatFilters f;
    f.from = QDate(2024, 1, 1);
    f.to = QDate(2024, 12, 31);
    const char* codes[] = {"P", "N", "V", "D"};
    const int groups[] = {3, 2, 2, 3};
    for (int mode = 0; mode < kStatModes; ++mode) {
        f.mode = mode;
        f.docType = QString();
        ReportRun run = RunStatistics(*dm, messages, f);
        EXPECT_EQ(sent("@iType").toString(), codes[mode]);
        EXPECT_EQ(run.cells.rowCount(), groups[mode]) << mode;
        // "销售退货" sends 45 in every mode.
        f.docType = DocTypeValue(true, "销售退货");
        EXPECT_EQ(RunStatistics(*dm, messages, f).cells.rowCount(), 1);
        EXPECT_EQ(sent("@VCHTYPE").toString(), "45");
    }
    EXPECT_EQ(StatHeadings(0).mid(1, 2), (QStringList{"商品编号", "商品名称"}));
    EXPECT_EQ(StatHeadings(1).mid(1, 2), (QStringList{"网点编号", "网点名称"}));
    EXPECT_EQ(StatHeadings(2).mid(1, 2), (QStringList{"", "单据名称"}));
    EXPECT_EQ(StatHeadings(3).mid(1, 2), (QStringList{"", "销售时间"}));

    f.mode = 2;
    f.docType = QString();
    ReportRun v = RunStatistics(*dm, messages, f);
    ASSERT_EQ(v.cells.rowCount(), 2);
    EXPECT_EQ(row(v.cells, 0), (QStringList{"1", "11", "销售", "13", "35", "21", "14"}));
    EXPECT_EQ(row(v.cells, 1), (QStringList{"2", "45", "销售退货", "-1", "-0.5", "-0.3", "-0.2"}));
    f.mode = 3;
    EXPECT_EQ(RunStatistics(*dm, messages, f).cells.cell(2, 0), "2024-01-10");
    // No group in the range.
    f.from = f.to = QDate(2025, 1, 1);
    EXPECT_EQ(RunStatistics(*dm, messages, f).cells.rowCount(), 0);

    CellStore outlets = LoadPickerList(*dm, "N");
    ASSERT_EQ(outlets.rowCount(), 2);
    EXPECT_EQ(row(outlets, 1), (QStringList{"2", "20", "西城店"}));
    CellStore products = LoadPickerList(*dm, "P");
    ASSERT_EQ(products.rowCount(), 3);
    EXPECT_EQ(row(products, 0), (QStringList{"1", "A1", "红色铅笔"}));
    EXPECT_EQ(LoadPickerList(*dm, "SP").rowCount(), 0);
    EXPECT_THROW(LoadPickerList(*dm, "X"), DbError);
}
