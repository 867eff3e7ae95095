#include "cli/Tsv.h"

namespace corvanta::cli {

QString tsvCell(const QString& cell)
{
    QString c = cell;
    for (QChar& ch : c)
        if (const char16_t u = ch.unicode(); u < 0x20 || (u >= 0x7F && u <= 0x9F))
            ch = QLatin1Char(' ');
    return c;
}

void writeTsvRow(QTextStream& out, const QStringList& cells)
{
    QStringList clean;
    clean.reserve(cells.size());
    for (const QString& c : cells)
        clean << tsvCell(c);
    out << clean.join(QLatin1Char('\t')) << '\n';
}

}  // namespace corvanta::cli

#include "base/CellStore.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <vector>

namespace corvanta::cli {

namespace {

// Copies one UTF-8 cell, with every control character (C0, DEL, C1 as C2 80..C2 9F) as a blank;
// returns the end of what it wrote (never more bytes than the cell has).
char* copyClean(std::string_view v, char* p)
{
    const std::size_t n = v.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(v[i]);
        if (b < 0x20 || b == 0x7F) {
            *p++ = ' ';
        } else if (b == 0xC2 && i + 1 < n && (static_cast<unsigned char>(v[i + 1]) & 0xE0) == 0x80) {
            *p++ = ' ';
            ++i;
        } else {
            *p++ = char(b);
        }
    }
    return p;
}

// Whether a column has no byte that copyClean would change: a control character, or the lead
// byte of one (0xC2, whose C1 controls follow; other characters with it are rare). Written so
// that it runs over the column's bytes without a branch per byte.
bool cleanColumn(const std::string& arena)
{
    const auto* b = reinterpret_cast<const unsigned char*>(arena.data());
    const std::size_t n = arena.size();
    constexpr std::size_t kBlock = 4096;
    for (std::size_t at = 0; at < n; at += kBlock) {
        const std::size_t end = std::min(n, at + kBlock);
        unsigned bad = 0;
        for (std::size_t i = at; i < end; ++i)
            bad |= unsigned(b[i] < 0x20) | unsigned(b[i] == 0x7F) | unsigned(b[i] == 0xC2);
        if (bad)
            return false;
    }
    return true;
}

// A cell of a clean column: short ones as one fixed-size copy where the column's bytes allow.
char* copyPlain(std::string_view v, const char* arenaEnd, char* p)
{
    constexpr std::size_t kShort = 16;
    if (v.size() <= kShort && v.data() + kShort <= arenaEnd)
        std::memcpy(p, v.data(), kShort);
    else
        std::memcpy(p, v.data(), v.size());
    return p + v.size();
}

}  // namespace

bool writeTsvStore(QTextStream& out, const QStringList& headings, const CellStore& cells)
{
    writeTsvRow(out, headings);
    QIODevice* device = out.device();
    if (device)
        out.flush();
    bool ok = out.status() == QTextStream::Ok;
    std::vector<char> buf(std::size_t(1) << 20);
    char* p = buf.data();
    auto flushBuf = [&] {
        const std::size_t n = std::size_t(p - buf.data());
        if (device)
            ok = ok && device->write(buf.data(), qint64(n)) == qint64(n);
        else
            out << QString::fromUtf8(buf.data(), qsizetype(n));
        p = buf.data();
    };
    const int columns = cells.columnCount();
    std::vector<const CellStore::Column*> plain(std::size_t(columns > 0 ? columns : 0));
    std::vector<char> clean(plain.size(), 0);
    bool allPlain = true;
    for (int c = 0; c < columns; ++c)
        allPlain = (plain[std::size_t(c)] = cells.plainColumn(c)) && allPlain;
    for (int c = 0; c < columns && allPlain; ++c)
        clean[std::size_t(c)] = cleanColumn(plain[std::size_t(c)]->arena);
    constexpr std::size_t kSlack = 16 + 2;  // room for copyPlain's fixed-size copy and the separator
    for (int r = 0; r < cells.rowCount() && ok; ++r) {
        for (int c = 0; c < columns; ++c) {
            const CellStore::Column* column = allPlain ? plain[std::size_t(c)] : nullptr;
            const std::string_view v = column ? CellStore::plain(*column, r) : cells.utf8(c, r);
            if (std::size_t(buf.data() + buf.size() - p) < v.size() + kSlack) {
                flushBuf();
                if (buf.size() < v.size() + kSlack) {
                    buf.resize(v.size() + kSlack);
                    p = buf.data();
                }
            }
            p = column && clean[std::size_t(c)]
                    ? copyPlain(v, column->arena.data() + column->arena.size(), p)
                    : copyClean(v, p);
            *p++ = c + 1 < columns ? '\t' : '\n';
        }
        if (columns == 0) {
            if (p == buf.data() + buf.size())
                flushBuf();
            *p++ = '\n';
        }
    }
    if (ok)
        flushBuf();
    return ok && out.status() == QTextStream::Ok;
}

}  // namespace corvanta::cli
