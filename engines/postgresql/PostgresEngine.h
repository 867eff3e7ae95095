#pragma once
// The PostgreSQL engine: one libpq session, procedures as PL/pgSQL functions.
//
// Server name ("Data Source"): "host", "host:port", or a socket folder (absolute path) optionally
// followed by ":port"; empty leaves the choice to libpq (PGHOST, PGPORT). "master" is the
// cluster's maintenance database "postgres".
//
// Functions and their results:
//   - a function returning an integer: that integer is the procedure's return value;
//   - a function returning rows (RETURNS TABLE / SETOF): the rows are the rowset; the return value
//     is 0 unless the function sets the transaction-local setting corvanta.return_value;
//   - argument "NAME" is the parameter "@NAME" (argument names keep their case when quoted).
//
// The engine's shipped files live in data/postgresql/ (the embedded engine's files of the same
// names sit in data/): the catalogue scripts drop.txt, CreateZt.txt, DeleteZt.txt, GetZt.txt and
// the account-set template tavikhz.sql.
//
// A new account set ("restore") is CREATE DATABASE from template0, then the template script run
// in it as one transaction; a failed script drops the database again.
#include "engines/Engine.h"

#include <QHash>
#include <memory>

namespace corvanta {

std::unique_ptr<Engine> makePostgresEngine();

// GetDataDir() + "/postgresql": where the catalogue scripts and the template are.
QString PgDataDir();

// The catalogue table statement (the data module's ADOQueryCreateDb) in PostgreSQL's words:
// creates SyshzZt unless it exists; safe when several clients run it at the same moment.
QString PgCreateCatalogueTableSql();

// libpq connection keywords for a "Data Source" text: host and port (either may be empty).
struct PgServerAddress {
    QString host;
    QString port;
};
PgServerAddress parsePgDataSource(const QString& dataSource);

// numeric text as the server prints it -> minimal decimal form ("12.500" -> "12.5", "-0.0" -> "0").
QString minimalDecimal(const QString& text);

// The name of the account set's database a catalogue database name stands for ("master" ->
// "postgres").
QString pgDatabaseName(const QString& name);

}  // namespace corvanta
