#include "engine/IntraLine.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringView>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <list>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using Word = std::uint64_t;
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

struct TSpan {
    std::int32_t Start = 0, Len = 0;
};

// Token boundaries only; ASCII case folding never changes a character's class, so the
// spans of a folded copy are the spans of the line.
std::vector<TSpan> SplitSpans(QStringView S)
{
    std::vector<TSpan> Spans;
    const qsizetype N = S.size();
    const char16_t* P = S.utf16();
    qsizetype Pos = 0;
    while (Pos < N) {
        const bool Word = IsTokenWordChar(P[Pos]);
        qsizetype End = Pos + 1;
        while (End < N && IsTokenWordChar(P[End]) == Word)
            ++End;
        Spans.push_back({std::int32_t(Pos), std::int32_t(End - Pos)});
        Pos = End;
    }
    return Spans;
}

QString FoldAscii(const QString& S)
{
    QString Folded = S;
    char16_t* P = reinterpret_cast<char16_t*>(Folded.data());
    for (qsizetype I = 0, N = Folded.size(); I < N; ++I)
        if (P[I] >= u'a' && P[I] <= u'z')
            P[I] = char16_t(P[I] - (u'a' - u'A'));
    return Folded;
}

// What is left to match after the shared suffix (which the walk back takes diagonally first).
// Rows are the tokens of A that occur in what is left of B: a token of A that matches nothing
// leaves its table row equal to the row before, and the walk steps straight up through it, so
// dropping it changes no decision.
struct TProblem {
    explicit TProblem(const std::vector<std::int32_t>& Tokens) : A(Tokens) {}
    const std::vector<std::int32_t>& A;
    qsizetype N = 0, M = 0;
    std::vector<std::int32_t> Rows;
    std::vector<std::int32_t> OccStart;  // positions of id k in B[0..M): Occ[OccStart[k] .. OccStart[k+1])
    std::vector<std::int32_t> Occ;
    std::vector<std::int32_t> DenseOf;  // id -> its precomputed mask, or -1: set bit by bit per row
    qsizetype DenseCount = 0;
    qsizetype Words = 0;
    qsizetype Interval = 0;  // rows between checkpoints
};

qsizetype StripSuffix(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                      TTokenMatch& Result, qsizetype& N, qsizetype& M)
{
    qsizetype Count = 0;
    while (N > 0 && M > 0 && A[N - 1] >= 0 && A[N - 1] == B[M - 1]) {
        Result.MatchedA[--N] = true;
        Result.MatchedB[--M] = true;
        ++Count;
    }
    return Count;
}

void PrepareProblem(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                    std::int32_t IdCount, TProblem& P)
{
    P.OccStart.assign(std::size_t(IdCount) + 1, 0);
    for (qsizetype J = 0; J < P.M; ++J)
        if (B[J] >= 0)
            ++P.OccStart[std::size_t(B[J]) + 1];
    for (std::int32_t K = 0; K < IdCount; ++K)
        P.OccStart[std::size_t(K) + 1] += P.OccStart[std::size_t(K)];
    P.Occ.resize(std::size_t(P.OccStart.back()));
    std::vector<std::int32_t> Fill(P.OccStart.begin(), P.OccStart.end() - 1);
    for (qsizetype J = 0; J < P.M; ++J)
        if (B[J] >= 0)
            P.Occ[std::size_t(Fill[std::size_t(B[J])]++)] = std::int32_t(J);
    P.Words = (P.M + 63) / 64;
    // A frequent token gets its own mask (at most 4*M/Words of them, one row of words each); a
    // rare one is set into a scratch row and cleared again.
    const qsizetype Threshold = std::max<qsizetype>(32, P.Words / 4);
    P.DenseOf.assign(std::size_t(IdCount), -1);
    P.DenseCount = 0;
    P.Rows.clear();
    for (qsizetype I = 0; I < P.N; ++I) {
        const std::int32_t Id = A[I];
        if (Id < 0)
            continue;
        const qsizetype Count = P.OccStart[std::size_t(Id) + 1] - P.OccStart[std::size_t(Id)];
        if (Count == 0)
            continue;
        P.Rows.push_back(std::int32_t(I));
        if (Count >= Threshold && P.DenseOf[std::size_t(Id)] < 0)
            P.DenseOf[std::size_t(Id)] = std::int32_t(P.DenseCount++);
    }
}

