// The string-grid widget: row positions, hit tests, scrolling by rows, keyboard and mouse
// selection through OnSelectCell, border drags and the notifications.

#include "grid/TDiffGrid.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QtTest>

namespace {

// 3 columns of 50, 100, 120 px; header 30 px; body rows 20 px.
void Shape(TDiffGrid& Grid, int Rows)
{
    Grid.show();  // delivers the pending resize, which sizes the viewport
    Grid.SetRowCount(Rows);
    Grid.SetDefaultRowHeight(20);
    Grid.SetRowHeights(0, 30);
    Grid.SetColWidths(0, 50);
    Grid.SetColWidths(1, 100);
    Grid.SetColWidths(2, 120);
}

void SendMouse(QWidget* Target, QEvent::Type Type, QPoint Pos, Qt::MouseButton Button, Qt::MouseButtons Buttons)
{
    QMouseEvent Event(Type, QPointF(Pos), Target->mapToGlobal(QPointF(Pos)), Button, Buttons, Qt::NoModifier);
    QApplication::sendEvent(Target, &Event);
}

void Drag(QWidget* Target, QPoint From, QPoint To)
{
    SendMouse(Target, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
    SendMouse(Target, QEvent::MouseMove, (From + To) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(Target, QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton);
    SendMouse(Target, QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton);
}

}  // namespace

class TestGridWidget : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void cellRectsFollowHeightsAndLines();
    void mouseToCellInvertsCellRect();
    void mouseToCellOutsideCells_data();
    void mouseToCellOutsideCells();
    void positionsAgreeWithAPlainWalk();
    void singleHeightChangesInALoop();
    void topRowScrollsByWholeRows();
    void visibleRowCountCountsWholeRows();
    void millionRows();
    void keyboardSelection_data();
    void keyboardSelection();
    void refusedSelectionStays();
    void keyHandlerCanConsumeKeys();
    void clickSelectsRowAndNotifies();
    void columnBorderDrag_data();
    void columnBorderDrag();
    void bodyRowBorderPressSelects();
    void pressRightOfBorderSelectsInstead();
    void rowBorderDragInFixedColumn();
    void doubleClickIsAPressThenDblClick();
    void setRowScrollsIntoView();
    void columnTextsAndCells();
    void scrollRangeWalksThroughTallRows();
    void tallTopRowIsDrawnBelowTheHeader();
    void textInATallRowIsBroughtIntoView_data();
    void textInATallRowIsBroughtIntoView();
    void tallRowKeepsItsPlaceWhenTheViewChanges();
};

void TestGridWidget::defaults()
{
    TDiffGrid Grid;
    QCOMPARE(Grid.ColCount(), 3);
    QCOMPARE(Grid.FixedRows(), 1);
    QCOMPARE(Grid.FixedCols(), 1);
    QCOMPARE(Grid.Options() & goHorzLine, unsigned(goHorzLine));
    QCOMPARE(Grid.Row(), 1);
    QCOMPARE(Grid.Col(), 1);
    QCOMPARE(Grid.TopRow(), 1);
    QCOMPARE(Grid.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

void TestGridWidget::cellRectsFollowHeightsAndLines()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 6);
    Grid.SetRowHeights(2, 45);
    // Each cell is followed by a 1-px line; the header by one always.
    QCOMPARE(Grid.CellRect(0, 0), QRect(0, 0, 50, 30));
    QCOMPARE(Grid.CellRect(1, 1), QRect(51, 31, 100, 20));
    QCOMPARE(Grid.CellRect(2, 2), QRect(152, 52, 120, 45));
    QCOMPARE(Grid.CellRect(1, 3), QRect(51, 98, 100, 20));
    // Without lines between body rows the rows close up; the header line stays.
    Grid.SetOptions(0);
    QCOMPARE(Grid.CellRect(1, 1), QRect(51, 31, 100, 20));
    QCOMPARE(Grid.CellRect(1, 3), QRect(51, 96, 100, 20));
    QCOMPARE(Grid.CellRect(1, 5), QRect(51, 136, 100, 20));
    // All heights at once.
    Grid.SetOptions(goHorzLine);
    Grid.SetAllRowHeights({30, 10, 20, 30, 40, 50});
    QCOMPARE(Grid.CellRect(0, 5).top(), 31 + 10 + 20 + 30 + 40 + 4);
    QCOMPARE(Grid.RowHeights(4), 40);
    QVERIFY(Grid.CellRect(3, 1).isNull());
    QVERIFY(Grid.CellRect(0, 6).isNull());
}

void TestGridWidget::mouseToCellInvertsCellRect()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 40);
    Grid.SetRowHeights(3, 41);
    Grid.SetTopRow(2);
    for (int R : {0, 2, 3, 4, 9}) {
        for (int C = 0; C < 3; ++C) {
            const QRect Cell = Grid.CellRect(C, R);
            QVERIFY(!Cell.isNull());
            for (const QPoint P : {Cell.topLeft(), Cell.center(), Cell.bottomRight(),
                                   QPoint(Cell.x() + Cell.width(), Cell.y()),      // the line after it
                                   QPoint(Cell.x(), Cell.y() + Cell.height())}) {
                int Col = -2, Row = -2;
                Grid.MouseToCell(P.x(), P.y(), Col, Row);
                QCOMPARE(Col, C);
                QCOMPARE(Row, R);
            }
        }
    }
    QVERIFY(Grid.CellRect(1, 1).isNull());  // scrolled out of view above
}

