#include "connection/LoginLogic.h"

#include "base/Config.h"
#include "base/Sysdef.h"
#include "connection/UDMData.h"
#include "base/TextHelpers.h"

#include <QDir>
#include <QFile>

namespace corvanta {

namespace {
const QString kInfo = QStringLiteral("info");
}

QString TrimServerName(const QString& typed)
{
    qsizetype b = 0;
    qsizetype e = typed.size();
    while (b < e && typed.at(b).unicode() <= 32)
        ++b;
    while (e > b && typed.at(e - 1).unicode() <= 32)
        --e;
    return typed.mid(b, e - b);
}

bool ConnectServer(TDMData& dm, const QString& typedServer, Messages& messages)
{
    const QString server = TrimServerName(typedServer);
    // A line break would become lines of their own in Config.cfg once DBServer is written.
    if (HasControlCharacter(server)) {
        messages.systemBox(QStringLiteral("错误"), ServerNameRuleText());
        return false;
    }
    if (auto problem = Config::Problem()) {
        messages.systemBox(QStringLiteral("错误"), *problem);
        return false;
    }
    try {
        dm.Connect(server, Config::User(), Config::Password(), Config::Engine());
    } catch (const DataFolderError& e) {
        messages.systemBox(QStringLiteral("错误"), DataFolderRuleText(GetDataDir()));
        messages.cause(CauseText(e));
        return false;
    } catch (const std::exception& e) {
        messages.systemBox(QStringLiteral("错误"), QStringLiteral("连接失败，请确认输入正确的服务器名！"));
        messages.cause(CauseText(e));
        return false;
    }
    Config::WriteDBServer(server);
    return true;
}

std::optional<std::vector<AccountSetRow>> LoadAccountSets(TDMData& dm, Messages& messages)
{
    std::vector<AccountSetRow> rows;
    try {
        dm.CreateCatalogueTable();
        for (const char* script : {"drop.txt", "CreateZt.txt", "DeleteZt.txt", "GetZt.txt"}) {
            const QString path = dm.CatalogueScriptPath(QString::fromLatin1(script));
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                throw DbError(QStringLiteral("cannot read %1").arg(path));
            dm.RunScript(QString::fromUtf8(f.readAll()));
        }
        dm.CallProc(dm.QueryProc, QStringLiteral("hz_getzt"), {}, true);
        for (int r = 1; !dm.QueryProc.Eof(); dm.QueryProc.Next(), ++r)
            rows.push_back({r, dm.QueryProc.FieldText(QStringLiteral("SYSNAME")),
                            dm.QueryProc.FieldText(QStringLiteral("DBNAME")),
                            int(dm.QueryProc.FieldByName(QStringLiteral("SYSID")).AsInteger())});
        dm.QueryProc.Close();
    } catch (const std::exception& e) {
        messages.systemBox(QStringLiteral("系统提示"), QStringLiteral("数据库连接失败，请检查配置文件是否正确！"));
        messages.cause(CauseText(e));
        return std::nullopt;
    }
    return rows;
}

int AccountSetGridRows(int n)
{
    return Larger(n + 1, 7);
}

void ChooseAccountSet(TDMData& dm, const QString& dbName)
{
    if (dm.ADOConnection.DefaultDatabase() != dbName)
        dm.ADOConnection.SetDefaultDatabase(dbName);
}

namespace {
bool isAdministrator(const QString& account, const QString& password)
{
    return account == Config::User() && password == Config::Password();
}
}  // namespace

int CreateAccountSet(TDMData& dm, const QString& account, const QString& password, const QString& dbName,
                     const QString& setName)
{
    if (!isAdministrator(account, password))
        return -1;
    dm.RestoreDatabase(dbName);
    try {
        // -1: the catalogue has that name already; the new database must not stay unregistered.
        if (dm.CallProc(dm.InsertProc, QStringLiteral("hz_insertzt"),
                        {{QStringLiteral("@dbName"), dbName}, {QStringLiteral("@szSYSname"), setName}}) != 0)
            throw CreationError(CreationError::Why::Registered, dbName,
                                QStringLiteral("The catalogue lists \"%1\" already").arg(dbName));
    } catch (...) {
        try {
            dm.AbandonDatabase(dbName);
        } catch (const std::exception&) {
        }
        throw;
    }
    return 0;
}

int DeleteAccountSet(TDMData& dm, const QString& account, const QString& password, int ztid)
{
    if (!isAdministrator(account, password))
        return -1;
    return dm.CallProc(dm.InsertProc, QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), ztid}});
}

QString ServerNameRuleText()
{
    return QStringLiteral("服务器名不能包含换行符或其他控制字符！");
}

QString DataFolderRuleText(const QString& dir)
{
    return QStringLiteral("数据文件夹 %1 不可写，请检查该文件夹的权限！").arg(QDir::toNativeSeparators(dir));
}

QString AccountSetNameRuleText()
{
    return QStringLiteral("帐套名称最长%1个字符！").arg(kAccountSetNameChars);
}

