// The login, creation and deletion dialogs driven offscreen through the message seams, on the
// embedded engine.
#include "base/Config.h"
#include "base/Sysdef.h"
#include "connection/Sys_CrZt.h"
#include "connection/Sys_DelZt.h"
#include "connection/Sys_login.h"
#include "connection/UDMData.h"
#include "dialogs/GuiMessages.h"
#include "dialogs/SuperMsg.h"
#include "grid/New_grid.h"
#include "base/TextHelpers.h"
#include "tests/support/GuiTestBase.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvanta;

namespace {

class LoginDialogTest : public test::GuiTestBase<> {
protected:
    void SetUp() override
    {
        GuiTestBase::SetUp();
        dir.copyShippedData();
        dir.writeConfig("[SYSTEM]\r\nSERVER=\r\nUSER=boss\r\nPASSWORD=pw\r\n");
    }

    // Runs fill on the modal dialog that the next call opens.
    template <class Dialog>
    static void whenOpened(std::function<void(Dialog&)> fill)
    {
        QTimer::singleShot(0, [fill] {
            auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            fill(*d);
            if (d->isVisible())
                d->reject();
        });
    }
    void createThroughDialog(TLoginServerFm& login, const QString& name, const QString& db)
    {
        SuperMsgSeam::setNextAnswer("myok");
        whenOpened<TfrmCreateZt>([&](TfrmCreateZt& d) {
            d.UserName_Edit->setText("boss");
            d.Pass_Edit->setText("pw");
            d.ztname_Edit->setText(name);
            d.dbname_edit->setText(db);
            d.BitBtn1->click();
        });
        login.BitBtn3Click();
    }
    void deleteRowThroughDialog(TLoginServerFm& login, int row)
    {
        login.Grid1->setCurrentCell(1, row);
        SuperMsgSeam::setNextAnswer("myok");
        whenOpened<TfrmDelzt>([&](TfrmDelzt& d) {
            d.UserName_Edit->setText("boss");
            d.Pass_Edit->setText("pw");
            d.BitBtn1->click();
        });
        login.BitBtn4Click();
    }
    QStringList column(TLoginServerFm& login, int col)
    {
        QStringList out;
        for (int r = 1; r < login.Grid1->rowCount(); ++r)
            out << login.Grid1->cell(col, r);
        return out;
    }
    static QStringList systemBoxes() { return test::systemBoxTexts(); }

    test::TempProgramDir dir;
    TDMData dm;
};

}  // namespace

TEST_F(LoginDialogTest, ConnectFailureLeavesTheDialogForAnotherTry)
{
    TLoginServerFm login(dm);
    login.show();
    EXPECT_EQ(login.windowTitle(), QString::fromUtf8("登录服务器"));
    EXPECT_EQ(login.OuterHeight(), 91);  // only the server row
    EXPECT_EQ(login.LoginResult(), -2);

    // The embedded engine cannot work without its data folder.
    QDir(dir.dataDir()).removeRecursively();
    login.ServerName_Edit->setText("  office-pc\t");
    login.BitBtn1Click();
    EXPECT_EQ(systemBoxes(), QStringList{QString::fromUtf8("错误: 连接失败，请确认输入正确的服务器名！")});
    EXPECT_EQ(login.OuterHeight(), 91);
    EXPECT_TRUE(login.BitBtn1->isEnabled());
    EXPECT_FALSE(IniFile(ConfigPath()).read("SYSTEM", "DBServer").has_value());

    // One Enter in the server field is one attempt, and one message.
    SystemBoxSeam::clearCalls();
    login.ServerName_Edit->setFocus();
    QTest::keyClick(login.ServerName_Edit, Qt::Key_Return);
    EXPECT_EQ(systemBoxes(), QStringList{QString::fromUtf8("错误: 连接失败，请确认输入正确的服务器名！")});

    dir.copyShippedData();
    SystemBoxSeam::clearCalls();
    login.BitBtn1Click();
    EXPECT_TRUE(systemBoxes().isEmpty());
    // Enlarged to the top of the lower buttons plus two and a half button heights.
    EXPECT_EQ(login.height(), login.BitBtn4->y() + 62);
    EXPECT_GE(login.height(), login.BitBtn4->y() + login.BitBtn4->height());
    EXPECT_FALSE(login.BitBtn1->isEnabled());
    EXPECT_EQ(IniFile(ConfigPath()).read("SYSTEM", "DBServer").value_or(""), "office-pc");
    EXPECT_EQ(IniFile(ConfigPath()).read("SYSTEM", "SERVER").value_or("?"), "");
    EXPECT_EQ(login.Grid1->rowCount(), 7);  // header and six empty rows
    EXPECT_EQ(column(login, 0), QStringList(6, ""));
}

