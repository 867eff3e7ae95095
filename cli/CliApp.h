#pragma once
// corvanta-cli: the client's work without a screen, over the same application layer.
//   corvanta-cli [--server NAME] [--account-set DBNAME] COMMAND [ARGS...]
// Output: UTF-8 TSV on standard output; messages on standard error as "[caption] text".
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <map>
#include <memory>

namespace corvanta {
class TDMData;
}

namespace corvanta::cli {

enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitNoConnection = 3 };

class CliMessages;

// A usage error: the text goes to standard error, the exit status is 2.
struct UsageError {
    QString text;
};

struct CliContext {
    QString server;      // --server, else what the login dialog proposes
    QString accountSet;  // --account-set
    QTextStream& out;
    QTextStream& err;
    CliMessages& messages;

    // The open connection: in master, or switched to --account-set when needAccountSet.
    // Prints the reason and returns nullptr when it cannot connect (exit 3).
    TDMData* connect(bool needAccountSet);

    std::unique_ptr<TDMData> data;
};

using Command = std::function<int(CliContext&, const QStringList& args)>;

struct CommandInfo {
    QString usage;
    Command run;
};

// Every command, by name.
std::map<QString, CommandInfo>& commands();

// "print WHAT [ARGS...]": the "打印" button of a window; each window's commands register the
// targets they can print, by name.
std::map<QString, CommandInfo>& printTargets();

// Starts PRINT.EXE for the print commands; empty (the default) starts it detached. Tests set it
// to record the start instead.
using PrintLauncher = std::function<bool(const QString& program, const QStringList& arguments)>;
PrintLauncher& printLauncher();

// Runs one command line (arguments without the program name); returns the exit status.
int runCli(const QStringList& args, QTextStream& out, QTextStream& err);

// Options of a command: "--name value" pairs, "--flag" switches and plain arguments.
class CommandArgs {
public:
    CommandArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flags = {});
    bool has(const QString& name) const { return m_values.count(name) > 0 || m_flags.contains(name); }
    QString value(const QString& name) const;
    QString required(const QString& name) const;  // throws UsageError when missing
    const QStringList& positional() const { return m_positional; }

private:
    std::map<QString, QString> m_values;
    QStringList m_flags;
    QStringList m_positional;
};

}  // namespace corvanta::cli
