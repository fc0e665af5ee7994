// The owner-drawn cells on a real grid, checked by their pixels. Liberation Mono at 15 px
// without antialiasing: every character is a 9 px band, a line 23 px, and ink pixels carry
// exactly the pen colour.

#include "grid/DiffCellDrawing.h"
#include "grid/GdiText.h"
#include "grid/RowHeights.h"
#include "grid/TDiffGrid.h"
#include "support/engine/DiffOracle.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QtTest>

namespace {

constexpr int kAdvance = 9;
constexpr int kLine = 23;
constexpr int kTab = 8 * kAdvance;

const QColor kAdded(224, 240, 255);
const QColor kRemoved(255, 240, 224);
const QColor kChanged(255, 224, 224);
const QColor kDifferent(255, 255, 0);
const QColor kBase(255, 255, 255);
const QColor kText(0, 0, 0);
const QColor kButton(212, 208, 200);

QFont MonoFont()
{
    QFont Font(QStringLiteral("Liberation Mono"));
    Font.setPixelSize(15);
    Font.setStyleStrategy(QFont::NoAntialias);
    return Font;
}

QPalette LightPalette()
{
    QPalette Palette;
    Palette.setColor(QPalette::Base, kBase);
    Palette.setColor(QPalette::Text, kText);
    Palette.setColor(QPalette::Button, kButton);
    Palette.setColor(QPalette::ButtonText, kText);
    return Palette;
}

TDiffItem Item(TDiffKind Kind, int Left, int Right) { return quorlane::test::MakeDiffItem(Left, Right, Kind); }

// A grid wired to DrawDiffCell as the window wires it, in a window with one more control to
// take the focus.
struct TFixture {
    QWidget Window;
    TDiffGrid Grid{&Window};
    QLineEdit Edit{&Window};
    TDiffItems Items;
    QStringList Left, Right;
    TDiffCellSource Source;

    TFixture()
    {
        Grid.setPalette(LightPalette());
        Grid.setFont(MonoFont());
        Window.resize(700, 340);
        Grid.setGeometry(0, 0, 700, 300);
        Edit.setGeometry(0, 310, 200, 25);
        Source.Items = &Items;
        Source.LeftLines = &Left;
        Source.RightLines = &Right;
        Source.Colors = {kAdded, kRemoved, kChanged, kDifferent};
        Source.Font = MonoFont();
        Grid.OnDrawCell = [this](QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState) {
            DrawDiffCell(Painter, Grid, ACol, ARow, Rect, Source);
        };
        Window.show();
        Edit.setFocus();
        Grid.SetColWidths(0, 40);
        Grid.SetColWidths(1, 300);
        Grid.SetColWidths(2, 300);
        Grid.SetDefaultRowHeight(kLine + 4);
        Grid.SetRowHeights(0, 32);
    }

    // One row per item, cells from the lines, as a text comparison fills them.
    void Fill(const TDiffItems& NewItems, const QStringList& NewLeft, const QStringList& NewRight, int ExtraRows = 0)
    {
        Items = NewItems;
        Left = NewLeft;
        Right = NewRight;
        Grid.SetRowCount(std::max(2, int(Items.size()) + 1 + ExtraRows));
        for (int R = 1; R < Grid.RowCount(); ++R) {
            const TDiffItem It = R - 1 < Items.size() ? Items[R - 1] : TDiffItem();
            Grid.SetCells(0, R, QString::number(R));
            Grid.SetCells(1, R, It.LeftIndex >= 0 ? Left[It.LeftIndex] : QString());
            Grid.SetCells(2, R, It.RightIndex >= 0 ? Right[It.RightIndex] : QString());
        }
    }

