#pragma once
// The print hand-off's view of a grid on screen.
#include "logic/GridSource.h"
#include "grid/New_grid.h"

namespace corvanta {

class TSupGridsSource : public GridSource {
public:
    explicit TSupGridsSource(const TSupGrids& grid) : m_grid(grid) {}
    int rowCount() const override { return m_grid.rowCount(); }
    int columnCount() const override { return m_grid.colCount(); }
    // GridSource takes (row, column); the grid takes (col, row).
    QString cell(int row, int column) const override { return m_grid.cell(column, row); }
    int columnWidth(int column) const override { return m_grid.colWidth(column); }
    std::string_view cellUtf8(int row, int column, std::string& scratch) const override
    {
        return m_grid.cellUtf8(column, row, scratch);
    }

private:
    const TSupGrids& m_grid;
};

}  // namespace corvanta
