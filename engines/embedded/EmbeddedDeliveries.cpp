// hz_GetDeliveries: what each outlet of the outlet list delivered on each day of a range, read
// from the daily summary's outlet-day rows (their line count and amount), never from the lines.
#include "base/CellStore.h"
#include "base/Values.h"
#include "engines/embedded/SalesSummary.h"
#include "engines/embedded/EmbeddedProcedureSupport.h"

#include <QDate>
#include <charconv>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvanta::embedded {

CallResult hz_GetDeliveries(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QStringList fields{QStringLiteral("ID"), QStringLiteral("AGENTNAME"), QStringLiteral("DATE"),
                             QStringLiteral("LINES"), QStringLiteral("TOTAL")};
    const std::optional<QString> from = CanonicalDate(a.trimmed("@date1"));
    const std::optional<QString> to = CanonicalDate(a.trimmed("@date2"));
    if (!from || !to)
        return rows(Rowset{fields, {}, {}}, -1);
    const qint64 first = QDate::fromString(*from, Qt::ISODate).toJulianDay();
    const qint64 last = QDate::fromString(*to, Qt::ISODate).toJulianDay();
    // A year at most: the result is outlets times days.
    if (last - first + 1 > kMaxDeliveryDays)
        return rows(Rowset{fields, {}, {}}, -1);
    buildSalesSummary(db);  // an account set made without it: built on first use
    ReadSnapshot snapshot(db);

    struct Outlet {
        std::string id, name;
    };
    std::vector<Outlet> outlets;
    std::unordered_map<std::string, std::size_t> byKey;
    {
        auto q = db.prepare("SELECT idkey, ID, AGENTNAME FROM outlets ORDER BY idnum IS NULL, idnum, idkey");
        while (q.step()) {
            byKey.emplace(std::string(q.bytes(0)), outlets.size());
            outlets.push_back({std::string(q.bytes(1)), std::string(q.bytes(2))});
        }
    }
    const std::size_t days = last >= first ? std::size_t(last - first + 1) : 0;
    struct Cell {
        qint64 lines = 0, total = 0;
    };
    std::vector<Cell> cells(outlets.size() * days);
    if (days > 0) {
        auto q = db.prepare("SELECT day, ID, lines, total FROM sales_daysum WHERE day BETWEEN ?1 AND ?2");
        q.bindInt(1, first).bindInt(2, last);
        while (q.step()) {
            const auto it = byKey.find(std::string(q.bytes(1)));
            if (it == byKey.end())
                continue;  // not in the outlet list
            Cell& c = cells[it->second * days + std::size_t(q.integer(0) - first)];
            c.lines = q.integer(2);
            c.total = q.integer(3);
        }
    }

    std::vector<std::string> dates(days);
    for (std::size_t d = 0; d < days; ++d)
        dates[d] = QDate::fromJulianDay(first + qint64(d)).toString(Qt::ISODate).toStdString();
    CellStore store(int(fields.size()));
    std::vector<std::string_view> row(fields.size());
    std::array<char, 32> linesText{}, totalText{};
    for (std::size_t o = 0; o < outlets.size(); ++o) {
        row[0] = outlets[o].id;
        row[1] = outlets[o].name;
        for (std::size_t d = 0; d < days; ++d) {
            const Cell& c = cells[o * days + d];
            row[2] = dates[d];
            char* end = std::to_chars(linesText.data(), linesText.data() + linesText.size(), c.lines).ptr;
            row[3] = std::string_view(linesText.data(), std::size_t(end - linesText.data()));
            row[4] = scaledText(c.total, totalText);
            store.appendRow(row);
        }
    }
    Rowset rs;
    rs.fields = fields;
    rs.text = std::move(store);
    return rows(std::move(rs));
}

}  // namespace corvanta::embedded
