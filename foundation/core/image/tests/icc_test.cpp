#include "foundation/core/image/icc.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/shown_photo.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/util/parallel.h"

namespace kv {
namespace {

// --- profiles, made here with the colour engine -------------------------------

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kP3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
constexpr cmsCIExyYTRIPLE kSrgb{{0.640, 0.330, 1.0}, {0.300, 0.600, 1.0}, {0.150, 0.060, 1.0}};
// The sRGB curve: linear at the foot, a 2.4 power above.
constexpr cmsFloat64Number kSrgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};

std::vector<uint8_t> Save(cmsHPROFILE p) {
  cmsUInt32Number n = 0;
  std::vector<uint8_t> bytes;
  if (p && cmsSaveProfileToMem(p, nullptr, &n)) {
    bytes.resize(n);
    if (!cmsSaveProfileToMem(p, bytes.data(), &n)) bytes.clear();
  }
  if (p) cmsCloseProfile(p);
  return bytes;
}

std::vector<uint8_t> RgbProfile(const cmsCIExyYTRIPLE& primaries) {
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, kSrgbCurve);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  std::vector<uint8_t> bytes = Save(cmsCreateRGBProfile(&kD65, &primaries, curves));
  cmsFreeToneCurve(curve);
  return bytes;
}

const std::vector<uint8_t>& P3() {
  static const std::vector<uint8_t> p = RgbProfile(kP3);
  return p;
}

std::vector<uint8_t> GreyProfile() {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
  std::vector<uint8_t> bytes = Save(cmsCreateGrayProfile(&kD65, curve));
  cmsFreeToneCurve(curve);
  return bytes;
}

// A printer-like profile: four inks in, Lab out, through a 2-point table.
std::vector<uint8_t> CmykProfile() {
  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, 2.1);
  cmsSetDeviceClass(p, cmsSigOutputClass);
  cmsSetColorSpace(p, cmsSigCmykData);
  cmsSetPCS(p, cmsSigLabData);
  cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
  cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 2, 4, 3, nullptr);
  cmsPipelineInsertStage(lut, cmsAT_BEGIN, clut);
  cmsWriteTag(p, cmsSigAToB0Tag, lut);
  cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsPipelineFree(lut);
  return Save(p);
}

// --- JPEGs with chunks written here ------------------------------------------

struct Chunk {
  int number;
  int count;
  std::vector<uint8_t> data;
};

std::vector<Chunk> Split(const std::vector<uint8_t>& profile, size_t size) {
  std::vector<Chunk> chunks;
  for (size_t at = 0; at < profile.size(); at += size)
    chunks.push_back({0, 0, {profile.begin() + std::ptrdiff_t(at),
                             profile.begin() + std::ptrdiff_t(std::min(profile.size(), at + size))}});
  for (size_t i = 0; i < chunks.size(); ++i) chunks[i] = {int(i + 1), int(chunks.size()), chunks[i].data};
  return chunks;
}

std::vector<uint8_t> Segment(const Chunk& c) {
  const size_t length = 2 + 14 + c.data.size();
  std::vector<uint8_t> s = {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length)};
  for (char ch : std::string("ICC_PROFILE", 12)) s.push_back(uint8_t(ch));
  s.push_back(uint8_t(c.number));
  s.push_back(uint8_t(c.count));
  s.insert(s.end(), c.data.begin(), c.data.end());
  return s;
}

// The chunks in the order given, right after SOI.
std::vector<uint8_t> WithChunks(std::vector<uint8_t> jpeg, const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> segments;
  for (const Chunk& c : chunks) {
    const std::vector<uint8_t> s = Segment(c);
    segments.insert(segments.end(), s.begin(), s.end());
  }
  jpeg.insert(jpeg.begin() + 2, segments.begin(), segments.end());
  return jpeg;
}

DibImage Flat(int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b) {
  DibImage img(w, h);
  img.padBytes = DibPadBytes(w);
  img.byteSize = uint32_t(img.Stride() * size_t(h));
  img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
  std::memset(img.pixels.get(), 0xAB, img.byteSize);  // padding that must stay
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      img.Row(y)[3 * x] = b;
      img.Row(y)[3 * x + 1] = g;
      img.Row(y)[3 * x + 2] = r;
    }
  return img;
}

