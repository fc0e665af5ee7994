// The Tika client against an in-process stand-in server: the exact request, the decoding of the
// answer, and every way the server can fail.

#include "support/core/HttpStandIn.h"
#include "tika/Tika.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(quorlane::test::TStandInAnswer)

using namespace quorlane;
using namespace quorlane::test;

class TikaClientTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void defaultEndpoint();
    void requestAsReceived();
    void emptyFileIsSentEmpty();

    void successfulAnswer_data();
    void successfulAnswer();
    void emptyAnswerIsAFailureWithoutText();

    void httpErrorStatus_data();
    void httpErrorStatus();

    void answerNotUtf8_data();
    void answerNotUtf8();

    void silentServerTimesOut();
    void slowTrickleWithinTimeoutSucceeds();
    void nothingListening();
    void brokenAnswers_data();
    void brokenAnswers();

    void unopenableFile_data();
    void unopenableFile();
    void openFileSharesWithWriters();

    void worksOnAWorkerThread();
    void consecutiveCallsAreIndependent();

    void failureText_data();
    void failureText();
    void warningText();

private:
    [[nodiscard]] QString WriteSample(const QString& Name, const QByteArray& Bytes);

    QTemporaryDir FDir;
    QString FDocument;      // every byte value, CR LF and a NUL
    QByteArray FDocumentBytes;
};

QString TikaClientTest::WriteSample(const QString& Name, const QByteArray& Bytes)
{
    const QString path = FDir.filePath(Name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Bytes) != Bytes.size()) return {};
    return path;
}

void TikaClientTest::initTestCase()
{
    QVERIFY(FDir.isValid());
    for (int i = 0; i < 256; ++i) FDocumentBytes.append(static_cast<char>(i));
    FDocumentBytes += "\r\nline two\r\n";
    FDocumentBytes += FDocumentBytes.repeated(300); // ~80 KB: more than one socket read
    FDocument = WriteSample(QStringLiteral("document.pdf"), FDocumentBytes);
    QVERIFY(!FDocument.isEmpty());
}

void TikaClientTest::defaultEndpoint()
{
    QCOMPARE(DefaultTikaEndpoint().toString(), QStringLiteral("http://localhost:9998/tika"));
    QCOMPARE(TikaReadTimeoutMs, 30000);
}

void TikaClientTest::requestAsReceived()
{
    HttpStandIn server;
    QVERIFY(server.IsListening());
    server.SetAnswer(TStandInAnswer::Respond(200, "OK", "extracted"));

    QString text, error;
    QVERIFY(ExtractTextWithTika(FDocument, text, error, server.Url()));
    QCOMPARE(error, QString());
    QCOMPARE(text, QStringLiteral("extracted"));

    QCOMPARE(server.Requests().size(), 1);
    const TRecordedRequest& request = server.Requests().first();
    QCOMPARE(request.Method, QByteArray("PUT"));
    QCOMPARE(request.Target, QByteArray("/tika"));
    QCOMPARE(request.Version, QByteArray("HTTP/1.1"));
    QCOMPARE(request.HeaderCount("Content-Type"), 1);
    QCOMPARE(request.Header("Content-Type"), QByteArray("application/octet-stream"));
    QCOMPARE(request.HeaderCount("Accept"), 1);
    QCOMPARE(request.Header("Accept"), QByteArray("text/plain; charset=utf-8"));
    QCOMPARE(request.Body.size(), FDocumentBytes.size());
    QVERIFY(request.Body == FDocumentBytes);
    for (const char* unwanted : {"Authorization", "Cookie", "Expect"}) {
        bool found = true;
        (void)request.Header(unwanted, &found);
        QVERIFY2(!found, unwanted);
    }
}

void TikaClientTest::emptyFileIsSentEmpty()
{
    HttpStandIn server;
    const QString empty = WriteSample(QStringLiteral("empty.docx"), {});
    QString text, error;
    QVERIFY(ExtractTextWithTika(empty, text, error, server.Url()));
    QCOMPARE(server.Requests().size(), 1);
    QCOMPARE(server.Requests().first().Method, QByteArray("PUT"));
    QVERIFY(server.Requests().first().Body.isEmpty());
}

