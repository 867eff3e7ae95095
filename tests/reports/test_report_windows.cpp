// The report windows and the picker, offscreen, on a real account set of the engine under test;
// message boxes and PRINT.EXE answered through the seams.
#include "dialogs/ExportDialog.h"
#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"
#include "base/Gbk.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "reports/ReportLogic.h"
#include "reports/UInfo.h"
#include "reports/USales.h"
#include "reports/UStart.h"
#include "reports/UStock.h"
#include "outlets/USalesNet.h"
#include "tests/connection/ConformanceFixture.h"
#include "tests/support/GuiTestBase.h"
#include "tests/support/PdfText.h"
#include "grid/ColConfigStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QFileInfo>
#include <QDir>
#include <QChartView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

class ReportWindows : public GuiTestBase<Conformance> {
protected:
    void SetUp() override
    {
        GuiTestBase::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        addOutlet("3", "东城店");
        addOutlet("20", "西城店");
    }

    // n sales lines of product A1 at outlet 3, the first d days ago.
    void addSales(int n, int daysAgo = 1)
    {
        call("hz_deleSales");
        const QString date = QDate::currentDate().addDays(-daysAgo).toString("yyyy-MM-dd");
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(insertSales("3", "A1", "红色铅笔", date, QString::number(i + 1), "2", "1", i % 2 ? "45" : "11"), 0);
        ASSERT_EQ(call("hz_AddSales"), 0);
    }

    void addStock()
    {
        call("hz_deleSales");
        ASSERT_EQ(insertStock("3", "S1", "绿茶", "30", "45.5"), 0);
        ASSERT_EQ(insertStock("20", "S2", "红茶", "5", "10"), 0);
        ASSERT_EQ(call("hz_AddStock"), 0);
    }

    static QStringList boxTexts() { return systemBoxTexts(); }

    // Answers the next picker: act runs once it is shown (the list loaded); it closes it if act
    // leaves it open.
    std::function<void(TfrmInfo&)> answerPicker(std::function<void(TfrmInfo&)> act)
    {
        return [this, act](TfrmInfo& p) {
            QTimer::singleShot(0, &p, [this, act, &p] {
                pickerMode = p.Mode;
                pickerHeadings = QStringList{p.Main_Grid->cell(1, 0), p.Main_Grid->cell(2, 0)};
                pickerRows = p.Main_Grid->rowCount();
                act(p);
                if (p.isVisible())
                    p.reject();
            });
        };
    }

    // PRINT.EXE as the window starts it, writing a PDF instead of opening its window; the text of
    // every printout goes into texts.
    PrintHandoff::Launcher pdfPrinter(QStringList& texts)
    {
        QFile::copy(qEnvironmentVariable("CORVANTA_PROGRAM_DIR") + "/PRINT.EXE", dir->path() + "/PRINT.EXE");
        return [this, &texts](const QString& program, const QStringList& args) {
            const QString pdf = dir->path() + QStringLiteral("/printout%1.pdf").arg(texts.size() + 1);
            QProcess p;
            p.start(program, QStringList{"--pdf", pdf} + args);
            const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
            keep(pdf);
            texts << (ok ? pdfText(pdf) : QString::fromUtf8(p.readAllStandardError()));
            return ok;
        };
    }

    QString pickerMode;
    QStringList pickerHeadings;
    int pickerRows = 0;
};

}  // namespace

TEST_F(ReportWindows, SalesWindowOpensOnTheLastThirtyDays)
{
    addSales(3, 30);
    TfrmSales w(*dm, nullptr);
    EXPECT_EQ(w.windowTitle(), "销售情况查询统计");
    EXPECT_EQ(w.size(), QSize(764, 548));
    EXPECT_EQ(w.PanelTool->height(), 42);
    EXPECT_EQ(w.Panel1->height(), 87);
    EXPECT_EQ(w.Label1->text(), "产品销售日期  从");
    EXPECT_EQ(w.CheckBox5->text(), "产   地");
    EXPECT_EQ(w.ComboBox1->currentIndex(), -1);
    show(w);
    EXPECT_EQ(w.DateTimePicker1->date(), QDate::currentDate().addDays(-30));
    EXPECT_EQ(w.DateTimePicker2->date(), QDate::currentDate());
    for (QCheckBox* b : {w.CheckBox1, w.CheckBox2, w.CheckBox3, w.CheckBox4, w.CheckBox5, w.CheckBox6})
        EXPECT_FALSE(b->isChecked());
    // The display grid shows the source grid's columns until they are configured.
    EXPECT_EQ(w.BackGrid->colCount(), 14);
    EXPECT_EQ(w.BackGrid->cell(13, 0), "单据类型");
    EXPECT_EQ(w.BackGrid->cell(0, 3), "3");
    EXPECT_EQ(w.BackGrid->cell(13, 1), "销售");
    EXPECT_EQ(w.BackGrid->cell(13, 2), "销售退货");
    EXPECT_EQ(w.BackGrid->rowCount(), 22);
    EXPECT_TRUE(w.BackGrid->isVisible());
    EXPECT_FALSE(w.MainGrid->isVisible());
    EXPECT_TRUE(boxTexts().isEmpty());
    w.reject();
}

