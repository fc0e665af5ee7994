#include "support/engine/DiffOracle.h"

namespace quorlane::test {

TDiffItem MakeDiffItem(int L, int R, TDiffKind Kind)
{
    TDiffItem Item;
    Item.LeftIndex = L;
    Item.RightIndex = R;
    Item.Kind = Kind;
    return Item;
}

namespace {

bool IsWhitespace(QChar C) { return C == QChar(0x09) || C == QChar(0x20); }

bool IsBlank(const QString& Text)
{
    qsizetype B = 0, E = Text.size();
    while (B < E && Text[B].unicode() <= 0x20)
        ++B;
    while (E > B && Text[E - 1].unicode() <= 0x20)
        --E;
    return E == B;
}

struct TState {
    const QStringList& A;
    const QStringList& B;
    QList<TMatch> Matches;
};

void FindMatches(TState& S, int Lo1, int Hi1, int Lo2, int Hi2)
{
    // 1. empty range
    if (Hi1 == Lo1 || Hi2 == Lo2)
        return;
    // 2. one left line: the first equal right line
    if (Hi1 - Lo1 == 1) {
        for (int J = Lo2; J < Hi2; ++J) {
            if (S.A[Lo1] == S.B[J]) {
                S.Matches.append(TMatch{Lo1, J});
                return;
            }
        }
        return;
    }
    // 3.
    const int Mid = Lo1 + (Hi1 - Lo1) / 2;
    const int W = Hi2 - Lo2;
    // 4. forward row
    QList<int> Prev(W + 1, 0), Cur(W + 1, 0);
    for (int I = Lo1; I <= Mid - 1; ++I) {
        Cur[0] = 0;
        for (int K = 0; K <= W - 1; ++K) {
            if (S.A[I] == S.B[Lo2 + K])
                Cur[K + 1] = Prev[K] + 1;
            else
                Cur[K + 1] = std::max(Cur[K], Prev[K + 1]);
        }
        Prev = Cur;
    }
    const QList<int> F = Prev;
    // 5. backward row
    Prev = QList<int>(W + 1, 0);
    Cur = QList<int>(W + 1, 0);
    for (int I = Hi1 - 1; I >= Mid; --I) {
        Cur[0] = 0;
        for (int K = 0; K <= W - 1; ++K) {
            if (S.A[I] == S.B[Hi2 - 1 - K])
                Cur[K + 1] = Prev[K] + 1;
            else
                Cur[K + 1] = std::max(Cur[K], Prev[K + 1]);
        }
        Prev = Cur;
    }
    const QList<int> B = Prev;
    // 6. split: the smallest k with the largest sum
    int BestK = 0;
    for (int K = 0; K <= W; ++K)
        if (F[K] + B[W - K] > F[BestK] + B[W - BestK])
            BestK = K;
    const int Split = Lo2 + BestK;
    // 7.
    FindMatches(S, Lo1, Mid, Lo2, Split);
    FindMatches(S, Mid, Hi1, Split, Hi2);
}

void QuickSortByL(QList<TMatch>& M, int Lo, int Hi)
{
    if (Lo >= Hi)
        return;
    const int Pivot = M[(Lo + Hi) / 2].L;
    int I = Lo, J = Hi;
    while (I <= J) {
        while (M[I].L < Pivot)
            ++I;
        while (M[J].L > Pivot)
            --J;
        if (I <= J) {
            std::swap(M[I], M[J]);
            ++I;
            --J;
        }
    }
    QuickSortByL(M, Lo, J);
    QuickSortByL(M, I, Hi);
}

void ComputeChangeRange(const QString& A, const QString& B, TDiffItem& Item)
{
    int P = 0;
    while (P < std::min(A.size(), B.size()) && A[P] == B[P])
        ++P;
    int S = 0;
    while (S < A.size() - P && S < B.size() - P && A[A.size() - 1 - S] == B[B.size() - 1 - S])
        ++S;
    Item.LeftChangeStart = P;
    Item.LeftChangeLen = int(A.size()) - P - S;
    Item.RightChangeStart = P;
    Item.RightChangeLen = int(B.size()) - P - S;
}

QString Visible(const QString& Line)
{
    QString Out;
    for (QChar C : Line) {
        if (C == QChar(' '))
            Out += QChar(0x00B7);
        else if (C == QChar('\t'))
            Out += QChar(0x2192);
        else if (C.unicode() < 0x20 || (C.unicode() >= 0x7F && C.unicode() < 0xA1))
            Out += QStringLiteral("\\u%1").arg(C.unicode(), 4, 16, QChar('0'));
        else
            Out += C;
    }
    return Out;
}

} // namespace

QString OracleNormalizeLine(const QString& Line, const TDiffOptions& Options)
{
    QString Key = Line; // 1.
    if (Options.IgnoreLeadingWhiteSpace) { // 2.
        int I = 0;
        while (I < Key.size() && IsWhitespace(Key[I]))
            ++I;
        Key.remove(0, I);
    }
    if (Options.IgnoreTrailingWhiteSpace) { // 3.
        int E = int(Key.size());
        while (E > 0 && IsWhitespace(Key[E - 1]))
            --E;
        Key.truncate(E);
    }
    if (Options.IgnoreAllWhiteSpace) { // 4.
        QString Out;
        for (QChar C : Key)
            if (!IsWhitespace(C))
                Out += C;
        Key = Out;
    } else if (Options.IgnoreWsAmount) {
        QString Out;
        bool InRun = false;
        for (QChar C : Key) {
            if (IsWhitespace(C)) {
                if (!InRun)
                    Out += QChar(' ');
                InRun = true;
            } else {
                Out += C;
                InRun = false;
            }
        }
        Key = Out;
    }
    if (Options.IgnoreBlankLines && IsBlank(Key)) // 5.
        Key = QString();
    if (Options.IgnoreCase) { // 6. one character at a time, length kept
        QString Out;
        for (int I = 0; I < Key.size(); ++I) {
            if (Key[I].isHighSurrogate() && I + 1 < Key.size() && Key[I + 1].isLowSurrogate()) {
                const char32_t Lower = QChar::toLower(QChar::surrogateToUcs4(Key[I], Key[I + 1]));
                if (QChar::requiresSurrogates(Lower)) {
                    Out += QChar(QChar::highSurrogate(Lower));
                    Out += QChar(QChar::lowSurrogate(Lower));
                } else {
                    Out += Key[I];
                    Out += Key[I + 1];
                }
                ++I;
            } else if (Key[I].unicode() == 0x0130) { // simple lower case of the dotted capital I
                Out += QChar(u'i');
            } else {
                Out += QChar(char16_t(QChar::toLower(char32_t(Key[I].unicode()))));
            }
        }
        Key = Out;
    }
    return Key;
}

QList<TMatch> OracleFindMatches(const QStringList& LeftKeys, const QStringList& RightKeys)
{
    TState S{LeftKeys, RightKeys, {}};
    FindMatches(S, 0, int(LeftKeys.size()), 0, int(RightKeys.size()));
    return S.Matches;
}

TDiffItems OracleComputeDiff(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options)
{
    // 1. keys
    QStringList LeftKeys, RightKeys;
    for (const QString& Line : Left)
        LeftKeys.append(OracleNormalizeLine(Line, Options));
    for (const QString& Line : Right)
        RightKeys.append(OracleNormalizeLine(Line, Options));
    // 2. matches
    QList<TMatch> Matches = OracleFindMatches(LeftKeys, RightKeys);
    // 3. order
    QuickSortByL(Matches, 0, int(Matches.size()) - 1);
    // 4. raw sequence
    TDiffItems Raw;
    int I = 0, J = 0;
    for (const TMatch& M : Matches) {
        for (; I < M.L; ++I)
            Raw.append(MakeDiffItem(I, -1, dkLeftOnly));
        for (; J < M.R; ++J)
            Raw.append(MakeDiffItem(-1, J, dkRightOnly));
        Raw.append(MakeDiffItem(M.L, M.R, dkEqual));
        I = M.L + 1;
        J = M.R + 1;
    }
    for (; I < Left.size(); ++I)
        Raw.append(MakeDiffItem(I, -1, dkLeftOnly));
    for (; J < Right.size(); ++J)
        Raw.append(MakeDiffItem(-1, J, dkRightOnly));
    // 5. assembly
    TDiffItems Result;
    int R = 0;
    while (R < Raw.size()) {
        if (Raw[R].Kind == dkEqual) {
            Result.append(MakeDiffItem(Raw[R].LeftIndex, Raw[R].RightIndex, dkEqual));
            ++R;
            continue;
        }
        QList<int> A, B;
        while (R < Raw.size() && Raw[R].Kind != dkEqual) {
            if (Raw[R].Kind == dkLeftOnly)
                A.append(Raw[R].LeftIndex);
            else
                B.append(Raw[R].RightIndex);
            ++R;
        }
        const int K = int(std::min(A.size(), B.size()));
        for (int T = 0; T < K; ++T) {
            TDiffItem Item = MakeDiffItem(A[T], B[T], dkDifferent);
            ComputeChangeRange(Left[A[T]], Right[B[T]], Item); // 6.
            Result.append(Item);
        }
        for (int T = K; T < A.size(); ++T)
            Result.append(MakeDiffItem(A[T], -1, dkLeftOnly));
        for (int T = K; T < B.size(); ++T)
            Result.append(MakeDiffItem(-1, B[T], dkRightOnly));
    }
    // 7. blank lines
    if (Options.IgnoreBlankLines) {
        for (TDiffItem& Item : Result) {
            // Only a row whose every present line is blank becomes equal.
            const bool LeftBlank = Item.LeftIndex < 0 || IsBlank(Left[Item.LeftIndex]);
            const bool RightBlank = Item.RightIndex < 0 || IsBlank(Right[Item.RightIndex]);
            if (LeftBlank && RightBlank) {
                Item.Kind = dkEqual;
                Item.LeftChangeStart = -1;
                Item.LeftChangeLen = 0;
                Item.RightChangeStart = -1;
                Item.RightChangeLen = 0;
            }
        }
    }
    return Result; // 8.
}

TDiffOptions OptionsFromBits(int Bits)
{
    TDiffOptions O;
    O.IgnoreCase = Bits & 1;
    O.IgnoreAllWhiteSpace = Bits & 2;
    O.IgnoreWsAmount = Bits & 4;
    O.IgnoreLeadingWhiteSpace = Bits & 8;
    O.IgnoreTrailingWhiteSpace = Bits & 16;
    O.IgnoreBlankLines = Bits & 32;
    return O;
}

QString DescribeOptions(const TDiffOptions& O)
{
    QStringList On;
    if (O.IgnoreCase) On << QStringLiteral("IgnoreCase");
    if (O.IgnoreAllWhiteSpace) On << QStringLiteral("IgnoreAllWhiteSpace");
    if (O.IgnoreWsAmount) On << QStringLiteral("IgnoreWsAmount");
    if (O.IgnoreLeadingWhiteSpace) On << QStringLiteral("IgnoreLeadingWhiteSpace");
    if (O.IgnoreTrailingWhiteSpace) On << QStringLiteral("IgnoreTrailingWhiteSpace");
    if (O.IgnoreBlankLines) On << QStringLiteral("IgnoreBlankLines");
    return On.isEmpty() ? QStringLiteral("(no option)") : On.join(QLatin1Char('+'));
}

QString DescribeItem(const TDiffItem& Item)
{
    static const char* const Kinds[] = {"dkEqual", "dkLeftOnly", "dkRightOnly", "dkDifferent"};
    QString S = QStringLiteral("(%1, %2, %3").arg(Item.LeftIndex).arg(Item.RightIndex)
                    .arg(QLatin1String(Item.Kind <= dkDifferent ? Kinds[Item.Kind] : "?"));
    if (Item.LeftChangeStart != -1 || Item.LeftChangeLen != 0 || Item.RightChangeStart != -1 ||
        Item.RightChangeLen != 0)
        S += QStringLiteral(", %1/%2, %3/%4").arg(Item.LeftChangeStart).arg(Item.LeftChangeLen)
                 .arg(Item.RightChangeStart).arg(Item.RightChangeLen);
    return S + QLatin1Char(')');
}

QString DescribeItems(const TDiffItems& Items)
{
    QStringList Parts;
    for (const TDiffItem& Item : Items)
        Parts << DescribeItem(Item);
    return Parts.join(QStringLiteral(" "));
}

QString DescribeLines(const QStringList& Lines)
{
    QStringList Out;
    for (int I = 0; I < Lines.size(); ++I)
        Out << QStringLiteral("  %1: '%2'").arg(I).arg(Visible(Lines[I]));
    return Out.isEmpty() ? QStringLiteral("  (none)") : Out.join(QLatin1Char('\n'));
}

} // namespace quorlane::test
