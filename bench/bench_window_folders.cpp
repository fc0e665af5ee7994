// A folder comparison through the real window (listing, rows, grid fill, row heights) of two
// trees of 100,000 files each, against `find` listing both trees with sizes and times, and
// against the listing and rows alone. Prints medians (warm cache) and ratios; asserts nothing.
//
//   bench_window_folders [tree-folder]
//
// The trees are made once in tree-folder (default: a fresh temporary folder, removed afterwards).

#include "support/core/BenchFolderTrees.h"
#include "folder/FolderCompare.h"
#include "support/app/WindowDriver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Runs = 5;

template <typename F>
double MedianMs(F&& Work)
{
    Work();   // warm the caches
    std::vector<double> Times;
    for (int I = 0; I < Runs; ++I) {
        QElapsedTimer Timer;
        Timer.start();
        Work();
        Times.push_back(Timer.nsecsElapsed() / 1e6);
    }
    std::sort(Times.begin(), Times.end());
    return Times[Times.size() / 2];
}

void RunFind(const QString& Tree)
{
    QProcess Process;
    Process.setStandardOutputFile(QProcess::nullDevice());
    Process.start(QStringLiteral("find"), {Tree, QStringLiteral("-printf"), QStringLiteral("%p %s %T@\\n")});
    if (!Process.waitForFinished(-1) || Process.exitCode() != 0)
        qFatal("find failed");
}

}   // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    QTemporaryDir Temp;
    const QString Base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path();
    QDir().mkpath(Base);
    quorlane::test::MakeBenchFolderTrees(Base);
    const QString L = Base + QStringLiteral("/left"), R = Base + QStringLiteral("/right");

    const double Find = MedianMs([&] {
        RunFind(L);
        RunFind(R);
    });
    const double Rows = MedianMs([&] { (void)CompareFolderTrees(L, R); });

    TWindowDriver D;
    D.SetPaths(L, R);
    const double Window = MedianMs([&] {
        D.Platform.Clear();
        D.Trigger("miAsFolders1");
    });
    // The first paint of the result, as the user sees it.
    QElapsedTimer Paint;
    Paint.start();
    D.Window->repaint();
    const double PaintMs = Paint.nsecsElapsed() / 1e6;

    std::printf("rows: %d, status: %s\n", D.Window->grdDiff->RowCount() - 1,
                qPrintable(D.Window->lblStatus->text()));
    std::printf("find -printf '%%p %%s %%T@\\n', both trees  %8.1f ms\n", Find);
    std::printf("CompareFolderTrees (listing and rows)     %8.1f ms   ratio to find %5.2f\n", Rows, Rows / Find);
    std::printf("\"As Folders\" in the window (all of it)    %8.1f ms   ratio to find %5.2f (target: at most 2)\n",
                Window, Window / Find);
    std::printf("  of which grid fill, heights, status     %8.1f ms\n", Window - Rows);
    std::printf("one repaint of the window afterwards      %8.1f ms\n", PaintMs);
    return 0;
}