// Rows of the table kept at once: every row when that is small, else checkpoints every
// ~sqrt(rows) rows plus one block of rows rebuilt from its checkpoint during the walk back.
void ChooseInterval(TProblem& P, std::int32_t Requested)
{
    const qsizetype Rows = qsizetype(P.Rows.size());
    if (Requested > 0)
        P.Interval = Requested;
    else if (std::int64_t(Rows + 1) * P.Words * std::int64_t(sizeof(Word)) <= (std::int64_t(16) << 20))
        P.Interval = std::max<qsizetype>(Rows, 1);
    else
        P.Interval = std::max<qsizetype>(1, qsizetype(std::ceil(std::sqrt(double(Rows)))));
}

bool WithinMemoryBound(const TProblem& P)
{
    const std::int64_t Rows = std::int64_t(P.Rows.size());
    const std::int64_t RowBytes = P.Words * std::int64_t(sizeof(Word));
    const std::int64_t Checkpoints = (Rows + P.Interval - 1) / P.Interval + 1;
    const std::int64_t BlockRows = std::min<std::int64_t>(P.Interval, Rows) + 1;
    const std::int64_t Bytes = (Checkpoints + 2 + P.DenseCount) * RowBytes + BlockRows * (RowBytes + 32);
    return Bytes <= IntraLineInternals::kMaxTableBytes;
}

inline unsigned char AddWithCarry(unsigned char CarryIn, Word X, Word Y, Word& Sum)
{
#if defined(__x86_64__)
    unsigned long long Out = 0;
    const unsigned char CarryOut = _addcarry_u64(CarryIn, X, Y, &Out);
    Sum = Out;
    return CarryOut;
#else
    const Word S = X + Y;
    Sum = S + CarryIn;
    return (S < X) | (Sum < S);
#endif
}

// Words First .. First+Count-1 of one table row; words past the end read as all ones (columns
// no step has reached yet).
struct TRowRef {
    Word* Data = nullptr;
    qsizetype First = 0, Count = 0;
    [[nodiscard]] Word At(qsizetype W) const { return W >= First && W < First + Count ? Data[W - First] : ~Word(0); }
    Word& operator[](qsizetype W) { return Data[W - First]; }
};

// Hyyrö's bit-vector LCS: bit j-1 of a row is 0 exactly where T[i][j] = T[i][j-1] + 1, so
// T[i][j] is the number of zero bits below bit j. Bits at and above M stay 1.
//
// Band: with L the length of the longest common subsequence of N and M tokens, every optimal
// path keeps to the diagonals -(N-L) .. M-L, and the walk back only visits optimal cells. So
// matches outside the band of any G <= L may be dropped: every cell on an optimal path keeps
// its value, every other cell can only shrink, and of a cell's two neighbours the one with the
// cell's own value lies on an optimal path, so each decision of the walk stays the same. A row
// then changes only inside its band, and columns right of the band are still all ones.
class TBitRows {
public:
    explicit TBitRows(const TProblem& P) : FP(P), FWords(P.Words)
    {
        FScratch.assign(std::size_t(FWords), 0);
        FDenseMasks.assign(std::size_t(P.DenseCount * FWords), 0);
        for (std::size_t Id = 0; Id < P.DenseOf.size(); ++Id) {
            if (P.DenseOf[Id] < 0)
                continue;
            Word* Mask = FDenseMasks.data() + std::size_t(P.DenseOf[Id]) * std::size_t(FWords);
            for (std::int32_t K = P.OccStart[Id]; K < P.OccStart[Id + 1]; ++K)
                Mask[P.Occ[std::size_t(K)] >> 6] |= Word(1) << (P.Occ[std::size_t(K)] & 63);
        }
    }

    void SetBand(qsizetype G)
    {
        FDn = qsizetype(FP.Rows.size()) - G;
        FDm = FP.M - G;
    }
    // Bits (columns - 1) that row Q may match, and the words a stored row Q must hold so that
    // it can be read at its own band and stepped into row Q+1.
    [[nodiscard]] qsizetype BandLo(qsizetype Q) const { return std::max<qsizetype>(0, Q - FDn - 1); }
    [[nodiscard]] qsizetype BandHi(qsizetype Q) const { return std::min<qsizetype>(FP.M - 1, Q + FDm - 1); }
    [[nodiscard]] qsizetype KeepLo(qsizetype Q) const { return std::max<qsizetype>(0, Q - FDn - 2) >> 6; }
    [[nodiscard]] qsizetype KeepHi(qsizetype Q) const { return std::min<qsizetype>(FP.M - 1, Q + FDm) >> 6; }

