#pragma once
// Where and how a result command writes its grid: "--format tsv|csv|xlsx", "--output FILE",
// "--encoding utf8|gbk|gb18030" (CSV). Without them the grid goes to standard output as TSV, as always.
#include "logic/GridSource.h"
#include "export/GridExport.h"

#include <QStringList>

namespace corvanta {
class CellStore;
}

namespace corvanta::cli {

struct CliContext;

struct OutputOptions {
    ExportFormat format = ExportFormat::Tsv;
    QString output;  // "" = standard output
    CsvEncoding encoding = CsvEncoding::Utf8Bom;
    QString chart;   // stat only: the chart's file
};

// Takes the output options out of args (the rest goes on to the command's own options).
// "--chart" is taken only when allowChart. Throws UsageError for an unknown format or encoding,
// for xlsx without --output, and for --encoding without csv.
OutputOptions TakeOutputOptions(QStringList& args, bool allowChart = false);

// Writes the grid (row 0 the headings) as the options say; the default TSV comes straight from
// the store. Returns the exit status: a file that cannot be written is reported and fails.
int WriteResult(CliContext& ctx, const OutputOptions& options, const QStringList& headings, const CellStore& cells,
                const GridSource& grid);

}  // namespace corvanta::cli
