// The about box and the website link.

#include "app/MainForm.h"

void TfrmMain::SetUpHomepageLink() {}
void TfrmMain::btnInfoClick() {}
