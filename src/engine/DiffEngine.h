#pragma once

// The line diff: comparison keys under the six options, and the alignment of two line lists
// into rows. Pure functions of their inputs; reentrant; QtCore only.

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

enum TDiffKind : std::uint8_t { dkEqual, dkLeftOnly, dkRightOnly, dkDifferent };

struct TDiffItem {
    std::int32_t LeftIndex = -1, RightIndex = -1;
    TDiffKind Kind = dkEqual;
    std::int32_t LeftChangeStart = -1, LeftChangeLen = 0, RightChangeStart = -1, RightChangeLen = 0;

    friend bool operator==(const TDiffItem&, const TDiffItem&) = default;
};

using TDiffItems = QList<TDiffItem>;

struct TDiffOptions {
    bool IgnoreCase = false, IgnoreAllWhiteSpace = false, IgnoreWsAmount = false,
         IgnoreLeadingWhiteSpace = false, IgnoreTrailingWhiteSpace = false, IgnoreBlankLines = false;

    friend bool operator==(const TDiffOptions&, const TDiffOptions&) = default;
};

// Two lines whose keys are equal and which form one dkEqual row.
struct TMatch {
    std::int32_t L = -1, R = -1;

    friend bool operator==(const TMatch&, const TMatch&) = default;
};

// The comparison key of one line: whitespace and blank handling, then lower-casing.
[[nodiscard]] QString NormalizeLine(const QString& Line, const TDiffOptions& Options);

// One key per line of each list, in order.
void BuildLineKeys(const QStringList& Left, const QStringList& Right, const TDiffOptions& Options,
                   QStringList& LeftKeys, QStringList& RightKeys);

// Aligns the two lists by a longest common subsequence of their keys; one item per row.
[[nodiscard]] TDiffItems ComputeDiff(const QStringList& Left, const QStringList& Right,
                                     const TDiffOptions& Options);

// Empty after stripping every character from U+0000 to U+0020 from both ends.
[[nodiscard]] bool IsBlankLine(QStringView Line);
