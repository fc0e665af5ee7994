#pragma once

// Row heights of the comparison grid: every body row as tall as its longest word-wrapped text,
// the header one and a half base rows.

#include <QFont>
#include <QFontMetrics>

#include "grid/GdiText.h"

#include <functional>

class TDiffGrid;
struct TDiffCellSource;

// Rounds to the nearest integer, halves to the even neighbour (31.5 -> 32, 34.5 -> 34).
[[nodiscard]] int RoundHalfToEven(double Value);

// BaseRowHeight x 1.5, halves to even: 21 -> 32, 23 -> 34.
[[nodiscard]] int HeaderRowHeight(int BaseRowHeight);

// The height of "Wg" in Font (a line of text, TTextMeasure::LineHeight), + 4.
[[nodiscard]] int BaseRowHeightFor(const QFont& Font);

// One body row: the largest of BaseRowHeight, one line of the grid's font + 4 (a font larger
// than the design one still shows a blank row's number whole) and, for every non-empty text
// cell (columns 1 .. ColCount-1), the height of its lines at (column width - 4), + 4, its lines broken as Source
// says the cell is painted (CellLineBreaking): DrawText(DT_CALCRECT | DT_WORDBREAK |
// DT_NOPREFIX) for most cells, FitCharsInWidth for a changed line.
[[nodiscard]] int MeasureRowHeight(const TDiffGrid& Grid, const QFontMetrics& Metrics, int ARow, int BaseRowHeight,
                                   const TDiffCellSource& Source);

// The header row and every body row, set with one prefix-sum rebuild. Texts that provably fit
// on one line cost one pass over their characters, no text layout.
void UpdateAllRowHeightsOf(TDiffGrid& Grid, const QFont& Font, int BaseRowHeight, const TDiffCellSource& Source);
// The same for a grid whose cells break their lines as Breaking says of each cell (column, row).
void UpdateAllRowHeightsOf(TDiffGrid& Grid, const QFont& Font, int BaseRowHeight,
                           const std::function<TLineBreaking(int ACol, int ARow)>& Breaking);
