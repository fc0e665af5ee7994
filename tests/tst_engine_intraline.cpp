#include "engine/IntraLine.h"
#include "support/engine/IntraLineOracle.h"
#include "support/engine/RandomLines.h"

#include <QHash>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

using namespace quorlane::test;
using IntraLineInternals::TMethod;

Q_DECLARE_METATYPE(THighlightRange)

namespace {

// The table's lines use · for a space and → for a tab.
QString Line(const char* Text)
{
    return QString::fromUtf8(Text).replace(QChar(0x00B7), u' ').replace(QChar(0x2192), u'\t');
}

QList<THighlightRange> Ranges(std::initializer_list<std::pair<int, int>> List)
{
    QList<THighlightRange> Out;
    for (auto [Start, Len] : List)
        Out.append({Start, Len});
    return Out;
}

QString DescribeFlags(const QList<bool>& Flags)
{
    QString Out;
    for (bool F : Flags)
        Out += F ? u'1' : u'0';
    return Out;
}

// Ids as the matcher expects them: B's distinct tokens numbered, A's tokens absent from B -1.
struct TIdPair {
    std::vector<std::int32_t> A, B;
    std::int32_t Count = 0;
};

TIdPair IdsFor(const QString& A, const QString& B, bool IgnoreCase)
{
    auto Key = [IgnoreCase](const QString& Text) {
        QString K = Text;
        if (IgnoreCase)
            for (QChar& C : K)
                if (C >= u'a' && C <= u'z')
                    C = QChar(C.unicode() - 32);
        return K;
    };
    TIdPair Ids;
    QHash<QString, std::int32_t> Numbers;
    for (const TOracleToken& T : OracleSplitTokens(B)) {
        const QString K = Key(T.Text);
        if (!Numbers.contains(K))
            Numbers.insert(K, Ids.Count++);
        Ids.B.push_back(Numbers.value(K));
    }
    for (const TOracleToken& T : OracleSplitTokens(A))
        Ids.A.push_back(Numbers.value(Key(T.Text), -1));
    return Ids;
}

// Tokens at the end that both sides share (matched before any table is built).
std::int32_t SharedSuffix(const TIdPair& Ids)
{
    std::int32_t Count = 0;
    for (auto I = Ids.A.rbegin(), J = Ids.B.rbegin(); I != Ids.A.rend() && J != Ids.B.rend() && *I == *J; ++I, ++J)
        ++Count;
    return Count;
}

// Smallest pair (by removing characters one at a time) for which Fails still holds.
std::pair<QString, QString> Shrink(QString A, QString B, const std::function<bool(const QString&, const QString&)>& Fails)
{
    bool Progress = true;
    while (Progress) {
        Progress = false;
        for (int Side = 0; Side < 2; ++Side) {
            QString& S = Side == 0 ? A : B;
            for (qsizetype K = 0; K < S.size(); ++K) {
                QString Shorter = S;
                Shorter.remove(K, 1);
                if (Side == 0 ? Fails(Shorter, B) : Fails(A, Shorter)) {
                    S = Shorter;
                    Progress = true;
                    --K;
                }
            }
        }
    }
    return {A, B};
}

// Sorted, Len > 0, not touching, inside a line of Length code units.
QString InvariantBreach(const QList<THighlightRange>& Ranges, qsizetype Length)
{
    std::int64_t PrevEnd = -1;
    for (const THighlightRange& R : Ranges) {
        if (R.Len <= 0)
            return QStringLiteral("empty range %1/%2").arg(R.Start).arg(R.Len);
        if (R.Start < 0 || std::int64_t(R.Start) + R.Len > Length)
            return QStringLiteral("range %1/%2 outside a line of %3").arg(R.Start).arg(R.Len).arg(Length);
        if (PrevEnd >= 0 && R.Start <= PrevEnd)
            return QStringLiteral("range %1/%2 touches or overlaps the one before").arg(R.Start).arg(R.Len);
        PrevEnd = std::int64_t(R.Start) + R.Len;
    }
    return {};
}

// The flags describe a common subsequence: the matched tokens, in order, are equal pairwise.
bool IsCommonSubsequence(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                         const TTokenMatch& M)
{
    std::vector<std::int32_t> SA, SB;
    for (std::size_t K = 0; K < A.size(); ++K)
        if (M.MatchedA[qsizetype(K)])
            SA.push_back(A[K]);
    for (std::size_t K = 0; K < B.size(); ++K)
        if (M.MatchedB[qsizetype(K)])
            SB.push_back(B[K]);
    return SA == SB;
}

} // namespace

