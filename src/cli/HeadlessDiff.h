#pragma once
// The comparison without a window: a unified diff of two text files' bytes aligned as the
// window aligns lines, and the folder comparison as one line per differing file.

#include "engine/DiffEngine.h"
#include "folder/FolderCompare.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>

struct TCommandLine;

// "Only in DIR: NAME" and "Files A and B differ" lines for the differing rows of a folder
// comparison, each ending in a line break, with LeftRoot and RightRoot as typed.
[[nodiscard]] QByteArray FolderDiffText(const TFolderComparison& Comparison, const QString& LeftRoot,
                                        const QString& RightRoot);

// quorlane --diff: prints on Out, reports trouble on Err, returns the exit status.
[[nodiscard]] int RunHeadlessDiff(const TCommandLine& Command, std::FILE* Out, std::FILE* Err);
