#pragma once
// Pieces the report windows are built from alike: toolbar buttons, the framed grid area with its
// shadow, the result grids, the filter rows, and the window scaffold they share.
#include "dbf/PrintHandoff.h"
#include "dialogs/G_Blank.h"
#include "dialogs/GuiMessages.h"
#include "grid/cw_r_ColConfig.h"
#include "reports/ReportLogic.h"

#include <QColor>
#include <QRect>
#include <functional>
#include <initializer_list>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QToolButton;
class QWidget;

namespace corvanta {

class DATABASEFILE;
class TDMData;
class TSupGrids;
class TSuperPanel;
class TfrmInfo;

inline const QColor kReportPanelColour(177, 210, 172);

// A flat toolbar button with its glyph above the caption.
QToolButton* ReportToolButton(QWidget* parent, const QString& caption, int glyph);

// The toolbar or filter panel: raised (toolbar) or lowered, in the panels' green.
TSuperPanel* ReportPanel(QWidget* parent, const QRect& rect, bool raised);

// The lowered framed area at rect with a grey shadow panel 3 pixels right and down; returns the
// panel the grids go on.
QWidget* ReportGridArea(QWidget* parent, const QRect& rect);

// A result grid: the columns' headings and widths, 25 rows, one fixed row and column, row height
// 17, whole-row selection, resizable columns; headings centred, cells left-aligned.
TSupGrids* ReportGrid(QWidget* parent, const std::vector<ReportColumn>& columns);

// A date picker with a drop-down calendar showing yyyy-MM-dd whatever the system's locale (the long
// format is cut off in the filter panel and speaks the system's language).
QDateEdit* ReportDatePicker(QWidget* parent, const QRect& rect);

// Replaces the data rows with a result and sets the row count by the report rule.
void FillReportGrid(TSupGrids& grid, CellStore cells);

// The hourglass for the life of a scope (the grids being filled).
class BusyCursor {
public:
    explicit BusyCursor(Messages& messages) : m_messages(messages) { m_messages.busy(true); }
    ~BusyCursor() { m_messages.busy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Messages& m_messages;
};

// A filter's check box and edit at (x, y); the edit ticks the box whenever its text changes.
struct FilterRow {
    QCheckBox* box;
    QLineEdit* edit;
};
FilterRow MakeFilterRow(QWidget* parent, const QString& caption, int x, int y, int editWidth);

// The document-type filter: its check box and a combo of "销售" and "销售退货" with no choice
// made; choosing one ticks the box.
struct DocTypeRow {
    QCheckBox* box;
    QComboBox* combo;
};
DocTypeRow MakeDocTypeRow(QWidget* parent, const QRect& boxRect, const QRect& comboRect);

// What the report windows share: the toolbar panel with 导出, 打印 and 退出, the filter panel
// with the product-code, product-name, outlet-number and outlet-name rows and their two pickers,
// the framed grid area, and the handlers that do the same in each. A window adds its own
// buttons and controls, in the order it shows them, and says what it prints.
class TReportWindow : public TfmBlank {
    Q_OBJECT
public:
    ~TReportWindow() override;

    TSuperPanel* PanelTool;
    QToolButton* SpBPrint;
    QToolButton* SpBExport;  // "导出"
    QToolButton* TBEXit;
    TSuperPanel* Panel1;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QToolButton* sbClient = nullptr;
    TSupGrids* MainGrid = nullptr;  // the grid the query fills
    QLabel* TotalsLabel;  // row count and sums of the rows shown, under the grid

    int SortFlag = 0;

    // Test seams: the start of PRINT.EXE; the picker before it shows.
    PrintHandoff::Launcher printLauncher;
    std::function<void(TfrmInfo&)> onPickerOpen;

    void TBEXitClick();
    void SpBPrintClick();
    void SpBExportClick();
    void SpeedButton1Click();
    void sbClientClick();
    void MainGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void MainGridDblClick() {}

protected:
    // productPick: the picker mode of the product-name row ("P" sales, "SP" stock).
    TReportWindow(TDMData& dm, DATABASEFILE* tables, QWidget* parent, const QString& title, QSize size,
                  int filterHeight, const QString& productPick);

    // A toolbar button (not yet placed).
    QToolButton* toolButton(const QString& caption, int glyph);
    // Places the toolbar: these buttons on the left, 打印 and 退出 on the right.
    void placeToolbar(std::initializer_list<QToolButton*> left);
    // The four filter rows and the pickers, the first two rows at y1, the others at y2.
    void makeFilterRows(int y1, int y2);
    // The four filters' values.
    template <class Filters>
    void readFilters(Filters& f) const
    {
        f.code = filterOf(CheckBox1, Edit1);
        f.name = filterOf(CheckBox2, Edit2);
        f.outlet = filterOf(CheckBox3, Edit3);
        f.outletName = filterOf(CheckBox4, Edit4);
    }
    // Runs a query: a refused outlet number empties its edit; a result goes to showResult with
    // the hourglass on; a failure is reported. True when the result is shown.
    bool runReport(const std::function<ReportRun()>& query);
    virtual void showResult(CellStore cells) = 0;
    // The sums the totals line shows.
    virtual const std::vector<TotalsColumn>& totalsColumns() const = 0;
    // The framed grid area, placed between the filter panel and the totals line.
    QWidget* gridArea(const QRect& rect);
    // The grid the user sees, sorts, prints and exports.
    virtual TSupGrids& shownGrid() { return *MainGrid; }
    virtual TitleField printTitle() const = 0;
    virtual QString printTemplate() const = 0;
    // After a header click has sorted the grid.
    virtual void sorted() {}

    bool FormKeyPress(QKeyEvent* event) override;

    TDMData& m_dm;
    DATABASEFILE* m_tables;
    GuiMessages m_messages;

private:
    static QString filterOf(const QCheckBox* box, const QLineEdit* edit);

    QString m_productPick;
};

// A report window whose query fills a hidden source grid and shows a configured projection of
// it (显示设置); the column widths are kept when it closes.
class TReportPairWindow : public TReportWindow {
    Q_OBJECT
public:
    ~TReportPairWindow() override;

    QToolButton* SpeedButton2;  // "显示设置"
    TSupGrids* BackGrid = nullptr;  // display grid

    ColMap ColumnMap{};

    void SpeedButton2Click();

protected:
    TReportPairWindow(TDMData& dm, DATABASEFILE* tables, QWidget* parent, const QString& title, QSize size,
                      int filterHeight, const QString& productPick, const QString& gridId);
    // The framed area with the source grid (hidden) and the display grid on it.
    void makeGridPair(const QRect& area, const std::vector<ReportColumn>& columns);
    // The source grid emptied and the display grid focused before the first query.
    void prepareGrids();
    void showResult(CellStore cells) override;
    TSupGrids& shownGrid() override { return *BackGrid; }
    void done(int result) override;

private:
    QString m_gridId;
};

}  // namespace corvanta
