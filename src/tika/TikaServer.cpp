#include "tika/TikaServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace quorlane {

namespace {

constexpr int ProbeMs = 3000;     // a local connection is accepted or refused at once
constexpr int PollGapMs = 250;

QString NewestJar(const QString& Dir)
{
    if (Dir.isEmpty()) return {};
    const QFileInfoList jars = QDir(Dir).entryInfoList({QStringLiteral("tika-server-standard-*.jar")},
                                                       QDir::Files | QDir::Readable, QDir::Name | QDir::Reversed);
    for (const QFileInfo& jar : jars)
        if (jar.size() > 0) return jar.absoluteFilePath();
    return {};
}

// Processes events for Ms; false when Cancel fired meanwhile.
bool Pause(int Ms, QEventLoop::ProcessEventsFlags WaitFlags, const TTikaCancel* Cancel)
{
    if (Cancel && Cancel->IsCancelled()) return false;
    QEventLoop loop;
    QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
    if (Cancel) QObject::connect(Cancel, &TTikaCancel::Cancelled, &loop, &QEventLoop::quit);
    loop.exec(WaitFlags);
    return !(Cancel && Cancel->IsCancelled());
}

// True when GET Url answers 200 with a body naming Tika.
bool AnswersAsTika(const QUrl& Url, QEventLoop::ProcessEventsFlags WaitFlags, const TTikaCancel* Cancel)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(Url);
    request.setTransferTimeout(5000);
    const std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (Cancel) QObject::connect(Cancel, &TTikaCancel::Cancelled, &loop, [&] { reply->abort(); });
    if (!reply->isFinished()) loop.exec(WaitFlags);
    return reply->error() == QNetworkReply::NoError
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200
        && reply->read(4096).contains("Tika");
}

} // namespace

QString TikaServerCacheDir()
{
    const QString own = qEnvironmentVariable("QUORLANE_TIKA_CACHE");
    if (!own.isEmpty()) return own;
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/quorlane/tika");
}

TTikaServerFiles FindTikaServerFiles(const QString& ProgramDir)
{
    TTikaServerFiles files;
    files.Java = QStandardPaths::findExecutable(QStringLiteral("java"));
    files.Jar = NewestJar(TikaServerCacheDir());
    if (files.Jar.isEmpty()) files.Jar = NewestJar(ProgramDir);
    return files;
}

bool IsLocalEndpoint(const QUrl& Endpoint)
{
    const QString host = Endpoint.host();
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool SomethingListens(const QUrl& Endpoint, QEventLoop::ProcessEventsFlags WaitFlags)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(ProbeMs, &loop, &QEventLoop::quit);
    socket.connectToHost(Endpoint.host(), quint16(Endpoint.port(80)));
    if (socket.state() != QAbstractSocket::ConnectedState && socket.state() != QAbstractSocket::UnconnectedState)
        loop.exec(WaitFlags);
    const bool listens = socket.state() == QAbstractSocket::ConnectedState;
    socket.abort();
    return listens;
}

TTikaServer::~TTikaServer()
{
    Stop();
}

bool TTikaServer::Start(const TTikaServerFiles& Files, quint16 Port, int TimeoutMs,
                        QEventLoop::ProcessEventsFlags WaitFlags, const TTikaCancel* Cancel, QString& Error)
{
    Stop();
    FPort = Port;
    FReady = false;
    const QString cache = TikaServerCacheDir();
    FLog = QDir().mkpath(cache) ? QDir(cache).filePath(QStringLiteral("quorlane-server-%1.log").arg(Port)) : QString();
    FProcess.setProgram(Files.Java);
    // -noFork keeps it one process, so stopping it leaves nothing behind.
    FProcess.setArguments({QStringLiteral("-jar"), Files.Jar, QStringLiteral("-noFork"), QStringLiteral("-h"),
                           QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(Port)});
    FProcess.setStandardInputFile(QProcess::nullDevice());
    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    // A file, not a pipe: a full pipe nobody reads would stall the server.
    FProcess.setStandardOutputFile(FLog.isEmpty() ? QProcess::nullDevice() : FLog, QIODevice::Truncate);
    // Should this program end without its cleanup (killed, crashed), the server goes with it.
    FProcess.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    FProcess.start();
    if (!FProcess.waitForStarted(10000)) {
        Error = QStringLiteral("Error: The document text server could not be started (%1: %2).")
                    .arg(Files.Java, FProcess.errorString());
        return false;
    }
    return WaitUntilReady(TimeoutMs, WaitFlags, Cancel, Error);
}

bool TTikaServer::WaitUntilReady(int TimeoutMs, QEventLoop::ProcessEventsFlags WaitFlags, const TTikaCancel* Cancel,
                                 QString& Error)
{
    QUrl version(QStringLiteral("http://127.0.0.1/version"));
    version.setPort(FPort);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (Cancel && Cancel->IsCancelled()) {
            Error = TikaCancelledText();
            return false;
        }
        if (!IsRunning()) {
            Error = QStringLiteral("Error: The document text server stopped while starting (exit code %1)%2.")
                        .arg(FProcess.exitCode())
                        .arg(FLog.isEmpty() ? QString() : QStringLiteral("; its log is %1").arg(FLog));
            return false;
        }
        if (AnswersAsTika(version, WaitFlags, Cancel)) {
            FReady = true;
            return true;
        }
        if (clock.elapsed() >= TimeoutMs) {
            Error = QStringLiteral("Error: The document text server did not answer within %1 seconds of starting.")
                        .arg(TimeoutMs / 1000);
            return false;
        }
        (void)Pause(PollGapMs, WaitFlags, Cancel);
    }
}

void TTikaServer::Stop()
{
    FReady = false;
    if (FProcess.state() == QProcess::NotRunning) return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

QString TikaServerFetchCommand(const QString& ProgramDir)
{
    // Run from a build folder of the source tree: the project's own script.
    const QFileInfo script(QDir(ProgramDir).filePath(QStringLiteral("../scripts/tika-server.sh")));
    if (!ProgramDir.isEmpty() && script.isFile())
        return QStringLiteral("bash %1 fetch").arg(script.canonicalFilePath());
    return QStringLiteral("mvn -q dependency:copy -Dartifact=org.apache.tika:tika-server-standard:%1 "
                          "-DoutputDirectory=%2")
        .arg(QLatin1String(TikaServerVersion), TikaServerCacheDir());
}

QString TikaServerHint(const TTikaServerFiles& Files, const QString& AppTitle, const QString& FetchCommand)
{
    const QString how = QStringLiteral("%1 starts the Apache Tika server that extracts the text by itself when none "
                                       "is running; it needs Java and the server file tika-server-standard-*.jar.")
                            .arg(AppTitle);
    if (Files.Complete()) return how;
    QString hint = how;
    if (Files.Java.isEmpty())
        hint += QStringLiteral("\r\nJava is missing. Install it with:\r\n    sudo apt-get install default-jre-headless");
    if (Files.Jar.isEmpty())
        hint += QStringLiteral("\r\nThe server file is missing (looked in %1 and beside the program). Fetch it with:"
                               "\r\n    %2")
                    .arg(TikaServerCacheDir(), FetchCommand);
    return hint;
}

QString TikaFailureWarningText(const QString& FailureText, const QString& Hint)
{
    if (Hint.isEmpty()) return FailureText;
    return FailureText + QStringLiteral("\r\n\r\n") + Hint;
}

} // namespace quorlane
