#include "base/GridSort.h"

#include "base/Gbk.h"
#include "base/TextHelpers.h"

#include <algorithm>

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
    // Ties are broken by the old position: the same order a stable sort gives.
    if (SortKeyKind(cells) == 'I') {
        struct Item {
            double key;
            std::uint32_t row;
        };
        std::vector<Item> items(n);
        for (std::size_t i = 0; i < n; ++i) {
            double key = 0;
            try {
                key = TextToNumber(cells[i]);
            } catch (const ConversionError&) {
                key = 0;  // a lone "." reads as nothing
            }
            items[i] = {key, std::uint32_t(i)};
        }
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return a.key < b.key || (!(b.key < a.key) && a.row < b.row);
        });
        for (std::size_t i = 0; i < n; ++i)
            order[i] = items[i].row;
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
        // Eight bytes as one number decide most comparisons without touching the text: those
        // after the prefix every key shares (product names often start alike).
        std::size_t common = n ? keyOf(0).size() : 0;
        for (std::size_t i = 1; i < n && common; ++i) {
            const std::string_view k = keyOf(std::uint32_t(i));
            std::size_t c = 0;
            const std::size_t limit = std::min(common, k.size());
            const std::string_view first = keyOf(0);
            while (c < limit && k[c] == first[c])
                ++c;
            common = c;
        }
        struct Item {
            std::uint64_t head;
            std::uint32_t row;
            std::uint32_t length;
        };
        std::vector<Item> items(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::string_view k = keyOf(std::uint32_t(i));
            std::uint64_t head = 0;
            for (std::size_t b = common; b < common + 8; ++b)
                head = (head << 8) | (b < k.size() ? (unsigned char)k[b] : 0u);
            items[i] = {head, std::uint32_t(i), std::uint32_t(k.size())};
        }
        // Two keys that end within their heads are equal when their lengths are (else the shorter
        // is a prefix of the other); only longer keys need their text compared.
        const std::size_t inHead = common + 8;
        std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
            if (a.head != b.head)
                return a.head < b.head;
            int c = 0;
            if (a.length <= inHead && b.length <= inHead)
                c = a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
            else
                c = keyOf(a.row).compare(keyOf(b.row));  // unsigned bytes, a prefix first
            return c < 0 || (c == 0 && a.row < b.row);
        });
        for (std::size_t i = 0; i < n; ++i)
            order[i] = items[i].row;
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

int NumberedRows(const CellStore& store)
{
    int rows = store.rowCount();
    while (rows > 0 && store.utf8(0, rows - 1).find_first_not_of(' ') == std::string_view::npos)
        --rows;
    return rows;
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