void TestGridWidget::mouseToCellOutsideCells_data()
{
    QTest::addColumn<QPoint>("Point");
    QTest::newRow("right of the last column") << QPoint(50 + 100 + 120 + 3, 40);
    QTest::newRow("below the last row") << QPoint(60, 31 + 3 * 21 + 2);
    QTest::newRow("left of the view") << QPoint(-1, 40);
    QTest::newRow("above the view") << QPoint(60, -1);
}

void TestGridWidget::mouseToCellOutsideCells()
{
    QFETCH(QPoint, Point);
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 4);
    int Col = 0, Row = 0;
    Grid.MouseToCell(Point.x(), Point.y(), Col, Row);
    QCOMPARE(Col, -1);
    QCOMPARE(Row, -1);
}

// Row positions, visible rows and the last top row against a walk over the rows, with zero-height
// rows, both line settings and random scroll positions.
void TestGridWidget::positionsAgreeWithAPlainWalk()
{
    TDiffGrid Grid;
    Grid.resize(300, 260);
    Shape(Grid, 300);
    const int View = Grid.viewport()->height();
    QRandomGenerator Random(99);
    for (int Round = 0; Round < 40; ++Round) {
        QVector<int> Heights(Grid.RowCount());
        for (int& H : Heights)
            H = Random.bounded(5) == 0 ? 0 : Random.bounded(1, 90);
        Heights[0] = Random.bounded(10, 40);
        Grid.SetAllRowHeights(Heights);
        const int Line = Round % 2;
        Grid.SetOptions(Line ? unsigned(goHorzLine) : 0u);
        const int Body = Heights[0] + 1;
        const int N = Grid.RowCount();

        // The last top row: the smallest one from which the rows to the end fit.
        int LastTop = N - 1, Used = Heights[N - 1];
        while (LastTop > 1 && Used + Line + Heights[LastTop - 1] <= View - Body)
            Used += Line + Heights[--LastTop];
        Grid.SetTopRow(N + 5);
        QCOMPARE(Grid.TopRow(), LastTop);

        const int Top = Random.bounded(1, LastTop + 1);
        Grid.SetTopRow(Top);
        QCOMPARE(Grid.TopRow(), Top);
        int Y = Body, Whole = 0;
        for (int R = Top; R < N && Y < View; ++R) {
            QCOMPARE(Grid.CellRect(2, R), QRect(Grid.ColWidths(0) + Grid.ColWidths(1) + 2, Y, Grid.ColWidths(2), Heights[R]));
            if (Y + Heights[R] <= View && Whole == R - Top)
                ++Whole;
            if (Heights[R] > 0) {
                int Col = -1, Row = -1;
                Grid.MouseToCell(60, std::min(Y + Heights[R] - 1, View - 1), Col, Row);
                QCOMPARE(Row, R);
            }
            Y += Heights[R] + Line;
        }
        QCOMPARE(Grid.VisibleRowCount(), Whole);
        if (Y < View)
            QVERIFY(Grid.CellRect(1, N - 1).top() + Heights[N - 1] <= View);
    }
}

