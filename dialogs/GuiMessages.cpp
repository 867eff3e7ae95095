#include "dialogs/GuiMessages.h"

#include "dialogs/SuperMsg.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>

namespace corvanta {

namespace {
Q_LOGGING_CATEGORY(lcCause, "corvanta.cause")

bool g_systemBoxArmed = false;

std::vector<SystemBoxCall>& systemBoxCalls()
{
    static std::vector<SystemBoxCall> calls;
    return calls;
}
}  // namespace

GuiMessages::~GuiMessages()
{
    while (m_busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --m_busyDepth;
    }
}

QString GuiMessages::superMsg(const QString& caption, const QString& text, const QString& buttons,
                              const QString& options, const QString& icon)
{
    return ShowSuperMsg(caption, text, buttons, options, icon);
}

QString GuiMessages::superMsgWithReason(const QString& caption, const QString& text, const QString& buttons,
                                        const QString& options, const QString& icon, const QString& reason)
{
    cause(reason);
    return ShowSuperMsg(caption, QStringLiteral("%1\n原因：%2").arg(text, reason), buttons, options, icon);
}

void GuiMessages::systemBox(const QString& caption, const QString& text)
{
    ShowSystemBox(caption, text);
}

void GuiMessages::cause(const QString& why)
{
    if (!why.trimmed().isEmpty())
        qCWarning(lcCause).noquote() << QStringLiteral("原因:") << why.trimmed();
}

void GuiMessages::beep()
{
    QApplication::beep();
}

void GuiMessages::busy(bool on)
{
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++m_busyDepth;
    } else if (m_busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --m_busyDepth;
    }
}

void ShowSystemBox(const QString& caption, const QString& text)
{
    if (g_systemBoxArmed) {
        systemBoxCalls().push_back({caption, text});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowErrorReport(const QString& text)
{
    ShowSystemBox(QCoreApplication::applicationName(), text);
}

void SystemBoxSeam::arm()
{
    g_systemBoxArmed = true;
}

void SystemBoxSeam::disarm()
{
    g_systemBoxArmed = false;
    systemBoxCalls().clear();
}

bool SystemBoxSeam::armed()
{
    return g_systemBoxArmed;
}

const std::vector<SystemBoxCall>& SystemBoxSeam::calls()
{
    return systemBoxCalls();
}

void SystemBoxSeam::clearCalls()
{
    systemBoxCalls().clear();
}

}  // namespace corvanta
