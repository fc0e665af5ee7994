#include "text/TextFile.h"

#include "text/PathBytes.h"
#include "text/SideLoad.h"
#include "text/SideState.h"

#include "text/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <future>
#include <memory>
#include <new>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// ---- Errors ----

ETextFileError::ETextFileError(const QString& Message)
    : std::runtime_error(Message.toStdString())
{
}

QString ETextFileError::Message() const
{
    return QString::fromUtf8(what());
}

namespace {

[[noreturn]] void ThrowOpenError(const QString& FileName, const QString& Reason)
{
    throw ETextFileError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, Reason));
}

[[noreturn]] void ThrowReadError(const QString& FileName, const QString& Reason)
{
    throw ETextFileError(QStringLiteral("Cannot read file \"%1\". %2").arg(FileName, Reason));
}

[[noreturn]] void ThrowOutOfMemory(const QString& FileName, qint64 Size)
{
    const QLocale c = QLocale::c();
    throw ETextFileError(QStringLiteral("Not enough memory to load file \"%1\" (%2 bytes, %3).")
                             .arg(FileName, c.toString(Size), c.formattedDataSize(Size, 2, QLocale::DataSizeIecFormat)));
}

[[noreturn]] void ThrowTooLarge(const QString& FileName, qint64 Size)
{
    const QLocale c = QLocale::c();
    throw ETextFileError(
        QStringLiteral("Cannot load file \"%1\": its size is %2 bytes (%3), and text files of "
                       "2 GiB or more cannot be loaded.")
            .arg(FileName, c.toString(Size), c.formattedDataSize(Size, 2, QLocale::DataSizeIecFormat)));
}

// ---- Opening for reading ----

QString NotRegularReason(TOpenStatus Status)
{
    return Status == TOpenStatus::Folder
               ? QStringLiteral("It is a folder, not a file.")
               : QStringLiteral("It is not a regular file (a device, pipe or socket).");
}

#ifdef Q_OS_UNIX
TOpenStatus StatusOfMode(mode_t Mode)
{
    if (S_ISREG(Mode))
        return TOpenStatus::Opened;
    return S_ISDIR(Mode) ? TOpenStatus::Folder : TOpenStatus::NotRegular;
}
#endif

// Reads until Buffer is full or the file ends; returns the bytes read.
qsizetype ReadInto(QFile& File, const QString& FileName, char* Buffer, qsizetype Capacity)
{
    qsizetype done = 0;
    while (done < Capacity) {
        const qint64 got = File.read(Buffer + done, Capacity - done);
        if (got < 0)
            ThrowReadError(FileName, File.errorString());
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

// Reads the rest of an open file in one pass. The size known at opening is only a hint: a file
// that grew or shrank meanwhile is read as it is now, still below the size limit.
QByteArray ReadWhole(QFile& File, const QString& FileName, qint64 SizeHint)
{
    if (SizeHint > MaxTextFileSize)
        ThrowTooLarge(FileName, SizeHint);
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(std::max<qint64>(SizeHint, 0)));
    qsizetype size = ReadInto(File, FileName, bytes.data(), bytes.size());
    if (size == bytes.size()) {
        char chunk[65536];
        for (;;) {
            const qsizetype got = ReadInto(File, FileName, chunk, sizeof chunk);
            if (got == 0)
                break;
            if (qint64(size) + got > MaxTextFileSize)
                ThrowTooLarge(FileName, qint64(size) + got);
            bytes.append(chunk, got);
            size += got;
        }
    }
    bytes.truncate(size);
    return bytes;
}

// ---- Detection helpers ----

bool StartsWith(QByteArrayView Bytes, const char* Prefix, qsizetype Count)
{
    return Bytes.size() >= Count && std::memcmp(Bytes.data(), Prefix, size_t(Count)) == 0;
}

// Index of the first byte at or above 0x80, or Count when there is none.
qsizetype FindHighByte(const unsigned char* Bytes, qsizetype Count)
{
    qsizetype i = 0;
    for (; i + 8 <= Count; i += 8) {
        quint64 word;
        std::memcpy(&word, Bytes + i, 8);
        if (word & 0x8080808080808080ULL)
            break;
    }
    while (i < Count && Bytes[i] < 0x80)
        ++i;
    return i;
}

// Offset of the first byte that does not start or continue a well-formed UTF-8 sequence
// (Unicode Table 3-7), or -1. Only used to say where strict decoding failed.
qsizetype FirstMalformedUtf8(QByteArrayView Bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(Bytes.data());
    const qsizetype n = Bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int k = 0;
        unsigned lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            k = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            k = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            k = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return i;
        }
        if (i + k >= n)
            return i;
        if (b[i + 1] < lo || b[i + 1] > hi)
            return i;
        for (int j = 2; j <= k; ++j)
            if ((b[i + j] & 0xC0) != 0x80)
                return i;
        i += k + 1;
    }
    return -1;
}

