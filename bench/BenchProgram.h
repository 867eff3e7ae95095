#pragma once
// What the benchmarks that run corvanta-cli share: a program folder per engine, timing a program
// (the best of several runs: the machine may be shared).
#include <QString>
#include <QStringList>

namespace corvanta::bench {

// Runs a program with its standard output thrown away; seconds, or -1 when it failed.
double timeProgram(const QString& program, const QStringList& args, const QStringList& env = {},
                   QByteArray* err = nullptr);
// PGHOST with ":" PGPORT.
QString pgServer();

// A program folder for one engine: corvanta-cli with its modules, its data and a Config.cfg naming the engine.
struct Program {
    QString dir;
    QString engine;
    QString cli() const { return dir + QStringLiteral("/corvanta-cli"); }
    QStringList base(const QString& db) const;
    QString admin() const;
    bool run(const QString& db, const QStringList& args) const { return timeProgram(cli(), base(db) + args) >= 0; }
};
Program makeProgram(const QString& work, const QString& engine);

double childCpu();
struct Timing {
    double wall = -1, cpu = -1;
};
// Wall and CPU seconds (the client's own CPU, a server's is not in it), best of three runs or more
// (a short command runs up to 15 times).
Timing best(const QString& program, const QStringList& args);

}  // namespace corvanta::bench
