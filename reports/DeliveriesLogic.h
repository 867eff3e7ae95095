#pragma once
// "数据到达情况": which outlets delivered their sales for which days of a range, and when each
// outlet's stock last came in. Shared by the window and corvanta-cli deliveries.
//
// Grid: 序号, 网点编号, 网点名称, 到达天数, 缺少天数, 最后库存导入, then one column per day
// (yyyy-mm-dd) holding that day's line count, empty where nothing arrived.
#include "base/CellStore.h"
#include "logic/GridSource.h"
#include "logic/Messages.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

namespace corvanta {

class TDMData;

inline const QString kDeliveriesTitle = QStringLiteral("数据到达情况");
// The longest range, in days.
constexpr int kMaxDeliveryDays = 366;
// The first day column.
constexpr int kDeliveriesDayColumn = 6;
constexpr int kDeliveriesMissingColumn = 4;

QString DeliveriesRangeText();  // "查询的日期范围不能超过 366 天！"

struct DeliveriesFilters {
    QDate from, to;
    bool missingOnly = false;  // only outlets with at least one day missing
};

enum class DeliveriesOutcome { Done, DateOrder, RangeTooLong };

struct DeliveriesRun {
    DeliveriesOutcome outcome = DeliveriesOutcome::Done;
    QStringList headings;
    std::vector<int> widths;
    CellStore cells;
    int outletsMissing = 0;  // outlets with a day missing (all of them, also when missingOnly)
};

QStringList DeliveriesHeadings(const QDate& from, const QDate& to);
// The default range: the last 7 days up to today.
QDate DeliveriesDefaultFrom(const QDate& today);

// The grid for printing: the print tables keep 8 bytes of a heading, so a day prints as "mm-dd"
// and the stock column as "库存导入".
class DeliveriesPrintSource : public GridSource {
public:
    explicit DeliveriesPrintSource(const GridSource& grid) : m_grid(grid) {}
    int rowCount() const override { return m_grid.rowCount(); }
    int columnCount() const override { return m_grid.columnCount(); }
    QString cell(int row, int column) const override;
    int columnWidth(int column) const override { return m_grid.columnWidth(column); }
    std::string_view cellUtf8(int row, int column, std::string& scratch) const override;

private:
    const GridSource& m_grid;
};

// hz_GetDeliveries and hz_GetStockImports. The range checks come first and show their message
// ("系统提示"); database errors are thrown.
DeliveriesRun RunDeliveries(TDMData& dm, Messages& messages, const DeliveriesFilters& f);

}  // namespace corvanta
