#include "text/PathBytes.h"

#include <sys/stat.h>

namespace {

constexpr char16_t EscapeBase = 0xDC00;   // + byte (0x80..0xFF)

// The length of the valid UTF-8 sequence at Data[0], or 0 when it is not one (overlong forms,
// surrogates and values above U+10FFFF are not).
[[nodiscard]] int ValidSequence(const unsigned char* Data, qsizetype Left, char32_t& Code)
{
    const unsigned char Lead = Data[0];
    int Length = 0;
    char32_t Min = 0;
    if (Lead >= 0xC2 && Lead <= 0xDF) {
        Length = 2, Code = Lead & 0x1F, Min = 0x80;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Length = 3, Code = Lead & 0x0F, Min = 0x800;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Length = 4, Code = Lead & 0x07, Min = 0x10000;
    } else {
        return 0;
    }
    if (Left < Length)
        return 0;
    for (int I = 1; I < Length; ++I) {
        if ((Data[I] & 0xC0) != 0x80)
            return 0;
        Code = (Code << 6) | (Data[I] & 0x3F);
    }
    if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF))
        return 0;
    return Length;
}

void AppendUtf8(QByteArray& Out, char32_t Code)
{
    if (Code < 0x80) {
        Out.append(char(Code));
    } else if (Code < 0x800) {
        Out.append(char(0xC0 | (Code >> 6)));
        Out.append(char(0x80 | (Code & 0x3F)));
    } else if (Code < 0x10000) {
        Out.append(char(0xE0 | (Code >> 12)));
        Out.append(char(0x80 | ((Code >> 6) & 0x3F)));
        Out.append(char(0x80 | (Code & 0x3F)));
    } else {
        Out.append(char(0xF0 | (Code >> 18)));
        Out.append(char(0x80 | ((Code >> 12) & 0x3F)));
        Out.append(char(0x80 | ((Code >> 6) & 0x3F)));
        Out.append(char(0x80 | (Code & 0x3F)));
    }
}

}   // namespace

QString PathFromBytes(QByteArrayView Bytes)
{
    QString Path;
    Path.reserve(Bytes.size());
    const auto* Data = reinterpret_cast<const unsigned char*>(Bytes.data());
    const qsizetype Size = Bytes.size();
    for (qsizetype I = 0; I < Size;) {
        if (Data[I] < 0x80) {
            Path.append(QChar(Data[I++]));
            continue;
        }
        char32_t Code = 0;
        const int Length = ValidSequence(Data + I, Size - I, Code);
        if (Length == 0) {
            Path.append(QChar(char16_t(EscapeBase + Data[I++])));
            continue;
        }
        const char32_t Units[1] = {Code};
        Path.append(QString::fromUcs4(Units, 1));
        I += Length;
    }
    return Path;
}

QByteArray PathBytes(const QString& Path)
{
    QByteArray Bytes;
    Bytes.reserve(Path.size());
    const qsizetype Size = Path.size();
    for (qsizetype I = 0; I < Size; ++I) {
        const char16_t Unit = Path[I].unicode();
        if (QChar::isHighSurrogate(Unit) && I + 1 < Size && QChar::isLowSurrogate(Path[I + 1].unicode())) {
            AppendUtf8(Bytes, QChar::surrogateToUcs4(Unit, Path[I + 1].unicode()));
            ++I;
        } else if (Unit >= EscapeBase + 0x80 && Unit <= EscapeBase + 0xFF) {
            Bytes.append(char(Unit - EscapeBase));
        } else if (QChar::isSurrogate(Unit)) {
            AppendUtf8(Bytes, 0xFFFD);   // a lone surrogate no name decodes to
        } else {
            AppendUtf8(Bytes, Unit);
        }
    }
    return Bytes;
}

TPathKind PathKindOf(const QString& Path)
{
    struct stat Info {};
    const QByteArray Native = PathBytes(Path);
    if (Native.isEmpty() || ::stat(Native.constData(), &Info) != 0)
        return TPathKind::Missing;
    if (S_ISREG(Info.st_mode))
        return TPathKind::File;
    if (S_ISDIR(Info.st_mode))
        return TPathKind::Folder;
    return TPathKind::Other;
}
