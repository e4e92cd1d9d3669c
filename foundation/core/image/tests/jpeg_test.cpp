#include <gtest/gtest.h>

#include <atomic>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "test_images.h"

namespace kv {
namespace {

TEST(JpegDecode, RowsArePaddedToFourBytes) {
  for (int w = 1; w <= 9; ++w) {
    const std::vector<uint8_t> jpeg = EncodeJpeg(test::Gradient(w, 5));
    ASSERT_FALSE(jpeg.empty());
    DibImage im;
    ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1) << w;
    EXPECT_EQ(im.width, w);
    EXPECT_EQ(im.height, 5);
    EXPECT_EQ(im.padBytes, uint32_t((4 - (3 * w) % 4) % 4));
    EXPECT_EQ(im.byteSize, (3u * w + im.padBytes) * 5u);
    EXPECT_EQ(im.bitsPerPixel, 24u);
  }
  EXPECT_EQ(DibPadBytes(1), 1u);
  EXPECT_EQ(DibPadBytes(2), 2u);
  EXPECT_EQ(DibPadBytes(3), 3u);
  EXPECT_EQ(DibPadBytes(4), 0u);
  // A record made directly: the same layout, padding zero; a size whose
  // bytes pass 32 bits is refused before anything is allocated.
  DibImage made;
  ASSERT_TRUE(AllocateDib(made, 5, 3));
  EXPECT_EQ(made.byteSize, 48u);
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(made.Row(y)[15], 0) << y;
  EXPECT_EQ(DibBytes(40000, 40000), 4800000000ull);
  EXPECT_FALSE(AllocateDib(made, 40000, 40000));
  EXPECT_FALSE(made.HasImage());
  EXPECT_FALSE(AllocateDib(made, -4, 3));
  EXPECT_FALSE(AllocateDib(made, 4, 0));
}

TEST(JpegDecode, ColoursAreBlueGreenRedTopDown) {
  // Top half pure red, bottom half pure blue (in RGB order for the encoder).
  const int w = 32, h = 32;
  std::vector<uint8_t> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(y * w + x) * 3];
      p[0] = y < h / 2 ? 255 : 0;
      p[2] = y < h / 2 ? 0 : 255;
    }
  const auto jpeg = test::EncodeWith(rgb, w, h, TJPF_RGB, TJSAMP_444);
  DibImage im;
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  const uint8_t* top = im.Row(2) + 3 * 5;
  EXPECT_LT(top[0], 20);   // blue
  EXPECT_GT(top[2], 235);  // red
  const uint8_t* bottom = im.Row(29) + 3 * 5;
  EXPECT_GT(bottom[0], 235);
  EXPECT_LT(bottom[2], 20);
}

TEST(JpegDecode, GreyExpandsToThreeEqualBytes) {
  const int w = 13, h = 7;
  std::vector<uint8_t> grey(w * h);
  for (int i = 0; i < w * h; ++i) grey[i] = uint8_t(i * 2);
  const auto jpeg = test::EncodeWith(grey, w, h, TJPF_GRAY, TJSAMP_GRAY);
  DibImage im;
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  EXPECT_EQ(im.padBytes, 1u);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = im.Row(y) + 3 * x;
      ASSERT_EQ(p[0], p[1]);
      ASSERT_EQ(p[1], p[2]);
    }
}

TEST(JpegDecode, FourComponentPhotosBecomeBlueGreenRed) {
  // The encoder writes inverted CMYK with an Adobe marker, as photo
  // software does: 255 means no ink.
  const int w = 16, h = 16;
  std::vector<uint8_t> cmyk(w * h * 4);
  for (int i = 0; i < w * h; ++i) {
    uint8_t* p = &cmyk[i * 4];
    const bool cyan = (i % w) < w / 2;
    p[0] = cyan ? 0 : 255;  // full cyan ink on the left
    p[1] = 255;
    p[2] = 255;
    p[3] = 255;             // no black
  }
  const auto jpeg = test::EncodeWith(cmyk, w, h, TJPF_CMYK, TJSAMP_444);
  ASSERT_FALSE(jpeg.empty());
  DibImage im;
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  EXPECT_EQ(im.bitsPerPixel, 24u);
  EXPECT_EQ(im.byteSize, uint32_t(im.Stride() * h));
  const uint8_t* left = im.Row(8) + 3 * 2;
  EXPECT_GT(left[0], 230);  // cyan: blue and green, no red
  EXPECT_GT(left[1], 230);
  EXPECT_LT(left[2], 25);
  const uint8_t* right = im.Row(8) + 3 * 13;
  EXPECT_GT(right[2], 230);  // white
}

TEST(JpegDecode, FailuresBeforeTheHeaderKeepThePhoto) {
  const auto jpeg = EncodeJpeg(test::Gradient(20, 10));
  DibImage im;
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  const uint8_t* before = im.pixels.get();
  const std::vector<uint8_t> junk = {'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'};
  EXPECT_EQ(DecodeJpegBuffer(junk.data(), junk.size(), im), 0);
  EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), 40, im), 0);  // cut inside the header
  EXPECT_EQ(DecodeJpegBuffer(nullptr, 0, im), 0);
  EXPECT_EQ(im.pixels.get(), before);
  EXPECT_EQ(im.width, 20);
}

