// Start-up time with the version check: from the check's start to the main window shown, when
// the website cannot be reached, refuses, stays silent or answers. Prints figures; asserts nothing.

#include "support/app/TestWebsite.h"
#include "support/app/WindowDriver.h"
#include "update/NewVersionCheck.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quorlane;
using namespace quorlane::test;

namespace {

struct TFigures
{
    double CheckMs = 0;
    double TotalMs = 0;
};

// The program start's steps after the application exists: the check, then the main window.
TFigures StartOnce(const std::function<TUpdateOutcome()>& Check)
{
    QElapsedTimer Timer;
    Timer.start();
    if (Check() != TUpdateOutcome::Continue)
        qFatal("the check asked to end the program");
    const double CheckMs = Timer.nsecsElapsed() / 1e6;
    TWindowDriver D;
    if (!QTest::qWaitForWindowExposed(D.Window.get()))
        qFatal("the main window was not shown");
    return {CheckMs, Timer.nsecsElapsed() / 1e6};
}

void Report(const char* Name, int Runs, const std::function<TUpdateOutcome()>& Check)
{
    std::vector<TFigures> All;
    for (int I = 0; I < Runs; ++I)
        All.push_back(StartOnce(Check));
    std::sort(All.begin(), All.end(), [](const TFigures& A, const TFigures& B) { return A.TotalMs < B.TotalMs; });
    const TFigures& Median = All[All.size() / 2];
    std::printf("%-34s runs %d  check %9.1f ms  to window shown %9.1f ms (median)\n", Name, Runs, Median.CheckMs,
                Median.TotalMs);
    std::fflush(stdout);
}

}   // namespace

int main(int argc, char* argv[])
{
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlane"));
    TRecordingPlatform Platform;

    Report("no check (built without it)", 5, [] { return TUpdateOutcome::Continue; });
    Report("no network (host never resolves)", 5, [&] { return RunStartUpVersionCheck(Platform, DefaultUpdateSource()); });

    TTestWebsite Refusing;
    Refusing.Source.Base.setPort(HttpStandIn::UnusedPort());
    Report("refused connection", 5, [&] { return RunStartUpVersionCheck(Platform, Refusing.Source); });

    TTestWebsite Answering;
    Answering.Serve(TTestWebsite::Ok("10/10"), TTestWebsite::Ok("Faster"));
    Report("website answers, no news", 5, [&] { return RunStartUpVersionCheck(Platform, Answering.Source); });

    TTestWebsite Silent;
    Silent.Source.CheckTimeoutMs = CheckReadTimeoutMs;   // the program's own 10 s
    Silent.Serve(TStandInAnswer::Silent(), TStandInAnswer::Silent());
    Report("silent server (10 s read time-out)", 1, [&] { return RunStartUpVersionCheck(Platform, Silent.Source); });
    return 0;
}
