// The generated documents are well formed on their own, so a failure against the Tika server
// points at the client, not at a broken fixture.

#include "support/core/DocumentFixtures.h"

#include <QRegularExpression>
#include <QtTest>

using namespace quorlane::test;

namespace {

std::uint32_t Get16(const QByteArray& Bytes, qsizetype At)
{
    return static_cast<unsigned char>(Bytes.at(At)) | (static_cast<unsigned char>(Bytes.at(At + 1)) << 8);
}

std::uint32_t Get32(const QByteArray& Bytes, qsizetype At)
{
    return Get16(Bytes, At) | (Get16(Bytes, At + 2) << 16);
}

} // namespace

class TikaFixturesTest : public QObject {
    Q_OBJECT

private slots:
    void crc32_data();
    void crc32();
    void zipDirectoryMatchesEntries();
    void docxHasItsPartsAndEscapedText();
    void pdfCrossReferencePointsAtObjects_data();
    void pdfCrossReferencePointsAtObjects();
};

void TikaFixturesTest::crc32_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("crc");
    QTest::newRow("empty") << QByteArray() << quint32(0);
    QTest::newRow("check value") << QByteArray("123456789") << quint32(0xCBF43926);
    QTest::newRow("fox") << QByteArray("The quick brown fox jumps over the lazy dog") << quint32(0x414FA339);
}

void TikaFixturesTest::crc32()
{
    QFETCH(QByteArray, data);
    QFETCH(quint32, crc);
    QCOMPARE(Crc32(data), crc);
}

void TikaFixturesTest::zipDirectoryMatchesEntries()
{
    const QList<TZipEntry> entries{{QStringLiteral("a.txt"), "alpha"},
                                   {QStringLiteral("dir/b.bin"), QByteArray("\0\1\2\xFF", 4)},
                                   {QStringLiteral("empty"), {}}};
    const QByteArray zip = MakeStoredZip(entries);

    // End of central directory: the last 22 bytes, no comment.
    const qsizetype eocd = zip.size() - 22;
    QCOMPARE(Get32(zip, eocd), 0x06054B50U);
    QCOMPARE(Get16(zip, eocd + 10), std::uint32_t(entries.size()));
    qsizetype central = Get32(zip, eocd + 16);
    QCOMPARE(central + Get32(zip, eocd + 12), std::uint32_t(eocd));

    for (const TZipEntry& entry : entries) {
        QCOMPARE(Get32(zip, central), 0x02014B50U);
        const std::uint32_t crc = Get32(zip, central + 16);
        const qsizetype nameLength = Get16(zip, central + 28);
        const qsizetype local = Get32(zip, central + 42);
        QCOMPARE(zip.mid(central + 46, nameLength), entry.Name.toUtf8());
        QCOMPARE(crc, Crc32(entry.Data));
        QCOMPARE(Get32(zip, central + 20), std::uint32_t(entry.Data.size()));

        QCOMPARE(Get32(zip, local), 0x04034B50U);
        QCOMPARE(Get16(zip, local + 8), 0U); // stored
        QCOMPARE(Get32(zip, local + 14), crc);
        const qsizetype dataAt = local + 30 + Get16(zip, local + 26) + Get16(zip, local + 28);
        QCOMPARE(zip.mid(dataAt, entry.Data.size()), entry.Data);
        central += 46 + nameLength;
    }
}

void TikaFixturesTest::docxHasItsPartsAndEscapedText()
{
    const QByteArray docx = MakeDocx({QStringLiteral("a < b & \"c\""), QStringLiteral("Grüße")});
    QVERIFY(docx.contains("[Content_Types].xml"));
    QVERIFY(docx.contains("_rels/.rels"));
    QVERIFY(docx.contains("word/document.xml"));
    QVERIFY(docx.contains("a &lt; b &amp; &quot;c&quot;"));
    QVERIFY(docx.contains("Gr\xC3\xBC\xC3\x9F" "e"));
}

void TikaFixturesTest::pdfCrossReferencePointsAtObjects_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("no lines") << QStringList();
    QTest::newRow("escapes") << QStringList{QStringLiteral("(a) \\ b"), QStringLiteral("Café")};
}

void TikaFixturesTest::pdfCrossReferencePointsAtObjects()
{
    QFETCH(QStringList, lines);
    const QByteArray pdf = MakePdf(lines);
    QVERIFY(pdf.startsWith("%PDF-1.4\n"));
    QVERIFY(pdf.endsWith("%%EOF\n"));

    const QRegularExpression startXref(QStringLiteral("startxref\\n(\\d+)\\n%%EOF\\n$"));
    const QRegularExpressionMatch match = startXref.match(QString::fromLatin1(pdf));
    QVERIFY(match.hasMatch());
    const qsizetype xref = match.captured(1).toLongLong();
    QVERIFY(pdf.mid(xref).startsWith("xref\n0 6\n0000000000 65535 f \n"));
    for (int object = 1; object <= 5; ++object) {
        const QByteArray entry = pdf.mid(xref + 9 + 20 * object, 20);
        QVERIFY2(entry.endsWith(" 00000 n \n"), entry.constData());
        const qsizetype offset = entry.left(10).toLongLong();
        QVERIFY2(pdf.mid(offset).startsWith(QByteArray::number(object) + " 0 obj\n"), entry.constData());
    }

    // The content stream's declared length is its real length.
    const qsizetype streamAt = pdf.indexOf("stream\n") + 7;
    const qsizetype endAt = pdf.indexOf("endstream");
    const QRegularExpression length(QStringLiteral("/Length (\\d+)"));
    QCOMPARE(length.match(QString::fromLatin1(pdf)).captured(1).toLongLong(), endAt - streamAt);
    for (const QString& line : lines) {
        const QByteArray escaped = line.toLatin1().replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)");
        QVERIFY2(pdf.contains("(" + escaped + ") Tj"), escaped.constData());
    }
}

QTEST_GUILESS_MAIN(TikaFixturesTest)
#include "tst_tika_fixtures.moc"
