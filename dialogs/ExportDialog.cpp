#include "dialogs/ExportDialog.h"

#include "dialogs/FileDialog.h"
#include "export/GridExport.h"

#include <QDir>
#include <QFileInfo>

namespace corvanta {

const QStringList& ExportFilters()
{
    static const QStringList filters{QStringLiteral("Excel 工作簿 (*.xlsx)"), QStringLiteral("CSV UTF-8 (*.csv)"),
                                     QStringLiteral("CSV GBK (*.csv)"), QStringLiteral("CSV GB18030 (*.csv)")};
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
    QString notice;
    const CsvEncoding encoding = choice == 1 ? CsvEncoding::Utf8Bom : choice == 2 ? CsvEncoding::Gbk : CsvEncoding::Gb18030;
    const bool ok = choice == 0 ? WriteXlsx(grid, file, &error, &notice) : WriteCsv(grid, file, encoding, &error);
    messages.busy(false);
    if (!ok)
        messages.systemBox(QStringLiteral("错误"), error);
    else if (!notice.isEmpty())
        messages.systemBox(QStringLiteral("提示"), notice);
    return ok;
}

}  // namespace corvanta
