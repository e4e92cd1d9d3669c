#include "foundation/core/image/thumbnail.h"

#include <cstring>

#include "foundation/core/util/stop.h"

namespace kv {
namespace {
constexpr uint32_t kFrameGrey = 8685188;       // red 132, green 134, blue 132
constexpr uint32_t kFrameNearBlack = 65793;    // 1, 1, 1
constexpr uint32_t kFrameLightGrey = 13027270; // 198, 198, 198
}  // namespace

void CreateThumbnailDib(DibSectionImage& section) {
  DibImage& im = section.image;
  const uint32_t size = uint32_t(kThumbnailSide) * kThumbnailSide * 3;
  im.pixels.reset(new uint8_t[size]());
  im.width = kThumbnailSide;
  im.height = kThumbnailSide;
  im.byteSize = size;
  im.bitsPerPixel = 24;
  im.padBytes = 0;
}

uint32_t GetPackedPixel(const DibImage& image, int32_t x, int32_t y) {
  const uint8_t* p = image.Row(y) + size_t(x) * 3;
  return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

void PutPackedPixel(DibImage& image, int32_t x, int32_t y, uint32_t packed) {
  uint8_t* p = image.Row(y) + size_t(x) * 3;
  p[0] = uint8_t(packed >> 16);
  p[1] = uint8_t(packed >> 8);
  p[2] = uint8_t(packed);
}

namespace {

// The bevelled frame on black; false when the bitmap cannot take one.
bool DrawFrame(DibImage& d) {
  if (!d.HasImage() || d.width < 2 || d.height < 2) return false;
  std::memset(d.pixels.get(), 0, d.byteSize);
  const int32_t w = d.width, h = d.height;
  for (int32_t x = 0; x <= w - 2; ++x) PutPackedPixel(d, x, h - 1, kFrameGrey);
  for (int32_t y = 0; y <= h - 2; ++y) PutPackedPixel(d, 0, y, kFrameGrey);
  for (int32_t x = 0; x <= w - 1; ++x) PutPackedPixel(d, x, 0, kFrameNearBlack);
  for (int32_t y = 0; y <= h - 1; ++y) PutPackedPixel(d, w - 1, y, kFrameNearBlack);
  for (int32_t x = 1; x <= w - 2; ++x) PutPackedPixel(d, x, 1, kFrameLightGrey);
  for (int32_t y = 1; y <= h - 2; ++y) PutPackedPixel(d, w - 2, y, kFrameLightGrey);
  return true;
}

// Point-samples the shown photo (sw x sh) into the frame; `at(x, y)` gives
// the packed colour of a shown pixel. Each sample of a large photo is a
// miss in the cache, so a stop is looked for at every row.
template <typename At>
bool SamplePhoto(DibImage& d, int32_t ox, int32_t oy, int32_t sw, int32_t sh, const At& at,
                 const std::atomic<bool>* stop = nullptr) {
  const int32_t iw = d.width - 2 * (ox + 1) - 1;
  const int32_t ih = d.height - 2 * (oy + 1) - 1;
  if (ih < 1 || iw < 1 || sw <= 0 || sh <= 0) return !StopRequested(stop);
  for (int32_t j = 0; j < ih; ++j) {
    if (StopRequested(stop)) return false;
    const int32_t sy = int32_t(int64_t(j) * sh / ih);
    const int32_t y = ih + oy + 1 - j;
    for (int32_t i = 0; i < iw; ++i)
      PutPackedPixel(d, i + ox + 1, y, at(int32_t(int64_t(i) * sw / iw), sy));
  }
  return true;
}

}  // namespace

std::optional<ThumbnailPlacement> PlaceInThumbnail(int32_t photoWidth, int32_t photoHeight,
                                                   int32_t boxWidth, int32_t boxHeight) {
  if (photoWidth <= 0 || photoHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) return std::nullopt;
  const int64_t w = photoWidth, h = photoHeight, bw = boxWidth, bh = boxHeight;
  ThumbnailPlacement p;
  if (double(bw) / double(bh) <= double(w) / double(h)) {
    // Wider than the box: full width, bands above and below.
    p.scale = double(w) / double(bw);
    p.offsetY = int32_t((bh - bw * h / w) / 2);
  } else {
    p.scale = double(h) / double(bh);
    p.offsetX = int32_t((bw - bh * w / h) / 2);
  }
  return p;
}

bool ImageScaler::ResampleToThumbnail(const BgraPixels& upright, DibImage& d,
                                      const std::atomic<bool>* stop) const {
  const ThumbnailPlacement place =
      PlaceInThumbnail(upright.width, upright.height, d.width, d.height).value_or(ThumbnailPlacement{});
  if (!DrawFrame(d) || upright.pixels == nullptr) return !StopRequested(stop);
  return SamplePhoto(
      d, place.offsetX, place.offsetY, upright.width, upright.height,
      [&](int32_t x, int32_t y) {
        const uint8_t* p = upright.pixels + size_t(y) * upright.stride + size_t(x) * 4;
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      },
      stop);
}

void ImageScaler::ResampleToThumbnail(const DibImage& source, DibImage& destination,
                                      Orientation orientation) const {
  const PixelSize shown = ShownSize({source.width, source.height}, orientation);
  const ThumbnailPlacement place =
      PlaceInThumbnail(shown.width, shown.height, destination.width, destination.height)
          .value_or(ThumbnailPlacement{});
  DrawThumbnail(source, destination, place.offsetX, place.offsetY, orientation);
}

void ImageScaler::DrawThumbnail(const DibImage& source, DibImage& d, int32_t ox, int32_t oy,
                                Orientation orientation) const {
  if (!DrawFrame(d)) return;
  // A record without pixels gets the frame alone.
  if (!source.HasImage() || source.width <= 0 || source.height <= 0) return;
  const PixelSize stored{source.width, source.height};
  const PixelSize shown = ShownSize(stored, orientation);
  SamplePhoto(d, ox, oy, shown.width, shown.height, [&](int32_t px, int32_t py) {
    ShownToStored(orientation, stored, px, py);
    return GetPackedPixel(source, px, py);
  });
}

}  // namespace kv
