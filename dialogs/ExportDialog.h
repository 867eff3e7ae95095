#pragma once
// "导出": a result grid saved as XLSX or CSV (UTF-8 or GBK) through the save dialog.
#include "logic/GridSource.h"
#include "logic/Messages.h"

#include <QStringList>

class QWidget;

namespace corvanta {

// The save dialog's choices, in order: XLSX, CSV UTF-8, CSV GBK.
const QStringList& ExportFilters();

// Asks for the file (proposed: baseName in the user's home folder) and writes the grid there.
// True when written; a failure is shown through messages.
bool ExportGrid(QWidget* parent, const GridSource& grid, Messages& messages, const QString& baseName);

}  // namespace corvanta
