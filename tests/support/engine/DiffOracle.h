#pragma once

// A plain, step-by-step line diff: keys, divide-and-conquer matches with full rows, raw sequence,
// gap assembly, blank-line rule. Slow on purpose and never used by the program; the engine must
// give exactly its items.

#include "engine/DiffEngine.h"

namespace quorlane::test {

// An item of these line indexes (-1 for none) and kind, with no change ranges.
[[nodiscard]] TDiffItem MakeDiffItem(int L, int R, TDiffKind Kind);

[[nodiscard]] QString OracleNormalizeLine(const QString& Line, const TDiffOptions& Options);
[[nodiscard]] QList<TMatch> OracleFindMatches(const QStringList& LeftKeys, const QStringList& RightKeys);
[[nodiscard]] TDiffItems OracleComputeDiff(const QStringList& Left, const QStringList& Right,
                                           const TDiffOptions& Options);

// All 64 combinations, bit b of Bits switching the b-th option in declaration order.
[[nodiscard]] TDiffOptions OptionsFromBits(int Bits);
[[nodiscard]] QString DescribeOptions(const TDiffOptions& Options);
[[nodiscard]] QString DescribeItem(const TDiffItem& Item);
[[nodiscard]] QString DescribeItems(const TDiffItems& Items);
// A line list with visible whitespace and escapes, one line per row.
[[nodiscard]] QString DescribeLines(const QStringList& Lines);

} // namespace quorlane::test
