#include "support/app/WindowDriver.h"

#include "grid/DiffCellDrawing.h"
#include "grid/RowHeights.h"

#include <QComboBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QApplication>
#include <QtTest>

// The window side of the grid layout: column widths, the path row over the header, re-measuring
// after resizes and border drags, and the rows repainted when the selection moves.
class TestWindowLayout : public QObject
{
    Q_OBJECT

    // Records the region of every paint event of a widget.
    class TPaintSpy : public QObject
    {
    public:
        explicit TPaintSpy(QWidget* Target) { Target->installEventFilter(this); }
        QRegion Painted;
        int Events = 0;
        bool eventFilter(QObject*, QEvent* Event) override
        {
            if (Event->type() == QEvent::Paint) {
                Painted += static_cast<QPaintEvent*>(Event)->region();
                ++Events;
            }
            return false;
        }
    };

    static void CompareSomething(TWindowDriver& D, int Rows = 40)
    {
        QStringList L, R;
        for (int I = 0; I < Rows; ++I) {
            L.append(QStringLiteral("left line %1").arg(I));
            R.append(I % 4 ? QStringLiteral("left line %1").arg(I) : QStringLiteral("right line %1").arg(I));
        }
        L[3] = QString(QStringLiteral("a long line of words that wraps when the column is narrow ")).repeated(6);
        D.SetPaths(D.WriteLines(QStringLiteral("l.txt"), L), D.WriteLines(QStringLiteral("r.txt"), R));
        D.Trigger("miAsTextFiles1");
        D.Platform.Clear();
        QVERIFY(D.Window->grdDiff->viewport()->height() > 300);   // the grid fills the area at once
    }

    // The positions Timer1Timer gives the path row for the grid's current widths.
    static void VerifyPathRowFollowsColumns(TWindowDriver& D)
    {
        const TDiffGrid* Grid = D.Window->grdDiff;
        const int C0 = Grid->ColWidths(0), C1 = Grid->ColWidths(1), C2 = Grid->ColWidths(2);
        auto* Left = D.Find<QComboBox>("cmbLeft");
        auto* Right = D.Find<QComboBox>("cmbRight");
        auto* BrowseLeft = D.Find<QPushButton>("btnBrowseLeft");
        auto* BrowseRight = D.Find<QPushButton>("btnBrowseRight");
        QCOMPARE(Left->x(), C0 + 10);
        QCOMPARE(Left->width(), C1 - BrowseLeft->width() - 20);
        QCOMPARE(BrowseLeft->x(), Left->x() + Left->width() + 2);
        QCOMPARE(Right->x(), C0 + C1 + 10);
        QCOMPARE(Right->width(), C2 - BrowseRight->width() - 50);
        QCOMPARE(BrowseRight->x(), Right->x() + Right->width() + 2);
        for (QWidget* Control : std::initializer_list<QWidget*>{Left, Right, BrowseLeft, BrowseRight}) {
            QCOMPARE(Control->y(), 59);
            QCOMPARE(Control->height(), 21);
        }
        QCOMPARE(BrowseLeft->width(), 34);
    }

private slots:
    void pathRowSitsOverTheHeaderRow()
    {
        TWindowDriver D;
        CompareSomething(D);
        const TDiffGrid* Grid = D.Window->grdDiff;
        QTRY_VERIFY(Grid->height() > 100);
        // The header band, in window coordinates, holds the boxes.
        const QRect Header = Grid->CellRect(1, 0).translated(Grid->viewport()->mapTo(D.Window.get(), QPoint(0, 0)));
        auto* Left = D.Find<QComboBox>("cmbLeft");
        QVERIFY2(Header.top() <= Left->y() && Left->geometry().bottom() <= Header.bottom() + 1,
                 qPrintable(QStringLiteral("header %1..%2, box %3..%4").arg(Header.top()).arg(Header.bottom())
                                .arg(Left->y()).arg(Left->geometry().bottom())));
        QCOMPARE(Grid->RowHeights(0), HeaderRowHeight(D.Window->FBaseRowHeight));
        QWidget* Caption = D.Find<QWidget>("StaticText1");
        QCOMPARE(Caption->pos(), QPoint(11, 64));
        QVERIFY(Caption->x() + Caption->sizeHint().width() < Grid->ColWidths(0));   // inside the row-number column
        // In front of the grid.
        QWidget* Hit = D.Window->childAt(Left->geometry().center());
        QVERIFY(Hit == Left || Left->isAncestorOf(Hit));
    }

