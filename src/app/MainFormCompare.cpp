// Compare commands, path histories, browse buttons and the text comparison.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "text/PathBytes.h"
#include "text/SideLoad.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <utility>

namespace {

const QString ConfirmLoadText = QStringLiteral("Load and compare the specified files?\r\nCurrent changes will be lost.");
const QString SelectBothFilesText = QStringLiteral("Please select both left and right files.");

[[nodiscard]] bool IsExistingFile(const QString& Path)
{
    return PathKindOf(Path) == TPathKind::File;
}

// Applies a history rule to one box; the box's edit text stays as the user left it.
void UpdateHistory(QComboBox& Box, const QString& Path, THistoryRule Rule)
{
    const QString EditText = Box.currentText();
    QStringList History;
    History.reserve(Box.count() + 1);
    for (int I = 0; I < Box.count(); ++I)
        History.append(Box.itemText(I));
    if (Rule == THistoryRule::Keeping)
        ApplyKeepingRule(History, Path);
    else
        ApplyMovingRule(History, Path);
    Box.clear();
    Box.addItems(History);
    Box.setEditText(EditText);
}

// The typed path when it names a folder, else its folder part (everything before its last
// separator) when that exists; otherwise the folder the dialog remembered.
[[nodiscard]] QString BrowseStartFolder(const QString& EditText, const QString& Remembered)
{
    if (const QString Typed = TrimPath(EditText); !Typed.isEmpty() && QFileInfo(Typed).isDir())
        return Typed;
    const qsizetype Separator = EditText.lastIndexOf(QLatin1Char('/'));
    if (Separator >= 0) {
        const QString Folder = EditText.left(Separator);
        if (!Folder.isEmpty() && QFileInfo(Folder).isDir())
            return Folder;
    }
    return Remembered;
}

}   // namespace

void TfrmMain::ReadPaths(QString& L, QString& R) const
{
    L = TrimPath(cmbLeft->currentText());
    R = TrimPath(cmbRight->currentText());
}

void TfrmMain::AddPathsToHistory(const QString& L, const QString& R, THistoryRule Rule)
{
    UpdateHistory(*cmbLeft, L, Rule);
    UpdateHistory(*cmbRight, R, Rule);
}

void TfrmMain::SpeedButton1MouseUp()
{
    PopupMenu1->popup(SpeedButton1->mapToGlobal(QPoint(0, SpeedButton1->height())));
}

bool TfrmMain::ConfirmLoadFiles()
{
    return !UnsavedChanges || Platform.Confirm(ConfirmLoadText);
}

// The forced file commands (as text files, as documents) differ only in the comparison they run.
void TfrmMain::RunFileCompareCommand(void (TfrmMain::*Compare)(const QString&, const QString&))
{
    if (!ConfirmLoadFiles())
        return;
    QString L, R;
    ReadPaths(L, R);
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, SelectBothFilesText);
        return;
    }
    if (!IsExistingFile(L) || !IsExistingFile(R)) {
        Platform.ShowMessage(TMessageKind::Error, QStringLiteral("Both paths must be existing files for files comparison."));
        return;
    }
    (this->*Compare)(L, R);
    AddPathsToHistory(L, R, THistoryRule::Keeping);
    SaveSettings();
}

void TfrmMain::ClearWorkspaceForFiles()
{
    HideGettingStarted();
    FFolderMode = false;
    EnableTextModeButtons();
    UnsavedChanges = false;
    DiscardPendingRecompute();
    ClearUndoStack();
    FLeftLines.clear();
    FRightLines.clear();
}

bool TfrmMain::CheckFilesToCompare(const QString& L, const QString& R)
{
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, SelectBothFilesText);
        return false;
    }
    for (const auto& [Path, Side] : {std::pair{L, "Left"}, std::pair{R, "Right"}}) {
        if (IsExistingFile(Path))
            continue;
        // A device, named pipe or socket exists but is no file to read: say so, not "missing".
        const TPathKind Kind = PathKindOf(Path);
        Platform.ShowMessage(TMessageKind::Error,
                             Kind == TPathKind::Other
                                 ? QStringLiteral("%1 file is not a regular file (a device, named pipe or socket): %2")
                                       .arg(QLatin1String(Side), Path)
                                 : QStringLiteral("%1 file does not exist.").arg(QLatin1String(Side)));
        return false;
    }
    return true;
}

void TfrmMain::miAsTextFiles1Click()
{
    RunFileCompareCommand(&TfrmMain::CompareTextFiles);
}

