#include "support/app/WindowDriver.h"
#include "support/core/DeepFolders.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QtTest>

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Stands in for the listing: reports a running count and holds until asked to stop (at most 20 s).
TFolderComparison HoldUntilCancelled(const QString&, const QString&, TFolderCompareControl* Control)
{
    Control->FilesListed = 41000;
    for (int I = 0; I < 2000 && !Control->Cancel; ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TFolderComparison Result;
    Result.Cancelled = Control->Cancel;
    return Result;
}

TFolderComparison RunOutOfMemory(const QString&, const QString&, TFolderCompareControl* Control)
{
    Control->FilesListed = 1234;
    throw std::bad_alloc();
}

}   // namespace

// The forced folder command and CompareFolders, driven through the real window on real trees.
class TestWindowFolders : public QObject
{
    Q_OBJECT

    // Writes Size bytes of Fill at Root/Relative, making the folders on the way.
    static QString Put(const QString& Root, const QString& Relative, int Size, char Fill = 'x')
    {
        const QString Path = QDir(Root).filePath(Relative);
        QDir().mkpath(QFileInfo(Path).absolutePath());
        QFile File(Path);
        if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(Path));
        File.write(QByteArray(Size, Fill));
        return Path;
    }

    static void SetTime(const QString& Path, qint64 Seconds)
    {
        const struct timespec Times[2] = {{Seconds, 0}, {Seconds, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(Path).constData(), Times, 0), 0);
    }

    static QStringList EnabledButtons(TWindowDriver& D)
    {
        QStringList Names;
        for (const char* Name : {"btnCompare", "SpeedButton1", "btnPrevDiff", "btnDiffNext", "btnFirstDiff",
                                 "btnLastDiff", "btnLeftToRight", "btnRightToLeft", "btnAllLeftDiffsToRight",
                                 "btnAllRightDiffsToLeft", "btnUndo", "btnSaveLeft", "btnSaveRight", "btnSettings",
                                 "btnInfo"})
            if (D.Find<QToolButton>(Name)->isEnabled())
                Names.append(QLatin1String(Name));
        return Names;
    }

    static const QStringList& FolderModeButtons()
    {
        static const QStringList Names{"btnCompare", "SpeedButton1", "btnPrevDiff", "btnDiffNext", "btnFirstDiff",
                                       "btnLastDiff", "btnSettings", "btnInfo"};
        return Names;
    }

    static QString StatusOf(int Left, int Right, int Different = 0, int LeftOnly = 0, int RightOnly = 0)
    {
        return QStringLiteral("Compared %1 files (left folder, including subfolders) vs %2 files (right folder, "
                              "including subfolders). %3 different, %4 only left, %5 only right.")
            .arg(Left)
            .arg(Right)
            .arg(Different)
            .arg(LeftOnly)
            .arg(RightOnly);
    }

