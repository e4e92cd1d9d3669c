#include "foundation/core/image/thumbnail.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "test_images.h"

namespace kv {
namespace {

// A photo whose every pixel encodes its own column (and row) so the sampling
// can be read back.
DibImage Coded(int32_t w, int32_t h) {
  DibImage im(w, h);
  im.padBytes = DibPadBytes(w);
  im.byteSize = uint32_t(im.Stride() * h);
  im.pixels.reset(new uint8_t[im.byteSize]());
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) PutPackedPixel(im, x, y, (uint32_t(y) << 12) | uint32_t(x));
  return im;
}

class Thumbnail : public ::testing::Test {
 protected:
  void SetUp() override { CreateThumbnailDib(section_); }
  DibImage& dst() { return section_.image; }
  // Screen row (0 = top) to memory row of the bottom-up bitmap.
  uint32_t AtScreen(int32_t x, int32_t screenRow) { return GetPackedPixel(dst(), x, 239 - screenRow); }
  DibSectionImage section_;
  ImageScaler scaler_;
};

TEST_F(Thumbnail, SectionIsBlackAndSized) {
  EXPECT_EQ(dst().width, 240);
  EXPECT_EQ(dst().height, 240);
  EXPECT_EQ(dst().byteSize, 172800u);
  EXPECT_EQ(dst().padBytes, 0u);
  EXPECT_EQ(GetPackedPixel(dst(), 120, 120), 0u);
}

TEST_F(Thumbnail, FrameColoursAndPlaces) {
  const DibImage src = Coded(480, 480);
  scaler_.ResampleToThumbnail(src, dst());
  EXPECT_EQ(GetPackedPixel(dst(), 0, 239), 8685188u);    // top-left corner, grey
  EXPECT_EQ(GetPackedPixel(dst(), 238, 239), 8685188u);  // top row to w - 2
  EXPECT_EQ(GetPackedPixel(dst(), 239, 239), 65793u);    // right column wins the corner
  EXPECT_EQ(GetPackedPixel(dst(), 0, 0), 65793u);        // bottom row near-black
  EXPECT_EQ(GetPackedPixel(dst(), 0, 100), 8685188u);    // left column grey
  EXPECT_EQ(GetPackedPixel(dst(), 50, 1), 13027270u);    // light grey inside the bottom
  EXPECT_EQ(GetPackedPixel(dst(), 238, 50), 13027270u);  // and inside the right
  EXPECT_EQ(GetPackedPixel(dst(), 239, 50), 65793u);
}

TEST_F(Thumbnail, SquarePhotoMapsColumnsByPointSampling) {
  const DibImage src = Coded(480, 480);
  scaler_.ResampleToThumbnail(src, dst());
  auto column = [&](int32_t i) { return AtScreen(i + 1, 1) & 0xFFF; };
  EXPECT_EQ(column(0), 0u);
  EXPECT_EQ(column(1), 2u);
  EXPECT_EQ(column(39), 78u);
  EXPECT_EQ(column(40), 81u);
  EXPECT_EQ(column(236), 477u);
  // Source row 0 lands on screen row 1, the last row on screen row 237.
  EXPECT_EQ(AtScreen(5, 1) >> 12, 0u);
  EXPECT_EQ(AtScreen(5, 237) >> 12, uint32_t((236 * 480) / 237));
}

// The viewer makes it from its upright four-byte copy: the same bitmap as
// from the stored record turned by its orientation.
TEST_F(Thumbnail, UprightFourBytePixelsGiveTheSameBitmap) {
  const DibImage stored = Coded(300, 130);
  for (Orientation o : {Orientation(1), Orientation(6), Orientation(7)}) {
    SCOPED_TRACE(int(o));
    const PixelSize shown = ShownSize({stored.width, stored.height}, o);
    std::vector<uint8_t> bgra(size_t(shown.width) * size_t(shown.height) * 4 + 8, 7);
    const size_t stride = size_t(shown.width) * 4 + 8;  // rows wider than the pixels
    bgra.resize(stride * size_t(shown.height));
    for (int32_t y = 0; y < shown.height; ++y)
      for (int32_t x = 0; x < shown.width; ++x) {
        int32_t sx = x, sy = y;
        ShownToStored(o, {stored.width, stored.height}, sx, sy);
        std::memcpy(&bgra[size_t(y) * stride + size_t(x) * 4], stored.Row(sy) + sx * 3, 3);
      }
    scaler_.ResampleToThumbnail(stored, dst(), o);
    DibSectionImage other;
    CreateThumbnailDib(other);
    const BgraPixels upright{bgra.data(), shown.width, shown.height, stride};
    std::atomic<bool> stop{false};
    EXPECT_TRUE(scaler_.ResampleToThumbnail(upright, other.image, &stop));
    EXPECT_EQ(0, std::memcmp(dst().pixels.get(), other.image.pixels.get(), dst().byteSize));
    stop = true;  // given up: not drawn
    EXPECT_FALSE(scaler_.ResampleToThumbnail(upright, other.image, &stop));
  }
}

TEST_F(Thumbnail, WidePhotoGetsBlackBands) {
  const DibImage src = Coded(1000, 500);
  scaler_.ResampleToThumbnail(src, dst());
  // oy = 60: ih = 117 rows, screen rows 61..177.
  EXPECT_EQ(AtScreen(100, 60), 0u);
  EXPECT_EQ(AtScreen(100, 61) >> 12, 0u);
  EXPECT_EQ(AtScreen(100, 177) >> 12, uint32_t((116 * 500) / 117));
  EXPECT_EQ(AtScreen(100, 178), 0u);
  EXPECT_EQ(GetPackedPixel(dst(), 0, 239), 8685188u);
}

TEST_F(Thumbnail, PlacementIsTheBitmapsAndHoldsForHugePhotos) {
  const std::optional<ThumbnailPlacement> wide = PlaceInThumbnail(1000, 500);
  ASSERT_TRUE(wide);
  EXPECT_DOUBLE_EQ(wide->scale, 1000.0 / 240);
  EXPECT_EQ(wide->offsetX, 0);
  EXPECT_EQ(wide->offsetY, 60);  // the bands drawn above
  const std::optional<ThumbnailPlacement> box = PlaceInThumbnail(240, 480, 240, 120);
  ASSERT_TRUE(box);
  EXPECT_DOUBLE_EQ(box->scale, 4.0);
  EXPECT_EQ(box->offsetX, 90);
  // Photo sides whose product with the box's overflows 32 bits.
  const std::optional<ThumbnailPlacement> huge = PlaceInThumbnail(2000000000, 1000000000);
  ASSERT_TRUE(huge);
  EXPECT_DOUBLE_EQ(huge->scale, 2000000000.0 / 240);
  EXPECT_EQ(huge->offsetX, 0);
  EXPECT_EQ(huge->offsetY, 60);
  const std::optional<ThumbnailPlacement> tall = PlaceInThumbnail(1000000000, 2147483647);
  ASSERT_TRUE(tall);
  EXPECT_EQ(tall->offsetX, 64);  // 111 columns wide, centred
  EXPECT_EQ(tall->offsetY, 0);
  EXPECT_EQ(PlaceInThumbnail(2147483647, 1)->offsetY, 120);
  for (const auto& [w, h, bw, bh] : {std::array{0, 10, 240, 240}, std::array{10, -1, 240, 240},
                                     std::array{10, 10, 0, 240}, std::array{10, 10, 240, -240}})
    EXPECT_FALSE(PlaceInThumbnail(w, h, bw, bh)) << w << " " << h << " " << bw << " " << bh;
}

TEST_F(Thumbnail, VeryTallPhotoDrawsOnlyTheFrame) {
  const DibImage src = Coded(1, 2000);
  scaler_.ResampleToThumbnail(src, dst());
  for (int32_t x = 1; x < 238; ++x) ASSERT_EQ(AtScreen(x, 120), 0u) << x;
}

TEST_F(Thumbnail, OnePixelPhotoFillsTheInside) {
  DibImage src = Coded(1, 1);
  PutPackedPixel(src, 0, 0, 0x123456);
  scaler_.ResampleToThumbnail(src, dst());
  EXPECT_EQ(AtScreen(1, 1), 0x123456u);
  EXPECT_EQ(AtScreen(237, 237), 0x123456u);
  EXPECT_EQ(AtScreen(238, 120), 13027270u);
}

TEST_F(Thumbnail, NoPhotoLeavesFrameOnly) {
  DibImage empty;
  scaler_.ResampleToThumbnail(empty, dst());
  EXPECT_EQ(AtScreen(100, 100), 0u);
  EXPECT_EQ(GetPackedPixel(dst(), 0, 0), 65793u);
}

}  // namespace
}  // namespace kv
