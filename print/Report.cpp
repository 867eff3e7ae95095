#include "print/Report.h"

#include "base/DbfFieldName.h"
#include "base/Gbk.h"

#include <QDate>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPageSize>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace corvanta::print {

namespace {

constexpr double kMarginMm = 12;
constexpr int kHiddenWidth = 30;  // a table field this narrow came from a hidden grid column

bool isBlankRecord(const QStringList& values)
{
    for (const QString& v : values)
        if (!v.trimmed().isEmpty())
            return false;
    return true;
}

QString withoutTrailingZeros(QString s)
{
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

QString formatNumber(double v, const NumberFormat& f)
{
    switch (f.kind) {
    case NumberFormat::Fixed:
        return QString::number(v, 'f', f.decimals);
    case NumberFormat::Integer:
        return QString::number(std::llround(v));
    default:
        return withoutTrailingZeros(QString::number(v, 'f', 6));
    }
}

int findField(const std::vector<QByteArray>& names, const QByteArray& wanted, std::vector<bool>* used)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted && (!used || !(*used)[i]))
            return static_cast<int>(i);
    return -1;
}

QString substitute(QString text, const DbfTable& title, const QString& date)
{
    // {NAME}: the value of title-table field NAME; {date}: today.
    qsizetype from = 0;
    while ((from = text.indexOf(QLatin1Char('{'), from)) >= 0) {
        const qsizetype close = text.indexOf(QLatin1Char('}'), from + 1);
        if (close < 0)
            break;
        const QString key = text.mid(from + 1, close - from - 1);
        QString value;
        if (key == QLatin1String("date")) {
            value = date;
        } else if (key == QLatin1String("page") || key == QLatin1String("pages")) {
            from = close + 1;  // filled in per page
            continue;
        } else {
            const int i = findField(title.rawNames, gbk::encode(key).left(10), nullptr);
            if (i >= 0 && !title.records.empty())
                value = title.records.front().value(i).trimmed();
        }
        text.replace(from, close - from + 1, value);
        from += value.size();
    }
    return text;
}

}  // namespace

QString formatValue(const QString& raw, const NumberFormat& format, double* number, bool* isNumber)
{
    const QString t = raw.trimmed();
    bool ok = false;
    const double v = t.isEmpty() ? 0 : t.toDouble(&ok);
    if (ok && number)
        *number = v;
    if (isNumber)
        *isNumber = ok;
    if (!ok || format.kind == NumberFormat::Text)
        return format.kind == NumberFormat::Text ? raw : t;
    if (format.kind == NumberFormat::Number)
        return t;
    return formatNumber(v, format);
}

Report buildReport(const RwxTemplate& tpl, const DbfTable& title, const DbfTable& body)
{
    Report r;
    r.printDate = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    r.title = substitute(tpl.title, title, r.printDate);
    r.subtitle = substitute(tpl.subtitle, title, r.printDate);
    r.footer = substitute(tpl.footer, title, r.printDate);
    r.orientation = tpl.orientation;
    r.fontSize = tpl.fontSize;
    r.warnings = title.warnings + body.warnings;

    auto hidden = [&](int field) { return tpl.skipNarrow && body.widths[static_cast<std::size_t>(field)] <= kHiddenWidth; };
    // A field the template does not know prints as it is, under its own name (the grid's heading).
    auto plainColumn = [&](int field) {
        const QString name = body.fieldNames.at(field);
        const int width = std::clamp(body.widths[static_cast<std::size_t>(field)] - kHiddenWidth, 4, 60);
        return ReportColumn{name == QLatin1String("Rwx") ? QString() : name, width, Align::Left, {}, false, field};
    };
    // The template column of each body field, matched in the template's order.
    std::vector<const RwxColumn*> known(body.rawNames.size(), nullptr);
    std::vector<int> matched;  // body fields in the template's order
    std::vector<bool> used(body.rawNames.size(), false);
    for (const RwxColumn& c : tpl.columns) {
        const int field = findField(body.rawNames, CutDbfFieldName(gbk::encode(c.field)), &used);
        if (field < 0)
            continue;
        used[static_cast<std::size_t>(field)] = true;
        known[static_cast<std::size_t>(field)] = &c;
        matched.push_back(field);
    }
    if (!tpl.columns.empty() && matched.empty())
        r.warnings << QStringLiteral("模板中的列在数据表中都不存在，按数据表的字段打印");
    auto add = [&](int field) {
        if (hidden(field))
            return;
        const RwxColumn* c = known[static_cast<std::size_t>(field)];
        r.columns.push_back(c ? ReportColumn{c->heading, c->width, c->align, c->format, c->sum, field} : plainColumn(field));
    };
    if (tpl.layout == Layout::Template && !matched.empty()) {
        for (const int field : matched)
            add(field);
    } else {
        // The grid's columns in the grid's order: moved and renamed columns print where they are.
        for (std::size_t i = 0; i < body.widths.size(); ++i)
            add(static_cast<int>(i));
    }

    std::vector<const QStringList*> records;
    for (const QStringList& rec : body.records)
        if (tpl.blankRows != BlankRows::Skip || !isBlankRecord(rec))
            records.push_back(&rec);
    if (tpl.blankRows == BlankRows::Trim)
        while (!records.empty() && isBlankRecord(*records.back()))
            records.pop_back();

    std::vector<long double> sums(r.columns.size(), 0);
    for (const QStringList* rec : records) {
        QStringList row;
        for (std::size_t c = 0; c < r.columns.size(); ++c) {
            const ReportColumn& col = r.columns[c];
            double value = 0;
            bool isNumber = false;
            row << formatValue(rec->value(col.field), col.format, &value, &isNumber);
            if (col.sum && isNumber)
                sums[c] += value;
        }
        r.rows.push_back(row);
    }

    if (!tpl.totalsLabel.isEmpty()) {
        r.hasTotals = true;
        bool labelled = false;
        for (std::size_t c = 0; c < r.columns.size(); ++c) {
            const ReportColumn& col = r.columns[c];
            if (col.sum) {
                r.totals << formatNumber(static_cast<double>(sums[c]), col.format);
            } else if (!labelled) {
                r.totals << tpl.totalsLabel;
                labelled = true;
            } else {
                r.totals << QString();
            }
        }
    }
    return r;
}

