#include "setup/SetupWindow.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

using namespace setup;

namespace {

QImage Painted()
{
    QImage image(kWindowWidth, kWindowHeight, QImage::Format_RGB32);
    image.fill(Qt::white);  // the class's background brush
    QPainter p(&image);
    PaintSetupWindow(p);
    return image;
}

int DarkPixels(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) < 100;
    return n;
}

}  // namespace

TEST(SetupWindow, PaintsGreyRowsTheWaitingTextAndASunkenFrame)
{
    const QImage image = Painted();
    const QRgb grey = qRgb(192, 192, 192);
    const QRgb shadow = qRgb(127, 127, 127);
    const QRgb white = qRgb(255, 255, 255);

    // Grey rows over the whole window, outside and inside the frame.
    for (QPoint p : {QPoint(0, 0), QPoint(299, 0), QPoint(0, 79), QPoint(299, 79), QPoint(3, 40), QPoint(150, 72),
                     QPoint(20, 20), QPoint(287, 66)})
        EXPECT_EQ(image.pixel(p), grey) << p.x() << "," << p.y();

    // Frame: dark top and left edges, white bottom and right edges.
    for (QPoint p : {QPoint(6, 6), QPoint(150, 6), QPoint(287, 6), QPoint(6, 40), QPoint(6, 67)})
        EXPECT_EQ(image.pixel(p), shadow) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(7, 67), QPoint(150, 67), QPoint(287, 67), QPoint(288, 67), QPoint(288, 40), QPoint(288, 7)})
        EXPECT_EQ(image.pixel(p), white) << p.x() << "," << p.y();
    EXPECT_EQ(image.pixel(5, 6), grey);
    EXPECT_EQ(image.pixel(289, 67), grey);
    EXPECT_EQ(image.pixel(6, 68), grey);

    // Black text starting at (60, 30), and nothing dark anywhere else.
    const QRect text(60, 30, 200, 28);
    EXPECT_GT(DarkPixels(image, text), 200);
    EXPECT_GT(DarkPixels(image, QRect(60, 30, 20, 28)), 5);  // the first character is at the left edge
    EXPECT_EQ(DarkPixels(image, QRect(0, 0, 300, 30)), 0);
    EXPECT_EQ(DarkPixels(image, QRect(0, 0, 58, 80)), 0);
    EXPECT_EQ(DarkPixels(image, QRect(0, 60, 300, 20)), 0);
}

TEST(SetupWindow, CentresItselfRunsTheWorkOnceAfterTheTimerAndCloses)
{
    EXPECT_EQ(CentredPosition(QSize(1024, 768)), QPoint(362, 344));
    EXPECT_EQ(CentredPosition(QSize(1025, 769)), QPoint(362, 344));
    EXPECT_EQ(CentredPosition(QSize(200, 60)), QPoint(-50, -10));

    int runs = 0;
    bool visibleDuringWork = false;
    QElapsedTimer clock;
    qint64 startedAfter = -1;
    clock.start();
    SetupWindow window([&] {
        ++runs;
        startedAfter = clock.elapsed();
        visibleDuringWork = window.isVisible();
        // Work slower than the timer period must still run once.
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 3 * kWorkTimerPeriod)
            QCoreApplication::processEvents();
    });
    EXPECT_EQ(window.title(), QString::fromUtf8("正在检测..."));
    EXPECT_EQ(window.size(), QSize(kWindowWidth, kWindowHeight));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window.position(), screen.topLeft() + CentredPosition(screen.size()));
    window.show();

    QElapsedTimer wait;
    wait.start();
    while (window.isVisible() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // Long enough for further ticks, had the timer been left running.
    while (wait.elapsed() < 800)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(visibleDuringWork);
    EXPECT_GE(startedAfter, kWorkTimerPeriod * 8 / 10);  // a coarse timer may fire a little early
    EXPECT_FALSE(window.isVisible());
}

TEST(SetupWindow, MessageWindowShowsTheTextAndClosesOnEnter)
{
    MessageWindow message(QString::fromUtf8("错误"), QString::fromUtf8("路径太长：\n/") + QString(150, u'w'));
    EXPECT_EQ(message.title(), QString::fromUtf8("错误"));
    EXPECT_LE(message.width(), 480);  // a long path wraps instead of widening the window
    EXPECT_TRUE(QRect(QPoint(0, 0), message.size()).contains(message.buttonRect()));
    QTimer::singleShot(50, &message, [&] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&message, &enter);
    });
    QElapsedTimer wait;
    wait.start();
    message.exec();  // returns once closed
    EXPECT_LT(wait.elapsed(), 3000);
    EXPECT_FALSE(message.isVisible());
}
