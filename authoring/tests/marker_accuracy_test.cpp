// How exactly a printed marker registers a photo, without a camera: the
// marker sheet's own PDF rasterised at a known resolution (as paper is
// printed), placed into photos turned, scaled, blurred, noisy and
// compressed, and the millimetres per pixel the registration gives compared
// with the truth. The figures go to the test's output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "authoring/model/marker_detect.h"
#include "authoring/tests/marker_photos.h"
#include "foundation/core/util/geometry.h"
#include "print/marker_sheet.h"
#include "print/marker_sheet_layout.h"
#include "print/tests/pdf_raster.h"
#include "viewer/tests/test_files.h"

namespace kv::authoring {
namespace {

using testing::Grey;
using testing::Projection;

constexpr int kDpi = 300;
constexpr double kMmPerSheetPixel = 25.4 / kDpi;
constexpr double kTolerance = 0.003;  // 0.3 %

struct Sheet {
  Grey grey;
  print::MarkerSheetLayout layout;
};

Sheet RasterisedSheet(int32_t sizeMm, const viewer::testing::TempDir& dir) {
  Sheet s;
  const std::string pdf = dir.File("markers.pdf");
  const print::MarkerSheetOutcome out =
      print::WriteMarkerSheetPdf(sizeMm, print::PaperSize::kA4, pdf);
  EXPECT_TRUE(out.Done()) << out.failure;
  std::string why;
  const std::optional<kv::testing::Raster> r = kv::testing::RasterisePdf(pdf, kDpi, why);
  EXPECT_TRUE(r) << why;
  if (!r) return s;
  s.grey.width = r->width;
  s.grey.height = r->height;
  s.grey.pixels.resize(size_t(r->width) * size_t(r->height));
  for (size_t i = 0; i < s.grey.pixels.size(); ++i)
    s.grey.pixels[i] = uint8_t((r->rgb[3 * i] + r->rgb[3 * i + 1] + r->rgb[3 * i + 2]) / 3);
  s.layout = print::LayOutMarkerSheet(print::PdfPage(print::PaperSize::kA4, false), sizeMm);
  return s;
}

// The part of the sheet round one marker, `marginMm` beyond its square.
Grey Crop(const Grey& sheet, const print::RectMm& square, double marginMm) {
  const int32_t x0 = int32_t((square.x - marginMm) / kMmPerSheetPixel);
  const int32_t y0 = int32_t((square.y - marginMm) / kMmPerSheetPixel);
  const int32_t n = int32_t((square.width + 2 * marginMm) / kMmPerSheetPixel);
  Grey g;
  g.width = g.height = n;
  g.pixels.resize(size_t(n) * size_t(n));
  for (int32_t y = 0; y < n; ++y)
    for (int32_t x = 0; x < n; ++x) g.pixels[size_t(y) * size_t(n) + size_t(x)] = sheet.At(x0 + x, y0 + y);
  return g;
}

TEST(MarkerAccuracy, TheSheetPrintsEachBlackSquareAtItsSize) {
  viewer::testing::TempDir dir;
  const Sheet s = RasterisedSheet(50, dir);
  ASSERT_GT(s.grey.width, 0);
  ASSERT_TRUE(s.layout.fits);
  ASSERT_EQ(s.layout.markers.size(), 6u);  // two across, three down on A4
  for (const print::MarkerCell& cell : s.layout.markers) {
    // Along the middle of the top border row the ink is one run: its
    // darkness summed is its length in pixels, to a fraction of one.
    const print::RectMm& q = cell.square;
    const int32_t y = int32_t((q.y + q.height / 16) / kMmPerSheetPixel);
    double ink = 0;
    for (int32_t x = int32_t(q.x / kMmPerSheetPixel) - 30; x < int32_t(q.Right() / kMmPerSheetPixel) + 30; ++x)
      ink += (255 - s.grey.At(x, y)) / 255.0;
    EXPECT_NEAR(ink * kMmPerSheetPixel, 50.0, 0.15) << "marker " << cell.id;
  }
  // Too large for the paper: refused, nothing written.
  EXPECT_FALSE(print::WriteMarkerSheetPdf(200, print::PaperSize::kA4, dir.File("big.pdf")).Done());
  EXPECT_FALSE(std::filesystem::exists(dir.File("big.pdf")));
  // A folder that is not there: a failure with its reason, never a sheet.
  const print::MarkerSheetOutcome nowhere =
      print::WriteMarkerSheetPdf(50, print::PaperSize::kA4, dir.File("none/sheet.pdf"));
  EXPECT_FALSE(nowhere.Done());
  EXPECT_EQ(nowhere.markers, 0);
}

TEST(MarkerAccuracy, PhotosOfThePrintedMarkerGiveTheScaleWithinThreeTenthsOfAPercent) {
  viewer::testing::TempDir dir;
  const Sheet s = RasterisedSheet(50, dir);
  ASSERT_GT(s.grey.width, 0);
  struct Case {
    double scale, degrees;
    testing::CameraEffects fx;
  } cases[] = {
      {0.40, 7, {1, 2, 92, 1}},    // 236-pixel square, just above the limit
      {0.55, 33, {2, 4, 85, 2}},   // more blur, more noise, harder compression
      {0.80, 90 + 14, {1, 3, 90, 3}},
      {1.10, 180 + 45, {2, 5, 75, 4}},
      {1.35, 300, {1, 2, 95, 5}},  // 797 pixels
  };
  double worst = 0;
  for (const Case& c : cases) {
    const print::MarkerCell& cell = s.layout.markers[size_t(c.fx.seed) % s.layout.markers.size()];
    const Grey crop = Crop(s.grey, cell.square, 12);
    const int32_t side = int32_t(crop.width * c.scale * 1.45) + 40;
    // Centred in the photo, turned about its own centre.
    Projection p = Projection::Similarity(c.scale, c.degrees, 0, 0);
    double cx, cy;
    p.Apply(crop.width / 2.0, crop.height / 2.0, cx, cy);
    p.h[2] = side / 2.0 - cx + 0.37;  // and off the pixel grid
    p.h[5] = side / 2.0 - cy + 0.81;
    const DibImage photo = testing::PhotographSheet(crop, side, side, p, c.fx);

    MarkerDetector detector;
    const std::vector<DetectedMarker> found = detector.Detect(photo);
    ASSERT_EQ(found.size(), 1u) << "scale " << c.scale;
    EXPECT_EQ(found[0].id, cell.id);
    const MarkerOutcome out = RegistrationsFromMarkers(found, 50);
    ASSERT_TRUE(out.Ok()) << out.refusal;
    const SizeRegistration& r = out.registrations[0];
    const double recovered = r.lengthMm / PointDistance(r.startX, r.startY, r.endX, r.endY);
    const double truth = kMmPerSheetPixel / c.scale;
    const double error = recovered / truth - 1;
    worst = std::max(worst, std::abs(error));
    std::printf("marker %d, square %.0f px, turned %.0f deg, blur %d, noise %.0f, JPEG %d: "
                "%.5f mm/px (true %.5f), error %+.3f %%\n",
                cell.id, 50 / truth, c.degrees, c.fx.blurPasses, c.fx.noiseSigma, c.fx.jpegQuality,
                recovered, truth, error * 100);
    EXPECT_LT(std::abs(error), kTolerance) << "scale " << c.scale << " degrees " << c.degrees;
  }
  std::printf("worst error %.3f %%\n", worst * 100);
}

}  // namespace
}  // namespace kv::authoring
