#pragma once
// How a side is written back to a file. Every window and command that saves a side calls
// SaveSide; none writes a side any other way.

#include "text/SideState.h"
#include "text/TextFile.h"

#include <QList>
#include <QString>

#include <functional>
#include <sys/types.h>

// The side's encoding, mark and line break. A side read as ANSI only for want of any byte above
// 0x7F is written as UTF-8 without a mark once it holds anything beyond ASCII: a single
// Windows-1252 byte is garbage to every other tool on a UTF-8 desktop.
[[nodiscard]] TTextWriteEncoding WriteEncodingFor(const TSideState& Side);

// After a save with Written: the side now is what was written (its encoding and name).
void NoteSideWritten(TSideState& Side, const TTextWriteEncoding& Written);

// A question a save asks before it writes something that would lose data: Text, and the label
// of the button that goes ahead (Cancel is the other one, and the default). True goes ahead.
// The window asks through its platform; a command line answers from its options.
using TAskBeforeSave = std::function<bool(const QString& Text, const QString& AcceptText)>;

// The path a save of Side proposes: the file the side was read from or last saved to (a
// document's text goes beside the document, as name.pdf.txt); Typed, the path box's text, when
// the side came from no file.
[[nodiscard]] QString ProposedSavePath(const TSideState& Side, const QString& Typed);

// A character of the lines that an encoding cannot hold: the character (a surrogate pair whole)
// and its 1-based line number. Line 0: every character can be written.
struct TUnencodable {
    QString Character;
    qsizetype Line = 0;
};
[[nodiscard]] TUnencodable FindUnencodable(const QStringList& Lines, const TTextWriteEncoding& Encoding);

// Whether the mode bits let a user (Uid, in group Gid or one of Groups) write a file of Owner and
// Group. Root may write everything the bits let anyone write: a file without any write bit is
// read-only for root too, as editors treat it.
[[nodiscard]] bool ModeLetsWrite(mode_t Mode, uid_t Owner, gid_t Group, uid_t Uid, gid_t Gid,
                                 const QList<gid_t>& Groups);
// An existing file the user running this program may not write by its mode bits.
[[nodiscard]] bool IsReadOnlyFile(const QString& FileName);

// The texts of the questions.
[[nodiscard]] QString ChangedOnDiskQuestion(const QString& FileName);
[[nodiscard]] QString ReadOnlyQuestion(const QString& FileName);
[[nodiscard]] QString UnencodableQuestion(const QString& FileName, const TUnencodable& Found);
[[nodiscard]] QString DocumentOverwriteQuestion(const QString& FileName);

// Writes Side to FileName, asking Ask first where writing would lose something:
//  - a PDF/Office document would be replaced by plain text;
//  - the file is read-only by its mode bits;
//  - the file is the side's own and another program changed it since it was read or saved;
//  - the side's encoding cannot hold a character of its text (ANSI): Yes writes UTF-8 without
//    a mark instead, and the side is UTF-8 from then on.
// False when a question was answered Cancel: nothing written, nothing changed. On success the
// side records the written file as its own (the next save proposes it and checks it) and holds
// no unsaved changes. Throws ETextFileError with the system's reason when the file cannot be
// written, or when it changed on disk while the save ran; the side is unchanged then.
[[nodiscard]] bool SaveSide(TSideState& Side, const QString& FileName, const TAskBeforeSave& Ask);

// The status line after the window is activated again, when a side's file changed on disk
// since it was read or saved; empty when neither did. Only looks: nothing is reloaded.
[[nodiscard]] QString ChangedOnDiskStatus(TSideState& Left, TSideState& Right);
