// The PostgreSQL engine itself: server names, decimals, the catalogue scripts and the errors.
#include "base/Values.h"
#include "engines/postgresql/PostgresEngine.h"
#include "tests/engines/postgresql/PgTestServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

#include <atomic>
#include <optional>
#include <mutex>
#include <thread>

using namespace corvanta;
using namespace corvanta::test;

namespace {

using Values = std::vector<std::pair<QString, QVariant>>;

// SYSID of the catalogue row whose database is dbName, or -1.
qlonglong catalogueId(Engine& e, const QString& dbName, QString* sysName = nullptr)
{
    const CallResult r = e.call(QStringLiteral("hz_getzt"), {});
    EXPECT_TRUE(r.rowset.has_value());
    const Rowset& rs = *r.rowset;
    EXPECT_EQ(rs.fields, (QStringList{QStringLiteral("SYSID"), QStringLiteral("SYSNAME"), QStringLiteral("DBNAME")}));
    for (const QVariantList& row : rs.rows) {
        if (row.at(2).toString() == dbName) {
            if (sysName)
                *sysName = row.at(1).toString();
            return row.at(0).toLongLong();
        }
    }
    return -1;
}

}  // namespace

TEST(PgServerName, HostPortAndSocketFolders)
{
    auto check = [](const char* text, const char* host, const char* port) {
        const PgServerAddress a = parsePgDataSource(QString::fromUtf8(text));
        EXPECT_EQ(a.host, QString::fromUtf8(host)) << text;
        EXPECT_EQ(a.port, QString::fromUtf8(port)) << text;
    };
    check("", "", "");
    check("  dbhost  ", "dbhost", "");
    check("dbhost:5433", "dbhost", "5433");
    check("10.0.0.7:6000", "10.0.0.7", "6000");
    check("/tmp/pg", "/tmp/pg", "");
    check("/tmp/pg:54331", "/tmp/pg", "54331");
    check("/var/run/postgresql", "/var/run/postgresql", "");
    check("::1", "::1", "");
    check("[::1]:5432", "::1", "5432");
    EXPECT_EQ(pgDatabaseName(QStringLiteral("master")), QStringLiteral("postgres"));
    EXPECT_EQ(pgDatabaseName(QStringLiteral("MASTER")), QStringLiteral("postgres"));
    EXPECT_EQ(pgDatabaseName(QStringLiteral("shop1")), QStringLiteral("shop1"));
}

TEST(PgDecimal, MinimalForm)
{
    EXPECT_EQ(MinimalDecimal(QStringLiteral("12.500000")), QStringLiteral("12.5"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("10.000")), QStringLiteral("10"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("10")), QStringLiteral("10"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("100")), QStringLiteral("100"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("-3.250")), QStringLiteral("-3.25"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("0.000")), QStringLiteral("0"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("-0.000")), QStringLiteral("0"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("0.050")), QStringLiteral("0.05"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("-0.5")), QStringLiteral("-0.5"));
    EXPECT_EQ(MinimalDecimal(QStringLiteral("123456789012.123456")), QStringLiteral("123456789012.123456"));
}