void TfrmMain::CompareTextFiles(const QString& L, const QString& R)
{
    if (!CheckFilesToCompare(L, R))
        return;

    // Both files are read before the workspace is touched: a file that cannot be read or decoded
    // leaves the shown comparison whole (lines, rows, undo states, unsaved changes), instead of
    // rows that point into emptied lists and a save that would write an empty file.
    TSideState Left, Right;
    LoadTextFiles(L, Left, R, Right);
    Left.Source = Right.Source = TSideSource::TextFile;

    HideGettingStarted();
    FFolderMode = false;
    EnableTextModeButtons();

    DiscardPendingRecompute();
    ClearUndoStack();
    FLeft = std::move(Left);
    FRight = std::move(Right);
    UnsavedChanges = false;

    ShowNewFileComparison();
}

void TfrmMain::CompareBinaryFiles(const QString& L, const QString& R)
{
    if (!CheckFilesToCompare(L, R))
        return;
    const QString Verdict = BinaryFilesText(FirstDifferentByte(L, R));

    // Nothing is loaded that a merge, an edit or a save could use.
    ClearWorkspaceForFiles();
    FDiffItems.clear();
    FillDiffGrid();
    MarkComparisonFailed();
    SetStatus(Verdict);
    Platform.ShowMessage(TMessageKind::Information, Verdict);
}

void TfrmMain::ShowNewFileComparison()
{
    RunDiff();
    // A new comparison starts at its top, wherever the previous one was scrolled to.
    grdDiff->SetTopRow(1);
    grdDiff->SetRow(1);

    if (!HasDifferences())
        Platform.ShowMessage(TMessageKind::Information, IdenticalFilesText(SideDifferences(FLeft, FRight)));
    ShowComparisonSummary(LineCountPrefix(FLeftLines.size(), FRightLines.size()), true);
    FocusComparisonRows();
}

void TfrmMain::BrowseForPath(QComboBox& Box, TFileDialogState& Dialog, const QString& DialogName, TBrowseKind Kind)
{
    const QString Start = BrowseStartFolder(Box.currentText(), Dialog.InitialDir);
    const QString Chosen = Kind == TBrowseKind::File ? Platform.ChooseOpenFile(this, Start, DialogName)
                                                     : Platform.ChooseFolder(this, Start, DialogName);
    if (Chosen.isEmpty())
        return;
    Box.setEditText(QDir::toNativeSeparators(Chosen));
    Dialog.InitialDir = Kind == TBrowseKind::File ? QFileInfo(Chosen).absolutePath() : QDir::cleanPath(Chosen);
    // The other box is usually next.
    QComboBox* Other = &Box == cmbLeft ? cmbRight : cmbLeft;
    if (Other->currentText().trimmed().isEmpty())
        Other->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::CreateBrowseMenus()
{
    struct TSide
    {
        QPushButton* Button;
        QMenu*& Menu;
        QComboBox* Box;
        TFileDialogState& Dialog;
        const char* Name;         // "Left" or "Right"
        const char* DialogName;
    };
    for (const TSide& Side : {TSide{btnBrowseLeft, pmBrowseLeft, cmbLeft, dlgOpen1, "Left", "dlgOpen1"},
                              TSide{btnBrowseRight, pmBrowseRight, cmbRight, dlgopen2, "Right", "dlgopen2"}}) {
        Side.Menu = new QMenu(this);
        Side.Menu->setObjectName(QStringLiteral("pmBrowse") + QLatin1String(Side.Name));
        QAction* File = Side.Menu->addAction(QStringLiteral("&File…"));
        File->setObjectName(QStringLiteral("miBrowse%1File").arg(QLatin1String(Side.Name)));
        QAction* Folder = Side.Menu->addAction(QStringLiteral("F&older…"));
        Folder->setObjectName(QStringLiteral("miBrowse%1Folder").arg(QLatin1String(Side.Name)));
        QComboBox* Box = Side.Box;
        TFileDialogState* Dialog = &Side.Dialog;
        const QString DialogName = QLatin1String(Side.DialogName);
        for (const auto& [Action, Kind] : {std::pair{File, TBrowseKind::File}, std::pair{Folder, TBrowseKind::Folder}})
            connect(Action, &QAction::triggered, this, [this, Box, Dialog, DialogName, Kind] {
                RunCommand([&] { BrowseForPath(*Box, *Dialog, DialogName, Kind); });
            });
    }
}

void TfrmMain::btnBrowseLeftClick()
{
    pmBrowseLeft->popup(btnBrowseLeft->mapToGlobal(QPoint(0, btnBrowseLeft->height())));
}

void TfrmMain::btnBrowseRightClick()
{
    pmBrowseRight->popup(btnBrowseRight->mapToGlobal(QPoint(0, btnBrowseRight->height())));
}
