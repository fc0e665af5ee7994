#include "engine/DiffEngine.h"
#include "support/engine/DiffOracle.h"

#include <QtTest>

using namespace quorlane::test;

namespace {

// Readable option sets for the table: "ws amount", "leading", ...
TDiffOptions Opts(std::initializer_list<const char*> Names)
{
    TDiffOptions O;
    for (const char* Name : Names) {
        const QByteArray N(Name);
        if (N == "case") O.IgnoreCase = true;
        else if (N == "all ws") O.IgnoreAllWhiteSpace = true;
        else if (N == "ws amount") O.IgnoreWsAmount = true;
        else if (N == "leading") O.IgnoreLeadingWhiteSpace = true;
        else if (N == "trailing") O.IgnoreTrailingWhiteSpace = true;
        else if (N == "blank") O.IgnoreBlankLines = true;
        else qFatal("unknown option %s", Name);
    }
    return O;
}

} // namespace

Q_DECLARE_METATYPE(TDiffOptions)

class TestEngineNormalize : public QObject
{
    Q_OBJECT
private slots:
    void keys_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<TDiffOptions>("options");
        QTest::addColumn<QString>("key");
        const QString Nbsp(QChar(0x00A0)), Vt(QChar(0x0B)), Ff(QChar(0x0C)), Ctl1(QChar(0x01));

