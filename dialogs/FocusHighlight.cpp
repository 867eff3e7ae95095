#include "dialogs/FocusHighlight.h"

#include <QEvent>
#include <QObject>
#include <QPalette>
#include <QWidget>

namespace corvanta {

namespace {

class FocusHighlighter : public QObject {
public:
    explicit FocusHighlighter(QWidget* edit) : QObject(edit), m_normal(edit->palette().color(QPalette::Base)) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
            QPalette p = w->palette();
            p.setColor(QPalette::Base, event->type() == QEvent::FocusIn ? QColor(0, 255, 255) : m_normal);
            w->setPalette(p);
        }
        return false;
    }

private:
    QColor m_normal;
};

}  // namespace

void InstallFocusHighlight(QWidget* edit)
{
    edit->installEventFilter(new FocusHighlighter(edit));
}

}  // namespace corvanta
