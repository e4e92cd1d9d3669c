#include "foundation/shell/persistent_frame.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

#include "platform/screen.h"

namespace kv::shell {
namespace {

QRect ToQRect(const kv::Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

kv::Rect FromQRect(const QRect& r) {
  return kv::Rect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

}  // namespace

PlacementRecord PlacementToRecord(const WindowPlacement& p) {
  PlacementRecord rec;
  rec.rect = kv::RectToText(p.normal.left, p.normal.top, p.normal.right, p.normal.bottom);
  switch (p.state) {
    case ShowState::Normal: rec.icon = 0; rec.max = 0; break;
    case ShowState::Maximised: rec.icon = 0; rec.max = 1; break;
    case ShowState::Minimised: rec.icon = 1; rec.max = p.restoreMaximised ? 1 : 0; break;
  }
  return rec;
}

WindowPlacement PlacementFromRecord(ProgramKind kind, std::string_view rectText, int32_t icon,
                                    int32_t max, const kv::Rect& desktop,
                                    const std::function<bool(const kv::Rect&)>& onSomeScreen) {
  WindowPlacement p;
  p.normal = rectText.empty() ? kDefaultFrameRect : kv::TextToRect(rectText);

  bool minimised = false, maximised = false;
  if (kind == ProgramKind::Viewer) {
    minimised = icon == 1;
    maximised = icon != 1 && max == 1;
  } else {
    minimised = icon != 0;
    maximised = icon == 0 && max != 0;
  }
  if (minimised) {
    p.state = ShowState::Minimised;
    p.restoreMaximised = max != 0;
  } else if (maximised) {
    p.state = ShowState::Maximised;
    p.restoreMaximised = true;
  }

  // Judged as stored: the clamping below would shrink a window left mostly
  // off screen into a sliver that then seems to be on it.
  const bool reachable = !onSomeScreen || onSomeScreen(p.normal);
  if (kind == ProgramKind::Viewer) {
    p.normal.left = std::max(p.normal.left, std::max(desktop.left, 0));
    p.normal.top = std::max(p.normal.top, std::max(desktop.top, 0));
    p.normal.right = std::min(p.normal.right, desktop.right);
    p.normal.bottom = std::min(p.normal.bottom, desktop.bottom);
  }
  // A rectangle without area, or one left on a screen that is gone, would
  // open a window nobody can see or reach.
  if (p.normal.Width() <= 0 || p.normal.Height() <= 0 || !reachable) p.normal = kDefaultFrameRect;
  return p;
}

PersistentFrame::PersistentFrame(ProgramKind kind, platform::Profile* profile, QWidget* parent)
    : QMainWindow(parent), kind_(kind), profile_(profile) {}

PersistentFrame::~PersistentFrame() = default;

WindowPlacement PersistentFrame::CurrentPlacement() const {
  WindowPlacement p;
  const Qt::WindowStates st = windowState();
  const bool special = st & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen);
  p.normal = FromQRect(special ? normalGeometry() : geometry());
  if (p.normal.Width() <= 0 || p.normal.Height() <= 0) p.normal = FromQRect(geometry());
  if (st & Qt::WindowMinimized) {
    p.state = ShowState::Minimised;
    p.restoreMaximised = (st & Qt::WindowMaximized) != 0;
  } else if (st & Qt::WindowMaximized) {
    p.state = ShowState::Maximised;
    p.restoreMaximised = true;
  }
  return p;
}

void PersistentFrame::SavePlacement() {
  if (!profile_) return;
  const PlacementRecord rec = PlacementToRecord(CurrentPlacement());
  profile_->WriteString(kPlacementSection, "Rect", rec.rect);
  profile_->WriteInt(kPlacementSection, "icon", rec.icon);
  profile_->WriteInt(kPlacementSection, "max", rec.max);
}

void PersistentFrame::ActivateFrame() {
  if (!firstActivation_) {
    show();
    raise();
    activateWindow();
    return;
  }
  firstActivation_ = false;
  const std::string rectText = profile_ ? profile_->GetString(kPlacementSection, "Rect", "") : "";
  const int32_t icon = profile_ ? profile_->GetInt(kPlacementSection, "icon", 0) : 0;
  const int32_t max = profile_ ? profile_->GetInt(kPlacementSection, "max", 0) : 0;
  // The viewer keeps its frame on the primary screen, as the desktop window
  // of the program's original platform is the primary screen.
  const QScreen* primary = QGuiApplication::primaryScreen();
  const QRect desk = primary ? primary->geometry() : QRect();
  const kv::Rect desktop = desk.isEmpty() ? kv::Rect{0, 0, 1 << 20, 1 << 20} : FromQRect(desk);
  const WindowPlacement p = PlacementFromRecord(
      kind_, rectText, icon, max, desktop,
      [](const kv::Rect& r) { return platform::IsTitleAreaOnAnyScreen(ToQRect(r)); });

  setGeometry(ToQRect(p.normal));
  switch (p.state) {
    case ShowState::Normal:
      setWindowState(Qt::WindowNoState);
      show();
      break;
    case ShowState::Maximised:
      setWindowState(Qt::WindowMaximized);
      show();
      break;
    case ShowState::Minimised: {
      // Minimised without taking the focus.
      setAttribute(Qt::WA_ShowWithoutActivating, true);
      setWindowState(p.restoreMaximised ? (Qt::WindowMinimized | Qt::WindowMaximized)
                                        : Qt::WindowMinimized);
      show();
      setAttribute(Qt::WA_ShowWithoutActivating, false);
      break;
    }
  }
}

void PersistentFrame::closeEvent(QCloseEvent* event) {
  if (!QueryClose()) {
    event->ignore();
    return;
  }
  SavePlacement();
  OnClosing();
  event->accept();
}

}  // namespace kv::shell