TEST_F(ReportWindows, FiltersTickOnInputAndRefusedRunsKeepTheGrid)
{
    addSales(21);
    TfrmSales w(*dm, nullptr);
    show(w);
    EXPECT_EQ(w.BackGrid->rowCount(), 23);
    EXPECT_EQ(w.BackGrid->cell(0, 21), "21");
    EXPECT_EQ(w.BackGrid->cell(0, 22), "");

    // Typing ticks; clearing leaves it ticked; unticking by hand keeps the text.
    w.Edit5->setText("x");
    EXPECT_TRUE(w.CheckBox5->isChecked());
    w.Edit5->clear();
    EXPECT_TRUE(w.CheckBox5->isChecked());
    w.ComboBox1->setCurrentIndex(1);
    EXPECT_TRUE(w.CheckBox6->isChecked());
    w.CheckBox6->setChecked(false);
    EXPECT_EQ(w.ComboBox1->currentText(), "销售退货");
    w.TBLook->click();
    EXPECT_EQ(w.BackGrid->rowCount(), 23);  // unticked: not sent
    w.CheckBox6->setChecked(true);
    w.TBLook->click();
    EXPECT_EQ(w.BackGrid->rowCount(), 22);
    EXPECT_EQ(w.BackGrid->cell(13, 10), "销售退货");
    EXPECT_EQ(w.BackGrid->cell(0, 10), "10");
    EXPECT_EQ(w.BackGrid->cell(0, 11), "");

    // To-date before from-date: the message, the grid as it was.
    w.DateTimePicker2->setDate(w.DateTimePicker1->date().addDays(-1));
    w.CheckBox6->setChecked(false);
    w.TBLook->click();
    EXPECT_EQ(boxTexts(), QStringList{"系统提示: 开始时间不能大于结束时间！"});
    EXPECT_EQ(w.BackGrid->rowCount(), 22);
    EXPECT_EQ(w.BackGrid->cell(0, 10), "10");

    // Letters in the outlet number: the message, the edit emptied, the grid as it was.
    SystemBoxSeam::clearCalls();
    w.DateTimePicker2->setDate(QDate::currentDate());
    w.Edit3->setText("abc");
    w.TBLook->click();
    EXPECT_EQ(boxTexts(), QStringList{"系统提示: 网点编号应为数字，请重新输入！"});
    EXPECT_EQ(w.Edit3->text(), "");
    EXPECT_TRUE(w.CheckBox3->isChecked());
    EXPECT_EQ(w.BackGrid->cell(0, 10), "10");
    // Now empty, the ticked box sends nothing: every line again.
    w.TBLook->click();
    EXPECT_EQ(w.BackGrid->rowCount(), 23);
    w.reject();
}

