#pragma once
// What the statistics window's chart shows, without widgets: from the grid as it stands (its
// current sort order), the bars of amount and profit per group (modes P, N, V) or the points of
// amount and profit per day (mode D).
#include "logic/GridSource.h"

#include <QDate>
#include <QString>
#include <vector>

namespace corvanta {

inline constexpr int kChartGroups = 20;  // largest groups drawn; the rest go into "其他"
inline const QString kChartOthers = QStringLiteral("其他");

struct StatChartPoint {
    QString label;  // group name, or the day as shown
    QDate date;     // mode D only
    double amount = 0;
    double profit = 0;
};

struct StatChartModel {
    bool line = false;  // mode D: a line over the days
    QString title;      // the mode's name, e.g. "按产品统计"
    std::vector<StatChartPoint> points;
};

// grid: row 0 the headings, the statistics columns as the window shows them. Bars keep the grid's
// order; with more than kChartGroups groups the largest by amount stay and "其他" sums the rest.
// Points of mode D are in date order.
StatChartModel BuildStatChart(int mode, const GridSource& grid);

}  // namespace corvanta
