#pragma once
// The base of the window tests: the message dialog, the plain message box and the file dialogs
// answer through their seams for the whole test and start empty, and keys reach a widget through
// its own event handling. Base is the fixture a test needs below the windows (an account set, say).
#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"
#include "dialogs/SuperMsg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>

namespace corvanta::test {

// One key press sent to target, as the keyboard would deliver it to the focused widget.
inline void press(QWidget* target, int key, const QString& text = QString(),
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &up);
}

// Types text character by character (letters and digits as Key_A, the rest as Key_unknown).
inline void type(QWidget* target, const QString& text)
{
    for (const QChar c : text)
        press(target, c.isLetterOrNumber() && c.unicode() < 128 ? Qt::Key_A : Qt::Key_unknown, QString(c));
}

// "caption: text" of every plain message box shown so far.
inline QStringList systemBoxTexts()
{
    QStringList out;
    for (const SystemBoxCall& c : SystemBoxSeam::calls())
        out << c.caption + QStringLiteral(": ") + c.text;
    return out;
}

// "caption: text" of every message dialog shown so far.
inline QStringList superMsgTexts()
{
    QStringList out;
    for (const SuperMsgCall& c : SuperMsgSeam::calls())
        out << c.caption + QStringLiteral(": ") + c.text;
    return out;
}

template <class Base = ::testing::Test>
class GuiTestBase : public Base {
protected:
    void SetUp() override
    {
        armSeams();
        Base::SetUp();
    }
    void TearDown() override
    {
        Base::TearDown();
        // An answer still queued is a message the test expected and the window never showed.
        if (checkAnswersUsed) {
            EXPECT_EQ(SuperMsgSeam::pendingAnswers(), 0) << "a message that was expected did not come";
        }
        disarmSeams();
    }

    static void armSeams()
    {
        SuperMsgSeam::reset();
        SystemBoxSeam::arm();
        fileDialog()->reset();
    }
    static void disarmSeams()
    {
        SuperMsgSeam::reset();
        SystemBoxSeam::disarm();
        fileDialog()->reset();
    }

    // Shows w as the active window and lets it lay itself out.
    static void show(QWidget& w)
    {
        w.show();
        QApplication::setActiveWindow(&w);
        QApplication::processEvents();
    }

    // Off for tests that queue an answer only to catch a message that should not come.
    bool checkAnswersUsed = true;
};

}  // namespace corvanta::test
