#pragma once
// The Messages channel of the windows: the message dialog, the system's plain message box, the
// beep and the hourglass.
#include "logic/Messages.h"

#include <QString>
#include <vector>

namespace corvanta {

class GuiMessages : public Messages {
public:
    ~GuiMessages() override;
    QString superMsg(const QString& caption, const QString& text, const QString& buttons,
                     const QString& options = QString(), const QString& icon = QString()) override;
    // The reason on a line of its own under the message, in the same dialog.
    QString superMsgWithReason(const QString& caption, const QString& text, const QString& buttons,
                               const QString& options, const QString& icon, const QString& reason) override;
    void systemBox(const QString& caption, const QString& text) override;
    void systemBoxWithDetails(const QString& caption, const QString& text, const QString& details) override;
    // Into the program's log (category "corvanta.cause"): the dialogs keep their own text.
    void cause(const QString& why) override;
    void beep() override;
    // Nested calls are counted; the cursor returns when every busy(true) has its busy(false).
    void busy(bool on) override;

private:
    int m_busyDepth = 0;
};

// The system's plain message box with one OK button, over the active window: line breaks (a lone
// carriage return too) shown as such, at least as wide as its caption needs, details (when not
// empty) behind the box's details button.
void ShowSystemBox(const QString& caption, const QString& text, const QString& details = QString());

// The application's general error report: an error that no window handles is shown in the plain
// message box (caption: the application's title) and the program goes on.
void ShowErrorReport(const QString& text);

// Test seam: while armed, ShowSystemBox shows nothing and records the call instead.
struct SystemBoxCall {
    QString caption;
    QString text;
    QString details;
};

class SystemBoxSeam {
public:
    static void arm();
    static void disarm();  // also forgets the recorded calls
    static bool armed();
    static const std::vector<SystemBoxCall>& calls();
    static void clearCalls();
};

}  // namespace corvanta
