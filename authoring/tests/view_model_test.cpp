#include "authoring/model/kovasand_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "authoring/tests/support.h"

namespace kv::authoring {
namespace {

using namespace testing;

class ViewModelTest : public ::testing::Test {
 protected:
  ViewModelTest() {
    WriteProgramFiles(program);
    EXPECT_TRUE(doc.OnNewDocument());
  }
  void Import(int32_t w, int32_t h) {
    ASSERT_TRUE(doc.ImportJpeg(WritePhoto(work, "p" + std::to_string(w) + "x" + std::to_string(h) + ".jpg", w, h)));
  }
  // The decoded photo's pixel as RenderPhoto writes it.
  uint32_t PhotoPixel(int32_t x, int32_t y) const {
    const uint8_t* p = doc.image.Row(y) + size_t(x) * 3;
    return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
  // The client-sized picture RenderPhoto fills, `around` where no photo is.
  std::vector<uint32_t> Render(uint32_t around = 0x12345678u) const {
    std::vector<uint32_t> frame(size_t(view.ClientWidth()) * size_t(view.ClientHeight()), around);
    view.RenderPhoto(frame.data(), size_t(view.ClientWidth()) * 4);
    return frame;
  }

  TempDir program, work, temp;
  RecordingMessages messages;
  KovasandDoc doc{platform::Services{&messages, nullptr, nullptr}, program.Folder(), temp.Folder()};
  RecordingHost host;
  KovasandView view{doc, host};
};

TEST(NavigatorMapping, ScalesAndCentresInTheSquare) {
  const NavigatorMapping wide = ComputeNavigatorMapping(480, 240);
  EXPECT_DOUBLE_EQ(wide.navScale, 2.0);
  EXPECT_EQ(wide.navOffsetX, 0);
  EXPECT_EQ(wide.navOffsetY, 60);
  const NavigatorMapping tall = ComputeNavigatorMapping(240, 480);
  EXPECT_DOUBLE_EQ(tall.navScale, 2.0);
  EXPECT_EQ(tall.navOffsetX, 60);
  EXPECT_EQ(tall.navOffsetY, 0);
  const NavigatorMapping square = ComputeNavigatorMapping(960, 960);
  EXPECT_DOUBLE_EQ(square.navScale, 4.0);
  EXPECT_EQ(square.navOffsetX, 0);
  EXPECT_EQ(square.navOffsetY, 0);
  EXPECT_EQ(wide.PhotoToThumb(479, 239), (IntPoint{239, 179}));
  // Empty photos and absurd points stay finite.
  EXPECT_DOUBLE_EQ(ComputeNavigatorMapping(0, 10).navScale, 1.0);
  const NavigatorMapping tiny = ComputeNavigatorMapping(1, 100000);
  EXPECT_GT(tiny.PhotoToThumb(2147483647, -2147483647 - 1).x, 0);
}

TEST(ZoomTable, StepsToTheNextValueAndStopsAtTheEnds) {
  EXPECT_EQ(ZoomStepAbove(1), 1.5);
  EXPECT_EQ(ZoomStepAbove(3), 3.5);
  EXPECT_EQ(ZoomStepAbove(6), 8);
  EXPECT_EQ(ZoomStepAbove(8), 8);
  EXPECT_EQ(ZoomStepBelow(1), 0.75);
  EXPECT_EQ(ZoomStepBelow(0.125), 0.0625);
  EXPECT_EQ(ZoomStepBelow(0.0625), 0.0625);
  // From a fitted scale between two values, to either neighbour.
  EXPECT_EQ(ZoomStepAbove(0.37), 0.5);
  EXPECT_EQ(ZoomStepBelow(0.37), 0.25);
  EXPECT_EQ(ZoomStepAbove(7.9), 8);
  EXPECT_EQ(ZoomStepBelow(7.9), 6);
  // A value that missed a step by rounding still counts as that step.
  EXPECT_EQ(ZoomStepAbove(2.5 * (1 + 1e-12)), 3);
  EXPECT_EQ(ZoomStepBelow(2.5 * (1 - 1e-12)), 2);
}

TEST(ListRow, FormatsPointsWithoutBlanks) {
  const ListRow row = MakeListRow(MakeRegistration(120, 340, 880, -352, 250), 2);
  EXPECT_EQ(row.number, "3");
  EXPECT_EQ(row.start, "(120,340)");
  EXPECT_EQ(row.end, "(880,-352)");
  EXPECT_EQ(row.length, "250");
  EXPECT_EQ(row.center, "(500,-6)");
}

TEST_F(ViewModelTest, SmallPhotosAreCentredAndLargeOnesScroll) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(50, 40);
  EXPECT_EQ(view.DisplayWidth(), 200);
  EXPECT_EQ(view.DisplayOffsetX(), 75);
  EXPECT_EQ(view.DisplayOffsetY(), 30);
  EXPECT_EQ(view.MaxScrollX(), 0);
  EXPECT_EQ(view.ClientToPhoto(75, 30), (IntPoint{0, 0}));
  EXPECT_EQ(view.PhotoToClient(49, 39), (IntPoint{124, 69}));

