#include "dialogs/ExportDialog.h"

#include "dialogs/FileDialog.h"
#include "export/GridExport.h"

#include <QDir>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>

#include <algorithm>

namespace corvanta {

const QStringList& ExportFilters()
{
    static const QStringList filters{QStringLiteral("Excel 工作簿 (*.xlsx)"), QStringLiteral("CSV UTF-8 (*.csv)"),
                                     QStringLiteral("CSV GBK (*.csv)"), QStringLiteral("CSV GB18030 (*.csv)")};
    return filters;
}

namespace {

// The grid as the writers read it, row after row, moving a progress window on as they go.
class ProgressSource : public GridSource {
public:
    ProgressSource(const GridSource& grid, QProgressDialog& progress) : m_grid(grid), m_progress(progress) {}
    int rowCount() const override { return m_grid.rowCount(); }
    int columnCount() const override { return m_grid.columnCount(); }
    int columnWidth(int column) const override { return m_grid.columnWidth(column); }
    QString cell(int row, int column) const override
    {
        advance(row);
        return m_grid.cell(row, column);
    }
    std::string_view cellUtf8(int row, int column, std::string& scratch) const override
    {
        advance(row);
        return m_grid.cellUtf8(row, column, scratch);
    }

private:
    void advance(int row) const
    {
        if (row < m_row + 500 && row >= m_row)
            return;
        m_row = row;
        m_progress.setValue(std::min(row, m_progress.maximum() - 1));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    const GridSource& m_grid;
    QProgressDialog& m_progress;
    mutable int m_row = 0;
};

}  // namespace

bool ExportGrid(QWidget* parent, const GridSource& grid, Messages& messages, const QString& baseName)
{
    const QString proposed = ProposedFile(QStringLiteral("export"), QDir::homePath(), baseName + QStringLiteral(".xlsx"));
    QString filter;
    QString file = fileDialog()->getSaveFileName(parent, QStringLiteral("导出"), proposed, ExportFilters(), &filter);
    if (file.isEmpty())
        return false;
    RememberFolder(QStringLiteral("export"), file);
    const int choice = std::max<int>(0, int(ExportFilters().indexOf(filter)));
    const QString suffix = choice == 0 ? QStringLiteral("xlsx") : QStringLiteral("csv");
    if (QFileInfo(file).suffix().isEmpty())
        file += u'.' + suffix;
    QString error;
    // The save dialog is gone and the writing shows itself, row by row.
    QProgressDialog progress(QStringLiteral("正在导出到 %1 …").arg(QDir::toNativeSeparators(file)), QString(), 0,
                             std::max(1, grid.rowCount()), parent);
    progress.setWindowTitle(QStringLiteral("导出"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setMinimumWidth(360);
    progress.setValue(0);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const ProgressSource source(grid, progress);
    messages.busy(true);
    QString notice;
    const CsvEncoding encoding = choice == 1 ? CsvEncoding::Utf8Bom : choice == 2 ? CsvEncoding::Gbk : CsvEncoding::Gb18030;
    const bool ok = choice == 0 ? WriteXlsx(source, file, &error, &notice) : WriteCsv(source, file, encoding, &error);
    messages.busy(false);
    progress.close();
    if (!ok) {
        messages.systemBox(QStringLiteral("错误"), error);
        return false;
    }
    // What the export had to cut or spread over sheets is said with the closing note.
    QString done = QStringLiteral("已导出到\n%1").arg(QDir::toNativeSeparators(file));
    if (!notice.isEmpty())
        done += QStringLiteral("\n\n") + notice;
    messages.systemBox(QStringLiteral("导出"), done);
    return true;
}

}  // namespace corvanta
