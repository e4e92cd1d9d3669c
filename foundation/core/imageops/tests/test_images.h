#pragma once
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "foundation/core/imageops/image.h"
#include "foundation/core/imageops/isa.h"
#include "foundation/core/util/parallel.h"

namespace kv::testing {

// Deterministic noise, so failures reproduce.
inline uint32_t NextRandom(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

inline Image NoiseImage(int32_t w, int32_t h, PixelFormat f, uint32_t seed) {
  Image img(w, h, f, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * img.Channels(); ++x) img.Row(y)[x] = uint8_t(NextRandom(seed));
  return img;
}

inline const uint8_t* PixelAt(const Image& img, int32_t x, int32_t y) {
  return img.Row(y) + size_t(x) * img.Channels();
}

inline bool SameBytes(const Image& a, const Image& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  for (int32_t y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.Row(y), b.Row(y), size_t(a.Width()) * a.Channels()) != 0) return false;
  return true;
}

// Every job is split, even tiny ones, while it lives; the process-wide
// settings are restored on leaving.
struct SplitEverything {
  SplitEverything() { pool::SetMinParallelPixels(1); }
  ~SplitEverything() {
    pool::SetMinParallelPixels(0);
    imageops_internal::ForceIsa(imageops_internal::Isa::kAvx2);
    pool::SetThreads(0);
  }
};

// The instruction sets and thread counts whose results must agree byte for
// byte; sets the machine lacks fall back to narrower ones.
inline constexpr imageops_internal::Isa kAllIsas[] = {
    imageops_internal::Isa::kGeneric, imageops_internal::Isa::kSse2, imageops_internal::Isa::kAvx2};
inline constexpr int kThreadCounts[] = {1, 2, 3, 8};

}  // namespace kv::testing
