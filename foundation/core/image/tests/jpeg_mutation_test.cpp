// Damaged JPEG streams end in a clean success or failure, never a crash or
// a record whose layout disagrees with its fields (the sanitizer build checks
// every access).
#include <gtest/gtest.h>

#include <random>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "test_images.h"

namespace kv {
namespace {

TEST(JpegMutation, DamagedStreamsFailCleanly) {
  const std::vector<uint8_t> seed = EncodeJpeg(test::Gradient(48, 40), 80);
  ASSERT_FALSE(seed.empty());
  std::mt19937 rng(777);
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> b = seed;
    const int edits = 1 + int(rng() % 6);
    for (int e = 0; e < edits && !b.empty(); ++e) {
      const size_t at = rng() % b.size();
      switch (rng() % 3) {
        case 0: b[at] = uint8_t(rng()); break;
        case 1: b[at] ^= uint8_t(1u << (rng() % 8)); break;
        default: b.resize(at + 1); break;
      }
    }
    DibImage im;
    if (DecodeJpegBuffer(b.data(), b.size(), im) == 1) {
      ++decoded;
      ASSERT_TRUE(im.HasImage());
      ASSERT_EQ(im.padBytes, DibPadBytes(im.width));
      ASSERT_EQ(im.byteSize, uint32_t(im.Stride() * im.height));
      // Touch the last byte: the block really is that long.
      volatile uint8_t last = im.pixels[im.byteSize - 1];
      (void)last;
    } else {
      ASSERT_FALSE(im.HasImage());
    }
  }
  EXPECT_GT(decoded, 0);
}

}  // namespace
}  // namespace kv
