#pragma once
// The entry points of the modules corvanta-cli loads at first use (corvanta-postgresql.so,
// corvanta-chart.so, corvanta-xlsx.so), so that a run that needs neither maps none of their libraries. A module
// takes the rest of Corvanta from the program that loads it; it is used only by the program it
// was built with, which each module's corvanta_module_version tells.
//
// Each module exports, with C linkage:
//   const char corvanta_module_version[]            the version it was built for
//   corvanta-postgresql.so:
//     corvanta::Engine* corvanta_make_postgres_engine()        a new engine, owned by the caller
//   corvanta-chart.so:
//     QCoreApplication* corvanta_chart_application(int* argc, char** argv)
//     bool corvanta_save_stat_chart(const StatChartModel*, const QString* file, QString* error,
//                                   const QSize* size)          as SaveStatChart
//   corvanta-xlsx.so:
//     bool corvanta_write_xlsx(const GridSource*, const QString* file, QString* error,
//                              QString* notice)                as WriteXlsx

#define CORVANTA_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