class TestIntraLine : public QObject {
    Q_OBJECT

private slots:
    void splitTokens_data();
    void splitTokens();
    void ranges_data();
    void ranges();
    void matchTokens_data();
    void matchTokens();
    void normalizeRanges_data();
    void normalizeRanges();
    void clipRange_data();
    void clipRange();
    void sidesAreComputedSeparately();
    void randomShortLinesMatchOracle();
    void exactWalkMatchesOracleAcrossBlocks();
    void commonSubsequenceBeyondSixteenBits();
    void longLinesStayExactAndSound();
    void beyondTheBoundFallsBackToTheMiddle();
    void repeatedCallsGiveTheSameAnswer();
};

void TestIntraLine::splitTokens_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("tokens");
    QTest::addColumn<QList<int>>("starts");

    QTest::newRow("empty") << QString() << QStringList{} << QList<int>{};
    QTest::newRow("punctuation with its spaces is one token")
        << Line("x·=·1") << QStringList{"x", " = ", "1"} << QList<int>{0, 1, 4};
    QTest::newRow("underscore and digits are word characters")
        << Line("a_1+b2") << QStringList{"a_1", "+", "b2"} << QList<int>{0, 3, 4};
    QTest::newRow("non-ASCII letters and no-break space are word characters")
        << (QStringLiteral("café") + QChar(0x00A0) + QStringLiteral("ok;"))
        << QStringList{QStringLiteral("café") + QChar(0x00A0) + QStringLiteral("ok"), ";"} << QList<int>{0, 7};
    QTest::newRow("a surrogate pair stays inside its word")
        << (QStringLiteral("a") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(" b"))
        << QStringList{QStringLiteral("a") + QString::fromUcs4(U"\U0001F600"), " ", "b"} << QList<int>{0, 3, 4};
    QTest::newRow("tabs, controls and DEL are other characters")
        << (Line("→a") + QChar(0x0001) + QChar(0x007F) + u'b')
        << QStringList{"\t", "a", QString(QChar(0x0001)) + QChar(0x007F), "b"} << QList<int>{0, 1, 2, 4};
}

void TestIntraLine::splitTokens()
{
    QFETCH(QString, line);
    QFETCH(QStringList, tokens);
    QFETCH(QList<int>, starts);

    const TTokens Got = SplitTokens(line);
    QStringList Texts;
    QList<int> Starts;
    for (const TToken& T : Got) {
        Texts.append(T.Text);
        Starts.append(T.Start);
        QCOMPARE(T.Len, T.Text.size());
        QCOMPARE(line.mid(T.Start, T.Len), T.Text);
    }
    QCOMPARE(Texts, tokens);
    QCOMPARE(Starts, starts);
}

void TestIntraLine::ranges_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QList<THighlightRange>>("expected");

    QTest::newRow("changed name and number, not the keyword")
        << Line("int·count·=·10;") << Line("int·total·=·12;") << false << Ranges({{4, 5}, {12, 2}});
    QTest::newRow("ignore case folds the first word") << Line("Foo·bar") << Line("foo·baz") << true << Ranges({{4, 3}});
    QTest::newRow("case counts without the option") << Line("Foo·bar") << Line("foo·baz") << false
                                                    << Ranges({{0, 3}, {4, 3}});
    QTest::newRow("the fold is ASCII only") << Line("Äb") << Line("äb") << true << Ranges({{0, 2}});
    QTest::newRow("a separator alone") << Line("a,b") << Line("a;b") << false << Ranges({{1, 1}});
    QTest::newRow("operator with its spaces") << Line("x·=·1") << Line("x·==·1") << false << Ranges({{1, 3}});
    QTest::newRow("adjacent tokens merge") << Line("ab·cd") << Line("xy") << false << Ranges({{0, 5}});
    QTest::newRow("é is a word character") << Line("café·ok") << Line("cafe·ok") << false << Ranges({{0, 4}});
    QTest::newRow("the later repeated token is matched") << Line("a·a") << Line("a") << false << Ranges({{0, 2}});
    QTest::newRow("nothing lacking") << Line("a") << Line("a·a") << false << Ranges({});
    QTest::newRow("empty line") << QString() << Line("x") << false << Ranges({});
    QTest::newRow("empty other line: all of it") << Line("a·b") << QString() << false << Ranges({{0, 3}});
    QTest::newRow("identical lines") << Line("a·b") << Line("a·b") << false << Ranges({});
    QTest::newRow("identical but for ASCII case, folded") << Line("SELECT·x") << Line("select·X") << true
                                                          << Ranges({});
    QTest::newRow("letter beyond ASCII differs in case")
        << Line("Ärger·da") << Line("ärger·da") << true << Ranges({{0, 5}});
    QTest::newRow("surrogate pair inside a word")
        << (QStringLiteral("x") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(" y"))
        << (QStringLiteral("x") + QString::fromUcs4(U"\U0001F601") + QStringLiteral(" y")) << false
        << Ranges({{0, 3}});
    QTest::newRow("whitespace differences are highlighted") << Line("a·b") << Line("a→b") << false
                                                            << Ranges({{1, 1}});
    QTest::newRow("tie: the walk steps back in A first") << Line("a·b") << Line("b·a") << false
                                                         << Ranges({{1, 2}});
}

