// The windows' export: the same checked, whole writes and refusals as corvanta-cli, and a
// long grid's progress window and closing note naming the file.
#include "dialogs/ExportDialog.h"
#include "dialogs/FileDialog.h"
#include "base/Gbk.h"
#include "tests/support/GuiTestBase.h"
#include "tests/support/TestSupport.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvanta;
using namespace corvanta::test;

namespace {

class Grid : public GridSource {
public:
    int rowCount() const override { return 2; }
    int columnCount() const override { return 2; }
    QString cell(int row, int column) const override
    {
        return row == 0 ? QStringList{"行号", "网点名称"}[column] : QStringList{"1", "曼谷กรุงเทพ店"}[column];
    }
    int columnWidth(int) const override { return 80; }
};


class LongGrid : public GridSource {
public:
    int rowCount() const override { return 20001; }
    int columnCount() const override { return 3; }
    QString cell(int row, int column) const override
    {
        return row == 0 ? QStringLiteral("列%1").arg(column) : QString::number(row * 10 + column);
    }
    int columnWidth(int) const override { return 60; }
};

// Counts progress windows shown and the highest value they reached.
class ProgressWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Only events of a window fully made: during its construction it has no bar yet.
        if (event->type() != QEvent::Show && event->type() != QEvent::Paint)
            return false;
        if (auto* p = qobject_cast<QProgressDialog*>(watched)) {
            if (event->type() == QEvent::Show)
                ++shown;
            highest = std::max(highest, p->value());
            label = p->labelText();
        }
        return false;
    }
    int shown = 0;
    int highest = 0;
    QString label;
};

class ExportDialogTest : public GuiTestBase<> {};

}  // namespace

TEST(ExportDialog, RefusesTheProgramsFilesAndGbkItCannotHoldOffersGb18030)
{
    TempProgramDir program;
    program.writeConfig("[SYSTEM]\nUSER=sa\n");
    const QByteArray config = [&] {
        QFile f(program.path() + "/Config.cfg");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    RecordingMessages msgs;
    Grid grid;
    for (const QString& target : {program.path() + "/Config.cfg", program.dataDir() + "/master.db"}) {
        fileDialog()->setNextSaveFileName(target, ExportFilters()[1]);
        msgs.messages.clear();
        EXPECT_FALSE(ExportGrid(nullptr, grid, msgs, "网点"));
        ASSERT_EQ(msgs.messages.size(), 1u);
        EXPECT_TRUE(msgs.messages[0].text.contains(QStringLiteral("不能写入文件"))) << msgs.messages[0].text.toStdString();
    }
    QFile f(program.path() + "/Config.cfg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), config);
    EXPECT_FALSE(QFileInfo::exists(program.dataDir() + "/master.db"));

    QTemporaryDir dir;
    const QString gbkFile = dir.filePath("gbk.csv");
    ASSERT_EQ(ExportFilters().size(), 4);
    fileDialog()->setNextSaveFileName(gbkFile, ExportFilters()[2]);
    msgs.messages.clear();
    EXPECT_FALSE(ExportGrid(nullptr, grid, msgs, "网点"));
    ASSERT_EQ(msgs.messages.size(), 1u);
    EXPECT_TRUE(msgs.messages[0].text.contains(QStringLiteral("第 1 行第 2 列（网点名称）"))) << msgs.messages[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(gbkFile));

    const QString wide = dir.filePath("gb18030.csv");
    fileDialog()->setNextSaveFileName(wide, ExportFilters()[3]);
    EXPECT_TRUE(ExportGrid(nullptr, grid, msgs, "网点"));
    QFile w(wide);
    ASSERT_TRUE(w.open(QIODevice::ReadOnly));
    EXPECT_TRUE(gbk::decode(w.readAll()).contains(QStringLiteral("曼谷กรุงเทพ店")));
    fileDialog()->reset();
}


TEST_F(ExportDialogTest, LongExportShowsProgressAndEndsWithTheFileName)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("销售.csv"));
    fileDialog()->setNextSaveFileName(file, ExportFilters()[1]);
    ProgressWatch watch;
    qApp->installEventFilter(&watch);
    const LongGrid grid;
    GuiMessages messages;
    EXPECT_TRUE(ExportGrid(nullptr, grid, messages, QStringLiteral("销售")));
    qApp->removeEventFilter(&watch);
    EXPECT_EQ(watch.shown, 1);
    EXPECT_GT(watch.highest, 10000);
    EXPECT_TRUE(watch.label.contains(QStringLiteral("销售.csv")));
    EXPECT_EQ(systemBoxTexts(), QStringList{QStringLiteral("导出: 已导出到\n") + QDir::toNativeSeparators(file)});
    EXPECT_TRUE(QFile::exists(file));
}
