#include "dialogs/SuperMsg.h"
#include "tests/support/GuiTestBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvanta;

namespace {

SuperMsgButtonKind kindOf(const char* buttons)
{
    auto kind = SuperMsgButtonsFor(QString::fromUtf8(buttons));
    EXPECT_TRUE(kind.has_value()) << buttons;
    return kind.value_or(SuperMsgButtonKind{});
}

void sendKey(int key)
{
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeModalWidget();
    ASSERT_NE(target, nullptr);
    test::press(target, key);
}

// Shows the real dialog and acts on it once it is on the screen.
QString showAndAct(const QString& text, const QString& buttons, const QString& options,
                   std::function<void(TsupermsgForm*)> act)
{
    bool acted = false;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<TsupermsgForm*>(QApplication::activeModalWidget());
        if (!form)
            return;
        acted = true;
        QApplication::setActiveWindow(form);
        act(form);
        // Whatever the action did, never leave a modal loop running.
        if (form->isVisible())
            QTimer::singleShot(0, form, [form] { if (form->isVisible()) form->done(QDialog::Rejected); });
    });
    const QString result = ShowSuperMsg(QStringLiteral("提示"), text, buttons, options, QString());
    EXPECT_TRUE(acted);
    return result;
}

}  // namespace

TEST(SuperMsgLayout, OneLineOneButtonMinimum)
{
    // W <= 55 keeps the minimum dialog.
    const auto l = ComputeSuperMsgLayout(1, 55, kindOf("myok"), 14);
    EXPECT_EQ(l.width, 140);
    EXPECT_EQ(l.height, 107);
    EXPECT_EQ(l.labelTop[0], 20);
    EXPECT_EQ(l.buttonTop, 47);
    EXPECT_EQ(l.buttonLeft[0], 30);
    EXPECT_EQ(l.buttonLeft[1], -1);
    EXPECT_EQ(l.buttonLeft[2], -1);
    EXPECT_EQ(l.labelLeft, (140 - 55) / 2 + 14);

    // A single middle or right button is centred as well.
    EXPECT_EQ(ComputeSuperMsgLayout(1, 10, kindOf("mycancel"), 14).buttonLeft[1], 30);
    EXPECT_EQ(ComputeSuperMsgLayout(1, 10, kindOf("myignore"), 14).buttonLeft[2], 30);
}

TEST(SuperMsgLayout, HeightsAndButtonTopsByLines)
{
    const auto two = kindOf("myyesno");
    const auto three = kindOf("myokcancelignore");
    EXPECT_EQ(ComputeSuperMsgLayout(1, 10, two, 14).height, 112);
    EXPECT_EQ(ComputeSuperMsgLayout(1, 10, two, 14).buttonTop, 51);  // 112 * 0.452
    EXPECT_EQ(ComputeSuperMsgLayout(2, 10, kindOf("myok"), 14).height, 107);
    EXPECT_EQ(ComputeSuperMsgLayout(2, 10, two, 14).height, 112);
    EXPECT_EQ(ComputeSuperMsgLayout(2, 10, kindOf("myok"), 14).buttonTop, 48);  // 107 * 0.452
    EXPECT_EQ(ComputeSuperMsgLayout(3, 10, kindOf("myok"), 14).height, 135);
    EXPECT_EQ(ComputeSuperMsgLayout(3, 10, three, 14).height, 135);
    EXPECT_EQ(ComputeSuperMsgLayout(3, 10, kindOf("myok"), 14).buttonTop, 72);  // 135 * 0.532
    EXPECT_EQ(ComputeSuperMsgLayout(4, 10, kindOf("myok"), 14).height, 145);
    EXPECT_EQ(ComputeSuperMsgLayout(4, 10, two, 14).buttonTop, 84);  // 145 * 0.582

    // Several lines: first label at a tenth of the height, the next ones a text height + 5 apart.
    const auto l = ComputeSuperMsgLayout(3, 10, kindOf("myok"), 14);
    EXPECT_EQ(l.labelTop[0], 14);  // 13.5 rounded
    EXPECT_EQ(l.labelTop[1], 33);
    EXPECT_EQ(l.labelTop[2], 52);
}

