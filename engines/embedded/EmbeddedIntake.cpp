#include "engines/embedded/EmbeddedIntake.h"

#include "base/Values.h"
#include "engines/embedded/SalesSummary.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <sqlite3.h>

namespace corvanta::embedded {

// ---- batch source ------------------------------------------------------------------------------

// intake_sales / intake_stock: eponymous virtual tables that read the writer's current batch.
namespace {

struct BatchVtab {
    sqlite3_vtab base{};
    Batch** batch = nullptr;
};
struct BatchCursor {
    sqlite3_vtab_cursor base{};
    const Batch* batch = nullptr;
    const Batch::Row* row = nullptr;  // the current row, null at the end
    size_t pos = 0;
    void seek(size_t p)
    {
        pos = p;
        row = batch && pos < batch->order.size() ? &batch->rows[batch->order[pos]] : nullptr;
    }
};

constexpr int kColSeq = 0;
constexpr int kColDate = 8, kColQty = 9, kColTotal = 10, kColCost = 11, kColVch = 12;

int batchConnect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**)
{
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, "
                                            "DATE, QTY, TOTAL, COSTTOTAL, VCHTYPE)");
    if (rc != SQLITE_OK)
        return rc;
    auto* v = new BatchVtab;
    v->batch = static_cast<Batch**>(aux);
    *out = &v->base;
    return SQLITE_OK;
}
int batchDisconnect(sqlite3_vtab* v)
{
    delete reinterpret_cast<BatchVtab*>(v);
    return SQLITE_OK;
}
int batchBestIndex(sqlite3_vtab*, sqlite3_index_info* info)
{
    info->estimatedCost = 1000;
    return SQLITE_OK;
}
int batchOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    *out = &(new BatchCursor)->base;
    return SQLITE_OK;
}
int batchClose(sqlite3_vtab_cursor* c)
{
    delete reinterpret_cast<BatchCursor*>(c);
    return SQLITE_OK;
}
int batchFilter(sqlite3_vtab_cursor* c, int, const char*, int, sqlite3_value**)
{
    auto* cur = reinterpret_cast<BatchCursor*>(c);
    Batch** slot = reinterpret_cast<BatchVtab*>(c->pVtab)->batch;
    cur->batch = slot ? *slot : nullptr;
    cur->seek(0);
    return SQLITE_OK;
}
int batchNext(sqlite3_vtab_cursor* c)
{
    auto* cur = reinterpret_cast<BatchCursor*>(c);
    cur->seek(cur->pos + 1);
    return SQLITE_OK;
}
int batchEof(sqlite3_vtab_cursor* c)
{
    return reinterpret_cast<BatchCursor*>(c)->row == nullptr;
}
int batchColumn(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int col)
{
    const auto* cur = reinterpret_cast<BatchCursor*>(c);
    const Batch::Row& r = *cur->row;
    switch (col) {
    case kColSeq: sqlite3_result_int64(ctx, r.seq); break;
    case kColDate: sqlite3_result_text(ctx, r.date.data(), int(r.date.size()), SQLITE_STATIC); break;
    case kColQty: sqlite3_result_int64(ctx, r.qty); break;
    case kColTotal: sqlite3_result_int64(ctx, r.total); break;
    case kColCost: sqlite3_result_int64(ctx, r.cost); break;
    case kColVch: sqlite3_result_int(ctx, r.vchType); break;
    default: {
        const size_t i = size_t(col - 1);
        sqlite3_result_text(ctx, cur->batch->texts.data() + r.at[i], int(r.len[i]), SQLITE_STATIC);
    }
    }
    return SQLITE_OK;
}
int batchRowid(sqlite3_vtab_cursor* c, sqlite3_int64* out)
{
    *out = sqlite3_int64(reinterpret_cast<BatchCursor*>(c)->pos);
    return SQLITE_OK;
}

sqlite3_module batchModule()
{
    sqlite3_module m{};
    m.xConnect = batchConnect;  // no xCreate: eponymous only
    m.xBestIndex = batchBestIndex;
    m.xDisconnect = batchDisconnect;
    m.xOpen = batchOpen;
    m.xClose = batchClose;
    m.xFilter = batchFilter;
    m.xNext = batchNext;
    m.xEof = batchEof;
    m.xColumn = batchColumn;
    m.xRowid = batchRowid;
    return m;
}
const sqlite3_module kBatchModule = batchModule();

// The batch a module reads, per connection and table; freed with the connection.
Batch** registerBatchSource(sqlite::Db& db, const char* name)
{
    auto* slot = new Batch*(nullptr);
    const int rc = sqlite3_create_module_v2(db.handle(), name, &kBatchModule, slot,
                                            [](void* p) { delete static_cast<Batch**>(p); });
    if (rc != SQLITE_OK)
        db.fail(QStringLiteral("intake batch table"));
    return slot;
}

