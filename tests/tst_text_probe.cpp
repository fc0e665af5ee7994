// The text/binary probe: its rules on the first 4096 bytes, and paths that hold no file.

#include "support/core/ByteFiles.h"
#include "text/TextFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlane::test;

class TstTextProbe : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    void rules_data();
    void rules();

    void onlyFirst4096Bytes_data();
    void onlyFirst4096Bytes();

    void nulPastProbeStaysInLine();

    void pathsWithoutAFile();

private:
    QTemporaryDir FDir;
    int FCount = 0;
};

void TstTextProbe::rules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("text");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("utf-8 mark wins over NUL and controls") << HexBytes("EF BB BF 00 01") << true;
    QTest::newRow("utf-16 LE mark") << HexBytes("FF FE 41 00") << true;
    QTest::newRow("utf-16 BE mark") << HexBytes("FE FF 00 41") << true;
    QTest::newRow("utf-16 LE without mark") << HexBytes("41 00 42 00") << false;
    QTest::newRow("cut mark then NUL") << HexBytes("EF BB 00") << false;
    QTest::newRow("NUL in valid utf-8") << HexBytes("C3 A9 00") << false;
    QTest::newRow("valid utf-8 with ESC") << HexBytes("C3 A9 1B") << true;
    QTest::newRow("ESC in ascii") << HexBytes("61 1B 62") << false;
    QTest::newRow("TAB CR LF only") << HexBytes("61 09 0D 0A 62") << true;
    QTest::newRow("DEL and high bytes") << HexBytes("7F 80 FF E9") << true;
    QTest::newRow("form feed in latin-1") << HexBytes("E9 0C") << false;
    for (int c = 0x01; c < 0x20; ++c) {
        if (c == 0x09 || c == 0x0A || c == 0x0D)
            continue;
        QTest::addRow("control %02X", c) << (QByteArray("ab") + char(c) + "cd") << false;
    }
}

void TstTextProbe::rules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, text);
    QCOMPARE(IsTextBytes(bytes), text);
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("r%1").arg(++FCount), bytes);
    QCOMPARE(IsTextFile(path), text);
}

void TstTextProbe::onlyFirst4096Bytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("text");
    const QByteArray ascii4095(4095, 'a');
    QTest::newRow("NUL at byte 5000") << QByteArray(5000, 'a') + '\0' << true;
    QTest::newRow("NUL as last probed byte") << ascii4095 + '\0' + "tail" << false;
    QTest::newRow("NUL right after the probe") << ascii4095 + 'a' + '\0' << true;
    QTest::newRow("ESC right after the probe") << ascii4095 + 'a' + '\x1b' << true;
    // The two-byte sequence is cut by the probe: rule 7 fails, rule 8 finds no control byte.
    QTest::newRow("utf-8 sequence straddling byte 4096")
        << ascii4095 + HexBytes("C3 A9") + QByteArray(903, 'b') << true;
    // Same, with an ESC early: only the cut sequence keeps rule 7 from answering true.
    QTest::newRow("straddling sequence with ESC")
        << "\x1b" + QByteArray(4094, 'a') + HexBytes("C3 A9") + QByteArray(903, 'b') << false;
    QTest::newRow("whole sequence inside, with ESC")
        << "\x1b" + QByteArray(4093, 'a') + HexBytes("C3 A9") + QByteArray(903, 'b') << true;
}

void TstTextProbe::onlyFirst4096Bytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, text);
    QCOMPARE(IsTextBytes(bytes), text);
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("b%1").arg(++FCount), bytes);
    QCOMPARE(IsTextFile(path), text);
}

void TstTextProbe::nulPastProbeStaysInLine()
{
    const QByteArray bytes = QByteArray(5000, 'a') + '\0' + "z\r\nnext";
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("nul.txt"), bytes);
    QVERIFY(IsTextFile(path));
    QStringList lines;
    TTextEncoding encoding{};
    bool bom = true;
    QString name;
    LoadTextFile(path, lines, encoding, bom, name);
    QCOMPARE(name, QStringLiteral("ANSI/ASCII"));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QString(5000, u'a') + QChar(0) + u'z');
    QCOMPARE(lines[1], QStringLiteral("next"));
}

void TstTextProbe::pathsWithoutAFile()
{
    const QString regular = WriteBytesFile(FDir.path(), QStringLiteral("plain.txt"), "x");
    QCOMPARE(IsTextFile(FDir.filePath(QStringLiteral("missing.txt"))), false);
    QCOMPARE(IsTextFile(regular + QStringLiteral("/below")), false);
    QCOMPARE(IsTextFile(QString()), false);
    QCOMPARE(IsTextFile(FDir.path()), false);
    QVERIFY(QDir(FDir.path()).mkdir(QStringLiteral("folder.txt")));
    QCOMPARE(IsTextFile(FDir.filePath(QStringLiteral("folder.txt"))), false);
    QVERIFY(IsTextFile(regular));
}

QTEST_GUILESS_MAIN(TstTextProbe)
#include "tst_text_probe.moc"
