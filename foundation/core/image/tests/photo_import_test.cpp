// Phone photos in: HEIC and PNG made here, turned into the JPEG a ".kvi"
// carries, and checked for size, orientation and colour after the round trip.
#include "foundation/core/image/photo_import.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <cstring>

#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/tests/phone_photos.h"

namespace kv {
namespace {

// Four flat quadrants, told apart by colour: red, green, blue, yellow
// (top left, top right, bottom left, bottom right). The photo is wider than
// high, so a turn that is not undone shows in the size too.
constexpr uint8_t kQuadrant[4][3] = {{200, 40, 40}, {40, 180, 60}, {50, 60, 200}, {220, 210, 50}};

DibImage Quadrants(int32_t w, int32_t h) {
  DibImage im(w, h);
  im.padBytes = DibPadBytes(w);
  im.byteSize = uint32_t(im.Stride() * size_t(h));
  im.pixels.reset(new uint8_t[im.byteSize]());
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* c = kQuadrant[(y >= h / 2) * 2 + (x >= w / 2)];
      uint8_t* p = im.Row(y) + x * 3;
      p[0] = c[2], p[1] = c[1], p[2] = c[0];
    }
  return im;
}

// The colour at the middle of quadrant q, as red, green, blue.
void ExpectQuadrants(const DibImage& im, int tolerance) {
  for (int q = 0; q < 4; ++q) {
    const int32_t x = im.width / 4 + (q % 2) * im.width / 2;
    const int32_t y = im.height / 4 + (q / 2) * im.height / 2;
    const uint8_t* p = im.Row(y) + x * 3;
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(p[2 - c], kQuadrant[q][c], tolerance) << "quadrant " << q << " channel " << c;
  }
}

std::vector<uint8_t> P3Profile() {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&d65, &p3, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(p, nullptr, &n);
  std::vector<uint8_t> bytes(n);
  cmsSaveProfileToMem(p, bytes.data(), &n);
  cmsCloseProfile(p);
  return bytes;
}

struct RoundTrip {
  DibImage image;  // decoded from the import JPEG, as stored there
  std::vector<uint8_t> jpeg;
};

RoundTrip Import(const std::vector<uint8_t>& file) {
  RoundTrip r;
  std::string reason;
  EXPECT_TRUE(PhotoToJpeg(file, r.jpeg, reason)) << reason;
  EXPECT_EQ(DecodeJpegBuffer(r.jpeg.data(), r.jpeg.size(), r.image), 1);
  return r;
}

TEST(PhotoImport, HeicFromAPhoneComesInUprightWithItsProfileAndColours) {
  const std::vector<uint8_t> p3 = P3Profile();
  for (int o : {1, 3, 6, 8, 5}) {
    SCOPED_TRACE(o);
    const std::vector<uint8_t> heic = test::EncodeHeic(Quadrants(96, 64), {o, p3, false, 95});
    ASSERT_FALSE(heic.empty()) << "libheif could not encode HEVC (x265)";
    EXPECT_EQ(SniffPhotoFormat(heic.data(), heic.size()), PhotoFormat::kHeif);
    const RoundTrip r = Import(heic);
    ASSERT_TRUE(r.image.HasImage());
    // Upright and marked so: a reader that turns by the tag leaves it alone.
    EXPECT_EQ(r.image.width, 96);
    EXPECT_EQ(r.image.height, 64);
    EXPECT_EQ(ReadExifOrientation(r.jpeg.data(), r.jpeg.size()), 1);
    ExpectQuadrants(r.image, 8);
    // The profile goes on unchanged for the viewer to convert.
    const std::optional<std::vector<uint8_t>> kept = ReadIccProfile(r.jpeg.data(), r.jpeg.size());
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, p3);
  }
}

