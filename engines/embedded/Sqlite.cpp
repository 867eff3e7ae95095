#include "engines/embedded/Sqlite.h"

#include "base/Values.h"

#include <QFile>
#include <sqlite3.h>

namespace corvanta::sqlite {

Query::~Query()
{
    if (!m_stmt)
        return;
    if (m_owned) {
        sqlite3_finalize(m_stmt);
        return;
    }
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

Query& Query::bind(int pos, const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return bindNull(pos);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::Bool:
        return bindInt(pos, value.toLongLong());
    default:
        return bindText(pos, value.toString());
    }
}

Query& Query::bindText(int pos, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text(m_stmt, pos, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        m_db->fail(QStringLiteral("bind"));
    return *this;
}

Query& Query::bindUtf8(int pos, std::string_view value)
{
    if (sqlite3_bind_text(m_stmt, pos, value.data() ? value.data() : "", int(value.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        m_db->fail(QStringLiteral("bind"));
    return *this;
}

Query& Query::bindInt(int pos, qint64 value)
{
    if (sqlite3_bind_int64(m_stmt, pos, value) != SQLITE_OK)
        m_db->fail(QStringLiteral("bind"));
    return *this;
}

Query& Query::bindNull(int pos)
{
    if (sqlite3_bind_null(m_stmt, pos) != SQLITE_OK)
        m_db->fail(QStringLiteral("bind"));
    return *this;
}

Query& Query::bindBlob(int pos, std::string_view value)
{
    if (sqlite3_bind_blob(m_stmt, pos, value.data() ? value.data() : "", int(value.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        m_db->fail(QStringLiteral("bind"));
    return *this;
}

bool Query::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_stmt);
        return false;
    }
    try {
        m_db->fail(QString::fromUtf8(sqlite3_sql(m_stmt)));
    } catch (...) {
        sqlite3_reset(m_stmt);
        throw;
    }
}

void Query::reset()
{
    sqlite3_reset(m_stmt);
}

void Query::run()
{
    while (step()) {
    }
}

bool Query::isNull(int col) const
{
    return sqlite3_column_type(m_stmt, col) == SQLITE_NULL;
}

qint64 Query::integer(int col) const
{
    return sqlite3_column_int64(m_stmt, col);
}

QString Query::text(int col) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
    const int n = sqlite3_column_bytes(m_stmt, col);
    return p ? QString::fromUtf8(p, n) : QString();
}

std::string_view Query::bytes(int col) const
{
    // The column looked up once for both (sqlite3_column_text and _bytes each look it up and
    // check the connection again: a sixth of reading a long result). The connection is used
    // by one thread at a time, as the column's value needs.
    sqlite3_value* v = sqlite3_column_value(m_stmt, col);
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    const int n = sqlite3_value_bytes(v);
    return p ? std::string_view(p, size_t(n)) : std::string_view();
}

std::optional<qint64> Query::integerOrNull(int col) const
{
    sqlite3_value* v = sqlite3_column_value(m_stmt, col);
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_value_int64(v);
}

std::string_view Query::blob(int col) const
{
    const auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, col));
    const int n = sqlite3_column_bytes(m_stmt, col);
    return p ? std::string_view(p, size_t(n)) : std::string_view();
}

std::unique_ptr<Db> Db::open(const QString& path, int flags, int busyTimeoutMs, bool wal)
{
    // Memory statistics cost a global mutex per allocation; nothing here reads them.
    static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    (void)configured;
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory");
        sqlite3_close_v2(raw);
        throw DbError(QStringLiteral("Cannot open database file %1: %2").arg(path, msg));
    }
    std::unique_ptr<Db> db(new Db(raw, path));
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    if (wal)
        db->exec(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"));
    db->exec(QStringLiteral("PRAGMA foreign_keys=ON;"));
    return db;
}

Db::~Db()
{
    for (auto& [sql, stmt] : m_cache)
        sqlite3_finalize(stmt);
    sqlite3_close_v2(m_db);
}

void Db::exec(const QString& sql)
{
    char* err = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString msg = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        throw DbError(QStringLiteral("%1 (database %2)").arg(msg, m_path));
    }
}

Query Db::prepare(const char* sql)
{
    auto it = m_cache.find(sql);
    if (it == m_cache.end()) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
            fail(QString::fromUtf8(sql));
        it = m_cache.emplace(sql, stmt).first;
    }
    return Query(it->second, this);
}

Query Db::prepare(const QString& sql)
{
    return prepare(sql.toUtf8().constData());
}

Query Db::compile(const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail(QString::fromUtf8(sql));
    }
    return Query(stmt, this, true);
}

qint64 Db::changes() const
{
    return sqlite3_changes64(m_db);
}

qint64 Db::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

bool Db::inTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}

void Db::fail(const QString& what) const
{
    // sum() over the stored millionths left the 64-bit range: say so rather than give any figure.
    if (qstrcmp(sqlite3_errmsg(m_db), "integer overflow") == 0)
        throw DbError(SumOutOfRangeText());
    throw DbError(QStringLiteral("%1 (database %2; %3)")
                      .arg(QString::fromUtf8(sqlite3_errmsg(m_db)), m_path, what.simplified().left(200)));
}

Transaction::Transaction(Db& db) : m_db(db)
{
    m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!m_done && m_db.inTransaction()) {
        try {
            m_db.exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
        }
    }
}

void Transaction::commit()
{
    m_db.exec(QStringLiteral("COMMIT"));
    m_done = true;
}

}  // namespace corvanta::sqlite
