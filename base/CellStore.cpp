#include "base/CellStore.h"

#include <algorithm>
#include <cstring>
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

void CellStore::reserveColumn(int col, std::size_t rows, std::size_t bytes)
{
    if (col < 0 || col >= columnCount())
        return;
    m_columns[std::size_t(col)].ends.reserve(rows);
    m_columns[std::size_t(col)].arena.reserve(bytes);
}

void CellStore::reserveLikeSoFar(std::size_t rows)
{
    if (m_rows <= 0 || rows <= std::size_t(m_rows))
        return;
    for (auto& c : m_columns) {
        c.ends.reserve(rows);
        const double perRow = double(c.arena.size()) / double(m_rows);
        c.arena.reserve(std::size_t(perRow * double(rows) * 1.05) + 64);
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

std::string_view CellStore::overridden(int col, int row) const
{
    auto it = m_overrides.find({row, col});
    if (it != m_overrides.end())
        return it->second;
    return plain(m_columns[std::size_t(col)], row);
}

std::vector<CellStore::Column> CellStore::releaseColumns()
{
    if (!m_overrides.empty()) {
        // Rebuild the edited columns with their edits in place.
        std::vector<bool> edited(m_columns.size());
        for (const auto& [key, text] : m_overrides)
            edited[std::size_t(key.second)] = true;
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            if (!edited[c])
                continue;
            Column fresh;
            fresh.ends.reserve(std::size_t(m_rows));
            for (int r = 0; r < m_rows; ++r) {
                fresh.arena.append(utf8(int(c), r));
                fresh.ends.push_back(std::uint32_t(fresh.arena.size()));
            }
            m_columns[c] = std::move(fresh);
        }
        m_overrides.clear();
    }
    std::vector<Column> out = std::move(m_columns);
    m_columns.assign(out.size(), Column{});
    m_rows = 0;
    return out;
}

CellStore CellStore::fromColumns(std::vector<Column> columns)
{
    CellStore s;
    const std::size_t rows = columns.empty() ? 0 : columns.front().ends.size();
    for (const Column& c : columns)
        if (c.ends.size() != rows)
            throw std::invalid_argument("columns of different lengths");
    s.m_columns = std::move(columns);
    s.m_rows = int(rows);
    return s;
}

CellStore::Column CellStore::gather(const Column& from, const std::vector<int>& order)
{
    Column out;
    std::size_t bytes = 0;
    for (const int r : order)
        bytes += plain(from, r).size();
    if (bytes > UINT32_MAX)
        throw std::length_error("result column larger than 4 GiB");
    out.arena.resize(bytes);
    out.ends.resize(order.size());
    char* p = out.arena.data();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::string_view v = plain(from, order[i]);
        if (!v.empty())
            std::memcpy(p, v.data(), v.size());
        p += v.size();
        out.ends[i] = std::uint32_t(p - out.arena.data());
    }
    return out;
}

CellStore CellStore::reordered(CellStore store, const std::vector<int>& order)
{
    bool same = order.size() == std::size_t(store.rowCount());
    for (std::size_t i = 0; i < order.size() && same; ++i)
        same = order[i] == int(i);
    if (same)
        return store;
    std::vector<Column> columns = std::move(store).releaseColumns();
    for (Column& c : columns)
        c = gather(c, order);  // one column at a time: its cells, read at random, stay in the cache
    return fromColumns(std::move(columns));
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
