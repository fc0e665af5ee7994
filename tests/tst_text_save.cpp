// Writing a side back to disk: the bytes of every encoding, round trips through loading, one
// byte-order mark, and an existing file that survives a failed save.

#include "support/core/ByteFiles.h"
#include "support/core/FileSizeLimit.h"
#include "text/LoadedFile.h"
#include "text/SideSave.h"
#include "text/SideState.h"
#include "text/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

    void hashIgnoresHowTheBytesAreCut();
    void changedOnDisk_data();
    void changedOnDisk();
    void everyLoadRecordsItsFile();
    void unencodableCharacters_data();
    void unencodableCharacters();
    void modeBitsDecideReadOnly_data();
    void modeBitsDecideReadOnly();
    void aReadOnlyFileIsAskedAboutByItsOwner();
    void aChangeDuringTheWriteIsNotOverwritten();
    void saveSideRecordsTheWrittenFile();
    void staleTemporariesAreRemoved();
    void aSignalDuringTheSaveRemovesTheTemporary_data();
    void aSignalDuringTheSaveRemovesTheTemporary();

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
    // The odd byte is read as U+FFFD, which is written as a whole unit.
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

void TstTextSave::hashIgnoresHowTheBytesAreCut()
{
    QByteArray bytes(300000, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + (i >> 9));
    const quint64 whole = HashOfBytes(bytes);
    for (const qsizetype piece : {qsizetype(1), qsizetype(4095), qsizetype(65536), qsizetype(70001)}) {
        TFileHash hash;
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            hash.Add(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        QCOMPARE(hash.Value(), whole);
    }
    // A byte more, a byte changed, zero bytes appended: all differ.
    QVERIFY(HashOfBytes(bytes + 'x') != whole);
    QVERIFY(HashOfBytes(bytes + '\0') != whole);
    QByteArray changed = bytes;
    changed[150000] = char(changed[150000] ^ 1);
    QVERIFY(HashOfBytes(changed) != whole);
    QVERIFY(HashOfBytes({}) != HashOfBytes(QByteArray(1, '\0')));
}

void TstTextSave::changedOnDisk_data()
{
    QTest::addColumn<QString>("what");   // what another program does to the file after the load
    QTest::addColumn<bool>("changed");
    QTest::newRow("nothing") << "nothing" << false;
    QTest::newRow("appends a line") << "append" << true;
    QTest::newRow("rewrites it with other bytes of the same size, time put back") << "same size" << true;
    QTest::newRow("touches it") << "touch" << false;
    QTest::newRow("replaces it by another file with the same bytes") << "replace same" << false;
    QTest::newRow("replaces it by another file with other bytes") << "replace other" << true;
    QTest::newRow("removes it") << "remove" << false;
}

void TstTextSave::changedOnDisk()
{
    QFETCH(QString, what);
    QFETCH(bool, changed);
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("watched%1.txt").arg(++FCount), "one\ntwo\n");
    TSideState side;
    LoadTextFile(path, side);
    QVERIFY(side.Loaded.Known());
    QCOMPARE(side.Loaded.Path, QFileInfo(path).absoluteFilePath());
    const QByteArray native = QFile::encodeName(path);
    struct stat before {};
    QCOMPARE(::stat(native.constData(), &before), 0);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    if (what == QLatin1String("append")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("three\n");
    } else if (what == QLatin1String("same size")) {
        WriteBytesFile(FDir.path(), QFileInfo(path).fileName(), "one\nTWO\n");
        QCOMPARE(::utimensat(AT_FDCWD, native.constData(), times, 0), 0);
    } else if (what == QLatin1String("touch")) {
        const timespec later[2] = {{before.st_atim.tv_sec + 5, 0}, {before.st_mtim.tv_sec + 5, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, native.constData(), later, 0), 0);
    } else if (what.startsWith(QLatin1String("replace"))) {
        const QString other = WriteBytesFile(FDir.path(), QStringLiteral("other%1.txt").arg(FCount),
                                             what.endsWith(QLatin1String("same")) ? "one\ntwo\n" : "one\ntwo\n!\n");
        QCOMPARE(::rename(QFile::encodeName(other).constData(), native.constData()), 0);
    } else if (what == QLatin1String("remove")) {
        QVERIFY(QFile::remove(path));
    }
    QCOMPARE(ChangedOnDisk(side.Loaded), changed);
    QCOMPARE(ChangedOnDisk(side.Loaded), changed);   // looking does not change the answer
    // Unchanged bytes under a new stamp: the stamp is taken over, the next look reads nothing.
    if (!changed && what != QLatin1String("remove"))
        QCOMPARE(side.Loaded.Stamp, StampOfPath(path));
}

