// quorlane --merge, the real program on real files: the same output and exit status as
// git merge-file on a table of triples where no extra rule fires, the rules where they fire, the
// result written over CURRENT in its encoding, mark and line break, refusals that write nothing,
// and the merge driver in a real git repository.

#include "support/core/ByteFiles.h"
#include "support/core/ProgramProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorlane::test;

namespace {

// "a b c" → "a\nb\nc\n" with Break after each line.
QByteArray Text(const QByteArray& Words, const QByteArray& Break = "\n")
{
    QByteArray Out;
    for (const QByteArray& W : Words.split(' '))
        if (!W.isEmpty())
            Out += (W == "_" ? QByteArray() : W) + Break;
    return Out;
}

struct TFiles {
    QString Current, Base, Other;
};

TFiles WriteTriple(const QString& Dir, const QByteArray& Base, const QByteArray& Current, const QByteArray& Other)
{
    return {WriteBytesFile(Dir, QStringLiteral("current.txt"), Current), WriteBytesFile(Dir, QStringLiteral("base.txt"), Base),
            WriteBytesFile(Dir, QStringLiteral("other.txt"), Other)};
}

TProgramRun RunGit(const QStringList& Args, const QString& Dir)
{
    QProcessEnvironment Env = HeadlessEnvironment();
    Env.insert(QStringLiteral("HOME"), Dir);
    Env.insert(QStringLiteral("GIT_CONFIG_NOSYSTEM"), QStringLiteral("1"));
    Env.insert(QStringLiteral("GIT_AUTHOR_NAME"), QStringLiteral("T"));
    Env.insert(QStringLiteral("GIT_AUTHOR_EMAIL"), QStringLiteral("t@example.invalid"));
    Env.insert(QStringLiteral("GIT_COMMITTER_NAME"), QStringLiteral("T"));
    Env.insert(QStringLiteral("GIT_COMMITTER_EMAIL"), QStringLiteral("t@example.invalid"));
    return RunProcess(QStringLiteral("git"), Args, Dir, Env);
}

} // namespace

class TestCliMerge : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsGit_data();
    void sameAsGit();
    void rulesResolveWhatGitLeaves_data();
    void rulesResolveWhatGitLeaves();
    void replacesCurrentInItsEncoding_data();
    void replacesCurrentInItsEncoding();
    void refusesToLoseCharacters();
    void trouble_data();
    void trouble();
    void exitStatusCapped();
    void gitMergeDriver();
};

void TestCliMerge::initTestCase()
{
    if (!HasCommand(QStringLiteral("git")))
        QSKIP("git is not installed");
}

