// Row heights: the header band, the base row and word-wrapped text measured as it is painted:
// by DrawText's word break, and a changed line by FitCharsInWidth.
// Liberation Mono at 15 px: 9 px a character, 23 px a line (its 17 px of ascent and descent
// widened to hold marks stacked over capitals), so the base row is 27 px.

#include "grid/DiffCellDrawing.h"
#include "grid/GdiText.h"
#include "grid/RowHeights.h"
#include "grid/TDiffGrid.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr int kAdvance = 9;
constexpr int kLine = 23;
constexpr int kBase = kLine + 4;

QFont MonoFont()
{
    QFont Font(QStringLiteral("Liberation Mono"));
    Font.setPixelSize(15);
    return Font;
}

// Text columns whose inner width (column - 4) holds Chars characters.
void Shape(TDiffGrid& Grid, int Rows, int Chars1, int Chars2)
{
    Grid.resize(800, 400);
    Grid.setFont(MonoFont());
    Grid.show();
    Grid.SetRowCount(Rows);
    Grid.SetColWidths(0, 40);
    Grid.SetColWidths(1, Chars1 * kAdvance + 4);
    Grid.SetColWidths(2, Chars2 * kAdvance + 4);
}

// The height the plain way: DrawText(DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX), or for a
// changed line FitCharsInWidth called line after line, as the drawing calls it.
int PlainRowHeight(const TDiffGrid& Grid, int Row, int Base, bool Changed = false)
{
    int Height = Base;
    QImage Image(4, 4, QImage::Format_RGB32);
    QPainter Painter(&Image);
    Painter.setFont(Grid.font());
    const QFontMetrics Metrics(GdiFont(Grid.font()));
    for (int C = 1; C < Grid.ColCount(); ++C) {
        const QString Text = Grid.Cells(C, Row);
        if (Text.isEmpty())
            continue;
        QRect Rect(0, 0, Grid.ColWidths(C) - 4, 0);
        int TextHeight = 0;
        if (Changed) {
            int Lines = 0;
            for (int Pos = 0, Count = 0; FitCharsInWidth(Metrics, Text, Pos, Rect.width(), Count); Pos += Count)
                ++Lines;
            TextHeight = Lines * TTextMeasure(Metrics).LineHeight();
        } else {
            TextHeight = GdiDrawText(Painter, Text, Rect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        }
        Height = std::max(Height, TextHeight + 4);
    }
    return Height;
}

// Row Row's item of the given kind, the other rows equal.
TDiffCellSource SourceOf(TDiffItems& Items, int Rows, int Row = 1, TDiffKind Kind = dkEqual, bool FolderMode = false)
{
    Items = TDiffItems(Rows - 1);
    if (Row >= 1 && Row < Rows)
        Items[Row - 1].Kind = Kind;
    TDiffCellSource Source;
    Source.Items = &Items;
    Source.FolderMode = FolderMode;
    return Source;
}

}  // namespace

class TestGridHeights : public QObject
{
    Q_OBJECT

private slots:
    void roundHalfToEven_data();
    void roundHalfToEven();
    void headerRowHeight_data();
    void headerRowHeight();
    void baseRowHeightOfTheDesignFont();
    void rowHeights_data();
    void rowHeights();
    void allRowsAtOnceEqualOneByOne_data();
    void allRowsAtOnceEqualOneByOne();
    void narrowerColumnMeansTallerRows();
};

void TestGridHeights::roundHalfToEven_data()
{
    QTest::addColumn<double>("Value");
    QTest::addColumn<int>("Rounded");
    QTest::newRow("31.5") << 31.5 << 32;
    QTest::newRow("34.5") << 34.5 << 34;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("2.4999") << 2.4999 << 2;
    QTest::newRow("2.5001") << 2.5001 << 3;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("549.5 (a resize)") << 549.5 << 550;
}

void TestGridHeights::roundHalfToEven()
{
    QFETCH(double, Value);
    QFETCH(int, Rounded);
    QCOMPARE(RoundHalfToEven(Value), Rounded);
}

void TestGridHeights::headerRowHeight_data()
{
    QTest::addColumn<int>("Base");
    QTest::addColumn<int>("Header");
    QTest::newRow("21") << 21 << 32;
    QTest::newRow("23") << 23 << 34;
    QTest::newRow("20") << 20 << 30;
    QTest::newRow("25") << 25 << 38;
}

