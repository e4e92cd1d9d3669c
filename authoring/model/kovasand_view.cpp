#include "authoring/model/kovasand_view.h"

#include <algorithm>
#include <cmath>

#include "foundation/core/util/geometry.h"
#include "foundation/core/util/text.h"

namespace kv::authoring {
namespace {

// Doubles from hostile registrations stay far inside the 32-bit range
// before they are truncated.
int32_t TruncToInt(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(v, -1.0e9, 1.0e9));
}

std::string PointText(int32_t x, int32_t y) {
  return "(" + IntToText(x) + "," + IntToText(y) + ")";
}

}  // namespace

// --- navigator ---------------------------------------------------------------

IntPoint NavigatorMapping::PhotoToThumb(int32_t x, int32_t y) const {
  return {TruncToInt(double(x) / navScale) + navOffsetX, TruncToInt(double(y) / navScale) + navOffsetY};
}

NavigatorMapping ComputeNavigatorMapping(int32_t w, int32_t h) {
  NavigatorMapping m;
  if (w <= 0 || h <= 0) return m;
  const int64_t side = kThumbnailSide;
  if (1.0 <= double(w) / double(h)) {
    m.navScale = double(w) / double(side);
    m.navOffsetY = int32_t((side - (side * h) / w) / 2);
  } else {
    m.navScale = double(h) / double(side);
    m.navOffsetX = int32_t((side - (side * w) / h) / 2);
  }
  return m;
}

ListRow MakeListRow(const SizeRegistration& r, size_t position) {
  return ListRow{IntToText(int32_t(position + 1)), PointText(r.startX, r.startY),
                 PointText(r.endX, r.endY), IntToText(r.lengthMm), PointText(r.centerX, r.centerY)};
}

// --- view --------------------------------------------------------------------

KovasandView::KovasandView(KovasandDoc& doc, KovasandViewHost& host) : doc_(doc), host_(host) {
  doc_.AddView(this);
}

KovasandView::~KovasandView() { doc_.RemoveView(this); }

void KovasandView::OnInitialUpdate() {
  bool loaded = false;
  if (!doc_.jpegPath.empty()) {
    if (doc_.LoadJpeg(doc_.jpegPath) == 1) {
      loaded = true;
    } else {
      doc_.Tell(doc_.jpegPath + text::kPhotoNotFound);
    }
  }
  if (loaded) {
    doc_.NotifyViews("", code::kThumbnail);
    doc_.NotifyViews("", code::kDisplay);
  } else {
    // No photo of the previous project may survive under this one's
    // registrations: the document and the display both drop it. A missing
    // photo keeps its path, so saving again still names it.
    doc_.ClearPhoto(!doc_.jpegPath.empty());
    nav_ = NavigatorMapping{};
    scrollX_ = scrollY_ = 0;
    RebuildDisplay();
    doc_.NotifyViews("", code::kRedrawNavigator);
  }
  initialised_ = true;
  host_.RefillList();
}

void KovasandView::OnNotify(const std::string&, int c) {
  switch (c) {
    case code::kRepaint: host_.InvalidateView(); break;
    case code::kRedrawNavigator: host_.RedrawNavigator(); break;
    case code::kThumbnail:
      doc_.scaler.ResampleToThumbnail(doc_.image, doc_.thumbnail.image);
      nav_ = doc_.image.HasImage() ? ComputeNavigatorMapping(doc_.image.width, doc_.image.height)
                                   : NavigatorMapping{};
      host_.RedrawNavigator();
      break;
    case code::kDisplay: RebuildDisplay(); break;
    case code::kListChanged: host_.RefillList(); break;
    default: break;
  }
}

void KovasandView::SetClientSize(int32_t width, int32_t height) {
  clientWidth_ = std::max(0, width);
  clientHeight_ = std::max(0, height);
  if (!initialised_) return;
  doc_.NotifyViews("", code::kDisplay);
  doc_.NotifyViews("", code::kRedrawNavigator);
}

void KovasandView::RebuildDisplay() {
  const bool photo = doc_.image.HasImage();
  const int32_t pw = photo ? doc_.image.width : 0;
  const int32_t ph = photo ? doc_.image.height : 0;
  displayWidth_ = std::max(pw, clientWidth_);
  displayHeight_ = std::max(ph, clientHeight_);
  displayOffsetX_ = pw < clientWidth_ ? (clientWidth_ - pw) / 2 : 0;
  displayOffsetY_ = ph < clientHeight_ ? (clientHeight_ - ph) / 2 : 0;
  SetScroll(scrollX_, scrollY_);
  host_.ScrollRangeChanged();
  host_.InvalidateView();
}

