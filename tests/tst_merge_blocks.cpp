#include "merge/Merge.h"
#include "merge/Navigation.h"
#include "merge/UndoStack.h"

#include <QtTest>

namespace {

// "left,right,kind;..." with kinds E, D, L, R; an index of -1 means no line on that side.
TDiffItems ParseItems(const QString& Text)
{
    TDiffItems Items;
    for (const QString& Part : Text.split(u';', Qt::SkipEmptyParts)) {
        const QStringList F = Part.split(u',');
        Q_ASSERT(F.size() == 3);
        TDiffItem Item;
        Item.LeftIndex = F[0].toInt();
        Item.RightIndex = F[1].toInt();
        Item.Kind = F[2] == u"E" ? dkEqual : F[2] == u"D" ? dkDifferent : F[2] == u"L" ? dkLeftOnly : dkRightOnly;
        Items.append(Item);
    }
    return Items;
}

QStringList Lines(const char* Text)
{
    return QString::fromUtf8(Text).split(u' ', Qt::SkipEmptyParts);
}

} // namespace

class TestMergeBlocks : public QObject
{
    Q_OBJECT
private slots:
    void findRange_data()
    {
        QTest::addColumn<QString>("items");
        QTest::addColumn<int>("blockStart");
        QTest::addColumn<int>("blockEnd");
        QTest::addColumn<int>("rightCount");
        QTest::addColumn<int>("rightStart");
        QTest::addColumn<int>("rightLen");
        QTest::addColumn<int>("leftCount");
        QTest::addColumn<int>("leftStart");
        QTest::addColumn<int>("leftLen");

        // Left A B C D, right A X Y D.
        QTest::newRow("changed block") << "0,0,E;1,1,D;2,2,D;3,3,E" << 1 << 2 << 4 << 1 << 2 << 4 << 1 << 2;
        // Left A B C, right A C: no right line in the block, insert after A.
        QTest::newRow("insert after the line before") << "0,0,E;1,-1,L;2,1,E" << 1 << 1 << 2 << 1 << 0 << 3 << 1 << 1;
        // Left X A, right A: nothing before the block on the right, so before the line after it.
        QTest::newRow("block at the very start") << "0,-1,L;1,0,E" << 0 << 0 << 1 << 0 << 0 << 2 << 0 << 1;
        // Left A B, right (empty): no right line anywhere, so the end of the right lines.
        QTest::newRow("no target line at all") << "0,-1,L;1,-1,L" << 0 << 1 << 0 << 0 << 0 << 2 << 0 << 2;
        // Left A, right A Y: the right-only block at the very end.
        QTest::newRow("block at the very end") << "0,0,E;-1,1,R" << 1 << 1 << 2 << 1 << 1 << 1 << 1 << 0;
        // Right-only rows between two left-only rows keep their span.
        QTest::newRow("mixed kinds") << "0,0,D;1,-1,L;-1,1,R" << 0 << 2 << 2 << 0 << 2 << 2 << 0 << 2;
    }
    void findRange()
    {
        QFETCH(QString, items);
        QFETCH(int, blockStart);
        QFETCH(int, blockEnd);
        QFETCH(int, rightCount);
        QFETCH(int, leftCount);
        const TDiffItems Items = ParseItems(items);

        const TLineRange Right = FindRightRange(Items, blockStart, blockEnd, rightCount);
        QTEST(int(Right.Start), "rightStart");
        QTEST(int(Right.Count), "rightLen");
        const TLineRange Left = FindLeftRange(Items, blockStart, blockEnd, leftCount);
        QTEST(int(Left.Start), "leftStart");
        QTEST(int(Left.Count), "leftLen");
    }

