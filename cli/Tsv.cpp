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
    bool allPlain = true;
    for (int c = 0; c < columns; ++c)
        allPlain = (plain[std::size_t(c)] = cells.plainColumn(c)) && allPlain;
    for (int r = 0; r < cells.rowCount() && ok; ++r) {
        for (int c = 0; c < columns; ++c) {
            const std::string_view v = allPlain ? CellStore::plain(*plain[std::size_t(c)], r) : cells.utf8(c, r);
            if (std::size_t(buf.data() + buf.size() - p) < v.size() + 2) {
                flushBuf();
                if (buf.size() < v.size() + 2) {
                    buf.resize(v.size() + 2);
                    p = buf.data();
                }
            }
            p = copyClean(v, p);
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
