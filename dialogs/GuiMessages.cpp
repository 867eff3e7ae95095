#include "dialogs/GuiMessages.h"

#include "dialogs/SuperMsg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QSpacerItem>

#include <algorithm>

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

void GuiMessages::systemBoxWithDetails(const QString& caption, const QString& text, const QString& details)
{
    ShowSystemBox(caption, text, details);
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

void ShowSystemBox(const QString& caption, const QString& text, const QString& details)
{
    if (g_systemBoxArmed) {
        systemBoxCalls().push_back({caption, text, details});
        return;
    }
    // Texts written for another system end lines with a lone carriage return, which a plain-text
    // label does not break on.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, caption, shown, QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty())
        box.setDetailedText(details);
    // The title bar is not part of the box's size hint: without this a short text cuts the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int need = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(caption) + 160;
        grid->addItem(new QSpacerItem(std::max(need, 240), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
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