    // Word steps of one pass over all rows with the band of G, bit setting included.
    [[nodiscard]] std::int64_t Work(qsizetype G) const
    {
        const qsizetype Width = qsizetype(FP.Rows.size()) + FP.M - 2 * G + 1;
        const std::int64_t RowWords = std::min<qsizetype>(FWords, Width / 64 + 2);
        std::int64_t Total = 0;
        for (std::int32_t I : FP.Rows) {
            const std::int32_t Id = FP.A[std::size_t(I)];
            const qsizetype Count = FP.OccStart[std::size_t(Id) + 1] - FP.OccStart[std::size_t(Id)];
            Total += RowWords + (FP.DenseOf[std::size_t(Id)] < 0 ? 2 * std::min(Count, Width) : 0);
        }
        return Total;
    }

    // Row Q-1 in V becomes row Q (token Id) over the words below Limit; Lo..Hi are the words
    // that may have changed (none when Hi < Lo).
    void Step(TRowRef V, std::int32_t Id, qsizetype Q, qsizetype Limit, std::int32_t& Lo, std::int32_t& Hi)
    {
        Lo = 0;
        Hi = -1;
        const qsizetype BitLo = BandLo(Q), BitHi = BandHi(Q);
        if (BitLo > BitHi)
            return;
        const std::int32_t* Begin = FP.Occ.data() + FP.OccStart[std::size_t(Id)];
        const std::int32_t* End = FP.Occ.data() + FP.OccStart[std::size_t(Id) + 1];
        const std::int32_t* First = std::lower_bound(Begin, End, std::int32_t(BitLo));
        const std::int32_t* Last = std::upper_bound(First, End, std::int32_t(BitHi));
        if (First == Last || (*First >> 6) >= Limit)
            return;
        const bool Dense = FP.DenseOf[std::size_t(Id)] >= 0;
        const Word* Mask;
        if (Dense) {
            Mask = FDenseMasks.data() + std::size_t(FP.DenseOf[std::size_t(Id)]) * std::size_t(FWords);
        } else {
            for (const std::int32_t* Q2 = First; Q2 != Last; ++Q2)
                FScratch[std::size_t(*Q2 >> 6)] |= Word(1) << (*Q2 & 63);
            Mask = FScratch.data();
        }
        const qsizetype WordLo = BitLo >> 6, WordHi = BitHi >> 6;
        const Word EdgeLo = ~Word(0) << (BitLo & 63), EdgeHi = ~Word(0) >> (63 - (BitHi & 63));
        const qsizetype FirstWord = *First >> 6;
        const qsizetype LastMatchWord = std::min<qsizetype>(Last[-1] >> 6, Limit - 1);
        const qsizetype Front = std::min<qsizetype>(WordHi, Limit - 1);
        unsigned char Carry = 0;
        qsizetype W = FirstWord;
        for (; W <= LastMatchWord; ++W) {
            Word Mw = Mask[W];
            if (W == WordLo)
                Mw &= EdgeLo;
            if (W == WordHi)
                Mw &= EdgeHi;
            const Word X = V[W];
            Word Sum;
            Carry = AddWithCarry(Carry, X, X & Mw, Sum);
            V[W] = Sum | (X & ~Mw);
        }
        // Past the last match the carry runs through ones and stops at the first zero bit;
        // beyond the band everything is still ones, where a carry changes nothing.
        for (; Carry != 0 && W <= Front; ++W) {
            const Word X = V[W];
            Carry = X == ~Word(0);
            V[W] = (X + 1) | X;
        }
        Lo = std::int32_t(FirstWord);
        Hi = std::int32_t(W - 1);
        if (!Dense)
            for (const std::int32_t* Q2 = First; Q2 != Last; ++Q2)
                FScratch[std::size_t(*Q2 >> 6)] = 0;
    }

private:
    const TProblem& FP;
    qsizetype FWords = 0;
    qsizetype FDn = 0, FDm = 0;
    std::vector<Word> FScratch;
    std::vector<Word> FDenseMasks;
};

inline int ZeroBit(const TRowRef& V, qsizetype J)  // 1 when T[.][J+1] = T[.][J] + 1
{
    return int(~V.At(J >> 6) >> (J & 63)) & 1;
}

