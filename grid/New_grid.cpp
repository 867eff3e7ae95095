// One file for one control: the grid view, its model over the shared result body, its two headers
// and its delegate share the view's private state (friends), so splitting them would only widen
// that state's interface.
#include "grid/New_grid.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace corvanta {

// ---------------------------------------------------------------------------------------------
// Model: a window onto the grid's own store; body cells only (the fixed row and column are the
// view's headers).

class TSupGridsModel : public QAbstractTableModel {
public:
    explicit TSupGridsModel(TSupGrids* grid) : QAbstractTableModel(grid), m_grid(grid) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : std::max(0, m_grid->m_rowCount - m_grid->m_fixedRows);
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : std::max(0, m_grid->m_colCount - m_grid->m_fixedCols);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const int col = index.column() + m_grid->m_fixedCols;
        const int row = index.row() + m_grid->m_fixedRows;
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return m_grid->cell(col, row);
        return {};
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        m_grid->setCell(index.column() + m_grid->m_fixedCols, index.row() + m_grid->m_fixedRows,
                        value.toString());
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (m_grid->m_options & GridOption::Editing)
            f |= Qt::ItemIsEditable;
        return f;
    }

    void insertRowsRange(int first, int last) { beginInsertRows({}, first, last); endInsertRows(); }
    void removeRowsRange(int first, int last) { beginRemoveRows({}, first, last); }
    void endRemoveRowsRange() { endRemoveRows(); }
    void insertColsRange(int first, int last) { beginInsertColumns({}, first, last); endInsertColumns(); }
    void removeColsRange(int first, int last) { beginRemoveColumns({}, first, last); }
    void endRemoveColsRange() { endRemoveColumns(); }
    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }

private:
    TSupGrids* m_grid;
};

// ---------------------------------------------------------------------------------------------
// Headers: the fixed row (horizontal) and the fixed column (vertical), drawn as grid cells.

class TSupGridsHeader : public QHeaderView {
public:
    TSupGridsHeader(Qt::Orientation orientation, TSupGrids* grid)
        : QHeaderView(orientation, grid), m_grid(grid)
    {
        setSectionsClickable(false);
        setHighlightSections(false);
        setMinimumSectionSize(0);
    }

    QSize sizeHint() const override
    {
        QSize s = QHeaderView::sizeHint();
        if (orientation() == Qt::Horizontal)
            s.setHeight(m_grid->m_fixedRows ? m_grid->rowHeight(0) : 0);
        else
            s.setWidth(m_grid->m_fixedCols ? m_grid->colWidth(0) : 0);
        return s;
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        if (orientation() == Qt::Horizontal)
            m_grid->drawCell(painter, rect, logicalIndex + m_grid->m_fixedCols, 0, false);
        else
            m_grid->drawCell(painter, rect, 0, logicalIndex + m_grid->m_fixedRows, false);
    }

private:
    TSupGrids* m_grid;
};

// ---------------------------------------------------------------------------------------------
// Delegate: draws body cells like the fixed ones; the in-place editor writes through at once,
// so the cell holds the typed text while editing (Esc restores the text it had before).

class TSupGridsDelegate : public QStyledItemDelegate {
public:
    explicit TSupGridsDelegate(TSupGrids* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        m_grid->drawCell(painter, option.rect, index.column() + m_grid->m_fixedCols,
                         index.row() + m_grid->m_fixedRows, option.state & QStyle::State_Selected);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override
    {
        const int col = index.column() + m_grid->m_fixedCols;
        const int row = index.row() + m_grid->m_fixedRows;
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setFont(m_grid->cellFont(col, row));
        const TAlign a = m_grid->cellAlignment(col, row);
        editor->setAlignment((a == alRight ? Qt::AlignRight : a == alCenter ? Qt::AlignHCenter : Qt::AlignLeft) |
                             Qt::AlignVCenter);
        m_grid->m_editor = editor;
        m_grid->m_editCol = col;
        m_grid->m_editRow = row;
        m_grid->m_editOriginal = m_grid->cell(col, row);
        TSupGrids* grid = m_grid;
        QObject::connect(editor, &QLineEdit::textEdited, grid,
                         [grid, col, row](const QString& text) { grid->storeFromEditor(col, row, text); });
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        static_cast<QLineEdit*>(editor)->setText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    }

private:
    TSupGrids* m_grid;
};

// ---------------------------------------------------------------------------------------------

TSupGrids::TSupGrids(QWidget* parent)
    : QTableView(parent)
{
    m_colWidths.assign(m_colCount, m_defaultColWidth);
    m_colWidths[0] = 30;
    m_options = GridOption::RangeSelect | GridOption::RowMoving | GridOption::ColMoving |
                GridOption::Editing | GridOption::Tabs;

    // The grid's own face colour, so its lines stay grey on tinted dialog backgrounds.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, m_fixedColor);
    pal.setColor(QPalette::Base, m_color);
    setPalette(pal);

    m_hHeader = new TSupGridsHeader(Qt::Horizontal, this);
    m_vHeader = new TSupGridsHeader(Qt::Vertical, this);
    m_hHeader->setDefaultSectionSize(m_defaultColWidth);
    m_vHeader->setDefaultSectionSize(m_defaultRowHeight);
    m_vHeader->setSectionResizeMode(QHeaderView::Fixed);
    setHorizontalHeader(m_hHeader);
    setVerticalHeader(m_vHeader);

    m_model = new TSupGridsModel(this);
    setModel(m_model);
    setItemDelegate(new TSupGridsDelegate(this));
    setWordWrap(false);
    setHorizontalScrollMode(ScrollPerItem);
    setVerticalScrollMode(ScrollPerItem);
    setCornerButtonEnabled(false);
    setAutoScroll(true);

    connect(m_hHeader, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        const int col = logical + m_fixedCols;
        if (col >= 0 && col < int(m_colWidths.size()))
            m_colWidths[col] = size;
    });
    connect(m_vHeader, &QHeaderView::sectionMoved, this, [this](int, int oldVisual, int newVisual) {
        if (m_undoingHeaderMove)
            return;
        // The header only shows the drag; the cells themselves move.
        m_undoingHeaderMove = true;
        m_vHeader->moveSection(newVisual, oldVisual);
        m_undoingHeaderMove = false;
        moveRow(oldVisual + m_fixedRows, newVisual + m_fixedRows);
    });

