#include "support/app/WindowDriver.h"

#include <QPlainTextEdit>
#include <QtTest>

// The rows after a background recompute, on files long enough that the refill writes the grid
// in place and keeps cells that already hold their string: every cell must still show what the
// new items and lines say, none may keep the text of the row before.
class TestWindowRefill : public QObject
{
    Q_OBJECT

    // Lines whose texts repeat rarely, with a change every 25 lines: an edited line, a dropped
    // one, an inserted one.
    static void MakeLines(int Count, QStringList& Left, QStringList& Right)
    {
        for (int I = 0; I < Count; ++I) {
            const QString Line = QStringLiteral("line %1 of the file").arg(I);
            Left << Line;
            switch (I % 25) {
            case 5: Right << Line + QStringLiteral(" edited"); break;
            case 12: break;
            case 19: Right << Line << QStringLiteral("inserted after %1").arg(I); break;
            default: Right << Line; break;
            }
        }
    }

    // Every row as the items and the lines say, the header and nothing beyond the last item.
    static void VerifyRows(TWindowDriver& D)
    {
        const TfrmMain& W = *D.Window;
        const TDiffGrid& Grid = *W.grdDiff;
        QCOMPARE(Grid.RowCount(), qMax<qsizetype>(W.FDiffItems.size() + 1, 2));
        QCOMPARE(D.Row(0), (QStringList{QString(), QString(), QString()}));
        for (qsizetype I = 0; I < W.FDiffItems.size(); ++I) {
            const TDiffItem& Item = W.FDiffItems[I];
            const QStringList Expected = {
                QString::number(I + 1),
                Item.LeftIndex >= 0 ? W.FLeftLines[Item.LeftIndex] : QString(),
                Item.RightIndex >= 0 ? W.FRightLines[Item.RightIndex] : QString(),
            };
            if (D.Row(int(I + 1)) != Expected)
                QFAIL(qPrintable(QStringLiteral("row %1: [%2] instead of [%3]")
                                     .arg(I + 1)
                                     .arg(D.Row(int(I + 1)).join(QStringLiteral(" | ")),
                                          Expected.join(QStringLiteral(" | ")))));
        }
    }

    static void SelectRow(TWindowDriver& D, int Row)
    {
        D.Window->grdDiff->SetRow(Row);
    }

private slots:
    void mergesUndosAndEditsRefillEveryChangedRow()
    {
        TWindowDriver D;
        QStringList Left, Right;
        MakeLines(400, Left, Right);
        D.CompareLines(Left, Right);
        VerifyRows(D);

        // A block merged each way, at the start and further down, then undone one by one.
        const QList<int> Blocks = {6, 150, 13};
        for (int Index = 0; Index < Blocks.size(); ++Index) {
            SelectRow(D, Blocks[Index]);
            D.Window->btnDiffNextClick();
            D.Click(Index % 2 == 0 ? "btnLeftToRight" : "btnRightToLeft");
            QVERIFY(D.WaitForRecompute());
            VerifyRows(D);
        }
        for (int Index = 0; Index < Blocks.size(); ++Index) {
            D.Click("btnUndo");
            QVERIFY(D.WaitForRecompute());
            VerifyRows(D);
        }

        // A line rewritten in place: only its row, and the rows its new alignment moves, change.
        for (const int Row : {3, 200, 390}) {
            D.Window->BeginCellEdit(1, Row);
            auto* Editor = D.Find<QPlainTextEdit>("FCellEditor");
            QVERIFY(Editor);
            Editor->setPlainText(QStringLiteral("rewritten at %1").arg(Row));
            D.Window->EndCellEdit(true);
            QVERIFY(D.WaitForRecompute());
            VerifyRows(D);
        }

        // The right side replaced by the left: every row becomes equal, with fewer rows.
        D.Click("btnAllLeftDiffsToRight");
        QVERIFY(D.WaitForRecompute());
        QCOMPARE(D.Window->FDiffItems.size(), D.Window->FLeftLines.size());
        VerifyRows(D);
        D.Click("btnUndo");
        QVERIFY(D.WaitForRecompute());
        VerifyRows(D);
    }
};

QTEST_MAIN(TestWindowRefill)
#include "tst_window_refill.moc"
