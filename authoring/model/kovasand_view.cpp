#include "authoring/model/kovasand_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/core/image/thumbnail.h"
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

int32_t ClampToInt(int64_t v) { return int32_t(std::clamp<int64_t>(v, -1000000000, 1000000000)); }

// Scaled coordinates count device pixels from the scaled photo's top-left.
// Clicks, painting and the photo's extent all go through this one
// expression, so what is shown under a device pixel is what a click there
// gives.
int64_t PhotoIndexAt(double scale, int64_t u) {
  return int64_t(std::floor(double(u) / scale));
}

// The first scaled coordinate that shows photo pixel x or a later one;
// found with PhotoIndexAt itself, so rounding cannot set them apart.
int64_t FirstScaledAt(double scale, int64_t x) {
  int64_t u = int64_t(std::ceil(double(x) * scale));
  while (PhotoIndexAt(scale, u - 1) >= x) --u;
  while (PhotoIndexAt(scale, u) < x) ++u;
  return u;
}

int64_t FloorHalf(int64_t v) { return v >= 0 ? v / 2 : -((1 - v) / 2); }

// Which source pixels a run of device pixels averages, and how much each
// counts (weights of one device pixel add up to 256).
struct AreaTaps {
  std::vector<int32_t> first;
  std::vector<int32_t> count;
  std::vector<int32_t> start;
  std::vector<uint32_t> weight;
};

AreaTaps MakeAreaTaps(double scale, int64_t u0, int32_t n, int32_t size) {
  AreaTaps t;
  t.first.resize(size_t(n));
  t.count.resize(size_t(n));
  t.start.resize(size_t(n));
  std::vector<double> overlap;
  for (int32_t i = 0; i < n; ++i) {
    const double a = std::max(0.0, double(u0 + i) / scale);
    const double b = std::min(double(size), double(u0 + i + 1) / scale);
    const int32_t first = std::clamp(int32_t(PhotoIndexAt(scale, u0 + i)), 0, size - 1);
    const int32_t last = std::clamp(int32_t(std::ceil(b)) - 1, first, size - 1);
    overlap.clear();
    double total = 0;
    for (int32_t k = first; k <= last; ++k) {
      const double o = std::max(0.0, std::min(b, double(k + 1)) - std::max(a, double(k)));
      overlap.push_back(o);
      total += o;
    }
    t.first[size_t(i)] = first;
    t.count[size_t(i)] = last - first + 1;
    t.start[size_t(i)] = int32_t(t.weight.size());
    uint32_t sum = 0;
    size_t heaviest = t.weight.size();
    for (const double o : overlap) {
      const uint32_t w = total > 0 ? uint32_t(std::lround(256.0 * o / total)) : 0;
      if (heaviest == t.weight.size() || w > t.weight[heaviest]) heaviest = t.weight.size();
      t.weight.push_back(w);
      sum += w;
    }
    // Rounding must neither brighten nor darken.
    t.weight[heaviest] += 256 - sum;
  }
  return t;
}

uint32_t* FrameRow(uint32_t* frame, size_t strideBytes, int32_t y) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(frame) + size_t(y) * strideBytes);
}

}  // namespace

double ZoomStepAbove(double scale) {
  for (const double v : kZoomSteps)
    if (v > scale * (1 + 1e-9)) return v;
  return kMaxScale;
}

double ZoomStepBelow(double scale) {
  for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
    if (*it < scale * (1 - 1e-9)) return *it;
  return kMinScale;
}

// --- navigator ---------------------------------------------------------------

IntPoint NavigatorMapping::PhotoToThumb(int32_t x, int32_t y) const {
  return {TruncToInt(double(x) / navScale) + navOffsetX, TruncToInt(double(y) / navScale) + navOffsetY};
}

NavigatorMapping ComputeNavigatorMapping(int32_t w, int32_t h) {
  NavigatorMapping m;
  if (const std::optional<ThumbnailPlacement> p = PlaceInThumbnail(w, h)) {
    m.navScale = p->scale;
    m.navOffsetX = p->offsetX;
    m.navOffsetY = p->offsetY;
  }
  return m;
}

