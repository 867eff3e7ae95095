// The waiting window of the bootstrap, and the plain message window of its refusals.
#pragma once

#include <QEventLoop>
#include <QFont>
#include <QRasterWindow>
#include <QRect>

#include <functional>

class QPainter;

namespace setup {

inline constexpr int kWindowWidth = 300;
inline constexpr int kWindowHeight = 80;
inline constexpr int kWorkTimerPeriod = 100;  // ms: the work starts once the window is painted

// Top-left corner that centres the window on a screen of that size (divisions truncate).
QPoint CentredPosition(const QSize& screen, const QSize& window = QSize(kWindowWidth, kWindowHeight));

// The font of the waiting text, a size the 300-pixel window was laid out for.
QFont SetupFont();

// The window's whole picture: grey rows, the waiting text at (60, 30), a sunken frame.
void PaintSetupWindow(QPainter& painter, const QFont& font = SetupFont());

// Class and title "正在检测...". Shows itself centred, runs `work` once from a timer tick
// after it is on the screen, then closes, which ends the program.
class SetupWindow : public QRasterWindow {
    Q_OBJECT
public:
    explicit SetupWindow(std::function<void()> work);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    std::function<void()> work_;
    int timer_ = 0;
};

// A small message window with one OK button: the message box of a program without a widget set.
class MessageWindow : public QRasterWindow {
    Q_OBJECT
public:
    MessageWindow(const QString& caption, const QString& text, QWindow* owner = nullptr);
    // Shows the window and returns once the user has closed it.
    void exec();
    QRect buttonRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString text_;
    QRect textRect_;
    QEventLoop loop_;
};

}  // namespace setup
