// Difference navigation, merges and undo.

#include "app/MainForm.h"
#include "merge/Merge.h"
#include "merge/Navigation.h"

#include <QApplication>
#include <QComboBox>
#include <QKeySequence>
#include <QShortcut>
#include <QToolButton>

namespace {

// The focused path box, if any: Alt+Up/Down there opens its history as in every other box.
[[nodiscard]] QComboBox* FocusedComboBox()
{
    for (QWidget* Widget = QApplication::focusWidget(); Widget; Widget = Widget->parentWidget())
        if (auto* Box = qobject_cast<QComboBox*>(Widget))
            return Box;
    return nullptr;
}

}   // namespace

// ---------------------------------------------------------------------------------------------
// Navigation

void TfrmMain::CreateNavigationShortcuts()
{
    struct TBinding
    {
        QToolButton* Button;
        const char* Name;
        QKeySequence FunctionKey;   // none for First and Last
        QKeySequence AltKey;
        bool KeysInToolTip = true;   // the copy keys are extras: their tooltips keep the plain text
    };
    const TBinding Bindings[] = {
        {btnDiffNext, "scDiffNext", QKeySequence(Qt::Key_F8), QKeySequence(Qt::ALT | Qt::Key_Down)},
        {btnPrevDiff, "scPrevDiff", QKeySequence(Qt::Key_F7), QKeySequence(Qt::ALT | Qt::Key_Up)},
        {btnFirstDiff, "scFirstDiff", QKeySequence(), QKeySequence(Qt::ALT | Qt::Key_Home)},
        {btnLastDiff, "scLastDiff", QKeySequence(), QKeySequence(Qt::ALT | Qt::Key_End)},
        // Copying a block towards a side, as other comparison tools bind it.
        {btnLeftToRight, "scLeftToRight", QKeySequence(), QKeySequence(Qt::ALT | Qt::Key_Right), false},
        {btnRightToLeft, "scRightToLeft", QKeySequence(), QKeySequence(Qt::ALT | Qt::Key_Left), false},
    };
    for (const TBinding& Binding : Bindings) {
        QToolButton* Button = Binding.Button;
        QStringList KeyTexts;
        for (const QKeySequence& Key : {Binding.FunctionKey, Binding.AltKey}) {
            if (Key.isEmpty())
                continue;
            // Alt+Up and Alt+Down open the list of a focused path box, as in any drop-down box.
            const bool ListKey = Key[0].key() == Qt::Key_Up || Key[0].key() == Qt::Key_Down;
            auto* Shortcut = new QShortcut(Key, this);
            Shortcut->setObjectName(QLatin1String(Binding.Name) + (Key == Binding.AltKey ? QStringLiteral("Alt") : QString()));
            Shortcut->setContext(Qt::WindowShortcut);
            connect(Shortcut, &QShortcut::activated, this, [Button, ListKey] {
                if (ListKey) {
                    if (QComboBox* Box = FocusedComboBox()) {
                        Box->showPopup();
                        return;
                    }
                }
                // A disabled button (nothing compared yet) ignores its keys as it ignores clicks.
                Button->click();
            });
            KeyTexts.append(Key.toString(QKeySequence::NativeText));
        }
        const QString Tip = Button->toolTip() + QStringLiteral(" (") + KeyTexts.join(QStringLiteral(", ")) + QLatin1Char(')');
        if (Binding.KeysInToolTip)
            Button->setToolTip(Tip);
        Button->setStatusTip(Tip);
    }
    btnUndo->setStatusTip(btnUndo->toolTip() + QStringLiteral(" (")
                          + ActionUndo->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')'));
}

void TfrmMain::GoToDiffRow(int Row)
{
    const TGridScroll Scroll = ComputeGoToDiffRow(Row, grdDiff->RowCount(), grdDiff->FixedRows(),
                                                  grdDiff->VisibleRowCount());
    grdDiff->SetRow(Scroll.Row);   // the selection moves before the top row is set
    grdDiff->SetTopRow(Scroll.TopRow);
    ShowDifferenceOfRow(Scroll.Row);
}

void TfrmMain::btnFirstDiffClick()
{
    CommitOpenCellEdit();
    const std::int32_t Row = FindFirstDiffRow(NavigationItems());
    if (Row > 0)
        GoToDiffRow(Row);
}

void TfrmMain::btnLastDiffClick()
{
    CommitOpenCellEdit();
    const std::int32_t Row = FindLastDiffRow(NavigationItems());
    if (Row > 0)
        GoToDiffRow(Row);
}

void TfrmMain::btnDiffNextClick()
{
    CommitOpenCellEdit();
    const std::int32_t Row = FindDiffRowAfter(NavigationItems(), grdDiff->Row(), FFolderMode);
    if (Row <= 0)
        Platform.Beep();
    else
        GoToDiffRow(Row);
}

void TfrmMain::btnPrevDiffClick()
{
    CommitOpenCellEdit();
    const std::int32_t Row = FindDiffRowBefore(NavigationItems(), grdDiff->Row(), FFolderMode);
    if (Row <= 0)
        Platform.Beep();
    else
        GoToDiffRow(Row);
}

// ---------------------------------------------------------------------------------------------
// Merges

bool TfrmMain::RowsFollowLines() const
{
    return !FDiffRecomputeInProgress || !FLinesMovedSinceRows;
}

