#include "folder/FolderCompare.h"
#include "support/core/DeepFolders.h"

#include <QCollator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstring>
#include <utility>

#include <sys/socket.h>
#include <sys/un.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorlane::test;

namespace {

// Writes Size bytes of Fill at Root/Relative, creating missing folders.
void WriteFile(const QString& Root, const QString& Relative, qsizetype Size, char Fill = 'x')
{
    const QString Path = Root + u'/' + Relative;
    QVERIFY(QDir().mkpath(QFileInfo(Path).absolutePath()));
    QFile F(Path);
    QVERIFY(F.open(QIODevice::WriteOnly));
    QCOMPARE(F.write(QByteArray(Size, Fill)), Size);
}

void WriteBytes(const QString& Path, const QByteArray& Bytes)
{
    QFile F(Path);
    QVERIFY(F.open(QIODevice::WriteOnly));
    QCOMPARE(F.write(Bytes), Bytes.size());
}

// A listening Unix socket left on disk.
void MakeSocket(const QString& Path)
{
    const int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(Fd >= 0);
    sockaddr_un Address = {};
    Address.sun_family = AF_UNIX;
    const QByteArray Bytes = QFile::encodeName(Path);
    QVERIFY(size_t(Bytes.size()) < sizeof Address.sun_path);
    std::memcpy(Address.sun_path, Bytes.constData(), size_t(Bytes.size()));
    QCOMPARE(::bind(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address), 0);
    ::close(Fd);
}

// Sets the file's modification time to Seconds after the epoch, plus Nanoseconds.
void SetModified(const QString& Path, time_t Seconds, long Nanoseconds = 0)
{
    const timespec Times[2] = {{Seconds, Nanoseconds}, {Seconds, Nanoseconds}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(Path).constData(), Times, 0), 0);
}

QString KindsOf(const TFolderComparison& C)
{
    QString Kinds;
    for (const TDiffItem& I : C.Items)
        Kinds += QLatin1Char("EDLR"[I.Kind == dkEqual ? 0 : I.Kind == dkDifferent ? 1 : I.Kind == dkLeftOnly ? 2 : 3]);
    return Kinds;
}

// Every row leaves the change ranges empty, whatever its kind.
void VerifyNoChangeRanges(const TFolderComparison& C)
{
    for (const TDiffItem& I : C.Items) {
        QCOMPARE(I.LeftChangeStart, -1);
        QCOMPARE(I.RightChangeStart, -1);
        QCOMPARE(I.LeftChangeLen, 0);
        QCOMPARE(I.RightChangeLen, 0);
    }
}


// The row model built the plain way: a QDirIterator listing, sorted insertion by the collator
// with case ignored and then letter case, exact names, whole files read to judge equal sizes.
struct TPlainRow
{
    QString Path, LeftCell, RightCell;
    int LeftIndex = -1, RightIndex = -1;
    char Kind = 'E';
    bool LeftNewer = false, RightNewer = false;
};

struct TPlainOrder
{
    QCollator Folded, Cased;
    TPlainOrder()
    {
        Folded.setCaseSensitivity(Qt::CaseInsensitive);
        Cased.setCaseSensitivity(Qt::CaseSensitive);
    }
    bool operator()(const QString& A, const QString& B) const
    {
        if (const int C = Folded.compare(A, B))
            return C < 0;
        if (const int C = Cased.compare(A, B))
            return C < 0;
        return A < B;
    }
};

QStringList PlainSortedList(const QString& Root, const TPlainOrder& Order)
{
    QStringList Sorted;
    QDirIterator It(Root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString P = It.next().mid(Root.size() + 1);
        Sorted.insert(std::lower_bound(Sorted.begin(), Sorted.end(), P, Order), P);
    }
    return Sorted;
}

QByteArray ReadAll(const QString& Path)
{
    QFile F(Path);
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

QList<TPlainRow> PlainFolderRows(const QString& L, const QString& R)
{
    const TPlainOrder Order;
    const QStringList Left = PlainSortedList(L, Order), Right = PlainSortedList(R, Order);
    QStringList Union = Left;
    for (const QString& P : Right)
        if (!Left.contains(P))
            Union.insert(std::lower_bound(Union.begin(), Union.end(), P, Order), P);
    QList<TPlainRow> Rows;
    for (const QString& P : Union) {
        TPlainRow Row;
        Row.Path = P;
        Row.LeftIndex = int(Left.indexOf(P));
        Row.RightIndex = int(Right.indexOf(P));
        Row.LeftCell = Row.LeftIndex >= 0 ? P : QString();
        Row.RightCell = Row.RightIndex >= 0 ? P : QString();
        if (Row.LeftIndex >= 0 && Row.RightIndex >= 0) {
            struct stat SL = {}, SR = {};
            ::stat(QFile::encodeName(L + u'/' + P).constData(), &SL);
            ::stat(QFile::encodeName(R + u'/' + P).constData(), &SR);
            Row.Kind = ReadAll(L + u'/' + P) == ReadAll(R + u'/' + P) ? 'E' : 'D';
            const qint64 TL = qint64(SL.st_mtim.tv_sec) * 1000000000 + SL.st_mtim.tv_nsec;
            const qint64 TR = qint64(SR.st_mtim.tv_sec) * 1000000000 + SR.st_mtim.tv_nsec;
            Row.LeftNewer = Row.Kind == 'D' && TL > TR;
            Row.RightNewer = Row.Kind == 'D' && TR > TL;
        } else {
            Row.Kind = Row.LeftIndex >= 0 ? 'L' : 'R';
        }
        Rows.append(Row);
    }
    return Rows;
}

// A random relative path: up to two folders of letters, a file name ending in ".t".
QString RandomPath(QRandomGenerator& Random)
{
    static const QString Letters = "abAB_-1x";
    auto Word = [&](int MaxLen) {
        QString W;
        for (int n = 1 + Random.bounded(MaxLen); n > 0; --n)
            W += Letters[Random.bounded(int(Letters.size()))];
        return W;
    };
    QString P;
    for (int Depth = Random.bounded(3); Depth > 0; --Depth)
        P += Word(2) + u'/';
    return P + Word(3) + ".t";
}

QString FlipSomeCase(const QString& P, QRandomGenerator& Random)
{
    QString Q = P;
    for (QChar& C : Q)
        if (C.isLetter() && Random.bounded(4) == 0)
            C = C.isUpper() ? C.toLower() : C.toUpper();
    return Q;
}


} // namespace

