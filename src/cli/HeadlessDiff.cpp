#include "cli/HeadlessDiff.h"

#include "cli/CommandLine.h"
#include "text/SideLoad.h"
#include "text/SideState.h"
#include "text/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

constexpr char NoNewlineMarker[] = "\\ No newline at end of file\n";

// The label of a path as the file system spells it.
[[nodiscard]] QByteArray PathBytes(const QString& Path)
{
    return QFile::encodeName(Path);
}

// Splits Bytes at CR LF, LF and lone CR, the loader's rule. Only valid for encodings in which
// those bytes stand for nothing but the breaks (ASCII, UTF-8, Windows-1252).
void SplitBytes(TDiffSource& Side)
{
    const char* Data = Side.Bytes.constData();
    const qsizetype Size = Side.Bytes.size();
    Side.Spans.reserve(Side.Lines.size());
    qsizetype Start = 0;
    for (qsizetype I = 0; I < Size; ++I) {
        const char C = Data[I];
        if (C != '\n' && C != '\r')
            continue;
        const bool CrLf = C == '\r' && I + 1 < Size && Data[I + 1] == '\n';
        Side.Spans.append({Start, I - Start, CrLf});
        if (CrLf)
            ++I;
        Start = I + 1;
    }
    if (Start < Size)
        Side.Spans.append({Start, Size - Start, false});
    Side.FinalBreak = Size > 0 && Start == Size;
}

struct TOp {
    char Tag;              // ' ' context, '-' left line, '+' right line
    bool Shown;            // a change that counts; false for a change the window shows as equal
    std::int32_t L, R;     // line indexes, -1 where the op has none
};

// The items as printed: every change run's left lines first, then its right lines. Rows that
// the blank-line rule shows as equal without their lines matching are changes that count for
// nothing: printed inside a hunk, as a patch needs them, but they start none.
[[nodiscard]] std::vector<TOp> OpsOf(const TDiffSource& Left, const TDiffSource& Right,
                                     const TDiffItems& Items, const TDiffOptions& Options,
                                     bool FinalBreakMatters)
{
    const auto OpenEnd = [](const TDiffSource& Side, std::int32_t Index) {
        return !Side.FinalBreak && Index == Side.Lines.size() - 1;
    };
    const auto Matched = [&](const TDiffItem& Item) {
        if (Item.LeftIndex < 0 || Item.RightIndex < 0)
            return false;
        if (!Options.IgnoreBlankLines)
            return true;
        return NormalizeLine(Left.Lines[Item.LeftIndex], Options)
               == NormalizeLine(Right.Lines[Item.RightIndex], Options);
    };
    std::vector<TOp> Ops;
    Ops.reserve(size_t(Items.size()) + 16);
    std::vector<TOp> Added;
    const auto Flush = [&] {
        Ops.insert(Ops.end(), Added.begin(), Added.end());
        Added.clear();
    };
    for (const TDiffItem& Item : Items) {
        const bool ShownEqual = Item.Kind == dkEqual;
        if (ShownEqual && Matched(Item)) {
            if (!(FinalBreakMatters
                  && OpenEnd(Left, Item.LeftIndex) != OpenEnd(Right, Item.RightIndex))) {
                Flush();
                Ops.push_back({' ', false, Item.LeftIndex, Item.RightIndex});
                continue;
            }
            // Equal text, but only one side ends with a line break: a patch must change it.
            Ops.push_back({'-', true, Item.LeftIndex, -1});
            Added.push_back({'+', true, -1, Item.RightIndex});
            continue;
        }
        if (Item.LeftIndex >= 0)
            Ops.push_back({'-', !ShownEqual, Item.LeftIndex, -1});
        if (Item.RightIndex >= 0)
            Added.push_back({'+', !ShownEqual, -1, Item.RightIndex});
    }
    Flush();
    return Ops;
}

void AppendRange(QByteArray& Out, char Sign, qsizetype Start, qsizetype Count)
{
    Out += Sign;
    Out += QByteArray::number(Count == 0 ? Start : Start + 1);
    if (Count != 1) {
        Out += ',';
        Out += QByteArray::number(Count);
    }
}

