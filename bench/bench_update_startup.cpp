// Start-up time with the version check: from the check's start to the main window shown, when
// the website cannot be reached, refuses, answers, or answers in a hostile way. Prints figures; asserts nothing.

#include "support/app/TestWebsite.h"
#include "support/app/WindowDriver.h"
#include "update/CheckFetch.h"
#include "update/NewVersionCheck.h"
#include "update/Website.h"

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

    // Hostile websites: each costs at most the check's deadline, and the bytes it reads stay
    // within the caps.
    const QList<std::pair<const char*, TStandInAnswer>> Hostile{
        {"silent server", TStandInAnswer::Silent()},
        {"endless 200 without a length", TStandInAnswer::Stream("11/10\r\n", -1, false)},
        {"endless headers", TStandInAnswer::HeaderFlood("X-Filler: aaaaaaaaaaaaaaaaaaaa\r\n")},
        {"one byte every 2 s", TStandInAnswer::Trickle("11/10\r\n", 7, 2000)},
    };
    for (const auto& [Name, Answer] : Hostile) {
        TTestWebsite Site;
        Site.Source.CheckDeadlineMs = CheckDeadlineMs;   // the program's own
        Site.Serve(Answer, TTestWebsite::Ok("Faster"));
        Report(Name, 1, [&] { return RunStartUpVersionCheck(Platform, Site.Source); });
        const TCheckAnswer Fetched = FetchForCheck(Site.Source, VersionFilePath, QDeadlineTimer(CheckDeadlineMs));
        std::printf("%-34s bytes read %lld (caps: head %lld + body %lld)\n", Name, (long long)Fetched.BytesReceived,
                    (long long)CheckHeadCap, (long long)CheckBodyCap);
    }
    return 0;
}
