#pragma once
// The import history window: every import run of the open account set, newest first, in a grid.
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"

class QLabel;
class QToolButton;

namespace corvanta {

class TDMData;
class TSupGrids;

class TfrmImportLog : public TfmBlank {
    Q_OBJECT
public:
    TfrmImportLog(TDMData& dm, QWidget* parent = nullptr);

    QToolButton* Refresh_Button;
    QToolButton* Export_Button;  // "导出": the grid to XLSX or CSV
    QToolButton* Exit_Button;  // "退回"
    TSupGrids* Main_Grid;
    QLabel* CountLabel;

    // Reads the history into the grid; false (after reporting) when it could not be read.
    bool LoadList();
    void setMessagesForTesting(Messages* messages) { m_messagesOverride = messages; }

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    Messages& messages() { return m_messagesOverride ? *m_messagesOverride : m_messages; }

    TDMData& m_dm;
    GuiMessages m_messages;
    Messages* m_messagesOverride = nullptr;
};

// "导入记录" of the main window's "数据导入" menu: creates the window, shows it modally, frees it.
void ShowImportLog(TDMData& dm, QWidget* parent = nullptr);

}  // namespace corvanta
