// Writes the seed corpus of the setup's expansion target into FOLDER: packed and plain files.
#include "tests/setup/SzddPack.h"

#include <QFile>
#include <cstdio>

namespace {
void seed(const QString& folder, const char* name, const QByteArray& bytes)
{
    QFile f(folder + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write seed %s\n", name);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QByteArray text;
    for (int i = 0; i < 40; ++i)
        text += "installer line " + QByteArray::number(i % 7) + "\n";
    seed(folder, "packed-text", setup::test::SzddPack(text));
    seed(folder, "packed-empty", setup::test::SzddPack(QByteArray()));
    seed(folder, "packed-binary", setup::test::SzddPack(QByteArray(300, '\0') + QByteArray("\x01\x02\xff", 3)));
    seed(folder, "plain", "MZ not packed");
    return 0;
}
