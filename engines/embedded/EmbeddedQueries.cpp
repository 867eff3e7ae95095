// The query procedures of the embedded engine (hz_GetSales, hz_GetStock, hz_AllStat, the name
// lists) and the column configuration of the report windows.
#include "engines/embedded/EmbeddedProcedureSupport.h"

#include "base/Values.h"
#include "engines/embedded/EmbeddedEngine.h"
#include "engines/RowsetForm.h"
#include "engines/embedded/PackedSums.h"
#include "engines/embedded/SalesSeq.h"
#include "engines/embedded/SalesSummary.h"

#include <QDate>
#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>

// Row orders of the queries (the PostgreSQL engine delivers the same):
//   hz_getzt         sysid
//   hz_GetNet        outlet number as an integer (numbers that are no plain integer last), then
//                    the number text
//   hz_GetSales      date, outlet (as above), then the order in which the lines were imported
//   hz_GetStock      outlet (as above), product code, then import order
//   hz_AllStat       P: product code, name; N: outlet (as above); V: document type; D: date
//   hz_GetSalesName, hz_GetSPName   product code, name
//   CW_r_GetColConfig "S"           OrderCode
// Text compares by its UTF-8 bytes. Filters: an empty value is no restriction; product and
// outlet names and the place of origin match when they contain the value; the product code must
// equal it (blanks around it ignored); @ID compares the outlet number as an integer.

