#include "reports/USales.h"

#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "reports/ReportLogic.h"
#include "reports/UStart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace corvanta {

TfrmSales::TfrmSales(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
    : TReportPairWindow(dm, tables, parent, QStringLiteral("销售情况查询统计"), QSize(764, 548), 87,
                        QStringLiteral("P"), kSalesGridId)
{
    TBStat = toolButton(QStringLiteral("销售统计"), QStyle::SP_FileDialogContentsView);
    TBLook = toolButton(QStringLiteral("查询"), QStyle::SP_BrowserReload);
    placeToolbar({SpeedButton2, TBStat, TBLook, SpBExport});

    Label1 = new QLabel(QStringLiteral("产品销售日期  从"), Panel1);
    Label1->setGeometry(8, 8, 100, 20);
    DateTimePicker1 = ReportDatePicker(Panel1, QRect(108, 6, 180, 22));
    Label2 = new QLabel(QStringLiteral("到"), Panel1);
    Label2->setGeometry(294, 8, 16, 20);
    DateTimePicker2 = ReportDatePicker(Panel1, QRect(312, 6, 180, 22));
    const DocTypeRow docType = MakeDocTypeRow(Panel1, QRect(510, 7, 76, 20), QRect(588, 6, 110, 22));
    CheckBox6 = docType.box, ComboBox1 = docType.combo;

    makeFilterRows(34, 60);
    FilterRow r5 = MakeFilterRow(Panel1, QStringLiteral("产   地"), 460, 34, 110);
    CheckBox5 = r5.box, Edit5 = r5.edit;
    // The boxes sit after the edits in the tab order.
    QWidget* order[] = {Edit1, Edit2, Edit3, Edit4, Edit5, ComboBox1, DateTimePicker1, DateTimePicker2,
                        CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    makeGridPair(QRect(0, 129, 764, 419), SalesColumns());

    connect(TBLook, &QToolButton::clicked, this, &TfrmSales::TBLookClick);
    connect(TBStat, &QToolButton::clicked, this, &TfrmSales::TBStatClick);
}

TfrmSales::~TfrmSales() = default;

void TfrmSales::FormShow()
{
    TfmBlank::FormShow();
    const QDate today = QDate::currentDate();
    DateTimePicker1->setDate(today.addDays(-30));
    DateTimePicker2->setDate(today);
    prepareGrids();
    RunQuery();
}

void TfrmSales::RunQuery()
{
    SalesFilters f;
    f.from = DateTimePicker1->date();
    f.to = DateTimePicker2->date();
    readFilters(f);
    f.area = FilterValue(CheckBox5->isChecked(), Edit5->text());
    f.docType = DocTypeValue(CheckBox6->isChecked(), ComboBox1->currentText());
    if (runReport([&] { return RunSalesQuery(m_dm, m_messages, f); }))
        m_shownTitle = SalesTitle(f.from, f.to);
}

void TfrmSales::TBLookClick()
{
    RunQuery();
}

void TfrmSales::TBStatClick()
{
    TfrmStart stat(m_dm, m_tables, this, this);
    if (onStatOpen)
        onStatOpen(stat);
    stat.exec();
}

TitleField TfrmSales::printTitle() const
{
    // The dates of the rows printed, not of the pickers, which may have changed since.
    return m_shownTitle ? *m_shownTitle : SalesTitle(DateTimePicker1->date(), DateTimePicker2->date());
}

void ShowSalesQuery(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
{
    TfrmSales window(dm, tables, parent);
    window.exec();
}

}  // namespace corvanta
