// deliveries: the "数据到达情况" window's grid. With --missing only the outlets with a day
// missing, and the exit status says whether there is any: 1 (with a message) when some outlet
// misses a day, 0 when every outlet delivered every day.
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/ResultOutput.h"
#include "cli/SortOption.h"
#include "reports/DeliveriesLogic.h"
#include "reports/ReportLogic.h"

namespace corvanta::cli {

namespace {

QDate dateOf(const CommandArgs& a, const QString& name)
{
    const QString text = a.required(name);
    const std::optional<QDate> d = ParseProcDate(text);
    if (!d)
        throw UsageError{QStringLiteral("--%1: \"%2\" is not a date (yyyy-mm-dd)").arg(name, text)};
    return *d;
}

int deliveries(CliContext& ctx, const QStringList& args)
{
    QStringList rest = args;
    const OutputOptions options = TakeOutputOptions(rest);
    const std::optional<SortRequest> sort = TakeSortOption(rest);
    const QString kMissing = QStringLiteral("missing");
    CommandArgs a(rest, {QStringLiteral("from"), QStringLiteral("to")}, {kMissing});
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("deliveries takes no arguments")};
    DeliveriesFilters f;
    f.from = dateOf(a, QStringLiteral("from"));
    f.to = dateOf(a, QStringLiteral("to"));
    f.missingOnly = a.has(kMissing);
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    DeliveriesRun run = RunDeliveries(*dm, ctx.messages, f);
    if (run.outcome != DeliveriesOutcome::Done)
        return ExitFailed;
    if (sort)
        SortResultRows(run.headings, run.cells, *sort);
    const ReportGridTable table(run.headings, run.widths, run.cells);
    const int code = WriteResult(ctx, options, run.headings, run.cells, table);
    if (code != ExitOk || !f.missingOnly || run.outletsMissing == 0)
        return code;
    ctx.messages.systemBox(kSystemCaption, QStringLiteral("%1 个网点有缺少数据的日期").arg(run.outletsMissing));
    return ExitFailed;
}

}  // namespace

void registerDeliveriesCommand()
{
    commands()[QStringLiteral("deliveries")] = {
        QStringLiteral("--from D --to D [--missing] [--sort HEADING[:desc]] [--format tsv|csv|xlsx] [--output FILE] "
                       "[--encoding utf8|gbk]"),
        deliveries};
}

}  // namespace corvanta::cli
