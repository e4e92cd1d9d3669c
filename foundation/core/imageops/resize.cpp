// Separable cubic resampling in fixed point.
//
// Each axis gets a table made once per call: for every output column (row)
// the first source pixel of a window of K taps and K weights in Q14 that sum
// to exactly 1 << 14. Taps that fall outside the image are folded onto the
// edge pixel (edge replication) and the window is slid inside the image, so
// the inner loops read contiguous pixels without bounds tests. The
// horizontal pass turns source rows into Q6 int16 rows, kept in a ring of K
// rows; the vertical pass combines them into output rows.
//
// Output rows are cut into bands worked on by the pool, each band with its
// own ring: a band recomputes at most K - 1 filtered rows of its neighbour,
// which costs less than sharing rows between threads would. Every output
// value is the same integer expression whatever the band, thread or
// instruction set (zero-weight padding taps add exactly 0 and no sum can
// saturate), so the result does not depend on either.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/core/imageops/image.h"
#include "foundation/core/imageops/isa.h"
#include "foundation/core/imageops/region.h"
#include "foundation/core/imageops/resize_kernel.h"
#include "foundation/core/imageops/simd.h"
#include "foundation/core/util/parallel.h"


namespace kv {

namespace {

using imageops_internal::Isa;

constexpr int kWeightBits = 14;
constexpr int kMidBits = 6;  // fractional bits of the intermediate rows
constexpr int kHorizShift = kWeightBits - kMidBits;
constexpr int kVertShift = kWeightBits + kMidBits;

struct AxisTable {
  int used = 0;                  // K
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
  t.used = k;
  t.taps = kp;
  t.start.resize(size_t(count));
  t.weights.assign(size_t(count) * size_t(kp), 0);
  // Kept cheap (no divisions or rounding calls per tap): the horizontal
  // table is made on the calling thread before the bands start.
  const int64_t span = int64_t(std::ceil(2.0 * radius));
  const double toKernel = 1.0 / widen;
  const double step = double(den) / double(num);
  std::vector<double> w(static_cast<size_t>(kp));
  for (int32_t i = 0; i < count; ++i) {
    const double centre = double(origin) + (double(first + i) + 0.5) * step - 0.5;
    const int64_t lo = int64_t(std::floor(centre - radius)) + 1;
    const int64_t begin = std::clamp<int64_t>(lo, 0, int64_t(size) - k);
    std::fill(w.begin(), w.end(), 0.0);
    double sum = 0.0;
    for (int64_t p = lo; p < lo + span; ++p) {
      const double v = CubicKernel((double(p) - centre) * toKernel);
      if (v == 0.0) continue;
      const int64_t at = std::clamp<int64_t>(p, 0, int64_t(size) - 1) - begin;
      w[size_t(at)] += v;
      sum += v;
    }
    const double toQ = double(1 << kWeightBits) / sum;
    int16_t* q = &t.weights[size_t(i) * size_t(kp)];
    int total = 0, best = 0;
    for (int j = 0; j < k; ++j) {
      const double x = w[size_t(j)] * toQ;
      q[j] = int16_t(x >= 0.0 ? int(x + 0.5) : -int(0.5 - x));  // halves away from zero
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

void HorizontalGeneric(const uint8_t* row, int channels, const AxisTable& t, const std::vector<int32_t>&,
                       int32_t count, int16_t* out) {
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

// BGRA, taps a multiple of 2: four pixels per load, pairs of taps per
// multiply-add, and a last pair from a two-pixel load (K = 5 at the
// real-size factor would otherwise run 8 taps).
void HorizontalBgraSse2(const uint8_t* row, int, const AxisTable& t, const std::vector<int32_t>& wv, int32_t count,
                        int16_t* out) {
  const int kp = t.taps;
  const __m128i zero = _mm_setzero_si128();
  const __m128i round = _mm_set1_epi32(1 << (kHorizShift - 1));
  const int32_t* w = wv.data();
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = row + size_t(t.start[size_t(i)]) * 4;
    __m128i acc = _mm_setzero_si128();
    int k = 0;
    for (; k + 4 <= kp; k += 4, p += 16, w += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i lo = _mm_unpacklo_epi8(v, zero);  // b0 g0 r0 a0 b1 g1 r1 a1
      const __m128i hi = _mm_unpackhi_epi8(v, zero);
      const __m128i lo2 = _mm_unpacklo_epi16(lo, _mm_srli_si128(lo, 8));  // b0 b1 g0 g1 ...
      const __m128i hi2 = _mm_unpacklo_epi16(hi, _mm_srli_si128(hi, 8));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(lo2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(hi2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 4))));
    }
    if (k < kp) {
      const __m128i lo = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
      const __m128i lo2 = _mm_unpacklo_epi16(lo, _mm_srli_si128(lo, 8));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(lo2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))));
      w += 4;
    }
    acc = _mm_srai_epi32(_mm_add_epi32(acc, round), kHorizShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(i) * 4), _mm_packs_epi32(acc, acc));
  }
}
#endif

