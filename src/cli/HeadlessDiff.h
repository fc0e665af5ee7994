#pragma once
// The comparison without a window: a unified diff of the alignment the window shows, and the
// folder comparison as one line per differing file.

#include "engine/DiffEngine.h"
#include "folder/FolderCompare.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

struct TCommandLine;

// One side of a text comparison: the loader's lines for the alignment, and the bytes each line
// is printed with. For files in an ASCII-compatible encoding these are the file's own bytes, so
// a patch made from the output reproduces the file exactly; UTF-16 lines are printed as UTF-8.
struct TDiffSource {
    QStringList Lines;
    QByteArray Bytes;
    struct TSpan {
        qsizetype Start = 0, Length = 0;   // the line's bytes, without its break
        bool CrLf = false;                 // printed with CR LF instead of LF
    };
    QList<TSpan> Spans;                    // one per line
    bool FinalBreak = false;               // the last line ends with a line break
};

// Builds a side from lines and the way the file ended (tests, and the UTF-16 case).
[[nodiscard]] TDiffSource DiffSourceFromLines(const QStringList& Lines, bool FinalBreak);

// Decodes Raw, the bytes read from FileName, with the window's loader and keeps them for
// printing. Throws ETextFileError with the loader's message.
[[nodiscard]] TDiffSource LoadDiffSource(const QString& FileName, QByteArray Raw);

// The unified diff of two sides aligned as Items under Options, with Context lines around each
// change; empty when nothing differs. Unless white space at line ends is ignored, a last line
// that ends with a break on one side only is a change, so a patch rebuilds the right side exactly.
[[nodiscard]] QByteArray UnifiedDiffText(const TDiffSource& Left, const TDiffSource& Right,
                                         const TDiffItems& Items, const TDiffOptions& Options,
                                         const QString& LeftLabel, const QString& RightLabel,
                                         int Context);

// "Only in DIR: NAME" and "Files A and B differ" lines for the differing rows of a folder
// comparison, each ending in a line break, with LeftRoot and RightRoot as typed.
[[nodiscard]] QByteArray FolderDiffText(const TFolderComparison& Comparison, const QString& LeftRoot,
                                        const QString& RightRoot);

// quorlane --diff: prints on Out, reports trouble on Err, returns the exit status.
[[nodiscard]] int RunHeadlessDiff(const TCommandLine& Command, std::FILE* Out, std::FILE* Err);
