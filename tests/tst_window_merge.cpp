#include "support/app/WindowDriver.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QThreadPool>
#include <QToolButton>
#include <QtTest>

// Difference navigation, block and whole-side merges and undo, driven through the real window.
class TestWindowMerge : public QObject
{
    Q_OBJECT

    // Between a command and its hand-back: the result of the background recompute is queued to
    // this thread, so as long as a test processes no events, the window stays in that interval.
    // (Holding the pool's thread instead would also stall the raster painter, which uses it.)

    static TDiffGrid* Grid(TWindowDriver& D) { return D.Window->grdDiff; }

    static void CompareFolders(TWindowDriver& D, const QStringList& LeftFiles, const QStringList& RightFiles)
    {
        QDir Root(D.Files.path());
        Root.mkpath(QStringLiteral("L"));
        Root.mkpath(QStringLiteral("R"));
        for (const QString& Name : LeftFiles)
            D.WriteBytes(QStringLiteral("L/") + Name, Name.endsWith(QLatin1Char('d')) ? "left" : "same");
        for (const QString& Name : RightFiles)
            D.WriteBytes(QStringLiteral("R/") + Name, Name.endsWith(QLatin1Char('d')) ? "right!" : "same");
        D.SetPaths(D.PathOf(QStringLiteral("L")), D.PathOf(QStringLiteral("R")));
        D.Trigger("miAsFolders1");
        D.Platform.Clear();
    }

