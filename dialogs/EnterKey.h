#pragma once
// Enter in the program's dialogs: on a push button it presses the button.
class QKeyEvent;

namespace corvanta {

// True when the key was Enter on a push button, which is then pressed.
bool PressFocusedButtonOnEnter(QKeyEvent* event);

}  // namespace corvanta
