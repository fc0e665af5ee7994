// Saving either side, and the question before closing with unsaved changes.

#include "app/MainForm.h"
#include "text/FileKind.h"
#include "text/SideSave.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>

namespace {

const QString ConfirmCloseText = QStringLiteral("Close Quorlane?\r\nCurrent changes will be lost.");

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

// The saved text of a document is plain text: it goes beside the document, never over it.
[[nodiscard]] QString ProposedName(const QString& Name, TSideSource Source)
{
    return Source == TSideSource::Document && !Name.isEmpty() ? Name + QStringLiteral(".txt") : Name;
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
    if (!Window.SidesWritable()) {
        Window.Platform.ShowMessage(TMessageKind::Information,
                                    QStringLiteral("Save is not available: the last comparison failed."));
        return;
    }
    Window.EnsureFilesLoaded();

    QString Folder, Name;
    SplitProposedPath(PathBox.currentText(), Folder, Name);
    Window.SaveDialog1.InitialDir = Folder;
    const QString FileName = Window.Platform.ChooseSaveFile(&Window, Folder, ProposedName(Name, Side.Source));
    if (FileName.isEmpty())
        return;
    // The dialog has asked about replacing the file; plain text over a document is asked once more.
    if (IsComplexDocument(FileName) && QFileInfo::exists(FileName)
        && !Window.Platform.ConfirmRisky(
            QStringLiteral("%1 is a PDF/Office document; saving writes plain text over it.")
                .arg(QFileInfo(FileName).fileName()),
            QStringLiteral("Overwrite")))
        return;

    const TTextWriteEncoding Encoding = WriteEncodingFor(Side);
    SaveTextFile(FileName, Side.Lines, Encoding);
    NoteSideWritten(Side, Encoding);
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

bool TfrmMain::ConfirmClose()
{
    if (!FFolderMode)
        CommitOpenCellEdit();   // text typed in an open editor is an unsaved change too
    return !UnsavedChanges || Platform.ConfirmRisky(ConfirmCloseText, QStringLiteral("Discard and Close"));
}

void TfrmMain::closeEvent(QCloseEvent* Event)
{
    bool Close = false;   // an error while asking keeps the window
    RunCommand([&] { Close = ConfirmClose(); });
    if (Close)
        QWidget::closeEvent(Event);
    else
        Event->ignore();
}
