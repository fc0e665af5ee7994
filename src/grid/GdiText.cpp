#include "grid/GdiText.h"

#include <QFontMetricsF>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPaintDevice>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Per-character advances of one font, in 1/64 px (the unit Qt's text engine adds up).
struct TAdvanceTable {
    std::vector<std::int32_t> Adv64;  // indexed by UTF-16 unit; -1: shape the string instead
};

namespace {

constexpr char16_t kTableLimit = 0x2C00;

// Qt rounds a 26.6 fixed-point width to whole pixels this way (QFixed::toInt).
[[nodiscard]] int Round64(std::int64_t V)
{
    return int((V + 32) >> 6);
}

[[nodiscard]] bool IsDefaultIgnorable(char16_t C)
{
    return C == 0x00AD || C == 0x034F || C == 0x061C || C == 0x115F || C == 0x1160 || C == 0x17B4
           || C == 0x17B5 || (C >= 0x180B && C <= 0x180F) || (C >= 0x200B && C <= 0x200F)
           || (C >= 0x2028 && C <= 0x202E) || (C >= 0x2060 && C <= 0x206F);
}

// Scripts whose shaping is one glyph per character: Latin, Greek, Cyrillic, punctuation and
// symbols. Everything else (combining marks, RTL, complex scripts) is always shaped by Qt.
[[nodiscard]] bool IsSimpleScriptChar(char16_t C)
{
    if (C < 0x20 || (C >= 0x7F && C < 0xA0) || IsDefaultIgnorable(C))
        return false;
    const bool InRange = C < 0x0300 || (C >= 0x0370 && C < 0x0530) || (C >= 0x1D00 && C < 0x1DC0)
                         || (C >= 0x1E00 && C < 0x2C00);
    if (!InRange)
        return false;
    const QChar::Category Cat = QChar::category(char32_t(C));
    return Cat != QChar::Mark_NonSpacing && Cat != QChar::Mark_SpacingCombining
           && Cat != QChar::Mark_Enclosing && Cat != QChar::Other_Format
           && Cat != QChar::Other_NotAssigned && Cat != QChar::Separator_Line
           && Cat != QChar::Separator_Paragraph;
}

[[nodiscard]] std::int32_t CharAdvance64(const QFontMetricsF& Metrics, char16_t C)
{
    return std::int32_t(qRound(Metrics.horizontalAdvance(QChar(C)) * 64.0));
}

[[nodiscard]] std::int64_t Width64(const QFontMetricsF& Metrics, const QString& Text)
{
    return std::int64_t(qRound(Metrics.horizontalAdvance(Text) * 64.0));
}

// The table must reproduce Qt's layout: a sample of every printable ASCII character and the
// pairs that kern or ligate in most proportional fonts.
[[nodiscard]] bool TableMatchesLayout(const QFontMetricsF& Metrics, const std::vector<std::int32_t>& Adv)
{
    QString Sample;
    for (char16_t C = 0x20; C < 0x7F; ++C)
        if (Adv[C] >= 0)
            Sample += QChar(C);
    QStringList Probes = {Sample};
    for (const char* Pair : {"AV", "AW", "AY", "To", "Te", "Tr", "Wa", "Yo", "LT", "LY", "P.", "fi", "fl", "ff", "ffi", "rn", "--", "->", "==", "www"})
        Probes << QString::fromLatin1(Pair);
    for (const QString& Probe : Probes) {
        std::int64_t Sum = 0;
        for (QChar C : Probe) {
            if (Adv[C.unicode()] < 0)
                return false;
            Sum += Adv[C.unicode()];
        }
        if (Sum != Width64(Metrics, Probe))
            return false;
    }
    return true;
}

[[nodiscard]] std::shared_ptr<const TAdvanceTable> BuildTable(const QFont& Font, const QPaintDevice* Device)
{
    const QRawFont Raw = QRawFont::fromFont(Font);
    if (!Raw.isValid())
        return nullptr;
    const QFontMetricsF Metrics = Device ? QFontMetricsF(Font, Device) : QFontMetricsF(Font);
    auto Table = std::make_shared<TAdvanceTable>();
    Table->Adv64.assign(kTableLimit, -1);
    for (char16_t C = 0x20; C < kTableLimit; ++C)
        if (IsSimpleScriptChar(C) && Raw.supportsCharacter(QChar(C)))
            Table->Adv64[C] = CharAdvance64(Metrics, C);
    if (!TableMatchesLayout(Metrics, Table->Adv64))
        return nullptr;
    return Table;
}

[[nodiscard]] std::shared_ptr<const TAdvanceTable> TableFor(const QFont& Font, const QPaintDevice* Device)
{
    static QMutex Lock;
    static QHash<QString, std::shared_ptr<const TAdvanceTable>> Tables;
    const int Dpi = Device ? Device->logicalDpiY() : 0;
    const QString Key = Font.key() + QLatin1Char('@') + QString::number(Dpi);  // Font is in GDI form
    QMutexLocker Locker(&Lock);
    const auto Found = Tables.constFind(Key);
    if (Found != Tables.cend())
        return *Found;
    auto Table = BuildTable(Font, Device);
    Tables.insert(Key, Table);
    return Table;
}

// Glyphs that reach furthest above the ascent and below the descent fonts declare: the
// underscore and descenders, and marks stacked over small letters and capitals (Latin with
// Vietnamese, Greek, Cyrillic). Fallback fonts that draw them count too.
constexpr char16_t kTallGlyphs[] = u"_gjpqy|\u00C5\u00C9\u00C7\u1EA4\u1EA6\u1EA8\u1EAA\u1EAC\u1ED6\u1EEE\u1EF8\u01FA\u1EAB\u1EAD\u1E17\u0419\u0401";

// The band one line of text takes: the font's ascent and descent, widened to hold those glyphs.
[[nodiscard]] TLineBox LineBoxOf(const QFontMetrics& Metrics)
{
    static const QString Tall = QString::fromUtf16(kTallGlyphs);
    const QRect Ink = Metrics.tightBoundingRect(Tall);
    TLineBox Box;
    Box.Ascent = std::max(Metrics.ascent(), Ink.isValid() ? -Ink.top() : 0);
    const int Descent = std::max(Metrics.descent(), Ink.isValid() ? Ink.bottom() + 1 : 0);
    Box.Height = Box.Ascent + Descent;
    return Box;
}

[[nodiscard]] TLineBox LineBoxFor(const QFont& Font, const QPaintDevice* Device)
{
    static QMutex Lock;
    static QHash<QString, TLineBox> Boxes;
    const int Dpi = Device ? Device->logicalDpiY() : 0;
    const QString Key = Font.key() + QLatin1Char('@') + QString::number(Dpi);  // Font is in GDI form
    QMutexLocker Locker(&Lock);
    const auto Found = Boxes.constFind(Key);
    if (Found != Boxes.cend())
        return *Found;
    const TLineBox Box = LineBoxOf(Device ? QFontMetrics(Font, Device) : QFontMetrics(Font));
    Boxes.insert(Key, Box);
    return Box;
}

[[nodiscard]] std::int32_t AsciiMaxAdvance64(const TAdvanceTable* Table)
{
    if (!Table)
        return -1;
    std::int32_t Max = 0;
    for (char16_t C = 0x20; C < 0x7F; ++C) {
        if (Table->Adv64[C] < 0)
            return -1;
        Max = std::max(Max, Table->Adv64[C]);
    }
    return Max;
}

// True when every unit is printable ASCII (no tab, no line break).
[[nodiscard]] bool AllPrintableAscii(QStringView Text)
{
    const char16_t* P = Text.utf16();
    const char16_t* const End = P + Text.size();
#if defined(__SSE2__)
    // Eight units at a time: saturating differences are non-zero only outside 0x20..0x7E.
    const __m128i Low = _mm_set1_epi16(0x20), High = _mm_set1_epi16(0x7E);
    __m128i Bad = _mm_setzero_si128();
    for (; End - P >= 8; P += 8) {
        const __m128i Units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        Bad = _mm_or_si128(Bad, _mm_or_si128(_mm_subs_epu16(Low, Units), _mm_subs_epu16(Units, High)));
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(Bad, _mm_setzero_si128())) != 0xFFFF)
        return false;
#endif
    for (; P < End; ++P)
        if (*P < 0x20 || *P > 0x7E)
            return false;
    return true;
}

