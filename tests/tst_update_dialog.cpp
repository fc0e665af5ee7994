#include "app/MainForm.h"
#include "support/app/RecordingPlatform.h"
#include "support/app/TestWebsite.h"
#include "update/NewVersionCheck.h"
#include "update/NewVersionDialog.h"
#include "update/Website.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorlane;
using namespace quorlane::test;

namespace {

const QString FailurePrefix = QStringLiteral("Failed to download update. Please download manually on website.\r\n\r\n");
const QString Cancelled = QStringLiteral("Download is cancelled. Please download manually.");

QByteArray Installer(int Size)
{
    QByteArray Bytes(Size, '\0');
    for (int I = 0; I < Size; ++I)
        Bytes[I] = static_cast<char>('A' + I % 26);
    return Bytes;
}

// A whole raw answer with the body in chunks of 250 bytes.
QByteArray Chunked(const QByteArray& Body)
{
    QByteArray Raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype At = 0; At < Body.size(); At += 250) {
        const QByteArray Piece = Body.mid(At, 250);
        Raw += QByteArray::number(Piece.size(), 16) + "\r\n" + Piece + "\r\n";
    }
    return Raw + "0\r\n\r\n";
}

void SetNews(bool Mandatory)
{
    UpdateMandatory = Mandatory;
    NewVersionMessage = QStringLiteral("The new version 1.1 is available\r\n\r\nWhat's new:\r\nFaster\r\n");
}

// What the dialog looked like while the download ran, and the bar's moves.
struct TDownloadWatch
{
    QList<int> BarValues;
    QString CancelCaption;
    bool UpdateEnabled = true;
    bool BarVisible = false;

    explicit TDownloadWatch(TfrmNewVersion& Dialog)
    {
        QObject::connect(Dialog.ProgressBar1, &QProgressBar::valueChanged, Dialog.ProgressBar1,
                         [this, &Dialog](int Value) {
                             BarValues.append(Value);
                             Look(Dialog);
                         });
    }
    void Look(const TfrmNewVersion& Dialog)
    {
        CancelCaption = Dialog.btCancel->text();
        UpdateEnabled = Dialog.btUpdateNow->isEnabled();
        BarVisible = Dialog.ProgressBar1->isVisible();
    }
};

}   // namespace

