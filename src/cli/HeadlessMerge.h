#pragma once
// The three-way merge without a window: quorlane --merge CURRENT BASE OTHER, with the arguments
// and exit statuses of git merge-file, so it serves as git's merge driver.

#include "cli/CommandLine.h"
#include "text/TextFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

// Parses the arguments of a command line that holds --merge (Args without the program name).
[[nodiscard]] TCommandLine ParseMergeCommandLine(const QStringList& Args);

// The first line of Lines that Encoding cannot write as it stands (an ANSI file is written in
// Windows-1252), or -1 when every line can be written.
[[nodiscard]] qsizetype FirstLineNotWritable(const QStringList& Lines, TTextEncoding Encoding);

// Merges, then prints the result on Out (-p) or replaces CURRENT with it through the atomic save,
// in CURRENT's encoding, mark and line break. Returns the number of conflicts (at most 127), or
// 255 with the reason on Err; on trouble nothing is written.
[[nodiscard]] int RunHeadlessMerge(const TMergeRequest& Request, std::FILE* Out, std::FILE* Err);
