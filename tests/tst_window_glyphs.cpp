#include "support/app/WindowDriver.h"

#include "grid/DiffCellDrawing.h"
#include "grid/GdiText.h"

#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QtTest>

// Glyphs that reach beyond a font's ascent or descent (the underscore of some fonts, stacked
// marks over small letters and capitals) are drawn whole inside their rows, whatever the font
// and size the user picks, in every kind of row and on every line of a wrapped cell.
class TestWindowGlyphs : public QObject
{
    Q_OBJECT

    static QString Words() { return QStringLiteral("__ dẫn ĐẪN"); }

    // Rows of every kind hold the words: equal, changed (the words outside and inside the
    // highlight), left only, right only, and a changed line that wraps.
    static void CompareRowsOfEveryKind(TWindowDriver& D)
    {
        const QString W = Words();
        const QString Long = (W + QLatin1Char(' ')).repeated(20);
        // Separator lines keep each pair in a row of its own.
        const QStringList L = {W, W + QStringLiteral(" 1"), QStringLiteral("s1"), W + QStringLiteral(" changed"), QStringLiteral("s2"),
                               W + QStringLiteral(" left"), QStringLiteral("s3"), QStringLiteral("s4"), Long, QStringLiteral("s5"), QString()};
        const QStringList R = {W, W + QStringLiteral(" 2"), QStringLiteral("s1"), QStringLiteral("zz"), QStringLiteral("s2"),
                               QStringLiteral("s3"), W + QStringLiteral(" right"), QStringLiteral("s4"), Long + QStringLiteral("end"),
                               QStringLiteral("s5"), QString()};
        D.CompareLines(L, R);
    }

    // The colour most pixels of the area have: the background the glyph is drawn on.
    static QRgb Background(const QImage& Image, const QRect& Area)
    {
        QHash<QRgb, int> Counts;
        for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
            for (int X = Area.left(); X <= Area.right(); ++X)
                ++Counts[Image.pixel(X, Y)];
        QRgb Most = qRgb(255, 255, 255);
        int Best = -1;
        for (auto It = Counts.cbegin(); It != Counts.cend(); ++It)
            if (It.value() > Best)
                Best = It.value(), Most = It.key();
        return Most;
    }

    // The rows of Image (in [Top, Bottom)) holding ink in columns [Left, Right): pixels darker
    // than the background Back, faint edges included, the text being dark on light rows.
    static QPair<int, int> InkRows(const QImage& Image, int Left, int Right, int Top, int Bottom, QRgb Back)
    {
        int First = -1, Last = -1;
        for (int Y = std::max(0, Top); Y < std::min(Bottom, Image.height()); ++Y) {
            for (int X = std::max(0, Left); X < std::min(Right, Image.width()); ++X) {
                if (qGray(Back) - qGray(Image.pixel(X, Y)) > 12) {
                    if (First < 0)
                        First = Y;
                    Last = Y;
                    break;
                }
            }
        }
        return {First, Last};
    }

    // How many pixel rows the glyphs of Text cover when drawn alone, uncut.
    static int InkHeight(const QFont& Font, const QString& Text)
    {
        QImage Image(400, 400, QImage::Format_RGB32);
        Image.fill(Qt::white);
        {
            QPainter Painter(&Image);
            Painter.setFont(GdiFont(Font));
            Painter.setPen(Qt::black);
            Painter.drawText(QPoint(20, 200), Text);
        }
        const QPair<int, int> Rows = InkRows(Image, 0, Image.width(), 0, Image.height(), qRgb(255, 255, 255));
        return Rows.first < 0 ? 0 : Rows.second - Rows.first + 1;
    }

private slots:
    void marksAndUnderscoresStayInsideTheirRows_data()
    {
        QTest::addColumn<QString>("Family");
        const QStringList Installed = QFontDatabase::families();
        for (const char* Family : {"Courier New", "Liberation Mono", "DejaVu Sans Mono", "Noto Mono"}) {
            // Courier New stands for the design font, which fontconfig maps to Liberation Mono.
            if (QLatin1String(Family) != QLatin1String("Courier New") && !Installed.contains(QLatin1String(Family))) {
                qWarning("%s is not installed", Family);
                continue;
            }
            QTest::newRow(Family) << QString::fromLatin1(Family);
        }
    }

