// The result text: built from the chunks, edited freely by the user, changed chunk by chunk by
// the take commands; what is known of each chunk follows the text through edits, undo and redo.

#include "mergewin/MergeForm.h"

#include "mergewin/MergeResultEdit.h"

#include <QLabel>
#include <QPlainTextDocumentLayout>
#include <QThread>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

namespace {

[[nodiscard]] QString LinesText(const QStringList& Lines)
{
    qsizetype Size = 0;
    for (const QString& Line : Lines)
        Size += Line.size() + 1;
    QString Text;
    Text.reserve(Size);
    for (const QString& Line : Lines) {
        Text += Line;
        Text += u'\n';
    }
    return Text;
}

[[nodiscard]] bool IsMarkerLine(const QString& Line)
{
    static const QString Markers[] = {QStringLiteral("<<<<<<<"), QStringLiteral("|||||||"), QStringLiteral("======="),
                                      QStringLiteral(">>>>>>>")};
    for (const QString& Marker : Markers)
        if (Line.startsWith(Marker) && (Line.size() == 7 || Line[7] == u' '))
            return true;
    return false;
}

}   // namespace

std::unique_ptr<QTextDocument> TfrmMerge::TextDocumentOf(const QStringList& Lines, QThread* Owner)
{
    auto Document = std::make_unique<QTextDocument>();
    Document->setUndoRedoEnabled(false);
    Document->setPlainText(LinesText(Lines));
    Document->moveToThread(Owner);
    return Document;
}

void TfrmMerge::FillResult(std::unique_ptr<QTextDocument> LocalText)
{
    if (!LocalText)
        LocalText = TextDocumentOf(FInputs.Local, QThread::currentThread());
    QTextDocument* const Document = LocalText.get();
    const qsizetype Count = FMerge.Chunks.size();
    FStates = TChunkStates(Count);
    // Most of the result is LOCAL's text, which the document holds: only the chunks that take
    // other lines are written into it, from the end, so the offsets before them stay.
    QVector<std::int32_t> LocalAt(Count + 1);
    QList<std::pair<int, QString>> Replaced;
    std::int32_t Offset = 0;
    int LastFilled = -1;
    for (qsizetype K = 0; K < Count; ++K) {
        const TMerge3Chunk& C = FMerge.Chunks[K];
        LocalAt[K] = Offset;
        for (int I = 0; I < C.LocalCount; ++I)
            Offset += std::int32_t(FInputs.Local[C.LocalStart + I].size()) + 1;
        if (C.Kind == mcRemote || C.Kind == mcConflict) {
            QString Text = LinesText(ChunkLines(FInputs, C, TMergeChoice::None, FMarkers));
            FStates[K].Length = std::int32_t(Text.size());
            Replaced.append({int(K), std::move(Text)});
        } else {
            FStates[K].Length = Offset - LocalAt[K];
        }
        if (FStates[K].Length > 0)
            LastFilled = int(K);
    }
    LocalAt[Count] = Offset;
    QTextCursor Cursor(Document);
    Cursor.beginEditBlock();
    for (auto It = Replaced.crbegin(); It != Replaced.crend(); ++It) {
        Cursor.setPosition(LocalAt[It->first]);
        Cursor.setPosition(LocalAt[It->first + 1], QTextCursor::KeepAnchor);
        Cursor.insertText(It->second);
    }
    // A text that ended without a line break keeps ending without one, unless it ends in a
    // conflict's closing marker.
    const bool EndsInConflict = LastFilled >= 0 && FMerge.Chunks[LastFilled].Kind == mcConflict;
    if (!FMerge.FinalBreak && !EndsInConflict && LastFilled >= 0) {
        Cursor.movePosition(QTextCursor::End);
        Cursor.deletePreviousChar();
        FStates[LastFilled].Length -= 1;
    }
    Cursor.endEditBlock();

    Document->setUndoRedoEnabled(true);
    Document->setDefaultFont(FGridFont);
    Document->setDocumentLayout(new QPlainTextDocumentLayout(Document));
    Document->setParent(edtMergeResult);
    // The editor deletes its own first document; this one belongs to the editor as a child.
    FChangingText = true;
    edtMergeResult->setDocument(LocalText.release());
    FChangingText = false;
    connect(Document, &QTextDocument::contentsChange, this, &TfrmMerge::ResultContentsChange);
    Document->setModified(false);
    FHistory.clear();
    RecordHistory();
    StatesChanged();
}

