// The bundled sample must tell the truth: its registrations lie on the
// things they name, at the density the picture was drawn at, and the file
// the build wrote is sound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/util/geometry.h"
#include "kvi/actual_size_file.h"
#include "tools/samplegen/scene.h"

namespace kv::sample {
namespace {

int Luma(const DibImage& img, int x, int y) {
  const uint8_t* p = img.Row(y) + 3 * x;
  return (p[0] * 29 + p[1] * 150 + p[2] * 77) >> 8;
}

const DibImage& Photo() {
  static const DibImage photo = DrawPhoto();
  return photo;
}

TEST(Sample, RegistrationsMatchTheDrawingDensity) {
  const RegistrationList regs = Registrations();
  ASSERT_GE(regs.size(), 2u);
  for (const SizeRegistration& r : regs) {
    const double px = PointDistance(r.startX, r.startY, r.endX, r.endY);
    EXPECT_NEAR(px / r.lengthMm, double(kPixelsPerMm), 1e-9) << r.lengthMm;
    for (int32_t v : {r.startX, r.endX}) EXPECT_TRUE(v >= 0 && v < kWidth);
    for (int32_t v : {r.startY, r.endY}) EXPECT_TRUE(v >= 0 && v < kHeight);
  }
  // The card's short side is 53.98 mm; its registration rounds to 54.
  EXPECT_NEAR(kCardHeightMm * kPixelsPerMm, regs[1].endY - regs[1].startY, 0.5);
}

TEST(Sample, RulerLinesSitOnTheMillimetreColumns) {
  const DibImage& img = Photo();
  ASSERT_EQ(img.width, kWidth);
  ASSERT_EQ(img.height, kHeight);
  // Every millimetre line is darker than the steel halfway to the next one.
  for (int k = 0; k <= kRulerScaleMm; ++k) {
    const int x = kRulerZeroX + k * kPixelsPerMm;
    const int line = Luma(img, x, kRulerTickRow);
    const int between = Luma(img, x + kPixelsPerMm / 2, kRulerTickRow);
    EXPECT_LT(line + 60, between) << "mm " << k;
  }
  // The registered ruler span starts and ends on a line.
  const SizeRegistration ruler = Registrations()[0];
  EXPECT_LT(Luma(img, ruler.startX, ruler.startY), 60);
  EXPECT_LT(Luma(img, ruler.endX, ruler.endY), 60);
}

TEST(Sample, CardSpanEndsOnTheCardEdges) {
  const DibImage& img = Photo();
  const SizeRegistration card = Registrations()[1];
  // Inside the card the picture is the card's blue; just outside it is desk.
  auto bluish = [&](int x, int y) {
    const uint8_t* p = img.Row(y) + 3 * x;
    return p[0] > p[2] + 20;
  };
  EXPECT_TRUE(bluish(card.startX, card.startY + 2));
  EXPECT_FALSE(bluish(card.startX, card.startY - 2));
  EXPECT_TRUE(bluish(card.endX, card.endY - 2));
  EXPECT_FALSE(bluish(card.endX, card.endY + 2));
}

TEST(Sample, LogoIsUsableRawRgb) {
  const ActualSizeFile f = MakeFile({1, 2, 3});
  EXPECT_TRUE(HasUsableLogo(f));
  EXPECT_EQ(f.logoBytes.size(), size_t(kLogoWidth) * kLogoHeight * 3);
  EXPECT_EQ(f.jpegName, "sample.jpg");
  EXPECT_FALSE(f.link.empty());
}

TEST(Sample, TheBuiltFileIsSoundAndDecodes) {
  const char* bin = std::getenv("KV_BIN_DIR");
  ASSERT_NE(bin, nullptr);
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(std::string(bin) + "/sample.kvi", f, reason)) << reason;
  EXPECT_EQ(f.registrations, Registrations());
  EXPECT_TRUE(HasUsableLogo(f));
  DibImage img;
  ASSERT_EQ(DecodeJpegBuffer(f.jpegBytes.data(), f.jpegBytes.size(), img), 1);
  EXPECT_EQ(img.width, kWidth);
  EXPECT_EQ(img.height, kHeight);
  // The encoded photo stays close to the drawing (no shifted or flipped rows).
  const DibImage& drawn = Photo();
  long diff = 0;
  for (int y = 0; y < kHeight; y += 37)
    for (int x = 0; x < kWidth; x += 41) diff += std::abs(Luma(img, x, y) - Luma(drawn, x, y));
  EXPECT_LT(double(diff) / ((kHeight / 37 + 1) * (kWidth / 41 + 1)), 6.0);
}

}  // namespace
}  // namespace kv::sample
