#pragma once

#include <QString>

namespace quorlane::test {

// Two trees of 100 x 10 folders with 100 small files each (100,000 files per side) under
// Base/left and Base/right, made once (a marker file records completion). The same paths on
// both sides; every 100th file has another size on the right and every 100th (offset by 50) the
// same size with its last byte changed: 1 % differ in size, 1 % only in their bytes.
inline constexpr int BenchTreeFileCount = 100 * 10 * 100;
void MakeBenchFolderTrees(const QString& Base);

}   // namespace quorlane::test