#if defined(KV_HAVE_AVX2_PATH)
// The weights of outputs 2q and 2q + 1 side by side, one per lane: for each
// pair of taps, [pair of 2q x4 | pair of 2q+1 x4]. An odd last output is
// paired with zero weights.
std::vector<int32_t> LanePairVectors(const AxisTable& t, int32_t count) {
  const size_t pairs = size_t(t.taps) / 2;
  std::vector<int32_t> v(size_t((count + 1) / 2) * pairs * 8, 0);
  for (int32_t i = 0; i < count; ++i) {
    const int16_t* w = &t.weights[size_t(i) * size_t(t.taps)];
    int32_t* lane = &v[size_t(i / 2) * pairs * 8 + size_t(i % 2) * 4];
    for (size_t p = 0; p < pairs; ++p, lane += 8) {
      const int32_t pair = int32_t(uint16_t(w[2 * p]) | (uint32_t(uint16_t(w[2 * p + 1])) << 16));
      std::fill(lane, lane + 4, pair);
    }
  }
  return v;
}

// The sums of two output pixels, one per lane. Each step loads four pixels
// of both windows into one register; two in-lane shuffles widen them into
// the pairs of taps per channel. Against one pixel per register this saves
// the lane-crossing reduction of every pixel.
__attribute__((target("avx2"), always_inline)) inline __m256i TwoPixelsAvx2(const uint8_t* a, const uint8_t* b,
                                                                              const int32_t* w, int taps) {
  const __m256i lo = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,  //
                                      0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
  const __m256i hi = _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1,  //
                                      8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
  __m256i acc = _mm256_setzero_si256();
#pragma GCC unroll 4
  for (int k = 0; k < taps; k += 4, a += 16, b += 16, w += 16) {
    // A last pair of taps loads two pixels more than it uses: the image's
    // read slack covers them.
    const __m256i v = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(b)), 1);
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, lo),
                                                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w))));
    if (k + 2 < taps)
      acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_shuffle_epi8(v, hi),
                                                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8))));
  }
  return _mm256_srai_epi32(_mm256_add_epi32(acc, _mm256_set1_epi32(1 << (kHorizShift - 1))), kHorizShift);
}

// kFixedTaps > 0 lets the compiler unroll the usual window sizes.
template <int kFixedTaps>
__attribute__((target("avx2"))) void HorizontalBgraAvx2Taps(const uint8_t* row, const AxisTable& t,
                                                            const std::vector<int32_t>& wv, int32_t count,
                                                            int16_t* out) {
  const int taps = kFixedTaps > 0 ? kFixedTaps : t.taps;
  const size_t perPair = size_t(taps) * 4;  // int32 of weights per two outputs
  const int32_t* start = t.start.data();
  const int32_t* w = wv.data();
  int32_t i = 0;
  for (; i + 4 <= count; i += 4, w += 2 * perPair) {
    const __m256i ab = TwoPixelsAvx2(row + size_t(start[i]) * 4, row + size_t(start[i + 1]) * 4, w, taps);
    const __m256i cd =
        TwoPixelsAvx2(row + size_t(start[i + 2]) * 4, row + size_t(start[i + 3]) * 4, w + perPair, taps);
    // packs works per lane: [a c | b d], reordered to a b c d.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(ab, cd), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + size_t(i) * 4), packed);
  }
  if (i < count) {
    const bool two = i + 1 < count;
    const __m256i ab =
        TwoPixelsAvx2(row + size_t(start[i]) * 4, row + size_t(start[two ? i + 1 : i]) * 4, w, taps);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(ab, ab), 0x08);  // [a a | b b] to a b
    if (two)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(i) * 4), _mm256_castsi256_si128(packed));
    else
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(i) * 4), _mm256_castsi256_si128(packed));
    i += two ? 2 : 1;
    if (i < count) {
      const __m256i c = TwoPixelsAvx2(row + size_t(start[i]) * 4, row + size_t(start[i]) * 4, w + perPair, taps);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(i) * 4),
                       _mm256_castsi256_si128(_mm256_packs_epi32(c, c)));
    }
  }
}

