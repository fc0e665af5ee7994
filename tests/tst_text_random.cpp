// Random byte buffers against straightforward reference definitions of the detection, the
// UTF-8 check, the probe, strict decoding and line splitting; successful loads must survive a
// save and a second load.

#include "support/core/ByteFiles.h"
#include "text/TextFile.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace quorlane::test;

namespace {

// ---- Reference definitions, written plainly ----

bool RefIsValidUtf8(const QByteArray& B)
{
    bool result = false;
    qsizetype i = 0;
    const qsizetype n = B.size();
    while (i < n) {
        const unsigned char c = B[i];
        if (c < 0x80) {
            i = i + 1;
            continue;
        }
        int k;
        if ((c & 0xE0) == 0xC0)
            k = 1;
        else if ((c & 0xF0) == 0xE0)
            k = 2;
        else if ((c & 0xF8) == 0xF0)
            k = 3;
        else
            return false;
        if (i + k >= n)
            return false;
        for (int j = 1; j <= k; ++j)
            if ((static_cast<unsigned char>(B[i + j]) & 0xC0) != 0x80)
                return false;
        result = true;
        i = i + k + 1;
    }
    return result;
}

// Decodes well-formed UTF-8 by its definition: no overlong form, no surrogate, nothing above
// U+10FFFF, nothing cut off. A leading mark is kept as U+FEFF.
std::optional<QString> RefStrictUtf8(const QByteArray& B)
{
    QString out;
    qsizetype i = 0;
    while (i < B.size()) {
        const unsigned char c = B[i];
        int extra;
        char32_t cp;
        if (c < 0x80) {
            extra = 0;
            cp = c;
        } else if (c >= 0xC0 && c < 0xE0) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c < 0xF0) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c < 0xF8) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + extra >= B.size() && extra > 0)
            return std::nullopt;
        for (int j = 1; j <= extra; ++j) {
            const unsigned char cc = B[i + j];
            if ((cc & 0xC0) != 0x80)
                return std::nullopt;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr char32_t Minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < Minimum[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return std::nullopt;
        if (cp >= 0x10000) {
            out += QChar(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
            out += QChar(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out += QChar(char16_t(cp));
        }
        i += extra + 1;
    }
    return out;
}

TDetectedEncoding RefDetect(const QByteArray& B)
{
    const auto s = B.size();
    if (s >= 3 && B.startsWith("\xEF\xBB\xBF"))
        return {TTextEncoding::Utf8, true, "UTF-8 with BOM"};
    if (s >= 2 && B.startsWith("\xFF\xFE"))
        return {TTextEncoding::Utf16LE, true, "UTF-16 LE with BOM"};
    if (s >= 2 && B.startsWith("\xFE\xFF"))
        return {TTextEncoding::Utf16BE, true, "UTF-16 BE with BOM"};
    bool high = false;
    for (char c : B)
        high = high || static_cast<unsigned char>(c) >= 0x80;
    if (s > 0 && !high)
        return {TTextEncoding::Ansi, false, "ANSI/ASCII"};
    if (RefIsValidUtf8(B))
        return {TTextEncoding::Utf8, false, "UTF-8"};
    return {TTextEncoding::Ansi, false, "ANSI"};
}

bool RefProbe(const QByteArray& File)
{
    const QByteArray b = File.left(4096);
    if (b.isEmpty())
        return true;
    if (b.size() >= 3 && b.startsWith("\xEF\xBB\xBF"))
        return true;
    if (b.size() >= 2 && (b.startsWith("\xFF\xFE") || b.startsWith("\xFE\xFF")))
        return true;
    if (b.contains('\0'))
        return false;
    if (RefIsValidUtf8(b))
        return true;
    for (char ch : b) {
        const unsigned char c = ch;
        if ((c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x1F))
            return false;
    }
    return true;
}

QStringList RefSplit(const QString& Text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        if (Text[i] == u'\r' || Text[i] == u'\n') {
            lines << current;
            current.clear();
            if (Text[i] == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n')
                ++i;
        } else {
            current += Text[i];
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

QString RefUtf16(const QByteArray& B, bool BigEndian)
{
    QString out;
    for (qsizetype i = 0; i + 1 < B.size(); i += 2) {
        const unsigned char a = B[i], b = B[i + 1];
        out += QChar(BigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return out;
}

// ---- Random buffers built from pieces that matter to the rules ----

QByteArray Utf8Of(char32_t Cp)
{
    return QStringView(QChar::fromUcs4(Cp)).toUtf8();
}

QByteArray RandomBuffer(QRandomGenerator& Rng, bool OnlyWellFormed)
{
    QByteArray b;
    switch (Rng.bounded(10)) {
    case 0: b = "\xEF\xBB\xBF"; break;
    case 1: b = "\xFF\xFE"; break;
    case 2: b = "\xFE\xFF"; break;
    default: break;
    }
    const int pieces = Rng.bounded(30);
    for (int p = 0; p < pieces; ++p) {
        const int kind = Rng.bounded(OnlyWellFormed ? 6 : 13);
        switch (kind) {
        case 0:
            for (int n = Rng.bounded(1, 20); n > 0; --n)
                b += char(Rng.bounded(0x20, 0x7F));
            break;
        case 1: {
            static const char* const breaks[] = {"\r", "\n", "\r\n", "\n\r"};
            b += breaks[Rng.bounded(4)];
            break;
        }
        case 2: b += Utf8Of(char32_t(Rng.bounded(0x80, 0x800))); break;
        case 3: {
            char32_t cp = Rng.bounded(0x800, 0x10000);
            if (cp >= 0xD800 && cp <= 0xDFFF)
                cp = 0xFEFF;
            b += Utf8Of(cp);
            break;
        }
        case 4: b += Utf8Of(char32_t(Rng.bounded(0x10000, 0x110000))); break;
        case 5:
            if (Rng.bounded(8) == 0)
                b += QByteArray(Rng.bounded(4000, 4200), 'a');  // around the probe's limit
            else
                b += char(Rng.bounded(0x09, 0x0E));
            break;
        case 6: b += '\0'; break;
        case 7: b += char(Rng.bounded(0x01, 0x20)); break;
        case 8: b += char(Rng.bounded(0x80, 0x100)); break;
        case 9: {
            static const char* const malformed[] = {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80",
                                                    "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xC1\xBF"};
            b += malformed[Rng.bounded(6)];
            break;
        }
        case 10: b += Utf8Of(char32_t(Rng.bounded(0x800, 0xD800))).chopped(1); break;  // cut off
        case 11: b += char(Rng.bounded(0x80, 0xC0)); break;                             // stray
        default: b += char(Rng.bounded(0xF8, 0x100)); break;
        }
    }
    return b;
}

quint32 Seed()
{
    const QByteArray fromEnv = qgetenv("QUORLANE_SEED");
    return fromEnv.isEmpty() ? 20261210u : fromEnv.toUInt();
}

}  // namespace

class TstTextRandom : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pureFunctionsAgreeWithDefinitions();
    void filesLoadSaveAndLoadAgain();

private:
    QTemporaryDir FDir;
    QStringDecoder FAnsi{"windows-1252"};
};

void TstTextRandom::initTestCase()
{
    QVERIFY(FDir.isValid());
    qInfo("seed %u (set QUORLANE_SEED to repeat another run)", Seed());
}

void TstTextRandom::pureFunctionsAgreeWithDefinitions()
{
    QRandomGenerator rng(Seed());
    for (int round = 0; round < 20000; ++round) {
        const QByteArray b = RandomBuffer(rng, round % 4 == 0);
        const auto where = [&] { return qPrintable(QStringLiteral("round %1: %2").arg(round).arg(ToHex(b.left(200)))); };
        QVERIFY2(IsValidUtf8(b.constData(), b.size()) == RefIsValidUtf8(b), where());
        // Any window of the buffer, so the word-at-a-time scan meets every alignment.
        const qsizetype from = b.isEmpty() ? 0 : rng.bounded(int(b.size()));
        const qsizetype count = rng.bounded(int(b.size() - from) + 1);
        QVERIFY2(IsValidUtf8(b.constData() + from, count) == RefIsValidUtf8(b.mid(from, count)), where());

        const TDetectedEncoding found = DetectTextEncoding(b);
        const TDetectedEncoding expected = RefDetect(b);
        QVERIFY2(found.Encoding == expected.Encoding && found.HasBOM == expected.HasBOM
                     && found.EncName == expected.EncName,
                 where());
        QVERIFY2(IsTextBytes(b) == RefProbe(b), where());

        if (found.Encoding == TTextEncoding::Utf8) {
            const std::optional<QString> strict = RefStrictUtf8(b);
            try {
                const QString text = DecodeText(b, TTextEncoding::Utf8);
                QVERIFY2(strict.has_value() && text == *strict, where());
                QVERIFY2(SplitTextLines(text) == RefSplit(text), where());
            } catch (const ETextFileError&) {
                QVERIFY2(!strict.has_value(), where());
            }
        }
    }
}

void TstTextRandom::filesLoadSaveAndLoadAgain()
{
    QRandomGenerator rng(Seed() + 1);
    int utf8Failures = 0;
    for (int round = 0; round < 1500; ++round) {
        const QByteArray b = RandomBuffer(rng, round % 3 == 0);
        const auto where = [&] { return qPrintable(QStringLiteral("round %1: %2").arg(round).arg(ToHex(b.left(200)))); };
        const QString path = WriteBytesFile(FDir.path(), QStringLiteral("in.txt"), b);
        QVERIFY2(IsTextFile(path) == RefProbe(b), where());

        // The mark is the encoding's, not text; bytes that are not strict UTF-8 load as ANSI;
        // a UTF-16 odd last byte ends the text as U+FFFD and the byte read as ANSI.
        TDetectedEncoding expected = RefDetect(b);
        const qsizetype mark = !expected.HasBOM ? 0 : expected.Encoding == TTextEncoding::Utf8 ? 3 : 2;
        QString expectedText;
        if (!FAnsi.isValid())
            QSKIP("this Qt has no windows-1252 codec to compare with");
        switch (expected.Encoding) {
        case TTextEncoding::Utf8: {
            const std::optional<QString> strict = RefStrictUtf8(b.mid(mark));
            if (strict) {
                expectedText = *strict;
            } else {
                expected = {TTextEncoding::Ansi, false, "ANSI"};
                expectedText = FAnsi.decode(b);
                ++utf8Failures;
            }
            break;
        }
        case TTextEncoding::Utf16LE:
        case TTextEncoding::Utf16BE:
            expectedText = RefUtf16(b.mid(mark), expected.Encoding == TTextEncoding::Utf16BE);
            if ((b.size() - mark) % 2 != 0)
                expectedText += QChar(QChar::ReplacementCharacter) + FAnsi.decode(b.right(1));
            break;
        case TTextEncoding::Ansi:
            expectedText = FAnsi.decode(b);
            break;
        }

        QStringList lines;
        TTextEncoding encoding{};
        bool bom = false;
        QString name;
        LoadTextFile(path, lines, encoding, bom, name);
        QVERIFY2(encoding == expected.Encoding && bom == expected.HasBOM && name == expected.EncName, where());
        QVERIFY2(lines == RefSplit(expectedText), where());

        // Saving syncs the file to disk; most rounds write the same bytes without the sync.
        const QString saved = FDir.filePath(QStringLiteral("out.txt"));
        if (round % 50 == 0)
            SaveTextFile(saved, lines, encoding, bom);
        else
            WriteBytesFile(FDir.path(), QStringLiteral("out.txt"),
                           EncodeTextLines(lines, WriteEncodingFor(encoding, bom)));
        QStringList again;
        TTextEncoding encoding2{};
        bool bom2 = false;
        QString name2;
        LoadTextFile(saved, again, encoding2, bom2, name2);
        QVERIFY2(again == lines && encoding2 == encoding && bom2 == bom && name2 == name, where());
    }
    // The buffers must reach the strict decoder's failures, or the ANSI fallback goes unchecked.
    QVERIFY(utf8Failures > 0);
}

QTEST_GUILESS_MAIN(TstTextRandom)
#include "tst_text_random.moc"
