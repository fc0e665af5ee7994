// Writing the result, the question before closing, and what the process tells git.

#include "mergewin/MergeForm.h"

#include "mergewin/MergeResultEdit.h"
#include "text/SideSave.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QTextDocument>

namespace {

// The result's lines from the editor's text: blocks are lines; a text ending in a line break
// ends with an empty block, which is not a line.
void ResultLines(const QTextDocument& Document, QStringList& Lines, bool& FinalBreak)
{
    Lines = Document.toRawText().split(QChar::ParagraphSeparator);
    FinalBreak = Lines.size() > 1 && Lines.constLast().isEmpty();
    if (FinalBreak || (Lines.size() == 1 && Lines.constFirst().isEmpty()))
        Lines.removeLast();
    if (Lines.isEmpty())
        FinalBreak = true;
}

}   // namespace

bool TfrmMerge::HasUnsavedWork() const
{
    return edtMergeResult->document()->isModified();
}

bool TfrmMerge::SaveResult()
{
    const int Left = Counts().ConflictsLeft;
    if (Left > 0
        && !Platform.ConfirmRisky(QStringLiteral("%1 conflicts are not resolved. Save with conflict markers?").arg(Left),
                                  QStringLiteral("Save with Markers")))
        return false;
    QString FileName = FOutput;
    if (FileName.isEmpty()) {
        const QFileInfo Proposed(FFiles.Local);
        FileName = Platform.ChooseSaveFile(this, Proposed.absolutePath(), Proposed.fileName());
        if (FileName.isEmpty())
            return false;
    }
    TSideState Side = FResult;
    ResultLines(*edtMergeResult->document(), Side.Lines, Side.FinalBreak);
    const bool Saved = SaveSide(Side, FileName, [this](const QString& Text, const QString& AcceptText) {
        return Platform.ConfirmRisky(Text, AcceptText);
    });
    if (!Saved)
        return false;
    Side.Lines.clear();
    FResult = std::move(Side);
    FOutput = FileName;
    FSavedWithoutConflicts = Left == 0;
    edtMergeResult->document()->setModified(false);
    return true;
}

void TfrmMerge::btnSaveMergeClick()
{
    (void)SaveResult();
}

bool TfrmMerge::ConfirmClose()
{
    return !HasUnsavedWork()
           || Platform.ConfirmRisky(QStringLiteral("The merge result has changes that are not saved. Close and lose them?"),
                                    QStringLiteral("Discard and Close"));
}

void TfrmMerge::closeEvent(QCloseEvent* Event)
{
    bool Close = false;   // an error while asking keeps the window
    RunCommand([&] { Close = ConfirmClose(); });
    if (Close)
        QWidget::closeEvent(Event);
    else
        Event->ignore();
}
