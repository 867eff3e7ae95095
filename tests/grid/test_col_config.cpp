// Column configuration on a real account set of the embedded engine: the records made on first
// use, their rebuild, hidden and moved columns with the widths that come back on their own
// columns, and the dialog driven as a user would.
#include "dialogs/SuperMsg.h"
#include "grid/ColConfigForm.h"
#include "grid/ColConfigStore.h"
#include "grid/New_grid.h"
#include "tests/connection/ConformanceFixture.h"
#include "tests/support/GuiTestBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <functional>

using namespace corvanta;
using namespace corvanta::test;

namespace {

const QString kId = QStringLiteral("sdc102");

class ColConfig : public GuiTestBase<Conformance> {
protected:
    void SetUp() override
    {
        GuiTestBase::SetUp();
        makeSource(13);
    }

    // Source columns 1 .. dataCols headed "列c", width 40 + c; five data rows.
    void makeSource(int dataCols)
    {
        source.setColCount(dataCols + 1);
        source.setRowCount(22);
        source.setCell(0, 0, QStringLiteral("序号"));
        for (int c = 1; c <= dataCols; ++c) {
            source.setCell(c, 0, QStringLiteral("列%1").arg(c));
            source.setColWidth(c, 40 + c);
        }
        CellStore store(dataCols + 1);
        for (int r = 1; r <= 5; ++r) {
            QStringList cells{QString::number(r)};
            for (int c = 1; c <= dataCols; ++c)
                cells << QStringLiteral("r%1c%2").arg(r).arg(c);
            store.appendRow(cells);
        }
        source.setBody(std::move(store));
    }

    std::vector<ColConfigRecord> records()
    {
        std::vector<ColConfigRecord> out;
        EXPECT_TRUE(ReadColConfig(*dm, kId, out));
        return out;
    }
    void update(int orderCode, const QString& name, int colOrder, int visible)
    {
        CallColConfig(*dm, kId, QString(), name, visible, 0, orderCode, colOrder, 0, QStringLiteral("U"));
    }
    bool apply(TSupGrids& display, int mode = 0, std::vector<int> sys = {1, 2})
    {
        return RunColConfig(*dm, display, source, sys, map, kId, mode);
    }
    // Opens the dialog; act runs inside it. A dialog still open afterwards is cancelled.
    bool dialog(const std::function<void(TColConfigForm&)>& act, bool* stayedOpen = nullptr)
    {
        QTimer::singleShot(0, [&] {
            TColConfigForm* form = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<TColConfigForm*>(w); f && f->isVisible())
                    form = f;
            ASSERT_NE(form, nullptr);
            act(*form);
            if (stayedOpen)
                *stayedOpen = form->isVisible();
            if (form->isVisible())
                form->bbExit->click();
        });
        return apply(display, 1, {});
    }
    static QStringList headings(const TSupGrids& g)
    {
        QStringList out;
        for (int c = 0; c < g.colCount(); ++c)
            out << g.cell(c, 0);
        return out;
    }

    TSupGrids source;
    TSupGrids display;
    ColMap map{};
};

}  // namespace

