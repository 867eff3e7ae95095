#pragma once
// Header-click sort of a result grid.
namespace corvanta {

class TSupGrids;

// A press at (x, y), in the grid's client coordinates: within the heading row it picks the
// column under the pointer (a press over column 0 picks the first scrolled-in column), toggles
// flag (1 -> 0, anything else -> 1) and sorts ascending when flag is now 1, descending when 0.
// A press below the heading row, or right of the last column, does nothing and gives false.
bool SortGridByHeader(TSupGrids& grid, int x, int y, int& flag);

// Marks the heading of col and sorts the numbered data rows by it; column 0 is renumbered.
void SortGrid(TSupGrids& grid, int col, bool ascending);

}  // namespace corvanta
