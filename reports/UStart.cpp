#include "reports/UStart.h"

#include "chart/StatChart.h"
#include "dbf/DBF.h"
#include "dialogs/FileDialog.h"
#include "dialogs/ExportDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "grid/cw_r_Sort.h"
#include "reports/ReportLogic.h"
#include "reports/ReportWidgets.h"
#include "reports/UInfo.h"
#include "reports/USales.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QLocale>
#include <QStyle>
#include <QToolButton>
#include <exception>

namespace corvanta {

TfrmStart::TfrmStart(TDMData& dm, DATABASEFILE* engine, TfrmSales* sales, QWidget* parent)
    : TfmBlank(parent), m_dm(dm), m_engine(engine), m_sales(sales)
{
    setWindowTitle(QStringLiteral("销售情况统计"));
    setFixedSize(764, 548);

    PanelTool = ReportPanel(this, QRect(0, 0, 764, 42), true);
    auto* bar = new QHBoxLayout(PanelTool);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    TBStat = ReportToolButton(PanelTool, QStringLiteral("统计刷新"), QStyle::SP_BrowserReload);
    SpBPrint = ReportToolButton(PanelTool, QStringLiteral("打印"), QStyle::SP_FileIcon);
    TBEXit = ReportToolButton(PanelTool, QStringLiteral("退出"), QStyle::SP_DialogCloseButton);
    SpBExport = ReportToolButton(PanelTool, QStringLiteral("导出"), QStyle::SP_DialogSaveButton);
    TBChart = ReportToolButton(PanelTool, QStringLiteral("图表"), QStyle::SP_FileDialogInfoView);
    TBChart->setCheckable(true);
    bar->addWidget(TBStat);
    bar->addWidget(TBChart);
    bar->addWidget(SpBExport);
    bar->addStretch(1);
    bar->addWidget(SpBPrint);
    bar->addWidget(TBEXit);

    Panel1 = ReportPanel(this, QRect(0, 42, 764, 87), false);
    Label1 = new QLabel(QStringLiteral("产品销售日期  从"), Panel1);
    Label1->setGeometry(8, 8, 100, 20);
    DateTimePicker1 = new QDateEdit(Panel1);
    DateTimePicker1->setGeometry(108, 6, 180, 22);
    Label2 = new QLabel(QStringLiteral("到"), Panel1);
    Label2->setGeometry(294, 8, 16, 20);
    DateTimePicker2 = new QDateEdit(Panel1);
    DateTimePicker2->setGeometry(312, 6, 180, 22);
    for (QDateEdit* d : {DateTimePicker1, DateTimePicker2}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
    }
    Label3 = new QLabel(QStringLiteral("请选择统计方式"), Panel1);
    Label3->setGeometry(510, 8, 90, 20);
    ComboBox2 = new QComboBox(Panel1);
    ComboBox2->setGeometry(600, 6, 130, 22);
    ComboBox2->addItems(StatModeItems());

    FilterRow r1 = MakeFilterRow(Panel1, QStringLiteral("商品编码"), 8, 34, 110);
    FilterRow r2 = MakeFilterRow(Panel1, QStringLiteral("商品名称"), 206, 34, 134);
    FilterRow r3 = MakeFilterRow(Panel1, QStringLiteral("网点编号"), 8, 60, 110);
    FilterRow r4 = MakeFilterRow(Panel1, QStringLiteral("网点名称"), 206, 60, 134);
    CheckBox1 = r1.box, Edit1 = r1.edit;
    CheckBox2 = r2.box, Edit2 = r2.edit;
    CheckBox3 = r3.box, Edit3 = r3.edit;
    CheckBox4 = r4.box, Edit4 = r4.edit;
    SpeedButton1 = new QToolButton(Panel1);
    SpeedButton1->setText(QStringLiteral("…"));
    SpeedButton1->setGeometry(420, 34, 22, 20);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    sbClient = new QToolButton(Panel1);
    sbClient->setText(QStringLiteral("…"));
    sbClient->setGeometry(420, 60, 22, 20);
    sbClient->setFocusPolicy(Qt::NoFocus);
    CheckBox6 = new QCheckBox(QStringLiteral("单据类型"), Panel1);
    CheckBox6->setGeometry(460, 34, 76, 20);
    ComboBox1 = new QComboBox(Panel1);
    ComboBox1->setGeometry(538, 33, 130, 22);
    ComboBox1->addItems({QStringLiteral("销售"), QStringLiteral("销售退货")});
    ComboBox1->setCurrentIndex(-1);
    QWidget* order[] = {ComboBox2, Edit1, Edit2, Edit3, Edit4, ComboBox1, DateTimePicker1, DateTimePicker2,
                        CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox6};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    QWidget* area = ReportGridArea(this, QRect(0, 129, 764, 419));
    MainGrid = ReportGrid(area, StatColumns());
    m_gridPanel = area;
    ChartView = new QChartView(area);
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setContextMenuPolicy(Qt::CustomContextMenu);
    ChartView->hide();
    connect(ChartView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("保存图表…"), this, &TfrmStart::SaveChartAs);
        menu.exec(ChartView->mapToGlobal(at));
    });
    connect(TBChart, &QToolButton::clicked, this, &TfrmStart::TBChartClick);

    connect(TBStat, &QToolButton::clicked, this, &TfrmStart::TBStatClick);
    connect(TBEXit, &QToolButton::clicked, this, &TfrmStart::TBEXitClick);
    connect(SpBPrint, &QToolButton::clicked, this, &TfrmStart::SpBPrintClick);
    connect(SpBExport, &QToolButton::clicked, this, &TfrmStart::SpBExportClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmStart::SpeedButton1Click);
    connect(sbClient, &QToolButton::clicked, this, &TfrmStart::sbClientClick);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] {
        if (!CheckBox6->isChecked())
            CheckBox6->setChecked(true);
    });
    connect(MainGrid, &TSupGrids::OnMouseDown, this, &TfrmStart::MainGridMouseDown);
    connect(MainGrid, &TSupGrids::OnDblClick, this, &TfrmStart::MainGridDblClick);
}