void TestIntraLine::ranges()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, ignoreCase);
    QFETCH(QList<THighlightRange>, expected);

    const QList<THighlightRange> Got = ComputeIntraLineRanges(a, b, ignoreCase);
    QCOMPARE(DescribeRanges(Got), DescribeRanges(expected));
    QCOMPARE(DescribeRanges(OracleComputeIntraLineRanges(a, b, ignoreCase)), DescribeRanges(expected));
}

void TestIntraLine::matchTokens_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QString>("flagsA");
    QTest::addColumn<QString>("flagsB");

    QTest::newRow("later repeat matched") << Line("a·a") << Line("a") << false << "001" << "1";
    QTest::newRow("both ways") << Line("a") << Line("a·a") << false << "1" << "001";
    QTest::newRow("one side empty") << Line("a·b") << QString() << false << "000" << "";
    QTest::newRow("ASCII fold") << Line("Foo·bar") << Line("foo·baz") << true << "110" << "110";
    QTest::newRow("crossing: a tie steps back in A") << Line("a·b") << Line("b·a") << false << "100"
                                                     << "001";
}

void TestIntraLine::matchTokens()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, ignoreCase);
    QFETCH(QString, flagsA);
    QFETCH(QString, flagsB);

    const TTokenMatch M = MatchTokens(SplitTokens(a), SplitTokens(b), ignoreCase);
    QCOMPARE(DescribeFlags(M.MatchedA), flagsA);
    QCOMPARE(DescribeFlags(M.MatchedB), flagsB);
}

void TestIntraLine::normalizeRanges_data()
{
    QTest::addColumn<QList<THighlightRange>>("input");
    QTest::addColumn<QList<THighlightRange>>("expected");

    QTest::newRow("empty list") << Ranges({}) << Ranges({});
    QTest::newRow("empty and negative ranges dropped") << Ranges({{3, 0}, {1, 2}, {5, -4}}) << Ranges({{1, 2}});
    QTest::newRow("a single range is kept") << Ranges({{7, 1}}) << Ranges({{7, 1}});
    QTest::newRow("sorted by start") << Ranges({{10, 2}, {0, 3}, {5, 1}}) << Ranges({{0, 3}, {5, 1}, {10, 2}});
    QTest::newRow("touching ranges merge") << Ranges({{0, 3}, {3, 2}}) << Ranges({{0, 5}});
    QTest::newRow("overlapping ranges merge") << Ranges({{4, 4}, {0, 6}}) << Ranges({{0, 8}});
    QTest::newRow("a contained range vanishes") << Ranges({{0, 10}, {2, 3}}) << Ranges({{0, 10}});
    QTest::newRow("equal starts keep the longer end") << Ranges({{2, 1}, {2, 5}, {2, 3}}) << Ranges({{2, 5}});
    QTest::newRow("a gap of one keeps them apart") << Ranges({{0, 2}, {3, 1}}) << Ranges({{0, 2}, {3, 1}});
    QTest::newRow("chain merges through the middle") << Ranges({{0, 2}, {5, 2}, {2, 3}}) << Ranges({{0, 7}});
    QTest::newRow("ends near the top do not wrap")
        << Ranges({{2147483600, 40}, {2147483630, 17}}) << Ranges({{2147483600, 47}});
}

