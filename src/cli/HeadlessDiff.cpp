#include "cli/HeadlessDiff.h"

#include "cli/ByteDiff.h"
#include "cli/CommandLine.h"
#include "text/OutOfMemory.h"
#include "text/PathBytes.h"
#include "text/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include <sys/stat.h>


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

// Why a path cannot be looked at, in the system's words ("No such file or directory").
[[nodiscard]] QByteArray LookError(const QString& Path)
{
    struct stat Info {};
    return ::stat(PathBytes(Path).constData(), &Info) == 0 ? QByteArray("cannot be read") : QByteArray(std::strerror(errno));
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
        const TPathKind Left = PathKindOf(Command.Left), Right = PathKindOf(Command.Right);
        const bool LeftIsDir = Left == TPathKind::Folder, RightIsDir = Right == TPathKind::Folder;
        if (Left == TPathKind::Missing || Right == TPathKind::Missing) {
            // Named before anything is read, so a folder beside it is not what the message is about.
            const QString& Missing = Left == TPathKind::Missing ? Command.Left : Command.Right;
            Write(Err, "quorlane: Cannot open file \"" + PathBytes(Missing) + "\". " + LookError(Missing) + '\n');
        } else if (LeftIsDir && RightIsDir) {
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
        } else if (LeftIsDir != RightIsDir) {
            Write(Err, PathBytes(QStringLiteral("quorlane: cannot compare the folder %1 with the file %2\n")
                                     .arg(LeftIsDir ? Command.Left : Command.Right,
                                          LeftIsDir ? Command.Right : Command.Left)));
        } else {
            Status = CompareFiles(Command, Out);
        }
    } catch (const std::bad_alloc&) {
        std::fflush(Out);
        Write(Err, "quorlane: " + PathBytes(NotEnoughMemoryToCompareText(Command.Left, Command.Right)) + '\n');
        Status = ExitTrouble;
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