// Varied content: every pixel different within a few rows.
DibImage Busy(int32_t w, int32_t h) {
  DibImage img = Flat(w, h, 0, 0, 0);
  uint32_t s = 7;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < 3 * w; ++x) {
      s = s * 1664525u + 1013904223u;
      img.Row(y)[x] = uint8_t(s >> 24);
    }
  return img;
}

bool SamePixels(const DibImage& a, const DibImage& b) {
  return a.byteSize == b.byteSize && std::memcmp(a.pixels.get(), b.pixels.get(), a.byteSize) == 0;
}

std::vector<uint8_t> PlainJpeg() { return EncodeJpeg(Flat(24, 16, 200, 120, 70), 90); }

// --- an independent P3 to sRGB conversion, in doubles ---------------------------

using Mat = std::array<std::array<double, 3>, 3>;

Mat Mul(const Mat& a, const Mat& b) {
  Mat m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
  return m;
}

Mat Inverse(const Mat& m) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  Mat r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
      r[i][j] = (m[a][c] * m[b][d] - m[a][d] * m[b][c]) / det;
    }
  return r;
}

// Linear RGB to XYZ for primaries and a white point, both white points
// being the same D65 so that no adaptation comes between the two spaces.
Mat ToXyz(const cmsCIExyYTRIPLE& p) {
  const cmsCIExyY prim[3] = {p.Red, p.Green, p.Blue};
  Mat m{};
  for (int c = 0; c < 3; ++c) {
    m[0][c] = prim[c].x / prim[c].y;
    m[1][c] = 1;
    m[2][c] = (1 - prim[c].x - prim[c].y) / prim[c].y;
  }
  const Mat inv = Inverse(m);
  const double w[3] = {kD65.x / kD65.y, 1, (1 - kD65.x - kD65.y) / kD65.y};
  for (int c = 0; c < 3; ++c) {
    const double s = inv[c][0] * w[0] + inv[c][1] * w[1] + inv[c][2] * w[2];
    for (int r = 0; r < 3; ++r) m[r][c] *= s;
  }
  return m;
}

double Linear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double Curve(double l) {
  l = std::clamp(l, 0.0, 1.0);
  return l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

// R, G, B in P3 to R, G, B in sRGB, clipped to the sRGB gamut.
std::array<int, 3> P3ToSrgb(int r, int g, int b) {
  const Mat m = Mul(Inverse(ToXyz(kSrgb)), ToXyz(kP3));
  const double in[3] = {Linear(r / 255.0), Linear(g / 255.0), Linear(b / 255.0)};
  std::array<int, 3> out{};
  for (int i = 0; i < 3; ++i)
    out[i] = int(std::lround(255 * Curve(m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2])));
  return out;
}

void ExpectNear(const uint8_t* bgr, std::array<int, 3> rgb, int levels) {
  EXPECT_NEAR(bgr[2], rgb[0], levels);
  EXPECT_NEAR(bgr[1], rgb[1], levels);
  EXPECT_NEAR(bgr[0], rgb[2], levels);
}

// --- reading -----------------------------------------------------------------

