#include "engines/embedded/EmbeddedIntake.h"

#include <QDate>
#include <sqlite3.h>

namespace corvanta::embedded {

const std::array<const char*, kSalesParams> kSalesParamNames = {
    "@USERCODE", "@PTYPENAME", "@STANDARD", "@TYPE", "@UNIT", "@AREA",
    "@DATE", "@QTY", "@TOTAL", "@COSTTOTAL", "@VCHTYPE", "@ID",
};
const std::array<const char*, kStockParams> kStockParamNames = {
    "@USERCODE", "@PTYPENAME", "@STANDARD", "@TYPE", "@UNIT", "@AREA", "@KCQTY", "@KCTOTAL", "@ID",
};

namespace {

// The ASCII part of QChar::isSpace.
inline bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

int number(std::string_view digits)
{
    int v = 0;
    for (char c : digits)
        v = v * 10 + (c - '0');
    return v;
}

}  // namespace

std::string_view TrimmedUtf8(std::string_view value, std::string& scratch)
{
    size_t b = 0, e = value.size();
    while (b < e && isAsciiSpace(static_cast<unsigned char>(value[b])))
        ++b;
    while (e > b && isAsciiSpace(static_cast<unsigned char>(value[e - 1])))
        --e;
    const std::string_view t = value.substr(b, e - b);
    if (t.empty() || (static_cast<unsigned char>(t.front()) < 0x80 && static_cast<unsigned char>(t.back()) < 0x80))
        return t;
    // White space beyond ASCII (U+3000, U+00A0, ...) is Qt's business.
    const QByteArray trimmed = QString::fromUtf8(t.data(), qsizetype(t.size())).trimmed().toUtf8();
    scratch.assign(trimmed.constData(), size_t(trimmed.size()));
    return scratch;
}

std::optional<Day> ParseDay(std::string_view value)
{
    std::string scratch;
    const std::string_view t = TrimmedUtf8(value, scratch);
    std::string_view y, m, d;
    if (t.size() == 8 && allDigits(t)) {
        y = t.substr(0, 4);
        m = t.substr(4, 2);
        d = t.substr(6, 2);
    } else {
        if (t.size() <= 4 || (t[4] != '-' && t[4] != '/'))
            return std::nullopt;
        const char sep = t[4];
        const size_t second = t.find(sep, 5);
        if (second == std::string_view::npos || t.find(sep, second + 1) != std::string_view::npos)
            return std::nullopt;
        y = t.substr(0, 4);
        m = t.substr(5, second - 5);
        d = t.substr(second + 1);
        if (!allDigits(y) || m.empty() || m.size() > 2 || d.empty() || d.size() > 2 || !allDigits(m) || !allDigits(d))
            return std::nullopt;
    }
    const int year = number(y), month = number(m), dayOfMonth = number(d);
    const QDate date(year, month, dayOfMonth);
    if (year < 1 || !date.isValid())
        return std::nullopt;
    Day out;
    out.julian = date.toJulianDay();
    char* p = out.text.data();
    auto put = [&p](int v, int width) {
        for (int i = width - 1; i >= 0; --i, v /= 10)
            p[i] = char('0' + v % 10);
        p += width;
    };
    put(year, 4);
    *p++ = '-';
    put(month, 2);
    *p++ = '-';
    put(dayOfMonth, 2);
    return out;
}

std::optional<qint64> ParseScaled(std::string_view value)
{
    std::string scratch;
    const std::string_view t = TrimmedUtf8(value, scratch);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    const size_t intBegin = i;
    while (i < t.size() && isDigit(t[i]))
        ++i;
    std::string_view intPart = t.substr(intBegin, i - intBegin);
    std::string_view fracPart;
    if (i < t.size() && t[i] == '.') {
        const size_t fracBegin = ++i;
        while (i < t.size() && isDigit(t[i]))
            ++i;
        fracPart = t.substr(fracBegin, i - fracBegin);
    }
    if (i != t.size() || (intPart.empty() && fracPart.empty()))
        return std::nullopt;
    while (!intPart.empty() && intPart.front() == '0')
        intPart.remove_prefix(1);
    while (!fracPart.empty() && fracPart.back() == '0')
        fracPart.remove_suffix(1);
    if (intPart.size() > 12 || fracPart.size() > 6)
        return std::nullopt;
    qint64 v = 0;
    for (char c : intPart)
        v = v * 10 + (c - '0');
    for (size_t k = 0; k < 6; ++k)
        v = v * 10 + (k < fracPart.size() ? fracPart[k] - '0' : 0);
    return negative ? -v : v;
}

// ---- checks ---------------------------------------------------------------------------------

int IntakeChecker::sales(const SalesValues& v, SalesRow& row)
{
    row.id = TrimmedUtf8(v[SpId], m_id);
    if (!m_outletExists(row.id))
        return -2;
    const std::optional<Day> day = ParseDay(v[SpDate]);
    const std::optional<qint64> qty = ParseScaled(v[SpQty]);
    const std::optional<qint64> total = ParseScaled(v[SpTotal]);
    const std::optional<qint64> cost = ParseScaled(v[SpCostTotal]);
    const std::string_view vch = TrimmedUtf8(v[SpVchType], m_vch);
    if (!day || !qty || !total || !cost || (vch != "11" && vch != "45"))
        return -1;
    row.usercode = TrimmedUtf8(v[SpUserCode], m_code);
    row.ptypename = v[SpPtypeName];
    row.standard = v[SpStandard];
    row.type = v[SpType];
    row.unit = v[SpUnit];
    row.area = v[SpArea];
    row.day = *day;
    row.qty = *qty;
    row.total = *total;
    row.cost = *cost;
    row.vchType = vch == "11" ? 11 : 45;
    return 0;
}

int IntakeChecker::stock(const StockValues& v, StockRow& row)
{
    row.id = TrimmedUtf8(v[KpId], m_id);
    if (!m_outletExists(row.id))
        return -2;
    const std::optional<qint64> qty = ParseScaled(v[KpKcQty]);
    const std::optional<qint64> total = ParseScaled(v[KpKcTotal]);
    if (!qty || !total)
        return -1;
    row.usercode = TrimmedUtf8(v[KpUserCode], m_code);
    row.ptypename = v[KpPtypeName];
    row.standard = v[KpStandard];
    row.type = v[KpType];
    row.unit = v[KpUnit];
    row.area = v[KpArea];
    row.qty = *qty;
    row.total = *total;
    return 0;
}

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

// ---- writer ----------------------------------------------------------------------------------

IntakeWriter::IntakeWriter(sqlite::Db& db)
    : m_db(db),
      m_insertSales(db, "INSERT INTO main.sales(seq, ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, DATE, QTY, "
                        "TOTAL, COSTTOTAL, VCHTYPE) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)"),
      m_insertStock(db, "INSERT INTO main.stock(ID, USERCODE, PTYPENAME, STANDARD, TYPE, UNIT, AREA, KCQTY, KCTOTAL) "
                        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"),
      m_lastOfDay(db, "SELECT max(seq) FROM main.sales WHERE seq BETWEEN ?1 AND ?2")
{
    Statement last(db, "SELECT coalesce(max(seq), 0) FROM main.stock");
    if (last.step())
        m_stockStart = sqlite3_column_int64(last.get(), 0);
    last.reset();
}

IntakeWriter::~IntakeWriter() = default;

void IntakeWriter::addSales(const SalesRow& row)
{
    const qint64 day = row.day.julian;
    auto it = m_days.find(day);
    qint64 seq;
    if (it == m_days.end()) {
        if (day < 0 || day >= (qint64(1) << (62 - kDayShift)))
            throw DbError(QStringLiteral("Sales date %1 is out of range").arg(QString::fromLatin1(row.day.view())));
        m_lastOfDay.integer(1, firstSeqOfDay(day));
        m_lastOfDay.integer(2, lastSeqOfDay(day));
        qint64 start = firstSeqOfDay(day) - 1;
        if (m_lastOfDay.step() && sqlite3_column_type(m_lastOfDay.get(), 0) != SQLITE_NULL)
            start = sqlite3_column_int64(m_lastOfDay.get(), 0);
        m_lastOfDay.reset();
        seq = start + 1;
        DayState state;
        state.start = start;
        state.next = seq;
        it = m_days.emplace(day, std::move(state)).first;
    } else {
        seq = it->second.next;
    }
    if (seq > lastSeqOfDay(day))
        throw DbError(QStringLiteral("Too many sales lines for %1").arg(QString::fromLatin1(row.day.view())));
    Statement& s = m_insertSales;
    s.integer(1, seq);
    s.text(2, row.id);
    s.text(3, row.usercode);
    s.text(4, row.ptypename);
    s.text(5, row.standard);
    s.text(6, row.type);
    s.text(7, row.unit);
    s.text(8, row.area);
    s.text(9, row.day.view());
    s.integer(10, row.qty);
    s.integer(11, row.total);
    s.integer(12, row.cost);
    s.integer(13, row.vchType);
    s.run();
    DayState& state = it->second;
    state.next = seq + 1;
    if (state.ids.find(row.id) == state.ids.end())
        state.ids.emplace(row.id);
}

void IntakeWriter::addStock(const StockRow& row)
{
    Statement& s = m_insertStock;
    s.text(1, row.id);
    s.text(2, row.usercode);
    s.text(3, row.ptypename);
    s.text(4, row.standard);
    s.text(5, row.type);
    s.text(6, row.unit);
    s.text(7, row.area);
    s.integer(8, row.qty);
    s.integer(9, row.total);
    s.run();
    if (m_stockIds.find(row.id) == m_stockIds.end())
        m_stockIds.emplace(row.id);
}

void IntakeWriter::replaceSales()
{
    Statement del(m_db, "DELETE FROM main.sales WHERE seq BETWEEN ?1 AND ?2 AND ID = ?3");
    for (const auto& [day, state] : m_days) {
        if (state.start < firstSeqOfDay(day))
            continue;  // nothing stored for that day before
        for (const std::string& id : state.ids) {
            del.integer(1, firstSeqOfDay(day));
            del.integer(2, state.start);
            del.text(3, id);
            del.run();
        }
    }
    m_days.clear();
}

void IntakeWriter::replaceStock()
{
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
    m_days.clear();
}

void IntakeWriter::unstageStock()
{
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