        QTest::newRow("no option keeps the line") << "  a\tB  " << Opts({}) << "  a\tB  ";
        QTest::newRow("no option, empty line") << "" << Opts({}) << "";
        QTest::newRow("ws amount collapses runs, ends too") << "  a\tb  " << Opts({"ws amount"}) << " a b ";
        QTest::newRow("ws amount with leading and trailing")
            << "  a\tb  " << Opts({"ws amount", "leading", "trailing"}) << "a b";
        QTest::newRow("ws amount: tab space tab is one space") << "\t \t" << Opts({"ws amount"}) << " ";
        QTest::newRow("all ws removes tabs and spaces") << "a \tb" << Opts({"all ws"}) << "ab";
        QTest::newRow("all ws wins over ws amount") << "a \tb" << Opts({"all ws", "ws amount"}) << "ab";
        QTest::newRow("leading only") << " \t a b \t" << Opts({"leading"}) << "a b \t";
        QTest::newRow("trailing only") << " \t a b \t" << Opts({"trailing"}) << " \t a b";
        QTest::newRow("leading on an all-white line") << " \t " << Opts({"leading"}) << "";
        QTest::newRow("no-break space is not whitespace")
            << Nbsp + "a" + Nbsp << Opts({"all ws", "leading", "trailing"}) << Nbsp + "a" + Nbsp;
        QTest::newRow("vertical tab and form feed are not whitespace")
            << Vt + " " + Ff << Opts({"ws amount", "leading"}) << Vt + " " + Ff;
        QTest::newRow("blank: tabs and spaces give the empty key") << "\t  " << Opts({"blank"}) << "";
        QTest::newRow("blank: a control character is blank") << Ctl1 << Opts({"blank"}) << "";
        QTest::newRow("blank: form feed and CR are blank") << Ff + "\r" << Opts({"blank"}) << "";
        QTest::newRow("blank: no-break space is not blank") << Nbsp << Opts({"blank"}) << Nbsp;
        QTest::newRow("blank: text keeps its spaces") << " a " << Opts({"blank"}) << " a ";
        QTest::newRow("blank after ws amount") << "  " << Opts({"blank", "ws amount"}) << "";
        QTest::newRow("case beyond ASCII") << QString::fromUtf8("ÄBC") << Opts({"case"}) << QString::fromUtf8("äbc");
        QTest::newRow("case: Greek capital sigma") << QString::fromUtf8("ΣΑ") << Opts({"case"})
                                                   << QString::fromUtf8("σα");
        QTest::newRow("case: dotted capital I lowers to i")
            << QString(QChar(0x0130)) << Opts({"case"}) << QStringLiteral("i");
        QTest::newRow("case: surrogate pair lowered as one character")
            << QString::fromUcs4(U"\U00010400x") << Opts({"case"}) << QString::fromUcs4(U"\U00010428x");
        QTest::newRow("case does not make whitespace") << "A\tB" << Opts({"case", "ws amount"}) << "a b";
        QTest::newRow("every option") << " \tÄ  b\t" << Opts({"case", "all ws", "ws amount", "leading", "trailing", "blank"})
                                      << QString::fromUtf8("äb");
    }
    void keys()
    {
        QFETCH(QString, line);
        QFETCH(TDiffOptions, options);
        QFETCH(QString, key);
        QCOMPARE(NormalizeLine(line, options), key);
        QCOMPARE(OracleNormalizeLine(line, options), key);
    }

    void equalKeys_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<TDiffOptions>("options");
        QTest::addColumn<bool>("equal");
        QTest::newRow("all ws: spaces and tabs vanish") << "a \tb" << "ab" << Opts({"all ws"}) << true;
        QTest::newRow("case: umlaut") << QString::fromUtf8("ÄBC") << QString::fromUtf8("äbc") << Opts({"case"}) << true;
        QTest::newRow("case alone keeps space amounts") << "a b" << "A  b" << Opts({"case"}) << false;
        QTest::newRow("case with ws amount") << "a b" << "A  b" << Opts({"case", "ws amount"}) << true;
        QTest::newRow("case with all ws") << "a b" << "A  b" << Opts({"case", "all ws"}) << true;
        QTest::newRow("blank: tabs against control char") << "\t  " << QString(QChar(1)) << Opts({"blank"}) << true;
        QTest::newRow("no option: trailing space matters") << "a" << "a " << Opts({}) << false;
    }
    void equalKeys()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(TDiffOptions, options);
        QFETCH(bool, equal);
        QCOMPARE(NormalizeLine(a, options) == NormalizeLine(b, options), equal);
    }

    // Letters whose full lower case is longer (dotted capital I, sharp s) keep one unit each.
    void lowerCaseKeepsTheLength()
    {
        const QString Line = QString::fromUtf16(u"\u0130\u1E9E\u0149X");
        QCOMPARE(NormalizeLine(Line, Opts({"case"})).size(), Line.size());
    }

    void normalizeLeavesTheLineAlone()
    {
        const QString Line = QStringLiteral("  Ab\t ");
        const QString Copy = Line;
        (void)NormalizeLine(Line, Opts({"case", "ws amount", "leading", "trailing"}));
        QCOMPARE(Line, Copy);
    }

    // Every option combination on lines made of every character class the steps care about.
    void matchesTheStepByStepForm()
    {
        const QStringList Lines = {QString(), QStringLiteral(" "), QStringLiteral("\t \t"), QStringLiteral(" a\t\tB "),
                                   QString::fromUtf8("\u00A0Ä\u000B σ\u0001"), QStringLiteral("\r\n"),
                                   QString::fromUcs4(U" \U00010400\t")};
        for (int Bits = 0; Bits < 64; ++Bits)
            for (const QString& Line : Lines)
                QCOMPARE(NormalizeLine(Line, OptionsFromBits(Bits)), OracleNormalizeLine(Line, OptionsFromBits(Bits)));
    }

    void buildLineKeysKeepsOrderAndCount()
    {
        QStringList LeftKeys = {QStringLiteral("stale")}, RightKeys;
        BuildLineKeys({QStringLiteral(" A"), QString(), QStringLiteral("b ")}, {QStringLiteral("C")},
                      Opts({"case", "leading", "trailing"}), LeftKeys, RightKeys);
        QCOMPARE(LeftKeys, QStringList({QStringLiteral("a"), QString(), QStringLiteral("b")}));
        QCOMPARE(RightKeys, QStringList({QStringLiteral("c")}));
    }

    void blankLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("controls and spaces") << QStringLiteral("\x01\t \r") << true;
        QTest::newRow("no-break space") << QString(QChar(0xA0)) << false;
        QTest::newRow("text between spaces") << " x " << false;
    }
    void blankLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, blank);
        QCOMPARE(IsBlankLine(line), blank);
    }
};

QTEST_MAIN(TestEngineNormalize)
#include "tst_engine_normalize.moc"
