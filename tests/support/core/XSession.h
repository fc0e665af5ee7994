#pragma once
// A real X server (xvfb-run -a, so a free display) with the openbox window manager, for tests
// that run the real program as a desktop user would: start it, look at it, close it.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace quorlane::test {

class TXSession
{
public:
    TXSession() = default;
    ~TXSession();
    TXSession(const TXSession&) = delete;
    TXSession& operator=(const TXSession&) = delete;

    // Starts the server and the window manager; false (with Error set) when that fails.
    [[nodiscard]] bool Start(QString& Error);
    // The environment of a program on this display: DISPLAY, XAUTHORITY, the xcb platform.
    [[nodiscard]] QProcessEnvironment Environment() const;

    // Runs an X tool (xdotool, import, ...) on this display; returns its trimmed stdout.
    QString Run(const QString& Tool, const QStringList& Args, int* ExitCode = nullptr) const;
    // The visible top-level windows of process Pid, waiting up to TimeoutMs for at least Count.
    [[nodiscard]] QStringList WaitForWindows(qint64 Pid, int Count, int TimeoutMs) const;
    [[nodiscard]] QString WindowName(const QString& Window) const;
    // Activates the window and sends it keys, as the user types them.
    void SendKeys(const QString& Window, const QString& Keys) const;
    // Asks the window manager to close the window (the title bar's close button).
    void CloseWindow(const QString& Window) const;
    // The process that owns a window (its _NET_WM_PID), or 0 when there is no such window.
    // A closed window's id may come back for the next program's window: compare owners too.
    [[nodiscard]] qint64 WindowOwner(const QString& Window) const;
    // Saves a screenshot of the whole screen.
    bool Screenshot(const QString& Path) const;

private:
    QProcess FServer;     // xvfb-run holding the display
    QProcess FManager;    // openbox
    QString FDisplay, FAuthority;
    qint64 FHolderPid = 0;
};

// True when the tools these tests need are installed (xvfb, openbox, xdotool, wmctrl, xprop, import).
[[nodiscard]] bool HasXTools();

}  // namespace quorlane::test
