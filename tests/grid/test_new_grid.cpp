#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"
#include "tests/support/GuiTestBase.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace corvanta;
using corvanta::test::press;

namespace {

// A data grid as the report windows set it up: whole-row selection, 14 columns.
void setUpDataGrid(TSupGrids& g, int width, int colWidth)
{
    g.setOptions(GridOption::RowSelect | GridOption::ColSizing);
    g.setColCount(14);
    g.setRowCount(25);
    for (int c = 1; c < 14; ++c)
        g.setColWidth(c, colWidth);
    g.resize(width, 300);
    g.show();
    QApplication::processEvents();
}

}  // namespace

TEST(TSupGrids, DefaultsAndCellsBeyondTheRowCount)
{
    TSupGrids g;
    EXPECT_EQ(g.colWidth(0), 30);
    EXPECT_EQ(g.rowHeight(5), 20);
    EXPECT_EQ(g.fixedRows(), 1);
    EXPECT_EQ(g.fixedCols(), 1);
    EXPECT_TRUE(g.options() & GridOption::RowMoving);
    EXPECT_TRUE(g.options() & GridOption::Editing);

    g.setColCount(3);
    g.setRowCount(3);
    // A window fills its rows first and sets the count afterwards.
    g.setCell(1, 10, QStringLiteral("late"));
    EXPECT_EQ(g.cell(1, 10), QStringLiteral("late"));
    g.setRowCount(12);
    EXPECT_EQ(g.model()->rowCount(), 11);
    EXPECT_EQ(g.cell(1, 10), QStringLiteral("late"));
    EXPECT_EQ(g.model()->index(9, 0).data().toString(), QStringLiteral("late"));
    EXPECT_EQ(g.cell(-1, 2), QString());
    EXPECT_EQ(g.cell(2, 999), QString());
    EXPECT_EQ(g.rowCells(10).size(), 3u);

    // Shrinking drops what lies beyond; growing again shows empty rows.
    g.setRowCount(5);
    g.setRowCount(12);
    EXPECT_EQ(g.cell(1, 10), QString());

    // Fewer columns than fixed ones makes the fixed column go.
    g.setColCount(1);
    EXPECT_EQ(g.fixedCols(), 0);
}

