// Writing a side back to disk.

#include "text/TextFile.h"

#include "text/LoadedFile.h"
#include "text/SideSave.h"

#include "text/Windows1252.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStringEncoder>
#include <QtEndian>

#include <algorithm>
#include <atomic>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void (*HoldSaveBeforeReplacing)(const QString& Target) = nullptr;

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

// The temporary of the save under way, for a signal that ends the program: the target is still
// whole then, and the temporary would stay behind as a hidden file nobody knows of.
std::atomic<bool> SignalSlotTaken{false};
std::atomic<bool> SignalSlotArmed{false};
char SignalTemporary[4096];
constexpr int EndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction SignalBefore[std::size(EndingSignals)];
bool SignalInstalled[std::size(EndingSignals)];

extern "C" void RemoveTemporaryAndEnd(int Signal)
{
    if (SignalSlotArmed.load())
        ::unlink(SignalTemporary);
    // Ends the program as the signal would have without this handler.
    ::signal(Signal, SIG_DFL);
    ::raise(Signal);
}

// While alive, a signal that would end the program removes Path first. Only signals the program
// leaves at their default are taken: one it ignores or handles itself does not end it here, and
// the temporary goes when the save unwinds. One save at a time holds the slot; another one
// running meanwhile on another thread goes without.
class TSignalCleanup
{
public:
    explicit TSignalCleanup(const QByteArray& Path)
    {
        if (Path.size() >= qsizetype(sizeof SignalTemporary) || SignalSlotTaken.exchange(true))
            return;
        FOwner = true;
        std::memcpy(SignalTemporary, Path.constData(), size_t(Path.size()) + 1);
        SignalSlotArmed.store(true);
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i) {
            SignalInstalled[i] = false;
            struct sigaction now {};
            if (::sigaction(EndingSignals[i], nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO)
                || now.sa_handler != SIG_DFL)
                continue;
            struct sigaction ours {};
            ours.sa_handler = RemoveTemporaryAndEnd;
            sigemptyset(&ours.sa_mask);
            for (const int other : EndingSignals)
                sigaddset(&ours.sa_mask, other);
            SignalInstalled[i] = ::sigaction(EndingSignals[i], &ours, &SignalBefore[i]) == 0;
        }
    }
    ~TSignalCleanup() { Disarm(); }
    TSignalCleanup(const TSignalCleanup&) = delete;
    TSignalCleanup& operator=(const TSignalCleanup&) = delete;

    // The temporary is the target now, or holds the only whole copy of the new content.
    void Disarm()
    {
        if (!FOwner)
            return;
        SignalSlotArmed.store(false);
        for (std::size_t i = 0; i < std::size(EndingSignals); ++i)
            if (SignalInstalled[i])
                ::sigaction(EndingSignals[i], &SignalBefore[i], nullptr);
        FOwner = false;
        SignalSlotTaken.store(false);
    }

private:
    bool FOwner = false;
};

// "." + Name + "." + 1 to 13 base-36 digits + ".tmp": the name of a temporary of a save of Name.
bool IsTemporaryOf(const char* Entry, const QByteArray& Name)
{
    const std::size_t length = std::strlen(Entry);
    const auto nameLength = std::size_t(Name.size());
    if (length < nameLength + 7 || Entry[0] != '.' || std::memcmp(Entry + 1, Name.constData(), nameLength) != 0
        || Entry[nameLength + 1] != '.' || std::strcmp(Entry + length - 4, ".tmp") != 0)
        return false;
    const char* digits = Entry + nameLength + 2;
    const std::size_t count = length - 4 - (nameLength + 2);
    if (count < 1 || count > 13)
        return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!((digits[i] >= '0' && digits[i] <= '9') || (digits[i] >= 'a' && digits[i] <= 'z')))
            return false;
    return true;
}

// Removes the temporaries of earlier saves of Target that ended without cleaning up (a killed
// program). A live save holds a lock on its temporary, so another program's save under way is
// left alone.
void RemoveStaleTemporaries(const QString& Target)
{
    const QFileInfo info(Target);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QByteArray name = QFile::encodeName(info.fileName());
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTemporaryOf(entry->d_name, name))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat opened {}, named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == opened.st_ino
            && named.st_dev == opened.st_dev)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
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
            FPath = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                      + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate64(), 0, 36));
            FFd = ::open(FPath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (FFd < 0 && (errno != EEXIST || attempt == 100)) {
                const int error = errno;
                FPath.clear();
                ThrowSaveError("create", Shown, ErrnoReason(error));
            }
        }
        // Held while the save runs: the cleanup of stale temporaries passes over a live one.
        ::flock(FFd, LOCK_EX | LOCK_NB);
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
TFileStamp WriteInPlace(const QByteArray& Target, TTemporary& Temporary, const QString& Shown)
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
    const TFileStamp written = StampOfDescriptor(target);
    ::close(target);
    if (error != 0) {
        Temporary.Keep();
        ThrowSaveError("write", Shown,
                       ErrnoReason(error)
                           + QStringLiteral(" The new content is kept in \"%1\".").arg(QFile::decodeName(Temporary.Path())));
    }
    return written;
}

// Right before the new content takes the target's place: the target must still be what it was
// when the save was decided on, or what another program wrote since would be lost.
void LookAgain(const QString& Resolved, const TFileStamp* Expected, const QString& Shown)
{
    if (Expected && StampOfPath(Resolved) != *Expected)
        throw ETextFileError(QStringLiteral("Cannot write file \"%1\". It changed on disk while it was being saved, "
                                            "so it was left as it is. Compare again to see what changed.")
                                 .arg(Shown));
}

}  // namespace
#endif

void SaveTextFile(const QString& FileName, const QStringList& Lines,
                  const TTextWriteEncoding& Encoding)
{
    SaveTextFile(FileName, Lines, Encoding, nullptr, nullptr);
}

void SaveTextFile(const QString& FileName, const QStringList& Lines, const TTextWriteEncoding& Encoding,
                  const TFileStamp* Expected, TLoadedFile* Written)
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
    const QByteArray native = QFile::encodeName(resolved);
    struct stat old {};
    const bool exists = ::stat(native.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        ThrowSaveError("create", FileName, ErrnoReason(errno));
    TTemporary temporary(resolved, FileName);
    TSignalCleanup onSignal(temporary.Path());
    TFileHash hash;
    EncodeLinesTo(Lines, Encoding, [&](const QByteArray& chunk) {
        temporary.Write(chunk);
        hash.Add(chunk);
    });
    temporary.Sync();
    if (HoldSaveBeforeReplacing)
        HoldSaveBeforeReplacing(FileName);
    const auto record = [&](const TFileStamp& Stamp) {
        if (!Written)
            return;
        Written->Path = QFileInfo(FileName).absoluteFilePath();
        Written->Stamp = Stamp;
        Written->Hash = hash.Value();
        Written->HashKnown = true;
        Written->Extracted = false;
    };
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
    LookAgain(resolved, Expected, FileName);
    if (inPlace) {
        // From here the temporary may hold the only whole copy of the new content.
        onSignal.Disarm();
        record(WriteInPlace(native, temporary, FileName));
        RemoveStaleTemporaries(resolved);
        return;
    }
    if (::rename(temporary.Path().constData(), native.constData()) != 0)
        ThrowSaveError("write", FileName, ErrnoReason(errno));
    temporary.Renamed();
    onSignal.Disarm();
    record(StampOfDescriptor(temporary.Fd()));
    // The new name is on disk too, not only the new content.
    const int folder = ::open(QFile::encodeName(QFileInfo(resolved).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    RemoveStaleTemporaries(resolved);
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
