#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QToolButton>
#include <QtTest>

using quorlane::test::HttpStandIn;
using quorlane::test::TRecordedRequest;
using quorlane::test::TStandInAnswer;

// The automatic command ("Load and Compare", "Automatically"): which comparison a pair of paths
// gets, its checks and questions, the hourglass and the moving history rule. Documents go to a
// Tika stand-in, so the road taken shows in the requests it receives.
class TestWindowAutomatic : public QObject
{
    Q_OBJECT

    static const QString& ConfirmText()
    {
        static const QString Text = QStringLiteral("Load and compare the specified files?\r\nCurrent changes will be lost.");
        return Text;
    }

    // A stand-in that answers every document with its own name's first byte as text, and notes
    // the pointer shape while the window waits for it.
    struct TTika
    {
        HttpStandIn Server;
        QList<TPointer> PointersSeen;

        explicit TTika(TWindowDriver& D)
        {
            Server.SetHandler([this, &D](const TRecordedRequest&) {
                PointersSeen.append(D.Platform.Pointer);
                return TStandInAnswer::Respond(200, "OK", "extracted\ntext\n");
            });
            D.Window->SetTikaEndpoint(Server.Url());
        }
    };

private slots:
    // The decision table: names decide first, the probe of the first bytes second.
    void decision_data()
    {
        QTest::addColumn<QString>("LeftName");
        QTest::addColumn<QByteArray>("LeftBytes");
        QTest::addColumn<QString>("RightName");
        QTest::addColumn<QByteArray>("RightBytes");
        QTest::addColumn<QString>("Road");   // "text", "documents" or "bytes"

        const QByteArray Text("first line\r\nsecond line\r\n");
        const QByteArray Pdf = QByteArrayLiteral("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n\x00\x01\x02");
        QByteArray NulEarly(4095, 'a');
        NulEarly.append('\0');
        QByteArray NulLate(4096, 'a');
        NulLate.append(QByteArrayLiteral("\0\r\nmore\r\n"));

        QTest::newRow("two text files") << "a.txt" << Text << "b.txt" << QByteArray("first line\r\n") << "text";
        QTest::newRow("two PDFs, by their names alone") << "a.pdf" << Text << "b.PDF" << Text << "documents";
        QTest::newRow("a PDF and a text file") << "a.pdf" << Pdf << "b.txt" << Text << "documents";
        QTest::newRow("a text file and a PDF") << "a.txt" << Text << "b.pdf" << Pdf << "documents";
        QTest::newRow("NUL at byte 4096 of the right file") << "a.txt" << Text << "b.txt" << NulEarly << "bytes";
        QTest::newRow("NUL after the first 4096 bytes") << "a.txt" << Text << "b.txt" << NulLate << "text";
        QTest::newRow("document extensions, text inside") << "a.docx" << Text << "b.xlsx" << Text << "documents";
        QTest::newRow("one document name, both text") << "a.pdf" << Text << "b.log" << Text << "text";
        QTest::newRow("no extensions, binary left") << "left" << Pdf << "right" << Text << "bytes";
        QTest::newRow("binary under a document name") << "left.pdf" << Pdf << "right" << Text << "documents";
        QTest::newRow("empty files are text") << "a.txt" << QByteArray() << "b.txt" << QByteArray() << "text";
    }