namespace corvanta::embedded {

using sqlite::Query;

namespace {

// ---- queries ------------------------------------------------------------------------------

// WHERE clause from fixed pieces; the values travel as bound parameters.
struct Filter {
    QStringList clauses;
    QVariantList values;
    void add(const QString& clause, const QVariant& value)
    {
        values.append(value);
        clauses.append(QString(clause).replace(QStringLiteral("?"), QStringLiteral("?%1").arg(values.size())));
    }
    QString where() const { return clauses.isEmpty() ? QString() : QStringLiteral(" WHERE ") + clauses.join(QStringLiteral(" AND ")); }
    void bind(Query& q) const
    {
        for (int i = 0; i < values.size(); ++i)
            q.bind(i + 1, values[i]);
    }
};

void addProductFilters(Filter& f, const ProcArgs& a, const QString& t)
{
    if (const QString v = a.trimmed("@USERCODE"); !v.isEmpty())
        f.add(QStringLiteral("trim(%1.USERCODE) = ?").arg(t), v);
    if (const QString v = a.trimmed("@PTYPENAME"); !v.isEmpty())
        f.add(QStringLiteral("instr(%1.PTYPENAME, ?) > 0").arg(t), v);
}

void addOutletFilters(Filter& f, const ProcArgs& a, const QString& t)
{
    if (const std::optional<qint64> id = a.integer("@ID"))
        f.add(QStringLiteral("%1.ID IN (SELECT idkey FROM outlets WHERE idnum = ?)").arg(t), QVariant(qlonglong(*id)));
    if (const QString v = a.trimmed("@AGENTNAME"); !v.isEmpty())
        f.add(QStringLiteral("%1.ID IN (SELECT idkey FROM outlets WHERE instr(AGENTNAME, ?) > 0)").arg(t), v);
}

void addCommonFilters(Filter& f, const ProcArgs& a, const char* table)
{
    const QString t = QString::fromLatin1(table);
    addProductFilters(f, a, t);
    addOutletFilters(f, a, t);
}

// Dates also bound the seq (day << 40 | counter) of the lines or the day of the summary, so a
// date range reads only its part of the table.
void addDateFilters(Filter& f, const ProcArgs& a, bool summary)
{
    auto dayOf = [](const QString& c) { return QDate::fromString(c, Qt::ISODate).toJulianDay(); };
    if (const QString d = a.trimmed("@date1"); !d.isEmpty()) {
        const std::optional<QString> c = CanonicalDate(d);
        f.add(QStringLiteral("s.DATE >= ?"), c.value_or(d));
        if (c && summary)
            f.add(QStringLiteral("s.day >= ?"), QVariant(qlonglong(dayOf(*c))));
        else if (c)
            f.add(QStringLiteral("s.seq >= ?"), QVariant(qlonglong(embedded::firstSeqOfDay(dayOf(*c)))));
    }
    if (const QString d = a.trimmed("@date2"); !d.isEmpty()) {
        const std::optional<QString> c = CanonicalDate(d);
        f.add(QStringLiteral("s.DATE <= ?"), c.value_or(d));
        if (c && summary)
            f.add(QStringLiteral("s.day <= ?"), QVariant(qlonglong(dayOf(*c))));
        else if (c)
            f.add(QStringLiteral("s.seq <= ?"), QVariant(qlonglong(embedded::lastSeqOfDay(dayOf(*c)))));
    }
}

void addSalesFilters(Filter& f, const ProcArgs& a)
{
    addDateFilters(f, a, false);
    addCommonFilters(f, a, "s");
    if (const std::optional<qint64> v = a.integer("@VCHTYPE"))
        f.add(QStringLiteral("s.VCHTYPE = ?"), QVariant(qlonglong(*v)));
}

// How many lines a sales query of dates alone gives, from the outlet days of the summary; 0
// (not known) for another filter, a date that is no date, or an account set without the summary.
std::size_t salesLinesOfDays(sqlite::Db& db, const ProcArgs& a)
{
    for (const char* name : {"@USERCODE", "@PTYPENAME", "@AGENTNAME", "@AREA"})
        if (!a.trimmed(name).isEmpty())
            return 0;
    if (a.integer("@ID") || a.integer("@VCHTYPE"))
        return 0;
    const std::optional<QString> from = CanonicalDate(a.trimmed("@date1")), to = CanonicalDate(a.trimmed("@date2"));
    if (!from || !to)
        return 0;
    auto exists = db.prepare("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'sales_daysum'");
    if (!exists.step() || exists.integer(0) == 0)
        return 0;
    try {  // only a hint: a summary it cannot read leaves the query as it is
        auto q = db.prepare("SELECT coalesce(sum(lines), 0) FROM sales_daysum WHERE day BETWEEN ?1 AND ?2");
        q.bind(1, QVariant(qlonglong(QDate::fromString(*from, Qt::ISODate).toJulianDay())));
        q.bind(2, QVariant(qlonglong(QDate::fromString(*to, Qt::ISODate).toJulianDay())));
        return q.step() ? std::size_t(std::clamp<qint64>(q.integer(0), 0, qint64(1) << 26)) : 0;
    } catch (const DbError&) {
        return 0;
    }
}

}  // namespace

// Neither join nor sort in SQL: the lines come by seq (by day, then as imported) and are put in
// the order below here, which on a long result is several times cheaper than SQLite's sorter.
CallResult hz_GetSales(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const ScanCache scan(db);
    Filter f;
    addSalesFilters(f, a);
    if (const QString v = a.trimmed("@AREA"); !v.isEmpty())
        f.add(QStringLiteral("instr(s.AREA, ?) > 0"), v);
    auto q = db.prepare(QStringLiteral(
        "SELECT s.USERCODE, s.PTYPENAME, s.ID, s.STANDARD, s.TYPE, s.UNIT, s.AREA, s.DATE, s.QTY, s.TOTAL, "
        "s.COSTTOTAL, s.VCHTYPE FROM sales s%1 ORDER BY s.seq").arg(f.where()));
    f.bind(q);
    Rowset scanned = readText(q, QStringList(12, QString()),
                                    {Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text, Col::Text,
                                     Col::Text, Col::Dec, Col::Dec, Col::Dec, Col::Int},
                              salesLinesOfDays(db, a));
    const CellStore& in = *scanned.text;
    constexpr int kId = 2, kDate = 7;

    struct Outlet {
        std::optional<qint64> number;
        std::string name;
    };
    std::unordered_map<std::string, Outlet> outlets;
    auto o = db.prepare("SELECT idkey, idnum, AGENTNAME FROM outlets");
    while (o.step())
        outlets[std::string(o.bytes(0))] = {o.isNull(1) ? std::nullopt : std::optional<qint64>(o.integer(1)),
                                            std::string(o.bytes(2))};

    // Order: date, outlet number (lines of unlisted outlets or outlets without a number last),
    // outlet key text, seq. Each outlet key gets its rank once; a stable sort keeps seq order.
    const int n = in.rowCount();
    std::unordered_map<std::string_view, int> rankOf;
    std::vector<std::string_view> keys;
    for (int r = 0; r < n; ++r)
        if ((r == 0 || in.utf8(kId, r) != in.utf8(kId, r - 1)) && rankOf.emplace(in.utf8(kId, r), 0).second)
            keys.push_back(in.utf8(kId, r));
    auto numberOf = [&](std::string_view key) -> std::optional<qint64> {
        const auto it = outlets.find(std::string(key));
        return it == outlets.end() ? std::nullopt : it->second.number;
    };
    std::vector<std::pair<std::optional<qint64>, std::string_view>> ranked;
    for (std::string_view k : keys)
        ranked.emplace_back(numberOf(k), k);
    std::sort(ranked.begin(), ranked.end(), [](const auto& x, const auto& y) {
        if (x.first.has_value() != y.first.has_value())
            return x.first.has_value();
        if (x.first && *x.first != *y.first)
            return *x.first < *y.first;
        return x.second < y.second;
    });
    for (std::size_t k = 0; k < ranked.size(); ++k)
        rankOf[ranked[k].second] = int(k);
    std::vector<int> rank(std::size_t(n > 0 ? n : 0));
    std::vector<int> order(rank.size());
    // A file's lines come together: most lines have the outlet of the line before.
    std::string_view lastKey;
    int lastRank = -1;
    for (int r = 0; r < n; ++r) {
        const std::string_view key = in.utf8(kId, r);
        if (lastRank < 0 || key != lastKey) {
            lastKey = key;
            lastRank = rankOf[key];
        }
        rank[std::size_t(r)] = lastRank;
        order[std::size_t(r)] = r;
    }
    // The lines come by seq, which orders them by day already: then only each day's run needs
    // ordering by outlet. Dates out of order (not expected) get the full sort.
    auto byRank = [&](int x, int y) { return rank[std::size_t(x)] < rank[std::size_t(y)]; };
    bool datesInOrder = true;
    for (int r = 1; r < n && datesInOrder; ++r)
        datesInOrder = in.utf8(kDate, r - 1) <= in.utf8(kDate, r);
    if (datesInOrder) {
        for (int begin = 0, end = 0; begin < n; begin = end) {
            const std::string_view day = in.utf8(kDate, begin);
            for (end = begin + 1; end < n && in.utf8(kDate, end) == day;)
                ++end;
            std::stable_sort(order.begin() + begin, order.begin() + end, byRank);
        }
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
            const int c = in.utf8(kDate, x).compare(in.utf8(kDate, y));
            return c != 0 ? c < 0 : byRank(x, y);
        });
    }

    std::vector<const std::string*> names(ranked.size(), nullptr);
    for (std::size_t k = 0; k < ranked.size(); ++k)
        if (const auto it = outlets.find(std::string(ranked[k].second)); it != outlets.end())
            names[k] = &it->second.name;
    Rowset rs;
    if (TextRowsetsWanted()) {
        // Put in order column by column (lines already in order, as each day's files imported in
        // outlet order give them, are handed over as read), the outlets' names added.
        CellStore::Column nameCol;
        nameCol.ends.reserve(order.size());
        for (const int r : order) {
            if (const std::string* name = names[std::size_t(rank[std::size_t(r)])])
                nameCol.arena += *name;
            nameCol.ends.push_back(std::uint32_t(nameCol.arena.size()));
        }
        std::vector<CellStore::Column> cols = CellStore::reordered(std::move(*scanned.text), order).releaseColumns();
        cols.insert(cols.begin() + 3, std::move(nameCol));
        rs.text = CellStore::fromColumns(std::move(cols));
    } else {
        std::vector<QVariantList> values;
        values.reserve(std::size_t(n > 0 ? n : 0));
        auto qstr = [](std::string_view v) { return QString::fromUtf8(v.data(), qsizetype(v.size())); };
        for (const int r : order) {
            // Values, as a direct caller of the engine reads them.
            const std::string* name = names[std::size_t(rank[std::size_t(r)])];
            QVariantList row;
            row.reserve(13);
            for (int c = 0; c < 12; ++c) {
                if (c == 3)
                    row.append(name ? QVariant(qstr(*name)) : QVariant());
                else
                    row.append(QVariant(qstr(in.utf8(c < 3 ? c : c - 1, r))));
            }
            const std::string_view v = in.utf8(11, r);
            qlonglong vch = 0;
            std::from_chars(v.data(), v.data() + v.size(), vch);
            row.append(QVariant(vch));
            values.push_back(std::move(row));
        }
        rs.rows = std::move(values);
    }
    rs.fields = {QStringLiteral("USERCODE"), QStringLiteral("PTYPENAME"), QStringLiteral("ID"),
                 QStringLiteral("AGENTNAME"), QStringLiteral("STANDARD"), QStringLiteral("TYPE"),
                 QStringLiteral("UNIT"), QStringLiteral("AREA"), QStringLiteral("DATE"), QStringLiteral("QTY"),
                 QStringLiteral("TOTAL"), QStringLiteral("COSTTOTAL"), QStringLiteral("VCHTYPE")};
    return rows(std::move(rs));
}