void TestGridWidget::singleHeightChangesInALoop()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 2001);
    for (int R = 1; R <= 2000; ++R)
        Grid.SetRowHeights(R, R % 2 ? 10 : 30);
    // 1000 pairs of 10 + 30 px, each with its line.
    Grid.SetTopRow(1);
    QCOMPARE(Grid.RowHeights(7), 10);
    QCoreApplication::processEvents();
    // The scroll range ends at the first top row that shows row 2000 wholly.
    const int Room = Grid.viewport()->height() - 31;
    int Top = 2000, Used = 30;
    while (Top > 1 && Used + 1 + Grid.RowHeights(Top - 1) <= Room)
        Used += 1 + Grid.RowHeights(--Top);
    QCOMPARE(Grid.verticalScrollBar()->maximum(), Top - 1);
    Grid.SetTopRow(1001);
    QCOMPARE(Grid.TopRow(), 1001);
    QCOMPARE(Grid.CellRect(1, 1001).top(), 31);
    QCOMPARE(Grid.CellRect(1, 1003).top(), 31 + 11 + 31);
}

void TestGridWidget::topRowScrollsByWholeRows()
{
    TDiffGrid Grid;
    Grid.resize(400, 31 + 10 * 21 + 2 * Grid.frameWidth());
    Shape(Grid, 101);
    QCOMPARE(Grid.viewport()->height(), 31 + 10 * 21);
    int Notified = 0;
    Grid.OnTopLeftChanged = [&Notified] { ++Notified; };
    Grid.SetTopRow(5);
    QCOMPARE(Grid.TopRow(), 5);
    QCOMPARE(Notified, 1);
    QCOMPARE(Grid.verticalScrollBar()->value(), 4);
    QCOMPARE(Grid.CellRect(1, 5).top(), 31);  // the fixed row stays above it
    QCOMPARE(Grid.CellRect(1, 0).top(), 0);
    QVERIFY(Grid.CellRect(1, 4).isNull());
    QVERIFY(Grid.CellRect(1, 15).isNull());  // below the view
    // The top row cannot pass the one that shows the last row at the bottom.
    Grid.SetTopRow(1000);
    QCOMPARE(Grid.TopRow(), 91);
    QCOMPARE(Grid.verticalScrollBar()->maximum(), 90);
    Grid.SetTopRow(-3);
    QCOMPARE(Grid.TopRow(), 1);
    // The scroll bar moves the top row.
    Grid.verticalScrollBar()->setValue(41);
    QCOMPARE(Grid.TopRow(), 42);
    // Fewer rows pull the top row back.
    Grid.SetRowCount(20);
    QCOMPARE(Grid.TopRow(), 10);
}

void TestGridWidget::visibleRowCountCountsWholeRows()
{
    TDiffGrid Grid;
    Grid.resize(400, 31 + 10 * 21 + 15 + 2 * Grid.frameWidth());
    Shape(Grid, 101);
    QCOMPARE(Grid.VisibleRowCount(), 10);
    Grid.SetRowHeights(3, 100);
    QCoreApplication::processEvents();
    QCOMPARE(Grid.VisibleRowCount(), 6);
    Grid.SetTopRow(3);
    QCOMPARE(Grid.VisibleRowCount(), 6);
    Grid.SetTopRow(4);
    QCOMPARE(Grid.VisibleRowCount(), 10);
}

