#pragma once
// The sales statistics window "销售情况统计": sums of the sales over a date range, grouped by
// product, outlet, document type or date. Opened from the sales query window, whose dates it takes.
#include "dbf/PrintHandoff.h"
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"
#include "reports/StatChartModel.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QToolButton;

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace corvanta {

class DATABASEFILE;
class TDMData;
class TSupGrids;
class TSuperPanel;
class TfrmInfo;
class TfrmSales;

class TfrmStart : public TfmBlank {
    Q_OBJECT
public:
    // sales: the opening sales query window, whose dates are taken when shown (today − 30 …
    // today without one).
    TfrmStart(TDMData& dm, DATABASEFILE* engine, TfrmSales* sales, QWidget* parent = nullptr);
    ~TfrmStart() override;

    TSuperPanel* PanelTool;
    QToolButton* TBStat;  // "统计刷新"
    QToolButton* SpBPrint;
    QToolButton* SpBExport;  // "导出"
    QToolButton* TBChart;    // "图表": shows or hides the chart pane below the grid
    QToolButton* TBEXit;
    TSuperPanel* Panel1;
    QLabel* Label1;
    QDateEdit* DateTimePicker1;
    QLabel* Label2;
    QDateEdit* DateTimePicker2;
    QLabel* Label3;
    QComboBox* ComboBox2;  // statistics mode
    QCheckBox* CheckBox1;
    QLineEdit* Edit1;
    QCheckBox* CheckBox2;
    QLineEdit* Edit2;
    QToolButton* SpeedButton1;
    QCheckBox* CheckBox3;
    QLineEdit* Edit3;
    QCheckBox* CheckBox4;
    QLineEdit* Edit4;
    QToolButton* sbClient;
    QCheckBox* CheckBox6;
    QComboBox* ComboBox1;
    TSupGrids* MainGrid;
    QChartView* ChartView;  // the chart pane

    int SortFlag = 0;

    PrintHandoff::Launcher printLauncher;
    std::function<void(TfrmInfo&)> onPickerOpen;

    void RunStatistics();
    void TBStatClick();
    void TBEXitClick();
    void SpBPrintClick();
    void SpBExportClick();
    void TBChartClick();
    // Redraws the chart from the grid as it stands (after a run or a header sort) when shown.
    void UpdateChart();
    // Asks for a .png, .svg or .pdf file and saves the chart there (the pane's context menu).
    void SaveChartAs();
    const StatChartModel& ChartModel() const { return m_chartModel; }
    void SpeedButton1Click();
    void sbClientClick();
    void MainGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void MainGridDblClick() {}

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    TDMData& m_dm;
    DATABASEFILE* m_engine;
    TfrmSales* m_sales;
    GuiMessages m_messages;
    QWidget* m_gridPanel = nullptr;
    int m_chartMode = -1;  // the mode of the grid's rows
    StatChartModel m_chartModel;
};

}  // namespace corvanta