    m_hHeader->installEventFilter(this);
    m_vHeader->installEventFilter(this);
    m_hHeader->viewport()->installEventFilter(this);
    m_vHeader->viewport()->installEventFilter(this);
    if (auto* corner = findChild<QAbstractButton*>()) {
        m_corner = corner;
        corner->installEventFilter(this);
    }
    setOptions(m_options);
    syncGeometry();
}

TSupGrids::~TSupGrids() = default;

// --- Size ---------------------------------------------------------------------------------------

void TSupGrids::setRowCount(int count)
{
    count = std::max(1, count);
    if (count <= m_fixedRows)
        setFixedRows(count - 1);
    if (count == m_rowCount)
        return;
    const int oldModelRows = std::max(0, m_rowCount - m_fixedRows);
    const int newModelRows = std::max(0, count - m_fixedRows);
    if (count > m_rowCount) {
        m_rowCount = count;
        if (newModelRows > oldModelRows)
            m_model->insertRowsRange(oldModelRows, newModelRows - 1);
    } else {
        if (isEditing() && m_editRow >= count)
            hideEditor();
        if (newModelRows < oldModelRows)
            m_model->removeRowsRange(newModelRows, oldModelRows - 1);
        m_rowCount = count;
        if (newModelRows < oldModelRows)
            m_model->endRemoveRowsRange();
        if (int(m_rows.size()) > count) {
            for (auto it = m_rows.begin() + count; it != m_rows.end(); ++it)
                releaseRow(*it);
            m_rows.resize(count);
        }
        m_rowHeights.erase(m_rowHeights.lower_bound(count), m_rowHeights.end());
    }
    // Rows already written beyond the old count and rows with their own height show now.
    for (const auto& [row, height] : m_rowHeights)
        if (row >= m_fixedRows)
            QTableView::setRowHeight(row - m_fixedRows, height);
    scheduleRepaint();
}

void TSupGrids::setColCount(int count)
{
    count = std::max(1, count);
    if (count <= m_fixedCols)
        setFixedCols(count - 1);
    if (count == m_colCount)
        return;
    const int oldModelCols = std::max(0, m_colCount - m_fixedCols);
    const int newModelCols = std::max(0, count - m_fixedCols);
    m_colWidths.resize(count, m_defaultColWidth);
    if (count > m_colCount) {
        m_colCount = count;
        if (newModelCols > oldModelCols)
            m_model->insertColsRange(oldModelCols, newModelCols - 1);
    } else {
        if (isEditing() && m_editCol >= count)
            hideEditor();
        if (newModelCols < oldModelCols)
            m_model->removeColsRange(newModelCols, oldModelCols - 1);
        m_colCount = count;
        if (newModelCols < oldModelCols)
            m_model->endRemoveColsRange();
        for (const RowRef& rr : m_rows)
            if (rr.ref != kNoRow && (rr.ref & kLocal) && int(m_local[rr.ref & ~kLocal].size()) > count)
                m_local[rr.ref & ~kLocal].resize(count);
        if (int(m_bodyCols.size()) > count)
            m_bodyCols.resize(count);
    }
    syncGeometry();
    scheduleRepaint();
}

void TSupGrids::setFixedRows(int count)
{
    count = std::clamp(count, 0, 1);
    if (count >= m_rowCount)
        count = m_rowCount - 1;
    if (count == m_fixedRows)
        return;
    m_model->beginReset();
    m_fixedRows = count;
    m_model->endReset();
    syncGeometry();
}

