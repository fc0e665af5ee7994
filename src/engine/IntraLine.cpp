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
    qsizetype N = 0, M = 0;
    std::vector<std::int32_t> Rows;
    std::vector<std::int32_t> OccStart;  // positions of id k in B[0..M): Occ[OccStart[k] .. OccStart[k+1])
    std::vector<std::int32_t> Occ;
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
        ++P.OccStart[std::size_t(B[J]) + 1];
    for (std::int32_t K = 0; K < IdCount; ++K)
        P.OccStart[std::size_t(K) + 1] += P.OccStart[std::size_t(K)];
    P.Occ.resize(std::size_t(P.M));
    std::vector<std::int32_t> Fill(P.OccStart.begin(), P.OccStart.end() - 1);
    for (qsizetype J = 0; J < P.M; ++J)
        P.Occ[std::size_t(Fill[std::size_t(B[J])]++)] = std::int32_t(J);
    P.Rows.clear();
    for (qsizetype I = 0; I < P.N; ++I) {
        const std::int32_t Id = A[I];
        if (Id >= 0 && P.OccStart[std::size_t(Id) + 1] > P.OccStart[std::size_t(Id)])
            P.Rows.push_back(std::int32_t(I));
    }
    P.Words = (P.M + 63) / 64;
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

bool WithinBound(const TProblem& P)
{
    const std::int64_t Rows = std::int64_t(P.Rows.size());
    if (Rows * P.Words > IntraLineInternals::kMaxWordSteps)
        return false;
    const std::int64_t Checkpoints = (Rows + P.Interval - 1) / P.Interval + 1;
    const std::int64_t Stored = Checkpoints + std::min<std::int64_t>(P.Interval, Rows) + 1;
    return Stored * P.Words * std::int64_t(sizeof(Word)) <= IntraLineInternals::kMaxTableBytes;
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

// Hyyrö's bit-vector LCS: bit j-1 of a row is 0 exactly where T[i][j] = T[i][j-1] + 1, so
// T[i][j] is the number of zero bits below bit j. Bits at and above M stay 1.
class TBitRows {
public:
    explicit TBitRows(const TProblem& P) : FP(P), FWords(P.Words)
    {
        FScratch.assign(std::size_t(FWords), 0);
        const std::int32_t IdCount = std::int32_t(P.OccStart.size()) - 1;
        FDense.assign(std::size_t(IdCount), -1);
        const qsizetype Threshold = std::max<qsizetype>(32, FWords / 8);
        for (std::int32_t Id = 0; Id < IdCount; ++Id) {
            const qsizetype Count = P.OccStart[std::size_t(Id) + 1] - P.OccStart[std::size_t(Id)];
            if (Count < Threshold)
                continue;
            FDense[std::size_t(Id)] = std::int32_t(FDenseMasks.size() / std::size_t(FWords));
            FDenseMasks.resize(FDenseMasks.size() + std::size_t(FWords), 0);
            Word* Mask = FDenseMasks.data() + FDenseMasks.size() - std::size_t(FWords);
            for (std::int32_t K = P.OccStart[std::size_t(Id)]; K < P.OccStart[std::size_t(Id) + 1]; ++K)
                Mask[P.Occ[std::size_t(K)] >> 6] |= Word(1) << (P.Occ[std::size_t(K)] & 63);
        }
    }

    // Dst := the row after Src for token Id, over words [0, Limit) only (columns beyond never
    // feed columns before them). Lo..Hi are the words that may differ from Src; Dst may be Src.
    void Step(const Word* Src, Word* Dst, std::int32_t Id, qsizetype Limit, qsizetype& Lo, qsizetype& Hi)
    {
        const std::int32_t* First = FP.Occ.data() + FP.OccStart[std::size_t(Id)];
        const std::int32_t* Last = FP.Occ.data() + FP.OccStart[std::size_t(Id) + 1];
        const Word* Mask;
        const bool Dense = FDense[std::size_t(Id)] >= 0;
        if (Dense) {
            Mask = FDenseMasks.data() + std::size_t(FDense[std::size_t(Id)]) * std::size_t(FWords);
        } else {
            for (const std::int32_t* Q = First; Q != Last; ++Q)
                FScratch[std::size_t(*Q >> 6)] |= Word(1) << (*Q & 63);
            Mask = FScratch.data();
        }
        Lo = std::min<qsizetype>(First[0] >> 6, Limit);
        const qsizetype LastMatchWord = std::min<qsizetype>(Last[-1] >> 6, Limit - 1);
        if (Src != Dst)
            std::copy_n(Src, Lo, Dst);
        unsigned char Carry = 0;
        qsizetype W = Lo;
        for (; W <= LastMatchWord; ++W) {
            const Word X = Src[W], Mw = Mask[W];
            Word Sum;
            Carry = AddWithCarry(Carry, X, X & Mw, Sum);
            Dst[W] = Sum | (X & ~Mw);
        }
        // Past the last match the carry runs through ones and stops at the first zero bit.
        for (; Carry != 0 && W < Limit; ++W) {
            const Word X = Src[W];
            Carry = X == ~Word(0);
            Dst[W] = (X + 1) | X;
        }
        Hi = W - 1;
        if (Src != Dst)
            std::copy(Src + W, Src + Limit, Dst + W);
        if (!Dense)
            for (const std::int32_t* Q = First; Q != Last; ++Q)
                FScratch[std::size_t(*Q >> 6)] = 0;
    }

private:
    const TProblem& FP;
    qsizetype FWords = 0;
    std::vector<Word> FScratch;
    std::vector<std::int32_t> FDense;
    std::vector<Word> FDenseMasks;
};

inline int ZeroBit(const Word* V, qsizetype J)  // 1 when T[.][J+1] = T[.][J] + 1
{
    return int(~V[J >> 6] >> (J & 63)) & 1;
}

// T[r][J] - T[r-1][J], from the words where the two rows differ.
int VerticalDelta(const Word* Row, const Word* Above, qsizetype Lo, qsizetype Hi, qsizetype J)
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
        Delta += std::popcount(~Row[W] & Mask) - std::popcount(~Above[W] & Mask);
    }
    return int(Delta);
}

