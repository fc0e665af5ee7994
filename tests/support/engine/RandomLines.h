#pragma once

// Random line lists made to provoke ties in the alignment: few distinct lines, repeats, blank and
// whitespace-only lines, tabs and spaces in every mix, letters in both cases beyond ASCII.

#include <QRandomGenerator>
#include <QStringList>

#include <functional>

namespace quorlane::test {

struct TLinePair {
    QStringList Left, Right;
};

// One random line of 0..MaxLen characters drawn from a small set of tricky characters.
[[nodiscard]] QString RandomTrickyLine(QRandomGenerator& Rng, int MaxLen);

// A pool of PoolSize tricky lines, then both sides drawn from it; about half the time the right
// side is an edited copy of the left, so long common runs meet many equal candidates.
[[nodiscard]] TLinePair RandomTiePair(QRandomGenerator& Rng, int MaxLines, int PoolSize);

// Copies Lines with about Rate of its lines edited: a run deleted, inserted or replaced, the new
// lines taken from Fresh(). Keeps order, so the two sides stay similar.
[[nodiscard]] QStringList EditLines(QRandomGenerator& Rng, const QStringList& Lines, double Rate,
                                    const std::function<QString()>& Fresh);

// Count short, mostly distinct lines ("ln 12345 qxv"), as generated source files look.
[[nodiscard]] QStringList DistinctLines(QRandomGenerator& Rng, int Count);

// A long line of Tokens tokens: words from a pool of PoolSize, separated by single spaces with
// now and then punctuation, so that some tokens are frequent and most are rare.
[[nodiscard]] QString RandomProseLine(QRandomGenerator& Rng, int Tokens, int PoolSize);

// A copy of Line with about Rate of its space-separated words replaced.
[[nodiscard]] QString EditWords(QRandomGenerator& Rng, const QString& Line, double Rate);

} // namespace quorlane::test
