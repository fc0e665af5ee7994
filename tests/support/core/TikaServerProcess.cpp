#include "support/core/TikaServerProcess.h"

#include "support/core/HttpStandIn.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace quorlane::test {

namespace {

constexpr int StartAttempts = 3;       // a free port can be taken between probing and binding
constexpr int StartWaitMs = 240000;    // generous: a busy 2-core machine, a cold JVM

QString FindTikaJar()
{
    const QString FromEnv = qEnvironmentVariable("QUORLANE_TIKA_JAR");
    if (!FromEnv.isEmpty())
        return QFileInfo(FromEnv).isFile() ? FromEnv : QString();
    QString Cache = qEnvironmentVariable("QUORLANE_TIKA_CACHE");
    if (Cache.isEmpty()) {
        const QString Xdg = qEnvironmentVariable("XDG_CACHE_HOME");
        Cache = (Xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : Xdg) + QStringLiteral("/quorlane/tika");
    }
    const QFileInfoList Jars = QDir(Cache).entryInfoList({QStringLiteral("tika-server-standard-*.jar")}, QDir::Files,
                                                         QDir::Name | QDir::Reversed);
    return Jars.isEmpty() ? QString() : Jars.first().absoluteFilePath();
}

// The status of GET Url, 0 when there was no HTTP answer; Body receives the answer.
int HttpGet(const QUrl& Url, QByteArray& Body)
{
    QNetworkAccessManager Manager;
    Manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest Request(Url);
    Request.setTransferTimeout(10000);
    std::unique_ptr<QNetworkReply> Reply(Manager.get(Request));
    QEventLoop Loop;
    QObject::connect(Reply.get(), &QNetworkReply::finished, &Loop, &QEventLoop::quit);
    if (!Reply->isFinished())
        Loop.exec();
    Body = Reply->readAll();
    return Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString Tail(const QString& FileName, int MaxBytes = 4000)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly))
        return QStringLiteral("(no log)");
    if (File.size() > MaxBytes)
        File.seek(File.size() - MaxBytes);
    return QString::fromUtf8(File.readAll());
}

void WarnLoudly(const QString& Why, const QString& SkippedWhat)
{
    const QByteArray Line(78, '!');
    qWarning("%s\nTIKA SERVER NOT AVAILABLE: %s\n%s against the real Apache Tika server are SKIPPED.\n"
             "Fetch it with: bash scripts/tika-server.sh fetch\n%s",
             Line.constData(), qPrintable(Why), qPrintable(SkippedWhat), Line.constData());
}

} // namespace

TikaServerProcess::~TikaServerProcess()
{
    Stop();
}

bool TikaServerProcess::StartOnce(const QString& Java, const QString& Jar, QString& Why)
{
    const quint16 Port = HttpStandIn::UnusedPort();
    FEndpoint = QUrl(QStringLiteral("http://127.0.0.1/tika"));
    FEndpoint.setPort(Port);
    QUrl Version = FEndpoint;
    Version.setPath(QStringLiteral("/version"));

    FServer.setProgram(Java);
    // -noFork keeps it one process, so stopping it leaves no child behind.
    FServer.setArguments({QStringLiteral("-Xmx1g"), QStringLiteral("-jar"), Jar, QStringLiteral("-noFork"),
                          QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(Port)});
    FServer.setProcessChannelMode(QProcess::MergedChannels);
    FServer.setStandardOutputFile(FLog, QIODevice::Append);   // a file, so a full pipe never stalls the server
    FServer.setStandardInputFile(QProcess::nullDevice());
    // Should the test die without its cleanup, the server goes with it.
    FServer.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    FServer.start();
    if (!FServer.waitForStarted(30000)) {
        Why = QStringLiteral("could not start %1: %2").arg(Java, FServer.errorString());
        return false;
    }

    QElapsedTimer Clock;
    Clock.start();
    while (Clock.elapsed() < StartWaitMs) {
        if (FServer.state() == QProcess::NotRunning) {
            Why = QStringLiteral("the server exited (code %1) while starting on port %2").arg(FServer.exitCode()).arg(Port);
            return false;
        }
        QByteArray Body;
        if (HttpGet(Version, Body) == 200 && Body.contains("Tika")) {
            qInfo("Tika server \"%s\" answered on port %u after %lld ms", Body.trimmed().constData(), Port,
                  static_cast<long long>(Clock.elapsed()));
            return true;
        }
        QTest::qWait(500);
    }
    Why = QStringLiteral("the server did not answer within %1 s").arg(StartWaitMs / 1000);
    FServer.kill();
    FServer.waitForFinished(10000);
    return false;
}

TTikaServerStart TikaServerProcess::Start(const QString& LogFile, const QString& SkippedWhat)
{
    using TOutcome = TTikaServerStart::TOutcome;
    FLog = LogFile;
    const QString Jar = FindTikaJar();
    if (Jar.isEmpty()) {
        WarnLoudly(QStringLiteral("no tika-server-standard jar (QUORLANE_TIKA_JAR is unset or names no file, "
                                  "and the cache holds none)"),
                   SkippedWhat);
        return {TOutcome::Skip, QStringLiteral("TIKA SERVER NOT AVAILABLE: no tika-server-standard jar")};
    }
    const QString Java = QStandardPaths::findExecutable(QStringLiteral("java"));
    if (Java.isEmpty()) {
        WarnLoudly(QStringLiteral("no java on the PATH"), SkippedWhat);
        return {TOutcome::Skip, QStringLiteral("TIKA SERVER NOT AVAILABLE: no java")};
    }
    qInfo("Starting %s", qPrintable(Jar));

    QString Why;
    for (int Attempt = 1; Attempt <= StartAttempts; ++Attempt) {
        if (StartOnce(Java, Jar, Why))
            return {TOutcome::Started, QString()};
        qWarning("Tika server start %d of %d failed: %s", Attempt, StartAttempts, qPrintable(Why));
    }
    return {TOutcome::Fail,
            QStringLiteral("The Tika server could not be started: %1\n--- server log ---\n%2").arg(Why, Tail(FLog))};
}

void TikaServerProcess::Stop()
{
    if (FServer.state() == QProcess::NotRunning)
        return;
    FServer.terminate();
    if (!FServer.waitForFinished(30000)) {
        FServer.kill();
        FServer.waitForFinished(10000);
    }
}

} // namespace quorlane::test
