#pragma once
// A file system that fills up: a small tmpfs mounted for the test, so that writes fail with
// "no space left" the way a full disk does. Mounting needs privileges: without them the folder
// is not usable and whyNot() says so (the test then skips, or falls back to /dev/full).
#include <QString>
#include <QTemporaryDir>

namespace corvanta::test {

class FullDisk {
public:
    explicit FullDisk(int kilobytes);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool mounted() const { return m_mounted; }
    const QString& whyNot() const { return m_why; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // Fills what is left with a scratch file, so that the next write of any size fails.
    void fill() const;
    // Removes the scratch file again.
    void unfill() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

}  // namespace corvanta::test
