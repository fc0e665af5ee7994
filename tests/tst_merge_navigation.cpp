#include "merge/Navigation.h"

#include <QtTest>

namespace {

// One letter per item: E equal, D different, L left only, R right only.
TDiffItems ItemsOf(const QString& Kinds)
{
    TDiffItems Items;
    std::int32_t L = 0, R = 0;
    for (const QChar K : Kinds) {
        TDiffItem Item;
        switch (K.toLatin1()) {
        case 'E': Item.Kind = dkEqual; Item.LeftIndex = L++; Item.RightIndex = R++; break;
        case 'D': Item.Kind = dkDifferent; Item.LeftIndex = L++; Item.RightIndex = R++; break;
        case 'L': Item.Kind = dkLeftOnly; Item.LeftIndex = L++; break;
        case 'R': Item.Kind = dkRightOnly; Item.RightIndex = R++; break;
        default: qFatal("unknown kind letter");
        }
        Items.append(Item);
    }
    return Items;
}

} // namespace

class TestMergeNavigation : public QObject
{
    Q_OBJECT
private slots:
    void findDiffBlock_data()
    {
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("blockStart");
        QTest::addColumn<int>("blockEnd");

        QTest::newRow("first of a block") << "EDDEDE" << 1 << 1 << 2;
        QTest::newRow("last of a block") << "EDDEDE" << 2 << 1 << 2;
        QTest::newRow("single item block") << "EDDEDE" << 4 << 4 << 4;
        QTest::newRow("equal item") << "EDDEDE" << 3 << -1 << -1;
        QTest::newRow("before the items") << "EDDEDE" << -1 << -1 << -1;
        QTest::newRow("after the items") << "EDDEDE" << 6 << -1 << -1;
        QTest::newRow("no items") << "" << 0 << -1 << -1;
        QTest::newRow("mixed kinds touch") << "ELRDE" << 2 << 1 << 3;
        QTest::newRow("whole list") << "DDD" << 1 << 0 << 2;
        QTest::newRow("block at the end") << "EEDR" << 3 << 2 << 3;
    }
    void findDiffBlock()
    {
        QFETCH(QString, kinds);
        QFETCH(int, index);
        const TDiffBlock Block = FindDiffBlock(ItemsOf(kinds), index);
        QTEST(int(Block.BlockStart), "blockStart");
        QTEST(int(Block.BlockEnd), "blockEnd");
        QCOMPARE(Block.IsValid(), Block.BlockStart >= 0);
    }

    // Presses Next (N) and Previous (P) in turn from a start row, as the window does: a result of
    // -1 is a beep and leaves the selection where it was.
    void stepping_data()
    {
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<bool>("folderMode");
        QTest::addColumn<int>("startRow");
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QList<int>>("rows");

        QTest::newRow("next skips a block whole") << "EDDEDE" << false << 1 << "NNN" << QList<int>{2, 5, -1};
        QTest::newRow("previous inside the first block") << "EDDEDE" << false << 3 << "P" << QList<int>{-1};
        QTest::newRow("previous twice from the end") << "EDDEDE" << false << 6 << "PP" << QList<int>{5, 2};
        QTest::newRow("previous from the middle of a block")
            << "DEDDDE" << false << 4 << "P" << QList<int>{1};
        QTest::newRow("one block: next beeps") << "DDD" << false << 1 << "N" << QList<int>{-1};
        QTest::newRow("one block: previous from its end beeps") << "DDD" << false << 3 << "P" << QList<int>{-1};
        QTest::newRow("left only then right only is one stop") << "ELRE" << false << 1 << "NN" << QList<int>{2, -1};
        QTest::newRow("folder mode steps every differing row")
            << "DDED" << true << 1 << "NNN" << QList<int>{2, 4, -1};
        QTest::newRow("folder mode steps back row by row") << "DDED" << true << 4 << "PPP" << QList<int>{2, 1, -1};
        QTest::newRow("no items: next") << "" << false << 1 << "N" << QList<int>{-1};
        QTest::newRow("no items: previous") << "" << false << 1 << "P" << QList<int>{-1};
        QTest::newRow("no items in folder mode") << "" << true << 1 << "NP" << QList<int>{-1, -1};
        QTest::newRow("from the header row") << "DEDE" << false << 0 << "N" << QList<int>{1};
        QTest::newRow("all equal") << "EEE" << false << 2 << "NP" << QList<int>{-1, -1};
        QTest::newRow("stale row past the items") << "EDED" << false << 9 << "PN" << QList<int>{4, -1};
    }
    void stepping()
    {
        QFETCH(QString, kinds);
        QFETCH(bool, folderMode);
        QFETCH(int, startRow);
        QFETCH(QString, presses);
        QFETCH(QList<int>, rows);

        const TDiffItems Items = ItemsOf(kinds);
        std::int32_t Row = startRow;
        QList<int> Seen;
        for (const QChar Press : presses) {
            const std::int32_t Found = Press == u'N' ? FindDiffRowAfter(Items, Row, folderMode)
                                                     : FindDiffRowBefore(Items, Row, folderMode);
            Seen.append(Found);
            if (Found > 0)
                Row = Found;
        }
        QCOMPARE(Seen, rows);
    }

    void firstAndLast_data()
    {
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");

        QTest::newRow("two blocks") << "EDDEDE" << 2 << 5;
        QTest::newRow("last is the last row of the last block") << "EDEDDD" << 2 << 6;
        QTest::newRow("one block") << "DDD" << 1 << 3;
        QTest::newRow("all equal") << "EEE" << -1 << -1;
        QTest::newRow("no items") << "" << -1 << -1;
    }
    void firstAndLast()
    {
        QFETCH(QString, kinds);
        const TDiffItems Items = ItemsOf(kinds);
        QTEST(int(FindFirstDiffRow(Items)), "first");
        QTEST(int(FindLastDiffRow(Items)), "last");
    }

    void goToDiffRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<int>("visible");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("top");

        QTest::newRow("middle") << 50 << 101 << 20 << 50 << 40;
        QTest::newRow("near the end") << 95 << 101 << 20 << 95 << 81;
        QTest::newRow("near the start") << 3 << 101 << 20 << 3 << 1;
        QTest::newRow("odd visible count") << 50 << 101 << 21 << 50 << 40;
        QTest::newRow("past the last row") << 500 << 101 << 20 << 100 << 81;
        QTest::newRow("the header row") << 0 << 101 << 20 << 1 << 1;
        QTest::newRow("no visible rows counts one") << 50 << 101 << 0 << 50 << 50;
        QTest::newRow("everything fits") << 8 << 10 << 20 << 8 << 1;
    }
    void goToDiffRow()
    {
        QFETCH(int, row);
        QFETCH(int, rowCount);
        QFETCH(int, visible);
        const TGridScroll Scroll = ComputeGoToDiffRow(row, rowCount, 1, visible);
        QTEST(int(Scroll.Row), "selected");
        QTEST(int(Scroll.TopRow), "top");
    }
};

QTEST_GUILESS_MAIN(TestMergeNavigation)
#include "tst_merge_navigation.moc"