QString DecodeUtf16(QByteArrayView Bytes, bool BigEndian)
{
    const qsizetype units = Bytes.size() / 2;  // an odd last byte is dropped
    QString text(units, Qt::Uninitialized);
    if (BigEndian)
        qFromBigEndian<quint16>(Bytes.data(), units, text.data());
    else
        qFromLittleEndian<quint16>(Bytes.data(), units, text.data());
    return text;
}

// Strict decoding keeping a leading mark as U+FEFF; false when the bytes are not well-formed.
bool TryDecodeUtf8(QByteArrayView Bytes, QString& Text)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    Text = decoder.decode(Bytes);
    return !decoder.hasError();
}

[[noreturn]] void ThrowMalformedUtf8(QByteArrayView Bytes, const QString& FileName)
{
    const qsizetype at = FirstMalformedUtf8(Bytes);
    const QString where = at >= 0 ? QStringLiteral(" at byte offset %1").arg(at) : QString();
    const QString subject = FileName.isEmpty() ? QStringLiteral("The text")
                                               : QStringLiteral("File \"%1\"").arg(FileName);
    throw ETextFileError(QStringLiteral("%1 cannot be decoded as UTF-8: invalid byte sequence%2.")
                             .arg(subject, where));
}

QString DecodeUtf8Strict(QByteArrayView Bytes, const QString& FileName)
{
    QString text;
    if (!TryDecodeUtf8(Bytes, text))
        ThrowMalformedUtf8(Bytes, FileName);
    return text;
}

// ---- Decoding straight into lines ----

// The first unit at or below CR from P on (every break is one), or End.
const char16_t* SkipToControl(const char16_t* P, const char16_t* End)
{
#if defined(__SSE2__)
    // Eight units at a time: a unit minus 13, saturating at zero, is zero only at or below CR.
    const __m128i thirteen = _mm_set1_epi16(13);
    const __m128i zero = _mm_setzero_si128();
    for (; End - P >= 8; P += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(units, thirteen), zero));
        if (mask != 0)
            return P + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    while (P < End && *P > u'\r')
        ++P;
    return P;
}

// Where the lines go: into a list sized beforehand, through a pointer, since appending
// element by element costs more than making the strings. Lines past the size are appended.
class TLineSink
{
public:
    TLineSink(QStringList& Lines, qsizetype Expected) : FLines(Lines), FFilled(Lines.size())
    {
        FLines.resize(FFilled + Expected);
        FCells = FLines.data();
    }
    ~TLineSink() { FLines.resize(FFilled); }   // the spare empty entries go
    TLineSink(const TLineSink&) = delete;
    TLineSink& operator=(const TLineSink&) = delete;

    // How many breaks of each kind the added text held, and whether it ended with one (or was
    // empty).
    qsizetype Lf = 0;
    qsizetype CrLf = 0;
    qsizetype Cr = 0;
    bool FinalBreak = true;
    // The order of the breaks, as a digest: before and after the latest one.
    quint64 BeforeLast = 0;
    quint64 Digest = 0;

    void NoteBreak(unsigned Kind)
    {
        BeforeLast = Digest;
        Digest = (Digest ^ Kind) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull;
    }

