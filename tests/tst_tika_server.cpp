// The Tika client against the real Apache Tika server, started once for the class on a free
// 127.0.0.1 port, with DOCX and PDF documents generated here.
//
// The server's jar comes from QUORLANE_TIKA_JAR (scripts/test.sh fetches it) or the cache of
// scripts/tika-server.sh. Without it, or without Java, the class is skipped loudly.

#include "support/core/DocumentFixtures.h"
#include "support/core/TikaServerProcess.h"
#include "tika/Tika.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorlane;
using namespace quorlane::test;

namespace {

constexpr int ExtractTimeoutMs = 120000;

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
    [[nodiscard]] QString Write(const QString& Name, const QByteArray& Bytes);
    [[nodiscard]] QString Extract(const QString& FileName);
    [[nodiscard]] TTikaRequest Request() const
    {
        TTikaRequest request;
        request.Endpoint = FTika.Endpoint();
        request.ReadTimeoutMs = ExtractTimeoutMs;
        request.DeadlineMs = ExtractTimeoutMs;
        return request;
    }

    QTemporaryDir FDir;
    TikaServerProcess FTika;
    int FCount = 0;
};

void TikaServerTest::initTestCase()
{
    QVERIFY(FDir.isValid());
    const TTikaServerStart Start = FTika.Start(FDir.filePath(QStringLiteral("tika-server.log")), QStringLiteral("The tests"));
    if (Start.Outcome == TTikaServerStart::TOutcome::Skip)
        QSKIP(qPrintable(Start.Message));
    if (Start.Outcome == TTikaServerStart::TOutcome::Fail)
        QFAIL(qPrintable(Start.Message));
}

void TikaServerTest::cleanupTestCase()
{
    FTika.Stop();
    QCOMPARE(FTika.State(), QProcess::NotRunning);
}

QString TikaServerTest::Write(const QString& Name, const QByteArray& Bytes)
{
    const QString path = FDir.filePath(Name);
    return WriteBytes(path, Bytes) ? path : QString();
}

QString TikaServerTest::Extract(const QString& FileName)
{
    const TTikaExtraction result = ExtractTextWithTika(FileName, Request());
    if (!result.Ok) qWarning("extraction of %s failed: \"%s\"", qPrintable(FileName), qPrintable(result.Error));
    return result.Ok ? result.Lines.join(QLatin1Char('\n')) : QString();
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

    const TTikaExtraction result = ExtractTextWithTika(path, Request());
    QVERIFY2(result.Ok, qPrintable(result.Error));
    QCOMPARE(result.Error, QString());
    // Every line comes back whole, on a line of its own, in order.
    const QStringList& got = result.Lines;
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
    // Tika answers 200 with an empty body: a failure that says so.
    const QString path = Write(QStringLiteral("blank.docx"), MakeDocx({}));
    const TTikaExtraction result = ExtractTextWithTika(path, Request());
    QVERIFY(!result.Ok);
    QVERIFY(result.Lines.isEmpty());
    QCOMPARE(result.Error, QStringLiteral("Apache Tika could not read blank.docx (it may be damaged or encrypted)."));
}

void TikaServerTest::brokenDocumentIsRefused()
{
    const QByteArray pdf = MakePdf({QStringLiteral("cut short")});
    const QString path = Write(QStringLiteral("broken.pdf"), pdf.left(20));
    const TTikaExtraction result = ExtractTextWithTika(path, Request());
    const QString& error = result.Error;
    QVERIFY(!result.Ok);
    QCOMPARE(error, QStringLiteral("Apache Tika could not read broken.pdf (it may be damaged or encrypted)."));
    QVERIFY(result.Unreadable);
}

QTEST_GUILESS_MAIN(TikaServerTest)
#include "tst_tika_server.moc"
