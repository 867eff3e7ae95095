#include "base/TextHelpers.h"

#include <limits>

#include "base/Gbk.h"

#include <QSysInfo>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace corvanta {

bool IsBlank(const QByteArray& text)
{
    for (char c : text)
        if (c != ' ')
            return false;
    return true;
}

bool IsBlank(const QString& text)
{
    for (QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}

int32_t LeadingInteger(const QByteArray& text)
{
    if (IsBlank(text))
        return 0;
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    qsizetype start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == start)
        return 0;
    int32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.constData() + start, text.constData() + i, value);
    (void)ptr;
    if (ec != std::errc())
        throw ConversionError("'" + text.mid(start, i - start).toStdString() +
                              "' is not a valid integer value");
    return value;
}

int32_t LeadingInteger(const QString& text)
{
    return LeadingInteger(gbk::encode(text));
}

double TextToNumber(const QByteArray& text)
{
    return TextToNumber(std::string_view(text.constData(), std::size_t(text.size())));
}

double TextToNumber(std::string_view text)
{
    std::size_t blank = 0;
    while (blank < text.size() && text[blank] == ' ')
        ++blank;
    if (blank == text.size())
        return 0;
    // Common case: plain digits with at most four decimals read exactly as the rounding would.
    {
        std::size_t j = blank, digits = 0, decimals = 0;
        bool dot = false;
        if (j < text.size() && text[j] == '-')
            ++j;
        const std::size_t numStart = j;
        for (; j < text.size(); ++j) {
            const char c = text[j];
            if (c >= '0' && c <= '9') {
                ++digits;
                decimals += dot;
            } else if (c == '.' && !dot) {
                dot = true;
            } else {
                break;
            }
        }
        const bool exponent = j < text.size() && (text[j] == 'e' || text[j] == 'E');
        if (digits && digits <= 15 && decimals <= 4 && !exponent && text[numStart] != '.') {
            double value = 0;
            const auto [ptr, ec] = std::from_chars(text.data() + blank, text.data() + j, value);
            if (ec == std::errc() && ptr == text.data() + j)
                return value;
        }
    }
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    std::string accepted;
    if (i < n && text[i] == '-') {
        accepted += '-';
        ++i;
    }
    const size_t bodyStart = accepted.size();
    bool seenDot = false;
    while (i < n) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            accepted += c;
            ++i;
        } else if (c == '.' && !seenDot) {
            seenDot = true;
            accepted += c;
            ++i;
        } else if ((c == 'E' || c == 'e') && i + 1 < n &&
                   (text[i + 1] == '+' || text[i + 1] == '-' ||
                    (text[i + 1] >= '0' && text[i + 1] <= '9'))) {
            accepted += c;
            accepted += text[i + 1];
            i += 2;
        } else {
            break;
        }
    }
    if (accepted.size() == bodyStart)
        return 0;
    if (accepted[bodyStart] == 'E' || accepted[bodyStart] == 'e')
        return 0;
    double value = 0;
    const char* first = accepted.data();
    const char* last = accepted.data() + accepted.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || !std::isfinite(value))
        throw ConversionError("'" + accepted + "' is not a valid floating point value");
    // Formatted with four decimals and read back.
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.4f", value);
    return std::strtod(buf, nullptr);
}

double TextToNumber(const QString& text)
{
    return TextToNumber(gbk::encode(text));
}

int32_t Larger(int32_t a, int32_t b)
{
    return b >= a ? b : a;
}

QString ComputerNameText()
{
    char name[201] = {};
    if (gethostname(name, 200) == 0 && name[0])
        return QString::fromLocal8Bit(name);
    QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

std::optional<qint64> OutletNumber(std::string_view t, bool* outOfRange)
{
    if (outOfRange)
        *outOfRange = false;
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    bool negative = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty())
        return std::nullopt;
    // Accumulated negative, so that the smallest 64-bit value fits too.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    bool overflow = false;
    for (const char c : t) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int d = c - '0';
        if (value < (lowest + d) / 10)
            overflow = true;
        else
            value = value * 10 - d;
    }
    if (overflow || (!negative && value == lowest)) {
        if (outOfRange)
            *outOfRange = true;
        return std::nullopt;
    }
    return negative ? value : -value;
}

std::optional<qint64> OutletNumber(const QString& text, bool* outOfRange)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return std::nullopt;
    const QByteArray latin = text.toLatin1();
    return OutletNumber(std::string_view(latin.constData(), std::size_t(latin.size())), outOfRange);
}

}  // namespace corvanta
