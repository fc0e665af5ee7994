// Result rows of a text comparison and the background recompute.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/RowNumbers.h"
#include "app/SettingsBindings.h"
#include "text/OutOfMemory.h"

#include <QCoreApplication>
#include <QPointer>
#include <QScopeGuard>

#include <new>
#include <QThreadPool>

#include <memory>

namespace {

// What a background request carries to the worker: private copies (Qt's implicit sharing makes
// the copy cheap and safe; the UI thread detaches when it changes its lists).
struct TRecomputeRequest
{
    TDiffOptions Opts;
    QStringList LeftCopy;
    QStringList RightCopy;
    std::int32_t JobId = 0;
};

// Assigns Text unless Cell already is the very same string (same data, same length, same
// null-ness), which spares rewriting a cell that would not change.
void PutCell(QString& Cell, const QString& Text)
{
    const QString::DataPointer& X = Cell.data_ptr();
    const QString::DataPointer& Y = Text.data_ptr();
    const bool SameBlock = X.isSharedWith(Y) || (!X.isMutable() && !Y.isMutable());
    if (!SameBlock || X.data() != Y.data() || X.size != Y.size)
        Cell = Text;
}

}   // namespace

TDiffOptions TfrmMain::CurrentDiffOptions() const
{
    TDiffOptions Options;
    for (const TOptionBinding& B : OptionBindings)
        Options.*B.Diff = this->*B.Window;
    return Options;
}

void TfrmMain::DiscardPendingRecompute()
{
    ++FDiffRecomputeJobId;   // every outstanding hand-back is now stale
    // The busy pointer of a cancelled request would wait for a hand-back that never comes.
    if (FDiffRecomputeInProgress)
        Platform.SetPointer(TPointer::Default);
    SetDiffRecomputeInProgress(false);
}

void TfrmMain::RunDiff()
{
    DiscardPendingRecompute();
    FFolderMode = false;
    if (FLeftLines.isEmpty() && FRightLines.isEmpty()) {
        // Nothing to align: show an empty result rather than rows of lines that are gone.
        FDiffItems.clear();
    } else {
        FDiffItems = ComputeDiff(FLeftLines, FRightLines, CurrentDiffOptions());
    }
    FillDiffGrid();
    Platform.SetPointer(TPointer::Default);
}

void TfrmMain::FillDiffGrid()
{
    const qsizetype N = FDiffItems.size();
    const qsizetype Rows = qMax<qsizetype>(N + 1, 2);
    const TDiffItem* const Items = FDiffItems.constData();
    const qsizetype LeftCount = FLeftLines.size(), RightCount = FRightLines.size();
    // The text columns share the line lists and keep one index per row: copying every line
    // into the grid costs an atomic reference count change on a cold string per cell.
    // Row 0 is the header and shows no line, nor does the placeholder row of an empty result.
    QVector<std::int32_t> LeftIndex(Rows, -1), RightIndex(Rows, -1);
    std::int32_t* const Lefts = LeftIndex.data();
    std::int32_t* const Rights = RightIndex.data();
    for (qsizetype I = 0; I < N; ++I) {
        const TDiffItem& Item = Items[I];
        // Items may still name lines of lists that have changed since: check every index.
        if (Item.LeftIndex >= 0 && Item.LeftIndex < LeftCount)
            Lefts[I + 1] = Item.LeftIndex;
        if (Item.RightIndex >= 0 && Item.RightIndex < RightCount)
            Rights[I + 1] = Item.RightIndex;
    }
    grdDiff->SetRowCount(int(Rows));
    // The numbers are written in place: most cells already hold their number.
    QString* const Numbers = grdDiff->EditColumnTexts(0);
    const QString None;
    PutCell(Numbers[0], None);
    for (qsizetype I = 0; I < N; ++I)
        PutCell(Numbers[I + 1], RowNumberText(int(I + 1)));
    for (qsizetype R = N + 1; R < Rows; ++R)
        PutCell(Numbers[R], None);
    grdDiff->SetColumnLines(1, FLeftLines, std::move(LeftIndex));
    grdDiff->SetColumnLines(2, FRightLines, std::move(RightIndex));
    UpdateAllRowHeights();
    grdDiff->viewport()->update();
}

