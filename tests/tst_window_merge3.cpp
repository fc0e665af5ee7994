// The merge window through its real widgets: the aligned inputs, the result, the choices per
// chunk in both orders, editing by hand, undo and redo, saving with and without conflicts, the
// question before closing and the exit status git reads.

#include "support/app/RecordingPlatform.h"
#include "mergewin/MergeForm.h"
#include "mergewin/MergeResultEdit.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

namespace {

[[nodiscard]] QByteArray ReadAll(const QString& Path)
{
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& Path, const QByteArray& Bytes)
{
    QFile File(Path);
    QVERIFY(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Bytes);
}

// Two conflicts, a change of LOCAL alone between them and one of REMOTE alone after them.
const QByteArray Base = "a1\na2\nkeep1\nb1\nkeep2\nkeep3\nkeep4\nkeep5\nc1\nkeep6\nd1\nkeep7\n";
const QByteArray Local = "A1-local\na2\nkeep1\nB1-local\nkeep2\nkeep3\nkeep4\nkeep5\nC1-local\nkeep6\nd1\nkeep7\n";
const QByteArray Remote = "A1-remote\na2\nkeep1\nb1\nkeep2\nkeep3\nkeep4\nkeep5\nC1-remote\nkeep6\nD1-remote\nkeep7\n";

}   // namespace

class TestWindowMerge3 : public QObject
{
    Q_OBJECT

    QTemporaryDir FDir;
    TRecordingPlatform FPlatform;

    [[nodiscard]] QString Path(const char* Name) const { return FDir.filePath(QString::fromLatin1(Name)); }

    // A window on the three files, shown, with -o merged.txt unless Output is given empty.
    [[nodiscard]] std::unique_ptr<TfrmMerge> Open(const QByteArray& L = Local, const QByteArray& B = Base,
                                                  const QByteArray& R = Remote, const char* Output = "merged.txt",
                                                  const char* BaseName = "base.txt")
    {
        WriteFile(Path("local.txt"), L);
        if (*BaseName)
            WriteFile(Path(BaseName), B);
        WriteFile(Path("remote.txt"), R);
        WriteFile(Path("merged.txt"), "what git wrote\n");
        auto Window = std::make_unique<TfrmMerge>(
            TMergeFiles{Path("local.txt"), *BaseName ? Path(BaseName) : QString(), Path("remote.txt"),
                        *Output ? Path(Output) : QString()},
            FPlatform);
        Window->RunCommand([&] { Window->LoadAndMerge(); });
        Window->show();
        Window->activateWindow();
        (void)QTest::qWaitForWindowActive(Window.get());   // the window's keys need it active
        return Window;
    }

    [[nodiscard]] static QList<int> Conflicts(const TfrmMerge& W)
    {
        QList<int> Found;
        for (int K = 0; K < W.FMerge.Chunks.size(); ++K)
            if (W.FMerge.Chunks[K].Kind == mcConflict)
                Found.append(K);
        return Found;
    }

    [[nodiscard]] static QString ResultText(const TfrmMerge& W)
    {
        return W.edtMergeResult->toPlainText();
    }

    [[nodiscard]] static QString Status(const TfrmMerge& W) { return W.lblMergeStatus->text(); }

    static void Click(TfrmMerge& W, const char* Name)
    {
        auto* Button = W.findChild<QToolButton*>(QString::fromLatin1(Name));
        QVERIFY2(Button, Name);
        QTest::mouseClick(Button, Qt::LeftButton);
    }

    // Puts the editor's cursor at the start of a line of the result, as a click there does.
    static void PutCursorOnLine(TfrmMerge& W, int Line)
    {
        QTextCursor Cursor(W.edtMergeResult->document()->findBlockByNumber(Line));
        W.edtMergeResult->setTextCursor(Cursor);
        W.edtMergeResult->setFocus();
    }

private slots:
    void init()
    {
        FPlatform.Clear();
        FPlatform.ConfirmAnswers.clear();
        FPlatform.SaveFileAnswers.clear();
    }

