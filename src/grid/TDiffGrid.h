#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <functional>

class QPainter;

// State flags passed to the owner-draw callback, as a string grid reports them.
enum TGridDrawStateFlag : unsigned {
    gdSelected = 1u << 0,  // the cell is in the selected (current) row
    gdFocused  = 1u << 1,  // the cell is the current cell and the grid has focus
    gdFixed    = 1u << 2,  // the cell is in the fixed row or the fixed column
};
using TGridDrawState = unsigned;

// Grid options that the window switches at run time.
enum TGridOption : unsigned {
    goHorzLine = 1u << 0,  // lines between body rows
};

// The comparison grid: a string grid with one fixed row and one fixed column, per-row heights,
// whole-row selection and owner-drawn cells. Row positions are kept as a prefix sum, so painting,
// hit tests and scrolling only touch the visible rows, whatever the row count.
class TDiffGrid : public QAbstractScrollArea
{
    Q_OBJECT
public:
    using TDrawCellEvent  = std::function<void(QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState State)>;
    using TSelectCellEvent = std::function<void(int ACol, int ARow, bool& CanSelect)>;
    using TMouseEvent     = std::function<void(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)>;
    using TNotifyEvent    = std::function<void()>;
    using TKeyEvent       = std::function<void(QKeyEvent* Event)>;  // accept() it to stop the grid's own handling
    // Where characters [CharStart, CharStart + CharLen) of a cell's text are drawn, relative to
    // the cell's top-left corner; an invalid rect when the cell cannot say.
    using TTextRectEvent  = std::function<QRect(int ACol, int ARow, int CharStart, int CharLen)>;

    explicit TDiffGrid(QWidget* Parent = nullptr);
    ~TDiffGrid() override;

    // Contents. Cells are stored per column; a million rows cost three QString arrays.
    [[nodiscard]] QString Cells(int ACol, int ARow) const;
    // The texts of one column, rows 0 .. RowCount()-1 (for measuring every row without copies).
    [[nodiscard]] const QVector<QString>& ColumnTexts(int ACol) const;
    void SetCells(int ACol, int ARow, const QString& Text);
    void SetColumnTexts(int ACol, QVector<QString> Texts);   // whole column at once (rows 0..n-1)
    // One column's texts, rows 0 .. RowCount()-1, for writing in place without building a new
    // column; the caller repaints when done. Null for a column that does not exist.
    [[nodiscard]] QString* EditColumnTexts(int ACol);
    // A column that shows Lines[Index[row]] (empty where the index is outside Lines), sharing
    // the list instead of copying every line into the grid. Index is per row, 0 .. RowCount()-1;
    // rows added later show empty cells. SetCells still sets single cells of it.
    void SetColumnLines(int ACol, const QStringList& Lines, QVector<std::int32_t> Index);
    // Cells() without a copy, for loops over many rows; both indexes must be valid.
    [[nodiscard]] const QString& CellText(int ACol, int ARow) const;
    // For a column of SetColumnLines with no single cell set since: its lines and its index per
    // row (RowCount() entries). False for any other column.
    [[nodiscard]] bool ColumnLines(int ACol, const QStringList*& Lines, const std::int32_t*& Index) const;

    [[nodiscard]] int RowCount() const;
    void SetRowCount(int Count);            // new rows get DefaultRowHeight and empty cells
    [[nodiscard]] int ColCount() const;
    void SetColCount(int Count);
    [[nodiscard]] int FixedRows() const { return 1; }
    [[nodiscard]] int FixedCols() const { return 1; }

    // Selection: whole rows; Row() is the current row (>= 1 once the grid has body rows).
    [[nodiscard]] int Row() const;
    [[nodiscard]] int Col() const;
    void SetRow(int ARow);                  // goes through OnSelectCell like a click would
    void SetCol(int ACol);

    // Scrolling by rows; inside a row taller than the view, by pixels (one scroll unit is a
    // text line of the grid's font there), so every part of such a row can be shown.
    [[nodiscard]] int TopRow() const;       // first body row shown (wholly or in part) under the fixed row
    void SetTopRow(int ARow);               // that row's top at the top of the body
    [[nodiscard]] int VisibleRowCount() const;  // body rows that fit wholly in the client area
    // Pixels of the top row scrolled above the body; 0 unless that row is taller than the view.
    [[nodiscard]] int TopRowOffset() const;
    // Brings ARow into view; when it is taller than the view, the part that holds characters
    // [CharStart, CharStart + CharLen) of cell (ACol, ARow), as OnTextRect places them (its top
    // without such a range).
    void EnsureTextVisible(int ARow, int ACol, int CharStart, int CharLen);

    // Geometry.
    [[nodiscard]] int ColWidths(int ACol) const;
    void SetColWidths(int ACol, int Width);
    [[nodiscard]] int RowHeights(int ARow) const;
    void SetRowHeights(int ARow, int Height);
    void SetAllRowHeights(const QVector<int>& Heights);   // one pass, one prefix-sum rebuild
    [[nodiscard]] int DefaultRowHeight() const;
    void SetDefaultRowHeight(int Height);
    [[nodiscard]] int GridLineWidth() const { return 1; }
    // Viewport coordinates; a null rect for a row scrolled out of view. As a QRect, right() is the
    // last pixel column: the border to the next column lies at x() + width().
    [[nodiscard]] QRect CellRect(int ACol, int ARow) const;
    void MouseToCell(int X, int Y, int& ACol, int& ARow) const;  // -1, -1 outside the cells
    [[nodiscard]] int GridWidth() const;    // outer width of the control

    [[nodiscard]] unsigned Options() const;
    void SetOptions(unsigned Options);

    // Repaint without erasing (the owner draw paints every pixel of its cells).
    void InvalidateRect(const QRect& Rect);

    // Notifications, named as the window's handlers use them.
    TDrawCellEvent OnDrawCell;
    TSelectCellEvent OnSelectCell;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnDblClick;
    TKeyEvent OnKeyDown;
    TNotifyEvent OnTopLeftChanged;         // the top row or the pixels scrolled into it changed
    TTextRectEvent OnTextRect;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    void HandlePress(QMouseEvent* Event);
    void MoveSelection(int ARow);
    void EnsureRowVisible(int ARow);
    void SetScrollPosition(int ARow, int InnerUnits);
    [[nodiscard]] bool ScrollThroughCurrentRow(int Direction, bool ByPage);
    void UpdateScrollBar();
    [[nodiscard]] int PageUnits() const;
    void ScheduleRelayout();
    void InvalidateRow(int ARow);
    void PaintCells(QPainter& Painter, const QRect& Area);
    void PaintGridLines(QPainter& Painter);
    void PaintFocusRect(QPainter& Painter);
    void DrawCellPlainly(QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState State);

    struct TImpl;
    TImpl* d;   // owned; kept out of the header so the window's code rebuilds rarely
};
