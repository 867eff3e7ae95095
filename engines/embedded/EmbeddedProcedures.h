#pragma once
// The procedure bodies of the embedded engine and the account-set schema they work on.
#include "engines/Engine.h"

#include <QString>
#include <optional>
#include <vector>

namespace corvanta {

class EmbeddedEngine;

// The values of one call, looked up by parameter name without regard to letter case; a value the
// caller did not give is NULL.
class ProcArgs {
public:
    explicit ProcArgs(const std::vector<std::pair<QString, QVariant>>& values) : m_values(values) {}
    QVariant value(const char* name) const;
    QString text(const char* name) const;     // NULL gives ""
    QString trimmed(const char* name) const;  // text(), blanks removed at both ends
    std::optional<qint64> integer(const char* name) const;

private:
    const std::vector<std::pair<QString, QVariant>>& m_values;
};

using ProcBody = CallResult (*)(EmbeddedEngine&, const ProcArgs&);

struct ProcedureDef {
    const char* name;
    const char* params;  // "@ID text, @date1 date, ..." as registered in hz_procedures
    bool master;         // lives in master.db (registered by the catalogue scripts)
    ProcBody body;
};

const ProcedureDef* findProcedure(const QString& name);
const std::vector<ProcedureDef>& allProcedures();

// "@A integer, @B text": types integer, text, decimal, date. Throws DbError for anything else.
std::vector<ParamInfo> parseParamList(const QString& text, const QString& procName);

// Tables, indexes and procedure registrations of a new account set.
QString accountSetSchemaSql();
// Brings an account set made by an older template to the current schema.
namespace sqlite { class Db; }
void upgradeAccountSet(sqlite::Db& db);
// Writes the template database file (used by the build's generator).
void writeTemplateFile(const QString& path);

}  // namespace corvanta
