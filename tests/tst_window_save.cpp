#include "support/app/WindowDriver.h"
#include "support/core/FileSizeLimit.h"
#include "app/UnsavedMarker.h"
#include "text/SideState.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using quorlane::test::TFileSizeLimit;

// The two Save commands, through the real window, writing real files.
class TestWindowSave : public QObject
{
    Q_OBJECT

    static QByteArray ReadAll(const QString& Path)
    {
        QFile File(Path);
        return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
    }

    static void Edit(TWindowDriver& D, int Col, int Row, const QString& Text)
    {
        D.Window->BeginCellEdit(Col, Row);
        auto* Editor = D.Find<QPlainTextEdit>("FCellEditor");
        QVERIFY(Editor && Editor->isVisible());
        // Typed text, as a keyboard or an input method delivers it (any character).
        QKeyEvent Press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, Text);
        QApplication::sendEvent(Editor, &Press);
        QTest::keyClick(Editor, Qt::Key_Return);
        QVERIFY(!Editor->isVisible());
    }

private slots:
    void cleanup() { QThreadPool::globalInstance()->waitForDone(); }

    // Each side is written back as it was read: its encoding and mark, its line break (the most
    // frequent one; LF when it had none), and its last line without a break when the file had
    // none there. A side read as ANSI only for holding nothing but ASCII goes to UTF-8 once it
    // holds more. Unedited, a file is written back byte for byte (but for an odd UTF-16 byte).
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("Input");
        QTest::addColumn<QString>("Typed");   // replaces line 1 of each side before saving, if any
        QTest::addColumn<QString>("EncName");
        QTest::addColumn<QString>("SavedAs");   // the name the status line gives
        QTest::addColumn<QByteArray>("Saved");

        QTest::newRow("UTF-8 without a mark, LF breaks, no final break")
            << QByteArray("h\xC3\xA9llo\nworld") << "" << "UTF-8" << "UTF-8" << QByteArray("h\xC3\xA9llo\nworld");
        QTest::newRow("UTF-8 with a mark: written with exactly one")
            << QByteArray("\xEF\xBB\xBF" "abc\r\ndef\r\n") << "" << "UTF-8 with BOM" << "UTF-8 with BOM"
            << QByteArray("\xEF\xBB\xBF" "abc\r\ndef\r\n");
        QTest::newRow("UTF-8 with a mark, first line edited")
            << QByteArray("\xEF\xBB\xBF" "abc\r\ndef\r\n") << "\u00FCber" << "UTF-8 with BOM" << "UTF-8 with BOM"
            << QByteArray("\xEF\xBB\xBF\xC3\xBC" "ber\r\ndef\r\n");
        QTest::newRow("UTF-8 with two marks: the second is text")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "a\n") << "" << "UTF-8 with BOM" << "UTF-8 with BOM"
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "a\n");
        QTest::newRow("UTF-16 LE with a mark, LF")
            << QByteArray("\xFF\xFE" "a\0\n\0b\0", 8) << "" << "UTF-16 LE with BOM" << "UTF-16 LE with BOM"
            << QByteArray("\xFF\xFE" "a\0\n\0b\0", 8);
        QTest::newRow("UTF-16 LE, odd last byte kept as U+FFFD and the byte")
            << QByteArray("\xFF\xFE" "a\0b", 5) << "" << "UTF-16 LE with BOM" << "UTF-16 LE with BOM"
            << QByteArray("\xFF\xFE" "a\0\xFD\xFF" "b\0", 8);
        QTest::newRow("UTF-16 BE with a mark, edited")
            << QByteArray("\xFE\xFF\0a\0\r\0\n\0b", 10) << "\u20AC" << "UTF-16 BE with BOM" << "UTF-16 BE with BOM"
            << QByteArray("\xFE\xFF\x20\xAC\0\r\0\n\0b", 10);
        QTest::newRow("ANSI, CR breaks") << QByteArray("caf\xE9\rna\xEFve") << "" << "ANSI" << "ANSI"
                                         << QByteArray("caf\xE9\rna\xEFve");
        QTest::newRow("CR breaks, final break") << QByteArray("a\rb\r") << "" << "ANSI/ASCII" << "ANSI/ASCII"
                                                << QByteArray("a\rb\r");
        QTest::newRow("ANSI: what the code page holds stays ANSI")
            << QByteArray("caf\xE9\r\n") << "\u20AC\u00FF?" << "ANSI" << "ANSI" << QByteArray("\x80\xFF?\r\n");
        QTest::newRow("not well-formed UTF-8 is ANSI, written back byte for byte")
            << QByteArray("overlong \xC0\xAF\nsurrogate \xED\xA0\x80\n") << "" << "ANSI" << "ANSI"
            << QByteArray("overlong \xC0\xAF\nsurrogate \xED\xA0\x80\n");
        QTest::newRow("a mark before bytes that are not UTF-8 stays as bytes")
            << QByteArray("\xEF\xBB\xBF" "caf\xE9\n") << "" << "ANSI" << "ANSI"
            << QByteArray("\xEF\xBB\xBF" "caf\xE9\n");
        QTest::newRow("ANSI/ASCII") << QByteArray("plain\r\n\r\nend") << "" << "ANSI/ASCII" << "ANSI/ASCII"
                                    << QByteArray("plain\r\n\r\nend");
        QTest::newRow("ANSI/ASCII edited with ASCII stays ANSI/ASCII")
            << QByteArray("plain\nend\n") << "more" << "ANSI/ASCII" << "ANSI/ASCII" << QByteArray("more\nend\n");
        QTest::newRow("ANSI/ASCII that now holds more is UTF-8")
            << QByteArray("plain\nend\n") << "\u00E9t\u00E9" << "ANSI/ASCII" << "UTF-8"
            << QByteArray("\xC3\xA9t\xC3\xA9\nend\n");
        QTest::newRow("mixed breaks: the most frequent one")
            << QByteArray("a\r\nb\r\nc\nd\re") << "" << "ANSI/ASCII" << "ANSI/ASCII"
            << QByteArray("a\r\nb\r\nc\r\nd\r\ne");
        QTest::newRow("no break at all") << QByteArray("single") << "" << "ANSI/ASCII" << "ANSI/ASCII"
                                         << QByteArray("single");
        QTest::newRow("the only line edited, still no break after it")
            << QByteArray("single") << "\u00E9" << "ANSI/ASCII" << "UTF-8" << QByteArray("\xC3\xA9");
        QTest::newRow("CR LF, last line edited, final break kept")
            << QByteArray("one\r\n") << "two" << "ANSI/ASCII" << "ANSI/ASCII" << QByteArray("two\r\n");
        QTest::newRow("one empty line") << QByteArray("\n") << "" << "ANSI/ASCII" << "ANSI/ASCII"
                                        << QByteArray("\n");
        QTest::newRow("empty file") << QByteArray() << "" << "ANSI" << "ANSI" << QByteArray();
    }

    void encodings()
    {
        QFETCH(QByteArray, Input);
        QFETCH(QString, Typed);
        QFETCH(QString, EncName);
        QFETCH(QString, SavedAs);
        QFETCH(QByteArray, Saved);
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareBytes(Input, Input);
        QCOMPARE(D.Window->FLeftEncName, EncName);
        QCOMPARE(D.Window->FRightEncName, EncName);
        if (!Typed.isEmpty()) {
            Edit(D, 1, 1, Typed);
            Edit(D, 2, 1, Typed);
            QVERIFY(D.Window->UnsavedChanges);
        }
        const QString LeftOut = D.PathOf(QStringLiteral("left-out.txt"));
        const QString RightOut = D.PathOf(QStringLiteral("right-out.txt"));
        D.Platform.SaveFileAnswers = {LeftOut, RightOut};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(ReadAll(LeftOut), Saved);
        QCOMPARE(D.Status(), QStringLiteral("Left file saved as %1.").arg(SavedAs));
        QCOMPARE(D.Window->UnsavedChanges, !Typed.isEmpty());   // the right side's edit is not saved yet
        D.Click("btnSaveRight");
        QCOMPARE(ReadAll(RightOut), Saved);
        QCOMPARE(D.Status(), QStringLiteral("Right file saved as %1.").arg(SavedAs));
        QVERIFY(!D.Window->UnsavedChanges);
        QCOMPARE(D.Platform.Log(), QStringList());

        // The saved file reads back as the same text in the encoding the side now has.
        QStringList Lines;
        TTextEncoding Encoding;
        bool HasBOM = false;
        QString Name;
        LoadTextFile(LeftOut, Lines, Encoding, HasBOM, Name);
        QCOMPARE(Lines, D.Window->FLeftLines);
        QCOMPARE(Encoding, D.Window->FLeftEncoding);
        QCOMPARE(HasBOM, D.Window->FLeftHasBOM);
        QCOMPARE(D.Window->FLeftEncName, SavedAs);
    }

    // A merge carries lines, not line breaks: each side is written with its own breaks, and
    // its last line ends with a break only if its file's did.
    void eachSideKeepsItsOwnLineBreaks_data()
    {
        QTest::addColumn<QByteArray>("Left");
        QTest::addColumn<QByteArray>("Right");
        QTest::addColumn<QString>("Copy");   // the copy-all button
        QTest::addColumn<QByteArray>("SavedLeft");
        QTest::addColumn<QByteArray>("SavedRight");
        QTest::newRow("LF lines into CR LF") << QByteArray("a\nb\n") << QByteArray("a\r\nx\r\n")
                                             << "btnAllLeftDiffsToRight" << QByteArray("a\nb\n")
                                             << QByteArray("a\r\nb\r\n");
        QTest::newRow("last line replaced where the file had no final break")
            << QByteArray("a\nb\n") << QByteArray("a\r\nx") << "btnAllLeftDiffsToRight"
            << QByteArray("a\nb\n") << QByteArray("a\r\nb");
        QTest::newRow("last line from a file without a final break")
            << QByteArray("a\nb") << QByteArray("a\r\nx\r\n") << "btnAllLeftDiffsToRight"
            << QByteArray("a\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("lines added after a last line without a break")
            << QByteArray("a") << QByteArray("a\rb\rc\r") << "btnAllRightDiffsToLeft"
            << QByteArray("a\nb\nc") << QByteArray("a\rb\rc\r");   // a file without breaks takes LF
        QTest::newRow("lines removed up to a last line without a break")
            << QByteArray("a\r\nb\r\nc") << QByteArray("a") << "btnAllRightDiffsToLeft"
            << QByteArray("a") << QByteArray("a");
        QTest::newRow("an empty file takes breaks after every line")
            << QByteArray() << QByteArray("a\nb") << "btnAllRightDiffsToLeft"
            << QByteArray("a\nb\n") << QByteArray("a\nb");
        // An empty last line keeps its break even so, or the file would read back without it.
        QTest::newRow("an empty last line into a file without a final break")
            << QByteArray("a\n\n") << QByteArray("a") << "btnAllLeftDiffsToRight"
            << QByteArray("a\n\n") << QByteArray("a\n\n");
    }

    void eachSideKeepsItsOwnLineBreaks()
    {
        QFETCH(QByteArray, Left);
        QFETCH(QByteArray, Right);
        QFETCH(QString, Copy);
        QFETCH(QByteArray, SavedLeft);
        QFETCH(QByteArray, SavedRight);
        TWindowDriver D;
        D.CompareBytes(Left, Right);
        D.Click(qPrintable(Copy));
        QVERIFY(D.WaitForRecompute());
        QVERIFY(D.Window->UnsavedChanges);
        const QString LeftOut = D.PathOf(QStringLiteral("left-out.txt"));
        const QString RightOut = D.PathOf(QStringLiteral("right-out.txt"));
        D.Platform.SaveFileAnswers = {LeftOut, RightOut};
        D.Click("btnSaveLeft");
        D.Click("btnSaveRight");
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(ReadAll(LeftOut), SavedLeft);
        QCOMPARE(ReadAll(RightOut), SavedRight);
    }

    // A side whose every line was removed is written as an empty file (its mark alone, where it
    // has one); undoing brings the lines back as the file had them, final break or not.
    void removingEveryLineWritesNoText_data()
    {
        QTest::addColumn<QByteArray>("Right");
        QTest::addColumn<QByteArray>("Emptied");
        QTest::newRow("CR LF, no final break") << QByteArray("x\r\ny") << QByteArray();
        QTest::newRow("LF, final break") << QByteArray("x\ny\n") << QByteArray();
        QTest::newRow("UTF-8 with a mark, no final break")
            << QByteArray("\xEF\xBB\xBF" "x\ny") << QByteArray("\xEF\xBB\xBF");
    }

    void removingEveryLineWritesNoText()
    {
        QFETCH(QByteArray, Right);
        QFETCH(QByteArray, Emptied);
        TWindowDriver D;
        D.CompareBytes(QByteArray(), Right);
        D.Click("btnAllLeftDiffsToRight");
        QVERIFY(D.WaitForRecompute());
        QVERIFY(D.Window->FRightLines.isEmpty());
        const QString Out = D.PathOf(QStringLiteral("right-out.txt"));
        D.Platform.SaveFileAnswers = {Out, Out};
        D.Click("btnSaveRight");
        QCOMPARE(ReadAll(Out), Emptied);
        D.Click("btnUndo");
        QVERIFY(D.WaitForRecompute());
        D.Click("btnSaveRight");
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(ReadAll(Out), Right);
    }

    // The dialog proposes the file the side holds, whatever has been typed into the path box
    // since: a path never compared names a file this text did not come from. After Save As, the
    // saved file is the side's own.
    void theDialogProposesTheSidesOwnFile()
    {
        TWindowDriver D;
        D.CompareBytes("a\r\n", "b\r\n");
        QDir(D.Files.path()).mkpath(QStringLiteral("sub dir"));
        auto* Left = D.Find<QComboBox>("cmbLeft");
        auto* Right = D.Find<QComboBox>("cmbRight");
        const QString Unrelated = D.WriteBytes(QStringLiteral("sub dir/unrelated.txt"), "someone else's\n");
        Left->setEditText(Unrelated);
        Right->setEditText(QStringLiteral("bare name.txt"));
        D.Window->UnsavedChanges = true;
        D.Click("btnSaveLeft");   // cancelled
        D.Click("btnSaveRight");  // cancelled
        QCOMPARE(D.Platform.SaveFileStartDirs, (QStringList{D.Files.path(), D.Files.path()}));
        QCOMPARE(D.Platform.SaveFileSuggestions, (QStringList{"left.txt", "right.txt"}));
        // Cancelling changes nothing.
        QVERIFY(D.Window->UnsavedChanges);
        QVERIFY(D.Platform.Messages.isEmpty());
        QCOMPARE(ReadAll(Unrelated), QByteArray("someone else's\n"));

        // Save As: the next save proposes the saved file, and the boxes keep what they show.
        const QString Target = D.PathOf(QStringLiteral("sub dir/elsewhere.txt"));
        D.Platform.SaveFileAnswers = {Target};
        D.Click("btnSaveLeft");
        QCOMPARE(ReadAll(Target), QByteArray("a\r\n"));
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.SaveFileStartDirs.last(), D.PathOf(QStringLiteral("sub dir")));
        QCOMPARE(D.Platform.SaveFileSuggestions.last(), QStringLiteral("elsewhere.txt"));
        QCOMPARE(Left->currentText(), Unrelated);
        QCOMPARE(D.Platform.Log(), QStringList());
    }

    // Another program wrote the side's file after it was loaded: saving over it asks first,
    // Cancel by default; a file touched or replaced with the same bytes, or removed, loses
    // nothing and is not asked about.
    void aFileChangedOnDiskIsAskedAbout_data()
    {
        QTest::addColumn<QString>("Script");    // run by sh with the left file as $1
        QTest::addColumn<QList<bool>>("Answers");
        QTest::addColumn<bool>("Asked");
        QTest::addColumn<QByteArray>("After");   // the left file after the save
        const QByteArray Appended("a\r\nb\r\nappended by a logger\n");
        QTest::newRow("appended, Cancel") << "printf 'appended by a logger\\n' >> \"$1\"" << QList<bool>{false} << true
                                          << Appended;
        QTest::newRow("appended, no answer: Cancel is the default")
            << "printf 'appended by a logger\\n' >> \"$1\"" << QList<bool>{} << true << Appended;
        QTest::newRow("appended, Overwrite") << "printf 'appended by a logger\\n' >> \"$1\"" << QList<bool>{true}
                                             << true << QByteArray("x\r\nb\r\n");
        QTest::newRow("replaced with other bytes by an editor")
            << "printf 'edited\\n' > \"$1.new\" && mv \"$1.new\" \"$1\"" << QList<bool>{false} << true
            << QByteArray("edited\n");
        QTest::newRow("touched") << "touch -d '2001-02-03' \"$1\"" << QList<bool>{} << false << QByteArray("x\r\nb\r\n");
        QTest::newRow("replaced with the same bytes") << "cp \"$1\" \"$1.new\" && mv \"$1.new\" \"$1\""
                                                      << QList<bool>{} << false << QByteArray("x\r\nb\r\n");
        QTest::newRow("removed") << "rm \"$1\"" << QList<bool>{} << false << QByteArray("x\r\nb\r\n");
    }

    void aFileChangedOnDiskIsAskedAbout()
    {
        QFETCH(QString, Script);
        QFETCH(QList<bool>, Answers);
        QFETCH(bool, Asked);
        QFETCH(QByteArray, After);
        TWindowDriver D;
        D.CompareBytes("a\r\nb\r\n", "x\r\nb\r\n");
        D.Window->grdDiff->SetRow(1);
        D.Click("btnRightToLeft");
        QVERIFY(D.WaitForRecompute());
        const QString LeftFile = D.PathOf(QStringLiteral("left.txt"));
        QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), Script, QStringLiteral("sh"), LeftFile}), 0);
        const QString Status = D.Status();

        D.Platform.SaveFileAnswers = {LeftFile};
        D.Platform.ConfirmAnswers = Answers;
        D.Click("btnSaveLeft");
        const bool Saved = !Asked || (!Answers.isEmpty() && Answers.first());
        QCOMPARE(D.Platform.Log(),
                 Asked ? QStringList{"risky confirmation: left.txt has changed on disk since it was loaded. Overwrite it "
                                     "and lose those changes? [Overwrite]"}
                       : QStringList());
        QCOMPARE(ReadAll(LeftFile), After);
        QCOMPARE(D.Window->UnsavedChanges, !Saved);
        QCOMPARE(D.Status(), Saved ? QStringLiteral("Left file saved as ANSI/ASCII.") : Status);
        QCOMPARE(D.Window->FLeftLines, (QStringList{"x", "b"}));   // never reloaded
        QStringList Expected{"left.txt", "right.txt"};
        QCOMPARE(QDir(D.Files.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), Expected);
        if (!Saved)
            return;
        // What was written is the side's file now: saving again asks nothing.
        D.Platform.Clear();
        D.Platform.SaveFileAnswers = {LeftFile};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Log(), QStringList());
    }

    // A program that writes the file while the save is under way (here: at its last moment,
    // with the new content written beside the file) keeps what it wrote; the save ends with an
    // error box and the side keeps its unsaved changes.
    void aFileChangedDuringTheSaveIsLeftAsItIs()
    {
        TWindowDriver D;
        D.CompareBytes("a\r\nb\r\n", "x\r\nb\r\n");
        D.Window->grdDiff->SetRow(1);
        D.Click("btnRightToLeft");
        QVERIFY(D.WaitForRecompute());
        const QString LeftFile = D.PathOf(QStringLiteral("left.txt"));
        // A logger that keeps the file open and writes a line when told to.
        QProcess Appender;
        Appender.start(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"), QStringLiteral("exec 3>>\"$1\"; read go; printf 'late line\\n' >&3; echo done; read end"),
                        QStringLiteral("sh"), LeftFile});
        QVERIFY(Appender.waitForStarted());
        static QProcess* Held = nullptr;
        Held = &Appender;
        HoldSaveBeforeReplacing = [](const QString&) {
            Held->write("go\n");
            Held->waitForReadyRead(10000);
        };
        const auto Release = qScopeGuard([&] {
            HoldSaveBeforeReplacing = nullptr;
            Appender.write("end\n");
            Appender.waitForFinished();
        });
        const QString Status = D.Status();
        D.Platform.SaveFileAnswers = {LeftFile};
        D.Click("btnSaveLeft");
        QCOMPARE(Appender.readAll(), QByteArray("done\n"));
        QCOMPARE(D.Platform.Log(),
                 QStringList{QStringLiteral("error: Cannot write file \"%1\". It changed on disk while it was being saved, "
                                            "so it was left as it is. Compare again to see what changed.")
                                 .arg(LeftFile)});
        QCOMPARE(ReadAll(LeftFile), QByteArray("a\r\nb\r\nlate line\n"));
        QCOMPARE(QDir(D.Files.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"left.txt", "right.txt"}));
        QVERIFY(D.Window->UnsavedChanges);
        QCOMPARE(D.Status(), Status);
    }

    // Coming back to the window after another program wrote a compared file: the status line
    // says so, and nothing is reloaded.
    void returningToTheWindowReportsChangedFiles_data()
    {
        QTest::addColumn<QStringList>("Changed");   // the files another program appends to
        QTest::addColumn<QString>("Status");        // empty: the status line stays
        QTest::newRow("neither") << QStringList() << QString();
        QTest::newRow("left") << QStringList{"left.txt"} << "The left file has changed on disk. Compare again to reload it.";
        QTest::newRow("right") << QStringList{"right.txt"} << "The right file has changed on disk. Compare again to reload it.";
        QTest::newRow("both") << QStringList{"left.txt", "right.txt"}
                              << "The left and right files have changed on disk. Compare again to reload them.";
    }

    void returningToTheWindowReportsChangedFiles()
    {
        QFETCH(QStringList, Changed);
        QFETCH(QString, Status);
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareBytes("a\r\nb\r\n", "a\r\nc\r\n");
        D.Window->grdDiff->SetRow(2);
        D.Click("btnLeftToRight");
        QVERIFY(D.WaitForRecompute());
        const QString Before = D.Status();

        QWidget Elsewhere;   // the user works in another window meanwhile
        Elsewhere.show();
        Elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Elsewhere));
        for (const QString& Name : Changed)
            QCOMPARE(QProcess::execute(QStringLiteral("/bin/sh"),
                                       {QStringLiteral("-c"), QStringLiteral("echo more >> \"$1\""), QStringLiteral("sh"),
                                        D.PathOf(Name)}),
                     0);
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        QCOMPARE(D.Status(), Status.isEmpty() ? Before : Status);
        QCOMPARE(D.Window->FLeftLines, (QStringList{"a", "b"}));
        QCOMPARE(D.Window->FRightLines, (QStringList{"a", "b"}));
        QVERIFY(D.Window->UnsavedChanges);
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    // A side read as ANSI (Windows-1252) that receives characters the code page lacks is not
    // written with "?" for them: the save asks to write UTF-8 instead, Cancel by default.
    void charactersAnsiCannotHoldAreAsked_data()
    {
        QTest::addColumn<QByteArray>("Right");
        QTest::addColumn<QList<bool>>("Answers");
        QTest::addColumn<QString>("Question");
        QTest::addColumn<QByteArray>("Saved");    // the left file afterwards
        QTest::addColumn<QString>("EncName");     // the side's afterwards
        const QByteArray Ansi("caf\xE9\r\nold\r\n");
        const QString Cyrillic = QStringLiteral("risky confirmation: left.txt holds characters that ANSI (Windows-1252) "
                                                "cannot store, for example \"\u0416\" in line 2. Save it as UTF-8 instead? "
                                                "[Save as UTF-8]");
        QTest::newRow("Cancel") << QByteArray("caf\xC3\xA9\r\n\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C \xF0\x9F\x98\x80\r\n")
                                << QList<bool>{false} << Cyrillic << Ansi << "ANSI";
        QTest::newRow("no answer: Cancel is the default")
            << QByteArray("caf\xC3\xA9\r\n\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C \xF0\x9F\x98\x80\r\n") << QList<bool>{}
            << Cyrillic << Ansi << "ANSI";
        QTest::newRow("Save as UTF-8")
            << QByteArray("caf\xC3\xA9\r\n\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C \xF0\x9F\x98\x80\r\n") << QList<bool>{true}
            << Cyrillic << QByteArray("caf\xC3\xA9\r\n\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C \xF0\x9F\x98\x80\r\n")
            << "UTF-8";
        QTest::newRow("an emoji is named whole")
            << QByteArray("caf\xC3\xA9\r\nok \xF0\x9F\x98\x80\r\n") << QList<bool>{true}
            << QStringLiteral("risky confirmation: left.txt holds characters that ANSI (Windows-1252) cannot store, for "
                              "example \"\U0001F600\" in line 2. Save it as UTF-8 instead? [Save as UTF-8]")
            << QByteArray("caf\xC3\xA9\r\nok \xF0\x9F\x98\x80\r\n") << "UTF-8";
        QTest::newRow("what the code page holds is not asked about")
            << QByteArray("caf\xC3\xA9\r\n\xE2\x82\xAC \xC3\xBF ?\r\n") << QList<bool>{} << QString()
            << QByteArray("caf\xE9\r\n\x80 \xFF ?\r\n") << "ANSI";
    }

    void charactersAnsiCannotHoldAreAsked()
    {
        QFETCH(QByteArray, Right);
        QFETCH(QList<bool>, Answers);
        QFETCH(QString, Question);
        QFETCH(QByteArray, Saved);
        QFETCH(QString, EncName);
        TWindowDriver D;
        D.CompareBytes("caf\xE9\r\nold\r\n", Right);
        QCOMPARE(D.Window->FLeftEncName, QStringLiteral("ANSI"));
        D.Window->grdDiff->SetRow(2);
        D.Click("btnRightToLeft");   // the merge brings the line into the Windows-1252 side
        QVERIFY(D.WaitForRecompute());
        const QString Status = D.Status();
        const QString LeftFile = D.PathOf(QStringLiteral("left.txt"));
        D.Platform.SaveFileAnswers = {LeftFile};
        D.Platform.ConfirmAnswers = Answers;
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Log(), Question.isEmpty() ? QStringList() : QStringList{Question});
        QCOMPARE(ReadAll(LeftFile), Saved);
        QCOMPARE(D.Window->FLeftEncName, EncName);
        const bool Written = Question.isEmpty() || (!Answers.isEmpty() && Answers.first());
        QCOMPARE(D.Status(), Written ? QStringLiteral("Left file saved as %1.").arg(EncName) : Status);
        QCOMPARE(D.Window->UnsavedChanges, !Written);
        if (!Written)
            return;
        // The file reads back as what the side holds, in the encoding the side now has.
        TSideState Read;
        LoadTextFile(LeftFile, Read);
        QCOMPARE(Read.Lines, D.Window->FLeftLines);
        QCOMPARE(Read.EncName, EncName);
    }

    // A file nobody may write by its mode bits is asked about before it is replaced, whoever
    // saves it (root included); a file some write bit allows is not.
    void aReadOnlyFileIsAsked_data()
    {
        QTest::addColumn<int>("Mode");
        QTest::addColumn<bool>("Foreign");   // owned by nobody:nogroup (needs root)
        QTest::addColumn<QList<bool>>("Answers");
        QTest::addColumn<bool>("Asked");
        QTest::newRow("0444, Cancel") << 0444 << false << QList<bool>{false} << true;
        QTest::newRow("0444, no answer") << 0444 << false << QList<bool>{} << true;
        QTest::newRow("0444, Overwrite") << 0444 << false << QList<bool>{true} << true;
        QTest::newRow("0400 of nobody, Overwrite") << 0400 << true << QList<bool>{true} << true;
        QTest::newRow("0644 of nobody") << 0644 << true << QList<bool>{} << false;
        QTest::newRow("0644") << 0644 << false << QList<bool>{} << false;
    }

    void aReadOnlyFileIsAsked()
    {
        QFETCH(int, Mode);
        QFETCH(bool, Foreign);
        QFETCH(QList<bool>, Answers);
        QFETCH(bool, Asked);
        if (Foreign && ::geteuid() != 0)
            QSKIP("only root can give a file to nobody");
        TWindowDriver D;
        D.CompareBytes("new\n", "x\n");
        const QString Target = D.WriteBytes(QStringLiteral("target.txt"), "old content\n");
        const QByteArray Native = QFile::encodeName(Target);
        if (Foreign)
            QCOMPARE(::chown(Native.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(Native.constData(), mode_t(Mode)), 0);
        D.Window->grdDiff->SetRow(1);
        D.Click("btnRightToLeft");
        QVERIFY(D.WaitForRecompute());

        D.Platform.SaveFileAnswers = {Target};
        D.Platform.ConfirmAnswers = Answers;
        D.Click("btnSaveLeft");
        const bool Saved = !Asked || (!Answers.isEmpty() && Answers.first());
        QCOMPARE(D.Platform.Log(), Asked ? QStringList{"risky confirmation: target.txt is read-only. Overwrite it anyway? [Overwrite]"}
                                         : QStringList());
        QCOMPARE(ReadAll(Target), Saved ? QByteArray("x\n") : QByteArray("old content\n"));
        QCOMPARE(D.Window->UnsavedChanges, !Saved);
        struct stat After {};
        QCOMPARE(::stat(Native.constData(), &After), 0);
        QCOMPARE(int(After.st_mode & 07777), Mode);   // still read-only once written
    }

    // While a side holds unsaved changes its path box shows a dot and "(modified)" in its
    // tooltip; saving the side, a new comparison or a folder comparison takes it away.
    void theUnsavedMarkerFollowsTheSide()
    {
        TWindowDriver D;
        D.CompareBytes("a\r\nb\r\n", "a\r\nc\r\n");
        auto* Left = D.Find<QComboBox>("cmbLeft");
        auto* Right = D.Find<QComboBox>("cmbRight");
        const auto Marked = [](QComboBox* Box) {
            const QAction* Marker = UnsavedMarkerOf(*Box);
            return Marker && Marker->isVisible();
        };
        const QString LeftFile = QDir::toNativeSeparators(D.PathOf(QStringLiteral("left.txt")));
        const QString RightFile = QDir::toNativeSeparators(D.PathOf(QStringLiteral("right.txt")));
        QVERIFY(!Marked(Left) && !Marked(Right));
        QCOMPARE(Left->toolTip(), LeftFile);

        D.Window->grdDiff->SetRow(2);
        D.Click("btnLeftToRight");
        QVERIFY(D.WaitForRecompute());
        QVERIFY(!Marked(Left) && Marked(Right));
        QCOMPARE(Right->toolTip(), RightFile + QStringLiteral(" (modified)"));
        QCOMPARE(Left->toolTip(), LeftFile);

        Edit(D, 1, 1, QStringLiteral("typed"));
        QVERIFY(Marked(Left) && Marked(Right));

        const QString Out = D.PathOf(QStringLiteral("out.txt"));
        D.Platform.SaveFileAnswers = {Out};
        D.Click("btnSaveRight");
        QVERIFY(Marked(Left) && !Marked(Right));
        QCOMPARE(Right->toolTip(), QDir::toNativeSeparators(Out));   // the side's file now

        D.Click("btnUndo");   // the edit, then the right side's merge come undone: a change again
        QVERIFY(D.WaitForRecompute());
        D.Click("btnUndo");
        QVERIFY(D.WaitForRecompute());
        QCOMPARE(D.Window->FRightLines, (QStringList{"a", "c"}));
        QVERIFY(Marked(Right));

        QDir(D.Files.path()).mkpath(QStringLiteral("L"));
        QDir(D.Files.path()).mkpath(QStringLiteral("R"));
        D.SetPaths(D.PathOf(QStringLiteral("L")), D.PathOf(QStringLiteral("R")));
        D.Platform.ConfirmAnswers = {true};
        D.Trigger("miAsFolders1");
        QVERIFY(D.Window->FFolderMode);
        QVERIFY(!Marked(Left) && !Marked(Right));
    }
    void folderModeShowsABox()
    {
        TWindowDriver D;
        QDir(D.Files.path()).mkpath(QStringLiteral("L"));
        QDir(D.Files.path()).mkpath(QStringLiteral("R"));
        D.WriteBytes(QStringLiteral("L/a.txt"), "x");
        D.SetPaths(D.PathOf(QStringLiteral("L")), D.PathOf(QStringLiteral("R")));
        D.Trigger("miAsFolders1");
        D.Platform.Clear();
        QVERIFY(D.Window->FFolderMode);
        const QString Before = D.Status();
        D.Window->btnSaveLeftClick();   // the buttons are off in folder mode; the command still refuses
        D.Window->btnSaveRightClick();
        QCOMPARE(D.Platform.Log(), (QStringList{"information: Save is not available in folder comparison mode.",
                                                "information: Save is not available in folder comparison mode."}));
        QVERIFY(D.Platform.SaveFileStartDirs.isEmpty());
        QCOMPARE(D.Status(), Before);
    }

    void aPathThatCannotBeWrittenGivesAnErrorBox()
    {
        TWindowDriver D;
        D.CompareBytes("a\r\n", "b\r\n");
        Edit(D, 1, 1, QStringLiteral("changed"));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        const QString Status = D.Status();
        const QString Below = D.PathOf(QStringLiteral("left.txt/cannot.txt"));   // below a regular file
        D.Platform.SaveFileAnswers = {Below};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("error"));
        QVERIFY2(D.Platform.Messages[0].Text.contains(QStringLiteral("cannot.txt")), qPrintable(D.Platform.Messages[0].Text));
        QCOMPARE(D.Status(), Status);
        QVERIFY(D.Window->UnsavedChanges);   // nothing was saved: the next comparison still asks
        QCOMPARE(ReadAll(D.PathOf(QStringLiteral("left.txt"))), QByteArray("a\r\n"));
    }

    void aFailedSaveLeavesTheExistingFileAsItWas()
    {
        TWindowDriver D;
        QStringList Many;
        for (int I = 0; I < 2000; ++I)
            Many.append(QStringLiteral("line %1 of a text too long for the limit").arg(I));
        D.SetPaths(D.WriteLines(QStringLiteral("left.txt"), Many), D.WriteLines(QStringLiteral("right.txt"), {"x"}));
        D.Trigger("miAsTextFiles1");
        D.Platform.Clear();
        const QString Target = D.WriteBytes(QStringLiteral("precious.txt"), "precious contents\r\n");
        D.Window->UnsavedChanges = true;
        D.Platform.SaveFileAnswers = {Target};
        {
            TFileSizeLimit Limit(4096);
            QVERIFY(Limit.Active());
            D.Click("btnSaveLeft");
        }
        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("error"));
        QCOMPARE(ReadAll(Target), QByteArray("precious contents\r\n"));
        QCOMPARE(QDir(D.Files.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"left.txt", "precious.txt", "right.txt"}));   // no temporary file left behind
        QVERIFY(D.Window->UnsavedChanges);
    }

    // Each side has its own flag: saving the side without changes keeps the other's pending.
    void savingOneSideKeepsTheOtherSidesChanges_data()
    {
        QTest::addColumn<QString>("Merge");        // the button that changes a side
        QTest::addColumn<QString>("SaveFirst");    // the save button pressed first
        QTest::addColumn<bool>("StillUnsaved");    // the flag after that save
        QTest::newRow("right changed, left saved") << "btnLeftToRight" << "btnSaveLeft" << true;
        QTest::newRow("right changed, right saved") << "btnLeftToRight" << "btnSaveRight" << false;
        QTest::newRow("left changed, right saved") << "btnRightToLeft" << "btnSaveRight" << true;
        QTest::newRow("left changed, left saved") << "btnRightToLeft" << "btnSaveLeft" << false;
    }

    void savingOneSideKeepsTheOtherSidesChanges()
    {
        QFETCH(QString, Merge);
        QFETCH(QString, SaveFirst);
        QFETCH(bool, StillUnsaved);
        TWindowDriver D;
        D.CompareBytes("a\r\nb\r\n", "a\r\nx\r\n");
        D.Window->grdDiff->SetRow(2);
        D.Click(qPrintable(Merge));
        QTRY_VERIFY(!D.Window->FDiffRecomputeInProgress);
        QVERIFY(D.Window->UnsavedChanges);
        D.Platform.SaveFileAnswers = {D.PathOf(QStringLiteral("out.txt"))};
        D.Click(qPrintable(SaveFirst));
        QCOMPARE(D.Window->UnsavedChanges, StillUnsaved);
        // Saving touches neither the lines nor the rows.
        QCOMPARE(D.Row(2).at(1), D.Row(2).at(2));

        // While changes remain, the next comparison asks before it discards them.
        D.Platform.Clear();
        D.Platform.ConfirmAnswers = {false};
        D.Trigger("miAsTextFiles1");
        const bool Asked = !D.Platform.Messages.isEmpty() && D.Platform.Messages[0].Kind == QStringLiteral("confirmation");
        QCOMPARE(Asked, StillUnsaved);
        if (StillUnsaved)
            QCOMPARE(D.Row(2).at(1), D.Row(2).at(2));   // Cancel kept the merge
    }

    void whatIsTypedInTheOpenEditorIsSaved()
    {
        TWindowDriver D;
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareBytes("a\r\nb\r\n", "a\r\nx\r\n");
        D.Window->BeginCellEdit(1, 2);
        QTest::keyClicks(D.Find<QPlainTextEdit>("FCellEditor"), QStringLiteral("typed"));
        const QString Out = D.PathOf(QStringLiteral("out.txt"));
        D.Platform.SaveFileAnswers = {Out};
        D.Click("btnSaveLeft");   // a toolbar button takes no focus from the editor
        QCOMPARE(ReadAll(Out), QByteArray("a\r\ntyped\r\n"));
        QVERIFY(!D.Window->UnsavedChanges);
        QCOMPARE(D.Window->FUndoStack.Count(), 1);
    }

    // Saving over a file keeps who owns it and who may read it; a file with several names (hard
    // links) stays one file under all of them. Nothing is left beside it.
    void savingKeepsTheFilesIdentity_data()
    {
        QTest::addColumn<bool>("Foreign");   // owned by nobody:nogroup (needs root)
        QTest::addColumn<int>("Mode");
        QTest::addColumn<bool>("HardLink");
        QTest::newRow("own file, 0604") << false << 0604 << false;
        QTest::newRow("nobody:nogroup, 0640") << true << 0640 << false;
        QTest::newRow("own file with a second name") << false << 0600 << true;
        QTest::newRow("nobody:nogroup with a second name") << true << 0640 << true;
    }

    void savingKeepsTheFilesIdentity()
    {
        QFETCH(bool, Foreign);
        QFETCH(int, Mode);
        QFETCH(bool, HardLink);
        if (Foreign && ::geteuid() != 0)
            QSKIP("only root can give a file to nobody");
        TWindowDriver D;
        D.CompareBytes("new\n", "x\n");
        const QString Target = D.WriteBytes(QStringLiteral("target.txt"), "old content\n");
        const QByteArray Native = QFile::encodeName(Target);
        if (Foreign)
            QCOMPARE(::chown(Native.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(Native.constData(), mode_t(Mode)), 0);
        const QString Other = D.PathOf(QStringLiteral("other name.txt"));
        if (HardLink)
            QCOMPARE(::link(Native.constData(), QFile::encodeName(Other).constData()), 0);
        struct stat Before {};
        QCOMPARE(::stat(Native.constData(), &Before), 0);

        D.Platform.SaveFileAnswers = {Target};
        D.Click("btnSaveLeft");

        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(ReadAll(Target), QByteArray("new\n"));
        struct stat After {};
        QCOMPARE(::stat(Native.constData(), &After), 0);
        QCOMPARE(After.st_uid, Before.st_uid);
        QCOMPARE(After.st_gid, Before.st_gid);
        QCOMPARE(After.st_mode, Before.st_mode);
        if (HardLink) {
            QCOMPARE(After.st_ino, Before.st_ino);
            QCOMPARE(After.st_nlink, Before.st_nlink);
            QCOMPARE(ReadAll(Other), QByteArray("new\n"));
        }
        QStringList Expected{"left.txt", "right.txt", "target.txt"};
        if (HardLink)
            Expected.insert(1, QStringLiteral("other name.txt"));
        QCOMPARE(QDir(D.Files.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), Expected);
    }

    // A save that runs out of room says what the system said, and leaves the old file whole.
    void aFullDiskNamesTheSystemsReason_data()
    {
        QTest::addColumn<bool>("HardLink");
        QTest::addColumn<int>("PreciousSize");
        QTest::addColumn<int>("Lines");   // of about 50 bytes each
        QTest::newRow("replaced through a temporary file") << false << 20000 << 3000;
        QTest::newRow("a second name, no room for the temporary") << true << 20000 << 3000;
        // The temporary fits; taking room for the new content in place does not.
        QTest::newRow("a second name, no room in place") << true << 4000 << 800;
    }

    void aFullDiskNamesTheSystemsReason()
    {
        QFETCH(bool, HardLink);
        QFETCH(int, PreciousSize);
        QFETCH(int, Lines);
        // A small file system of its own, visible to this thread only, gone with the process.
        static const bool Private = ::unshare(CLONE_NEWNS) == 0
                                    && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        QTemporaryDir Small;
        if (!Private || ::mount("tmpfs", QFile::encodeName(Small.path()).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("cannot mount a small file system here");
        const auto Unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(Small.path()).constData(), MNT_DETACH); });
        const QString Target = QDir(Small.path()).filePath(QStringLiteral("precious.txt"));
        const QByteArray Precious(PreciousSize, 'p');
        {
            QFile File(Target);
            QVERIFY(File.open(QIODevice::WriteOnly));
            QCOMPARE(File.write(Precious), Precious.size());
        }
        if (HardLink)
            QCOMPARE(::link(QFile::encodeName(Target).constData(),
                            QFile::encodeName(Target + QStringLiteral(".link")).constData()), 0);

        TWindowDriver D;
        QStringList Many;
        for (int I = 0; I < Lines; ++I)
            Many.append(QStringLiteral("line %1 of a text larger than the file system").arg(I, 4, 10, QLatin1Char('0')));
        D.SetPaths(D.WriteLines(QStringLiteral("left.txt"), Many), D.WriteLines(QStringLiteral("right.txt"), {"x"}));
        D.Trigger("miAsTextFiles1");
        D.Platform.Clear();
        D.Window->grdDiff->SetRow(1);
        D.Click("btnLeftToRight");   // the right side now holds all of it, unsaved
        QVERIFY(D.WaitForRecompute());
        D.Platform.SaveFileAnswers = {Target};
        D.Click("btnSaveRight");

        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("error"));
        QVERIFY2(D.Platform.Messages[0].Text.contains(QStringLiteral("No space left on device")),
                 qPrintable(D.Platform.Messages[0].Text));
        QVERIFY2(D.Platform.Messages[0].Text.contains(Target), qPrintable(D.Platform.Messages[0].Text));
        QCOMPARE(ReadAll(Target), Precious);
        QStringList Expected{"precious.txt"};
        if (HardLink)
            Expected.append(QStringLiteral("precious.txt.link"));
        QCOMPARE(QDir(Small.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), Expected);
        QVERIFY(D.Window->UnsavedChanges);
    }
};

QTEST_MAIN(TestWindowSave)
#include "tst_window_save.moc"
