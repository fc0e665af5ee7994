#include "platform/Platform.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

// The real platform: message boxes carry the exact text and answer as asked, and the pointer
// shapes follow the window's requests, with an arrow over any box the user must answer.
class TestAppPlatform : public QObject
{
    Q_OBJECT
private:
    // Runs Check on the box once it is open, then presses the button with the given text.
    static void AnswerNextBox(const QString& Button, std::function<void(QMessageBox&)> Check)
    {
        QTimer::singleShot(0, [Button, Check] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box);
            Check(*Box);
            for (QAbstractButton* B : Box->buttons())
                if (B->text().remove('&') == Button)
                    B->click();
        });
    }

    [[nodiscard]] static Qt::CursorShape PointerShape()
    {
        const QCursor* C = QGuiApplication::overrideCursor();
        return C ? C->shape() : Qt::ArrowCursor;
    }

private slots:
    void cleanup() { RealPlatform().SetPointer(TPointer::Default); }

    void messageBoxCarriesExactPlainText()
    {
        const QString Text = QStringLiteral("Compared:\r\n<b>a & b</b>\r\nDifferent lines: 3.");
        QString Seen;
        Qt::TextFormat Format = Qt::AutoText;
        AnswerNextBox("OK", [&](QMessageBox& Box) {
            Seen = Box.text();
            Format = Box.textFormat();
        });
        RealPlatform().ShowMessage(TMessageKind::Information, Text);
        QCOMPARE(Seen, Text);
        QCOMPARE(Format, Qt::PlainText);
    }

    void confirmationAnswers_data()
    {
        QTest::addColumn<QString>("Button");
        QTest::addColumn<bool>("Expected");
        QTest::newRow("Yes") << "Yes" << true;
        QTest::newRow("Cancel") << "Cancel" << false;
    }

    void confirmationAnswers()
    {
        QFETCH(QString, Button);
        QFETCH(bool, Expected);
        AnswerNextBox(Button, [](QMessageBox& Box) {
            QCOMPARE(Box.standardButtons(), QMessageBox::Yes | QMessageBox::Cancel);
        });
        QCOMPARE(RealPlatform().Confirm(QStringLiteral("Load and compare the specified files?")), Expected);
    }

    void pointerShapes()
    {
        RealPlatform().SetPointer(TPointer::Hourglass);
        QCOMPARE(PointerShape(), Qt::WaitCursor);
        RealPlatform().SetPointer(TPointer::AppStarting);
        QCOMPARE(PointerShape(), Qt::BusyCursor);
        RealPlatform().SetPointer(TPointer::Default);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // The user answers a box with the normal pointer; the busy one returns afterwards.
    void arrowOverBoxesThenBusyAgain()
    {
        RealPlatform().SetPointer(TPointer::Hourglass);
        Qt::CursorShape DuringBox = Qt::WaitCursor;
        AnswerNextBox("OK", [&](QMessageBox&) { DuringBox = PointerShape(); });
        RealPlatform().ShowMessage(TMessageKind::Error, QStringLiteral("Left file does not exist."));
        QCOMPARE(DuringBox, Qt::ArrowCursor);
        QCOMPARE(PointerShape(), Qt::WaitCursor);
    }

    // A busy pointer ended while the box was open stays ended.
    void pointerEndedDuringBoxStaysEnded()
    {
        RealPlatform().SetPointer(TPointer::AppStarting);
        AnswerNextBox("OK", [](QMessageBox&) { RealPlatform().SetPointer(TPointer::Default); });
        RealPlatform().ShowMessage(TMessageKind::Information, QStringLiteral("Files are already identical."));
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

QTEST_MAIN(TestAppPlatform)
#include "tst_app_platform.moc"