void TestGridHeights::headerRowHeight()
{
    QFETCH(int, Base);
    QFETCH(int, Header);
    QCOMPARE(HeaderRowHeight(Base), Header);
    TDiffGrid Grid;
    Shape(Grid, 3, 10, 10);
    UpdateAllRowHeightsOf(Grid, MonoFont(), Base, TDiffCellSource());
    QCOMPARE(Grid.RowHeights(0), Header);
}

void TestGridHeights::baseRowHeightOfTheDesignFont()
{
    QCOMPARE(BaseRowHeightFor(MonoFont()), kBase);
    QFont Design(QStringLiteral("Courier New"));
    Design.setPixelSize(15);
    QCOMPARE(BaseRowHeightFor(Design), 27);
}

void TestGridHeights::rowHeights_data()
{
    QTest::addColumn<QString>("Left");
    QTest::addColumn<QString>("Right");
    QTest::addColumn<QString>("Number");
    QTest::addColumn<int>("Height");
    QTest::addColumn<int>("Kind");
    QTest::addColumn<bool>("FolderMode");
    // Columns of 10 characters; the rows below this one are equal lines of a text comparison.
    QTest::newRow("one line each") << QStringLiteral("short") << QStringLiteral("tiny") << QStringLiteral("1") << kBase
                                   << int(dkEqual) << false;
    // A changed line is painted by FitCharsInWidth: the blank at a break begins the next line.
    const QString Broken = QStringLiteral("aaaaaaaaaa bbbbbbbbbb");
    QTest::newRow("changed: the blank at the break takes room") << Broken << QString() << QString() << 3 * kLine + 4
                                                                 << int(dkDifferent) << false;
    QTest::newRow("equal: the blank at the break is dropped") << Broken << QString() << QString() << 2 * kLine + 4
                                                               << int(dkEqual) << false;
    QTest::newRow("added: the blank at the break is dropped") << Broken << QString() << QString() << 2 * kLine + 4
                                                               << int(dkLeftOnly) << false;
    QTest::newRow("changed folder row: as DrawText") << Broken << QString() << QString() << 2 * kLine + 4
                                                     << int(dkDifferent) << true;
    QTest::newRow("changed: the right side is the taller") << QStringLiteral("x") << Broken << QString() << 3 * kLine + 4
                                                           << int(dkDifferent) << false;
    QTest::newRow("changed: blanks run over the break") << QStringLiteral("aaaaaaaaaa     bbbbbbbbbb") << QString()
                                                        << QString() << 3 * kLine + 4 << int(dkDifferent) << false;
    QTest::newRow("changed: tabs reach their stops") << QStringLiteral("a\tbcd") << QString() << QString()
                                                     << 2 * kLine + 4 << int(dkDifferent) << false;
    QTest::newRow("exactly the width") << QStringLiteral("0123456789") << QString() << QString() << kBase
                                       << int(dkEqual) << false;
    QTest::newRow("left wraps to three lines") << QStringLiteral("aaaa bbbb cccc dddd eeee") << QStringLiteral("x")
                                               << QString() << 3 * kLine + 4 << int(dkEqual) << false;
    QTest::newRow("right is the taller") << QStringLiteral("aaaa bbbb cccc") << QStringLiteral("a b c d e f g h i j k l")
                                         << QString() << 3 * kLine + 4 << int(dkEqual) << false;
    QTest::newRow("long word is split") << QString(25, u'w') << QString() << QString() << 3 * kLine + 4
                                        << int(dkEqual) << false;
    QTest::newRow("trailing blanks need no line") << QStringLiteral("0123456789      ") << QString() << QString() << kBase
                                                  << int(dkEqual) << false;
    QTest::newRow("a tab goes to the stop 8 characters on") << QStringLiteral("a\tbcd") << QString() << QString()
                                                           << 2 * kLine + 4 << int(dkEqual) << false;
    QTest::newRow("tabs run over the break and are dropped") << QStringLiteral("\t\t\t\t\t\t\t\t\t\t") << QString()
                                                             << QString() << kBase << int(dkEqual) << false;
    QTest::newRow("the row number never counts") << QString() << QString()
                                                 << QStringLiteral("a very long row number text that would wrap") << kBase << int(dkEqual) << false;
    QTest::newRow("empty cells") << QString() << QString() << QString() << kBase << int(dkEqual) << false;
    QTest::newRow("line breaks in a cell") << QStringLiteral("a\r\nb\nc") << QString() << QString() << 3 * kLine + 4
                                           << int(dkEqual) << false;
    QTest::newRow("ampersands as is") << QStringLiteral("&&&&&&&&&&") << QString() << QString() << kBase
                                      << int(dkEqual) << false;
}

