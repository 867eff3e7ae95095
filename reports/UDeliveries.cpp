#include "reports/UDeliveries.h"

#include "dbf/DBF.h"
#include "dialogs/ExportDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "grid/cw_r_Sort.h"
#include "reports/DeliveriesLogic.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvanta {

namespace {

inline const QString kDeliveriesTemplate = QStringLiteral("数据到达情况.rwx");

}  // namespace

TfrmDeliveries::TfrmDeliveries(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
    : TfmBlank(parent), m_dm(dm), m_tables(tables)
{
    setWindowTitle(kDeliveriesTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    resize(900, 540);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    TSuperPanel* tools = ReportPanel(this, QRect(0, 0, width(), 42), true);
    tools->setFixedHeight(42);
    TBLook = ReportToolButton(tools, QStringLiteral("查询"), QStyle::SP_BrowserReload);
    SpBExport = ReportToolButton(tools, QStringLiteral("导出"), QStyle::SP_DialogSaveButton);
    SpBPrint = ReportToolButton(tools, QStringLiteral("打印"), QStyle::SP_FileIcon);
    TBEXit = ReportToolButton(tools, QStringLiteral("退出"), QStyle::SP_DialogCloseButton);
    auto* bar = new QHBoxLayout(tools);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    bar->addWidget(TBLook);
    bar->addWidget(SpBExport);
    bar->addStretch(1);
    bar->addWidget(SpBPrint);
    bar->addWidget(TBEXit);
    column->addWidget(tools);

    TSuperPanel* filters = ReportPanel(this, QRect(0, 42, width(), 36), false);
    filters->setFixedHeight(36);
    auto* row = new QHBoxLayout(filters);
    row->setContentsMargins(8, 4, 8, 4);
    auto datePicker = [filters] {
        auto* d = new QDateEdit(filters);
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setFixedWidth(120);
        return d;
    };
    DateFrom = datePicker();
    DateTo = datePicker();
    const QDate today = QDate::currentDate();
    DateFrom->setDate(DeliveriesDefaultFrom(today));
    DateTo->setDate(today);
    MissingOnly = new QCheckBox(QStringLiteral("只显示缺少数据的网点"), filters);
    CountLabel = new QLabel(filters);
    row->addWidget(new QLabel(QStringLiteral("日期从"), filters));
    row->addWidget(DateFrom);
    row->addWidget(new QLabel(QStringLiteral("到"), filters));
    row->addWidget(DateTo);
    row->addSpacing(16);
    row->addWidget(MissingOnly);
    row->addSpacing(16);
    row->addWidget(CountLabel, 1);
    column->addWidget(filters);

    MainGrid = new TSupGrids(this);
    MainGrid->setColCount(kDeliveriesDayColumn);
    MainGrid->setRowCount(ReportRowCount(0));
    MainGrid->setFixedRows(1);
    MainGrid->setFixedCols(1);
    MainGrid->setDefaultRowHeight(17);
    MainGrid->setOptions(GridOption::RowSelect | GridOption::ColSizing);
    MainGrid->setAlignment(alLeft);
    MainGrid->setFixAlignRow(0, alCenter);
    const QStringList headings = DeliveriesHeadings(QDate(), QDate());
    for (int c = 0; c < int(headings.size()); ++c)
        MainGrid->setCell(c, 0, headings[c]);
    column->addWidget(MainGrid, 1);

    connect(TBLook, &QToolButton::clicked, this, &TfrmDeliveries::TBLookClick);
    connect(SpBExport, &QToolButton::clicked, this, &TfrmDeliveries::SpBExportClick);
    connect(SpBPrint, &QToolButton::clicked, this, &TfrmDeliveries::SpBPrintClick);
    connect(TBEXit, &QToolButton::clicked, this, &QDialog::close);
    connect(MainGrid, &TSupGrids::OnMouseDown, this, &TfrmDeliveries::gridMouseDown);
}

TfrmDeliveries::~TfrmDeliveries() = default;

void TfrmDeliveries::FormShow()
{
    TfmBlank::FormShow();
    MainGrid->setFocus();
    TBLookClick();
}

bool TfrmDeliveries::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (QApplication::focusWidget() == MainGrid)
        return false;
    return TfmBlank::FormKeyPress(event);
}

void TfrmDeliveries::TBLookClick()
{
    DeliveriesFilters f;
    f.from = DateFrom->date();
    f.to = DateTo->date();
    f.missingOnly = MissingOnly->isChecked();
    DeliveriesRun run;
    try {
        run = RunDeliveries(m_dm, messages(), f);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
        return;
    }
    if (run.outcome != DeliveriesOutcome::Done)
        return;
    BusyCursor busy(messages());
    MainGrid->ClearRows();
    MainGrid->setColCount(int(run.headings.size()));
    for (int c = 0; c < int(run.headings.size()); ++c) {
        MainGrid->setCell(c, 0, run.headings[c]);
        MainGrid->setColWidth(c, run.widths[std::size_t(c)]);
        if (c >= kDeliveriesDayColumn || (c >= 3 && c <= 4))
            MainGrid->setAlignCol(c, alRight);
    }
    m_rows = run.cells.rowCount();
    const int outlets = m_rows;
    FillReportGrid(*MainGrid, std::move(run.cells));
    SortFlag = 0;
    colourMissingDays();
    m_printRange = QStringLiteral("(数据到达日期 从%1到%2)").arg(ProcDate(f.from), ProcDate(f.to));
    CountLabel->setText(f.missingOnly ? QStringLiteral("%1 个网点缺少数据").arg(run.outletsMissing)
                                      : QStringLiteral("共 %1 个网点，%2 个网点缺少数据").arg(outlets).arg(run.outletsMissing));
}

void TfrmDeliveries::colourMissingDays()
{
    const int cols = MainGrid->colCount();
    for (int r = 1; r <= std::max(m_rows, m_colouredRows); ++r) {
        for (int c = kDeliveriesDayColumn; c < cols; ++c) {
            const bool missing = r <= m_rows && MainGrid->cell(c, r).isEmpty();
            MainGrid->setColorCell(c, r, missing ? std::optional<QColor>(kMissingDayColour) : std::nullopt);
        }
        // The missing-day count stands out as well.
        const bool any = r <= m_rows && MainGrid->cell(kDeliveriesMissingColumn, r) != QLatin1String("0");
        MainGrid->setColorCell(kDeliveriesMissingColumn, r, any ? std::optional<QColor>(kMissingDayColour) : std::nullopt);
    }
    m_colouredRows = m_rows;
}

void TfrmDeliveries::gridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)
{
    if (SortGridByHeader(*MainGrid, x, y, SortFlag))
        colourMissingDays();
}

void TfrmDeliveries::SpBExportClick()
{
    ExportGrid(this, TSupGridsSource(*MainGrid), messages(), windowTitle());
}

void TfrmDeliveries::SpBPrintClick()
{
    const TSupGridsSource shown(*MainGrid);
    const DeliveriesPrintSource grid(shown);
    const TitleField title{QStringLiteral("到达时间"), 100, m_printRange};
    if (m_tables) {
        PrintReportGrid(*m_tables, messages(), title, grid, kDeliveriesTemplate, printLauncher);
    } else {
        DATABASEFILE tables(&messages());
        PrintReportGrid(tables, messages(), title, grid, kDeliveriesTemplate, printLauncher);
    }
}

void ShowDeliveries(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
{
    TfrmDeliveries window(dm, tables, parent);
    window.exec();
}

}  // namespace corvanta
