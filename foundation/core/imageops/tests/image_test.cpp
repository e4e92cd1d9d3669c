#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "foundation/core/imageops/image.h"
#include "foundation/core/imageops/tests/test_images.h"

namespace kv {
namespace {

using testing::NoiseImage;
using testing::PixelAt;

bool AllEqual(const Image& img, int x0, int y0, int w, int h, uint8_t v) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0 * img.Channels(); x < (x0 + w) * img.Channels(); ++x)
      if (img.Row(y)[x] != v) return false;
  return true;
}

TEST(ImageSlots, MakeReleaseAndRemake) {
  IplImageSlot slot;
  MakeColorIplImage(slot, 5, 3);
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->Width(), 5);
  EXPECT_EQ(slot->Height(), 3);
  EXPECT_EQ(slot->Channels(), 4);
  EXPECT_EQ(slot->Format(), PixelFormat::kBgra);
  EXPECT_EQ(slot->Stride() % 8, 0u);
  EXPECT_GE(slot->Stride(), 20u);
  EXPECT_FALSE(slot->HasRoi());
  EXPECT_TRUE(AllEqual(*slot, 0, 0, 5, 3, 255));  // white, opaque

  MakeGrayIplImage(slot, 7, 2);
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->Channels(), 1);
  EXPECT_EQ(slot->Stride(), 8u);
  EXPECT_TRUE(AllEqual(*slot, 0, 0, 7, 2, 255));

  // A size that cannot be made releases the old image and leaves the slot
  // empty, so callers that test for null skip their work.
  MakeColorIplImage(slot, 0, 10);
  EXPECT_FALSE(slot);
  MakeColorIplImage(slot, 4, 4);
  MakeColorIplImage(slot, -1, 4);
  EXPECT_FALSE(slot);
  MakeGrayIplImage(slot, 1 << 15, 1 << 14);  // beyond the pixel budget
  EXPECT_FALSE(slot);

  MakeColorIplImage(slot, 2, 2);
  ReleaseIplImage(slot);
  EXPECT_FALSE(slot);
  ReleaseIplImage(slot);  // releasing an empty slot is harmless
  EXPECT_FALSE(slot);
}

TEST(FillImage, FillsTheRegionOrTheWholeImage) {
  Image img(10, 8, PixelFormat::kBgra, 0);
  FillImage(img, 255);
  EXPECT_TRUE(AllEqual(img, 0, 0, 10, 8, 255));
  img.SetRoi({7, 5, 10, 10});  // reaches beyond the image: clipped
  FillImage(img, 9);
  EXPECT_TRUE(AllEqual(img, 7, 5, 3, 3, 9));
  EXPECT_TRUE(AllEqual(img, 0, 0, 10, 5, 255));
  EXPECT_TRUE(AllEqual(img, 0, 5, 7, 3, 255));
  img.SetRoi({-20, -20, 5, 5});  // off the image: nothing
  FillImage(img, 1);
  EXPECT_TRUE(AllEqual(img, 0, 0, 10, 5, 255));
  Image empty;
  FillImage(empty, 3);  // no crash
}

