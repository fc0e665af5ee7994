#include "support/app/WindowDriver.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QThreadPool>
#include <QToolButton>
#include <QtTest>

// In-cell editing through the real grid, editor and keyboard.
class TestWindowEdit : public QObject
{
    Q_OBJECT

    static TDiffGrid* Grid(TWindowDriver& D) { return D.Window->grdDiff; }
    static QPlainTextEdit* Editor(TWindowDriver& D) { return D.Find<QPlainTextEdit>("FCellEditor"); }
    static bool EditorOpen(TWindowDriver& D) { return Editor(D) && Editor(D)->isVisible(); }

    static void Activate(TWindowDriver& D)
    {
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
    }

    // A double-click in the middle of a cell, as the mouse makes it.
    static void DoubleClickCell(TWindowDriver& D, int Col, int Row)
    {
        const QPoint Centre = Grid(D)->CellRect(Col, Row).center();
        QTest::mouseClick(Grid(D)->viewport(), Qt::LeftButton, {}, Centre);
        QTest::mouseDClick(Grid(D)->viewport(), Qt::LeftButton, {}, Centre);
    }

private slots:
    void cleanup() { QThreadPool::globalInstance()->waitForDone(); }

    void doubleClickOpensTheEditorOverTheCell_data()
    {
        QTest::addColumn<int>("Col");
        QTest::addColumn<QString>("Text");
        QTest::newRow("left cell") << 1 << "B";
        QTest::newRow("right cell") << 2 << "X";
    }

    void doubleClickOpensTheEditorOverTheCell()
    {
        QFETCH(int, Col);
        QFETCH(QString, Text);
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C"}, {"A", "X", "C"});
        DoubleClickCell(D, Col, 2);
        QVERIFY(EditorOpen(D));
        QCOMPARE(D.Window->FEditingRow, 2);
        QCOMPARE(D.Window->FEditingCol, Col);
        QCOMPARE(Editor(D)->toPlainText(), Text);
        QCOMPARE(Editor(D)->textCursor().selectedText(), Text);   // all of it selected
        QCOMPARE(Editor(D)->geometry(), Grid(D)->CellRect(Col, 2).adjusted(2, 1, -2, -1));
        QCOMPARE(Editor(D)->parentWidget(), Grid(D)->viewport());
        QCOMPARE(Editor(D)->font(), Grid(D)->font());
        QCOMPARE(Editor(D)->frameShape(), QFrame::NoFrame);
        QCOMPARE(Editor(D)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(Editor(D)->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(!Editor(D)->isReadOnly());
        QTRY_VERIFY(Editor(D)->hasFocus());

        QTest::keyClicks(Editor(D), QStringLiteral("new"));   // replaces the selection
        QTest::keyClick(Editor(D), Qt::Key_Return);
        QVERIFY(!EditorOpen(D));
        QCOMPARE(D.Window->FEditingRow, -1);
        QCOMPARE(D.Window->FEditingCol, -1);
        QCOMPARE((Col == 1 ? D.Window->FLeftLines : D.Window->FRightLines), (QStringList{"A", "new", "C"}));
        // The row shows the new text at once, before the recompute; the status has the counts.
        QCOMPARE(D.Row(2)[Col], QStringLiteral("new"));
        QVERIFY2(D.Status().startsWith(QStringLiteral("3 lines (left file) vs 3 lines (right file). Equal lines: 2 of 3")),
                 qPrintable(D.Status()));
        QVERIFY(D.Window->UnsavedChanges);
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
        QCOMPARE(D.Window->FUndoStack.At(0).LeftLines, (QStringList{"A", "B", "C"}));
        QCOMPARE(D.Platform.Pointer, TPointer::AppStarting);
        QVERIFY(D.Window->FDiffRecomputeInProgress);
        QCOMPARE(Grid(D)->Row(), 2);
        QTRY_VERIFY(Grid(D)->hasFocus());
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.Row(2), (Col == 1 ? QStringList{"2", "new", "X"} : QStringList{"2", "B", "new"}));
        QCOMPARE(D.Platform.Beeps, 0);
    }

    void theEditorGrowsWithItsText()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C"}, {"A", "X", "C"});
        DoubleClickCell(D, 1, 2);
        const QRect Cell = Grid(D)->CellRect(1, 2).adjusted(2, 1, -2, -1);
        QCOMPARE(Editor(D)->geometry(), Cell);
        QTest::keyClick(Editor(D), Qt::Key_End);
        for (int Word = 0; Word < 40; ++Word)
            QTest::keyClicks(Editor(D), QStringLiteral(" wrapping"));
        // All of the text stays in sight: the editor is as wide as the cell and taller.
        QCOMPARE(Editor(D)->geometry().topLeft(), Cell.topLeft());
        QCOMPARE(Editor(D)->width(), Cell.width());
        QVERIFY2(Editor(D)->height() >= 3 * Editor(D)->fontMetrics().lineSpacing(), qPrintable(QString::number(Editor(D)->height())));
        QVERIFY(Editor(D)->geometry().bottom() < Grid(D)->viewport()->height());
        QTest::keyClick(Editor(D), Qt::Key_Return);
        QCOMPARE(D.Window->FLeftLines[1], QStringLiteral("B") + QStringLiteral(" wrapping").repeated(40));
        // The row grows to show the long line (measured as the grid measures it).
        QVERIFY(Grid(D)->RowHeights(2) > Grid(D)->RowHeights(1));
    }

