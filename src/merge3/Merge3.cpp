#include "merge3/Merge3.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace {

// A change of one side against Base: Base's lines B..B+BC-1 became the side's S..S+SC-1.
struct THunk {
    std::int32_t B = 0, BC = 0, S = 0, SC = 0;
};

// One side aligned with Base.
struct TSideAlignment {
    std::vector<THunk> Hunks;
    std::vector<std::int32_t> SideToBase;   // the base line a side line is matched with, or -1
};

[[nodiscard]] bool Matched(const TDiffItem& Item, const QStringList& Base, const QStringList& Side,
                           const TDiffOptions& Options)
{
    if (Item.Kind != dkEqual || Item.LeftIndex < 0 || Item.RightIndex < 0)
        return false;
    // The blank-line rule shows a blank line against text as equal; to a merge that is a change.
    return !Options.IgnoreBlankLines
           || IsBlankLine(Base[Item.LeftIndex]) == IsBlankLine(Side[Item.RightIndex]);
}

// Which lines of one text an alignment leaves unmatched, with a false sentinel before the first
// line and after the last (index K of the text is Changed[K + 1]).
struct TChangedLines {
    const QStringList& Lines;
    const TDiffOptions& Options;
    std::vector<char> Changed;

    [[nodiscard]] std::int32_t Count() const { return std::int32_t(Lines.size()); }
    [[nodiscard]] char& At(std::int32_t K) { return Changed[size_t(K + 1)]; }
    [[nodiscard]] bool Same(std::int32_t I, std::int32_t J) const
    {
        if (Options == TDiffOptions{})
            return Lines[I] == Lines[J];
        return NormalizeLine(Lines[I], Options) == NormalizeLine(Lines[J], Options);
    }
};

// A run of changed lines of one text: Start..End-1.
struct TGroup {
    std::int32_t Start = 0, End = 0;
};

TGroup FirstGroup(TChangedLines& F)
{
    TGroup G;
    while (F.At(G.End))
        ++G.End;
    return G;
}

bool NextGroup(TChangedLines& F, TGroup& G)
{
    if (G.End == F.Count())
        return false;
    G.Start = G.End + 1;
    for (G.End = G.Start; F.At(G.End); ++G.End) {
    }
    return true;
}

bool PreviousGroup(TChangedLines& F, TGroup& G)
{
    if (G.Start == 0)
        return false;
    G.End = G.Start - 1;
    for (G.Start = G.End; F.At(G.Start - 1); --G.Start) {
    }
    return true;
}

bool SlideDown(TChangedLines& F, TGroup& G)
{
    if (G.End < F.Count() && F.Same(G.Start, G.End)) {
        F.At(G.Start++) = 0;
        F.At(G.End++) = 1;
        while (F.At(G.End))
            ++G.End;
        return true;
    }
    return false;
}

bool SlideUp(TChangedLines& F, TGroup& G)
{
    if (G.Start > 0 && F.Same(G.Start - 1, G.End - 1)) {
        F.At(--G.Start) = 1;
        F.At(--G.End) = 0;
        while (F.At(G.Start - 1))
            --G.Start;
        return true;
    }
    return false;
}

// git's sliding of changed lines: each run of changed lines of F moves over equal lines as far
// down as it can, joining the runs it meets, unless it can line up with a change of the other
// text O, where it goes to the last such place. Another longest alignment, the one git's merge
// works on: an insertion next to a change becomes part of it instead of touching the other side's
// change below.
void CompactChanges(TChangedLines& F, TChangedLines& O)
{
    TGroup G = FirstGroup(F), GO = FirstGroup(O);
    for (;;) {
        if (G.End != G.Start) {
            std::int32_t Size = 0, EarliestEnd = 0, EndMatchingOther = -1;
            do {
                Size = G.End - G.Start;
                EndMatchingOther = -1;
                while (SlideUp(F, G))
                    PreviousGroup(O, GO);
                EarliestEnd = G.End;
                if (GO.End > GO.Start)
                    EndMatchingOther = G.End;
                while (SlideDown(F, G)) {
                    NextGroup(O, GO);
                    if (GO.End > GO.Start)
                        EndMatchingOther = G.End;
                }
            } while (Size != G.End - G.Start);
            if (G.End != EarliestEnd && EndMatchingOther != -1) {
                while (GO.End == GO.Start) {
                    SlideUp(F, G);
                    PreviousGroup(O, GO);
                }
            }
        }
        if (!NextGroup(F, G))
            break;
        NextGroup(O, GO);
    }
}

