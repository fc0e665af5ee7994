// Encoding detection, strict decoding and line splitting of text files.

#include "support/core/ByteFiles.h"
#include "text/SideSave.h"
#include "text/SideState.h"
#include "text/TextFile.h"
#include "text/Windows1252.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlane::test;

Q_DECLARE_METATYPE(TTextEncoding)

namespace {

QString U(const char* Utf8)
{
    return QString::fromUtf8(Utf8);
}

QString WithNul(const char* Before, const char* After)
{
    return U(Before) + QChar(0) + U(After);
}

}  // namespace

class TstTextEncoding : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    void isValidUtf8_data();
    void isValidUtf8();
    void isValidUtf8NullBuffer();

    void detectAndLoad_data();
    void detectAndLoad();

    void strictUtf8Failure_data();
    void strictUtf8Failure();

    void largeFiles_data();
    void largeFiles();
    void malformedFarIntoLargeFile();

    void splitLines_data();
    void splitLines();

    void windows1252MatchesQtCodec();

private:
    QTemporaryDir FDir;
    int FCount = 0;
};

void TstTextEncoding::isValidUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("ascii only") << HexBytes("61 62 0D 0A") << false;
    QTest::newRow("two-byte") << HexBytes("C3 A9") << true;
    QTest::newRow("three-byte euro") << HexBytes("E2 82 AC") << true;
    QTest::newRow("four-byte emoji") << HexBytes("F0 9F 98 80") << true;
    QTest::newRow("lone latin-1 e-acute") << HexBytes("E9") << false;
    QTest::newRow("cut-off two-byte") << HexBytes("C3") << false;
    QTest::newRow("cut-off three-byte") << HexBytes("E2 82") << false;
    QTest::newRow("cut after valid text") << HexBytes("61 C3 A9 62 C3") << false;
    QTest::newRow("bad continuation") << HexBytes("E2 82 41") << false;
    QTest::newRow("lone continuation") << HexBytes("80") << false;
    QTest::newRow("continuation after ascii") << HexBytes("61 BF") << false;
    QTest::newRow("FE") << HexBytes("FE") << false;
    QTest::newRow("FF") << HexBytes("FF 61") << false;
    QTest::newRow("five-byte lead F8") << HexBytes("F8 88 80 80 80") << false;
    QTest::newRow("overlong NUL accepted") << HexBytes("C0 80 0A") << true;
    QTest::newRow("surrogate accepted") << HexBytes("ED A0 80") << true;
    QTest::newRow("above U+10FFFF accepted") << HexBytes("F4 90 80 80") << true;
    QTest::newRow("F7 lead accepted") << HexBytes("F7 BF BF BF") << true;
    QTest::newRow("long ascii run then sequence")
        << QByteArray(17, 'x') + HexBytes("C3 A9") << true;
    QTest::newRow("long ascii run then stray byte") << QByteArray(16, 'x') + HexBytes("80") << false;
    QTest::newRow("sequence then long ascii then cut")
        << HexBytes("C3 A9") + QByteArray(40, 'y') + HexBytes("E2") << false;
    QTest::newRow("valid sequences between ascii words")
        << QByteArray(9, 'a') + HexBytes("E2 82 AC") + QByteArray(23, 'b') + HexBytes("F0 9F 98 80")
        << true;
}

void TstTextEncoding::isValidUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(IsValidUtf8(bytes.constData(), bytes.size()), valid);
}

void TstTextEncoding::isValidUtf8NullBuffer()
{
    QCOMPARE(IsValidUtf8(nullptr, 0), false);
    QCOMPARE(IsValidUtf8(nullptr, 5), false);
    QCOMPARE(IsValidUtf8("\xC3\xA9", -1), false);
}

