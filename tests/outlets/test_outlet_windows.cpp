// The outlet list and the outlet editor, offscreen, on a real account set; messages answered
// through the seams.
#include "dbf/DBF.h"
#include "dialogs/GuiMessages.h"
#include "dialogs/SuperMsg.h"
#include "base/Gbk.h"
#include "grid/New_grid.h"
#include "outlets/UNetInfo.h"
#include "outlets/USalesNet.h"
#include "tests/dbf/DbfTestUtil.h"
#include "tests/outlets/OutletTestUtil.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include "tests/support/GuiTestBase.h"

using namespace corvanta;
using namespace corvanta::test;

namespace {

QColor base(const QLineEdit* e)
{
    return e->palette().color(QPalette::Base);
}

class WindowTest : public GuiTestBase<OutletTest> {
protected:

    // The list, shown and active.
    std::unique_ptr<TfmTypeBasic> openList(DATABASEFILE* tables = nullptr)
    {
        auto w = std::make_unique<TfmTypeBasic>(*dm, tables);
        w->onEditorOpen = [this](Tinfobform& e) {
            ++editorsOpened;
            lastMode = e.Mode();
            QTimer::singleShot(0, &e, [this, &e] {
                QApplication::setActiveWindow(&e);
                QApplication::processEvents();
                if (driveEditor)
                    driveEditor(e);
                editorStayedOpen = e.isVisible();
                if (e.isVisible())
                    e.reject();
            });
        };
        w->show();
        QApplication::setActiveWindow(w.get());
        QApplication::processEvents();
        return w;
    }

    std::function<void(Tinfobform&)> driveEditor;
    int editorsOpened = 0;
    QString lastMode;
    bool editorStayedOpen = false;
};

void fill(Tinfobform& e, const OutletRecord& o)
{
    e.edtCode->setText(o.id);
    e.edtFullName->setText(o.name);
    e.Edit1->setText(o.type);
    e.edtPerson->setText(o.telephone);
    e.edtArapLIMIT->setText(o.fax);
    e.edtAddr->setText(o.address);
    e.edtBirthDay->setText(o.linkman);
}

}  // namespace

