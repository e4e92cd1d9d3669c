#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/util/file_io.h"
#include "foundation/core/util/text.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "kvi/upright.h"
#include "viewer/tests/test_files.h"

namespace kv::viewer {
namespace {

using testing::MakeKvi;
using testing::RecordingMessages;
using testing::TempDir;
using testing::WriteKvi;

class RecordingHost : public ViewHost {
 public:
  void Repaint() override { ++repaints; }
  void SetStatusPaneText(int pane, const std::string& t) override {
    if (pane == 1) scale = t;
    if (pane == 0) message = t;
    panes[pane] = t;
  }
  void TitleChanged() override { ++titles; }
  void OpenLink(const std::string& l) override { link = l; }
  int repaints = 0, titles = 0;
  std::string scale, message, link;
  std::map<int, std::string> panes;
};

struct Viewer {
  explicit Viewer(const std::string& programFolder)
      : doc(platform::Services{&messages, nullptr, nullptr}, SettingsLocation{programFolder, ""}),
        view(doc, &host) {
    view.OnSize(1000, 700);
    view.OnInitialUpdate();
  }
  bool Open(const std::string& path) {
    if (!doc.OpenDocument(path)) return false;
    view.OnInitialUpdate();
    return true;
  }
  RecordingMessages messages;
  RecordingHost host;
  KovalindraDoc doc;
  KovalindraView view;
};

// What an uncalibrated monitor that reports nothing is taken at.
const double kFallback = 25.4 / 96;

const RegistrationList kThree = {MakeRegistration(100, 100, 500, 100, 100),
                                 MakeRegistration(10, 10, 10, 310, 50),
                                 MakeRegistration(700, 500, 790, 590, 30)};

TEST(ViewerModel, OpenShowsWholeThenRealSizeSpansTheCalibratedLength) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, kThree));
  Viewer v(dir.Folder());
  EXPECT_EQ(v.host.scale, "倍率:1.00");  // nothing loaded yet
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  ASSERT_TRUE((v.view.Photo() != nullptr));
  EXPECT_EQ(v.view.Scale().photoWidth, 800);
  EXPECT_DOUBLE_EQ(v.view.Scale().zoom, 700.0 / 600.0);  // whole photo
  EXPECT_TRUE(v.view.IsWhole());
  // Uncalibrated and nothing reported: the fallback density, said to be
  // an estimate; 100 mm over 400 photo pixels.
  EXPECT_DOUBLE_EQ(v.view.Scale().realSizeZoom, 0.25 / kFallback);
  v.view.ShowRealSize();
  EXPECT_TRUE(v.view.IsRealSize());
  EXPECT_EQ(v.host.scale, "倍率:等倍(推定 0.94)");
  v.view.showGuides = true;
  const std::vector<GuideLine> lines = v.view.GuideLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].color, kCurrentGuideColor);
  EXPECT_EQ(lines[1].color, kOtherGuideColor);
  // 400 photo pixels x realSizeZoom, and 100 mm at 96 / 25.4 pixels per mm.
  EXPECT_NEAR(lines[0].x2 - lines[0].x1, 400 * v.view.Scale().realSizeZoom, 1.0);
  EXPECT_NEAR(lines[0].x2 - lines[0].x1, 100.0 / kFallback, 1.0);
  v.view.ZoomIn();
  EXPECT_EQ(v.view.Scale().zoom, 1.0);
  EXPECT_EQ(v.view.GuideLines()[0].color, kOtherGuideColor);  // not real size any more
  // Stepping the points walks from the end of the list.
  v.view.StepRealSizePoint(-1);
  EXPECT_EQ(v.doc.currentPoint, 2);
  EXPECT_DOUBLE_EQ(v.view.Scale().zoom, (30.0 / std::hypot(90.0, 90.0)) / kFallback);
  v.view.StepRealSizePoint(-1);
  EXPECT_EQ(v.doc.currentPoint, 1);
  v.view.StepRealSizePoint(+1);
  v.view.StepRealSizePoint(+1);
  EXPECT_EQ(v.doc.currentPoint, 0);
  EXPECT_TRUE(v.messages.shown.empty());
}

TEST(ViewerModel, RejectedFileKeepsThePreviousDocumentWhole) {
  TempDir dir;
  WriteKvi(dir.File("good.kvi"), MakeKvi(320, 240, kThree, 1, 4, 3));
  {
    std::ofstream(dir.File("bad.kvi"), std::ios::binary) << "Kovalindra but not really";
  }
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("good.kvi")));
  v.doc.SetTitle("good.kvi");
  const double zoom = v.view.Scale().zoom;
  EXPECT_FALSE(v.Open(dir.File("bad.kvi")));
  EXPECT_FALSE(v.Open(dir.File("missing.kvi")));
  ASSERT_EQ(v.messages.shown.size(), 2u);
  EXPECT_NE(v.messages.shown[0].find("実寸情報ﾌｧｲﾙを開けませんでした。"), std::string::npos);
  EXPECT_NE(v.messages.shown[0].find("bad.kvi"), std::string::npos);
  EXPECT_EQ(v.messages.icons[0], platform::MsgIcon::Warning);
  EXPECT_EQ(v.doc.Registrations(), kThree);
  EXPECT_TRUE((v.view.Photo() != nullptr));
  EXPECT_EQ(v.view.Scale().photoWidth, 320);
  EXPECT_EQ(v.doc.Title(), "good.kvi");
  EXPECT_EQ(v.view.Scale().zoom, zoom);
  EXPECT_EQ(v.doc.Folder().size(), 2u);  // both names end in .kvi
  EXPECT_TRUE(v.doc.LogoImage());
}

TEST(ViewerModel, UndecodableJpegLeavesThePreviousPhotoWithItsOwnRegistrations) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(320, 240, kThree));
  ActualSizeFile broken = MakeKvi(64, 64, {MakeRegistration(0, 0, 30, 0, 10)});
  broken.jpegBytes.assign(100, 0x42);
  WriteKvi(dir.File("b.kvi"), broken);
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  // The file itself is sound, its photo is not: nothing of it is taken on,
  // so its registrations never show over the photo before.
  EXPECT_FALSE(v.Open(dir.File("b.kvi")));
  ASSERT_EQ(v.messages.shown.size(), 1u);
  EXPECT_NE(v.messages.shown[0].find("表示できませんでした"), std::string::npos);
  EXPECT_NE(v.messages.shown[0].find("b.kvi"), std::string::npos);
  EXPECT_NE(v.messages.shown[0].find("壊れています"), std::string::npos);
  EXPECT_TRUE((v.view.Photo() != nullptr));
  EXPECT_EQ(v.view.Scale().photoWidth, 320);
  EXPECT_EQ(v.doc.Registrations(), kThree);
  EXPECT_EQ(v.doc.PathName(), dir.File("a.kvi"));
  EXPECT_EQ(v.doc.Session().State(), PhotoState::Failed);
}