    void marksAndUnderscoresStayInsideTheirRows()
    {
        QFETCH(QString, Family);
        TWindowDriver D;
        CompareRowsOfEveryKind(D);
        TfrmMain& W = *D.Window;
        TDiffGrid* Grid = W.grdDiff;
        // The selection frame and focus rectangle stand on a row without the words.
        for (int Row = 1; Row < Grid->RowCount(); ++Row) {
            if (!D.Row(Row).join(QString()).contains(Words())) {
                Grid->SetRow(Row);
                break;
            }
        }
        W.setFocus();
        QTRY_VERIFY(Grid->ColWidths(0) + Grid->ColWidths(1) + Grid->ColWidths(2) + 3 <= Grid->viewport()->width());

        const QString Text = Words();
        const int Underscores = int(Text.indexOf(QStringLiteral("__")));
        const int Small = int(Text.indexOf(QStringLiteral("ẫ")));
        const int Capital = int(Text.indexOf(QStringLiteral("Ẫ")));
        for (int Points = 8; Points <= 20; ++Points) {
            W.SetGridFont(Family, Points);
            W.UpdateAllRowHeights();
            Grid->SetTopRow(1);
            const QFont Font = Grid->font();
            const TDiffCellSource Source = W.CellSource();
            const QImage Image = Grid->viewport()->grab().toImage();
            const struct {
                const char* Name;
                int Offset, Length, Height;
            } Glyphs[] = {
                {"underscore", Underscores, 2, InkHeight(Font, QStringLiteral("__"))},
                {"small letter with marks", Small, 1, InkHeight(Font, QStringLiteral("ẫ"))},
                {"capital with marks", Capital, 1, InkHeight(Font, QStringLiteral("Ẫ"))},
            };
            QSet<int> Kinds;
            int Checked = 0;
            for (int Row = 1; Row < Grid->RowCount(); ++Row) {
                for (int Col = 1; Col <= 2; ++Col) {
                    const QString Cell = Grid->Cells(Col, Row);
                    const QRect CellRect = Grid->CellRect(Col, Row);
                    if (CellRect.isNull() || CellRect.bottom() >= Grid->viewport()->height())
                        continue;
                    // Each copy of the words on the cell's first three lines.
                    for (int At = int(Cell.indexOf(Text)); At >= 0; At = int(Cell.indexOf(Text, At + 1))) {
                        for (const auto& Glyph : Glyphs) {
                            const QRect Where = CellTextRect(*Grid, Source, Col, Row, At + Glyph.Offset, Glyph.Length);
                            QVERIFY(Where.isValid());
                            if (Where.top() > 3 * Where.height())
                                continue;
                            const QRect Box = Where.translated(CellRect.topLeft());
                            // A single line: the whole row; a wrapped cell: that line's own band.
                            const bool Wrapped = CellRect.height() > 2 * Where.height() + 4;
                            const int Top = Wrapped ? Box.top() : CellRect.top();
                            const int Bottom = Wrapped ? Box.top() + Box.height() : CellRect.top() + CellRect.height();
                            const QRect Band(QPoint(Box.left() + 1, Top), QPoint(Box.left() + Box.width() - 2, Bottom - 1));
                            const QPair<int, int> Ink = InkRows(Image, Band.left(), Band.right() + 1, Top, Bottom, Background(Image, Band));
                            const int Height = Ink.first < 0 ? 0 : Ink.second - Ink.first + 1;
                            QVERIFY2(Glyph.Height > 0 && Height >= Glyph.Height,
                                     qPrintable(QStringLiteral("%1 %2 pt, row %3 (kind %4) column %5, %6 at %7: %8 of %9 pixel rows drawn")
                                                    .arg(Family).arg(Points).arg(Row).arg(int(W.FDiffItems[Row - 1].Kind)).arg(Col)
                                                    .arg(QLatin1String(Glyph.Name)).arg(At).arg(Height).arg(Glyph.Height)));
                            ++Checked;
                        }
                        Kinds.insert(int(W.FDiffItems[Row - 1].Kind));
                    }
                }
            }
            // Row numbers too, a blank row's included.
            for (int Row = 1; Row < Grid->RowCount(); ++Row) {
                const QRect Cell = Grid->CellRect(0, Row);
                if (Cell.isNull() || Cell.bottom() >= Grid->viewport()->height())
                    continue;
                const QPair<int, int> Ink = InkRows(Image, Cell.left() + 1, Cell.right(), Cell.top(), Cell.bottom() + 1,
                                                    Background(Image, Cell.adjusted(1, 1, -1, -1)));
                const int Height = Ink.first < 0 ? 0 : Ink.second - Ink.first + 1;
                QVERIFY2(Height >= InkHeight(Font, Grid->Cells(0, Row)),
                         qPrintable(QStringLiteral("%1 %2 pt, number of row %3: %4 pixel rows drawn").arg(Family).arg(Points).arg(Row).arg(Height)));
            }
            QCOMPARE(Kinds, QSet<int>({dkEqual, dkLeftOnly, dkRightOnly, dkDifferent}));
            QVERIFY(Checked > 20);
        }
    }
};

QTEST_MAIN(TestWindowGlyphs)
#include "tst_window_glyphs.moc"
