#include "base/Sysdef.h"
#include "app/UfrmMain.h"
#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"
#include "dialogs/SuperMsg.h"
#include "tests/support/GuiTestBase.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QStatusBar>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace corvanta;

namespace {

// A main window past a successful login, with counting command windows.
struct WorkingWindow {
    test::TempProgramDir dir;
    TfrmMain w;
    int outlet = 0, import = 0, sales = 0, stock = 0;
    WorkingWindow()
    {
        w.openOutletList = [this](TfrmMain&) { ++outlet; };
        w.openImport = [this](TfrmMain&) { ++import; };
        w.openSales = [this](TfrmMain&) { ++sales; };
        w.openStock = [this](TfrmMain&) { ++stock; };
        w.FormShow();
    }
};

// Every window test of the main window answers its dialogs through the seams.
class MainWindow : public test::GuiTestBase<> {};

}  // namespace

TEST_F(MainWindow, MenusToolbarAndCommands)
{
    test::TempProgramDir dir;
    TfrmMain w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Quorvel销售汇总版"));

    const QList<QAction*> menus = w.menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("销售网点"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("数据导入"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("销售统计"));
    EXPECT_EQ(w.MenuSalesNet->actions(), QList<QAction*>({w.ActSalesNet}));
    // The import history sits under the import command; like it, only usable after the login.
    EXPECT_EQ(w.MenuDataAdd->actions(), QList<QAction*>({w.ActDataAdd, w.ActImportLog, w.ActDeliveries}));
    EXPECT_EQ(w.ActDeliveries->text(), QStringLiteral("数据到达情况"));
    EXPECT_EQ(w.ActImportLog->text(), QStringLiteral("导入记录"));
    EXPECT_FALSE(w.ActImportLog->isEnabled());
    EXPECT_EQ(w.MenuStat->actions(), QList<QAction*>({w.ActStat, w.ActKCStat}));

    struct Expected { QAction* action; const char* caption; const char* hint; QKeySequence key; QToolButton* button; };
    const Expected commands[] = {
        {w.ActSalesNet, "销售网点", "维护销售网点的基本信息", QKeySequence(QStringLiteral("Ctrl+S")), w.BtnSalesNet},
        {w.ActDataAdd, "数据导入", "导入销售数据", QKeySequence(QStringLiteral("Ctrl+A")), w.BtnDataAdd},
        {w.ActStat, "销售统计", "产品销售统计分析", QKeySequence(QStringLiteral("Ctrl+T")), w.BtnStat},
        {w.ActKCStat, "库存统计", "统计商品库存情况", QKeySequence(QStringLiteral("Ctrl+K")), w.BtnKCStat},
    };
    int lastX = -1;
    for (const Expected& e : commands) {
        EXPECT_EQ(e.action->text(), QString::fromUtf8(e.caption));
        EXPECT_EQ(e.action->toolTip(), QString::fromUtf8(e.hint));
        EXPECT_EQ(e.action->shortcut(), e.key);
        EXPECT_EQ(e.button->defaultAction(), e.action);
        EXPECT_EQ(e.button->size(), QSize(73, 57));
        EXPECT_EQ(e.button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_TRUE(e.button->autoRaise());
        const int place = w.ToolPanel->layout()->indexOf(e.button);
        EXPECT_GT(place, lastX);  // left to right in command order
        lastX = place;
        // Nothing can be used before the login.
        EXPECT_FALSE(e.action->isEnabled());
    }
    EXPECT_EQ(w.ToolPanel->height(), 61);
}

TEST_F(MainWindow, EachShortcutRunsTheSameCommandAsItsMenuEntryAndButton)
{
    WorkingWindow ww;
    ww.w.show();
    QApplication::setActiveWindow(&ww.w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ww.w));
    fileDialog()->reset();

    QTest::keyClick(&ww.w, Qt::Key_S, Qt::ControlModifier);
    ww.w.ActSalesNet->trigger();
    ww.w.BtnSalesNet->click();
    EXPECT_EQ(ww.outlet, 3);

    QTest::keyClick(&ww.w, Qt::Key_T, Qt::ControlModifier);
    ww.w.MenuStat->actions()[0]->trigger();
    EXPECT_EQ(ww.sales, 2);
    QTest::keyClick(&ww.w, Qt::Key_K, Qt::ControlModifier);
    ww.w.BtnKCStat->click();
    EXPECT_EQ(ww.stock, 2);

    fileDialog()->setNextFileName(QStringLiteral("/in/a.txt"));
    fileDialog()->setNextFileName(QStringLiteral("/in/b.txt"));
    QTest::keyClick(&ww.w, Qt::Key_A, Qt::ControlModifier);
    ww.w.BtnDataAdd->click();
    EXPECT_EQ(ww.import, 2);
    EXPECT_EQ(ww.outlet, 3);
    EXPECT_EQ(ww.sales, 2);
}

TEST_F(MainWindow, DataAddAsksForTheFileAndCancelOpensNothing)
{
    WorkingWindow ww;
    checkAnswersUsed = false;
    SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));  // would catch an unexpected message

    fileDialog()->setNextCancel();
    ww.w.ActDataAddExecute();
    EXPECT_EQ(ww.import, 0);
    EXPECT_TRUE(SuperMsgSeam::calls().empty());

    QString seenByImport;
    ww.w.openImport = [&](TfrmMain& main) { seenByImport = main.OpenDialog1.FileName; };
    fileDialog()->setNextFileName(ww.dir.path() + QStringLiteral("/sales 0101.txt"));
    ww.w.ActDataAddExecute();
    EXPECT_EQ(seenByImport, ww.dir.path() + QStringLiteral("/sales 0101.txt"));
    ASSERT_EQ(fileDialog()->calls().size(), 2u);
    EXPECT_EQ(fileDialog()->calls()[1].proposedFile, GetAppDir() + QStringLiteral("/good.txt"));
    EXPECT_EQ(fileDialog()->calls()[1].filter, QStringLiteral("Text files (*.txt)"));
}

