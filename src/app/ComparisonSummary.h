#pragma once

#include "engine/DiffEngine.h"
#include "text/SideState.h"

#include <QLocale>
#include <QString>
#include <QStringList>

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

// What still tells two text files apart when every row is equal, each as the verdict names it:
// "encoding (UTF-8 / ANSI)", "byte-order mark", "line breaks (LF / CR LF)", "final line break".
// Empty when their bytes hold nothing else, and for sides that are not both text files.
[[nodiscard]] QStringList SideDifferences(const TSideState& Left, const TSideState& Right);

// "The files are identical." or "The files are identical except for their A, B and C."
[[nodiscard]] QString IdenticalFilesText(const QStringList& Differences);

// "The files are identical." when FirstDifference (from 0) is -1, else "The files differ
// (binary; first difference at byte 1,234)." counting bytes from 1.
[[nodiscard]] QString BinaryFilesText(qint64 FirstDifference);