    // What the screen shows of the viewport: the backing store, so only repainted parts change.
    QImage Screen()
    {
        QCoreApplication::processEvents();
        const QPoint At = Grid.viewport()->mapTo(&Window, QPoint(0, 0));
        return Window.screen()->grabWindow(Window.winId(), At.x(), At.y(), Grid.viewport()->width(),
                                         Grid.viewport()->height()).toImage();
    }
};

int CountColour(const QImage& Image, const QRect& Area, const QColor& Colour)
{
    int Count = 0;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X)
            if (Image.pixelColor(X, Y) == Colour)
                ++Count;
    return Count;
}

// The 9 x 23 band of character Index on line Line of a cell whose text starts 2 px inside it.
QRect CharBand(const QRect& Cell, int Index, int Line = 0)
{
    return QRect(Cell.x() + 2 + Index * kAdvance, Cell.y() + 2 + Line * kLine, kAdvance, kLine);
}

int InkIn(const QImage& Image, const QRect& Area, const QColor& Back)
{
    return Area.width() * Area.height() - CountColour(Image, Area, Back);
}

}  // namespace

class TestGridDrawing : public QObject
{
    Q_OBJECT

private slots:
    void rowKindsColourAllThreeColumns();
    void headerIsButtonFace();
    void changedWordsAreHighlighted();
    void noRangesForAMissingSideOrStaleIndexes();
    void newBadge_data();
    void newBadge();
    void frameFollowsTheSelection();
    void frameSidesOnlyAtTheRowEnds();
    void focusRectangleWhileFocused();
    void placeholderRowIsPlain();
    void gridLines();
    void darkPaletteKeepsTextReadable();
    void fitCharsInWidth_data();
    void fitCharsInWidth();
    void highlightedTextWrapsByFitChars();
    void rowsHoldTheLinesTheyPaint_data();
    void rowsHoldTheLinesTheyPaint();
    void tabsReachTheirStopsInCells_data();
    void tabsReachTheirStopsInCells();
    void colorFromValue_data();
    void colorFromValue();
};

void TestGridDrawing::rowKindsColourAllThreeColumns()
{
    TFixture F;
    F.Fill({Item(dkEqual, 0, 0), Item(dkLeftOnly, 1, -1), Item(dkRightOnly, -1, 1), Item(dkDifferent, 2, 2)},
           {"same", "added", "left"}, {"same", "removed", "right"}, 1);
    F.Grid.SetRow(5);  // the frame elsewhere
    const QImage Image = F.Screen();
    const QList<QColor> Expected = {kBase, kAdded, kRemoved, kChanged};
    for (int R = 1; R <= 4; ++R) {
        for (int C = 0; C < 3; ++C) {
            const QRect Cell = F.Grid.CellRect(C, R);
            // The right end of the cell, away from the text.
            const QRect Probe(Cell.right() - 6, Cell.top() + 3, 4, Cell.height() - 6);
            QCOMPARE(CountColour(Image, Probe, Expected[R - 1]), Probe.width() * Probe.height());
        }
    }
}

void TestGridDrawing::headerIsButtonFace()
{
    TFixture F;
    F.Fill({Item(dkLeftOnly, 0, -1)}, {"a"}, {});
    const QImage Image = F.Screen();
    for (int C = 0; C < 3; ++C) {
        const QRect Cell = F.Grid.CellRect(C, 0);
        QCOMPARE(CountColour(Image, Cell, kButton), Cell.width() * Cell.height());
    }
}

