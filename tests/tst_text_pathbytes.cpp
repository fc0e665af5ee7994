// File names as bytes: every byte string survives the trip through a QString, valid UTF-8 reads
// as its text, and what is at such a path can be looked at.

#include "text/PathBytes.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

class TestTextPathBytes : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("Bytes");
        QTest::addColumn<QString>("Text");   // how it reads; empty: not checked
        QTest::newRow("ASCII") << QByteArray("/tmp/a b.txt") << QStringLiteral("/tmp/a b.txt");
        QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9/\xe2\x82\xac/\xf0\x9f\x98\x80") << QStringLiteral("café/€/😀");
        QTest::newRow("FF FE") << QByteArray("bad\xff\xfename.txt") << QString();
        QTest::newRow("Latin-1 e acute") << QByteArray("caf\xe9.txt") << QString();
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf" "b") << QString();
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << QString();
        QTest::newRow("above U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QString();
        QTest::newRow("cut short at the end") << QByteArray("ab\xe2\x82") << QString();
        QTest::newRow("lone continuation") << QByteArray("\x80\xbf") << QString();
        QTest::newRow("escape look-alike in valid UTF-8") << QByteArray("\xee\xb3\xbf") << QString(QChar(0xECFF));
    }

    void roundTrip()
    {
        QFETCH(QByteArray, Bytes);
        QFETCH(QString, Text);
        const QString Path = PathFromBytes(Bytes);
        QCOMPARE(PathBytes(Path), Bytes);
        if (!Text.isEmpty())
            QCOMPARE(Path, Text);
        // A name that is valid UTF-8 reads exactly as Qt reads it.
        if (QString::fromUtf8(Bytes).toUtf8() == Bytes)
            QCOMPARE(Path, QString::fromUtf8(Bytes));
    }

    void kindsOfNamesThatAreNotUtf8()
    {
        QTemporaryDir Work;
        const QByteArray Root = QFile::encodeName(Work.path()) + '/';
        const QByteArray File = Root + "f\xff", Folder = Root + "d\xfe";
        std::FILE* Stream = std::fopen(File.constData(), "wb");
        QVERIFY(Stream);
        std::fclose(Stream);
        QCOMPARE(::mkdir(Folder.constData(), 0700), 0);
        QCOMPARE(PathKindOf(PathFromBytes(File)), TPathKind::File);
        QCOMPARE(PathKindOf(PathFromBytes(Folder)), TPathKind::Folder);
        QCOMPARE(PathKindOf(PathFromBytes(Root + "f\xfe")), TPathKind::Missing);
        QCOMPARE(PathKindOf(QStringLiteral("/dev/null")), TPathKind::Other);
        QCOMPARE(PathKindOf(QString()), TPathKind::Missing);
        ::unlink(File.constData());
        ::rmdir(Folder.constData());
    }
};

QTEST_GUILESS_MAIN(TestTextPathBytes)
#include "tst_text_pathbytes.moc"
