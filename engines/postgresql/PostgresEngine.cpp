#include "engines/postgresql/PostgresEngineImpl.h"

#include "base/Sysdef.h"
#include "engines/RowsetForm.h"

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <climits>
#include <optional>

namespace corvanta {

namespace pg {

namespace {
// The lock every catalogue script takes as well (data/drop.txt ...).
constexpr const char* kCatalogueLock = "SELECT pg_advisory_xact_lock(7235110001);\n";
// hz_util_template_version() of the account-set template in data/: an account set with a lower
// one has the template's re-runnable part run again when it is opened.
constexpr int kTemplateVersion = 4;
// Held while a new account-set database is made.
constexpr qint64 kCreateLock = 7235110003;
// Held while an older account set gains what the template added since.
constexpr const char* kUpgradeLock = "SELECT pg_advisory_xact_lock(7235110004);\n";

// The template's import-history section, which an account set made before it lacks.
QByteArray importHistorySection()
{
    const QString path = FindFileNoCase(PgDataDir(), QStringLiteral("tavikhz.sql"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("The account-set template %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray script = file.readAll();
    const qsizetype begin = script.indexOf("-- ---- import history (begin)");
    const qsizetype end = script.indexOf("-- ---- import history (end)");
    if (begin < 0 || end < begin)
        throw DbError(QStringLiteral("The account-set template %1 has no import-history section").arg(path));
    return script.mid(begin, end - begin);
}

// An account set (it has the outlet table) without the import history, or without its latest
// procedures, gets them, once.
void upgradeAccountSet(PGconn* conn)
{
    ResultPtr check(PQexec(conn, "SELECT to_regclass('outlets') IS NOT NULL "
                                 "AND (to_regprocedure('hz_getimportlog(bigint)') IS NULL "
                                 "OR to_regprocedure('hz_getstockimports()') IS NULL)"));
    if (!resultOk(check.get()))
        throw DbError(resultError(check.get(), conn));
    if (PQntuples(check.get()) != 1 || QByteArray(PQgetvalue(check.get(), 0, 0)) != "t")
        return;
    const QByteArray batch = QByteArray(kUpgradeLock) + importHistorySection();
    ResultPtr r(PQexec(conn, batch.constData()));
    if (!resultOk(r.get()))
        throw DbError(QStringLiteral("The import history cannot be added to this account set: %1")
                          .arg(resultError(r.get(), conn)));
}
}  // namespace

void PostgresEngine::open(const ConnectionProps& props)
{
    close();
    m_conn = connectTo(props, props.initialCatalog);
    m_props = props;
    m_current = props.initialCatalog;
    m_summaryReady = false;
}

void PostgresEngine::close()
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

void PostgresEngine::useDatabase(const QString& name)
{
    requireOpen();
    if (name == m_current)
        return;
    endBulk();
    // The old session stays usable when the new database cannot be reached.
    ConnPtr next = connectTo(m_props, actualDatabaseName(name));
    upgradeAccountSet(next.get());
    dropDirect();  // its staging goes with the old session as well
    m_conn = std::move(next);
    m_procs.clear();
    m_current = name;
    m_summaryReady = false;
}

// An account set made before the daily sales summary, before its packed form (one row per
// outlet day) or before its latest procedures: the template's summary part (table built from the
// lines if missing, the row-per-group table of earlier versions dropped, the procedures that keep
// and read it) runs once, as one transaction, under the part's advisory lock.
void PostgresEngine::ensureSalesSummary()
{
    if (m_summaryReady)
        return;
    // An account set of an earlier version has an older template version, or none at all.
    ResultPtr r(PQexec(m_conn.get(), "SELECT to_regclass('sales') IS NOT NULL, "
                                            "to_regclass('sales_daysum') IS NOT NULL "
                                            "AND to_regprocedure('hz_util_sum_written()') IS NOT NULL "
                                            "AND to_regprocedure('hz_getdeliveries(date,date)') IS NOT NULL "
                                            "AND to_regprocedure('hz_util_template_version()') IS NOT NULL"));
    if (!resultOk(r.get()) || PQntuples(r.get()) != 1)
        throw DbError(resultError(r.get(), m_conn.get()));
    const bool accountSet = PQgetvalue(r.get(), 0, 0)[0] == 't';
    bool missing = accountSet && PQgetvalue(r.get(), 0, 1)[0] != 't';
    r.reset();
    if (accountSet && !missing) {
        ResultPtr v(PQexec(m_conn.get(), "SELECT hz_util_template_version()"));
        if (!resultOk(v.get()) || PQntuples(v.get()) != 1)
            throw DbError(resultError(v.get(), m_conn.get()));
        missing = QByteArray(PQgetvalue(v.get(), 0, 0)).toInt() < kTemplateVersion;
    }
    if (missing) {
        const QString path = FindFileNoCase(PgDataDir(), QStringLiteral("tavikhz.sql"));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("The account-set template %1 cannot be read: %2").arg(path, file.errorString()));
        const QByteArray script = file.readAll();
        const qsizetype at = script.indexOf("-- ---- daily sales summary");
        if (at < 0)
            throw DbError(QStringLiteral("The account-set template %1 has no daily sales summary part").arg(path));
        // One PQexec with several statements is one transaction.
        ResultPtr u(PQexec(m_conn.get(), script.mid(at).constData()));
        if (!resultOk(u.get()))
            throw DbError(QStringLiteral("%1: %2").arg(path, resultError(u.get(), m_conn.get())));
        m_procs.clear();
    }
    m_summaryReady = true;
}

void PostgresEngine::execSql(const QString& text)
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

CallResult PostgresEngine::call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values)
{
    // An intake's lines first go where line-by-line calls would have put them: the lines
    // taken so far come before whatever this call does.
    if (m_bulk)
        flushBulk();
    settleDirect();
    ensureSalesSummary();  // an account set of an earlier version: upgraded on first use
    // hz_GetSales: the server hands its lines over unsorted, with their sort keys, and they are
    // put in its order here (a third of the time of a long query).
    const bool salesLines = cacheKey(name) == QLatin1String("hz_getsales")
        && hasProcedure(QStringLiteral("hz_util_sales_lines"));
    const QString procName = salesLines ? QStringLiteral("hz_util_sales_lines") : name;
    // Prepared once per session: an import calls the same procedure for every line.
    ProcInfo& cached = procInfo(procName);
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

    ResultPtr r(proc.oneShot ? PQexecParams(m_conn.get(), proc.sql.constData(), static_cast<int>(pointers.size()),
                                            proc.types.data(), pointers.data(), nullptr, nullptr, 0)
                             : PQexecPrepared(m_conn.get(), proc.statement.constData(),
                                              static_cast<int>(pointers.size()), pointers.data(), nullptr, nullptr, 0));
    if (!resultOk(r.get())) {
        const QString error = resultError(r.get(), m_conn.get());
        r.reset();
        leaveOpenTransaction(true);
        // The function may have been replaced meanwhile: look it up afresh next time.
        m_procs.remove(cacheKey(procName));
        if (!proc.oneShot)
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
    const int nFields = salesLines ? std::min(kSalesLineFields, PQnfields(r.get())) : PQnfields(r.get());
    const std::vector<int> order = salesLines ? salesLineOrder(r.get()) : std::vector<int>();
    const int nRows = salesLines ? int(order.size()) : PQntuples(r.get());
    for (int c = 0; c < nFields; ++c)
        rows.fields << QString::fromUtf8(PQfname(r.get(), c));
    if (TextRowsetsWanted() && deliversText(name)) {
        // Read in the order the rows came, then put in order column by column: the result's
        // rows read in the final order missed the cache at every row.
        rows.text = salesLines ? CellStore::reordered(textRows(r.get(), nFields), order) : textRows(r.get());
        r.reset();
        result.rowset = std::move(rows);
        result.returnValue = takeRowsetReturnValue();
        return result;
    }
    rows.rows.reserve(static_cast<std::size_t>(nRows));
    for (int i = 0; i < nRows; ++i) {
        const int row = salesLines ? order[std::size_t(i)] : i;
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

namespace {
// A creation in progress holds the session lock (kCreatorLockSpace, its key) until hz_insertzt
// registers its database (CreateZt.txt); the key is in the scratch name and in the marker.
constexpr int kCreatorLockSpace = 72351105;
constexpr const char* kScratchPrefix = "corvanta_creating_";
constexpr const char* kMarkerPrefix = "corvanta: unfinished creation ";

QString sqlState(const PGresult* r)
{
    const char* s = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    return s ? QString::fromLatin1(s) : QString();
}

// The key in the unfinished-creation marker of the database named exactly pgName; nothing when
// there is no such database or it carries no marker.
std::optional<QByteArray> creationMarkerKey(PGconn* conn, const QString& pgName)
{
    const QByteArray n = pgName.toUtf8();
    const char* p[1] = {n.constData()};
    ResultPtr r(PQexecParams(conn,
                             "SELECT substr(shobj_description(oid, 'pg_database'), 31) FROM pg_database "
                             "WHERE datname = $1 AND shobj_description(oid, 'pg_database') LIKE 'corvanta: unfinished creation %'",
                             1, nullptr, p, nullptr, nullptr, 0));
    if (!resultOk(r.get()) || PQntuples(r.get()) < 1)
        return std::nullopt;
    return QByteArray(PQgetvalue(r.get(), 0, 0));
}
}  // namespace

bool PostgresEngine::holdsCreatorLock(qint64 key)
{
    const QByteArray k = QByteArray::number(key);
    const char* params[1] = {k.constData()};
    ResultPtr r(PQexecParams(m_conn.get(),
                             "SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND pid = pg_backend_pid() "
                             "AND granted AND objsubid = 2 AND classid = 72351105 AND objid = $1::bigint",
                             1, nullptr, params, nullptr, nullptr, 0));
    return resultOk(r.get()) && PQntuples(r.get()) > 0;
}

// Drops what creations of other sessions that ended left behind: scratch databases, and the
// marked, unregistered database of dbName. A creation whose session still holds its lock (or this
// session's own) is left alone, and so is every registered database.
void PostgresEngine::removeDeadCreations(const QString& dbName)
{
    const QByteArray wanted = pgDatabaseName(dbName).toUtf8();
    const char* params[1] = {wanted.constData()};
    ResultPtr r(PQexecParams(
        m_conn.get(),
        "SELECT d.datname, coalesce(shobj_description(d.oid, 'pg_database'), ''), to_regclass('syshzzt') IS NOT NULL "
        "FROM pg_database d "
        "WHERE d.datname LIKE 'corvanta\\_creating\\_%' "
        "   OR (lower(d.datname) = lower($1) AND shobj_description(d.oid, 'pg_database') LIKE 'corvanta: unfinished creation %')",
        1, nullptr, params, nullptr, nullptr, 0));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
    struct Candidate {
        QString name;
        qint64 key;
    };
    std::vector<Candidate> candidates;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const QString name = QString::fromUtf8(PQgetvalue(r.get(), i, 0));
        const QString comment = QString::fromUtf8(PQgetvalue(r.get(), i, 1));
        bool ok = false;
        const qint64 key = name.startsWith(QLatin1String(kScratchPrefix))
            ? name.mid(int(qstrlen(kScratchPrefix))).toLongLong(&ok)
            : comment.mid(int(qstrlen(kMarkerPrefix))).toLongLong(&ok);
        if (ok && key > 0 && key <= INT_MAX)
            candidates.push_back({name, key});
    }
    const bool catalogue = PQntuples(r.get()) > 0 && PQgetvalue(r.get(), 0, 2)[0] == 't';
    r.reset();
    for (const Candidate& c : candidates) {
        if (holdsCreatorLock(c.key))
            continue;
        if (catalogue && !c.name.startsWith(QLatin1String(kScratchPrefix))) {
            const QByteArray n = c.name.toUtf8();
            const char* p[1] = {n.constData()};
            ResultPtr reg(PQexecParams(m_conn.get(), "SELECT 1 FROM SyshzZt WHERE lower(btrim(dbname)) = lower($1)", 1,
                                       nullptr, p, nullptr, nullptr, 0));
            if (!resultOk(reg.get()) || PQntuples(reg.get()) > 0)
                continue;
        }
        ResultPtr got(PQexec(m_conn.get(), QStringLiteral("SELECT pg_try_advisory_lock(%1, %2)")
                                               .arg(kCreatorLockSpace)
                                               .arg(c.key)
                                               .toUtf8()
                                               .constData()));
        if (!resultOk(got.get()) || PQgetvalue(got.get(), 0, 0)[0] != 't')
            continue;  // its creator still runs
        // A dying session may still be connected to it: then it goes with a later creation.
        ResultPtr(PQexec(m_conn.get(),
                         QStringLiteral("DROP DATABASE IF EXISTS %1").arg(quoteIdentifier(m_conn.get(), c.name)).toUtf8().constData()));
        ResultPtr(PQexec(m_conn.get(), QStringLiteral("SELECT pg_advisory_unlock(%1, %2)")
                                           .arg(kCreatorLockSpace)
                                           .arg(c.key)
                                           .toUtf8()
                                           .constData()));
    }
}

void PostgresEngine::restoreTemplate(const QString& dbName)
{
    using Why = CreationError::Why;
    requireOpen();
    if (dbName.trimmed().isEmpty())
        throw DbError(QStringLiteral("The database name is empty."));
    const QString path = FindFileNoCase(PgDataDir(), QStringLiteral("tavikhz.sql"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw CreationError(Why::TemplateMissing, path,
                            QStringLiteral("The account-set template %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray script = file.readAll();

    settleDirect();  // CREATE DATABASE cannot run inside a transaction
    const QString ident = quoteIdentifier(m_conn.get(), dbName);
    const qint64 key = QRandomGenerator::global()->bounded(1, INT_MAX);
    const QString scratch = QLatin1String(kScratchPrefix) + QString::number(key);
    const QString scratchIdent = quoteIdentifier(m_conn.get(), scratch);
    // Held until hz_insertzt registers the database, or the session ends.
    exec(QStringLiteral("SELECT pg_advisory_lock(%1, %2)").arg(kCreatorLockSpace).arg(key));
    bool made = false;
    struct Release {
        PostgresEngine* e;
        qint64 key;
        const bool& made;
        ~Release()
        {
            if (!made)
                ResultPtr(PQexec(e->m_conn.get(), QStringLiteral("SELECT pg_advisory_unlock(%1, %2)")
                                                      .arg(kCreatorLockSpace)
                                                      .arg(key)
                                                      .toUtf8()
                                                      .constData()));
        }
    } release{this, key, made};

    // Account-set names compare without regard to case, as on the embedded engine; the session
    // lock keeps two clients from taking "Shop" and "shop" at the same moment (CREATE DATABASE
    // cannot run inside a transaction that would hold a lock for it).
    struct Locked {
        PostgresEngine* e;
        explicit Locked(PostgresEngine* engine) : e(engine)
        {
            e->exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(kCreateLock));
        }
        ~Locked() { ResultPtr(PQexec(e->m_conn.get(), QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(kCreateLock).toUtf8().constData())); }
    };
    auto refuseTaken = [&] {
        const QString existing = actualDatabaseName(dbName);
        if (!databaseExists(existing))
            return;
        const bool running = creationMarkerKey(m_conn.get(), pgDatabaseName(existing)).has_value();
        throw CreationError(running ? Why::CreationRunning : Why::NameTaken, existing,
                            QStringLiteral("database \"%1\" already exists").arg(existing));
    };
    {
        Locked lock(this);
        removeDeadCreations(dbName);
        refuseTaken();
        // Made under a scratch name: a creation killed before the rename leaves nothing that
        // takes the name. template0: nobody is ever connected to it, so concurrent creations
        // cannot block each other.
        ResultPtr r(PQexec(m_conn.get(), QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'")
                                             .arg(scratchIdent)
                                             .toUtf8()
                                             .constData()));
        if (!resultOk(r.get())) {
            const QString error = resultError(r.get(), m_conn.get());
            if (sqlState(r.get()) == QLatin1String("42501"))
                throw CreationError(Why::NotPermitted, dbName, error);
            throw DbError(error);
        }
    }
    try {
        exec(QStringLiteral("COMMENT ON DATABASE %1 IS '%2%3'").arg(scratchIdent, QLatin1String(kMarkerPrefix)).arg(key));
        {
            ConnPtr target = connectTo(m_props, scratch);
            ResultPtr r(PQexec(target.get(), script.constData()));
            if (!resultOk(r.get()))
                throw DbError(QStringLiteral("%1: %2").arg(path, resultError(r.get(), target.get())));
        }
        Locked lock(this);
        refuseTaken();
        // The marker goes with it: until hz_insertzt registers it, it is this session's creation.
        exec(QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(scratchIdent, ident));
    } catch (const DbError&) {
        // A database without its schema would be a trap for whoever registers it later.
        ResultPtr(PQexec(m_conn.get(), QStringLiteral("DROP DATABASE IF EXISTS %1").arg(scratchIdent).toUtf8().constData()));
        throw;
    }
    made = true;
}

void PostgresEngine::abandonCreation(const QString& dbName)
{
    if (!m_conn || dbName.trimmed().isEmpty())
        return;
    const std::optional<QByteArray> marker = creationMarkerKey(m_conn.get(), pgDatabaseName(dbName));
    if (!marker)
        return;
    bool ok = false;
    const qint64 key = marker->toLongLong(&ok);
    // Only this session's own creation (it holds the lock of its key).
    if (!ok || !holdsCreatorLock(key))
        return;
    ResultPtr(PQexec(m_conn.get(), QStringLiteral("DROP DATABASE IF EXISTS %1").arg(quoteIdentifier(m_conn.get(), dbName)).toUtf8().constData()));
    ResultPtr(PQexec(m_conn.get(), QStringLiteral("SELECT pg_advisory_unlock(%1, %2)").arg(kCreatorLockSpace).arg(key).toUtf8().constData()));
}

void PostgresEngine::requireOpen() const
{
    if (!m_conn)
        throw DbError(QStringLiteral("The connection to the database server is not open."));
}

QString PostgresEngine::actualDatabaseName(const QString& name)
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

bool PostgresEngine::databaseExists(const QString& name)
{
    const QByteArray wanted = pgDatabaseName(name).toUtf8();
    const char* params[1] = {wanted.constData()};
    ResultPtr r(PQexecParams(m_conn.get(), "SELECT 1 FROM pg_database WHERE datname = $1", 1, nullptr, params,
                             nullptr, nullptr, 0));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
    return PQntuples(r.get()) > 0;
}

void PostgresEngine::exec(const QString& sql)
{
    ResultPtr r(PQexec(m_conn.get(), sql.toUtf8().constData()));
    if (!resultOk(r.get()))
        throw DbError(resultError(r.get(), m_conn.get()));
}

void PostgresEngine::leaveOpenTransaction(bool failed)
{
    const PGTransactionStatusType s = PQtransactionStatus(m_conn.get());
    if (s == PQTRANS_INERROR || (failed && s == PQTRANS_INTRANS)) {
        ResultPtr(PQexec(m_conn.get(), "ROLLBACK"));
        clearDirect();
    }
}

}  // namespace pg

std::unique_ptr<Engine> makePostgresEngine()
{
    return std::make_unique<pg::PostgresEngine>();
}

}  // namespace corvanta
