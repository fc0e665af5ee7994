// Which file names are complex documents.

#include "text/FileKind.h"

#include <QTest>

class TstTextFileKind : public QObject {
    Q_OBJECT

private slots:
    void everyDocumentExtension_data();
    void everyDocumentExtension();
    void names_data();
    void names();
};

void TstTextFileKind::everyDocumentExtension_data()
{
    QTest::addColumn<QString>("extension");
    // Written out again here, so a typo in the program's list shows up.
    const char* const expected[] = {
        ".docx", ".xlsx", ".pptx", ".doc", ".xls", ".ppt", ".pdf", ".jpg", ".jpeg", ".png", ".gif",
        ".bmp", ".tif", ".tiff", ".webp", ".ico", ".zip", ".rar", ".7z", ".tar", ".gz", ".mp3",
        ".wav", ".ogg", ".flac", ".mp4", ".avi", ".mkv", ".mov", ".exe", ".dll", ".bin", ".ttf",
        ".otf", ".woff", ".woff2", ".psd", ".ai", ".dwg", ".mdb", ".accdb", ".sqlite", ".eml", ".msg"};
    QCOMPARE(std::size(expected), ComplexDocumentExtensions.size());
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        QCOMPARE(QLatin1StringView(ComplexDocumentExtensions[i]), QLatin1StringView(expected[i]));
        QTest::newRow(expected[i]) << QString::fromLatin1(expected[i]);
    }
}

void TstTextFileKind::everyDocumentExtension()
{
    QFETCH(QString, extension);
    QVERIFY(IsComplexDocument(QStringLiteral("/home/u/file") + extension));
    QVERIFY(IsComplexDocument(QStringLiteral("file") + extension.toUpper()));
    QVERIFY(!IsComplexDocument(QStringLiteral("file") + extension + QStringLiteral(".txt")));
    QVERIFY(!IsComplexDocument(QStringLiteral("file") + extension + QStringLiteral("~")));
}

void TstTextFileKind::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("document");
    QTest::newRow("upper-case PDF") << "C:/Docs/REPORT.PDF" << true;
    QTest::newRow("mixed case") << "scan.JpEg" << true;
    QTest::newRow("text") << "notes.txt" << false;
    QTest::newRow("tar.gz counts .gz") << "backup.tar.gz" << true;
    QTest::newRow("gz.txt counts .txt") << "backup.gz.txt" << false;
    QTest::newRow("no dot") << "Makefile" << false;
    QTest::newRow("ends in a dot") << "report.pdf." << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot in folder only") << "/data/archive.zip/readme" << false;
    QTest::newRow("dot-file named like an extension") << "/tmp/.pdf" << true;
    QTest::newRow("leading spaces are part of the name") << "a. pdf" << false;
    // Only A-Z are lower-cased: the Kelvin sign must not become a k, nor a dotted capital I an i.
    QTest::newRow("non-ASCII capital not folded") << QString::fromUtf8("x.D\u0130LL") << false;
    QTest::newRow("Kelvin sign not folded") << QString::fromUtf8("a.m\u212Av") << false;
}

void TstTextFileKind::names()
{
    QFETCH(QString, name);
    QFETCH(bool, document);
    QCOMPARE(IsComplexDocument(name), document);
}

QTEST_GUILESS_MAIN(TstTextFileKind)
#include "tst_text_filekind.moc"
