// The statistics chart: which groups and points it shows per mode, and drawing it to files.
#include "chart/StatChart.h"
#include "reports/StatChartModel.h"

#include <QBarSeries>
#include <QBarSet>
#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QChart>
#include <QFile>
#include <QLineSeries>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace corvanta;

namespace {

class StatGrid : public GridSource {
public:
    explicit StatGrid(std::vector<QStringList> rows) : m_rows(std::move(rows))
    {
        m_rows.insert(m_rows.begin(), QStringList{"行号", "商品编号", "商品名称", "数量", "金额", "成本", "利润"});
        m_rows.resize(m_rows.size() + 3);  // the grid's empty padding rows
    }
    int rowCount() const override { return int(m_rows.size()); }
    int columnCount() const override { return 7; }
    QString cell(int row, int column) const override { return m_rows[std::size_t(row)].value(column); }
    int columnWidth(int) const override { return 60; }

private:
    std::vector<QStringList> m_rows;
};

// n groups; group i has amount i+1 (so the smallest ones fall into "其他"), profit half of it.
StatGrid groups(int n)
{
    std::vector<QStringList> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({QString::number(i + 1), QString("P%1").arg(i), QString("产品%1").arg(i), "1",
                        QString::number(i + 1), "0", QString::number((i + 1) / 2.0)});
    return StatGrid(rows);
}

}  // namespace

TEST(StatChart, BarsPerGroupWithTheRestAsOthers)
{
    StatChartModel m = BuildStatChart(0, groups(3));
    EXPECT_FALSE(m.line);
    EXPECT_EQ(m.title, "按产品统计");
    ASSERT_EQ(m.points.size(), 3u);
    EXPECT_EQ(m.points[2].label, "产品2");
    EXPECT_EQ(m.points[2].amount, 3);
    EXPECT_EQ(m.points[2].profit, 1.5);

    m = BuildStatChart(1, groups(20));
    EXPECT_EQ(m.points.size(), 20u);
    EXPECT_NE(m.points.back().label, kChartOthers);

    // 25 groups: the 20 largest in grid order, then 其他 with the sums of the five smallest.
    m = BuildStatChart(2, groups(25));
    ASSERT_EQ(m.points.size(), 21u);
    EXPECT_EQ(m.points.front().label, "产品5");
    EXPECT_EQ(m.points[19].label, "产品24");
    EXPECT_EQ(m.points.back().label, kChartOthers);
    EXPECT_EQ(m.points.back().amount, 1 + 2 + 3 + 4 + 5);
    EXPECT_EQ(m.points.back().profit, (1 + 2 + 3 + 4 + 5) / 2.0);

    // The bars follow the grid's order (a header sort): reversed rows, reversed bars.
    std::vector<QStringList> rows{{"1", "45", "销售退货", "-1", "-0.5", "-0.3", "-0.2"},
                                  {"2", "11", "销售", "13", "35", "21", "14"}};
    m = BuildStatChart(2, StatGrid(rows));
    ASSERT_EQ(m.points.size(), 2u);
    EXPECT_EQ(m.points[0].label, "销售退货");
    EXPECT_EQ(m.points[0].amount, -0.5);
    EXPECT_EQ(m.points[1].label, "销售");
}

TEST(StatChart, LineOfDaysInDateOrder)
{
    std::vector<QStringList> rows{{"1", "2024-03-01", "2024-03-01", "1", "10", "6", "4"},
                                  {"2", "2024-01-10", "2024-01-10", "1", "25", "15", "10"},
                                  {"3", "2024-02-01", "2024-02-01", "1", "-0.5", "-0.3", "-0.2"}};
    for (int i = 0; i < 30; ++i)  // more days than groups: a line has no 其他
        rows.push_back({"", "", QDate(2023, 1, 1).addDays(i).toString("yyyy-MM-dd"), "1", "1", "0", "1"});
    const StatChartModel m = BuildStatChart(3, StatGrid(rows));
    EXPECT_TRUE(m.line);
    ASSERT_EQ(m.points.size(), 33u);
    EXPECT_EQ(m.points[30].date, QDate(2024, 1, 10));
    EXPECT_EQ(m.points[30].amount, 25);
    EXPECT_EQ(m.points[31].date, QDate(2024, 2, 1));
    EXPECT_EQ(m.points[32].profit, 4);
}