TEST(PhotoImport, DisplayP3SaidWithCodePointsBecomesAProfileTheViewerConverts) {
  DibImage red = Quadrants(64, 48);
  const std::vector<uint8_t> heic = test::EncodeHeic(red, {1, {}, false, 95, true});
  ASSERT_FALSE(heic.empty());
  const RoundTrip r = Import(heic);
  const std::optional<std::vector<uint8_t>> profile = ReadIccProfile(r.jpeg.data(), r.jpeg.size());
  ASSERT_TRUE(profile);
  // The same colours as the P3 profile a phone would embed.
  DibImage a = Quadrants(4, 4), b = Quadrants(4, 4);
  ASSERT_TRUE(ConvertToSrgb(a, *profile));
  ASSERT_TRUE(ConvertToSrgb(b, P3Profile()));
  for (int32_t y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_NEAR(a.Row(y)[x], b.Row(y)[x], 2) << x << "," << y;
  // sRGB's own primaries need no profile.
  std::vector<uint8_t> plain;
  std::string reason;
  ASSERT_TRUE(PhotoToJpeg(test::EncodeHeic(red), plain, reason));
  EXPECT_FALSE(ReadIccProfile(plain.data(), plain.size()));
}

TEST(PhotoImport, EncodingIsFullQualityWithoutSubsamplingAndTheSameEveryTime) {
  const std::vector<uint8_t> heic = test::EncodeHeic(Quadrants(64, 48));
  ASSERT_FALSE(heic.empty());
  const RoundTrip a = Import(heic), b = Import(heic);
  EXPECT_EQ(a.jpeg, b.jpeg);
  // 4:4:4: every component samples 1 x 1 in the frame header.
  bool seen = false;
  for (size_t i = 2; i + 18 < a.jpeg.size(); ++i)
    if (a.jpeg[i] == 0xFF && a.jpeg[i + 1] == 0xC0) {
      seen = true;
      EXPECT_EQ(a.jpeg[i + 9], 3);
      for (int c = 0; c < 3; ++c) EXPECT_EQ(a.jpeg[i + 11 + 3 * c], 0x11) << c;
      break;
    }
  EXPECT_TRUE(seen);
  // A JPEG is never re-encoded.
  const std::vector<uint8_t> jpeg = EncodeJpeg(Quadrants(32, 16), 80);
  std::vector<uint8_t> out;
  std::string reason;
  ASSERT_TRUE(PhotoToJpeg(jpeg, out, reason));
  EXPECT_EQ(out, jpeg);
}

TEST(PhotoImport, TransparentPartsLieOnWhite) {
  const DibImage picture = Quadrants(64, 32);
  const std::vector<uint8_t> heic = test::EncodeHeic(picture, {1, {}, true, 95});
  ASSERT_FALSE(heic.empty());
  for (const std::vector<uint8_t>& file :
       {heic, test::EncodePng(picture, {4, 8, false, {}}), test::EncodePng(picture, {2, 16, true, {}})}) {
    const RoundTrip r = Import(file);
    ASSERT_TRUE(r.image.HasImage());
    // The left half is transparent in each.
    const uint8_t* p = r.image.Row(8) + 8 * 3;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], 255, 6);
    const uint8_t* q = r.image.Row(24) + 56 * 3;
    EXPECT_LT(int(q[0]) + q[1] + q[2], 3 * 230);  // the opaque half is not white
  }
}

TEST(PhotoImport, PngOfEveryKindKeepsSizeColoursAndProfile) {
  const DibImage picture = Quadrants(50, 30);
  const std::vector<uint8_t> p3 = P3Profile();
  const test::PngOptions kinds[] = {
      {3, 8, false, {}}, {3, 16, false, {}}, {3, 8, true, p3}, {1, 8, false, {}}, {4, 16, false, {}}};
  for (const test::PngOptions& k : kinds) {
    SCOPED_TRACE(k.channels * 100 + k.bitDepth + (k.interlaced ? 1000 : 0));
    const std::vector<uint8_t> png = test::EncodePng(picture, k);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(SniffPhotoFormat(png.data(), png.size()), PhotoFormat::kPng);
    const RoundTrip r = Import(png);
    ASSERT_TRUE(r.image.HasImage());
    EXPECT_EQ(r.image.width, 50);
    EXPECT_EQ(r.image.height, 30);
    if (k.channels == 3) ExpectQuadrants(r.image, 3);
    const auto kept = ReadIccProfile(r.jpeg.data(), r.jpeg.size());
    EXPECT_EQ(kept.has_value(), !k.icc.empty());
    if (kept) {
      EXPECT_EQ(*kept, p3);
    }
  }
}

TEST(PhotoImport, BrokenOrOversizedFilesAreRefusedWithAReasonAndNothingChanges) {
  const std::vector<uint8_t> png = test::EncodePng(Quadrants(40, 20));
  const std::vector<uint8_t> heic = test::EncodeHeic(Quadrants(40, 20));
  ASSERT_FALSE(png.empty());
  ASSERT_FALSE(heic.empty());
  std::vector<std::vector<uint8_t>> bad;
  for (size_t cut : {size_t(8), size_t(40), png.size() / 2, png.size() - 13})
    bad.emplace_back(png.begin(), png.begin() + std::ptrdiff_t(cut));
  for (size_t cut : {size_t(12), size_t(40), heic.size() / 2})
    bad.emplace_back(heic.begin(), heic.begin() + std::ptrdiff_t(cut));
  // A PNG header that claims 60000 x 60000 pixels in a hundred bytes.
  std::vector<uint8_t> huge = png;
  huge[16] = 0, huge[17] = 0, huge[18] = 0xEA, huge[19] = 0x60;
  huge[20] = 0, huge[21] = 0, huge[22] = 0xEA, huge[23] = 0x60;
  bad.push_back(huge);
  bad.push_back({'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o', '!'});
  for (const std::vector<uint8_t>& file : bad) {
    SCOPED_TRACE(file.size());
    std::vector<uint8_t> out = {1, 2, 3};
    std::string reason;
    EXPECT_FALSE(PhotoToJpeg(file, out, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    DecodedPhoto photo;
    EXPECT_EQ(DecodePng(file.data(), file.size(), photo, reason), 0);
    EXPECT_FALSE(photo.image.HasImage());
  }
}

TEST(PhotoImport, KnowsThePhotoFileNames) {
  for (const char* name : {"a.jpg", "B.JPEG", "IMG_0001.HEIC", "x.heif", "scan.Png", "c.hif"})
    EXPECT_TRUE(IsPhotoFileName(name)) << name;
  for (const char* name : {"a.kvi", "jpg", ".png", "project.kvp", "a.jpg.txt", "noext"})
    EXPECT_FALSE(IsPhotoFileName(name)) << name;
}

}  // namespace
}  // namespace kv
