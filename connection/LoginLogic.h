#pragma once
// What the login, account-set creation and deletion dialogs do, without widgets. The dialogs
// and corvanta-cli both call these.
#include "logic/Messages.h"

#include <QString>
#include <exception>
#include <optional>
#include <vector>

namespace corvanta {

class TDMData;

// One row of the account-set grid: sequence number, name, database name, catalogue id.
struct AccountSetRow {
    int seq = 0;
    QString name;
    QString dbName;
    int sysId = 0;
};

// The server name typed: leading and trailing blanks and control characters removed.
QString TrimServerName(const QString& typed);

// Opens the connection to the server's master database with Config.cfg's USER/PASSWORD and
// writes DBServer. On failure shows "连接失败，请确认输入正确的服务器名！" and returns false.
// A server name with a control character inside, or a Config.cfg that Config::Problem() refuses,
// gets its own message and returns false before any connection attempt.
bool ConnectServer(TDMData& dm, const QString& typedServer, Messages& messages);

// The catalogue table, the four scripts and hz_getzt. nullopt after showing
// "数据库连接失败，请检查配置文件是否正确！" (the program then ends).
std::optional<std::vector<AccountSetRow>> LoadAccountSets(TDMData& dm, Messages& messages);

// Rows the grid gets for n account sets: header plus at least six data rows.
int AccountSetGridRows(int n);

// Switches the open connection to the account set's database (nothing sent when it is current).
void ChooseAccountSet(TDMData& dm, const QString& dbName);

// -1 when the administrator check fails; 0 when created. Server failures are raised.
int CreateAccountSet(TDMData& dm, const QString& account, const QString& password,
                     const QString& dbName, const QString& setName);
// -1 when the administrator check fails, else hz_DeleteZt's return value (-2: no such SYSID).
// Server failures are raised.
int DeleteAccountSet(TDMData& dm, const QString& account, const QString& password, int ztid);

enum class DialogOutcome {
    StayOpen,  // a check failed or the server refused; the message has been shown
    Done,      // success shown; the dialog closes
};
enum class FocusTo { None, Account, Password };

struct ConfirmResult {
    DialogOutcome outcome = DialogOutcome::StayOpen;
    FocusTo focus = FocusTo::None;
};

// "确  定" of the creation dialog: blank check, database-name rule, CreateAccountSet, messages.
// Why a creation failed, in the user's words; empty when the engine's own text is all we know.
QString CreationReasonText(const std::exception& e);

ConfirmResult ConfirmCreateAccountSet(TDMData& dm, Messages& messages, const QString& account,
                                      const QString& password, const QString& setName, const QString& dbName);
// "确  定" of the deletion dialog.
ConfirmResult ConfirmDeleteAccountSet(TDMData& dm, Messages& messages, const QString& account,
                                      const QString& password, int ztid);

// The message shown when a server name holds a control character.
QString ServerNameRuleText();

// The message shown when a database name is not a plain identifier.
QString DatabaseNameRuleText();
// The catalogue's sysname column: varchar(50), in characters.
inline constexpr int kAccountSetNameChars = 50;
QString AccountSetNameRuleText();
// The embedded engine's data folder cannot be written.
QString DataFolderRuleText(const QString& dir);

}  // namespace corvanta