QPageLayout::Orientation chooseOrientation(const Report& report)
{
    if (report.orientation == Orientation::Portrait)
        return QPageLayout::Portrait;
    if (report.orientation == Orientation::Landscape)
        return QPageLayout::Landscape;
    // A Chinese character is about one em wide, a digit a little over half an em.
    double need = 0;
    for (const ReportColumn& c : report.columns)
        need += c.width * report.fontSize * 0.56 + 6;
    const double portraitWidth = QPageSize(QPageSize::A4).size(QPageSize::Point).width() - 2 * kMarginMm * 72 / 25.4;
    return need > portraitWidth ? QPageLayout::Landscape : QPageLayout::Portrait;
}

QString reportFontFamily()
{
    static const QString family = [] {
        const QString wanted = QStringLiteral("WenQuanYi Micro Hei");
        if (QFontDatabase::families().contains(wanted))
            return wanted;
        for (const char* path : {"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
                                 "/usr/share/fonts/wenquanyi/wqy-microhei/wqy-microhei.ttc"}) {
            if (!QFileInfo::exists(QString::fromLatin1(path)))
                continue;
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(path));
            const QStringList fams = QFontDatabase::applicationFontFamilies(id);
            if (!fams.isEmpty())
                return fams.front();
        }
        return QStringLiteral("Sans Serif");
    }();
    return family;
}

