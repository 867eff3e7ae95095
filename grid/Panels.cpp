#include "grid/Panels.h"

#include <algorithm>

namespace corvanta {

TCWBackPanel::TCWBackPanel(QWidget* parent)
    : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(243, 219, 203));
    setPalette(pal);
}

TSuperPanel::TSuperPanel(QWidget* parent)
    : QFrame(parent)
{
    setAutoFillBackground(true);
    setBevelOuter(bvRaised);
}

void TSuperPanel::setBevelOuter(Bevel bevel)
{
    m_bevel = bevel;
    if (bevel == bvNone) {
        setFrameShape(QFrame::NoFrame);
    } else {
        setFrameShape(QFrame::Panel);
        setFrameShadow(bevel == bvLowered ? QFrame::Sunken : QFrame::Raised);
    }
}

void TSuperPanel::setBorderWidth(int width)
{
    setLineWidth(std::max(1, width));
}

void TSuperPanel::setColor(const QColor& colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
}

}  // namespace corvanta