// T[r][J] - T[r-1][J], from the words where the two rows differ.
int VerticalDelta(const TRowRef& Row, const TRowRef& Above, qsizetype Lo, qsizetype Hi, qsizetype J)
{
    std::int64_t Delta = 0;
    const qsizetype Full = J >> 6;
    for (qsizetype W = Lo; W <= Hi && W <= Full; ++W) {
        Word Mask = ~Word(0);
        if (W == Full) {
            if ((J & 63) == 0)
                break;
            Mask = (Word(1) << (J & 63)) - 1;
        }
        Delta += std::popcount(~Row.At(W) & Mask) - std::popcount(~Above.At(W) & Mask);
    }
    return int(Delta);
}

// The exact matcher: a forward pass keeps checkpoint rows, the walk back rebuilds one block of
// rows at a time from its checkpoint, over the band and left of the walk's column only.
class TExactMatcher {
public:
    TExactMatcher(const std::vector<std::int32_t>& B, const TProblem& P) : FB(B), FP(P), FBits(P)
    {
        FRows = qsizetype(P.Rows.size());
        FK = P.Interval;
        FLastBlockStart = ((FRows - 1) / FK) * FK;
    }

    [[nodiscard]] std::int64_t Work(qsizetype G) const { return FBits.Work(G); }

    // The forward pass with the band of G; returns the LCS length inside that band.
    qsizetype Forward(qsizetype G)
    {
        FBits.SetBand(G);
        const qsizetype Words = FP.Words;
        FCheckpoints.assign(std::size_t((FLastBlockStart / FK + 1) * Words), ~Word(0));
        std::vector<Word> V(std::size_t(Words), ~Word(0));
        const TRowRef Row{V.data(), 0, Words};
        std::int32_t Lo = 0, Hi = 0;
        for (qsizetype R = 1; R <= FRows; ++R) {
            FBits.Step(Row, IdOfRow(R), R, Words, Lo, Hi);
            if (R % FK == 0 && R <= FLastBlockStart)
                std::copy(V.begin(), V.end(), FCheckpoints.begin() + std::ptrdiff_t((R / FK) * Words));
        }
        qsizetype Zeros = 0;
        for (Word X : V)
            Zeros += std::popcount(~X);
        return Zeros;
    }

    // The walk back over the band last passed to Forward.
    void Walk(TTokenMatch& Result)
    {
        const qsizetype Words = FP.Words;
        qsizetype R = FRows, J = FP.M;
        while (R > 0 && J > 0) {
            const qsizetype S = ((R - 1) / FK) * FK;
            BuildBlock(S, R, std::min(Words, (J >> 6) + 1));  // the walk stays at or left of J
            bool DeltaKnown = false;
            int Delta = 0;
            while (R > S && J > 0) {
                if (IdOfRow(R) == FB[std::size_t(J - 1)]) {
                    Result.MatchedA[FP.Rows[std::size_t(R - 1)]] = true;
                    Result.MatchedB[J - 1] = true;
                    --R;
                    --J;
                    DeltaKnown = false;
                    continue;
                }
                // Up unless T[R-1][J] < T[R][J-1], i.e. unless the vertical step gains and the
                // horizontal one does not.
                const TRowRef Row = RowOf(R - S);
                if (ZeroBit(Row, J - 1)) {
                    --R;
                    DeltaKnown = false;
                    continue;
                }
                if (!DeltaKnown) {
                    Delta = VerticalDelta(Row, RowOf(R - S - 1), FLo[std::size_t(R - S)], FHi[std::size_t(R - S)], J);
                    DeltaKnown = true;
                }
                if (Delta == 0) {
                    --R;
                    DeltaKnown = false;
                } else {
                    --J;  // the vertical gain stays 1 along this row (it can only be 0 or 1)
                }
            }
        }
    }

private:
    [[nodiscard]] std::int32_t IdOfRow(qsizetype R) const { return FP.A[std::size_t(FP.Rows[std::size_t(R - 1)])]; }

    [[nodiscard]] TRowRef RowOf(qsizetype Index)
    {
        return {FPool.data() + FOffset[std::size_t(Index)], FFirst[std::size_t(Index)], FCount[std::size_t(Index)]};
    }

