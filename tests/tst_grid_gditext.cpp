// The GDI-style text layer: word breaking, measuring and drawing on a fixed font.
// Liberation Mono at 15 px: every character advances 9 px, a line is 23 px high (the font's
// 17 px of ascent and descent, widened to hold marks stacked over capitals), and the tab stops
// (8 average character widths) lie every 72 px.

#include "grid/GdiText.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr int kAdvance = 9;
constexpr int kFontHeight = 17;
constexpr int kLine = 23;
constexpr int kTab = 8 * kAdvance;

QFont MonoFont()
{
    QFont Font(QStringLiteral("Liberation Mono"));
    Font.setPixelSize(15);
    Font.setStyleStrategy(QFont::NoAntialias);
    return Font;
}

QStringList LinesOf(const QString& Text, const QList<TTextLine>& Lines)
{
    QStringList Out;
    for (const TTextLine& Line : Lines)
        Out << Text.mid(Line.Start, Line.Len);
    return Out;
}

QImage Blank(int W, int H)
{
    QImage Image(W, H, QImage::Format_RGB32);
    Image.fill(Qt::white);
    return Image;
}

// The columns [From, To) and rows [Top, Bottom) of ink (non-white) pixels; empty rect when none.
QRect InkBounds(const QImage& Image)
{
    int L = Image.width(), T = Image.height(), R = -1, B = -1;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Image.pixel(X, Y) != qRgb(255, 255, 255)) {
                L = std::min(L, X);
                T = std::min(T, Y);
                R = std::max(R, X);
                B = std::max(B, Y);
            }
    return R < 0 ? QRect() : QRect(QPoint(L, T), QPoint(R, B));
}

QString RandomText(QRandomGenerator& Random, bool AsciiOnly)
{
    static const QStringList Words = {
        QStringLiteral("int"), QStringLiteral("x"), QStringLiteral("="), QStringLiteral("Count"),
        QStringLiteral("return"), QStringLiteral("{"), QStringLiteral("}"), QStringLiteral("averyveryverylongidentifier"),
        QStringLiteral("a&b"), QStringLiteral("//"), QStringLiteral("Values[i]"), QStringLiteral("0x7FFF"),
    };
    static const QStringList Wide = {
        QStringLiteral("café"), QStringLiteral("Ärger"), QStringLiteral("中文字"), QStringLiteral("😀ok"),
        QStringLiteral("e\u0301"), QStringLiteral("\u00AD"), QStringLiteral("שלום"),
    };
    static const QStringList Gaps = {QStringLiteral(" "), QStringLiteral("  "), QStringLiteral("\t"),
                                     QStringLiteral(" \t "), QStringLiteral("\n"), QStringLiteral("\r\n")};
    QString Text;
    const int Count = Random.bounded(0, 14);
    for (int I = 0; I < Count; ++I) {
        if (!AsciiOnly && Random.bounded(5) == 0)
            Text += Wide[Random.bounded(Wide.size())];
        else
            Text += Words[Random.bounded(Words.size())];
        if (Random.bounded(6) != 0)
            Text += Gaps[Random.bounded(AsciiOnly ? 4 : Gaps.size())];
    }
    return Text;
}

}  // namespace

class TestGridGdiText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void widthPlacesTabsAtTheirStops_data();
    void widthPlacesTabsAtTheirStops();
    void fitCount_data();
    void fitCount();
    void fitCountNeverSplitsSurrogatePairs();
    void wordBreak_data();
    void wordBreak();
    void keepBlanks_data();
    void keepBlanks();
    void tableMeasureEqualsPlainMeasure_data();
    void tableMeasureEqualsPlainMeasure();
    void calcRect_data();
    void calcRect();
    void extentExPointRejectsBadArguments();
    void tabsAreDrawnToTheirStops_data();
    void tabsAreDrawnToTheirStops();
    void prefixHandling();
    void alignment();
    void gdiFontHasNoKerning();
    void wrappedTextIsClippedToTheRect();
};

void TestGridGdiText::initTestCase()
{
    const QFontMetrics Metrics(MonoFont());
    QCOMPARE(QFontInfo(MonoFont()).family(), QStringLiteral("Liberation Mono"));
    QCOMPARE(Metrics.horizontalAdvance(QChar(u'W')), kAdvance);
    QCOMPARE(Metrics.height(), kFontHeight);
    QCOMPARE(TTextMeasure(MonoFont()).LineHeight(), kLine);
    QCOMPARE(TTextMeasure(MonoFont()).TabStop(), kTab);
}

