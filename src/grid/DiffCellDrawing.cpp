#include "grid/DiffCellDrawing.h"

#include "grid/GdiText.h"
#include "grid/TDiffGrid.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

// Delphi's Rect.Right and Rect.Bottom lie one past the last pixel.
[[nodiscard]] int RightOf(const QRect& Rect)
{
    return Rect.x() + Rect.width();
}

[[nodiscard]] int BottomOf(const QRect& Rect)
{
    return Rect.y() + Rect.height();
}

[[nodiscard]] QRect Shrunk(const QRect& Rect, int By)
{
    return QRect(QPoint(Rect.x() + By, Rect.y() + By), QPoint(RightOf(Rect) - By - 1, BottomOf(Rect) - By - 1));
}

[[nodiscard]] double RelativeLuminance(const QColor& Color)
{
    const auto Channel = [](double V) { return V <= 0.03928 ? V / 12.92 : std::pow((V + 0.055) / 1.055, 2.4); };
    return 0.2126 * Channel(Color.redF()) + 0.7152 * Channel(Color.greenF()) + 0.0722 * Channel(Color.blueF());
}

[[nodiscard]] double ContrastRatio(const QColor& A, const QColor& B)
{
    const double La = RelativeLuminance(A), Lb = RelativeLuminance(B);
    return (std::max(La, Lb) + 0.05) / (std::min(La, Lb) + 0.05);
}

[[nodiscard]] TDiffItem ItemOfRow(const TDiffCellSource& Source, int ARow)
{
    if (Source.Items && ARow - 1 >= 0 && ARow - 1 < Source.Items->size())
        return (*Source.Items)[ARow - 1];
    return {};  // the placeholder: dkEqual, no lines
}

[[nodiscard]] QColor RowBackground(const TDiffItem& Item, const TDiffCellSource& Source, const QPalette& Palette,
                                   int ARow)
{
    // A pair that could not be read is not known to differ: no colour, its badge tells.
    if (Source.FolderMode && Source.FolderRows && Item.Kind == dkDifferent && ARow >= 1
        && ARow - 1 < Source.FolderRows->Items.size() && !Source.FolderRows->IsDifference(ARow - 1))
        return Palette.color(QPalette::Base);
    switch (Item.Kind) {
    case dkLeftOnly:
        return Source.Colors.Added;
    case dkRightOnly:
        return Source.Colors.Removed;
    case dkDifferent:
        return Source.Colors.Changed;
    default:
        return Palette.color(QPalette::Base);
    }
}

// Ranges of a changed line, column 1 against column 2 and back. Indexes that no longer fit the
// lists (an edit or merge waiting for its recompute) give no ranges.
[[nodiscard]] QList<THighlightRange> RangesForCell(const TDiffItem& Item, int ACol, const TDiffCellSource& Source)
{
    if (Item.LeftIndex < 0 || Item.RightIndex < 0 || !Source.LeftLines || !Source.RightLines)
        return {};
    if (Item.LeftIndex >= Source.LeftLines->size() || Item.RightIndex >= Source.RightLines->size())
        return {};
    const QString& Left = (*Source.LeftLines)[Item.LeftIndex];
    const QString& Right = (*Source.RightLines)[Item.RightIndex];
    return ACol == 1 ? ComputeIntraLineRanges(Left, Right, Source.IgnoreCase)
                     : ComputeIntraLineRanges(Right, Left, Source.IgnoreCase);
}


// The newer flags travel beside the rows, so a file named "draft new" keeps its name.
[[nodiscard]] bool IsNewer(const TDiffCellSource& Source, int ACol, int ARow)
{
    const QList<bool>* Flags = ACol == 1 ? Source.LeftNewer : Source.RightNewer;
    return Flags && ARow - 1 >= 0 && ARow - 1 < Flags->size() && (*Flags)[ARow - 1];
}

