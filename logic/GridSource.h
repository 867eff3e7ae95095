#pragma once
// What the print hand-off needs of a grid on screen: its cells (row 0 = headings, column 0 = row
// numbers) and its column widths in pixels. TSupGrids provides it; tests can give plain tables.
#include <QString>
#include <string>
#include <string_view>

namespace corvanta {

class GridSource {
public:
    virtual ~GridSource() = default;
    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    virtual QString cell(int row, int column) const = 0;
    virtual int columnWidth(int column) const = 0;
    // The cell as UTF-8, valid until the next call with the same scratch. Sources over a compact
    // store override it to spare a QString per cell when a big grid is exported.
    virtual std::string_view cellUtf8(int row, int column, std::string& scratch) const
    {
        scratch = cell(row, column).toStdString();
        return scratch;
    }
};

}  // namespace corvanta
