// The merge window on three big files: how long from start to a painted window, and how long
// one step between conflicts takes. Prints figures; it asserts nothing.
//
// BASE is about 360,000 lines of real C++ headers (Qt's, as installed), LOCAL a later "version"
// of them (a line in every 97 changed, a block inserted every 401 lines, a line dropped every
// 733), REMOTE BASE with a few hundred scattered edits, some on lines LOCAL changed too.

#include "support/app/RecordingPlatform.h"
#include "mergewin/MergeForm.h"
#include "mergewin/MergeResultEdit.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <vector>

namespace {

constexpr int TargetLines = 360000;

[[nodiscard]] QByteArrayList HeaderLines()
{
    QStringList Files;
    for (QDirIterator It(QStringLiteral("/usr/include/x86_64-linux-gnu/qt6"), {QStringLiteral("*.h")}, QDir::Files,
                         QDirIterator::Subdirectories);
         It.hasNext();)
        Files.append(It.next());
    Files.sort();
    QByteArrayList Lines;
    for (const QString& Name : Files) {
        QFile File(Name);
        if (!File.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& Line : File.readAll().split('\n'))
            Lines.append(Line);
        if (Lines.size() >= TargetLines)
            break;
    }
    // Without the headers: lines of the same shape, made up.
    for (int I = int(Lines.size()); I < TargetLines; ++I)
        Lines.append("    int member" + QByteArray::number(I % 977) + " = compute(" + QByteArray::number(I) + ");");
    Lines.resize(TargetLines);
    return Lines;
}

void Write(const QString& Path, const QByteArrayList& Lines)
{
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(Path));
    File.write(Lines.join('\n') + '\n');
}

// CPU time of the process or of the calling thread, in ms: on a shared machine the wall clock
// also counts other people's work.
[[nodiscard]] double CpuMs(clockid_t Clock)
{
    timespec T{};
    clock_gettime(Clock, &T);
    return T.tv_sec * 1e3 + T.tv_nsec / 1e6;
}

[[nodiscard]] double Ms(QElapsedTimer& Timer)
{
    const double Value = Timer.nsecsElapsed() / 1e6;
    Timer.restart();
    return Value;
}

}   // namespace

int main(int argc, char* argv[])
{
    QApplication App(argc, argv);
    QTemporaryDir Dir;
    const QByteArrayList Base = HeaderLines();
    QByteArrayList Local, Remote;
    for (int I = 0; I < Base.size(); ++I) {
        if (I % 733 == 0)
            continue;
        Local.append(I % 97 == 0 ? Base[I] + " // v2" : Base[I]);
        if (I % 401 == 0)
            Local += QByteArrayList{"// added in v2", "#define V2_" + QByteArray::number(I) + " 1", ""};
    }
    for (int I = 0; I < Base.size(); ++I)
        Remote.append(I % 1200 == 0 || I % 9700 == 0 ? Base[I] + " /* remote */" : Base[I]);
    Write(Dir.filePath("local.h"), Local);
    Write(Dir.filePath("base.h"), Base);
    Write(Dir.filePath("remote.h"), Remote);
    std::printf("lines: LOCAL %lld, BASE %lld, REMOTE %lld\n", qlonglong(Local.size()), qlonglong(Base.size()),
                qlonglong(Remote.size()));

    TRecordingPlatform Platform;
    std::vector<double> Opens, MainCpus;
    for (int Run = 0; Run < 3; ++Run) {
        QElapsedTimer Total, Phase;
        const double Process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID), Thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        Total.start();
        Phase.start();
        TfrmMerge W({Dir.filePath("local.h"), Dir.filePath("base.h"), Dir.filePath("remote.h"), Dir.filePath("out.h")},
                    Platform);
        W.resize(1400, 900);
        W.LoadAndMerge();
        const double Load = Ms(Phase);
        W.show();
        W.grdMerge->viewport()->repaint();
        W.edtMergeResult->viewport()->repaint();
        QApplication::processEvents();
        const double Paint = Ms(Phase);
        const double Open = Total.nsecsElapsed() / 1e6;
        const double ProcessCpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - Process0;
        const double MainCpu = CpuMs(CLOCK_THREAD_CPUTIME_ID) - Thread0;
        Opens.push_back(Open);
        MainCpus.push_back(MainCpu);
        std::printf("open %d: CPU %.0f ms in all, %.0f ms on the window's thread (the rest on the thread that builds "
                    "the result text)\n",
                    Run + 1, ProcessCpu, MainCpu);
        std::printf("open %d: %.0f ms (load, merge, grid and result %.0f ms; show and paint %.0f ms); %lld chunks, %d "
                    "conflicts, %d by a rule, %d grid rows\n",
                    Run + 1, Open, Load, Paint, qlonglong(W.FMerge.Chunks.size()), W.FMerge.Conflicts,
                    W.FMerge.ResolvedByRule, W.grdMerge->RowCount());

        if (Run == 0) {
            // Stepping: each click to the next conflict, with both views repainted.
            std::vector<double> Steps;
            for (int I = 0; I < 200; ++I) {
                QElapsedTimer Step;
                Step.start();
                W.btnNextConflict->click();
                W.grdMerge->viewport()->repaint();
                W.edtMergeResult->viewport()->repaint();
                Steps.push_back(Step.nsecsElapsed() / 1e6);
            }
            std::sort(Steps.begin(), Steps.end());
            std::printf("next conflict (200 steps): median %.2f ms, 90th %.2f ms, max %.2f ms\n", Steps[Steps.size() / 2],
                        Steps[Steps.size() * 9 / 10], Steps.back());
            std::vector<double> Takes;
            for (int I = 0; I < 50; ++I) {
                QElapsedTimer Step;
                Step.start();
                W.btnPrevConflict->click();
                W.btnTakeBoth->click();
                W.grdMerge->viewport()->repaint();
                W.edtMergeResult->viewport()->repaint();
                Takes.push_back(Step.nsecsElapsed() / 1e6);
            }
            std::sort(Takes.begin(), Takes.end());
            std::printf("previous conflict + take both (50): median %.2f ms, max %.2f ms\n", Takes[Takes.size() / 2],
                        Takes.back());
            QElapsedTimer Undo;
            Undo.start();
            for (int I = 0; I < 50; ++I)
                emit W.edtMergeResult->UndoRequested();
            std::printf("undo (50): %.2f ms each\n", Undo.nsecsElapsed() / 1e6 / 50);
            QElapsedTimer Save;
            Save.start();
            Platform.ConfirmAnswers = {true};
            W.btnSaveMerge->click();
            std::printf("save with markers: %.0f ms\n", Save.nsecsElapsed() / 1e6);
        }
        W.edtMergeResult->document()->setModified(false);
        W.close();
    }
    std::sort(Opens.begin(), Opens.end());
    std::sort(MainCpus.begin(), MainCpus.end());
    QFile LoadFile(QStringLiteral("/proc/loadavg"));
    const QByteArray LoadAverage = LoadFile.open(QIODevice::ReadOnly) ? LoadFile.readAll() : QByteArray("?\n");
    std::printf("open, median of 3: %.0f ms wall (target: at most 2000 ms), ratio %.2f; window thread CPU %.0f ms, "
                "ratio %.2f; load average now %s",
                Opens[1], Opens[1] / 2000.0, MainCpus[1], MainCpus[1] / 2000.0, LoadAverage.constData());
    return 0;
}