void AppendLine(QByteArray& Out, char Tag, const TDiffSource& Side, std::int32_t Index, bool Marker)
{
    const TDiffSource::TSpan& Span = Side.Spans[Index];
    Out += Tag;
    Out.append(Side.Bytes.constData() + Span.Start, Span.Length);
    Out += Span.CrLf ? "\r\n" : "\n";
    if (Marker)
        Out += NoNewlineMarker;
}

}   // namespace

TDiffSource DiffSourceFromLines(const QStringList& Lines, bool FinalBreak)
{
    TDiffSource Side;
    Side.Lines = Lines;
    Side.Spans.reserve(Lines.size());
    for (const QString& Line : Lines) {
        const qsizetype Start = Side.Bytes.size();
        Side.Bytes += Line.toUtf8();
        Side.Spans.append({Start, Side.Bytes.size() - Start, false});
    }
    Side.FinalBreak = FinalBreak && !Lines.isEmpty();
    return Side;
}

TDiffSource LoadDiffSource(const QString& FileName, QByteArray Raw)
{
    TSideState Loaded;
    LoadTextBytes(FileName, Raw, Loaded);
    if (Loaded.Encoding == TTextEncoding::Utf16LE || Loaded.Encoding == TTextEncoding::Utf16BE)
        return DiffSourceFromLines(Loaded.Lines, Loaded.FinalBreak);   // printed as UTF-8
    TDiffSource Side;
    Side.Bytes = std::move(Raw);
    Side.Lines = std::move(Loaded.Lines);
    SplitBytes(Side);
    // The loader splits these encodings' lines by the same rule; should the two ever disagree,
    // the decoded lines are printed rather than bytes of another line.
    if (Side.Spans.size() != Side.Lines.size())
        return DiffSourceFromLines(Side.Lines, Side.FinalBreak);
    return Side;
}

QByteArray UnifiedDiffText(const TDiffSource& Left, const TDiffSource& Right, const TDiffItems& Items,
                           const TDiffOptions& Options, const QString& LeftLabel,
                           const QString& RightLabel, int Context)
{
    // A missing final break is white space at the end of the last line.
    const bool FinalBreakMatters = !(Options.IgnoreAllWhiteSpace || Options.IgnoreWsAmount
                                     || Options.IgnoreTrailingWhiteSpace);
    const std::vector<TOp> Ops = OpsOf(Left, Right, Items, Options, FinalBreakMatters);
    const qsizetype N = qsizetype(Ops.size());
    const auto IsChange = [&Ops](qsizetype I) { return Ops[size_t(I)].Shown; };
    const qsizetype C = Context;

    QByteArray Out;
    qsizetype I = 0;
    qsizetype LeftDone = 0, RightDone = 0;   // lines of each side before op Walked
    qsizetype Walked = 0;
    while (I < N) {
        while (I < N && !IsChange(I))
            ++I;
        if (I == N)
            break;
        if (Out.isEmpty()) {
            Out.reserve(1 << 16);
            Out += "--- " + PathBytes(LeftLabel) + "\n+++ " + PathBytes(RightLabel) + '\n';
        }
        const qsizetype Begin = std::max(Walked, I - C);
        // Extend over changes separated by no more than twice the context.
        qsizetype End = I;
        for (;;) {
            while (End < N && IsChange(End))
                ++End;
            qsizetype Next = End;
            while (Next < N && !IsChange(Next) && Next - End <= 2 * C)
                ++Next;
            if (Next < N && IsChange(Next) && Next - End <= 2 * C)
                End = Next;
            else
                break;
        }
        End = std::min(N, End + C);

        for (; Walked < Begin; ++Walked) {
            LeftDone += Ops[size_t(Walked)].Tag != '+';
            RightDone += Ops[size_t(Walked)].Tag != '-';
        }
        qsizetype LeftCount = 0, RightCount = 0;
        for (qsizetype K = Begin; K < End; ++K) {
            LeftCount += Ops[size_t(K)].Tag != '+';
            RightCount += Ops[size_t(K)].Tag != '-';
        }
        Out += "@@ ";
        AppendRange(Out, '-', LeftDone, LeftCount);
        Out += ' ';
        AppendRange(Out, '+', RightDone, RightCount);
        Out += " @@\n";
        const qsizetype LeftLast = Left.Lines.size() - 1, RightLast = Right.Lines.size() - 1;
        for (qsizetype K = Begin; K < End; ++K) {
            const TOp& Op = Ops[size_t(K)];
            switch (Op.Tag) {
            case ' ':
                AppendLine(Out, ' ', Left, Op.L,
                           !Left.FinalBreak && Op.L == LeftLast && !Right.FinalBreak && Op.R == RightLast);
                break;
            case '-':
                AppendLine(Out, '-', Left, Op.L, !Left.FinalBreak && Op.L == LeftLast);
                break;
            default:
                AppendLine(Out, '+', Right, Op.R, !Right.FinalBreak && Op.R == RightLast);
                break;
            }
        }
        LeftDone += LeftCount;
        RightDone += RightCount;
        Walked = End;
        I = End;
    }
    return Out;
}

