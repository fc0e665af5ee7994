#pragma once
// Byte strings for file tests: written from readable hex, read back exactly.

#include <QByteArray>
#include <QString>

namespace quorlane::test {

// "EF BB BF 61 0D 0A" -> the bytes; spaces are ignored.
[[nodiscard]] QByteArray HexBytes(const char* Hex);

// Writes Bytes to Dir/Name (creating or replacing it) and returns the path; fails the test
// through qFatal when the file cannot be written, so a broken fixture never passes silently.
QString WriteBytesFile(const QString& Dir, const QString& Name, const QByteArray& Bytes);

// The exact bytes of a file; an empty array when it cannot be read.
[[nodiscard]] QByteArray ReadBytesFile(const QString& Path);

// Bytes in hex with spaces, for readable failure output.
[[nodiscard]] QString ToHex(const QByteArray& Bytes);

}  // namespace quorlane::test
