#include "app/MainForm.h"
#include "app/OpenFromCommandLine.h"
#include "cli/CommandLine.h"
#include "text/PathBytes.h"
#include "update/NewVersionCheck.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// The arguments are read before any application object exists, so help, version, usage errors
// and the headless diff need no display.
[[nodiscard]] TCommandLine ReadCommandLine(int argc, char* argv[])
{
    // PathFromBytes, not the locale: a file name that is not UTF-8 keeps its bytes.
    QStringList Args;
    for (int I = 1; I < argc; ++I)
        Args.append(PathFromBytes(argv[I]));
    char* Here = ::getcwd(nullptr, 0);
    const QString CurrentFolder = Here ? PathFromBytes(Here) : QDir::currentPath();
    std::free(Here);
    return ParseCommandLine(Args, CurrentFolder);
}

}   // namespace

int main(int argc, char* argv[])
{
    const TCommandLine Command = ReadCommandLine(argc, argv);
    if (Command.Mode != TRunMode::Window)
        std::_Exit(RunWithoutWindow(Command));   // output is flushed; nothing else to tear down
    if (!GraphicalDisplayAvailable()) {
        std::fprintf(stderr, "%s\n", NoDisplayText);
        return ExitTrouble;
    }

    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlane"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopEntryName));

    // Before any window exists: an update that must be installed ends the program here, so no
    // settings are read or written.
    if (RunStartUpVersionCheck() == TUpdateOutcome::EndProgram)
        return 0;

    TfrmMain frmMain;
    frmMain.show();
    if (Command.HasPaths())
        ComparePathsOnShow(frmMain, Command.Left, Command.Right);
    return App.exec();
}
