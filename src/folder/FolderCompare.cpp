#include "folder/FolderCompare.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Separator = '/';

struct TFolderId
{
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFolderId&) const = default;
};

struct TSubfolder
{
    std::string Name;
    TFolderId Id;
};

[[nodiscard]] std::string WithSeparator(std::string Path)
{
    if (Path.empty() || Path.back() != Separator)
        Path += Separator;
    return Path;
}

[[nodiscard]] qint64 ModifiedNsOf(const struct stat& St)
{
    return qint64(St.st_mtim.tv_sec) * 1'000'000'000 + St.st_mtim.tv_nsec;
}

[[nodiscard]] TFolderEntry EntryOf(const std::string& RelativePath, const struct stat* St)
{
    TFolderEntry Entry;
    Entry.Path = QFile::decodeName(QByteArray::fromRawData(RelativePath.data(), qsizetype(RelativePath.size())));
    if (St) {
        Entry.Size = qint64(St->st_size);
        Entry.ModifiedNs = ModifiedNsOf(*St);
        Entry.HasTime = true;
    }
    return Entry;
}

// Lists one folder (Absolute and Relative end in a separator). Ancestors holds the folders being
// listed, this one last, so a link that leads back into one of them is not followed again.
void ListFolder(const std::string& Absolute, const std::string& Relative,
                std::vector<TFolderId>& Ancestors, TFolderEntries& Files)
{
    const int DirFd = ::open(Absolute.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd < 0)
        return;   // unreadable or vanished: contributes nothing
    // The folder opened must be the one checked against the ancestors, even if a link was
    // swapped in meanwhile.
    struct stat Self;
    if (::fstat(DirFd, &Self) != 0 || !(TFolderId{Self.st_dev, Self.st_ino} == Ancestors.back())) {
        ::close(DirFd);
        return;
    }
    DIR* Dir = ::fdopendir(DirFd);
    if (!Dir) {
        ::close(DirFd);
        return;
    }

    std::vector<TSubfolder> Subfolders;
    std::string Path = Relative;
    while (const dirent* Ent = ::readdir(Dir)) {
        const char* Name = Ent->d_name;
        if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
            continue;
        // Follows links, so a link to a folder is listed like the folder and a link to a file
        // reports the file's size and time.
        struct stat St;
        const bool Known = ::fstatat(DirFd, Name, &St, 0) == 0;
        if (Known && S_ISDIR(St.st_mode)) {
            Subfolders.push_back({Name, {St.st_dev, St.st_ino}});
            continue;
        }
        if (!Known && Ent->d_type == DT_DIR)
            continue;   // a folder that cannot be looked into (no search permission) adds nothing
        Path.resize(Relative.size());
        Path += Name;
        Files.append(EntryOf(Path, Known ? &St : nullptr));
    }
    ::closedir(Dir);   // closes DirFd too; the descent below keeps no descriptor per level

    for (const TSubfolder& Sub : Subfolders) {
        if (std::find(Ancestors.begin(), Ancestors.end(), Sub.Id) != Ancestors.end())
            continue;   // a link cycle
        Ancestors.push_back(Sub.Id);
        ListFolder(Absolute + Sub.Name + Separator, Relative + Sub.Name + Separator, Ancestors, Files);
        Ancestors.pop_back();
    }
}

