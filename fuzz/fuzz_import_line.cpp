// The import's data-line splitter and byte checks on arbitrary bytes.
#include "fuzz/FuzzSupport.h"
#include "import/LineParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvanta;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    SplitLine split;
    const bool ok = SplitDataLine(line, split);
    FUZZ_CHECK(split.fieldCount >= 0 && split.fieldCount <= kSalesFieldCount);
    FUZZ_CHECK(!ok || split.isSales() || split.isStock());
    FUZZ_CHECK(!ok || split.fieldCount == (split.isSales() ? kSalesFieldCount : kStockFieldCount));
    for (int i = 0; i < split.fieldCount; ++i) {
        const std::string_view f = split.fields[std::size_t(i)];
        // Every field lies inside the joined bytes and holds neither quote nor comma.
        FUZZ_CHECK(f.empty() || (f.data() >= split.joined.data() &&
                                 f.data() + f.size() <= split.joined.data() + split.joined.size()));
        FUZZ_CHECK(f.find('"') == std::string_view::npos && f.find(',') == std::string_view::npos);
    }
    const std::string_view trimmed = TrimLine(line);
    FUZZ_CHECK(trimmed.size() <= line.size());
    FUZZ_CHECK(trimmed.empty() || (static_cast<unsigned char>(trimmed.front()) > 32 &&
                                   static_cast<unsigned char>(trimmed.back()) > 32));
    const LineBytes check = CheckLineBytes(line);
    FUZZ_CHECK(check != LineBytes::NulByte || line.find('\0') != std::string_view::npos);
    return 0;
}
