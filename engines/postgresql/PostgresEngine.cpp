#include "engines/postgresql/PostgresEngine.h"

#include "app/Sysdef.h"
#include "engines/IntakeCheck.h"
#include "engines/Values.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <libpq-fe.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <map>
#include <span>
#include <string>

namespace corvanta {

namespace {

// Type oids of the built-in types we read (fixed since PostgreSQL 7).
constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kDateOid = 1082;
constexpr Oid kNumericOid = 1700;

// The lock every catalogue script takes as well (data/drop.txt ...).
constexpr const char* kCatalogueLock = "SELECT pg_advisory_xact_lock(7235110001);\n";
// Held while a new account-set database is made.
constexpr qint64 kCreateLock = 7235110003;

struct ConnDeleter {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

void ignoreNotice(void*, const char*) {}

QString connectionError(PGconn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

// The server's own words: the primary message, then its detail on a line of its own.
QString resultError(const PGresult* r, PGconn* conn)
{
    if (r) {
        if (const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)) {
            QString text = QString::fromUtf8(primary);
            if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL))
                text += QLatin1Char('\n') + QString::fromUtf8(detail);
            return text;
        }
    }
    const QString text = connectionError(conn);
    return text.isEmpty() ? QStringLiteral("the database server did not answer") : text;
}

bool resultOk(const PGresult* r)
{
    if (!r)
        return false;
    const ExecStatusType s = PQresultStatus(r);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY;
}

ConnPtr connectTo(const ConnectionProps& props, const QString& database)
{
    const PgServerAddress address = parsePgDataSource(props.dataSource);
    std::vector<std::pair<QByteArray, QByteArray>> params;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            params.emplace_back(key, value.toUtf8());
    };
    add("host", address.host);
    add("port", address.port);
    add("dbname", pgDatabaseName(database));
    add("user", props.userId);
    if (props.password)
        params.emplace_back("password", props.password->toUtf8());
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("application_name", "Corvanta");
    params.emplace_back("connect_timeout", "15");
    // ISO dates whatever the server's default; notices are not shown to anybody.
    params.emplace_back("options", "-c datestyle=ISO,YMD -c client_min_messages=warning");

    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [k, v] : params) {
        keys.push_back(k.constData());
        values.push_back(v.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    ConnPtr conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn)
        throw DbError(QStringLiteral("out of memory while connecting to the database server"));
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw DbError(connectionError(conn.get()));
    PQsetNoticeProcessor(conn.get(), ignoreNotice, nullptr);
    return conn;
}

QString quoteIdentifier(PGconn* conn, const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    char* quoted = PQescapeIdentifier(conn, utf8.constData(), static_cast<size_t>(utf8.size()));
    if (!quoted)
        throw DbError(resultError(nullptr, conn));
    const QString text = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return text;
}

// "hz_GetNet;1" names the same procedure as "hz_GetNet".
QString baseProcedureName(const QString& name)
{
    static const QRegularExpression suffix(QStringLiteral(";\\d+$"));
    QString base = name.trimmed();
    base.remove(suffix);
    return base;
}

ParamType paramTypeOf(const QString& typeName)
{
    if (typeName == QLatin1String("integer") || typeName == QLatin1String("bigint")
        || typeName == QLatin1String("smallint"))
        return ParamType::Integer;
    if (typeName.startsWith(QLatin1String("numeric")) || typeName == QLatin1String("real")
        || typeName == QLatin1String("double precision"))
        return ParamType::Decimal;
    if (typeName == QLatin1String("date"))
        return ParamType::Date;
    return ParamType::Text;
}

QVariant fieldValue(const PGresult* r, int row, int col)
{
    if (PQgetisnull(r, row, col))
        return QVariant();
    const char* raw = PQgetvalue(r, row, col);
    switch (PQftype(r, col)) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
        return QVariant(QByteArray(raw).toLongLong());
    case kNumericOid:
        return QVariant(minimalDecimal(QString::fromLatin1(raw)));
    case kFloat4Oid:
    case kFloat8Oid:
        return QVariant(QByteArray(raw).toDouble());
    case kBoolOid:
        return QVariant(raw[0] == 't');
    case kDateOid:
        return QVariant(QString::fromLatin1(raw));
    default:
        return QVariant(QString::fromUtf8(raw));
    }
}

}  // namespace

