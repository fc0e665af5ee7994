#pragma once

#include <QString>

// What the start-up check found, for the update dialog.
extern QString NewVersionMessage;
extern bool UpdateMandatory;

// Asks the product website whether a newer version exists; true when the update dialog is to be
// shown. Blocks until it knows; any failure is "no news".
[[nodiscard]] bool CheckForNewVersion();

// The update dialog, shown modally when the check found news. EndProgram: the user started the
// update or the running version may no longer be used, so no main window is created.
enum class TUpdateOutcome { Continue, EndProgram };
[[nodiscard]] TUpdateOutcome ShowNewVersionDialog();
