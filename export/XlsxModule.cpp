// corvanta-xlsx.so: the XLSX export for corvanta-cli's "--format xlsx" (see base/ProgramModule.h).
#include "base/ProgramModule.h"
#include "export/GridExport.h"

CORVANTA_MODULE_EXPORT const char corvanta_module_version[] = CORVANTA_MODULE_VERSION;

CORVANTA_MODULE_EXPORT bool corvanta_write_xlsx(const corvanta::GridSource* grid, const QString* file, QString* error,
                                                QString* notice)
{
    return corvanta::WriteXlsx(*grid, *file, error, notice);
}
