// The document comparison of the real window against the real Apache Tika server, started once
// for the class on a free 127.0.0.1 port, with DOCX and PDF documents generated here.
//
// The server's jar comes from QUORLANE_TIKA_JAR or the cache of scripts/tika-server.sh. Without
// it, or without Java, the class is skipped loudly.

#include "support/app/WindowDriver.h"
#include "support/core/DocumentFixtures.h"
#include "support/core/TikaServerProcess.h"

#include "support/core/HttpStandIn.h"
#include "tika/TikaServer.h"

#include <QLabel>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorlane::test;

namespace {

constexpr int ReadTimeoutMs = 120000;  // the first parse of a cold server can be slow

}   // namespace

class TestWindowDocumentsTika : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void compareDocuments_data();
    void compareDocuments();
    void documentWithoutText();
    void startsItsOwnServerAndEndsIt();

private:
    QTemporaryDir FDir;
    TikaServerProcess FTika;
};

void TestWindowDocumentsTika::initTestCase()
{
    QVERIFY(FDir.isValid());
    const TTikaServerStart Start = FTika.Start(FDir.filePath(QStringLiteral("tika-server.log")),
                                               QStringLiteral("The window tests"));
    if (Start.Outcome == TTikaServerStart::TOutcome::Skip)
        QSKIP(qPrintable(Start.Message));
    if (Start.Outcome == TTikaServerStart::TOutcome::Fail)
        QFAIL(qPrintable(Start.Message));
}

void TestWindowDocumentsTika::cleanupTestCase()
{
    FTika.Stop();
}

void TestWindowDocumentsTika::compareDocuments_data()
{
    QTest::addColumn<QString>("Kind");
    QTest::addColumn<QString>("Command");
    QTest::addColumn<bool>("Changed");
    const QString Forced = QStringLiteral("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");
    const QString Automatic = QStringLiteral("btnCompare");
    QTest::newRow("docx, same text, forced command") << "docx" << Forced << false;
    QTest::newRow("docx, one paragraph changed, automatic command") << "docx" << Automatic << true;
    QTest::newRow("pdf, one line changed, automatic command") << "pdf" << Automatic << true;
}

// Two generated documents go through the window into the text road: the extracted lines, the
// document encoding, one changed row where the documents differ, the identical box where not.
void TestWindowDocumentsTika::compareDocuments()
{
    QFETCH(QString, Kind);
    QFETCH(QString, Command);
    QFETCH(bool, Changed);
    const QStringList Original{QStringLiteral("Contract between the parties"), QStringLiteral("Price: 100 EUR"),
                               QStringLiteral("Signed in Berlin")};
    QStringList Other = Original;
    if (Changed)
        Other[1] = QStringLiteral("Price: 120 EUR");
    const auto Make = [&](const QStringList& Lines) { return Kind == QLatin1String("docx") ? MakeDocx(Lines) : MakePdf(Lines); };

    TWindowDriver D;
    D.Window->SetTikaEndpoint(FTika.Endpoint(), ReadTimeoutMs);
    const QString L = D.WriteBytes(QStringLiteral("left.") + Kind, Make(Original));
    const QString R = D.WriteBytes(QStringLiteral("right.") + Kind, Make(Other));
    D.SetPaths(L, R);

    if (Command == QLatin1String("btnCompare"))
        D.Click("btnCompare");
    else
        D.Trigger(qPrintable(Command));

    TfrmMain& W = *D.Window;
    QVERIFY2(!D.Platform.Log().isEmpty() && D.Platform.Messages.constLast().Kind == QLatin1String("information"),
             qPrintable(D.Platform.Log().join(QStringLiteral("\n"))));
    QVERIFY(W.FLeftLines.contains(QStringLiteral("Price: 100 EUR")) || W.FLeftLines.join('\n').contains(QStringLiteral("Price: 100 EUR")));
    QCOMPARE(W.FLeftEncName, QStringLiteral("UTF-8 with BOM"));
    QCOMPARE(W.FRightEncName, QStringLiteral("UTF-8 with BOM"));
    QVERIFY(!W.FFolderMode);

    QList<int> DifferentRows;
    for (int I = 0; I < W.FDiffItems.size(); ++I)
        if (W.FDiffItems[I].Kind != dkEqual)
            DifferentRows.append(I + 1);
    if (!Changed) {
        QVERIFY(DifferentRows.isEmpty());
        QCOMPARE(D.Platform.Log().constFirst(), QStringLiteral("information: The files are identical."));
        return;
    }
    QCOMPARE(DifferentRows.size(), 1);
    const int Row = DifferentRows.constFirst();
    QCOMPARE(W.FDiffItems[Row - 1].Kind, dkDifferent);
    QCOMPARE(D.Row(Row)[1].trimmed(), QStringLiteral("Price: 100 EUR"));
    QCOMPARE(D.Row(Row)[2].trimmed(), QStringLiteral("Price: 120 EUR"));
    QCOMPARE(D.Platform.Messages.size(), 1);   // the summary box alone
    QVERIFY(D.Platform.Messages[0].Text.contains(QStringLiteral("Different lines: 1.")));
    QCOMPARE(D.Platform.Pointer, TPointer::Default);
}

