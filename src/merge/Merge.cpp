#include "merge/Merge.h"

#include "merge/Navigation.h"

#include <algorithm>

namespace {

// Which side an item's index is read from: the same code serves both directions.
using TIndexOf = std::int32_t TDiffItem::*;

[[nodiscard]] TLineRange FindRange(const TDiffItems& Items, std::int32_t BlockStart, std::int32_t BlockEnd,
                                   std::int32_t LineCount, TIndexOf IndexOf)
{
    const qsizetype N = Items.size();
    const qsizetype First = std::max<qsizetype>(BlockStart, 0);
    const qsizetype Last = std::min<qsizetype>(BlockEnd, N - 1);

    std::int32_t Min = -1, Max = -1;
    for (qsizetype i = First; i <= Last; ++i) {
        const std::int32_t Line = Items[i].*IndexOf;
        if (Line < 0)
            continue;
        Min = Min < 0 ? Line : std::min(Min, Line);
        Max = std::max(Max, Line);
    }
    if (Min >= 0)
        return {Min, Max - Min + 1};

    for (qsizetype i = std::min<qsizetype>(First - 1, N - 1); i >= 0; --i)
        if (Items[i].*IndexOf >= 0)
            return {Items[i].*IndexOf + 1, 0};
    for (qsizetype i = Last + 1; i < N; ++i)
        if (Items[i].*IndexOf >= 0)
            return {Items[i].*IndexOf, 0};
    return {LineCount, 0};
}

bool CopyBlock(const TDiffItems& Items, qsizetype ItemIndex, const QStringList& Source, TIndexOf SourceIndexOf,
               QStringList& Target, TIndexOf TargetIndexOf)
{
    const TDiffBlock Block = FindDiffBlock(Items, ItemIndex);
    if (!Block.IsValid())
        return false;

    QStringList Lines;
    bool HasSourceRows = false;
    for (std::int32_t i = Block.BlockStart; i <= Block.BlockEnd; ++i) {
        const std::int32_t Line = Items[i].*SourceIndexOf;
        HasSourceRows = HasSourceRows || Line >= 0;
        if (Line >= 0 && Line < Source.size())
            Lines.append(Source[Line]);
    }
    // A block with lines on the target side only is copied as what it is on the source side:
    // nothing, so its target lines go. Source rows whose lines are all gone (stale rows) copy nothing.
    if (Lines.isEmpty() && HasSourceRows)
        return false;

    const TLineRange Range = FindRange(Items, Block.BlockStart, Block.BlockEnd,
                                       std::int32_t(Target.size()), TargetIndexOf);
    const qsizetype Start = std::clamp<qsizetype>(Range.Start, 0, Target.size());
    const qsizetype Count = std::clamp<qsizetype>(Range.Count, 0, Target.size() - Start);

    if (Count == Lines.size() && std::equal(Lines.cbegin(), Lines.cend(), Target.cbegin() + Start))
        return false;

    QStringList Result;
    Result.reserve(Target.size() - Count + Lines.size());
    Result.append(Target.mid(0, Start));
    Result.append(Lines);
    Result.append(Target.mid(Start + Count));
    Target = std::move(Result);
    return true;
}

} // namespace

TLineRange FindRightRange(const TDiffItems& Items, std::int32_t BlockStart, std::int32_t BlockEnd,
                          std::int32_t RightLineCount)
{
    return FindRange(Items, BlockStart, BlockEnd, RightLineCount, &TDiffItem::RightIndex);
}

TLineRange FindLeftRange(const TDiffItems& Items, std::int32_t BlockStart, std::int32_t BlockEnd,
                         std::int32_t LeftLineCount)
{
    return FindRange(Items, BlockStart, BlockEnd, LeftLineCount, &TDiffItem::LeftIndex);
}

bool CopyBlockToRight(const TDiffItems& Items, qsizetype ItemIndex, const QStringList& Left, QStringList& Right)
{
    return CopyBlock(Items, ItemIndex, Left, &TDiffItem::LeftIndex, Right, &TDiffItem::RightIndex);
}

bool CopyBlockToLeft(const TDiffItems& Items, qsizetype ItemIndex, const QStringList& Right, QStringList& Left)
{
    return CopyBlock(Items, ItemIndex, Right, &TDiffItem::RightIndex, Left, &TDiffItem::LeftIndex);
}

bool LinesIdentical(const QStringList& A, const QStringList& B)
{
    // QString's == compares code units exactly, with no locale or case folding.
    return A == B;
}

bool CopyAllLines(const QStringList& Source, QStringList& Target)
{
    if (LinesIdentical(Source, Target))
        return false;
    Target = Source;
    return true;
}