TEST(CopyImage, CopiesTheSourceRegionToTheTopLeftOfTheTarget) {
  Image src = NoiseImage(12, 9, PixelFormat::kBgra, 1);
  src.SetRoi({3, 2, 5, 4});
  Image dst(8, 8, PixelFormat::kBgra, 7);
  ASSERT_TRUE(CopyImage(src, dst));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      if (x < 5 && y < 4)
        ASSERT_EQ(0, std::memcmp(PixelAt(dst, x, y), PixelAt(src, 3 + x, 2 + y), 4)) << x << "," << y;
      else
        ASSERT_EQ(PixelAt(dst, x, y)[0], 7) << x << "," << y;
    }

  // The region reaches past the photo's right edge: only the photo's part is
  // copied and the rest keeps the target's fill (white in the viewer).
  src.SetRoi({9, 0, 6, 2});
  Image wide(6, 2, PixelFormat::kBgra, 255);
  ASSERT_TRUE(CopyImage(src, wide));
  for (int x = 0; x < 6; ++x) {
    if (x < 3)
      EXPECT_EQ(0, std::memcmp(PixelAt(wide, x, 1), PixelAt(src, 9 + x, 1), 4));
    else
      EXPECT_EQ(PixelAt(wide, x, 1)[1], 255);
  }

  // A region starting before the photo lands shifted, as a resize by 1 would.
  src.SetRoi({-2, -1, 4, 3});
  Image shifted(4, 3, PixelFormat::kBgra, 7);
  ASSERT_TRUE(CopyImage(src, shifted));
  EXPECT_EQ(PixelAt(shifted, 1, 0)[0], 7);
  EXPECT_EQ(0, std::memcmp(PixelAt(shifted, 2, 1), PixelAt(src, 0, 0), 4));
  EXPECT_EQ(0, std::memcmp(PixelAt(shifted, 3, 2), PixelAt(src, 1, 1), 4));

  // Into a target region.
  src.ClearRoi();
  Image framed(20, 20, PixelFormat::kBgra, 7);
  framed.SetRoi({15, 16, 100, 100});
  ASSERT_TRUE(CopyImage(src, framed));
  EXPECT_EQ(0, std::memcmp(PixelAt(framed, 15, 16), PixelAt(src, 0, 0), 4));
  EXPECT_EQ(0, std::memcmp(PixelAt(framed, 19, 19), PixelAt(src, 4, 3), 4));
  EXPECT_EQ(PixelAt(framed, 14, 16)[0], 7);

  Image gray(4, 4, PixelFormat::kGray), empty;
  EXPECT_FALSE(CopyImage(src, gray));
  EXPECT_FALSE(CopyImage(empty, dst));
}

TEST(ContrastStretch, MapsEachChannelThroughItsTable) {
  LookupTable add10 = IdentityTable(), invert, zero{};
  for (int i = 0; i < 256; ++i) {
    add10[i] = uint8_t(std::min(255, i + 10));
    invert[i] = uint8_t(255 - i);
  }
  Image src = NoiseImage(9, 5, PixelFormat::kBgra, 4);
  Image dst(9, 5, PixelFormat::kBgra, 0);

  // One table: blue, green and red; alpha copied.
  ASSERT_TRUE(ContrastStretch(src, dst, std::span(&invert, 1)));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const uint8_t* s = PixelAt(src, x, y);
      const uint8_t* d = PixelAt(dst, x, y);
      ASSERT_EQ(d[0], 255 - s[0]);
      ASSERT_EQ(d[1], 255 - s[1]);
      ASSERT_EQ(d[2], 255 - s[2]);
      ASSERT_EQ(d[3], s[3]);
    }

  // Three tables in blue, green, red order; four include alpha.
  const LookupTable three[] = {add10, invert, zero};
  ASSERT_TRUE(ContrastStretch(src, dst, three));
  const uint8_t* s = PixelAt(src, 2, 3);
  const uint8_t* d = PixelAt(dst, 2, 3);
  EXPECT_EQ(d[0], add10[s[0]]);
  EXPECT_EQ(d[1], 255 - s[1]);
  EXPECT_EQ(d[2], 0);
  EXPECT_EQ(d[3], s[3]);
  const LookupTable four[] = {add10, invert, zero, zero};
  ASSERT_TRUE(ContrastStretch(src, dst, four));
  EXPECT_EQ(PixelAt(dst, 2, 3)[3], 0);

  // In place on a region of a grey plane.
  Image plane = NoiseImage(6, 6, PixelFormat::kGray, 8);
  std::vector<uint8_t> before(plane.Row(0), plane.Row(0) + plane.Stride() * 6);
  plane.SetRoi({2, 2, 2, 2});
  ASSERT_TRUE(ContrastStretch(plane, plane, std::span(&invert, 1)));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      const uint8_t old = before[size_t(y) * plane.Stride() + x];
      const bool in = x >= 2 && x < 4 && y >= 2 && y < 4;
      ASSERT_EQ(plane.Row(y)[x], in ? 255 - old : old) << x << "," << y;
    }

  EXPECT_FALSE(ContrastStretch(plane, plane, three));              // grey takes one table
  EXPECT_FALSE(ContrastStretch(src, dst, std::span(three, 2)));    // two fit nothing
  EXPECT_FALSE(ContrastStretch(src, plane, std::span(&invert, 1)));  // formats differ
}

