#include "cli/Modules.h"

#include "chart/StatChart.h"
#include "engines/EngineFactory.h"
#include "export/GridExport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>
#include <map>
#include <string>

namespace corvanta {

namespace {

struct Module {
    void* handle = nullptr;
    QString error;  // why it could not be loaded
};

// name: the module's file in the program folder. Loaded once; a module is never unloaded, since
// objects it made (an engine) may live until the end.
const Module& module(const char* name)
{
    static std::map<std::string, Module> loaded;
    auto [it, fresh] = loaded.try_emplace(name);
    Module& m = it->second;
    if (!fresh)
        return m;
    // Beside the program, in the build tree as in the program folder. The chart module is loaded
    // before there is a QCoreApplication to ask for the program's folder.
    const QString path = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path() +
                         QLatin1Char('/') + QLatin1String(name);
    // RTLD_NOW: a symbol the program lacks is an error here, not a crash at its first call.
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        m.error = QStringLiteral("cannot load %1: %2").arg(path, QString::fromLocal8Bit(dlerror()));
        return m;
    }
    const auto* version = static_cast<const char*>(dlsym(h, "corvanta_module_version"));
    if (!version || qstrcmp(version, CORVANTA_MODULE_VERSION) != 0) {
        m.error = QStringLiteral("%1 belongs to another version of corvanta-cli (%2, this is %3)")
                      .arg(path, QLatin1String(version ? version : "unknown"), QLatin1String(CORVANTA_MODULE_VERSION));
        return m;  // left loaded but unused: unloading code of unknown origin is no safer
    }
    m.handle = h;
    return m;
}

// The entry point of a loaded module; nullptr with *error set otherwise.
void* entry(const char* moduleName, const char* symbol, QString* error)
{
    const Module& m = module(moduleName);
    void* f = m.handle ? dlsym(m.handle, symbol) : nullptr;
    if (!f && error)
        *error = m.handle ? QStringLiteral("%1 has no %2").arg(QLatin1String(moduleName), QLatin1String(symbol)) : m.error;
    return f;
}

}  // namespace

std::unique_ptr<Engine> makePostgresEngine()
{
    QString error;
    using Make = Engine* (*)();
    auto make = reinterpret_cast<Make>(entry("corvanta-postgresql.so", "corvanta_make_postgres_engine", &error));
    if (!make)
        throw DbError(QStringLiteral("The PostgreSQL engine is not available: %1").arg(error));
    return std::unique_ptr<Engine>(make());
}

bool SaveStatChart(const StatChartModel& model, const QString& file, QString* error, const QSize& size)
{
    using Save = bool (*)(const StatChartModel*, const QString*, QString*, const QSize*);
    auto save = reinterpret_cast<Save>(entry("corvanta-chart.so", "corvanta_save_stat_chart", error));
    return save && save(&model, &file, error, &size);
}

bool WriteXlsx(const GridSource& grid, const QString& file, QString* error, QString* notice)
{
    using Write = bool (*)(const GridSource*, const QString*, QString*, QString*);
    auto write = reinterpret_cast<Write>(entry("corvanta-xlsx.so", "corvanta_write_xlsx", error));
    return write && write(&grid, &file, error, notice);
}

namespace cli {

QCoreApplication* MakeChartApplication(int& argc, char** argv, QString* error)
{
    using MakeApp = QCoreApplication* (*)(int*, char**);
    auto make = reinterpret_cast<MakeApp>(entry("corvanta-chart.so", "corvanta_chart_application", error));
    return make ? make(&argc, argv) : nullptr;
}

}  // namespace cli

}  // namespace corvanta
