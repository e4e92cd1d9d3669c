#pragma once
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

// The bounding rectangle of all screens.
QRect DesktopRect();

}  // namespace kv::platform
