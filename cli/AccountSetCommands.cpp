// accountsets, accountset-create, accountset-delete: the login dialog's grid and its two
// administrator dialogs.
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/Tsv.h"
#include "connection/LoginLogic.h"
#include "connection/UDMData.h"

namespace corvanta::cli {

namespace {

int accountSets(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, {});
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("accountsets takes no arguments")};
    TDMData* dm = ctx.connect(false);
    if (!dm)
        return ExitNoConnection;
    auto rows = LoadAccountSets(*dm, ctx.messages);
    if (!rows)
        return ExitNoConnection;
    writeTsvRow(ctx.out, {QStringLiteral("编号"), QStringLiteral("帐套名称"), QStringLiteral("数据库名称"),
                          QStringLiteral("SYSID")});
    for (const auto& r : *rows)
        writeTsvRow(ctx.out, {QString::number(r.seq), r.name, r.dbName, QString::number(r.sysId)});
    return ExitOk;
}

int accountSetCreate(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, {QStringLiteral("admin"), QStringLiteral("password")});
    if (a.positional().size() != 2)
        throw UsageError{QStringLiteral("accountset-create needs NAME and DBNAME")};
    TDMData* dm = ctx.connect(false);
    if (!dm)
        return ExitNoConnection;
    // The dialog reloads the list before and after; the catalogue must exist for the insert.
    if (!LoadAccountSets(*dm, ctx.messages))
        return ExitNoConnection;
    ConfirmResult r = ConfirmCreateAccountSet(*dm, ctx.messages, a.required(QStringLiteral("admin")),
                                              a.value(QStringLiteral("password")), a.positional()[0],
                                              a.positional()[1]);
    return r.outcome == DialogOutcome::Done ? ExitOk : ExitFailed;
}

int accountSetDelete(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, {QStringLiteral("admin"), QStringLiteral("password")});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("accountset-delete needs SYSID")};
    bool ok = false;
    const int id = a.positional()[0].toInt(&ok);
    if (!ok)
        throw UsageError{QStringLiteral("SYSID must be a whole number: %1").arg(a.positional()[0])};
    TDMData* dm = ctx.connect(false);
    if (!dm)
        return ExitNoConnection;
    if (!LoadAccountSets(*dm, ctx.messages))
        return ExitNoConnection;
    ConfirmResult r = ConfirmDeleteAccountSet(*dm, ctx.messages, a.required(QStringLiteral("admin")),
                                              a.value(QStringLiteral("password")), id);
    return r.outcome == DialogOutcome::Done ? ExitOk : ExitFailed;
}

}  // namespace

void registerAccountSetCommands()
{
    commands()[QStringLiteral("accountsets")] = {QString(), accountSets};
    commands()[QStringLiteral("accountset-create")] = {QStringLiteral("--admin USER --password PW NAME DBNAME"),
                                                       accountSetCreate};
    commands()[QStringLiteral("accountset-delete")] = {QStringLiteral("--admin USER --password PW SYSID"),
                                                       accountSetDelete};
}

}  // namespace corvanta::cli
