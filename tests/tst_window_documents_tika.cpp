// The document comparison of the real window against the real Apache Tika server, started once
// for the class on a free 127.0.0.1 port, with DOCX and PDF documents generated here.
//
// The server's jar comes from QUORLANE_TIKA_JAR or the cache of scripts/tika-server.sh. Without
// it, or without Java, the class is skipped loudly.

#include "support/app/WindowDriver.h"
#include "support/core/DocumentFixtures.h"
#include "support/core/HttpStandIn.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

using namespace quorlane::test;

namespace {

constexpr int StartAttempts = 3;       // a free port can be taken between probing and binding
constexpr int StartWaitMs = 240000;    // a busy 2-core machine, a cold JVM
constexpr int ReadTimeoutMs = 120000;  // the first parse of a cold server can be slow

QString FindTikaJar()
{
    const QString FromEnv = qEnvironmentVariable("QUORLANE_TIKA_JAR");
    if (!FromEnv.isEmpty())
        return QFileInfo(FromEnv).isFile() ? FromEnv : QString();
    QString Cache = qEnvironmentVariable("QUORLANE_TIKA_CACHE");
    if (Cache.isEmpty()) {
        const QString Xdg = qEnvironmentVariable("XDG_CACHE_HOME");
        Cache = (Xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : Xdg) + QStringLiteral("/quorlane/tika");
    }
    const QFileInfoList Jars = QDir(Cache).entryInfoList({QStringLiteral("tika-server-standard-*.jar")}, QDir::Files,
                                                         QDir::Name | QDir::Reversed);
    return Jars.isEmpty() ? QString() : Jars.first().absoluteFilePath();
}

// The status of GET Url, 0 when there was no HTTP answer.
int HttpGet(const QUrl& Url, QByteArray& Body)
{
    QNetworkAccessManager Manager;
    Manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest Request(Url);
    Request.setTransferTimeout(10000);
    std::unique_ptr<QNetworkReply> Reply(Manager.get(Request));
    QEventLoop Loop;
    QObject::connect(Reply.get(), &QNetworkReply::finished, &Loop, &QEventLoop::quit);
    if (!Reply->isFinished())
        Loop.exec();
    Body = Reply->readAll();
    return Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString Tail(const QString& FileName, int MaxBytes = 4000)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        return QStringLiteral("(no log)");
    if (File.size() > MaxBytes)
        File.seek(File.size() - MaxBytes);
    return QString::fromUtf8(File.readAll());
}

void WarnLoudly(const QString& Why)
{
    const QByteArray Line(78, '!');
    qWarning("%s\nTIKA SERVER NOT AVAILABLE: %s\nThe window tests against the real Apache Tika server are SKIPPED.\n"
             "Fetch it with: bash scripts/tika-server.sh fetch\n%s",
             Line.constData(), qPrintable(Why), Line.constData());
}

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

private:
    [[nodiscard]] bool StartServer(const QString& Java, const QString& Jar, QString& Why);

    QTemporaryDir FDir;
    QProcess FServer;
    QUrl FEndpoint;
    QString FLog;
};