TEST(StatChart, DrawnAsBarsOrLinesAndSavedAsPngSvgPdf)
{
    const StatChartModel bars = BuildStatChart(0, groups(25));
    std::unique_ptr<QChart> chart(MakeStatChart(bars));
    // The named groups against the left axis, "其他" as a group of its own against the right one.
    ASSERT_EQ(chart->series().size(), 2);
    auto* series = qobject_cast<QBarSeries*>(chart->series()[0]);
    ASSERT_TRUE(series);
    ASSERT_EQ(series->count(), 2);
    EXPECT_EQ(series->barSets()[0]->label(), "金额");
    EXPECT_EQ(series->barSets()[0]->count(), 21);
    EXPECT_EQ(series->barSets()[1]->at(20), 0);
    auto* rest = qobject_cast<QBarSeries*>(chart->series()[1]);
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->barSets()[1]->label(), "其他·利润");
    EXPECT_EQ(rest->barSets()[1]->at(20), 7.5);
    EXPECT_EQ(rest->barSets()[1]->at(0), 0);

    std::vector<QStringList> rows{{"1", "", "2024-01-10", "1", "25", "15", "10"},
                                  {"2", "", "2024-01-11", "1", "5", "3", "2"}};
    const StatChartModel line = BuildStatChart(3, StatGrid(rows));
    chart.reset(MakeStatChart(line));
    ASSERT_EQ(chart->series().size(), 2);
    auto* amount = qobject_cast<QLineSeries*>(chart->series()[0]);
    ASSERT_TRUE(amount);
    EXPECT_EQ(amount->count(), 2);
    EXPECT_EQ(amount->at(0).y(), 25);

    QTemporaryDir dir;
    QString error;
    const QString png = dir.filePath("统计.png");
    ASSERT_TRUE(SaveStatChart(bars, png, &error)) << error.toStdString();
    QFile f(png);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("\x89PNG"));
    ASSERT_TRUE(SaveStatChart(line, dir.filePath("x.svg"), &error));
    QFile svg(dir.filePath("x.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));
    ASSERT_TRUE(SaveStatChart(line, dir.filePath("x.PDF"), &error));
    QFile pdf(dir.filePath("x.PDF"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF"));
    EXPECT_FALSE(SaveStatChart(line, dir.filePath("x.jpg"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// 210 products, the rest ten million: the named bars keep a scale of their own, the axes read in
// plain digits with separators, the names are readable and whole in the tool tip.
TEST(StatChart, OthersOnItsOwnScalePlainDigitsReadableLabels)
{
    std::vector<QStringList> rows;
    for (int i = 0; i < 210; ++i)
        rows.push_back({QString::number(i + 1), QString("P%1").arg(i), QString("第%1号长名称的铅笔礼盒装").arg(i), "1",
                        QString::number(i < 20 ? 300000 + i * 1000 : 50000), "0", "1000"});
    const StatChartModel m = BuildStatChart(0, StatGrid(rows));
    std::unique_ptr<QChart> chart(MakeStatChart(m));
    QStringList left, right, names;
    for (QAbstractAxis* axis : chart->axes()) {
        if (auto* c = qobject_cast<QCategoryAxis*>(axis))
            (axis->alignment() == Qt::AlignLeft ? left : right) = c->categoriesLabels();
        if (auto* b = qobject_cast<QBarCategoryAxis*>(axis))
            names = b->categories();
    }
    ASSERT_FALSE(left.isEmpty());
    ASSERT_FALSE(right.isEmpty());
    EXPECT_TRUE(left.contains("300,000")) << left.join(' ').toStdString();
    EXPECT_FALSE(left.contains("10,000,000"));  // the named bars are not squeezed by "其他"
    EXPECT_TRUE(right.contains("10,000,000")) << right.join(' ').toStdString();
    for (const QString& l : left + right)
        EXPECT_FALSE(l.contains('e')) << l.toStdString();
    ASSERT_EQ(names.size(), 21);
    EXPECT_EQ(names[0], "第0号长名称的…");  // upright under the bar; whole in the tool tip
    EXPECT_EQ(names[20], "其他");
    EXPECT_EQ(StatChartTip(m.points[0]), "第0号长名称的铅笔礼盒装\n金额：300,000\n利润：1,000");
    // CORVANTA_KEEP_OUTPUT=DIR keeps the drawing for a look.
    const QString keep = qEnvironmentVariable("CORVANTA_KEEP_OUTPUT");
    QString error;
    if (!keep.isEmpty()) {
        EXPECT_TRUE(SaveStatChart(m, keep + "/chart-210-products.png", &error, QSize(1000, 560))) << error.toStdString();
    }
}
