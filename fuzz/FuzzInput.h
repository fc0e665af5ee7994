#pragma once
// Turning a fuzzer's bytes into the inputs of the functions under test, and stopping loudly
// when a property does not hold (libFuzzer keeps the input as a crash artifact).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace quorlane::fuzz {

// Prints what failed and aborts, so the input is saved and the run fails.
[[noreturn]] inline void Fail(const char* What, const QString& Detail = QString())
{
    std::fprintf(stderr, "FUZZ PROPERTY FAILED: %s\n%s\n", What, qPrintable(Detail));
    std::abort();
}

#define FUZZ_CHECK(Condition, Detail)                 \
    do {                                              \
        if (!(Condition))                             \
            ::quorlane::fuzz::Fail(#Condition, Detail); \
    } while (false)

// Reads the bytes front to back: a few leading bytes choose options, the rest is the payload.
class TFuzzBytes {
public:
    TFuzzBytes(const std::uint8_t* Data, std::size_t Size) : P(Data), End(Data + Size) {}

    // The next byte, or 0 when none is left.
    std::uint8_t Byte() { return P < End ? *P++ : 0; }

    // Everything not read yet.
    QByteArray Rest() const { return QByteArray(reinterpret_cast<const char*>(P), End - P); }

private:
    const std::uint8_t* P;
    const std::uint8_t* End;
};

// Text from the payload: as UTF-8 (invalid bytes become U+FFFD), or, when Raw, as UTF-16 code
// units taken as they are, so lone surrogates, NULs and any other unit reach the code.
inline QString PayloadText(const QByteArray& Bytes, bool Raw)
{
    if (!Raw)
        return QString::fromUtf8(Bytes);
    return QString(reinterpret_cast<const QChar*>(Bytes.constData()), Bytes.size() / 2);
}

// The two halves of a text at its first U+0001 (the second is empty when there is none).
inline std::pair<QString, QString> SplitPair(const QString& Text)
{
    const qsizetype Cut = Text.indexOf(QChar(1));
    if (Cut < 0)
        return {Text, QString()};
    return {Text.left(Cut), Text.mid(Cut + 1)};
}

} // namespace quorlane::fuzz
