#pragma once
// Tab-separated output of a grid: one header line, then one line per data row.
#include <QStringList>
#include <QTextStream>

namespace corvanta::cli {

// Tabs, line breaks and every other control character (C0, DEL, C1) inside a cell would break
// the format or reach the terminal as commands: they are written as blanks.
QString tsvCell(const QString& cell);
void writeTsvRow(QTextStream& out, const QStringList& cells);

}  // namespace corvanta::cli

namespace corvanta {
class CellStore;
}

namespace corvanta::cli {

// A whole result: the heading line, then every row of the store, written as UTF-8 bytes straight
// from the store (no QString per cell) when the stream has a device. False as soon as a write
// fails (the rest is not tried).
bool writeTsvStore(QTextStream& out, const QStringList& headings, const CellStore& cells);

}  // namespace corvanta::cli
