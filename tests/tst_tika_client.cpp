// The Tika client against an in-process stand-in server: the exact request, the decoding of the
// answer, and every way the server can fail.

#include "support/core/HttpStandIn.h"
#include "text/TextFile.h"
#include "tika/Tika.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QScopeGuard>
#include <QFileInfo>
#include <QtTest>

#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    void decoderSplitsLikeTextFilesWhereverPiecesEnd_data();
    void decoderSplitsLikeTextFilesWhereverPiecesEnd();
    void decoderFindsBadBytesAcrossPieces();
    void decoderLimits_data();
    void decoderLimits();
    void emptyAnswer_data();
    void emptyAnswer();

    void httpErrorStatus_data();
    void httpErrorStatus();

    void answerNotUtf8_data();
    void answerNotUtf8();

    void silentServerTimesOut();
    void slowTrickleWithinTimeoutSucceeds();
    void trickleEndsAtTheDeadline();
    void cancelEndsTheWait();
    void cancelledBeforehandSendsNothing();
    void nothingListening();
    void brokenAnswers_data();
    void brokenAnswers();

    void connectionResetIsASentence_data();
    void connectionResetIsASentence();
    void unopenableFile_data();
    void unopenableFile();
    void openFileSharesWithWriters();

    void worksOnAWorkerThread();
    void consecutiveCallsAreIndependent();

    void failureText_data();
    void failureText();

private:
    [[nodiscard]] static TTikaExtraction Extract(const QString& FileName, const QUrl& Url, int ReadTimeoutMs = TikaReadTimeoutMs,
                                                 int DeadlineMs = TikaDeadlineMs);
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

TTikaExtraction TikaClientTest::Extract(const QString& FileName, const QUrl& Url, int ReadTimeoutMs, int DeadlineMs)
{
    TTikaRequest request;
    request.Endpoint = Url;
    request.ReadTimeoutMs = ReadTimeoutMs;
    request.DeadlineMs = DeadlineMs;
    return ExtractTextWithTika(FileName, request);
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

    const TTikaExtraction result = Extract(FDocument, server.Url());
    QVERIFY(result.Ok);
    QCOMPARE(result.Error, QString());
    QCOMPARE(result.Lines, QStringList{QStringLiteral("extracted")});

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
    QVERIFY(Extract(empty, server.Url()).Ok);
    QCOMPARE(server.Requests().size(), 1);
    QCOMPARE(server.Requests().first().Method, QByteArray("PUT"));
    QVERIFY(server.Requests().first().Body.isEmpty());
}

void TikaClientTest::successfulAnswer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("ascii") << QByteArray("Hello world\n") << QByteArray("text/plain; charset=UTF-8")
                           << QStringList{"Hello world"};
    QTest::newRow("multi-byte and astral")
        << QByteArray("Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80")
        << QByteArray("text/plain; charset=UTF-8")
        << QStringList{QStringLiteral("Grüße — 日本 ") + QString::fromUcs4(U"\U0001F600", 1)};
    // The declared charset is not trusted: the answer is always UTF-8.
    QTest::newRow("declared latin-1, sent utf-8") << QByteArray("caf\xC3\xA9") << QByteArray("text/plain; charset=ISO-8859-1")
                                                   << QStringList{QStringLiteral("café")};
    QTest::newRow("every line break, no empty last line") << QByteArray("a\r\nb\rc\n\n") << QByteArray("text/plain")
                                                          << QStringList{"a", "b", "c", ""};
    QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBFtext") << QByteArray("text/plain")
                                             << QStringList{"text"};
    QTest::newRow("only a line break") << QByteArray("\n") << QByteArray("text/plain") << QStringList{""};
    const QByteArray big = QByteArray("\xC3\xA4 line of extracted text\n").repeated(40000);
    QTest::newRow("1 MB") << big << QByteArray("text/plain") << SplitTextLines(QString::fromUtf8(big));
}

void TikaClientTest::successfulAnswer()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QStringList, expected);

    HttpStandIn server;
    TStandInAnswer answer = TStandInAnswer::Respond(200, "OK", body);
    answer.Headers = {{"Content-Type", contentType}};
    server.SetAnswer(answer);

    const TTikaExtraction result = Extract(FDocument, server.Url());
    QVERIFY2(result.Ok, qPrintable(result.Error));
    QCOMPARE(result.Error, QString());
    QCOMPARE(result.Lines.size(), expected.size());
    QCOMPARE(result.Lines, expected);
}

