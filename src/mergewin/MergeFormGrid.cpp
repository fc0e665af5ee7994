// The grid of the three inputs: rows, cell drawing, row heights and column layout.

#include "mergewin/MergeForm.h"

#include "app/RowNumbers.h"
#include "engine/IntraLine.h"
#include "grid/DiffCellDrawing.h"
#include "grid/RowHeights.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int ScrollBarAllowance = 20;

// Whether a side changed the chunk's lines against BASE.
[[nodiscard]] bool LocalChanged(TMerge3ChunkKind Kind)
{
    return Kind == mcLocal || Kind == mcBoth || Kind == mcConflict;
}

[[nodiscard]] bool RemoteChanged(TMerge3ChunkKind Kind)
{
    return Kind == mcRemote || Kind == mcBoth || Kind == mcConflict;
}

}   // namespace

QColor TfrmMerge::SettingColor(quint32 Value) const
{
    return ColorFromValue(Value, grdMerge->palette());
}

QColor TfrmMerge::ChunkColor(int Chunk) const
{
    if (Chunk < 0 || Chunk >= FMerge.Chunks.size())
        return {};
    const TMerge3Chunk& C = FMerge.Chunks[Chunk];
    const TChunkState& State = FStates.value(Chunk);
    const bool Untouched = State.Choice == TMergeChoice::None && !State.Edited;
    if (Untouched && IsExtraRule(C.Rule))
        return SettingColor(MergeRuleColor);
    switch (C.Kind) {
    case mcConflict:
        return ChunkUnresolved(Chunk) ? SettingColor(MergeConflictColor) : SettingColor(FSettings.ColorChangedLines);
    case mcLocal:
        return SettingColor(FSettings.ColorAddedLines);
    case mcRemote:
        return SettingColor(FSettings.ColorRemovedLines);
    case mcBoth:
        return SettingColor(FSettings.ColorChangedLines);
    case mcUnchanged:
        break;
    }
    return State.Edited ? SettingColor(FSettings.ColorChangedLines) : QColor();
}

void TfrmMerge::FillMergeGrid()
{
    FRows = AlignMergeRows(FMerge.Chunks);
    const int Rows = FRows.RowCount();
    grdMerge->SetRowCount(Rows);
    QString* const Numbers = grdMerge->EditColumnTexts(0);
    Numbers[0] = QString();
    for (int R = 1; R < Rows; ++R)
        Numbers[R] = RowNumberText(R);
    grdMerge->SetColumnLines(1, FInputs.Local, FRows.Local);
    grdMerge->SetColumnLines(2, FInputs.Base, FRows.Base);
    grdMerge->SetColumnLines(3, FInputs.Remote, FRows.Remote);
    LayoutColumns();
}

void TfrmMerge::LayoutColumns()
{
    const int Text = (grdMerge->viewport()->width() - grdMerge->ColWidths(0) - ScrollBarAllowance) / 3;
    const int Width = std::max(60, Text);
    bool Changed = false;
    for (int C = 1; C <= 3; ++C) {
        Changed = Changed || grdMerge->ColWidths(C) != Width;
        grdMerge->SetColWidths(C, Width);
    }
    if (Changed)
        UpdateAllRowHeights();
}

void TfrmMerge::UpdateAllRowHeights()
{
    // Every text cell is drawn by DrawHighlightedText, so its lines break as that breaks them.
    UpdateAllRowHeightsOf(*grdMerge, FGridFont, FBaseRowHeight, [](int, int) { return TLineBreaking::KeepBlanks; });
    grdMerge->viewport()->update();
}

