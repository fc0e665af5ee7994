#include "engine/LineAlign.h"

#include <QHash>

#include <algorithm>

namespace {

// Open addressing over (hash, id); the key text is compared only when the hashes agree.
class TKeyInterner
{
public:
    explicit TKeyInterner(qsizetype Expected)
    {
        std::size_t Cap = 16;
        while (Cap < std::size_t(Expected) * 2)
            Cap <<= 1;
        FSlots.assign(Cap, 0);
        FMask = Cap - 1;
        FKeys.reserve(Expected);
    }

    std::int32_t Intern(const QString& Key)
    {
        const std::size_t H = qHash(QStringView(Key), std::size_t(0x9E3779B97F4A7C15ull));
        const auto Tag = std::uint32_t(H >> 32) | 1u;
        for (std::size_t S = H & FMask;; S = (S + 1) & FMask) {
            const std::uint64_t Slot = FSlots[S];
            if (Slot == 0) {
                const auto Id = std::int32_t(FKeys.size());
                FKeys.push_back(Key);
                FSlots[S] = (std::uint64_t(Tag) << 32) | std::uint32_t(Id + 1);
                return Id;
            }
            if (std::uint32_t(Slot >> 32) == Tag) {
                const auto Id = std::int32_t(std::uint32_t(Slot) - 1);
                if (FKeys[std::size_t(Id)] == Key)
                    return Id;
            }
        }
    }

    [[nodiscard]] std::int32_t Count() const { return std::int32_t(FKeys.size()); }

private:
    std::vector<std::uint64_t> FSlots;
    std::size_t FMask = 0;
    std::vector<QString> FKeys;
};

} // namespace

TLineIds BuildLineIds(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options)
{
    TLineIds Ids;
    TKeyInterner Interner(Left.size() + Right.size());
    auto Map = [&](const QStringList& Lines, std::vector<std::int32_t>& Out) {
        Out.resize(std::size_t(Lines.size()));
        for (qsizetype I = 0; I < Lines.size(); ++I)
            Out[std::size_t(I)] = Interner.Intern(NormalizeLine(Lines[I], Options));
    };
    Map(Left, Ids.Left);
    Map(Right, Ids.Right);
    Ids.Count = Interner.Count();
    return Ids;
}

namespace {

void NaiveFindMatches(const TLineIds& Ids, std::int32_t Lo1, std::int32_t Hi1, std::int32_t Lo2, std::int32_t Hi2,
                      std::vector<TMatch>& Out)
{
    if (Hi1 == Lo1 || Hi2 == Lo2)
        return;
    const auto& A = Ids.Left;
    const auto& B = Ids.Right;
    if (Hi1 - Lo1 == 1) {
        for (std::int32_t J = Lo2; J < Hi2; ++J)
            if (A[Lo1] == B[J]) {
                Out.push_back({Lo1, J});
                return;
            }
        return;
    }
    const std::int32_t Mid = Lo1 + (Hi1 - Lo1) / 2;
    const std::int32_t W = Hi2 - Lo2;
    std::vector<std::int32_t> Prev(W + 1), Cur(W + 1), F, Bk;
    for (std::int32_t I = Lo1; I < Mid; ++I) {
        Cur[0] = 0;
        for (std::int32_t K = 0; K < W; ++K)
            Cur[K + 1] = A[I] == B[Lo2 + K] ? Prev[K] + 1 : std::max(Cur[K], Prev[K + 1]);
        Prev = Cur;
    }
    F = Prev;
    std::fill(Prev.begin(), Prev.end(), 0);
    for (std::int32_t I = Hi1 - 1; I >= Mid; --I) {
        Cur[0] = 0;
        for (std::int32_t K = 0; K < W; ++K)
            Cur[K + 1] = A[I] == B[Hi2 - 1 - K] ? Prev[K] + 1 : std::max(Cur[K], Prev[K + 1]);
        Prev = Cur;
    }
    Bk = Prev;
    std::int32_t Best = -1, Split = 0;
    for (std::int32_t K = 0; K <= W; ++K)
        if (F[K] + Bk[W - K] > Best) {
            Best = F[K] + Bk[W - K];
            Split = K;
        }
    NaiveFindMatches(Ids, Lo1, Mid, Lo2, Lo2 + Split, Out);
    NaiveFindMatches(Ids, Mid, Hi1, Lo2 + Split, Hi2, Out);
}

} // namespace

std::vector<TMatch> FindLineMatches(const TLineIds& Ids, const TAlignTuning&)
{
    std::vector<TMatch> Out;
    NaiveFindMatches(Ids, 0, std::int32_t(Ids.Left.size()), 0, std::int32_t(Ids.Right.size()), Out);
    return Out;
}