int paintReport(const Report& report, QPagedPaintDevice& device, QString& error, const PageProgress& progress)
{
    QPainter p;
    if (!p.begin(&device)) {
        error = QStringLiteral("不能在打印设备上绘制报表");
        return 0;
    }
    const double dpi = device.logicalDpiY();
    auto pt = [dpi](double v) { return v * dpi / 72.0; };
    const double pageW = device.width();
    const double pageH = device.height();
    const QString family = reportFontFamily();
    auto font = [&](double size, bool bold) {
        QFont f(family);
        f.setPointSizeF(size);
        f.setBold(bold);
        f.setStyleStrategy(QFont::PreferAntialias);
        return f;
    };

    // Column widths: from the template at the template's font size, the font made smaller when
    // the page is too narrow, then spread over the full width.
    const double pad = pt(3);
    double fontSize = report.fontSize;
    auto naturalWidth = [&](double size, double* unitOut) {
        const QFontMetricsF fm(font(size, false), &device);
        // A cell holds half a Chinese character or one digit, whichever is wider.
        const double unit = std::max(fm.horizontalAdvance(QChar(0x4E2D)) / 2.0, fm.horizontalAdvance(QLatin1Char('0')));
        if (unitOut)
            *unitOut = unit;
        double w = 0;
        for (const ReportColumn& c : report.columns)
            w += c.width * unit + 2 * pad;
        return w;
    };
    double unit = 0;
    double need = naturalWidth(fontSize, &unit);
    // Font metrics do not scale exactly with the size: step down until the columns fit.
    if (need > pageW && need > 0) {
        fontSize = std::max(6.0, fontSize * pageW / need);
        need = naturalWidth(fontSize, &unit);
        while (need > pageW && fontSize > 6.0) {
            fontSize = std::max(6.0, fontSize * 0.97);
            need = naturalWidth(fontSize, &unit);
        }
    }
    std::vector<double> widths;
    for (const ReportColumn& c : report.columns)
        widths.push_back((c.width * unit + 2 * pad) * (need > 0 ? pageW / need : 1));

    const QFont titleFont = font(std::max(14.0, fontSize * 1.6), true);
    const QFont subFont = font(fontSize, false);
    const QFont headFont = font(fontSize, true);
    const QFont bodyFont = font(fontSize, false);
    const QFont footFont = font(std::max(6.0, fontSize * 0.8), false);
    const QFontMetricsF titleFm(titleFont, &device), subFm(subFont, &device), bodyFm(bodyFont, &device),
        headFm(headFont, &device), footFm(footFont, &device);

    const double titleH = titleFm.height() * 1.6;
    const double subH = report.subtitle.isEmpty() ? 0 : subFm.height() * 1.5;
    const double infoH = footFm.height() * 1.6;
    const double headH = bodyFm.height() * 1.9;
    const double rowH = bodyFm.height() * 1.6;
    const double footH = footFm.height() * 2.2;
    const double tableTop = titleH + subH + infoH;
    const int perPage = std::max(1, int((pageH - tableTop - headH - footH) / rowH));
    const int lines = int(report.rows.size()) + (report.hasTotals ? 1 : 0);
    const int pages = std::max(1, (lines + perPage - 1) / perPage);

    const QPen gridPen(QColor(60, 60, 60), pt(0.5));
    const QPen textPen(Qt::black);
    auto alignment = [](Align a) {
        switch (a) {
        case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
        }
    };
    auto drawRow = [&](double y, double h, const QStringList& texts, const QFont& f, const QFontMetricsF& fm,
                       bool heading) {
        p.setFont(f);
        double x = 0;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QRectF cell(x, y, widths[c], h);
            const QRectF inner = cell.adjusted(pad, 0, -pad, 0);
            const QString text = fm.elidedText(texts.value(int(c)), Qt::ElideRight, inner.width());
            p.drawText(inner, heading ? Qt::AlignCenter : alignment(report.columns[c].align), text);
            x += widths[c];
        }
    };

    QStringList headings;
    for (const ReportColumn& c : report.columns)
        headings << c.heading;

    int next = 0;
    for (int page = 1; page <= pages; ++page) {
        if (progress && !progress(page, pages)) {
            error = QStringLiteral("已取消");
            return 0;
        }
        if (page > 1 && !device.newPage()) {
            error = QStringLiteral("不能开始新的一页");
            return 0;
        }
        p.setPen(textPen);
        p.setFont(titleFont);
        p.drawText(QRectF(0, 0, pageW, titleH), Qt::AlignCenter, report.title);
        if (subH > 0) {
            p.setFont(subFont);
            p.drawText(QRectF(0, titleH, pageW, subH), Qt::AlignCenter, report.subtitle);
        }
        p.setFont(footFont);
        p.drawText(QRectF(0, titleH + subH, pageW, infoH), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("打印日期：") + report.printDate);

        // Headings, repeated on every page.
        double y = tableTop;
        p.fillRect(QRectF(0, y, pageW, headH), QColor(228, 228, 228));
        drawRow(y, headH, headings, headFont, headFm, true);
        y += headH;

        const int upto = std::min(lines, next + perPage);
        for (; next < upto; ++next) {
            const bool totalsLine = report.hasTotals && next == int(report.rows.size());
            if (totalsLine) {
                p.fillRect(QRectF(0, y, pageW, rowH), QColor(242, 242, 242));
                drawRow(y, rowH, report.totals, headFont, headFm, false);
            } else {
                drawRow(y, rowH, report.rows[std::size_t(next)], bodyFont, bodyFm, false);
            }
            y += rowH;
        }

        // Ruling: outer frame, a line under every row, one between columns.
        p.setPen(gridPen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(0, tableTop, pageW, y - tableTop));
        for (double ly = tableTop + headH; ly < y - 0.5; ly += rowH)
            p.drawLine(QPointF(0, ly), QPointF(pageW, ly));
        double x = 0;
        for (std::size_t c = 0; c + 1 < widths.size(); ++c) {
            x += widths[c];
            p.drawLine(QPointF(x, tableTop), QPointF(x, y));
        }

        QString footer = report.footer;
        footer.replace(QStringLiteral("{page}"), QString::number(page));
        footer.replace(QStringLiteral("{pages}"), QString::number(pages));
        p.setPen(textPen);
        p.setFont(footFont);
        p.drawText(QRectF(0, pageH - footH, pageW, footH), Qt::AlignCenter, footer);
    }
    p.end();
    return pages;
}

}  // namespace corvanta::print