  Import(500, 300);
  EXPECT_EQ(view.DisplayOffsetX(), 0);
  EXPECT_EQ(view.MaxScrollX(), 300);
  EXPECT_EQ(view.MaxScrollY(), 200);
  view.SetScroll(1000, -5);
  EXPECT_EQ(view.ScrollX(), 300);
  EXPECT_EQ(view.ScrollY(), 0);
  EXPECT_EQ(view.ClientToPhoto(10, 10), (IntPoint{310, 10}));
  // A larger window clamps the scroll position.
  view.SetClientSize(450, 300);
  EXPECT_EQ(view.ScrollX(), 50);
  EXPECT_EQ(view.PageStepX(), 250);
  EXPECT_EQ(view.LineStepX(), 10);
}

TEST_F(ViewModelTest, TwoClicksAndALengthMakeTheSevenValues) {
  view.SetClientSize(100, 100);
  view.OnInitialUpdate();
  Import(60, 40);  // offsets 20, 30
  doc.BeginRegistration();
  host.answer = 250;
  view.OnLeftButtonDown(20 + 15, 30 + 10);
  EXPECT_EQ(doc.drawMode, kDrawEnd);
  EXPECT_EQ(view.PendingRegistration().startX, 15);
  view.OnLeftButtonDown(20 + 10, 30 + 10);
  EXPECT_EQ(doc.drawMode, kDrawIdle);
  ASSERT_EQ(host.asked, std::vector<int32_t>{5});
  ASSERT_EQ(doc.registrations.size(), 1u);
  const SizeRegistration r = doc.registrations[0];
  EXPECT_EQ(r, (SizeRegistration{15, 10, 10, 10, 250, 13, 10}));

  // (0,0) to (3,4) shows 5 dot; (0,0) to (1,1) shows 1.
  for (auto [x, y, want] : {std::tuple{3, 4, 5}, std::tuple{1, 1, 1}}) {
    doc.BeginRegistration();
    view.OnLeftButtonDown(20, 30);
    view.OnLeftButtonDown(20 + x, 30 + y);
    EXPECT_EQ(host.asked.back(), want);
  }
  EXPECT_EQ(doc.registrations.size(), 3u);

  // Cancelled: nothing added; the next click does nothing.
  host.answer = std::nullopt;
  doc.BeginRegistration();
  view.OnLeftButtonDown(25, 35);
  view.OnLeftButtonDown(45, 35);
  EXPECT_EQ(doc.registrations.size(), 3u);
  view.OnLeftButtonDown(50, 50);
  EXPECT_EQ(doc.drawMode, kDrawIdle);
}

TEST_F(ViewModelTest, BadClicksKeepTheRegistrationPending) {
  view.SetClientSize(100, 100);
  view.OnInitialUpdate();
  Import(60, 40);
  doc.BeginRegistration();
  view.OnLeftButtonDown(5, 5);  // grey area
  EXPECT_EQ(doc.drawMode, kDrawStart);
  view.OnLeftButtonDown(30, 40);
  view.OnLeftButtonDown(30, 40);  // the start point again
  EXPECT_EQ(doc.drawMode, kDrawEnd);
  view.OnLeftButtonDown(99, 99);  // outside
  EXPECT_EQ(doc.drawMode, kDrawEnd);
  EXPECT_TRUE(host.asked.empty());
  // A right click abandons it.
  view.OnRightButtonDown();
  EXPECT_EQ(doc.drawMode, kDrawIdle);
  view.OnLeftButtonDown(40, 40);
  EXPECT_TRUE(doc.registrations.empty());
}

TEST_F(ViewModelTest, AMissingPhotoIsToldAndNothingOfTheOldOneSurvives) {
  view.SetClientSize(100, 100);
  view.OnInitialUpdate();
  Import(300, 200);
  ASSERT_TRUE(doc.AddRegistration(MakeRegistration(1, 1, 50, 50, 20)));
  ASSERT_TRUE(doc.OnSaveDocument(work.File("p.kvp")));
  const std::string photo = doc.jpegPath;
  std::filesystem::remove(photo);
  ASSERT_TRUE(doc.OnOpenDocument(work.File("p.kvp")));
  view.OnInitialUpdate();
  ASSERT_FALSE(messages.shown.empty());
  EXPECT_EQ(messages.shown.back(), photo + text::kPhotoNotFound);
  EXPECT_FALSE(doc.HasPhoto());
  EXPECT_EQ(doc.jpegPath, photo);  // saving again keeps the reference
  EXPECT_EQ(doc.registrations.size(), 1u);
  EXPECT_EQ(view.DisplayWidth(), 100);
  EXPECT_EQ(view.MaxScrollX(), 0);
  EXPECT_FALSE(view.NavigatorFrame().drawLeft);
  std::string reason;
  EXPECT_FALSE(doc.CheckPublishable());
}

TEST_F(ViewModelTest, TheNavigatorFramesTheVisiblePartAndScrollsTheView) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(960, 480);  // navScale 4, offset y 60
  EXPECT_DOUBLE_EQ(view.Navigator().navScale, 4.0);
  VisibleFrame f = view.NavigatorFrame();
  EXPECT_FALSE(f.drawLeft);
  EXPECT_FALSE(f.drawTop);  // the photo's own top edge
  EXPECT_TRUE(f.drawRight);
  EXPECT_TRUE(f.drawBottom);
  EXPECT_EQ(f.right, 50);
  EXPECT_EQ(f.bottom, 85);
  view.NavigatorPress(120, 120);  // photo (480, 240) to the middle
  EXPECT_EQ(view.ScrollX(), 380);
  EXPECT_EQ(view.ScrollY(), 190);
  f = view.NavigatorFrame();
  EXPECT_TRUE(f.drawLeft);
  EXPECT_EQ(f.left, 95);
  view.NavigatorPress(-1000, 1000);
  EXPECT_EQ(view.ScrollX(), 0);
  EXPECT_EQ(view.ScrollY(), 380);
  // The whole photo visible: no edge inside the square.
  view.SetClientSize(2000, 1000);
  f = view.NavigatorFrame();
  EXPECT_FALSE(f.drawLeft || f.drawTop || f.drawRight || f.drawBottom);
}

TEST_F(ViewModelTest, ClicksLandOnThePhotoPixelUnderThemAtEveryScale) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(400, 300);
  ASSERT_EQ(view.Scale(), 1.0);

