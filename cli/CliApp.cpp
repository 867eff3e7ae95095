#include "cli/CliApp.h"

#include "base/AtomicFile.h"
#include "base/Config.h"
#include "base/Sysdef.h"
#include "cli/CliMessages.h"
#include "connection/LoginLogic.h"
#include "connection/UDMData.h"

#include <QFileDevice>

namespace corvanta::cli {

void registerAccountSetCommands();
void registerImportCommand();
void registerIntakeCommand();
void registerDeliveriesCommand();
void registerOutletCommands();
void registerReportCommands();

namespace {

int printCommand(CliContext& ctx, const QStringList& args)
{
    QStringList targets;
    for (const auto& [name, info] : printTargets())
        targets << name + (info.usage.isEmpty() ? QString() : QStringLiteral(" ") + info.usage);
    if (args.isEmpty())
        throw UsageError{QStringLiteral("print needs what to print: %1").arg(targets.join(QStringLiteral(" | ")))};
    auto it = printTargets().find(args[0]);
    if (it == printTargets().end())
        throw UsageError{QStringLiteral("print: unknown target %1 (known: %2)").arg(args[0], targets.join(QStringLiteral(" | ")))};
    return it->second.run(ctx, args.mid(1));
}

}  // namespace

std::map<QString, CommandInfo>& printTargets()
{
    static std::map<QString, CommandInfo> table;
    return table;
}

PrintLauncher& printLauncher()
{
    static PrintLauncher launcher;
    return launcher;
}

std::map<QString, CommandInfo>& commands()
{
    static std::map<QString, CommandInfo> table;
    static bool registered = false;
    if (!registered) {
        registered = true;
        registerAccountSetCommands();
        registerImportCommand();
        registerIntakeCommand();
        registerDeliveriesCommand();
        registerOutletCommands();
        registerReportCommands();
        table[QStringLiteral("print")] = {QStringLiteral("WHAT [ARGS...]"), printCommand};
    }
    return table;
}

TDMData* CliContext::connect(bool needAccountSet)
{
    if (needAccountSet && accountSet.isEmpty())
        throw UsageError{QStringLiteral("this command needs --account-set DBNAME")};
    if (!data)
        data = std::make_unique<TDMData>();
    if (!data->ADOConnection.Connected() && !ConnectServer(*data, server, messages))
        return nullptr;
    if (!needAccountSet)
        return data.get();
    // Only a registered account set may be chosen, as in the login grid.
    auto rows = LoadAccountSets(*data, messages);
    if (!rows)
        return nullptr;
    for (const auto& r : *rows) {
        if (r.dbName == accountSet) {
            ChooseAccountSet(*data, accountSet);
            return data.get();
        }
    }
    messages.systemBox(QStringLiteral("错误"), QStringLiteral("帐套不存在：%1").arg(accountSet));
    return nullptr;
}

CommandArgs::CommandArgs(const QStringList& args, const QStringList& valueOptions, const QStringList& flags)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--")) {
            m_positional += args.mid(i + 1);
            break;
        }
        if (!a.startsWith(QStringLiteral("--")) || a.size() == 2) {
            m_positional << a;
            continue;
        }
        QString name = a.mid(2);
        QString inlineValue;
        bool hasInline = false;
        if (qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            inlineValue = name.mid(eq + 1);
            name = name.left(eq);
            hasInline = true;
        }
        if (flags.contains(name) && !hasInline) {
            m_flags << name;
        } else if (valueOptions.contains(name)) {
            if (hasInline) {
                m_values[name] = inlineValue;
            } else {
                if (i + 1 >= args.size())
                    throw UsageError{QStringLiteral("option --%1 needs a value").arg(name)};
                m_values[name] = args[++i];
            }
        } else {
            throw UsageError{QStringLiteral("unknown option --%1").arg(name)};
        }
    }
}

QString CommandArgs::value(const QString& name) const
{
    auto it = m_values.find(name);
    return it == m_values.end() ? QString() : it->second;
}

QString CommandArgs::required(const QString& name) const
{
    auto it = m_values.find(name);
    if (it == m_values.end())
        throw UsageError{QStringLiteral("option --%1 is required").arg(name)};
    return it->second;
}

namespace {

void printUsage(QTextStream& err)
{
    err << "usage: corvanta-cli [--server NAME] [--account-set DBNAME] COMMAND [ARGS...]\n"
           "commands:\n";
    for (const auto& [name, info] : commands())
        err << "  " << name << (info.usage.isEmpty() ? QString() : QStringLiteral(" ") + info.usage) << '\n';
}

}  // namespace

int runCli(const QStringList& args, QTextStream& out, QTextStream& err)
{
    CliMessages messages(err);
    QString server;
    QString accountSet;
    qsizetype i = 0;
    auto fail = [&](const QString& text) {
        err << "corvanta-cli: " << text << '\n';
        printUsage(err);
        err.flush();
        return int(ExitUsage);
    };
    for (; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--server") || a == QStringLiteral("--account-set")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("option %1 needs a value").arg(a));
            (a == QStringLiteral("--server") ? server : accountSet) = args[++i];
        } else if (a.startsWith(QStringLiteral("--server="))) {
            server = a.mid(9);
        } else if (a.startsWith(QStringLiteral("--account-set="))) {
            accountSet = a.mid(14);
        } else if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            printUsage(out);
            return ExitOk;
        } else if (a.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("unknown option %1").arg(a));
        } else {
            break;
        }
    }
    if (i >= args.size())
        return fail(QStringLiteral("no command given"));
    const QString name = args[i];
    auto it = commands().find(name);
    if (it == commands().end())
        return fail(QStringLiteral("unknown command %1").arg(name));

    // Refused before anything is read or connected: the name would be written into Config.cfg.
    if (HasControlCharacter(TrimServerName(server)))
        return fail(QStringLiteral("--server: ") + ServerNameRuleText());
    // Fail closed: an unusable Config.cfg must not fall back to the default administrator.
    if (auto problem = Config::Problem()) {
        messages.systemBox(QStringLiteral("错误"), *problem);
        err.flush();
        return ExitFailed;
    }
    SetReturnValueName(ReturnValueNameFor(Config::Version()));
    if (server.isEmpty())
        server = Config::Server();
    CliContext ctx{server, accountSet, out, err, messages, {}};
    int code = ExitFailed;
    try {
        code = it->second.run(ctx, args.mid(i + 1));
    } catch (const UsageError& e) {
        code = fail(e.text);
    } catch (const std::exception& e) {
        messages.systemBox(QStringLiteral("错误"), QString::fromStdString(e.what()));
        code = ExitFailed;
    }
    // A result that did not reach its reader whole is a failure, whatever the command did.
    out.flush();
    const auto* device = qobject_cast<const QFileDevice*>(out.device());
    const auto* checked = dynamic_cast<const CheckedStream*>(out.device());
    QString failure = checked ? checked->failure() : QString();
    if (failure.isEmpty() && device && device->error() != QFileDevice::NoError)
        failure = device->errorString();
    if (failure.isEmpty() && out.status() != QTextStream::Ok)
        failure = QStringLiteral("写入出错");
    if (!failure.isEmpty()) {
        messages.systemBox(QStringLiteral("错误"), QStringLiteral("写入标准输出失败：") + failure);
        if (code == ExitOk)
            code = ExitFailed;
    }
    err.flush();
    return code;
}

}  // namespace corvanta::cli
