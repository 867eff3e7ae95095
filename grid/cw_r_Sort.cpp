#include "grid/cw_r_Sort.h"

#include "grid/New_grid.h"

namespace corvanta {

void SortGridByHeader(TSupGrids& grid, int x, int y, int& flag)
{
    int col = 0, row = 0;
    if (!grid.mouseToCell(x, y, col, row) || row != 0)
        return;
    flag = flag ? 0 : 1;
}

}  // namespace corvanta