void TstTextEncoding::detectAndLoad_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TTextEncoding>("encoding");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("finalBreak");   // the text ended with a break, or was empty

    const auto ansi = TTextEncoding::Ansi;
    const auto utf8 = TTextEncoding::Utf8;
    const auto le = TTextEncoding::Utf16LE;
    const auto be = TTextEncoding::Utf16BE;
    const QString feff(QChar(0xFEFF));

    QTest::newRow("empty") << QByteArray() << ansi << false << "ANSI" << QStringList() << true;
    QTest::newRow("utf-8 mark, CRLF, no final break")
        << HexBytes("EF BB BF 61 0D 0A 62") << utf8 << true << "UTF-8 with BOM"
        << QStringList{"a", "b"} << false;
    QTest::newRow("utf-8 mark only") << HexBytes("EF BB BF") << utf8 << true << "UTF-8 with BOM"
                                     << QStringList() << true;
    QTest::newRow("second mark is text")
        << HexBytes("EF BB BF EF BB BF 61") << utf8 << true << "UTF-8 with BOM"
        << QStringList{feff + "a"} << false;
    QTest::newRow("ascii line") << HexBytes("61 0D 0A") << ansi << false << "ANSI/ASCII"
                                << QStringList{"a"} << true;
    QTest::newRow("CR CR LF") << HexBytes("61 0D 0D 0A 62 0A") << ansi << false << "ANSI/ASCII"
                              << QStringList{"a", "", "b"} << true;
    QTest::newRow("LF CR") << HexBytes("61 0A 0D 62") << ansi << false << "ANSI/ASCII"
                           << QStringList{"a", "", "b"} << false;
    QTest::newRow("one CRLF") << HexBytes("0D 0A") << ansi << false << "ANSI/ASCII"
                              << QStringList{""} << true;
    QTest::newRow("lone CR") << HexBytes("0D") << ansi << false << "ANSI/ASCII" << QStringList{""} << true;
    QTest::newRow("two LF") << HexBytes("0A 0A") << ansi << false << "ANSI/ASCII"
                            << QStringList{"", ""} << true;
    QTest::newRow("NUL inside line") << HexBytes("61 00 62 0A 63") << ansi << false << "ANSI/ASCII"
                                     << QStringList{WithNul("a", "b"), "c"} << false;
    QTest::newRow("utf-16 LE without mark is ASCII")
        << HexBytes("41 00 42 00") << ansi << false << "ANSI/ASCII"
        << QStringList{WithNul("A", "B") + QChar(0)} << false;
    QTest::newRow("utf-8 e-acute") << HexBytes("C3 A9") << utf8 << false << "UTF-8"
                                   << QStringList{U("é")} << false;
    QTest::newRow("utf-8 after ascii, CR end") << HexBytes("78 C3 A9 0D") << utf8 << false << "UTF-8"
                                               << QStringList{U("xé")} << true;
    QTest::newRow("utf-8 emoji") << HexBytes("F0 9F 98 80 0A") << utf8 << false << "UTF-8"
                                 << QStringList{U("😀")} << true;
    QTest::newRow("lone latin-1 e-acute") << HexBytes("E9") << ansi << false << "ANSI"
                                          << QStringList{U("é")} << false;
    QTest::newRow("cut-off utf-8 is ANSI") << HexBytes("C3") << ansi << false << "ANSI"
                                           << QStringList{U("Ã")} << false;
    QTest::newRow("cut-off utf-8 mark is ANSI") << HexBytes("EF BB") << ansi << false << "ANSI"
                                                << QStringList{U("ï»")} << false;
    QTest::newRow("windows-1252 specials and unassigned bytes")
        << HexBytes("80 81 8D 8F 90 9D 9F 0A A0 FF") << ansi << false << "ANSI"
        << QStringList{U("€") + QChar(0x81) + QChar(0x8D) + QChar(0x8F) + QChar(0x90) + QChar(0x9D)
                           + U("Ÿ"),
                       U("\u00A0ÿ")} << false;
    QTest::newRow("utf-16 LE") << HexBytes("FF FE 61 00 0D 00 0A 00 62 00") << le << true
                               << "UTF-16 LE with BOM" << QStringList{"a", "b"} << false;
    QTest::newRow("utf-16 LE odd last byte") << HexBytes("FF FE 61 00 62") << le << true
                                             << "UTF-16 LE with BOM" << QStringList{U("a\uFFFDb")} << false;
    QTest::newRow("utf-16 LE odd byte after the final break")
        << HexBytes("FF FE 61 00 0A 00 62") << le << true << "UTF-16 LE with BOM"
        << QStringList{"a", U("\uFFFDb")} << false;
    QTest::newRow("utf-16 LE surrogate pair")
        << HexBytes("FF FE 3D D8 00 DE 0A 00") << le << true << "UTF-16 LE with BOM"
        << QStringList{U("😀")} << true;
    QTest::newRow("utf-32 LE mark taken for utf-16 LE")
        << HexBytes("FF FE 00 00 61 00 00 00") << le << true << "UTF-16 LE with BOM"
        << QStringList{QChar(0) + QStringLiteral("a") + QChar(0)} << false;
    QTest::newRow("utf-16 BE") << HexBytes("FE FF 00 61 00 0A 00 62") << be << true
                               << "UTF-16 BE with BOM" << QStringList{"a", "b"} << false;
    QTest::newRow("utf-16 BE mark only") << HexBytes("FE FF") << be << true << "UTF-16 BE with BOM"
                                         << QStringList() << true;
    QTest::newRow("utf-16 BE lone CR and odd byte")
        << HexBytes("FE FF 00 E9 00 0D 20 AC 00") << be << true << "UTF-16 BE with BOM"
        << QStringList{U("é"), U("€\uFFFD") + QChar(0)} << false;
}

