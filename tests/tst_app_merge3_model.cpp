// The merge window's model without a window: the aligned rows, which chunk a place in the result
// belongs to as the user types, the texts of the choices, the navigation, git's temporary names.

#include "mergewin/MergeModel.h"

#include <QtTest>

Q_DECLARE_METATYPE(TChunkStates)

namespace {

[[nodiscard]] TChunkStates States(std::initializer_list<int> Lengths)
{
    TChunkStates Result;
    for (int Length : Lengths)
        Result.append(TChunkState{Length});
    return Result;
}

[[nodiscard]] TMerge3Chunk Chunk(TMerge3ChunkKind Kind, int Base, int BaseCount, int Local, int LocalCount, int Remote,
                                 int RemoteCount)
{
    TMerge3Chunk C;
    C.Kind = Kind;
    C.BaseStart = Base;
    C.BaseCount = BaseCount;
    C.LocalStart = Local;
    C.LocalCount = LocalCount;
    C.RemoteStart = Remote;
    C.RemoteCount = RemoteCount;
    return C;
}

}   // namespace

class TestAppMerge3Model : public QObject
{
    Q_OBJECT
private slots:
    // Each chunk takes the rows of its longest side; sides are stacked from its first row.
    void alignsRows()
    {
        const QList<TMerge3Chunk> Chunks = {Chunk(mcUnchanged, 0, 2, 0, 2, 0, 2), Chunk(mcConflict, 2, 1, 2, 3, 2, 0),
                                            Chunk(mcLocal, 3, 1, 5, 0, 2, 1), Chunk(mcUnchanged, 4, 1, 5, 1, 3, 1)};
        const TMergeRows Rows = AlignMergeRows(Chunks);
        QCOMPARE(Rows.RowCount(), 1 + 2 + 3 + 1 + 1);
        QCOMPARE(Rows.FirstRow, (QVector<std::int32_t>{1, 3, 6, 7, 8}));
        QCOMPARE(Rows.Local, (QVector<std::int32_t>{-1, 0, 1, 2, 3, 4, -1, 5}));
        QCOMPARE(Rows.Base, (QVector<std::int32_t>{-1, 0, 1, 2, -1, -1, 3, 4}));
        QCOMPARE(Rows.Remote, (QVector<std::int32_t>{-1, 0, 1, -1, -1, -1, 2, 3}));
        QCOMPARE(Rows.Chunk, (QVector<std::int32_t>{-1, 0, 0, 1, 1, 1, 2, 3}));
    }

    // A change typed into the result: which chunks lose characters, which one takes the new ones,
    // and which count as edited by hand. Lengths 4 | 0 | 6 | 3 (an empty chunk at 4).
    void attributesChanges_data()
    {
        QTest::addColumn<int>("Position");
        QTest::addColumn<int>("Removed");
        QTest::addColumn<int>("Added");
        QTest::addColumn<QVector<int>>("Lengths");
        QTest::addColumn<QVector<int>>("Edited");
        QTest::newRow("typed inside the first") << 1 << 0 << 2 << QVector<int>{6, 0, 6, 3} << QVector<int>{1, 0, 0, 0};
        QTest::newRow("typed at a line start: that line's chunk, not the empty one before it")
            << 4 << 0 << 1 << QVector<int>{4, 0, 7, 3} << QVector<int>{0, 0, 1, 0};
        QTest::newRow("typed at the very end: the last chunk") << 13 << 0 << 1 << QVector<int>{4, 0, 6, 4}
                                                              << QVector<int>{0, 0, 0, 1};
        QTest::newRow("deleted across two") << 2 << 4 << 0 << QVector<int>{2, 0, 4, 3} << QVector<int>{1, 0, 1, 0};
        QTest::newRow("replaced across three") << 3 << 9 << 2 << QVector<int>{5, 0, 0, 1} << QVector<int>{1, 0, 1, 1};
        QTest::newRow("a whole chunk deleted") << 4 << 6 << 0 << QVector<int>{4, 0, 0, 3} << QVector<int>{0, 0, 1, 0};
    }
    void attributesChanges()
    {
        QFETCH(int, Position);
        QFETCH(int, Removed);
        QFETCH(int, Added);
        QFETCH(QVector<int>, Lengths);
        QFETCH(QVector<int>, Edited);
        TChunkStates S = States({4, 0, 6, 3});
        ApplyTextChange(S, Position, Removed, Added);
        QVector<int> GotLengths, GotEdited;
        for (const TChunkState& State : S) {
            GotLengths.append(State.Length);
            GotEdited.append(State.Edited ? 1 : 0);
        }
        QCOMPARE(GotLengths, Lengths);
        QCOMPARE(GotEdited, Edited);
    }

