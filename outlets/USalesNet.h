#pragma once
// The outlet list: every sales outlet of the open account set; outlets are added, changed and
// removed from here.
#include "dbf/PrintHandoff.h"
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"

#include <functional>

class QLabel;
class QStatusBar;
class QToolButton;

namespace corvanta {

class DATABASEFILE;
class TDMData;
class TSupGrids;
class TSuperPanel;
class Tinfobform;

class TfmTypeBasic : public TfmBlank {
    Q_OBJECT
public:
    // tables: the main window's dBASE tables for printing (a private one is used when null).
    TfmTypeBasic(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);
    ~TfmTypeBasic() override;

    TSuperPanel* Panel1;  // the tool bar
    QToolButton* Add_Button;
    QToolButton* Mod_Button;
    QToolButton* Del_Button;
    QToolButton* SpBPrint;
    QToolButton* SpBExport;  // "导出"
    QToolButton* Exit_Button;  // "退回"
    TSupGrids* Main_Grid;
    QStatusBar* StatusBar1;

    // Shared with the editor while it is open: "A" or "M", and the grid row of the command.
    QString Mode;
    int SelectedRow = 1;

    // Test seams: replaces the start of PRINT.EXE; sees the editor before it is shown modally.
    PrintHandoff::Launcher printLauncher;
    std::function<void(Tinfobform&)> onEditorOpen;

    void LoadList();
    void Add_ButtonClick();
    void Mod_ButtonClick();
    void Del_ButtonClick();
    void SpBPrintClick();
    void SpBExportClick();
    void Exit_ButtonClick();
    void Main_GridSelectCell(int col, int row, bool& canSelect);
    void Main_GridKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    void Main_GridDblClick();
    // Enables the buttons for a grid row: Mod_Button and Del_Button only on a numbered row.
    void UpdateButtons(int row);

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    void runEditor(const QString& mode);

    TDMData& m_dm;
    DATABASEFILE* m_tables;
    GuiMessages m_messages;
};

// "销售网点" of the main window: creates the list, shows it modally and frees it.
void ShowOutletList(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);

}  // namespace corvanta