    static QString Kinds(const TDiffItems& Items)
    {
        QString Text;
        for (const TDiffItem& Item : Items)
            Text += Item.Kind == dkEqual ? QLatin1Char('E') : QLatin1Char('D');
        return Text;
    }

private slots:
    void init()
    {
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    // ---- Navigation ----

    void navigation_data()
    {
        QTest::addColumn<QStringList>("Left");
        QTest::addColumn<QStringList>("Right");
        QTest::addColumn<QString>("Kinds");
        QTest::addColumn<int>("StartRow");
        QTest::addColumn<QStringList>("Buttons");
        QTest::addColumn<QList<int>>("Rows");    // the current row after each click
        QTest::addColumn<QList<int>>("Beeps");   // beeps so far after each click

        const QStringList L1{"a", "b", "c", "d", "e", "f"};
        const QStringList R1{"a", "X", "Y", "d", "Z", "f"};
        QTest::newRow("E D D E D E: Next from row 1 skips a block whole, then beeps")
            << L1 << R1 << "EDDEDE" << 1 << QStringList{"btnDiffNext", "btnDiffNext", "btnDiffNext"}
            << QList<int>{2, 5, 5} << QList<int>{0, 0, 1};
        QTest::newRow("E D D E D E: Previous inside the first block beeps")
            << L1 << R1 << "EDDEDE" << 3 << QStringList{"btnPrevDiff"} << QList<int>{3} << QList<int>{1};
        QTest::newRow("E D D E D E: Previous from row 6 goes to each block's first row")
            << L1 << R1 << "EDDEDE" << 6 << QStringList{"btnPrevDiff", "btnPrevDiff", "btnPrevDiff"}
            << QList<int>{5, 2, 2} << QList<int>{0, 0, 1};
        QTest::newRow("E D D E D E: First and Last")
            << L1 << R1 << "EDDEDE" << 6 << QStringList{"btnFirstDiff", "btnLastDiff", "btnFirstDiff"}
            << QList<int>{2, 5, 2} << QList<int>{0, 0, 0};
        QTest::newRow("D D D: one block, one stop; Last goes to its last row")
            << QStringList{"a", "b", "c"} << QStringList{"x", "y", "z"} << "DDD" << 1
            << QStringList{"btnDiffNext", "btnLastDiff", "btnPrevDiff", "btnFirstDiff"}
            << QList<int>{1, 3, 3, 1} << QList<int>{1, 1, 2, 2};
        QTest::newRow("left-only next to right-only: one block")
            << QStringList{"a", "gone", "b"} << QStringList{"a", "b", "new"} << "EDED" << 1
            << QStringList{"btnDiffNext", "btnDiffNext", "btnDiffNext"} << QList<int>{2, 4, 4} << QList<int>{0, 0, 1};
        QTest::newRow("all equal: First and Last are silent, Next and Previous beep")
            << QStringList{"a", "b"} << QStringList{"a", "b"} << "EE" << 1
            << QStringList{"btnFirstDiff", "btnLastDiff", "btnDiffNext", "btnPrevDiff"}
            << QList<int>{1, 1, 1, 1} << QList<int>{0, 0, 1, 2};
    }

    void navigation()
    {
        QFETCH(QStringList, Left);
        QFETCH(QStringList, Right);
        QFETCH(QString, Kinds);
        QFETCH(int, StartRow);
        QFETCH(QStringList, Buttons);
        QFETCH(QList<int>, Rows);
        QFETCH(QList<int>, Beeps);
        TWindowDriver D;
        D.CompareLines(Left, Right);
        QCOMPARE(TestWindowMerge::Kinds(D.Window->FDiffItems), Kinds);
        Grid(D)->SetRow(StartRow);
        for (qsizetype I = 0; I < Buttons.size(); ++I) {
            D.Click(Buttons[I].toLatin1().constData());
            QVERIFY2(Grid(D)->Row() == Rows[I], qPrintable(QStringLiteral("after %1 #%2: row %3").arg(Buttons[I]).arg(I).arg(Grid(D)->Row())));
            QCOMPARE(D.Platform.Beeps, Beeps[I]);
        }
        QVERIFY(D.Platform.Messages.isEmpty());   // nothing is ever said, only beeped
        QCOMPARE(D.Status().contains(QLatin1String("Different lines")), true);
    }

    void navigationOnAnEmptyResult()
    {
        TWindowDriver D;
        D.CompareBytes(QByteArray(), QByteArray());   // two empty files
        QVERIFY(D.Window->FDiffItems.isEmpty());
        D.Click("btnFirstDiff");
        D.Click("btnLastDiff");
        QCOMPARE(D.Platform.Beeps, 0);
        D.Click("btnDiffNext");
        D.Click("btnPrevDiff");
        QCOMPARE(D.Platform.Beeps, 2);
        QCOMPARE(Grid(D)->Row(), 1);
    }

    void folderNavigationStopsAtEveryDifferingFile()
    {
        TWindowDriver D;
        // Rows by relative path: 1d differs, 2d differs, 3s equal, 4d differs.
        CompareFolders(D, {"1d", "2d", "3s", "4d"}, {"1d", "2d", "3s", "4d"});
        QVERIFY(D.Window->FFolderMode);
        QCOMPARE(Kinds(D.Window->FDiffItems), QStringLiteral("DDED"));
        Grid(D)->SetRow(1);
        D.Click("btnDiffNext");
        QCOMPARE(Grid(D)->Row(), 2);
        D.Click("btnDiffNext");
        QCOMPARE(Grid(D)->Row(), 4);
        D.Click("btnDiffNext");
        QCOMPARE(D.Platform.Beeps, 1);
        D.Click("btnPrevDiff");
        QCOMPARE(Grid(D)->Row(), 2);
        D.Click("btnFirstDiff");
        QCOMPARE(Grid(D)->Row(), 1);
        D.Click("btnLastDiff");
        QCOMPARE(Grid(D)->Row(), 4);
    }

    void goToDiffRowCentresTheRow()
    {
        TWindowDriver D;
        QStringList Left, Right;
        for (int I = 0; I < 100; ++I) {
            Left.append(QStringLiteral("left %1").arg(I));
            Right.append(QStringLiteral("right %1").arg(I));
        }
        D.CompareLines(Left, Right);
        QCOMPARE(Grid(D)->RowCount(), 101);
        // Make exactly 20 body rows fit, as in the worked example.
        TDiffGrid* G = Grid(D);
        const int Wanted = G->RowHeights(0) + 20 * G->RowHeights(1) + 5;
        D.Window->resize(D.Window->width(), D.Window->height() + Wanted - G->viewport()->height());
        for (int Step = 0; Step < 200 && G->VisibleRowCount() != 20; ++Step) {
            D.Window->resize(D.Window->width(), D.Window->height() + (G->VisibleRowCount() < 20 ? 1 : -1));
            QCoreApplication::processEvents();
        }
        QCOMPARE(G->VisibleRowCount(), 20);

        D.Window->GoToDiffRow(50);
        QCOMPARE(G->Row(), 50);
        QCOMPARE(G->TopRow(), 40);
        D.Window->GoToDiffRow(95);
        QCOMPARE(G->Row(), 95);
        QCOMPARE(G->TopRow(), 81);
        D.Window->GoToDiffRow(3);
        QCOMPARE(G->Row(), 3);
        QCOMPARE(G->TopRow(), 1);
        D.Window->GoToDiffRow(500);   // clamped to the last row
        QCOMPARE(G->Row(), 100);
        QCOMPARE(G->TopRow(), 81);
    }

    void shortcutsAndTooltips_data()
    {
        QTest::addColumn<int>("Key");
        QTest::addColumn<int>("Modifiers");
        QTest::addColumn<int>("ExpectedRow");
        QTest::newRow("F8 is Next") << int(Qt::Key_F8) << int(Qt::NoModifier) << 5;
        QTest::newRow("Alt+Down is Next") << int(Qt::Key_Down) << int(Qt::AltModifier) << 5;
        QTest::newRow("F7 is Previous") << int(Qt::Key_F7) << int(Qt::NoModifier) << 2;
        QTest::newRow("Alt+Up is Previous") << int(Qt::Key_Up) << int(Qt::AltModifier) << 2;
        QTest::newRow("Alt+Home is First") << int(Qt::Key_Home) << int(Qt::AltModifier) << 2;
        QTest::newRow("Alt+End is Last") << int(Qt::Key_End) << int(Qt::AltModifier) << 8;
    }

    void shortcutsAndTooltips()
    {
        QFETCH(int, Key);
        QFETCH(int, Modifiers);
        QFETCH(int, ExpectedRow);
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        // Before any comparison the buttons are off, and so are their keys.
        QTest::keyClick(D.Window.get(), Qt::Key(Key), Qt::KeyboardModifiers(Modifiers));
        QCOMPARE(D.Platform.Beeps, 0);

        // Blocks start at rows 2, 5 and 8.
        D.CompareLines({"a", "b", "c", "d", "e", "f", "g", "h"}, {"a", "B", "c", "d", "E", "f", "g", "H"});
        Grid(D)->setFocus();
        Grid(D)->SetRow(4);
        QTest::keyClick(Grid(D), Qt::Key(Key), Qt::KeyboardModifiers(Modifiers));
        QCOMPARE(Grid(D)->Row(), ExpectedRow);
        QCOMPARE(D.Platform.Beeps, 0);

        QCOMPARE(D.Find<QToolButton>("btnDiffNext")->toolTip(), QStringLiteral("Next Difference (F8, Alt+Down)"));
        QCOMPARE(D.Find<QToolButton>("btnPrevDiff")->toolTip(), QStringLiteral("Previous Difference (F7, Alt+Up)"));
        QCOMPARE(D.Find<QToolButton>("btnFirstDiff")->toolTip(), QStringLiteral("First Difference (Alt+Home)"));
        QCOMPARE(D.Find<QToolButton>("btnLastDiff")->toolTip(), QStringLiteral("Last Difference (Alt+End)"));
        // The extra keys of Undo and the copies stand in the status tip; their tooltips stay plain.
        QCOMPARE(D.Find<QToolButton>("btnUndo")->toolTip(), QStringLiteral("Undo Last Change"));
        QCOMPARE(D.Find<QToolButton>("btnUndo")->statusTip(), QStringLiteral("Undo Last Change (Ctrl+Z)"));
        QCOMPARE(D.Find<QToolButton>("btnLeftToRight")->toolTip(), QStringLiteral("Copy to Right"));
        QCOMPARE(D.Find<QToolButton>("btnLeftToRight")->statusTip(), QStringLiteral("Copy to Right (Alt+Right)"));
        QCOMPARE(D.Find<QToolButton>("btnRightToLeft")->toolTip(), QStringLiteral("Copy to Left"));
    }

    void altArrowsCopyTheBlock()
    {
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareLines({"A", "B", "C", "D"}, {"A", "X", "C", "Y"});
        Grid(D)->setFocus();
        Grid(D)->SetRow(2);
        QTest::keyClick(Grid(D), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "B", "C", "Y"}));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        Grid(D)->SetRow(4);
        QTest::keyClick(Grid(D), Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "B", "C", "Y"}));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Window->FUndoStack.Count(), 2);
    }

    void altDownInAPathBoxOpensItsList()
    {
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareLines({"a", "b", "c"}, {"a", "x", "c"});
        auto* Box = D.Find<QComboBox>("cmbLeft");
        Box->setFocus();
        QTRY_VERIFY(Box->hasFocus() || Box->lineEdit()->hasFocus());
        Grid(D)->SetRow(1);
        QTest::keyClick(Box->lineEdit(), Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(Box->view()->isVisible());
        QCOMPARE(Grid(D)->Row(), 1);   // the grid did not move
        Box->hidePopup();
        QTest::keyClick(Box->lineEdit(), Qt::Key_F8);
        QCOMPARE(Grid(D)->Row(), 2);   // F8 still navigates from there
    }

    // ---- Block merges ----

    void blockMerge_data()
    {
        QTest::addColumn<QStringList>("Left");
        QTest::addColumn<QStringList>("Right");
        QTest::addColumn<int>("Row");
        QTest::addColumn<QString>("Button");
        QTest::addColumn<QStringList>("NewLeft");
        QTest::addColumn<QStringList>("NewRight");

        const QStringList L{"A", "B", "C", "D"}, R{"A", "X", "Y", "D"};
        QTest::newRow("changed pair, row 2, to the right") << L << R << 2 << "btnLeftToRight" << L << L;
        QTest::newRow("changed pair, row 3, to the right") << L << R << 3 << "btnLeftToRight" << L << L;
        QTest::newRow("changed pair, row 2, to the left") << L << R << 2 << "btnRightToLeft" << R << R;
        QTest::newRow("changed pair, row 3, to the left") << L << R << 3 << "btnRightToLeft" << R << R;
        QTest::newRow("left-only line goes in after A") << QStringList{"A", "B", "C"} << QStringList{"A", "C"} << 2
            << "btnLeftToRight" << QStringList{"A", "B", "C"} << QStringList{"A", "B", "C"};
        QTest::newRow("a block with no right lines deletes its left lines")
            << QStringList{"A", "B", "C"} << QStringList{"A", "C"} << 2 << "btnRightToLeft"
            << QStringList{"A", "C"} << QStringList{"A", "C"};
        QTest::newRow("right-only lines copied to the right are deleted there")
            << QStringList{"A", "D"} << QStringList{"A", "B", "C", "D"} << 3 << "btnLeftToRight"
            << QStringList{"A", "D"} << QStringList{"A", "D"};
        QTest::newRow("a right-only tail copied to the right goes")
            << QStringList{"A"} << QStringList{"A", "x", "y"} << 3 << "btnLeftToRight"
            << QStringList{"A"} << QStringList{"A"};
        QTest::newRow("changed then left-only, to the right") << QStringList{"P", "Q"} << QStringList{"R"} << 1
            << "btnLeftToRight" << QStringList{"P", "Q"} << QStringList{"P", "Q"};
        QTest::newRow("changed then left-only, to the left") << QStringList{"P", "Q"} << QStringList{"R"} << 2
            << "btnRightToLeft" << QStringList{"R"} << QStringList{"R"};
        QTest::newRow("block at the very start takes the following line's place")
            << QStringList{"new", "A", "B"} << QStringList{"A", "B"} << 1 << "btnLeftToRight"
            << QStringList{"new", "A", "B"} << QStringList{"new", "A", "B"};
        QTest::newRow("nothing before or after: appended to an empty side")
            << QStringList{"one", "two"} << QStringList{} << 2 << "btnLeftToRight"
            << QStringList{"one", "two"} << QStringList{"one", "two"};
        QTest::newRow("block at the very end") << QStringList{"A"} << QStringList{"A", "tail1", "tail2"} << 3
            << "btnRightToLeft" << QStringList{"A", "tail1", "tail2"} << QStringList{"A", "tail1", "tail2"};
    }

    void blockMerge()
    {
        QFETCH(QStringList, Left);
        QFETCH(QStringList, Right);
        QFETCH(int, Row);
        QFETCH(QString, Button);
        QFETCH(QStringList, NewLeft);
        QFETCH(QStringList, NewRight);
        TWindowDriver D;
        D.CompareLines(Left, Right);
        QVERIFY(!D.Window->UnsavedChanges);
        Grid(D)->SetRow(Row);
        const int Top = Grid(D)->TopRow();
        D.Click(Button.toLatin1().constData());

        // Lines change at once; the rows wait for the background recompute.
        QCOMPARE(D.Window->FLeftLines, NewLeft);
        QCOMPARE(D.Window->FRightLines, NewRight);
        QVERIFY(D.Window->UnsavedChanges);
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
        QCOMPARE(D.Window->FUndoStack.At(0).LeftLines, Left);
        QCOMPARE(D.Window->FUndoStack.At(0).RightLines, Right);
        QCOMPARE(D.Window->FUndoStack.At(0).SelectedRow, Row);
        QCOMPARE(D.Window->FUndoStack.At(0).SelectedCol, 1);
        QCOMPARE(D.Window->FUndoStack.At(0).TopRow, Top);
        QCOMPARE(D.Platform.PointerChanges.value(0), TPointer::AppStarting);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);

        QCOMPARE(D.Window->FDiffItems, ComputeDiff(NewLeft, NewRight, D.Window->CurrentDiffOptions()));
        for (int R = 1; R <= D.Window->FDiffItems.size(); ++R) {
            const TDiffItem& Item = D.Window->FDiffItems[R - 1];
            QCOMPARE(D.Row(R), (QStringList{QString::number(R), Item.LeftIndex >= 0 ? NewLeft[Item.LeftIndex] : QString(),
                                            Item.RightIndex >= 0 ? NewRight[Item.RightIndex] : QString()}));
        }
        QVERIFY2(D.Status().startsWith(QStringLiteral("%1 lines (left file) vs %2 lines (right file). Equal lines: ")
                                          .arg(NewLeft.size()).arg(NewRight.size())),
                 qPrintable(D.Status()));
        QCOMPARE(D.Platform.Beeps, 0);
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    // A copy that would leave both sides as they are is a refusal: a beep, and neither an undo
    // step nor an unsaved change that closing would ask about.
    void blockMergeThatChangesNothingBeeps_data()
    {
        QTest::addColumn<int>("Row");
        QTest::addColumn<QString>("Button");
        QTest::newRow("equal row, to the right") << 1 << "btnLeftToRight";
        QTest::newRow("equal row, to the left") << 1 << "btnRightToLeft";
        QTest::newRow("equal row after the block, Alt+Right") << 3 << "Alt+Right";
    }

    void blockMergeThatChangesNothingBeeps()
    {
        QFETCH(int, Row);
        QFETCH(QString, Button);
        TWindowDriver D;
        D.CompareLines({"A", "B", "C"}, {"A", "X", "C"});
        Grid(D)->SetRow(Row);
        if (Button == QLatin1String("Alt+Right"))
            QTest::keyClick(Grid(D), Qt::Key_Right, Qt::AltModifier);
        else
            D.Click(Button.toLatin1().constData());
        QCOMPARE(D.Platform.Beeps, 1);
        QCOMPARE(D.Window->FUndoStack.Count(), 0);
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(!D.Window->FLeft.Unsaved && !D.Window->FRight.Unsaved);
        QVERIFY(D.Platform.PointerChanges.isEmpty());
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "B", "C"}));
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "X", "C"}));
        // Closing then asks nothing.
        QVERIFY(D.Window->ConfirmClose());
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    void blockMergeWithoutASelectedItemDoesNothing()
    {
        TWindowDriver D;
        D.CompareBytes(QByteArray(), QByteArray());   // two empty files
        D.Click("btnLeftToRight");
        D.Click("btnRightToLeft");
        QCOMPARE(D.Window->FUndoStack.Count(), 0);
        QVERIFY(!D.Window->UnsavedChanges);
        QCOMPARE(D.Platform.Beeps, 0);
        QVERIFY(D.Platform.PointerChanges.isEmpty());
    }

    void secondBlockMergeBeforeTheRowsArriveIsRefused()
    {
        TWindowDriver D;
        D.CompareLines({"A", "B", "C"}, {"A", "C"});
        Grid(D)->SetRow(2);
        D.Click("btnLeftToRight");
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "B", "C"}));
        // The grid still shows B as missing on the right; a second click must not insert it twice.
        D.Click("btnLeftToRight");
        D.Click("btnRightToLeft");
        QCOMPARE(D.Platform.Beeps, 2);
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "B", "C"}));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "B", "C"}));
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        // Once the rows follow the lines again, merges work.
        D.Window->FRightLines.removeAt(1);
        D.Window->RunDiff();
        Grid(D)->SetRow(2);
        D.Click("btnLeftToRight");
        QCOMPARE(D.Platform.Beeps, 2);
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "B", "C"}));
    }

    // A copy that moved no line (nothing copied, or lines replaced one for one) leaves every row
    // naming the line it showed: the next merge, before the rows arrive, goes ahead on them.
    void mergeBeforeTheRowsArriveWhenNoLineMoved_data()
    {
        QTest::addColumn<QStringList>("Left");
        QTest::addColumn<QStringList>("Right");
        QTest::addColumn<int>("FirstRow");
        QTest::addColumn<QString>("FirstButton");
        QTest::addColumn<int>("SecondRow");
        QTest::addColumn<QString>("SecondButton");
        QTest::addColumn<QStringList>("NewLeft");
        QTest::addColumn<QStringList>("NewRight");
        QTest::newRow("a changed pair replaced one for one to the left, then the next block")
            << QStringList{"A", "B", "C", "D", "E"} << QStringList{"A", "X", "C", "Y", "E"} << 4 << "btnRightToLeft" << 2
            << "btnRightToLeft" << QStringList{"A", "X", "C", "Y", "E"} << QStringList{"A", "X", "C", "Y", "E"};
        QTest::newRow("a changed pair replaced one for one, then the next block")
            << QStringList{"A", "B", "C", "D", "E"} << QStringList{"A", "X", "C", "Y", "E"} << 2 << "btnLeftToRight" << 4
            << "btnLeftToRight" << QStringList{"A", "B", "C", "D", "E"} << QStringList{"A", "B", "C", "D", "E"};
    }

    void mergeBeforeTheRowsArriveWhenNoLineMoved()
    {
        QFETCH(QStringList, Left);
        QFETCH(QStringList, Right);
        QFETCH(int, FirstRow);
        QFETCH(QString, FirstButton);
        QFETCH(int, SecondRow);
        QFETCH(QString, SecondButton);
        QFETCH(QStringList, NewLeft);
        QFETCH(QStringList, NewRight);
        TWindowDriver D;
        D.CompareLines(Left, Right);
        Grid(D)->SetRow(FirstRow);
        D.Click(FirstButton.toLatin1().constData());
        QVERIFY(D.Window->FDiffRecomputeInProgress);
        Grid(D)->SetRow(SecondRow);
        D.Click(SecondButton.toLatin1().constData());
        QCOMPARE(D.Platform.Beeps, 0);
        QCOMPARE(D.Window->FLeftLines, NewLeft);
        QCOMPARE(D.Window->FRightLines, NewRight);
        QCOMPARE(D.Window->FUndoStack.Count(), 2);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Window->FDiffItems, ComputeDiff(NewLeft, NewRight, D.Window->CurrentDiffOptions()));
    }

    // ---- Copy all ----

    void copyAll_data()
    {
        QTest::addColumn<QString>("Button");
        QTest::addColumn<QString>("Status");
        QTest::addColumn<bool>("ToRight");
        QTest::newRow("to the right") << "btnAllLeftDiffsToRight" << "Right side replaced with LEFT (files made identical)." << true;
        QTest::newRow("to the left") << "btnAllRightDiffsToLeft" << "Left side replaced with RIGHT (files made identical)." << false;
    }

    void copyAll()
    {
        QFETCH(QString, Button);
        QFETCH(QString, Status);
        QFETCH(bool, ToRight);
        TWindowDriver D;
        // The sides differ only in case, which the comparison ignores: still not identical.
        D.Window->fIgnoreCase = true;
        const QStringList Left{"Alpha", "beta", "gamma"}, Right{"alpha", "BETA", "gamma", "delta"};
        D.CompareLines(Left, Right);
        {
            D.Click(Button.toLatin1().constData());
            QCOMPARE(D.Window->FLeftLines, ToRight ? Left : Right);
            QCOMPARE(D.Window->FRightLines, ToRight ? Left : Right);
            QCOMPARE(D.Status(), Status);   // until the recompute's summary replaces it
            QCOMPARE(D.Platform.Pointer, TPointer::AppStarting);
            QVERIFY(D.Window->UnsavedChanges);
            QCOMPARE(D.Window->FUndoStack.Count(), 1);
        }
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        const int N = int((ToRight ? Left : Right).size());
        QCOMPARE(D.Status(),
                 QStringLiteral("%1 lines (left file) vs %1 lines (right file). Equal lines: %1 of %1 (%2%). Different lines: 0.")
                     .arg(N)
                     .arg(QLocale().toString(100.0, 'f', 1)));
        QCOMPARE(D.Platform.Pointer, TPointer::Default);

        // Now identical: a box, and nothing else.
        D.Window->UnsavedChanges = false;
        D.Platform.Clear();
        D.Click(Button.toLatin1().constData());
        QCOMPARE(D.Platform.Log(), QStringList{"information: Files are already identical."});
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(!D.Window->FDiffRecomputeInProgress);
        QVERIFY(D.Platform.PointerChanges.isEmpty());
    }

    // ---- Undo ----

    void fourMergesThenFourUndos()
    {
        TWindowDriver D;
        const QStringList Left{"a", "1", "b", "2", "c", "3", "d", "4", "e"};
        const QStringList Right{"a", "x", "b", "y", "c", "z", "d", "w", "e"};
        D.CompareLines(Left, Right);
        QList<QStringList> Before;
        for (int Merge = 0; Merge < 4; ++Merge) {
            Before.append(D.Window->FRightLines);
            Grid(D)->SetRow(1);
            D.Click("btnDiffNext");   // the first block still differing
            D.Click("btnLeftToRight");
            QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
            QCOMPARE(D.Window->FUndoStack.Count(), std::min(Merge + 1, 3));
        }
        QCOMPARE(D.Window->FRightLines, Left);
        QCOMPARE(D.Platform.Beeps, 0);

        for (int Undo = 0; Undo < 3; ++Undo) {
            D.Click("btnUndo");
            QCOMPARE(D.Window->FRightLines, Before[3 - Undo]);
            QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
            QCOMPARE(D.Window->FDiffItems, ComputeDiff(Left, Before[3 - Undo], D.Window->CurrentDiffOptions()));
        }
        QCOMPARE(D.Platform.Beeps, 0);
        const int PointerChanges = int(D.Platform.PointerChanges.size());
        D.Click("btnUndo");   // the state before merge 1 was dropped
        QCOMPARE(D.Platform.Beeps, 1);
        QCOMPARE(D.Window->FRightLines, Before[1]);
        QCOMPARE(D.Platform.PointerChanges.size(), PointerChanges);
        QVERIFY(!D.Window->FDiffRecomputeInProgress);
        QVERIFY(D.Find<QToolButton>("btnUndo")->isEnabled());
    }

    void undoRestoresThePositionAtOnce()
    {
        TWindowDriver D;
        QStringList Left, Right;
        for (int I = 0; I < 200; ++I) {
            Left.append(QStringLiteral("line %1").arg(I));
            Right.append(I % 50 == 25 ? QStringLiteral("changed %1").arg(I) : Left.last());
        }
        D.CompareLines(Left, Right);
        D.Window->GoToDiffRow(126);
        const int Top = Grid(D)->TopRow();
        QVERIFY(Top > 1);
        D.Click("btnLeftToRight");
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        Grid(D)->SetRow(3);
        Grid(D)->SetTopRow(1);

        D.Click("btnUndo");
        // Before the recompute hands back, the grid already stands where it stood.
        QVERIFY(D.Window->FDiffRecomputeInProgress);
        QCOMPARE(Grid(D)->Row(), 126);
        QCOMPARE(Grid(D)->TopRow(), Top);
        QCOMPARE(Grid(D)->Col(), 1);
        QCOMPARE(D.Window->FRightLines, Right);
        QCOMPARE(D.Platform.Pointer, TPointer::AppStarting);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.Row(126), (QStringList{"126", "line 125", "changed 125"}));
    }

    void ctrlZ()
    {
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareLines({"A", "B"}, {"A", "X"});
        Grid(D)->setFocus();

        // Empty stack: a beep, and neither the lines, the pointer nor the unsaved flag change.
        QTest::keyClick(Grid(D), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(D.Platform.Beeps, 1);
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(D.Platform.PointerChanges.isEmpty());

        Grid(D)->SetRow(2);
        D.Click("btnLeftToRight");
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        D.Window->UnsavedChanges = false;   // as if saved since
        QTest::keyClick(Grid(D), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "X"}));
        QVERIFY(D.Window->UnsavedChanges);   // the restored text differs from the saved one
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Row(2), (QStringList{"2", "B", "X"}));
        QCOMPARE(D.Platform.Beeps, 1);
    }

    // ---- Folder mode ----

    void folderModeRefusesMergesAndUndo()
    {
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareLines({"A", "B"}, {"A", "X"});
        Grid(D)->SetRow(2);
        D.Click("btnLeftToRight");
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        const QStringList Left = D.Window->FLeftLines, Right = D.Window->FRightLines;

        D.Platform.ConfirmAnswers = {true};   // the merge is unsaved: the new comparison asks first
        CompareFolders(D, {"1d", "2s"}, {"1d", "2s"});
        QVERIFY(D.Window->FFolderMode);
        for (const char* Name : {"btnLeftToRight", "btnRightToLeft", "btnAllLeftDiffsToRight", "btnAllRightDiffsToLeft",
                                 "btnUndo", "btnSaveLeft", "btnSaveRight"})
            QVERIFY2(!D.Find<QToolButton>(Name)->isEnabled(), Name);
        D.Window->UnsavedChanges = false;
        Grid(D)->SetRow(1);
        D.Window->btnLeftToRightClick();
        D.Window->btnRightToLeftClick();
        D.Window->btnAllLeftDiffsToRightClick();
        D.Window->btnAllRightDiffsToLeftClick();
        QTest::keyClick(Grid(D), Qt::Key_Z, Qt::ControlModifier);   // the action is always there
        QCOMPARE(D.Platform.Beeps, 5);
        QVERIFY(D.Platform.Messages.isEmpty());
        QVERIFY(D.Platform.PointerChanges.isEmpty());
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Window->FLeftLines, Left);
        QCOMPARE(D.Window->FRightLines, Right);
    }
};

QTEST_MAIN(TestWindowMerge)
#include "tst_window_merge.moc"
