#include "reports/DeliveriesLogic.h"

#include "connection/UDMData.h"
#include "reports/ReportLogic.h"

#include <QHash>

namespace corvanta {

QString DeliveriesRangeText()
{
    return QStringLiteral("查询的日期范围不能超过 %1 天！").arg(kMaxDeliveryDays);
}

QStringList DeliveriesHeadings(const QDate& from, const QDate& to)
{
    QStringList h{QStringLiteral("序号"),     QStringLiteral("网点编号"), QStringLiteral("网点名称"),
                  QStringLiteral("到达天数"), QStringLiteral("缺少天数"), QStringLiteral("最后库存导入")};
    for (QDate d = from; d.isValid() && d <= to && h.size() < kDeliveriesDayColumn + kMaxDeliveryDays; d = d.addDays(1))
        h << d.toString(Qt::ISODate);
    return h;
}

QDate DeliveriesDefaultFrom(const QDate& today)
{
    return today.addDays(-6);
}

QString DeliveriesPrintSource::cell(int row, int column) const
{
    if (row != 0)
        return m_grid.cell(row, column);
    if (column == kDeliveriesDayColumn - 1)
        return QStringLiteral("库存导入");
    const QString heading = m_grid.cell(row, column);
    return column >= kDeliveriesDayColumn ? heading.mid(5) : heading;
}

std::string_view DeliveriesPrintSource::cellUtf8(int row, int column, std::string& scratch) const
{
    if (row != 0)
        return m_grid.cellUtf8(row, column, scratch);
    scratch = cell(row, column).toStdString();
    return scratch;
}

namespace {

// Outlet ID -> time of its last stock import.
QHash<QString, QString> stockImports(TDMData& dm)
{
    QHash<QString, QString> times;
    dm.CallProc(dm.ADOSProc, QStringLiteral("hz_GetStockImports"), {}, true);
    TADOCommand& q = dm.ADOSProc;
    const int id = q.FieldIndex(QStringLiteral("ID")), time = q.FieldIndex(QStringLiteral("RUNTIME"));
    for (; !q.Eof(); q.Next())
        times.insert(q.FieldValueAt(id).toString(), q.FieldValueAt(time).toString());
    return times;
}

}  // namespace

DeliveriesRun RunDeliveries(TDMData& dm, Messages& messages, const DeliveriesFilters& f)
{
    DeliveriesRun run;
    if (f.from > f.to) {
        messages.systemBox(kSystemCaption, kDateOrderText);
        run.outcome = DeliveriesOutcome::DateOrder;
        return run;
    }
    const qint64 days = f.from.daysTo(f.to) + 1;
    if (days > kMaxDeliveryDays) {
        messages.systemBox(kSystemCaption, DeliveriesRangeText());
        run.outcome = DeliveriesOutcome::RangeTooLong;
        return run;
    }
    messages.busy(true);
    struct BusyOff {
        Messages& m;
        ~BusyOff() { m.busy(false); }
    } busyOff{messages};

    const QHash<QString, QString> stock = stockImports(dm);
    const int rc = dm.CallProc(dm.ADOSProc, QStringLiteral("hz_GetDeliveries"),
                               {{QStringLiteral("@date1"), ProcDate(f.from)}, {QStringLiteral("@date2"), ProcDate(f.to)}},
                               true);
    if (rc != 0)
        throw DbError(QStringLiteral("hz_GetDeliveries returned %1").arg(rc));
    run.headings = DeliveriesHeadings(f.from, f.to);
    run.widths = std::vector<int>(std::size_t(run.headings.size()), 76);
    run.widths[0] = 36, run.widths[1] = 64, run.widths[2] = 120, run.widths[3] = 60, run.widths[4] = 60,
    run.widths[5] = 130;
    run.cells = CellStore(int(run.headings.size()));

    TADOCommand& q = dm.ADOSProc;
    const int fId = q.FieldIndex(QStringLiteral("ID")), fName = q.FieldIndex(QStringLiteral("AGENTNAME")),
              fLines = q.FieldIndex(QStringLiteral("LINES"));
    // The rows come outlet by outlet, each with every day of the range in order.
    QStringList row;
    int delivered = 0;
    int number = 0;
    auto finish = [&] {
        if (row.isEmpty())
            return;
        const int missing = int(days) - delivered;
        row[3] = QString::number(delivered);
        row[4] = QString::number(missing);
        if (missing > 0)
            ++run.outletsMissing;
        if (!f.missingOnly || missing > 0) {
            row[0] = QString::number(++number);
            run.cells.appendRow(row);
        }
        row.clear();
    };
    for (; !q.Eof(); q.Next()) {
        if (row.size() == kDeliveriesDayColumn + days || row.isEmpty()) {
            finish();
            const QString id = q.FieldValueAt(fId).toString();
            row << QString() << id << q.FieldValueAt(fName).toString() << QString() << QString() << stock.value(id);
            delivered = 0;
        }
        const qlonglong lines = q.FieldValueAt(fLines).toLongLong();
        row << (lines > 0 ? QString::number(lines) : QString());
        delivered += lines > 0 ? 1 : 0;
    }
    finish();
    return run;
}

}  // namespace corvanta