TEST(ViewerModel, FolderSteppingWrapsAndKeepsThePhotoWhenAStepFails) {
  TempDir dir;
  WriteKvi(dir.File("A.kvi"), MakeKvi(200, 100, kThree, 0));
  WriteKvi(dir.File("B.kvi"), MakeKvi(220, 100, kThree, 1));
  WriteKvi(dir.File("C.kvi"), MakeKvi(240, 100, kThree, 2));
  std::filesystem::create_directory(dir.File("sub.kvi"));
  {
    std::ofstream(dir.File("notes.txt")) << "x";
  }
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("C.kvi")));
  ASSERT_EQ(v.doc.Folder().size(), 3u);  // the folder and the text file are not listed
  EXPECT_EQ(v.doc.FolderIndex(), 2u);
  ASSERT_TRUE(v.view.StepPhoto(+1));
  EXPECT_EQ(v.view.Scale().photoWidth, 200);  // A
  EXPECT_EQ(v.doc.Title(), dir.File("A.kvi"));
  EXPECT_EQ(v.host.titles, 1);
  EXPECT_TRUE(v.view.IsWhole());
  ASSERT_TRUE(v.view.StepPhoto(-1));
  EXPECT_EQ(v.view.Scale().photoWidth, 240);  // back to C
  // B goes away: stepping to it keeps C and its title; the position is on
  // B, so the next step reaches A.
  std::filesystem::remove(dir.File("B.kvi"));
  EXPECT_FALSE(v.view.StepPhoto(-1));
  EXPECT_EQ(v.view.Scale().photoWidth, 240);
  EXPECT_EQ(v.doc.FolderIndex(), 1u);
  EXPECT_EQ(v.doc.Title(), dir.File("C.kvi"));
  EXPECT_NE(v.host.message.find("B.kvi"), std::string::npos);
  ASSERT_TRUE(v.view.StepPhoto(-1));
  EXPECT_EQ(v.view.Scale().photoWidth, 200);
}

TEST(ViewerModel, FolderListEdgeCases) {
  TempDir one, other;
  WriteKvi(one.File("only.kvi"), MakeKvi(64, 48, {}));
  ActualSizeFile f = MakeKvi(64, 48, {});
  WriteKvi(other.File("photo.dat"), f);  // not named .kvi, alone in its folder
  Viewer v(one.Folder());
  ASSERT_TRUE(v.Open(one.File("only.kvi")));
  EXPECT_FALSE(v.view.StepPhoto(+1));  // one file: nothing to step to
  EXPECT_FALSE(v.view.StepPhoto(-1));
  ASSERT_TRUE(v.Open(other.File("photo.dat")));
  ASSERT_EQ(v.doc.Folder().size(), 1u);  // its own folder, not the previous one
  EXPECT_EQ(v.doc.Folder()[0].path, other.File("photo.dat"));
  EXPECT_FALSE(v.view.StepPhoto(+1));
  // No registrations: 1.0, and not called real size.
  v.view.ShowRealSize();
  EXPECT_EQ(v.host.scale, "倍率:1.00");
  // A folder with many files: the list grows past any fixed size.
  TempDir many;
  for (int i = 0; i < 140; ++i) {
    std::ofstream(many.File("f" + std::to_string(1000 + i) + ".kvi")) << "x";
  }
  EXPECT_EQ(KovalindraDoc::ListFolderFiles(many.Folder()).size(), 140u);
  EXPECT_TRUE(KovalindraDoc::ListFolderFiles(many.File("nowhere") + "/").empty());
}

TEST(ViewerModel, LogoImageKeepsItsColours) {
  TempDir dir;
  const ActualSizeFile f = MakeKvi(64, 48, {}, 0, 5, 3);
  WriteKvi(dir.File("a.kvi"), f);
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  const IplImageSlot& logo = v.doc.LogoImage();
  ASSERT_TRUE(logo);
  uint8_t px[4];
  ASSERT_TRUE(GetPixel(*logo, 0, 0, px));
  EXPECT_EQ(px[2], f.logoBytes[0]);  // red
  EXPECT_EQ(px[1], f.logoBytes[1]);
  EXPECT_EQ(px[0], f.logoBytes[2]);
  ASSERT_TRUE(GetPixel(*logo, 4, 2, px));
  const size_t last = f.logoBytes.size() - 3;
  EXPECT_EQ(px[2], f.logoBytes[last]);
  EXPECT_EQ(px[0], f.logoBytes[last + 2]);
  // Drawn 10 pixels from the top and right edges.
  v.view.RenderBackBuffer();
  uint8_t back[4];
  ASSERT_TRUE(GetPixel(*v.view.BackBuffer(), 1000 - 10 - 5, 10, back));
  EXPECT_EQ(back[2], f.logoBytes[0]);
  // A click there opens the link.
  v.view.OnLeftButtonDown(1000 - 12, 11);
  EXPECT_EQ(v.host.link, "https://example.org/");
}

TEST(ViewerModel, DisplayIsRebuiltOnlyWhenScalePositionOrSizeChange) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, kThree));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  const int before = v.view.DisplayRebuilds();
  v.doc.NotifyViews("", code::kRepaint);
  v.doc.NotifyViews("", code::kRebuildDisplay);
  v.view.RenderBackBuffer();
  EXPECT_EQ(v.view.DisplayRebuilds(), before);
  v.view.ZoomIn();
  EXPECT_EQ(v.view.DisplayRebuilds(), before + 1);
  v.view.OnSize(1000, 700);  // same size
  EXPECT_EQ(v.view.DisplayRebuilds(), before + 1);
  v.view.OnSize(900, 700);
  EXPECT_EQ(v.view.DisplayRebuilds(), before + 2);
  // At scale 1.0 the photo is copied pixel for pixel.
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(0, 0);
  v.view.RenderBackBuffer();
  uint8_t px[4];
  ASSERT_TRUE(GetPixel(*v.view.DisplayImage(), 37, 21, px));
  EXPECT_NEAR(px[0], 37, 6);  // blue carries x, green y (JPEG tolerance)
  EXPECT_NEAR(px[1], 21, 6);
}

