// Difference navigation, merges and undo.

#include "app/MainForm.h"

void TfrmMain::btnFirstDiffClick() {}
void TfrmMain::btnPrevDiffClick() {}
void TfrmMain::btnDiffNextClick() {}
void TfrmMain::btnLastDiffClick() {}
void TfrmMain::GoToDiffRow(int) {}
void TfrmMain::btnLeftToRightClick() {}
void TfrmMain::btnRightToLeftClick() {}
void TfrmMain::btnAllLeftDiffsToRightClick() {}
void TfrmMain::btnAllRightDiffsToLeftClick() {}
void TfrmMain::ActionUndoExecute() {}
void TfrmMain::btnUndoClick() {}
void TfrmMain::UndoLastMerge() {}
void TfrmMain::PushUndoState() {}
void TfrmMain::CreateNavigationShortcuts() {}
bool TfrmMain::RowsFollowLines() const { return true; }
void TfrmMain::ChangeLinesAndRecompute(bool) {}