    // The lines of each choice; none gives git's markers for a conflict.
    void choiceLines()
    {
        const TMergeInputs In{{"x", "L1", "L2", "y"}, {"x", "B", "y"}, {"x", "R", "y"}};
        const TMerge3Chunk C = Chunk(mcConflict, 1, 1, 1, 2, 1, 1);
        TMerge3Markers M;
        M.LocalLabel = QStringLiteral("LOCAL");
        M.RemoteLabel = QStringLiteral("REMOTE");
        QCOMPARE(ChunkLines(In, C, TMergeChoice::Local, M), (QStringList{"L1", "L2"}));
        QCOMPARE(ChunkLines(In, C, TMergeChoice::Base, M), QStringList{"B"});
        QCOMPARE(ChunkLines(In, C, TMergeChoice::Remote, M), QStringList{"R"});
        QCOMPARE(ChunkLines(In, C, TMergeChoice::LocalThenRemote, M), (QStringList{"L1", "L2", "R"}));
        QCOMPARE(ChunkLines(In, C, TMergeChoice::RemoteThenLocal, M), (QStringList{"R", "L1", "L2"}));
        const QStringList Markers = ChunkLines(In, C, TMergeChoice::None, M);
        QCOMPARE(Markers, (QStringList{"<<<<<<< LOCAL", "L1", "L2", "=======", "R", ">>>>>>> REMOTE"}));
        QVERIFY(HoldsConflictMarkers(Markers));
        QVERIFY(!HoldsConflictMarkers(Markers.mid(0, 5)));   // a marker set cut short is text
        // Unresolved: untouched and unchosen, or edited with its markers still there.
        QVERIFY(IsUnresolved(C, TChunkState{}, {}));
        QVERIFY(!IsUnresolved(C, TChunkState{0, TMergeChoice::Base, false}, {}));
        QVERIFY(IsUnresolved(C, TChunkState{0, TMergeChoice::Base, true}, Markers));
        QVERIFY(!IsUnresolved(C, TChunkState{0, TMergeChoice::None, true}, {"L1", "R"}));
    }

    void gitTemporaryNames_data()
    {
        QTest::addColumn<QString>("Path");
        QTest::addColumn<QString>("Role");
        QTest::addColumn<QString>("Name");
        QTest::newRow("local") << "./src/main_LOCAL_12345.c" << "LOCAL" << "main.c";
        QTest::newRow("base, two dots") << "/tmp/a.b_BASE_7.txt" << "BASE" << "a.b.txt";
        QTest::newRow("remote, no extension") << "Makefile_REMOTE_99" << "REMOTE" << "Makefile";
        QTest::newRow("a plain name") << "local.txt" << "" << "";
        QTest::newRow("role without number") << "x_LOCAL.c" << "" << "";
    }
    void gitTemporaryNames()
    {
        QFETCH(QString, Path);
        QFETCH(QString, Role);
        QFETCH(QString, Name);
        const TGitTempName Got = GitTempName(Path);
        QCOMPARE(Got.Role, Role);
        QCOMPARE(Got.Name, Name);
    }

    void statusText()
    {
        QCOMPARE(MergeStatusText({3, 12, 2}), QStringLiteral("3 conflicts left \u00B7 12 changes merged \u00B7 2 resolved by a rule"));
    }
};

QTEST_MAIN(TestAppMerge3Model)
#include "tst_app_merge3_model.moc"
