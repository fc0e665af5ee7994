#include "support/engine/Merge3Oracle.h"

#include "support/engine/DiffOracle.h"

#include <algorithm>

namespace quorlane::test {

namespace {

struct TChange {   // base lines B..B+BC-1 became side lines S..S+SC-1
    int B, BC, S, SC;
};

struct TRecord {   // git's xdmerge_t: mode 0 conflict, 1 ours, 2 theirs, 3 both (rule), 4 equal
    int Mode, I0, C0, I1, C1, I2, C2;
    int Rule = 0;                       // 1 white space, 2 contained insert, 3 adjacent
    QList<TChange> Local, Remote;       // the adjacent rule's changes, in base order
};

bool SameLine(const QString& A, const QString& B, const TDiffOptions& Options);

// git's sliding of one text's runs of changed lines (Changed has a false entry before the first
// line and after the last): down as far as equal lines allow, joining runs they meet, then back
// up to the last place where the run faces a change of the other text, if any.
void Slide(const QStringList& Lines, QList<bool>& Changed, QList<bool>& Other, const TDiffOptions& Options)
{
    const int N = int(Lines.size());
    const auto C = [&](int K) -> bool& { return Changed[K + 1]; };
    const auto O = [&](int K) -> bool& { return Other[K + 1]; };
    const int M = int(Other.size()) - 2;
    // A run is [S, E); the other text's run facing it is [OS, OE).
    int S = 0, E = 0, OS = 0, OE = 0;
    while (C(E))
        ++E;
    while (O(OE))
        ++OE;
    const auto OtherNext = [&] {
        OS = OE + 1;
        for (OE = OS; O(OE); ++OE) {
        }
    };
    const auto OtherPrevious = [&] {
        OE = OS - 1;
        for (OS = OE; O(OS - 1); --OS) {
        }
    };
    const auto Up = [&] {
        if (S == 0 || !SameLine(Lines[S - 1], Lines[E - 1], Options))
            return false;
        C(--S) = true;
        C(--E) = false;
        while (C(S - 1))
            --S;
        OtherPrevious();
        return true;
    };
    const auto Down = [&] {
        if (E >= N || !SameLine(Lines[S], Lines[E], Options))
            return false;
        C(S++) = false;
        C(E++) = true;
        while (C(E))
            ++E;
        OtherNext();
        return true;
    };
    for (;;) {
        if (E > S) {
            int Size, Earliest, Facing;
            do {
                Size = E - S;
                Facing = -1;
                while (Up()) {
                }
                Earliest = E;
                if (OE > OS)
                    Facing = E;
                while (Down())
                    if (OE > OS)
                        Facing = E;
            } while (Size != E - S);
            if (E != Earliest && Facing != -1)
                while (OE == OS)
                    Up();
        }
        if (E == N)
            break;
        S = E + 1;
        for (E = S; C(E); ++E) {
        }
        if (OE < M)
            OtherNext();
    }
}

QList<TChange> ScriptOf(const QStringList& A, const QStringList& B, const TDiffOptions& Options)
{
    // Matched lines are equal items whose keys are equal (the blank-line rule only shows rows
    // as equal); the changes are what lies between them, slid as git slides them.
    QList<bool> CA(A.size() + 2, true), CB(B.size() + 2, true);
    CA.first() = CA.last() = CB.first() = CB.last() = false;
    const TDiffItems Items = OracleComputeDiff(A, B, Options);
    for (const TDiffItem& Item : Items) {
        if (Item.Kind != dkEqual || Item.LeftIndex < 0 || Item.RightIndex < 0)
            continue;
        if (OracleNormalizeLine(A[Item.LeftIndex], Options) != OracleNormalizeLine(B[Item.RightIndex], Options))
            continue;
        if (Options.IgnoreBlankLines && IsBlankLine(A[Item.LeftIndex]) != IsBlankLine(B[Item.RightIndex]))
            continue;
        CA[Item.LeftIndex + 1] = CB[Item.RightIndex + 1] = false;
    }
    Slide(A, CA, CB, Options);
    Slide(B, CB, CA, Options);
    // Unchanged lines pair up in order; the changes lie between.
    QList<TChange> Script;
    int I = 0, J = 0;
    while (I < A.size() || J < B.size()) {
        if (I < A.size() && J < B.size() && !CA[I + 1] && !CB[J + 1]) {
            ++I, ++J;
            continue;
        }
        TChange Change{I, 0, J, 0};
        while (I < A.size() && CA[I + 1])
            ++I;
        while (J < B.size() && CB[J + 1])
            ++J;
        Change.BC = I - Change.B;
        Change.SC = J - Change.S;
        Script.append(Change);
    }
    return Script;
}

bool SameLine(const QString& A, const QString& B, const TDiffOptions& Options)
{
    return OracleNormalizeLine(A, Options) == OracleNormalizeLine(B, Options);
}

bool SameLines(const QStringList& A, int AStart, const QStringList& B, int BStart, int Count,
               const TDiffOptions& Options)
{
    for (int K = 0; K < Count; ++K)
        if (!SameLine(A[AStart + K], B[BStart + K], Options))
            return false;
    return true;
}

void Append(QList<TRecord>& List, int Mode, int I0, int C0, int I1, int C1, int I2, int C2)
{
    if (!List.isEmpty()) {
        TRecord& M = List.last();
        if (I1 <= M.I1 + M.C1 || I2 <= M.I2 + M.C2) {
            if (Mode != M.Mode)
                M.Mode = 0;
            M.C0 = I0 + C0 - M.I0;
            M.C1 = I1 + C1 - M.I1;
            M.C2 = I2 + C2 - M.I2;
            return;
        }
    }
    List.append({Mode, I0, C0, I1, C1, I2, C2});
}

bool Alnum(const QString& Line)
{
    for (QChar C : Line)
        if (C.unicode() < 128 && C.isLetterOrNumber())
            return true;
    return false;
}

// The changes of one side inside a record: base range within the record's, side range within
// its side range.
QList<TChange> ChangesIn(const QList<TChange>& Script, int I0, int C0, int S, int SC)
{
    QList<TChange> In;
    for (const TChange& C : Script)
        if (C.B >= I0 && C.B + C.BC <= I0 + C0 && C.S >= S && C.S + C.SC <= S + SC)
            In.append(C);
    return In;
}

bool Overlap(const TChange& X, const TChange& Y)
{
    const int XEnd = X.B + X.BC, YEnd = Y.B + Y.BC;
    if (X.BC == 0 && Y.BC == 0)
        return X.B == Y.B;
    if (X.BC == 0)
        return X.B > Y.B && X.B < YEnd;
    if (Y.BC == 0)
        return Y.B > X.B && Y.B < XEnd;
    return std::max(X.B, Y.B) < std::min(XEnd, YEnd);
}

} // namespace

TOracleMerge OracleMerge3(const QStringList& Base, const QStringList& Local, const QStringList& Remote,
                          const TMerge3Options& Options, const TMerge3Markers& Markers,
                          bool BaseFinalBreak, bool LocalFinalBreak, bool RemoteFinalBreak)
{
    const TDiffOptions& D = Options.Diff;
    const QList<TChange> X1 = ScriptOf(Base, Local, D);
    const QList<TChange> X2 = ScriptOf(Base, Remote, D);

    // 1. The records, from both scripts walked side by side.
    QList<TRecord> List;
    int A = 0, B = 0;
    while (A < X1.size() && B < X2.size()) {
        const TChange& P = X1[A];
        const TChange& Q = X2[B];
        if (P.B + P.BC < Q.B) {
            Append(List, 1, P.B, P.BC, P.S, P.SC, Q.S - Q.B + P.B, P.BC);
            ++A;
            continue;
        }
        if (Q.B + Q.BC < P.B) {
            Append(List, 2, Q.B, Q.BC, P.S - P.B + Q.B, Q.BC, Q.S, Q.SC);
            ++B;
            continue;
        }
        const bool Same = P.B == Q.B && P.BC == Q.BC && P.SC == Q.SC
                          && SameLines(Local, P.S, Remote, Q.S, P.SC, D);
        if (!Same) {
            // The conflict spans both changes; the side that starts or ends inside the other's
            // base range takes the lines it did not change with it.
            const int Start = std::min(P.B, Q.B), End = std::max(P.B + P.BC, Q.B + Q.BC);
            const int I1 = P.S - (P.B - Start), I2 = Q.S - (Q.B - Start);
            const int E1 = P.S + P.SC + (End - (P.B + P.BC)), E2 = Q.S + Q.SC + (End - (Q.B + Q.BC));
            Append(List, 0, Start, End - Start, I1, E1 - I1, I2, E2 - I2);
        }
        const int End1 = P.B + P.BC, End2 = Q.B + Q.BC;
        if (End1 >= End2)
            ++B;
        if (End2 >= End1)
            ++A;
    }
    for (; A < X1.size(); ++A) {
        const TChange& P = X1[A];
        Append(List, 1, P.B, P.BC, P.S, P.SC, P.B + int(Remote.size() - Base.size()), P.BC);
    }
    for (; B < X2.size(); ++B) {
        const TChange& Q = X2[B];
        Append(List, 2, Q.B, Q.BC, Q.B + int(Local.size() - Base.size()), Q.BC, Q.S, Q.SC);
    }

    // 2. The extra rules, conflict by conflict.
    TOracleMerge Out;
    for (TRecord& M : List) {
        if (M.Mode != 0)
            continue;
        if (Options.ResolveContainedInsert && M.C0 == 0 && M.C1 > 0 && M.C2 > 0 && M.C1 != M.C2) {
            const bool LocalLonger = M.C1 > M.C2;
            const QStringList& Long = LocalLonger ? Local : Remote;
            const QStringList& Short = LocalLonger ? Remote : Local;
            const int LS = LocalLonger ? M.I1 : M.I2, LC = LocalLonger ? M.C1 : M.C2;
            const int SS = LocalLonger ? M.I2 : M.I1, SC = LocalLonger ? M.C2 : M.C1;
            bool Telling = false;
            for (int K = 0; K < SC; ++K)
                Telling = Telling || Alnum(Short[SS + K]);
            if (Telling && (SameLines(Long, LS, Short, SS, SC, D) || SameLines(Long, LS + LC - SC, Short, SS, SC, D))) {
                M.Mode = LocalLonger ? 1 : 2;
                M.Rule = 2;
                ++Out.ResolvedByRule;
                continue;
            }
        }
        const QList<TChange> In1 = ChangesIn(X1, M.I0, M.C0, M.I1, M.C1);
        const QList<TChange> In2 = ChangesIn(X2, M.I0, M.C0, M.I2, M.C2);
        if (Options.ResolveAdjacent) {
            bool Apart = !In1.isEmpty() && !In2.isEmpty();
            for (const TChange& P : In1)
                for (const TChange& Q : In2)
                    Apart = Apart && !Overlap(P, Q);
            if (Apart) {
                M.Mode = 3;
                M.Rule = 3;
                M.Local = In1;
                M.Remote = In2;
                // Every base line of the record is in a change or kept by both.
                Out.ResolvedByRule += int(In1.size() + In2.size());
                continue;
            }
        }
        if (Options.ResolveWhiteSpace && !In1.isEmpty() && !In2.isEmpty()) {
            TDiffOptions Loose = D;
            if (!Loose.IgnoreAllWhiteSpace)
                Loose.IgnoreWsAmount = Loose.IgnoreTrailingWhiteSpace = true;
            const auto OnlySpace = [&](const QList<TChange>& Changes, const QStringList& Side) {
                for (const TChange& C : Changes)
                    if (C.BC != C.SC || !SameLines(Base, C.B, Side, C.S, C.BC, Loose))
                        return false;
                return true;
            };
            const bool S1 = OnlySpace(In1, Local), S2 = OnlySpace(In2, Remote);
            if (S1 != S2) {
                M.Mode = S1 ? 2 : 1;
                M.Rule = 1;
                ++Out.ResolvedByRule;
                continue;
            }
        }
    }

    // 3. git's shaping: split each conflict at the lines both sides hold, then join conflicts
    //    that only a few lines, or lines without a letter or digit, keep apart (merge style);
    //    drop the common first and last lines (zdiff3); nothing for diff3.
    if (Options.Style == TMerge3Style::Merge) {
        QList<TRecord> Split;
        for (const TRecord& M : List) {
            if (M.Mode != 0 || M.C1 == 0 || M.C2 == 0) {
                Split.append(M);
                continue;
            }
            const QList<TChange> Inner = ScriptOf(Local.mid(M.I1, M.C1), Remote.mid(M.I2, M.C2), D);
            if (Inner.isEmpty()) {
                TRecord Equal = M;
                Equal.Mode = 4;
                Split.append(Equal);
                continue;
            }
            for (const TChange& C : Inner)
                Split.append({0, M.I0, M.C0, M.I1 + C.B, C.BC, M.I2 + C.S, C.SC});
        }
        List = Split;
        for (int K = 0; K + 1 < List.size();) {
            TRecord& M = List[K];
            const TRecord& Next = List[K + 1];
            const int Begin = M.I1 + M.C1, End = Next.I1;
            bool Join = M.Mode == 0 && Next.Mode == 0;
            if (Join && End - Begin > 3)
                for (int L = Begin; L < End && Join; ++L)
                    Join = !Alnum(Local[L]);
            if (!Join) {
                ++K;
                continue;
            }
            M.C0 = Next.I0 + Next.C0 - M.I0;
            M.C1 = Next.I1 + Next.C1 - M.I1;
            M.C2 = Next.I2 + Next.C2 - M.I2;
            List.removeAt(K + 1);
        }
    } else if (Options.Style == TMerge3Style::Zdiff3) {
        for (TRecord& M : List) {
            if (M.Mode != 0)
                continue;
            while (M.C1 > 0 && M.C2 > 0 && SameLine(Local[M.I1], Remote[M.I2], D)) {
                ++M.I1, ++M.I2;
                --M.C1, --M.C2;
            }
            while (M.C1 > 0 && M.C2 > 0 && SameLine(Local[M.I1 + M.C1 - 1], Remote[M.I2 + M.C2 - 1], D))
                --M.C1, --M.C2;
        }
    }

    // 4. The text, as git fills its buffer: Local's lines between records.
    const int Size = Markers.MarkerSize > 0 ? Markers.MarkerSize : 7;
    const auto Marker = [Size](QChar C, const QString& Label) {
        return Label.isNull() ? QString(Size, C) : QString(Size, C) + u' ' + Label;
    };
    int I = 0;
    int LastFrom = 1;   // 1 Local, 2 Remote, 0 a marker: where the last line came from
    const auto Copy = [&](const QStringList& From, int Start, int Count, int Which) {
        for (int K = 0; K < Count; ++K)
            Out.Lines.append(From[Start + K]);
        if (Count > 0)
            LastFrom = Which;
    };
    for (const TRecord& M : List) {
        int Mode = M.Mode;
        if (Mode == 0 && Markers.Favor != TMerge3Favor::None)
            Mode = Markers.Favor == TMerge3Favor::Ours ? 1 : Markers.Favor == TMerge3Favor::Theirs ? 2 : 5;
        if (Mode == 4)
            continue;   // Local's lines, copied with the next gap
        Copy(Local, I, M.I1 - I, 1);
        if (Mode == 0) {
            Out.Lines.append(Marker(u'<', Markers.LocalLabel));
            Copy(Local, M.I1, M.C1, 1);
            if (Options.Style != TMerge3Style::Merge) {
                Out.Lines.append(Marker(u'|', Markers.BaseLabel));
                Copy(Base, M.I0, M.C0, 1);
            }
            Out.Lines.append(QString(Size, u'='));
            Copy(Remote, M.I2, M.C2, 1);
            Out.Lines.append(Marker(u'>', Markers.RemoteLabel));
            LastFrom = 0;
            ++Out.Conflicts;
        } else if (Mode == 1) {
            Copy(Local, M.I1, M.C1, 1);
        } else if (Mode == 2) {
            Copy(Remote, M.I2, M.C2, 2);
        } else if (Mode == 5) {
            Copy(Local, M.I1, M.C1, 1);
            Copy(Remote, M.I2, M.C2, 2);
        } else {
            // Both sides' changes in base order, lines kept by both between them.
            int At = M.I0, AtLocal = M.I1;
            int P = 0, Q = 0;
            while (P < M.Local.size() || Q < M.Remote.size()) {
                const bool TakeLocal = Q == M.Remote.size()
                                       || (P < M.Local.size()
                                           && (M.Local[P].B < M.Remote[Q].B
                                               || (M.Local[P].B == M.Remote[Q].B && M.Local[P].BC == 0)));
                const TChange& C = TakeLocal ? M.Local[P++] : M.Remote[Q++];
                // Lines kept by both up to the change, from Base through Local's numbering.
                const int Keep = C.B - At;
                Copy(Local, AtLocal, Keep, 1);
                AtLocal += Keep;
                At = C.B + C.BC;
                if (TakeLocal) {
                    Copy(Local, C.S, C.SC, 1);
                    AtLocal += C.SC;
                } else {
                    Copy(Remote, C.S, C.SC, 2);
                    AtLocal += C.BC;
                }
            }
            Copy(Local, AtLocal, M.I1 + M.C1 - AtLocal, 1);
        }
        I = M.I1 + M.C1;
    }
    Copy(Local, I, int(Local.size()) - I, 1);
    Out.FinalBreak = LastFrom == 0 || (LocalFinalBreak != BaseFinalBreak ? LocalFinalBreak : RemoteFinalBreak);
    return Out;
}

TMerge3Options Merge3OptionsFromBits(int Bits)
{
    TMerge3Options O;
    O.Diff = OptionsFromBits(Bits & 0x3F);
    O.ResolveWhiteSpace = Bits & 0x40;
    O.ResolveContainedInsert = Bits & 0x80;
    O.ResolveAdjacent = Bits & 0x100;
    const int Style = (Bits >> 9) & 3;
    O.Style = Style == 1 ? TMerge3Style::Diff3 : Style == 2 ? TMerge3Style::Zdiff3 : TMerge3Style::Merge;
    return O;
}

QString DescribeMerge3Options(const TMerge3Options& O)
{
    return QStringLiteral("%1 style=%2%3%4%5")
        .arg(DescribeOptions(O.Diff))
        .arg(int(O.Style))
        .arg(O.ResolveWhiteSpace ? QStringLiteral(" +space") : QString())
        .arg(O.ResolveContainedInsert ? QStringLiteral(" +inserts") : QString())
        .arg(O.ResolveAdjacent ? QStringLiteral(" +adjacent") : QString());
}

} // namespace quorlane::test
