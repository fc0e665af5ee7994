#pragma once

// Small real documents made on the fly: a stored (uncompressed) zip writer, DOCX files built on
// it, and one-page PDF files, so tests need no binary fixtures and can vary the text.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace quorlane::test {

// CRC-32 as zip uses it (reflected polynomial 0xEDB88320).
[[nodiscard]] std::uint32_t Crc32(const QByteArray& Data);

struct TZipEntry {
    QString Name; // forward slashes, no leading slash
    QByteArray Data;
};

// A zip archive whose entries are stored without compression.
[[nodiscard]] QByteArray MakeStoredZip(const QList<TZipEntry>& Entries);

// A minimal WordprocessingML document with one paragraph per string.
[[nodiscard]] QByteArray MakeDocx(const QStringList& Paragraphs);

// A one-page PDF 1.4 with each line drawn in Helvetica (WinAnsi, so Latin-1 text only),
// with a correct cross-reference table.
[[nodiscard]] QByteArray MakePdf(const QStringList& Lines);

// Writes Bytes to FileName, replacing it; false when it cannot.
[[nodiscard]] bool WriteBytes(const QString& FileName, const QByteArray& Bytes);

} // namespace quorlane::test
