#pragma once
// The engine behind the data module: one database session that the stored-procedure call of
// TDMData drives. Two implementations: embedded (SQLite files in the data folder, procedure bodies
// in C++) and postgresql (libpq, procedures as PL/pgSQL functions).
//
// Value conventions, the same on both engines (the conformance suite checks them):
//   - text                 QString (stored as UTF-8)
//   - integers             qlonglong (return values, SYSID, VCHTYPE codes)
//   - quantities, amounts  exact decimals, delivered as QString in minimal form: "12.5", "10",
//                          "-3.25", "0" (no exponent, no grouping, no trailing fraction zeros)
//   - dates                QString "yyyy-mm-dd"
//   - NULL                 a null QVariant
#include "engines/Intake.h"
#include "base/CellStore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace corvanta {

// Any failure of the engine or of a call: the text is shown to the user as it stands.
class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit DbError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// The embedded engine's data folder cannot be written: no server name will help.
class DataFolderError : public DbError {
public:
    using DbError::DbError;
};

// A new account-set database cannot be made for a reason the user can act on; the text keeps the
// engine's own words.
class CreationError : public DbError {
public:
    enum class Why {
        NameTaken,        // a database of that name exists
        CreationRunning,  // another client is making a database of that name right now
        Registered,       // the catalogue lists that name already
        TemplateMissing,  // the account-set template cannot be read
        NotPermitted,     // the server login may not create databases
    };
    CreationError(Why why, const QString& name, const QString& text) : DbError(text), why(why), name(name) {}
    Why why;
    QString name;  // the database name, or the template's path
};

// Another import is writing the account set, so an intake cannot begin yet (the embedded engine
// has one writer at a time). since: when that import began, invalid when it left no record.
class ImportBusyError : public DbError {
public:
    ImportBusyError(const QDateTime& since, const QString& text) : DbError(text), since(since) {}
    QDateTime since;
};

enum class ParamType { Integer, Text, Decimal, Date };
enum class ParamDirection { Input, ReturnValue };

struct ParamInfo {
    QString name;  // "@ID", "@RETURN_VALUE" / "RETURN_VALUE" as the session reports it
    ParamType type = ParamType::Text;
    ParamDirection direction = ParamDirection::Input;
};

struct Rowset {
    QStringList fields;                // result field names as the procedure delivers them
    std::vector<QVariantList> rows;    // in delivery order
    // Long results come in text form instead: one store column per field, every value as the
    // UTF-8 of its text form (NULL as ""); rows is then empty. A few bytes a value instead of a
    // QVariant and a QString.
    std::optional<CellStore> text;
    std::size_t rowCount() const { return text ? std::size_t(text->rowCount()) : rows.size(); }
};

struct CallResult {
    std::optional<Rowset> rowset;  // present when the procedure returns rows
    qlonglong returnValue = 0;
};

// "Data Source", "Initial Catalog", "User Id", "PASSWORD" (absent when not set).
struct ConnectionProps {
    QString dataSource;
    QString initialCatalog;
    QString userId;
    std::optional<QString> password;
};

class Engine {
public:
    virtual ~Engine() = default;

    // What sets one engine apart for the data module: its kind ("embedded", "postgresql"), the
    // statement that creates the catalogue table SyshzZt unless it exists, and the path of one of
    // its catalogue scripts ("drop.txt", "CreateZt.txt", "DeleteZt.txt", "GetZt.txt").
    virtual QString kind() const = 0;
    virtual QString catalogueTableStatement() const = 0;
    virtual QString catalogueScriptPath(const QString& name) const = 0;

    virtual void open(const ConnectionProps& props) = 0;  // throws DbError
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // The current database: "master" after open, then the chosen account set's database.
    virtual QString currentDatabase() const = 0;
    virtual void useDatabase(const QString& name) = 0;

    // A plain SQL batch in the current database (the catalogue table and scripts).
    virtual void execSql(const QString& text) = 0;

    // The parameter list of a procedure of the current database, return value included, in
    // declaration order. Throws DbError for an unknown procedure.
    virtual std::vector<ParamInfo> procedureParams(const QString& name) = 0;

    // Runs a procedure with values already converted to the declared types (bound, never
    // spliced into SQL text). Throws DbError when the engine refuses.
    virtual CallResult call(const QString& name, const std::vector<std::pair<QString, QVariant>>& values) = 0;

    // An import's intake in the current account set (see Intake.h); the session must end before
    // the engine is used for anything else or goes away (another call ends it as described there).
    // nullptr when the engine or the account set has no intake of its own: the caller then calls
    // the intake procedures one by one.
    virtual std::unique_ptr<IntakeSession> beginIntake() { return nullptr; }

    // A new account-set database made from the template (the "restore"). dbName has been
    // validated as a plain identifier; throws DbError when the database exists or cannot be made.
    // Throws CreationError where the reason is known. Until hz_insertzt registers it, the new
    // database is marked as an unfinished creation of this session: a creation of the same name
    // after this session died removes it instead of finding the name taken.
    virtual void restoreTemplate(const QString& dbName) = 0;
    // The registration of what restoreTemplate made failed: removes that database again (only a
    // database this session made and nobody registered).
    virtual void abandonCreation(const QString& dbName) = 0;
};

// kind: "embedded" or "postgresql" (Config.cfg SYSTEM/ENGINE). Throws DbError for another kind.
std::unique_ptr<Engine> makeEngine(const QString& kind);

}  // namespace corvanta
