// The daily summary's packed outlet-day blobs from arbitrary bytes: read without overrun, and
// what reads back packs into the same groups again.
#include "engines/embedded/PackedSums.h"
#include "fuzz/FuzzSupport.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvanta::embedded;
    PackedReader r(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<PackedSum> sums;
    PackedSum s;
    while (r.next(s))
        sums.push_back(s);
    std::string again;
    packBegin(again);
    for (const PackedSum& p : sums)
        packSum(again, p);
    PackedReader back(again);
    std::size_t n = 0;
    while (back.next(s)) {
        FUZZ_CHECK(n < sums.size());
        const PackedSum& p = sums[n++];
        FUZZ_CHECK(s.product == p.product && s.vchType == p.vchType && s.qty == p.qty && s.total == p.total &&
                   s.cost == p.cost);
    }
    FUZZ_CHECK(!back.damaged() && n == sums.size());
    return 0;
}