TEST(PixelAccess, ReadsAndWritesWholePixelsInsideOnly) {
  Image img(3, 2, PixelFormat::kBgra, 0);
  const uint8_t px[4] = {1, 2, 3, 4};
  EXPECT_TRUE(PutPixel(img, 2, 1, px));
  uint8_t got[4] = {};
  EXPECT_TRUE(GetPixel(img, 2, 1, got));
  EXPECT_EQ(0, std::memcmp(got, px, 4));
  EXPECT_EQ(img.Row(1)[8], 1);
  EXPECT_EQ(img.Row(1)[11], 4);
  uint8_t untouched[4] = {9, 9, 9, 9};
  EXPECT_FALSE(GetPixel(img, 3, 0, untouched));
  EXPECT_FALSE(GetPixel(img, 0, -1, untouched));
  EXPECT_EQ(untouched[0], 9);
  EXPECT_FALSE(PutPixel(img, -1, 0, px));
  EXPECT_FALSE(PutPixel(img, 0, 2, px));

  Image gray(2, 2, PixelFormat::kGray, 0);
  const uint8_t g = 77;
  EXPECT_TRUE(PutPixel(gray, 1, 1, &g));
  EXPECT_EQ(gray.Row(1)[1], 77);
  EXPECT_EQ(gray.Row(1)[0], 0);
}

TEST(Channels, ExtractAndInsertRoundTrip) {
  Image color = NoiseImage(7, 3, PixelFormat::kBgra, 2);
  Image planes[4] = {Image(7, 3, PixelFormat::kGray), Image(7, 3, PixelFormat::kGray),
                     Image(7, 3, PixelFormat::kGray), Image(7, 3, PixelFormat::kGray)};
  for (int c = 0; c < 4; ++c) ASSERT_TRUE(ExtractChannel(color, c, planes[c]));
  EXPECT_EQ(planes[2].Row(1)[4], PixelAt(color, 4, 1)[2]);
  Image back(7, 3, PixelFormat::kBgra, 0);
  for (int c = 0; c < 4; ++c) ASSERT_TRUE(InsertChannel(planes[c], c, back));
  for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(back.Row(y), color.Row(y), 28));
  EXPECT_FALSE(ExtractChannel(color, 4, planes[0]));
  EXPECT_FALSE(InsertChannel(color, 0, back));
}

// Every size parity, including rows long enough for each vector width plus
// a remainder, on each instruction set and thread count.
TEST(HalveImage, AveragesEachBlockRoundingHalfUpAndDropsAnOddEdge) {
  testing::SplitEverything split;
  const int sizes[][2] = {{2, 2}, {3, 5}, {17, 9}, {64, 33}, {301, 203}, {2, 400}};
  uint32_t seed = 3;
  for (const auto& sz : sizes) {
    const Image src = NoiseImage(sz[0], sz[1], PixelFormat::kBgra, seed++);
    Image expected(sz[0] / 2, sz[1] / 2, PixelFormat::kBgra, 0);
    for (int y = 0; y < sz[1] / 2; ++y)
      for (int x = 0; x < sz[0] / 2; ++x)
        for (int c = 0; c < 4; ++c)
          expected.Row(y)[4 * x + c] = uint8_t((PixelAt(src, 2 * x, 2 * y)[c] + PixelAt(src, 2 * x + 1, 2 * y)[c] +
                                                PixelAt(src, 2 * x, 2 * y + 1)[c] +
                                                PixelAt(src, 2 * x + 1, 2 * y + 1)[c] + 2) / 4);
    for (const imageops_internal::Isa isa : testing::kAllIsas)
      for (const int threads : testing::kThreadCounts) {
        imageops_internal::ForceIsa(isa);
        pool::SetThreads(threads);
        Image half(5, 5, PixelFormat::kGray);  // wrong size and format: remade
        ASSERT_TRUE(HalveImage(src, half));
        ASSERT_TRUE(testing::SameBytes(half, expected))
            << sz[0] << "x" << sz[1] << " set " << int(isa) << ", " << threads << " threads";
      }
  }
  // Rounding: a sum of 1 (a quarter) drops, 2 (a half) and 3 round up.
  Image block(2, 2, PixelFormat::kBgra, 0);
  const uint8_t corner[4] = {3, 1, 2, 255};
  PutPixel(block, 1, 1, corner);
  Image half;
  ASSERT_TRUE(HalveImage(block, half));
  EXPECT_EQ(PixelAt(half, 0, 0)[0], 1);
  EXPECT_EQ(PixelAt(half, 0, 0)[1], 0);
  EXPECT_EQ(PixelAt(half, 0, 0)[2], 1);
  EXPECT_EQ(PixelAt(half, 0, 0)[3], 64);
}