int32_t KovasandView::MaxScrollX() const { return std::max(0, displayWidth_ - clientWidth_); }
int32_t KovasandView::MaxScrollY() const { return std::max(0, displayHeight_ - clientHeight_); }

void KovasandView::SetScroll(int32_t x, int32_t y) {
  scrollX_ = std::clamp(x, 0, MaxScrollX());
  scrollY_ = std::clamp(y, 0, MaxScrollY());
}

IntPoint KovasandView::ClientToPhoto(int32_t px, int32_t py) const {
  return {px + scrollX_ - displayOffsetX_, py + scrollY_ - displayOffsetY_};
}

IntPoint KovasandView::PhotoToClient(int32_t x, int32_t y) const {
  return {x + displayOffsetX_ - scrollX_, y + displayOffsetY_ - scrollY_};
}

void KovasandView::OnLeftButtonDown(int32_t px, int32_t py) {
  const IntPoint p = ClientToPhoto(px, py);
  if (doc_.drawMode == kDrawStart) {
    const std::string why = doc_.CheckPoint(p.x, p.y);
    if (!why.empty()) {
      doc_.Tell(why);
      return;
    }
    pending_ = SizeRegistration{};
    pending_.startX = p.x;
    pending_.startY = p.y;
    doc_.drawMode = kDrawEnd;
    host_.InvalidateView();
    host_.RedrawNavigator();
    return;
  }
  if (doc_.drawMode != kDrawEnd) return;
  std::string why = doc_.CheckPoint(p.x, p.y);
  if (why.empty() && p.x == pending_.startX && p.y == pending_.startY)
    why = "始点と同じ位置です。終点は始点から離れた位置をｸﾘｯｸして下さい。";
  if (!why.empty()) {
    // The start point stays; the user clicks the end again.
    doc_.Tell(why);
    return;
  }
  pending_ = MakeRegistration(pending_.startX, pending_.startY, p.x, p.y, 0);
  doc_.drawMode = kDrawIdle;
  host_.InvalidateView();
  host_.RedrawNavigator();
  const int32_t imageLength =
      TruncToInt(PointDistance(pending_.startX, pending_.startY, pending_.endX, pending_.endY));
  const std::optional<int32_t> measured = host_.AskMeasuredLength(imageLength);
  if (!measured) return;
  SizeRegistration r = pending_;
  r.lengthMm = *measured;
  doc_.AddRegistration(r);
}

void KovasandView::OnRightButtonDown() {
  if (doc_.drawMode == kDrawIdle) return;
  doc_.drawMode = kDrawIdle;
  host_.InvalidateView();
  // The navigator shows the pending start point too.
  host_.RedrawNavigator();
}

VisibleFrame KovasandView::NavigatorFrame() const {
  VisibleFrame f;
  if (!doc_.image.HasImage()) return f;
  // The window's part of the photo, in thumbnail pixels. An edge is drawn
  // only where it cuts the photo: with the whole photo in view, or along an
  // axis where it is, there is nothing to frame.
  const IntPoint topLeft = ClientToPhoto(0, 0);
  const IntPoint bottomRight = ClientToPhoto(clientWidth_, clientHeight_);
  const IntPoint a = nav_.PhotoToThumb(topLeft.x, topLeft.y);
  const IntPoint b = nav_.PhotoToThumb(bottomRight.x, bottomRight.y);
  const IntPoint end = nav_.PhotoToThumb(doc_.image.width, doc_.image.height);
  f.left = a.x;
  f.top = a.y;
  f.right = b.x;
  f.bottom = b.y;
  f.drawLeft = topLeft.x > 0 && f.left > nav_.navOffsetX;
  f.drawTop = topLeft.y > 0 && f.top > nav_.navOffsetY;
  f.drawRight = bottomRight.x < doc_.image.width && f.right < std::min(end.x, kThumbnailSide);
  f.drawBottom = bottomRight.y < doc_.image.height && f.bottom < std::min(end.y, kThumbnailSide);
  return f;
}

void KovasandView::NavigatorPress(int32_t px, int32_t py) {
  const double x = (px - nav_.navOffsetX) * nav_.navScale - double(clientWidth_ / 2);
  const double y = (py - nav_.navOffsetY) * nav_.navScale - double(clientHeight_ / 2);
  SetScroll(TruncToInt(x), TruncToInt(y));
  host_.ScrollRangeChanged();
  host_.InvalidateView();
  host_.RedrawNavigator();
}

}  // namespace kv::authoring
