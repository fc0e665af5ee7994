// Saving either side.

#include "app/MainForm.h"

void TfrmMain::btnSaveLeftClick() {}
void TfrmMain::btnSaveRightClick() {}
