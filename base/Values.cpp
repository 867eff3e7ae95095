#include "base/Values.h"

#include <QDate>

namespace corvanta {

namespace {

// The ASCII part of QChar::isSpace.
inline bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

int number(std::string_view digits)
{
    int v = 0;
    for (char c : digits)
        v = v * 10 + (c - '0');
    return v;
}

// A trimmed text as ASCII bytes; false when it has other characters (which no decimal or date
// has: their digits are ASCII).
bool toAscii(QStringView t, std::string& out)
{
    out.resize(std::size_t(t.size()));
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c >= 0x80)
            return false;
        out[std::size_t(i)] = char(c);
    }
    return true;
}

// A decimal cut into its parts: no leading zeros in intPart, no trailing zeros in fracPart.
struct Decimal {
    bool negative = false;
    std::string_view intPart, fracPart;
    bool isZero() const { return intPart.empty() && fracPart.empty(); }
};

// t is trimmed already.
std::optional<Decimal> splitDecimal(std::string_view t)
{
    Decimal d;
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        d.negative = t[i++] == '-';
    const size_t intBegin = i;
    while (i < t.size() && isDigit(t[i]))
        ++i;
    d.intPart = t.substr(intBegin, i - intBegin);
    if (i < t.size() && t[i] == '.') {
        const size_t fracBegin = ++i;
        while (i < t.size() && isDigit(t[i]))
            ++i;
        d.fracPart = t.substr(fracBegin, i - fracBegin);
    }
    if (i != t.size() || (d.intPart.empty() && d.fracPart.empty()))
        return std::nullopt;
    while (!d.intPart.empty() && d.intPart.front() == '0')
        d.intPart.remove_prefix(1);
    while (!d.fracPart.empty() && d.fracPart.back() == '0')
        d.fracPart.remove_suffix(1);
    return d;
}

std::optional<qint64> toScaled(const Decimal& d)
{
    if (d.intPart.size() > size_t(scaled::kIntegerDigits) || d.fracPart.size() > size_t(scaled::kFractionDigits))
        return std::nullopt;
    qint64 v = 0;
    for (char c : d.intPart)
        v = v * 10 + (c - '0');
    for (size_t k = 0; k < size_t(scaled::kFractionDigits); ++k)
        v = v * 10 + (k < d.fracPart.size() ? d.fracPart[k] - '0' : 0);
    return d.negative ? -v : v;
}

// t is trimmed already.
std::optional<Day> parseDay(std::string_view t)
{
    std::string_view y, m, d;
    if (t.size() == 8 && allDigits(t)) {
        y = t.substr(0, 4);
        m = t.substr(4, 2);
        d = t.substr(6, 2);
    } else {
        if (t.size() <= 4 || (t[4] != '-' && t[4] != '/'))
            return std::nullopt;
        const char sep = t[4];
        const size_t second = t.find(sep, 5);
        if (second == std::string_view::npos || t.find(sep, second + 1) != std::string_view::npos)
            return std::nullopt;
        y = t.substr(0, 4);
        m = t.substr(5, second - 5);
        d = t.substr(second + 1);
        if (!allDigits(y) || m.empty() || m.size() > 2 || d.empty() || d.size() > 2 || !allDigits(m) || !allDigits(d))
            return std::nullopt;
    }
    const int year = number(y), month = number(m), dayOfMonth = number(d);
    const QDate date(year, month, dayOfMonth);
    if (year < 1 || !date.isValid())
        return std::nullopt;
    Day out;
    out.julian = date.toJulianDay();
    char* p = out.text.data();
    auto put = [&p](int v, int width) {
        for (int i = width - 1; i >= 0; --i, v /= 10)
            p[i] = char('0' + v % 10);
        p += width;
    };
    put(year, 4);
    *p++ = '-';
    put(month, 2);
    *p++ = '-';
    put(dayOfMonth, 2);
    return out;
}

}  // namespace

// ---- text forms -----------------------------------------------------------------------------