TEST(ViewerModel, StrongReductionsStillMapClientPointsToPhotoPoints) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(2400, 1800, {}));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  for (double zoom : {0.3, 0.125, 0.6}) {
    SCOPED_TRACE(zoom);
    v.view.MutableScale().zoom = zoom;
    v.view.ApplyZoom(1200, 900);
    const ViewScale& s = v.view.Scale();
    int checked = 0;
    const int32_t y = s.offsetY + 60;
    for (int32_t x = s.offsetX + 5; x < s.offsetX + 600; x += 7) {
      const int32_t px = s.PhotoX(x), py = s.PhotoY(y);
      if (px >= 2400 || px % 256 < 24 || px % 256 > 232 || py % 256 < 24 || py % 256 > 232) continue;
      uint8_t pixel[4];
      ASSERT_TRUE(GetPixel(*v.view.DisplayImage(), x - s.offsetX, y - s.offsetY, pixel));
      // Within a couple of photo pixels of where the scale says, whatever
      // copy of the photo was resampled.
      EXPECT_NEAR(pixel[0], px % 256, 3.0 / zoom + 6) << x;
      EXPECT_NEAR(pixel[1], py % 256, 3.0 / zoom + 6) << x;
      ++checked;
    }
    EXPECT_GT(checked, 10);
  }
  // Halving averages 2 x 2 blocks; a side of one pixel is not halved.
  Image two(3, 2, PixelFormat::kBgra, 0);
  const uint8_t a[4] = {10, 20, 30, 255}, b[4] = {30, 40, 50, 255};
  PutPixel(two, 0, 0, a);
  PutPixel(two, 1, 1, b);
  IplImageSlot half = HalvedCopy(two);
  ASSERT_TRUE(half);
  EXPECT_EQ(half->Width(), 1);
  EXPECT_EQ(half->Height(), 1);
  uint8_t got[4];
  GetPixel(*half, 0, 0, got);
  EXPECT_EQ(got[0], 10);
  EXPECT_EQ(got[2], 20);
  EXPECT_EQ(got[3], 128);
  EXPECT_FALSE(HalvedCopy(Image(3, 1, PixelFormat::kBgra, 0)));
}

TEST(ViewerModel, ResizeClampsTheOriginAndNeverDividesByZero) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, kThree));
  RecordingMessages m;
  RecordingHost h;
  KovalindraDoc doc(platform::Services{&m, nullptr, nullptr}, SettingsLocation{dir.Folder(), ""});
  KovalindraView view(doc, &h);
  view.OnSize(0, 500);        // ignored
  view.OnSize(640, 480);      // before any scale: nothing divides by zero
  EXPECT_EQ(view.Scale().visibleWidth, 0);
  ASSERT_TRUE(doc.OpenDocument(dir.File("a.kvi")));
  view.OnInitialUpdate();
  EXPECT_EQ(view.InitialUpdates(), 1);
  view.OnSize(700, 500);  // the first fitting resize fits again
  EXPECT_EQ(view.InitialUpdates(), 2);
  EXPECT_TRUE(view.IsWhole());
  view.MutableScale().zoom = 2.0;
  view.ApplyZoom(799, 599);
  EXPECT_EQ(view.Scale().originX, 800 - 350);
  view.OnSize(1400, 1000);  // bigger: the origin comes back inside the photo
  EXPECT_EQ(view.Scale().originX, 800 - 700);
  EXPECT_EQ(view.Scale().originY, 600 - 500);
}

TEST(ViewerModel, NavigatorGeometry) {
  NavigatorGeometry g = ComputeNavigator(480, 480);
  EXPECT_EQ(g.scale, 2.0);
  EXPECT_EQ(g.offsetX, 0);
  EXPECT_EQ(g.offsetY, 0);
  g = ComputeNavigator(480, 240);
  EXPECT_EQ(g.scale, 2.0);
  EXPECT_EQ(g.offsetY, 60);
  g = ComputeNavigator(240, 480);
  EXPECT_EQ(g.scale, 2.0);
  EXPECT_EQ(g.offsetX, 60);
  EXPECT_EQ(ComputeNavigator(0, 0).scale, 1.0);
}

TEST(ViewerModel, CalibrationByClick) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, kThree));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  EXPECT_TRUE(v.view.ShowsWelcome());
  EXPECT_EQ(v.view.WelcomeX(), 350);
  EXPECT_EQ(v.view.WelcomeY(), 150);
  const double before = v.view.Scale().realSizeZoom;
  v.doc.BeginA4Calibration();
  ASSERT_EQ(v.messages.shown.size(), 2u);
  EXPECT_EQ(v.messages.shown[0], text::kA4Start);
  EXPECT_EQ(v.messages.shown[1], text::kA4Click);
  EXPECT_TRUE(v.doc.CalibrationPending());
  EXPECT_EQ(v.doc.GuideCaption(), text::kGuideA4);
  EXPECT_EQ(v.view.CursorAt(50, 650), ViewCursor::Calibration);
  // A click on the anchor itself is refused; the calibration stays pending.
  v.view.OnLeftButtonDown(102, 600);
  EXPECT_TRUE(v.doc.CalibrationPending());
  EXPECT_EQ(v.doc.Calibration(), DisplayCalibration{});
  // 210 mm over 420 pixels to the right of the anchor: 2 pixels per mm.
  v.view.OnLeftButtonDown(520, 600);
  EXPECT_FALSE(v.doc.CalibrationPending());
  EXPECT_EQ(v.doc.Calibration(), (DisplayCalibration{100, 600, 520, 600, 210}));
  EXPECT_EQ(v.messages.shown.back(), text::kCalibrated);
  EXPECT_EQ(ReadCalibration(dir.File("Kovalindra.ini")), v.doc.Calibration());
  EXPECT_FALSE(v.view.ShowsWelcome());
  EXPECT_DOUBLE_EQ(v.view.Scale().realSizeZoom, 0.25 / 0.5);
  EXPECT_NE(v.view.Scale().realSizeZoom, before);
  EXPECT_EQ(v.host.scale, "倍率:等倍(0.50)");  // pane 1 follows the new scale
  // The view shows the new real size: 100 mm = 200 pixels.
  v.view.showGuides = true;
  const GuideLine l = v.view.GuideLines()[0];
  EXPECT_NEAR(l.x2 - l.x1, 200, 1);

  // Any length: abandoned by choosing a mouse mode, nothing changes.
  const DisplayCalibration stored = v.doc.Calibration();
  v.doc.BeginCustomCalibration(100);
  EXPECT_EQ(v.doc.GuideCaption(), text::kGuideCustom);
  v.doc.mouseMode = kMouseScroll;
  EXPECT_EQ(v.doc.Calibration(), stored);
  // Completed: 100 mm over 400 pixels.
  v.doc.BeginCustomCalibration(100);
  v.view.OnLeftButtonDown(500, 600);
  EXPECT_EQ(v.doc.Calibration().sizedisplay, 100);
  EXPECT_DOUBLE_EQ(*ScreenMillimetresPerPixel(v.doc.Calibration()), 0.25);
  // Typing 210 gives the A4 guide text.
  v.doc.BeginCustomCalibration(210);
  EXPECT_EQ(v.doc.GuideCaption(), text::kGuideA4);
}

