#include "tests/setup/SzddPack.h"

#include <algorithm>
#include <cstdint>

namespace setup::test {

QByteArray SzddPack(const QByteArray& data)
{
    constexpr int kWindow = 4096;
    constexpr int kStart = kWindow - 16;  // where the expander starts writing its window
    constexpr int kMinMatch = 3;
    constexpr int kMaxMatch = 18;

    QByteArray out("SZDD\x88\xF0\x27\x33", 8);
    out += 'A';   // compression mode
    out += '\0';  // last character of the name, not needed here
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((size >> shift) & 0xFF);

    const qsizetype n = data.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype control = out.size();
        out += '\0';
        unsigned char flags = 0;
        for (int bit = 0; bit < 8 && i < n; ++bit) {
            qsizetype bestLen = 0;
            qsizetype bestDist = 0;
            // Distances below the window size only: the expander's window keeps exactly those bytes.
            for (qsizetype d = 1; d <= std::min<qsizetype>(i, kWindow - 1); ++d) {
                qsizetype len = 0;
                while (len < kMaxMatch && i + len < n && data[i + len] == data[i - d + len])
                    ++len;
                if (len > bestLen) {
                    bestLen = len;
                    bestDist = d;
                }
            }
            if (bestLen >= kMinMatch) {
                const int pos = static_cast<int>((kStart + i - bestDist) & (kWindow - 1));
                out += static_cast<char>(pos & 0xFF);
                out += static_cast<char>(((pos >> 4) & 0xF0) | (bestLen - kMinMatch));
                i += bestLen;
            } else {
                flags |= static_cast<unsigned char>(1u << bit);
                out += data[i++];
            }
        }
        out[control] = static_cast<char>(flags);
    }
    return out;
}

}  // namespace setup::test