TEST_F(ReportWindows, RowCountsAndPrinting)
{
    addSales(100);
    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    TfrmSales w(*dm, nullptr);
    QStringList started;
    w.printLauncher = [&](const QString&, const QStringList& args) {
        started << args.join(' ');
        return true;
    };
    show(w);
    EXPECT_EQ(w.BackGrid->rowCount(), 102);
    w.SpBPrint->click();
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0], "/rwxfile销售情况查询表.rwx");
    // No line in the range: 22 rows, empty but the heading.
    w.DateTimePicker1->setDate(QDate(2000, 1, 1));
    w.DateTimePicker2->setDate(QDate(2000, 1, 1));
    w.TBLook->click();
    EXPECT_EQ(w.BackGrid->rowCount(), 22);
    EXPECT_EQ(w.BackGrid->cell(1, 1), "");
    EXPECT_EQ(w.BackGrid->cell(1, 0), "商品编码");
    w.reject();

    addStock();
    TfrmStock s(*dm, nullptr);
    s.printLauncher = w.printLauncher;
    show(s);
    EXPECT_EQ(s.windowTitle(), "销售库存查询统计");
    EXPECT_EQ(s.size(), QSize(743, 538));
    EXPECT_EQ(s.pos(), QPoint(33, 33));
    EXPECT_EQ(s.BackGrid->colCount(), 11);
    EXPECT_EQ(s.BackGrid->cell(2, 1), "绿茶");
    EXPECT_EQ(s.BackGrid->cell(10, 2), "10");
    EXPECT_EQ(s.BackGrid->rowCount(), 22);
    s.Edit3->setText("1a");
    s.TBLook->click();
    EXPECT_EQ(s.Edit3->text(), "");
    EXPECT_EQ(s.BackGrid->cell(2, 2), "红茶");
    s.Edit3->setText("20");
    s.TBLook->click();
    EXPECT_EQ(s.BackGrid->cell(2, 1), "红茶");
    EXPECT_EQ(s.BackGrid->cell(2, 2), "");
    s.SpBPrint->click();
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[1], "/rwxfile库存情况查询表.rwx");
    s.reject();
}

TEST_F(ReportWindows, StatisticsTakeTheQueryDatesAndPrintPerMode)
{
    addSales(4, 5);
    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    TfrmSales sales(*dm, nullptr);
    show(sales);
    sales.DateTimePicker1->setDate(QDate::currentDate().addDays(-10));

    QStringList started, headings, dates;
    QString modeAfterChange;
    int rowsAfterChange = 0;
    sales.onStatOpen = [&](TfrmStart& st) {
        st.printLauncher = [&](const QString&, const QStringList& args) {
            started << args.join(' ');
            return true;
        };
        QTimer::singleShot(0, &st, [&] {
            EXPECT_EQ(st.windowTitle(), "销售情况统计");
            dates << st.DateTimePicker1->date().toString("yyyy-MM-dd") << st.DateTimePicker2->date().toString("yyyy-MM-dd");
            EXPECT_EQ(st.ComboBox2->currentText(), "按产品统计");
            headings << st.MainGrid->cell(1, 0) + "/" + st.MainGrid->cell(2, 0);
            EXPECT_EQ(st.MainGrid->cell(2, 1), "红色铅笔");
            EXPECT_EQ(st.MainGrid->rowCount(), 22);
            // Choosing a mode runs nothing until "统计刷新".
            st.ComboBox2->setCurrentIndex(2);
            modeAfterChange = st.MainGrid->cell(1, 0);
            rowsAfterChange = st.MainGrid->cell(0, 2).isEmpty() ? 1 : 2;
            st.TBStat->click();
            headings << st.MainGrid->cell(1, 0) + "/" + st.MainGrid->cell(2, 0);
            EXPECT_EQ(st.MainGrid->cell(1, 1), "11");
            EXPECT_EQ(st.MainGrid->cell(2, 1), "销售");
            EXPECT_EQ(st.MainGrid->cell(2, 2), "销售退货");
            st.SpBPrint->click();
            st.ComboBox2->setCurrentIndex(3);
            st.TBStat->click();
            headings << st.MainGrid->cell(1, 0) + "/" + st.MainGrid->cell(2, 0);
            st.SpBPrint->click();
            st.ComboBox2->setCurrentIndex(1);
            st.TBStat->click();
            headings << st.MainGrid->cell(1, 0) + "/" + st.MainGrid->cell(2, 0);
            EXPECT_EQ(st.MainGrid->cell(2, 1), "东城店");
            st.SpBPrint->click();
            // The date message leaves the grid and its headings.
            st.DateTimePicker2->setDate(st.DateTimePicker1->date().addDays(-1));
            st.ComboBox2->setCurrentIndex(0);
            st.TBStat->click();
            headings << st.MainGrid->cell(1, 0) + "/" + st.MainGrid->cell(2, 0);
            st.TBEXit->click();
        });
    };
    sales.TBStat->click();
    EXPECT_EQ(dates, (QStringList{QDate::currentDate().addDays(-10).toString("yyyy-MM-dd"),
                                  QDate::currentDate().toString("yyyy-MM-dd")}));
    EXPECT_EQ(modeAfterChange, "商品编号");
    EXPECT_EQ(rowsAfterChange, 1);
    EXPECT_EQ(headings, (QStringList{"商品编号/商品名称", "/单据名称", "/销售时间", "网点编号/网点名称", "网点编号/网点名称"}));
    EXPECT_EQ(started, (QStringList{"/rwxfile每日销售情况统计表.rwx", "/rwxfile销售退货统计表.rwx",
                                    "/rwxfile网点销售情况统计表.rwx"}));
    EXPECT_EQ(boxTexts(), QStringList{"系统提示: 开始时间不能大于结束时间！"});
    sales.reject();
}

