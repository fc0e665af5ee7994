#include "cli/HeadlessDiff.h"

#include "cli/ByteDiff.h"
#include "cli/CommandLine.h"
#include "text/TextFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

// The label of a path as the file system spells it.
[[nodiscard]] QByteArray PathBytes(const QString& Path)
{
    return QFile::encodeName(Path);
}

}   // namespace

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
    QByteArray Text;
    for (qsizetype I = 0; I < Comparison.Items.size(); ++I) {
        const QByteArray& Left = Comparison.LeftBytes[I];
        const QByteArray& Right = Comparison.RightBytes[I];
        switch (Comparison.Items[I].Kind) {
        case dkEqual:
            break;
        case dkLeftOnly:
            Text += OnlyIn(LeftBase, Left);
            break;
        case dkRightOnly:
            Text += OnlyIn(RightBase, Right);
            break;
        case dkDifferent:
            Text += "Files " + Join(LeftBase, Left) + " and " + Join(RightBase, Right) + " differ\n";
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

[[nodiscard]] int CompareFiles(const TCommandLine& Command, std::FILE* Out)
{
    const QString& L = Command.Left;
    const QString& R = Command.Right;
    const auto Differ = [&](const char* Format) {
        Write(Out, PathBytes(QString::fromLatin1(Format).arg(L, R)));
        return ExitDifferent;
    };
    // The probe reads a block of each; binary files are compared a block at a time.
    const bool LeftText = IsTextFile(L), RightText = IsTextFile(R);
    if (!LeftText || !RightText) {
        // Files of different sizes differ without a read; a path that cannot be read is trouble.
        QFile LeftFile, RightFile;
        const bool Same = RequireRegularFile(L, LeftFile) == RequireRegularFile(R, RightFile)
                          && FirstDifferentByte(L, R) < 0;
        return Same ? ExitSame : Differ("Binary files %1 and %2 differ\n");
    }

    // The sides stay until the process ends, which frees them faster than many single frees
    // (see RunWithoutWindow).
    static TByteLines Left, Right;
    const auto Printed = [&Command](const QString& Path) {
        QByteArray Bytes = PrintableTextBytes(ReadTextFileBytes(Path));
        return Command.StripTrailingCr ? StripTrailingCrs(std::move(Bytes)) : Bytes;
    };
    Left = SplitByteLines(Printed(L));
    Right = SplitByteLines(Printed(R));
    if (Left.Bytes == Right.Bytes)
        return ExitSame;
    const TDiffOptions& Options = Command.Options;
    if (Command.Brief && Options == TDiffOptions{})
        return Differ("Files %1 and %2 differ\n");
    static std::vector<TByteChange> Changes;
    Changes = ByteDiffChanges(Left, Right, Options);
    if (!HasShownChange(Changes))
        return ExitSame;
    if (Command.Brief)
        return Differ("Files %1 and %2 differ\n");
    Write(Out, UnifiedByteDiff(Left, Right, Changes, PathBytes(L), PathBytes(R), Command.Context));
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
