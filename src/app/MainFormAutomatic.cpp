// The automatic comparison: the main command and "Automatically".

#include "app/MainForm.h"

void TfrmMain::btnCompareClick()
{
}

void TfrmMain::miAutomatically1Click()
{
    btnCompareClick();
}
