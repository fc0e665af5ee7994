#include "text/Windows1252.h"

#include <array>

namespace {

// Bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char Unmappable = '?';

char EncodeChar(char16_t Char)
{
    if (Char < 0x80 || (Char >= 0xA0 && Char <= 0xFF))
        return static_cast<char>(Char);
    for (std::size_t i = 0; i < HighControls.size(); ++i)
        if (HighControls[i] == Char)
            return static_cast<char>(0x80 + i);
    return Unmappable;
}

}  // namespace

char16_t Windows1252ToUnicode(unsigned char Byte)
{
    return Byte >= 0x80 && Byte <= 0x9F ? HighControls[Byte - 0x80] : char16_t(Byte);
}

QString DecodeWindows1252(QByteArrayView Bytes)
{
    QString text(Bytes.size(), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(Bytes.data());
    for (qsizetype i = 0; i < Bytes.size(); ++i)
        out[i] = Windows1252ToUnicode(in[i]);
    return text;
}

void AppendWindows1252(QByteArray& Out, QStringView Text)
{
    Out.reserve(Out.size() + Text.size());
    const char16_t* p = Text.utf16();
    const char16_t* const end = p + Text.size();
    for (; p < end; ++p) {
        // A surrogate pair is one character outside the code page: one "?" for both halves.
        if (QChar::isHighSurrogate(*p) && p + 1 < end && QChar::isLowSurrogate(p[1]))
            ++p;
        Out.append(EncodeChar(*p));
    }
}

qsizetype FindUnencodableWindows1252(QStringView Text)
{
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const char16_t c = Text[i].unicode();
        if (c != u'?' && EncodeChar(c) == Unmappable)
            return i;
    }
    return -1;
}
