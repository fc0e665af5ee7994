#include "support/app/WindowDriver.h"

#include <QComboBox>
#include <QLabel>
#include <QSemaphore>
#include <QThreadPool>
#include <QtTest>

#include <new>
#include <stdexcept>

// Result rows of a text comparison and the background recompute, on the real window.
class TestWindowRows : public QObject
{
    Q_OBJECT

    // Holds the pool's only thread until released, so a test decides when the jobs run.
    struct TPoolGate
    {
        QSemaphore Release;
        QAtomicInt Started = 0;

        void Enqueue()
        {
            QThreadPool::globalInstance()->start([this] {
                Started.storeRelease(1);
                Release.acquire();
            });
        }
        [[nodiscard]] bool WaitStarted() { return QTest::qWaitFor([this] { return Started.loadAcquire() == 1; }, 10000); }
    };

    struct TView
    {
        TDiffItems Items;
        QList<QStringList> Rows;
        QString Status;
        bool InProgress = false;
        bool FolderMode = false;
        int PointerChanges = 0;
        bool operator==(const TView&) const = default;
    };

    static TView ViewOf(TWindowDriver& D)
    {
        TView V;
        V.Items = D.Window->FDiffItems;
        for (int R = 0; R < D.Window->grdDiff->RowCount(); ++R)
            V.Rows.append(D.Row(R));
        V.Status = D.Find<QLabel>("lblStatus")->text();
        V.InProgress = D.Window->FDiffRecomputeInProgress;
        V.FolderMode = D.Window->FFolderMode;
        V.PointerChanges = int(D.Platform.PointerChanges.size());
        return V;
    }

    static QList<QStringList> BodyRows(TWindowDriver& D)
    {
        QList<QStringList> Rows;
        for (int R = 1; R < D.Window->grdDiff->RowCount(); ++R)
            Rows.append(D.Row(R));
        return Rows;
    }

private slots:
    void init()
    {
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone();
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    }

    void rowModel_data()
    {
        QTest::addColumn<QStringList>("Left");
        QTest::addColumn<QStringList>("Right");
        QTest::addColumn<QList<QStringList>>("Rows");
        QTest::newRow("one changed line") << QStringList{"a", "b", "c"} << QStringList{"a", "x", "c"}
            << QList<QStringList>{{"1", "a", "a"}, {"2", "b", "x"}, {"3", "c", "c"}};
        QTest::newRow("left side empty") << QStringList{} << QStringList{"p", "q", "r"}
            << QList<QStringList>{{"1", "", "p"}, {"2", "", "q"}, {"3", "", "r"}};
        QTest::newRow("right side empty") << QStringList{"p"} << QStringList{}
            << QList<QStringList>{{"1", "p", ""}};
        QTest::newRow("both empty: the placeholder row") << QStringList{} << QStringList{}
            << QList<QStringList>{{"", "", ""}};
    }

    void rowModel()
    {
        QFETCH(QStringList, Left);
        QFETCH(QStringList, Right);
        QFETCH(QList<QStringList>, Rows);
        TWindowDriver D;
        D.Window->FLeftLines = {"stale"};
        D.Window->FRightLines = {"rows"};
        D.Window->RunDiff();
        D.Window->FLeftLines = Left;
        D.Window->FRightLines = Right;
        D.Window->RunDiff();
        QCOMPARE(BodyRows(D), Rows);
        QCOMPARE(D.Row(0), (QStringList{"", "", ""}));
        QCOMPARE(D.Window->grdDiff->RowCount(), int(Rows.size()) + 1);
        QCOMPARE(D.Window->FDiffItems.size(), Left.isEmpty() && Right.isEmpty() ? 0 : Rows.size());
    }