void TstTextSave::everyLoadRecordsItsFile()
{
    const QByteArray bytes = "caf\xE9\r\n";
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("recorded.txt"), bytes);
    TSideState fromFile, fromBytes;
    LoadTextFile(path, fromFile);
    LoadTextBytes(path, bytes, fromBytes);
    for (TLoadedFile* record : {&fromFile.Loaded, &fromBytes.Loaded}) {
        QCOMPARE(record->Path, QFileInfo(path).absoluteFilePath());
        QCOMPARE(record->Hash, HashOfBytes(bytes));
        QVERIFY(record->HashKnown);
        QCOMPARE(record->Stamp.Size, bytes.size());
        QVERIFY(!ChangedOnDisk(*record));
    }
    QCOMPARE(fromFile.Loaded.Stamp, StampOfPath(path));
    // A failed load keeps the record of what the side holds.
    const TLoadedFile kept = fromFile.Loaded;
    QVERIFY_THROWS_EXCEPTION(ETextFileError, LoadTextFile(FDir.filePath(QStringLiteral("missing.txt")), fromFile));
    QCOMPARE(fromFile.Loaded.Path, kept.Path);
}

void TstTextSave::unencodableCharacters_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<TTextEncoding>("encoding");
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("line");
    const auto ansi = TTextEncoding::Ansi;
    QTest::newRow("Windows-1252 holds all of it") << QStringList{U("café €"), U("“quoted” — ÿ"), "?"} << ansi << "" << 0;
    QTest::newRow("Cyrillic in line 2") << QStringList{U("café"), U("Жизнь 😀")} << ansi << U("Ж") << 2;
    QTest::newRow("an emoji is one character") << QStringList{"a", "b", U("ok 😀 Ж")} << ansi << U("😀") << 3;
    QTest::newRow("U+0080 is not the euro sign") << QStringList{QString(QChar(0x80))} << ansi << QString(QChar(0x80)) << 1;
    QTest::newRow("a lone surrogate") << QStringList{QString(QChar(0xD800)) + "x"} << ansi << QString(QChar(0xD800)) << 1;
    QTest::newRow("UTF-8 holds everything") << QStringList{U("Жизнь 😀")} << TTextEncoding::Utf8 << "" << 0;
    QTest::newRow("UTF-16 holds everything") << QStringList{U("Жизнь 😀")} << TTextEncoding::Utf16BE << "" << 0;
}

void TstTextSave::unencodableCharacters()
{
    QFETCH(QStringList, lines);
    QFETCH(TTextEncoding, encoding);
    QFETCH(QString, character);
    QFETCH(int, line);
    const TUnencodable found = FindUnencodable(lines, WriteEncodingFor(encoding, encoding != TTextEncoding::Ansi));
    QCOMPARE(found.Character, character);
    QCOMPARE(found.Line, qsizetype(line));
}