TEST(JpegDecode, TruncatedStreamFailsWithoutPixels) {
  const auto jpeg = EncodeJpeg(test::Gradient(200, 200));
  DibImage im;
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size() * 2 / 3, im), 0);
  EXPECT_FALSE(im.HasImage());
  // A second good decode into the same record works.
  EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  EXPECT_TRUE(im.HasImage());
}

// Offset of the first frame header's height field.
size_t FrameHeader(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
  return 0;
}

TEST(JpegDecode, HugeClaimedSizeIsRefusedBeforeAllocating) {
  auto jpeg = EncodeJpeg(test::Gradient(16, 16));
  const size_t at = FrameHeader(jpeg);
  ASSERT_NE(at, 0u);
  jpeg[at] = 0xEA;  // 60000 x 60000
  jpeg[at + 1] = 0x60;
  jpeg[at + 2] = 0xEA;
  jpeg[at + 3] = 0x60;
  DibImage im;
  EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 0);
  EXPECT_FALSE(im.HasImage());
}

TEST(JpegDecode, EndlessProgressiveScansAreRefused) {
  std::vector<uint8_t> rgb(64 * 64 * 3, 90);
  auto jpeg = test::EncodeWith(rgb, 64, 64, TJPF_RGB, TJSAMP_420, TJFLAG_PROGRESSIVE);
  ASSERT_GT(jpeg.size(), 4u);
  // Repeat the last scan hundreds of times before the end marker.
  size_t lastScan = 0;
  for (size_t i = 2; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) lastScan = i;
  ASSERT_NE(lastScan, 0u);
  const std::vector<uint8_t> scan(jpeg.begin() + lastScan, jpeg.end() - 2);
  std::vector<uint8_t> hostile(jpeg.begin(), jpeg.end() - 2);
  for (int i = 0; i < 400; ++i) hostile.insert(hostile.end(), scan.begin(), scan.end());
  hostile.push_back(0xFF);
  hostile.push_back(0xD9);
  DibImage im;
  EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im), 1);
  std::string reason;
  EXPECT_EQ(DecodeJpegBuffer(hostile.data(), hostile.size(), im, reason), 0);
  EXPECT_NE(reason.find("ｽｷｬﾝ"), std::string::npos) << reason;
  EXPECT_EQ(im.width, 64) << "refused from the header, the photo already held stays";
}

// The bound on pixels per byte sits well past what real JPEGs reach: the
// flattest pictures, a single colour, from our encoder and with optimised
// tables (mid-grey progressive is the flattest of all).
TEST(JpegDecode, FlatPicturesStayFarInsideThePixelsPerByteBound) {
  const int side = 1024;
  DibImage flat(side, side);
  flat.padBytes = DibPadBytes(side);
  flat.byteSize = uint32_t(flat.Stride() * side);
  flat.pixels.reset(new uint8_t[flat.byteSize]);
  std::fill_n(flat.pixels.get(), flat.byteSize, uint8_t(128));
  const std::vector<uint8_t> rgb(size_t(side) * side * 3, 200), grey(size_t(side) * side, 128);
  const std::vector<uint8_t> jpegs[] = {
      EncodeJpeg(flat), EncodeJpeg(flat, 50),
      test::EncodeWith(rgb, side, side, TJPF_RGB, TJSAMP_420, TJFLAG_PROGRESSIVE),
      test::EncodeWith(grey, side, side, TJPF_GRAY, TJSAMP_GRAY, TJFLAG_PROGRESSIVE)};
  for (const std::vector<uint8_t>& jpeg : jpegs) {
    ASSERT_FALSE(jpeg.empty());
    EXPECT_LE(uint64_t(side) * side * 10, jpeg.size() * kJpegMaxPixelsPerByte) << jpeg.size();
    DibImage im;
    std::string reason;
    EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im, reason), 1) << reason;
  }
}

// Headers that claim far more pixels than their bytes could hold, which the
// library would fill in from missing data at a cost of seconds and
// gigabytes, are refused from the header: the photo already held stays.
TEST(JpegDecode, ClaimsOutOfProportionToTheBytesAreRefusedFromTheHeader) {
  const auto good = EncodeJpeg(test::Gradient(20, 10));
  DibImage im;
  ASSERT_EQ(DecodeJpegBuffer(good.data(), good.size(), im), 1);
  const test::HandMade bombs[] = {
      {24064, 9454, 1, false, 0, 0},  // sequential
      {16384, 16384, 3, true, 5, 0},  // progressive
      {16384, 16384, 1, true, 50, 0},  // 51 scans
  };
  for (const test::HandMade& shape : bombs) {
    const std::vector<uint8_t> jpeg = test::HandMadeJpeg(shape);
    ASSERT_LT(jpeg.size(), 4000u);
    std::string reason;
    EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im, reason), 0) << shape.width;
    EXPECT_NE(reason.find("ﾌｧｲﾙの大きさ"), std::string::npos) << reason;
    EXPECT_TRUE(im.HasImage());
    EXPECT_EQ(im.width, 20);
  }
  // The same construction at an honest size is a sound photo.
  const std::vector<uint8_t> small = test::HandMadeJpeg({64, 48, 3, true, 5, 0});
  std::string reason;
  EXPECT_EQ(DecodeJpegBuffer(small.data(), small.size(), im, reason), 1) << reason;
  EXPECT_EQ(im.width, 64);
}