    void runDiffEndsTheBusyPointerAndStalesOutstandingRequests()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"a"};
        W.FRightLines = {"b"};
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        TPoolGate Gate;
        Gate.Enqueue();
        W.RecomputeDiffAsync();
        W.FFolderMode = true;
        D.Platform.SetPointer(TPointer::Hourglass);
        W.FLeftLines = {"c"};
        W.RunDiff();
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QVERIFY(!W.FFolderMode);
        QVERIFY(!W.FDiffRecomputeInProgress);
        QCOMPARE(D.Row(1), (QStringList{"1", "c", "b"}));
        Gate.Release.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(D.Row(1), (QStringList{"1", "c", "b"}));   // the old request's "a" never lands
    }

    void fillChecksEveryIndexAgainstTheLists()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"l0"};
        W.FRightLines = {"r0", "r1"};
        W.FDiffItems = {TDiffItem{0, 0, dkEqual}, TDiffItem{5, 1, dkDifferent}, TDiffItem{-1, 9, dkRightOnly},
                        TDiffItem{-7, -1, dkLeftOnly}};
        W.FillDiffGrid();
        QCOMPARE(BodyRows(D), (QList<QStringList>{{"1", "l0", "r0"}, {"2", "", "r1"}, {"3", "", ""}, {"4", "", ""}}));
        W.FDiffItems.clear();
        W.FillDiffGrid();
        QCOMPARE(W.grdDiff->RowCount(), 2);
        QCOMPARE(D.Row(1), (QStringList{"", "", ""}));
        W.grdDiff->viewport()->repaint();   // painting the leftovers must not fail either
    }

    void recomputeAppliesAndWritesTheStatus()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"a", "b"};
        W.FRightLines = {"a", "c", "d"};
        W.fIgnoreCase = true;
        D.Platform.SetPointer(TPointer::AppStarting);   // as a merge does before it asks
        W.RecomputeDiffAsync();
        QVERIFY(W.FDiffRecomputeInProgress);
        QCOMPARE(W.FDiffRecomputeJobId, 1);
        QVERIFY(D.WaitForRecompute());
        QCOMPARE(W.FDiffItems, ComputeDiff(W.FLeftLines, W.FRightLines, TDiffOptions{true}));
        QCOMPARE(BodyRows(D).size(), W.FDiffItems.size());
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QVERIFY(D.Platform.Messages.isEmpty());   // never a box after a recompute
        QVERIFY(D.Find<QLabel>("lblStatus")->text().startsWith(QStringLiteral("2 lines (left file) vs 3 lines (right file). Equal lines: 1 of 3")));
    }

    void overlappingRequestsOnlyTheNewestApplies()
    {
        // The first job is slow and the second quick: the second lands first, the first is dropped.
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        QStringList Big, BigOther;
        for (int I = 0; I < 40000; ++I) {
            Big.append(QStringLiteral("line %1").arg(I));
            BigOther.append(QStringLiteral("line %1").arg(I % 7 == 0 ? -I : I));
        }
        W.FLeftLines = Big;
        W.FRightLines = BigOther;
        W.RecomputeDiffAsync();
        W.FLeftLines = {"x", "y"};
        W.FRightLines = {"x", "z"};
        W.RecomputeDiffAsync();
        QCOMPARE(W.FDiffRecomputeJobId, 2);
        QVERIFY(D.WaitForRecompute());
        const TView Applied = ViewOf(D);
        QCOMPARE(BodyRows(D), (QList<QStringList>{{"1", "x", "x"}, {"2", "y", "z"}}));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(ViewOf(D), Applied);
    }

    void inProgressClearsOnlyWithTheNewestHandBack()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"old"};
        W.FRightLines = {"old"};
        W.RunDiff();
        W.ShowComparisonSummary(QStringLiteral("before."), false);

        QThreadPool::globalInstance()->setMaxThreadCount(1);
        TPoolGate First, Between;
        First.Enqueue();
        W.FLeftLines = {"first"};
        W.RecomputeDiffAsync();
        Between.Enqueue();
        W.FLeftLines = {"second", "line"};
        W.RecomputeDiffAsync();
        const TView Before = ViewOf(D);
        QVERIFY(Before.InProgress);

        // Job 1 runs and hands back while job 2 still waits: the stale hand-back changes nothing.
        First.Release.release();
        QVERIFY(Between.WaitStarted());
        QCoreApplication::processEvents();
        QCOMPARE(ViewOf(D), Before);
        QVERIFY(W.FDiffRecomputeInProgress);

        Between.Release.release();
        QVERIFY(D.WaitForRecompute());
        QCOMPARE(BodyRows(D), (QList<QStringList>{{"1", "second", "old"}, {"2", "line", ""}}));
    }

    // A computation that fails in the background ends the busy state and says so in words; the
    // lines stay.
    void failedRecomputeEndsBusyStateWithAnError_data()
    {
        QTest::addColumn<bool>("OutOfMemory");
        QTest::addColumn<QString>("Message");
        QTest::newRow("out of memory") << true << "error: Not enough memory to compare these files (/w/left.txt and /w/right.txt).";
        QTest::newRow("other failure") << false << "error: The differences could not be computed again (boom).";
    }

    void failedRecomputeEndsBusyStateWithAnError()
    {
        QFETCH(bool, OutOfMemory);
        QFETCH(QString, Message);
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.cmbLeft->setEditText(QStringLiteral("/w/left.txt"));
        W.cmbRight->setEditText(QStringLiteral("/w/right.txt"));
        W.FLeftLines = {"a", "b"};
        W.FRightLines = {"a", "c"};
        W.RunDiff();
        if (OutOfMemory)
            W.FRecomputeDiff = [](const QStringList&, const QStringList&, const TDiffOptions&) -> TDiffItems {
                throw std::bad_alloc();
            };
        else
            W.FRecomputeDiff = [](const QStringList&, const QStringList&, const TDiffOptions&) -> TDiffItems {
                throw std::runtime_error("boom");
            };
        D.Platform.SetPointer(TPointer::AppStarting);
        W.FRightLines = {"a", "b"};
        W.RecomputeDiffAsync();
        QVERIFY(D.WaitForRecompute());
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.Platform.Log(), QStringList{Message});
        QVERIFY(W.FDiffItems.isEmpty());
        QCOMPARE(W.FRightLines, (QStringList{"a", "b"}));
    }

    // A command that runs out of memory (a comparison, a merge) says so in words, naming the files.
    void commandOutOfMemoryIsToldInWords()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.cmbLeft->setEditText(QStringLiteral("/w/left.txt"));
        W.cmbRight->setEditText(QStringLiteral("/w/right.txt"));
        W.RunCommand([] { throw std::bad_alloc(); });
        QCOMPARE(D.Platform.Log(),
                 QStringList{"error: Not enough memory to compare these files (/w/left.txt and /w/right.txt)."});
    }

    void staleHandBackChangesNothing()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"a"};
        W.FRightLines = {"b"};
        W.RecomputeDiffAsync();
        W.RecomputeDiffAsync();
        QVERIFY(D.WaitForRecompute());
        const TView Before = ViewOf(D);
        W.DiffRecomputeHandBack(1, {TDiffItem{0, -1, dkLeftOnly}});
        W.DiffRecomputeHandBack(W.FDiffRecomputeJobId - 1, {});
        QCOMPARE(ViewOf(D), Before);
    }

    void aComparisonMakesOutstandingRequestsStale()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"merged", "text"};
        W.FRightLines = {"other"};
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        TPoolGate Gate;
        Gate.Enqueue();
        W.RecomputeDiffAsync();

        const QString A = D.WriteLines(QStringLiteral("a.txt"), {"fresh"});
        const QString B = D.WriteLines(QStringLiteral("b.txt"), {"fresh", "file"});
        D.SetPaths(A, B);
        D.Trigger("miAsTextFiles1");
        QVERIFY(!W.FDiffRecomputeInProgress);
        const TView Compared = ViewOf(D);

        Gate.Release.release();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(ViewOf(D), Compared);
        QCOMPARE(BodyRows(D), (QList<QStringList>{{"1", "fresh", "fresh"}, {"2", "", "file"}}));
    }

    void recomputeOfTwoEmptyListsEmptiesTheRows()
    {
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        W.FLeftLines = {"a"};
        W.FRightLines = {"b"};
        W.RunDiff();
        W.FLeftLines.clear();
        W.FRightLines.clear();
        D.Platform.SetPointer(TPointer::AppStarting);
        W.RecomputeDiffAsync();
        QVERIFY(!W.FDiffRecomputeInProgress);
        QVERIFY(W.FDiffItems.isEmpty());
        QCOMPARE(BodyRows(D), (QList<QStringList>{{"", "", ""}}));
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QCOMPARE(D.Find<QLabel>("lblStatus")->text(),
                 QStringLiteral("0 lines (left file) vs 0 lines (right file). No comparable lines."));
    }

    void handBackAfterTheWindowIsGone()
    {
        auto D = std::make_unique<TWindowDriver>();
        QStringList Many;
        for (int I = 0; I < 20000; ++I)
            Many.append(QString::number(I * 3 % 1001));
        D->Window->FLeftLines = Many;
        D->Window->FRightLines = Many.mid(5);
        D->Window->RecomputeDiffAsync();
        D->Window.reset();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();   // the queued hand-back finds no window and does nothing
        QVERIFY(true);
    }
};

QTEST_MAIN(TestWindowRows)
#include "tst_window_rows.moc"
