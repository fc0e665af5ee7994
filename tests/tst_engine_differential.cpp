#include "engine/LineAlign.h"
#include "support/engine/DiffOracle.h"
#include "support/engine/RandomLines.h"

#include <QtTest>

using namespace quorlane::test;

Q_DECLARE_METATYPE(TAlignTuning)

namespace {

struct TCase {
    QStringList Left, Right;
    TDiffOptions Options;
};

// The engine's items, or its exception's message as a description.
QString EngineItems(const TCase& C, const TAlignTuning& Tuning)
{
    try {
        return DescribeItems(ComputeDiffTuned(C.Left, C.Right, C.Options, Tuning));
    } catch (const std::exception& E) {
        return QStringLiteral("threw: ") + QString::fromUtf8(E.what());
    }
}

bool Agrees(const TCase& C, const TAlignTuning& Tuning)
{
    try {
        return ComputeDiffTuned(C.Left, C.Right, C.Options, Tuning) == OracleComputeDiff(C.Left, C.Right, C.Options);
    } catch (const std::exception&) {
        return false;
    }
}

// Deletes runs of lines, then single lines, while the engine still disagrees with the oracle;
// gives up after a minute (large failing inputs cost the oracle much per try).
TCase Shrink(TCase C, const TAlignTuning& Tuning)
{
    QElapsedTimer Spent;
    Spent.start();
    for (qsizetype Run = std::max(C.Left.size(), C.Right.size()) / 2; Run >= 1; Run /= 2) {
        for (bool Progress = true; Progress && Spent.elapsed() < 60000;) {
            Progress = false;
            for (QStringList* Side : {&C.Left, &C.Right}) {
                for (qsizetype I = Side->size() - Run; I >= 0 && Spent.elapsed() < 60000; I -= Run) {
                    const QStringList Removed = Side->mid(I, Run);
                    Side->remove(I, Run);
                    if (Agrees(C, Tuning)) {
                        for (qsizetype K = 0; K < Removed.size(); ++K)
                            Side->insert(I + K, Removed[K]);
                    } else {
                        Progress = true;
                    }
                }
            }
        }
    }
    return C;
}

QString Report(const TCase& Failing, const TAlignTuning& Tuning)
{
    const TCase C = Shrink(Failing, Tuning);
    return QStringLiteral("engine and oracle differ (shrunk from %1/%2 lines)\noptions: %3\nleft:\n%4\nright:\n%5\n"
                          "oracle: %6\nengine: %7")
        .arg(Failing.Left.size()).arg(Failing.Right.size())
        .arg(DescribeOptions(C.Options), DescribeLines(C.Left), DescribeLines(C.Right),
             DescribeItems(OracleComputeDiff(C.Left, C.Right, C.Options)),
             EngineItems(C, Tuning));
}

// Stops the test function at the first disagreement, with the shrunk input.
#define CHECK_AGREES(Case, Tuning)                                                                          \
    do {                                                                                                   \
        const TCase C_ = (Case);                                                                           \
        if (!Agrees(C_, Tuning))                                                                           \
            QFAIL(qPrintable(Report(C_, Tuning)));                                                         \
    } while (false)

// Every path of the fast alignment, forced on small input: the results must never change.
void AddTuningRows()
{
    QTest::addColumn<TAlignTuning>("tuning");
    TAlignTuning Tuning;
    QTest::newRow("default") << Tuning;
    Tuning = {};
    Tuning.RowStep = TAlignTuning::TRowStep::AlwaysDense;
    QTest::newRow("dense rows") << Tuning;
    Tuning.MaskMinCount = 1;
    QTest::newRow("dense rows, masks for most keys") << Tuning;
    Tuning = {};
    Tuning.RowStep = TAlignTuning::TRowStep::AlwaysSparse;
    QTest::newRow("sparse rows") << Tuning;
    Tuning = {};
    Tuning.Band = false;
    QTest::newRow("no band") << Tuning;
    Tuning = {};
    Tuning.TopBandSlack = 0;
    Tuning.ParallelMinWork = 0;
    Tuning.ParallelMinLines = 0;
    QTest::newRow("narrowest first band, threads everywhere") << Tuning;
    Tuning = {};
    Tuning.TopBandSlack = 0;
    Tuning.WidenToFoundLength = true;
    QTest::newRow("narrowest first band, widened to the length it found") << Tuning;
    Tuning = {};
    Tuning.RowStep = TAlignTuning::TRowStep::AlwaysSparse;
    Tuning.TopBandSlack = 1;
    Tuning.ParallelMinWork = 0;
    Tuning.ParallelMinLines = 0;
    QTest::newRow("sparse rows, threads everywhere") << Tuning;
}

} // namespace

