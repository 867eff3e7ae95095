#include "dialogs/FileDialog.h"
#include "dialogs/GuiMessages.h"
#include "dialogs/SuperMsg.h"
#include "base/QtChinese.h"
#include "reports/ReportWidgets.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTimer>
#include <QAbstractButton>
#include <QDateEdit>
#include <QLocale>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace corvanta;

TEST(GuiMessages, RoutesToTheDialogAndTheSystemBoxSeams)
{
    GuiMessages messages;
    SuperMsgSeam::reset();
    SuperMsgSeam::setNextAnswer(QStringLiteral("myok"));
    EXPECT_EQ(messages.superMsg(QStringLiteral("提示"), QStringLiteral("删除?"), QStringLiteral("myyesno")),
              QStringLiteral("myok"));
    ASSERT_EQ(SuperMsgSeam::calls().size(), 1u);
    EXPECT_EQ(SuperMsgSeam::calls()[0].text, QStringLiteral("删除?"));
    SuperMsgSeam::reset();

    SystemBoxSeam::arm();
    messages.systemBox(QStringLiteral("系统提示"), QStringLiteral("该网点已经有商品销售记录，不能删除！"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorvel汇总版"));
    ShowErrorReport(QStringLiteral("disk full"));
    ASSERT_EQ(SystemBoxSeam::calls().size(), 2u);
    EXPECT_EQ(SystemBoxSeam::calls()[0].caption, QStringLiteral("系统提示"));
    EXPECT_EQ(SystemBoxSeam::calls()[1].caption, QStringLiteral("Quorvel汇总版"));
    EXPECT_EQ(SystemBoxSeam::calls()[1].text, QStringLiteral("disk full"));
    SystemBoxSeam::disarm();
    EXPECT_TRUE(SystemBoxSeam::calls().empty());
}

namespace {
QStringList g_logged;
void recordLog(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    g_logged << QString::fromLatin1(context.category) + QLatin1Char(' ') + text;
}
}  // namespace

// The cause goes to the log; no dialog opens for it and the message shown stays as it was.
TEST(GuiMessages, TheCauseGoesToTheLog)
{
    GuiMessages messages;
    SystemBoxSeam::arm();
    SuperMsgSeam::reset();
    g_logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLog);
    messages.systemBox(QStringLiteral("错误"), QStringLiteral("连接失败，请确认输入正确的服务器名！"));
    messages.cause(QStringLiteral("could not connect to server: No such file or directory"));
    messages.cause(QStringLiteral(" "));
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_logged, QStringList{QStringLiteral("corvanta.cause 原因: could not connect to server: No such file or directory")});
    ASSERT_EQ(SystemBoxSeam::calls().size(), 1u);
    EXPECT_EQ(SystemBoxSeam::calls()[0].text, QStringLiteral("连接失败，请确认输入正确的服务器名！"));
    EXPECT_TRUE(SuperMsgSeam::calls().empty());
    SystemBoxSeam::disarm();
}

TEST(GuiMessages, BusyCursorNestsAndIsRestored)
{
    {
        GuiMessages messages;
        messages.busy(true);
        messages.busy(true);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        messages.busy(false);
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
        messages.busy(false);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        messages.busy(false);  // an extra "off" must not pop someone else's cursor
        messages.busy(true);
    }
    // Leaving the channel while busy gives the cursor back.
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(FileDialogSeam, QueuedAnswersIncludingCancel)
{
    fileDialog()->reset();
    fileDialog()->setNextFileName(QStringLiteral("/tmp/a.txt"));
    fileDialog()->setNextCancel();

    TOpenDialog dialog;
    dialog.Filter = QStringLiteral("Text files (*.txt)");
    dialog.FileName = QStringLiteral("/prog/good.txt");
    EXPECT_TRUE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/a.txt"));
    // Cancel: false, and the file name of the last choice stays.
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/tmp/a.txt"));

    ASSERT_EQ(fileDialog()->calls().size(), 2u);
    EXPECT_EQ(fileDialog()->calls()[0].proposedFile, QStringLiteral("/prog/good.txt"));
    EXPECT_EQ(fileDialog()->calls()[0].filter, QStringLiteral("Text files (*.txt)"));
    EXPECT_FALSE(fileDialog()->armed());
    fileDialog()->reset();
}

// The real box: a lone carriage return breaks the line, the caption fits, the details sit behind
// the details button.
TEST(GuiMessages, SystemBoxShowsLinesCaptionAndDetails)
{
    SystemBoxSeam::disarm();
    QString text, details;
    int width = 0, captionNeeds = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        details = box->detailedText();
        width = box->width();
        captionNeeds = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(box->windowTitle());
        box->accept();
    });
    ShowSystemBox(QStringLiteral("一个很长的标题：数据导入错误的系统提示"), QStringLiteral("数据导入失败！\r错误原因：网点不存在"),
                  QStringLiteral("文件：a.txt\n行号：3"));
    EXPECT_EQ(text, QStringLiteral("数据导入失败！\n错误原因：网点不存在"));
    EXPECT_EQ(details, QStringLiteral("文件：a.txt\n行号：3"));
    EXPECT_GE(width, captionNeeds + 120);
}

// Qt's own texts speak Chinese, and the date pickers show yyyy-MM-dd whatever the locale.
TEST(GuiMessages, QtTextsInChineseAndPlainDates)
{
    QTranslator* chinese = InstallQtChinese(*qApp);
    ASSERT_NE(chinese, nullptr) << "qtbase_zh_CN.qm missing (Debian package qt6-translations-l10n)";
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("系统提示"), QStringLiteral("x"), QMessageBox::Ok);
    box.setDetailedText(QStringLiteral("y"));
    box.show();
    QStringList buttons;
    for (const QAbstractButton* b : box.findChildren<QAbstractButton*>())
        buttons << b->text();
    box.hide();
    QWidget panel;
    QDateEdit* picker = ReportDatePicker(&panel, QRect(0, 0, 180, 22));
    picker->setDate(QDate(2026, 12, 9));
    const QString shown = picker->text();
    QCoreApplication::removeTranslator(chinese);
    delete chinese;
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(buttons.contains(QStringLiteral("确定"))) << buttons.join('|').toStdString();
    EXPECT_TRUE(buttons.join('|').contains(QStringLiteral("详情"))) << buttons.join('|').toStdString();
    EXPECT_EQ(shown, QStringLiteral("2026-12-09"));
}
