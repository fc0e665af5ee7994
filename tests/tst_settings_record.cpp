// The settings record codec: the exact bytes of a default file, a round trip of every field,
// files cut after each field, odd values the reader must accept, and random and mutated files.

#include "settings/SettingsRecord.h"
#include "support/core/ByteFiles.h"

#include <QRandomGenerator>
#include <QTest>

#include <functional>

using namespace quorlane::test;

Q_DECLARE_METATYPE(TSettingsRecord)

namespace {

// Every field differs from its default; paths and history entries are not ASCII.
TSettingsRecord NonDefaultRecord()
{
    TSettingsRecord R;
    R.Version = 1;
    R.LeftBrowseFolder = QStringLiteral("/home/zoë/Ünterlagen");
    R.RightBrowseFolder = QStringLiteral("/srv/日本語/😀");
    R.IgnoreWhitespace = true;
    R.IgnoreWSAmount = true;
    R.IgnoreLeadingWS = true;
    R.IgnoreTrailingWS = true;
    R.IgnoreBlankLines = true;
    R.IgnoreCase = true;
    R.ShowLineNumbers = false;
    R.ShowGridLines = false;
    R.FontColor = 0x00123456;
    R.FontSize = 14;
    R.FontName = QStringLiteral("DejaVu Sans Mono");
    R.ColorAddedLines = 0x00010203;
    R.ColorRemovedLines = 0x00040506;
    R.ColorChangedLines = 0x00070809;
    R.ColorDifferentTextInLine = 0xFF00000D;
    for (int I = 0; I < 50; ++I)
        R.LeftHistory.append(QStringLiteral("/data/ñ%1/left.txt").arg(I));
    R.RightHistory = {QStringLiteral("/tmp/r€chts.txt"), QStringLiteral(" "), QStringLiteral("x")};
    R.Maximized = true;
    R.Left = -1200;
    R.Top = 35;
    R.Width = 900;
    R.Height = 700;
    R.ColWidth1 = 300;
    R.ColWidth2 = 400;
    return R;
}

QByteArray Int32Le(qint32 V)
{
    QByteArray B(4, '\0');
    for (int I = 0; I < 4; ++I)
        B[I] = char((quint32(V) >> (8 * I)) & 0xFF);
    return B;
}

QByteArray StringLe(const QString& S)
{
    QByteArray B = Int32Le(qint32(S.size()));
    for (QChar C : S)
        B += char(C.unicode() & 0xFF), B += char(C.unicode() >> 8);
    return B;
}

// The byte length of each field of R in file order, counted by hand from the layout.
QList<int> FieldSizes(const TSettingsRecord& R)
{
    const auto Str = [](const QString& S) { return 4 + 2 * int(S.size()); };
    const auto List = [&](const QStringList& L) {
        int N = 0;
        for (const QString& S : L)
            N += Str(S);
        return N;
    };
    return {4, Str(R.LeftBrowseFolder), Str(R.RightBrowseFolder), 1, 1, 1, 1, 1, 1, 1, 1, 4, 4, Str(R.FontName),
            4, 4, 4, 4, 4, List(R.LeftHistory), 4, List(R.RightHistory), 1, 4, 4, 4, 4, 4, 4};
}

// One field of the record, compared between two records: (field number, equal?).
using TFieldEqual = std::function<bool(const TSettingsRecord&, const TSettingsRecord&)>;
QList<TFieldEqual> FieldComparisons()
{
#define FIELD(Member) [](const TSettingsRecord& A, const TSettingsRecord& B) { return A.Member == B.Member; }
    return {FIELD(Version),          FIELD(LeftBrowseFolder), FIELD(RightBrowseFolder), FIELD(IgnoreWhitespace),
            FIELD(IgnoreWSAmount),   FIELD(IgnoreLeadingWS),  FIELD(IgnoreTrailingWS),  FIELD(IgnoreBlankLines),
            FIELD(IgnoreCase),       FIELD(ShowLineNumbers),  FIELD(ShowGridLines),     FIELD(FontColor),
            FIELD(FontSize),         FIELD(FontName),         FIELD(ColorAddedLines),   FIELD(ColorRemovedLines),
            FIELD(ColorChangedLines), FIELD(ColorDifferentTextInLine),
            [](const TSettingsRecord&, const TSettingsRecord&) { return true; },   // the count lives in the list
            FIELD(LeftHistory),
            [](const TSettingsRecord&, const TSettingsRecord&) { return true; },
            FIELD(RightHistory),     FIELD(Maximized),        FIELD(Left),              FIELD(Top),
            FIELD(Width),            FIELD(Height),           FIELD(ColWidth1),         FIELD(ColWidth2)};
#undef FIELD
}

// The bytes of the strings a decoded record holds: never more than the file had.
qint64 DecodedTextBytes(const TSettingsRecord& R)
{
    qint64 N = 2 * (R.LeftBrowseFolder.size() + R.RightBrowseFolder.size() + R.FontName.size());
    for (const QStringList* List : {&R.LeftHistory, &R.RightHistory})
        for (const QString& S : *List)
            N += 2 * S.size();
    return N;
}

}   // namespace

