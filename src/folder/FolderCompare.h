#pragma once

#include "engine/DiffEngine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// One file found below a compared folder, with what the listing learned about it.
struct TFolderEntry
{
    QString Path;             // relative to the root, '/'-separated
    qint64 Size = -1;         // bytes; -1 when the file could not be looked up
    qint64 ModifiedNs = 0;    // last modification, nanoseconds since the epoch
    bool HasTime = false;     // false when the time could not be read
};
using TFolderEntries = QList<TFolderEntry>;

// Everything a folder comparison shows: one item per relative path of the union of both trees,
// in locale order with letter case ignored.
struct TFolderComparison
{
    TDiffItems Items;          // LeftIndex/RightIndex: position in that side's sorted list, or -1
    QStringList Paths;         // the union entry of each item (left letter case wins)
    QStringList LeftCells;     // column 1 of each item's row: the path, plus " new" on the newer side
    QStringList RightCells;    // column 2 likewise
    QList<bool> LeftNewer;     // the left file is the newer of two differing files
    QList<bool> RightNewer;
    qsizetype LeftFileCount = 0;
    qsizetype RightFileCount = 0;

    [[nodiscard]] bool HasDifferences() const;
};

// The window's `FileSizeOf`: size of the file at Path in bytes, or -1 when no file is found there
// (a folder counts as not found).
[[nodiscard]] qint64 FileSizeOf(const QString& Path);

// Appends every file below Folder, subfolders included, with its path relative to Root (Folder
// lies inside Root; both may end in a separator). Links to folders are followed; a link back into
// a folder that is being listed already is skipped, so a cycle ends. A folder that cannot be read
// adds nothing. Entries come in enumeration order; CompareFolderTrees sorts them.
void ListFilesRecursive(const QString& Root, const QString& Folder, TFolderEntries& Files);

// Sorts Files in the order the comparison rows use (the default QLocale's collation, case
// ignored) and keeps one entry of paths that differ only in letter case.
void SortFolderEntries(TFolderEntries& Files);

// The data work of CompareFolders: lists both trees and builds the rows. Never reads file
// contents; two files on both sides are equal when their sizes are equal and known.
[[nodiscard]] TFolderComparison CompareFolderTrees(const QString& LeftRoot, const QString& RightRoot);

// The three grid columns (0: row number, 1: left, 2: right) with the empty header row first,
// ready for TDiffGrid::SetColumnTexts. The window fills grdDiff with these.
[[nodiscard]] QStringList FolderGridColumn(const TFolderComparison& Comparison, int Col);

// lblStatus after a folder comparison.
[[nodiscard]] QString FolderStatusText(qsizetype LeftFileCount, qsizetype RightFileCount);

// Information box text when no row differs.
inline constexpr const char* FoldersIdenticalText = "The folders are identical (no different files).";

// Marker the newer side's cell ends with.
inline constexpr const char* NewerFileMarker = " new";
