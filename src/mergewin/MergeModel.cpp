#include "mergewin/MergeModel.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

TMergeRows AlignMergeRows(const QList<TMerge3Chunk>& Chunks)
{
    qsizetype Rows = 1;
    for (const TMerge3Chunk& C : Chunks)
        Rows += std::max({C.LocalCount, C.BaseCount, C.RemoteCount});
    TMergeRows Result;
    Result.Local.fill(-1, Rows);
    Result.Base.fill(-1, Rows);
    Result.Remote.fill(-1, Rows);
    Result.Chunk.fill(-1, Rows);
    Result.FirstRow.reserve(Chunks.size() + 1);
    std::int32_t* const Local = Result.Local.data();
    std::int32_t* const Base = Result.Base.data();
    std::int32_t* const Remote = Result.Remote.data();
    std::int32_t* const Chunk = Result.Chunk.data();
    std::int32_t Row = 1;
    for (qsizetype K = 0; K < Chunks.size(); ++K) {
        const TMerge3Chunk& C = Chunks[K];
        Result.FirstRow.append(Row);
        const int Count = std::max({C.LocalCount, C.BaseCount, C.RemoteCount});
        for (int I = 0; I < Count; ++I) {
            Chunk[Row + I] = std::int32_t(K);
            if (I < C.LocalCount)
                Local[Row + I] = C.LocalStart + I;
            if (I < C.BaseCount)
                Base[Row + I] = C.BaseStart + I;
            if (I < C.RemoteCount)
                Remote[Row + I] = C.RemoteStart + I;
        }
        Row += Count;
    }
    Result.FirstRow.append(Row);
    return Result;
}

QStringList ChunkLines(const TMergeInputs& Inputs, const TMerge3Chunk& Chunk, TMergeChoice Choice,
                       const TMerge3Markers& Markers)
{
    const QStringList Local = Inputs.Local.mid(Chunk.LocalStart, Chunk.LocalCount);
    const QStringList Remote = Inputs.Remote.mid(Chunk.RemoteStart, Chunk.RemoteCount);
    switch (Choice) {
    case TMergeChoice::Local:
        return Local;
    case TMergeChoice::Base:
        return Inputs.Base.mid(Chunk.BaseStart, Chunk.BaseCount);
    case TMergeChoice::Remote:
        return Remote;
    case TMergeChoice::LocalThenRemote:
        return Local + Remote;
    case TMergeChoice::RemoteThenLocal:
        return Remote + Local;
    case TMergeChoice::None:
        break;
    }
    TMerge3Result One;
    One.Chunks.append(Chunk);
    return WriteMerge3(Inputs.Base, Inputs.Local, Inputs.Remote, One, Markers).Lines;
}

bool HoldsConflictMarkers(const QStringList& Lines)
{
    const QList<TConflictBlock> Blocks = ParseConflictMarkers(Lines);
    return std::any_of(Blocks.begin(), Blocks.end(), [](const TConflictBlock& B) { return B.IsConflict; });
}

QVector<std::int32_t> ChunkStarts(const TChunkStates& States)
{
    QVector<std::int32_t> Starts(States.size() + 1);
    std::int32_t At = 0;
    for (qsizetype K = 0; K < States.size(); ++K) {
        Starts[K] = At;
        At += States[K].Length;
    }
    Starts[States.size()] = At;
    return Starts;
}

int ChunkAtPosition(const QVector<std::int32_t>& Starts, int Position)
{
    const qsizetype Count = Starts.size() - 1;
    if (Count <= 0)
        return -1;
    // The last chunk starting at or before Position: empty chunks there are followed by the one
    // that holds it.
    const auto It = std::upper_bound(Starts.begin(), Starts.begin() + Count, Position);
    return std::max(0, int(It - Starts.begin()) - 1);
}

void ApplyTextChange(TChunkStates& States, int Position, int Removed, int Added)
{
    const QVector<std::int32_t> Starts = ChunkStarts(States);
    const int Owner = ChunkAtPosition(Starts, Position);
    if (Owner < 0)
        return;
    const int End = Position + Removed;
    for (int K = Owner; K < States.size() && Starts[K] < End; ++K) {
        const int Lost = std::min(End, Starts[K + 1]) - std::max(Position, Starts[K]);
        if (Lost > 0) {
            States[K].Length -= Lost;
            States[K].Edited = true;
        }
    }
    if (Added > 0) {
        States[Owner].Length += Added;
        States[Owner].Edited = true;
    }
}

bool IsUnresolved(const TMerge3Chunk& Chunk, const TChunkState& State, const QStringList& Lines)
{
    if (Chunk.Kind != mcConflict)
        return false;
    return State.Edited ? HoldsConflictMarkers(Lines) : State.Choice == TMergeChoice::None;
}

QString MergeStatusText(const TMergeCounts& Counts)
{
    return QStringLiteral("%1 conflicts left \u00B7 %2 changes merged \u00B7 %3 resolved by a rule")
        .arg(Counts.ConflictsLeft)
        .arg(Counts.ChangesMerged)
        .arg(Counts.ResolvedByRule);
}

QString RuleName(TMerge3Rule Rule)
{
    switch (Rule) {
    case mrWhiteSpace:
        return QStringLiteral("Resolved by a rule: one side changed only white space, so the other side's change was taken.");
    case mrContainedInsert:
        return QStringLiteral("Resolved by a rule: both sides inserted lines here and one insertion begins or ends the "
                              "other, so the longer one was taken.");
    case mrAdjacent:
        return QStringLiteral("Resolved by a rule: the two sides' changes touch without overlapping, so both were "
                              "taken in base order.");
    default:
        return {};
    }
}

TGitTempName GitTempName(const QString& Path)
{
    static const QRegularExpression Pattern(QStringLiteral("^(.+)_(LOCAL|BASE|REMOTE)_[0-9]+(\\.[^.]*)?$"));
    const QRegularExpressionMatch Match = Pattern.match(QFileInfo(Path).fileName());
    if (!Match.hasMatch())
        return {};
    return {Match.captured(2), Match.captured(1) + Match.captured(3)};
}
