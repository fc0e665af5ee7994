#include "support/app/WindowDriver.h"
#include "support/core/FileSizeLimit.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
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
        QTest::newRow("ANSI: what the code page lacks becomes ?")
            << QByteArray("caf\xE9\r\n") << "\u03A9\u20AC" << "ANSI" << "ANSI" << QByteArray("?\x80\r\n");
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
            QVERIFY(UnsavedChanges);
        }
        const QString LeftOut = D.PathOf(QStringLiteral("left-out.txt"));
        const QString RightOut = D.PathOf(QStringLiteral("right-out.txt"));
        D.Platform.SaveFileAnswers = {LeftOut, RightOut};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(ReadAll(LeftOut), Saved);
        QCOMPARE(D.Status(), QStringLiteral("Left file saved as %1.").arg(SavedAs));
        QCOMPARE(UnsavedChanges, !Typed.isEmpty());   // the right side's edit is not saved yet
        D.Click("btnSaveRight");
        QCOMPARE(ReadAll(RightOut), Saved);
        QCOMPARE(D.Status(), QStringLiteral("Right file saved as %1.").arg(SavedAs));
        QVERIFY(!UnsavedChanges);
        QCOMPARE(D.Platform.Log(), QStringList());

        // The saved file reads back as the same text in the encoding the side now has (but for
        // what the code page could not hold).
        if (Saved.contains('?'))
            return;
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
        QVERIFY(UnsavedChanges);
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

    void theDialogProposesThePathBoxFolderAndName()
    {
        TWindowDriver D;
        D.CompareBytes("a\r\n", "b\r\n");
        QDir(D.Files.path()).mkpath(QStringLiteral("sub dir"));
        auto* Left = D.Find<QComboBox>("cmbLeft");
        auto* Right = D.Find<QComboBox>("cmbRight");
        Left->setEditText(D.PathOf(QStringLiteral("sub dir/report.final.txt")));
        Right->setEditText(QStringLiteral("bare name.txt"));
        UnsavedChanges = true;
        D.Click("btnSaveLeft");   // cancelled
        D.Click("btnSaveRight");  // cancelled
        QCOMPARE(D.Platform.SaveFileStartDirs, (QStringList{D.PathOf(QStringLiteral("sub dir")), QString()}));
        QCOMPARE(D.Platform.SaveFileSuggestions, (QStringList{"report.final.txt", "bare name.txt"}));
        // Cancelling changes nothing.
        QVERIFY(UnsavedChanges);
        QVERIFY(D.Platform.Messages.isEmpty());
        QVERIFY(!QFile::exists(D.PathOf(QStringLiteral("sub dir/report.final.txt"))));

        // A save changes no path: the next one proposes the same again.
        const QString Target = D.PathOf(QStringLiteral("sub dir/elsewhere.txt"));
        D.Platform.SaveFileAnswers = {Target};
        D.Click("btnSaveLeft");
        QCOMPARE(ReadAll(Target), QByteArray("a\r\n"));
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.SaveFileSuggestions.last(), QStringLiteral("report.final.txt"));
        QCOMPARE(Left->currentText(), D.PathOf(QStringLiteral("sub dir/report.final.txt")));
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
        QVERIFY(UnsavedChanges);   // nothing was saved: the next comparison still asks
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
        UnsavedChanges = true;
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
        QVERIFY(UnsavedChanges);
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
        QVERIFY(UnsavedChanges);
        D.Platform.SaveFileAnswers = {D.PathOf(QStringLiteral("out.txt"))};
        D.Click(qPrintable(SaveFirst));
        QCOMPARE(UnsavedChanges, StillUnsaved);
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
        QVERIFY(!UnsavedChanges);
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
        QVERIFY(UnsavedChanges);
    }
};

QTEST_MAIN(TestWindowSave)
#include "tst_window_save.moc"
