// sales, stat, stock and print sales|stat|stock: the sales query, sales statistics and stock query
// windows. Each command builds the grid the window would show (headings, widths, the result's
// cells) in one place, query*() below, and then prints it as TSV or hands it to PRINT.EXE.
#include "chart/StatChart.h"
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/ResultOutput.h"
#include "cli/SortOption.h"
#include "cli/Tsv.h"
#include "connection/UDMData.h"
#include "dbf/DBF.h"
#include "reports/ReportLogic.h"
#include "reports/StatChartModel.h"

#include <QCoreApplication>

#include <optional>

namespace corvanta::cli {

namespace {

const QString kFrom = QStringLiteral("from");
const QString kTo = QStringLiteral("to");
const QString kCode = QStringLiteral("code");
const QString kName = QStringLiteral("name");
const QString kOutlet = QStringLiteral("outlet");
const QString kOutletName = QStringLiteral("outlet-name");
const QString kArea = QStringLiteral("area");
const QString kType = QStringLiteral("type");
const QString kMode = QStringLiteral("mode");

// The grid a command prints: what the window's grid shows.
struct ResultGrid {
    QStringList headings;
    std::vector<int> widths;
    CellStore cells;
    TitleField title;
    QString templateName;
    int statMode = -1;
    QString gridId;  // the column configuration the window's printout follows ("" for none)
};

void noArguments(const CommandArgs& a, const QString& command)
{
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("%1 takes no arguments").arg(command)};
}

QDate dateOption(const CommandArgs& a, const QString& name)
{
    const QString text = a.required(name);
    const std::optional<QDate> d = ParseProcDate(text);
    if (!d)
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a date (yyyy-mm-dd)").arg(name, text)};
    return *d;
}

// A filter option given is its check box ticked with that text.
QString filter(const CommandArgs& a, const QString& name)
{
    return FilterValue(a.has(name), a.value(name));
}

QString docType(const CommandArgs& a)
{
    if (!a.has(kType))
        return QString();
    const QString t = a.value(kType).trimmed();
    if (!t.isEmpty() && t != QStringLiteral("销售") && t != QStringLiteral("销售退货"))
        throw UsageError{QStringLiteral("--type: \"%1\" is neither 销售 nor 销售退货").arg(a.value(kType))};
    return DocTypeValue(true, t);
}

// The filters of a report from its options: the dates, the filters it has, the document type.
template <class Filters>
Filters readFilters(const CommandArgs& a)
{
    Filters f;
    if constexpr (requires { f.from; }) {
        f.from = dateOption(a, kFrom);
        f.to = dateOption(a, kTo);
    }
    f.code = filter(a, kCode);
    f.name = filter(a, kName);
    f.outlet = filter(a, kOutlet);
    f.outletName = filter(a, kOutletName);
    if constexpr (requires { f.area; })
        f.area = filter(a, kArea);
    if constexpr (requires { f.docType; })
        f.docType = docType(a);
    return f;
}

// Connects, runs the report and fills the grid with its rows; nullopt with the exit status in
// code when it could not connect or the run was refused (its message shown).
template <class Run>
std::optional<ResultGrid> runReport(CliContext& ctx, int& code, Run run, ResultGrid grid)
{
    TDMData* dm = ctx.connect(true);
    if (!dm) {
        code = ExitNoConnection;
        return std::nullopt;
    }
    ReportRun result = run(*dm, ctx.messages);
    if (result.outcome != RunOutcome::Done) {
        code = ExitFailed;
        return std::nullopt;
    }
    grid.cells = std::move(result.cells);
    return grid;
}

std::optional<ResultGrid> querySales(CliContext& ctx, const QStringList& args, const QString& command, int& code)
{
    CommandArgs a(args, {kFrom, kTo, kCode, kName, kOutlet, kOutletName, kArea, kType});
    noArguments(a, command);
    const auto f = readFilters<SalesFilters>(a);
    return runReport(ctx, code, [&](TDMData& dm, Messages& m) { return RunSalesQuery(dm, m, f); },
                     {SalesHeadings(), ColumnWidths(SalesColumns()), CellStore(), SalesTitle(f.from, f.to), kSalesTemplate,
                      -1, kSalesGridId});
}

std::optional<ResultGrid> queryStat(CliContext& ctx, const QStringList& args, const QString& command, int& code)
{
    CommandArgs a(args, {kMode, kFrom, kTo, kCode, kName, kOutlet, kOutletName, kType});
    noArguments(a, command);
    const QString mode = a.required(kMode);
    const int statMode = StatModeFromCode(mode);
    if (statMode < 0)
        throw UsageError{QStringLiteral("--mode: \"%1\" is not one of P, N, V, D").arg(mode)};
    auto f = readFilters<StatFilters>(a);
    f.mode = statMode;
    // The statistics window prints with the same title field as the sales query, from its own dates.
    return runReport(ctx, code, [&](TDMData& dm, Messages& m) { return RunStatistics(dm, m, f); },
                     {StatHeadings(f.mode), ColumnWidths(StatColumns()), CellStore(), SalesTitle(f.from, f.to),
                      StatTemplate(f.mode), f.mode, QString()});
}

std::optional<ResultGrid> queryStock(CliContext& ctx, const QStringList& args, const QString& command, int& code)
{
    CommandArgs a(args, {kCode, kName, kOutlet, kOutletName, kArea});
    noArguments(a, command);
    const auto f = readFilters<StockFilters>(a);
    return runReport(ctx, code, [&](TDMData& dm, Messages& m) { return RunStockQuery(dm, m, f); },
                     {StockHeadings(), ColumnWidths(StockColumns()), CellStore(), StockTitle(), kStockTemplate, -1, kStockGridId});
}

using Query = std::optional<ResultGrid> (*)(CliContext&, const QStringList&, const QString&, int&);

std::optional<ResultGrid> run(CliContext& ctx, const QStringList& args, Query query, const QString& command,
                              int& code)
{
    QStringList rest = args;
    const std::optional<SortRequest> sort = TakeSortOption(rest);
    std::optional<ResultGrid> grid = query(ctx, rest, command, code);
    if (grid && sort)
        SortResultRows(grid->headings, grid->cells, *sort);
    return grid;
}

int show(CliContext& ctx, const QStringList& args, Query query, const QString& command)
{
    QStringList rest = args;
    const bool chartable = query == queryStat;
    const OutputOptions options = TakeOutputOptions(rest, chartable);
    if (!options.chart.isEmpty() && !IsChartFileName(options.chart))
        throw UsageError{QStringLiteral("--chart: \"%1\" is not a .png, .svg or .pdf file").arg(options.chart)};
    int code = ExitFailed;
    const std::optional<ResultGrid> grid = run(ctx, rest, query, command, code);
    if (!grid)
        return code;
    const ReportGridTable table(grid->headings, grid->widths, grid->cells);
    code = WriteResult(ctx, options, grid->headings, grid->cells, table);
    if (code != ExitOk || options.chart.isEmpty())
        return code;
    // Qt Charts draws through widgets: main() starts a QApplication (offscreen) for --chart.
    QString error = QStringLiteral("--chart needs the program's graphics (run corvanta-cli itself)");
    if (QCoreApplication::instance() && QCoreApplication::instance()->inherits("QApplication") &&
        SaveStatChart(BuildStatChart(grid->statMode, table), options.chart, &error))
        return ExitOk;
    ctx.messages.systemBox(QStringLiteral("错误"), error);
    return ExitFailed;
}

int print(CliContext& ctx, const QStringList& args, Query query, const QString& command)
{
    int code = ExitFailed;
    const std::optional<ResultGrid> grid = run(ctx, args, query, command, code);
    if (!grid)
        return code;
    // The window prints its display grid: the account set's column configuration applies.
    ShownColumns shown{grid->headings, grid->widths, {}};
    if (!grid->gridId.isEmpty() && ctx.data) {
        const std::vector<ReportColumn>& columns = grid->gridId == kSalesGridId ? SalesColumns() : StockColumns();
        shown = ConfiguredColumns(*ctx.data, grid->gridId, columns);
    }
    const ReportGridTable table(shown.headings, shown.widths, grid->cells, shown.sources);
    DATABASEFILE tables(&ctx.messages);
    return PrintReportGrid(tables, ctx.messages, grid->title, table, grid->templateName, printLauncher()) ? ExitOk
                                                                                                       : ExitFailed;
}

}  // namespace

