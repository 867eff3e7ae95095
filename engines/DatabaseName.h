#pragma once
// Account-set database names travel into file names (embedded) and identifiers (PostgreSQL), so
// only plain identifiers are accepted.
#include <QString>

namespace corvanta {

// ASCII letters, digits and underscore, starting with a letter, at most 50 bytes.
bool IsPlainDatabaseName(const QString& name);

// Throws DbError naming the rule when name is not a plain identifier.
void ValidateDatabaseName(const QString& name);

}  // namespace corvanta
