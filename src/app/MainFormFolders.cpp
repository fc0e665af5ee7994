// The folder comparison.

#include "app/MainForm.h"

void TfrmMain::miAsFolders1Click()
{
}

void TfrmMain::CompareFolders(const QString&, const QString&)
{
}