void registerReportCommands()
{
    const QString filters = QStringLiteral("[--code C] [--name N] [--outlet ID] [--outlet-name N]");
    const QString sales = QStringLiteral("--from D --to D ") + filters + QStringLiteral(" [--area A] [--type 销售|销售退货] [--sort HEADING[:desc]]");
    const QString stat = QStringLiteral("--mode P|N|V|D --from D --to D ") + filters + QStringLiteral(" [--type 销售|销售退货] [--sort HEADING[:desc]]");
    const QString stock = filters + QStringLiteral(" [--area A] [--sort HEADING[:desc]]");
    const QString output = QStringLiteral(" [--format tsv|csv|xlsx] [--output FILE] [--encoding utf8|gbk|gb18030]");
    commands()[QStringLiteral("sales")] = {sales + output, [](CliContext& c, const QStringList& a) {
                                               return show(c, a, querySales, QStringLiteral("sales"));
                                           }};
    commands()[QStringLiteral("stat")] = {stat + output + QStringLiteral(" [--chart FILE.png|.svg|.pdf]"), [](CliContext& c, const QStringList& a) {
                                              return show(c, a, queryStat, QStringLiteral("stat"));
                                          }};
    commands()[QStringLiteral("stock")] = {stock + output, [](CliContext& c, const QStringList& a) {
                                               return show(c, a, queryStock, QStringLiteral("stock"));
                                           }};
    printTargets()[QStringLiteral("sales")] = {sales, [](CliContext& c, const QStringList& a) {
                                                   return print(c, a, querySales, QStringLiteral("print sales"));
                                               }};
    printTargets()[QStringLiteral("stat")] = {stat, [](CliContext& c, const QStringList& a) {
                                                  return print(c, a, queryStat, QStringLiteral("print stat"));
                                              }};
    printTargets()[QStringLiteral("stock")] = {stock, [](CliContext& c, const QStringList& a) {
                                                   return print(c, a, queryStock, QStringLiteral("print stock"));
                                               }};
}

}  // namespace corvanta::cli