    void Add(const char16_t* Start, qsizetype Length)
    {
        if (FFilled < FLines.size()) {
            FCells[FFilled] = QString(reinterpret_cast<const QChar*>(Start), Length);
        } else {
            FLines.emplaceBack(reinterpret_cast<const QChar*>(Start), Length);
            FCells = FLines.data();
        }
        ++FFilled;
    }

private:
    QStringList& FLines;
    qsizetype FFilled;
    QString* FCells;
};

// Adds the lines of Text: breaks at CR LF, LF and lone CR, no empty line for a final break.
// Texts added one after another are one text: an empty one leaves the final break as it was.
void AppendLines(QStringView Text, TLineSink& Lines)
{
    const char16_t* const end = Text.utf16() + Text.size();
    const char16_t* start = Text.utf16();
    for (const char16_t* p = SkipToControl(start, end); p < end; p = SkipToControl(p, end)) {
        const char16_t c = *p;
        if (c != u'\n' && c != u'\r') {
            ++p;
            continue;
        }
        Lines.Add(start, p - start);
        if (c == u'\n') {
            ++Lines.Lf;
            Lines.NoteBreak(1);
        } else if (p + 1 < end && p[1] == u'\n') {
            ++Lines.CrLf;
            Lines.NoteBreak(2);
            ++p;
        } else {
            ++Lines.Cr;
            Lines.NoteBreak(3);
        }
        start = ++p;
    }
    if (start < end)
        Lines.Add(start, end - start);
    if (!Text.isEmpty())
        Lines.FinalBreak = start == end;
}

bool IsWide(TTextEncoding Encoding)
{
    return Encoding == TTextEncoding::Utf16LE || Encoding == TTextEncoding::Utf16BE;
}

char16_t UnitAt(const unsigned char* Bytes, qsizetype Index, TTextEncoding Encoding)
{
    switch (Encoding) {
    case TTextEncoding::Utf16LE:
        return char16_t(Bytes[2 * Index] | Bytes[2 * Index + 1] << 8);
    case TTextEncoding::Utf16BE:
        return char16_t(Bytes[2 * Index] << 8 | Bytes[2 * Index + 1]);
    default:
        return Bytes[Index];
    }
}

// How many lines the bytes split into, so the list is allocated once. CR, LF and every
// encoding's line-break characters are ASCII, so the count needs no decoding.
qsizetype CountLines(QByteArrayView Bytes, TTextEncoding Encoding)
{
    const auto* b = reinterpret_cast<const unsigned char*>(Bytes.data());
    qsizetype breaks = 0;
    if (!IsWide(Encoding)) {
        const qsizetype n = Bytes.size();
        qsizetype i = 0;
#if defined(__SSE2__)
        // Sixteen bytes at a time: every LF, and every CR whose next byte is not LF.
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        for (; i + 17 <= n; i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 1));
            const unsigned lfs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, lf)));
            const unsigned crs = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, cr)));
            const unsigned lfNext = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(next, lf)));
            breaks += std::popcount(lfs) + std::popcount(crs & ~lfNext);
        }
#endif
        for (; i + 1 < n; ++i)
            breaks += (b[i] == '\n') | ((b[i] == '\r') & (b[i + 1] != '\n'));
        if (n > 0)
            breaks += b[n - 1] == '\n' || b[n - 1] == '\r';
        return breaks + 1;
    }
    const qsizetype units = Bytes.size() / 2;
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t c = UnitAt(b, i, Encoding);
        breaks += c == u'\n' || (c == u'\r' && (i + 1 == units || UnitAt(b, i + 1, Encoding) != u'\n'));
    }
    return breaks + 1;
}

