#include "grid/GridSort.h"

#include "grid/Gbk.h"
#include "grid/TextHelpers.h"

#include <algorithm>
#include <numeric>

namespace corvanta {

namespace {

constexpr std::size_t kKeyBytes = 60;

bool numericByte(char c, std::size_t pos)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '%' || (c == '-' && pos == 0);
}

}  // namespace

char SortKeyKind(const std::vector<std::string_view>& cells)
{
    for (std::string_view cell : cells)
        for (std::size_t i = 0; i < cell.size(); ++i)
            if (!numericByte(cell[i], i))
                return (unsigned char)cell[i] > 0x80 ? 'P' : 'S';
    return 'I';
}

std::vector<std::uint32_t> SortOrder(const std::vector<std::string_view>& cells, bool ascending)
{
    const std::size_t n = cells.size();
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    if (SortKeyKind(cells) == 'I') {
        std::vector<double> keys(n);
        for (std::size_t i = 0; i < n; ++i) {
            try {
                keys[i] = TextToNumber(cells[i]);
            } catch (const ConversionError&) {
                keys[i] = 0;  // a lone "." reads as nothing
            }
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    } else {
        // The first 60 GBK bytes of each cell, side by side in one buffer.
        std::string arena;
        std::vector<std::uint32_t> ends(n);
        arena.reserve(n * 8);
        std::string key;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string_view cell = cells[i];
            bool ascii = true;
            for (std::size_t k = 0; k < cell.size() && k < kKeyBytes && ascii; ++k)
                ascii = (unsigned char)cell[k] < 0x80;
            if (ascii) {
                arena.append(cell.substr(0, kKeyBytes));
            } else {
                key.clear();
                gbk::appendFromUtf8(cell, key, kKeyBytes);
                arena.append(key);
            }
            ends[i] = std::uint32_t(arena.size());
        }
        const std::string_view all(arena);
        auto keyOf = [&](std::uint32_t i) {
            const std::uint32_t begin = i ? ends[i - 1] : 0;
            return all.substr(begin, ends[i] - begin);
        };
        // string_view compares bytes as unsigned char and puts a prefix first.
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keyOf(a) < keyOf(b); });
    }
    if (!ascending)
        std::reverse(order.begin(), order.end());
    return order;
}

std::vector<std::uint32_t> SortOrder(const CellStore& store, int col, bool ascending, int rows)
{
    if (rows < 0 || rows > store.rowCount())
        rows = store.rowCount();
    std::vector<std::string_view> cells(std::size_t(std::max(rows, 0)));
    for (int r = 0; r < rows; ++r)
        cells[std::size_t(r)] = store.utf8(col, r);
    return SortOrder(cells, ascending);
}

std::string RenumberedCell(int number, std::string_view old)
{
    if (old.empty())
        return {};
    std::string text = std::to_string(number);
    if (old.find("..") != std::string_view::npos)
        text += "..";
    else if (old.find("\xE2\x88\x9A") != std::string_view::npos)  // √
        text += "\xE2\x88\x9A";
    return text;
}

}  // namespace corvanta
