// import: the import run, file after file, as the import window performs it, each run written to
// the import history. history: that history.
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/ResultOutput.h"
#include "cli/Tsv.h"
#include "base/CellStore.h"
#include "import/ImportHistory.h"
#include "reports/ReportLogic.h"

#include <limits>

namespace corvanta::cli {

namespace {

// The import window's progress has no place here; only a wait for another import is told, once.
class WaitNotice : public ImportObserver {
public:
    explicit WaitNotice(QTextStream& err) : m_err(err) {}
    void setWaiting(const QString& text) override
    {
        m_err << formatMessage(importtext::systemCaption(), text) << Qt::endl;
    }

private:
    QTextStream& m_err;
};

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
        WaitNotice notice(ctx.err);
        const RecordedImport run = RunRecordedImport(*dm, file, ctx.messages, &notice);
        if (!run.ok()) {
            // After the messages, the failure located: "FILE:LINE: reason".
            if (!run.result.reason.isEmpty()) {
                ctx.err << tsvCell(LocatedReason(run.result)) << Qt::endl;  // no control character reaches the terminal
            }
            anyFailed = true;
            if (!keepGoing)
                break;
        }
    }
    return anyFailed ? ExitFailed : ExitOk;
}

// The history window's grid: newest run first.
int history(CliContext& ctx, const QStringList& args)
{
    const QString kLimit = QStringLiteral("limit");
    QStringList rest = args;
    const OutputOptions options = TakeOutputOptions(rest);
    CommandArgs a(rest, {kLimit});
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("history takes no arguments")};
    int limit = 0;
    if (a.has(kLimit)) {
        bool ok = false;
        limit = a.value(kLimit).trimmed().toInt(&ok);
        if (!ok || limit < 1)
            throw UsageError{QStringLiteral("--limit: \"%1\" is not a whole number from 1 to %2")
                                 .arg(a.value(kLimit))
                                 .arg(std::numeric_limits<int>::max())};
    }
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;
    CellStore cells;
    try {
        cells = LoadImportLog(*dm, limit);
    } catch (const std::exception& e) {
        ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("读取导入记录失败：") + CauseText(e));
        return ExitFailed;
    }
    if (options.format != ExportFormat::Tsv || !options.output.isEmpty()) {
        const auto& w = ImportLogWidths();
        const ReportGridTable table(ImportLogHeadings(), std::vector<int>(w.begin(), w.end()), cells);
        return WriteResult(ctx, options, ImportLogHeadings(), cells, table);
    }
    writeTsvStore(ctx.out, ImportLogHeadings(), cells);
    return ExitOk;
}

}  // namespace

void registerImportCommand()
{
    commands()[QStringLiteral("import")] = {QStringLiteral("[--keep-going] FILE..."), importFiles};
    commands()[QStringLiteral("history")] = {QStringLiteral("[--limit N] [--format tsv|csv|xlsx] [--output FILE] [--encoding utf8|gbk|gb18030]"), history};
}

}  // namespace corvanta::cli