void TfrmMain::SetDiffRecomputeInProgress(bool Value)
{
    if (FDiffRecomputeInProgress != Value)
        FDiffRecomputeInProgress = Value;
}

void TfrmMain::RecomputeDiffAsync()
{
    if (FLeftLines.isEmpty() && FRightLines.isEmpty()) {
        // No request is made; but the rows must not keep naming lines that are gone, and the busy
        // pointer of the caller must end.
        DiscardPendingRecompute();
        FFolderMode = false;
        FDiffItems.clear();
        FillDiffGrid();
        Platform.SetPointer(TPointer::Default);
        ShowComparisonSummary(LineCountPrefix(0, 0), false);
        return;
    }

    auto Request = std::make_shared<TRecomputeRequest>();
    Request->Opts = CurrentDiffOptions();
    Request->LeftCopy = FLeftLines;
    Request->RightCopy = FRightLines;
    Request->JobId = ++FDiffRecomputeJobId;
    SetDiffRecomputeInProgress(true);

    // The hand-back goes through the application object: it outlives the window, and the
    // QPointer, checked on the UI thread, drops the result when the window is gone.
    QPointer<TfrmMain> Window(this);
    bool Started = false;
    const auto ClearFlagIfNotStarted = qScopeGuard([&] {
        if (!Started)
            SetDiffRecomputeInProgress(false);
    });
    QThreadPool::globalInstance()->start([Request = std::move(Request), Window, Compute = FRecomputeDiff]() mutable {
        TDiffItems Items;
        QString Failure;
        bool OutOfMemory = false;
        try {
            Items = Compute(Request->LeftCopy, Request->RightCopy, Request->Opts);
        } catch (const std::bad_alloc&) {
            Failure = QStringLiteral("out of memory");
            OutOfMemory = true;
        } catch (const std::exception& Error) {
            Failure = QString::fromUtf8(Error.what());
            if (Failure.isEmpty())
                Failure = QStringLiteral("unknown error");
        }
        const std::int32_t JobId = Request->JobId;
        Request.reset();   // the copies go as soon as the computation ends
        QCoreApplication* Application = QCoreApplication::instance();
        if (!Application)
            return;
        QMetaObject::invokeMethod(
            Application,
            [Window, JobId, Items = std::move(Items), Failure, OutOfMemory] {
                if (!Window)
                    return;
                if (Failure.isEmpty())
                    Window->DiffRecomputeHandBack(JobId, Items);
                else
                    Window->DiffRecomputeFailed(JobId, Failure, OutOfMemory);
            },
            Qt::QueuedConnection);
    });
    Started = true;
}

void TfrmMain::DiffRecomputeHandBack(std::int32_t JobId, const TDiffItems& Items)
{
    if (JobId != FDiffRecomputeJobId)
        return;   // a newer request, or new lines, have made this result stale
    RunCommand([&] {
        FFolderMode = false;
        FDiffItems = Items;
        FillDiffGrid();
        Platform.SetPointer(TPointer::Default);
        ShowComparisonSummary(LineCountPrefix(FLeftLines.size(), FRightLines.size()), false);
        SetDiffRecomputeInProgress(false);
    });
}

void TfrmMain::DiffRecomputeFailed(std::int32_t JobId, const QString& Reason, bool OutOfMemory)
{
    if (JobId != FDiffRecomputeJobId)
        return;
    // The old rows no longer fit the changed lines, so they go; the lines themselves are intact
    // and can still be saved or compared again.
    DiscardPendingRecompute();   // also ends the busy pointer
    FDiffItems.clear();
    FillDiffGrid();
    if (OutOfMemory) {
        QString L, R;
        ReadPaths(L, R);
        Platform.ShowMessage(TMessageKind::Error, NotEnoughMemoryToCompareText(L, R));
        return;
    }
    Platform.ShowMessage(TMessageKind::Error,
                         QStringLiteral("The differences could not be computed again (%1).").arg(Reason));
}
