#pragma once
// A maximum length in GBK bytes for a line edit (a Chinese character counts two): typing past it
// does nothing and pasted text is cut on a character boundary. Text set by the program is left
// as it is, so a longer stored value is never cut behind the user's back.
#include <QString>

class QLineEdit;

namespace corvanta {

void SetGbkMaxLength(QLineEdit* edit, int maxBytes);
// Sets the text without the limit (the limit applies again to the next edit).
void SetTextUnlimited(QLineEdit* edit, const QString& text);

}  // namespace corvanta