// The server finds no text in an empty document: that side fails with a reason that says so.
void TestWindowDocumentsTika::documentWithoutText()
{
    TWindowDriver D;
    D.Window->SetTikaEndpoint(FTika.Endpoint(), ReadTimeoutMs);
    const QString L = D.WriteBytes(QStringLiteral("blank.docx"), MakeDocx({}));
    const QString R = D.WriteBytes(QStringLiteral("text.docx"), MakeDocx({QStringLiteral("Some text")}));
    D.SetPaths(L, R);
    D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

    QCOMPARE(D.Platform.Messages.size(), 1);
    QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("warning"));
    // The server answered: the warning says what it could not read, with no advice on getting one.
    const QString Failure = QStringLiteral(
        "Comparison failed.\r\nLeft: Apache Tika could not read blank.docx (it may be damaged or encrypted).\r\nRight: OK");
    QCOMPARE(D.Platform.Messages[0].Text, Failure);
    QCOMPARE(D.Find<QLabel>("lblStatus")->text(), Failure + QStringLiteral(" No comparable lines."));
    QVERIFY(D.Window->FLeftLines.isEmpty());
    QVERIFY(D.Window->FRightLines.join('\n').contains(QStringLiteral("Some text")));
}

// Nothing answers at the endpoint; Java and the server file are here: the window starts the
// server itself, says so while it waits, compares two DOCX files with it, uses it again for the
// next comparison, and when the window goes the server goes too.
void TestWindowDocumentsTika::startsItsOwnServerAndEndsIt()
{
    const quorlane::TTikaServerFiles Files = quorlane::FindTikaServerFiles(QCoreApplication::applicationDirPath());
    QVERIFY2(Files.Complete(), "the class started a server, so Java and the jar are here");
    QUrl Endpoint(QStringLiteral("http://localhost/tika"));
    Endpoint.setPort(HttpStandIn::UnusedPort());

    auto D = std::make_unique<TWindowDriver>();
    D->Window->FFindTikaServerFiles = [Files] { return Files; };
    D->Window->SetTikaEndpoint(Endpoint, ReadTimeoutMs, ReadTimeoutMs);
    D->Window->FTikaServerStartMs = 240000;   // a cold JVM on a busy machine
    const QString L = D->WriteBytes(QStringLiteral("left.docx"), MakeDocx({QStringLiteral("Same first line"), QStringLiteral("Old price")}));
    const QString R = D->WriteBytes(QStringLiteral("right.docx"), MakeDocx({QStringLiteral("Same first line"), QStringLiteral("New price")}));
    D->SetPaths(L, R);
    QStringList Statuses;
    QTimer Watch;
    connect(&Watch, &QTimer::timeout, this, [&] {
        if (Statuses.isEmpty() || Statuses.constLast() != D->Status())
            Statuses.append(D->Status());
    });
    Watch.start(20);

    D->Click("btnCompare");

    Watch.stop();
    QVERIFY2(Statuses.contains(QStringLiteral("Starting the document text server\u2026 Press Esc to cancel.")),
             qPrintable(Statuses.join(QStringLiteral(" | "))));
    QVERIFY2(D->Platform.Messages.size() == 1 && D->Platform.Messages[0].Kind == QLatin1String("information"),
             qPrintable(D->Platform.Log().join(QStringLiteral("\n"))));
    QVERIFY(D->Window->FLeftLines.join(u'\n').contains(QStringLiteral("Old price")));
    QVERIFY(D->Window->FRightLines.join(u'\n').contains(QStringLiteral("New price")));
    QVERIFY(D->Window->FTikaServer && D->Window->FTikaServer->IsReady());
    const qint64 Pid = D->Window->FTikaServer->ProcessId();
    QVERIFY(Pid > 0);

    // The next comparison uses the same server.
    D->Platform.Clear();
    D->Click("btnCompare");
    QCOMPARE(D->Platform.Messages.size(), 1);
    QCOMPARE(D->Window->FTikaServer->ProcessId(), Pid);

    D.reset();
    QVERIFY2(::kill(pid_t(Pid), 0) != 0 && errno == ESRCH, "the server outlived the window");
    QVERIFY(!quorlane::SomethingListens(Endpoint, QEventLoop::ExcludeUserInputEvents));
}

QTEST_MAIN(TestWindowDocumentsTika)
#include "tst_window_documents_tika.moc"