// End of the piece that starts at Start: just after the first line feed at or past
// Start + Target, or the end of the bytes. A line feed never sits inside a multi-byte sequence
// nor between the CR and LF of one break, so pieces decode and split on their own.
qsizetype PieceEnd(QByteArrayView Bytes, qsizetype Start, qsizetype Target, TTextEncoding Encoding)
{
    const qsizetype size = Bytes.size();
    if (size - Start <= Target)
        return size;
    if (!IsWide(Encoding)) {
        const void* lf = std::memchr(Bytes.data() + Start + Target, '\n', size_t(size - Start - Target));
        return lf ? static_cast<const char*>(lf) - Bytes.data() + 1 : size;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(Bytes.data());
    for (qsizetype unit = (Start + Target) / 2; unit < size / 2; ++unit)
        if (UnitAt(b, unit, Encoding) == u'\n')
            return 2 * (unit + 1);
    return size;
}

// Windows-1252 agrees with ASCII below 0x80: those bytes are widened sixteen at a time, the
// others go through the code page.
void DecodeWindows1252Into(const unsigned char* In, qsizetype Count, char16_t* Out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= Count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + i));
        if (_mm_movemask_epi8(bytes) != 0) {
            for (qsizetype k = i; k < i + 16; ++k)
                Out[k] = Windows1252ToUnicode(In[k]);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i < Count; ++i)
        Out[i] = Windows1252ToUnicode(In[i]);
}

// The break most lines ended with; LF when there was none (ties go to LF, then CR LF).
TLineBreak MostFrequentBreak(qsizetype Lf, qsizetype CrLf, qsizetype Cr)
{
    if (Lf >= CrLf && Lf >= Cr)
        return TLineBreak::Lf;
    return CrLf >= Cr ? TLineBreak::CrLf : TLineBreak::Cr;
}

// The line breaks of a loaded text: the one its lines are written with, and whether the text
// ended with a break (an empty text counts as having one).
struct TLoadedBreaks {
    TLineBreak Most = TLineBreak::Lf;
    bool Final = true;
    TBreakTrace Trace;
};

// Decodes piece by piece and appends each piece's lines, so the whole decoded text never
// exists at once and each piece is split while it is still in the cache; the breaks are
// counted while splitting. False when strict UTF-8 decoding meets a malformed sequence.
bool DecodeLines(QByteArrayView Bytes, TTextEncoding Encoding, QStringList& Lines, TLoadedBreaks& Breaks)
{
    constexpr qsizetype PieceSize = 1 << 20;
    TLineSink sink(Lines, CountLines(Bytes, Encoding));
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    QString buffer;
    for (qsizetype start = 0; start < Bytes.size();) {
        const qsizetype end = PieceEnd(Bytes, start, PieceSize, Encoding);
        const QByteArrayView piece = Bytes.sliced(start, end - start);
        start = end;
        const qsizetype room = Encoding == TTextEncoding::Utf8 ? utf8.requiredSpace(piece.size()) : piece.size();
        if (buffer.size() < room)
            buffer.resize(std::max(room, std::min(Bytes.size(), PieceSize) + 1024));
        QChar* const out = buffer.data();
        qsizetype length = 0;
        switch (Encoding) {
        case TTextEncoding::Utf8:
            length = utf8.appendToBuffer(out, piece) - out;
            if (utf8.hasError())
                return false;
            break;
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE:
            length = piece.size() / 2;
            if (Encoding == TTextEncoding::Utf16BE)
                qFromBigEndian<quint16>(piece.data(), length, out);
            else
                qFromLittleEndian<quint16>(piece.data(), length, out);
            // Only the last piece can end in half a unit: it is shown, not dropped, as a
            // replacement mark followed by the byte read as ANSI, so two files that differ only
            // there do not compare equal.
            if (piece.size() % 2 != 0) {
                out[length++] = QChar::ReplacementCharacter;
                DecodeWindows1252Into(reinterpret_cast<const unsigned char*>(piece.data()) + piece.size() - 1, 1,
                                      reinterpret_cast<char16_t*>(out + length++));
            }
            break;
        case TTextEncoding::Ansi:
            DecodeWindows1252Into(reinterpret_cast<const unsigned char*>(piece.data()), piece.size(),
                                  reinterpret_cast<char16_t*>(out));
            length = piece.size();
            break;
        }
        AppendLines(QStringView(out, length), sink);
    }
    const int kinds = (sink.Lf > 0) + (sink.CrLf > 0) + (sink.Cr > 0);
    Breaks = {MostFrequentBreak(sink.Lf, sink.CrLf, sink.Cr), sink.FinalBreak,
              {sink.Digest, sink.FinalBreak ? sink.BeforeLast : sink.Digest, kinds > 1}};
    return true;
}

