// Result rows of a text comparison and the background recompute.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/RowNumbers.h"

#include <QCoreApplication>
#include <QPointer>
#include <QScopeGuard>
#include <QThreadPool>

#include <algorithm>
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

// The very same string: same data, same length, same null-ness. Assigning it again would only
// change two reference counts.
[[nodiscard]] bool SameString(const QString& A, const QString& B)
{
    const QString::DataPointer& X = A.data_ptr();
    const QString::DataPointer& Y = B.data_ptr();
    const bool SameBlock = X.isSharedWith(Y) || (!X.isMutable() && !Y.isMutable());
    return SameBlock && X.data() == Y.data() && X.size == Y.size;
}

}   // namespace

TDiffOptions TfrmMain::CurrentDiffOptions() const
{
    TDiffOptions Options;
    Options.IgnoreCase = fIgnoreCase;
    Options.IgnoreAllWhiteSpace = fIgnoreWhitespace;
    Options.IgnoreWsAmount = fIgnoreWSAmount;
    Options.IgnoreLeadingWhiteSpace = fIgnoreLeadingWS;
    Options.IgnoreTrailingWhiteSpace = fIgnoreTrailingWS;
    Options.IgnoreBlankLines = fIgnoreBlankLiness;
    return Options;
}

void TfrmMain::DiscardPendingRecompute()
{
    ++FDiffRecomputeJobId;   // every outstanding hand-back is now stale
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
    const QString* const LeftLines = FLeftLines.constData();
    const QString* const RightLines = FRightLines.constData();
    const qsizetype LeftCount = FLeftLines.size(), RightCount = FRightLines.size();
    const QString None;
    // Items may still name lines of lists that have changed since: check every index.
    auto LeftText = [&](const TDiffItem& Item) -> const QString& {
        return Item.LeftIndex >= 0 && Item.LeftIndex < LeftCount ? LeftLines[Item.LeftIndex] : None;
    };
    auto RightText = [&](const TDiffItem& Item) -> const QString& {
        return Item.RightIndex >= 0 && Item.RightIndex < RightCount ? RightLines[Item.RightIndex] : None;
    };
    // Row 0 is the header and carries no text, nor does the placeholder row of an empty result.
    auto WriteRows = [&](QString* NumberCells, QString* LeftCells, QString* RightCells, auto Put) {
        for (qsizetype R = 0; R < Rows; R = R == 0 ? N + 1 : R + 1) {
            Put(NumberCells[R], None);
            Put(LeftCells[R], None);
            Put(RightCells[R], None);
        }
        for (qsizetype I = 0; I < N; ++I) {
            Put(NumberCells[I + 1], RowNumberText(int(I + 1)));
            Put(LeftCells[I + 1], LeftText(Items[I]));
            Put(RightCells[I + 1], RightText(Items[I]));
        }
    };

    // A refill after a merge or an edit finds almost every cell already holding its string:
    // those cells are left alone, in place. A new comparison builds new columns at once, which
    // is cheaper than replacing every cell one by one.
    const qsizetype Shared = std::min<qsizetype>(N, grdDiff->RowCount() - 1);
    int Sampled = 0, Kept = 0;
    if (Shared >= 64) {
        const QString* const Cells = grdDiff->ColumnTexts(1).constData();
        for (qsizetype R = 1; R <= Shared; R += Shared / 64, ++Sampled)
            Kept += SameString(Cells[R], LeftText(Items[R - 1])) ? 1 : 0;
    }
    if (Sampled > 0 && Kept * 4 >= Sampled * 3) {
        grdDiff->SetRowCount(int(Rows));
        WriteRows(grdDiff->EditColumnTexts(0), grdDiff->EditColumnTexts(1), grdDiff->EditColumnTexts(2),
                  [](QString& Cell, const QString& Text) {
                      if (!SameString(Cell, Text))
                          Cell = Text;
                  });
    } else {
        QVector<QString> Numbers(Rows), Lefts(Rows), Rights(Rows);
        WriteRows(Numbers.data(), Lefts.data(), Rights.data(), [](QString& Cell, const QString& Text) { Cell = Text; });
        grdDiff->SetRowCount(int(Rows));
        grdDiff->SetColumnTexts(0, std::move(Numbers));
        grdDiff->SetColumnTexts(1, std::move(Lefts));
        grdDiff->SetColumnTexts(2, std::move(Rights));
    }
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
    QThreadPool::globalInstance()->start([Request = std::move(Request), Window]() mutable {
        TDiffItems Items;
        bool Computed = false;
        try {
            Items = ComputeDiff(Request->LeftCopy, Request->RightCopy, Request->Opts);
            Computed = true;
        } catch (const std::exception&) {
            // A failed computation hands nothing back; the window keeps the previous result.
        }
        const std::int32_t JobId = Request->JobId;
        Request.reset();   // the copies go as soon as the computation ends
        QCoreApplication* Application = QCoreApplication::instance();
        if (!Computed || !Application)
            return;
        QMetaObject::invokeMethod(
            Application,
            [Window, JobId, Items = std::move(Items)] {
                if (Window)
                    Window->DiffRecomputeHandBack(JobId, Items);
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
