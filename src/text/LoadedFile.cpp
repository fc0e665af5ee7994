#include "text/LoadedFile.h"

#include "text/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TFileStamp StampOf(const struct stat& Info)
{
    TFileStamp stamp;
    stamp.Exists = true;
    stamp.Device = quint64(Info.st_dev);
    stamp.Inode = quint64(Info.st_ino);
    stamp.Size = qint64(Info.st_size);
    stamp.ModifiedNs = qint64(Info.st_mtim.tv_sec) * 1000000000 + Info.st_mtim.tv_nsec;
    stamp.ChangedNs = qint64(Info.st_ctim.tv_sec) * 1000000000 + Info.st_ctim.tv_nsec;
    return stamp;
}

// The hash of the file's bytes as they are now; false when it cannot be read whole.
bool HashOfFile(const QString& FileName, quint64& Hash)
{
    const int fd = ::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    TFileHash hash;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        hash.Add(QByteArrayView(buffer, got));
    }
    ::close(fd);
    Hash = hash.Value();
    return true;
}

QString AbsolutePath(const QString& FileName)
{
    return QFileInfo(FileName).absoluteFilePath();
}

}  // namespace

TFileStamp StampOfPath(const QString& FileName)
{
    struct stat info {};
    if (FileName.isEmpty() || ::stat(QFile::encodeName(FileName).constData(), &info) != 0)
        return {};
    return StampOf(info);
}

TFileStamp StampOfDescriptor(int Fd)
{
    struct stat info {};
    if (::fstat(Fd, &info) != 0)
        return {};
    return StampOf(info);
}

void TFileHash::AddBlock(const char* Block, qsizetype Size)
{
    FState = quint64(qHashBits(Block, size_t(Size), size_t(FState))) ^ (FState * 0x9E3779B97F4A7C15ull);
}

void TFileHash::Add(QByteArrayView Bytes)
{
    const char* data = Bytes.data();
    qsizetype left = Bytes.size();
    if (!FPending.isEmpty()) {
        const qsizetype take = std::min(left, BlockSize - FPending.size());
        FPending.append(data, take);
        data += take;
        left -= take;
        if (FPending.size() < BlockSize)
            return;
        AddBlock(FPending.constData(), BlockSize);
        FPending.clear();
    }
    for (; left >= BlockSize; data += BlockSize, left -= BlockSize)
        AddBlock(data, BlockSize);
    if (left > 0)
        FPending.append(data, left);
}

quint64 TFileHash::Value() const
{
    // The length of the tail goes in, so trailing zero bytes count.
    quint64 state = FState ^ quint64(FPending.size());
    return quint64(qHashBits(FPending.constData(), size_t(FPending.size()), size_t(state))) ^ state;
}

quint64 HashOfBytes(QByteArrayView Bytes)
{
    TFileHash hash;
    hash.Add(Bytes);
    return hash.Value();
}

TLoadedFile RecordOfRead(const QString& FileName, int Fd, QByteArrayView Bytes)
{
    TLoadedFile record;
    record.Path = AbsolutePath(FileName);
    record.Stamp = Fd >= 0 ? StampOfDescriptor(Fd) : StampOfPath(FileName);
    record.Hash = HashOfBytes(Bytes);
    record.HashKnown = true;
    // What was read is the truth: a file that grew or shrank after the read has a stamp that no
    // longer belongs to these bytes, and its next look must compare the bytes.
    if (record.Stamp.Size != Bytes.size()) {
        record.Stamp.Size = Bytes.size();
        record.Stamp.ModifiedNs = record.Stamp.ChangedNs = -1;
    }
    return record;
}

TLoadedFile RecordOfDocument(const QString& FileName)
{
    TLoadedFile record;
    record.Path = AbsolutePath(FileName);
    record.Stamp = StampOfPath(FileName);
    record.Extracted = true;
    return record;
}

bool ChangedOnDisk(TLoadedFile& Loaded)
{
    if (!Loaded.Known())
        return false;
    const TFileStamp now = StampOfPath(Loaded.Path);
    if (!now.Exists || now == Loaded.Stamp)
        return false;
    if (now.Size != Loaded.Stamp.Size || !Loaded.HashKnown)
        return true;
    quint64 hash = 0;
    if (!HashOfFile(Loaded.Path, hash))
        return false;   // unreadable now: a save over it finds out for itself
    if (hash != Loaded.Hash)
        return true;
    // Only its stamp moved, and only if the file is still of the size it was hashed at.
    if (StampOfPath(Loaded.Path) == now)
        Loaded.Stamp = now;
    return false;
}

bool IsLoadedFile(const TLoadedFile& Loaded, const QString& FileName)
{
    if (!Loaded.Known() || FileName.isEmpty())
        return false;
    const TFileStamp target = StampOfPath(FileName);
    if (target.Exists && Loaded.Stamp.Exists && target.Device == Loaded.Stamp.Device
        && target.Inode == Loaded.Stamp.Inode)
        return true;
    const QFileInfo a(FileName), b(Loaded.Path);
    const QString ca = a.canonicalFilePath(), cb = b.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return a.absoluteFilePath() == b.absoluteFilePath();
}
