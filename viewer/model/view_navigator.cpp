// The view's side of the toolbox navigator: where the photo sits in the
// square, the visible frame and the registrations drawn on it, and dragging.
#include "viewer/model/viewer_view.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "foundation/core/util/encoding.h"
#include "foundation/core/util/text.h"
#include "kvi/hit_test.h"
#include "viewer/model/adjust.h"

namespace kv::viewer {

NavigatorGeometry ComputeNavigator(int32_t w, int32_t h, int32_t tw, int32_t th) {
  return PlaceInThumbnail(w, h, tw, th).value_or(NavigatorGeometry{});
}

bool KovalindraView::OnNavigatorPress(int32_t x, int32_t y) {
  if (x <= 0 || y <= 0 || x >= kThumbnailSide || y >= kThumbnailSide) return false;
  if (dragging_ || selecting_) OnCaptureLost();
  navDragging_ = true;
  CentreOnNavigatorPoint(x, y);
  return true;
}

void KovalindraView::OnNavigatorMove(int32_t x, int32_t y) {
  if (!navDragging_) return;
  if (x <= 0 || y <= 0 || x >= kThumbnailSide || y >= kThumbnailSide) return;
  CentreOnNavigatorPoint(x, y);
}

void KovalindraView::OnNavigatorRelease(int32_t x, int32_t y) {
  if (!navDragging_) return;
  navDragging_ = false;
  CentreOnNavigatorPoint(x, y);
  Repaint();  // now with the adjustment
}

void KovalindraView::CentreOnNavigatorPoint(int32_t x, int32_t y) {
  SyncPhotoSize();
  const NavigatorGeometry& g = navigator_;
  scale_.originX = TruncToInt((x - g.offsetX) * g.scale - scale_.visibleWidth / 2);
  scale_.originY = TruncToInt((y - g.offsetY) * g.scale - scale_.visibleHeight / 2);
  scale_.ClampOrigin();
  Notify(code::kRebuildDisplay);
  Repaint();
}

NavigatorFrame KovalindraView::NavigatorVisibleFrame() const {
  const NavigatorGeometry& g = navigator_;
  const ViewScale& s = scale_;
  NavigatorFrame f;
  if (!s.HasScale() || !(g.scale > 0)) return f;
  // The whole client area, margins included, when the photo is smaller.
  const double mx = s.offsetX / s.zoom, my = s.offsetY / s.zoom;
  f.left = TruncToInt((s.originX - mx) / g.scale) + g.offsetX;
  f.top = TruncToInt((s.originY - my) / g.scale) + g.offsetY;
  f.right = TruncToInt((s.originX + s.visibleWidth - mx) / g.scale) + g.offsetX;
  f.bottom = TruncToInt((s.originY + s.visibleHeight - my) / g.scale) + g.offsetY;
  f.drawTop = f.top > 0;
  f.drawLeft = f.left > 0;
  f.drawBottom = f.bottom < kThumbnailSide;
  f.drawRight = f.right < kThumbnailSide;
  return f;
}

std::vector<NavigatorLine> KovalindraView::NavigatorLines() const {
  std::vector<NavigatorLine> out;
  const NavigatorGeometry& g = navigator_;
  if (!(g.scale > 0)) return out;
  const RegistrationList& regs = doc_.Registrations();
  for (size_t i = 0; i < regs.size(); ++i) {
    const SizeRegistration& r = regs[i];
    const bool current = int64_t(i) == doc_.currentPoint && IsRealSize();
    out.push_back({TruncToInt(r.startX / g.scale) + g.offsetX,
                   TruncToInt(r.startY / g.scale) + g.offsetY,
                   TruncToInt(r.endX / g.scale) + g.offsetX, TruncToInt(r.endY / g.scale) + g.offsetY,
                   current ? kCurrentGuideColor : kOtherGuideColor});
  }
  return out;
}

}  // namespace kv::viewer