TEST(TSupGrids, ClearRowsKeepsHeadingAndCounts)
{
    TSupGrids g;
    g.setColCount(4);
    g.setRowCount(25);
    for (int r = 0; r < 25; ++r)
        for (int c = 0; c < 4; ++c)
            g.setCell(c, r, QStringLiteral("%1,%2").arg(c).arg(r));
    g.setColWidth(2, 99);
    g.show();
    g.setCurrentCell(2, 3);
    g.edit(g.model()->index(2, 1));
    ASSERT_TRUE(g.isEditing());

    g.ClearRows();
    EXPECT_FALSE(g.isEditing());
    EXPECT_EQ(g.rowCount(), 25);
    EXPECT_EQ(g.colCount(), 4);
    EXPECT_EQ(g.colWidth(2), 99);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(g.cell(c, 0), QStringLiteral("%1,0").arg(c));
    for (int r = 1; r < 25; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_TRUE(g.cell(c, r).isEmpty()) << c << "," << r;
}

TEST(TSupGrids, MoveRowMovesCellsAndRowSettingsThenNotifies)
{
    TSupGrids g;
    g.setColCount(3);
    g.setRowCount(6);
    for (int r = 1; r < 6; ++r)
        g.setCell(1, r, QString::number(r));
    g.setAlignRow(2, alRight);
    g.setColorRow(2, QColor(1, 2, 3));
    g.setRowHeight(2, 33);
    g.setAlignCell(2, 2, alCenter);

    std::vector<std::pair<int, int>> moves;
    QObject::connect(&g, &TSupGrids::OnRowMoved, [&](int from, int to) { moves.emplace_back(from, to); });

    g.moveRow(2, 4);  // rows 3 and 4 move up by one
    EXPECT_EQ(g.cell(1, 2), QStringLiteral("3"));
    EXPECT_EQ(g.cell(1, 3), QStringLiteral("4"));
    EXPECT_EQ(g.cell(1, 4), QStringLiteral("2"));
    EXPECT_EQ(g.cellAlignment(1, 4), alRight);
    EXPECT_EQ(g.cellAlignment(1, 2), alLeft);
    EXPECT_EQ(g.cellColor(1, 4), QColor(1, 2, 3));
    EXPECT_EQ(g.rowHeight(4), 33);
    EXPECT_EQ(g.rowHeight(2), 20);
    EXPECT_EQ(g.cellAlignment(2, 4), alCenter);

    g.moveRow(4, 1);  // and back up, past where it came from
    EXPECT_EQ(g.cell(1, 1), QStringLiteral("2"));
    EXPECT_EQ(g.cell(1, 2), QStringLiteral("1"));
    EXPECT_EQ(g.cell(1, 5), QStringLiteral("5"));
    EXPECT_EQ(g.rowHeight(1), 33);

    g.moveRow(3, 3);   // same index: nothing, no notification
    g.moveRow(3, 99);  // outside the grid: nothing
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0], std::make_pair(2, 4));
    EXPECT_EQ(moves[1], std::make_pair(4, 1));

    // Dragging a row in the fixed column moves the cells, not just the header's picture.
    g.verticalHeader()->moveSection(0, 2);  // grid row 1 to grid row 3
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[2], std::make_pair(1, 3));
    EXPECT_EQ(g.cell(1, 3), QStringLiteral("2"));
    EXPECT_EQ(g.verticalHeader()->visualIndex(0), 0);
}

TEST(TSupGrids, AlignmentBrushAndFontLookupOrder)
{
    TSupGrids g;
    g.setColCount(8);
    g.setRowCount(6);
    // The data grids' design: column 5 right, heading row centred, column 0 right.
    g.setAlignCol(5, alRight);
    g.setFixAlignRow(0, alCenter);
    g.setFixAlignCol(0, alRight);
    EXPECT_EQ(g.cellAlignment(5, 3), alRight);
    EXPECT_EQ(g.cellAlignment(5, 0), alCenter);  // column settings do not reach fixed cells
    EXPECT_EQ(g.cellAlignment(2, 0), alCenter);
    EXPECT_EQ(g.cellAlignment(0, 0), alRight);   // fixed column before fixed row
    EXPECT_EQ(g.cellAlignment(0, 4), alRight);
    EXPECT_EQ(g.cellAlignment(2, 3), alLeft);    // the grid's default

    // Column before row, cell before all; fixed-row settings do not reach body cells.
    g.setAlignRow(3, alCenter);
    EXPECT_EQ(g.cellAlignment(5, 3), alRight);
    EXPECT_EQ(g.cellAlignment(2, 3), alCenter);
    g.setFixAlignRow(4, alRight);
    EXPECT_EQ(g.cellAlignment(2, 4), alLeft);
    g.setAlignCell(5, 3, alLeft);
    EXPECT_EQ(g.cellAlignment(5, 3), alLeft);
    g.setAlignCell(5, 3, std::nullopt);
    EXPECT_EQ(g.cellAlignment(5, 3), alRight);
    g.setAlignment(alCenter);
    EXPECT_EQ(g.cellAlignment(2, 2), alCenter);

    // Heading colours per column, as the sort marks its key column.
    const QColor key(153, 152, 182);
    g.setFixedColorCol(3, key);
    EXPECT_EQ(g.cellColor(3, 0), key);
    EXPECT_EQ(g.cellColor(4, 0), g.fixedColor());
    EXPECT_EQ(g.cellColor(3, 2), g.color());
    g.setFixedColorCol(3, g.fixedColor());
    EXPECT_EQ(g.cellColor(3, 0), g.fixedColor());
    g.setColorCol(6, QColor(9, 9, 9));
    EXPECT_EQ(g.cellColor(6, 1), QColor(9, 9, 9));
    EXPECT_EQ(g.cellColor(6, 0), g.fixedColor());

    QFont bold = g.font();
    bold.setBold(true);
    g.setFixFontRow(0, bold);
    EXPECT_TRUE(g.cellFont(2, 0).bold());
    EXPECT_FALSE(g.cellFont(2, 1).bold());
}

