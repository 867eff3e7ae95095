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
#include "engines/embedded/Sqlite.h"

#include <QStringList>
#include <memory>

namespace corvanta {

class EmbeddedEngine : public Engine {
public:
    EmbeddedEngine() = default;
    ~EmbeddedEngine() override;

    void open(const ConnectionProps& props) override;
    void close() override;
    bool isOpen() const override;
    QString currentDatabase() const override;
    void useDatabase(const QString& name) override;
    void execSql(const QString& text) override;
    std::vector<ParamInfo> procedureParams(const QString& name) override;
    CallResult call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values) override;
    void restoreTemplate(const QString& dbName) override;
    // One transaction around an import's intake; each call inside it is a savepoint of its own,
    // so a call that fails leaves the calls before it in place, as it would one by one.
    void beginBulk() override;
    void endBulk() override;

    // For the procedure bodies.
    sqlite::Db& db();
    bool inMaster() const { return !m_account; }
    const QString& dataDir() const { return m_dataDir; }
    // data/<name>.db, matched without regard to letter case.
    QString databaseFile(const QString& name) const;

private:
    QString m_dataDir;
    std::unique_ptr<sqlite::Db> m_master;
    std::unique_ptr<sqlite::Db> m_account;
    QString m_current;
    bool m_bulk = false;
    QStringList m_bulkChecked;  // procedures found registered during the bulk run
};

}  // namespace corvanta
