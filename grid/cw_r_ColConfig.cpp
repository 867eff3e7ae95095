#include "grid/cw_r_ColConfig.h"

#include "dialogs/SuperMsg.h"
#include "grid/ColConfigForm.h"
#include "grid/ColConfigStore.h"
#include "grid/New_grid.h"
#include "grid/Panels.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <cmath>

namespace corvanta {

namespace {

const QString kTick = QStringLiteral("√");
const QString kStar = QStringLiteral("☆");
const QString kTitle = QStringLiteral("提示信息");

class HourGlass {
public:
    HourGlass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourGlass() { QApplication::restoreOverrideCursor(); }
    HourGlass(const HourGlass&) = delete;
    HourGlass& operator=(const HourGlass&) = delete;
};

bool isSystemColumn(const std::vector<int>& systemCols, int col)
{
    // Only the first 21 slots exist; empty slots hold 0, which matches no column.
    const std::size_t n = std::min<std::size_t>(systemCols.size(), 21);
    for (std::size_t i = 0; i < n; ++i)
        if (systemCols[i] != 0 && systemCols[i] == col)
            return true;
    return false;
}

}  // namespace

// --- Store and grids -------------------------------------------------------------------------------

void CheckColConfig(TDMData& dm, TSupGrids& source, const std::vector<int>& systemCols, const QString& gridId)
{
    HourGlass busy;
    bool rebuild = false;
    std::vector<ColConfigRecord> records;
    if (!ReadColConfig(dm, gridId, records)) {
        rebuild = true;
    } else {
        std::size_t named = 0;
        for (int s = 1; s < source.colCount(); ++s)
            named += !source.cell(s, 0).isEmpty();
        if (records.size() != named) {
            rebuild = true;
        } else {
            std::size_t rec = 0;
            int k = 1;
            for (int s = 1; s < source.colCount() && rec < records.size(); ++s) {
                const QString heading = source.cell(s, 0);
                if (heading.isEmpty())
                    continue;
                if (records[rec].orderCode == k && heading.trimmed() != records[rec].defaultName) {
                    rebuild = true;
                    break;
                }
                ++k;
                ++rec;
            }
        }
    }
    if (!rebuild)
        return;
    CallColConfig(dm, gridId, QString(), QString(), 0, 0, 0, 0, 0, QStringLiteral("D"));
    for (int s = 1; s < source.colCount(); ++s) {
        const QString heading = source.cell(s, 0);
        if (heading.isEmpty())
            continue;
        const QString name = heading.trimmed();
        CallColConfig(dm, gridId, name, name, 1, isSystemColumn(systemCols, s) ? 1 : 0, s, s, source.colWidth(s),
                      QStringLiteral("I"));
    }
}

void RemoveEmptyColumns(TSupGrids& grid, std::vector<int>* shown)
{
    int i = 0;
    while (i < grid.colCount()) {
        if (!grid.cell(i, 0).trimmed().isEmpty()) {
            ++i;
            continue;
        }
        // The grid keeps at least one column; its heading is then simply empty.
        if (grid.colCount() == 1)
            break;
        grid.deleteColumn(i);
        if (shown && i < int(shown->size()))
            shown->erase(shown->begin() + i);
    }
}

void ApplyColConfig(TDMData& dm, TSupGrids& display, TSupGrids& source, ColMap& map, const QString& gridId,
                    int mode)
{
    map.fill(0);
    display.hideEditor();
    display.ClearRows();
    display.setColCount(source.colCount());
    display.setRowCount(source.rowCount());
    // Display column c shows source column cols[c]; column 0 always the row numbers.
    std::vector<int> cols(std::size_t(display.colCount()), -1);
    cols[0] = 0;
    std::vector<ColConfigRecord> records;
    if (!ReadColConfig(dm, gridId, records)) {
        display.showColumnsOf(source, cols);
        return;
    }
    const std::vector<ColumnSlot> placed = ColumnSlots(records, display.colCount());
    for (std::size_t c = 1; c < placed.size() && c < cols.size(); ++c) {
        cols[c] = placed[c].source;
        if (cols[c] >= 0 && mode == 0 && placed[c].width > 0)
            display.setColWidth(int(c), placed[c].width);
    }
    display.showColumnsOf(source, cols);
    for (std::size_t c = 1; c < cols.size(); ++c)
        if (cols[c] >= 0)
            display.setCell(int(c), 0, placed[c].name);
    RemoveEmptyColumns(display, &cols);
    for (int i = 1; i < int(map.size()) && i < int(cols.size()); ++i)
        map[std::size_t(i)] = std::max(cols[std::size_t(i)], 0);
}

void SaveColWidths(TDMData& dm, TSupGrids& display, const ColMap& map, const QString& gridId)
{
    const int last = std::min(display.colCount() - 1, int(map.size()) - 1);
    for (int i = 1; i <= last; ++i)
        if (map[std::size_t(i)] > 0)
            CallColConfig(dm, gridId, QString(), QString(), 0, 0, map[std::size_t(i)], 0, display.colWidth(i),
                          QStringLiteral("UW"));
}

bool RunColConfig(TDMData& dm, TSupGrids& display, TSupGrids& source, const std::vector<int>& systemCols,
                  ColMap& map, const QString& gridId, int mode)
{
    TColConfigForm::Run run{dm, display, source, {}, {}, gridId, mode, false};
    run.systemCols.assign(21, 0);
    std::copy_n(systemCols.begin(), std::min<std::size_t>(systemCols.size(), 21), run.systemCols.begin());
    if (mode > 0)
        SaveColWidths(dm, display, map, gridId);
    if (mode == 1) {
        TColConfigForm form(run, QApplication::activeWindow());
        form.FormLayout();
        form.LoadColConfig();
        form.exec();
    } else {
        CheckColConfig(dm, source, run.systemCols, gridId);
        ApplyColConfig(dm, display, source, run.map, gridId, mode);
    }
    map = run.map;
    return run.result;
}

// --- The dialog ----------------------------------------------------------------------------------

TColConfigForm::TColConfigForm(Run& run, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), m_run(run)
{
    setWindowTitle(QStringLiteral("表格列改变窗口"));
    setFixedSize(422, 339);
    BackPanel = new TCWBackPanel(this);
    BackPanel->setGeometry(0, 0, 422, 339);

    PageControl1 = new QTabWidget(BackPanel);
    PageControl1->setGeometry(6, 6, 336, 327);
    auto* page = new QWidget;
    PageControl1->addTab(page, QStringLiteral("表格名称"));

    GridMain = new TSupGrids(page);
    GridMain->setObjectName(QStringLiteral("GridMain"));
    GridMain->setGeometry(2, 2, 326, 301);
    GridMain->setColCount(4);
    GridMain->setRowCount(19);
    GridMain->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GridMain->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    GridMain->setCell(1, 0, QStringLiteral("原始名称"));
    GridMain->setCell(2, 0, QStringLiteral("自定义名称"));
    GridMain->setCell(3, 0, QStringLiteral("显示"));
    // Every cell centred, headings and row numbers too.
    GridMain->setAlignment(alCenter);
    GridMain->setFixAlignRow(0, alCenter);
    GridMain->setFixAlignCol(0, alCenter);

    GridTemp = new TSupGrids(this);
    GridTemp->setObjectName(QStringLiteral("GridTemp"));
    GridTemp->setColCount(20);
    GridTemp->setRowCount(20);
    GridTemp->hide();

    auto tool = [this](const QString& name, const QString& hint, QStyle::StandardPixmap pixmap, int top) {
        auto* b = new QToolButton(BackPanel);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        b->setIcon(style()->standardIcon(pixmap));
        b->setIconSize(QSize(24, 24));
        b->setGeometry(366, top, 36, 36);
        return b;
    };
    sbRevert = tool(QStringLiteral("sbRevert"), QStringLiteral("恢复所用改变"), QStyle::SP_BrowserReload, 30);
    sbAllName = tool(QStringLiteral("sbAllName"), QStringLiteral("恢复名称"), QStyle::SP_FileDialogDetailedView, 72);
    sbAllVisible = tool(QStringLiteral("sbAllVisible"), QStringLiteral("全部显示"), QStyle::SP_DialogApplyButton, 114);
    sbUp = tool(QStringLiteral("sbUp"), QStringLiteral("上移一行"), QStyle::SP_ArrowUp, 176);
    sbDown = tool(QStringLiteral("sbDown"), QStringLiteral("下移一行"), QStyle::SP_ArrowDown, 218);

    // What the marks of the 显示 column mean.
    Legend = new QLabel(kTick + QStringLiteral(" 显示\n") + kStar + QStringLiteral(" 固定显示"), BackPanel);
    Legend->setObjectName(QStringLiteral("Legend"));
    // Above the buttons, beside the tab's heading, where it covers nothing.
    QFont small = Legend->font();
    small.setPixelSize(11);
    Legend->setFont(small);
    Legend->setGeometry(348, 1, 72, 28);

    bbSave = new QPushButton(QStringLiteral("保   存"), BackPanel);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbSave->setGeometry(348, 272, 68, 25);
    bbExit = new QPushButton(QStringLiteral("取  消"), BackPanel);
    bbExit->setObjectName(QStringLiteral("bbExit"));
    bbExit->setGeometry(348, 304, 68, 25);
    bbSave->setAutoDefault(false);
    bbExit->setAutoDefault(false);

    connect(sbRevert, &QToolButton::clicked, this, &TColConfigForm::sbRevertClick);
    connect(sbAllName, &QToolButton::clicked, this, &TColConfigForm::sbAllNameClick);
    connect(sbAllVisible, &QToolButton::clicked, this, &TColConfigForm::sbAllVisibleClick);
    connect(sbUp, &QToolButton::clicked, this, &TColConfigForm::sbUpClick);
    connect(sbDown, &QToolButton::clicked, this, &TColConfigForm::sbDownClick);
    connect(bbSave, &QPushButton::clicked, this, &TColConfigForm::bbSaveClick);
    connect(bbExit, &QPushButton::clicked, this, &QDialog::reject);

    connect(GridMain, &TSupGrids::OnRowMoved, this, [this](int from, int to) { GridTemp->moveRow(from, to); });
    connect(GridMain, &TSupGrids::OnSelectCell, this, [this](int col, int, bool&) {
        // Only the custom name is typed into.
        GridOptions o = GridOption::RangeSelect | GridOption::ColSizing | GridOption::RowMoving | GridOption::Tabs;
        if (col == 2)
            o |= GridOption::Editing;
        GridMain->setOptions(o);
    });
    connect(GridMain, &TSupGrids::OnKeyPress, this, [this](QChar& key) {
        if (GridMain->col() != 3)
            return;
        if (key == QLatin1Char(' '))
            ToggleMark();
        // Enter goes on to the next column's row, as Enter moves on elsewhere in the program.
        if (key == QLatin1Char('\r') && GridMain->row() < GridMain->rowCount() - 1)
            GridMain->setRow(GridMain->row() + 1);
        key = QChar();
    });
    connect(GridMain, &TSupGrids::OnDblClick, this, [this] {
        if (GridMain->col() == 3)
            ToggleMark();
    });
    GridMain->setOptions(GridOption::RangeSelect | GridOption::ColSizing | GridOption::RowMoving |
                         GridOption::Tabs);

    qApp->installEventFilter(this);
    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TColConfigForm::FormLayout()
{
    m_run.result = false;
    const int W = GridMain->width();
    const int H = GridMain->height();
    // The width the visible columns cover, at most the client width (the vertical bar excluded).
    const int client = W - GridMain->verticalScrollBar()->sizeHint().width() - 2 * GridMain->frameWidth();
    auto covered = [&] {
        int g = 0;
        for (int c = 0; c < GridMain->colCount(); ++c)
            g += GridMain->colWidth(c);
        return std::max(1, std::min(g, client));
    };
    GridMain->setColWidth(0, 10 * W / covered());
    GridMain->setColWidth(3, 30 * W / covered());
    const int rest = (W - GridMain->colWidth(0) - GridMain->colWidth(3)) / 2 - 12;
    GridMain->setColWidth(1, rest);
    GridMain->setColWidth(2, rest);
    GridMain->setDefaultRowHeight(int(std::floor(H * 0.0566666)));
}

void TColConfigForm::LoadColConfig()
{
    HourGlass busy;
    std::vector<ColConfigRecord> records;
    if (!ReadColConfig(m_run.dm, m_run.gridId, records))
        return;
    int n = 0;
    for (const ColConfigRecord& r : records) {
        ++n;
        if (r.orderCode == 0)
            continue;
        // A position over the heading row has no row to go to.
        if (r.colOrder < 1)
            continue;
        const int row = r.colOrder;
        GridMain->setCell(1, row, r.defaultName);
        GridMain->setCell(2, row, r.userName);
        GridMain->setCell(3, row, r.visible == 1 ? kTick : QString());
        if (r.sysVisible == 1)
            GridMain->setCell(3, row, kStar);
        GridTemp->setCell(1, row, QString::number(r.orderCode));
    }
    GridMain->setRowCount(n + 1);
    // GridTemp follows every row move of GridMain, so it needs as many rows.
    GridTemp->setRowCount(std::max(20, n + 1));
}

void TColConfigForm::ToggleMark()
{
    const int row = GridMain->row();
    if (GridMain->cell(1, row).isEmpty())
        return;
    const QString mark = GridMain->cell(3, row);
    if (mark == kTick)
        GridMain->setCell(3, row, QString());
    else if (mark.isEmpty())
        GridMain->setCell(3, row, kTick);
}

void TColConfigForm::sbUpClick()
{
    const int row = GridMain->row();
    if (row <= 1)
        return;
    GridMain->moveRow(row - 1, row);
    GridMain->setRow(row - 1);
}

void TColConfigForm::sbDownClick()
{
    const int row = GridMain->row();
    if (row >= GridMain->rowCount() - 1)
        return;
    GridMain->moveRow(row + 1, row);
    GridMain->setRow(row + 1);
}

void TColConfigForm::sbAllNameClick()
{
    if (ShowSuperMsg(kTitle, QStringLiteral("你确定要恢复所有名称到原始名称！"), QStringLiteral("myokcancel")) !=
        QLatin1String("myok"))
        return;
    for (int r = 1; r < GridMain->rowCount(); ++r)
        if (!GridMain->cell(1, r).isEmpty())
            GridMain->setCell(2, r, GridMain->cell(1, r));
}

void TColConfigForm::sbAllVisibleClick()
{
    for (int r = 1; r < GridMain->rowCount(); ++r)
        if (!GridMain->cell(1, r).isEmpty() && GridMain->cell(3, r).isEmpty())
            GridMain->setCell(3, r, kTick);
}

void TColConfigForm::bbSaveClick()
{
    GridMain->hideEditor();
    for (int r = 1; r < GridMain->rowCount(); ++r) {
        if (GridMain->cell(1, r).isEmpty())
            continue;
        const QString name = GridMain->cell(2, r);
        if (name.trimmed().isEmpty()) {
            ShowSuperMsg(kTitle, QStringLiteral("第") + QString::number(r) + QStringLiteral("行名称不能为空!"),
                         QStringLiteral("myok"));
            return;
        }
        CallColConfig(m_run.dm, m_run.gridId, QString(), name, GridMain->cell(3, r).trimmed().isEmpty() ? 0 : 1, 0,
                      GridTemp->cell(1, r).trimmed().toInt(), r, 0, QStringLiteral("U"));
    }
    m_run.result = true;
    ApplyColConfig(m_run.dm, m_run.display, m_run.source, m_run.map, m_run.gridId, 1);
    accept();
}

void TColConfigForm::sbRevertClick()
{
    if (ShowSuperMsg(kTitle, QStringLiteral("你确定要恢复所有改变,回到原始设置吗?"), QStringLiteral("myokcancel")) !=
        QLatin1String("myok"))
        return;
    std::vector<int> fixedColumns;
    std::vector<ColConfigRecord> before;
    if (ReadColConfig(m_run.dm, m_run.gridId, before))
        for (const ColConfigRecord& r : before)
            if (r.sysVisible == 1)
                fixedColumns.push_back(r.orderCode);
    if (CallColConfig(m_run.dm, m_run.gridId, QString(), QString(), 0, 0, 0, 0, 0, QStringLiteral("D")) <= 0) {
        ShowSuperMsg(kTitle, QStringLiteral("恢复所有改变失败,请退出后重试!"), QStringLiteral("myok"));
        return;
    }
    ShowSuperMsg(kTitle, QStringLiteral("恢复所有改变成功,确定后生效!"), QStringLiteral("myok"));
    m_run.result = true;
    // Opened without system columns (from a query window), the records rebuilt keep their stars.
    std::vector<int> systemCols = m_run.systemCols;
    for (const int column : fixedColumns) {
        const auto free = std::find(systemCols.begin(), systemCols.end(), 0);
        if (std::find(systemCols.begin(), systemCols.end(), column) == systemCols.end() && free != systemCols.end())
            *free = column;
    }
    CheckColConfig(m_run.dm, m_run.source, systemCols, m_run.gridId);
    ApplyColConfig(m_run.dm, m_run.display, m_run.source, m_run.map, m_run.gridId, 1);
    accept();
}

void TColConfigForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TColConfigForm::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees Esc before any of its controls; while a name is typed, Esc ends that edit
    // only (the name goes back to what it was) and the other edits stay.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && GridMain->isEditing() && GridMain->isAncestorOf(w))
            return false;
        if (w && (w == this || isAncestorOf(w))) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace corvanta
