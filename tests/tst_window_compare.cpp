#include "support/app/WindowDriver.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLineEdit>
#include <QMimeData>
#include <QStringEncoder>
#include <QLabel>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// The forced text command and CompareTextFiles, driven through the real window.
class TestWindowCompare : public QObject
{
    Q_OBJECT

    static QString Pct(const char* Text)
    {
        return QString::fromLatin1(Text).replace(QLatin1Char('.'), QLocale().decimalPoint());
    }

    static QByteArray ReadAll(const QString& Path)
    {
        QFile File(Path);
        return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<none>");
    }

    // Everything a refused or failed command must leave as it was.
    struct TSnapshot
    {
        QStringList LeftHistory, RightHistory, LeftLines, RightLines;
        QString Status, LeftEdit, RightEdit;
        TDiffItems Items;
        QList<QStringList> Rows;
        bool Unsaved = false;
        QByteArray Settings;

        static TSnapshot Of(TWindowDriver& D)
        {
            TSnapshot S;
            S.LeftHistory = D.History("cmbLeft");
            S.RightHistory = D.History("cmbRight");
            S.LeftLines = D.Window->FLeftLines;
            S.RightLines = D.Window->FRightLines;
            S.Status = D.Status();
            S.LeftEdit = D.Find<QComboBox>("cmbLeft")->currentText();
            S.RightEdit = D.Find<QComboBox>("cmbRight")->currentText();
            S.Items = D.Window->FDiffItems;
            for (int R = 0; R < D.Window->grdDiff->RowCount(); ++R)
                S.Rows.append(D.Row(R));
            S.Unsaved = D.Window->UnsavedChanges;
            S.Settings = ReadAll(D.SettingsFile());
            return S;
        }

        bool operator==(const TSnapshot&) const = default;
    };

