// ComputeIntraLineRanges and the token matcher against the plain oracle.
//
// Input: one byte of flags (bit 0 ignore case, bit 1 raw UTF-16 text), one byte choosing the
// matcher's checkpoint interval and band guess, then the two lines split at U+0001.

#include "FuzzInput.h"

#include "support/engine/IntraLineOracle.h"

#include <QHash>

using namespace quorlane::fuzz;
using namespace quorlane::test;
using IntraLineInternals::TMethod;

namespace {

// Keeps the oracle's full table small.
constexpr qsizetype MaxLineLength = 600;

// Token ids as the matcher expects them: B's distinct tokens numbered, A's absent ones -1.
struct TIds {
    std::vector<std::int32_t> A, B;
    std::int32_t Count = 0;
};

QString TokenKey(QString Text, bool IgnoreCase)
{
    if (IgnoreCase)
        for (QChar& C : Text)
            if (C >= u'a' && C <= u'z')
                C = QChar(C.unicode() - 32);
    return Text;
}

TIds IdsFor(const QList<TOracleToken>& A, const QList<TOracleToken>& B, bool IgnoreCase)
{
    TIds Ids;
    QHash<QString, std::int32_t> Numbers;
    for (const TOracleToken& T : B) {
        const QString K = TokenKey(T.Text, IgnoreCase);
        if (!Numbers.contains(K))
            Numbers.insert(K, Ids.Count++);
        Ids.B.push_back(Numbers.value(K));
    }
    for (const TOracleToken& T : A)
        Ids.A.push_back(Numbers.value(TokenKey(T.Text, IgnoreCase), -1));
    return Ids;
}

QString Describe(const QString& A, const QString& B, bool IgnoreCase)
{
    return QStringLiteral("A = %1\nB = %2\nIgnoreCase %3\noracle: %4")
        .arg(DescribeLine(A), DescribeLine(B))
        .arg(IgnoreCase)
        .arg(DescribeRanges(OracleComputeIntraLineRanges(A, B, IgnoreCase)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzBytes In(Data, Size);
    const std::uint8_t Flags = In.Byte();
    const std::uint8_t Walk = In.Byte();
    const bool IgnoreCase = Flags & 1;
    auto [A, B] = SplitPair(PayloadText(In.Rest(), Flags & 2));
    A.truncate(MaxLineLength);
    B.truncate(MaxLineLength);

    const QList<THighlightRange> Got = ComputeIntraLineRanges(A, B, IgnoreCase);
    FUZZ_CHECK(Got == OracleComputeIntraLineRanges(A, B, IgnoreCase),
               Describe(A, B, IgnoreCase) + QStringLiteral("\nengine: ") + DescribeRanges(Got));

    const QList<TOracleToken> TA = OracleSplitTokens(A), TB = OracleSplitTokens(B);
    QList<bool> MA, MB;
    OracleMatchTokens(TA, TB, IgnoreCase, MA, MB);
    const TTokenMatch Flagged = MatchTokens(SplitTokens(A), SplitTokens(B), IgnoreCase);
    FUZZ_CHECK(Flagged.MatchedA == MA && Flagged.MatchedB == MB, Describe(A, B, IgnoreCase));

    // The exact walk with any checkpoint interval and any guess at the band gives the same flags.
    const TIds Ids = IdsFor(TA, TB, IgnoreCase);
    const std::int32_t Lcs = std::int32_t(MA.count(true));
    const std::int32_t Checkpoint = Walk & 3;
    const std::int32_t Guesses[] = {-1, 0, 1, Lcs - 1, Lcs, Lcs + 1, 1 << 30, (Walk >> 2) - 8};
    const std::int32_t Guess = Guesses[(Walk >> 2) & 7];
    const TTokenMatch Exact = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count, TMethod::Exact, Checkpoint, Guess);
    FUZZ_CHECK(Exact.MatchedA == MA && Exact.MatchedB == MB,
               Describe(A, B, IgnoreCase) + QStringLiteral("\ncheckpoint %1, band guess %2").arg(Checkpoint).arg(Guess));
    return 0;
}
