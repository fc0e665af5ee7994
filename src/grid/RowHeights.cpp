#include "grid/RowHeights.h"

#include "grid/DiffCellDrawing.h"
#include "grid/GdiText.h"
#include "grid/TDiffGrid.h"

#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

[[nodiscard]] int MeasureRow(const TTextMeasure& Measure, const TDiffGrid& Grid, int ARow, int BaseRowHeight,
                             const TDiffCellSource& Source)
{
    // Every row holds a line of the grid's font, the row number's and a blank line's too.
    int Height = std::max(BaseRowHeight, Measure.LineHeight() + 4);
    for (int C = 1; C < Grid.ColCount(); ++C) {
        const QString& Text = Grid.CellText(C, ARow);
        if (Text.isEmpty())
            continue;
        const int Lines = CountTextLines(Measure, Text, Grid.ColWidths(C) - 4, CellLineBreaking(Source, C, ARow));
        Height = std::max(Height, Lines * Measure.LineHeight() + 4);
    }
    return Height;
}

}  // namespace

int RoundHalfToEven(double Value)
{
    return int(std::nearbyint(Value));   // the default rounding mode is to nearest, ties to even
}

int HeaderRowHeight(int BaseRowHeight)
{
    return RoundHalfToEven(BaseRowHeight * 1.5);
}

int BaseRowHeightFor(const QFont& Font)
{
    return TTextMeasure(Font).LineHeight() + 4;
}

int MeasureRowHeight(const TDiffGrid& Grid, const QFontMetrics& Metrics, int ARow, int BaseRowHeight,
                     const TDiffCellSource& Source)
{
    if (ARow < 1 || ARow >= Grid.RowCount())
        return BaseRowHeight;
    // Metrics of the grid's own font: measure as UpdateAllRowHeightsOf and the drawing do, in
    // the font's GDI form; metrics of another font are taken as they are.
    if (Metrics == QFontMetrics(Grid.font()))
        return MeasureRow(TTextMeasure(Grid.font(), &Grid), Grid, ARow, BaseRowHeight, Source);
    return MeasureRow(TTextMeasure(Metrics), Grid, ARow, BaseRowHeight, Source);
}

void UpdateAllRowHeightsOf(TDiffGrid& Grid, const QFont& Font, int BaseRowHeight, const TDiffCellSource& Source)
{
    UpdateAllRowHeightsOf(Grid, Font, BaseRowHeight, [&Source](int C, int R) { return CellLineBreaking(Source, C, R); });
}

void UpdateAllRowHeightsOf(TDiffGrid& Grid, const QFont& Font, int BaseRowHeight,
                           const std::function<TLineBreaking(int ACol, int ARow)>& Breaking)
{
    const int Count = Grid.RowCount();
    if (Count <= 0)
        return;
    const TTextMeasure Measure(Font, &Grid);
    QVector<int> Heights(Count);
    int* const Out = Heights.data();
    Out[0] = HeaderRowHeight(BaseRowHeight);
    std::fill(Out + 1, Out + Count, std::max(BaseRowHeight, Measure.LineHeight() + 4));
    // Column by column, with the column's width fetched once, not per cell.
    const int LineHeight = Measure.LineHeight();
    auto MeasureCell = [&](int C, int R, const QString& Text, int Width) {
        if (Text.isEmpty())
            return;
        const int Lines = CountTextLines(Measure, Text, Width, Breaking(C, R));
        Out[R] = std::max(Out[R], Lines * LineHeight + 4);
    };
    for (int C = 1; C < Grid.ColCount(); ++C) {
        const int Width = Grid.ColWidths(C) - 4;
        const QStringList* Lines = nullptr;
        const std::int32_t* Index = nullptr;
        if (Grid.ColumnLines(C, Lines, Index)) {
            // Straight through the shared lines, no call per cell.
            const QString* const Texts = Lines->constData();
            const qsizetype LineCount = Lines->size();
            for (int R = 1; R < Count; ++R)
                if (Index[R] >= 0 && Index[R] < LineCount)
                    MeasureCell(C, R, Texts[Index[R]], Width);
        } else {
            for (int R = 1; R < Count; ++R)
                MeasureCell(C, R, Grid.CellText(C, R), Width);
        }
    }
    Grid.SetAllRowHeights(Heights);
}