void TestGridGdiText::widthPlacesTabsAtTheirStops_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("StartX");  // where Text starts, from the left of its line
    QTest::addColumn<int>("Width");
    QTest::newRow("empty") << QString() << 0 << 0;
    QTest::newRow("plain") << QStringLiteral("abc") << 0 << 3 * kAdvance;
    QTest::newRow("tab between") << QStringLiteral("a\tb") << 0 << kTab + kAdvance;
    QTest::newRow("leading tabs") << QStringLiteral("\t\tx") << 0 << 2 * kTab + kAdvance;
    QTest::newRow("a character short of the stop") << QStringLiteral("1234567\tx") << 0 << kTab + kAdvance;
    QTest::newRow("text reaching a stop: the next one") << QStringLiteral("12345678\tx") << 0 << 2 * kTab + kAdvance;
    QTest::newRow("inside the line") << QStringLiteral("\tx") << kAdvance << kTab - kAdvance + kAdvance;
    QTest::newRow("on a stop") << QStringLiteral("\t") << kTab << kTab;
    QTest::newRow("ampersand") << QStringLiteral("&&x") << 0 << 3 * kAdvance;
}

void TestGridGdiText::widthPlacesTabsAtTheirStops()
{
    QFETCH(QString, Text);
    QFETCH(int, StartX);
    QFETCH(int, Width);
    QCOMPARE(TTextMeasure(MonoFont()).Width(Text, StartX), Width);
    QCOMPARE(TTextMeasure(QFontMetrics(MonoFont())).Width(Text, StartX), Width);
    if (StartX == 0)
        QCOMPARE(GdiTextExtent(QFontMetrics(MonoFont()), Text), QSize(Width, kLine));
}

void TestGridGdiText::fitCount_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("MaxWidth");
    QTest::addColumn<int>("Fit");
    QTest::newRow("all fit") << QStringLiteral("abcdef") << 6 * kAdvance << 6;
    QTest::newRow("exactly three") << QStringLiteral("abcdef") << 3 * kAdvance << 3;
    QTest::newRow("one px short of three") << QStringLiteral("abcdef") << 3 * kAdvance - 1 << 2;
    QTest::newRow("nothing fits") << QStringLiteral("abcdef") << kAdvance - 1 << 0;
    QTest::newRow("negative width") << QStringLiteral("abc") << -4 << 0;
    QTest::newRow("a tab reaches its stop") << QStringLiteral("a\tbc") << kTab + kAdvance << 3;
    QTest::newRow("a tab past the edge does not fit") << QStringLiteral("a\tbc") << kTab - 1 << 1;
    QTest::newRow("non-table characters") << QStringLiteral("中文字abc") << 0 << 0;
}

void TestGridGdiText::fitCount()
{
    QFETCH(QString, Text);
    QFETCH(int, MaxWidth);
    QFETCH(int, Fit);
    QCOMPARE(TTextMeasure(MonoFont()).FitCount(Text, MaxWidth), Fit);
    QCOMPARE(TTextMeasure(QFontMetrics(MonoFont())).FitCount(Text, MaxWidth), Fit);
    int Got = -1;
    QVERIFY(GdiTextExtentExPoint(QFontMetrics(MonoFont()), Text, 0, int(Text.size()), MaxWidth, Got));
    QCOMPARE(Got, Fit);
}

void TestGridGdiText::fitCountNeverSplitsSurrogatePairs()
{
    const QString Text = QStringLiteral("a😀b😀c");
    const TTextMeasure Measure(MonoFont());
    for (int Width = 0; Width < 120; ++Width) {
        const int Fit = Measure.FitCount(Text, Width);
        QVERIFY2(Fit == 0 || Fit == Text.size() || !Text[Fit].isLowSurrogate(), qPrintable(QString::number(Width)));
    }
    const QList<TTextLine> Lines = BreakTextLines(Measure, Text, 1);
    QCOMPARE(LinesOf(Text, Lines), QStringList({"a", "😀", "b", "😀", "c"}));
}

