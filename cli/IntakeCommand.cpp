// intake DIR: the unattended import of an inbox folder. Every settled file of the folder is one
// recorded import run, then moves to done/<date>/ or failed/ (with a reason file beside it).
//
// Crash safety: a file is renamed into .intake/work/ before its run, and out of it once its
// outcome is known. An intake that starts and finds a file there (its predecessor was killed)
// asks the import history: a successful run of that file's SHA-256 means it is in (done/),
// anything else sends it back into the folder to be imported again. A run's figures replace
// those of the same outlet days, so a run killed before its history row repeats harmlessly.
// One intake per folder: an flock on .intake/lock, which the kernel drops when the process dies.
#include "base/AtomicFile.h"
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/Tsv.h"
#include "base/CellStore.h"
#include "import/ImportHistory.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <exception>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#else
#include <QLockFile>
#endif

namespace corvanta::cli {

namespace {

// A file written to within this time may still be growing: it waits for the next round.
constexpr qint64 kSettleMs = 2000;
// A watching intake also looks at the folder this often, in case a change was not reported.
constexpr int kRescanMs = 30000;

const QString kWorkDir = QStringLiteral(".intake");

QString outcomeImported() { return QStringLiteral("成功"); }
QString outcomeFailed() { return QStringLiteral("失败"); }
QString outcomeAlreadyIn() { return QStringLiteral("已导入"); }
QString outcomeWaiting() { return QStringLiteral("等待"); }

const QStringList& intakeHeadings()
{
    static const QStringList h{QStringLiteral("文件名"), QStringLiteral("结果"), QStringLiteral("数据行数"),
                               QStringLiteral("原因")};
    return h;
}

// ---- stopping on SIGTERM / SIGINT: the handler only notes it --------------------------------

volatile std::sig_atomic_t g_stop = 0;
int g_stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int)
{
    g_stop = 1;
#ifdef Q_OS_UNIX
    if (g_stopPipe[1] >= 0) {
        const char c = 's';
        [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &c, 1);
    }
#endif
}

// Installs the handlers for the life of the intake and puts the old ones back after it.
class StopSignals {
public:
    StopSignals()
    {
        g_stop = 0;
#ifdef Q_OS_UNIX
        if (::pipe(g_stopPipe) == 0) {
            for (int fd : g_stopPipe)
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGTERM, &sa, &m_oldTerm);
        ::sigaction(SIGINT, &sa, &m_oldInt);
#endif
    }
    ~StopSignals()
    {
#ifdef Q_OS_UNIX
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        for (int& fd : g_stopPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
#endif
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    static bool stopped() { return g_stop != 0; }
    static int readFd() { return g_stopPipe[0]; }

private:
#ifdef Q_OS_UNIX
    struct sigaction m_oldTerm {}, m_oldInt {};
#endif
};

// ---- the folder lock ---------------------------------------------------------------------------

class FolderLock {
public:
    explicit FolderLock(const QString& path) : m_path(path) {}
    ~FolderLock()
    {
#ifdef Q_OS_UNIX
        if (m_fd >= 0)
            ::close(m_fd);  // releases the flock
#endif
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // false when another intake holds it (or it cannot be made; error says which).
    bool tryLock(QString& error)
    {
#ifdef Q_OS_UNIX
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno == EWOULDBLOCK ? QString() : QString::fromLocal8Bit(std::strerror(errno));
            ::close(m_fd);
            m_fd = -1;
            return false;
        }
        return true;
#else
        m_lock = std::make_unique<QLockFile>(m_path);
        m_lock->setStaleLockTime(0);
        if (m_lock->tryLock(0))
            return true;
        if (m_lock->error() != QLockFile::LockFailedError)
            error = QStringLiteral("cannot create the lock file");
        return false;
#endif
    }

private:
    QString m_path;
#ifdef Q_OS_UNIX
    int m_fd = -1;
#else
    std::unique_ptr<QLockFile> m_lock;
#endif
};

// ---- moving files ------------------------------------------------------------------------------

// A name in dir that is not taken: name, else base-2.ext, base-3.ext, ...
QString freePath(const QString& dir, const QString& name)
{
    QString path = dir + QLatin1Char('/') + name;
    if (!QFileInfo::exists(path))
        return path;
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 2;; ++n) {
        path = dir + QLatin1Char('/') + (base.isEmpty() ? name : base) + QStringLiteral("-%1").arg(n)
               + (base.isEmpty() ? QString() : suffix);
        if (!QFileInfo::exists(path))
            return path;
    }
}

// A rename on the same file system, never a copy: the file is in one place or the other.
bool moveFile(const QString& from, const QString& to, QString& error)
{
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(from).toStdString()),
                            std::filesystem::path(QFile::encodeName(to).toStdString()), ec);
    if (ec)
        error = QStringLiteral("%1 -> %2: %3").arg(from, to, QString::fromLocal8Bit(ec.message().c_str()));
    return !ec;
}

