#include "engine/DiffEngine.h"
#include "support/engine/DiffOracle.h"

#include <QtTest>

#include <thread>

using namespace quorlane::test;

Q_DECLARE_METATYPE(TDiffOptions)
Q_DECLARE_METATYPE(TDiffItem)
Q_DECLARE_METATYPE(TDiffItems)

namespace {

// An expected item, by line indexes and kind.
TDiffItem Row(int L, int R, TDiffKind Kind) { return MakeDiffItem(L, R, Kind); }

TDiffItem Changed(int L, int R, int LStart, int LLen, int RStart, int RLen)
{
    TDiffItem Item = Row(L, R, dkDifferent);
    Item.LeftChangeStart = LStart;
    Item.LeftChangeLen = LLen;
    Item.RightChangeStart = RStart;
    Item.RightChangeLen = RLen;
    return Item;
}

TDiffOptions BlankOption()
{
    TDiffOptions O;
    O.IgnoreBlankLines = true;
    return O;
}

// Items compared as text first, so a failure shows both lists readably.
void CompareItems(const TDiffItems& Actual, const TDiffItems& Expected)
{
    QCOMPARE(DescribeItems(Actual), DescribeItems(Expected));
    QVERIFY(Actual == Expected);
}

} // namespace

class TestEngineDiff : public QObject
{
    Q_OBJECT
private slots:
    void cases_data()
    {
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("right");
        QTest::addColumn<TDiffOptions>("options");
        QTest::addColumn<TDiffItems>("items");
        const TDiffOptions None;
        QTest::newRow("both empty") << QStringList() << QStringList() << None << TDiffItems();
        QTest::newRow("left empty") << QStringList() << QStringList{"a", "b", "c"} << None
                                    << TDiffItems{Row(-1, 0, dkRightOnly), Row(-1, 1, dkRightOnly), Row(-1, 2, dkRightOnly)};
        QTest::newRow("right empty") << QStringList{"a", "b"} << QStringList() << None
                                     << TDiffItems{Row(0, -1, dkLeftOnly), Row(1, -1, dkLeftOnly)};
        QTest::newRow("one line changed") << QStringList{"a", "b", "c"} << QStringList{"a", "x", "c"} << None
                                          << TDiffItems{Row(0, 0, dkEqual), Changed(1, 1, 0, 1, 0, 1), Row(2, 2, dkEqual)};
        QTest::newRow("swapped pair") << QStringList{"a", "b"} << QStringList{"b", "a"} << None
                                      << TDiffItems{Row(0, -1, dkLeftOnly), Row(1, 0, dkEqual), Row(-1, 1, dkRightOnly)};
        QTest::newRow("one left line takes the first equal") << QStringList{"x"} << QStringList{"x", "x"} << None
                                                             << TDiffItems{Row(0, 0, dkEqual), Row(-1, 1, dkRightOnly)};
        QTest::newRow("split prefers the smallest k") << QStringList{"x", "x"} << QStringList{"x"} << None
                                                      << TDiffItems{Row(0, -1, dkLeftOnly), Row(1, 0, dkEqual)};
        QTest::newRow("gap pairs by position, rest one-sided")
            << QStringList{"1", "p", "q", "2"} << QStringList{"1", "r", "2"} << None
            << TDiffItems{Row(0, 0, dkEqual), Changed(1, 1, 0, 1, 0, 1), Row(2, -1, dkLeftOnly), Row(3, 2, dkEqual)};
        QTest::newRow("no match at all") << QStringList{"A", "B", "C"} << QStringList{"D"} << None
                                         << TDiffItems{Changed(0, 0, 0, 1, 0, 1), Row(1, -1, dkLeftOnly), Row(2, -1, dkLeftOnly)};
        QTest::newRow("blank line paired with text stays a change")
            << QStringList{"a", "", "b"} << QStringList{"a", "x", "b"} << BlankOption()
            << TDiffItems{Row(0, 0, dkEqual), Changed(1, 1, 0, 0, 0, 1), Row(2, 2, dkEqual)};
        QTest::newRow("two blank lines paired show equal")
            << QStringList{"a", " ", "b"} << QStringList{"a", "\t\t", "b"} << BlankOption()
            << TDiffItems{Row(0, 0, dkEqual), Row(1, 1, dkEqual), Row(2, 2, dkEqual)};
        QTest::newRow("blank lines in a gap beside text: only the text pair changes")
            << QStringList{"a", "", "", "b"} << QStringList{"a", "x", "b"} << BlankOption()
            << TDiffItems{Row(0, 0, dkEqual), Changed(1, 1, 0, 0, 0, 1), Row(2, -1, dkEqual), Row(3, 2, dkEqual)};
        QTest::newRow("lone blank line keeps its row")
            << QStringList{"a", "", "b"} << QStringList{"a", "b"} << BlankOption()
            << TDiffItems{Row(0, 0, dkEqual), Row(1, -1, dkEqual), Row(2, 1, dkEqual)};
        QTest::newRow("without the option a blank line is a change")
            << QStringList{"a", "", "b"} << QStringList{"a", "b"} << None
            << TDiffItems{Row(0, 0, dkEqual), Row(1, -1, dkLeftOnly), Row(2, 1, dkEqual)};
        QTest::newRow("blank right line of a changed pair")
            << QStringList{"a", "text", "b"} << QStringList{"a", " \t", "b"} << BlankOption()
            << TDiffItems{Row(0, 0, dkEqual), Changed(1, 1, 0, 4, 0, 2), Row(2, 2, dkEqual)};
        QTest::newRow("blank right-only line")
            << QStringList{"a"} << QStringList{"a", QString(QChar(1))} << BlankOption()
            << TDiffItems{Row(0, 0, dkEqual), Row(-1, 1, dkEqual)};
        TDiffOptions Case;
        Case.IgnoreCase = true;
        QTest::newRow("case: equal keys, equal row") << QStringList{"ABC"} << QStringList{"abc"} << Case
                                                     << TDiffItems{Row(0, 0, dkEqual)};
        QTest::newRow("case: range on the texts") << QStringList{"Abc"} << QStringList{"abd"} << Case
                                                  << TDiffItems{Changed(0, 0, 0, 3, 0, 3)};
        TDiffOptions Ws;
        Ws.IgnoreWsAmount = true;
        QTest::newRow("ws amount: equal rows keep both indexes")
            << QStringList{"a  b", "c"} << QStringList{"x", "a\tb", "c"} << Ws
            << TDiffItems{Row(-1, 0, dkRightOnly), Row(0, 1, dkEqual), Row(1, 2, dkEqual)};
    }
    void cases()
    {
        QFETCH(QStringList, left);
        QFETCH(QStringList, right);
        QFETCH(TDiffOptions, options);
        QFETCH(TDiffItems, items);
        CompareItems(ComputeDiff(left, right, options), items);
        CompareItems(OracleComputeDiff(left, right, options), items);
    }

