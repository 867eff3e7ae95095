// The value module (base/Values.h): decimals, scaled numbers and dates, read from text and from
// UTF-8 bytes. The differential tests hold the two forms to each other and to reference readers
// written the plain way (as the engines read values before there was one module).
#include "base/Values.h"

#include <QDate>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

using namespace corvanta;

namespace {

std::string utf8(const QString& s)
{
    return s.toStdString();
}

// Reference: a decimal read character by character on QString.
std::optional<QString> referenceDecimal(QStringView text)
{
    const QStringView t = text.trimmed();
    auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    QString intPart, fracPart;
    while (i < t.size() && isDigit(t[i]))
        intPart += t[i++];
    if (i < t.size() && t[i] == u'.') {
        ++i;
        while (i < t.size() && isDigit(t[i]))
            fracPart += t[i++];
    }
    if (i != t.size() || (intPart.isEmpty() && fracPart.isEmpty()))
        return std::nullopt;
    while (intPart.startsWith(u'0'))
        intPart.remove(0, 1);
    while (fracPart.endsWith(u'0'))
        fracPart.chop(1);
    if (intPart.isEmpty() && fracPart.isEmpty())
        return QStringLiteral("0");
    QString out = negative ? QStringLiteral("-") : QString();
    out += intPart.isEmpty() ? QStringLiteral("0") : intPart;
    if (!fracPart.isEmpty())
        out += u'.' + fracPart;
    return out;
}

// Reference: a date split at its separators on QString.
std::optional<QString> referenceDate(QStringView text)
{
    const QString t = text.trimmed().toString();
    static const QRegularExpression compact(QStringLiteral("^[0-9]{8}$"));
    static const QRegularExpression parts(QStringLiteral("^([0-9]{4})([-/])([0-9]{1,2})\\2([0-9]{1,2})$"));
    int y = 0, m = 0, d = 0;
    if (compact.match(t).hasMatch()) {
        y = t.left(4).toInt();
        m = t.mid(4, 2).toInt();
        d = t.mid(6, 2).toInt();
    } else if (const auto p = parts.match(t); p.hasMatch()) {
        y = p.captured(1).toInt();
        m = p.captured(3).toInt();
        d = p.captured(4).toInt();
    } else {
        return std::nullopt;
    }
    const QDate date(y, m, d);
    if (y < 1 || !date.isValid())
        return std::nullopt;
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

const QStringList kNumbers = {"0", "12", " 12.50 ", "+3", "-0.0", "-3.", ".5", "007.100", "123456789012",
                              "1234567890123", "0000123456789012.5", "0.123456", "0.1234567", "0.1234560",
                              "1e3", "1,5", "", " ", ".", "-", "+", "1.2.3", "１２", "\u30005\u3000", "\u00a07",
                              "5\t", "- 5", "12a", "0x10", "-999999999999.999999", "+-1", "--1", "1-", "00", "-.0"};

const QStringList kDates = {"2024-03-01", "2024/3/1", "2024-3-01", "20240229", "20230229", "2023-02-29", "2024-13-01",
                            "2024-00-10", "2024-01-32", "0000-01-01", "0001-01-01", "9999-12-31", "24-01-01",
                            "2024-01", "2024-01-01-", "2024-01/01", "2024.01.01", " 2024-01-02 ", "\u30002024-01-02",
                            "2024-001-01", "2024-1-1x", "２０２４-01-01", "", "2024-1-", "2024//1", "202401011"};

TEST(Values, DecimalsAgreeWithTheReference)
{
    for (const QString& n : kNumbers)
        EXPECT_EQ(CanonicalDecimal(n), referenceDecimal(n)) << n.toStdString();
    EXPECT_EQ(CanonicalDecimal(u" +012.500 "), QStringLiteral("12.5"));
    EXPECT_EQ(CanonicalDecimal(u"-0.0"), QStringLiteral("0"));
    EXPECT_EQ(CanonicalDecimal(u".5"), QStringLiteral("0.5"));
    EXPECT_EQ(CanonicalDecimal(u"-3."), QStringLiteral("-3"));
}

TEST(Values, ScaledTextAndBytesAgree)
{
    for (const QString& n : kNumbers) {
        std::string scratch;
        const std::optional<qint64> fromText = scaled::parse(QStringView(n));
        EXPECT_EQ(scaled::parse(std::string_view(utf8(n))), fromText) << n.toStdString();
        EXPECT_EQ(QString::fromStdString(std::string(TrimmedUtf8(utf8(n), scratch))), n.trimmed()) << n.toStdString();
        // A scaled value written back is the minimal form of what was read.
        if (fromText) {
            EXPECT_EQ(scaled::format(*fromText), referenceDecimal(n)) << n.toStdString();
        }
    }
}

TEST(Values, ScaledLimitsAreTheNamedOnes)
{
    const QString maxInt(scaled::kIntegerDigits, u'9');
    const QString maxFrac(scaled::kFractionDigits, u'9');
    EXPECT_TRUE(scaled::parse(QStringView(maxInt + u'.' + maxFrac)).has_value());
    EXPECT_FALSE(scaled::parse(QStringView(u'1' + maxInt)).has_value());
    EXPECT_FALSE(scaled::parse(QStringView(QStringLiteral("0.") + maxFrac + u'1')).has_value());
    EXPECT_EQ(scaled::parse(QStringView(u"1")), scaled::kUnit);
    EXPECT_EQ(scaled::format(-scaled::kUnit / 4), QStringLiteral("-0.25"));
    EXPECT_EQ(scaled::format(0), QStringLiteral("0"));
}

TEST(Values, DatesAgreeWithTheReferenceInBothForms)
{
    for (const QString& d : kDates) {
        const std::optional<QString> canonical = CanonicalDate(d);
        EXPECT_EQ(canonical, referenceDate(d)) << d.toStdString();
        const std::optional<Day> day = ParseDay(utf8(d));
        ASSERT_EQ(day.has_value(), canonical.has_value()) << d.toStdString();
        if (day) {
            EXPECT_EQ(QString::fromStdString(std::string(day->view())), *canonical);
            EXPECT_EQ(day->julian, QDate::fromString(*canonical, Qt::ISODate).toJulianDay());
        }
    }
}

TEST(Values, ServerNumbersInMinimalForm)
{
    EXPECT_EQ(MinimalDecimal(u"12.500000"), QStringLiteral("12.5"));
    EXPECT_EQ(MinimalDecimal(u"10.000"), QStringLiteral("10"));
    EXPECT_EQ(MinimalDecimal(u"100"), QStringLiteral("100"));
    EXPECT_EQ(MinimalDecimal(u"-3.250"), QStringLiteral("-3.25"));
    EXPECT_EQ(MinimalDecimal(u"-0.000"), QStringLiteral("0"));
    EXPECT_EQ(MinimalDecimal(u"0.050"), QStringLiteral("0.05"));
    EXPECT_EQ(MinimalDecimal(u"123456789012.123456"), QStringLiteral("123456789012.123456"));
    EXPECT_EQ(MinimalDecimal(u"NaN"), QStringLiteral("NaN"));
    EXPECT_EQ(MinimalDecimal(u""), QString());
}

TEST(Values, Int32)
{
    EXPECT_EQ(ParseInt32(u"-2147483648"), std::optional<qint32>(-2147483647 - 1));
    EXPECT_EQ(ParseInt32(u" +12 "), std::optional<qint32>(12));
    EXPECT_FALSE(ParseInt32(u"2147483648").has_value());
    EXPECT_FALSE(ParseInt32(u"12a").has_value());
    EXPECT_FALSE(ParseInt32(u"-").has_value());
}

}  // namespace
