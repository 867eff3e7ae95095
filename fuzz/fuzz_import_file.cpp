// The import's buffered file reader: line ends, Ctrl+Z, lines over buffer boundaries and over the
// length limit. The first two bytes choose a small buffer and limit so that every boundary case
// is reached with short inputs.
#include "fuzz/FuzzSupport.h"
#include "import/LineParser.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvanta;
    if (size < 2)
        return 0;
    const std::size_t bufferBytes = 1 + data[0] % 64;
    const std::size_t maxLine = 1 + data[1] % 128;
    const std::string path = fuzz::WriteScratch("import.txt", data + 2, size - 2);

    ImportFileReader reader(bufferBytes, maxLine);
    std::vector<std::string> lines;
    std::uint64_t firstDigest = 0;
    for (int pass = 0; pass < 2; ++pass) {
        reader.open(path);
        std::string_view line;
        std::size_t n = 0;
        while (reader.nextLine(line)) {
            FUZZ_CHECK(line.size() <= maxLine);
            FUZZ_CHECK(line.find('\r') == std::string_view::npos);
            FUZZ_CHECK(line.find('\x1a') == std::string_view::npos);
            if (pass == 0) {
                lines.emplace_back(line);
                SplitLine split;
                SplitDataLine(line, split);
                CheckLineBytes(line);
            } else {
                FUZZ_CHECK(n < lines.size() && lines[n] == line);
            }
            ++n;
        }
        FUZZ_CHECK(n == lines.size() && reader.lineCount() == n);
        if (pass == 0)
            firstDigest = reader.digest();
        else
            FUZZ_CHECK(reader.digest() == firstDigest);
        reader.close();
    }
    // A reader with a large buffer serves the same lines.
    ImportFileReader whole(1 << 16, maxLine);
    whole.open(path);
    std::string_view line;
    std::size_t n = 0;
    while (whole.nextLine(line)) {
        FUZZ_CHECK(n < lines.size() && lines[n] == line);
        ++n;
    }
    FUZZ_CHECK(n == lines.size());
    return 0;
}