void TestIntraLine::normalizeRanges()
{
    QFETCH(QList<THighlightRange>, input);
    QFETCH(QList<THighlightRange>, expected);

    QList<THighlightRange> Got = input;
    NormalizeRanges(Got);
    QCOMPARE(DescribeRanges(Got), DescribeRanges(expected));
    QList<THighlightRange> ByOracle = input;
    OracleNormalizeRanges(ByOracle);
    QCOMPARE(DescribeRanges(ByOracle), DescribeRanges(expected));
}

void TestIntraLine::clipRange_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("clipStart");
    QTest::addColumn<int>("clipEnd");

    QTest::newRow("inside") << 3 << 2 << 0 << 10 << true << 3 << 5;
    QTest::newRow("cut at the start") << 3 << 5 << 5 << 10 << true << 5 << 8;
    QTest::newRow("cut at the end") << 3 << 5 << 0 << 6 << true << 3 << 6;
    QTest::newRow("covers the whole span") << 0 << 20 << 5 << 10 << true << 5 << 10;
    QTest::newRow("ends where the span starts") << 0 << 5 << 5 << 10 << false << 5 << 5;
    QTest::newRow("starts where the span ends") << 10 << 3 << 5 << 10 << false << 10 << 10;
    QTest::newRow("before the span") << 0 << 2 << 5 << 10 << false << 5 << 2;
    QTest::newRow("after the span") << 12 << 2 << 5 << 10 << false << 12 << 10;
    QTest::newRow("empty span") << 0 << 10 << 4 << 4 << false << 4 << 4;
    QTest::newRow("empty range") << 6 << 0 << 5 << 10 << false << 6 << 6;
    QTest::newRow("one character") << 9 << 1 << 5 << 10 << true << 9 << 10;
    QTest::newRow("end beyond 32 bits does not wrap") << 2147483000 << 2147483000 << 0 << 2147483647 << true
                                                      << 2147483000 << 2147483647;
}

void TestIntraLine::clipRange()
{
    QFETCH(int, start);
    QFETCH(int, len);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, visible);
    QFETCH(int, clipStart);
    QFETCH(int, clipEnd);

    std::int32_t S = -1, E = -1;
    QCOMPARE(ClipRange(THighlightRange{start, len}, from, to, S, E), visible);
    QCOMPARE(S, clipStart);
    QCOMPARE(E, clipEnd);
}

void TestIntraLine::sidesAreComputedSeparately()
{
    // Each side is its own A, so the two cells need not mirror each other: here the left cell
    // highlights its 'a' although the right cell's 'a' counts as matched.
    const QString L = Line("·a"), R = Line("a·");
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(L, R, false)),
             DescribeRanges(OracleComputeIntraLineRanges(L, R, false)));
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(R, L, false)),
             DescribeRanges(OracleComputeIntraLineRanges(R, L, false)));
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(L, R, false)), QStringLiteral("1/1"));
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(R, L, false)), QStringLiteral("1/1"));
}

void TestIntraLine::randomShortLinesMatchOracle()
{
    QRandomGenerator Rng(20261210);
    for (int Round = 0; Round < 30000; ++Round) {
        const bool IgnoreCase = Round % 2 == 1;
        const QString A = RandomTokenLine(Rng, 24);
        const QString B = Rng.bounded(2) ? EditTokenLine(Rng, A, 1 + int(Rng.bounded(3))) : RandomTokenLine(Rng, 24);

        auto RangesDiffer = [IgnoreCase](const QString& X, const QString& Y) {
            return ComputeIntraLineRanges(X, Y, IgnoreCase) != OracleComputeIntraLineRanges(X, Y, IgnoreCase);
        };
        auto FlagsDiffer = [IgnoreCase](const QString& X, const QString& Y) {
            QList<bool> MA, MB;
            OracleMatchTokens(OracleSplitTokens(X), OracleSplitTokens(Y), IgnoreCase, MA, MB);
            const TTokenMatch M = MatchTokens(SplitTokens(X), SplitTokens(Y), IgnoreCase);
            return M.MatchedA != MA || M.MatchedB != MB;
        };
        auto ExactDiffers = [IgnoreCase](const QString& X, const QString& Y) {
            QList<bool> MA, MB;
            OracleMatchTokens(OracleSplitTokens(X), OracleSplitTokens(Y), IgnoreCase, MA, MB);
            const TIdPair Ids = IdsFor(X, Y, IgnoreCase);
            // Checkpoint intervals and band guesses (too wide, exact, too narrow, none) must not
            // matter; the guess counts what is left after the shared suffix.
            const std::int32_t Lcs = std::int32_t(MA.count(true)) - SharedSuffix(Ids);
            for (std::int32_t K : {0, 1, 2})
                for (std::int32_t G : {-1, 0, 1, Lcs - 1, Lcs, Lcs + 1, 1 << 30}) {
                    const TTokenMatch M = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count, TMethod::Exact, K, G);
                    if (M.MatchedA != MA || M.MatchedB != MB)
                        return true;
                }
            return false;
        };
        for (const auto& [Name, Fails] : {std::pair<const char*, std::function<bool(const QString&, const QString&)>>{
                                              "ranges", RangesDiffer},
                                          {"token flags", FlagsDiffer},
                                          {"exact walk with checkpoints", ExactDiffers}}) {
            if (!Fails(A, B))
                continue;
            const auto [SA, SB] = Shrink(A, B, Fails);
            QFAIL(qPrintable(QStringLiteral("%1 differ from the oracle (round %2, IgnoreCase %3)\n  A = %4\n  B = %5\n"
                                            "  ours:   %6\n  oracle: %7")
                                 .arg(QLatin1String(Name))
                                 .arg(Round)
                                 .arg(IgnoreCase)
                                 .arg(DescribeLine(SA), DescribeLine(SB),
                                      DescribeRanges(ComputeIntraLineRanges(SA, SB, IgnoreCase)),
                                      DescribeRanges(OracleComputeIntraLineRanges(SA, SB, IgnoreCase)))));
        }
    }
}