// The update dialog through its real widgets, downloading from an HTTPS server in the process.
class TestUpdateDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(TrustedTls().IsValid(), qPrintable(TrustedTls().Error));
        QApplication::setApplicationName(QStringLiteral("Quorlane"));
    }

    void shownAsDescribed_data()
    {
        QTest::addColumn<bool>("Mandatory");
        QTest::addColumn<QString>("CancelCaption");
        QTest::newRow("optional") << false << "Skip";
        QTest::newRow("mandatory") << true << "Exit";
    }

    void shownAsDescribed()
    {
        QFETCH(bool, Mandatory);
        QFETCH(QString, CancelCaption);
        SetNews(Mandatory);
        TRecordingPlatform Platform;
        TTestWebsite Site;
        TfrmNewVersion Dialog(Platform, Site.Source);
        Dialog.show();
        QCOMPARE(Dialog.windowTitle(), QStringLiteral(" Quorlane"));
        QCOMPARE(Dialog.findChild<QLabel*>("Label1")->text(), NewVersionMessage);
        QCOMPARE(Dialog.findChild<QPushButton*>("btUpdateNow")->text(), QStringLiteral("Update Now"));
        QCOMPARE(Dialog.findChild<QPushButton*>("btCancel")->text(), CancelCaption);
        QVERIFY(!Dialog.findChild<QProgressBar*>("ProgressBar1")->isVisible());
        QVERIFY(!Dialog.findChild<QLabel*>("VirtualImage1")->pixmap().isNull());
        QCOMPARE(Dialog.size(), QSize(420, 189));
        QCOMPARE(Dialog.Tag, 1);
    }

    // The outcome table without a download: 1 goes on, 0 ends the program.
    void outcomeWithoutDownload_data()
    {
        QTest::addColumn<bool>("Mandatory");
        QTest::addColumn<QString>("Action");
        QTest::addColumn<int>("Outcome");
        QTest::newRow("optional, Skip") << false << "button" << 1;
        QTest::newRow("optional, close button") << false << "close" << 1;
        QTest::newRow("optional, Escape") << false << "escape" << 1;
        QTest::newRow("mandatory, Exit") << true << "button" << 0;
        QTest::newRow("mandatory, close button") << true << "close" << 0;
        QTest::newRow("mandatory, Escape") << true << "escape" << 0;
    }

    void outcomeWithoutDownload()
    {
        QFETCH(bool, Mandatory);
        QFETCH(QString, Action);
        QFETCH(int, Outcome);
        SetNews(Mandatory);
        TRecordingPlatform Platform;
        TTestWebsite Site;
        TfrmNewVersion Dialog(Platform, Site.Source);
        Dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
        if (Action == "button")
            QTest::mouseClick(Dialog.btCancel, Qt::LeftButton);
        else if (Action == "close")
            QVERIFY(Dialog.close());
        else
            QTest::keyClick(&Dialog, Qt::Key_Escape);
        QVERIFY(!Dialog.isVisible());
        QCOMPARE(Dialog.Tag, Outcome);
        QVERIFY(Site.Server.Requests().isEmpty());
        QVERIFY(Platform.Messages.isEmpty() && Platform.OpenedUrls.isEmpty() && Platform.OpenedFiles.isEmpty());
    }

    void downloadSucceeds_data()
    {
        QTest::addColumn<bool>("Mandatory");
        QTest::addColumn<QString>("Kind");
        QTest::addColumn<QList<int>>("BarValues");
        QTest::newRow("sized, optional update") << false << "sized" << QList<int>{25, 50, 75, 100};
        QTest::newRow("sized, mandatory update") << true << "sized" << QList<int>{25, 50, 75, 100};
        QTest::newRow("chunked: the bar stays at 0") << false << "chunked" << QList<int>{};
        QTest::newRow("no size: the bar stays at 0") << false << "unsized" << QList<int>{};
    }

    void downloadSucceeds()
    {
        QFETCH(bool, Mandatory);
        QFETCH(QString, Kind);
        QFETCH(QList<int>, BarValues);
        SetNews(Mandatory);
        const QByteArray Body = Installer(1000);
        TTestWebsite Site;
        if (Kind == "sized")   // 250 bytes at a time, with a pause before each piece
            Site.Serve(TTestWebsite::NotFound(), TTestWebsite::NotFound(), TStandInAnswer::Trickle(Body, 4, 150));
        else if (Kind == "chunked")
            Site.Serve(TTestWebsite::NotFound(), TTestWebsite::NotFound(), TStandInAnswer::Raw(Chunked(Body)));
        else
            Site.Serve(TTestWebsite::NotFound(), TTestWebsite::NotFound(),
                       TStandInAnswer::Raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + Body));
        TRecordingPlatform Platform;
        TfrmNewVersion Dialog(Platform, Site.Source);
        TDownloadWatch Watch(Dialog);
        QObject::connect(&Site.Server, &HttpStandIn::requestReceived, &Dialog, [&] { Watch.Look(Dialog); });
        Dialog.show();
        QTest::mouseClick(Dialog.btUpdateNow, Qt::LeftButton);

        QVERIFY2(Platform.Messages.isEmpty(), qPrintable(Platform.Log().join('\n')));
        QCOMPARE(Site.Targets(), QByteArrayList{"/download/quorlane.exe"});
        QCOMPARE(Site.Server.Requests().constFirst().Header("User-Agent"), QByteArray("Mozilla/4.0 (compatible; MyApp)"));
        // During the transfer: Abort, Update Now disabled, the bar shown.
        QCOMPARE(Watch.CancelCaption, QStringLiteral("Abort"));
        QVERIFY(!Watch.UpdateEnabled);
        QVERIFY(Watch.BarVisible);
        if (Kind == "sized")
            QVERIFY2(Watch.BarValues.contains(25) && Watch.BarValues.constLast() == 100
                         && std::is_sorted(Watch.BarValues.begin(), Watch.BarValues.end()),
                     qPrintable(QDebug::toString(Watch.BarValues)));
        else
            QCOMPARE(Watch.BarValues, BarValues);

        // Started from a private folder of its own, under the installer's name; the file stays.
        QCOMPARE(Platform.OpenedFiles, QStringList{Dialog.TargetPath()});
        const QFileInfo Target(Dialog.TargetPath());
        QCOMPARE(Target.fileName(), QStringLiteral("quorlane_update.exe"));
        QCOMPARE(QFileInfo(Target.absolutePath()).absoluteDir(), QDir(QDir::tempPath()));
        const QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
        QCOMPARE(QFileInfo(Target.absolutePath()).permissions() & (OwnerOnly | 0x0077), OwnerOnly);
        QFile File(Dialog.TargetPath());
        QVERIFY(File.open(QIODevice::ReadOnly));
        QCOMPARE(File.readAll(), Body);
        QVERIFY(Platform.OpenedUrls.isEmpty());
        QVERIFY(!Dialog.isVisible());
        QCOMPARE(Dialog.Tag, 0);   // the program ends so that the installer can replace it
        QDir(Target.absolutePath()).removeRecursively();
    }

    void downloadFails_data()
    {
        QTest::addColumn<QString>("Case");
        QTest::addColumn<QString>("Reason");   // the whole reason, or empty where it is the client's own text
        QTest::newRow("Abort before the request goes out") << "abort-at-once" << Cancelled;
        QTest::newRow("Abort before the answer") << "abort-silent" << Cancelled;
        QTest::newRow("Abort during the transfer") << "abort-transfer" << Cancelled;
        QTest::newRow("close button during the transfer") << "close-transfer" << Cancelled;
        QTest::newRow("silent server") << "silent" << "The website sent nothing for 0.5 seconds.";
        QTest::newRow("redirect is not followed") << "redirect" << "";
        QTest::newRow("HTTP error") << "404" << "";
        QTest::newRow("certificate that does not verify") << "stranger" << "";
        QTest::newRow("refused connection") << "refused" << "";
        QTest::newRow("garbage instead of HTTP") << "garbage" << "";
    }

    void downloadFails()
    {
        QFETCH(QString, Case);
        QFETCH(QString, Reason);
        SetNews(false);
        TTestWebsite Site;
        const TStandInAnswer None = TTestWebsite::NotFound();
        HttpStandIn Stranger(StrangerTls().ServerConfiguration());
        Stranger.SetAnswer(TTestWebsite::Ok(Installer(10)));
        if (Case == "abort-silent" || Case == "silent" || Case == "abort-at-once")
            Site.Serve(None, None, TStandInAnswer::Silent());
        else if (Case == "abort-transfer" || Case == "close-transfer")
            Site.Serve(None, None, TStandInAnswer::Trickle(Installer(1000), 4, 400));
        else if (Case == "redirect")
            Site.Serve(None, None, TTestWebsite::Redirect(Site.Url("/elsewhere/quorlane.exe")));
        else if (Case == "404")
            Site.Serve(None, None, None);
        else if (Case == "stranger")
            Site.Source.Base = Stranger.Url(QStringLiteral("/"));
        else if (Case == "refused")
            Site.Source.Base.setPort(HttpStandIn::UnusedPort());
        else if (Case == "garbage")
            Site.Serve(None, None, TStandInAnswer::Raw("no HTTP here\r\n\r\n"));
        if (Case == "silent" || Case == "abort-at-once")
            Site.Source.DownloadTimeoutMs = 500;
        const QUrl Home = Site.Source.Base;

        TRecordingPlatform Platform;
        TfrmNewVersion Dialog(Platform, Site.Source);
        // The user stops it as soon as it has begun (before the answer) or once the bar has moved;
        // the server would go on for far longer than the test waits.
        // The first events the dialog takes after Update Now, while it lays out the bar.
        if (Case == "abort-at-once")
            QTimer::singleShot(0, Dialog.btCancel, [&] { QTest::mouseClick(Dialog.btCancel, Qt::LeftButton); });
        if (Case == "abort-silent")
            QObject::connect(&Site.Server, &HttpStandIn::requestReceived, &Dialog,
                             [&] { QTimer::singleShot(50, Dialog.btCancel, [&] { QTest::mouseClick(Dialog.btCancel, Qt::LeftButton); }); });
        if (Case == "abort-transfer")
            QObject::connect(Dialog.ProgressBar1, &QProgressBar::valueChanged, &Dialog,
                             [&](int Value) { if (Value == 25) QTest::mouseClick(Dialog.btCancel, Qt::LeftButton); });
        if (Case == "close-transfer")
            QObject::connect(Dialog.ProgressBar1, &QProgressBar::valueChanged, &Dialog,
                             [&](int Value) { if (Value == 25) QTimer::singleShot(0, &Dialog, [&] { Dialog.close(); }); });
        Dialog.show();
        QTest::mouseClick(Dialog.btUpdateNow, Qt::LeftButton);

        QCOMPARE(Platform.Messages.size(), 1);
        QCOMPARE(Platform.Messages[0].Kind, QStringLiteral("error"));
        const QString Text = Platform.Messages[0].Text;
        QVERIFY2(Text.startsWith(FailurePrefix) && Text.size() > FailurePrefix.size(), qPrintable(Text));
        if (!Reason.isEmpty())
            QCOMPARE(Text.mid(FailurePrefix.size()), Reason);
        if (Case == "abort-at-once")
            QCOMPARE(Site.Targets(), QByteArrayList());   // the request never went out
        if (Case == "redirect") {
            QVERIFY2(Text.contains("302"), qPrintable(Text));
            QCOMPARE(Site.Targets(), QByteArrayList{"/download/quorlane.exe"});
        }
        QCOMPARE(DownloadCancelled, Reason == Cancelled);
        QCOMPARE(Platform.OpenedUrls, QList<QUrl>{Home});   // so the user can fetch it by hand
        QVERIFY(Platform.OpenedFiles.isEmpty());
        QCOMPARE(Stranger.Requests().size(), 0);
        QVERIFY(!Dialog.isVisible());
        QCOMPARE(Dialog.Tag, 0);
        // What arrived before the end stays where it was written.
        if (Case == "abort-transfer")
            QCOMPARE(QFileInfo(Dialog.TargetPath()).size(), 250);
        if (!Dialog.TargetPath().isEmpty())
            QDir(QFileInfo(Dialog.TargetPath()).absolutePath()).removeRecursively();
    }

    void percent_data()
    {
        QTest::addColumn<qint64>("Bytes");
        QTest::addColumn<qint64>("Length");
        QTest::addColumn<QByteArray>("TransferEncoding");
        QTest::addColumn<int>("Percent");
        QTest::newRow("250 of 1000") << qint64(250) << qint64(1000) << QByteArray() << 25;
        QTest::newRow("rounds down") << qint64(999) << qint64(1000) << QByteArray() << 99;
        QTest::newRow("all") << qint64(1000) << qint64(1000) << QByteArray() << 100;
        QTest::newRow("beyond 2 GiB, 64-bit") << qint64(3) * 1024 * 1024 * 1024 << qint64(6) * 1024 * 1024 * 1024
                                              << QByteArray() << 50;
        QTest::newRow("chunked") << qint64(250) << qint64(1000) << QByteArray("chunked") << -1;
        QTest::newRow("Chunked, any case, among others") << qint64(250) << qint64(1000) << QByteArray("gzip, CHUNKED") << -1;
        QTest::newRow("no length") << qint64(250) << qint64(-1) << QByteArray() << -1;
        QTest::newRow("zero length") << qint64(0) << qint64(0) << QByteArray() << -1;
        QTest::newRow("more than announced") << qint64(1200) << qint64(1000) << QByteArray() << 100;
    }

    void percent()
    {
        QFETCH(qint64, Bytes);
        QFETCH(qint64, Length);
        QFETCH(QByteArray, TransferEncoding);
        QFETCH(int, Percent);
        QCOMPARE(DownloadPercent(Bytes, Length, TransferEncoding), Percent);
    }

    // The program start: a mandatory update and "Exit" end it before any main window, and no
    // settings file is read or written; "Skip" goes on.
    void programStart_data()
    {
        QTest::addColumn<QByteArray>("VersionLine");
        QTest::addColumn<QString>("Caption");
        QTest::addColumn<bool>("Ends");
        QTest::newRow("mandatory, Exit") << QByteArray("12/11") << "Exit" << true;
        QTest::newRow("optional, Skip") << QByteArray("11/10") << "Skip" << false;
    }

    void programStart()
    {
        QFETCH(QByteArray, VersionLine);
        QFETCH(QString, Caption);
        QFETCH(bool, Ends);
        QTemporaryDir AppData;
        qputenv("APPDATA", QFile::encodeName(AppData.path()));
        TTestWebsite Site;
        Site.Serve(TTestWebsite::Ok(VersionLine), TTestWebsite::Ok("Faster"));
        TRecordingPlatform Platform;

        QString SeenCaption;
        bool Modal = false;
        QTimer Answer;
        QObject::connect(&Answer, &QTimer::timeout, &Answer, [&] {
            auto* Dialog = qobject_cast<TfrmNewVersion*>(QApplication::activeModalWidget());
            if (!Dialog || !Dialog->isVisible())
                return;
            Answer.stop();
            Modal = Dialog->isModal();
            SeenCaption = Dialog->btCancel->text();
            QTest::mouseClick(Dialog->btCancel, Qt::LeftButton);
        });
        Answer.start(20);
        const TUpdateOutcome Outcome = RunStartUpVersionCheck(Platform, Site.Source);

        QVERIFY(Modal);
        QCOMPARE(SeenCaption, Caption);
        QCOMPARE(Outcome, Ends ? TUpdateOutcome::EndProgram : TUpdateOutcome::Continue);
        for (QWidget* Widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TfrmMain*>(Widget));
        QVERIFY(QDir(AppData.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
        if (Ends)
            return;

        // Closing the dialog, the only window then, must not end the event loop the main window runs.
        TfrmMain Window(Platform);
        Window.show();
        bool ShownInLoop = false;
        QTimer::singleShot(200, &Window, [&] {
            ShownInLoop = Window.isVisible();
            QApplication::exit(7);
        });
        QCOMPARE(QApplication::exec(), 7);
        QVERIFY(ShownInLoop);
    }
};

QTEST_MAIN(TestUpdateDialog)
#include "tst_update_dialog.moc"