// Two monitors without a window: A (primary) calibrated in the five keys,
// B with its own entry, each with the size it reports.
TEST(ViewerModel, EachMonitorUsesOnlyItsOwnCalibration) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, kThree));
  const std::string ini = dir.File("Kovalindra.ini");
  // A: 100 mm over 800 pixels, so registration 0 (100 mm over 400 photo
  // pixels) is at real size at 2.0. A file of before: no monitor named.
  const DisplayCalibration onA{100, 600, 900, 600, 100};
  std::string reason;
  ASSERT_TRUE(WriteCalibration(ini, onA, reason)) << reason;
  const ScreenId a{"eDP-1", "Acme", "Panel", 1000, 700, 125, 88};
  const ScreenId b{"HDMI-1", "Acme", "Wall", 1000, 700, 265, 186};
  const double bReports = 0.265;
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.OnScreenChanged(a, a, 0.125);
  v.view.ShowRealSize();
  EXPECT_DOUBLE_EQ(v.view.Scale().zoom, 2.0);
  EXPECT_EQ(v.host.scale, "倍率:等倍(2.00)");
  EXPECT_EQ(v.host.message, "");

  // B has no calibration: its own report, marked, never A's.
  v.view.OnScreenChanged(b, a, bReports);
  EXPECT_EQ(v.doc.Calibration(), DisplayCalibration{});
  EXPECT_EQ(v.doc.ScreenCalibrationState(), CalibrationState::Uncalibrated);
  EXPECT_DOUBLE_EQ(v.view.Scale().zoom, 0.25 / bReports);
  EXPECT_EQ(v.host.scale, "倍率:等倍(推定 0.94)");
  EXPECT_EQ(v.host.message, v.view.CalibrationStatusText());
  EXPECT_FALSE(v.host.message.empty());
  EXPECT_EQ(v.host.panes[2], "ﾓﾆﾀｰ未設定(推定の大きさ)");
  EXPECT_TRUE(v.view.ShowsWelcome());
  // Nothing plausible reported: the one fallback density, still marked.
  v.view.OnScreenChanged(b, a, std::nullopt);
  EXPECT_DOUBLE_EQ(v.view.Scale().mmPerScreenPixel, kFallback);
  EXPECT_TRUE(v.view.RealSizeIsEstimate());

  // Calibrated on B (200 mm over 800 pixels): B's entry only.
  v.view.OnScreenChanged(b, a, bReports);
  ASSERT_TRUE(v.doc.BeginCustomCalibration(200));
  EXPECT_EQ(v.doc.CompleteCalibration(900, 600, 700), CalibrationResult::Saved);
  EXPECT_EQ(v.host.panes[2], "");  // calibrated now: no word on it
  const DisplayCalibration onB{100, 600, 900, 600, 200};
  EXPECT_EQ(v.doc.Calibration(), onB);
  EXPECT_EQ(ReadCalibration(ini), onA);
  EXPECT_EQ(ReadScreenCalibration(ini, MonitorKey(b)), onB);
  EXPECT_FALSE(ReadScreenCalibration(ini, MonitorKey(a)));
  EXPECT_DOUBLE_EQ(v.view.Scale().realSizeZoom, 1.0);

  // B made primary: B keeps its own, A keeps the five keys.
  v.view.OnScreenChanged(b, b, bReports);
  EXPECT_EQ(v.doc.Calibration(), onB);
  v.view.OnScreenChanged(a, b, 0.125);
  EXPECT_EQ(v.doc.Calibration(), onA);
  // Calibrating A now (B primary) still writes the five keys, and B's
  // entry stays.
  ASSERT_TRUE(v.doc.BeginCustomCalibration(100));
  EXPECT_EQ(v.doc.CompleteCalibration(850, 600, 700), CalibrationResult::Saved);
  const DisplayCalibration onA2{100, 600, 850, 600, 100};
  EXPECT_EQ(ReadCalibration(ini), onA2);
  EXPECT_EQ(ReadScreenCalibration(ini, MonitorKey(b)), onB);

  // A fresh start with B primary reads both back where they belong.
  Viewer w(dir.Folder());
  w.view.OnScreenChanged(b, b, bReports);
  EXPECT_EQ(w.doc.Calibration(), onB);
  w.view.OnScreenChanged(a, b, 0.125);
  EXPECT_EQ(w.doc.Calibration(), onA2);

  // A at another resolution: its calibration counts in pixels that are no
  // more; an estimate, marked, and pane 0 says why.
  const ScreenId aWide{"eDP-1", "Acme", "Panel", 2000, 1400, 125, 88};
  w.view.OnScreenChanged(aWide, b, 0.0625);
  EXPECT_EQ(w.doc.ScreenCalibrationState(), CalibrationState::ResolutionChanged);
  EXPECT_EQ(w.doc.Calibration(), DisplayCalibration{});
  EXPECT_NE(w.host.message.find("解像度が変わった"), std::string::npos);
  EXPECT_EQ(w.host.panes[2], "解像度変更: ﾓﾆﾀｰ設定が必要");
  ASSERT_TRUE(w.Open(dir.File("a.kvi")));
  w.view.ShowRealSize();
  EXPECT_DOUBLE_EQ(w.view.Scale().zoom, 0.25 / 0.0625);
  EXPECT_EQ(w.host.scale, "倍率:等倍(推定 4.00)");
  // Back at its own resolution it is calibrated again.
  w.view.OnScreenChanged(a, b, 0.125);
  EXPECT_EQ(w.doc.ScreenCalibrationState(), CalibrationState::Calibrated);
  EXPECT_EQ(w.host.message, "");
  EXPECT_EQ(w.host.panes[2], "");
}

TEST(ViewerModel, MovingToAnotherMonitorKeepsThePhotoPointInTheMiddle) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, kThree));
  const ScreenId a{"eDP-1", "Acme", "Panel", 1000, 700, 265, 186};
  const ScreenId b{"HDMI-1", "Acme", "Wall", 2000, 1400, 265, 186};
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.OnScreenChanged(a, a, 0.265);
  v.view.ShowRealSize();
  v.view.ApplyZoom(1234, 777);
  const double px = v.view.Scale().WindowCentrePhotoX(), py = v.view.Scale().WindowCentrePhotoY();
  const double mmAcross = v.view.Scale().clientWidth * 0.265;
  // B has twice the pixels in the same glass (pixel ratio 2): the client
  // doubles, the real size doubles, and the same point stays in the middle.
  v.view.SetDeviceRatio(2.0);
  v.view.OnScreenChanged(b, a, 0.1325, 2000, 1400);
  EXPECT_TRUE(v.view.IsRealSize());
  EXPECT_NEAR(v.view.Scale().zoom, 2 * 0.25 / 0.265, 1e-12);
  EXPECT_EQ(v.view.Scale().clientWidth, 2000);
  EXPECT_NEAR(v.view.Scale().WindowCentrePhotoX(), px, 0.5);
  EXPECT_NEAR(v.view.Scale().WindowCentrePhotoY(), py, 0.5);
  // In millimetres on the glass nothing moved: the same width of photo.
  EXPECT_NEAR(v.view.Scale().clientWidth * 0.1325, mmAcross, 1e-9);
  EXPECT_NEAR(v.view.Scale().visibleWidth, 1000 / (0.25 / 0.265), 1);
  v.view.SetDeviceRatio(1.0);
  v.view.OnScreenChanged(a, a, 0.265, 1000, 700);
  EXPECT_NEAR(v.view.Scale().WindowCentrePhotoX(), px, 1.0);
  EXPECT_NEAR(v.view.Scale().WindowCentrePhotoY(), py, 1.0);
}