void TestGridDrawing::changedWordsAreHighlighted()
{
    TFixture F;
    F.Fill({Item(dkDifferent, 0, 0)}, {"int count = 10;"}, {"int total = 12;"}, 1);
    F.Grid.SetRow(2);
    const QImage Image = F.Screen();
    for (int C : {1, 2}) {
        const QRect Cell = F.Grid.CellRect(C, 1);
        const QString Text = F.Grid.Cells(C, 1);
        for (int I = 0; I < Text.size(); ++I) {
            const QRect Band = CharBand(Cell, I);
            const bool Changed = (I >= 4 && I <= 8) || I == 12 || I == 13;  // "count"/"total", "10"/"12"
            const int Yellow = CountColour(Image, Band, kDifferent);
            if (Changed)
                QVERIFY2(Yellow > Band.width() * Band.height() / 2, qPrintable(QStringLiteral("%1 at %2").arg(C).arg(I)));
            else
                QVERIFY2(Yellow == 0, qPrintable(QStringLiteral("%1 at %2").arg(C).arg(I)));
        }
        // The text is drawn over both: ink in "int" and in "count".
        QVERIFY(InkIn(Image, CharBand(Cell, 0), kChanged) > 0);
        QVERIFY(CountColour(Image, CharBand(Cell, 5), kText) > 0);
        // Past the text the row colour again.
        QCOMPARE(CountColour(Image, CharBand(Cell, 16), kChanged), kAdvance * kLine);
    }
}

void TestGridDrawing::noRangesForAMissingSideOrStaleIndexes()
{
    TFixture F;
    F.Fill({Item(dkDifferent, 0, 0), Item(dkDifferent, 1, 1)}, {"int count = 10;", "x y"}, {"int total = 12;", "x z"}, 1);
    F.Grid.SetRow(3);
    // Row 1 loses its right line (an edit awaiting its recompute); row 2 points past the lists.
    F.Items[0].RightIndex = -1;
    F.Items[1].LeftIndex = 7;
    const QImage Image = F.Screen();
    for (int R : {1, 2}) {
        const QRect Cell = F.Grid.CellRect(1, R);
        QCOMPARE(CountColour(Image, Cell, kDifferent), 0);
        QVERIFY(CountColour(Image, Cell, kText) > 0);
    }
}

void TestGridDrawing::newBadge_data()
{
    QTest::addColumn<bool>("FolderMode");
    QTest::addColumn<QString>("Text");
    QTest::addColumn<bool>("Newer");
    QTest::addColumn<bool>("Badge");
    QTest::addColumn<int>("ShownChars");
    // The badge comes from the newer flag beside the row; the name is drawn whole.
    QTest::newRow("newer") << true << QStringLiteral("a.txt") << true << true << 5;
    QTest::newRow("a name ending in \" new\", not newer") << true << QStringLiteral("a.txt new") << false << false << 9;
    QTest::newRow("a name ending in \" new\", newer") << true << QStringLiteral("draft new") << true << true << 9;
    QTest::newRow("not newer") << true << QStringLiteral("a.txt") << false << false << 5;
    QTest::newRow("text comparison") << false << QStringLiteral("a.txt new") << true << false << 9;
}

void TestGridDrawing::newBadge()
{
    QFETCH(bool, FolderMode);
    QFETCH(QString, Text);
    QFETCH(bool, Newer);
    QFETCH(bool, Badge);
    QFETCH(int, ShownChars);
    TFixture F;
    F.Fill({Item(dkDifferent, 0, 0)}, {Text}, {QStringLiteral("a.txt")}, 1);
    F.Source.FolderMode = FolderMode;
    const QList<bool> LeftNewer{Newer}, RightNewer{false};
    F.Source.LeftNewer = &LeftNewer;
    F.Source.RightNewer = &RightNewer;
    F.Source.Colors.Changed = kChanged;
    F.Grid.SetRow(2);
    const QImage Image = F.Screen();
    const QRect Cell = F.Grid.CellRect(1, 1);
    const QColor Back = kChanged;
    // The badge: "new" + 8 px wide, 4 px from the right, 2 px from the top, a line + 4 high.
    const int Right = Cell.x() + Cell.width() - 4;
    const QRect BadgeRect(Right - (3 * kAdvance + 8), Cell.y() + 2, 3 * kAdvance + 8, kLine + 4);
    const int Yellow = CountColour(Image, BadgeRect, kDifferent);
    if (Badge) {
        QVERIFY(Yellow > BadgeRect.width() * BadgeRect.height() / 2);
        QVERIFY(CountColour(Image, BadgeRect, QColor(0, 0, 0)) > 0);  // "new" in black
    } else {
        QCOMPARE(Yellow, 0);
    }
    // Exactly the shown characters carry ink; " new" is not drawn as text.
    for (int I = 0; I < Text.size(); ++I) {
        const int Ink = InkIn(Image, CharBand(Cell, I), Back);
        if (I < ShownChars && Text[I] != u' ')
            QVERIFY2(Ink > 0, qPrintable(QString::number(I)));
        else if (I >= ShownChars)
            QVERIFY2(Ink == 0, qPrintable(QString::number(I)));
    }
}

