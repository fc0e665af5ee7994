#pragma once

// The owner-draw of the comparison grid's cells: row colours by kind, word-wrapped text, the
// differing words of a changed line on the highlight colour, the folder "new" badge and the
// frame around the selected row. Plain functions over a QPainter; the grid only calls them.

#include "engine/DiffEngine.h"
#include "engine/IntraLine.h"
#include "folder/FolderCompare.h"
#include "grid/GdiText.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPalette>
#include <QRect>
#include <QString>
#include <QStringList>

class QPainter;
class TDiffGrid;

struct TDiffColors {
    QColor Added, Removed, Changed, DifferentText;
};

// What the cell drawing reads of the workspace; pointers stay owned by the window.
struct TDiffCellSource {
    const TDiffItems* Items = nullptr;
    const QStringList* LeftLines = nullptr;
    const QStringList* RightLines = nullptr;
    bool FolderMode = false;
    // Folder mode: the newer file of a differing pair, per item (a "new" badge on that side).
    const QList<bool>* LeftNewer = nullptr;
    const QList<bool>* RightNewer = nullptr;
    // Folder mode: the rows' other badges ("folder", "could not be read", ...) and their state.
    const TFolderComparison* FolderRows = nullptr;
    bool IgnoreCase = false;
    TDiffColors Colors;
    QFont Font;  // the grid font (face, size from the settings)
};

// How the text of body cell (ACol, ARow) is broken into lines, which is how DrawDiffCell paints
// it: a changed line of a text comparison segment by segment through FitCharsInWidth, every
// other cell through DrawText's word break. The row heights are measured by the same answer.
[[nodiscard]] inline TLineBreaking CellLineBreaking(const TDiffCellSource& Source, int ACol, int ARow)
{
    const bool ChangedLine = !Source.FolderMode && (ACol == 1 || ACol == 2) && Source.Items && ARow >= 1
                             && ARow - 1 < Source.Items->size() && (*Source.Items)[ARow - 1].Kind == dkDifferent;
    return ChangedLine ? TLineBreaking::KeepBlanks : TLineBreaking::WordBreak;
}

// The whole owner-draw of one cell, as grdDiffDrawCell does it. System colours come from the
// grid's palette; text on a configured colour that the palette's text colour would not show on
// (a dark theme) is drawn black or white instead. Intra-line ranges are computed on every paint
// (ComputeIntraLineRanges keeps its own cache of long line pairs, keyed by the strings).
void DrawDiffCell(QPainter& Painter, const TDiffGrid& Grid, int ACol, int ARow, const QRect& Rect,
                  const TDiffCellSource& Source);

// Where characters [Start, Start + Len) of body cell (ACol, ARow) stand as DrawDiffCell draws
// them, relative to the cell's top-left corner: the lines from the one that holds Start to the
// one that holds the last of them (on one line, just those characters). Invalid for a range
// outside the cell's text.
[[nodiscard]] QRect CellTextRect(const TDiffGrid& Grid, const TDiffCellSource& Source, int ACol, int ARow, int Start,
                                 int Len);

// The first highlighted range of a changed row of a text comparison: of the two cells' first
// ranges, the one drawn higher (the left one on a tie). False when the row shows none.
[[nodiscard]] bool FirstHighlightOfRow(const TDiffGrid& Grid, const TDiffCellSource& Source, int ARow, int& ACol,
                                       int& Start, int& Len);

// A header cell: the button colour, Text in bold on one line, vertically centred.
void DrawHeaderCell(QPainter& Painter, const TDiffGrid& Grid, const QRect& Rect, const QString& Text, const QFont& Font);

// Fills Rect and draws Text wrapped by FitCharsInWidth (TLineBreaking::KeepBlanks) inside a
// 2-px margin, the characters covered by Ranges (sorted, not overlapping) on
// HighlightBackColor. Ranges beyond the text are cut off. The painter's font is used in its GDI
// form (GdiFont).
void DrawHighlightedText(QPainter& Painter, const QRect& Rect, const QString& Text, const QList<THighlightRange>& Ranges,
                         const QColor& NormalTextColor, const QColor& NormalBackColor, const QColor& HighlightTextColor,
                         const QColor& HighlightBackColor);

// This cell's share of the 2-px frame around the grid's current row, in the palette's text
// colour; given the row's background, in a colour that shows on it (see ReadableTextOn).
void DrawSelectedRowFrame(QPainter& Painter, const TDiffGrid& Grid, int ACol, int ARow, const QColor& RowBack = QColor());

// 0x00BBGGRR setting values (0xFF0000nn = system colour nn) to a QColor; system colours from the palette.
[[nodiscard]] QColor ColorFromValue(quint32 Value, const QPalette& Palette);

// The text colour to use on Back: Preferred, unless it is too faint there (a light text on a
// light row colour under a dark theme), then black or white, whichever reads better.
[[nodiscard]] QColor ReadableTextOn(const QColor& Back, const QColor& Preferred);
