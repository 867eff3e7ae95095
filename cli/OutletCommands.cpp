// outlets, outlet-add, outlet-modify, outlet-delete, print outlets: the outlet list window and
// its editor.
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/ResultOutput.h"
#include "cli/Tsv.h"
#include "reports/ReportLogic.h"
#include "connection/UDMData.h"
#include "dbf/DBF.h"
#include "outlets/OutletLogic.h"

#include <optional>

namespace corvanta::cli {

namespace {

const QStringList kFieldOptions{QStringLiteral("id"),  QStringLiteral("name"),    QStringLiteral("type"),
                                QStringLiteral("telephone"), QStringLiteral("fax"), QStringLiteral("address"),
                                QStringLiteral("linkman")};

void noArguments(const CommandArgs& a, const char* command)
{
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("%1 takes no arguments").arg(QLatin1String(command))};
}

// The list as the window loads it; nullopt after reporting an incomplete read, which the window
// would pass over in silence but a script must not take for the whole list.
std::optional<std::vector<OutletRecord>> loadComplete(CliContext& ctx, TDMData& dm)
{
    QString error;
    std::vector<OutletRecord> list = LoadOutlets(dm, ctx.messages, &error);
    if (!error.isEmpty()) {
        ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("读取网点列表失败：") + error);
        return std::nullopt;
    }
    return list;
}

int outlets(CliContext& ctx, const QStringList& args)
{
    QStringList rest = args;
    const OutputOptions options = TakeOutputOptions(rest);
    noArguments(CommandArgs(rest, {}), "outlets");
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    const auto list = loadComplete(ctx, *dm);
    if (!list)
        return ExitFailed;
    if (options.format != ExportFormat::Tsv || !options.output.isEmpty()) {
        CellStore cells(kOutletColumns);
        int n = 0;
        for (const OutletRecord& o : *list)
            cells.appendRow(OutletGridCells(++n, o));
        const auto& w = OutletGridWidths();
        const ReportGridTable table(OutletGridHeadings(), std::vector<int>(w.begin(), w.end()), cells);
        return WriteResult(ctx, options, OutletGridHeadings(), cells, table);
    }
    writeTsvRow(ctx.out, OutletGridHeadings());
    int k = 0;
    for (const OutletRecord& o : *list)
        writeTsvRow(ctx.out, OutletGridCells(++k, o));
    return ExitOk;
}

// The options given replace the editor's fields; the others keep what the editor starts with.
void applyOptions(const CommandArgs& a, OutletRecord& o)
{
    QString* fields[] = {&o.id, &o.name, &o.type, &o.telephone, &o.fax, &o.address, &o.linkman};
    for (qsizetype i = 0; i < kFieldOptions.size(); ++i)
        if (a.has(kFieldOptions[i]))
            *fields[i] = a.value(kFieldOptions[i]);
}

int saveOutlet(CliContext& ctx, TDMData& dm, OutletMode mode, const OutletRecord& o)
{
    // The editor's fields take no more than their byte limits; refuse rather than cut.
    if (auto problem = OutletLengthProblem(o)) {
        ctx.messages.superMsg(QStringLiteral("警告！"), *problem, QStringLiteral("myok"), QString(), QString());
        return ExitFailed;
    }
    return SaveOutlet(dm, ctx.messages, mode, o).saved ? ExitOk : ExitFailed;
}

int outletAdd(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, kFieldOptions);
    noArguments(a, "outlet-add");
    OutletRecord o;
    o.id = a.required(QStringLiteral("id"));
    o.name = a.required(QStringLiteral("name"));
    applyOptions(a, o);
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    return saveOutlet(ctx, *dm, OutletMode::Add, o);
}

int outletModify(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, kFieldOptions);
    noArguments(a, "outlet-modify");
    const QString id = a.required(QStringLiteral("id"));
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    // The editor opens on the outlet's row of the list: its number as listed, its other values.
    const auto list = loadComplete(ctx, *dm);
    if (!list)
        return ExitFailed;
    OutletRecord o;
    o.id = id;
    for (const OutletRecord& listed : *list) {
        if (listed.id.trimmed() == id.trimmed()) {
            o = listed;
            break;
        }
    }
    const QString listedId = o.id;
    applyOptions(a, o);
    o.id = listedId;
    return saveOutlet(ctx, *dm, OutletMode::Modify, o);
}

int outletDelete(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, {});
    if (a.positional().size() != 1 || a.positional()[0].isEmpty())
        throw UsageError{QStringLiteral("outlet-delete needs the outlet number ID")};
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    const std::optional<int> r = DeleteOutlet(*dm, ctx.messages, a.positional()[0]);
    return r && *r != 0 ? ExitFailed : ExitOk;
}

int printOutlets(CliContext& ctx, const QStringList& args)
{
    noArguments(CommandArgs(args, {}), "print outlets");
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    const auto list = loadComplete(ctx, *dm);
    if (!list)
        return ExitFailed;
    const OutletGridTable grid(*list);
    DATABASEFILE tables(&ctx.messages);
    return PrintOutletList(tables, ctx.messages, grid, printLauncher()) ? ExitOk : ExitFailed;
}

}  // namespace

void registerOutletCommands()
{
    const QString fields = QStringLiteral("[--type T] [--telephone T] [--fax F] [--address A] [--linkman L]");
    commands()[QStringLiteral("outlets")] = {QStringLiteral("[--format tsv|csv|xlsx] [--output FILE] [--encoding utf8|gbk]"), outlets};
    commands()[QStringLiteral("outlet-add")] = {QStringLiteral("--id ID --name NAME ") + fields, outletAdd};
    commands()[QStringLiteral("outlet-modify")] = {QStringLiteral("--id ID [--name NAME] ") + fields, outletModify};
    commands()[QStringLiteral("outlet-delete")] = {QStringLiteral("ID"), outletDelete};
    printTargets()[QStringLiteral("outlets")] = {QString(), printOutlets};
}

}  // namespace corvanta::cli
