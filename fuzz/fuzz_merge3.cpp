// The three-way merge against the plain oracle under every option set, style and favoured side;
// the chunks' invariants; and the marker writer against the parser.
//
// Input: two bytes of option bits (bits 0-10 as Merge3OptionsFromBits, 11-12 the favoured side,
// 13-15 the final breaks), one byte for the marker size, then base, local and remote texts split
// at U+0001, each split into lines at LF.

#include "FuzzInput.h"

#include "support/engine/DiffOracle.h"
#include "support/engine/Merge3Oracle.h"

using namespace quorlane::fuzz;
using namespace quorlane::test;

namespace {

constexpr qsizetype MaxLines = 60;   // the oracle compares every pair of lines

QStringList LinesOf(const QString& Text)
{
    if (Text.isEmpty())
        return {};
    QStringList Lines = Text.split(u'\n');
    if (Lines.size() > MaxLines)
        Lines.resize(MaxLines);
    return Lines;
}

// A line the parser would take for a marker of this size.
bool LooksLikeMarker(const QString& Line, int Size)
{
    for (const QChar C : {u'<', u'|', u'=', u'>'})
        if (Line.size() >= Size && Line.first(Size) == QString(Size, C))
            return true;
    return false;
}

QString Report(const QStringList& B, const QStringList& L, const QStringList& R, const TMerge3Options& O)
{
    return QStringLiteral("%1\nbase:\n%2\nlocal:\n%3\nremote:\n%4")
        .arg(DescribeMerge3Options(O), DescribeLines(B), DescribeLines(L), DescribeLines(R));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzBytes In(Data, Size);
    const int Bits = In.Byte() | (In.Byte() << 8);
    const int Marker = 1 + In.Byte() % 12;
    TMerge3Options O = Merge3OptionsFromBits(Bits & 0x7FF);
    if (int(O.Style) > 2)
        O.Style = TMerge3Style::Zdiff3;
    const auto [BaseText, Rest] = SplitPair(PayloadText(In.Rest(), false));
    const auto [LocalText, RemoteText] = SplitPair(Rest);
    const QStringList B = LinesOf(BaseText), L = LinesOf(LocalText), R = LinesOf(RemoteText);
    const bool BB = Bits & 0x2000, LB = Bits & 0x4000, RB = Bits & 0x8000;

    TMerge3Markers M;
    M.LocalLabel = QStringLiteral("local");
    M.BaseLabel = QStringLiteral("base");
    M.RemoteLabel = QStringLiteral("remote");
    M.MarkerSize = Marker;
    M.Style = O.Style;
    M.Favor = TMerge3Favor((Bits >> 11) & 3);

    const TMerge3Result Result = ComputeMerge3(B, L, R, O, BB, LB, RB);
    // The chunks cover the three texts in order.
    std::int32_t Bi = 0, Li = 0, Ri = 0;
    int Conflicts = 0;
    for (const TMerge3Chunk& C : Result.Chunks) {
        FUZZ_CHECK(C.BaseStart == Bi && C.LocalStart == Li && C.RemoteStart == Ri, Report(B, L, R, O));
        FUZZ_CHECK(C.BaseCount >= 0 && C.LocalCount >= 0 && C.RemoteCount >= 0, Report(B, L, R, O));
        Bi += C.BaseCount;
        Li += C.LocalCount;
        Ri += C.RemoteCount;
        Conflicts += C.Kind == mcConflict;
    }
    FUZZ_CHECK(Bi == B.size() && Li == L.size() && Ri == R.size(), Report(B, L, R, O));
    FUZZ_CHECK(Conflicts == Result.Conflicts, Report(B, L, R, O));

    const TMerge3Text Got = WriteMerge3(B, L, R, Result, M);
    const TOracleMerge Want = OracleMerge3(B, L, R, O, M, BB, LB, RB);
    FUZZ_CHECK(Got.Lines == Want.Lines && Got.Conflicts == Want.Conflicts
                   && Got.FinalBreak == Want.FinalBreak && Result.ResolvedByRule == Want.ResolvedByRule,
               Report(B, L, R, O) + QStringLiteral("\noracle:\n%1\nengine:\n%2")
                                        .arg(DescribeLines(Want.Lines), DescribeLines(Got.Lines)));

    // Markers read back as the conflicts, unless the texts hold marker-like lines themselves.
    if (M.Favor != TMerge3Favor::None)
        return 0;
    for (const QStringList* Side : {&B, &L, &R})
        for (const QString& Line : *Side)
            if (LooksLikeMarker(Line, Marker))
                return 0;
    const QList<TConflictBlock> Blocks = ParseConflictMarkers(Got.Lines, Marker);
    qsizetype K = 0;
    for (const TMerge3Chunk& C : Result.Chunks) {
        if (C.Kind != mcConflict)
            continue;
        while (K < Blocks.size() && !Blocks[K].IsConflict)
            ++K;
        FUZZ_CHECK(K < Blocks.size(), Report(B, L, R, O));
        const TConflictBlock& Block = Blocks[K++];
        FUZZ_CHECK(Block.Local == L.mid(C.LocalStart, C.LocalCount)
                       && Block.Remote == R.mid(C.RemoteStart, C.RemoteCount)
                       && Block.HasBase == (O.Style != TMerge3Style::Merge)
                       && (!Block.HasBase || Block.Base == B.mid(C.BaseStart, C.BaseCount)),
                   Report(B, L, R, O));
    }
    while (K < Blocks.size()) {
        FUZZ_CHECK(!Blocks[K].IsConflict, Report(B, L, R, O));
        ++K;
    }
    return 0;
}
