#include "merge/Navigation.h"

#include <algorithm>

namespace {

[[nodiscard]] bool Differs(const TDiffItems& Items, qsizetype I)
{
    return Items[I].Kind != dkEqual;
}

} // namespace

TDiffBlock FindDiffBlock(const TDiffItems& Items, qsizetype Index)
{
    TDiffBlock Block;
    if (Index < 0 || Index >= Items.size() || !Differs(Items, Index))
        return Block;
    qsizetype Start = Index, End = Index;
    while (Start > 0 && Differs(Items, Start - 1))
        --Start;
    while (End < Items.size() - 1 && Differs(Items, End + 1))
        ++End;
    Block.BlockStart = std::int32_t(Start);
    Block.BlockEnd = std::int32_t(End);
    return Block;
}

std::int32_t FindDiffRowAfter(const TDiffItems& Items, std::int32_t Row, bool FolderMode)
{
    const qsizetype N = Items.size();
    if (N == 0)
        return -1;
    qsizetype I = qsizetype(Row) - 1;   // the current item
    if (!FolderMode && I >= 0 && I < N && Differs(Items, I)) {
        const TDiffBlock Block = FindDiffBlock(Items, I);
        if (Block.BlockEnd >= 0)
            I = Block.BlockEnd;
    }
    for (qsizetype i = std::max<qsizetype>(I + 1, 0); i < N; ++i)
        if (Differs(Items, i))
            return std::int32_t(i + 1);
    return -1;
}

std::int32_t FindDiffRowBefore(const TDiffItems& Items, std::int32_t Row, bool FolderMode)
{
    const qsizetype N = Items.size();
    if (N == 0)
        return -1;
    qsizetype I = qsizetype(Row) - 1;
    if (!FolderMode && I >= 0 && I < N && Differs(Items, I)) {
        const TDiffBlock Block = FindDiffBlock(Items, I);
        if (Block.BlockStart >= 0)
            I = Block.BlockStart;
    }
    for (qsizetype i = std::min(I - 1, N - 1); i >= 0; --i) {
        if (!Differs(Items, i))
            continue;
        if (!FolderMode)
            while (i > 0 && Differs(Items, i - 1))
                --i;
        return std::int32_t(i + 1);
    }
    return -1;
}

std::int32_t FindFirstDiffRow(const TDiffItems& Items)
{
    for (qsizetype i = 0; i < Items.size(); ++i)
        if (Differs(Items, i))
            return std::int32_t(i + 1);
    return -1;
}

std::int32_t FindLastDiffRow(const TDiffItems& Items)
{
    for (qsizetype i = Items.size() - 1; i >= 0; --i)
        if (Differs(Items, i))
            return std::int32_t(i + 1);
    return -1;
}

TGridScroll ComputeGoToDiffRow(std::int32_t Row, std::int32_t RowCount, std::int32_t FixedRows,
                               std::int32_t VisibleRows)
{
    TGridScroll Scroll;
    Scroll.Row = std::max(FixedRows, std::min(Row, RowCount - 1));
    const std::int32_t V = std::max(VisibleRows, 1);
    const std::int32_t Top = std::max(Scroll.Row - V / 2, FixedRows);
    const std::int32_t MaxTop = std::max(RowCount - V, FixedRows);
    Scroll.TopRow = std::min(Top, MaxTop);
    return Scroll;
}
