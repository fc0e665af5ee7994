#pragma once

#include "engine/DiffEngine.h"

#include <QStringList>

#include <cstdint>

// A run of lines of one side: Count lines from Start. With Count = 0, Start is where lines
// would be inserted.
struct TLineRange
{
    std::int32_t Start = 0;
    std::int32_t Count = 0;
};

// The right-hand lines that the block BlockStart..BlockEnd covers; when it has none, the insertion
// point after the nearest right line before it, else before the nearest one after it, else the
// end of the RightLineCount lines. CopyBlockToRight replaces this range.
[[nodiscard]] TLineRange FindRightRange(const TDiffItems& Items, std::int32_t BlockStart,
                                        std::int32_t BlockEnd, std::int32_t RightLineCount);

// The mirror image for the left side (CopyBlockToLeft).
[[nodiscard]] TLineRange FindLeftRange(const TDiffItems& Items, std::int32_t BlockStart,
                                       std::int32_t BlockEnd, std::int32_t LeftLineCount);

// btnLeftToRight: replaces the right lines of the block containing item ItemIndex by its left
// lines; a block without left lines thus deletes its right lines. Returns whether Right changed;
// nothing happens for an equal item. Item indexes that no longer fit the lists (stale rows) are
// skipped, never read.
bool CopyBlockToRight(const TDiffItems& Items, qsizetype ItemIndex, const QStringList& Left, QStringList& Right);

// btnRightToLeft: the mirror image.
bool CopyBlockToLeft(const TDiffItems& Items, qsizetype ItemIndex, const QStringList& Right, QStringList& Left);

// Copy All: true when both lists hold the same lines, code unit by code unit (the comparison
// options do not apply). The window then shows FilesAlreadyIdenticalText and changes nothing.
[[nodiscard]] bool LinesIdentical(const QStringList& A, const QStringList& B);

// btnAllLeftDiffsToRight / btnAllRightDiffsToLeft: Target becomes a copy of Source. Returns
// false, changing nothing, when they are identical already.
bool CopyAllLines(const QStringList& Source, QStringList& Target);

inline constexpr const char* FilesAlreadyIdenticalText = "Files are already identical.";
inline constexpr const char* RightReplacedStatusText = "Right side replaced with LEFT (files made identical).";
inline constexpr const char* LeftReplacedStatusText = "Left side replaced with RIGHT (files made identical).";
