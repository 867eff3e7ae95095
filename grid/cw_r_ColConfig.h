#pragma once
// Column configuration of the query windows: the stored records of a grid id decide which source
// columns the display grid shows, in which order, under which captions and widths.
#include <QString>
#include <array>
#include <vector>

namespace corvanta {

class TDMData;
class TSupGrids;

// Entry i (1 .. 20): the source column that display column i shows; 0 = not known. Filled by
// RunColConfig, read by SaveColWidths, so each width is stored under its own column even after
// columns were hidden or moved.
using ColMap = std::array<int, 21>;

// mode 0: rebuild the display grid from the source grid by the stored records (made on first
// use); mode 1: the dialog "表格列改变窗口". True only when the dialog was closed by Save or by a
// successful revert. map is overwritten (all zeros after a cancelled dialog).
bool RunColConfig(TDMData& dm, TSupGrids& display, TSupGrids& source, const std::vector<int>& systemCols,
                  ColMap& map, const QString& gridId, int mode);

// Stores the display grid's current column widths under the grid id.
void SaveColWidths(TDMData& dm, TSupGrids& display, const ColMap& map, const QString& gridId);

// Makes sure the stored records describe the source grid's named columns; rebuilds them otherwise.
void CheckColConfig(TDMData& dm, TSupGrids& source, const std::vector<int>& systemCols, const QString& gridId);

// Builds the display grid from the source grid by the stored records; stored widths only in
// mode 0. Fills map.
void ApplyColConfig(TDMData& dm, TSupGrids& display, TSupGrids& source, ColMap& map, const QString& gridId,
                    int mode);

// Drops every column whose trimmed heading is empty; later columns close up. shown, when given,
// is kept in step (one entry per column).
void RemoveEmptyColumns(TSupGrids& grid, std::vector<int>* shown = nullptr);

}  // namespace corvanta
