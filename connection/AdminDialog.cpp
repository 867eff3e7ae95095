#include "connection/AdminDialog.h"

#include "dialogs/FocusHighlight.h"

#include <QLabel>
#include <QLineEdit>

namespace corvanta {

QLineEdit* AddAdminEditRow(QWidget* parent, const QString& label, int y, bool password)
{
    auto* l = new QLabel(label, parent);
    l->setGeometry(24, y + 3, 100, 18);
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(128, y, 170, 22);
    if (password)
        edit->setEchoMode(QLineEdit::Password);
    InstallFocusHighlight(edit);
    return edit;
}

}  // namespace corvanta
