// quorlane --diff, the real program on real files: exact output and exit status for a table of
// pairs, the same output as GNU diff where both align alike, folders, and patches made from the
// output that rebuild the right file byte for byte.

#include "support/core/ByteFiles.h"
#include "support/core/DeepFolders.h"
#include "support/core/ProgramProcess.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorlane::test;

namespace {

const QByteArray NoNewline = "\\ No newline at end of file\n";

[[nodiscard]] QByteArray Header()
{
    return "--- l\n+++ r\n";
}

[[nodiscard]] QByteArray Utf16(const QString& Text, bool LittleEndian)
{
    QByteArray Out = LittleEndian ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
    for (const QChar C : Text) {
        const char Lo = char(C.unicode() & 0xFF), Hi = char(C.unicode() >> 8);
        Out += LittleEndian ? QByteArray{&Lo, 1} + QByteArray{&Hi, 1} : QByteArray{&Hi, 1} + QByteArray{&Lo, 1};
    }
    return Out;
}

void MakeTree(const QString& Root, const QMap<QString, QByteArray>& Files)
{
    QDir().mkpath(Root);
    for (auto It = Files.begin(); It != Files.end(); ++It) {
        const QString Path = Root + u'/' + It.key();
        QDir().mkpath(QFileInfo(Path).path());
        WriteBytesFile(QFileInfo(Path).path(), QFileInfo(Path).fileName(), It.value());
    }
}

// A random text of lines from a small pool, so the two sides share many lines, with or without
// a final line break.
[[nodiscard]] QByteArray RandomText(QRandomGenerator& Rng, const QList<QByteArray>& Pool, int MaxLines)
{
    const int Count = int(Rng.bounded(MaxLines + 1));
    QByteArray Text;
    for (int I = 0; I < Count; ++I)
        Text += Pool[Rng.bounded(int(Pool.size()))] + '\n';
    if (!Text.isEmpty() && Rng.bounded(3) == 0)
        Text.chop(1);
    return Text;
}

// The changed lines of a unified diff ("-" and "+" lines after the two header lines).
[[nodiscard]] QList<QByteArray> ChangedLines(const QByteArray& Diff)
{
    QList<QByteArray> Changed;
    const QList<QByteArray> Lines = Diff.split('\n');
    for (qsizetype I = 2; I < Lines.size(); ++I)
        if (Lines[I].startsWith('-') || Lines[I].startsWith('+'))
            Changed << Lines[I];
    return Changed;
}

[[nodiscard]] bool IsBlankText(QByteArrayView Text)
{
    return std::all_of(Text.begin(), Text.end(), [](char C) { return QByteArrayView(" \t\v\f\r").contains(C); });
}

[[nodiscard]] qsizetype NonBlankCount(const QList<QByteArray>& Changed)
{
    return std::count_if(Changed.begin(), Changed.end(),
                         [](const QByteArray& Line) { return !IsBlankText(QByteArrayView(Line).sliced(1)); });
}

// GNU diff on the same pair; Minimal adds --minimal, which finds a smallest change as ours does.
[[nodiscard]] TProgramRun GnuDiff(const QStringList& Options, const QString& Dir, bool Minimal)
{
    QStringList Args = Options;
    if (Minimal)
        Args << QStringLiteral("--minimal");
    if (!Options.join(u' ').contains(u'U') && !Options.contains(QStringLiteral("-q")))
        Args << QStringLiteral("-u");
    return RunProcess(QStringLiteral("diff"), Args + QStringList{"--label", "l", "--label", "r", "l", "r"}, Dir);
}

[[nodiscard]] QString Describe(const QStringList& Options, const QByteArray& Left, const QByteArray& Right,
                               const QByteArray& Ours, const QByteArray& Gnu)
{
    return QStringLiteral("options %1\nleft:  %2\nright: %3\nours:\n%4\nGNU:\n%5")
        .arg(Options.join(u' '), ToHex(Left), ToHex(Right), QString::fromLatin1(Ours), QString::fromLatin1(Gnu));
}

}  // namespace

class TestCliDiff : public QObject
{
    Q_OBJECT
private slots:
    void exactOutput_data();
    void exactOutput();
    void folders();
    void folderNamesAreTheirBytes();
    void unreadableFolderEntriesAreTrouble();
    void deepFolders();
    void foldersAgreeWithGnuDiff_data();
    void foldersAgreeWithGnuDiff();
    void patchRebuildsRightSide_data();
    void patchRebuildsRightSide();
    void patchRebuildsTablePairs_data();
    void patchRebuildsTablePairs();
    void optionsAgreeWithGnuOnRandomPairs();
    void hugeBinaryFileIsNotReadWhole();
};