    void copyBlock_data()
    {
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("right");
        QTest::addColumn<QString>("items");
        QTest::addColumn<int>("itemIndex");
        QTest::addColumn<QStringList>("rightAfterCopyToRight");
        QTest::addColumn<QStringList>("leftAfterCopyToLeft");

        const char* Changed = "0,0,E;1,1,D;2,2,D;3,3,E";
        QTest::newRow("changed block, first row") << Lines("A B C D") << Lines("A X Y D") << Changed << 1
                                                  << Lines("A B C D") << Lines("A X Y D");
        QTest::newRow("changed block, second row") << Lines("A B C D") << Lines("A X Y D") << Changed << 2
                                                   << Lines("A B C D") << Lines("A X Y D");
        QTest::newRow("left only: insert, or delete back")
            << Lines("A B C") << Lines("A C") << "0,0,E;1,-1,L;2,1,E" << 1 << Lines("A B C") << Lines("A C");
        QTest::newRow("changed then left only")
            << Lines("P Q") << Lines("R") << "0,0,D;1,-1,L" << 0 << Lines("P Q") << Lines("R");
        QTest::newRow("same block from its left-only row")
            << Lines("P Q") << Lines("R") << "0,0,D;1,-1,L" << 1 << Lines("P Q") << Lines("R");
        QTest::newRow("left only at the very start")
            << Lines("X A") << Lines("A") << "0,-1,L;1,0,E" << 0 << Lines("X A") << Lines("A");
        QTest::newRow("right only at the very start")
            << Lines("A") << Lines("X A") << "-1,0,R;0,1,E" << 0 << Lines("A") << Lines("X A");
        QTest::newRow("left only at the very end")
            << Lines("A B") << Lines("A") << "0,0,E;1,-1,L" << 1 << Lines("A B") << Lines("A");
        QTest::newRow("right only at the very end")
            << Lines("A") << Lines("A Y") << "0,0,E;-1,1,R" << 1 << Lines("A") << Lines("A Y");
        QTest::newRow("target side empty") << Lines("A B") << QStringList() << "0,-1,L;1,-1,L" << 0
                                           << Lines("A B") << QStringList();
        QTest::newRow("more target lines than source")
            << Lines("A B E") << Lines("A X Y Z E") << "0,0,E;1,1,D;-1,2,R;-1,3,R;2,4,E" << 2
            << Lines("A B E") << Lines("A X Y Z E");
        QTest::newRow("equal row copies nothing")
            << Lines("A B") << Lines("A C") << "0,0,E;1,1,D" << 0 << Lines("A C") << Lines("A B");
        QTest::newRow("row outside the items copies nothing")
            << Lines("A B") << Lines("A C") << "0,0,E;1,1,D" << 2 << Lines("A C") << Lines("A B");
    }
    void copyBlock()
    {
        QFETCH(QStringList, left);
        QFETCH(QStringList, right);
        QFETCH(QString, items);
        QFETCH(int, itemIndex);
        QFETCH(QStringList, rightAfterCopyToRight);
        QFETCH(QStringList, leftAfterCopyToLeft);
        const TDiffItems Items = ParseItems(items);

        QStringList ToRight = right;
        const bool RightChanged = CopyBlockToRight(Items, itemIndex, left, ToRight);
        QCOMPARE(ToRight, rightAfterCopyToRight);
        QCOMPARE(RightChanged, ToRight != right);

        QStringList ToLeft = left;
        const bool LeftChanged = CopyBlockToLeft(Items, itemIndex, right, ToLeft);
        QCOMPARE(ToLeft, leftAfterCopyToLeft);
        QCOMPARE(LeftChanged, ToLeft != left);
    }

    // A second merge before the recompute hands back works on the old rows and the changed
    // lists: indexes past the lists must be skipped, never read.
    void staleItemsStayInsideTheLists()
    {
        const TDiffItems Items = ParseItems("0,0,E;1,1,D;5,7,D;3,9,L");
        QStringList Left = Lines("A B");
        QStringList Right = Lines("A C");
        QVERIFY(CopyBlockToRight(Items, 1, Left, Right));
        QCOMPARE(Right, Lines("A B"));
        QVERIFY(!CopyBlockToLeft(ParseItems("0,0,E;7,8,D"), 1, Lines("A"), Left));
        QCOMPARE(Left, Lines("A B"));
    }

    // Copying every block of a real diff, from the end backwards, makes the target a copy of the
    // source: blocks without source lines delete theirs.
    void everyBlockOfARealDiff_data()
    {
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("right");
        QTest::newRow("changes everywhere") << Lines("a b c d e f g h") << Lines("x b c y z f h i");
        QTest::newRow("right empty") << Lines("a b") << QStringList();
        QTest::newRow("left empty") << QStringList() << Lines("a b");
        QTest::newRow("repeated lines") << Lines("a a b a a") << Lines("a b b a");
        QTest::newRow("only changed lines") << Lines("a b c d") << Lines("a x c y");
    }
    void everyBlockOfARealDiff()
    {
        QFETCH(QStringList, left);
        QFETCH(QStringList, right);
        const TDiffItems Items = ComputeDiff(left, right, TDiffOptions{});

        QStringList Right = right;
        QStringList Left = left;
        for (qsizetype i = Items.size() - 1; i >= 0; --i) {
            const TDiffBlock Block = FindDiffBlock(Items, i);
            if (!Block.IsValid())
                continue;
            CopyBlockToRight(Items, Block.BlockStart, left, Right);
            CopyBlockToLeft(Items, Block.BlockStart, right, Left);
            i = Block.BlockStart;
        }
        QCOMPARE(Right, left);
        QCOMPARE(Left, right);
    }