CallResult hz_GetStock(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const ScanCache scan(db);
    Filter f;
    addCommonFilters(f, a, "s");
    if (const QString v = a.trimmed("@AREA"); !v.isEmpty())
        f.add(QStringLiteral("instr(s.AREA, ?) > 0"), v);
    auto q = db.prepare(QStringLiteral(
        "SELECT s.USERCODE, s.PTYPENAME, s.ID, o.AGENTNAME, s.STANDARD, s.TYPE, s.UNIT, s.AREA, s.KCQTY, s.KCTOTAL "
        "FROM stock s LEFT JOIN outlets o ON o.idkey = s.ID%1 "
        "ORDER BY o.idnum IS NULL, o.idnum, s.ID, s.USERCODE, s.seq").arg(f.where()));
    f.bind(q);
    const QStringList fields{QStringLiteral("USERCODE"), QStringLiteral("PTYPENAME"), QStringLiteral("ID"),
                             QStringLiteral("AGENTNAME"), QStringLiteral("STANDARD"), QStringLiteral("TYPE"),
                             QStringLiteral("UNIT"), QStringLiteral("AREA"), QStringLiteral("KCQTY"),
                             QStringLiteral("KCTOTAL")};
    const std::vector<Col> kinds{Col::Text, Col::Text, Col::Text, Col::Text, Col::Text,
                                 Col::Text, Col::Text, Col::Text, Col::Dec,  Col::Dec};
    return rows(TextRowsetsWanted() ? readText(q, fields, kinds) : readRows(q, fields, kinds));
}