[[nodiscard]] QString RawString(QStringView Text)
{
    return QString::fromRawData(reinterpret_cast<const QChar*>(Text.data()), Text.size());
}

[[nodiscard]] bool IsLineBreak(QChar C)
{
    return C == u'\r' || C == u'\n';
}

// DrawText's tab stops: every 8 average character widths.
[[nodiscard]] int TabStopOf(const QFontMetrics& Metrics)
{
    const int Average = Metrics.averageCharWidth();
    return 8 * std::max(1, Average > 0 ? Average : Metrics.horizontalAdvance(QChar(u' ')));
}

// Walks the visual lines of Text, calling Emit(Start, Len) for each until it returns false.
template <class TEmit>
void WalkLines(const TTextMeasure& Measure, QStringView Text, int MaxWidth, TLineBreaking Breaking, TEmit&& Emit)
{
    const int N = int(Text.size());
    if (Breaking == TLineBreaking::KeepBlanks) {
        int Pos = 0, Count = 0;
        while (Pos < N && FitCharsInWidth(Measure, Text, Pos, MaxWidth, Count) && Count > 0) {
            if (!Emit(Pos, Count))
                return;
            Pos += Count;
        }
        return;
    }
    const bool WordBreak = Breaking == TLineBreaking::WordBreak;
    int P = 0;
    while (P < N) {
        int E = P;
        while (E < N && !IsLineBreak(Text[E]))
            ++E;
        if (P == E || !WordBreak) {
            if (!Emit(P, E - P))
                return;
        } else {
            int Q = P;
            while (Q < E) {
                const int Remaining = E - Q;
                int Fit = Measure.FitCount(Text.sliced(Q, Remaining), MaxWidth);
                if (Fit >= Remaining) {
                    if (!Emit(Q, Remaining))
                        return;
                    break;
                }
                if (Fit <= 0)
                    Fit = CharUnitsAt(Text, Q);
                const int B = Q + Fit;  // first unit that is not on this line
                int LineEnd = B;
                int Next = B;
                if (B < E && IsBreakBlank(Text[B])) {
                    while (Next < E && IsBreakBlank(Text[Next]))
                        ++Next;
                } else if (!IsBreakBlank(Text[B - 1])) {
                    int WordStart = B - 1;
                    while (WordStart > Q && !IsBreakBlank(Text[WordStart - 1]))
                        --WordStart;
                    if (WordStart > Q)
                        LineEnd = Next = WordStart;
                }
                if (!Emit(Q, LineEnd - Q))
                    return;
                Q = Next;
            }
        }
        if (E < N)
            E += (Text[E] == u'\r' && E + 1 < N && Text[E + 1] == u'\n') ? 2 : 1;
        P = E;
    }
}

