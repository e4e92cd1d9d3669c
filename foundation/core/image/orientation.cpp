#include "foundation/core/image/orientation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <new>

#include "foundation/core/image/jpeg_segments.h"
#include "foundation/core/util/parallel.h"
#include "foundation/core/util/stop.h"

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

namespace {

// Runs of `count` pixels, the source moving `step` bytes a pixel.
template <int kBytes>
void CopyRun(const uint8_t* s, ptrdiff_t step, uint8_t* d, int32_t count) {
  for (int32_t i = 0; i < count; ++i, s += step, d += kBytes) std::memcpy(d, s, kBytes);
}

// Four-byte runs: along the stored row (a copy), backwards along it (a
// mirror: four pixels a load, put back in reverse), or down a column.
void CopyRun4(const uint8_t* s, ptrdiff_t step, uint8_t* d, int32_t count) {
  if (step == 4) {
    std::memcpy(d, s, size_t(count) * 4);
    return;
  }
  int32_t i = 0;
#if defined(__SSE2__)
  if (step == -4)
    for (; i + 4 <= count; i += 4, s -= 16, d += 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                       _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s - 12)), 0x1B));
#endif
  CopyRun<4>(s, step, d, count - i);
}

#if defined(__SSE2__)
// Four shown rows of a quarter turn in four-byte pixels, four pixels at a
// time: one load brings a column's four pixels (one per shown row; the
// next row `rowStep`, 4 or -4 bytes, further), and a 4 x 4 transpose makes
// four stores of a row's four. A quarter of the loads and stores of the
// pixel-by-pixel copy, whose every load is from another stored row.
void QuarterTurnFourRows(const uint8_t* s, ptrdiff_t step, ptrdiff_t rowStep, uint8_t* d,
                         ptrdiff_t dStride, int32_t count) {
  const bool stream = ((reinterpret_cast<uintptr_t>(d) | uintptr_t(dStride)) & 15) == 0;
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i v[4];
    for (int k = 0; k < 4; ++k) {
      const uint8_t* p = s + ptrdiff_t(i + k) * step;
      v[k] = rowStep > 0 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))
                         : _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 12)), 0x1B);
    }
    const __m128i lo01 = _mm_unpacklo_epi32(v[0], v[1]), lo23 = _mm_unpacklo_epi32(v[2], v[3]);
    const __m128i hi01 = _mm_unpackhi_epi32(v[0], v[1]), hi23 = _mm_unpackhi_epi32(v[2], v[3]);
    uint8_t* out = d + ptrdiff_t(i) * 4;
    if (stream) {
      _mm_stream_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(lo01, lo23));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + dStride), _mm_unpackhi_epi64(lo01, lo23));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + 2 * dStride), _mm_unpacklo_epi64(hi01, hi23));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + 3 * dStride), _mm_unpackhi_epi64(hi01, hi23));
    } else {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(lo01, lo23));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + dStride), _mm_unpackhi_epi64(lo01, lo23));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * dStride), _mm_unpacklo_epi64(hi01, hi23));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * dStride), _mm_unpackhi_epi64(hi01, hi23));
    }
  }
  for (int j = 0; j < 4; ++j)
    CopyRun4(s + ptrdiff_t(j) * rowStep + ptrdiff_t(i) * step, step, d + ptrdiff_t(j) * dStride + ptrdiff_t(i) * 4,
               count - i);
}
#endif

}  // namespace