TfrmStart::~TfrmStart() = default;

void TfrmStart::FormShow()
{
    TfmBlank::FormShow();
    const QDate today = QDate::currentDate();
    DateTimePicker1->setDate(m_sales ? m_sales->DateTimePicker1->date() : today.addDays(-30));
    DateTimePicker2->setDate(m_sales ? m_sales->DateTimePicker2->date() : today);
    ComboBox2->setCurrentIndex(0);
    MainGrid->setFocus();
    RunStatistics();
}

bool TfrmStart::FormKeyPress(QKeyEvent* event)
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

void TfrmStart::RunStatistics()
{
    StatFilters f;
    f.from = DateTimePicker1->date();
    f.to = DateTimePicker2->date();
    f.mode = ComboBox2->currentIndex();
    f.code = FilterValue(CheckBox1->isChecked(), Edit1->text());
    f.name = FilterValue(CheckBox2->isChecked(), Edit2->text());
    f.outlet = FilterValue(CheckBox3->isChecked(), Edit3->text());
    f.outletName = FilterValue(CheckBox4->isChecked(), Edit4->text());
    f.docType = DocTypeValue(CheckBox6->isChecked(), ComboBox1->currentText());
    // The headings follow the mode as soon as it is bound, before the outlet number is.
    if (f.from <= f.to) {
        const QStringList h = StatHeadings(f.mode);
        MainGrid->setCell(1, 0, h[1]);
        MainGrid->setCell(2, 0, h[2]);
    }
    try {
        ReportRun run = corvanta::RunStatistics(m_dm, m_messages, f);
        if (run.outcome == RunOutcome::BadOutlet)
            Edit3->clear();
        if (run.outcome != RunOutcome::Done)
            return;
        BusyCursor busy(m_messages);
        FillReportGrid(*MainGrid, std::move(run.cells));
        m_chartMode = f.mode;
        UpdateChart();
    } catch (const std::exception& e) {
        ShowErrorReport(QString::fromUtf8(e.what()));
    }
}

void TfrmStart::TBStatClick()
{
    RunStatistics();
}

void TfrmStart::TBEXitClick()
{
    close();
}

void TfrmStart::SpBPrintClick()
{
    const TSupGridsSource grid(*MainGrid);
    const TitleField title = SalesTitle(DateTimePicker1->date(), DateTimePicker2->date());
    const QString templateName = StatTemplate(ComboBox2->currentIndex());
    if (m_engine) {
        PrintReportGrid(*m_engine, m_messages, title, grid, templateName, printLauncher);
    } else {
        DATABASEFILE engine(&m_messages);
        PrintReportGrid(engine, m_messages, title, grid, templateName, printLauncher);
    }
}

void TfrmStart::SpeedButton1Click()
{
    PickInto(m_dm, this, QStringLiteral("P"), Edit2, onPickerOpen);
}

void TfrmStart::sbClientClick()
{
    PickInto(m_dm, this, QStringLiteral("N"), Edit4, onPickerOpen);
}

void TfrmStart::MainGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)
{
    SortGridByHeader(*MainGrid, x, y, SortFlag);
    UpdateChart();
}

void TfrmStart::SpBExportClick()
{
    const TSupGridsSource source(*MainGrid);
    ExportGrid(this, source, m_messages, windowTitle());
}

void TfrmStart::TBChartClick()
{
    const int w = m_gridPanel->width(), h = m_gridPanel->height();
    const bool on = TBChart->isChecked();
    const int gridHeight = on ? 150 : h;
    MainGrid->setGeometry(0, 0, w, gridHeight);
    ChartView->setGeometry(0, gridHeight, w, h - gridHeight);
    ChartView->setVisible(on);
    UpdateChart();
}

void TfrmStart::UpdateChart()
{
    if (!TBChart->isChecked())
        return;
    const TSupGridsSource source(*MainGrid);
    m_chartModel = BuildStatChart(m_chartMode >= 0 ? m_chartMode : ComboBox2->currentIndex(), source);
    QChart* old = ChartView->chart();
    ChartView->setChart(MakeStatChart(m_chartModel));
    delete old;
}

void TfrmStart::SaveChartAs()
{
    static const QStringList filters{QStringLiteral("PNG 图片 (*.png)"), QStringLiteral("SVG 图形 (*.svg)"),
                                     QStringLiteral("PDF 文档 (*.pdf)")};
    static const char* suffixes[] = {"png", "svg", "pdf"};
    QString filter;
    QString file = fileDialog()->getSaveFileName(this, QStringLiteral("保存图表"),
                                                 QDir::home().filePath(windowTitle() + QStringLiteral(".png")),
                                                 filters, &filter);
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().isEmpty())
        file += u'.' + QLatin1String(suffixes[std::max<qsizetype>(0, filters.indexOf(filter))]);
    QString error;
    if (!SaveStatChart(m_chartModel, file, &error))
        m_messages.systemBox(QStringLiteral("错误"), error);
}

}  // namespace corvanta
