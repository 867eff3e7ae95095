#pragma once
// The PostgreSQL engine: one libpq session, procedures as PL/pgSQL functions (server 11 or later).
//
// Server name ("Data Source"): "host", "host:port", or a socket folder (absolute path) optionally
// followed by ":port"; empty leaves the choice to libpq (PGHOST, PGPORT). "master" is the
// cluster's maintenance database "postgres".
//
// Functions and their results:
//   - a function returning an integer: that integer is the procedure's return value;
//   - a function returning rows (RETURNS TABLE / SETOF): the rows are the rowset; the return value
//     is 0 unless the function sets the setting corvanta.return_value (hz_util_return), which the
//     engine reads and clears right after the rows;
//   - argument "NAME" is the parameter "@NAME" (argument names keep their case when quoted).
//
// The engine's shipped files live in data/ (the embedded engine's catalogue scripts of the same
// names sit in data/embedded/): the catalogue scripts drop.txt, CreateZt.txt, DeleteZt.txt,
// GetZt.txt and the account-set template tavikhz.sql.
//
// SQL batches (execSql) run one at a time across all clients of the server: each takes the
// catalogue lock first, so clients that load the account-set list at the same moment do not
// create the catalogue table or replace its procedures under each other's feet.
//
// An import's intake (beginIntake, see engines/Intake.h): the lines are checked in the engine by
// the rules of the PL/pgSQL bodies of hz_InsertSales / hz_InsertStock (IntakeChecker, on the
// UTF-8 values), with the outlet list as it was when the session began, and the lines taken
// stream, converted, in one binary COPY per kind (hz_util_copy_intake), handed to libpq in small
// pieces so that the server works on one piece while the next is being converted; the outlets
// are checked again when a stream ends, and lines of an outlet deleted meanwhile fail the intake
// with an error. While the staging is empty the stream goes straight into sales and stock inside
// one transaction that stays open after the last line (hz_util_direct_intake): the session's
// consolidation then only removes the lines replaced and commits; any call first moves the lines
// into the staging and commits, so every outcome is that of line-by-line calls. Account sets of
// an older template have no such intake (beginIntake gives nullptr).
//
// A new account set ("restore") is CREATE DATABASE from template0, then the template script run
// in it as one transaction; a failed script drops the database again.
#include "engines/Engine.h"

#include <QHash>
#include <memory>

namespace corvanta {

std::unique_ptr<Engine> makePostgresEngine();

// Where the catalogue scripts and the template are: GetDataDir().
QString PgDataDir();

// libpq connection keywords for a "Data Source" text: host and port (either may be empty).
struct PgServerAddress {
    QString host;
    QString port;
};
PgServerAddress parsePgDataSource(const QString& dataSource);

// The name of the account set's database a catalogue database name stands for ("master" ->
// "postgres").
QString pgDatabaseName(const QString& name);

}  // namespace corvanta
