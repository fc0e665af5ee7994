// The command line of the real program: help, version and usage errors print and exit without a
// window (the runs have no display), and the parser resolves what the window gets.

#include "cli/CommandLine.h"
#include "support/core/ProgramProcess.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorlane::test;

class TestCliCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void printsAndExitsWithoutWindow_data();
    void printsAndExitsWithoutWindow();
    void windowPathsAreAbsolute_data();
    void windowPathsAreAbsolute();
    void mergeWindowArguments_data();
    void mergeWindowArguments();
    void diffOptionsAsGnuDiffNamesThem_data();
    void diffOptionsAsGnuDiffNamesThem();
    void outputThatCannotBeWrittenIsTrouble_data();
    void outputThatCannotBeWrittenIsTrouble();
    void windowWithoutDisplayIsRefusedInWords_data();
    void windowWithoutDisplayIsRefusedInWords();
    void namesThatAreNotUtf8KeepTheirBytes_data();
    void namesThatAreNotUtf8KeepTheirBytes();
};

void TestCliCommandLine::printsAndExitsWithoutWindow_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");   // exact stdout, or "*" + a line it starts with
    QTest::addColumn<QString>("err");   // first line of stderr; empty: stderr must be empty

    const QString Help = QStringLiteral("*Usage: quorlane [LEFT RIGHT]");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "Quorlane 1.0\n" << "";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << "Quorlane 1.0\n" << "";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << Help << "";
    QTest::newRow("-h with paths") << QStringList{"-h", "a", "b"} << 0 << Help << "";
    QTest::newRow("--from-desktop with --diff") << QStringList{"--diff", "--from-desktop", "a", "b"} << 2 << ""
                                                << "quorlane: option '--from-desktop' works only without --diff";
    QTest::newRow("four paths") << QStringList{"a", "b", "c", "d"} << 2 << ""
                                << "quorlane: give two paths, LEFT and RIGHT, three, LOCAL BASE REMOTE, one path or none (got 4)";
    QTest::newRow("-o with two paths") << QStringList{"-o", "m", "a", "b"} << 2 << ""
                                       << "quorlane: option '-o' works only with three paths, LOCAL BASE REMOTE";
    QTest::newRow("-o empty") << QStringList{"-o", "", "a", "b", "c"} << 2 << "" << "quorlane: an empty path";
    QTest::newRow("merge with an empty LOCAL") << QStringList{"", "b", "c"} << 2 << "" << "quorlane: an empty path";
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "a", "b"} << 2 << ""
                                    << "quorlane: Unknown option 'frobnicate'.";
    QTest::newRow("unknown short option") << QStringList{"-x", "a", "b"} << 2 << ""
                                          << "quorlane: Unknown option 'x'.";
    QTest::newRow("diff option without --diff") << QStringList{"-w", "a", "b"} << 2 << ""
                                                << "quorlane: option '-w' works only with --diff";
    QTest::newRow("--diff with one path") << QStringList{"--diff", "a"} << 2 << ""
                                          << "quorlane: --diff needs two paths, got 1";
    QTest::newRow("--diff without paths") << QStringList{"--diff"} << 2 << ""
                                          << "quorlane: --diff needs two paths, LEFT and RIGHT";
    QTest::newRow("-U not a number") << QStringList{"--diff", "-U", "x", "a", "b"} << 2 << ""
                                     << "quorlane: invalid context length 'x'";
    QTest::newRow("-U negative") << QStringList{"--diff", "--unified=-1", "a", "b"} << 2 << ""
                                 << "quorlane: invalid context length '-1'";
    QTest::newRow("-U without value") << QStringList{"--diff", "a", "b", "-U"} << 2 << ""
                                      << "quorlane: Missing value after '-U'.";
    QTest::newRow("empty path") << QStringList{"", "b"} << 2 << "" << "quorlane: an empty path";
    QTest::newRow("--diff missing file") << QStringList{"--diff", "no-such-left", "no-such-right"} << 2
                                         << "" << "quorlane: Cannot open file \"no-such-left\". No such file or directory";
    // The missing path is named, not the folder beside it.
    QTest::newRow("--diff folder and missing") << QStringList{"--diff", ".", "no-such"} << 2 << ""
                                               << "quorlane: Cannot open file \"no-such\". No such file or directory";
    QTest::newRow("--diff missing and folder") << QStringList{"--diff", "no-such", "."} << 2 << ""
                                               << "quorlane: Cannot open file \"no-such\". No such file or directory";
    QTest::newRow("--diff missing below a file") << QStringList{"--diff", ".", "file/x"} << 2 << ""
                                                 << "quorlane: Cannot open file \"file/x\". Not a directory";
}