  // 3.5: photo pixel 0 shows on device pixels 0-3, 1 on 4-6, 2 on 7-10.
  view.ZoomAbout(3.5, 0, 0);
  ASSERT_EQ(view.Scale(), 3.5);
  EXPECT_EQ(view.MaxScrollX(), 1400 - 200);
  EXPECT_EQ(view.MaxScrollY(), 1050 - 100);
  view.SetScroll(0, 0);
  EXPECT_EQ(view.ClientToPhoto(3, 3), (IntPoint{0, 0}));
  EXPECT_EQ(view.ClientToPhoto(4, 6), (IntPoint{1, 1}));
  EXPECT_EQ(view.ClientToPhoto(7, 10), (IntPoint{2, 2}));
  // Marks sit in the middle of the device pixels of their photo pixel.
  EXPECT_EQ(view.PhotoToClient(0, 1), (IntPoint{2, 5}));
  // Scrolled: 700 / 3.5 = 200 exactly, 353 / 3.5 = 100.86, 354 / 3.5 = 101.14.
  view.SetScroll(700, 353);
  EXPECT_EQ(view.ClientToPhoto(0, 0), (IntPoint{200, 100}));
  EXPECT_EQ(view.ClientToPhoto(3, 1), (IntPoint{200, 101}));
  EXPECT_EQ(view.ClientToPhoto(4, 3), (IntPoint{201, 101}));
  EXPECT_EQ(view.ClientToPhoto(6, 4), (IntPoint{201, 102}));
  EXPECT_EQ(view.PhotoToClient(201, 101), (IntPoint{5, 2}));

