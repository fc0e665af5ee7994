#include "XSession.h"

#include "ProgramProcess.h"

#include <QElapsedTimer>
#include <QThread>

#include <csignal>

namespace quorlane::test {

bool HasXTools()
{
    for (const char* Tool : {"xvfb-run", "openbox", "xdotool", "wmctrl", "xprop", "import"})
        if (!HasCommand(QString::fromLatin1(Tool)))
            return false;
    return true;
}

TXSession::~TXSession()
{
    if (FManager.state() != QProcess::NotRunning) {
        FManager.terminate();
        if (!FManager.waitForFinished(5000))
            FManager.kill();
        FManager.waitForFinished(2000);
    }
    // Ending the command xvfb-run waits for makes it stop the server and remove its files.
    if (FHolderPid > 0)
        ::kill(pid_t(FHolderPid), SIGTERM);
    if (FServer.state() != QProcess::NotRunning && !FServer.waitForFinished(10000)) {
        FServer.kill();
        FServer.waitForFinished(2000);
    }
}

bool TXSession::Start(QString& Error)
{
    FServer.start(QStringLiteral("xvfb-run"),
                  {"-a", "-s", "-screen 0 1280x800x24 -nolisten tcp", "sh", "-c",
                   "echo \"$DISPLAY $XAUTHORITY $$\"; exec sleep 3600"});
    if (!FServer.waitForStarted(10000)) {
        Error = QStringLiteral("xvfb-run did not start: ") + FServer.errorString();
        return false;
    }
    QElapsedTimer Clock;
    Clock.start();
    while (!FServer.canReadLine() && Clock.elapsed() < 30000)
        FServer.waitForReadyRead(500);
    const QStringList Fields = QString::fromLocal8Bit(FServer.readLine()).trimmed().split(u' ');
    if (Fields.size() != 3) {
        Error = QStringLiteral("xvfb-run said nothing usable: ") + QString::fromLocal8Bit(FServer.readAllStandardError());
        return false;
    }
    FDisplay = Fields[0];
    FAuthority = Fields[1];
    FHolderPid = Fields[2].toLongLong();

    FManager.setProcessEnvironment(Environment());
    FManager.start(QStringLiteral("openbox"), {});
    if (!FManager.waitForStarted(10000)) {
        Error = QStringLiteral("openbox did not start");
        return false;
    }
    // The window manager is up once it has claimed the root window's check property.
    while (Clock.elapsed() < 30000) {
        if (Run(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains(u"window id"))
            return true;
        QThread::msleep(100);
    }
    Error = QStringLiteral("openbox did not take the screen");
    return false;
}

QProcessEnvironment TXSession::Environment() const
{
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("DISPLAY"), FDisplay);
    Env.insert(QStringLiteral("XAUTHORITY"), FAuthority);
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return Env;
}

QString TXSession::Run(const QString& Tool, const QStringList& Args, int* ExitCode) const
{
    const TProgramRun Done = RunProcess(Tool, Args, QString(), Environment(), 30000);
    if (ExitCode)
        *ExitCode = Done.ExitCode;
    return QString::fromLocal8Bit(Done.Out).trimmed();
}

QStringList TXSession::WaitForWindows(qint64 Pid, int Count, int TimeoutMs) const
{
    QElapsedTimer Clock;
    Clock.start();
    QStringList Windows;
    do {
        Windows = Run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(Pid)})
                      .split(u'\n', Qt::SkipEmptyParts);
        if (Windows.size() >= Count)
            break;
        QThread::msleep(100);
    } while (Clock.elapsed() < TimeoutMs);
    return Windows;
}

QString TXSession::WindowName(const QString& Window) const
{
    return Run(QStringLiteral("xdotool"), {"getwindowname", Window});
}

void TXSession::SendKeys(const QString& Window, const QString& Keys) const
{
    Run(QStringLiteral("xdotool"), {"windowactivate", "--sync", Window});
    Run(QStringLiteral("xdotool"), {"key", "--clearmodifiers", Keys});
}

void TXSession::CloseWindow(const QString& Window) const
{
    Run(QStringLiteral("wmctrl"), {"-i", "-c", Window});
}

qint64 TXSession::WindowOwner(const QString& Window) const
{
    int Code = 0;
    const QString Pid = Run(QStringLiteral("xdotool"), {"getwindowpid", Window}, &Code);
    return Code == 0 ? Pid.toLongLong() : 0;
}

bool TXSession::Screenshot(const QString& Path) const
{
    int Code = -1;
    Run(QStringLiteral("import"), {"-window", "root", Path}, &Code);
    return Code == 0;
}

}  // namespace quorlane::test