    void editorKeys_data()
    {
        QTest::addColumn<QString>("Keys");      // what the user does in the editor on "B"
        QTest::addColumn<QString>("Line");      // left line 1 afterwards
        QTest::addColumn<int>("UndoStates");
        QTest::newRow("type and Enter") << "type new|enter" << "new" << 1;
        QTest::newRow("keypad Enter") << "type new|keypad enter" << "new" << 1;
        QTest::newRow("Shift+Enter writes back too") << "type new|shift enter" << "new" << 1;
        QTest::newRow("Esc discards") << "type new|esc" << "B" << 0;
        QTest::newRow("Tab inserts a tab") << "end|tab|type x|enter" << "B\tx" << 1;
        QTest::newRow("a pasted two-line text becomes one line") << "paste one\ntwo|enter" << "onetwo" << 1;
        QTest::newRow("pasted CR LF lines too") << "paste one\r\ntwo\r\n|enter" << "onetwo" << 1;
        QTest::newRow("Enter without a change leaves no undo step") << "enter" << "B" << 0;
        QTest::newRow("leaving for the path box keeps the edit") << "type kept|focus path box" << "kept" << 1;
        QTest::newRow("no-break spaces stay as typed") << "type a\u00A0b|enter" << "a\u00A0b" << 1;
    }

