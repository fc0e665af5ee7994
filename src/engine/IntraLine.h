#pragma once

// Intra-line difference ranges: which tokens of one line the other line lacks.
//
// A token is a maximal run of word characters (ASCII letters and digits, '_', and every code
// unit above U+007F) or of other characters (everything else up to U+007F). The tokens of A
// that are not in the longest common subsequence of the two token lists are highlighted; ties
// in that subsequence are broken as a walk back from the end of both lines that prefers
// stepping back in A, so of repeated tokens the later ones are matched.

#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

struct THighlightRange {
    std::int32_t Start = 0, Len = 0;
    friend bool operator==(const THighlightRange&, const THighlightRange&) = default;
};

struct TToken {
    QString Text;
    std::int32_t Start = 0, Len = 0;
};
using TTokens = QList<TToken>;

// One flag per token of each side: true for the tokens in the common subsequence.
struct TTokenMatch {
    QList<bool> MatchedA, MatchedB;
};

[[nodiscard]] bool IsTokenWordChar(char16_t C);

[[nodiscard]] TTokens SplitTokens(const QString& Line);

// With IgnoreCase only ASCII a-z and A-Z are folded; other letters must match exactly.
[[nodiscard]] TTokenMatch MatchTokens(const TTokens& A, const TTokens& B, bool IgnoreCase);

// Drops empty ranges, sorts by Start (stable) and merges overlapping or touching ranges.
void NormalizeRanges(QList<THighlightRange>& Ranges);

// The part of Range inside [From, To): true when it is not empty.
[[nodiscard]] bool ClipRange(const THighlightRange& Range, std::int32_t From, std::int32_t To,
                             std::int32_t& ClipStart, std::int32_t& ClipEnd);

// Ranges over A: sorted, each Len > 0, none touching another, all inside A.
[[nodiscard]] QList<THighlightRange> ComputeIntraLineRanges(const QString& A, const QString& B,
                                                            bool IgnoreCase);

// The matcher behind MatchTokens and ComputeIntraLineRanges, open for tests and benchmarks.
namespace IntraLineInternals {

enum class TMethod : std::uint8_t {
    Auto,       // exact while within the bounds below, otherwise the differing middle
    Exact,      // always exact, whatever it costs
    MiddleOnly  // common prefix and suffix matched, everything between unmatched
};

// Exact matching runs a bit-parallel LCS, one row of ceil(m/64) 64-bit words per token of A
// that occurs in B, narrowed to the band of diagonals that optimal paths keep to, so lines that
// differ in few tokens cost little (two 100,000-token lines with 5% of words changed: ~40 ms).
// Auto answers exactly while one pass over the rows stays within kMaxWordSteps and the rows
// kept in memory within kMaxTableBytes; the whole match costs about two such passes, so at
// most ~0.3 s on an idle machine. Beyond that it matches the common prefix and suffix of
// tokens and highlights the whole differing middle: sound, never a long freeze.
inline constexpr std::int64_t kMaxWordSteps = std::int64_t(1) << 27;
inline constexpr std::int64_t kMaxTableBytes = std::int64_t(64) << 20;

// A and B hold token ids: equal tokens have equal ids, ids are 0 .. IdCount-1 and -1 marks a
// token of A that has no equal in B. CheckpointInterval and BandGuess (a guess at the length
// of the common subsequence; any value gives the same answer) 0 and -1 choose for themselves;
// tests set them to exercise every path of the walk.
[[nodiscard]] TTokenMatch MatchIds(const std::vector<std::int32_t>& A,
                                   const std::vector<std::int32_t>& B, std::int32_t IdCount,
                                   TMethod Method = TMethod::Auto,
                                   std::int32_t CheckpointInterval = 0,
                                   std::int32_t BandGuess = -1);

// Whether Auto answers these token id lists exactly (runs the match to find out).
[[nodiscard]] bool AnswersExactly(const std::vector<std::int32_t>& A,
                                  const std::vector<std::int32_t>& B, std::int32_t IdCount);

// Drops every cached result of ComputeIntraLineRanges (benchmarks measure cold calls).
void ClearCache();

}  // namespace IntraLineInternals
