#pragma once

// The owner-draw of the comparison grid's cells: row colours by kind, word-wrapped text, the
// differing words of a changed line on the highlight colour, the folder "new" badge and the
// frame around the selected row. Plain functions over a QPainter; the grid only calls them.

#include "engine/DiffEngine.h"
#include "engine/IntraLine.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPalette>
#include <QRect>
#include <QString>
#include <QStringList>

class QFontMetrics;
class QPainter;
class TDiffGrid;
class TTextMeasure;

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
    bool IgnoreCase = false;
    TDiffColors Colors;
    QFont Font;  // the grid font (face, size from the settings)
};

// The whole owner-draw of one cell, as grdDiffDrawCell does it. System colours come from the
// grid's palette; text on a configured colour that the palette's text colour would not show on
// (a dark theme) is drawn black or white instead. Intra-line ranges are computed on every paint
// (ComputeIntraLineRanges keeps its own cache of long line pairs, keyed by the strings).
void DrawDiffCell(QPainter& Painter, const TDiffGrid& Grid, int ACol, int ARow, const QRect& Rect,
                  const TDiffCellSource& Source);

// Fills Rect and draws Text wrapped by FitCharsInWidth inside a 2-px margin, the characters
// covered by Ranges (sorted, not overlapping) on HighlightBackColor. Ranges beyond the text are
// cut off. The painter's font is used in its GDI form (GdiFont).
void DrawHighlightedText(QPainter& Painter, const QRect& Rect, const QString& Text, const QList<THighlightRange>& Ranges,
                         const QColor& NormalTextColor, const QColor& NormalBackColor, const QColor& HighlightTextColor,
                         const QColor& HighlightBackColor);

// How many characters of Text from StartIndex go on one line of MaxWidth: up to the last blank
// before a word that would cross the edge, a too-long word split, at least one character (a
// surrogate pair counts as one). False when StartIndex is not inside Text. The drawing uses
// the TTextMeasure form in the painter's font; the QFontMetrics form measures with the metrics
// as given, which matches the drawing for metrics of GdiFont(font).
bool FitCharsInWidth(const QFontMetrics& Metrics, const QString& Text, int StartIndex, int MaxWidth, int& Count);
bool FitCharsInWidth(const TTextMeasure& Measure, const QString& Text, int StartIndex, int MaxWidth, int& Count);

// This cell's share of the 2-px frame around the grid's current row, in the palette's text
// colour; given the row's background, in a colour that shows on it (see ReadableTextOn).
void DrawSelectedRowFrame(QPainter& Painter, const TDiffGrid& Grid, int ACol, int ARow, const QColor& RowBack = QColor());

// 0x00BBGGRR setting values (0xFF0000nn = system colour nn) to a QColor; system colours from the palette.
[[nodiscard]] QColor ColorFromValue(quint32 Value, const QPalette& Palette);

// The text colour to use on Back: Preferred, unless it is too faint there (a light text on a
// light row colour under a dark theme), then black or white, whichever reads better.
[[nodiscard]] QColor ReadableTextOn(const QColor& Back, const QColor& Preferred);
