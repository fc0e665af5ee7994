#include "engine/LineAlign.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <bit>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace {

using TWord = std::uint64_t;
constexpr TWord AllOnes = ~TWord(0);

// A + B + Carry; Carry becomes the carry out. One instruction where the processor has one.
inline TWord AddWithCarry(TWord A, TWord B, unsigned char& Carry)
{
#if defined(__x86_64__)
    unsigned long long Sum;
    Carry = _addcarry_u64(Carry, A, B, &Sum);
    return Sum;
#else
    TWord Sum = A + B;
    const TWord C1 = Sum < A;
    Sum += Carry;
    Carry = (unsigned char)(C1 | TWord(Sum < Carry));
    return Sum;
#endif
}

// One bit row of the common-subsequence table (Hyyro): bit t is 0 where the row's value grows
// between columns t and t+1. M is the match mask of a dense step, kept all zero between steps.
// Summary bit x is set when word x holds a zero bit, to find the next zero quickly.
struct TRow {
    std::vector<TWord> V, M, Summary;

    void Reset(std::int32_t W)
    {
        const std::size_t Words = (std::size_t(W) + 63) / 64;
        if (V.size() < Words)
            V.resize(Words);
        std::fill_n(V.begin(), Words, AllOnes);
        if (M.size() < Words)
            M.resize(Words, 0);
        const std::size_t SummaryWords = (Words + 63) / 64;
        if (Summary.size() < SummaryWords)
            Summary.resize(SummaryWords);
        std::fill_n(Summary.begin(), SummaryWords, 0);
    }

    // The row after Count equal lines from the corner, on a freshly reset row or on one that
    // holds such a row for fewer lines: zero bits 0 .. Count-1, ones above.
    void ClearLow(std::int32_t Count)
    {
        const std::size_t Full = std::size_t(Count) >> 6;
        std::fill_n(V.begin(), Full, TWord(0));
        if (Count & 63)
            V[Full] = AllOnes << (Count & 63);
        for (std::size_t X = 0; X < Full + ((Count & 63) ? 1 : 0); ++X)
            NoteWord(X);
    }

    // One left line's dense step over words [WordA, WordB): u = V & M; V = (V + u) | (V - u),
    // the addition carrying from word to word. MaskAt(X) gives word X's match bits. The summary
    // bits are gathered in a register and written once per summary word.
    template <class TMaskAt>
    void DenseStep(std::int32_t WordA, std::int32_t WordB, TMaskAt&& MaskAt)
    {
        unsigned char Carry = 0;
        for (auto X = std::size_t(WordA); X < std::size_t(WordB);) {
            const std::size_t SX = X >> 6, First = X & 63;
            const std::size_t End = std::min(std::size_t(WordB), (SX + 1) * 64), Count = End - X;
            TWord Has = 0;
            for (; X < End; ++X) {
                const TWord Old = V[X];
                const TWord U = Old & MaskAt(X);
                const TWord New = AddWithCarry(Old, U, Carry) | (Old - U);
                V[X] = New;
                Has |= TWord(New != AllOnes) << (X & 63);
            }
            const TWord Touched = (Count == 64 ? AllOnes : (TWord(1) << Count) - 1) << First;
            Summary[SX] = (Summary[SX] & ~Touched) | Has;
        }
    }

    void NoteWord(std::size_t X)
    {
        const TWord Has = V[X] != AllOnes;
        Summary[X >> 6] = (Summary[X >> 6] & ~(TWord(1) << (X & 63))) | (Has << (X & 63));
    }

