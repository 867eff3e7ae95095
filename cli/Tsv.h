#pragma once
// Tab-separated output of a grid: one header line, then one line per data row.
#include <QStringList>
#include <QTextStream>

namespace corvanta::cli {

// Tabs and line breaks inside a cell would break the format: they are written as blanks.
QString tsvCell(const QString& cell);
void writeTsvRow(QTextStream& out, const QStringList& cells);

}  // namespace corvanta::cli