// The hunks of ComputeDiff's alignment of A with B, its changes slid as git slides them.
template <typename TOnMatch>
[[nodiscard]] std::vector<THunk> HunksOf(const QStringList& A, const QStringList& B,
                                         const TDiffOptions& Options, TOnMatch&& OnMatch)
{
    TChangedLines FA{A, Options, std::vector<char>(size_t(A.size() + 2), 1)};
    TChangedLines FB{B, Options, std::vector<char>(size_t(B.size() + 2), 1)};
    FA.Changed.front() = FA.Changed.back() = FB.Changed.front() = FB.Changed.back() = 0;
    {
        const TDiffItems Items = ComputeDiff(A, B, Options);
        for (const TDiffItem& Item : Items)
            if (Matched(Item, A, B, Options)) {
                FA.At(Item.LeftIndex) = 0;
                FB.At(Item.RightIndex) = 0;
            }
    }
    CompactChanges(FA, FB);
    CompactChanges(FB, FA);

    std::vector<THunk> Hunks;
    const std::int32_t N = FA.Count(), M = FB.Count();
    std::int32_t I = 0, J = 0;
    while (I < N || J < M) {
        if (I < N && J < M && !FA.At(I) && !FB.At(J)) {
            OnMatch(I, J);
            ++I;
            ++J;
            continue;
        }
        THunk H{I, 0, J, 0};
        while (I < N && FA.At(I))
            ++I;
        while (J < M && FB.At(J))
            ++J;
        H.BC = I - H.B;
        H.SC = J - H.S;
        if (H.BC == 0 && H.SC == 0)
            break;   // cannot happen: both texts keep as many unchanged lines
        Hunks.push_back(H);
    }
    return Hunks;
}

[[nodiscard]] TSideAlignment AlignSide(const QStringList& Base, const QStringList& Side,
                                       const TDiffOptions& Options)
{
    TSideAlignment Result;
    Result.SideToBase.assign(size_t(Side.size()), -1);
    Result.Hunks = HunksOf(Base, Side, Options,
                           [&](std::int32_t B, std::int32_t S) { Result.SideToBase[size_t(S)] = B; });
    return Result;
}

enum TMode : std::uint8_t {
    mdConflict = 0,
    mdLocal = 1,
    mdRemote = 2,
    mdSame = 4,     // a conflict whose two sides turned out equal
    mdCommon = 8,   // lines both sides hold, taken out of a conflict (no entry of git's list)
};

// One entry of the merge list, in the three files' coordinates.
struct TEntry {
    TMode Mode = mdConflict;
    TMerge3Rule Rule = mrNone;
    std::int32_t I0 = 0, C0 = 0, I1 = 0, C1 = 0, I2 = 0, C2 = 0;
    // The hunks of each side it covers (first, last inclusive; -1 when none).
    std::int32_t H1First = -1, H1Last = -1, H2First = -1, H2Last = -1;
};

struct TInput {
    const QStringList& Base;
    const QStringList& Local;
    const QStringList& Remote;
    const TMerge3Options& Options;
};

[[nodiscard]] bool SameKeys(const QStringList& A, std::int32_t AStart, const QStringList& B,
                            std::int32_t BStart, std::int32_t Count, const TDiffOptions& Options)
{
    const bool Plain = Options == TDiffOptions{};
    for (std::int32_t K = 0; K < Count; ++K) {
        const QString& X = A[AStart + K];
        const QString& Y = B[BStart + K];
        if (Plain ? X != Y : NormalizeLine(X, Options) != NormalizeLine(Y, Options))
            return false;
    }
    return true;
}

void Unite(std::int32_t& First, std::int32_t& Last, std::int32_t Index)
{
    if (Index < 0)
        return;
    First = First < 0 ? Index : std::min(First, Index);
    Last = std::max(Last, Index);
}

// git's list building: a new entry that overlaps or touches the last one joins it.
void AppendEntry(std::vector<TEntry>& List, TEntry New, std::int32_t H1, std::int32_t H2)
{
    if (!List.empty()) {
        TEntry& M = List.back();
        if (New.I1 <= M.I1 + M.C1 || New.I2 <= M.I2 + M.C2) {
            if (New.Mode != M.Mode)
                M.Mode = mdConflict;
            M.C0 = New.I0 + New.C0 - M.I0;
            M.C1 = New.I1 + New.C1 - M.I1;
            M.C2 = New.I2 + New.C2 - M.I2;
            Unite(M.H1First, M.H1Last, H1);
            Unite(M.H2First, M.H2Last, H2);
            return;
        }
    }
    Unite(New.H1First, New.H1Last, H1);
    Unite(New.H2First, New.H2Last, H2);
    List.push_back(New);
}

