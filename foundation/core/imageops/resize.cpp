// Separable cubic resampling in fixed point.
//
// Each axis gets a table made once per call: for every output column (row)
// the first source pixel of a window of K taps and K weights in Q14 that sum
// to exactly 1 << 14. Taps that fall outside the image are folded onto the
// edge pixel (edge replication) and the window is slid inside the image, so
// the inner loops read contiguous pixels without bounds tests. The
// horizontal pass turns source rows into Q6 int16 rows, kept in a ring of K
// rows; the vertical pass combines them into output rows.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/core/imageops/image.h"
#include "foundation/core/imageops/region.h"
#include "foundation/core/imageops/resize_kernel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kv {

namespace {

constexpr int kWeightBits = 14;
constexpr int kMidBits = 6;  // fractional bits of the intermediate rows
constexpr int kHorizShift = kWeightBits - kMidBits;
constexpr int kVertShift = kWeightBits + kMidBits;

struct AxisTable {
  int taps = 0;                  // K, rounded up to the vector step
  std::vector<int32_t> start;    // first source pixel of each window
  std::vector<int16_t> weights;  // taps per output, Q14
};

// Builds the windows for outputs first..first+count-1 of an axis whose
// output pixel o covers the source span [origin + o / s, origin + (o+1) / s)
// with s = num / den, over a source of `size` pixels.
AxisTable BuildAxis(int32_t origin, int64_t num, int64_t den, int32_t first, int32_t count,
                    int32_t size, int tapStep) {
  AxisTable t;
  const double scale = double(num) / double(den);
  const double widen = scale < 1.0 ? 1.0 / scale : 1.0;
  const double radius = kCubicRadius * widen;
  int k = int(std::ceil(2.0 * radius));
  k = std::min(k, int(size));  // a window never needs more than the whole axis
  const int kp = (k + tapStep - 1) / tapStep * tapStep;
  t.taps = kp;
  t.start.resize(size_t(count));
  t.weights.assign(size_t(count) * size_t(kp), 0);
  std::vector<double> w(static_cast<size_t>(kp));
  for (int32_t i = 0; i < count; ++i) {
    const double centre = double(origin) + (double(first + i) + 0.5) * double(den) / double(num) - 0.5;
    const int64_t lo = int64_t(std::floor(centre - radius)) + 1;
    const int64_t begin = std::clamp<int64_t>(lo, 0, int64_t(size) - k);
    std::fill(w.begin(), w.end(), 0.0);
    double sum = 0.0;
    for (int64_t p = lo; p < lo + int64_t(std::ceil(2.0 * radius)); ++p) {
      const double v = CubicKernel((double(p) - centre) / widen);
      if (v == 0.0) continue;
      const int64_t at = std::clamp<int64_t>(p, 0, int64_t(size) - 1) - begin;
      w[size_t(at)] += v;
      sum += v;
    }
    int16_t* q = &t.weights[size_t(i) * size_t(kp)];
    int total = 0, best = 0;
    for (int j = 0; j < k; ++j) {
      q[j] = int16_t(std::lround(w[size_t(j)] / sum * (1 << kWeightBits)));
      total += q[j];
      if (q[j] > q[best]) best = j;
    }
    // Rounding must not change the sum, or flat areas would drift.
    q[best] = int16_t(q[best] + ((1 << kWeightBits) - total));
    t.start[size_t(i)] = int32_t(begin);
  }
  return t;
}

// Outputs [first, end) within [0, limit) whose pixel centre
// origin + (o + 0.5) / s lies inside [0, size); exact integer tests.
void InsideRange(int32_t origin, int64_t num, int64_t den, int32_t size, int32_t limit, int32_t& first,
                 int32_t& end) {
  auto inside = [&](int64_t o) {
    const int64_t v = 2 * int64_t(origin) * num + (2 * o + 1) * den;
    return v >= 0 && v < 2 * int64_t(size) * num;
  };
  int32_t f = 0;
  while (f < limit && !inside(f)) ++f;
  int32_t e = f;
  while (e < limit && inside(e)) ++e;
  first = f;
  end = e;
}

// ---- horizontal pass: one source row to Q6 int16 ----

void HorizontalGeneric(const uint8_t* row, int channels, const AxisTable& t, int32_t count, int16_t* out) {
  const int kp = t.taps;
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = row + size_t(t.start[size_t(i)]) * channels;
    const int16_t* w = &t.weights[size_t(i) * kp];
    for (int c = 0; c < channels; ++c) {
      int32_t acc = 0;
      for (int k = 0; k < kp; ++k) acc += int32_t(w[k]) * p[k * channels + c];
      out[size_t(i) * channels + c] = int16_t((acc + (1 << (kHorizShift - 1))) >> kHorizShift);
    }
  }
}

