#include "app/PairWindow.h"

#include "app/MainForm.h"
#include "app/OpenFromCommandLine.h"
#include "app/WindowPlacement.h"
#include "settings/SettingsRecord.h"

#include <QApplication>
#include <QScreen>

namespace {

constexpr int CascadeStep = 32;

// Each further window one step further, so pairs opened one after another do not cover each
// other either; after eight steps it starts again.
[[nodiscard]] int CascadeSteps()
{
    int Shown = 0;
    for (QWidget* Top : QApplication::topLevelWidgets())
        if (qobject_cast<TfrmMain*>(Top) && Top->isVisible())
            ++Shown;
    return 1 + (qMax(0, Shown - 1) % 8);
}

}   // namespace

TfrmMain* OpenPairWindow(TfrmMain& Opener, const QString& Left, const QString& Right)
{
    auto* Pair = new TfrmMain(Opener.Platform);
    Pair->setAttribute(Qt::WA_DeleteOnClose);
    Pair->FKeepsStoredPlacement = true;

    // What the opener shows may not be on file yet (a settings change, a history entry).
    TSettingsRecord Look = Opener.SettingsFromWindow();
    Look.Maximized = false;
    const QRect OpenerArea = Opener.isMaximized() || Opener.isFullScreen() ? Opener.normalGeometry() : Opener.geometry();
    if (OpenerArea.isValid()) {
        Look.Width = OpenerArea.width();
        Look.Height = OpenerArea.height();
    }
    Pair->ApplySettings(DecodeSettings(EncodeSettings(Look)));

    // Where things come from, as the opener has them.
    Pair->FTikaEndpoint = Opener.FTikaEndpoint;
    Pair->FTikaReadTimeoutMs = Opener.FTikaReadTimeoutMs;
    Pair->FTikaDeadlineMs = Opener.FTikaDeadlineMs;
    Pair->FTikaAnswerLimitBytes = Opener.FTikaAnswerLimitBytes;
    Pair->FTikaServerStartMs = Opener.FTikaServerStartMs;
    Pair->FFindTikaServerFiles = Opener.FFindTikaServerFiles;

    // The frame's extras (title bar, borders) as the opener's window manager draws them.
    const QRect OpenerFrame = Opener.frameGeometry();
    const QSize Extras = OpenerFrame.size() - Opener.geometry().size();
    const QScreen* Screen = Opener.screen() ? Opener.screen() : QGuiApplication::primaryScreen();
    const QRect WorkArea = Screen ? Screen->availableGeometry() : OpenerFrame;
    const QRect Frame = CascadedFrom(QRect(OpenerFrame.topLeft(), Pair->size() + Extras), WorkArea,
                                     CascadeStep * CascadeSteps());
    Pair->resize(Frame.size() - Extras);
    Pair->move(Frame.topLeft());

    Pair->show();
    // In front, and the active window when its comparison's boxes open.
    Pair->raise();
    Pair->activateWindow();
    // At once, not when the window manager's focus arrives: the comparison's boxes take the
    // active window as their parent, and closing them must give the keys back to the pair.
    QApplication::setActiveWindow(Pair);
    ComparePathsOnShow(*Pair, Left, Right);
    return Pair;
}