// The length of the byte-order mark the bytes start with, or 0.
qsizetype MarkLength(QByteArrayView Bytes)
{
    if (StartsWith(Bytes, "\xEF\xBB\xBF", 3))
        return 3;
    return StartsWith(Bytes, "\xFF\xFE", 2) || StartsWith(Bytes, "\xFE\xFF", 2) ? 2 : 0;
}

// Detects the encoding of a file's bytes and decodes them into Lines (replaced only on success).
// The mark is the encoding's, not text: it is not decoded. Bytes that are not well-formed UTF-8
// are read as ANSI, which holds any bytes and writes them back as they were.
void DecodeFileLines(QByteArrayView view, QStringList& Lines, TDetectedEncoding& Found, TLoadedBreaks& Breaks)
{
    const auto* raw = reinterpret_cast<const unsigned char*>(view.data());
    const qsizetype mark = MarkLength(view);
    QStringList lines;
    bool decoded = false;
    // Well-formed UTF-8 with a byte above 0x7F always passes IsValidUtf8: try decoding first,
    // so the common case needs no separate checking pass over the bytes.
    if (mark == 0 && FindHighByte(raw, view.size()) < view.size()) {
        Found = {TTextEncoding::Utf8, false, QString::fromLatin1(EncNameUtf8)};
        decoded = DecodeLines(view, TTextEncoding::Utf8, lines, Breaks);
    } else {
        Found = DetectTextEncoding(view);
        decoded = DecodeLines(view.sliced(mark), Found.Encoding, lines, Breaks);
    }
    if (!decoded) {
        // Not UTF-8, with or without a mark: ANSI, the mark's bytes included, so saving writes
        // every byte back as it was.
        lines = QStringList();
        Found = {TTextEncoding::Ansi, false, QString::fromLatin1(EncNameAnsi)};
        (void)DecodeLines(view, TTextEncoding::Ansi, lines, Breaks);
    }
    Lines.swap(lines);
}

// Where the system would hand out more than it has, the out-of-memory killer ends the program
// with every unsaved change: a file that cannot fit is refused before it is read.
void RefuseWhatCannotFit(const QString& FileName, qint64 Size)
{
    if (Size > MaxTextFileSize)
        return;   // the read refuses it with its own message
    const qint64 atHand = MemoryAtHand();
    if (atHand >= 0 && LoadPeakEstimate(Size) > atHand)
        ThrowOutOfMemory(FileName, Size);
}

// Reads the file once and decodes those bytes. Running out of memory part-way frees what was
// taken and says which file did not fit.
void LoadLines(const QString& FileName, QStringList& Lines, TDetectedEncoding& Found, TLoadedBreaks& Breaks,
               TLoadedFile* Read = nullptr)
{
    RefuseWhatCannotFit(FileName, QFileInfo(FileName).size());
    try {
        DecodeFileLines(Read ? ReadTextFileBytes(FileName, *Read) : ReadTextFileBytes(FileName), Lines, Found, Breaks);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(FileName, QFileInfo(FileName).size());
    }
}

void FillSide(TSideState& Side, TDetectedEncoding& Found, const TLoadedBreaks& Breaks)
{
    Side.Encoding = Found.Encoding;
    Side.HasBOM = Found.HasBOM;
    Side.EncName = std::move(Found.EncName);
    Side.PureAscii = Found.PureAscii;
    Side.LineBreak = Breaks.Most;
    Side.FinalBreak = Breaks.Final;
    Side.Breaks = Breaks.Trace;
}

}  // namespace

// ---- Opening for reading ----