TEST(TSupGrids, ArrowKeysInRowSelectMode)
{
    // 14 columns that fit: Right does not scroll, Left at column 1 does nothing.
    TSupGrids fits;
    setUpDataGrid(fits, 900, 50);
    ASSERT_EQ(fits.leftCol(), 1);
    press(&fits, Qt::Key_Right);
    EXPECT_EQ(fits.leftCol(), 1);
    press(&fits, Qt::Key_Left);
    EXPECT_EQ(fits.leftCol(), 1);

    // A narrow grid scrolls one column per key while the rest does not fit.
    TSupGrids narrow;
    setUpDataGrid(narrow, 300, 80);
    const int width = narrow.clientWidth();
    int expectedLeft = 1;
    for (int i = 0; i < 20; ++i) {
        int rest = narrow.colWidth(0);
        for (int c = narrow.leftCol(); c < 14; ++c)
            rest += narrow.colWidth(c);
        const bool shouldScroll = narrow.leftCol() < 13 && rest > width;
        press(&narrow, Qt::Key_Right);
        if (shouldScroll)
            ++expectedLeft;
        ASSERT_EQ(narrow.leftCol(), expectedLeft) << "press " << i;
        if (!shouldScroll)
            break;
    }
    EXPECT_GT(narrow.leftCol(), 1);
    press(&narrow, Qt::Key_Left);
    EXPECT_EQ(narrow.leftCol(), expectedLeft - 1);
    // The focused row is not changed by the arrows.
    narrow.setCurrentCell(1, 4);
    press(&narrow, Qt::Key_Left);
    EXPECT_EQ(narrow.row(), 4);
}

TEST(TSupGrids, ArrowKeysInCellMode)
{
    TSupGrids g;
    g.setOptions(GridOption::Tabs);
    g.setColCount(14);
    g.setRowCount(5);
    g.resize(900, 200);
    g.show();
    QApplication::processEvents();
    g.setCurrentCell(1, 2);

    press(&g, Qt::Key_Left);  // column 0 is never entered
    EXPECT_EQ(g.col(), 1);
    press(&g, Qt::Key_Right);
    press(&g, Qt::Key_Right);
    EXPECT_EQ(g.col(), 3);
    press(&g, Qt::Key_Left);
    EXPECT_EQ(g.col(), 2);
    EXPECT_EQ(g.row(), 2);
    for (int i = 0; i < 20; ++i)
        press(&g, Qt::Key_Right);
    EXPECT_EQ(g.col(), 13);  // the last column stays current

    // In a narrow grid, going left from the left column first scrolls one column back, and
    // going right onto a column beyond the right edge scrolls it in.
    g.resize(300, 200);
    QApplication::processEvents();
    g.setCurrentCell(6, 2);
    g.setLeftCol(6);
    ASSERT_EQ(g.leftCol(), 6);
    press(&g, Qt::Key_Left);
    EXPECT_EQ(g.leftCol(), 5);
    EXPECT_EQ(g.col(), 5);
    g.setCurrentCell(1, 2);
    g.setLeftCol(1);
    for (int i = 0; i < 6; ++i)
        press(&g, Qt::Key_Right);
    EXPECT_EQ(g.col(), 7);
    EXPECT_GT(g.leftCol(), 1);
    // The current column is always scrolled in.
    int right = g.colWidth(0);
    for (int c = g.leftCol(); c <= g.col(); ++c)
        right += g.colWidth(c);
    EXPECT_LE(right, g.clientWidth());
}

