#pragma once
// The statistics chart drawn with Qt Charts: bars of amount and profit per group, or lines of
// amount and profit per day, labelled in a CJK font. Needs a QApplication (offscreen will do).
#include "reports/StatChartModel.h"

#include <QFileInfo>
#include <QSize>
#include <QString>

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace corvanta {

// A new chart for the model; the caller (or the view it is given to) owns it. "其他" is drawn as
// a group of its own against a right-hand axis; the axes show plain digits with separators.
QChart* MakeStatChart(const StatChartModel& model);
// The tool tip of a bar: the group's full name, its amount and profit.
QString StatChartTip(const StatChartPoint& point);

// The chart as PNG, SVG or PDF, by the file's suffix; false with *error set otherwise.
bool SaveStatChart(const StatChartModel& model, const QString& file, QString* error,
                   const QSize& size = QSize(1000, 600));

// The file suffixes SaveStatChart writes. Inline: corvanta-cli checks a name without loading the
// chart module.
inline bool IsChartFileName(const QString& file)
{
    const QString s = QFileInfo(file).suffix().toLower();
    return s == QStringLiteral("png") || s == QStringLiteral("svg") || s == QStringLiteral("pdf");
}

}  // namespace corvanta
