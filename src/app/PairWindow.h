#pragma once

#include <QString>

class TfrmMain;

// Opens Left and Right in another main window of this process and compares them there, as Enter
// on a folder row asks. The new window looks like its opener (options, colours, font, histories),
// stands a step right of and below it, closes on its own, and leaves the stored window placement
// to the window the user started. The process ends with its last window, so a caller that waits
// for the program (git difftool -d) waits for every pair opened from it.
TfrmMain* OpenPairWindow(TfrmMain& Opener, const QString& Left, const QString& Right);