TEST(TSupGrids, EventsEditingAndMouseCoordinates)
{
    TSupGrids g;
    g.setColCount(4);
    g.setRowCount(6);
    g.setCell(1, 1, QStringLiteral("old"));
    g.resize(400, 300);
    g.show();
    QApplication::setActiveWindow(&g);
    QApplication::processEvents();
    g.setCurrentCell(1, 1);

    // A handler that swallows a typed key keeps it from starting the editor.
    std::vector<QChar> typed;
    auto conn = QObject::connect(&g, &TSupGrids::OnKeyPress, [&](QChar& k) {
        typed.push_back(k);
        if (k == QLatin1Char('x'))
            k = QChar();
    });
    press(&g, Qt::Key_X, QStringLiteral("x"));
    EXPECT_FALSE(g.isEditing());
    press(&g, Qt::Key_Return, QStringLiteral("\r"));
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_EQ(typed[1].unicode(), 13);
    QObject::disconnect(conn);

    // Editing writes through; Esc restores the text the cell had.
    g.setCurrentCell(1, 1);
    g.edit(g.currentIndex());
    ASSERT_TRUE(g.isEditing());
    auto* editor = g.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    editor->insert(QStringLiteral("new"));
    EXPECT_EQ(g.cell(1, 1), QStringLiteral("new"));
    press(editor, Qt::Key_Escape);
    EXPECT_FALSE(g.isEditing());
    EXPECT_EQ(g.cell(1, 1), QStringLiteral("old"));

    // OnSelectCell may refuse a cell.
    QObject::connect(&g, &TSupGrids::OnSelectCell, [](int, int row, bool& can) { can = row != 3; });
    g.setCurrentCell(2, 3);
    EXPECT_EQ(g.row(), 1);
    g.setCurrentCell(2, 4);
    EXPECT_EQ(g.row(), 4);

    // A press on the heading row reports a y above the heading's bottom edge.
    std::vector<QPoint> presses;
    QObject::connect(&g, &TSupGrids::OnMouseDown,
                     [&](Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) { presses.emplace_back(x, y); });
    QWidget* headerViewport = g.horizontalHeader()->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 5), headerViewport->mapToGlobal(QPointF(10, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(headerViewport, &press);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0], QPoint(g.colWidth(0) + 10, 5));
    int col = -1, row = -1;
    ASSERT_TRUE(g.mouseToCell(presses[0].x(), presses[0].y(), col, row));
    EXPECT_EQ(col, 1);
    EXPECT_EQ(row, 0);
    ASSERT_TRUE(g.mouseToCell(g.colWidth(0) + g.colWidth(1) + 3, g.rowHeight(0) + 20 + 3, col, row));
    EXPECT_EQ(col, 2);
    EXPECT_EQ(row, 2);
}

TEST(TSupGrids, HoldsAHundredThousandRowsOfFourteenColumns)
{
    TSupGrids g;
    g.setColCount(14);
    const int rows = 100000;
    for (int r = 1; r <= rows; ++r) {
        std::vector<QString> cells(14);
        cells[0] = QString::number(r);
        for (int c = 1; c < 14; ++c)
            cells[c] = QStringLiteral("商品%1").arg(r % 1000);
        g.setRowCells(r, std::move(cells));
    }
    g.setRowCount(rows + 2);
    EXPECT_EQ(g.rowCount(), rows + 2);
    EXPECT_EQ(g.model()->rowCount(), rows + 1);
    EXPECT_EQ(g.cell(0, rows), QString::number(rows));
    EXPECT_EQ(g.cell(13, 54321), QStringLiteral("商品321"));
    EXPECT_TRUE(g.cell(1, rows + 1).isEmpty());

    TSupGridsSource source(g);
    EXPECT_EQ(source.rowCount(), rows + 2);
    EXPECT_EQ(source.columnCount(), 14);
    EXPECT_EQ(source.cell(7, 0), QStringLiteral("7"));  // (row, column)
    EXPECT_EQ(source.columnWidth(0), 30);

    g.ClearRows();
    EXPECT_EQ(g.rowCount(), rows + 2);
    EXPECT_TRUE(g.cell(0, rows).isEmpty());
}

