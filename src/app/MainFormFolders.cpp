// The folder comparison.

#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "folder/FolderCompare.h"

#include <QFileInfo>
#include <QToolButton>

namespace {

[[nodiscard]] bool IsExistingFolder(const QString& Path)
{
    return QFileInfo(Path).isDir();
}

}   // namespace

void TfrmMain::miAsFolders1Click()
{
    if (UnsavedChanges && !Platform.Confirm(QStringLiteral("Compare the specified folders?\r\nCurrent changes will be lost.")))
        return;
    QString L, R;
    ReadPaths(L, R);
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, QStringLiteral("Please select both left and right folders."));
        return;
    }
    if (!IsExistingFolder(L) || !IsExistingFolder(R)) {
        Platform.ShowMessage(TMessageKind::Error,
                             QStringLiteral("Both paths must be existing folders for folder comparison."));
        return;
    }
    UnsavedChanges = false;
    CompareFolders(L, R);
    AddPathsToHistory(L, R, THistoryRule::Keeping);
    SaveSettings();
}

void TfrmMain::CompareFolders(const QString& L, const QString& R)
{
    HideGettingStarted();

    FFolderMode = true;
    for (QToolButton* Button : {btnPrevDiff, btnDiffNext, btnFirstDiff, btnLastDiff})
        Button->setEnabled(true);
    for (QToolButton* Button : {btnLeftToRight, btnRightToLeft, btnSaveLeft, btnSaveRight, btnUndo,
                                btnAllLeftDiffsToRight, btnAllRightDiffsToLeft})
        Button->setEnabled(false);

    // A merge still computing in the background must not land on the folder rows.
    DiscardPendingRecompute();
    ClearUndoStack();

    const TFolderComparison Comparison = CompareFolderTrees(L, R);

    FDiffItems = Comparison.Items;   // shared, not copied
    const int Rows = int(FDiffItems.size() + 1);
    grdDiff->SetRowCount(Rows);
    for (int Col = 0; Col < 3; ++Col)
        grdDiff->SetColumnTexts(Col, FolderGridColumn(Comparison, Col));
    UpdateAllRowHeights();
    // A new comparison starts at its top, wherever the previous one was scrolled to.
    if (Rows > 1) {
        grdDiff->SetTopRow(1);
        grdDiff->SetRow(1);
    }
    grdDiff->viewport()->update();

    SetStatus(FolderStatusText(Comparison.LeftFileCount, Comparison.RightFileCount));
    if (!HasDifferences())
        Platform.ShowMessage(TMessageKind::Information, QString::fromLatin1(FoldersIdenticalText));
    FocusComparisonRows();
}
