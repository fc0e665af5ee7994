#pragma once

// Where the main window goes on the displays: plain functions over rectangles.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Without a settings file: the middle of the screen, round(ScreenWidth / 2) - round(Width / 2)
// (and likewise down), halves rounded to even.
[[nodiscard]] QPoint CentredOnScreen(const QSize& ScreenSize, const QSize& WindowSize);

// At first show: centred on the work area, (area - window) div 2 truncating toward zero, then
// raised to at least the area's left and top edges so the title bar stays reachable.
[[nodiscard]] QPoint CentredOnWorkArea(const QRect& WorkArea, const QSize& WindowSize);

// The size a window of WindowSize, whose frame is FrameSize, gets on WorkArea: its own where it
// fits, the work area less the frame where it does not.
[[nodiscard]] QSize FittedToWorkArea(const QRect& WorkArea, const QSize& FrameSize, const QSize& WindowSize);

// The display a window rectangle belongs to: the one it overlaps most, or when it overlaps none,
// the one nearest to it. -1 when there are no displays.
[[nodiscard]] qsizetype NearestDisplay(const QList<QRect>& Displays, const QRect& Window);

// A second window opened from Opener (its frame): Step pixels right of and below it, as big as it
// but never bigger than the work area less one step, and kept on the work area. Its top-left
// corner never lands on the opener's, so the new window never hides the opener exactly.
[[nodiscard]] QRect CascadedFrom(const QRect& Opener, const QRect& WorkArea, int Step);
