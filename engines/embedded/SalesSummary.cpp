#include "engines/embedded/SalesSummary.h"

#include "engines/embedded/PackedSums.h"
#include "engines/embedded/SalesSeq.h"

#include <QDate>
#include <functional>
#include <limits>
#include <map>

namespace corvanta::embedded {

namespace {

bool hasTable(sqlite::Db& db, const char* name)
{
    sqlite::Query q = db.compile("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = ?1");
    q.bindUtf8(1, name);
    const bool found = q.step();
    q.reset();
    return found;
}

bool fits(Wide v) { return v >= std::numeric_limits<qint64>::min() && v <= std::numeric_limits<qint64>::max(); }

}  // namespace

[[noreturn]] void summaryDamaged(qint64 day, std::string_view id)
{
    throw DbError(QStringLiteral("The daily sales summary of outlet %1 on %2 is damaged")
                      .arg(QString::fromUtf8(id.data(), qsizetype(id.size())), QDate::fromJulianDay(day).toString(Qt::ISODate)));
}

SummaryWriter::SummaryWriter(sqlite::Db& db)
    : m_db(db),
      m_put(db.compile("INSERT OR REPLACE INTO main.sales_daysum(day, ID, DATE, sums, lines, total) "
                       "VALUES(?1, ?2, ?3, ?4, ?5, ?6)")),
      m_get(db.compile("SELECT DATE, sums, lines FROM main.sales_daysum WHERE day = ?1 AND ID = ?2")),
      m_drop(db.compile("DELETE FROM main.sales_daysum WHERE day = ?1 AND ID = ?2")),
      m_addProduct(db.compile("INSERT INTO main.sales_prod(USERCODE, PTYPENAME) VALUES(?1, ?2)"))
{
}

void SummaryWriter::loadProducts()
{
    m_loaded = true;
    sqlite::Query q = m_db.compile("SELECT pid, USERCODE, PTYPENAME FROM main.sales_prod");
    while (q.step()) {
        const std::string_view code = q.blob(1), name = q.blob(2);
        const quint32 len = quint32(code.size());
        std::string key(reinterpret_cast<const char*>(&len), sizeof len);
        key.append(code).append(name);
        m_products.emplace(std::move(key), q.integer(0));
    }
}

qint64 SummaryWriter::product(std::string_view usercode, std::string_view ptypename)
{
    if (!m_loaded)
        loadProducts();
    const quint32 len = quint32(usercode.size());
    m_key.assign(reinterpret_cast<const char*>(&len), sizeof len);
    m_key.append(usercode).append(ptypename);
    if (const auto it = m_products.find(m_key); it != m_products.end())
        return it->second;
    m_addProduct.bindUtf8(1, usercode).bindUtf8(2, ptypename).run();
    const qint64 id = m_db.lastInsertId();
    m_products.emplace(m_key, id);
    return id;
}

void SummaryWriter::put(qint64 day, std::string_view id, std::string_view date, std::vector<Entry>& entries, bool merge)
{
    std::string storedDate;
    qint64 lines = 0;
    if (merge) {
        m_get.bindInt(1, day).bindUtf8(2, id);
        if (m_get.step()) {
            storedDate.assign(m_get.bytes(0));
            PackedReader r(m_get.blob(1));
            std::unordered_map<EntryKey, std::size_t, EntryKeyHash> at;
            for (std::size_t i = 0; i < entries.size(); ++i)
                at.emplace(EntryKey{entries[i].product, entries[i].vchType}, i);
            PackedSum ps;
            while (r.next(ps)) {
                const auto [it, fresh] = at.try_emplace(EntryKey{ps.product, int(ps.vchType)}, entries.size());
                if (fresh)
                    entries.push_back({ps.product, int(ps.vchType), 0, 0, 0});
                Entry& e = entries[it->second];
                e.qty += ps.qty;
                e.total += ps.total;
                e.cost += ps.cost;
            }
            const bool damaged = r.damaged();
            lines = m_get.integer(2);
            m_get.reset();
            if (damaged)
                summaryDamaged(day, id);
            if (date < storedDate)
                date = storedDate;
        }
    }
    packBegin(m_blob);
    Wide total = 0;
    for (const Entry& e : entries) {
        if (!fits(e.qty) || !fits(e.total) || !fits(e.cost))
            throw DbError(SumOutOfRangeText());
        packSum(m_blob, PackedSum{e.product, e.vchType, qint64(e.qty), qint64(e.total), qint64(e.cost)});
        total += e.total;
        lines += e.lines;
    }
    if (!fits(total))
        throw DbError(SumOutOfRangeText());
    m_put.bindInt(1, day).bindUtf8(2, id).bindUtf8(3, date).bindBlob(4, m_blob).bindInt(5, lines).bindInt(6, qint64(total)).run();
}

void SummaryWriter::drop(qint64 day, std::string_view id)
{
    m_drop.bindInt(1, day).bindUtf8(2, id).run();
}

void SummaryWriter::fromLines(qint64 fromSeq, qint64 toSeq, const std::string* id)
{
    // By seq, so by day: one day's groups are held at a time.
    sqlite::Query q = m_db.compile(id ? "SELECT seq >> 40, ID, coalesce(USERCODE, ''), coalesce(PTYPENAME, ''), VCHTYPE, DATE, QTY, "
                           "TOTAL, COSTTOTAL FROM main.sales WHERE seq BETWEEN ?1 AND ?2 AND ID = ?3 ORDER BY seq"
                         : "SELECT seq >> 40, ID, coalesce(USERCODE, ''), coalesce(PTYPENAME, ''), VCHTYPE, DATE, QTY, "
                           "TOTAL, COSTTOTAL FROM main.sales WHERE seq BETWEEN ?1 AND ?2 ORDER BY seq");
    static_assert(kDayShift == 40);
    q.bindInt(1, fromSeq).bindInt(2, toSeq);
    if (id)
        q.bindUtf8(3, *id);
    std::map<std::string, OutletDaySums, std::less<>> outlets;
    qint64 day = 0;
    auto flush = [&] {
        for (auto& [outlet, sums] : outlets)
            put(day, outlet, sums.date, sums.entries, false);
        outlets.clear();
    };
    while (q.step()) {
        const qint64 d = q.integer(0);
        if (d != day) {
            flush();
            day = d;
        }
        const std::string_view outlet = q.bytes(1);
        auto it = outlets.find(outlet);
        if (it == outlets.end())
            it = outlets.emplace(std::string(outlet), OutletDaySums()).first;
        OutletDaySums& sums = it->second;
        const std::string_view date = q.bytes(5);
        if (sums.date < date)
            sums.date.assign(date);
        sums.add(product(q.bytes(2), q.bytes(3)), int(q.integer(4)), q.integer(6), q.integer(7), q.integer(8));
    }
    flush();
}

bool hasSalesSummary(sqlite::Db& db)
{
    // The row-per-group table of earlier versions means the summary is to be built afresh.
    return hasTable(db, "sales_daysum") && !hasTable(db, "sales_sum");
}

void buildSalesSummary(sqlite::Db& db)
{
    if (hasSalesSummary(db))
        return;
    // A savepoint works inside and outside a caller's transaction: the old table goes, the new
    // ones come with their rows, or nothing changes.
    db.exec(QStringLiteral("SAVEPOINT build_sales_sum"));
    try {
        db.exec(QStringLiteral("DROP TABLE IF EXISTS main.sales_sum; DROP TABLE IF EXISTS main.sales_daysum; "
                               "DROP TABLE IF EXISTS main.sales_prod;"));
        db.exec(QString::fromLatin1(kSalesSummarySql));
        SummaryWriter(db).fromLines(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
        db.exec(QStringLiteral("RELEASE build_sales_sum"));
    } catch (...) {
        try {
            db.exec(QStringLiteral("ROLLBACK TO build_sales_sum; RELEASE build_sales_sum"));
        } catch (const DbError&) {
        }
        throw;
    }
}

std::vector<SummaryRow> readSalesSummary(sqlite::Db& db)
{
    std::vector<SummaryRow> out;
    sqlite::Query q = db.compile("SELECT d.day, d.ID, d.DATE, d.sums FROM main.sales_daysum d ORDER BY d.day, d.ID");
    sqlite::Query p = db.compile("SELECT USERCODE, PTYPENAME FROM main.sales_prod WHERE pid = ?1");
    while (q.step()) {
        const std::string blobCopy(q.blob(3));
        SummaryRow base;
        base.day = q.integer(0);
        base.id = q.bytes(1);
        base.date = q.bytes(2);
        PackedReader r(blobCopy);
        PackedSum ps;
        while (r.next(ps)) {
            SummaryRow row = base;
            p.bindInt(1, ps.product);
            if (!p.step())
                summaryDamaged(base.day, base.id);
            row.usercode = p.bytes(0);
            row.ptypename = p.bytes(1);
            p.reset();
            row.vchType = ps.vchType;
            row.qty = ps.qty;
            row.total = ps.total;
            row.cost = ps.cost;
            out.push_back(std::move(row));
        }
        if (r.damaged())
            summaryDamaged(base.day, base.id);
    }
    return out;
}

}  // namespace corvanta::embedded
