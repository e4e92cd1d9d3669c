#pragma once
#include <cstdint>

#include "foundation/core/imageops/image.h"

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

}  // namespace kv::testing
