#pragma once
// The cells of a result grid in compact form: one UTF-8 byte arena per column plus row offsets,
// so a million-row result costs its bytes and four bytes a cell, not a QString per cell. Cells are
// appended row by row; a cell written again later goes to a small override map.
// Row 0 of a store is its first data row: headings live in the grid, not here.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanta {

class CellStore {
public:
    explicit CellStore(int columns = 0);

    int columnCount() const { return int(m_columns.size()); }
    int rowCount() const { return m_rows; }
    bool empty() const { return m_rows == 0; }

    // Room for rows (and, when known, the bytes per column) before a long fill.
    void reserve(std::size_t rows, std::size_t bytesPerColumn = 0);
    // Room for rows and bytes in one column.
    void reserveColumn(int col, std::size_t rows, std::size_t bytes);
    // Room for rows in all, each column's bytes taken from its rows so far (a little more): a
    // long fill that knows its row count then grows no column again.
    void reserveLikeSoFar(std::size_t rows);

    // Appends one row; missing cells are empty, cells beyond columnCount() are dropped.
    void appendRow(const std::vector<std::string_view>& cells);
    void appendRow(const QStringList& cells);

    // Reading outside the store gives "".
    std::string_view utf8(int col, int row) const
    {
        if (col < 0 || row < 0 || col >= columnCount() || row >= m_rows)
            return {};
        if (!m_overrides.empty())
            return overridden(col, row);
        return plain(m_columns[std::size_t(col)], row);
    }
    QString cell(int col, int row) const;
    // Replaces one cell of an existing row (an edit); outside the store it does nothing.
    void setCell(int col, int row, std::string_view utf8);

    void clear();
    // Bytes held, for memory figures.
    std::size_t bytes() const;

    // Whole columns, for results built or taken over column by column without copying cells.
    struct Column {
        std::string arena;
        std::vector<std::uint32_t> ends;  // end offset of each row's cell in arena
    };
    // Hands the columns over (edits folded in) and leaves the store empty.
    std::vector<Column> releaseColumns();
    // A store of whole columns; all must have the same number of rows.
    static CellStore fromColumns(std::vector<Column> columns);
    // The cells of a column in the given row order, sized once.
    static Column gather(const Column& from, const std::vector<int>& order);
    // The rows of a store in the given order (row i is row order[i] of store), column by
    // column; one already in that order is handed back as it is.
    static CellStore reordered(CellStore store, const std::vector<int>& order);
    // Column col as stored, for scans over every row; nullptr once a cell has been edited.
    const Column* plainColumn(int col) const
    {
        return m_overrides.empty() && col >= 0 && col < columnCount() ? &m_columns[std::size_t(col)] : nullptr;
    }
    static std::string_view plain(const Column& c, int row)
    {
        const std::uint32_t begin = row ? c.ends[std::size_t(row) - 1] : 0;
        return std::string_view(c.arena.data() + begin, c.ends[std::size_t(row)] - begin);
    }

private:
    std::string_view overridden(int col, int row) const;

    std::vector<Column> m_columns;
    std::map<std::pair<int, int>, std::string> m_overrides;  // (row, col)
    int m_rows = 0;
};

}  // namespace corvanta