ListRow MakeListRow(const SizeRegistration& r, size_t position, const std::string& unusable) {
  return ListRow{IntToText(int32_t(position + 1)), PointText(r.startX, r.startY),
                 PointText(r.endX, r.endY), IntToText(r.lengthMm), PointText(r.centerX, r.centerY),
                 unusable.empty() ? std::string() : "使用不可: " + unusable};
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
    } else if (tellsMissingPhoto_) {
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
    scale_ = 1.0;
    fitting_ = false;
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
      // A new photo: the previous one's scale and place mean nothing for it.
      scale_ = 1.0;
      fitting_ = false;
      scrollX_ = scrollY_ = 0;
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

void KovasandView::UpdateGeometry() {
  const bool photo = doc_.image.HasImage();
  const int32_t sw = photo ? ClampToInt(FirstScaledAt(scale_, doc_.image.width)) : 0;
  const int32_t sh = photo ? ClampToInt(FirstScaledAt(scale_, doc_.image.height)) : 0;
  displayWidth_ = std::max(sw, clientWidth_);
  displayHeight_ = std::max(sh, clientHeight_);
  displayOffsetX_ = sw < clientWidth_ ? (clientWidth_ - sw) / 2 : 0;
  displayOffsetY_ = sh < clientHeight_ ? (clientHeight_ - sh) / 2 : 0;
}

void KovasandView::RebuildDisplay() {
  if (fitting_ && doc_.image.HasImage()) scale_ = FitScale();
  UpdateGeometry();
  SetScroll(scrollX_, scrollY_);
  host_.ScrollRangeChanged();
  host_.InvalidateView();
}

void KovasandView::GeometryChanged() {
  host_.ScrollRangeChanged();
  host_.InvalidateView();
  host_.RedrawNavigator();
}

int32_t KovasandView::MaxScrollX() const { return std::max(0, displayWidth_ - clientWidth_); }
int32_t KovasandView::MaxScrollY() const { return std::max(0, displayHeight_ - clientHeight_); }

void KovasandView::SetScroll(int32_t x, int32_t y) {
  scrollX_ = std::clamp(x, 0, MaxScrollX());
  scrollY_ = std::clamp(y, 0, MaxScrollY());
}

// --- zoom ----------------------------------------------------------------------

bool KovasandView::CanZoomIn() const {
  return doc_.image.HasImage() && ZoomStepAbove(scale_) > scale_ * (1 + 1e-9);
}

bool KovasandView::CanZoomOut() const {
  return doc_.image.HasImage() && ZoomStepBelow(scale_) < scale_ * (1 - 1e-9);
}

void KovasandView::ZoomIn() {
  if (CanZoomIn()) ZoomAbout(ZoomStepAbove(scale_), clientWidth_ / 2, clientHeight_ / 2);
}

void KovasandView::ZoomOut() {
  if (CanZoomOut()) ZoomAbout(ZoomStepBelow(scale_), clientWidth_ / 2, clientHeight_ / 2);
}

void KovasandView::ZoomActual() { ZoomAbout(1.0, clientWidth_ / 2, clientHeight_ / 2); }

double KovasandView::FitScale() const {
  const DibImage& img = doc_.image;
  if (!img.HasImage() || img.width <= 0 || img.height <= 0 || clientWidth_ <= 0 ||
      clientHeight_ <= 0)
    return scale_;
  double s = std::clamp(std::min(double(clientWidth_) / img.width,
                                 double(clientHeight_) / img.height),
                        kMinScale, kMaxScale);
  // The quotient may round up by a hair, which would cost a scroll bar.
  while (s > kMinScale && (FirstScaledAt(s, img.width) > clientWidth_ ||
                           FirstScaledAt(s, img.height) > clientHeight_))
    s = std::nextafter(s, 0.0);
  return s;
}

void KovasandView::ZoomFit() {
  if (!doc_.image.HasImage()) return;
  fitting_ = true;
  scale_ = FitScale();
  UpdateGeometry();
  SetScroll(0, 0);
  GeometryChanged();
}

void KovasandView::ZoomAbout(double scale, int32_t clientX, int32_t clientY) {
  if (!doc_.image.HasImage() || !std::isfinite(scale)) return;
  const double s = std::clamp(scale, kMinScale, kMaxScale);
  fitting_ = false;
  // The pointer's device pixel in scaled coordinates, before and after.
  const int64_t ux = int64_t(clientX) + scrollX_ - displayOffsetX_;
  const int64_t uy = int64_t(clientY) + scrollY_ - displayOffsetY_;
  const double old = scale_;
  scale_ = s;
  UpdateGeometry();
  auto place = [&](int64_t u, int32_t client, int32_t offset) {
    // The photo point at the middle of that device pixel stays there; when
    // magnified, the device pixel also stays on the photo pixel it showed,
    // whatever rounding says.
    int64_t v = std::llround((double(u) + 0.5) / old * s - 0.5);
    if (s >= 1.0) {
      const int64_t pixel = PhotoIndexAt(old, u);
      v = std::clamp(v, FirstScaledAt(s, pixel), FirstScaledAt(s, pixel + 1) - 1);
    }
    return ClampToInt(v - client + offset);
  };
  SetScroll(place(ux, clientX, displayOffsetX_), place(uy, clientY, displayOffsetY_));
  GeometryChanged();
}

// --- mapping -------------------------------------------------------------------

int64_t KovasandView::ScaledX(int32_t x) const {
  if (scale_ >= 1.0) {
    const int64_t first = FirstScaledAt(scale_, x);
    const int64_t last = FirstScaledAt(scale_, int64_t(x) + 1) - 1;
    return FloorHalf(first + last + 1);
  }
  return int64_t(std::floor((double(x) + 0.5) * scale_));
}

IntPoint KovasandView::ClientToPhoto(int32_t px, int32_t py) const {
  return {ClampToInt(PhotoIndexAt(scale_, int64_t(px) + scrollX_ - displayOffsetX_)),
          ClampToInt(PhotoIndexAt(scale_, int64_t(py) + scrollY_ - displayOffsetY_))};
}

IntPoint KovasandView::PhotoToClient(int32_t x, int32_t y) const {
  return {ClampToInt(ScaledX(x) + displayOffsetX_ - scrollX_),
          ClampToInt(ScaledX(y) + displayOffsetY_ - scrollY_)};
}

IntRect KovasandView::PhotoOnClient() const {
  const DibImage& img = doc_.image;
  if (!img.HasImage() || img.width <= 0 || img.height <= 0) return {};
  const int64_t left = int64_t(displayOffsetX_) - scrollX_;
  const int64_t top = int64_t(displayOffsetY_) - scrollY_;
  const int64_t x0 = std::max<int64_t>(0, left);
  const int64_t y0 = std::max<int64_t>(0, top);
  const int64_t x1 = std::min<int64_t>(clientWidth_, left + FirstScaledAt(scale_, img.width));
  const int64_t y1 = std::min<int64_t>(clientHeight_, top + FirstScaledAt(scale_, img.height));
  if (x1 <= x0 || y1 <= y0) return {};
  return {int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
}

void KovasandView::RenderPhoto(uint32_t* frame, size_t strideBytes) const {
  const DibImage& img = doc_.image;
  if (!frame || !img.HasImage() || img.width <= 0 || img.height <= 0 ||
      img.byteSize < img.Stride() * size_t(img.height))
    return;
  const IntRect r = PhotoOnClient();
  if (r.IsEmpty()) return;
  const int64_t u0 = int64_t(r.x) + scrollX_ - displayOffsetX_;
  const int64_t v0 = int64_t(r.y) + scrollY_ - displayOffsetY_;
  const size_t n = size_t(r.width);
  if (scale_ >= 1.0) {
    std::vector<size_t> column(n);
    for (size_t i = 0; i < n; ++i)
      column[i] = size_t(std::clamp<int64_t>(PhotoIndexAt(scale_, u0 + int64_t(i)), 0,
                                             img.width - 1)) * 3;
    int64_t previous = -1;
    const uint32_t* previousRow = nullptr;
    for (int32_t j = 0; j < r.height; ++j) {
      const int64_t sy = std::clamp<int64_t>(PhotoIndexAt(scale_, v0 + j), 0, img.height - 1);
      uint32_t* out = FrameRow(frame, strideBytes, r.y + j) + r.x;
      // A magnified row repeats the one above it: copied, not sampled again.
      if (sy == previous) {
        std::memcpy(out, previousRow, n * sizeof(uint32_t));
      } else {
        const uint8_t* src = img.Row(int32_t(sy));
        for (size_t i = 0; i < n; ++i) {
          const uint8_t* p = src + column[i];
          out[i] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
      }
      previous = sy;
      previousRow = out;
    }
    return;
  }
  const AreaTaps across = MakeAreaTaps(scale_, u0, r.width, img.width);
  const AreaTaps down = MakeAreaTaps(scale_, v0, r.height, img.height);
  std::vector<uint32_t> filtered(n * 3), sum(n * 3);
  int32_t filteredRow = -1;
  for (int32_t j = 0; j < r.height; ++j) {
    std::fill(sum.begin(), sum.end(), 0u);
    const size_t jj = size_t(j);
    for (int32_t k = 0; k < down.count[jj]; ++k) {
      const int32_t sy = down.first[jj] + k;
      // Neighbouring rows of the window share the source row between them.
      if (sy != filteredRow) {
        const uint8_t* src = img.Row(sy);
        for (size_t i = 0; i < n; ++i) {
          uint32_t b = 0, g = 0, red = 0;
          const uint8_t* p = src + size_t(across.first[i]) * 3;
          const uint32_t* w = across.weight.data() + across.start[i];
          for (int32_t t = 0; t < across.count[i]; ++t, p += 3) {
            b += w[t] * p[0];
            g += w[t] * p[1];
            red += w[t] * p[2];
          }
          filtered[i * 3] = b;
          filtered[i * 3 + 1] = g;
          filtered[i * 3 + 2] = red;
        }
        filteredRow = sy;
      }
      const uint32_t wy = down.weight[size_t(down.start[jj] + k)];
      for (size_t i = 0; i < n * 3; ++i) sum[i] += wy * filtered[i];
    }
    uint32_t* out = FrameRow(frame, strideBytes, r.y + j) + r.x;
    for (size_t i = 0; i < n; ++i) {
      const uint32_t b = (sum[i * 3] + 32768) >> 16;
      const uint32_t g = (sum[i * 3 + 1] + 32768) >> 16;
      const uint32_t red = (sum[i * 3 + 2] + 32768) >> 16;
      out[i] = 0xFF000000u | red << 16 | g << 8 | b;
    }
  }
}

// --- clicks --------------------------------------------------------------------

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

// --- navigator -----------------------------------------------------------------

VisibleFrame KovasandView::NavigatorFrame() const {
  VisibleFrame f;
  if (!doc_.image.HasImage()) return f;
  // The window's part of the photo, in photo pixels and then in thumbnail
  // pixels. An edge is drawn only where it cuts the photo: with the whole
  // photo in view, or along an axis where it is, there is nothing to frame.
  const double left = double(scrollX_ - displayOffsetX_) / scale_;
  const double top = double(scrollY_ - displayOffsetY_) / scale_;
  const double right = double(int64_t(scrollX_) + clientWidth_ - displayOffsetX_) / scale_;
  const double bottom = double(int64_t(scrollY_) + clientHeight_ - displayOffsetY_) / scale_;
  auto thumb = [](double v, double navScale, int32_t offset) {
    return TruncToInt(v / navScale) + offset;
  };
  const IntPoint end = nav_.PhotoToThumb(doc_.image.width, doc_.image.height);
  f.left = thumb(left, nav_.navScale, nav_.navOffsetX);
  f.top = thumb(top, nav_.navScale, nav_.navOffsetY);
  f.right = thumb(right, nav_.navScale, nav_.navOffsetX);
  f.bottom = thumb(bottom, nav_.navScale, nav_.navOffsetY);
  f.drawLeft = left > 0 && f.left > nav_.navOffsetX;
  f.drawTop = top > 0 && f.top > nav_.navOffsetY;
  f.drawRight = right < doc_.image.width && f.right < std::min(end.x, kThumbnailSide);
  f.drawBottom = bottom < doc_.image.height && f.bottom < std::min(end.y, kThumbnailSide);
  return f;
}

void KovasandView::NavigatorPress(int32_t px, int32_t py) {
  // The thumbnail point, in scaled photo pixels, comes to the middle.
  const double x = (px - nav_.navOffsetX) * nav_.navScale * scale_ - double(clientWidth_ / 2);
  const double y = (py - nav_.navOffsetY) * nav_.navScale * scale_ - double(clientHeight_ / 2);
  SetScroll(TruncToInt(x), TruncToInt(y));
  host_.ScrollRangeChanged();
  host_.InvalidateView();
  host_.RedrawNavigator();
}

}  // namespace kv::authoring
