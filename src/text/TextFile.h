#pragma once
// Text files: encoding detection, loading into line lists, the text/binary probe and saving.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <stdexcept>

class QFile;
struct TLoadedFile;

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

// The line break a file is written with.
enum class TLineBreak { Lf, CrLf, Cr };

// The order of the line breaks a text was read with, so two texts with the same lines can be
// told apart by their breaks alone.
struct TBreakTrace {
    quint64 All = 0;       // a digest of every break, in order
    quint64 Inner = 0;     // the same without the break after the last line
    bool Mixed = false;    // more than one kind of break

    friend bool operator==(const TBreakTrace&, const TBreakTrace&) = default;
};

// A file that cannot be read, decoded or written. what() is the message the error box shows
// (UTF-8); Message() gives the same text as a QString.
class ETextFileError : public std::runtime_error {
public:
    explicit ETextFileError(const QString& Message);
    [[nodiscard]] QString Message() const;
};

// The names shown for the detected encodings.
inline constexpr const char* EncNameAnsiAscii = "ANSI/ASCII";
inline constexpr const char* EncNameAnsi = "ANSI";
inline constexpr const char* EncNameUtf8 = "UTF-8";
inline constexpr const char* EncNameUtf8Bom = "UTF-8 with BOM";
inline constexpr const char* EncNameUtf16LEBom = "UTF-16 LE with BOM";
inline constexpr const char* EncNameUtf16BEBom = "UTF-16 BE with BOM";

// Whole-file reads hold the file in one buffer with a 32-bit count: files must be smaller.
inline constexpr qint64 MaxTextFileSize = 0x7FFFFFFF;
// The probe looks at no more than this many bytes from the start.
inline constexpr qsizetype TextProbeSize = 4096;

// What the detection found for a file's bytes.
struct TDetectedEncoding {
    TTextEncoding Encoding = TTextEncoding::Ansi;
    bool HasBOM = false;
    QString EncName = QString::fromLatin1(EncNameAnsi);
    bool PureAscii = false;   // ANSI for want of any byte above 0x7F
};

// True when the buffer holds at least one multi-byte sequence and every sequence has a valid
// lead byte and the right number of continuation bytes. Pure ASCII and empty buffers give false.
// Overlong forms and encoded surrogates pass; the strict decoder catches those.
[[nodiscard]] bool IsValidUtf8(const char* Bytes, qsizetype Count);

// Detection on bytes already in memory: the marks, then pure ASCII, then UTF-8, else ANSI.
[[nodiscard]] TDetectedEncoding DetectTextEncoding(QByteArrayView Bytes);

// Decodes a whole file's bytes with the given encoding. A byte-order mark is kept as U+FEFF;
// UTF-16 drops an odd last byte; ANSI (Windows-1252) never fails. Strict UTF-8: a malformed
// sequence (overlong, surrogate, cut off, above U+10FFFF) throws ETextFileError naming
// FileName and the offset of the bad bytes.
[[nodiscard]] QString DecodeText(QByteArrayView Bytes, TTextEncoding Encoding,
                                 const QString& FileName = QString());

// Lines of a text: breaks at CR LF, LF and lone CR; a final break adds no empty line; an empty
// text gives no lines. Document texts use the same rule.
[[nodiscard]] QStringList SplitTextLines(QStringView Text);

// Rules 2-9 of the probe on the first bytes of a file (at most TextProbeSize are looked at).
[[nodiscard]] bool IsTextBytes(QByteArrayView Head);

enum class TOpenStatus { Opened, Missing, Folder, NotRegular, Failed };

struct TOpenResult {
    TOpenStatus Status = TOpenStatus::Failed;
    QString Reason;   // the system's reason, or what the path is instead of a regular file
    qint64 Size = 0;
};

// Opens File for reading only when FileName names a regular file: a named pipe would block
// until a writer appears and a device may never end, so it looks before opening, opens without
// blocking and looks again at what was opened.
[[nodiscard]] TOpenResult OpenRegularFile(const QString& FileName, QFile& File);

// Reads a whole regular file in one pass. Throws ETextFileError with the path and the system's
// reason when it is missing, unreadable, a folder, a device or pipe, or 2 GiB or larger.
[[nodiscard]] QByteArray ReadTextFileBytes(const QString& FileName);
// The same, and what was read: the file's stamp and the hash of its bytes.
[[nodiscard]] QByteArray ReadTextFileBytes(const QString& FileName, TLoadedFile& Read);

