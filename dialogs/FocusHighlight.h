#pragma once
// Dialog edit fields turn aqua (0, 255, 255) while they have the focus.
class QWidget;

namespace corvanta {

// Installs the highlight on one edit field; it returns to the colour it had when the focus
// leaves.
void InstallFocusHighlight(QWidget* edit);

}  // namespace corvanta
