#include "grid/cw_r_ColConfig.h"

#include "grid/New_grid.h"

namespace corvanta {

// Until the stored configuration is wired in, the display grid shows the source grid as it is.
bool RunColConfig(TDMData&, TSupGrids& display, TSupGrids& source, const std::vector<int>&, ColMap& map,
                  const QString&, int mode)
{
    map.fill(0);
    if (mode != 0)
        return false;
    display.setColCount(source.colCount());
    display.setRowCount(source.rowCount());
    for (int c = 0; c < source.colCount(); ++c) {
        display.setColWidth(c, source.colWidth(c));
        if (c < int(map.size()))
            map[std::size_t(c)] = c;
    }
    for (int r = 0; r < source.rowCount(); ++r)
        display.setRowCells(r, source.rowCells(r));
    return false;
}

void SaveColWidths(TDMData&, TSupGrids&, const ColMap&, const QString&) {}

}  // namespace corvanta
