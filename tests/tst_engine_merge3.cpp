// The three-way merge: git's rules on small triples (checked against git merge-file), the extra
// rules, the chunk model's invariants and properties on random triples, the engine against the
// plain oracle under every option set, and the conflict-marker parser.

#include "merge3/Merge3.h"
#include "support/engine/DiffOracle.h"
#include "support/engine/Merge3Oracle.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace quorlane::test;

namespace {

// "a b c" → three lines; "_" is an empty line; "" is no lines.
QStringList L(const QString& Words)
{
    QStringList Lines = Words.split(u' ', Qt::SkipEmptyParts);
    for (QString& Line : Lines)
        if (Line == QLatin1String("_"))
            Line.clear();
        else
            Line.replace(u'~', u' ');
    return Lines;
}

TMerge3Markers Labels(TMerge3Style Style = TMerge3Style::Merge)
{
    TMerge3Markers M;
    M.LocalLabel = QStringLiteral("L");
    M.BaseLabel = QStringLiteral("B");
    M.RemoteLabel = QStringLiteral("R");
    M.Style = Style;
    return M;
}

TMerge3Options NoRules(TMerge3Style Style = TMerge3Style::Merge)
{
    TMerge3Options O;
    O.Style = Style;
    O.ResolveWhiteSpace = O.ResolveContainedInsert = O.ResolveAdjacent = false;
    return O;
}

QString Joined(const QStringList& Lines)
{
    return Lines.join(u'/');
}

// The chunks cover all three texts in order, and each kind holds what it says.
QString ChunkProblem(const QStringList& Base, const QStringList& Local, const QStringList& Remote,
                     const TMerge3Result& R, const TDiffOptions& D)
{
    int B = 0, Lo = 0, Re = 0, Conflicts = 0, ByRule = 0;
    const auto Same = [&](const QStringList& X, int XS, const QStringList& Y, int YS, int N) {
        for (int K = 0; K < N; ++K)
            if (NormalizeLine(X[XS + K], D) != NormalizeLine(Y[YS + K], D))
                return false;
        return true;
    };
    for (const TMerge3Chunk& C : R.Chunks) {
        if (C.BaseStart != B || C.LocalStart != Lo || C.RemoteStart != Re)
            return QStringLiteral("chunk does not start where the one before ended");
        if (C.BaseCount < 0 || C.LocalCount < 0 || C.RemoteCount < 0
            || (C.BaseCount == 0 && C.LocalCount == 0 && C.RemoteCount == 0))
            return QStringLiteral("empty or negative chunk");
        switch (C.Kind) {
        case mcUnchanged:
            if (C.Rule != mrNone || C.BaseCount != C.LocalCount || C.LocalCount != C.RemoteCount
                || !Same(Base, C.BaseStart, Local, C.LocalStart, C.LocalCount)
                || !Same(Base, C.BaseStart, Remote, C.RemoteStart, C.RemoteCount))
                return QStringLiteral("unchanged chunk that changed");
            break;
        case mcBoth:
            if (C.LocalCount != C.RemoteCount || !Same(Local, C.LocalStart, Remote, C.RemoteStart, C.LocalCount))
                return QStringLiteral("both-sides chunk whose sides differ");
            break;
        case mcLocal:
        case mcRemote:
            if (C.Rule == mrOneSide) {
                const bool L = C.Kind == mcLocal;
                const QStringList& Other = L ? Remote : Local;
                const int OS = L ? C.RemoteStart : C.LocalStart, OC = L ? C.RemoteCount : C.LocalCount;
                if (OC != C.BaseCount || !Same(Base, C.BaseStart, Other, OS, OC))
                    return QStringLiteral("one-side chunk whose other side changed");
            }
            if (C.Rule == mrNone)
                return QStringLiteral("resolved chunk without a rule");
            break;
        case mcConflict:
            ++Conflicts;
            if (C.Rule != mrNone)
                return QStringLiteral("conflict with a rule");
            break;
        }
        ByRule += IsExtraRule(C.Rule);
        B += C.BaseCount;
        Lo += C.LocalCount;
        Re += C.RemoteCount;
    }
    if (B != Base.size() || Lo != Local.size() || Re != Remote.size())
        return QStringLiteral("chunks end at %1/%2/%3").arg(B).arg(Lo).arg(Re);
    if (Conflicts != R.Conflicts || ByRule != R.ResolvedByRule)
        return QStringLiteral("counts do not match the chunks");
    return {};
}

// Lines that provoke ties, white-space variants and lines without letters.
QString RandomLine(QRandomGenerator& Rng)
{
    static const char* const Pool[] = {"a", "b", "c", "d", "e", "x1", "y2", "}", "{", "", "  ",
                                       "a ", " a", "A", "f(x)", "f( x )", "\tb", "z"};
    return QString::fromLatin1(Pool[Rng.bounded(int(std::size(Pool)))]);
}

QStringList RandomEdit(QRandomGenerator& Rng, const QStringList& Base)
{
    QStringList Out = Base;
    const int Edits = Rng.bounded(5);
    for (int E = 0; E < Edits; ++E) {
        const int At = Rng.bounded(int(Out.size()) + 1);
        switch (Rng.bounded(3)) {
        case 0:
            if (At < Out.size())
                Out[At] = RandomLine(Rng);
            break;
        case 1:
            for (int K = Rng.bounded(1, 4); K > 0; --K)
                Out.insert(At, RandomLine(Rng));
            break;
        default:
            if (At < Out.size())
                Out.remove(At, std::min<qsizetype>(Rng.bounded(1, 3), Out.size() - At));
            break;
        }
    }
    return Out;
}

struct TTriple {
    QStringList Base, Local, Remote;
};

TTriple RandomTriple(QRandomGenerator& Rng)
{
    TTriple T;
    for (int K = Rng.bounded(14); K > 0; --K)
        T.Base.append(RandomLine(Rng));
    T.Local = RandomEdit(Rng, T.Base);
    T.Remote = RandomEdit(Rng, T.Base);
    return T;
}

QString DescribeTriple(const TTriple& T)
{
    return QStringLiteral("base:\n%1\nlocal:\n%2\nremote:\n%3")
        .arg(DescribeLines(T.Base), DescribeLines(T.Local), DescribeLines(T.Remote));
}

} // namespace