ScanCache::ScanCache(sqlite::Db& db) : m_db(db), m_own(!db.inTransaction())
{
    if (m_own)
        m_db.exec(QStringLiteral("PRAGMA cache_size=-2048"));
}

ScanCache::~ScanCache()
{
    if (m_own) {
        try {
            m_db.exec(QStringLiteral("PRAGMA cache_size=-%1").arg(kAccountCacheKiB));
        } catch (const DbError&) {
        }
    }
}

ReadSnapshot::ReadSnapshot(sqlite::Db& db) : m_db(db), m_own(!db.inTransaction())
{
    if (m_own)
        m_db.exec(QStringLiteral("BEGIN"));
}

ReadSnapshot::~ReadSnapshot()
{
    if (m_own && m_db.inTransaction()) {
        try {
            m_db.exec(QStringLiteral("COMMIT"));
        } catch (const DbError&) {
        }
    }
}

// Sums per product (P), outlet (N), document type (V) or date (D); -1 and no rows for another mode.
// Read from the daily summary, which every filter of this procedure can be answered from: the
// date and outlet filters select its outlet-day rows, the product filters its products (in SQL,
// as on the lines), the document type is compared as the groups are unpacked. The sums are kept
// in 128 bits and refused only when a result leaves 64 bits.
CallResult hz_AllStat(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    embedded::buildSalesSummary(db);  // an account set made without it: built on first use
    const QStringList fields = {QStringLiteral("code"),   QStringLiteral("FullName"),     QStringLiteral("AllQTY"),
                                QStringLiteral("AllTOTAL"), QStringLiteral("ALLCOSTTOTAL"), QStringLiteral("PROFIT")};
    const QString mode = a.trimmed("@iType").toUpper();
    enum class By { Product, Outlet, Type, Date } by;
    if (mode == QLatin1String("P"))
        by = By::Product;
    else if (mode == QLatin1String("N"))
        by = By::Outlet;
    else if (mode == QLatin1String("V"))
        by = By::Type;
    else if (mode == QLatin1String("D"))
        by = By::Date;
    else
        return rows(Rowset{fields, {}, {}}, -1);

    // The products and the outlet days read in one snapshot: an import committed in between
    // could bring products that the list read before does not have.
    ReadSnapshot snapshot(db);

    // The products, each with whether the filters take it.
    struct Product {
        std::string code, name;
        bool taken = true;
    };
    std::unordered_map<qint64, Product> products;
    Filter pf;
    addProductFilters(pf, a, QStringLiteral("p"));
    const bool productFilter = !pf.clauses.isEmpty();
    if (productFilter || by == By::Product) {
        auto p = db.prepare(QStringLiteral("SELECT pid, USERCODE, PTYPENAME, %1 FROM sales_prod p")
                                .arg(productFilter ? pf.clauses.join(QStringLiteral(" AND ")) : QStringLiteral("1")));
        pf.bind(p);
        while (p.step())
            products.emplace(p.integer(0), Product{std::string(p.bytes(1)), std::string(p.bytes(2)), p.integer(3) != 0});
    }
    const std::optional<qint64> vch = a.integer("@VCHTYPE");

    Filter f;
    addDateFilters(f, a, true);
    addOutletFilters(f, a, QStringLiteral("s"));
    auto q = db.prepare(QStringLiteral("SELECT s.day, s.ID, s.DATE, s.sums FROM sales_daysum s%1").arg(f.where()));
    f.bind(q);

    struct Sums {
        Wide qty = 0, total = 0, cost = 0;
    };
    std::unordered_map<qint64, Sums> byNumber;  // product or document type
    std::unordered_map<std::string, Sums> byText;  // outlet or date
    while (q.step()) {
        const std::string_view blob = q.bytes(3);
        embedded::PackedReader r(blob);
        embedded::PackedSum ps;
        Sums row;
        Sums* into = &row;
        while (r.next(ps)) {
            if (vch && ps.vchType != *vch)
                continue;
            if (productFilter || by == By::Product) {
                const auto it = products.find(ps.product);
                if (it == products.end())
                    embedded::summaryDamaged(q.integer(0), q.bytes(1));
                if (!it->second.taken)
                    continue;
            }
            if (by == By::Product)
                into = &byNumber[ps.product];
            else if (by == By::Type)
                into = &byNumber[ps.vchType];
            else if (into == &row)  // the row's outlet or date: one key for all its groups
                into = &byText[std::string(by == By::Outlet ? q.bytes(1) : q.bytes(2))];
            into->qty += ps.qty;
            into->total += ps.total;
            into->cost += ps.cost;
        }
        if (r.damaged())
            embedded::summaryDamaged(q.integer(0), q.bytes(1));
    }

    struct Group {
        std::string code, name;
        qint64 qty = 0, total = 0, cost = 0;
    };
    std::vector<Group> groups;
    auto add = [&groups](std::string code, std::string name, const Sums& s) {
        auto narrow = [](Wide v) {
            if (v < std::numeric_limits<qint64>::min() || v > std::numeric_limits<qint64>::max())
                throw DbError(SumOutOfRangeText());
            return qint64(v);
        };
        groups.push_back({std::move(code), std::move(name), narrow(s.qty), narrow(s.total), narrow(s.cost)});
    };
    for (const auto& [key, sums] : byNumber) {
        if (by == By::Product) {
            const Product& p = products.at(key);
            add(p.code, p.name, sums);
        } else {
            add(std::to_string(key), std::string(), sums);
        }
    }
    for (const auto& [key, sums] : byText)
        add(key, std::string(), sums);

    // Outlet names and numbers for mode N.
    struct Outlet {
        QVariant number;
        QString name;
    };
    std::unordered_map<std::string, Outlet> outlets;
    if (mode == QLatin1String("N")) {
        auto o = db.prepare("SELECT idkey, idnum, AGENTNAME FROM outlets");
        while (o.step())
            outlets[std::string(o.bytes(0))] = {o.isNull(1) ? QVariant() : QVariant(qlonglong(o.integer(1))), o.text(2)};
    }
    auto number = [&](const Group& g) {
        const auto it = outlets.find(g.code);
        return it == outlets.end() ? QVariant() : it->second.number;
    };
    std::vector<const Group*> order;
    for (const Group& g : groups)
        order.push_back(&g);
    std::sort(order.begin(), order.end(), [&](const Group* x, const Group* y) {
        if (mode == QLatin1String("N")) {
            const QVariant nx = number(*x), ny = number(*y);
            if (nx.isNull() != ny.isNull())
                return ny.isNull();
            if (!nx.isNull() && nx.toLongLong() != ny.toLongLong())
                return nx.toLongLong() < ny.toLongLong();
        } else if (mode == QLatin1String("V")) {
            return std::stoll(x->code) < std::stoll(y->code);
        }
        return std::tie(x->code, x->name) < std::tie(y->code, y->name);
    });

    Rowset rs;
    rs.fields = fields;
    for (const Group* g : order) {
        const QString code = QString::fromUtf8(g->code.data(), qsizetype(g->code.size()));
        QString name = QString::fromUtf8(g->name.data(), qsizetype(g->name.size()));
        if (mode == QLatin1String("N")) {
            const auto it = outlets.find(g->code);
            name = it == outlets.end() ? QString() : it->second.name;
        } else if (mode != QLatin1String("P")) {
            name = code;
        }
        qint64 profit = 0;
        if (__builtin_sub_overflow(g->total, g->cost, &profit))
            throw DbError(SumOutOfRangeText());
        rs.rows.push_back({code, name, scaled::format(g->qty), scaled::format(g->total), scaled::format(g->cost),
                           scaled::format(profit)});
    }
    return rows(std::move(rs));
}