void TikaClientTest::decoderSplitsLikeTextFilesWhereverPiecesEnd_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("CR LF, lone CR, LF, blank lines") << QByteArray("one\r\ntwo\rthree\n\nfour\r\r\nfive\r");
    QTest::newRow("multi-byte and astral") << QByteArray("\xC3\xA4\xE2\x82\xAC\r\n\xF0\x9F\x98\x80x\n\xE6\x97\xA5");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFinner mark stays\r\n");
    QTest::newRow("only breaks") << QByteArray("\r\n\n\r\r");
    QTest::newRow("no break at all") << QByteArray("a single line");
}

// The lines are those of the text files' rule for the whole answer, wherever the pieces end:
// inside a CR LF, inside a character, inside the byte-order mark.
void TikaClientTest::decoderSplitsLikeTextFilesWhereverPiecesEnd()
{
    QFETCH(QByteArray, body);
    QStringDecoder keepMarks(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString whole = keepMarks.decode(body);
    if (whole.startsWith(QChar(0xFEFF))) whole.remove(0, 1);
    const QStringList expected = SplitTextLines(whole);
    for (qsizetype first = 0; first <= body.size(); ++first) {
        for (qsizetype second = first; second <= body.size(); ++second) {
            TTikaAnswerDecoder decoder;
            QVERIFY(decoder.Feed(body.constData(), first));
            QVERIFY(decoder.Feed(body.constData() + first, second - first));
            QVERIFY(decoder.Feed(body.constData() + second, body.size() - second));
            QVERIFY2(decoder.Finish(), qPrintable(decoder.Error()));
            QCOMPARE(decoder.TakeLines(), expected);
        }
    }
}

void TikaClientTest::decoderFindsBadBytesAcrossPieces()
{
    // Byte by byte, the offset is still that of the sequence's first byte.
    const QByteArray body = QByteArray("ok \xE2\x82\xAC then \xED\xA0\x80 bad");
    TTikaAnswerDecoder decoder;
    bool fed = true;
    for (const char byte : body)
        fed = fed && decoder.Feed(&byte, 1);
    QVERIFY(!fed);
    QCOMPARE(decoder.Error(), QStringLiteral("The text sent by the Tika server is not valid UTF-8 (byte 0xED at offset 12)."));
    QVERIFY(decoder.TakeLines().isEmpty());
    QVERIFY(!decoder.Finish());
}

void TikaClientTest::decoderLimits_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("limitBytes");
    QTest::addColumn<qsizetype>("lineLimit");
    QTest::addColumn<QString>("error");
    QTest::newRow("exactly the byte limit") << QByteArray("abcd\nefghi") << qint64(10) << qsizetype(10) << QString();
    QTest::newRow("one byte over") << QByteArray("abcd\nefghij") << qint64(10) << qsizetype(10)
                                   << QStringLiteral("The Tika server's answer is larger than 10 bytes, more text than a "
                                                     "comparison takes.");
    QTest::newRow("breaks alone, over the line limit") << QByteArray("\n").repeated(6) << qint64(1000) << qsizetype(5)
                                                       << QStringLiteral("The Tika server's answer has more than 5 lines, "
                                                                         "more text than a comparison takes.");
}

void TikaClientTest::decoderLimits()
{
    QFETCH(QByteArray, body);
    QFETCH(qint64, limitBytes);
    QFETCH(qsizetype, lineLimit);
    QFETCH(QString, error);
    TTikaAnswerDecoder decoder(limitBytes, lineLimit);
    const bool ok = decoder.Feed(body.constData(), 4) && decoder.Feed(body.constData() + 4, body.size() - 4)
        && decoder.Finish();
    QCOMPARE(decoder.Error(), error);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) QVERIFY(decoder.TakeLines().isEmpty());   // nothing half-decoded is kept
}

void TikaClientTest::emptyAnswer_data()
{
    QTest::addColumn<TStandInAnswer>("answer");
    QTest::newRow("200 with an empty body") << TStandInAnswer::Respond(200, "OK", {});
    TStandInAnswer noContent = TStandInAnswer::Respond(204, "No Content", {});
    noContent.Headers.clear();
    QTest::newRow("204, no body") << noContent;
    QTest::newRow("a byte-order mark alone") << TStandInAnswer::Respond(200, "OK", "\xEF\xBB\xBF");
    QTest::newRow("empty, streamed without a length") << TStandInAnswer::Stream("x", 0, false);
}

// A document without text fails with a reason that says so.
void TikaClientTest::emptyAnswer()
{
    QFETCH(TStandInAnswer, answer);
    HttpStandIn server;
    server.SetAnswer(answer);
    const TTikaExtraction result = Extract(FDocument, server.Url());
    QVERIFY(!result.Ok);
    QVERIFY(result.Lines.isEmpty());
    QCOMPARE(result.Error, QStringLiteral("Apache Tika could not read %1 (it may be damaged or encrypted).")
                               .arg(QFileInfo(FDocument).fileName()));
    QVERIFY(result.Unreadable);
}