void TfrmMerge::grdMergeDrawCell(QPainter& Painter, int ACol, int ARow, const QRect& Rect)
{
    Painter.setFont(FGridFont);
    if (ARow == 0) {
        static const char* const Roles[] = {"", "LOCAL", "BASE", "REMOTE"};
        const QString* Paths[] = {nullptr, &FFiles.Local, &FFiles.Base, &FFiles.Remote};
        const QString Text = ACol == 0 ? QString() : HeaderText(QString::fromLatin1(Roles[ACol]), *Paths[ACol]);
        DrawHeaderCell(Painter, *grdMerge, Rect, Text, FGridFont);
        return;
    }
    const QPalette& Palette = grdMerge->palette();
    const int Chunk = ARow < FRows.RowCount() ? FRows.Chunk[ARow] : -1;
    QColor Back = ChunkColor(Chunk);
    if (!Back.isValid())
        Back = Palette.color(QPalette::Base);
    const QColor TextColor = ReadableTextOn(Back, Palette.color(QPalette::Text));
    const QString& Text = grdMerge->CellText(ACol, ARow);
    if (ACol == 0 || Chunk < 0) {
        Painter.fillRect(Rect, Back);
        Painter.setPen(TextColor);
        QRect Inner = Rect.adjusted(2, 2, -2, -2);
        GdiDrawText(Painter, Text, Inner, DT_WORDBREAK | DT_NOPREFIX);
    } else {
        const TMerge3ChunkKind Kind = FMerge.Chunks[Chunk].Kind;
        const std::int32_t Local = FRows.Local[ARow], Base = FRows.Base[ARow], Remote = FRows.Remote[ARow];
        const std::int32_t Own = ACol == 1 ? Local : ACol == 2 ? Base : Remote;
        // A side with no line on this row of a change: a shade darker, so it does not read as an empty line.
        const QColor CellBack = Own < 0 && Kind != mcUnchanged ? Back.darker(112) : Back;
        QList<THighlightRange> Ranges;
        const bool IgnoreCase = FSettings.IgnoreCase;
        if (ACol == 1 && LocalChanged(Kind) && Local >= 0 && Base >= 0)
            Ranges = ComputeIntraLineRanges(FInputs.Local[Local], FInputs.Base[Base], IgnoreCase);
        else if (ACol == 3 && RemoteChanged(Kind) && Remote >= 0 && Base >= 0)
            Ranges = ComputeIntraLineRanges(FInputs.Remote[Remote], FInputs.Base[Base], IgnoreCase);
        else if (ACol == 2 && Base >= 0 && LocalChanged(Kind) && Local >= 0)
            Ranges = ComputeIntraLineRanges(FInputs.Base[Base], FInputs.Local[Local], IgnoreCase);
        else if (ACol == 2 && Base >= 0 && Kind == mcRemote && Remote >= 0)
            Ranges = ComputeIntraLineRanges(FInputs.Base[Base], FInputs.Remote[Remote], IgnoreCase);
        const QColor Highlight = SettingColor(FSettings.ColorDifferentTextInLine);
        DrawHighlightedText(Painter, Rect, Text, Ranges, ReadableTextOn(CellBack, Palette.color(QPalette::Text)), CellBack,
                            ReadableTextOn(Highlight, Palette.color(QPalette::Text)), Highlight);
    }
    // A frame around all rows of the selected chunk.
    if (Chunk < 0 || Chunk != FCurrentChunk)
        return;
    const int First = FRows.FirstRow[Chunk], Last = FRows.FirstRow[Chunk + 1] - 1;
    Painter.save();
    Painter.setPen(QPen(ReadableTextOn(Back, Palette.color(QPalette::Text)), 2));
    const int L = Rect.left() + 1, T = Rect.top() + 1, R = Rect.right(), B = Rect.bottom();
    if (ARow == First)
        Painter.drawLine(L, T, R, T);
    if (ARow == Last)
        Painter.drawLine(L, B, R, B);
    if (ACol == 0)
        Painter.drawLine(L, T, L, B);
    if (ACol == grdMerge->ColCount() - 1)
        Painter.drawLine(R, T, R, B);
    Painter.restore();
}

bool TfrmMerge::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == grdMerge->viewport() && Event->type() == QEvent::Resize)
        LayoutColumns();
    if (Watched != grdMerge->viewport() || Event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(Watched, Event);
    auto* Help = static_cast<QHelpEvent*>(Event);
    int Col = -1, Row = -1;
    grdMerge->MouseToCell(Help->pos().x(), Help->pos().y(), Col, Row);
    const int Chunk = Row >= 1 && Row < FRows.RowCount() ? FRows.Chunk[Row] : -1;
    const QString Tip = Chunk < 0 ? QString() : RuleName(FMerge.Chunks[Chunk].Rule);
    if (Tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(Help->globalPos(), Tip, grdMerge->viewport());
    return true;
}
