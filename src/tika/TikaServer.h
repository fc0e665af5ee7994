#pragma once

// The Apache Tika server that the program starts by itself when nothing answers at the local
// endpoint, and the hint that says how to get one when it cannot.

#include "tika/Tika.h"

#include <QProcess>
#include <QString>
#include <QUrl>

namespace quorlane {

// The version scripts/tika-server.sh fetches first, for the command the hint names.
inline constexpr char TikaServerVersion[] = "3.2.2";
// Longest wait for a server we started to answer.
inline constexpr int TikaServerStartMs = 60000;

// What starting a server takes; an empty field is missing.
struct TTikaServerFiles
{
    QString Java;   // the java launcher
    QString Jar;    // tika-server-standard-*.jar
    [[nodiscard]] bool Complete() const { return !Java.isEmpty() && !Jar.isEmpty(); }
};

// The folder scripts/tika-server.sh fetches into: $QUORLANE_TIKA_CACHE, else
// ${XDG_CACHE_HOME:-~/.cache}/quorlane/tika.
[[nodiscard]] QString TikaServerCacheDir();

// java from the PATH; the newest tika-server-standard-*.jar in the cache folder, else in
// ProgramDir (the folder of the running program).
[[nodiscard]] TTikaServerFiles FindTikaServerFiles(const QString& ProgramDir);

// True for an endpoint on this machine, where a server of our own can be started.
[[nodiscard]] bool IsLocalEndpoint(const QUrl& Endpoint);

// True when something accepts a connection at the endpoint's host and port.
[[nodiscard]] bool SomethingListens(const QUrl& Endpoint, QEventLoop::ProcessEventsFlags WaitFlags);

// A Tika server started by this program on 127.0.0.1. It ends with the object, and with the
// program should that end without cleaning up.
class TTikaServer
{
public:
    TTikaServer() = default;
    ~TTikaServer();
    TTikaServer(const TTikaServer&) = delete;
    TTikaServer& operator=(const TTikaServer&) = delete;

    // Starts java -jar Jar on 127.0.0.1:Port and waits until it answers, at most TimeoutMs;
    // Cancel ends the wait. False with Error ("Error: ..." or "Cancelled.") when it does not
    // come up; a server still starting then keeps running for the next attempt.
    [[nodiscard]] bool Start(const TTikaServerFiles& Files, quint16 Port, int TimeoutMs,
                             QEventLoop::ProcessEventsFlags WaitFlags, const TTikaCancel* Cancel, QString& Error);
    // Waits until the running server answers; see Start.
    [[nodiscard]] bool WaitUntilReady(int TimeoutMs, QEventLoop::ProcessEventsFlags WaitFlags,
                                      const TTikaCancel* Cancel, QString& Error);
    [[nodiscard]] bool IsRunning() const { return FProcess.state() != QProcess::NotRunning; }
    [[nodiscard]] bool IsReady() const { return IsRunning() && FReady; }
    [[nodiscard]] qint64 ProcessId() const { return FProcess.processId(); }
    [[nodiscard]] quint16 Port() const { return FPort; }
    [[nodiscard]] QString LogFile() const { return FLog; }
    // Ends the server: terminate, then kill when it does not end.
    void Stop();

private:
    QProcess FProcess;
    quint16 FPort = 0;
    QString FLog;
    bool FReady = false;
};

// The one command that fetches the server file: the project's script when the program runs from
// a build folder of the source tree, else a download from Maven Central into the cache folder.
[[nodiscard]] QString TikaServerFetchCommand(const QString& ProgramDir);

// The hint under a failed document comparison: how the program gets a server, and when it
// cannot, what is missing with the one command that installs it. AppTitle names the program.
[[nodiscard]] QString TikaServerHint(const TTikaServerFiles& Files, const QString& AppTitle,
                                     const QString& FetchCommand);

// The warning box text: the failure text, a blank line and the hint (none when it is empty).
[[nodiscard]] QString TikaFailureWarningText(const QString& FailureText, const QString& Hint);

} // namespace quorlane