QString CreationReasonText(const std::exception& e)
{
    if (dynamic_cast<const DataFolderError*>(&e))
        return QStringLiteral("数据文件夹 %1 不可写").arg(QDir::toNativeSeparators(GetDataDir()));
    const auto* c = dynamic_cast<const CreationError*>(&e);
    if (!c)
        return QString();
    switch (c->why) {
    case CreationError::Why::NameTaken:
        return QStringLiteral("数据库名称已被占用：已有数据库 %1").arg(c->name);
    case CreationError::Why::CreationRunning:
        return QStringLiteral("数据库名称已被占用：另一个用户正在创建数据库 %1").arg(c->name);
    case CreationError::Why::Registered:
        return QStringLiteral("数据库名称已被占用：帐套目录中已有数据库 %1").arg(c->name);
    case CreationError::Why::TemplateMissing:
        return QStringLiteral("帐套模板 %1 缺失或不可读").arg(QDir::toNativeSeparators(c->name));
    case CreationError::Why::NotPermitted:
        return QStringLiteral("服务器登录帐号无权创建数据库");
    }
    return QString();
}

QString DatabaseNameRuleText()
{
    return QStringLiteral("数据库名称只能由英文字母、数字和下划线组成，以字母开头，最长50个字节！");
}

ConfirmResult ConfirmCreateAccountSet(TDMData& dm, Messages& messages, const QString& account,
                                      const QString& password, const QString& setName, const QString& dbName)
{
    if (IsBlank(account) || IsBlank(setName) || IsBlank(dbName)) {
        messages.superMsg(QStringLiteral("提示信息"), QStringLiteral("管理员帐号、帐套名称和数据库名称都不能为空！"),
                          QStringLiteral("myok"));
        return {};
    }
    // Every later listing would send them to the terminal or the grid as they are.
    if (HasControlCharacter(setName)) {
        messages.superMsg(QStringLiteral("提示信息"), ControlCharacterRuleText(QStringLiteral("帐套名称")),
                          QStringLiteral("myok"), QString(), QStringLiteral("stop"));
        return {};
    }
    // The catalogue's column holds this many characters; refuse before anything is created.
    if (setName.toUcs4().size() > kAccountSetNameChars) {
        messages.superMsg(QStringLiteral("提示信息"), AccountSetNameRuleText(), QStringLiteral("myok"), QString(),
                          QStringLiteral("stop"));
        return {};
    }
    // The name becomes a file name or an identifier on the server: refuse anything else up front.
    if (!IsPlainDatabaseName(dbName)) {
        messages.superMsg(QStringLiteral("提示信息"), DatabaseNameRuleText(), QStringLiteral("myok"), QString(),
                          QStringLiteral("stop"));
        return {};
    }
    int result = -1;
    try {
        result = CreateAccountSet(dm, account, password, dbName, setName);
    } catch (const std::exception& e) {
        const QString reason = CreationReasonText(e);
        if (reason.isEmpty()) {
            messages.superMsg(QStringLiteral("提示"), QStringLiteral("创建帐套失败!"), QStringLiteral("myok"), QString(), kInfo);
            messages.cause(CauseText(e));
        } else {
            messages.superMsgWithReason(QStringLiteral("提示"), QStringLiteral("创建帐套失败!"), QStringLiteral("myok"),
                                        QString(), kInfo, reason);
        }
        return {};
    }
    if (result == -1) {
        messages.superMsg(QStringLiteral("错误"), QStringLiteral("管理员密码不对,创建帐套失败!"), QStringLiteral("myok"),
                          QString(), QStringLiteral("stop"));
        return {DialogOutcome::StayOpen, FocusTo::Password};
    }
    messages.superMsg(QStringLiteral("提示"), QStringLiteral("创建帐套成功!"), QStringLiteral("myok"), QString(), kInfo);
    return {DialogOutcome::Done, FocusTo::None};
}

ConfirmResult ConfirmDeleteAccountSet(TDMData& dm, Messages& messages, const QString& account,
                                      const QString& password, int ztid)
{
    if (IsBlank(account)) {
        messages.systemBox(QStringLiteral("提示信息"), QStringLiteral("管理员帐号不能为空！"));
        return {};
    }
    int result = -1;
    try {
        result = DeleteAccountSet(dm, account, password, ztid);
    } catch (const std::exception& e) {
        messages.superMsg(QStringLiteral("提示"), QStringLiteral("删除帐套失败!"), QStringLiteral("myok"), QString(), kInfo);
        messages.cause(CauseText(e));
        return {};
    }
    if (result == -1) {
        messages.systemBox(QStringLiteral("错误"), QStringLiteral("管理员密码不对,删除帐套失败!"));
        return {DialogOutcome::StayOpen, FocusTo::Password};
    }
    if (result == -2) {
        messages.superMsg(QStringLiteral("提示"), QStringLiteral("帐套不存在（SYSID %1），删除帐套失败!").arg(ztid),
                          QStringLiteral("myok"), QString(), QStringLiteral("stop"));
        return {};
    }
    messages.superMsg(QStringLiteral("提示"), QStringLiteral("删除帐套成功!"), QStringLiteral("myok"), QString(), kInfo);
    return {DialogOutcome::Done, FocusTo::None};
}

}  // namespace corvanta
