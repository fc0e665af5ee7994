#include "update/VersionNews.h"

#include <QtTest>

using namespace quorlane;

// What the version file and the change list say, apart from the network.
class TestUpdateVersionNews : public QObject
{
    Q_OBJECT
private slots:
    void versionFile_data()
    {
        QTest::addColumn<QByteArray>("Body");
        QTest::addColumn<bool>("News");
        QTest::addColumn<bool>("Mandatory");
        QTest::addColumn<QString>("FirstLine");   // of the message, when there is news

        const QString Available = QStringLiteral("The new version %1 is available");
        const QString OutOfDate = QStringLiteral("This version of the software is out of date. You must download the "
                                                 "current version %1 to continue using the software.");
        QTest::newRow("11/10 optional") << QByteArray("11/10") << true << false << Available.arg("1.1");
        QTest::newRow("12/11 mandatory") << QByteArray("12/11") << true << true << OutOfDate.arg("1.2");
        QTest::newRow("10/10 no news") << QByteArray("10/10") << false << false << QString();
        QTest::newRow("10/11 mandatory, same version") << QByteArray("10/11") << true << true << OutOfDate.arg("1.0");
        QTest::newRow("9/10 older") << QByteArray("9/10") << false << false << QString();
        QTest::newRow("no slash") << QByteArray("11") << false << false << QString();
        QTest::newRow("letters") << QByteArray("abc/10") << false << false << QString();
        QTest::newRow("trailing junk") << QByteArray("11/1x") << false << false << QString();
        QTest::newRow("empty file") << QByteArray() << false << false << QString();
        QTest::newRow("empty first line") << QByteArray("\r\n11/10\r\n") << false << false << QString();
        QTest::newRow("slash only") << QByteArray("/") << false << false << QString();
        QTest::newRow("compared as integers") << QByteArray("100/10") << true << false << Available.arg("10.0");
        QTest::newRow("single digit newer") << QByteArray("20/10") << true << false << Available.arg("2.0");
        QTest::newRow("three digits") << QByteArray("105/10") << true << false << Available.arg("10.5");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "11/10\r\n") << true << false << Available.arg("1.1");
        QTest::newRow("later lines ignored") << QByteArray("11/10\nrubbish/99\n") << true << false << Available.arg("1.1");
        QTest::newRow("lone CR ends the line") << QByteArray("11/10\r12/12") << true << false << Available.arg("1.1");
        QTest::newRow("blanks around the numbers") << QByteArray(" 11 / 10 ") << true << false << Available.arg("1.1");
        QTest::newRow("sign refused") << QByteArray("+11/10") << false << false << QString();
        QTest::newRow("negative required refused") << QByteArray("11/-1") << false << false << QString();
        QTest::newRow("second slash") << QByteArray("11/10/9") << false << false << QString();
        QTest::newRow("overflow") << QByteArray("99999999999/10") << false << false << QString();
        QTest::newRow("largest int") << QByteArray("2147483647/10") << true << false << Available.arg("214748364.7");
        QTest::newRow("non-ASCII digits") << QByteArray("\xD9\xA1\xD9\xA1/10") << false << false << QString();
        QTest::newRow("malformed UTF-8") << QByteArray("\xFF\xFE" "11/10") << false << false << QString();
        QTest::newRow("markup is not read") << QByteArray("<html>11/10</html>") << false << false << QString();
    }

    void versionFile()
    {
        QFETCH(QByteArray, Body);
        QFETCH(bool, News);
        QFETCH(bool, Mandatory);
        QFETCH(QString, FirstLine);
        const std::optional<TVersionNews> Result = ComposeVersionNews(Body, "Faster\r\n");
        QCOMPARE(Result.has_value(), News);
        if (!News)
            return;
        QCOMPARE(Result->Mandatory, Mandatory);
        QCOMPARE(Result->Message, FirstLine + QStringLiteral("\r\n\r\nWhat's new:\r\nFaster\r\n"));
    }

    void changeList_data()
    {
        QTest::addColumn<QByteArray>("Body");
        QTest::addColumn<QString>("Listed");   // what follows "What's new:\r\n"

        QTest::newRow("one per line") << QByteArray("Faster\r\nSmaller\r\n") << "Faster\r\nSmaller\r\n";
        QTest::newRow("empty lines between and after") << QByteArray("\r\nA\r\n\r\n\r\nB\n\n\n") << "A\r\nB\r\n";
        QTest::newRow("blank lines stay") << QByteArray("A\r\n  \r\nB") << "A\r\n  \r\nB\r\n";
        QTest::newRow("empty list") << QByteArray() << "";
        QTest::newRow("only empty lines") << QByteArray("\r\n\n\r") << "";
        QTest::newRow("mark and mixed breaks") << QByteArray("\xEF\xBB\xBF" "A\rB\nC\r\nD") << "A\r\nB\r\nC\r\nD\r\n";
        QTest::newRow("UTF-8 text") << QByteArray("Gr\xC3\xB6\xC3\x9F" "er \xE2\x82\xAC") << QStringLiteral(u"Größer €\r\n");
        QTest::newRow("markup kept as text") << QByteArray("<li>A</li>") << "<li>A</li>\r\n";
        QTest::newRow("%1 is not a placeholder") << QByteArray("100%1 done") << "100%1 done\r\n";
    }

    void changeList()
    {
        QFETCH(QByteArray, Body);
        QFETCH(QString, Listed);
        const std::optional<TVersionNews> Result = ComposeVersionNews("11/10", Body);
        QVERIFY(Result);
        QCOMPARE(Result->Message, QStringLiteral("The new version 1.1 is available\r\n\r\nWhat's new:\r\n") + Listed);
    }

    void versionLineParts()
    {
        const std::optional<TVersionLine> Line = ParseVersionLine(QStringLiteral("9/7"));
        QVERIFY(Line);
        QCOMPARE(Line->Latest, 9);
        QCOMPARE(Line->Required, 7);
        QCOMPARE(Line->Shown, QStringLiteral(".9"));   // a single digit gets the point before it
    }

    void runningVersionDecides()
    {
        QVERIFY(!ComposeVersionNews("11/10", {}, 11));
        QVERIFY(ComposeVersionNews("11/12", {}, 11)->Mandatory);
    }
};

QTEST_APPLESS_MAIN(TestUpdateVersionNews)
#include "tst_update_versionnews.moc"
