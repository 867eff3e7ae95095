#include "engines/Values.h"

#include <QDate>

namespace corvanta {

namespace {
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }
}  // namespace

std::optional<QString> CanonicalDecimal(QStringView text)
{
    const QStringView t = text.trimmed();
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
    qsizetype lead = 0;
    while (lead < intPart.size() && intPart[lead] == u'0')
        ++lead;
    intPart = intPart.mid(lead);
    while (fracPart.endsWith(u'0'))
        fracPart.chop(1);
    if (intPart.isEmpty())
        intPart = QStringLiteral("0");
    if (intPart == QLatin1String("0") && fracPart.isEmpty())
        return QStringLiteral("0");
    QString out = negative ? QStringLiteral("-") : QString();
    out += intPart;
    if (!fracPart.isEmpty())
        out += u'.' + fracPart;
    return out;
}

std::optional<QString> CanonicalDate(QStringView text)
{
    const QStringView t = text.trimmed();
    int y = 0, m = 0, d = 0;
    auto allDigits = [](QStringView s) {
        if (s.isEmpty())
            return false;
        for (QChar c : s)
            if (!isDigit(c))
                return false;
        return true;
    };
    if (t.size() == 8 && allDigits(t)) {
        y = t.left(4).toInt();
        m = t.mid(4, 2).toInt();
        d = t.mid(6, 2).toInt();
    } else {
        const QChar sep = t.size() > 4 ? t[4] : QChar();
        if (sep != u'-' && sep != u'/')
            return std::nullopt;
        const auto parts = t.split(sep);
        if (parts.size() != 3 || parts[0].size() != 4 || parts[1].size() < 1 || parts[1].size() > 2
            || parts[2].size() < 1 || parts[2].size() > 2 || !allDigits(parts[0]) || !allDigits(parts[1])
            || !allDigits(parts[2]))
            return std::nullopt;
        y = parts[0].toInt();
        m = parts[1].toInt();
        d = parts[2].toInt();
    }
    const QDate date(y, m, d);
    if (y < 1 || !date.isValid())
        return std::nullopt;
    return date.toString(QStringLiteral("yyyy-MM-dd"));
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
        if (!isDigit(t[i]))
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

}  // namespace corvanta
