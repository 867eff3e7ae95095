#include "chart/StatChart.h"

#include "base/AtomicFile.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QFont>
#include <QGraphicsScene>
#include <QImage>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>

namespace corvanta {

namespace {

QFont cjkFont(int pixelSize, bool bold = false)
{
    QFont f;
    // The first installed face with Chinese glyphs wins.
    f.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("SimSun"), QStringLiteral("宋体")});
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

const QString kAmount = QStringLiteral("金额");
const QString kProfit = QStringLiteral("利润");

QValueAxis* valueAxis(double low, double high)
{
    auto* axis = new QValueAxis;
    axis->setRange(std::min(0.0, low), high > low ? high : low + 1);
    axis->applyNiceNumbers();
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setLabelsFont(cjkFont(11));
    return axis;
}

}  // namespace

QChart* MakeStatChart(const StatChartModel& model)
{
    auto* chart = new QChart;
    chart->setTitle(model.title);
    chart->setTitleFont(cjkFont(14, true));
    chart->legend()->setFont(cjkFont(12));
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->setAnimationOptions(QChart::NoAnimation);
    double low = 0, high = 0;
    for (const StatChartPoint& p : model.points) {
        low = std::min({low, p.amount, p.profit});
        high = std::max({high, p.amount, p.profit});
    }
    if (model.line) {
        auto* amount = new QLineSeries;
        auto* profit = new QLineSeries;
        amount->setName(kAmount);
        profit->setName(kProfit);
        for (const StatChartPoint& p : model.points) {
            const qreal x = qreal(p.date.startOfDay().toMSecsSinceEpoch());
            amount->append(x, p.amount);
            profit->append(x, p.profit);
        }
        amount->setPointsVisible(true);
        profit->setPointsVisible(true);
        chart->addSeries(amount);
        chart->addSeries(profit);
        auto* x = new QDateTimeAxis;
        // Within one year the month and day say enough and fit under the axis.
        const bool oneYear = !model.points.empty() && model.points.front().date.year() == model.points.back().date.year();
        x->setFormat(oneYear ? QStringLiteral("MM-dd") : QStringLiteral("yyyy-MM-dd"));
        x->setLabelsFont(cjkFont(11));
        x->setLabelsAngle(-45);
        if (!model.points.empty()) {
            const QDate first = model.points.front().date, last = model.points.back().date;
            x->setRange(first.startOfDay(), (last > first ? last : first.addDays(1)).startOfDay());
            x->setTickCount(std::clamp(int(first.daysTo(last)) + 1, 2, 10));
        }
        chart->addAxis(x, Qt::AlignBottom);
        QValueAxis* y = valueAxis(low, high);
        chart->addAxis(y, Qt::AlignLeft);
        for (QLineSeries* s : {amount, profit}) {
            s->attachAxis(x);
            s->attachAxis(y);
        }
        return chart;
    }
    auto* amount = new QBarSet(kAmount);
    auto* profit = new QBarSet(kProfit);
    QStringList labels;
    for (const StatChartPoint& p : model.points) {
        *amount << p.amount;
        *profit << p.profit;
        // Long names would crowd the axis: the start stands for the group.
        labels << (p.label.size() > 8 ? p.label.left(7) + QStringLiteral("…") : p.label);
    }
    auto* series = new QBarSeries;
    series->append(amount);
    series->append(profit);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setLabelsFont(cjkFont(11));
    if (labels.size() > 6)
        x->setLabelsAngle(-60);
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* y = valueAxis(low, high);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    return chart;
}

bool SaveStatChart(const StatChartModel& model, const QString& file, QString* error, const QSize& size)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (!IsChartFileName(file)) {
        if (error)
            *error = QStringLiteral("图表文件须为 .png、.svg 或 .pdf：%1").arg(file);
        return false;
    }
    QGraphicsScene scene;
    QChart* chart = MakeStatChart(model);
    scene.addItem(chart);  // the scene owns it now
    chart->setGeometry(QRectF(QPointF(0, 0), QSizeF(size)));
    scene.setSceneRect(chart->geometry());
    const QRectF target(QPointF(0, 0), QSizeF(size));
    AtomicFile out(file);
    if (!out.open()) {
        if (error)
            *error = out.error();
        return false;
    }
    bool ok = false;
    if (suffix == QStringLiteral("png")) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, target, scene.sceneRect());
        painter.end();
        ok = image.save(&out.device(), "PNG");
    } else if (suffix == QStringLiteral("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&out.device());
        svg.setSize(size);
        svg.setViewBox(target);
        svg.setTitle(model.title);
        QPainter painter;
        ok = painter.begin(&svg);
        if (ok) {
            scene.render(&painter, target, scene.sceneRect());
            ok = painter.end();
        }
    } else {
        QPdfWriter pdf(&out.device());
        pdf.setPageSize(QPageSize(QSizeF(size) * 0.75, QPageSize::Point));
        pdf.setPageMargins(QMarginsF());
        pdf.setResolution(96);
        pdf.setTitle(model.title);
        QPainter painter;
        ok = painter.begin(&pdf);
        if (ok) {
            scene.render(&painter, QRectF(painter.viewport()), scene.sceneRect());
            ok = painter.end();
        }
    }
    if (!ok)
        out.fail(out.device().error() != QFileDevice::NoError ? out.device().errorString()
                                                              : QStringLiteral("图表没有画成"));
    if (!out.commit()) {
        if (error)
            *error = out.error();
        return false;
    }
    return true;
}

}  // namespace corvanta