// Reads the whole file and detects its encoding.
void DetectFileEncoding(const QString& FileName, TTextEncoding& Encoding, bool& HasBOM,
                        QString& EncName);

// Reads the file once, detects its encoding on those bytes and decodes the same bytes. A
// byte-order mark is the encoding's and not part of the first line; bytes that are not
// well-formed UTF-8 load as ANSI; a UTF-16 odd last byte ends the last line as U+FFFD and
// that byte read as ANSI.
// Everything is written only on success: any failure leaves the arguments as they were.
void LoadTextFile(const QString& FileName, QStringList& Lines, TTextEncoding& Encoding,
                  bool& HasBOM, QString& EncName);

// The probe: false for a missing path, a folder, a device or pipe, and for bytes that look
// binary; true for text. Throws ETextFileError for an existing file it cannot open or read.
[[nodiscard]] bool IsTextFile(const QString& FileName);

// Opens File for reading, as ReadTextFileBytes does, and returns its size; throws the same
// ETextFileError for what is missing, unreadable or not a regular file.
qint64 RequireRegularFile(const QString& FileName, QFile& File);

// Compares two regular files block by block, never holding more than a block of each: the
// offset (from 0) of the first byte that differs, where the shorter one ends if it is a start of
// the other, or -1 when they are identical. Throws ETextFileError as ReadTextFileBytes does.
[[nodiscard]] qint64 FirstDifferentByte(const QString& LeftName, const QString& RightName);

// ---- Writing ----

// How a side is written: its encoding and whether the encoding's mark goes before the text.
struct TTextWriteEncoding {
    TTextEncoding Encoding = TTextEncoding::Utf8;
    bool WritesBOM = true;
    TLineBreak LineBreak = TLineBreak::CrLf;   // written after every line
    // False: a last line that is not empty is written without a break. An empty last line keeps
    // its break, or it would not be there when the file is read back.
    bool FinalBreak = true;

    // The bytes before the text: EF BB BF, FF FE, FE FF or nothing.
    [[nodiscard]] QByteArray GetPreamble() const;
};

// UTF-8 that writes no mark.
struct TUTF8NoBOMEncoding : TTextWriteEncoding {
    constexpr TUTF8NoBOMEncoding() : TTextWriteEncoding{TTextEncoding::Utf8, false} {}
};

// What a side loaded with these fields is written with: UTF-8 follows the flag, UTF-16 always
// carries its mark (so it loads back as UTF-16), ANSI never has one.
[[nodiscard]] TTextWriteEncoding WriteEncodingFor(TTextEncoding Encoding, bool HasBOM);

// The saved file's bytes: the preamble, then every line followed by the encoding's line break,
// the last one too unless the encoding says otherwise. No lines give the preamble alone.
// The loaded mark is never part of the lines, so a file gets exactly one mark; a U+FEFF in the
// lines is text. ANSI writes "?" for what it cannot hold.
[[nodiscard]] QByteArray EncodeTextLines(const QStringList& Lines,
                                         const TTextWriteEncoding& Encoding);

// Writes the lines to FileName through a temporary file beside it that replaces the target
// only when complete, so a failure half-way leaves an existing file untouched. Throws
// ETextFileError with the path and the system's reason.
void SaveTextFile(const QString& FileName, const QStringList& Lines,
                  const TTextWriteEncoding& Encoding);
void SaveTextFile(const QString& FileName, const QStringList& Lines, TTextEncoding Encoding,
                  bool HasBOM);

struct TFileStamp;

// The same, and more careful: Expected (when given) is the target's stamp when the save was
// decided on; right before the new content takes its place the target is looked at again, and
// if another program changed it meanwhile nothing is written (ETextFileError). Written (when
// given) receives the record of the file as written. A signal that ends the program while the
// temporary file exists removes it; temporaries of earlier saves of the same file that a killed
// program left behind are removed once this save has succeeded.
void SaveTextFile(const QString& FileName, const QStringList& Lines, const TTextWriteEncoding& Encoding,
                  const TFileStamp* Expected, TLoadedFile* Written);

// Runs, when set, once the new content is written and synced beside the target and before the
// last look at it: tests hold a save there to change the file or to end the program.
extern void (*HoldSaveBeforeReplacing)(const QString& Target);