TEST_F(MainWindow, MissingWindowsSaySoAndErrorsLeaveTheWindowUsable)
{
    test::TempProgramDir dir;
    TfrmMain w;
    w.FormShow();
    SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
    w.ActStat->trigger();
    ASSERT_EQ(SuperMsgSeam::calls().size(), 1u);
    EXPECT_EQ(SuperMsgSeam::calls()[0].caption, QStringLiteral("提示"));
    EXPECT_TRUE(SuperMsgSeam::calls()[0].text.contains(QStringLiteral("销售统计")));
    EXPECT_EQ(SuperMsgSeam::calls()[0].buttons, QStringLiteral("myok"));

    int runs = 0;
    w.openOutletList = [&](TfrmMain&) {
        if (++runs == 1)
            throw std::runtime_error("连接已断开");
    };
    w.ActSalesNet->trigger();
    ASSERT_EQ(SystemBoxSeam::calls().size(), 1u);
    EXPECT_EQ(SystemBoxSeam::calls()[0].text, QStringLiteral("连接已断开"));
    w.ActSalesNet->trigger();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(w.ActSalesNet->isEnabled());
}

TEST(TfrmMain, LoginResultDecidesWhetherTheProgramGoesOn)
{
    test::TempProgramDir dir;
    {
        TfrmMain w;
        int logins = 0, ended = 0;
        w.runServerLogin = [&] { ++logins; return -2; };
        w.terminateApplication = [&] { ++ended; };
        w.FormShow();
        w.FormShow();  // the login runs at the first showing only
        EXPECT_EQ(logins, 1);
        EXPECT_EQ(ended, 1);
        EXPECT_FALSE(w.ActSalesNet->isEnabled());
    }
    {
        TfrmMain w;
        int ended = 0;
        w.runServerLogin = [] { return 0; };
        w.terminateApplication = [&] { ++ended; };
        w.sessionNames = [] { return std::pair{QStringLiteral("office-pc"), QStringLiteral("shop2026")}; };
        w.FormShow();
        EXPECT_EQ(ended, 0);
        EXPECT_TRUE(w.ActKCStat->isEnabled());
        // The status bar names the server and the open account set.
        ASSERT_NE(w.SessionLabel, nullptr);
        EXPECT_EQ(w.SessionLabel->text(), QStringLiteral("服务器：office-pc    帐套：shop2026"));
        EXPECT_TRUE(w.statusBar()->isAncestorOf(w.SessionLabel));
    }
}

TEST(TfrmMain, FormCreateChoosesTheReturnValueName)
{
    test::TempProgramDir dir;
    struct Case { QByteArray config; const char* expected; };
    const Case cases[] = {
        {"[SQLVERSION]\r\nVERSION=7.0\r\n", "RETURN_VALUE"},
        {"[SQLVERSION]\r\nVERSION=8.0\r\n", "@RETURN_VALUE"},
        {"[SQLVERSION]\r\nVERSION=7.00\r\n", "@RETURN_VALUE"},
        {"[SQLVERSION]\r\nVERSION=\r\n", "@RETURN_VALUE"},
        {"[SYSTEM]\r\nUSER=sa\r\n", "RETURN_VALUE"},
    };
    for (const Case& c : cases) {
        dir.writeConfig(c.config);
        SetReturnValueName(QStringLiteral("unset"));
        TfrmMain w;
        EXPECT_EQ(ReturnValueName(), QString::fromLatin1(c.expected)) << c.config.constData();
    }
}