void TSupGrids::setFixedCols(int count)
{
    count = std::clamp(count, 0, 1);
    if (count >= m_colCount)
        count = m_colCount - 1;
    if (count == m_fixedCols)
        return;
    m_model->beginReset();
    m_fixedCols = count;
    m_model->endReset();
    syncGeometry();
}

void TSupGrids::syncGeometry()
{
    m_hHeader->setVisible(m_fixedRows > 0);
    m_vHeader->setVisible(m_fixedCols > 0);
    for (int c = m_fixedCols; c < m_colCount; ++c)
        if (m_hHeader->sectionSize(c - m_fixedCols) != m_colWidths[c])
            m_hHeader->resizeSection(c - m_fixedCols, m_colWidths[c]);
    for (const auto& [row, height] : m_rowHeights)
        if (row >= m_fixedRows && row < m_rowCount)
            QTableView::setRowHeight(row - m_fixedRows, height);
    m_hHeader->updateGeometry();
    m_vHeader->updateGeometry();
    updateGeometries();
    viewport()->update();
}

// --- Cells --------------------------------------------------------------------------------------

namespace {

// Column 0 after a sort: the row's new number, keeping the old cell's mark.
QString numbered(int number, const QString& old)
{
    QString text = QString::number(number);
    if (old.contains(QStringLiteral("..")))
        text += QStringLiteral("..");
    else if (old.contains(QChar(0x221A)))
        text += QChar(0x221A);
    return text;
}

}  // namespace

QString TSupGrids::rawCell(int col, const RowRef& rr) const
{
    if (rr.ref == kNoRow)
        return QString();
    if (rr.ref & kLocal) {
        const auto& cells = m_local[rr.ref & ~kLocal];
        return col < int(cells.size()) ? cells[col] : QString();
    }
    const int bc = col < int(m_bodyCols.size()) ? m_bodyCols[col] : -1;
    return bc >= 0 ? m_body->cell(bc, int(rr.ref)) : QString();
}

QString TSupGrids::cell(int col, int row) const
{
    if (row < 0 || col < 0 || row >= int(m_rows.size()))
        return QString();
    const RowRef& rr = m_rows[row];
    QString text = rawCell(col, rr);
    if (col == 0 && rr.number > 0 && !text.isEmpty())
        return numbered(rr.number, text);
    return text;
}

std::string_view TSupGrids::cellUtf8(int col, int row, std::string& scratch) const
{
    if (row >= 0 && col > 0 && row < int(m_rows.size())) {
        const RowRef& rr = m_rows[row];
        if (rr.ref == kNoRow)
            return {};
        if (!(rr.ref & kLocal)) {
            const int bc = col < int(m_bodyCols.size()) ? m_bodyCols[col] : -1;
            return bc >= 0 ? m_body->utf8(bc, int(rr.ref)) : std::string_view();
        }
    }
    scratch = cell(col, row).toStdString();
    return scratch;
}

void TSupGrids::releaseRow(RowRef& rr)
{
    if (rr.ref != kNoRow && (rr.ref & kLocal)) {
        m_local[rr.ref & ~kLocal].clear();
        m_local[rr.ref & ~kLocal].shrink_to_fit();
        m_freeLocal.push_back(rr.ref & ~kLocal);
    }
    rr = RowRef();
}

// The row as text cells, made so if it lived in the body or was empty.
std::vector<QString>& TSupGrids::localRow(int row)
{
    if (row >= int(m_rows.size()))
        m_rows.resize(std::size_t(row) + 1);
    RowRef& rr = m_rows[row];
    if (rr.ref != kNoRow && (rr.ref & kLocal))
        return m_local[rr.ref & ~kLocal];
    std::vector<QString> cells;
    if (rr.ref != kNoRow) {
        cells.resize(std::max<std::size_t>(m_bodyCols.size(), std::size_t(m_colCount)));
        for (int c = 0; c < int(cells.size()); ++c)
            cells[c] = cell(c, row);
    }
    std::uint32_t slot;
    if (!m_freeLocal.empty()) {
        slot = m_freeLocal.back();
        m_freeLocal.pop_back();
        m_local[slot] = std::move(cells);
    } else {
        slot = std::uint32_t(m_local.size());
        m_local.push_back(std::move(cells));
    }
    rr.ref = kLocal | slot;
    rr.number = 0;
    return m_local[slot];
}

void TSupGrids::setCell(int col, int row, const QString& text)
{
    if (row < 0 || col < 0)
        return;
    if (text.isEmpty() && (row >= int(m_rows.size()) || m_rows[row].ref == kNoRow))
        return;
    if (text.isEmpty() && cell(col, row).isEmpty())
        return;
    auto& cells = localRow(row);
    if (col >= int(cells.size()))
        cells.resize(std::max(col + 1, m_colCount));
    cells[col] = text;
    scheduleRepaint();
}

