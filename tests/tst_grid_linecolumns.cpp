#include "grid/DiffCellDrawing.h"
#include "grid/RowHeights.h"
#include "grid/TDiffGrid.h"

#include <QtTest>

// Columns that show lines of a shared list by index: the same cells as a column of copies,
// through every way the grid's contents change afterwards.
class TestGridLineColumns : public QObject
{
    Q_OBJECT

    static QStringList Column(const TDiffGrid& Grid, int Col)
    {
        QStringList Texts;
        for (int Row = 0; Row < Grid.RowCount(); ++Row)
            Texts << Grid.Cells(Col, Row);
        return Texts;
    }

private slots:
    void cellsFollowTheIndex()
    {
        TDiffGrid Grid;
        Grid.SetRowCount(5);
        const QStringList Lines = {QStringLiteral("zero"), QStringLiteral("one"), QStringLiteral("two")};
        // -1 and an index past the list both show an empty cell; the missing last entry too.
        Grid.SetColumnLines(1, Lines, {-1, 2, 0, 7});
        QCOMPARE(Column(Grid, 1), (QStringList{QString(), "two", "zero", QString(), QString()}));
        QVERIFY(Grid.Cells(1, 0).isNull());
        QCOMPARE(Grid.CellText(1, 1), QStringLiteral("two"));
        QCOMPARE(Grid.Cells(1, 5), QString());
    }

    void theListIsAValueNotAView()
    {
        TDiffGrid Grid;
        Grid.SetRowCount(3);
        QStringList Lines = {QStringLiteral("a"), QStringLiteral("b")};
        Grid.SetColumnLines(2, Lines, {-1, 1, 0});
        Lines[1] = QStringLiteral("changed");
        Lines.removeFirst();
        QCOMPARE(Column(Grid, 2), (QStringList{QString(), "b", "a"}));
    }

    void singleCellsAndRowCountChanges()
    {
        TDiffGrid Grid;
        Grid.SetRowCount(4);
        const QStringList Lines = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
        Grid.SetColumnLines(1, Lines, {-1, 0, 1, 2});
        Grid.SetCells(1, 2, QStringLiteral("edited"));
        Grid.SetCells(1, 3, QStringLiteral("gone with its row"));
        QCOMPARE(Column(Grid, 1), (QStringList{QString(), "a", "edited", "gone with its row"}));
        Grid.SetRowCount(3);
        Grid.SetRowCount(6);
        QCOMPARE(Column(Grid, 1), (QStringList{QString(), "a", "edited", QString(), QString(), QString()}));
        // A new index drops the cells set before.
        Grid.SetColumnLines(1, Lines, {-1, 2, 1, 0, 0, -1});
        QCOMPARE(Column(Grid, 1), (QStringList{QString(), "c", "b", "a", "a", QString()}));
    }

    void columnTextsAndEditingTurnItIntoCopies()
    {
        TDiffGrid Grid;
        Grid.SetRowCount(4);
        Grid.SetColumnLines(1, {QStringLiteral("x"), QStringLiteral("y")}, {-1, 1, 0, 1});
        Grid.SetCells(1, 3, QStringLiteral("set"));
        QCOMPARE(Grid.ColumnTexts(1), (QVector<QString>{QString(), "y", "x", "set"}));
        QString* Cells = Grid.EditColumnTexts(1);
        QVERIFY(Cells);
        Cells[1] = QStringLiteral("written");
        QCOMPARE(Column(Grid, 1), (QStringList{QString(), "written", "x", "set"}));
        Grid.SetColumnLines(1, {QStringLiteral("x")}, {-1, 0, 0, 0});
        Grid.SetColumnTexts(1, {QString(), QStringLiteral("plain")});
        QCOMPARE(Column(Grid, 1), (QStringList{QString(), "plain", QString(), QString()}));
    }

    // Heights measured through the shared lines equal heights measured from copies.
    void heightsEqualThoseOfCopies()
    {
        const QStringList Lines = {QStringLiteral("short"),
                                   QStringLiteral("a line long enough to wrap in a narrow column, twice or more"),
                                   QString(), QStringLiteral("two\nlines")};
        const QVector<std::int32_t> Index = {-1, 0, 1, 2, 3, 1, -1, 9};
        TDiffGrid Shared, Copied;
        for (TDiffGrid* Grid : {&Shared, &Copied}) {
            Grid->SetRowCount(int(Index.size()));
            Grid->SetColWidths(1, 120);
            Grid->SetColWidths(2, 60);
        }
        Shared.SetColumnLines(1, Lines, Index);
        Shared.SetColumnLines(2, Lines, Index);
        Shared.SetCells(2, 1, Lines[1]);   // one cell set by hand: that column is read cell by cell
        QVector<QString> Texts;
        for (const std::int32_t I : Index)
            Texts << (I >= 0 && I < Lines.size() ? Lines[I] : QString());
        Texts[1] = Lines[1];
        Copied.SetColumnTexts(2, Texts);
        Texts[1] = Lines[0];
        Copied.SetColumnTexts(1, Texts);
        UpdateAllRowHeightsOf(Shared, Shared.font(), 20, TDiffCellSource());
        UpdateAllRowHeightsOf(Copied, Copied.font(), 20, TDiffCellSource());
        bool Taller = false;
        for (int Row = 0; Row < Shared.RowCount(); ++Row) {
            QCOMPARE(Shared.RowHeights(Row), Copied.RowHeights(Row));
            Taller = Taller || Shared.RowHeights(Row) > 20 + 10;
        }
        QVERIFY(Taller);   // the wrapping lines did make rows taller
    }
};

QTEST_MAIN(TestGridLineColumns)
#include "tst_grid_linecolumns.moc"
