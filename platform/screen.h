#pragma once
#include <QList>
#include <QRect>

namespace kv::platform {

// Inside the primary screen's rectangle from (0, 0) to (width, height),
// right and bottom edges excluded.
bool IsPointOnScreen(int x, int y);

// Inside any connected screen (negative coordinates included).
bool IsPointOnAnyScreen(int x, int y);

// True when the rectangle (left, top, right exclusive, bottom exclusive)
// overlaps some screen of the desktop.
bool IsRectOnAnyScreen(const QRect& r);

// How much of a window's title area (its top strip) must lie on one screen
// for a stored position to count as reachable: enough to see the window and
// take it by its title.
inline constexpr int kTitleAreaVisibleWidth = 100;
inline constexpr int kTitleAreaVisibleHeight = 50;

// True when at least kTitleAreaVisibleWidth x kTitleAreaVisibleHeight pixels
// of the window's top strip (its whole width, if narrower) lie on one of the
// screens; a window left with a sliver on a screen counts as off screen.
bool IsTitleAreaOnScreens(const QRect& window, const QList<QRect>& screens);
// The same for the connected screens.
bool IsTitleAreaOnAnyScreen(const QRect& window);

// The bounding rectangle of all screens.
QRect DesktopRect();

}  // namespace kv::platform