std::vector<QString> TSupGrids::rowCells(int row) const
{
    std::vector<QString> cells;
    if (row >= 0 && row < int(m_rows.size())) {
        const RowRef& rr = m_rows[row];
        if (rr.ref != kNoRow && (rr.ref & kLocal) && !rr.number) {
            cells = m_local[rr.ref & ~kLocal];
        } else if (rr.ref != kNoRow) {
            const int width = (rr.ref & kLocal) ? int(m_local[rr.ref & ~kLocal].size()) : int(m_bodyCols.size());
            cells.resize(std::size_t(std::max(width, m_colCount)));
            for (int c = 0; c < int(cells.size()); ++c)
                cells[c] = cell(c, row);
        }
    }
    if (int(cells.size()) < m_colCount)
        cells.resize(m_colCount);
    return cells;
}

void TSupGrids::setRowCells(int row, std::vector<QString> cells)
{
    if (row < 0)
        return;
    if (row < int(m_rows.size()))
        releaseRow(m_rows[row]);
    localRow(row) = std::move(cells);
    scheduleRepaint();
}

void TSupGrids::setBody(CellStore store)
{
    setBody(std::make_shared<const CellStore>(std::move(store)));
}

void TSupGrids::setBody(std::shared_ptr<const CellStore> store)
{
    ClearRows();
    if (!store)
        return;
    m_body = std::move(store);
    m_bodyCols.resize(std::size_t(m_body->columnCount()));
    for (int c = 0; c < m_body->columnCount(); ++c)
        m_bodyCols[c] = c;
    const int n = m_body->rowCount();
    m_rows.resize(std::size_t(n) + 1);
    for (int r = 0; r < n; ++r)
        m_rows[std::size_t(r) + 1].ref = std::uint32_t(r);
    scheduleRepaint();
}

void TSupGrids::showColumnsOf(const TSupGrids& source, const std::vector<int>& sourceCols)
{
    if (&source == this)
        return;
    hideEditor();
    auto from = [&](int c) { return c < int(sourceCols.size()) ? sourceCols[c] : -1; };
    m_local.clear();
    m_freeLocal.clear();
    m_body = source.m_body;
    const int width = std::max(m_colCount, int(sourceCols.size()));
    m_bodyCols.assign(std::size_t(width), -1);
    for (int c = 0; c < width; ++c) {
        const int sc = from(c);
        if (sc >= 0 && sc < int(source.m_bodyCols.size()))
            m_bodyCols[c] = source.m_bodyCols[sc];
    }
    m_rows = source.m_rows;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        RowRef& rr = m_rows[r];
        // Text rows are few (headings, totals): they are taken over column by column.
        if (rr.ref == kNoRow || !(rr.ref & kLocal))
            continue;
        auto cells = std::vector<QString>(std::size_t(width));
        for (int c = 0; c < width; ++c)
            if (from(c) >= 0)
                cells[c] = source.cell(from(c), int(r));
        rr.ref = kLocal | std::uint32_t(m_local.size());
        rr.number = 0;
        m_local.push_back(std::move(cells));
    }
    // Numbers drawn from a sort stay with column 0 only.
    if (from(0) != 0)
        for (RowRef& rr : m_rows)
            rr.number = 0;
    scheduleRepaint();
}