TEST(PgCatalogue, ScriptsRerunRegisterListAndDelete)
{
    CORVANTA_REQUIRE_PG();
    TempProgramDir dir;
    dir.copyShippedData();
    auto e = openPgMaster();
    EXPECT_EQ(e->currentDatabase(), QStringLiteral("master"));

    // Every list load runs them again; nothing may accumulate or fail.
    for (int i = 0; i < 20; ++i)
        ASSERT_NO_THROW(preparePgCatalogue(*e)) << "run " << i;

    const QString db = uniquePgDatabaseName("cat");
    const QString sysName = QStringLiteral("总部'帐套\"; DROP TABLE SyshzZt; --");
    e->restoreTemplate(db);
    const CallResult ins = e->call(QStringLiteral("hz_insertzt;1"),
                                   {{QStringLiteral("@dbName"), db}, {QStringLiteral("@szSYSname"), sysName}});
    EXPECT_EQ(ins.returnValue, 0);
    // The same database (in any letter case) cannot be registered twice; a name that is no
    // plain identifier cannot be registered at all.
    EXPECT_EQ(e->call(QStringLiteral("hz_insertzt"), {{QStringLiteral("@dbName"), db.toUpper()},
                                                      {QStringLiteral("@szSYSname"), QStringLiteral("x")}})
                  .returnValue,
              -1);
    EXPECT_EQ(e->call(QStringLiteral("hz_insertzt"), {{QStringLiteral("@dbName"), QStringLiteral("a b")},
                                                      {QStringLiteral("@szSYSname"), QStringLiteral("x")}})
                  .returnValue,
              -1);

    preparePgCatalogue(*e);
    QString listed;
    const qlonglong id = catalogueId(*e, db, &listed);
    ASSERT_GT(id, 0);
    EXPECT_EQ(listed, sysName);

    // Deleting takes the database out of service without destroying it.
    EXPECT_EQ(e->call(QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), id}}).returnValue, 0);
    EXPECT_EQ(catalogueId(*e, db), -1);
    EXPECT_TRUE(pgScalar(QStringLiteral("SELECT datname FROM pg_database WHERE datname = $1"), db).isEmpty());
    const QString renamed = pgScalar(
        QStringLiteral("SELECT datname FROM pg_database WHERE datname LIKE 'deleted\\_%' AND datname LIKE '%' || $1"), db);
    EXPECT_FALSE(renamed.isEmpty());
    // An id that is not in the catalogue (any more) deletes nothing and says so.
    EXPECT_EQ(e->call(QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), id}}).returnValue, -2);
    EXPECT_EQ(e->call(QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), QVariant()}}).returnValue, -2);
    if (!renamed.isEmpty())
        dropPgDatabase(renamed);
}

