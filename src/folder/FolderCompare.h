#pragma once

#include "engine/DiffEngine.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <atomic>

// What one entry found below a compared folder is.
enum class TFolderEntryType : std::uint8_t {
    Regular,   // a regular file (or a link to one): its bytes can be compared
    Other,     // a FIFO, socket or device (or a link to one): never opened
    Link,      // a link that leads nowhere or loops: compared by the text of the link
    Unknown,   // could not be looked up
    Folder,    // a folder (ListFilesRecursive's folder list only)
};

// One file found below a compared folder, with what the listing learned about it.
struct TFolderEntry
{
    QString Path;             // relative to the root, '/'-separated; bytes that are not UTF-8 shown as U+FFFD
    QByteArray Bytes;         // the same path as the file system spells it
    qint64 Size = -1;         // bytes; -1 when the file could not be looked up
    qint64 ModifiedNs = 0;    // last modification, nanoseconds since the epoch
    bool HasTime = false;     // false when the time could not be read
    TFolderEntryType Type = TFolderEntryType::Unknown;
    QByteArray LinkTarget;    // for TFolderEntryType::Link
    bool LinkLoops = false;   // for TFolderEntryType::Link: it loops rather than leads nowhere
    std::uint32_t Mode = 0;   // the file type bits of what it is (or leads to), when known
    enum TFolderState : std::uint8_t { Listed, Empty, Unreadable };
    TFolderState Folder = Listed;   // for TFolderEntryType::Folder: what listing it found
    QString Reason;           // why a folder or an entry could not be read
};
using TFolderEntries = QList<TFolderEntry>;

// Something below a compared folder that could not be read: a folder that cannot be opened or
// listed, a path beyond the system's limit, a link that leads nowhere or loops, a file whose
// bytes could not be read.
struct TFolderProblem
{
    QString Path;     // full path, as the user would type it
    QString Reason;   // the system's reason
};

// What one side's listing could not read: how many entries, and the first in path order.
struct TFolderProblems
{
    qsizetype Count = 0;
    TFolderProblem First;
    void Add(const TFolderProblem& Problem);
    void Add(const TFolderProblems& Other);
};

// Shared between a running comparison and whoever watches it (any thread): a running count
// and a request to stop.
struct TFolderCompareControl
{
    std::atomic<bool> Cancel{false};
    std::atomic<qint64> FilesListed{0};
    std::atomic<qint64> PairsToRead{0};   // same-size pairs whose bytes are compared
    std::atomic<qint64> PairsRead{0};
};

// What one side of a folder row is.
enum class TFolderSide : std::uint8_t {
    Absent,
    File,           // a regular file, or a link to one
    Special,        // a FIFO, socket or device
    Folder,         // a folder: an empty one on one side only, one that could not be listed, or
                    // one whose name is a file on the other side
    DanglingLink,   // a link that leads nowhere
    LoopingLink,    // a link that leads to itself
};

// Beside each row: what each side is, and whether it could not be read (a state of its own: such
// a row is neither equal nor different).
struct TFolderRowInfo
{
    TFolderSide Left = TFolderSide::Absent;
    TFolderSide Right = TFolderSide::Absent;
    bool LeftUnreadable = false;
    bool RightUnreadable = false;

    [[nodiscard]] bool Unreadable() const { return LeftUnreadable || RightUnreadable; }
    [[nodiscard]] bool FileVersusFolder() const
    {
        return Left != Right && Left != TFolderSide::Absent && Right != TFolderSide::Absent
               && (Left == TFolderSide::Folder || Right == TFolderSide::Folder);
    }
};

// Everything a folder comparison shows: one item per relative path of the union of both trees,
// in the locale's collation with letter case as the tie-break; names match exactly.
struct TFolderComparison
{
    TDiffItems Items;          // LeftIndex/RightIndex: position in that side's sorted list, or -1
    QStringList Paths;         // the relative path of each item
    QStringList LeftCells;     // column 1 of each item's row: the left path, or empty
    QStringList RightCells;    // column 2 likewise
    QList<bool> LeftNewer;     // the left file is the newer of two differing files
    QList<bool> RightNewer;
    QList<QByteArray> LeftBytes;    // each item's left path as the file system spells it, or empty
    QList<QByteArray> RightBytes;
    QList<TFolderRowInfo> Info;     // what each side of each item is
    QHash<qsizetype, QByteArray> LeftLinkTargets, RightLinkTargets;   // the text of dangling links, by item
    QHash<qsizetype, QString> Reasons;   // why an item could not be read, by item
    QHash<qsizetype, QByteArray> LeftTypeWords, RightTypeWords;   // of file-versus-folder items (FileTypeWord)
    QSet<QByteArray> LeftFolders, RightFolders;   // every folder listed on each side, by its bytes
    QString LeftRoot, RightRoot;    // as given
    qsizetype LeftFileCount = 0;
    qsizetype RightFileCount = 0;
    TFolderProblems Problems;       // of both sides, the left side's first
    bool Cancelled = false;         // stopped on request; nothing else is filled