// Without DT_NOPREFIX "&x" shows as "x" and "&&" as "&".
[[nodiscard]] QString StripPrefixes(const QString& Text)
{
    if (!Text.contains(u'&'))
        return Text;
    QString Out;
    Out.reserve(Text.size());
    for (qsizetype I = 0; I < Text.size(); ++I) {
        if (Text[I] == u'&') {
            if (I + 1 < Text.size())
                Out += Text[++I];
            continue;
        }
        Out += Text[I];
    }
    return Out;
}

struct TLayout {
    QList<TTextLine> Lines;
    int Width = 0;
    int Height = 0;
};

[[nodiscard]] TLayout LayoutText(const TTextMeasure& Measure, const QString& Text, int Width, unsigned Flags)
{
    TLayout Layout;
    if (Flags & DT_SINGLELINE) {
        Layout.Lines.append({0, int(Text.size())});
    } else {
        if (Text.isEmpty())
            return Layout;
        Layout.Lines = BreakTextLines(Measure, Text, Width,
                                      (Flags & DT_WORDBREAK) ? TLineBreaking::WordBreak : TLineBreaking::LineBreaksOnly);
    }
    for (const TTextLine& Line : Layout.Lines)
        Layout.Width = std::max(Layout.Width, Measure.Width(QStringView(Text).sliced(Line.Start, Line.Len)));
    Layout.Height = int(Layout.Lines.size()) * Measure.LineHeight();
    return Layout;
}

[[nodiscard]] int AlignedX(const QRect& Rect, int LineWidth, unsigned Flags)
{
    if (Flags & DT_CENTER)
        return Rect.left() + (Rect.width() - LineWidth) / 2;
    if (Flags & DT_RIGHT)
        return Rect.left() + Rect.width() - LineWidth;
    return Rect.left();
}

}  // namespace

bool IsBreakBlank(QChar C)
{
    return C == u' ' || C == u'\t';
}

TTextMeasure::TTextMeasure(const QFont& Font, const QPaintDevice* Device)
    : FMetrics(Device ? QFontMetrics(GdiFont(Font), Device) : QFontMetrics(GdiFont(Font))),
      FTable(TableFor(GdiFont(Font), Device)),
      FAsciiMax64(AsciiMaxAdvance64(FTable.get())),
      FTabStop(TabStopOf(FMetrics))
{
    const TLineBox Box = LineBoxFor(GdiFont(Font), Device);
    FLineHeight = Box.Height;
    FAscent = Box.Ascent;
}

