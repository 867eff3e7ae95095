// corvanta-postgresql.so: the PostgreSQL engine for corvanta-cli (see base/ProgramModule.h).
#include "base/ProgramModule.h"
#include "engines/postgresql/PostgresEngine.h"

CORVANTA_MODULE_EXPORT const char corvanta_module_version[] = CORVANTA_MODULE_VERSION;

CORVANTA_MODULE_EXPORT corvanta::Engine* corvanta_make_postgres_engine()
{
    return corvanta::makePostgresEngine().release();
}