TEST_F(ColConfig, FirstApplyCreatesRecordsAndAChangedHeadingRebuildsThem)
{
    EXPECT_FALSE(apply(display));
    auto recs = records();
    ASSERT_EQ(recs.size(), 13u);
    for (int c = 1; c <= 13; ++c) {
        const ColConfigRecord& r = recs[std::size_t(c) - 1];
        EXPECT_EQ(r.orderCode, c);
        EXPECT_EQ(r.colOrder, c);
        EXPECT_EQ(r.defaultName, QStringLiteral("列%1").arg(c));
        EXPECT_EQ(r.userName, r.defaultName);
        EXPECT_EQ(r.visible, 1);
        EXPECT_EQ(r.sysVisible, c <= 2 ? 1 : 0);
        EXPECT_EQ(r.width, 40 + c);
    }
    // The display grid equals the source grid, and shows the same body.
    ASSERT_EQ(display.colCount(), 14);
    EXPECT_EQ(display.rowCount(), 22);
    for (int r = 0; r < 7; ++r)
        EXPECT_EQ(display.rowCells(r), source.rowCells(r)) << r;
    for (int c = 1; c < 14; ++c) {
        EXPECT_EQ(display.colWidth(c), 40 + c);
        EXPECT_EQ(map[std::size_t(c)], c);
    }

    // Names kept while the headings match; a changed heading rebuilds every record.
    update(3, QStringLiteral("三"), 3, 1);
    apply(display);
    EXPECT_EQ(display.cell(3, 0), QStringLiteral("三"));
    source.setCell(4, 0, QStringLiteral("新列"));
    apply(display);
    recs = records();
    ASSERT_EQ(recs.size(), 13u);
    EXPECT_EQ(recs[2].userName, QStringLiteral("列3"));
    EXPECT_EQ(recs[3].defaultName, QStringLiteral("新列"));
    EXPECT_EQ(display.cell(3, 0), QStringLiteral("列3"));
    // A column without a heading gets no record and vanishes from the display.
    source.setCell(6, 0, QString());
    apply(display);
    EXPECT_EQ(records().size(), 12u);
    EXPECT_EQ(display.colCount(), 13);
    EXPECT_EQ(display.cell(6, 1), QStringLiteral("r1c7"));
}

TEST_F(ColConfig, HiddenAndMovedColumnsKeepTheirOwnWidths)
{
    apply(display);
    // Hide column 5; move column 9 to the front (position 1), the others one place on.
    update(5, QStringLiteral("列5"), 5, 0);
    update(9, QStringLiteral("九"), 1, 1);
    for (int c = 1; c <= 8; ++c)
        update(c, QStringLiteral("列%1").arg(c), c + 1, c == 5 ? 0 : 1);
    apply(display);
    const QStringList expected = {"序号", "九", "列1", "列2", "列3", "列4", "列6", "列7",
                                  "列8", "列10", "列11", "列12", "列13"};
    EXPECT_EQ(headings(display), expected);
    EXPECT_EQ(display.cell(0, 2), QStringLiteral("2"));
    EXPECT_EQ(display.cell(1, 2), QStringLiteral("r2c9"));
    EXPECT_EQ(display.cell(6, 2), QStringLiteral("r2c6"));
    EXPECT_EQ(display.colWidth(1), 49);
    EXPECT_EQ(display.colWidth(6), 46);

    // The user widens every column on screen; closing the window stores each under its column.
    for (int c = 1; c < display.colCount(); ++c)
        display.setColWidth(c, 100 + c);
    SaveColWidths(*dm, display, map, kId);
    const auto recs = records();
    ASSERT_EQ(recs.size(), 13u);
    for (int c = 1; c < display.colCount(); ++c) {
        const int src = expected[c] == QStringLiteral("九") ? 9 : expected[c].mid(1).toInt();
        EXPECT_EQ(recs[std::size_t(src) - 1].width, 100 + c) << expected[c].toStdString();
    }
    EXPECT_EQ(recs[4].width, 45);  // the hidden column keeps its width

    // Reopened: every width comes back on its own column.
    TSupGrids again;
    ColMap other{};
    RunColConfig(*dm, again, source, {1, 2}, other, kId, 0);
    EXPECT_EQ(headings(again), expected);
    for (int c = 1; c < again.colCount(); ++c)
        EXPECT_EQ(again.colWidth(c), 100 + c) << c;
    EXPECT_EQ(other, map);

    // Sorting the display grid leaves the source grid's order alone.
    again.permuteRows(1, {4, 3, 2, 1, 0});
    EXPECT_EQ(again.cell(1, 1), QStringLiteral("r5c9"));
    EXPECT_EQ(source.cell(9, 1), QStringLiteral("r1c9"));
}