void TestCliMerge::sameAsGit_data()
{
    QTest::addColumn<QByteArray>("Base");
    QTest::addColumn<QByteArray>("Current");
    QTest::addColumn<QByteArray>("Other");
    QTest::addColumn<QStringList>("Args");

    const QStringList Labels{QStringLiteral("-L"), QStringLiteral("mine"), QStringLiteral("-L"),
                             QStringLiteral("old"), QStringLiteral("-L"), QStringLiteral("yours")};
    QTest::newRow("clean, both sides") << Text("a b c d e f g") << Text("a X c d e f g") << Text("a b c d e Y g") << QStringList{};
    QTest::newRow("one conflict, file names as labels") << Text("a b c") << Text("a X c") << Text("a Y c") << QStringList{};
    QTest::newRow("labels") << Text("a b c") << Text("a X c") << Text("a Y c") << Labels;
    QTest::newRow("one label") << Text("a b c") << Text("a X c") << Text("a Y c") << QStringList{"-L", "only"};
    QTest::newRow("empty label") << Text("a b c") << Text("a X c") << Text("a Y c") << QStringList{"-L", ""};
    QTest::newRow("diff3") << Text("a b c") << Text("a X m1 m2 m3 m4 Y c") << Text("a Z m1 m2 m3 m4 W c") << QStringList{"--diff3"};
    QTest::newRow("zdiff3") << Text("a b c") << Text("a p X q c") << Text("a p Y q c") << QStringList{"--zdiff3"};
    QTest::newRow("split and kept apart") << Text("a b c") << Text("a X m1 m2 m3 m4 Y c") << Text("a Z m1 m2 m3 m4 W c") << QStringList{};
    QTest::newRow("joined across braces") << Text("a b } } } } g h") << Text("a 1 } } } } 2 h") << Text("a 3 } } } } 4 h") << QStringList{};
    QTest::newRow("marker size 3") << Text("a b c") << Text("a X c") << Text("a Y c") << QStringList{"--marker-size", "3"};
    QTest::newRow("marker size 12, diff3") << Text("a b c") << Text("a X c") << Text("a Y c") << QStringList{"--marker-size=12", "--diff3"};
    QTest::newRow("ours") << Text("a b c d") << Text("a X c d") << Text("a b Y d") << QStringList{"--ours"};
    QTest::newRow("theirs") << Text("a b c d") << Text("a X c d") << Text("a b Y d") << QStringList{"--theirs"};
    QTest::newRow("union") << Text("a b c d") << Text("a X c d") << Text("a b Y d") << QStringList{"--union"};
    QTest::newRow("CR LF lines, CR LF markers") << Text("a b c", "\r\n") << Text("a X c", "\r\n") << Text("a Y c", "\r\n") << QStringList{"--diff3"};
    QTest::newRow("UTF-8 text") << Text("α β γ") << Text("α Ξ γ") << Text("α β γ δ") << QStringList{};
    QTest::newRow("UTF-8 conflict") << Text("α β γ") << Text("α Ξ γ") << Text("α Ψ γ") << QStringList{};
    QTest::newRow("no final break anywhere") << QByteArray("a\nb\nc") << QByteArray("a\nX\nc") << QByteArray("a\nb\nc") << QStringList{};
    QTest::newRow("conflict at the end without break") << QByteArray("a\nb") << QByteArray("a\nX") << QByteArray("a\nY") << QStringList{};
    QTest::newRow("add/add") << QByteArray() << Text("x y") << Text("x z") << QStringList{};
    QTest::newRow("delete against change") << Text("a b c") << Text("a c") << Text("a B c") << QStringList{};
    QTest::newRow("touching changes") << Text("a b c d") << Text("a X c d") << Text("a b Y d") << QStringList{};
    QTest::newRow("insertion slid to the change it borders") << Text("s a s b c") << Text("s A s p x s b c")
                                                             << Text("s a s B c") << QStringList{};
    QTest::newRow("only other changed") << Text("a b c") << Text("a b c") << Text("q a b c r") << QStringList{};
}

void TestCliMerge::sameAsGit()
{
    QFETCH(QByteArray, Base);
    QFETCH(QByteArray, Current);
    QFETCH(QByteArray, Other);
    QFETCH(QStringList, Args);
    QTemporaryDir Dir;
    WriteTriple(Dir.path(), Base, Current, Other);
    const QStringList Files{QStringLiteral("current.txt"), QStringLiteral("base.txt"), QStringLiteral("other.txt")};
    const TProgramRun Git = RunGit(QStringList{"merge-file", "-p"} + Args + Files, Dir.path());
    const TProgramRun Q = RunQuorlane(QStringList{"--merge", "-p", "--rules=none"} + Args + Files, Dir.path());
    QCOMPARE(Q.Err, QByteArray());
    QCOMPARE(Q.Out, Git.Out);
    QCOMPARE(Q.ExitCode, Git.ExitCode);
    // Without -p the same text replaces CURRENT.
    const TProgramRun InPlace = RunQuorlane(QStringList{"--merge", "--rules=none"} + Args + Files, Dir.path());
    QCOMPARE(InPlace.ExitCode, Git.ExitCode);
    QCOMPARE(InPlace.Out, QByteArray());
    QCOMPARE(ReadBytesFile(Dir.filePath(QStringLiteral("current.txt"))), Git.Out);
}

void TestCliMerge::rulesResolveWhatGitLeaves_data()
{
    QTest::addColumn<QByteArray>("Base");
    QTest::addColumn<QByteArray>("Current");
    QTest::addColumn<QByteArray>("Other");
    QTest::addColumn<QString>("Rules");
    QTest::addColumn<QByteArray>("Expected");

    QTest::newRow("default: a longer insertion containing the other")
        << Text("import_a import_z") << Text("import_a import_b import_z") << Text("import_a import_b import_c import_z")
        << QString() << Text("import_a import_b import_c import_z");
    QTest::newRow("adjacent") << Text("a b c d") << Text("a X c d") << Text("a b Y d") << "adjacent" << Text("a X Y d");
    QTest::newRow("space") << Text("a x=1 c") << QByteArray("a\nx=1  \nc\n") << Text("a x=2 c") << "space" << Text("a x=2 c");
}

