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