TEST(ViewerModel, AMisClickOrEscDoesNotReplaceAGoodCalibration) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, kThree));
  const std::string ini = dir.File("Kovalindra.ini");
  const DisplayCalibration good{100, 600, 894, 600, 210};
  std::string reason;
  ASSERT_TRUE(WriteCalibration(ini, good, reason)) << reason;
  const ScreenId a{"eDP-1", "Acme", "Panel", 1000, 700, 265, 186};
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.OnScreenChanged(a, a, 0.265);
  auto fileNow = [&] {
    std::ifstream in(ini, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = fileNow();
  // 80 pixels for 210 mm (about 10 dpi): asked, "いいえ" keeps the old.
  ASSERT_TRUE(v.doc.BeginA4Calibration());
  v.messages.shown.clear();
  v.messages.answer = platform::MsgResult::No;
  EXPECT_EQ(v.doc.CompleteCalibration(180, 600, 700), CalibrationResult::Declined);
  ASSERT_EQ(v.messages.shown.size(), 1u);
  EXPECT_TRUE(v.messages.shown[0].starts_with(text::kLooksWrong));
  EXPECT_EQ(v.messages.icons.back(), platform::MsgIcon::Question);
  EXPECT_FALSE(v.doc.CalibrationPending());
  EXPECT_EQ(v.doc.Calibration(), good);
  EXPECT_EQ(fileNow(), before);
  // Plausible in itself but 40 % off the monitor's own report: asked too.
  ASSERT_TRUE(v.doc.BeginA4Calibration());
  EXPECT_EQ(v.doc.CompleteCalibration(100 + 567, 600, 700), CalibrationResult::Declined);
  EXPECT_EQ(v.doc.Calibration(), good);
  // "はい" saves it all the same.
  v.messages.answer = platform::MsgResult::Yes;
  ASSERT_TRUE(v.doc.BeginA4Calibration());
  EXPECT_EQ(v.doc.CompleteCalibration(100 + 567, 600, 700), CalibrationResult::Saved);
  EXPECT_EQ(v.doc.Calibration(), (DisplayCalibration{100, 600, 667, 600, 210}));
  // Within 25 % of the report: saved without a question.
  v.messages.shown.clear();
  ASSERT_TRUE(v.doc.BeginA4Calibration());
  v.messages.shown.clear();
  EXPECT_EQ(v.doc.CompleteCalibration(894, 600, 700), CalibrationResult::Saved);
  EXPECT_EQ(v.messages.shown, std::vector<std::string>{text::kCalibrated});
  EXPECT_EQ(ReadCalibration(ini), good);

  // Esc in the view while the click is awaited: dropped, pane 0 says so.
  ASSERT_TRUE(v.doc.BeginCustomCalibration(100));
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Escape));
  EXPECT_FALSE(v.doc.CalibrationPending());
  EXPECT_EQ(v.host.message, text::kCalibrationCancelled);
  EXPECT_EQ(v.doc.Calibration(), good);
  // Esc at either message of the start: nothing pending, nothing changed.
  for (size_t at : {size_t(0), size_t(1)}) {
    v.messages.shown.clear();
    v.messages.escapeAt = at;
    EXPECT_FALSE(v.doc.BeginA4Calibration());
    EXPECT_FALSE(v.doc.CalibrationPending());
    v.messages.shown.clear();
    EXPECT_FALSE(v.doc.BeginCustomCalibration(150));
    EXPECT_FALSE(v.doc.CalibrationPending());
  }
  v.messages.escapeAt.reset();
  // The prompt says Esc stops it.
  EXPECT_NE(std::string(text::kA4Click).find("Esc"), std::string::npos);
  EXPECT_NE(std::string(text::kCustomClick).find("Esc"), std::string::npos);
}

TEST(ViewerModel, CalibrationThatCannotBeSavedIsNotReportedAsDone) {
  TempDir dir;
  // The settings file's place is taken by a folder: the write must fail.
  std::filesystem::create_directory(dir.File("Kovalindra.ini"));
  Viewer v(dir.Folder());
  v.doc.BeginA4Calibration();
  v.messages.shown.clear();
  EXPECT_EQ(v.doc.CompleteCalibration(650, 480, 600), CalibrationResult::SaveFailed);
  ASSERT_EQ(v.messages.shown.size(), 1u);
  EXPECT_EQ(v.messages.shown[0].find(text::kCalibrated), std::string::npos);
  EXPECT_NE(v.messages.shown[0].find("保存できませんでした"), std::string::npos);
  // Still used for this run.
  EXPECT_EQ(v.doc.Calibration(), (DisplayCalibration{100, 500, 650, 480, 210}));
  EXPECT_NEAR(*ScreenMillimetresPerPixel(v.doc.Calibration()), 0.381566, 1e-6);
  EXPECT_EQ(v.doc.CompleteCalibration(10, 10, 600), CalibrationResult::NotPending);
}

TEST(ViewerInteraction, ScrollDragFollowsThePointerAndStopsAtTheEdges) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {}));
  WriteKvi(dir.File("narrow.kvi"), MakeKvi(300, 2000, {}));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  for (double zoom : {2.0, 0.5, 1.0 / 0.7}) {
    SCOPED_TRACE(zoom);
    v.view.MutableScale().zoom = zoom;
    v.view.ApplyZoom(1500, 1000);
    const int32_t ox = v.view.Scale().originX, oy = v.view.Scale().originY;
    // 100 device pixels to the left and 40 up: the photo point under the
    // pointer stays under it.
    const int32_t under = v.view.Scale().PhotoX(500);
    v.view.OnLeftButtonDown(500, 300);
    EXPECT_EQ(v.view.CursorAt(500, 300), ViewCursor::Grab);
    v.view.OnMouseMove(450, 280);
    v.view.OnLeftButtonUp(400, 260);
    EXPECT_FALSE(v.view.Dragging());
    EXPECT_NEAR(v.view.Scale().originX, ox + 100 / zoom, 1);
    EXPECT_NEAR(v.view.Scale().originY, oy + 40 / zoom, 1);
    EXPECT_NEAR(v.view.Scale().PhotoX(400), under, 1);
  }
  // Far past the edges: the visible part stops flush with the photo.
  v.view.MutableScale().zoom = 2.0;
  v.view.ApplyZoom(1500, 1000);
  v.view.OnLeftButtonDown(900, 600);
  v.view.OnMouseMove(-20000, -20000);
  EXPECT_EQ(v.view.Scale().originX, 3000 - 500);
  EXPECT_EQ(v.view.Scale().originY, 2000 - 350);
  // The grab lost mid-drag: the photo stays where it got to.
  v.view.OnCaptureLost();
  EXPECT_FALSE(v.view.Dragging());
  v.view.OnMouseMove(0, 0);
  EXPECT_EQ(v.view.Scale().originX, 3000 - 500);
  // A photo narrower than the view: the drag leaves it at 0.
  ASSERT_TRUE(v.Open(dir.File("narrow.kvi")));
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(150, 1000);
  v.view.OnLeftButtonDown(500, 300);
  v.view.OnLeftButtonUp(100, 200);
  EXPECT_EQ(v.view.Scale().originX, 0);
  EXPECT_EQ(v.view.Scale().originY, 1000 - 350 + 100);
}

