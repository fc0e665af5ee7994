// Saving a side: the questions before writing over something, then the careful write.

#include "text/SideSave.h"

#include "text/FileKind.h"
#include "text/LoadedFile.h"
#include "text/Windows1252.h"

#include <QDir>
#include <QFileInfo>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

QString ProposedSavePath(const TSideState& Side, const QString& Typed)
{
    if (!Side.Loaded.Known())
        return Typed;
    // The saved text of a document is plain text: it goes beside the document, never over it.
    return QDir::toNativeSeparators(Side.Loaded.Extracted ? Side.Loaded.Path + QStringLiteral(".txt")
                                                          : Side.Loaded.Path);
}

TUnencodable FindUnencodable(const QStringList& Lines, const TTextWriteEncoding& Encoding)
{
    if (Encoding.Encoding != TTextEncoding::Ansi)
        return {};
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        const qsizetype at = FindUnencodableWindows1252(Lines[i]);
        if (at < 0)
            continue;
        const QString& line = Lines[i];
        const bool pair = at + 1 < line.size() && line[at].isHighSurrogate() && line[at + 1].isLowSurrogate();
        return {line.mid(at, pair ? 2 : 1), i + 1};
    }
    return {};
}

bool ModeLetsWrite(mode_t Mode, uid_t Owner, gid_t Group, uid_t Uid, gid_t Gid, const QList<gid_t>& Groups)
{
    if (Uid == 0)
        return (Mode & 0222) != 0;
    if (Uid == Owner)
        return (Mode & S_IWUSR) != 0;
    if (Gid == Group || Groups.contains(Group))
        return (Mode & S_IWGRP) != 0;
    return (Mode & S_IWOTH) != 0;
}

bool IsReadOnlyFile(const QString& FileName)
{
    struct stat info {};
    if (::stat(QFile::encodeName(FileName).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    QList<gid_t> groups(qMax(::getgroups(0, nullptr), 0));
    if (!groups.isEmpty())
        groups.resize(qMax(::getgroups(int(groups.size()), groups.data()), 0));
    return !ModeLetsWrite(info.st_mode, info.st_uid, info.st_gid, ::geteuid(), ::getegid(), groups);
}

namespace {

QString Shown(const QString& FileName)
{
    return QFileInfo(FileName).fileName();
}

const QString OverwriteText = QStringLiteral("Overwrite");

}  // namespace

QString ChangedOnDiskQuestion(const QString& FileName)
{
    return QStringLiteral("%1 has changed on disk since it was loaded. Overwrite it and lose those changes?")
        .arg(Shown(FileName));
}

QString ReadOnlyQuestion(const QString& FileName)
{
    return QStringLiteral("%1 is read-only. Overwrite it anyway?").arg(Shown(FileName));
}

QString UnencodableQuestion(const QString& FileName, const TUnencodable& Found)
{
    return QStringLiteral("%1 holds characters that ANSI (Windows-1252) cannot store, for example \"%2\" in line %3. "
                          "Save it as UTF-8 instead?")
        .arg(Shown(FileName), Found.Character)
        .arg(Found.Line);
}

QString DocumentOverwriteQuestion(const QString& FileName)
{
    return QStringLiteral("%1 is a PDF/Office document; saving writes plain text over it.").arg(Shown(FileName));
}

bool SaveSide(TSideState& Side, const QString& FileName, const TAskBeforeSave& Ask)
{
    // What is there now is what the questions are about; the write refuses if it moves on.
    const TFileStamp there = StampOfPath(FileName);
    if (there.Exists) {
        if (IsComplexDocument(FileName) && !Ask(DocumentOverwriteQuestion(FileName), OverwriteText))
            return false;
        if (IsReadOnlyFile(FileName) && !Ask(ReadOnlyQuestion(FileName), OverwriteText))
            return false;
        if (IsLoadedFile(Side.Loaded, FileName) && ChangedOnDisk(Side.Loaded)
            && !Ask(ChangedOnDiskQuestion(FileName), OverwriteText))
            return false;
    }
    TTextWriteEncoding encoding = WriteEncodingFor(Side);
    if (const TUnencodable found = FindUnencodable(Side.Lines, encoding); found.Line > 0) {
        if (!Ask(UnencodableQuestion(FileName, found), QStringLiteral("Save as UTF-8")))
            return false;
        TTextWriteEncoding utf8 = TUTF8NoBOMEncoding{};
        utf8.LineBreak = encoding.LineBreak;
        utf8.FinalBreak = encoding.FinalBreak;
        encoding = utf8;
    }
    TLoadedFile written;
    SaveTextFile(FileName, Side.Lines, encoding, &there, &written);
    NoteSideWritten(Side, encoding);
    Side.Loaded = std::move(written);
    Side.Unsaved = false;
    return true;
}

QString ChangedOnDiskStatus(TSideState& Left, TSideState& Right)
{
    const auto changed = [](TSideState& Side) {
        return (Side.Source == TSideSource::TextFile || Side.Source == TSideSource::Document)
               && ChangedOnDisk(Side.Loaded);
    };
    const bool left = changed(Left);
    const bool right = changed(Right);
    if (left && right)
        return QStringLiteral("The left and right files have changed on disk. Compare again to reload them.");
    if (left)
        return QStringLiteral("The left file has changed on disk. Compare again to reload it.");
    if (right)
        return QStringLiteral("The right file has changed on disk. Compare again to reload it.");
    return {};
}
