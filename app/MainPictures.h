#pragma once
// The main window's pictures, drawn in code: toolbar pictures, window icon and background.
#include <QIcon>
#include <QPixmap>

class QPainter;
class QRect;

namespace corvanta {

enum class ToolPicture { SalesNet, DataAdd, Stat, KCStat };

QPixmap DrawToolPicture(ToolPicture which);  // 32 x 32
QIcon DrawAppIcon();
void PaintMainBackground(QPainter& painter, const QRect& area);
void PaintToolPanel(QPainter& painter, const QRect& area);

}  // namespace corvanta
