#pragma once
// The embedded engine: SQLite files in the data folder. master.db holds the account-set
// catalogue; each account set is data/<database name>.db, made from the template data/tavikhz.
// Procedures are C++ functions (EmbeddedProcedures.cpp) that a database makes available by
// registering their name and parameter list in its table hz_procedures: the template registers
// the account-set procedures, the catalogue scripts register the master ones.
//
// "Data Source" names no server here and is accepted whatever it says; "User Id" and "PASSWORD"
// are not checked (the files are protected by the folder's permissions).
#include "engines/Engine.h"
#include "engines/EngineIntakeSession.h"
#include "engines/embedded/EmbeddedIntake.h"
#include "engines/embedded/Sqlite.h"

#include <QStringList>
#include <memory>
#include <thread>

namespace corvanta {

// The file that marks NAME.db as an unregistered creation of process pid.
QString creationMarker(const QString& dataDir, const QString& dbName, qint64 pid);
// Removes what creations of NAME by processes that no longer run left behind.
void removeDeadCreationDebris(const QString& dataDir, const QString& dbName);

class EmbeddedEngine : public Engine {
public:
    EmbeddedEngine() = default;
    ~EmbeddedEngine() override;

    QString kind() const override { return QStringLiteral("embedded"); }
    QString catalogueTableStatement() const override;
    // data/embedded/<name>: the server's scripts of the same names sit in data/ itself.
    QString catalogueScriptPath(const QString& name) const override;

    void open(const ConnectionProps& props) override;
    void close() override;
    bool isOpen() const override;
    QString currentDatabase() const override;
    void useDatabase(const QString& name) override;
    void execSql(const QString& text) override;
    std::vector<ParamInfo> procedureParams(const QString& name) override;
    CallResult call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values) override;
    void restoreTemplate(const QString& dbName) override;
    void abandonCreation(const QString& dbName) override;
    // An import's intake is one write transaction (EmbeddedSession.cpp). When the staging is
    // empty at its start, the lines go straight into the sales and stock tables (checked in C++
    // against the outlets read once) and the transaction stays open after the last line: the
    // consolidation of the session only removes the lines they replace and commits. Any call
    // first puts them back into the staging, so every outcome is that of staging line by line; a
    // killed process leaves the tables as they were. Otherwise each call is a savepoint of its
    // own inside the transaction.
    std::unique_ptr<IntakeSession> beginIntake() override;

    // For the procedure bodies.
    sqlite::Db& db();
    bool inMaster() const { return !m_account; }
    const QString& dataDir() const { return m_dataDir; }
    // data/<name>.db, matched without regard to letter case.
    QString databaseFile(const QString& name) const;

    // The import procedures (0 taken, -2 unknown outlet, -1 refused; consolidation throws).
    IntakeChecker outletChecker();
    qlonglong intakeSales(const SalesValues& values);
    qlonglong intakeStock(const StockValues& values);
    void clearStaging();
    void consolidate(bool sales, bool stock);

private:
    class Session;
    friend class Session;
    friend class EngineIntakeSession<EmbeddedEngine>;
    // forIntake: an import's intake, which throws ImportBusyError at once (after a short try)
    // while another connection writes the account set, and records its own start meanwhile.
    void beginBulk(bool forIntake = false);
    void endBulk();
    // The running import's record: data/.NAME.import-PID holding its start time. The lock of the
    // database is what counts; the record only says since when, and is ignored once PID is gone.
    QString importRecordPath() const;
    void writeImportRecord();
    void clearImportRecord();
    QDateTime otherImportStart() const;
    void startDirect();
    // Puts the lines written straight into the tables back into the staging; commits when the
    // bulk run is over.
    void settleDirect();
    void dropDirect();
    // Ends the intake state: the direct lines (rolled back) and the session's hold on the engine.
    void resetIntake();
    // Waits for the intake's background writer before the connection is used here; ends a run
    // of catalogue scripts first.
    void quiesce();
    // Ends the transaction a run of master scripts is in: committed when it changed anything,
    // rolled back (nothing written, no sync) when master is as it was.
    void settleCatalogue();
    // Any call while an intake holds lines in the tables: they go to the staging first.
    void beforeCall();
    // The checkpoint after an import's commit, on a thread and connection of its own.
    void startCheckpoint();
    void joinCheckpoint();

    QString m_dataDir;
    std::unique_ptr<sqlite::Db> m_master;
    std::unique_ptr<sqlite::Db> m_account;
    QString m_current;
    bool m_bulk = false;
    QStringList m_bulkChecked;  // procedures found registered during the bulk run
    std::unique_ptr<embedded::DirectIntake> m_direct;
    EngineIntakeSession<EmbeddedEngine>* m_session = nullptr;  // the open intake session, if any
    std::thread m_checkpointer;
    bool m_catalogueOpen = false;  // master scripts are running in one transaction
    QByteArray m_catalogueBefore;  // master's schema and rows when that transaction began
};

}  // namespace corvanta