// Walks both sides' hunks in base order. A hunk of one side that ends before the other's next
// begins is that side's alone; hunks that overlap or touch conflict, unless they are the same
// change.
[[nodiscard]] std::vector<TEntry> WalkHunks(const TInput& In, const std::vector<THunk>& H1,
                                            const std::vector<THunk>& H2)
{
    std::vector<TEntry> List;
    size_t A = 0, B = 0;
    while (A < H1.size() && B < H2.size()) {
        const THunk& X = H1[A];
        const THunk& Y = H2[B];
        if (X.B + X.BC < Y.B) {
            AppendEntry(List, {mdLocal, mrOneSide, X.B, X.BC, X.S, X.SC, Y.S - Y.B + X.B, X.BC},
                        std::int32_t(A), -1);
            ++A;
            continue;
        }
        if (Y.B + Y.BC < X.B) {
            AppendEntry(List, {mdRemote, mrOneSide, Y.B, Y.BC, X.S - X.B + Y.B, Y.BC, Y.S, Y.SC},
                        -1, std::int32_t(B));
            ++B;
            continue;
        }
        if (X.B != Y.B || X.BC != Y.BC || X.SC != Y.SC
            || !SameKeys(In.Local, X.S, In.Remote, Y.S, X.SC, In.Options.Diff)) {
            const std::int32_t Off = X.B - Y.B;
            const std::int32_t Ffo = Off + X.BC - Y.BC;
            std::int32_t I0 = X.B, I1 = X.S, I2 = Y.S;
            if (Off > 0) {
                I0 -= Off;
                I1 -= Off;
            } else {
                I2 += Off;
            }
            std::int32_t C0 = X.B + X.BC - I0, C1 = X.S + X.SC - I1, C2 = Y.S + Y.SC - I2;
            if (Ffo < 0) {
                C0 -= Ffo;
                C1 -= Ffo;
            } else {
                C2 += Ffo;
            }
            AppendEntry(List, {mdConflict, mrNone, I0, C0, I1, C1, I2, C2}, std::int32_t(A),
                        std::int32_t(B));
        }
        const std::int32_t End1 = X.B + X.BC, End2 = Y.B + Y.BC;
        if (End1 >= End2)
            ++B;
        if (End2 >= End1)
            ++A;
    }
    const std::int32_t Off2 = std::int32_t(In.Remote.size() - In.Base.size());
    for (; A < H1.size(); ++A) {
        const THunk& X = H1[A];
        AppendEntry(List, {mdLocal, mrOneSide, X.B, X.BC, X.S, X.SC, X.B + Off2, X.BC},
                    std::int32_t(A), -1);
    }
    const std::int32_t Off1 = std::int32_t(In.Local.size() - In.Base.size());
    for (; B < H2.size(); ++B) {
        const THunk& Y = H2[B];
        AppendEntry(List, {mdRemote, mrOneSide, Y.B, Y.BC, Y.B + Off1, Y.BC, Y.S, Y.SC}, -1,
                    std::int32_t(B));
    }
    for (TEntry& E : List)
        if (E.Mode == mdConflict)
            E.Rule = mrNone;
    return List;
}

// ---- The extra rules ----

[[nodiscard]] bool HasAlnum(QStringView Line)
{
    for (const QChar C : Line) {
        const char16_t U = C.unicode();
        if ((U >= u'0' && U <= u'9') || (U >= u'a' && U <= u'z') || (U >= u'A' && U <= u'Z'))
            return true;
    }
    return false;
}

// Two hunks of different sides that cannot both be applied in a clear order.
[[nodiscard]] bool Clash(const THunk& X, const THunk& Y)
{
    if (X.BC > 0 && Y.BC > 0)
        return X.B < Y.B + Y.BC && Y.B < X.B + X.BC;
    if (X.BC == 0 && Y.BC == 0)
        return X.B == Y.B;
    if (X.BC == 0)
        return Y.B < X.B && X.B < Y.B + Y.BC;
    return X.B < Y.B && Y.B < X.B + X.BC;
}

