#pragma once

#include <QString>

// What a user reads when a comparison or a merge runs out of memory, instead of "std::bad_alloc".
[[nodiscard]] inline QString NotEnoughMemoryToCompareText(const QString& Left, const QString& Right)
{
    return QStringLiteral("Not enough memory to compare these files (%1 and %2).").arg(Left, Right);
}