QVector<std::int32_t> TfrmMerge::Starts() const
{
    if (!FStartsValid) {
        FStartsCache = ChunkStarts(FStates);
        FStartsValid = true;
    }
    return FStartsCache;
}

QStringList TfrmMerge::CurrentChunkLines(int Chunk) const
{
    const QVector<std::int32_t> S = Starts();
    if (Chunk < 0 || Chunk + 1 >= S.size() || S[Chunk] == S[Chunk + 1])
        return {};
    QTextCursor Cursor(edtMergeResult->document());
    Cursor.setPosition(S[Chunk]);
    Cursor.setPosition(S[Chunk + 1], QTextCursor::KeepAnchor);
    QStringList Lines = Cursor.selectedText().split(QChar::ParagraphSeparator);
    if (!Lines.isEmpty() && Lines.constLast().isEmpty())
        Lines.removeLast();
    return Lines;
}

bool TfrmMerge::ChunkUnresolved(int Chunk) const
{
    return Chunk >= 0 && Chunk < FUnresolved.size() && FUnresolved[Chunk];
}

TMergeCounts TfrmMerge::Counts() const
{
    TMergeCounts Counts;
    for (qsizetype K = 0; K < FMerge.Chunks.size(); ++K) {
        const TMerge3Chunk& C = FMerge.Chunks[K];
        if (C.Kind == mcUnchanged)
            continue;
        if (ChunkUnresolved(int(K)))
            ++Counts.ConflictsLeft;
        else
            ++Counts.ChangesMerged;
        if (IsExtraRule(C.Rule) && FStates[K].Choice == TMergeChoice::None && !FStates[K].Edited)
            ++Counts.ResolvedByRule;
    }
    return Counts;
}

int TfrmMerge::ResultLineOfChunk(int Chunk) const
{
    const QVector<std::int32_t> S = Starts();
    if (Chunk < 0 || Chunk >= S.size())
        return 0;
    return edtMergeResult->document()->findBlock(S[Chunk]).blockNumber();
}

int TfrmMerge::ChunkOfResultLine(int Line) const
{
    const QTextBlock Block = edtMergeResult->document()->findBlockByNumber(Line);
    // The empty line after the text's last line break is no chunk's line.
    if (!Block.isValid() || (Line > 0 && Block.length() == 1 && !Block.next().isValid()))
        return -1;
    return ChunkAtPosition(Starts(), Block.position());
}

void TfrmMerge::ReplaceChunkText(int Chunk, const QStringList& Lines)
{
    QTextDocument* Document = edtMergeResult->document();
    const QVector<std::int32_t> S = Starts();
    const int Start = S[Chunk], End = S[Chunk + 1];
    QString Text = LinesText(Lines);
    // The chunk that ends the text without a line break keeps it so.
    if (End > Start && Document->characterAt(End - 1) != QChar::ParagraphSeparator && !Text.isEmpty())
        Text.chop(1);
    QTextCursor Cursor(Document);
    FChangingText = true;
    Cursor.beginEditBlock();
    Cursor.setPosition(Start);
    Cursor.setPosition(End, QTextCursor::KeepAnchor);
    Cursor.insertText(Text);
    Cursor.endEditBlock();
    FChangingText = false;
    FStates[Chunk].Length = std::int32_t(Text.size());
}

void TfrmMerge::TakeChoice(TMergeChoice Choice)
{
    const int K = FCurrentChunk;
    if (K < 0 || K >= FMerge.Chunks.size() || FMerge.Chunks[K].Kind == mcUnchanged || FStates[K].Edited) {
        Platform.Beep();
        return;
    }
    // Both, pressed again, turns the order round.
    if (Choice == TMergeChoice::LocalThenRemote && FStates[K].Choice == TMergeChoice::LocalThenRemote)
        Choice = TMergeChoice::RemoteThenLocal;
    ReplaceChunkText(K, ChunkLines(FInputs, FMerge.Chunks[K], Choice, FMarkers));
    FStates[K].Choice = Choice;
    RecordHistory();
    StatesChanged();
}

void TfrmMerge::btnTakeLocalClick()
{
    TakeChoice(TMergeChoice::Local);
}

void TfrmMerge::btnTakeBaseClick()
{
    TakeChoice(TMergeChoice::Base);
}

void TfrmMerge::btnTakeRemoteClick()
{
    TakeChoice(TMergeChoice::Remote);
}

void TfrmMerge::btnTakeBothClick()
{
    TakeChoice(TMergeChoice::LocalThenRemote);
}

