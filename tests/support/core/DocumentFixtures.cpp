#include "support/core/DocumentFixtures.h"

#include <QFile>

#include <array>

namespace quorlane::test {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1U) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> CrcTable = MakeCrcTable();

void Put16(QByteArray& Out, std::uint32_t Value)
{
    Out.append(static_cast<char>(Value & 0xFF));
    Out.append(static_cast<char>((Value >> 8) & 0xFF));
}

void Put32(QByteArray& Out, std::uint32_t Value)
{
    Put16(Out, Value & 0xFFFF);
    Put16(Out, Value >> 16);
}

// 1 January 2024, 00:00, in MS-DOS form.
constexpr std::uint32_t DosTime = 0;
constexpr std::uint32_t DosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;

QString XmlEscaped(const QString& Text)
{
    return Text.toHtmlEscaped(); // &, <, >, "
}

QByteArray PdfLiteral(const QString& Text)
{
    QByteArray out = "(";
    for (const char c : Text.toLatin1()) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

} // namespace

std::uint32_t Crc32(const QByteArray& Data)
{
    std::uint32_t c = 0xFFFFFFFFU;
    for (const char byte : Data) c = CrcTable[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFU;
}

QByteArray MakeStoredZip(const QList<TZipEntry>& Entries)
{
    QByteArray archive;
    QByteArray directory;
    for (const TZipEntry& entry : Entries) {
        const QByteArray name = entry.Name.toUtf8();
        const std::uint32_t crc = Crc32(entry.Data);
        const auto size = static_cast<std::uint32_t>(entry.Data.size());
        const auto offset = static_cast<std::uint32_t>(archive.size());
        const std::uint32_t flags = 1U << 11; // names are UTF-8

        Put32(archive, 0x04034B50);
        Put16(archive, 20); // version needed: 2.0
        Put16(archive, flags);
        Put16(archive, 0); // stored
        Put16(archive, DosTime);
        Put16(archive, DosDate);
        Put32(archive, crc);
        Put32(archive, size);
        Put32(archive, size);
        Put16(archive, static_cast<std::uint32_t>(name.size()));
        Put16(archive, 0);
        archive += name;
        archive += entry.Data;

        Put32(directory, 0x02014B50);
        Put16(directory, 20); // made by: 2.0, MS-DOS attributes
        Put16(directory, 20);
        Put16(directory, flags);
        Put16(directory, 0);
        Put16(directory, DosTime);
        Put16(directory, DosDate);
        Put32(directory, crc);
        Put32(directory, size);
        Put32(directory, size);
        Put16(directory, static_cast<std::uint32_t>(name.size()));
        Put16(directory, 0); // extra
        Put16(directory, 0); // comment
        Put16(directory, 0); // disk
        Put16(directory, 0); // internal attributes
        Put32(directory, 0); // external attributes
        Put32(directory, offset);
        directory += name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    Put32(archive, 0x06054B50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<std::uint32_t>(Entries.size()));
    Put16(archive, static_cast<std::uint32_t>(Entries.size()));
    Put32(archive, static_cast<std::uint32_t>(directory.size()));
    Put32(archive, directoryOffset);
    Put16(archive, 0);
    return archive;
}

QByteArray MakeDocx(const QStringList& Paragraphs)
{
    const QByteArray contentTypes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
        "</Types>";
    const QByteArray rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/>"
        "</Relationships>";
    QString body;
    for (const QString& paragraph : Paragraphs)
        body += QStringLiteral("<w:p><w:r><w:t xml:space=\"preserve\">%1</w:t></w:r></w:p>").arg(XmlEscaped(paragraph));
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
        + body.toUtf8() + "</w:body></w:document>";
    return MakeStoredZip({{QStringLiteral("[Content_Types].xml"), contentTypes},
                          {QStringLiteral("_rels/.rels"), rels},
                          {QStringLiteral("word/document.xml"), document}});
}

QByteArray MakePdf(const QStringList& Lines)
{
    QByteArray content = "BT\n/F1 12 Tf\n16 TL\n72 720 Td\n";
    for (const QString& line : Lines) content += PdfLiteral(line) + " Tj T*\n";
    content += "ET\n";

    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
        "/Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream",
    };

    QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n";
    pdf += "0000000000 65535 f \n"; // each entry is exactly 20 bytes
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\n";
    pdf += "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

bool WriteBytes(const QString& FileName, const QByteArray& Bytes)
{
    QFile file(FileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(Bytes) == Bytes.size() && file.flush();
}

} // namespace quorlane::test
