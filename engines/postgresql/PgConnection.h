#pragma once
// The PostgreSQL engine's libpq layer: connection and result handles that free themselves, the
// server's error texts, and the connection made from the login's properties.
#include "engines/Engine.h"

#include <QString>
#include <libpq-fe.h>
#include <memory>

namespace corvanta::pg {

struct ConnDeleter {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

void ignoreNotice(void*, const char*);
QString connectionError(PGconn* conn);
// The server's own words: the primary message, then its detail on a line of its own.
QString resultError(const PGresult* r, PGconn* conn);
bool resultOk(const PGresult* r);
// A session to database (a catalogue name: "master" is "postgres") on the login's server.
ConnPtr connectTo(const ConnectionProps& props, const QString& database);
QString quoteIdentifier(PGconn* conn, const QString& name);

}  // namespace corvanta::pg
