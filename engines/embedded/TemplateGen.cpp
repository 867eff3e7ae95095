// Build step: writes the account-set template (an SQLite database file) to the path given.
#include "engines/embedded/EmbeddedProcedures.h"

#include <QFile>
#include <QString>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    const QString out = QFile::decodeName(argv[1]);
    const QString scratch = out + QStringLiteral(".tmp");
    try {
        corvanta::writeTemplateFile(scratch);
        QFile::remove(out);
        if (!QFile::rename(scratch, out)) {
            std::fprintf(stderr, "cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        QFile::remove(scratch);
        return 1;
    }
    return 0;
}