void HorizontalBgraAvx2(const uint8_t* row, int, const AxisTable& t, const std::vector<int32_t>& wv, int32_t count,
                        int16_t* out) {
  switch (t.taps) {
    case 4: return HorizontalBgraAvx2Taps<4>(row, t, wv, count, out);
    case 6: return HorizontalBgraAvx2Taps<6>(row, t, wv, count, out);
    case 8: return HorizontalBgraAvx2Taps<8>(row, t, wv, count, out);
    case 10: return HorizontalBgraAvx2Taps<10>(row, t, wv, count, out);
    case 12: return HorizontalBgraAvx2Taps<12>(row, t, wv, count, out);
    default: return HorizontalBgraAvx2Taps<0>(row, t, wv, count, out);
  }
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

void VerticalGenericAll(const int16_t* const* rows, const int16_t* w, int taps, size_t n, uint8_t* out) {
  VerticalGeneric(rows, w, taps, 0, n, out);
}

#if defined(__SSE2__)
// Taps a multiple of 2. Eight values per step from `from` on.
size_t VerticalSse2From(const int16_t* const* rows, const int16_t* w, int taps, size_t from, size_t n,
                        uint8_t* out) {
  const __m128i round = _mm_set1_epi32(1 << (kVertShift - 1));
  size_t i = from;
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
  return i;
}

void VerticalSse2(const int16_t* const* rows, const int16_t* w, int taps, size_t n, uint8_t* out) {
  VerticalGeneric(rows, w, taps, VerticalSse2From(rows, w, taps, 0, n, out), n, out);
}
#endif

#if defined(KV_HAVE_AVX2_PATH)
// Thirty-two values per step: within each lane the 128-bit order is kept,
// so only the final byte pack needs its quarters put back in order.
__attribute__((target("avx2"))) void VerticalAvx2(const int16_t* const* rows, const int16_t* w, int taps, size_t n,
                                                  uint8_t* out) {
  const __m256i round = _mm256_set1_epi32(1 << (kVertShift - 1));
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
    for (int k = 0; k < taps; k += 2) {
      const int16_t* p0 = rows[k] + i;
      const int16_t* p1 = rows[k + 1] + i;
      const __m256i wp = _mm256_set1_epi32(int32_t(uint16_t(w[k]) | (uint32_t(uint16_t(w[k + 1])) << 16)));
      const __m256i r0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p0));
      const __m256i r1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p1));
      const __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p0 + 16));
      const __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p1 + 16));
      a0 = _mm256_add_epi32(a0, _mm256_madd_epi16(_mm256_unpacklo_epi16(r0, r1), wp));
      a1 = _mm256_add_epi32(a1, _mm256_madd_epi16(_mm256_unpackhi_epi16(r0, r1), wp));
      a2 = _mm256_add_epi32(a2, _mm256_madd_epi16(_mm256_unpacklo_epi16(s0, s1), wp));
      a3 = _mm256_add_epi32(a3, _mm256_madd_epi16(_mm256_unpackhi_epi16(s0, s1), wp));
    }
    a0 = _mm256_srai_epi32(_mm256_add_epi32(a0, round), kVertShift);
    a1 = _mm256_srai_epi32(_mm256_add_epi32(a1, round), kVertShift);
    a2 = _mm256_srai_epi32(_mm256_add_epi32(a2, round), kVertShift);
    a3 = _mm256_srai_epi32(_mm256_add_epi32(a3, round), kVertShift);
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(a0, a1), _mm256_packs_epi32(a2, a3));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(bytes, 0xD8));
  }
  VerticalGeneric(rows, w, taps, VerticalSse2From(rows, w, taps, i, n, out), n, out);
}
#endif

