#include "app/OpenFromCommandLine.h"

#include "app/MainForm.h"

#include <QComboBox>
#include <QTimer>
#include <QToolButton>

void ComparePathsOnShow(TfrmMain& Window, const QString& Left, const QString& Right)
{
    Window.cmbLeft->setEditText(Left);
    Window.cmbRight->setEditText(Right);
    // Queued: the comparison's boxes then open over a window that is already on screen.
    QTimer::singleShot(0, Window.btnCompare, &QToolButton::click);
}
