#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "viewer/model/adjust.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"
#include "viewer/tests/test_files.h"

namespace kv::viewer {
namespace {

using testing::MakeKvi;
using testing::TempDir;
using testing::WriteKvi;

TEST(Adjust, TablesAtTheirLevels) {
  const LookupTable up = BrightnessTable(100), down = BrightnessTable(-100);
  EXPECT_EQ(up[154], 254);
  EXPECT_EQ(up[155], 255);
  EXPECT_EQ(up[0], 100);
  EXPECT_EQ(down[100], 0);
  EXPECT_EQ(down[101], 1);
  EXPECT_EQ(down[255], 155);
  const LookupTable steep = ContrastTable(100), flat = ContrastTable(-100);
  EXPECT_EQ(steep[100], 0);
  EXPECT_EQ(steep[155], 255);
  EXPECT_EQ(steep[127], 127);
  EXPECT_EQ(flat[0], 100);
  EXPECT_EQ(flat[255], 154);
  EXPECT_EQ(flat[127], 127);
  EXPECT_EQ(ContrastTable(1)[126], 125);  // truncated, not rounded
  EXPECT_EQ(ContrastTable(1)[128], 128);
  EXPECT_EQ(ContrastTable(-1)[255], 253);
  EXPECT_EQ(BrightnessTable(1)[255], 255);
  EXPECT_EQ(BrightnessTable(-1)[0], 0);
  EXPECT_EQ(AdjustTable(0, 0), IdentityTable());
  // Whatever arrives, the tables see -100 to 100 (127 - k never reaches 0).
  EXPECT_EQ(ContrastTable(127), ContrastTable(100));
  EXPECT_EQ(BrightnessTable(-5000), BrightnessTable(-100));
  EXPECT_EQ(ClampAdjust(1 << 30), 100);
}

TEST(Adjust, OnePassEqualsTheTwoTablesInTheirOrder) {
  std::mt19937 rng(5);
  Image display(37, 23, PixelFormat::kBgra, 0), adjusted(37, 23, PixelFormat::kBgra, 0);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37 * 4; ++x) display.Row(y)[x] = uint8_t(rng());
  std::vector<uint8_t> before;
  for (int32_t y = 0; y < 23; ++y) before.insert(before.end(), display.Row(y), display.Row(y) + 37 * 4);
  for (auto [b, k] : {std::pair{30, -60}, std::pair{-40, 70}, std::pair{100, 100},
                      std::pair{-100, -100}, std::pair{0, 5}}) {
    SCOPED_TRACE(b * 1000 + k);
    ASSERT_TRUE(ApplyAdjustment(display, adjusted, b, k));
    const LookupTable tb = BrightnessTable(b), tk = ContrastTable(k);
    for (int32_t y = 0; y < 23; ++y)
      for (int32_t x = 0; x < 37; ++x)
        for (int c = 0; c < 3; ++c) {
          const uint8_t v = display.Row(y)[4 * x + c];
          const uint8_t want = k <= 0 ? tb[tk[v]] : tk[tb[v]];
          ASSERT_EQ(adjusted.Row(y)[4 * x + c], want) << x << "," << y;
        }
  }
  for (int32_t y = 0; y < 23; ++y)
    ASSERT_EQ(0, std::memcmp(display.Row(y), before.data() + y * 37 * 4, 37 * 4));
  Image small(3, 3, PixelFormat::kBgra, 0);
  EXPECT_FALSE(ApplyAdjustment(display, small, 10, 10));
}

struct NavViewer {
  explicit NavViewer(const std::string& folder)
      : doc(platform::Services{}, SettingsLocation{folder, ""}), view(doc, nullptr) {}
  KovalindraDoc doc;
  KovalindraView view;
};

TEST(Navigator, ClicksDragsAndTheVisibleFrame) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"),
           MakeKvi(480, 240, {MakeRegistration(0, 0, 480, 240, 100), MakeRegistration(0, 120, 100, 120, 10)}));
  NavViewer v(dir.Folder());
  v.view.OnSize(200, 100);
  ASSERT_TRUE(v.doc.OpenDocument(dir.File("a.kvi")));
  v.view.OnInitialUpdate();
  EXPECT_EQ(v.view.Navigator().scale, 2.0);
  EXPECT_EQ(v.view.Navigator().offsetY, 60);
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(0, 0);
  ASSERT_EQ(v.view.Scale().visibleWidth, 200);
  ASSERT_EQ(v.view.Scale().visibleHeight, 100);
  EXPECT_TRUE(v.view.OnNavigatorPress(120, 120));
  EXPECT_EQ(v.view.Scale().originX, 140);
  EXPECT_EQ(v.view.Scale().originY, 70);
  // Out of the square the view waits; the release lands clamped.
  v.view.OnNavigatorMove(400, 400);
  EXPECT_EQ(v.view.Scale().originX, 140);
  v.view.OnNavigatorMove(230, 200);
  EXPECT_EQ(v.view.Scale().originX, 280);
  EXPECT_EQ(v.view.Scale().originY, 140);
  v.view.OnNavigatorRelease(-50, -50);
  EXPECT_FALSE(v.view.NavigatorDragging());
  EXPECT_EQ(v.view.Scale().originX, 0);
  EXPECT_EQ(v.view.Scale().originY, 0);
  // The first row and column are not the photo's.
  EXPECT_FALSE(v.view.OnNavigatorPress(0, 100));
  EXPECT_FALSE(v.view.OnNavigatorPress(100, 0));
  EXPECT_FALSE(v.view.OnNavigatorPress(240, 100));
  // Whole in 960 x 600: left and right edges outside the square, top and
  // bottom 15 pixels outside the thumbnail's strip.
  v.view.OnSize(960, 600);
  v.view.ShowWhole();
  ASSERT_EQ(v.view.Scale().zoom, 2.0);
  ASSERT_EQ(v.view.Scale().offsetY, 60);
  const NavigatorFrame f = v.view.NavigatorVisibleFrame();
  EXPECT_EQ(f.left, 0);
  EXPECT_EQ(f.right, 240);
  EXPECT_EQ(f.top, 45);
  EXPECT_EQ(f.bottom, 195);
  EXPECT_FALSE(f.drawLeft);
  EXPECT_FALSE(f.drawRight);
  EXPECT_TRUE(f.drawTop);
  EXPECT_TRUE(f.drawBottom);
  // Registrations: magenta for the current one only at real size.
  std::vector<NavigatorLine> lines = v.view.NavigatorLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].x2, 240);
  EXPECT_EQ(lines[0].y2, 180);
  EXPECT_EQ(lines[0].color, kOtherGuideColor);
  v.view.ShowRealSize();
  EXPECT_EQ(v.view.NavigatorLines()[0].color, kCurrentGuideColor);
  EXPECT_EQ(v.view.NavigatorLines()[1].color, kOtherGuideColor);
  v.view.ZoomIn();
  EXPECT_EQ(v.view.NavigatorLines()[0].color, kOtherGuideColor);
}

