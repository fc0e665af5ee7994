#pragma once
// The three-way merge: Base aligned with Local and with Remote by ComputeDiff, merged chunk by
// chunk by git's rules (as `git merge-file` applies them) and, where enabled, by a few extra
// rules that are safe. The conflict-marker writer and its parser. Plain functions over line
// lists; reentrant; QtCore only.

#include "engine/DiffEngine.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// How a conflict is written: git's three styles.
enum class TMerge3Style : std::uint8_t {
    Merge,    // <<<<<<< local ======= remote >>>>>>>; conflicts are split and joined as git does
    Diff3,    // also ||||||| base; conflicts are kept whole (git's diff3: neither split nor joined)
    Zdiff3,   // diff3 whose conflicts lose the lines both sides hold at their start and end
};

// Which side a conflict takes when one is favoured (--ours, --theirs, --union).
enum class TMerge3Favor : std::uint8_t {
    None,     // write conflict markers
    Ours,     // Local's lines
    Theirs,   // Remote's lines
    Union,    // Local's lines, then Remote's
};

struct TMerge3Options {
    // What counts as a change: only these six decide whether two lines are the same line.
    TDiffOptions Diff;
    // Style of conflicts. It also decides how conflicts are shaped, as in git (see TMerge3Style).
    TMerge3Style Style = TMerge3Style::Merge;

    // The extra rules, each resolving a conflict git leaves; each sets its own TMerge3Rule.
    // One side only changes white space (amount of it, or at line ends) in every line it changes,
    // with as many lines as base, and the other changes text: take the text change.
    bool ResolveWhiteSpace = false;
    // Both inserted at the same place, and one insertion is the other's start or end: take the
    // longer.
    bool ResolveContainedInsert = true;
    // The two sides' changes touch but do not overlap (and are not two insertions at one
    // place): take both, in base order.
    bool ResolveAdjacent = false;

    friend bool operator==(const TMerge3Options&, const TMerge3Options&) = default;
};

enum TMerge3ChunkKind : std::uint8_t {
    mcUnchanged,   // neither side changed these lines (the result takes Local's)
    mcLocal,       // the result takes Local's lines (only Local changed, or a rule chose them)
    mcRemote,      // the result takes Remote's lines (only Remote changed, or a rule chose them)
    mcBoth,        // both sides hold the same lines here (the result takes Local's)
    mcConflict,    // the sides disagree: the result holds conflict markers
};

// Which rule decided a chunk. mrNone for mcUnchanged and mcConflict.
enum TMerge3Rule : std::uint8_t {
    mrNone,
    mrOneSide,          // git: only one side changed this region
    mrSameChange,       // git: both sides made the same change
    mrConflictCommon,   // git: lines both sides hold inside what would be a conflict, taken out of it
    // The extra rules (IsExtraRule): git leaves these in conflict.
    mrWhiteSpace,       // one side changed only white space: the other side's text change is taken
    mrContainedInsert,  // two insertions at one place, one the start or end of the other: the longer
    mrAdjacent,         // changes that touch without overlapping: both, in base order
};

[[nodiscard]] constexpr bool IsExtraRule(TMerge3Rule Rule)
{
    return Rule == mrWhiteSpace || Rule == mrContainedInsert || Rule == mrAdjacent;
}

// A stretch of the merge. The chunks of a result cover Base, Local and Remote each from start to
// end without gap or overlap, in order: each chunk starts where the one before ended.
struct TMerge3Chunk {
    TMerge3ChunkKind Kind = mcUnchanged;
    TMerge3Rule Rule = mrNone;
    std::int32_t BaseStart = 0, BaseCount = 0;       // Base's lines of this stretch
    std::int32_t LocalStart = 0, LocalCount = 0;     // Local's lines
    std::int32_t RemoteStart = 0, RemoteCount = 0;   // Remote's lines
    // Where git splits a conflict into pieces, it cannot say which base lines belong to which
    // piece: the base lines go to the first piece between lines all three hold, the later
    // pieces and the lines both sides hold get none (or the ones all three hold).

    friend bool operator==(const TMerge3Chunk&, const TMerge3Chunk&) = default;
};

struct TMerge3Result {
    QList<TMerge3Chunk> Chunks;
    int Conflicts = 0;        // mcConflict chunks
    int ResolvedByRule = 0;   // chunks an extra rule resolved (IsExtraRule of their Rule)

    // Whether the merged text ends with a line break, decided three-way from the inputs' own
    // endings (Local's, unless only Remote changed it). A result ending in a conflict's marker
    // always ends with one.
    bool FinalBreak = true;
};

// Aligns Base with Local and Base with Remote (ComputeDiff under Options.Diff, each run of changed
// lines then slid over equal lines as git slides it: the same number of matched lines, placed where
// git's merge places them) and merges them. Under IgnoreBlankLines a blank line against text, or
// alone on one side, is still a change to the merge: only which lines align follows the option.
// The *FinalBreak arguments say whether each text ended with a line break (they decide only
// TMerge3Result::FinalBreak).
[[nodiscard]] TMerge3Result ComputeMerge3(const QStringList& Base, const QStringList& Local,
                                          const QStringList& Remote, const TMerge3Options& Options,
                                          bool BaseFinalBreak = true, bool LocalFinalBreak = true,
                                          bool RemoteFinalBreak = true);

// How conflicts are written.
struct TMerge3Markers {
    // Labels after <<<<<<<, ||||||| and >>>>>>>. A null label writes the marker alone; an empty
    // one writes the marker and a space, as git does.
    QString LocalLabel, BaseLabel, RemoteLabel;
    int MarkerSize = 7;                           // characters of each marker
    TMerge3Style Style = TMerge3Style::Merge;     // ||||||| base section with Diff3 and Zdiff3
    TMerge3Favor Favor = TMerge3Favor::None;
};

// The merged text: each chunk's chosen lines, conflicts as git writes them (or the favoured
// side's lines).
struct TMerge3Text {
    QStringList Lines;
    int Conflicts = 0;        // conflicts written with markers
    // The text ends with a line break: after a conflict's closing marker always, otherwise as
    // TMerge3Result::FinalBreak says.
    bool FinalBreak = true;
};

[[nodiscard]] TMerge3Text WriteMerge3(const QStringList& Base, const QStringList& Local,
                                      const QStringList& Remote, const TMerge3Result& Result,
                                      const TMerge3Markers& Markers);

// One piece of a file that may hold conflict markers: plain lines, or a conflict.
struct TConflictBlock {
    bool IsConflict = false;
    QStringList Lines;                          // plain lines (IsConflict false)
    QStringList Local, Base, Remote;            // a conflict's sections
    bool HasBase = false;                       // a ||||||| section was present
    QString LocalLabel, BaseLabel, RemoteLabel; // the labels as written (null when none)

    friend bool operator==(const TConflictBlock&, const TConflictBlock&) = default;
};

// Reads lines written with conflict markers of MarkerSize back into blocks. A marker line is the
// marker character repeated exactly MarkerSize times, then the end of the line or a space and a
// label ("=======" takes no label). An opening marker without its full set (=======, >>>>>>>)
// in order is plain text, so any text parses.
[[nodiscard]] QList<TConflictBlock> ParseConflictMarkers(const QStringList& Lines,
                                                         int MarkerSize = 7);