std::optional<QString> CanonicalDecimal(QStringView text)
{
    std::string ascii;
    if (!toAscii(text.trimmed(), ascii))
        return std::nullopt;
    const std::optional<Decimal> d = splitDecimal(ascii);
    if (!d)
        return std::nullopt;
    if (d->isZero())
        return QStringLiteral("0");
    QString out = d->negative ? QStringLiteral("-") : QString();
    out += d->intPart.empty() ? QStringLiteral("0") : QString::fromLatin1(d->intPart.data(), qsizetype(d->intPart.size()));
    if (!d->fracPart.empty())
        out += QLatin1Char('.') + QString::fromLatin1(d->fracPart.data(), qsizetype(d->fracPart.size()));
    return out;
}

QString MinimalDecimal(QStringView text)
{
    if (std::optional<QString> canonical = CanonicalDecimal(text))
        return *canonical;
    return text.trimmed().toString();
}

std::optional<QString> CanonicalDate(QStringView text)
{
    std::string ascii;
    if (!toAscii(text.trimmed(), ascii))
        return std::nullopt;
    const std::optional<Day> day = parseDay(ascii);
    if (!day)
        return std::nullopt;
    return QString::fromLatin1(day->text.data(), qsizetype(day->text.size()));
}

std::optional<qint32> ParseInt32(QStringView text)
{
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        negative = t[i++] == u'-';
    if (i == t.size())
        return std::nullopt;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < u'0' || t[i] > u'9')
            return std::nullopt;
        v = v * 10 + (t[i].unicode() - u'0');
        if (v > qint64(1) << 31)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL || v < -2147483648LL)
        return std::nullopt;
    return static_cast<qint32>(v);
}

// ---- scaled ---------------------------------------------------------------------------------

namespace scaled {

std::optional<qint64> parse(QStringView text)
{
    std::string ascii;
    if (!toAscii(text.trimmed(), ascii))
        return std::nullopt;
    const std::optional<Decimal> d = splitDecimal(ascii);
    return d ? toScaled(*d) : std::nullopt;
}

std::optional<qint64> parse(std::string_view utf8)
{
    std::string scratch;
    const std::optional<Decimal> d = splitDecimal(TrimmedUtf8(utf8, scratch));
    return d ? toScaled(*d) : std::nullopt;
}

QString format(qint64 value)
{
    const bool negative = value < 0;
    // Magnitudes stay far below the int64 limit (kIntegerDigits digits per value, sums checked).
    const quint64 mag = negative ? quint64(0) - quint64(value) : quint64(value);
    QString out = negative ? QStringLiteral("-") : QString();
    out += QString::number(mag / quint64(kUnit));
    QString frac = QString::number(mag % quint64(kUnit)).rightJustified(kFractionDigits, u'0');
    while (frac.endsWith(u'0'))
        frac.chop(1);
    if (!frac.isEmpty())
        out += u'.' + frac;
    return out;
}

}  // namespace scaled

// ---- UTF-8 forms ----------------------------------------------------------------------------

std::string_view TrimmedUtf8(std::string_view value, std::string& scratch)
{
    size_t b = 0, e = value.size();
    while (b < e && isAsciiSpace(static_cast<unsigned char>(value[b])))
        ++b;
    while (e > b && isAsciiSpace(static_cast<unsigned char>(value[e - 1])))
        --e;
    const std::string_view t = value.substr(b, e - b);
    if (t.empty() || (static_cast<unsigned char>(t.front()) < 0x80 && static_cast<unsigned char>(t.back()) < 0x80))
        return t;
    // White space beyond ASCII (U+3000, U+00A0, ...) is Qt's business.
    const QByteArray trimmed = QString::fromUtf8(t.data(), qsizetype(t.size())).trimmed().toUtf8();
    scratch.assign(trimmed.constData(), size_t(trimmed.size()));
    return scratch;
}

std::optional<Day> ParseDay(std::string_view utf8)
{
    std::string scratch;
    return parseDay(TrimmedUtf8(utf8, scratch));
}

}  // namespace corvanta