#ifdef Q_OS_UNIX
// Opening a named pipe for reading blocks until a writer appears, and a device may never end:
// look before opening, open without blocking, and look again at what was actually opened.
TOpenResult OpenRegularFile(const QString& FileName, QFile& File)
{
    TOpenResult result;
    const QByteArray native = PathBytes(FileName);
    if (native.isEmpty()) {
        result.Status = TOpenStatus::Missing;
        result.Reason = QStringLiteral("No file name specified.");
        return result;
    }
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const int error = errno;
        result.Status = (error == ENOENT || error == ENOTDIR) ? TOpenStatus::Missing : TOpenStatus::Failed;
        result.Reason = qt_error_string(error);
        return result;
    }
    if (result.Status = StatusOfMode(info.st_mode); result.Status != TOpenStatus::Opened) {
        result.Reason = NotRegularReason(result.Status);
        return result;
    }
    int fd = -1;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        result.Status = (error == ENOENT || error == ENOTDIR) ? TOpenStatus::Missing : TOpenStatus::Failed;
        result.Reason = qt_error_string(error);
        return result;
    }
    if (::fstat(fd, &info) != 0) {
        result.Status = TOpenStatus::Failed;
        result.Reason = qt_error_string(errno);
        ::close(fd);
        return result;
    }
    if (result.Status = StatusOfMode(info.st_mode); result.Status != TOpenStatus::Opened) {
        result.Reason = NotRegularReason(result.Status);
        ::close(fd);
        return result;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!File.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        result.Status = TOpenStatus::Failed;
        result.Reason = File.errorString();
        ::close(fd);
        return result;
    }
    result.Size = info.st_size;
    return result;
}
#else
TOpenResult OpenRegularFile(const QString& FileName, QFile& File)
{
    TOpenResult result;
    const QFileInfo info(FileName);
    if (!info.exists()) {
        result.Status = TOpenStatus::Missing;
        result.Reason = QStringLiteral("The file does not exist.");
        return result;
    }
    if (info.isDir() || !info.isFile()) {
        result.Status = info.isDir() ? TOpenStatus::Folder : TOpenStatus::NotRegular;
        result.Reason = NotRegularReason(result.Status);
        return result;
    }
    File.setFileName(FileName);
    if (!File.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        result.Status = TOpenStatus::Failed;
        result.Reason = File.errorString();
        return result;
    }
    result.Status = TOpenStatus::Opened;
    result.Size = File.size();
    return result;
}
#endif

// ---- Pure functions ----

bool IsValidUtf8(const char* Bytes, qsizetype Count)
{
    if (Bytes == nullptr || Count <= 0)
        return false;
    const auto* b = reinterpret_cast<const unsigned char*>(Bytes);
    bool result = false;
    qsizetype i = 0;
    while (i < Count) {
        if (b[i] < 0x80) {
            i += FindHighByte(b + i, Count - i);
            continue;
        }
        const unsigned lead = b[i];
        qsizetype k = 0;
        if ((lead & 0xE0) == 0xC0)
            k = 1;
        else if ((lead & 0xF0) == 0xE0)
            k = 2;
        else if ((lead & 0xF8) == 0xF0)
            k = 3;
        else
            return false;
        if (i + k >= Count)
            return false;
        for (qsizetype j = 1; j <= k; ++j)
            if ((b[i + j] & 0xC0) != 0x80)
                return false;
        result = true;
        i += k + 1;
    }
    return result;
}

TDetectedEncoding DetectTextEncoding(QByteArrayView Bytes)
{
    TDetectedEncoding found;
    if (StartsWith(Bytes, "\xEF\xBB\xBF", 3))
        return {TTextEncoding::Utf8, true, QString::fromLatin1(EncNameUtf8Bom)};
    if (StartsWith(Bytes, "\xFF\xFE", 2))
        return {TTextEncoding::Utf16LE, true, QString::fromLatin1(EncNameUtf16LEBom)};
    if (StartsWith(Bytes, "\xFE\xFF", 2))
        return {TTextEncoding::Utf16BE, true, QString::fromLatin1(EncNameUtf16BEBom)};
    const auto* b = reinterpret_cast<const unsigned char*>(Bytes.data());
    const qsizetype high = FindHighByte(b, Bytes.size());
    if (!Bytes.isEmpty() && high == Bytes.size())
        return {TTextEncoding::Ansi, false, QString::fromLatin1(EncNameAnsiAscii), true};
    // The bytes before the first high byte are ASCII and cannot change the verdict.
    if (IsValidUtf8(Bytes.data() + high, Bytes.size() - high))
        return {TTextEncoding::Utf8, false, QString::fromLatin1(EncNameUtf8)};
    return found;
}

