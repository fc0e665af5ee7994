#pragma once

#include "update/WebsiteGet.h"

#include <QString>

class TPlatform;

// What the start-up check found, for the update dialog.
extern QString NewVersionMessage;
extern bool UpdateMandatory;     // closing the update dialog ends the program
extern bool DownloadCancelled;   // the user pressed Abort during the download

// Asks the product website whether a newer version exists; true when the update dialog is to be
// shown. Blocks until it knows; any failure is "no news", silently. Builds made without the
// check never ask.
[[nodiscard]] bool CheckForNewVersion();
[[nodiscard]] bool CheckForNewVersion(const quorlane::TUpdateSource& Source);

// The update dialog, shown modally when the check found news. EndProgram: the user started the
// update or the running version may no longer be used, so no main window is created.
enum class TUpdateOutcome { Continue, EndProgram };
[[nodiscard]] TUpdateOutcome ShowNewVersionDialog();
[[nodiscard]] TUpdateOutcome ShowNewVersionDialog(TPlatform& Platform, const quorlane::TUpdateSource& Source);

// The program start's step before any window: the check, then the dialog when there is news.
[[nodiscard]] TUpdateOutcome RunStartUpVersionCheck();
[[nodiscard]] TUpdateOutcome RunStartUpVersionCheck(TPlatform& Platform, const quorlane::TUpdateSource& Source);