void TestCliMerge::rulesResolveWhatGitLeaves()
{
    QFETCH(QByteArray, Base);
    QFETCH(QByteArray, Current);
    QFETCH(QByteArray, Other);
    QFETCH(QString, Rules);
    QFETCH(QByteArray, Expected);
    QTemporaryDir Dir;
    WriteTriple(Dir.path(), Base, Current, Other);
    const QStringList Files{QStringLiteral("current.txt"), QStringLiteral("base.txt"), QStringLiteral("other.txt")};
    QVERIFY(RunGit(QStringList{"merge-file", "-p"} + Files, Dir.path()).ExitCode > 0);
    QStringList Args{QStringLiteral("--merge"), QStringLiteral("-p")};
    if (!Rules.isEmpty())
        Args << QStringLiteral("--rules=") + Rules;
    const TProgramRun Q = RunQuorlane(Args + Files, Dir.path());
    QCOMPARE(Q.Out, Expected);
    QCOMPARE(Q.ExitCode, 0);
    // Each change a rule resolved is told on stderr, unless -q.
    const QByteArray RuleName = Rules.isEmpty() ? QByteArray("inserts") : Rules.toUtf8();
    QVERIFY2(Q.Err.startsWith("quorlane: current.txt: ") && Q.Err.contains("resolved by a rule (" + RuleName + ' '), Q.Err);
    QCOMPARE(RunQuorlane(QStringList{"-q"} + Args + Files, Dir.path()).Err, QByteArray());
    // Without the rule it conflicts as git does.
    QCOMPARE(RunQuorlane(QStringList{"--merge", "-p", "--rules=none"} + Files, Dir.path()).ExitCode, 1);
}

void TestCliMerge::replacesCurrentInItsEncoding_data()
{
    QTest::addColumn<QByteArray>("Base");
    QTest::addColumn<QByteArray>("Current");
    QTest::addColumn<QByteArray>("Other");
    QTest::addColumn<QByteArray>("Expected");
    QTest::addColumn<int>("Exit");

    const QByteArray Le("\xFF\xFE", 2);
    const auto U16 = [](const QString& S) {
        return QByteArray(reinterpret_cast<const char*>(S.utf16()), S.size() * 2);
    };
    QTest::newRow("UTF-16 LE with mark and CR LF, other UTF-8 with LF")
        << Text("a b c") << Le + U16(QStringLiteral("a\r\nb\r\nc\r\nd\r\n")) << Text("a b é c")
        << Le + U16(QStringLiteral("a\r\nb\r\né\r\nc\r\nd\r\n")) << 0;
    QTest::newRow("UTF-8 with mark keeps its mark; markers take CURRENT's break")
        << Text("a b c") << "\xEF\xBB\xBF" + Text("a X c", "\r\n") << Text("a Y c")
        << "\xEF\xBB\xBF" + Text("a <<<<<<< X ======= Y >>>>>>> c", "\r\n").replace("<<<<<<<\r\n", "<<<<<<< current.txt\r\n").replace(">>>>>>>\r\n", ">>>>>>> other.txt\r\n")
        << 1;
    QTest::newRow("Windows-1252 stays Windows-1252") << Text("a b c") << QByteArray("caf\xE9\nb\nc\n") << Text("a b Ä")
                                                     << QByteArray("caf\xE9\nb\n\xC4\n") << 0;
    QTest::newRow("OTHER converted CR LF to LF: LF") << Text("a b c", "\r\n") << Text("a X c", "\r\n") << Text("a b c d")
                                                   << Text("a X c d") << 0;
    QTest::newRow("CURRENT converted LF to CR LF: CR LF") << Text("a b c") << Text("a X c", "\r\n") << Text("a b c d")
                                                         << Text("a X c d", "\r\n") << 0;
    QTest::newRow("OTHER converted Windows-1252 to UTF-8: UTF-8")
        << QByteArray("caf\xE9\nb\nc\n") << QByteArray("caf\xE9\nX\nc\n") << QByteArray("caf\xC3\xA9\nb\nc\n")
        << QByteArray("caf\xC3\xA9\nX\nc\n") << 0;
    QTest::newRow("ASCII becomes UTF-8 when the merge brings more") << Text("a b c") << Text("a b c d") << Text("a Ω c")
                                                                    << Text("a Ω c d") << 0;
}

