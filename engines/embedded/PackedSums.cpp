#include "engines/embedded/PackedSums.h"

namespace corvanta::embedded {

namespace {

void putVarint(std::string& out, std::uint64_t v)
{
    char buf[10];
    int n = 0;
    while (v >= 0x80) {
        buf[n++] = char((v & 0x7f) | 0x80);
        v >>= 7;
    }
    buf[n++] = char(v);
    out.append(buf, std::size_t(n));
}

std::uint64_t zigzag(std::int64_t v) { return (std::uint64_t(v) << 1) ^ std::uint64_t(v >> 63); }
std::int64_t unzigzag(std::uint64_t v) { return std::int64_t(v >> 1) ^ -std::int64_t(v & 1); }

}  // namespace

void packSum(std::string& out, const PackedSum& sum)
{
    putVarint(out, std::uint64_t(sum.product));
    putVarint(out, zigzag(sum.vchType));
    putVarint(out, zigzag(sum.qty));
    putVarint(out, zigzag(sum.total));
    putVarint(out, zigzag(sum.cost));
}

PackedReader::PackedReader(std::string_view blob)
    : m_at(reinterpret_cast<const unsigned char*>(blob.data())), m_end(m_at + blob.size())
{
    if (blob.empty() || blob[0] != kPackedFormat)
        m_damaged = true;
    else
        ++m_at;
}

bool PackedReader::varint(std::uint64_t& v)
{
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (m_at == m_end)
            return false;
        const unsigned char b = *m_at++;
        // The tenth byte holds the top bit only.
        if (shift == 63 && b > 1)
            return false;
        v |= std::uint64_t(b & 0x7f) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

bool PackedReader::next(PackedSum& sum)
{
    if (m_damaged || m_at == m_end)
        return false;
    std::uint64_t v[5];
    for (std::uint64_t& x : v) {
        if (!varint(x)) {
            m_damaged = true;
            return false;
        }
    }
    if (v[0] > std::uint64_t(INT64_MAX)) {
        m_damaged = true;
        return false;
    }
    sum.product = std::int64_t(v[0]);
    sum.vchType = unzigzag(v[1]);
    sum.qty = unzigzag(v[2]);
    sum.total = unzigzag(v[3]);
    sum.cost = unzigzag(v[4]);
    return true;
}

}  // namespace corvanta::embedded
