// Stands in for the PostgreSQL engine until engines/postgresql/ exists.
#include "engines/EngineFactory.h"

namespace corvanta {

std::unique_ptr<Engine> makePostgresEngine()
{
    throw DbError(QStringLiteral("PostgreSQL engine not built"));
}

}  // namespace corvanta
