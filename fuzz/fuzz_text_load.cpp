// Encoding detection, loading and the text probe on a file holding the fuzzer's bytes.
//
// Properties: loading either gives lines or throws ETextFileError with a message; the probe on
// the file agrees with the probe on its bytes; decoding the bytes in memory agrees with loading
// the file; no line holds a line break; loading without a mark gives what decoding the bytes
// whole gives; and the loaded lines, written back as a save writes them, load again to the
// same lines and encoding.

#include "FuzzInput.h"

#include "text/SideState.h"
#include "text/TextFile.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

using namespace quorlane::fuzz;

namespace {

// The file each run writes, in memory where possible (rewriting a file on a disk costs
// milliseconds a run); removed when the fuzzer exits.
struct TScratch {
    QString Name = (QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath())
                   + QStringLiteral("/quorlane-fuzz-text-%1.txt").arg(::getpid());
    ~TScratch() { ::unlink(QFile::encodeName(Name).constData()); }
};

const QString& ScratchFile()
{
    static const TScratch Scratch;
    return Scratch.Name;
}

void WriteScratch(const QByteArray& Bytes)
{
    // A new file each time: truncating one in place makes ext4 flush it on close.
    ::unlink(QFile::encodeName(ScratchFile()).constData());
    std::FILE* F = std::fopen(QFile::encodeName(ScratchFile()).constData(), "wb");
    if (F == nullptr || std::fwrite(Bytes.constData(), 1, Bytes.size(), F) != std::size_t(Bytes.size())
        || std::fclose(F) != 0)
        Fail("cannot write the scratch file", ScratchFile());
}

struct TLoaded {
    QStringList Lines;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    bool HasBOM = false;
    QString EncName, Error;
};

TLoaded Load(const QByteArray& Bytes)
{
    WriteScratch(Bytes);
    TLoaded L;
    try {
        LoadTextFile(ScratchFile(), L.Lines, L.Encoding, L.HasBOM, L.EncName);
    } catch (const ETextFileError& E) {
        L.Error = E.Message();
        FUZZ_CHECK(!L.Error.isEmpty(), QStringLiteral("a load error without a message"));
    }
    return L;
}

QString Hex(const QByteArray& Bytes) { return QString::fromLatin1(Bytes.left(256).toHex(' ')); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const TLoaded L = Load(Bytes);

    FUZZ_CHECK(IsTextFile(ScratchFile()) == IsTextBytes(Bytes), Hex(Bytes));
    (void)DetectTextEncoding(Bytes);
    if (!L.Error.isEmpty())
        return 0;

    for (const QString& Line : L.Lines)
        FUZZ_CHECK(!Line.contains(u'\n') && !Line.contains(u'\r'), Hex(Bytes));

    // Decoding bytes already read (the headless diff) gives what loading the file gives.
    TSideState FromBytes;
    LoadTextBytes(ScratchFile(), Bytes, FromBytes);
    FUZZ_CHECK(FromBytes.Lines == L.Lines && FromBytes.Encoding == L.Encoding && FromBytes.HasBOM == L.HasBOM
                   && FromBytes.EncName == L.EncName,
               Hex(Bytes));

    // The piecewise decoder of the loader against the plain whole-text one.
    if (!L.HasBOM) {
        QStringList Whole;
        try {
            Whole = SplitTextLines(DecodeText(Bytes, L.Encoding));
        } catch (const ETextFileError& E) {
            Fail("loaded, but decoding the same bytes whole failed", Hex(Bytes) + u'\n' + E.Message());
        }
        FUZZ_CHECK(Whole == L.Lines, Hex(Bytes));
    }

    const QByteArray Saved = EncodeTextLines(L.Lines, WriteEncodingFor(L.Encoding, L.HasBOM));
    const TLoaded Again = Load(Saved);
    FUZZ_CHECK(Again.Error.isEmpty() && Again.Lines == L.Lines && Again.Encoding == L.Encoding
                   && Again.HasBOM == WriteEncodingFor(L.Encoding, L.HasBOM).WritesBOM,
               QStringLiteral("loaded %1\nsaved %2\nreload error: %3")
                   .arg(Hex(Bytes), Hex(Saved), Again.Error));
    return 0;
}