bool TestWindowDocumentsTika::StartServer(const QString& Java, const QString& Jar, QString& Why)
{
    const quint16 Port = HttpStandIn::UnusedPort();
    FEndpoint = QUrl(QStringLiteral("http://127.0.0.1/tika"));
    FEndpoint.setPort(Port);
    QUrl Version = FEndpoint;
    Version.setPath(QStringLiteral("/version"));

    FServer.setProgram(Java);
    // -noFork keeps it one process, so stopping it leaves no child behind.
    FServer.setArguments({QStringLiteral("-Xmx1g"), QStringLiteral("-jar"), Jar, QStringLiteral("-noFork"),
                          QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(Port)});
    FServer.setProcessChannelMode(QProcess::MergedChannels);
    FServer.setStandardOutputFile(FLog, QIODevice::Append);   // a file, so a full pipe never stalls the server
    FServer.setStandardInputFile(QProcess::nullDevice());
    FServer.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    FServer.start();
    if (!FServer.waitForStarted(30000)) {
        Why = QStringLiteral("could not start %1: %2").arg(Java, FServer.errorString());
        return false;
    }
    QElapsedTimer Clock;
    Clock.start();
    while (Clock.elapsed() < StartWaitMs) {
        if (FServer.state() == QProcess::NotRunning) {
            Why = QStringLiteral("the server exited (code %1) while starting on port %2").arg(FServer.exitCode()).arg(Port);
            return false;
        }
        QByteArray Body;
        if (HttpGet(Version, Body) == 200 && Body.contains("Tika")) {
            qInfo("Tika server \"%s\" answered on port %u after %lld ms", Body.trimmed().constData(), Port,
                  static_cast<long long>(Clock.elapsed()));
            return true;
        }
        QTest::qWait(500);
    }
    Why = QStringLiteral("the server did not answer within %1 s").arg(StartWaitMs / 1000);
    FServer.kill();
    FServer.waitForFinished(10000);
    return false;
}

void TestWindowDocumentsTika::initTestCase()
{
    QVERIFY(FDir.isValid());
    FLog = FDir.filePath(QStringLiteral("tika-server.log"));
    const QString Jar = FindTikaJar();
    if (Jar.isEmpty()) {
        WarnLoudly(QStringLiteral("no tika-server-standard jar (QUORLANE_TIKA_JAR is unset or names no file, "
                                  "and the cache holds none)"));
        QSKIP("TIKA SERVER NOT AVAILABLE: no tika-server-standard jar");
    }
    const QString Java = QStandardPaths::findExecutable(QStringLiteral("java"));
    if (Java.isEmpty()) {
        WarnLoudly(QStringLiteral("no java on the PATH"));
        QSKIP("TIKA SERVER NOT AVAILABLE: no java");
    }
    QString Why;
    for (int Attempt = 1; Attempt <= StartAttempts; ++Attempt) {
        if (StartServer(Java, Jar, Why))
            return;
        qWarning("Tika server start %d of %d failed: %s", Attempt, StartAttempts, qPrintable(Why));
    }
    QFAIL(qPrintable(QStringLiteral("The Tika server could not be started: %1\n--- server log ---\n%2").arg(Why, Tail(FLog))));
}

void TestWindowDocumentsTika::cleanupTestCase()
{
    if (FServer.state() == QProcess::NotRunning)
        return;
    FServer.terminate();
    if (!FServer.waitForFinished(30000)) {
        FServer.kill();
        FServer.waitForFinished(10000);
    }
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
    D.Window->SetTikaEndpoint(FEndpoint, ReadTimeoutMs);
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

// The server finds no text in an empty document: that side fails with an empty error.
void TestWindowDocumentsTika::documentWithoutText()
{
    TWindowDriver D;
    D.Window->SetTikaEndpoint(FEndpoint, ReadTimeoutMs);
    const QString L = D.WriteBytes(QStringLiteral("blank.docx"), MakeDocx({}));
    const QString R = D.WriteBytes(QStringLiteral("text.docx"), MakeDocx({QStringLiteral("Some text")}));
    D.SetPaths(L, R);
    D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

    QCOMPARE(D.Platform.Messages.size(), 1);
    QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("warning"));
    QVERIFY2(D.Platform.Messages[0].Text.startsWith(QStringLiteral("Comparison failed.\r\nLeft: \r\nRight: OK\r\n\r\n")),
             qPrintable(D.Platform.Messages[0].Text));
    QCOMPARE(D.Find<QLabel>("lblStatus")->text(),
             QStringLiteral("Comparison failed.\r\nLeft: \r\nRight: OK No comparable lines."));
    QVERIFY(D.Window->FLeftLines.isEmpty());
    QVERIFY(D.Window->FRightLines.join('\n').contains(QStringLiteral("Some text")));
}

QTEST_MAIN(TestWindowDocumentsTika)
#include "tst_window_documents_tika.moc"
