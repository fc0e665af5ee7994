// Writing a side back to disk.

#include "text/TextFile.h"

#include "text/Windows1252.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <QtEndian>

QByteArray TTextWriteEncoding::GetPreamble() const
{
    if (!WritesBOM)
        return {};
    switch (Encoding) {
    case TTextEncoding::Utf8:
        return QByteArrayLiteral("\xEF\xBB\xBF");
    case TTextEncoding::Utf16LE:
        return QByteArrayLiteral("\xFF\xFE");
    case TTextEncoding::Utf16BE:
        return QByteArrayLiteral("\xFE\xFF");
    case TTextEncoding::Ansi:
        break;
    }
    return {};
}

TTextWriteEncoding WriteEncodingFor(TTextEncoding Encoding, bool HasBOM)
{
    switch (Encoding) {
    case TTextEncoding::Utf8:
        return HasBOM ? TTextWriteEncoding{TTextEncoding::Utf8, true} : TUTF8NoBOMEncoding{};
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE:
        return {Encoding, true};
    case TTextEncoding::Ansi:
        break;
    }
    return {TTextEncoding::Ansi, false};
}

namespace {

// Encodes line by line into a buffer and hands it to Sink whenever it passes a chunk size, so
// saving a large side never holds a second copy of the whole text.
template <typename TSink>
void EncodeLinesTo(const QStringList& Lines, const TTextWriteEncoding& Encoding, TSink&& Sink)
{
    constexpr qsizetype ChunkSize = 1 << 20;
    QByteArray chunk = Encoding.GetPreamble();
    chunk.reserve(ChunkSize + 4096);
    QStringEncoder utf8(QStringEncoder::Utf8);
    const auto append = [&](QStringView text) {
        switch (Encoding.Encoding) {
        case TTextEncoding::Utf8: {
            const qsizetype old = chunk.size();
            chunk.resize(old + utf8.requiredSpace(text.size()));
            char* end = utf8.appendToBuffer(chunk.data() + old, text);
            chunk.truncate(end - chunk.constData());
            break;
        }
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE: {
            const qsizetype old = chunk.size();
            chunk.resize(old + text.size() * 2);
            if (Encoding.Encoding == TTextEncoding::Utf16BE)
                qToBigEndian<quint16>(text.utf16(), text.size(), chunk.data() + old);
            else
                qToLittleEndian<quint16>(text.utf16(), text.size(), chunk.data() + old);
            break;
        }
        case TTextEncoding::Ansi:
            AppendWindows1252(chunk, text);
            break;
        }
    };
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        QStringView line = Lines[i];
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line = line.sliced(1);  // the loaded mark; the preamble stands for it
        append(line);
        append(u"\r\n");
        if (chunk.size() >= ChunkSize) {
            Sink(chunk);
            chunk.truncate(0);
        }
    }
    if (!chunk.isEmpty())
        Sink(chunk);
}

}  // namespace

QByteArray EncodeTextLines(const QStringList& Lines, const TTextWriteEncoding& Encoding)
{
    QByteArray out;
    EncodeLinesTo(Lines, Encoding, [&](const QByteArray& chunk) { out.append(chunk); });
    return out;
}

void SaveTextFile(const QString& FileName, const QStringList& Lines,
                  const TTextWriteEncoding& Encoding)
{
    // Replacing a device or pipe by a regular file would break whatever uses it.
    const QFileInfo target(FileName);
    if (target.exists() && !target.isFile())
        throw ETextFileError(QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(FileName, target.isDir()
                                                    ? QStringLiteral("It is a folder.")
                                                    : QStringLiteral("It is not a regular file.")));
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly))
        throw ETextFileError(QStringLiteral("Cannot create file \"%1\". %2").arg(FileName, file.errorString()));
    EncodeLinesTo(Lines, Encoding, [&](const QByteArray& chunk) {
        if (file.write(chunk) != chunk.size()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            throw ETextFileError(QStringLiteral("Cannot write file \"%1\". %2").arg(FileName, reason));
        }
    });
    if (!file.commit())
        throw ETextFileError(QStringLiteral("Cannot write file \"%1\". %2").arg(FileName, file.errorString()));
}

void SaveTextFile(const QString& FileName, const QStringList& Lines, TTextEncoding Encoding,
                  bool HasBOM)
{
    SaveTextFile(FileName, Lines, WriteEncodingFor(Encoding, HasBOM));
}
