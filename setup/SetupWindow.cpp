#include "setup/SetupWindow.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include <algorithm>

namespace setup {

namespace {

const QColor kGrey(192, 192, 192);
const QColor kShadow(127, 127, 127);

// One-pixel line from a to b without its end point, as the system's line drawing does.
void Line(QPainter& p, QPoint a, QPoint b, const QColor& colour)
{
    const QPoint step((b.x() > a.x()) - (b.x() < a.x()), (b.y() > a.y()) - (b.y() < a.y()));
    if (step.isNull())
        return;
    const QPoint last = b - step;
    p.fillRect(QRect(QPoint(std::min(a.x(), last.x()), std::min(a.y(), last.y())),
                     QPoint(std::max(a.x(), last.x()), std::max(a.y(), last.y()))),
               colour);
}

// Sunken frame: light bottom and right edges, dark left and top edges drawn over them.
void SunkenFrame(QPainter& p, const QRect& r)
{
    Line(p, r.bottomLeft(), r.bottomRight(), Qt::white);
    Line(p, r.bottomRight(), r.topRight(), Qt::white);
    Line(p, r.bottomLeft(), r.topLeft(), kShadow);
    Line(p, r.topLeft(), r.topRight(), kShadow);
}

QPoint CentreOnPrimaryScreen(const QSize& size)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect g = screen->geometry();
    return g.topLeft() + CentredPosition(g.size(), size);
}

}  // namespace

QPoint CentredPosition(const QSize& screen, const QSize& window)
{
    return {(screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2};
}

QFont SetupFont()
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(14);
    return font;
}

void PaintSetupWindow(QPainter& p, const QFont& font)
{
    p.fillRect(QRect(0, 0, kWindowWidth, kWindowHeight + 1), kGrey);
    p.setFont(font);
    p.setPen(Qt::black);
    p.setBackgroundMode(Qt::TransparentMode);
    // The given point is the text's top-left corner.
    p.drawText(QPoint(60, 30 + QFontMetrics(font).ascent()), QString::fromUtf8("请稍候, 正在检测系统..."));
    SunkenFrame(p, QRect(QPoint(6, 6), QPoint(288, 67)));
}

SetupWindow::SetupWindow(std::function<void()> work) : work_(std::move(work))
{
    // A pop-up with a sizing border: no title bar, no system menu.
    setFlags(Qt::Window | Qt::CustomizeWindowHint);
    setTitle(QString::fromUtf8("正在检测..."));
    setGeometry(QRect(CentreOnPrimaryScreen(QSize(kWindowWidth, kWindowHeight)), QSize(kWindowWidth, kWindowHeight)));
    timer_ = startTimer(kWorkTimerPeriod);
}

void SetupWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(QRect(QPoint(0, 0), size()), Qt::white);
    PaintSetupWindow(p);
}

void SetupWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != timer_)
        return;
    // Stopped first: the steps may run longer than a period, and must run once.
    killTimer(timer_);
    timer_ = 0;
    if (work_)
        work_();
    close();
}

MessageWindow::MessageWindow(const QString& caption, const QString& text, QWindow* owner) : text_(text)
{
    setTitle(caption);
    setFlags(Qt::Dialog);
    setModality(Qt::ApplicationModal);
    if (owner)
        setTransientParent(owner);
    const QFontMetrics fm(SetupFont());
    const QRect bounds = fm.boundingRect(QRect(0, 0, 420, 1000), Qt::TextWrapAnywhere, text_);
    textRect_ = QRect(20, 20, std::max(bounds.width(), 200), bounds.height());
    const QSize size(textRect_.width() + 40, textRect_.bottom() + 70);
    setGeometry(QRect(CentreOnPrimaryScreen(size), size));
}

QRect MessageWindow::buttonRect() const
{
    return QRect((width() - 80) / 2, height() - 40, 80, 26);
}

void MessageWindow::exec()
{
    connect(this, &QWindow::visibleChanged, &loop_, [this](bool visible) {
        if (!visible)
            loop_.quit();
    });
    show();
    requestActivate();
    loop_.exec();
}

void MessageWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(QRect(QPoint(0, 0), size()), kGrey);
    p.setFont(SetupFont());
    p.setPen(Qt::black);
    p.drawText(textRect_, Qt::TextWrapAnywhere, text_);
    const QRect b = buttonRect();
    // A raised button: the sunken frame's colours the other way round.
    Line(p, b.topLeft(), b.topRight(), Qt::white);
    Line(p, b.topLeft(), b.bottomLeft(), Qt::white);
    Line(p, b.bottomLeft(), b.bottomRight() + QPoint(1, 0), kShadow);
    Line(p, b.topRight(), b.bottomRight(), kShadow);
    p.drawText(b, Qt::AlignCenter, QString::fromUtf8("确定"));
}

void MessageWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (buttonRect().contains(event->position().toPoint()))
        close();
}

void MessageWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Space:
        close();
        break;
    default:
        QRasterWindow::keyPressEvent(event);
    }
}

}  // namespace setup
