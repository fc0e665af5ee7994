#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QRegularExpression>
#include <QTcpServer>
#include <QToolButton>
#include <QtTest>

using quorlane::test::HttpStandIn;
using quorlane::test::TRecordedRequest;
using quorlane::test::TStandInAnswer;

Q_DECLARE_METATYPE(quorlane::test::TStandInAnswer)

// The forced document command and CompareDocuments, driven through the real window against a
// Tika stand-in on 127.0.0.1 that answers by the document's bytes.
class TestWindowDocuments : public QObject
{
    Q_OBJECT

    static QString Pct(const char* Text)
    {
        return QString::fromLatin1(Text).replace(QLatin1Char('.'), QLocale().decimalPoint());
    }

    // The driver's window finds neither Java nor the server file, so the hint names both.
    static QString Hint()
    {
        return QStringLiteral("\r\n\r\n")
            + quorlane::TikaServerHint({}, QStringLiteral("Quorlane"),
                                       quorlane::TikaServerFetchCommand(QCoreApplication::applicationDirPath()));
    }

    static int EnabledButtonCount(TWindowDriver& D)
    {
        int Count = 0;
        for (const char* Name : {"btnPrevDiff", "btnDiffNext", "btnFirstDiff", "btnLastDiff", "btnLeftToRight",
                                 "btnRightToLeft", "btnAllLeftDiffsToRight", "btnAllRightDiffsToLeft", "btnUndo",
                                 "btnSaveLeft", "btnSaveRight"})
            Count += D.Find<QToolButton>(Name)->isEnabled();
        return Count;
    }

    // A stand-in that answers each document by its bytes; unknown bytes get a 500.
    static void AnswerByBody(HttpStandIn& Server, const QHash<QByteArray, TStandInAnswer>& Answers)
    {
        Server.SetHandler([Answers](const TRecordedRequest& Request) {
            return Answers.value(Request.Body, TStandInAnswer::Respond(500, "Unknown document", QByteArray()));
        });
    }

    // Two "documents" of the test folder; binary bytes, so nothing could read them as text.
    static void WriteDocuments(TWindowDriver& D, QString& Left, QString& Right)
    {
        Left = D.WriteBytes(QStringLiteral("left.txt"), LeftBytes());
        Right = D.WriteBytes(QStringLiteral("right.txt"), RightBytes());
    }
    static QByteArray LeftBytes() { return QByteArrayLiteral("%PDF left\x00\x01\xff document"); }
    static QByteArray RightBytes() { return QByteArrayLiteral("%PDF right\x00\x02\xfe document"); }

private slots:
    void bothExtracted_data()
    {
        QTest::addColumn<QByteArray>("LeftText");
        QTest::addColumn<QByteArray>("RightText");
        QTest::addColumn<QStringList>("LeftLines");
        QTest::addColumn<QStringList>("RightLines");
        QTest::addColumn<QStringList>("Log");
        QTest::addColumn<QString>("StatusText");

        const QString Prefix = QStringLiteral("2 lines (left file) vs 3 lines (right file).");
        QTest::newRow("differing texts, line breaks of every kind")
            << QByteArray("alpha\nbeta\n") << QByteArray("alpha\r\ngamma\rdelta")
            << QStringList{"alpha", "beta"} << QStringList{"alpha", "gamma", "delta"}
            << QStringList{"information: Compared:\r\n" + Prefix + "\r\n" + Pct("Equal lines: 1 of 3 (33.3%).")
                           + "\r\nDifferent lines: 2."}
            << Prefix + Pct(" Equal lines: 1 of 3 (33.3%). Different lines: 2.");
        const QString Same = QStringLiteral("2 lines (left file) vs 2 lines (right file).");
        QTest::newRow("same text, beyond ASCII")
            << QByteArray("Gr\xC3\xBC\xC3\x9F" "e\r\n\xE6\x97\xA5\xE6\x9C\xAC\r\n")
            << QByteArray("Gr\xC3\xBC\xC3\x9F" "e\n\xE6\x97\xA5\xE6\x9C\xAC")
            << QStringList{QString::fromUtf8("Grüße"), QString::fromUtf8("日本")}
            << QStringList{QString::fromUtf8("Grüße"), QString::fromUtf8("日本")}
            << QStringList{"information: The files are identical.",
                           "information: Compared:\r\n" + Same + "\r\n" + Pct("Equal lines: 2 of 2 (100.0%).")
                               + "\r\nDifferent lines: 0."}
            << Same + Pct(" Equal lines: 2 of 2 (100.0%). Different lines: 0.");
    }

