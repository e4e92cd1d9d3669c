// The 2 x 2 box average that builds the viewer's smaller copies of a photo.
// It reads four bytes for every one it writes, so it is bound by memory
// more than arithmetic: the vector paths mainly keep loads wide, and bands
// of output rows let both cores' memory traffic overlap.
#include <algorithm>
#include <cstdint>

#include "foundation/core/imageops/image.h"
#include "foundation/core/imageops/isa.h"
#include "foundation/core/imageops/simd.h"
#include "foundation/core/util/parallel.h"
#include "foundation/core/util/stop.h"


namespace kv {

namespace {

using imageops_internal::Isa;

// Output pixels of a band when the caller may stop: about a millisecond.
constexpr int64_t kStopBandPixels = int64_t(1) << 19;

// Output pixels [from, n) of one row from source rows a and b.
void HalveRowGeneric(const uint8_t* a, const uint8_t* b, int32_t from, int32_t n, uint8_t* out) {
  for (int32_t x = from; x < n; ++x) {
    const uint8_t* p = a + 8 * size_t(x);
    const uint8_t* q = b + 8 * size_t(x);
    for (int c = 0; c < 4; ++c)
      out[4 * size_t(x) + c] = uint8_t((p[c] + p[c + 4] + q[c] + q[c + 4] + 2) >> 2);
  }
}

#if defined(__SSE2__)
// Four output pixels per step: the two rows summed as 16-bit, then each
// pixel's neighbour added by swapping 64-bit halves.
int32_t HalveRowSse2From(const uint8_t* a, const uint8_t* b, int32_t from, int32_t n, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = _mm_set1_epi16(2);
  int32_t x = from;
  for (; x + 4 <= n; x += 4) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * size_t(x)));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * size_t(x) + 16));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * size_t(x)));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * size_t(x) + 16));
    // Pixels 0 1 | 2 3 of each 16-byte load, both rows added.
    const __m128i s01 = _mm_add_epi16(_mm_unpacklo_epi8(a0, zero), _mm_unpacklo_epi8(b0, zero));
    const __m128i s23 = _mm_add_epi16(_mm_unpackhi_epi8(a0, zero), _mm_unpackhi_epi8(b0, zero));
    const __m128i s45 = _mm_add_epi16(_mm_unpacklo_epi8(a1, zero), _mm_unpacklo_epi8(b1, zero));
    const __m128i s67 = _mm_add_epi16(_mm_unpackhi_epi8(a1, zero), _mm_unpackhi_epi8(b1, zero));
    __m128i o01 = _mm_add_epi16(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
    __m128i o23 = _mm_add_epi16(_mm_unpacklo_epi64(s45, s67), _mm_unpackhi_epi64(s45, s67));
    o01 = _mm_srli_epi16(_mm_add_epi16(o01, two), 2);
    o23 = _mm_srli_epi16(_mm_add_epi16(o23, two), 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * size_t(x)), _mm_packus_epi16(o01, o23));
  }
  return x;
}

void HalveRowSse2(const uint8_t* a, const uint8_t* b, int32_t n, uint8_t* out) {
  HalveRowGeneric(a, b, HalveRowSse2From(a, b, 0, n, out), n, out);
}
#endif

void HalveRowGenericAll(const uint8_t* a, const uint8_t* b, int32_t n, uint8_t* out) {
  HalveRowGeneric(a, b, 0, n, out);
}

#if defined(KV_HAVE_AVX2_PATH)
// The same in 256-bit lanes, eight output pixels per step; lanes keep their
// own order, so the packed quarters are put back in order at the end.
__attribute__((target("avx2"))) void HalveRowAvx2(const uint8_t* a, const uint8_t* b, int32_t n, uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i two = _mm256_set1_epi16(2);
  int32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 8 * size_t(x)));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 8 * size_t(x) + 32));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 8 * size_t(x)));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 8 * size_t(x) + 32));
    const __m256i lo0 = _mm256_add_epi16(_mm256_unpacklo_epi8(a0, zero), _mm256_unpacklo_epi8(b0, zero));
    const __m256i hi0 = _mm256_add_epi16(_mm256_unpackhi_epi8(a0, zero), _mm256_unpackhi_epi8(b0, zero));
    const __m256i lo1 = _mm256_add_epi16(_mm256_unpacklo_epi8(a1, zero), _mm256_unpacklo_epi8(b1, zero));
    const __m256i hi1 = _mm256_add_epi16(_mm256_unpackhi_epi8(a1, zero), _mm256_unpackhi_epi8(b1, zero));
    // Lane by lane, o0 holds outputs 0 1 | 2 3 and o1 outputs 4 5 | 6 7.
    __m256i o0 = _mm256_add_epi16(_mm256_unpacklo_epi64(lo0, hi0), _mm256_unpackhi_epi64(lo0, hi0));
    __m256i o1 = _mm256_add_epi16(_mm256_unpacklo_epi64(lo1, hi1), _mm256_unpackhi_epi64(lo1, hi1));
    o0 = _mm256_srli_epi16(_mm256_add_epi16(o0, two), 2);
    o1 = _mm256_srli_epi16(_mm256_add_epi16(o1, two), 2);
    const __m256i bytes = _mm256_packus_epi16(o0, o1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * size_t(x)), _mm256_permute4x64_epi64(bytes, 0xD8));
  }
  HalveRowGeneric(a, b, HalveRowSse2From(a, b, x, n, out), n, out);
}
#endif

}  // namespace

bool HalveImage(const Image& src, Image& dst, const std::atomic<bool>* stop) {
  if (StopRequested(stop)) return false;
  if (src.IsEmpty() || src.Format() != PixelFormat::kBgra || src.Width() < 2 || src.Height() < 2) return false;
  const int32_t w = src.Width() / 2, h = src.Height() / 2;
  // Made aside and moved in at the end, so that halving an image into
  // itself reads the source until done.
  Image made;
  Image* out = &dst;
  if (dst.IsEmpty() || dst.Width() != w || dst.Height() != h || dst.Format() != PixelFormat::kBgra) {
    made = Image(w, h, PixelFormat::kBgra);
    if (made.IsEmpty()) return false;
    out = &made;
  }
  void (*row)(const uint8_t*, const uint8_t*, int32_t, uint8_t*) = HalveRowGenericAll;
  const Isa isa = imageops_internal::ActiveIsa();
#if defined(__SSE2__)
  if (isa >= Isa::kSse2) row = HalveRowSse2;
#endif
#if defined(KV_HAVE_AVX2_PATH)
  if (isa >= Isa::kAvx2) row = HalveRowAvx2;
#endif
  (void)isa;
  const int threads = pool::ThreadsFor(int64_t(w) * h);
  // A few bands per thread even out a thread slowed by other work; where the
  // caller may stop, bands are kept small enough that a stop is seen soon.
  int bands = threads == 1 ? 1 : threads * 3;
  if (stop) bands = int(std::max<int64_t>(bands, int64_t(w) * h / kStopBandPixels));
  bands = std::min(h, bands);
  if (!pool::ParallelFor(bands, threads, stop, [&](int band) {
        const int32_t y1 = int32_t(int64_t(h) * (band + 1) / bands);
        for (int32_t y = int32_t(int64_t(h) * band / bands); y < y1; ++y)
          row(src.Row(2 * y), src.Row(2 * y + 1), w, out->Row(y));
      }))
    return false;
  if (out == &made) dst = std::move(made);
  return true;
}

}  // namespace kv
