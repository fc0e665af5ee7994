#include "cli/HeadlessDiff.h"

#include "cli/CommandLine.h"
#include "text/TextFile.h"

#include <QFile>
#include <QFileInfo>

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

[[nodiscard]] bool EndsWithBreak(const QByteArray& Raw, TTextEncoding Encoding)
{
    const qsizetype N = Raw.size();
    if (N < 2)
        return false;
    const char Hi = Encoding == TTextEncoding::Utf16LE ? Raw[N - 1] : Raw[N - 2];
    const char Lo = Encoding == TTextEncoding::Utf16LE ? Raw[N - 2] : Raw[N - 1];
    return Hi == 0 && (Lo == '\n' || Lo == '\r');
}

struct TOp {
    char Tag;              // ' ' context, '-' left line, '+' right line
    std::int32_t L, R;     // line indexes, -1 where the op has none
};

// The items as printed: every change run's left lines first, then its right lines.
[[nodiscard]] std::vector<TOp> OpsOf(const TDiffSource& Left, const TDiffSource& Right,
                                     const TDiffItems& Items, bool FinalBreakMatters)
{
    const auto OpenEnd = [](const TDiffSource& Side, std::int32_t Index) {
        return !Side.FinalBreak && Index == Side.Lines.size() - 1;
    };
    std::vector<TOp> Ops;
    Ops.reserve(size_t(Items.size()) + 16);
    std::vector<TOp> Added;
    const auto Flush = [&] {
        Ops.insert(Ops.end(), Added.begin(), Added.end());
        Added.clear();
    };
    for (const TDiffItem& Item : Items) {
        const bool Equal = Item.Kind == dkEqual
                           && !(FinalBreakMatters
                                && OpenEnd(Left, Item.LeftIndex) != OpenEnd(Right, Item.RightIndex));
        if (Equal) {
            Flush();
            Ops.push_back({' ', Item.LeftIndex, Item.RightIndex});
            continue;
        }
        if (Item.LeftIndex >= 0)
            Ops.push_back({'-', Item.LeftIndex, -1});
        if (Item.RightIndex >= 0)
            Added.push_back({'+', -1, Item.RightIndex});
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

TDiffSource LoadDiffSource(const QString& FileName)
{
    TTextEncoding Encoding;
    bool HasBOM = false;
    QString EncName;
    QStringList Lines;
    LoadTextFile(FileName, Lines, Encoding, HasBOM, EncName);
    QByteArray Raw = ReadTextFileBytes(FileName);
    if (Encoding == TTextEncoding::Utf16LE || Encoding == TTextEncoding::Utf16BE)
        return DiffSourceFromLines(Lines, EndsWithBreak(Raw, Encoding));
    TDiffSource Side;
    Side.Bytes = std::move(Raw);
    Side.Lines = std::move(Lines);
    SplitBytes(Side);
    if (Side.Spans.size() != Side.Lines.size())   // the file changed between the two reads
        return DiffSourceFromLines(Side.Lines, Side.FinalBreak);
    return Side;
}

QByteArray UnifiedDiffText(const TDiffSource& Left, const TDiffSource& Right, const TDiffItems& Items,
                           const QString& LeftLabel, const QString& RightLabel, int Context,
                           bool FinalBreakMatters)
{
    const std::vector<TOp> Ops = OpsOf(Left, Right, Items, FinalBreakMatters);
    const qsizetype N = qsizetype(Ops.size());
    const auto IsChange = [&Ops](qsizetype I) { return Ops[size_t(I)].Tag != ' '; };
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
    const auto Join = [](const QString& Root, const QString& Relative) {
        return Root.endsWith(u'/') ? Root + Relative : Root + u'/' + Relative;
    };
    const auto OnlyIn = [&Join](const QString& Root, const QString& Relative) {
        const qsizetype Slash = Relative.lastIndexOf(u'/');
        const QString Folder = Slash < 0 ? Root : Join(Root, Relative.left(Slash));
        return QStringLiteral("Only in %1: %2\n").arg(Folder, Relative.mid(Slash + 1));
    };
    QString Text;
    for (qsizetype I = 0; I < Comparison.Items.size(); ++I) {
        const QString& Path = Comparison.Paths[I];
        switch (Comparison.Items[I].Kind) {
        case dkEqual:
            break;
        case dkLeftOnly:
            Text += OnlyIn(LeftRoot, Path);
            break;
        case dkRightOnly:
            Text += OnlyIn(RightRoot, Path);
            break;
        case dkDifferent:
            Text += QStringLiteral("Files %1 and %2 differ\n").arg(Join(LeftRoot, Path), Join(RightRoot, Path));
            break;
        }
    }
    return PathBytes(Text);
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

    const TDiffSource Left = LoadDiffSource(L);
    const TDiffSource Right = LoadDiffSource(R);
    const TDiffOptions& Options = Command.Options;
    const bool FinalBreakMatters = !(Options.IgnoreAllWhiteSpace || Options.IgnoreWsAmount
                                     || Options.IgnoreTrailingWhiteSpace);
    const TDiffItems Items = ComputeDiff(Left.Lines, Right.Lines, Options);
    const QByteArray Diff = UnifiedDiffText(Left, Right, Items, L, R, Command.Context, FinalBreakMatters);
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
            const QByteArray Text = FolderDiffText(CompareFolderTrees(Command.Left, Command.Right),
                                                   Command.Left, Command.Right);
            Write(Out, Text);
            Status = Text.isEmpty() ? ExitSame : ExitDifferent;
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