#if defined(__SSE2__)
// BGRA, taps a multiple of 4: four pixels per load, pairs of taps per
// multiply-add.
void HorizontalBgraSse2(const uint8_t* row, const AxisTable& t, const std::vector<int32_t>& wv, int32_t count,
                        int16_t* out) {
  const int kp = t.taps;
  const __m128i zero = _mm_setzero_si128();
  const __m128i round = _mm_set1_epi32(1 << (kHorizShift - 1));
  const int32_t* w = wv.data();
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = row + size_t(t.start[size_t(i)]) * 4;
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < kp; k += 4, p += 16, w += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i lo = _mm_unpacklo_epi8(v, zero);  // b0 g0 r0 a0 b1 g1 r1 a1
      const __m128i hi = _mm_unpackhi_epi8(v, zero);
      const __m128i lo2 = _mm_unpacklo_epi16(lo, _mm_srli_si128(lo, 8));  // b0 b1 g0 g1 ...
      const __m128i hi2 = _mm_unpacklo_epi16(hi, _mm_srli_si128(hi, 8));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(lo2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(hi2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 4))));
    }
    acc = _mm_srai_epi32(_mm_add_epi32(acc, round), kHorizShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(i) * 4), _mm_packs_epi32(acc, acc));
  }
}

// Each pair of taps as a vector [w0 w1 w0 w1 w0 w1 w0 w1].
std::vector<int32_t> PairVectors(const AxisTable& t) {
  std::vector<int32_t> v;
  v.reserve(t.weights.size() * 2);
  for (size_t j = 0; j + 1 < t.weights.size(); j += 2) {
    const int32_t pair = int32_t(uint16_t(t.weights[j]) | (uint32_t(uint16_t(t.weights[j + 1])) << 16));
    v.insert(v.end(), {pair, pair, pair, pair});
  }
  return v;
}
#endif

// ---- vertical pass: K intermediate rows to one output row ----

void VerticalGeneric(const int16_t* const* rows, const int16_t* w, int taps, size_t from, size_t n,
                     uint8_t* out) {
  for (size_t i = from; i < n; ++i) {
    int32_t acc = 0;
    for (int k = 0; k < taps; ++k) acc += int32_t(w[k]) * rows[k][i];
    acc = (acc + (1 << (kVertShift - 1))) >> kVertShift;
    out[i] = uint8_t(std::clamp(acc, 0, 255));
  }
}

#if defined(__SSE2__)
// Taps a multiple of 2. Eight values per step.
void VerticalSse2(const int16_t* const* rows, const int16_t* w, int taps, size_t n, uint8_t* out) {
  const __m128i round = _mm_set1_epi32(1 << (kVertShift - 1));
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i a0 = _mm_setzero_si128(), a1 = _mm_setzero_si128();
    for (int k = 0; k < taps; k += 2) {
      const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + i));
      const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + i));
      const __m128i wp =
          _mm_set1_epi32(int32_t(uint16_t(w[k]) | (uint32_t(uint16_t(w[k + 1])) << 16)));
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi16(r0, r1), wp));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi16(r0, r1), wp));
    }
    a0 = _mm_srai_epi32(_mm_add_epi32(a0, round), kVertShift);
    a1 = _mm_srai_epi32(_mm_add_epi32(a1, round), kVertShift);
    const __m128i s16 = _mm_packs_epi32(a0, a1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(s16, s16));
  }
  VerticalGeneric(rows, w, taps, i, n, out);
}
#endif

}  // namespace