TEST_F(LoginDialogTest, ServerNamesWithControlCharactersAndUnusableConfigsAreRefused)
{
    TLoginServerFm login(dm);
    login.show();
    const QByteArray config = "[SYSTEM]\r\nSERVER=\r\nUSER=boss\r\nPASSWORD=pw\r\n";
    login.ServerName_Edit->setText("vm\n[SQLVERSION]\nVERSION=8.0");
    login.BitBtn1Click();
    EXPECT_EQ(systemBoxes(), QStringList{QString::fromUtf8("错误: 服务器名不能包含换行符或其他控制字符！")});
    EXPECT_FALSE(dm.ADOConnection.Connected());
    EXPECT_TRUE(login.BitBtn1->isEnabled());
    QFile f(ConfigPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), config);
    f.close();

    // Config.cfg replaced by something unreadable while the dialog is open: no connection.
    QFile::remove(ConfigPath());
    ASSERT_TRUE(QDir().mkdir(dir.path() + "/Config.cfg"));
    SystemBoxSeam::clearCalls();
    login.ServerName_Edit->setText("local");
    login.BitBtn1Click();
    ASSERT_EQ(systemBoxes().size(), 1);
    EXPECT_TRUE(systemBoxes()[0].startsWith(QString::fromUtf8("错误: 配置文件 "))) << systemBoxes()[0].toStdString();
    EXPECT_FALSE(dm.ADOConnection.Connected());
}

TEST_F(LoginDialogTest, GridFollowsCreationAndDeletion)
{
    TLoginServerFm login(dm);
    login.show();
    login.ServerName_Edit->setText("local");
    login.BitBtn1Click();
    ASSERT_FALSE(login.BitBtn1->isEnabled());

    // Choosing or deleting an empty row does nothing.
    login.Grid1->setCurrentCell(1, 1);
    login.SelZtBtnClick();
    login.BitBtn4Click();
    EXPECT_EQ(login.LoginResult(), -2);

    createThroughDialog(login, QString::fromUtf8("一店"), "s1");
    createThroughDialog(login, QString::fromUtf8("二店"), "s2");
    createThroughDialog(login, QString::fromUtf8("三店"), "s3");
    ASSERT_EQ(SuperMsgSeam::calls().size(), 3u);
    EXPECT_EQ(SuperMsgSeam::calls()[2].text, QString::fromUtf8("创建帐套成功!"));
    EXPECT_EQ(column(login, 0), (QStringList{"1", "2", "3", "", "", ""}));
    EXPECT_EQ(column(login, 2), (QStringList{"s1", "s2", "s3", "", "", ""}));
    EXPECT_EQ(login.Grid2.mid(1, 3), (QStringList{"1", "2", "3"}));

    deleteRowThroughDialog(login, 1);
    EXPECT_EQ(SuperMsgSeam::calls().back().text, QString::fromUtf8("删除帐套成功!"));
    EXPECT_EQ(column(login, 0), (QStringList{"1", "2", "", "", "", ""}));  // renumbered from 1
    EXPECT_EQ(column(login, 2), (QStringList{"s2", "s3", "", "", "", ""}));
    EXPECT_EQ(login.Grid2.mid(1, 2), (QStringList{"2", "3"}));
    deleteRowThroughDialog(login, 2);
    EXPECT_EQ(column(login, 2), (QStringList{"s2", "", "", "", "", ""}));  // no stale row

    // Nine sets: header plus nine rows.
    for (int i = 3; i <= 10; ++i)
        createThroughDialog(login, QString("set%1").arg(i), QString("n%1").arg(i));
    EXPECT_EQ(login.Grid1->rowCount(), 10);
    EXPECT_EQ(login.Grid1->cell(0, 9), "9");

    // Choosing a row switches the connection to its database and ends the dialog with 0.
    login.Grid1->setCurrentCell(1, 1);
    login.SelZtBtnClick();
    EXPECT_EQ(login.LoginResult(), 0);
    EXPECT_EQ(dm.ADOConnection.DefaultDatabase(), "s2");
    EXPECT_FALSE(login.isVisible());
}