void TestGridGdiText::wordBreak_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("Chars");  // line width in characters
    QTest::addColumn<QStringList>("Lines");
    QTest::newRow("fits") << QStringLiteral("hello world") << 11 << QStringList{"hello world"};
    QTest::newRow("break after the blank") << QStringLiteral("hello world") << 8 << QStringList{"hello ", "world"};
    QTest::newRow("break at the blank") << QStringLiteral("hello world") << 5 << QStringList{"hello", "world"};
    QTest::newRow("run of blanks at the break") << QStringLiteral("one    two") << 5 << QStringList{"one  ", "two"};
    QTest::newRow("long word split") << QStringLiteral("abcdefghij") << 4 << QStringList{"abcd", "efgh", "ij"};
    QTest::newRow("word after a short one") << QStringLiteral("aa bbbbbbbbbb") << 5 << QStringList{"aa ", "bbbbb", "bbbbb"};
    QTest::newRow("indent before a long word") << QStringLiteral("    longword") << 6 << QStringList{"    ", "longwo", "rd"};
    QTest::newRow("trailing blanks add no line") << QStringLiteral("abc      ") << 3 << QStringList{"abc"};
    QTest::newRow("a tab past the edge is a blank at the break") << QStringLiteral("ab\tcdef") << 5 << QStringList{"ab", "cdef"};
    QTest::newRow("a tab's stop pushes a word on") << QStringLiteral("a\tbcd") << 10 << QStringList{"a\t", "bcd"};
    QTest::newRow("zero width: one char a line") << QStringLiteral("ab c") << 0 << QStringList{"a", "b", "c"};
    QTest::newRow("CR LF, LF, CR") << QStringLiteral("a\r\nb\nc\rd") << 20 << QStringList{"a", "b", "c", "d"};
    QTest::newRow("LF CR is two breaks") << QStringLiteral("a\n\rb") << 20 << QStringList{"a", "", "b"};
    QTest::newRow("final break adds no line") << QStringLiteral("a\n") << 20 << QStringList{"a"};
    QTest::newRow("lone break") << QStringLiteral("\n") << 20 << QStringList{""};
    QTest::newRow("empty line kept") << QStringLiteral("a\n\nb") << 20 << QStringList{"a", "", "b"};
    QTest::newRow("empty text") << QString() << 20 << QStringList{};
    QTest::newRow("wrap inside a paragraph") << QStringLiteral("ab cd\nef") << 3 << QStringList{"ab ", "cd", "ef"};
    QTest::newRow("ampersand is a character") << QStringLiteral("a&b c&d") << 4 << QStringList{"a&b ", "c&d"};
}

void TestGridGdiText::wordBreak()
{
    QFETCH(QString, Text);
    QFETCH(int, Chars);
    QFETCH(QStringList, Lines);
    for (const TTextMeasure& Measure : {TTextMeasure(MonoFont()), TTextMeasure(QFontMetrics(MonoFont()))}) {
        QCOMPARE(LinesOf(Text, BreakTextLines(Measure, Text, Chars * kAdvance)), Lines);
        QCOMPARE(CountTextLines(Measure, Text, Chars * kAdvance), Lines.size());
    }
}

// The rule changed lines are painted by: a blank at a break begins the next line.
void TestGridGdiText::keepBlanks_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("Chars");  // line width in characters
    QTest::addColumn<QStringList>("Lines");
    QTest::newRow("blank at the break begins the next line") << QStringLiteral("hello world") << 5
                                                             << QStringList{"hello", " ", "world"};
    QTest::newRow("blank before the break stays") << QStringLiteral("hello world") << 6 << QStringList{"hello ", "world"};
    QTest::newRow("inside a word: after the blank") << QStringLiteral("hello world") << 8 << QStringList{"hello ", "world"};
    QTest::newRow("blank run over the break") << QStringLiteral("aaaaaaaaaa     bbbbbbbbbb") << 10
                                              << QStringList{"aaaaaaaaaa", "     ", "bbbbbbbbbb"};
    QTest::newRow("long word split") << QStringLiteral("abcdefgh") << 3 << QStringList{"abc", "def", "gh"};
    QTest::newRow("tab at the break begins the next line") << QStringLiteral("abcdefghi\tx") << 9
                                                           << QStringList{"abcdefghi", "\tx"};
    QTest::newRow("zero width: one char a line") << QStringLiteral("ab c") << 0 << QStringList{"a", "b", " ", "c"};
    QTest::newRow("empty text") << QString() << 5 << QStringList{};
}