// Both sides' changes apart: the entry becomes one entry per hunk, in base order.
[[nodiscard]] bool ResolveAdjacent(const TEntry& E, const std::vector<THunk>& H1,
                                   const std::vector<THunk>& H2, std::vector<TEntry>& Out)
{
    if (E.H1First < 0 || E.H2First < 0)
        return false;
    for (std::int32_t A = E.H1First; A <= E.H1Last; ++A)
        for (std::int32_t B = E.H2First; B <= E.H2Last; ++B)
            if (Clash(H1[size_t(A)], H2[size_t(B)]))
                return false;
    struct TPick {
        const THunk* Hunk;
        bool Local;
    };
    std::vector<TPick> Picks;
    for (std::int32_t A = E.H1First; A <= E.H1Last; ++A)
        Picks.push_back({&H1[size_t(A)], true});
    for (std::int32_t B = E.H2First; B <= E.H2Last; ++B)
        Picks.push_back({&H2[size_t(B)], false});
    // In base order; an insertion before a change that starts where it stands.
    std::stable_sort(Picks.begin(), Picks.end(), [](const TPick& P, const TPick& Q) {
        if (P.Hunk->B != Q.Hunk->B)
            return P.Hunk->B < Q.Hunk->B;
        return (P.Hunk->BC == 0) > (Q.Hunk->BC == 0);
    });
    std::int32_t C0 = E.I0, C1 = E.I1, C2 = E.I2;
    std::vector<TEntry> Pieces;
    for (const TPick& P : Picks) {
        const THunk& H = *P.Hunk;
        const std::int32_t Gap = H.B - C0;
        if (Gap < 0)
            return false;
        C0 += Gap;
        C1 += Gap;
        C2 += Gap;
        if (P.Local) {
            Pieces.push_back({mdLocal, mrAdjacent, C0, H.BC, C1, H.SC, C2, H.BC});
            C1 += H.SC;
            C2 += H.BC;
        } else {
            Pieces.push_back({mdRemote, mrAdjacent, C0, H.BC, C1, H.BC, C2, H.SC});
            C1 += H.BC;
            C2 += H.SC;
        }
        C0 += H.BC;
    }
    const std::int32_t Tail = E.I0 + E.C0 - C0;
    if (Tail < 0 || C1 + Tail != E.I1 + E.C1 || C2 + Tail != E.I2 + E.C2)
        return false;
    Out.insert(Out.end(), Pieces.begin(), Pieces.end());
    return true;
}

// Both inserted at one place, one insertion the start or end of the other: the longer.
[[nodiscard]] bool ResolveContainedInsert(const TInput& In, TEntry& E)
{
    if (E.C0 != 0 || E.C1 == 0 || E.C2 == 0 || E.C1 == E.C2)
        return false;
    const bool LocalLonger = E.C1 > E.C2;
    const QStringList& Long = LocalLonger ? In.Local : In.Remote;
    const QStringList& Short = LocalLonger ? In.Remote : In.Local;
    const std::int32_t LongStart = LocalLonger ? E.I1 : E.I2, LongCount = LocalLonger ? E.C1 : E.C2;
    const std::int32_t ShortStart = LocalLonger ? E.I2 : E.I1, ShortCount = LocalLonger ? E.C2 : E.C1;
    // Lines of punctuation alone (braces, blank lines) say too little to prove containment.
    bool Telling = false;
    for (std::int32_t K = 0; K < ShortCount && !Telling; ++K)
        Telling = HasAlnum(Short[ShortStart + K]);
    if (!Telling)
        return false;
    const TDiffOptions& Options = In.Options.Diff;
    if (!SameKeys(Long, LongStart, Short, ShortStart, ShortCount, Options)
        && !SameKeys(Long, LongStart + LongCount - ShortCount, Short, ShortStart, ShortCount, Options))
        return false;
    E.Mode = LocalLonger ? mdLocal : mdRemote;
    E.Rule = mrContainedInsert;
    return true;
}

// Every hunk of one side only changes white space: the other side's lines.
[[nodiscard]] bool ResolveWhiteSpace(const TInput& In, const std::vector<THunk>& H1,
                                     const std::vector<THunk>& H2, TEntry& E)
{
    if (E.H1First < 0 || E.H2First < 0)
        return false;
    TDiffOptions Loose = In.Options.Diff;
    if (!Loose.IgnoreAllWhiteSpace) {
        Loose.IgnoreWsAmount = true;
        Loose.IgnoreTrailingWhiteSpace = true;
    }
    const auto OnlySpace = [&](const std::vector<THunk>& Hunks, std::int32_t First,
                               std::int32_t Last, const QStringList& Side) {
        for (std::int32_t K = First; K <= Last; ++K) {
            const THunk& H = Hunks[size_t(K)];
            if (H.BC != H.SC || !SameKeys(In.Base, H.B, Side, H.S, H.BC, Loose))
                return false;
        }
        return true;
    };
    const bool LocalSpace = OnlySpace(H1, E.H1First, E.H1Last, In.Local);
    const bool RemoteSpace = OnlySpace(H2, E.H2First, E.H2Last, In.Remote);
    if (LocalSpace == RemoteSpace)
        return false;
    E.Mode = LocalSpace ? mdRemote : mdLocal;
    E.Rule = mrWhiteSpace;
    return true;
}

