#pragma once
// corvanta-cli as separate processes in the test's program folder: several clients at once, and
// clients killed in the middle of their work.
#include "tests/cli/CliFixture.h"

#include <QProcess>
#include <memory>

namespace corvanta::test {

class CliProcesses : public CliTest {
protected:
    void SetUp() override;
    // Starts corvanta-cli (a copy in the program folder, so it reads the folder's Config.cfg).
    std::unique_ptr<QProcess> start(QStringList args, const QStringList& env = {});
    // Runs it to the end (at most two minutes).
    CliRun runProcess(QStringList args, const QStringList& env = {});
    // The standard error of a finished process, one entry a line.
    static QStringList errLines(QProcess& p);

    QString cliPath;
};

}  // namespace corvanta::test