void TestCliCommandLine::printsAndExitsWithoutWindow()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir Work;
    QFile File(Work.filePath(QStringLiteral("file")));
    QVERIFY(File.open(QIODevice::WriteOnly));
    File.close();
    const TProgramRun Run = RunQuorlane(args, Work.path());
    QVERIFY2(!Run.Crashed, Run.Err.constData());
    QCOMPARE(Run.ExitCode, exitCode);
    if (out.startsWith(u'*'))
        QVERIFY2(QString::fromUtf8(Run.Out).startsWith(out.mid(1)), Run.Out.constData());
    else
        QCOMPARE(QString::fromUtf8(Run.Out), out);
    const QStringList ErrLines = QString::fromUtf8(Run.Err).split(u'\n');
    if (err.isEmpty()) {
        QCOMPARE(QString::fromUtf8(Run.Err), QString());
    } else {
        QCOMPARE(ErrLines.value(0), err);
        // A usage error names the usage and points to --help; the loader's errors stand alone.
        if (exitCode == 2 && !err.contains(u"Cannot open"))
            QCOMPARE(ErrLines.value(2), QStringLiteral("Try 'quorlane --help' for more information."));
    }
}

void TestCliCommandLine::windowPathsAreAbsolute_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("right");
    QTest::addColumn<int>("given");
    QTest::newRow("none") << QStringList{} << "" << "" << 0;
    QTest::newRow("one path: the left one") << QStringList{"a.txt"} << "/home/u/work/a.txt" << "" << 1;
    QTest::newRow("from the desktop, one path") << QStringList{"--from-desktop", "/etc/hostname"}
                                                << "/etc/hostname" << "" << 1;
    QTest::newRow("from the desktop, four paths: the first two")
        << QStringList{"--from-desktop", "a", "b", "c", "d"} << "/home/u/work/a" << "/home/u/work/b" << 4;
    QTest::newRow("relative") << QStringList{"a.txt", "sub/../b.txt"} << "/home/u/work/a.txt"
                              << "/home/u/work/b.txt" << 2;
    QTest::newRow("absolute") << QStringList{"/tmp/x/", "/etc"} << "/tmp/x" << "/etc" << 2;
    QTest::newRow("parent") << QStringList{"..", "."} << "/home/u" << "/home/u/work" << 2;
    QTest::newRow("after --, a dash path") << QStringList{"--", "-left", "right"}
                                          << "/home/u/work/-left" << "/home/u/work/right" << 2;
    QTest::newRow("blank in a name") << QStringList{"my file.txt", "b"} << "/home/u/work/my file.txt"
                                     << "/home/u/work/b" << 2;
}

void TestCliCommandLine::windowPathsAreAbsolute()
{
    QFETCH(QStringList, args);
    QFETCH(QString, left);
    QFETCH(QString, right);
    const TCommandLine Command = ParseCommandLine(args, QStringLiteral("/home/u/work"));
    QCOMPARE(int(Command.Mode), int(TRunMode::Window));
    QCOMPARE(Command.Left, left);
    QCOMPARE(Command.Right, right);
    QCOMPARE(Command.HasPaths(), !left.isEmpty());
    QTEST(Command.PathsGiven, "given");
}

// Three paths open the merge window (git mergetool's LOCAL BASE REMOTE, and -o MERGED); an
// empty BASE is git's add/add.
void TestCliCommandLine::mergeWindowArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected");   // LOCAL, BASE, REMOTE, MERGED
    const QString W = QStringLiteral("/home/u/work/");
    QTest::newRow("three paths") << QStringList{"l.c", "b.c", "r.c"} << QStringList{W + "l.c", W + "b.c", W + "r.c", ""};
    QTest::newRow("-o") << QStringList{"-o", "m.c", "./l.c", "b.c", "/tmp/r.c"}
                        << QStringList{W + "l.c", W + "b.c", "/tmp/r.c", W + "m.c"};
    QTest::newRow("--output= after the paths") << QStringList{"l.c", "b.c", "r.c", "--output=/x/m.c"}
                                               << QStringList{W + "l.c", W + "b.c", W + "r.c", "/x/m.c"};
    QTest::newRow("empty base") << QStringList{"-o", "m.c", "l.c", "", "r.c"}
                                << QStringList{W + "l.c", "", W + "r.c", W + "m.c"};
}