TEST(Icc, PutsChunksTogetherInNumberOrderWhateverOrderTheyComeIn) {
  const std::vector<uint8_t>& profile = P3();
  ASSERT_GT(profile.size(), 300u);
  const std::vector<uint8_t> plain = PlainJpeg();
  EXPECT_FALSE(ReadIccProfile(plain.data(), plain.size()));
  EXPECT_FALSE(ReadIccProfile(nullptr, 0));

  std::vector<Chunk> chunks = Split(profile, 97);
  ASSERT_GE(chunks.size(), 4u);
  std::mt19937 rng(5);
  for (int round = 0; round < 4; ++round) {
    std::vector<Chunk> order = chunks;
    if (round == 1) std::reverse(order.begin(), order.end());
    if (round >= 2) std::shuffle(order.begin(), order.end(), rng);
    std::vector<uint8_t> j = WithChunks(plain, order);
    if (round == 3) {
      // Among other application segments, one of them another APP2.
      j = testing::WithExif(j, 6, true);
      const uint8_t other[] = {0xFF, 0xE2, 0, 8, 'X', 'Y', 'Z', 0, 1, 2};
      j.insert(j.begin() + 2, std::begin(other), std::end(other));
    }
    const auto read = ReadIccProfile(j.data(), j.size());
    ASSERT_TRUE(read) << round;
    EXPECT_EQ(*read, profile) << round;
  }
  // One chunk, empty chunks among others, the largest chunks a segment holds.
  const std::vector<uint8_t> one = WithChunks(plain, Split(profile, profile.size()));
  EXPECT_EQ(ReadIccProfile(one.data(), one.size()), profile);
  std::vector<Chunk> withEmpty = Split(profile, 200);
  withEmpty.push_back({int(withEmpty.size()) + 1, 0, {}});
  for (Chunk& c : withEmpty) c.count = int(withEmpty.size());
  const std::vector<uint8_t> e = WithChunks(plain, withEmpty);
  EXPECT_EQ(ReadIccProfile(e.data(), e.size()), profile);
  std::vector<uint8_t> big(300000, 0x5A);
  big[0] = 0, big[1] = 4, big[2] = 0x93, big[3] = 0xE0;  // 300000 as its own size
  const std::vector<uint8_t> jb = WithChunks(plain, Split(big, 65535 - 16));
  EXPECT_EQ(ReadIccProfile(jb.data(), jb.size()), big);
  // Only the headers before the first scan count.
  std::vector<uint8_t> late = plain;
  const std::vector<uint8_t> s = Segment(chunks[0]);
  late.insert(late.end() - 2, s.begin(), s.end());
  EXPECT_FALSE(ReadIccProfile(late.data(), late.size()));
}

TEST(Icc, RefusesChunksThatDoNotMakeOneWholeProfileAndReadsNothingOutside) {
  const std::vector<uint8_t> plain = PlainJpeg();
  const std::vector<Chunk> good = Split(P3(), 120);
  ASSERT_GE(good.size(), 3u);
  auto refused = [&](std::vector<Chunk> chunks, const char* what) {
    const std::vector<uint8_t> j = WithChunks(plain, chunks);
    EXPECT_FALSE(ReadIccProfile(j.data(), j.size())) << what;
  };
  std::vector<Chunk> c = good;
  c.erase(c.begin() + 1);
  refused(c, "missing");
  c = good;
  c.pop_back();
  refused(c, "last missing");
  c = good;
  c.push_back(good[1]);
  refused(c, "repeated");
  c = good;
  c[0].number = 0;
  refused(c, "zero number");
  c = good;
  c.back().number = c.back().count + 1;
  refused(c, "number past the count");
  c = good;
  c[1].count += 1;
  refused(c, "counts disagree");
  c = good;
  for (Chunk& k : c) k.count = 0;
  refused(c, "count zero");
  c = good;
  c[1].data.pop_back();
  refused(c, "a byte short of its own size");
  c = good;
  c.back().data.push_back(0);
  refused(c, "a byte beyond its own size");
  c = good;
  c[0].data.resize(100);
  refused(c, "shorter than a profile header");
  {
    std::vector<uint8_t> over(kIccMaxProfileBytes + 4, 0);
    const uint32_t n = uint32_t(over.size());
    over[0] = uint8_t(n >> 24), over[1] = uint8_t(n >> 16), over[2] = uint8_t(n >> 8), over[3] = uint8_t(n);
    refused(Split(over, 65535 - 16), "beyond the bound");
  }
  // A chunk too short for its number and count.
  std::vector<uint8_t> j = WithChunks(plain, good);
  const uint8_t stub[] = {0xFF, 0xE2, 0, 15, 'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1};
  j.insert(j.begin() + 2, std::begin(stub), std::end(stub));
  EXPECT_FALSE(ReadIccProfile(j.data(), j.size()));

  // Cut anywhere or with bytes changed: only the bytes there are read (the
  // sanitizers watch), and whatever comes out is one whole profile that the
  // conversion takes or refuses without harm.
  const std::vector<uint8_t> whole = WithChunks(plain, good);
  const size_t headers = whole.size() - plain.size() + 2;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const std::vector<uint8_t> m(whole.begin(), whole.begin() + std::ptrdiff_t(cut));
    const auto p = ReadIccProfile(m.data(), m.size());
    ASSERT_EQ(bool(p), cut >= headers) << cut;
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 2000; ++i) {
    std::vector<uint8_t> m = whole;
    for (int k = 0; k < 3; ++k) m[2 + rng() % headers] = uint8_t(rng());
    std::unique_ptr<uint8_t[]> exact(new uint8_t[m.size()]);
    std::copy(m.begin(), m.end(), exact.get());
    const auto p = ReadIccProfile(exact.get(), m.size());
    if (!p) continue;
    ASSERT_GE(p->size(), 128u);
    ASSERT_LE(p->size(), kIccMaxProfileBytes);
    ASSERT_EQ(uint32_t((*p)[0]) << 24 | uint32_t((*p)[1]) << 16 | uint32_t((*p)[2]) << 8 | (*p)[3], p->size());
    if (i % 8 == 0) {
      DibImage img = Busy(5, 3);
      const DibImage before = Busy(5, 3);
      const bool converted = ConvertToSrgb(img, *p);
      ASSERT_TRUE(converted || SamePixels(img, before));
    }
  }
}

