#include "folder/FolderCompare.h"

#include "text/PathBytes.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

constexpr char Separator = '/';

struct TFolderId
{
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFolderId&) const = default;
};

struct TFolderIdHash
{
    size_t operator()(const TFolderId& Id) const noexcept
    {
        return std::hash<std::uint64_t>()(std::uint64_t(Id.Inode) * 0x9E3779B97F4A7C15ull ^ std::uint64_t(Id.Device));
    }
};

[[nodiscard]] TFolderId IdOf(const struct stat& St)
{
    return {St.st_dev, St.st_ino};
}

struct TSubfolder
{
    std::string Name;
    TFolderId Id;
    bool ThroughLink = false;
};

[[nodiscard]] std::string WithSeparator(std::string Path)
{
    if (Path.empty() || Path.back() != Separator)
        Path += Separator;
    return Path;
}

[[nodiscard]] QString Display(const std::string& Bytes)
{
    return QString::fromUtf8(Bytes.data(), qsizetype(Bytes.size()));
}

[[nodiscard]] QString SystemReason(int Error)
{
    return QString::fromLocal8Bit(std::strerror(Error));
}

[[nodiscard]] qint64 ModifiedNsOf(const struct stat& St)
{
    return qint64(St.st_mtim.tv_sec) * 1'000'000'000 + St.st_mtim.tv_nsec;
}

[[nodiscard]] QByteArray LinkTextAt(int DirFd, const char* Name)
{
    char Buffer[PATH_MAX];
    const ssize_t N = ::readlinkat(DirFd, Name, Buffer, sizeof Buffer);
    return N > 0 ? QByteArray(Buffer, qsizetype(N)) : QByteArray();
}

constexpr int ListFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// The kernel's process folders hold links (root, cwd, fd/N, task/N/root) that lead back into
// the whole system or into the listing itself; they are not followed from there.
[[nodiscard]] bool IsProcessFileSystem(int Fd)
{
    struct statfs Fs;
    return ::fstatfs(Fd, &Fs) == 0 && Fs.f_type == PROC_SUPER_MAGIC;
}

// Lists one side's tree without recursion: a stack of frames, one per folder on the way down,
// each holding its folder open so a subfolder is opened by its name alone (paths may grow far
// beyond the system's limit). Only the deepest few frames keep their descriptor; a shallower
// one is opened again from the nearest open frame above it when the walk climbs back to it.
// Each real folder is listed once, so link cycles end and many links to one folder list it once.
class TTreeWalker
{
public:
    TTreeWalker(TFolderEntries& Files, TFolderEntries* Folders, TFolderProblems* Problems,
                TFolderCompareControl* Control)
        : FFiles(Files), FFolders(Folders), FProblems(Problems), FControl(Control)
    {
    }
    ~TTreeWalker()
    {
        for (const TFrame& Frame : FFrames)
            if (Frame.Fd >= 0)
                ::close(Frame.Fd);
    }
    TTreeWalker(const TTreeWalker&) = delete;
    TTreeWalker& operator=(const TTreeWalker&) = delete;

    // Start: the folder to list, as the user gives it, with a separator at the end; Relative:
    // its path below the root (empty, or ending in a separator); RootId: the tree's root folder.
    void Walk(const std::string& Start, const std::string& Relative, TFolderId RootId)
    {
        FStart = Start;
        FRelative = Relative;
        FStartRelative = Relative.size();
        FRootId = RootId;
        const int Fd = ::open(Start.c_str(), ListFolderFlags);
        struct stat St;
        if (Fd < 0 || ::fstat(Fd, &St) != 0) {
            Problem(Start, SystemReason(errno));
            if (Fd >= 0)
                ::close(Fd);
            return;
        }
        FVisited.insert(IdOf(St));
        FFrames.push_back({Fd, IdOf(St), {}, FRelative.size(), {}, 0});
        ReadFolder(FFrames.back());

        while (!FFrames.empty() && !Cancelled()) {
            TFrame& Top = FFrames.back();
            if (Top.Next == Top.Subfolders.size()) {
                Close(Top);
                FFrames.pop_back();
                continue;
            }
            TSubfolder Sub = std::move(Top.Subfolders[Top.Next++]);
            if (FVisited.count(Sub.Id) != 0)
                continue;   // a cycle, or a folder listed already through another link
            FRelative.resize(Top.RelativeEnd);
            FRelative += Sub.Name;
            if (!Reopen(FFrames.size() - 1)) {
                Top.Next = Top.Subfolders.size();   // the rest of this folder is out of reach
                continue;
            }
            const int Fd = ::openat(Top.Fd, Sub.Name.c_str(), ListFolderFlags);
            if (Fd < 0) {
                const int Error = errno;
                Problem(Here() + Separator, SystemReason(Error));
                AddFolder(FRelative.size(), TFolderEntry::Unreadable, SystemReason(Error));
                continue;
            }
            // The folder opened must be the one looked at, even if a link was swapped in meanwhile.
            if (::fstat(Fd, &St) != 0 || !(IdOf(St) == Sub.Id)) {
                ::close(Fd);
                Problem(Here() + Separator, QStringLiteral("The folder changed while it was read."));
                continue;
            }
            if (Sub.ThroughLink && LeadsInsideTree(Fd, Sub.Id)) {
                ::close(Fd);
                continue;   // listed under its real path
            }
            FVisited.insert(Sub.Id);
            FRelative += Separator;
            FFrames.push_back({Fd, Sub.Id, std::move(Sub.Name), FRelative.size(), {}, 0});
            KeepWithinBudget();
            const bool Empty = ReadFolder(FFrames.back());
            AddFolder(FFrames.back().RelativeEnd - 1, Empty ? TFolderEntry::Empty : TFolderEntry::Listed);
        }
    }

private:
    struct TFrame
    {
        int Fd = -1;                    // -1 while closed to stay within the budget
        TFolderId Id;
        std::string Name;               // in the folder of the frame above
        size_t RelativeEnd = 0;         // the length of its relative path, separator included
        std::vector<TSubfolder> Subfolders;
        size_t Next = 0;
    };

    // Descriptors held per side: the deepest frames' and the start folder's.
    static constexpr size_t Budget = 48;