TEST_F(WindowTest, ListWindowLayoutAndEmptyList)
{
    auto w = openList();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("销售网点信息管理"));
    EXPECT_EQ(w->size(), QSize(647, 440));
    EXPECT_EQ(w->Add_Button->text(), QStringLiteral("添加"));
    EXPECT_EQ(w->Mod_Button->text(), QStringLiteral("修改"));
    EXPECT_EQ(w->Del_Button->text(), QStringLiteral("删除"));
    EXPECT_EQ(w->SpBPrint->text(), QStringLiteral("打印"));
    EXPECT_EQ(w->Exit_Button->text(), QStringLiteral("退回"));
    EXPECT_EQ(w->Exit_Button->toolTip(), QStringLiteral("退出"));
    EXPECT_GT(w->SpBPrint->x(), w->Del_Button->x() + 200);  // at the right
    const QList<QLabel*> status = w->StatusBar1->findChildren<QLabel*>();
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status[0]->text(), QStringLiteral("【ESC】__ 退出     【INSERT】__ 增加    【DELETE】__ 删除  "));

    TSupGrids* g = w->Main_Grid;
    ASSERT_EQ(g->colCount(), 8);
    const int widths[] = {56, 63, 97, 81, 116, 84, 56, 221};
    const char* headings[] = {"行号", "网点编号", "网点名称", "网点类型", "联系电话", "传真", "联系人", "联系地址"};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(g->colWidth(c), widths[c]);
        EXPECT_EQ(g->cell(c, 0), QString::fromUtf8(headings[c]));
    }
    EXPECT_EQ(g->defaultRowHeight(), 18);
    EXPECT_TRUE(g->options() & GridOption::RowSelect);

    // 21 empty body rows; change and delete are off there, add is not.
    EXPECT_EQ(g->rowCount(), 22);
    for (int r = 1; r < 22; ++r)
        for (int c = 0; c < 8; ++c)
            EXPECT_TRUE(g->cell(c, r).isEmpty());
    g->setCurrentCell(2, 5);
    EXPECT_FALSE(w->Mod_Button->isEnabled());
    EXPECT_FALSE(w->Del_Button->isEnabled());
    EXPECT_TRUE(w->Add_Button->isEnabled());

    // Change and delete do nothing on an empty row, whichever way they are asked for.
    w->Mod_ButtonClick();
    w->Del_ButtonClick();
    press(g, Qt::Key_Return, "\r");
    press(g, Qt::Key_Delete);
    emit g->OnDblClick();
    EXPECT_EQ(editorsOpened, 0);
    EXPECT_TRUE(SystemBoxSeam::calls().empty());
    EXPECT_TRUE(w->isVisible());

    // Esc in the grid closes the window.
    press(g, Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(WindowTest, AddDuplicateNonNumericChangeAndDelete)
{
    auto w = openList();
    TSupGrids* g = w->Main_Grid;

    // Add through the button: the editor starts empty, focus in the name.
    bool startedEmpty = false;
    driveEditor = [&](Tinfobform& e) {
        startedEmpty = e.edtCode->text().isEmpty() && e.edtFullName->text().isEmpty() && !e.edtCode->isReadOnly();
        EXPECT_EQ(e.focusWidget(), e.edtFullName);
        fill(e, {"101", "东城门市部", "直营", "010-1234", "010-9", "东城区一号", "王五"});
        e.Ok_Button->click();
    };
    w->Add_Button->click();
    EXPECT_EQ(editorsOpened, 1);
    EXPECT_EQ(lastMode, QStringLiteral("A"));
    EXPECT_EQ(w->Mode, QStringLiteral("A"));
    EXPECT_TRUE(startedEmpty);
    EXPECT_FALSE(editorStayedOpen);
    ASSERT_EQ(g->rowCount(), 22);
    EXPECT_EQ(g->rowCells(1), (std::vector<QString>{"1", "101", "东城门市部", "直营", "010-1234", "010-9", "王五",
                                                    "东城区一号"}));
    g->setCurrentCell(1, 1);
    EXPECT_TRUE(w->Mod_Button->isEnabled());
    EXPECT_TRUE(w->Del_Button->isEnabled());

    // Insert in the grid adds too; the same number again is refused and the editor stays,
    // focus on the number.
    driveEditor = [&](Tinfobform& e) {
        SuperMsgSeam::setNextAnswer("myok");
        fill(e, {"101", "again", "", "", "", "", ""});
        e.Ok_Button->click();
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(e.focusWidget(), e.edtCode);
        EXPECT_EQ(e.edtFullName->text(), "again");  // the entries stay
    };
    press(g, Qt::Key_Insert);
    EXPECT_EQ(editorsOpened, 2);
    EXPECT_EQ(superMsgTexts(), QStringList{"提示信息: 网点编号重复，请从新输入！"});
    EXPECT_EQ(storedIds(), QStringList{"101"});

    // A number that is not a whole number: the name gets the focus.
    SuperMsgSeam::reset();
    driveEditor = [&](Tinfobform& e) {
        SuperMsgSeam::setNextAnswer("myok");
        fill(e, {"12a", "二号", "", "", "", "", ""});
        e.edtAddr->setFocus();
        e.Ok_Button->click();
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(e.focusWidget(), e.edtFullName);
    };
    w->Add_ButtonClick();
    EXPECT_TRUE(editorStayedOpen);
    EXPECT_EQ(superMsgTexts(), QStringList{"警告！: 网点编号只能是数字!"});
    EXPECT_EQ(storedIds(), QStringList{"101"});

    // Change through a double click: the fields come from the row, the number is read-only.
    addOutlet("7", "Seven");  // behind the window's back: the reload after the command shows it
    SuperMsgSeam::reset();
    g->setCurrentCell(2, 1);
    OutletRecord seen;
    bool codeReadOnly = false;
    driveEditor = [&](Tinfobform& e) {
        seen = e.Entries();
        codeReadOnly = e.edtCode->isReadOnly();
        EXPECT_EQ(e.focusWidget(), e.edtFullName);
        e.edtFullName->setText("东城店");
        e.edtBirthDay->setText("赵六");
        e.Ok_Button->click();
    };
    emit g->OnDblClick();
    EXPECT_EQ(lastMode, QStringLiteral("M"));
    EXPECT_EQ(w->SelectedRow, 1);
    EXPECT_EQ(seen.id, "101");
    EXPECT_EQ(seen.name, "东城门市部");
    EXPECT_EQ(seen.type, "直营");
    EXPECT_EQ(seen.telephone, "010-1234");
    EXPECT_EQ(seen.fax, "010-9");
    EXPECT_EQ(seen.linkman, "王五");
    EXPECT_EQ(seen.address, "东城区一号");
    EXPECT_TRUE(codeReadOnly);
    EXPECT_FALSE(editorStayedOpen);
    EXPECT_EQ(g->cell(1, 1), "7");  // numeric order
    EXPECT_EQ(g->cell(1, 2), "101");
    EXPECT_EQ(g->cell(2, 2), "东城店");
    EXPECT_EQ(g->cell(6, 2), "赵六");
    EXPECT_TRUE(superMsgTexts().isEmpty());

    // Enter on a numbered row changes as well; Cancel saves nothing but the list is reloaded.
    g->setCurrentCell(1, 2);
    driveEditor = [&](Tinfobform& e) {
        e.edtFullName->setText("not saved");
        addOutlet("8", "Eight");
        e.Can_Button->click();
    };
    const int before = editorsOpened;
    press(g, Qt::Key_Return, "\r");
    EXPECT_EQ(editorsOpened, before + 1);
    EXPECT_EQ(g->cell(2, 3), "东城店");
    EXPECT_EQ(g->cell(1, 2), "8");

    // Delete: an outlet with sales stays and the system box says why; one without goes at once.
    addSale("101");
    g->setCurrentCell(1, 3);
    ASSERT_EQ(g->cell(1, 3), "101");
    press(g, Qt::Key_Delete);
    ASSERT_EQ(SystemBoxSeam::calls().size(), 1u);
    EXPECT_EQ(SystemBoxSeam::calls()[0].caption, "系统提示");
    EXPECT_EQ(SystemBoxSeam::calls()[0].text, "该网点已经有商品销售记录，不能删除！");
    EXPECT_EQ(storedIds(), (QStringList{"7", "8", "101"}));
    g->setCurrentCell(1, 1);
    w->Del_Button->click();
    EXPECT_EQ(SystemBoxSeam::calls().size(), 1u);
    EXPECT_EQ(storedIds(), (QStringList{"8", "101"}));
    EXPECT_EQ(g->cell(1, 1), "8");
    EXPECT_EQ(g->cell(0, 3), "");
    EXPECT_TRUE(superMsgTexts().isEmpty());
}

TEST_F(WindowTest, ThirtyOutletsGiveThirtyTwoRows)
{
    for (int i = 1; i <= 30; ++i)
        addOutlet(QString::number(i), QStringLiteral("店%1").arg(i));
    auto w = openList();
    EXPECT_EQ(w->Main_Grid->rowCount(), 32);
    EXPECT_EQ(w->Main_Grid->cell(0, 30), "30");
    EXPECT_EQ(w->Main_Grid->cell(1, 31), "");
}

TEST_F(WindowTest, EscapeAsksAndNoSavesNothing)
{
    Tinfobform e(*dm, "A");
    EXPECT_EQ(e.windowTitle(), QStringLiteral("【基本信息--销售网点】"));
    EXPECT_EQ(e.size(), QSize(488, 228));
    EXPECT_EQ(e.Ok_Button->text(), QStringLiteral("确定&O"));
    EXPECT_EQ(e.Can_Button->text(), QStringLiteral("取消&C"));
    EXPECT_EQ(e.Label8->text(), QStringLiteral("销售网点基本信息"));
    EXPECT_FALSE(e.Label8->isEnabled());
    e.show();
    QApplication::setActiveWindow(&e);
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), e.edtFullName);
    fill(e, {"5", "五号店", "", "", "", "", ""});

    SuperMsgSeam::setNextAnswer("mycancel");  // "否"
    press(e.edtFullName, Qt::Key_Escape);
    ASSERT_EQ(SuperMsgSeam::calls().size(), 1u);
    const SuperMsgCall& q = SuperMsgSeam::calls()[0];
    EXPECT_EQ(q.caption, "是否保存才编辑的基本信息？");
    EXPECT_EQ(q.text, "是：保存基本信息，继续录入。\r否：不保存基本信息，并退出。");
    EXPECT_EQ(q.buttons, "myyesno");
    EXPECT_EQ(q.icon, "Question");
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(e.result(), QDialog::Rejected);
    EXPECT_TRUE(stored().empty());
}