    // Rows S..R, each over the words it keeps below Limit.
    void BuildBlock(qsizetype S, qsizetype R, qsizetype Limit)
    {
        const std::size_t Count = std::size_t(R - S + 1);
        FOffset.resize(Count);
        FFirst.resize(Count);
        FCount.resize(Count);
        FLo.assign(Count, 0);
        FHi.assign(Count, -1);
        qsizetype Total = 0;
        for (std::size_t K = 0; K < Count; ++K) {
            const qsizetype Q = S + qsizetype(K);
            FFirst[K] = FBits.KeepLo(Q);
            FCount[K] = std::max<qsizetype>(0, std::min(FBits.KeepHi(Q), Limit - 1) - FFirst[K] + 1);
            FOffset[K] = Total;
            Total += FCount[K];
        }
        FPool.resize(std::size_t(Total));
        const Word* Checkpoint = FCheckpoints.data() + (S / FK) * FP.Words;
        TRowRef First = RowOf(0);
        for (qsizetype W = First.First; W < First.First + First.Count; ++W)
            First[W] = Checkpoint[W];
        for (std::size_t K = 1; K < Count; ++K) {
            TRowRef Row = RowOf(qsizetype(K));
            const TRowRef Above = RowOf(qsizetype(K) - 1);
            for (qsizetype W = Row.First; W < Row.First + Row.Count; ++W)
                Row[W] = Above.At(W);
            FBits.Step(Row, IdOfRow(S + qsizetype(K)), S + qsizetype(K), Limit, FLo[K], FHi[K]);
        }
    }

    const std::vector<std::int32_t>& FB;
    const TProblem& FP;
    TBitRows FBits;
    qsizetype FRows = 0, FK = 1, FLastBlockStart = 0;
    std::vector<Word> FCheckpoints;
    std::vector<Word> FPool;
    std::vector<qsizetype> FOffset, FFirst, FCount;
    std::vector<std::int32_t> FLo, FHi;
};

// A first band wide enough for lines that differ in a few tokens; when it proves too narrow,
// the LCS found inside it is a lower bound that gives a band sure to hold every optimal path.
qsizetype FirstBandGuess(qsizetype Rows, qsizetype M)
{
    const qsizetype Width = std::max<qsizetype>(128, (Rows + M) / 16);
    return std::clamp<qsizetype>((Rows + M - Width) / 2, 0, std::min(Rows, M));
}

void MatchMiddle(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                 qsizetype N, qsizetype M, TTokenMatch& Result)
{
    for (qsizetype I = 0; I < N && I < M && A[I] >= 0 && A[I] == B[I]; ++I)
        Result.MatchedA[I] = Result.MatchedB[I] = true;
}

// Ids for the tokens of both lines: B's distinct tokens are numbered, A's tokens absent from
// B get -1.
struct TIds {
    std::vector<std::int32_t> A, B;
    std::int32_t Count = 0;
};

template <typename ViewOfA, typename ViewOfB>
TIds InternTokens(qsizetype NA, ViewOfA TokenA, qsizetype NB, ViewOfB TokenB)
{
    TIds Ids;
    Ids.A.resize(std::size_t(NA));
    Ids.B.resize(std::size_t(NB));
    QHash<QStringView, std::int32_t> Numbers;
    Numbers.reserve(NB);
    for (qsizetype J = 0; J < NB; ++J) {
        const QStringView Token = TokenB(J);
        auto It = Numbers.find(Token);
        if (It == Numbers.end())
            It = Numbers.insert(Token, Ids.Count++);
        Ids.B[std::size_t(J)] = *It;
    }
    for (qsizetype I = 0; I < NA; ++I)
        Ids.A[std::size_t(I)] = Numbers.value(TokenA(I), -1);
    return Ids;
}

// Long lines are recomputed on every repaint; keep the few most recent expensive answers.
constexpr std::int64_t kCacheMinProduct = std::int64_t(1) << 22;  // chars of A times chars of B
constexpr qsizetype kCacheMaxEntries = 16;
constexpr qsizetype kCacheMaxChars = qsizetype(32) << 20;

struct TCacheEntry {
    QString A, B;
    bool IgnoreCase = false;
    QList<THighlightRange> Ranges;
};

struct TCache {
    QMutex Lock;
    std::list<TCacheEntry> Entries;  // most recent first
    qsizetype Chars = 0;
};

TCache& Cache()
{
    static TCache Instance;
    return Instance;
}

