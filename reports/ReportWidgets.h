#pragma once
// Pieces the report windows are built from alike: toolbar buttons, the framed grid area with its
// shadow, the result grids, and the filter rows.
#include "reports/ReportLogic.h"

#include <QColor>
#include <QRect>
#include <vector>

class QCheckBox;
class QLineEdit;
class QToolButton;
class QWidget;

namespace corvanta {

class TSupGrids;
class TSuperPanel;

inline const QColor kReportPanelColour(177, 210, 172);

// A flat toolbar button with its glyph above the caption.
QToolButton* ReportToolButton(QWidget* parent, const QString& caption, int glyph);

// The toolbar or filter panel: raised (toolbar) or lowered, in the panels' green.
TSuperPanel* ReportPanel(QWidget* parent, const QRect& rect, bool raised);

// The lowered framed area at rect with a grey shadow panel 3 pixels right and down; returns the
// panel the grids go on.
QWidget* ReportGridArea(QWidget* parent, const QRect& rect);

// A result grid: the columns' headings and widths, 25 rows, one fixed row and column, row height
// 17, whole-row selection, resizable columns; headings centred, cells left-aligned.
TSupGrids* ReportGrid(QWidget* parent, const std::vector<ReportColumn>& columns);

// Replaces the data rows with a result and sets the row count by the report rule.
void FillReportGrid(TSupGrids& grid, CellStore cells);

// The hourglass for the life of a scope (the grids being filled).
class BusyCursor {
public:
    explicit BusyCursor(Messages& messages) : m_messages(messages) { m_messages.busy(true); }
    ~BusyCursor() { m_messages.busy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Messages& m_messages;
};

// A filter's check box and edit at (x, y); the edit ticks the box whenever its text changes.
struct FilterRow {
    QCheckBox* box;
    QLineEdit* edit;
};
FilterRow MakeFilterRow(QWidget* parent, const QString& caption, int x, int y, int editWidth);

}  // namespace corvanta