void ApplyExtraRules(const TInput& In, const std::vector<THunk>& H1, const std::vector<THunk>& H2,
                     std::vector<TEntry>& List)
{
    const TMerge3Options& O = In.Options;
    if (!O.ResolveWhiteSpace && !O.ResolveContainedInsert && !O.ResolveAdjacent)
        return;
    std::vector<TEntry> Out;
    Out.reserve(List.size());
    for (TEntry& E : List) {
        if (E.Mode == mdConflict) {
            if (O.ResolveContainedInsert && ResolveContainedInsert(In, E)) {
                Out.push_back(E);
                continue;
            }
            if (O.ResolveAdjacent && ResolveAdjacent(E, H1, H2, Out))
                continue;
            if (O.ResolveWhiteSpace && ResolveWhiteSpace(In, H1, H2, E)) {
                Out.push_back(E);
                continue;
            }
        }
        Out.push_back(E);
    }
    List.swap(Out);
}

// ---- git's shaping of conflicts ----

// Splits each conflict at the lines both sides hold (Local aligned with Remote); the lines
// between the pieces become mdCommon entries. A conflict whose sides are equal becomes mdSame.
// Base lines go to the pieces between lines all three hold (see TMerge3Chunk).
void SplitConflicts(const TInput& In, const TSideAlignment& S1, const TSideAlignment& S2,
                    std::vector<TEntry>& List)
{
    std::vector<TEntry> Out;
    Out.reserve(List.size());
    for (TEntry& E : List) {
        if (E.Mode != mdConflict || E.C1 == 0 || E.C2 == 0) {
            Out.push_back(E);
            continue;
        }
        const QStringList L = In.Local.mid(E.I1, E.C1);
        const QStringList R = In.Remote.mid(E.I2, E.C2);
        const std::vector<THunk> Pieces = HunksOf(L, R, In.Options.Diff, [](std::int32_t, std::int32_t) {});
        if (Pieces.empty()) {
            E.Mode = mdSame;
            E.Rule = mrSameChange;
            Out.push_back(E);
            continue;
        }
        // Runs of common lines: before each piece, and after the last.
        struct TRun {
            std::int32_t L = 0, R = 0, Count = 0;
            std::int32_t MinAnchor = -1, MaxAnchor = -1;   // base lines all three hold
        };
        std::vector<TRun> Runs;
        std::int32_t PL = 0, PR = 0;
        const auto AddRun = [&](std::int32_t EndL) {
            TRun Run{PL, PR, EndL - PL};
            for (std::int32_t T = 0; T < Run.Count; ++T) {
                const std::int32_t J = S1.SideToBase[size_t(E.I1 + Run.L + T)];
                // Matched lines come in base order, so the anchors rise.
                if (J >= E.I0 && J < E.I0 + E.C0 && S2.SideToBase[size_t(E.I2 + Run.R + T)] == J) {
                    if (Run.MinAnchor < 0)
                        Run.MinAnchor = J;
                    Run.MaxAnchor = J;
                }
            }
            Runs.push_back(Run);
        };
        for (const THunk& P : Pieces) {
            AddRun(P.B);
            PL = P.B + P.BC;
            PR = P.S + P.SC;
        }
        AddRun(E.C1);

        const std::int32_t End0 = E.I0 + E.C0;
        std::int32_t Cursor = E.I0;
        bool PieceSinceAnchor = false;
        const auto EmitRun = [&](size_t K, bool Last) {
            const TRun& Run = Runs[K];
            std::int32_t From = Cursor, To = Cursor;
            if (Run.MaxAnchor >= 0) {
                To = Run.MaxAnchor + 1;
                PieceSinceAnchor = false;
            }
            if (Last)
                To = End0;
            Cursor = To;
            if (Run.Count == 0 && From == To)
                return;
            TEntry C{mdCommon, mrConflictCommon, From, To - From, E.I1 + Run.L, Run.Count,
                     E.I2 + Run.R, Run.Count};
            Out.push_back(C);
        };
        for (size_t K = 0; K < Pieces.size(); ++K) {
            EmitRun(K, false);
            std::int32_t To = Cursor;
            if (!PieceSinceAnchor) {
                To = End0;
                for (size_t Next = K + 1; Next < Runs.size(); ++Next)
                    if (Runs[Next].MinAnchor >= 0) {
                        To = Runs[Next].MinAnchor;
                        break;
                    }
                PieceSinceAnchor = true;
            }
            const THunk& P = Pieces[K];
            Out.push_back({mdConflict, mrNone, Cursor, To - Cursor, E.I1 + P.B, P.BC, E.I2 + P.S, P.SC});
            Cursor = To;
        }
        EmitRun(Runs.size() - 1, true);
    }
    List.swap(Out);
}

