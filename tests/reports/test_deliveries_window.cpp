// "数据到达情况" offscreen on a real account set of the engine under test.
#include "dialogs/ExportDialog.h"
#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"
#include "base/Gbk.h"
#include "grid/New_grid.h"
#include "reports/DeliveriesLogic.h"
#include "reports/UDeliveries.h"
#include "tests/connection/ConformanceFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

class DeliveriesWindow : public Conformance {
protected:
    void SetUp() override
    {
        Conformance::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        SystemBoxSeam::arm();
        addOutlet("3", "东城店");
        addOutlet("20", "西城店");
        call("hz_deleSales");
        for (int daysAgo : {1, 1, 3})
            ASSERT_EQ(insertSales("3", "A1", "铅笔", QDate::currentDate().addDays(-daysAgo).toString(Qt::ISODate), "1", "2",
                                  "1"),
                      0);
        ASSERT_EQ(call("hz_AddSales"), 0);
    }
    void TearDown() override
    {
        SystemBoxSeam::disarm();
        Conformance::TearDown();
    }
    // A click on the heading of column col.
    static void clickHeading(TfrmDeliveries& w, int col)
    {
        int x = 4;
        for (int c = 0; c < col; ++c)
            x += w.MainGrid->colWidth(c);
        emit w.MainGrid->OnMouseDown(Qt::LeftButton, Qt::NoModifier, x, 5);
    }
};

}  // namespace

TEST_F(DeliveriesWindow, ShowsTheLastWeekColoursMissingDaysSortsPrintsAndExports)
{
    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    TfrmDeliveries w(*dm, nullptr);
    QStringList started;
    w.printLauncher = [&](const QString&, const QStringList& args) {
        started << args.join(' ');
        return true;
    };
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.windowTitle(), "数据到达情况");
    const QDate today = QDate::currentDate();
    EXPECT_EQ(w.DateFrom->date(), today.addDays(-6));
    EXPECT_EQ(w.DateTo->date(), today);

    // The week: outlet 3 sent on two days, outlet 20 on none.
    TSupGrids& g = *w.MainGrid;
    ASSERT_EQ(g.colCount(), kDeliveriesDayColumn + 7);
    EXPECT_EQ(g.cell(kDeliveriesDayColumn, 0), today.addDays(-6).toString(Qt::ISODate));
    const int yesterday = kDeliveriesDayColumn + 5, todayCol = kDeliveriesDayColumn + 6;
    const QStringList first{g.cell(1, 1), g.cell(2, 1), g.cell(3, 1), g.cell(4, 1)};
    EXPECT_EQ(first, (QStringList{"3", "东城店", "2", "5"}));
    EXPECT_EQ(g.cell(yesterday, 1), "2");
    EXPECT_EQ(g.cell(kDeliveriesDayColumn + 3, 1), "1");
    EXPECT_EQ(g.cell(todayCol, 1), "");
    EXPECT_EQ(g.cellColor(todayCol, 1), kMissingDayColour);
    EXPECT_NE(g.cellColor(yesterday, 1), kMissingDayColour);
    EXPECT_EQ(g.cell(4, 2), "7");
    EXPECT_EQ(g.cellColor(yesterday, 2), kMissingDayColour);
    EXPECT_NE(g.cellColor(yesterday, 3), kMissingDayColour);  // no colour below the data
    EXPECT_EQ(w.CountLabel->text(), "共 2 个网点，2 个网点缺少数据");

    // A heading click sorts; the colours go with their days.
    clickHeading(w, 4);
    clickHeading(w, 4);
    EXPECT_EQ(g.cell(1, 1), "20");
    EXPECT_EQ(g.cell(0, 1), "1");
    EXPECT_EQ(g.cellColor(yesterday, 1), kMissingDayColour);
    EXPECT_EQ(g.cell(1, 2), "3");
    EXPECT_NE(g.cellColor(yesterday, 2), kMissingDayColour);

    // The stock column: the time of the last run that imported the outlet's stock.
    ASSERT_EQ(call("hz_AddImportRecord", {{"@FileName", "s.txt"}, {"@FileSize", 10}, {"@Sha256", "ab"}, {"@Kinds", "库存"},
                                          {"@Lines", 1}, {"@Outcome", "成功"}, {"@Reason", ""}, {"@Computer", "pc"},
                                          {"@DbUser", "u"}, {"@StockOutlets", "20"}}),
              0);
    w.MissingOnly->setChecked(true);
    w.DateFrom->setDate(today.addDays(-1));
    w.DateTo->setDate(today.addDays(-1));
    w.TBLook->click();
    ASSERT_EQ(g.cell(1, 1), "20");  // only the outlet that missed the day
    EXPECT_EQ(g.cell(1, 2), "");
    EXPECT_TRUE(QDateTime::fromString(g.cell(5, 1), "yyyy-MM-dd HH:mm:ss").isValid()) << g.cell(5, 1).toStdString();
    EXPECT_EQ(w.CountLabel->text(), "1 个网点缺少数据");

    // Refused ranges leave the grid as it was.
    SystemBoxSeam::clearCalls();
    w.DateFrom->setDate(today);
    w.DateTo->setDate(today.addDays(-1));
    w.TBLook->click();
    w.DateFrom->setDate(today.addDays(-366));
    w.DateTo->setDate(today);
    w.TBLook->click();
    ASSERT_EQ(SystemBoxSeam::calls().size(), 2u);
    EXPECT_EQ(SystemBoxSeam::calls()[0].text, "开始时间不能大于结束时间！");
    EXPECT_EQ(SystemBoxSeam::calls()[1].text, "查询的日期范围不能超过 366 天！");
    EXPECT_EQ(g.cell(1, 1), "20");

    // Print and export, like the other result grids.
    w.SpBPrint->click();
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0], "/rwxfile数据到达情况.rwx");
    fileDialog()->reset();
    const QString csvPath = dir->path() + "/到达.csv";
    fileDialog()->setNextSaveFileName(csvPath, ExportFilters()[1]);
    w.SpBExport->click();
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(csv.readAll());
    EXPECT_TRUE(text.contains("序号,网点编号,网点名称,到达天数,缺少天数,最后库存导入," + today.addDays(-1).toString(Qt::ISODate)))
        << text.toStdString();
    EXPECT_TRUE(text.contains("西城店"));
    w.reject();
}

// The print tables keep 8 bytes of a heading: days print as mm-dd.
TEST(DeliveriesPrint, HeadingsFitThePrintTable)
{
    struct Table : GridSource {
        int rowCount() const override { return 2; }
        int columnCount() const override { return kDeliveriesDayColumn + 1; }
        QString cell(int row, int column) const override
        {
            return row == 0 ? DeliveriesHeadings(QDate(2026, 3, 1), QDate(2026, 3, 1)).value(column) : QStringLiteral("x");
        }
        int columnWidth(int) const override { return 60; }
    } table;
    const DeliveriesPrintSource print(table);
    QStringList headings;
    for (int c = 0; c < print.columnCount(); ++c) {
        headings << print.cell(0, c);
        EXPECT_LE(gbk::encode(headings.back()).size(), 8) << headings.back().toStdString();
    }
    EXPECT_EQ(headings, (QStringList{"序号", "网点编号", "网点名称", "到达天数", "缺少天数", "库存导入", "03-01"}));
    EXPECT_EQ(print.cell(1, 6), "x");
}