void TestGridWidget::millionRows()
{
    TDiffGrid Grid;
    Grid.resize(600, 400);
    Grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Grid));
    QElapsedTimer Timer;
    Timer.start();
    Grid.SetRowCount(1'000'001);
    QVector<QString> Texts(1'000'001, QStringLiteral("line"));
    Grid.SetColumnTexts(1, std::move(Texts));
    Grid.SetDefaultRowHeight(20);
    Grid.SetRowHeights(0, 30);
    QCOMPARE(Grid.RowCount(), 1'000'001);
    Grid.SetTopRow(500'000);
    QCOMPARE(Grid.TopRow(), 500'000);
    int Painted = 0;
    Grid.OnDrawCell = [&Painted](QPainter&, int, int, const QRect&, TGridDrawState) { ++Painted; };
    Grid.viewport()->repaint();
    QVERIFY(Painted > 0);
    QVERIFY2(Painted < 3 * 40, "only the visible cells are painted");
    int Col = -1, Row = -1;
    Grid.MouseToCell(70, 31 + 21 * 3 + 5, Col, Row);
    QCOMPARE(Row, 500'003);
    QCOMPARE(Grid.Cells(1, 999'999), QStringLiteral("line"));
    qDebug("a million rows: set up, scrolled and painted in %lld ms", Timer.elapsed());
}

void TestGridWidget::keyboardSelection_data()
{
    QTest::addColumn<int>("StartRow");
    QTest::addColumn<int>("Key");
    QTest::addColumn<int>("Modifiers");
    QTest::addColumn<int>("ExpectedRow");
    QTest::newRow("down") << 5 << int(Qt::Key_Down) << 0 << 6;
    QTest::newRow("up") << 5 << int(Qt::Key_Up) << 0 << 4;
    QTest::newRow("up at the first row") << 1 << int(Qt::Key_Up) << 0 << 1;
    QTest::newRow("down at the last row") << 100 << int(Qt::Key_Down) << 0 << 100;
    QTest::newRow("page down") << 5 << int(Qt::Key_PageDown) << 0 << 15;
    QTest::newRow("page down near the end") << 95 << int(Qt::Key_PageDown) << 0 << 100;
    QTest::newRow("page up") << 50 << int(Qt::Key_PageUp) << 0 << 40;
    QTest::newRow("page up near the start") << 4 << int(Qt::Key_PageUp) << 0 << 1;
    QTest::newRow("home") << 50 << int(Qt::Key_Home) << 0 << 1;
    QTest::newRow("end") << 50 << int(Qt::Key_End) << 0 << 100;
    QTest::newRow("ctrl+home") << 50 << int(Qt::Key_Home) << int(Qt::ControlModifier) << 1;
    QTest::newRow("ctrl+end") << 50 << int(Qt::Key_End) << int(Qt::ControlModifier) << 100;
}

void TestGridWidget::keyboardSelection()
{
    QFETCH(int, StartRow);
    QFETCH(int, Key);
    QFETCH(int, Modifiers);
    QFETCH(int, ExpectedRow);
    TDiffGrid Grid;
    Grid.resize(400, 31 + 10 * 21 + 2 * Grid.frameWidth());
    Shape(Grid, 101);
    Grid.SetRow(StartRow);
    QList<QPair<int, int>> Asked;
    int RowWhileAsked = -1;
    Grid.OnSelectCell = [&](int ACol, int ARow, bool& CanSelect) {
        QVERIFY(CanSelect);
        RowWhileAsked = Grid.Row();
        Asked.append({ACol, ARow});
    };
    QTest::keyClick(&Grid, Qt::Key(Key), Qt::KeyboardModifiers(Modifiers));
    QCOMPARE(Grid.Row(), ExpectedRow);
    if (ExpectedRow == StartRow) {
        QVERIFY(Asked.isEmpty());  // a key that cannot move asks nothing
    } else {
        QCOMPARE(Asked.size(), 1);
        QCOMPARE(Asked[0], qMakePair(1, ExpectedRow));
        QCOMPARE(RowWhileAsked, StartRow);  // asked before the selection moves
    }
    // The current row is wholly in view.
    const QRect Cell = Grid.CellRect(1, ExpectedRow);
    QVERIFY(!Cell.isNull());
    QVERIFY(Cell.bottom() < Grid.viewport()->height());
}

void TestGridWidget::refusedSelectionStays()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 20);
    Grid.SetRow(3);
    Grid.OnSelectCell = [](int, int ARow, bool& CanSelect) { CanSelect = ARow != 4; };
    QTest::keyClick(&Grid, Qt::Key_Down);
    QCOMPARE(Grid.Row(), 3);
    Grid.SetRow(5);
    QCOMPARE(Grid.Row(), 5);
}

void TestGridWidget::keyHandlerCanConsumeKeys()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 20);
    Grid.SetRow(3);
    QList<int> Seen;
    Grid.OnKeyDown = [&Seen, &Grid](QKeyEvent* Event) {
        QVERIFY(!Event->isAccepted());  // offered unaccepted
        QCOMPARE(Grid.Row(), 3);        // before the grid's own handling
        if (Event->key() != Qt::Key_Control)
            Seen << Event->key();
        if (Event->key() == Qt::Key_F2)
            Event->accept();
        if (Event->key() == Qt::Key_Down && Event->modifiers() == Qt::ControlModifier)
            Event->accept();
    };
    QTest::keyClick(&Grid, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(Grid.Row(), 3);
    QTest::keyClick(&Grid, Qt::Key_F2);
    QCOMPARE(Grid.Row(), 3);
    QCOMPARE(Seen, QList<int>({Qt::Key_Down, Qt::Key_F2}));
}

void TestGridWidget::clickSelectsRowAndNotifies()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 20);
    QStringList Log;
    Grid.OnSelectCell = [&Log](int ACol, int ARow, bool&) { Log << QStringLiteral("select %1,%2").arg(ACol).arg(ARow); };
    Grid.OnMouseDown = [&Log](Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int Y) {
        Log << QStringLiteral("down %1 %2,%3").arg(int(Button)).arg(X).arg(Y);
    };
    Grid.OnMouseUp = [&Log](Qt::MouseButton Button, Qt::KeyboardModifiers, int X, int Y) {
        Log << QStringLiteral("up %1 %2,%3").arg(int(Button)).arg(X).arg(Y);
    };
    const QPoint InRow4 = Grid.CellRect(2, 4).center();
    QTest::mouseClick(Grid.viewport(), Qt::LeftButton, {}, InRow4);
    QCOMPARE(Grid.Row(), 4);
    QCOMPARE(Grid.Col(), 1);  // whole rows are selected; the column stays
    QCOMPARE(Log, QStringList({QStringLiteral("select 1,4"),
                               QStringLiteral("down 1 %1,%2").arg(InRow4.x()).arg(InRow4.y()),
                               QStringLiteral("up 1 %1,%2").arg(InRow4.x()).arg(InRow4.y())}));
    // The header row selects nothing; a right click only notifies.
    Log.clear();
    QTest::mouseClick(Grid.viewport(), Qt::LeftButton, {}, Grid.CellRect(1, 0).center());
    QTest::mouseClick(Grid.viewport(), Qt::RightButton, {}, Grid.CellRect(1, 7).center());
    QCOMPARE(Grid.Row(), 4);
    QCOMPARE(Log.size(), 4);
    QVERIFY(Log.filter(QStringLiteral("select")).isEmpty());
}