// zdiff3: the lines both sides hold at a conflict's start and end leave it; base stays whole.
void TrimConflicts(const TInput& In, std::vector<TEntry>& List)
{
    std::vector<TEntry> Out;
    Out.reserve(List.size());
    const TDiffOptions& O = In.Options.Diff;
    for (TEntry& E : List) {
        if (E.Mode != mdConflict) {
            Out.push_back(E);
            continue;
        }
        std::int32_t Head = 0;
        while (Head < E.C1 && Head < E.C2 && SameKeys(In.Local, E.I1 + Head, In.Remote, E.I2 + Head, 1, O))
            ++Head;
        std::int32_t Tail = 0;
        while (Tail < E.C1 - Head && Tail < E.C2 - Head
               && SameKeys(In.Local, E.I1 + E.C1 - 1 - Tail, In.Remote, E.I2 + E.C2 - 1 - Tail, 1, O))
            ++Tail;
        if (Head > 0)
            Out.push_back({mdCommon, mrConflictCommon, E.I0, 0, E.I1, Head, E.I2, Head});
        Out.push_back({mdConflict, mrNone, E.I0, E.C0, E.I1 + Head, E.C1 - Head - Tail, E.I2 + Head,
                       E.C2 - Head - Tail});
        if (Tail > 0)
            Out.push_back({mdCommon, mrConflictCommon, E.I0 + E.C0, 0, E.I1 + E.C1 - Tail, Tail,
                           E.I2 + E.C2 - Tail, Tail});
    }
    List.swap(Out);
}

// Joins two conflicts that only a few Local lines (three or fewer), or lines without a letter or
// digit, keep apart; the lines between go into the conflict.
void JoinConflicts(const TInput& In, std::vector<TEntry>& List)
{
    std::vector<TEntry> Out;
    Out.reserve(List.size());
    for (const TEntry& E : List) {
        if (E.Mode == mdCommon || Out.empty()) {
            Out.push_back(E);
            continue;
        }
        // The last entry of git's list (common lines are none of its entries).
        size_t Prev = Out.size();
        while (Prev > 0 && Out[Prev - 1].Mode == mdCommon)
            --Prev;
        if (Prev == 0 || E.Mode != mdConflict || Out[Prev - 1].Mode != mdConflict) {
            Out.push_back(E);
            continue;
        }
        TEntry& M = Out[Prev - 1];
        const std::int32_t Begin = M.I1 + M.C1, End = E.I1;
        bool Join = End - Begin <= 3;
        if (!Join) {
            Join = true;
            for (std::int32_t K = Begin; K < End && Join; ++K)
                Join = !HasAlnum(In.Local[K]);
        }
        if (!Join) {
            Out.push_back(E);
            continue;
        }
        M.C0 = E.I0 + E.C0 - M.I0;
        M.C1 = E.I1 + E.C1 - M.I1;
        M.C2 = E.I2 + E.C2 - M.I2;
        Out.resize(Prev);
    }
    List.swap(Out);
}

// ---- Chunks ----

void AddChunk(QList<TMerge3Chunk>& Chunks, TMerge3ChunkKind Kind, TMerge3Rule Rule, std::int32_t B,
              std::int32_t BC, std::int32_t L, std::int32_t LC, std::int32_t R, std::int32_t RC)
{
    if (BC == 0 && LC == 0 && RC == 0)
        return;
    Chunks.append({Kind, Rule, B, BC, L, LC, R, RC});
}

// The stretch between entries: unchanged lines and the changes both sides made alike, told
// apart by Local's hunks.
void AddGap(QList<TMerge3Chunk>& Chunks, const std::vector<THunk>& H1, size_t& Next,
            std::int32_t B, std::int32_t BEnd, std::int32_t L, std::int32_t LEnd, std::int32_t R)
{
    while (Next < H1.size() && H1[Next].S + H1[Next].SC <= L && H1[Next].B + H1[Next].BC <= B
           && !(H1[Next].S >= L && H1[Next].B >= B))
        ++Next;
    while (Next < H1.size()) {
        const THunk& H = H1[Next];
        if (H.B < B || H.S < L || H.B + H.BC > BEnd || H.S + H.SC > LEnd)
            break;
        const std::int32_t Same = H.S - L;
        AddChunk(Chunks, mcUnchanged, mrNone, B, Same, L, Same, R, Same);
        B += Same;
        L += Same;
        R += Same;
        AddChunk(Chunks, mcBoth, mrSameChange, B, H.BC, L, H.SC, R, H.SC);
        B += H.BC;
        L += H.SC;
        R += H.SC;
        ++Next;
    }
    AddChunk(Chunks, mcUnchanged, mrNone, B, BEnd - B, L, LEnd - L, R, LEnd - L);
}