struct Seen {
    qint64 size = -1;
    QDateTime modified;
    qint64 sinceMs = 0;  // when it was first seen like this (the intake's clock)
};

struct PastRun {
    QString time;
    QString lines;
};

class Intake {
public:
    Intake(CliContext& ctx, TDMData& dm, const QString& dir, const QString& pattern, bool again)
        : m_ctx(ctx), m_dm(dm), m_dir(dir), m_pattern(pattern), m_again(again)
    {
        m_clock.start();
    }

    QString workDir() const { return m_dir + QLatin1Char('/') + kWorkDir + QStringLiteral("/work"); }
    bool anyFailed() const { return m_anyFailed; }

    bool prepare()
    {
        if (!QDir().mkpath(workDir())) {
            m_ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("无法创建文件夹：%1").arg(workDir()));
            return false;
        }
        return true;
    }

    // Files a killed intake left in the working place: in when the history says so, else back.
    void recover()
    {
        const QFileInfoList left = QDir(workDir()).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        if (left.isEmpty())
            return;
        loadHistory();
        for (const QFileInfo& f : left) {
            const ImportFileFacts facts = ReadImportFileFacts(f.filePath());
            const auto past = m_history.find(facts.sha256);
            QString error;
            if (facts.size >= 0 && past != m_history.end()) {
                const QString target = freePath(doneDir(), f.fileName());
                if (QDir().mkpath(doneDir()) && moveFile(f.filePath(), target, error))
                    report(f.fileName(), outcomeImported(), past->second.lines,
                           QStringLiteral("上次入库中断，导入记录表明已于 %1 导入").arg(past->second.time));
            } else if (!moveFile(f.filePath(), freePath(m_dir, f.fileName()), error)) {
                error.clear();
            }
            if (!error.isEmpty()) {
                m_ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("无法移动文件：%1").arg(error));
                m_anyFailed = true;
            }
        }
    }

    // One look at the folder: every settled file is taken, oldest first. Returns how long until
    // the next file still being written may have settled, or -1 when none waits.
    qint64 round(bool lastChance)
    {
        QDir dir(m_dir);
        dir.setFilter(QDir::Files | QDir::NoSymLinks);
        if (!m_pattern.isEmpty())
            dir.setNameFilters({m_pattern});
        QFileInfoList files = dir.entryInfoList();
        std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
            const QDateTime ta = a.lastModified(), tb = b.lastModified();
            return ta != tb ? ta < tb : a.fileName() < b.fileName();
        });
        const qint64 now = m_clock.elapsed();
        const QDateTime wallNow = QDateTime::currentDateTime();
        std::map<QString, Seen> seen;
        qint64 nextWait = -1;
        bool historyLoaded = false;
        for (const QFileInfo& f : files) {
            if (StopSignals::stopped())
                break;
            const QString name = f.fileName();
            Seen s{f.size(), f.lastModified(), now};
            const auto before = m_seen.find(name);
            if (before != m_seen.end() && before->second.size == s.size && before->second.modified == s.modified)
                s.sinceMs = before->second.sinceMs;
            seen[name] = s;
            // Settled: not written to for the settle time, by its own time or by what we saw.
            const qint64 age = std::max(s.modified.msecsTo(wallNow), now - s.sinceMs);
            if (age < kSettleMs) {
                const qint64 wait = kSettleMs - age;
                nextWait = nextWait < 0 ? wait : std::min(nextWait, wait);
                if (lastChance)
                    report(name, outcomeWaiting(), QString(), QStringLiteral("文件仍在写入，下一轮再导入"));
                continue;
            }
            if (!historyLoaded) {
                loadHistory();
                historyLoaded = true;
            }
            take(f);
        }
        m_seen = std::move(seen);
        return nextWait;
    }

