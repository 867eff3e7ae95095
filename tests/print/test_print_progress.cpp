// Laying out a long report shows its progress page by page and stops when cancelled.
#include "print/PaintProgress.h"
#include "print/Report.h"

#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvanta::print;

namespace {

Report longReport(int rows)
{
    Report r;
    r.title = QStringLiteral("销售情况查询表");
    r.footer = QStringLiteral("第 {page} 页 / 共 {pages} 页");
    r.columns.push_back({QStringLiteral("序号"), 6, Align::Right, {}, false, 0});
    r.columns.push_back({QStringLiteral("商品名称"), 20, Align::Left, {}, false, 1});
    for (int i = 1; i <= rows; ++i)
        r.rows.push_back({QString::number(i), QStringLiteral("红色铅笔")});
    return r;
}

}  // namespace

TEST(PaintProgress, CountsThePagesAndCancelStopsThePainting)
{
    QTemporaryDir dir;
    const Report report = longReport(600);
    {
        QPdfWriter all(dir.filePath("all.pdf"));
        PaintProgress progress;
        std::vector<int> seen;
        QString error;
        const int pages = paintReport(report, all, error, [&](int page, int total) {
            seen.push_back(page);
            EXPECT_TRUE(progress(page, total));
            return true;
        });
        ASSERT_GT(pages, 5);
        EXPECT_EQ(int(seen.size()), pages);
        EXPECT_EQ(progress.dialog().labelText(), QStringLiteral("正在排版第 %1 页，共 %1 页…").arg(pages));
    }
    QPdfWriter part(dir.filePath("part.pdf"));
    PaintProgress progress;
    const QList<QPushButton*> buttons = progress.dialog().findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("取消"));
    int painted = 0;
    QString error;
    const int pages = paintReport(report, part, error, [&](int page, int total) {
        if (page == 3)
            buttons[0]->click();  // the user cancels while page 3 is being laid out
        painted = page;
        return progress(page, total);
    });
    EXPECT_EQ(pages, 0);
    EXPECT_EQ(painted, 3);
    EXPECT_TRUE(progress.cancelled());
    EXPECT_EQ(error, QStringLiteral("已取消"));
}