TEST(PgCatalogue, DatabaseInUseIsNotDeleted)
{
    CORVANTA_REQUIRE_PG();
    TempProgramDir dir;
    dir.copyShippedData();
    auto admin = openPgMaster();
    preparePgCatalogue(*admin);
    const QString db = uniquePgDatabaseName("busy");
    admin->restoreTemplate(db);
    ASSERT_EQ(admin->call(QStringLiteral("hz_insertzt"), {{QStringLiteral("@dbName"), db},
                                                         {QStringLiteral("@szSYSname"), QStringLiteral("busy")}})
                  .returnValue,
              0);
    const qlonglong id = catalogueId(*admin, db);
    ASSERT_GT(id, 0);

    auto clerk = openPgMaster();
    clerk->useDatabase(db);
    EXPECT_EQ(clerk->currentDatabase(), db);
    try {
        admin->call(QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), id}});
        ADD_FAILURE() << "deleting a database in use succeeded";
    } catch (const DbError& err) {
        EXPECT_TRUE(QString::fromStdString(err.what()).contains(QStringLiteral("other")))
            << err.what();
    }
    // Refused as a whole: still listed, still in service, the admin's session still usable.
    EXPECT_EQ(catalogueId(*admin, db), id);
    EXPECT_NO_THROW(clerk->call(QStringLiteral("hz_GetNet"), {}));

    clerk->close();
    EXPECT_FALSE(clerk->isOpen());
    // The server needs a moment to end the closed session; retry until it has.
    bool deleted = false;
    for (int i = 0; i < 200 && !deleted; ++i) {
        try {
            deleted = admin->call(QStringLiteral("hz_DeleteZt"), {{QStringLiteral("@ztid"), id}}).returnValue == 0;
        } catch (const DbError&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_TRUE(deleted);
    EXPECT_EQ(catalogueId(*admin, db), -1);
    const QString renamed = pgScalar(
        QStringLiteral("SELECT datname FROM pg_database WHERE datname LIKE 'deleted\\_%' AND datname LIKE '%' || $1"), db);
    EXPECT_FALSE(renamed.isEmpty());
    dropPgDatabase(renamed);
    dropPgDatabase(db);
}

// Two clients loading the account-set list at the same moment: the scripts replace the
// catalogue procedures while the other client calls them.
TEST(PgCatalogue, ConcurrentListLoads)
{
    CORVANTA_REQUIRE_PG();
    TempProgramDir dir;
    dir.copyShippedData();
    std::atomic<int> failures{0};
    std::string firstError;
    std::mutex errorMutex;
    auto client = [&] {
        try {
            auto e = openPgMaster();
            for (int i = 0; i < 15; ++i) {
                preparePgCatalogue(*e);
                if (!e->call(QStringLiteral("hz_getzt"), {}).rowset)
                    ++failures;
            }
        } catch (const DbError& err) {
            ++failures;
            std::lock_guard<std::mutex> lock(errorMutex);
            if (firstError.empty())
                firstError = err.what();
        }
    };
    std::thread a(client), b(client), c(client);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(failures.load(), 0) << firstError;
}

TEST(PgEngine, ParametersCallsAndErrors)
{
    CORVANTA_REQUIRE_PG();
    TempProgramDir dir;
    dir.copyShippedData();
    auto e = openPgMaster();
    preparePgCatalogue(*e);

    const std::vector<ParamInfo> zt = e->procedureParams(QStringLiteral("hz_DeleteZt;1"));
    ASSERT_EQ(zt.size(), 2u);
    EXPECT_EQ(zt[0].direction, ParamDirection::ReturnValue);
    EXPECT_EQ(zt[0].name, QStringLiteral("@RETURN_VALUE"));
    EXPECT_EQ(zt[1].name, QStringLiteral("@ztid"));
    EXPECT_EQ(zt[1].type, ParamType::Integer);
    EXPECT_THROW(e->procedureParams(QStringLiteral("hz_NoSuchThing")), DbError);
    EXPECT_THROW(e->call(QStringLiteral("hz_getzt"), {{QStringLiteral("@nope"), 1}}), DbError);
    EXPECT_THROW(e->execSql(QStringLiteral("SELECT 1; SELECT * FROM no_such_table;")), DbError);
    // A failed batch leaves no transaction open behind it.
    EXPECT_THROW(e->execSql(QStringLiteral("BEGIN; SELECT 1/0;")), DbError);
    EXPECT_NO_THROW(e->call(QStringLiteral("hz_getzt"), {}));

    // A database that cannot be reached leaves the session where it was.
    EXPECT_THROW(e->useDatabase(uniquePgDatabaseName("missing")), DbError);
    EXPECT_EQ(e->currentDatabase(), QStringLiteral("master"));
    EXPECT_NO_THROW(e->call(QStringLiteral("hz_getzt"), {}));

    const QString db = uniquePgDatabaseName("par");
    e->restoreTemplate(db);
    try {
        e->restoreTemplate(db);
        ADD_FAILURE() << "a second restore into an existing database succeeded";
    } catch (const DbError& err) {
        EXPECT_TRUE(QString::fromStdString(err.what()).contains(QStringLiteral("already exists"))) << err.what();
    }

    // Names compare without regard to case, as on the embedded engine.
    EXPECT_THROW(e->restoreTemplate(db.toUpper()), DbError);
    EXPECT_EQ(pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), db.toUpper()),
              QStringLiteral("0"));
    e->useDatabase(db.toUpper());
    EXPECT_NO_THROW(e->call(QStringLiteral("hz_GetNet"), {}));
    e->useDatabase(QStringLiteral("master"));

    e->useDatabase(db);
    EXPECT_EQ(e->currentDatabase(), db);
    const std::vector<ParamInfo> sales = e->procedureParams(QStringLiteral("hz_GetSales"));
    QStringList names;
    for (const ParamInfo& p : sales)
        names << p.name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("@RETURN_VALUE"), QStringLiteral("@date1"), QStringLiteral("@date2"),
                                  QStringLiteral("@USERCODE"), QStringLiteral("@PTYPENAME"), QStringLiteral("@ID"),
                                  QStringLiteral("@AGENTNAME"), QStringLiteral("@AREA"), QStringLiteral("@VCHTYPE")}));
    EXPECT_EQ(sales[1].type, ParamType::Date);
    EXPECT_EQ(sales[3].type, ParamType::Text);
    EXPECT_EQ(sales[5].type, ParamType::Integer);
    // The server converts by the declared type and refuses what is no number.
    EXPECT_THROW(e->call(QStringLiteral("hz_GetSales"), {{QStringLiteral("@ID"), QStringLiteral("1a")}}), DbError);
    // Blank text for a number or a date is no restriction.
    const CallResult all = e->call(QStringLiteral("hz_GetSales"), {{QStringLiteral("@ID"), QStringLiteral("")},
                                                                  {QStringLiteral("@date1"), QStringLiteral(" ")}});
    ASSERT_TRUE(all.rowset.has_value());
    EXPECT_EQ(all.rowset->fields.size(), 13);
    // An unknown statistics mode answers -1 with no rows.
    const CallResult bad = e->call(QStringLiteral("hz_AllStat"), {{QStringLiteral("@iType"), QStringLiteral("X")}});
    EXPECT_EQ(bad.returnValue, -1);
    EXPECT_EQ(e->call(QStringLiteral("hz_AllStat"), {{QStringLiteral("@iType"), QStringLiteral("P")}}).returnValue, 0);
    e->useDatabase(QStringLiteral("master"));
    EXPECT_EQ(e->currentDatabase(), QStringLiteral("master"));

    // A hostile name becomes one quoted identifier, nothing more.
    const QString hostile = QStringLiteral("x\"; DROP DATABASE %1; --").arg(db);
    e->restoreTemplate(hostile);
    EXPECT_EQ(pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), hostile), QStringLiteral("1"));
    EXPECT_EQ(pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), db), QStringLiteral("1"));
    dropPgDatabase(hostile);
    dropPgDatabase(db);
}