bool FindCached(const QString& A, const QString& B, bool IgnoreCase, QList<THighlightRange>& Ranges)
{
    TCache& C = Cache();
    QMutexLocker Locker(&C.Lock);
    for (auto It = C.Entries.begin(); It != C.Entries.end(); ++It) {
        if (It->IgnoreCase == IgnoreCase && It->A == A && It->B == B) {
            C.Entries.splice(C.Entries.begin(), C.Entries, It);
            Ranges = C.Entries.front().Ranges;
            return true;
        }
    }
    return false;
}

void StoreCached(const QString& A, const QString& B, bool IgnoreCase, const QList<THighlightRange>& Ranges)
{
    TCache& C = Cache();
    QMutexLocker Locker(&C.Lock);
    C.Entries.push_front({A, B, IgnoreCase, Ranges});
    C.Chars += A.size() + B.size();
    while (C.Entries.size() > 1 && (qsizetype(C.Entries.size()) > kCacheMaxEntries || C.Chars > kCacheMaxChars)) {
        C.Chars -= C.Entries.back().A.size() + C.Entries.back().B.size();
        C.Entries.pop_back();
    }
}

QList<THighlightRange> ComputeUncached(const QString& A, const QString& B, bool IgnoreCase)
{
    // Offsets are 32-bit; nothing past that can be addressed by a range.
    if (A.size() > kInt32Max || B.size() > kInt32Max)
        return {THighlightRange{0, std::int32_t(std::min<qsizetype>(A.size(), kInt32Max))}};

    const QString FA = IgnoreCase ? FoldAscii(A) : A;
    const QString FB = IgnoreCase ? FoldAscii(B) : B;
    const std::vector<TSpan> SA = SplitSpans(FA);
    const std::vector<TSpan> SB = SplitSpans(FB);
    const QStringView VA(FA), VB(FB);
    const TIds Ids = InternTokens(
        qsizetype(SA.size()), [&](qsizetype I) { return VA.mid(SA[std::size_t(I)].Start, SA[std::size_t(I)].Len); },
        qsizetype(SB.size()), [&](qsizetype J) { return VB.mid(SB[std::size_t(J)].Start, SB[std::size_t(J)].Len); });
    const TTokenMatch Match = IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count);

    QList<THighlightRange> Ranges;
    for (std::size_t I = 0; I < SA.size(); ++I) {
        if (Match.MatchedA[qsizetype(I)])
            continue;
        if (!Ranges.isEmpty() && Ranges.back().Start + Ranges.back().Len == SA[I].Start)
            Ranges.back().Len += SA[I].Len;
        else
            Ranges.append({SA[I].Start, SA[I].Len});
    }
    return Ranges;
}

}  // namespace

