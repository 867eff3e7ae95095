#include "grid/CellStore.h"

#include <algorithm>
#include <stdexcept>

namespace corvanta {

CellStore::CellStore(int columns) : m_columns(std::size_t(std::max(columns, 0))) {}

void CellStore::reserve(std::size_t rows, std::size_t bytesPerColumn)
{
    for (auto& c : m_columns) {
        c.ends.reserve(rows);
        if (bytesPerColumn)
            c.arena.reserve(bytesPerColumn);
    }
}

void CellStore::appendRow(const std::vector<std::string_view>& cells)
{
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        auto& col = m_columns[c];
        if (c < cells.size())
            col.arena.append(cells[c]);
        // The offsets are 32-bit: a column of more than 4 GiB of text is refused, not wrapped.
        if (col.arena.size() > UINT32_MAX)
            throw std::length_error("result column larger than 4 GiB");
        col.ends.push_back(std::uint32_t(col.arena.size()));
    }
    ++m_rows;
}

void CellStore::appendRow(const QStringList& cells)
{
    std::vector<QByteArray> utf8;
    utf8.reserve(cells.size());
    for (const auto& c : cells)
        utf8.push_back(c.toUtf8());
    std::vector<std::string_view> views;
    views.reserve(utf8.size());
    for (const auto& b : utf8)
        views.emplace_back(b.constData(), std::size_t(b.size()));
    appendRow(views);
}

std::string_view CellStore::utf8(int col, int row) const
{
    if (col < 0 || row < 0 || col >= columnCount() || row >= m_rows)
        return {};
    if (!m_overrides.empty()) {
        auto it = m_overrides.find({row, col});
        if (it != m_overrides.end())
            return it->second;
    }
    const auto& c = m_columns[std::size_t(col)];
    const std::uint32_t begin = row ? c.ends[std::size_t(row) - 1] : 0;
    return std::string_view(c.arena).substr(begin, c.ends[std::size_t(row)] - begin);
}

QString CellStore::cell(int col, int row) const
{
    const auto v = utf8(col, row);
    return QString::fromUtf8(v.data(), qsizetype(v.size()));
}

void CellStore::setCell(int col, int row, std::string_view utf8)
{
    if (col < 0 || row < 0 || col >= columnCount() || row >= m_rows)
        return;
    m_overrides[{row, col}] = std::string(utf8);
}

void CellStore::clear()
{
    for (auto& c : m_columns) {
        c.arena.clear();
        c.arena.shrink_to_fit();
        c.ends.clear();
        c.ends.shrink_to_fit();
    }
    m_overrides.clear();
    m_rows = 0;
}

std::size_t CellStore::bytes() const
{
    std::size_t n = 0;
    for (const auto& c : m_columns)
        n += c.arena.capacity() + c.ends.capacity() * sizeof(std::uint32_t);
    for (const auto& [k, v] : m_overrides)
        n += v.capacity() + sizeof(k);
    return n;
}

}  // namespace corvanta
