#pragma once
// The PostgreSQL server of the tests: found through PGHOST, PGPORT, PGUSER and PGPASSWORD
// (pgTestProps, PgUnavailableReason and CORVANTA_REQUIRE_PG are in TestSupport.h).
// Several test programs may use it at the same time, so every test works in databases of its
// own and never assumes an empty catalogue.
#include "engines/Engine.h"
#include "tests/support/TestSupport.h"

#include <QString>
#include <gtest/gtest.h>
#include <memory>

namespace corvanta::test {

// A database name that no other test or test process uses ("cvt_<tag>_<pid>_<n>").
QString uniquePgDatabaseName(const char* tag);

// A PostgreSQL engine opened on master of the test server.
std::unique_ptr<Engine> openPgMaster();

// Creates the catalogue table and runs the four catalogue scripts, as every list load does.
void preparePgCatalogue(Engine& engine);

// Drops a database, ending any session still in it (test clean-up; errors are ignored).
void dropPgDatabase(const QString& name);

// One row of a query that the engine interface does not offer (pg_stat_activity and the like).
QString pgScalar(const QString& sql, const QString& param = QString());
// The same in another database (an account set).
QString pgScalarIn(const QString& database, const QString& sql);

}  // namespace corvanta::test
