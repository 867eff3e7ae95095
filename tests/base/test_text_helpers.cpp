#include "base/Gbk.h"
#include "base/TextHelpers.h"

#include <gtest/gtest.h>

using namespace corvanta;

TEST(TextHelpers, IsBlankLooksAtSpacesOnly)
{
    EXPECT_TRUE(IsBlank(QByteArray()));
    EXPECT_TRUE(IsBlank(QByteArray("   ")));
    EXPECT_FALSE(IsBlank(QByteArray("\t")));
    EXPECT_FALSE(IsBlank(QByteArray(" a ")));
    EXPECT_TRUE(IsBlank(QString()));
    EXPECT_FALSE(IsBlank(QString::fromUtf8("　")));  // full-width space is not a blank byte
}

TEST(TextHelpers, LeadingIntegerTakesTheDigitRun)
{
    EXPECT_EQ(LeadingInteger(QByteArray("  42abc")), 42);
    EXPECT_EQ(LeadingInteger(QByteArray("-5")), 0);
    EXPECT_EQ(LeadingInteger(QByteArray("+5")), 0);
    EXPECT_EQ(LeadingInteger(QByteArray("")), 0);
    EXPECT_EQ(LeadingInteger(QByteArray("   ")), 0);
    EXPECT_EQ(LeadingInteger(QByteArray("2147483647")), 2147483647);
    EXPECT_EQ(LeadingInteger(QByteArray("007")), 7);
    // Too large for 32 bits: a conversion error the caller can report, not a crash.
    EXPECT_THROW(LeadingInteger(QByteArray("2147483648")), ConversionError);
    EXPECT_THROW(LeadingInteger(QByteArray("99999999999999999999999999")), ConversionError);
}

TEST(TextHelpers, TextToNumberReadsTheLeadingDecimal)
{
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("12.5%")), 12.5);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("-3")), -3);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("1,234")), 1);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("1e3")), 1000);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("2.71828")), 2.7183);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("E5")), 0);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("-")), 0);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("%")), 0);
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("  7.5.3")), 7.5);  // a second point ends the number
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("2e")), 2);         // a trailing e ends it too
    EXPECT_DOUBLE_EQ(TextToNumber(QByteArray("")), 0);
    EXPECT_THROW(TextToNumber(QByteArray(".")), ConversionError);
    EXPECT_THROW(TextToNumber(QByteArray("1e+")), ConversionError);
    EXPECT_THROW(TextToNumber(QByteArray("1e999")), ConversionError);
}

TEST(TextHelpers, LargerAndComputerName)
{
    EXPECT_EQ(Larger(22, 5), 22);
    EXPECT_EQ(Larger(22, 40), 40);
    EXPECT_EQ(Larger(-1, -1), -1);
    EXPECT_FALSE(ComputerNameText().isEmpty());
}

TEST(Gbk, CountsAndCutsOnCharacterBoundaries)
{
    const QString name = QString::fromUtf8("销售网点A");
    EXPECT_EQ(gbk::byteLength(name), 9);
    EXPECT_EQ(gbk::encode(QString::fromUtf8("销")).toHex(), QByteArray("cffa"));
    EXPECT_EQ(gbk::truncateToBytes(name, 5), QString::fromUtf8("销售"));
    EXPECT_EQ(gbk::truncateToBytes(name, 9), name);
    EXPECT_EQ(gbk::truncateToBytes(name, 0), QString());
    EXPECT_EQ(gbk::decode(gbk::encode(name)), name);
    QString out;
    EXPECT_FALSE(gbk::decodeStrict(QByteArray("\x81", 1), out));
    EXPECT_TRUE(gbk::decodeStrict(gbk::encode(name), out));
    // Helpers see GBK bytes: a Chinese digit-like text has no leading integer.
    EXPECT_EQ(LeadingInteger(QString::fromUtf8("一2")), 0);
}