    // A first comparison, so that a refusal has something to leave alone.
    static void CompareOnce(TWindowDriver& D)
    {
        const QString A = D.WriteLines(QStringLiteral("first-a.txt"), {"one", "two"});
        const QString B = D.WriteLines(QStringLiteral("first-b.txt"), {"one", "2"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        D.Platform.Clear();
    }

private slots:
    void identicalFiles()
    {
        TWindowDriver D;
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"alpha", "beta", "gamma"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"alpha", "beta", "gamma"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");

        const QString Prefix = QStringLiteral("3 lines (left file) vs 3 lines (right file).");
        QCOMPARE(D.Platform.Log(), (QStringList{
            "information: The files are identical.",
            "information: Compared:\r\n" + Prefix + "\r\n" + Pct("Equal lines: 3 of 3 (100.0%).") + "\r\nDifferent lines: 0."}));
        QCOMPARE(D.Status(), Prefix + Pct(" Equal lines: 3 of 3 (100.0%). Different lines: 0."));
        QCOMPARE(D.Window->grdDiff->RowCount(), 4);
        QCOMPARE(D.Row(2), (QStringList{"2", "beta", "beta"}));
        QVERIFY(!D.Window->HasDifferences());
    }

    void differingFiles()
    {
        TWindowDriver D;
        const QString A = D.WriteBytes(QStringLiteral("a.txt"), QByteArray("a\nb\rc"));
        QStringEncoder Utf16LE(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        const QString B = D.WriteBytes(QStringLiteral("b.txt"), Utf16LE(QString::fromUtf8("a\r\nx\r\nc\r\nd caf\xC3\xA9")));
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");

        const QString Prefix = QStringLiteral("3 lines (left file) vs 4 lines (right file).");
        QCOMPARE(D.Platform.Log(), (QStringList{
            "information: Compared:\r\n" + Prefix + "\r\n" + Pct("Equal lines: 2 of 4 (50.0%).") + "\r\nDifferent lines: 2."}));
        QCOMPARE(D.Status(), Prefix + Pct(" Equal lines: 2 of 4 (50.0%). Different lines: 2."));

        TDiffGrid* Grid = D.Window->grdDiff;
        QCOMPARE(Grid->RowCount(), 5);
        QCOMPARE(D.Row(0), (QStringList{"", "", ""}));
        // A byte-order mark is the side's encoding, not part of its first line.
        QCOMPARE(D.Row(1), (QStringList{"1", "a", "a"}));
        QCOMPARE(D.Row(2), (QStringList{"2", "b", "x"}));
        QCOMPARE(D.Row(3), (QStringList{"3", "c", "c"}));
        QCOMPARE(D.Row(4), (QStringList{"4", "", QString::fromUtf8("d caf\xC3\xA9")}));
        QCOMPARE(D.Window->FDiffItems[1].Kind, dkDifferent);
        QCOMPARE(D.Window->FDiffItems[3].Kind, dkRightOnly);
        QCOMPARE(D.Window->FRightEncName, QStringLiteral("UTF-16 LE with BOM"));
        QCOMPARE(D.Window->FLeftEncName, QStringLiteral("ANSI/ASCII"));
        QVERIFY(D.Window->FRightHasBOM);

        // The grid takes the area; every button works from now on.
        QVERIFY(D.Find<QFrame>("Panel2")->isHidden());
        QTRY_VERIFY(Grid->height() > 100);
        for (const char* Name : {"btnPrevDiff", "btnDiffNext", "btnFirstDiff", "btnLastDiff", "btnLeftToRight",
                                 "btnRightToLeft", "btnAllLeftDiffsToRight", "btnAllRightDiffsToLeft", "btnUndo",
                                 "btnSaveLeft", "btnSaveRight", "btnCompare", "SpeedButton1", "btnSettings", "btnInfo"})
            QVERIFY2(D.Find<QToolButton>(Name)->isEnabled(), Name);
        QCOMPARE(Grid->Row(), 1);
        QCOMPARE(Grid->TopRow(), 1);
        QVERIFY(!D.Window->FFolderMode);
        QCOMPARE(D.History("cmbLeft"), QStringList{A});
        QCOMPARE(D.History("cmbRight"), QStringList{B});
    }

    void aNewComparisonReplacesTheWorkspace()
    {
        TWindowDriver D;
        CompareOnce(D);
        TfrmMain& W = *D.Window;
        W.FUndoStack.Push(TUndoState{{"x"}, {"y"}, 1, 1, 1});
        D.Window->UnsavedChanges = true;
        W.FFolderMode = true;
        D.Platform.ConfirmAnswers = {true};
        const QString A = D.WriteLines(QStringLiteral("c.txt"), {"only left"});
        const QString B = D.WriteLines(QStringLiteral("d.txt"), {});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");

        QCOMPARE(D.Platform.Messages.first().Kind, QStringLiteral("confirmation"));
        QCOMPARE(D.Platform.Messages.first().Text,
                 QStringLiteral("Load and compare the specified files?\r\nCurrent changes will be lost."));
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(W.FUndoStack.IsEmpty());
        QVERIFY(!W.FFolderMode);
        QCOMPARE(W.FLeftLines, QStringList{"only left"});
        QVERIFY(W.FRightLines.isEmpty());
        QCOMPARE(W.grdDiff->RowCount(), 2);
        QCOMPARE(D.Row(1), (QStringList{"1", "only left", ""}));
    }

    void twoEmptyFiles()
    {
        TWindowDriver D;
        CompareOnce(D);
        const QString A = D.WriteBytes(QStringLiteral("e1.txt"), {});
        const QString B = D.WriteBytes(QStringLiteral("e2.txt"), {});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        // No rows of the previous comparison may stay beside the emptied lists.
        QCOMPARE(D.Platform.Log(), QStringList{"information: The files are identical."});
        QCOMPARE(D.Status(), QStringLiteral("0 lines (left file) vs 0 lines (right file). No comparable lines."));
        QVERIFY(D.Window->FDiffItems.isEmpty());
        QCOMPARE(D.Window->grdDiff->RowCount(), 2);
        QCOMPARE(D.Row(1), (QStringList{"", "", ""}));
    }

    void refusals_data()
    {
        TWindowDriver::AddRefusalColumns();
        const QString Both = QStringLiteral("error: Both paths must be existing files for files comparison.");
        const QString Select = QStringLiteral("warning: Please select both left and right files.");
        QTest::newRow("unsaved, answered Cancel") << true << "a.txt" << "b.txt"
            << QStringList{"confirmation: Load and compare the specified files?\r\nCurrent changes will be lost."};
        QTest::newRow("left empty") << false << "" << "b.txt" << QStringList{Select};
        QTest::newRow("right only blanks") << false << "a.txt" << " \t " << QStringList{Select};
        QTest::newRow("left is a folder") << false << "<dir>" << "b.txt" << QStringList{Both};
        QTest::newRow("right is missing") << false << "a.txt" << "missing.txt" << QStringList{Both};
        QTest::newRow("left is missing") << false << "missing.txt" << "b.txt" << QStringList{Both};
    }

    void refusals()
    {
        QFETCH(bool, Unsaved);
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QStringList, Log);
        TWindowDriver D;
        CompareOnce(D);
        D.WriteLines(QStringLiteral("a.txt"), {"new left"});
        D.WriteLines(QStringLiteral("b.txt"), {"new right"});
        D.SetUpRefusal(Unsaved, Left, Right);
        const TSnapshot Before = TSnapshot::Of(D);

        D.Trigger("miAsTextFiles1");

        QCOMPARE(D.Platform.Log(), Log);
        QVERIFY(TSnapshot::Of(D) == Before);
    }

    void compareTextFilesChecksItsPaths_data()
    {
        QTest::addColumn<QString>("Left");
        QTest::addColumn<QString>("Right");
        QTest::addColumn<QString>("Message");
        QTest::newRow("empty") << "" << "a.txt" << "warning: Please select both left and right files.";
        QTest::newRow("left missing") << "gone.txt" << "also-gone.txt" << "error: Left file does not exist.";
        QTest::newRow("right missing") << "a.txt" << "gone.txt" << "error: Right file does not exist.";
    }

    void compareTextFilesChecksItsPaths()
    {
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QString, Message);
        TWindowDriver D;
        D.WriteLines(QStringLiteral("a.txt"), {"x"});
        D.Window->RunCommand([&] { D.Window->CompareTextFiles(D.ResolvePath(Left), D.ResolvePath(Right)); });
        QCOMPARE(D.Platform.Log(), QStringList{Message});
        QVERIFY(!D.Find<QFrame>("Panel2")->isHidden());   // still before the first comparison
        QVERIFY(!D.Find<QToolButton>("btnSaveLeft")->isEnabled());
    }

    void failedLoadShowsTheErrorAndKeepsTheComparison()
    {
        TWindowDriver D;
        CompareOnce(D);
        D.Window->UnsavedChanges = true;
        D.Platform.ConfirmAnswers = {true};
        // Text to the probe, too large to load: a sparse file of 2.1 GiB that starts with text.
        const QString Bad = D.WriteBytes(QStringLiteral("bad.txt"), QByteArray(TextProbeSize, 'a'));
        QVERIFY(QFile::resize(Bad, 2254857830LL));
        const QString Good = D.WriteLines(QStringLiteral("good.txt"), {"fine"});
        D.SetPaths(Good, Bad);
        TSnapshot Before = TSnapshot::Of(D);

        D.Trigger("miAsTextFiles1");

        QCOMPARE(D.Platform.Messages.size(), 2);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("confirmation"));
        QCOMPARE(D.Platform.Messages[1].Kind, QStringLiteral("error"));
        QVERIFY2(D.Platform.Messages[1].Text.contains(QStringLiteral("bad.txt")), qPrintable(D.Platform.Messages[1].Text));
        // History and settings untouched; the shown comparison stays whole.
        QVERIFY(TSnapshot::Of(D) == Before);
        QVERIFY(D.Window->UnsavedChanges);
    }

