#include "app/MainForm.h"
#include "app/OpenFromCommandLine.h"
#include "cli/CommandLine.h"
#include "mergewin/MergeForm.h"
#include "update/NewVersionCheck.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <cstdlib>

namespace {

// The arguments are read before any application object exists, so help, version, usage errors
// and the headless diff need no display.
[[nodiscard]] TCommandLine ReadCommandLine(int argc, char* argv[])
{
    QStringList Args;
    for (int I = 1; I < argc; ++I)
        Args.append(QString::fromLocal8Bit(argv[I]));
    return ParseCommandLine(Args, QDir::currentPath());
}

}   // namespace

int main(int argc, char* argv[])
{
    const TCommandLine Command = ReadCommandLine(argc, argv);
    if (Command.Mode != TRunMode::Window)
        std::_Exit(RunWithoutWindow(Command));   // output is flushed; nothing else to tear down

    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlane"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopEntryName));

    // Before any window exists: an update that must be installed ends the program here, so no
    // settings are read or written.
    if (RunStartUpVersionCheck() == TUpdateOutcome::EndProgram)
        return 0;

    if (Command.MergeWindow)
        return RunMergeWindow({Command.Left, Command.Base, Command.Right, Command.Output});

    TfrmMain frmMain;
    frmMain.show();
    if (Command.HasPaths())
        ComparePathsOnShow(frmMain, Command.Left, Command.Right);
    return App.exec();
}