void TestGridGdiText::keepBlanks()
{
    QFETCH(QString, Text);
    QFETCH(int, Chars);
    QFETCH(QStringList, Lines);
    for (const TTextMeasure& Measure : {TTextMeasure(MonoFont()), TTextMeasure(QFontMetrics(MonoFont()))}) {
        QCOMPARE(LinesOf(Text, BreakTextLines(Measure, Text, Chars * kAdvance, TLineBreaking::KeepBlanks)), Lines);
        QCOMPARE(CountTextLines(Measure, Text, Chars * kAdvance, TLineBreaking::KeepBlanks), Lines.size());
        // The painting asks for no more lines than its cell shows.
        QCOMPARE(LinesOf(Text, BreakTextLines(Measure, Text, Chars * kAdvance, TLineBreaking::KeepBlanks, 1)),
                 Lines.mid(0, 1));
    }
}

void TestGridGdiText::tableMeasureEqualsPlainMeasure_data()
{
    QTest::addColumn<QString>("Family");
    QTest::addColumn<int>("PixelSize");
    QTest::addColumn<bool>("Table");
    QTest::newRow("Liberation Mono 15") << QStringLiteral("Liberation Mono") << 15 << true;
    QTest::newRow("Liberation Mono 13") << QStringLiteral("Liberation Mono") << 13 << true;
    QTest::newRow("Courier New 19") << QStringLiteral("Courier New") << 19 << true;
    QTest::newRow("DejaVu Sans Mono 14") << QStringLiteral("DejaVu Sans Mono") << 14 << true;
    QTest::newRow("Liberation Sans 15 (kerns)") << QStringLiteral("Liberation Sans") << 15 << true;
    QTest::newRow("DejaVu Sans 12 (ligatures)") << QStringLiteral("DejaVu Sans") << 12 << true;
    QTest::newRow("DejaVu Serif 17") << QStringLiteral("DejaVu Serif") << 17 << true;
}

// Adding per-character advances must give exactly what Qt's layout gives for the font in GDI
// form, or not be used.
void TestGridGdiText::tableMeasureEqualsPlainMeasure()
{
    QFETCH(QString, Family);
    QFETCH(int, PixelSize);
    QFETCH(bool, Table);
    QFont Font(Family);
    Font.setPixelSize(PixelSize);
    if (QFontInfo(Font).family() != Family && Family != QStringLiteral("Courier New"))
        QSKIP("font not installed");
    QCOMPARE(TextMeasureUsesTable(Font), Table);

    const TTextMeasure Fast(Font);
    const TTextMeasure Plain{QFontMetrics(GdiFont(Font))};
    const QFontMetrics Metrics(GdiFont(Font));
    QRandomGenerator Random(4711);
    for (int I = 0; I < 1500; ++I) {
        const QString Text = RandomText(Random, I % 3 == 0);
        QString NoTabs = Text;
        NoTabs.remove(u'\t').remove(u'\n').remove(u'\r');
        QCOMPARE(Fast.Width(NoTabs), Metrics.horizontalAdvance(NoTabs));
        QCOMPARE(Fast.Width(Text), Plain.Width(Text));
        const int StartX = Random.bounded(0, 100);
        QCOMPARE(Fast.Width(Text, StartX), Plain.Width(Text, StartX));
        const int Width = Random.bounded(-5, 400);
        QCOMPARE(Fast.FitCount(Text, Width), Plain.FitCount(Text, Width));
        for (const TLineBreaking Breaking : {TLineBreaking::WordBreak, TLineBreaking::KeepBlanks}) {
            const QList<TTextLine> A = BreakTextLines(Fast, Text, Width, Breaking);
            const QList<TTextLine> B = BreakTextLines(Plain, Text, Width, Breaking);
            QCOMPARE(LinesOf(Text, A), LinesOf(Text, B));
            QCOMPARE(CountTextLines(Fast, Text, Width, Breaking), A.size());
        }
    }
}

void TestGridGdiText::calcRect_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<unsigned>("Flags");
    QTest::addColumn<int>("Chars");
    QTest::addColumn<QSize>("Extent");
    const unsigned Wrap = DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX;
    QTest::newRow("three lines") << QStringLiteral("aaaa bbbb cccc dddd eeee") << Wrap << 10
                                 << QSize(10 * kAdvance, 3 * kLine);
    QTest::newRow("one line") << QStringLiteral("short") << Wrap << 10 << QSize(5 * kAdvance, kLine);
    QTest::newRow("empty") << QString() << Wrap << 10 << QSize(0, 0);
    QTest::newRow("single line ignores breaks") << QStringLiteral("a b c d e f") << (DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX)
                                                << 2 << QSize(11 * kAdvance, kLine);
    QTest::newRow("no word break: only line breaks") << QStringLiteral("abc def\nxy") << (DT_CALCRECT | DT_NOPREFIX) << 2
                                                     << QSize(7 * kAdvance, 2 * kLine);
    QTest::newRow("prefix removed when measuring") << QStringLiteral("&File") << unsigned(DT_CALCRECT | DT_SINGLELINE) << 20
                                                   << QSize(4 * kAdvance, kLine);
}

