#pragma once
// The PostgreSQL engine's class, shared by its source files (nothing outside engines/postgresql
// includes it):
//   PostgresEngine.cpp  the session, SQL batches, procedure calls, new account sets
//   PgCatalogue.cpp     the procedure catalogue: lookup, prepared calls, result values
//   PgIntake.cpp        the import intake: the session, the COPY stream, the direct path
//   PgConnection.*      libpq handles and errors, the connection, the server address
//   PgCopy.h            the binary COPY encoder
#include "engines/EngineIntakeSession.h"
#include "engines/IntakeCheck.h"
#include "engines/postgresql/PgConnection.h"
#include "engines/postgresql/PgCopy.h"
#include "engines/postgresql/PostgresEngine.h"

#include <QHash>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace corvanta::pg {

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
const BulkKind& bulkKind(IntakeKind which);

// A field of a result row as the engine delivers it (see Engine.h).
QVariant fieldValue(const PGresult* r, int row, int col);

// "hz_GetNet;1" names the same procedure as "hz_GetNet".
QString baseProcedureName(const QString& name);

class PostgresEngine : public Engine {
public:
    ~PostgresEngine() override { detachSession(); }

    // PostgresEngine.cpp
    void open(const ConnectionProps& props) override;
    void close() override;
    bool isOpen() const override { return m_conn != nullptr; }
    QString currentDatabase() const override { return m_current; }
    void useDatabase(const QString& name) override;
    void execSql(const QString& text) override;
    CallResult call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values) override;
    void restoreTemplate(const QString& dbName) override;
    // PgCatalogue.cpp
    std::vector<ParamInfo> procedureParams(const QString& name) override;
    // PgIntake.cpp
    std::unique_ptr<IntakeSession> beginIntake() override;

private:
    // ---- PostgresEngine.cpp: the session

    void requireOpen() const;
    // The name of the existing database that name means: the same name, else the one that
    // differs only in letter case; name itself when there is none.
    QString actualDatabaseName(const QString& name);
    bool databaseExists(const QString& name);
    void exec(const QString& sql);
    // A script that opened a transaction and failed (or never closed it) must not leave the
    // session stuck inside it.
    void leaveOpenTransaction(bool failed);

    // ---- PgCatalogue.cpp: procedures

    static QString cacheKey(const QString& name) { return baseProcedureName(name).toLower(); }
    ProcInfo& procInfo(const QString& name);
    bool hasProcedure(const QString& name);
    void prepare(ProcInfo& proc);
    static QByteArray valueText(const QVariant& value);
    // A rowset function reports a return value through the session setting corvanta.return_value;
    // it is read and cleared in one statement so that it never outlives its call.
    qlonglong takeRowsetReturnValue();

    // ---- PgIntake.cpp: the import intake

    class Session;
    friend class Session;
    friend class EngineIntakeSession<PostgresEngine>;
    void detachSession();

    // The lines of an intake session are checked here by the rules of the PL/pgSQL bodies of
    // hz_InsertSales / hz_InsertStock (outlet in the list, else -2; date, numbers, document
    // type, else -1), and the lines taken go to the connection's staging in one binary COPY
    // stream per kind, already converted, so the server does no per-line work beyond storing
    // typed values (which it still refuses when malformed). When the stream ends, the outlets it
    // named are checked again; lines of an outlet deleted meanwhile are dropped and the intake
    // fails with an error.
    void beginBulk();
    void endBulk();
    // Completes what the intake has sent so far.
    void flushBulk();
    // One line of the intake, values in the order of SalesParam / StockParam: checked, then
    // converted into the COPY stream. Returns the intake procedure's value.
    qlonglong intake(const BulkKind& kind, std::span<const std::string_view> values);
    bool outletKnown(std::string_view key);
    void ensureCopy(const BulkKind& kind);
    // Remembers the outlet (and, for sales, the day) of a line that went into the stream.
    void noteLine(std::string_view id, qint32 day, bool sales);
    void startCopy(const BulkKind& kind);
    void sendCopyData();
    // Ends a COPY that cannot be completed; the staging keeps nothing of it.
    void abortCopy();
    void resetCopy();
    // Completes the COPY stream, if one is open, and checks its outlets once more.
    void finishCopy();

    // The direct intake: the lines go straight into sales and stock inside one transaction that
    // stays open until the consolidation (see hz_util_direct_intake in the template).
    // Opens the transaction when the account set has the direct path and the staging is empty.
    void beginDirect();
    void clearDirect();
    // The session is going away: its transaction rolls back with it.
    void dropDirect() { clearDirect(); }
    // Arguments of the direct functions: the outlet days and the outlets the intake wrote.
    QByteArray salesIds() const;
    QByteArray salesDates() const;
    QByteArray stockIds() const { return textArray(m_directStock); }
    qlonglong directQuery(const char* sql, std::initializer_list<QByteArray> args);
    // Moves the given lines of the intake into the staging (a database error drops the intake).
    void stageDirect(bool sales, bool stock);
    // Any call: the lines move into the staging, where line-by-line calls would have put them,
    // and the transaction commits.
    void settleDirect();
    // The session's consolidation: the other kind's lines move into the staging; the kind's own
    // replace the lines of their outlet days (outlets) and the transaction commits. When the
    // consolidation refuses, its lines stay staged as well.
    CallResult consolidateDirect(bool sales);

    ConnPtr m_conn;
    ConnectionProps m_props;
    QString m_current;
    QHash<QString, ProcInfo> m_procs;
    quint64 m_statements = 0;  // names of prepared calls are never reused on a session

    bool m_bulk = false;
    EngineIntakeSession<PostgresEngine>* m_session = nullptr;  // the open intake session, if any
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

}  // namespace corvanta::pg
