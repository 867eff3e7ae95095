#include "reports/UStock.h"

#include "grid/Panels.h"
#include "reports/ReportLogic.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace corvanta {

TfrmStock::TfrmStock(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
    : TReportPairWindow(dm, tables, parent, QStringLiteral("销售库存查询统计"), QSize(743, 538), 63,
                        QStringLiteral("SP"), kStockGridId)
{
    TBLook = toolButton(QStringLiteral("查询"), QStyle::SP_BrowserReload);
    placeToolbar({SpeedButton2, TBLook, SpBExport});

    makeFilterRows(8, 35);
    FilterRow r5 = MakeFilterRow(Panel1, QStringLiteral("产   地"), 460, 8, 110);
    CheckBox5 = r5.box, Edit5 = r5.edit;
    // Each box followed by its edit.
    QWidget* order[] = {CheckBox1, Edit1, CheckBox2, Edit2, CheckBox3, Edit3, CheckBox4, Edit4, CheckBox5, Edit5};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    makeGridPair(QRect(0, 105, 743, 433), StockColumns());

    connect(TBLook, &QToolButton::clicked, this, &TfrmStock::TBLookClick);
}

TfrmStock::~TfrmStock() = default;

void TfrmStock::FormShow()
{
    TfmBlank::FormShow();
    move(33, 33);
    prepareGrids();
    RunQuery();
}

void TfrmStock::RunQuery()
{
    StockFilters f;
    readFilters(f);
    f.area = FilterValue(CheckBox5->isChecked(), Edit5->text());
    runReport([&] { return RunStockQuery(m_dm, m_messages, f); });
}

void TfrmStock::TBLookClick()
{
    RunQuery();
}

void ShowStockQuery(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
{
    TfrmStock window(dm, tables, parent);
    window.exec();
}

}  // namespace corvanta