bool ResizeImage(const Image& src, Image& dst, int32_t dstNumX, int32_t srcNumX, int32_t dstNumY,
                 int32_t srcNumY, Interpolation) {
  if (src.IsEmpty() || dst.IsEmpty() || src.Format() != dst.Format()) return false;
  if (dstNumX <= 0 || srcNumX <= 0 || dstNumY <= 0 || srcNumY <= 0) return false;
  if (dstNumX == srcNumX && dstNumY == srcNumY) return CopyImage(src, dst);

  const Roi roi = src.GetRoi();
  const Rect target = TargetRegion(dst);
  if (roi.width <= 0 || roi.height <= 0 || target.width == 0) return true;
  const int32_t outW = int32_t(std::min<int64_t>(target.width, int64_t(roi.width) * dstNumX / srcNumX));
  const int32_t outH = int32_t(std::min<int64_t>(target.height, int64_t(roi.height) * dstNumY / srcNumY));
  int32_t x0, x1, y0, y1;
  InsideRange(roi.x, dstNumX, srcNumX, src.Width(), outW, x0, x1);
  InsideRange(roi.y, dstNumY, srcNumY, src.Height(), outH, y0, y1);
  if (x0 >= x1 || y0 >= y1) return true;
  const int32_t cols = x1 - x0, rowsOut = y1 - y0;
  const int ch = src.Channels();

#if defined(__SSE2__)
  const bool sse = ch == 4;
#else
  const bool sse = false;
#endif
  const AxisTable ht = BuildAxis(roi.x, dstNumX, srcNumX, x0, cols, src.Width(), sse ? 4 : 1);
  const AxisTable vt = BuildAxis(roi.y, dstNumY, srcNumY, y0, rowsOut, src.Height(), 2);
#if defined(__SSE2__)
  const std::vector<int32_t> hv = sse ? PairVectors(ht) : std::vector<int32_t>{};
#endif

  // The ring of horizontally filtered rows: the vertical windows only move
  // forward, so K slots hold every row a window needs.
  const int ringSize = std::min<int>(vt.taps, src.Height());
  const size_t rowValues = size_t(cols) * ch;
  const size_t rowPitch = (rowValues + 15) & ~size_t(7);
  std::vector<int16_t> ring(rowPitch * size_t(ringSize), 0);
  std::vector<int32_t> slotRow(size_t(ringSize), -1);
  std::vector<const int16_t*> taps(size_t(vt.taps));

  for (int32_t j = 0; j < rowsOut; ++j) {
    const int32_t begin = vt.start[size_t(j)];
    const int16_t* w = &vt.weights[size_t(j) * vt.taps];
    for (int k = 0; k < vt.taps; ++k) {
      // Padding taps (weight 0) beyond the image reuse a real row.
      const int32_t r = std::min(begin + k, src.Height() - 1);
      const size_t slot = size_t(r % ringSize);
      int16_t* buf = &ring[slot * rowPitch];
      if (slotRow[slot] != r) {
#if defined(__SSE2__)
        if (sse)
          HorizontalBgraSse2(src.Row(r), ht, hv, cols, buf);
        else
#endif
          HorizontalGeneric(src.Row(r), ch, ht, cols, buf);
        slotRow[slot] = r;
      }
      taps[size_t(k)] = buf;
    }
    uint8_t* out = dst.Row(target.y + y0 + j) + size_t(target.x + x0) * ch;
#if defined(__SSE2__)
    VerticalSse2(taps.data(), w, vt.taps, rowValues, out);
#else
    VerticalGeneric(taps.data(), w, vt.taps, 0, rowValues, out);
#endif
  }
  return true;
}

}  // namespace kv
