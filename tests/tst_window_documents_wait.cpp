// The real window while it waits for the Tika server: the wait pointer and the file named in
// the status line, painting goes on, Esc and the close button are taken, every other input is
// not, and a server that trickles meets the deadline. A stand-in on 127.0.0.1 plays the server.

#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

using quorlane::test::HttpStandIn;
using quorlane::test::TRecordedRequest;
using quorlane::test::TStandInAnswer;

namespace {

QByteArray LeftBytes() { return QByteArray("%PDF left\x00\x01 document", 20); }
QByteArray RightBytes() { return QByteArray("%PDF right\x00\x02 document", 21); }

// Counts the paint events a widget receives.
class TPaintCounter : public QObject
{
public:
    explicit TPaintCounter(QWidget* Widget) { Widget->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* Event) override
    {
        if (Event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

}   // namespace

class TestWindowDocumentsWait : public QObject
{
    Q_OBJECT

    // What the window showed when the stand-in received each request.
    struct TSeen
    {
        QString Status;
        TPointer Pointer = TPointer::Default;
    };

    static void Prepare(TWindowDriver& D)
    {
        D.SetPaths(D.WriteBytes(QStringLiteral("left.pdf"), LeftBytes()),
                   D.WriteBytes(QStringLiteral("right.pdf"), RightBytes()));
    }

private slots:
    // While each request runs: the wait pointer, the file being extracted in the status line,
    // and the window repaints what changes.
    void waitShowsPointerAndFile()
    {
        HttpStandIn Server;
        TWindowDriver D;
        QList<TSeen> Seen;
        Server.SetHandler([&](const TRecordedRequest&) {
            Seen.append({D.Status(), D.Platform.Pointer});
            return TStandInAnswer::Trickle("line one\nline two\n", 4, 150);
        });
        D.Window->SetTikaEndpoint(Server.Url());
        Prepare(D);
        TPaintCounter Paints(D.Find<QLabel>("lblStatus"));

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(Seen.size(), 2);
        QCOMPARE(Seen[0].Status,
                 QStringLiteral("Extracting the text of left.pdf with the Tika server\u2026 Press Esc to cancel."));
        QCOMPARE(Seen[1].Status,
                 QStringLiteral("Extracting the text of right.pdf with the Tika server\u2026 Press Esc to cancel."));
        QCOMPARE(Seen[0].Pointer, TPointer::Hourglass);
        QCOMPARE(Seen[1].Pointer, TPointer::Hourglass);
        QVERIFY2(Paints.Count >= 2, qPrintable(QString::number(Paints.Count)));   // both texts were drawn
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.Window->FLeftLines, (QStringList{"line one", "line two"}));
    }

    // Esc ends the wait: the comparison fails as cancelled, the right document is never sent,
    // and no hint about getting a server follows. Clicks and keys meanwhile start nothing.
    void escCancelsAndNothingElseGetsIn()
    {
        HttpStandIn Server;
        Server.SetAnswer(TStandInAnswer::Silent());
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        Prepare(D);
        const QString TypedLeft = D.Find<QComboBox>("cmbLeft")->currentText();
        connect(&Server, &HttpStandIn::requestReceived, this, [&] {
            QTimer::singleShot(100, this, [&] {
                QTest::mouseClick(D.Find<QToolButton>("btnCompare"), Qt::LeftButton);
                QTest::keyClicks(D.Find<QComboBox>("cmbLeft")->lineEdit(), QStringLiteral("typed"));
                QTest::keyClick(D.Window.get(), Qt::Key_Z, Qt::ControlModifier);
                QTest::keyClick(D.Window.get(), Qt::Key_Escape);
            });
        });
        QElapsedTimer Clock;
        Clock.start();

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QVERIFY2(Clock.elapsed() < 15000, qPrintable(QString::number(Clock.elapsed())));   // not the 30 s time-out
        const QString Failure = QStringLiteral("Comparison failed.\r\nLeft: Cancelled.\r\nRight: Cancelled.");
        QCOMPARE(D.Platform.Log(), QStringList{QStringLiteral("warning: ") + Failure});
        QCOMPARE(D.Status(), Failure + QStringLiteral(" No comparable lines."));
        QCOMPARE(Server.Requests().size(), 1);
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), TypedLeft);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QVERIFY(D.Window->FLeftLines.isEmpty() && D.Window->FRightLines.isEmpty());
    }

