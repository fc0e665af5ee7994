// Stepping between chunks, the selected chunk, and the grid and the result scrolling together.

#include "mergewin/MergeForm.h"

#include "mergewin/MergeResultEdit.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {

constexpr int RowsAboveTarget = 3;   // a chunk stepped to is shown with a little of what precedes it

}   // namespace

void TfrmMerge::SelectChunk(int Chunk)
{
    if (Chunk == FCurrentChunk)
        return;
    FCurrentChunk = Chunk;
    UpdateCommandStates();
    grdMerge->viewport()->update();
    edtMergeResult->UpdateMargin();
}

void TfrmMerge::GoToChunk(int Chunk)
{
    if (Chunk < 0 || Chunk >= FMerge.Chunks.size()) {
        Platform.Beep();
        return;
    }
    SelectChunk(Chunk);
    FSyncingScroll = true;
    const int Row = FRows.FirstRow[Chunk];
    if (Row < FRows.RowCount())
        grdMerge->SetRow(Row);
    grdMerge->SetTopRow(std::max(1, Row - RowsAboveTarget));
    const int Line = ResultLineOfChunk(Chunk);
    QTextCursor Cursor(edtMergeResult->document()->findBlockByNumber(Line));
    edtMergeResult->setTextCursor(Cursor);
    edtMergeResult->verticalScrollBar()->setValue(std::max(0, Line - RowsAboveTarget));
    FSyncingScroll = false;
    RefreshResultMarks();
}

void TfrmMerge::Step(TMergeTarget Target, bool Forward)
{
    const int From = FCurrentChunk < 0 ? (Forward ? -1 : int(FMerge.Chunks.size())) : FCurrentChunk;
    GoToChunk(FindMergeChunk(FMerge.Chunks, From, Forward, Target, [this](int K) { return ChunkUnresolved(K); }));
}

void TfrmMerge::btnPrevConflictClick()
{
    Step(TMergeTarget::Conflict, false);
}

void TfrmMerge::btnNextConflictClick()
{
    Step(TMergeTarget::Conflict, true);
}

void TfrmMerge::btnNextUnresolvedClick()
{
    // From the end it starts over at the top: the last one left is found wherever it is.
    int Next = FindMergeChunk(FMerge.Chunks, FCurrentChunk, true, TMergeTarget::Unresolved,
                              [this](int K) { return ChunkUnresolved(K); });
    if (Next < 0)
        Next = FindMergeChunk(FMerge.Chunks, -1, true, TMergeTarget::Unresolved, [this](int K) { return ChunkUnresolved(K); });
    GoToChunk(Next);
}

void TfrmMerge::btnPrevRuleResolvedClick()
{
    Step(TMergeTarget::ResolvedByRule, false);
}

void TfrmMerge::btnNextRuleResolvedClick()
{
    Step(TMergeTarget::ResolvedByRule, true);
}

void TfrmMerge::GridScrolled()
{
    if (FSyncingScroll || FRows.RowCount() <= 1)
        return;
    const int Top = std::clamp(grdMerge->TopRow(), 1, FRows.RowCount() - 1);
    const int Chunk = FRows.Chunk[Top];
    const int Offset = Top - FRows.FirstRow[Chunk];
    const int First = ResultLineOfChunk(Chunk);
    const int Lines = ResultLineOfChunk(Chunk + 1) - First;
    FSyncingScroll = true;
    edtMergeResult->verticalScrollBar()->setValue(First + std::min(Offset, std::max(0, Lines - 1)));
    FSyncingScroll = false;
    RefreshResultMarks();
}

void TfrmMerge::ResultScrolled()
{
    FMarkedFirst = -1;
    RefreshResultMarks();
    if (FSyncingScroll || FRows.RowCount() <= 1)
        return;
    const int Line = edtMergeResult->verticalScrollBar()->value();
    const int Chunk = ChunkOfResultLine(Line);
    if (Chunk < 0)
        return;
    const int Offset = Line - ResultLineOfChunk(Chunk);
    const int Row = FRows.FirstRow[Chunk] + std::min(Offset, std::max(0, FRows.RowsOf(Chunk) - 1));
    FSyncingScroll = true;
    grdMerge->SetTopRow(std::clamp(Row, 1, FRows.RowCount() - 1));
    FSyncingScroll = false;
}

void TfrmMerge::ResultCursorMoved()
{
    if (FChangingText || FSyncingScroll)
        return;
    const int Chunk = ChunkAtPosition(Starts(), edtMergeResult->textCursor().position());
    if (Chunk < 0 || Chunk == FCurrentChunk)
        return;
    SelectChunk(Chunk);
    // The grid's selection follows without the grid scrolling away from the text's position.
    FSyncingScroll = true;
    if (FRows.FirstRow[Chunk] < FRows.RowCount())
        grdMerge->SetRow(FRows.FirstRow[Chunk]);
    FSyncingScroll = false;
    ResultScrolled();
}
