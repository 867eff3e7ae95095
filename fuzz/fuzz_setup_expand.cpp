// The setup's SZDD expansion (and plain copy) from arbitrary source bytes. Links setup code only.
#include "fuzz/FuzzSupport.h"
#include "setup/InstallSteps.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace setup;
    const std::string source = corvanta::fuzz::WriteScratch("az.ex_", data, size);
    const QString destination = QString::fromStdString(corvanta::fuzz::ScratchDir() + "/out.exe");
    QFile::remove(destination);
    const ExpandResult r = ExpandFile(QString::fromStdString(source), destination, true);
    FUZZ_CHECK(r != ExpandResult::SourceMissing);
    if (r == ExpandResult::Copied) {
        QFile out(destination);
        FUZZ_CHECK(out.open(QIODevice::ReadOnly));
        FUZZ_CHECK(out.readAll() == QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    }
    if (r == ExpandResult::Failed)
        FUZZ_CHECK(!QFile::exists(destination));  // nothing half-written is left in its place
    return 0;
}