QByteArray FolderDiffText(const TFolderComparison& Comparison, const QString& LeftRoot,
                          const QString& RightRoot)
{
    // Names are printed with the bytes the file system gave, so a name that is not UTF-8 names
    // the same file in the output.
    const QByteArray LeftBase = PathBytes(LeftRoot), RightBase = PathBytes(RightRoot);
    const auto Join = [](const QByteArray& Root, const QByteArray& Relative) {
        return Root.endsWith('/') ? Root + Relative : Root + '/' + Relative;
    };
    const auto OnlyIn = [&Join](const QByteArray& Root, const QByteArray& Relative) {
        const qsizetype Slash = Relative.lastIndexOf('/');
        const QByteArray Folder = Slash < 0 ? Root : Join(Root, Relative.first(Slash));
        return "Only in " + Folder + ": " + Relative.sliced(Slash + 1) + '\n';
    };
    // A name that is a file on one side and a folder on the other is one line; what lies below
    // it on the folder's side is not listed, as GNU diff does not descend there.
    QSet<QByteArray> FileVersusFolder;
    for (qsizetype I = 0; I < Comparison.Items.size(); ++I)
        if (Comparison.Info.value(I).FileVersusFolder())
            FileVersusFolder.insert(Comparison.LeftBytes[I]);
    // A folder on one side only is one line, as GNU diff prints it, whatever it holds: the topmost
    // folder above the entry that the other side lacks.
    QSet<QByteArray> Told;
    const auto OnlyInOnce = [&](const QByteArray& Root, const QByteArray& Relative, const QSet<QByteArray>& OtherFolders) {
        for (qsizetype Slash = Relative.indexOf('/'); Slash >= 0; Slash = Relative.indexOf('/', Slash + 1)) {
            const QByteArray Folder = Relative.first(Slash);
            if (FileVersusFolder.contains(Folder))
                return QByteArray();
            if (!OtherFolders.contains(Folder)) {
                const QByteArray Key = Root + '\0' + Folder;
                if (Told.contains(Key))
                    return QByteArray();
                Told.insert(Key);
                return OnlyIn(Root, Folder);
            }
        }
        return OnlyIn(Root, Relative);
    };
    QByteArray Text;
    for (qsizetype I = 0; I < Comparison.Items.size(); ++I) {
        const QByteArray& Left = Comparison.LeftBytes[I];
        const QByteArray& Right = Comparison.RightBytes[I];
        const TFolderRowInfo Info = Comparison.Info.value(I);
        if (Info.Unreadable() && Comparison.Items[I].Kind == dkDifferent)
            continue;   // a pair: told on stderr with the rest of what could not be read
        switch (Comparison.Items[I].Kind) {
        case dkEqual:
            break;
        case dkLeftOnly:
            Text += OnlyInOnce(LeftBase, Left, Comparison.RightFolders);
            break;
        case dkRightOnly:
            Text += OnlyInOnce(RightBase, Right, Comparison.LeftFolders);
            break;
        case dkDifferent:
            if (Info.FileVersusFolder()) {
                Text += "File " + Join(LeftBase, Left) + " is a " + Comparison.LeftTypeWords.value(I) + " while file "
                        + Join(RightBase, Right) + " is a " + Comparison.RightTypeWords.value(I) + '\n';
            } else if (Info.Left == TFolderSide::DanglingLink || Info.Left == TFolderSide::LoopingLink
                       || Info.Right == TFolderSide::DanglingLink || Info.Right == TFolderSide::LoopingLink) {
                // What a link leads to could not be read: told on stderr, as GNU diff tells it.
            } else {
                Text += "Files " + Join(LeftBase, Left) + " and " + Join(RightBase, Right) + " differ\n";
            }
            break;
        }
    }
    return Text;
}

