#include "engines/embedded/EmbeddedIntake.h"

#include "base/Values.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <limits>
#include <optional>
#include <sqlite3.h>

namespace corvanta::embedded {

// ---- statements ------------------------------------------------------------------------------

Statement::Statement(sqlite::Db& db, const char* sql) : m_db(db)
{
    if (sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        db.fail(QString::fromUtf8(sql));
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::text(int pos, std::string_view value)
{
    // The value stays valid until the statement has run (each step binds anew).
    if (sqlite3_bind_text(m_stmt, pos, value.data() ? value.data() : "", int(value.size()), SQLITE_STATIC) != SQLITE_OK)
        m_db.fail(QStringLiteral("bind"));
}

void Statement::integer(int pos, qint64 value)
{
    if (sqlite3_bind_int64(m_stmt, pos, value) != SQLITE_OK)
        m_db.fail(QStringLiteral("bind"));
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_stmt);
        return false;
    }
    try {
        m_db.fail(QString::fromUtf8(sqlite3_sql(m_stmt)));
    } catch (...) {
        sqlite3_reset(m_stmt);
        throw;
    }
}

void Statement::run()
{
    while (step()) {
    }
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

struct SumsSource {
    const DailySums* sums = nullptr;
    const std::vector<const DailySums::Group*>* groups = nullptr;
};

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

// intake_sums: the summed groups being written, in key order (a SumsSource).
struct SumsVtab {
    sqlite3_vtab base{};
    SumsSource** source = nullptr;
};
struct SumsCursor {
    sqlite3_vtab_cursor base{};
    const SumsSource* source = nullptr;
    size_t pos = 0;
};

int sumsConnect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** out, char**)
{
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(day, ID, USERCODE, PTYPENAME, VCHTYPE, DATE, QTY, TOTAL, "
                                            "COSTTOTAL)");
    if (rc != SQLITE_OK)
        return rc;
    auto* v = new SumsVtab;
    v->source = static_cast<SumsSource**>(aux);
    *out = &v->base;
    return SQLITE_OK;
}
int sumsDisconnect(sqlite3_vtab* v)
{
    delete reinterpret_cast<SumsVtab*>(v);
    return SQLITE_OK;
}
int sumsOpen(sqlite3_vtab*, sqlite3_vtab_cursor** out)
{
    *out = &(new SumsCursor)->base;
    return SQLITE_OK;
}
int sumsClose(sqlite3_vtab_cursor* c)
{
    delete reinterpret_cast<SumsCursor*>(c);
    return SQLITE_OK;
}
int sumsFilter(sqlite3_vtab_cursor* c, int, const char*, int, sqlite3_value**)
{
    auto* cur = reinterpret_cast<SumsCursor*>(c);
    cur->source = *reinterpret_cast<SumsVtab*>(c->pVtab)->source;
    cur->pos = 0;
    return SQLITE_OK;
}
int sumsNext(sqlite3_vtab_cursor* c)
{
    ++reinterpret_cast<SumsCursor*>(c)->pos;
    return SQLITE_OK;
}
int sumsEof(sqlite3_vtab_cursor* c)
{
    const auto* cur = reinterpret_cast<SumsCursor*>(c);
    return !cur->source || !cur->source->groups || cur->pos >= cur->source->groups->size();
}
int sumsColumn(sqlite3_vtab_cursor* c, sqlite3_context* ctx, int col)
{
    const auto* cur = reinterpret_cast<SumsCursor*>(c);
    const DailySums& sums = *cur->source->sums;
    const DailySums::Group& g = *(*cur->source->groups)[cur->pos];
    auto text = [ctx](std::string_view t) { sqlite3_result_text(ctx, t.data(), int(t.size()), SQLITE_STATIC); };
    switch (col) {
    case 0: sqlite3_result_int64(ctx, g.day); break;
    case 1: text(sums.id(g)); break;
    case 2: text(sums.usercode(g)); break;
    case 3: text(sums.ptypename(g)); break;
    case 4: sqlite3_result_int(ctx, g.vchType); break;
    case 5: text(std::string_view(g.date.data(), g.date.size())); break;
    default: {
        // A sum outside 64 bits fails the statement as sum() would ("integer overflow").
        const Wide v = col == 6 ? g.qty : col == 7 ? g.total : g.cost;
        if (v > std::numeric_limits<qint64>::max() || v < std::numeric_limits<qint64>::min())
            sqlite3_result_error(ctx, "integer overflow", -1);
        else
            sqlite3_result_int64(ctx, qint64(v));
    }
    }
    return SQLITE_OK;
}
int sumsRowid(sqlite3_vtab_cursor* c, sqlite3_int64* out)
{
    *out = sqlite3_int64(reinterpret_cast<SumsCursor*>(c)->pos);
    return SQLITE_OK;
}

sqlite3_module sumsModule()
{
    sqlite3_module m{};
    m.xConnect = sumsConnect;
    m.xBestIndex = batchBestIndex;
    m.xDisconnect = sumsDisconnect;
    m.xOpen = sumsOpen;
    m.xClose = sumsClose;
    m.xFilter = sumsFilter;
    m.xNext = sumsNext;
    m.xEof = sumsEof;
    m.xColumn = sumsColumn;
    m.xRowid = sumsRowid;
    return m;
}
const sqlite3_module kSumsModule = sumsModule();

SumsSource** registerSumsSource(sqlite::Db& db)
{
    auto* slot = new SumsSource*(nullptr);
    const int rc = sqlite3_create_module_v2(db.handle(), "intake_sums", &kSumsModule, slot,
                                            [](void* p) { delete static_cast<SumsSource**>(p); });
    if (rc != SQLITE_OK)
        db.fail(QStringLiteral("intake sums table"));
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
      m_sumsSlot(registerSumsSource(db)),
      m_insertSales(db, "INSERT INTO main.sales(seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, "
                        "TOTAL, COSTTOTAL, VCHTYPE) SELECT seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, "
                        "DATE, QTY, TOTAL, COSTTOTAL, VCHTYPE FROM intake_sales_batch"),
      m_insertStock(db, "INSERT INTO main.stock(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL) "
                        "SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, QTY, TOTAL FROM intake_stock_batch"),
      m_lastOfDay(db, "SELECT max(seq) FROM main.sales WHERE seq BETWEEN ?1 AND ?2"),
      m_summary(hasSalesSummary(db))
{
    // Sums added up in SQL must fail as sum() does rather than turn into floating point.
    const int rc = sqlite3_create_function_v2(
        db.handle(), "hz_sum_add", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
        [](sqlite3_context* ctx, int, sqlite3_value** v) {
            qint64 sum = 0;
            if (__builtin_add_overflow(sqlite3_value_int64(v[0]), sqlite3_value_int64(v[1]), &sum))
                sqlite3_result_error(ctx, "integer overflow", -1);
            else
                sqlite3_result_int64(ctx, sum);
        },
        nullptr, nullptr, nullptr);
    // SQLITE_BUSY: registered by an earlier writer and in use by a statement; it stays.
    if (rc != SQLITE_OK && rc != SQLITE_BUSY)
        db.fail(QStringLiteral("hz_sum_add"));
    Statement last(db, "SELECT coalesce(max(seq), 0) FROM main.stock");
    if (last.step())
        m_stockStart = sqlite3_column_int64(last.get(), 0);
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
    *m_sumsSlot = nullptr;
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
            m_lastOfDay.integer(1, firstSeqOfDay(day));
            m_lastOfDay.integer(2, lastSeqOfDay(day));
            qint64 start = firstSeqOfDay(day) - 1;
            if (m_lastOfDay.step() && sqlite3_column_type(m_lastOfDay.get(), 0) != SQLITE_NULL)
                start = sqlite3_column_int64(m_lastOfDay.get(), 0);
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

void IntakeWriter::runBatch(Statement& insert, Batch** slot, Batch& batch)
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

namespace {

// The summary rows of the sales lines a WHERE clause selects, for INSERT INTO main.sales_sum.
std::string summarySelect(const char* where)
{
    return "INSERT INTO main.sales_sum(day, ID, USERCODE, PTYPENAME, VCHTYPE, DATE, QTY, TOTAL, COSTTOTAL) "
           "SELECT seq >> " + std::to_string(kDayShift) + ", ID, coalesce(USERCODE, ''), coalesce(PTYPENAME, ''), "
           "VCHTYPE, max(DATE), sum(QTY), sum(TOTAL), sum(COSTTOTAL) FROM main.sales" + where +
           " GROUP BY 1, 2, 3, 4, 5";
}

}  // namespace

bool hasSalesSummary(sqlite::Db& db)
{
    Statement q(db, "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = 'sales_sum'");
    const bool found = q.step();
    q.reset();
    return found;
}

void buildSalesSummary(sqlite::Db& db)
{
    if (hasSalesSummary(db))
        return;
    // A savepoint works inside and outside a caller's transaction; table and rows come together.
    db.exec(QStringLiteral("SAVEPOINT build_sales_sum"));
    try {
        db.exec(QStringLiteral(
            "CREATE TABLE main.sales_sum(day INTEGER NOT NULL, ID TEXT NOT NULL, USERCODE TEXT NOT NULL, "
            "PTYPENAME TEXT NOT NULL, VCHTYPE INTEGER NOT NULL, DATE TEXT NOT NULL, QTY INTEGER NOT NULL, "
            "TOTAL INTEGER NOT NULL, COSTTOTAL INTEGER NOT NULL, PRIMARY KEY(day, ID, USERCODE, PTYPENAME, VCHTYPE)) "
            "WITHOUT ROWID"));
        Statement(db, summarySelect("").c_str()).run();
        db.exec(QStringLiteral("RELEASE build_sales_sum"));
    } catch (...) {
        try {
            db.exec(QStringLiteral("ROLLBACK TO build_sales_sum; RELEASE build_sales_sum"));
        } catch (const DbError&) {
        }
        throw;
    }
}

void IntakeWriter::replaceSales()
{
    flushSales();
    // One pass over a day's earlier lines, however many outlets the intake wrote for that day.
    Statement del(m_db, "DELETE FROM main.sales WHERE seq BETWEEN ?1 AND ?2 AND ID IN (SELECT value FROM json_each(?3))");
    // A summary the writer did not keep (made after it started) is computed afresh for the days.
    const bool refresh = !m_summary && hasSalesSummary(m_db);
    std::optional<Statement> dropSum, addSum;
    if (refresh) {
        dropSum.emplace(m_db, "DELETE FROM main.sales_sum WHERE day = ?1 AND ID IN (SELECT value FROM json_each(?2))");
        addSum.emplace(m_db, summarySelect(" WHERE seq BETWEEN ?1 AND ?2 AND ID IN (SELECT value FROM json_each(?3))").c_str());
    }
    for (const auto& [day, state] : m_days) {
        QJsonArray ids;
        for (const std::string& id : m_dayIds[day])
            ids.append(QString::fromUtf8(id.data(), qsizetype(id.size())));
        const QByteArray json = QJsonDocument(ids).toJson(QJsonDocument::Compact);
        const std::string_view jsonView(json.constData(), size_t(json.size()));
        if (state.start >= firstSeqOfDay(day)) {  // else nothing stored for that day before
            del.integer(1, firstSeqOfDay(day));
            del.integer(2, state.start);
            del.text(3, jsonView);
            del.run();
        }
        if (refresh) {
            dropSum->integer(1, day);
            dropSum->text(2, jsonView);
            dropSum->run();
            addSum->integer(1, firstSeqOfDay(day));
            addSum->integer(2, lastSeqOfDay(day));
            addSum->text(3, jsonView);
            addSum->run();
        }
    }
    if (m_summary)
        writeSums();
    m_sumsCleared.clear();
    clearDays();
}

// The groups summed so far into main.sales_sum. An outlet day met for the first time loses its
// earlier rows (its lines are being replaced); one met before is added to (the sums were written
// in parts because there were too many groups to hold).
void IntakeWriter::writeSums()
{
    if (m_sums.empty())
        return;
    const std::vector<const DailySums::Group*> groups = m_sums.sorted();
    // Outlet days met for the first time lose their earlier rows (their lines are being
    // replaced); rows of days written by an earlier call may be there already and are added to.
    // The outlet days written so far are those of m_dayIds: each has its groups here or in an
    // earlier part.
    const bool partsBefore = !m_sumsCleared.empty();
    {
        Statement drop(m_db, "DELETE FROM main.sales_sum WHERE day = ?1 AND ID IN (SELECT value FROM json_each(?2))");
        for (const auto& [day, ids] : m_dayIds) {
            QJsonArray fresh;
            for (const std::string& id : ids) {
                if (m_sumsCleared.emplace(day, id).second)
                    fresh.append(QString::fromUtf8(id.data(), qsizetype(id.size())));
            }
            if (fresh.isEmpty())
                continue;
            const QByteArray json = QJsonDocument(fresh).toJson(QJsonDocument::Compact);
            drop.integer(1, day);
            drop.text(2, std::string_view(json.constData(), size_t(json.size())));
            drop.run();
        }
    }
    Statement put(m_db, partsBefore
                            ? "INSERT INTO main.sales_sum(day, ID, USERCODE, PTYPENAME, VCHTYPE, DATE, QTY, TOTAL, "
                              "COSTTOTAL) SELECT * FROM intake_sums WHERE true "
                              "ON CONFLICT(day, ID, USERCODE, PTYPENAME, VCHTYPE) DO UPDATE SET "
                              "QTY = hz_sum_add(QTY, excluded.QTY), TOTAL = hz_sum_add(TOTAL, excluded.TOTAL), "
                              "COSTTOTAL = hz_sum_add(COSTTOTAL, excluded.COSTTOTAL)"
                            : "INSERT INTO main.sales_sum(day, ID, USERCODE, PTYPENAME, VCHTYPE, DATE, QTY, TOTAL, "
                              "COSTTOTAL) SELECT * FROM intake_sums");
    SumsSource source{&m_sums, &groups};
    *m_sumsSlot = &source;
    try {
        put.run();
    } catch (...) {
        *m_sumsSlot = nullptr;
        throw;
    }
    *m_sumsSlot = nullptr;
    m_sums.clear();
}

// Lines taken back out after part of their sums was written: the outlet days concerned are
// summed again from the lines that stay.
void IntakeWriter::restoreSums()
{
    m_sums.clear();
    if (m_sumsCleared.empty())
        return;
    Statement drop(m_db, "DELETE FROM main.sales_sum WHERE day = ?1 AND ID = ?2");
    Statement add(m_db, summarySelect(" WHERE seq BETWEEN ?1 AND ?2 AND ID = ?3").c_str());
    for (const auto& [day, id] : m_sumsCleared) {
        drop.integer(1, day);
        drop.text(2, id);
        drop.run();
        add.integer(1, firstSeqOfDay(day));
        add.integer(2, lastSeqOfDay(day));
        add.text(3, id);
        add.run();
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
    Statement del(m_db, "DELETE FROM main.stock WHERE ID = ?1 AND seq <= ?2");
    for (const std::string& id : m_stockIds) {
        del.text(1, id);
        del.integer(2, m_stockStart);
        del.run();
    }
    m_stockIds.clear();
}

void IntakeWriter::unstageSales()
{
    flushSales();
    if (m_days.empty())
        return;
    Statement copy(m_db,
                   "INSERT INTO temp.stage_sales(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
                   "COSTTOTAL, VCHTYPE) SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, TOTAL, "
                   "COSTTOTAL, VCHTYPE FROM main.sales WHERE seq > ?1 AND seq <= ?2 ORDER BY seq");
    Statement del(m_db, "DELETE FROM main.sales WHERE seq > ?1 AND seq <= ?2");
    for (const auto& [day, state] : m_days) {
        for (Statement* s : {&copy, &del}) {
            s->integer(1, state.start);
            s->integer(2, lastSeqOfDay(day));
            s->run();
        }
    }
    restoreSums();
    clearDays();
}

void IntakeWriter::unstageStock()
{
    flushStock();
    if (m_stockIds.empty())
        return;
    Statement copy(m_db, "INSERT INTO temp.stage_stock(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL) "
                         "SELECT ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL FROM main.stock "
                         "WHERE seq > ?1 ORDER BY seq");
    Statement del(m_db, "DELETE FROM main.stock WHERE seq > ?1");
    for (Statement* s : {&copy, &del}) {
        s->integer(1, m_stockStart);
        s->run();
    }
    m_stockIds.clear();
}

OutletSet::OutletSet(sqlite::Db& db)
{
    Statement q(db, "SELECT idkey FROM outlets");
    while (q.step()) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(q.get(), 0));
        m_keys.emplace(p ? p : "", size_t(sqlite3_column_bytes(q.get(), 0)));
    }
}

}  // namespace corvanta::embedded