    void editorKeys()
    {
        QFETCH(QString, Keys);
        QFETCH(QString, Line);
        QFETCH(int, UndoStates);
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C"}, {"A", "X", "C"});
        const QList<QStringList> RowsBefore{D.Row(1), D.Row(2), D.Row(3)};
        DoubleClickCell(D, 1, 2);
        QVERIFY(EditorOpen(D));
        QTRY_VERIFY(Editor(D)->hasFocus());
        for (const QString& Step : Keys.split(QLatin1Char('|'))) {
            if (Step.startsWith(QLatin1String("type ")))
                QTest::keyClicks(Editor(D), Step.mid(5));
            else if (Step == QLatin1String("enter"))
                QTest::keyClick(Editor(D), Qt::Key_Return);
            else if (Step == QLatin1String("keypad enter"))
                QTest::keyClick(Editor(D), Qt::Key_Enter, Qt::KeypadModifier);
            else if (Step == QLatin1String("shift enter"))
                QTest::keyClick(Editor(D), Qt::Key_Return, Qt::ShiftModifier);
            else if (Step == QLatin1String("esc"))
                QTest::keyClick(Editor(D), Qt::Key_Escape);
            else if (Step == QLatin1String("end"))
                QTest::keyClick(Editor(D), Qt::Key_End);
            else if (Step == QLatin1String("tab"))
                QTest::keyClick(Editor(D), Qt::Key_Tab);
            else if (Step.startsWith(QLatin1String("paste "))) {
                QGuiApplication::clipboard()->setText(Step.mid(6));
                QTest::keyClick(Editor(D), Qt::Key_V, Qt::ControlModifier);
            } else if (Step == QLatin1String("focus path box")) {
                D.Find<QComboBox>("cmbLeft")->setFocus(Qt::MouseFocusReason);
            } else
                QFAIL(qPrintable(Step));
        }
        QTRY_VERIFY(!EditorOpen(D));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", Line, "C"}));
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "X", "C"}));
        QCOMPARE(D.Window->FUndoStack.Count(), UndoStates);   // one write-back, however the focus moved
        QCOMPARE(D.Window->UnsavedChanges, UndoStates > 0);
        QCOMPARE(D.Platform.Beeps, 0);
        if (UndoStates == 0) {
            QCOMPARE((QList<QStringList>{D.Row(1), D.Row(2), D.Row(3)}), RowsBefore);
            QVERIFY(D.Platform.PointerChanges.isEmpty());
            QVERIFY(!D.Window->FDiffRecomputeInProgress);
        } else {
            QCOMPARE(D.Row(2)[1], Line);
            QCOMPARE(D.Platform.PointerChanges.value(0), TPointer::AppStarting);
            QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
            QCOMPARE(D.Window->FDiffItems, ComputeDiff(D.Window->FLeftLines, D.Window->FRightLines, {}));
        }
    }

    void cellsThatCannotBeEditedBeep()
    {
        TWindowDriver D;
        Activate(D);
        // Row 2 has a left line only, row 4 a right line only.
        D.CompareLines({"A", "gone", "C"}, {"A", "C", "new"});
        QCOMPARE(D.Window->FDiffItems[1].Kind, dkLeftOnly);
        QCOMPARE(D.Window->FDiffItems[3].Kind, dkRightOnly);

        DoubleClickCell(D, 2, 2);   // the right cell of a left-only row
        QCOMPARE(D.Platform.Beeps, 1);
        QVERIFY(!EditorOpen(D));

        Grid(D)->setFocus();
        Grid(D)->SetRow(4);
        QTest::keyClick(Grid(D), Qt::Key_F2);   // F2 edits the left cell: none here
        QCOMPARE(D.Platform.Beeps, 2);
        QVERIFY(!EditorOpen(D));

        Grid(D)->SetRow(3);
        QTest::keyClick(Grid(D), Qt::Key_F2);
        QVERIFY(EditorOpen(D));
        QCOMPARE(D.Window->FEditingCol, 1);
        QCOMPARE(Editor(D)->toPlainText(), QStringLiteral("C"));

        // A refused cell leaves the open edit open.
        D.Window->BeginCellEdit(0, 3);
        D.Window->BeginCellEdit(1, 0);
        D.Window->BeginCellEdit(1, 99);
        QCOMPARE(D.Platform.Beeps, 5);
        QVERIFY(EditorOpen(D));
        QCOMPARE(D.Window->FEditingRow, 3);
        QCOMPARE(D.Window->FUndoStack.Count(), 0);
    }

    void doubleClickingAnotherCellWritesTheOpenEditFirst()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C"}, {"A", "X", "C"});
        DoubleClickCell(D, 1, 1);
        QTest::keyClicks(Editor(D), QStringLiteral("first"));
        DoubleClickCell(D, 2, 3);
        QVERIFY(EditorOpen(D));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"first", "B", "C"}));
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
        QCOMPARE(D.Window->FEditingRow, 3);
        QCOMPARE(D.Window->FEditingCol, 2);
        QCOMPARE(Editor(D)->toPlainText(), QStringLiteral("C"));
        QTest::keyClicks(Editor(D), QStringLiteral("second"));
        QTest::keyClick(Editor(D), Qt::Key_Return);
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "X", "second"}));
        QCOMPARE(D.Window->FUndoStack.Count(), 2);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Row(1), (QStringList{"1", "first", "A"}));
    }

    void ctrlCCopiesTheLeftTextOfTheCurrentRow()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C"}, {"A", "X", "new", "C"});
        D.Platform.Clipboard = QStringLiteral("unchanged");
        DoubleClickCell(D, 2, 2);   // the right cell was the last one clicked
        QTest::keyClick(Editor(D), Qt::Key_Escape);
        QVERIFY(!EditorOpen(D));
        QTest::keyClick(Grid(D), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(D.Platform.Clipboard, QStringLiteral("B"));

        Grid(D)->SetRow(3);   // right-only: the left cell is empty
        QCOMPARE(D.Window->FDiffItems[2].Kind, dkRightOnly);
        QTest::keyClick(Grid(D), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(D.Platform.Clipboard, QString());
        QCOMPARE(D.Platform.Beeps, 0);
    }

    void escOnTheGridClosesTheEditor()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B"}, {"A", "X"});
        Grid(D)->SetRow(2);
        QTest::keyClick(Grid(D), Qt::Key_F2);
        QVERIFY(EditorOpen(D));
        QTest::keyClicks(Editor(D), QStringLiteral("typed"));
        QTest::keyClick(Grid(D), Qt::Key_Escape);
        QVERIFY(!EditorOpen(D));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "B"}));
        QVERIFY(!D.Window->UnsavedChanges);
    }

    void folderModeOnlyBeeps()
    {
        TWindowDriver D;
        Activate(D);
        QDir(D.Files.path()).mkpath(QStringLiteral("L/sub"));
        QDir(D.Files.path()).mkpath(QStringLiteral("R"));
        D.WriteBytes(QStringLiteral("L/a.txt"), "left");
        D.WriteBytes(QStringLiteral("R/a.txt"), "right!");
        D.WriteBytes(QStringLiteral("L/b.txt"), "left only");
        D.SetPaths(D.PathOf(QStringLiteral("L")), D.PathOf(QStringLiteral("R")));
        D.Trigger("miAsFolders1");
        D.Platform.Clear();
        QVERIFY(D.Window->FFolderMode);
        // A double-click opens a row's pair; a file on one side only has none.
        Grid(D)->SetRow(2);
        DoubleClickCell(D, 1, 2);
        DoubleClickCell(D, 2, 2);
        Grid(D)->setFocus();
        QTest::keyClick(Grid(D), Qt::Key_F2);
        QCOMPARE(D.Platform.Beeps, 3);
        QVERIFY(!EditorOpen(D));
        QVERIFY(D.Platform.Messages.isEmpty());   // the beep only, no error box
    }

    void anEditOpenAcrossANewComparisonIsNotWrittenIntoIt()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"old 1", "old 2"}, {"old 1", "other"});
        DoubleClickCell(D, 1, 2);
        QTest::keyClicks(Editor(D), QStringLiteral("typed into the old file"));
        // A toolbar command takes no focus: the editor is still open when the new files load.
        D.CompareLines({"new 1", "new 2"}, {"new 1", "new 3"});
        Grid(D)->setFocus();
        QTRY_VERIFY(!EditorOpen(D));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"new 1", "new 2"}));
        QCOMPARE(D.Window->FUndoStack.Count(), 0);
        QVERIFY(!D.Window->UnsavedChanges);
    }

    void theEditFollowsItsLineWhenNewRowsArrive()
    {
        TWindowDriver D;
        Activate(D);
        // Rows: a left-only, a equal (left line 1, right line 0), b right-only.
        D.CompareLines({"a", "a"}, {"a", "b"});
        QCOMPARE(D.Window->FDiffItems.size(), 3);
        QCOMPARE(D.Window->FDiffItems[1].RightIndex, 0);
        DoubleClickCell(D, 1, 2);
        QTest::keyClicks(Editor(D), QStringLiteral("b"));
        QTest::keyClick(Editor(D), Qt::Key_Return);   // left a b against right a b: two rows soon
        DoubleClickCell(D, 2, 2);                      // right line 0 "a", on the old rows
        QVERIFY(EditorOpen(D));
        QCOMPARE(Editor(D)->toPlainText(), QStringLiteral("a"));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QCOMPARE(D.Window->FDiffItems.size(), 2);
        QTRY_COMPARE(D.Window->FEditingRow, 1);        // the editor went with its line
        QTRY_COMPARE(Editor(D)->geometry(), Grid(D)->CellRect(2, 1).adjusted(2, 1, -2, -1));
        QTest::keyClicks(Editor(D), QStringLiteral("A2"));
        QTest::keyClick(Editor(D), Qt::Key_Return);
        QCOMPARE(D.Window->FRightLines, (QStringList{"A2", "b"}));
        QCOMPARE(D.Row(1)[2], QStringLiteral("A2"));
        QCOMPARE(D.Window->FUndoStack.Count(), 2);
    }

    void noEditWhileMergedLinesWaitForTheirRows()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C"}, {"A", "C"});
        Grid(D)->SetRow(2);
        D.Click("btnLeftToRight");   // right A B C; the rows still show B missing on the right
        D.Window->BeginCellEdit(1, 3);   // old row 3 names left line 2, new rows will differ
        QCOMPARE(D.Platform.Beeps, 1);
        QVERIFY(!EditorOpen(D));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        D.Window->BeginCellEdit(1, 3);
        QVERIFY(EditorOpen(D));
        QCOMPARE(Editor(D)->toPlainText(), QStringLiteral("C"));
    }

    void navigationWritesTheOpenEditBack()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B", "C", "D"}, {"A", "X", "C", "Y"});
        DoubleClickCell(D, 1, 2);
        QTest::keyClicks(Editor(D), QStringLiteral("typed"));
        QTest::keyClick(Editor(D), Qt::Key_F8);   // Next, from inside the editor
        QVERIFY(!EditorOpen(D));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "typed", "C", "D"}));
        QCOMPARE(Grid(D)->Row(), 4);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
    }

    void ctrlZInTheEditorUndoesTyping()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B"}, {"A", "X"});
        Grid(D)->SetRow(2);
        D.Click("btnLeftToRight");
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        DoubleClickCell(D, 1, 1);
        QTest::keyClick(Editor(D), Qt::Key_End);
        QTest::keyClicks(Editor(D), QStringLiteral("xyz"));
        QTest::keyClick(Editor(D), Qt::Key_Z, Qt::ControlModifier);
        // The editor's own undo, not the merge's.
        QVERIFY(EditorOpen(D));
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "B"}));
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
        QVERIFY(Editor(D)->toPlainText() != QStringLiteral("Axyz"));
    }

    void mergeAndUndoWriteAnOpenEditFirst()
    {
        TWindowDriver D;
        Activate(D);
        D.CompareLines({"A", "B"}, {"A", "X"});
        DoubleClickCell(D, 1, 2);
        QTest::keyClicks(Editor(D), QStringLiteral("typed"));
        D.Click("btnLeftToRight");   // toolbar buttons take no focus
        QVERIFY(!EditorOpen(D));
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "typed"}));
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "typed"}));
        QCOMPARE(D.Window->FUndoStack.Count(), 2);
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        D.Click("btnUndo");
        QCOMPARE(D.Window->FRightLines, (QStringList{"A", "X"}));
        D.Click("btnUndo");
        QCOMPARE(D.Window->FLeftLines, (QStringList{"A", "B"}));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
    }
};

QTEST_MAIN(TestWindowEdit)
#include "tst_window_edit.moc"
