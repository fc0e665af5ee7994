#pragma once

#include <QString>

namespace quorlane::test {

// Two trees of 100 x 10 folders with 100 small files each (100,000 files per side) under
// Base/left and Base/right, made once (a marker file records completion). The same paths on
// both sides except every 50th missing on the right, every 70th only on the right, and every
// 30th with another size on the right: about 6 % of the rows differ.
inline constexpr int BenchTreeFileCount = 100 * 10 * 100;
void MakeBenchFolderTrees(const QString& Base);

}   // namespace quorlane::test