    // The result at first is exactly git merge-file's, the grid aligns the three inputs chunk by
    // chunk and the first conflict is selected.
    void opensAsGitMerges()
    {
        auto W = Open();
        QProcess Git;
        Git.start(QStringLiteral("git"), {"merge-file", "-p", "-L", "local.txt", "-L", "base.txt", "-L", "remote.txt",
                                          Path("local.txt"), Path("base.txt"), Path("remote.txt")});
        QVERIFY(Git.waitForFinished());
        QCOMPARE(ResultText(*W), QString::fromUtf8(Git.readAllStandardOutput()));
        QCOMPARE(Status(*W), QStringLiteral("2 conflicts left \u00B7 2 changes merged \u00B7 0 resolved by a rule"));
        QCOMPARE(W->FCurrentChunk, Conflicts(*W).constFirst());
        QCOMPARE(W->grdMerge->ColCount(), 4);
        QVERIFY(W->grdMerge->CellRect(1, 0).width() > 100);   // the text columns share the width
        // Row of the first conflict: each input's own line side by side.
        const int Row = W->FRows.FirstRow[Conflicts(*W).constFirst()];
        QCOMPARE(W->grdMerge->Cells(1, Row), QStringLiteral("A1-local"));
        QCOMPARE(W->grdMerge->Cells(2, Row), QStringLiteral("a1"));
        QCOMPARE(W->grdMerge->Cells(3, Row), QStringLiteral("A1-remote"));
        QCOMPARE(W->grdMerge->Row(), Row);
        QCOMPARE(W->ExitStatus(), 1);   // nothing saved yet
    }

    // Each take command, pressed once or more on the selected conflict, and the order of both.
    void choices_data()
    {
        QTest::addColumn<QStringList>("Buttons");
        QTest::addColumn<QString>("Chunk");   // the first conflict's lines in the result
        QTest::newRow("local") << QStringList{"btnTakeLocal"} << "A1-local";
        QTest::newRow("base") << QStringList{"btnTakeBase"} << "a1";
        QTest::newRow("remote") << QStringList{"btnTakeRemote"} << "A1-remote";
        QTest::newRow("both") << QStringList{"btnTakeBoth"} << "A1-local|A1-remote";
        QTest::newRow("both twice: remote first") << QStringList{"btnTakeBoth", "btnTakeBoth"} << "A1-remote|A1-local";
        QTest::newRow("both three times") << QStringList{"btnTakeBoth", "btnTakeBoth", "btnTakeBoth"}
                                          << "A1-local|A1-remote";
        QTest::newRow("changed again") << QStringList{"btnTakeRemote", "btnTakeBoth", "btnTakeLocal"} << "A1-local";
    }
    void choices()
    {
        QFETCH(QStringList, Buttons);
        QFETCH(QString, Chunk);
        auto W = Open();
        const int First = Conflicts(*W).constFirst();
        for (const QString& Button : Buttons)
            Click(*W, Button.toLatin1().constData());
        QCOMPARE(W->CurrentChunkLines(First).join(u'|'), Chunk);
        QCOMPARE(Status(*W), QStringLiteral("1 conflicts left \u00B7 3 changes merged \u00B7 0 resolved by a rule"));
        // The rest of the result is untouched: the other conflict and the merged changes.
        const QString Text = ResultText(*W);
        QVERIFY(Text.startsWith(Chunk.replace(u'|', u'\n') + QStringLiteral("\na2\nkeep1\nB1-local\n")));
        QVERIFY(Text.contains(QStringLiteral("<<<<<<< local.txt\nC1-local\n=======\nC1-remote\n>>>>>>> remote.txt\n")));
        QVERIFY(Text.endsWith(QStringLiteral("D1-remote\nkeep7\n")));
    }

