#include "support/app/TestWebsite.h"
#include "update/CheckFetch.h"
#include "update/NewVersionCheck.h"
#include "update/Website.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace quorlane;
using namespace quorlane::test;

Q_DECLARE_METATYPE(TStandInAnswer)

namespace {

constexpr const char* VersionPath = VersionFilePath;
constexpr const char* ChangesPath = ChangeListPath;

TStandInAnswer Ok(const QByteArray& Body)
{
    return TTestWebsite::Ok(Body);
}

TStandInAnswer Redirect(const QUrl& To)
{
    return TTestWebsite::Redirect(To);
}

void ExpectNoNews(bool Shown)
{
    QVERIFY(!Shown);
    QVERIFY(NewVersionMessage.isEmpty());
    QVERIFY(!UpdateMandatory);
}

} // namespace

// The start-up check against a real HTTPS server in the test process.
class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(TrustedTls().IsValid(), qPrintable(TrustedTls().Error));
        QVERIFY2(StrangerTls().IsValid(), qPrintable(StrangerTls().Error));
    }

    void init()
    {
        // What an earlier check left must not make a later one look right.
        NewVersionMessage = QStringLiteral("stale");
        UpdateMandatory = true;
    }

    void versionLines_data()
    {
        QTest::addColumn<QByteArray>("Body");
        QTest::addColumn<bool>("Shown");
        QTest::addColumn<bool>("Mandatory");
        QTest::addColumn<QString>("FirstLine");
        const QString Available = QStringLiteral("The new version %1 is available");
        const QString OutOfDate = QStringLiteral("This version of the software is out of date. You must download the "
                                                 "current version %1 to continue using the software.");
        QTest::newRow("11/10") << QByteArray("11/10\r\n") << true << false << Available.arg("1.1");
        QTest::newRow("12/11") << QByteArray("12/11") << true << true << OutOfDate.arg("1.2");
        QTest::newRow("10/10") << QByteArray("10/10") << false << false << QString();
        QTest::newRow("10/11") << QByteArray("10/11") << true << true << OutOfDate.arg("1.0");
        QTest::newRow("9/10") << QByteArray("9/10") << false << false << QString();
        QTest::newRow("11") << QByteArray("11") << false << false << QString();
        QTest::newRow("abc/10") << QByteArray("abc/10") << false << false << QString();
        QTest::newRow("11/1x") << QByteArray("11/1x") << false << false << QString();
        QTest::newRow("empty") << QByteArray() << false << false << QString();
        QTest::newRow("100/10") << QByteArray("100/10") << true << false << Available.arg("10.0");
        QTest::newRow("leading mark") << QByteArray("\xEF\xBB\xBF" "11/10\r\nignored") << true << false << Available.arg("1.1");
    }

    void versionLines()
    {
        QFETCH(QByteArray, Body);
        QFETCH(bool, Shown);
        QFETCH(bool, Mandatory);
        QFETCH(QString, FirstLine);
        TTestWebsite Site;
        Site.Serve(Ok(Body), Ok("Faster\r\nSmaller\r\n"));

        const bool Result = CheckForNewVersion(Site.Source);
        if (!Shown) {
            ExpectNoNews(Result);
        } else {
            QVERIFY(Result);
            QCOMPARE(UpdateMandatory, Mandatory);
            QCOMPARE(NewVersionMessage, FirstLine + "\r\n\r\nWhat's new:\r\nFaster\r\nSmaller\r\n");
        }
        // An empty version file ends the check before the change list is asked for.
        const QByteArrayList Expected = Body.isEmpty() ? QByteArrayList{VersionPath}
                                                       : QByteArrayList{VersionPath, ChangesPath};
        QCOMPARE(Site.Targets(), Expected);
        for (const TRecordedRequest& Request : Site.Server.Requests()) {
            QCOMPARE(Request.Method, QByteArray("GET"));
            QCOMPARE(Request.Header("User-Agent"), QByteArray("Mozilla/4.0 (compatible; MyApp)"));
        }
    }

    void changeListWithEmptyLines()
    {
        TTestWebsite Site;
        Site.Serve(Ok("11/10"), Ok("\r\nFirst\r\n\r\n  \r\nSecond\n\n\n"));
        QVERIFY(CheckForNewVersion(Site.Source));
        QCOMPARE(NewVersionMessage, QStringLiteral("The new version 1.1 is available\r\n\r\nWhat's new:\r\nFirst\r\n  \r\n"
                                                   "Second\r\n"));
    }

    void slowAnswerWithinTheDeadlineIsRead()
    {
        TTestWebsite Site;
        Site.Serve(TStandInAnswer::Trickle("11/10\r\n", 4, 150), TStandInAnswer::Trickle("Faster", 3, 100));
        QVERIFY(CheckForNewVersion(Site.Source));
        QVERIFY(NewVersionMessage.startsWith("The new version 1.1 is available"));
    }

    // Answers that never end, or end too late, cost the start-up at most the check's deadline and
    // never more memory than the caps.
    void hostileAnswersEndAtTheDeadlineOrTheCap_data()
    {
        QTest::addColumn<TStandInAnswer>("Answer");
        QTest::newRow("endless 200 without a length") << TStandInAnswer::Stream("11/10\r\n", -1, false);
        QTest::newRow("1 MiB announced") << TStandInAnswer::Stream("x", 1 << 20, true);
        QTest::newRow("endless headers") << TStandInAnswer::HeaderFlood("X-Filler: aaaaaaaaaaaaaaaaaaaa\r\n");
        QTest::newRow("one byte every 2 s") << TStandInAnswer::Trickle("11/10\r\n", 7, 2000);
        QTest::newRow("silent") << TStandInAnswer::Silent();
    }

    void hostileAnswersEndAtTheDeadlineOrTheCap()
    {
        QFETCH(TStandInAnswer, Answer);
        TTestWebsite Site;
        Site.Source.CheckDeadlineMs = CheckDeadlineMs;   // the program's own
        Site.Serve(Answer, Ok("Faster"));

        QElapsedTimer Clock;
        Clock.start();
        ExpectNoNews(CheckForNewVersion(Site.Source));
        QVERIFY2(Clock.elapsed() < 10000, qPrintable(QString::number(Clock.elapsed())));   // a hang guard only

        const TCheckAnswer Fetched = FetchForCheck(Site.Source, VersionPath, QDeadlineTimer(CheckDeadlineMs));
        QVERIFY(!Fetched.Body);
        QVERIFY(!Fetched.Failure.isEmpty());
        QVERIFY2(Fetched.BytesReceived <= CheckHeadCap + CheckBodyCap + 16 * 1024,
                 qPrintable(QString::number(Fetched.BytesReceived)));
    }

    void answerUpToTheCapIsRead()
    {
        const QByteArray Changes = QByteArray("Faster\n").repeated(CheckBodyCap / 7);
        TTestWebsite Site;
        Site.Serve(TStandInAnswer::Stream("11/10\r\n", 7 * 1000, false), Ok(Changes));
        QVERIFY(CheckForNewVersion(Site.Source));
        QCOMPARE(NewVersionMessage.count(QStringLiteral("Faster\r\n")), CheckBodyCap / 7);
    }

    // A name lookup that hangs ends the check at its deadline; nobody waits for it afterwards.
    void stuckNameLookupIsAbandoned()
    {
        auto Release = std::make_shared<std::atomic<bool>>(false);
        TTestWebsite Site;
        Site.Serve(Ok("12/11"), Ok("Faster"));
        Site.Source.CheckDeadlineMs = 500;
        Site.Source.Base.setHost(QStringLiteral("website.test"));
        Site.Source.Resolve = [Release](const QString&) {
            while (!*Release)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return QList<QHostAddress>{QHostAddress::LocalHost};
        };
        QElapsedTimer Clock;
        Clock.start();
        ExpectNoNews(CheckForNewVersion(Site.Source));
        QVERIFY2(Clock.elapsed() < 5000, qPrintable(QString::number(Clock.elapsed())));
        QCOMPARE(Site.Server.Requests().size(), 0);
        *Release = true;
    }

    void nameLookup_data()
    {
        QTest::addColumn<QString>("Host");
        QTest::addColumn<QList<QHostAddress>>("Answer");
        QTest::addColumn<bool>("Asked");
        QTest::addColumn<QList<QHostAddress>>("Expected");
        const QList<QHostAddress> Two{QHostAddress("192.0.2.7"), QHostAddress("2001:db8::7")};
        QTest::newRow("name") << "website.test" << Two << true << Two;
        QTest::newRow("address literal") << "127.0.0.1" << Two << false << QList<QHostAddress>{QHostAddress::LocalHost};
        QTest::newRow("IPv6 literal") << "::1" << Two << false << QList<QHostAddress>{QHostAddress::LocalHostIPv6};
        QTest::newRow("name not found") << "website.test" << QList<QHostAddress>{} << true << QList<QHostAddress>{};
    }

    void nameLookup()
    {
        QFETCH(QString, Host);
        QFETCH(QList<QHostAddress>, Answer);
        QFETCH(bool, Asked);
        QFETCH(QList<QHostAddress>, Expected);
        auto AskedFor = std::make_shared<std::atomic<int>>(0);
        const auto Found = ResolveWithin(Host, QDeadlineTimer(2000), [Answer, AskedFor](const QString&) {
            ++*AskedFor;
            return Answer;
        });
        QCOMPARE(*AskedFor > 0, Asked);
        QCOMPARE(Found.value_or(QList<QHostAddress>{}), Expected);
        QCOMPARE(Found.has_value(), !Expected.isEmpty());
    }

    // Without a website named at build time there is nothing to ask.
    void defaultBuildMakesNoCheck()
    {
        QVERIFY(!UpdateCheckBuiltIn());
        QElapsedTimer Clock;
        Clock.start();
        ExpectNoNews(CheckForNewVersion());
        QVERIFY(Clock.elapsed() < 1000);
    }

    void redirectsFollowedUpToTen_data()
    {
        QTest::addColumn<int>("Hops");
        QTest::addColumn<bool>("Shown");
        QTest::newRow("one") << 1 << true;
        QTest::newRow("ten") << 10 << true;
        QTest::newRow("eleven") << 11 << false;
    }

    void redirectsFollowedUpToTen()
    {
        QFETCH(int, Hops);
        QFETCH(bool, Shown);
        TTestWebsite Site;
        Site.Server.SetHandler([&Site, Hops](const TRecordedRequest& Request) {
            const QByteArray Target = Request.Target;
            const int Hop = Target == VersionPath ? 0 : Target.startsWith("/hop/") ? Target.mid(5).toInt() : -1;
            if (Target == ChangesPath) return Ok("Faster");
            if (Hop < 0) return TStandInAnswer::Respond(404, "Not Found", "");
            if (Hop < Hops) return Redirect(Site.Server.Url(QStringLiteral("/hop/%1").arg(Hop + 1)));
            return Ok("11/10");
        });
        const bool Result = CheckForNewVersion(Site.Source);
        if (Shown)
            QVERIFY(Result);
        else
            ExpectNoNews(Result);
        // Hop by hop up to the tenth redirect's target; the eleventh redirect is not followed.
        QByteArrayList Expected{VersionPath};
        for (int Hop = 1; Hop <= std::min(Hops, 10); ++Hop)
            Expected.append("/hop/" + QByteArray::number(Hop));
        if (Shown)
            Expected.append(ChangesPath);
        // The client may send a request again on a fresh connection: each path counts once.
        QByteArrayList Asked = Site.Targets();
        std::sort(Asked.begin(), Asked.end());
        Asked.erase(std::unique(Asked.begin(), Asked.end()), Asked.end());
        std::sort(Expected.begin(), Expected.end());
        QCOMPARE(Asked, Expected);
    }

    // Every failure is silent: no news, no message, the program starts as usual.
    void failuresAreSilent_data()
    {
        QTest::addColumn<QString>("Case");
        QTest::newRow("change list answers 404") << "changes-404";
        QTest::newRow("version file answers 500") << "version-500";
        QTest::newRow("garbage instead of HTTP") << "garbage";
        QTest::newRow("connection closed without an answer") << "closed";
        QTest::newRow("refused connection") << "refused";
        QTest::newRow("certificate that does not verify") << "stranger";
        QTest::newRow("redirect from https to http") << "downgrade";
        QTest::newRow("silent on the version file") << "silent-version";
        QTest::newRow("silent on the change list") << "silent-changes";
        QTest::newRow("silent during the TLS handshake") << "silent-handshake";
    }

    void failuresAreSilent()
    {
        QFETCH(QString, Case);
        TTestWebsite Site;
        Site.Source.CheckDeadlineMs = 400;
        Site.Serve(Ok("12/11"), Ok("Faster"));
        HttpStandIn Plain;   // a plain-HTTP server
        Plain.SetAnswer(Ok("12/11"));
        HttpStandIn Stranger(StrangerTls().ServerConfiguration());
        Stranger.SetAnswer(Ok("12/11"));
        auto OnHttps = [](const HttpStandIn& Server) {
            QUrl Url = Server.Url(QStringLiteral("/"));
            Url.setScheme(QStringLiteral("https"));
            return Url;
        };

        if (Case == "changes-404")
            Site.Serve(Ok("12/11"), TStandInAnswer::Respond(404, "Not Found", "Faster"));
        else if (Case == "version-500")
            Site.Serve(TStandInAnswer::Respond(500, "Internal Server Error", "12/11"), Ok("Faster"));
        else if (Case == "garbage")
            Site.Serve(TStandInAnswer::Raw("\x16\x03garbage\r\n\r\n12/11"), Ok("Faster"));
        else if (Case == "closed")
            Site.Serve(TStandInAnswer::CloseWithoutAnswer(), Ok("Faster"));
        else if (Case == "refused")
            Site.Source.Base.setPort(HttpStandIn::UnusedPort());
        else if (Case == "stranger")
            Site.Source.Base = Stranger.Url(QStringLiteral("/"));
        else if (Case == "downgrade")
            Site.Serve(Redirect(Plain.Url(QString::fromLatin1(VersionPath))), Ok("Faster"));
        else if (Case == "silent-version")
            Site.Serve(TStandInAnswer::Silent(), Ok("Faster"));
        else if (Case == "silent-changes")
            Site.Serve(Ok("12/11"), TStandInAnswer::Silent());
        else if (Case == "silent-handshake") {
            Plain.SetAnswer(TStandInAnswer::Silent());   // a TLS hello never reads as a request
            Site.Source.Base = OnHttps(Plain);
        }

        ExpectNoNews(CheckForNewVersion(Site.Source));
        // Nothing may be fetched over plain HTTP, and a stranger's answer is never read.
        QCOMPARE(Plain.Requests().size(), 0);
        QCOMPARE(Stranger.Requests().size(), 0);
    }

    void answerReader_data()
    {
        QTest::addColumn<QByteArray>("Wire");
        QTest::addColumn<bool>("ThenClosed");
        QTest::addColumn<int>("Status");
        QTest::addColumn<QByteArray>("Body");   // "FAIL": the answer is refused
        QTest::newRow("length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n11/10tail") << false << 200
                                << QByteArray("11/10");
        QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\r\n\r\nA\nB\n") << true << 200 << QByteArray("A\nB\n");
        QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                               "3;x=y\r\n11/\r\n2\r\n10\r\n0\r\nTrailer: t\r\n\r\n")
                                 << false << 200 << QByteArray("11/10");
        QTest::newRow("bare LF lines") << QByteArray("HTTP/1.1 200 OK\nContent-Length: 2\n\nok") << false << 200 << QByteArray("ok");
        QTest::newRow("interim answer first")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") << false << 200
            << QByteArray("ok");
        QTest::newRow("redirect without reading its body")
            << QByteArray("HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 999999\r\n\r\n") << false << 302
            << QByteArray();
        QTest::newRow("cut short") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n11/10") << true << 200
                                   << QByteArray("FAIL");
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n") << false << 0 << QByteArray("FAIL");
        QTest::newRow("announced too long") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 65537\r\n\r\n") << false
                                            << 200 << QByteArray("FAIL");
        QTest::newRow("too long without a length")
            << "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(CheckBodyCap + 1, 'x') << false << 200 << QByteArray("FAIL");
        QTest::newRow("chunks too long")
            << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray("8000\r\n").append(QByteArray(0x8000, 'x')).append("\r\n").repeated(3)
            << false << 200 << QByteArray("FAIL");
        QTest::newRow("broken chunk size") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")
                                           << false << 200 << QByteArray("FAIL");
        QTest::newRow("one endless header line") << "HTTP/1.1 200 OK\r\nX: " + QByteArray(CheckHeadCap, 'h') << false << 200
                                                 << QByteArray("FAIL");
        QTest::newRow("two lengths") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc")
                                     << false << 200 << QByteArray("FAIL");
    }

    void answerReader()
    {
        QFETCH(QByteArray, Wire);
        QFETCH(bool, ThenClosed);
        QFETCH(int, Status);
        QFETCH(QByteArray, Body);
        // Whole, and byte by byte: where the pieces break changes nothing.
        for (const qsizetype Piece : {Wire.size(), qsizetype(1)}) {
            THttpAnswerReader Reader;
            for (qsizetype At = 0; At < Wire.size() && Reader.State() == THttpAnswerReader::TState::Reading; At += Piece)
                Reader.Feed(QByteArrayView(Wire).sliced(At, std::min(Piece, Wire.size() - At)));
            if (ThenClosed)
                Reader.Closed();
            if (Body == "FAIL") {
                QCOMPARE(Reader.State(), THttpAnswerReader::TState::Failed);
                QVERIFY(!Reader.Failure().isEmpty());
                QCOMPARE(Reader.Body(), QByteArray());   // however much had come before the refusal
                continue;
            }
            QCOMPARE(Reader.State(), THttpAnswerReader::TState::Done);
            QCOMPARE(Reader.Status(), Status);
            QCOMPARE(Reader.Body(), Body);
        }
    }

    void websiteAddresses()
    {
        QCOMPARE(WebsiteHomeUrl().scheme(), QStringLiteral("https"));
        QCOMPARE(WebsiteHomeUrl().host(), WebsiteHost().section(u':', 0, 0));
        QCOMPARE(WebsiteHomeUrl().path(), QStringLiteral("/"));
        QCOMPARE(WebsiteResource(QUrl("https://h.example:8443/"), VersionPath).toString(),
                 QStringLiteral("https://h.example:8443/download/version/quorlane-version.html"));
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
