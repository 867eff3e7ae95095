#include "grid/cw_r_Sort.h"

#include "base/GridSort.h"
#include "grid/New_grid.h"
#include "base/TextHelpers.h"

#include <QApplication>
#include <deque>

namespace corvanta {

bool SortGridByHeader(TSupGrids& grid, int x, int y, int& flag)
{
    if (y >= grid.rowHeight(0))
        return false;
    int s = grid.colWidth(0);
    int key = -1;
    for (int i = grid.leftCol(); i < grid.colCount(); ++i) {
        s += grid.colWidth(i);
        if (s > x) {
            key = i;
            break;
        }
    }
    // Right of the last column there is no column to sort by: the press is ignored.
    if (key < 0)
        return false;
    flag = flag == 1 ? 0 : 1;
    SortGrid(grid, key, flag == 1);
    return true;
}

void SortGrid(TSupGrids& grid, int col, bool ascending)
{
    grid.setSortMark(col, ascending, QColor(153, 152, 182));

    int last = grid.rowCount() - 1;
    while (last > 0 && IsBlank(grid.cell(0, last)))
        --last;
    if (last <= 0)
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto keys = std::vector<std::string_view>(std::size_t(last));
    std::deque<std::string> texts;  // cells that live as text rather than in the body
    std::string scratch;
    for (int r = 1; r <= last; ++r) {
        std::string_view v = grid.cellUtf8(col, r, scratch);
        if (!v.empty() && v.data() == scratch.data()) {
            texts.push_back(std::move(scratch));
            v = texts.back();
            scratch = std::string();
        }
        keys[std::size_t(r) - 1] = v;
    }
    grid.permuteRows(1, SortOrder(keys, ascending));
    grid.renumberRows(1, last);
    QApplication::restoreOverrideCursor();
}

}  // namespace corvanta