void TestCliDiff::exactOutput_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QByteArray>("right");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<bool>("likeGnu");   // GNU diff -u gives the same output and status

    const QStringList None;
    QTest::newRow("identical") << QByteArray("a\nb\n") << QByteArray("a\nb\n") << None << 0 << QByteArray() << true;
    QTest::newRow("both empty") << QByteArray() << QByteArray() << None << 0 << QByteArray() << true;
    QTest::newRow("left empty") << QByteArray() << QByteArray("a\nb\n") << None << 1
                                << Header() + "@@ -0,0 +1,2 @@\n+a\n+b\n" << true;
    QTest::newRow("right empty") << QByteArray("a\n") << QByteArray() << None << 1
                                 << Header() + "@@ -1 +0,0 @@\n-a\n" << true;
    QTest::newRow("change in the middle")
        << QByteArray("1\n2\n3\n4\n5\n6\n7\n8\n9\n") << QByteArray("1\n2\n3\n4\nV\n6\n7\n8\n9\n") << None << 1
        << Header() + "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+V\n 6\n 7\n 8\n" << true;
    QTest::newRow("right lacks the final break")
        << QByteArray("a\nb\n") << QByteArray("a\nb") << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n a\n-b\n+b\n" + NoNewline << true;
    QTest::newRow("both lack it, last line changed")
        << QByteArray("a\nb") << QByteArray("a\nc") << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n a\n-b\n" + NoNewline + "+c\n" + NoNewline << true;
    QTest::newRow("both lack it, change before")
        << QByteArray("x\nb") << QByteArray("y\nb") << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n-x\n+y\n b\n" + NoNewline << true;
    QTest::newRow("CR LF lines keep their breaks")
        << QByteArray("a\r\nb\r\nc\r\n") << QByteArray("a\r\nB\r\nc\r\n") << None << 1
        << Header() + "@@ -1,3 +1,3 @@\n a\r\n-b\r\n+B\r\n c\r\n" << true;
    // Lines are compared as printed: their breaks are part of them.
    QTest::newRow("CR LF against LF") << QByteArray("a\r\nb\r\n") << QByteArray("a\nb\n") << None << 1
                                      << Header() + "@@ -1,2 +1,2 @@\n-a\r\n-b\r\n+a\n+b\n" << true;
    QTest::newRow("--strip-trailing-cr") << QByteArray("a\r\nb\r\n") << QByteArray("a\nb\n")
                                         << QStringList{"--strip-trailing-cr"} << 0 << QByteArray() << true;
    QTest::newRow("--strip-trailing-cr prints lines without the CR")
        << QByteArray("a\r\nb\r\n") << QByteArray("a\nc\n") << QStringList{"--strip-trailing-cr"} << 1
        << Header() + "@@ -1,2 +1,2 @@\n a\n-b\n+c\n" << true;
    QTest::newRow("--strip-trailing-cr keeps a lone CR")
        << QByteArray("a\r") << QByteArray("a") << QStringList{"--strip-trailing-cr"} << 1
        << Header() + "@@ -1 +1 @@\n-a\r\n" + NoNewline + "+a\n" + NoNewline << true;
    // Lone CR breaks no line: such a file is one line, as GNU diff sees it.
    QTest::newRow("lone CR files are one line")
        << QByteArray("a\rb\rc\r") << QByteArray("a\rB\rc\r") << None << 1
        << Header() + "@@ -1 +1 @@\n-a\rb\rc\r\n" + NoNewline + "+a\rB\rc\r\n" + NoNewline << true;
    QTest::newRow("mixed breaks") << QByteArray("a\r\nb\nc\rd\n") << QByteArray("a\nb\nc\rd\r\n") << None << 1
                                  << Header() + "@@ -1,3 +1,3 @@\n-a\r\n+a\n b\n-c\rd\n+c\rd\r\n" << true;
    QTest::newRow("same text, Windows-1252 against UTF-8")
        << QByteArray("caf\xE9\nx\n") << QByteArray("caf\xC3\xA9\nx\n") << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n-caf\xE9\n+caf\xC3\xA9\n x\n" << true;
    QTest::newRow("a UTF-8 mark is part of the first line")
        << QByteArray("\xEF\xBB\xBF" "a\nb\n") << QByteArray("a\nb\n") << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n-\xEF\xBB\xBF" "a\n+a\n b\n" << true;
    QTest::newRow("UTF-16 odd last byte kept")
        << Utf16(QStringLiteral("ab"), true) + "c" << Utf16(QStringLiteral("ab"), true) + "d" << None << 1
        << Header() + "@@ -1 +1 @@\n-abc\n" + NoNewline + "+abd\n" + NoNewline << false;
    QTest::newRow("UTF-16 LE against UTF-8")
        << Utf16(QStringLiteral("h\u00E9\nsame\n"), true) << QByteArray("h\xC3\xA9!\nsame\n") << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n-h\xC3\xA9\n+h\xC3\xA9!\n same\n" << false;
    QTest::newRow("UTF-16 BE both sides")
        << Utf16(QStringLiteral("one\ntwo"), false) << Utf16(QStringLiteral("one\n2"), false) << None << 1
        << Header() + "@@ -1,2 +1,2 @@\n one\n-two\n" + NoNewline + "+2\n" + NoNewline << false;
    QTest::newRow("Windows-1252 bytes printed as they are")
        << QByteArray("caf\xE9\n") << QByteArray("caf\xE8\n") << None << 1
        << Header() + "@@ -1 +1 @@\n-caf\xE9\n+caf\xE8\n" << true;
    QTest::newRow("-i") << QByteArray("Hello\nWorld\n") << QByteArray("hello\nWORLD\nX\n") << QStringList{"-i"} << 1
                        << Header() + "@@ -1,2 +1,3 @@\n Hello\n World\n+X\n" << true;
    QTest::newRow("-i alone differs in case only") << QByteArray("A\n") << QByteArray("a\n") << QStringList{"-i"} << 0
                                                   << QByteArray() << true;
    QTest::newRow("-w") << QByteArray("a b\n\tc\n") << QByteArray("ab\nc  \n") << QStringList{"-w"} << 0
                        << QByteArray() << true;
    QTest::newRow("-b equal") << QByteArray("a  b\n") << QByteArray("a\tb\n") << QStringList{"-b"} << 0
                              << QByteArray() << true;
    QTest::newRow("-b ignores trailing white space") << QByteArray("int a = 1;\n") << QByteArray("int a = 1;   \n")
                                                     << QStringList{"-b"} << 0 << QByteArray() << true;
    QTest::newRow("-b ignores CR LF and a missing final break")
        << QByteArray("a\r\nb\r\n") << QByteArray("a\nb") << QStringList{"-b"} << 0 << QByteArray() << true;
    QTest::newRow("-b keeps leading white space") << QByteArray(" a\n") << QByteArray("a\n") << QStringList{"-b"} << 1
                                                  << Header() + "@@ -1 +1 @@\n- a\n+a\n" << true;
    QTest::newRow("-b unequal") << QByteArray("a b\n") << QByteArray("ab\n") << QStringList{"-b"} << 1
                                << Header() + "@@ -1 +1 @@\n-a b\n+ab\n" << true;
    QTest::newRow("--ignore-leading-space") << QByteArray("  a\nb\n") << QByteArray("a\n\tb\n")
                                            << QStringList{"--ignore-leading-space"} << 0 << QByteArray() << false;
    QTest::newRow("--ignore-trailing-space") << QByteArray("a  \nb\n") << QByteArray("a\nb\t\n")
                                             << QStringList{"--ignore-trailing-space"} << 0 << QByteArray() << true;
    QTest::newRow("-B blank lines only") << QByteArray("a\n\nb\n") << QByteArray("a\nb\n\n") << QStringList{"-B"} << 0
                                         << QByteArray() << true;
    QTest::newRow("-B a blank line against text is a change")
        << QByteArray("a\n\nc\n") << QByteArray("a\nx\nc\n") << QStringList{"-B"} << 1
        << Header() + "@@ -1,3 +1,3 @@\n a\n-\n+x\n c\n" << true;
    QTest::newRow("-B white space is blank only when white space is ignored")
        << QByteArray("a\n  \n") << QByteArray("a\n") << QStringList{"-B"} << 1
        << Header() + "@@ -1,2 +1 @@\n a\n-  \n" << true;
    QTest::newRow("-B -w white space lines are blank")
        << QByteArray("a\n \t\n") << QByteArray("a\n") << QStringList{"-B", "-w"} << 0 << QByteArray() << true;
    QTest::newRow("-B -U0 a blank change near a real one stays apart")
        << QByteArray("a\nb\nc\n\nd\n") << QByteArray("a\nB\nc\nd\n") << QStringList{"-B", "-U0"} << 1
        << Header() + "@@ -2 +2 @@\n-b\n+B\n" << true;
    // Blank lines beside a real change are printed with it, so the output still patches.
    QTest::newRow("-B blank lines inside a hunk")
        << QByteArray("a\nb\n\nc\n") << QByteArray("a\nx\nc\n") << QStringList{"-B"} << 1
        << Header() + "@@ -1,4 +1,3 @@\n a\n-b\n-\n+x\n c\n" << true;
    QTest::newRow("-U0, two hunks") << QByteArray("a\nb\nc\nd\n") << QByteArray("A\nb\nc\nD\n") << QStringList{"-U0"} << 1
                                    << Header() + "@@ -1 +1 @@\n-a\n+A\n@@ -4 +4 @@\n-d\n+D\n" << true;
    QTest::newRow("-U0 insertion") << QByteArray("a\nb\n") << QByteArray("a\nn\nb\n") << QStringList{"-U", "0"} << 1
                                   << Header() + "@@ -1,0 +2 @@\n+n\n" << true;
    QTest::newRow("-U1, gap of two joins")
        << QByteArray("1\n2\n3\n4\n5\n") << QByteArray("X\n2\n3\nY\n5\n") << QStringList{"-U1"} << 1
        << Header() + "@@ -1,5 +1,5 @@\n-1\n+X\n 2\n 3\n-4\n+Y\n 5\n" << true;
    QTest::newRow("-U1, gap of three splits")
        << QByteArray("1\n2\n3\n4\n5\n6\n") << QByteArray("X\n2\n3\n4\nY\n6\n") << QStringList{"-U1"} << 1
        << Header() + "@@ -1,2 +1,2 @@\n-1\n+X\n 2\n@@ -4,3 +4,3 @@\n 4\n-5\n+Y\n 6\n" << true;
    QTest::newRow("-q differing") << QByteArray("a\n") << QByteArray("b\n") << QStringList{"-q"} << 1
                                  << QByteArray("Files l and r differ\n") << true;
    QTest::newRow("-q, breaks alone differ") << QByteArray("a\r\n") << QByteArray("a\n") << QStringList{"-q"} << 1
                                             << QByteArray("Files l and r differ\n") << true;
    QTest::newRow("-q, the final break alone differs") << QByteArray("a\n") << QByteArray("a") << QStringList{"-q"} << 1
                                                       << QByteArray("Files l and r differ\n") << true;
    QTest::newRow("-q same") << QByteArray("a\n") << QByteArray("a\n") << QStringList{"-q"} << 0 << QByteArray() << true;
    QTest::newRow("binary differing") << QByteArray("\x01\x00\x02", 3) << QByteArray("\x01\x00\x03", 3) << None << 1
                                      << QByteArray("Binary files l and r differ\n") << true;
    QTest::newRow("binary same") << QByteArray("\x01\x00\x02", 3) << QByteArray("\x01\x00\x02", 3) << None << 0
                                 << QByteArray() << true;
}