[[nodiscard]] bool AllThreeHold(const TInput& In, const TSideAlignment& S1, const TEntry& E)
{
    if (E.C0 != E.C1)
        return false;
    for (std::int32_t K = 0; K < E.C1; ++K)
        if (S1.SideToBase[size_t(E.I1 + K)] != E.I0 + K)
            return false;
    (void)In;
    return true;
}

}   // namespace

TMerge3Result ComputeMerge3(const QStringList& Base, const QStringList& Local,
                            const QStringList& Remote, const TMerge3Options& Options,
                            bool BaseFinalBreak, bool LocalFinalBreak, bool RemoteFinalBreak)
{
    const TInput In{Base, Local, Remote, Options};
    // The two alignments are independent: large ones run side by side.
    TSideAlignment S1, S2;
    const qsizetype Work = Base.size() + Local.size() + Remote.size();
    if (Work >= 50000 && std::thread::hardware_concurrency() > 1) {
        std::exception_ptr Failed;
        std::thread Worker([&] {
            try {
                S2 = AlignSide(Base, Remote, Options.Diff);
            } catch (...) {
                Failed = std::current_exception();
            }
        });
        try {
            S1 = AlignSide(Base, Local, Options.Diff);
        } catch (...) {
            Worker.join();
            throw;
        }
        Worker.join();
        if (Failed)
            std::rethrow_exception(Failed);
    } else {
        S1 = AlignSide(Base, Local, Options.Diff);
        S2 = AlignSide(Base, Remote, Options.Diff);
    }

    std::vector<TEntry> List = WalkHunks(In, S1.Hunks, S2.Hunks);
    ApplyExtraRules(In, S1.Hunks, S2.Hunks, List);
    switch (Options.Style) {
    case TMerge3Style::Merge:
        SplitConflicts(In, S1, S2, List);
        JoinConflicts(In, List);
        break;
    case TMerge3Style::Zdiff3:
        TrimConflicts(In, List);
        break;
    case TMerge3Style::Diff3:
        break;
    }

    TMerge3Result Result;
    Result.Chunks.reserve(qsizetype(List.size() * 3 + 1));
    std::int32_t B = 0, L = 0, R = 0;
    size_t NextHunk = 0;
    for (const TEntry& E : List) {
        AddGap(Result.Chunks, S1.Hunks, NextHunk, B, E.I0, L, E.I1, R);
        switch (E.Mode) {
        case mdLocal:
            AddChunk(Result.Chunks, mcLocal, E.Rule, E.I0, E.C0, E.I1, E.C1, E.I2, E.C2);
            break;
        case mdRemote:
            AddChunk(Result.Chunks, mcRemote, E.Rule, E.I0, E.C0, E.I1, E.C1, E.I2, E.C2);
            break;
        case mdSame:
            AddChunk(Result.Chunks, mcBoth, mrSameChange, E.I0, E.C0, E.I1, E.C1, E.I2, E.C2);
            break;
        case mdCommon:
            if (AllThreeHold(In, S1, E))
                AddChunk(Result.Chunks, mcUnchanged, mrNone, E.I0, E.C0, E.I1, E.C1, E.I2, E.C2);
            else
                AddChunk(Result.Chunks, mcBoth, mrConflictCommon, E.I0, E.C0, E.I1, E.C1, E.I2, E.C2);
            break;
        case mdConflict:
            Result.Chunks.append({mcConflict, mrNone, E.I0, E.C0, E.I1, E.C1, E.I2, E.C2});
            ++Result.Conflicts;
            break;
        }
        if (IsExtraRule(E.Rule))
            ++Result.ResolvedByRule;
        B = E.I0 + E.C0;
        L = E.I1 + E.C1;
        R = E.I2 + E.C2;
    }
    AddGap(Result.Chunks, S1.Hunks, NextHunk, B, std::int32_t(Base.size()), L,
           std::int32_t(Local.size()), R);
    Result.FinalBreak = LocalFinalBreak != BaseFinalBreak ? LocalFinalBreak : RemoteFinalBreak;
    return Result;
}

// ---- Writing and reading conflict markers ----

namespace {

[[nodiscard]] QString MarkerLine(QChar Char, int Size, const QString& Label)
{
    QString Line(Size, Char);
    if (!Label.isNull()) {
        Line += u' ';
        Line += Label;
    }
    return Line;
}

void AppendRange(QStringList& Out, const QStringList& From, std::int32_t Start, std::int32_t Count)
{
    for (std::int32_t K = 0; K < Count; ++K)
        Out.append(From[Start + K]);
}

}   // namespace