    void resizeSetsColumnOneAndTheTimerTheRest_data()
    {
        QTest::addColumn<bool>("Compared");
        QTest::newRow("before the first comparison") << false;
        QTest::newRow("after a comparison") << true;
    }

    void resizeSetsColumnOneAndTheTimerTheRest()
    {
        QFETCH(bool, Compared);
        TWindowDriver D;
        if (Compared)
            CompareSomething(D);
        TfrmMain& W = *D.Window;
        TDiffGrid* Grid = W.grdDiff;
        for (int Width : {1301, 900}) {
            W.resize(Width, 640);
            QTRY_COMPARE(Grid->GridWidth(), Width);
            QCOMPARE(Grid->ColWidths(1), RoundHalfToEven((Grid->GridWidth() - Grid->ColWidths(0)) / 2.0));
            W.Timer1Timer();
            QCOMPARE(W.iColWidth1, Grid->ColWidths(1));
            const int Expected = Grid->GridWidth() - Grid->ColWidths(1) - Grid->ColWidths(0) - (Compared ? 20 : 0);
            QCOMPARE(Grid->ColWidths(2), Expected);
            VerifyPathRowFollowsColumns(D);
            // The next tick sees the changed column 2 once more and changes nothing.
            W.Timer1Timer();
            QCOMPARE(Grid->ColWidths(2), Expected);
            QCOMPARE(W.iColWidth2, Expected);
        }
    }

    void resizeRemeasuresTheRows()
    {
        TWindowDriver D;
        CompareSomething(D);
        TfrmMain& W = *D.Window;
        const int Base = W.FBaseRowHeight;
        W.resize(1400, 640);
        QTRY_COMPARE(W.grdDiff->GridWidth(), 1400);
        const int Wide = W.grdDiff->RowHeights(4);
        W.resize(700, 640);
        QTRY_COMPARE(W.grdDiff->GridWidth(), 700);
        const int Narrow = W.grdDiff->RowHeights(4);
        QVERIFY2(Narrow > Wide && Wide > Base, qPrintable(QStringLiteral("%1 %2 %3").arg(Base).arg(Wide).arg(Narrow)));
        QCOMPARE(W.grdDiff->RowHeights(1), Base);
        QCOMPARE(W.grdDiff->RowHeights(4),
                 MeasureRowHeight(*W.grdDiff, QFontMetrics(W.grdDiff->font()), 4, Base, W.CellSource()));
    }

    void columnTwoFollowingTheWindowIsRemeasured()
    {
        // A long right-hand text: when the window narrows, column 2 shrinks on the timer's tick
        // and its rows must grow with it, or the last wrapped lines would be cut off.
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        const QString Long = QString(QStringLiteral("words that wrap in a narrow right column ")).repeated(8);
        D.SetPaths(D.WriteLines(QStringLiteral("l.txt"), {"a", "b"}), D.WriteLines(QStringLiteral("r.txt"), {"a", Long}));
        D.Trigger("miAsTextFiles1");
        W.Timer1Timer();
        W.resize(1400, 640);
        W.Timer1Timer();
        const int Wide = W.grdDiff->RowHeights(2);
        W.resize(760, 640);
        W.Timer1Timer();
        QVERIFY(W.grdDiff->RowHeights(2) > Wide);
        QCOMPARE(W.grdDiff->RowHeights(2), MeasureRowHeight(*W.grdDiff, QFontMetrics(W.grdDiff->font()), 2, W.FBaseRowHeight, W.CellSource()));
    }

    void headerBorderPressStartsAColumnResize_data()
    {
        QTest::addColumn<int>("Row");
        QTest::addColumn<int>("Offset");   // from the right edge of column 1
        QTest::addColumn<bool>("Resize");
        QTest::newRow("on the header, just left of the border") << 0 << -3 << true;
        QTest::newRow("on the header, at the border") << 0 << 0 << true;
        QTest::newRow("on the header, too far left") << 0 << -8 << false;
        QTest::newRow("on the header, just right of the border") << 0 << 3 << false;
        QTest::newRow("on a body row") << 2 << -2 << false;
    }