void TestCliDiff::exactOutput()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, right);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(bool, likeGnu);
    QTemporaryDir Work;
    WriteBytesFile(Work.path(), QStringLiteral("l"), left);
    WriteBytesFile(Work.path(), QStringLiteral("r"), right);

    const TProgramRun Run = RunQuorlane(QStringList{"--diff"} + options + QStringList{"l", "r"}, Work.path());
    QVERIFY(!Run.Crashed);
    QCOMPARE(Run.Err, QByteArray());
    QCOMPARE(Run.Out, out);
    QCOMPARE(Run.ExitCode, exitCode);

    if (likeGnu && HasCommand(QStringLiteral("diff"))) {
        // GNU diff keeps the largest context asked for, so no -u beside a -U.
        QStringList Gnu = options;
        if (!options.contains(QStringLiteral("-q")))
            Gnu << QStringList{"--label", "l", "--label", "r"};
        if (!options.join(u' ').contains(u'U') && !options.contains(QStringLiteral("-q")))
            Gnu << QStringLiteral("-u");
        const TProgramRun Diff = RunProcess(QStringLiteral("diff"), Gnu + QStringList{"l", "r"}, Work.path());
        QCOMPARE(Run.Out, Diff.Out);
        QCOMPARE(Run.ExitCode, Diff.ExitCode);
    }
}

