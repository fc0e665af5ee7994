#include "cli/CommandLine.h"

#include "cli/HeadlessDiff.h"
#include "cli/HeadlessMerge.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// False when the text did not all reach the stream (a full disk, a closed pipe).
[[nodiscard]] bool Print(std::FILE* Stream, const QString& Text)
{
    const QByteArray Bytes = Text.toLocal8Bit();
    const size_t Written = std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), Stream);
    return std::fflush(Stream) == 0 && Written == size_t(Bytes.size()) && !std::ferror(Stream);
}

// Help and version are the whole output: when it cannot be written, the status says so.
[[nodiscard]] int PrintOutput(const QString& Text)
{
    if (Print(stdout, Text))
        return ExitSame;
    const int Error = errno;
    (void)Print(stderr, QStringLiteral("quorlane: cannot write the output: %1\n").arg(QString::fromLocal8Bit(std::strerror(Error))));
    return ExitTrouble;
}

}   // namespace

QString HelpText()
{
    return QStringLiteral(
        "Usage: quorlane [LEFT RIGHT]\n"
        "       quorlane [-o MERGED] LOCAL BASE REMOTE\n"
        "       quorlane --diff [OPTION]... LEFT RIGHT\n"
        "       quorlane --merge [OPTION]... CURRENT BASE OTHER\n"
        "Compare two text files, two folders or two documents side by side and merge the\n"
        "differences between two text files.\n"
        "\n"
        "With two paths the window opens and compares them at once: text files as text,\n"
        "folders as folder trees, documents (PDF, DOCX...) through the local Tika server.\n"
        "With one path the window opens with it on the left, waiting for the right one.\n"
        "With three paths the merge window opens on LOCAL, BASE and REMOTE (an empty or\n"
        "missing BASE merges two ways); -o, --output=MERGED names where the result is saved.\n"
        "It exits with 0 only when the result was saved with no conflict left.\n"
        "\n"
        "  -h, --help                  print this help and exit\n"
        "  -v, --version               print the version and exit\n"
        "      --diff                  print the comparison as a unified diff, no window\n"
        "\n"
        "With --diff:\n"
        "  -u                          unified output (the only form; accepted for habit)\n"
        "  -U, --unified=NUM           NUM lines of context (default 3)\n"
        "  -q, --brief                 report only whether the files differ\n"
        "  -i, --ignore-case           ignore differences in letter case\n"
        "  -w, --ignore-all-space      ignore all white space\n"
        "  -b, --ignore-space-change   ignore changes in the amount of white space\n"
        "      --ignore-leading-space  ignore white space at line start\n"
        "      --ignore-trailing-space ignore white space at line end\n"
        "  -B, --ignore-blank-lines    ignore blank lines\n"
        "      --strip-trailing-cr     compare CR LF line ends as LF\n"
        "\n"
        "Lines are compared as printed: split at LF, equal when their bytes are (line break\n"
        "included) unless an option above says otherwise, and aligned as the window aligns\n"
        "them; UTF-16 files are printed as UTF-8. Two folders print one line per differing\n"
        "file (\"Only in ...\", \"Files ... differ\").\n"
        "Exit status of --diff: 0 same, 1 different, 2 trouble.\n"
        "\n"
        "With --merge (as git merge-file; also git's merge driver):\n"
        "  -p, --stdout                print the result instead of replacing CURRENT\n"
        "  -q, --quiet                 no note on stderr of what the extra rules resolved\n"
        "  -L LABEL                    up to three times: the labels of CURRENT, BASE, OTHER\n"
        "      --diff3, --zdiff3       conflicts also show BASE (zdiff3: without common lines)\n"
        "      --marker-size=NUM       conflict markers of NUM characters (default 7)\n"
        "      --ours, --theirs, --union   resolve conflicts with that side, or both\n"
        "      --rules=LIST            extra rules that resolve what git leaves in conflict:\n"
        "                              inserts, adjacent, space, all or none\n"
        "                              (default: inserts)\n"
        "  -i, -w, -b, --ignore-leading-space, --ignore-trailing-space, -B\n"
        "                              what counts as a change, as with --diff\n"
        "Exit status of --merge: the number of conflicts (at most 127), 0 when clean,\n"
        "255 trouble.\n");
}