TEST_F(WindowTest, EscapeYesSavesOrStaysOpen)
{
    Tinfobform e(*dm, "A");
    e.show();
    QApplication::setActiveWindow(&e);
    QApplication::processEvents();

    // Yes with an empty name: the warning, and the dialog stays.
    e.edtCode->setText("9");
    SuperMsgSeam::setNextAnswer("myok");
    SuperMsgSeam::setNextAnswer("myok");
    press(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(superMsgTexts().size(), 2);
    EXPECT_EQ(superMsgTexts().value(1), "警告！: 网点编号或名称不能为空!");
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), e.edtFullName);
    EXPECT_TRUE(stored().empty());

    // Yes with a name: saved and closed.
    e.edtFullName->setText("九号店");
    SuperMsgSeam::setNextAnswer("myok");
    press(&e, Qt::Key_Escape);  // also when the dialog itself gets the key
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(e.result(), QDialog::Accepted);
    EXPECT_EQ(storedIds(), QStringList{"9"});
}

TEST_F(WindowTest, EnterMovesTheFocusAndNeverSaves)
{
    Tinfobform e(*dm, "A");
    e.show();
    QApplication::setActiveWindow(&e);
    QApplication::processEvents();
    fill(e, {"3", "三号店", "", "", "", "", ""});

    const QColor aqua(0, 255, 255);
    QLineEdit* order[] = {e.edtFullName, e.edtCode, e.edtAddr, e.Edit1, e.edtArapLIMIT, e.edtBirthDay, e.edtPerson};
    for (size_t i = 0; i < std::size(order); ++i) {
        ASSERT_EQ(QApplication::focusWidget(), order[i]) << i;
        EXPECT_EQ(base(order[i]), aqua);
        press(order[i], Qt::Key_Return, "\r");
        EXPECT_EQ(base(order[i]), QColor(Qt::white)) << i;
    }
    EXPECT_EQ(QApplication::focusWidget(), e.Ok_Button);
    EXPECT_TRUE(e.isVisible());
    EXPECT_TRUE(stored().empty());
    EXPECT_TRUE(SuperMsgSeam::calls().empty());
}

