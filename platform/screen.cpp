#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>

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

QRect DesktopRect() {
  QRect all;
  for (const QScreen* s : QGuiApplication::screens()) all = all.united(s->geometry());
  return all;
}

}  // namespace kv::platform
