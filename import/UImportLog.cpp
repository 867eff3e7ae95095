#include "import/UImportLog.h"

#include "dialogs/ExportDialog.h"
#include "base/CellStore.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "import/ImportHistory.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvanta {

TfrmImportLog::TfrmImportLog(TDMData& dm, QWidget* parent) : TfmBlank(parent), m_dm(dm)
{
    setWindowTitle(QStringLiteral("数据导入记录"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMaximizeButtonHint);
    resize(900, 480);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* panel = new TSuperPanel(this);
    panel->setFixedHeight(38);
    auto* bar = new QHBoxLayout(panel);
    bar->setContentsMargins(4, 3, 4, 3);
    bar->setSpacing(2);
    auto button = [panel](const QString& caption) {
        auto* b = new QToolButton(panel);
        b->setText(caption);
        b->setAutoRaise(true);
        b->setFixedSize(64, 30);
        b->setFocusPolicy(Qt::NoFocus);  // the grid keeps the keyboard
        return b;
    };
    Refresh_Button = button(QStringLiteral("刷新"));
    Export_Button = button(QStringLiteral("导出"));
    Exit_Button = button(QStringLiteral("退回"));
    CountLabel = new QLabel(panel);
    bar->addWidget(Refresh_Button);
    bar->addWidget(Export_Button);
    bar->addSpacing(12);
    bar->addWidget(CountLabel);
    bar->addStretch(1);
    bar->addWidget(Exit_Button);
    column->addWidget(panel);

    const QStringList& headings = ImportLogWindowHeadings();
    Main_Grid = new TSupGrids(this);
    Main_Grid->setColCount(kImportLogWindowColumns);
    Main_Grid->setRowCount(2);
    Main_Grid->setFixedRows(1);
    Main_Grid->setFixedCols(0);
    Main_Grid->setDefaultRowHeight(18);
    for (int c = 0; c < kImportLogWindowColumns; ++c) {
        Main_Grid->setColWidth(c, ImportLogWindowWidths()[size_t(c)]);
        Main_Grid->setCell(c, 0, headings[c]);
    }
    Main_Grid->setOptions(GridOption::RowSelect | GridOption::ColSizing);
    column->addWidget(Main_Grid, 1);

    connect(Refresh_Button, &QToolButton::clicked, this, [this] { LoadList(); });
    connect(Export_Button, &QToolButton::clicked, this,
            [this] { ExportGrid(this, TSupGridsSource(*Main_Grid), messages(), windowTitle()); });
    connect(Exit_Button, &QToolButton::clicked, this, &QDialog::close);
}

void TfrmImportLog::FormShow()
{
    TfmBlank::FormShow();
    Main_Grid->setFocus();
    LoadList();
}

bool TfrmImportLog::FormKeyPress(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    if (QApplication::focusWidget() == Main_Grid)
        return false;
    return TfmBlank::FormKeyPress(event);
}

bool TfrmImportLog::LoadList()
{
    messages().busy(true);
    CellStore cells;
    QString error;
    try {
        cells = WithConsolidatedLines(LoadImportLog(m_dm, 0));
    } catch (const std::exception& e) {
        error = CauseText(e);
    }
    messages().busy(false);
    Main_Grid->ClearRows();
    if (!error.isEmpty()) {
        Main_Grid->setRowCount(2);
        CountLabel->clear();
        messages().systemBox(QStringLiteral("错误"), QStringLiteral("读取导入记录失败：") + error);
        return false;
    }
    const int n = cells.rowCount();
    Main_Grid->setBody(std::move(cells));
    // One empty row at least, so that the grid has a current row.
    Main_Grid->setRowCount(std::max(n, 1) + 1);
    Main_Grid->setCurrentCell(0, 1);
    CountLabel->setText(QStringLiteral("共 %1 次导入").arg(n));
    return true;
}

void ShowImportLog(TDMData& dm, QWidget* parent)
{
    TfrmImportLog window(dm, parent);
    window.exec();
}

}  // namespace corvanta