void TfrmMain::ChangeLinesAndRecompute(bool LinesMoved)
{
    // Once the newest request has handed back, the rows match the lines again.
    if (!FDiffRecomputeInProgress)
        FLinesMovedSinceRows = false;
    FLinesMovedSinceRows = FLinesMovedSinceRows || LinesMoved;
    Platform.SetPointer(TPointer::AppStarting);   // the hand-back restores the default pointer
    RecomputeDiffAsync();
}

void TfrmMain::PushUndoState()
{
    TUndoState State;
    State.LeftLines = FLeftLines;
    State.RightLines = FRightLines;
    State.SelectedRow = grdDiff->Row();
    State.SelectedCol = grdDiff->Col();
    State.TopRow = grdDiff->TopRow();
    FUndoStack.Push(std::move(State));
}

void TfrmMain::CopySelectedBlock(TMergeTarget Target)
{
    if (!SidesWritable()) {
        Platform.Beep();
        return;
    }
    EnsureFilesLoaded();
    CommitOpenCellEdit();
    const int R = grdDiff->Row();
    if (R <= 0 || R > FDiffItems.size())
        return;
    // The rows still show the alignment of lines a merge has moved since: a block read from
    // them would copy the wrong lines (a second click would insert its block twice).
    if (!RowsFollowLines()) {
        Platform.Beep();
        return;
    }
    // The copy is made on a copy of the target, so a block that is already alike (or an equal
    // row) leaves no undo step and no unsaved change behind: it only beeps.
    QStringList& TargetLines = Target == TMergeTarget::Right ? FRightLines : FLeftLines;
    QStringList NewLines = TargetLines;
    const bool Changed = Target == TMergeTarget::Right ? CopyBlockToRight(FDiffItems, R - 1, FLeftLines, NewLines)
                                                       : CopyBlockToLeft(FDiffItems, R - 1, FRightLines, NewLines);
    if (!Changed) {
        Platform.Beep();
        return;
    }
    PushUndoState();
    MarkSideChanged(Target == TMergeTarget::Right ? FRight : FLeft);
    // Lines replaced one for one keep every row's line where it was: further merges may go on.
    const bool LinesMoved = NewLines.size() != TargetLines.size();
    TargetLines = std::move(NewLines);
    btnUndo->setEnabled(true);
    ChangeLinesAndRecompute(LinesMoved);
}

void TfrmMain::CopyWholeSide(TMergeTarget Target)
{
    if (!SidesWritable()) {
        Platform.Beep();
        return;
    }
    EnsureFilesLoaded();
    CommitOpenCellEdit();
    if (LinesIdentical(FLeftLines, FRightLines)) {
        Platform.ShowMessage(TMessageKind::Information, QString::fromLatin1(FilesAlreadyIdenticalText));
        return;
    }
    PushUndoState();
    MarkSideChanged(Target == TMergeTarget::Right ? FRight : FLeft);
    btnUndo->setEnabled(true);
    const bool LinesMoved = FLeftLines.size() != FRightLines.size();
    if (Target == TMergeTarget::Right)
        FRightLines = FLeftLines;
    else
        FLeftLines = FRightLines;
    ChangeLinesAndRecompute(LinesMoved);
    SetStatus(QString::fromLatin1(Target == TMergeTarget::Right ? RightReplacedStatusText : LeftReplacedStatusText));
}

void TfrmMain::btnLeftToRightClick()
{
    CopySelectedBlock(TMergeTarget::Right);
}

void TfrmMain::btnRightToLeftClick()
{
    CopySelectedBlock(TMergeTarget::Left);
}

void TfrmMain::btnAllLeftDiffsToRightClick()
{
    CopyWholeSide(TMergeTarget::Right);
}

void TfrmMain::btnAllRightDiffsToLeftClick()
{
    CopyWholeSide(TMergeTarget::Left);
}

// ---------------------------------------------------------------------------------------------
// Undo

void TfrmMain::UndoLastMerge()
{
    if (FUndoStack.IsEmpty()) {
        Platform.Beep();
        return;
    }
    CommitOpenCellEdit();
    // The edit just written back is itself undoable: take the state it pushed, not an older one.
    std::optional<TUndoState> State = FUndoStack.Pop();
    if (!State)
        return;
    Platform.SetPointer(TPointer::AppStarting);
    const bool LinesMoved = State->LeftLines.size() != FLeftLines.size() || State->RightLines.size() != FRightLines.size();
    // A side the undo gives other text than it holds now no longer matches what was saved.
    if (State->LeftLines != FLeftLines)
        MarkSideChanged(FLeft);
    if (State->RightLines != FRightLines)
        MarkSideChanged(FRight);
    FLeftLines = std::move(State->LeftLines);
    FRightLines = std::move(State->RightLines);
    ChangeLinesAndRecompute(LinesMoved);

    // The position comes back at once, on the rows the grid has now; the recompute refills them.
    const TGridRestore Restore = ComputeGridRestore(*State, grdDiff->RowCount(), grdDiff->ColCount(),
                                                    grdDiff->FixedRows());
    if (Restore.Row >= 0)
        grdDiff->SetRow(Restore.Row);
    if (Restore.Col >= 0)
        grdDiff->SetCol(Restore.Col);
    if (Restore.TopRow >= 0)
        grdDiff->SetTopRow(Restore.TopRow);
}

void TfrmMain::ActionUndoExecute()
{
    if (!SidesWritable()) {
        Platform.Beep();
        return;
    }
    if (!FUndoStack.IsEmpty())
        UnsavedChanges = true;
    UndoLastMerge();
}

void TfrmMain::btnUndoClick()
{
    ActionUndo->trigger();
}
