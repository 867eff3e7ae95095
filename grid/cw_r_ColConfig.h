#pragma once
// Column configuration of the query windows: the stored records of a grid id decide which source
// columns the display grid shows, in which order, under which captions and widths.
#include <QString>
#include <array>
#include <vector>

namespace corvanta {

class TDMData;
class TSupGrids;

// Entry k: the display position (ColOrder) of source column k; 0 = not shown / not known.
using ColMap = std::array<int, 21>;

// mode 0: rebuild the display grid from the source grid by the stored records (made on first
// use); mode 1: the dialog "表格列改变窗口". True only when the dialog was closed by Save or by a
// successful revert. map is overwritten.
bool RunColConfig(TDMData& dm, TSupGrids& display, TSupGrids& source, const std::vector<int>& systemCols,
                  ColMap& map, const QString& gridId, int mode);

// Stores the display grid's current column widths under the grid id.
void SaveColWidths(TDMData& dm, TSupGrids& display, const ColMap& map, const QString& gridId);

}  // namespace corvanta
