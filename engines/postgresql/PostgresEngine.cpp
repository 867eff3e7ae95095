#include "engines/postgresql/PostgresEngine.h"

#include "app/Sysdef.h"
#include "engines/Values.h"

#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <libpq-fe.h>

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

// The intake procedures a bulk run takes over: the parameters in the column order of the
// server's bulk table, and the server function that checks and stages what was copied.
struct BulkKind {
    const char* procedure;  // lower case
    QStringList params;     // without "@"
    const char* copy;
    const char* stage;
    bool sales;
};

const std::vector<BulkKind>& bulkKinds()
{
    static const std::vector<BulkKind> kinds = {
        {"hz_insertsales",
         {"USERCODE", "PTYPENAME", "STANDARD", "TYPE", "UNIT", "AREA", "DATE", "QTY", "TOTAL", "COSTTOTAL", "VCHTYPE",
          "ID"},
         "COPY pg_temp.hz_bulk_sales (usercode, ptypename, standard, type, unit, area, saledate, qty, total, "
         "costtotal, vchtype, id) FROM STDIN",
         "SELECT hz_util_bulk_sales()", true},
        {"hz_insertstock",
         {"USERCODE", "PTYPENAME", "STANDARD", "TYPE", "UNIT", "AREA", "KCQTY", "KCTOTAL", "ID"},
         "COPY pg_temp.hz_bulk_stock (usercode, ptypename, standard, type, unit, area, kcqty, kctotal, id) FROM STDIN",
         "SELECT hz_util_bulk_stock()", false},
    };
    return kinds;
}

// Lines held back before they are copied to the server in one go.
constexpr int kBulkBatch = 5000;

// The rule of hz_util_decimal: a decimal with at most 12 integer and 6 fraction digits.
bool bulkDecimalOk(const QString& text)
{
    const std::optional<QString> c = CanonicalDecimal(text);
    if (!c)
        return false;
    QStringView v = *c;
    if (v.startsWith(u'-'))
        v = v.mid(1);
    const qsizetype dot = v.indexOf(u'.');
    return (dot < 0 ? v.size() : dot) <= 12 && (dot < 0 ? 0 : v.size() - dot - 1) <= 6;
}

// One field in COPY's text format.
void appendCopyField(QByteArray& out, const QString& value)
{
    for (const char ch : value.toUtf8()) {
        switch (ch) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += ch;
        }
    }
}

class PostgresEngine : public Engine {
public:
    ~PostgresEngine() override = default;

    void open(const ConnectionProps& props) override
    {
        close();
        m_conn = connectTo(props, props.initialCatalog);
        m_props = props;
        m_current = props.initialCatalog;
    }

    void close() override
    {
        m_bulk = false;
        m_outlets.clear();
        m_buffers.clear();
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
        m_conn = std::move(next);
        m_procs.clear();
        m_current = name;
    }