void TestGridDrawing::frameFollowsTheSelection()
{
    TFixture F;
    F.Fill({Item(dkEqual, 0, 0), Item(dkEqual, 1, 1), Item(dkEqual, 2, 2), Item(dkEqual, 3, 3)},
           {"", "", "", ""}, {"", "", "", ""});
    F.Grid.SetRow(2);
    const auto FrameRows = [&F](const QImage& Image) -> QList<int> {
        QList<int> Rows;
        for (int R = 1; R <= 4; ++R) {
            const QRect Cell = F.Grid.CellRect(1, R);
            // The frame: the top two pixel rows and the two above the last, across the cell.
            const bool Top = CountColour(Image, QRect(Cell.x() + 3, Cell.y(), Cell.width() - 6, 2), kText) == 2 * (Cell.width() - 6);
            const bool Bottom = CountColour(Image, QRect(Cell.x() + 3, Cell.y() + Cell.height() - 3, Cell.width() - 6, 2), kText)
                                == 2 * (Cell.width() - 6);
            const bool Last = CountColour(Image, QRect(Cell.x(), Cell.y() + Cell.height() - 1, Cell.width(), 1), kText) == 0;
            const bool Inside = CountColour(Image, QRect(Cell.x() + 3, Cell.y() + 3, Cell.width() - 6, Cell.height() - 7), kText) > 0;
            if (Top && Bottom && Last && !Inside)
                Rows << R;
            else if (CountColour(Image, Cell, kText) > 0)
                Rows << -R;  // part of a frame left behind
        }
        return Rows;
    };
    QCOMPARE(FrameRows(F.Screen()), QList<int>({2}));
    // Only the two rows are repainted, and the frame moves with the selection.
    F.Grid.SetRow(4);
    QCOMPARE(FrameRows(F.Screen()), QList<int>({4}));
    F.Grid.SetRow(1);
    QCOMPARE(FrameRows(F.Screen()), QList<int>({1}));
}

void TestGridDrawing::frameSidesOnlyAtTheRowEnds()
{
    TFixture F;
    F.Fill({Item(dkEqual, 0, 0), Item(dkEqual, 1, 1)}, {"", ""}, {"", ""});
    F.Grid.SetRow(1);
    const QImage Image = F.Screen();
    const auto SideInk = [&Image](const QRect& Cell, int X) {
        return CountColour(Image, QRect(X, Cell.y() + 3, 1, Cell.height() - 7), kText);
    };
    const QRect C0 = F.Grid.CellRect(0, 1), C1 = F.Grid.CellRect(1, 1), C2 = F.Grid.CellRect(2, 1);
    QCOMPARE(SideInk(C0, C0.x() + 1), C0.height() - 7);                 // left side in column 0
    QCOMPARE(SideInk(C2, C2.x() + C2.width() - 2), C2.height() - 7);     // right side in the last column
    QCOMPARE(SideInk(C1, C1.x() + 1), 0);                                 // none between
    QCOMPARE(SideInk(C1, C1.x() + C1.width() - 2), 0);
    QCOMPARE(SideInk(C0, C0.x() + C0.width() - 2), 0);
}

