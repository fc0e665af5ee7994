#pragma once

// Win32 GDI text semantics on QFontMetrics and QPainter: DrawText with word breaking and
// measuring, GetTextExtentExPoint, GetTextExtentPoint32 and transparent TextOut.
//
// Text is drawn as GDI draws it, not as Qt lays it out: a tab reaches the next tab stop, one
// every 8 average character widths counted from the left of its visual line (the text itself
// keeps the tab), "&" is an ordinary character under DT_NOPREFIX, and every piece of text is
// placed on integer positions computed by the same measuring code that breaks the lines, so
// measuring and drawing can never disagree.

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>

class QPainter;
class QPaintDevice;

// DrawText flags, with their Win32 values.
inline constexpr unsigned DT_TOP = 0x0000;
inline constexpr unsigned DT_LEFT = 0x0000;
inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_RIGHT = 0x0002;
inline constexpr unsigned DT_VCENTER = 0x0004;
inline constexpr unsigned DT_BOTTOM = 0x0008;
inline constexpr unsigned DT_WORDBREAK = 0x0010;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_NOCLIP = 0x0100;
inline constexpr unsigned DT_CALCRECT = 0x0400;
inline constexpr unsigned DT_NOPREFIX = 0x0800;

struct TAdvanceTable;

// The band of one line of text: the baseline Ascent pixels below its top, Height pixels in all.
struct TLineBox {
    int Ascent = 0;
    int Height = 0;
};

// The font as GDI draws text: no kerning, and no ligatures or other shaping for scripts that do
// not need it (Latin, Greek, Cyrillic, symbols). Every function here measures and draws with it,
// which makes a string's width the sum of its characters' advances.
[[nodiscard]] QFont GdiFont(const QFont& Font);

// Measures text in one font. Built from a QFont it measures in GdiFont(Font) and adds up
// per-character advances wherever that is exactly what Qt's layout gives (see
// TextMeasureUsesTable); built from bare QFontMetrics it always asks Qt with those metrics, so
// it equals the first only when the metrics are of GdiFont(Font).
class TTextMeasure
{
public:
    explicit TTextMeasure(const QFont& Font, const QPaintDevice* Device = nullptr);
    explicit TTextMeasure(const QFontMetrics& Metrics);

    // tmHeight: the height of a line, and of "Wg". As GDI's tmAscent and tmDescent (which come
    // from the font's Windows metrics, made to hold every glyph) it holds the glyphs that reach
    // beyond the ascent and descent the font gives here: the underscore, descenders, and marks
    // stacked over small letters and capitals. Ascent is the baseline's distance from the top.
    [[nodiscard]] int LineHeight() const { return FLineHeight; }
    [[nodiscard]] int Ascent() const { return FAscent; }
    // The distance between tab stops: 8 average character widths.
    [[nodiscard]] int TabStop() const { return FTabStop; }
    // Where a tab that starts X pixels from the left of its line ends: the next stop after X.
    [[nodiscard]] int NextTabStop(int X) const { return X < 0 ? 0 : (X / FTabStop + 1) * FTabStop; }

    // GetTextExtentPoint32's width, for Text that starts StartX pixels from the left of its line
    // (which places its tabs).
    [[nodiscard]] int Width(QStringView Text, int StartX = 0) const;
    // GetTextExtentExPoint: how many UTF-16 units of Text, from its start at the left of its
    // line, fit in MaxWidth.
    // Never ends between the two halves of a surrogate pair.
    [[nodiscard]] int FitCount(QStringView Text, int MaxWidth) const;
    // True when Text is measured by adding table advances (no text layout at all).
    [[nodiscard]] bool UsesTable(QStringView Text) const;
    // One pass, no layout: true when Text has no line break, only table characters and fits
    // MaxWidth, so it is one line whatever the breaking rules. False says nothing.
    [[nodiscard]] bool FitsOnOneLine(QStringView Text, int MaxWidth) const;

    [[nodiscard]] const QFontMetrics& Metrics() const { return FMetrics; }

private:
    [[nodiscard]] int PieceWidth(QStringView Piece) const;   // no tabs inside
    [[nodiscard]] int TableFitCount(QStringView Text, int MaxWidth) const;   // -1: needs layout
    [[nodiscard]] int PlainFitCount(QStringView Text, int MaxWidth) const;

