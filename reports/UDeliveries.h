#pragma once
// "数据到达情况" (数据导入 menu): per outlet of the list, the days of a range whose sales arrived,
// the days missing (coloured) and the time of its last stock import.
#include "dbf/PrintHandoff.h"
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"

#include <QColor>

class QCheckBox;
class QDateEdit;
class QLabel;
class QToolButton;

namespace corvanta {

class DATABASEFILE;
class TDMData;
class TSupGrids;

// The colour of a day on which nothing arrived.
inline const QColor kMissingDayColour(255, 196, 196);

class TfrmDeliveries : public TfmBlank {
    Q_OBJECT
public:
    TfrmDeliveries(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);
    ~TfrmDeliveries() override;

    QToolButton* TBLook;     // "查询"
    QToolButton* SpBExport;  // "导出"
    QToolButton* SpBPrint;   // "打印"
    QToolButton* TBEXit;     // "退出"
    QDateEdit* DateFrom;
    QDateEdit* DateTo;
    QCheckBox* MissingOnly;  // "只显示缺少数据的网点"
    QLabel* CountLabel;
    TSupGrids* MainGrid;
    int SortFlag = 0;

    // Test seams: the start of PRINT.EXE; the messages.
    PrintHandoff::Launcher printLauncher;
    void setMessagesForTesting(Messages* messages) { m_messagesOverride = messages; }

    void TBLookClick();
    void SpBExportClick();
    void SpBPrintClick();

protected:
    void FormShow() override;
    bool FormKeyPress(QKeyEvent* event) override;

private:
    Messages& messages() { return m_messagesOverride ? *m_messagesOverride : m_messages; }
    void gridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    // The missing days coloured, where they are now (after a fill or a sort).
    void colourMissingDays();

    TDMData& m_dm;
    DATABASEFILE* m_tables;
    GuiMessages m_messages;
    Messages* m_messagesOverride = nullptr;
    int m_rows = 0;     // data rows shown
    int m_colouredRows = 0;
    QString m_printRange;
};

// The menu command: creates the window, shows it modally, frees it.
void ShowDeliveries(TDMData& dm, DATABASEFILE* tables, QWidget* parent = nullptr);

}  // namespace corvanta