void TestCliDiff::folders()
{
    QTemporaryDir Work;
    MakeTree(Work.filePath("A"), {{"same.txt", "x\n"},
                                  {"sized.txt", "short\n"},
                                  {"left.txt", "l\n"},
                                  {"sub/deep.txt", "d\n"},
                                  {"sub/only/l.txt", "l\n"}});
    MakeTree(Work.filePath("B"), {{"same.txt", "x\n"},
                                  {"sized.txt", "much longer\n"},
                                  {"right.txt", "r\n"},
                                  {"sub/deep.txt", "d\n"}});
    QDir().mkpath(Work.filePath("B/empty/folder"));   // a folder on one side only is one line, as GNU's

    const TProgramRun Run = RunQuorlane({"--diff", "A", "B/"}, Work.path());
    QCOMPARE(Run.Err, QByteArray());
    QCOMPARE(Run.Out, QByteArray("Only in B/: empty\n"
                                 "Only in A: left.txt\n"
                                 "Only in B/: right.txt\n"
                                 "Files A/sized.txt and B/sized.txt differ\n"
                                 "Only in A/sub: only\n"));
    QCOMPARE(Run.ExitCode, 1);

    const TProgramRun Same = RunQuorlane({"--diff", "A/sub", Work.filePath("A/sub")}, Work.path());
    QCOMPARE(Same.Out, QByteArray());
    QCOMPARE(Same.ExitCode, 0);

    const TProgramRun Mixed = RunQuorlane({"--diff", "A", "A/same.txt"}, Work.path());
    QCOMPARE(Mixed.ExitCode, 2);
    QCOMPARE(Mixed.Out, QByteArray());
    QCOMPARE(Mixed.Err, QByteArray("quorlane: cannot compare the folder A with the file A/same.txt\n"));
}

