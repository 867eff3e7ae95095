#include "reports/UStock.h"

#include "dbf/DBF.h"
#include "dialogs/ExportDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "grid/cw_r_Sort.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"
#include "reports/UInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <exception>

namespace corvanta {

TfrmStock::TfrmStock(TDMData& dm, DATABASEFILE* engine, QWidget* parent)
    : TfmBlank(parent), m_dm(dm), m_engine(engine)
{
    setWindowTitle(QStringLiteral("销售库存查询统计"));
    setFixedSize(743, 538);

    PanelTool = ReportPanel(this, QRect(0, 0, 743, 42), true);
    auto* bar = new QHBoxLayout(PanelTool);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    SpeedButton2 = ReportToolButton(PanelTool, QStringLiteral("显示设置"), QStyle::SP_FileDialogDetailedView);
    TBLook = ReportToolButton(PanelTool, QStringLiteral("查询"), QStyle::SP_BrowserReload);
    SpBPrint = ReportToolButton(PanelTool, QStringLiteral("打印"), QStyle::SP_FileIcon);
    TBEXit = ReportToolButton(PanelTool, QStringLiteral("退出"), QStyle::SP_DialogCloseButton);
    SpBExport = ReportToolButton(PanelTool, QStringLiteral("导出"), QStyle::SP_DialogSaveButton);
    bar->addWidget(SpeedButton2);
    bar->addWidget(TBLook);
    bar->addWidget(SpBExport);
    bar->addStretch(1);
    bar->addWidget(SpBPrint);
    bar->addWidget(TBEXit);

    Panel1 = ReportPanel(this, QRect(0, 42, 743, 63), false);
    FilterRow r1 = MakeFilterRow(Panel1, QStringLiteral("商品编码"), 8, 8, 110);
    FilterRow r2 = MakeFilterRow(Panel1, QStringLiteral("商品名称"), 206, 8, 134);
    FilterRow r3 = MakeFilterRow(Panel1, QStringLiteral("网点编号"), 8, 35, 110);
    FilterRow r4 = MakeFilterRow(Panel1, QStringLiteral("网点名称"), 206, 35, 134);
    FilterRow r5 = MakeFilterRow(Panel1, QStringLiteral("产   地"), 460, 8, 110);
    CheckBox1 = r1.box, Edit1 = r1.edit;
    CheckBox2 = r2.box, Edit2 = r2.edit;
    CheckBox3 = r3.box, Edit3 = r3.edit;
    CheckBox4 = r4.box, Edit4 = r4.edit;
    CheckBox5 = r5.box, Edit5 = r5.edit;
    SpeedButton1 = new QToolButton(Panel1);
    SpeedButton1->setText(QStringLiteral("…"));
    SpeedButton1->setGeometry(420, 8, 22, 20);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    sbClient = new QToolButton(Panel1);
    sbClient->setText(QStringLiteral("…"));
    sbClient->setGeometry(420, 35, 22, 20);
    sbClient->setFocusPolicy(Qt::NoFocus);
    // Each box followed by its edit.
    QWidget* order[] = {CheckBox1, Edit1, CheckBox2, Edit2, CheckBox3, Edit3, CheckBox4, Edit4, CheckBox5, Edit5};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    QWidget* area = ReportGridArea(this, QRect(0, 105, 743, 433));
    MainGrid = ReportGrid(area, StockColumns());
    MainGrid->hide();
    BackGrid = ReportGrid(area, StockColumns());

    connect(TBLook, &QToolButton::clicked, this, &TfrmStock::TBLookClick);
    connect(TBEXit, &QToolButton::clicked, this, &TfrmStock::TBEXitClick);
    connect(SpBPrint, &QToolButton::clicked, this, &TfrmStock::SpBPrintClick);
    connect(SpBExport, &QToolButton::clicked, this, &TfrmStock::SpBExportClick);
    connect(SpeedButton2, &QToolButton::clicked, this, &TfrmStock::SpeedButton2Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmStock::SpeedButton1Click);
    connect(sbClient, &QToolButton::clicked, this, &TfrmStock::sbClientClick);
    for (TSupGrids* g : {MainGrid, BackGrid}) {
        connect(g, &TSupGrids::OnMouseDown, this, &TfrmStock::MainGridMouseDown);
        connect(g, &TSupGrids::OnDblClick, this, &TfrmStock::MainGridDblClick);
    }
}

TfrmStock::~TfrmStock() = default;

void TfrmStock::FormShow()
{
    TfmBlank::FormShow();
    move(33, 33);
    MainGrid->ClearRows();
    BackGrid->setFocus();
    RunQuery();
}

bool TfrmStock::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        QWidget* focus = QApplication::focusWidget();
        if (focus == Edit2) {
            SpeedButton1Click();
            return true;
        }
        if (focus == Edit4) {
            sbClientClick();
            return true;
        }
    }
    return TfmBlank::FormKeyPress(event);
}

void TfrmStock::RunQuery()
{
    StockFilters f;
    f.code = FilterValue(CheckBox1->isChecked(), Edit1->text());
    f.name = FilterValue(CheckBox2->isChecked(), Edit2->text());
    f.outlet = FilterValue(CheckBox3->isChecked(), Edit3->text());
    f.outletName = FilterValue(CheckBox4->isChecked(), Edit4->text());
    f.area = FilterValue(CheckBox5->isChecked(), Edit5->text());
    try {
        ReportRun run = RunStockQuery(m_dm, m_messages, f);
        if (run.outcome == RunOutcome::BadOutlet)
            Edit3->clear();
        if (run.outcome != RunOutcome::Done)
            return;
        BusyCursor busy(m_messages);
        FillReportGrid(*MainGrid, std::move(run.cells));
        RunColConfig(m_dm, *BackGrid, *MainGrid, {1, 2}, ColumnMap, kStockGridId, 0);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmStock::TBLookClick()
{
    RunQuery();
}

void TfrmStock::TBEXitClick()
{
    close();
}

void TfrmStock::SpBPrintClick()
{
    const TSupGridsSource grid(*BackGrid);
    if (m_engine) {
        PrintReportGrid(*m_engine, m_messages, StockTitle(), grid, kStockTemplate, printLauncher);
    } else {
        DATABASEFILE engine(&m_messages);
        PrintReportGrid(engine, m_messages, StockTitle(), grid, kStockTemplate, printLauncher);
    }
}

void TfrmStock::SpeedButton2Click()
{
    try {
        RunColConfig(m_dm, *BackGrid, *MainGrid, {}, ColumnMap, kStockGridId, 1);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmStock::SpeedButton1Click()
{
    PickInto(m_dm, this, QStringLiteral("SP"), Edit2, onPickerOpen);
}

void TfrmStock::sbClientClick()
{
    PickInto(m_dm, this, QStringLiteral("N"), Edit4, onPickerOpen);
}

void TfrmStock::MainGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)
{
    SortGridByHeader(*BackGrid, x, y, SortFlag);
}

void TfrmStock::FormClose()
{
    try {
        SaveColWidths(m_dm, *BackGrid, ColumnMap, kStockGridId);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmStock::done(int result)
{
    FormClose();
    TfmBlank::done(result);
}

void ShowStockQuery(TDMData& dm, DATABASEFILE* engine, QWidget* parent)
{
    TfrmStock window(dm, engine, parent);
    window.exec();
}

void TfrmStock::SpBExportClick()
{
    const TSupGridsSource source(*BackGrid);
    ExportGrid(this, source, m_messages, windowTitle());
}

}  // namespace corvanta
