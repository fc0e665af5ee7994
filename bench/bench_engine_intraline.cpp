// Times of ComputeIntraLineRanges per call, as the grid pays them on every repaint of a changed
// cell, with the extra peak memory of each case (measured in a child process per case).
//
//   bench_engine_intraline            all cases
//   bench_engine_intraline --quick    smaller repeat counts

#include "engine/IntraLine.h"
#include "support/engine/IntraLineOracle.h"
#include "support/engine/RandomLines.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QStringList>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace quorlane::test;

namespace {

long StatusKiB(const char* Field)
{
    FILE* F = std::fopen("/proc/self/status", "r");
    if (!F)
        return -1;
    char Line[256];
    long Value = -1;
    const std::size_t Len = std::strlen(Field);
    while (std::fgets(Line, sizeof Line, F))
        if (std::strncmp(Line, Field, Len) == 0)
            Value = std::atol(Line + Len + 1);
    std::fclose(F);
    return Value;
}

void ResetPeak()
{
    if (FILE* F = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", F);  // resets VmHWM to the current RSS
        std::fclose(F);
    }
}

const QStringList& Vocabulary()
{
    static const QStringList Words = {"int", "count", "total", "value", "item", "items", "i", "j", "return",
                                      "if", "else", "for", "while", "const", "auto", "size", "0", "1", "10",
                                      "12", "std", "vector", "QString", "result", "Start", "Len", "x", "y"};
    return Words;
}

QString CodeLine(QRandomGenerator& Rng, int Chars)
{
    static const QStringList Seps = {" ", " = ", "(", ") ", ", ", "; ", "::", " + ", "->", "."};
    QString Line = QStringLiteral("    ");
    while (Line.size() < Chars) {
        Line += Vocabulary()[Rng.bounded(int(Vocabulary().size()))];
        Line += Seps[Rng.bounded(int(Seps.size()))];
    }
    return Line.left(Chars);
}

struct TCase {
    const char* Name;
    std::function<std::pair<QString, QString>(QRandomGenerator&)> Make;
    int Repeats;
    bool WithOracle;
};

// One case in a child process: its inputs are made first, then the calls are timed and the peak
// above the inputs is read. Prints one table row.
void RunCase(const TCase& Case, bool Quick)
{
    std::fflush(stdout);
    const pid_t Child = fork();
    if (Child != 0) {
        int Status = 0;
        waitpid(Child, &Status, 0);
        return;
    }
    QRandomGenerator Rng(42);
    const auto [A, B] = Case.Make(Rng);
    const qsizetype TokensA = SplitTokens(A).size(), TokensB = SplitTokens(B).size();
    const int Repeats = Quick ? std::max(1, Case.Repeats / 10) : Case.Repeats;
    IntraLineInternals::ClearCache();
    ResetPeak();
    const long Base = StatusKiB("VmRSS");

    QElapsedTimer Timer;
    Timer.start();
    QList<THighlightRange> Ranges;
    for (int K = 0; K < Repeats; ++K) {
        IntraLineInternals::ClearCache();  // cold: the first paint of the pair
        Ranges = ComputeIntraLineRanges(A, B, K % 2 == 1);
    }
    const double ColdUs = double(Timer.nsecsElapsed()) / 1000.0 / Repeats;
    const long Peak = StatusKiB("VmHWM") - Base;

    Ranges = ComputeIntraLineRanges(A, B, false);  // the first paint, untimed
    Timer.restart();
    for (int K = 0; K < Repeats; ++K)
        Ranges = ComputeIntraLineRanges(A, B, false);
    const double RepaintUs = double(Timer.nsecsElapsed()) / 1000.0 / Repeats;

    const bool Exact = [&] {
        const TTokens TA = SplitTokens(A), TB = SplitTokens(B);
        QHash<QString, std::int32_t> Numbers;
        std::vector<std::int32_t> IA, IB;
        for (const TToken& T : TB)
            IB.push_back(Numbers.contains(T.Text) ? Numbers.value(T.Text) : Numbers.insert(T.Text, std::int32_t(Numbers.size())).value());
        for (const TToken& T : TA)
            IA.push_back(Numbers.value(T.Text, -1));
        return IntraLineInternals::AnswersExactly(IA, IB, std::int32_t(Numbers.size()));
    }();
    QString Oracle = QStringLiteral("-");
    QString Same = QStringLiteral("-");
    if (Case.WithOracle) {
        const int OracleRepeats = std::max(1, Repeats / 20);
        Timer.restart();
        QList<THighlightRange> ByOracle;
        for (int K = 0; K < OracleRepeats; ++K)
            ByOracle = OracleComputeIntraLineRanges(A, B, false);
        const double OracleUs = double(Timer.nsecsElapsed()) / 1000.0 / OracleRepeats;
        Oracle = QStringLiteral("%1 (x%2)").arg(OracleUs, 0, 'f', 1).arg(OracleUs / ColdUs, 0, 'f', 1);
        Same = ByOracle == ComputeIntraLineRanges(A, B, false) ? QStringLiteral("yes") : QStringLiteral("NO");
    }
    std::printf("%-36s %8lld %8lld %-6s %12.1f %12.1f %10ld  %-20s %-5s %lld\n", Case.Name, (long long)TokensA,
                (long long)TokensB, Exact ? "exact" : "middle", ColdUs, RepaintUs, Peak, qPrintable(Oracle),
                qPrintable(Same), (long long)Ranges.size());
    std::fflush(stdout);
    _exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const bool Quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const std::vector<TCase> Cases = {
        {"80-char code line, 2 tokens edited",
         [](QRandomGenerator& R) {
             const QString A = CodeLine(R, 80);
             QString B = A;
             B.replace(QStringLiteral("count"), QStringLiteral("total"));
             B.replace(QStringLiteral("10"), QStringLiteral("12"));
             if (B == A)
                 B += QStringLiteral("x");
             return std::pair{A, B};
         },
         20000, true},
        {"80-char code lines, unrelated",
         [](QRandomGenerator& R) { return std::pair{CodeLine(R, 80), CodeLine(R, 80)}; }, 20000, true},
        {"1k tokens, 5% words edited",
         [](QRandomGenerator& R) {
             const QString A = RandomProseLine(R, 1000, 2000);
             return std::pair{A, EditWords(R, A, 0.05)};
         },
         200, true},
        {"10k tokens, 5% words edited",
         [](QRandomGenerator& R) {
             const QString A = RandomProseLine(R, 10000, 5000);
             return std::pair{A, EditWords(R, A, 0.05)};
         },
         40, false},
        {"10k tokens, unrelated, 8 words",
         [](QRandomGenerator& R) { return std::pair{RandomProseLine(R, 10000, 8), RandomProseLine(R, 10000, 8)}; }, 20, false},
        {"100k tokens, 5% words edited",
         [](QRandomGenerator& R) {
             const QString A = RandomProseLine(R, 100000, 5000);
             return std::pair{A, EditWords(R, A, 0.05)};
         },
         4, false},
        {"100k tokens, 50% words edited",
         [](QRandomGenerator& R) {
             const QString A = RandomProseLine(R, 100000, 5000);
             return std::pair{A, EditWords(R, A, 0.5)};
         },
         4, false},
        {"100k tokens, unrelated, 8 words",
         [](QRandomGenerator& R) { return std::pair{RandomProseLine(R, 100000, 8), RandomProseLine(R, 100000, 8)}; }, 4,
         false},
        {"60k tokens, unrelated, 8 words",
         [](QRandomGenerator& R) { return std::pair{RandomProseLine(R, 60000, 8), RandomProseLine(R, 60000, 8)}; }, 4,
         false},
        {"1M tokens, 1% edited",
         [](QRandomGenerator& R) {
             const QString A = RandomProseLine(R, 1000000, 50000);
             return std::pair{A, EditWords(R, A, 0.01)};
         },
         2, false},
    };
    std::printf("ComputeIntraLineRanges per call; cold = first paint of the pair, repaint = answered from the\n"
                "cache of long pairs (short pairs are not cached, so both columns recompute); peak = extra\n"
                "resident memory of the cold calls; oracle = the plain full-table form (x = times slower)\n\n");
    std::printf("%-36s %8s %8s %-6s %12s %12s %10s  %-20s %-5s %s\n", "case", "tokens A", "tokens B", "answer", "cold us",
                "repaint us", "peak KiB", "oracle us", "same", "ranges");
    for (const TCase& Case : Cases)
        RunCase(Case, Quick);
    return 0;
}
