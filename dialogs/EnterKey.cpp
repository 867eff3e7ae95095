#include "dialogs/EnterKey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace corvanta {

bool PressFocusedButtonOnEnter(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
    if (!button)
        return false;
    button->click();
    return true;
}

}  // namespace corvanta
