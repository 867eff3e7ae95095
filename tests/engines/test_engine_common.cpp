// What holds for every engine: database names, value forms and the engine factory.
#include "base/Sysdef.h"
#include "engines/DatabaseName.h"
#include "engines/Engine.h"
#include "base/Values.h"

#include <gtest/gtest.h>

namespace corvanta::test {
namespace {

TEST(DatabaseName, OnlyPlainIdentifiers)
{
    for (const char* ok : {"a", "Z9", "abc_DEF_123", "a_"})
        EXPECT_NO_THROW(ValidateDatabaseName(QString::fromLatin1(ok))) << ok;
    EXPECT_NO_THROW(ValidateDatabaseName(QString(50, u'x')));
    for (const QString& bad : {QString(), QStringLiteral("1a"), QStringLiteral("_a"), QStringLiteral("a-b"),
                               QStringLiteral("a b"), QStringLiteral("a.db"), QStringLiteral("账套"),
                               QStringLiteral("aé"), QStringLiteral("a;drop"), QString(51, u'x')})
        EXPECT_THROW(ValidateDatabaseName(bad), DbError) << bad.toStdString();
}

TEST(Values, CanonicalForms)
{
    EXPECT_EQ(CanonicalDecimal(u" +012.500 "), QStringLiteral("12.5"));
    EXPECT_EQ(CanonicalDecimal(u"-0.0"), QStringLiteral("0"));
    EXPECT_EQ(CanonicalDecimal(u".5"), QStringLiteral("0.5"));
    EXPECT_EQ(CanonicalDecimal(u"-3."), QStringLiteral("-3"));
    for (const char16_t* bad : {u"", u".", u"-", u"1e3", u"1,5", u"1.2.3", u"0x10", u"１"})
        EXPECT_FALSE(CanonicalDecimal(bad).has_value());
    EXPECT_EQ(CanonicalDate(u"2024/2/29"), QStringLiteral("2024-02-29"));
    EXPECT_EQ(CanonicalDate(u"20240131"), QStringLiteral("2024-01-31"));
    for (const char16_t* bad : {u"2023-02-29", u"2024-13-01", u"24-01-01", u"2024-01", u"2024.01.01", u"0000-01-01"})
        EXPECT_FALSE(CanonicalDate(bad).has_value());
    EXPECT_EQ(ParseInt32(u"-2147483648"), std::optional<qint32>(-2147483647 - 1));
    EXPECT_FALSE(ParseInt32(u"2147483648").has_value());
    EXPECT_FALSE(ParseInt32(u"12a").has_value());
}

// Each kind brings its own catalogue statement and script folder; the data module only asks.
TEST(EngineFactory, KindsAndTheirCatalogues)
{
    for (const char* kind : {"embedded", "postgresql"}) {
        const std::unique_ptr<Engine> e = makeEngine(QString::fromLatin1(kind));
        EXPECT_EQ(e->kind(), QLatin1String(kind));
        EXPECT_FALSE(e->isOpen());
        EXPECT_TRUE(e->catalogueTableStatement().startsWith(QStringLiteral("CREATE TABLE IF NOT EXISTS SyshzZt(")));
        EXPECT_TRUE(e->catalogueTableStatement().contains(QStringLiteral("dbname")));
    }
    EXPECT_EQ(makeEngine(QStringLiteral("embedded"))->catalogueScriptPath(QStringLiteral("drop.txt")),
              GetDataDir() + QStringLiteral("/embedded/drop.txt"));
    EXPECT_EQ(makeEngine(QStringLiteral("postgresql"))->catalogueScriptPath(QStringLiteral("drop.txt")),
              GetDataDir() + QStringLiteral("/drop.txt"));
    // The configured text as users write it: no kind is the embedded engine.
    EXPECT_EQ(makeEngine(QString())->kind(), QStringLiteral("embedded"));
    EXPECT_EQ(makeEngine(QStringLiteral(" PostgreSQL "))->kind(), QStringLiteral("postgresql"));
    EXPECT_THROW(makeEngine(QStringLiteral("oracle")), DbError);
}

}  // namespace
}  // namespace corvanta::test