    // The lowest zero bit in [From, End), or -1.
    [[nodiscard]] std::int32_t NextZero(std::int32_t From, std::int32_t End) const
    {
        if (From >= End)
            return -1;
        std::size_t X = std::size_t(From) >> 6;
        const TWord Here = ~V[X] & (AllOnes << (From & 63));
        if (Here)
            return Clip(std::int32_t(X * 64 + std::size_t(std::countr_zero(Here))), End);
        const std::size_t LastWord = (std::size_t(End) - 1) >> 6;
        ++X;
        if (X > LastWord)
            return -1;
        std::size_t SX = X >> 6;
        TWord Bits = Summary[SX] & (AllOnes << (X & 63));
        const std::size_t LastSummary = LastWord >> 6;
        while (!Bits) {
            if (++SX > LastSummary)
                return -1;
            Bits = Summary[SX];
        }
        const std::size_t W = SX * 64 + std::size_t(std::countr_zero(Bits));
        if (W > LastWord)
            return -1;
        return Clip(std::int32_t(W * 64 + std::size_t(std::countr_zero(~V[W]))), End);
    }


private:
    static std::int32_t Clip(std::int32_t Z, std::int32_t End) { return Z < End ? Z : -1; }
};

// A row's value at column K: the zero bits below K.
std::int32_t ValueAt(const TWord* V, std::int32_t K)
{
    std::int32_t Ones = 0;
    const std::size_t Full = std::size_t(K) >> 6;
    for (std::size_t X = 0; X < Full; ++X)
        Ones += std::popcount(V[X]);
    if (K & 63)
        Ones += std::popcount(V[Full] & ((TWord(1) << (K & 63)) - 1));
    return K - Ones;
}

std::int32_t BitAt(const TWord* V, std::int32_t T) { return std::int32_t((V[std::size_t(T) >> 6] >> (T & 63)) & 1); }

// The rows a sub-problem hands to its children: the forward row after half of its forward
// lines (the left child's forward row) and the backward row after the right child's backward
// lines. Values off the child's optimal paths may be lower than the true ones, as in a band.
struct TRowsForChildren {
    std::vector<TWord> Forward, Backward;
};

struct TScratch {
    TRow Forward, Backward;
};

// At most one extra thread at a time, shared by all running comparisons.
std::atomic<int> FreeThreadSlots{std::thread::hardware_concurrency() > 1 ? 1 : 0};

bool TryTakeThreadSlot()
{
    int Free = FreeThreadSlots.load();
    while (Free > 0)
        if (FreeThreadSlots.compare_exchange_weak(Free, Free - 1))
            return true;
    return false;
}

