#include "support/app/TestWebsite.h"
#include "update/NewVersionCheck.h"
#include "update/Website.h"

#include <QtTest>

using namespace quorlane;
using namespace quorlane::test;

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

    void slowButSteadyAnswerIsRead()
    {
        // The time-out is per wait for data, not for the whole answer.
        TTestWebsite Site;
        Site.Source.CheckTimeoutMs = 700;
        Site.Serve(TStandInAnswer::Trickle("11/10\r\n", 4, 300), Ok("Faster"));
        QVERIFY(CheckForNewVersion(Site.Source));
        QVERIFY(NewVersionMessage.startsWith("The new version 1.1 is available"));
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
        Site.Source.CheckTimeoutMs = 400;
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
