// A folder comparison through the real window (listing, byte comparison of same-size pairs,
// rows, grid fill, row heights) of two trees of 100,000 files each, 1 % changed in size and 1 %
// changed with the same size, against `diff -rq` on the same trees, which also reads the
// same-size pairs. Whole process against whole process: this benchmark starts itself as a child
// that opens the window, compares and ends. Prints medians (warm cache), the ratio and the
// child's peak memory; asserts nothing.
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
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Runs = 5;

struct TRun
{
    double WallMs = 0;
    double PeakMb = 0;   // the child's peak resident memory
    int ExitCode = -1;
};

double NowMs()
{
    timespec T;
    ::clock_gettime(CLOCK_MONOTONIC, &T);
    return T.tv_sec * 1e3 + T.tv_nsec / 1e6;
}

// Runs Argv as a child process (its output thrown away when Quiet); its wall time and peak memory.
TRun RunProcess(const std::vector<std::string>& Argv, bool Quiet = true)
{
    std::vector<char*> Args;
    for (const std::string& A : Argv)
        Args.push_back(const_cast<char*>(A.c_str()));
    Args.push_back(nullptr);
    std::fflush(stdout);   // the child must not print this process's buffered output again
    const double Start = NowMs();
    const pid_t Pid = ::fork();
    if (Pid == 0) {
        if (Quiet && !std::freopen("/dev/null", "w", stdout))
            ::_exit(126);
        ::execvp(Args[0], Args.data());
        ::_exit(127);
    }
    int Status = 0;
    rusage Usage{};
    ::wait4(Pid, &Status, 0, &Usage);
    TRun Run;
    Run.WallMs = NowMs() - Start;
    Run.PeakMb = Usage.ru_maxrss / 1024.0;
    Run.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return Run;
}

TRun Median(const std::vector<std::string>& Argv)
{
    RunProcess(Argv);   // warm the caches
    std::vector<TRun> All;
    for (int I = 0; I < Runs; ++I)
        All.push_back(RunProcess(Argv));
    std::sort(All.begin(), All.end(), [](const TRun& A, const TRun& B) { return A.WallMs < B.WallMs; });
    TRun M = All[All.size() / 2];
    for (const TRun& R : All)
        M.PeakMb = std::max(M.PeakMb, R.PeakMb);
    return M;
}

// The child: a whole program run of "As Folders" in the real window, then the end.
int RunChild(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    TWindowDriver D;
    D.SetPaths(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    D.Trigger("miAsFolders1");
    std::printf("%s\n", qPrintable(D.Window->lblStatus->text()));
    return D.Window->FFolderMode ? 0 : 2;
}

template <typename F>
double MedianMs(F&& Work)
{
    Work();
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

}   // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--child")
        return RunChild(argc, argv);

    std::string Self(1024, '\0');
    const ssize_t N = ::readlink("/proc/self/exe", Self.data(), Self.size() - 1);
    Self.resize(size_t(std::max<ssize_t>(N, 0)));

    QTemporaryDir Temp;
    const std::string Base = argc > 1 ? argv[1] : Temp.path().toStdString();
    QDir().mkpath(QString::fromStdString(Base));
    quorlane::test::MakeBenchFolderTrees(QString::fromStdString(Base));
    const std::string L = Base + "/left", R = Base + "/right";

    const TRun Diff = Median({"diff", "-rq", L, R});
    std::printf("child status: ");
    std::fflush(stdout);
    RunProcess({Self, "--child", L, R}, false);
    const TRun Window = Median({Self, "--child", L, R});

    // In this process, for where the time goes.
    const double Rows = MedianMs([&] { (void)CompareFolderTrees(QString::fromStdString(L), QString::fromStdString(R)); });

    std::printf("\n%-52s %9s %9s %9s\n", "two trees of 100,000 files, 1 % + 1 % changed", "wall ms", "ratio", "peak MB");
    std::printf("%-52s %9.1f %9.2f %9.1f\n", "diff -rq (exit code 1: differences)", Diff.WallMs, 1.0, Diff.PeakMb);
    std::printf("%-52s %9.1f %9.2f %9.1f\n", "quorlane window, \"As Folders\", whole process", Window.WallMs,
                Window.WallMs / Diff.WallMs, Window.PeakMb);
    std::printf("%-52s %9.1f %9.2f\n", "  CompareFolderTrees alone (listing, bytes, rows)", Rows, Rows / Diff.WallMs);
    std::printf("target: ratio at most 1.00, peak below 300 MB; diff exit code %d, window exit code %d\n",
                Diff.ExitCode, Window.ExitCode);
    return 0;
}
