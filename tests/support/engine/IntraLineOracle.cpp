#include "support/engine/IntraLineOracle.h"

#include <vector>

namespace quorlane::test {

namespace {

bool IsWordClass(QChar C)
{
    const char16_t U = C.unicode();
    return (U >= u'0' && U <= u'9') || (U >= u'A' && U <= u'Z') || (U >= u'a' && U <= u'z') || U == u'_'
           || U > 0x7F;
}

char16_t UpperAscii(char16_t U)
{
    return (U >= u'a' && U <= u'z') ? char16_t(U - 32) : U;
}

} // namespace

QList<TOracleToken> OracleSplitTokens(const QString& Line)
{
    QList<TOracleToken> Tokens;
    qsizetype P = 0;
    while (P < Line.size()) {
        const bool Word = IsWordClass(Line[P]);
        qsizetype Q = P + 1;
        while (Q < Line.size() && IsWordClass(Line[Q]) == Word)
            ++Q;
        Tokens.append({Line.mid(P, Q - P), std::int32_t(P), std::int32_t(Q - P)});
        P = Q;
    }
    return Tokens;
}

bool OracleTokensEqual(const QString& X, const QString& Y, bool IgnoreCase)
{
    if (!IgnoreCase)
        return X == Y;
    if (X.size() != Y.size())
        return false;
    for (qsizetype K = 0; K < X.size(); ++K)
        if (UpperAscii(X[K].unicode()) != UpperAscii(Y[K].unicode()))
            return false;
    return true;
}

void OracleMatchTokens(const QList<TOracleToken>& A, const QList<TOracleToken>& B, bool IgnoreCase,
                       QList<bool>& MatchedA, QList<bool>& MatchedB)
{
    const qsizetype N = A.size(), M = B.size();
    MatchedA = QList<bool>(N, false);
    MatchedB = QList<bool>(M, false);
    std::vector<std::vector<std::int32_t>> T(std::size_t(N + 1), std::vector<std::int32_t>(std::size_t(M + 1), 0));
    for (qsizetype I = 1; I <= N; ++I)
        for (qsizetype J = 1; J <= M; ++J)
            T[I][J] = OracleTokensEqual(A[I - 1].Text, B[J - 1].Text, IgnoreCase)
                          ? T[I - 1][J - 1] + 1
                          : std::max(T[I - 1][J], T[I][J - 1]);
    qsizetype I = N, J = M;
    while (I > 0 && J > 0) {
        if (OracleTokensEqual(A[I - 1].Text, B[J - 1].Text, IgnoreCase)) {
            MatchedA[I - 1] = true;
            MatchedB[J - 1] = true;
            --I;
            --J;
        } else if (T[I - 1][J] >= T[I][J - 1]) {
            --I;
        } else {
            --J;
        }
    }
}

void OracleNormalizeRanges(QList<THighlightRange>& Ranges)
{
    QList<THighlightRange> Kept;
    for (const THighlightRange& R : Ranges)
        if (R.Len > 0)
            Kept.append(R);
    Ranges = Kept;
    if (Ranges.size() < 2)
        return;
    for (qsizetype K = 1; K < Ranges.size(); ++K) {
        const THighlightRange Key = Ranges[K];
        qsizetype P = K - 1;
        while (P >= 0 && Ranges[P].Start > Key.Start) {
            Ranges[P + 1] = Ranges[P];
            --P;
        }
        Ranges[P + 1] = Key;
    }
    QList<THighlightRange> Merged{Ranges[0]};
    for (qsizetype K = 1; K < Ranges.size(); ++K) {
        THighlightRange& Cur = Merged.back();
        const THighlightRange& R = Ranges[K];
        const std::int64_t CurEnd = std::int64_t(Cur.Start) + Cur.Len;
        if (R.Start <= CurEnd)
            Cur.Len = std::int32_t(std::max(CurEnd, std::int64_t(R.Start) + R.Len) - Cur.Start);
        else
            Merged.append(R);
    }
    Ranges = Merged;
}

QList<THighlightRange> OracleComputeIntraLineRanges(const QString& A, const QString& B, bool IgnoreCase)
{
    const QList<TOracleToken> TA = OracleSplitTokens(A), TB = OracleSplitTokens(B);
    QList<bool> MA, MB;
    OracleMatchTokens(TA, TB, IgnoreCase, MA, MB);
    QList<THighlightRange> Ranges;
    for (qsizetype K = 0; K < TA.size(); ++K)
        if (!MA[K])
            Ranges.append({TA[K].Start, TA[K].Len});
    OracleNormalizeRanges(Ranges);
    return Ranges;
}

QString DescribeRanges(const QList<THighlightRange>& Ranges)
{
    if (Ranges.isEmpty())
        return QStringLiteral("none");
    QStringList Parts;
    for (const THighlightRange& R : Ranges)
        Parts.append(QStringLiteral("%1/%2").arg(R.Start).arg(R.Len));
    return Parts.join(u' ');
}

QString DescribeLine(const QString& Line)
{
    QString Out = QStringLiteral("'");
    for (QChar C : Line) {
        const char16_t U = C.unicode();
        if (U == u' ')
            Out += QChar(0x00B7);
        else if (U == u'\t')
            Out += QChar(0x2192);
        else if (U < 0x20 || U >= 0x7F)
            Out += QStringLiteral("\\u%1").arg(int(U), 4, 16, QLatin1Char('0'));
        else
            Out += C;
    }
    return Out + u'\'';
}

QString RandomTokenLine(QRandomGenerator& Rng, int MaxLen)
{
    static const QString Alphabet = QStringLiteral("aaAbB1_  \t,;=ÄäéÉ") + QChar(0x00A0);
    const int Len = int(Rng.bounded(MaxLen + 1));
    QString Line;
    while (Line.size() < Len) {
        const quint32 Pick = Rng.bounded(quint32(Alphabet.size() + 1));
        if (Pick == quint32(Alphabet.size()))
            Line += QString::fromUcs4(U"\U0001F600");  // a surrogate pair: one word character pair
        else
            Line += Alphabet[qsizetype(Pick)];
    }
    return Line;
}

QString EditTokenLine(QRandomGenerator& Rng, const QString& Line, int Edits)
{
    QString Out = Line;
    for (int K = 0; K < Edits; ++K) {
        const QString Piece = RandomTokenLine(Rng, 3);
        const qsizetype At = qsizetype(Rng.bounded(quint32(Out.size() + 1)));
        switch (Rng.bounded(3)) {
        case 0: Out.insert(At, Piece); break;
        case 1: Out.remove(At, qsizetype(Rng.bounded(4))); break;
        default: Out.replace(At, Piece.size(), Piece); break;
        }
    }
    return Out;
}

} // namespace quorlane::test