QString PgDataDir()
{
    return GetDataDir();
}

QString pgDatabaseName(const QString& name)
{
    if (name.compare(QLatin1String("master"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("postgres");
    return name;
}

PgServerAddress parsePgDataSource(const QString& dataSource)
{
    const QString text = dataSource.trimmed();
    PgServerAddress address;
    if (text.isEmpty())
        return address;
    // "[v6address]:port" and "[v6address]".
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            address.host = text.mid(1, close - 1);
            const QString rest = text.mid(close + 1);
            if (rest.startsWith(QLatin1Char(':')))
                address.port = rest.mid(1);
            return address;
        }
    }
    static const QRegularExpression trailingPort(QStringLiteral("^(.*):(\\d+)$"));
    const auto m = trailingPort.match(text);
    // A bare IPv6 address has several colons and no port of its own.
    const bool bareV6 = !text.startsWith(QLatin1Char('/')) && text.count(QLatin1Char(':')) > 1;
    if (m.hasMatch() && !bareV6 && !m.captured(1).isEmpty()) {
        address.host = m.captured(1);
        address.port = m.captured(2);
    } else {
        address.host = text;
    }
    return address;
}

QString minimalDecimal(const QString& text)
{
    QString s = text.trimmed();
    if (s.isEmpty() || s == QLatin1String("NaN"))
        return s;
    bool negative = false;
    if (s.startsWith(QLatin1Char('-'))) {
        negative = true;
        s.remove(0, 1);
    } else if (s.startsWith(QLatin1Char('+'))) {
        s.remove(0, 1);
    }
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    while (s.size() > 1 && s.startsWith(QLatin1Char('0')) && s.at(1) != QLatin1Char('.'))
        s.remove(0, 1);
    if (s.isEmpty() || s.startsWith(QLatin1Char('.')))
        s.prepend(QLatin1Char('0'));
    if (s == QLatin1String("0"))
        return s;
    return negative ? QLatin1Char('-') + s : s;
}

namespace {

struct PgArg {
    QString name;  // as declared, without "@"
    Oid type = 0;
    ParamType kind = ParamType::Text;
};

struct ProcInfo {
    QString displayName;
    QString qualified;  // quoted schema.name
    bool returnsRows = false;
    std::vector<PgArg> args;
    QByteArray statement;  // the prepared call on this session; empty until first used
};

// A kind of intake line: the binary COPY that fills the connection's staging table (columns in
// the order the stream writes them) or, on the direct path, the account set's table.
struct BulkKind {
    const char* lines;  // "sales" / "stock", for messages
    const char* copy;
    const char* directCopy;  // the same stream straight into the account set's table
    const char* missing;    // deletes the staged lines of outlets no longer in the outlet list
    bool sales;
};

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

// COPY data is handed to libpq in pieces of about this size; the stream itself spans the intake.
// Well below a socket's buffer: a piece larger than the buffer makes the client wait for the
// server to drain it and the server wait for the next piece, so the two never work at once.
constexpr std::size_t kCopyChunk = 32 * 1024;

// The bytes of a COPY stream not yet handed to libpq, written in place (QByteArray::append is
// too slow for a few hundred small pieces per line).
class CopyBuffer {
public:
    char* extend(std::size_t n)
    {
        if (m_used + n > m_data.size())
            m_data.resize(std::max(m_data.size() * 2, m_used + n));
        char* p = m_data.data() + m_used;
        m_used += n;
        return p;
    }
    void append(const char* bytes, std::size_t n) { std::memcpy(extend(n), bytes, n); }
    const char* data() const { return m_data.data(); }
    std::size_t size() const { return m_used; }
    bool isEmpty() const { return m_used == 0; }
    void clear() { m_used = 0; }

private:
    std::vector<char> m_data;
    std::size_t m_used = 0;
};

// COPY's binary format, in network byte order.
void putInt16(CopyBuffer& out, int v)
{
    char* p = out.extend(2);
    p[0] = char((v >> 8) & 0xff);
    p[1] = char(v & 0xff);
}

void putInt32(CopyBuffer& out, qint32 v)
{
    const quint32 u = quint32(v);
    char* p = out.extend(4);
    p[0] = char(u >> 24);
    p[1] = char(u >> 16);
    p[2] = char(u >> 8);
    p[3] = char(u);
}

void putText(CopyBuffer& out, std::string_view value)
{
    putInt32(out, qint32(value.size()));
    out.append(value.data(), value.size());
}

// A decimal in millionths (see ParseScaled) as a numeric value with the scale its text had once
// trailing zeros are gone ("12.50" -> 12.5), as hz_util_decimal would store it.
void putScaled(CopyBuffer& out, qint64 scaled)
{
    const bool negative = scaled < 0;
    const quint64 v = negative ? quint64(-scaled) : quint64(scaled);
    quint64 integer = v / 1000000;
    const int fraction = int(v % 1000000);
    int dscale = 0;
    for (int f = fraction; f != 0 && dscale < 6; f = f % 100000 * 10)
        ++dscale;
    // Base-10000 digits: at most 3 integer groups (12 digits) and 2 fraction groups (6 digits).
    int groups[5];
    int intGroups = 0;
    int intDigits[3];
    while (integer != 0) {
        intDigits[intGroups++] = int(integer % 10000);
        integer /= 10000;
    }
    int count = 0;
    for (int g = intGroups - 1; g >= 0; --g)
        groups[count++] = intDigits[g];
    groups[count++] = fraction / 100;
    groups[count++] = fraction % 100 * 100;
    int weight = intGroups - 1;
    int first = 0;
    while (first < count && groups[first] == 0) {
        ++first;
        --weight;
    }
    int last = count;
    while (last > first && groups[last - 1] == 0)
        --last;
    const int ndigits = last - first;
    if (ndigits == 0)
        weight = 0;
    putInt32(out, 8 + 2 * ndigits);
    putInt16(out, ndigits);
    putInt16(out, weight);
    putInt16(out, negative && ndigits > 0 ? 0x4000 : 0);
    putInt16(out, dscale);
    for (int g = first; g < last; ++g)
        putInt16(out, groups[g]);
}

// PostgreSQL's dates count days from 2000-01-01.
constexpr qint64 kPgEpochJulian = 2451545;

// A text[] literal of the values (UTF-8).
template <typename Strings>
QByteArray textArray(const Strings& values)
{
    QByteArray array = "{";
    for (const std::string& value : values) {
        if (array.size() > 1)
            array += ',';
        array += '"';
        for (const char ch : value) {
            if (ch == '"' || ch == '\\')
                array += '\\';
            array += ch;
        }
        array += '"';
    }
    return array + '}';
}

class PostgresEngine : public Engine {
public:
    ~PostgresEngine() override { detachSession(); }

    void open(const ConnectionProps& props) override
    {
        close();
        m_conn = connectTo(props, props.initialCatalog);
        m_props = props;
        m_current = props.initialCatalog;
    }

    void close() override
    {
        detachSession();
        m_bulk = false;
        m_outlets.clear();
        m_lastOutletValid = false;
        abortCopy();
        dropDirect();  // the open transaction ends with the session
        m_conn.reset();
        m_procs.clear();
        m_current.clear();
    }

    bool isOpen() const override { return m_conn != nullptr; }

    QString currentDatabase() const override { return m_current; }

    void useDatabase(const QString& name) override
    {
        requireOpen();
        if (name == m_current)
            return;
        endBulk();
        // The old session stays usable when the new database cannot be reached.
        ConnPtr next = connectTo(m_props, actualDatabaseName(name));
        dropDirect();  // its staging goes with the old session as well
        m_conn = std::move(next);
        m_procs.clear();
        m_current = name;
    }

    void execSql(const QString& text) override
    {
        requireOpen();
        endBulk();
        settleDirect();
        m_procs.clear();
        // One implicit transaction for the whole batch, so the lock holds until its end.
        const QByteArray batch = QByteArray(kCatalogueLock) + text.toUtf8();
        ResultPtr r(PQexec(m_conn.get(), batch.constData()));
        const bool ok = resultOk(r.get());
        const QString error = ok ? QString() : resultError(r.get(), m_conn.get());
        r.reset();
        leaveOpenTransaction(!ok);
        if (!ok)
            throw DbError(error);
    }

    std::vector<ParamInfo> procedureParams(const QString& name) override
    {
        const ProcInfo& proc = procInfo(name);
        std::vector<ParamInfo> params;
        params.push_back({QStringLiteral("@RETURN_VALUE"), ParamType::Integer, ParamDirection::ReturnValue});
        for (const PgArg& a : proc.args)
            params.push_back({QLatin1Char('@') + a.name, a.kind, ParamDirection::Input});
        return params;
    }

    CallResult call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values) override
    {
        // An intake's lines first go where line-by-line calls would have put them: the lines
        // taken so far come before whatever this call does.
        if (m_bulk)
            flushBulk();
        settleDirect();
        // Prepared once per session: an import calls the same procedure for every line.
        ProcInfo& cached = procInfo(name);
        if (cached.statement.isEmpty())
            prepare(cached);
        const ProcInfo proc = cached;  // a copy: a failed call drops the cache entry

        std::vector<std::optional<QByteArray>> bound(proc.args.size());
        for (const auto& [paramName, value] : values) {
            QString key = paramName.trimmed();
            if (key.startsWith(QLatin1Char('@')))
                key.remove(0, 1);
            if (key.compare(QLatin1String("RETURN_VALUE"), Qt::CaseInsensitive) == 0)
                continue;
            std::size_t i = 0;
            while (i < proc.args.size() && proc.args[i].name.compare(key, Qt::CaseInsensitive) != 0)
                ++i;
            if (i == proc.args.size())
                throw DbError(QStringLiteral("The procedure %1 has no parameter %2.").arg(proc.displayName, paramName));
            // Blank text for a number or a date is no value, as it is for the embedded engine.
            const bool blank = proc.args[i].kind != ParamType::Text
                && (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
                && value.toString().trimmed().isEmpty();
            if (value.isNull() || blank)
                bound[i].reset();
            else
                bound[i] = valueText(value);
        }

        std::vector<const char*> pointers;
        for (std::size_t i = 0; i < proc.args.size(); ++i)
            pointers.push_back(bound[i] ? bound[i]->constData() : nullptr);

        ResultPtr r(PQexecPrepared(m_conn.get(), proc.statement.constData(), static_cast<int>(pointers.size()),
                                   pointers.data(), nullptr, nullptr, 0));
        if (!resultOk(r.get())) {
            const QString error = resultError(r.get(), m_conn.get());
            r.reset();
            leaveOpenTransaction(true);
            // The function may have been replaced meanwhile: look it up afresh next time.
            m_procs.remove(cacheKey(name));
            ResultPtr(PQexec(m_conn.get(), ("DEALLOCATE " + proc.statement).constData()));
            throw DbError(error);
        }

        CallResult result;
        if (!proc.returnsRows) {
            if (PQntuples(r.get()) > 0 && PQnfields(r.get()) > 0 && !PQgetisnull(r.get(), 0, 0))
                result.returnValue = QByteArray(PQgetvalue(r.get(), 0, 0)).toLongLong();
            return result;
        }

        Rowset rows;
        const int nFields = PQnfields(r.get());
        const int nRows = PQntuples(r.get());
        for (int c = 0; c < nFields; ++c)
            rows.fields << QString::fromUtf8(PQfname(r.get(), c));
        rows.rows.reserve(static_cast<std::size_t>(nRows));
        for (int row = 0; row < nRows; ++row) {
            QVariantList line;
            line.reserve(nFields);
            for (int c = 0; c < nFields; ++c)
                line << fieldValue(r.get(), row, c);
            rows.rows.push_back(std::move(line));
        }
        result.rowset = std::move(rows);
        r.reset();
        result.returnValue = takeRowsetReturnValue();
        return result;
    }

    std::unique_ptr<IntakeSession> beginIntake() override;

private:
    class Session;
    friend class Session;
    void detachSession();

    // An import's intake: hz_InsertSales and hz_InsertStock answer here, by the rules of their
    // PL/pgSQL bodies (outlet in the list, else -2; date, numbers, document type, else -1), and
    // the lines they take go to the connection's staging in one binary COPY stream per kind,
    // already converted, so the server does no per-line work beyond storing typed values (which
    // it still refuses when malformed). When the stream ends, the outlets it named are checked
    // again; lines of an outlet deleted meanwhile are dropped and the run fails with an error.
    void beginBulk()
    {
        if (!m_conn || m_bulk)
            return;
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
    }

    void endBulk()
    {
        if (!m_bulk)
            return;
        m_bulk = false;
        m_outlets.clear();
        m_lastOutletValid = false;
        flushBulk();
    }

public:
    void restoreTemplate(const QString& dbName) override
    {
        requireOpen();
        if (dbName.trimmed().isEmpty())
            throw DbError(QStringLiteral("The database name is empty."));
        const QString path = FindFileNoCase(PgDataDir(), QStringLiteral("tavikhz.sql"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("The account-set template %1 cannot be read: %2").arg(path, file.errorString()));
        const QByteArray script = file.readAll();

        settleDirect();  // CREATE DATABASE cannot run inside a transaction
        const QString ident = quoteIdentifier(m_conn.get(), dbName);
        {
            // Account-set names compare without regard to case, as on the embedded engine; the
            // session lock keeps two clients from creating "Shop" and "shop" at the same moment
            // (CREATE DATABASE cannot run inside a transaction that would hold a lock for it).
            exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(kCreateLock));
            struct Unlock {
                PostgresEngine* e;
                ~Unlock() { ResultPtr(PQexec(e->m_conn.get(), "SELECT pg_advisory_unlock_all()")); }
            } unlock{this};
            const QString existing = actualDatabaseName(dbName);
            if (databaseExists(existing))
                throw DbError(QStringLiteral("database \"%1\" already exists").arg(existing));
            // template0: nobody is ever connected to it, so concurrent creations cannot block each other.
            exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(ident));
        }
        try {
            ConnPtr target = connectTo(m_props, dbName);
            ResultPtr r(PQexec(target.get(), script.constData()));
            if (!resultOk(r.get()))
                throw DbError(QStringLiteral("%1: %2").arg(path, resultError(r.get(), target.get())));
        } catch (const DbError&) {
            // A database without its schema would be a trap for whoever registers it later.
            try {
                exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(ident));
            } catch (const DbError&) {
            }
            throw;
        }
    }

private:
    static QString cacheKey(const QString& name) { return baseProcedureName(name).toLower(); }

    void requireOpen() const
    {
        if (!m_conn)
            throw DbError(QStringLiteral("The connection to the database server is not open."));
    }

    // One line of the intake, values in the checks' order: checked by the rules of the
    // procedure's body, then converted into the COPY stream. Returns the procedure's value.
    qlonglong intake(const BulkKind& kind, std::span<const std::string_view> values)
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

    bool outletKnown(std::string_view key)
    {
        if (!m_lastOutletValid || key != m_lastOutlet) {
            m_lastOutlet.assign(key);
            m_lastOutletKnown = m_outlets.find(key) != m_outlets.end();
            m_lastOutletValid = true;
        }
        return m_lastOutletKnown;
    }

    void ensureCopy(const BulkKind& kind)
    {
        if (m_copyKind != &kind) {
            finishCopy();
            startCopy(kind);
        }
    }

    // Remembers the outlet (and, for sales, the day) of a line that went into the stream.
    void noteLine(std::string_view id, qint32 day, bool sales)
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

    void startCopy(const BulkKind& kind)
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

    void sendCopyData()
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

    // Ends a COPY that cannot be completed; the staging keeps nothing of it.
    void abortCopy()
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

    void resetCopy()
    {
        m_copyKind = nullptr;
        m_copyLines = 0;
        m_copyOutlets.clear();
        m_copyData.clear();
    }

    // Completes the COPY stream, if one is open, and checks its outlets once more.
    void finishCopy()
    {
        if (!m_copyKind)
            return;
        const BulkKind& kind = *m_copyKind;
        putInt16(m_copyData, -1);  // trailer
        sendCopyData();
        const qlonglong lines = m_copyLines;
        const KeySet outlets = std::move(m_copyOutlets);
        resetCopy();
        QString copyError;
        if (PQputCopyEnd(m_conn.get(), nullptr) != 1)
            copyError = resultError(nullptr, m_conn.get());
        qlonglong copied = -1;
        while (PGresult* raw = PQgetResult(m_conn.get())) {
            ResultPtr r(raw);
            if (!resultOk(r.get())) {
                if (copyError.isEmpty())
                    copyError = resultError(r.get(), m_conn.get());
            } else if (PQresultStatus(r.get()) == PGRES_COMMAND_OK) {
                copied = QByteArray(PQcmdTuples(r.get())).toLongLong();
            }
        }
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


    // ---- direct intake: the lines go straight into sales and stock inside one transaction that
    // stays open until the consolidation (see hz_util_direct_intake in the template).

    // Opens the transaction when the account set has the direct path and the staging is empty.
    void beginDirect()
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

    bool hasProcedure(const QString& name)
    {
        try {
            procInfo(name);
            return true;
        } catch (const DbError&) {
            return false;
        }
    }

    void clearDirect()
    {
        m_direct = false;
        m_directSales.clear();
        m_directStock.clear();
    }

    // The session is going away: its transaction rolls back with it.
    void dropDirect() { clearDirect(); }

    // Arguments of the direct functions: the outlet days and the outlets the intake wrote.
    QByteArray salesIds() const
    {
        std::vector<std::string> ids;
        for (const auto& [id, days] : m_directSales)
            ids.insert(ids.end(), days.size(), id);
        return textArray(ids);
    }
    QByteArray salesDates() const
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
    QByteArray stockIds() const { return textArray(m_directStock); }

    qlonglong directQuery(const char* sql, std::initializer_list<QByteArray> args)
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

    // Moves the given lines of the intake into the staging (a database error drops the intake).
    void stageDirect(bool sales, bool stock)
    {
        const QByteArray none = "{}";
        directQuery("SELECT hz_util_direct_stage($1::text[], $2::date[], $3::text[])",
                    {sales ? salesIds() : none, sales ? salesDates() : none, stock ? stockIds() : none});
    }

    // Any call but the consolidation: the lines move into the staging, where line-by-line calls
    // would have put them, and the transaction commits.
    void settleDirect()
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

    // hz_AddSales / hz_AddStock: the other kind's lines move into the staging; the kind's own
    // replace the lines of their outlet days (outlets) and the transaction commits. When the
    // consolidation refuses, its lines stay staged as well.
    CallResult consolidateDirect(bool sales)
    {
        CallResult result;
        try {
            if (sales ? !m_directStock.empty() : !m_directSales.empty())
                stageDirect(!sales, sales);
            result.returnValue = sales
                ? directQuery("SELECT hz_util_direct_add_sales($1::text[], $2::date[])", {salesIds(), salesDates()})
                : directQuery("SELECT hz_util_direct_add_stock($1::text[])", {stockIds()});
            if (result.returnValue != 0)
                stageDirect(sales, !sales);
            exec(QStringLiteral("COMMIT"));
        } catch (const DbError&) {
            leaveOpenTransaction(true);
            clearDirect();
            throw;
        }
        clearDirect();
        return result;
    }

    // Completes what the intake has sent so far.
    void flushBulk()
    {
        try {
            finishCopy();
        } catch (const DbError&) {
            abortCopy();
            leaveOpenTransaction(false);
            throw;
        }
    }

    // The name of the existing database that name means: the same name, else the one that
    // differs only in letter case; name itself when there is none.
    QString actualDatabaseName(const QString& name)
    {
        const QByteArray wanted = pgDatabaseName(name).toUtf8();
        const char* params[1] = {wanted.constData()};
        ResultPtr r(PQexecParams(m_conn.get(),
                                 "SELECT datname FROM pg_database WHERE lower(datname) = lower($1) "
                                 "ORDER BY datname = $1 DESC, datname LIMIT 1",
                                 1, nullptr, params, nullptr, nullptr, 0));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
        if (PQntuples(r.get()) < 1)
            return name;
        const QString found = QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
        return found == QString::fromUtf8(wanted) ? name : found;
    }

    bool databaseExists(const QString& name)
    {
        const QByteArray wanted = pgDatabaseName(name).toUtf8();
        const char* params[1] = {wanted.constData()};
        ResultPtr r(PQexecParams(m_conn.get(), "SELECT 1 FROM pg_database WHERE datname = $1", 1, nullptr, params,
                                 nullptr, nullptr, 0));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
        return PQntuples(r.get()) > 0;
    }

    void exec(const QString& sql)
    {
        ResultPtr r(PQexec(m_conn.get(), sql.toUtf8().constData()));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
    }

    // A script that opened a transaction and failed (or never closed it) must not leave the
    // session stuck inside it.
    void leaveOpenTransaction(bool failed)
    {
        const PGTransactionStatusType s = PQtransactionStatus(m_conn.get());
        if (s == PQTRANS_INERROR || (failed && s == PQTRANS_INTRANS)) {
            ResultPtr(PQexec(m_conn.get(), "ROLLBACK"));
            clearDirect();
        }
    }

    static QByteArray valueText(const QVariant& value)
    {
        switch (value.typeId()) {
        case QMetaType::QDate:
            return value.toDate().toString(Qt::ISODate).toUtf8();
        case QMetaType::Bool:
            return value.toBool() ? "1" : "0";
        default:
            return value.toString().toUtf8();
        }
    }

    // A rowset function reports a return value through the session setting corvanta.return_value;
    // it is read and cleared in one statement so that it never outlives its call.
    qlonglong takeRowsetReturnValue()
    {
        ResultPtr r(PQexec(m_conn.get(),
                           "SELECT v, set_config('corvanta.return_value', '', false) FROM "
                           "(SELECT current_setting('corvanta.return_value', true) AS v OFFSET 0) s"));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
        if (PQntuples(r.get()) < 1 || PQgetisnull(r.get(), 0, 0))
            return 0;
        return QByteArray(PQgetvalue(r.get(), 0, 0)).trimmed().toLongLong();
    }

    void prepare(ProcInfo& proc)
    {
        QStringList placeholders;
        std::vector<Oid> types;
        for (std::size_t i = 0; i < proc.args.size(); ++i) {
            placeholders << QStringLiteral("$%1").arg(i + 1);
            types.push_back(proc.args[i].type);
        }
        const QString sql = proc.returnsRows
            ? QStringLiteral("SELECT * FROM %1(%2)").arg(proc.qualified, placeholders.join(QLatin1Char(',')))
            : QStringLiteral("SELECT %1(%2)").arg(proc.qualified, placeholders.join(QLatin1Char(',')));
        const QByteArray statement = "corvanta_call_" + QByteArray::number(++m_statements);
        ResultPtr r(PQprepare(m_conn.get(), statement.constData(), sql.toUtf8().constData(),
                              static_cast<int>(types.size()), types.data()));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
        proc.statement = statement;
    }

    ProcInfo& procInfo(const QString& name)
    {
        requireOpen();
        const QString key = cacheKey(name);
        if (auto it = m_procs.find(key); it != m_procs.end())
            return *it;

        static const char* lookup =
            "SELECT p.oid, quote_ident(n.nspname) || '.' || quote_ident(p.proname), p.proretset, "
            "       p.prorettype::regtype::text, a.mode, coalesce(a.name, ''), a.typ, format_type(a.typ, NULL) "
            "FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
            "LEFT JOIN LATERAL unnest(coalesce(p.proallargtypes, p.proargtypes::oid[]), "
            "                         coalesce(p.proargmodes, array_fill('i'::\"char\", array[p.pronargs::int])), "
            "                         coalesce(p.proargnames, array_fill(''::text, array[p.pronargs::int]))) "
            "     WITH ORDINALITY AS a(typ, mode, name, ord) ON true "
            "WHERE lower(p.proname) = lower($1) AND p.prokind = 'f' AND pg_function_is_visible(p.oid) "
            "ORDER BY p.oid, a.ord";
        const QByteArray base = baseProcedureName(name).toUtf8();
        const char* params[1] = {base.constData()};
        ResultPtr r(PQexecParams(m_conn.get(), lookup, 1, nullptr, params, nullptr, nullptr, 0));
        if (!resultOk(r.get()))
            throw DbError(resultError(r.get(), m_conn.get()));
        const int n = PQntuples(r.get());
        if (n == 0)
            throw DbError(QStringLiteral("The procedure %1 does not exist in the database %2.")
                              .arg(baseProcedureName(name), m_current));
        ProcInfo proc;
        proc.displayName = baseProcedureName(name);
        const QByteArray firstOid = PQgetvalue(r.get(), 0, 0);
        proc.qualified = QString::fromUtf8(PQgetvalue(r.get(), 0, 1));
        const bool retset = PQgetvalue(r.get(), 0, 2)[0] == 't';
        const QString retType = QString::fromUtf8(PQgetvalue(r.get(), 0, 3));
        proc.returnsRows = retset || retType == QLatin1String("record")
            || (paramTypeOf(retType) != ParamType::Integer && retType != QLatin1String("void"));
        for (int i = 0; i < n; ++i) {
            if (QByteArray(PQgetvalue(r.get(), i, 0)) != firstOid)
                throw DbError(QStringLiteral("The procedure name %1 is ambiguous.").arg(proc.displayName));
            if (PQgetisnull(r.get(), i, 4))
                continue;  // no arguments at all
            const char mode = PQgetvalue(r.get(), i, 4)[0];
            if (mode != 'i' && mode != 'b' && mode != 'v')
                continue;
            PgArg arg;
            arg.name = QString::fromUtf8(PQgetvalue(r.get(), i, 5));
            if (arg.name.isEmpty())
                arg.name = QStringLiteral("$%1").arg(proc.args.size() + 1);
            arg.type = static_cast<Oid>(QByteArray(PQgetvalue(r.get(), i, 6)).toUInt());
            arg.kind = paramTypeOf(QString::fromUtf8(PQgetvalue(r.get(), i, 7)));
            proc.args.push_back(arg);
        }
        return *m_procs.insert(key, std::move(proc));
    }

    ConnPtr m_conn;
    ConnectionProps m_props;
    QString m_current;
    QHash<QString, ProcInfo> m_procs;
    quint64 m_statements = 0;  // names of prepared calls are never reused on a session

    bool m_bulk = false;
    Session* m_session = nullptr;  // the open intake session, if any
    KeySet m_outlets;  // outlet keys when the bulk run began
    std::string m_lastOutlet;  // the outlet key of the last line, and whether it is in m_outlets
    bool m_lastOutletKnown = false;
    bool m_lastOutletValid = false;  // whether the two above are of the current outlet list
    IntakeChecker m_checker{[this](std::string_view key) { return outletKnown(key); }};
    // The open COPY stream of the intake, if any.
    const BulkKind* m_copyKind = nullptr;
    CopyBuffer m_copyData;
    qlonglong m_copyLines = 0;
    KeySet m_copyOutlets;
    // A direct intake's open transaction, and the outlet days (sales) and outlets (stock) it wrote.
    bool m_direct = false;
    std::unordered_map<std::string, std::unordered_set<qint32>, KeyHash, std::equal_to<>> m_directSales;
    KeySet m_directStock;
};

// ---- the intake session ------------------------------------------------------------------------

class PostgresEngine::Session final : public IntakeSession {
public:
    explicit Session(PostgresEngine& engine) : m_engine(&engine) {}
    ~Session() override { abandon(); }

    int add(IntakeKind kind, std::span<const std::string_view> values) override
    {
        PostgresEngine& e = engine();
        if (values.size() != std::size_t(intakeFieldCount(kind)))
            throw DbError(QStringLiteral("An intake line has %1 values instead of %2")
                              .arg(values.size())
                              .arg(intakeFieldCount(kind)));
        if (!e.m_bulk)
            throw DbError(QStringLiteral("The intake is complete: no more lines"));
        return int(e.intake(bulkKind(kind), values));
    }

    void complete() override { engine().endBulk(); }

    std::optional<int> consolidate(IntakeKind kind) override
    {
        PostgresEngine& e = engine();
        e.endBulk();
        if (!e.m_direct)
            return std::nullopt;
        return int(e.consolidateDirect(kind == IntakeKind::Sales).returnValue);
    }

    // The lines taken so far are delivered; those of the direct path wait in their transaction
    // until the next call puts them into the staging (or a consolidation takes them).
    void abandon() noexcept override
    {
        if (!m_engine)
            return;
        PostgresEngine& e = *m_engine;
        detach();
        try {
            e.endBulk();
        } catch (...) {
        }
    }

    void detach()
    {
        if (m_engine && m_engine->m_session == this)
            m_engine->m_session = nullptr;
        m_engine = nullptr;
    }

private:
    PostgresEngine& engine()
    {
        if (!m_engine)
            throw DbError(QStringLiteral("The intake session has ended"));
        return *m_engine;
    }

    PostgresEngine* m_engine;
};

std::unique_ptr<IntakeSession> PostgresEngine::beginIntake()
{
    if (m_session)
        m_session->abandon();
    beginBulk();
    if (!m_bulk)
        return nullptr;  // an account set of an older template: the procedures one by one
    auto session = std::make_unique<Session>(*this);
    m_session = session.get();
    return session;
}

void PostgresEngine::detachSession()
{
    if (m_session)
        m_session->detach();
}

}  // namespace

std::unique_ptr<Engine> makePostgresEngine()
{
    return std::make_unique<PostgresEngine>();
}

}  // namespace corvanta
