#include "support/app/WindowDriver.h"

#include "grid/DiffCellDrawing.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>

// Rows taller than the grid's view, on the real window: going to a difference shows its
// highlight, and the wheel, the scroll bar and the keys move through such a row pixel by pixel
// while rows that fit keep scrolling row by row.
class TestWindowTallRows : public QObject
{
    Q_OBJECT

    static constexpr int kTallRow = 101;   // grid row of line 101

    // Words, so the line wraps at blanks as a real long line does.
    static QString LongLine(int Chars)
    {
        static const QString Words = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta ");
        QString Line;
        while (Line.size() < Chars)
            Line += Words;
        Line.truncate(Chars);
        return Line;
    }

    // 200 lines; line 101 holds 28,000 characters, and on the right "XYZ" after character At.
    static void CompareTallLine(TWindowDriver& D, int At)
    {
        QStringList L, R;
        for (int I = 1; I <= 200; ++I)
            L.append(QStringLiteral("line %1").arg(I));
        L[kTallRow - 1] = LongLine(28000);
        R = L;
        QString& Changed = R[kTallRow - 1];
        const int Blank = int(Changed.indexOf(u' ', At));
        Changed.insert(Blank + 1, QStringLiteral("XYZ "));
        D.Window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(D.Window.get()));
        D.CompareLines(L, R);
        TDiffGrid* Grid = D.Window->grdDiff;
        Grid->setFocus();
        QTRY_VERIFY(Grid->viewport()->height() > 300);
        // The layout timer has fitted the right column into the view.
        QTRY_VERIFY(Grid->ColWidths(0) + Grid->ColWidths(1) + Grid->ColWidths(2) + 3 <= Grid->viewport()->width());
        QVERIFY2(Grid->RowHeights(kTallRow) > 5 * Grid->viewport()->height(),
                 qPrintable(QStringLiteral("row height %1").arg(Grid->RowHeights(kTallRow))));
    }

    static int BodyTop(const TDiffGrid* Grid) { return Grid->RowHeights(0) + 1; }

    // The part of Row on screen, in the row's own pixels: [first, end); empty when not shown.
    static QPair<int, int> ShownPart(const TDiffGrid* Grid, int Row)
    {
        const QRect Cell = Grid->CellRect(1, Row);
        if (Cell.isNull())
            return {0, 0};
        const int From = std::max(0, BodyTop(Grid) - Cell.top());
        const int To = std::min(Cell.height(), Grid->viewport()->height() - Cell.top());
        return {From, std::max(From, To)};
    }

    // Pixels of the highlight colour in the body of the view.
    static int HighlightPixels(TWindowDriver& D)
    {
        TDiffGrid* Grid = D.Window->grdDiff;
        const QColor Highlight = ColorFromValue(D.Window->fColorDifferentTextInLine, Grid->palette());
        const QImage Image = Grid->viewport()->grab().toImage();
        int Count = 0;
        for (int Y = BodyTop(Grid); Y < Image.height(); ++Y)
            for (int X = 0; X < Image.width(); ++X)
                Count += QColor(Image.pixel(X, Y)) == Highlight;
        return Count;
    }

    static void Wheel(QWidget* Target, int Notches)
    {
        const QPointF Pos(Target->width() / 2.0, Target->height() / 2.0);
        QWheelEvent Event(Pos, Target->mapToGlobal(Pos), QPoint(), QPoint(0, -120 * Notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Target, &Event);
    }

private slots:
    void goingToTheDifferenceShowsItsHighlight_data()
    {
        QTest::addColumn<int>("At");
        QTest::addColumn<int>("Key");
        QTest::addColumn<int>("Modifiers");
        QTest::addColumn<int>("FromRow");
        QTest::newRow("next, in the middle") << 14000 << int(Qt::Key_F8) << int(Qt::NoModifier) << 1;
        QTest::newRow("next, near the end") << 27900 << int(Qt::Key_F8) << int(Qt::NoModifier) << 1;
        QTest::newRow("next, near the start") << 300 << int(Qt::Key_F8) << int(Qt::NoModifier) << 1;
        QTest::newRow("previous, in the middle") << 14000 << int(Qt::Key_F7) << int(Qt::NoModifier) << 200;
        QTest::newRow("last, in the middle") << 14000 << int(Qt::Key_End) << int(Qt::AltModifier) << 1;
    }

    void goingToTheDifferenceShowsItsHighlight()
    {
        QFETCH(int, At);
        QFETCH(int, Key);
        QFETCH(int, Modifiers);
        QFETCH(int, FromRow);
        TWindowDriver D;
        CompareTallLine(D, At);
        TDiffGrid* Grid = D.Window->grdDiff;
        Grid->SetRow(FromRow);
        QTest::keyClick(Grid, Qt::Key(Key), Qt::KeyboardModifiers(Modifiers));
        QCOMPARE(Grid->Row(), kTallRow);
        QCOMPARE(D.Platform.Beeps, 0);
        QVERIFY2(HighlightPixels(D) > 0, qPrintable(QStringLiteral("row shown from pixel %1 of %2")
                                                         .arg(ShownPart(Grid, kTallRow).first)
                                                         .arg(Grid->RowHeights(kTallRow))));
        // Going there again keeps it in view.
        QTest::keyClick(Grid, Qt::Key_Home, Qt::AltModifier);
        QCOMPARE(Grid->Row(), kTallRow);
        QVERIFY(HighlightPixels(D) > 0);
    }

    // Every step moves on by no more than a screen, so each pixel of the row is shown once on
    // the way through; then the rows after it follow, row by row again.
    void stepsMoveThroughATallRow_data()
    {
        QTest::addColumn<QString>("How");
        QTest::newRow("wheel") << QStringLiteral("wheel");
        QTest::newRow("scroll bar arrow") << QStringLiteral("bar");
        QTest::newRow("scroll bar page") << QStringLiteral("barpage");
        QTest::newRow("down key") << QStringLiteral("down");
        QTest::newRow("page down key") << QStringLiteral("pagedown");
    }

    void stepsMoveThroughATallRow()
    {
        QFETCH(QString, How);
        TWindowDriver D;
        CompareTallLine(D, 14000);
        TDiffGrid* Grid = D.Window->grdDiff;
        Grid->SetRow(kTallRow);
        Grid->SetTopRow(kTallRow);
        QCOMPARE(ShownPart(Grid, kTallRow).first, 0);
        const int Height = Grid->RowHeights(kTallRow);
        const auto Step = [&] {
            if (How == u"wheel")
                Wheel(Grid->viewport(), 1);
            else if (How == u"bar")
                Grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            else if (How == u"barpage")
                Grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
            else
                QTest::keyClick(Grid, How == u"down" ? Qt::Key_Down : Qt::Key_PageDown);
        };
        int Seen = ShownPart(Grid, kTallRow).second;   // pixels 0 .. Seen-1 have been on screen
        int Steps = 0;
        while (Grid->TopRow() == kTallRow && Steps < 10000) {
            Step();
            ++Steps;
            const QPair<int, int> Part = ShownPart(Grid, kTallRow);
            if (Part.first == Part.second)
                break;   // moved past it
            QVERIFY2(Part.first <= Seen, qPrintable(QStringLiteral("step %1 skipped pixels %2..%3").arg(Steps).arg(Seen).arg(Part.first)));
            QVERIFY2(Part.second > Seen || Part.second == Height, qPrintable(QStringLiteral("step %1 stood still").arg(Steps)));
            Seen = std::max(Seen, Part.second);
            if (How.contains(u"down"))
                QCOMPARE(Grid->Row(), kTallRow);   // the keys scroll inside the current row first
        }
        QCOMPARE(Seen, Height);
        QVERIFY2(Steps > 3, "more than one step inside the row");
        if (How == u"down") {
            // At its end, the next key moves the selection on.
            if (Grid->TopRow() == kTallRow)
                Step();
            QCOMPARE(Grid->Row(), kTallRow + 1);
        } else if (How != u"pagedown") {
            // Further steps reach the rows after it, one step no longer than a page.
            while (Grid->TopRow() == kTallRow)
                Step();
            QVERIFY(Grid->TopRow() > kTallRow);
            QVERIFY(Grid->TopRow() <= kTallRow + Grid->VisibleRowCount() + 1);
        }
    }

    void wheelUpGoesBackThroughATallRow()
    {
        TWindowDriver D;
        CompareTallLine(D, 14000);
        TDiffGrid* Grid = D.Window->grdDiff;
        Grid->SetTopRow(kTallRow + 1);
        Wheel(Grid->viewport(), -1);
        // Coming from below, the row's end is shown first.
        QCOMPARE(Grid->TopRow(), kTallRow);
        QPair<int, int> Part = ShownPart(Grid, kTallRow);
        QCOMPARE(Part.second, Grid->RowHeights(kTallRow));
        int Steps = 0;
        while (Part.first > 0 && Steps < 10000) {
            Wheel(Grid->viewport(), -1);
            const QPair<int, int> Next = ShownPart(Grid, kTallRow);
            QVERIFY(Next.first < Part.first);
            QVERIFY(Next.second >= Part.first);
            Part = Next;
            ++Steps;
        }
        QCOMPARE(Part.first, 0);
        Wheel(Grid->viewport(), -1);
        QVERIFY(Grid->TopRow() < kTallRow);
    }

    void rowsThatFitScrollByWholeRows()
    {
        TWindowDriver D;
        QStringList L;
        for (int I = 1; I <= 300; ++I)
            L.append(QStringLiteral("line %1").arg(I));
        D.CompareLines(L, L);
        TDiffGrid* Grid = D.Window->grdDiff;
        Grid->SetTopRow(10);
        Wheel(Grid->viewport(), 1);
        QCOMPARE(Grid->TopRow(), 10 + QApplication::wheelScrollLines());
        QCOMPARE(Grid->CellRect(1, Grid->TopRow()).top(), BodyTop(Grid));
        Grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(Grid->TopRow(), 11 + QApplication::wheelScrollLines());
        QCOMPARE(Grid->CellRect(1, Grid->TopRow()).top(), BodyTop(Grid));
    }
};

QTEST_MAIN(TestWindowTallRows)
#include "tst_window_tallrows.moc"
