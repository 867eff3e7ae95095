#pragma once
// A thin layer over the sqlite3 C API: one connection with a cache of prepared statements, and a
// statement handle that resets itself when it goes out of scope. Failures raise DbError.
#include "engines/Engine.h"

#include <QString>
#include <QVariant>
#include <memory>
#include <string>
#include <optional>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace corvanta::sqlite {

class Db;

class Query {
public:
    // owned: finalized with the query (Db::compile), else reset for the connection's cache.
    Query(sqlite3_stmt* stmt, Db* db, bool owned = false) : m_stmt(stmt), m_db(db), m_owned(owned) {}
    Query(Query&& other) noexcept : m_stmt(other.m_stmt), m_db(other.m_db), m_owned(other.m_owned) { other.m_stmt = nullptr; }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query();

    // 1-based positions; a null QVariant binds NULL, qlonglong/int bind integers, the rest text.
    Query& bind(int pos, const QVariant& value);
    Query& bindText(int pos, const QString& value);
    Query& bindUtf8(int pos, std::string_view value);
    Query& bindInt(int pos, qint64 value);
    Query& bindNull(int pos);
    Query& bindBlob(int pos, std::string_view value);

    // true while a row is there; after the last row or a failure the query is reset (bindings
    // stay), so a held query can be bound and run again.
    bool step();
    void run();   // steps to the end
    void reset();

    bool isNull(int col) const;
    qint64 integer(int col) const;
    QString text(int col) const;
    std::string_view bytes(int col) const;  // UTF-8, valid until the next step
    std::optional<qint64> integerOrNull(int col) const;
    std::string_view blob(int col) const;   // valid until the next step

private:
    sqlite3_stmt* m_stmt;
    Db* m_db;
    bool m_owned;
};

class Db {
public:
    // flags: sqlite3_open_v2 flags. Sets WAL mode, a busy timeout and foreign keys.
    static std::unique_ptr<Db> open(const QString& path, int flags, int busyTimeoutMs = 5000, bool wal = true);
    ~Db();
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // One or more statements without parameters.
    void exec(const QString& sql);
    // A cached prepared statement for one statement.
    Query prepare(const char* sql);
    Query prepare(const QString& sql);
    // A statement of the caller's own, outside the cache: for one held for long (as the
    // intake's, which its writer thread runs) or one run once.
    Query compile(const char* sql);

    qint64 changes() const;
    qint64 lastInsertId() const;
    bool inTransaction() const;
    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }

    [[noreturn]] void fail(const QString& what) const;

private:
    Db(sqlite3* db, QString path) : m_db(db), m_path(std::move(path)) {}
    sqlite3* m_db;
    QString m_path;
    std::unordered_map<std::string, sqlite3_stmt*> m_cache;
};

// Runs a function inside BEGIN IMMEDIATE ... COMMIT; rolls back when it throws.
class Transaction {
public:
    explicit Transaction(Db& db);
    ~Transaction();
    void commit();

private:
    Db& m_db;
    bool m_done = false;
};

}  // namespace corvanta::sqlite
