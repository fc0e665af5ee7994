// Saving either side.

#include "app/MainForm.h"

#include <QComboBox>
#include <QDir>

namespace {

// The dialog's proposal from a path box's text as it stands: its folder part (everything before
// the last separator) and its name part (everything after it).
void SplitProposedPath(const QString& EditText, QString& Folder, QString& Name)
{
    const QString Path = QDir::fromNativeSeparators(EditText);
    const qsizetype Separator = Path.lastIndexOf(QLatin1Char('/'));
    if (Separator < 0) {
        Folder.clear();
        Name = Path;
        return;
    }
    Folder = Separator == 0 ? QStringLiteral("/") : Path.left(Separator);
    Name = Path.mid(Separator + 1);
}

}   // namespace

// The two commands differ only in the side they read: this does either.
static void SaveSide(TfrmMain& Window, QComboBox& PathBox, TSideState& Side, const char* StatusFormat)
{
    if (Window.FFolderMode) {
        Window.Platform.ShowMessage(TMessageKind::Information,
                                    QStringLiteral("Save is not available in folder comparison mode."));
        return;
    }
    Window.EnsureFilesLoaded();

    QString Folder, Name;
    SplitProposedPath(PathBox.currentText(), Folder, Name);
    Window.SaveDialog1.InitialDir = Folder;
    const QString FileName = Window.Platform.ChooseSaveFile(&Window, Folder, Name);
    if (FileName.isEmpty())
        return;

    if (Side.Encoding == TTextEncoding::Utf8 && !Side.HasBOM)
        SaveTextFile(FileName, Side.Lines, Window.FUtf8NoBOM);
    else
        SaveTextFile(FileName, Side.Lines, Side.Encoding, Side.HasBOM);
    // Cleared only once the file is written: after a failed save the changes are still unsaved,
    // and the next comparison must still ask before it discards them.
    Window.MarkSideSaved(Side);
    Window.SetStatus(QString::fromLatin1(StatusFormat).arg(Side.EncName));
}

void TfrmMain::btnSaveLeftClick()
{
    if (!FFolderMode)
        CommitOpenCellEdit();   // what is typed in the open editor belongs to the saved text
    SaveSide(*this, *cmbLeft, FLeft, "Left file saved as %1.");
}

void TfrmMain::btnSaveRightClick()
{
    if (!FFolderMode)
        CommitOpenCellEdit();
    SaveSide(*this, *cmbRight, FRight, "Right file saved as %1.");
}
