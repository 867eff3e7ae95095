// corvanta-chart.so: the statistics chart for corvanta-cli's "stat --chart" (see
// base/ProgramModule.h). Qt Charts draws through widgets, so the module also makes the
// program's QApplication.
#include "base/ProgramModule.h"
#include "chart/StatChart.h"

#include <QApplication>

CORVANTA_MODULE_EXPORT const char corvanta_module_version[] = CORVANTA_MODULE_VERSION;

CORVANTA_MODULE_EXPORT QCoreApplication* corvanta_chart_application(int* argc, char** argv)
{
    return new QApplication(*argc, argv);
}

CORVANTA_MODULE_EXPORT bool corvanta_save_stat_chart(const corvanta::StatChartModel* model, const QString* file,
                                                     QString* error, const QSize* size)
{
    return corvanta::SaveStatChart(*model, *file, error, *size);
}
