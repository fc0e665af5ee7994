#include "app/ComparisonSummary.h"
#include "app/PathHistory.h"
#include "app/RowNumbers.h"

#include <QtTest>

// The summary text, the path trimming and the two history rules, without a window.
class TestSummaryAndHistory : public QObject
{
    Q_OBJECT

    [[nodiscard]] static TDiffItems Items(const QString& Kinds)
    {
        TDiffItems Result;
        for (QChar K : Kinds) {
            TDiffItem Item;
            Item.LeftIndex = Item.RightIndex = int(Result.size());
            Item.Kind = K == u'=' ? dkEqual : K == u'<' ? dkLeftOnly : K == u'>' ? dkRightOnly : dkDifferent;
            Result.append(Item);
        }
        return Result;
    }

private slots:
    void summary_data()
    {
        QTest::addColumn<QString>("Kinds");
        QTest::addColumn<QString>("Locale");
        QTest::addColumn<QString>("Status");
        QTest::addColumn<QString>("Box");
        const QString P = QStringLiteral("2 lines (left file) vs 3 lines (right file).");
        QTest::newRow("two of three equal") << "==!" << "C" << P + " Equal lines: 2 of 3 (66.7%). Different lines: 1."
            << "Compared:\r\n" + P + "\r\nEqual lines: 2 of 3 (66.7%).\r\nDifferent lines: 1.";
        QTest::newRow("locale comma") << "==!" << "de_DE" << P + " Equal lines: 2 of 3 (66,7%). Different lines: 1."
            << "Compared:\r\n" + P + "\r\nEqual lines: 2 of 3 (66,7%).\r\nDifferent lines: 1.";
        QTest::newRow("all equal") << "====" << "C" << P + " Equal lines: 4 of 4 (100.0%). Different lines: 0."
            << "Compared:\r\n" + P + "\r\nEqual lines: 4 of 4 (100.0%).\r\nDifferent lines: 0.";
        QTest::newRow("none equal") << "<>!" << "C" << P + " Equal lines: 0 of 3 (0.0%). Different lines: 3."
            << "Compared:\r\n" + P + "\r\nEqual lines: 0 of 3 (0.0%).\r\nDifferent lines: 3.";
        // 1 of 16 is 6.25 exactly: the tie goes up.
        QTest::newRow("exact tie") << "=" + QString(15, u'!') << "C"
            << P + " Equal lines: 1 of 16 (6.3%). Different lines: 15."
            << "Compared:\r\n" + P + "\r\nEqual lines: 1 of 16 (6.3%).\r\nDifferent lines: 15.";
        QTest::newRow("nothing to compare") << "" << "C" << P + " No comparable lines." << "";
    }

    void summary()
    {
        QFETCH(QString, Kinds);
        QFETCH(QString, Locale);
        QFETCH(QString, Status);
        QFETCH(QString, Box);
        const QString Prefix = LineCountPrefix(2, 3);
        const TComparisonSummary Summary = MakeComparisonSummary(Prefix, Items(Kinds), QLocale(Locale));
        QCOMPARE(Summary.StatusText, Status);
        QCOMPARE(Summary.BoxText, Box);
    }

    void summaryKeepsPercentSignsOfThePrefix()
    {
        const QString Prefix = QStringLiteral("Failed: C:/100%1/%2 x.pdf");
        const TComparisonSummary Summary = MakeComparisonSummary(Prefix, Items(QStringLiteral("=!")), QLocale::c());
        QCOMPARE(Summary.StatusText, Prefix + " Equal lines: 1 of 2 (50.0%). Different lines: 1.");
    }

    void hasDifferences()
    {
        QVERIFY(!ItemsHaveDifferences({}));
        QVERIFY(!ItemsHaveDifferences(Items(QStringLiteral("==="))));
        QVERIFY(ItemsHaveDifferences(Items(QStringLiteral("==<"))));
        QVERIFY(ItemsHaveDifferences(Items(QStringLiteral(">"))));
    }