TEST(ViewerInteraction, ZoomModeClicksAndRectangles) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(4000, 3000, kThree));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.OnSize(800, 600);
  v.doc.mouseMode = kMouseZoom;
  EXPECT_EQ(v.view.CursorAt(300, 300), ViewCursor::ZoomIn);
  EXPECT_EQ(v.view.CursorAt(300, 300, true), ViewCursor::ZoomOut);
  // A click at 1.0 zooms in one step about the clicked photo point.
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(2000, 1500);
  const int32_t px = v.view.Scale().PhotoX(200), py = v.view.Scale().PhotoY(150);
  v.view.OnLeftButtonDown(200, 150);
  v.view.OnLeftButtonUp(201, 150);  // a tremor is still a click
  EXPECT_EQ(v.view.Scale().zoom, 1.25);
  EXPECT_EQ(v.view.Scale().CentreX(), px);
  EXPECT_EQ(v.view.Scale().CentreY(), py);
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(2000, 1500);
  v.view.OnLeftButtonDown(200, 150);
  v.view.OnLeftButtonUp(200, 150, true);
  EXPECT_EQ(v.view.Scale().zoom, 0.75);
  // At the table's ends nothing changes, not even the position.
  for (auto [zoom, out] : {std::pair{4.0, false}, std::pair{0.125, true}}) {
    v.view.MutableScale().zoom = zoom;
    v.view.ApplyZoom(2000, 1500);
    const ViewScale before = v.view.Scale();
    v.view.OnLeftButtonDown(100, 100);
    v.view.OnLeftButtonUp(100, 100, out);
    EXPECT_EQ(v.view.Scale().zoom, zoom);
    EXPECT_EQ(v.view.Scale().originX, before.originX);
  }
  // A 40 x 30 rectangle at 1.0 in an 800 x 600 client: scale 20 on its centre.
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(2000, 1500);
  const int32_t ox = v.view.Scale().originX, oy = v.view.Scale().originY;
  v.view.OnLeftButtonDown(140, 130);
  v.view.OnMouseMove(160, 150);
  EXPECT_EQ(v.view.SelectionRect(), (ClientRect{140, 130, 160, 150}));
  const int rebuilds = v.view.DisplayRebuilds();
  v.view.OnMouseMove(100, 100);  // the band is drawn over the display, not into it
  EXPECT_EQ(v.view.DisplayRebuilds(), rebuilds);
  EXPECT_EQ(v.view.SelectionRect(), (ClientRect{100, 100, 140, 130}));
  v.view.OnLeftButtonUp(100, 100);
  EXPECT_FALSE(v.view.SelectionRect());
  EXPECT_EQ(v.view.Scale().zoom, 20.0);
  EXPECT_EQ(v.view.Scale().CentreX(), ox + 120);
  EXPECT_EQ(v.view.Scale().CentreY(), oy + 115);
  EXPECT_EQ(v.host.scale, "倍率:20.00");
  // 6 x 5 would need 120: refused, nothing changes. So is a line along one
  // axis (no height: no division by zero).
  for (auto [x2, y2] : {std::pair{306, 305}, std::pair{360, 300}}) {
    v.view.MutableScale().zoom = 1.0;
    v.view.ApplyZoom(2000, 1500);
    v.host.scale.clear();
    v.view.OnLeftButtonDown(300, 300);
    v.view.OnMouseMove(x2, y2);
    v.view.OnLeftButtonUp(x2, y2);
    EXPECT_EQ(v.host.scale, kTooLargeText);
    EXPECT_EQ(v.view.Scale().zoom, 1.0);
  }
  // A grab lost mid-rectangle drops it.
  v.view.OnLeftButtonDown(300, 300);
  v.view.OnMouseMove(400, 400);
  v.view.OnCaptureLost();
  EXPECT_FALSE(v.view.SelectionRect());
  EXPECT_EQ(v.view.Scale().zoom, 1.0);
  // A registration in zoom mode: selected and shown at its real size, no band.
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(0, 0);
  const SizeRegistration& r = kThree[2];
  const int32_t rx = v.view.Scale().ClientX(r.startX + 10), ry = v.view.Scale().ClientY(r.startY + 10);
  EXPECT_EQ(v.view.CursorAt(rx, ry), ViewCursor::Registration);
  v.view.OnLeftButtonDown(rx, ry);
  EXPECT_FALSE(v.view.SelectionRect());
  EXPECT_EQ(v.doc.currentPoint, 2);
  EXPECT_TRUE(v.view.IsRealSize());
  EXPECT_EQ(v.host.scale, v.view.RealSizeText());
}

TEST(ViewerInteraction, HotSpotsWinOverTheModeAndAPendingCalibration) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(1600, 1200, kThree, 0, 40, 20));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(0, 0);
  v.view.ToggleToolbox();
  EXPECT_FALSE(v.view.toolboxShown);
  EXPECT_TRUE(v.view.ShowsHotIcons());
  v.doc.BeginA4Calibration();
  // The logo, the registration and the corner icons keep their meaning.
  EXPECT_EQ(v.view.CursorAt(1000 - 20, 15), ViewCursor::Logo);
  v.view.OnLeftButtonDown(1000 - 20, 15);
  EXPECT_EQ(v.host.link, "https://example.org/");
  const int32_t rx = v.view.Scale().ClientX(300), ry = v.view.Scale().ClientY(100);
  v.view.OnLeftButtonDown(rx, ry);
  EXPECT_EQ(v.doc.currentPoint, 0);
  EXPECT_TRUE(v.view.IsRealSize());
  EXPECT_EQ(v.view.CursorAt(60, 20), ViewCursor::ShowToolboxIcon);
  EXPECT_EQ(v.view.CursorAt(20, 20), ViewCursor::ReturnIcon);
  v.view.OnLeftButtonDown(60, 20);
  EXPECT_TRUE(v.view.toolboxShown);
  EXPECT_TRUE(v.doc.CalibrationPending());
  // Return icon: toolbox back and the whole photo from its top-left corner,
  // pane 1 with the bare number.
  v.view.ToggleToolbox();
  v.view.OnLeftButtonDown(20, 20);
  EXPECT_TRUE(v.view.toolboxShown);
  EXPECT_TRUE(v.view.IsWhole());
  EXPECT_EQ(v.host.scale, DoubleToText(v.view.Scale().zoom));
  EXPECT_TRUE(v.doc.CalibrationPending());
  EXPECT_EQ(v.doc.Calibration(), DisplayCalibration{});
  // With the toolbox shown the corner is photo again.
  EXPECT_EQ(v.view.CursorAt(20, 20), ViewCursor::Calibration);
  // At pixel ratio 2 the icons' areas double.
  v.view.SetDeviceRatio(2.0);
  EXPECT_EQ(v.view.ReturnIconRect(), (ClientRect{20, 20, 84, 84}));
  EXPECT_EQ(v.view.ShowToolboxIconRect(), (ClientRect{100, 20, 164, 84}));
}

