#include "cli/CliApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <memory>

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

}  // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (wantsChart(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    return corvanta::cli::runCli(app->arguments().mid(1), out, err);
}
