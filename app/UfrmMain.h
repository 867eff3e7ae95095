#pragma once
// The main window: a launcher for the four commands, shown maximised; at its first showing it
// runs the server login and ends the program when no account set was chosen.
#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"

#include <QMainWindow>
#include <functional>
#include <utility>
#include <memory>

class QAction;
class QMenu;
class QToolButton;

class QLabel;

namespace corvanta {

class DATABASEFILE;

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    QAction* ActSalesNet;
    QAction* ActDataAdd;
    QAction* ActImportLog;  // "导入记录" in the "数据导入" menu
    QAction* ActDeliveries;  // "数据到达情况" in the "数据导入" menu
    QAction* ActStat;
    QAction* ActKCStat;
    QMenu* MenuSalesNet;
    QMenu* MenuDataAdd;
    QMenu* MenuStat;
    QWidget* ToolPanel;
    QToolButton* BtnSalesNet;
    QToolButton* BtnDataAdd;
    QToolButton* BtnStat;
    QToolButton* BtnKCStat;
    // The import file chosen by ActDataAdd; the import window reads its FileName.
    TOpenDialog OpenDialog1;

    // The server login; 0 when an account set was chosen. Until the login is wired in, it lets
    // every start through.
    std::function<int()> runServerLogin = [] { return 0; };
    // Ends the program after an abandoned login (replaceable for tests).
    std::function<void()> terminateApplication;
    // After the login: the server and the open account set, for the status bar.
    std::function<std::pair<QString, QString>()> sessionNames;
    QLabel* SessionLabel = nullptr;  // in the status bar: "服务器：… 帐套：…"

    // The windows the commands open modally (each creates its window and frees it when it
    // closes). A command whose window is not set says that the function is not available yet.
    std::function<void(TfrmMain&)> openOutletList;
    std::function<void(TfrmMain&)> openImport;
    std::function<void(TfrmMain&)> openImportLog;
    std::function<void(TfrmMain&)> openDeliveries;
    std::function<void(TfrmMain&)> openSales;
    std::function<void(TfrmMain&)> openStock;

    void ActSalesNetExecute();
    void ActDataAddExecute();
    void ActImportLogExecute();
    void ActDeliveriesExecute();
    void ActStatExecute();
    void ActKCStatExecute();

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();

    bool loginDone() const { return m_loginDone; }
    // The one dBASE table object, alive from FormCreate until the window is asked to close.
    DATABASEFILE* Tables() const { return m_tables.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* makeAction(const QString& caption, const QString& hint, const QKeySequence& shortcut,
                        const QPixmap& picture, void (TfrmMain::*handler)());
    QToolButton* makeToolButton(QAction* action);
    void runCommand(const QString& caption, const std::function<void(TfrmMain&)>& open);
    void setCommandsEnabled(bool enabled);

    GuiMessages m_tablesMessages;
    std::unique_ptr<DATABASEFILE> m_tables;
    bool m_showHandled = false;
    bool m_loginDone = false;
};

}  // namespace corvanta