void TikaClientTest::successfulAnswer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << QByteArray("Hello world\n") << QByteArray("text/plain; charset=UTF-8")
                           << QStringLiteral("Hello world\n");
    QTest::newRow("multi-byte and astral")
        << QByteArray("Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80")
        << QByteArray("text/plain; charset=UTF-8")
        << QStringLiteral("Grüße — 日本 ") + QString::fromUcs4(U"\U0001F600", 1);
    // The declared charset is not trusted: the answer is always UTF-8.
    QTest::newRow("declared latin-1, sent utf-8") << QByteArray("caf\xC3\xA9") << QByteArray("text/plain; charset=ISO-8859-1")
                                                   << QStringLiteral("café");
    QTest::newRow("line breaks kept") << QByteArray("a\r\nb\rc\n\n") << QByteArray("text/plain")
                                      << QStringLiteral("a\r\nb\rc\n\n");
    QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBFtext") << QByteArray("text/plain")
                                             << QStringLiteral("text");
    QTest::newRow("only a line break") << QByteArray("\n") << QByteArray("text/plain") << QStringLiteral("\n");
    const QByteArray big = QByteArray("\xC3\xA4 line of extracted text\n").repeated(40000);
    QTest::newRow("1 MB") << big << QByteArray("text/plain") << QString::fromUtf8(big);
}

void TikaClientTest::successfulAnswer()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, expected);

    HttpStandIn server;
    TStandInAnswer answer = TStandInAnswer::Respond(200, "OK", body);
    answer.Headers = {{"Content-Type", contentType}};
    server.SetAnswer(answer);

    QString text = QStringLiteral("stale"), error = QStringLiteral("stale");
    QVERIFY(ExtractTextWithTika(FDocument, text, error, server.Url()));
    QCOMPARE(error, QString());
    QCOMPARE(text.size(), expected.size());
    QCOMPARE(text, expected);
}

void TikaClientTest::emptyAnswerIsAFailureWithoutText()
{
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Respond(200, "OK", {}));
    QString text = QStringLiteral("stale"), error = QStringLiteral("stale");
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, server.Url()));
    QCOMPARE(text, QString());
    QCOMPARE(error, QString());

    // 204 carries no body either.
    TStandInAnswer noContent = TStandInAnswer::Respond(204, "No Content", {});
    noContent.Headers.clear();
    server.SetAnswer(noContent);
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, server.Url()));
    QCOMPARE(error, QString());
}

void TikaClientTest::httpErrorStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("422") << 422 << QByteArray("Unprocessable Entity") << QByteArray()
                         << QStringLiteral("HTTP error (422): Unprocessable Entity");
    QTest::newRow("500 with a text body") << 500 << QByteArray("Server Error") << QByteArray("stack trace")
                                          << QStringLiteral("HTTP error (500): Server Error");
    QTest::newRow("own reason phrase") << 503 << QByteArray("Tika Is Busy Now") << QByteArray()
                                       << QStringLiteral("HTTP error (503): Tika Is Busy Now");
    QTest::newRow("404") << 404 << QByteArray("Not Found") << QByteArray("no such path")
                         << QStringLiteral("HTTP error (404): Not Found");
    QTest::newRow("no reason phrase") << 415 << QByteArray() << QByteArray()
                                      << QStringLiteral("HTTP error (415): Unsupported Media Type");
    // A redirect is not followed: the document is not sent a second time.
    QTest::newRow("redirect") << 307 << QByteArray("Temporary Redirect") << QByteArray()
                              << QStringLiteral("HTTP error (307): Temporary Redirect");
}

void TikaClientTest::httpErrorStatus()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reason);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);

    HttpStandIn server;
    TStandInAnswer answer = TStandInAnswer::Respond(status, reason, body);
    if (status / 100 == 3) answer.Headers.append({"Location", server.Url(QStringLiteral("/elsewhere")).toEncoded()});
    server.SetAnswer(answer);

    QString text = QStringLiteral("stale"), error;
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, server.Url()));
    QCOMPARE(error, expected);
    QCOMPARE(text, QString());
    QCOMPARE(server.Requests().size(), 1);
}

void TikaClientTest::answerNotUtf8_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("where");

    QTest::newRow("latin-1") << QByteArray("Gr\xFC\xDF" "e") << QStringLiteral("byte 0xFC at offset 2");
    QTest::newRow("stray continuation") << QByteArray("ok\x80") << QStringLiteral("byte 0x80 at offset 2");
    QTest::newRow("overlong slash") << QByteArray("a\xC0\xAF") << QStringLiteral("byte 0xC0 at offset 1");
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << QStringLiteral("byte 0xE0 at offset 0");
    QTest::newRow("encoded surrogate") << QByteArray("x\xED\xA0\x80y") << QStringLiteral("byte 0xED at offset 1");
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QStringLiteral("byte 0xF4 at offset 0");
    QTest::newRow("cut off at the end") << QByteArray("euro \xE2\x82") << QStringLiteral("byte 0xE2 at offset 5");
    QTest::newRow("late in a long text") << QByteArray("a").repeated(5000) + "\xFF"
                                         << QStringLiteral("byte 0xFF at offset 5000");
}