void DrawBadge(QPainter& Painter, const QRect& Rect, const QColor& Back, const QString& Text)
{
    const TTextMeasure Measure(Painter.font(), Painter.device());
    const int Width = Measure.Width(Text) + 8;
    const int Right = RightOf(Rect) - 4;
    const int Top = Rect.top() + 2;
    QRect Badge(Right - Width, Top, Width, Measure.LineHeight() + 4);
    Painter.fillRect(Badge, Back);
    Painter.setPen(QColor(0, 0, 0));
    GdiDrawText(Painter, Text, Badge, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// What a folder row's side is, when it is not a plain file: drawn on a neutral colour, so it never
// reads as a difference.
[[nodiscard]] QString FolderBadgeOf(const TDiffCellSource& Source, int ACol, int ARow)
{
    if (!Source.FolderMode || !Source.FolderRows || ARow < 1 || ARow - 1 >= Source.FolderRows->Items.size())
        return QString();
    return FolderSideBadge(*Source.FolderRows, ARow - 1, ACol);
}

// A segment of the visual line that starts at LineLeft (where its tab stops count from).
void DrawSegment(QPainter& Painter, const TTextMeasure& Measure, QStringView Segment, int LineLeft, int& X, int Y,
                 int LineHeight, const QColor& TextColor, const QColor& BackColor)
{
    if (Segment.isEmpty())
        return;
    const int Width = Measure.Width(Segment, X - LineLeft);
    Painter.fillRect(QRect(X, Y, Width, LineHeight), BackColor);
    Painter.setPen(TextColor);
    GdiTextOut(Painter, Measure, X, Y, Segment, LineLeft);
    X += Width;
}

}  // namespace

void DrawHeaderCell(QPainter& Painter, const TDiffGrid& Grid, const QRect& Rect, const QString& Text, const QFont& Font)
{
    const QPalette& Palette = Grid.palette();
    Painter.fillRect(Rect, Palette.color(QPalette::Button));
    QFont Bold = Font;
    Bold.setBold(true);
    Painter.setFont(Bold);
    Painter.setPen(ReadableTextOn(Palette.color(QPalette::Button), Palette.color(QPalette::Text)));
    QRect Inner = Shrunk(Rect, 2);
    GdiDrawText(Painter, Text, Inner, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

QColor ReadableTextOn(const QColor& Back, const QColor& Preferred)
{
    if (ContrastRatio(Back, Preferred) >= 3.0)
        return Preferred;
    const QColor Black(0, 0, 0), White(255, 255, 255);
    return ContrastRatio(Back, Black) >= ContrastRatio(Back, White) ? Black : White;
}

QColor ColorFromValue(quint32 Value, const QPalette& Palette)
{
    if ((Value >> 24) != 0xFF)
        return QColor(int(Value & 0xFF), int((Value >> 8) & 0xFF), int((Value >> 16) & 0xFF));
    switch (Value & 0xFF) {
    case 0:   // COLOR_SCROLLBAR
    case 15:  // COLOR_BTNFACE
        return Palette.color(QPalette::Button);
    case 1:   // COLOR_BACKGROUND
    case 12:  // COLOR_APPWORKSPACE
    case 3:   // COLOR_INACTIVECAPTION
    case 28:  // COLOR_GRADIENTINACTIVECAPTION
        return Palette.color(QPalette::Mid);
    case 2:   // COLOR_ACTIVECAPTION
    case 13:  // COLOR_HIGHLIGHT
    case 27:  // COLOR_GRADIENTACTIVECAPTION
    case 29:  // COLOR_MENUHILIGHT
        return Palette.color(QPalette::Highlight);
    case 4:   // COLOR_MENU
    case 10:  // COLOR_ACTIVEBORDER
    case 11:  // COLOR_INACTIVEBORDER
    case 30:  // COLOR_MENUBAR
        return Palette.color(QPalette::Window);
    case 5:   // COLOR_WINDOW
        return Palette.color(QPalette::Base);
    case 6:   // COLOR_WINDOWFRAME
    case 21:  // COLOR_3DDKSHADOW
        return Palette.color(QPalette::Shadow);
    case 7:   // COLOR_MENUTEXT
        return Palette.color(QPalette::WindowText);
    case 8:   // COLOR_WINDOWTEXT
        return Palette.color(QPalette::Text);
    case 9:   // COLOR_CAPTIONTEXT
    case 14:  // COLOR_HIGHLIGHTTEXT
        return Palette.color(QPalette::HighlightedText);
    case 16:  // COLOR_BTNSHADOW
        return Palette.color(QPalette::Dark);
    case 17:  // COLOR_GRAYTEXT
        return Palette.color(QPalette::Disabled, QPalette::Text);
    case 18:  // COLOR_BTNTEXT
        return Palette.color(QPalette::ButtonText);
    case 19:  // COLOR_INACTIVECAPTIONTEXT
        return Palette.color(QPalette::Disabled, QPalette::WindowText);
    case 20:  // COLOR_BTNHIGHLIGHT
        return Palette.color(QPalette::Light);
    case 22:  // COLOR_3DLIGHT
        return Palette.color(QPalette::Midlight);
    case 23:  // COLOR_INFOTEXT
        return Palette.color(QPalette::ToolTipText);
    case 24:  // COLOR_INFOBK
        return Palette.color(QPalette::ToolTipBase);
    case 26:  // COLOR_HOTLIGHT
        return Palette.color(QPalette::Link);
    default:  // GetSysColor gives black for an index it does not know
        return QColor(0, 0, 0);
    }
}

void DrawHighlightedText(QPainter& Painter, const QRect& Rect, const QString& Text, const QList<THighlightRange>& Ranges,
                         const QColor& NormalTextColor, const QColor& NormalBackColor, const QColor& HighlightTextColor,
                         const QColor& HighlightBackColor)
{
    Painter.fillRect(Rect, NormalBackColor);
    const QRect Inner = Shrunk(Rect, 2);
    if (Text.isEmpty() || Inner.width() <= 2 || Inner.height() <= 2)
        return;
    const TTextMeasure Measure(Painter.font(), Painter.device());
    Painter.save();
    Painter.setFont(GdiFont(Painter.font()));
    const int MaxWidth = Inner.width();
    const int LineHeight = Measure.LineHeight() > 0 ? Measure.LineHeight() : 14;
    const QStringView View(Text);
    // Every line whose top lies inside Inner is drawn, the last one even if it reaches below;
    // of a row taller than the view only the lines the painter can show.
    const int MaxLines = (Inner.height() + LineHeight - 1) / LineHeight;
    const QRect Clip = Painter.hasClipping() ? Painter.clipBoundingRect().toAlignedRect() : QRect();
    int Y = Inner.top();
    for (const TTextLine& Line : BreakTextLines(Measure, View, MaxWidth, TLineBreaking::KeepBlanks, MaxLines)) {
        if (Clip.isValid() && (Y + LineHeight <= Clip.top() || Y > Clip.bottom())) {
            if (Y > Clip.bottom())
                break;
            Y += LineHeight;
            continue;
        }
        const int Pos = Line.Start;
        const int LineEnd = Line.Start + Line.Len;
        int X = Inner.left();
        int Cur = Pos;
        for (const THighlightRange& Range : Ranges) {
            std::int32_t A = 0, B = 0;
            if (!ClipRange(Range, Pos, LineEnd, A, B))
                continue;
            if (A > Cur)
                DrawSegment(Painter, Measure, View.sliced(Cur, A - Cur), Inner.left(), X, Y, LineHeight, NormalTextColor,
                            NormalBackColor);
            DrawSegment(Painter, Measure, View.sliced(A, B - A), Inner.left(), X, Y, LineHeight, HighlightTextColor,
                        HighlightBackColor);
            Cur = B;
            if (Cur >= LineEnd)
                break;
        }
        if (Cur < LineEnd)
            DrawSegment(Painter, Measure, View.sliced(Cur, LineEnd - Cur), Inner.left(), X, Y, LineHeight, NormalTextColor,
                        NormalBackColor);
        Y += LineHeight;
    }
    Painter.restore();
}

QRect CellTextRect(const TDiffGrid& Grid, const TDiffCellSource& Source, int ACol, int ARow, int Start, int Len)
{
    if (ACol < 1 || ACol >= Grid.ColCount() || ARow < 1 || ARow >= Grid.RowCount() || Len <= 0)
        return {};
    const QString& Text = Grid.CellText(ACol, ARow);
    if (Start < 0 || Start >= Text.size())
        return {};
    const int End = int(std::min<qsizetype>(qsizetype(Start) + Len, Text.size()));
    const TTextMeasure Measure(Source.Font, &Grid);
    const int Width = Grid.ColWidths(ACol) - 4;
    const QList<TTextLine> Lines = BreakTextLines(Measure, Text, Width, CellLineBreaking(Source, ACol, ARow));
    // A range that starts among the blanks a break dropped begins on the next line.
    int First = -1, Last = -1;
    for (int I = 0; I < Lines.size(); ++I) {
        const TTextLine& Line = Lines[I];
        if (First < 0 && Start < Line.Start + Line.Len)
            First = I;
        if (Line.Start < End)
            Last = I;
        else
            break;
    }
    if (First < 0 || Last < First)
        return {};
    const QStringView View(Text);
    const TTextLine& Line = Lines[First];
    const int From = std::max(Start, Line.Start);
    const int X = Measure.Width(View.sliced(Line.Start, From - Line.Start));
    const int W = First == Last ? Measure.Width(View.sliced(From, std::min(End, Line.Start + Line.Len) - From), X)
                                : std::max(1, Width - X);
    const int H = Measure.LineHeight();
    return QRect(2 + X, 2 + First * H, std::max(1, W), (Last - First + 1) * H);
}

bool FirstHighlightOfRow(const TDiffGrid& Grid, const TDiffCellSource& Source, int ARow, int& ACol, int& Start,
                         int& Len)
{
    bool Found = false;
    int BestTop = 0;
    const TDiffItem Item = ItemOfRow(Source, ARow);
    for (int Col = 1; Col <= 2 && Col < Grid.ColCount(); ++Col) {
        if (CellLineBreaking(Source, Col, ARow) != TLineBreaking::KeepBlanks || Grid.CellText(Col, ARow).isEmpty())
            continue;
        const QList<THighlightRange> Ranges = RangesForCell(Item, Col, Source);
        if (Ranges.isEmpty())
            continue;
        const QRect Rect = CellTextRect(Grid, Source, Col, ARow, Ranges.first().Start, Ranges.first().Len);
        if (!Rect.isValid() || (Found && Rect.top() >= BestTop))
            continue;
        Found = true;
        BestTop = Rect.top();
        ACol = Col;
        Start = Ranges.first().Start;
        Len = Ranges.first().Len;
    }
    return Found;
}

void DrawSelectedRowFrame(QPainter& Painter, const TDiffGrid& Grid, int ACol, int ARow, const QColor& RowBack)
{
    if (ARow <= 0 || ARow >= Grid.RowCount() || ARow != Grid.Row())
        return;
    const QRect Cell = Grid.CellRect(ACol, ARow);
    if (Cell.isNull())
        return;
    const int L = Cell.x() + 1, T = Cell.y() + 1;
    const int Rt = RightOf(Cell) - 1 - 1, B = BottomOf(Cell) - 1 - 1;
    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing, false);
    Painter.setBrush(Qt::NoBrush);
    const QColor Text = Grid.palette().color(QPalette::Text);
    Painter.setPen(QPen(RowBack.isValid() ? ReadableTextOn(RowBack, Text) : Text, 2));
    Painter.drawLine(L, T, Rt, T);
    Painter.drawLine(L, B, Rt, B);
    if (ACol == 0)
        Painter.drawLine(L, T, L, B);
    if (ACol == Grid.ColCount() - 1)
        Painter.drawLine(Rt, T, Rt, B);
    Painter.restore();
}

void DrawDiffCell(QPainter& Painter, const TDiffGrid& Grid, int ACol, int ARow, const QRect& Rect,
                  const TDiffCellSource& Source)
{
    Painter.setFont(Source.Font);
    if (ARow == 0) {
        DrawHeaderCell(Painter, Grid, Rect, Grid.Cells(ACol, 0), Source.Font);
        return;
    }
    const QPalette& Palette = Grid.palette();
    const TDiffItem Item = ItemOfRow(Source, ARow);
    const QColor Back = RowBackground(Item, Source, Palette, ARow);
    const QColor TextColor = ReadableTextOn(Back, Palette.color(QPalette::Text));
    Painter.fillRect(Rect, Back);

    const QString Text = Grid.Cells(ACol, ARow);
    const bool TextColumn = ACol == 1 || ACol == 2;
    if (CellLineBreaking(Source, ACol, ARow) == TLineBreaking::KeepBlanks && !Text.isEmpty()) {
        const QColor HighlightText = ReadableTextOn(Source.Colors.DifferentText, Palette.color(QPalette::Text));
        DrawHighlightedText(Painter, Rect, Text, RangesForCell(Item, ACol, Source), TextColor, Back, HighlightText,
                            Source.Colors.DifferentText);
    } else {
        const bool Badge = Source.FolderMode && TextColumn && IsNewer(Source, ACol, ARow);
        Painter.setPen(TextColor);
        QRect Inner = Shrunk(Rect, 2);
        GdiDrawText(Painter, Text, Inner, DT_WORDBREAK | DT_NOPREFIX);
        if (Badge)
            DrawBadge(Painter, Rect, Source.Colors.DifferentText, QStringLiteral("new"));
        else if (const QString Folder = FolderBadgeOf(Source, ACol, ARow); !Folder.isEmpty())
            DrawBadge(Painter, Rect, Palette.color(QPalette::ToolTipBase), Folder);
    }
    // The one empty row of a comparison that gave nothing (a failed or cancelled one) is no
    // selection: it carries no frame.
    if (!Source.Items || !Source.Items->isEmpty())
        DrawSelectedRowFrame(Painter, Grid, ACol, ARow, Back);
}