    [[nodiscard]] bool Cancelled() const { return FControl && FControl->Cancel.load(std::memory_order_relaxed); }

    // The full path of FRelative, as the user would type it (for messages only).
    [[nodiscard]] std::string Here() const { return FStart + FRelative.substr(FStartRelative); }

    void Problem(const std::string& Path, const QString& Reason) const
    {
        if (FProblems)
            FProblems->Add({Display(Path), Reason});
    }

    // A folder found below the start, whose path is the first Length bytes of FRelative.
    void AddFolder(size_t Length, TFolderEntry::TFolderState State, const QString& Reason = QString())
    {
        if (!FFolders)
            return;
        TFolderEntry Entry;
        Entry.Bytes = QByteArray(FRelative.data(), qsizetype(Length));
        Entry.Path = QString::fromUtf8(Entry.Bytes);
        Entry.Type = TFolderEntryType::Folder;
        Entry.Mode = S_IFDIR;
        Entry.Folder = State;
        Entry.Reason = Reason;
        FFolders->append(std::move(Entry));
    }

    void Close(TFrame& Frame)
    {
        if (Frame.Fd >= 0) {
            ::close(Frame.Fd);
            Frame.Fd = -1;
        }
    }

    void KeepWithinBudget()
    {
        if (FFrames.size() > Budget + 1)
            Close(FFrames[FFrames.size() - Budget - 1]);
    }

