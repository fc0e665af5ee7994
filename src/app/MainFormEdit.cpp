// In-cell editing.

#include "app/MainForm.h"

#include <QPlainTextEdit>

void TfrmMain::CreateCellEditor()
{
    if (!FCellEditor) {
        FCellEditor = new QPlainTextEdit(grdDiff->viewport());
        FCellEditor->setObjectName(QStringLiteral("FCellEditor"));
        FCellEditor->hide();
    }
    FEditingRow = -1;
    FEditingCol = -1;
    FInCellEditCommit = false;
}

void TfrmMain::grdDiffDblClick() {}
void TfrmMain::grdDiffKeyDown(QKeyEvent*) {}
bool TfrmMain::GetEditLineIndex(int, int, std::int32_t& LineIndex) const { LineIndex = -1; return false; }
void TfrmMain::PositionCellEditor(int, int) {}
void TfrmMain::BeginCellEdit(int, int) {}
void TfrmMain::EndCellEdit(bool) {}
void TfrmMain::CellEditorKeyDown(QKeyEvent*) {}
void TfrmMain::CellEditorExit() {}
void TfrmMain::CommitOpenCellEdit() {}
void TfrmMain::FollowEditedLine() {}