bool CopyUpright(Orientation o, PixelSize stored, int pixelBytes, const uint8_t* from,
                 size_t fromStride, ImageRect fromArea, uint8_t* to, size_t toStride,
                 ImageRect toArea, const std::atomic<bool>* stop, int threads) {
  if (o < 1 || o > 8) o = 1;
  if ((pixelBytes != 3 && pixelBytes != 4) || fromArea.width <= 0 || fromArea.height <= 0 ||
      toArea.width <= 0 || toArea.height <= 0)
    return !StopRequested(stop);
  // Where the stored area shows, cut to the area written.
  int32_t ax = fromArea.x, ay = fromArea.y;
  int32_t bx = fromArea.x + fromArea.width - 1, by = fromArea.y + fromArea.height - 1;
  StoredToShown(o, stored, ax, ay);
  StoredToShown(o, stored, bx, by);
  const int32_t x0 = std::max(std::min(ax, bx), toArea.x);
  const int32_t y0 = std::max(std::min(ay, by), toArea.y);
  const int32_t x1 = std::min(std::max(ax, bx) + 1, toArea.x + toArea.width);
  const int32_t y1 = std::min(std::max(ay, by) + 1, toArea.y + toArea.height);
  if (x0 >= x1 || y0 >= y1) return !StopRequested(stop);
  constexpr int32_t kTile = 64;
  const int32_t tilesX = (x1 - x0 + kTile - 1) / kTile;
  const int32_t tilesY = (y1 - y0 + kTile - 1) / kTile;
  const ptrdiff_t sStride = ptrdiff_t(fromStride), dStride = ptrdiff_t(toStride);
  const ptrdiff_t bytes = pixelBytes;
  const int shareOut = pool::ThreadsFor(int64_t(x1 - x0) * (y1 - y0));
  return pool::ParallelFor(
      int(tilesX * tilesY), threads > 0 ? std::min(threads, shareOut) : shareOut, stop, [&](int t) {
        const int32_t tx = x0 + (t % tilesX) * kTile, ty = y0 + (t / tilesX) * kTile;
        const int32_t count = std::min(x1, tx + kTile) - tx, yEnd = std::min(y1, ty + kTile);
        for (int32_t y = ty; y < yEnd; ++y) {
          // Along a shown row the stored pixel moves by a fixed step.
          int32_t sx0 = tx, sy0 = y, sx1 = tx + 1, sy1 = y;
          ShownToStored(o, stored, sx0, sy0);
          ShownToStored(o, stored, sx1, sy1);
          const uint8_t* s = from + ptrdiff_t(sy0 - fromArea.y) * sStride + ptrdiff_t(sx0 - fromArea.x) * bytes;
          const ptrdiff_t step = ptrdiff_t(sy1 - sy0) * sStride + ptrdiff_t(sx1 - sx0) * bytes;
          uint8_t* d = to + ptrdiff_t(y - toArea.y) * dStride + ptrdiff_t(tx - toArea.x) * bytes;
#if defined(__SSE2__)
          // A quarter turn: the next shown row is the stored column beside.
          if (pixelBytes == 4 && SwapsSides(o) && yEnd - y >= 4) {
            int32_t nx = tx, ny = y + 1;
            ShownToStored(o, stored, nx, ny);
            const ptrdiff_t rowStep = ptrdiff_t(ny - sy0) * sStride + ptrdiff_t(nx - sx0) * 4;
            if (rowStep == 4 || rowStep == -4) {
              QuarterTurnFourRows(s, step, rowStep, d, dStride, count);
              y += 3;
              continue;
            }
          }
#endif
          if (pixelBytes == 4)
            CopyRun4(s, step, d, count);
          else
            CopyRun<3>(s, step, d, count);
        }
#if defined(__SSE2__)
        _mm_sfence();
#endif
      });
}

bool OrientImage(DibImage& image, Orientation o, const std::atomic<bool>* stop) {
  if (o < 2 || o > 8 || !image.HasImage() || image.width <= 0 || image.height <= 0) return true;
  const PixelSize stored{image.width, image.height};
  const PixelSize shown = ShownSize(stored, o);
  DibImage out;
  if (!AllocateDib(out, shown.width, shown.height)) return false;
  if (!CopyUpright(o, stored, 3, image.pixels.get(), image.Stride(), {0, 0, stored.width, stored.height},
                   out.pixels.get(), out.Stride(), {0, 0, shown.width, shown.height}, stop))
    return false;
  image = std::move(out);
  return true;
}

}  // namespace kv