void TestCliCommandLine::mergeWindowArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    const TCommandLine Command = ParseCommandLine(args, QStringLiteral("/home/u/work"));
    QCOMPARE(int(Command.Mode), int(TRunMode::Window));
    QVERIFY(Command.MergeWindow);
    QCOMPARE((QStringList{Command.Left, Command.Base, Command.Right, Command.Output}), expected);
}

void TestCliCommandLine::diffOptionsAsGnuDiffNamesThem_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("options");   // letters of the set options in TDiffOptions order: cwblt B
    QTest::addColumn<int>("context");
    QTest::addColumn<bool>("brief");
    QTest::newRow("none") << QStringList{} << "" << 3 << false;
    QTest::newRow("-u is the default form") << QStringList{"-u"} << "" << 3 << false;
    QTest::newRow("-i") << QStringList{"-i"} << "c" << 3 << false;
    QTest::newRow("compacted -iwbB") << QStringList{"-iwbB"} << "cwbB" << 3 << false;
    QTest::newRow("long names") << QStringList{"--ignore-case", "--ignore-all-space",
                                               "--ignore-space-change", "--ignore-blank-lines"}
                                << "cwbB" << 3 << false;
    QTest::newRow("leading and trailing") << QStringList{"--ignore-leading-space", "--ignore-trailing-space"}
                                          << "lt" << 3 << false;
    QTest::newRow("-U 0") << QStringList{"-U", "0"} << "" << 0 << false;
    QTest::newRow("-U7 stuck") << QStringList{"-U7"} << "" << 7 << false;
    QTest::newRow("--unified=12") << QStringList{"--unified=12"} << "" << 12 << false;
    QTest::newRow("-q") << QStringList{"-q"} << "" << 3 << true;
    QTest::newRow("--brief after the paths") << QStringList{"--brief"} << "" << 3 << true;
}

void TestCliCommandLine::diffOptionsAsGnuDiffNamesThem()
{
    QFETCH(QStringList, args);
    QFETCH(QString, options);
    QFETCH(int, context);
    QFETCH(bool, brief);
    const bool After = QByteArray(QTest::currentDataTag()).contains("after the paths");
    const QStringList Full = After ? QStringList{"--diff", "l", "r"} + args
                                   : QStringList{"--diff"} + args + QStringList{"l", "r"};
    const TCommandLine Command = ParseCommandLine(Full, QStringLiteral("/w"));
    QCOMPARE(int(Command.Mode), int(TRunMode::Diff));
    QCOMPARE(Command.Left, QStringLiteral("l"));   // labels stay as typed
    QCOMPARE(Command.Right, QStringLiteral("r"));
    const TDiffOptions& O = Command.Options;
    QCOMPARE(O.IgnoreCase, options.contains(u'c'));
    QCOMPARE(O.IgnoreAllWhiteSpace, options.contains(u'w'));
    QCOMPARE(O.IgnoreWsAmount, options.contains(u'b'));
    QCOMPARE(O.IgnoreLeadingWhiteSpace, options.contains(u'l'));
    QCOMPARE(O.IgnoreTrailingWhiteSpace, options.contains(u't'));
    QCOMPARE(O.IgnoreBlankLines, options.contains(u'B'));
    QCOMPARE(Command.Context, context);
    QCOMPARE(Command.Brief, brief);
}


namespace {

// Runs the program through the shell, so an argument can hold any bytes (printf's octal escapes).
[[nodiscard]] TProgramRun RunShell(const QByteArray& Script, const QString& WorkDir,
                                   const QProcessEnvironment& Env = HeadlessEnvironment())
{
    QProcessEnvironment WithProgram = Env;
    WithProgram.insert(QStringLiteral("Q"), ProgramPath());
    return RunProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(Script)}, WorkDir,
                      WithProgram);
}

}   // namespace

void TestCliCommandLine::outputThatCannotBeWrittenIsTrouble_data()
{
    QTest::addColumn<QByteArray>("option");
    QTest::newRow("--help") << QByteArray("--help");
    QTest::newRow("--version") << QByteArray("--version");
}

