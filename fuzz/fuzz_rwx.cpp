// PRINT.EXE's report templates (.rwx) from arbitrary bytes, through the file reader.
#include "fuzz/FuzzSupport.h"
#include "print/RwxTemplate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvanta::print;
    const std::string path = corvanta::fuzz::WriteScratch("t.rwx", data, size);
    RwxTemplate tpl;
    QString error;
    if (readRwxFile(QString::fromStdString(path), tpl, error)) {
        for (const RwxColumn& c : tpl.columns) {
            FUZZ_CHECK(c.width > 0);
            FUZZ_CHECK(c.format.kind != NumberFormat::Fixed || c.format.decimals >= 0);
        }
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }
    return 0;
}
