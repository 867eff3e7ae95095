#include "cli/Tsv.h"

namespace corvanta::cli {

QString tsvCell(const QString& cell)
{
    QString c = cell;
    for (QChar& ch : c)
        if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
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
#include <cstring>
#include <vector>

namespace corvanta::cli {

void writeTsvStore(QTextStream& out, const QStringList& headings, const CellStore& cells)
{
    writeTsvRow(out, headings);
    QIODevice* device = out.device();
    if (device)
        out.flush();
    std::vector<char> buf(std::size_t(1) << 20);
    char* p = buf.data();
    auto flushBuf = [&] {
        const std::size_t n = std::size_t(p - buf.data());
        if (device)
            device->write(buf.data(), qint64(n));
        else
            out << QString::fromUtf8(buf.data(), qsizetype(n));
        p = buf.data();
    };
    const int columns = cells.columnCount();
    std::vector<const CellStore::Column*> plain(std::size_t(columns > 0 ? columns : 0));
    bool allPlain = true;
    for (int c = 0; c < columns; ++c)
        allPlain = (plain[std::size_t(c)] = cells.plainColumn(c)) && allPlain;
    for (int r = 0; r < cells.rowCount(); ++r) {
        for (int c = 0; c < columns; ++c) {
            const std::string_view v = allPlain ? CellStore::plain(*plain[std::size_t(c)], r) : cells.utf8(c, r);
            if (std::size_t(buf.data() + buf.size() - p) < v.size() + 2) {
                flushBuf();
                if (buf.size() < v.size() + 2) {
                    buf.resize(v.size() + 2);
                    p = buf.data();
                }
            }
            if (!v.empty())
                std::memcpy(p, v.data(), v.size());
            // Cells with a tab or line break would split the line: those become blanks.
            for (std::size_t i = 0; i < v.size(); ++i)
                if (static_cast<unsigned char>(p[i]) <= '\r' && (p[i] == '\t' || p[i] == '\r' || p[i] == '\n'))
                    p[i] = ' ';
            p += v.size();
            *p++ = c + 1 < columns ? '\t' : '\n';
        }
        if (columns == 0) {
            if (p == buf.data() + buf.size())
                flushBuf();
            *p++ = '\n';
        }
    }
    flushBuf();
}

}  // namespace corvanta::cli
