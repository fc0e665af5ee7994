#include "folder/FolderCompare.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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


// The row model built the plain way: a QDirIterator listing, sorted insertion with the
// collator, binary search for each side's position, a stat of each side's own file.
struct TPlainRow
{
    QString Path, LeftCell, RightCell;
    int LeftIndex = -1, RightIndex = -1;
    char Kind = 'E';
};

QStringList PlainSortedList(const QString& Root, const QCollator& Collator)
{
    QStringList Sorted;
    QDirIterator It(Root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString P = It.next().mid(Root.size() + 1);
        const auto At = std::lower_bound(Sorted.begin(), Sorted.end(), P,
                                         [&](const QString& A, const QString& B) { return Collator.compare(A, B) < 0; });
        if (At == Sorted.end() || Collator.compare(*At, P) != 0)
            Sorted.insert(At, P);
    }
    return Sorted;
}

int PlainIndexOf(const QStringList& Sorted, const QString& P, const QCollator& Collator)
{
    const auto At = std::lower_bound(Sorted.begin(), Sorted.end(), P,
                                     [&](const QString& A, const QString& B) { return Collator.compare(A, B) < 0; });
    return At != Sorted.end() && Collator.compare(*At, P) == 0 ? int(At - Sorted.begin()) : -1;
}