class TestSettingsRecord : public QObject
{
    Q_OBJECT

private slots:
    void DefaultFileBytes()
    {
        TSettingsRecord R;
        R.Left = 391;
        R.Top = 237;
        R.Width = 1138;
        R.Height = 606;
        const QByteArray Bytes = EncodeSettings(R);
        const QByteArray Expected =
            HexBytes("01 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00 00 00  01 01  08 00 00 FF  0B 00 00 00"
                     "0B 00 00 00  43 00 6F 00 75 00 72 00 69 00 65 00 72 00 20 00 4E 00 65 00 77 00"
                     "E0 F0 FF 00  FF F0 E0 00  FF E0 E0 00  FF FF 00 00  00 00 00 00  00 00 00 00  00"
                     "87 01 00 00  ED 00 00 00  72 04 00 00  5E 02 00 00  B0 01 00 00  3D 02 00 00");
        QCOMPARE(Bytes.size(), 103);
        QCOMPARE(ToHex(Bytes), ToHex(Expected));
        QCOMPARE(DecodeSettings(Bytes).FieldsRead, SettingsFieldCount);
    }

    void RoundTripOfEveryField()
    {
        const TSettingsRecord R = NonDefaultRecord();
        const QByteArray Bytes = EncodeSettings(R);
        int Expected = 0;
        for (int Size : FieldSizes(R))
            Expected += Size;
        QCOMPARE(Bytes.size(), Expected);
        // Spot checks of the form: little-endian counts, UTF-16LE text with surrogates as two units.
        QVERIFY(Bytes.startsWith(Int32Le(1) + StringLe(R.LeftBrowseFolder) + StringLe(R.RightBrowseFolder)));

        const TDecodedSettings D = DecodeSettings(Bytes);
        QVERIFY(D.Complete());
        const QList<TFieldEqual> Fields = FieldComparisons();
        for (int F = 0; F < Fields.size(); ++F)
            QVERIFY2(Fields[F](D.Record, R), qPrintable(QStringLiteral("field %1").arg(F + 1)));
        QVERIFY(D.Record == R);
    }

    // A file cut after field K applies fields 1..K and nothing after; cut one byte short of the
    // end of field K+1, the same.
    void TruncationAfterEachField_data()
    {
        QTest::addColumn<int>("Fields");
        for (int K = 0; K <= SettingsFieldCount; ++K)
            QTest::addRow("after field %d", K) << K;
    }
    void TruncationAfterEachField()
    {
        QFETCH(int, Fields);
        const TSettingsRecord Full = NonDefaultRecord();
        const TSettingsRecord Defaults;
        const QByteArray Bytes = EncodeSettings(Full);
        const QList<int> Sizes = FieldSizes(Full);
        int Cut = 0;
        for (int F = 0; F < Fields; ++F)
            Cut += Sizes[F];

        QList<qsizetype> Cuts{Cut};
        if (Fields < SettingsFieldCount && Sizes[Fields] > 1)
            Cuts.append(Cut + Sizes[Fields] - 1);
        const QList<TFieldEqual> Equal = FieldComparisons();
        for (qsizetype Length : Cuts) {
            const TDecodedSettings D = DecodeSettings(Bytes.left(Length));
            const bool MidHistory = Length != Cut && (Fields + 1 == sfLeftHistory || Fields + 1 == sfRightHistory);
            QCOMPARE(D.FieldsRead, Fields);
            for (int F = 1; F <= SettingsFieldCount; ++F) {
                const bool Applied = F <= Fields;
                if (MidHistory && F == Fields + 1)
                    continue;   // checked below: the entries that were complete
                QVERIFY2(Equal[F - 1](D.Record, Applied ? Full : Defaults),
                         qPrintable(QStringLiteral("cut at %1: field %2 should be %3")
                                        .arg(Length)
                                        .arg(F)
                                        .arg(Applied ? "read" : "default")));
            }
            if (MidHistory) {
                const QStringList& Got = Fields + 1 == sfLeftHistory ? D.Record.LeftHistory : D.Record.RightHistory;
                const QStringList& All = Fields + 1 == sfLeftHistory ? Full.LeftHistory : Full.RightHistory;
                QCOMPARE(Got, All.mid(0, All.size() - 1));
            }
        }
    }