QString DecodeText(QByteArrayView Bytes, TTextEncoding Encoding, const QString& FileName)
{
    switch (Encoding) {
    case TTextEncoding::Utf8:
        return DecodeUtf8Strict(Bytes, FileName);
    case TTextEncoding::Utf16LE:
        return DecodeUtf16(Bytes, false);
    case TTextEncoding::Utf16BE:
        return DecodeUtf16(Bytes, true);
    case TTextEncoding::Ansi:
        break;
    }
    return DecodeWindows1252(Bytes);
}

QStringList SplitTextLines(QStringView Text)
{
    QStringList lines;
    qsizetype breaks = 0;
    for (const QChar c : Text)
        breaks += c == u'\n' || c == u'\r';
    {
        TLineSink sink(lines, breaks + 1);
        AppendLines(Text, sink);
    }
    return lines;
}

bool IsTextBytes(QByteArrayView Head)
{
    const QByteArrayView bytes = Head.first(std::min(Head.size(), TextProbeSize));
    if (bytes.isEmpty())
        return true;
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3) || StartsWith(bytes, "\xFF\xFE", 2)
        || StartsWith(bytes, "\xFE\xFF", 2))
        return true;
    if (bytes.contains('\0'))
        return false;
    if (IsValidUtf8(bytes.data(), bytes.size()))
        return true;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D)
            return false;
    }
    return true;
}

// ---- File functions ----

QByteArray ReadTextFileBytes(const QString& FileName)
{
    QFile file;
    const TOpenResult opened = OpenRegularFile(FileName, file);
    if (opened.Status != TOpenStatus::Opened)
        ThrowOpenError(FileName, opened.Reason);
    return ReadWhole(file, FileName, opened.Size);
}

QByteArray ReadTextFileBytes(const QString& FileName, TLoadedFile& Read)
{
    QFile file;
    const TOpenResult opened = OpenRegularFile(FileName, file);
    if (opened.Status != TOpenStatus::Opened)
        ThrowOpenError(FileName, opened.Reason);
    QByteArray bytes = ReadWhole(file, FileName, opened.Size);
    Read = RecordOfRead(FileName, file.handle(), bytes);
    return bytes;
}

void DetectFileEncoding(const QString& FileName, TTextEncoding& Encoding, bool& HasBOM,
                        QString& EncName)
{
    const QByteArray bytes = ReadTextFileBytes(FileName);
    TDetectedEncoding found = DetectTextEncoding(bytes);
    Encoding = found.Encoding;
    HasBOM = found.HasBOM;
    EncName = std::move(found.EncName);
}

void LoadTextFile(const QString& FileName, QStringList& Lines, TTextEncoding& Encoding,
                  bool& HasBOM, QString& EncName)
{
    TDetectedEncoding found;
    TLoadedBreaks breaks;
    LoadLines(FileName, Lines, found, breaks);
    Encoding = found.Encoding;
    HasBOM = found.HasBOM;
    EncName = std::move(found.EncName);
}

void LoadTextFile(const QString& FileName, TSideState& Side)
{
    TDetectedEncoding found;
    TLoadedBreaks breaks;
    TLoadedFile read;
    LoadLines(FileName, Side.Lines, found, breaks, &read);
    FillSide(Side, found, breaks);
    Side.Loaded = std::move(read);
}