    void bothExtracted()
    {
        QFETCH(QByteArray, LeftText);
        QFETCH(QByteArray, RightText);
        QFETCH(QStringList, LeftLines);
        QFETCH(QStringList, RightLines);
        QFETCH(QStringList, Log);
        QFETCH(QString, StatusText);

        HttpStandIn Server;
        QVERIFY(Server.IsListening());
        AnswerByBody(Server, {{LeftBytes(), TStandInAnswer::Respond(200, "OK", LeftText)},
                              {RightBytes(), TStandInAnswer::Respond(200, "OK", RightText)}});
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        QString L, R;
        WriteDocuments(D, L, R);
        D.SetPaths(L, R);

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(D.Platform.Log(), Log);
        TfrmMain& W = *D.Window;
        QCOMPARE(W.FLeftLines, LeftLines);
        QCOMPARE(W.FRightLines, RightLines);
        QCOMPARE(D.Status(), StatusText);
        for (TTextEncoding Encoding : {W.FLeftEncoding, W.FRightEncoding})
            QCOMPARE(Encoding, TTextEncoding::Utf8);
        QVERIFY(W.FLeftHasBOM && W.FRightHasBOM);
        QCOMPARE(W.FLeftEncName, QStringLiteral("UTF-8 with BOM"));
        QCOMPARE(W.FRightEncName, QStringLiteral("UTF-8 with BOM"));
        QCOMPARE(W.grdDiff->RowCount(), int(W.FDiffItems.size()) + 1);
        QCOMPARE(D.Row(1), (QStringList{"1", LeftLines[0], RightLines[0]}));
        QVERIFY(!W.FFolderMode);
        QCOMPARE(EnabledButtonCount(D), 11);
        QVERIFY(D.Find<QFrame>("Panel2")->isHidden());

        // One PUT per file, left first, the raw bytes and exactly the two headers of the exchange.
        QCOMPARE(Server.Requests().size(), 2);
        const QByteArray Bodies[] = {LeftBytes(), RightBytes()};
        for (int I = 0; I < 2; ++I) {
            const TRecordedRequest& Request = Server.Requests()[I];
            QCOMPARE(Request.Method, QByteArray("PUT"));
            QCOMPARE(Request.Target, QByteArray("/tika"));
            QCOMPARE(Request.Body, Bodies[I]);
            QCOMPARE(Request.Header("Content-Type"), QByteArray("application/octet-stream"));
            QCOMPARE(Request.Header("Accept"), QByteArray("text/plain; charset=utf-8"));
        }
        // The wait pointer while the server works, the normal one afterwards; keeping history.
        QVERIFY(D.Platform.PointerChanges.contains(TPointer::Hourglass));
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.History("cmbLeft"), QStringList{L});
        QCOMPARE(D.History("cmbRight"), QStringList{R});
    }

    void failures_data()
    {
        QTest::addColumn<TStandInAnswer>("LeftAnswer");
        QTest::addColumn<TStandInAnswer>("RightAnswer");
        QTest::addColumn<QString>("Failure");   // a pattern: the error texts of the client vary
        QTest::addColumn<QStringList>("LeftLines");
        QTest::addColumn<QStringList>("RightLines");
        QTest::addColumn<bool>("Advice");   // the hint on getting a server follows

        const TStandInAnswer Text = TStandInAnswer::Respond(200, "OK", "kept text\nsecond\n");
        QTest::newRow("left 422, right OK")
            << TStandInAnswer::Respond(422, "Unprocessable Entity", "parse error") << Text
            << QStringLiteral("^Comparison failed\\.\r\nLeft: Apache Tika could not read \\S+ \\(it may be damaged or encrypted\\)\\.\r\nRight: OK$")
            << QStringList() << QStringList{"kept text", "second"} << false;
        QTest::newRow("left without text")
            << TStandInAnswer::Respond(200, "OK", QByteArray()) << Text
            << QStringLiteral("^Comparison failed\\.\r\nLeft: Apache Tika could not read \\S+ \\(it may be damaged or encrypted\\)\\.\r\nRight: OK$")
            << QStringList() << QStringList{"kept text", "second"} << false;
        QTest::newRow("right not UTF-8")
            << Text << TStandInAnswer::Respond(200, "OK", QByteArray("caf\xE9 au lait"))
            << QStringLiteral("^Comparison failed\\.\r\nLeft: OK\r\nRight: Error: \\S.*$")
            << QStringList{"kept text", "second"} << QStringList() << true;
        QTest::newRow("both refused")
            << TStandInAnswer::Respond(500, "Server Error", "") << TStandInAnswer::Respond(415, "Unsupported Media Type", "")
            << QStringLiteral("^Comparison failed\\.\r\nLeft: HTTP error \\(500\\): Server Error\r\n"
                              "Right: HTTP error \\(415\\): Unsupported Media Type$")
            << QStringList() << QStringList() << true;
        QTest::newRow("right garbage, connection closed")
            << Text << TStandInAnswer::Raw("this is not HTTP\r\n\r\n")
            << QStringLiteral("^Comparison failed\\.\r\nLeft: OK\r\nRight: Error: \\S.*$")
            << QStringList{"kept text", "second"} << QStringList() << true;
        QTest::newRow("right silent past the read time-out")
            << Text << TStandInAnswer::Silent()
            << QStringLiteral("^Comparison failed\\.\r\nLeft: OK\r\nRight: Error: \\S.*$")
            << QStringList{"kept text", "second"} << QStringList() << true;
    }

    // A failed side never raises a box of its own: the status line carries the failure text and
    // one warning adds the reinstall hint. The side that succeeded keeps its text.
    void failures()
    {
        QFETCH(TStandInAnswer, LeftAnswer);
        QFETCH(TStandInAnswer, RightAnswer);
        QFETCH(QString, Failure);
        QFETCH(QStringList, LeftLines);
        QFETCH(QStringList, RightLines);
        QFETCH(bool, Advice);

        HttpStandIn Server;
        AnswerByBody(Server, {{LeftBytes(), LeftAnswer}, {RightBytes(), RightAnswer}});
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url(), 1500);   // a short read time-out for the silent server
        QString L, R;
        WriteDocuments(D, L, R);
        D.SetPaths(L, R);

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        // The right file goes even when the left failed. (The client may send a request again
        // when the connection closes without an answer.)
        QVERIFY(Server.Requests().size() >= 2);
        QCOMPARE(Server.Requests().constFirst().Body, LeftBytes());
        QCOMPARE(Server.Requests().constLast().Body, RightBytes());
        QCOMPARE(D.Platform.Messages.size(), 1);
        const TRecordingPlatform::TMessage& Warning = D.Platform.Messages[0];
        QCOMPARE(Warning.Kind, QStringLiteral("warning"));
        QVERIFY2(Warning.Text.endsWith(Hint()) == Advice, qPrintable(Warning.Text));
        const QString F = Advice ? Warning.Text.chopped(Hint().size()) : Warning.Text;
        QVERIFY2(QRegularExpression(Failure).match(F).hasMatch(), qPrintable(F));
        QCOMPARE(D.Status(), F + QStringLiteral(" No comparable lines."));

        TfrmMain& W = *D.Window;
        QCOMPARE(W.FLeftLines, LeftLines);
        QCOMPARE(W.FRightLines, RightLines);
        // A side that succeeded takes the document encoding; a failed one keeps what it had.
        QCOMPARE(W.FLeftEncName, LeftLines.isEmpty() ? QStringLiteral("ANSI/ASCII") : QStringLiteral("UTF-8 with BOM"));
        QCOMPARE(W.FRightEncName, RightLines.isEmpty() ? QStringLiteral("ANSI/ASCII") : QStringLiteral("UTF-8 with BOM"));
        QVERIFY(W.FDiffItems.isEmpty());
        QCOMPARE(W.grdDiff->RowCount(), 2);
        QCOMPARE(D.Row(1), (QStringList{"", "", ""}));
        QVERIFY(!W.FFolderMode);
        QCOMPARE(EnabledButtonCount(D), 11);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        // The history follows in every case.
        QCOMPARE(D.History("cmbLeft"), QStringList{L});
    }

    void nothingListening()
    {
        TWindowDriver D;
        QUrl Nowhere(QStringLiteral("http://127.0.0.1/tika"));
        Nowhere.setPort(HttpStandIn::UnusedPort());
        D.Window->SetTikaEndpoint(Nowhere);
        QString L, R;
        WriteDocuments(D, L, R);
        D.SetPaths(L, R);

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("warning"));
        const QString Text = D.Platform.Messages[0].Text;
        QVERIFY2(Text.endsWith(Hint()), qPrintable(Text));
        const QString F = Text.chopped(Hint().size());
        const QRegularExpression Pattern(QStringLiteral("^Comparison failed\\.\r\nLeft: Error: (\\S.*)\r\nRight: Error: (\\S.*)$"));
        const QRegularExpressionMatch Match = Pattern.match(F);
        QVERIFY2(Match.hasMatch(), qPrintable(F));
        QCOMPARE(Match.captured(1), Match.captured(2));   // the same refusal on both sides
        QCOMPARE(D.Status(), F + QStringLiteral(" No comparable lines."));
        QVERIFY(D.Window->FLeftLines.isEmpty() && D.Window->FRightLines.isEmpty());
    }

    // Unless told otherwise, the window asks the server on the local machine, port 9998, path
    // "/tika", with the 30 s read time-out; with nothing there, both sides fail with the refusal.
    void aNewWindowAsksTheLocalServer()
    {
        TWindowDriver D;
        QCOMPARE(D.Window->FTikaEndpoint, QUrl(QStringLiteral("http://localhost:9998/tika")));
        QCOMPARE(D.Window->FTikaReadTimeoutMs, 30000);

        {
            QTcpServer Probe;
            if (!Probe.listen(QHostAddress::LocalHost, 9998))
                QSKIP("Something listens on port 9998 of this machine; the refusal cannot be shown.");
        }
        QString L, R;
        WriteDocuments(D, L, R);
        D.SetPaths(L, R);
        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("warning"));
        const QString Text = D.Platform.Messages[0].Text;
        QVERIFY2(Text.endsWith(Hint()), qPrintable(Text));
        const QRegularExpression Pattern(QStringLiteral("^Comparison failed\\.\r\nLeft: Error: (\\S.*)\r\nRight: Error: (\\S.*)$"));
        const QRegularExpressionMatch Match = Pattern.match(Text.chopped(Hint().size()));
        QVERIFY2(Match.hasMatch(), qPrintable(Text));
        QVERIFY2(Match.captured(1).contains(QStringLiteral("refused"), Qt::CaseInsensitive), qPrintable(Text));
        QCOMPARE(Match.captured(1), Match.captured(2));
    }

    // A new document comparison replaces the previous workspace, also when it fails.
    void replacesThePreviousComparison()
    {
        HttpStandIn Server;
        AnswerByBody(Server, {{LeftBytes(), TStandInAnswer::Respond(422, "Unprocessable Entity", "")},
                              {RightBytes(), TStandInAnswer::Respond(200, "OK", "new right\n")}});
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"one", "two"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"one", "2"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        D.Window->FUndoStack.Push(TUndoState{{"x"}, {"y"}, 1, 1, 1});
        D.Window->UnsavedChanges = true;
        D.Platform.Clear();

        QString L, R;
        WriteDocuments(D, L, R);
        D.SetPaths(L, R);
        D.Platform.ConfirmAnswers = {true};
        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(D.Platform.Messages.size(), 2);
        QCOMPARE(D.Platform.Log()[0],
                 QStringLiteral("confirmation: Load and compare the specified files?\r\nCurrent changes will be lost."));
        QCOMPARE(D.Platform.Messages[1].Kind, QStringLiteral("warning"));
        TfrmMain& W = *D.Window;
        QVERIFY(!D.Window->UnsavedChanges);
        QCOMPARE(W.FUndoStack.Count(), 0);
        QVERIFY(W.FLeftLines.isEmpty());
        QCOMPARE(W.FRightLines, QStringList{"new right"});
        QVERIFY(W.FDiffItems.isEmpty());
        QCOMPARE(D.Row(1), (QStringList{"", "", ""}));
        QCOMPARE(D.History("cmbLeft"), (QStringList{L, A}));
    }

    void refusals_data()
    {
        TWindowDriver::AddRefusalColumns();
        const QString Both = QStringLiteral("error: Both paths must be existing files for files comparison.");
        const QString Select = QStringLiteral("warning: Please select both left and right files.");
        QTest::newRow("unsaved, answered Cancel") << true << "left.txt" << "right.txt"
            << QStringList{"confirmation: Load and compare the specified files?\r\nCurrent changes will be lost."};
        QTest::newRow("left empty") << false << "" << "right.txt" << QStringList{Select};
        QTest::newRow("right only blanks") << false << "left.txt" << "  " << QStringList{Select};
        QTest::newRow("left is a folder") << false << "<dir>" << "right.txt" << QStringList{Both};
        QTest::newRow("right is missing") << false << "left.txt" << "missing.pdf" << QStringList{Both};
    }

    // Refused before anything is sent: no request, workspace, history and settings untouched.
    void refusals()
    {
        QFETCH(bool, Unsaved);
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QStringList, Log);
        HttpStandIn Server;
        AnswerByBody(Server, {});
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        QString L, R;
        WriteDocuments(D, L, R);
        D.SetUpRefusal(Unsaved, Left, Right);

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(D.Platform.Log(), Log);
        QCOMPARE(Server.ConnectionCount(), 0);
        QVERIFY(!D.Find<QFrame>("Panel2")->isHidden());
        QCOMPARE(EnabledButtonCount(D), 0);
        QCOMPARE(D.Status(), QStringLiteral("Ready."));
        QVERIFY(D.History("cmbLeft").isEmpty());
        QVERIFY(!QFileInfo::exists(D.SettingsFile()));
        QCOMPARE(D.Window->UnsavedChanges, Unsaved);
    }

    // CompareDocuments checks its own paths, for the automatic command that reaches it.
    void compareDocumentsChecksItsPaths_data()
    {
        QTest::addColumn<QString>("Left");
        QTest::addColumn<QString>("Right");
        QTest::addColumn<QString>("Message");
        QTest::newRow("empty") << "" << "left.txt" << "warning: Please select both left and right files.";
        QTest::newRow("left missing") << "gone.pdf" << "also-gone.pdf" << "error: Left file does not exist.";
        QTest::newRow("right missing") << "left.txt" << "gone.pdf" << "error: Right file does not exist.";
    }

    void compareDocumentsChecksItsPaths()
    {
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QString, Message);
        HttpStandIn Server;
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        QString L, R;
        WriteDocuments(D, L, R);
        D.Window->RunCommand([&] { D.Window->CompareDocuments(D.ResolvePath(Left), D.ResolvePath(Right)); });
        QCOMPARE(D.Platform.Log(), QStringList{Message});
        QCOMPARE(Server.ConnectionCount(), 0);
        QVERIFY(!D.Find<QFrame>("Panel2")->isHidden());
    }
};

QTEST_MAIN(TestWindowDocuments)
#include "tst_window_documents.moc"