    void historiesKeepTrimmedPathsAndTheirSpelling()
    {
        TWindowDriver D;
        const QString A = D.WriteLines(QStringLiteral("A.txt"), {"1"});
        const QString B = D.WriteLines(QStringLiteral("B.txt"), {"2"});
        auto* Left = D.Find<QComboBox>("cmbLeft");

        // Trailing blank: compared and stored trimmed, the box keeps what was typed.
        D.SetPaths(A + "  ", "\t" + B);
        D.Trigger("miAsTextFiles1");
        QCOMPARE(D.History("cmbLeft"), QStringList{A});
        QCOMPARE(D.History("cmbRight"), QStringList{B});
        QCOMPARE(Left->currentText(), A + "  ");
        QCOMPARE(D.Window->FLeftLines, QStringList{"1"});

        // Fill the history with 50 distinct paths, then compare another letter case of an old one.
        QStringList Names;
        for (int I = 1; I <= 49; ++I) {
            const QString P = D.WriteLines(QStringLiteral("f%1.txt").arg(I), {"x"});
            D.SetPaths(P, B);
            D.Trigger("miAsTextFiles1");
        }
        QCOMPARE(D.History("cmbLeft").size(), 50);
        QCOMPARE(D.History("cmbLeft").last(), A);
        QCOMPARE(D.History("cmbRight"), QStringList{B});

        // The filesystem here is case-sensitive, so write the other spelling too.
        const QString Upper = D.PathOf(QStringLiteral("F10.TXT"));
        QFile::copy(D.PathOf(QStringLiteral("f10.txt")), Upper);
        D.SetPaths(Upper, B);
        D.Trigger("miAsTextFiles1");
        QStringList History = D.History("cmbLeft");
        QCOMPARE(History.size(), 50);
        QVERIFY(!History.contains(Upper));
        QCOMPARE(History.indexOf(D.PathOf(QStringLiteral("f10.txt"))), 39);   // kept its place and case

        // The 51st distinct path drops the oldest.
        const QString New = D.WriteLines(QStringLiteral("new.txt"), {"n"});
        D.SetPaths(New, B);
        D.Trigger("miAsTextFiles1");
        History = D.History("cmbLeft");
        QCOMPARE(History.size(), 50);
        QCOMPARE(History.first(), New);
        QVERIFY(!History.contains(A));
        QCOMPARE(History.last(), D.PathOf(QStringLiteral("f1.txt")));
        QCOMPARE(Left->currentText(), New);
    }