    void trimPath_data()
    {
        QTest::addColumn<QString>("Typed");
        QTest::addColumn<QString>("Trimmed");
        QTest::newRow("plain") << "/a/b.txt" << "/a/b.txt";
        QTest::newRow("blanks and tabs") << " \t/a/b.txt  " << "/a/b.txt";
        QTest::newRow("control characters") << QString::fromUtf16(u"\u0001\u001f/a b.txt\r\n") << "/a b.txt";
        QTest::newRow("inner blanks stay") << "  my file.txt " << "my file.txt";
        QTest::newRow("no-break space is not trimmed") << QString::fromUtf16(u"\u00a0x\u00a0") << QString::fromUtf16(u"\u00a0x\u00a0");
        QTest::newRow("only blanks") << " \t " << "";
    }

    void trimPath()
    {
        QFETCH(QString, Typed);
        QFETCH(QString, Trimmed);
        QCOMPARE(TrimPath(Typed), Trimmed);
    }

    void historyRules_data()
    {
        QTest::addColumn<QStringList>("Before");
        QTest::addColumn<QString>("Path");
        QTest::addColumn<QStringList>("Keeping");
        QTest::addColumn<QStringList>("Moving");
        const QStringList Abc{"/a", "/B", "/c"};
        QTest::newRow("new path goes on top") << Abc << "/d" << QStringList{"/d", "/a", "/B", "/c"}
                                              << QStringList{"/d", "/a", "/B", "/c"};
        QTest::newRow("same path") << Abc << "/c" << Abc << QStringList{"/c", "/a", "/B"};
        QTest::newRow("other letter case") << Abc << "/b" << Abc << QStringList{"/b", "/a", "/c"};
        QTest::newRow("empty history") << QStringList{} << "/x" << QStringList{"/x"} << QStringList{"/x"};
    }

    void historyRules()
    {
        QFETCH(QStringList, Before);
        QFETCH(QString, Path);
        QFETCH(QStringList, Keeping);
        QFETCH(QStringList, Moving);
        QStringList K = Before, M = Before;
        ApplyKeepingRule(K, Path);
        ApplyMovingRule(M, Path);
        QCOMPARE(K, Keeping);
        QCOMPARE(M, Moving);
    }

    void rowNumbers()
    {
        // Block and digit-count boundaries of the shared store, and values outside it.
        for (int Row : {1, 9, 10, 99, 100, 65535, 65536, 65537, 131073, 999999, 1000000, 1000001, 0, -3,
                        100000001})
            QCOMPARE(RowNumberText(Row), QString::number(Row));
        // A copy is an ordinary string: changing it leaves the store alone.
        QString Copy = RowNumberText(42);
        Copy[0] = u'7';
        QCOMPARE(RowNumberText(42), QStringLiteral("42"));
        QCOMPARE(Copy, QStringLiteral("72"));
    }

    void historyHoldsFiftyEntries()
    {
        QStringList K, M;
        for (int I = 1; I <= 51; ++I) {
            ApplyKeepingRule(K, QStringLiteral("/p%1").arg(I));
            ApplyMovingRule(M, QStringLiteral("/p%1").arg(I));
        }
        QCOMPARE(K.size(), 50);
        QCOMPARE(K.first(), QStringLiteral("/p51"));
        QCOMPARE(K.last(), QStringLiteral("/p2"));   // the oldest went
        QCOMPARE(M, K);
        // Moving an entry that is already there keeps the length.
        ApplyMovingRule(M, QStringLiteral("/P30"));
        QCOMPARE(M.size(), 50);
        QCOMPARE(M.first(), QStringLiteral("/P30"));
        QVERIFY(!M.contains(QStringLiteral("/p30")));
    }
};

QTEST_GUILESS_MAIN(TestSummaryAndHistory)
#include "tst_window_summary.moc"
