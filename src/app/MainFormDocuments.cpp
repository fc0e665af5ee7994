// The document comparison through the local Tika server.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "text/TextFile.h"
#include "tika/Tika.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

[[nodiscard]] bool IsExistingFile(const QString& Path)
{
    return QFileInfo(Path).isFile();
}

const QString SelectBothFilesText = QStringLiteral("Please select both left and right files.");

}   // namespace

void TfrmMain::SetTikaEndpoint(const QUrl& Endpoint, int ReadTimeoutMs)
{
    FTikaEndpoint = Endpoint;
    FTikaReadTimeoutMs = ReadTimeoutMs;
}

void TfrmMain::miAsComplexDocumentsegPDFDOCXetcwithTIKA1Click()
{
    if (UnsavedChanges
        && !Platform.Confirm(QStringLiteral("Load and compare the specified files?\r\nCurrent changes will be lost.")))
        return;
    QString L, R;
    ReadPaths(L, R);
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, SelectBothFilesText);
        return;
    }
    if (!IsExistingFile(L) || !IsExistingFile(R)) {
        Platform.ShowMessage(TMessageKind::Error, QStringLiteral("Both paths must be existing files for files comparison."));
        return;
    }
    CompareDocuments(L, R);
    AddPathsToHistory(L, R, THistoryRule::Keeping);
    SaveSettings();
}

void TfrmMain::CompareDocuments(const QString& L, const QString& R)
{
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, SelectBothFilesText);
        return;
    }
    if (!IsExistingFile(L)) {
        Platform.ShowMessage(TMessageKind::Error, QStringLiteral("Left file does not exist."));
        return;
    }
    if (!IsExistingFile(R)) {
        Platform.ShowMessage(TMessageKind::Error, QStringLiteral("Right file does not exist."));
        return;
    }

    HideGettingStarted();
    FFolderMode = false;
    EnableTextModeButtons();

    UnsavedChanges = false;
    DiscardPendingRecompute();
    ClearUndoStack();
    FLeftLines.clear();
    FRightLines.clear();

    // The right document is sent even when the left one failed, so the message names both.
    QString LeftText, LeftError, RightText, RightError;
    const bool LeftOk = quorlane::ExtractTextWithTika(L, LeftText, LeftError, FTikaEndpoint, FTikaReadTimeoutMs);
    if (LeftOk) {
        FLeftLines = SplitTextLines(LeftText);
        FLeftEncoding = TTextEncoding::Utf8;
        FLeftHasBOM = true;
        FLeftEncName = QString::fromLatin1(EncNameUtf8Bom);
    }
    LeftText.clear();
    const bool RightOk = quorlane::ExtractTextWithTika(R, RightText, RightError, FTikaEndpoint, FTikaReadTimeoutMs);
    if (RightOk) {
        FRightLines = SplitTextLines(RightText);
        FRightEncoding = TTextEncoding::Utf8;
        FRightHasBOM = true;
        FRightEncName = QString::fromLatin1(EncNameUtf8Bom);
    }
    RightText.clear();

    if (LeftOk && RightOk) {
        RunDiff();
        grdDiff->SetTopRow(1);
        grdDiff->SetRow(1);
        if (!HasDifferences())
            Platform.ShowMessage(TMessageKind::Information, QStringLiteral("The files are identical."));
        ShowComparisonSummary(LineCountPrefix(FLeftLines.size(), FRightLines.size()), true);
        return;
    }

    FDiffItems.clear();
    FillDiffGrid();
    Platform.SetPointer(TPointer::Default);
    const QString Failure = quorlane::ComposeTikaFailureText(LeftOk, LeftError, RightOk, RightError);
    ShowComparisonSummary(Failure, true);
    Platform.ShowMessage(TMessageKind::Warning,
                         quorlane::TikaFailureWarningText(Failure, QCoreApplication::applicationName()));
}
