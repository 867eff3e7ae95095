#pragma once
// The readers behind the UTF-8 forms of base/Values.h, as inline functions: base/Values.cpp builds
// every public reader on them, and the import's intake checks (engines/IntakeCheck.cpp), which
// read millions of values, call them directly so that they are inlined into the check.
#include "base/Values.h"

#include <QDate>

namespace corvanta::values {

// The ASCII part of QChar::isSpace.
inline bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

inline bool allDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!isDigit(c))
            return false;
    return true;
}

inline int number(std::string_view digits)
{
    int v = 0;
    for (char c : digits)
        v = v * 10 + (c - '0');
    return v;
}

// A decimal cut into its parts: no leading zeros in intPart, no trailing zeros in fracPart.
struct Decimal {
    bool negative = false;
    std::string_view intPart, fracPart;
    bool isZero() const { return intPart.empty() && fracPart.empty(); }
};

// t is trimmed already.
inline std::optional<Decimal> splitDecimal(std::string_view t)
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

inline std::optional<qint64> toScaled(const Decimal& d)
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
inline std::optional<Day> parseDay(std::string_view t)
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

// White space beyond ASCII (U+3000, U+00A0, ...) trimmed by Qt; t is trimmed of ASCII blanks.
std::string_view trimmedBeyondAscii(std::string_view t, std::string& scratch);

// See TrimmedUtf8.
inline std::string_view trimmedUtf8(std::string_view value, std::string& scratch)
{
    size_t b = 0, e = value.size();
    while (b < e && isAsciiSpace(static_cast<unsigned char>(value[b])))
        ++b;
    while (e > b && isAsciiSpace(static_cast<unsigned char>(value[e - 1])))
        --e;
    const std::string_view t = value.substr(b, e - b);
    if (t.empty() || (static_cast<unsigned char>(t.front()) < 0x80 && static_cast<unsigned char>(t.back()) < 0x80))
        return t;
    return trimmedBeyondAscii(t, scratch);
}

// See scaled::parse(std::string_view).
inline std::optional<qint64> parseScaledUtf8(std::string_view utf8)
{
    std::string scratch;
    const std::optional<Decimal> d = splitDecimal(trimmedUtf8(utf8, scratch));
    return d ? toScaled(*d) : std::nullopt;
}

// See ParseDay.
inline std::optional<Day> parseDayUtf8(std::string_view utf8)
{
    std::string scratch;
    return parseDay(trimmedUtf8(utf8, scratch));
}

}  // namespace corvanta::values