void TestGridHeights::rowHeights()
{
    QFETCH(QString, Left);
    QFETCH(QString, Right);
    QFETCH(QString, Number);
    QFETCH(int, Height);
    QFETCH(int, Kind);
    QFETCH(bool, FolderMode);
    TDiffGrid Grid;
    Shape(Grid, 3, 10, 10);
    Grid.SetCells(0, 1, Number);
    Grid.SetCells(1, 1, Left);
    Grid.SetCells(2, 1, Right);
    TDiffItems Items;
    const TDiffCellSource Source = SourceOf(Items, Grid.RowCount(), 1, TDiffKind(Kind), FolderMode);
    QCOMPARE(MeasureRowHeight(Grid, QFontMetrics(Grid.font()), 1, kBase, Source), Height);
    UpdateAllRowHeightsOf(Grid, MonoFont(), kBase, Source);
    QCOMPARE(Grid.RowHeights(1), Height);
    QCOMPARE(Grid.RowHeights(2), kBase);
    QCOMPARE(PlainRowHeight(Grid, 1, kBase, Kind == dkDifferent && !FolderMode), Height);
}

void TestGridHeights::allRowsAtOnceEqualOneByOne_data()
{
    QTest::addColumn<QString>("Family");
    QTest::newRow("Liberation Mono") << QStringLiteral("Liberation Mono");
    QTest::newRow("DejaVu Sans Mono") << QStringLiteral("DejaVu Sans Mono");
    QTest::newRow("Liberation Sans") << QStringLiteral("Liberation Sans");
}

// The fast whole-grid measure gives what measuring each row the plain way gives.
void TestGridHeights::allRowsAtOnceEqualOneByOne()
{
    QFETCH(QString, Family);
    QFont Font(Family);
    Font.setPixelSize(14);
    TDiffGrid Grid;
    Shape(Grid, 1500, 30, 23);
    Grid.setFont(Font);
    const int Base = BaseRowHeightFor(Font);
    static const QStringList Pieces = {
        "if", "(x", "==", "y)", "{", "return", "Values[i];", "}", "//", "comment", "\t", "  ", "é", "中文", "a&b",
        "averyveryveryverylongidentifierwithoutbreaks", "=", "0x7FFF;", "😀", "Straße",
    };
    QRandomGenerator Random(17);
    TDiffItems Items(Grid.RowCount() - 1);
    for (TDiffItem& Item : Items)
        Item.Kind = Random.bounded(3) == 0 ? dkDifferent : dkEqual;
    TDiffCellSource Source;
    Source.Items = &Items;
    for (int R = 1; R < Grid.RowCount(); ++R) {
        for (int C = 1; C <= 2; ++C) {
            QString Text;
            const int Words = Random.bounded(0, 16);
            for (int W = 0; W < Words; ++W)
                Text += Pieces[Random.bounded(Pieces.size())] + (Random.bounded(4) ? QStringLiteral(" ") : QString());
            Grid.SetCells(C, R, Text);
        }
    }
    UpdateAllRowHeightsOf(Grid, Font, Base, Source);
    const QFontMetrics Metrics(Grid.font());  // as the window asks for one row
    int Taller = 0;
    for (int R = 1; R < Grid.RowCount(); ++R) {
        QCOMPARE(Grid.RowHeights(R), MeasureRowHeight(Grid, Metrics, R, Base, Source));
        QCOMPARE(Grid.RowHeights(R), PlainRowHeight(Grid, R, Base, Items[R - 1].Kind == dkDifferent));
        Taller += Grid.RowHeights(R) > Base;
    }
    QVERIFY(Taller > 100);  // the sample wraps often enough to mean something
}

void TestGridHeights::narrowerColumnMeansTallerRows()
{
    TDiffGrid Grid;
    Shape(Grid, 3, 40, 40);
    Grid.SetCells(1, 1, QStringLiteral("one two three four five six seven eight"));
    UpdateAllRowHeightsOf(Grid, MonoFont(), kBase, TDiffCellSource());
    QCOMPARE(Grid.RowHeights(1), kBase);
    Grid.SetColWidths(1, 15 * kAdvance + 4);
    UpdateAllRowHeightsOf(Grid, MonoFont(), kBase, TDiffCellSource());
    // "one two three " / "four five six " / "seven eight"
    QCOMPARE(Grid.RowHeights(1), 3 * kLine + 4);
    QCOMPARE(Grid.CellRect(1, 2).top(), Grid.RowHeights(0) + 1 + 3 * kLine + 4 + 1);
}

QTEST_MAIN(TestGridHeights)
#include "tst_grid_heights.moc"