TEST(HalveImage, ReusesAFittingDestinationAndRefusesWhatItCannotHalve) {
  Image src = NoiseImage(40, 30, PixelFormat::kBgra, 8);
  src.SetRoi({3, 3, 5, 5});  // ignored: the whole photo is halved
  Image dst(20, 15, PixelFormat::kBgra, 0);
  const uint8_t* before = dst.Row(0);
  ASSERT_TRUE(HalveImage(src, dst));
  EXPECT_EQ(dst.Row(0), before);
  Image again;
  ASSERT_TRUE(HalveImage(src, again));
  EXPECT_TRUE(testing::SameBytes(dst, again));
  // Into itself: the source is read to the end before it is replaced.
  ASSERT_TRUE(HalveImage(src, src));
  EXPECT_TRUE(testing::SameBytes(src, again));

  Image grey(8, 8, PixelFormat::kGray), narrow(1, 8, PixelFormat::kBgra), low(8, 1, PixelFormat::kBgra), empty;
  Image kept(3, 3, PixelFormat::kBgra, 9);
  for (const Image* bad : {&grey, &narrow, &low, &empty}) EXPECT_FALSE(HalveImage(*bad, kept));
  EXPECT_EQ(kept.Width(), 3);
  EXPECT_EQ(PixelAt(kept, 2, 2)[0], 9);
  // A halving nobody wants any more is not started; one that may be
  // stopped but is not gives the same bytes.
  std::atomic<bool> stop{false};
  Image banded;
  const Image noise = NoiseImage(40, 30, PixelFormat::kBgra, 8);
  ASSERT_TRUE(HalveImage(noise, banded, &stop));
  EXPECT_TRUE(testing::SameBytes(banded, dst));
  stop = true;
  EXPECT_FALSE(HalveImage(noise, kept, &stop));
  EXPECT_EQ(kept.Width(), 3);
  EXPECT_EQ(PixelAt(kept, 2, 2)[0], 9);
}

DibImage MakeDib(int w, int h, uint32_t seed) {
  DibImage d(w, h);
  d.padBytes = DibPadBytes(w);
  d.byteSize = uint32_t((w * 3 + d.padBytes) * h);
  d.pixels = std::make_unique<uint8_t[]>(d.byteSize);
  for (uint32_t i = 0; i < d.byteSize; ++i) d.pixels[i] = uint8_t(testing::NextRandom(seed));
  return d;
}

