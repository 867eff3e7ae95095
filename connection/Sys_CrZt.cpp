#include "connection/Sys_CrZt.h"

#include "connection/AdminDialog.h"
#include "connection/LoginLogic.h"
#include "dialogs/EnterKey.h"
#include "grid/Panels.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvanta {

TfrmCreateZt::TfrmCreateZt(TDMData& dm, QWidget* parent) : TfmBlank(parent), m_dm(dm)
{
    setWindowTitle(QStringLiteral("创建帐套"));
    setFixedSize(330, 230);
    auto* back = new TCWBackPanel(this);
    back->setGeometry(0, 0, 330, 230);
    UserName_Edit = AddAdminEditRow(back, QStringLiteral("系统管理员帐号"), 16);
    Pass_Edit = AddAdminEditRow(back, QStringLiteral("系统管理员密码"), 46, true);
    ztname_Edit = AddAdminEditRow(back, QStringLiteral("帐套名称"), 76);
    dbname_edit = AddAdminEditRow(back, QStringLiteral("数据库名称"), 106);
    auto* note = new QLabel(QStringLiteral("注意:数据库名称请以字母开头，且不要用汉字!!!"), back);
    note->setGeometry(24, 138, 290, 18);
    note->setStyleSheet(QStringLiteral("color: #c00000"));
    BitBtn1 = new QPushButton(QStringLiteral("确  定"), back);
    BitBtn1->setGeometry(70, 176, 80, 25);
    BitBtn2 = new QPushButton(QStringLiteral("取  消"), back);
    BitBtn2->setGeometry(180, 176, 80, 25);
    setTabOrder(UserName_Edit, Pass_Edit);
    setTabOrder(Pass_Edit, ztname_Edit);
    setTabOrder(ztname_Edit, dbname_edit);
    setTabOrder(dbname_edit, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmCreateZt::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmCreateZt::FormShow()
{
    TfmBlank::FormShow();
    UserName_Edit->setFocus();
}

bool TfrmCreateZt::FormKeyPress(QKeyEvent* event)
{
    return PressFocusedButtonOnEnter(event) || TfmBlank::FormKeyPress(event);
}

void TfrmCreateZt::BitBtn1Click()
{
    ConfirmResult r = ConfirmCreateAccountSet(m_dm, m_messages, UserName_Edit->text(), Pass_Edit->text(),
                                              ztname_Edit->text(), dbname_edit->text());
    if (r.focus == FocusTo::Password)
        Pass_Edit->setFocus();
    if (r.outcome == DialogOutcome::Done)
        accept();
}

void ShowCreateZt(TDMData& dm, QWidget* parent)
{
    TfrmCreateZt dialog(dm, parent);
    dialog.exec();
}

}  // namespace corvanta