class TestEngineDifferential : public QObject
{
    Q_OBJECT
private slots:
    void smallTieHeavyInputs_data() { AddTuningRows(); }
    void smallTieHeavyInputs()
    {
        QFETCH(TAlignTuning, tuning);
        QRandomGenerator Rng(20261210);
        for (int Round = 0; Round < 4 * 64 * 12; ++Round) {
            const TLinePair P = RandomTiePair(Rng, 2 + Round % 24, 1 + Rng.bounded(6));
            CHECK_AGREES((TCase{P.Left, P.Right, OptionsFromBits(Round % 64)}), tuning);
        }
    }

    void oneSideEmpty_data() { AddTuningRows(); }
    void oneSideEmpty()
    {
        QFETCH(TAlignTuning, tuning);
        QRandomGenerator Rng(7);
        for (int Bits = 0; Bits < 64; ++Bits) {
            const TLinePair P = RandomTiePair(Rng, 12, 4);
            CHECK_AGREES((TCase{P.Left, {}, OptionsFromBits(Bits)}), tuning);
            CHECK_AGREES((TCase{{}, P.Right, OptionsFromBits(Bits)}), tuning);
            CHECK_AGREES((TCase{{}, {}, OptionsFromBits(Bits)}), tuning);
        }
    }

    // Sizes beyond the word width, the default band slack and the thread threshold, so the
    // banded, bit-parallel and threaded paths run as they do on real files.
    void largerInputs_data() { AddTuningRows(); }
    void largerInputs()
    {
        QFETCH(TAlignTuning, tuning);
        QRandomGenerator Rng(4242);
        for (int Round = 0; Round < 10; ++Round) {
            const TDiffOptions Options = OptionsFromBits(Rng.bounded(64));
            const int Lines = 200 + Rng.bounded(Round < 8 ? 600 : 2500);
            TLinePair P;
            if (Round % 2 == 0) {
                // Few distinct lines: long rows of ties, dense steps.
                QStringList Distinct;
                for (int I = 0; I < 3 + Round; ++I)
                    Distinct << RandomTrickyLine(Rng, 3);
                auto Draw = [&] { return Distinct[Rng.bounded(int(Distinct.size()))]; };
                for (int I = 0; I < Lines; ++I)
                    P.Left << Draw();
                P.Right = EditLines(Rng, P.Left, 0.02 + 0.1 * Rng.generateDouble(), Draw);
                // Blocks longer than a word of the bit row, so carries cross whole words.
                for (int Block = 0; Block < Round % 3; ++Block) {
                    QStringList& Side = Rng.bounded(2) ? P.Left : P.Right;
                    const qsizetype At = Rng.bounded(int(Side.size()) + 1);
                    const QString Filler = RandomTrickyLine(Rng, 5) + QStringLiteral("#");
                    for (int K = 70 + Rng.bounded(130); K > 0; --K)
                        Side.insert(At, Filler);
                }
            } else {
                // Mostly distinct lines with edits and some repeats: sparse steps, narrow bands.
                P.Left = DistinctLines(Rng, Lines);
                for (int I = 0; I < Lines / 20; ++I)
                    P.Left[Rng.bounded(Lines)] = (I % 2) ? QString() : QStringLiteral("}");
                P.Right = EditLines(Rng, P.Left, Round == 9 ? 0.5 : 0.05, [&] { return DistinctLines(Rng, 1)[0]; });
            }
            CHECK_AGREES((TCase{P.Left, P.Right, Options}), tuning);
            CHECK_AGREES((TCase{P.Right, P.Left, Options}), tuning);
        }
    }

