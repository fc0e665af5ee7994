// The start-up check's answer reader on any bytes: pieces of any size give the outcome of the
// whole, the body never passes its cap, and a finished answer's body is made of its bytes.

#include "FuzzInput.h"

#include "update/CheckFetch.h"

using namespace quorlane;
using namespace quorlane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzBytes In(Data, Size);
    const qsizetype Piece = 1 + In.Byte() % 64;
    const bool Closed = In.Byte() & 1;
    const QByteArray Wire = In.Rest();
    const QString Hex = QString::fromLatin1(Wire.left(256).toHex(' '));

    // Caps small enough for the fuzzer to reach.
    constexpr qsizetype BodyCap = 256, HeadCap = 512;
    THttpAnswerReader Whole(BodyCap, HeadCap), Pieces(BodyCap, HeadCap);
    Whole.Feed(Wire);
    for (qsizetype At = 0; At < Wire.size() && Pieces.State() == THttpAnswerReader::TState::Reading; At += Piece)
        Pieces.Feed(QByteArrayView(Wire).sliced(At, std::min(Piece, Wire.size() - At)));
    if (Closed) {
        Whole.Closed();
        Pieces.Closed();
    }
    FUZZ_CHECK(Whole.State() == Pieces.State(), Hex);
    FUZZ_CHECK(Whole.Status() == Pieces.Status(), Hex);
    FUZZ_CHECK(Whole.Body() == Pieces.Body(), Hex);
    FUZZ_CHECK(Whole.Failure() == Pieces.Failure(), Hex);
    FUZZ_CHECK(Whole.Body().size() <= BodyCap, Hex);
    FUZZ_CHECK((Whole.State() == THttpAnswerReader::TState::Failed) == !Whole.Failure().isEmpty(), Hex);
    if (Whole.State() == THttpAnswerReader::TState::Done && Whole.Status() >= 200 && Whole.Status() <= 299) {
        // Every body byte came off the wire after the head.
        FUZZ_CHECK(Whole.Body().size() <= Wire.size(), Hex);
    }
    return 0;
}
