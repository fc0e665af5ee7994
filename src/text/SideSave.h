#pragma once
// How a side is written back to a file.

#include "text/SideState.h"
#include "text/TextFile.h"

// The side's encoding, mark and line break. A side read as ANSI only for want of any byte above
// 0x7F is written as UTF-8 without a mark once it holds anything beyond ASCII: a single
// Windows-1252 byte is garbage to every other tool on a UTF-8 desktop.
[[nodiscard]] TTextWriteEncoding WriteEncodingFor(const TSideState& Side);

// After a save with Written: the side now is what was written (its encoding and name).
void NoteSideWritten(TSideState& Side, const TTextWriteEncoding& Written);
