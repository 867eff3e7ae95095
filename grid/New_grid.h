#pragma once
// TSupGrids: the text grid of every table on screen, with the API of a classic string grid
// (cells addressed as (col, row), row 0 the heading row, column 0 the row-number column) on Qt's
// model/view. A result body lives in a shared CellStore that the grid reads through a column map
// and a row order, so sorting permutes row references and a display grid can show another grid's
// columns without copying them; rows written cell by cell are held as text. The fixed heading
// row and fixed column are drawn by the view's headers, so they stay in place while the body
// scrolls.
#include <QColor>
#include <QFlags>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTableView>
#include "base/CellStore.h"
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace corvanta {

// Text alignment of a cell; the values are those of the stored window designs.
enum TAlign { alRight = 0, alLeft = 1, alCenter = 2 };

enum class GridOption : unsigned {
    RangeSelect = 1u << 0,
    ColSizing = 1u << 1,
    RowMoving = 1u << 2,
    ColMoving = 1u << 3,
    Editing = 1u << 4,
    Tabs = 1u << 5,
    RowSelect = 1u << 6,
};
Q_DECLARE_FLAGS(GridOptions, GridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(GridOptions)

class TSupGridsModel;
class TSupGridsHeader;

class TSupGrids : public QTableView {
    Q_OBJECT
public:
    explicit TSupGrids(QWidget* parent = nullptr);
    ~TSupGrids() override;

    // --- Size. Row and column indexes are grid indexes: row 0 / column 0 are the fixed ones.
    int rowCount() const { return m_rowCount; }
    void setRowCount(int count);
    int colCount() const { return m_colCount; }
    void setColCount(int count);
    int fixedRows() const { return m_fixedRows; }  // 0 or 1
    void setFixedRows(int count);
    int fixedCols() const { return m_fixedCols; }  // 0 or 1
    void setFixedCols(int count);

    // --- Cells. Cells may be written beyond the row or column count (a window fills its rows,
    // then sets the count); they show once the count covers them. Reading outside gives "".
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    // A whole row at once (what a sort or a column rebuild moves around).
    std::vector<QString> rowCells(int row) const;
    void setRowCells(int row, std::vector<QString> cells);
    // Replaces the data rows (grid rows 1 ..) with a whole result at once; store row 0 becomes
    // grid row 1, store column c grid column c. Row count and heading stay as they are.
    void setBody(CellStore store);
    void setBody(std::shared_ptr<const CellStore> store);
    // Makes this grid show source's rows through a column projection: column c here shows
    // column sourceCols[c] of source (-1 or beyond the list: an empty column), every row,
    // heading included. Shares the source's body instead of copying it; counts and widths stay.
    void showColumnsOf(const TSupGrids& source, const std::vector<int>& sourceCols);
    // Reorders rows first .. first+order.size()-1: position i receives the row that was at
    // first + order[i]. Only cells move; row settings stay with their positions.
    void permuteRows(int first, const std::vector<std::uint32_t>& order);
    // Column 0 of rows first .. last reads as its own row number followed by the old cell's ".."
    // or "√" mark; empty cells stay empty. Costs no per-row text.
    void renumberRows(int first, int last);
    // The UTF-8 of a cell without a QString where the cell lives in a body; scratch holds the
    // text of cells that do not.
    std::string_view cellUtf8(int col, int row, std::string& scratch) const;
    // Removes column col (contents and width); later columns move one place left.
    void deleteColumn(int col);
    // Closes any editor and empties every row below the heading row; counts and heading stay.
    void ClearRows();
    // Moves row from to position to (rows between shift by one), with its per-row settings and
    // height; then raises OnRowMoved(from, to) when they differ.
    void moveRow(int from, int to);

    // --- Geometry.
    int colWidth(int col) const;
    void setColWidth(int col, int width);
    int defaultColWidth() const { return m_defaultColWidth; }
    void setDefaultColWidth(int width);
    int rowHeight(int row) const;
    void setRowHeight(int row, int height);
    int defaultRowHeight() const { return m_defaultRowHeight; }
    void setDefaultRowHeight(int height);  // also drops heights set per row
    // First scrolled-in data column / row.
    int leftCol() const;
    void setLeftCol(int col);
    int topRow() const;
    void setTopRow(int row);
    // The width / height the grid shows cells in (fixed column included, scroll bar excluded).
    int clientWidth() const;
    int clientHeight() const;
    // The cell under a point in the grid's client coordinates; false when there is none.
    bool mouseToCell(int x, int y, int& col, int& row) const;

    // --- Current cell and selection.
    int col() const;
    int row() const;
    void setCol(int col);
    void setRow(int row);
    void setCurrentCell(int col, int row);
    // Selected cells as (left, top, right, bottom) grid indexes; the current cell when no range.
    QRect selectionRect() const;

    GridOptions options() const { return m_options; }
    void setOptions(GridOptions options);
    bool isEditing() const;
    // Ends editing, keeping the typed text.
    void hideEditor();

    // --- Alignment, looked up in this order: the cell; for fixed cells the fixed-column setting,
    // for the others the column setting; for fixed cells the fixed-row setting, for the others
    // the row setting; the grid's default. Brushes and fonts follow the same order.
    TAlign alignment() const { return m_alignment; }
    void setAlignment(TAlign align);
    void setAlignCell(int col, int row, std::optional<TAlign> align);
    void setAlignCol(int col, std::optional<TAlign> align);
    void setFixAlignCol(int col, std::optional<TAlign> align);
    void setAlignRow(int row, std::optional<TAlign> align);
    void setFixAlignRow(int row, std::optional<TAlign> align);
    TAlign cellAlignment(int col, int row) const;

    QColor color() const { return m_color; }
    void setColor(const QColor& colour);
    QColor fixedColor() const { return m_fixedColor; }
    void setFixedColor(const QColor& colour);
    void setColorCell(int col, int row, std::optional<QColor> colour);
    // The sort shown in the heading: a ▲ (ascending) or ▼ at the right of the key column's
    // heading, and the key heading's colour. Emptying or refilling the rows clears it.
    void setSortMark(int col, bool ascending, const QColor& keyColour);
    void clearSortMark();
    int sortMarkColumn() const { return m_sortCol; }
    bool sortMarkAscending() const { return m_sortAscending; }
    void setColorCol(int col, std::optional<QColor> colour);
    void setFixedColorCol(int col, std::optional<QColor> colour);  // heading cells of a column
    void setColorRow(int row, std::optional<QColor> colour);
    void setFixedColorRow(int row, std::optional<QColor> colour);
    QColor cellColor(int col, int row) const;

    void setFontCell(int col, int row, std::optional<QFont> font);
    void setFontCol(int col, std::optional<QFont> font);
    void setFixFontCol(int col, std::optional<QFont> font);
    void setFontRow(int row, std::optional<QFont> font);
    void setFixFontRow(int row, std::optional<QFont> font);
    QFont cellFont(int col, int row) const;

    // Selected cells are drawn in the active-caption colour with white text.
    static QColor selectionColor();

    bool isFixedCell(int col, int row) const { return col < m_fixedCols || row < m_fixedRows; }

    // Draws one cell (brush, text lines, clipping); used for body and fixed cells alike.
    void drawCell(QPainter* painter, const QRect& rect, int col, int row, bool selected) const;

signals:
    // x, y in the grid's client coordinates (the heading row and fixed column included).
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void OnDblClick();
    // A typed character (13 for Enter, 27 for Esc); a handler sets it to 0 to swallow it.
    void OnKeyPress(QChar& key);
    // A key press (Qt::Key_*); a handler sets it to 0 to swallow it.
    void OnKeyDown(int& key, Qt::KeyboardModifiers modifiers);
    // Before a cell becomes current; a handler may refuse it.
    void OnSelectCell(int col, int row, bool& canSelect);
    void OnRowMoved(int fromIndex, int toIndex);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    friend class TSupGridsModel;
    friend class TSupGridsHeader;
    friend class TSupGridsDelegate;

    struct Props {
        std::optional<TAlign> align;
        std::optional<QColor> colour;
        std::optional<QFont> font;
    };
    template <typename T, typename Get>
    std::optional<T> lookup(int col, int row, Get get) const;
    Props& propsOf(std::map<int, Props>& map, int key) { return map[key]; }

    void arrowLeft();
    void arrowRight();
    int firstColumnBeyondRightEdge() const;
    QPoint toClient(QWidget* from, const QPoint& pos) const;
    void resetModel();
    void syncGeometry();
    void scheduleRepaint();
    void storeFromEditor(int col, int row, const QString& text);
    int firstDataRowVisible() const;

    TSupGridsModel* m_model;
    TSupGridsHeader* m_hHeader;
    TSupGridsHeader* m_vHeader;
    QPointer<QWidget> m_corner;

    // Row r of the grid: kNoRow (empty), kLocal | index into m_local (text cells), or a row of
    // m_body. number > 0: column 0 reads as that number plus the cell's mark.
    static constexpr std::uint32_t kNoRow = 0xFFFFFFFFu;
    static constexpr std::uint32_t kLocal = 0x80000000u;
    struct RowRef {
        std::uint32_t ref = kNoRow;
        std::int32_t number = 0;
    };
    std::vector<RowRef> m_rows;
    std::vector<std::vector<QString>> m_local;
    std::vector<std::uint32_t> m_freeLocal;
    std::shared_ptr<const CellStore> m_body;
    std::vector<int> m_bodyCols;  // grid column -> body column, -1 none
    QString rawCell(int col, const RowRef& rr) const;
    std::vector<QString>& localRow(int row);
    void releaseRow(RowRef& rr);
    int m_rowCount = 5;
    int m_colCount = 5;
    int m_fixedRows = 1;
    int m_fixedCols = 1;
    std::vector<int> m_colWidths;
    std::map<int, int> m_rowHeights;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 20;
    GridOptions m_options;

    TAlign m_alignment = alLeft;
    int m_sortCol = -1;
    bool m_sortAscending = true;
    QColor m_color = QColor(255, 255, 255);
    QColor m_fixedColor = QColor(212, 208, 200);
    std::map<std::pair<int, int>, Props> m_cellProps;  // (row, col)
    std::map<int, Props> m_colProps, m_fixedColProps, m_rowProps, m_fixedRowProps;

    QPointer<QWidget> m_editor;
    int m_editCol = -1;
    int m_editRow = -1;
    QString m_editOriginal;
    bool m_repaintPending = false;
    bool m_inCurrentChanged = false;
    bool m_undoingHeaderMove = false;
};

}  // namespace corvanta