void TstTextSave::modeBitsDecideReadOnly_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("uid");     // the user who saves; the file belongs to 1000:1000
    QTest::addColumn<int>("gid");
    QTest::addColumn<bool>("otherGroup");   // the user is also in group 1000
    QTest::addColumn<bool>("writable");
    QTest::newRow("owner, 0644") << 0644 << 1000 << 1000 << false << true;
    QTest::newRow("owner, 0444") << 0444 << 1000 << 1000 << false << false;
    QTest::newRow("owner, 0464: the owner's bits count, not the group's") << 0464 << 1000 << 1000 << false << false;
    QTest::newRow("group member, 0664") << 0664 << 2000 << 1000 << false << true;
    QTest::newRow("group member, 0644") << 0644 << 2000 << 1000 << false << false;
    QTest::newRow("member through a second group, 0664") << 0664 << 2000 << 2000 << true << true;
    QTest::newRow("other, 0646") << 0646 << 2000 << 2000 << false << true;
    QTest::newRow("other, 0664") << 0664 << 2000 << 2000 << false << false;
    QTest::newRow("root, 0444") << 0444 << 0 << 0 << false << false;
    QTest::newRow("root, 0400") << 0400 << 0 << 0 << false << false;
    QTest::newRow("root, 0644 of another user") << 0644 << 0 << 0 << false << true;
    QTest::newRow("root, 0002") << 0002 << 0 << 0 << false << true;
}

void TstTextSave::modeBitsDecideReadOnly()
{
    QFETCH(int, mode);
    QFETCH(int, uid);
    QFETCH(int, gid);
    QFETCH(bool, otherGroup);
    QFETCH(bool, writable);
    const QList<gid_t> groups = otherGroup ? QList<gid_t>{gid_t(gid), 1000} : QList<gid_t>{gid_t(gid)};
    QCOMPARE(ModeLetsWrite(mode_t(mode), 1000, 1000, uid_t(uid), gid_t(gid), groups), writable);
}

// Saved by the user who owns it (not root): 0444 asks, and Overwrite replaces it in its
// writable folder, keeping the mode.
void TstTextSave::aReadOnlyFileIsAskedAboutByItsOwner()
{
    QTemporaryDir dir;
    const QString path = WriteBytesFile(dir.path(), QStringLiteral("mine.txt"), "old\n");
    const QByteArray native = QFile::encodeName(path);
    QCOMPARE(::chmod(native.constData(), 0444), 0);
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    if (::geteuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(dir.path()).constData(), owner, owner), 0);
        QCOMPARE(::chown(native.constData(), owner, owner), 0);
    }
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(owner) != 0 || ::setuid(owner) != 0))
            ::_exit(10);
        TSideState side;
        side.Lines = {QStringLiteral("new")};
        QStringList asked;
        const auto answer = [&](bool Yes) {
            return [&asked, Yes](const QString& text, const QString&) {
                asked << text;
                return Yes;
            };
        };
        if (!IsReadOnlyFile(path))
            ::_exit(11);
        if (SaveSide(side, path, answer(false)) || ReadBytesFile(path) != "old\n")
            ::_exit(12);
        if (!SaveSide(side, path, answer(true)) || ReadBytesFile(path) != "new\n")
            ::_exit(13);
        if (asked != QStringList(2, QStringLiteral("mine.txt is read-only. Overwrite it anyway?")))
            ::_exit(14);
        struct stat after {};
        ::_exit(::stat(native.constData(), &after) == 0 && (after.st_mode & 07777) == 0444 && after.st_uid == owner ? 0 : 15);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

namespace {

// What a held save runs: another program's write at the last moment.
QString HeldAppendTarget;
void AppendWhileHeld(const QString&)
{
    QFile file(HeldAppendTarget);
    if (file.open(QIODevice::Append))
        file.write("written meanwhile\n");
}

}  // namespace