TEST_F(LoginDialogTest, AdministratorDialogsCheckTheirFields)
{
    dm.Connect("local", "boss", "pw", "embedded");
    TfrmCreateZt create(dm);
    create.show();

    SuperMsgSeam::setNextAnswer("myok");
    create.ztname_Edit->setText("x");
    create.dbname_edit->setText("db1");
    create.UserName_Edit->setText("   ");
    create.BitBtn1Click();
    ASSERT_EQ(SuperMsgSeam::calls().size(), 1u);
    EXPECT_EQ(SuperMsgSeam::calls()[0].caption, QString::fromUtf8("提示信息"));
    EXPECT_EQ(SuperMsgSeam::calls()[0].text, QString::fromUtf8("管理员帐号、帐套名称和数据库名称都不能为空！"));
    EXPECT_TRUE(create.isVisible());

    // Wrong password (the password itself may be empty only when Config.cfg's is).
    SuperMsgSeam::setNextAnswer("myok");
    create.UserName_Edit->setText("boss");
    create.Pass_Edit->setText("PW");
    create.BitBtn1Click();
    EXPECT_EQ(SuperMsgSeam::calls().back().text, QString::fromUtf8("管理员密码不对,创建帐套失败!"));
    EXPECT_EQ(SuperMsgSeam::calls().back().icon, "stop");
    EXPECT_TRUE(create.isVisible());

    // A database name that is not a plain identifier is refused before the server sees it.
    SuperMsgSeam::setNextAnswer("myok");
    create.Pass_Edit->setText("pw");
    create.dbname_edit->setText("db 1");
    create.BitBtn1Click();
    EXPECT_TRUE(SuperMsgSeam::calls().back().text.startsWith(QString::fromUtf8("数据库名称只能")));
    EXPECT_TRUE(create.isVisible());
    EXPECT_FALSE(QFile::exists(dir.dataDir() + "/db 1.db"));

    // A name that is taken: the specified message, and why under it in the same dialog.
    ASSERT_TRUE(QFile(dir.dataDir() + "/db1.db").open(QIODevice::WriteOnly));
    SuperMsgSeam::setNextAnswer("myok");
    create.dbname_edit->setText("db1");
    create.BitBtn1Click();
    EXPECT_EQ(SuperMsgSeam::calls().back().caption, QString::fromUtf8("提示"));
    EXPECT_EQ(SuperMsgSeam::calls().back().text,
              QString::fromUtf8("创建帐套失败!\n原因：数据库名称已被占用：已有数据库 db1"));
    EXPECT_EQ(SuperMsgSeam::calls().back().icon, "info");
    EXPECT_TRUE(create.isVisible());

    TfrmDelzt del(dm, 1);
    del.show();
    del.BitBtn1Click();
    EXPECT_EQ(systemBoxes(), QStringList{QString::fromUtf8("提示信息: 管理员帐号不能为空！")});
    del.UserName_Edit->setText("Boss");
    del.BitBtn1Click();
    EXPECT_EQ(systemBoxes().back(), QString::fromUtf8("错误: 管理员密码不对,删除帐套失败!"));
    EXPECT_TRUE(del.isVisible());

    // The edits turn aqua while focused.
    QApplication::setActiveWindow(&del);
    del.Pass_Edit->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(del.Pass_Edit->hasFocus());
    EXPECT_EQ(del.Pass_Edit->palette().color(QPalette::Base), QColor(0, 255, 255));
    del.UserName_Edit->setFocus();
    QApplication::processEvents();
    EXPECT_NE(del.Pass_Edit->palette().color(QPalette::Base), QColor(0, 255, 255));
}

TEST_F(LoginDialogTest, AbandonAndTheProposedServerName)
{
    TLoginServerFm login(dm);
    login.show();
    test::press(&login, Qt::Key_Escape);
    EXPECT_EQ(login.LoginResult(), -2);
    EXPECT_FALSE(login.isVisible());

    // RunServerLogin proposes SERVER, or the computer's name when it is empty.
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TLoginServerFm*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ServerName_Edit->text(), ComputerNameText());
        d->BitBtn2Click();
    });
    EXPECT_EQ(RunServerLogin(dm), -2);
}