void TSupGrids::permuteRows(int first, const std::vector<std::uint32_t>& order)
{
    if (first < 0 || order.empty())
        return;
    hideEditor();
    const std::size_t end = std::size_t(first) + order.size();
    if (m_rows.size() < end)
        m_rows.resize(end);
    std::vector<RowRef> moved(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        moved[i] = m_rows[std::size_t(first) + order[i]];
    std::copy(moved.begin(), moved.end(), m_rows.begin() + first);
    scheduleRepaint();
}

void TSupGrids::renumberRows(int first, int last)
{
    last = std::min(last, int(m_rows.size()) - 1);
    for (int r = std::max(first, 1); r <= last; ++r)
        m_rows[r].number = r;
    scheduleRepaint();
}

void TSupGrids::deleteColumn(int col)
{
    if (col < 0 || col >= m_colCount)
        return;
    hideEditor();
    for (auto& cells : m_local)
        if (col < int(cells.size()))
            cells.erase(cells.begin() + col);
    if (col < int(m_bodyCols.size()))
        m_bodyCols.erase(m_bodyCols.begin() + col);
    if (col == 0)
        for (RowRef& rr : m_rows)
            rr.number = 0;
    // Widths follow their columns; the vacated last place keeps the width it had.
    std::vector<int> widths = m_colWidths;
    widths.erase(widths.begin() + col);
    widths.push_back(m_colWidths.back());
    setColCount(m_colCount - 1);
    for (int c = col; c < m_colCount; ++c)
        setColWidth(c, widths[c]);
    scheduleRepaint();
}

void TSupGrids::setSortMark(int col, bool ascending, const QColor& keyColour)
{
    for (int c = 1; c < colCount(); ++c)
        setColorCell(c, 0, fixedColor());
    setColorCell(col, 0, keyColour);
    m_sortCol = col;
    m_sortAscending = ascending;
}

void TSupGrids::clearSortMark()
{
    if (m_sortCol >= 0)
        setColorCell(m_sortCol, 0, fixedColor());
    m_sortCol = -1;
}

void TSupGrids::ClearRows()
{
    clearSortMark();
    hideEditor();
    if (m_rows.empty())
        m_rows.resize(1);
    std::vector<QString> heading = rowCells(0);
    if (heading.size() > std::size_t(m_colCount) && m_body)
        heading.resize(std::size_t(m_colCount));
    m_rows.assign(1, RowRef());
    m_rows.shrink_to_fit();
    m_local.clear();
    m_freeLocal.clear();
    m_body.reset();
    m_bodyCols.clear();
    bool any = false;
    for (const auto& h : heading)
        any = any || !h.isEmpty();
    if (any) {
        m_local.push_back(std::move(heading));
        m_rows[0].ref = kLocal;
    }
    scheduleRepaint();
}

void TSupGrids::moveRow(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= m_rowCount || to >= m_rowCount)
        return;
    hideEditor();
    if (int(m_rows.size()) <= std::max(from, to))
        m_rows.resize(std::size_t(std::max(from, to)) + 1);
    if (from < to)
        std::rotate(m_rows.begin() + from, m_rows.begin() + from + 1, m_rows.begin() + to + 1);
    else
        std::rotate(m_rows.begin() + to, m_rows.begin() + from, m_rows.begin() + from + 1);

    auto moved = [from, to](int r) {
        if (r == from)
            return to;
        if (from < to && r > from && r <= to)
            return r - 1;
        if (from > to && r >= to && r < from)
            return r + 1;
        return r;
    };
    auto remap = [&](auto& map) {
        std::remove_reference_t<decltype(map)> out;
        for (auto& [key, value] : map)
            out.emplace(moved(key), std::move(value));
        map.swap(out);
    };
    remap(m_rowProps);
    remap(m_fixedRowProps);
    const bool hadHeights = !m_rowHeights.empty();
    remap(m_rowHeights);
    std::map<std::pair<int, int>, Props> cellProps;
    for (auto& [key, value] : m_cellProps)
        cellProps.emplace(std::make_pair(moved(key.first), key.second), std::move(value));
    m_cellProps.swap(cellProps);

    if (hadHeights) {
        for (int r = std::min(from, to); r <= std::max(from, to); ++r)
            if (r >= m_fixedRows)
                QTableView::setRowHeight(r - m_fixedRows, rowHeight(r));
        m_hHeader->updateGeometry();
        updateGeometries();
    }
    scheduleRepaint();
    emit OnRowMoved(from, to);
}

// --- Geometry -----------------------------------------------------------------------------------

int TSupGrids::colWidth(int col) const
{
    return col >= 0 && col < int(m_colWidths.size()) ? m_colWidths[col] : m_defaultColWidth;
}

void TSupGrids::setColWidth(int col, int width)
{
    if (col < 0 || col >= m_colCount)
        return;
    width = std::max(0, width);
    m_colWidths[col] = width;
    if (col >= m_fixedCols)
        m_hHeader->resizeSection(col - m_fixedCols, width);
    else {
        m_vHeader->updateGeometry();
        updateGeometries();
    }
}

void TSupGrids::setDefaultColWidth(int width)
{
    m_defaultColWidth = std::max(0, width);
    m_hHeader->setDefaultSectionSize(m_defaultColWidth);
    std::fill(m_colWidths.begin(), m_colWidths.end(), m_defaultColWidth);
    syncGeometry();
}

int TSupGrids::rowHeight(int row) const
{
    const auto it = m_rowHeights.find(row);
    return it != m_rowHeights.end() ? it->second : m_defaultRowHeight;
}

void TSupGrids::setRowHeight(int row, int height)
{
    if (row < 0 || row >= m_rowCount)
        return;
    height = std::max(0, height);
    m_rowHeights[row] = height;
    if (row >= m_fixedRows) {
        QTableView::setRowHeight(row - m_fixedRows, height);
    } else {
        m_hHeader->updateGeometry();
        updateGeometries();
    }
}

void TSupGrids::setDefaultRowHeight(int height)
{
    m_defaultRowHeight = std::max(0, height);
    m_rowHeights.clear();
    m_vHeader->setDefaultSectionSize(m_defaultRowHeight);
    syncGeometry();
}

int TSupGrids::leftCol() const
{
    return horizontalScrollBar()->value() + m_fixedCols;
}

void TSupGrids::setLeftCol(int col)
{
    const_cast<TSupGrids*>(this)->updateGeometries();
    horizontalScrollBar()->setValue(col - m_fixedCols);
}

