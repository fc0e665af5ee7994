// The settings file decoder on any bytes: it never fails or allocates beyond the bytes it has,
// reads between none and all of the fields, and what it read, written again, reads back whole
// and equal.

#include "FuzzInput.h"

#include "settings/SettingsRecord.h"

using namespace quorlane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const TDecodedSettings Decoded = DecodeSettings(Bytes);
    const QString Hex = QString::fromLatin1(Bytes.left(256).toHex(' '));
    FUZZ_CHECK(Decoded.FieldsRead >= 0 && Decoded.FieldsRead <= SettingsFieldCount, Hex);

    const QByteArray Written = EncodeSettings(Decoded.Record);
    const TDecodedSettings Again = DecodeSettings(Written);
    FUZZ_CHECK(Again.Complete() && Again.Record == Decoded.Record,
               Hex + QStringLiteral("\nwritten: ") + QString::fromLatin1(Written.left(256).toHex(' ')));
    FUZZ_CHECK(EncodeSettings(Again.Record) == Written, Hex);
    return 0;
}