class TestMerge3 : public QObject {
    Q_OBJECT

private slots:
    void gitRules_data();
    void gitRules();
    void extraRules_data();
    void extraRules();
    void favouredSide_data();
    void favouredSide();
    void splitConflictChunks();
    void finalBreak_data();
    void finalBreak();
    void propertiesOnRandomTriples();
    void engineAgreesWithOracle();
    void markersParseBack();
    void parser_data();
    void parser();
};

// Every expected text here is what git merge-file -L L -L B -L R writes for the same files.
void TestMerge3::gitRules_data()
{
    QTest::addColumn<QString>("Base");
    QTest::addColumn<QString>("Local");
    QTest::addColumn<QString>("Remote");
    QTest::addColumn<int>("Style");
    QTest::addColumn<QString>("Expected");
    QTest::addColumn<int>("Conflicts");

    QTest::newRow("only local changed") << "a b c" << "a X c" << "a b c" << 0 << "a/X/c" << 0;
    QTest::newRow("only remote changed") << "a b c" << "a b c" << "a Y c" << 0 << "a/Y/c" << 0;
    QTest::newRow("the same change") << "a b c" << "a X c" << "a X c" << 0 << "a/X/c" << 0;
    QTest::newRow("one line changed apart") << "a b c" << "a X c" << "a Y c" << 0
                                            << "a/<<<<<<< L/X/=======/Y/>>>>>>> R/c" << 1;
    QTest::newRow("touching changes conflict") << "a b c d" << "a X c d" << "a b Y d" << 0
                                               << "a/<<<<<<< L/X/c/=======/b/Y/>>>>>>> R/d" << 1;
    QTest::newRow("insertion at a change's edge") << "a b c" << "a N b c" << "a B c" << 0
                                                  << "a/<<<<<<< L/N/b/=======/B/>>>>>>> R/c" << 1;
    QTest::newRow("deletion against change") << "a b c" << "a c" << "a B c" << 0
                                             << "a/<<<<<<< L/=======/B/>>>>>>> R/c" << 1;
    QTest::newRow("one line between joins") << "a b c d e" << "a 1 c 2 e" << "a 3 c 4 e" << 0
                                            << "a/<<<<<<< L/1/c/2/=======/3/c/4/>>>>>>> R/e" << 1;
    QTest::newRow("four lines between keep apart")
        << "a b c d e f g h" << "a 1 c d e f 2 h" << "a 3 c d e f 4 h" << 0
        << "a/<<<<<<< L/1/=======/3/>>>>>>> R/c/d/e/f/<<<<<<< L/2/=======/4/>>>>>>> R/h" << 2;
    QTest::newRow("four lines without letters join")
        << "a b } } } } g h" << "a 1 } } } } 2 h" << "a 3 } } } } 4 h" << 0
        << "a/<<<<<<< L/1/}/}/}/}/2/=======/3/}/}/}/}/4/>>>>>>> R/h" << 1;
    QTest::newRow("common lines leave the conflict")
        << "a b c" << "a X m1 m2 m3 m4 Y c" << "a Z m1 m2 m3 m4 W c" << 0
        << "a/<<<<<<< L/X/=======/Z/>>>>>>> R/m1/m2/m3/m4/<<<<<<< L/Y/=======/W/>>>>>>> R/c" << 2;
    QTest::newRow("diff3 keeps the conflict whole")
        << "a b c" << "a X m1 m2 m3 m4 Y c" << "a Z m1 m2 m3 m4 W c" << 1
        << "a/<<<<<<< L/X/m1/m2/m3/m4/Y/||||||| B/b/=======/Z/m1/m2/m3/m4/W/>>>>>>> R/c" << 1;
    QTest::newRow("zdiff3 moves common ends out") << "a b c" << "a p X q c" << "a p Y q c" << 2
                                                  << "a/p/<<<<<<< L/X/||||||| B/b/=======/Y/>>>>>>> R/q/c" << 1;
    QTest::newRow("insertions, one containing the other")
        << "a c" << "a b1 c" << "a b1 b2 c" << 0 << "a/b1/<<<<<<< L/=======/b2/>>>>>>> R/c" << 1;
    // The insertion "s p x" could stand after either "s": it joins the change above it, as git
    // slides it, instead of touching Remote's change below.
    QTest::newRow("insertion slid to the change it borders") << "s a s b c" << "s A s p x s b c" << "s a s B c" << 0
                                                             << "s/A/s/p/x/s/B/c" << 0;
    QTest::newRow("add/add") << "" << "x y" << "x z" << 0 << "x/<<<<<<< L/y/=======/z/>>>>>>> R" << 1;
    QTest::newRow("empty all") << "" << "" << "" << 0 << "" << 0;
    QTest::newRow("both deleted everything") << "a b" << "" << "" << 0 << "" << 0;
}