    void linesIdentical_data()
    {
        QTest::addColumn<QStringList>("a");
        QTest::addColumn<QStringList>("b");
        QTest::addColumn<bool>("identical");
        QTest::newRow("same") << Lines("a b") << Lines("a b") << true;
        QTest::newRow("both empty") << QStringList() << QStringList() << true;
        QTest::newRow("letter case") << Lines("a b") << Lines("a B") << false;
        QTest::newRow("trailing blank") << QStringList{"a", "b"} << QStringList{"a", "b "} << false;
        QTest::newRow("one more line") << Lines("a b") << Lines("a b c") << false;
        QTest::newRow("an empty line more") << QStringList{"a"} << QStringList{"a", ""} << false;
    }
    void linesIdentical()
    {
        QFETCH(QStringList, a);
        QFETCH(QStringList, b);
        QTEST(LinesIdentical(a, b), "identical");
        QTEST(LinesIdentical(b, a), "identical");
    }

    void copyAll()
    {
        QStringList Target = Lines("A b");
        QVERIFY(CopyAllLines(Lines("a B"), Target));
        QCOMPARE(Target, Lines("a B"));
        QVERIFY(!CopyAllLines(Lines("a B"), Target));
        QCOMPARE(Target, Lines("a B"));
        QCOMPARE(QString::fromUtf8(FilesAlreadyIdenticalText), QString("Files are already identical."));
    }

    // Four merges, each pushing the state before it, then four undos: three come back newest
    // first, the fourth finds nothing and the state before merge 1 is gone.
    void fourMergesThenFourUndos()
    {
        const QStringList Left = Lines("e A e B e C e D e");
        QStringList Right = Lines("e a e b e c e d e");
        const TDiffItems Items = ParseItems("0,0,E;1,1,D;2,2,E;3,3,D;4,4,E;5,5,D;6,6,E;7,7,D;8,8,E");

        TUndoStack Stack;
        QList<QStringList> Before;
        for (int Merge = 0; Merge < 4; ++Merge) {
            Before.append(Right);
            Stack.Push({Left, Right, 2 * Merge + 2, 1, Merge + 1});
            QVERIFY(CopyBlockToRight(Items, 2 * Merge + 1, Left, Right));
            QVERIFY(Stack.Count() <= TUndoStack::Capacity);
        }
        QCOMPARE(Right, Left);
        QCOMPARE(Stack.Count(), 3);

        for (int Merge = 3; Merge >= 1; --Merge) {
            const std::optional<TUndoState> State = Stack.Pop();
            QVERIFY(State);
            QCOMPARE(State->RightLines, Before[Merge]);
            QCOMPARE(State->LeftLines, Left);
            QCOMPARE(State->SelectedRow, 2 * Merge + 2);
            QCOMPARE(State->TopRow, Merge + 1);
        }
        QVERIFY(!Stack.Pop());
        QVERIFY(Stack.IsEmpty());
    }

    // The pushed state is a copy: later edits of the lists do not reach it.
    void pushedStateIsACopy()
    {
        QStringList Right = Lines("a b");
        TUndoStack Stack;
        Stack.Push({Lines("x"), Right, 1, 1, 1});
        Right[0] = "changed";
        Right.append("c");
        QCOMPARE(Stack.At(0).RightLines, Lines("a b"));
        Stack.Clear();
        QVERIFY(Stack.IsEmpty());
    }

    void gridRestore_data()
    {
        QTest::addColumn<int>("savedRow");
        QTest::addColumn<int>("savedCol");
        QTest::addColumn<int>("savedTop");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("top");

        QTest::newRow("everything fits") << 7 << 2 << 4 << 20 << 7 << 2 << 4;
        QTest::newRow("row beyond the rows") << 25 << 2 << 4 << 20 << 1 << 2 << 4;
        QTest::newRow("top row beyond the rows stays") << 7 << 2 << 30 << 20 << 7 << 2 << -1;
        QTest::newRow("column beyond the columns") << 7 << 5 << 4 << 20 << 7 << 1 << 4;
        QTest::newRow("header row") << 0 << 1 << 0 << 20 << 1 << 1 << -1;
        QTest::newRow("only the header row") << 3 << 1 << 2 << 1 << -1 << 1 << -1;
    }
    void gridRestore()
    {
        QFETCH(int, savedRow);
        QFETCH(int, savedCol);
        QFETCH(int, savedTop);
        QFETCH(int, rowCount);
        TUndoState State;
        State.SelectedRow = savedRow;
        State.SelectedCol = savedCol;
        State.TopRow = savedTop;
        const TGridRestore Restore = ComputeGridRestore(State, rowCount, 3, 1);
        QTEST(int(Restore.Row), "row");
        QTEST(int(Restore.Col), "col");
        QTEST(int(Restore.TopRow), "top");
    }
};

QTEST_GUILESS_MAIN(TestMergeBlocks)
#include "tst_merge_blocks.moc"
