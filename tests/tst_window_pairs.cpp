// Several windows in one process: a pair opened from a folder row is a window of its own with its
// own workspace, placed beside its opener; the settings file keeps what every window added,
// whichever closes first. And the window as the desktop entry or a shell starts it with one path
// or with more than two.

#include "app/OpenFromCommandLine.h"
#include "app/WindowPlacement.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "support/app/WindowDriver.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

class TestWindowPairs : public QObject
{
    Q_OBJECT

    // Folders L and R with one differing pair (f.txt) and a left-only file; the folder comparison
    // is shown and the pair's row selected.
    static void CompareFolders(TWindowDriver& D)
    {
        D.MakeFolder(QStringLiteral("L"));
        D.MakeFolder(QStringLiteral("R"));
        D.WriteLines(QStringLiteral("L/f.txt"), {"same", "left"});
        D.WriteLines(QStringLiteral("R/f.txt"), {"same", "right", "more"});
        D.WriteLines(QStringLiteral("L/only.txt"), {"x"});
        D.SetPaths(D.PathOf(QStringLiteral("L")), D.PathOf(QStringLiteral("R")));
        D.Click("btnCompare");
        QVERIFY(D.Window->FFolderMode);
        D.Window->grdDiff->SetRow(1);
        D.Platform.Clear();
    }

    static TfrmMain* OpenPair(TWindowDriver& D)
    {
        QTest::keyClick(D.Window->grdDiff, Qt::Key_Return);
        const QList<TfrmMain*> Pairs = D.OtherWindows();
        if (Pairs.size() != 1)
            return nullptr;
        TfrmMain* Pair = Pairs.constFirst();
        // Its comparison runs once its window does.
        if (!QTest::qWaitFor([Pair] { return Pair->FLeftLines.size() == 2; }))
            return nullptr;
        return Pair;
    }

    static TDecodedSettings StoredSettings(const TWindowDriver& D)
    {
        const TSettingsFileContent Content = ReadSettingsFile(D.SettingsFile());
        return DecodeSettings(Content.Bytes);
    }

private slots:
    void cascadedPlacement_data()
    {
        QTest::addColumn<QRect>("Opener");
        QTest::addColumn<QRect>("WorkArea");
        QTest::addColumn<QRect>("Expected");
        const QRect Area(0, 0, 1600, 1000);
        QTest::newRow("room to the lower right") << QRect(200, 100, 800, 600) << Area << QRect(232, 132, 800, 600);
        QTest::newRow("at the right edge: back to touch it")
            << QRect(790, 100, 800, 600) << Area << QRect(800, 132, 800, 600);
        QTest::newRow("filling the work area: a step smaller, a step in")
            << QRect(0, 0, 1600, 1000) << Area << QRect(32, 32, 1568, 968);
        QTest::newRow("in the lower right corner: a step up and left")
            << QRect(800, 400, 800, 600) << Area << QRect(768, 368, 800, 600);
        QTest::newRow("a work area below a top panel")
            << QRect(0, 30, 1600, 970) << QRect(0, 30, 1600, 970) << QRect(32, 62, 1568, 938);
    }

    void cascadedPlacement()
    {
        QFETCH(QRect, Opener);
        QFETCH(QRect, WorkArea);
        QFETCH(QRect, Expected);
        const QRect Placed = CascadedFrom(Opener, WorkArea, 32);
        QCOMPARE(Placed, Expected);
        QVERIFY(WorkArea.contains(Placed));
        QVERIFY(Placed.topLeft() != Opener.topLeft());
    }

    // Each window answers for its own changes: an edit in the pair does not make the folder
    // window ask, and the folder window's new comparison does not drop the pair's edit.
    void eachWindowHasItsOwnUnsavedChanges()
    {
        TWindowDriver D;
        CompareFolders(D);
        TfrmMain* Pair = OpenPair(D);
        QVERIFY(Pair);
        QCOMPARE(Pair->cmbLeft->currentText(), D.PathOf(QStringLiteral("L/f.txt")));
        Pair->grdDiff->SetRow(2);
        Pair->btnLeftToRight->click();
        QVERIFY(Pair->UnsavedChanges);
        QVERIFY(!D.Window->UnsavedChanges);

        // The folder window compares again without a question ...
        D.Click("btnCompare");
        QCOMPARE(D.Platform.Log().filter(QStringLiteral("confirmation")), QStringList{});
        D.Platform.Clear();
        // ... and closing the pair still asks about its change.
        D.Platform.ConfirmAnswers = {false};
        QVERIFY(!Pair->close());
        QCOMPARE(D.Platform.Log(),
                 QStringList{"risky confirmation: Close Quorlane?\r\nCurrent changes will be lost. [Discard and Close]"});
        QVERIFY(Pair->isVisible());
    }

