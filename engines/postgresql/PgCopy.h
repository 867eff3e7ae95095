#pragma once
// The binary COPY format the PostgreSQL intake streams its lines in: a buffer written in place
// and the encoders of the values (network byte order; numeric as base-10000 digits).
#include "base/Values.h"

#include <QByteArray>
#include <QtGlobal>
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta::pg {

// COPY data is handed to libpq in pieces of about this size; the stream itself spans the intake.
// Well below a socket's buffer: a piece larger than the buffer makes the client wait for the
// server to drain it and the server wait for the next piece, so the two never work at once.
constexpr std::size_t kCopyChunk = 32 * 1024;

// The bytes of a COPY stream not yet handed to libpq, written in place (QByteArray::append is
// too slow for a few hundred small pieces per line).
class CopyBuffer {
public:
    char* extend(std::size_t n)
    {
        if (m_used + n > m_data.size())
            m_data.resize(std::max(m_data.size() * 2, m_used + n));
        char* p = m_data.data() + m_used;
        m_used += n;
        return p;
    }
    void append(const char* bytes, std::size_t n) { std::memcpy(extend(n), bytes, n); }
    const char* data() const { return m_data.data(); }
    std::size_t size() const { return m_used; }
    bool isEmpty() const { return m_used == 0; }
    void clear() { m_used = 0; }

private:
    std::vector<char> m_data;
    std::size_t m_used = 0;
};

// COPY's binary format, in network byte order.
inline void putInt16(CopyBuffer& out, int v)
{
    char* p = out.extend(2);
    p[0] = char((v >> 8) & 0xff);
    p[1] = char(v & 0xff);
}

inline void putInt32(CopyBuffer& out, qint32 v)
{
    const quint32 u = quint32(v);
    char* p = out.extend(4);
    p[0] = char(u >> 24);
    p[1] = char(u >> 16);
    p[2] = char(u >> 8);
    p[3] = char(u);
}

inline void putText(CopyBuffer& out, std::string_view value)
{
    putInt32(out, qint32(value.size()));
    out.append(value.data(), value.size());
}

// A numeric value from its base-10000 digits, highest first: intGroups of them before the point,
// then the fraction's; zeros at either end are left out, as the server stores the value.
inline void putNumeric(CopyBuffer& out, const int* digits, int count, int intGroups, bool negative, int dscale)
{
    int weight = intGroups - 1;
    int first = 0;
    while (first < count && digits[first] == 0) {
        ++first;
        --weight;
    }
    int last = count;
    while (last > first && digits[last - 1] == 0)
        --last;
    const int ndigits = last - first;
    if (ndigits == 0)
        weight = 0;
    putInt32(out, 8 + 2 * ndigits);
    putInt16(out, ndigits);
    putInt16(out, weight);
    putInt16(out, negative && ndigits > 0 ? 0x4000 : 0);
    putInt16(out, dscale);
    for (int g = first; g < last; ++g)
        putInt16(out, digits[g]);
}

// A decimal in millionths (see scaled::parse) as a numeric value with the scale its text had once
// trailing zeros are gone ("12.50" -> 12.5), as hz_util_decimal would store it.
inline void putScaled(CopyBuffer& out, qint64 value)
{
    // Base-10000 digits ("groups"): the integer part has at most kIntGroups of them, the fraction
    // (kFractionDigits = 6 digits) exactly two, its first four digits and its last two followed
    // by two zeros.
    constexpr int kIntGroups = (scaled::kIntegerDigits + 3) / 4;
    static_assert(scaled::kFractionDigits == 6, "the fraction is cut into two base-10000 groups below");
    const bool negative = value < 0;
    const quint64 v = negative ? quint64(-value) : quint64(value);
    quint64 integer = v / quint64(scaled::kUnit);
    const int fraction = int(v % quint64(scaled::kUnit));
    int dscale = 0;
    for (int f = fraction; f != 0 && dscale < scaled::kFractionDigits; f = f % int(scaled::kUnit / 10) * 10)
        ++dscale;
    int groups[kIntGroups + 2];
    int intGroups = 0;
    int intDigits[kIntGroups];
    while (integer != 0 && intGroups < kIntGroups) {
        intDigits[intGroups++] = int(integer % 10000);
        integer /= 10000;
    }
    int count = 0;
    for (int g = intGroups - 1; g >= 0; --g)
        groups[count++] = intDigits[g];
    groups[count++] = fraction / 100;
    groups[count++] = fraction % 100 * 100;
    putNumeric(out, groups, count, intGroups, negative, dscale);
}

// A sum of values in millionths as a numeric value with dscale fraction digits, as sum() of the
// summed numerics gives it (dscale = the most any of them had).
inline void putWideScaled(CopyBuffer& out, __int128 value, int dscale)
{
    const bool negative = value < 0;
    unsigned __int128 v = negative ? (unsigned __int128)(-(value + 1)) + 1 : (unsigned __int128)value;
    const int fraction = int(v % (unsigned __int128)scaled::kUnit);
    v /= (unsigned __int128)scaled::kUnit;
    int groups[16];  // base-10000 digits of the integer part, lowest first (2^127 < 10^39)
    int intGroups = 0;
    // 128-bit division is a library call: most sums fit in 64 bits.
    while (v > std::numeric_limits<quint64>::max()) {
        groups[intGroups++] = int(v % 10000);
        v /= 10000;
    }
    for (quint64 small = quint64(v); small != 0; small /= 10000)
        groups[intGroups++] = int(small % 10000);
    int digits[18];
    int count = 0;
    for (int g = intGroups - 1; g >= 0; --g)
        digits[count++] = groups[g];
    digits[count++] = fraction / 100;
    digits[count++] = fraction % 100 * 100;
    putNumeric(out, digits, count, intGroups, negative, dscale);
}

// PostgreSQL's dates count days from 2000-01-01.
constexpr qint64 kPgEpochJulian = 2451545;

// A text[] literal of the values (UTF-8).
template <typename Strings>
QByteArray textArray(const Strings& values)
{
    QByteArray array = "{";
    for (const std::string& value : values) {
        if (array.size() > 1)
            array += ',';
        array += '"';
        for (const char ch : value) {
            if (ch == '"' || ch == '\\')
                array += '\\';
            array += ch;
        }
        array += '"';
    }
    return array + '}';
}

}  // namespace corvanta::pg
