#include "reports/ReportWidgets.h"

#include "grid/New_grid.h"
#include "grid/Panels.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace corvanta {

QToolButton* ReportToolButton(QWidget* parent, const QString& caption, int glyph)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setIcon(QApplication::style()->standardIcon(QStyle::StandardPixmap(glyph)));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setFixedSize(64, 38);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

TSuperPanel* ReportPanel(QWidget* parent, const QRect& rect, bool raised)
{
    auto* p = new TSuperPanel(parent);
    p->setGeometry(rect);
    p->setBevelOuter(raised ? TSuperPanel::bvRaised : TSuperPanel::bvLowered);
    p->setColor(kReportPanelColour);
    return p;
}

QWidget* ReportGridArea(QWidget* parent, const QRect& rect)
{
    auto* frame = new TSuperPanel(parent);
    frame->setGeometry(rect);
    frame->setBevelOuter(TSuperPanel::bvLowered);
    frame->setColor(kReportPanelColour);
    const QRect inner(4, 4, rect.width() - 11, rect.height() - 11);
    auto* shadow = new QFrame(frame);
    shadow->setGeometry(inner.translated(3, 3));
    shadow->setAutoFillBackground(true);
    QPalette pal = shadow->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    shadow->setPalette(pal);
    auto* panel = new QWidget(frame);
    panel->setGeometry(inner);
    return panel;
}

TSupGrids* ReportGrid(QWidget* parent, const std::vector<ReportColumn>& columns)
{
    auto* g = new TSupGrids(parent);
    g->setGeometry(0, 0, parent->width(), parent->height());
    g->setColCount(int(columns.size()));
    g->setRowCount(25);
    g->setFixedRows(1);
    g->setFixedCols(1);
    g->setDefaultRowHeight(17);
    g->setOptions(GridOption::RowSelect | GridOption::ColSizing);
    g->setAlignment(alLeft);
    g->setFixAlignRow(0, alCenter);
    for (int c = 0; c < int(columns.size()); ++c) {
        g->setColWidth(c, columns[std::size_t(c)].width);
        g->setCell(c, 0, columns[std::size_t(c)].heading);
    }
    return g;
}

void FillReportGrid(TSupGrids& grid, CellStore cells)
{
    const int n = cells.rowCount();
    grid.setBody(std::move(cells));
    grid.setRowCount(ReportRowCount(n));
}

FilterRow MakeFilterRow(QWidget* parent, const QString& caption, int x, int y, int editWidth)
{
    FilterRow r;
    r.box = new QCheckBox(caption, parent);
    r.box->setGeometry(x, y, 76, 20);
    r.edit = new QLineEdit(parent);
    r.edit->setGeometry(x + 78, y, editWidth, 20);
    QCheckBox* box = r.box;
    // Any change of the text ticks the box; it never unticks it.
    QObject::connect(r.edit, &QLineEdit::textChanged, box, [box] {
        if (!box->isChecked())
            box->setChecked(true);
    });
    return r;
}

}  // namespace corvanta