TEST(DibConversion, RoundTripsTopDownPhotosOfEveryPadding) {
  for (int w : {1, 2, 3, 4, 5, 13}) {
    SCOPED_TRACE(w);
    const DibImage photo = MakeDib(w, 3, uint32_t(w));
    Image img(w, 3, PixelFormat::kBgra, 0);
    ASSERT_TRUE(ConvertFromDib(photo, img));
    EXPECT_EQ(PixelAt(img, w - 1, 2)[0], photo.Row(2)[(w - 1) * 3]);
    EXPECT_EQ(PixelAt(img, w - 1, 2)[2], photo.Row(2)[(w - 1) * 3 + 2]);
    EXPECT_EQ(PixelAt(img, 0, 1)[3], 255);

    const DibLayout layout{w, -3, 24};
    ASSERT_EQ(DibByteSize(layout), photo.byteSize);
    std::vector<uint8_t> bits(DibByteSize(layout), 0xAB);
    ASSERT_TRUE(ConvertToDib(img, layout, bits.data(), bits.size()));
    for (int y = 0; y < 3; ++y) {
      ASSERT_EQ(0, std::memcmp(&bits[size_t(y) * photo.Stride()], photo.Row(y), size_t(w) * 3)) << y;
      for (uint32_t p = 0; p < photo.padBytes; ++p)
        EXPECT_EQ(bits[size_t(y) * photo.Stride() + size_t(w) * 3 + p], 0);  // pad zeroed
    }
  }
}

TEST(DibConversion, BottomUpLayoutsFlipRows) {
  const DibImage photo = MakeDib(4, 3, 9);
  Image img(4, 3, PixelFormat::kBgra, 0);
  ASSERT_TRUE(ConvertFromDib(photo, img));
  std::vector<uint8_t> bits(DibByteSize({4, 3, 24}));
  ASSERT_TRUE(ConvertToDib(img, {4, 3, 24}, bits.data(), bits.size()));
  // Row 0 in memory is the bottom of the picture.
  EXPECT_EQ(0, std::memcmp(&bits[0], photo.Row(2), 12));
  EXPECT_EQ(0, std::memcmp(&bits[24], photo.Row(0), 12));
  Image again(4, 3, PixelFormat::kBgra, 0);
  ASSERT_TRUE(ConvertFromDib({4, 3, 24}, bits.data(), bits.size(), again));
  for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(again.Row(y), img.Row(y), 16));
}

TEST(DibConversion, GreyAndSizeMismatches) {
  // Grey to bits: three equal bytes.
  Image gray(2, 1, PixelFormat::kGray, 0);
  gray.Row(0)[0] = 10;
  gray.Row(0)[1] = 200;
  uint8_t bits[8] = {};
  ASSERT_TRUE(ConvertToDib(gray, {2, -1, 24}, bits, sizeof bits));
  const uint8_t want[8] = {10, 10, 10, 200, 200, 200, 0, 0};
  EXPECT_EQ(0, std::memcmp(bits, want, 8));
  // Bits to grey: the luma, exact on grey pixels.
  Image back(2, 1, PixelFormat::kGray, 0);
  ASSERT_TRUE(ConvertFromDib({2, -1, 24}, bits, sizeof bits, back));
  EXPECT_EQ(back.Row(0)[0], 10);
  EXPECT_EQ(back.Row(0)[1], 200);

  // A larger image than the bits: only the overlap is written.
  Image big(5, 5, PixelFormat::kBgra, 7);
  ASSERT_TRUE(ConvertFromDib({2, -1, 24}, bits, sizeof bits, big));
  EXPECT_EQ(PixelAt(big, 1, 0)[0], 200);
  EXPECT_EQ(PixelAt(big, 2, 0)[0], 7);
  EXPECT_EQ(PixelAt(big, 0, 1)[0], 7);

  // Refusals: short buffers, other depths, empty images, inconsistent records.
  uint8_t small[7] = {};
  EXPECT_FALSE(ConvertFromDib({2, -1, 24}, small, sizeof small, big));
  EXPECT_FALSE(ConvertToDib(big, {2, -1, 24}, small, sizeof small));
  EXPECT_FALSE(ConvertToDib(big, {2, -1, 32}, bits, sizeof bits));
  EXPECT_FALSE(ConvertToDib(big, {0, -1, 24}, bits, sizeof bits));
  Image empty;
  EXPECT_FALSE(ConvertToDib(empty, {2, -1, 24}, bits, sizeof bits));
  DibImage bad = MakeDib(5, 2, 1);
  bad.padBytes = 0;  // disagrees with the width
  EXPECT_FALSE(ConvertFromDib(bad, big));
  DibImage none;
  EXPECT_FALSE(ConvertFromDib(none, big));
}

}  // namespace
}  // namespace kv
