// The Tika client against the real Apache Tika server, started once for the class on a free
// 127.0.0.1 port, with DOCX and PDF documents generated here.
//
// The server's jar comes from QUORLANE_TIKA_JAR (scripts/test.sh fetches it) or the cache of
// scripts/tika-server.sh. Without it, or without Java, the class is skipped loudly.

#include "support/core/DocumentFixtures.h"
#include "support/core/HttpStandIn.h"
#include "tika/Tika.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

using namespace quorlane;
using namespace quorlane::test;

namespace {

constexpr int StartAttempts = 3;       // a free port can be taken between probing and binding
constexpr int StartWaitMs = 240000;    // generous: a busy 2-core machine, a cold JVM
constexpr int ExtractTimeoutMs = 120000;

QString FindTikaJar()
{
    const QString fromEnv = qEnvironmentVariable("QUORLANE_TIKA_JAR");
    if (!fromEnv.isEmpty()) return QFileInfo(fromEnv).isFile() ? fromEnv : QString();
    QString cache = qEnvironmentVariable("QUORLANE_TIKA_CACHE");
    if (cache.isEmpty()) {
        const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME");
        cache = (xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : xdg) + QStringLiteral("/quorlane/tika");
    }
    const QFileInfoList jars = QDir(cache).entryInfoList({QStringLiteral("tika-server-standard-*.jar")}, QDir::Files,
                                                         QDir::Name | QDir::Reversed);
    return jars.isEmpty() ? QString() : jars.first().absoluteFilePath();
}

// The status of GET Url, 0 when there was no HTTP answer; Body receives the answer.
int HttpGet(const QUrl& Url, QByteArray& Body)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(Url);
    request.setTransferTimeout(10000);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    Body = reply->readAll();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString Tail(const QString& FileName, int MaxBytes = 4000)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("(no log)");
    if (file.size() > MaxBytes) file.seek(file.size() - MaxBytes);
    return QString::fromUtf8(file.readAll());
}

void WarnLoudly(const QString& Why)
{
    const QByteArray line(78, '!');
    qWarning("%s\nTIKA SERVER NOT AVAILABLE: %s\nThe tests against the real Apache Tika server are SKIPPED.\n"
             "Fetch it with: bash scripts/tika-server.sh fetch\n%s",
             line.constData(), qPrintable(Why), line.constData());
}

} // namespace

class TikaServerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void extractsText_data();
    void extractsText();
    void equalAndDifferentDocuments_data();
    void equalAndDifferentDocuments();
    void documentWithoutText();
    void brokenDocumentIsRefused();

private:
    [[nodiscard]] bool StartServer(const QString& Java, const QString& Jar, QString& Why);
    [[nodiscard]] QString Write(const QString& Name, const QByteArray& Bytes);
    [[nodiscard]] QString Extract(const QString& FileName);

    QTemporaryDir FDir;
    QProcess FServer;
    QUrl FEndpoint;
    QString FLog;
    int FCount = 0;
};

bool TikaServerTest::StartServer(const QString& Java, const QString& Jar, QString& Why)
{
    const quint16 port = HttpStandIn::UnusedPort();
    FEndpoint = QUrl(QStringLiteral("http://127.0.0.1/tika"));
    FEndpoint.setPort(port);
    QUrl version = FEndpoint;
    version.setPath(QStringLiteral("/version"));

    FServer.setProgram(Java);
    // -noFork keeps it one process, so stopping it leaves no child behind.
    FServer.setArguments({QStringLiteral("-Xmx1g"), QStringLiteral("-jar"), Jar, QStringLiteral("-noFork"),
                          QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port)});
    FServer.setProcessChannelMode(QProcess::MergedChannels);
    FServer.setStandardOutputFile(FLog, QIODevice::Append); // a file, so a full pipe never stalls the server
    FServer.setStandardInputFile(QProcess::nullDevice());
    // Should this test die without its cleanup, the server goes with it.
    FServer.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    FServer.start();
    if (!FServer.waitForStarted(30000)) {
        Why = QStringLiteral("could not start %1: %2").arg(Java, FServer.errorString());
        return false;
    }

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < StartWaitMs) {
        if (FServer.state() == QProcess::NotRunning) {
            Why = QStringLiteral("the server exited (code %1) while starting on port %2")
                      .arg(FServer.exitCode()).arg(port);
            return false;
        }
        QByteArray body;
        if (HttpGet(version, body) == 200 && body.contains("Tika")) {
            qInfo("Tika server \"%s\" answered on port %u after %lld ms", body.trimmed().constData(), port,
                  static_cast<long long>(clock.elapsed()));
            return true;
        }
        QTest::qWait(500);
    }
    Why = QStringLiteral("the server did not answer within %1 s").arg(StartWaitMs / 1000);
    FServer.kill();
    FServer.waitForFinished(10000);
    return false;
}

void TikaServerTest::initTestCase()
{
    QVERIFY(FDir.isValid());
    FLog = FDir.filePath(QStringLiteral("tika-server.log"));

    const QString jar = FindTikaJar();
    if (jar.isEmpty()) {
        WarnLoudly(QStringLiteral("no tika-server-standard jar (QUORLANE_TIKA_JAR is unset or names no file, "
                                  "and the cache holds none)"));
        QSKIP("TIKA SERVER NOT AVAILABLE: no tika-server-standard jar");
    }
    const QString java = QStandardPaths::findExecutable(QStringLiteral("java"));
    if (java.isEmpty()) {
        WarnLoudly(QStringLiteral("no java on the PATH"));
        QSKIP("TIKA SERVER NOT AVAILABLE: no java");
    }
    qInfo("Starting %s", qPrintable(jar));

    QString why;
    for (int attempt = 1; attempt <= StartAttempts; ++attempt) {
        if (StartServer(java, jar, why)) return;
        qWarning("Tika server start %d of %d failed: %s", attempt, StartAttempts, qPrintable(why));
    }
    QFAIL(qPrintable(QStringLiteral("The Tika server could not be started: %1\n--- server log ---\n%2")
                         .arg(why, Tail(FLog))));
}