// The order of the rows. The C locale's collator neither ignores case in its sort keys nor
// follows any language, so there the key is the case-folded text in code-unit order.
class TPathOrder
{
public:
    TPathOrder()
    {
        Collator.setCaseSensitivity(Qt::CaseInsensitive);
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

    // Paths with equal keys that still differ beyond letter case (characters the collation
    // ignores) stay apart, ordered by their folded text.
    [[nodiscard]] static int Compare(const TKey& A, const QString& PathA, const TKey& B, const QString& PathB)
    {
        if (A.Collated) {
            if (const int C = A.Collated->compare(*B.Collated))
                return C;
            return PathA.compare(PathB, Qt::CaseInsensitive);
        }
        return A.Folded.compare(B.Folded);
    }

private:
    QCollator Collator;   // the default QLocale's
    bool UseCollator = true;
};

struct TSortedSide
{
    TFolderEntries Files;
    std::vector<TPathOrder::TKey> Keys;
};

// Sorts one side and keeps one of each group of paths equal but for letter case: the one
// smallest in code-unit order, so the pick does not depend on the enumeration order.
[[nodiscard]] TSortedSide SortSide(TFolderEntries Files, const TPathOrder& Order)
{
    std::vector<TPathOrder::TKey> Keys;
    Keys.reserve(size_t(Files.size()));
    for (const TFolderEntry& F : Files)
        Keys.push_back(Order.KeyOf(F.Path));

    std::vector<qsizetype> Index(size_t(Files.size()));
    for (size_t i = 0; i < Index.size(); ++i)
        Index[i] = qsizetype(i);
    auto Compare = [&](qsizetype A, qsizetype B) {
        return TPathOrder::Compare(Keys[size_t(A)], Files[A].Path, Keys[size_t(B)], Files[B].Path);
    };
    std::sort(Index.begin(), Index.end(), [&](qsizetype A, qsizetype B) {
        if (const int C = Compare(A, B))
            return C < 0;
        return Files[A].Path < Files[B].Path;
    });

    TSortedSide Sorted;
    Sorted.Files.reserve(Files.size());
    Sorted.Keys.reserve(Index.size());
    for (const qsizetype I : Index) {
        if (!Sorted.Files.isEmpty()
            && TPathOrder::Compare(Sorted.Keys.back(), Sorted.Files.back().Path, Keys[size_t(I)], Files[I].Path) == 0)
            continue;
        Sorted.Files.append(std::move(Files[I]));
        Sorted.Keys.push_back(std::move(Keys[size_t(I)]));
    }
    return Sorted;
}

[[nodiscard]] TDiffKind JudgeBoth(const TFolderEntry& L, const TFolderEntry& R)
{
    return L.Size >= 0 && L.Size == R.Size ? dkEqual : dkDifferent;
}

void AppendRow(TFolderComparison& Result, const TFolderEntry* L, std::int32_t Li,
               const TFolderEntry* R, std::int32_t Ri)
{
    TDiffItem Item;
    Item.LeftIndex = Li;
    Item.RightIndex = Ri;
    Item.Kind = L && R ? JudgeBoth(*L, *R) : L ? dkLeftOnly : dkRightOnly;

    bool LeftNewer = false, RightNewer = false;
    if (Item.Kind == dkDifferent && L->HasTime && R->HasTime) {
        LeftNewer = L->ModifiedNs > R->ModifiedNs;
        RightNewer = R->ModifiedNs > L->ModifiedNs;
    }

    Result.Items.append(Item);
    Result.Paths.append(L ? L->Path : R->Path);
    // Each side shows its own file's name: with letters that differ in case only, the union's
    // spelling would name a file that does not exist on the other side.
    Result.LeftCells.append(L ? (LeftNewer ? L->Path + QLatin1String(NewerFileMarker) : L->Path) : QString());
    Result.RightCells.append(R ? (RightNewer ? R->Path + QLatin1String(NewerFileMarker) : R->Path) : QString());
    Result.LeftNewer.append(LeftNewer);
    Result.RightNewer.append(RightNewer);
}

[[nodiscard]] TFolderEntries ListTree(const QString& Root)
{
    TFolderEntries Files;
    ListFilesRecursive(Root, Root, Files);
    return Files;
}

} // namespace

bool TFolderComparison::HasDifferences() const
{
    return std::any_of(Items.cbegin(), Items.cend(), [](const TDiffItem& I) { return I.Kind != dkEqual; });
}

qint64 FileSizeOf(const QString& Path)
{
    struct stat St;
    if (::stat(QFile::encodeName(Path).constData(), &St) != 0 || S_ISDIR(St.st_mode))
        return -1;
    return qint64(St.st_size);
}