void TikaClientTest::httpErrorStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    // The server read the document and could not make sense of it: said in words.
    QTest::newRow("422") << 422 << QByteArray("Unprocessable Entity") << QByteArray("parse error")
                         << QStringLiteral("Apache Tika could not read document.pdf (it may be damaged or encrypted).");
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

    const TTikaExtraction result = Extract(FDocument, server.Url());
    QVERIFY(!result.Ok);
    QCOMPARE(result.Error, expected);
    QCOMPARE(result.Unreadable, status == 422);
    QVERIFY(result.Lines.isEmpty());
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
    const TTikaExtraction result = Extract(FDocument, server.Url());
    QVERIFY(!result.Ok);
    QVERIFY(result.Lines.isEmpty());
    QCOMPARE(result.Error, QStringLiteral("Error: The text sent by the Tika server is not valid UTF-8 (%1).").arg(where));
}

void TikaClientTest::silentServerTimesOut()
{
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Silent());
    QElapsedTimer clock;
    clock.start();
    const TTikaExtraction result = Extract(FDocument, server.Url(), 500);
    const qint64 waited = clock.elapsed();
    QVERIFY(!result.Ok);
    QCOMPARE(result.Error, QStringLiteral("Error: The Tika server did not answer within 0.5 seconds."));
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
    QElapsedTimer clock;
    clock.start();
    const TTikaExtraction result = Extract(FDocument, server.Url(), 1200);
    QVERIFY2(result.Ok, qPrintable(result.Error));
    QVERIFY(clock.elapsed() >= 1200);
    QCOMPARE(result.Lines, QStringList(6, QStringLiteral("slow but steady")));
}

void TikaClientTest::trickleEndsAtTheDeadline()
{
    // One byte a second never trips the read time-out; the whole request's deadline ends it.
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Trickle("0123456789", 10, 1000));
    QElapsedTimer clock;
    clock.start();
    const TTikaExtraction result = Extract(FDocument, server.Url(), 5000, 2500);
    QVERIFY(!result.Ok);
    QCOMPARE(result.Error,
             QStringLiteral("Error: The Tika server took longer than 2.5 seconds, the most one document may take."));
    QVERIFY2(clock.elapsed() < 9000, qPrintable(QString::number(clock.elapsed())));
}

void TikaClientTest::cancelEndsTheWait()
{
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Silent());
    TTikaCancel cancel;
    TTikaRequest request;
    request.Endpoint = server.Url();
    request.Cancel = &cancel;
    QTimer::singleShot(300, &cancel, &TTikaCancel::Cancel);
    QElapsedTimer clock;
    clock.start();
    const TTikaExtraction result = ExtractTextWithTika(FDocument, request);
    QVERIFY(!result.Ok);
    QCOMPARE(result.Error, QStringLiteral("Cancelled."));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));   // not the 30 s time-out
}

void TikaClientTest::cancelledBeforehandSendsNothing()
{
    HttpStandIn server;
    TTikaCancel cancel;
    cancel.Cancel();
    TTikaRequest request;
    request.Endpoint = server.Url();
    request.Cancel = &cancel;
    const TTikaExtraction result = ExtractTextWithTika(FDocument, request);
    QCOMPARE(result.Error, QStringLiteral("Cancelled."));
    QCOMPARE(server.ConnectionCount(), 0);
}

void TikaClientTest::nothingListening()
{
    QUrl url = QUrl(QStringLiteral("http://127.0.0.1/tika"));
    url.setPort(HttpStandIn::UnusedPort());
    const TTikaExtraction result = Extract(FDocument, url, 5000);
    const QString& error = result.Error;
    QVERIFY(!result.Ok);
    QVERIFY2(error.startsWith(QStringLiteral("Error: ")), qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("refused"), Qt::CaseInsensitive), qPrintable(error));
}

void TikaClientTest::brokenAnswers_data()
{
    QTest::addColumn<TStandInAnswer>("answer");
    QTest::newRow("garbage instead of HTTP") << TStandInAnswer::Raw("this is not HTTP at all\r\n\r\n");
    QTest::newRow("closed without answer") << TStandInAnswer::CloseWithoutAnswer();
    QTest::newRow("connection reset") << TStandInAnswer::Reset();
    QTest::newRow("body shorter than announced")
        << TStandInAnswer::Raw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
}

void TikaClientTest::brokenAnswers()
{
    QFETCH(TStandInAnswer, answer);
    HttpStandIn server;
    server.SetAnswer(answer);
    const TTikaExtraction result = Extract(FDocument, server.Url(), 5000);
    const QString& error = result.Error;
    QVERIFY(!result.Ok);
    QVERIFY2(error.startsWith(QStringLiteral("Error: ")), qPrintable(error));
    QVERIFY2(error.size() > 7, qPrintable(error)); // says what went wrong
    QVERIFY2(!error.contains(QStringLiteral("did not answer within")), qPrintable(error));
}

