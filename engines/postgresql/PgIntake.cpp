// The PostgreSQL engine's import intake: the session, the checks and the binary COPY stream of
// the lines, and the direct path straight into sales and stock (see PostgresEngine.h).
#include "engines/postgresql/PostgresEngineImpl.h"

#include <QDate>
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace corvanta::pg {

const BulkKind& bulkKind(IntakeKind which)
{
    static const BulkKind kinds[2] = {
        {"sales",
         "COPY pg_temp.hz_stage_sales (id, usercode, ptypename, standard, type, unit, area, saledate, qty, total, "
         "costtotal, vchtype) FROM STDIN (FORMAT binary)",
         "COPY sales (id, usercode, ptypename, standard, type, unit, area, saledate, qty, total, costtotal, vchtype) "
         "FROM STDIN (FORMAT binary)",
         "WITH gone AS (DELETE FROM pg_temp.hz_stage_sales s WHERE s.id = ANY ($1::text[]) RETURNING 1) "
         "SELECT count(*) FROM gone",
         true},
        {"stock",
         "COPY pg_temp.hz_stage_stock (id, usercode, ptypename, standard, type, unit, area, kcqty, kctotal) "
         "FROM STDIN (FORMAT binary)",
         "COPY stock (id, usercode, ptypename, standard, type, unit, area, kcqty, kctotal) FROM STDIN (FORMAT binary)",
         "WITH gone AS (DELETE FROM pg_temp.hz_stage_stock s WHERE s.id = ANY ($1::text[]) RETURNING 1) "
         "SELECT count(*) FROM gone",
         false},
    };
    return kinds[which == IntakeKind::Sales ? 0 : 1];
}

void PostgresEngine::beginBulk()
{
    if (!m_conn || m_bulk)
        return;
    ensureSalesSummary();  // an account set of an earlier version: upgraded before its first import
    KeySet outlets;
    try {
        // Account sets made from an older template have no COPY intake: plain calls then.
        procInfo(QStringLiteral("hz_util_copy_intake"));
        exec(QStringLiteral("SELECT hz_util_copy_intake()"));
        ResultPtr r(PQexec(m_conn.get(), "SELECT idkey FROM outlets"));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
        for (int i = 0; i < PQntuples(r.get()); ++i)
            outlets.emplace(PQgetvalue(r.get(), i, 0), size_t(PQgetlength(r.get(), i, 0)));
    } catch (const DbError&) {
        leaveOpenTransaction(true);
        return;
    }
    m_outlets = std::move(outlets);
    m_lastOutletValid = false;
    resetCopy();
    m_bulk = true;
    beginDirect();
    m_sumsOn = m_direct && hasProcedure(QStringLiteral("hz_util_sum_written"));
}

void PostgresEngine::endBulk()
{
    if (!m_bulk)
        return;
    m_bulk = false;
    m_outlets.clear();
    m_lastOutletValid = false;
    flushBulk();
}

qlonglong PostgresEngine::intake(const BulkKind& kind, std::span<const std::string_view> values)
{
    IntakeChecker& checker = m_checker;
    CopyBuffer& out = m_copyData;
    if (kind.sales) {
        SalesValues v;
        std::copy(values.begin(), values.end(), v.begin());
        SalesRow row;
        if (const int rc = checker.sales(v, row); rc != 0)
            return rc;
        ensureCopy(kind);
        putInt16(out, 12);
        for (const std::string_view text : {row.id, row.usercode, row.ptypename, row.standard, row.type, row.unit, row.area})
            putText(out, text);
        const qint32 day = qint32(row.day.julian - kPgEpochJulian);
        putInt32(out, 4);
        putInt32(out, day);
        putScaled(out, row.qty);
        putScaled(out, row.total);
        putScaled(out, row.cost);
        putInt32(out, 4);
        putInt32(out, row.vchType);
        noteLine(row.id, day, true);
        if (m_sumsOn && m_direct) {
            m_sums.add(row, true);
            if (m_sums.full())  // too many to hold: written in part (after the lines so far)
                writeSumPart();
        }
    } else {
        StockValues v;
        std::copy(values.begin(), values.end(), v.begin());
        StockRow row;
        if (const int rc = checker.stock(v, row); rc != 0)
            return rc;
        ensureCopy(kind);
        putInt16(out, 9);
        for (const std::string_view text : {row.id, row.usercode, row.ptypename, row.standard, row.type, row.unit, row.area})
            putText(out, text);
        putScaled(out, row.qty);
        putScaled(out, row.total);
        noteLine(row.id, 0, false);
    }
    if (out.size() >= kCopyChunk)
        sendCopyData();
    return 0;
}

bool PostgresEngine::outletKnown(std::string_view key)
{
    if (!m_lastOutletValid || key != m_lastOutlet) {
        m_lastOutlet.assign(key);
        m_lastOutletKnown = m_outlets.find(key) != m_outlets.end();
        m_lastOutletValid = true;
    }
    return m_lastOutletKnown;
}

void PostgresEngine::ensureCopy(const BulkKind& kind)
{
    if (m_copyKind != &kind) {
        finishCopy();
        startCopy(kind);
    }
}

void PostgresEngine::noteLine(std::string_view id, qint32 day, bool sales)
{
    ++m_copyLines;
    auto note = [](KeySet& set, std::string_view key) {
        if (set.find(key) == set.end())
            set.emplace(key);
    };
    note(m_copyOutlets, id);
    if (!m_direct)
        return;
    if (!sales) {
        note(m_directStock, id);
        return;
    }
    auto days = m_directSales.find(id);
    if (days == m_directSales.end())
        days = m_directSales.emplace(std::string(id), std::unordered_set<qint32>()).first;
    days->second.insert(day);
}

void PostgresEngine::startCopy(const BulkKind& kind)
{
    ResultPtr copy(PQexec(m_conn.get(), m_direct ? kind.directCopy : kind.copy));
    if (PQresultStatus(copy.get()) != PGRES_COPY_IN) {
        const QString error = resultError(copy.get(), m_conn.get());
        copy.reset();
        leaveOpenTransaction(true);
        throw DbError(error);
    }
    m_copyKind = &kind;
    m_copyLines = 0;
    m_copyOutlets.clear();
    m_copyData.clear();
    m_copyData.append("PGCOPY\n\377\r\n\0", 11);
    putInt32(m_copyData, 0);  // flags
    putInt32(m_copyData, 0);  // header extension
}

void PostgresEngine::sendCopyData()
{
    if (m_copyData.isEmpty())
        return;
    if (PQputCopyData(m_conn.get(), m_copyData.data(), int(m_copyData.size())) != 1) {
        const QString error = resultError(nullptr, m_conn.get());
        abortCopy();
        throw DbError(error);
    }
    m_copyData.clear();
}

void PostgresEngine::abortCopy()
{
    if (m_copyKind && m_conn && PQtransactionStatus(m_conn.get()) == PQTRANS_ACTIVE) {
        PQputCopyEnd(m_conn.get(), "intake abandoned");
        while (PGresult* raw = PQgetResult(m_conn.get()))
            PQclear(raw);
    }
    resetCopy();
    if (m_conn)
        leaveOpenTransaction(false);  // a direct intake's transaction cannot go on
}

void PostgresEngine::resetCopy()
{
    m_copyKind = nullptr;
    m_copyLines = 0;
    m_copyOutlets.clear();
    m_copyData.clear();
}

QString PostgresEngine::endCopyIn(qlonglong& copied)
{
    QString error;
    if (PQputCopyEnd(m_conn.get(), nullptr) != 1)
        error = resultError(nullptr, m_conn.get());
    copied = -1;
    while (PGresult* raw = PQgetResult(m_conn.get())) {
        ResultPtr r(raw);
        if (!resultOk(r.get())) {
            if (error.isEmpty())
                error = resultError(r.get(), m_conn.get());
        } else if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) {
            copied = QByteArray(PQcmdTuples(r.get())).toLongLong();
        }
    }
    return error;
}

