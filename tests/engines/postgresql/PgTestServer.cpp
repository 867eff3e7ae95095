#include "tests/engines/postgresql/PgTestServer.h"

#include "connection/UDMData.h"
#include "engines/postgresql/PostgresEngine.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <libpq-fe.h>

namespace corvanta::test {

QString uniquePgDatabaseName(const char* tag)
{
    static QAtomicInt counter;
    return QStringLiteral("cvt_%1_%2_%3_%4")
        .arg(QLatin1String(tag))
        .arg(QCoreApplication::applicationPid())
        .arg(counter.fetchAndAddRelaxed(1))
        .arg(QRandomGenerator::global()->bounded(100000));
}

std::unique_ptr<Engine> openPgMaster()
{
    auto engine = makePostgresEngine();
    engine->open(pgTestProps());
    return engine;
}

void preparePgCatalogue(Engine& engine)
{
    engine.execSql(engine.catalogueTableStatement());
    for (const char* name : {"drop.txt", "CreateZt.txt", "DeleteZt.txt", "GetZt.txt"}) {
        QFile f(PgDataDir() + QLatin1Char('/') + QLatin1String(name));
        if (!f.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("cannot read %1").arg(f.fileName()));
        engine.execSql(QString::fromUtf8(f.readAll()));
    }
}

namespace {

PGconn* rawConnection(const char* database = "postgres")
{
    const ConnectionProps props = pgTestProps();
    const PgServerAddress address = parsePgDataSource(props.dataSource);
    const QByteArray host = address.host.toUtf8(), port = address.port.toUtf8(), user = props.userId.toUtf8();
    const char* keys[] = {"host", "port", "user", "dbname", nullptr};
    const char* values[] = {host.isEmpty() ? nullptr : host.constData(), port.isEmpty() ? nullptr : port.constData(),
                            user.isEmpty() ? nullptr : user.constData(), database, nullptr};
    return PQconnectdbParams(keys, values, 0);
}

}  // namespace

void dropPgDatabase(const QString& name)
{
    PGconn* conn = rawConnection();
    if (PQstatus(conn) == CONNECTION_OK) {
        const QByteArray utf8 = name.toUtf8();
        if (char* ident = PQescapeIdentifier(conn, utf8.constData(), static_cast<size_t>(utf8.size()))) {
            const QByteArray sql = QByteArray("DROP DATABASE IF EXISTS ") + ident + " WITH (FORCE)";
            PQfreemem(ident);
            PQclear(PQexec(conn, sql.constData()));
        }
    }
    PQfinish(conn);
}

QString pgScalarIn(const QString& database, const QString& sql)
{
    const QByteArray name = database.toUtf8();
    PGconn* conn = rawConnection(name.constData());
    QString out;
    if (PQstatus(conn) == CONNECTION_OK) {
        PGresult* r = PQexec(conn, sql.toUtf8().constData());
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
            out = QString::fromUtf8(PQgetvalue(r, 0, 0));
        PQclear(r);
    }
    PQfinish(conn);
    return out;
}

QString pgScalar(const QString& sql, const QString& param)
{
    PGconn* conn = rawConnection();
    QString out;
    if (PQstatus(conn) == CONNECTION_OK) {
        const QByteArray p = param.toUtf8();
        const char* values[1] = {p.constData()};
        PGresult* r = PQexecParams(conn, sql.toUtf8().constData(), param.isNull() ? 0 : 1, nullptr,
                                   param.isNull() ? nullptr : values, nullptr, nullptr, 0);
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
            out = QString::fromUtf8(PQgetvalue(r, 0, 0));
        PQclear(r);
    }
    PQfinish(conn);
    return out;
}

}  // namespace corvanta::test