// The printout says what the grid shows: the run's dates and mode, the grid's columns in its order
// under its headings, even when the controls have changed since the run.
TEST_F(ReportWindows, PrintoutsFollowTheShownRunAndColumns)
{
    if (!havePoppler())
        GTEST_SKIP() << "pdftotext/pdfinfo not installed";
    addSales(3, 5);
    QStringList printed;
    TfrmSales w(*dm, nullptr);
    w.printLauncher = pdfPrinter(printed);
    show(w);
    const QString from = QDate::currentDate().addDays(-30).toString("yyyy-MM-dd");
    const QString to = QDate::currentDate().toString("yyyy-MM-dd");
    w.DateTimePicker1->setDate(QDate::currentDate().addDays(-2));  // not run: the grid keeps its rows
    w.SpBPrint->click();
    ASSERT_EQ(printed.size(), 1);
    EXPECT_TRUE(squeezed(printed[0]).contains("从" + from + "到" + to)) << printed[0].toStdString();
    EXPECT_TRUE(printed[0].contains("红色铅笔"));

    // Hide 规格, rename 网点名称 to 门店名称, move 数量 up to the third place.
    const int order[] = {1, 2, 10, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13};
    for (int pos = 1; pos <= 13; ++pos) {
        const int code = order[pos - 1];
        const QString name = code == 4 ? "门店名称" : SalesHeadings()[code];
        CallColConfig(*dm, kSalesGridId, QString(), name, code == 5 ? 0 : 1, 0, code, pos, 0, "U");
    }
    w.DateTimePicker1->setDate(QDate::currentDate().addDays(-30));
    w.TBLook->click();
    ASSERT_EQ(w.BackGrid->cell(3, 0), "数量");
    w.SpBPrint->click();
    ASSERT_EQ(printed.size(), 2);
    const QString headingLine = [&] {
        for (const QString& line : printed[1].split('\n'))
            if (line.contains("商品编码"))
                return squeezed(line);
        return QString();
    }();
    EXPECT_FALSE(headingLine.contains("规格")) << headingLine.toStdString();
    const QStringList expected{"序号", "商品编码", "商品名称", "数量", "网点编号", "门店名称", "型号", "销售日期", "金额"};
    qsizetype at = -1;
    for (const QString& h : expected) {
        const qsizetype next = headingLine.indexOf(h, at + 1);
        EXPECT_GT(next, at) << h.toStdString() << " in " << headingLine.toStdString();
        at = std::max(at, next);
    }
    EXPECT_TRUE(printed[1].contains("东城店"));  // the renamed column's cells
    EXPECT_TRUE(squeezed(printed[1]).contains("合计6"));  // the template's sum of 数量 still applies

    // Statistics: another mode chosen but not run prints the rows shown under their own template.
    w.onStatOpen = [&](TfrmStart& st) {
        st.printLauncher = w.printLauncher;
        QTimer::singleShot(0, &st, [&] {
            st.ComboBox2->setCurrentIndex(1);
            st.SpBPrint->click();
            st.DateTimePicker1->setDate(QDate::currentDate().addDays(-1));
            st.Edit3->setText("x");  // refused: grid, headings and printout stay
            st.TBStat->click();
            EXPECT_EQ(st.MainGrid->cell(2, 0), "商品名称");
            st.SpBPrint->click();
            st.TBEXit->click();
        });
    };
    w.TBStat->click();
    ASSERT_EQ(printed.size(), 4);
    for (int i : {2, 3}) {
        EXPECT_TRUE(squeezed(printed[i]).contains("商品销售情况统计表")) << printed[i].toStdString();
        EXPECT_FALSE(printed[i].contains("网点销售情况统计表"));
        EXPECT_TRUE(printed[i].contains("红色铅笔"));
        EXPECT_TRUE(squeezed(printed[i]).contains("从" + from + "到" + to));
    }
    EXPECT_EQ(boxTexts(), QStringList{"系统提示: 网点编号应为数字，请重新输入！"});
    w.reject();
}