TEST(SuperMsgLayout, MinimumWidthsAndButtonPositions)
{
    const auto two = ComputeSuperMsgLayout(1, 10, kindOf("myokcancel"), 14);
    EXPECT_EQ(two.width, 232);
    EXPECT_EQ(two.buttonLeft[0], 116 - 12 - 80);
    EXPECT_EQ(two.buttonLeft[1], 116 + 12);

    // Two buttons take the first and second place whichever buttons they are.
    const auto leftRight = ComputeSuperMsgLayout(1, 10, kindOf("myokignore"), 14);
    EXPECT_EQ(leftRight.buttonLeft[0], 24);
    EXPECT_EQ(leftRight.buttonLeft[1], -1);
    EXPECT_EQ(leftRight.buttonLeft[2], 128);

    const auto three = ComputeSuperMsgLayout(1, 10, kindOf("myyesnoignore"), 14);
    EXPECT_EQ(three.width, 328);
    EXPECT_EQ(three.buttonLeft[1], 124);
    EXPECT_EQ(three.buttonLeft[0], 124 - 14 - 80);
    EXPECT_EQ(three.buttonLeft[2], 124 + 80 + 14);

    // A long line widens the dialog to W + 85; the buttons stay centred on it.
    const auto wide = ComputeSuperMsgLayout(1, 401, kindOf("myok"), 14);
    EXPECT_EQ(wide.width, 486);
    EXPECT_EQ(wide.buttonLeft[0], (486 - 80) / 2);
    EXPECT_EQ(wide.labelLeft, (486 - 401) / 2 + 14);
    const auto wideTwo = ComputeSuperMsgLayout(1, 401, kindOf("myyesno"), 14);
    EXPECT_EQ(wideTwo.buttonLeft[0], 243 - 12 - 80);
    EXPECT_EQ(wideTwo.buttonLeft[1], 243 + 12);
}

TEST(SuperMsgText, LinesWidthAndMoreThanFourLines)
{
    // A Chinese character counts two bytes; every line but the last counts its CR.
    auto t = SplitSuperMsgText(QStringLiteral("你好\rabc"));
    EXPECT_EQ(t.lines, QStringList({QStringLiteral("你好"), QStringLiteral("abc")}));
    EXPECT_EQ(t.widthBytes, 5);
    t = SplitSuperMsgText(QStringLiteral("ab\r你好吗"));
    EXPECT_EQ(t.widthBytes, 6);

    // Lines after the fourth are joined to it: the layout stays at four lines, nothing is lost.
    t = SplitSuperMsgText(QStringLiteral("1\r2\r3\r4\r5\r6"));
    ASSERT_EQ(t.lines.size(), 4);
    EXPECT_EQ(t.lines[3], QStringLiteral("4 5 6"));
    EXPECT_EQ(t.widthBytes, 5);

    // CR LF is one separator, not an empty line.
    EXPECT_EQ(SplitSuperMsgText(QStringLiteral("a\r\nb")).lines.size(), 2);
    EXPECT_EQ(SplitSuperMsgText(QString()).lines.size(), 1);
}

TEST(SuperMsgKinds, ButtonTableIconsAndFocusOptions)
{
    const auto yesno = kindOf("MyYesNo");
    EXPECT_TRUE(yesno.left && yesno.middle && !yesno.right);
    EXPECT_EQ(yesno.leftCaption, QStringLiteral("是"));
    EXPECT_EQ(yesno.middleCaption, QStringLiteral("否"));
    EXPECT_EQ(kindOf("myokcancelignore").count(), 3);
    EXPECT_EQ(kindOf("myno").middleCaption, QStringLiteral("否"));
    EXPECT_FALSE(SuperMsgButtonsFor(QStringLiteral("myyesnocancel")).has_value());
    EXPECT_FALSE(SuperMsgButtonsFor(QString()).has_value());

    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("删除吗?"), QString()), SuperMsgIcon::Question);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("不能删除!"), QString()), SuperMsgIcon::Exclamation);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("不能删除！"), QString()), SuperMsgIcon::Information);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("真的吗？"), QString()), SuperMsgIcon::Information);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("what?!"), QString()), SuperMsgIcon::Stop);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("what?!"), QStringLiteral("INFO")), SuperMsgIcon::Information);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("ok"), QStringLiteral("Question")), SuperMsgIcon::Question);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("ok"), QStringLiteral("J")), SuperMsgIcon::Exclamation);
    EXPECT_EQ(SuperMsgIconFor(QStringLiteral("ok?"), QStringLiteral("warning")), SuperMsgIcon::Question);

    EXPECT_EQ(SuperMsgFocusFor(QString()), SuperMsgFocus::None);
    EXPECT_EQ(SuperMsgFocusFor(QStringLiteral("InitiatCancel")), SuperMsgFocus::Middle);
    // Several present: the later one in the list ok, cancel, ignore wins.
    EXPECT_EQ(SuperMsgFocusFor(QStringLiteral("initiatignore,initiatok")), SuperMsgFocus::Right);
    EXPECT_EQ(SuperMsgFocusFor(QStringLiteral("initiatcancel initiatok")), SuperMsgFocus::Middle);
}

TEST(SuperMsgForm, PreparesWidgetsFromTheCall)
{
    TsupermsgForm form;
    ASSERT_TRUE(form.Prepare(QStringLiteral("提示信息"), QStringLiteral("第一行\r第二行"),
                             QStringLiteral("myyesno"), QString(), QStringLiteral("Question")));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("提示信息"));
    EXPECT_EQ(form.icon(), SuperMsgIcon::Question);
    EXPECT_FALSE(form.Image[0]->isVisibleTo(&form));
    EXPECT_TRUE(form.Image[2]->isVisibleTo(&form));
    EXPECT_EQ(form.Label[0]->text(), QStringLiteral("第一行"));
    EXPECT_EQ(form.Label[1]->text(), QStringLiteral("第二行"));
    EXPECT_FALSE(form.Label[2]->isEnabled());
    EXPECT_EQ(form.LeftButton->text(), QStringLiteral("是"));
    EXPECT_EQ(form.MiddleButton->text(), QStringLiteral("否"));
    EXPECT_TRUE(form.RightButton->isHidden());
    EXPECT_EQ(form.LeftButton->size(), QSize(80, 25));
    EXPECT_EQ(form.width(), form.layoutUsed().width);
    // No close box on the caption bar.
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);

    TsupermsgForm unknown;
    EXPECT_FALSE(unknown.Prepare(QString(), QStringLiteral("x"), QStringLiteral("nonsense"), QString(), QString()));
    EXPECT_EQ(ShowSuperMsg(QString(), QStringLiteral("x"), QStringLiteral("nonsense")), QString());
}

