// import: the import run, file after file, as the import window performs it.
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "import/DataImportProcedures.h"
#include "import/ImportRun.h"

namespace corvanta::cli {

namespace {

int importFiles(CliContext& ctx, const QStringList& args)
{
    CommandArgs a(args, {}, {QStringLiteral("keep-going")});
    if (a.positional().isEmpty())
        throw UsageError{QStringLiteral("import needs at least one FILE")};
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    const bool keepGoing = a.has(QStringLiteral("keep-going"));
    bool anyFailed = false;
    for (const QString& file : a.positional()) {
        DataImportProcedures procedures(*dm);
        ImportResult result = RunImport(file, procedures, ctx.messages);
        if (!result.ok()) {
            // After the messages, the failure located: "FILE:LINE: reason".
            if (!result.reason.isEmpty()) {
                QString located = LocatedReason(result);
                located.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
                ctx.err << located << Qt::endl;
            }
            anyFailed = true;
            if (!keepGoing)
                break;
        }
    }
    return anyFailed ? ExitFailed : ExitOk;
}

}  // namespace

void registerImportCommand()
{
    commands()[QStringLiteral("import")] = {QStringLiteral("[--keep-going] FILE..."), importFiles};
}

}  // namespace corvanta::cli
