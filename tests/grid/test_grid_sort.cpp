// Header-click sort: the key column from the pointer, key kinds, the rows that take part, the
// order of equal keys and the renumbering; on rows held as text and on a result body alike.
#include "base/Gbk.h"
#include "base/GridSort.h"
#include "grid/New_grid.h"
#include "grid/cw_r_Sort.h"

#include <QApplication>
#include <gtest/gtest.h>

using namespace corvanta;

namespace {

// Grid rows 1 .. n from cells (column 0 first), 22 rows, 4 columns of width 50 (column 0: 30).
void fill(TSupGrids& g, const std::vector<QStringList>& rows, bool asBody)
{
    g.setColCount(4);
    g.setRowCount(std::max(22, int(rows.size()) + 2));
    for (int c = 1; c < 4; ++c) {
        g.setColWidth(c, 50);
        g.setCell(c, 0, QStringLiteral("H%1").arg(c));
    }
    g.setCell(0, 0, QStringLiteral("序号"));
    if (asBody) {
        CellStore store(4);
        for (const auto& r : rows)
            store.appendRow(r);
        g.setBody(std::move(store));
    } else {
        for (int r = 0; r < int(rows.size()); ++r)
            g.setRowCells(r + 1, std::vector<QString>(rows[r].begin(), rows[r].end()));
    }
}

QStringList column(const TSupGrids& g, int col, int rows)
{
    QStringList out;
    for (int r = 1; r <= rows; ++r)
        out << g.cell(col, r);
    return out;
}

// x in the middle of data column col (no scrolling).
int xOf(int col)
{
    return 30 + 50 * (col - 1) + 25;
}

class Sort : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST_P(Sort, NumbersTextAndChineseKeys)
{
    TSupGrids g;
    int flag = 0;
    fill(g,
         {{"1", "12", "10", "中"}, {"2", "-3.5", "9", "b"}, {"3", "7%", "9a", "啊"}, {"4", "", "", "一"}},
         GetParam());
    // Numbers: the empty cell reads 0.
    EXPECT_TRUE(SortGridByHeader(g, xOf(1), 5, flag));
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(column(g, 1, 4), (QStringList{"-3.5", "", "7%", "12"}));
    EXPECT_EQ(column(g, 0, 4), (QStringList{"1", "2", "3", "4"}));
    EXPECT_EQ(g.cell(2, 1), QStringLiteral("9"));  // whole rows move
    // "9a" makes the column text: 10 before 9.
    SortGridByHeader(g, xOf(2), 5, flag);  // flag 0: descending
    EXPECT_EQ(column(g, 2, 4), (QStringList{"9a", "9", "10", ""}));
    SortGridByHeader(g, xOf(2), 5, flag);
    EXPECT_EQ(column(g, 2, 4), (QStringList{"", "10", "9", "9a"}));
    // GBK order: 啊 (B0A1) < 一 (D2BB) < 中 (D6D0), all after single-byte text.
    SortGridByHeader(g, xOf(3), 5, flag);
    SortGridByHeader(g, xOf(3), 5, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(column(g, 3, 4), (QStringList{"b", "啊", "一", "中"}));
    // Heading colours: the key column marked, the others back to the fixed colour.
    EXPECT_EQ(g.cellColor(3, 0), QColor(153, 152, 182));
    EXPECT_EQ(g.cellColor(1, 0), g.fixedColor());
    EXPECT_EQ(g.cellColor(2, 0), g.fixedColor());
}

TEST_P(Sort, EqualKeysPartRowsAndRenumbering)
{
    TSupGrids g;
    int flag = 5;  // anything but 1 becomes 1
    fill(g,
         {{"1", "x", "first", ""}, {"2..", "y", "y", ""}, {"3√", "x", "second", ""}, {"", "a", "unnumbered", ""},
          {"5", "x", "third", ""}},
         GetParam());
    g.setCell(1, 7, QStringLiteral("below"));  // below the last numbered row: stays
    SortGridByHeader(g, xOf(1), 0, flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(column(g, 2, 5), (QStringList{"unnumbered", "first", "second", "third", "y"}));
    // Blank row numbers stay blank; marks stay with their rows.
    EXPECT_EQ(column(g, 0, 5), (QStringList{"", "2", "3√", "4", "5.."}));
    SortGridByHeader(g, xOf(1), 0, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(column(g, 2, 5), (QStringList{"y", "third", "second", "first", "unnumbered"}));
    EXPECT_EQ(column(g, 0, 5), (QStringList{"1..", "2", "3√", "4", ""}));
    EXPECT_EQ(g.cell(1, 7), QStringLiteral("below"));
    for (int r = 8; r < g.rowCount(); ++r)
        EXPECT_TRUE(g.rowCells(r)[1].isEmpty());
    // The renumbered text is the cell's own from now on.
    EXPECT_EQ(g.rowCells(1)[0], QStringLiteral("1.."));
    g.moveRow(1, 3);
    EXPECT_EQ(column(g, 0, 3), (QStringList{"2", "3√", "1.."}));
    g.setCell(2, 3, QStringLiteral("edited"));
    EXPECT_EQ(g.cell(0, 3), QStringLiteral("1.."));
    EXPECT_EQ(g.cell(2, 3), QStringLiteral("edited"));
}

TEST_P(Sort, PointerHeadingAndEmptyGrid)
{
    TSupGrids g;
    g.resize(200, 200);
    fill(g, {}, GetParam());
    g.setColCount(8);
    for (int c = 1; c < 8; ++c)
        g.setColWidth(c, 50);
    g.show();
    QApplication::processEvents();
    int flag = 0;
    // Below the heading row: nothing.
    EXPECT_FALSE(SortGridByHeader(g, xOf(1), g.rowHeight(0), flag));
    EXPECT_EQ(flag, 0);
    // No data rows: the colours and the flag change, nothing else.
    EXPECT_TRUE(SortGridByHeader(g, xOf(2), 1, flag));
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(g.cellColor(2, 0), QColor(153, 152, 182));
    EXPECT_TRUE(g.cell(1, 1).isEmpty());
    // Right of the last column: ignored.
    EXPECT_FALSE(SortGridByHeader(g, 30 + 7 * 50 + 10, 1, flag));
    EXPECT_EQ(flag, 1);
    // Scrolled: column 0 and the first visible column both pick the first scrolled-in column.
    g.setLeftCol(3);
    QApplication::processEvents();
    ASSERT_EQ(g.leftCol(), 3);
    SortGridByHeader(g, 10, 1, flag);
    EXPECT_EQ(g.cellColor(3, 0), QColor(153, 152, 182));
    SortGridByHeader(g, 30 + 50 + 5, 1, flag);
    EXPECT_EQ(g.cellColor(4, 0), QColor(153, 152, 182));
    EXPECT_EQ(g.cellColor(3, 0), g.fixedColor());
}

INSTANTIATE_TEST_SUITE_P(Rows, Sort, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Body" : "Text"; });

TEST(SortLarge, HundredThousandSortedRowsAndTheWidgetFreeOrder)
{
    const int n = 100000;
    CellStore store(3);
    for (int r = 0; r < n; ++r) {
        const std::string no = std::to_string(r + 1), key = std::to_string(r / 3);
        store.appendRow({no, key, "商品" + std::to_string(r % 7)});
    }
    TSupGrids g;
    g.setColCount(3);
    g.setRowCount(n + 2);
    g.setBody(store);
    SortGrid(g, 1, true);  // already in order: a chain for an unbalanced tree
    EXPECT_EQ(g.cell(1, 1), QStringLiteral("0"));
    EXPECT_EQ(g.cell(1, n), QString::number((n - 1) / 3));
    SortGrid(g, 1, false);
    EXPECT_EQ(g.cell(1, 1), QString::number((n - 1) / 3));
    EXPECT_EQ(g.cell(0, 1), QStringLiteral("1"));
    EXPECT_EQ(g.cell(0, n), QString::number(n));
    // Equal keys descending: the last of them first.
    const int top = (n - 1) / 3;
    EXPECT_EQ(g.rowCells(1)[1], QString::number(top));

    // The CLI's ordering over the same store gives the grid's order.
    TSupGrids fresh;
    fresh.setColCount(3);
    fresh.setRowCount(n + 2);
    fresh.setBody(store);
    SortGrid(fresh, 2, false);
    const auto order = SortOrder(store, 2, false);
    ASSERT_EQ(order.size(), std::size_t(n));
    for (int r : {1, 2, 500, n / 2, n})
        EXPECT_EQ(fresh.cell(1, r), store.cell(1, int(order[std::size_t(r) - 1]))) << r;
    EXPECT_EQ(SortOrder(store, 1, false).front(), std::uint32_t(n - 1));
}

TEST(SortKeys, KindsRenumberingAndGbkKeys)
{
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SortKeyKind(V{"12", "-3.5", "7%", ""}), 'I');
    EXPECT_EQ(SortKeyKind(V{"1-2"}), 'S');
    EXPECT_EQ(SortKeyKind(V{"12", "9a", "中"}), 'S');
    EXPECT_EQ(SortKeyKind(V{"1中", "a"}), 'P');
    // A lone "." reads as 0 instead of stopping the sort.
    EXPECT_EQ(SortOrder(V{"5", ".", "-1"}, true), (std::vector<std::uint32_t>{2, 1, 0}));
    // Only the first 60 bytes count: equal there, so the old order holds.
    const std::string a = std::string(60, 'a') + "z", b = std::string(60, 'a') + "b";
    EXPECT_EQ(SortOrder(V{a, b}, true), (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(SortOrder(V{a, b}, false), (std::vector<std::uint32_t>{1, 0}));
    // A prefix first.
    EXPECT_EQ(SortOrder(V{"ab", "a"}, true), (std::vector<std::uint32_t>{1, 0}));

    CellStore store(2);
    store.appendRow(V{"1", "b"});
    store.appendRow(V{"", "a"});
    store.appendRow(V{"2", "c"});
    store.appendRow(V{"  ", "total"});
    EXPECT_EQ(NumberedRows(store), 3);
    EXPECT_EQ(SortOrder(store, 1, true, NumberedRows(store)), (std::vector<std::uint32_t>{1, 0, 2}));
    EXPECT_EQ(RenumberedCell(1, "3√"), "1√");
    EXPECT_EQ(RenumberedCell(2, "7.."), "2..");
    EXPECT_EQ(RenumberedCell(3, "x"), "3");
    EXPECT_EQ(RenumberedCell(3, ""), "");

    // The table-driven GBK form agrees with the converter, supplementary planes included.
    const QString text = QStringLiteral("a啊€中文·é😀ー");
    std::string out;
    const QByteArray utf8 = text.toUtf8();
    gbk::appendFromUtf8(std::string_view(utf8.constData(), std::size_t(utf8.size())), out, 1000);
    EXPECT_EQ(QByteArray::fromStdString(out), gbk::encode(text));
    out.clear();
    gbk::appendFromUtf8("中文", out, 3);
    EXPECT_EQ(out.size(), 3u);
}