void TestMerge3::gitRules()
{
    QFETCH(QString, Base);
    QFETCH(QString, Local);
    QFETCH(QString, Remote);
    QFETCH(int, Style);
    QFETCH(QString, Expected);
    QFETCH(int, Conflicts);
    const TMerge3Style S = TMerge3Style(Style);
    const TMerge3Result R = ComputeMerge3(L(Base), L(Local), L(Remote), NoRules(S));
    QCOMPARE(ChunkProblem(L(Base), L(Local), L(Remote), R, {}), QString());
    const TMerge3Text T = WriteMerge3(L(Base), L(Local), L(Remote), R, Labels(S));
    QCOMPARE(Joined(T.Lines), Expected);
    QCOMPARE(T.Conflicts, Conflicts);
    QCOMPARE(R.Conflicts, Conflicts);
    QCOMPARE(R.ResolvedByRule, 0);
}

void TestMerge3::extraRules_data()
{
    QTest::addColumn<QString>("Base");
    QTest::addColumn<QString>("Local");
    QTest::addColumn<QString>("Remote");
    QTest::addColumn<QString>("Rule");
    QTest::addColumn<QString>("Expected");
    QTest::addColumn<int>("ByRule");

    QTest::newRow("adjacent: both, in base order") << "a b c d" << "a X c d" << "a b Y d" << "adjacent"
                                                   << "a/X/Y/d" << 2;
    QTest::newRow("adjacent: insertion before a change") << "a b c" << "a N b c" << "a B c" << "adjacent"
                                                         << "a/N/B/c" << 2;
    QTest::newRow("adjacent: insertion after a change") << "a b c" << "a b N c" << "a B c" << "adjacent"
                                                        << "a/B/N/c" << 2;
    QTest::newRow("adjacent: not two insertions at one place")
        << "a c" << "a x c" << "a y c" << "adjacent" << "a/<<<<<<< L/x/=======/y/>>>>>>> R/c" << 0;
    QTest::newRow("adjacent: not overlapping changes")
        << "a b c d" << "a X Y d" << "a b Z d" << "adjacent" << "a/<<<<<<< L/X/Y/=======/b/Z/>>>>>>> R/d" << 0;
    QTest::newRow("adjacent: not an insertion inside a change")
        << "a b c d" << "a b N c d" << "a X Y d" << "adjacent" << "a/<<<<<<< L/b/N/c/=======/X/Y/>>>>>>> R/d" << 0;
    QTest::newRow("contained: remote's longer insertion") << "a c" << "a b1 c" << "a b1 b2 c" << "inserts"
                                                          << "a/b1/b2/c" << 1;
    QTest::newRow("contained: at the end") << "a c" << "a b2 c" << "a b1 b2 c" << "inserts"
                                           << "a/b1/b2/c" << 1;
    QTest::newRow("contained: local's longer") << "a c" << "a b1 b2 b3 c" << "a b2 b3 c" << "inserts"
                                               << "a/b1/b2/b3/c" << 1;
    QTest::newRow("contained: not in the middle")
        << "a c" << "a b1 b2 b3 c" << "a b2 c" << "inserts" << "a/<<<<<<< L/b1/b2/b3/=======/b2/>>>>>>> R/c" << 0;
    QTest::newRow("contained: not braces alone")
        << "a c" << "a } c" << "a } } c" << "inserts" << "a/}/<<<<<<< L/=======/}/>>>>>>> R/c" << 0;
    QTest::newRow("contained: not a replacement")
        << "a q c" << "a b1 c" << "a b1 b2 c" << "inserts" << "a/b1/<<<<<<< L/=======/b2/>>>>>>> R/c" << 0;
    QTest::newRow("white space: local re-spaced, remote's text")
        << "a x~=~1 c" << "a x~~=~1 c" << "a x~=~2 c" << "space" << "a/x = 2/c" << 1;
    QTest::newRow("white space: trailing space against text")
        << "a x c" << "a x~ c" << "a y c" << "space" << "a/y/c" << 1;
    QTest::newRow("white space: both only white space conflict")
        << "a x~y c" << "a x~~y c" << "a x~~~y c" << "space"
        << "a/<<<<<<< L/x  y/=======/x   y/>>>>>>> R/c" << 0;
    QTest::newRow("white space: not when a line is added")
        << "a x c" << "a x~ n c" << "a y c" << "space" << "a/<<<<<<< L/x /n/=======/y/>>>>>>> R/c" << 0;
}