void TestGridDrawing::focusRectangleWhileFocused()
{
    TFixture F;
    F.Fill({Item(dkEqual, 0, 0), Item(dkEqual, 1, 1), Item(dkEqual, 2, 2)}, {"", "", ""}, {"", "", ""});
    F.Grid.SetRow(2);
    const QRect Cell = F.Grid.CellRect(1, 2);
    // The last pixel row of the row is free of the frame: there the dots show.
    const QRect Edge(Cell.x(), Cell.y() + Cell.height() - 1, Cell.width(), 1);
    QCOMPARE(CountColour(F.Screen(), Edge, kText), 0);
    QVERIFY(!F.Grid.hasFocus());
    QApplication::setActiveWindow(&F.Window);
    F.Grid.setFocus();
    QTRY_VERIFY(F.Grid.hasFocus());
    const QImage Image = F.Screen();
    const int Dots = CountColour(Image, Edge, kText);
    QVERIFY2(Dots >= Cell.width() / 2 - 1 && Dots <= Cell.width() / 2 + 1, qPrintable(QString::number(Dots)));
    QCOMPARE(CountColour(Image, QRect(Edge.x(), F.Grid.CellRect(1, 3).bottom(), Edge.width(), 1), kText), 0);
    // Losing the focus takes the dots away.
    F.Edit.setFocus();
    QTRY_COMPARE(CountColour(F.Screen(), Edge, kText), 0);
}

void TestGridDrawing::placeholderRowIsPlain()
{
    TFixture F;
    F.Fill({}, {}, {});
    QCOMPARE(F.Grid.RowCount(), 2);
    F.Grid.SetCells(0, 1, QString());
    F.Grid.SetRow(1);
    const QImage Image = F.Screen();
    const QRect Cell = F.Grid.CellRect(1, 1);
    const QRect Inside(Cell.x() + 3, Cell.y() + 3, Cell.width() - 6, Cell.height() - 7);
    QCOMPARE(CountColour(Image, Inside, kBase), Inside.width() * Inside.height());
}

// Lines between all columns and under the header always; between body rows only with goHorzLine.
void TestGridDrawing::gridLines()
{
    TFixture F;
    F.Fill({Item(dkEqual, 0, 0), Item(dkEqual, 1, 1), Item(dkEqual, 2, 2)}, {"", "", ""}, {"", "", ""}, 1);
    F.Grid.SetRow(4);
    const auto IsLine = [](const QImage& Image, int X, int Y) {
        const QColor C = Image.pixelColor(X, Y);
        return C != kBase && C != kText && C.red() == C.green() && C.green() == C.blue();
    };
    QImage Image = F.Screen();
    const QRect R1 = F.Grid.CellRect(1, 1);
    QVERIFY(IsLine(Image, R1.center().x(), R1.y() + R1.height()));       // under row 1
    QVERIFY(IsLine(Image, R1.x() + R1.width(), R1.center().y()));        // between columns 1 and 2
    QVERIFY(IsLine(Image, R1.center().x(), F.Grid.RowHeights(0)));       // under the header
    F.Grid.SetOptions(0);
    Image = F.Screen();
    const QRect Closed = F.Grid.CellRect(1, 1);
    QCOMPARE(F.Grid.CellRect(1, 2).top(), Closed.y() + Closed.height());
    QCOMPARE(Image.pixelColor(Closed.center().x(), Closed.y() + Closed.height()), kBase);
    QVERIFY(IsLine(Image, Closed.x() + Closed.width(), Closed.center().y()));
    QVERIFY(IsLine(Image, Closed.center().x(), F.Grid.RowHeights(0)));
}

