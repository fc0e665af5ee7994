// The document comparison through the local Tika server.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "text/TextFile.h"
#include "tika/Tika.h"

#include <QCoreApplication>

void TfrmMain::SetTikaEndpoint(const QUrl& Endpoint, int ReadTimeoutMs)
{
    FTikaEndpoint = Endpoint;
    FTikaReadTimeoutMs = ReadTimeoutMs;
}

void TfrmMain::miAsComplexDocumentsegPDFDOCXetcwithTIKA1Click()
{
    RunFileCompareCommand(&TfrmMain::CompareDocuments);
}

void TfrmMain::CompareDocuments(const QString& L, const QString& R)
{
    if (!CheckFilesToCompare(L, R))
        return;

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
        FLeft.Source = FRight.Source = TSideSource::Document;
        FLeft.Unsaved = FRight.Unsaved = false;
        FLeft.LineBreak = FRight.LineBreak = TLineBreak::Lf;
        ShowNewFileComparison();
        return;
    }

    FDiffItems.clear();
    FillDiffGrid();
    MarkComparisonFailed();
    Platform.SetPointer(TPointer::Default);
    const QString Failure = quorlane::ComposeTikaFailureText(LeftOk, LeftError, RightOk, RightError);
    ShowComparisonSummary(Failure, true);
    Platform.ShowMessage(TMessageKind::Warning,
                         quorlane::TikaFailureWarningText(Failure, QCoreApplication::applicationName()));
}
