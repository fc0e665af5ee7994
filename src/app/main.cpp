#include "app/MainForm.h"
#include "update/NewVersionCheck.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorlane"));

    // Before any window exists: an update that must be installed ends the program here, so no
    // settings are read or written.
    if (CheckForNewVersion() && ShowNewVersionDialog() == TUpdateOutcome::EndProgram)
        return 0;

    TfrmMain frmMain;
    frmMain.show();
    return App.exec();
}
