#include "app/MainPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace corvanta {

namespace {

void drawShop(QPainter& p)
{
    // A shop front with an awning.
    p.setPen(QPen(QColor(90, 50, 20), 1));
    p.setBrush(QColor(250, 240, 220));
    p.drawRect(5, 13, 22, 16);
    for (int i = 0; i < 5; ++i) {
        p.setBrush(i % 2 ? QColor(255, 255, 255) : QColor(220, 40, 40));
        QPainterPath scallop;
        scallop.moveTo(3 + i * 5.2, 6);
        scallop.lineTo(3 + (i + 1) * 5.2, 6);
        scallop.lineTo(3 + (i + 1) * 5.2, 12);
        scallop.arcTo(QRectF(3 + i * 5.2, 9, 5.2, 6), 0, -180);
        scallop.closeSubpath();
        p.drawPath(scallop);
    }
    p.setBrush(QColor(70, 130, 200));
    p.drawRect(8, 17, 7, 6);
    p.setBrush(QColor(150, 90, 40));
    p.drawRect(18, 17, 6, 12);
}

void drawImport(QPainter& p)
{
    // A sheet of lines with an arrow going into a tray.
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(255, 255, 255));
    p.drawRect(11, 2, 14, 17);
    p.setPen(QColor(120, 120, 160));
    for (int y = 6; y < 18; y += 3)
        p.drawLine(13, y, 23, y);
    p.setPen(QPen(QColor(30, 120, 40), 1));
    p.setBrush(QColor(60, 180, 70));
    QPainterPath arrow;
    arrow.moveTo(3, 10);
    arrow.lineTo(9, 10);
    arrow.lineTo(9, 6);
    arrow.lineTo(16, 14);
    arrow.lineTo(9, 22);
    arrow.lineTo(9, 18);
    arrow.lineTo(3, 18);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(QColor(200, 170, 90));
    QPainterPath tray;
    tray.moveTo(2, 22);
    tray.lineTo(30, 22);
    tray.lineTo(27, 30);
    tray.lineTo(5, 30);
    tray.closeSubpath();
    p.drawPath(tray);
}

void drawStat(QPainter& p)
{
    // A bar chart with a trend line.
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawLine(3, 3, 3, 29);
    p.drawLine(3, 29, 30, 29);
    const QColor colours[4] = {QColor(230, 70, 60), QColor(250, 180, 40), QColor(70, 170, 80), QColor(60, 120, 220)};
    const int heights[4] = {10, 16, 12, 22};
    p.setPen(QPen(QColor(30, 30, 30), 0.8));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(colours[i]);
        p.drawRect(QRectF(6 + i * 6, 28 - heights[i], 4.5, heights[i]));
    }
    p.setPen(QPen(QColor(200, 0, 120), 1.5));
    p.drawPolyline(QPolygonF({QPointF(8, 15), QPointF(14, 10), QPointF(20, 13), QPointF(27, 4)}));
}

void drawStock(QPainter& p)
{
    // Stacked boxes.
    auto box = [&](double x, double y, double w, double h) {
        p.setPen(QPen(QColor(110, 70, 20), 1));
        p.setBrush(QColor(215, 160, 90));
        p.drawRect(QRectF(x, y, w, h));
        p.setPen(QPen(QColor(240, 220, 170), 1.5));
        p.drawLine(QPointF(x + w / 2, y), QPointF(x + w / 2, y + h / 3));
    };
    box(2, 17, 13, 12);
    box(16, 17, 13, 12);
    box(9, 5, 13, 12);
}

}  // namespace

QPixmap DrawToolPicture(ToolPicture which)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case ToolPicture::SalesNet: drawShop(p); break;
    case ToolPicture::DataAdd: drawImport(p); break;
    case ToolPicture::Stat: drawStat(p); break;
    case ToolPicture::KCStat: drawStock(p); break;
    }
    return pixmap;
}

QIcon DrawAppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        QRadialGradient g(12, 10, 24);
        g.setColorAt(0, QColor(90, 160, 240));
        g.setColorAt(1, QColor(20, 60, 140));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
        p.setBrush(QColor(255, 210, 40));
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(7 + i * 7, 24 - (i + 2) * 4, 5, (i + 2) * 4));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void PaintToolPanel(QPainter& painter, const QRect& area)
{
    QLinearGradient g(area.topLeft(), area.bottomLeft());
    g.setColorAt(0, QColor(40, 70, 130));
    g.setColorAt(1, QColor(15, 35, 80));
    painter.fillRect(area, g);
    painter.setPen(QColor(110, 140, 200));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
}

void PaintMainBackground(QPainter& painter, const QRect& area)
{
    painter.save();
    QLinearGradient g(area.topLeft(), area.bottomRight());
    g.setColorAt(0, QColor(214, 228, 242));
    g.setColorAt(0.6, QColor(170, 196, 226));
    g.setColorAt(1, QColor(120, 152, 196));
    painter.fillRect(area, g);

    // Faint diagonal weave.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(255, 255, 255, 40));
    for (int x = -area.height(); x < area.width(); x += 24)
        painter.drawLine(area.left() + x, area.bottom(), area.left() + x + area.height(), area.top());

    // Rising bars in the lower right corner, like a chart seen through glass.
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    const int base = area.bottom() - 40;
    const int unit = std::max(12, area.width() / 40);
    for (int i = 0; i < 8; ++i) {
        const int h = (i + 2) * unit * 2 / 3 + (i % 3) * unit / 2;
        const QRect bar(area.right() - 40 - (8 - i) * (unit + unit / 2), base - h, unit, h);
        painter.setBrush(QColor(255, 255, 255, 55));
        painter.drawRect(bar);
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(24, area.height() / 14));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255, 110));
    painter.drawText(area.adjusted(40, 0, 0, -30), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Quorvel"));
    painter.restore();
}

}  // namespace corvanta
