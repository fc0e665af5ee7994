#include "cli/ByteDiff.h"

#include "engine/LineAlign.h"
#include "text/TextFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char NoNewlineMarker[] = "\n\\ No newline at end of file\n";

// White space as GNU diff's C locale has it; LF ends the line and is never inside one.
constexpr bool IsSpace(unsigned char C)
{
    return C == ' ' || C == '\t' || C == '\v' || C == '\f' || C == '\r';
}

constexpr char AsciiLower(char C)
{
    return C >= 'A' && C <= 'Z' ? char(C + ('a' - 'A')) : C;
}

// A line's text without its LF.
struct TLineText {
    QByteArrayView Text;
    bool HasLf = false;
};

TLineText TextOf(QByteArrayView Line)
{
    TLineText Result{Line, false};
    if (!Line.isEmpty() && Line.back() == '\n') {
        Result.HasLf = true;
        Result.Text.chop(1);
    }
    return Result;
}

[[nodiscard]] bool ChangesKeys(const TDiffOptions& I)
{
    return I.IgnoreCase || I.IgnoreAllWhiteSpace || I.IgnoreWsAmount || I.IgnoreLeadingWhiteSpace
           || I.IgnoreTrailingWhiteSpace;
}

// White space at a line's end, the missing final LF included, counts for nothing.
[[nodiscard]] bool TrailingSpaceIgnored(const TDiffOptions& I)
{
    return I.IgnoreAllWhiteSpace || I.IgnoreWsAmount || I.IgnoreTrailingWhiteSpace;
}

// Appends the key of one line to Out. The largest key is the line itself, so a buffer the size
// of the side's bytes holds every key.
void AppendKey(QByteArrayView Line, const TDiffOptions& I, char*& Out)
{
    const TLineText L = TextOf(Line);
    const auto* S = reinterpret_cast<const unsigned char*>(L.Text.data());
    qsizetype B = 0, E = L.Text.size();
    if (I.IgnoreLeadingWhiteSpace)
        while (B < E && IsSpace(S[B]))
            ++B;
    if (TrailingSpaceIgnored(I))
        while (E > B && IsSpace(S[E - 1]))
            --E;
    for (qsizetype K = B; K < E; ++K) {
        const unsigned char C = S[K];
        if (IsSpace(C) && (I.IgnoreAllWhiteSpace || I.IgnoreWsAmount)) {
            if (I.IgnoreAllWhiteSpace)
                continue;
            *Out++ = ' ';
            while (K + 1 < E && IsSpace(S[K + 1]))
                ++K;
            continue;
        }
        *Out++ = I.IgnoreCase ? AsciiLower(char(C)) : char(C);
    }
    if (L.HasLf && !TrailingSpaceIgnored(I))
        *Out++ = '\n';
}

// The keys of one side: views of its lines, or of keys written into Arena.
std::vector<QByteArrayView> KeysOf(const TByteLines& Side, const TDiffOptions& O, QByteArray& Arena)
{
    std::vector<QByteArrayView> Keys(size_t(Side.Count()));
    if (!ChangesKeys(O)) {
        for (qsizetype I = 0; I < Side.Count(); ++I)
            Keys[size_t(I)] = Side.Line(I);
        return Keys;
    }
    Arena.resize(Side.Bytes.size());
    char* const Base = Arena.data();
    char* Out = Base;
    for (qsizetype I = 0; I < Side.Count(); ++I) {
        char* const Start = Out;
        AppendKey(Side.Line(I), O, Out);
        Keys[size_t(I)] = QByteArrayView(Start, Out - Start);
    }
    return Keys;
}

// A line -B may ignore: empty, or only white space when white space is ignored.
[[nodiscard]] bool IsBlankLine(QByteArrayView Line, const TDiffOptions& I)
{
    const TLineText L = TextOf(Line);
    if (!(TrailingSpaceIgnored(I) || I.IgnoreLeadingWhiteSpace))
        return L.Text.isEmpty();
    return std::all_of(L.Text.begin(), L.Text.end(), [](char C) { return IsSpace((unsigned char)C); });
}

void AppendRange(QByteArray& Out, char Sign, qsizetype Start, qsizetype Count)
{
    Out += Sign;
    Out += QByteArray::number(Count == 0 ? Start : Start + 1);
    if (Count != 1) {
        Out += ',';
        Out += QByteArray::number(Count);
    }
}

void AppendLine(QByteArray& Out, char Tag, QByteArrayView Line)
{
    Out += Tag;
    Out += Line;
    if (Line.isEmpty() || Line.back() != '\n')
        Out += NoNewlineMarker;
}

}   // namespace

TByteLines SplitByteLines(QByteArray Bytes)
{
    TByteLines Side;
    const char* const Data = Bytes.constData();
    const qsizetype Size = Bytes.size();
    Side.Starts.reserve(size_t(Size / 32 + 2));
    qsizetype Start = 0;
    while (Start < Size) {
        Side.Starts.push_back(Start);
        const void* Lf = std::memchr(Data + Start, '\n', size_t(Size - Start));
        Start = Lf ? static_cast<const char*>(Lf) - Data + 1 : Size;
    }
    Side.Starts.push_back(Size);
    Side.Bytes = std::move(Bytes);
    return Side;
}

