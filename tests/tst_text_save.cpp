// Writing a side back to disk: the bytes of every encoding, round trips through loading, one
// byte-order mark, and an existing file that survives a failed save.

#include "support/core/ByteFiles.h"
#include "support/core/FileSizeLimit.h"
#include "text/SideSave.h"
#include "text/SideState.h"
#include "text/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quorlane::test;

Q_DECLARE_METATYPE(TTextEncoding)

namespace {

QString U(const char* Utf8)
{
    return QString::fromUtf8(Utf8);
}

const QString Mark(QChar(0xFEFF));

struct TLoaded {
    QStringList Lines;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    bool HasBOM = false;
    QString EncName;
};

TLoaded Load(const QString& Path)
{
    TLoaded loaded;
    LoadTextFile(Path, loaded.Lines, loaded.Encoding, loaded.HasBOM, loaded.EncName);
    return loaded;
}

}  // namespace

class TstTextSave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    void writtenBytes_data();
    void writtenBytes();

    void writeEncodingTable_data();
    void writeEncodingTable();

    void roundTrip_data();
    void roundTrip();

    void manyLinesAcrossChunks();
    void replacesLongerFile();
    void keepsLinkAndPermissions();

    void failedWriteKeepsOriginal();

    void unwritablePaths_data();
    void unwritablePaths();

private:
    QTemporaryDir FDir;
    int FCount = 0;
};

void TstTextSave::writtenBytes_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<TTextEncoding>("encoding");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QByteArray>("bytes");
    const auto ansi = TTextEncoding::Ansi;
    const auto utf8 = TTextEncoding::Utf8;
    const auto le = TTextEncoding::Utf16LE;
    const auto be = TTextEncoding::Utf16BE;

    QTest::newRow("utf-8 without mark") << QStringList{"a", U("é")} << utf8 << false
                                        << HexBytes("61 0D 0A C3 A9 0D 0A");
    QTest::newRow("utf-8 mark for text without one") << QStringList{"a"} << utf8 << true
                                                     << HexBytes("EF BB BF 61 0D 0A");
    // The loaded mark is never in the lines: a U+FEFF there is text and is written as such.
    QTest::newRow("leading U+FEFF without a mark") << QStringList{Mark + "a"} << utf8 << false
                                                   << HexBytes("EF BB BF 61 0D 0A");
    QTest::newRow("U+FEFF later in the text is kept")
        << QStringList{"a", Mark + "b"} << utf8 << false << HexBytes("61 0D 0A EF BB BF 62 0D 0A");
    QTest::newRow("leading U+FEFF after the mark")
        << QStringList{Mark + "a"} << utf8 << true << HexBytes("EF BB BF EF BB BF 61 0D 0A");
    QTest::newRow("utf-8 lone surrogate") << QStringList{QString(QChar(0xD800)) + "x"} << utf8 << false
                                          << HexBytes("EF BF BD 78 0D 0A");
    QTest::newRow("utf-16 LE") << QStringList{"a", "b"} << le << true
                               << HexBytes("FF FE 61 00 0D 00 0A 00 62 00 0D 00 0A 00");
    QTest::newRow("utf-16 BE") << QStringList{U("é€")} << be << true
                               << HexBytes("FE FF 00 E9 20 AC 00 0D 00 0A");
    QTest::newRow("utf-16 BE surrogate pair") << QStringList{U("😀")} << be << true
                                              << HexBytes("FE FF D8 3D DE 00 00 0D 00 0A");
    QTest::newRow("utf-16 always carries its mark") << QStringList{"a"} << le << false
                                                    << HexBytes("FF FE 61 00 0D 00 0A 00");
    QTest::newRow("ansi latin-1 and euro") << QStringList{U("café €")} << ansi << false
                                           << HexBytes("63 61 66 E9 20 80 0D 0A");
    QTest::newRow("ansi replacement character")
        << QStringList{U("\u0100\u4E2D😀x")} << ansi << false << HexBytes("3F 3F 3F 78 0D 0A");
    QTest::newRow("ansi unassigned bytes round trip, U+0080 does not")
        << QStringList{QString(QChar(0x81)) + QChar(0x9D) + QChar(0x80)} << ansi << false
        << HexBytes("81 9D 3F 0D 0A");
    QTest::newRow("ansi has no U+FEFF") << QStringList{Mark + "a"} << ansi << false
                                        << HexBytes("3F 61 0D 0A");
    QTest::newRow("ansi never has a mark") << QStringList{"a"} << ansi << true << HexBytes("61 0D 0A");
    QTest::newRow("one empty line") << QStringList{""} << utf8 << false << HexBytes("0D 0A");
    QTest::newRow("empty list utf-8") << QStringList() << utf8 << false << QByteArray();
    QTest::newRow("empty list utf-8 with mark") << QStringList() << utf8 << true << HexBytes("EF BB BF");
    QTest::newRow("empty list utf-16 BE") << QStringList() << be << true << HexBytes("FE FF");
    QTest::newRow("NUL and lone CR inside a line")
        << QStringList{QString("a") + QChar(0) + "b\rc"} << utf8 << false
        << HexBytes("61 00 62 0D 63 0D 0A");
}

