#pragma once
// What the print hand-off needs of a grid on screen: its cells (row 0 = headings, column 0 = row
// numbers) and its column widths in pixels. TSupGrids provides it; tests can give plain tables.
#include <QString>

namespace corvanta {

class GridSource {
public:
    virtual ~GridSource() = default;
    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    virtual QString cell(int row, int column) const = 0;
    virtual int columnWidth(int column) const = 0;
};

}  // namespace corvanta
