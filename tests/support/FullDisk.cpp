#include "tests/support/FullDisk.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

namespace corvanta::test {

FullDisk::FullDisk(int kilobytes)
{
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0)
        m_mounted = true;
    else
        m_why = QStringLiteral("cannot mount a small tmpfs here: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

FullDisk::~FullDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void FullDisk::fill() const
{
    QFile f(filePath(QStringLiteral(".fill")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray block(4096, 'f');
    while (f.write(block) == block.size()) {
    }
    const QByteArray byte(1, 'f');
    while (f.write(byte) == 1) {
    }
}

void FullDisk::unfill() const
{
    QFile::remove(filePath(QStringLiteral(".fill")));
}

}  // namespace corvanta::test
