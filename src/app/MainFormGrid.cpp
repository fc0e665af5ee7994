// Grid cell drawing, row heights, column layout and the selection frame.

#include "app/MainForm.h"
#include "grid/DiffCellDrawing.h"
#include "grid/RowHeights.h"

#include <QComboBox>
#include <QPushButton>

#include <cstdlib>

namespace {

// The path boxes' distances from the columns they stand over.
constexpr int BoxIndent = 10;
constexpr int LeftBoxSlack = 20;
constexpr int RightBoxSlack = 50;
constexpr int BrowseGap = 2;
constexpr int ScrollBarAllowance = 20;   // column 2 leaves room for the vertical scroll bar
constexpr int BorderGrip = 4;            // how near a header border a press starts a column drag

}   // namespace

TDiffCellSource TfrmMain::CellSource() const
{
    TDiffCellSource Source;
    Source.Items = &FDiffItems;
    Source.LeftLines = &FLeftLines;
    Source.RightLines = &FRightLines;
    Source.FolderMode = FFolderMode;
    Source.LeftNewer = &FFolderRows.LeftNewer;
    Source.RightNewer = &FFolderRows.RightNewer;
    Source.FolderRows = &FFolderRows;
    Source.IgnoreCase = fIgnoreCase;
    const QPalette& Palette = grdDiff->palette();
    Source.Colors.Added = ColorFromValue(fColorAddedLines, Palette);
    Source.Colors.Removed = ColorFromValue(fColorRemovedLines, Palette);
    Source.Colors.Changed = ColorFromValue(fColorChangedLines, Palette);
    Source.Colors.DifferentText = ColorFromValue(fColorDifferentTextInLine, Palette);
    Source.Font = grdDiff->font();
    return Source;
}

void TfrmMain::grdDiffDrawCell(QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState)
{
    DrawDiffCell(Painter, *grdDiff, ACol, ARow, Rect, CellSource());
}

void TfrmMain::UpdateRowHeight(int Row)
{
    if (Row < 1 || Row >= grdDiff->RowCount())
        return;
    const QFontMetrics Metrics(grdDiff->font());
    grdDiff->SetRowHeights(Row, MeasureRowHeight(*grdDiff, Metrics, Row, FBaseRowHeight, CellSource()));
}

void TfrmMain::UpdateAllRowHeights()
{
    if (grdDiff->RowCount() == 0)
        return;
    UpdateAllRowHeightsOf(*grdDiff, grdDiff->font(), FBaseRowHeight, CellSource());
}

void TfrmMain::FormResize()
{
    const int Width = RoundHalfToEven((grdDiff->GridWidth() - grdDiff->ColWidths(0)) / 2.0);
    grdDiff->SetColWidths(1, qMax(0, Width));
}

void TfrmMain::Timer1Timer()
{
    if (grdDiff->ColWidths(1) == iColWidth1 && grdDiff->ColWidths(2) == iColWidth2)
        return;
    iColWidth1 = grdDiff->ColWidths(1);
    iColWidth2 = grdDiff->ColWidths(2);

    const int Col0 = grdDiff->ColWidths(0);
    const int Col1 = grdDiff->ColWidths(1);
    int Col2 = grdDiff->GridWidth() - Col1 - Col0;
    if (!GettingStartedShown())
        Col2 -= ScrollBarAllowance;
    const int OldCol2 = grdDiff->ColWidths(2);
    grdDiff->SetColWidths(2, qMax(0, Col2));
    Col2 = grdDiff->ColWidths(2);
    // The rows were measured with the old width of column 2: a narrower column would cut off
    // the last lines of its wrapped texts.
    if (Col2 != OldCol2)
        UpdateAllRowHeights();

    cmbLeft->move(Col0 + BoxIndent, cmbLeft->y());
    cmbLeft->resize(qMax(0, Col1 - btnBrowseLeft->width() - LeftBoxSlack), cmbLeft->height());
    btnBrowseLeft->move(cmbLeft->x() + cmbLeft->width() + BrowseGap, btnBrowseLeft->y());
    cmbRight->move(Col0 + Col1 + BoxIndent, cmbRight->y());
    cmbRight->resize(qMax(0, Col2 - btnBrowseRight->width() - RightBoxSlack), cmbRight->height());
    btnBrowseRight->move(cmbRight->x() + cmbRight->width() + BrowseGap, btnBrowseRight->y());
}

void TfrmMain::grdDiffMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int Y)
{
    FInColResize = false;
    if (Button != Qt::LeftButton)
        return;
    int Col = -1, Row = -1;
    grdDiff->MouseToCell(X, Y, Col, Row);
    FLastMouseCol = Col;
    FLastMouseRow = Row;
    if (Row == 0 && Col >= 0 && Col < grdDiff->ColCount() - 1) {
        const QRect Cell = grdDiff->CellRect(Col, 0);
        if (std::abs(X - (Cell.x() + Cell.width())) <= BorderGrip)
            FInColResize = true;
    }
}

void TfrmMain::grdDiffMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers, int, int)
{
    if (Button == Qt::LeftButton && FInColResize)
        UpdateAllRowHeights();
    FInColResize = false;
}

void TfrmMain::grdDiffSelectCell(int, int ARow, bool&)
{
    if (ARow == FLastFramedRow)
        return;
    InvalidateGridRow(FLastFramedRow);
    InvalidateGridRow(ARow);
    FLastFramedRow = ARow;
}

void TfrmMain::InvalidateGridRow(int Row)
{
    if (Row < 0 || Row >= grdDiff->RowCount())
        return;
    // The union of the row's cells: a hidden row-number column (width 0) has no rectangle.
    QRect Area;
    for (int Col = 0; Col < grdDiff->ColCount(); ++Col) {
        const QRect Cell = grdDiff->CellRect(Col, Row);
        if (!Cell.isEmpty())
            Area = Area.isNull() ? Cell : Area.united(Cell);
    }
    if (!Area.isEmpty())
        grdDiff->InvalidateRect(Area);
}

QRect TfrmMain::grdDiffTextRect(int ACol, int ARow, int CharStart, int CharLen) const
{
    return CellTextRect(*grdDiff, CellSource(), ACol, ARow, CharStart, CharLen);
}

void TfrmMain::ShowDifferenceOfRow(int Row)
{
    int Col = 1, Start = 0, Len = 0;
    if (!FirstHighlightOfRow(*grdDiff, CellSource(), Row, Col, Start, Len))
        Len = 0;
    grdDiff->EnsureTextVisible(Row, Col, Start, Len);
}

void TfrmMain::FocusComparisonRows()
{
    // Without rows there is nothing to step through: the path box keeps the keys, to correct a path.
    if (FDiffItems.isEmpty())
        return;
    grdDiff->setFocus(Qt::OtherFocusReason);
}