TTextMeasure::TTextMeasure(const QFontMetrics& Metrics)
    : FMetrics(Metrics), FTabStop(TabStopOf(Metrics))
{
    const TLineBox Box = LineBoxOf(Metrics);
    FLineHeight = Box.Height;
    FAscent = Box.Ascent;
}

bool TTextMeasure::UsesTable(QStringView Text) const
{
    if (!FTable)
        return false;
    const std::int32_t* Adv = FTable->Adv64.data();
    for (QChar C : Text) {
        const char16_t U = C.unicode();
        if (U != u'\t' && (U >= kTableLimit || Adv[U] < 0))
            return false;
    }
    return true;
}

int TTextMeasure::PieceWidth(QStringView Piece) const
{
    if (Piece.isEmpty())
        return 0;
    return FMetrics.horizontalAdvance(RawString(Piece));
}

int TTextMeasure::Width(QStringView Text, int StartX) const
{
    // The pieces between tabs are measured (and drawn) whole; each tab then jumps to its stop.
    if (FTable) {
        const std::int32_t* Adv = FTable->Adv64.data();
        std::int64_t Done = StartX, Piece64 = 0;
        bool Ok = true;
        for (QChar C : Text) {
            const char16_t U = C.unicode();
            if (U == u'\t') {
                Done = NextTabStop(int(Done + Round64(Piece64)));
                Piece64 = 0;
            } else if (U < kTableLimit && Adv[U] >= 0) {
                Piece64 += Adv[U];
            } else {
                Ok = false;
                break;
            }
        }
        if (Ok)
            return int(Done + Round64(Piece64)) - StartX;
    }
    int X = StartX;
    qsizetype From = 0;
    for (qsizetype I = 0; I < Text.size(); ++I) {
        if (Text[I] == u'\t') {
            X = NextTabStop(X + PieceWidth(Text.sliced(From, I - From)));
            From = I + 1;
        }
    }
    return X + PieceWidth(Text.sliced(From)) - StartX;
}

bool TTextMeasure::FitsOnOneLine(QStringView Text, int MaxWidth) const
{
    if (!FTable || MaxWidth < 0)
        return false;
    // Printable ASCII only: the sum of its advances is at most the count times the widest
    // one, and the rounding is monotonic, so that bound fitting proves the exact width fits.
    if (FAsciiMax64 >= 0 && ((std::int64_t(Text.size()) * FAsciiMax64 + 32) >> 6) <= MaxWidth
        && AllPrintableAscii(Text))
        return true;
    const std::int32_t* Adv = FTable->Adv64.data();
    std::int64_t Done = 0, Piece64 = 0;
    for (QChar C : Text) {
        const char16_t U = C.unicode();
        if (U == u'\t') {
            Done = NextTabStop(int(Done + Round64(Piece64)));
            Piece64 = 0;
            if (Done > MaxWidth)
                return false;
        } else if (U < kTableLimit && Adv[U] >= 0) {   // line breaks are not in the table
            Piece64 += Adv[U];
        } else {
            return false;
        }
    }
    return Done + Round64(Piece64) <= MaxWidth;
}

// Only the characters up to the first one that does not fit matter, so a character the table
// cannot measure further on does not send the whole text to layout.
int TTextMeasure::TableFitCount(QStringView Text, int MaxWidth) const
{
    const std::int32_t* Adv = FTable->Adv64.data();
    std::int64_t Done = 0, Piece64 = 0;
    const int N = int(Text.size());
    for (int I = 0; I < N; ++I) {
        const char16_t U = Text[I].unicode();
        if (U == u'\t') {
            const int Stop = NextTabStop(int(Done + Round64(Piece64)));
            if (Stop > MaxWidth)
                return I;
            Done = Stop;
            Piece64 = 0;
        } else if (U < kTableLimit && Adv[U] >= 0) {
            Piece64 += Adv[U];
            if (Done + Round64(Piece64) > MaxWidth)
                return I;
        } else {
            return -1;
        }
    }
    return N;
}