  // 8, scrolled to the middle of photo pixel (50, 20): its last device
  // pixel is client (4, 2), the next pixel starts at (5, 3).
  view.ZoomAbout(8, 0, 0);
  view.SetScroll(8 * 50 + 3, 8 * 20 + 5);
  EXPECT_EQ(view.ClientToPhoto(0, 0), (IntPoint{50, 20}));
  EXPECT_EQ(view.ClientToPhoto(4, 2), (IntPoint{50, 20}));
  EXPECT_EQ(view.ClientToPhoto(5, 3), (IntPoint{51, 21}));
  EXPECT_EQ(view.PhotoToClient(51, 21), (IntPoint{9, 7}));
  EXPECT_EQ(view.ClientToPhoto(9, 7), (IntPoint{51, 21}));
  // What the clicks register.
  doc.BeginRegistration();
  view.OnLeftButtonDown(4, 2);
  view.OnLeftButtonDown(5 + 8 * 10 + 7, 3);
  ASSERT_EQ(doc.registrations.size(), 1u);
  EXPECT_EQ(doc.registrations[0], MakeRegistration(50, 20, 61, 21, 100));

  // 0.25: the photo, 100 x 75 device pixels, is centred at (50, 12); a
  // device pixel gives the first of the four photo pixels it shows.
  view.ZoomAbout(0.25, 0, 0);
  EXPECT_EQ(view.DisplayOffsetX(), 50);
  EXPECT_EQ(view.DisplayOffsetY(), 12);
  EXPECT_EQ(view.MaxScrollX(), 0);
  EXPECT_EQ(view.ClientToPhoto(50, 12), (IntPoint{0, 0}));
  EXPECT_EQ(view.ClientToPhoto(51, 13), (IntPoint{4, 4}));
  EXPECT_EQ(view.ClientToPhoto(149, 86), (IntPoint{396, 296}));
  EXPECT_EQ(view.ClientToPhoto(150, 87), (IntPoint{400, 300}));  // outside, not clamped
  EXPECT_EQ(view.ClientToPhoto(49, 11), (IntPoint{-4, -4}));
  EXPECT_EQ(view.PhotoToClient(0, 0), (IntPoint{50, 12}));
  EXPECT_EQ(view.PhotoToClient(399, 299), (IntPoint{149, 86}));
  EXPECT_EQ(view.PhotoOnClient(), (IntRect{50, 12, 100, 75}));

  // A small photo centred at 3.5: 70 x 35 device pixels at (65, 32).
  Import(20, 10);
  view.ZoomAbout(3.5, 0, 0);
  EXPECT_EQ(view.DisplayOffsetX(), 65);
  EXPECT_EQ(view.DisplayOffsetY(), 32);
  EXPECT_EQ(view.ClientToPhoto(65, 32), (IntPoint{0, 0}));
  EXPECT_EQ(view.ClientToPhoto(64, 31), (IntPoint{-1, -1}));
  EXPECT_EQ(view.ClientToPhoto(134, 66), (IntPoint{19, 9}));
  EXPECT_EQ(view.ClientToPhoto(135, 67), (IntPoint{20, 10}));
  EXPECT_EQ(view.PhotoToClient(19, 9), (IntPoint{65 + 68, 32 + 33}));
  // Registered by the first and the last device pixel of two pixels.
  doc.BeginRegistration();
  view.OnLeftButtonDown(65 + 7, 32 + 7);   // (2, 2), first device pixel
  view.OnLeftButtonDown(65 + 69, 32 + 34);  // (19, 9), last device pixel
  // (The new photo dropped the earlier registration.)
  ASSERT_EQ(doc.registrations.size(), 1u);
  EXPECT_EQ(doc.registrations[0], MakeRegistration(2, 2, 19, 9, 100));
}