QByteArray StripTrailingCrs(QByteArray Bytes)
{
    if (!Bytes.contains("\r\n"))
        return Bytes;
    char* const Data = Bytes.data();
    const qsizetype Size = Bytes.size();
    qsizetype Kept = 0;
    for (qsizetype I = 0; I < Size; ++I)
        if (!(Data[I] == '\r' && I + 1 < Size && Data[I + 1] == '\n'))
            Data[Kept++] = Data[I];
    Bytes.truncate(Kept);
    return Bytes;
}

QByteArray PrintableTextBytes(QByteArray Raw)
{
    const bool Le = Raw.startsWith("\xFF\xFE"), Be = Raw.startsWith("\xFE\xFF");
    if (!Le && !Be)
        return Raw;
    const QByteArrayView Units = QByteArrayView(Raw).sliced(2);
    QByteArray Printed = DecodeText(Units, Le ? TTextEncoding::Utf16LE : TTextEncoding::Utf16BE).toUtf8();
    if (Units.size() % 2 != 0)
        Printed += Units.back();
    return Printed;
}

std::vector<TByteChange> ByteDiffChanges(const TByteLines& Left, const TByteLines& Right,
                                         const TDiffOptions& Options)
{
    QByteArray LeftArena, RightArena;
    const std::vector<QByteArrayView> LeftKeys = KeysOf(Left, Options, LeftArena);
    const std::vector<QByteArrayView> RightKeys = KeysOf(Right, Options, RightArena);
    // Measured on two releases of a large header set: a failed top band costs less widened
    // straight to the length it found.
    TAlignTuning Tuning;
    Tuning.WidenToFoundLength = true;
    const std::vector<TMatch> Matches = FindLineMatches(BuildLineIdsOfBytes(LeftKeys, RightKeys, Tuning), Tuning);

    std::vector<TByteChange> Changes;
    const auto Add = [&](qsizetype L0, qsizetype L1, qsizetype R0, qsizetype R1) {
        if (L0 == L1 && R0 == R1)
            return;
        TByteChange Change{L0, R0, L1 - L0, R1 - R0, false};
        if (Options.IgnoreBlankLines) {
            bool Blank = true;
            for (qsizetype I = L0; Blank && I < L1; ++I)
                Blank = IsBlankLine(Left.Line(I), Options);
            for (qsizetype J = R0; Blank && J < R1; ++J)
                Blank = IsBlankLine(Right.Line(J), Options);
            Change.Ignorable = Blank;
        }
        Changes.push_back(Change);
    };
    qsizetype I = 0, J = 0;
    for (const TMatch& Match : Matches) {
        Add(I, Match.L, J, Match.R);
        I = Match.L + 1;
        J = Match.R + 1;
    }
    Add(I, Left.Count(), J, Right.Count());
    return Changes;
}

bool HasShownChange(const std::vector<TByteChange>& Changes)
{
    return std::any_of(Changes.begin(), Changes.end(), [](const TByteChange& C) { return !C.Ignorable; });
}

QByteArray UnifiedByteDiff(const TByteLines& Left, const TByteLines& Right,
                           const std::vector<TByteChange>& Changes, const QByteArray& LeftLabel,
                           const QByteArray& RightLabel, int Context)
{
    QByteArray Out;
    const qsizetype C = Context;
    const size_t Count = Changes.size();
    for (size_t First = 0; First < Count;) {
        size_t Last = First;
        while (Last + 1 < Count) {
            const TByteChange& Next = Changes[Last + 1];
            const qsizetype Gap = Next.L0 - (Changes[Last].L0 + Changes[Last].Deleted);
            if (Gap >= (Next.Ignorable ? C : 2 * C + 1))
                break;
            ++Last;
        }
        const bool Shown = std::any_of(Changes.begin() + qsizetype(First), Changes.begin() + qsizetype(Last) + 1,
                                       [](const TByteChange& Change) { return !Change.Ignorable; });
        if (!Shown) {
            First = Last + 1;
            continue;
        }
        if (Out.isEmpty()) {
            Out.reserve(1 << 16);
            Out += "--- " + LeftLabel + "\n+++ " + RightLabel + '\n';
        }
        const TByteChange& A = Changes[First];
        const TByteChange& Z = Changes[Last];
        const qsizetype First0 = std::max<qsizetype>(0, A.L0 - C), First1 = std::max<qsizetype>(0, A.R0 - C);
        const qsizetype Last0 = std::min(Left.Count() - 1, Z.L0 + Z.Deleted - 1 + C);
        const qsizetype Last1 = std::min(Right.Count() - 1, Z.R0 + Z.Inserted - 1 + C);
        Out += "@@ ";
        AppendRange(Out, '-', First0, Last0 - First0 + 1);
        Out += ' ';
        AppendRange(Out, '+', First1, Last1 - First1 + 1);
        Out += " @@\n";
        qsizetype I = First0, J = First1;
        size_t Next = First;
        while (I <= Last0 || J <= Last1) {
            if (Next > Last || I < Changes[Next].L0) {
                AppendLine(Out, ' ', Left.Line(I));
                ++I;
                ++J;
                continue;
            }
            const TByteChange& Change = Changes[Next++];
            for (qsizetype K = 0; K < Change.Deleted; ++K)
                AppendLine(Out, '-', Left.Line(I++));
            for (qsizetype K = 0; K < Change.Inserted; ++K)
                AppendLine(Out, '+', Right.Line(J++));
        }
        First = Last + 1;
    }
    return Out;
}
