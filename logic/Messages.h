#pragma once
// How the application logic talks to the user, without widgets: the windows pass the GUI channel
// (message dialog, system message box), corvanta-cli one that prints, tests one that records and
// answers.
#include <QString>
#include <exception>

namespace corvanta {

class Messages {
public:
    virtual ~Messages() = default;

    // The program's own message dialog. Returns "myok", "mycancel", "myignore" or "".
    virtual QString superMsg(const QString& caption, const QString& text, const QString& buttons,
                             const QString& options = QString(), const QString& icon = QString()) = 0;

    // A failure whose reason is known, in the user's words: the message, then the reason. The
    // windows show both in one dialog; by default the reason follows as the cause.
    virtual QString superMsgWithReason(const QString& caption, const QString& text, const QString& buttons,
                                       const QString& options, const QString& icon, const QString& reason)
    {
        const QString answer = superMsg(caption, text, buttons, options, icon);
        cause(reason);
        return answer;
    }

    // The system's plain message box with one OK button.
    virtual void systemBox(const QString& caption, const QString& text) = 0;
    // The same box with what went wrong where (file, line, its text) behind its details part;
    // a channel without one shows the details under the text.
    virtual void systemBoxWithDetails(const QString& caption, const QString& text, const QString& details)
    {
        systemBox(caption, details.isEmpty() ? text : text + QLatin1Char('\n') + details);
    }

    // Why the failure just reported happened, in the words of the engine or the system. It comes
    // after the message and never replaces it; each channel shows it where it has room.
    virtual void cause(const QString& /*why*/) {}

    // The default system beep.
    virtual void beep() {}

    // Long work: the hourglass while on is true.
    virtual void busy(bool /*on*/) {}
};

// What a caught exception says, for Messages::cause.
inline QString CauseText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

}  // namespace corvanta
