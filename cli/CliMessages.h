#pragma once
// Messages for corvanta-cli: every message goes to standard error as "[caption] text", one a line;
// the cause of a failure follows its message as "[原因] text".
#include "logic/Messages.h"

#include <QTextStream>

namespace corvanta::cli {

// "[caption] text" with each carriage return (and a line feed after it) shown as " / ".
QString formatMessage(const QString& caption, const QString& text);

class CliMessages : public Messages {
public:
    explicit CliMessages(QTextStream& err) : m_err(err) {}

    // Nobody can answer a question on the command line: a one-button message counts as pressed,
    // a question as closed without an answer.
    QString superMsg(const QString& caption, const QString& text, const QString& buttons,
                     const QString& options, const QString& icon) override;
    void systemBox(const QString& caption, const QString& text) override;
    // "[原因] why" on the line after the message it explains.
    void cause(const QString& why) override;

    int count() const { return m_count; }

private:
    QTextStream& m_err;
    int m_count = 0;
};

}  // namespace corvanta::cli
