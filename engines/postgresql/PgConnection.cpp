#include "engines/postgresql/PgConnection.h"

#include "base/Sysdef.h"
#include "engines/postgresql/PostgresEngine.h"

#include <QRegularExpression>
#include <utility>
#include <vector>

namespace corvanta {

namespace pg {

void ignoreNotice(void*, const char*) {}

QString connectionError(PGconn* conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

// The server's own words: the primary message, then its detail on a line of its own.
QString resultError(const PGresult* r, PGconn* conn)
{
    if (r) {
        if (const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)) {
            QString text = QString::fromUtf8(primary);
            if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL))
                text += QLatin1Char('\n') + QString::fromUtf8(detail);
            return text;
        }
    }
    const QString text = connectionError(conn);
    return text.isEmpty() ? QStringLiteral("the database server did not answer") : text;
}

bool resultOk(const PGresult* r)
{
    if (!r)
        return false;
    const ExecStatusType s = PQresultStatus(r);
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_EMPTY_QUERY;
}

ConnPtr connectTo(const ConnectionProps& props, const QString& database)
{
    const PgServerAddress address = parsePgDataSource(props.dataSource);
    std::vector<std::pair<QByteArray, QByteArray>> params;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            params.emplace_back(key, value.toUtf8());
    };
    add("host", address.host);
    add("port", address.port);
    add("dbname", pgDatabaseName(database));
    add("user", props.userId);
    if (props.password)
        params.emplace_back("password", props.password->toUtf8());
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("application_name", "Corvanta");
    params.emplace_back("connect_timeout", "15");
    // ISO dates whatever the server's default; notices are not shown to anybody.
    params.emplace_back("options", "-c datestyle=ISO,YMD -c client_min_messages=warning");

    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (const auto& [k, v] : params) {
        keys.push_back(k.constData());
        values.push_back(v.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    ConnPtr conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn)
        throw DbError(QStringLiteral("out of memory while connecting to the database server"));
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw DbError(connectionError(conn.get()));
    PQsetNoticeProcessor(conn.get(), ignoreNotice, nullptr);
    return conn;
}

QString quoteIdentifier(PGconn* conn, const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    char* quoted = PQescapeIdentifier(conn, utf8.constData(), static_cast<size_t>(utf8.size()));
    if (!quoted)
        throw DbError(resultError(nullptr, conn));
    const QString text = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return text;
}

}  // namespace pg

QString PgDataDir()
{
    return GetDataDir();
}

QString pgDatabaseName(const QString& name)
{
    if (name.compare(QLatin1String("master"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("postgres");
    return name;
}

PgServerAddress parsePgDataSource(const QString& dataSource)
{
    const QString text = dataSource.trimmed();
    PgServerAddress address;
    if (text.isEmpty())
        return address;
    // "[v6address]:port" and "[v6address]".
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            address.host = text.mid(1, close - 1);
            const QString rest = text.mid(close + 1);
            if (rest.startsWith(QLatin1Char(':')))
                address.port = rest.mid(1);
            return address;
        }
    }
    static const QRegularExpression trailingPort(QStringLiteral("^(.*):(\\d+)$"));
    const auto m = trailingPort.match(text);
    // A bare IPv6 address has several colons and no port of its own.
    const bool bareV6 = !text.startsWith(QLatin1Char('/')) && text.count(QLatin1Char(':')) > 1;
    if (m.hasMatch() && !bareV6 && !m.captured(1).isEmpty()) {
        address.host = m.captured(1);
        address.port = m.captured(2);
    } else {
        address.host = text;
    }
    return address;
}

}  // namespace corvanta
