#include "foundation/core/image/orientation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"

namespace kv {
namespace {

// A small photo whose every pixel is different.
DibImage Numbered(int32_t w, int32_t h) {
  DibImage img(w, h);
  img.padBytes = DibPadBytes(w);
  img.byteSize = uint32_t(img.Stride() * size_t(h));
  img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      img.Row(y)[3 * x] = uint8_t(x);
      img.Row(y)[3 * x + 1] = uint8_t(y);
      img.Row(y)[3 * x + 2] = uint8_t(x * 7 + y);
    }
  return img;
}

TEST(Orientation, ReadsTheTagInBothByteOrdersAndOneOtherwise) {
  const std::vector<uint8_t> plain = EncodeJpeg(Numbered(40, 24), 90);
  EXPECT_EQ(ReadExifOrientation(plain.data(), plain.size()), 1);
  EXPECT_EQ(ReadJpegSize(plain.data(), plain.size()), (PixelSize{40, 24}));
  for (uint16_t o = 1; o <= 8; ++o)
    for (bool little : {true, false}) {
      const std::vector<uint8_t> j = testing::WithExif(plain, o, little);
      EXPECT_EQ(ReadExifOrientation(j.data(), j.size()), o) << o << little;
      EXPECT_EQ(ReadJpegSize(j.data(), j.size()), (PixelSize{40, 24}));
    }
  // Unknown values, a directory past the segment, no JPEG at all.
  for (const std::vector<uint8_t>& j :
       {testing::WithExif(plain, 9, true), testing::WithExif(plain, 0, false), testing::WithExif(plain, 6, true, 4000),
        testing::WithExif(plain, 6, true, 0xFFFFFFF0u), std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE1, 0, 1}})
    EXPECT_EQ(ReadExifOrientation(j.data(), j.size()), 1);
  EXPECT_EQ(ReadExifOrientation(nullptr, 0), 1);
  // Cut anywhere or with bytes changed, it still only reads what is there
  // (the sanitizers watch) and answers a valid orientation.
  const std::vector<uint8_t> six = testing::WithExif(plain, 6, false);
  std::mt19937 rng(11);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> m(six.begin(), six.begin() + std::ptrdiff_t(rng() % 120));
    if (i % 2) {
      m = six;
      for (int k = 0; k < 4; ++k) m[2 + rng() % 60] = uint8_t(rng());
    }
    const Orientation o = ReadExifOrientation(m.data(), m.size());
    ASSERT_TRUE(o >= 1 && o <= 8);
    ReadJpegSize(m.data(), m.size());
  }
}

TEST(Orientation, PointsAndPicturesTurnTheSameWayAndBack) {
  const DibImage stored = Numbered(5, 3);
  const PixelSize size{5, 3};
  for (Orientation o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    DibImage shown = Numbered(5, 3);
    ASSERT_TRUE(OrientImage(shown, o));
    const PixelSize s = ShownSize(size, o);
    ASSERT_EQ(shown.width, s.width);
    ASSERT_EQ(shown.height, s.height);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) {
        int32_t px = x, py = y;
        StoredToShown(o, size, px, py);
        ASSERT_TRUE(px >= 0 && py >= 0 && px < s.width && py < s.height);
        EXPECT_EQ(0, std::memcmp(shown.Row(py) + 3 * px, stored.Row(y) + 3 * x, 3));
        ShownToStored(o, size, px, py);
        EXPECT_EQ(px, x);
        EXPECT_EQ(py, y);
      }
  }
  // A quarter turn clockwise puts the stored top-left corner top right.
  int32_t x = 0, y = 0;
  StoredToShown(6, size, x, y);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 0);
  // A photo larger than a tile, turned and turned back.
  DibImage big = Numbered(150, 97);
  ASSERT_TRUE(OrientImage(big, 6));
  ASSERT_TRUE(OrientImage(big, 8));
  const DibImage again = Numbered(150, 97);
  ASSERT_EQ(big.width, 150);
  for (int32_t r = 0; r < 97; ++r) ASSERT_EQ(0, std::memcmp(big.Row(r), again.Row(r), 150 * 3));
}

}  // namespace
}  // namespace kv