QString UsageErrorText(const QString& Error)
{
    return QStringLiteral("quorlane: %1\n"
                          "Usage: quorlane [LEFT RIGHT] | quorlane [-o MERGED] LOCAL BASE REMOTE | quorlane --diff [OPTION]... LEFT RIGHT\n"
                          "Try 'quorlane --help' for more information.\n")
        .arg(Error);
}

TCommandLine ParseCommandLine(const QStringList& Args, const QString& CurrentDir)
{
    if (Args.contains(QStringLiteral("--merge")))
        return ParseMergeCommandLine(Args);

    QCommandLineParser Parser;
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    Parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption Help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption Version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption Diff(QStringLiteral("diff"));
    // What a file manager passes through the desktop entry: any number of selected items.
    const QCommandLineOption FromDesktop(QStringLiteral("from-desktop"));
    const QCommandLineOption Unified(QStringLiteral("u"));
    const QCommandLineOption Context(QStringList{QStringLiteral("U"), QStringLiteral("unified")},
                                     QString(), QStringLiteral("NUM"));
    const QCommandLineOption Brief(QStringList{QStringLiteral("q"), QStringLiteral("brief")});
    const QCommandLineOption Case(QStringList{QStringLiteral("i"), QStringLiteral("ignore-case")});
    const QCommandLineOption AllSpace(QStringList{QStringLiteral("w"), QStringLiteral("ignore-all-space")});
    const QCommandLineOption SpaceChange(QStringList{QStringLiteral("b"), QStringLiteral("ignore-space-change")});
    const QCommandLineOption Leading(QStringLiteral("ignore-leading-space"));
    const QCommandLineOption Trailing(QStringLiteral("ignore-trailing-space"));
    const QCommandLineOption Blank(QStringList{QStringLiteral("B"), QStringLiteral("ignore-blank-lines")});
    const QCommandLineOption StripCr(QStringLiteral("strip-trailing-cr"));
    const QList<QCommandLineOption> DiffOnly = {Unified, Context, Brief, Case, AllSpace,
                                                SpaceChange, Leading, Trailing, Blank, StripCr};
    const QCommandLineOption Output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("MERGED"));
    Parser.addOptions({Help, Version, Diff, FromDesktop, Output});
    Parser.addOptions(DiffOnly);

    TCommandLine Result;
    auto Fail = [&Result](const QString& Error) {
        Result.Mode = TRunMode::UsageError;
        Result.Error = Error;
        return Result;
    };
    // parse() wants the program name first; it never looks at it.
    if (!Parser.parse(QStringList{QStringLiteral("quorlane")} + Args))
        return Fail(Parser.errorText());
    if (Parser.isSet(Help)) {
        Result.Mode = TRunMode::Help;
        return Result;
    }
    if (Parser.isSet(Version)) {
        Result.Mode = TRunMode::Version;
        return Result;
    }
    const bool Headless = Parser.isSet(Diff);
    if (!Headless) {
        for (const QCommandLineOption& Option : DiffOnly)
            if (Parser.isSet(Option))
                return Fail(QStringLiteral("option '%1' works only with --diff")
                                .arg((Option.names().constFirst().size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + Option.names().constFirst()));
    }
    const QStringList Paths = Parser.positionalArguments();
    if (Headless && Paths.size() != 2)
        return Fail(Paths.isEmpty() ? QStringLiteral("--diff needs two paths, LEFT and RIGHT")
                                    : QStringLiteral("--diff needs two paths, got %1").arg(Paths.size()));
    if (Headless && Parser.isSet(FromDesktop))
        return Fail(QStringLiteral("option '--from-desktop' works only without --diff"));
    const bool Merge = !Headless && Paths.size() == 3 && !Parser.isSet(FromDesktop);
    if (Parser.isSet(Output) && !Merge)
        return Fail(QStringLiteral("option '-o' works only with three paths, LOCAL BASE REMOTE"));
    if (!Headless && Paths.size() > 3 && !Parser.isSet(FromDesktop))
        return Fail(QStringLiteral("give two paths, LEFT and RIGHT, three, LOCAL BASE REMOTE, one path or none (got %1)").arg(Paths.size()));
    for (qsizetype I = 0; I < Paths.size(); ++I)
        if (Paths[I].isEmpty() && !(Merge && I == 1))   // git's add/add has an empty base
            return Fail(QStringLiteral("an empty path"));
    if (Merge) {
        const QDir Here(CurrentDir);
        const auto Absolute = [&Here](const QString& Path) {
            return Path.isEmpty() ? QString() : QDir::cleanPath(Here.absoluteFilePath(Path));
        };
        Result.MergeWindow = true;
        Result.Left = Absolute(Paths[0]);
        Result.Base = Absolute(Paths[1]);
        Result.Right = Absolute(Paths[2]);
        if (Parser.isSet(Output)) {
            if (Parser.value(Output).isEmpty())
                return Fail(QStringLiteral("an empty path"));
            Result.Output = Absolute(Parser.value(Output));
        }
        return Result;
    }

    if (Headless) {
        Result.Mode = TRunMode::Diff;
        Result.Left = Paths[0];
        Result.Right = Paths[1];
        if (Parser.isSet(Context)) {
            bool Ok = false;
            const int Lines = Parser.value(Context).toInt(&Ok);
            if (!Ok || Lines < 0)
                return Fail(QStringLiteral("invalid context length '%1'").arg(Parser.value(Context)));
            Result.Context = Lines;
        }
        Result.Brief = Parser.isSet(Brief);
        Result.Options.IgnoreCase = Parser.isSet(Case);
        Result.Options.IgnoreAllWhiteSpace = Parser.isSet(AllSpace);
        Result.Options.IgnoreWsAmount = Parser.isSet(SpaceChange);
        Result.Options.IgnoreLeadingWhiteSpace = Parser.isSet(Leading);
        Result.Options.IgnoreTrailingWhiteSpace = Parser.isSet(Trailing);
        Result.Options.IgnoreBlankLines = Parser.isSet(Blank);
        Result.StripTrailingCr = Parser.isSet(StripCr);
        return Result;
    }
    const QDir Here(CurrentDir);
    Result.PathsGiven = int(Paths.size());
    if (!Paths.isEmpty())
        Result.Left = QDir::cleanPath(Here.absoluteFilePath(Paths[0]));
    if (Paths.size() >= 2)
        Result.Right = QDir::cleanPath(Here.absoluteFilePath(Paths[1]));
    return Result;
}

bool GraphicalDisplayAvailable()
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    // Platforms other than X11 and Wayland (offscreen, vnc, linuxfb, ...) need neither variable.
    const QStringList Platforms = qEnvironmentVariable("QT_QPA_PLATFORM").split(u';', Qt::SkipEmptyParts);
    return std::any_of(Platforms.cbegin(), Platforms.cend(), [](const QString& Platform) {
        const QString Name = Platform.section(u':', 0, 0).trimmed();
        return Name != QLatin1String("xcb") && !Name.startsWith(QLatin1String("wayland"));
    });
}

int RunWithoutWindow(const TCommandLine& Command)
{
    switch (Command.Mode) {
    case TRunMode::Help:
        return PrintOutput(HelpText());
    case TRunMode::Version:
        return PrintOutput(QString::fromLatin1(ProgramVersionLine) + u'\n');
    case TRunMode::UsageError:
        (void)Print(stderr, UsageErrorText(Command.Error));
        return Command.UsageStatus;
    case TRunMode::Diff:
        return RunHeadlessDiff(Command, stdout, stderr);
    case TRunMode::Merge:
        return RunHeadlessMerge(Command.Merge, stdout, stderr);
    case TRunMode::Window:
        break;
    }
    return ExitTrouble;
}