TEST_F(ViewModelTest, ZoomStepsWalkTheTableAndANewPhotoStartsAtOneToOne) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  // Nothing to zoom without a photo.
  EXPECT_FALSE(view.CanZoomIn());
  EXPECT_FALSE(view.CanZoomOut());
  view.ZoomIn();
  view.ZoomFit();
  EXPECT_EQ(view.Scale(), 1.0);
  EXPECT_FALSE(view.Fitting());

  Import(400, 300);
  std::vector<double> seen{view.Scale()};
  for (int i = 0; i < 20 && view.CanZoomIn(); ++i) {
    const int before = host.scrollChanged;
    view.ZoomIn();
    seen.push_back(view.Scale());
    // Bars, view and navigator follow every step.
    EXPECT_GT(host.scrollChanged, before);
  }
  EXPECT_EQ(seen, (std::vector<double>{1, 1.5, 2, 2.5, 3, 3.5, 4, 5, 6, 8}));
  view.ZoomIn();
  EXPECT_EQ(view.Scale(), 8.0);
  EXPECT_EQ(view.MaxScrollX(), 3200 - 200);
  seen.clear();
  for (int i = 0; i < 20 && view.CanZoomOut(); ++i) {
    view.ZoomOut();
    seen.push_back(view.Scale());
  }
  EXPECT_EQ(seen, (std::vector<double>{6, 5, 4, 3.5, 3, 2.5, 2, 1.5, 1, 0.75, 0.5, 0.25, 0.125,
                                       0.0625}));
  view.ZoomOut();
  EXPECT_EQ(view.Scale(), 0.0625);
  EXPECT_TRUE(view.CanZoomIn());
  view.ZoomActual();
  EXPECT_EQ(view.Scale(), 1.0);
  // Out of the table's range or not a number.
  view.ZoomAbout(100, 0, 0);
  EXPECT_EQ(view.Scale(), 8.0);
  view.ZoomAbout(0.001, 0, 0);
  EXPECT_EQ(view.Scale(), 0.0625);
  view.ZoomAbout(std::nan(""), 0, 0);
  EXPECT_EQ(view.Scale(), 0.0625);

  // A new photo, even one larger than the window, starts at 1:1 from its
  // top-left.
  view.ZoomAbout(5, 100, 50);
  view.SetScroll(900, 700);
  Import(500, 400);
  EXPECT_EQ(view.Scale(), 1.0);
  EXPECT_EQ(view.ScrollX(), 0);
  EXPECT_EQ(view.ScrollY(), 0);
  EXPECT_EQ(view.MaxScrollX(), 300);
}