void TestGridWidget::columnBorderDrag_data()
{
    QTest::addColumn<int>("Row");
    QTest::addColumn<int>("Column");
    QTest::addColumn<int>("InsetFromLine");
    QTest::addColumn<int>("Delta");
    QTest::newRow("header, column 1, on the line") << 0 << 1 << 0 << 30;
    QTest::newRow("header, column 1, 4 px left of it") << 0 << 1 << 4 << -25;
    QTest::newRow("last column") << 0 << 2 << 0 << 10;
    QTest::newRow("not narrower than nothing") << 0 << 0 << 0 << -200;
}

// The width follows the drag and is in place when OnMouseUp runs.
void TestGridWidget::columnBorderDrag()
{
    QFETCH(int, Row);
    QFETCH(int, Column);
    QFETCH(int, InsetFromLine);
    QFETCH(int, Delta);
    TDiffGrid Grid;
    Grid.resize(500, 300);
    Shape(Grid, 20);
    const QRect Cell = Grid.CellRect(Column, Row);
    const int Old = Grid.ColWidths(Column);
    int WidthAtMouseUp = -1;
    Grid.OnMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { WidthAtMouseUp = Grid.ColWidths(Column); };
    bool Selected = false;
    Grid.OnSelectCell = [&Selected](int, int, bool&) { Selected = true; };
    const QPoint From(Cell.x() + Cell.width() - InsetFromLine, Cell.center().y());
    Drag(Grid.viewport(), From, From + QPoint(Delta, 7));
    const int Expected = std::max(0, Old + Delta);
    QCOMPARE(WidthAtMouseUp, Expected);
    QCOMPARE(Grid.ColWidths(Column), Expected);
    QVERIFY(!Selected);  // a border drag selects nothing
}