void TikaServerTest::cleanupTestCase()
{
    if (FServer.state() == QProcess::NotRunning) return;
    FServer.terminate();
    if (!FServer.waitForFinished(30000)) {
        FServer.kill();
        FServer.waitForFinished(10000);
    }
    QCOMPARE(FServer.state(), QProcess::NotRunning);
}

QString TikaServerTest::Write(const QString& Name, const QByteArray& Bytes)
{
    const QString path = FDir.filePath(Name);
    return WriteBytes(path, Bytes) ? path : QString();
}

QString TikaServerTest::Extract(const QString& FileName)
{
    QString text, error;
    const bool ok = ExtractTextWithTika(FileName, text, error, FEndpoint, ExtractTimeoutMs);
    if (!ok) qWarning("extraction of %s failed: \"%s\"", qPrintable(FileName), qPrintable(error));
    return ok ? text : QString();
}

void TikaServerTest::extractsText_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("lines");

    const QStringList plain{QStringLiteral("The quick brown fox"), QStringLiteral("jumps over the lazy dog."),
                            QStringLiteral("Café (in parentheses) and a back\\slash")};
    QTest::newRow("docx") << MakeDocx(plain) << plain;
    QTest::newRow("pdf") << MakePdf(plain) << plain;
    const QStringList unicode{QStringLiteral("Grüße aus Köln"), QStringLiteral("Ελληνικά και 日本語"),
                              QStringLiteral("Markup <b>&amp;</b> \"stays\" text")};
    QTest::newRow("docx, beyond Latin-1 and markup characters") << MakeDocx(unicode) << unicode;
    QStringList many;
    for (int i = 1; i <= 2000; ++i) many << QStringLiteral("Paragraph number %1 of the long document").arg(i);
    QTest::newRow("docx, 2000 paragraphs") << MakeDocx(many) << many;
}

void TikaServerTest::extractsText()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, lines);
    const QString path = Write(QStringLiteral("extract-%1.bin").arg(++FCount), document);
    QVERIFY(!path.isEmpty());

    QString text, error;
    QVERIFY2(ExtractTextWithTika(path, text, error, FEndpoint, ExtractTimeoutMs), qPrintable(error));
    QCOMPARE(error, QString());
    // Every line comes back whole, on a line of its own, in order.
    const QStringList got = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList trimmed;
    for (const QString& line : got) trimmed << line.trimmed();
    trimmed.removeAll(QString());
    QCOMPARE(trimmed, lines);
}

void TikaServerTest::equalAndDifferentDocuments_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("docx") << QStringLiteral("docx");
    QTest::newRow("pdf") << QStringLiteral("pdf");
}

void TikaServerTest::equalAndDifferentDocuments()
{
    QFETCH(QString, kind);
    const auto make = [&](const QStringList& Lines) { return kind == QLatin1String("docx") ? MakeDocx(Lines) : MakePdf(Lines); };
    const QStringList original{QStringLiteral("Contract between the parties"), QStringLiteral("Price: 100 EUR"),
                               QStringLiteral("Signed in Berlin")};
    QStringList changed = original;
    changed[1] = QStringLiteral("Price: 120 EUR");

    const QString left = Write(QStringLiteral("left.") + kind, make(original));
    const QString same = Write(QStringLiteral("same.") + kind, make(original));
    const QString other = Write(QStringLiteral("other.") + kind, make(changed));
    QVERIFY(!left.isEmpty() && !same.isEmpty() && !other.isEmpty());

    const QString leftText = Extract(left);
    const QString sameText = Extract(same);
    const QString otherText = Extract(other);
    QVERIFY(!leftText.isEmpty() && !sameText.isEmpty() && !otherText.isEmpty());

    QCOMPARE(sameText, leftText);
    QVERIFY(otherText != leftText);
    QVERIFY(leftText.contains(QStringLiteral("Price: 100 EUR")));
    QVERIFY(!leftText.contains(QStringLiteral("120")));
    QVERIFY(otherText.contains(QStringLiteral("Price: 120 EUR")));
    // Only the changed line differs.
    QString patched = otherText;
    patched.replace(QStringLiteral("120"), QStringLiteral("100"));
    QCOMPARE(patched, leftText);
}

void TikaServerTest::documentWithoutText()
{
    // Tika answers 200 with an empty body: a failure with an empty error text.
    const QString path = Write(QStringLiteral("blank.docx"), MakeDocx({}));
    QString text = QStringLiteral("stale"), error = QStringLiteral("stale");
    QVERIFY(!ExtractTextWithTika(path, text, error, FEndpoint, ExtractTimeoutMs));
    QCOMPARE(text, QString());
    QCOMPARE(error, QString());
}

void TikaServerTest::brokenDocumentIsRefused()
{
    const QByteArray pdf = MakePdf({QStringLiteral("cut short")});
    const QString path = Write(QStringLiteral("broken.pdf"), pdf.left(20));
    QString text, error;
    QVERIFY(!ExtractTextWithTika(path, text, error, FEndpoint, ExtractTimeoutMs));
    QCOMPARE(text, QString());
    QVERIFY2(error.startsWith(QStringLiteral("HTTP error (422): ")), qPrintable(error));
    QVERIFY2(error.size() > QStringLiteral("HTTP error (422): ").size(), qPrintable(error));
}

QTEST_GUILESS_MAIN(TikaServerTest)
#include "tst_tika_server.moc"