    // Values a reader meets in files it did not write: (bytes, what must come out).
    void OddValues_data()
    {
        QTest::addColumn<QByteArray>("Bytes");
        QTest::addColumn<int>("FieldsRead");
        QTest::addColumn<TSettingsRecord>("Expected");

        const TSettingsRecord Base = NonDefaultRecord();
        const QByteArray Good = EncodeSettings(Base);

        {
            TSettingsRecord R = Base;
            R.Version = 7;
            QTest::newRow("version 7 reads like 1") << EncodeSettings(R) << SettingsFieldCount << R;
            R.Version = -1;
            QTest::newRow("version -1 reads like 1") << EncodeSettings(R) << SettingsFieldCount << R;
        }
        {
            TSettingsRecord R;
            QByteArray B = EncodeSettings(R);
            const int OptionsAt = 4 + 4 + 4;
            R.IgnoreWhitespace = true;
            R.IgnoreCase = true;
            B[OptionsAt] = char(2);
            B[OptionsAt + 5] = char(0xFF);
            QTest::newRow("Bool8 of 2 and 255 read as on") << B << SettingsFieldCount << R;
        }
        QTest::newRow("trailing bytes ignored") << Good + QByteArray("trailing junk\0\xff", 15) << SettingsFieldCount
                                                << Base;
        {
            TSettingsRecord R;
            R.LeftBrowseFolder.clear();
            R.RightBrowseFolder = QStringLiteral("ab");
            QTest::newRow("negative string count is empty, consumes its 4 bytes")
                << Int32Le(1) + Int32Le(-5) + StringLe(QStringLiteral("ab")) << int(sfRightBrowseFolder) << R;
        }
        {
            TSettingsRecord R;
            QTest::newRow("string count beyond the file stops there")
                << Int32Le(1) + Int32Le(0x7FFFFFFF) + QByteArray(64, 'a') << int(sfVersion) << R;
            QTest::newRow("string count one unit beyond the file stops there")
                << Int32Le(1) + Int32Le(3) + QByteArray(5, 'a') << int(sfVersion) << R;
            QTest::newRow("string count of int minimum is empty")
                << Int32Le(1) + Int32Le(qint32(0x80000000)) << int(sfLeftBrowseFolder) << R;
            QTest::newRow("empty file") << QByteArray() << 0 << R;
            QTest::newRow("three bytes") << QByteArray(3, '\1') << 0 << R;
        }
        {
            // Up to the histories of Base, then counts that are not the number of entries.
            const QList<int> Sizes = FieldSizes(Base);
            int Head = 0;
            for (int F = 0; F < sfLeftHistoryCount - 1; ++F)
                Head += Sizes[F];
            const QByteArray Prefix = Good.left(Head);
            TSettingsRecord R = Base;
            R.LeftHistory.clear();
            R.RightHistory = {QStringLiteral("one")};
            QTest::newRow("negative history count is no entries")
                << Prefix + Int32Le(-3) + Int32Le(1) + StringLe(QStringLiteral("one")) + Good.right(25)
                << SettingsFieldCount << R;

            TSettingsRecord Huge = Base;
            Huge.LeftHistory = {QStringLiteral("a"), QStringLiteral("b")};
            Huge.RightHistory.clear();
            Huge.Maximized = false;
            Huge.Left = Huge.Top = Huge.Width = Huge.Height = 0;
            Huge.ColWidth1 = 432;
            Huge.ColWidth2 = 573;
            QTest::newRow("huge history count keeps the entries present, nothing after")
                << Prefix + Int32Le(0x7FFFFFFF) + StringLe(QStringLiteral("a")) + StringLe(QStringLiteral("b"))
                << int(sfLeftHistoryCount) << Huge;
        }
    }
    void OddValues()
    {
        QFETCH(QByteArray, Bytes);
        QFETCH(int, FieldsRead);
        QFETCH(TSettingsRecord, Expected);
        const TDecodedSettings D = DecodeSettings(Bytes);
        QCOMPARE(D.FieldsRead, FieldsRead);
        const QList<TFieldEqual> Equal = FieldComparisons();
        for (int F = 0; F < Equal.size(); ++F)
            QVERIFY2(Equal[F](D.Record, Expected), qPrintable(QStringLiteral("field %1").arg(F + 1)));
    }