void PostgresEngine::finishCopy()
{
    if (!m_copyKind)
        return;
    const BulkKind& kind = *m_copyKind;
    putInt16(m_copyData, -1);  // trailer
    sendCopyData();
    const qlonglong lines = m_copyLines;
    const KeySet outlets = std::move(m_copyOutlets);
    resetCopy();
    qlonglong copied = -1;
    QString copyError = endCopyIn(copied);
    if (copyError.isEmpty() && copied != lines)
        copyError = QStringLiteral("The server stored %1 of %2 %3 lines that the intake had taken.")
                        .arg(copied)
                        .arg(lines)
                        .arg(QLatin1String(kind.lines));
    if (!copyError.isEmpty()) {
        leaveOpenTransaction(true);
        throw DbError(copyError);
    }

    // An outlet deleted by another client while its lines were on their way: they are dropped.
    const QByteArray array = textArray(outlets);
    const char* params[1] = {array.constData()};
    ResultPtr gone(PQexecParams(m_conn.get(),
                                "SELECT coalesce(array_agg(k), '{}') FROM unnest($1::text[]) k "
                                "WHERE NOT EXISTS (SELECT 1 FROM outlets o WHERE o.idkey = k)",
                                1, nullptr, params, nullptr, nullptr, 0));
    if (!resultOk(gone.get()) || PQntuples(gone.get()) != 1)
        throw DbError(resultError(gone.get(), m_conn.get()));
    const QByteArray missing = PQgetvalue(gone.get(), 0, 0);
    gone.reset();
    if (missing == "{}")
        return;
    settleDirect();  // the lines of the other outlets stay staged, as the calls left them
    const char* missingParams[1] = {missing.constData()};
    ResultPtr dropped(PQexecParams(m_conn.get(), kind.missing, 1, nullptr, missingParams, nullptr, nullptr, 0));
    if (!resultOk(dropped.get()) || PQntuples(dropped.get()) != 1)
        throw DbError(resultError(dropped.get(), m_conn.get()));
    const qlonglong refused = QByteArray(PQgetvalue(dropped.get(), 0, 0)).toLongLong();
    throw DbError(QStringLiteral("The server refused %1 of %2 %3 lines that the intake had taken (an outlet "
                                 "deleted meanwhile?); they were not imported.")
                      .arg(refused)
                      .arg(lines)
                      .arg(QLatin1String(kind.lines)));
}

