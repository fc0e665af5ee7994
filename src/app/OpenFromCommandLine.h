#pragma once

#include <QString>

class TfrmMain;

// The name of the desktop entry and of the icon, so the desktop matches windows to the entry.
inline constexpr const char* DesktopEntryName = "io.github.quorlane.Quorlane";

// Puts the two paths into the path boxes and, once the event loop runs the shown window, presses
// the Compare button: the automatic comparison a user would start.
// With Right empty (one path given) nothing is compared: Left waits in the left box and the keys
// go to the right box. PathsGiven above two (a file manager's selection) is said in the status line.
void ComparePathsOnShow(TfrmMain& Window, const QString& Left, const QString& Right, int PathsGiven = 2);

// The status line's note when more paths were given than one comparison takes.
[[nodiscard]] QString PathsLeftOutText(int PathsGiven);
