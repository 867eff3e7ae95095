#pragma once
// The data module: the one connection and its command objects, and the stored-procedure call
// every window uses:
//   1. Close the command and clear its parameters.
//   2. Set the procedure name with ";1" ("hz_GetNet;1").
//   3. Mark it prepared and refresh the parameters (names, types, return value) from the engine.
//   4. Set each value by name; it is converted to the declared type at once, and a value that
//      cannot be converted raises DbError before anything runs.
//   5. Open (rowset) or execute.
//   6. Read the return value by ReturnValueName() ("RETURN_VALUE" and "@RETURN_VALUE" both name it).
// CallProc() does all six in one go.
#include "engines/DatabaseName.h"
#include "engines/Engine.h"

#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace corvanta {

class TADOConnection;

// One field of the current row of a rowset.
class TField {
public:
    TField(QString name, QVariant value) : m_name(std::move(name)), m_value(std::move(value)) {}
    const QString& FieldName() const { return m_name; }
    const QVariant& Value() const { return m_value; }
    bool IsNull() const { return m_value.isNull(); }
    QString AsString() const;  // "" for NULL
    // Throws DbError when the value is not a whole number (NULL gives 0).
    qlonglong AsInteger() const;

private:
    QString m_name;
    QVariant m_value;
};

// A parameter of a command after the refresh.
struct TParameter {
    ParamInfo info;
    QVariant value;  // converted to the declared type; null when not set
};

// A command bound to the connection: a stored procedure (ADOSProc, QueryProc, InsertProc,
// ADOCofig) or an SQL text (CreateGetZt, ADOQuery2, ADOQueryCreateDb).
class TADOCommand {
public:
    explicit TADOCommand(TADOConnection& connection) : m_conn(connection) {}

    // Step 1.
    void Close();
    void ClearParameters();
    // Step 2: "hz_GetNet;1"; the ";1" is dropped before the engine is asked.
    void SetProcedureName(const QString& name);
    const QString& ProcedureName() const { return m_procName; }
    // Step 3.
    void SetPrepared(bool prepared) { m_prepared = prepared; }
    bool Prepared() const { return m_prepared; }
    void RefreshParameters();
    const std::vector<TParameter>& Parameters() const { return m_params; }
    // Step 4: by name, without regard to letter case. Throws DbError for an unknown name or a
    // value that the declared type cannot take.
    void SetParam(const QString& name, const QVariant& value);
    // Step 5.
    void Open();
    void ExecProc();
    // Step 6.
    QVariant ParamValue(const QString& name) const;
    int ReturnValue() const;  // the parameter named ReturnValueName(), as an integer

    // The rowset of the last Open, read first to last.
    bool Active() const { return m_rowset.has_value(); }
    bool Eof() const;
    void First() { m_row = 0; }
    void Next();
    int RecordCount() const;
    const QStringList& FieldNames() const;
    bool HasField(const QString& name) const;
    // Field of the current row by name, without regard to letter case. Throws DbError for an
    // unknown field or when there is no current row.
    TField FieldByName(const QString& name) const;
    QString FieldText(const QString& name) const { return FieldByName(name).AsString(); }
    // For long rowsets: a field's position once (throws DbError for an unknown name), then the
    // current row's value by position without a TField per cell (null past the row's end).
    int FieldIndex(const QString& name) const;
    QVariant FieldValueAt(int index) const;
    // The open rowset in text form (long results of some procedures), read by position and row
    // without a QVariant per value; nullptr when the rowset holds values.
    const CellStore* TextRowset() const;
    // The text-form rowset handed over whole (no copy) and the command closed; nullopt when the
    // rowset is not in text form.
    std::optional<CellStore> TakeTextRowset();
    int CurrentRow() const { return int(m_row); }

    // SQL text commands.
    void SetCommandText(const QString& text) { m_commandText = text; }
    const QString& CommandText() const { return m_commandText; }
    void Execute();

private:
    TParameter* findParam(const QString& name);
    const TParameter* findParam(const QString& name) const;
    CallResult run();