    // The keys: Ctrl+1/2/3/4 take, F8/Ctrl+Down and F7/Ctrl+Up step between conflicts, and the
    // unresolved step finds what is left.
    void keysAndNavigation()
    {
        auto W = Open();
        const QList<int> C = Conflicts(*W);
        QTest::keyClick(W->edtMergeResult, Qt::Key_F8);
        QCOMPARE(W->FCurrentChunk, C[1]);
        QCOMPARE(W->grdMerge->Row(), W->FRows.FirstRow[C[1]]);
        QCOMPARE(W->edtMergeResult->textCursor().blockNumber(), W->ResultLineOfChunk(C[1]));
        QTest::keyClick(W->edtMergeResult, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(W->CurrentChunkLines(C[1]), QStringList{"C1-remote"});
        QTest::keyClick(W->grdMerge, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(W->FCurrentChunk, C[0]);
        QTest::keyClick(W->grdMerge, Qt::Key_Up, Qt::ControlModifier);   // nothing before the first
        QCOMPARE(W->FCurrentChunk, C[0]);
        QCOMPARE(FPlatform.Beeps, 1);
        QTest::keyClick(W->grdMerge, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(W->FCurrentChunk, C[1]);
        QTest::keyClick(W->grdMerge, Qt::Key_F7);
        QCOMPARE(W->FCurrentChunk, C[0]);
        // In the result too: the editor leaves the window's keys to it.
        QTest::keyClick(W->edtMergeResult, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(W->FCurrentChunk, C[1]);
        QTest::keyClick(W->edtMergeResult, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(W->FCurrentChunk, C[0]);
        QTest::keyClick(W->grdMerge, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(W->CurrentChunkLines(C[0]), QStringList{"A1-local"});
        QCOMPARE(Status(*W), QStringLiteral("0 conflicts left \u00B7 4 changes merged \u00B7 0 resolved by a rule"));
        QTest::keyClick(W->grdMerge, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(W->CurrentChunkLines(C[0]), QStringList{"a1"});
        QTest::keyClick(W->grdMerge, Qt::Key_4, Qt::ControlModifier);
        QTest::keyClick(W->grdMerge, Qt::Key_4, Qt::ControlModifier);
        QCOMPARE(W->CurrentChunkLines(C[0]), (QStringList{"A1-remote", "A1-local"}));
        QCOMPARE(FPlatform.Beeps, 1);
        // Selecting a row of the grid selects its chunk; an unchanged chunk takes nothing.
        W->grdMerge->SetRow(W->FRows.FirstRow[C[0]] + 2);
        QVERIFY(W->FMerge.Chunks[W->FCurrentChunk].Kind == mcUnchanged);
        QVERIFY(!W->btnTakeLocal->isEnabled());
        // The unresolved step comes round to the one left.
        Click(*W, "btnTakeBase");   // disabled: nothing happens
        auto V = Open();
        QTest::keyClick(V->grdMerge, Qt::Key_1, Qt::ControlModifier);
        Click(*V, "btnNextConflict");
        Click(*V, "btnNextUnresolved");
        QCOMPARE(V->FCurrentChunk, Conflicts(*V)[1]);
        Click(*V, "btnTakeLocal");
        const int Before = FPlatform.Beeps;
        Click(*V, "btnNextUnresolved");
        QCOMPARE(FPlatform.Beeps, Before + 1);
    }

    // Typing into a chunk makes it the user's: the take commands leave it alone; it stays a
    // conflict while it holds its markers, and is resolved once they are gone. Undo and redo
    // bring back the text and what the window knew of the chunk with it.
    void editingUndoRedo()
    {
        auto W = Open();
        const int First = Conflicts(*W).constFirst();
        const QString Original = ResultText(*W);
        PutCursorOnLine(*W, 1);   // "A1-local", inside the first conflict
        QTest::keyClicks(W->edtMergeResult, QStringLiteral("X"));
        QVERIFY(W->FStates[First].Edited);
        QVERIFY(!W->btnTakeLocal->isEnabled());
        QCOMPARE(W->CurrentChunkLines(First).value(1), QStringLiteral("XA1-local"));
        QCOMPARE(Status(*W), QStringLiteral("2 conflicts left \u00B7 2 changes merged \u00B7 0 resolved by a rule"));
        // Deleting the markers by hand resolves it.
        for (int Line : {4, 2, 0}) {   // ">>>>>>>", "=======", "<<<<<<<", bottom up
            QTextCursor Cursor(W->edtMergeResult->document()->findBlockByNumber(Line));
            Cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
            W->edtMergeResult->setTextCursor(Cursor);
            QTest::keyClick(W->edtMergeResult, Qt::Key_Delete);
        }
        QCOMPARE(W->CurrentChunkLines(First), (QStringList{"XA1-local", "A1-remote"}));
        QCOMPARE(Status(*W), QStringLiteral("1 conflicts left \u00B7 3 changes merged \u00B7 0 resolved by a rule"));
        // Typing at the start of the next line belongs to that line's chunk, not to the conflict.
        QVERIFY(ResultText(*W).startsWith(QStringLiteral("XA1-local\nA1-remote\na2\n")));
        // Undo, step by step, back to the start: the chunk can be chosen again.
        for (int I = 0; I < 10 && W->edtMergeResult->document()->isUndoAvailable(); ++I)
            QTest::keyClick(W->edtMergeResult, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ResultText(*W), Original);
        QVERIFY(!W->FStates[First].Edited);
        W->SelectChunk(First);
        QVERIFY(W->btnTakeLocal->isEnabled());
        QVERIFY(!W->HasUnsavedWork());
        // A choice is undone and redone with its state, with both redo keys.
        Click(*W, "btnTakeBoth");
        Click(*W, "btnTakeBoth");
        QCOMPARE(W->CurrentChunkLines(First), (QStringList{"A1-remote", "A1-local"}));
        QTest::keyClick(W->edtMergeResult, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(W->CurrentChunkLines(First), (QStringList{"A1-local", "A1-remote"}));
        QCOMPARE(W->FStates[First].Choice, TMergeChoice::LocalThenRemote);
        QTest::keyClick(W->edtMergeResult, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ResultText(*W), Original);
        QCOMPARE(Status(*W), QStringLiteral("2 conflicts left \u00B7 2 changes merged \u00B7 0 resolved by a rule"));
        QTest::keyClick(W->edtMergeResult, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(W->CurrentChunkLines(First), (QStringList{"A1-local", "A1-remote"}));
        QTest::keyClick(W->edtMergeResult, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(W->CurrentChunkLines(First), (QStringList{"A1-remote", "A1-local"}));
        QCOMPARE(W->FStates[First].Choice, TMergeChoice::RemoteThenLocal);
        // New lines typed anywhere: the chunk that holds the place takes them.
        PutCursorOnLine(*W, W->ResultLineOfChunk(First + 1));
        QTest::keyClick(W->edtMergeResult, Qt::Key_Return);
        QCOMPARE(W->CurrentChunkLines(First), (QStringList{"A1-remote", "A1-local"}));
        QVERIFY(W->FStates[First + 1].Edited);
        QVERIFY(ResultText(*W).startsWith(QStringLiteral("A1-remote\nA1-local\n\na2\n")));
    }

    // Saving: while conflicts remain it asks first (Cancel writes nothing); the markers written
    // are git's. Saved with none left, the process would exit 0, until anything changes.
    void saveAndExitStatus()
    {
        auto W = Open();
        FPlatform.ConfirmAnswers = {false};
        Click(*W, "btnSaveMerge");
        QCOMPARE(FPlatform.Texts(), QStringList{"2 conflicts are not resolved. Save with conflict markers? [Save with Markers]"});
        QCOMPARE(ReadAll(Path("merged.txt")), QByteArray("what git wrote\n"));
        FPlatform.Clear();
        FPlatform.ConfirmAnswers = {true};
        QTest::keyClick(W->grdMerge, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(ReadAll(Path("merged.txt")), ResultText(*W).toUtf8());
        QVERIFY(ReadAll(Path("merged.txt")).contains("<<<<<<< local.txt\nA1-local\n=======\nA1-remote\n>>>>>>> remote.txt\n"));
        QCOMPARE(W->ExitStatus(), 1);
        QVERIFY(!W->HasUnsavedWork());

        Click(*W, "btnTakeLocal");
        Click(*W, "btnNextConflict");
        Click(*W, "btnTakeRemote");
        FPlatform.Clear();
        Click(*W, "btnSaveMerge");
        QCOMPARE(FPlatform.Texts(), QStringList());
        QCOMPARE(ReadAll(Path("merged.txt")),
                 QByteArray("A1-local\na2\nkeep1\nB1-local\nkeep2\nkeep3\nkeep4\nkeep5\nC1-remote\nkeep6\nD1-remote\nkeep7\n"));
        QCOMPARE(W->ExitStatus(), 0);
        // Anything changed after the save: not finished; undone back to the saved text: finished.
        PutCursorOnLine(*W, 2);
        QTest::keyClicks(W->edtMergeResult, QStringLiteral("z"));
        QCOMPARE(W->ExitStatus(), 1);
        QTest::keyClick(W->edtMergeResult, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(W->ExitStatus(), 0);
    }

    // Closing asks only when the user has worked on an unsaved result; Cancel keeps it all.
    void closing()
    {
        auto W = Open();
        QVERIFY(W->close());
        QCOMPARE(FPlatform.Texts(), QStringList());
        W = Open();
        Click(*W, "btnTakeLocal");
        FPlatform.ConfirmAnswers = {false};
        QVERIFY(!W->close());
        QCOMPARE(FPlatform.Texts(),
                 QStringList{"The merge result has changes that are not saved. Close and lose them? [Discard and Close]"});
        QVERIFY(W->isVisible());
        QCOMPARE(W->CurrentChunkLines(Conflicts(*W).constFirst()), QStringList{"A1-local"});
        FPlatform.ConfirmAnswers = {true};
        QVERIFY(W->close());
        QCOMPARE(W->ExitStatus(), 1);
        QCOMPARE(ReadAll(Path("merged.txt")), QByteArray("what git wrote\n"));
    }

    // git's add/add: no base, or an empty one: the two sides are merged two ways.
    void addAdd_data()
    {
        QTest::addColumn<QString>("BaseName");
        QTest::newRow("missing base") << QString();
        QTest::newRow("empty base") << QStringLiteral("empty.txt");
    }
    void addAdd()
    {
        QFETCH(QString, BaseName);
        auto W = Open("same\nlocal line\nend\n", "", "same\nremote line\nend\n", "merged.txt",
                      BaseName.isEmpty() ? "" : "empty.txt");
        QCOMPARE(Conflicts(*W).size(), 1);
        QVERIFY(ResultText(*W).contains(QStringLiteral("local line\n=======\nremote line\n")));
        QVERIFY(W->HeaderText(QStringLiteral("BASE"), W->FFiles.Base).contains(QStringLiteral("none")) == BaseName.isEmpty());
        Click(*W, "btnTakeBoth");
        Click(*W, "btnSaveMerge");
        QCOMPARE(W->ExitStatus(), 0);
        QVERIFY(ReadAll(Path("merged.txt")).contains("local line\nremote line\n"));
    }

    // The result is written as LOCAL was: CR LF breaks and Windows-1252 stay, and so does a last
    // line without a break; the markers take the same breaks.
    void writtenAsLocal()
    {
        auto W = Open("caf\xe9\r\nx-local\r\nend", "caf\xe9\r\nx\r\nend", "caf\xe9\r\nx-remote\r\nend");
        FPlatform.ConfirmAnswers = {true};
        Click(*W, "btnSaveMerge");
        QCOMPARE(ReadAll(Path("merged.txt")),
                 QByteArray("caf\xe9\r\n<<<<<<< local.txt\r\nx-local\r\n=======\r\nx-remote\r\n>>>>>>> remote.txt\r\nend"));
        Click(*W, "btnTakeRemote");
        Click(*W, "btnSaveMerge");
        QCOMPARE(ReadAll(Path("merged.txt")), QByteArray("caf\xe9\r\nx-remote\r\nend"));
        QCOMPARE(W->ExitStatus(), 0);
    }

    // The save is the one every window uses: MERGED changed by another program since the window
    // opened is asked about (Cancel writes nothing), and a character LOCAL's encoding cannot hold
    // is never written as "?".
    void saveChecks()
    {
        auto W = Open();
        Click(*W, "btnTakeLocal");
        Click(*W, "btnNextConflict");
        Click(*W, "btnTakeLocal");
        WriteFile(Path("merged.txt"), "what git wrote\nand someone else\n");
        FPlatform.ConfirmAnswers = {false};
        Click(*W, "btnSaveMerge");
        QCOMPARE(FPlatform.Messages.size(), 1);
        QVERIFY(FPlatform.Messages[0].Text.contains(QStringLiteral("has changed on disk")));
        QCOMPARE(ReadAll(Path("merged.txt")), QByteArray("what git wrote\nand someone else\n"));
        QCOMPARE(W->ExitStatus(), 1);

        FPlatform.Clear();
        auto V = Open("caf\xe9\nx\n", "caf\xe9\ny\n", "caf\xc3\xa9\n\xd0\x96\xd0\xb8\xd0\xb7\xd0\xbd\xd1\x8c\n");
        Click(*V, "btnTakeRemote");
        FPlatform.ConfirmAnswers = {true};
        Click(*V, "btnSaveMerge");
        QCOMPARE(FPlatform.Messages.size(), 1);
        QVERIFY(FPlatform.Messages[0].Text.contains(QStringLiteral("Save it as UTF-8 instead?")));
        QCOMPARE(ReadAll(Path("merged.txt")), QByteArray("caf\xc3\xa9\n\xd0\x96\xd0\xb8\xd0\xb7\xd0\xbd\xd1\x8c\n"));
        QCOMPARE(V->ExitStatus(), 0);
    }

    // Without -o the first save asks where, proposing LOCAL; later saves go to the same file.
    void saveWithoutOutput()
    {
        auto W = Open(Local, Base, Remote, "");
        Click(*W, "btnTakeLocal");
        Click(*W, "btnNextConflict");
        Click(*W, "btnTakeLocal");
        FPlatform.SaveFileAnswers = {Path("chosen.txt")};
        Click(*W, "btnSaveMerge");
        QCOMPARE(FPlatform.SaveFileSuggestions, QStringList{"local.txt"});
        QVERIFY(ReadAll(Path("chosen.txt")).startsWith("A1-local\na2\n"));
        Click(*W, "btnTakeBase");
        Click(*W, "btnSaveMerge");
        QCOMPARE(FPlatform.SaveFileSuggestions.size(), 1);
        QVERIFY(ReadAll(Path("chosen.txt")).contains("\nc1\n"));
    }

    // The grid and the result scroll together: the line at the top of one is the other's.
    void scrollTogether()
    {
        QByteArray B, L, R;
        for (int I = 0; I < 400; ++I) {
            const QByteArray Line = "line " + QByteArray::number(I) + '\n';
            B += Line;
            L += I == 300 ? QByteArray("local 300\n") : Line;
            R += I == 300 ? QByteArray("remote 300\n") : Line;
        }
        auto W = Open(L, B, R);
        W->resize(900, 600);
        QApplication::processEvents();
        const int Conflict = Conflicts(*W).constFirst();
        QVERIFY(W->grdMerge->TopRow() > 250);
        QCOMPARE(W->edtMergeResult->verticalScrollBar()->value() + 1, W->grdMerge->TopRow());
        W->grdMerge->SetTopRow(100);
        QCOMPARE(W->edtMergeResult->verticalScrollBar()->value(), 99);
        W->edtMergeResult->verticalScrollBar()->setValue(40);
        QCOMPARE(W->grdMerge->TopRow(), 41);
        // Below the conflict the result has its markers more than the grid has rows.
        W->edtMergeResult->verticalScrollBar()->setValue(W->ResultLineOfChunk(Conflict + 1) + 10);
        QCOMPARE(W->grdMerge->TopRow(), W->FRows.FirstRow[Conflict + 1] + 10);
    }

    // A chunk an extra rule resolved is marked, named in its tooltip, and stepped to.
    void ruleResolved()
    {
        auto W = Open("x\nadded 1\nadded 2\ny\n", "x\ny\n", "x\nadded 1\ny\n");
        int Rule = -1;
        for (int K = 0; K < W->FMerge.Chunks.size(); ++K)
            if (IsExtraRule(W->FMerge.Chunks[K].Rule))
                Rule = K;
        QVERIFY(Rule >= 0);
        QCOMPARE(Status(*W), QStringLiteral("0 conflicts left \u00B7 1 changes merged \u00B7 1 resolved by a rule"));
        QCOMPARE(W->ChunkColor(Rule), QColor(232, 216, 255));
        // In the result its lines carry the same colour.
        QApplication::processEvents();
        bool Marked = false;
        for (const QTextEdit::ExtraSelection& Mark : W->edtMergeResult->extraSelections())
            Marked = Marked || (Mark.cursor.blockNumber() == W->ResultLineOfChunk(Rule)
                                && Mark.format.background().color() == QColor(232, 216, 255));
        QVERIFY(Marked);
        QVERIFY(W->edtMergeResult->ToolTipAt(W->Starts()[Rule]).startsWith(QStringLiteral("Resolved by a rule")));
        W->SelectChunk(-1);
        Click(*W, "btnNextRuleResolved");
        QCOMPARE(W->FCurrentChunk, Rule);
        Click(*W, "btnTakeRemote");   // the user overrides it: no longer counted as the rule's
        QCOMPARE(Status(*W), QStringLiteral("0 conflicts left \u00B7 1 changes merged \u00B7 0 resolved by a rule"));
        QVERIFY(W->edtMergeResult->ToolTipAt(W->Starts()[Rule]).isEmpty());
    }

    // Nothing to merge: the result is LOCAL, nothing is selected, no beep; saving it finishes.
    void identicalInputs()
    {
        auto W = Open("same\n", "same\n", "same\n");
        QCOMPARE(ResultText(*W), QStringLiteral("same\n"));
        QCOMPARE(FPlatform.Beeps, 0);
        QCOMPARE(W->FCurrentChunk, -1);
        QVERIFY(!W->btnTakeLocal->isEnabled());
        QCOMPARE(Status(*W), QStringLiteral("0 conflicts left \u00B7 0 changes merged \u00B7 0 resolved by a rule"));
        Click(*W, "btnSaveMerge");
        QCOMPARE(ReadAll(Path("merged.txt")), QByteArray("same\n"));
        QCOMPARE(W->ExitStatus(), 0);
    }

    // Files that cannot be read: an error box naming the file, and no window.
    void unreadableInput()
    {
        TfrmMerge W(TMergeFiles{Path("nowhere.txt"), QString(), Path("remote.txt"), QString()}, FPlatform);
        bool Loaded = false;
        W.RunCommand([&] {
            W.LoadAndMerge();
            Loaded = true;
        });
        QVERIFY(!Loaded);
        QCOMPARE(FPlatform.Messages.size(), 1);
        QVERIFY(FPlatform.Messages[0].Text.contains(QStringLiteral("nowhere.txt")));
    }
};

QTEST_MAIN(TestWindowMerge3)
#include "tst_window_merge3.moc"
