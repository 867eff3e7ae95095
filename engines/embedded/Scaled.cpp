#include "engines/embedded/Scaled.h"

#include "engines/Values.h"

namespace corvanta::scaled {

std::optional<qint64> parse(QStringView text)
{
    const std::optional<QString> canon = CanonicalDecimal(text);
    if (!canon)
        return std::nullopt;
    QStringView c = *canon;
    const bool negative = c.startsWith(u'-');
    if (negative)
        c = c.mid(1);
    const qsizetype dot = c.indexOf(u'.');
    const QStringView intPart = dot < 0 ? c : c.left(dot);
    const QStringView fracPart = dot < 0 ? QStringView() : c.mid(dot + 1);
    if (intPart.size() > 12 || fracPart.size() > kDigits)
        return std::nullopt;
    qint64 v = 0;
    for (QChar ch : intPart)
        v = v * 10 + (ch.unicode() - u'0');
    for (int i = 0; i < kDigits; ++i)
        v = v * 10 + (i < fracPart.size() ? fracPart[i].unicode() - u'0' : 0);
    return negative ? -v : v;
}

QString format(qint64 value)
{
    const bool negative = value < 0;
    // Magnitudes stay far below the int64 limit (12 integer digits per value, sums checked by SQLite).
    const quint64 mag = negative ? quint64(0) - quint64(value) : quint64(value);
    QString out = negative ? QStringLiteral("-") : QString();
    out += QString::number(mag / quint64(kUnit));
    QString frac = QString::number(mag % quint64(kUnit)).rightJustified(kDigits, u'0');
    while (frac.endsWith(u'0'))
        frac.chop(1);
    if (!frac.isEmpty())
        out += u'.' + frac;
    return out;
}

}  // namespace corvanta::scaled
