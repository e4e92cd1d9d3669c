#include "foundation/core/image/orientation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "foundation/core/image/jpeg_segments.h"

namespace kv {
namespace {

uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

struct Tiff {
  const uint8_t* p;
  size_t n;
  bool little;
  bool U16(size_t at, uint16_t& v) const {
    if (at > n || n - at < 2) return false;
    v = little ? uint16_t(p[at] | (p[at + 1] << 8)) : uint16_t((p[at] << 8) | p[at + 1]);
    return true;
  }
  bool U32(size_t at, uint32_t& v) const {
    if (at > n || n - at < 4) return false;
    v = little ? uint32_t(p[at]) | uint32_t(p[at + 1]) << 8 | uint32_t(p[at + 2]) << 16 |
                     uint32_t(p[at + 3]) << 24
               : uint32_t(p[at]) << 24 | uint32_t(p[at + 1]) << 16 | uint32_t(p[at + 2]) << 8 |
                     uint32_t(p[at + 3]);
    return true;
  }
};

// The orientation entry of the first image directory; only that one is
// read, so links between directories cannot loop.
Orientation OrientationFromExif(const uint8_t* seg, size_t n) {
  static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (n < 6 + 8 || std::memcmp(seg, kExif, 6) != 0) return 0;
  Tiff t{seg + 6, n - 6, false};
  if (t.p[0] == 'I' && t.p[1] == 'I') {
    t.little = true;
  } else if (!(t.p[0] == 'M' && t.p[1] == 'M')) {
    return 0;
  }
  uint16_t magic = 0;
  uint32_t ifd = 0;
  if (!t.U16(2, magic) || magic != 42 || !t.U32(4, ifd)) return 0;
  uint16_t entries = 0;
  if (!t.U16(ifd, entries)) return 0;
  for (uint32_t e = 0; e < entries; ++e) {
    const size_t at = size_t(ifd) + 2 + size_t(e) * 12;
    uint16_t tag = 0, type = 0, value = 0;
    uint32_t count = 0;
    if (!t.U16(at, tag) || !t.U16(at + 2, type) || !t.U32(at + 4, count)) return 0;
    if (tag != 0x0112) continue;
    if (type != 3 || count != 1 || !t.U16(at + 8, value)) return 0;
    return value >= 1 && value <= 8 ? Orientation(value) : 0;
  }
  return 0;
}

}  // namespace

Orientation ReadExifOrientation(const uint8_t* bytes, size_t count) {
  Orientation found = 1;
  ForEachJpegHeaderSegment(bytes, count, [&](uint8_t marker, const uint8_t* seg, size_t n) {
    if (marker != 0xE1) return true;
    const Orientation o = OrientationFromExif(seg, n);
    if (o == 0) return true;  // another APP1 (XMP) or a broken one: look on
    found = o;
    return false;
  });
  return found;
}

std::optional<PixelSize> ReadJpegSize(const uint8_t* bytes, size_t count) {
  std::optional<PixelSize> size;
  ForEachJpegHeaderSegment(bytes, count, [&](uint8_t marker, const uint8_t* seg, size_t n) {
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                       marker != 0xCC;
    if (!frame) return true;
    if (n >= 5) size = PixelSize{Be16(seg + 3), Be16(seg + 1)};
    return false;
  });
  return size;
}

Orientation ShownOrientation(const uint8_t* bytes, size_t count) {
  return ReadJpegSize(bytes, count) ? ReadExifOrientation(bytes, count) : 1;
}

bool SwapsSides(Orientation o) { return o >= 5 && o <= 8; }

PixelSize ShownSize(PixelSize s, Orientation o) {
  return SwapsSides(o) ? PixelSize{s.height, s.width} : s;
}

void StoredToShown(Orientation o, PixelSize s, int32_t& x, int32_t& y) {
  const int64_t w1 = int64_t(s.width) - 1, h1 = int64_t(s.height) - 1;
  const int64_t sx = x, sy = y;
  int64_t nx = sx, ny = sy;
  switch (o) {
    case 2: nx = w1 - sx; break;
    case 3: nx = w1 - sx; ny = h1 - sy; break;
    case 4: ny = h1 - sy; break;
    case 5: nx = sy; ny = sx; break;
    case 6: nx = h1 - sy; ny = sx; break;
    case 7: nx = h1 - sy; ny = w1 - sx; break;
    case 8: nx = sy; ny = w1 - sx; break;
    default: break;
  }
  x = int32_t(std::clamp<int64_t>(nx, INT32_MIN, INT32_MAX));
  y = int32_t(std::clamp<int64_t>(ny, INT32_MIN, INT32_MAX));
}

void ShownToStored(Orientation o, PixelSize s, int32_t& x, int32_t& y) {
  const int64_t w1 = int64_t(s.width) - 1, h1 = int64_t(s.height) - 1;
  const int64_t px = x, py = y;
  int64_t sx = px, sy = py;
  switch (o) {
    case 2: sx = w1 - px; break;
    case 3: sx = w1 - px; sy = h1 - py; break;
    case 4: sy = h1 - py; break;
    case 5: sx = py; sy = px; break;
    case 6: sx = py; sy = h1 - px; break;
    case 7: sx = w1 - py; sy = h1 - px; break;
    case 8: sx = w1 - py; sy = px; break;
    default: break;
  }
  x = int32_t(std::clamp<int64_t>(sx, INT32_MIN, INT32_MAX));
  y = int32_t(std::clamp<int64_t>(sy, INT32_MIN, INT32_MAX));
}

void ForEachUprightRun(PixelSize stored, size_t storedStride, Orientation o, UprightRun run,
                       void* context) {
  const PixelSize shown = ShownSize(stored, o);
  if (shown.width <= 0 || shown.height <= 0) return;
  constexpr int32_t kTile = 64;
  const ptrdiff_t stride = ptrdiff_t(storedStride);
  auto band = [&](int32_t firstTileRow, int32_t bandStep) {
    for (int32_t ty = firstTileRow * kTile; ty < shown.height; ty += bandStep * kTile) {
      const int32_t yEnd = std::min(shown.height, ty + kTile);
      for (int32_t tx = 0; tx < shown.width; tx += kTile) {
        const int32_t count = std::min(shown.width, tx + kTile) - tx;
        for (int32_t y = ty; y < yEnd; ++y) {
          // Along a shown row the stored pixel moves by a fixed step.
          int32_t sx0 = tx, sy0 = y, sx1 = tx + 1, sy1 = y;
          ShownToStored(o, stored, sx0, sy0);
          ShownToStored(o, stored, sx1, sy1);
          run(context, y, tx, count, ptrdiff_t(sy0) * stride + ptrdiff_t(sx0) * 3,
              ptrdiff_t(sy1 - sy0) * stride + ptrdiff_t(sx1 - sx0) * 3);
        }
      }
    }
  };
  const int32_t workers =
      int32_t(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1u, 8u));
  std::vector<std::thread> threads;
  for (int32_t w = 1; w < workers; ++w) {
    try {
      threads.emplace_back(band, w, workers);
    } catch (const std::system_error&) {
      break;  // fewer threads: this one does the rest below
    }
  }
  band(0, workers);
  for (int32_t w = int32_t(threads.size()) + 1; w < workers; ++w) band(w, workers);
  for (std::thread& t : threads) t.join();
}

