#pragma once
// What the two administrator dialogs share: a labelled edit row on the tinted background.
#include <QString>

class QLineEdit;
class QWidget;

namespace corvanta {

// A label and an aqua-highlighting edit at row y of parent.
QLineEdit* AddAdminEditRow(QWidget* parent, const QString& label, int y, bool password = false);

}  // namespace corvanta
