#pragma once

#include <QString>

class TfrmMain;

// The name of the desktop entry and of the icon, so the desktop matches windows to the entry.
inline constexpr const char* DesktopEntryName = "io.github.quorlane.Quorlane";

// Puts the two paths into the path boxes and, once the event loop runs the shown window, presses
// the Compare button: the automatic comparison a user would start.
void ComparePathsOnShow(TfrmMain& Window, const QString& Left, const QString& Right);