void TestCliMerge::replacesCurrentInItsEncoding()
{
    QFETCH(QByteArray, Base);
    QFETCH(QByteArray, Current);
    QFETCH(QByteArray, Other);
    QFETCH(QByteArray, Expected);
    QFETCH(int, Exit);
    QTemporaryDir Dir;
    const TFiles F = WriteTriple(Dir.path(), Base, Current, Other);
    const TProgramRun Q = RunQuorlane({QStringLiteral("--merge"), QStringLiteral("current.txt"),
                                       QStringLiteral("base.txt"), QStringLiteral("other.txt")}, Dir.path());
    QCOMPARE(Q.Err, QByteArray());
    QCOMPARE(Q.ExitCode, Exit);
    QCOMPARE(ToHex(ReadBytesFile(F.Current)), ToHex(Expected));
}

// A Windows-1252 CURRENT cannot hold a Greek letter from OTHER: nothing is written, never a "?".
void TestCliMerge::refusesToLoseCharacters()
{
    QTemporaryDir Dir;
    const QByteArray Current("caf\xE9\nb\nc\n");
    const TFiles F = WriteTriple(Dir.path(), Text("a b c"), Current, Text("a b Ω"));
    for (const QString& Print : {QStringLiteral("-p"), QString()}) {
        QStringList Args{QStringLiteral("--merge")};
        if (!Print.isEmpty())
            Args << Print;
        const TProgramRun Q = RunQuorlane(Args + QStringList{F.Current, F.Base, F.Other});
        QCOMPARE(Q.ExitCode, 255);
        QCOMPARE(Q.Out, QByteArray());
        QVERIFY2(Q.Err.contains("cannot hold") && Q.Err.contains("line 3") && Q.Err.contains("nothing was written"), Q.Err);
        QCOMPARE(ReadBytesFile(F.Current), Current);
    }
}

void TestCliMerge::trouble_data()
{
    QTest::addColumn<QStringList>("Args");
    QTest::addColumn<QByteArray>("Message");
    QTest::newRow("missing file") << QStringList{"--merge", "current.txt", "missing.txt", "other.txt"} << QByteArray("missing.txt");
    QTest::newRow("binary file") << QStringList{"--merge", "current.txt", "base.txt", "binary.bin"} << QByteArray("binary");
    QTest::newRow("two paths") << QStringList{"--merge", "current.txt", "base.txt"} << QByteArray("three paths");
    QTest::newRow("four labels") << QStringList{"--merge", "-L", "1", "-L", "2", "-L", "3", "-L", "4", "current.txt", "base.txt", "other.txt"}
                                 << QByteArray("too many labels");
    QTest::newRow("two favours") << QStringList{"--merge", "--ours", "--theirs", "current.txt", "base.txt", "other.txt"} << QByteArray("choose one");
    QTest::newRow("unknown rule") << QStringList{"--merge", "--rules=magic", "current.txt", "base.txt", "other.txt"} << QByteArray("unknown rule");
    QTest::newRow("folder") << QStringList{"--merge", ".", "base.txt", "other.txt"} << QByteArray("folder");
}

void TestCliMerge::trouble()
{
    QFETCH(QStringList, Args);
    QFETCH(QByteArray, Message);
    QTemporaryDir Dir;
    WriteTriple(Dir.path(), Text("a b"), Text("a X"), Text("a Y"));
    WriteBytesFile(Dir.path(), QStringLiteral("binary.bin"), QByteArray("a\0b\0", 4));
    const TProgramRun Q = RunQuorlane(Args, Dir.path());
    QCOMPARE(Q.ExitCode, 255);
    QVERIFY2(Q.Err.contains(Message), Q.Err);
    QCOMPARE(ReadBytesFile(Dir.filePath(QStringLiteral("current.txt"))), Text("a X"));
}

