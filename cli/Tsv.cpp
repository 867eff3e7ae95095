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

#include "grid/CellStore.h"

#include <QIODevice>
#include <string>

namespace corvanta::cli {

void writeTsvStore(QTextStream& out, const QStringList& headings, const CellStore& cells)
{
    writeTsvRow(out, headings);
    QIODevice* device = out.device();
    if (device)
        out.flush();
    std::string buf;
    constexpr std::size_t kChunk = 1 << 20;
    buf.reserve(kChunk + 4096);
    auto flushBuf = [&] {
        if (device)
            device->write(buf.data(), qint64(buf.size()));
        else
            out << QString::fromUtf8(buf.data(), qsizetype(buf.size()));
        buf.clear();
    };
    const int columns = cells.columnCount();
    for (int r = 0; r < cells.rowCount(); ++r) {
        for (int c = 0; c < columns; ++c) {
            const std::string_view v = cells.utf8(c, r);
            const std::size_t start = buf.size();
            buf.resize(start + v.size() + 1);
            char* p = buf.data() + start;
            // Cells with a tab or line break would split the line: those become blanks.
            for (const char ch : v)
                *p++ = ch == '\t' || ch == '\r' || ch == '\n' ? ' ' : ch;
            *p = c + 1 < columns ? '\t' : '\n';
        }
        if (columns == 0)
            buf += '\n';
        if (buf.size() >= kChunk)
            flushBuf();
    }
    flushBuf();
}

}  // namespace corvanta::cli
