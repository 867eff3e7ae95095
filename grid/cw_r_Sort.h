#pragma once
// Header-click sort of a result grid.
namespace corvanta {

class TSupGrids;

// A press at (x, y), in the grid's client coordinates: within the heading row it toggles flag and
// sorts the data rows by the column under the pointer, ascending when flag is now 1, descending
// when 0. A press below the heading row does nothing.
void SortGridByHeader(TSupGrids& grid, int x, int y, int& flag);

}  // namespace corvanta