void TestCliDiff::folderNamesAreTheirBytes()
{
    QTemporaryDir Work;
    QDir().mkpath(Work.filePath("A/sub"));
    QDir().mkpath(Work.filePath("B/sub"));
    const QByteArray Base = QFile::encodeName(Work.path());
    // Not UTF-8: shown with a replacement character in the window, printed as the same bytes.
    for (const QByteArray& Name : {QByteArray("A/x\xFF"), QByteArray("A/sub/d\xFE"), QByteArray("B/sub/d\xFE")}) {
        const int Fd = ::open((Base + '/' + Name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(Fd >= 0);
        QCOMPARE(::write(Fd, Name.constData(), size_t(Name.size())), ssize_t(Name.size()));
        ::close(Fd);
    }

    const TProgramRun Run = RunQuorlane({"--diff", "A", "B"}, Work.path());
    QCOMPARE(Run.Err, QByteArray());
    QCOMPARE(Run.Out, QByteArray("Files A/sub/d\xFE and B/sub/d\xFE differ\n"
                                 "Only in A: x\xFF\n"));
    QCOMPARE(Run.ExitCode, 1);
}

void TestCliDiff::unreadableFolderEntriesAreTrouble()
{
    QTemporaryDir Work;
    MakeTree(Work.filePath("A"), {{"same.txt", "x\n"}, {"left.txt", "l\n"}});
    MakeTree(Work.filePath("B"), {{"same.txt", "x\n"}});
    // The same dangling link on both sides: equal, but what it leads to could not be read.
    QVERIFY(QFile::link("nowhere", Work.filePath("A/dangling")));
    QVERIFY(QFile::link("nowhere", Work.filePath("B/dangling")));

    const TProgramRun Run = RunQuorlane({"--diff", "A", "B"}, Work.path());
    QCOMPARE(Run.Out, QByteArray("Only in A: left.txt\n"));   // the rows that could be compared
    QVERIFY2(Run.Err.startsWith("quorlane: 2 entries could not be read, the first: "), Run.Err.constData());
    QVERIFY2(Run.Err.contains("A/dangling (The link leads nowhere.).\n"), Run.Err.constData());
    QCOMPARE(Run.ExitCode, 2);
}

void TestCliDiff::patchRebuildsRightSide_data()
{
    QTest::addColumn<QString>("tool");
    QTest::newRow("patch") << QStringLiteral("patch");
    QTest::newRow("git apply") << QStringLiteral("git");
}

void TestCliDiff::patchRebuildsRightSide()
{
    QFETCH(QString, tool);
    if (!HasCommand(tool))
        QSKIP("tool not installed");
    // CR LF and lone CR lines, Windows-1252 and UTF-8 spellings of one word, a line that starts
    // with a mark: whatever the bytes, the patch gives them back.
    const QList<QByteArray> Pool = {"", "  ", "{", "}", "int a;", "int b;", "\treturn 0;",
                                    "caf\xC3\xA9", "caf\xE9", "// note", "x", "x\r", "a\rb", "\r", "y", "END",
                                    "\xEF\xBB\xBFx"};
    QRandomGenerator Rng(20261210);
    for (int Round = 0; Round < 60; ++Round) {
        QTemporaryDir Work;
        QDir().mkpath(Work.filePath("a"));
        QDir().mkpath(Work.filePath("b"));
        QDir().mkpath(Work.filePath("t"));
        const QByteArray Left = RandomText(Rng, Pool, 30);
        QByteArray Right = RandomText(Rng, Pool, 30);
        if (Rng.bounded(2) == 0)   // an edited copy: long common runs, small hunks
            Right = Left.left(Rng.bounded(int(Left.size()) + 1)) + RandomText(Rng, Pool, 4)
                    + Left.mid(Rng.bounded(int(Left.size()) + 1));
        WriteBytesFile(Work.filePath("a"), QStringLiteral("f"), Left);
        WriteBytesFile(Work.filePath("b"), QStringLiteral("f"), Right);
        WriteBytesFile(Work.filePath("t"), QStringLiteral("f"), Left);
        const int Context = int(Rng.bounded(4));
        const TProgramRun Diff = RunQuorlane({"--diff", "-U", QString::number(Context), "a/f", "b/f"}, Work.path());
        QCOMPARE(Diff.ExitCode, Left == Right ? 0 : 1);
        if (HasCommand(QStringLiteral("diff"))) {
            const TProgramRun Gnu = RunProcess(QStringLiteral("diff"), {"--minimal", "-u", "a/f", "b/f"}, Work.path());
            QCOMPARE(Diff.ExitCode, Gnu.ExitCode);
            QVERIFY2(ChangedLines(Diff.Out).size() == ChangedLines(Gnu.Out).size(),
                     qPrintable(Describe({}, Left, Right, Diff.Out, Gnu.Out)));
        }
        if (Left == Right)
            continue;
        const QString Patch = WriteBytesFile(Work.path(), QStringLiteral("p.diff"), Diff.Out);
        const TProgramRun Applied = tool == u"patch"
            ? RunProcess(QStringLiteral("patch"), {"-s", "-p1", "-d", Work.filePath("t"), "-i", Patch}, Work.path())
            : RunProcess(QStringLiteral("git"),
                         QStringList{"apply", "-p1", "--directory=t"}
                             + (Context == 0 ? QStringList{"--unidiff-zero"} : QStringList{}) + QStringList{Patch},
                         Work.path());
        QVERIFY2(Applied.ExitCode == 0, (Applied.Out + Applied.Err + "\n" + Diff.Out).constData());
        QVERIFY2(ReadBytesFile(Work.filePath("t/f")) == Right,
                 qPrintable(QStringLiteral("round %1\nleft:\n%2\nright:\n%3\npatch:\n%4")
                                .arg(Round).arg(ToHex(Left), ToHex(Right), QString::fromUtf8(Diff.Out))));
    }
}

void TestCliDiff::patchRebuildsTablePairs_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QByteArray>("right");
    QTest::newRow("lone CR") << QByteArray("a\rb\rc\r") << QByteArray("a\rX\rc\r");
    QTest::newRow("lone CR against LF") << QByteArray("a\rb\r") << QByteArray("a\nb\n");
    QTest::newRow("CR LF against LF") << QByteArray("a\r\nb\r\nc\r\n") << QByteArray("a\nb\nc\n");
    QTest::newRow("LF against CR LF, one line changed") << QByteArray("a\nb\nc\n") << QByteArray("a\r\nB\r\nc\r\n");
    QTest::newRow("mixed breaks") << QByteArray("a\r\nb\nc\rd\r\n") << QByteArray("a\nb\r\nc\rd\n");
    QTest::newRow("no final break on the left") << QByteArray("a\nb") << QByteArray("a\nb\n");
    QTest::newRow("no final break on the right") << QByteArray("a\nb\n") << QByteArray("a\nb");
    QTest::newRow("no final break on either") << QByteArray("a\nb") << QByteArray("a\nc");
    QTest::newRow("CR LF, no final break") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("Windows-1252 against UTF-8") << QByteArray("caf\xE9\nna\xEFve\n")
                                                << QByteArray("caf\xC3\xA9\nna\xC3\xAFve\n");
    QTest::newRow("with a mark against without") << QByteArray("\xEF\xBB\xBF" "a\nb\n") << QByteArray("a\nb\n");
    QTest::newRow("without a mark against with") << QByteArray("a\nb\n") << QByteArray("\xEF\xBB\xBF" "a\nb\n");
    QTest::newRow("empty against text") << QByteArray() << QByteArray("a\n");
    QTest::newRow("text against empty") << QByteArray("a") << QByteArray();
    // UTF-16 is printed as UTF-8: the patch turns LEFT's text, so printed, into RIGHT.
    QTest::newRow("UTF-16 against UTF-8") << Utf16(QStringLiteral("h\u00E9\r\nsame\n"), true)
                                          << QByteArray("h\xC3\xA9!\r\nsame\n");
}

void TestCliDiff::patchRebuildsTablePairs()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, right);
    if (!HasCommand(QStringLiteral("patch")) || !HasCommand(QStringLiteral("diff")))
        QSKIP("patch or diff not installed");
    QTemporaryDir Work;
    WriteBytesFile(Work.path(), QStringLiteral("l"), left);
    WriteBytesFile(Work.path(), QStringLiteral("r"), right);
    const TProgramRun Diff = RunQuorlane({"--diff", "l", "r"}, Work.path());
    QCOMPARE(Diff.ExitCode, 1);
    QCOMPARE(Diff.Err, QByteArray());

    const bool Utf16Left = left.startsWith("\xFF\xFE");
    const QByteArray Printed = Utf16Left ? QString::fromUtf16(reinterpret_cast<const char16_t*>(left.constData() + 2),
                                                                (left.size() - 2) / 2).toUtf8()
                                         : left;
    const QString Target = WriteBytesFile(Work.path(), QStringLiteral("t"), Printed);
    WriteBytesFile(Work.path(), QStringLiteral("l"), Printed);   // GNU diff compares the same bytes
    const QString Patch = WriteBytesFile(Work.path(), QStringLiteral("p.diff"), Diff.Out);
    const TProgramRun Applied = RunProcess(QStringLiteral("patch"), {"-s", Target, "-i", Patch}, Work.path());
    QVERIFY2(Applied.ExitCode == 0, (Applied.Out + Applied.Err + "\n" + Diff.Out).constData());
    QCOMPARE(ToHex(ReadBytesFile(Target)), ToHex(right));

    const TProgramRun Gnu = GnuDiff({}, Work.path(), true);
    QCOMPARE(Diff.ExitCode, Gnu.ExitCode);
    QVERIFY2(ChangedLines(Diff.Out) == ChangedLines(Gnu.Out), qPrintable(Describe({}, left, right, Diff.Out, Gnu.Out)));
}