private:
    QString doneDir() const
    {
        return m_dir + QStringLiteral("/done/") + QDate::currentDate().toString(Qt::ISODate);
    }
    QString failedDir() const { return m_dir + QStringLiteral("/failed"); }

    void report(const QString& name, const QString& outcome, const QString& lines, const QString& reason)
    {
        writeTsvRow(m_ctx.out, {name, outcome, lines, reason});
        m_ctx.out.flush();
    }

    // Successful runs of this account set by SHA-256: the newest one's time and lines.
    void loadHistory()
    {
        m_history.clear();
        const CellStore log = LoadImportLog(m_dm, 0);
        for (int r = log.rowCount() - 1; r >= 0; --r) {  // oldest first, so the newest stays
            if (log.cell(6, r) != ImportOutcomeSuccess() || log.cell(3, r).isEmpty())
                continue;
            m_history[log.cell(3, r)] = PastRun{log.cell(0, r), log.cell(5, r)};
        }
    }

    void take(const QFileInfo& f)
    {
        const QString name = f.fileName();
        const QString working = freePath(workDir(), name);
        QString error;
        if (!moveFile(f.filePath(), working, error)) {
            if (!QFileInfo::exists(f.filePath()))
                return;  // gone meanwhile: no longer ours to import
            failWithoutRun(name, error);
            return;
        }
        if (!m_again) {
            const ImportFileFacts facts = ReadImportFileFacts(working);
            const auto past = m_history.find(facts.sha256);
            if (facts.size >= 0 && past != m_history.end()) {
                if (finish(working, doneDir(), name, QString()))
                    report(name, outcomeAlreadyIn(), past->second.lines,
                           QStringLiteral("与 %1 导入的文件相同").arg(past->second.time));
                return;
            }
        }
        const RecordedImport run = RunRecordedImport(m_dm, working, m_ctx.messages);
        const QString lines = run.facts.size < 0 ? QString() : QString::number(run.facts.dataLines);
        if (run.ok()) {
            if (finish(working, doneDir(), name, QString()))
                report(name, outcomeImported(), lines, QString());
            // A copy later in this round is already in (the history's own time is near enough).
            if (!run.facts.sha256.isEmpty())
                m_history[run.facts.sha256] =
                    PastRun{QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), lines};
            return;
        }
        m_anyFailed = true;
        ImportResult located = run.result;
        located.fileName = m_dir + QLatin1Char('/') + name;
        QString where = located.reason.isEmpty() ? QString() : LocatedReason(located);
        where.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (!where.isEmpty())
            m_ctx.err << where << Qt::endl;
        const QString reason = run.reason.isEmpty() ? where : run.reason;
        if (run.result.status == ImportStatus::Busy) {
            // Nothing was imported: the file goes back and waits for the next round.
            moveBack(working, name);
            report(name, outcomeFailed(), lines, reason);
            return;
        }
        const QString text = (where.isEmpty() ? QString() : where + QLatin1Char('\n')) + run.reason + QLatin1Char('\n');
        if (finish(working, failedDir(), name, text))
            report(name, outcomeFailed(), lines, reason);
    }

    void failWithoutRun(const QString& name, const QString& error)
    {
        m_anyFailed = true;
        m_ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("无法移动文件：%1").arg(error));
        report(name, outcomeFailed(), QString(), error);
    }

    void moveBack(const QString& working, const QString& name)
    {
        QString error;
        if (!moveFile(working, freePath(m_dir, name), error))
            m_ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("无法移动文件：%1").arg(error));
    }

    // Moves the file out of the working place into dir, a failed one after its reason file.
    // On failure the file stays in the working place, where the next intake resolves it.
    bool finish(const QString& working, const QString& dir, const QString& name, const QString& reasonText)
    {
        QString error;
        const QString target = QDir().mkpath(dir) ? freePath(dir, name) : QString();
        if (target.isEmpty())
            error = QStringLiteral("无法创建文件夹：%1").arg(dir);
        if (error.isEmpty() && !reasonText.isNull()) {
            WriteFileAtomically(target + QStringLiteral(".reason.txt"), reasonText.toUtf8(), &error);
        }
        if (error.isEmpty())
            moveFile(working, target, error);
        if (error.isEmpty())
            return true;
        m_anyFailed = true;
        m_ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("无法移动文件：%1").arg(error));
        report(name, outcomeFailed(), QString(), error);
        return false;
    }

    CliContext& m_ctx;
    TDMData& m_dm;
    QString m_dir, m_pattern;
    bool m_again;
    bool m_anyFailed = false;
    QElapsedTimer m_clock;
    std::map<QString, Seen> m_seen;
    std::map<QString, PastRun> m_history;
};

