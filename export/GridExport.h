#pragma once
// A result grid taken away as a spreadsheet: XLSX (libxlsxwriter) or CSV, written from any
// GridSource (row 0 the headings). Trailing empty rows (the grid's padding) are left out.
#include "logic/GridSource.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

namespace corvanta {

enum class ExportFormat { Tsv, Csv, Xlsx };
// "tsv", "csv", "xlsx" (letter case ignored); nullopt otherwise.
std::optional<ExportFormat> ExportFormatFromName(const QString& name);

enum class CsvEncoding { Utf8Bom, Gbk };

// How a column's cells go into a spreadsheet. A Number or Date cell whose text does not read as
// one is written as text: nothing the grid shows is lost.
enum class ExportKind { Text, Number, Date };
// By heading: amounts, quantities and row numbers are numbers, sale dates are dates; codes and
// everything else stay text (a code such as "0012" must keep its zeros).
ExportKind ExportKindForHeading(const QString& heading);

// Rows worth exporting: the heading row and the data rows up to the last non-empty one.
int ExportRowCount(const GridSource& grid);

// Exact decimal text ("-12.50", "0.3") as a double, when it has at most 15 significant digits
// (what a spreadsheet number holds exactly); nullopt otherwise.
std::optional<double> ExportNumber(const QString& text);
std::optional<double> ExportNumber(std::string_view text);

// The file in the given format; false with *error set when it cannot be written.
bool WriteXlsx(const GridSource& grid, const QString& file, QString* error);
QByteArray CsvBytes(const GridSource& grid, CsvEncoding encoding);
bool WriteCsv(const GridSource& grid, const QString& file, CsvEncoding encoding, QString* error);

}  // namespace corvanta