constexpr size_t kBatchRows = 8192;
constexpr size_t kQueuedBatches = 4;

void putTexts(Batch& b, Batch::Row& r, std::initializer_list<std::string_view> texts)
{
    int i = 0;
    for (std::string_view t : texts) {
        r.at[size_t(i)] = quint32(b.texts.size());
        r.len[size_t(i)] = quint32(t.size());
        b.texts.append(t);
        ++i;
    }
}

}  // namespace

// ---- writer ----------------------------------------------------------------------------------

IntakeWriter::IntakeWriter(sqlite::Db& db, bool background)
    : m_db(db),
      m_salesSlot(registerBatchSource(db, "intake_sales_batch")),
      m_stockSlot(registerBatchSource(db, "intake_stock_batch")),
      m_insertSales(db.compile("INSERT INTO main.sales(seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, "
                        "TOTAL, COSTTOTAL, VCHTYPE) SELECT seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, "
                             "DATE, QTY, TOTAL, COSTTOTAL, VCHTYPE FROM intake_sales_batch")),
      m_insertStock(db.compile("INSERT INTO main.stock(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL) "
                             "SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, QTY, TOTAL FROM intake_stock_batch")),
      m_lastOfDay(db.compile("SELECT max(seq) FROM main.sales WHERE seq BETWEEN ?1 AND ?2")),
      m_summary(hasSalesSummary(db))
{
    sqlite::Query last = db.compile("SELECT coalesce(max(seq), 0) FROM main.stock");
    if (last.step())
        m_stockStart = last.integer(0);
    last.reset();
    if (background)
        m_thread = std::thread([this] { work(); });
}

IntakeWriter::~IntakeWriter()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
            m_queue.clear();  // not wanted any more: the intake is being dropped
        }
        m_changed.notify_all();
        m_thread.join();
    }
    *m_salesSlot = nullptr;
    *m_stockSlot = nullptr;
}

void IntakeWriter::addSales(const SalesRow& row)
{
    Batch::Row r;
    putTexts(m_sales, r, {row.id, row.usercode, row.ptypename, row.standard, row.type, row.unit, row.area});
    r.day = row.day.julian;
    r.date = row.day.text;
    r.qty = row.qty;
    r.total = row.total;
    r.cost = row.cost;
    r.vchType = row.vchType;
    m_sales.rows.push_back(r);
    if (r.day != m_lastDay || row.id != m_lastDayId) {
        m_lastDay = r.day;
        m_lastDayId.assign(row.id);
        auto& ids = m_dayIds[r.day];
        if (ids.find(row.id) == ids.end())
            ids.emplace(row.id);
    }
    if (m_summary) {
        // Summed here: this thread waits for the writer most of the time. Written in part when
        // full, after the line's outlet day is noted (writeSums clears the days noted).
        m_sums.add(row, false);
        if (m_sums.full()) {
            flushSales();
            writeSums();
        }
    }
    if (m_sales.rows.size() >= kBatchRows)
        handOver(true);
}

void IntakeWriter::addStock(const StockRow& row)
{
    Batch::Row r;
    putTexts(m_stock, r, {row.id, row.usercode, row.ptypename, row.standard, row.type, row.unit, row.area});
    r.qty = row.qty;
    r.total = row.total;
    m_stock.rows.push_back(r);
    if (m_stock.rows.size() >= kBatchRows)
        handOver(false);
}

void IntakeWriter::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_stop; });
        if (m_queue.empty())
            return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        std::exception_ptr error;
        try {
            job.sales ? writeSales(job.batch) : writeStock(job.batch);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        m_busy = false;
        job.batch.clear();
        m_free.push_back(std::move(job.batch));
        if (error) {
            // Nothing after a failure: the transaction may be gone.
            if (!m_error)
                m_error = error;
            m_queue.clear();
        }
        m_changed.notify_all();
    }
}

void IntakeWriter::sync()
{
    if (!m_thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    if (m_error) {
        std::exception_ptr error = m_error;
        m_error = nullptr;
        std::rethrow_exception(error);
    }
}

void IntakeWriter::handOver(bool sales)
{
    if (!m_thread.joinable()) {
        sales ? flushSales() : flushStock();
        return;
    }
    Batch& full = sales ? m_sales : m_stock;
    if (sales)
        sortByDay(full);
    {
        // A few batches may wait: the two threads need not meet at every batch.
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < kQueuedBatches || m_error; });
        if (m_error) {
            std::exception_ptr error = m_error;
            m_error = nullptr;
            std::rethrow_exception(error);
        }
        m_queue.push_back(Job{sales, std::move(full)});
        full = Batch();
        if (!m_free.empty()) {
            full = std::move(m_free.back());
            m_free.pop_back();
        }
    }
    m_changed.notify_all();
}