// Runs A on a second thread and B on this one when a slot is free, else both here.
template <class TA, class TB>
void RunBoth(bool Parallel, TA&& A, TB&& B)
{
    if (!Parallel || !TryTakeThreadSlot()) {
        A();
        B();
        return;
    }
    std::exception_ptr Failure;
    std::thread Worker;
    try {
        Worker = std::thread([&] {
            try {
                A();
            } catch (...) {
                Failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the same work, one after the other.
        FreeThreadSlots.fetch_add(1);
        A();
        B();
        return;
    }
    std::exception_ptr Own;
    try {
        B();
    } catch (...) {
        Own = std::current_exception();
    }
    Worker.join();
    FreeThreadSlots.fetch_add(1);
    if (Own)
        std::rethrow_exception(Own);
    if (Failure)
        std::rethrow_exception(Failure);
}

// Open addressing over (hash tag, first line of the key); the key text is compared only when
// the tags agree. One table per half of the hash space, so two threads can fill them.
template <class TKeyAt>
class TKeyTable
{
public:
    TKeyTable(std::size_t Expected, const TKeyAt& KeyAt) : FKeyAt(KeyAt)
    {
        std::size_t Cap = 16;
        while (Cap < Expected * 2)
            Cap <<= 1;
        FSlots.assign(Cap, 0);
        FMask = Cap - 1;
    }

    // The key's number within this table, new or known.
    std::int32_t Intern(std::size_t Line, std::uint64_t Hash)
    {
        const auto Tag = std::uint32_t(Hash >> 32) | 1u;
        for (std::size_t S = Hash & FMask;; S = (S + 1) & FMask) {
            const std::uint64_t Slot = FSlots[S];
            if (Slot == 0) {
                FSlots[S] = (std::uint64_t(Tag) << 32) | std::uint32_t(FFirstLine.size());
                FFirstLine.push_back(std::uint32_t(Line));
                return std::int32_t(FFirstLine.size() - 1);
            }
            if (std::uint32_t(Slot >> 32) == Tag) {
                const std::uint32_t Id = std::uint32_t(Slot);
                if (FKeyAt(FFirstLine[Id]) == FKeyAt(Line))
                    return std::int32_t(Id);
            }
        }
    }

    [[nodiscard]] std::int32_t Count() const { return std::int32_t(FFirstLine.size()); }

private:
    const TKeyAt& FKeyAt;
    std::vector<std::uint64_t> FSlots;
    std::size_t FMask = 0;
    std::vector<std::uint32_t> FFirstLine;
};

// Splits [0, Count) in two halves and runs Body on each, on two threads if Parallel.
template <class TBody>
void ForHalves(bool Parallel, std::size_t Count, TBody&& Body)
{
    const std::size_t Half = Count / 2;
    RunBoth(Parallel, [&] { Body(Half, Count); }, [&] { Body(std::size_t(0), Half); });
}

} // namespace

namespace {

// Numbers the Total keys (the left ones first, N of them) given by KeyAt, hashing each once.
// Keys of the lower half of the hash space get even numbers, the upper half odd ones, so two
// threads can number them.
template <class TKeyAt, class TPrepare>
TLineIds NumberKeys(std::size_t N, std::size_t Total, const TKeyAt& KeyAt, TPrepare&& Prepare,
                    const TAlignTuning& Tuning)
{
    const bool Parallel = std::int64_t(Total) >= Tuning.ParallelMinLines;
    std::vector<std::uint64_t> Hashes(Total);
    ForHalves(Parallel, Total, [&](std::size_t From, std::size_t To) {
        for (std::size_t K = From; K < To; ++K) {
            Prepare(K);
            Hashes[K] = qHash(KeyAt(K), std::size_t(0x9E3779B97F4A7C15ull));
        }
    });

    TLineIds Result;
    Result.Left.resize(N);
    Result.Right.resize(Total - N);
    std::int32_t Counts[2] = {0, 0};
    auto Part = [&](int Half) {
        TKeyTable<TKeyAt> Table(Total / 2 + 16, KeyAt);
        for (std::size_t K = 0; K < Total; ++K)
            if (int(Hashes[K] >> 63) == Half)
                (K < N ? Result.Left[K] : Result.Right[K - N]) = Table.Intern(K, Hashes[K]) * 2 + Half;
        Counts[Half] = Table.Count();
    };
    RunBoth(Parallel, [&] { Part(1); }, [&] { Part(0); });
    Result.Count = std::max(Counts[0], Counts[1]) * 2;
    return Result;
}

} // namespace

TLineIds BuildLineIds(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options,
                      const TAlignTuning& Tuning)
{
    const std::size_t N = std::size_t(Left.size()), Total = N + std::size_t(Right.size());
    const bool Plain = Options == TDiffOptions{};
    // Without options the key is the line itself.
    std::vector<QString> Normalized(Plain ? 0 : Total);
    auto KeyAt = [&](std::size_t K) -> QStringView {
        if (!Plain)
            return Normalized[K];
        return K < N ? Left[qsizetype(K)] : Right[qsizetype(K - N)];
    };
    auto Prepare = [&](std::size_t K) {
        if (!Plain)
            Normalized[K] = NormalizeLine(K < N ? Left[qsizetype(K)] : Right[qsizetype(K - N)], Options);
    };
    return NumberKeys(N, Total, KeyAt, Prepare, Tuning);
}

TLineIds BuildLineIdsOfBytes(const std::vector<QByteArrayView>& Left, const std::vector<QByteArrayView>& Right,
                             const TAlignTuning& Tuning)
{
    const std::size_t N = Left.size(), Total = N + Right.size();
    auto KeyAt = [&](std::size_t K) { return K < N ? Left[K] : Right[K - N]; };
    return NumberKeys(N, Total, KeyAt, [](std::size_t) {}, Tuning);
}

namespace {

class TAligner
{
public:
    TAligner(const TLineIds& Ids, const TAlignTuning& Tuning)
        : FA(Ids.Left.data()), FB(Ids.Right.data()), FN(std::int32_t(Ids.Left.size())),
          FM(std::int32_t(Ids.Right.size())), FTuning(Tuning)
    {
        // Each key's right positions, ascending, in one flat array.
        FPosStart.assign(std::size_t(Ids.Count) + 1, 0);
        for (std::int32_t J = 0; J < FM; ++J)
            ++FPosStart[std::size_t(FB[J]) + 1];
        for (std::size_t K = 1; K < FPosStart.size(); ++K)
            FPosStart[K] += FPosStart[K - 1];
        FPos.resize(std::size_t(FM));
        std::vector<std::int32_t> Fill(FPosStart.begin(), FPosStart.end() - 1);
        for (std::int32_t J = 0; J < FM; ++J)
            FPos[std::size_t(Fill[std::size_t(FB[J])]++)] = J;
        // Most lines have no or one equal line on the right: keep that next to the line, so
        // the rows read it in order instead of jumping through the key tables.
        BuildMasks();
        FLeftPos.resize(std::size_t(FN));
        for (std::int32_t I = 0; I < FN; ++I) {
            const std::int32_t Id = FA[I];
            const std::int32_t Count = FPosStart[std::size_t(Id) + 1] - FPosStart[std::size_t(Id)];
            FLeftPos[std::size_t(I)] = Count == 0                         ? NoPosition
                                       : FMaskOf[std::size_t(Id)] >= 0 ? Masked
                                       : Count == 1                      ? *PosBegin(Id)
                                                                         : ManyPositions;
        }
    }

    std::vector<TMatch> Run()
    {
        std::vector<TMatch> Out;
        if (FN == 0 || FM == 0)
            return Out;
        TScratch Scratch;
        TRowsForChildren Hand;
        const TSplit Top = SplitTop(Scratch, Hand);
        if (Top.Length <= 0 && FN > 1)
            return Out;
        if (FN == 1) {
            Out.resize(1);
            if (!Leaf(0, 0, FM, Out.data()))
                Out.clear();
            return Out;
        }
        Out.resize(std::size_t(Top.Length));
        Children(0, FN, 0, FM, Top, Out.data(), Scratch, Hand);
        return Out;
    }

private:
    struct TSplit {
        std::int32_t K = 0, Length = 0, LeftLength = 0, RightLength = 0;
    };

    const std::int32_t* FA;
    const std::int32_t* FB;
    std::int32_t FN, FM;
    const TAlignTuning& FTuning;
    std::vector<std::int32_t> FPosStart, FPos, FLeftPos;
    static constexpr std::int32_t NoPosition = -1, ManyPositions = -2, Masked = -3;
    // Frequent keys (blank lines, braces) keep a bit mask of their right lines, in both
    // directions, so a row reads its match mask instead of setting thousands of bits.
    std::vector<std::int32_t> FMaskOf; // per key: index of its masks, or -1
    std::vector<TWord> FMasks, FReversedMasks;
    std::size_t FMaskWords = 0;

    // At most 64 keys can hold one line in 64 of the right side, so the masks take at most two
    // words per right line.
    void BuildMasks()
    {
        FMaskOf.assign(FPosStart.size() - 1, -1);
        FMaskWords = std::size_t(FM) / 64 + 2; // one spare word for unaligned reads
        std::int32_t Masks = 0;
        for (std::size_t Id = 0; Id + 1 < FPosStart.size(); ++Id) {
            const std::int64_t Count = FPosStart[Id + 1] - FPosStart[Id];
            if (Count >= std::max(1, FTuning.MaskMinCount) && Count * 64 >= FM)
                FMaskOf[Id] = Masks++;
        }
        FMasks.assign(FMaskWords * std::size_t(Masks), 0);
        FReversedMasks.assign(FMaskWords * std::size_t(Masks), 0);
        for (std::int32_t J = 0; J < FM; ++J) {
            const std::int32_t K = FMaskOf[std::size_t(FB[J])];
            if (K < 0)
                continue;
            const std::size_t Base = std::size_t(K) * FMaskWords;
            const std::size_t R = std::size_t(FM - 1 - J);
            FMasks[Base + (std::size_t(J) >> 6)] |= TWord(1) << (J & 63);
            FReversedMasks[Base + (R >> 6)] |= TWord(1) << (R & 63);
        }
    }

    const std::int32_t* PosBegin(std::int32_t Id) const { return FPos.data() + FPosStart[std::size_t(Id)]; }
    const std::int32_t* PosEnd(std::int32_t Id) const { return FPos.data() + FPosStart[std::size_t(Id) + 1]; }

    static std::int64_t RowWork(std::int64_t Rows, std::int64_t BandWidth) { return Rows * (BandWidth / 64 + 2); }

    // The first right line of [Lo2, Hi2) equal to left line I.
    bool Leaf(std::int32_t I, std::int32_t Lo2, std::int32_t Hi2, TMatch* Out) const
    {
        const std::int32_t* E = PosEnd(FA[I]);
        const std::int32_t* P = std::lower_bound(PosBegin(FA[I]), E, Lo2);
        if (P == E || *P >= Hi2)
            return false;
        *Out = {I, *P};
        return true;
    }

    // Rows of left lines Lo1..Mid-1 (forward) or Hi1-1..Mid (backward) against right lines
    // Lo2..Hi2-1 (reversed when backward), only on the words covering diagonals -Dl-1 .. Di.
    // Also copies the row as it stands after SnapshotRow rows into Snapshot: a child whose
    // rows start at the same corner reads its own row from there instead of computing it.
    void RunRows(bool Backward, std::int32_t First, std::int32_t Rows, std::int32_t Lo2, std::int32_t Hi2,
                 std::int64_t Dl, std::int64_t Di, TRow& Row, std::int32_t SnapshotRow,
                 std::vector<TWord>& Snapshot) const
    {
        const std::int32_t W = Hi2 - Lo2;
        Row.Reset(W);
        // While the left and right lines agree from the start, row r is min(r, k) for every
        // column k: its zero bits are exactly 0 .. r-1. Those rows need no steps.
        std::int32_t Same = 0;
        const std::int32_t Limit = std::min(Rows, W);
        if (Backward)
            while (Same < Limit && FA[First - Same] == FB[Hi2 - 1 - Same])
                ++Same;
        else
            while (Same < Limit && FA[First + Same] == FB[Lo2 + Same])
                ++Same;
        const std::size_t Words = (std::size_t(W) + 63) / 64;
        if (Same >= SnapshotRow) {
            Row.ClearLow(SnapshotRow);
            Snapshot.assign(Row.V.begin(), Row.V.begin() + std::ptrdiff_t(Words));
        }
        Row.ClearLow(Same);
        for (std::int32_t R = Same + 1; R <= Rows; ++R) {
            StepRow(Backward, First, R, Lo2, Hi2, Dl, Di, Row);
            if (R == SnapshotRow)
                Snapshot.assign(Row.V.begin(), Row.V.begin() + std::ptrdiff_t(Words));
        }
    }

    // The dense step of a frequent key, its match bits read from the key's mask: forward, bit t
    // is right line Lo2 + t; backward, Hi2 - 1 - t, which is bit FM - Hi2 + t of the reversed mask.
    void DenseStepWithMask(bool Backward, std::int32_t Mask, std::int32_t Lo2, std::int32_t Hi2, std::int32_t WordA,
                           std::int32_t WordB, TRow& Row) const
    {
        const std::int32_t W = Hi2 - Lo2;
        const TWord* G = (Backward ? FReversedMasks : FMasks).data() + std::size_t(Mask) * FMaskWords;
        const std::size_t Offset = std::size_t(Backward ? FM - Hi2 : Lo2);
        const unsigned Shift = unsigned(Offset & 63);
        const std::size_t Base = Offset >> 6;
        Row.DenseStep(WordA, WordB, [&](std::size_t X) {
            const std::size_t G0 = Base + X;
            TWord M = Shift ? (G[G0] >> Shift) | (G[G0 + 1] << (64 - Shift)) : G[G0];
            const auto Left = std::int64_t(W) - std::int64_t(X) * 64; // bits of this word inside the range
            if (Left < 64)
                M &= (TWord(1) << Left) - 1;
            return M;
        });
    }

    // One left line's step of the bit row.
    void StepRow(bool Backward, std::int32_t First, std::int32_t R, std::int32_t Lo2, std::int32_t Hi2,
                 std::int64_t Dl, std::int64_t Di, TRow& Row) const
    {
        const std::int32_t W = Hi2 - Lo2;
        const auto Mode = FTuning.RowStep;
        const std::int32_t Line = Backward ? First - R + 1 : First + R - 1;
        const std::int32_t* PB = &FLeftPos[std::size_t(Line)];
        if (*PB == NoPosition)
            return;
        const std::int64_t LowBit = std::max<std::int64_t>(0, R - Dl - 1);
        const std::int64_t HighBit = std::min<std::int64_t>(W, R + Di);
        if (LowBit >= HighBit)
            return;
        const auto WordA = std::int32_t(LowBit >> 6);
        const auto WordB = std::int32_t((HighBit + 63) >> 6);
        if (*PB == Masked && Mode != TAlignTuning::TRowStep::AlwaysSparse) {
            DenseStepWithMask(Backward, FMaskOf[std::size_t(FA[Line])], Lo2, Hi2, WordA, WordB, Row);
            return;
        }
        const std::int32_t* PE = PB + 1;
        if (*PB == ManyPositions || *PB == Masked) {
            PB = PosBegin(FA[Line]);
            PE = PosEnd(FA[Line]);
        }
        const std::int32_t BitA = WordA * 64;
        const std::int32_t BitB = std::min(W, WordB * 64);
        // Right lines covered by bits [BitA, BitB).
        const std::int32_t LineLo = Backward ? Hi2 - BitB : Lo2 + BitA;
        const std::int32_t LineHi = Backward ? Hi2 - BitA : Lo2 + BitB;
        const std::int32_t* P0 = std::lower_bound(PB, PE, LineLo);
        const std::int32_t* P1 = std::lower_bound(P0, PE, LineHi);
        if (P0 == P1)
            return;
        const std::int64_t Count = P1 - P0;
        const bool Sparse = Mode == TAlignTuning::TRowStep::AlwaysSparse ||
                            (Mode == TAlignTuning::TRowStep::Auto &&
                             Count * FTuning.SparseWordsPerMatch <= WordB - WordA);
        auto BitOf = [&](std::int32_t Line) { return Backward ? Hi2 - 1 - Line : Line - Lo2; };
        if (Sparse) {
            // Highest bit first: forward that is the highest line, backward the lowest.
            auto Step = [&](std::int32_t T) {
                TWord& Word = Row.V[std::size_t(T) >> 6];
                const TWord Mask = TWord(1) << (T & 63);
                if (!(Word & Mask))
                    return;
                Word &= ~Mask;
                Row.NoteWord(std::size_t(T) >> 6);
                const std::int32_t Z = Row.NextZero(T + 1, BitB);
                if (Z >= 0) {
                    Row.V[std::size_t(Z) >> 6] |= TWord(1) << (Z & 63);
                    Row.NoteWord(std::size_t(Z) >> 6);
                }
            };
            if (Backward)
                for (const std::int32_t* P = P0; P != P1; ++P)
                    Step(BitOf(*P));
            else
                for (const std::int32_t* P = P1; P != P0;)
                    Step(BitOf(*--P));
            return;
        }
        for (const std::int32_t* P = P0; P != P1; ++P) {
            const std::int32_t T = BitOf(*P);
            Row.M[std::size_t(T) >> 6] |= TWord(1) << (T & 63);
        }
        Row.DenseStep(WordA, WordB, [&Row](std::size_t X) { return std::exchange(Row.M[X], TWord(0)); });
    }

    // Forward and backward rows of one sub-problem whose common length is at least Guess, and
    // the smallest split column with the largest sum.
    // GivenF / GivenB: that row handed down by the parent, or null to compute it here.
    TSplit Split(std::int32_t Lo1, std::int32_t Hi1, std::int32_t Lo2, std::int32_t Hi2, std::int32_t Guess,
                 TScratch& Scratch, const TWord* GivenF, const TWord* GivenB, TRowsForChildren& Hand) const
    {
        const std::int32_t P = Hi1 - Lo1, W = Hi2 - Lo2, H = P / 2;
        const std::int64_t Dl = P - Guess, Di = W - Guess;
        // The left child's forward lines and the right child's backward lines.
        const std::int32_t LeftChildRows = H / 2, RightChildRows = (P - H) - (P - H) / 2;
        const bool Parallel = !GivenF && !GivenB && RowWork(P, Dl + Di) >= FTuning.ParallelMinWork;
        RunBoth(
            Parallel,
            [&] {
                if (!GivenB)
                    RunRows(true, Hi1 - 1, P - H, Lo2, Hi2, Dl, Di, Scratch.Backward, RightChildRows, Hand.Backward);
            },
            [&] {
                if (!GivenF)
                    RunRows(false, Lo1, H, Lo2, Hi2, Dl, Di, Scratch.Forward, LeftChildRows, Hand.Forward);
            });
        const TWord* F = GivenF ? GivenF : Scratch.Forward.V.data();
        const TWord* B = GivenB ? GivenB : Scratch.Backward.V.data();
        const auto K0 = std::int32_t(std::max<std::int64_t>(0, H - Dl));
        const auto K1 = std::int32_t(std::min<std::int64_t>(W, H + Di));
        std::int32_t Fk = ValueAt(F, K1), Bk = ValueAt(B, W - K1);
        TSplit Best;
        Best.Length = -1;
        for (std::int32_t K = K1;; --K) {
            if (Fk + Bk >= Best.Length)
                Best = {K, Fk + Bk, Fk, Bk};
            if (K == K0)
                break;
            Fk -= 1 - BitAt(F, K - 1);
            Bk += 1 - BitAt(B, W - K);
        }
        return Best;
    }

    TSplit SplitTop(TScratch& Scratch, TRowsForChildren& Hand) const
    {
        if (FN < 2)
            return {};
        // Common length is at most the shared count of every key.
        std::vector<std::int32_t> LeftCount(FPosStart.size(), 0);
        for (std::int32_t I = 0; I < FN; ++I)
            ++LeftCount[std::size_t(FA[I])];
        std::int64_t Bound = 0;
        for (std::size_t Id = 0; Id + 1 < FPosStart.size(); ++Id)
            Bound += std::min(LeftCount[Id], FPosStart[Id + 1] - FPosStart[Id]);
        Bound = std::min<std::int64_t>({Bound, FN, FM});
        if (Bound == 0)
            return {};
        std::int64_t Slack = std::max(0, FTuning.TopBandSlack);
        for (;;) {
            std::int64_t Guess = FTuning.Band ? std::max<std::int64_t>(0, Bound - Slack) : 0;
            // A band over most of the row costs what the whole row costs.
            if ((FN - Guess) + (FM - Guess) >= std::int64_t(FM) * 3 / 4)
                Guess = 0;
            const TSplit S = Split(0, FN, 0, FM, std::int32_t(Guess), Scratch, nullptr, nullptr, Hand);
            if (S.Length >= Guess)
                return S;
            // The band held a common subsequence of S.Length lines, so a band for that length
            // cannot fail: one more pass at most.
            Slack = FTuning.WidenToFoundLength ? std::max<std::int64_t>(Slack + 1, Bound - S.Length)
                                               : Slack * 4 + 1;
        }
    }

    void Solve(std::int32_t Lo1, std::int32_t Hi1, std::int32_t Lo2, std::int32_t Hi2, std::int32_t L, TMatch* Out,
               TScratch& Scratch, const TWord* GivenF, const TWord* GivenB) const
    {
        const std::int32_t P = Hi1 - Lo1, Q = Hi2 - Lo2;
        if (P == 0 || Q == 0 || L == 0)
            return;
        // The split always leaves a child a length its ranges can hold; refuse to write past the
        // matches rather than trust a broken invariant.
        if (L < 0 || L > std::min(P, Q))
            throw std::logic_error("line alignment: inconsistent split");
        if (L == P && L == Q) {
            for (std::int32_t T = 0; T < P; ++T)
                Out[T] = {Lo1 + T, Lo2 + T};
            return;
        }
        if (P == 1) {
            Leaf(Lo1, Lo2, Hi2, Out);
            return;
        }
        TRowsForChildren Hand;
        const TSplit S = Split(Lo1, Hi1, Lo2, Hi2, FTuning.Band ? L : 0, Scratch, GivenF, GivenB, Hand);
        Children(Lo1, Hi1, Lo2, Hi2, S, Out, Scratch, Hand);
    }

    void Children(std::int32_t Lo1, std::int32_t Hi1, std::int32_t Lo2, std::int32_t Hi2, const TSplit& S,
                  TMatch* Out, TScratch& Scratch, const TRowsForChildren& Hand) const
    {
        // A row this node did not compute (it was handed down) has no snapshot for the child.
        const TWord* LeftF = Hand.Forward.empty() ? nullptr : Hand.Forward.data();
        const TWord* RightB = Hand.Backward.empty() ? nullptr : Hand.Backward.data();
        const std::int32_t Mid = Lo1 + (Hi1 - Lo1) / 2, SplitAt = Lo2 + S.K;
        auto Work = [&](std::int32_t P, std::int32_t Q, std::int32_t L) {
            return RowWork(P, FTuning.Band ? std::int64_t(P - L) + (Q - L) : std::int64_t(P) + Q) *
                   std::max<std::int64_t>(1, std::bit_width(unsigned(P)));
        };
        const bool Parallel = std::min(Work(Mid - Lo1, SplitAt - Lo2, S.LeftLength),
                                       Work(Hi1 - Mid, Hi2 - SplitAt, S.RightLength)) >= FTuning.ParallelMinWork;
        if (!Parallel) {
            Solve(Lo1, Mid, Lo2, SplitAt, S.LeftLength, Out, Scratch, LeftF, nullptr);
            Solve(Mid, Hi1, SplitAt, Hi2, S.RightLength, Out + S.LeftLength, Scratch, nullptr, RightB);
            return;
        }
        RunBoth(
            true,
            [&] {
                TScratch Own;
                Solve(Mid, Hi1, SplitAt, Hi2, S.RightLength, Out + S.LeftLength, Own, nullptr, RightB);
            },
            [&] { Solve(Lo1, Mid, Lo2, SplitAt, S.LeftLength, Out, Scratch, LeftF, nullptr); });
    }
};

} // namespace

std::vector<TMatch> FindLineMatches(const TLineIds& Ids, const TAlignTuning& Tuning)
{
    return TAligner(Ids, Tuning).Run();
}