void MatchExact(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                const TProblem& P, TTokenMatch& Result)
{
    const qsizetype Rows = qsizetype(P.Rows.size());
    const qsizetype Words = P.Words;
    const qsizetype K = P.Interval;
    TBitRows Bits(P);
    auto IdOfRow = [&](qsizetype R) { return A[std::size_t(P.Rows[std::size_t(R - 1)])]; };

    // Forward pass: checkpoints at rows 0, K, 2K, ... up to the start of the last block.
    const qsizetype LastBlockStart = ((Rows - 1) / K) * K;
    std::vector<Word> Checkpoints(std::size_t((LastBlockStart / K + 1) * Words), ~Word(0));
    {
        std::vector<Word> V(std::size_t(Words), ~Word(0));
        qsizetype Lo = 0, Hi = 0;
        for (qsizetype R = 1; R <= LastBlockStart; ++R) {
            Bits.Step(V.data(), V.data(), IdOfRow(R), Words, Lo, Hi);
            if (R % K == 0)
                std::copy(V.begin(), V.end(), Checkpoints.begin() + std::ptrdiff_t((R / K) * Words));
        }
    }

    // Walk back block by block, rebuilding each block's rows from its checkpoint.
    std::vector<Word> Block(std::size_t((std::min(K, Rows) + 1) * Words));
    std::vector<qsizetype> BlockLo(std::size_t(std::min(K, Rows) + 1)), BlockHi(BlockLo.size());
    qsizetype R = Rows, J = P.M;
    while (R > 0 && J > 0) {
        const qsizetype S = ((R - 1) / K) * K;
        // The walk stays at or left of column J from here on.
        const qsizetype Limit = std::min(Words, (J >> 6) + 1);
        std::copy_n(Checkpoints.begin() + std::ptrdiff_t((S / K) * Words), Limit, Block.begin());
        for (qsizetype Q = S + 1; Q <= R; ++Q) {
            Word* Row = Block.data() + (Q - S) * Words;
            Bits.Step(Row - Words, Row, IdOfRow(Q), Limit, BlockLo[std::size_t(Q - S)],
                      BlockHi[std::size_t(Q - S)]);
        }
        bool DeltaKnown = false;
        int Delta = 0;
        while (R > S && J > 0) {
            const Word* Row = Block.data() + (R - S) * Words;
            if (IdOfRow(R) == B[std::size_t(J - 1)]) {
                Result.MatchedA[P.Rows[std::size_t(R - 1)]] = true;
                Result.MatchedB[J - 1] = true;
                --R;
                --J;
                DeltaKnown = false;
                continue;
            }
            // Up unless T[R-1][J] < T[R][J-1], i.e. unless the vertical step gains and the
            // horizontal one does not.
            if (ZeroBit(Row, J - 1)) {
                --R;
                DeltaKnown = false;
                continue;
            }
            if (!DeltaKnown) {
                Delta = VerticalDelta(Row, Row - Words, BlockLo[std::size_t(R - S)],
                                      BlockHi[std::size_t(R - S)], J);
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

namespace IntraLineInternals {

TTokenMatch MatchIds(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                     std::int32_t IdCount, TMethod Method, std::int32_t CheckpointInterval)
{
    TTokenMatch Result;
    Result.MatchedA.resize(qsizetype(A.size()), false);
    Result.MatchedB.resize(qsizetype(B.size()), false);
    TProblem P;
    P.N = qsizetype(A.size());
    P.M = qsizetype(B.size());
    StripSuffix(A, B, Result, P.N, P.M);
    if (P.N == 0 || P.M == 0)
        return Result;
    if (Method == TMethod::MiddleOnly) {
        MatchMiddle(A, B, P.N, P.M, Result);
        return Result;
    }
    PrepareProblem(A, B, IdCount, P);
    if (P.Rows.empty())
        return Result;
    ChooseInterval(P, CheckpointInterval);
    if (Method == TMethod::Auto && !WithinBound(P)) {
        MatchMiddle(A, B, P.N, P.M, Result);
        return Result;
    }
    MatchExact(A, B, P, Result);
    return Result;
}

bool IsWithinExactBound(const std::vector<std::int32_t>& A, const std::vector<std::int32_t>& B,
                        std::int32_t IdCount)
{
    TTokenMatch Scratch;
    Scratch.MatchedA.resize(qsizetype(A.size()), false);
    Scratch.MatchedB.resize(qsizetype(B.size()), false);
    TProblem P;
    P.N = qsizetype(A.size());
    P.M = qsizetype(B.size());
    StripSuffix(A, B, Scratch, P.N, P.M);
    if (P.N == 0 || P.M == 0)
        return true;
    PrepareProblem(A, B, IdCount, P);
    if (P.Rows.empty())
        return true;
    ChooseInterval(P, 0);
    return WithinBound(P);
}

void ClearCache()
{
    TCache& C = Cache();
    QMutexLocker Locker(&C.Lock);
    C.Entries.clear();
    C.Chars = 0;
}

}  // namespace IntraLineInternals