// --- converting --------------------------------------------------------------

TEST(Icc, P3PhotosComeOutInSrgbAsAnIndependentConversionSays) {
  // A colour beyond sRGB is clipped, one within it lands where the
  // arithmetic puts it; both through the whole path, from a JPEG that
  // carries the profile in chunks.
  const std::array<int, 3> red = P3ToSrgb(255, 0, 0);
  EXPECT_EQ(red, (std::array<int, 3>{255, 0, 0}));
  const std::array<int, 3> orange = P3ToSrgb(230, 140, 60);
  for (int v : orange) ASSERT_TRUE(v > 5 && v < 250) << v;  // truly inside sRGB
  EXPECT_GT(orange[0], 230);  // and visibly moved

  for (std::array<int, 3> p3 : {std::array<int, 3>{255, 0, 0}, std::array<int, 3>{230, 140, 60}}) {
    SCOPED_TRACE(p3[0] * 1000000 + p3[1] * 1000 + p3[2]);
    const std::vector<uint8_t> jpeg =
        WithChunks(EncodeJpeg(Flat(16, 16, uint8_t(p3[0]), uint8_t(p3[1]), uint8_t(p3[2])), 100), Split(P3(), 200));
    DibImage image;
    ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), image), 1);
    const uint8_t* px = image.Row(8) + 3 * 8;
    const std::array<int, 3> decoded{px[2], px[1], px[0]};  // the encoder's rounding aside
    const auto profile = ReadIccProfile(jpeg.data(), jpeg.size());
    ASSERT_TRUE(profile);
    ASSERT_TRUE(ConvertToSrgb(image, *profile));
    ExpectNear(px, P3ToSrgb(decoded[0], decoded[1], decoded[2]), 2);
  }
  const DibImage red1 = [] {
    DibImage img = Flat(3, 2, 255, 0, 0);
    EXPECT_TRUE(ConvertToSrgb(img, P3()));
    return img;
  }();
  ExpectNear(red1.Row(1) + 6, {255, 0, 0}, 2);
  // Row padding is no pixel and stays as it was.
  for (int32_t y = 0; y < 2; ++y) EXPECT_EQ(red1.Row(y)[9], 0xAB);
}