int TTextMeasure::PlainFitCount(QStringView Text, int MaxWidth) const
{
    const int N = int(Text.size());
    if (Width(Text) <= MaxWidth)
        return N;
    // Largest prefix that fits: Lo fits, Hi does not. The first probe is the estimate from the
    // average character width, so a long line costs few layouts.
    int Lo = 0, Hi = N;
    const int Average = std::max(1, FMetrics.averageCharWidth());
    int Probe = std::clamp(MaxWidth / Average, 1, std::max(1, N - 1));
    while (Hi - Lo > 1) {
        if (Width(Text.first(Probe)) <= MaxWidth)
            Lo = Probe;
        else
            Hi = Probe;
        Probe = Lo + (Hi - Lo) / 2;
    }
    return Lo;
}

int TTextMeasure::FitCount(QStringView Text, int MaxWidth) const
{
    const int N = int(Text.size());
    if (MaxWidth < 0 || N == 0)
        return 0;
    int Fit = FTable ? TableFitCount(Text, MaxWidth) : -1;
    if (Fit < 0)
        Fit = PlainFitCount(Text, MaxWidth);
    if (Fit > 0 && Fit < N && Text[Fit - 1].isHighSurrogate() && Text[Fit].isLowSurrogate())
        --Fit;
    return Fit;
}

bool TextMeasureUsesTable(const QFont& Font)
{
    return TableFor(GdiFont(Font), nullptr) != nullptr;
}

QFont GdiFont(const QFont& Font)
{
    if (!Font.kerning() && (Font.styleStrategy() & QFont::PreferNoShaping))
        return Font;
    QFont Gdi = Font;
    Gdi.setKerning(false);
    Gdi.setStyleStrategy(QFont::StyleStrategy(Font.styleStrategy() | QFont::PreferNoShaping));
    return Gdi;
}

int CharUnitsAt(QStringView Text, int Pos)
{
    if (Pos + 1 < Text.size() && Text[Pos].isHighSurrogate() && Text[Pos + 1].isLowSurrogate())
        return 2;
    return 1;
}

QList<TTextLine> BreakTextLines(const TTextMeasure& Measure, QStringView Text, int MaxWidth, TLineBreaking Breaking,
                                int MaxLines)
{
    QList<TTextLine> Lines;
    if (MaxLines == 0)
        return Lines;
    WalkLines(Measure, Text, MaxWidth, Breaking, [&Lines, MaxLines](int Start, int Len) {
        Lines.append({Start, Len});
        return MaxLines < 0 || Lines.size() < MaxLines;
    });
    return Lines;
}

int CountTextLines(const TTextMeasure& Measure, QStringView Text, int MaxWidth, TLineBreaking Breaking)
{
    if (Text.isEmpty())
        return 0;
    // One line under every rule: no line break in it, and it fits.
    if (Measure.FitsOnOneLine(Text, MaxWidth))
        return 1;
    int Count = 0;
    WalkLines(Measure, Text, MaxWidth, Breaking, [&Count](int, int) {
        ++Count;
        return true;
    });
    return Count;
}

bool FitCharsInWidth(const TTextMeasure& Measure, QStringView Text, int StartIndex, int MaxWidth, int& Count)
{
    Count = 0;
    const int Remaining = int(Text.size()) - StartIndex;
    if (StartIndex < 0 || Remaining <= 0)
        return false;
    const QStringView Rest = Text.sliced(StartIndex);
    const int Fit = Measure.FitCount(Rest, MaxWidth);
    if (Fit <= 0) {
        Count = CharUnitsAt(Rest, 0);  // a character wider than the line still takes one
        return true;
    }
    if (Fit >= Remaining) {
        Count = Remaining;
        return true;
    }
    Count = Fit;
    if (!IsBreakBlank(Rest[Fit - 1]) && !IsBreakBlank(Rest[Fit])) {
        int P = Fit;
        while (P > 0 && !IsBreakBlank(Rest[P - 1]))
            --P;
        if (P > 0)
            Count = P;
    }
    Count = std::max(1, Count);
    return true;
}

bool FitCharsInWidth(const QFontMetrics& Metrics, QStringView Text, int StartIndex, int MaxWidth, int& Count)
{
    return FitCharsInWidth(TTextMeasure(Metrics), Text, StartIndex, MaxWidth, Count);
}

int GdiCalcText(const TTextMeasure& Measure, const QString& Text, QRect& Rect, unsigned Flags)
{
    const QString Shown = (Flags & DT_NOPREFIX) ? Text : StripPrefixes(Text);
    const TLayout Layout = LayoutText(Measure, Shown, Rect.width(), Flags);
    Rect.setWidth(Layout.Width);
    Rect.setHeight(Layout.Height);
    return Layout.Height;
}