int TSupGrids::topRow() const
{
    return verticalScrollBar()->value() + m_fixedRows;
}

void TSupGrids::setTopRow(int row)
{
    updateGeometries();
    verticalScrollBar()->setValue(row - m_fixedRows);
}

int TSupGrids::clientWidth() const
{
    return viewport()->width() + (m_fixedCols && !m_vHeader->isHidden() ? m_vHeader->width() : 0);
}

int TSupGrids::clientHeight() const
{
    return viewport()->height() + (m_fixedRows && !m_hHeader->isHidden() ? m_hHeader->height() : 0);
}

bool TSupGrids::mouseToCell(int x, int y, int& col, int& row) const
{
    const int headerHeight = m_fixedRows ? rowHeight(0) : 0;
    const int headerWidth = m_fixedCols ? colWidth(0) : 0;
    if (x < 0 || y < 0)
        return false;
    if (y < headerHeight) {
        row = 0;
    } else {
        const int r = rowAt(y - headerHeight);
        if (r < 0)
            return false;
        row = r + m_fixedRows;
    }
    if (x < headerWidth) {
        col = 0;
    } else {
        const int c = columnAt(x - headerWidth);
        if (c < 0)
            return false;
        col = c + m_fixedCols;
    }
    return true;
}

QPoint TSupGrids::toClient(QWidget* from, const QPoint& pos) const
{
    return from->mapTo(this, pos) - contentsRect().topLeft();
}

// --- Current cell and selection ----------------------------------------------------------------

int TSupGrids::col() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() + m_fixedCols : m_fixedCols;
}

int TSupGrids::row() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + m_fixedRows : m_fixedRows;
}

void TSupGrids::setCol(int col)
{
    setCurrentCell(col, row());
}

void TSupGrids::setRow(int row)
{
    setCurrentCell(col(), row);
}

void TSupGrids::setCurrentCell(int col, int row)
{
    const QModelIndex index = m_model->index(row - m_fixedRows, col - m_fixedCols);
    if (index.isValid())
        setCurrentIndex(index);
}

QRect TSupGrids::selectionRect() const
{
    const QItemSelection selection = selectionModel() ? selectionModel()->selection() : QItemSelection();
    if (selection.isEmpty())
        return QRect(QPoint(col(), row()), QPoint(col(), row()));
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (const QItemSelectionRange& r : selection) {
        left = std::min(left, r.left());
        top = std::min(top, r.top());
        right = std::max(right, r.right());
        bottom = std::max(bottom, r.bottom());
    }
    return QRect(QPoint(left + m_fixedCols, top + m_fixedRows), QPoint(right + m_fixedCols, bottom + m_fixedRows));
}

void TSupGrids::setOptions(GridOptions options)
{
    m_options = options;
    setSelectionBehavior(options & GridOption::RowSelect ? SelectRows : SelectItems);
    setSelectionMode(options & GridOption::RangeSelect ? ContiguousSelection : SingleSelection);
    setEditTriggers(options & GridOption::Editing
                        ? EditTriggers(DoubleClicked | EditKeyPressed | AnyKeyPressed)
                        : EditTriggers(NoEditTriggers));
    m_hHeader->setSectionResizeMode(options & GridOption::ColSizing ? QHeaderView::Interactive
                                                                    : QHeaderView::Fixed);
    m_vHeader->setSectionsMovable(bool(options & GridOption::RowMoving));
    setTabKeyNavigation(bool(options & GridOption::Tabs));
    if (!(options & GridOption::Editing))
        hideEditor();
    viewport()->update();
}

bool TSupGrids::isEditing() const
{
    return state() == EditingState && m_editor;
}

void TSupGrids::hideEditor()
{
    if (m_editor)
        QTableView::closeEditor(m_editor, QAbstractItemDelegate::NoHint);
    m_editor = nullptr;
}

void TSupGrids::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == m_editor) {
        if (hint == QAbstractItemDelegate::RevertModelCache)
            setCell(m_editCol, m_editRow, m_editOriginal);
        m_editor = nullptr;
    }
    QTableView::closeEditor(editor, hint);
}

void TSupGrids::storeFromEditor(int col, int row, const QString& text)
{
    setCell(col, row, text);
}

// --- Look ---------------------------------------------------------------------------------------

template <typename T, typename Get>
std::optional<T> TSupGrids::lookup(int col, int row, Get get) const
{
    if (const auto it = m_cellProps.find({row, col}); it != m_cellProps.end())
        if (const std::optional<T>& v = get(it->second))
            return v;
    const bool fixed = isFixedCell(col, row);
    const auto& cols = fixed ? m_fixedColProps : m_colProps;
    if (const auto it = cols.find(col); it != cols.end())
        if (const std::optional<T>& v = get(it->second))
            return v;
    const auto& rows = fixed ? m_fixedRowProps : m_rowProps;
    if (const auto it = rows.find(row); it != rows.end())
        if (const std::optional<T>& v = get(it->second))
            return v;
    return std::nullopt;
}