// A procedure replaced by another client with a new parameter list: at most one call fails,
// then the engine asks the server again.
TEST(PgEngine, ProcedureReplacedByAnotherClient)
{
    CORVANTA_REQUIRE_PG();
    const QString fn = uniquePgDatabaseName("fn");
    auto a = openPgMaster();
    auto b = openPgMaster();
    b->execSql(QStringLiteral("CREATE FUNCTION %1(\"X\" integer) RETURNS integer LANGUAGE sql AS 'SELECT $1 + 1'").arg(fn));
    EXPECT_EQ(a->call(fn, {{QStringLiteral("@X"), 41}}).returnValue, 42);
    b->execSql(QStringLiteral("DROP FUNCTION %1(integer); CREATE FUNCTION %1(\"X\" integer, \"Y\" integer) "
                              "RETURNS integer LANGUAGE sql AS 'SELECT $1 * $2'").arg(fn));
    try {
        a->call(fn, {{QStringLiteral("@X"), 6}});
    } catch (const DbError&) {
    }
    EXPECT_EQ(a->call(fn, {{QStringLiteral("@X"), 6}, {QStringLiteral("@Y"), 7}}).returnValue, 42);
    EXPECT_EQ(a->procedureParams(fn).size(), 3u);
    b->execSql(QStringLiteral("DROP FUNCTION %1(integer, integer)").arg(fn));
    EXPECT_THROW(a->call(fn, {{QStringLiteral("@X"), 6}}), DbError);
}

TEST(PgEngine, RestoreWithoutTemplateLeavesNoDatabase)
{
    CORVANTA_REQUIRE_PG();
    TempProgramDir dir;  // no shipped data: the template file is missing
    auto e = openPgMaster();
    const QString db = uniquePgDatabaseName("notpl");
    EXPECT_THROW(e->restoreTemplate(db), DbError);
    EXPECT_EQ(pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), db), QStringLiteral("0"));

    // A template that fails half-way: the database is dropped again.
    dir.copyShippedData();
    QFile f(PgDataDir() + QStringLiteral("/tavikhz.sql"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("\nSELECT no_such_function();\n");
    f.close();
    EXPECT_THROW(e->restoreTemplate(db), DbError);
    EXPECT_EQ(pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), db), QStringLiteral("0"));
}

TEST(PgEngine, WrongServerOrLoginIsAnError)
{
    CORVANTA_REQUIRE_PG();
    auto e = makePostgresEngine();
    ConnectionProps props = pgTestProps();
    props.userId = QStringLiteral("no_such_role_corvanta");
    EXPECT_THROW(e->open(props), DbError);
    EXPECT_FALSE(e->isOpen());
    props = pgTestProps();
    props.dataSource = QStringLiteral("/nonexistent/socket/folder");
    EXPECT_THROW(e->open(props), DbError);
    EXPECT_THROW(e->call(QStringLiteral("hz_getzt"), {}), DbError);
}