void TfrmMerge::ResultContentsChange(int Position, int Removed, int Added)
{
    if (FChangingText)
        return;
    const int Length = edtMergeResult->document()->characterCount() - 1;
    const int Total = Starts().constLast();
    // Qt may count the text's closing paragraph in both numbers; what was really replaced is
    // what makes the lengths add up.
    const int Surplus = (Total - Removed + Added) - Length;
    if (Surplus > 0 && Surplus <= Added && Surplus <= Removed) {
        Removed -= Surplus;
        Added -= Surplus;
    }
    ApplyTextChange(FStates, Position, std::min(Removed, Total - Position), Added);
    RecordHistory();
    StatesChanged();
}

void TfrmMerge::RecordHistory()
{
    const int Step = edtMergeResult->document()->availableUndoSteps();
    FHistory.erase(FHistory.upper_bound(Step), FHistory.end());
    FHistory[Step] = FStates;
}

void TfrmMerge::RestoreHistory()
{
    const int Step = edtMergeResult->document()->availableUndoSteps();
    auto It = FHistory.upper_bound(Step);
    if (It != FHistory.begin())
        FStates = std::prev(It)->second;
    StatesChanged();
}

void TfrmMerge::UndoResult()
{
    if (!edtMergeResult->document()->isUndoAvailable()) {
        Platform.Beep();
        return;
    }
    FChangingText = true;
    edtMergeResult->undo();
    FChangingText = false;
    RestoreHistory();
}

void TfrmMerge::RedoResult()
{
    if (!edtMergeResult->document()->isRedoAvailable()) {
        Platform.Beep();
        return;
    }
    FChangingText = true;
    edtMergeResult->redo();
    FChangingText = false;
    RestoreHistory();
}

void TfrmMerge::StatesChanged()
{
    FStartsValid = false;
    FUnresolved.resize(FMerge.Chunks.size());
    for (qsizetype K = 0; K < FMerge.Chunks.size(); ++K)
        FUnresolved[K] = FMerge.Chunks[K].Kind == mcConflict
                         && IsUnresolved(FMerge.Chunks[K], FStates[K],
                                         FStates[K].Edited ? CurrentChunkLines(int(K)) : QStringList());
    FMarkedFirst = FMarkedLast = -1;
    RefreshResultMarks();
    ShowStatus();
    UpdateCommandStates();
    grdMerge->viewport()->update();
    edtMergeResult->UpdateMargin();
}

void TfrmMerge::RefreshResultMarks()
{
    int First = 0, Last = 0;
    edtMergeResult->VisibleLines(First, Last);
    if (First == FMarkedFirst && Last == FMarkedLast)
        return;
    FMarkedFirst = First;
    FMarkedLast = Last;
    QList<QTextEdit::ExtraSelection> Marks;
    QTextDocument* Document = edtMergeResult->document();
    const QColor Text = edtMergeResult->palette().color(QPalette::Text);
    for (QTextBlock Block = Document->findBlockByNumber(First); Block.isValid() && Block.blockNumber() <= Last;
         Block = Block.next()) {
        const int Chunk = ChunkOfResultLine(Block.blockNumber());
        const QColor Color = ChunkColor(Chunk);
        if (!Color.isValid())
            continue;
        QTextEdit::ExtraSelection Line;
        Line.cursor = QTextCursor(Block);
        Line.format.setBackground(Color);
        Line.format.setProperty(QTextFormat::FullWidthSelection, true);
        Marks.append(Line);
        // The markers of an open conflict are the frame of a block, not text: darker and bold.
        if (ChunkUnresolved(Chunk) && IsMarkerLine(Block.text())) {
            Line.format.setBackground(Color.darker(135));
            Marks.append(Line);
            QTextEdit::ExtraSelection Marker;
            Marker.cursor = QTextCursor(Block);
            Marker.cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            Marker.format.setFontWeight(QFont::Bold);
            Marker.format.setForeground(Text);
            Marks.append(Marker);
        }
    }
    edtMergeResult->setExtraSelections(Marks);
}

void TfrmMerge::ShowStatus()
{
    lblMergeStatus->setText(MergeStatusText(Counts()));
}

void TfrmMerge::UpdateCommandStates()
{
    const bool Choosable = FCurrentChunk >= 0 && FCurrentChunk < FMerge.Chunks.size()
                           && FMerge.Chunks[FCurrentChunk].Kind != mcUnchanged && !FStates[FCurrentChunk].Edited;
    for (QToolButton* Button : {btnTakeLocal, btnTakeBase, btnTakeRemote, btnTakeBoth})
        Button->setEnabled(Choosable);
}
