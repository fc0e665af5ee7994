// The settings file and the settings dialog.

#include "app/MainForm.h"

void TfrmMain::LoadSettings() {}
void TfrmMain::SaveSettings() {}
void TfrmMain::btnSettingsClick() {}
