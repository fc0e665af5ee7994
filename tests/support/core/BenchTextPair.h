#pragma once

#include <QString>

namespace quorlane::test {

// Writes two files of source-like lines (CR LF); ChangedPerThousand of every 1000 lines are
// edited, followed by an inserted line, or dropped on the right. The same arguments always give
// the same bytes, so benchmark runs compare like with like.
void WriteBenchTextPair(const QString& LeftPath, const QString& RightPath, int Lines, int ChangedPerThousand);

}   // namespace quorlane::test
