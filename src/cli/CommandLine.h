#pragma once
// The command line: what the user asked for, decided before any application object exists, so
// help, version, usage errors and the headless diff never need a display.

#include "engine/DiffEngine.h"

#include <QString>
#include <QStringList>

enum class TRunMode {
    Window,       // open the window; with two paths, compare them at once
    Help,         // print the help, exit 0
    Version,      // print the version, exit 0
    UsageError,   // print the message and a hint on stderr, exit 2
    Diff,         // headless comparison printed on stdout
};

struct TCommandLine {
    TRunMode Mode = TRunMode::Window;
    QString Left, Right;         // window: absolute and clean; diff: as typed (used as labels)
    TDiffOptions Options;
    int Context = 3;             // lines of context around each change (-U)
    bool Brief = false;          // -q: report only whether the files differ
    bool StripTrailingCr = false;   // --strip-trailing-cr: CR LF compares as LF
    QString Error;               // the usage error, without program name or hint
    // Window with --from-desktop (the desktop entry's Exec): paths beyond the first two are left
    // out, and the window says how many were given. Typed by hand, three paths are a usage error.
    int PathsGiven = 0;

    [[nodiscard]] bool HasPaths() const { return !Left.isEmpty(); }   // one path: Right stays empty
};

// Exit statuses, as GNU diff has them.
inline constexpr int ExitSame = 0;
inline constexpr int ExitDifferent = 1;
inline constexpr int ExitTrouble = 2;

inline constexpr const char* ProgramVersionLine = "Quorlane 1.0";

// Args holds the arguments after the program name. Relative window paths are resolved against
// CurrentDir.
[[nodiscard]] TCommandLine ParseCommandLine(const QStringList& Args, const QString& CurrentDir);

[[nodiscard]] QString HelpText();
// The usage error as printed: "quorlane: <error>", the usage line and a hint to --help.
[[nodiscard]] QString UsageErrorText(const QString& Error);

// Without a display Qt would abort; the window is refused with words instead. A platform named in
// QT_QPA_PLATFORM other than xcb or wayland (offscreen, vnc, ...) needs no display.
inline constexpr const char* NoDisplayText =
    "Quorlane needs a graphical display (DISPLAY or WAYLAND_DISPLAY is not set); use quorlane --diff for a "
    "comparison in the terminal.";
[[nodiscard]] bool GraphicalDisplayAvailable();

// Help, version, usage errors and the headless diff: prints and returns the exit status.
[[nodiscard]] int RunWithoutWindow(const TCommandLine& Command);