void TestMerge3::extraRules()
{
    QFETCH(QString, Base);
    QFETCH(QString, Local);
    QFETCH(QString, Remote);
    QFETCH(QString, Rule);
    QFETCH(QString, Expected);
    QFETCH(int, ByRule);
    TMerge3Options O = NoRules();
    O.ResolveAdjacent = Rule == QLatin1String("adjacent");
    O.ResolveContainedInsert = Rule == QLatin1String("inserts");
    O.ResolveWhiteSpace = Rule == QLatin1String("space");
    const TMerge3Result R = ComputeMerge3(L(Base), L(Local), L(Remote), O);
    QCOMPARE(ChunkProblem(L(Base), L(Local), L(Remote), R, {}), QString());
    const TMerge3Text T = WriteMerge3(L(Base), L(Local), L(Remote), R, Labels());
    QCOMPARE(Joined(T.Lines), Expected);
    QCOMPARE(R.ResolvedByRule, ByRule);
    QCOMPARE(R.Conflicts, ByRule > 0 ? 0 : 1);
    const TMerge3Rule Expect = O.ResolveAdjacent ? mrAdjacent : O.ResolveContainedInsert ? mrContainedInsert : mrWhiteSpace;
    for (const TMerge3Chunk& C : R.Chunks)
        QVERIFY(!IsExtraRule(C.Rule) || C.Rule == Expect);
}

