#include "tests/cli/CliProcessFixture.h"

#include <QFile>

namespace corvanta::test {

void CliProcesses::SetUp()
{
    CliTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    QString programDir = qEnvironmentVariable("CORVANTA_PROGRAM_DIR");
    if (programDir.isEmpty())
        programDir = QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR);
    cliPath = dir->path() + QStringLiteral("/corvanta-cli");
    // The program and the modules it loads from its own folder.
    for (const QString& name : {QStringLiteral("corvanta-cli"), QStringLiteral("corvanta-postgresql.so"),
                               QStringLiteral("corvanta-chart.so"), QStringLiteral("corvanta-xlsx.so")})
        ASSERT_TRUE(QFile::copy(programDir + QLatin1Char('/') + name, dir->path() + QLatin1Char('/') + name))
            << programDir.toStdString() << " " << name.toStdString();
}

std::unique_ptr<QProcess> CliProcesses::start(QStringList args, const QStringList& env)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p->setProcessEnvironment(e);
    p->setProgram(cliPath);
    p->setArguments(QStringList{QStringLiteral("--server"), server} + args);
    p->start();
    p->waitForStarted();
    return p;
}

QStringList CliProcesses::errLines(QProcess& p)
{
    return QString::fromUtf8(p.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

CliRun CliProcesses::runProcess(QStringList args, const QStringList& env)
{
    auto p = start(std::move(args), env);
    CliRun r;
    if (!p->waitForFinished(120000))
        p->kill();
    p->waitForFinished();
    r.code = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    r.out = QString::fromUtf8(p->readAllStandardOutput());
    r.errLines = errLines(*p);
    return r;
}

}  // namespace corvanta::test
