// Comparing two files through the real window against GNU diff, and the feel of a big result.
// Prints figures and ratios; it asserts nothing.

#include "support/app/WindowDriver.h"
#include "support/core/BenchTextPair.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

[[nodiscard]] double RunProcessMs(const QString& Program, const QStringList& Arguments)
{
    QProcess Process;
    Process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer Timer;
    Timer.start();
    Process.start(Program, Arguments);
    if (!Process.waitForFinished(600000))
        qFatal("%s did not finish", qPrintable(Program));
    return Timer.nsecsElapsed() / 1e6;
}

[[nodiscard]] double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

// Click to grid filled and summary shown; the summary box is answered by the recording platform.
[[nodiscard]] double CompareThroughWindowMs(TWindowDriver& D, const QString& Left, const QString& Right)
{
    D.SetPaths(Left, Right);
    D.Platform.Clear();
    QElapsedTimer Timer;
    Timer.start();
    D.Trigger("miAsTextFiles1");
    D.Window->grdDiff->viewport()->repaint();
    const double Ms = Timer.nsecsElapsed() / 1e6;
    if (D.Platform.Messages.isEmpty() || D.Window->grdDiff->RowCount() < 2)
        qFatal("the comparison did not complete");
    return Ms;
}

// Where the window's time goes, phase by phase, on the same files.
void PrintBreakdown(TWindowDriver& D, const QString& Left, const QString& Right)
{
    TfrmMain& W = *D.Window;
    QElapsedTimer Timer;
    auto Lap = [&Timer] {
        const double Ms = Timer.nsecsElapsed() / 1e6;
        Timer.restart();
        return Ms;
    };
    QStringList L, R;
    TTextEncoding Encoding;
    bool HasBOM;
    QString Name;
    Timer.start();
    LoadTextFile(Left, L, Encoding, HasBOM, Name);
    LoadTextFile(Right, R, Encoding, HasBOM, Name);
    const double Load = Lap();
    const TDiffItems Items = ComputeDiff(L, R, W.CurrentDiffOptions());
    const double Align = Lap();
    W.FLeftLines = L;
    W.FRightLines = R;
    W.FDiffItems = Items;
    Lap();
    W.FillDiffGrid();
    const double Fill = Lap();
    W.UpdateAllRowHeights();
    const double Heights = Lap();
    std::printf("  phases: load both (one after the other) %.1f ms, align %.1f ms, rows incl. heights %.1f ms (heights alone %.1f ms)\n",
                Load, Align, Fill, Heights);
}

}   // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    const QString Diff = QStandardPaths::findExecutable(QStringLiteral("diff"));
    const QString Cat = QStandardPaths::findExecutable(QStringLiteral("cat"));
    if (Diff.isEmpty() || Cat.isEmpty())
        qFatal("GNU diff and cat are needed");

    TWindowDriver D;
    D.Window->resize(1400, 850);

    // 1. 100,000 lines, 1% changed: the window against diff --minimal plus cat.
    {
        const QString A = D.PathOf(QStringLiteral("a100k.txt")), B = D.PathOf(QStringLiteral("b100k.txt"));
        quorlane::test::WriteBenchTextPair(A, B, 100000, 10);
        std::vector<double> Tool, Window;
        for (int Run = 0; Run < 3; ++Run) {
            Tool.push_back(RunProcessMs(Diff, {QStringLiteral("--minimal"), A, B}) + RunProcessMs(Cat, {A, B}));
            Window.push_back(CompareThroughWindowMs(D, A, B));
        }
        const double ToolMs = Median(Tool), WindowMs = Median(Window);
        std::printf("100,000 lines, 1%% changed (%lld rows)\n", static_cast<long long>(D.Window->FDiffItems.size()));
        std::printf("  GNU diff --minimal + cat : %8.1f ms\n", ToolMs);
        std::printf("  window, click to summary : %8.1f ms\n", WindowMs);
        std::printf("  ratio                    : %8.2f x   (target <= 3)\n", WindowMs / ToolMs);
        PrintBreakdown(D, A, B);
    }

    // 2. 1,000,000 lines, 0.5% changed: rows shown, then one screen after a jump to the middle.
    {
        const QString A = D.PathOf(QStringLiteral("a1m.txt")), B = D.PathOf(QStringLiteral("b1m.txt"));
        quorlane::test::WriteBenchTextPair(A, B, 1000000, 5);
        const double ToolMs = RunProcessMs(Diff, {QStringLiteral("--minimal"), A, B}) + RunProcessMs(Cat, {A, B});
        const double WindowMs = CompareThroughWindowMs(D, A, B);
        TDiffGrid* Grid = D.Window->grdDiff;
        std::vector<double> Jump;
        for (int Run = 0; Run < 5; ++Run) {
            QElapsedTimer Timer;
            Timer.start();
            Grid->SetTopRow(Grid->RowCount() / 2 + Run * 997);
            Grid->viewport()->repaint();
            Jump.push_back(Timer.nsecsElapsed() / 1e6);
        }
        std::vector<double> Resize;
        for (int Run = 0; Run < 3; ++Run) {
            QElapsedTimer Timer;
            Timer.start();
            D.Window->resize(Run % 2 ? 1400 : 1100, 850);
            QCoreApplication::processEvents();
            Grid->viewport()->repaint();
            Resize.push_back(Timer.nsecsElapsed() / 1e6);
        }
        std::printf("1,000,000 lines, 0.5%% changed (%d rows)\n", Grid->RowCount() - 1);
        std::printf("  GNU diff --minimal + cat : %8.1f ms\n", ToolMs);
        std::printf("  window, click to summary : %8.1f ms   (ratio %.2f x)\n", WindowMs, WindowMs / ToolMs);
        std::printf("  jump to the middle, paint one screen: %6.2f ms (median of 5; %d rows visible)\n",
                    Median(Jump), Grid->VisibleRowCount());
        std::printf("  window resize, re-measure and paint : %6.1f ms (median of 3)\n", Median(Resize));
        PrintBreakdown(D, A, B);
    }
    return 0;
}