bool OrientImage(DibImage& image, Orientation o) {
  if (o < 2 || o > 8 || !image.HasImage() || image.width <= 0 || image.height <= 0) return true;
  const PixelSize stored{image.width, image.height};
  const PixelSize shown = ShownSize(stored, o);
  DibImage out(shown.width, shown.height);
  out.padBytes = DibPadBytes(shown.width);
  out.byteSize = uint32_t(out.Stride() * size_t(shown.height));
  out.pixels.reset(new (std::nothrow) uint8_t[out.byteSize]);
  if (!out.pixels) return false;
  // Row padding is never read, but a record is written whole to files.
  if (out.padBytes)
    for (int32_t y = 0; y < shown.height; ++y)
      std::memset(out.Row(y) + size_t(shown.width) * 3, 0, out.padBytes);
  struct Copy {
    const uint8_t* from;
    DibImage* to;
  } copy{image.pixels.get(), &out};
  ForEachUprightRun(
      stored, image.Stride(), o,
      [](void* c, int32_t y, int32_t x0, int32_t count, ptrdiff_t at, ptrdiff_t step) {
        const Copy& k = *static_cast<Copy*>(c);
        uint8_t* dst = k.to->Row(y) + size_t(x0) * 3;
        for (int32_t i = 0; i < count; ++i, dst += 3, at += step) {
          const uint8_t* src = k.from + at;
          dst[0] = src[0];
          dst[1] = src[1];
          dst[2] = src[2];
        }
      },
      &copy);
  image = std::move(out);
  return true;
}

}  // namespace kv