    // A history holds at most 100 entries of 1 to 4,096 characters; whatever a file holds beyond
    // that is stepped over, never held, and never written back.
    void HistoriesAreBounded_data()
    {
        QTest::addColumn<QByteArray>("History");   // the left history's count and entries
        QTest::addColumn<bool>("Complete");        // the fields after it are read
        QTest::addColumn<QStringList>("Expected");
        const QString Long(4096, u'p'), TooLong(4097, u'q');
        QStringList Hundred, HundredAndOne;
        QByteArray HundredAndOneBytes = Int32Le(101);
        for (int I = 0; I < 101; ++I) {
            HundredAndOne.append(QStringLiteral("/p/%1").arg(I));
            HundredAndOneBytes += StringLe(HundredAndOne.constLast());
        }
        Hundred = HundredAndOne.mid(0, 100);
        QTest::newRow("empty entries dropped")
            << Int32Le(4) + StringLe("a") + StringLe(QString()) + Int32Le(-2) + StringLe("b") << true << QStringList{"a", "b"};
        QTest::newRow("101 entries: the first 100") << HundredAndOneBytes << true << Hundred;
        QTest::newRow("4,096 characters kept, 4,097 stepped over")
            << Int32Le(3) + StringLe(Long) + StringLe(TooLong) + StringLe("c") << true << QStringList{Long, "c"};
        // A count of 2^31-1 and 8 MB of zeros: two million empty entries, none held.
        QTest::newRow("poisoned count over zeros") << Int32Le(0x7FFFFFFF) + QByteArray(8 << 20, '\0') << false
                                                   << QStringList{};
        QTest::newRow("poisoned count, then real entries")
            << Int32Le(0x7FFFFFFF) + QByteArray(4000, '\0') + StringLe("kept") << false << QStringList{"kept"};
    }
    void HistoriesAreBounded()
    {
        QFETCH(QByteArray, History);
        QFETCH(bool, Complete);
        QFETCH(QStringList, Expected);
        const TSettingsRecord Base = NonDefaultRecord();
        const QByteArray Good = EncodeSettings(Base);
        const QList<int> Sizes = FieldSizes(Base);
        int Head = 0, Tail = 0;
        for (int F = 0; F < sfLeftHistoryCount - 1; ++F)
            Head += Sizes[F];
        for (int F = sfLeftHistory; F < SettingsFieldCount; ++F)
            Tail += Sizes[F];
        // A count that promises more than the file holds reads on to the end: nothing follows it.
        const TDecodedSettings D = DecodeSettings(Good.left(Head) + History + (Complete ? Good.right(Tail) : QByteArray()));
        QCOMPARE(D.Record.LeftHistory, Expected);
        QCOMPARE(D.Complete(), Complete);
        if (Complete)
            QCOMPARE(D.Record.RightHistory, Base.RightHistory);
        // What is written back is what was kept.
        TSettingsRecord Again = DecodeSettings(EncodeSettings(D.Record)).Record;
        QCOMPARE(Again.LeftHistory, Expected);
    }