TEST(TSupGrids, ResultBodyReadsWritesMovesAndProjects)
{
    TSupGrids g;
    g.setColCount(4);
    g.setRowCount(8);
    g.setCell(1, 0, QStringLiteral("编码"));
    CellStore store(4);
    for (int r = 1; r <= 4; ++r)
        store.appendRow(QStringList{QString::number(r), QStringLiteral("P%1").arg(r), QStringLiteral("名%1").arg(r),
                                    QString::number(r * 10)});
    g.setBody(std::move(store));
    EXPECT_EQ(g.cell(1, 0), QStringLiteral("编码"));  // the heading stays
    EXPECT_EQ(g.cell(2, 3), QStringLiteral("名3"));
    EXPECT_TRUE(g.cell(1, 5).isEmpty());
    EXPECT_EQ(g.model()->data(g.model()->index(1, 1)).toString(), QStringLiteral("名2"));

    // An edit, a whole-row write and a row written below the result.
    g.setCell(3, 2, QStringLiteral("99"));
    EXPECT_EQ(g.rowCells(2), (std::vector<QString>{"2", "P2", "名2", "99"}));
    g.setRowCells(4, {"x", "y"});
    EXPECT_EQ(g.rowCells(4), (std::vector<QString>{"x", "y", "", ""}));
    g.setCell(1, 6, QStringLiteral("合计"));
    g.moveRow(1, 3);
    EXPECT_EQ(g.cell(1, 1), QStringLiteral("P2"));
    EXPECT_EQ(g.cell(3, 1), QStringLiteral("99"));
    EXPECT_EQ(g.cell(1, 3), QStringLiteral("P1"));

    // A projection: column 1 shows column 2, column 2 shows column 1, column 3 nothing.
    TSupGrids view;
    view.setColCount(4);
    view.setRowCount(8);
    view.showColumnsOf(g, {0, 2, 1, -1});
    EXPECT_EQ(view.cell(1, 0), QString());
    EXPECT_EQ(view.cell(2, 0), QStringLiteral("编码"));
    EXPECT_EQ(view.cell(1, 3), QStringLiteral("名1"));
    EXPECT_EQ(view.cell(2, 6), QStringLiteral("合计"));
    EXPECT_TRUE(view.cell(3, 2).isEmpty());
    view.setCell(1, 2, QStringLiteral("edit"));
    EXPECT_EQ(g.cell(2, 2), QStringLiteral("名3"));  // the source keeps its own
    view.deleteColumn(1);
    EXPECT_EQ(view.colCount(), 3);
    EXPECT_EQ(view.cell(1, 3), QStringLiteral("P1"));
    EXPECT_EQ(view.cell(1, 2), QStringLiteral("P3"));

    // Fewer columns drop the cut ones; more columns come back empty.
    g.setColCount(2);
    g.setColCount(4);
    EXPECT_TRUE(g.cell(2, 2).isEmpty());
    EXPECT_TRUE(g.cell(3, 1).isEmpty());
    EXPECT_EQ(g.cell(1, 2), QStringLiteral("P3"));
    // Fewer rows drop the rows below.
    g.setRowCount(3);
    g.setRowCount(8);
    EXPECT_TRUE(g.cell(1, 6).isEmpty());
    g.ClearRows();
    EXPECT_TRUE(g.cell(1, 1).isEmpty());
    EXPECT_EQ(g.cell(1, 0), QStringLiteral("编码"));
}

