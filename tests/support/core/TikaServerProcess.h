#pragma once

// The real Apache Tika server as a child process of a test, on a free 127.0.0.1 port.
//
// The server's jar comes from QUORLANE_TIKA_JAR or the cache of scripts/tika-server.sh. Without
// it, or without Java, Start says so (after a loud warning) and the class is to be skipped.

#include <QProcess>
#include <QString>
#include <QUrl>

namespace quorlane::test {

struct TTikaServerStart {
    enum class TOutcome { Started, Skip, Fail };
    TOutcome Outcome = TOutcome::Started;
    QString Message;   // for QSKIP or QFAIL
};

class TikaServerProcess {
public:
    ~TikaServerProcess();

    // Starts the server with its output appended to LogFile and waits until it answers.
    // SkippedWhat names the tests a missing jar or Java skips, for the warning.
    [[nodiscard]] TTikaServerStart Start(const QString& LogFile, const QString& SkippedWhat);
    // Stops a running server: terminate, then kill when it does not end.
    void Stop();

    [[nodiscard]] QUrl Endpoint() const { return FEndpoint; }
    [[nodiscard]] QProcess::ProcessState State() const { return FServer.state(); }

private:
    [[nodiscard]] bool StartOnce(const QString& Java, const QString& Jar, QString& Why);

    QProcess FServer;
    QUrl FEndpoint;
    QString FLog;
};

} // namespace quorlane::test