    // Enough lines for the keys to be numbered on two threads: equal numbers exactly for equal
    // keys, under options that change the keys and without.
    void keyNumbersFollowKeys()
    {
        QRandomGenerator Rng(31);
        QStringList Left = DistinctLines(Rng, 40000), Right;
        for (int I = 0; I < 40000; ++I)
            Right << (I % 3 ? Left[Rng.bounded(40000)] : RandomTrickyLine(Rng, 6));
        for (const TDiffOptions& Options : {TDiffOptions{}, OptionsFromBits(63), OptionsFromBits(1 | 4)}) {
            const TLineIds Ids = BuildLineIds(Left, Right, Options);
            QHash<QString, std::int32_t> IdOfKey;
            QHash<std::int32_t, QString> KeyOfId;
            auto Check = [&](const QStringList& Lines, const std::vector<std::int32_t>& Numbers) {
                QCOMPARE(qsizetype(Numbers.size()), Lines.size());
                for (qsizetype I = 0; I < Lines.size(); ++I) {
                    const QString Key = OracleNormalizeLine(Lines[I], Options);
                    const std::int32_t Id = Numbers[std::size_t(I)];
                    QVERIFY(Id >= 0 && Id < Ids.Count);
                    QCOMPARE(IdOfKey.value(Key, Id), Id);
                    QCOMPARE(KeyOfId.value(Id, Key), Key);
                    IdOfKey.insert(Key, Id);
                    KeyOfId.insert(Id, Key);
                }
            };
            Check(Left, Ids.Left);
            Check(Right, Ids.Right);
        }
    }

    // A match far below the only zero bit of a row wider than 64 words: the carry has to jump
    // over whole runs of untouched words.
    void farJumps()
    {
        const QStringList Junk(4200, QStringLiteral("junk"));
        const QStringList Shapes[][2] = {
            {{"b", "a", "x", "y"}, QStringList{"a"} + Junk + QStringList{"b"}},
            {{"a", "b", "x", "y"}, QStringList{"b"} + Junk + QStringList{"a"}},
            {{"x", "y", "b", "a"}, QStringList{"a"} + Junk + QStringList{"b"}},
            {{"b", "a", "x", "y", "b", "a"}, QStringList{"a"} + Junk + QStringList{"b", "a"} + Junk + QStringList{"b"}},
        };
        for (const auto& Shape : Shapes) {
            CHECK_AGREES((TCase{Shape[0], Shape[1], {}}), TAlignTuning{});
            CHECK_AGREES((TCase{Shape[1], Shape[0], {}}), TAlignTuning{});
        }
    }

    // A block moved far away: the cheap bound on the common length is loose, so the top band
    // has to widen until it confirms itself; rows wider than 64 words, so the search for the
    // next zero bit goes through the summary.
    void movedBlock()
    {
        QRandomGenerator Rng(99);
        const QStringList Base = DistinctLines(Rng, 4600);
        const QStringList Moved = EditLines(Rng, Base.mid(2100) + Base.mid(0, 2100), 0.05,
                                            [&] { return DistinctLines(Rng, 1)[0]; });
        CHECK_AGREES((TCase{Base, Moved, {}}), TAlignTuning{});
        TAlignTuning Narrow;
        Narrow.TopBandSlack = 0;
        Narrow.RowStep = TAlignTuning::TRowStep::AlwaysSparse;
        CHECK_AGREES((TCase{Moved, Base, {}}), Narrow);
        Narrow.WidenToFoundLength = true;
        CHECK_AGREES((TCase{Moved, Base, {}}), Narrow);
    }
};

QTEST_MAIN(TestEngineDifferential)
#include "tst_engine_differential.moc"
