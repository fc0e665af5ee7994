// The automatic comparison: the main command and "Automatically".

#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "text/FileKind.h"
#include "text/PathBytes.h"
#include "text/TextFile.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <utility>

void TfrmMain::btnCompareClick()
{
    // Asked before the paths are looked at, with the files' wording also for two folders.
    if (!ConfirmLoadFiles())
        return;
    QString L, R;
    ReadPaths(L, R);
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, QStringLiteral("Please select both left and right files or folders."));
        return;
    }

    const bool LeftIsFolder = PathKindOf(L) == TPathKind::Folder;
    const bool RightIsFolder = PathKindOf(R) == TPathKind::Folder;
    if (LeftIsFolder || RightIsFolder) {
        if (!LeftIsFolder || !RightIsFolder) {
            Platform.ShowMessage(TMessageKind::Error, QStringLiteral("Both paths must be folders for folder comparison."));
            return;
        }
        if (!CompareFolders(L, R))
            return;
    } else {
        // The hourglass stays until the comparison has ended, however it ends (an error too).
        Platform.SetPointer(TPointer::Hourglass);
        const auto RestorePointer = qScopeGuard([this] { Platform.SetPointer(TPointer::Default); });
        // Names decide first; the probe reads only when not both are documents, and R is not
        // probed once L has failed. What is neither text nor named a document is compared by
        // its bytes.
        if (IsComplexDocument(L) && IsComplexDocument(R))
            CompareDocuments(L, R);
        else if (IsTextFile(L) && IsTextFile(R))
            CompareTextFiles(L, R);
        else if (IsComplexDocument(L) || IsComplexDocument(R))
            CompareDocuments(L, R);
        else
            CompareBinaryFiles(L, R);
    }

    AddPathsToHistory(L, R, THistoryRule::Moving);
    SaveSettings();
}

void TfrmMain::miAutomatically1Click()
{
    btnCompareClick();
}
