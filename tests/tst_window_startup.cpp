#include "support/app/WindowDriver.h"

#include "grid/RowHeights.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

// The window as it opens: controls, captions, pictures, enabled states and the workspace.
class TestWindowStartup : public QObject
{
    Q_OBJECT
private slots:
    void toolbarButtons_data()
    {
        QTest::addColumn<QString>("Name");
        QTest::addColumn<QString>("Tip");
        QTest::addColumn<bool>("Enabled");
        QTest::newRow("compare") << "btnCompare" << "Load and Compare" << true;
        QTest::newRow("drop-down") << "SpeedButton1" << "" << true;
        QTest::newRow("previous") << "btnPrevDiff" << "Previous Difference" << false;
        QTest::newRow("next") << "btnDiffNext" << "Next Difference" << false;
        QTest::newRow("first") << "btnFirstDiff" << "First Difference" << false;
        QTest::newRow("last") << "btnLastDiff" << "Last Difference" << false;
        QTest::newRow("to right") << "btnLeftToRight" << "Copy to Right" << false;
        QTest::newRow("to left") << "btnRightToLeft" << "Copy to Left" << false;
        QTest::newRow("all to right") << "btnAllLeftDiffsToRight" << "Copy All to Right" << false;
        QTest::newRow("all to left") << "btnAllRightDiffsToLeft" << "Copy All to Left" << false;
        QTest::newRow("undo") << "btnUndo" << "Undo Last Change" << false;
        QTest::newRow("save left") << "btnSaveLeft" << "Save Left Text As..." << false;
        QTest::newRow("save right") << "btnSaveRight" << "Save Right Text As..." << false;
        QTest::newRow("settings") << "btnSettings" << "Settings..." << true;
        QTest::newRow("about") << "btnInfo" << "About..." << true;
    }

    void toolbarButtons()
    {
        QFETCH(QString, Name);
        QFETCH(QString, Tip);
        QFETCH(bool, Enabled);
        TWindowDriver D;
        auto* Button = D.Find<QToolButton>(Name.toLatin1().constData());
        QVERIFY(Button);
        // The described hint comes first; keyboard shortcuts may follow it in brackets.
        QVERIFY2(Tip.isEmpty() ? Button->toolTip().isEmpty() : Button->toolTip().startsWith(Tip), qPrintable(Button->toolTip()));
        QCOMPARE(Button->isEnabled(), Enabled);
        QVERIFY(Button->autoRaise());
        QVERIFY(!Button->icon().isNull());
        QVERIFY(!Button->icon().pixmap(Button->iconSize()).isNull());
    }

    void buttonsStandLeftToRightInTheDescribedOrder()
    {
        TWindowDriver D;
        const char* Order[] = {"btnCompare", "SpeedButton1", "btnPrevDiff", "btnDiffNext", "btnFirstDiff",
                               "btnLastDiff", "btnLeftToRight", "btnRightToLeft", "btnAllLeftDiffsToRight",
                               "btnAllRightDiffsToLeft", "btnUndo", "btnSaveLeft", "btnSaveRight", "btnSettings",
                               "btnInfo"};
        int LastRight = -1;
        for (const char* Name : Order) {
            const auto* Button = D.Find<QToolButton>(Name);
            QVERIFY2(Button->x() >= LastRight, Name);
            LastRight = Button->x() + Button->width();
        }
        // The bubble and its hint at the right end.
        auto* Hint = D.Find<QLabel>("Label1");
        QCOMPARE(Hint->text(), QStringLiteral("Double-click on a cell to start editing"));
        QVERIFY(Hint->x() > LastRight);
        QVERIFY2(Hint->x() + Hint->sizeHint().width() <= D.Window->width(),
                 qPrintable(QStringLiteral("%1 + %2 > %3").arg(Hint->x()).arg(Hint->sizeHint().width()).arg(D.Window->width())));
        auto* Bubble = D.Find<QLabel>("Image1");
        QVERIFY(Bubble && Bubble->x() < Hint->x() && Bubble->x() > LastRight);
        QVERIFY(!Bubble->pixmap().isNull());
    }

    void startState()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        QCOMPARE(W.windowTitle(), QStringLiteral("Quorlane 1.0"));
        QCOMPARE(D.Find<QLabel>("lblStatus")->text(), QStringLiteral("Ready."));
        QVERIFY(D.Find<QLabel>("lbHomepageURL"));
        QVERIFY(D.Find<QFrame>("pnlBottom")->isVisible());

        auto* Panel = D.Find<QFrame>("Panel2");
        QVERIFY(Panel->isVisible());
        QCOMPARE(D.Find<QLabel>("lblGettingStarted")->text(),
                 QStringLiteral("Select 2 Files or 2 Folders\r\nThen click on \"Compare\""));
        auto* Grid = D.Find<TDiffGrid>("grdDiff");
        QCOMPARE(Grid->height(), 1);
        QCOMPARE(Grid->ColCount(), 3);
        QCOMPARE(Grid->FixedRows(), 1);
        QCOMPARE(Grid->FixedCols(), 1);
        QCOMPARE(Grid->ColWidths(0), 100);
        QVERIFY(Panel->geometry().top() >= Grid->geometry().bottom());

