// Line alignment speed: our ComputeDiff (in process, lists already loaded) against the
// step-by-step oracle and GNU diff --minimal (whole process, on temporary files).
// Usage: bench_engine_diff [--quick] [--no-gnu]

#include "engine/DiffEngine.h"
#include "support/engine/DiffOracle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <cstdio>
#include <optional>

using namespace quorlane::test;

namespace {

constexpr int GnuLimitMs = 120000;

double PeakRssMiB()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return double(Usage.ru_maxrss) / 1024.0;
}

qint64 StatusKiB(const QByteArray& Field)
{
    QFile F(QStringLiteral("/proc/self/status"));
    if (!F.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& Line : F.readAll().split('\n'))
        if (Line.startsWith(Field + ':'))
            return Line.mid(Field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Memory the call adds at its peak, over what the process held before it (Linux: the peak is
// reset through clear_refs). Freed memory kept by the allocator makes this a lower bound.
template <class F>
double CallPeakMiB(F&& Run)
{
    QFile Reset(QStringLiteral("/proc/self/clear_refs"));
    if (!Reset.open(QIODevice::WriteOnly) || Reset.write("5") != 1)
        return -1;
    Reset.close();
    const qint64 Before = StatusKiB("VmRSS");
    Run();
    return double(StatusKiB("VmHWM") - Before) / 1024.0;
}

QString FreshLine(QRandomGenerator& Rng)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyz";
    QString Word;
    for (int K = 0; K < 4; ++K)
        Word += QLatin1Char(Letters[Rng.bounded(26)]);
    return QStringLiteral("line %1 %2;").arg(Rng.bounded(100000000)).arg(Word);
}

// Short distinct-ish lines, no blank ones; Rate of the lines edited one by one: replaced (half),
// deleted (a quarter) or preceded by a new line (a quarter).
void MakePair(int Lines, double Rate, QStringList& Left, QStringList& Right)
{
    QRandomGenerator Rng(quint32(Lines) ^ quint32(Rate * 1e6));
    Left.clear();
    Right.clear();
    Left.reserve(Lines);
    Right.reserve(Lines + Lines / 4);
    for (int I = 0; I < Lines; ++I)
        Left << FreshLine(Rng);
    for (int I = 0; I < Lines; ++I) {
        if (Rng.generateDouble() >= Rate) {
            Right << Left[I];
            continue;
        }
        const int Op = Rng.bounded(4);
        if (Op <= 1)
            Right << FreshLine(Rng);
        else if (Op == 3)
            Right << FreshLine(Rng) << Left[I];
    }
}

template <class F>
double TimeMs(F&& Run, int MinTotalMs = 300)
{
    double Best = 1e300;
    QElapsedTimer Total;
    Total.start();
    do {
        QElapsedTimer T;
        T.start();
        Run();
        Best = std::min(Best, double(T.nsecsElapsed()) / 1e6);
    } while (Total.elapsed() < MinTotalMs);
    return Best;
}

void WriteLines(const QString& Path, const QStringList& Lines)
{
    QFile F(Path);
    if (!F.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(Path));
    QByteArray Bytes;
    for (const QString& L : Lines) {
        Bytes += L.toUtf8();
        Bytes += '\n';
    }
    F.write(Bytes);
}

struct TGnuResult {
    double Ms = 0;
    qint64 KeptLines = 0;
};

// GNU diff's whole process; kept lines are the left lines it does not delete.
std::optional<TGnuResult> RunGnu(const QTemporaryDir& Dir, const QStringList& Left, const QStringList& Right)
{
    const QString A = Dir.filePath(QStringLiteral("a.txt")), B = Dir.filePath(QStringLiteral("b.txt")),
                  Out = Dir.filePath(QStringLiteral("out.txt"));
    WriteLines(A, Left);
    WriteLines(B, Right);
    QProcess P;
    P.setStandardOutputFile(Out);
    QElapsedTimer T;
    T.start();
    P.start(QStringLiteral("/usr/bin/diff"), {QStringLiteral("--minimal"), A, B});
    if (!P.waitForStarted())
        qFatal("cannot start /usr/bin/diff");
    if (!P.waitForFinished(GnuLimitMs)) {
        P.kill();
        P.waitForFinished();
        return std::nullopt;
    }
    TGnuResult R;
    R.Ms = double(T.nsecsElapsed()) / 1e6;
    QFile F(Out);
    F.open(QIODevice::ReadOnly);
    qint64 Deleted = 0;
    while (!F.atEnd())
        if (F.readLine().startsWith("< "))
            ++Deleted;
    R.KeptLines = Left.size() - Deleted;
    return R;
}

qint64 CountEqual(const TDiffItems& Items)
{
    qint64 N = 0;
    for (const TDiffItem& I : Items)
        N += I.Kind == dkEqual;
    return N;
}

QString Fmt(double Ms)
{
    if (Ms < 10)
        return QString::number(Ms, 'f', 2);
    if (Ms < 1000)
        return QString::number(Ms, 'f', 1);
    return QString::number(Ms, 'f', 0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    const bool Quick = App.arguments().contains(QStringLiteral("--quick"));
    const bool NoGnu = App.arguments().contains(QStringLiteral("--no-gnu"));
    QTextStream Out(stdout);
    QTemporaryDir Dir;

    Out << "Line alignment, no options. 'ours' = ComputeDiff in process on lists already loaded (best of\n"
           "repeats for short runs); 'oracle' = step-by-step form, same process; 'GNU' = /usr/bin/diff --minimal,\n"
           "whole process on temporary files (limit 120 s). Ratios > 1 mean ours is faster. 'call +MiB' = memory\n"
           "our call adds at its peak (result included); 'RSS MiB' = peak of the whole process so far.\n\n";
    Out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10\n")
               .arg(QStringLiteral("lines"), 8).arg(QStringLiteral("changed"), 8).arg(QStringLiteral("ours ms"), 10)
               .arg(QStringLiteral("oracle ms"), 10).arg(QStringLiteral("GNU ms"), 10)
               .arg(QStringLiteral("oracle/ours"), 12).arg(QStringLiteral("GNU/ours"), 9)
               .arg(QStringLiteral("checks"), 22).arg(QStringLiteral("call +MiB"), 10)
               .arg(QStringLiteral("RSS MiB"), 8);
    Out.flush();

    bool AllGood = true;
    const QList<int> Sizes = Quick ? QList<int>{10000, 100000} : QList<int>{10000, 100000, 1000000};
    for (int Lines : Sizes) {
        for (double Rate : {0.005, 0.05, 0.5}) {
            QStringList Left, Right;
            MakePair(Lines, Rate, Left, Right);
            TDiffItems Ours;
            const double CallMiB = CallPeakMiB([&] { Ours = ComputeDiff(Left, Right, {}); });
            const double OursMs = TimeMs([&] { Ours = ComputeDiff(Left, Right, {}); }, Lines >= 1000000 ? 0 : 300);
            QString Checks;
            std::optional<double> OracleMs;
            if (Lines <= 10000) {
                TDiffItems Oracle;
                OracleMs = TimeMs([&] { Oracle = OracleComputeDiff(Left, Right, {}); }, 0);
                const bool Same = Oracle == Ours;
                AllGood &= Same;
                Checks += Same ? QStringLiteral("items=oracle") : QStringLiteral("ITEMS DIFFER");
            }
            std::optional<TGnuResult> Gnu;
            if (!NoGnu) {
                Gnu = RunGnu(Dir, Left, Right);
                if (Gnu) {
                    const bool Same = Gnu->KeptLines == CountEqual(Ours);
                    AllGood &= Same;
                    Checks += (Checks.isEmpty() ? QString() : QStringLiteral(" ")) +
                              (Same ? QStringLiteral("kept=GNU") : QStringLiteral("KEPT DIFFERS"));
                }
            }
            Out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10\n")
                       .arg(Lines, 8).arg(QString::number(Rate * 100) + QLatin1Char('%'), 8).arg(Fmt(OursMs), 10)
                       .arg(OracleMs ? Fmt(*OracleMs) : QStringLiteral("-"), 10)
                       .arg(NoGnu ? QStringLiteral("-") : Gnu ? Fmt(Gnu->Ms) : QStringLiteral(">120000"), 10)
                       .arg(OracleMs ? QString::number(*OracleMs / OursMs, 'f', 0) : QStringLiteral("-"), 12)
                       .arg(Gnu ? QString::number(Gnu->Ms / OursMs, 'f', 1) : QStringLiteral("-"), 9)
                       .arg(Checks, 22).arg(CallMiB, 10, 'f', 1).arg(PeakRssMiB(), 8, 'f', 0);
            Out.flush();
        }
    }

    // The headline ratio: two 20,000-line files with 5% of the lines changed.
    QStringList Left, Right;
    MakePair(20000, 0.05, Left, Right);
    TDiffItems Ours, Oracle;
    const double OursMs = TimeMs([&] { Ours = ComputeDiff(Left, Right, {}); });
    const double OracleMs = TimeMs([&] { Oracle = OracleComputeDiff(Left, Right, {}); }, 0);
    AllGood &= Ours == Oracle;
    Out << QStringLiteral("\n20,000 lines, 5% changed: oracle %1 ms, ours %2 ms, oracle/ours = %3x, items %4\n")
               .arg(Fmt(OracleMs), Fmt(OursMs), QString::number(OracleMs / OursMs, 'f', 0),
                    Ours == Oracle ? QStringLiteral("equal") : QStringLiteral("DIFFER"));
    Out << QStringLiteral("peak RSS of the whole run: %1 MiB\n").arg(PeakRssMiB(), 0, 'f', 0);
    return AllGood ? 0 : 1;
}
