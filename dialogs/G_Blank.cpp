#include "dialogs/G_Blank.h"

#include "dialogs/UiFonts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>

namespace corvanta {

TfmBlank::TfmBlank(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
{
    setFont(SongtiFont(12));
    // Key preview: the application filter hands this window its controls' keys first.
    qApp->installEventFilter(this);
}

TfmBlank::~TfmBlank()
{
    qApp->removeEventFilter(this);
}

void TfmBlank::FormShow()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect s = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(s.x() + (s.width() - outer.width()) / 2, s.y() + (s.height() - outer.height()) / 2);
}

void TfmBlank::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool TfmBlank::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        focusNextChild();
        return true;
    }
    return false;
}

bool TfmBlank::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // Only keys of this window's own controls (not of a dialog it opened), and only once: a
        // key its control ignores travels on to the parents and passes this filter again.
        QWidget* const focus = QApplication::focusWidget();
        const bool first = focus ? widget == focus : widget == this;
        if (first && widget->window() == this && isVisible())
            return FormKeyPress(static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace corvanta