TEST(Icc, SharingRowsOutChangesNothingAndTheTransformIsKept) {
  // Large enough for several threads where there are cores; each row is
  // also converted alone as a picture of one row.
  DibImage whole = Busy(2051, 1030);
  const DibImage source = Busy(2051, 1030);
  const size_t builtBefore = IccTransformsBuilt();
  ASSERT_TRUE(ConvertToSrgb(whole, P3()));
  for (int32_t y = 0; y < whole.height; y += 1) {
    DibImage row = Flat(whole.width, 1, 0, 0, 0);
    std::memcpy(row.Row(0), source.Row(y), size_t(whole.width) * 3);
    ASSERT_TRUE(ConvertToSrgb(row, std::vector<uint8_t>(P3())));  // same bytes, another block
    ASSERT_EQ(0, std::memcmp(row.Row(0), whole.Row(y), size_t(whole.width) * 3)) << y;
    ASSERT_EQ(0, std::memcmp(whole.Row(y) + 3 * whole.width, source.Row(y) + 3 * whole.width,
                             whole.padBytes));
  }
  // Four-byte pixels come out as the three-byte ones do, alpha kept.
  std::vector<uint8_t> bgra(size_t(source.width) * 4 * size_t(source.height));
  for (int32_t y = 0; y < source.height; ++y)
    for (int32_t x = 0; x < source.width; ++x) {
      uint8_t* q = &bgra[(size_t(y) * size_t(source.width) + size_t(x)) * 4];
      std::memcpy(q, source.Row(y) + 3 * x, 3);
      q[3] = uint8_t(x);
    }
  ASSERT_TRUE(ConvertToSrgb(bgra.data(), source.width, source.height, size_t(source.width) * 4, P3()));
  bool same = true;
  for (int32_t y = 0; y < source.height && same; ++y)
    for (int32_t x = 0; x < source.width && same; ++x) {
      const uint8_t* q = &bgra[(size_t(y) * size_t(source.width) + size_t(x)) * 4];
      same = std::memcmp(q, whole.Row(y) + 3 * x, 3) == 0 && q[3] == uint8_t(x);
    }
  EXPECT_TRUE(same);
  // Over a thousand conversions with one profile built one transform for each pixel size at
  // most (none when an earlier test had built it); two profiles taking
  // turns keep theirs too.
  EXPECT_LE(IccTransformsBuilt() - builtBefore, 2u);
  const std::vector<uint8_t> srgb = RgbProfile(kSrgb);
  DibImage small = Busy(4, 4);
  ASSERT_TRUE(ConvertToSrgb(small, srgb));
  const size_t builtBoth = IccTransformsBuilt();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(ConvertToSrgb(small, i % 2 ? srgb : P3()));
  EXPECT_EQ(IccTransformsBuilt(), builtBoth);
}

TEST(Icc, PhotosWithoutAProfileOrWithSrgbStayAsTheyAre) {
  // The call as the programs make it.
  const std::vector<uint8_t> jpeg = testing::WithExif(EncodeJpeg(Busy(33, 17), 90), 3, false);
  DibImage as, converted;
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), as), 1);
  ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), converted), 1);
  bool called = false;
  if (auto p = ReadIccProfile(jpeg.data(), jpeg.size())) called = ConvertToSrgb(converted, *p);
  EXPECT_FALSE(called);
  EXPECT_TRUE(SamePixels(as, converted));

  // sRGB in, sRGB out: within a level, both for a profile made from the
  // primaries and for the engine's own.
  for (const std::vector<uint8_t>& srgb : {RgbProfile(kSrgb), Save(cmsCreate_sRGBProfile())}) {
    DibImage img = Busy(64, 64);
    const DibImage before = Busy(64, 64);
    ASSERT_TRUE(ConvertToSrgb(img, srgb));
    int worst = 0;
    for (uint32_t i = 0; i < img.byteSize; ++i)
      worst = std::max(worst, std::abs(int(img.pixels[i]) - int(before.pixels[i])));
    EXPECT_LE(worst, 1);
  }
}

TEST(Icc, ProfilesThatAreNotRgbOrNotProfilesChangeNothing) {
  std::vector<uint8_t> garbage = P3();
  for (size_t i = 128; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 31);
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  // A device link from sRGB to P3: RGB in, but no description of a device.
  cmsHPROFILE srgb = cmsCreate_sRGBProfile(), p3 = cmsOpenProfileFromMem(P3().data(), cmsUInt32Number(P3().size()));
  cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, p3, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
  cmsHPROFILE link = cmsTransform2DeviceLink(t, 4.3, 0);
  cmsDeleteTransform(t);
  cmsCloseProfile(srgb);
  cmsCloseProfile(p3);
  const std::vector<uint8_t> cmyk = CmykProfile(), grey = GreyProfile();
  ASSERT_FALSE(cmyk.empty());
  ASSERT_FALSE(grey.empty());
  ASSERT_TRUE(link && lab);
  const std::vector<std::vector<uint8_t>> refused = {
      grey, cmyk, Save(lab), Save(link), garbage,
      std::vector<uint8_t>(P3().begin(), P3().begin() + 200), {}};
  for (size_t k = 0; k < refused.size(); ++k) {
    for (int again = 0; again < 2; ++again) {  // also when the refusal is remembered
      DibImage img = Busy(7, 5);
      const DibImage before = Busy(7, 5);
      EXPECT_FALSE(ConvertToSrgb(img, refused[k])) << k;
      EXPECT_TRUE(SamePixels(img, before)) << k;
    }
  }
  DibImage none;
  EXPECT_FALSE(ConvertToSrgb(none, P3()));
}

