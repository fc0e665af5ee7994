#pragma once

#include "engine/DiffEngine.h"

#include <QLocale>
#include <QString>

// What ShowComparisonSummary writes: the status line, and the text of the information box
// (empty when there is nothing to compare, so no box follows).
struct TComparisonSummary
{
    QString StatusText;
    QString BoxText;
};

// "%d lines (left file) vs %d lines (right file)."
[[nodiscard]] QString LineCountPrefix(qsizetype LeftCount, qsizetype RightCount);

// The summary of Items after Prefix; the percentage uses Locale's decimal separator.
[[nodiscard]] TComparisonSummary MakeComparisonSummary(const QString& Prefix, const TDiffItems& Items,
                                                       const QLocale& Locale = QLocale());

// True when at least one item is not dkEqual.
[[nodiscard]] bool ItemsHaveDifferences(const TDiffItems& Items);