void TestCliMerge::exitStatusCapped()
{
    QByteArray Base, Current, Other;
    for (int K = 0; K < 130; ++K) {
        Base += "keep " + QByteArray::number(K) + "\nb\nkeep\nkeep\nkeep\n";
        Current += "keep " + QByteArray::number(K) + "\nX\nkeep\nkeep\nkeep\n";
        Other += "keep " + QByteArray::number(K) + "\nY\nkeep\nkeep\nkeep\n";
    }
    QTemporaryDir Dir;
    const TFiles F = WriteTriple(Dir.path(), Base, Current, Other);
    QCOMPARE(RunGit({"merge-file", "-p", F.Current, F.Base, F.Other}, Dir.path()).ExitCode, 127);
    QCOMPARE(RunQuorlane({"--merge", "-p", F.Current, F.Base, F.Other}).ExitCode, 127);
}

// The driver in a real repository: a merge git's own merge leaves in conflict is resolved, and
// one that must conflict still does, with git's labels.
void TestCliMerge::gitMergeDriver()
{
    QTemporaryDir Dir;
    const QString R = Dir.path();
    const auto Git = [&](const QStringList& Args) { return RunGit(Args, R); };
    QCOMPARE(Git({"init", "-q", "-b", "main"}).ExitCode, 0);
    QCOMPARE(Git({"config", "merge.quorlane.driver",
                  QStringLiteral("'%1' --merge -L %P -L base -L theirs %A %O %B").arg(ProgramPath())}).ExitCode, 0);
    WriteBytesFile(R, QStringLiteral(".gitattributes"), "* merge=quorlane\n");
    WriteBytesFile(R, QStringLiteral("list.txt"), Text("import_a import_z"));
    WriteBytesFile(R, QStringLiteral("value.txt"), Text("a value=1 c"));
    QCOMPARE(Git({"add", "."}).ExitCode, 0);
    QCOMPARE(Git({"commit", "-qm", "base"}).ExitCode, 0);
    QCOMPARE(Git({"checkout", "-qb", "side"}).ExitCode, 0);
    WriteBytesFile(R, QStringLiteral("list.txt"), Text("import_a import_b import_c import_z"));
    QCOMPARE(Git({"commit", "-qam", "side"}).ExitCode, 0);
    QCOMPARE(Git({"checkout", "-q", "main"}).ExitCode, 0);
    WriteBytesFile(R, QStringLiteral("list.txt"), Text("import_a import_b import_z"));
    QCOMPARE(Git({"commit", "-qam", "main"}).ExitCode, 0);
    // git alone leaves this in conflict.
    QCOMPARE(Git({"-c", "merge.quorlane.driver=false", "merge", "-q", "side"}).ExitCode != 0, true);
    QCOMPARE(Git({"merge", "--abort"}).ExitCode, 0);
    const TProgramRun Merged = Git({"merge", "-q", "--no-edit", "side"});
    QVERIFY2(Merged.ExitCode == 0, Merged.Out + Merged.Err);
    QCOMPARE(ReadBytesFile(R + QStringLiteral("/list.txt")), Text("import_a import_b import_c import_z"));

    // Both change one value differently: a conflict, with the labels the driver passes.
    QCOMPARE(Git({"checkout", "-qb", "other"}).ExitCode, 0);
    WriteBytesFile(R, QStringLiteral("value.txt"), Text("a value=3 c"));
    QCOMPARE(Git({"commit", "-qam", "other"}).ExitCode, 0);
    QCOMPARE(Git({"checkout", "-q", "main"}).ExitCode, 0);
    WriteBytesFile(R, QStringLiteral("value.txt"), Text("a value=2 c"));
    QCOMPARE(Git({"commit", "-qam", "main two"}).ExitCode, 0);
    QVERIFY(Git({"merge", "-q", "--no-edit", "other"}).ExitCode != 0);
    QCOMPARE(ReadBytesFile(R + QStringLiteral("/value.txt")),
             QByteArray("a\n<<<<<<< value.txt\nvalue=2\n=======\nvalue=3\n>>>>>>> theirs\nc\n"));
    QVERIFY(Git({"diff", "--name-only", "--diff-filter=U"}).Out.contains("value.txt"));
}

QTEST_GUILESS_MAIN(TestCliMerge)
#include "tst_cli_merge.moc"