    QFontMetrics FMetrics;
    std::shared_ptr<const TAdvanceTable> FTable;
    // The widest advance of printable ASCII (0x20..0x7E), 1/64 px; -1 when the table lacks one.
    std::int32_t FAsciiMax64 = -1;
    int FLineHeight = 0;
    int FAscent = 0;
    int FTabStop = 8;
};

// Whether per-character advances are used for measuring (for tests and benchmarks). Without
// kerning and shaping Qt lays out simple scripts glyph by glyph, so the sum is exact; the table
// is still checked against Qt's layout once per font (a sample and the classic kerning and
// ligature pairs) and dropped if anything differs.
[[nodiscard]] bool TextMeasureUsesTable(const QFont& Font);

// The blanks at which word-break lines may end: space and tab only.
[[nodiscard]] bool IsBreakBlank(QChar C);

// One visual line of a DT_WORDBREAK layout: [Start, Start + Len) of the text.
struct TTextLine {
    int Start = 0;
    int Len = 0;
};

// The rules by which a text is broken into visual lines.
enum class TLineBreaking {
    // DrawText without DT_WORDBREAK: at CR LF, CR or LF only.
    LineBreaksOnly,
    // DrawText with DT_WORDBREAK: at CR LF, CR or LF; after blanks (space, tab) when a word
    // would cross the edge, the blanks before the break staying on the line and those after it
    // dropped; a word longer than a line split at the character that still fits.
    WordBreak,
    // FitCharsInWidth line after line: as WordBreak, but a blank at the break begins the next
    // line instead of being dropped, and line-break characters are characters.
    KeepBlanks,
};

// The visual lines of Text no wider than MaxWidth, at most MaxLines of them (-1: all). At least
// one character per line; a final line break adds no line; empty text has none. Measuring and
// painting both break text here, so a row is as tall as the lines its painting draws.
[[nodiscard]] QList<TTextLine> BreakTextLines(const TTextMeasure& Measure, QStringView Text, int MaxWidth,
                                             TLineBreaking Breaking = TLineBreaking::WordBreak, int MaxLines = -1);
// The number of lines BreakTextLines gives, without building them (the row-height measure).
[[nodiscard]] int CountTextLines(const TTextMeasure& Measure, QStringView Text, int MaxWidth,
                                 TLineBreaking Breaking = TLineBreaking::WordBreak);

// How many characters of Text from StartIndex go on one line of MaxWidth: up to the last blank
// before a word that would cross the edge, a too-long word split, at least one character (a
// surrogate pair counts as one); a blank at the break is left for the next line. False when
// StartIndex is not inside Text. The QFontMetrics form measures with the metrics as given,
// which matches the drawing for metrics of GdiFont(font).
bool FitCharsInWidth(const TTextMeasure& Measure, QStringView Text, int StartIndex, int MaxWidth, int& Count);
bool FitCharsInWidth(const QFontMetrics& Metrics, QStringView Text, int StartIndex, int MaxWidth, int& Count);

// DrawText. Draws with the painter's font and pen colour (transparent background); returns the
// height of the text. With DT_CALCRECT nothing is drawn and Rect gets the text's extent (width
// of the widest line, height of all lines). Without DT_NOPREFIX "&x" shows "x" and "&&" "&".
int GdiDrawText(QPainter& Painter, const QString& Text, QRect& Rect, unsigned Flags);
// DrawText with DT_CALCRECT on bare metrics: the height, and Rect's extent.
int GdiCalcText(const TTextMeasure& Measure, const QString& Text, QRect& Rect, unsigned Flags);

// GetTextExtentPoint32.
[[nodiscard]] QSize GdiTextExtent(const QFontMetrics& Metrics, const QString& Text);
// GetTextExtentExPoint over Text[StartIndex .. StartIndex + Count): false on bad arguments.
[[nodiscard]] bool GdiTextExtentExPoint(const QFontMetrics& Metrics, const QString& Text, int StartIndex,
                                        int Count, int MaxWidth, int& Fit);

// TextOut with a transparent background: Text's top-left at (X, Y), its tabs reaching the stops
// counted from LineLeft (X itself when not given: Text starts its line).
void GdiTextOut(QPainter& Painter, int X, int Y, QStringView Text);
void GdiTextOut(QPainter& Painter, const TTextMeasure& Measure, int X, int Y, QStringView Text);
void GdiTextOut(QPainter& Painter, const TTextMeasure& Measure, int X, int Y, QStringView Text, int LineLeft);

// One "character" for the at-least-one-per-line rule: 2 for a surrogate pair, else 1.
[[nodiscard]] int CharUnitsAt(QStringView Text, int Pos);