void TestGridDrawing::darkPaletteKeepsTextReadable()
{
    TFixture F;
    QPalette Dark;
    const QColor DarkBase(30, 30, 30), LightText(230, 230, 230);
    Dark.setColor(QPalette::Base, DarkBase);
    Dark.setColor(QPalette::Text, LightText);
    Dark.setColor(QPalette::Button, QColor(60, 60, 60));
    F.Grid.setPalette(Dark);
    F.Fill({Item(dkEqual, 0, 0), Item(dkLeftOnly, 1, -1), Item(dkDifferent, 2, 2)}, {"WWWW", "WWWW", "WW WW"},
           {"WWWW", "", "WW XX"}, 1);
    F.Grid.SetRow(4);
    const QImage Image = F.Screen();
    const QRect Equal = CharBand(F.Grid.CellRect(1, 1), 0);
    const QRect Added = CharBand(F.Grid.CellRect(1, 2), 0);
    const QRect Highlighted = CharBand(F.Grid.CellRect(2, 3), 3);
    QVERIFY(CountColour(Image, Equal, LightText) > 0);            // the theme's text on the theme's base
    QVERIFY(CountColour(Image, Added, QColor(0, 0, 0)) > 0);      // dark text on the light row colour
    QCOMPARE(CountColour(Image, Added, LightText), 0);
    QVERIFY(CountColour(Image, Highlighted, QColor(0, 0, 0)) > 0);  // and on the highlight
    QVERIFY(CountColour(Image, Highlighted, kDifferent) > 0);
    // The frame shows on a light row colour too, and in the theme's colour on the theme's base.
    F.Grid.SetRow(2);
    const QImage Framed = F.Screen();
    const QRect AddedCell = F.Grid.CellRect(1, 2);
    QCOMPARE(CountColour(Framed, QRect(AddedCell.x() + 3, AddedCell.y() + 1, 20, 1), QColor(0, 0, 0)), 20);
    F.Grid.SetRow(1);
    const QRect EqualCell = F.Grid.CellRect(1, 1);
    QCOMPARE(CountColour(F.Screen(), QRect(EqualCell.x() + 3, EqualCell.y() + 1, 20, 1), LightText), 20);
}

void TestGridDrawing::fitCharsInWidth_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("Start");
    QTest::addColumn<int>("MaxWidth");
    QTest::addColumn<bool>("Result");
    QTest::addColumn<int>("Count");
    const int A = kAdvance;
    QTest::newRow("all fit") << QStringLiteral("hello world") << 0 << 11 * A << true << 11;
    QTest::newRow("inside a word: after the blank") << QStringLiteral("hello world") << 0 << 8 * A << true << 6;
    QTest::newRow("blank before the break") << QStringLiteral("hello world") << 0 << 6 * A << true << 6;
    QTest::newRow("blank at the break stays for the next line") << QStringLiteral("hello world") << 0 << 5 * A << true << 5;
    QTest::newRow("next line begins with the blank") << QStringLiteral("hello world") << 5 << 4 * A << true << 1;
    QTest::newRow("long word split") << QStringLiteral("abcdefgh") << 0 << 3 * A << true << 3;
    QTest::newRow("a tab past the edge waits for the next line") << QStringLiteral("ab\tcdef") << 0 << 5 * A << true << 2;
    QTest::newRow("a tab reaching its stop is a blank") << QStringLiteral("a\tbcd") << 0 << 10 * A << true << 2;
    QTest::newRow("wider than the line: one char") << QStringLiteral("abc") << 1 << 4 << true << 1;
    QTest::newRow("from the middle") << QStringLiteral("ab cd") << 3 << 10 * A << true << 2;
    QTest::newRow("start at the end") << QStringLiteral("abc") << 3 << 100 << false << 0;
    QTest::newRow("start past the end") << QStringLiteral("abc") << 9 << 100 << false << 0;
    QTest::newRow("negative start") << QStringLiteral("abc") << -1 << 100 << false << 0;
    QTest::newRow("surrogate pair kept whole") << QStringLiteral("😀x") << 0 << 1 << true << 2;
}

void TestGridDrawing::fitCharsInWidth()
{
    QFETCH(QString, Text);
    QFETCH(int, Start);
    QFETCH(int, MaxWidth);
    QFETCH(bool, Result);
    QFETCH(int, Count);
    int Got = -1;
    QCOMPARE(FitCharsInWidth(QFontMetrics(MonoFont()), Text, Start, MaxWidth, Got), Result);
    QCOMPARE(Got, Count);
    QCOMPARE(FitCharsInWidth(TTextMeasure(MonoFont()), Text, Start, MaxWidth, Got), Result);
    QCOMPARE(Got, Count);
}