        QCOMPARE(D.Find<QLabel>("StaticText1")->text(), QStringLiteral("Files or Folders:"));
        QCOMPARE(D.Find<QPushButton>("btnBrowseLeft")->text(), QStringLiteral("..."));
        QCOMPARE(D.Find<QPushButton>("btnBrowseRight")->text(), QStringLiteral("..."));
        QVERIFY(D.Find<QComboBox>("cmbLeft")->isEditable());
        QVERIFY(D.Find<QComboBox>("cmbRight")->isEditable());
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->count(), 0);

        QVERIFY(W.FDiffItems.isEmpty());
        QVERIFY(W.FLeftLines.isEmpty() && W.FRightLines.isEmpty());
        QVERIFY(!W.FFolderMode);
        QVERIFY(!W.FDiffRecomputeInProgress);
        QCOMPARE(W.FDiffRecomputeJobId, 0);
        QCOMPARE(W.FLastMouseCol, -1);
        QCOMPARE(W.FLastMouseRow, -1);
        QCOMPARE(W.FLastFramedRow, -1);
        QCOMPARE(W.FEditingRow, -1);
        QCOMPARE(W.FEditingCol, -1);
        QVERIFY(W.FCellEditor && W.FCellEditor->isHidden());
        QCOMPARE(W.FLeftEncName, QStringLiteral("ANSI/ASCII"));
        QCOMPARE(W.FRightEncName, QStringLiteral("ANSI/ASCII"));
        QVERIFY(W.FLeftEncoding == TTextEncoding::Ansi && !W.FLeftHasBOM);
        QVERIFY(!W.fIgnoreCase && !W.fIgnoreWhitespace && !W.fIgnoreWSAmount && !W.fIgnoreLeadingWS
                && !W.fIgnoreTrailingWS && !W.fIgnoreBlankLiness);
        QCOMPARE(W.fColorAddedLines, 0x00FFF0E0u);
        QCOMPARE(W.fColorRemovedLines, 0x00E0F0FFu);
        QCOMPARE(W.fColorChangedLines, 0x00E0E0FFu);
        QCOMPARE(W.fColorDifferentTextInLine, 0x0000FFFFu);
        QVERIFY(W.FUndoStack.IsEmpty());
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(!SettingsFileName.isEmpty());
        QVERIFY(D.Platform.Messages.isEmpty());

        auto* Timer = D.Find<QTimer>("Timer1");
        QVERIFY(Timer && Timer->isActive());
        QCOMPARE(Timer->interval(), 100);

        auto* Undo = D.Find<QAction>("ActionUndo");
        QVERIFY(Undo);
        QCOMPARE(Undo->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
        QCOMPARE(Undo->toolTip(), QStringLiteral("Undo Last Change"));
        QVERIFY(D.Find<QObject>("ActionList1"));
    }

    void baseRowHeightComesFromTheDesignFont()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        QFont Design(QStringLiteral("Courier New"));
        Design.setPixelSize(15);
        QCOMPARE(W.FBaseRowHeight, BaseRowHeightFor(Design));
        // A line of the design font holds marks stacked over capitals: 23 px, not its 17 px of
        // ascent and descent.
        QCOMPARE(W.FBaseRowHeight, 23 + 4);
        auto* Grid = D.Find<TDiffGrid>("grdDiff");
        QCOMPARE(Grid->DefaultRowHeight(), W.FBaseRowHeight);
        QCOMPARE(Grid->RowHeights(0), HeaderRowHeight(W.FBaseRowHeight));
    }

    void popupMenu()
    {
        TWindowDriver D;
        auto* Menu = D.Find<QMenu>("PopupMenu1");
        QVERIFY(Menu);
        const QList<QAction*> Items = Menu->actions();
        QCOMPARE(Items.size(), 5);
        QCOMPARE(Items[0]->objectName(), QStringLiteral("miAutomatically1"));
        QCOMPARE(Items[0]->text(), QStringLiteral("Automatically"));
        QVERIFY(Items[0]->font().bold());
        QCOMPARE(Menu->defaultAction(), Items[0]);
        QCOMPARE(Items[1]->objectName(), QStringLiteral("N1"));
        QVERIFY(Items[1]->isSeparator());
        QCOMPARE(Items[2]->objectName(), QStringLiteral("miAsTextFiles1"));
        QCOMPARE(Items[2]->text(), QStringLiteral("As Text-based Files"));
        QCOMPARE(Items[3]->objectName(), QStringLiteral("miAsComplexDocumentsegPDFDOCXetcwithTIKA1"));
        QCOMPARE(Items[3]->text(), QStringLiteral("As Complex Documents (e.g. PDF, DOCX etc.) with TIKA"));
        QCOMPARE(Items[4]->objectName(), QStringLiteral("miAsFolders1"));
        QCOMPARE(Items[4]->text(), QStringLiteral("As Folders"));

        // The drop-down arrow opens the menu with its top-left corner at the button's bottom-left.
        auto* Arrow = D.Find<QToolButton>("SpeedButton1");
        D.Window->move(20, 20);   // keeps the menu on the small offscreen display
        QTest::mouseClick(Arrow, Qt::LeftButton);
        QTRY_VERIFY(Menu->isVisible());
        QCOMPARE(Menu->pos(), Arrow->mapToGlobal(QPoint(0, Arrow->height())));
        Menu->hide();
    }

    // Closing asks while a side holds unsaved changes; Cancel (also the default) keeps the window
    // and what it holds.
    void closingWithUnsavedChanges_data()
    {
        QTest::addColumn<bool>("Merge");     // a merge changes the right side first
        QTest::addColumn<bool>("Answer");    // discard and close?
        QTest::addColumn<bool>("Closed");
        QTest::addColumn<int>("Questions");
        QTest::newRow("nothing changed: closes without a word") << false << false << true << 0;
        QTest::newRow("unsaved merge, cancelled") << true << false << false << 1;
        QTest::newRow("unsaved merge, discarded") << true << true << true << 1;
    }

    void closingWithUnsavedChanges()
    {
        QFETCH(bool, Merge);
        QFETCH(bool, Answer);
        QFETCH(bool, Closed);
        QFETCH(int, Questions);
        TWindowDriver D;
        D.CompareLines({"a", "b"}, {"a", "x"});
        D.Platform.Clear();
        if (Merge) {
            D.Window->grdDiff->SetRow(2);
            D.Click("btnLeftToRight");
            QVERIFY(D.WaitForRecompute());
        }
        D.Platform.ConfirmAnswers = {Answer};
        QCOMPARE(D.Window->close(), Closed);
        QCOMPARE(D.Window->isVisible(), !Closed);
        QCOMPARE(D.Platform.Messages.size(), Questions);
        if (Questions > 0)
            QCOMPARE(D.Platform.Log().constFirst(),
                     QStringLiteral("risky confirmation: Close Quorlane?\r\nCurrent changes will be lost. [Discard and Close]"));
        if (!Closed) {
            QVERIFY(D.Window->UnsavedChanges);
            QCOMPARE(D.Window->FRightLines, (QStringList{"a", "b"}));
        }
    }

    // What is typed in an open editor counts as a change: closing asks about it too.
    void closingWithAnOpenEditAsks()
    {
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareLines({"a"}, {"b"});
        D.Platform.Clear();
        D.Window->BeginCellEdit(1, 1);
        QTest::keyClicks(D.Find<QPlainTextEdit>("FCellEditor"), QStringLiteral("typed"));
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(!D.Window->close());
        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Window->FLeftLines, QStringList{"typed"});
    }

    void errorInACommandShowsItsMessageAndTheWindowGoesOn()
    {
        TWindowDriver D;
        D.Window->FFolderMode = true;
        D.Window->RunCommand([&] { D.Window->EnsureFilesLoaded(); });
        QCOMPARE(D.Platform.Log(), QStringList{"error: Folder comparison mode: no file contents loaded."});
        D.Window->FFolderMode = false;
        D.Window->RunCommand([&] { D.Window->EnsureFilesLoaded(); });
        QCOMPARE(D.Platform.Messages.size(), 1);
    }

    void showComparisonSummary()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        const QString Prefix = QStringLiteral("0 lines (left file) vs 0 lines (right file).");
        W.ShowComparisonSummary(Prefix, true);
        QCOMPARE(D.Find<QLabel>("lblStatus")->text(), Prefix + " No comparable lines.");
        QVERIFY(D.Platform.Messages.isEmpty());   // no box without items, whatever the flag says

        W.FDiffItems = {TDiffItem{0, 0, dkEqual}, TDiffItem{1, -1, dkLeftOnly}};
        W.ShowComparisonSummary(QStringLiteral("P."), false);
        QCOMPARE(D.Find<QLabel>("lblStatus")->text(),
                 QStringLiteral("P. Equal lines: 1 of 2 (%1%). Different lines: 1.").arg(QLocale().toString(50.0, 'f', 1)));
        QVERIFY(D.Platform.Messages.isEmpty());
        W.ShowComparisonSummary(QStringLiteral("P."), true);
        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("information"));
        QVERIFY(D.Platform.Messages[0].Text.startsWith(QStringLiteral("Compared:\r\nP.\r\nEqual lines: 1 of 2")));
    }
};

QTEST_MAIN(TestWindowStartup)
#include "tst_window_startup.moc"
