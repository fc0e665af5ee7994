#include "support/app/WindowDriver.h"

#include "update/Website.h"

#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QtTest>

// The about box and the website link in the status bar.
class TestWindowAbout : public QObject
{
    Q_OBJECT
private slots:
    void aboutBoxTakesTheYearAtTheClick()
    {
        TWindowDriver D;
        const auto Expected = [](int Year) {
            return QStringLiteral("information: Quorlane\r\nVersion: 1.0\r\n\r\n\r\nWebsite: ") + quorlane::WebsiteHost()
                + QStringLiteral("\r\n\r\nQuorlane is free software under the MIT licence: you may use, copy, change "
                                 "and pass it on under the terms of that licence. It is provided \"as is\", without "
                                 "warranty of any kind.\r\n\r\nCopyright \u00A9 %1 The Quorlane developers")
                      .arg(Year);
        };
        // The window was made on the last day of a year; the box follows the clock after midnight.
        D.Platform.Date = QDate(2030, 12, 31);
        D.Click("btnInfo");
        D.Platform.Date = QDate(2031, 1, 1);
        D.Click("btnInfo");
        QCOMPARE(D.Platform.Log(), (QStringList{Expected(2030), Expected(2031)}));
        QCOMPARE(quorlane::WebsiteHost(), QStringLiteral("quorlane.example"));   // the build's default
    }

    void linkShowsTheAddressAndOpensIt()
    {
        TWindowDriver D;
        auto* Link = D.Find<QLabel>("lbHomepageURL");
        QVERIFY(Link);
        QCOMPARE(Link->text(), QStringLiteral("https://quorlane.example/"));
        QCOMPARE(Link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!Link->font().underline());

        // At the status bar's right edge, 10 pixels in.
        auto* Bar = D.Find<QFrame>("pnlBottom");
        const int TextRight = Link->geometry().right() + 1 - Link->contentsMargins().right();
        QCOMPARE(Bar->width() - TextRight, 10);

        QTest::mouseClick(Link, Qt::RightButton);
        QVERIFY(D.Platform.OpenedUrls.isEmpty());
        QTest::mouseClick(Link, Qt::LeftButton);
        QCOMPARE(D.Platform.OpenedUrls, QList<QUrl>{QUrl("https://quorlane.example/")});
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    void linkUnderlinedOnlyWhileTheMouseIsOverIt()
    {
        TWindowDriver D;
        auto* Link = D.Find<QLabel>("lbHomepageURL");
        auto* Status = D.Find<QLabel>("lblStatus");
        QVERIFY(QTest::qWaitForWindowExposed(D.Window.get()));

        QTest::mouseMove(Status, Status->rect().center());
        QVERIFY(!Link->font().underline());
        QTest::mouseMove(Link, Link->rect().center());
        QTRY_VERIFY(Link->font().underline());
        QTest::mouseMove(Status, Status->rect().center());
        QTRY_VERIFY(!Link->font().underline());
        // The rest of the font stays the status bar's.
        QCOMPARE(Link->font().pointSizeF(), Status->font().pointSizeF());
        QCOMPARE(Link->font().family(), Status->font().family());
    }
};

QTEST_MAIN(TestWindowAbout)
#include "tst_window_about.moc"