TEST(ViewerInteraction, WheelKeysAndRealSizeLabels) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(4000, 3000, {}));
  WriteKvi(dir.File("b.kvi"), MakeKvi(3000, 2000, kThree, 1));
  WriteKvi(dir.File("c.kvi"), MakeKvi(2000, 1000, {MakeRegistration(0, 0, 100, 0, 10)}, 2));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("b.kvi")));
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(1500, 1000);
  // Whole notches zoom; small deltas add up; Ctrl, Shift or a button do not.
  EXPECT_EQ(v.view.OnWheel(120), 1);
  EXPECT_EQ(v.view.Scale().zoom, 1.25);
  EXPECT_EQ(v.view.OnWheel(-240), 2);
  EXPECT_EQ(v.view.Scale().zoom, 0.75);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(v.view.OnWheel(30), 0);
  EXPECT_EQ(v.view.OnWheel(30), 1);
  EXPECT_EQ(v.view.Scale().zoom, 1.0);
  EXPECT_EQ(v.view.OnWheel(60), 0);
  EXPECT_EQ(v.view.OnWheel(-60), 0);  // a turn back starts afresh
  EXPECT_EQ(v.view.OnWheel(-60), 1);
  EXPECT_EQ(v.view.OnWheel(-120, true), 0);
  EXPECT_EQ(v.view.OnWheel(-120, false, true), 0);
  EXPECT_EQ(v.view.Scale().zoom, 0.75);
  // Arrows: a tenth of the view.
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(1500, 1000);
  const int32_t ox = v.view.Scale().originX, oy = v.view.Scale().originY;
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Right));
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Up));
  EXPECT_EQ(v.view.Scale().originX, ox + 100);
  EXPECT_EQ(v.view.Scale().originY, oy - 70);
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Plus));
  EXPECT_EQ(v.view.Scale().zoom, 1.25);
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Minus));
  EXPECT_EQ(v.view.Scale().zoom, 1.0);
  // A later real-size point, then another file: it starts at its own first.
  v.view.StepRealSizePoint(-1);
  EXPECT_EQ(v.doc.currentPoint, 2);
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::PageDown));
  EXPECT_EQ(v.view.Scale().photoWidth, 2000);
  EXPECT_EQ(v.doc.currentPoint, 0);
  EXPECT_TRUE(v.view.HasRealSize());
  EXPECT_DOUBLE_EQ(v.view.Scale().realSizeZoom, 0.1 / kFallback);
  // Home and End: first and last of the folder.
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Home));
  EXPECT_EQ(v.view.Scale().photoWidth, 4000);
  EXPECT_FALSE(v.view.OnKeyDown(ViewKey::Home));
  // No registrations: scale 1.0, never called real size.
  EXPECT_FALSE(v.view.HasRealSize());
  v.view.ShowRealSize();
  EXPECT_EQ(v.view.Scale().zoom, 1.0);
  EXPECT_FALSE(v.view.IsRealSize());
  EXPECT_EQ(v.host.scale, "倍率:1.00");
  v.view.StepRealSizePoint(+1);
  EXPECT_EQ(v.host.scale.find("等倍"), std::string::npos);
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::End));
  EXPECT_EQ(v.view.Scale().photoWidth, 2000);
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::PageUp));
  EXPECT_EQ(v.view.Scale().photoWidth, 3000);
  // Escape without a band or full screen does nothing.
  EXPECT_FALSE(v.view.OnKeyDown(ViewKey::Escape));
}

