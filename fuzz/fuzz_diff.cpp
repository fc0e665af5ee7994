// ComputeDiff against the plain oracle, under every option set and every tuning of the
// alignment (none of which may change a result).
//
// Input: one byte of option bits (0-5 the six options in declaration order, 6 raw UTF-16 text,
// 7 tuned), one byte choosing the tuning, then the left and right texts split at U+0001, each
// split into lines at LF (CR and every other unit stay in the lines).

#include "FuzzInput.h"

#include "engine/LineAlign.h"
#include "support/engine/DiffOracle.h"

using namespace quorlane::fuzz;
using namespace quorlane::test;

namespace {

// Keeps the oracle's full rows small enough for thousands of runs a second.
constexpr qsizetype MaxLines = 200;

QStringList LinesOf(const QString& Text)
{
    if (Text.isEmpty())
        return {};
    QStringList Lines = Text.split(u'\n');
    if (Lines.size() > MaxLines)
        Lines.resize(MaxLines);
    return Lines;
}

TAlignTuning TuningFrom(std::uint8_t B)
{
    TAlignTuning T;
    T.RowStep = B % 3 == 0 ? TAlignTuning::TRowStep::Auto
              : B % 3 == 1 ? TAlignTuning::TRowStep::AlwaysDense
                           : TAlignTuning::TRowStep::AlwaysSparse;
    T.Band = (B & 0x04) == 0;
    static constexpr std::int32_t Slacks[] = {0, 1, 2, 64};
    T.TopBandSlack = Slacks[(B >> 3) & 3];
    T.SparseWordsPerMatch = 1 + ((B >> 5) & 3);
    T.MaskMinCount = (B & 0x80) ? 1 : 64;
    // Small inputs on two threads only now and then: threads cost far more than these runs.
    if ((B & 0x7F) == 0x7F) {
        T.ParallelMinWork = 0;
        T.ParallelMinLines = 0;
    }
    return T;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzBytes In(Data, Size);
    const std::uint8_t Flags = In.Byte();
    const std::uint8_t TuningByte = In.Byte();
    const TDiffOptions Options = OptionsFromBits(Flags & 0x3F);
    const auto [LeftText, RightText] = SplitPair(PayloadText(In.Rest(), Flags & 0x40));
    const QStringList Left = LinesOf(LeftText), Right = LinesOf(RightText);

    const TDiffItems Expected = OracleComputeDiff(Left, Right, Options);
    const TDiffItems Got = (Flags & 0x80) ? ComputeDiffTuned(Left, Right, Options, TuningFrom(TuningByte))
                                          : ComputeDiff(Left, Right, Options);
    FUZZ_CHECK(Got == Expected,
               QStringLiteral("options: %1\nleft:\n%2\nright:\n%3\noracle: %4\nengine: %5")
                   .arg(DescribeOptions(Options), DescribeLines(Left), DescribeLines(Right),
                        DescribeItems(Expected), DescribeItems(Got)));
    return 0;
}
