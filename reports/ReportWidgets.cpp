#include "reports/ReportWidgets.h"

#include "dbf/DBF.h"
#include "dialogs/ExportDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "grid/cw_r_Sort.h"
#include "reports/UInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <exception>

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

namespace {

// Keeps the shadow 3 pixels right of and below the grid panel as the panel is laid out.
class ShadowFollower : public QObject {
public:
    ShadowFollower(QWidget* panel, QWidget* shadow) : QObject(panel), m_shadow(shadow) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
            m_shadow->setGeometry(static_cast<QWidget*>(watched)->geometry().translated(3, 3));
        return false;
    }

private:
    QWidget* m_shadow;
};

}  // namespace

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
    // The area follows the window; the grids (and the chart) fill the panel.
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(4, 4, 7, 7);
    frameLayout->addWidget(panel);
    panel->installEventFilter(new ShadowFollower(panel, shadow));
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    return panel;
}

TSupGrids* ReportGrid(QWidget* parent, const std::vector<ReportColumn>& columns)
{
    auto* g = new TSupGrids(parent);
    g->setGeometry(0, 0, parent->width(), parent->height());
    if (parent->layout())
        parent->layout()->addWidget(g);
    g->setColCount(int(columns.size()));
    g->setRowCount(25);
    g->setFixedRows(1);
    g->setFixedCols(1);
    g->setDefaultRowHeight(17);
    g->setOptions(GridOption::RowSelect | GridOption::ColSizing);
    g->setAlignment(alLeft);
    g->setFixAlignRow(0, alCenter);
    // Row numbers and column 5 right-aligned; the headings, the row-number heading too, centred.
    g->setFixAlignCol(0, alRight);
    g->setAlignCell(0, 0, alCenter);
    g->setAlignCol(5, alRight);
    for (int c = 0; c < int(columns.size()); ++c) {
        g->setColWidth(c, columns[std::size_t(c)].width);
        g->setCell(c, 0, columns[std::size_t(c)].heading);
    }
    return g;
}