TEST_F(ColConfig, DialogMarksMovesAndSave)
{
    apply(display);
    display.setColWidth(3, 77);  // saved when the dialog opens
    bool open = false;
    EXPECT_TRUE(dialog(
        [&](TColConfigForm& f) {
            TSupGrids& g = *f.GridMain;
            EXPECT_EQ(f.windowTitle(), QStringLiteral("表格列改变窗口"));
            EXPECT_EQ(g.rowCount(), 14);
            EXPECT_EQ(g.defaultRowHeight(), 17);
            EXPECT_EQ(g.cell(3, 1), QStringLiteral("☆"));
            EXPECT_EQ(g.cell(3, 3), QStringLiteral("√"));
            // The star stays; a tick toggles, by double click or space.
            g.setCurrentCell(3, 1);
            f.ToggleMark();
            EXPECT_EQ(g.cell(3, 1), QStringLiteral("☆"));
            g.setCurrentCell(3, 5);
            press(&g, Qt::Key_Space, QStringLiteral(" "));
            EXPECT_TRUE(g.cell(3, 5).isEmpty());
            g.setCurrentCell(3, 6);
            emit g.OnDblClick();
            EXPECT_TRUE(g.cell(3, 6).isEmpty());
            f.sbAllVisible->click();
            EXPECT_EQ(g.cell(3, 6), QStringLiteral("√"));
            EXPECT_EQ(g.cell(3, 2), QStringLiteral("☆"));
            g.setCurrentCell(3, 6);
            f.ToggleMark();
            // Row 4 down one, row 13 up one: GridTemp keeps in step.
            g.setCurrentCell(1, 4);
            f.sbDown->click();
            EXPECT_EQ(g.row(), 5);
            EXPECT_EQ(g.cell(1, 5), QStringLiteral("列4"));
            EXPECT_EQ(f.GridTemp->cell(1, 5), QStringLiteral("4"));
            g.setCurrentCell(1, 13);
            f.sbUp->click();
            f.sbUp->click();
            g.moveRow(1, 2);  // a drag
            EXPECT_EQ(f.GridTemp->cell(1, 2), QStringLiteral("1"));
            g.setCurrentCell(1, 1);
            f.sbUp->click();  // already at the top
            EXPECT_EQ(g.cell(1, 1), QStringLiteral("列2"));
            // An emptied name in row 3: rows 1 and 2 stored, the message names row 3.
            g.setCell(2, 1, QStringLiteral(" 二 "));
            const QString third = g.cell(2, 3);
            g.setCell(2, 3, QStringLiteral("  "));
            SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
            f.bbSave->click();
            ASSERT_EQ(SuperMsgSeam::calls().size(), 1u);
            EXPECT_EQ(SuperMsgSeam::calls()[0].text, QStringLiteral("第3行名称不能为空!"));
            EXPECT_EQ(SuperMsgSeam::calls()[0].caption, QStringLiteral("提示信息"));
            EXPECT_EQ(SuperMsgSeam::calls()[0].buttons, QStringLiteral("myok"));
            EXPECT_TRUE(f.isVisible());
            auto recs = records();
            EXPECT_EQ(recs[1].userName, QStringLiteral("二"));
            EXPECT_EQ(recs[1].colOrder, 1);
            EXPECT_EQ(recs[2].colOrder, 3);
            g.setCell(2, 3, third);
            f.bbSave->click();
        },
        &open));
    EXPECT_FALSE(open);
    auto recs = records();
    EXPECT_EQ(recs[2].width, 77);
    EXPECT_EQ(recs[3].colOrder, 5);
    EXPECT_EQ(recs[5].visible, 0);
    EXPECT_EQ(recs[12].colOrder, 11);
    // The display follows at once, names as stored (trimmed); widths stay by position.
    EXPECT_EQ(display.cell(1, 0), QStringLiteral("二"));
    EXPECT_EQ(display.cell(2, 0), QStringLiteral("列1"));
    EXPECT_EQ(display.colCount(), 13);
    EXPECT_EQ(map[1], 2);
    EXPECT_EQ(map[10], 13);  // column 6 hidden: the later ones one place left
    EXPECT_EQ(map[11], 11);
    EXPECT_EQ(display.colWidth(3), 77);
}

