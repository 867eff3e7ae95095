#include "reports/USales.h"

#include "dbf/DBF.h"
#include "dialogs/ExportDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "grid/cw_r_Sort.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"
#include "reports/UInfo.h"
#include "reports/UStart.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QToolButton>
#include <exception>

namespace corvanta {

namespace {

QDateEdit* datePicker(QWidget* parent, const QRect& rect)
{
    auto* d = new QDateEdit(parent);
    d->setGeometry(rect);
    d->setCalendarPopup(true);
    d->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
    return d;
}

}  // namespace

TfrmSales::TfrmSales(TDMData& dm, DATABASEFILE* engine, QWidget* parent)
    : TfmBlank(parent), m_dm(dm), m_engine(engine)
{
    setWindowTitle(QStringLiteral("销售情况查询统计"));
    setFixedSize(764, 548);

    PanelTool = ReportPanel(this, QRect(0, 0, 764, 42), true);
    auto* bar = new QHBoxLayout(PanelTool);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    SpeedButton2 = ReportToolButton(PanelTool, QStringLiteral("显示设置"), QStyle::SP_FileDialogDetailedView);
    TBStat = ReportToolButton(PanelTool, QStringLiteral("销售统计"), QStyle::SP_FileDialogContentsView);
    TBLook = ReportToolButton(PanelTool, QStringLiteral("查询"), QStyle::SP_BrowserReload);
    SpBPrint = ReportToolButton(PanelTool, QStringLiteral("打印"), QStyle::SP_FileIcon);
    TBEXit = ReportToolButton(PanelTool, QStringLiteral("退出"), QStyle::SP_DialogCloseButton);
    SpBExport = ReportToolButton(PanelTool, QStringLiteral("导出"), QStyle::SP_DialogSaveButton);
    bar->addWidget(SpeedButton2);
    bar->addWidget(TBStat);
    bar->addWidget(TBLook);
    bar->addWidget(SpBExport);
    bar->addStretch(1);
    bar->addWidget(SpBPrint);
    bar->addWidget(TBEXit);

    Panel1 = ReportPanel(this, QRect(0, 42, 764, 87), false);
    Label1 = new QLabel(QStringLiteral("产品销售日期  从"), Panel1);
    Label1->setGeometry(8, 8, 100, 20);
    DateTimePicker1 = datePicker(Panel1, QRect(108, 6, 180, 22));
    Label2 = new QLabel(QStringLiteral("到"), Panel1);
    Label2->setGeometry(294, 8, 16, 20);
    DateTimePicker2 = datePicker(Panel1, QRect(312, 6, 180, 22));
    CheckBox6 = new QCheckBox(QStringLiteral("单据类型"), Panel1);
    CheckBox6->setGeometry(510, 7, 76, 20);
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setGeometry(588, 6, 110, 22);
    ComboBox1->addItems({QStringLiteral("销售"), QStringLiteral("销售退货")});
    ComboBox1->setCurrentIndex(-1);

    FilterRow r1 = MakeFilterRow(Panel1, QStringLiteral("商品编码"), 8, 34, 110);
    FilterRow r2 = MakeFilterRow(Panel1, QStringLiteral("商品名称"), 206, 34, 134);
    FilterRow r3 = MakeFilterRow(Panel1, QStringLiteral("网点编号"), 8, 60, 110);
    FilterRow r4 = MakeFilterRow(Panel1, QStringLiteral("网点名称"), 206, 60, 134);
    FilterRow r5 = MakeFilterRow(Panel1, QStringLiteral("产   地"), 460, 34, 110);
    CheckBox1 = r1.box, Edit1 = r1.edit;
    CheckBox2 = r2.box, Edit2 = r2.edit;
    CheckBox3 = r3.box, Edit3 = r3.edit;
    CheckBox4 = r4.box, Edit4 = r4.edit;
    CheckBox5 = r5.box, Edit5 = r5.edit;
    SpeedButton1 = new QToolButton(Panel1);
    SpeedButton1->setText(QStringLiteral("…"));
    SpeedButton1->setGeometry(420, 34, 22, 20);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    sbClient = new QToolButton(Panel1);
    sbClient->setText(QStringLiteral("…"));
    sbClient->setGeometry(420, 60, 22, 20);
    sbClient->setFocusPolicy(Qt::NoFocus);
    // The boxes sit after the edits in the tab order.
    QWidget* order[] = {Edit1, Edit2, Edit3, Edit4, Edit5, ComboBox1, DateTimePicker1, DateTimePicker2,
                        CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    QWidget* area = ReportGridArea(this, QRect(0, 129, 764, 419));
    MainGrid = ReportGrid(area, SalesColumns());
    MainGrid->hide();
    BackGrid = ReportGrid(area, SalesColumns());

    connect(TBLook, &QToolButton::clicked, this, &TfrmSales::TBLookClick);
    connect(TBStat, &QToolButton::clicked, this, &TfrmSales::TBStatClick);
    connect(TBEXit, &QToolButton::clicked, this, &TfrmSales::TBEXitClick);
    connect(SpBPrint, &QToolButton::clicked, this, &TfrmSales::SpBPrintClick);
    connect(SpBExport, &QToolButton::clicked, this, &TfrmSales::SpBExportClick);
    connect(SpeedButton2, &QToolButton::clicked, this, &TfrmSales::SpeedButton2Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmSales::SpeedButton1Click);
    connect(sbClient, &QToolButton::clicked, this, &TfrmSales::sbClientClick);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] {
        if (!CheckBox6->isChecked())
            CheckBox6->setChecked(true);
    });
    for (TSupGrids* g : {MainGrid, BackGrid}) {
        connect(g, &TSupGrids::OnMouseDown, this, &TfrmSales::MainGridMouseDown);
        connect(g, &TSupGrids::OnDblClick, this, &TfrmSales::MainGridDblClick);
    }
}

