#include "reports/StatChartModel.h"

#include "export/GridExport.h"
#include "reports/ReportLogic.h"

#include <algorithm>
#include <numeric>

namespace corvanta {

namespace {

int columnOf(const GridSource& grid, const QString& heading, int fallback)
{
    for (int c = 0; c < grid.columnCount(); ++c)
        if (grid.cell(0, c).trimmed() == heading)
            return c;
    return fallback;
}

double value(const QString& text)
{
    if (const auto v = ExportNumber(text))
        return *v;
    return text.trimmed().toDouble();  // anything else the grid may show; 0 when not a number
}

}  // namespace

StatChartModel BuildStatChart(int mode, const GridSource& grid)
{
    StatChartModel model;
    model.line = StatModeCode(mode) == QStringLiteral("D");
    model.title = StatModeItems().value(mode);
    const int amountCol = columnOf(grid, QStringLiteral("金额"), 4);
    const int profitCol = columnOf(grid, QStringLiteral("利润"), 6);
    const int rows = ExportRowCount(grid);
    std::vector<StatChartPoint> points;
    for (int r = 1; r < rows; ++r) {
        StatChartPoint p;
        p.label = grid.cell(r, 2).trimmed();
        if (p.label.isEmpty())
            p.label = grid.cell(r, 1).trimmed();
        p.amount = value(grid.cell(r, amountCol));
        p.profit = value(grid.cell(r, profitCol));
        if (model.line) {
            const std::optional<QDate> d = ParseProcDate(p.label.left(10));
            if (!d)
                continue;
            p.date = *d;
        }
        points.push_back(std::move(p));
    }
    if (model.line) {
        std::stable_sort(points.begin(), points.end(),
                         [](const StatChartPoint& a, const StatChartPoint& b) { return a.date < b.date; });
        model.points = std::move(points);
        return model;
    }
    if (int(points.size()) <= kChartGroups) {
        model.points = std::move(points);
        return model;
    }
    std::vector<std::size_t> order(points.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return points[a].amount > points[b].amount; });
    std::vector<bool> kept(points.size(), false);
    for (int i = 0; i < kChartGroups; ++i)
        kept[order[std::size_t(i)]] = true;
    StatChartPoint others;
    others.label = kChartOthers;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (kept[i]) {
            model.points.push_back(points[i]);
        } else {
            others.amount += points[i].amount;
            others.profit += points[i].profit;
        }
    }
    model.points.push_back(others);
    return model;
}

}  // namespace corvanta