void TstTextSave::writtenBytes()
{
    QFETCH(QStringList, lines);
    QFETCH(TTextEncoding, encoding);
    QFETCH(bool, bom);
    QFETCH(QByteArray, bytes);
    const QByteArray encoded = EncodeTextLines(lines, WriteEncodingFor(encoding, bom));
    QVERIFY2(encoded == bytes, qPrintable(ToHex(encoded)));
    const QString path = FDir.filePath(QStringLiteral("w%1.txt").arg(++FCount));
    SaveTextFile(path, lines, encoding, bom);
    QCOMPARE(ToHex(ReadBytesFile(path)), ToHex(bytes));
}

void TstTextSave::writeEncodingTable_data()
{
    QTest::addColumn<TTextEncoding>("encoding");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QByteArray>("preamble");
    QTest::newRow("utf-8") << TTextEncoding::Utf8 << false << QByteArray();
    QTest::newRow("utf-8 with mark") << TTextEncoding::Utf8 << true << HexBytes("EF BB BF");
    QTest::newRow("utf-16 LE") << TTextEncoding::Utf16LE << true << HexBytes("FF FE");
    QTest::newRow("utf-16 BE") << TTextEncoding::Utf16BE << true << HexBytes("FE FF");
    QTest::newRow("ansi") << TTextEncoding::Ansi << false << QByteArray();
}

void TstTextSave::writeEncodingTable()
{
    QFETCH(TTextEncoding, encoding);
    QFETCH(bool, bom);
    QFETCH(QByteArray, preamble);
    const TTextWriteEncoding chosen = WriteEncodingFor(encoding, bom);
    QCOMPARE(chosen.Encoding, encoding);
    QCOMPARE(chosen.GetPreamble(), preamble);
    const TUTF8NoBOMEncoding noBom;
    QCOMPARE(noBom.Encoding, TTextEncoding::Utf8);
    QVERIFY(noBom.GetPreamble().isEmpty());
}

void TstTextSave::roundTrip_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<bool>("canonical");  // every line already ends in CR LF
    QTest::addColumn<bool>("asRead");     // a side written back unchanged gives these bytes again
    QTest::newRow("ANSI/ASCII") << HexBytes("61 0D 0A 62 09 63 0D 0A") << true << true;
    QTest::newRow("ANSI") << HexBytes("E9 80 81 8D 0D 0A FF 0D 0A") << true << true;
    QTest::newRow("ANSI with LF breaks") << HexBytes("E9 0A 61 0A") << false << true;
    QTest::newRow("ANSI with CR breaks, no final break") << HexBytes("E9 0D 61") << false << true;
    QTest::newRow("UTF-8") << HexBytes("C3 A9 0D 0A F0 9F 98 80 0D 0A") << true << true;
    QTest::newRow("UTF-8 without final break") << HexBytes("C3 A9 0A 62") << false << true;
    QTest::newRow("UTF-8 with BOM") << HexBytes("EF BB BF 61 0D 0A 62 0D 0A") << true << true;
    QTest::newRow("UTF-8 with BOM, CR LF, no final break") << HexBytes("EF BB BF 61 0D 0A 62") << false << true;
    QTest::newRow("UTF-8 with BOM, mark only") << HexBytes("EF BB BF") << false << true;
    QTest::newRow("UTF-16 LE with BOM") << HexBytes("FF FE E9 00 0D 00 0A 00 3D D8 00 DE 0D 00 0A 00")
                                        << true << true;
    // The odd byte is read as U+FFFD and the byte as ANSI, which are written as whole units.
    QTest::newRow("UTF-16 LE, lone CR, odd byte") << HexBytes("FF FE 61 00 0D 00 62 00 63") << false << false;
    QTest::newRow("UTF-16 BE with BOM") << HexBytes("FE FF 00 E9 00 0D 00 0A") << true << true;
    QTest::newRow("UTF-16 BE, LF, no final break") << HexBytes("FE FF 00 61 00 0A 00 62") << false << true;
    QTest::newRow("empty") << QByteArray() << true << true;
    QTest::newRow("blank lines") << HexBytes("0D 0A 0D 0A") << true << true;
}

void TstTextSave::roundTrip()
{
    QFETCH(QByteArray, original);
    QFETCH(bool, canonical);
    QFETCH(bool, asRead);
    const QString source = WriteBytesFile(FDir.path(), QStringLiteral("rt%1.src").arg(++FCount), original);
    const TLoaded first = Load(source);
    const QString saved = FDir.filePath(QStringLiteral("rt%1.saved").arg(FCount));
    SaveTextFile(saved, first.Lines, first.Encoding, first.HasBOM);
    const TLoaded second = Load(saved);
    QCOMPARE(second.Lines, first.Lines);
    QCOMPARE(second.Encoding, first.Encoding);
    QCOMPARE(second.HasBOM, first.HasBOM);
    QCOMPARE(second.EncName, first.EncName);
    if (canonical)
        QCOMPARE(ToHex(ReadBytesFile(saved)), ToHex(original));

    // Through a side: its own line break and final break, so nothing changed is nothing written.
    TSideState side;
    side.Source = TSideSource::TextFile;
    LoadTextFile(source, side);
    const QString sideSaved = FDir.filePath(QStringLiteral("rt%1.side").arg(FCount));
    SaveTextFile(sideSaved, side.Lines, WriteEncodingFor(side));
    if (asRead)
        QCOMPARE(ToHex(ReadBytesFile(sideSaved)), ToHex(original));
    QCOMPARE(Load(sideSaved).Lines, side.Lines);
}