TfrmSales::~TfrmSales() = default;

void TfrmSales::FormShow()
{
    TfmBlank::FormShow();
    const QDate today = QDate::currentDate();
    DateTimePicker1->setDate(today.addDays(-30));
    DateTimePicker2->setDate(today);
    MainGrid->ClearRows();
    BackGrid->setFocus();
    RunQuery();
}

bool TfrmSales::FormKeyPress(QKeyEvent* event)
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

void TfrmSales::RunQuery()
{
    SalesFilters f;
    f.from = DateTimePicker1->date();
    f.to = DateTimePicker2->date();
    f.code = FilterValue(CheckBox1->isChecked(), Edit1->text());
    f.name = FilterValue(CheckBox2->isChecked(), Edit2->text());
    f.outlet = FilterValue(CheckBox3->isChecked(), Edit3->text());
    f.outletName = FilterValue(CheckBox4->isChecked(), Edit4->text());
    f.area = FilterValue(CheckBox5->isChecked(), Edit5->text());
    f.docType = DocTypeValue(CheckBox6->isChecked(), ComboBox1->currentText());
    try {
        ReportRun run = RunSalesQuery(m_dm, m_messages, f);
        if (run.outcome == RunOutcome::BadOutlet)
            Edit3->clear();
        if (run.outcome != RunOutcome::Done)
            return;
        BusyCursor busy(m_messages);
        FillReportGrid(*MainGrid, std::move(run.cells));
        RunColConfig(m_dm, *BackGrid, *MainGrid, {1, 2}, ColumnMap, kSalesGridId, 0);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmSales::TBLookClick()
{
    RunQuery();
}

void TfrmSales::TBStatClick()
{
    TfrmStart stat(m_dm, m_engine, this, this);
    if (onStatOpen)
        onStatOpen(stat);
    stat.exec();
}

void TfrmSales::TBEXitClick()
{
    close();
}

void TfrmSales::SpBPrintClick()
{
    const TSupGridsSource grid(*BackGrid);
    const TitleField title = SalesTitle(DateTimePicker1->date(), DateTimePicker2->date());
    if (m_engine) {
        PrintReportGrid(*m_engine, m_messages, title, grid, kSalesTemplate, printLauncher);
    } else {
        DATABASEFILE engine(&m_messages);
        PrintReportGrid(engine, m_messages, title, grid, kSalesTemplate, printLauncher);
    }
}

void TfrmSales::SpeedButton2Click()
{
    try {
        RunColConfig(m_dm, *BackGrid, *MainGrid, {}, ColumnMap, kSalesGridId, 1);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmSales::SpeedButton1Click()
{
    PickInto(m_dm, this, QStringLiteral("P"), Edit2, onPickerOpen);
}

void TfrmSales::sbClientClick()
{
    PickInto(m_dm, this, QStringLiteral("N"), Edit4, onPickerOpen);
}

void TfrmSales::MainGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)
{
    SortGridByHeader(*BackGrid, x, y, SortFlag);
}

void TfrmSales::FormClose()
{
    try {
        SaveColWidths(m_dm, *BackGrid, ColumnMap, kSalesGridId);
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmSales::done(int result)
{
    FormClose();
    TfmBlank::done(result);
}

void ShowSalesQuery(TDMData& dm, DATABASEFILE* engine, QWidget* parent)
{
    TfrmSales window(dm, engine, parent);
    window.exec();
}

void TfrmSales::SpBExportClick()
{
    const TSupGridsSource source(*BackGrid);
    ExportGrid(this, source, m_messages, windowTitle());
}

}  // namespace corvanta
