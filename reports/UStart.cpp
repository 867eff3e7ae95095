#include "reports/UStart.h"

#include "chart/StatChart.h"
#include "dialogs/FileDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "reports/ReportLogic.h"
#include "reports/USales.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLayout>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

namespace corvanta {

TfrmStart::TfrmStart(TDMData& dm, DATABASEFILE* tables, TfrmSales* sales, QWidget* parent)
    : TReportWindow(dm, tables, parent, QStringLiteral("销售情况统计"), QSize(764, 548), 87, QStringLiteral("P")),
      m_sales(sales)
{
    TBStat = toolButton(QStringLiteral("统计刷新"), QStyle::SP_BrowserReload);
    TBChart = toolButton(QStringLiteral("图表"), QStyle::SP_FileDialogInfoView);
    TBChart->setCheckable(true);
    placeToolbar({TBStat, TBChart, SpBExport});

    Label1 = new QLabel(QStringLiteral("产品销售日期  从"), Panel1);
    Label1->setGeometry(8, 8, 100, 20);
    DateTimePicker1 = ReportDatePicker(Panel1, QRect(108, 6, 180, 22));
    Label2 = new QLabel(QStringLiteral("到"), Panel1);
    Label2->setGeometry(294, 8, 16, 20);
    DateTimePicker2 = ReportDatePicker(Panel1, QRect(312, 6, 180, 22));
    Label3 = new QLabel(QStringLiteral("请选择统计方式"), Panel1);
    Label3->setGeometry(510, 8, 90, 20);
    ComboBox2 = new QComboBox(Panel1);
    ComboBox2->setGeometry(600, 6, 130, 22);
    ComboBox2->addItems(StatModeItems());

    makeFilterRows(34, 60);
    const DocTypeRow docType = MakeDocTypeRow(Panel1, QRect(460, 34, 76, 20), QRect(538, 33, 130, 22));
    CheckBox6 = docType.box, ComboBox1 = docType.combo;
    QWidget* order[] = {ComboBox2, Edit1, Edit2, Edit3, Edit4, ComboBox1, DateTimePicker1, DateTimePicker2,
                        CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox6};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    QWidget* area = gridArea(QRect(0, 129, 764, 419));
    MainGrid = ReportGrid(area, StatColumns());
    m_gridPanel = area;
    ChartView = new QChartView(area);
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setContextMenuPolicy(Qt::CustomContextMenu);
    ChartView->hide();
    area->layout()->addWidget(ChartView);
    connect(ChartView, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("保存图表…"), this, &TfrmStart::SaveChartAs);
        menu.exec(ChartView->mapToGlobal(at));
    });
    connect(TBChart, &QToolButton::clicked, this, &TfrmStart::TBChartClick);

    connect(TBStat, &QToolButton::clicked, this, &TfrmStart::TBStatClick);
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

void TfrmStart::RunStatistics()
{
    StatFilters f;
    f.from = DateTimePicker1->date();
    f.to = DateTimePicker2->date();
    f.mode = ComboBox2->currentIndex();
    readFilters(f);
    f.docType = DocTypeValue(CheckBox6->isChecked(), ComboBox1->currentText());
    // The headings follow the mode as soon as it is bound, before the outlet number is.
    if (f.from <= f.to) {
        const QStringList h = StatHeadings(f.mode);
        MainGrid->setCell(1, 0, h[1]);
        MainGrid->setCell(2, 0, h[2]);
    }
    m_runMode = f.mode;
    if (runReport([&] { return corvanta::RunStatistics(m_dm, m_messages, f); })) {
        m_shownTitle = SalesTitle(f.from, f.to);
    } else if (m_chartMode >= 0) {
        // A refused run leaves the grid as it was, headings included.
        const QStringList h = StatHeadings(m_chartMode);
        MainGrid->setCell(1, 0, h[1]);
        MainGrid->setCell(2, 0, h[2]);
    }
}

void TfrmStart::showResult(CellStore cells)
{
    FillReportGrid(*MainGrid, std::move(cells));
    m_chartMode = m_runMode;
    UpdateChart();
}

void TfrmStart::TBStatClick()
{
    RunStatistics();
}

// The printout follows the run whose rows the grid holds, not the controls as they stand now.
TitleField TfrmStart::printTitle() const
{
    return m_shownTitle ? *m_shownTitle : SalesTitle(DateTimePicker1->date(), DateTimePicker2->date());
}

QString TfrmStart::printTemplate() const
{
    return StatTemplate(m_chartMode >= 0 ? m_chartMode : ComboBox2->currentIndex());
}

void TfrmStart::TBChartClick()
{
    // With the chart the grid keeps a strip of 150 pixels at the top; the chart takes the rest.
    const bool on = TBChart->isChecked();
    MainGrid->setMaximumHeight(on ? 150 : QWIDGETSIZE_MAX);
    ChartView->setVisible(on);
    m_gridPanel->layout()->activate();
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
    QString file = fileDialog()->getSaveFileName(
        this, QStringLiteral("保存图表"),
        ProposedFile(QStringLiteral("chart"), QDir::homePath(), windowTitle() + QStringLiteral(".png")), filters, &filter);
    if (file.isEmpty())
        return;
    RememberFolder(QStringLiteral("chart"), file);
    if (QFileInfo(file).suffix().isEmpty())
        file += u'.' + QLatin1String(suffixes[std::max<qsizetype>(0, filters.indexOf(filter))]);
    QString error;
    if (!SaveStatChart(m_chartModel, file, &error))
        m_messages.systemBox(QStringLiteral("错误"), error);
}

}  // namespace corvanta