bool IsTokenWordChar(char16_t C)
{
    return C > 0x7F || (C >= u'0' && C <= u'9') || (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z')
           || C == u'_';
}

TTokens SplitTokens(const QString& Line)
{
    TTokens Tokens;
    for (const TSpan& S : SplitSpans(Line))
        Tokens.append({Line.mid(S.Start, S.Len), S.Start, S.Len});
    return Tokens;
}

TTokenMatch MatchTokens(const TTokens& A, const TTokens& B, bool IgnoreCase)
{
    QStringList FA, FB;
    FA.reserve(A.size());
    FB.reserve(B.size());
    for (const TToken& T : A)
        FA.append(IgnoreCase ? FoldAscii(T.Text) : T.Text);
    for (const TToken& T : B)
        FB.append(IgnoreCase ? FoldAscii(T.Text) : T.Text);
    const TIds Ids = InternTokens(
        A.size(), [&](qsizetype I) { return QStringView(FA[I]); },
        B.size(), [&](qsizetype J) { return QStringView(FB[J]); });
    return IntraLineInternals::MatchIds(Ids.A, Ids.B, Ids.Count);
}

void NormalizeRanges(QList<THighlightRange>& Ranges)
{
    Ranges.removeIf([](const THighlightRange& R) { return R.Len <= 0; });
    if (Ranges.size() < 2)
        return;
    std::stable_sort(Ranges.begin(), Ranges.end(),
                     [](const THighlightRange& X, const THighlightRange& Y) { return X.Start < Y.Start; });
    qsizetype Current = 0;
    for (qsizetype K = 1; K < Ranges.size(); ++K) {
        THighlightRange& Cur = Ranges[Current];
        const THighlightRange& R = Ranges[K];
        // 64-bit ends: a range near the top of the offset space must not wrap around.
        const std::int64_t CurEnd = std::int64_t(Cur.Start) + Cur.Len;
        if (R.Start <= CurEnd) {
            const std::int64_t End = std::max(CurEnd, std::int64_t(R.Start) + R.Len);
            Cur.Len = std::int32_t(std::min(End - Cur.Start, kInt32Max));
        } else {
            Ranges[++Current] = R;
        }
    }
    Ranges.resize(Current + 1);
}

bool ClipRange(const THighlightRange& Range, std::int32_t From, std::int32_t To, std::int32_t& ClipStart,
               std::int32_t& ClipEnd)
{
    ClipStart = std::max(Range.Start, From);
    ClipEnd = std::int32_t(std::min(std::int64_t(Range.Start) + Range.Len, std::int64_t(To)));
    return ClipStart < ClipEnd;
}

QList<THighlightRange> ComputeIntraLineRanges(const QString& A, const QString& B, bool IgnoreCase)
{
    if (A.isEmpty())
        return {};
    if (A == B)
        return {};
    const bool Cacheable = std::int64_t(A.size()) * std::int64_t(B.size()) >= kCacheMinProduct;
    QList<THighlightRange> Ranges;
    if (Cacheable && FindCached(A, B, IgnoreCase, Ranges))
        return Ranges;
    Ranges = ComputeUncached(A, B, IgnoreCase);
    if (Cacheable)
        StoreCached(A, B, IgnoreCase, Ranges);
    return Ranges;
}

namespace {

TTokenMatch RunMatch(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B, std::int32_t IdCount,
                     IntraLineInternals::TMethod Method, std::int32_t CheckpointInterval, std::int32_t BandGuess,
                     bool& Exact)
{
    using IntraLineInternals::TMethod;
    TTokenMatch Result;
    Result.MatchedA.resize(qsizetype(A.size()), false);
    Result.MatchedB.resize(qsizetype(B.size()), false);
    Exact = true;
    TProblem P(A);
    P.N = qsizetype(A.size());
    P.M = qsizetype(B.size());
    StripSuffix(A, B, Result, P.N, P.M);
    if (P.N == 0 || P.M == 0)
        return Result;
    // Ids come from our own interning; a count that is too small must still not index out of range.
    for (std::int32_t Id : B)
        IdCount = std::max(IdCount, Id + 1);
    for (std::int32_t Id : A)
        IdCount = std::max(IdCount, Id + 1);
    auto Middle = [&] {
        Exact = false;
        MatchMiddle(A, B, P.N, P.M, Result);
        return Result;
    };
    if (Method == TMethod::MiddleOnly)
        return Middle();
    PrepareProblem(A, B, IdCount, P);
    if (P.Rows.empty())
        return Result;
    ChooseInterval(P, CheckpointInterval);
    const bool Bounded = Method == TMethod::Auto;
    if (Bounded && !WithinMemoryBound(P))
        return Middle();
    TExactMatcher Matcher(B, P);
    const qsizetype Rows = qsizetype(P.Rows.size());
    qsizetype G = BandGuess >= 0 ? std::min<qsizetype>(BandGuess, std::min(Rows, P.M)) : FirstBandGuess(Rows, P.M);
    if (Bounded && Matcher.Work(G) > IntraLineInternals::kMaxWordSteps)
        return Middle();
    const qsizetype Found = Matcher.Forward(G);
    if (Found < G) {
        // Too narrow: what it found is still a lower bound of the LCS, so its band is safe.
        G = Found;
        if (Bounded && Matcher.Work(G) > IntraLineInternals::kMaxWordSteps)
            return Middle();
        Matcher.Forward(G);
    }
    Matcher.Walk(Result);
    return Result;
}

}  // namespace

namespace IntraLineInternals {

TTokenMatch MatchIds(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                     std::int32_t IdCount, TMethod Method, std::int32_t CheckpointInterval,
                     std::int32_t BandGuess)
{
    bool Exact = true;
    return RunMatch(A, B, IdCount, Method, CheckpointInterval, BandGuess, Exact);
}

bool AnswersExactly(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                    std::int32_t IdCount)
{
    bool Exact = true;
    (void)RunMatch(A, B, IdCount, TMethod::Auto, 0, -1, Exact);
    return Exact;
}

void ClearCache()
{
    TCache& C = Cache();
    QMutexLocker Locker(&C.Lock);
    C.Entries.clear();
    C.Chars = 0;
}

}  // namespace IntraLineInternals
