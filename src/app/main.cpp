#include "app/MainForm.h"
#include "app/OpenFromCommandLine.h"
#include "cli/CommandLine.h"
#include "text/PathBytes.h"
#include "mergewin/MergeForm.h"
#include "update/NewVersionCheck.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPointer>

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

    if (Command.MergeWindow)
        return RunMergeWindow({Command.Left, Command.Base, Command.Right, Command.Output});

    // Pairs opened from folder rows are further windows of this process, which ends with the last
    // one: whoever waits for the program (git difftool -d) waits for all of them. Each window goes
    // (and writes its settings) when it is closed, so the settings follow the order of closing.
    QApplication::setQuitOnLastWindowClosed(true);
    auto* frmMain = new TfrmMain;
    frmMain->setAttribute(Qt::WA_DeleteOnClose);
    frmMain->show();
    if (Command.HasPaths())
        ComparePathsOnShow(*frmMain, Command.Left, Command.Right, Command.PathsGiven);
    const int Status = App.exec();
    // The window closed last is only marked for deletion; any other still open goes now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<QPointer<TfrmMain>> Open;
    for (QWidget* Window : QApplication::topLevelWidgets())
        if (auto* Main = qobject_cast<TfrmMain*>(Window))
            Open.append(Main);
    for (const QPointer<TfrmMain>& Window : Open)
        delete Window.data();
    return Status;
}
