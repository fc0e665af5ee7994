#pragma once

// Internals of ComputeDiff, visible to tests and benchmarks: the keys as small integers, the
// common-subsequence search and its tuning knobs. None of the knobs changes a result; they only
// choose how the same split decisions are computed, so tests can drive every path on small input.

#include "engine/DiffEngine.h"

#include <QByteArrayView>

#include <cstdint>
#include <vector>

// Every distinct key gets one integer; equal keys get equal integers.
struct TLineIds {
    std::vector<std::int32_t> Left, Right;
    std::int32_t Count = 0; // distinct keys
};

struct TAlignTuning {
    enum class TRowStep : std::uint8_t { Auto, AlwaysDense, AlwaysSparse };
    TRowStep RowStep = TRowStep::Auto;
    // Restrict rows to the diagonals optimal paths can use.
    bool Band = true;
    // First guess of the top band's extra width beyond the cheap upper bound of the LCS length;
    // widened (x4) until the result confirms itself.
    std::int32_t TopBandSlack = 64;
    // When a top band fails, widen it straight to the length it found (which cannot fail)
    // instead of four times the slack: one pass more at most, though maybe a wider one.
    bool WidenToFoundLength = false;
    // Estimated word steps above which a row pair or a pair of halves runs on two threads.
    std::int64_t ParallelMinWork = std::int64_t(1) << 20;
    // A row takes the sparse update when its window has at least this many words per match.
    std::int32_t SparseWordsPerMatch = 4;
    // A key with at least this many right lines, and at least one in 64 of them, gets a bit
    // mask of its lines for dense steps.
    std::int32_t MaskMinCount = 64;
    // Lines (both sides) from which keys are built and numbered on two threads.
    std::int64_t ParallelMinLines = std::int64_t(1) << 16;
};

[[nodiscard]] TLineIds BuildLineIds(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options,
                                    const TAlignTuning& Tuning = {});

// The same numbering for keys given as bytes, the left ones and the right ones in order.
[[nodiscard]] TLineIds BuildLineIdsOfBytes(const std::vector<QByteArrayView>& Left,
                                           const std::vector<QByteArrayView>& Right,
                                           const TAlignTuning& Tuning = {});

// The matches of the divide-and-conquer alignment, in increasing order of L and of R.
[[nodiscard]] std::vector<TMatch> FindLineMatches(const TLineIds& Ids, const TAlignTuning& Tuning);

// Gaps into dkDifferent pairs plus one-sided rows, then the blank-line rule.
[[nodiscard]] TDiffItems AssembleDiffItems(const QStringList& Left, const QStringList& Right,
                                           const std::vector<TMatch>& Matches, const TDiffOptions& Options);

[[nodiscard]] TDiffItems ComputeDiffTuned(const QStringList& Left, const QStringList& Right,
                                          const TDiffOptions& Options, const TAlignTuning& Tuning);