void TestGridGdiText::calcRect()
{
    QFETCH(QString, Text);
    QFETCH(unsigned, Flags);
    QFETCH(int, Chars);
    QFETCH(QSize, Extent);
    QImage Image = Blank(10, 10);
    QPainter Painter(&Image);
    Painter.setFont(MonoFont());
    QRect Rect(5, 7, Chars * kAdvance, 0);
    const int Height = GdiDrawText(Painter, Text, Rect, Flags);
    QCOMPARE(Height, Extent.height());
    QCOMPARE(Rect, QRect(QPoint(5, 7), Extent));
    Painter.end();
    QVERIFY(InkBounds(Image).isNull());  // DT_CALCRECT draws nothing
}

void TestGridGdiText::extentExPointRejectsBadArguments()
{
    const QFontMetrics Metrics(MonoFont());
    int Fit = 7;
    QVERIFY(!GdiTextExtentExPoint(Metrics, QStringLiteral("abc"), 4, 0, 100, Fit));
    QVERIFY(!GdiTextExtentExPoint(Metrics, QStringLiteral("abc"), 1, 3, 100, Fit));
    QVERIFY(!GdiTextExtentExPoint(Metrics, QStringLiteral("abc"), -1, 1, 100, Fit));
    QVERIFY(GdiTextExtentExPoint(Metrics, QStringLiteral("abc"), 1, 2, 100, Fit));
    QCOMPARE(Fit, 2);
}

void TestGridGdiText::tabsAreDrawnToTheirStops_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("X");         // where Text is drawn...
    QTest::addColumn<int>("LineLeft");  // ...in a line that starts here
    QTest::addColumn<int>("LastLeft");  // where its last character's cell begins
    QTest::newRow("a tab to the first stop") << QStringLiteral("a\tb") << 0 << 0 << kTab;
    QTest::newRow("two tabs") << QStringLiteral("\t\tb") << 0 << 0 << 2 * kTab;
    QTest::newRow("text reaching a stop: the next one") << QStringLiteral("12345678\tb") << 0 << 0 << 2 * kTab;
    QTest::newRow("stops count from the line's left") << QStringLiteral("\tb") << 3 * kAdvance << 0 << kTab;
    QTest::newRow("a line that starts inside") << QStringLiteral("\tb") << 10 << 10 << 10 + kTab;
}

void TestGridGdiText::tabsAreDrawnToTheirStops()
{
    QFETCH(QString, Text);
    QFETCH(int, X);
    QFETCH(int, LineLeft);
    QFETCH(int, LastLeft);
    QImage Image = Blank(250, 30);
    QPainter Painter(&Image);
    Painter.setFont(MonoFont());
    Painter.setPen(Qt::black);
    const TTextMeasure Measure(MonoFont());
    GdiTextOut(Painter, Measure, X, 0, Text, LineLeft);
    Painter.end();
    // The last character's ink, and nothing drawn for the tab between.
    QImage Last = Image.copy(LastLeft, 0, kAdvance, 30);
    QVERIFY(!InkBounds(Last).isNull());
    const int GapFrom = X + Measure.Width(QStringView(Text).first(Text.indexOf(u'\t')));
    QVERIFY(InkBounds(Image.copy(GapFrom, 0, LastLeft - GapFrom, 30)).isNull());
    QVERIFY(InkBounds(Image.copy(LastLeft + kAdvance, 0, 250 - LastLeft - kAdvance, 30)).isNull());
    // DrawText places a line's tabs alike.
    if (X == LineLeft) {
        QImage Drawn = Blank(250, 30);
        QPainter DrawPainter(&Drawn);
        DrawPainter.setFont(MonoFont());
        DrawPainter.setPen(Qt::black);
        QRect Rect(X, 0, 250 - X, 30);
        GdiDrawText(DrawPainter, Text, Rect, DT_WORDBREAK | DT_NOPREFIX);
        DrawPainter.end();
        QCOMPARE(Drawn, Image);
    }
}

