#include "base/AtomicFile.h"
#include "cli/CliApp.h"
#include "cli/CliMessages.h"
#include "cli/Modules.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Only "stat --chart" draws; it needs widgets but never a screen.
bool wantsChart(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--")
            return false;
        if (a == "--chart" || a.startsWith("--chart="))
            return true;
    }
    return false;
}

// Standard error carries "[caption] text" lines only: the platform's start-up notes (such as a
// missing XDG_RUNTIME_DIR) are dropped; critical and fatal messages still go through.
void quietQtWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

#ifndef _WIN32
// A standard stream the caller closed: the next file opened (a database) would get its number and
// receive the output. Hold the number with /dev/null, opened the wrong way round so that every
// write (or read) fails and is reported instead.
void holdClosedStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}
#endif

}  // namespace

int main(int argc, char** argv)
{
#ifndef _WIN32
    holdClosedStandardStreams();
    // A reader that stops early ("| head") ends the program quietly, as it does cat or grep,
    // even when the caller left SIGPIPE ignored.
    std::signal(SIGPIPE, SIG_DFL);
#endif
#ifdef __GLIBC__
    // A long result passes through a few large buffers one after another: keep freed memory for
    // the next instead of handing it back and faulting fresh pages in again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    std::unique_ptr<QCoreApplication> app;
    if (wantsChart(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietQtWarnings);
        QString error;
        app.reset(corvanta::cli::MakeChartApplication(argc, argv, &error));
        if (!app) {
            const QString text = corvanta::cli::formatMessage(QStringLiteral("错误"), QStringLiteral("--chart: ") + error);
            std::fprintf(stderr, "%s\n", text.toUtf8().constData());
            return corvanta::cli::ExitFailed;
        }
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Every write of the result is checked: a full disk behind ">" fails the command.
    corvanta::CheckedStream standardOutput;
    standardOutput.openDescriptor(1);
    QTextStream out(&standardOutput);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    return corvanta::cli::runCli(app->arguments().mid(1), out, err);
}