    // Whichever window closes last, the file keeps both windows' history entries; the placement
    // is the one of the window the user started.
    void settingsOfSeveralWindows_data()
    {
        QTest::addColumn<bool>("PairClosesFirst");
        QTest::newRow("the pair closes first") << true;
        QTest::newRow("the folder window closes first") << false;
    }

    void settingsOfSeveralWindows()
    {
        QFETCH(bool, PairClosesFirst);
        TWindowDriver D;
        D.Window->resize(600, 400);
        D.Window->move(40, 50);
        CompareFolders(D);
        const QRect Placement(D.Window->pos(), D.Window->size());
        QPointer<TfrmMain> Pair = OpenPair(D);
        QVERIFY(Pair);
        QCOMPARE(Pair->size(), D.Window->size());
        QVERIFY(Pair->pos() != D.Window->pos());
        QVERIFY(Pair->testAttribute(Qt::WA_DeleteOnClose));
        const QString PairLeft = D.PathOf(QStringLiteral("L/f.txt"));
        QCOMPARE(Pair->cmbLeft->itemText(0), PairLeft);

        if (PairClosesFirst) {
            QVERIFY(Pair->close());
            QTRY_VERIFY(!Pair);
            D.Window->SaveSettings();   // as the folder window does when it goes
        } else {
            D.Window->SaveSettings();
            QVERIFY(Pair->close());
            QTRY_VERIFY(!Pair);
        }
        const TDecodedSettings Stored = StoredSettings(D);
        QVERIFY(Stored.Complete());
        QVERIFY2(Stored.Record.LeftHistory.contains(PairLeft), qPrintable(Stored.Record.LeftHistory.join(u'\n')));
        QVERIFY(Stored.Record.LeftHistory.contains(D.PathOf(QStringLiteral("L"))));
        QCOMPARE(QRect(Stored.Record.Left, Stored.Record.Top, Stored.Record.Width, Stored.Record.Height), Placement);
    }

    // One path (a file manager's "Open With" on one file): the window shows it on the left and
    // waits for the right one, with the keys in the right box; nothing is compared.
    void onePathWaitsForTheOther()
    {
        TWindowDriver D;
        const QString File = D.WriteLines(QStringLiteral("one.txt"), {"1"});
        D.Window->activateWindow();
        ComparePathsOnShow(*D.Window, File, QString(), 1);
        QTRY_VERIFY(D.Window->cmbRight->lineEdit()->hasFocus());
        QCOMPARE(D.Window->cmbLeft->currentText(), File);
        QCOMPARE(D.Window->cmbRight->currentText(), QString());
        QCOMPARE(D.Status(), QStringLiteral("Ready."));
        QVERIFY(D.Window->GettingStartedShown());
        QVERIFY(D.Platform.Messages.isEmpty());
        // The user types the other path and presses Enter.
        const QString Other = D.WriteLines(QStringLiteral("two.txt"), {"2"});
        QTest::keyClicks(D.Window->cmbRight->lineEdit(), Other);
        QTest::keyClick(D.Window->cmbRight->lineEdit(), Qt::Key_Return);
        QCOMPARE(D.Window->FLeftLines, QStringList{"1"});
        QCOMPARE(D.Window->FRightLines, QStringList{"2"});
    }

    // More than two items from the desktop: the first two are compared and the status line says
    // that the others were left out, before the comparison's own summary.
    void morePathsThanTwo_data()
    {
        QTest::addColumn<int>("Given");
        QTest::addColumn<QString>("Status");
        QTest::newRow("two") << 2 << "1 lines (left file) vs 1 lines (right file). Equal lines: 0 of 1 (0.0%). Different lines: 1.";
        QTest::newRow("three") << 3 << "Only the first two of the 3 items given are compared. 1 lines (left file) vs 1 "
                                       "lines (right file). Equal lines: 0 of 1 (0.0%). Different lines: 1.";
    }

    void morePathsThanTwo()
    {
        QFETCH(int, Given);
        QFETCH(QString, Status);
        TWindowDriver D;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"a"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"b"});
        ComparePathsOnShow(*D.Window, A, B, Given);
        QTRY_COMPARE(D.Status(), Status);
        QCOMPARE(D.Window->lblStatus->toolTip(), Status);
    }
};

QTEST_MAIN(TestWindowPairs)
#include "tst_window_pairs.moc"