void TestMerge3::favouredSide_data()
{
    QTest::addColumn<int>("Favor");
    QTest::addColumn<QString>("Expected");
    QTest::newRow("ours") << int(TMerge3Favor::Ours) << "a/X/m1/m2/m3/m4/Y/c";
    QTest::newRow("theirs") << int(TMerge3Favor::Theirs) << "a/Z/m1/m2/m3/m4/W/c";
    // git's union: each conflict's local lines, then its remote lines.
    QTest::newRow("union") << int(TMerge3Favor::Union) << "a/X/Z/m1/m2/m3/m4/Y/W/c";
}

void TestMerge3::favouredSide()
{
    QFETCH(int, Favor);
    QFETCH(QString, Expected);
    const QStringList B = L("a b c"), Lo = L("a X m1 m2 m3 m4 Y c"), Re = L("a Z m1 m2 m3 m4 W c");
    TMerge3Markers M = Labels();
    M.Favor = TMerge3Favor(Favor);
    const TMerge3Result R = ComputeMerge3(B, Lo, Re, NoRules());
    const TMerge3Text T = WriteMerge3(B, Lo, Re, R, M);
    QCOMPARE(Joined(T.Lines), Expected);
    QCOMPARE(T.Conflicts, 0);
    QCOMPARE(R.Conflicts, 2);
}

// A conflict git splits: the pieces, the lines both hold between them, and where the base lines go.
void TestMerge3::splitConflictChunks()
{
    const QStringList B = L("a b k1 k2 k3 k4 c z"), Lo = L("a X k1 k2 k3 k4 Y z"), Re = L("a P k1 k2 k3 k4 Q z");
    const TMerge3Result R = ComputeMerge3(B, Lo, Re, NoRules());
    QCOMPARE(ChunkProblem(B, Lo, Re, R, {}), QString());
    // Two separate changes per side: no git conflict here needs splitting; now one that does.
    const QStringList B2 = L("a b z"), Lo2 = L("a X k1 k2 k3 k4 Y z"), Re2 = L("a P k1 k2 k3 k4 Q z");
    const TMerge3Result R2 = ComputeMerge3(B2, Lo2, Re2, NoRules());
    QCOMPARE(ChunkProblem(B2, Lo2, Re2, R2, {}), QString());
    QList<TMerge3ChunkKind> Kinds;
    for (const TMerge3Chunk& C : R2.Chunks)
        Kinds.append(C.Kind);
    QCOMPARE(Kinds, (QList<TMerge3ChunkKind>{mcUnchanged, mcConflict, mcBoth, mcConflict, mcUnchanged}));
    QCOMPARE(R2.Chunks[1].BaseCount, 1);   // the base line "b" goes to the first piece
    QCOMPARE(R2.Chunks[2].Rule, mrConflictCommon);
    QCOMPARE(R2.Chunks[3].BaseCount, 0);
    // Lines all three hold inside a conflict: the base lines around them go to their pieces.
    const QStringList B3 = L("a b k1 k2 k3 k4 c z"), Lo3 = L("a X k1 k2 k3 k4 Y N z"),
                      Re3 = L("a P k1 k2 k3 k4 Q z");
    const TMerge3Result R3 = ComputeMerge3(B3, Lo3, Re3, NoRules());
    QCOMPARE(ChunkProblem(B3, Lo3, Re3, R3, {}), QString());
}

