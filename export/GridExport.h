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

// Gbk: plain GBK, which every GBK reader decodes (a character outside it refuses the export);
// Gb18030: its superset, which holds every character.
enum class CsvEncoding { Utf8Bom, Gbk, Gb18030 };

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

// A sheet's limits: rows (the heading included) and characters of one cell.
constexpr int kXlsxMaxRows = 1048576;
constexpr int kXlsxMaxCellChars = 32767;

// The file in the given format; false with *error set when it cannot be written. The whole file
// goes through AtomicFile: a failure leaves an earlier file at that name as it was. Rows past a
// sheet's limit go on to further sheets (heading repeated, the sheet's name says which rows); a
// text over the cell limit is cut: *notice (when given) then says so, else it stays empty.
bool WriteXlsx(const GridSource& grid, const QString& file, QString* error, QString* notice = nullptr);
// nullopt with *error set when a cell holds a character the encoding cannot hold (GBK).
std::optional<QByteArray> CsvBytes(const GridSource& grid, CsvEncoding encoding, QString* error = nullptr);
bool WriteCsv(const GridSource& grid, const QString& file, CsvEncoding encoding, QString* error);

}  // namespace corvanta
