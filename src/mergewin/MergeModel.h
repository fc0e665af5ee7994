#pragma once
// The merge window's model as plain data: the grid rows that align the three inputs, the text
// each chunk contributes to the result for each choice, where each chunk stands in the result
// text as the user edits it, and the counts and steps the window shows. No widgets.

#include "merge3/Merge3.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// The three inputs of a merge, as loaded.
struct TMergeInputs {
    QStringList Local, Base, Remote;
};

// What the user chose for a chunk. None: the merge's own answer (for a conflict: the markers).
enum class TMergeChoice : std::uint8_t { None, Local, Base, Remote, LocalThenRemote, RemoteThenLocal };

// The grid rows: row 0 is the header; each chunk takes as many rows as its longest side, the
// sides' lines stacked from its first row down. Indexes are -1 where a side has no line.
struct TMergeRows {
    QVector<std::int32_t> Local, Base, Remote;   // line per row (RowCount entries)
    QVector<std::int32_t> Chunk;                 // chunk per row, -1 for the header
    QVector<std::int32_t> FirstRow;              // per chunk its first row; one more entry: RowCount

    [[nodiscard]] int RowCount() const { return int(Chunk.size()); }
    [[nodiscard]] int RowsOf(int ChunkIndex) const { return FirstRow[ChunkIndex + 1] - FirstRow[ChunkIndex]; }
};

[[nodiscard]] TMergeRows AlignMergeRows(const QList<TMerge3Chunk>& Chunks);

// The lines a chunk gives the result under Choice. None gives the merge's own lines: a conflict
// as git's markers with Markers' labels.
[[nodiscard]] QStringList ChunkLines(const TMergeInputs& Inputs, const TMerge3Chunk& Chunk, TMergeChoice Choice,
                                     const TMerge3Markers& Markers);

// Whether a stretch of lines still holds a whole set of conflict markers.
[[nodiscard]] bool HoldsConflictMarkers(const QStringList& Lines);

// Where each chunk stands in the result text and what happened to it. The result is the chunks'
// texts one after the other; a chunk's Length counts its characters with the line breaks.
struct TChunkState {
    std::int32_t Length = 0;
    TMergeChoice Choice = TMergeChoice::None;
    bool Edited = false;   // changed by hand: choices no longer apply to it
    friend bool operator==(const TChunkState&, const TChunkState&) = default;
};
using TChunkStates = QVector<TChunkState>;

// The start of every chunk in the result text (Count + 1 entries, the last one the text's length).
[[nodiscard]] QVector<std::int32_t> ChunkStarts(const TChunkStates& States);

// The chunk that holds the character at Position: the last chunk starting at or before it that
// is not empty, or the last chunk for the end of the text. -1 when there are no chunks.
[[nodiscard]] int ChunkAtPosition(const QVector<std::int32_t>& Starts, int Position);

// A change typed into the result text, in the coordinates before it: Removed characters at
// Position replaced by Added ones. The chunks that lose characters and the one that takes the
// new ones (the chunk holding Position: text typed at the start of a line belongs to that line)
// are marked edited.
void ApplyTextChange(TChunkStates& States, int Position, int Removed, int Added);

// Whether chunk I still needs the user: a conflict neither chosen nor edited, or edited but
// still holding markers (Lines: its current text).
[[nodiscard]] bool IsUnresolved(const TMerge3Chunk& Chunk, const TChunkState& State, const QStringList& Lines);

struct TMergeCounts {
    int ConflictsLeft = 0;
    int ChangesMerged = 0;    // changed chunks whose result is settled, by the merge or the user
    int ResolvedByRule = 0;   // chunks an extra rule resolved
};

// "3 conflicts left · 12 changes merged · 2 resolved by a rule"
[[nodiscard]] QString MergeStatusText(const TMergeCounts& Counts);

// What the navigation steps to.
enum class TMergeTarget { Conflict, Unresolved, ResolvedByRule, Change };

// The next (Forward) or previous chunk after From that is such a target; -1 when there is none.
// Unresolved reads IsUnresolvedAt.
template <typename TUnresolved>
[[nodiscard]] int FindMergeChunk(const QList<TMerge3Chunk>& Chunks, int From, bool Forward, TMergeTarget Target,
                                 const TUnresolved& IsUnresolvedAt)
{
    const int Count = int(Chunks.size());
    for (int I = Forward ? From + 1 : From - 1; I >= 0 && I < Count; I += Forward ? 1 : -1) {
        const TMerge3Chunk& C = Chunks[I];
        const bool Hit = Target == TMergeTarget::Conflict       ? C.Kind == mcConflict
                         : Target == TMergeTarget::Unresolved   ? IsUnresolvedAt(I)
                         : Target == TMergeTarget::ResolvedByRule ? IsExtraRule(C.Rule)
                                                                  : C.Kind != mcUnchanged;
        if (Hit)
            return I;
    }
    return -1;
}

// The name of an extra rule, for the tooltip of a chunk it resolved.
[[nodiscard]] QString RuleName(TMerge3Rule Rule);

// git mergetool names its temporary files NAME_LOCAL_1234.ext: the role ("LOCAL", "BASE",
// "REMOTE") and the merged file's name, or empty strings for any other path.
struct TGitTempName {
    QString Role, Name;
};
[[nodiscard]] TGitTempName GitTempName(const QString& Path);