// Unlike DrawText, a changed line keeps the blank at the start of its next visual line, and a
// range crossing a break is cut to each line.
void TestGridDrawing::highlightedTextWrapsByFitChars()
{
    QImage Image(100, 100, QImage::Format_RGB32);
    Image.fill(Qt::black);
    const QRect Rect(0, 0, 4 + 5 * kAdvance, 4 + 3 * kLine);
    {
        QPainter Painter(&Image);
        Painter.setFont(MonoFont());
        DrawHighlightedText(Painter, Rect, QStringLiteral("abc defgh ij"), {{2, 5}}, kText, kBase, kText, kDifferent);
    }
    // Lines: "abc " / "defgh" / " ij".
    const QList<QList<int>> Highlighted = {{2, 3}, {0, 1, 2}, {}};
    const QList<QList<int>> Inked = {{0, 1, 2}, {0, 1, 2, 3, 4}, {1, 2}};
    for (int Line = 0; Line < 3; ++Line) {
        for (int I = 0; I < 5; ++I) {
            const QRect Band = CharBand(Rect, I, Line);
            QCOMPARE(CountColour(Image, Band, kDifferent) > 0, Highlighted[Line].contains(I));
            QCOMPARE(CountColour(Image, Band, kText) > 0, Inked[Line].contains(I));
        }
    }
    // Rect is filled, nothing outside it touched.
    QCOMPARE(Image.pixelColor(Rect.right() - 1, Rect.bottom() - 1), kBase);
    QCOMPARE(Image.pixelColor(Rect.right() + 1, 5), QColor(0, 0, 0));
}

void TestGridDrawing::rowsHoldTheLinesTheyPaint_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("Kind");
    QTest::addColumn<bool>("FolderMode");
    QTest::addColumn<int>("Chars");     // the text column's inner width in characters
    QTest::addColumn<int>("Lines");     // lines painted
    QTest::addColumn<int>("LastChar");  // the 9-px band of the last character drawn...
    QTest::addColumn<int>("LastLine");  // ...on the last line
    // "hello" / " " / "world": the changed line keeps the blank, so its last word needs a third line.
    QTest::newRow("changed: hello world in 5") << "hello world" << int(dkDifferent) << false << 5 << 3 << 4 << 2;
    QTest::newRow("equal: hello world in 5") << "hello world" << int(dkEqual) << false << 5 << 2 << 4 << 1;
    QTest::newRow("removed: hello world in 5") << "hello world" << int(dkRightOnly) << false << 5 << 2 << 4 << 1;
    QTest::newRow("changed folder row: hello world in 5") << "hello world" << int(dkDifferent) << true << 5 << 2 << 4 << 1;
    QTest::newRow("changed: a run of blanks") << "aaaaaaaaaa     bbbbbbbbbb" << int(dkDifferent) << false << 10 << 3 << 9 << 2;
    QTest::newRow("changed: tab stops") << "\t\t\tx" << int(dkDifferent) << false << 20 << 2 << 8 << 1;
    QTest::newRow("equal: tab stops") << "\t\t\tx" << int(dkEqual) << false << 20 << 2 << 0 << 1;
}