TEST_F(ViewModelTest, ZoomAboutKeepsThePhotoPixelUnderThePointer) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(2000, 1500);
  view.SetScroll(800, 600);
  const IntPoint pointer{37, 61};
  const IntPoint under = view.ClientToPhoto(pointer.x, pointer.y);
  ASSERT_EQ(under, (IntPoint{837, 661}));
  for (const double s : {3.5, 8.0, 1.5, 2.5, 6.0, 1.0, 3.0}) {
    view.ZoomAbout(s, pointer.x, pointer.y);
    ASSERT_EQ(view.Scale(), s);
    EXPECT_EQ(view.ClientToPhoto(pointer.x, pointer.y), under) << s;
  }
  // Reduced, a device pixel shows several photo pixels: the point stays
  // within one device pixel.
  for (const double s : {0.5, 0.25}) {
    view.ZoomAbout(s, pointer.x, pointer.y);
    const IntPoint p = view.ClientToPhoto(pointer.x, pointer.y);
    EXPECT_LE(std::abs(p.x - under.x), int(1 / s)) << s;
    EXPECT_LE(std::abs(p.y - under.y), int(1 / s)) << s;
  }
  // In and out about the window's centre.
  view.ZoomActual();
  view.SetScroll(800, 600);
  const IntPoint centre = view.ClientToPhoto(100, 50);
  view.ZoomIn();
  view.ZoomIn();
  EXPECT_EQ(view.ClientToPhoto(100, 50), centre);
  view.ZoomOut();
  EXPECT_EQ(view.ClientToPhoto(100, 50), centre);
  // The photo's corners stay in the window's corners.
  view.SetScroll(0, 0);
  view.ZoomAbout(8, 0, 0);
  EXPECT_EQ(view.ClientToPhoto(0, 0), (IntPoint{0, 0}));
  view.SetScroll(view.MaxScrollX(), view.MaxScrollY());
  ASSERT_EQ(view.ClientToPhoto(199, 99), (IntPoint{1999, 1499}));
  view.ZoomAbout(3.5, 199, 99);
  EXPECT_EQ(view.ClientToPhoto(199, 99), (IntPoint{1999, 1499}));
  EXPECT_EQ(view.ScrollX(), view.MaxScrollX());
  // Where the scroll range cannot follow, it wins: a photo zoomed out to
  // less than the window is centred whatever the pointer.
  view.ZoomAbout(0.0625, 199, 99);
  EXPECT_EQ(view.ScrollX(), 0);
  EXPECT_EQ(view.DisplayOffsetX(), (200 - 125) / 2);
}

TEST_F(ViewModelTest, FitShowsTheWholePhotoAndFollowsTheWindow) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(400, 300);
  view.ZoomFit();
  EXPECT_TRUE(view.Fitting());
  EXPECT_NEAR(view.Scale(), 1.0 / 3.0, 1e-12);
  EXPECT_EQ(view.MaxScrollX(), 0);
  EXPECT_EQ(view.MaxScrollY(), 0);
  EXPECT_EQ(view.DisplayOffsetX(), (200 - 134) / 2);
  EXPECT_EQ(view.DisplayOffsetY(), 0);
  // Fitted, it follows the window (scroll bars that go away enlarge it).
  view.SetClientSize(800, 900);
  EXPECT_EQ(view.Scale(), 2.0);
  view.SetClientSize(400, 300);
  EXPECT_EQ(view.Scale(), 1.0);
  // Until the next zoom.
  view.ZoomIn();
  EXPECT_FALSE(view.Fitting());
  view.SetClientSize(800, 900);
  EXPECT_EQ(view.Scale(), 1.5);
  // A tiny photo stops at the table's top.
  Import(10, 10);
  view.ZoomFit();
  EXPECT_EQ(view.Scale(), 8.0);
  // Sizes whose quotient rounds badly still fit without a scroll range and
  // fill the window along one axis.
  for (const auto& [pw, ph] : {std::pair{333, 77}, std::pair{1234, 987}, std::pair{17, 3001}}) {
    Import(pw, ph);
    for (const auto& [cw, ch] : {std::pair{1000, 700}, std::pair{641, 479}, std::pair{99, 1001}}) {
      view.SetClientSize(cw, ch);
      view.ZoomFit();
      EXPECT_EQ(view.MaxScrollX(), 0) << pw << "x" << ph << " in " << cw << "x" << ch;
      EXPECT_EQ(view.MaxScrollY(), 0) << pw << "x" << ph << " in " << cw << "x" << ch;
      EXPECT_EQ(std::min(view.DisplayOffsetX(), view.DisplayOffsetY()), 0)
          << pw << "x" << ph << " in " << cw << "x" << ch;
    }
  }
}