    void execSql(const QString& text) override
    {
        requireOpen();
        endBulk();
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
        if (m_bulk) {
            if (const BulkKind* kind = bulkKind(name))
                return bulkCall(*kind, values);
            flushBulk();  // the lines taken so far come before whatever this call does
        }
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

    // An import's intake: hz_InsertSales and hz_InsertStock answer here, by the rules of their
    // PL/pgSQL bodies (outlet in the list, else -2; date, numbers, document type, else -1), and
    // the lines they take go to the server in COPY batches, where hz_util_bulk_sales/stock check
    // them again and stage them. A line the server refuses after the engine took it fails the
    // run with an error, never silently. One round trip per batch instead of one per line.
    void beginBulk() override
    {
        if (!m_conn || m_bulk)
            return;
        QSet<QString> outlets;
        try {
            // Account sets made from an older template have no bulk intake: plain calls then.
            procInfo(QStringLiteral("hz_util_bulk_sales"));
            procInfo(QStringLiteral("hz_util_bulk_stock"));
            exec(QStringLiteral("SELECT hz_util_staging()"));
            ResultPtr r(PQexec(m_conn.get(), "SELECT idkey FROM outlets"));
            if (!resultOk(r.get()))
                throw DbError(resultError(r.get(), m_conn.get()));
            for (int i = 0; i < PQntuples(r.get()); ++i)
                outlets.insert(QString::fromUtf8(PQgetvalue(r.get(), i, 0)));
        } catch (const DbError&) {
            leaveOpenTransaction(true);
            return;
        }
        m_outlets = std::move(outlets);
        m_buffers.clear();
        m_bulk = true;
    }

    void endBulk() override
    {
        if (!m_bulk)
            return;
        m_bulk = false;
        m_outlets.clear();
        flushBulk();
    }

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

    static const BulkKind* bulkKind(const QString& name)
    {
        const QString key = cacheKey(name);
        for (const BulkKind& k : bulkKinds())
            if (key == QLatin1String(k.procedure))
                return &k;
        return nullptr;
    }

    CallResult bulkCall(const BulkKind& kind, const std::vector<std::pair<QString, QVariant>>& values)
    {
        QStringList fields(kind.params.size());
        for (const auto& [paramName, value] : values) {
            QString key = paramName.trimmed();
            if (key.startsWith(QLatin1Char('@')))
                key.remove(0, 1);
            if (key.compare(QLatin1String("RETURN_VALUE"), Qt::CaseInsensitive) == 0)
                continue;
            qsizetype i = kind.params.size() - 1;
            while (i >= 0 && kind.params[i].compare(key, Qt::CaseInsensitive) != 0)
                --i;
            if (i < 0)
                throw DbError(QStringLiteral("The procedure %1 has no parameter %2.")
                                  .arg(QLatin1String(kind.procedure), paramName));
            fields[i] = value.isNull() ? QString() : value.toString();
        }
        auto field = [&](const char* name) { return fields[kind.params.indexOf(QLatin1String(name))]; };

        CallResult result;
        if (!m_outlets.contains(field("ID").trimmed())) {
            result.returnValue = -2;
            return result;
        }
        bool ok;
        if (kind.sales) {
            const QString vch = field("VCHTYPE").trimmed();
            ok = CanonicalDate(field("DATE")).has_value() && bulkDecimalOk(field("QTY"))
                && bulkDecimalOk(field("TOTAL")) && bulkDecimalOk(field("COSTTOTAL"))
                && (vch == QLatin1String("11") || vch == QLatin1String("45"));
        } else {
            ok = bulkDecimalOk(field("KCQTY")) && bulkDecimalOk(field("KCTOTAL"));
        }
        if (!ok) {
            result.returnValue = -1;
            return result;
        }
        BulkBuffer& buffer = m_buffers[kind.procedure];
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                buffer.data += '\t';
            appendCopyField(buffer.data, fields[i]);
        }
        buffer.data += '\n';
        if (++buffer.lines >= kBulkBatch)
            flushBulk();
        return result;
    }

    // Copies the lines held back to the server and has it stage them, one transaction per kind.
    void flushBulk()
    {
        for (const BulkKind& kind : bulkKinds()) {
            auto it = m_buffers.find(kind.procedure);
            if (it == m_buffers.end() || it->lines == 0)
                continue;
            const BulkBuffer buffer = std::move(*it);
            m_buffers.erase(it);
            try {
                exec(QStringLiteral("BEGIN"));
                ResultPtr copy(PQexec(m_conn.get(), kind.copy));
                if (PQresultStatus(copy.get()) != PGRES_COPY_IN)
                    throw DbError(resultError(copy.get(), m_conn.get()));
                copy.reset();
                if (PQputCopyData(m_conn.get(), buffer.data.constData(), static_cast<int>(buffer.data.size())) != 1
                    || PQputCopyEnd(m_conn.get(), nullptr) != 1)
                    throw DbError(resultError(nullptr, m_conn.get()));
                QString copyError;
                while (PGresult* raw = PQgetResult(m_conn.get())) {
                    ResultPtr r(raw);
                    if (!resultOk(r.get()) && copyError.isEmpty())
                        copyError = resultError(r.get(), m_conn.get());
                }
                if (!copyError.isEmpty())
                    throw DbError(copyError);
                ResultPtr staged(PQexec(m_conn.get(), kind.stage));
                if (!resultOk(staged.get()) || PQntuples(staged.get()) != 1)
                    throw DbError(resultError(staged.get(), m_conn.get()));
                const qlonglong refused = QByteArray(PQgetvalue(staged.get(), 0, 0)).toLongLong();
                staged.reset();
                exec(QStringLiteral("COMMIT"));
                if (refused != 0)
                    throw DbError(QStringLiteral("The server refused %1 of %2 lines that %3 had taken (an outlet "
                                                 "deleted meanwhile?); they were not imported.")
                                      .arg(refused)
                                      .arg(buffer.lines)
                                      .arg(QLatin1String(kind.procedure)));
            } catch (const DbError&) {
                leaveOpenTransaction(true);
                throw;
            }
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
        if (s == PQTRANS_INERROR || (failed && s == PQTRANS_INTRANS))
            ResultPtr(PQexec(m_conn.get(), "ROLLBACK"));
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

    struct BulkBuffer {
        QByteArray data;  // COPY text lines
        int lines = 0;
    };
    bool m_bulk = false;
    QSet<QString> m_outlets;  // outlet keys when the bulk run began
    QHash<QByteArray, BulkBuffer> m_buffers;
};

}  // namespace

std::unique_ptr<Engine> makePostgresEngine()
{
    return std::make_unique<PostgresEngine>();
}

}  // namespace corvanta