// Each row is measured by the rule its cells are painted with: the last word drawn lies inside
// its row, not cut off by the next one.
void TestGridDrawing::rowsHoldTheLinesTheyPaint()
{
    QFETCH(QString, Text);
    QFETCH(int, Kind);
    QFETCH(bool, FolderMode);
    QFETCH(int, Chars);
    QFETCH(int, Lines);
    QFETCH(int, LastChar);
    QFETCH(int, LastLine);
    TFixture F;
    F.Fill({Item(TDiffKind(Kind), 0, 0), Item(dkRightOnly, -1, 1)}, {Text}, {"x", "next row"}, 1);
    F.Source.FolderMode = FolderMode;
    F.Grid.SetColWidths(1, Chars * kAdvance + 4);
    UpdateAllRowHeightsOf(F.Grid, MonoFont(), kLine + 4, F.Source);
    const int Height = Lines * kLine + 4;
    QCOMPARE(F.Grid.RowHeights(1), Height);
    QCOMPARE(MeasureRowHeight(F.Grid, QFontMetrics(MonoFont()), 1, kLine + 4, F.Source), Height);
    F.Grid.SetRow(3);

    const QImage Image = F.Screen();
    const QRect Cell = F.Grid.CellRect(1, 1);
    const QRect Last = CharBand(Cell, LastChar, LastLine);
    QVERIFY2(Cell.contains(Last), qPrintable(QStringLiteral("the last line ends at %1, the row at %2")
                                                  .arg(Last.bottom()).arg(Cell.bottom())));
    QVERIFY(CountColour(Image, Last, kText) > 0);
    // Nothing of the text after it on its line.
    const QRect After(Last.right() + 1, Last.top(), Cell.right() - Last.right(), kLine);
    QCOMPARE(CountColour(Image, After, kText), 0);
}

void TestGridDrawing::tabsReachTheirStopsInCells_data()
{
    QTest::addColumn<int>("Kind");
    QTest::newRow("equal row (DrawText)") << int(dkEqual);
    QTest::newRow("changed row (highlighted)") << int(dkDifferent);
}

// A tab ends at the next multiple of 8 character widths; a highlighted tab is yellow up to there.
// The cells still hold the tab itself.
void TestGridDrawing::tabsReachTheirStopsInCells()
{
    QFETCH(int, Kind);
    TFixture F;
    const QString Left = QStringLiteral("a\tb"), Right = QStringLiteral("a b");
    F.Fill({Item(TDiffKind(Kind), 0, 0)}, {Left}, {Right}, 1);
    F.Grid.SetRow(2);
    const QImage Image = F.Screen();
    const QRect Cell = F.Grid.CellRect(1, 1);
    QCOMPARE(F.Grid.Cells(1, 1), Left);
    const QRect B(Cell.x() + 2 + kTab, Cell.y() + 2, kAdvance, kLine);
    QVERIFY(CountColour(Image, B, kText) > 0);
    const QRect Gap(Cell.x() + 2 + kAdvance, Cell.y() + 2, kTab - kAdvance, kLine);
    QCOMPARE(CountColour(Image, Gap, kText), 0);
    if (Kind == dkDifferent)   // the tab differs from the blank on the other side
        QCOMPARE(CountColour(Image, Gap, kDifferent), Gap.width() * Gap.height());
    else
        QCOMPARE(CountColour(Image, Gap, kBase), Gap.width() * Gap.height());
}

void TestGridDrawing::colorFromValue_data()
{
    QTest::addColumn<quint32>("Value");
    QTest::addColumn<QColor>("Colour");
    QTest::newRow("added default") << quint32(0x00FFF0E0) << QColor(224, 240, 255);
    QTest::newRow("different text default") << quint32(0x0000FFFF) << QColor(255, 255, 0);
    QTest::newRow("red in the low byte") << quint32(0x000000FF) << QColor(255, 0, 0);
    QTest::newRow("window text") << quint32(0xFF000008) << kText;
    QTest::newRow("window") << quint32(0xFF000005) << kBase;
    QTest::newRow("button face") << quint32(0xFF00000F) << kButton;
    QTest::newRow("unknown system index") << quint32(0xFF0000EE) << QColor(0, 0, 0);
}

void TestGridDrawing::colorFromValue()
{
    QFETCH(quint32, Value);
    QFETCH(QColor, Colour);
    QCOMPARE(ColorFromValue(Value, LightPalette()), Colour);
}

QTEST_MAIN(TestGridDrawing)
#include "tst_grid_drawing.moc"
