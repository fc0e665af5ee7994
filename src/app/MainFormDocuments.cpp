// The document comparison through the local Tika server.

#include "app/BusyInput.h"
#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "text/TextFile.h"
#include "tika/Tika.h"
#include "tika/TikaServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>

namespace {

// While the window waits for the Tika server: the wait pointer, and only Esc and the close
// button get through.
struct TTikaWait
{
    explicit TTikaWait(TfrmMain& Window)
        : Input(Window, [this] { Cancel.Cancel(); })
    {
        Window.Platform.SetPointer(TPointer::Hourglass);
    }

    quorlane::TTikaCancel Cancel;
    TBusyInput Input;

    // The window filters input itself, so the waits let it through to the filter.
    static constexpr QEventLoop::ProcessEventsFlags WaitFlags = QEventLoop::AllEvents;
};

QString ExtractingText(const QString& FileName)
{
    return QStringLiteral("Extracting the text of %1 with the Tika server\u2026 Press Esc to cancel.")
        .arg(QFileInfo(FileName).fileName());
}

}   // namespace

void TfrmMain::SetTikaEndpoint(const QUrl& Endpoint, int ReadTimeoutMs, int DeadlineMs)
{
    FTikaEndpoint = Endpoint;
    FTikaReadTimeoutMs = ReadTimeoutMs;
    FTikaDeadlineMs = DeadlineMs;
}

quorlane::TTikaServerFiles TfrmMain::TikaServerFiles() const
{
    return FFindTikaServerFiles ? FFindTikaServerFiles()
                                : quorlane::FindTikaServerFiles(QCoreApplication::applicationDirPath());
}

void TfrmMain::miAsComplexDocumentsegPDFDOCXetcwithTIKA1Click()
{
    const auto RestorePointer = qScopeGuard([this] { Platform.SetPointer(TPointer::Default); });
    RunFileCompareCommand(&TfrmMain::CompareDocuments);
}

bool TfrmMain::EnsureTikaServer(const quorlane::TTikaCancel& Cancel, QString& Error)
{
    using quorlane::TTikaServer;
    if (!quorlane::IsLocalEndpoint(FTikaEndpoint))
        return true;
    if (FTikaServer && FTikaServer->IsReady())
        return true;
    const QString Starting = QStringLiteral("Starting the document text server\u2026 Press Esc to cancel.");
    if (FTikaServer && FTikaServer->IsRunning()) {
        // Ours, still coming up from an earlier attempt.
        SetStatus(Starting);
        return FTikaServer->WaitUntilReady(FTikaServerStartMs, TTikaWait::WaitFlags, &Cancel, Error);
    }
    if (quorlane::SomethingListens(FTikaEndpoint, TTikaWait::WaitFlags))
        return true;   // someone else's server: used, never stopped by us
    const quorlane::TTikaServerFiles Files = TikaServerFiles();
    if (!Files.Complete())
        return true;   // the requests fail as refused, and the hint names what is missing
    SetStatus(Starting);
    FTikaServer = std::make_unique<TTikaServer>();
    return FTikaServer->Start(Files, quint16(FTikaEndpoint.port(quorlane::TikaDefaultPort)), FTikaServerStartMs,
                              TTikaWait::WaitFlags, &Cancel, Error);
}

void TfrmMain::CompareDocuments(const QString& L, const QString& R)
{
    if (!CheckFilesToCompare(L, R))
        return;

    ClearWorkspaceForFiles();

    // The right document is sent even when the left one failed, so the message names both;
    // a cancel ends both.
    quorlane::TTikaExtraction Left, Right;
    // Looked at before the text is taken, so a change while the server reads shows later.
    TLoadedFile LeftDocument = RecordOfDocument(L), RightDocument = RecordOfDocument(R);
    bool Cancelled = false;
    bool CloseRequested = false;
    {
        TTikaWait Wait(*this);
        quorlane::TTikaRequest Request;
        Request.Endpoint = FTikaEndpoint;
        Request.ReadTimeoutMs = FTikaReadTimeoutMs;
        Request.DeadlineMs = FTikaDeadlineMs;
        Request.AnswerLimitBytes = FTikaAnswerLimitBytes;
        Request.WaitFlags = TTikaWait::WaitFlags;
        Request.Cancel = &Wait.Cancel;
        QString StartError;
        if (EnsureTikaServer(Wait.Cancel, StartError)) {
            SetStatus(ExtractingText(L));
            Left = quorlane::ExtractTextWithTika(L, Request);
            SetStatus(ExtractingText(R));
            Right = quorlane::ExtractTextWithTika(R, Request);
        } else {
            Left.Error = Right.Error = StartError;
        }
        Cancelled = Wait.Cancel.IsCancelled();
        CloseRequested = Wait.Input.CloseRequested();
    }
    if (CloseRequested)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);

    if (Left.Ok) {
        FLeftLines = std::move(Left.Lines);
        FLeftEncoding = TTextEncoding::Utf8;
        FLeftHasBOM = true;
        FLeftEncName = QString::fromLatin1(EncNameUtf8Bom);
        FLeft.Loaded = std::move(LeftDocument);
    }
    if (Right.Ok) {
        FRightLines = std::move(Right.Lines);
        FRightEncoding = TTextEncoding::Utf8;
        FRightHasBOM = true;
        FRightEncName = QString::fromLatin1(EncNameUtf8Bom);
        FRight.Loaded = std::move(RightDocument);
    }

    if (Left.Ok && Right.Ok) {
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
    const QString Failure = quorlane::ComposeTikaFailureText(Left.Ok, Left.Error, Right.Ok, Right.Error);
    ShowComparisonSummary(Failure, true);
    if (CloseRequested)
        return;   // the user is leaving: no box in the way
    // A cancel needs no advice on getting a server, nor does a server that answered it could
    // not read a document.
    const bool ServerRead = (Left.Ok || Left.Unreadable) && (Right.Ok || Right.Unreadable);
    const QString Hint = Cancelled || ServerRead ? QString()
                                   : quorlane::TikaServerHint(TikaServerFiles(), QCoreApplication::applicationName(),
                                                              quorlane::TikaServerFetchCommand(
                                                                  QCoreApplication::applicationDirPath()));
    Platform.ShowMessage(TMessageKind::Warning, quorlane::TikaFailureWarningText(Failure, Hint));
}
