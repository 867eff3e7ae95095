#pragma once
// The sales query window "销售情况查询统计": the sales lines of a date range, narrowed by filters,
// in a grid whose columns the user configures, sorts and prints. Opens the statistics window.
#include "dbf/PrintHandoff.h"
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"
#include "grid/cw_r_ColConfig.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QToolButton;

namespace corvanta {

class DATABASEFILE;
class TDMData;
class TSupGrids;
class TSuperPanel;
class TfrmInfo;
class TfrmStart;

class TfrmSales : public TfmBlank {
    Q_OBJECT
public:
    // engine: the main window's table engine for printing (a private one is used when null).
    TfrmSales(TDMData& dm, DATABASEFILE* engine, QWidget* parent = nullptr);
    ~TfrmSales() override;

    TSuperPanel* PanelTool;
    QToolButton* SpeedButton2;  // "显示设置"
    QToolButton* TBStat;
    QToolButton* TBLook;
    QToolButton* SpBPrint;
    QToolButton* SpBExport;  // "导出"
    QToolButton* TBEXit;
    TSuperPanel* Panel1;
    QLabel* Label1;
    QDateEdit* DateTimePicker1;
    QLabel* Label2;
    QDateEdit* DateTimePicker2;
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
    QCheckBox* CheckBox5;
    QLineEdit* Edit5;
    QCheckBox* CheckBox6;
    QComboBox* ComboBox1;
    TSupGrids* MainGrid;  // source grid, filled by the query
    TSupGrids* BackGrid;  // display grid

    ColMap ColumnMap{};
    int SortFlag = 0;

    // Test seams: the start of PRINT.EXE; the picker and the statistics window before they show.
    PrintHandoff::Launcher printLauncher;
    std::function<void(TfrmInfo&)> onPickerOpen;
    std::function<void(TfrmStart&)> onStatOpen;

    void RunQuery();
    void TBLookClick();
    void TBStatClick();
    void TBEXitClick();
    void SpBPrintClick();
    void SpBExportClick();
    void SpeedButton2Click();
    void SpeedButton1Click();
    void sbClientClick();
    void MainGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void MainGridDblClick() {}

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;
    void done(int result) override;

private:
    void FormClose();

    TDMData& m_dm;
    DATABASEFILE* m_engine;
    GuiMessages m_messages;
};

// "销售统计" of the main window: creates the window, shows it modally and frees it.
void ShowSalesQuery(TDMData& dm, DATABASEFILE* engine, QWidget* parent = nullptr);

}  // namespace corvanta