void TikaClientTest::answerNotUtf8()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, where);

    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Respond(200, "OK", body));
    QString text = QStringLiteral("stale"), error;
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, server.Url()));
    QCOMPARE(text, QString());
    QCOMPARE(error, QStringLiteral("Error: The text sent by the Tika server is not valid UTF-8 (%1).").arg(where));
}

void TikaClientTest::silentServerTimesOut()
{
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Silent());
    QString text, error;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, server.Url(), 500));
    const qint64 waited = clock.elapsed();
    QCOMPARE(error, QStringLiteral("Error: The Tika server did not answer within 0.5 seconds."));
    QCOMPARE(text, QString());
    QCOMPARE(server.Requests().size(), 1); // the whole document had arrived before the silence
    QVERIFY2(waited >= 400, qPrintable(QString::number(waited)));
    QVERIFY2(waited < 20000, qPrintable(QString::number(waited))); // not the default 30 s
}

void TikaClientTest::slowTrickleWithinTimeoutSucceeds()
{
    // The time-out counts silence, not the whole answer: six pieces 300 ms apart outlast 1.2 s.
    HttpStandIn server;
    const QByteArray body = QByteArray("slow but steady\n").repeated(6);
    server.SetAnswer(TStandInAnswer::Trickle(body, 6, 300));
    QString text, error;
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(ExtractTextWithTika(FDocument, text, error, server.Url(), 1200), qPrintable(error));
    QVERIFY(clock.elapsed() >= 1200);
    QCOMPARE(text, QString::fromLatin1(body));
}

void TikaClientTest::nothingListening()
{
    QUrl url = QUrl(QStringLiteral("http://127.0.0.1/tika"));
    url.setPort(HttpStandIn::UnusedPort());
    QString text, error;
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, url, 5000));
    QCOMPARE(text, QString());
    QVERIFY2(error.startsWith(QStringLiteral("Error: ")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("refused"), Qt::CaseInsensitive), qPrintable(error));
}

void TikaClientTest::brokenAnswers_data()
{
    QTest::addColumn<TStandInAnswer>("answer");
    QTest::newRow("garbage instead of HTTP") << TStandInAnswer::Raw("this is not HTTP at all\r\n\r\n");
    QTest::newRow("closed without answer") << TStandInAnswer::CloseWithoutAnswer();
    QTest::newRow("body shorter than announced")
        << TStandInAnswer::Raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
}

void TikaClientTest::brokenAnswers()
{
    QFETCH(TStandInAnswer, answer);
    HttpStandIn server;
    server.SetAnswer(answer);
    QString text, error;
    QVERIFY(!ExtractTextWithTika(FDocument, text, error, server.Url(), 5000));
    QCOMPARE(text, QString());
    QVERIFY2(error.startsWith(QStringLiteral("Error: ")), qPrintable(error));
    QVERIFY2(error.size() > 7, qPrintable(error)); // says what went wrong
    QVERIFY2(!error.contains(QStringLiteral("did not answer within")), qPrintable(error));
}

void TikaClientTest::unopenableFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QStringLiteral("no-such-file.pdf") << QStringLiteral("No such file or directory");
    QTest::newRow("a folder") << QStringLiteral("folder.docx") << QString();
}

void TikaClientTest::unopenableFile()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(FDir.path()).mkpath(QStringLiteral("folder.docx")));
    const QString path = FDir.filePath(name);

    QString openError;
    QVERIFY(OpenFileForReading(path, openError) == nullptr);
    const QString prefix = QStringLiteral("EFOpenError: Cannot open file \"%1\". ").arg(QDir::toNativeSeparators(path));
    QVERIFY2(openError.startsWith(prefix), qPrintable(openError));
    QVERIFY2(openError.size() > prefix.size(), qPrintable(openError));
    if (!reason.isEmpty()) QCOMPARE(openError, prefix + reason);

    HttpStandIn server;
    QString text = QStringLiteral("stale"), error;
    QVERIFY(!ExtractTextWithTika(path, text, error, server.Url()));
    QCOMPARE(error, openError);
    QCOMPARE(text, QString());
    QCOMPARE(server.ConnectionCount(), 0); // nothing was sent
}

