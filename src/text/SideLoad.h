#pragma once
// Loading the two files of a text comparison.

#include "text/SideState.h"

#include <QString>

#include <functional>

// Roughly the most memory loading a file of Size bytes holds at once: the bytes read and
// their text in UTF-16.
[[nodiscard]] qint64 LoadPeakEstimate(qint64 Size);

// The memory this process may still take: what the system has available, within the
// address-space limit. -1 when unknown.
[[nodiscard]] qint64 MemoryAtHand();

// Runs two loads of files of these sizes: side by side when both peaks together fit in half the
// memory at hand, one after the other otherwise, so their peaks add up only where there is room.
// A failure of the left load is the one reported; the right one has ended before it leaves.
void RunBothLoads(qint64 LeftSize, qint64 RightSize, const std::function<void()>& LoadLeft,
                  const std::function<void()>& LoadRight);

// Reads both files into their sides through RunBothLoads. On any failure both sides are left as
// they were. Running out of memory is an ETextFileError naming the file and its size.
void LoadTextFiles(const QString& L, TSideState& Left, const QString& R, TSideState& Right);