void TstTextEncoding::detectAndLoad()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TTextEncoding, encoding);
    QFETCH(bool, bom);
    QFETCH(QString, name);
    QFETCH(QStringList, lines);
    QFETCH(bool, finalBreak);

    const TDetectedEncoding found = DetectTextEncoding(bytes);
    QCOMPARE(found.Encoding, encoding);
    QCOMPARE(found.HasBOM, bom);
    QCOMPARE(found.EncName, name);

    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("f%1.txt").arg(++FCount), bytes);
    TTextEncoding detected = TTextEncoding::Utf16BE;
    bool detectedBom = !bom;
    QString detectedName = QStringLiteral("stale");
    DetectFileEncoding(path, detected, detectedBom, detectedName);
    QCOMPARE(detected, encoding);
    QCOMPARE(detectedBom, bom);
    QCOMPARE(detectedName, name);

    QStringList loaded{QStringLiteral("left over")};
    TTextEncoding loadedEncoding = TTextEncoding::Utf16BE;
    bool loadedBom = !bom;
    QString loadedName;
    LoadTextFile(path, loaded, loadedEncoding, loadedBom, loadedName);
    QCOMPARE(loaded, lines);
    QCOMPARE(loadedEncoding, encoding);
    QCOMPARE(loadedBom, bom);
    QCOMPARE(loadedName, name);

    TSideState side;
    LoadTextFile(path, side);
    QCOMPARE(side.Lines, lines);
    QCOMPARE(side.FinalBreak, finalBreak);
}

void TstTextEncoding::strictUtf8Failure_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<int>("offset");
    QTest::newRow("overlong NUL") << HexBytes("C0 80 0A") << false << 0;
    QTest::newRow("overlong after text") << HexBytes("61 0A C3 A9 E0 80 80") << false << 4;
    QTest::newRow("overlong four-byte") << HexBytes("F0 80 80 80") << false << 0;
    QTest::newRow("encoded surrogate") << HexBytes("61 ED A0 80") << false << 1;
    QTest::newRow("above U+10FFFF") << HexBytes("F4 90 80 80") << false << 0;
    QTest::newRow("F5 lead") << HexBytes("C3 A9 F5 80 80 80") << false << 2;
    QTest::newRow("mark then cut-off sequence") << HexBytes("EF BB BF 61 C3") << true << 4;
    QTest::newRow("mark then stray byte") << HexBytes("EF BB BF E9 0A") << true << 3;
}