void ListFilesRecursive(const QString& Root, const QString& Folder, TFolderEntries& Files)
{
    const std::string RootBytes = WithSeparator(QFile::encodeName(Root).toStdString());
    const std::string FolderBytes = WithSeparator(QFile::encodeName(Folder).toStdString());
    const std::string Relative = FolderBytes.compare(0, RootBytes.size(), RootBytes) == 0
                                     ? FolderBytes.substr(RootBytes.size())
                                     : std::string();

    std::vector<TFolderId> Ancestors;
    struct stat St;
    if (::stat(FolderBytes.c_str(), &St) != 0 || !S_ISDIR(St.st_mode))
        return;
    Ancestors.push_back({St.st_dev, St.st_ino});
    ListFolder(FolderBytes, Relative, Ancestors, Files);
}

void SortFolderEntries(TFolderEntries& Files)
{
    const TPathOrder Order;
    Files = SortSide(std::move(Files), Order).Files;
}

TFolderComparison CompareFolderTrees(const QString& LeftRoot, const QString& RightRoot)
{
    // The two trees are listed and sorted side by side: the work is mostly waiting for the file
    // system, and each side has its own collator (a collator is not safe to share between threads;
    // keys of equally set up collators compare alike).
    auto ListAndSort = [](const QString& Root) {
        const TPathOrder Order;
        return SortSide(ListTree(Root), Order);
    };
    TSortedSide Right;
    std::exception_ptr RightFailure;
    std::thread Worker;
    try {
        Worker = std::thread([&] {
            try {
                Right = ListAndSort(RightRoot);
            } catch (...) {
                RightFailure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        Right = ListAndSort(RightRoot);   // no thread to be had: one after the other
    }
    std::exception_ptr LeftFailure;
    TSortedSide Left;
    try {
        Left = ListAndSort(LeftRoot);
    } catch (...) {
        LeftFailure = std::current_exception();
    }
    if (Worker.joinable())
        Worker.join();
    if (LeftFailure)
        std::rethrow_exception(LeftFailure);
    if (RightFailure)
        std::rethrow_exception(RightFailure);

    TFolderComparison Result;
    Result.LeftFileCount = Left.Files.size();
    Result.RightFileCount = Right.Files.size();
    const qsizetype Capacity = Left.Files.size() + Right.Files.size();
    Result.Items.reserve(Capacity);
    Result.Paths.reserve(Capacity);
    Result.LeftCells.reserve(Capacity);
    Result.RightCells.reserve(Capacity);

    // Both sides are sorted in the same order, so the union is one merge pass and each side's
    // position falls out of it.
    qsizetype Li = 0, Ri = 0;
    while (Li < Left.Files.size() || Ri < Right.Files.size()) {
        int C;
        if (Li == Left.Files.size())
            C = 1;
        else if (Ri == Right.Files.size())
            C = -1;
        else
            C = TPathOrder::Compare(Left.Keys[size_t(Li)], Left.Files[Li].Path,
                                    Right.Keys[size_t(Ri)], Right.Files[Ri].Path);
        if (C < 0) {
            AppendRow(Result, &Left.Files[Li], std::int32_t(Li), nullptr, -1);
            ++Li;
        } else if (C > 0) {
            AppendRow(Result, nullptr, -1, &Right.Files[Ri], std::int32_t(Ri));
            ++Ri;
        } else {
            AppendRow(Result, &Left.Files[Li], std::int32_t(Li), &Right.Files[Ri], std::int32_t(Ri));
            ++Li;
            ++Ri;
        }
    }
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

QString FolderStatusText(qsizetype LeftFileCount, qsizetype RightFileCount)
{
    return QStringLiteral("Compared %1 files (left folder, including subfolders) vs %2 files "
                          "(right folder, including subfolders).")
        .arg(LeftFileCount)
        .arg(RightFileCount);
}