using HorizontalFn = void (*)(const uint8_t*, int, const AxisTable&, const std::vector<int32_t>&, int32_t,
                              int16_t*);
using VerticalFn = void (*)(const int16_t* const*, const int16_t*, int, size_t, uint8_t*);

struct Plan {
  const Image* src;
  Image* dst;
  AxisTable ht;
  std::vector<int32_t> hv;  // pair vectors of ht for the vector paths
  HorizontalFn horizontal;
  VerticalFn vertical;
  int32_t cols, outX, outY;  // output columns, and where output row 0 column 0 lands
  // The vertical axis: each band makes the part of the table it uses, so
  // that building it is shared out too.
  int32_t originY, numY, denY, firstY;
};

// Output rows [j0, j1) of the plan, with a ring of its own.
void ResizeBand(const Plan& plan, int32_t j0, int32_t j1) {
  const Image& src = *plan.src;
  const AxisTable vt = BuildAxis(plan.originY, plan.numY, plan.denY, plan.firstY + j0, j1 - j0, src.Height(), 2);
  const int ch = src.Channels();
  // The vertical windows only move forward, so K slots hold every row a
  // window needs.
  const int ringSize = vt.used;
  const size_t rowValues = size_t(plan.cols) * ch;
  const size_t rowPitch = (rowValues + 15) & ~size_t(15);
  // Every value read is written first: no need to clear.
  std::unique_ptr<int16_t[]> ring(new int16_t[rowPitch * size_t(ringSize)]);
  std::vector<int32_t> slotRow(size_t(ringSize), -1);
  std::vector<const int16_t*> taps(size_t(vt.taps));
  for (int32_t j = j0; j < j1; ++j) {
    const int32_t begin = vt.start[size_t(j - j0)];
    for (int k = 0; k < vt.used; ++k) {
      const int32_t r = begin + k;
      const size_t slot = size_t(r % ringSize);
      int16_t* buf = &ring[slot * rowPitch];
      if (slotRow[slot] != r) {
        plan.horizontal(src.Row(r), ch, plan.ht, plan.hv, plan.cols, buf);
        slotRow[slot] = r;
      }
      taps[size_t(k)] = buf;
    }
    // Padding taps weigh 0: any filtered row will do, so none is made for them.
    for (int k = vt.used; k < vt.taps; ++k) taps[size_t(k)] = taps[0];
    uint8_t* out = plan.dst->Row(plan.outY + j) + size_t(plan.outX) * ch;
    plan.vertical(taps.data(), &vt.weights[size_t(j - j0) * vt.taps], vt.taps, rowValues, out);
  }
}

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

  const Isa isa = imageops_internal::ActiveIsa();
  const bool vectorRows = ch == 4 && isa >= Isa::kSse2;
  Plan plan{&src, &dst, BuildAxis(roi.x, dstNumX, srcNumX, x0, cols, src.Width(), vectorRows ? 2 : 1),
            {}, HorizontalGeneric, VerticalGenericAll, cols, target.x + x0, target.y + y0,
            roi.y, dstNumY, srcNumY, y0};
  if (vectorRows) {
#if defined(KV_HAVE_AVX2_PATH)
    if (isa >= Isa::kAvx2) {
      plan.hv = LanePairVectors(plan.ht, cols);
      plan.horizontal = HorizontalBgraAvx2;
    }
#endif
#if defined(__SSE2__)
    if (plan.hv.empty()) {
      plan.hv = PairVectors(plan.ht);
      plan.horizontal = HorizontalBgraSse2;
    }
#endif
  }
#if defined(__SSE2__)
  if (isa >= Isa::kSse2) plan.vertical = VerticalSse2;
#endif
#if defined(KV_HAVE_AVX2_PATH)
  if (isa >= Isa::kAvx2) plan.vertical = VerticalAvx2;
#endif

  const int threads = pool::ThreadsFor(int64_t(cols) * rowsOut);
  // A few bands per thread even out a thread slowed by other work; more
  // would recompute more rows at the band edges.
  const int bands = threads == 1 ? 1 : std::min(rowsOut, threads * 3);
  pool::ParallelFor(bands, threads, [&](int b) {
    ResizeBand(plan, int32_t(int64_t(rowsOut) * b / bands), int32_t(int64_t(rowsOut) * (b + 1) / bands));
  });
  return true;
}

}  // namespace kv