void TstTextEncoding::strictUtf8Failure()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, bom);
    QFETCH(int, offset);
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("bad%1.txt").arg(++FCount), bytes);

    // Loading reads such a file as ANSI, like any other that is not UTF-8: every byte is kept
    // (a mark's bytes too) and is written back as it was.
    QStringList lines{QStringLiteral("left over")};
    TTextEncoding encoding = TTextEncoding::Utf8;
    bool hasBom = true;
    QString name;
    LoadTextFile(path, lines, encoding, hasBom, name);
    QCOMPARE(encoding, TTextEncoding::Ansi);
    QCOMPARE(hasBom, false);
    QCOMPARE(name, QStringLiteral("ANSI"));
    QCOMPARE(lines, SplitTextLines(DecodeText(bytes, TTextEncoding::Ansi)));
    TSideState side;
    side.Source = TSideSource::TextFile;
    LoadTextFile(path, side);
    QCOMPARE(side.Lines, lines);
    QCOMPARE(ToHex(EncodeTextLines(side.Lines, WriteEncodingFor(side))), ToHex(bytes));

    // Strict decoding on its own still says where the bytes go wrong.
    try {
        (void)DecodeText(bytes, TTextEncoding::Utf8, path);
        QFAIL("strict UTF-8 decoding accepted a malformed file");
    } catch (const ETextFileError& error) {
        const QString message = error.Message();
        QVERIFY2(message.contains(path), qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("offset %1").arg(offset)), qPrintable(message));
    }
    Q_UNUSED(bom);
}

namespace {

// Lines repeated to a few megabytes, so a file is read in several pieces.
QByteArray Repeat(const QByteArray& Lines, qsizetype AtLeast = 3 << 20)
{
    QByteArray out;
    out.reserve(AtLeast + Lines.size());
    while (out.size() < AtLeast)
        out += Lines;
    return out;
}

QByteArray Utf16(const QString& Text, bool BigEndian)
{
    QByteArray out;
    for (QChar c : Text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += BigEndian ? QByteArray{hi, lo} : QByteArray{lo, hi};
    }
    return out;
}

}  // namespace

void TstTextEncoding::largeFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    const QString mixed = U("line caf\u00E9 \u20AC 😀\r\nnext\nlast\r\r\n");
    QTest::newRow("utf-8, LF") << Repeat("caf\xC3\xA9 au lait\n") << "UTF-8";
    QTest::newRow("utf-8 with BOM, every line led by U+FEFF")
        << "\xEF\xBB\xBF" + Repeat("\xEF\xBB\xBF" "x\r\n") << "UTF-8 with BOM";
    QTest::newRow("valid utf-8 until a stray byte near the end")
        << Repeat("\xC3\xA9t\xC3\xA9\r\n") + "\xE9\r\nend" << "ANSI";
    QTest::newRow("ascii with lone CR breaks only") << Repeat("old mac line\r") << "ANSI/ASCII";
    QTest::newRow("one line without breaks") << Repeat("no break here ") << "ANSI/ASCII";
    QTest::newRow("ansi, CR LF") << Repeat("na\xEFve \x80\r\n") << "ANSI";
    QTest::newRow("utf-16 LE, odd last byte")
        << "\xFF\xFE" + Repeat(Utf16(mixed, false)) + "\x41" << "UTF-16 LE with BOM";
    QTest::newRow("utf-16 BE") << "\xFE\xFF" + Repeat(Utf16(mixed, true)) << "UTF-16 BE with BOM";
}