// Many small pairs rich in blank and white-space lines, under each option and several together:
// the exit status is GNU diff's, and so is the number of changed lines that a smallest change
// needs (diff --minimal). With -B only the lines that are not blank are counted: which blank
// lines a hunk shows beside them depends on which of several smallest alignments is taken.
void TestCliDiff::optionsAgreeWithGnuOnRandomPairs()
{
    if (!HasCommand(QStringLiteral("diff")))
        QSKIP("GNU diff not installed");
    const QList<QByteArray> Pool = {"", "", "  ", "\t", "a", "b", "A", "a b", "a  b", "a ", " a", "c", "x\r", "\r"};
    const QList<QStringList> OptionSets = {
        {}, {"-B"}, {"-B", "-b"}, {"-B", "-w"}, {"-B", "-i"}, {"-B", "--ignore-trailing-space"},
        {"-B", "--strip-trailing-cr"}, {"-B", "-U0"}, {"-B", "-U1"}, {"-b"}, {"-w"}, {"-i"},
        {"--ignore-trailing-space"}, {"--strip-trailing-cr"}, {"-i", "-b"}, {"-q", "-B"}};
    QRandomGenerator Rng(20261211);
    QTemporaryDir Work;
    for (int Round = 0; Round < 3000; ++Round) {
        const QByteArray Left = RandomText(Rng, Pool, 8);
        QByteArray Right = RandomText(Rng, Pool, 8);
        if (Rng.bounded(2) == 0)   // an edited copy: mostly blank-line and white-space edits
            Right = Left.left(Rng.bounded(int(Left.size()) + 1)) + RandomText(Rng, Pool, 2)
                    + Left.mid(Rng.bounded(int(Left.size()) + 1));
        const QStringList Options = OptionSets[Rng.bounded(int(OptionSets.size()))];
        WriteBytesFile(Work.path(), QStringLiteral("l"), Left);
        WriteBytesFile(Work.path(), QStringLiteral("r"), Right);
        const TProgramRun Ours = RunQuorlane(QStringList{"--diff"} + Options + QStringList{"l", "r"}, Work.path());
        const TProgramRun Gnu = GnuDiff(Options, Work.path(), false);
        const TProgramRun Minimal = GnuDiff(Options, Work.path(), true);
        const QString Where = Describe(Options, Left, Right, Ours.Out, Minimal.Out);
        QVERIFY2(Ours.ExitCode == Gnu.ExitCode, qPrintable(Where));
        QVERIFY2(Ours.ExitCode == Minimal.ExitCode, qPrintable(Where));
        if (Options.contains(QStringLiteral("-q"))) {
            QCOMPARE(Ours.Out, Gnu.Out);
            continue;
        }
        const QList<QByteArray> Changed = ChangedLines(Ours.Out), GnuChanged = ChangedLines(Minimal.Out);
        if (Options.contains(QStringLiteral("-B")))
            QVERIFY2(NonBlankCount(Changed) == NonBlankCount(GnuChanged), qPrintable(Where));
        else
            QVERIFY2(Changed.size() == GnuChanged.size(), qPrintable(Where));
    }
}