void PostgresEngine::beginDirect()
{
    settleDirect();
    try {
        if (!hasProcedure(QStringLiteral("hz_util_direct_intake")))
            return;
        exec(QStringLiteral("BEGIN"));
        ResultPtr r(PQexec(m_conn.get(), "SELECT hz_util_direct_intake()"));
        if (!resultOk(r.get()) || PQntuples(r.get()) != 1)
            throw DbError(resultError(r.get(), m_conn.get()));
        if (PQgetvalue(r.get(), 0, 0)[0] != 't') {
            r.reset();
            exec(QStringLiteral("COMMIT"));
            return;
        }
    } catch (const DbError&) {
        leaveOpenTransaction(true);
        return;  // the staging path then
    }
    clearDirect();
    m_direct = true;
}

void PostgresEngine::clearDirect()
{
    m_direct = false;
    m_sumsOn = false;
    m_sums.clear();
    m_runs.clear();
    m_months.clear();
    m_directSales.clear();
    m_directStock.clear();
}

QByteArray PostgresEngine::salesIds() const
{
    std::vector<std::string> ids;
    for (const auto& [id, days] : m_directSales)
        ids.insert(ids.end(), days.size(), id);
    return textArray(ids);
}

QByteArray PostgresEngine::salesDates() const
{
    QByteArray dates = "{";
    for (const auto& [id, days] : m_directSales) {
        for (const qint32 day : days) {
            if (dates.size() > 1)
                dates += ',';
            dates += QDate::fromJulianDay(kPgEpochJulian + day).toString(Qt::ISODate).toLatin1();
        }
    }
    return dates + '}';
}

qlonglong PostgresEngine::directQuery(const char* sql, std::initializer_list<QByteArray> args)
{
    std::vector<const char*> params;
    for (const QByteArray& a : args)
        params.push_back(a.constData());
    ResultPtr r(PQexecParams(m_conn.get(), sql, int(params.size()), nullptr, params.data(), nullptr, nullptr, 0));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
    return PQntuples(r.get()) > 0 && !PQgetisnull(r.get(), 0, 0) ? QByteArray(PQgetvalue(r.get(), 0, 0)).toLongLong()
                                                                  : 0;
}

