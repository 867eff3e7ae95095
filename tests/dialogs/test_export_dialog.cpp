// "导出" of a long grid: a progress window while the file is written, then a note naming it.
#include "dialogs/ExportDialog.h"
#include "tests/support/GuiTestBase.h"
#include "tests/support/TestSupport.h"

#include <QEvent>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>

using namespace corvanta;
using namespace corvanta::test;

namespace {

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