QDateEdit* ReportDatePicker(QWidget* parent, const QRect& rect)
{
    auto* d = new QDateEdit(parent);
    d->setGeometry(rect);
    d->setCalendarPopup(true);
    d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return d;
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

DocTypeRow MakeDocTypeRow(QWidget* parent, const QRect& boxRect, const QRect& comboRect)
{
    DocTypeRow r;
    r.box = new QCheckBox(QStringLiteral("单据类型"), parent);
    r.box->setGeometry(boxRect);
    r.combo = new QComboBox(parent);
    r.combo->setGeometry(comboRect);
    r.combo->addItems({QStringLiteral("销售"), QStringLiteral("销售退货")});
    r.combo->setCurrentIndex(-1);
    QCheckBox* box = r.box;
    QObject::connect(r.combo, &QComboBox::currentIndexChanged, box, [box] {
        if (!box->isChecked())
            box->setChecked(true);
    });
    return r;
}

// ---- the report window scaffold ----------------------------------------------------------------

TReportWindow::TReportWindow(TDMData& dm, DATABASEFILE* tables, QWidget* parent, const QString& title, QSize size,
                             int filterHeight, const QString& productPick)
    : TfmBlank(parent), m_dm(dm), m_tables(tables), m_productPick(productPick)
{
    setWindowTitle(title);
    // The size is the opening size: the window can be resized and maximised, the panels keep their
    // height and the grid area takes the rest.
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setSizeGripEnabled(true);
    resize(size);
    PanelTool = ReportPanel(this, QRect(0, 0, size.width(), 42), true);
    Panel1 = ReportPanel(this, QRect(0, 42, size.width(), filterHeight), false);
    PanelTool->setFixedHeight(42);
    Panel1->setFixedHeight(filterHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(PanelTool);
    column->addWidget(Panel1);
    // The totals line under the grid area (which the window adds between them).
    TotalsLabel = new QLabel(this);
    TotalsLabel->setContentsMargins(6, 2, 6, 2);
    TotalsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(TotalsLabel);
    SpBPrint = toolButton(QStringLiteral("打印"), QStyle::SP_FileIcon);
    TBEXit = toolButton(QStringLiteral("退出"), QStyle::SP_DialogCloseButton);
    SpBExport = toolButton(QStringLiteral("导出"), QStyle::SP_DialogSaveButton);
    connect(TBEXit, &QToolButton::clicked, this, &TReportWindow::TBEXitClick);
    connect(SpBPrint, &QToolButton::clicked, this, &TReportWindow::SpBPrintClick);
    connect(SpBExport, &QToolButton::clicked, this, &TReportWindow::SpBExportClick);
}

TReportWindow::~TReportWindow() = default;

QToolButton* TReportWindow::toolButton(const QString& caption, int glyph)
{
    return ReportToolButton(PanelTool, caption, glyph);
}

void TReportWindow::placeToolbar(std::initializer_list<QToolButton*> left)
{
    auto* bar = new QHBoxLayout(PanelTool);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    for (QToolButton* b : left)
        bar->addWidget(b);
    bar->addStretch(1);
    bar->addWidget(SpBPrint);
    bar->addWidget(TBEXit);
}

void TReportWindow::makeFilterRows(int y1, int y2)
{
    FilterRow r1 = MakeFilterRow(Panel1, QStringLiteral("商品编码"), 8, y1, 110);
    FilterRow r2 = MakeFilterRow(Panel1, QStringLiteral("商品名称"), 206, y1, 134);
    FilterRow r3 = MakeFilterRow(Panel1, QStringLiteral("网点编号"), 8, y2, 110);
    FilterRow r4 = MakeFilterRow(Panel1, QStringLiteral("网点名称"), 206, y2, 134);
    CheckBox1 = r1.box, Edit1 = r1.edit;
    CheckBox2 = r2.box, Edit2 = r2.edit;
    CheckBox3 = r3.box, Edit3 = r3.edit;
    CheckBox4 = r4.box, Edit4 = r4.edit;
    auto picker = [this](int y) {
        auto* b = new QToolButton(Panel1);
        b->setText(QStringLiteral("…"));
        b->setGeometry(420, y, 22, 20);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    SpeedButton1 = picker(y1);
    sbClient = picker(y2);
    connect(SpeedButton1, &QToolButton::clicked, this, &TReportWindow::SpeedButton1Click);
    connect(sbClient, &QToolButton::clicked, this, &TReportWindow::sbClientClick);
}

QString TReportWindow::filterOf(const QCheckBox* box, const QLineEdit* edit)
{
    return FilterValue(box->isChecked(), edit->text());
}

bool TReportWindow::runReport(const std::function<ReportRun()>& query)
{
    try {
        ReportRun run = query();
        if (run.outcome == RunOutcome::BadOutlet)
            Edit3->clear();
        if (run.outcome != RunOutcome::Done)
            return false;
        BusyCursor busy(m_messages);
        TotalsLabel->setText(ResultTotalsText(run.cells, totalsColumns()));
        showResult(std::move(run.cells));
        return true;
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
    return false;
}

QWidget* TReportWindow::gridArea(const QRect& rect)
{
    QWidget* panel = ReportGridArea(this, rect);
    static_cast<QVBoxLayout*>(layout())->insertWidget(2, panel->parentWidget(), 1);
    return panel;
}

bool TReportWindow::FormKeyPress(QKeyEvent* event)
{
    // Enter in a name filter opens its picker.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focus = QApplication::focusWidget();
        if (focus && focus == Edit2) {
            SpeedButton1Click();
            return true;
        }
        if (focus && focus == Edit4) {
            sbClientClick();
            return true;
        }
    }
    return TfmBlank::FormKeyPress(event);
}

void TReportWindow::TBEXitClick()
{
    close();
}

void TReportWindow::SpBPrintClick()
{
    const TSupGridsSource grid(shownGrid());
    if (m_tables) {
        PrintReportGrid(*m_tables, m_messages, printTitle(), grid, printTemplate(), printLauncher);
    } else {
        DATABASEFILE tables(&m_messages);
        PrintReportGrid(tables, m_messages, printTitle(), grid, printTemplate(), printLauncher);
    }
}

void TReportWindow::SpBExportClick()
{
    const TSupGridsSource source(shownGrid());
    ExportGrid(this, source, m_messages, windowTitle());
}

void TReportWindow::SpeedButton1Click()
{
    PickInto(m_dm, this, m_productPick, Edit2, onPickerOpen);
}

void TReportWindow::sbClientClick()
{
    PickInto(m_dm, this, QStringLiteral("N"), Edit4, onPickerOpen);
}

void TReportWindow::MainGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)
{
    SortGridByHeader(shownGrid(), x, y, SortFlag);
    sorted();
}

TReportPairWindow::TReportPairWindow(TDMData& dm, DATABASEFILE* tables, QWidget* parent, const QString& title,
                                     QSize size, int filterHeight, const QString& productPick, const QString& gridId)
    : TReportWindow(dm, tables, parent, title, size, filterHeight, productPick), m_gridId(gridId)
{
    SpeedButton2 = toolButton(QStringLiteral("显示设置"), QStyle::SP_FileDialogDetailedView);
    connect(SpeedButton2, &QToolButton::clicked, this, &TReportPairWindow::SpeedButton2Click);
}

TReportPairWindow::~TReportPairWindow() = default;

void TReportPairWindow::makeGridPair(const QRect& rect, const std::vector<ReportColumn>& columns)
{
    QWidget* area = gridArea(rect);
    MainGrid = ReportGrid(area, columns);
    MainGrid->hide();
    BackGrid = ReportGrid(area, columns);
    for (TSupGrids* g : {MainGrid, BackGrid}) {
        connect(g, &TSupGrids::OnMouseDown, this, &TReportPairWindow::MainGridMouseDown);
        connect(g, &TSupGrids::OnDblClick, this, &TReportPairWindow::MainGridDblClick);
    }
}

void TReportPairWindow::prepareGrids()
{
    MainGrid->ClearRows();
    BackGrid->setFocus();
}

void TReportPairWindow::showResult(CellStore cells)
{
    FillReportGrid(*MainGrid, std::move(cells));
    RunColConfig(m_dm, *BackGrid, *MainGrid, {1, 2}, ColumnMap, m_gridId, 0);
}

void TReportPairWindow::SpeedButton2Click()
{
    try {
        RunColConfig(m_dm, *BackGrid, *MainGrid, {}, ColumnMap, m_gridId, 1);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TReportPairWindow::done(int result)
{
    // The widths the user left are kept for the next time.
    try {
        SaveColWidths(m_dm, *BackGrid, ColumnMap, m_gridId);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
    TfmBlank::done(result);
}

}  // namespace corvanta
