#include "viewer/model/display_compose.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "foundation/core/util/text.h"

namespace kv::viewer {
namespace {

// The resize takes its factor as a fraction; this denominator keeps the
// scale exact to a few millionths, so the photo lands on the same pixels as
// the guide lines drawn with the scale itself.
constexpr int32_t kScaleDenominator = 1 << 16;

void ScaleFraction(double zoom, int32_t& num, int32_t& den) {
  num = std::max(1, TruncToInt(zoom * kScaleDenominator + 0.5));
  den = kScaleDenominator;
  const int32_t g = std::gcd(num, den);
  num /= g;
  den /= g;
}

}  // namespace

DisplayPlace PlaceOf(const ViewScale& s) {
  return {s.zoom, s.originX, s.originY, s.visibleWidth, s.visibleHeight, s.clientWidth, s.clientHeight};
}

int32_t DisplayPadFor(double zoom) {
  return IsUsableScale(zoom) ? std::clamp(TruncToInt(std::ceil(zoom)), 1, 4096) : 1;
}

Image* ExistingLevelFor(Image& photo, int photoShift, const std::vector<IplImageSlot>& levels,
                        double zoom, int& shift) {
  // The copies on the way to the one read may have been let go: their
  // sizes are known without them.
  shift = photoShift;
  int32_t w = photo.Width(), h = photo.Height();
  while (HalvesAgain(zoom, shift, w, h)) {
    w /= 2;
    h /= 2;
    ++shift;
  }
  if (shift == photoShift) return &photo;
  const size_t k = size_t(shift - photoShift - 1);
  if (k >= levels.size() || !levels[k] || levels[k]->Width() != w || levels[k]->Height() != h)
    return nullptr;
  return levels[k].get();
}

void ComposeDisplay(Image& source, int fromShift, const ViewScale& s, Image& display) {
  display.ClearRoi();
  // White where the photo ends inside the client; the rest is overwritten
  // by the photo (a margin of two pixels covers the partly drawn edge).
  const int32_t cw = display.Width(), ch = display.Height();
  const int32_t coverW =
      int32_t(std::clamp((s.photoWidth - s.originX) * s.zoom - 2.0, 0.0, double(cw)));
  const int32_t coverH =
      int32_t(std::clamp((s.photoHeight - s.originY) * s.zoom - 2.0, 0.0, double(ch)));
  if (coverW < cw) {
    display.SetRoi({coverW, 0, cw - coverW, ch});
    FillImage(display, 255);
  }
  if (coverH < ch && coverW > 0) {
    display.SetRoi({0, coverH, coverW, ch - coverH});
    FillImage(display, 255);
  }
  display.ClearRoi();
  if (s.zoom == 1.0 && fromShift == 0) {
    const int32_t pad = DisplayPadFor(s.zoom);
    source.SetRoi({s.originX, s.originY, s.visibleWidth + pad + 1, s.visibleHeight + pad + 1});
    CopyImage(source, display);
  } else {
    // One photo pixel more than fits whole, so the partly visible column and
    // row at the right and bottom edges are drawn too. On a halved level the
    // origin is off by less than one level pixel, under one device pixel.
    source.SetRoi({s.originX >> fromShift, s.originY >> fromShift,
                   ((s.visibleWidth + 1) >> fromShift) + 2, ((s.visibleHeight + 1) >> fromShift) + 2});
    int32_t num = 1, den = 1;
    ScaleFraction(std::ldexp(s.zoom, fromShift), num, den);
    ResizeImage(source, display, num, den, num, den);
  }
  source.ClearRoi();
}

PreparedDisplay ComposeOpeningDisplay(Image& photo, int photoShift,
                                      const std::vector<IplImageSlot>& levels, PixelSize shown,
                                      PixelSize client) {
  PreparedDisplay out;
  if (photo.IsEmpty() || client.width <= 0 || client.height <= 0 || shown.width <= 0 ||
      shown.height <= 0)
    return out;
  // The place the view opens a new photo at: fitted whole, centred.
  ViewScale s;
  s.clientWidth = client.width;
  s.clientHeight = client.height;
  s.photoWidth = shown.width;
  s.photoHeight = shown.height;
  s.zoom = s.Fit();
  if (!s.HasScale()) return out;
  s.PlaceCentredOn(0, 0);
  if (s.visibleWidth <= 0 || s.visibleHeight <= 0) return out;
  int shift = 0;
  Image* from = ExistingLevelFor(photo, photoShift, levels, s.zoom, shift);
  if (!from) return out;
  const int32_t pad = DisplayPadFor(s.zoom);
  // Every pixel is drawn by the composer: no fill first.
  out.image = std::make_unique<Image>(client.width + pad, client.height + pad, PixelFormat::kBgra,
                                      Image::NoFill{});
  if (out.image->IsEmpty()) {
    out.image.reset();
    return out;
  }
  ComposeDisplay(*from, shift, s, *out.image);
  out.place = PlaceOf(s);
  return out;
}

}  // namespace kv::viewer
