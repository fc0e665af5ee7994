// Writing a side back to disk.

#include "text/TextFile.h"
#include "text/PathBytes.h"

#include "text/SideSave.h"

#include "text/Windows1252.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStringEncoder>
#include <QtEndian>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    const QStringView lineBreak = Encoding.LineBreak == TLineBreak::Lf     ? QStringView(u"\n")
                                  : Encoding.LineBreak == TLineBreak::Cr ? QStringView(u"\r")
                                                                         : QStringView(u"\r\n");
    const qsizetype broken = !Encoding.FinalBreak && !Lines.isEmpty() && !Lines.last().isEmpty()
                                 ? Lines.size() - 1
                                 : Lines.size();
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        append(Lines[i]);
        if (i < broken)
            append(lineBreak);
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

#ifdef Q_OS_UNIX
namespace {

[[noreturn]] void ThrowSaveError(const char* Verb, const QString& FileName, const QString& Reason)
{
    throw ETextFileError(QStringLiteral("Cannot %1 file \"%2\". %3").arg(QLatin1String(Verb), FileName, Reason));
}

QString ErrnoReason(int Error)
{
    return qt_error_string(Error);
}

// Writes all of Bytes at the descriptor's position; the errno of a failure, or 0.
int WriteAll(int Fd, const char* Bytes, qsizetype Count)
{
    while (Count > 0) {
        const ssize_t done = ::write(Fd, Bytes, size_t(Count));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (done == 0)
            return ENOSPC;
        Bytes += done;
        Count -= done;
    }
    return 0;
}

// The file a save writes: a symbolic link is followed, so the link stays a link.
QString ResolveTarget(const QString& FileName)
{
    QFileInfo info(FileName);
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

// The new content in a temporary file beside the target, written and synced; removed again
// when this is destroyed without Keep.
class TTemporary
{
public:
    TTemporary(const QString& Target, const QString& Shown) : FShown(Shown)
    {
        const QFileInfo info(Target);
        // Created as a new file would be (the umask applies); a name taken is tried again.
        for (int attempt = 0; FFd < 0; ++attempt) {
            FPath = PathBytes(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                      + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate64(), 0, 36));
            FFd = ::open(FPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (FFd < 0 && (errno != EEXIST || attempt == 100)) {
                const int error = errno;
                FPath.clear();
                ThrowSaveError("create", Shown, ErrnoReason(error));
            }
        }
    }
    ~TTemporary()
    {
        if (FFd >= 0)
            ::close(FFd);
        if (!FKeep && !FPath.isEmpty())
            ::unlink(FPath.constData());
    }
    TTemporary(const TTemporary&) = delete;
    TTemporary& operator=(const TTemporary&) = delete;

    int Fd() const { return FFd; }
    const QByteArray& Path() const { return FPath; }
    void Keep() { FKeep = true; }
    void Renamed() { FPath.clear(); }
    void Write(const QByteArray& Chunk)
    {
        if (const int error = WriteAll(FFd, Chunk.constData(), Chunk.size()))
            ThrowSaveError("write", FShown, ErrnoReason(error));
        FSize += Chunk.size();
    }
    void Sync()
    {
        if (::fsync(FFd) != 0)
            ThrowSaveError("write", FShown, ErrnoReason(errno));
    }
    qint64 Size() const { return FSize; }

private:
    QString FShown;
    QByteArray FPath;
    int FFd = -1;
    bool FKeep = false;
    qint64 FSize = 0;
};

// Copies the synced temporary over the target's own bytes, so every hard link and the file's
// identity stay as they were. A failure here has touched the target: the temporary is kept and
// named, so the new content is not lost.
void WriteInPlace(const QByteArray& Target, TTemporary& Temporary, const QString& Shown)
{
    const int target = ::open(Target.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (target < 0)
        ThrowSaveError("write", Shown, ErrnoReason(errno));
    // Space for the new content is taken before a byte of the old one is replaced.
    if (::fallocate(target, FALLOC_FL_KEEP_SIZE, 0, off_t(std::max<qint64>(Temporary.Size(), 1))) != 0
        && errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL) {
        const int error = errno;
        ::close(target);
        ThrowSaveError("write", Shown, ErrnoReason(error));
    }
    int error = ::lseek(Temporary.Fd(), 0, SEEK_SET) < 0 ? errno : 0;
    char buffer[1 << 16];
    while (error == 0) {
        const ssize_t got = ::read(Temporary.Fd(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        error = WriteAll(target, buffer, got);
    }
    if (error == 0 && ::ftruncate(target, off_t(Temporary.Size())) != 0)
        error = errno;
    if (error == 0 && ::fsync(target) != 0)
        error = errno;
    ::close(target);
    if (error != 0) {
        Temporary.Keep();
        ThrowSaveError("write", Shown,
                       ErrnoReason(error)
                           + QStringLiteral(" The new content is kept in \"%1\".").arg(QFile::decodeName(Temporary.Path())));
    }
}

}  // namespace
#endif

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
#ifdef Q_OS_UNIX
    // The content goes to a temporary file beside the target, synced, then takes the target's
    // place; a failure before that leaves the target as it was and no temporary behind.
    const QString resolved = ResolveTarget(FileName);
    const QByteArray native = PathBytes(resolved);
    struct stat old {};
    const bool exists = ::stat(native.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        ThrowSaveError("create", FileName, ErrnoReason(errno));
    TTemporary temporary(resolved, FileName);
    EncodeLinesTo(Lines, Encoding, [&](const QByteArray& chunk) { temporary.Write(chunk); });
    temporary.Sync();
    bool inPlace = false;
    if (exists) {
        // The file keeps its owner, group and mode. A file with other names (hard links), or one
        // whose owner this user cannot give to a new file, is written in place instead.
        inPlace = old.st_nlink > 1;
        if (!inPlace && ::fchown(temporary.Fd(), old.st_uid, old.st_gid) != 0)
            inPlace = true;
        if (!inPlace && ::fchmod(temporary.Fd(), old.st_mode & 07777) != 0)
            inPlace = true;
    }
    if (inPlace) {
        WriteInPlace(native, temporary, FileName);
        return;
    }
    if (::rename(temporary.Path().constData(), native.constData()) != 0)
        ThrowSaveError("write", FileName, ErrnoReason(errno));
    temporary.Renamed();
    // The new name is on disk too, not only the new content.
    const int folder = ::open(PathBytes(QFileInfo(resolved).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#else
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
#endif
}

void SaveTextFile(const QString& FileName, const QStringList& Lines, TTextEncoding Encoding,
                  bool HasBOM)
{
    SaveTextFile(FileName, Lines, WriteEncodingFor(Encoding, HasBOM));
}

namespace {

[[nodiscard]] bool HoldsOnlyAscii(const QStringList& Lines)
{
    for (const QString& line : Lines)
        for (const QChar c : line)
            if (c.unicode() > 0x7F)
                return false;
    return true;
}

}  // namespace

TTextWriteEncoding WriteEncodingFor(const TSideState& Side)
{
    TTextWriteEncoding result = Side.Encoding == TTextEncoding::Ansi && Side.PureAscii && !HoldsOnlyAscii(Side.Lines)
                                    ? TUTF8NoBOMEncoding{}
                                    : WriteEncodingFor(Side.Encoding, Side.HasBOM);
    result.LineBreak = Side.LineBreak;
    // A document's text was never a file's: it is written as text files are made, break-ended.
    result.FinalBreak = Side.FinalBreak || Side.Source != TSideSource::TextFile;
    return result;
}

void NoteSideWritten(TSideState& Side, const TTextWriteEncoding& Written)
{
    if (Side.Encoding != TTextEncoding::Ansi || Written.Encoding != TTextEncoding::Utf8)
        return;
    Side.Encoding = TTextEncoding::Utf8;
    Side.HasBOM = false;
    Side.EncName = QString::fromLatin1(EncNameUtf8);
    Side.PureAscii = false;
}
