// The command line of the real program: help, version and usage errors print and exit without a
// window (the runs have no display), and the parser resolves what the window gets.

#include "cli/CommandLine.h"
#include "support/core/ProgramProcess.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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
    QTest::newRow("one path") << QStringList{"a.txt"} << 2 << ""
                              << "quorlane: give two paths, LEFT and RIGHT, three, LOCAL BASE REMOTE, or none (got 1)";
    QTest::newRow("four paths") << QStringList{"a", "b", "c", "d"} << 2 << ""
                                << "quorlane: give two paths, LEFT and RIGHT, three, LOCAL BASE REMOTE, or none (got 4)";
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
}

void TestCliCommandLine::printsAndExitsWithoutWindow()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir Work;
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
    QTest::newRow("none") << QStringList{} << "" << "";
    QTest::newRow("relative") << QStringList{"a.txt", "sub/../b.txt"} << "/home/u/work/a.txt"
                              << "/home/u/work/b.txt";
    QTest::newRow("absolute") << QStringList{"/tmp/x/", "/etc"} << "/tmp/x" << "/etc";
    QTest::newRow("parent") << QStringList{"..", "."} << "/home/u" << "/home/u/work";
    QTest::newRow("after --, a dash path") << QStringList{"--", "-left", "right"}
                                          << "/home/u/work/-left" << "/home/u/work/right";
    QTest::newRow("blank in a name") << QStringList{"my file.txt", "b"} << "/home/u/work/my file.txt"
                                     << "/home/u/work/b";
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

QTEST_GUILESS_MAIN(TestCliCommandLine)
#include "tst_cli_commandline.moc"
