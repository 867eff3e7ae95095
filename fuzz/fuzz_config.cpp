// Config.cfg from arbitrary bytes: every reader, the start-up check, and the DBServer writer.
// Input: the file's bytes, then a 0 byte, then the server name (UTF-8) to write. The writer must
// never add a section other than SYSTEM, must refuse control characters, and what it wrote must
// read back.
#include "base/Config.h"
#include "base/Sysdef.h"
#include "fuzz/FuzzSupport.h"

#include <QFile>

namespace {
int sectionLines(const QByteArray& bytes)
{
    int n = 0;
    for (const QByteArray& line : bytes.split('\n'))
        for (const QByteArray& part : line.split('\r'))
            if (part.trimmed().startsWith('[') && part.contains(']'))
                ++n;
    return n;
}
QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace corvanta;
    static const bool once = [] {
        SetAppDirForTesting(QString::fromStdString(fuzz::ScratchDir()));
        return true;
    }();
    (void)once;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.indexOf('\0');
    const QByteArray file = cut < 0 ? input : input.left(cut);
    const QString server = cut < 0 ? QStringLiteral("db01") : QString::fromUtf8(input.mid(cut + 1));
    const std::string path = fuzz::WriteScratch("Config.cfg", reinterpret_cast<const std::uint8_t*>(file.constData()),
                                                std::size_t(file.size()));
    const QString qpath = QString::fromStdString(path);

    // A file the program refuses at start-up never gets DBServer written by it.
    const bool refused = Config::Problem().has_value();
    (void)Config::Version();
    (void)Config::Server();
    (void)Config::User();
    (void)Config::Password();
    (void)Config::Engine();
    const QStringList outside = IniFile(qpath).keysOutsideSections();

    const bool written = Config::WriteDBServer(server);
    const QByteArray after = readFile(qpath);
    if (HasControlCharacter(server)) {
        FUZZ_CHECK(!written);
        FUZZ_CHECK(after == file);
        return 0;
    }
    if (!written) {
        FUZZ_CHECK(after == file);
        return 0;
    }
    if (refused)
        return 0;
    FUZZ_CHECK(sectionLines(after) <= sectionLines(file) + 1);
    FUZZ_CHECK(IniFile(qpath).keysOutsideSections() == outside);
    // A plain ASCII name reads back unchanged (other text may meet the file's code page).
    bool plain = !server.isEmpty() && server.trimmed() == server;
    for (QChar c : server)
        plain = plain && c.unicode() > 32 && c.unicode() < 127 && c != QLatin1Char('"') && c != QLatin1Char('\'');
    bool asciiFile = true;
    for (char c : file)
        asciiFile = asciiFile && static_cast<unsigned char>(c) < 128;
    if (plain && asciiFile)
        FUZZ_CHECK(IniFile(qpath).read(QStringLiteral("SYSTEM"), QStringLiteral("DBServer")) == server);
    return 0;
}
