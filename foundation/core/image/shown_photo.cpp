#include "foundation/core/image/shown_photo.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "foundation/core/image/icc.h"

namespace kv {
namespace {

bool Sideways(Orientation o) { return o >= 2 && o <= 8; }

// The colours turned into sRGB where the photo says it has another space;
// false only when stopped.
template <typename Convert>
bool ToSrgb(const std::optional<std::vector<uint8_t>>& profile, const std::atomic<bool>* stop,
            std::string& reason, const Convert& convert) {
  // A profile that cannot be used leaves the photo as decoded, read as sRGB.
  if (profile) convert(*profile);
  if (!StopRequested(stop)) return true;
  reason = kStoppedReason;
  return false;
}

}  // namespace

int DecodeShownSrgb(const uint8_t* jpeg, size_t count, Orientation o, int shift,
                    const JpegAllocator& allocate, std::string& reason,
                    const std::atomic<bool>* stop) {
  if (StopRequested(stop)) {
    reason = kStoppedReason;
    return 0;
  }
  const std::optional<std::vector<uint8_t>> profile = ReadIccProfile(jpeg, count);
  JpegTarget target;
  PixelSize shown;
  if (!Sideways(o)) {
    // As stored: the library writes where the caller reads.
    const JpegAllocator into = [&](uint32_t w, uint32_t h, size_t stride) {
      shown = {int32_t(w), int32_t(h)};
      target = allocate(w, h, stride);
      return target;
    };
    if (DecodeJpegBgra(jpeg, count, shift, into, reason, stop) != 1) return 0;
  } else {
    PixelSize stored;
    JpegBands bands;
    bands.pixelBytes = 4;
    bands.begin = [&](uint32_t w, uint32_t h) -> uint32_t {
      stored = {int32_t(w), int32_t(h)};
      shown = ShownSize(stored, o);
      target = allocate(uint32_t(shown.width), uint32_t(shown.height), size_t(shown.width) * 4);
      return target.pixels ? h : 0;
    };
    bands.band = [&](uint32_t first, uint32_t rows, const uint8_t* pixels, size_t stride) {
      return CopyUpright(o, stored, 4, pixels, stride, {0, int32_t(first), stored.width, int32_t(rows)},
                         target.pixels, target.stride, {0, 0, shown.width, shown.height}, stop);
    };
    if (DecodeJpegBands(jpeg, count, shift, bands, reason, stop) != 1) return 0;
  }
  return ToSrgb(profile, stop, reason, [&](const std::vector<uint8_t>& p) {
    ConvertToSrgb(target.pixels, shown.width, shown.height, target.stride, p, stop);
  });
}

int DecodeShownSrgb(const uint8_t* jpeg, size_t count, Orientation o, DibImage& out,
                    std::string& reason, const ImageRect* crop, int shift,
                    const std::atomic<bool>* stop) {
  if (StopRequested(stop)) {
    reason = kStoppedReason;
    return 0;
  }
  const std::optional<std::vector<uint8_t>> profile = ReadIccProfile(jpeg, count);
  DibImage image;
  if (!Sideways(o) && crop == nullptr) {
    if (DecodeJpegBuffer(jpeg, count, image, reason, shift, stop) != 1) return 0;
  } else {
    if (!Sideways(o)) o = 1;
    PixelSize stored, shown;
    ImageRect area;
    bool outside = false;
    JpegBands bands;
    bands.pixelBytes = 3;
    bands.begin = [&](uint32_t w, uint32_t h) -> uint32_t {
      stored = {int32_t(w), int32_t(h)};
      shown = ShownSize(stored, o);
      area = crop ? *crop : ImageRect{0, 0, shown.width, shown.height};
      if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
          area.x > shown.width - area.width || area.y > shown.height - area.height) {
        outside = true;
        return 0;
      }
      image = DibImage(area.width, area.height);
      image.padBytes = DibPadBytes(area.width);
      const uint64_t bytes = uint64_t(image.Stride()) * uint64_t(area.height);
      if (bytes > UINT32_MAX) return 0;
      image.pixels.reset(new (std::nothrow) uint8_t[bytes]);
      if (!image.pixels) return 0;
      image.byteSize = uint32_t(bytes);
      if (image.padBytes)
        for (int32_t y = 0; y < area.height; ++y)
          std::memset(image.Row(y) + size_t(area.width) * 3, 0, image.padBytes);
      // The decode ends after the lowest stored row the area shows.
      int32_t ax = area.x, ay = area.y, bx = area.x + area.width - 1, by = area.y + area.height - 1;
      ShownToStored(o, stored, ax, ay);
      ShownToStored(o, stored, bx, by);
      return uint32_t(std::max(ay, by)) + 1;
    };
    bands.band = [&](uint32_t first, uint32_t rows, const uint8_t* pixels, size_t stride) {
      return CopyUpright(o, stored, 3, pixels, stride, {0, int32_t(first), stored.width, int32_t(rows)},
                         image.pixels.get(), image.Stride(), area, stop);
    };
    if (DecodeJpegBands(jpeg, count, shift, bands, reason, stop) != 1) {
      if (outside) reason = "切り出す範囲が写真の外です";
      return 0;
    }
  }
  if (!ToSrgb(profile, stop, reason, [&](const std::vector<uint8_t>& p) { ConvertToSrgb(image, p, stop); }))
    return 0;
  out = std::move(image);
  return 1;
}

}  // namespace kv
