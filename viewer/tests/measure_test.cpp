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

TEST(Measure, CaptionsStayOffTheirLinesAndOffEachOther) {
  const double lineWidth = 14, clearance = 3;
  auto check = [&](const std::vector<MeasureLine>& lines, double w, double h) {
    std::vector<std::pair<double, double>> sizes(lines.size(), {w, h});
    const std::vector<LabelBox> boxes =
        PlaceMeasureLabels(lines, sizes, 1000, 700, lineWidth, clearance);
    EXPECT_EQ(boxes.size(), lines.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      SCOPED_TRACE(i);
      const LabelBox& b = boxes[i];
      EXPECT_GE(b.x, 0);
      EXPECT_GE(b.y, 0);
      EXPECT_LE(b.x + b.width, 1000);
      EXPECT_LE(b.y + b.height, 700);
      for (const MeasureLine& l : lines)
        EXPECT_FALSE(SegmentTouchesBox(l.x1 + 0.5, l.y1 + 0.5, l.x2 + 0.5, l.y2 + 0.5,
                                       lineWidth / 2 + clearance - 0.01, b));
      for (size_t j = 0; j < i; ++j) EXPECT_FALSE(boxes[j].Overlaps(b));
      // Beside its own line: its middle within reach of the line's middle.
      const MeasureLine& own = lines[i];
      const double mx = (own.x1 + own.x2) / 2.0, my = (own.y1 + own.y2) / 2.0;
      const double len = std::hypot(own.x2 - own.x1, own.y2 - own.y1);
      EXPECT_LT(std::hypot(b.x + b.width / 2 - mx, b.y + b.height / 2 - my),
                len / 2 + 5 * h + w);
    }
    return boxes;
  };
  // A level line: the caption above it, clear of its rim.
  std::vector<LabelBox> b = check({{100, 300, 500, 300, "a", false}}, 120, 20);
  EXPECT_LE(b[0].y + b[0].height, 300 - lineWidth / 2 - clearance);
  // Steep and diagonal lines (the box's corner would cross a diagonal
  // placed only by its height).
  check({{300, 100, 310, 600, "a", false}}, 160, 20);
  check({{100, 100, 600, 600, "a", false}}, 160, 20);
  check({{600, 100, 100, 600, "a", false}}, 160, 20);
  // Two crossing lines, and three parallel lines close together: no caption
  // on a line, none on another.
  check({{100, 100, 600, 600, "a", false}, {600, 100, 100, 600, "b", false}}, 140, 22);
  check({{100, 300, 700, 300, "a", false},
         {100, 330, 700, 330, "b", false},
         {100, 360, 700, 360, "c", false}},
        140, 22);
  // A line along the top edge: the caption goes below, inside the view.
  b = check({{100, 2, 600, 2, "a", false}}, 120, 20);
  EXPECT_GE(b[0].y, 2 + lineWidth / 2);
  // A line of no length yet still gets a caption, beside the point.
  check({{400, 400, 400, 400, "a", true}}, 120, 20);
}

TEST(Measure, SegmentAgainstBox) {
  const LabelBox box{10, 10, 20, 10};
  EXPECT_TRUE(SegmentTouchesBox(0, 15, 40, 15, 0, box));
  EXPECT_FALSE(SegmentTouchesBox(0, 0, 40, 0, 0, box));
  EXPECT_TRUE(SegmentTouchesBox(0, 0, 40, 0, 10.5, box));
  EXPECT_TRUE(SegmentTouchesBox(15, 12, 16, 13, 0, box));  // inside
  EXPECT_FALSE(SegmentTouchesBox(0, 40, 40, 30, 0, box));
  EXPECT_TRUE(SegmentTouchesBox(0, 0, 40, 40, 0, box));  // through a corner region
}

}  // namespace
}  // namespace kv::viewer