// A 2 GB file of NUL bytes is binary from its first block: deciding so reads no more, and two
// such files are compared a block at a time (up to their first difference), within an address
// space far smaller than one file.
void TestCliDiff::hugeBinaryFileIsNotReadWhole()
{
#if defined(__SANITIZE_ADDRESS__)
    // Its shadow memory cannot be reserved under an address-space limit.
    QSKIP("an address-space limit does not apply under AddressSanitizer");
#endif
    QTemporaryDir Work;
    constexpr qint64 Huge = 2'000'000'000;
    for (const char* Name : {"zeros", "zeros-one", "zeros-longer"}) {
        QFile File(Work.filePath(QString::fromLatin1(Name)));
        QVERIFY(File.open(QIODevice::WriteOnly));
        QVERIFY(File.resize(Huge + (QByteArrayView(Name) == "zeros-longer" ? 1 : 0)));   // sparse
        if (QByteArrayView(Name) == "zeros-one") {   // one byte set, early on
            QVERIFY(File.seek(70000));
            QVERIFY(File.putChar('\1'));
        }
    }
    WriteBytesFile(Work.path(), QStringLiteral("text"), "some text\n");
    const auto Run = [&](const QString& Left, const QString& Right) {
        return RunProcess(QStringLiteral("sh"),
                          {"-c", QStringLiteral("ulimit -v 1500000 && exec \"$0\" --diff \"$1\" \"$2\""),
                           ProgramPath(), Left, Right},
                          Work.path(), HeadlessEnvironment(), 120000);
    };
    const struct {
        const char *Left, *Right;
        int Status;
        QByteArray Out;
    } Cases[] = {
        {"zeros", "text", 1, "Binary files zeros and text differ\n"},
        {"text", "zeros", 1, "Binary files text and zeros differ\n"},
        {"zeros", "zeros-longer", 1, "Binary files zeros and zeros-longer differ\n"},
        {"zeros", "zeros-one", 1, "Binary files zeros and zeros-one differ\n"},
    };
    // A binary file against a path that is not there is trouble, not a difference.
    const TProgramRun Missing = Run(QStringLiteral("zeros"), QStringLiteral("gone"));
    QCOMPARE(Missing.Out, QByteArray());
    QVERIFY2(Missing.Err.contains("gone"), Missing.Err.constData());
    QCOMPARE(Missing.ExitCode, 2);
    for (const auto& Case : Cases) {
        const TProgramRun Diff = Run(QString::fromLatin1(Case.Left), QString::fromLatin1(Case.Right));
        QVERIFY2(!Diff.Crashed, Case.Left);
        QCOMPARE(Diff.Err, QByteArray());
        QCOMPARE(Diff.Out, Case.Out);
        QCOMPARE(Diff.ExitCode, Case.Status);
    }
}

// 5,000 nested folders on each side, far beyond the system's path limit: listed and compared.
void TestCliDiff::deepFolders()
{
    QTemporaryDir Work(DeepTreePlace());
    QDir().mkpath(Work.filePath("A"));
    QDir().mkpath(Work.filePath("B"));
    const QString Deep = MakeNestedFolders(Work.filePath("A"), 5000, "d", {{"f", "left"}, {"same", "s"}, {"only", "1"}});
    MakeNestedFolders(Work.filePath("B"), 5000, "d", {{"f", "righ"}, {"same", "s"}});
    const auto Remove = qScopeGuard([&] {
        RemoveDeepFolder(Work.filePath("A"));
        RemoveDeepFolder(Work.filePath("B"));
    });

    const TProgramRun Run = RunQuorlane({"--diff", "A", "B"}, Work.path());
    QVERIFY(!Run.Crashed);
    QCOMPARE(Run.Err, QByteArray());
    const QByteArray D = Deep.chopped(1).toUtf8();
    QCOMPARE(Run.Out, "Files A/" + D + "/f and B/" + D + "/f differ\n" + "Only in A/" + D + ": only\n");
    QCOMPARE(Run.ExitCode, 1);
}

