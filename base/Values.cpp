#include "base/Values.h"

#include "base/ValuesUtf8.h"

namespace corvanta {

namespace {

using namespace values;

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
    return parseScaledUtf8(utf8);
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

std::string_view values::trimmedBeyondAscii(std::string_view t, std::string& scratch)
{
    const QByteArray trimmed = QString::fromUtf8(t.data(), qsizetype(t.size())).trimmed().toUtf8();
    scratch.assign(trimmed.constData(), size_t(trimmed.size()));
    return scratch;
}

std::string_view TrimmedUtf8(std::string_view value, std::string& scratch)
{
    return trimmedUtf8(value, scratch);
}

std::optional<Day> ParseDay(std::string_view utf8)
{
    return parseDayUtf8(utf8);
}

QString SumOutOfRangeText()
{
    return QStringLiteral("合计超出可精确计算的范围（绝对值最大 %1），没有给出结果！").arg(QLatin1String(scaled::kLargestExactSum));
}

}  // namespace corvanta