    void HistoriesAreWrittenBounded()
    {
        TSettingsRecord R;
        for (int I = 0; I < 150; ++I)
            R.LeftHistory.append(I % 3 == 0 ? QString() : QStringLiteral("/p/%1").arg(I));
        R.RightHistory = {QString(4097, u'x'), QStringLiteral("y")};
        const TDecodedSettings D = DecodeSettings(EncodeSettings(R));
        QVERIFY(D.Complete());
        QCOMPARE(D.Record.LeftHistory, SoundHistory(R.LeftHistory));
        QCOMPARE(D.Record.LeftHistory.size(), 100);
        QVERIFY(!D.Record.LeftHistory.contains(QString()));
        QCOMPARE(D.Record.RightHistory, QStringList{"y"});
    }

    void FieldsNotReadKeepTheGivenDefaults()
    {
        TSettingsRecord Defaults;
        Defaults.Width = 1138;
        Defaults.Height = 606;
        Defaults.FontSize = 13;
        const TDecodedSettings D = DecodeSettings(Int32Le(1), Defaults);
        QCOMPARE(D.FieldsRead, 1);
        QCOMPARE(D.Record, Defaults);
    }

    // Random records survive a round trip; random and mutated files never crash the reader and
    // never give more text than the file held.
    void RandomFiles()
    {
        QRandomGenerator Rng(20261210);
        const auto RandomString = [&Rng] {
            QString S;
            const int N = int(Rng.bounded(12));
            for (int I = 0; I < N; ++I)
                S.append(QChar(char16_t(Rng.bounded(2) ? Rng.bounded(0x20, 0x7F) : Rng.bounded(0x10000))));
            return S;
        };
        TSettingsRecord NoText;   // so every string of a decoded record came from the file
        NoText.FontName.clear();
        for (int Round = 0; Round < 2000; ++Round) {
            TSettingsRecord R;
            R.Version = qint32(Rng.generate());
            R.LeftBrowseFolder = RandomString();
            R.RightBrowseFolder = RandomString();
            R.IgnoreWhitespace = Rng.bounded(2);
            R.IgnoreCase = Rng.bounded(2);
            R.ShowLineNumbers = Rng.bounded(2);
            R.FontColor = Rng.generate();
            R.FontSize = qint32(Rng.generate());
            R.FontName = RandomString();
            R.ColorAddedLines = Rng.generate();
            for (int I = int(Rng.bounded(8)); I > 0; --I)
                R.LeftHistory.append(RandomString());
            for (int I = int(Rng.bounded(8)); I > 0; --I)
                R.RightHistory.append(RandomString());
            // Empty entries are not kept (see HistoriesAreBounded).
            R.LeftHistory = SoundHistory(R.LeftHistory);
            R.RightHistory = SoundHistory(R.RightHistory);
            R.Maximized = Rng.bounded(2);
            R.Left = qint32(Rng.generate());
            R.ColWidth2 = qint32(Rng.generate());
            const QByteArray Bytes = EncodeSettings(R);
            const TDecodedSettings D = DecodeSettings(Bytes);
            QVERIFY(D.Complete());
            QCOMPARE(D.Record, R);

            QByteArray Mutated = Bytes;
            for (int M = int(Rng.bounded(1, 6)); M > 0; --M) {
                switch (Rng.bounded(3)) {
                case 0: Mutated[Rng.bounded(int(Mutated.size()))] = char(Rng.bounded(256)); break;
                case 1: Mutated.truncate(Rng.bounded(int(Mutated.size()) + 1)); break;
                default: Mutated.insert(Rng.bounded(int(Mutated.size()) + 1), char(Rng.bounded(256))); break;
                }
                if (Mutated.isEmpty())
                    break;
            }
            const TDecodedSettings MD = DecodeSettings(Mutated, NoText);
            QVERIFY(MD.FieldsRead >= 0 && MD.FieldsRead <= SettingsFieldCount);
            QVERIFY(DecodedTextBytes(MD.Record) <= Mutated.size());

            QByteArray Noise(int(Rng.bounded(200)), Qt::Uninitialized);
            for (char& C : Noise)
                C = char(Rng.bounded(256));
            const TDecodedSettings ND = DecodeSettings(Noise, NoText);
            QVERIFY(DecodedTextBytes(ND.Record) <= Noise.size());
        }
    }
};


QTEST_APPLESS_MAIN(TestSettingsRecord)
#include "tst_settings_record.moc"