// What a creation leaves until its registration, and who may remove it: only a creation of the
// same name, only when the creator's session has ended and nobody registered the database.
TEST(PgEngine, UnfinishedCreationsOfEndedSessionsNeverBlockAName)
{
    CORVANTA_REQUIRE_PG();
    TempProgramDir dir;
    dir.copyShippedData();
    auto e = openPgMaster();
    preparePgCatalogue(*e);
    const auto exists = [](const QString& name) {
        return pgScalar(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname = $1"), name) == QStringLiteral("1");
    };
    const auto marker = [](const QString& name) {
        return pgScalar(QStringLiteral("SELECT shobj_description(oid, 'pg_database') FROM pg_database WHERE datname = $1"), name);
    };
    const auto makeDb = [](const QString& name, const QString& comment) {
        pgScalar(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
        if (!comment.isEmpty())
            pgScalar(QStringLiteral("COMMENT ON DATABASE \"%1\" IS '%2'").arg(name, comment));
    };
    const auto why = [&](const QString& name) -> std::optional<CreationError::Why> {
        try {
            e->restoreTemplate(name);
        } catch (const CreationError& err) {
            return err.why;
        }
        return std::nullopt;
    };

    // A creator killed after the rename (marked, unregistered) and one killed before it (scratch
    // name); their sessions are gone, so nobody holds their keys.
    const QString dead = uniquePgDatabaseName("dead");
    makeDb(dead, QStringLiteral("corvanta: unfinished creation 2000000001"));
    makeDb(QStringLiteral("corvanta_creating_2000000002"), QString());
    e->restoreTemplate(dead);
    EXPECT_FALSE(exists(QStringLiteral("corvanta_creating_2000000002")));
    const QString ours = marker(dead);
    EXPECT_TRUE(ours.startsWith(QStringLiteral("corvanta: unfinished creation "))) << ours.toStdString();
    EXPECT_NE(ours, QStringLiteral("corvanta: unfinished creation 2000000001"));
    // The registration ends the creation: no marker, and the creator's lock is free again.
    EXPECT_EQ(e->call(QStringLiteral("hz_insertzt"), {{QStringLiteral("@dbName"), dead}, {QStringLiteral("@szSYSname"), QStringLiteral("d")}})
                  .returnValue,
              0);
    EXPECT_EQ(marker(dead), QString());
    EXPECT_EQ(pgScalar(QStringLiteral("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' AND classid = 72351105 "
                                      "AND objid = $1::bigint AND objsubid = 2"),
                       ours.section(QLatin1Char(' '), -1)),
              QStringLiteral("0"));
    EXPECT_GT(catalogueId(*e, dead), 0);

    // A creator that still runs (its session holds the key): its database and scratch stay.
    auto other = openPgMaster();
    other->execSql(QStringLiteral("SELECT pg_advisory_lock(72351105, 2000000003)"));
    const QString busy = uniquePgDatabaseName("busy");
    makeDb(busy, QStringLiteral("corvanta: unfinished creation 2000000003"));
    makeDb(QStringLiteral("corvanta_creating_2000000003"), QString());
    EXPECT_EQ(why(busy), CreationError::Why::CreationRunning);
    EXPECT_TRUE(exists(busy));
    EXPECT_TRUE(exists(QStringLiteral("corvanta_creating_2000000003")));
    // Neither an unmarked database nor a registered one is ever taken for debris.
    const QString plain = uniquePgDatabaseName("plain");
    makeDb(plain, QString());
    EXPECT_EQ(why(plain), CreationError::Why::NameTaken);
    EXPECT_EQ(why(dead.toUpper()), CreationError::Why::NameTaken);
    pgScalar(QStringLiteral("COMMENT ON DATABASE \"%1\" IS 'corvanta: unfinished creation 2000000004'").arg(dead));
    EXPECT_EQ(why(dead), CreationError::Why::CreationRunning);
    EXPECT_TRUE(exists(dead));
    EXPECT_TRUE(exists(plain));

    // A registration that fails: the session removes its own creation, nothing else.
    const QString mine = uniquePgDatabaseName("mine");
    e->restoreTemplate(mine);
    e->abandonCreation(busy);
    e->abandonCreation(plain);
    e->abandonCreation(dead);
    EXPECT_TRUE(exists(busy) && exists(plain) && exists(dead));
    e->abandonCreation(mine);
    EXPECT_FALSE(exists(mine));
    other.reset();

    e->execSql(QStringLiteral("DELETE FROM SyshzZt WHERE dbname = '%1'").arg(dead));
    for (const QString& db : {dead, busy, plain, QStringLiteral("corvanta_creating_2000000003")})
        dropPgDatabase(db);
}