// Column borders grab only on the header row; a press beside a border in a body row selects.
void TestGridWidget::bodyRowBorderPressSelects()
{
    TDiffGrid Grid;
    Grid.resize(500, 300);
    Shape(Grid, 20);
    const QRect Cell = Grid.CellRect(1, 5);
    const QPoint From(Cell.x() + Cell.width() - 1, Cell.center().y());
    Drag(Grid.viewport(), From, From + QPoint(40, 0));
    QCOMPARE(Grid.ColWidths(1), 100);
    QCOMPARE(Grid.Row(), 5);
}

void TestGridWidget::pressRightOfBorderSelectsInstead()
{
    TDiffGrid Grid;
    Grid.resize(500, 300);
    Shape(Grid, 20);
    const QRect Cell = Grid.CellRect(1, 3);
    const QPoint From(Cell.x() + Cell.width() + 1, Cell.center().y());  // first pixel of column 2
    Drag(Grid.viewport(), From, From + QPoint(30, 0));
    QCOMPARE(Grid.ColWidths(1), 100);
    QCOMPARE(Grid.ColWidths(2), 120);
    QCOMPARE(Grid.Row(), 3);
    // Five pixels left of the line is inside the cell.
    const QRect Next = Grid.CellRect(1, 5);
    const QPoint Inside(Next.x() + Next.width() - 5, Next.center().y());
    Drag(Grid.viewport(), Inside, Inside + QPoint(30, 0));
    QCOMPARE(Grid.ColWidths(1), 100);
    QCOMPARE(Grid.Row(), 5);
}

void TestGridWidget::rowBorderDragInFixedColumn()
{
    TDiffGrid Grid;
    Grid.resize(500, 300);
    Shape(Grid, 20);
    const QRect Cell = Grid.CellRect(0, 2);
    const QPoint From(10, Cell.y() + Cell.height() - 1);
    int HeightAtMouseUp = -1;
    Grid.OnMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { HeightAtMouseUp = Grid.RowHeights(2); };
    Drag(Grid.viewport(), From, From + QPoint(0, 25));
    QCOMPARE(HeightAtMouseUp, 45);
    QCOMPARE(Grid.RowHeights(1), 20);
    QCOMPARE(Grid.RowHeights(3), 20);
    QCOMPARE(Grid.CellRect(1, 3).top(), 31 + 21 + 46);
    // The same place in a text column selects instead.
    Drag(Grid.viewport(), QPoint(80, Grid.CellRect(1, 4).bottom()), QPoint(80, Grid.CellRect(1, 4).bottom()));
    QCOMPARE(Grid.RowHeights(4), 20);
    QCOMPARE(Grid.Row(), 4);
}

void TestGridWidget::doubleClickIsAPressThenDblClick()
{
    TDiffGrid Grid;
    Grid.resize(500, 300);
    Shape(Grid, 20);
    QStringList Log;
    Grid.OnMouseDown = [&Log](Qt::MouseButton, Qt::KeyboardModifiers, int, int) { Log << QStringLiteral("down"); };
    Grid.OnDblClick = [&Log, &Grid] { Log << QStringLiteral("dbl %1").arg(Grid.Row()); };
    QTest::mouseDClick(Grid.viewport(), Qt::LeftButton, {}, Grid.CellRect(2, 6).center());
    QVERIFY(Log.contains(QStringLiteral("dbl 6")));
    QCOMPARE(Log.last(), QStringLiteral("dbl 6"));
    QCOMPARE(Log.at(Log.size() - 2), QStringLiteral("down"));
}

void TestGridWidget::setRowScrollsIntoView()
{
    TDiffGrid Grid;
    Grid.resize(400, 31 + 10 * 21 + 2 * Grid.frameWidth());
    Shape(Grid, 101);
    QList<int> Asked;
    Grid.OnSelectCell = [&Asked](int, int ARow, bool&) { Asked << ARow; };
    Grid.SetRow(30);
    QCOMPARE(Grid.Row(), 30);
    QCOMPARE(Grid.TopRow(), 21);  // scrolled just far enough
    Grid.SetRow(25);
    QCOMPARE(Grid.TopRow(), 21);
    Grid.SetRow(3);
    QCOMPARE(Grid.TopRow(), 3);
    Grid.SetRow(3);  // asked again, as a string grid does
    QCOMPARE(Asked, QList<int>({30, 25, 3, 3}));
    Grid.SetRow(0);
    Grid.SetRow(101);
    QCOMPARE(Grid.Row(), 3);
}

