// The view's pointer tools: scroll drag, zoom clicks and rectangles,
// measuring, hit tests on registrations, the logo and the corner icons,
// and the cursor each point calls for.
#include "viewer/model/viewer_view.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "foundation/core/util/encoding.h"
#include "foundation/core/util/text.h"
#include "kvi/hit_test.h"
#include "viewer/model/adjust.h"

namespace kv::viewer {

ClientRect KovalindraView::HotIconRect(int32_t logicalX) const {
  auto d = [this](int32_t v) { return TruncToInt(std::lround(v * deviceRatio_)); };
  return {d(logicalX), d(kHotIconY), d(logicalX + kHotIconSide), d(kHotIconY + kHotIconSide)};
}

std::optional<ClientRect> KovalindraView::SelectionRect() const {
  if (!selecting_) return std::nullopt;
  return ClientRect{std::min(anchorX_, endX_), std::min(anchorY_, endY_),
                    std::max(anchorX_, endX_), std::max(anchorY_, endY_)};
}

int KovalindraView::HitTestRegistrationAt(int32_t x, int32_t y, int32_t& px, int32_t& py,
                                          int32_t& index) const {
  if (!scale_.HasScale()) return 0;
  const int32_t qx = scale_.PhotoX(x), qy = scale_.PhotoY(y);
  RegistrationHit hit;
  if (HitTestRegistrationEnd(doc_.Registrations(), qx, qy, hit)) {
    px = hit.endFlag ? hit.registration.endX : hit.registration.startX;
    py = hit.endFlag ? hit.registration.endY : hit.registration.startY;
    index = int32_t(hit.index);
    return 10;
  }
  if (HitTestRegistrationLine(doc_.Registrations(), qx, qy, hit)) {
    px = qx;
    py = qy;
    index = int32_t(hit.index);
    return 11;
  }
  return 0;
}

bool KovalindraView::InLogo(int32_t x, int32_t y) const {
  const int32_t lw = doc_.LogoWidth(), lh = doc_.LogoHeight();
  if (lw <= 0 || lh <= 0) return false;
  const int32_t right = scale_.clientWidth - kLogoMargin;
  return x >= right - lw && x <= right && y >= kLogoMargin && y <= lh + kLogoMargin;
}

void KovalindraView::OnLeftButtonDown(int32_t x, int32_t y) {
  if (dragging_ || selecting_ || measures_.Dragging()) OnCaptureLost();
  int32_t px = 0, py = 0, index = doc_.currentPoint;
  // Measuring takes a registration's end as a place to measure from, not as
  // a point to switch to.
  if (doc_.mouseMode != kMouseMeasure && HitTestRegistrationAt(x, y, px, py, index)) {
    SelectRealSizePoint(index);
    return;
  }
  if (InLogo(x, y)) {
    if (host_ && !doc_.Link().empty())
      if (const std::optional<std::string> link = Cp932ToUtf8(doc_.Link())) host_->OpenLink(*link);
    return;
  }
  if (!toolboxShown) {
    if (ShowToolboxIconRect().Contains(x, y)) {
      SetToolboxShown(true);
      return;
    }
    if (ReturnIconRect().Contains(x, y)) {
      SetToolboxShown(true);
      ResetView();
      return;
    }
  }
  switch (doc_.mouseMode) {
    case kMouseScroll:
      dragging_ = true;
      dragStartX_ = x;
      dragStartY_ = y;
      // Where the view really starts, between photo pixels after a drag.
      dragBaseX_ = scale_.originX + (scale_.offsetX < 0 ? -scale_.offsetX / scale_.zoom : 0.0);
      dragBaseY_ = scale_.originY + (scale_.offsetY < 0 ? -scale_.offsetY / scale_.zoom : 0.0);
      break;
    case kCalibrationPending: doc_.CompleteCalibration(x, y, scale_.clientHeight); break;
    case kMouseZoom:
      selecting_ = true;
      anchorX_ = endX_ = x;
      anchorY_ = endY_ = y;
      break;
    case kMouseMeasure: BeginMeasure(x, y); break;
    default: break;
  }
}

void KovalindraView::DragAxis(double exact, int32_t visible, int32_t photo, int32_t& origin,
                              int32_t& offset) const {
  // A photo narrower than the view stays centred.
  if (offset > 0) return;
  const double last = std::max(0.0, double(photo) - visible);
  exact = std::clamp(exact, 0.0, last);
  origin = TruncToInt(std::floor(exact));
  int32_t shift = TruncToInt(std::round((exact - origin) * scale_.zoom));
  if (shift >= DisplayPad() || double(shift) >= scale_.zoom) {
    ++origin;
    shift = 0;
  }
  offset = -shift;
}

void KovalindraView::DragTo(int32_t x, int32_t y) {
  if (!scale_.HasScale()) return;
  // The photo follows the pointer: a movement of n device pixels is n / zoom
  // photo pixels at any scale. The part below one photo pixel is kept as a
  // shift of whole device pixels, so even at a high scale every device
  // pixel of the movement moves the photo.
  const ViewScale before = scale_;
  DragAxis(dragBaseX_ + (double(dragStartX_) - x) / scale_.zoom, scale_.visibleWidth,
           scale_.photoWidth, scale_.originX, scale_.offsetX);
  DragAxis(dragBaseY_ + (double(dragStartY_) - y) / scale_.zoom, scale_.visibleHeight,
           scale_.photoHeight, scale_.originY, scale_.offsetY);
  if (scale_.originX == before.originX && scale_.originY == before.originY &&
      scale_.offsetX == before.offsetX && scale_.offsetY == before.offsetY)
    return;
  Notify(code::kRebuildDisplay);
  Repaint();
}

void KovalindraView::OnMouseMove(int32_t x, int32_t y) {
  if (dragging_) {
    DragTo(x, y);
  } else if (selecting_) {
    if (x == endX_ && y == endY_) return;
    endX_ = x;
    endY_ = y;
    Repaint();  // the band is an overlay: the display image stays
  } else if (measures_.Dragging()) {
    if (const std::optional<PhotoPointF> p = MeasurePointAt(x, y, false)) measures_.MoveTo(*p);
    Repaint();
  }
}

void KovalindraView::OnLeftButtonUp(int32_t x, int32_t y, bool zoomOutModifier) {
  if (dragging_) {
    DragTo(x, y);
    dragging_ = false;
    // The drag showed the plain image; the release always shows the
    // adjusted one, also when the pointer has not moved since the last move.
    Repaint();
    return;
  }
  if (measures_.Dragging()) {
    EndMeasure(x, y);
    return;
  }
  if (!selecting_) return;
  endX_ = x;
  endY_ = y;
  const bool click = std::abs(endX_ - anchorX_) <= kClickSlop && std::abs(endY_ - anchorY_) <= kClickSlop;
  if (!click) {
    ZoomToSelection();
    return;
  }
  selecting_ = false;
  Repaint();
  const std::optional<double> next =
      zoomOutModifier ? ZoomOutStep(scale_.zoom) : ZoomInStep(scale_.zoom);
  if (!next || !scale_.HasScale()) return;
  // Zoom about the clicked photo point: it becomes the centre the step keeps.
  const int32_t px = TruncToInt((double(anchorX_) - scale_.offsetX) / scale_.zoom) + scale_.originX;
  const int32_t py = TruncToInt((double(anchorY_) - scale_.offsetY) / scale_.zoom) + scale_.originY;
  scale_.originX = px - scale_.visibleWidth / 2;
  scale_.originY = py - scale_.visibleHeight / 2;
  zoomOutModifier ? ZoomOut() : ZoomIn();
}

void KovalindraView::ZoomToSelection() {
  KeepChosenScale();
  selecting_ = false;
  Repaint();
  if (!scale_.HasScale()) return;
  const int32_t l = std::min(anchorX_, endX_) - scale_.offsetX;
  const int32_t r = std::max(anchorX_, endX_) - scale_.offsetX;
  const int32_t t = std::min(anchorY_, endY_) - scale_.offsetY;
  const int32_t b = std::max(anchorY_, endY_) - scale_.offsetY;
  const int32_t pl = TruncToInt(l / scale_.zoom) + scale_.originX;
  const int32_t pr = TruncToInt(r / scale_.zoom) + scale_.originX;
  const int32_t pt = TruncToInt(t / scale_.zoom) + scale_.originY;
  const int32_t pb = TruncToInt(b / scale_.zoom) + scale_.originY;
  const double w = double(pr) - pl, h = double(pb) - pt;
  // The client area is what the photo must fill; a rectangle no photo pixel
  // wide or high would need an infinite scale.
  if (w <= 0 || h <= 0 || scale_.clientWidth <= 0 || scale_.clientHeight <= 0) {
    Status(kTooLargeText);
    return;
  }
  const double s = std::min(scale_.clientWidth / w, scale_.clientHeight / h);
  if (!(s <= kMaxRectangleZoom)) {
    Status(kTooLargeText);
    return;
  }
  scale_.zoom = std::clamp(s, kMinScale, kMaxScale);
  ApplyZoom(pl + TruncToInt(w / 2), pt + TruncToInt(h / 2));
}

void KovalindraView::OnCaptureLost() {
  dragging_ = false;
  if (measures_.Dragging()) {
    measures_.Cancel();  // half a measurement says nothing
    Repaint();
  }
  if (selecting_) {
    selecting_ = false;
    Repaint();
  }
}

ViewCursor KovalindraView::CursorAt(int32_t x, int32_t y, bool zoomOutModifier) const {
  if (dragging_) return ViewCursor::Grab;
  if (measures_.Dragging()) return ViewCursor::Measure;
  if (!selecting_) {
    int32_t px = 0, py = 0, index = 0;
    if (doc_.mouseMode != kMouseMeasure && HitTestRegistrationAt(x, y, px, py, index))
      return ViewCursor::Registration;
    if (InLogo(x, y)) return ViewCursor::Logo;
    if (!toolboxShown) {
      if (ShowToolboxIconRect().Contains(x, y)) return ViewCursor::ShowToolboxIcon;
      if (ReturnIconRect().Contains(x, y)) return ViewCursor::ReturnIcon;
    }
  }
  switch (doc_.mouseMode) {
    case kCalibrationPending: return ViewCursor::Calibration;
    case kMouseZoom: return zoomOutModifier ? ViewCursor::ZoomOut : ViewCursor::ZoomIn;
    case kMouseMeasure: return ViewCursor::Measure;
    default: return ViewCursor::Scroll;
  }
}

const MeasureList& KovalindraView::Measurements() const {
  static const MeasureList kNone;
  // Whatever path brought another photo in, lines measured on the old one
  // never show over it.
  return measuredPhoto_ == FileGeneration() ? measures_ : kNone;
}

MeasureScale KovalindraView::CurrentMeasureScale() const {
  return MeasureScaleFor(doc_.Registrations(), doc_.currentPoint);
}

std::vector<MeasureLine> KovalindraView::MeasureOverlay() const {
  return MeasureLines(Measurements(), scale_, CurrentMeasureScale());
}

std::optional<std::string> KovalindraView::LastMeasureText() const {
  const Measurement* last = Measurements().Last();
  if (!last) return std::nullopt;
  return MeasureCaption(*last, CurrentMeasureScale());
}

std::optional<PhotoPointF> KovalindraView::MeasurePointAt(int32_t x, int32_t y,
                                                          bool insideOnly) const {
  if (scale_.photoWidth <= 0 || scale_.photoHeight <= 0) return std::nullopt;
  // The snap distance is a reach of the hand, so it grows with the pixel ratio.
  if (std::optional<PhotoPointF> end = SnapToRegistrationEnd(
          doc_.Registrations(), scale_, x, y, kMeasureSnapRadius * deviceRatio_))
    return end;
  PhotoPointF p = PhotoPointAt(scale_, x, y);
  const double w = scale_.photoWidth, h = scale_.photoHeight;
  if (insideOnly && (p.x < 0 || p.y < 0 || p.x > w || p.y > h)) return std::nullopt;
  p.x = std::clamp(p.x, 0.0, w);
  p.y = std::clamp(p.y, 0.0, h);
  return p;
}

void KovalindraView::BeginMeasure(int32_t x, int32_t y) {
  if (measuredPhoto_ != FileGeneration()) {
    measures_.Clear();
    measuredPhoto_ = FileGeneration();
  }
  // A press on the white around the photo measures nothing.
  const std::optional<PhotoPointF> p = MeasurePointAt(x, y, true);
  if (!p) return;
  measurePressX_ = x;
  measurePressY_ = y;
  measures_.Begin(*p);
  Repaint();
}

void KovalindraView::EndMeasure(int32_t x, int32_t y) {
  const bool click =
      std::abs(x - measurePressX_) <= kClickSlop && std::abs(y - measurePressY_) <= kClickSlop;
  const std::optional<PhotoPointF> p = MeasurePointAt(x, y, false);
  if (click || !p) {
    measures_.Cancel();
  } else if (measures_.End(*p) && host_) {
    host_->SetStatusPaneText(3, *LastMeasureText());
  }
  Repaint();
}

void KovalindraView::FollowMeasureMode() {
  if (doc_.mouseMode == kMouseMeasure) {
    if (host_) {
      host_->SetStatusPaneText(2, MeasureScaleText(CurrentMeasureScale()));
      // Another registration reads the same line another length.
      if (const std::optional<std::string> last = LastMeasureText())
        host_->SetStatusPaneText(3, *last);
    }
    measureStatusShown_ = true;
    return;
  }
  DropMeasurements();
  // Out of measuring, pane 2 tells whether this screen is calibrated.
  if (measureStatusShown_ && host_) host_->SetStatusPaneText(2, CalibrationNote());
  measureStatusShown_ = false;
}

void KovalindraView::DropMeasurements() {
  measures_.Clear();
  // Pane 3 shows the last length only while there is one.
  if (measureStatusShown_ && host_) host_->SetStatusPaneText(3, "");
}

}  // namespace kv::viewer