TEST(JpegDecode, ScansAreCountedFromTheBytesAndBounded) {
  std::vector<uint8_t> most = test::HandMadeJpeg({64, 64, 1, true, kJpegMaxScans - 1, 0});
  const std::vector<uint8_t> over = test::HandMadeJpeg({64, 64, 1, true, kJpegMaxScans, 0});
  DibImage im;
  std::string reason;
  EXPECT_EQ(DecodeJpegBuffer(most.data(), most.size(), im, reason), 1) << reason;
  EXPECT_EQ(DecodeJpegBuffer(over.data(), over.size(), im, reason), 0);
  EXPECT_NE(reason.find("ｽｷｬﾝ"), std::string::npos) << reason;
  EXPECT_TRUE(im.HasImage()) << "refused from the header";
  // Scan markers inside metadata (an embedded thumbnail) are not scans.
  std::vector<uint8_t> app = {0xFF, 0xE1, 0x00, 0x00};
  for (int i = 0; i < 2 * kJpegMaxScans; ++i) app.insert(app.end(), {0xFF, 0xDA, 0x00, 0x02});
  app[2] = uint8_t((app.size() - 2) >> 8);
  app[3] = uint8_t(app.size() - 2);
  most.insert(most.begin() + 2, app.begin(), app.end());
  EXPECT_EQ(DecodeJpegBuffer(most.data(), most.size(), im, reason), 1) << reason;
}

// A progressive four-colour photo of the largest size: its coefficients alone
// (2 GiB) would fit the budget, with the decoded record (768 MiB) they do
// not. The padding keeps it within the pixels per byte.
TEST(JpegDecode, OneMemoryBudgetHoldsTheLibraryAndTheRecordTogether) {
  const std::vector<uint8_t> jpeg = test::HandMadeJpeg({16384, 16384, 4, true, 0, 131100});
  ASSERT_LE(uint64_t(16384) * 16384, jpeg.size() * kJpegMaxPixelsPerByte);
  DibImage im;
  std::string reason;
  EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im, reason), 0);
  EXPECT_NE(reason.find("ﾒﾓﾘ"), std::string::npos) << reason;
  EXPECT_FALSE(im.HasImage());
}

// A decode nobody wants any more stops without finishing, whatever the
// coding, and says so; an allocator that cannot give memory is a failure.
TEST(JpegDecode, CancelledAndUnallocatedDecodesFail) {
  for (bool progressive : {false, true}) {
    test::Coding c;
    c.width = 512;
    c.height = 384;
    c.progressive = progressive;
    const std::vector<uint8_t> jpeg = test::QuadrantsJpeg(c);
    std::atomic<bool> cancel{true};
    std::vector<uint8_t> pixels;
    const JpegAllocator into = [&](uint32_t w, uint32_t h, size_t stride) {
      pixels.assign(stride * h, 0);
      (void)w;
      return JpegTarget{pixels.data(), stride};
    };
    std::string reason;
    EXPECT_EQ(DecodeJpegBgra(jpeg.data(), jpeg.size(), 0, into, reason, &cancel), 0);
    EXPECT_EQ(reason, kJpegDecodeCancelled);
    cancel = false;
    EXPECT_EQ(DecodeJpegBgra(jpeg.data(), jpeg.size(), 1, into, reason, &cancel), 1) << reason;
    const JpegAllocator none = [](uint32_t, uint32_t, size_t) { return JpegTarget{}; };
    EXPECT_EQ(DecodeJpegBgra(jpeg.data(), jpeg.size(), 0, none, reason), 0);
    EXPECT_NE(reason.find("ﾒﾓﾘ"), std::string::npos) << reason;
  }
}

TEST(JpegDecode, FromAFile) {
  const auto jpeg = EncodeJpeg(test::Gradient(31, 17));
  const std::string path = "/tmp/kv_jpeg_test_" + std::to_string(::getpid()) + ".jpg";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                              std::streamsize(jpeg.size()));
  DibImage im;
  EXPECT_EQ(DecodeJpegFile(path, im), 1);
  EXPECT_EQ(im.width, 31);
  std::remove(path.c_str());
  EXPECT_EQ(DecodeJpegFile(path, im), 0);
  EXPECT_EQ(DecodeJpegFile("/tmp", im), 0);
  EXPECT_EQ(im.width, 31);  // failures before the header keep the photo
}

}  // namespace
}  // namespace kv
