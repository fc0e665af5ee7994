// Saving either side, and the question before closing with unsaved changes.

#include "app/MainForm.h"
#include "app/UnsavedMarker.h"
#include "text/SideSave.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>

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

}   // namespace

// The two commands differ only in the side they read: this does either.
static void SaveSideCommand(TfrmMain& Window, QComboBox& PathBox, TSideState& Side, const char* StatusFormat)
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

    // The side's own file, not whatever the box says now: a path typed since the comparison
    // names a file this text never came from.
    QString Folder, Name;
    SplitProposedPath(ProposedSavePath(Side, PathBox.currentText()), Folder, Name);
    Window.SaveDialog1.InitialDir = Folder;
    const QString FileName = Window.Platform.ChooseSaveFile(&Window, Folder, Name);
    if (FileName.isEmpty())
        return;
    // The dialog has asked about replacing the file; what would lose more is asked here.
    const bool Saved = SaveSide(Side, FileName, [&Window](const QString& Text, const QString& AcceptText) {
        return Window.Platform.ConfirmRisky(Text, AcceptText);
    });
    if (!Saved)
        return;
    // Cleared only once the file is written: after a failed save the changes are still unsaved,
    // and the next comparison must still ask before it discards them.
    Window.MarkSideSaved(Side);
    Window.SetStatus(QString::fromLatin1(StatusFormat).arg(Side.EncName));
}

void TfrmMain::btnSaveLeftClick()
{
    if (!FFolderMode)
        CommitOpenCellEdit();   // what is typed in the open editor belongs to the saved text
    SaveSideCommand(*this, *cmbLeft, FLeft, "Left file saved as %1.");
}

void TfrmMain::btnSaveRightClick()
{
    if (!FFolderMode)
        CommitOpenCellEdit();
    SaveSideCommand(*this, *cmbRight, FRight, "Right file saved as %1.");
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

void TfrmMain::ShowUnsavedMarkers()
{
    if (!cmbLeft || !cmbRight)
        return;   // still being built
    const bool Shown = SidesWritable();   // folder rows and failed comparisons hold no side to save
    ShowUnsavedMarker(*cmbLeft, Shown && FLeft.Unsaved, Shown ? FLeft.Loaded.Path : QString());
    ShowUnsavedMarker(*cmbRight, Shown && FRight.Unsaved, Shown ? FRight.Loaded.Path : QString());
}

void TfrmMain::changeEvent(QEvent* Event)
{
    QWidget::changeEvent(Event);
    // Another program may have written a compared file while the user was elsewhere: say so,
    // and leave reloading to the user, who may hold unsaved changes.
    if (Event->type() != QEvent::ActivationChange || !isActiveWindow() || !SidesWritable())
        return;
    RunCommand([this] {
        if (const QString Changed = ChangedOnDiskStatus(FLeft, FRight); !Changed.isEmpty())
            SetStatus(Changed);
    });
}
