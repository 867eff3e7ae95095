#include "bench/BenchFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace corvanta::bench {

void CopyDir(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        const QString target = to + f.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(f, target);
    }
}

}  // namespace corvanta::bench
