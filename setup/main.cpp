// setup: shows a waiting window, unpacks the installer engine and its libraries from the
// installation medium and starts the engine.
#include "setup/InstallSteps.h"
#include "setup/SetupWindow.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    int code = 0;
    setup::SetupWindow window([&] {
        setup::InstallSeams seams;
        seams.startDetached = [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        };
        seams.showMessage = [&](const QString& caption, const QString& text) {
            std::fprintf(stderr, "setup: %s\n", qUtf8Printable(text));
            setup::MessageWindow(caption, text, &window).exec();
        };
        code = setup::RunInstallSteps(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()),
                                      setup::SystemFoldersFromEnvironment(), seams);
    });
    window.show();
    app.exec();
    return code;
}