CallResult productNames(EmbeddedEngine& e, const char* sql)
{
    auto q = accountDb(e).prepare(sql);
    return rows(readRows(q, {QStringLiteral("USERCODE"), QStringLiteral("PTYPENAME")}, {Col::Text, Col::Text}));
}

CallResult hz_GetSalesName(EmbeddedEngine& e, const ProcArgs&)
{
    return productNames(e, "SELECT DISTINCT USERCODE, PTYPENAME FROM sales ORDER BY USERCODE, PTYPENAME");
}

CallResult hz_GetSPName(EmbeddedEngine& e, const ProcArgs&)
{
    return productNames(e, "SELECT DISTINCT USERCODE, PTYPENAME FROM stock ORDER BY USERCODE, PTYPENAME");
}

// ---- column configuration ---------------------------------------------------------------------

CallResult CW_r_GetColConfig(EmbeddedEngine& e, const ProcArgs& a)
{
    sqlite::Db& db = accountDb(e);
    const QString mode = a.trimmed("@sMode").toUpper();
    const QString grid = a.trimmed("@ID");
    const QString user = a.trimmed("@UserID");
    auto num = [&](const char* name) { return qlonglong(a.integer(name).value_or(0)); };
    if (mode == QLatin1String("S")) {
        auto q = db.prepare("SELECT ID, OrderCode, ColOrder, DefaultName, UserName, Visible, SysVisible, Width, UserID "
                            "FROM colconfig WHERE ID = ?1 AND UserID = ?2 ORDER BY OrderCode");
        q.bindText(1, grid).bindText(2, user);
        return rows(readRows(q,
                             {QStringLiteral("ID"), QStringLiteral("OrderCode"), QStringLiteral("ColOrder"),
                              QStringLiteral("DefaultName"), QStringLiteral("UserName"), QStringLiteral("Visible"),
                              QStringLiteral("SysVisible"), QStringLiteral("Width"), QStringLiteral("UserID")},
                             {Col::Text, Col::Int, Col::Int, Col::Text, Col::Text, Col::Int, Col::Int, Col::Int,
                              Col::Text}));
    }
    if (mode == QLatin1String("D")) {
        db.prepare("DELETE FROM colconfig WHERE ID = ?1 AND UserID = ?2").bindText(1, grid).bindText(2, user).run();
        return ret(1);
    }
    if (mode == QLatin1String("I")) {
        db.prepare("INSERT OR REPLACE INTO colconfig(ID, UserID, OrderCode, ColOrder, DefaultName, UserName, Visible, "
                   "SysVisible, Width) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
            .bindText(1, grid)
            .bindText(2, user)
            .bindInt(3, num("@OrderCode"))
            .bindInt(4, num("@ColOrder"))
            .bindText(5, a.text("@DefaultName"))
            .bindText(6, a.text("@UserName"))
            .bindInt(7, num("@Visible"))
            .bindInt(8, num("@SysVisible"))
            .bindInt(9, num("@Width"))
            .run();
        return ret(0);
    }
    if (mode == QLatin1String("U")) {
        db.prepare("UPDATE colconfig SET UserName = ?4, ColOrder = ?5, Visible = ?6 "
                   "WHERE ID = ?1 AND UserID = ?2 AND OrderCode = ?3")
            .bindText(1, grid)
            .bindText(2, user)
            .bindInt(3, num("@OrderCode"))
            .bindText(4, a.text("@UserName"))
            .bindInt(5, num("@ColOrder"))
            .bindInt(6, num("@Visible"))
            .run();
        return ret(0);
    }
    if (mode == QLatin1String("UW")) {
        db.prepare("UPDATE colconfig SET Width = ?4 WHERE ID = ?1 AND UserID = ?2 AND OrderCode = ?3")
            .bindText(1, grid)
            .bindText(2, user)
            .bindInt(3, num("@OrderCode"))
            .bindInt(4, num("@Width"))
            .run();
        return ret(0);
    }
    return ret(-1);
}

}  // namespace corvanta::embedded