void TSupGrids::setAlignment(TAlign align) { m_alignment = align; scheduleRepaint(); }
void TSupGrids::setAlignCell(int col, int row, std::optional<TAlign> a) { m_cellProps[{row, col}].align = a; scheduleRepaint(); }
void TSupGrids::setAlignCol(int col, std::optional<TAlign> a) { m_colProps[col].align = a; scheduleRepaint(); }
void TSupGrids::setFixAlignCol(int col, std::optional<TAlign> a) { m_fixedColProps[col].align = a; scheduleRepaint(); }
void TSupGrids::setAlignRow(int row, std::optional<TAlign> a) { m_rowProps[row].align = a; scheduleRepaint(); }
void TSupGrids::setFixAlignRow(int row, std::optional<TAlign> a) { m_fixedRowProps[row].align = a; scheduleRepaint(); }

TAlign TSupGrids::cellAlignment(int col, int row) const
{
    return lookup<TAlign>(col, row, [](const Props& p) -> const std::optional<TAlign>& { return p.align; })
        .value_or(m_alignment);
}

void TSupGrids::setColor(const QColor& c)
{
    m_color = c;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, c);
    setPalette(pal);
    scheduleRepaint();
}

void TSupGrids::setFixedColor(const QColor& c)
{
    m_fixedColor = c;
    QPalette pal = palette();
    pal.setColor(QPalette::Window, c);
    setPalette(pal);
    scheduleRepaint();
}
void TSupGrids::setColorCell(int col, int row, std::optional<QColor> c) { m_cellProps[{row, col}].colour = c; scheduleRepaint(); }
void TSupGrids::setColorCol(int col, std::optional<QColor> c) { m_colProps[col].colour = c; scheduleRepaint(); }
void TSupGrids::setFixedColorCol(int col, std::optional<QColor> c) { m_fixedColProps[col].colour = c; scheduleRepaint(); }
void TSupGrids::setColorRow(int row, std::optional<QColor> c) { m_rowProps[row].colour = c; scheduleRepaint(); }
void TSupGrids::setFixedColorRow(int row, std::optional<QColor> c) { m_fixedRowProps[row].colour = c; scheduleRepaint(); }

QColor TSupGrids::cellColor(int col, int row) const
{
    return lookup<QColor>(col, row, [](const Props& p) -> const std::optional<QColor>& { return p.colour; })
        .value_or(isFixedCell(col, row) ? m_fixedColor : m_color);
}

void TSupGrids::setFontCell(int col, int row, std::optional<QFont> f) { m_cellProps[{row, col}].font = f; scheduleRepaint(); }
void TSupGrids::setFontCol(int col, std::optional<QFont> f) { m_colProps[col].font = f; scheduleRepaint(); }
void TSupGrids::setFixFontCol(int col, std::optional<QFont> f) { m_fixedColProps[col].font = f; scheduleRepaint(); }
void TSupGrids::setFontRow(int row, std::optional<QFont> f) { m_rowProps[row].font = f; scheduleRepaint(); }
void TSupGrids::setFixFontRow(int row, std::optional<QFont> f) { m_fixedRowProps[row].font = f; scheduleRepaint(); }

QFont TSupGrids::cellFont(int col, int row) const
{
    return lookup<QFont>(col, row, [](const Props& p) -> const std::optional<QFont>& { return p.font; })
        .value_or(font());
}

QColor TSupGrids::selectionColor()
{
    return QColor(10, 36, 106);
}

void TSupGrids::drawCell(QPainter* painter, const QRect& rect, int col, int row, bool selected) const
{
    painter->save();
    painter->setClipRect(rect);
    const bool fixed = isFixedCell(col, row);
    painter->fillRect(rect, selected && !fixed ? selectionColor() : cellColor(col, row));
    if (fixed) {
        // Raised look of the fixed cells, and their grid lines.
        painter->setPen(QColor(255, 255, 255));
        painter->drawLine(rect.topLeft(), rect.topRight());
        painter->drawLine(rect.topLeft(), rect.bottomLeft());
        painter->setPen(QColor(128, 128, 128));
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    const QString text = cell(col, row);
    if (!text.isEmpty()) {
        const QFont f = cellFont(col, row);
        painter->setFont(f);
        painter->setPen(selected && !fixed ? QColor(255, 255, 255) : palette().color(QPalette::Text));
        const QFontMetrics fm(f);
        QString normalised = text;
        normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
        normalised.replace(QLatin1Char('\n'), QLatin1Char('\r'));
        const QStringList lines = normalised.split(QLatin1Char('\r'));
        const TAlign align = cellAlignment(col, row);
        int y = rect.top() + 2 + fm.ascent();
        for (const QString& line : lines) {
            const int w = fm.horizontalAdvance(line);
            int x = rect.left() + 2;
            if (align == alRight)
                x = rect.right() + 1 - 2 - w;
            else if (align == alCenter)
                x = rect.left() + (rect.width() - w) / 2;
            painter->drawText(QPoint(x, y), line);
            y += fm.height();
        }
    }
    if (row == 0 && col == m_sortCol && rect.width() > 12) {
        const QFontMetrics fm(cellFont(col, row));
        const QString mark = m_sortAscending ? QStringLiteral("▲") : QStringLiteral("▼");
        painter->setPen(palette().color(QPalette::Text));
        painter->drawText(QRect(rect.right() - fm.horizontalAdvance(mark) - 3, rect.top(), fm.horizontalAdvance(mark) + 2,
                                rect.height()),
                          Qt::AlignVCenter | Qt::AlignRight, mark);
    }
    painter->restore();
}

void TSupGrids::scheduleRepaint()
{
    if (m_repaintPending)
        return;
    m_repaintPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_repaintPending = false;
            viewport()->update();
            m_hHeader->viewport()->update();
            m_vHeader->viewport()->update();
            if (m_corner)
                m_corner->update();
        },
        Qt::QueuedConnection);
}