void TestIntraLine::exactWalkMatchesOracleAcrossBlocks()
{
    // Rows of several words, frequent and rare tokens (dense and sparse masks), and walks that
    // rebuild many checkpoint blocks.
    QRandomGenerator Rng(7);
    for (int Round = 0; Round < 120; ++Round) {
        const bool IgnoreCase = Round % 2 == 0;
        const int Len = 100 + int(Rng.bounded(500));
        QString A, B;
        if (Round % 3 == 0) {
            A = RandomTokenLine(Rng, Len);
            B = EditTokenLine(Rng, A, 1 + int(Rng.bounded(20)));
        } else {
            A = RandomProseLine(Rng, Len, Round % 3 == 1 ? 8 : 400);
            B = Rng.bounded(2) ? EditWords(Rng, A, 0.1) : RandomProseLine(Rng, Len, Round % 3 == 1 ? 8 : 400);
        }
        QList<bool> MA, MB;
        OracleMatchTokens(OracleSplitTokens(A), OracleSplitTokens(B), IgnoreCase, MA, MB);
        const TIdPair Ids = IdsFor(A, B, IgnoreCase);
        // The band is guessed for what is left after the shared suffix: try around its exact LCS.
        const std::int32_t Lcs = std::int32_t(MA.count(true)) - SharedSuffix(Ids);
        for (std::int32_t K : {0, 1, 3, 17, 64})
            for (std::int32_t G : {-1, 0, Lcs / 2, Lcs - 1, Lcs, Lcs + 1, 1 << 30}) {
                const TTokenMatch M = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count, TMethod::Exact, K, G);
                if (M.MatchedA != MA || M.MatchedB != MB)
                    QFAIL(qPrintable(QStringLiteral("round %1, interval %2, band guess %3, IgnoreCase %4\n  A = %5\n  B = %6")
                                         .arg(Round)
                                         .arg(K)
                                         .arg(G)
                                         .arg(IgnoreCase)
                                         .arg(DescribeLine(A), DescribeLine(B))));
            }
        QCOMPARE(DescribeRanges(ComputeIntraLineRanges(A, B, IgnoreCase)),
                 DescribeRanges(OracleComputeIntraLineRanges(A, B, IgnoreCase)));
    }
}

void TestIntraLine::commonSubsequenceBeyondSixteenBits()
{
    // 40,000 common tokens: 16-bit counters would wrap and misdirect the walk.
    const QString S = QStringLiteral(" a").repeated(20000);
    const QString A = QStringLiteral("q") + S;
    const QString B = S + QStringLiteral(" q");
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(A, B, false)), QStringLiteral("0/1"));
    const QList<THighlightRange> Other = ComputeIntraLineRanges(B, A, false);
    QCOMPARE(DescribeRanges(Other), QStringLiteral("%1/2").arg(S.size()));
}