TEST_F(WindowTest, FieldsTakeNoMoreBytesThanTheirLimit)
{
    Tinfobform e(*dm, "A");
    e.show();
    QApplication::setActiveWindow(&e);
    QApplication::processEvents();

    // Typing stops at the limit; a Chinese character does not fit into one byte.
    e.Edit1->setFocus();
    type(e.Edit1, QString(25, 'x'));
    EXPECT_EQ(e.Edit1->text(), QString(20, 'x'));
    e.edtPerson->setFocus();
    type(e.edtPerson, QString(19, '1') + QStringLiteral("一"));
    EXPECT_EQ(e.edtPerson->text(), QString(19, '1'));
    e.edtBirthDay->setFocus();
    type(e.edtBirthDay, QStringLiteral("一二三四五六七八九十百"));
    EXPECT_EQ(e.edtBirthDay->text(), QStringLiteral("一二三四五六七八九十"));

    // A paste is cut on a character boundary: 37 bytes of room take 18 characters.
    const QString chinese = QString(22, QChar(0x4E2D));
    e.edtFullName->setFocus();
    type(e.edtFullName, "a");
    QGuiApplication::clipboard()->setText(chinese);
    e.edtFullName->paste();
    EXPECT_EQ(e.edtFullName->text(), "a" + QString(18, QChar(0x4E2D)));
    EXPECT_EQ(gbk::byteLength(e.edtFullName->text()), 37);
    // Pasted in the middle, the text after the cursor is kept.
    e.edtAddr->setText(QStringLiteral("ab"));
    e.edtAddr->setCursorPosition(1);
    e.edtAddr->paste();
    EXPECT_EQ(e.edtAddr->text(), "a" + QString(18, QChar(0x4E2D)) + "b");

    // In mode "M" a stored value longer than the field is shown whole and not cut.
    addOutlet("44", QString(25, QChar(0x4E2D)));
    TSupGrids grid;
    grid.setColCount(8);
    grid.setRowCount(3);
    grid.setCell(1, 1, "44");
    grid.setCell(2, 1, QString(25, QChar(0x4E2D)));
    Tinfobform m(*dm, "M", &grid, 1);
    m.show();
    EXPECT_EQ(m.edtFullName->text(), QString(25, QChar(0x4E2D)));
    EXPECT_EQ(m.edtCode->text(), "44");
    EXPECT_TRUE(m.edtCode->isReadOnly());
}