void PostgresEngine::stageDirect(bool sales, bool stock)
{
    const QByteArray none = "{}";
    if (sales) {  // the staged lines are summed again by their consolidation
        m_sums.clear();
        m_runs.clear();
        m_months.clear();
    }
    directQuery("SELECT hz_util_direct_stage($1::text[], $2::date[], $3::text[])",
                {sales ? salesIds() : none, sales ? salesDates() : none, stock ? stockIds() : none});
}

void PostgresEngine::settleDirect()
{
    if (!m_direct)
        return;
    try {
        stageDirect(true, true);
        exec(QStringLiteral("COMMIT"));
    } catch (const DbError&) {
        leaveOpenTransaction(true);
        clearDirect();
        throw;
    }
    clearDirect();
}

CallResult PostgresEngine::consolidateDirect(bool sales, bool stock)
{
    CallResult result;
    try {
        const bool otherSales = !sales && !m_directSales.empty();
        const bool otherStock = !stock && !m_directStock.empty();
        if (otherSales || otherStock)
            stageDirect(otherSales, otherStock);
        // Both kinds or neither: a failing second one takes the first one back.
        exec(QStringLiteral("SAVEPOINT hz_consolidate"));
        if (sales && m_sumsOn) {
            result.returnValue =
                directQuery("SELECT hz_util_direct_replace_sales($1::text[], $2::date[])", {salesIds(), salesDates()});
            if (result.returnValue == 0) {
                copySums();
                copyMonths();
                exec(QStringLiteral("SELECT hz_util_sum_written()"));
            }
        } else if (sales) {
            result.returnValue =
                directQuery("SELECT hz_util_direct_add_sales($1::text[], $2::date[])", {salesIds(), salesDates()});
        }
        if (stock && result.returnValue == 0)
            result.returnValue = directQuery("SELECT hz_util_direct_add_stock($1::text[])", {stockIds()});
        if (result.returnValue != 0) {
            exec(QStringLiteral("ROLLBACK TO SAVEPOINT hz_consolidate"));
            stageDirect(sales, stock);
        }
        exec(QStringLiteral("COMMIT"));
    } catch (const DbError&) {
        leaveOpenTransaction(true);
        clearDirect();
        throw;
    }
    clearDirect();
    summarizeRanges(sales, stock);
    return result;
}

// The block ranges an import added are summarised at once: until then every query through the
// block-range index reads them all, and the next batch's outlet-day replaces would scan them for
// each outlet day. Skipped when a vacuum holds the table (it summarises them itself) or the
// account set has no such function yet; the figures never depend on it.
void PostgresEngine::summarizeRanges(bool sales, bool stock)
{
    if (!sales && !stock)
        return;
    try {
        exec(QStringLiteral("SELECT hz_util_summarize_ranges(%1, %2)")
                 .arg(QLatin1String(sales ? "true" : "false"), QLatin1String(stock ? "true" : "false")));
    } catch (const DbError&) {
        leaveOpenTransaction(true);
    }
}

void PostgresEngine::writeSumPart()
{
    m_runs.write(m_sums);  // the lines' stream goes on meanwhile
}

namespace {

constexpr qint32 kTextOid = 25, kInt4Oid = 23, kNumericOid = 1700;

void putInt64Field(CopyBuffer& out, qint64 v)
{
    putInt32(out, 8);
    putInt32(out, qint32(quint64(v) >> 32));
    putInt32(out, qint32(quint64(v) & 0xffffffffu));
}

// A one-dimensional array of COPY's binary format whose count elements are in elements.
void putArray(CopyBuffer& out, qint32 elementOid, qint32 count, const CopyBuffer& elements)
{
    putInt32(out, qint32(20 + elements.size()));
    putInt32(out, 1);  // dimensions
    putInt32(out, 0);  // no NULLs
    putInt32(out, elementOid);
    putInt32(out, count);
    putInt32(out, 1);  // lower bound
    out.append(elements.data(), elements.size());
}

}  // namespace

