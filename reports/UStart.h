#pragma once
// The sales statistics window "销售情况统计": sums of the sales over a date range, grouped by
// product, outlet, document type or date. Opened from the sales query window, whose dates it takes.
#include "reports/ReportWidgets.h"
#include "reports/StatChartModel.h"

#include <optional>

class QDateEdit;
class QLabel;

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace corvanta {

class TfrmSales;

class TfrmStart : public TReportWindow {
    Q_OBJECT
public:
    // sales: the opening sales query window, whose dates are taken when shown (today − 30 …
    // today without one).
    TfrmStart(TDMData& dm, DATABASEFILE* tables, TfrmSales* sales, QWidget* parent = nullptr);
    ~TfrmStart() override;

    QToolButton* TBStat;   // "统计刷新"
    QToolButton* TBChart;  // "图表": shows or hides the chart pane below the grid
    QLabel* Label1;
    QDateEdit* DateTimePicker1;
    QLabel* Label2;
    QDateEdit* DateTimePicker2;
    QLabel* Label3;
    QComboBox* ComboBox2;  // statistics mode
    QCheckBox* CheckBox6;
    QComboBox* ComboBox1;
    QChartView* ChartView;  // the chart pane

    void RunStatistics();
    void TBStatClick();
    void TBChartClick();
    // Redraws the chart from the grid as it stands (after a run or a header sort) when shown.
    void UpdateChart();
    // Asks for a .png, .svg or .pdf file and saves the chart there (the pane's context menu).
    void SaveChartAs();
    const StatChartModel& ChartModel() const { return m_chartModel; }

protected:
    void FormShow() override;
    void showResult(CellStore cells) override;
    TitleField printTitle() const override;
    QString printTemplate() const override;
    const std::vector<TotalsColumn>& totalsColumns() const override { return StatTotals(); }
    void sorted() override { UpdateChart(); }

private:
    TfrmSales* m_sales;
    QWidget* m_gridPanel = nullptr;
    int m_runMode = -1;    // the mode of the run being shown
    int m_chartMode = -1;  // the mode of the grid's rows
    std::optional<TitleField> m_shownTitle;  // of the run whose rows the grid shows
    StatChartModel m_chartModel;
};

}  // namespace corvanta
