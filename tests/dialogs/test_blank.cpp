#include "dialogs/G_Blank.h"
#include "tests/support/GuiTestBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace corvanta;
using corvanta::test::press;

namespace {

class ProbeWindow : public TfmBlank {
public:
    ProbeWindow()
    {
        auto* layout = new QVBoxLayout(this);
        for (QLineEdit*& e : edits) {
            e = new QLineEdit(this);
            layout->addWidget(e);
        }
        connect(edits[0], &QLineEdit::returnPressed, this, [this] { ++returnsSeenByEdit; });
    }
    QLineEdit* edits[3];
    int returnsSeenByEdit = 0;
};

}  // namespace

TEST(TfmBlank, EnterMovesFocusToTheNextControlAndIsSwallowed)
{
    ProbeWindow w;
    w.resize(300, 200);
    w.show();
    QApplication::setActiveWindow(&w);
    w.edits[0]->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w.edits[0]);

    press(w.edits[0], Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(QApplication::focusWidget(), w.edits[1]);
    EXPECT_EQ(w.returnsSeenByEdit, 0);  // the control never saw the Enter
    press(w.edits[1], Qt::Key_Enter, QStringLiteral("\r"));
    EXPECT_EQ(QApplication::focusWidget(), w.edits[2]);
    EXPECT_TRUE(w.isVisible());  // Enter does not close the dialog either

    // Other keys reach the control.
    press(w.edits[2], Qt::Key_A, QStringLiteral("a"));
    EXPECT_EQ(w.edits[2]->text(), QStringLiteral("a"));
    w.close();
}

TEST(TfmBlank, CentresItselfWhenShown)
{
    ProbeWindow w;
    w.resize(301, 201);
    w.move(0, 0);
    w.show();
    const QRect s = w.screen()->geometry();
    const QRect f = w.frameGeometry();
    EXPECT_EQ(f.left(), s.x() + (s.width() - f.width()) / 2);
    EXPECT_EQ(f.top(), s.y() + (s.height() - f.height()) / 2);
    w.close();
}
