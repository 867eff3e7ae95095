#include "print/PaintProgress.h"

#include <QCoreApplication>

namespace corvanta::print {

PaintProgress::PaintProgress(QWidget* parent) : m_dialog(parent)
{
    m_dialog.setWindowTitle(QStringLiteral("报表打印"));
    m_dialog.setCancelButtonText(QStringLiteral("取消"));
    m_dialog.setWindowModality(Qt::ApplicationModal);
    // Short reports are laid out before the window would show.
    m_dialog.setMinimumDuration(400);
    m_dialog.setAutoClose(true);
    m_dialog.setAutoReset(true);
    m_dialog.setMinimumWidth(320);
    m_dialog.reset();
}

bool PaintProgress::operator()(int page, int pages)
{
    if (m_dialog.wasCanceled())
        return false;
    if (m_dialog.maximum() != pages) {
        m_dialog.setRange(0, pages);
    }
    m_dialog.setLabelText(QStringLiteral("正在排版第 %1 页，共 %2 页…").arg(page).arg(pages));
    // The last page done closes the window (auto close at the maximum).
    m_dialog.setValue(page - 1);
    QCoreApplication::processEvents();
    return !m_dialog.wasCanceled();
}

}  // namespace corvanta::print