// The windows open at their sizes and follow resizing; under the grid the row count and sums of
// the rows shown, never as a grid row.
TEST_F(ReportWindows, WindowsResizeAndShowTotalsUnderTheGrid)
{
    addSales(3);
    TfrmSales w(*dm, nullptr);
    show(w);
    EXPECT_EQ(w.size(), QSize(764, 548));
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_LT(w.minimumWidth(), 764);
    EXPECT_EQ(w.TotalsLabel->text(), "共 3 行    数量 6    金额 6    成本 3    利润 3");
    EXPECT_EQ(w.BackGrid->rowCount(), 22);
    for (int r = 1; r < w.BackGrid->rowCount(); ++r)
        EXPECT_NE(w.BackGrid->cell(2, r), "合计");
    w.resize(1300, 820);
    QApplication::processEvents();
    EXPECT_EQ(w.Panel1->width(), 1300);
    EXPECT_GE(w.BackGrid->width(), 1280);
    const QRect grid(w.BackGrid->mapTo(&w, QPoint(0, 0)), w.BackGrid->size());
    EXPECT_GT(grid.bottom(), 760);
    EXPECT_LT(grid.bottom(), w.TotalsLabel->mapTo(&w, QPoint(0, 0)).y());
    // A new run renews the line.
    w.Edit3->setText("20");
    w.TBLook->click();
    EXPECT_EQ(w.TotalsLabel->text(), "共 0 行    数量 0    金额 0    成本 0    利润 0");
    w.reject();

    addStock();
    TfrmStock s(*dm, nullptr);
    show(s);
    EXPECT_EQ(s.TotalsLabel->text(), "共 2 行    库存数量 35    库存金额 55.5");
    s.resize(900, 700);
    QApplication::processEvents();
    EXPECT_GE(s.BackGrid->width(), 880);
    s.reject();

    TfmTypeBasic outlets(*dm, nullptr);
    show(outlets);
    EXPECT_EQ(outlets.size(), QSize(647, 440));
    outlets.resize(1000, 700);
    QApplication::processEvents();
    EXPECT_GE(outlets.Main_Grid->width(), 1000);
    EXPECT_GT(outlets.Main_Grid->height(), 600);
    outlets.reject();

    // Digit groups; a sum beyond the exact range is not shown as a wrong figure.
    CellStore cells(4);
    cells.appendRow(std::vector<std::string_view>{"1", "1234567.5", "9000000000000", "-2"});
    cells.appendRow(std::vector<std::string_view>{"2", "x", "9000000000000", "-1000"});
    EXPECT_EQ(ResultTotalsText(cells, {{"甲", 1}, {"乙", 2}, {"丙", 3, 1}}), "共 2 行    甲 1,234,567.5    乙 —    丙 -1,235,569.5");
}