void TestMerge3::finalBreak_data()
{
    QTest::addColumn<QString>("Local");
    QTest::addColumn<QString>("Remote");
    QTest::addColumn<bool>("BaseBreak");
    QTest::addColumn<bool>("LocalBreak");
    QTest::addColumn<bool>("RemoteBreak");
    QTest::addColumn<bool>("Expected");
    QTest::newRow("all end with one") << "a X c" << "a b c" << true << true << true << true;
    QTest::newRow("remote removed it") << "a X c" << "a b c" << true << true << false << false;
    QTest::newRow("local removed it") << "a X c" << "a b c" << true << false << true << false;
    QTest::newRow("remote added it") << "a X c" << "a b c" << false << false << true << true;
    QTest::newRow("conflict at the end has one") << "a b X" << "a b Y" << false << false << false << true;
}

void TestMerge3::finalBreak()
{
    QFETCH(QString, Local);
    QFETCH(QString, Remote);
    QFETCH(bool, BaseBreak);
    QFETCH(bool, LocalBreak);
    QFETCH(bool, RemoteBreak);
    QFETCH(bool, Expected);
    const QStringList B = L("a b c");
    const TMerge3Result R = ComputeMerge3(B, L(Local), L(Remote), NoRules(), BaseBreak, LocalBreak, RemoteBreak);
    QCOMPARE(WriteMerge3(B, L(Local), L(Remote), R, Labels()).FinalBreak, Expected);
}

void TestMerge3::propertiesOnRandomTriples()
{
    QRandomGenerator Rng(20261211);
    for (int Run = 0; Run < 3000; ++Run) {
        const TTriple T = RandomTriple(Rng);
        TMerge3Options O = Merge3OptionsFromBits(int(Rng.bounded(1 << 11)));
        if (int(O.Style) > 2)
            O.Style = TMerge3Style::Merge;
        const auto Text = [&](const QStringList& B, const QStringList& Lo, const QStringList& Re,
                              TMerge3Favor Favor = TMerge3Favor::None) {
            TMerge3Markers M = Labels(O.Style);
            M.Favor = Favor;
            const TMerge3Result R = ComputeMerge3(B, Lo, Re, O);
            return std::make_pair(R, WriteMerge3(B, Lo, Re, R, M));
        };
        const QString What = DescribeMerge3Options(O) + u'\n' + DescribeTriple(T);
        // Local = Base gives Remote; Remote = Base gives Local; Local = Remote gives Local.
        {
            const auto [R, M] = Text(T.Base, T.Base, T.Remote);
            QVERIFY2(R.Conflicts == 0, qPrintable(What));
            if (O.Diff == TDiffOptions{})
                QVERIFY2(M.Lines == T.Remote, qPrintable(What));
        }
        {
            const auto [R, M] = Text(T.Base, T.Local, T.Base);
            QVERIFY2(R.Conflicts == 0 && M.Lines == T.Local, qPrintable(What));
        }
        {
            const auto [R, M] = Text(T.Base, T.Local, T.Local);
            QVERIFY2(R.Conflicts == 0 && M.Lines == T.Local, qPrintable(What));
        }
        const auto [R, Marked] = Text(T.Base, T.Local, T.Remote);
        QVERIFY2(ChunkProblem(T.Base, T.Local, T.Remote, R, O.Diff).isEmpty(),
                 qPrintable(ChunkProblem(T.Base, T.Local, T.Remote, R, O.Diff) + u'\n' + What));
        // --ours takes Local's lines in every conflict, --theirs Remote's.
        QStringList Ours, Theirs;
        for (const TMerge3Chunk& C : R.Chunks) {
            const bool Remote = C.Kind == mcRemote;
            Ours += Remote ? T.Remote.mid(C.RemoteStart, C.RemoteCount) : T.Local.mid(C.LocalStart, C.LocalCount);
            Theirs += Remote || C.Kind == mcConflict ? T.Remote.mid(C.RemoteStart, C.RemoteCount)
                                                     : T.Local.mid(C.LocalStart, C.LocalCount);
        }
        QVERIFY2(Text(T.Base, T.Local, T.Remote, TMerge3Favor::Ours).second.Lines == Ours, qPrintable(What));
        QVERIFY2(Text(T.Base, T.Local, T.Remote, TMerge3Favor::Theirs).second.Lines == Theirs, qPrintable(What));
        QCOMPARE(Marked.Conflicts, R.Conflicts);
    }
}

