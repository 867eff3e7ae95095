#include "engines/Engine.h"

#include "engines/EngineFactory.h"

namespace corvanta {

std::unique_ptr<Engine> makeEngine(const QString& kind)
{
    const QString k = kind.trimmed().toLower();
    if (k.isEmpty() || k == QLatin1String("embedded"))
        return makeEmbeddedEngine();
    if (k == QLatin1String("postgresql"))
        return makePostgresEngine();
    throw DbError(QStringLiteral("Unknown database engine \"%1\" (Config.cfg SYSTEM/ENGINE): use embedded or postgresql")
                      .arg(kind));
}

}  // namespace corvanta

#include "engines/RowsetForm.h"

namespace corvanta {

namespace {
thread_local int textRowsetDepth = 0;
}

TextRowsetScope::TextRowsetScope()
{
    ++textRowsetDepth;
}

TextRowsetScope::~TextRowsetScope()
{
    --textRowsetDepth;
}

bool TextRowsetsWanted()
{
    return textRowsetDepth > 0;
}

}  // namespace corvanta