    // Rows that could not be read are not differences, unless they lie on one side only.
    [[nodiscard]] bool IsDifference(qsizetype Item) const;
    [[nodiscard]] bool HasDifferences() const;
    [[nodiscard]] qsizetype CountOf(TDiffKind Kind) const;   // differences of that kind
    [[nodiscard]] qsizetype UnreadableCount() const;
};

// The window's `FileSizeOf`: size of the file at Path in bytes, or -1 when no file is found there
// (a folder counts as not found).
[[nodiscard]] qint64 FileSizeOf(const QString& Path);

// Appends every file below Folder, subfolders included, with its path relative to Root (Folder
// lies inside Root; both may end in a separator). A link to a folder is followed only when its
// real folder lies outside Root (inside, that folder is listed under its own path already), and
// each real folder once; a cycle ends. Depth is bounded by nothing but the file system. What
// cannot be read goes to Problems when given; the folders below Folder go to Folders when given.
// Entries come in enumeration order; CompareFolderTrees sorts them.
void ListFilesRecursive(const QString& Root, const QString& Folder, TFolderEntries& Files,
                        TFolderProblems* Problems = nullptr, TFolderCompareControl* Control = nullptr,
                        TFolderEntries* Folders = nullptr);

// Sorts Files in the order the comparison rows use (the default QLocale's collation with case
// ignored, then letter case, then the bytes of the name).
void SortFolderEntries(TFolderEntries& Files);

// True when the two regular files hold the same bytes: read in blocks, stopping at the first
// difference. Throws std::runtime_error with the system's reason when a file cannot be read.
[[nodiscard]] bool SameFileContents(const QByteArray& LeftPath, const QByteArray& RightPath);

// The data work of CompareFolders: lists both trees and builds the rows. Two files on both sides
// are equal when their sizes are equal and known and, for regular files, their bytes are equal;
// two links that lead nowhere are equal when their texts are. Stops early when Control asks.
[[nodiscard]] TFolderComparison CompareFolderTrees(const QString& LeftRoot, const QString& RightRoot,
                                                   TFolderCompareControl* Control = nullptr);

// The three grid columns (0: row number, 1: left, 2: right) with the empty header row first,
// ready for TDiffGrid::SetColumnTexts. The window fills grdDiff with these.
[[nodiscard]] QStringList FolderGridColumn(const TFolderComparison& Comparison, int Col);

// "3 entries could not be read, the first: PATH (REASON)", a long path shortened in the middle.
[[nodiscard]] QString FolderProblemsText(const TFolderProblems& Problems);

// lblStatus after a folder comparison: the file counts, then the numbers of different, left-only
// and right-only rows, then what could not be read.
[[nodiscard]] QString FolderStatusText(qsizetype LeftFileCount, qsizetype RightFileCount);
[[nodiscard]] QString FolderStatusText(const TFolderComparison& Comparison);

// lblStatus while a comparison runs.
[[nodiscard]] QString FolderProgressText(const TFolderCompareControl& Control);

// The information box after a comparison: the identical text when nothing differs and all could
// be read, what could not be read otherwise, or empty when there is nothing to tell.
[[nodiscard]] QString FolderResultBoxText(const TFolderComparison& Comparison);

// The items the navigation steps over: the rows' own, or with rows that could not be read
// counted as equal when the user skips them.
[[nodiscard]] TDiffItems FolderNavigationItems(const TFolderComparison& Comparison, bool SkipUnreadable);

// A side's badge in its cell ("folder", "could not be read", "dangling link", ...), empty for none.
[[nodiscard]] QString FolderSideBadge(const TFolderComparison& Comparison, qsizetype Item, int Col);

// The tooltip of a row's cell: what the entry is, a link's target, why it could not be read.
[[nodiscard]] QString FolderRowToolTip(const TFolderComparison& Comparison, qsizetype Item, int Col);

// GNU diff's word for a file type ("regular file", "regular empty file", "directory", "fifo", ...).
[[nodiscard]] const char* FileTypeWord(std::uint32_t Mode, qint64 Size);

// Information box text when no row differs.
inline constexpr const char* FoldersIdenticalText = "The folders are identical (no different files).";