TEST_F(ReportWindows, PickerResultsAndNothingChosen)
{
    addSales(2);
    TfrmSales w(*dm, nullptr);
    show(w);

    // "选择" at once: row 1, the first product's name, the box ticked.
    w.onPickerOpen = answerPicker([](TfrmInfo& p) { p.SpeedButton1->click(); });
    w.SpeedButton1->click();
    EXPECT_EQ(pickerMode, "P");
    EXPECT_EQ(pickerHeadings, (QStringList{"商品编号", "商品名称"}));
    EXPECT_EQ(pickerRows, 22);
    EXPECT_EQ(w.Edit2->text(), "红色铅笔");
    EXPECT_TRUE(w.CheckBox2->isChecked());

    // "退回", the close box and another key leave the edit alone.
    w.Edit4->setText("手写");
    w.CheckBox4->setChecked(false);
    w.onPickerOpen = answerPicker([](TfrmInfo& p) { p.SpeedButton8->click(); });
    w.sbClient->click();
    EXPECT_EQ(pickerMode, "N");
    EXPECT_EQ(pickerHeadings, (QStringList{"网点编号", "网点名称"}));
    w.onPickerOpen = answerPicker([](TfrmInfo& p) { p.close(); });
    w.sbClient->click();
    w.onPickerOpen = answerPicker([](TfrmInfo& p) { press(p.Main_Grid, Qt::Key_A, "a"); });
    w.sbClient->click();
    EXPECT_EQ(w.Edit4->text(), "手写");
    EXPECT_FALSE(w.CheckBox4->isChecked());

    // Enter on the grid picks the current row; a row below the list gives an empty name.
    w.onPickerOpen = answerPicker([](TfrmInfo& p) {
        p.Main_Grid->setCurrentCell(1, 2);
        press(p.Main_Grid, Qt::Key_Return, "\r");
    });
    w.sbClient->click();
    EXPECT_EQ(w.Edit4->text(), "西城店");
    w.onPickerOpen = answerPicker([](TfrmInfo& p) {
        p.Main_Grid->setCurrentCell(1, 5);
        p.Main_Grid->OnDblClick();
    });
    w.sbClient->click();
    EXPECT_EQ(w.Edit4->text(), "");
    EXPECT_TRUE(w.CheckBox4->isChecked());

    // Enter in the product-name edit opens the picker too.
    pickerMode.clear();
    w.onPickerOpen = answerPicker([](TfrmInfo& p) { p.SpeedButton8->click(); });
    QApplication::setActiveWindow(&w);
    w.Edit2->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w.Edit2);
    press(w.Edit2, Qt::Key_Return, "\r");
    EXPECT_EQ(pickerMode, "P");
    w.reject();

    // The stock window lists the stock products.
    addStock();
    TfrmStock s(*dm, nullptr);
    show(s);
    s.onPickerOpen = answerPicker([](TfrmInfo& p) { p.SpeedButton1->click(); });
    s.SpeedButton1->click();
    EXPECT_EQ(pickerMode, "SP");
    EXPECT_EQ(s.Edit2->text(), "绿茶");
    s.reject();
}

TEST_F(ReportWindows, HeaderPressTogglesTheWindowsFlag)
{
    addSales(3);
    TfrmSales w(*dm, nullptr);
    show(w);
    const int y = 5;
    const int x = w.BackGrid->colWidth(0) + 5;
    w.MainGridMouseDown(Qt::LeftButton, Qt::NoModifier, x, y);
    EXPECT_EQ(w.SortFlag, 1);
    w.MainGridMouseDown(Qt::RightButton, Qt::NoModifier, x + 60, y);
    EXPECT_EQ(w.SortFlag, 0);
    // Below the heading: nothing.
    w.MainGridMouseDown(Qt::LeftButton, Qt::NoModifier, x, 40);
    EXPECT_EQ(w.SortFlag, 0);
    // The heading shows the sort and its direction until the grid is filled again.
    EXPECT_GT(w.BackGrid->sortMarkColumn(), 0);
    EXPECT_FALSE(w.BackGrid->sortMarkAscending());
    w.MainGridMouseDown(Qt::LeftButton, Qt::NoModifier, x, y);
    EXPECT_EQ(w.BackGrid->sortMarkColumn(), 1);
    EXPECT_TRUE(w.BackGrid->sortMarkAscending());
    w.TBLook->click();
    EXPECT_EQ(w.BackGrid->sortMarkColumn(), -1);
    EXPECT_EQ(w.BackGrid->cellColor(1, 0), w.BackGrid->fixedColor());
    w.reject();
}

