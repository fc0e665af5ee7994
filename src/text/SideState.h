#pragma once
// What the window holds once per side of a text or document comparison.

#include "text/LoadedFile.h"
#include "text/TextFile.h"

#include <QString>
#include <QStringList>

// Where a side's text came from; only text that came from somewhere can be written back.
enum class TSideSource {
    None,       // nothing compared yet, or a folder comparison
    TextFile,   // read from a text file
    Document,   // extracted from a document by the Tika server
    Failed,     // the last comparison failed: nothing loaded that a command may write
};

// One side: its lines and how its file is written back.
struct TSideState {
    QStringList Lines;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    bool HasBOM = false;
    QString EncName = QString::fromLatin1(EncNameAnsiAscii);
    TLineBreak LineBreak = TLineBreak::Lf;
    // The loaded text ended with a line break, or had no text. Only a text file read without one
    // has its last line written without one, so saving adds no break the file did not have.
    bool FinalBreak = true;
    bool PureAscii = false;   // read as ANSI but held only ASCII: written as UTF-8 once it holds more
    bool Unsaved = false;   // a merge, undo or edit changed this side since it was loaded or saved
    TSideSource Source = TSideSource::None;
    // The file the text was read from or last saved to: a save proposes it, and looks whether
    // another program changed it since.
    TLoadedFile Loaded;
};

// Reads a text file into Side's text fields (lines, encoding, mark, name, line breaks) and
// records what was read in Side.Loaded; the flags stay. On any failure Side is left as it was
// (see the other LoadTextFile).
void LoadTextFile(const QString& FileName, TSideState& Side);

// The same on bytes already read from FileName (named in messages).
void LoadTextBytes(const QString& FileName, QByteArrayView Bytes, TSideState& Side);
