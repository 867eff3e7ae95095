#include "connection/Sys_DelZt.h"

#include "connection/AdminDialog.h"
#include "connection/LoginLogic.h"
#include "dialogs/EnterKey.h"
#include "grid/Panels.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace corvanta {

TfrmDelzt::TfrmDelzt(TDMData& dm, int ztid, QWidget* parent) : TfmBlank(parent), m_dm(dm), m_ztid(ztid)
{
    setWindowTitle(QStringLiteral("删除帐套"));
    setFixedSize(330, 140);
    auto* back = new TCWBackPanel(this);
    back->setGeometry(0, 0, 330, 140);
    UserName_Edit = AddAdminEditRow(back, QStringLiteral("系统管理员帐号"), 16);
    Pass_Edit = AddAdminEditRow(back, QStringLiteral("系统管理员密码"), 46, true);
    BitBtn1 = new QPushButton(QStringLiteral("确  定"), back);
    BitBtn1->setGeometry(70, 92, 80, 25);
    BitBtn2 = new QPushButton(QStringLiteral("取  消"), back);
    BitBtn2->setGeometry(180, 92, 80, 25);
    setTabOrder(UserName_Edit, Pass_Edit);
    setTabOrder(Pass_Edit, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmDelzt::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmDelzt::FormShow()
{
    TfmBlank::FormShow();
    UserName_Edit->setFocus();
}

bool TfrmDelzt::FormKeyPress(QKeyEvent* event)
{
    return PressFocusedButtonOnEnter(event) || TfmBlank::FormKeyPress(event);
}

void TfrmDelzt::BitBtn1Click()
{
    ConfirmResult r = ConfirmDeleteAccountSet(m_dm, m_messages, UserName_Edit->text(), Pass_Edit->text(), m_ztid);
    if (r.focus == FocusTo::Password)
        Pass_Edit->setFocus();
    if (r.outcome == DialogOutcome::Done)
        accept();
}

void ShowDelZt(TDMData& dm, int ztid, QWidget* parent)
{
    TfrmDelzt dialog(dm, ztid, parent);
    dialog.exec();
}

}  // namespace corvanta
