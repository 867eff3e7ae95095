#include "tests/support/TestSupport.h"

#include "engines/Engine.h"

namespace corvanta::test {

ConnectionProps pgTestProps(const QString& database)
{
    ConnectionProps props;
    props.dataSource = PgDataSource().value_or(QString());
    props.initialCatalog = database;
    props.userId = qEnvironmentVariable("PGUSER");
    if (qEnvironmentVariableIsSet("PGPASSWORD"))
        props.password = qEnvironmentVariable("PGPASSWORD");
    return props;
}

QString PgUnavailableReason()
{
    static const QString reason = []() -> QString {
        if (!PgDataSource())
            return QStringLiteral("PGHOST is not set (set PGHOST, PGPORT, PGUSER)");
        try {
            auto engine = makeEngine(QStringLiteral("postgresql"));
            engine->open(pgTestProps());
            return QString();
        } catch (const DbError& e) {
            const QString text = QString::fromUtf8(e.what());
            return QStringLiteral("no PostgreSQL server at %1: %2")
                .arg(*PgDataSource(), text.isEmpty() ? QStringLiteral("it does not answer") : text);
        }
    }();
    return reason;
}

}  // namespace corvanta::test
