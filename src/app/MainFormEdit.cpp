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
