#pragma once
// corvanta-cli's side of its modules (base/ProgramModule.h): found beside the program, loaded at
// first use, kept until the program ends. Only the corvanta-cli program is built with this file,
// which also defines makePostgresEngine(), SaveStatChart() and WriteXlsx() through the modules.
#include <QString>

QT_BEGIN_NAMESPACE
class QCoreApplication;
QT_END_NAMESPACE

namespace corvanta::cli {

// The QApplication of "stat --chart", made by the chart module; nullptr with *error set when the
// module cannot be loaded.
QCoreApplication* MakeChartApplication(int& argc, char** argv, QString* error);

}  // namespace corvanta::cli
