#include "support/engine/RandomLines.h"

#include <functional>

namespace quorlane::test {

namespace {

// Whitespace, blank-but-not-whitespace, no-break space, letters whose case folds beyond ASCII,
// and a surrogate pair whose lower case is another pair.
const QString& TrickyChars()
{
    static const QString Chars = QString::fromUtf16(u"aaAb  \t\t\u00E4\u00C4\u03A3\u03C3\u00A0\u000B\u0001\u0130")
                                 + QString::fromUcs4(U"\U00010400\U00010428");
    return Chars;
}

} // namespace

QString RandomTrickyLine(QRandomGenerator& Rng, int MaxLen)
{
    const QString& Chars = TrickyChars();
    const int Len = Rng.bounded(MaxLen + 1);
    QString Line;
    for (int I = 0; I < Len; ++I) {
        const int C = Rng.bounded(int(Chars.size()));
        if (Chars[C].isSurrogate()) {
            const int Pair = C - (Chars[C].isLowSurrogate() ? 1 : 0);
            Line += Chars.mid(Pair, 2);
        } else {
            Line += Chars[C];
        }
    }
    return Line;
}

TLinePair RandomTiePair(QRandomGenerator& Rng, int MaxLines, int PoolSize)
{
    QStringList Pool;
    for (int I = 0; I < PoolSize; ++I)
        Pool << RandomTrickyLine(Rng, Rng.bounded(4));
    auto Draw = [&] { return Pool[Rng.bounded(int(Pool.size()))]; };
    TLinePair P;
    const int N = Rng.bounded(MaxLines + 1);
    for (int I = 0; I < N; ++I)
        P.Left << Draw();
    if (Rng.bounded(2) == 0) {
        P.Right = EditLines(Rng, P.Left, 0.05 + Rng.generateDouble() * 0.4, Draw);
    } else {
        const int M = Rng.bounded(MaxLines + 1);
        for (int I = 0; I < M; ++I)
            P.Right << Draw();
    }
    if (Rng.bounded(2) == 0)
        std::swap(P.Left, P.Right);
    return P;
}

QStringList EditLines(QRandomGenerator& Rng, const QStringList& Lines, double Rate,
                      const std::function<QString()>& Fresh)
{
    QStringList Out;
    Out.reserve(Lines.size() + Lines.size() / 8 + 4);
    const double PerLine = Rate / 2.0; // runs average two lines
    for (qsizetype I = 0; I <= Lines.size();) {
        if (Rng.generateDouble() < PerLine) {
            const int Run = 1 + Rng.bounded(3);
            const int Op = Rng.bounded(3); // delete, insert, replace
            if (Op != 0)
                for (int K = 0; K < Run; ++K)
                    Out << Fresh();
            if (Op != 1)
                I += Run;
        }
        if (I < Lines.size())
            Out << Lines[I];
        ++I;
    }
    return Out;
}

QStringList DistinctLines(QRandomGenerator& Rng, int Count)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyz";
    QStringList Lines;
    Lines.reserve(Count);
    for (int I = 0; I < Count; ++I) {
        QString Word;
        for (int K = 0; K < 3; ++K)
            Word += QLatin1Char(Letters[Rng.bounded(26)]);
        Lines << QStringLiteral("ln %1 %2").arg(Rng.bounded(1000000)).arg(Word);
    }
    return Lines;
}

QString RandomProseLine(QRandomGenerator& Rng, int Tokens, int PoolSize)
{
    QString Out;
    Out.reserve(Tokens * 4);
    for (int K = 0; K < Tokens; K += 2) {
        Out += QStringLiteral("w%1").arg(Rng.bounded(PoolSize));
        Out += Rng.bounded(10) == 0 ? QStringLiteral(", ") : QStringLiteral(" ");
    }
    return Out;
}

QString EditWords(QRandomGenerator& Rng, const QString& Line, double Rate)
{
    QStringList Words = Line.split(u' ');
    for (QString& W : Words)
        if (Rng.generateDouble() < Rate)
            W = QStringLiteral("e%1").arg(Rng.bounded(1000));
    return Words.join(u' ');
}

} // namespace quorlane::test
