// A merge, an undo and a cell edit on two 100,000-line files through the real window: how long
// the click takes to return, and how long until the background recompute hands back, against
// one ComputeDiff on the same lists. Prints figures and ratios; it asserts nothing.

#include "support/app/WindowDriver.h"
#include "support/core/BenchTextPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

[[nodiscard]] double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

// Sleeps until an event arrives, as the real event loop does. (processEvents with a time limit
// drops WaitForMoreEvents and spins, taking a core from the recompute on a two-core machine.)
void WaitForEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

struct TTiming
{
    double ClickMs = 0;      // the command returns
    double ArrivalMs = 0;    // the queued hand-back reaches the UI thread
    double HandBackMs = 0;   // the new rows are in the grid and painted
};

// Notes when the first queued call reaches the application object (where the recompute hands
// back): the moment the result arrives, before the rows are refilled.
class TArrivalWatch : public QObject
{
public:
    QElapsedTimer* Timer = nullptr;
    double ArrivalMs = -1;

    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Timer && ArrivalMs < 0 && Watched == QCoreApplication::instance() && Event->type() == QEvent::MetaCall)
            ArrivalMs = Timer->nsecsElapsed() / 1e6;
        return false;
    }
};

// Runs a command the way a click does and waits, processing events, for the hand-back.
[[nodiscard]] TTiming Measure(TWindowDriver& D, const std::function<void()>& Command)
{
    TArrivalWatch Watch;
    QCoreApplication::instance()->installEventFilter(&Watch);
    QElapsedTimer Timer;
    Timer.start();
    Watch.Timer = &Timer;
    Command();
    TTiming Timing;
    Timing.ClickMs = Timer.nsecsElapsed() / 1e6;
    if (!D.Window->FDiffRecomputeInProgress)
        qFatal("the command requested no recompute");
    while (D.Window->FDiffRecomputeInProgress)
        WaitForEvents();
    D.Window->grdDiff->viewport()->repaint();
    Timing.HandBackMs = Timer.nsecsElapsed() / 1e6;
    Timing.ArrivalMs = Watch.ArrivalMs;
    QCoreApplication::instance()->removeEventFilter(&Watch);
    return Timing;
}

void Print(const char* Name, const std::vector<TTiming>& Runs, double DiffMs)
{
    std::vector<double> Click, Arrival, Back;
    for (const TTiming& Run : Runs) {
        Click.push_back(Run.ClickMs);
        Arrival.push_back(Run.ArrivalMs);
        Back.push_back(Run.HandBackMs);
    }
    const double BackMs = Median(Back);
    const double ArrivalMs = Median(Arrival);
    std::printf("  %-6s click returns %6.2f ms; result arrives after %5.1f ms (%.2f x ComputeDiff; target <= 2);"
                " rows refilled and painted after %5.1f ms (%.2f x)\n",
                Name, Median(Click), ArrivalMs, ArrivalMs / DiffMs, BackMs, BackMs / DiffMs);
}

}   // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);

    TWindowDriver D;
    D.Window->resize(1400, 850);
    const QString A = D.PathOf(QStringLiteral("a100k.txt")), B = D.PathOf(QStringLiteral("b100k.txt"));
    quorlane::test::WriteBenchTextPair(A, B, 100000, 10);
    D.SetPaths(A, B);
    D.Trigger("miAsTextFiles1");
    TfrmMain& W = *D.Window;
    std::printf("100,000 lines, 1%% changed: %lld left, %lld right, %lld rows\n",
                static_cast<long long>(W.FLeftLines.size()), static_cast<long long>(W.FRightLines.size()),
                static_cast<long long>(W.FDiffItems.size()));

    std::vector<double> Diff;
    for (int Run = 0; Run < 5; ++Run) {
        QElapsedTimer Timer;
        Timer.start();
        const TDiffItems Items = ComputeDiff(W.FLeftLines, W.FRightLines, W.CurrentDiffOptions());
        Diff.push_back(Timer.nsecsElapsed() / 1e6);
    }
    const double DiffMs = Median(Diff);
    std::printf("  one ComputeDiff on those lists: %.1f ms (median of 5)\n", DiffMs);

    // The same computation on a pool thread, its result queued back to this thread: the least
    // any background recompute can take.
    std::vector<double> Pool, PoolCompute;
    for (int Run = 0; Run < 5; ++Run) {
        QElapsedTimer Timer;
        Timer.start();
        bool Back = false;
        double ComputeMs = 0;
        const QStringList L = W.FLeftLines, R = W.FRightLines;
        const TDiffOptions Options = W.CurrentDiffOptions();
        QThreadPool::globalInstance()->start([&Back, &ComputeMs, L, R, Options] {
            QElapsedTimer Compute;
            Compute.start();
            TDiffItems Items = ComputeDiff(L, R, Options);
            ComputeMs = Compute.nsecsElapsed() / 1e6;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [&Back, Items = std::move(Items)] { Back = !Items.isEmpty(); },
                Qt::QueuedConnection);
        });
        while (!Back)
            WaitForEvents();
        Pool.push_back(Timer.nsecsElapsed() / 1e6);
        PoolCompute.push_back(ComputeMs);
    }
    std::printf("  the same on a pool thread, queued back: %.1f ms, of which ComputeDiff %.1f ms (medians of 5)\n",
                Median(Pool), Median(PoolCompute));

    // What the hand-back itself costs on the UI thread: refilling 100,000 rows with their
    // heights, and one paint.
    std::vector<double> Fill, Paint;
    for (int Run = 0; Run < 5; ++Run) {
        QElapsedTimer Timer;
        Timer.start();
        W.FillDiffGrid();
        Fill.push_back(Timer.nsecsElapsed() / 1e6);
        Timer.restart();
        W.grdDiff->viewport()->repaint();
        Paint.push_back(Timer.nsecsElapsed() / 1e6);
    }
    std::printf("  refill of the rows (FillDiffGrid) %.1f ms, one paint %.1f ms (medians of 5)\n", Median(Fill),
                Median(Paint));

    std::vector<TTiming> Merges, Undos, Edits;
    for (int Run = 0; Run < 5; ++Run) {
        // A block in the middle of the file, copied to the right, then undone.
        W.GoToDiffRow(W.grdDiff->RowCount() / 2 + Run * 1000);
        W.btnDiffNextClick();
        Merges.push_back(Measure(D, [&] { D.Click("btnLeftToRight"); }));
        Undos.push_back(Measure(D, [&] { D.Click("btnUndo"); }));
        // A line rewritten in place and written back with Enter.
        W.GoToDiffRow(W.grdDiff->RowCount() / 3 + Run * 1000);
        W.BeginCellEdit(1, W.grdDiff->Row());
        auto* Editor = D.Find<QPlainTextEdit>("FCellEditor");
        Editor->setPlainText(QStringLiteral("edited line %1").arg(Run));
        Edits.push_back(Measure(D, [&] { W.EndCellEdit(true); }));
    }
    std::printf("median of 5 runs each:\n");
    Print("merge", Merges, DiffMs);
    Print("undo", Undos, DiffMs);
    Print("edit", Edits, DiffMs);
    return 0;
}