    void changeRanges_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<TDiffOptions>("options");
        QTest::addColumn<TDiffItem>("item");
        const TDiffOptions None;
        TDiffOptions Case;
        Case.IgnoreCase = true;
        QTest::newRow("inserted in the middle") << "abc" << "abXc" << None << Changed(0, 0, 2, 0, 2, 1);
        QTest::newRow("suffix stays clear of the prefix") << "aXa" << "aa" << None << Changed(0, 0, 1, 1, 1, 0);
        QTest::newRow("nothing in common") << "abc" << "xyz" << None << Changed(0, 0, 0, 3, 0, 3);
        QTest::newRow("case on: texts still differ at 0") << "Abc" << "abd" << Case << Changed(0, 0, 0, 3, 0, 3);
        QTest::newRow("empty against text") << "" << "abc" << None << Changed(0, 0, 0, 0, 0, 3);
        QTest::newRow("repeated letters") << "aaaa" << "aa" << None << Changed(0, 0, 2, 2, 2, 0);
        QTest::newRow("appended") << "ab" << "abcd" << None << Changed(0, 0, 2, 0, 2, 2);
    }
    void changeRanges()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(TDiffOptions, options);
        QFETCH(TDiffItem, item);
        CompareItems(ComputeDiff({a}, {b}, options), TDiffItems{item});
    }

    void freshItemAndOptions()
    {
        const TDiffItem Item;
        QCOMPARE(Item.LeftIndex, -1);
        QCOMPARE(Item.RightIndex, -1);
        QCOMPARE(Item.Kind, dkEqual);
        QCOMPARE(Item.LeftChangeStart, -1);
        QCOMPARE(Item.LeftChangeLen, 0);
        QCOMPARE(Item.RightChangeStart, -1);
        QCOMPARE(Item.RightChangeLen, 0);
        QCOMPARE(sizeof(TDiffKind), std::size_t(1));
        QCOMPARE(int(dkDifferent), 3);
        QCOMPARE(sizeof(TDiffOptions), std::size_t(6));
    }

    // Every line in exactly one item, indexes rising, kinds and ranges as described, and the
    // row count formula, on inputs with many ties under every option combination.
    void invariants()
    {
        QRandomGenerator Rng(5);
        for (int Round = 0; Round < 640; ++Round) {
            const TDiffOptions Options = OptionsFromBits(Round % 64);
            QStringList Left, Right;
            const QStringList Pool = {"a", "A", "", " ", "a b", "b", "\t"};
            for (int I = Rng.bounded(15); I > 0; --I) Left << Pool[Rng.bounded(int(Pool.size()))];
            for (int I = Rng.bounded(15); I > 0; --I) Right << Pool[Rng.bounded(int(Pool.size()))];
            const TDiffItems Items = ComputeDiff(Left, Right, Options);
            int NextL = 0, NextR = 0, Equal = 0, Pairs = 0;
            for (const TDiffItem& It : Items) {
                if (It.LeftIndex >= 0) QCOMPARE(It.LeftIndex, NextL++);
                if (It.RightIndex >= 0) QCOMPARE(It.RightIndex, NextR++);
                const bool HasRange = It.LeftChangeStart != -1 || It.LeftChangeLen != 0 ||
                                      It.RightChangeStart != -1 || It.RightChangeLen != 0;
                switch (It.Kind) {
                case dkEqual:
                    QVERIFY(!HasRange);
                    if (It.LeftIndex >= 0 && It.RightIndex >= 0 &&
                        NormalizeLine(Left[It.LeftIndex], Options) == NormalizeLine(Right[It.RightIndex], Options))
                        ++Equal;
                    else
                        QVERIFY(Options.IgnoreBlankLines);
                    break;
                case dkLeftOnly: QVERIFY(It.RightIndex == -1 && It.LeftIndex >= 0 && !HasRange); break;
                case dkRightOnly: QVERIFY(It.LeftIndex == -1 && It.RightIndex >= 0 && !HasRange); break;
                case dkDifferent:
                    QVERIFY(It.LeftIndex >= 0 && It.RightIndex >= 0);
                    QVERIFY(It.LeftChangeLen > 0 || It.RightChangeLen > 0);
                    ++Pairs;
                    break;
                }
            }
            QCOMPARE(NextL, int(Left.size()));
            QCOMPARE(NextR, int(Right.size()));
            if (!Options.IgnoreBlankLines) {
                const int Matches = int(OracleFindMatches(
                    [&] { QStringList K; for (auto& L : Left) K << NormalizeLine(L, Options); return K; }(),
                    [&] { QStringList K; for (auto& R : Right) K << NormalizeLine(R, Options); return K; }()).size());
                QCOMPARE(Equal, Matches);
                QCOMPARE(int(Items.size()), int(Left.size() + Right.size()) - Matches - Pairs);
            }
        }
    }

    void inputsAreNotChanged()
    {
        const QStringList Left = {"a", " B", ""}, Right = {"b", "a"};
        QStringList L = Left, R = Right;
        TDiffOptions All{true, true, true, true, true, true};
        (void)ComputeDiff(L, R, All);
        QCOMPARE(L, Left);
        QCOMPARE(R, Right);
    }

    // Runs on any thread and gives the same items when several calls run at once.
    void reentrant()
    {
        QRandomGenerator Rng(11);
        QStringList Left, Right;
        for (int I = 0; I < 3000; ++I) {
            Left << QString::number(Rng.bounded(50));
            Right << QString::number(Rng.bounded(50));
        }
        const TDiffItems Expected = ComputeDiff(Left, Right, {});
        QList<TDiffItems> Results(4);
        std::vector<std::thread> Threads;
        for (int T = 0; T < 4; ++T)
            Threads.emplace_back([&, T] { Results[T] = ComputeDiff(Left, Right, {}); });
        for (auto& T : Threads) T.join();
        for (const TDiffItems& R : Results)
            QVERIFY(R == Expected);
    }
};

QTEST_MAIN(TestEngineDiff)
#include "tst_engine_diff.moc"