class TestFolderCompare : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    // a.txt on both sides with other sizes, sub/b.txt left only, c.txt right only.
    void mixedTrees_data()
    {
        QTest::addColumn<bool>("rightIsNewer");
        QTest::newRow("right a.txt newer") << true;
        QTest::newRow("left a.txt newer") << false;
    }
    void mixedTrees()
    {
        QFETCH(bool, rightIsNewer);
        QTemporaryDir L, R;
        WriteFile(L.path(), "a.txt", 3);
        WriteFile(L.path(), "sub/b.txt", 4);
        WriteFile(R.path(), "a.txt", 5);
        WriteFile(R.path(), "c.txt", 1);
        SetModified(L.path() + "/a.txt", rightIsNewer ? 1'600'000'000 : 1'700'000'000);
        SetModified(R.path() + "/a.txt", rightIsNewer ? 1'700'000'000 : 1'600'000'000);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(KindsOf(C), QString("DRL"));
        QCOMPARE(C.Paths, QStringList({"a.txt", "c.txt", "sub/b.txt"}));
        // The newer mark travels as a flag; the cells hold the names alone.
        QCOMPARE(C.LeftCells, QStringList({"a.txt", "", "sub/b.txt"}));
        QCOMPARE(C.RightCells, QStringList({"a.txt", "c.txt", ""}));
        QCOMPARE(C.LeftNewer, QList<bool>({!rightIsNewer, false, false}));
        QCOMPARE(C.RightNewer, QList<bool>({rightIsNewer, false, false}));
        // Positions in each side's own sorted list.
        QCOMPARE(C.Items[0].LeftIndex, 0);
        QCOMPARE(C.Items[0].RightIndex, 0);
        QCOMPARE(C.Items[1].LeftIndex, -1);
        QCOMPARE(C.Items[1].RightIndex, 1);
        QCOMPARE(C.Items[2].LeftIndex, 1);
        QCOMPARE(C.Items[2].RightIndex, -1);
        VerifyNoChangeRanges(C);
        QCOMPARE(C.LeftFileCount, 2);
        QCOMPARE(C.RightFileCount, 2);
        QVERIFY(C.HasDifferences());
        QCOMPARE(FolderStatusText(C),
                 QString("Compared 2 files (left folder, including subfolders) vs 2 files (right folder, "
                         "including subfolders). 1 different, 1 only left, 1 only right."));
        QCOMPARE(FolderResultBoxText(C), QString());

        QCOMPARE(FolderGridColumn(C, 0), QStringList({"", "1", "2", "3"}));
        QCOMPARE(FolderGridColumn(C, 1), QStringList({"", C.LeftCells[0], "", "sub/b.txt"}));
        QCOMPARE(FolderGridColumn(C, 2), QStringList({"", C.RightCells[0], "c.txt", ""}));
    }

    // Equal sizes are judged by the bytes, read only then; a size difference settles it unread.
    void contentsDecideEqualSizes_data()
    {
        QTest::addColumn<QByteArray>("left");
        QTest::addColumn<QByteArray>("right");
        QTest::addColumn<QString>("kinds");
        const QByteArray Big(700 * 1024, 'q');
        QByteArray BigLastChanged = Big;
        BigLastChanged[BigLastChanged.size() - 1] = 'r';
        QByteArray BigBlockEdgeChanged = Big;
        BigBlockEdgeChanged[256 * 1024] = 'r';
        QTest::newRow("same bytes") << QByteArray("abc") << QByteArray("abc") << "E";
        QTest::newRow("first byte differs") << QByteArray("abc") << QByteArray("xbc") << "D";
        QTest::newRow("two empty files") << QByteArray() << QByteArray() << "E";
        QTest::newRow("sizes differ") << QByteArray("abc") << QByteArray("abcd") << "D";
        QTest::newRow("large, same bytes") << Big << Big << "E";
        QTest::newRow("large, last byte differs") << Big << BigLastChanged << "D";
        QTest::newRow("large, differs where a block starts") << Big << BigBlockEdgeChanged << "D";
    }
    void contentsDecideEqualSizes()
    {
        QFETCH(QByteArray, left);
        QFETCH(QByteArray, right);
        QTemporaryDir L, R;
        for (auto [Root, Bytes] : {std::pair{L.path(), left}, std::pair{R.path(), right}}) {
            QFile F(Root + "/deep/er/f.bin");
            QVERIFY(QDir().mkpath(Root + "/deep/er"));
            QVERIFY(F.open(QIODevice::WriteOnly));
            QCOMPARE(F.write(Bytes), Bytes.size());
        }
        SetModified(L.path() + "/deep/er/f.bin", 1'000'000'000);
        SetModified(R.path() + "/deep/er/f.bin", 1'500'000'000);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QTEST(KindsOf(C), "kinds");
        QCOMPARE(C.Problems.Count, 0);
        const bool Differ = KindsOf(C) == "D";
        QCOMPARE(C.RightNewer, QList<bool>({Differ}));   // the later side is marked only when they differ
        QCOMPARE(C.LeftNewer, QList<bool>({false}));
        QCOMPARE(FolderResultBoxText(C), Differ ? QString() : QString("The folders are identical (no different files)."));
    }

    // The block comparison on its own, across the block edges.
    void sameFileContents_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("changeAt");   // -1: none
        for (int Size : {1, 256 * 1024 - 1, 256 * 1024, 256 * 1024 + 1, 3 * 256 * 1024}) {
            QTest::addRow("%d bytes, equal", Size) << Size << -1;
            QTest::addRow("%d bytes, first differs", Size) << Size << 0;
            QTest::addRow("%d bytes, last differs", Size) << Size << Size - 1;
        }
    }
    void sameFileContents()
    {
        QFETCH(int, size);
        QFETCH(int, changeAt);
        QTemporaryDir D;
        QByteArray Bytes(size, 0);
        for (int i = 0; i < size; ++i)
            Bytes[i] = char(i * 7 + i / 251);
        WriteBytes(D.path() + "/a", Bytes);
        if (changeAt >= 0)
            Bytes[changeAt] = char(Bytes[changeAt] ^ 0x20);
        WriteBytes(D.path() + "/b", Bytes);
        QCOMPARE(SameFileContents(QFile::encodeName(D.path() + "/a"), QFile::encodeName(D.path() + "/b")),
                 changeAt < 0);
    }

    // What is not a regular file is never opened to be read; a FIFO asked for directly is refused
    // at once instead of waiting for a writer.
    void specialFilesNeverBlock()
    {
        QTemporaryDir L, R;
        for (const QString& Root : {L.path(), R.path()}) {
            QCOMPARE(::mkfifo(QFile::encodeName(Root + "/pipe").constData(), 0600), 0);
            QVERIFY(QFile::link("/dev/zero", Root + "/zero"));
            MakeSocket(Root + "/sock");
        }
        QVERIFY(QFile::link("/dev/zero", L.path() + "/zero-or-file"));
        WriteFile(R.path(), "zero-or-file", 0);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({"pipe", "sock", "zero", "zero-or-file"}));
        QCOMPARE(KindsOf(C), QString("EEED"));
        QCOMPARE(C.Problems.Count, 0);

        bool Threw = false;
        try {
            (void)SameFileContents(QFile::encodeName(L.path() + "/pipe"), QFile::encodeName(R.path() + "/pipe"));
        } catch (const std::runtime_error& Error) {
            Threw = QString::fromUtf8(Error.what()).endsWith("Not a regular file.");
        }
        QVERIFY(Threw);
    }

    void twoEmptyTrees()
    {
        QTemporaryDir L, R;
        QVERIFY(QDir(R.path()).mkpath("both/empty"));
        QVERIFY(QDir(L.path()).mkpath("both/empty"));
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QVERIFY(C.Items.isEmpty());
        QCOMPARE(C.LeftFileCount, 0);
        QCOMPARE(C.RightFileCount, 0);
        QVERIFY(!C.HasDifferences());
        QCOMPARE(FolderGridColumn(C, 0), QStringList({""}));
        QCOMPARE(FolderStatusText(0, 0), QString("Compared 0 files (left folder, including subfolders) vs 0 files "
                                                 "(right folder, including subfolders)."));
    }

    // Names that differ in letter case are two files: each side's file is matched exactly, and
    // the rows follow the collation with case as the tie-break, the same on both sides.
    void letterCaseMakesTwoFiles_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("kinds");
        QTest::newRow("C: capitals first") << "C" << QStringList({"A.TXT", "a.txt", "b", "Read.me", "read.ME"})
                                           << "LDRLL";
        QTest::newRow("English: small letters first")
            << "en_US" << QStringList({"a.txt", "A.TXT", "b", "read.ME", "Read.me"}) << "DLRLL";
    }
    void letterCaseMakesTwoFiles()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        QTemporaryDir L, R;
        WriteFile(L.path(), "A.TXT", 7);
        WriteFile(L.path(), "a.txt", 7, 'l');
        WriteFile(R.path(), "a.txt", 7, 'r');
        WriteFile(R.path(), "b", 1);
        WriteFile(L.path(), "Read.me", 1);
        WriteFile(L.path(), "read.ME", 2);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QTEST(C.Paths, "paths");
        QTEST(KindsOf(C), "kinds");
        QCOMPARE(C.LeftFileCount, 4);
        for (qsizetype i = 0; i < C.Items.size(); ++i) {
            QCOMPARE(C.LeftCells[i], C.Items[i].LeftIndex >= 0 ? C.Paths[i] : QString());
            QCOMPARE(C.RightCells[i], C.Items[i].RightIndex >= 0 ? C.Paths[i] : QString());
        }
    }

    // Names whose bytes are not UTF-8 are told apart by their bytes and shown with U+FFFD.
    void namesThatAreNotUtf8()
    {
        QTemporaryDir L, R;
        const QByteArray LeftRoot = QFile::encodeName(L.path()), RightRoot = QFile::encodeName(R.path());
        for (const QByteArray& Path : {LeftRoot + "/x\xFF", LeftRoot + "/x\xFE", RightRoot + "/x\xFE"}) {
            const int Fd = ::open(Path.constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(Fd >= 0);
            QCOMPARE(::write(Fd, "1", 1), ssize_t(1));
            ::close(Fd);
        }
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Items.size(), 2);
        QCOMPARE(C.LeftFileCount, 2);
        const QString Shown = QStringLiteral("x\uFFFD");
        QCOMPARE(C.Paths, QStringList({Shown, Shown}));
        // The row with both sides is the \xFE file; its bytes name it.
        const qsizetype Both = C.Items[0].RightIndex >= 0 ? 0 : 1;
        QCOMPARE(C.Items[Both].Kind, dkEqual);
        QCOMPARE(C.LeftBytes[Both], QByteArray("x\xFE"));
        QCOMPARE(C.RightBytes[Both], QByteArray("x\xFE"));
        QCOMPARE(C.Items[1 - Both].Kind, dkLeftOnly);
        QCOMPARE(C.LeftBytes[1 - Both], QByteArray("x\xFF"));
    }

    void newMarkerNeedsALaterTime_data()
    {
        QTest::addColumn<long>("leftNs");
        QTest::addColumn<long>("rightNs");
        QTest::addColumn<bool>("leftNewer");
        QTest::addColumn<bool>("rightNewer");
        QTest::newRow("equal times") << 0L << 0L << false << false;
        QTest::newRow("right later by a microsecond") << 0L << 1000L << false << true;
        QTest::newRow("left later by a microsecond") << 1000L << 0L << true << false;
    }
    void newMarkerNeedsALaterTime()
    {
        QFETCH(long, leftNs);
        QFETCH(long, rightNs);
        QTemporaryDir L, R;
        WriteFile(L.path(), "f", 1);
        WriteFile(R.path(), "f", 2);
        SetModified(L.path() + "/f", 1'650'000'000, leftNs);
        SetModified(R.path() + "/f", 1'650'000'000, rightNs);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(KindsOf(C), QString("D"));
        QCOMPARE(C.LeftCells.value(0), QString("f"));
        QCOMPARE(C.RightCells.value(0), QString("f"));
        QTEST(C.LeftNewer.value(0), "leftNewer");
        QTEST(C.RightNewer.value(0), "rightNewer");
    }

    // Hidden files and files in hidden folders are listed.
    void hiddenFiles()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), ".hidden", 1);
        WriteFile(L.path(), ".git/config", 1);
        WriteFile(R.path(), ".hidden", 1);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({".git/config", ".hidden"}));
        QCOMPARE(KindsOf(C), QString("LE"));
    }

    // The structure of the trees shows: an empty folder on one side only is a row drawn as a
    // folder; a file on one side and a folder of the same name on the other is one row that says
    // so; folders on both sides, and folders whose files show them, make no row.
    void structureRows()
    {
        QTemporaryDir L, R;
        QVERIFY(QDir(L.path()).mkpath("empty"));
        QVERIFY(QDir(L.path()).mkpath("nested/a"));
        QVERIFY(QDir(L.path()).mkpath("both-empty"));
        QVERIFY(QDir(R.path()).mkpath("both-empty"));
        WriteFile(L.path(), "thing", 1);
        WriteFile(R.path(), "thing/inner", 1);
        WriteFile(L.path(), "dir-vs-file/f", 1);
        WriteFile(R.path(), "dir-vs-file", 0);
        WriteFile(L.path(), "shared/inner.txt", 2);
        WriteFile(R.path(), "shared/inner.txt", 2);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({"dir-vs-file", "dir-vs-file/f", "empty", "nested/a", "shared/inner.txt", "thing",
                                       "thing/inner"}));
        QCOMPARE(KindsOf(C), QString("DLLLEDR"));
        QCOMPARE(C.LeftCells, QStringList({"dir-vs-file/", "dir-vs-file/f", "empty/", "nested/a/", "shared/inner.txt",
                                           "thing", ""}));
        QCOMPARE(C.RightCells, QStringList({"dir-vs-file", "", "", "", "shared/inner.txt", "thing/", "thing/inner"}));
        QCOMPARE(FolderSideBadge(C, 0, 1), QString("folder"));
        QCOMPARE(FolderSideBadge(C, 0, 2), QString("file"));
        QCOMPARE(FolderSideBadge(C, 2, 1), QString("folder"));
        QCOMPARE(FolderSideBadge(C, 4, 1), QString());
        QCOMPARE(FolderRowToolTip(C, 5, 2), QString("A folder here, a file on the left"));
        QCOMPARE(FolderRowToolTip(C, 2, 1), QString("An empty folder"));
        QCOMPARE(C.LeftTypeWords.value(0), QByteArray("directory"));
        QCOMPARE(C.RightTypeWords.value(0), QByteArray("regular empty file"));
        QCOMPARE(C.LeftTypeWords.value(5), QByteArray("regular file"));
        QCOMPARE(C.LeftFileCount, 3);
        QCOMPARE(C.RightFileCount, 3);
        QCOMPARE(C.CountOf(dkDifferent), 2);
        QVERIFY(C.LeftNewer.value(5) == false && C.RightNewer.value(5) == false);
        VerifyNoChangeRanges(C);

        // Two trees that differ only by an empty folder are not identical.
        QTemporaryDir A, B;
        WriteFile(A.path(), "f", 1);
        WriteFile(B.path(), "f", 1);
        QVERIFY(QDir(B.path()).mkpath("newdir"));
        const TFolderComparison OnlyFolder = CompareFolderTrees(A.path(), B.path());
        QCOMPARE(OnlyFolder.RightCells, QStringList({"f", "newdir/"}));
        QCOMPARE(KindsOf(OnlyFolder), QString("ER"));
        QVERIFY(OnlyFolder.HasDifferences());
        QCOMPARE(FolderResultBoxText(OnlyFolder), QString());
    }

    // A link to a folder is followed only when its real folder lies outside the tree (inside, the
    // folder is listed under its own path); a link to a file counts as the file; a link that leads
    // nowhere or loops is a row compared by its text, and is reported.
    void links()
    {
        QTemporaryDir L, R, Outside;
        WriteFile(L.path(), "sub/f.txt", 2);
        WriteFile(R.path(), "sub/f.txt", 2);
        WriteFile(Outside.path(), "shared.txt", 3);
        for (const QString& Root : {L.path(), R.path()}) {
            QVERIFY(QFile::link(Root, Root + "/sub/up"));            // a cycle through the root
            QVERIFY(QFile::link(Root + "/sub", Root + "/sub/self"));  // a cycle on itself
            QVERIFY(QFile::link(Outside.path(), Root + "/ext"));
            QVERIFY(QFile::link(Outside.path(), Root + "/ext2"));     // the same outside folder: once
            QVERIFY(QFile::link("missing", Root + "/dangling"));
            QVERIFY(QFile::link(Root + "/sub", Root + "/alias"));     // inside: listed as sub/ already
            QVERIFY(QFile::link("loop-b", Root + "/loop-a"));
            QVERIFY(QFile::link("loop-a", Root + "/loop-b"));
        }
        QVERIFY(QFile::link("elsewhere", L.path() + "/dangling-other"));
        QVERIFY(QFile::link("nowhere", R.path() + "/dangling-other"));
        QVERIFY(QFile::link(R.path() + "/sub/f.txt", L.path() + "/file-link"));
        WriteFile(R.path(), "file-link", 2);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({"dangling", "dangling-other", "ext/shared.txt", "file-link", "loop-a",
                                       "loop-b", "sub/f.txt"}));
        QCOMPARE(KindsOf(C), QString("EDEEEEE"));
        // Shown as links, never as files that are new: the badge, and the target in the tooltip.
        QCOMPARE(FolderSideBadge(C, 1, 1), QString("dangling link"));
        QCOMPARE(FolderRowToolTip(C, 1, 1), QString("A dangling link to elsewhere"));
        QCOMPARE(FolderRowToolTip(C, 1, 2), QString("A dangling link to nowhere"));
        QVERIFY(!C.LeftNewer[1] && !C.RightNewer[1]);
        QCOMPARE(FolderSideBadge(C, 4, 2), QString("looping link"));
        QCOMPARE(FolderRowToolTip(C, 4, 2), QString("A link that loops: loop-b"));
        QCOMPARE(FolderSideBadge(C, 3, 1), QString());   // a link to a file is the file
        // Two dangling and two looping links per side, and the left side's first is named.
        QCOMPARE(C.Problems.Count, 8);
        QCOMPARE(C.Problems.First.Path, L.path() + "/dangling");
        QCOMPARE(C.Problems.First.Reason, QString("The link leads nowhere."));
        QVERIFY(FolderStatusText(C).endsWith(
            QString(" 1 different, 0 only left, 0 only right. 8 entries could not be read, the first: %1/dangling "
                    "(The link leads nowhere.).").arg(L.path())));
        QCOMPARE(FolderResultBoxText(C), QString("8 entries could not be read, the first: %1/dangling (The link leads "
                                                 "nowhere.).").arg(L.path()));
    }

    // 21 folders, each with two links to the next: every folder is listed once, not 2^20 times,
    // whether the chain lies inside the tree or outside it.
    void linksCannotExplodeTheTree_data()
    {
        QTest::addColumn<bool>("outside");
        QTest::newRow("chain inside the tree") << false;
        QTest::newRow("chain outside the tree") << true;
    }
    void linksCannotExplodeTheTree()
    {
        QFETCH(bool, outside);
        QTemporaryDir L, R, Chain;
        const QString Base = outside ? Chain.path() : L.path() + "/chain";
        for (int i = 0; i < 21; ++i)
            WriteFile(Base, QString("f%1/file").arg(i), 1);
        for (int i = 0; i + 1 < 21; ++i)
            for (const char* Name : {"/a", "/b"})
                QVERIFY(QFile::link(QString("%1/f%2").arg(Base).arg(i + 1), QString("%1/f%2%3").arg(Base).arg(i).arg(Name)));
        if (outside)
            QVERIFY(QFile::link(Base + "/f0", L.path() + "/start"));

        QElapsedTimer Timer;
        Timer.start();
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.LeftFileCount, 21);
        QCOMPARE(C.Problems.Count, 0);
        QVERIFY2(Timer.elapsed() < 20000, "the listing must not multiply");
        if (outside) {
            // Of two links to one folder the first in name order lists it.
            QCOMPARE(C.Paths.value(20), QString("start/file"));
            QCOMPARE(C.Paths.value(19), QString("start/a/file"));
            QVERIFY(!C.Paths.join(u'|').contains("/b/"));
        }
    }

    // A path far beyond the system's limit (1,000 folders of 200-character names) is listed like
    // any other; what cannot be read down there is named with the path shortened in the middle.
    void pathBeyondTheSystemLimit()
    {
        QTemporaryDir L(DeepTreePlace()), R(DeepTreePlace());
        WriteFile(L.path(), "shallow.txt", 1);
        WriteFile(R.path(), "shallow.txt", 1);
        const std::string Name(200, 'n');
        const QString Deep = MakeNestedFolders(L.path(), 1000, QByteArray::fromStdString(Name), {{"bottom.txt", "b"}});
        QVERIFY(!Deep.isEmpty());
        QCOMPARE(MakeNestedFolders(R.path(), 1000, QByteArray::fromStdString(Name), {{"bottom.txt", "c"}}), Deep);
        const auto RemoveDeepTree = qScopeGuard([&] {
            RemoveDeepFolder(L.path() + "/" + QString::fromStdString(Name));
            RemoveDeepFolder(R.path() + "/" + QString::fromStdString(Name));
        });
        const int Bottom = ::open(QFile::encodeName(L.path()).constData(), O_RDONLY | O_DIRECTORY);
        int Fd = Bottom;
        for (int Level = 0; Level < 1000 && Fd >= 0; ++Level) {
            const int Next = ::openat(Fd, Name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(Fd);
            Fd = Next;
        }
        QVERIFY(Fd >= 0);
        QCOMPARE(::symlinkat("missing", Fd, "dangling"), 0);
        ::close(Fd);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({Deep + "bottom.txt", Deep + "dangling", "shallow.txt"}));
        QCOMPARE(KindsOf(C), QString("DLE"));
        QCOMPARE(C.Problems.Count, 1);
        QCOMPARE(C.Problems.First.Path, L.path() + u'/' + Deep + "dangling");
        const QString Box = FolderResultBoxText(C);
        QVERIFY2(Box.startsWith("1 entry could not be read, the first: " + L.path()), qPrintable(Box));
        QVERIFY(Box.size() < 600);   // the long path is shortened in the middle
        QVERIFY(Box.contains(u'\u2026'));
    }

    // Depth is bounded by nothing but the file system: 5,000 nested folders on each side,
    // their paths far beyond the system's limit, are listed and their files compared.
    void deepTrees()
    {
        QTemporaryDir L(DeepTreePlace()), R(DeepTreePlace());
        const QString Deep = MakeNestedFolders(L.path(), 5000, "d", {{"f", "left"}, {"only", "x"}});
        QCOMPARE(MakeNestedFolders(R.path(), 5000, "d", {{"f", "righ"}, {"same", "s"}}), Deep);
        QVERIFY(!Deep.isEmpty());
        MakeNestedFolders(L.path() + "/d/d", 1, "same-at-3", {{"s", "1"}});
        MakeNestedFolders(R.path() + "/d/d", 1, "same-at-3", {{"s", "1"}});
        const auto Remove = qScopeGuard([&] { RemoveDeepFolder(L.path() + "/d"); RemoveDeepFolder(R.path() + "/d"); });

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({Deep + "f", Deep + "only", Deep + "same", "d/d/same-at-3/s"}));
        QCOMPARE(KindsOf(C), QString("DLRE"));
        QCOMPARE(C.Problems.Count, 0);
    }

    // A link to /proc/self: its files (size 0, content read on demand) are compared by their
    // bytes or reported as unreadable; the kernel's own links there (root, cwd, fd/...) are
    // not followed into the whole system. It ends.
    void linkToProcSelf()
    {
        QTemporaryDir L, R;
        for (const QString& Root : {L.path(), R.path()})
            QVERIFY(QFile::link("/proc/self", Root + "/self"));
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QVERIFY(!C.Cancelled);
        QVERIFY(C.Paths.contains("self/status"));
        QVERIFY(C.Paths.contains("self/cmdline"));
        for (const QString& P : C.Paths)
            QVERIFY2(!P.startsWith("self/root/") && !P.startsWith("self/cwd/"), qPrintable(P));
        // Both sides read the same process: its command line is equal.
        QCOMPARE(KindsOf(C)[C.Paths.indexOf("self/cmdline")], QLatin1Char('E'));
    }

    // Files of a pseudo file system report size 0 but have content: it is read and compared.
    void pseudoFilesAreComparedByContent_data()
    {
        QTest::addColumn<QByteArray>("copy");
        QTest::addColumn<QString>("kind");
        QFile Version("/proc/version");
        QVERIFY(Version.open(QIODevice::ReadOnly));
        const QByteArray Bytes = Version.readAll();
        QVERIFY(!Bytes.isEmpty());
        QTest::newRow("the same bytes") << Bytes << "E";
        QTest::newRow("one byte changed") << QByteArray(Bytes).replace(0, 1, "#") << "D";
        QTest::newRow("an empty file") << QByteArray() << "D";
    }
    void pseudoFilesAreComparedByContent()
    {
        QFETCH(QByteArray, copy);
        QTemporaryDir L, R;
        QVERIFY(QFile::link("/proc/version", L.path() + "/version"));
        WriteBytes(R.path() + "/version", copy);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({"version"}));
        QTEST(KindsOf(C), "kind");
        QCOMPARE(C.Problems.Count, 0);
    }

    // A tree holding a link to / stops when asked, however much of the system it has listed.
    void linkToTheRootStopsWhenAsked()
    {
        QTemporaryDir L, R;
        for (const QString& Root : {L.path(), R.path()})
            QVERIFY(QFile::link("/", Root + "/everything"));
        TFolderCompareControl Control;
        std::thread Stopper([&Control] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            Control.Cancel = true;
        });
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path(), &Control);
        Stopper.join();
        QVERIFY(C.Cancelled);
        QVERIFY(C.Items.isEmpty());
        QVERIFY(Control.FilesListed.load() > 0);
    }

    // A comparison asked to stop ends without rows.
    void cancelled()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), "a", 1);
        TFolderCompareControl Control;
        Control.Cancel = true;
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path(), &Control);
        QVERIFY(C.Cancelled);
        QVERIFY(C.Items.isEmpty());
    }

    // A folder that cannot be read adds no rows and is reported; the rest is listed, and a
    // same-size pair whose bytes cannot be read is different and reported.
    void unreadableFolder()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), "open/a", 1);
        WriteFile(L.path(), "locked/b", 1);
        WriteFile(R.path(), "open/a", 1);
        WriteFile(L.path(), "secret", 3, 'a');
        WriteFile(R.path(), "secret", 3, 'a');
        QCOMPARE(::chmod(QFile::encodeName(L.path() + "/secret").constData(), 0), 0);
        for (const QString& Root : {L.path(), R.path()})
            QCOMPARE(::chmod(QFile::encodeName(Root).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(L.path() + "/locked").constData(), 0), 0);

        // Root reads everything, so look through the eyes of an ordinary user while listing.
        const uid_t Saved = ::geteuid();
        const bool Dropped = Saved == 0 && ::seteuid(65534) == 0;
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        const TFolderComparison Missing = CompareFolderTrees(L.path() + "/no-such-folder", R.path());
        if (Dropped)
            QCOMPARE(::seteuid(Saved), 0);
        ::chmod(QFile::encodeName(L.path() + "/locked").constData(), 0700);
        if (Saved == 0 && !Dropped)
            QSKIP("cannot drop privileges to test an unreadable folder");

        // The folder that could not be listed is a row of its own; the file that could not be
        // read holds the same bytes as its partner: it could not be read, it is not different.
        QCOMPARE(C.Paths, QStringList({"locked", "open/a", "secret"}));
        QCOMPARE(C.LeftCells.value(0), QString("locked/"));
        QCOMPARE(KindsOf(C), QString("LED"));
        QVERIFY(C.Info[0].LeftUnreadable && C.Info[2].LeftUnreadable && !C.Info[2].RightUnreadable);
        QCOMPARE(FolderSideBadge(C, 2, 1), QString("could not be read"));
        QCOMPARE(FolderSideBadge(C, 2, 2), QString());
        QCOMPARE(FolderRowToolTip(C, 2, 1), "Could not be read: " + QString::fromLocal8Bit(std::strerror(EACCES)));
        QVERIFY(!C.IsDifference(2));
        QVERIFY(C.IsDifference(0));   // on one side only all the same
        QCOMPARE(C.CountOf(dkDifferent), 0);
        QCOMPARE(C.UnreadableCount(), 2);
        QCOMPARE(KindsOf(C), QString("LED"));
        QCOMPARE(FolderNavigationItems(C, true)[2].Kind, dkEqual);
        QCOMPARE(FolderNavigationItems(C, false)[2].Kind, dkDifferent);
        QCOMPARE(C.Problems.Count, 2);
        QCOMPARE(C.Problems.First.Path, L.path() + "/locked/");
        QCOMPARE(C.Problems.First.Reason, QString::fromLocal8Bit(std::strerror(EACCES)));
        QCOMPARE(Missing.LeftFileCount, 0);
        QCOMPARE(KindsOf(Missing), QString("RR"));
        QCOMPARE(Missing.Problems.Count, 1);
    }

    // Row order follows the default locale's collation with case ignored.
    void localeOrder_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("C: case-folded code units") << "C" << QStringList({"_x", "a", "B", "z", "é"});
        QTest::newRow("English: accents sort with their letter")
            << "en_US" << QStringList({"_x", "a", "B", "é", "z"});
    }
    void localeOrder()
    {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        QTemporaryDir L, R;
        for (const char* Name : {"z", "é", "B", "a"})
            WriteFile(L.path(), QString::fromUtf8(Name), 1);
        WriteFile(R.path(), "_x", 1);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QTEST(C.Paths, "order");
        QCOMPARE(KindsOf(C), QString("RLLLL"));
        QCOMPARE(C.Items[0].RightIndex, 0);
        QCOMPARE(C.Items[4].LeftIndex, 3);
    }

    // ListFilesRecursive on its own: paths relative to the root, whether or not the folders end
    // in a separator, and a folder below the root keeps its prefix.
    void listFilesRecursive()
    {
        QTemporaryDir D;
        WriteFile(D.path(), "x/y/z.txt", 1);
        WriteFile(D.path(), "top", 1);
        TFolderEntries Files;
        ListFilesRecursive(D.path(), D.path() + "/x/", Files);
        QCOMPARE(Files.size(), 1);
        QCOMPARE(Files[0].Path, QString("x/y/z.txt"));
        QCOMPARE(Files[0].Size, 1);
        QVERIFY(Files[0].HasTime);

        Files.clear();
        ListFilesRecursive(D.path() + "/", D.path(), Files);
        SortFolderEntries(Files);
        QCOMPARE(Files.size(), 2);
        QCOMPARE(Files[0].Path, QString("top"));
        QCOMPARE(Files[1].Path, QString("x/y/z.txt"));
    }

    // Random trees with letter-case variants across the sides, against the plain construction.
    void randomTreesAgreeWithAPlainListing_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<quint32>("seed");
        for (const char* Locale : {"C", "en_US", "de_DE"})
            for (quint32 Seed = 1; Seed <= 4; ++Seed)
                QTest::addRow("%s seed %u", Locale, Seed) << QString::fromLatin1(Locale) << Seed;
    }
    void randomTreesAgreeWithAPlainListing()
    {
        QFETCH(QString, locale);
        QFETCH(quint32, seed);
        QLocale::setDefault(QLocale(locale));
        QRandomGenerator Random(seed);
        QTemporaryDir L, R;

        QSet<QString> LeftTaken, RightTaken;
        for (int i = 0; i < 60; ++i) {
            const QString P = RandomPath(Random);
            const int Where = Random.bounded(4);   // 0 left, 1 right, 2-3 both
            const QString Q = FlipSomeCase(P, Random);
            const qsizetype Size = Random.bounded(3);
            if (Where != 1 && !LeftTaken.contains(P)) {
                LeftTaken.insert(P);
                WriteFile(L.path(), P, Size, 'a');
                SetModified(L.path() + u'/' + P, 1'600'000'000 + Random.bounded(3));
            }
            if (Where != 0 && !RightTaken.contains(Q)) {
                RightTaken.insert(Q);
                // The same size with other bytes too, which only reading tells apart.
                WriteFile(R.path(), Q, Where == 1 ? Size : Random.bounded(2) ? Size : Size + 1,
                          Random.bounded(2) ? 'a' : 'b');
                SetModified(R.path() + u'/' + Q, 1'600'000'000 + Random.bounded(3));
            }
        }

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        const QList<TPlainRow> Plain = PlainFolderRows(L.path(), R.path());
        QCOMPARE(C.Items.size(), Plain.size());
        for (qsizetype i = 0; i < Plain.size(); ++i) {
            QCOMPARE(C.Paths[i], Plain[i].Path);
            QCOMPARE(C.Items[i].LeftIndex, Plain[i].LeftIndex);
            QCOMPARE(C.Items[i].RightIndex, Plain[i].RightIndex);
            QCOMPARE(KindsOf(C)[i], QLatin1Char(Plain[i].Kind));
            QCOMPARE(C.LeftCells[i], Plain[i].LeftCell);
            QCOMPARE(C.RightCells[i], Plain[i].RightCell);
            QCOMPARE(C.LeftNewer[i], Plain[i].LeftNewer);
            QCOMPARE(C.RightNewer[i], Plain[i].RightNewer);
        }
        QCOMPARE(C.LeftFileCount, LeftTaken.size());
        QCOMPARE(C.RightFileCount, RightTaken.size());
    }

    void fileSizeOf()
    {
        QTemporaryDir D;
        WriteFile(D.path(), "five", 5);
        WriteFile(D.path(), "empty", 0);
        QCOMPARE(FileSizeOf(D.path() + "/five"), 5);
        QCOMPARE(FileSizeOf(D.path() + "/empty"), 0);
        QCOMPARE(FileSizeOf(D.path() + "/missing"), -1);
        QCOMPARE(FileSizeOf(D.path()), -1);
    }
};

QTEST_GUILESS_MAIN(TestFolderCompare)
#include "tst_folder_compare.moc"