TEST(ViewerInteraction, MeasureModeMeasuresSnapsClearsAndNeverTouchesTheFile) {
  TempDir dir;
  // 500 photo pixels of 250 mm, then 200 of 50 mm; the next photo has no
  // registration.
  WriteKvi(dir.File("a.kvi"), MakeKvi(1600, 1200,
                                      {MakeRegistration(100, 100, 600, 100, 250),
                                       MakeRegistration(100, 900, 300, 900, 50)}));
  WriteKvi(dir.File("b.kvi"), MakeKvi(1600, 1200, {}));
  std::vector<uint8_t> before, after;
  std::string reason;
  ASSERT_TRUE(ReadWholeFile(dir.File("a.kvi"), before, reason));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(0, 0);
  const ViewScale& s = v.view.Scale();
  auto drag = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    v.view.OnLeftButtonDown(x1, y1);
    v.view.OnMouseMove((x1 + x2) / 2, (y1 + y2) / 2);
    v.view.OnLeftButtonUp(x2, y2);
  };
  auto setMode = [&](int32_t mode) {
    v.doc.mouseMode = mode;
    v.doc.NotifyViews("", code::kRepaint);
  };
  setMode(kMouseMeasure);
  EXPECT_EQ(v.host.panes[2], "計測: ｻｲｽﾞ情報 1 (250 mm) の縮尺");

  // 300 photo pixels at scale 1.0, the length shown while dragging.
  EXPECT_EQ(v.view.CursorAt(200, 400), ViewCursor::Measure);
  v.view.OnLeftButtonDown(200, 400);
  v.view.OnMouseMove(350, 400);
  std::vector<MeasureLine> lines = v.view.MeasureOverlay();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].pending);
  EXPECT_EQ(lines[0].caption, "75.0 mm (150 px)");
  EXPECT_EQ(v.view.CursorAt(350, 400), ViewCursor::Measure);
  v.view.OnLeftButtonUp(500, 400);
  EXPECT_EQ(v.view.LastMeasureText(), "150.0 mm (300 px)");
  EXPECT_EQ(v.host.panes[3], "150.0 mm (300 px)");
  EXPECT_FALSE(v.view.Dragging());

  // Near the registration's ends: the segment is the registration itself,
  // and the press does not switch the view to that registration.
  const double zoom = s.zoom;
  EXPECT_EQ(v.view.CursorAt(s.ClientX(100) + 3, s.ClientY(100) - 4), ViewCursor::Measure);
  drag(s.ClientX(100) + 3, s.ClientY(100) - 4, s.ClientX(600) - 5, s.ClientY(100) + 2);
  EXPECT_EQ(s.zoom, zoom);
  EXPECT_EQ(*v.view.Measurements().Last(), (Measurement{{100, 100}, {600, 100}}));
  EXPECT_EQ(v.view.LastMeasureText(), "250.0 mm (500 px)");
  // A click measures nothing.
  v.view.OnLeftButtonDown(700, 300);
  v.view.OnLeftButtonUp(701, 301);
  EXPECT_EQ(v.view.Measurements().Done().size(), 2u);
  // Another registration reads the same lines at its own scale.
  v.view.StepRealSizePoint(+1);
  EXPECT_EQ(v.host.panes[2], "計測: ｻｲｽﾞ情報 2 (50 mm) の縮尺");
  EXPECT_EQ(v.host.panes[3], "125.0 mm (500 px)");
  EXPECT_EQ(v.view.MeasureOverlay()[0].caption, "75.0 mm (300 px)");
  v.view.StepRealSizePoint(-1);

  // They stay on the photo when the view moves.
  v.view.ShowWhole();
  ASSERT_GT(s.offsetX, 0);
  lines = v.view.MeasureOverlay();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].x1, s.ClientX(100));
  EXPECT_EQ(lines[1].x2, s.ClientX(600));
  EXPECT_EQ(lines[1].caption, "250.0 mm (500 px)");
  // A press on the white beside the photo measures nothing; a drag past
  // its edge stops at the edge.
  v.view.OnLeftButtonDown(s.offsetX - 5, 300);
  EXPECT_FALSE(v.view.MeasureDragging());
  drag(s.offsetX + 60, 300, -400, 300);
  EXPECT_EQ(v.view.Measurements().Last()->to.x, 0.0);
  // A grab lost mid-drag drops the half-made one.
  v.view.OnLeftButtonDown(500, 300);
  v.view.OnMouseMove(600, 300);
  v.view.OnCaptureLost();
  EXPECT_EQ(v.view.Measurements().Done().size(), 3u);
  EXPECT_FALSE(v.view.MeasureDragging());

  // Escape clears them all, and the last length in pane 3; then it has
  // nothing more to do.
  EXPECT_TRUE(v.view.OnKeyDown(ViewKey::Escape));
  EXPECT_TRUE(v.view.MeasureOverlay().empty());
  EXPECT_EQ(v.host.panes[3], "");
  EXPECT_FALSE(v.view.LastMeasureText());
  EXPECT_FALSE(v.view.OnKeyDown(ViewKey::Escape));

  // Leaving the mode clears them and the panes; a press scrolls again.
  drag(500, 300, 600, 300);
  setMode(kMouseScroll);
  EXPECT_TRUE(v.view.Measurements().Empty());
  EXPECT_EQ(v.host.panes[2], v.view.CalibrationNote());  // back to the screen's word
  EXPECT_EQ(v.host.panes[3], "");
  v.view.OnLeftButtonDown(500, 300);
  EXPECT_TRUE(v.view.Dragging());
  v.view.OnLeftButtonUp(500, 300);

  // Another photo: the old lines go, and without a registration it
  // measures in pixels and says why.
  setMode(kMouseMeasure);
  drag(500, 300, 600, 300);
  ASSERT_TRUE(v.view.StepPhoto(+1));
  EXPECT_TRUE(v.view.MeasureOverlay().empty());
  EXPECT_EQ(v.host.panes[3], "");
  EXPECT_EQ(v.host.panes[2], "ｻｲｽﾞ情報がないためﾋﾟｸｾﾙで計測");
  v.view.MutableScale().zoom = 1.0;
  v.view.ApplyZoom(0, 0);
  drag(100, 100, 400, 100);
  EXPECT_EQ(v.view.LastMeasureText(), "300 px");

  // Nothing was written: the file is byte for byte as it was.
  EXPECT_FALSE(v.doc.IsModified());
  ASSERT_TRUE(ReadWholeFile(dir.File("a.kvi"), after, reason));
  EXPECT_EQ(before, after);
  EXPECT_TRUE(v.messages.shown.empty());
}

TEST(ViewerModel, SidewaysPhotosStandUprightWithTheirRegistrations) {
  TempDir dir;
  const RegistrationList stored = {MakeRegistration(100, 50, 300, 50, 100)};
  double realSize = 0;
  for (uint16_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    ActualSizeFile f = MakeKvi(400, 200, stored);
    f.jpegBytes = kv::testing::WithExif(f.jpegBytes, o, o % 2 == 0);
    const std::string path = dir.File("o" + std::to_string(o) + ".kvi");
    WriteKvi(path, f);
    Viewer v(dir.Folder());
    ASSERT_TRUE(v.Open(path));
    const bool sideways = o >= 5;
    EXPECT_EQ(v.view.Scale().photoWidth, sideways ? 200 : 400);
    // The navigator's thumbnail stands upright too: bars at the sides of a
    // tall photo, above and below a wide one.
    EXPECT_EQ(v.view.Navigator().offsetX, sideways ? 60 : 0);
    EXPECT_EQ(v.view.Navigator().offsetY, sideways ? 0 : 60);
    if (sideways) {
      EXPECT_EQ(GetPackedPixel(v.doc.thumbnail.image, 30, 120), 0u);  // in the bar
    }
    ASSERT_EQ(v.doc.Registrations().size(), 1u);
    const SizeRegistration r = v.doc.Registrations()[0];
    EXPECT_EQ(r, RegistrationsToShown(stored, o, PixelSize{400, 200})[0]);
    // Rotation keeps lengths: the same real size whichever way it stands.
    if (o == 1) realSize = v.view.Scale().realSizeZoom;
    EXPECT_DOUBLE_EQ(v.view.Scale().realSizeZoom, realSize);
    // Under the shown start point lies the photo's stored (100, 50): blue
    // carries x and green y.
    v.view.MutableScale().zoom = 1.0;
    v.view.ApplyZoom(r.startX, r.startY);
    const ViewScale& s = v.view.Scale();
    uint8_t px[4];
    ASSERT_TRUE(GetPixel(*v.view.DisplayImage(), r.startX - s.originX, r.startY - s.originY, px));
    EXPECT_NEAR(px[0], 100, 8);
    EXPECT_NEAR(px[1], 50, 8);
    // A click on the shown line finds it.
    int32_t hx = 0, hy = 0, index = -1;
    EXPECT_EQ(v.view.HitTestRegistrationAt(s.ClientX((r.startX + r.endX) / 2),
                                           s.ClientY((r.startY + r.endY) / 2), hx, hy, index),
              11);
  }
}

}  // namespace
}  // namespace kv::viewer