void TestGridWidget::columnTextsAndCells()
{
    TDiffGrid Grid;
    Shape(Grid, 4);
    Grid.SetColumnTexts(1, {QString(), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("dropped")});
    Grid.SetCells(2, 3, QStringLiteral("z"));
    QCOMPARE(Grid.Cells(1, 2), QStringLiteral("b"));
    QCOMPARE(Grid.Cells(2, 3), QStringLiteral("z"));
    QCOMPARE(Grid.ColumnTexts(1).size(), 4);
    QCOMPARE(Grid.Cells(1, 4), QString());
    QCOMPARE(Grid.Cells(5, 1), QString());
    Grid.SetRowCount(6);
    QCOMPARE(Grid.Cells(1, 3), QStringLiteral("c"));
    QCOMPARE(Grid.Cells(1, 5), QString());
    QCOMPARE(Grid.RowHeights(5), 20);
}


namespace {

// The distance of the view's top from the top of body row 1, as CellRect shows it.
qint64 ViewPos(const TDiffGrid& Grid)
{
    qint64 Pos = 0;
    for (int R = 1; R < Grid.TopRow(); ++R)
        Pos += Grid.RowHeights(R) + 1;
    return Pos + Grid.TopRowOffset();
}

}  // namespace

// Every value of the scroll bar, in order: rows that fit stand at the top with their top only,
// each value moves on by no more than the view shows (no pixel of a tall row is skipped), and
// the last one shows the end of the last row.
void TestGridWidget::scrollRangeWalksThroughTallRows()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 41);
    const int Room = Grid.viewport()->height() - 31;
    QRandomGenerator Random(7);
    for (int R = 1; R <= 40; ++R)
        Grid.SetRowHeights(R, Random.bounded(4) == 0 ? Random.bounded(Room + 1, 6 * Room) : Random.bounded(10, 60));
    Grid.SetRowHeights(40, 3 * Room + 7);   // the last row is a tall one
    QCoreApplication::processEvents();
    QScrollBar* Bar = Grid.verticalScrollBar();
    qint64 Last = -1;
    for (int V = 0; V <= Bar->maximum(); ++V) {
        Bar->setValue(V);
        const qint64 Pos = ViewPos(Grid);
        QCOMPARE(Grid.CellRect(1, Grid.TopRow()).top(), 31 - Grid.TopRowOffset());
        if (Grid.RowHeights(Grid.TopRow()) <= Room)
            QCOMPARE(Grid.TopRowOffset(), 0);
        else
            QVERIFY(Grid.TopRowOffset() <= Grid.RowHeights(Grid.TopRow()) - Room);
        // (the line under a row may pass unseen)
        QVERIFY2(Pos > Last && Pos - Last <= Room + 1, qPrintable(QStringLiteral("value %1: %2 -> %3").arg(V).arg(Last).arg(Pos)));
        Last = Pos;
        int Col = -1, Row = -1;
        Grid.MouseToCell(60, 31, Col, Row);
        QCOMPARE(Row, Grid.TopRow());
    }
    QCOMPARE(Grid.TopRow(), 40);
    QCOMPARE(Grid.CellRect(1, 40).bottom(), Grid.viewport()->height() - 1);
    // Stepping the slider lands on the same positions as setting its values.
    Bar->setValue(0);
    for (int V = 1; V <= Bar->maximum(); ++V) {
        Bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(Bar->value(), V);
    }
}