TEST(SuperMsgDialog, ButtonsReturnTheirKeywordsWhateverTheirCaptions)
{
    EXPECT_EQ(showAndAct(QStringLiteral("删除?"), QStringLiteral("myyesno"), QString(),
                         [](TsupermsgForm* f) { f->MiddleButton->click(); }),
              QStringLiteral("mycancel"));
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myyesno"), QString(),
                         [](TsupermsgForm* f) { f->LeftButton->click(); }),
              QStringLiteral("myok"));
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokcancelignore"), QString(),
                         [](TsupermsgForm* f) { f->RightButton->click(); }),
              QStringLiteral("myignore"));
    // Closed without a button (the system's close key): empty.
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myok"), QString(),
                         [](TsupermsgForm* f) { f->close(); }),
              QString());
}

TEST(SuperMsgDialog, EnterEscapeAndInitialFocus)
{
    // Enter presses the focused button; without options that is the left one.
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokcancel"), QString(),
                         [](TsupermsgForm*) { sendKey(Qt::Key_Return); }),
              QStringLiteral("myok"));
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokcancel"), QStringLiteral("initiatcancel"),
                         [](TsupermsgForm*) { sendKey(Qt::Key_Return); }),
              QStringLiteral("mycancel"));
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokcancelignore"), QStringLiteral("InitiatIgnore"),
                         [](TsupermsgForm*) { sendKey(Qt::Key_Return); }),
              QStringLiteral("myignore"));
    // initiatcancel without a middle button falls back to the left one.
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokignore"), QStringLiteral("initiatcancel"),
                         [](TsupermsgForm* f) { EXPECT_TRUE(f->LeftButton->hasFocus()); sendKey(Qt::Key_Return); }),
              QStringLiteral("myok"));
    // initiatok with only middle and right: the middle one.
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("mycancelignore"), QStringLiteral("initiatok"),
                         [](TsupermsgForm*) { sendKey(Qt::Key_Return); }),
              QStringLiteral("mycancel"));

    // Escape: the middle button, else the right one; with only the left one nothing happens.
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokcancelignore"), QString(),
                         [](TsupermsgForm*) { sendKey(Qt::Key_Escape); }),
              QStringLiteral("mycancel"));
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myokignore"), QString(),
                         [](TsupermsgForm*) { sendKey(Qt::Key_Escape); }),
              QStringLiteral("myignore"));
    EXPECT_EQ(showAndAct(QStringLiteral("a"), QStringLiteral("myok"), QString(),
                         [](TsupermsgForm* f) {
                             sendKey(Qt::Key_Escape);
                             EXPECT_TRUE(f->isVisible());
                             f->LeftButton->click();
                         }),
              QStringLiteral("myok"));
}

TEST(SuperMsgSeam, AnswersFromTheQueueAndRecordsCalls)
{
    SuperMsgSeam::reset();
    SuperMsgSeam::setNextAnswer(QStringLiteral("mycancel"));
    SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
    EXPECT_EQ(ShowSuperMsg(QStringLiteral("提示信息"), QStringLiteral("确定?"), QStringLiteral("myokcancel")),
              QStringLiteral("mycancel"));
    // An unknown kind is recorded, answers "" and keeps the queued answer.
    EXPECT_EQ(ShowSuperMsg(QStringLiteral("t"), QStringLiteral("x"), QStringLiteral("bogus")), QString());
    EXPECT_EQ(SuperMsgSeam::pendingAnswers(), 1);
    EXPECT_EQ(ShowSuperMsg(QStringLiteral("t"), QStringLiteral("y"), QStringLiteral("myok"), QString(),
                           QStringLiteral("stop")),
              QStringLiteral("myok"));
    EXPECT_FALSE(SuperMsgSeam::armed());
    ASSERT_EQ(SuperMsgSeam::calls().size(), 3u);
    EXPECT_EQ(SuperMsgSeam::calls()[0].caption, QStringLiteral("提示信息"));
    EXPECT_EQ(SuperMsgSeam::calls()[0].buttons, QStringLiteral("myokcancel"));
    EXPECT_EQ(SuperMsgSeam::calls()[2].icon, QStringLiteral("stop"));
    SuperMsgSeam::reset();
    EXPECT_TRUE(SuperMsgSeam::calls().empty());
}