private slots:
    // The basic case: a.txt differs in size, sub/b.txt is left only, c.txt right only.
    void folderExample_data()
    {
        QTest::addColumn<qint64>("LeftTime");
        QTest::addColumn<qint64>("RightTime");
        QTest::addColumn<bool>("LeftNewer");
        QTest::addColumn<bool>("RightNewer");
        QTest::newRow("left a.txt is newer") << qint64(1700000200) << qint64(1700000100) << true << false;
        QTest::newRow("right a.txt is newer") << qint64(1600000000) << qint64(1700000000) << false << true;
        QTest::newRow("equal times mark neither") << qint64(1700000000) << qint64(1700000000) << false << false;
    }

    void folderExample()
    {
        QFETCH(qint64, LeftTime);
        QFETCH(qint64, RightTime);
        QFETCH(bool, LeftNewer);
        QFETCH(bool, RightNewer);
        TWindowDriver D;
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        SetTime(Put(L, QStringLiteral("a.txt"), 5), LeftTime);
        Put(L, QStringLiteral("sub/b.txt"), 3);
        SetTime(Put(R, QStringLiteral("a.txt"), 10), RightTime);
        Put(R, QStringLiteral("c.txt"), 3);
        for (const QString& Root : {L, R})
            QDir().mkpath(QDir(Root).filePath(QStringLiteral("empty/deeper")));   // on both sides: no row

        // Typed with blanks around and a separator at the end: the command trims, the box keeps them.
        const QString LeftTyped = QStringLiteral("  ") + L + QStringLiteral("/ ");
        D.SetPaths(LeftTyped, R);
        D.Trigger("miAsFolders1");

        QCOMPARE(D.Platform.Log(), QStringList());   // no box: the folders differ
        TfrmMain& W = *D.Window;
        QCOMPARE(W.grdDiff->RowCount(), 4);
        QCOMPARE(D.Row(0), (QStringList{"", "", ""}));
        QCOMPARE(D.Row(1), (QStringList{"1", "a.txt", "a.txt"}));   // the newer mark is a flag beside the row
        QCOMPARE(W.FFolderRows.LeftNewer, (QList<bool>{LeftNewer, false, false}));
        QCOMPARE(W.FFolderRows.RightNewer, (QList<bool>{RightNewer, false, false}));
        QCOMPARE(D.Row(2), (QStringList{"2", "", "c.txt"}));
        QCOMPARE(D.Row(3), (QStringList{"3", QStringLiteral("sub") + QDir::separator() + "b.txt", ""}));

        QCOMPARE(W.FDiffItems.size(), 3);
        const TDiffKind Kinds[] = {dkDifferent, dkRightOnly, dkLeftOnly};
        const int LeftIndexes[] = {0, -1, 1}, RightIndexes[] = {0, 1, -1};
        for (int I = 0; I < 3; ++I) {
            const TDiffItem& Item = W.FDiffItems[I];
            QCOMPARE(Item.Kind, Kinds[I]);
            QCOMPARE(Item.LeftIndex, LeftIndexes[I]);
            QCOMPARE(Item.RightIndex, RightIndexes[I]);
            QCOMPARE(Item.LeftChangeStart, -1);
            QCOMPARE(Item.RightChangeStart, -1);
            QCOMPARE(Item.LeftChangeLen, 0);
            QCOMPARE(Item.RightChangeLen, 0);
        }

        QCOMPARE(D.Status(), StatusOf(2, 2, 1, 1, 1));
        QVERIFY(W.FFolderMode);
        QCOMPARE(EnabledButtons(D), FolderModeButtons());
        QVERIFY(D.Find<QFrame>("Panel2")->isHidden());
        QTRY_VERIFY(W.grdDiff->height() > 100);
        QCOMPARE(W.grdDiff->Row(), 1);
        QVERIFY(!D.Window->UnsavedChanges);

        // Keeping rule with the trimmed paths; the edit texts stay as typed.
        QCOMPARE(D.History("cmbLeft"), QStringList{L + QStringLiteral("/")});
        QCOMPARE(D.History("cmbRight"), QStringList{R});
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), LeftTyped);
        // Every row is at least one text line high.
        for (int Row = 1; Row < W.grdDiff->RowCount(); ++Row)
            QVERIFY(W.grdDiff->RowHeights(Row) >= W.FBaseRowHeight);
    }

    // Same names and bytes are identical, whatever the times; two empty trees are identical too.
    void identicalTrees_data()
    {
        QTest::addColumn<bool>("WithFiles");
        QTest::newRow("same bytes, other times") << true;
        QTest::newRow("two empty trees") << false;
    }

    void identicalTrees()
    {
        QFETCH(bool, WithFiles);
        TWindowDriver D;
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        if (WithFiles) {
            Put(L, QStringLiteral("one.bin"), 100, 'a');
            Put(R, QStringLiteral("one.bin"), 100, 'a');
            SetTime(Put(L, QStringLiteral("deep/er/two.txt"), 7, 'z'), 1000);
            SetTime(Put(R, QStringLiteral("deep/er/two.txt"), 7, 'z'), 2000);
        } else {
            for (const QString& Root : {L, R})
                QDir().mkpath(QDir(Root).filePath(QStringLiteral("only/folders")));
        }
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");

        QCOMPARE(D.Platform.Log(), QStringList{"information: The folders are identical (no different files)."});
        const int N = WithFiles ? 2 : 0;
        QCOMPARE(D.Status(), StatusOf(N, N));
        QCOMPARE(D.Window->FDiffItems.size(), N);
        QCOMPARE(D.Window->grdDiff->RowCount(), N + 1);
        for (const TDiffItem& Item : D.Window->FDiffItems)
            QCOMPARE(Item.Kind, dkEqual);
        if (WithFiles) {
            QCOMPARE(D.Row(1), (QStringList{"1", "deep/er/two.txt", "deep/er/two.txt"}));   // no " new" on equal files
            QCOMPARE(D.Row(2), (QStringList{"2", "one.bin", "one.bin"}));
        }
        QVERIFY(D.Window->FFolderMode);
        QCOMPARE(EnabledButtons(D), FolderModeButtons());
        QVERIFY(D.Find<QFrame>("Panel2")->isHidden());
    }

    // Equal sizes with other bytes differ (with the newer mark); A.TXT and a.txt are two files.
    void sameSizeOtherBytesAndLetterCase()
    {
        TWindowDriver D;
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        SetTime(Put(L, QStringLiteral("one.bin"), 100, 'a'), 1000);
        SetTime(Put(R, QStringLiteral("one.bin"), 100, 'b'), 2000);
        Put(L, QStringLiteral("A.TXT"), 4);
        Put(R, QStringLiteral("a.txt"), 4);
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");
        QCOMPARE(D.Window->FDiffItems.size(), 3);
        QCOMPARE(D.Row(1), (QStringList{"1", "A.TXT", ""}));
        QCOMPARE(D.Row(2), (QStringList{"2", "", "a.txt"}));
        QCOMPARE(D.Row(3), (QStringList{"3", "one.bin", "one.bin"}));
        QCOMPARE(D.Window->FDiffItems[2].Kind, dkDifferent);
        QCOMPARE(D.Window->FFolderRows.RightNewer, (QList<bool>{false, false, true}));
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(D.Status(), StatusOf(2, 2, 1, 1, 1));
    }

    void refusals_data()
    {
        TWindowDriver::AddRefusalColumns();
        const QString Both = QStringLiteral("error: Both paths must be existing folders for folder comparison.");
        const QString Select = QStringLiteral("warning: Please select both left and right folders.");
        QTest::newRow("unsaved, answered Cancel") << true << "left" << "right"
            << QStringList{"confirmation: Compare the specified folders?\r\nCurrent changes will be lost."};
        QTest::newRow("left empty") << false << "" << "right" << QStringList{Select};
        QTest::newRow("right only blanks") << false << "left" << " \t " << QStringList{Select};
        QTest::newRow("left is a file") << false << "file.txt" << "right" << QStringList{Both};
        QTest::newRow("right is a file") << false << "left" << "file.txt" << QStringList{Both};
        QTest::newRow("right is missing") << false << "left" << "missing" << QStringList{Both};
        QTest::newRow("both missing: one error") << false << "gone" << "missing" << QStringList{Both};
    }

    // A refused command leaves the shown comparison, the histories and the settings alone.
    void refusals()
    {
        QFETCH(bool, Unsaved);
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QStringList, Log);
        TWindowDriver D;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"one", "two"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"one", "2"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        QFile::remove(D.SettingsFile());
        D.Platform.Clear();
        D.MakeFolder(QStringLiteral("left"));
        D.MakeFolder(QStringLiteral("right"));
        D.WriteLines(QStringLiteral("file.txt"), {"x"});
        D.SetUpRefusal(Unsaved, Left, Right);
        const QStringList LeftHistory = D.History("cmbLeft"), RightHistory = D.History("cmbRight");
        const QString StatusBefore = D.Status();

        D.Trigger("miAsFolders1");

        QCOMPARE(D.Platform.Log(), Log);
        QVERIFY(!D.Window->FFolderMode);
        QCOMPARE(D.Window->FDiffItems.size(), 2);
        QCOMPARE(D.Row(2), (QStringList{"2", "two", "2"}));
        QCOMPARE(D.Status(), StatusBefore);
        QCOMPARE(D.History("cmbLeft"), LeftHistory);
        QCOMPARE(D.History("cmbRight"), RightHistory);
        QVERIFY(!QFileInfo::exists(D.SettingsFile()));
        QCOMPARE(D.Window->UnsavedChanges, Unsaved);
        QCOMPARE(EnabledButtons(D).size(), 15);
    }

    // Yes to the question: the folders are compared and the unsaved changes are gone with the
    // undo states; a later text comparison brings every button back.
    void unsavedChangesAnsweredYes()
    {
        TWindowDriver D;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"one"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"two"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        D.Window->FUndoStack.Push(TUndoState{{"x"}, {"y"}, 1, 1, 1});
        D.Window->UnsavedChanges = true;
        const QStringList LinesBefore = D.Window->FLeftLines;
        D.Platform.Clear();

        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        Put(L, QStringLiteral("only-left"), 1);
        D.SetPaths(L, R);
        D.Platform.ConfirmAnswers = {true};
        D.Trigger("miAsFolders1");

        QCOMPARE(D.Platform.Log(), QStringList{"confirmation: Compare the specified folders?\r\nCurrent changes will be lost."});
        QVERIFY(!D.Window->UnsavedChanges);
        QCOMPARE(D.Window->FUndoStack.Count(), 0);
        QCOMPARE(D.Row(1), (QStringList{"1", "only-left", ""}));
        QCOMPARE(D.Window->grdDiff->RowCount(), 2);
        QCOMPARE(EnabledButtons(D), FolderModeButtons());
        // The line lists keep what they held; nothing reads them in folder mode.
        QCOMPARE(D.Window->FLeftLines, LinesBefore);
        // History: the text paths below, the folders on top.
        QCOMPARE(D.History("cmbLeft"), (QStringList{L, A}));

        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        QVERIFY(!D.Window->FFolderMode);
        QCOMPARE(EnabledButtons(D).size(), 15);
    }

    // Folder mode: navigation steps over the equal rows; merges and undo are refused with the
    // exclamation sound alone, and the line lists stay as they were.
    void folderModeNavigatesAndRefusesChanges()
    {
        TWindowDriver D;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"kept"});
        D.SetPaths(A, A);
        D.Trigger("miAsTextFiles1");
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        for (const char* Name : {"1-equal", "3-equal", "5-equal"}) {
            Put(L, QLatin1String(Name), 2);
            Put(R, QLatin1String(Name), 2);
        }
        Put(L, QStringLiteral("2-different"), 1);
        Put(R, QStringLiteral("2-different"), 2);
        Put(L, QStringLiteral("4-left-only"), 1);
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");
        D.Platform.Clear();
        TfrmMain& W = *D.Window;

        D.Click("btnFirstDiff");
        QCOMPARE(W.grdDiff->Row(), 2);
        D.Click("btnDiffNext");
        QCOMPARE(W.grdDiff->Row(), 4);
        D.Click("btnPrevDiff");
        QCOMPARE(W.grdDiff->Row(), 2);
        D.Click("btnLastDiff");
        QCOMPARE(W.grdDiff->Row(), 4);
        QCOMPARE(D.Platform.Beeps, 0);

        D.Trigger("ActionUndo");
        W.RunCommand([&] { W.btnLeftToRightClick(); });
        W.RunCommand([&] { W.btnAllRightDiffsToLeftClick(); });
        QCOMPARE(D.Platform.Beeps, 3);
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(W.FLeftLines, QStringList{"kept"});
        QCOMPARE(D.Row(4), (QStringList{"4", "4-left-only", ""}));
        QVERIFY(!D.Window->UnsavedChanges);
    }

    // A merge still recomputing when the folders are compared: its result must not replace the
    // folder rows, and its busy pointer must end.
    void pendingRecomputeIsDiscarded()
    {
        TWindowDriver D;
        QStringList Many;
        for (int I = 0; I < 20000; ++I)
            Many.append(QStringLiteral("line %1").arg(I % 97));
        const QString A = D.WriteLines(QStringLiteral("a.txt"), Many);
        Many[5] = QStringLiteral("changed");
        const QString B = D.WriteLines(QStringLiteral("b.txt"), Many);
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        D.Platform.Clear();

        TfrmMain& W = *D.Window;
        W.FRightLines[5] = QStringLiteral("line 5");
        D.Platform.SetPointer(TPointer::AppStarting);   // as a merge does
        W.RecomputeDiffAsync();
        QVERIFY(W.FDiffRecomputeInProgress);

        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        SetTime(Put(L, QStringLiteral("x"), 1), 1000);
        SetTime(Put(R, QStringLiteral("x"), 2), 1000);
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");

        QVERIFY(!W.FDiffRecomputeInProgress);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QTest::qWait(1500);   // time for the stale hand-back to arrive and be dropped
        QVERIFY(W.FFolderMode);
        QCOMPARE(W.FDiffItems.size(), 1);
        QCOMPARE(W.grdDiff->RowCount(), 2);
        QCOMPARE(D.Row(1), (QStringList{"1", "x", "x"}));
        QCOMPARE(D.Status(), StatusOf(1, 1, 1));
    }

    // While the folders are compared the window paints and counts, takes no command, and Esc or
    // closing the window stops the comparison: the previous result stays, unsaved changes too.
    void cancelKeepsThePreviousResult_data()
    {
        QTest::addColumn<bool>("ByClosing");
        QTest::newRow("Esc") << false;
        QTest::newRow("closing the window") << true;
    }

    void cancelKeepsThePreviousResult()
    {
        QFETCH(bool, ByClosing);
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"one", "two", "three"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"one", "2", "three"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        D.Window->UnsavedChanges = true;
        const QString StatusBefore = D.Status();
        const QStringList HistoryBefore = D.History("cmbLeft");
        D.Platform.Clear();

        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        D.SetPaths(L, R);
        D.Platform.ConfirmAnswers = {true, true};   // discard the changes: for the comparison, then for closing
        W.FCompareFolderTrees = &HoldUntilCancelled;
        QStringList Seen;
        int RowAfterClick = -1;
        QTimer Watch;
        Watch.setInterval(20);
        QObject::connect(&Watch, &QTimer::timeout, [&] {
            Seen.append(D.Status());
            if (!D.Status().startsWith(QStringLiteral("Comparing folders: 41,000 files…")))
                return;
            Watch.stop();
            D.Click("btnLastDiff");   // swallowed: no command runs meanwhile
            RowAfterClick = W.grdDiff->Row();
            if (ByClosing)
                W.close();
            else
                QTest::keyClick(W.grdDiff, Qt::Key_Escape);
        });
        Watch.start();
        const int RowBefore = W.grdDiff->Row();
        D.Trigger("miAsFolders1");

        QVERIFY2(!Seen.isEmpty() && Seen.last().startsWith(QStringLiteral("Comparing folders: 41,000 files…")),
                 qPrintable(Seen.join(u'|')));
        QCOMPARE(RowAfterClick, RowBefore);
        QVERIFY(!W.FFolderMode);
        QCOMPARE(D.Row(2), (QStringList{"2", "two", "2"}));
        QCOMPARE(D.Status(), StatusBefore);
        QVERIFY(D.Window->UnsavedChanges);
        QCOMPARE(D.History("cmbLeft"), HistoryBefore);
        QCOMPARE(D.Platform.Log().value(0), QStringLiteral("confirmation: Compare the specified folders?\r\nCurrent changes will be lost."));
        if (ByClosing) {
            // The close waited for the stop, then asked as any close with unsaved changes does.
            QTRY_VERIFY(!W.isVisible());
            QCOMPARE(D.Platform.Log().size(), 2);
            QVERIFY(D.Platform.Log()[1].startsWith(QStringLiteral("risky confirmation: Close Quorlane?")));
        } else {
            QVERIFY(W.isVisible());
            QCOMPARE(D.Platform.Log().size(), 1);
        }
        D.Window->UnsavedChanges = false;
    }

    // A tree that does not fit in memory ends with a clear message; the previous result stays.
    void outOfMemoryIsAMessage()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"one"});
        D.SetPaths(A, A);
        D.Trigger("miAsTextFiles1");
        const QString StatusBefore = D.Status();
        D.Platform.Clear();
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        D.SetPaths(L, R);
        W.FCompareFolderTrees = &RunOutOfMemory;
        D.Trigger("miAsFolders1");
        QCOMPARE(D.Platform.Log(),
                 QStringList{QStringLiteral("error: Not enough memory to compare the folders \"%1\" and \"%2\" "
                                            "(1234 files listed).").arg(L, R)});
        QVERIFY(!W.FFolderMode);
        QCOMPARE(D.Status(), StatusBefore);
        QCOMPARE(D.Row(1), (QStringList{"1", "one", "one"}));
    }

    // Enter, double-click or "Compare these files" opens the row's pair in another window of this
    // process, which compares it; a file on one side only has no pair and beeps.
    void openAPair_data()
    {
        QTest::addColumn<QString>("How");
        QTest::addColumn<int>("Row");
        QTest::addColumn<bool>("Opens");
        QTest::newRow("Enter on a differing pair") << "Enter" << 1 << true;
        QTest::newRow("menu on a differing pair") << "menu" << 1 << true;
        QTest::newRow("Enter on an equal pair") << "Enter" << 3 << true;
        QTest::newRow("Enter on a left-only file") << "Enter" << 2 << false;
        QTest::newRow("menu on a left-only file") << "menu" << 2 << false;
        QTest::newRow("double-click on a differing pair") << "double-click" << 1 << true;
        QTest::newRow("double-click on an equal pair") << "double-click" << 3 << true;
        QTest::newRow("double-click on a left-only file") << "double-click" << 2 << false;
    }

    void openAPair()
    {
        QFETCH(QString, How);
        QFETCH(int, Row);
        QFETCH(bool, Opens);
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        Put(L, QStringLiteral("sub dir/a & b.txt"), 3);
        Put(R, QStringLiteral("sub dir/a & b.txt"), 4);
        Put(L, QStringLiteral("sub dir/left only"), 4);
        Put(L, QStringLiteral("z"), 4);
        Put(R, QStringLiteral("z"), 4);
        D.SetPaths(L + QStringLiteral("/"), R);
        D.Trigger("miAsFolders1");
        D.Platform.Clear();
        QTRY_VERIFY(W.grdDiff->height() > 100);
        W.grdDiff->SetRow(Row);

        if (How == QStringLiteral("Enter")) {
            QTest::keyClick(W.grdDiff, Qt::Key_Return);
        } else if (How == QStringLiteral("menu")) {
            W.grdDiffContextMenu(W.grdDiff->CellRect(1, Row).center());
            QTRY_VERIFY(W.pmFolderRow->isVisible());
            QCOMPARE(W.miCompareTheseFiles->isEnabled(), Opens);
            W.pmFolderRow->hide();
            if (W.miCompareTheseFiles->isEnabled())
                D.Trigger("miCompareTheseFiles");
        } else {
            QTest::mouseDClick(W.grdDiff->viewport(), Qt::LeftButton, {}, W.grdDiff->CellRect(1, Row).center());
        }

        const QString Name = Row == 1 ? QStringLiteral("sub dir/a & b.txt") : QStringLiteral("z");
        const QList<TfrmMain*> Pairs = D.OtherWindows();
        QCOMPARE(Pairs.size(), Opens ? 1 : 0);
        QCOMPARE(D.Platform.Beeps, Opens || How == QStringLiteral("menu") ? 0 : 1);
        if (Opens) {
            TfrmMain& Pair = *Pairs.constFirst();
            QVERIFY(Pair.isVisible());
            QVERIFY(Pair.testAttribute(Qt::WA_DeleteOnClose));
            QCOMPARE(Pair.cmbLeft->currentText(), L + u'/' + Name);
            QCOMPARE(Pair.cmbRight->currentText(), R + u'/' + Name);
            // The pair compares once its window runs: its own lines, the folder rows untouched.
            QTRY_COMPARE(Pair.FLeftLines, QStringList{QString(Row == 1 ? 3 : 4, u'x')});
            QCOMPARE(Pair.FRightLines, QStringList{QString(4, u'x')});
            QVERIFY(!Pair.FFolderMode);
            QVERIFY(Pair.pos() != W.pos());
        }
        QCOMPARE(D.Platform.Log().filter(QStringLiteral("error")), QStringList());
        QVERIFY(W.FFolderMode);   // the folder result stays
        QCOMPARE(W.grdDiff->RowCount(), 4);
    }

    // 5,000 nested folders on each side: the rows come, and the window lives on.
    void deepTrees()
    {
        TWindowDriver D;
        QTemporaryDir Work(quorlane::test::DeepTreePlace());
        const QString L = Work.filePath(QStringLiteral("left")), R = Work.filePath(QStringLiteral("right"));
        QVERIFY(QDir().mkpath(L) && QDir().mkpath(R));
        const auto Remove = qScopeGuard([&] {
            quorlane::test::RemoveDeepFolder(L);
            quorlane::test::RemoveDeepFolder(R);
        });
        const QString Deep = quorlane::test::MakeNestedFolders(L, 5000, "d", {{"f", "left"}, {"same", "s"}});
        quorlane::test::MakeNestedFolders(R, 5000, "d", {{"f", "righ"}, {"same", "s"}});
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");
        QVERIFY(D.Window->FFolderMode);
        QCOMPARE(D.Row(1), (QStringList{"1", Deep + "f", Deep + "f"}));
        QCOMPARE(D.Row(2), (QStringList{"2", Deep + "same", Deep + "same"}));
        QCOMPARE(D.Status(), StatusOf(2, 2, 1));
    }

    // A tree holding a link to / would list the whole system: Esc after a second stops it, and
    // the window is as it was.
    void escStopsALinkToTheWholeSystem()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        for (const QString& Root : {L, R})
            QVERIFY(QFile::link(QStringLiteral("/"), Root + QStringLiteral("/everything")));
        const QString StatusBefore = D.Status();
        D.SetPaths(L, R);
        QString SeenWhileRunning;
        QTimer::singleShot(1000, &W, [&] {
            SeenWhileRunning = D.Status();
            QTest::keyClick(W.grdDiff, Qt::Key_Escape);
        });
        D.Trigger("miAsFolders1");
        QVERIFY2(SeenWhileRunning.startsWith(QStringLiteral("Comparing folders: ")), qPrintable(SeenWhileRunning));
        QVERIFY(!W.FFolderMode);
        QVERIFY(!W.FFolderComparing);
        QCOMPARE(D.Status(), StatusBefore);
        QCOMPARE(D.Platform.Log(), QStringList());
    }

    // The structure and the unreadable: an empty folder on one side, a file against a folder, a
    // dangling link and a pair that cannot be read (/proc/self/mem reads fail even for root) each
    // have their look; the unreadable pair is not "different", and the navigation stops there
    // unless the user chooses to skip such rows.
    void structureAndUnreadableRows()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.resize(1000, 500);
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        Put(L, QStringLiteral("changed.txt"), 5);
        Put(R, QStringLiteral("changed.txt"), 9);
        for (const QString& Root : {L, R})
            QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), Root + QStringLiteral("/mem")));
        QVERIFY(QDir(L).mkpath(QStringLiteral("empty")));
        Put(L, QStringLiteral("thing"), 1);
        Put(R, QStringLiteral("thing/inner"), 1);
        QVERIFY(QFile::link(QStringLiteral("nowhere"), R + QStringLiteral("/dangling")));
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");

        QCOMPARE(D.Row(1), (QStringList{"1", "changed.txt", "changed.txt"}));
        QCOMPARE(D.Row(2), (QStringList{"2", "", "dangling"}));
        QCOMPARE(D.Row(3), (QStringList{"3", "empty/", ""}));
        QCOMPARE(D.Row(4), (QStringList{"4", "mem", "mem"}));
        QCOMPARE(D.Row(5), (QStringList{"5", "thing", "thing/"}));
        QCOMPARE(D.Row(6), (QStringList{"6", "", "thing/inner"}));
        QVERIFY2(D.Status().startsWith(StatusOf(3, 4, 2, 1, 2) + QStringLiteral(" 2 entries could not be read, the first: ")),
                 qPrintable(D.Status()));

        // The tooltips say what each odd side is.
        auto TipAt = [&](int Col, int Row) { return W.FolderRowToolTipAt(W.grdDiff->CellRect(Col, Row).center()); };
        QCOMPARE(TipAt(2, 2), QStringLiteral("A dangling link to nowhere"));
        QVERIFY2(TipAt(1, 4).startsWith(QStringLiteral("Could not be read: ")), qPrintable(TipAt(1, 4)));
        QCOMPARE(TipAt(1, 5), QStringLiteral("A file here, a folder on the right"));
        QCOMPARE(TipAt(1, 1), QString());

        // The unreadable pair has no difference colour; the file against the folder has.
        QTRY_VERIFY(W.grdDiff->height() > 200);
        QTest::qWait(300);
        const QImage Grid = W.grdDiff->viewport()->grab().toImage();
        if (const QString Dir = qEnvironmentVariable("QUORLANE_SHOT_DIR"); !Dir.isEmpty())
            W.grab().toImage().save(QDir(Dir).filePath(QStringLiteral("folder-structure.png")));
        auto Colour = [&](int Col, int Row) {
            const QRect Cell = W.grdDiff->CellRect(Col, Row);
            return QColor(Grid.pixel(Cell.center().x(), Cell.center().y())).rgb() & 0xFFFFFF;
        };
        auto Rgb = [](quint32 Value) { return ((Value & 0xFF) << 16) | (Value & 0xFF00) | ((Value >> 16) & 0xFF); };
        QCOMPARE(Colour(1, 4), W.grdDiff->palette().color(QPalette::Base).rgb() & 0xFFFFFF);
        QCOMPARE(Colour(1, 5), Rgb(W.fColorChangedLines));
        QCOMPARE(Colour(1, 3), Rgb(W.fColorAddedLines));

        // Next difference: every row but the first, in turn; skipping passes the unreadable one.
        W.grdDiff->SetRow(1);
        QList<int> Stops;
        for (int I = 0; I < 5; ++I) {
            D.Click("btnDiffNext");
            Stops.append(W.grdDiff->Row());
        }
        QCOMPARE(Stops, (QList<int>{2, 3, 4, 5, 6}));
        W.miSkipUnreadable->setChecked(true);
        W.grdDiff->SetRow(3);
        D.Click("btnDiffNext");
        QCOMPARE(W.grdDiff->Row(), 5);
        D.Click("btnPrevDiff");
        QCOMPARE(W.grdDiff->Row(), 3);
        W.miSkipUnreadable->setChecked(false);
    }

    // What could not be read is told in the status line and a box, naming the first.
    void unreadableEntriesAreTold()
    {
        TWindowDriver D;
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        Put(L, QStringLiteral("same"), 1);
        Put(R, QStringLiteral("same"), 1);
        for (const QString& Root : {L, R})
            QVERIFY(QFile::link(QStringLiteral("missing"), Root + QStringLiteral("/dangling")));
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");
        const QString Unread =
            QStringLiteral("2 entries could not be read, the first: %1/dangling (The link leads nowhere.).").arg(L);
        QCOMPARE(D.Status(), StatusOf(2, 2) + u' ' + Unread);
        QCOMPARE(D.Platform.Log(), QStringList{QStringLiteral("information: ") + Unread
                                               + QStringLiteral("\r\nNo different files were found among those "
                                                                "that could be read.")});
        QCOMPARE(D.Window->FDiffItems[0].Kind, dkEqual);   // two identical dangling links are equal
    }

    // The painted rows: each kind on its colour, the " new" badge on the highlight colour.
    // With QUORLANE_SHOT_DIR set, the window picture is saved there for a look by eye.
    void paintsRowsByKind()
    {
        TWindowDriver D;
        D.Window->resize(1000, 500);
        const QString L = D.MakeFolder(QStringLiteral("left"));
        const QString R = D.MakeFolder(QStringLiteral("right"));
        SetTime(Put(L, QStringLiteral("changed.txt"), 5), 2000000000);
        SetTime(Put(R, QStringLiteral("changed.txt"), 9), 1000000000);
        Put(L, QStringLiteral("left-only.txt"), 1);
        Put(R, QStringLiteral("right-only.txt"), 1);
        Put(L, QStringLiteral("same.txt"), 3);
        Put(R, QStringLiteral("same.txt"), 3);
        // A name that ends in " new" is a name, not a mark.
        SetTime(Put(L, QStringLiteral("zz draft new"), 1), 1000000000);
        SetTime(Put(R, QStringLiteral("zz draft new"), 2), 2000000000);
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");
        TfrmMain& W = *D.Window;
        QTRY_VERIFY(W.grdDiff->height() > 200);
        QTest::qWait(300);   // the column layout runs on the 100 ms timer

        const QImage Shot = W.grab().toImage();
        if (const QString Dir = qEnvironmentVariable("QUORLANE_SHOT_DIR"); !Dir.isEmpty())
            Shot.save(QDir(Dir).filePath(QStringLiteral("folders.png")));
        const QImage Grid = W.grdDiff->viewport()->grab().toImage();

        // Sample near the right end of each text cell, away from the text.
        auto Colour = [&](int Col, int Row) {
            const QRect Cell = W.grdDiff->CellRect(Col, Row);
            return QColor(Grid.pixel(Cell.right() - 6, Cell.center().y())).rgb() & 0xFFFFFF;
        };
        auto Rgb = [](quint32 Value) { return ((Value & 0xFF) << 16) | (Value & 0xFF00) | ((Value >> 16) & 0xFF); };
        QCOMPARE(D.Row(1), (QStringList{"1", "changed.txt", "changed.txt"}));
        QCOMPARE(D.Row(5), (QStringList{"5", "zz draft new", "zz draft new"}));
        QCOMPARE(Colour(2, 1), Rgb(W.fColorChangedLines));   // the left cell ends in the badge
        QCOMPARE(Colour(1, 2), Rgb(W.fColorAddedLines));     // left-only.txt
        QCOMPARE(Colour(2, 3), Rgb(W.fColorRemovedLines));   // right-only.txt
        QCOMPARE(Colour(2, 4), W.grdDiff->palette().color(QPalette::Base).rgb() & 0xFFFFFF);   // same.txt

        // The badge: some pixels of the left cell of row 1 carry the highlight colour, none on the right.
        auto CountHighlight = [&](int Col, int Row) {
            const QRect Cell = W.grdDiff->CellRect(Col, Row);
            int Count = 0;
            for (int Y = Cell.top(); Y <= Cell.bottom(); ++Y)
                for (int X = Cell.left(); X <= Cell.right(); ++X)
                    Count += (Grid.pixel(X, Y) & 0xFFFFFF) == Rgb(W.fColorDifferentTextInLine);
            return Count;
        };
        QVERIFY(CountHighlight(1, 1) > 20);
        QCOMPARE(CountHighlight(2, 1), 0);
        QCOMPARE(CountHighlight(1, 5), 0);   // the left "draft new" is the older one
        QVERIFY(CountHighlight(2, 5) > 20);
    }
};

QTEST_MAIN(TestWindowFolders)
#include "tst_window_folders.moc"
