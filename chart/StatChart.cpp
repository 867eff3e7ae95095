#include "chart/StatChart.h"

#include "base/AtomicFile.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QCursor>
#include <QLocale>
#include <QToolTip>
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
#include <cmath>

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

// Round tick steps (1, 2 or 5 times a power of ten) over low .. high, zero included.
std::vector<double> niceTicks(double low, double high)
{
    low = std::min(0.0, low);
    high = std::max(high, low + 1);
    const double raw = (high - low) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double f : {1.0, 2.0, 5.0, 10.0})
        if (f * power >= raw) {
            step = f * power;
            break;
        }
    std::vector<double> ticks;
    for (double t = std::floor(low / step) * step; t < high + step * 0.999; t += step)
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0 : t);
    return ticks;
}

// Plain digits with groups of three: "15,000,000", never "1.5e+07".
QString groupedNumber(double v)
{
    QLocale english(QLocale::English);
    const bool whole = std::abs(v - std::round(v)) < 1e-9;
    return english.toString(v, 'f', whole ? 0 : 2);
}

QCategoryAxis* valueAxis(double low, double high, const QString& title = QString())
{
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const std::vector<double> ticks = niceTicks(low, high);
    axis->setRange(ticks.front(), ticks.back());
    axis->setStartValue(ticks.front());
    for (const double t : ticks)
        axis->append(groupedNumber(t), t);
    axis->setLabelsFont(cjkFont(11));
    if (!title.isEmpty()) {
        axis->setTitleText(title);
        axis->setTitleFont(cjkFont(11));
    }
    return axis;
}

// A group name under its bar: on two lines of at most six characters, "…" beyond that.
QString barLabel(const QString& name)
{
    constexpr int kLine = 6;
    if (name.size() <= kLine)
        return name;
    if (name.size() <= 2 * kLine)
        return name.left(kLine) + QLatin1Char('\n') + name.mid(kLine);
    return name.left(kLine) + QLatin1Char('\n') + name.mid(kLine, kLine - 1) + QStringLiteral("…");
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
        QCategoryAxis* y = valueAxis(low, high);
        chart->addAxis(y, Qt::AlignLeft);
        for (QLineSeries* s : {amount, profit}) {
            s->attachAxis(x);
            s->attachAxis(y);
        }
        return chart;
    }
    // "其他" sums many groups and would dwarf the named bars: it is a group of its own on the
    // right-hand axis, with its own scale.
    const bool others = !model.points.empty() && model.points.back().label == kChartOthers && model.points.size() > 1;
    const std::size_t named = model.points.size() - (others ? 1 : 0);
    auto* amount = new QBarSet(kAmount);
    auto* profit = new QBarSet(kProfit);
    auto* othersAmount = new QBarSet(kChartOthers + QStringLiteral("·") + kAmount);
    auto* othersProfit = new QBarSet(kChartOthers + QStringLiteral("·") + kProfit);
    QStringList labels;
    double namedLow = 0, namedHigh = 0;
    for (std::size_t i = 0; i < model.points.size(); ++i) {
        const StatChartPoint& p = model.points[i];
        const bool isOthers = i >= named;
        *amount << (isOthers ? 0 : p.amount);
        *profit << (isOthers ? 0 : p.profit);
        *othersAmount << (isOthers ? p.amount : 0);
        *othersProfit << (isOthers ? p.profit : 0);
        if (!isOthers) {
            namedLow = std::min({namedLow, p.amount, p.profit});
            namedHigh = std::max({namedHigh, p.amount, p.profit});
        }
        labels << p.label;
    }
    // Few bars: names wrapped under them; many: upright, as far as the axis leaves room.
    const bool upright = labels.size() > 10;
    for (QString& l : labels)
        l = upright ? (l.size() > 8 ? l.left(7) + QStringLiteral("…") : l) : barLabel(l);
    auto* series = new QBarSeries;
    series->append(amount);
    series->append(profit);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(labels);
    x->setLabelsFont(cjkFont(11));
    if (upright)
        x->setLabelsAngle(-90);
    chart->addAxis(x, Qt::AlignBottom);
    QCategoryAxis* y = valueAxis(others ? namedLow : low, others ? namedHigh : high);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    std::vector<QBarSet*> sets{amount, profit};
    if (others) {
        auto* rest = new QBarSeries;
        othersAmount->setColor(amount->color().lighter(150));
        othersProfit->setColor(profit->color().lighter(150));
        rest->append(othersAmount);
        rest->append(othersProfit);
        chart->addSeries(rest);
        const StatChartPoint& o = model.points.back();
        QCategoryAxis* right = valueAxis(std::min(o.amount, o.profit), std::max(o.amount, o.profit),
                                         kChartOthers + QStringLiteral("（右轴）"));
        chart->addAxis(right, Qt::AlignRight);
        rest->attachAxis(x);
        rest->attachAxis(right);
        sets.push_back(othersAmount);
        sets.push_back(othersProfit);
    } else {
        delete othersAmount;
        delete othersProfit;
    }
    // The full name and the figures of a bar when the pointer rests on it.
    std::vector<StatChartPoint> points = model.points;
    for (QBarSet* set : sets)
        QObject::connect(set, &QBarSet::hovered, chart, [points](bool on, int index) {
            if (!on || index < 0 || std::size_t(index) >= points.size()) {
                QToolTip::hideText();
                return;
            }
            const StatChartPoint& p = points[std::size_t(index)];
            QToolTip::showText(QCursor::pos(), StatChartTip(p));
        });
    return chart;
}

QString StatChartTip(const StatChartPoint& p)
{
    return p.label + QStringLiteral("\n金额：") + groupedNumber(p.amount) + QStringLiteral("\n利润：") +
           groupedNumber(p.profit);
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
