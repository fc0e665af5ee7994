#include "app/WindowPlacement.h"

#include "grid/RowHeights.h"

#include <limits>

QPoint CentredOnScreen(const QSize& ScreenSize, const QSize& WindowSize)
{
    return {RoundHalfToEven(ScreenSize.width() / 2.0) - RoundHalfToEven(WindowSize.width() / 2.0),
            RoundHalfToEven(ScreenSize.height() / 2.0) - RoundHalfToEven(WindowSize.height() / 2.0)};
}

QPoint CentredOnWorkArea(const QRect& WorkArea, const QSize& WindowSize)
{
    const int X = WorkArea.left() + (WorkArea.width() - WindowSize.width()) / 2;
    const int Y = WorkArea.top() + (WorkArea.height() - WindowSize.height()) / 2;
    return {qMax(X, WorkArea.left()), qMax(Y, WorkArea.top())};
}

QSize FittedToWorkArea(const QRect& WorkArea, const QSize& FrameSize, const QSize& WindowSize)
{
    const QSize Decoration = (FrameSize - WindowSize).expandedTo(QSize(0, 0));
    return WindowSize.boundedTo(WorkArea.size() - Decoration).expandedTo(QSize(1, 1));
}

namespace {

// The gap between two spans along one axis; 0 when they meet or overlap.
[[nodiscard]] qint64 Gap(qint64 A1, qint64 A2, qint64 B1, qint64 B2)
{
    return A2 < B1 ? B1 - A2 : B2 < A1 ? A1 - B2 : 0;
}

}   // namespace

qsizetype NearestDisplay(const QList<QRect>& Displays, const QRect& Window)
{
    qsizetype Best = -1;
    qint64 BestArea = 0;
    for (qsizetype I = 0; I < Displays.size(); ++I) {
        const QRect Common = Displays[I].intersected(Window);
        const qint64 Area = qint64(Common.width()) * Common.height();
        if (Area > BestArea) {
            BestArea = Area;
            Best = I;
        }
    }
    if (Best >= 0)
        return Best;
    qint64 BestDistance = std::numeric_limits<qint64>::max();
    for (qsizetype I = 0; I < Displays.size(); ++I) {
        const QRect& D = Displays[I];
        const qint64 Dx = Gap(Window.left(), Window.right(), D.left(), D.right());
        const qint64 Dy = Gap(Window.top(), Window.bottom(), D.top(), D.bottom());
        const qint64 Distance = Dx * Dx + Dy * Dy;
        if (Distance < BestDistance) {
            BestDistance = Distance;
            Best = I;
        }
    }
    return Best;
}

QRect CascadedFrom(const QRect& Opener, const QRect& WorkArea, int Step)
{
    const QSize Size(qMin(Opener.width(), WorkArea.width() - Step), qMin(Opener.height(), WorkArea.height() - Step));
    QPoint Corner = Opener.topLeft() + QPoint(Step, Step);
    // Past the right or bottom edge it goes back to touch that edge.
    Corner.setX(qMax(WorkArea.left(), qMin(Corner.x(), WorkArea.left() + WorkArea.width() - Size.width())));
    Corner.setY(qMax(WorkArea.top(), qMin(Corner.y(), WorkArea.top() + WorkArea.height() - Size.height())));
    if (Corner == Opener.topLeft())
        Corner = QPoint(qMax(WorkArea.left(), Opener.left() - Step), qMax(WorkArea.top(), Opener.top() - Step));
    return QRect(Corner, Size);
}