namespace {

void Write(std::FILE* Stream, const QByteArray& Bytes)
{
    std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), Stream);
}

[[nodiscard]] bool IsTextContent(const QByteArray& Bytes)
{
    return IsTextBytes(QByteArrayView(Bytes).first(std::min(Bytes.size(), TextProbeSize)));
}

[[nodiscard]] int CompareFiles(const TCommandLine& Command, std::FILE* Out)
{
    const QString& L = Command.Left;
    const QString& R = Command.Right;
    const QByteArray LeftBytes = ReadTextFileBytes(L);
    const QByteArray RightBytes = ReadTextFileBytes(R);
    const auto Differ = [&](const char* Format) {
        Write(Out, PathBytes(QString::fromLatin1(Format).arg(L, R)));
        return ExitDifferent;
    };
    if (!IsTextContent(LeftBytes) || !IsTextContent(RightBytes))
        return LeftBytes == RightBytes ? ExitSame : Differ("Binary files %1 and %2 differ\n");

    // Loaded as the window loads two files; the alignment waits for both. The sides stay until
    // the process ends, which frees them faster than a million single frees (see RunWithoutWindow).
    static TDiffSource Left, Right;
    RunBothLoads(LeftBytes.size(), RightBytes.size(), [&] { Left = LoadDiffSource(L, LeftBytes); },
                 [&] { Right = LoadDiffSource(R, RightBytes); });
    static TDiffItems Items;
    Items = ComputeDiff(Left.Lines, Right.Lines, Command.Options);
    const QByteArray Diff = UnifiedDiffText(Left, Right, Items, Command.Options, L, R, Command.Context);
    if (Diff.isEmpty())
        return ExitSame;
    if (Command.Brief)
        return Differ("Files %1 and %2 differ\n");
    Write(Out, Diff);
    return ExitDifferent;
}

}   // namespace

int RunHeadlessDiff(const TCommandLine& Command, std::FILE* Out, std::FILE* Err)
{
    int Status = ExitTrouble;
    try {
        const QFileInfo Left(Command.Left), Right(Command.Right);
        if (Left.isDir() && Right.isDir()) {
            const TFolderComparison Comparison = CompareFolderTrees(Command.Left, Command.Right);
            Write(Out, FolderDiffText(Comparison, Command.Left, Command.Right));
            // What could not be read is trouble, as for GNU diff: the rows that could be compared
            // are printed all the same.
            if (Comparison.Problems.Count > 0) {
                std::fflush(Out);
                Write(Err, PathBytes(QStringLiteral("quorlane: %1.\n").arg(FolderProblemsText(Comparison.Problems))));
                Status = ExitTrouble;
            } else {
                Status = Comparison.HasDifferences() ? ExitDifferent : ExitSame;
            }
        } else if (Left.isDir() != Right.isDir() && Left.exists() && Right.exists()) {
            Write(Err, PathBytes(QStringLiteral("quorlane: cannot compare the folder %1 with the file %2\n")
                                     .arg(Left.isDir() ? Command.Left : Command.Right,
                                          Left.isDir() ? Command.Right : Command.Left)));
        } else {
            Status = CompareFiles(Command, Out);
        }
    } catch (const std::exception& Error) {
        std::fflush(Out);
        Write(Err, QByteArray("quorlane: ") + Error.what() + '\n');
        Status = ExitTrouble;
    }
    std::fflush(Out);
    std::fflush(Err);
    if (std::ferror(Out)) {
        Write(Err, "quorlane: cannot write the output\n");
        return ExitTrouble;
    }
    return Status;
}
