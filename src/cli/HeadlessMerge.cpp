#include "cli/HeadlessMerge.h"

#include "text/SideLoad.h"
#include "text/SideSave.h"
#include "text/SideState.h"
#include "text/TextFile.h"
#include "text/Windows1252.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>

TCommandLine ParseMergeCommandLine(const QStringList& Args)
{
    QCommandLineParser Parser;
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    Parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption Help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption Merge(QStringLiteral("merge"));
    const QCommandLineOption Stdout(QStringList{QStringLiteral("p"), QStringLiteral("stdout")});
    const QCommandLineOption Quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption Label(QStringLiteral("L"), QString(), QStringLiteral("LABEL"));
    const QCommandLineOption Diff3(QStringLiteral("diff3"));
    const QCommandLineOption Zdiff3(QStringLiteral("zdiff3"));
    const QCommandLineOption MarkerSize(QStringLiteral("marker-size"), QString(), QStringLiteral("NUM"));
    const QCommandLineOption Ours(QStringLiteral("ours"));
    const QCommandLineOption Theirs(QStringLiteral("theirs"));
    const QCommandLineOption Union(QStringLiteral("union"));
    const QCommandLineOption Rules(QStringLiteral("rules"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption Case(QStringList{QStringLiteral("i"), QStringLiteral("ignore-case")});
    const QCommandLineOption AllSpace(QStringList{QStringLiteral("w"), QStringLiteral("ignore-all-space")});
    const QCommandLineOption SpaceChange(QStringList{QStringLiteral("b"), QStringLiteral("ignore-space-change")});
    const QCommandLineOption Leading(QStringLiteral("ignore-leading-space"));
    const QCommandLineOption Trailing(QStringLiteral("ignore-trailing-space"));
    const QCommandLineOption Blank(QStringList{QStringLiteral("B"), QStringLiteral("ignore-blank-lines")});
    Parser.addOptions({Help, Merge, Stdout, Quiet, Label, Diff3, Zdiff3, MarkerSize, Ours, Theirs,
                       Union, Rules, Case, AllSpace, SpaceChange, Leading, Trailing, Blank});

    TCommandLine Result;
    Result.UsageStatus = ExitMergeTrouble;
    auto Fail = [&Result](const QString& Error) {
        Result.Mode = TRunMode::UsageError;
        Result.Error = Error;
        return Result;
    };
    if (!Parser.parse(QStringList{QStringLiteral("quorlane")} + Args))
        return Fail(Parser.errorText());
    if (Parser.isSet(Help)) {
        Result.Mode = TRunMode::Help;
        return Result;
    }
    const QStringList Paths = Parser.positionalArguments();
    if (Paths.size() != 3)
        return Fail(QStringLiteral("--merge needs three paths, CURRENT BASE OTHER (got %1)").arg(Paths.size()));
    for (const QString& Path : Paths)
        if (Path.isEmpty())
            return Fail(QStringLiteral("an empty path"));
    TMergeRequest& M = Result.Merge;
    M.Current = Paths[0];
    M.Base = Paths[1];
    M.Other = Paths[2];
    M.Labels = Parser.values(Label);
    if (M.Labels.size() > 3)
        return Fail(QStringLiteral("too many labels (-L): at most three"));
    M.ToStdout = Parser.isSet(Stdout);
    M.Quiet = Parser.isSet(Quiet);
    if (Parser.isSet(Diff3) && Parser.isSet(Zdiff3))
        return Fail(QStringLiteral("choose one of --diff3 and --zdiff3"));
    M.Options.Style = Parser.isSet(Zdiff3) ? TMerge3Style::Zdiff3
                      : Parser.isSet(Diff3) ? TMerge3Style::Diff3
                                            : TMerge3Style::Merge;
    M.Markers.Style = M.Options.Style;
    if (int(Parser.isSet(Ours)) + int(Parser.isSet(Theirs)) + int(Parser.isSet(Union)) > 1)
        return Fail(QStringLiteral("choose one of --ours, --theirs and --union"));
    M.Markers.Favor = Parser.isSet(Ours)     ? TMerge3Favor::Ours
                      : Parser.isSet(Theirs) ? TMerge3Favor::Theirs
                      : Parser.isSet(Union)  ? TMerge3Favor::Union
                                             : TMerge3Favor::None;
    if (Parser.isSet(MarkerSize)) {
        bool Ok = false;
        const int Size = Parser.value(MarkerSize).toInt(&Ok);
        if (!Ok)
            return Fail(QStringLiteral("invalid marker size '%1'").arg(Parser.value(MarkerSize)));
        // As git: no size, or one below 1, is the default.
        M.Markers.MarkerSize = Size > 0 ? Size : 7;
    }
    if (Parser.isSet(Rules)) {
        TMerge3Options& O = M.Options;
        O.ResolveWhiteSpace = O.ResolveContainedInsert = O.ResolveAdjacent = false;
        for (const QString& Name : Parser.value(Rules).split(u',', Qt::SkipEmptyParts)) {
            if (Name == QLatin1String("none"))
                continue;
            if (Name == QLatin1String("all"))
                O.ResolveWhiteSpace = O.ResolveContainedInsert = O.ResolveAdjacent = true;
            else if (Name == QLatin1String("space"))
                O.ResolveWhiteSpace = true;
            else if (Name == QLatin1String("inserts"))
                O.ResolveContainedInsert = true;
            else if (Name == QLatin1String("adjacent"))
                O.ResolveAdjacent = true;
            else
                return Fail(QStringLiteral("unknown rule '%1' (inserts, adjacent, space, all, none)").arg(Name));
        }
    }
    TDiffOptions& D = M.Options.Diff;
    D.IgnoreCase = Parser.isSet(Case);
    D.IgnoreAllWhiteSpace = Parser.isSet(AllSpace);
    D.IgnoreWsAmount = Parser.isSet(SpaceChange);
    D.IgnoreLeadingWhiteSpace = Parser.isSet(Leading);
    D.IgnoreTrailingWhiteSpace = Parser.isSet(Trailing);
    D.IgnoreBlankLines = Parser.isSet(Blank);
    Result.Mode = TRunMode::Merge;
    return Result;
}

qsizetype FirstLineNotWritable(const QStringList& Lines, TTextEncoding Encoding)
{
    if (Encoding != TTextEncoding::Ansi)
        return -1;   // the Unicode encodings hold every character
    QByteArray Bytes;
    for (qsizetype I = 0; I < Lines.size(); ++I) {
        const QString& Line = Lines[I];
        bool Plain = true;
        for (const QChar C : Line)
            if (C.unicode() > 0x7F) {
                Plain = false;
                break;
            }
        if (Plain)
            continue;
        Bytes.clear();
        AppendWindows1252(Bytes, Line);
        if (DecodeWindows1252(Bytes) != Line)
            return I;
    }
    return -1;
}

namespace {

void Write(std::FILE* Stream, const QByteArray& Bytes)
{
    std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), Stream);
}

[[nodiscard]] TSideState LoadSide(const QString& Path)
{
    const QByteArray Bytes = ReadTextFileBytes(Path);
    if (!IsTextBytes(QByteArrayView(Bytes).first(std::min(Bytes.size(), TextProbeSize))))
        throw ETextFileError(QStringLiteral("Cannot merge binary files: %1").arg(Path));
    TSideState Side;
    LoadTextBytes(Path, Bytes, Side);
    Side.Source = TSideSource::TextFile;
    return Side;
}

// Whether a side's line break says anything: it has a break between or after its lines.
[[nodiscard]] bool ShowsLineBreak(const TSideState& Side)
{
    return Side.Lines.size() > 1 || (Side.Lines.size() == 1 && Side.FinalBreak);
}

// A file that held only ASCII could have been read as any ASCII-compatible encoding.
[[nodiscard]] bool SameEncoding(const TSideState& A, const TSideState& B)
{
    if (A.PureAscii || B.PureAscii)
        return A.PureAscii == B.PureAscii;
    return A.Encoding == B.Encoding && A.HasBOM == B.HasBOM;
}

// The merged file is written as CURRENT was, except where OTHER alone changed the form since
// BASE (converted its line breaks or its encoding): that change is merged like any other, rather
// than undone silently.
void MergeFileForm(TSideState& Current, const TSideState& Base, const TSideState& Other)
{
    if (ShowsLineBreak(Base) && ShowsLineBreak(Other) && Current.LineBreak == Base.LineBreak
        && Other.LineBreak != Base.LineBreak)
        Current.LineBreak = Other.LineBreak;
    if (SameEncoding(Current, Base) && !SameEncoding(Other, Base) && !Other.PureAscii
        && !(Base.Lines.isEmpty() && Current.Lines.isEmpty())) {
        Current.Encoding = Other.Encoding;
        Current.HasBOM = Other.HasBOM;
        Current.EncName = Other.EncName;
        Current.PureAscii = false;
    }
}

// "2 conflicts git leaves resolved by a rule (inserts 1, adjacent 1)", or nothing.
[[nodiscard]] QString RuleNote(const TMerge3Result& Result)
{
    if (Result.ResolvedByRule == 0)
        return {};
    int Space = 0, Inserts = 0, Adjacent = 0;
    for (const TMerge3Chunk& C : Result.Chunks) {
        Space += C.Rule == mrWhiteSpace;
        Inserts += C.Rule == mrContainedInsert;
        Adjacent += C.Rule == mrAdjacent;
    }
    QStringList Parts;
    if (Inserts)
        Parts << QStringLiteral("inserts %1").arg(Inserts);
    if (Adjacent)
        Parts << QStringLiteral("adjacent %1").arg(Adjacent);
    if (Space)
        Parts << QStringLiteral("space %1").arg(Space);
    return QStringLiteral("%1 %2 that git leaves in conflict resolved by a rule (%3)")
        .arg(Result.ResolvedByRule)
        .arg(Result.ResolvedByRule == 1 ? QStringLiteral("change") : QStringLiteral("changes"))
        .arg(Parts.join(QStringLiteral(", ")));
}

[[nodiscard]] int Merge(const TMergeRequest& Request, std::FILE* Out, std::FILE* Err)
{
    // Kept until the process ends, which frees them faster than a million single frees.
    static TSideState Current, Base, Other;
    // Two loads side by side where memory allows (as the window loads two files), then the third.
    RunBothLoads(QFileInfo(Request.Current).size(), QFileInfo(Request.Base).size(),
                 [&] { Current = LoadSide(Request.Current); }, [&] { Base = LoadSide(Request.Base); });
    Other = LoadSide(Request.Other);

    const TMerge3Result Result = ComputeMerge3(Base.Lines, Current.Lines, Other.Lines,
                                               Request.Options, Base.FinalBreak,
                                               Current.FinalBreak, Other.FinalBreak);
    TMerge3Markers Markers = Request.Markers;
    const QStringList Names{Request.Current, Request.Base, Request.Other};
    const auto LabelOf = [&](int K) { return K < Request.Labels.size() ? Request.Labels[K] : Names[K]; };
    Markers.LocalLabel = LabelOf(0);
    Markers.BaseLabel = LabelOf(1);
    Markers.RemoteLabel = LabelOf(2);
    static TMerge3Text Text;
    Text = WriteMerge3(Base.Lines, Current.Lines, Other.Lines, Result, Markers);

    // Written as CURRENT was: its encoding, mark and line break (a file that held only ASCII
    // becomes UTF-8 once it holds more), unless OTHER alone changed them.
    MergeFileForm(Current, Base, Other);
    Current.Lines.swap(Text.Lines);
    TTextWriteEncoding Encoding = WriteEncodingFor(Current);
    Encoding.FinalBreak = Text.FinalBreak;
    const qsizetype Bad = FirstLineNotWritable(Current.Lines, Encoding.Encoding);
    if (Bad >= 0)
        throw ETextFileError(
            QStringLiteral("The merge of %1 holds characters that its encoding (%2) cannot hold, "
                           "in line %3 of the result; nothing was written.")
                .arg(Request.Current, Current.EncName)
                .arg(Bad + 1));
    if (Request.ToStdout)
        Write(Out, EncodeTextLines(Current.Lines, Encoding));
    else
        SaveTextFile(Request.Current, Current.Lines, Encoding);
    // What a rule decided is worth a look; -q keeps it quiet.
    const QString Note = RuleNote(Result);
    if (!Note.isEmpty() && !Request.Quiet)
        Write(Err, QFile::encodeName(QStringLiteral("quorlane: %1: %2\n").arg(Request.Current, Note)));
    return std::min(Text.Conflicts, ExitMergeMaxConflicts);
}

}   // namespace

int RunHeadlessMerge(const TMergeRequest& Request, std::FILE* Out, std::FILE* Err)
{
    int Status = ExitMergeTrouble;
    try {
        Status = Merge(Request, Out, Err);
    } catch (const std::exception& Error) {
        std::fflush(Out);
        Write(Err, QByteArray("quorlane: ") + Error.what() + '\n');
        Status = ExitMergeTrouble;
    }
    std::fflush(Out);
    std::fflush(Err);
    if (std::ferror(Out)) {
        Write(Err, "quorlane: cannot write the output\n");
        return ExitMergeTrouble;
    }
    return Status;
}