void TstTextEncoding::largeFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    const TDetectedEncoding found = DetectTextEncoding(bytes);
    QCOMPARE(found.EncName, name);
    // Whole-text decoding and splitting, the plain way, is what the load must match: without
    // the mark, and a UTF-16 odd last byte shown as U+FFFD and the byte read as ANSI.
    const qsizetype mark = !found.HasBOM ? 0 : found.Encoding == TTextEncoding::Utf8 ? 3 : 2;
    QString text = DecodeText(bytes.mid(mark), found.Encoding);
    if (found.Encoding != TTextEncoding::Utf8 && found.Encoding != TTextEncoding::Ansi && (bytes.size() - mark) % 2)
        text += QChar(QChar::ReplacementCharacter) + DecodeText(bytes.right(1), TTextEncoding::Ansi);
    const QStringList expected = SplitTextLines(text);
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("large%1.txt").arg(++FCount), bytes);
    QStringList lines;
    TTextEncoding encoding{};
    bool bom = false;
    QString loadedName;
    LoadTextFile(path, lines, encoding, bom, loadedName);
    QCOMPARE(loadedName, name);
    QCOMPARE(lines.size(), expected.size());
    QVERIFY(lines == expected);
    // Whether it ended with a break is known from the last piece.
    TSideState side;
    LoadTextFile(path, side);
    QCOMPARE(side.FinalBreak, text.endsWith(u'\n') || text.endsWith(u'\r'));
}

void TstTextEncoding::malformedFarIntoLargeFile()
{
    const QByteArray valid = Repeat("\xC3\xA9l\xC3\xA8ve\n");
    const QByteArray bytes = valid + "ok \xED\xA0\x80\n" + valid;
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("late-error.txt"), bytes);
    // Several megabytes decode as UTF-8 before the bad bytes: the whole file still loads as ANSI.
    QStringList lines;
    TTextEncoding encoding{};
    bool bom = true;
    QString name;
    LoadTextFile(path, lines, encoding, bom, name);
    QCOMPARE(name, QStringLiteral("ANSI"));
    QCOMPARE(encoding, TTextEncoding::Ansi);
    QVERIFY(lines == SplitTextLines(DecodeText(bytes, TTextEncoding::Ansi)));
}

void TstTextEncoding::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("no break") << "abc" << QStringList{"abc"};
    QTest::newRow("final CRLF") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("mixed breaks") << "a\nb\rc\r\nd" << QStringList{"a", "b", "c", "d"};
    QTest::newRow("CR CR LF") << "a\r\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("only breaks") << "\r\n\n\r" << QStringList{"", "", ""};
    QTest::newRow("trailing blank line") << "a\n\n" << QStringList{"a", ""};
    QTest::newRow("other controls stay") << QString("a\vb\fc\x1d" "d\x85" "e")
                                         << QStringList{QString("a\vb\fc\x1d" "d\x85" "e")};
    QTest::newRow("unicode separators stay") << U("a\u2028b\u2029c")
                                             << QStringList{U("a\u2028b\u2029c")};
}

void TstTextEncoding::splitLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(SplitTextLines(text), lines);
}

void TstTextEncoding::windows1252MatchesQtCodec()
{
    QStringDecoder qt("windows-1252");
    if (!qt.isValid())
        QSKIP("this Qt has no windows-1252 codec to compare with");
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString expected = qt.decode(all);
    const QString ours = DecodeWindows1252(all);
    QCOMPARE(ours.size(), 256);
    for (int b = 0; b < 256; ++b)
        QVERIFY2(ours[b] == expected[b], qPrintable(QStringLiteral("byte %1").arg(b, 2, 16)));
    // Every decoded character encodes back to its byte.
    QByteArray back;
    AppendWindows1252(back, ours);
    QCOMPARE(back, all);
}

QTEST_GUILESS_MAIN(TstTextEncoding)
#include "tst_text_encoding.moc"