void TestGridGdiText::prefixHandling()
{
    const auto Draw = [](unsigned Flags) {
        QImage Image = Blank(100, 30);
        QPainter Painter(&Image);
        Painter.setFont(MonoFont());
        Painter.setPen(Qt::black);
        QRect Rect(0, 0, 100, 30);
        GdiDrawText(Painter, QStringLiteral("&x"), Rect, Flags | DT_SINGLELINE);
        Painter.end();
        return InkBounds(Image);
    };
    // Under DT_NOPREFIX the ampersand is drawn in the first cell, "x" in the second.
    const QRect NoPrefix = Draw(DT_NOPREFIX);
    QVERIFY(NoPrefix.left() < kAdvance);
    QVERIFY(NoPrefix.right() >= kAdvance);
    // Without it "&x" shows "x" alone, in the first cell.
    const QRect Prefix = Draw(0);
    QVERIFY(Prefix.right() < kAdvance);
}

void TestGridGdiText::alignment()
{
    QImage Image = Blank(120, 60);
    QPainter Painter(&Image);
    Painter.setFont(MonoFont());
    Painter.setPen(Qt::black);
    QRect Rect(10, 5, 100, 37);
    GdiDrawText(Painter, QStringLiteral("ab"), Rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    Painter.end();
    const QRect Ink = InkBounds(Image);
    const int Left = 10 + (100 - 2 * kAdvance) / 2;
    const int Top = 5 + (37 - kLine) / 2;
    QVERIFY2(Ink.left() >= Left && Ink.right() < Left + 2 * kAdvance, qPrintable(QString::number(Ink.left())));
    QVERIFY2(Ink.top() >= Top && Ink.bottom() < Top + kLine, qPrintable(QString::number(Ink.top())));
}

// GDI does not kern: "AV" is as wide as "A" and "V", measured and drawn.
void TestGridGdiText::gdiFontHasNoKerning()
{
    QFont Sans(QStringLiteral("Liberation Sans"));
    Sans.setPixelSize(40);
    Sans.setStyleStrategy(QFont::NoAntialias);
    if (QFontInfo(Sans).family() != QStringLiteral("Liberation Sans"))
        QSKIP("font not installed");
    QVERIFY(QFontMetrics(Sans).horizontalAdvance(QStringLiteral("AV")) < QFontMetrics(Sans).horizontalAdvance(QStringLiteral("AA")));
    const TTextMeasure Measure(Sans);
    // A and V advance alike in this font; only kerning would tell the pairs apart.
    QCOMPARE(Measure.Width(u"AV"), Measure.Width(u"AA"));
    const auto Ink = [&Sans](const QString& Text, int X) {
        QImage Image = Blank(200, 60);
        QPainter Painter(&Image);
        Painter.setFont(Sans);
        Painter.setPen(Qt::black);
        GdiTextOut(Painter, X, 0, Text);
        Painter.end();
        return Image;
    };
    // The V of "AV" stands where the measure puts it, not pulled under the A.
    QImage Pair = Ink(QStringLiteral("AV"), 0);
    const QImage A = Ink(QStringLiteral("A"), 0);
    const QImage V = Ink(QStringLiteral("V"), Measure.Width(u"A"));
    QVERIFY(std::abs(InkBounds(Pair).right() - InkBounds(V).right()) <= 1);  // kerning would move it 3 px
    QVERIFY(InkBounds(A).right() < InkBounds(V).right());
}

void TestGridGdiText::wrappedTextIsClippedToTheRect()
{
    QImage Image = Blank(100, 80);
    QPainter Painter(&Image);
    Painter.setFont(MonoFont());
    Painter.setPen(Qt::black);
    QRect Rect(0, 0, 4 * kAdvance, kLine + 10);
    const int Height = GdiDrawText(Painter, QStringLiteral("WWWW WWWW WWWW"), Rect, DT_WORDBREAK | DT_NOPREFIX);
    Painter.end();
    QCOMPARE(Height, 3 * kLine);
    const QRect Ink = InkBounds(Image);
    QVERIFY(Ink.bottom() < kLine + 10);
    QVERIFY(Ink.bottom() >= kLine);  // the second line is drawn as far as the rect reaches
    QVERIFY(Ink.right() < 4 * kAdvance);
}

QTEST_MAIN(TestGridGdiText)
#include "tst_grid_gditext.moc"