TEST_F(ReportWindows, ExportSavesTheDisplayGridInTheChosenFormat)
{
    addStock();
    TfrmStock s(*dm, nullptr);
    show(s);
    // The added button sits beside "查询", before the right-hand "打印" and "退出".
    EXPECT_EQ(s.SpBExport->text(), "导出");
    EXPECT_LT(s.SpBExport->x(), s.SpBPrint->x());
    EXPECT_GT(s.SpBExport->x(), s.TBLook->x());

    fileDialog()->reset();
    const QString gbkFile = dir->path() + "/库存";  // no suffix: the chosen format's is added
    fileDialog()->setNextSaveFileName(gbkFile, ExportFilters()[2]);
    s.SpBExport->click();
    ASSERT_EQ(fileDialog()->calls().size(), 1u);
    EXPECT_EQ(fileDialog()->calls()[0].caption, "导出");
    QFile csv(gbkFile + ".csv");
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QString text = gbk::decode(csv.readAll());
    EXPECT_TRUE(text.startsWith("序号,商品编码,商品名称")) << text.toStdString();
    EXPECT_TRUE(text.contains("绿茶"));
    EXPECT_EQ(text.count("\r\n"), 3);  // heading and two rows, not the padding

    const QString xlsx = dir->path() + "/库存.xlsx";
    fileDialog()->setNextSaveFileName(xlsx, ExportFilters()[0]);
    s.SpBExport->click();
    QProcess unzip;
    unzip.start("unzip", {"-p", xlsx, "xl/worksheets/sheet1.xml"});
    unzip.waitForFinished(10000);
    const QString sheet = QString::fromUtf8(unzip.readAllStandardOutput());
    EXPECT_TRUE(sheet.contains("<t>绿茶</t>")) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(QRegularExpression("<c r=\"K[23]\"><v>45.5</v></c>")));
    EXPECT_TRUE(sheet.contains("<t>库存金额</t>"));
    fileDialog()->setNextCancel();
    s.SpBExport->click();
    fileDialog()->setNextSaveFileName("/nonexistent-dir/x.csv", ExportFilters()[1]);
    s.SpBExport->click();
    // Each export ends with a note naming its file; the failure with the error only.
    ASSERT_EQ(boxTexts().size(), 3);
    EXPECT_EQ(boxTexts()[0], "导出: 已导出到\n" + QDir::toNativeSeparators(gbkFile + ".csv"));
    EXPECT_EQ(boxTexts()[1], "导出: 已导出到\n" + QDir::toNativeSeparators(xlsx));
    EXPECT_TRUE(boxTexts()[2].startsWith("错误: "));
    // The dialog starts in the folder the last export went to.
    ASSERT_EQ(fileDialog()->calls().size(), 4u);
    EXPECT_EQ(QFileInfo(fileDialog()->calls()[1].proposedFile).absolutePath(), QFileInfo(gbkFile).absolutePath());
    fileDialog()->reset();
    s.reject();
}

TEST_F(ReportWindows, ChartPaneFollowsRunsAndHeaderSorts)
{
    addSales(3);
    TfrmStart st(*dm, nullptr, nullptr);
    show(st);
    st.DateTimePicker1->setDate(QDate::currentDate().addDays(-10));
    st.ComboBox2->setCurrentIndex(2);  // by document type: two groups
    st.TBStat->click();
    EXPECT_EQ(st.TBChart->text(), "图表");
    EXPECT_LT(st.TBChart->x(), st.SpBPrint->x());
    EXPECT_FALSE(st.ChartView->isVisible());
    st.TBChart->click();
    EXPECT_TRUE(st.ChartView->isVisible());
    EXPECT_LT(st.MainGrid->height(), st.ChartView->y() + 1);
    auto labels = [&] {
        QStringList l;
        for (const StatChartPoint& p : st.ChartModel().points)
            l << p.label;
        return l;
    };
    ASSERT_EQ(labels(), (QStringList{st.MainGrid->cell(2, 1), st.MainGrid->cell(2, 2)}));
    EXPECT_TRUE(labels().contains("销售退货"));
    // A header sort on "金额" in either direction: the bars follow the grid.
    int x = 5;
    for (int c = 0; c < 4; ++c)
        x += st.MainGrid->colWidth(c);
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
        st.MainGridMouseDown(b, Qt::NoModifier, x, 5);
        EXPECT_EQ(labels(), (QStringList{st.MainGrid->cell(2, 1), st.MainGrid->cell(2, 2)}));
    }
    // A run in mode D draws a line of days.
    st.ComboBox2->setCurrentIndex(3);
    st.TBStat->click();
    EXPECT_TRUE(st.ChartModel().line);
    EXPECT_EQ(st.ChartModel().points.size(), 1u);

    fileDialog()->reset();
    const QString png = dir->path() + "/chart";
    fileDialog()->setNextSaveFileName(png, "PNG 图片 (*.png)");
    st.SaveChartAs();
    EXPECT_GT(QFileInfo(png + ".png").size(), 0);
    fileDialog()->reset();
    // Hidden again: the grid takes the whole area back.
    st.TBChart->click();
    EXPECT_FALSE(st.ChartView->isVisible());
    EXPECT_EQ(st.MainGrid->height(), st.MainGrid->parentWidget()->height());
    st.reject();
}