void TstTextSave::aChangeDuringTheWriteIsNotOverwritten()
{
    QTemporaryDir dir;
    const QString path = WriteBytesFile(dir.path(), QStringLiteral("busy.txt"), "old\n");
    const TFileStamp decided = StampOfPath(path);
    HeldAppendTarget = path;
    HoldSaveBeforeReplacing = AppendWhileHeld;
    const auto release = qScopeGuard([] { HoldSaveBeforeReplacing = nullptr; });
    TLoadedFile written;
    try {
        SaveTextFile(path, {QStringLiteral("new")}, TUTF8NoBOMEncoding{}, &decided, &written);
        QFAIL("the save overwrote a file that changed meanwhile");
    } catch (const ETextFileError& error) {
        QVERIFY2(error.Message().contains(QStringLiteral("changed on disk while it was being saved")), error.what());
        QVERIFY2(error.Message().contains(path), error.what());
    }
    QCOMPARE(ReadBytesFile(path), QByteArray("old\nwritten meanwhile\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("busy.txt")});
    QVERIFY(!written.Known());

    // A file that appeared where none was when the save was decided on is not replaced either.
    const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
    const TFileStamp nothing = StampOfPath(fresh);
    QVERIFY(!nothing.Exists);
    HeldAppendTarget = fresh;
    QVERIFY_THROWS_EXCEPTION(ETextFileError,
                             SaveTextFile(fresh, {QStringLiteral("new")}, TUTF8NoBOMEncoding{}, &nothing, nullptr));
    QCOMPARE(ReadBytesFile(fresh), QByteArray("written meanwhile\n"));
}

void TstTextSave::saveSideRecordsTheWrittenFile()
{
    QTemporaryDir dir;
    const QString source = WriteBytesFile(dir.path(), QStringLiteral("source.txt"), "a\nb\n");
    TSideState side;
    side.Source = TSideSource::TextFile;
    LoadTextFile(source, side);
    side.Lines[1] = QStringLiteral("B");
    side.Unsaved = true;
    const auto never = [](const QString& text, const QString&) {
        qWarning() << "unexpected question:" << text;
        return false;
    };
    QCOMPARE(ProposedSavePath(side, QStringLiteral("typed.txt")), QDir::toNativeSeparators(side.Loaded.Path));
    const QString copy = dir.filePath(QStringLiteral("copy.txt"));
    QVERIFY(SaveSide(side, copy, never));
    QVERIFY(!side.Unsaved);
    QCOMPARE(ReadBytesFile(copy), QByteArray("a\nB\n"));
    // The copy is the side's file now: proposed next, and watched for changes.
    QCOMPARE(side.Loaded.Path, QFileInfo(copy).absoluteFilePath());
    QCOMPARE(side.Loaded.Hash, HashOfBytes("a\nB\n"));
    QCOMPARE(side.Loaded.Stamp, StampOfPath(copy));
    QCOMPARE(ProposedSavePath(side, QStringLiteral("typed.txt")), QDir::toNativeSeparators(side.Loaded.Path));
    QVERIFY(!ChangedOnDisk(side.Loaded));
    {
        QFile file(copy);
        QVERIFY(file.open(QIODevice::Append));
        file.write("c\n");
    }
    QStringList asked;
    const auto cancel = [&](const QString& text, const QString& accept) {
        asked << text + QStringLiteral(" [") + accept + QLatin1Char(']');
        return false;
    };
    QVERIFY(!SaveSide(side, copy, cancel));
    QCOMPARE(asked, QStringList{"copy.txt has changed on disk since it was loaded. Overwrite it and lose those "
                                "changes? [Overwrite]"});
    QCOMPARE(ReadBytesFile(copy), QByteArray("a\nB\nc\n"));
    // The source it was read from is another file now: saving there asks nothing.
    QVERIFY(SaveSide(side, source, never));

    // A side from no file proposes what was typed; a document's text goes beside the document.
    TSideState none;
    QCOMPARE(ProposedSavePath(none, QStringLiteral("typed.txt")), QStringLiteral("typed.txt"));
    TSideState document;
    document.Loaded = RecordOfDocument(dir.filePath(QStringLiteral("report.pdf")));
    QCOMPARE(ProposedSavePath(document, QString()), QDir::toNativeSeparators(dir.filePath(QStringLiteral("report.pdf.txt"))));
}

void TstTextSave::staleTemporariesAreRemoved()
{
    QTemporaryDir dir;
    const QString target = WriteBytesFile(dir.path(), QStringLiteral("x.txt"), "old\n");
    const QStringList stale{".x.txt.k3j2h1.tmp", ".x.txt.0.tmp"};
    const QStringList others{".x.txt.ABC.tmp", ".x.txt..tmp", ".y.txt.abc.tmp", ".x.txt.abc.tmp.keep",
                             "x.txt.abc.tmp", ".x.txt.12345678901234.tmp"};
    for (const QString& name : stale + others)
        WriteBytesFile(dir.path(), name, "left behind");
    // Another program's save under way holds a lock on its temporary.
    const QString live = WriteBytesFile(dir.path(), QStringLiteral(".x.txt.live1.tmp"), "in progress");
    const int liveFd = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(liveFd >= 0);
    QCOMPARE(::flock(liveFd, LOCK_EX | LOCK_NB), 0);
    const auto closeLive = qScopeGuard([&] { ::close(liveFd); });

    SaveTextFile(target, {QStringLiteral("new")}, TUTF8NoBOMEncoding{});
    QStringList expected = others;
    expected << QStringLiteral(".x.txt.live1.tmp") << QStringLiteral("x.txt");
    expected.sort();
    QStringList entries = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    entries.sort();
    QCOMPARE(entries, expected);
    QCOMPARE(ReadBytesFile(target), QByteArray("new\r\n"));
}

void TstTextSave::aSignalDuringTheSaveRemovesTheTemporary_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("cleaned");   // the program can remove its temporary before it ends
    QTest::newRow("SIGTERM") << int(SIGTERM) << true;
    QTest::newRow("SIGINT") << int(SIGINT) << true;
    QTest::newRow("SIGHUP") << int(SIGHUP) << true;
    // Nothing runs on SIGKILL: the next save of the file removes what it left.
    QTest::newRow("SIGKILL") << int(SIGKILL) << false;
}

namespace {

int HeldSaveReady = -1;
void ReportAndWait(const QString&)
{
    const char ready = 'r';
    (void)!::write(HeldSaveReady, &ready, 1);
    for (;;)
        ::pause();
}

}  // namespace

void TstTextSave::aSignalDuringTheSaveRemovesTheTemporary()
{
    QFETCH(int, signal);
    QFETCH(bool, cleaned);
    QTemporaryDir dir;
    const QString target = WriteBytesFile(dir.path(), QStringLiteral("precious.txt"), "precious\n");
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // A save held with its temporary written beside the target, until the signal comes.
        ::close(ready[0]);
        HeldSaveReady = ready[1];
        for (const int ending : {SIGTERM, SIGINT, SIGHUP})
            std::signal(ending, SIG_DFL);
        HoldSaveBeforeReplacing = ReportAndWait;
        TSideState side;
        side.Lines = {QStringLiteral("replacement")};
        try {
            (void)SaveSide(side, target, [](const QString&, const QString&) { return true; });
        } catch (...) {
        }
        ::_exit(3);
    }
    ::close(ready[1]);
    char got = 0;
    QCOMPARE(::read(ready[0], &got, 1), ssize_t(1));
    ::close(ready[0]);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);   // the temporary is there
    QCOMPARE(::kill(child, signal), 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    // The program ends by the signal, as it would have without the save.
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), signal);
    QCOMPARE(ReadBytesFile(target), QByteArray("precious\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), cleaned ? 1 : 2);
    SaveTextFile(target, {QStringLiteral("next")}, TUTF8NoBOMEncoding{});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("precious.txt")});
    QCOMPARE(ReadBytesFile(target), QByteArray("next\r\n"));
}

QTEST_GUILESS_MAIN(TstTextSave)
#include "tst_text_save.moc"
