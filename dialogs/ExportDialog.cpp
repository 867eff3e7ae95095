#include "dialogs/ExportDialog.h"

#include "dialogs/FileDialog.h"
#include "export/GridExport.h"

#include <QDir>
#include <QFileInfo>

namespace corvanta {

const QStringList& ExportFilters()
{
    static const QStringList filters{QStringLiteral("Excel 工作簿 (*.xlsx)"), QStringLiteral("CSV UTF-8 (*.csv)"),
                                     QStringLiteral("CSV GBK (*.csv)")};
    return filters;
}

bool ExportGrid(QWidget* parent, const GridSource& grid, Messages& messages, const QString& baseName)
{
    const QString proposed = QDir::home().filePath(baseName + QStringLiteral(".xlsx"));
    QString filter;
    QString file = fileDialog()->getSaveFileName(parent, QStringLiteral("导出"), proposed, ExportFilters(), &filter);
    if (file.isEmpty())
        return false;
    const int choice = std::max<int>(0, int(ExportFilters().indexOf(filter)));
    const QString suffix = choice == 0 ? QStringLiteral("xlsx") : QStringLiteral("csv");
    if (QFileInfo(file).suffix().isEmpty())
        file += u'.' + suffix;
    QString error;
    messages.busy(true);
    const bool ok = choice == 0 ? WriteXlsx(grid, file, &error)
                                : WriteCsv(grid, file, choice == 1 ? CsvEncoding::Utf8Bom : CsvEncoding::Gbk, &error);
    messages.busy(false);
    if (!ok)
        messages.systemBox(QStringLiteral("错误"), error);
    return ok;
}

}  // namespace corvanta