    void decision()
    {
        QFETCH(QString, LeftName);
        QFETCH(QByteArray, LeftBytes);
        QFETCH(QString, RightName);
        QFETCH(QByteArray, RightBytes);
        QFETCH(QString, Road);

        TWindowDriver D;
        TTika Tika(D);
        const QString L = D.WriteBytes(LeftName, LeftBytes);
        const QString R = D.WriteBytes(RightName, RightBytes);
        D.SetPaths(L, R);

        D.Click("btnCompare");

        TfrmMain& W = *D.Window;
        if (Road == u"documents") {
            QCOMPARE(Tika.Server.Requests().size(), 2);
            QCOMPARE(Tika.Server.Requests()[0].Body, LeftBytes);
            QCOMPARE(Tika.Server.Requests()[1].Body, RightBytes);
            QCOMPARE(Tika.PointersSeen, (QList<TPointer>{TPointer::Hourglass, TPointer::Hourglass}));
            QCOMPARE(W.FLeftLines, (QStringList{"extracted", "text"}));
            QCOMPARE(W.FLeftEncName, QStringLiteral("UTF-8 with BOM"));
            QCOMPARE(D.Platform.Log().constFirst(), QStringLiteral("information: The files are identical."));
        } else if (Road == u"bytes") {
            QCOMPARE(Tika.Server.ConnectionCount(), 0);
            QCOMPARE(D.Platform.Log(), QStringList{"information: The files differ (binary; first difference at byte 1)."});
            QCOMPARE(D.Status(), QStringLiteral("The files differ (binary; first difference at byte 1)."));
            QVERIFY(W.FLeftLines.isEmpty() && W.FRightLines.isEmpty());
        } else {
            QCOMPARE(Tika.Server.ConnectionCount(), 0);
            QVERIFY(W.FLeftEncName != QStringLiteral("UTF-8 with BOM"));
            if (!LeftBytes.isEmpty())
                QCOMPARE(W.FLeftLines.constFirst(), QStringLiteral("first line"));
            QCOMPARE(W.FRightLines.isEmpty(), RightBytes.isEmpty());
        }
        QVERIFY(!W.FFolderMode);
        QVERIFY(D.Platform.Log().constLast().startsWith(QStringLiteral("information: Compared:\r\n"))
                || (LeftBytes.isEmpty() && RightBytes.isEmpty()) || Road == u"bytes");
        // The hourglass came first and is gone now.
        QVERIFY(!D.Platform.PointerChanges.isEmpty());
        QCOMPARE(D.Platform.PointerChanges.constFirst(), TPointer::Hourglass);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.History("cmbLeft"), QStringList{L});
        QCOMPARE(D.History("cmbRight"), QStringList{R});
    }

    // Files that are neither text nor named documents: their bytes decide, with no server asked,
    // and nothing is left that a merge or a save could use.
    void binaryFilesGetAByteVerdict_data()
    {
        QTest::addColumn<QByteArray>("LeftBytes");
        QTest::addColumn<QByteArray>("RightBytes");
        QTest::addColumn<QString>("Verdict");
        QByteArray Exe("\x7F" "ELF\x02\x01\x01\0", 8);
        Exe += QByteArray(200000, '\0');
        QByteArray Changed = Exe;
        Changed[1233] = '\x01';
        QTest::newRow("identical") << Exe << Exe << "The files are identical.";
        QTest::newRow("one byte changed") << Exe << Changed << "The files differ (binary; first difference at byte 1,234).";
        QTest::newRow("a later block") << Exe << QByteArray(Exe).replace(150000, 1, "\x05")
                                       << "The files differ (binary; first difference at byte 150,001).";
        QTest::newRow("one is the start of the other") << Exe << Exe + "x"
                                                       << "The files differ (binary; first difference at byte 200,009).";
        QTest::newRow("binary against text") << Exe << QByteArray("\x7F" "ELF text\n")
                                             << "The files differ (binary; first difference at byte 5).";
        QTest::newRow("empty against binary") << QByteArray() << Exe
                                              << "The files differ (binary; first difference at byte 1).";
    }

    void binaryFilesGetAByteVerdict()
    {
        QFETCH(QByteArray, LeftBytes);
        QFETCH(QByteArray, RightBytes);
        QFETCH(QString, Verdict);
        TWindowDriver D;
        TTika Tika(D);
        D.CompareLines({"old"}, {"rows"});
        D.Platform.Clear();
        D.SetPaths(D.WriteBytes(QStringLiteral("prog1"), LeftBytes), D.WriteBytes(QStringLiteral("prog2"), RightBytes));

        D.Click("btnCompare");

        QCOMPARE(D.Platform.Log(), QStringList{"information: " + Verdict});
        QCOMPARE(D.Status(), Verdict);
        QCOMPARE(Tika.Server.ConnectionCount(), 0);
        QVERIFY(D.Window->FDiffItems.isEmpty());   // no rows of the earlier comparison stay
        QCOMPARE(D.Row(1), (QStringList{"", "", ""}));
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        D.Click("btnSaveLeft");   // nothing loaded to write back
        QFile Left(D.PathOf(QStringLiteral("prog1")));
        QVERIFY(Left.open(QIODevice::ReadOnly));
        QCOMPARE(Left.readAll(), LeftBytes);
    }

    // "Automatically" is the same command.
    void menuItemIsTheSameCommand()
    {
        TWindowDriver D;
        TTika Tika(D);
        const QString L = D.WriteLines(QStringLiteral("a.txt"), {"one", "two"});
        const QString R = D.WriteLines(QStringLiteral("b.txt"), {"one", "2"});
        D.SetPaths(L, R);
        D.Trigger("miAutomatically1");
        QCOMPARE(D.Row(2), (QStringList{"2", "two", "2"}));
        QCOMPARE(Tika.Server.ConnectionCount(), 0);
        QCOMPARE(D.Platform.PointerChanges.constFirst(), TPointer::Hourglass);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.History("cmbLeft"), QStringList{L});
    }

    // A path that does not exist fails the probe and reaches the document comparison, which
    // reports it while the hourglass is still up; the path still enters the history.
    void missingPath_data()
    {
        QTest::addColumn<QString>("LeftName");
        QTest::addColumn<QString>("RightName");
        QTest::addColumn<QString>("Message");
        QTest::newRow("left missing") << "gone.txt" << "b.txt" << "error: Left file does not exist.";
        QTest::newRow("right missing") << "a.txt" << "gone.txt" << "error: Right file does not exist.";
        QTest::newRow("both missing, document names") << "gone.pdf" << "also.pdf" << "error: Left file does not exist.";
    }

    void missingPath()
    {
        QFETCH(QString, LeftName);
        QFETCH(QString, RightName);
        QFETCH(QString, Message);
        TWindowDriver D;
        TTika Tika(D);
        D.WriteLines(QStringLiteral("a.txt"), {"x"});
        D.WriteLines(QStringLiteral("b.txt"), {"y"});
        QList<TPointer> PointerAtBox;
        D.Platform.OnMessage = [&](const TRecordingPlatform::TMessage&) { PointerAtBox.append(D.Platform.Pointer); };
        D.SetPaths(D.PathOf(LeftName), D.PathOf(RightName));

        D.Click("btnCompare");

        QCOMPARE(D.Platform.Log(), QStringList{Message});
        QCOMPARE(PointerAtBox, QList<TPointer>{TPointer::Hourglass});
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(Tika.Server.ConnectionCount(), 0);
        QVERIFY(!D.Find<QFrame>("Panel2")->isHidden());   // the comparison never started
        QCOMPARE(D.History("cmbLeft"), QStringList{D.PathOf(LeftName)});
        QCOMPARE(D.History("cmbRight"), QStringList{D.PathOf(RightName)});
    }

    // A comparison that ends with an error box: the pointer is restored, the history untouched.
    void errorEndsTheHourglassAndSkipsTheHistory()
    {
        TWindowDriver D;
        TTika Tika(D);
        // Text to the probe, too large to load: a sparse file of 2.1 GiB that starts with text.
        const QString Bad = D.WriteBytes(QStringLiteral("bad.txt"), QByteArray(TextProbeSize, 'a'));
        QVERIFY(QFile::resize(Bad, 2254857830LL));
        const QString Good = D.WriteLines(QStringLiteral("good.txt"), {"fine"});
        D.SetPaths(Good, Bad);

        D.Click("btnCompare");

        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("error"));
        QVERIFY2(D.Platform.Messages[0].Text.contains(QStringLiteral("bad.txt")), qPrintable(D.Platform.Messages[0].Text));
        QCOMPARE(D.Platform.PointerChanges.constFirst(), TPointer::Hourglass);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QVERIFY(D.History("cmbLeft").isEmpty());
        QVERIFY(D.History("cmbRight").isEmpty());
    }

    // Stops in the checks: the messages, in their order; nothing compared, no history.
    void refusals_data()
    {
        TWindowDriver::AddRefusalColumns();
        const QString Select = QStringLiteral("warning: Please select both left and right files or folders.");
        const QString Folders = QStringLiteral("error: Both paths must be folders for folder comparison.");
        QTest::newRow("unsaved, answered Cancel") << true << "a.txt" << "b.txt" << QStringList{"confirmation: " + ConfirmText()};
        QTest::newRow("unsaved, Cancel comes before the empty path")
            << true << "" << "b.txt" << QStringList{"confirmation: " + ConfirmText()};
        QTest::newRow("left empty") << false << "" << "b.txt" << QStringList{Select};
        QTest::newRow("right only blanks") << false << "a.txt" << " \t" << QStringList{Select};
        QTest::newRow("folder and file") << false << "dir" << "b.txt" << QStringList{Folders};
        QTest::newRow("file and folder") << false << "a.txt" << "dir" << QStringList{Folders};
        QTest::newRow("folder and missing path") << false << "dir" << "gone" << QStringList{Folders};
    }

    void refusals()
    {
        QFETCH(bool, Unsaved);
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QStringList, Log);
        TWindowDriver D;
        TTika Tika(D);
        D.WriteLines(QStringLiteral("a.txt"), {"x"});
        D.WriteLines(QStringLiteral("b.txt"), {"y"});
        D.MakeFolder(QStringLiteral("dir"));
        D.SetUpRefusal(Unsaved, Left, Right);

        D.Click("btnCompare");

        QCOMPARE(D.Platform.Log(), Log);
        QVERIFY(D.Platform.PointerChanges.isEmpty());
        QCOMPARE(Tika.Server.ConnectionCount(), 0);
        QVERIFY(!D.Find<QFrame>("Panel2")->isHidden());
        QCOMPARE(D.Status(), QStringLiteral("Ready."));
        QVERIFY(D.History("cmbLeft").isEmpty());
        QVERIFY(D.History("cmbRight").isEmpty());
        QVERIFY(!QFileInfo::exists(D.SettingsFile()));
        QCOMPARE(D.Window->UnsavedChanges, Unsaved);
    }

    // Two folders while changes are unsaved: the question names files; after Yes the folders
    // are compared and the changes are gone.
    void twoFoldersWithUnsavedChanges()
    {
        TWindowDriver D;
        TTika Tika(D);
        const QString L = D.PathOf(QStringLiteral("left"));
        const QString R = D.PathOf(QStringLiteral("right"));
        QDir().mkpath(L + QStringLiteral("/sub"));
        QDir().mkpath(R);
        D.WriteBytes(QStringLiteral("left/sub/only.txt"), "abc");
        D.Window->UnsavedChanges = true;
        D.Platform.ConfirmAnswers = {true};
        D.SetPaths(L, R);

        D.Click("btnCompare");

        QCOMPARE(D.Platform.Log(), QStringList{"confirmation: " + ConfirmText()});
        QVERIFY(!D.Window->UnsavedChanges);
        QVERIFY(D.Window->FFolderMode);
        QCOMPARE(D.Row(1), (QStringList{"1", QStringLiteral("sub") + QDir::separator() + "only.txt", ""}));
        QCOMPARE(D.Status(), QStringLiteral("Compared 1 files (left folder, including subfolders) vs 0 files "
                                           "(right folder, including subfolders). 0 different, 1 only left, "
                                           "0 only right."));
        QVERIFY(!D.Find<QToolButton>("btnLeftToRight")->isEnabled());
        QVERIFY(D.Find<QToolButton>("btnDiffNext")->isEnabled());
        QCOMPARE(Tika.Server.ConnectionCount(), 0);
        QCOMPARE(D.History("cmbLeft"), QStringList{L});
        QCOMPARE(D.History("cmbRight"), QStringList{R});
    }

    // The moving rule: a path compared again goes to the top, in its new spelling, even when the
    // comparison reports it missing.
    void movingHistory()
    {
        TWindowDriver D;
        TTika Tika(D);
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"1"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"2"});
        const QString C = D.WriteLines(QStringLiteral("c.txt"), {"3"});
        D.SetPaths(A, B);
        D.Click("btnCompare");
        D.SetPaths(C, B);
        D.Click("btnCompare");
        QCOMPARE(D.History("cmbLeft"), (QStringList{C, A}));
        QCOMPARE(D.History("cmbRight"), QStringList{B});

        // A again, typed in capitals and with blanks around it.
        const QString Shouting = D.PathOf(QStringLiteral("A.TXT"));
        D.SetPaths(QStringLiteral(" ") + Shouting + QStringLiteral(" "), B);
        D.Platform.Clear();
        D.Click("btnCompare");
        if (!QFileInfo::exists(Shouting))   // a file system that tells case apart
            QCOMPARE(D.Platform.Log(), QStringList{"error: Left file does not exist."});
        QCOMPARE(D.History("cmbLeft"), (QStringList{Shouting, C}));
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), QStringLiteral(" ") + Shouting + QStringLiteral(" "));
    }
};

QTEST_MAIN(TestWindowAutomatic)
#include "tst_window_automatic.moc"