// A tall top row scrolled into is painted from above the body, clipped below the fixed row.
void TestGridWidget::tallTopRowIsDrawnBelowTheHeader()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 5);
    Grid.SetRowHeights(2, 2000);
    QCoreApplication::processEvents();
    QList<QRect> Rects;
    Grid.OnDrawCell = [&Rects](QPainter& Painter, int, int ARow, const QRect& Rect, TGridDrawState) {
        Painter.fillRect(Rect, ARow == 0 ? Qt::blue : Qt::red);
        if (ARow == 2)
            Rects << Rect;
    };
    Grid.SetTopRow(2);
    Grid.verticalScrollBar()->setValue(Grid.verticalScrollBar()->value() + 10);
    QCOMPARE(Grid.TopRow(), 2);
    const int Offset = Grid.TopRowOffset();
    QVERIFY(Offset > 0);
    const QImage Image = Grid.viewport()->grab().toImage();
    QCOMPARE(QColor(Image.pixel(60, 15)), QColor(Qt::blue));
    QCOMPARE(QColor(Image.pixel(60, 40)), QColor(Qt::red));
    QVERIFY(!Rects.isEmpty());
    QCOMPARE(Rects.first(), QRect(0, 31 - Offset, 50, 2000));
}

void TestGridWidget::textInATallRowIsBroughtIntoView_data()
{
    QTest::addColumn<int>("TextTop");
    QTest::addColumn<int>("StartRow");
    QTest::newRow("far down the row") << 1500 << 1;
    QTest::newRow("at its end") << 2980 << 1;
    QTest::newRow("near its top") << 10 << 1;
    QTest::newRow("from below it") << 1500 << 9;
}

void TestGridWidget::textInATallRowIsBroughtIntoView()
{
    QFETCH(int, TextTop);
    QFETCH(int, StartRow);
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 10);
    Grid.SetRowHeights(3, 3000);
    QCoreApplication::processEvents();
    QList<QList<int>> Asked;
    Grid.OnTextRect = [&Asked, TextTop](int ACol, int ARow, int Start, int Len) {
        Asked.append({ACol, ARow, Start, Len});
        return QRect(5, TextTop, 30, 17);
    };
    Grid.SetTopRow(StartRow);
    Grid.EnsureTextVisible(3, 2, 40, 3);
    QCOMPARE(Asked, QList<QList<int>>({{2, 3, 40, 3}}));
    const int Top = Grid.CellRect(2, 3).top() + TextTop;
    QVERIFY2(Top >= 31 && Top + 17 <= Grid.viewport()->height(), qPrintable(QString::number(Top)));
    // Already in view: nothing moves.
    const int Value = Grid.verticalScrollBar()->value();
    Grid.EnsureTextVisible(3, 2, 40, 3);
    QCOMPARE(Grid.verticalScrollBar()->value(), Value);
    // A row that fits is only scrolled into view as SetRow does, its text not asked for.
    Grid.EnsureTextVisible(8, 2, 0, 1);
    QCOMPARE(Asked.size(), 2);
    QVERIFY(!Grid.CellRect(2, 8).isNull());
    QVERIFY(Grid.CellRect(2, 8).bottom() < Grid.viewport()->height());
}

// Resizing the view or re-measuring rows keeps the view inside the tall row it stands in, as
// far as the row still reaches.
void TestGridWidget::tallRowKeepsItsPlaceWhenTheViewChanges()
{
    TDiffGrid Grid;
    Grid.resize(400, 300);
    Shape(Grid, 10);
    Grid.SetRowHeights(3, 3000);
    QCoreApplication::processEvents();
    Grid.SetTopRow(3);
    for (int I = 0; I < 20; ++I)
        Grid.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const int Offset = Grid.TopRowOffset();
    QVERIFY(Offset > 0);
    Grid.resize(400, 350);
    QCOMPARE(Grid.TopRow(), 3);
    QVERIFY(qAbs(Grid.TopRowOffset() - Offset) < 20);
    Grid.SetRowHeights(3, 400);   // shorter: the view keeps what is left of its offset
    QCoreApplication::processEvents();
    QCOMPARE(Grid.TopRow(), 3);
    QVERIFY(Grid.TopRowOffset() <= 400 - (Grid.viewport()->height() - 31));
    Grid.SetRowHeights(3, 20);   // now it fits: row by row again
    QCoreApplication::processEvents();
    QCOMPARE(Grid.TopRowOffset(), 0);
    QCOMPARE(Grid.CellRect(1, Grid.TopRow()).top(), 31);
}

QTEST_MAIN(TestGridWidget)
#include "tst_grid_widget.moc"