void LoadTextBytes(const QString& FileName, QByteArrayView Bytes, TSideState& Side)
{
    RefuseWhatCannotFit(FileName, Bytes.size());
    TDetectedEncoding found;
    TLoadedBreaks breaks;
    try {
        DecodeFileLines(Bytes, Side.Lines, found, breaks);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(FileName, Bytes.size());
    }
    FillSide(Side, found, breaks);
    Side.Loaded = RecordOfRead(FileName, -1, Bytes);
}

bool IsTextFile(const QString& FileName)
{
    QFile file;
    const TOpenResult opened = OpenRegularFile(FileName, file);
    switch (opened.Status) {
    case TOpenStatus::Opened:
        break;
    case TOpenStatus::Missing:
    case TOpenStatus::Folder:
    case TOpenStatus::NotRegular:
        return false;
    case TOpenStatus::Failed:
        ThrowOpenError(FileName, opened.Reason);
    }
    char head[TextProbeSize];
    const qsizetype got = ReadInto(file, FileName, head, sizeof head);
    return IsTextBytes(QByteArrayView(head, got));
}

qint64 RequireRegularFile(const QString& FileName, QFile& File)
{
    const TOpenResult opened = OpenRegularFile(FileName, File);
    if (opened.Status != TOpenStatus::Opened)
        ThrowOpenError(FileName, opened.Reason);
    return opened.Size;
}

qint64 FirstDifferentByte(const QString& LeftName, const QString& RightName)
{
    QFile left, right;
    (void)RequireRegularFile(LeftName, left);
    (void)RequireRegularFile(RightName, right);
    constexpr qsizetype Block = 1 << 16;
    std::unique_ptr<char[]> a(new char[Block]), b(new char[Block]);
    qint64 offset = 0;
    for (;;) {
        const qsizetype gotA = ReadInto(left, LeftName, a.get(), Block);
        const qsizetype gotB = ReadInto(right, RightName, b.get(), Block);
        const qsizetype both = std::min(gotA, gotB);
        const auto at = std::mismatch(a.get(), a.get() + both, b.get());
        if (at.first != a.get() + both)
            return offset + (at.first - a.get());
        if (gotA != gotB)
            return offset + both;
        if (gotA == 0)
            return -1;
        offset += gotA;
    }
}

// ---- Loading both sides ----

qint64 LoadPeakEstimate(qint64 Size)
{
    return 3 * std::max<qint64>(Size, 0) + (4 << 20);
}

qint64 MemoryAtHand()
{
    qint64 available = -1;
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (meminfo.open(QIODevice::ReadOnly | QIODevice::Text)) {
        for (QByteArray line = meminfo.readLine(); !line.isEmpty(); line = meminfo.readLine()) {
            if (line.startsWith("MemAvailable:")) {
                available = line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
                break;
            }
        }
    }
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        qint64 used = 0;
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (statm.open(QIODevice::ReadOnly))
            used = statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
        const qint64 room = std::max<qint64>(qint64(limit.rlim_cur) - used, 0);
        available = available < 0 ? room : std::min(available, room);
    }
#endif
    return available;
}

void RunBothLoads(qint64 LeftSize, qint64 RightSize, const std::function<void()>& LoadLeft,
                  const std::function<void()>& LoadRight)
{
    const qint64 together = LoadPeakEstimate(LeftSize) + LoadPeakEstimate(RightSize);
    const qint64 atHand = MemoryAtHand();
    if (atHand >= 0 && together > atHand / 2) {
        LoadLeft();
        LoadRight();
        return;
    }
    // The right load is waited for before an error of the left one leaves.
    std::future<void> rightLoad = std::async(std::launch::async, LoadRight);
    try {
        LoadLeft();
    } catch (...) {
        try {
            rightLoad.get();
        } catch (...) {
        }
        throw;
    }
    rightLoad.get();
}

void LoadTextFiles(const QString& L, TSideState& Left, const QString& R, TSideState& Right)
{
    TSideState left = Left, right = Right;
    RunBothLoads(QFileInfo(L).size(), QFileInfo(R).size(), [&] { LoadTextFile(L, left); },
                 [&] { LoadTextFile(R, right); });
    Left = std::move(left);
    Right = std::move(right);
}