void IntakeWriter::flush()
{
    flushSales();
    flushStock();
}

void IntakeWriter::flushSales()
{
    sync();
    writeSales(m_sales);
}

void IntakeWriter::flushStock()
{
    sync();
    writeStock(m_stock);
}

void IntakeWriter::writeSales(Batch& batch)
{
    if (batch.rows.empty())
        return;
    // Each line's seq: the next of its day, in the order of the file.
    DayState* current = nullptr;
    qint64 currentDay = -1;
    for (Batch::Row& r : batch.rows) {
        const qint64 day = r.day;
        if (day == currentDay) {
            r.seq = current->next++;
            continue;
        }
        auto it = m_days.find(day);
        if (it == m_days.end()) {
            // 0001-01-01 ... 9999-12-31, as on the server; any such day fits a seq.
            static const qint64 lastDay = QDate(9999, 12, 31).toJulianDay();
            if (day < QDate(1, 1, 1).toJulianDay() || day > lastDay)
                throw DbError(QStringLiteral("Sales date %1 is out of range")
                                  .arg(QString::fromLatin1(r.date.data(), qsizetype(r.date.size()))));
            m_lastOfDay.bindInt(1, firstSeqOfDay(day)).bindInt(2, lastSeqOfDay(day));
            qint64 start = firstSeqOfDay(day) - 1;
            if (m_lastOfDay.step() && !m_lastOfDay.isNull(0))
                start = m_lastOfDay.integer(0);
            m_lastOfDay.reset();
            DayState state;
            state.start = start;
            state.next = start + 1;
            it = m_days.emplace(day, std::move(state)).first;
        }
        current = &it->second;
        currentDay = day;
        // 2^40 lines a day: far beyond any file.
        r.seq = current->next++;
    }
    if (batch.order.size() != batch.rows.size())
        sortByDay(batch);
    runBatch(m_insertSales, m_salesSlot, batch);
    batch.clear();
}

// The order in which a batch's lines are inserted: by day, in file order within a day, which is
// the order of their seq (done by the caller's thread while the writer is busy).
void IntakeWriter::sortByDay(Batch& batch)
{
    batch.order.resize(batch.rows.size());
    for (quint32 i = 0; i < batch.order.size(); ++i)
        batch.order[i] = i;
    std::sort(batch.order.begin(), batch.order.end(), [&batch](quint32 a, quint32 b) {
        const qint64 da = batch.rows[a].day, db = batch.rows[b].day;
        return da < db || (da == db && a < b);
    });
}

void IntakeWriter::writeStock(Batch& batch)
{
    if (batch.rows.empty())
        return;
    batch.order.resize(batch.rows.size());
    for (quint32 i = 0; i < batch.order.size(); ++i)
        batch.order[i] = i;
    runBatch(m_insertStock, m_stockSlot, batch);
    std::string_view lastId;
    bool first = true;
    for (const Batch::Row& r : batch.rows) {
        const std::string_view id = batch.text(r, 0);
        if (!first && id == lastId)
            continue;
        first = false;
        lastId = id;
        if (m_stockIds.find(id) == m_stockIds.end())
            m_stockIds.emplace(id);
    }
    batch.clear();
}

void IntakeWriter::runBatch(sqlite::Query& insert, Batch** slot, Batch& batch)
{
    *slot = &batch;
    try {
        insert.run();
    } catch (...) {
        *slot = nullptr;
        throw;
    }
    *slot = nullptr;
}


SummaryWriter& IntakeWriter::summaryWriter()
{
    if (!m_summaryWriter)
        m_summaryWriter = std::make_unique<SummaryWriter>(m_db);
    return *m_summaryWriter;
}

void IntakeWriter::replaceSales()
{
    flushSales();
    // One pass over a day's earlier lines, however many outlets the intake wrote for that day.
    sqlite::Query del = m_db.compile("DELETE FROM main.sales WHERE seq BETWEEN ?1 AND ?2 AND ID IN (SELECT value FROM json_each(?3))");
    // A summary the writer did not keep (made after it started) is computed afresh for the days.
    const bool refresh = !m_summary && hasSalesSummary(m_db);
    for (const auto& [day, state] : m_days) {
        if (state.start >= firstSeqOfDay(day)) {  // else nothing stored for that day before
            QJsonArray ids;
            for (const std::string& id : m_dayIds[day])
                ids.append(QString::fromUtf8(id.data(), qsizetype(id.size())));
            const QByteArray json = QJsonDocument(ids).toJson(QJsonDocument::Compact);
            del.bindInt(1, firstSeqOfDay(day)).bindInt(2, state.start);
            del.bindUtf8(3, std::string_view(json.constData(), size_t(json.size()))).run();
        }
        if (refresh) {
            for (const std::string& id : m_dayIds[day]) {
                summaryWriter().drop(day, id);
                summaryWriter().fromLines(firstSeqOfDay(day), lastSeqOfDay(day), &id);
            }
        }
    }
    if (m_summary)
        writeSums();
    m_sumsCleared.clear();
    clearDays();
}

