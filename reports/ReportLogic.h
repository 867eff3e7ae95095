#pragma once
// What the report windows (sales query, sales statistics, stock query) and their lookup picker
// do, without widgets. The windows and corvanta-cli both call these; a query's result is a
// CellStore holding exactly the grid's data rows (row numbers and document-type words included).
#include "logic/GridSource.h"
#include "dbf/PrintHandoff.h"
#include "logic/Messages.h"
#include "base/CellStore.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>
#include <vector>

namespace corvanta {

class DATABASEFILE;
class TDMData;

// ---- shared rules -----------------------------------------------------------------------------

// The value a check box + edit filter sends: the trimmed text when ticked and not empty, else "".
QString FilterValue(bool ticked, const QString& text);
// The document-type value: "" unless ticked with a non-empty choice; "11" for "销售", else "45".
QString DocTypeValue(bool ticked, const QString& comboText);
// A document-type code as the grids show it: 11 reads "销售", any other value "销售退货".
QString DocTypeWord(std::string_view code);
// Grid rows (heading included) for n result rows: at least 22, always one empty row after the data.
int ReportRowCount(int n);
// Dates as the procedures take them.
QString ProcDate(const QDate& date);
// A strict "yyyy-mm-dd" (a real calendar date); nullopt otherwise.
std::optional<QDate> ParseProcDate(const QString& text);

inline const QString kSystemCaption = QStringLiteral("系统提示");
inline const QString kDateOrderText = QStringLiteral("开始时间不能大于结束时间！");
inline const QString kOutletNumberText = QStringLiteral("网点编号应为数字，请重新输入！");

// How a run ended. DateOrder and BadOutlet have shown their message; the grid is to stay as it
// was, and after BadOutlet the outlet-number edit is emptied. Database errors are thrown.
enum class RunOutcome { Done, DateOrder, BadOutlet };

struct ReportRun {
    RunOutcome outcome = RunOutcome::Done;
    CellStore cells;  // the grid's data rows when Done
};

// One column of a report grid.
struct ReportColumn {
    QString heading;
    int width;
    QString field;  // result column ("" for the row number)
};

// ---- sales query ------------------------------------------------------------------------------

struct SalesFilters {
    QDate from, to;
    // Filter values as sent (FilterValue / DocTypeValue already applied).
    QString code, name, outlet, outletName, area, docType;
};

const std::vector<ReportColumn>& SalesColumns();  // 14: "序号" ... "单据类型"
QStringList SalesHeadings();
// hz_GetSales; the date check comes first.
ReportRun RunSalesQuery(TDMData& dm, Messages& messages, const SalesFilters& f);
// Title field "销售时间": "(商品销售时间 从yyyy-mm-dd到yyyy-mm-dd)", cut to 80 bytes.
TitleField SalesTitle(const QDate& from, const QDate& to);
inline const QString kSalesTemplate = QStringLiteral("销售情况查询表.rwx");
inline const QString kSalesGridId = QStringLiteral("sdc102");

// ---- sales statistics -------------------------------------------------------------------------

struct StatFilters {
    QDate from, to;
    int mode = 0;  // position in the mode list: 0 product, 1 outlet, 2 document type, 3 time
    QString code, name, outlet, outletName, docType;
};

constexpr int kStatModes = 4;
const QStringList& StatModeItems();          // "按产品统计" ...
QString StatModeCode(int mode);              // "P", "N", "V", "D"
int StatModeFromCode(const QString& code);   // -1 when unknown (letter case ignored)
QStringList StatHeadings(int mode);          // 7 headings; columns 1 and 2 by mode
QString StatTemplate(int mode);
const std::vector<ReportColumn>& StatColumns();  // the initial headings and widths
// hz_AllStat; the date check comes first.
ReportRun RunStatistics(TDMData& dm, Messages& messages, const StatFilters& f);

// ---- stock query ------------------------------------------------------------------------------

struct StockFilters {
    QString code, name, outlet, outletName, area;
};

const std::vector<ReportColumn>& StockColumns();  // 11
QStringList StockHeadings();
ReportRun RunStockQuery(TDMData& dm, Messages& messages, const StockFilters& f);
TitleField StockTitle();
inline const QString kStockTemplate = QStringLiteral("库存情况查询表.rwx");
inline const QString kStockGridId = QStringLiteral("sdc101");

// ---- lookup picker ----------------------------------------------------------------------------

struct PickerMode {
    QString procedure;
    QString heading1, heading2;
    QString field1, field2;
};
// "N", "P" or "SP"; nullopt for another mode.
std::optional<PickerMode> PickerModeFor(const QString& mode);
// The list of a mode: column 0 the row number, columns 1 and 2 the mode's two fields.
CellStore LoadPickerList(TDMData& dm, const QString& mode);

// ---- totals under a result grid -------------------------------------------------------------

// A sum shown under a grid: the label and the result column summed; minus, when not -1, a column
// taken off each row's value (the profit of a sales line is its amount less its cost).
struct TotalsColumn {
    QString label;
    int column;
    int minus = -1;
};
const std::vector<TotalsColumn>& SalesTotals();
const std::vector<TotalsColumn>& StatTotals();
const std::vector<TotalsColumn>& StockTotals();
// "共 n 行    数量 …    金额 …": the row count and the exact sums of the result, with digit
// grouping; a sum beyond the exact range reads "—". Cells that are no number count as 0.
QString ResultTotalsText(const CellStore& cells, const std::vector<TotalsColumn>& sums);

// ---- printing ---------------------------------------------------------------------------------

// A result grid without widgets: headings, the store's rows, empty rows up to ReportRowCount.
class ReportGridTable : public GridSource {
public:
    ReportGridTable(QStringList headings, std::vector<int> widths, const CellStore& cells);
    // Column c shows the store's column sources[c] (the row number column included).
    ReportGridTable(QStringList headings, std::vector<int> widths, const CellStore& cells, std::vector<int> sources);
    int rowCount() const override { return ReportRowCount(m_cells.rowCount()); }
    int columnCount() const override { return int(m_headings.size()); }
    QString cell(int row, int column) const override;
    int columnWidth(int column) const override;
    std::string_view cellUtf8(int row, int column, std::string& scratch) const override;

private:
    QStringList m_headings;
    std::vector<int> m_widths;
    const CellStore& m_cells;
    std::vector<int> m_sources;  // empty: the store's columns as they are
};

// The columns a configured grid shows, as the column configuration of gridId builds its display
// grid from a result of these columns: headings, widths and the result column of each.
struct ShownColumns {
    QStringList headings;
    std::vector<int> widths;
    std::vector<int> sources;
};
// The stored configuration when it belongs to these columns, else all of them as they are.
ShownColumns ConfiguredColumns(TDMData& dm, const QString& gridId, const std::vector<ReportColumn>& columns);

std::vector<int> ColumnWidths(const std::vector<ReportColumn>& columns);

// The three steps of "打印": title table from one field, body table from the grid, PRINT.EXE
// with the template. True when all succeeded.
bool PrintReportGrid(DATABASEFILE& tables, Messages& messages, const TitleField& title, const GridSource& grid,
                     const QString& templateName, const PrintHandoff::Launcher& launcher = {});

}  // namespace corvanta
