#pragma once
// The PostgreSQL server of the tests: found through PGHOST, PGPORT, PGUSER and PGPASSWORD.
// Several test programs may use it at the same time, so every test works in databases of its
// own and never assumes an empty catalogue.
#include "engines/Engine.h"

#include <QString>
#include <gtest/gtest.h>
#include <memory>

namespace corvanta::test {

// "Data Source", "User Id" and "PASSWORD" of the test server, "Initial Catalog" = database.
ConnectionProps pgTestProps(const QString& database = QStringLiteral("master"));

// Empty when the server answers; otherwise why it does not (checked once per process).
QString pgUnavailableReason();

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

}  // namespace corvanta::test

// Skips the test when no server answers, except under CI (CI set), where that is a failure.
#define CORVANTA_REQUIRE_PG()                                                                     \
    do {                                                                                          \
        const QString why_ = ::corvanta::test::pgUnavailableReason();                             \
        if (!why_.isEmpty()) {                                                                    \
            if (qEnvironmentVariableIsSet("CI"))                                                  \
                FAIL() << "PostgreSQL test server required under CI: " << why_.toStdString();     \
            GTEST_SKIP() << "no PostgreSQL test server (set PGHOST/PGPORT/PGUSER): "              \
                         << why_.toStdString();                                                   \
        }                                                                                         \
    } while (0)
