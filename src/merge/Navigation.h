#pragma once

#include "engine/DiffEngine.h"

#include <cstdint>

// Grid rows: row 0 is the fixed header, row r >= 1 shows item r - 1.

// A difference block: the maximal run of non-equal items around one item, by item index.
// Both ends are -1 when there is no block (no items, index outside, or an equal item).
struct TDiffBlock
{
    std::int32_t BlockStart = -1;
    std::int32_t BlockEnd = -1;

    [[nodiscard]] bool IsValid() const { return BlockStart >= 0; }
};

// The block containing item Index. The merge commands copy it; Next/Previous skip it whole.
[[nodiscard]] TDiffBlock FindDiffBlock(const TDiffItems& Items, qsizetype Index);

// btnDiffNext: the grid row to select after the current row Row, or -1 (the window beeps).
// In text mode the first row of the next block; in folder mode the next differing row.
[[nodiscard]] std::int32_t FindDiffRowAfter(const TDiffItems& Items, std::int32_t Row, bool FolderMode);

// btnPrevDiff: the first row of the block before the current one (text mode) or the previous
// differing row (folder mode), or -1 (the window beeps).
[[nodiscard]] std::int32_t FindDiffRowBefore(const TDiffItems& Items, std::int32_t Row, bool FolderMode);

// btnFirstDiff / btnLastDiff: the row of the first / last differing item, or -1 when every item
// is equal or there are none (the window then does nothing, without a beep).
[[nodiscard]] std::int32_t FindFirstDiffRow(const TDiffItems& Items);
[[nodiscard]] std::int32_t FindLastDiffRow(const TDiffItems& Items);

// Where GoToDiffRow puts the grid: select Row first, then set TopRow.
struct TGridScroll
{
    std::int32_t Row = 0;
    std::int32_t TopRow = 0;
};

// GoToDiffRow's arithmetic: Row clamped to the body rows and the top row that centres it among
// VisibleRows fully visible rows, kept inside the grid near its start and end.
[[nodiscard]] TGridScroll ComputeGoToDiffRow(std::int32_t Row, std::int32_t RowCount,
                                             std::int32_t FixedRows, std::int32_t VisibleRows);
