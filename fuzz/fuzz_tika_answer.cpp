// The Tika answer decoder, fed in pieces of any size, against decoding the whole answer at once
// with Qt's strict UTF-8 decoder and the program's line rule.
//
// Input: one byte choosing the size limit (bit 7 set: a limit of the low seven bits, in bytes),
// four bytes giving the sizes of the pieces in turn (1 + byte % 64, or all the rest for 0),
// then the answer's bytes.

#include "FuzzInput.h"

#include "text/TextFile.h"
#include "tika/Tika.h"

#include <QStringDecoder>

using namespace quorlane;
using namespace quorlane::fuzz;

namespace {

// What the answer should give: lines, or nothing when it is not strict UTF-8.
bool Expected(const QByteArray& Answer, QStringList& Lines)
{
    // The mark is kept here and dropped below, once: a second mark is text.
    QStringDecoder Decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString Text = Decoder.decode(Answer);
    if (Decoder.hasError())
        return false;
    if (Text.startsWith(QChar(0xFEFF)))
        Text.remove(0, 1);
    Lines = SplitTextLines(Text);
    return true;
}

QString Hex(const QByteArray& Bytes) { return QString::fromLatin1(Bytes.left(256).toHex(' ')); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    TFuzzBytes In(Data, Size);
    const std::uint8_t LimitByte = In.Byte();
    std::uint8_t Pieces[4];
    for (std::uint8_t& P : Pieces)
        P = In.Byte();
    const QByteArray Answer = In.Rest();
    const qint64 Limit = (LimitByte & 0x80) ? qint64(LimitByte & 0x7F) : TikaAnswerLimitBytes;

    TTikaAnswerDecoder Decoder(Limit);
    qsizetype At = 0;
    for (int I = 0; At < Answer.size(); ++I) {
        const std::uint8_t P = Pieces[I % 4];
        const qsizetype Count = P == 0 ? Answer.size() - At : std::min<qsizetype>(1 + P % 64, Answer.size() - At);
        Decoder.Feed(Answer.constData() + At, Count);
        At += Count;
    }
    Decoder.Finish();
    FUZZ_CHECK(Decoder.BytesReceived() <= Answer.size(), Hex(Answer));

    QStringList Lines;
    const bool Valid = Expected(Answer, Lines);
    if (Answer.size() > Limit) {
        FUZZ_CHECK(Decoder.Failed() && !Decoder.Error().isEmpty(),
                   QStringLiteral("an answer of %1 bytes passed a limit of %2").arg(Answer.size()).arg(Limit));
        return 0;
    }
    FUZZ_CHECK(Decoder.Failed() == !Valid, Hex(Answer) + QStringLiteral("\ndecoder: ") + Decoder.Error());
    if (!Valid) {
        FUZZ_CHECK(!Decoder.Error().isEmpty(), Hex(Answer));
        return 0;
    }
    FUZZ_CHECK(!Decoder.OutOfMemory(), Hex(Answer));
    const QStringList Got = Decoder.TakeLines();
    FUZZ_CHECK(Got == Lines, Hex(Answer) + QStringLiteral("\ngot %1 lines, expected %2").arg(Got.size()).arg(Lines.size()));
    return 0;
}