QList<TPlainRow> PlainFolderRows(const QString& L, const QString& R)
{
    QCollator Collator;
    Collator.setCaseSensitivity(Qt::CaseInsensitive);
    const QStringList Left = PlainSortedList(L, Collator), Right = PlainSortedList(R, Collator);
    QStringList Union = Left;
    for (const QString& P : Right)
        if (PlainIndexOf(Union, P, Collator) < 0)
            Union.insert(std::lower_bound(Union.begin(), Union.end(), P,
                                          [&](const QString& A, const QString& B) { return Collator.compare(A, B) < 0; }),
                         P);
    QList<TPlainRow> Rows;
    for (const QString& P : Union) {
        TPlainRow Row;
        Row.Path = P;
        Row.LeftIndex = PlainIndexOf(Left, P, Collator);
        Row.RightIndex = PlainIndexOf(Right, P, Collator);
        const QString LName = Row.LeftIndex >= 0 ? Left[Row.LeftIndex] : QString();
        const QString RName = Row.RightIndex >= 0 ? Right[Row.RightIndex] : QString();
        Row.LeftCell = LName;
        Row.RightCell = RName;
        if (Row.LeftIndex >= 0 && Row.RightIndex >= 0) {
            struct stat SL = {}, SR = {};
            const bool Found = ::stat(QFile::encodeName(L + u'/' + LName).constData(), &SL) == 0
                               && ::stat(QFile::encodeName(R + u'/' + RName).constData(), &SR) == 0;
            Row.Kind = Found && SL.st_size == SR.st_size ? 'E' : 'D';
            const qint64 TL = qint64(SL.st_mtim.tv_sec) * 1000000000 + SL.st_mtim.tv_nsec;
            const qint64 TR = qint64(SR.st_mtim.tv_sec) * 1000000000 + SR.st_mtim.tv_nsec;
            if (Row.Kind == 'D' && TL > TR)
                Row.LeftCell += " new";
            if (Row.Kind == 'D' && TR > TL)
                Row.RightCell += " new";
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
        QCOMPARE(C.LeftCells, QStringList({rightIsNewer ? "a.txt" : "a.txt new", "", "sub/b.txt"}));
        QCOMPARE(C.RightCells, QStringList({rightIsNewer ? "a.txt new" : "a.txt", "c.txt", ""}));
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
        QCOMPARE(FolderStatusText(C.LeftFileCount, C.RightFileCount),
                 QString("Compared 2 files (left folder, including subfolders) vs 2 files (right folder, "
                         "including subfolders)."));

        QCOMPARE(FolderGridColumn(C, 0), QStringList({"", "1", "2", "3"}));
        QCOMPARE(FolderGridColumn(C, 1), QStringList({"", C.LeftCells[0], "", "sub/b.txt"}));
        QCOMPARE(FolderGridColumn(C, 2), QStringList({"", C.RightCells[0], "c.txt", ""}));
    }

    // Sizes decide, never contents; the times only place " new" on a differing pair.
    void equalSizesDifferentContents()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), "one.txt", 10, 'a');
        WriteFile(R.path(), "one.txt", 10, 'b');
        WriteFile(L.path(), "deep/er/two.bin", 0);
        WriteFile(R.path(), "deep/er/two.bin", 0);
        SetModified(L.path() + "/one.txt", 1'000'000'000);
        SetModified(R.path() + "/one.txt", 1'500'000'000);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(KindsOf(C), QString("EE"));
        QCOMPARE(C.LeftCells, QStringList({"deep/er/two.bin", "one.txt"}));
        QCOMPARE(C.RightCells, C.LeftCells);
        QVERIFY(!C.HasDifferences());
        QCOMPARE(QString::fromUtf8(FoldersIdenticalText), QString("The folders are identical (no different files)."));
    }

    void twoEmptyTrees()
    {
        QTemporaryDir L, R;
        QVERIFY(QDir(R.path()).mkpath("only/empty/folders"));
        QVERIFY(QDir(L.path()).mkpath("x"));
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QVERIFY(C.Items.isEmpty());
        QCOMPARE(C.LeftFileCount, 0);
        QCOMPARE(C.RightFileCount, 0);
        QVERIFY(!C.HasDifferences());
        QCOMPARE(FolderGridColumn(C, 0), QStringList({""}));
        QCOMPARE(FolderStatusText(0, 0), QString("Compared 0 files (left folder, including subfolders) vs 0 files "
                                                 "(right folder, including subfolders)."));
    }

    // One row; the union keeps the left spelling, and each side is judged and shown by its own
    // file, which is found although its name is spelt differently.
    void letterCaseOnlyDiffers_data()
    {
        QTest::addColumn<int>("rightSize");
        QTest::addColumn<QString>("kinds");
        QTest::newRow("equal sizes") << 7 << "E";
        QTest::newRow("other sizes") << 8 << "D";
    }
    void letterCaseOnlyDiffers()
    {
        QFETCH(int, rightSize);
        QTemporaryDir L, R;
        WriteFile(L.path(), "A.TXT", 7);
        WriteFile(R.path(), "a.txt", rightSize);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QTEST(KindsOf(C), "kinds");
        QCOMPARE(C.Paths, QStringList({"A.TXT"}));
        QCOMPARE(C.LeftCells.value(0).left(5), QString("A.TXT"));
        QCOMPARE(C.RightCells.value(0).left(5), QString("a.txt"));
    }

    // Two names on one side that differ only in case are one entry, whichever readdir lists first.
    void letterCaseTwinsOnOneSide()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), "Read.me", 1);
        WriteFile(L.path(), "read.ME", 2);
        WriteFile(R.path(), "README", 3);
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.LeftFileCount, 1);
        QCOMPARE(C.LeftCells, QStringList({"Read.me", ""}));
        QCOMPARE(KindsOf(C), QString("LR"));
    }

    void newMarkerNeedsALaterTime_data()
    {
        QTest::addColumn<long>("leftNs");
        QTest::addColumn<long>("rightNs");
        QTest::addColumn<QString>("leftCell");
        QTest::addColumn<QString>("rightCell");
        QTest::newRow("equal times") << 0L << 0L << "f" << "f";
        QTest::newRow("right later by a microsecond") << 0L << 1000L << "f" << "f new";
        QTest::newRow("left later by a microsecond") << 1000L << 0L << "f new" << "f";
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
        QTEST(C.LeftCells.value(0), "leftCell");
        QTEST(C.RightCells.value(0), "rightCell");
    }

    // Hidden files and files in hidden folders are listed; empty folders never make rows.
    void hiddenFilesAndEmptyFolders()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), ".hidden", 1);
        WriteFile(L.path(), ".git/config", 1);
        WriteFile(R.path(), ".hidden", 1);
        QVERIFY(QDir(L.path()).mkpath("empty/nested"));
        QVERIFY(QDir(R.path()).mkpath("other"));
        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({".git/config", ".hidden"}));
        QCOMPARE(KindsOf(C), QString("LE"));
    }

    // Links to folders are followed, also to a folder listed elsewhere in the tree; a link back
    // into a folder being listed ends there; a link to a file counts as the file; a dangling link
    // is a file whose size is unknown.
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
            QVERIFY(QFile::link(Root + "/missing", Root + "/dangling"));
            QVERIFY(QFile::link(Root + "/sub", Root + "/alias"));       // not a cycle: listed again
        }
        QVERIFY(QFile::link(R.path() + "/sub/f.txt", L.path() + "/file-link"));
        WriteFile(R.path(), "file-link", 2);

        const TFolderComparison C = CompareFolderTrees(L.path(), R.path());
        QCOMPARE(C.Paths, QStringList({"alias/f.txt", "dangling", "ext/shared.txt", "file-link", "sub/f.txt"}));
        QCOMPARE(KindsOf(C), QString("EDEEE"));
        QCOMPARE(C.LeftCells[1], QString("dangling"));   // no time, so no " new"
        QCOMPARE(C.RightCells[1], QString("dangling"));
    }

    // A folder that cannot be read adds nothing and raises nothing; the rest is listed.
    void unreadableFolder()
    {
        QTemporaryDir L, R;
        WriteFile(L.path(), "open/a", 1);
        WriteFile(L.path(), "locked/b", 1);
        WriteFile(R.path(), "open/a", 1);
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

        QCOMPARE(C.Paths, QStringList({"open/a"}));
        QCOMPARE(KindsOf(C), QString("E"));
        QCOMPARE(Missing.LeftFileCount, 0);
        QCOMPARE(KindsOf(Missing), QString("R"));
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

        // Each side holds no two paths equal but for case, so no listing order decides anything.
        QSet<QString> LeftTaken, RightTaken;
        for (int i = 0; i < 60; ++i) {
            const QString P = RandomPath(Random);
            const int Where = Random.bounded(4);   // 0 left, 1 right, 2-3 both
            const QString Q = FlipSomeCase(P, Random);
            const qsizetype Size = Random.bounded(3);
            if (Where != 1 && !LeftTaken.contains(P.toCaseFolded())) {
                LeftTaken.insert(P.toCaseFolded());
                WriteFile(L.path(), P, Size);
                SetModified(L.path() + u'/' + P, 1'600'000'000 + Random.bounded(3));
            }
            if (Where != 0 && !RightTaken.contains(Q.toCaseFolded())) {
                RightTaken.insert(Q.toCaseFolded());
                WriteFile(R.path(), Q, Where == 1 ? Size : Random.bounded(2) ? Size : Size + 1);
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