TEST_F(WindowTest, PrintHandsTheGridToPrintExe)
{
    QFile exe(dir->path() + "/PRINT.EXE");
    ASSERT_TRUE(exe.open(QIODevice::WriteOnly));
    exe.close();
    addOutlet("1001", "东城门市部");
    addOutlet("1002", "西城门市部");

    RecordingMessages tablesMsgs;
    DATABASEFILE tables(&tablesMsgs);
    auto w = openList(&tables);
    std::vector<std::pair<QString, QStringList>> launches;
    w->printLauncher = [&](const QString& p, const QStringList& a) {
        launches.push_back({p, a});
        return true;
    };
    w->SpBPrint->click();

    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].first, dir->path() + "/PRINT.EXE");
    EXPECT_EQ(launches[0].second, QStringList{"/rwxfile销售网点信息.rwx"});
    EXPECT_TRUE(tablesMsgs.messages.empty());
    EXPECT_TRUE(SuperMsgSeam::calls().empty());

    const QByteArray body = readAll(dir->dataDir() + "/TABLE_M1.DBF");
    ASSERT_FALSE(body.isEmpty());
    EXPECT_EQ(le16(body, 8), 289u);
    EXPECT_EQ(le16(body, 10), 349u);
    EXPECT_EQ(le32(body, 4), 2u);  // the two outlets, not the empty rows below them
    const int widths[] = {38, 39, 43, 41, 46, 42, 38, 61};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(u8(body, 32 + 32 * i + 16), unsigned(widths[i])) << i;
        EXPECT_EQ(fieldName(body, i), gbk::encode(w->Main_Grid->cell(i, 0))) << i;
    }
    const int hl = 289;
    EXPECT_EQ(body.mid(hl + 1 + 38, 4), "1001");
    EXPECT_EQ(body.mid(hl + 349 + 1 + 38 + 39, 10), gbk::encode("西城门市部"));

    const QByteArray title = readAll(dir->dataDir() + "/TABLE_B1.DBF");
    ASSERT_FALSE(title.isEmpty());
    EXPECT_EQ(fieldName(title, 0), gbk::encode("商品编号"));
    EXPECT_EQ(u8(title, 32 + 16), 110u);
    EXPECT_EQ(le32(title, 4), 1u);
    EXPECT_EQ(title.mid(le16(title, 8) + 1, 8), gbk::encode("商品编号"));
}
