#pragma once
// What a side was read from, kept so that a later look can tell whether the file on disk is
// still what the side holds: another program may append to it or replace it meanwhile.

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// A file's place and state on disk as stat() gives it; Exists false when there is nothing there.
struct TFileStamp {
    bool Exists = false;
    quint64 Device = 0;
    quint64 Inode = 0;
    qint64 Size = -1;
    qint64 ModifiedNs = 0;   // last modification, nanoseconds since the epoch
    qint64 ChangedNs = 0;    // last status change: a write that keeps the size and time shows here
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

// The stamp of the file a path names now, following symbolic links.
[[nodiscard]] TFileStamp StampOfPath(const QString& FileName);
// The stamp of an open file.
[[nodiscard]] TFileStamp StampOfDescriptor(int Fd);

// A 64-bit hash of a byte stream, the same however the stream is cut into pieces (it is taken
// over fixed blocks), so bytes read in one piece and bytes written in chunks compare.
class TFileHash {
public:
    void Add(QByteArrayView Bytes);
    [[nodiscard]] quint64 Value() const;

private:
    static constexpr qsizetype BlockSize = 64 * 1024;
    void AddBlock(const char* Block, qsizetype Size);
    quint64 FState = 0x51ED270B1A3C4D5Eull;
    QByteArray FPending;
};

[[nodiscard]] quint64 HashOfBytes(QByteArrayView Bytes);

// The file a side's text was read from or last written to. An empty Path: the side came from no
// file (or from one whose text was extracted by the document server, see Extracted).
struct TLoadedFile {
    QString Path;            // absolute
    TFileStamp Stamp;        // when it was read or written
    quint64 Hash = 0;        // of the bytes read or written
    bool HashKnown = false;  // false: only the stamp tells (a document sent to the text server)
    // The side holds text extracted from this document: a save goes beside it, never over it.
    bool Extracted = false;
    [[nodiscard]] bool Known() const { return !Path.isEmpty(); }
};

// The record of Bytes just read from FileName through the open descriptor Fd (or, with Fd < 0,
// by path: the stamp then counts only when its size matches, else the hash decides later).
[[nodiscard]] TLoadedFile RecordOfRead(const QString& FileName, int Fd, QByteArrayView Bytes);

// The record of a document whose text comes from elsewhere: its stamp alone.
[[nodiscard]] TLoadedFile RecordOfDocument(const QString& FileName);

// True when the file Loaded names no longer holds the bytes that were read: its size differs, or
// its stamp does and its bytes hash otherwise. A file gone from disk is not "changed" (saving
// over it loses nothing), nor is one that can no longer be read (a save finds out for itself). A file touched but holding the same bytes is not changed either: its
// new stamp is taken into Loaded, so the next look reads nothing.
[[nodiscard]] bool ChangedOnDisk(TLoadedFile& Loaded);

// True when FileName names the file Loaded was read from: the same file on disk, or the same
// path (an editor that saves by replacing the file gives it a new inode).
[[nodiscard]] bool IsLoadedFile(const TLoadedFile& Loaded, const QString& FileName);
