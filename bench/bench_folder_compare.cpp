// Folder comparison of two trees of 100,000 files each (1 % changed in size, 1 % with the same
// size) against `find` listing both trees with sizes and times, and against `diff -rq`, which
// also reads the same-size pairs. Prints milliseconds (median of the timed runs, warm cache) and
// the ratios.
//
//   bench_folder_compare [tree-folder]
//
// The trees are made once in tree-folder (default: a fresh temporary folder, removed afterwards);
// give a folder to keep them for later runs.

#include "support/core/BenchFolderTrees.h"
#include "folder/FolderCompare.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int Runs = 5;

// User plus system time of this process (both threads) and of its finished children, in ms.
double CpuMs()
{
    auto Ms = [](int Who) {
        rusage U;
        ::getrusage(Who, &U);
        return (U.ru_utime.tv_sec + U.ru_stime.tv_sec) * 1e3 + (U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e3;
    };
    return Ms(RUSAGE_SELF) + Ms(RUSAGE_CHILDREN);
}

struct TFigures
{
    double WallMs = 0;   // median
    double CpuMs = 0;    // median
};

template <typename F>
TFigures Measure(F&& Work)
{
    Work();   // warm the caches
    std::vector<double> Wall, Cpu;
    for (int i = 0; i < Runs; ++i) {
        const double Cpu0 = CpuMs();
        QElapsedTimer T;
        T.start();
        Work();
        Wall.push_back(double(T.nsecsElapsed()) / 1e6);
        Cpu.push_back(CpuMs() - Cpu0);
    }
    std::sort(Wall.begin(), Wall.end());
    std::sort(Cpu.begin(), Cpu.end());
    return {Wall[Wall.size() / 2], Cpu[Cpu.size() / 2]};
}

void RunFind(const QString& Tree)
{
    QProcess P;
    P.setStandardOutputFile(QProcess::nullDevice());
    P.start("find", {Tree, "-printf", "%p %s %T@\\n"});
    if (!P.waitForFinished(-1) || P.exitCode() != 0) {
        std::fprintf(stderr, "find failed\n");
        std::exit(1);
    }
}

void RunDiff(const QString& L, const QString& R)
{
    QProcess P;
    P.setStandardOutputFile(QProcess::nullDevice());
    P.start("diff", {"-rq", L, R});
    if (!P.waitForFinished(-1) || P.exitCode() > 1) {
        std::fprintf(stderr, "diff failed\n");
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    QTemporaryDir Temp;
    const QString Base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : Temp.path();
    QDir().mkpath(Base);
    quorlane::test::MakeBenchFolderTrees(Base);
    const QString L = Base + "/left", R = Base + "/right";

    const TFigures Find = Measure([&] {
        RunFind(L);
        RunFind(R);
    });
    std::printf("find -printf '%%p %%s %%T@\\n', both trees: %7.1f ms wall, %7.1f ms cpu\n", Find.WallMs, Find.CpuMs);
    const TFigures Diff = Measure([&] { RunDiff(L, R); });
    std::printf("diff -rq, both trees:                 %7.1f ms wall, %7.1f ms cpu\n", Diff.WallMs, Diff.CpuMs);

    for (const char* Locale : {"C", "en_US"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(Locale)));
        TFolderComparison C;
        const TFigures List = Measure([&] {
            TFolderEntries A, B;
            ListFilesRecursive(L, L, A);
            ListFilesRecursive(R, R, B);
        });
        const TFigures Compare = Measure([&] { C = CompareFolderTrees(L, R); });
        qsizetype Differ = 0;
        for (const TDiffItem& I : C.Items)
            Differ += I.Kind != dkEqual;
        std::printf("locale %-5s: %lld rows, %lld differ, %lld + %lld files\n", Locale, qlonglong(C.Items.size()),
                    qlonglong(Differ), qlonglong(C.LeftFileCount), qlonglong(C.RightFileCount));
        std::printf("  listing both trees only  %7.1f ms wall, %7.1f ms cpu\n", List.WallMs, List.CpuMs);
        std::printf("  CompareFolderTrees       %7.1f ms wall, %7.1f ms cpu\n", Compare.WallMs, Compare.CpuMs);
        std::printf("  ratio to find            %7.2f wall,    %7.2f cpu\n",
                    Compare.WallMs / Find.WallMs, Compare.CpuMs / Find.CpuMs);
        std::printf("  ratio to diff -rq        %7.2f wall,    %7.2f cpu (target: at most 1)\n",
                    Compare.WallMs / Diff.WallMs, Compare.CpuMs / Diff.CpuMs);
    }
    return 0;
}