// --- the photo as the programs show it ---------------------------------------

// Decoded, converted from its profile, then turned: the three steps the
// programs took one by one before, against the one call. Converted bands
// and turned tiles are shared out on three threads.
TEST(ShownPhoto, IsTheStoredPhotoConvertedThenTurnedAndStopsWhenAsked) {
  pool::SetMinParallelPixels(1);
  pool::SetThreads(3);
  const std::vector<uint8_t> stored = WithChunks(EncodeJpeg(Busy(150, 140), 95), Split(P3(), 300));
  for (Orientation o : {1, 3, 6, 8}) {
    SCOPED_TRACE(o);
    const std::vector<uint8_t> jpeg = testing::WithExif(stored, uint16_t(o), true);
    DibImage want;
    ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), want), 1);
    ASSERT_TRUE(ConvertToSrgb(want, P3()));
    ASSERT_TRUE(OrientImage(want, o));
    std::string reason;
    DibImage shown;
    ASSERT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shown, reason), 1) << reason;
    EXPECT_TRUE(SamePixels(shown, want));
    std::vector<uint8_t> bgra;
    int allocations = 0;
    const JpegAllocator into = [&](uint32_t, uint32_t h, size_t stride) {
      ++allocations;
      bgra.assign(stride * h, 0);
      return JpegTarget{bgra.data(), stride};
    };
    ASSERT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, 0, into, reason), 1) << reason;
    bool same = true;
    for (int32_t y = 0; y < want.height; ++y)
      for (int32_t x = 0; x < want.width; ++x)
        same = same && std::memcmp(&bgra[(size_t(y) * size_t(want.width) + size_t(x)) * 4], want.Row(y) + 3 * x, 3) == 0;
    EXPECT_TRUE(same);
    // A part is the part of the whole, colours converted too; one outside
    // the photo is refused and the record given kept.
    const ImageRect part{9, 20, want.width - 30, 41};
    ASSERT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shown, reason, &part), 1) << reason;
    ASSERT_EQ(shown.width, part.width);
    for (int32_t y = 0; y < part.height; ++y)
      ASSERT_EQ(0, std::memcmp(shown.Row(y), want.Row(part.y + y) + 3 * part.x, size_t(part.width) * 3)) << y;
    const ImageRect beyond{want.width - 10, 0, 11, 5};
    EXPECT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shown, reason, &beyond), 0);
    EXPECT_EQ(shown.width, part.width);

    // Given up before the call: nothing is allocated or decoded. Given up
    // once the pixels are asked for (a close while decoding): stopped,
    // whichever way the photo is stored.
    std::atomic<bool> stop{true};
    allocations = 0;
    EXPECT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, 0, into, reason, &stop), 0);
    EXPECT_EQ(reason, kStoppedReason);
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shown, reason, nullptr, 0, &stop), 0);
    EXPECT_EQ(reason, kStoppedReason);
    EXPECT_EQ(shown.width, part.width);
    stop = false;
    const JpegAllocator thenStop = [&](uint32_t w, uint32_t h, size_t stride) {
      stop = true;
      return into(w, h, stride);
    };
    EXPECT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, 0, thenStop, reason, &stop), 0);
    EXPECT_EQ(reason, kStoppedReason);
    // The conversion alone, stopped before it starts, leaves the pixels.
    DibImage kept = Busy(40, 30);
    EXPECT_FALSE(ConvertToSrgb(kept, P3(), &stop));
    EXPECT_TRUE(SamePixels(kept, Busy(40, 30)));
  }
  pool::SetMinParallelPixels(0);
  pool::SetThreads(0);
}

}  // namespace
}  // namespace kv
