#pragma once

// A plain, step-by-step implementation of the intra-line ranges: tokens, a full (n+1)x(m+1)
// table, the walk back, the insertion-sort normalisation. Slow on purpose and never used by the
// program; the engine must give exactly its answers. Counters are 32-bit, so long lines do not
// wrap.

#include "engine/IntraLine.h"

#include <QRandomGenerator>

namespace quorlane::test {

struct TOracleToken {
    QString Text;
    std::int32_t Start = 0, Len = 0;
};

[[nodiscard]] QList<TOracleToken> OracleSplitTokens(const QString& Line);
[[nodiscard]] bool OracleTokensEqual(const QString& X, const QString& Y, bool IgnoreCase);
// Flags for the tokens of A and of B that belong to the common subsequence.
void OracleMatchTokens(const QList<TOracleToken>& A, const QList<TOracleToken>& B, bool IgnoreCase,
                       QList<bool>& MatchedA, QList<bool>& MatchedB);
void OracleNormalizeRanges(QList<THighlightRange>& Ranges);
[[nodiscard]] QList<THighlightRange> OracleComputeIntraLineRanges(const QString& A, const QString& B,
                                                                  bool IgnoreCase);

// "4/5 12/2", or "none".
[[nodiscard]] QString DescribeRanges(const QList<THighlightRange>& Ranges);
// A line in single quotes with spaces as '·', tabs as '→' and other controls and non-ASCII escaped.
[[nodiscard]] QString DescribeLine(const QString& Line);

// A random line of up to MaxLen characters from a small alphabet of letters in both cases
// (also beyond ASCII and a surrogate pair), digits, '_', spaces, tabs and punctuation, so that
// tokens repeat and the table has many ties.
[[nodiscard]] QString RandomTokenLine(QRandomGenerator& Rng, int MaxLen);
// An edited copy of Line: a few characters deleted, inserted or replaced.
[[nodiscard]] QString EditTokenLine(QRandomGenerator& Rng, const QString& Line, int Edits);

} // namespace quorlane::test