    void droppedFileNamesTheSide()
    {
        TWindowDriver D;
        const QString File = D.WriteLines(QStringLiteral("dropped.txt"), {"d"});
        QMimeData Data;
        Data.setUrls({QUrl::fromLocalFile(File)});
        QLineEdit* Edit = D.Find<QComboBox>("cmbRight")->lineEdit();
        QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(Edit, &Enter);
        QVERIFY(Enter.isAccepted());
        QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(Edit, &Drop);
        QCOMPARE(D.Find<QComboBox>("cmbRight")->currentText(), File);
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), QString());
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    void browseButtons()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        QDir(D.Files.path()).mkpath(QStringLiteral("sub"));
        const QString Sub = D.PathOf(QStringLiteral("sub"));
        const QString Chosen = D.WriteLines(QStringLiteral("sub/picked.txt"), {"p"});
        W.dlgOpen1.InitialDir = QStringLiteral("/remembered");

        // A typed path whose folder exists: the dialog starts there.
        D.SetPaths(Sub + "/typed-name.txt", QString());
        D.Platform.OpenFileAnswers = {Chosen};
        D.Trigger("miBrowseLeftFile");
        QCOMPARE(D.Platform.OpenFileStartDirs, QStringList{Sub});
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), Chosen);
        QCOMPARE(W.dlgOpen1.InitialDir, Sub);
        QVERIFY(D.Platform.Messages.isEmpty());
        QVERIFY(W.FLeftLines.isEmpty());   // nothing is compared

        // A path whose folder does not exist: the remembered folder; Cancel changes nothing.
        W.dlgopen2.InitialDir = QStringLiteral("/elsewhere");
        D.SetPaths(Chosen, QStringLiteral("/no/such/folder/x.txt"));
        D.Trigger("miBrowseRightFile");
        QCOMPARE(D.Platform.OpenFileStartDirs.last(), QStringLiteral("/elsewhere"));
        QCOMPARE(D.Find<QComboBox>("cmbRight")->currentText(), QStringLiteral("/no/such/folder/x.txt"));
        QCOMPARE(W.dlgopen2.InitialDir, QStringLiteral("/elsewhere"));
        QVERIFY(D.History("cmbRight").isEmpty());
        // Each side has its own dialog, found by its name.
        QCOMPARE(D.Platform.OpenFileDialogNames, (QStringList{"dlgOpen1", "dlgopen2"}));
    }

    void realBrowseDialogCarriesItsName_data()
    {
        QTest::addColumn<QString>("Name");
        QTest::newRow("left") << "dlgOpen1";
        QTest::newRow("right") << "dlgopen2";
    }

    void realBrowseDialogCarriesItsName()
    {
        QFETCH(QString, Name);
        QTemporaryDir Folder;
        QString Found;
        // Runs inside the dialog's own event loop; cancels it once its name is read.
        QTimer::singleShot(0, [&] {
            for (QWidget* Top : QApplication::topLevelWidgets())
                if (auto* Dialog = qobject_cast<QFileDialog*>(Top); Dialog && Dialog->isVisible()) {
                    Found = Dialog->objectName();
                    Dialog->reject();
                }
        });
        QCOMPARE(RealPlatform().ChooseOpenFile(nullptr, Folder.path(), Name), QString());
        QCOMPARE(Found, Name);
    }

    // What the encoding leaves out or adds decides whether two files are the same text; what
    // their bytes hold beyond the text is named in the verdict.
    void encodingEdgeCases_data()
    {
        QTest::addColumn<QByteArray>("Left");
        QTest::addColumn<QByteArray>("Right");
        QTest::addColumn<QStringList>("RightLines");
        QTest::addColumn<QString>("Verdict");   // empty when the rows differ
        QTest::newRow("UTF-8 mark against none: the same text")
            << QByteArray("abc\r\ndef\r\n") << QByteArray("\xEF\xBB\xBF" "abc\r\ndef\r\n")
            << QStringList{"abc", "def"} << "The files are identical except for their byte-order mark.";
        QTest::newRow("UTF-16 mark against UTF-8: the same text")
            << QByteArray("\xC3\xA9\n") << QByteArray("\xFF\xFE\xE9\0\n\0", 6) << QStringList{"\u00E9"}
            << "The files are identical except for their encoding (UTF-8 / UTF-16 LE).";
        QTest::newRow("UTF-16 odd last byte is not dropped")
            << QByteArray("\xFF\xFE" "a\0b\0", 6) << QByteArray("\xFF\xFE" "a\0b\0d", 7)
            << QStringList{"ab\uFFFDd"} << QString();
        QTest::newRow("UTF-16 odd last bytes that differ")
            << QByteArray("\xFF\xFE" "a\0b\0c", 7) << QByteArray("\xFF\xFE" "a\0b\0d", 7)
            << QStringList{"ab\uFFFDd"} << QString();
        QTest::newRow("encoded surrogate loads as ANSI")
            << QByteArray("x\n") << QByteArray("x\xED\xA0\x80\n") << QStringList{"x\u00ED\u00A0\u20AC"} << QString();
    }

    void encodingEdgeCases()
    {
        QFETCH(QByteArray, Left);
        QFETCH(QByteArray, Right);
        QFETCH(QStringList, RightLines);
        QFETCH(QString, Verdict);
        TWindowDriver D;
        D.SetPaths(D.WriteBytes(QStringLiteral("left.txt"), Left), D.WriteBytes(QStringLiteral("right.txt"), Right));
        D.Trigger("miAsTextFiles1");
        QCOMPARE(D.Window->FRightLines, RightLines);
        QCOMPARE(D.Window->HasDifferences(), Verdict.isEmpty());
        if (!Verdict.isEmpty())
            QCOMPARE(D.Platform.Texts().constFirst(), Verdict);
    }

    // Files whose lines are equal but whose bytes are not: the identical-files box and the
    // status line say what else differs; files equal byte for byte are just identical.
    void verdictNamesWhatElseDiffers_data()
    {
        QTest::addColumn<QByteArray>("Left");
        QTest::addColumn<QByteArray>("Right");
        QTest::addColumn<QString>("Verdict");
        const QString Except = QStringLiteral("The files are identical except for their ");
        QTest::newRow("same bytes") << QByteArray("caf\xC3\xA9\r\nx") << QByteArray("caf\xC3\xA9\r\nx")
                                    << "The files are identical.";
        QTest::newRow("ANSI against UTF-8") << QByteArray("caf\xE9\n") << QByteArray("caf\xC3\xA9\n")
                                            << Except + "encoding (ANSI / UTF-8).";
        QTest::newRow("UTF-8 against ANSI") << QByteArray("caf\xC3\xA9\n") << QByteArray("caf\xE9\n")
                                            << Except + "encoding (UTF-8 / ANSI).";
        QTest::newRow("UTF-16 LE against BE") << QByteArray("\xFF\xFE" "a\0", 4) << QByteArray("\xFE\xFF\0a", 4)
                                              << Except + "encoding (UTF-16 LE / UTF-16 BE).";
        QTest::newRow("mark") << QByteArray("\xEF\xBB\xBF" "caf\xC3\xA9\n") << QByteArray("caf\xC3\xA9\n")
                              << Except + "byte-order mark.";
        QTest::newRow("LF against CR LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n")
                                          << Except + "line breaks (LF / CR LF).";
        QTest::newRow("CR against LF, no final break") << QByteArray("a\rb") << QByteArray("a\nb")
                                                       << Except + "line breaks (CR / LF).";
        QTest::newRow("only the break after the last line") << QByteArray("a\nb\r\n") << QByteArray("a\nb\n")
                                                            << Except + "line breaks (mixed / LF).";
        QTest::newRow("same breaks in another order") << QByteArray("a\nb\r\nc\n") << QByteArray("a\r\nb\nc\n")
                                                      << Except + "line breaks (mixed / mixed).";
        QTest::newRow("final line break") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n")
                                          << Except + "final line break.";
        QTest::newRow("several at once") << QByteArray("\xEF\xBB\xBF" "caf\xC3\xA9\r\nx\r\n") << QByteArray("caf\xE9\nx")
                                         << Except + "encoding (UTF-8 / ANSI), byte-order mark, line breaks (CR LF / LF) "
                                                     "and final line break.";
    }

    void verdictNamesWhatElseDiffers()
    {
        QFETCH(QByteArray, Left);
        QFETCH(QByteArray, Right);
        QFETCH(QString, Verdict);
        TWindowDriver D;
        D.SetPaths(D.WriteBytes(QStringLiteral("left.txt"), Left), D.WriteBytes(QStringLiteral("right.txt"), Right));
        D.Click("btnCompare");
        QVERIFY(!D.Window->HasDifferences());
        QCOMPARE(D.Platform.Log().constFirst(), "information: " + Verdict);
        QCOMPARE(D.Status().endsWith(QStringLiteral(" Different lines: 0. ") + Verdict),
                 Verdict != QStringLiteral("The files are identical."));
        QVERIFY(D.Status().contains(u"Different lines: 0."));
    }
};

QTEST_MAIN(TestWindowCompare)
#include "tst_window_compare.moc"
