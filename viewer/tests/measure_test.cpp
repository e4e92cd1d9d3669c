// Lengths on the photo from a registration's scale, the texts they are
// shown in, snapping to registration ends and the list of measurements.
#include "viewer/model/measure.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kv::viewer {
namespace {

using Source = MeasureScale::Source;

// 500 photo pixels of 250 mm: half a millimetre per pixel.
const SizeRegistration kHalfMm = MakeRegistration(100, 100, 600, 100, 250);

TEST(Measure, LengthFromTheCurrentRegistrationsScale) {
  const RegistrationList regs = {MakeRegistration(0, 0, 30, 40, 100), kHalfMm};
  const MeasureScale s = MeasureScaleFor(regs, 1);
  ASSERT_TRUE(s.HasMillimetres());
  EXPECT_EQ(s.index, 1);
  EXPECT_DOUBLE_EQ(s.mmPerPixel, 0.5);
  const Measurement across{{10, 20}, {310, 20}};
  EXPECT_DOUBLE_EQ(across.Pixels(), 300.0);
  EXPECT_DOUBLE_EQ(*across.Millimetres(s), 150.0);
  EXPECT_EQ(MeasureCaption(across, s), "150.0 mm (300 px)");
  EXPECT_EQ(MeasureScaleText(s), "計測: ｻｲｽﾞ情報 2 (250 mm) の縮尺");
  // Any direction, fractions of a pixel, rounding of the last digit.
  const Measurement slant{{0.5, 0.5}, {180.5, 240.5}};  // 300 px
  EXPECT_EQ(MeasureCaption(slant, s), "150.0 mm (300 px)");
  EXPECT_EQ(MeasureCaption(Measurement{{0, 0}, {0, 12.3}}, s), "6.2 mm (12 px)");
  // The other registration: 100 mm over 50 px.
  const MeasureScale first = MeasureScaleFor(regs, 0);
  EXPECT_DOUBLE_EQ(first.mmPerPixel, 2.0);
  EXPECT_EQ(MeasureCaption(across, first), "600.0 mm (300 px)");
}

TEST(Measure, PixelsOnlyWithoutAUsableRegistration) {
  const Measurement m{{0, 0}, {300, 0}};
  struct Case {
    RegistrationList regs;
    int32_t current;
    Source source;
    const char* status;
  };
  const Case cases[] = {
      {{}, 0, Source::NoRegistrations, "ｻｲｽﾞ情報がないためﾋﾟｸｾﾙで計測"},
      {{kHalfMm}, -1, Source::NoCurrentPoint, "原寸大表示ﾎﾟｲﾝﾄがないためﾋﾟｸｾﾙで計測"},
      {{kHalfMm}, 1, Source::NoCurrentPoint, "原寸大表示ﾎﾟｲﾝﾄがないためﾋﾟｸｾﾙで計測"},
      {{kHalfMm, MakeRegistration(5, 5, 5, 5, 10)}, 1, Source::Unusable,
       "ｻｲｽﾞ情報 2 が使えないためﾋﾟｸｾﾙで計測"},
      {{MakeRegistration(0, 0, 10, 0, 0)}, 0, Source::Unusable,
       "ｻｲｽﾞ情報 1 が使えないためﾋﾟｸｾﾙで計測"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    const MeasureScale s = MeasureScaleFor(c.regs, c.current);
    EXPECT_EQ(s.source, c.source);
    EXPECT_FALSE(s.HasMillimetres());
    EXPECT_FALSE(m.Millimetres(s));
    EXPECT_EQ(MeasureCaption(m, s), "300 px");
    EXPECT_EQ(MeasureScaleText(s), c.status);
  }
}

TEST(Measure, ClientMappingAndSnappingToRegistrationEnds) {
  ViewScale s;
  s.zoom = 0.36;
  s.originX = 40;
  s.originY = 10;
  s.offsetX = 7;
  s.offsetY = 3;
  // A device pixel mapped to the photo comes back to the same pixel.
  for (int32_t x : {7, 8, 100, 999}) {
    const PhotoPointF p = PhotoPointAt(s, x, x + 1);
    EXPECT_EQ(MeasureClientX(s, p.x), x);
    EXPECT_EQ(MeasureClientY(s, p.y), x + 1);
  }
  // An integral point is drawn where its guide line ends.
  EXPECT_EQ(MeasureClientX(s, 600), s.ClientX(600));
  EXPECT_EQ(MeasureClientY(s, 100), s.ClientY(100));

  const RegistrationList regs = {kHalfMm, MakeRegistration(610, 100, 900, 400, 80)};
  const int32_t ex = s.ClientX(600), ey = s.ClientY(100);
  // Within 6 device pixels (3 and 4 make 5): onto the end exactly.
  EXPECT_EQ(SnapToRegistrationEnd(regs, s, ex - 3, ey + 4, 6), (PhotoPointF{600, 100}));
  EXPECT_EQ(SnapToRegistrationEnd(regs, s, ex, ey - 6, 6), (PhotoPointF{600, 100}));
  EXPECT_FALSE(SnapToRegistrationEnd(regs, s, ex, ey - 7, 6));
  EXPECT_FALSE(SnapToRegistrationEnd(regs, s, ex - 5, ey + 5, 6));  // 7.07 away
  // Two ends near each other: the nearer wins, then the earlier.
  const int32_t nx = s.ClientX(610);
  ASSERT_EQ(nx - ex, 4);
  EXPECT_EQ(SnapToRegistrationEnd(regs, s, nx + 1, ey, 6), (PhotoPointF{610, 100}));
  EXPECT_EQ(SnapToRegistrationEnd(regs, s, ex + 1, ey, 6), (PhotoPointF{600, 100}));
  EXPECT_EQ(SnapToRegistrationEnd(regs, s, ex + 2, ey, 20), (PhotoPointF{600, 100}));
  // A wider reach (a screen of pixel ratio 2) catches what 6 did not.
  EXPECT_EQ(SnapToRegistrationEnd(regs, s, ex, ey - 7, 12), (PhotoPointF{600, 100}));
  EXPECT_FALSE(SnapToRegistrationEnd({}, s, ex, ey, 6));
}

TEST(Measure, ListKeepsDraggedSegmentsAndDropsClicks) {
  MeasureList list;
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.Last(), nullptr);
  list.Begin({1, 2});
  list.MoveTo({5, 2});
  EXPECT_TRUE(list.Dragging());
  EXPECT_FALSE(list.Empty());
  EXPECT_EQ(list.Pending(), (Measurement{{1, 2}, {5, 2}}));
  EXPECT_TRUE(list.End({11, 2}));
  EXPECT_FALSE(list.Pending());
  ASSERT_NE(list.Last(), nullptr);
  EXPECT_EQ(*list.Last(), (Measurement{{1, 2}, {11, 2}}));
  list.Begin({3, 3});
  EXPECT_FALSE(list.End({3, 3}));  // no length
  list.Begin({0, 0});
  list.Cancel();
  EXPECT_FALSE(list.End({9, 9}));
  EXPECT_EQ(list.Done().size(), 1u);
  list.Begin({20, 20});
  EXPECT_TRUE(list.End({20, 40}));
  EXPECT_EQ(list.Last()->to, (PhotoPointF{20, 40}));

  // Drawn in client pixels with their captions; the pending one last.
  ViewScale s;
  s.zoom = 2.0;
  s.originX = 10;
  list.Begin({10, 0});
  list.MoveTo({10.5, 0});
  const MeasureScale half = MeasureScaleFor({kHalfMm}, 0);
  const std::vector<MeasureLine> lines = MeasureLines(list, s, half);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].x1, -18);
  EXPECT_EQ(lines[0].x2, 2);
  EXPECT_EQ(lines[0].caption, "5.0 mm (10 px)");
  EXPECT_FALSE(lines[1].pending);
  EXPECT_TRUE(lines[2].pending);
  EXPECT_EQ(lines[2].x2 - lines[2].x1, 1);
  list.Clear();
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(MeasureLines(list, s, half).empty());
}

}  // namespace
}  // namespace kv::viewer