// A server that resets the connection, before or after reading the request: a sentence, never
// "Unknown error".
void TikaClientTest::connectionResetIsASentence_data()
{
    QTest::addColumn<bool>("early");
    QTest::newRow("while the document is sent") << true;
    QTest::newRow("after the request") << false;
}

void TikaClientTest::connectionResetIsASentence()
{
    QFETCH(bool, early);
    const QString big = WriteSample(QStringLiteral("big.pdf"), QByteArray(32 << 20, 'x'));
    HttpStandIn server;
    server.SetAnswer(TStandInAnswer::Reset());
    if (early)
        server.ResetOnFirstBytes();
    const TTikaExtraction result = Extract(big, server.Url(), 5000);
    QVERIFY(!result.Ok);
    QVERIFY2(result.Error.startsWith(QStringLiteral("Error: The ")) && result.Error.endsWith(u'.'), qPrintable(result.Error));
    QVERIFY2(!result.Error.contains(QStringLiteral("Unknown error")), qPrintable(result.Error));
}

void TikaClientTest::unopenableFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    const QString notRegular = QStringLiteral("It is not a regular file (a device, a named pipe or a socket).");
    QTest::newRow("missing") << QStringLiteral("no-such-file.pdf") << QStringLiteral("No such file or directory");
    QTest::newRow("a folder") << QStringLiteral("folder.docx") << QStringLiteral("Is a directory");
    // Read forever, or block the open itself waiting for a writer.
    QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero") << notRegular;
    QTest::newRow("a named pipe") << QStringLiteral("pipe.pdf") << notRegular;
    QTest::newRow("a socket") << QStringLiteral("socket.pdf") << notRegular;
}

void TikaClientTest::unopenableFile()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(FDir.path()).mkpath(QStringLiteral("folder.docx")));
    const QString path = name.startsWith(u'/') ? name : FDir.filePath(name);
    int listener = -1;
    const auto closeListener = qScopeGuard([&] { if (listener >= 0) ::close(listener); });
    if (name == QLatin1String("pipe.pdf") && !QFileInfo::exists(path))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (name == QLatin1String("socket.pdf")) {
        QFile::remove(path);
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        QVERIFY(encoded.size() < qsizetype(sizeof(address.sun_path)));
        std::memcpy(address.sun_path, encoded.constData(), encoded.size());
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        QCOMPARE(::listen(listener, 1), 0);
    }

    QString openError;
    QVERIFY(OpenFileForReading(path, openError) == nullptr);
    const QString prefix = QStringLiteral("EFOpenError: Cannot open file \"%1\". ").arg(QDir::toNativeSeparators(path));
    QVERIFY2(openError.startsWith(prefix), qPrintable(openError));
    QVERIFY2(openError.size() > prefix.size(), qPrintable(openError));
    QCOMPARE(openError, prefix + reason);

    HttpStandIn server;
    const TTikaExtraction result = Extract(path, server.Url());
    QVERIFY(!result.Ok);
    QCOMPARE(result.Error, openError);
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
    TTikaExtraction result;
    const QUrl url = server.Url();
    const QString document = FDocument;
    std::unique_ptr<QThread> worker(QThread::create([&] { result = Extract(document, url, 10000); }));
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->start();
    QVERIFY(finished.wait(30000));
    QVERIFY(worker->wait(5000));
    QVERIFY2(result.Ok, qPrintable(result.Error));
    QCOMPARE(result.Lines, QStringList{QStringLiteral("from a worker")});
    QCOMPARE(server.Requests().size(), 1);
}

void TikaClientTest::consecutiveCallsAreIndependent()
{
    // Left fails, right succeeds: the second call must not see the first one's leftovers.
    HttpStandIn server;
    server.SetAnswers({TStandInAnswer::Respond(422, "Unprocessable Entity", {}),
                       TStandInAnswer::Respond(200, "OK", "right text\n")});
    const TTikaExtraction left = Extract(FDocument, server.Url());
    const TTikaExtraction right = Extract(FDocument, server.Url());
    QVERIFY(!left.Ok);
    QCOMPARE(left.Error, QStringLiteral("Apache Tika could not read %1 (it may be damaged or encrypted).")
                             .arg(QFileInfo(FDocument).fileName()));
    QVERIFY(left.Unreadable);
    QVERIFY(left.Lines.isEmpty());
    QVERIFY(right.Ok);
    QCOMPARE(right.Error, QString());
    QCOMPARE(right.Lines, QStringList{QStringLiteral("right text")});
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

QTEST_GUILESS_MAIN(TikaClientTest)
#include "tst_tika_client.moc"