void TestIntraLine::longLinesStayExactAndSound()
{
    // A pair of 100,000-token lines, one an edited copy of the other: answered exactly (within
    // the bound), as a common subsequence at least as long as the shared prefix and suffix.
    QRandomGenerator Rng(11);
    const QString A = RandomProseLine(Rng, 100000, 5000);
    const QString B = EditWords(Rng, A, 0.05);
    const TIdPair Ids = IdsFor(A, B, false);
    QCOMPARE(qsizetype(Ids.A.size()), qsizetype(100000));
    QVERIFY(IntraLineInternals::AnswersExactly(Ids.A, Ids.B, Ids.Count));

    const TTokenMatch Exact = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count);
    QVERIFY(IsCommonSubsequence(Ids.A, Ids.B, Exact));
    const TTokenMatch Middle = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count, TMethod::MiddleOnly);
    QVERIFY(IsCommonSubsequence(Ids.A, Ids.B, Middle));
    QVERIFY(Exact.MatchedA.count(true) >= Middle.MatchedA.count(true));
    // Only a few words in twenty were replaced, so nearly every token stays matched.
    QVERIFY(Exact.MatchedA.count(true) > 90000);

    const QList<THighlightRange> Ranges = ComputeIntraLineRanges(A, B, false);
    QCOMPARE(InvariantBreach(Ranges, A.size()), QString());
    // The ranges are exactly the unmatched tokens.
    QList<THighlightRange> FromFlags;
    const TTokens Tokens = SplitTokens(A);
    for (qsizetype K = 0; K < Tokens.size(); ++K)
        if (!Exact.MatchedA[K])
            FromFlags.append({Tokens[K].Start, Tokens[K].Len});
    NormalizeRanges(FromFlags);
    QVERIFY(Ranges == FromFlags);
}

void TestIntraLine::beyondTheBoundFallsBackToTheMiddle()
{
    // Two unrelated 200,000-token lines over a few words are beyond the exact bound: the
    // differing middle is highlighted, the shared start and end are not.
    QRandomGenerator Rng(5);
    const QString A = QStringLiteral("head ") + RandomProseLine(Rng, 200000, 8) + QStringLiteral("x tail");
    const QString B = QStringLiteral("head ") + RandomProseLine(Rng, 200000, 8) + QStringLiteral("y tail");
    const TIdPair Ids = IdsFor(A, B, false);
    QVERIFY(!IntraLineInternals::AnswersExactly(Ids.A, Ids.B, Ids.Count));

    const QList<THighlightRange> Ranges = ComputeIntraLineRanges(A, B, false);
    QCOMPARE(InvariantBreach(Ranges, A.size()), QString());
    QCOMPARE(Ranges.size(), qsizetype(1));
    QVERIFY(Ranges[0].Start >= 5);
    QCOMPARE(std::int64_t(Ranges[0].Start) + Ranges[0].Len, std::int64_t(A.size() - 5));

    const TTokenMatch M = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count);
    QVERIFY(IsCommonSubsequence(Ids.A, Ids.B, M));
    QCOMPARE(DescribeFlags(M.MatchedA).left(2), QStringLiteral("11"));
    QCOMPARE(DescribeFlags(M.MatchedA).right(3), QStringLiteral("011"));
}

void TestIntraLine::repeatedCallsGiveTheSameAnswer()
{
    // Long pairs are remembered between repaints; the answer must not depend on that, nor on
    // which of two lines that differ only after the first call is asked for.
    QRandomGenerator Rng(3);
    const QString A = RandomProseLine(Rng, 3000, 300);
    QString B = EditWords(Rng, A, 0.2);
    const QList<THighlightRange> First = ComputeIntraLineRanges(A, B, false);
    QVERIFY(ComputeIntraLineRanges(A, B, false) == First);
    QCOMPARE(DescribeRanges(First), DescribeRanges(OracleComputeIntraLineRanges(A, B, false)));
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(A, B, true)), DescribeRanges(OracleComputeIntraLineRanges(A, B, true)));
    B[B.size() - 2] = u'Z';  // the same length, the last word changed
    QCOMPARE(DescribeRanges(ComputeIntraLineRanges(A, B, false)), DescribeRanges(OracleComputeIntraLineRanges(A, B, false)));
    const QList<THighlightRange> Changed = ComputeIntraLineRanges(A, B, false);
    IntraLineInternals::ClearCache();
    QVERIFY(ComputeIntraLineRanges(A, B, false) == Changed);
}

QTEST_GUILESS_MAIN(TestIntraLine)
#include "tst_engine_intraline.moc"