// The written result under every option set, style and favoured side is the oracle's.
void TestMerge3::engineAgreesWithOracle()
{
    QRandomGenerator Rng(1211);
    for (int Bits = 0; Bits < (3 << 9); ++Bits) {
        const TMerge3Options O = Merge3OptionsFromBits(Bits);
        for (int Run = 0; Run < 6; ++Run) {
            const TTriple T = RandomTriple(Rng);
            TMerge3Markers M = Labels(O.Style);
            M.Favor = TMerge3Favor(Rng.bounded(4));
            M.MarkerSize = Rng.bounded(1, 9);
            const bool BB = Rng.bounded(2), LB = Rng.bounded(2), RB = Rng.bounded(2);
            const TMerge3Result R = ComputeMerge3(T.Base, T.Local, T.Remote, O, BB, LB, RB);
            const TMerge3Text Got = WriteMerge3(T.Base, T.Local, T.Remote, R, M);
            const TOracleMerge Want = OracleMerge3(T.Base, T.Local, T.Remote, O, M, BB, LB, RB);
            const QString What = QStringLiteral("%1 favor=%2\n%3\noracle:\n%4\nengine:\n%5")
                                     .arg(DescribeMerge3Options(O)).arg(int(M.Favor))
                                     .arg(DescribeTriple(T), DescribeLines(Want.Lines), DescribeLines(Got.Lines));
            QVERIFY2(Got.Lines == Want.Lines, qPrintable(What));
            QVERIFY2(Got.Conflicts == Want.Conflicts && Got.FinalBreak == Want.FinalBreak, qPrintable(What));
            QVERIFY2(R.ResolvedByRule == Want.ResolvedByRule, qPrintable(What));
        }
    }
}