TEST(Navigator, DragsShowThePlainImageAndTheReleaseAdjusts) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, {}));
  NavViewer v(dir.Folder());
  v.view.OnSize(400, 300);
  ASSERT_TRUE(v.doc.OpenDocument(dir.File("a.kvi")));
  v.view.OnInitialUpdate();
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(400, 300);
  auto backPixel = [&] {
    v.view.RenderBackBuffer();
    uint8_t px[4];
    GetPixel(*v.view.BackBuffer(), 50, 50, px);
    return int(px[0]) + px[1] + px[2];
  };
  const int plain = backPixel();
  v.view.SetAdjustment(150, 0);  // beyond the range: taken as 100
  EXPECT_EQ(v.view.Brightness(), 100);
  const int bright = backPixel();
  EXPECT_GT(bright, plain + 100);
  EXPECT_EQ(backPixel(), bright);  // repaints do not pile up
  EXPECT_EQ(v.view.Adjustments(), 1);
  uint8_t shown[4];
  GetPixel(*v.view.DisplayImage(), 50, 50, shown);
  EXPECT_EQ(shown[0] + shown[1] + shown[2], plain);  // the display image itself stays
  ASSERT_TRUE(v.view.OnNavigatorPress(120, 120));
  EXPECT_FALSE(v.view.AdjustsNow());
  v.view.OnNavigatorRelease(120, 120);
  EXPECT_TRUE(v.view.AdjustsNow());
  v.view.OnLeftButtonDown(100, 100);
  EXPECT_FALSE(v.view.AdjustsNow());
  v.view.OnLeftButtonUp(100, 100);
  EXPECT_TRUE(v.view.AdjustsNow());
  v.view.SetAdjustment(0, 0);
  EXPECT_EQ(backPixel(), plain);
}

}  // namespace
}  // namespace kv::viewer