void TstTextSave::manyLinesAcrossChunks()
{
    // Enough text to be written in several pieces.
    QStringList lines;
    QByteArray expected = HexBytes("FE FF");
    for (int i = 0; i < 120000; ++i) {
        const QString line = QStringLiteral("%1 caf\u00E9 \u20AC").arg(i);
        lines << line;
        for (QChar c : line + QStringLiteral("\r\n")) {
            expected.append(char(c.unicode() >> 8));
            expected.append(char(c.unicode() & 0xFF));
        }
    }
    QVERIFY(expected.size() > 3 << 20);
    const QString path = FDir.filePath(QStringLiteral("many.txt"));
    SaveTextFile(path, lines, TTextEncoding::Utf16BE, true);
    QVERIFY(ReadBytesFile(path) == expected);
    QVERIFY(EncodeTextLines(lines, WriteEncodingFor(TTextEncoding::Utf16BE, true)) == expected);
}

void TstTextSave::replacesLongerFile()
{
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("long.txt"), QByteArray(10000, 'z'));
    SaveTextFile(path, QStringList{QStringLiteral("a")}, TTextEncoding::Ansi, false);
    QCOMPARE(ToHex(ReadBytesFile(path)), ToHex(HexBytes("61 0D 0A")));
}

void TstTextSave::keepsLinkAndPermissions()
{
    const QString target = WriteBytesFile(FDir.path(), QStringLiteral("real.txt"), "old\r\n");
    QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                              | QFileDevice::ReadGroup));
    const QString link = FDir.filePath(QStringLiteral("shortcut.txt"));
    QVERIFY(QFile::link(target, link));
    SaveTextFile(link, QStringList{QStringLiteral("new")}, TTextEncoding::Utf8, false);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadBytesFile(target), QByteArray("new\r\n"));
    // Owner, group and other bits; the "user" bits repeat the owner for the running user.
    QCOMPARE(QFile::permissions(target) & 0x7077,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
}

void TstTextSave::failedWriteKeepsOriginal()
{
    const QString folder = FDir.filePath(QStringLiteral("full-disk"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray precious = "precious text\r\nthat must survive\r\n";
    const QString path = WriteBytesFile(folder, QStringLiteral("keep.txt"), precious);
    QStringList lines;
    for (int i = 0; i < 200000; ++i)
        lines << QStringLiteral("replacement line %1").arg(i);

    bool threw = false;
    QString message;
    {
        const TFileSizeLimit limit(64 * 1024);
        if (!limit.Active())
            QSKIP("cannot lower the file size limit");
        try {
            SaveTextFile(path, lines, TTextEncoding::Utf8, false);
        } catch (const ETextFileError& error) {
            threw = true;
            message = error.Message();
        }
    }
    QVERIFY(threw);
    QVERIFY2(message.contains(path), qPrintable(message));
    QCOMPARE(ReadBytesFile(path), precious);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.txt")});
}

void TstTextSave::unwritablePaths_data()
{
    QTest::addColumn<QString>("path");
    const QString regular = WriteBytesFile(FDir.path(), QStringLiteral("plain.txt"), "x");
    QVERIFY(QDir(FDir.path()).mkdir(QStringLiteral("a-folder")));
    const QString fifo = FDir.filePath(QStringLiteral("a-pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QTest::newRow("missing folder") << FDir.filePath(QStringLiteral("no/such/folder/out.txt"));
    QTest::newRow("below a regular file") << regular + QStringLiteral("/out.txt");
    QTest::newRow("a folder") << FDir.filePath(QStringLiteral("a-folder"));
    QTest::newRow("a named pipe") << fifo;
}

void TstTextSave::unwritablePaths()
{
    QFETCH(QString, path);
    const QFileInfo before(path);
    try {
        SaveTextFile(path, QStringList{QStringLiteral("a")}, TTextEncoding::Utf8, true);
        QFAIL("saving succeeded");
    } catch (const ETextFileError& error) {
        QVERIFY2(error.Message().contains(path), error.what());
        QVERIFY2(error.Message().startsWith(QStringLiteral("Cannot")), error.what());
    }
    // Whatever was there is still there, of the same kind.
    const QFileInfo after(path);
    QCOMPARE(after.exists(), before.exists());
    QCOMPARE(after.isDir(), before.isDir());
    QCOMPARE(after.isFile(), before.isFile());
}

QTEST_GUILESS_MAIN(TstTextSave)
#include "tst_text_save.moc"
