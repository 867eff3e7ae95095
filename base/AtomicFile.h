#pragma once
// Every file the program writes goes through AtomicFile: the whole content lands in a temporary
// file beside the target, is flushed and checked, and only then replaces the target, so a full
// disk or a failed write leaves the earlier file as it was. A target that exists and is not a
// regular file (a device, a FIFO, /dev/stdout) is written as a stream and never replaced.
// Targets the program depends on (Config.cfg, its programs, its data folder) are refused.
#include <QFile>
#include <QString>
#include <memory>
#include <optional>

namespace corvanta {

// Why the program must not write over file, after following links; nullopt when it may.
// Refused: Config.cfg, the program's own executables and modules, anything in its data folder
// (the catalogue, the account sets, the templates).
std::optional<QString> ProtectedTargetReason(const QString& file);

class AtomicFile {
public:
    // ownFile: the program writing one of its own files (Config.cfg), which the rule spares.
    explicit AtomicFile(QString target, bool ownFile = false);
    ~AtomicFile();  // an uncommitted temporary file is removed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Refuses a protected target; then opens the temporary file (or the stream). False with
    // error() set when the file cannot be written.
    bool open();
    // Where the content goes, once open.
    QFile& device() { return *m_file; }
    // For writers that want a file name rather than a device (the device is closed then): the
    // temporary file, which commit() moves or copies to the target.
    QString pathForWriter();
    // Flushes, syncs and checks the content, then replaces the target. False with error() set
    // (the target untouched) when anything went wrong on the way.
    bool commit();
    // Records a failure of the caller's own writing: commit() will then refuse.
    void fail(const QString& cause);

    bool isStream() const { return m_stream; }
    const QString& target() const { return m_target; }
    // "写入文件 FILE 失败：cause".
    const QString& error() const { return m_error; }

private:
    bool setError(const QString& cause);

    QString m_target;
    QString m_final;  // the target with links followed
    QString m_temp;
    std::unique_ptr<QFile> m_file;
    bool m_ownFile = false;
    bool m_stream = false;
    bool m_byName = false;
    bool m_failed = false;
    bool m_committed = false;
    QString m_error;
    QString m_writeFailure;  // the cause of the first write that did not go through whole
};

// An open descriptor (standard output) as a device that notices a write that went through only in
// part, with its cause; Qt's own file device counts such a write as done.
class CheckedStream : public QFile {
public:
    bool openDescriptor(int fd);
    // Empty while every write went through whole.
    const QString& failure() const { return m_failure; }

protected:
    qint64 writeData(const char* data, qint64 len) override;

private:
    QString m_failure;
};

// Writes bytes to file through AtomicFile; false with *error set when it failed.
bool WriteFileAtomically(const QString& file, const QByteArray& bytes, QString* error);

}  // namespace corvanta