int GdiDrawText(QPainter& Painter, const QString& Text, QRect& Rect, unsigned Flags)
{
    const TTextMeasure Measure(Painter.font(), Painter.device());
    if (Flags & DT_CALCRECT)
        return GdiCalcText(Measure, Text, Rect, Flags);

    const QString Shown = (Flags & DT_NOPREFIX) ? Text : StripPrefixes(Text);
    const TLayout Layout = LayoutText(Measure, Shown, Rect.width(), Flags);
    if (Layout.Lines.isEmpty())
        return 0;
    int Y = Rect.top();
    if (Flags & DT_SINGLELINE) {
        if (Flags & DT_VCENTER)
            Y = Rect.top() + (Rect.height() - Measure.LineHeight()) / 2;
        else if (Flags & DT_BOTTOM)
            Y = Rect.top() + Rect.height() - Measure.LineHeight();
    }
    Painter.save();
    Painter.setFont(GdiFont(Painter.font()));
    if (!(Flags & DT_NOCLIP))
        Painter.setClipRect(Rect, Qt::IntersectClip);
    const int Bottom = Rect.top() + Rect.height();
    // Lines the painter cannot show (a row taller than the view) are passed over.
    const QRect Clip = Painter.hasClipping() ? Painter.clipBoundingRect().toAlignedRect() : QRect();
    for (const TTextLine& Line : Layout.Lines) {
        if (!(Flags & DT_NOCLIP) && Y >= Bottom)
            break;
        if (Clip.isValid() && (Y + Measure.LineHeight() <= Clip.top() || Y > Clip.bottom())) {
            if (Y > Clip.bottom())
                break;
            Y += Measure.LineHeight();
            continue;
        }
        const QStringView Piece = QStringView(Shown).sliced(Line.Start, Line.Len);
        const int X = (Flags & (DT_CENTER | DT_RIGHT)) ? AlignedX(Rect, Measure.Width(Piece), Flags) : Rect.left();
        GdiTextOut(Painter, Measure, X, Y, Piece);
        Y += Measure.LineHeight();
    }
    Painter.restore();
    return Layout.Height;
}

QSize GdiTextExtent(const QFontMetrics& Metrics, const QString& Text)
{
    const TTextMeasure Measure(Metrics);
    return {Measure.Width(Text), Measure.LineHeight()};
}

bool GdiTextExtentExPoint(const QFontMetrics& Metrics, const QString& Text, int StartIndex, int Count, int MaxWidth,
                          int& Fit)
{
    Fit = 0;
    if (StartIndex < 0 || Count < 0 || StartIndex > Text.size() || Count > Text.size() - StartIndex)
        return false;
    Fit = TTextMeasure(Metrics).FitCount(QStringView(Text).sliced(StartIndex, Count), MaxWidth);
    return true;
}

void GdiTextOut(QPainter& Painter, int X, int Y, QStringView Text)
{
    GdiTextOut(Painter, TTextMeasure(Painter.font(), Painter.device()), X, Y, Text);
}

void GdiTextOut(QPainter& Painter, const TTextMeasure& Measure, int X, int Y, QStringView Text)
{
    GdiTextOut(Painter, Measure, X, Y, Text, X);
}

void GdiTextOut(QPainter& Painter, const TTextMeasure& Measure, int X, int Y, QStringView Text, int LineLeft)
{
    // Qt would place tabs at its own stops (and draw nothing else for them): the text goes out
    // in pieces between tabs, each tab jumping to our stop, as Width measures it.
    const Qt::BGMode OldMode = Painter.backgroundMode();
    Painter.setBackgroundMode(Qt::TransparentMode);
    const QFont OldFont = Painter.font();
    const bool Normalise = OldFont.kerning() || !(OldFont.styleStrategy() & QFont::PreferNoShaping);
    if (Normalise)
        Painter.setFont(GdiFont(OldFont));
    const int Baseline = Y + Measure.Ascent();
    qsizetype From = 0;
    for (qsizetype I = 0; I <= Text.size(); ++I) {
        if (I < Text.size() && Text[I] != u'\t')
            continue;
        const QStringView Piece = Text.sliced(From, I - From);
        if (!Piece.isEmpty()) {
            Painter.drawText(QPoint(X, Baseline), RawString(Piece));
            X += Measure.Width(Piece);
        }
        if (I < Text.size())
            X = LineLeft + Measure.NextTabStop(X - LineLeft);
        From = I + 1;
    }
    if (Normalise)
        Painter.setFont(OldFont);
    Painter.setBackgroundMode(OldMode);
}
