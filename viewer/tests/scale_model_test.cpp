#include "viewer/model/scale_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kv::viewer {
namespace {

ViewScale Photo(int32_t pw, int32_t ph, int32_t cw, int32_t ch) {
  ViewScale s;
  s.photoWidth = pw;
  s.photoHeight = ph;
  s.clientWidth = cw;
  s.clientHeight = ch;
  return s;
}

TEST(ScaleModel, FitCentringAndTruncation) {
  // 4000 x 3000 into 1000 x 700: the height ratio wins.
  ViewScale s = Photo(4000, 3000, 1000, 700);
  s.zoom = s.Fit();
  EXPECT_DOUBLE_EQ(s.zoom, 700.0 / 3000.0);
  s.PlaceCentredOn(0, 0);
  EXPECT_EQ(s.visibleWidth, 4285);
  EXPECT_EQ(s.visibleHeight, 3000);
  EXPECT_EQ(s.originX, 0);
  EXPECT_EQ(s.originY, 0);
  s.ComputeOffsets();
  EXPECT_EQ(s.offsetX, 33);  // (1000 - 933) / 2
  EXPECT_EQ(s.offsetY, 0);

  // Equal ratios, and the empty cases that must not divide by zero.
  EXPECT_DOUBLE_EQ(FitScale(2000, 1000, 1000, 500), 0.5);
  EXPECT_EQ(FitScale(0, 0, 1000, 700), 1.0);
  EXPECT_EQ(FitScale(4000, 3000, 0, 700), 1.0);
  EXPECT_EQ(FitScale(-5, 3000, 1000, 700), 1.0);
  // A tiny photo in a big window is still a bounded scale.
  EXPECT_LE(FitScale(1, 1, 100000, 100000), kMaxScale);
}

TEST(ScaleModel, PlacementClampsIntoThePhoto) {
  ViewScale s = Photo(4000, 3000, 1000, 1000);
  s.zoom = 1.0;
  s.PlaceCentredOn(3990, 1500);  // near the right edge: flush with it
  EXPECT_EQ(s.originX, 3000);
  EXPECT_EQ(s.originY, 1000);
  s.PlaceCentredOn(0, 0);
  EXPECT_EQ(s.originX, 0);
  EXPECT_EQ(s.originY, 0);
  // A centre near a corner: the centre is not in the middle of the window.
  s.PlaceCentredOn(3999, 2999);
  EXPECT_EQ(s.originX, 3000);
  EXPECT_EQ(s.originY, 2000);
  // Extreme centres from a damaged file cannot overflow the arithmetic.
  s.PlaceCentredOn(std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(s.originX, 3000);
  EXPECT_EQ(s.originY, 0);
  EXPECT_EQ(s.CentreX(), 3500);
}

TEST(ScaleModel, ThePhotoPointInTheWindowsMiddleStaysThere) {
  ViewScale s = Photo(4000, 3000, 1000, 700);
  s.zoom = 0.5;
  s.PlaceCentredOn(1234, 987);
  s.ComputeOffsets();
  const double px = s.WindowCentrePhotoX(), py = s.WindowCentrePhotoY();
  EXPECT_NEAR(px, 1234, 1);
  EXPECT_NEAR(py, 987, 1);
  // The window on a screen of pixel ratio 2 at twice the scale: the same
  // point stays in the middle to within a device pixel.
  s.clientWidth = 2000;
  s.clientHeight = 1400;
  s.zoom = 1.0;
  s.PlaceWindowCentreOn(px, py);
  s.ComputeOffsets();
  EXPECT_NEAR(s.WindowCentrePhotoX(), px, 1.0 / s.zoom);
  EXPECT_NEAR(s.WindowCentrePhotoY(), py, 1.0 / s.zoom);
  // A photo narrower than the window: its middle is under the window's,
  // not the middle of the visible part that runs past its edge.
  ViewScale t = Photo(800, 600, 1000, 700);
  t.zoom = 1.0;
  t.PlaceCentredOn(0, 0);
  t.ComputeOffsets();
  EXPECT_EQ(t.CentreX(), 500);
  EXPECT_DOUBLE_EQ(t.WindowCentrePhotoX(), 400);
  EXPECT_DOUBLE_EQ(t.WindowCentrePhotoY(), 300);
  // Near an edge the point is as far as the photo allows.
  s.PlaceWindowCentreOn(3990, 10);
  EXPECT_EQ(s.originX, 4000 - s.visibleWidth);
  EXPECT_EQ(s.originY, 0);
}

TEST(ScaleModel, ClientPhotoMappingTruncatesTowardZero) {
  ViewScale s = Photo(4000, 3000, 1000, 700);
  s.zoom = 0.5;
  s.originX = 10;
  s.originY = 20;
  s.offsetX = 3;
  s.offsetY = 0;
  EXPECT_EQ(s.PhotoX(8), 20);   // (8 - 3) / 0.5 + 10
  EXPECT_EQ(s.PhotoX(0), 4);    // -6 + 10
  EXPECT_EQ(s.ClientX(13), 4);  // trunc(3 * 0.5) + 3 = 1 + 3
  EXPECT_EQ(s.ClientY(19), 0);  // trunc(-0.5) = 0
  // Before the first scale nothing divides by zero.
  ViewScale fresh = Photo(10, 10, 100, 100);
  EXPECT_EQ(fresh.PhotoX(50), 0);
  fresh.UpdateVisibleSize();
  EXPECT_EQ(fresh.visibleWidth, 0);
}

TEST(ScaleModel, ZoomTableSteps) {
  EXPECT_EQ(ZoomInStep(1.0), 1.25);
  EXPECT_EQ(ZoomOutStep(1.0), 0.75);
  EXPECT_FALSE(ZoomInStep(4.0));
  EXPECT_FALSE(ZoomOutStep(0.125));
  EXPECT_EQ(ZoomOutStep(0.2), 0.167);
  EXPECT_EQ(ZoomInStep(0.2), 0.25);
  EXPECT_EQ(ZoomInStep(0.952), 1.0);
  EXPECT_EQ(ZoomOutStep(0.952), 0.75);
  EXPECT_FALSE(ZoomInStep(std::nan("")));
}

TEST(ScaleModel, TruncationClampsLargeDoubles) {
  EXPECT_EQ(TruncToInt(-0.9), 0);
  EXPECT_EQ(TruncToInt(2.9), 2);
  EXPECT_EQ(TruncToInt(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TruncToInt(-1e300), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(TruncToInt(std::numeric_limits<double>::infinity()),
            std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TruncToInt(std::nan("")), 0);
}

TEST(ScaleModel, RealSizeFromRegistrationAndCalibration) {
  ViewScale s = Photo(4000, 3000, 1000, 700);
  // 210 mm over 800 screen pixels, 100 mm over 400 photo pixels.
  DisplayCalibration cal{100, 100, 900, 100, 210};
  RegistrationList regs = {MakeRegistration(1000, 1000, 1400, 1000, 100)};
  EXPECT_EQ(ComputeRealSize(s, regs, 0, cal), RealSizeOutcome::Ok);
  EXPECT_DOUBLE_EQ(s.mmPerScreenPixel, 0.2625);
  EXPECT_DOUBLE_EQ(s.mmPerImagePixel, 0.25);
  EXPECT_DOUBLE_EQ(s.zoom, 0.25 / 0.2625);
  EXPECT_EQ(s.realSizeZoom, s.zoom);
  EXPECT_EQ(s.visibleWidth, 1050);  // trunc(1000 / 0.952...)
  EXPECT_EQ(s.originX, 1200 - 1050 / 2);
  // The segment spans d x zoom device pixels: 400 photo pixels make 800 x
  // 100 / 210 screen pixels, its real length at the calibrated density.
  const int32_t span = s.ClientX(1400) - s.ClientX(1000);
  EXPECT_NEAR(span, 400 * s.zoom, 1.0);
  EXPECT_NEAR(span, 100.0 * 800.0 / 210.0, 1.0);
}

TEST(ScaleModel, RealSizeFallsBackToOneForEveryUnusableInput) {
  const DisplayCalibration good;
  const RegistrationList ok = {MakeRegistration(0, 0, 300, 0, 210)};
  struct Case {
    const char* what;
    RegistrationList regs;
    int32_t point;
    DisplayCalibration cal;
    RealSizeOutcome outcome;
  } cases[] = {
      {"empty list", {}, 0, good, RealSizeOutcome::NoPoint},
      {"negative index", ok, -1, good, RealSizeOutcome::NoPoint},
      {"index past the end", ok, 1, good, RealSizeOutcome::NoPoint},
      {"coinciding points", {MakeRegistration(5, 5, 5, 5, 100)}, 0, good,
       RealSizeOutcome::DegenerateRegistration},
      {"zero length", {MakeRegistration(0, 0, 10, 0, 0)}, 0, good,
       RealSizeOutcome::DegenerateRegistration},
      {"negative length", {MakeRegistration(0, 0, 10, 0, -4)}, 0, good,
       RealSizeOutcome::DegenerateRegistration},
      {"zero calibration length", ok, 0, {100, 500, 400, 500, 0},
       RealSizeOutcome::BadCalibration},
      {"coinciding calibration points", ok, 0, {100, 500, 100, 500, 210},
       RealSizeOutcome::BadCalibration},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ViewScale s = Photo(4000, 3000, 1000, 700);
    s.zoom = 0.25;
    s.PlaceCentredOn(2000, 1500);
    EXPECT_EQ(ComputeRealSize(s, c.regs, c.point, c.cal), c.outcome);
    EXPECT_EQ(s.zoom, 1.0);
    EXPECT_EQ(s.realSizeZoom, 1.0);
    // The visible part is recomputed for the new scale, about the old centre.
    EXPECT_EQ(s.visibleWidth, 1000);
    EXPECT_EQ(s.visibleHeight, 700);
    EXPECT_EQ(s.originX, 1500);
    EXPECT_EQ(s.originY, 1150);
  }
  // The default points are no calibration: the monitor's own report, or
  // the one fallback density, never the defaults' 0.7 mm per pixel.
  ViewScale s = Photo(4000, 3000, 1000, 700);
  EXPECT_EQ(ComputeRealSize(s, ok, 0, good), RealSizeOutcome::Ok);
  EXPECT_DOUBLE_EQ(s.mmPerScreenPixel, 25.4 / 96);
  EXPECT_DOUBLE_EQ(s.zoom, 0.7 / (25.4 / 96));
  EXPECT_EQ(ComputeRealSize(s, ok, 0, good, 0.35), RealSizeOutcome::Ok);
  EXPECT_DOUBLE_EQ(s.zoom, 2.0);
  // A calibration wins over the report.
  EXPECT_EQ(ComputeRealSize(s, ok, 0, {100, 500, 400, 500, 210}, 0.35), RealSizeOutcome::Ok);
  EXPECT_DOUBLE_EQ(s.zoom, 1.0);
  // An absurd but valid registration gives a bounded scale.
  RegistrationList huge = {MakeRegistration(0, 0, 1, 0, 2000000000)};
  EXPECT_EQ(ComputeRealSize(s, huge, 0, good), RealSizeOutcome::Ok);
  EXPECT_EQ(s.zoom, kMaxScale);
}

TEST(ScaleModel, RealSizePointStepping) {
  // -1 ("next") walks from the end toward the start, +1 the other way.
  EXPECT_EQ(StepPointIndex(0, -1, 3), 2);
  EXPECT_EQ(StepPointIndex(2, -1, 3), 1);
  EXPECT_EQ(StepPointIndex(1, -1, 3), 0);
  EXPECT_EQ(StepPointIndex(2, +1, 3), 0);
  EXPECT_EQ(StepPointIndex(0, +1, 3), 1);
  EXPECT_EQ(StepPointIndex(0, -1, 0), -1);
  EXPECT_EQ(StepPointIndex(0, +1, 0), 0);
  // An index carried over from a photo with more registrations.
  EXPECT_EQ(StepPointIndex(7, -1, 3), 2);
  EXPECT_EQ(StepPointIndex(7, +1, 3), 0);
  EXPECT_EQ(StepPointIndex(std::numeric_limits<int32_t>::max(), +1, 3), 0);
  EXPECT_EQ(StepPointIndex(std::numeric_limits<int32_t>::min(), -1, 3), 2);
}

TEST(ScaleModel, ClampOriginAfterResize) {
  ViewScale s = Photo(4000, 3000, 1000, 1000);
  s.zoom = 1.0;
  s.PlaceCentredOn(3999, 2999);
  EXPECT_EQ(s.originX, 3000);
  s.clientWidth = 2000;
  s.UpdateVisibleSize();
  s.ClampOrigin();
  EXPECT_EQ(s.originX, 2000);
  s.clientWidth = 5000;
  s.UpdateVisibleSize();
  s.ClampOrigin();
  EXPECT_EQ(s.originX, 0);
}

}  // namespace
}  // namespace kv::viewer