// Written markers read back as the chunks: the plain lines between, and each conflict's sections.
void TestMerge3::markersParseBack()
{
    QRandomGenerator Rng(7);
    for (int Run = 0; Run < 2000; ++Run) {
        const TTriple T = RandomTriple(Rng);
        TMerge3Options O = NoRules(TMerge3Style(Rng.bounded(3)));
        TMerge3Markers M = Labels(O.Style);
        M.MarkerSize = Rng.bounded(1, 12);
        if (Rng.bounded(2))
            M.LocalLabel = M.BaseLabel = M.RemoteLabel = QString();
        const TMerge3Result R = ComputeMerge3(T.Base, T.Local, T.Remote, O);
        const QList<TConflictBlock> Blocks = ParseConflictMarkers(WriteMerge3(T.Base, T.Local, T.Remote, R, M).Lines, M.MarkerSize);
        QList<TConflictBlock> Want;
        for (const TMerge3Chunk& C : R.Chunks) {
            if (C.Kind == mcConflict) {
                TConflictBlock B;
                B.IsConflict = true;
                B.Local = T.Local.mid(C.LocalStart, C.LocalCount);
                B.Remote = T.Remote.mid(C.RemoteStart, C.RemoteCount);
                B.HasBase = O.Style != TMerge3Style::Merge;
                if (B.HasBase)
                    B.Base = T.Base.mid(C.BaseStart, C.BaseCount);
                B.LocalLabel = M.LocalLabel;
                B.BaseLabel = B.HasBase ? M.BaseLabel : QString();
                B.RemoteLabel = M.RemoteLabel;
                Want.append(B);
                continue;
            }
            const QStringList Lines = C.Kind == mcRemote ? T.Remote.mid(C.RemoteStart, C.RemoteCount)
                                                         : T.Local.mid(C.LocalStart, C.LocalCount);
            if (Lines.isEmpty())
                continue;
            if (Want.isEmpty() || Want.last().IsConflict)
                Want.append(TConflictBlock{});
            Want.last().Lines += Lines;
        }
        QVERIFY2(Blocks == Want, qPrintable(DescribeTriple(T)));
    }
}

void TestMerge3::parser_data()
{
    QTest::addColumn<QString>("Text");
    QTest::addColumn<int>("Size");
    QTest::addColumn<QString>("Expected");   // blocks: "T:lines" or "C:local/base/remote", ";" between

    QTest::newRow("plain") << "a/b" << 7 << "T:a,b";
    QTest::newRow("conflict") << "a/<<<<<<< L/x/=======/y/>>>>>>> R/b" << 7 << "T:a;C:x||y;T:b";
    QTest::newRow("diff3") << "<<<<<<< L/x/||||||| B/o/=======/y/>>>>>>> R" << 7 << "C:x|o|y";
    QTest::newRow("empty sections") << "<<<<<<</=======/>>>>>>>" << 7 << "C:||";
    QTest::newRow("no closing marker is text") << "<<<<<<< L/x/=======/y" << 7 << "T:<<<<<<< L,x,=======,y";
    QTest::newRow("no separator is text") << "<<<<<<< L/x/>>>>>>> R" << 7 << "T:<<<<<<< L,x,>>>>>>> R";
    QTest::newRow("longer marker is text") << "<<<<<<<< L/x/=======/y/>>>>>>> R" << 7
                                           << "T:<<<<<<<< L,x,=======,y,>>>>>>> R";
    QTest::newRow("marker without space is text") << "<<<<<<<L/=======/>>>>>>>" << 7 << "T:<<<<<<<L,=======,>>>>>>>";
    QTest::newRow("marker size 3") << "<<< a/x/===/y/>>> b/<<<<<<< c" << 3 << "C:x||y;T:<<<<<<< c";
    QTest::newRow("unclosed then closed") << "<<<<<<< 1/<<<<<<< 2/x/=======/y/>>>>>>>" << 7 << "T:<<<<<<< 1;C:x||y";
}

void TestMerge3::parser()
{
    QFETCH(QString, Text);
    QFETCH(int, Size);
    QFETCH(QString, Expected);
    QStringList Got;
    for (const TConflictBlock& B : ParseConflictMarkers(Text.split(u'/'), Size))
        Got.append(B.IsConflict ? QStringLiteral("C:%1|%2|%3").arg(B.Local.join(u','), B.Base.join(u','), B.Remote.join(u','))
                                : QStringLiteral("T:") + B.Lines.join(u','));
    QCOMPARE(Got.join(u';'), Expected);
}

QTEST_APPLESS_MAIN(TestMerge3)
#include "tst_engine_merge3.moc"
