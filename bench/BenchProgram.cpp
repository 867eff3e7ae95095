#include "bench/BenchProgram.h"

#include "bench/BenchFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace corvanta::bench {

double timeProgram(const QString& program, const QStringList& args, const QStringList& env, QByteArray* err)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : env)
            e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        p.setProcessEnvironment(e);
    }
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QByteArray e = p.readAllStandardError();
        if (err)
            *err = e;
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), e.constData());
        return -1;
    }
    return double(t.nsecsElapsed()) / 1e9;
}

QString pgServer()
{
    QString server = qEnvironmentVariable("PGHOST");
    if (!qEnvironmentVariableIsEmpty("PGPORT"))
        server = (server.isEmpty() ? QStringLiteral("localhost") : server) + QLatin1Char(':') + qEnvironmentVariable("PGPORT");
    return server;
}

QStringList Program::base(const QString& db) const
{
    QStringList a;
    if (engine == QLatin1String("postgresql"))
        a << QStringLiteral("--server") << pgServer();
    if (!db.isEmpty())
        a << QStringLiteral("--account-set") << db;
    return a;
}

QString Program::admin() const
{
    return engine == QLatin1String("postgresql") ? qEnvironmentVariable("PGUSER", QStringLiteral("postgres"))
                                                 : QStringLiteral("sa");
}

Program makeProgram(const QString& work, const QString& engine)
{
    Program p{work + QStringLiteral("/program-") + engine, engine};
    QDir().mkpath(p.dir + QStringLiteral("/data"));
    CopyDir(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/data"), p.dir + QStringLiteral("/data"));
    for (const char* name : {"corvanta-cli", "corvanta-postgresql.so", "corvanta-chart.so", "corvanta-xlsx.so"})
        QFile::copy(QStringLiteral(CORVANTA_BUILD_PROGRAM_DIR "/") + QLatin1String(name), p.dir + QLatin1Char('/') + QLatin1String(name));
    QFile cfg(p.dir + QStringLiteral("/Config.cfg"));
    if (cfg.open(QIODevice::WriteOnly))
        cfg.write(engine == QLatin1String("postgresql")
                      ? "[SYSTEM]\r\nENGINE=postgresql\r\nUSER=" + p.admin().toUtf8() + "\r\n"
                      : QByteArray("[SYSTEM]\r\n"));
    return p;
}

double childCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Timing best(const QString& program, const QStringList& args)
{
    // Three runs at least; a short command runs more often (up to 15 runs or about 1.5 s), so
    // that a passing disturbance of a noisy machine does not decide its figure.
    Timing t;
    double spent = 0;
    for (int i = 0; i < 15 && (i < 3 || spent < 1.5); ++i) {
        const double c0 = childCpu();
        const double w = timeProgram(program, args);
        const double c = childCpu() - c0;
        if (w < 0)
            return {};
        spent += w;
        t.wall = t.wall < 0 ? w : std::min(t.wall, w);
        t.cpu = t.cpu < 0 ? c : std::min(t.cpu, c);
    }
    return t;
}

}  // namespace corvanta::bench