TMerge3Text WriteMerge3(const QStringList& Base, const QStringList& Local, const QStringList& Remote,
                        const TMerge3Result& Result, const TMerge3Markers& Markers)
{
    TMerge3Text Text;
    Text.Lines.reserve(Local.size() + Remote.size() / 16 + 16);
    const int Size = std::max(1, Markers.MarkerSize);
    bool EndsInMarker = false;
    for (const TMerge3Chunk& C : Result.Chunks) {
        const qsizetype Before = Text.Lines.size();
        switch (C.Kind) {
        case mcUnchanged:
        case mcLocal:
        case mcBoth:
            AppendRange(Text.Lines, Local, C.LocalStart, C.LocalCount);
            break;
        case mcRemote:
            AppendRange(Text.Lines, Remote, C.RemoteStart, C.RemoteCount);
            break;
        case mcConflict:
            switch (Markers.Favor) {
            case TMerge3Favor::Ours:
                AppendRange(Text.Lines, Local, C.LocalStart, C.LocalCount);
                break;
            case TMerge3Favor::Theirs:
                AppendRange(Text.Lines, Remote, C.RemoteStart, C.RemoteCount);
                break;
            case TMerge3Favor::Union:
                AppendRange(Text.Lines, Local, C.LocalStart, C.LocalCount);
                AppendRange(Text.Lines, Remote, C.RemoteStart, C.RemoteCount);
                break;
            case TMerge3Favor::None:
                Text.Lines.append(MarkerLine(u'<', Size, Markers.LocalLabel));
                AppendRange(Text.Lines, Local, C.LocalStart, C.LocalCount);
                if (Markers.Style != TMerge3Style::Merge) {
                    Text.Lines.append(MarkerLine(u'|', Size, Markers.BaseLabel));
                    AppendRange(Text.Lines, Base, C.BaseStart, C.BaseCount);
                }
                Text.Lines.append(QString(Size, u'='));
                AppendRange(Text.Lines, Remote, C.RemoteStart, C.RemoteCount);
                Text.Lines.append(MarkerLine(u'>', Size, Markers.RemoteLabel));
                ++Text.Conflicts;
                EndsInMarker = true;
                continue;
            }
            break;
        }
        if (Text.Lines.size() > Before)
            EndsInMarker = false;
    }
    Text.FinalBreak = EndsInMarker || Result.FinalBreak;
    return Text;
}

namespace {

// The label of a marker line of Char, or a null optional when the line is no such marker.
[[nodiscard]] bool IsMarker(const QString& Line, QChar Char, int Size, QString* Label)
{
    if (Line.size() < Size)
        return false;
    for (int K = 0; K < Size; ++K)
        if (Line[K] != Char)
            return false;
    if (Line.size() == Size) {
        if (Label)
            *Label = QString();
        return true;
    }
    if (Line[Size] != u' ')
        return false;
    if (Label)
        *Label = Line.mid(Size + 1);
    return true;
}

}   // namespace

QList<TConflictBlock> ParseConflictMarkers(const QStringList& Lines, int MarkerSize)
{
    const int Size = std::max(1, MarkerSize);
    QList<TConflictBlock> Blocks;
    const auto Plain = [&Blocks](const QString& Line) {
        if (Blocks.isEmpty() || Blocks.last().IsConflict)
            Blocks.append(TConflictBlock{});
        Blocks.last().Lines.append(Line);
    };
    const qsizetype N = Lines.size();
    qsizetype I = 0;
    while (I < N) {
        TConflictBlock Block;
        Block.IsConflict = true;
        if (!IsMarker(Lines[I], u'<', Size, &Block.LocalLabel)) {
            Plain(Lines[I++]);
            continue;
        }
        // Local until ||||||| or =======, base until =======, remote until >>>>>>>.
        qsizetype K = I + 1;
        int Section = 0;   // 0 local, 1 base, 2 remote
        bool Closed = false;
        for (; K < N; ++K) {
            const QString& Line = Lines[K];
            // A second opening marker before any separator: the first one was text.
            if (Section == 0 && IsMarker(Line, u'<', Size, nullptr))
                break;
            if (Section == 0 && IsMarker(Line, u'|', Size, &Block.BaseLabel)) {
                Section = 1;
                Block.HasBase = true;
                continue;
            }
            if (Section < 2 && Line.size() == Size && IsMarker(Line, u'=', Size, nullptr)) {
                Section = 2;
                continue;
            }
            if (Section == 2 && IsMarker(Line, u'>', Size, &Block.RemoteLabel)) {
                Closed = true;
                break;
            }
            (Section == 0 ? Block.Local : Section == 1 ? Block.Base : Block.Remote).append(Line);
        }
        if (!Closed) {
            Plain(Lines[I++]);
            continue;
        }
        Blocks.append(Block);
        I = K + 1;
    }
    return Blocks;
}
