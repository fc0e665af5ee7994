#include "app/OpenFromCommandLine.h"

#include "app/MainForm.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

QString PathsLeftOutText(int PathsGiven)
{
    return QStringLiteral("Only the first two of the %1 items given are compared.").arg(PathsGiven);
}

void ComparePathsOnShow(TfrmMain& Window, const QString& Left, const QString& Right, int PathsGiven)
{
    Window.cmbLeft->setEditText(Left);
    Window.cmbRight->setEditText(Right);
    QPointer<TfrmMain> Shown(&Window);
    if (Right.isEmpty()) {
        // Queued, like the comparison: the window is active by then, so the focus shows.
        QTimer::singleShot(0, &Window, [Shown] {
            if (Shown)
                Shown->cmbRight->setFocus(Qt::OtherFocusReason);
        });
        return;
    }
    // Queued: the comparison's boxes then open over a window that is already on screen.
    QTimer::singleShot(0, &Window, [Shown, PathsGiven] {
        if (!Shown)
            return;
        Shown->btnCompare->click();
        if (Shown && PathsGiven > 2) {
            const QString Status = Shown->lblStatus->text();
            Shown->SetStatus(PathsLeftOutText(PathsGiven)
                             + (Status == QLatin1String("Ready.") ? QString() : QLatin1Char(' ') + Status));
        }
    });
}
