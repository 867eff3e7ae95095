#include "outlets/USalesNet.h"

#include "dbf/DBF.h"
#include "dialogs/ExportDialog.h"
#include "grid/GridSourceAdapter.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"
#include "base/TextHelpers.h"
#include "outlets/OutletLogic.h"
#include "outlets/UNetInfo.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

namespace corvanta {

namespace {

QToolButton* toolButton(QWidget* parent, const QString& caption)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setAutoRaise(true);
    b->setFixedSize(64, 30);
    b->setFocusPolicy(Qt::NoFocus);  // the grid keeps the keyboard
    return b;
}

}  // namespace

TfmTypeBasic::TfmTypeBasic(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
    : TfmBlank(parent), m_dm(dm), m_tables(tables)
{
    setWindowTitle(QStringLiteral("销售网点信息管理"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::WindowMaximizeButtonHint);
    // The opening size; the grid follows when the window is resized or maximised.
    resize(647, 440);

    Panel1 = new TSuperPanel(this);
    Panel1->setGeometry(0, 0, 647, 38);
    auto* bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(4, 3, 4, 3);
    bar->setSpacing(2);
    Add_Button = toolButton(Panel1, QStringLiteral("添加"));
    Mod_Button = toolButton(Panel1, QStringLiteral("修改"));
    Del_Button = toolButton(Panel1, QStringLiteral("删除"));
    SpBPrint = toolButton(Panel1, QStringLiteral("打印"));
    Exit_Button = toolButton(Panel1, QStringLiteral("退回"));
    SpBExport = toolButton(Panel1, QStringLiteral("导出"));
    Exit_Button->setToolTip(QStringLiteral("退出"));
    bar->addWidget(Add_Button);
    bar->addWidget(Mod_Button);
    bar->addWidget(Del_Button);
    bar->addWidget(SpBExport);
    bar->addStretch(1);
    bar->addWidget(SpBPrint);
    bar->addWidget(Exit_Button);

    const QStringList& headings = OutletGridHeadings();
    Main_Grid = new TSupGrids(this);
    Main_Grid->setGeometry(0, 38, 647, 380);
    Main_Grid->setColCount(kOutletColumns);
    Main_Grid->setRowCount(OutletGridRowCount(0));
    Main_Grid->setFixedRows(1);
    Main_Grid->setFixedCols(1);
    Main_Grid->setDefaultRowHeight(18);
    for (int c = 0; c < kOutletColumns; ++c) {
        Main_Grid->setColWidth(c, OutletGridWidths()[size_t(c)]);
        Main_Grid->setCell(c, 0, headings[c]);
    }
    Main_Grid->setOptions(GridOption::RowSelect | GridOption::ColSizing);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setGeometry(0, 418, 647, 22);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->addWidget(new QLabel(QStringLiteral("【ESC】__ 退出     【INSERT】__ 增加    【DELETE】__ 删除  "), StatusBar1), 1);
    Panel1->setFixedHeight(38);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Panel1);
    column->addWidget(Main_Grid, 1);
    column->addWidget(StatusBar1);

    connect(Add_Button, &QToolButton::clicked, this, &TfmTypeBasic::Add_ButtonClick);
    connect(Mod_Button, &QToolButton::clicked, this, &TfmTypeBasic::Mod_ButtonClick);
    connect(Del_Button, &QToolButton::clicked, this, &TfmTypeBasic::Del_ButtonClick);
    connect(SpBPrint, &QToolButton::clicked, this, &TfmTypeBasic::SpBPrintClick);
    connect(SpBExport, &QToolButton::clicked, this, &TfmTypeBasic::SpBExportClick);
    connect(Exit_Button, &QToolButton::clicked, this, &TfmTypeBasic::Exit_ButtonClick);
    connect(Main_Grid, &TSupGrids::OnSelectCell, this, &TfmTypeBasic::Main_GridSelectCell);
    connect(Main_Grid, &TSupGrids::OnKeyDown, this, &TfmTypeBasic::Main_GridKeyDown);
    connect(Main_Grid, &TSupGrids::OnDblClick, this, &TfmTypeBasic::Main_GridDblClick);
}

TfmTypeBasic::~TfmTypeBasic() = default;

void TfmTypeBasic::FormShow()
{
    TfmBlank::FormShow();
    Main_Grid->setFocus();
    LoadList();
}

bool TfmTypeBasic::FormKeyPress(QKeyEvent* event)
{
    // The grid's own keys (Enter opens the editor) reach it; elsewhere Enter moves on.
    if (QApplication::focusWidget() == Main_Grid)
        return false;
    return TfmBlank::FormKeyPress(event);
}

void TfmTypeBasic::LoadList()
{
    m_messages.busy(true);
    const std::vector<OutletRecord> outlets = LoadOutlets(m_dm, m_messages);
    Main_Grid->ClearRows();
    int k = 0;
    for (const OutletRecord& o : outlets) {
        ++k;
        const QStringList cells = OutletGridCells(k, o);
        for (int c = 0; c < kOutletColumns; ++c)
            Main_Grid->setCell(c, k, cells[c]);
    }
    Main_Grid->setRowCount(OutletGridRowCount(k));
    if (Main_Grid->row() >= Main_Grid->rowCount())
        Main_Grid->setCurrentCell(Main_Grid->col(), Main_Grid->rowCount() - 1);
    m_messages.busy(false);
    // A row whose outlet went away must not leave change and delete enabled.
    UpdateButtons(Main_Grid->row());
}

void TfmTypeBasic::UpdateButtons(int row)
{
    if (IsBlank(Main_Grid->cell(0, row))) {
        Mod_Button->setEnabled(false);
        Del_Button->setEnabled(false);
    } else {
        Add_Button->setEnabled(true);
        Mod_Button->setEnabled(true);
        Del_Button->setEnabled(true);
    }
}

void TfmTypeBasic::runEditor(const QString& mode)
{
    Tinfobform editor(m_dm, mode, Main_Grid, SelectedRow, this);
    if (onEditorOpen)
        onEditorOpen(editor);
    editor.exec();
}

void TfmTypeBasic::Add_ButtonClick()
{
    Mode = QStringLiteral("A");
    SelectedRow = Main_Grid->row();
    runEditor(Mode);
    LoadList();
}

void TfmTypeBasic::Mod_ButtonClick()
{
    Mode = QStringLiteral("M");
    SelectedRow = Main_Grid->row();
    if (Main_Grid->cell(1, SelectedRow).isEmpty())
        return;
    runEditor(Mode);
    LoadList();
}

void TfmTypeBasic::Del_ButtonClick()
{
    const QString id = Main_Grid->cell(1, Main_Grid->row());
    if (id.isEmpty())
        return;
    try {
        DeleteOutlet(m_dm, m_messages, id);
    } catch (const std::exception& e) {
        // Not this window's business: the program's general error report.
        ShowErrorReport(QString::fromUtf8(e.what()));
        return;
    }
    LoadList();
}

void TfmTypeBasic::SpBPrintClick()
{
    TSupGridsSource grid(*Main_Grid);
    if (m_tables) {
        PrintOutletList(*m_tables, m_messages, grid, printLauncher);
    } else {
        DATABASEFILE tables(&m_messages);
        PrintOutletList(tables, m_messages, grid, printLauncher);
    }
}

void TfmTypeBasic::Exit_ButtonClick()
{
    reject();
}

void TfmTypeBasic::Main_GridSelectCell(int /*col*/, int row, bool& /*canSelect*/)
{
    UpdateButtons(row);
}

void TfmTypeBasic::Main_GridKeyDown(int& key, Qt::KeyboardModifiers /*modifiers*/)
{
    switch (key) {
    case Qt::Key_Insert:
        key = 0;
        Add_ButtonClick();
        break;
    case Qt::Key_Delete:
        key = 0;
        Del_ButtonClick();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        key = 0;
        UpdateButtons(Main_Grid->row());
        if (!IsBlank(Main_Grid->cell(0, Main_Grid->row())))
            Mod_ButtonClick();
        break;
    case Qt::Key_Escape:
        key = 0;
        reject();
        break;
    default:
        break;
    }
}

void TfmTypeBasic::Main_GridDblClick()
{
    Mod_ButtonClick();
}

void ShowOutletList(TDMData& dm, DATABASEFILE* tables, QWidget* parent)
{
    TfmTypeBasic window(dm, tables, parent);
    window.exec();
}

void TfmTypeBasic::SpBExportClick()
{
    const TSupGridsSource source(*Main_Grid);
    ExportGrid(this, source, m_messages, windowTitle());
}

}  // namespace corvanta