// A binary COPY of the rows that write puts into out (calling send as it fills); write returns
// how many it put, which the server must have stored.
void PostgresEngine::copyRows(const QByteArray& sql, const char* what,
                              const std::function<qlonglong(CopyBuffer&, const std::function<void()>&)>& write)
{
    ResultPtr copy(PQexec(m_conn.get(), sql.constData()));
    if (PQresultStatus(copy.get()) != PGRES_COPY_IN)
        throw DbError(resultError(copy.get(), m_conn.get()));
    copy.reset();
    CopyBuffer out;
    out.append("PGCOPY\n\377\r\n\0", 11);
    putInt32(out, 0);  // flags
    putInt32(out, 0);  // header extension
    const std::function<void()> send = [&] {
        if (!out.isEmpty() && PQputCopyData(m_conn.get(), out.data(), int(out.size())) != 1)
            throw DbError(resultError(nullptr, m_conn.get()));
        out.clear();
    };
    qlonglong rows = 0;
    try {
        rows = write(out, send);
        putInt16(out, -1);  // trailer
        send();
    } catch (...) {
        PQputCopyEnd(m_conn.get(), "summary abandoned");
        while (PGresult* raw = PQgetResult(m_conn.get()))
            PQclear(raw);
        throw;
    }
    qlonglong copied = -1;
    QString error = endCopyIn(copied);
    if (error.isEmpty() && copied != rows)
        error = QStringLiteral("The server stored %1 of %2 %3.").arg(copied).arg(rows).arg(QLatin1String(what));
    if (!error.isEmpty())
        throw DbError(error);
}

void PostgresEngine::copySums()
{
    // One row per outlet day: the merged groups come by day and outlet, then code, name and type.
    std::array<CopyBuffer, 6> column;  // the arrays of the outlet day
    qint64 rowDay = -1, lastDay = -1, month = 0;
    std::string rowId;
    qint64 lines = 0;
    Wide qty = 0, total = 0, cost = 0;
    int qtyScale = 0, totalScale = 0, costScale = 0;
    qint32 count = 0;
    auto writeRows = [&](CopyBuffer& out, const std::function<void()>& send) {
        qlonglong rows = 0;
        auto endRow = [&] {
            if (count == 0)
                return;
            putInt16(out, 12);
            putInt32(out, 4);
            putInt32(out, qint32(rowDay - kPgEpochJulian));
            putText(out, rowId);
            putInt64Field(out, lines);
            putWideScaled(out, qty, qtyScale);
            putWideScaled(out, total, totalScale);
            putWideScaled(out, cost, costScale);
            putArray(out, kTextOid, count, column[0]);
            putArray(out, kTextOid, count, column[1]);
            putArray(out, kInt4Oid, count, column[2]);
            putArray(out, kNumericOid, count, column[3]);
            putArray(out, kNumericOid, count, column[4]);
            putArray(out, kNumericOid, count, column[5]);
            ++rows;
            for (CopyBuffer& c : column)
                c.clear();
            lines = 0;
            qty = total = cost = 0;
            qtyScale = totalScale = costScale = 0;
            count = 0;
            if (out.size() >= kCopyChunk)
                send();
        };
        m_runs.merge(m_sums, [&](const SumView& g) {
            if (g.day != rowDay || g.id != rowId) {
                endRow();
                rowDay = g.day;
                rowId.assign(g.id);
            }
            ++count;
            lines += qint64(g.lines);
            qty += g.qty;
            total += g.total;
            cost += g.cost;
            qtyScale = std::max<int>(qtyScale, g.qtyScale);
            totalScale = std::max<int>(totalScale, g.totalScale);
            costScale = std::max<int>(costScale, g.costScale);
            if (g.day != lastDay) {
                const QDate d = QDate::fromJulianDay(g.day);
                month = QDate(d.year(), d.month(), 1).toJulianDay();
                lastDay = g.day;
            }
            addToMonth(month, g);
            putText(column[0], g.usercode);
            putText(column[1], g.ptypename);
            putInt32(column[2], 4);
            putInt32(column[2], g.vchType);
            putWideScaled(column[3], g.qty, g.qtyScale);
            putWideScaled(column[4], g.total, g.totalScale);
            putWideScaled(column[5], g.cost, g.costScale);
        });
        endRow();
        return rows;
    };
    copyRows("COPY sales_daysum (saledate, id, lines, qty, total, costtotal, usercodes, ptypenames, vchtypes, qtys, "
             "totals, costtotals) FROM STDIN (FORMAT binary)",
             "summary rows", writeRows);
}

