#pragma once
// The sums of one outlet day of the daily sales summary, packed into one blob: per product (an
// integer of the summary's product list) and document type the quantity, amount and cost sums,
// each a varint. One row per outlet day keeps the consolidation's writing small (a few bytes a
// group instead of a B-tree entry with its texts).
//
// Layout: a format byte (1), then per group: product (unsigned varint), document type, quantity,
// amount, cost (zigzag varints). Reading checks every byte: a damaged blob is reported, never
// read past.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvanta::embedded {

struct PackedSum {
    std::int64_t product = 0;
    std::int64_t vchType = 0;
    std::int64_t qty = 0, total = 0, cost = 0;
};

constexpr char kPackedFormat = 1;

// out must start with kPackedFormat (packBegin).
inline void packBegin(std::string& out) { out.assign(1, kPackedFormat); }
void packSum(std::string& out, const PackedSum& sum);

class PackedReader {
public:
    explicit PackedReader(std::string_view blob);
    // The next group; false at the end or at damage (then damaged() is true).
    bool next(PackedSum& sum);
    bool damaged() const { return m_damaged; }

private:
    bool varint(std::uint64_t& v);
    const unsigned char* m_at;
    const unsigned char* m_end;
    bool m_damaged = false;
};

}  // namespace corvanta::embedded