// Rounds as files arrive, until SIGTERM or SIGINT.
void watch(Intake& intake, const QString& dir)
{
    QEventLoop loop;
    QFileSystemWatcher watcher({dir});
    QTimer next;
    next.setSingleShot(true);
    QTimer rescan;
    rescan.setInterval(kRescanMs);
    std::exception_ptr failure;
    const auto roundNow = [&] {
        if (StopSignals::stopped()) {
            loop.quit();
            return;
        }
        qint64 wait = -1;
        try {
            wait = intake.round(false);
        } catch (...) {
            // Not through the event loop: rethrown once it has ended.
            failure = std::current_exception();
            loop.quit();
            return;
        }
        if (StopSignals::stopped())
            loop.quit();
        else if (wait >= 0)
            next.start(int(wait) + 50);
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        // A burst of changes (a file arriving) becomes one round a moment later.
        if (!next.isActive() || next.remainingTime() > 200)
            next.start(200);
    });
    QObject::connect(&next, &QTimer::timeout, &loop, roundNow);
    QObject::connect(&rescan, &QTimer::timeout, &loop, roundNow);
    std::unique_ptr<QSocketNotifier> stop;
    if (StopSignals::readFd() >= 0) {
        stop = std::make_unique<QSocketNotifier>(StopSignals::readFd(), QSocketNotifier::Read);
        QObject::connect(stop.get(), &QSocketNotifier::activated, &loop, [&] { loop.quit(); });
    }
    rescan.start();
    QTimer::singleShot(0, &loop, roundNow);
    if (!StopSignals::stopped())
        loop.exec();
    if (failure)
        std::rethrow_exception(failure);
}

int intakeCommand(CliContext& ctx, const QStringList& args)
{
    const QString kPattern = QStringLiteral("pattern");
    CommandArgs a(args, {kPattern}, {QStringLiteral("again"), QStringLiteral("watch")});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("intake needs one folder DIR")};
    const QFileInfo folder(a.positional().first());
    if (!folder.isDir())
        throw UsageError{QStringLiteral("intake: %1 is not a folder").arg(a.positional().first())};
    const QString dir = folder.canonicalFilePath();
    TDMData* dm = ctx.connect(true);
    if (!dm)
        return ExitNoConnection;

    StopSignals stopSignals;
    if (!QDir().mkpath(dir + QLatin1Char('/') + kWorkDir)) {
        ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("无法创建文件夹：%1/%2").arg(dir, kWorkDir));
        return ExitFailed;
    }
    FolderLock lock(dir + QLatin1Char('/') + kWorkDir + QStringLiteral("/lock"));
    QString lockError;
    if (!lock.tryLock(lockError)) {
        ctx.messages.systemBox(QStringLiteral("系统提示"),
                               lockError.isEmpty()
                                   ? QStringLiteral("另一个入库正在处理文件夹 %1，本次没有导入任何文件。").arg(dir)
                                   : QStringLiteral("无法锁定文件夹 %1：%2").arg(dir, lockError));
        return ExitFailed;
    }
    Intake intake(ctx, *dm, dir, a.value(kPattern), a.has(QStringLiteral("again")));
    if (!intake.prepare())
        return ExitFailed;
    writeTsvRow(ctx.out, intakeHeadings());
    ctx.out.flush();
    try {
        intake.recover();
        if (a.has(QStringLiteral("watch"))) {
            watch(intake, dir);
        } else {
            // A file still being written gets one more round once it may have settled.
            const qint64 wait = intake.round(false);
            if (wait >= 0 && !StopSignals::stopped()) {
                QThread::msleep(quint64(wait) + 50);
                intake.round(true);
            }
        }
    } catch (const std::exception& e) {
        // Whatever is in the working place now is resolved by the next intake.
        ctx.messages.systemBox(QStringLiteral("错误"), QStringLiteral("入库中断：") + CauseText(e));
        return ExitFailed;
    }
    return intake.anyFailed() ? ExitFailed : ExitOk;
}

}  // namespace

void registerIntakeCommand()
{
    commands()[QStringLiteral("intake")] = {QStringLiteral("[--pattern GLOB] [--again] [--watch] DIR"), intakeCommand};
}

}  // namespace corvanta::cli