    // Opens frame Index again from the nearest open frame above it, keeping the last ones open.
    [[nodiscard]] bool Reopen(size_t Index)
    {
        if (FFrames[Index].Fd >= 0)
            return true;
        size_t Open = Index;
        while (FFrames[Open].Fd < 0)
            --Open;   // the start folder's frame is never closed
        for (size_t I = Open + 1; I <= Index; ++I) {
            TFrame& Frame = FFrames[I];
            const int Fd = ::openat(FFrames[I - 1].Fd, Frame.Name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            struct stat St;
            if (Fd < 0 || ::fstat(Fd, &St) != 0 || !(IdOf(St) == Frame.Id)) {
                if (Fd >= 0)
                    ::close(Fd);
                Problem(FStart + std::string(FRelative, FStartRelative, Frame.RelativeEnd - FStartRelative),
                        QStringLiteral("The folder changed while it was read."));
                return false;
            }
            Frame.Fd = Fd;
            if (I - 1 > 0 && Index - (I - 1) >= Budget)
                Close(FFrames[I - 1]);
        }
        return true;
    }

    // A link's folder lies inside the tree when the root is among its parents; the climb goes by
    // "..", which needs no path and so no limit on its length.
    [[nodiscard]] bool LeadsInsideTree(int Fd, TFolderId Id) const
    {
        if (Id == FRootId)
            return true;
        TFolderId Below = Id;
        int Current = ::openat(Fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        while (Current >= 0) {
            struct stat St;
            if (::fstat(Current, &St) != 0)
                break;
            const TFolderId Up = IdOf(St);
            if (Up == FRootId || Up == Below) {
                ::close(Current);
                return Up == FRootId;   // else the top of the file system
            }
            Below = Up;
            const int Next = ::openat(Current, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
            ::close(Current);
            Current = Next;
        }
        if (Current >= 0)
            ::close(Current);
        return false;
    }

    // Reads the entries of the frame's folder: files into the list, subfolders into the frame
    // (in name order, so which of several links to one folder lists it does not depend on the
    // order of enumeration). Tells whether the folder held nothing.
    bool ReadFolder(TFrame& Frame)
    {
        const bool InProc = IsProcessFileSystem(Frame.Fd);
        FBuffer.resize(64 * 1024);
        bool Empty = true;
        for (;;) {
            const ssize_t Got = ::getdents64(Frame.Fd, FBuffer.data(), FBuffer.size());
            if (Got < 0) {
                if (errno == EINTR)
                    continue;
                Problem(Here(), SystemReason(errno));
                break;
            }
            if (Got == 0)
                break;
            for (ssize_t At = 0; At < Got;) {
                const auto* Ent = reinterpret_cast<const struct dirent64*>(FBuffer.data() + At);
                At += Ent->d_reclen;
                const char* Name = Ent->d_name;
                if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
                    continue;
                Empty = false;
                if (Cancelled())
                    return Empty;
                AddEntry(Frame, Name, Ent->d_type, InProc);
            }
        }
        std::sort(Frame.Subfolders.begin(), Frame.Subfolders.end(),
                  [](const TSubfolder& A, const TSubfolder& B) { return A.Name < B.Name; });
        return Empty;
    }

    void AddEntry(TFrame& Frame, const char* Name, unsigned char DType, bool InProc)
    {
        const int DirFd = Frame.Fd;
        // Follows links, so a link to a folder is listed like the folder and a link to a file
        // reports the file's size and time. Nothing is opened here: a FIFO or a device is only
        // looked at.
        struct stat St;
        const bool Known = ::fstatat(DirFd, Name, &St, 0) == 0;
        const int Error = Known ? 0 : errno;
        if (Known && S_ISDIR(St.st_mode)) {
            bool ThroughLink = DType == DT_LNK;
            struct stat Own;
            if (DType == DT_UNKNOWN && ::fstatat(DirFd, Name, &Own, AT_SYMLINK_NOFOLLOW) == 0)
                ThroughLink = S_ISLNK(Own.st_mode);
            if (!(ThroughLink && InProc))
                Frame.Subfolders.push_back({Name, IdOf(St), ThroughLink});
            return;
        }
        FRelative.resize(Frame.RelativeEnd);
        FRelative += Name;
        TFolderEntry Entry;
        Entry.Bytes = QByteArray(FRelative.data(), qsizetype(FRelative.size()));
        Entry.Path = Display(FRelative);
        if (Known) {
            Entry.Size = qint64(St.st_size);
            Entry.ModifiedNs = ModifiedNsOf(St);
            Entry.HasTime = true;
            Entry.Type = S_ISREG(St.st_mode) ? TFolderEntryType::Regular : TFolderEntryType::Other;
            Entry.Mode = std::uint32_t(St.st_mode & S_IFMT);
        } else {
            struct stat Own;
            if (::fstatat(DirFd, Name, &Own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(Own.st_mode)) {
                // A link that leads nowhere or loops: shown, and compared by its text.
                Entry.Type = TFolderEntryType::Link;
                Entry.LinkTarget = LinkTextAt(DirFd, Name);
                Entry.ModifiedNs = ModifiedNsOf(Own);
                Entry.HasTime = true;
                Entry.LinkLoops = Error == ELOOP;
                Entry.Mode = S_IFLNK;
                Problem(Here(), Entry.LinkLoops ? QStringLiteral("The link loops.")
                                                : QStringLiteral("The link leads nowhere."));
            } else if (DType == DT_DIR) {
                Problem(Here(), SystemReason(Error));   // a folder that cannot be looked into
                AddFolder(FRelative.size(), TFolderEntry::Unreadable, SystemReason(Error));
                return;
            } else {
                Problem(Here(), SystemReason(Error));
                Entry.Reason = SystemReason(Error);
            }
        }
        FFiles.append(std::move(Entry));
        if (FControl)
            FControl->FilesListed.fetch_add(1, std::memory_order_relaxed);
    }

    TFolderEntries& FFiles;
    TFolderEntries* FFolders;
    TFolderProblems* FProblems;
    TFolderCompareControl* FControl;
    std::string FStart, FRelative;
    size_t FStartRelative = 0;
    TFolderId FRootId;
    std::vector<TFrame> FFrames;
    std::unordered_set<TFolderId, TFolderIdHash> FVisited;
    std::vector<char> FBuffer;
};

// The order of the rows: the locale's collation with letter case ignored, then letter case,
// then the bytes of the name, so the order is total and equal names on both sides meet. The C
// locale's collator neither ignores case in its sort keys nor follows any language, so there the
// key is the case-folded text in code-unit order.
class TPathOrder
{
public:
    TPathOrder()
    {
        Collator.setCaseSensitivity(Qt::CaseInsensitive);
        CaseCollator.setCaseSensitivity(Qt::CaseSensitive);
        UseCollator = Collator.locale().language() != QLocale::C;
    }

    struct TKey
    {
        std::optional<QCollatorSortKey> Collated;
        QString Folded;
    };

    [[nodiscard]] TKey KeyOf(const QString& Path) const
    {
        TKey Key;
        if (UseCollator)
            Key.Collated = Collator.sortKey(Path);
        else
            Key.Folded = Path.toCaseFolded();
        return Key;
    }

    [[nodiscard]] int Compare(const TKey& A, const TFolderEntry& EntryA, const TKey& B, const TFolderEntry& EntryB) const
    {
        if (A.Collated) {
            if (const int C = A.Collated->compare(*B.Collated))
                return C;
            if (const int C = CaseCollator.compare(EntryA.Path, EntryB.Path))
                return C;
        } else if (const int C = A.Folded.compare(B.Folded)) {
            return C;
        }
        if (const int C = EntryA.Path.compare(EntryB.Path))
            return C;
        return EntryA.Bytes.compare(EntryB.Bytes);
    }

private:
    QCollator Collator;       // the default QLocale's
    QCollator CaseCollator;   // the tie-break; not thread-safe, like Collator
    bool UseCollator = true;
};

struct TSortedSide
{
    TFolderEntries Files;
    std::vector<TPathOrder::TKey> Keys;
};

[[nodiscard]] TSortedSide SortSide(TFolderEntries Files, const TPathOrder& Order)
{
    std::vector<TPathOrder::TKey> Keys;
    Keys.reserve(size_t(Files.size()));
    for (const TFolderEntry& F : Files)
        Keys.push_back(Order.KeyOf(F.Path));

    std::vector<qsizetype> Index(size_t(Files.size()));
    for (size_t i = 0; i < Index.size(); ++i)
        Index[i] = qsizetype(i);
    std::sort(Index.begin(), Index.end(), [&](qsizetype A, qsizetype B) {
        return Order.Compare(Keys[size_t(A)], Files[A], Keys[size_t(B)], Files[B]) < 0;
    });

    TSortedSide Sorted;
    Sorted.Files.reserve(Files.size());
    Sorted.Keys.reserve(Index.size());
    for (const qsizetype I : Index) {
        // The same bytes twice (cannot happen in one folder) stay one entry.
        if (!Sorted.Files.isEmpty() && Sorted.Files.back().Bytes == Files[I].Bytes)
            continue;
        Sorted.Files.append(std::move(Files[I]));
        Sorted.Keys.push_back(std::move(Keys[size_t(I)]));
    }
    return Sorted;
}

// Judged without reading: whether the pair needs its bytes compared is told apart.
enum class TJudgement { Equal, Different, ReadBytes };

[[nodiscard]] TJudgement JudgeBoth(const TFolderEntry& L, const TFolderEntry& R)
{
    if (L.Type != R.Type || L.Type == TFolderEntryType::Unknown)
        return TJudgement::Different;
    if (L.Type == TFolderEntryType::Link)
        return L.LinkTarget == R.LinkTarget ? TJudgement::Equal : TJudgement::Different;
    if (L.Size < 0 || R.Size < 0)
        return TJudgement::Different;
    // Only regular files are opened: a FIFO or a device would block or never end. A size of 0
    // proves nothing: files of /proc and /sys say 0 and hold text all the same.
    if (L.Type != TFolderEntryType::Regular)
        return L.Size == R.Size ? TJudgement::Equal : TJudgement::Different;
    return L.Size == R.Size || L.Size == 0 || R.Size == 0 ? TJudgement::ReadBytes : TJudgement::Different;
}

void MarkNewer(TFolderComparison& Result, qsizetype Row, const TFolderEntry& L, const TFolderEntry& R)
{
    if (!L.HasTime || !R.HasTime || L.Type != TFolderEntryType::Regular || R.Type != TFolderEntryType::Regular)
        return;   // a link's own time says nothing about which side is newer
    Result.LeftNewer[Row] = L.ModifiedNs > R.ModifiedNs;
    Result.RightNewer[Row] = R.ModifiedNs > L.ModifiedNs;
}

// Folders make rows only where there is something to tell: one on one side only that holds
// nothing (its files would tell otherwise), one that could not be listed, one whose name is a file
// on the other side. Files always make rows.
[[nodiscard]] bool ShowsFolderRow(const TFolderEntry* L, const TFolderEntry* R)
{
    const bool LeftFolder = L && L->Type == TFolderEntryType::Folder;
    const bool RightFolder = R && R->Type == TFolderEntryType::Folder;
    if (!LeftFolder && !RightFolder)
        return true;
    if (L && R && LeftFolder != RightFolder)
        return true;
    const bool Unlisted = (LeftFolder && L->Folder == TFolderEntry::Unreadable)
                          || (RightFolder && R->Folder == TFolderEntry::Unreadable);
    if (Unlisted)
        return true;
    return !(L && R) && (L ? L : R)->Folder == TFolderEntry::Empty;
}

[[nodiscard]] TFolderSide SideOf(const TFolderEntry* Entry)
{
    if (!Entry)
        return TFolderSide::Absent;
    switch (Entry->Type) {
    case TFolderEntryType::Regular: return TFolderSide::File;
    case TFolderEntryType::Other: return TFolderSide::Special;
    case TFolderEntryType::Link: return Entry->LinkLoops ? TFolderSide::LoopingLink : TFolderSide::DanglingLink;
    case TFolderEntryType::Folder: return TFolderSide::Folder;
    case TFolderEntryType::Unknown: break;
    }
    return TFolderSide::File;
}

[[nodiscard]] bool IsUnreadable(const TFolderEntry* Entry)
{
    return Entry
           && (Entry->Type == TFolderEntryType::Unknown
               || (Entry->Type == TFolderEntryType::Folder && Entry->Folder == TFolderEntry::Unreadable));
}

// A folder's cell ends in a separator, as listings mark folders.
[[nodiscard]] QString CellOf(const TFolderEntry* Entry)
{
    if (!Entry)
        return QString();
    return Entry->Type == TFolderEntryType::Folder ? Entry->Path + QLatin1Char(Separator) : Entry->Path;
}

[[nodiscard]] TFolderEntries ListTree(const QString& Root, TFolderProblems& Problems, TFolderCompareControl* Control)
{
    // The folders go into the same list: an empty one, one that could not be listed, or one whose
    // name is a file on the other side makes a row, and --diff names one-sided folders whole.
    TFolderEntries Files, Folders;
    ListFilesRecursive(Root, Root, Files, &Problems, Control, &Folders);
    Files.append(std::move(Folders));
    return Files;
}

class TFileDescriptor
{
public:
    explicit TFileDescriptor(int Fd) : Fd(Fd) {}
    ~TFileDescriptor()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Fd;
};

// A file whose bytes could not be read, and the reason.
class TReadFailure : public std::runtime_error
{
public:
    TReadFailure(const QByteArray& Path, const QString& Reason)
        : std::runtime_error((QString::fromUtf8(Path) + QStringLiteral(": ") + Reason).toStdString())
        , Problem{QString::fromUtf8(Path), Reason}
    {
    }
    TFolderProblem Problem;
};

[[noreturn]] void ThrowUnreadable(const QByteArray& Path, int Error)
{
    throw TReadFailure(Path, SystemReason(Error));
}

// A file to read: a folder held open and the file's name in it (or AT_FDCWD and the whole path).
// The full path is put together only for a message.
struct TFileRef
{
    int DirFd = AT_FDCWD;
    const char* Name = nullptr;
    QByteArray Folder;   // what Name is relative to, as the user would type it; empty for AT_FDCWD

    [[nodiscard]] QByteArray Path() const { return Folder + Name; }
};

// Opens a regular file for reading and gives its size; never waits on a FIFO that was swapped in.
[[nodiscard]] int OpenRegular(const TFileRef& File, qint64& Size)
{
    const int Fd = ::openat(File.DirFd, File.Name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (Fd < 0)
        ThrowUnreadable(File.Path(), errno);
    struct stat St;
    if (::fstat(Fd, &St) != 0) {
        const int Error = errno;
        ::close(Fd);
        ThrowUnreadable(File.Path(), Error);
    }
    if (!S_ISREG(St.st_mode)) {
        ::close(Fd);
        throw TReadFailure(File.Path(), QStringLiteral("Not a regular file."));
    }
    Size = qint64(St.st_size);
    return Fd;
}

// Reads up to Count bytes; fewer only at the end of the file.
[[nodiscard]] qint64 ReadFully(int Fd, char* Buffer, qint64 Count, const TFileRef& File)
{
    qint64 Done = 0;
    while (Done < Count) {
        const ssize_t N = ::read(Fd, Buffer + Done, size_t(Count - Done));
        if (N < 0) {
            if (errno == EINTR)
                continue;
            ThrowUnreadable(File.Path(), errno);
        }
        if (N == 0)
            break;
        Done += N;
    }
    return Done;
}

constexpr qint64 BlockSize = 256 * 1024;

// A file that says it is empty may be a pseudo-file whose content is made as it is read; some
// never end (/proc/self/pagemap), so reading stops here and the pair is not judged.
constexpr qint64 PseudoFileLimit = 16 * 1024 * 1024;

// Reads both files to their ends, whatever their stated sizes, and compares.
bool SamePseudoContents(int LeftFd, const TFileRef& LeftFile, int RightFd, const TFileRef& RightFile,
                        std::vector<char>& A, std::vector<char>& B, const TFolderCompareControl* Control)
{
    for (qint64 Done = 0;;) {
        if (Control && Control->Cancel.load(std::memory_order_relaxed))
            return false;   // the result is dropped
        const qint64 GotLeft = ReadFully(LeftFd, A.data(), BlockSize, LeftFile);
        const qint64 GotRight = ReadFully(RightFd, B.data(), BlockSize, RightFile);
        if (GotLeft != GotRight || std::memcmp(A.data(), B.data(), size_t(GotLeft)) != 0)
            return false;
        if (GotLeft < BlockSize)
            return true;
        Done += GotLeft;
        if (Done >= PseudoFileLimit)
            throw TReadFailure(LeftFile.Path(), QStringLiteral("It says it is empty but reads on beyond %1 MiB.")
                                                    .arg(PseudoFileLimit / (1024 * 1024)));
    }
}

bool SameContents(const TFileRef& LeftFile, const TFileRef& RightFile, std::vector<char>& A, std::vector<char>& B,
                  const TFolderCompareControl* Control)
{
    qint64 LeftSize = 0, RightSize = 0;
    const TFileDescriptor Left(OpenRegular(LeftFile, LeftSize));
    const TFileDescriptor Right(OpenRegular(RightFile, RightSize));
    A.resize(size_t(BlockSize));
    B.resize(size_t(BlockSize));
    if (LeftSize == 0 || RightSize == 0)
        return SamePseudoContents(Left.Fd, LeftFile, Right.Fd, RightFile, A, B, Control);
    if (LeftSize != RightSize)
        return false;   // changed since it was listed
    for (qint64 Remaining = LeftSize; Remaining > 0;) {
        if (Control && Control->Cancel.load(std::memory_order_relaxed))
            return false;   // the result is dropped
        const qint64 Want = std::min(Remaining, BlockSize);
        const qint64 GotLeft = ReadFully(Left.Fd, A.data(), Want, LeftFile);
        const qint64 GotRight = ReadFully(Right.Fd, B.data(), Want, RightFile);
        if (GotLeft != GotRight || std::memcmp(A.data(), B.data(), size_t(GotLeft)) != 0)
            return false;
        if (GotLeft < Want)
            return true;   // both shrank alike since they were listed
        Remaining -= Want;
    }
    return true;
}

// Only to look names up in: a folder that may be searched but not listed still serves.
#ifdef O_PATH
constexpr int FolderOpenFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Opens Root + Relative (a folder; Relative empty or ending in a separator) for lookups. A path
// beyond the system's limit is opened piece by piece, each piece relative to the one before.
[[nodiscard]] int OpenFolderPath(const QByteArray& Root, const QByteArray& Relative)
{
    if (Root.size() + Relative.size() < PATH_MAX)
        return ::open((Root + Relative).constData(), FolderOpenFlags);
    int Fd = ::open(Root.constData(), FolderOpenFlags);
    for (qsizetype At = 0; Fd >= 0 && At < Relative.size();) {
        qsizetype End = std::min(Relative.size(), At + PATH_MAX - 1);
        if (End < Relative.size())
            End = Relative.lastIndexOf(Separator, End - 1) + 1;
        if (End <= At) {
            ::close(Fd);
            errno = ENAMETOOLONG;
            return -1;   // one name longer than the limit: the file system holds none
        }
        const QByteArray Piece = Relative.sliced(At, End - At);
        const int Next = ::openat(Fd, Piece.constData(), FolderOpenFlags);
        ::close(Fd);
        Fd = Next;
        At = End;
    }
    return Fd;
}

// One side's folder of the pairs being read, held open while consecutive pairs lie in it, so a
// file is opened by its name alone instead of walking its whole path again.
class TFolderCursor
{
public:
    explicit TFolderCursor(const QString& Root) : FRoot(PathBytes(Root))
    {
        if (!FRoot.endsWith(Separator))
            FRoot += Separator;
    }
    ~TFolderCursor() { Close(); }
    TFolderCursor(const TFolderCursor&) = delete;
    TFolderCursor& operator=(const TFolderCursor&) = delete;

    // The file at Relative ('/'-separated, below the root). Relative must outlive the result.
    [[nodiscard]] TFileRef Locate(const QByteArray& Relative)
    {
        const auto* Last = static_cast<const char*>(::memrchr(Relative.constData(), Separator, size_t(Relative.size())));
        const qsizetype Slash = Last ? Last - Relative.constData() : -1;
        const QByteArrayView Folder(Relative.constData(), Slash + 1);
        if (!FOpen || Folder != QByteArrayView(FFolder)) {
            Close();
            FOpen = true;
            FFolder = Folder.toByteArray();
            FFolderPath = FRoot + FFolder;
            FFd = OpenFolderPath(FRoot, FFolder);
        }
        if (FFd < 0) {
            // Opened by its whole path, so the message is about the file.
            FWhole = FRoot + Relative;
            return {AT_FDCWD, FWhole.constData(), {}};
        }
        return {FFd, Relative.constData() + Slash + 1, FFolderPath};
    }

private:
    void Close()
    {
        if (FFd >= 0)
            ::close(FFd);
        FFd = -1;
        FOpen = false;
    }

    QByteArray FRoot, FFolder, FFolderPath, FWhole;
    int FFd = -1;
    bool FOpen = false;
};

// Compares the bytes of the rows in Rows on a few threads; a pair that cannot be read becomes
// different, and its reason a problem.
void CompareContents(TFolderComparison& Result, const std::vector<qsizetype>& Rows, TFolderCompareControl* Control)
{
    if (Rows.empty())
        return;
    if (Control)
        Control->PairsToRead.store(qint64(Rows.size()), std::memory_order_relaxed);
    // Workers take runs of neighbouring rows, which mostly share their folders.
    constexpr size_t Run = 16;
    std::atomic<size_t> Next{0};
    const unsigned Threads =
        unsigned(std::clamp<size_t>(Rows.size() / 64 + 1, 1, size_t(std::clamp(std::thread::hardware_concurrency(), 2u, 4u))));
    std::vector<TFolderProblems> Problems(Threads);
    std::vector<std::vector<std::pair<qsizetype, QString>>> Reasons(Threads);
    std::vector<std::exception_ptr> Failures(Threads);
    // Each worker writes only the kinds of its own rows, through pointers taken here, once:
    // a non-const [] on a list from several threads could detach it.
    TDiffItem* const Items = Result.Items.data();
    TFolderRowInfo* const Info = Result.Info.data();
    auto Work = [&](unsigned Worker) {
        try {
            std::vector<char> A, B;
            TFolderCursor LeftFolder(Result.LeftRoot), RightFolder(Result.RightRoot);
            for (size_t First = Next.fetch_add(Run); First < Rows.size(); First = Next.fetch_add(Run)) {
                for (size_t I = First; I < std::min(First + Run, Rows.size()); ++I) {
                    if (Control && Control->Cancel.load(std::memory_order_relaxed))
                        return;
                    const qsizetype Row = Rows[I];
                    bool Same = false;
                    const TFileRef LeftRef = LeftFolder.Locate(std::as_const(Result.LeftBytes)[Row]);
                    const TFileRef RightRef = RightFolder.Locate(std::as_const(Result.RightBytes)[Row]);
                    try {
                        Same = SameContents(LeftRef, RightRef, A, B, Control);
                    } catch (const TReadFailure& Failure) {
                        // Not different: nobody knows. The row says so, with the reason.
                        Problems[Worker].Add(Failure.Problem);
                        const bool LeftFailed = Failure.Problem.Path == QString::fromUtf8(LeftRef.Path());
                        (LeftFailed ? Info[Row].LeftUnreadable : Info[Row].RightUnreadable) = true;
                        Reasons[Worker].emplace_back(Row, Failure.Problem.Reason);
                    }
                    Items[Row].Kind = Same ? dkEqual : dkDifferent;
                    if (Control)
                        Control->PairsRead.fetch_add(1, std::memory_order_relaxed);
                }
            }
        } catch (...) {
            Failures[Worker] = std::current_exception();
            if (Control)
                Control->Cancel = true;   // the others stop too
        }
    };
    std::vector<std::thread> Pool;
    for (unsigned W = 1; W < Threads; ++W) {
        try {
            Pool.emplace_back(Work, W);
        } catch (const std::system_error&) {
            break;   // fewer threads then
        }
    }
    Work(0);
    for (std::thread& T : Pool)
        T.join();
    for (const std::exception_ptr& Failure : Failures)
        if (Failure)
            std::rethrow_exception(Failure);
    for (const TFolderProblems& P : Problems)
        Result.Problems.Add(P);
    for (const auto& Of : Reasons)
        for (const auto& [Row, Reason] : Of)
            Result.Reasons.insert(Row, Reason);
}

// Writes Count with the thousands grouped, "41,000".
[[nodiscard]] QString Grouped(qint64 Count)
{
    return QLocale(QLocale::English).toString(Count);
}

[[nodiscard]] QString Shortened(const QString& Path)
{
    constexpr qsizetype Head = 80, Tail = 120;
    return Path.size() <= Head + Tail + 1 ? Path : Path.left(Head) + QChar(0x2026) + Path.right(Tail);
}

} // namespace

void TFolderProblems::Add(const TFolderProblem& Problem)
{
    // The first in path order, so the one named does not depend on the order of listing.
    if (Count == 0 || Problem.Path < First.Path)
        First = Problem;
    ++Count;
}

void TFolderProblems::Add(const TFolderProblems& Other)
{
    if (Other.Count == 0)
        return;
    if (Count == 0 || Other.First.Path < First.Path)
        First = Other.First;
    Count += Other.Count;
}

bool TFolderComparison::IsDifference(qsizetype Item) const
{
    const TDiffKind Kind = Items[Item].Kind;
    if (Kind == dkEqual)
        return false;
    return Kind != dkDifferent || Item >= Info.size() || !Info[Item].Unreadable();
}

bool TFolderComparison::HasDifferences() const
{
    for (qsizetype I = 0; I < Items.size(); ++I)
        if (IsDifference(I))
            return true;
    return false;
}

qsizetype TFolderComparison::CountOf(TDiffKind Kind) const
{
    qsizetype Count = 0;
    for (qsizetype I = 0; I < Items.size(); ++I)
        Count += Items[I].Kind == Kind && (Kind == dkEqual || IsDifference(I));
    return Count;
}

qsizetype TFolderComparison::UnreadableCount() const
{
    return std::count_if(Info.cbegin(), Info.cend(), [](const TFolderRowInfo& I) { return I.Unreadable(); });
}

TDiffItems FolderNavigationItems(const TFolderComparison& Comparison, bool SkipUnreadable)
{
    TDiffItems Items = Comparison.Items;   // shared until a row changes
    if (!SkipUnreadable)
        return Items;
    for (qsizetype I = 0; I < Comparison.Info.size() && I < Items.size(); ++I)
        if (Comparison.Info[I].Unreadable())
            Items[I].Kind = dkEqual;
    return Items;
}

const char* FileTypeWord(std::uint32_t Mode, qint64 Size)
{
    switch (Mode & S_IFMT) {
    case S_IFREG: return Size == 0 ? "regular empty file" : "regular file";
    case S_IFDIR: return "directory";
    case S_IFIFO: return "fifo";
    case S_IFSOCK: return "socket";
    case S_IFCHR: return "character special file";
    case S_IFBLK: return "block special file";
    case S_IFLNK: return "symbolic link";
    default: return "weird file";
    }
}

QString FolderSideBadge(const TFolderComparison& Comparison, qsizetype Item, int Col)
{
    if (Item < 0 || Item >= Comparison.Info.size() || (Col != 1 && Col != 2))
        return QString();
    const TFolderRowInfo& Info = Comparison.Info[Item];
    if (Col == 1 ? Info.LeftUnreadable : Info.RightUnreadable)
        return QStringLiteral("could not be read");
    switch (Col == 1 ? Info.Left : Info.Right) {
    case TFolderSide::Folder: return QStringLiteral("folder");
    case TFolderSide::DanglingLink: return QStringLiteral("dangling link");
    case TFolderSide::LoopingLink: return QStringLiteral("looping link");
    case TFolderSide::Special: return QStringLiteral("special file");
    case TFolderSide::File: return Info.FileVersusFolder() ? QStringLiteral("file") : QString();
    case TFolderSide::Absent: break;
    }
    return QString();
}

QString FolderRowToolTip(const TFolderComparison& Comparison, qsizetype Item, int Col)
{
    if (Item < 0 || Item >= Comparison.Info.size() || (Col != 1 && Col != 2))
        return QString();
    const TFolderRowInfo& Info = Comparison.Info[Item];
    const bool Left = Col == 1;
    const TFolderSide Side = Left ? Info.Left : Info.Right;
    if (Side == TFolderSide::Absent)
        return QString();
    if (Left ? Info.LeftUnreadable : Info.RightUnreadable)
        return QStringLiteral("Could not be read: %1").arg(Comparison.Reasons.value(Item));
    const QString Target = QFile::decodeName((Left ? Comparison.LeftLinkTargets : Comparison.RightLinkTargets).value(Item));
    switch (Side) {
    case TFolderSide::DanglingLink: return QStringLiteral("A dangling link to %1").arg(Target);
    case TFolderSide::LoopingLink: return QStringLiteral("A link that loops: %1").arg(Target);
    case TFolderSide::Folder:
        if (Info.FileVersusFolder())
            return Left ? QStringLiteral("A folder here, a file on the right") : QStringLiteral("A folder here, a file on the left");
        return QStringLiteral("An empty folder");
    case TFolderSide::File:
    case TFolderSide::Special:
        if (Info.FileVersusFolder())
            return Left ? QStringLiteral("A file here, a folder on the right") : QStringLiteral("A file here, a folder on the left");
        break;
    case TFolderSide::Absent: break;
    }
    return QString();
}

qint64 FileSizeOf(const QString& Path)
{
    struct stat St;
    if (::stat(PathBytes(Path).constData(), &St) != 0 || S_ISDIR(St.st_mode))
        return -1;
    return qint64(St.st_size);
}

void ListFilesRecursive(const QString& Root, const QString& Folder, TFolderEntries& Files, TFolderProblems* Problems,
                        TFolderCompareControl* Control, TFolderEntries* Folders)
{
    const std::string RootBytes = WithSeparator(PathBytes(Root).toStdString());
    const std::string FolderBytes = WithSeparator(PathBytes(Folder).toStdString());
    const std::string Relative = FolderBytes.compare(0, RootBytes.size(), RootBytes) == 0
                                     ? FolderBytes.substr(RootBytes.size())
                                     : std::string();
    struct stat St;
    const bool Found = ::stat(FolderBytes.c_str(), &St) == 0;
    const int Error = errno;
    if (!Found || !S_ISDIR(St.st_mode)) {
        if (Problems)
            Problems->Add({Display(FolderBytes), Found ? QStringLiteral("Not a folder.") : SystemReason(Error)});
        return;
    }
    struct stat RootSt;
    const TFolderId RootId = ::stat(RootBytes.c_str(), &RootSt) == 0 ? IdOf(RootSt) : IdOf(St);
    TTreeWalker Walker(Files, Folders, Problems, Control);
    Walker.Walk(FolderBytes, Relative, RootId);
}

void SortFolderEntries(TFolderEntries& Files)
{
    const TPathOrder Order;
    Files = SortSide(std::move(Files), Order).Files;
}

bool SameFileContents(const QByteArray& LeftPath, const QByteArray& RightPath)
{
    std::vector<char> A, B;
    return SameContents({AT_FDCWD, LeftPath.constData(), {}}, {AT_FDCWD, RightPath.constData(), {}}, A, B, nullptr);
}

TFolderComparison CompareFolderTrees(const QString& LeftRoot, const QString& RightRoot, TFolderCompareControl* Control)
{
    // The two trees are listed and sorted side by side: the work is mostly waiting for the file
    // system, and each side has its own collator (a collator is not safe to share between threads;
    // keys of equally set up collators compare alike).
    TFolderProblems LeftProblems, RightProblems;
    auto ListAndSort = [Control](const QString& Root, TFolderProblems& Problems) {
        TFolderEntries Files = ListTree(Root, Problems, Control);
        if (Control && Control->Cancel.load())
            return TSortedSide();   // dropped: sorting a whole file system would keep Esc waiting
        const TPathOrder Order;
        return SortSide(std::move(Files), Order);
    };
    TSortedSide Right;
    std::exception_ptr RightFailure;
    std::thread Worker;
    try {
        Worker = std::thread([&] {
            try {
                Right = ListAndSort(RightRoot, RightProblems);
            } catch (...) {
                RightFailure = std::current_exception();
                if (Control)
                    Control->Cancel = true;
            }
        });
    } catch (const std::system_error&) {
        Right = ListAndSort(RightRoot, RightProblems);   // no thread to be had: one after the other
    }
    std::exception_ptr LeftFailure;
    TSortedSide Left;
    try {
        Left = ListAndSort(LeftRoot, LeftProblems);
    } catch (...) {
        LeftFailure = std::current_exception();
        if (Control)
            Control->Cancel = true;
    }
    if (Worker.joinable())
        Worker.join();
    if (LeftFailure)
        std::rethrow_exception(LeftFailure);
    if (RightFailure)
        std::rethrow_exception(RightFailure);

    TFolderComparison Result;
    if (Control && Control->Cancel.load()) {
        Result.Cancelled = true;
        return Result;
    }
    Result.LeftRoot = LeftRoot;
    Result.RightRoot = RightRoot;
    // The left side's first problem is named when it has one.
    Result.Problems = LeftProblems.Count > 0 ? LeftProblems : RightProblems;
    Result.Problems.Count = LeftProblems.Count + RightProblems.Count;
    const qsizetype Capacity = std::max(Left.Files.size(), Right.Files.size());
    Result.Items.reserve(Capacity);
    Result.Paths.reserve(Capacity);
    Result.LeftCells.reserve(Capacity);
    Result.RightCells.reserve(Capacity);
    Result.LeftBytes.reserve(Capacity);
    Result.RightBytes.reserve(Capacity);
    Result.LeftNewer.reserve(Capacity);
    Result.RightNewer.reserve(Capacity);
    Result.Info.reserve(Capacity);

    // Both sides are sorted in the same order, so the union is one merge pass and each side's
    // position falls out of it.
    const TPathOrder Order;
    std::vector<qsizetype> ToRead;
    std::vector<std::pair<const TFolderEntry*, const TFolderEntry*>> ReadPairs;
    qsizetype Li = 0, Ri = 0;            // positions in the sorted lists, folders included
    qsizetype LeftFiles = 0, RightFiles = 0;
    while (Li < Left.Files.size() || Ri < Right.Files.size()) {
        int C;
        if (Li == Left.Files.size())
            C = 1;
        else if (Ri == Right.Files.size())
            C = -1;
        else
            C = Order.Compare(Left.Keys[size_t(Li)], Left.Files[Li], Right.Keys[size_t(Ri)], Right.Files[Ri]);
        const TFolderEntry* L = C <= 0 ? &Left.Files[Li] : nullptr;
        const TFolderEntry* R = C >= 0 ? &Right.Files[Ri] : nullptr;
        Li += L != nullptr;
        Ri += R != nullptr;
        const bool LeftFolder = L && L->Type == TFolderEntryType::Folder;
        const bool RightFolder = R && R->Type == TFolderEntryType::Folder;
        if (LeftFolder)
            Result.LeftFolders.insert(L->Bytes);
        if (RightFolder)
            Result.RightFolders.insert(R->Bytes);
        if (!ShowsFolderRow(L, R))
            continue;

        TDiffItem Item;
        // A folder's row stands where it would stand among the side's files.
        Item.LeftIndex = L ? std::int32_t(LeftFiles) : -1;
        Item.RightIndex = R ? std::int32_t(RightFiles) : -1;
        LeftFiles += L && !LeftFolder;
        RightFiles += R && !RightFolder;
        Item.Kind = L && R ? dkEqual : L ? dkLeftOnly : dkRightOnly;
        const qsizetype Row = Result.Items.size();
        const TFolderRowInfo Info{SideOf(L), SideOf(R), IsUnreadable(L), IsUnreadable(R)};
        Result.Items.append(Item);
        Result.Info.append(Info);
        Result.Paths.append(L ? L->Path : R->Path);
        Result.LeftCells.append(CellOf(L));
        Result.RightCells.append(CellOf(R));
        Result.LeftBytes.append(L ? L->Bytes : QByteArray());
        Result.RightBytes.append(R ? R->Bytes : QByteArray());
        Result.LeftNewer.append(false);
        Result.RightNewer.append(false);
        for (const auto& [Entry, Targets] : {std::pair(L, &Result.LeftLinkTargets), std::pair(R, &Result.RightLinkTargets)})
            if (Entry && Entry->Type == TFolderEntryType::Link)
                Targets->insert(Row, Entry->LinkTarget);
        if (Info.Unreadable())
            Result.Reasons.insert(Row, Info.LeftUnreadable ? L->Reason : R->Reason);
        if (!L || !R) {
            continue;
        } else if (Info.Unreadable()) {
            Result.Items[Row].Kind = dkDifferent;   // a state of its own, told by Info
        } else if (Info.FileVersusFolder()) {
            Result.Items[Row].Kind = dkDifferent;
            Result.LeftTypeWords.insert(Row, FileTypeWord(L->Mode, L->Size));
            Result.RightTypeWords.insert(Row, FileTypeWord(R->Mode, R->Size));
        } else {
            switch (JudgeBoth(*L, *R)) {
            case TJudgement::Equal: break;
            case TJudgement::Different: Result.Items[Row].Kind = dkDifferent; break;
            case TJudgement::ReadBytes:
                ToRead.push_back(Row);
                ReadPairs.emplace_back(L, R);
                break;
            }
            if (Result.Items[Row].Kind == dkDifferent)
                MarkNewer(Result, Row, *L, *R);
        }
    }
    Result.LeftFileCount = LeftFiles;
    Result.RightFileCount = RightFiles;

    CompareContents(Result, ToRead, Control);
    if (Control && Control->Cancel.load()) {
        TFolderComparison Stopped;
        Stopped.Cancelled = true;
        return Stopped;
    }
    for (size_t I = 0; I < ToRead.size(); ++I)
        if (Result.Items[ToRead[I]].Kind == dkDifferent && !Result.Info[ToRead[I]].Unreadable())
            MarkNewer(Result, ToRead[I], *ReadPairs[I].first, *ReadPairs[I].second);
    return Result;
}

QStringList FolderGridColumn(const TFolderComparison& Comparison, int Col)
{
    const qsizetype N = Comparison.Items.size();
    QStringList Column;
    Column.reserve(N + 1);
    Column.append(QString());
    for (qsizetype i = 0; i < N; ++i) {
        switch (Col) {
        case 0: Column.append(QString::number(i + 1)); break;
        case 1: Column.append(Comparison.LeftCells[i]); break;
        case 2: Column.append(Comparison.RightCells[i]); break;
        default: Column.append(QString()); break;
        }
    }
    return Column;
}

QString FolderProblemsText(const TFolderProblems& Problems)
{
    return QStringLiteral("%1 could not be read, the first: %2 (%3)")
        .arg(Problems.Count == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(Problems.Count),
             Shortened(Problems.First.Path), Problems.First.Reason);
}

QString FolderStatusText(qsizetype LeftFileCount, qsizetype RightFileCount)
{
    return QStringLiteral("Compared %1 files (left folder, including subfolders) vs %2 files "
                          "(right folder, including subfolders).")
        .arg(LeftFileCount)
        .arg(RightFileCount);
}

QString FolderStatusText(const TFolderComparison& Comparison)
{
    QString Text = FolderStatusText(Comparison.LeftFileCount, Comparison.RightFileCount)
                   + QStringLiteral(" %1 different, %2 only left, %3 only right.")
                         .arg(Comparison.CountOf(dkDifferent))
                         .arg(Comparison.CountOf(dkLeftOnly))
                         .arg(Comparison.CountOf(dkRightOnly));
    if (Comparison.Problems.Count > 0)
        Text += u' ' + FolderProblemsText(Comparison.Problems) + u'.';
    return Text;
}

QString FolderProgressText(const TFolderCompareControl& Control)
{
    if (Control.Cancel.load())
        return QStringLiteral("Cancelling the folder comparison…");
    QString Text = QStringLiteral("Comparing folders: %1 files").arg(Grouped(Control.FilesListed.load()));
    if (const qint64 ToRead = Control.PairsToRead.load(); ToRead > 0)
        Text += QStringLiteral(", contents of %1 of %2 same-size pairs read")
                    .arg(Grouped(Control.PairsRead.load()), Grouped(ToRead));
    return Text + QStringLiteral("… Press Esc to cancel.");
}

QString FolderResultBoxText(const TFolderComparison& Comparison)
{
    if (Comparison.Problems.Count == 0)
        return Comparison.HasDifferences() ? QString() : QString::fromLatin1(FoldersIdenticalText);
    QString Text = FolderProblemsText(Comparison.Problems) + u'.';
    if (!Comparison.HasDifferences())
        Text += QStringLiteral("\r\nNo different files were found among those that could be read.");
    return Text;
}