    void headerBorderPressStartsAColumnResize()
    {
        QFETCH(int, Row);
        QFETCH(int, Offset);
        QFETCH(bool, Resize);
        TWindowDriver D;
        CompareSomething(D);
        TfrmMain& W = *D.Window;
        const QRect Cell = W.grdDiff->CellRect(1, Row);
        const int X = Cell.x() + Cell.width() + Offset;
        W.grdDiffMouseDown(Qt::LeftButton, {}, X, Cell.center().y());
        QCOMPARE(W.FInColResize, Resize);
        int Col = -1, R = -1;
        W.grdDiff->MouseToCell(X, Cell.center().y(), Col, R);
        QCOMPARE(W.FLastMouseCol, Col);
        QCOMPARE(W.FLastMouseRow, R);
        W.grdDiffMouseUp(Qt::LeftButton, {}, X, Cell.center().y());
        QVERIFY(!W.FInColResize);
        // Another button forgets the drag and leaves the last press alone.
        W.grdDiffMouseDown(Qt::LeftButton, {}, X, Cell.center().y());
        W.grdDiffMouseDown(Qt::RightButton, {}, 1, 1);
        QVERIFY(!W.FInColResize);
        QCOMPARE(W.FLastMouseCol, Col);
    }

    void draggingAColumnBorderRemeasuresAndTheBoxesFollow()
    {
        TWindowDriver D;
        CompareSomething(D);
        TfrmMain& W = *D.Window;
        TDiffGrid* Grid = W.grdDiff;
        W.Timer1Timer();
        const int Before = Grid->RowHeights(4);
        const QRect Cell = Grid->CellRect(1, 0);
        const QPoint Border(Cell.x() + Cell.width() - 1, Cell.center().y());
        const QPoint Target = Border - QPoint(Cell.width() / 2, 0);
        QWidget* Port = Grid->viewport();
        QTest::mousePress(Port, Qt::LeftButton, {}, Border);
        QVERIFY(W.FInColResize);
        QMouseEvent Move(QEvent::MouseMove, Target, Port->mapToGlobal(Target), Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(Port, &Move);
        QTest::mouseRelease(Port, Qt::LeftButton, {}, Target);
        QVERIFY(!W.FInColResize);
        QVERIFY2(Grid->ColWidths(1) < Cell.width(), "the grid did not follow the drag");
        // Re-measured at the new width.
        QVERIFY(Grid->RowHeights(4) > Before);
        QCOMPARE(Grid->RowHeights(4), MeasureRowHeight(*Grid, QFontMetrics(Grid->font()), 4, W.FBaseRowHeight, W.CellSource()));
        // Column 2 and the boxes follow on the next tick.
        W.Timer1Timer();
        QCOMPARE(Grid->ColWidths(2), Grid->GridWidth() - Grid->ColWidths(1) - Grid->ColWidths(0) - 20);
        VerifyPathRowFollowsColumns(D);
    }

    void hiddenRowNumbersMoveTheLeftBox()
    {
        TWindowDriver D;
        CompareSomething(D);
        D.Window->grdDiff->SetColWidths(0, 0);
        D.Window->FormResize();
        D.Window->Timer1Timer();
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->x(), 10);
        VerifyPathRowFollowsColumns(D);
    }

    void selectionRepaintsTheOldAndTheNewRow()
    {
        TWindowDriver D;
        CompareSomething(D);
        TfrmMain& W = *D.Window;
        TDiffGrid* Grid = W.grdDiff;
        // Repaints of other causes come first, not in a spy below: the grid's focus after the
        // comparison, and the layout timer's column widths once the getting-started panel is gone.
        QApplication::setActiveWindow(D.Window.get());
        QTRY_VERIFY(Grid->hasFocus());
        W.Timer1Timer();
        W.Timer1Timer();
        QTest::qWait(20);
        bool CanSelect = true;
        W.grdDiffSelectCell(1, 5, CanSelect);
        QCoreApplication::processEvents();
        QCOMPARE(W.FLastFramedRow, 5);

        auto RowRect = [&](int Row) { return Grid->CellRect(0, Row).united(Grid->CellRect(2, Row)); };
        {
            TPaintSpy Spy(Grid->viewport());
            W.grdDiffSelectCell(1, 9, CanSelect);
            QVERIFY(CanSelect);
            QTRY_VERIFY(Spy.Events > 0);
            QCOMPARE(W.FLastFramedRow, 9);
            QVERIFY(Spy.Painted.contains(RowRect(5)));
            QVERIFY(Spy.Painted.contains(RowRect(9)));
            QVERIFY(!Spy.Painted.intersects(RowRect(7)));
            QVERIFY(!Spy.Painted.intersects(RowRect(1)));
        }
        {
            TPaintSpy Spy(Grid->viewport());
            W.grdDiffSelectCell(1, 9, CanSelect);   // the same row again repaints nothing
            QTest::qWait(50);
            QCOMPARE(Spy.Events, 0);
        }
        // Rows out of range are ignored.
        W.InvalidateGridRow(-1);
        W.InvalidateGridRow(Grid->RowCount());
    }
};

QTEST_MAIN(TestWindowLayout)
#include "tst_window_layout.moc"