void TikaClientTest::openFileSharesWithWriters()
{
    const QString path = WriteSample(QStringLiteral("shared.txt"), "before");
    QFile writer(path);
    QVERIFY(writer.open(QIODevice::ReadWrite));
    QString error;
    const std::unique_ptr<QFile> reader = OpenFileForReading(path, error);
    QVERIFY2(reader, qPrintable(error));
    QCOMPARE(error, QString());
    QVERIFY(reader->isReadable());
    QVERIFY(!reader->isWritable());
    QVERIFY(writer.write("after!") == 6 && writer.flush());
    QCOMPARE(reader->readAll(), QByteArray("after!"));
}

void TikaClientTest::worksOnAWorkerThread()
{
    // The server stays on this thread; the client runs and cleans up on its own.
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Respond(200, "OK", "from a worker"));
    bool ok = false;
    QString text, error;
    const QUrl url = server.Url();
    const QString document = FDocument;
    std::unique_ptr<QThread> worker(QThread::create([&] { ok = ExtractTextWithTika(document, text, error, url, 10000); }));
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->start();
    QVERIFY(finished.wait(30000));
    QVERIFY(worker->wait(5000));
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(text, QStringLiteral("from a worker"));
    QCOMPARE(server.Requests().size(), 1);
}

void TikaClientTest::consecutiveCallsAreIndependent()
{
    // Left fails, right succeeds: the second call must not see the first one's leftovers.
    HttpStandIn server;
    server.SetAnswers({TStandInAnswer::Respond(422, "Unprocessable Entity", {}),
                       TStandInAnswer::Respond(200, "OK", "right text\n")});
    QString leftText, leftError, rightText, rightError;
    QVERIFY(!ExtractTextWithTika(FDocument, leftText, leftError, server.Url()));
    QVERIFY(ExtractTextWithTika(FDocument, rightText, rightError, server.Url()));
    QCOMPARE(leftError, QStringLiteral("HTTP error (422): Unprocessable Entity"));
    QCOMPARE(leftText, QString());
    QCOMPARE(rightError, QString());
    QCOMPARE(rightText, QStringLiteral("right text\n"));
    QCOMPARE(server.Requests().size(), 2);
}

void TikaClientTest::failureText_data()
{
    QTest::addColumn<bool>("leftOk");
    QTest::addColumn<QString>("leftError");
    QTest::addColumn<bool>("rightOk");
    QTest::addColumn<QString>("rightError");
    QTest::addColumn<QString>("expected");

    QTest::newRow("both refused")
        << false << QStringLiteral("Error: Connection refused") << false << QStringLiteral("Error: Connection refused")
        << QStringLiteral("Comparison failed.\r\nLeft: Error: Connection refused\r\nRight: Error: Connection refused");
    QTest::newRow("left 422, right ok")
        << false << QStringLiteral("HTTP error (422): Unprocessable Entity") << true << QString()
        << QStringLiteral("Comparison failed.\r\nLeft: HTTP error (422): Unprocessable Entity\r\nRight: OK");
    QTest::newRow("left ok, right empty document")
        << true << QString() << false << QString()
        << QStringLiteral("Comparison failed.\r\nLeft: OK\r\nRight: ");
    QTest::newRow("left empty document") << false << QString() << true << QString()
                                         << QStringLiteral("Comparison failed.\r\nLeft: \r\nRight: OK");
}

void TikaClientTest::failureText()
{
    QFETCH(bool, leftOk);
    QFETCH(QString, leftError);
    QFETCH(bool, rightOk);
    QFETCH(QString, rightError);
    QFETCH(QString, expected);
    QCOMPARE(ComposeTikaFailureText(leftOk, leftError, rightOk, rightError), expected);
}

void TikaClientTest::warningText()
{
    const QString failure = ComposeTikaFailureText(false, QStringLiteral("Error: x"), true, {});
    QCOMPARE(TikaFailureWarningText(failure),
             QStringLiteral("Comparison failed.\r\nLeft: Error: x\r\nRight: OK\r\n\r\n"
                            "Perhaps you opted out of installing TIKA? If so, please reinstall Quorlane and "
                            "confirm the TIKA installation when prompted."));
    QVERIFY(TikaFailureWarningText(failure, QStringLiteral("Other")).contains(QStringLiteral("reinstall Other and")));
}

QTEST_GUILESS_MAIN(TikaClientTest)
#include "tst_tika_client.moc"
