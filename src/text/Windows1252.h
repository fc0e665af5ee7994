#pragma once
// The ANSI code page: Windows-1252 in both directions, as Western Windows systems use it.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Every byte yields a character; the five unassigned bytes (81 8D 8F 90 9D) map to the C1
// controls of the same value, as Windows does, so they survive a round trip.
[[nodiscard]] QString DecodeWindows1252(QByteArrayView Bytes);

// The character a byte decodes to.
[[nodiscard]] char16_t Windows1252ToUnicode(unsigned char Byte);

// Appends the code-page bytes of Text to Out; a character the code page cannot hold (one
// surrogate pair counting as one character) becomes "?".
void AppendWindows1252(QByteArray& Out, QStringView Text);

// The offset of the first character of Text the code page cannot hold (where a surrogate pair
// starts), or -1 when it holds them all.
[[nodiscard]] qsizetype FindUnencodableWindows1252(QStringView Text);
