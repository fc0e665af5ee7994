#pragma once
// Runs the real quorlane executable (QUORLANE_EXE) as a user's shell would, for process tests.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace quorlane::test {

struct TProgramRun {
    int ExitCode = -1;
    bool Crashed = false;
    QByteArray Out, Err;
};

// The program under test; fails the test run through qFatal when QUORLANE_EXE is not set.
[[nodiscard]] QString ProgramPath();

// An environment without a display: a program that tried to open a window would fail.
[[nodiscard]] QProcessEnvironment HeadlessEnvironment();

// Runs Program with Args in WorkDir, waits at most TimeoutMs; Input goes to its stdin.
[[nodiscard]] TProgramRun RunProcess(const QString& Program, const QStringList& Args,
                                     const QString& WorkDir = QString(),
                                     const QProcessEnvironment& Env = HeadlessEnvironment(),
                                     int TimeoutMs = 60000, const QByteArray& Input = QByteArray());

// RunProcess of the program under test.
[[nodiscard]] TProgramRun RunQuorlane(const QStringList& Args, const QString& WorkDir = QString(),
                                      const QProcessEnvironment& Env = HeadlessEnvironment());

// True when Command is found on PATH.
[[nodiscard]] bool HasCommand(const QString& Command);

}  // namespace quorlane::test