// --- Keys and mouse ----------------------------------------------------------------------------

int TSupGrids::firstColumnBeyondRightEdge() const
{
    const int width = clientWidth();
    int sum = colWidth(0);
    int p = leftCol();
    while (p < m_colCount && sum < width) {
        sum += colWidth(p);
        ++p;
    }
    return p;
}

void TSupGrids::arrowLeft()
{
    const int left = leftCol();
    if (m_options & GridOption::RowSelect) {
        if (left > 1)
            setLeftCol(left - 1);
        return;
    }
    const int current = col();
    if (current == left && left > 1)
        setLeftCol(left - 1);
    if (current > leftCol() && current > 1)
        setCol(current - 1);
}

void TSupGrids::arrowRight()
{
    const int left = leftCol();
    if (m_options & GridOption::RowSelect) {
        int total = colWidth(0);
        for (int c = left; c < m_colCount; ++c)
            total += colWidth(c);
        if (left < m_colCount - 1 && total > clientWidth())
            setLeftCol(left + 1);
        return;
    }
    const int current = col();
    const int last = m_colCount - 1;
    if (firstColumnBeyondRightEdge() == current)
        setLeftCol(left + 1);
    const int p = firstColumnBeyondRightEdge();
    if (p > leftCol() && current != last)
        setCol(current + 1);
    else if (current != last)
        setCol(leftCol());
}

void TSupGrids::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    emit OnKeyDown(key, event->modifiers());
    if (key == 0) {
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((key == Qt::Key_Left || key == Qt::Key_Right) && mods == Qt::NoModifier) {
        if (key == Qt::Key_Left)
            arrowLeft();
        else
            arrowRight();
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty()) {
        QChar ch = text.at(0);
        emit OnKeyPress(ch);
        if (ch.isNull()) {
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void TSupGrids::mousePressEvent(QMouseEvent* event)
{
    QTableView::mousePressEvent(event);
    const QPoint p = toClient(viewport(), event->position().toPoint());
    emit OnMouseDown(event->button(), event->modifiers(), p.x(), p.y());
}

void TSupGrids::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    // Only a data row opens what the window opens on a double click, not the space below the rows.
    if (indexAt(event->position().toPoint()).isValid())
        emit OnDblClick();
}

bool TSupGrids::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        QWidget* w = qobject_cast<QWidget*>(watched);
        const bool mine = w && (w == m_hHeader->viewport() || w == m_vHeader->viewport() || w == m_corner);
        if (mine) {
            auto* me = static_cast<QMouseEvent*>(event);
            // A double click on a heading (a column divider, say) opens nothing.
            if (event->type() == QEvent::MouseButtonPress) {
                const QPoint p = toClient(w, me->position().toPoint());
                emit OnMouseDown(me->button(), me->modifiers(), p.x(), p.y());
            }
        }
    }
    if (event->type() == QEvent::Paint && watched == m_corner) {
        QPainter painter(m_corner);
        drawCell(&painter, m_corner->rect(), 0, 0, false);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void TSupGrids::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (!m_inCurrentChanged && current.isValid()) {
        bool canSelect = true;
        emit OnSelectCell(current.column() + m_fixedCols, current.row() + m_fixedRows, canSelect);
        if (!canSelect && previous.isValid()) {
            m_inCurrentChanged = true;
            selectionModel()->setCurrentIndex(
                previous, QItemSelectionModel::ClearAndSelect |
                              (m_options & GridOption::RowSelect ? QItemSelectionModel::Rows
                                                                 : QItemSelectionModel::NoUpdate));
            m_inCurrentChanged = false;
            return;
        }
    }
    QTableView::currentChanged(current, previous);
}

}  // namespace corvanta
