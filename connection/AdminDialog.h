#pragma once
// Pieces the two administrator dialogs share: a labelled edit row on the tinted background and
// Enter handling (Enter in an edit moves on; Enter on a button presses it).
#include <QString>

class QKeyEvent;
class QLineEdit;
class QWidget;

namespace corvanta {

// A label and an aqua-highlighting edit at row y of parent.
QLineEdit* AddAdminEditRow(QWidget* parent, const QString& label, int y, bool password = false);

// True when the key was Enter on a push button, which is then pressed.
bool PressFocusedButtonOnEnter(QKeyEvent* event);

}  // namespace corvanta
