#pragma once
// The program's own message dialog: caption, text (up to four lines separated by CR), a button
// kind, options and an icon kind in; the keyword of the pressed button out.
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;

namespace corvanta {

enum class SuperMsgIcon { Information, Stop, Question, Exclamation };

// Which of the three buttons a button kind shows, and the captions of the left and middle one
// (the right one always reads "忽略").
struct SuperMsgButtonKind {
    bool left = false;
    bool middle = false;
    bool right = false;
    QString leftCaption;
    QString middleCaption;
    int count() const { return int(left) + int(middle) + int(right); }
};

// The button kind for "myok", "myyesno", ... (any letter case); nullopt for a kind not known.
std::optional<SuperMsgButtonKind> SuperMsgButtonsFor(const QString& buttons);

// Icon from the text's ASCII "?" and "!" (full-width punctuation does not count), overridden by
// the icon kind "stop", "info", "question" or "j" (any letter case).
SuperMsgIcon SuperMsgIconFor(const QString& text, const QString& iconKind);

// The button that gets the focus first, from the options string.
enum class SuperMsgFocus { None, Left, Middle, Right };
SuperMsgFocus SuperMsgFocusFor(const QString& options);

// The text split into its lines. CR separates lines (CR LF and a lone LF count as one separator).
// The dialog has room for four lines: the lines after the fourth are joined to it, separated by
// spaces, so nothing of the message is lost.
struct SuperMsgText {
    QStringList lines;  // 1 to 4 entries
    int widthBytes = 0; // GBK bytes of the longest line, each line but the last counting its CR
};
SuperMsgText SplitSuperMsgText(const QString& text);

// Sizes and positions, in pixels. width/height are the dialog's outer size; the positions are
// relative to the dialog's client area. A hidden button has left -1.
struct SuperMsgLayout {
    int width = 0;
    int height = 0;
    int labelLeft = 0;
    int labelWidth = 0;
    int labelTop[4] = {0, 0, 0, 0};
    int buttonTop = 0;
    int buttonLeft[3] = {-1, -1, -1};  // left, middle, right button
};

// textWidth: the text width W in pixels (bytes of the longest line x max char width / 2).
SuperMsgLayout ComputeSuperMsgLayout(int lineCount, int textWidth, const SuperMsgButtonKind& kind,
                                     int fontHeight, int buttonWidth = 80, int buttonHeight = 25);

// The 32 x 32 picture of an icon.
QPixmap SuperMsgIconPixmap(SuperMsgIcon icon);

class TsupermsgForm : public QDialog {
    Q_OBJECT
public:
    explicit TsupermsgForm(QWidget* parent = nullptr);

    // Sets the dialog up for one message; false (and nothing to show) for an unknown button kind.
    bool Prepare(const QString& caption, const QString& text, const QString& buttons,
                 const QString& options, const QString& icon);

    // "myok", "mycancel", "myignore", or "" while no button was pressed.
    QString result() const { return m_result; }
    SuperMsgIcon icon() const { return m_icon; }
    const SuperMsgLayout& layoutUsed() const { return m_layout; }

    QLabel* Image[4];        // information, stop, question, exclamation; one is visible
    QLabel* Label[4];        // one per text line
    QPushButton* LeftButton;   // "确定" / "是"
    QPushButton* MiddleButton; // "取消" / "否"
    QPushButton* RightButton;  // "忽略"

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void LeftButtonClick();
    void MiddleButtonClick();
    void RightButtonClick();

    QString m_result;
    SuperMsgIcon m_icon = SuperMsgIcon::Information;
    SuperMsgFocus m_focus = SuperMsgFocus::None;
    SuperMsgLayout m_layout;
};

// Shows the message dialog modally and returns the keyword of the pressed button ("" when it
// was closed otherwise, or not shown for an unknown button kind).
QString ShowSuperMsg(const QString& caption, const QString& text, const QString& buttons,
                     const QString& options = QString(), const QString& icon = QString());

// Test seam: while answers are queued, ShowSuperMsg shows nothing; it records the call and
// returns the next answer. A call with an unknown button kind is recorded, returns "" and leaves
// the queue alone, as the real dialog would show nothing.
struct SuperMsgCall {
    QString caption;
    QString text;
    QString buttons;
    QString options;
    QString icon;
};

class SuperMsgSeam {
public:
    static void setNextAnswer(const QString& answer);
    static bool armed();
    static int pendingAnswers();
    static const std::vector<SuperMsgCall>& calls();
    // Forgets queued answers and recorded calls.
    static void reset();
};

}  // namespace corvanta
