#include "foundation/core/image/orientation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/util/parallel.h"

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

TEST(Orientation, TilesOnAnyNumberOfThreadsAndPartsTurnAsTheWholeDoes) {
  // Four-byte pixels numbered by position, turned whole on one thread; in
  // odd sizes, and in rows of whole 16-byte blocks (written past the cache).
  for (const PixelSize stored : {PixelSize{201, 131}, PixelSize{128, 68}})
  for (Orientation o = 1; o <= 8; ++o) {
    SCOPED_TRACE(::testing::Message() << stored.width << " x " << stored.height << ", orientation " << o);
    std::vector<uint32_t> from(size_t(stored.width) * size_t(stored.height));
    for (size_t i = 0; i < from.size(); ++i) from[i] = uint32_t(i * 2654435761u);
    const auto* bytes = reinterpret_cast<const uint8_t*>(from.data());
    const size_t fromStride = size_t(stored.width) * 4;
    const PixelSize shown = ShownSize(stored, o);
    const ImageRect all{0, 0, shown.width, shown.height};
    const size_t stride = size_t(shown.width) * 4;
    pool::SetThreads(1);
    std::vector<uint32_t> whole(size_t(shown.width) * size_t(shown.height));
    ASSERT_TRUE(CopyUpright(o, stored, 4, bytes, fromStride, {0, 0, stored.width, stored.height},
                            reinterpret_cast<uint8_t*>(whole.data()), stride, all));
    for (int32_t y = 0; y < shown.height; ++y)
      for (int32_t x = 0; x < shown.width; ++x) {
        int32_t sx = x, sy = y;
        ShownToStored(o, stored, sx, sy);
        ASSERT_EQ(whole[size_t(y) * size_t(shown.width) + size_t(x)], from[size_t(sy) * size_t(stored.width) + size_t(sx)]);
      }
    // Split into tiles on three threads, and band by band from stored
    // rows as a decoder hands them over, into a part of the upright photo:
    // the same pixels, none outside the part written.
    pool::SetMinParallelPixels(1);
    pool::SetThreads(3);
    std::vector<uint32_t> split(whole.size());
    ASSERT_TRUE(CopyUpright(o, stored, 4, bytes, fromStride, {0, 0, stored.width, stored.height},
                            reinterpret_cast<uint8_t*>(split.data()), stride, all));
    EXPECT_EQ(split, whole);
    const ImageRect part{shown.width / 5, shown.height / 3, shown.width / 2, shown.height / 2};
    std::vector<uint32_t> cut(size_t(part.width) * size_t(part.height) + 1, 0xDEADBEEF);
    for (int32_t first = 0; first < stored.height; first += 64) {
      const int32_t rows = std::min(64, stored.height - first);
      ASSERT_TRUE(CopyUpright(o, stored, 4, bytes + size_t(first) * fromStride, fromStride,
                              {0, first, stored.width, rows}, reinterpret_cast<uint8_t*>(cut.data()),
                              size_t(part.width) * 4, part));
    }
    for (int32_t y = 0; y < part.height; ++y)
      ASSERT_EQ(0, std::memcmp(&cut[size_t(y) * size_t(part.width)],
                               &whole[size_t(part.y + y) * size_t(shown.width) + size_t(part.x)],
                               size_t(part.width) * 4)) << y;
    EXPECT_EQ(cut.back(), 0xDEADBEEF);
    // Given up before it starts: nothing is written.
    std::atomic<bool> stop{true};
    std::vector<uint32_t> none(whole.size(), 0);
    EXPECT_FALSE(CopyUpright(o, stored, 4, bytes, fromStride, {0, 0, stored.width, stored.height},
                             reinterpret_cast<uint8_t*>(none.data()), stride, all, &stop));
    EXPECT_EQ(none, std::vector<uint32_t>(whole.size(), 0));
    DibImage kept = Numbered(70, 70);
    EXPECT_FALSE(OrientImage(kept, o == 1 ? 6 : o, &stop));
    EXPECT_EQ(kept.width, 70);
    EXPECT_EQ(kept.Row(3)[3 * 5 + 1], 3);
    pool::SetMinParallelPixels(0);
    pool::SetThreads(0);
  }
}

}  // namespace
}  // namespace kv