void TestCliCommandLine::outputThatCannotBeWrittenIsTrouble()
{
    QFETCH(QByteArray, option);
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    QTemporaryDir Work;
    const TProgramRun Run = RunShell("exec \"$Q\" " + option + " > /dev/full", Work.path());
    QVERIFY(!Run.Crashed);
    QCOMPARE(Run.ExitCode, 2);
    QCOMPARE(Run.Err, QByteArray("quorlane: cannot write the output: No space left on device\n"));
}

void TestCliCommandLine::windowWithoutDisplayIsRefusedInWords_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("platform");   // QT_QPA_PLATFORM; empty: unset
    QTest::newRow("no arguments") << QStringList{} << QString();
    QTest::newRow("two paths") << QStringList{"a", "b"} << QString();
    QTest::newRow("X11 asked for") << QStringList{} << "xcb";
    QTest::newRow("Wayland, then X11") << QStringList{} << "wayland;xcb";
}

void TestCliCommandLine::windowWithoutDisplayIsRefusedInWords()
{
    QFETCH(QStringList, args);
    QFETCH(QString, platform);
    QProcessEnvironment Env = HeadlessEnvironment();
    Env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (!platform.isEmpty())
        Env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QTemporaryDir Work;
    const TProgramRun Run = RunQuorlane(args, Work.path(), Env);
    QVERIFY2(!Run.Crashed, Run.Err.constData());
    QCOMPARE(Run.ExitCode, 2);
    QCOMPARE(Run.Out, QByteArray());
    QCOMPARE(Run.Err, QByteArray("Quorlane needs a graphical display (DISPLAY or WAYLAND_DISPLAY is not set); use "
                                 "quorlane --diff for a comparison in the terminal.\n"));
}

void TestCliCommandLine::namesThatAreNotUtf8KeepTheirBytes_data()
{
    QTest::addColumn<QByteArray>("script");     // $B is the name with the bytes FF FE
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray Name = "bad\xff\xfename.txt";
    QTest::newRow("unified diff labels") << QByteArray("\"$Q\" --diff \"$B\" x") << 1
                                         << "--- " + Name + "\n+++ x\n@@ -1,2 +1,2 @@\n a\n-b\n+c\n" << QByteArray();
    QTest::newRow("brief") << QByteArray("\"$Q\" --diff -q x \"$B\"") << 1 << "Files x and " + Name + " differ\n"
                           << QByteArray();
    QTest::newRow("same file") << QByteArray("\"$Q\" --diff \"$B\" \"$B\"") << 0 << QByteArray() << QByteArray();
    QTest::newRow("in a folder of such a name")
        << QByteArray("\"$Q\" --diff \"d$B/$B\" x") << 1
        << "--- d" + Name + "/" + Name + "\n+++ x\n@@ -1,2 +1,2 @@\n a\n-b\n+c\n" << QByteArray();
    QTest::newRow("missing, named as given") << QByteArray("\"$Q\" --diff x \"$B.gone\"") << 2 << QByteArray()
                                             << "quorlane: Cannot open file \"" + Name + ".gone\". No such file or directory\n";
}

void TestCliCommandLine::namesThatAreNotUtf8KeepTheirBytes()
{
    QFETCH(QByteArray, script);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QTemporaryDir Work;
    const QByteArray Root = QFile::encodeName(Work.path()) + '/';
    const QByteArray Name = "bad\xff\xfename.txt";
    const auto Write = [](const QByteArray& Path, const QByteArray& Bytes) {
        std::FILE* File = std::fopen(Path.constData(), "wb");
        QVERIFY(File);
        std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), File);
        std::fclose(File);
    };
    // Qt does not see these names, so QTemporaryDir cannot remove them: they go by their bytes.
    const auto RemoveByBytes = qScopeGuard([&] {
        ::unlink((Root + "d" + Name + "/" + Name).constData());
        ::rmdir((Root + "d" + Name).constData());
        ::unlink((Root + Name).constData());
    });
    Write(Root + Name, "a\nb\n");
    Write(Root + "x", "a\nc\n");
    QCOMPARE(::mkdir((Root + "d" + Name).constData(), 0700), 0);
    Write(Root + "d" + Name + "/" + Name, "a\nb\n");

    const TProgramRun Run = RunShell("B=$(printf 'bad\\377\\376name.txt'); " + script, Work.path());
    QVERIFY2(!Run.Crashed, Run.Err.constData());
    QCOMPARE(Run.ExitCode, exitCode);
    QCOMPARE(Run.Out, out);
    QCOMPARE(Run.Err, err);
}

QTEST_GUILESS_MAIN(TestCliCommandLine)
#include "tst_cli_commandline.moc"