namespace {

// Runs Program as an ordinary user when the tests run as root (root reads every file, so a file
// that may not be read would be read all the same).
TProgramRun RunAsUser(const QString& Program, const QStringList& Args, const QString& WorkDir)
{
    if (::geteuid() != 0)
        return RunProcess(Program, Args, WorkDir);
    return RunProcess(QStringLiteral("setpriv"),
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", Program} + Args, WorkDir);
}

QList<QByteArray> SortedLines(const QByteArray& Text)
{
    QList<QByteArray> Lines = Text.split('\n');
    std::sort(Lines.begin(), Lines.end());
    return Lines;
}

}  // namespace

// Trees made here, compared by GNU diff -rq and by --diff: the same lines on stdout and the same
// exit status. Entries: "f:NAME=BYTES" a file, "d:NAME" a folder, "l:NAME=TARGET" a link,
// "u:NAME" made unreadable.
void TestCliDiff::foldersAgreeWithGnuDiff_data()
{
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("right");
    QTest::newRow("identical") << QStringList{"f:a=1", "d:e"} << QStringList{"f:a=1", "d:e"};
    QTest::newRow("an empty folder on one side") << QStringList{"f:a=1"} << QStringList{"f:a=1", "d:newdir"};
    QTest::newRow("a folder of folders on one side")
        << QStringList{"f:a=1", "d:x/y/z", "d:x/w"} << QStringList{"f:a=1"};
    QTest::newRow("a folder with files on one side")
        << QStringList{"f:sub/a=1", "f:sub/only/l.txt=l", "f:sub/only/deeper/m=m"} << QStringList{"f:sub/a=1"};
    QTest::newRow("file against folder") << QStringList{"f:thing=x", "d:other/in"}
                                         << QStringList{"f:thing/inner=1", "f:other=abc"};
    QTest::newRow("empty file against folder") << QStringList{"f:thing="} << QStringList{"d:thing"};
    QTest::newRow("same bytes, one side unreadable")
        << QStringList{"f:secret=aaa", "u:secret", "f:plain=1"} << QStringList{"f:secret=aaa", "f:plain=2"};
    QTest::newRow("dangling links") << QStringList{"l:dangling=nowhere", "f:a=1"}
                                    << QStringList{"l:dangling=nowhere", "f:a=1", "l:only=missing"};
    QTest::newRow("sizes and bytes") << QStringList{"f:a=12", "f:b=xy", "f:c="} << QStringList{"f:a=1", "f:b=xz", "f:c="};
}

void TestCliDiff::foldersAgreeWithGnuDiff()
{
    QFETCH(QStringList, left);
    QFETCH(QStringList, right);
    if (!HasCommand("diff") || (::geteuid() == 0 && !HasCommand("setpriv")))
        QSKIP("GNU diff (and setpriv, as root) needed");
    QTemporaryDir Work;
    QCOMPARE(::chmod(QFile::encodeName(Work.path()).constData(), 0755), 0);
    for (const auto& [Side, Entries] : {std::pair(QStringLiteral("A"), left), std::pair(QStringLiteral("B"), right)}) {
        const QString Root = Work.filePath(Side);
        QVERIFY(QDir().mkpath(Root));
        for (const QString& Entry : Entries) {
            const QString Spec = Entry.mid(2);
            const QString Name = Spec.section(u'=', 0, 0), Value = Spec.section(u'=', 1);
            const QString Path = Root + u'/' + Name;
            switch (Entry[0].toLatin1()) {
            case 'f':
                QVERIFY(QDir().mkpath(QFileInfo(Path).path()));
                WriteBytesFile(QFileInfo(Path).path(), QFileInfo(Path).fileName(), Value.toUtf8());
                break;
            case 'd': QVERIFY(QDir().mkpath(Path)); break;
            case 'l': QVERIFY(QFile::link(Value, Path)); break;
            case 'u': QCOMPARE(::chmod(QFile::encodeName(Path).constData(), 0), 0); break;
            }
        }
    }
    const TProgramRun Gnu = RunAsUser("diff", {"-rq", "A", "B"}, Work.path());
    const TProgramRun Ours = RunAsUser(ProgramPath(), {"--diff", "A", "B"}, Work.path());
    QVERIFY(!Ours.Crashed);
    QCOMPARE(SortedLines(Ours.Out), SortedLines(Gnu.Out));
    QCOMPARE(Ours.ExitCode, Gnu.ExitCode);
    QCOMPARE(Ours.Err.isEmpty(), Gnu.Err.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliDiff)
#include "tst_cli_diff.moc"
