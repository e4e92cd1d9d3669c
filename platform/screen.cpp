#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace kv::platform {

bool IsPointOnScreen(int x, int y) {
  const QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return false;
  const QSize size = s->geometry().size();
  return x >= 0 && y >= 0 && x < size.width() && y < size.height();
}

bool IsPointOnAnyScreen(int x, int y) {
  for (const QScreen* s : QGuiApplication::screens())
    if (s->geometry().contains(x, y)) return true;
  return false;
}

bool IsRectOnAnyScreen(const QRect& r) {
  if (r.isEmpty()) return false;
  for (const QScreen* s : QGuiApplication::screens())
    if (s->geometry().intersects(r)) return true;
  return false;
}

bool IsTitleAreaOnScreens(const QRect& window, const QList<QRect>& screens) {
  if (window.isEmpty()) return false;
  const QRect title(window.left(), window.top(), window.width(),
                    std::min(window.height(), kTitleAreaVisibleHeight));
  const int needW = std::min(title.width(), kTitleAreaVisibleWidth);
  for (const QRect& s : screens) {
    const QRect on = s.intersected(title);
    if (on.width() >= needW && on.height() >= title.height()) return true;
  }
  return false;
}

bool IsTitleAreaOnAnyScreen(const QRect& window) {
  QList<QRect> all;
  for (const QScreen* s : QGuiApplication::screens()) all.push_back(s->geometry());
  return IsTitleAreaOnScreens(window, all);
}

QRect DesktopRect() {
  QRect all;
  for (const QScreen* s : QGuiApplication::screens()) all = all.united(s->geometry());
  return all;
}

}  // namespace kv::platform
