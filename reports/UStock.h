#pragma once
// The stock query window "销售库存查询统计": the stock lines of the account set, narrowed by
// filters, in a configurable, sortable, printable grid.
#include "dbf/PrintHandoff.h"
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"
#include "grid/cw_r_ColConfig.h"

#include <functional>

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace corvanta {

class DATABASEFILE;
class TDMData;
class TSupGrids;
class TSuperPanel;
class TfrmInfo;

class TfrmStock : public TfmBlank {
    Q_OBJECT
public:
    TfrmStock(TDMData& dm, DATABASEFILE* engine, QWidget* parent = nullptr);
    ~TfrmStock() override;

    TSuperPanel* PanelTool;
    QToolButton* SpeedButton2;  // "显示设置"
    QToolButton* TBLook;
    QToolButton* SpBPrint;
    QToolButton* SpBExport;  // "导出"
    QToolButton* TBEXit;
    TSuperPanel* Panel1;
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
    TSupGrids* MainGrid;  // source grid
    TSupGrids* BackGrid;  // display grid

    ColMap ColumnMap{};
    int SortFlag = 0;

    PrintHandoff::Launcher printLauncher;
    std::function<void(TfrmInfo&)> onPickerOpen;

    void RunQuery();
    void TBLookClick();
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

// "库存统计" of the main window: creates the window, shows it modally and frees it.
void ShowStockQuery(TDMData& dm, DATABASEFILE* engine, QWidget* parent = nullptr);

}  // namespace corvanta