// The groups summed so far, one summary row per outlet day. An outlet day met for the first time
// loses its earlier row (its lines are being replaced); one met before is added to (the sums were
// written in parts because there were too many groups to hold).
void IntakeWriter::writeSums()
{
    if (m_sums.empty())
        return;
    SummaryWriter& out = summaryWriter();
    // The groups by outlet day; a file's lines come outlet day by outlet day, so most groups have
    // the outlet day of the group before.
    std::map<std::pair<qint64, std::string_view>, OutletDaySums> days;
    std::vector<qint64> products;  // by the sums' product number, 0 until looked up
    OutletDaySums* last = nullptr;
    qint64 lastDay = 0;
    std::string_view lastId;
    for (const DailySums::Group& g : m_sums.groups()) {
        const std::string_view id = m_sums.id(g);
        if (!last || g.day != lastDay || id != lastId) {
            last = &days[{g.day, id}];
            lastDay = g.day;
            lastId = id;
            if (last->date.empty())
                last->date.assign(g.date.data(), g.date.size());
        }
        if (g.product >= products.size())
            products.resize(g.product + 1, 0);
        qint64& product = products[g.product];
        if (product == 0)
            product = out.product(m_sums.usercode(g), m_sums.ptypename(g));
        last->entries.push_back({product, g.vchType, g.qty, g.total, g.cost, g.lines});
    }
    for (auto& [key, sums] : days) {
        const bool fresh = m_sumsCleared.emplace(key.first, std::string(key.second)).second;
        // The same product and type may come from two groups only when merged; each group is
        // one of the part's, so the entries are distinct.
        out.put(key.first, key.second, sums.date, sums.entries, !fresh);
    }
    // The outlet days written so far are those of m_dayIds: each has its groups here or in an
    // earlier part; any without (none expected) still loses its earlier row.
    for (const auto& [day, ids] : m_dayIds)
        for (const std::string& id : ids)
            if (m_sumsCleared.emplace(day, id).second)
                out.drop(day, id);
    m_sums.clear();
}

// Lines taken back out after part of their sums was written: the outlet days concerned are
// summed again from the lines that stay.
void IntakeWriter::restoreSums()
{
    m_sums.clear();
    if (m_sumsCleared.empty())
        return;
    for (const auto& [day, id] : m_sumsCleared) {
        summaryWriter().drop(day, id);
        summaryWriter().fromLines(firstSeqOfDay(day), lastSeqOfDay(day), &id);
    }
    m_sumsCleared.clear();
}

void IntakeWriter::clearDays()
{
    m_days.clear();
    m_dayIds.clear();
    m_lastDay = -1;
    m_lastDayId.clear();
}

void IntakeWriter::replaceStock()
{
    flushStock();
    sqlite::Query del = m_db.compile("DELETE FROM main.stock WHERE ID = ?1 AND seq <= ?2");
    for (const std::string& id : m_stockIds)
        del.bindUtf8(1, id).bindInt(2, m_stockStart).run();
    m_stockIds.clear();
}

void IntakeWriter::unstageSales()
{
    flushSales();
    if (m_days.empty())
        return;
    sqlite::Query copy = m_db.compile(
                   "INSERT INTO temp.stage_sales(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
                   "COSTTOTAL, VCHTYPE) SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
                   "COSTTOTAL, VCHTYPE FROM main.sales WHERE seq > ?1 AND seq <= ?2 ORDER BY seq");
    sqlite::Query del = m_db.compile("DELETE FROM main.sales WHERE seq > ?1 AND seq <= ?2");
    for (const auto& [day, state] : m_days)
        for (sqlite::Query* s : {&copy, &del})
            s->bindInt(1, state.start).bindInt(2, lastSeqOfDay(day)).run();
    restoreSums();
    clearDays();
}

void IntakeWriter::unstageStock()
{
    flushStock();
    if (m_stockIds.empty())
        return;
    sqlite::Query copy = m_db.compile("INSERT INTO temp.stage_stock(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL) "
                         "SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL FROM main.stock "
                         "WHERE seq > ?1 ORDER BY seq");
    sqlite::Query del = m_db.compile("DELETE FROM main.stock WHERE seq > ?1");
    for (sqlite::Query* s : {&copy, &del})
        s->bindInt(1, m_stockStart).run();
    m_stockIds.clear();
}

OutletSet::OutletSet(sqlite::Db& db)
{
    sqlite::Query q = db.compile("SELECT idkey FROM outlets");
    while (q.step())
        m_keys.emplace(q.bytes(0));
}

}  // namespace corvanta::embedded
