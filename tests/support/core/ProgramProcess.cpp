#include "ProgramProcess.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtGlobal>

namespace quorlane::test {

QString ProgramPath()
{
    const QString Path = qEnvironmentVariable("QUORLANE_EXE");
    if (Path.isEmpty())
        qFatal("QUORLANE_EXE is not set: run the process tests through ctest");
    return Path;
}

QProcessEnvironment HeadlessEnvironment()
{
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.remove(QStringLiteral("DISPLAY"));
    Env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return Env;
}

TProgramRun RunProcess(const QString& Program, const QStringList& Args, const QString& WorkDir,
                       const QProcessEnvironment& Env, int TimeoutMs, const QByteArray& Input)
{
    QProcess Process;
    Process.setProcessEnvironment(Env);
    if (!WorkDir.isEmpty())
        Process.setWorkingDirectory(WorkDir);
    Process.start(Program, Args);
    TProgramRun Run;
    if (!Process.waitForStarted(TimeoutMs)) {
        Run.Err = Process.errorString().toUtf8();
        return Run;
    }
    if (!Input.isEmpty())
        Process.write(Input);
    Process.closeWriteChannel();
    if (!Process.waitForFinished(TimeoutMs)) {
        Process.kill();
        Process.waitForFinished();
        Run.Crashed = true;
    }
    Run.Crashed = Run.Crashed || Process.exitStatus() == QProcess::CrashExit;
    Run.ExitCode = Process.exitCode();
    Run.Out = Process.readAllStandardOutput();
    Run.Err = Process.readAllStandardError();
    return Run;
}

TProgramRun RunQuorlane(const QStringList& Args, const QString& WorkDir, const QProcessEnvironment& Env)
{
    return RunProcess(ProgramPath(), Args, WorkDir, Env);
}

bool HasCommand(const QString& Command)
{
    return !QStandardPaths::findExecutable(Command).isEmpty();
}

}  // namespace quorlane::test