TEST_F(ColConfig, CancelEscapeNameRestoreAndRevert)
{
    apply(display);
    update(4, QStringLiteral("四"), 4, 0);
    apply(display);
    // Cancel: nothing stored, the map all zeros (so closing the window saves no widths).
    EXPECT_FALSE(dialog([&](TColConfigForm& f) {
        f.GridMain->setCell(2, 1, QStringLiteral("x"));
        SuperMsgSeam::setNextAnswer(QStringLiteral("mycancel"));
        f.sbAllName->click();
        EXPECT_EQ(f.GridMain->cell(2, 1), QStringLiteral("x"));
        SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
        f.sbAllName->click();
        EXPECT_EQ(f.GridMain->cell(2, 4), QStringLiteral("列4"));
        EXPECT_EQ(SuperMsgSeam::calls().back().text, QStringLiteral("你确定要恢复所有名称到原始名称！"));
    }));
    EXPECT_EQ(map, ColMap{});
    EXPECT_EQ(records()[3].userName, QStringLiteral("四"));
    // Esc while a name is typed ends that edit only (the name as it was); the next Esc closes.
    bool stayed = false;
    EXPECT_FALSE(dialog([&](TColConfigForm& f) {
        TSupGrids& g = *f.GridMain;
        g.setCell(2, 1, QStringLiteral("改过的"));
        g.setCurrentCell(2, 2);
        press(&g, Qt::Key_F2);
        if (!g.isEditing())
            press(&g, Qt::Key_Return, QStringLiteral("\r"));
        ASSERT_TRUE(g.isEditing());
        QWidget* editor = g.viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        type(editor, QStringLiteral("xy"));
        press(editor, Qt::Key_Escape);
        EXPECT_TRUE(f.isVisible());
        EXPECT_FALSE(g.isEditing());
        EXPECT_EQ(g.cell(2, 2), QStringLiteral("列2"));
        EXPECT_EQ(g.cell(2, 1), QStringLiteral("改过的"));
        // Enter in the 显示 column goes down a row and changes no mark.
        g.setCurrentCell(3, 3);
        const QString mark = g.cell(3, 3);
        press(&g, Qt::Key_Return, QStringLiteral("\r"));
        EXPECT_EQ(g.row(), 4);
        EXPECT_EQ(g.cell(3, 3), mark);
        EXPECT_TRUE(f.Legend->text().contains(QStringLiteral("☆")));
        press(&g, Qt::Key_Escape);
        stayed = f.isVisible();
    }));
    EXPECT_FALSE(stayed);

    // Revert: asked, then told; the records are rebuilt from the headings, all shown.
    SuperMsgSeam::reset();
    EXPECT_TRUE(dialog([&](TColConfigForm& f) {
        SuperMsgSeam::setNextAnswer(QStringLiteral("mycancel"));
        f.sbRevert->click();
        EXPECT_TRUE(f.isVisible());
        SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
        SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
        f.sbRevert->click();
    }));
    ASSERT_EQ(SuperMsgSeam::calls().size(), 3u);
    EXPECT_EQ(SuperMsgSeam::calls()[0].text, QStringLiteral("你确定要恢复所有改变,回到原始设置吗?"));
    EXPECT_EQ(SuperMsgSeam::calls()[2].text, QStringLiteral("恢复所有改变成功,确定后生效!"));
    const auto recs = records();
    ASSERT_EQ(recs.size(), 13u);
    EXPECT_EQ(recs[3].userName, QStringLiteral("列4"));
    EXPECT_EQ(recs[3].visible, 1);
    // The dialog of a query window has no system columns, but the product code and name keep
    // their stars: they can still not be hidden.
    EXPECT_EQ(recs[0].sysVisible, 1);
    EXPECT_EQ(recs[1].sysVisible, 1);
    EXPECT_EQ(recs[2].sysVisible, 0);
    EXPECT_EQ(display.colCount(), 14);
    EXPECT_EQ(map[4], 4);
}