// Whole columns leave and enter a store without their cells being touched: released columns
// carry the edits made to them, a gather puts the rows in the asked order, and columns of
// different lengths are refused.
TEST(CellStore, ColumnsAreHandedOverWithTheirEdits)
{
    CellStore s(3);
    s.appendRow(std::vector<std::string_view>{"a", "甲", ""});
    s.appendRow(std::vector<std::string_view>{"bb", "乙", "x"});
    s.appendRow(std::vector<std::string_view>{"", "丙丙", "y"});
    s.setCell(1, 1, "改");
    std::vector<CellStore::Column> cols = s.releaseColumns();
    EXPECT_EQ(s.rowCount(), 0);
    EXPECT_EQ(s.columnCount(), 3);
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_EQ(CellStore::plain(cols[1], 1), "改");
    EXPECT_EQ(CellStore::plain(cols[1], 2), "丙丙");

    const CellStore::Column g = CellStore::gather(cols[0], {2, 0, 1, 0});
    ASSERT_EQ(g.ends.size(), 4u);
    EXPECT_EQ(CellStore::plain(g, 0), "");
    EXPECT_EQ(CellStore::plain(g, 1), "a");
    EXPECT_EQ(CellStore::plain(g, 2), "bb");
    EXPECT_EQ(CellStore::plain(g, 3), "a");

    const CellStore back = CellStore::fromColumns(std::move(cols));
    EXPECT_EQ(back.rowCount(), 3);
    EXPECT_EQ(back.cell(1, 1), QStringLiteral("改"));
    EXPECT_EQ(back.utf8(2, 2), "y");
    EXPECT_EQ(back.utf8(3, 0), "");  // outside the store

    std::vector<CellStore::Column> uneven(2);
    uneven[0].ends = {0, 0};
    uneven[1].ends = {0};
    EXPECT_THROW(CellStore::fromColumns(std::move(uneven)), std::invalid_argument);

    // A whole store put in order, its edits with it; one in its own order comes back as it was.
    CellStore t(2);
    for (const char* v : {"r0", "r1", "r2"})
        t.appendRow(std::vector<std::string_view>{v, "同"});
    t.setCell(1, 2, "改");
    const CellStore same = CellStore::reordered(t, {0, 1, 2});
    EXPECT_EQ(same.utf8(1, 2), "改");
    const CellStore turned = CellStore::reordered(t, {2, 0, 1});
    ASSERT_EQ(turned.rowCount(), 3);
    EXPECT_EQ(turned.utf8(0, 0), "r2");
    EXPECT_EQ(turned.utf8(1, 0), "改");
    EXPECT_EQ(turned.utf8(0, 1), "r0");
    EXPECT_EQ(turned.utf8(0, 2), "r1");
    EXPECT_EQ(turned.utf8(1, 2), "同");
}

// The report grids align as designed, and only a double click on a data row counts as one.
TEST(TSupGrids, ReportGridAlignmentAndDoubleClicksOnRowsOnly)
{
    QWidget parent;
    parent.resize(600, 300);
    TSupGrids* g = ReportGrid(&parent, SalesColumns());
    g->setCell(0, 1, QStringLiteral("1"));
    EXPECT_EQ(g->cellAlignment(0, 1), alRight);
    EXPECT_EQ(g->cellAlignment(5, 1), alRight);
    EXPECT_EQ(g->cellAlignment(2, 1), alLeft);
    EXPECT_EQ(g->cellAlignment(0, 0), alCenter);
    EXPECT_EQ(g->cellAlignment(5, 0), alCenter);
    parent.show();
    QApplication::processEvents();

    int opened = 0;
    QObject::connect(g, &TSupGrids::OnDblClick, [&] { ++opened; });
    QHeaderView* header = g->horizontalHeader();
    const QPoint divider(header->sectionViewportPosition(1) + header->sectionSize(1) - 1, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, divider);
    EXPECT_EQ(opened, 0);
    const QRect row = g->visualRect(g->model()->index(2, 2));
    QTest::mouseDClick(g->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    EXPECT_EQ(opened, 1);
}