    // The close button during the wait cancels it, then the window closes without a box.
    void closeButtonCancelsThenCloses()
    {
        HttpStandIn Server;
        Server.SetAnswer(TStandInAnswer::Silent());
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        Prepare(D);
        bool ClosedAtOnce = true;
        connect(&Server, &HttpStandIn::requestReceived, this, [&] {
            QTimer::singleShot(100, this, [&] { ClosedAtOnce = D.Window->close(); });
        });

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QVERIFY(!ClosedAtOnce);   // not while the comparison was under way
        QVERIFY(D.Platform.Messages.isEmpty());
        QVERIFY(D.Status().startsWith(QStringLiteral("Comparison failed.\r\nLeft: Cancelled.")));
        QTRY_VERIFY_WITH_TIMEOUT(!D.Window->isVisible(), 5000);
        QCOMPARE(Server.Requests().size(), 1);
    }

    // One byte a second never trips the read time-out; the request's deadline ends the wait and
    // says so. The other document still goes.
    void tricklingServerMeetsTheDeadline()
    {
        HttpStandIn Server;
        Server.SetHandler([](const TRecordedRequest& Request) {
            return Request.Body == LeftBytes() ? TStandInAnswer::Trickle("0123456789", 10, 1000)
                                               : TStandInAnswer::Respond(200, "OK", "right text\n");
        });
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url(), 5000, 2000);
        Prepare(D);

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        const QString Failure = QStringLiteral(
            "Comparison failed.\r\nLeft: Error: The Tika server took longer than 2 seconds, the most one document may "
            "take.\r\nRight: OK");
        QCOMPARE(D.Status(), Failure + QStringLiteral(" No comparable lines."));
        QCOMPARE(D.Platform.Messages.size(), 1);
        QVERIFY(D.Platform.Messages[0].Text.startsWith(Failure + QStringLiteral("\r\n\r\n")));
        QCOMPARE(D.Window->FRightLines, QStringList{"right text"});
    }

    // A huge answer is refused with its reason and leaves nothing behind in the workspace.
    void endlessAnswerIsRefused()
    {
        HttpStandIn Server;
        Server.SetHandler([](const TRecordedRequest& Request) {
            return Request.Body == LeftBytes() ? TStandInAnswer::Stream("endless text\n", -1, false)
                                               : TStandInAnswer::Respond(200, "OK", "right text\n");
        });
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        D.Window->FTikaAnswerLimitBytes = 4 << 20;
        Prepare(D);

        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");

        QCOMPARE(D.Status(), QStringLiteral("Comparison failed.\r\nLeft: Error: The Tika server's answer is larger than "
                                            "4 MiB, more text than a comparison takes.\r\nRight: OK No comparable lines."));
        QVERIFY(D.Window->FLeftLines.isEmpty());
        QCOMPARE(D.Window->FRightLines, QStringList{"right text"});
    }

    void devicesAreNeverSent_data()
    {
        QTest::addColumn<QString>("Command");
        QTest::addColumn<QString>("Left");   // "fifo" makes a named pipe in the test's folder
        QTest::newRow("automatic, /dev/zero") << "btnCompare" << "/dev/zero";
        QTest::newRow("automatic, a named pipe") << "btnCompare" << "fifo";
        QTest::newRow("forced, /dev/zero") << "miAsComplexDocumentsegPDFDOCXetcwithTIKA1" << "/dev/zero";
        QTest::newRow("forced, a named pipe") << "miAsComplexDocumentsegPDFDOCXetcwithTIKA1" << "fifo";
    }

    // /dev/zero or a named pipe as a document: a clear refusal in bounded time, nothing sent.
    void devicesAreNeverSent()
    {
        QFETCH(QString, Command);
        QFETCH(QString, Left);
        HttpStandIn Server;
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        if (Left == QLatin1String("fifo")) {
            Left = D.PathOf(QStringLiteral("pipe.pdf"));
            QCOMPARE(::mkfifo(QFile::encodeName(Left).constData(), 0600), 0);
        }
        D.SetPaths(Left, D.WriteBytes(QStringLiteral("right.pdf"), RightBytes()));

        if (Command == QLatin1String("btnCompare"))
            D.Click("btnCompare");
        else
            D.Trigger(qPrintable(Command));

        QCOMPARE(D.Platform.Messages.size(), 1);
        QCOMPARE(D.Platform.Messages[0].Kind, QStringLiteral("error"));
        QCOMPARE(Server.ConnectionCount(), 0);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
    }
};

QTEST_MAIN(TestWindowDocumentsWait)
#include "tst_window_documents_wait.moc"