TEST_F(ViewModelTest, RenderingShowsCrispPixelsMagnifiedAndAveragesReduced) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(400, 300);
  // Magnified, every device pixel shows exactly the pixel a click there
  // gives, up to the last device pixel of each.
  for (const double s : {3.5, 8.0, 1.0}) {
    view.ZoomAbout(s, 0, 0);
    view.SetScroll(703, 353);
    const std::vector<uint32_t> frame = Render();
    int wrong = 0;
    for (int32_t y = 0; y < 100; ++y)
      for (int32_t x = 0; x < 200; ++x) {
        const IntPoint p = view.ClientToPhoto(x, y);
        wrong += frame[size_t(y) * 200 + size_t(x)] != PhotoPixel(p.x, p.y);
      }
    EXPECT_EQ(wrong, 0) << s;
  }
  view.ZoomAbout(3.5, 0, 0);
  view.SetScroll(700, 350);
  std::vector<uint32_t> frame = Render();
  EXPECT_EQ(frame[3], PhotoPixel(200, 100));
  EXPECT_EQ(frame[4], PhotoPixel(201, 100));
  EXPECT_EQ(frame[3 * 200], PhotoPixel(200, 100));
  EXPECT_EQ(frame[4 * 200], PhotoPixel(200, 101));

  // Reduced to a quarter: each device pixel is the rounded mean of its four
  // by four photo pixels; nothing is written beside the photo.
  view.ZoomAbout(0.25, 0, 0);
  frame = Render();
  const IntRect r = view.PhotoOnClient();
  ASSERT_EQ(r, (IntRect{50, 12, 100, 75}));
  int far = 0, beside = 0;
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 200; ++x) {
      const uint32_t got = frame[size_t(y) * 200 + size_t(x)];
      if (x < r.x || y < r.y || x >= r.x + r.width || y >= r.y + r.height) {
        beside += got != 0x12345678u;
        continue;
      }
      for (int shift : {0, 8, 16}) {
        int sum = 0;
        for (int32_t j = 0; j < 4; ++j)
          for (int32_t i = 0; i < 4; ++i)
            sum += int(PhotoPixel((x - r.x) * 4 + i, (y - r.y) * 4 + j) >> shift & 0xFF);
        far += std::abs(int(got >> shift & 0xFF) - (sum + 8) / 16) > 1;
      }
    }
  EXPECT_EQ(far, 0);
  EXPECT_EQ(beside, 0);

  // Uneven reductions neither brighten nor darken a plain photo.
  for (size_t i = 0; i < doc.image.byteSize; i += 3) {
    doc.image.pixels[i] = 50;
    doc.image.pixels[i + 1] = 100;
    doc.image.pixels[i + 2] = 200;
  }
  for (const double s : {0.75, 0.37, 0.0625 * 1.1}) {
    view.ZoomAbout(s, 0, 0);
    const IntRect shown = view.PhotoOnClient();
    frame = Render();
    int off = 0;
    for (int32_t y = shown.y; y < shown.y + shown.height; ++y)
      for (int32_t x = shown.x; x < shown.x + shown.width; ++x)
        off += frame[size_t(y) * 200 + size_t(x)] != 0xFFC86432u;
    EXPECT_EQ(off, 0) << s;
  }
}

TEST_F(ViewModelTest, TheNavigatorFramesAndScrollsAtAnyScale) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(960, 480);  // navScale 4, offset y 60
  view.ZoomAbout(2, 0, 0);
  view.SetScroll(400, 200);  // photo (200, 100) to (300, 150)
  VisibleFrame f = view.NavigatorFrame();
  EXPECT_TRUE(f.drawLeft && f.drawTop && f.drawRight && f.drawBottom);
  EXPECT_EQ(f.left, 50);
  EXPECT_EQ(f.top, 25 + 60);
  EXPECT_EQ(f.right, 75);
  EXPECT_EQ(f.bottom, 37 + 60);
  view.NavigatorPress(120, 120);  // photo (480, 240) to the middle
  EXPECT_EQ(view.ScrollX(), 960 - 100);
  EXPECT_EQ(view.ScrollY(), 480 - 50);
  EXPECT_EQ(view.ClientToPhoto(100, 50), (IntPoint{480, 240}));
  view.ZoomFit();
  f = view.NavigatorFrame();
  EXPECT_FALSE(f.drawLeft || f.drawTop || f.drawRight || f.drawBottom);
}

}  // namespace
}  // namespace kv::authoring