    TADOConnection& m_conn;
    QString m_procName;   // as set, with ";1"
    QString m_procBare;   // without the group number
    QString m_commandText;
    bool m_prepared = false;
    std::vector<TParameter> m_params;
    std::optional<Rowset> m_rowset;
    std::map<QString, int> m_fieldIndex;  // lower-case name -> column
    size_t m_row = 0;
    std::optional<qlonglong> m_returnValue;
};

using TADOStoredProc = TADOCommand;
using TADOQuery = TADOCommand;

// The one connection. Properties "Data Source", "Initial Catalog", "User Id", "PASSWORD" (names
// without regard to letter case); Open makes an engine of the kind set (makeEngine()).
class TADOConnection {
public:
    TADOConnection() = default;
    ~TADOConnection();

    void SetProperty(const QString& name, const QString& value);
    void ClearProperties();
    std::optional<QString> Property(const QString& name) const;
    // "embedded" (also when empty) or "postgresql", as the caller read it from Config.cfg.
    void SetEngineKind(const QString& kind) { m_engineKind = kind; }

    void Open();   // throws DbError
    void Close();
    bool Connected() const;

    // The current database ("master" after Open); setting it switches the connection.
    QString DefaultDatabase() const;
    void SetDefaultDatabase(const QString& name);

    // The kind set, or that of the open connection's engine.
    QString EngineKind() const;
    Engine& engine();
    // Changes whenever cached parameter lists may have gone stale (open, close, switch, SQL text).
    quint64 Generation() const { return m_generation; }
    void Invalidate() { ++m_generation; m_paramCache.clear(); }

    // Parameter lists per database and procedure (lower case).
    std::map<std::pair<QString, QString>, std::vector<ParamInfo>>& ParamCache() { return m_paramCache; }

private:
    std::vector<std::pair<QString, QString>> m_props;
    std::unique_ptr<Engine> m_engine;
    QString m_engineKind;
    quint64 m_generation = 0;
    std::map<std::pair<QString, QString>, std::vector<ParamInfo>> m_paramCache;
};

class TDMData {
public:
    TDMData();
    ~TDMData();
    TDMData(const TDMData&) = delete;
    TDMData& operator=(const TDMData&) = delete;

    TADOConnection ADOConnection;
    TADOStoredProc ADOSProc;
    TADOStoredProc QueryProc;
    TADOStoredProc InsertProc;
    TADOStoredProc ADOCofig;
    TADOQuery CreateGetZt;
    TADOQuery ADOQuery2;
    TADOQuery ADOQueryCreateDb;

    // Opens the connection on an engine of engineKind with "Data Source" = server, "Initial
    // Catalog" = "master", "User Id" = user and "PASSWORD" = password when it is not empty.
    void Connect(const QString& server, const QString& user, const QString& password, const QString& engineKind);

    // The six steps on cmd; open = rowset wanted. Returns the return value.
    int CallProc(TADOStoredProc& cmd, const QString& procName,
                 const std::vector<std::pair<QString, QVariant>>& values = {}, bool open = false);

    // ADOQueryCreateDb: creates the catalogue table SyshzZt in the current database unless it exists.
    void CreateCatalogueTable();
    // CreateGetZt: runs one script text as a single batch.
    void RunScript(const QString& text);
    // ADOQuery2: makes a new account-set database from the template, after validating its name.
    void RestoreDatabase(const QString& dbName);
    // Its registration failed: removes the database RestoreDatabase just made (see Engine).
    void AbandonDatabase(const QString& dbName);

    // Path of a catalogue script ("drop.txt", ...) of the open connection's engine.
    QString CatalogueScriptPath(const QString& name);

    // The engine's bulk intake of an import's lines on the current account set, or null when
    // the engine has none (the lines then go through the intake procedures one by one).
    std::unique_ptr<IntakeSession> BeginIntake();
    // "embedded" or "postgresql": the kind set for the connection, or that of its open engine.
    QString EngineKind() const;
};

}  // namespace corvanta
