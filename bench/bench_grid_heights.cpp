// Re-measuring every row and repainting, as a window resize does, on big comparisons; and one
// screen painted after a jump to the middle of a million rows. Prints figures and ratios to the
// targets (100 ms at 100,000 rows, 1 s at 1,000,000 rows).

#include "grid/DiffCellDrawing.h"
#include "grid/GdiText.h"
#include "grid/RowHeights.h"
#include "grid/TDiffGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <cstdio>

namespace {

// Lines that look like source code: indentation, identifiers, operators, comments, blank
// lines, and now and then a long one (a generated table, a long string, a minified line).
QString CodeLine(QRandomGenerator& Random)
{
    static const QStringList Words = {
        "int", "auto", "const", "return", "if", "for", "while", "Count", "Index", "Value", "Result", "Items",
        "std::vector<int>", "QString", "nullptr", "true", "false", "Options.IgnoreCase", "Left[i]", "Right[j]",
        "=", "==", "!=", "+=", "<", "&&", "||", "(", ")", "{", "}", ";", "0", "1", "42", "\"text\"", "// note",
    };
    const int Kind = Random.bounded(100);
    if (Kind < 8)
        return {};
    QString Line(Random.bounded(0, 6) * 4, u' ');
    const int Count = Kind < 96 ? Random.bounded(1, 10) : Random.bounded(40, 120);
    for (int I = 0; I < Count; ++I) {
        Line += Words[Random.bounded(Words.size())];
        if (Random.bounded(5))
            Line += u' ';
    }
    if (Kind == 99)
        Line += QString(Random.bounded(200, 600), u'x');  // no blank to break at
    return Line;
}

struct TData {
    TDiffItems Items;
    QStringList Left, Right;
    QVector<QString> Numbers, LeftCells, RightCells;
};

TData MakeData(int Rows)
{
    TData Data;
    QRandomGenerator Random(2024);
    Data.Items.reserve(Rows);
    Data.Numbers.reserve(Rows + 1);
    Data.LeftCells.reserve(Rows + 1);
    Data.RightCells.reserve(Rows + 1);
    Data.Numbers.append(QString());
    Data.LeftCells.append(QString());
    Data.RightCells.append(QString());
    for (int R = 0; R < Rows; ++R) {
        const QString Line = CodeLine(Random);
        TDiffItem Item;
        Item.LeftIndex = int(Data.Left.size());
        Item.RightIndex = int(Data.Right.size());
        Data.Left.append(Line);
        if (Random.bounded(200) == 0) {  // 0.5 % changed
            Item.Kind = dkDifferent;
            Data.Right.append(Line + QStringLiteral(" + 1"));
        } else {
            Data.Right.append(Line);
        }
        Data.Items.append(Item);
        Data.Numbers.append(QString::number(R + 1));
        Data.LeftCells.append(Data.Left.last());
        Data.RightCells.append(Data.Right.last());
    }
    return Data;
}

double Ms(const QElapsedTimer& Timer)
{
    return double(Timer.nsecsElapsed()) / 1e6;
}

void Run(int Rows, double TargetMs, const QFont& Font, bool Full)
{
    const TData Data = MakeData(Rows);
    TDiffGrid Grid;
    Grid.setFont(Font);
    Grid.resize(1400, 900);
    Grid.show();
    if (!QTest::qWaitForWindowExposed(&Grid))
        std::printf("the grid was never exposed: the paint figures mean nothing\n");
    TDiffCellSource Source;
    Source.Items = &Data.Items;
    Source.LeftLines = &Data.Left;
    Source.RightLines = &Data.Right;
    Source.Colors = {QColor(224, 240, 255), QColor(255, 240, 224), QColor(255, 224, 224), QColor(255, 255, 0)};
    Source.Font = Font;
    Grid.OnDrawCell = [&](QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState) {
        DrawDiffCell(Painter, Grid, ACol, ARow, Rect, Source);
    };
    const int Base = BaseRowHeightFor(Font);

    QElapsedTimer Timer;
    Timer.start();
    Grid.SetRowCount(Rows + 1);
    const double SetRows = Ms(Timer);
    Timer.restart();
    Grid.SetColumnTexts(0, Data.Numbers);
    Grid.SetColumnTexts(1, Data.LeftCells);
    Grid.SetColumnTexts(2, Data.RightCells);
    const double SetTexts = Ms(Timer);
    Grid.SetColWidths(0, 120);

    // A resize: column 1 at half of what column 0 leaves, column 2 the rest; re-measure; repaint.
    double Worst = 0, Total = 0;
    const int Widths[] = {1400, 1000, 700, 1200};
    for (int W : Widths) {
        Timer.restart();
        Grid.resize(W, 900);
        Grid.SetColWidths(1, RoundHalfToEven((Grid.GridWidth() - Grid.ColWidths(0)) / 2.0));
        Grid.SetColWidths(2, Grid.GridWidth() - Grid.ColWidths(0) - Grid.ColWidths(1) - 20);
        UpdateAllRowHeightsOf(Grid, Font, Base, Source);
        Grid.viewport()->repaint();
        const double Elapsed = Ms(Timer);
        Worst = std::max(Worst, Elapsed);
        Total += Elapsed;
    }
    int Wrapped = 0;
    for (int R = 1; R <= Rows; ++R)
        Wrapped += Grid.RowHeights(R) > Base;

    std::printf("%-24s %9d rows: set rows %6.1f ms, set texts %6.1f ms; re-measure + repaint: mean %7.1f ms, worst %7.1f ms"
                " (target %5.0f ms, ratio %.2f); %.1f %% rows wrap\n",
                qPrintable(QFontInfo(Font).family() + QStringLiteral(" ") + QString::number(Font.pixelSize()) + "px"), Rows,
                SetRows, SetTexts, Total / std::size(Widths), Worst, TargetMs, Worst / TargetMs, 100.0 * Wrapped / Rows);

    if (!Full)
        return;
    // A jump to the middle, then one screen painted; then page after page.
    Timer.restart();
    Grid.SetRow(Rows / 2);
    Grid.SetTopRow(Rows / 2 - Grid.VisibleRowCount() / 2);
    Grid.viewport()->repaint();
    const double Jump = Ms(Timer);
    Timer.restart();
    const int Pages = 20;
    for (int I = 0; I < Pages; ++I) {
        Grid.SetTopRow(Grid.TopRow() + Grid.VisibleRowCount());
        Grid.viewport()->repaint();
    }
    std::printf("%-24s %9d rows: jump to the middle and paint one screen %.1f ms; page down and paint %.1f ms a page"
                " (%d rows on screen)\n",
                "", Rows, Jump, Ms(Timer) / Pages, Grid.VisibleRowCount());
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    QFont Design(QStringLiteral("Courier New"));
    Design.setPixelSize(15);
    std::printf("per-character advances used for %s: %s\n", qPrintable(QFontInfo(Design).family()),
                TextMeasureUsesTable(Design) ? "yes" : "no");
    Run(100'000, 100, Design, true);
    Run(1'000'000, 1000, Design, true);

    // Fonts with OpenType layout tables: a fixed-pitch one passes the pair check, a proportional
    // one with kerning is measured by Qt's layout, string by string.
    for (const QString& Family : {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Sans")}) {
        QFont Font(Family);
        Font.setPixelSize(15);
        std::printf("per-character advances used for %s: %s\n", qPrintable(Family), TextMeasureUsesTable(Font) ? "yes" : "no");
        Run(100'000, 100, Font, false);
    }
    return 0;
}
