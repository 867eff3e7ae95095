#include "engines/DatabaseName.h"

#include "engines/Engine.h"

namespace corvanta {

bool IsPlainDatabaseName(const QString& name)
{
    if (name.isEmpty() || name.size() > 50)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool digit = c >= u'0' && c <= u'9';
        if (i == 0 ? !letter : !(letter || digit || c == u'_'))
            return false;
    }
    return true;
}

void ValidateDatabaseName(const QString& name)
{
    if (!IsPlainDatabaseName(name))
        throw DbError(QStringLiteral("Invalid database name \"%1\": a database name must start with an ASCII "
                                     "letter, contain only ASCII letters, digits and underscores, and be at "
                                     "most 50 characters long")
                          .arg(name));
}

}  // namespace corvanta