// The month's sums over all outlets of product and type; key: month, type, code length, code, name.
void PostgresEngine::addToMonth(qint64 month, const SumView& g)
{
    const std::string_view code = g.usercode, name = g.ptypename;
    const qint32 head[3] = {qint32(month), g.vchType, qint32(code.size())};
    m_monthKey.assign(reinterpret_cast<const char*>(head), sizeof head);
    m_monthKey.append(code).append(name);
    MonthSums& m = m_months[m_monthKey];
    ++m.groups;
    m.qty += g.qty;
    m.total += g.total;
    m.cost += g.cost;
    m.qtyScale = std::max<int>(m.qtyScale, g.qtyScale);
    m.totalScale = std::max<int>(m.totalScale, g.totalScale);
    m.costScale = std::max<int>(m.costScale, g.costScale);
}

void PostgresEngine::copyMonths()
{
    exec(QStringLiteral("SELECT hz_util_sum_part()"));
    copyRows("COPY pg_temp.hz_month_delta (month, usercode, ptypename, vchtype, groups, qty, total, costtotal) "
             "FROM STDIN (FORMAT binary)",
             "monthly summary rows", [this](CopyBuffer& out, const std::function<void()>& send) {
                 for (const auto& [key, m] : m_months) {
                     qint32 head[3];
                     std::memcpy(head, key.data(), sizeof head);
                     const std::string_view texts = std::string_view(key).substr(sizeof head);
                     putInt16(out, 8);
                     putInt32(out, 4);
                     putInt32(out, qint32(head[0] - kPgEpochJulian));
                     putText(out, texts.substr(0, size_t(head[2])));
                     putText(out, texts.substr(size_t(head[2])));
                     putInt32(out, 4);
                     putInt32(out, head[1]);
                     putInt64Field(out, m.groups);
                     putWideScaled(out, m.qty, m.qtyScale);
                     putWideScaled(out, m.total, m.totalScale);
                     putWideScaled(out, m.cost, m.costScale);
                     if (out.size() >= kCopyChunk)
                         send();
                 }
                 return qlonglong(m_months.size());
             });
    m_months.clear();
}

void PostgresEngine::flushBulk()
{
    try {
        finishCopy();
    } catch (const DbError&) {
        abortCopy();
        leaveOpenTransaction(false);
        throw;
    }
}

// ---- the intake session ------------------------------------------------------------------------

// The lines an abandoned session has taken are delivered; those of the direct path wait in their
// transaction until the next call puts them into the staging (or a consolidation takes them).
class PostgresEngine::Session final : public EngineIntakeSession<PostgresEngine> {
public:
    using EngineIntakeSession::EngineIntakeSession;

    int add(IntakeKind kind, std::span<const std::string_view> values) override
    {
        PostgresEngine& e = engine();
        checkValues(kind, values);
        if (!e.m_bulk)
            throw DbError(QStringLiteral("The intake is complete: no more lines"));
        return int(e.intake(bulkKind(kind), values));
    }

    std::optional<int> consolidate(bool sales, bool stock) override
    {
        PostgresEngine& e = engine();
        e.endBulk();
        if (!e.m_direct)
            return std::nullopt;
        return int(e.consolidateDirect(sales, stock).returnValue);
    }
};

std::unique_ptr<IntakeSession> PostgresEngine::beginIntake()
{
    if (m_session)
        m_session->abandon();
    beginBulk();
    if (!m_bulk)
        return nullptr;  // an account set of an older template: the procedures one by one
    return std::make_unique<Session>(*this);
}

void PostgresEngine::detachSession()
{
    if (m_session)
        m_session->detach();
}

}  // namespace corvanta::pg
