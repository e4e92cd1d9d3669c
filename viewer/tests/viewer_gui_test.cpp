// The viewer in its real frame, headless: opening, real-size drawing in
// device pixels, stepping, calibration by click, refusals, welcome panel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMenuBar>
#include <QTreeView>
#include <QWindow>
#include <QLabel>
#include <QPrinter>
#include <QMenu>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/util/text.h"
#include "foundation/shell/main_frame.h"
#include "resources/viewer/commands.h"
#include "platform/private_profile.h"
#include "platform/screen.h"
#include "print/print_layout.h"
#include "print/tests/pdf_raster.h"
#include "viewer/tests/test_files.h"
#include "viewer/widgets/adjust_dialog.h"
#include "viewer/widgets/artwork.h"
#include "viewer/widgets/display_size_dialog.h"
#include "viewer/widgets/toolbox_window.h"
#include "viewer/widgets/kovalindra_parts.h"
#include "viewer/widgets/view_widget.h"

namespace kv::viewer {
namespace {

using testing::BlankPhoto;
using testing::MakeKvi;
using testing::RecordingMessages;
using testing::TempDir;
using testing::WriteKvi;
namespace c = kv::viewer::cmd;

struct App {
  // toolboxAt: a toolbox position already in the profile.
  explicit App(const std::string& settingsFolder, QSize viewSize = QSize(800, 600),
               const std::string& toolboxAt = "") {
    if (!toolboxAt.empty()) {
      QSettings s(profileDir.filePath("profile.ini"), QSettings::IniFormat);
      s.setValue("settings/DlgMenu", QString::fromStdString(toolboxAt));
    }
    frame = std::make_unique<shell::MainFrame>(
        shell::ProgramKind::Viewer, ViewerTable(),
        std::make_unique<platform::QtProfile>(std::make_unique<QSettings>(
            profileDir.filePath("profile.ini"), QSettings::IniFormat)));
    PartsOptions options;
    options.messages = &messages;
    options.settings = SettingsLocation{settingsFolder, ""};
    options.chooseFile = [this] { return chosen; };
    options.askLength = [this] { return length; };
    options.onAdjustDialog = [this](QDialog& d) {
      if (onAdjust) onAdjust(static_cast<AdjustDialog&>(d));
    };
    options.choosePdfPath = [this] {
      ++pdfAsked;
      return choosePdf;
    };
    options.setUpPrinter = [this](QPrinter& p) { return setUpPrinter && setUpPrinter(p); };
    created = frame->Create([&](shell::AppContext& ctx) {
      auto p = CreateKovalindraPartsWith(ctx, options);
      parts = static_cast<KovalindraParts*>(p.get());
      return p;
    });
    frame->show();
    // Size the view itself: its client area is what the scales count.
    const QSize extra = frame->size() - parts->Widget()->size();
    frame->resize(viewSize + extra);
    QApplication::processEvents();
    widget = parts->Widget();
  }
  QImage Frame() { return widget->ComposeFrame(); }
  // Photos decode on a worker: until the one on show is whole.
  void Settle() { ASSERT_TRUE(QTest::qWaitFor([&] { return View().Session().Settled(); }, 20000)); }
  KovalindraView& View() { return parts->View(); }
  QString Pane(int i) { return frame->StatusPaneText(i); }
  // Clicks at a device-pixel point.
  void ClickDevice(int x, int y) {
    const double r = widget->Ratio();
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(int(std::ceil(x / r)), int(std::ceil(y / r))));
  }

  QTemporaryDir profileDir;
  RecordingMessages messages;
  std::optional<std::string> chosen;
  std::optional<int32_t> length;
  std::function<void(AdjustDialog&)> onAdjust;
  std::optional<std::string> choosePdf;
  int pdfAsked = 0;
  std::function<bool(QPrinter&)> setUpPrinter;
  std::unique_ptr<shell::MainFrame> frame;
  KovalindraParts* parts = nullptr;
  KovalindraViewWidget* widget = nullptr;
  bool created = false;
};

QColor At(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }
bool IsColor(const QImage& img, int x, int y, int r, int g, int b) {
  const QColor q = At(img, x, y);
  return q.red() == r && q.green() == g && q.blue() == b;
}

std::string SamplePath() {
  const char* bin = std::getenv("KV_BIN_DIR");
  return bin ? std::string(bin) + "/sample.kvi" : std::string();
}

TEST(ViewerGui, SampleAtRealSizeDrawsTheRegistrationAtItsCalibratedLength) {
  const std::string sample = SamplePath();
  if (sample.empty() || !std::filesystem::exists(sample)) GTEST_SKIP() << "no bundled sample";
  TempDir settings;
  // 300 pixels for 210 mm, as uncalibrated, but stored: no welcome panel.
  std::string reason;
  ASSERT_TRUE(WriteCalibration(settings.File("Kovalindra.ini"), {100, 500, 400, 500, 210}, reason));
  App app(settings.Folder());
  EXPECT_FALSE(app.View().ShowsWelcome());
  ASSERT_TRUE(app.created);
  ASSERT_TRUE(app.frame->ProcessCommandLine({QString::fromStdString(sample)}));
  app.Settle();  // read on a worker
  EXPECT_TRUE(app.frame->windowTitle().startsWith("sample.kvi"));
  ASSERT_FALSE(app.parts->Doc().Registrations().empty());
  EXPECT_TRUE(app.frame->QueryCommand(c::kShowWhole).checked);
  app.frame->DispatchCommand(c::kRealSize);
  app.frame->DispatchCommand(c::kSizeInfo);
  EXPECT_TRUE(app.frame->QueryCommand(c::kRealSize).checked);
  EXPECT_TRUE(app.Pane(1).startsWith(QString::fromUtf8("倍率:等倍(")));
  const ViewScale& s = app.View().Scale();
  const SizeRegistration& r = app.parts->Doc().Registrations()[0];
  const GuideLine l = app.View().GuideLines()[0];
  const double d = std::hypot(double(r.endX - r.startX), double(r.endY - r.startY));
  const double drawn = std::hypot(double(l.x2 - l.x1), double(l.y2 - l.y1));
  EXPECT_NEAR(drawn, d * s.realSizeZoom, 1.5);
  // Length x pixels per millimetre of the calibration.
  EXPECT_NEAR(drawn, r.lengthMm * 300.0 / 210.0, 1.5);
  // The line is really on the picture, in the current registration's colour.
  const QImage img = app.Frame();
  ASSERT_EQ(img.size(), app.widget->DeviceSize());
  if (l.x1 >= 0 && l.y1 >= 0 && l.x1 < img.width() && l.y1 < img.height()) {
    EXPECT_TRUE(IsColor(img, l.x1, l.y1, 255, 0, 204));
  }
}

TEST(ViewerGui, PhotoAndGuideLinesAgreeInDevicePixels) {
  TempDir dir;
  // blue = x mod 256, green = y mod 256 on a 2000 x 1500 photo.
  WriteKvi(dir.File("p.kvi"), MakeKvi(2000, 1500, {MakeRegistration(1040, 1060, 1200, 1060, 100)}));
  // Calibrated, so that no welcome panel lies over the pixels compared.
  std::string reason;
  ASSERT_TRUE(WriteCalibration(dir.File("Kovalindra.ini"), {100, 500, 900, 500, 210}, reason));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("p.kvi"))));
  app.Settle();
  const QSize device = app.widget->DeviceSize();
  if (qEnvironmentVariable("QT_SCALE_FACTOR") == "2") {
    ASSERT_EQ(app.widget->Ratio(), 2.0);
  }
  EXPECT_EQ(device, QSize(std::lround(app.widget->width() * app.widget->Ratio()),
                          std::lround(app.widget->height() * app.widget->Ratio())));
  EXPECT_EQ(app.View().Scale().clientWidth, device.width());
  // Real size centred on the registration (the screen's density may make
  // it large).
  app.frame->DispatchCommand(c::kNextPoint);
  app.frame->DispatchCommand(c::kSizeInfo);
  const ViewScale& s = app.View().Scale();
  const GuideLine l = app.View().GuideLines()[0];
  EXPECT_NEAR(l.x2 - l.x1, 160 * s.realSizeZoom, 1.0);
  // At one pixel right of the line's start the photo shows x = 1040 + 1/zoom.
  const QImage img = app.Frame();
  const int px = l.x1 + 3, py = l.y1 + 4;
  ASSERT_TRUE(px < img.width() && py < img.height());
  EXPECT_NEAR(At(img, px, py).blue(), (1040 + int(3 / s.zoom)) % 256, 8);
  EXPECT_NEAR(At(img, px, py).green(), (1060 + int(4 / s.zoom)) % 256, 8);
  // At 1.0 one photo pixel is one device pixel: neighbours differ by one.
  app.View().MutableScale().zoom = 1.0;
  app.View().ApplyZoom(1000, 1000);
  const QImage one = app.Frame();
  const int ox = app.View().Scale().originX;
  for (int x = 20; x < 30; ++x)
    EXPECT_NEAR(At(one, x, 40).blue(), (ox + x) % 256, 4) << x;
  // The window shows what was composed, at the screen's pixel ratio.
  const QImage grabbed = app.widget->grab().toImage();
  EXPECT_EQ(grabbed.size(), device);
  EXPECT_NEAR(At(grabbed, 25, 40).blue(), (ox + 25) % 256, 4);
}

TEST(ViewerGui, StepsRegistrationsAndFilesAndRefusesBrokenFiles) {
  TempDir dir;
  const RegistrationList three = {MakeRegistration(10, 10, 310, 10, 100),
                                  MakeRegistration(10, 50, 160, 50, 100),
                                  MakeRegistration(10, 90, 85, 90, 100)};
  WriteKvi(dir.File("a.kvi"), MakeKvi(400, 300, three, 0));
  WriteKvi(dir.File("b.kvi"), MakeKvi(500, 300, three, 1));
  {
    std::ofstream(dir.File("c.kvi"), std::ios::binary) << "not a kvi file at all";
  }
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  app.frame->DispatchCommand(c::kNextPoint);
  EXPECT_EQ(app.parts->Doc().currentPoint, 2);
  const double z2 = app.View().Scale().zoom;
  app.frame->DispatchCommand(c::kNextPoint);
  EXPECT_EQ(app.parts->Doc().currentPoint, 1);
  EXPECT_DOUBLE_EQ(app.View().Scale().zoom, z2 / 2);
  app.frame->DispatchCommand(c::kPrevPoint);
  EXPECT_EQ(app.parts->Doc().currentPoint, 2);

  EXPECT_TRUE(app.frame->QueryCommand(c::kNextImage).enabled);
  app.frame->DispatchCommand(c::kNextImage);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 500);
  EXPECT_TRUE(app.frame->windowTitle().contains("b.kvi"));
  // The next one (c.kvi) is broken: b stays, and the status bar says so.
  app.frame->DispatchCommand(c::kNextImage);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 500);
  EXPECT_TRUE(app.frame->windowTitle().contains("b.kvi"));
  EXPECT_TRUE(app.Pane(0).contains("c.kvi"));
  app.frame->DispatchCommand(c::kPrevImage);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 400);

  // Opening the broken file through the shell or the viewer's dialog.
  const QString title = app.frame->windowTitle();
  // Read on a worker: refused when it has been read.
  EXPECT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("c.kvi"))));
  app.Settle();
  app.chosen = dir.File("c.kvi");
  app.frame->DispatchCommand(c::kOpenWithDialog);
  app.Settle();
  EXPECT_EQ(app.frame->windowTitle(), title);
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 400);
  ASSERT_EQ(app.messages.shown.size(), 2u);
  EXPECT_NE(app.messages.shown[0].find("開けませんでした"), std::string::npos);
  for (const std::string& f : app.frame->Profile().RecentFiles())
    EXPECT_EQ(f.find("c.kvi"), std::string::npos);
  // A good file through the dialog: title and recent list follow.
  app.chosen = dir.File("b.kvi");
  app.frame->DispatchCommand(c::kOpenWithDialog);
  app.Settle();
  EXPECT_TRUE(app.frame->windowTitle().startsWith("b.kvi"));
  EXPECT_EQ(app.frame->Profile().RecentFiles().front(), dir.File("b.kvi"));
}

// Smooth shading at a high quality: few bytes a pixel, as a lightly
// compressed photo has.
ActualSizeFile LightlyCompressedKvi(int32_t w, int32_t h) {
  DibImage img = BlankPhoto(w, h);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = img.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      row[x * 3 + 0] = uint8_t(x * 255 / w);
      row[x * 3 + 1] = uint8_t(y * 255 / h);
      row[x * 3 + 2] = uint8_t(60 + (x + y) * 120 / (w + h));
    }
  }
  ActualSizeFile f = MakeKvi(8, 8, {});
  f.jpegBytes = EncodeJpeg(img, 96);
  return f;
}

TEST(ViewerGui, ALightlyCompressedPhotoPaintsItsReducedFirstFrameBeforeTheWholeOne) {
  TempDir dir;
  const ActualSizeFile light = LightlyCompressedKvi(3600, 2400);
  ASSERT_LT(double(light.jpegBytes.size()) / (3600.0 * 2400.0), kFirstFrameMaxBytesPerPixel);
  WriteKvi(dir.File("light.kvi"), light);
  // The whole photo's decode waits until the first frame has been seen.
  std::atomic<bool> released{false};
  // Fit is 1/8 (at a pixel ratio of 2, 1/4): a reduced frame pays.
  App app(dir.Folder(), QSize(450, 300));
  app.parts->Doc().Session().SetWorkerHook([&](WorkerStage stage, const std::string&) {
    if (stage == WorkerStage::Decode)
      while (!released) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  });
  struct Release {
    std::atomic<bool>& flag;
    ~Release() { flag = true; }
  } release{released};
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("light.kvi"))));
  ASSERT_TRUE(QTest::qWaitFor([&] { return app.View().Session().State() == PhotoState::FirstFrame; }, 20000));
  // Placed where the whole photo goes.
  EXPECT_GE(app.View().PhotoShift(), 2);
  EXPECT_EQ(app.View().Scale().photoWidth, 3600);
  const QImage first = app.widget->grab().toImage();
  EXPECT_EQ(app.View().Session().State(), PhotoState::FirstFrame);
  released = true;
  app.Settle();
  EXPECT_EQ(app.View().PhotoShift(), 0);
  const QImage whole = app.widget->grab().toImage();
  ASSERT_EQ(first.size(), whole.size());
  // The shading is painted, not the empty window, and the whole photo
  // lands on the first frame's pixels.
  const double r = app.widget->Ratio();
  for (const QPointF p : {QPointF(60, 60), QPointF(225, 150), QPointF(390, 240)}) {
    const int x = int(p.x() * r), y = int(p.y() * r);
    EXPECT_FALSE(IsColor(first, x, y, 255, 255, 255)) << x << "," << y;
    EXPECT_NEAR(At(first, x, y).blue(), At(whole, x, y).blue(), 3) << x << "," << y;
    EXPECT_NEAR(At(first, x, y).green(), At(whole, x, y).green(), 3) << x << "," << y;
  }
}

TEST(ViewerGui, AStepThatMissesTheReadAheadKeepsThePhotoOnShowUntilTheNextHasAPicture) {
  TempDir dir;
  const RegistrationList one = {MakeRegistration(10, 10, 310, 10, 100)};
  WriteKvi(dir.File("a.kvi"), MakeKvi(400, 300, one, 0, 40, 20));
  WriteKvi(dir.File("b.kvi"), MakeKvi(500, 300, {}, 1));
  // b's disk is slow: its read (ahead, then for the step) waits for this.
  std::atomic<bool> released{false};
  App app(dir.Folder());
  app.parts->Doc().Session().SetWorkerHook([&](WorkerStage stage, const std::string& path) {
    if (stage == WorkerStage::Read && path == dir.File("b.kvi"))
      while (!released) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  });
  struct Release {
    std::atomic<bool>& flag;
    ~Release() { flag = true; }
  } release{released};
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  const QImage before = app.Frame();
  const QString scale = app.Pane(1);
  const double navigator = app.View().Navigator().scale;
  QTest::keyClick(app.widget, Qt::Key_PageDown);
  // No white flash: the photo, its logo, navigator and scale stay, and a
  // short wait shows no wait cursor.
  QTest::qWait(50);
  EXPECT_TRUE(app.View().Session().Pending());
  EXPECT_EQ(app.Frame(), before);
  EXPECT_EQ(app.Pane(1), scale);
  EXPECT_EQ(app.View().Navigator().scale, navigator);
  EXPECT_FALSE(app.widget->ShowsWaitCursor());
  // A long one does, after 300 ms, over the same picture.
  EXPECT_TRUE(QTest::qWaitFor([&] { return app.widget->ShowsWaitCursor(); }, 2000));
  EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(app.Frame(), before);
  released = true;
  app.Settle();
  EXPECT_FALSE(app.widget->ShowsWaitCursor());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(app.View().Scale().photoWidth, 500);
  EXPECT_TRUE(app.frame->windowTitle().contains("b.kvi"));
  EXPECT_NE(app.Frame(), before);
}

TEST(ViewerGui, WelcomePanelUntilCalibratedByClick) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(1600, 1200, {MakeRegistration(100, 100, 500, 100, 100)}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  const QSize device = app.widget->DeviceSize();
  // Uncalibrated: the panel sits in the middle of the view, at the pixel
  // ratio's size.
  const QImage panel = MakeWelcomePanel(app.widget->Ratio());
  EXPECT_EQ(panel.width(), std::lround(300 * app.widget->Ratio()));
  QImage img = app.Frame();
  const int wx = device.width() / 2 - panel.width() / 2, wy = device.height() / 2 - panel.height() / 2;
  EXPECT_EQ(img.pixel(wx + 5, wy + 150), panel.pixel(5, 150));
  EXPECT_EQ(img.pixel(wx + 150, wy + 300), panel.pixel(150, 300));
  const double before = app.View().Scale().realSizeZoom;

  // 800 pixels cannot hold an A4 width at any usual density: the user is
  // offered a maximised window first (declined here, so sizes stay).
  app.messages.answer = platform::MsgResult::No;
  app.frame->DispatchCommand(c::kA4Size);
  EXPECT_TRUE(app.frame->QueryCommand(c::kA4Size).checked);
  // (A scale factor set for the tests reports no denser a screen.)
  const bool offered = !app.messages.shown.empty() &&
                       app.messages.shown[0].find("最大化しますか") != std::string::npos;
  if (app.widget->Ratio() == 1.0) {
    EXPECT_TRUE(offered);
  }
  if (offered) app.messages.shown.erase(app.messages.shown.begin());
  ASSERT_EQ(app.messages.shown.size(), 2u);
  // The guide caption is drawn above-right of the anchor.
  img = app.Frame();
  int dark = 0;
  for (int y = device.height() - 120; y < device.height() - 100; ++y)
    for (int x = 100; x < 250; ++x) dark += At(img, x, y).lightness() < 60;
  EXPECT_GT(dark, 10);
  // A click on the anchor is refused; one 420 pixels right of it completes
  // (far from what the screen reports, so asked first: "はい").
  app.messages.answer = platform::MsgResult::Yes;
  app.ClickDevice(101, device.height() - 100);
  EXPECT_TRUE(app.parts->Doc().CalibrationPending());
  app.ClickDevice(520, device.height() - 100);
  EXPECT_FALSE(app.parts->Doc().CalibrationPending());
  const DisplayCalibration& cal = app.parts->Doc().Calibration();
  EXPECT_EQ(cal.pt1y, device.height() - 100);
  EXPECT_NEAR(cal.pt2x, 520, 1);
  EXPECT_EQ(app.messages.shown.back(), text::kCalibrated);
  EXPECT_EQ(ReadCalibration(dir.File("Kovalindra.ini")), cal);
  EXPECT_NE(app.View().Scale().realSizeZoom, before);
  // (At a fractional ratio the click may land a row off the anchor's.)
  EXPECT_NEAR(app.View().Scale().realSizeZoom,
              0.25 / (210.0 / std::hypot(cal.pt2x - cal.pt1x, cal.pt2y - cal.pt1y)), 1e-9);
  img = app.Frame();
  EXPECT_NE(img.pixel(wx + 150, wy + 300), panel.pixel(150, 300));

  // Any length, through the dialog's answer; a cancelled dialog changes nothing.
  app.length.reset();
  app.frame->DispatchCommand(c::kCustomSize);
  EXPECT_FALSE(app.parts->Doc().CalibrationPending());
  app.length = 100;
  app.frame->DispatchCommand(c::kCustomSize);
  EXPECT_TRUE(app.parts->Doc().CalibrationPending());
  app.ClickDevice(500, device.height() - 100);
  EXPECT_EQ(app.parts->Doc().Calibration().sizedisplay, 100);
  // The marks of the stored points.
  app.frame->DispatchCommand(c::kDisplaySettings);
  img = app.Frame();
  const DisplayCalibration& now = app.parts->Doc().Calibration();
  EXPECT_TRUE(IsColor(img, now.pt2x + 3, now.pt2y, 210, 210, 255) ||
              IsColor(img, now.pt2x, now.pt2y + 3, 210, 210, 255));
}

TEST(ViewerGui, TheCrossIsWhereTheCalibrationMeasuresFromAndEscStopsIt) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(1600, 1200, {MakeRegistration(100, 100, 500, 100, 100)}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  const QSize device = app.widget->DeviceSize();
  const double r = app.widget->Ratio();
  // Esc at the window-too-narrow question: nothing starts.
  app.messages.answer = platform::MsgResult::Cancel;
  app.frame->DispatchCommand(c::kA4Size);
  const bool asked = !app.messages.shown.empty() &&
                     app.messages.shown[0].find("最大化しますか") != std::string::npos;
  if (asked) {
    EXPECT_FALSE(app.parts->Doc().CalibrationPending());
    EXPECT_NE(app.messages.shown[0].find("Esc"), std::string::npos);
  }
  app.messages.answer = platform::MsgResult::No;
  app.frame->DispatchCommand(c::kA4Size);
  ASSERT_TRUE(app.parts->Doc().CalibrationPending());
  const QImage img = app.Frame();
  const int ax = KovalindraDoc::AnchorX(), ay = KovalindraDoc::AnchorY(device.height());
  ASSERT_EQ(ay, device.height() - 100);
  auto black = [&](int x, int y) { return At(img, x, y).lightness() < 40; };
  ASSERT_TRUE(black(ax, ay));
  // The cross's arms reach equally far each way from the anchor pixel.
  int left = ax, right = ax, up = ay, down = ay;
  while (black(left - 1, ay)) --left;
  while (black(right + 1, ay)) ++right;
  while (black(ax, up - 1)) --up;
  while (black(ax, down + 1)) ++down;
  EXPECT_EQ(ax - left, right - ax);
  EXPECT_EQ(ay - up, down - ay);
  EXPECT_EQ(right - ax, std::lround(kGuideCrossArm * r));
  // The words beside it are as tall as the pixel ratio makes them.
  int top = device.height(), bottom = 0;
  for (int y = ay - int(60 * r); y < ay; ++y)
    for (int x = right + 2; x < right + int(200 * r); ++x)
      if (black(x, y)) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GE(bottom - top, 7 * r);
  // Esc in the view drops the pending calibration, and pane 0 says so.
  app.widget->setFocus();
  QTest::keyClick(app.widget, Qt::Key_Escape);
  EXPECT_FALSE(app.parts->Doc().CalibrationPending());
  EXPECT_EQ(app.Pane(0), QString::fromUtf8(text::kCalibrationCancelled));
  EXPECT_TRUE(IsUncalibrated(app.parts->Doc().Calibration()));
}

TEST(ViewerGui, UncalibratedRealSizeIsTheScreensEstimateAndSaysSo) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, {MakeRegistration(100, 100, 500, 100, 100)}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  const QScreen* screen = app.widget->screen();
  ASSERT_TRUE(screen);
  const double r = screen->devicePixelRatio();
  const std::optional<double> estimate = EstimateFromScreen(
      screen->physicalSize().width(), screen->physicalSize().height(),
      int32_t(std::lround(screen->geometry().width() * r)),
      int32_t(std::lround(screen->geometry().height() * r)));
  app.frame->DispatchCommand(c::kNextPoint);
  // Nothing plausible reported: the one fallback density, marked all the same.
  EXPECT_DOUBLE_EQ(app.View().Scale().mmPerScreenPixel,
                   estimate.value_or(FallbackMmPerDevicePixel(r)));
  EXPECT_TRUE(app.Pane(1).startsWith(QString::fromUtf8("倍率:等倍(推定 ")));
  EXPECT_EQ(app.Pane(2), QString::fromUtf8(app.View().CalibrationNote().c_str()));
  EXPECT_FALSE(app.Pane(2).isEmpty());
  // Calibrating replaces it.
  std::string reason;
  ASSERT_TRUE(WriteCalibration(dir.File("Kovalindra.ini"), {100, 500, 500, 500, 100}, reason));
  App calibrated(dir.Folder());
  ASSERT_TRUE(calibrated.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  calibrated.Settle();
  calibrated.frame->DispatchCommand(c::kNextPoint);
  EXPECT_DOUBLE_EQ(calibrated.View().Scale().mmPerScreenPixel, 0.25);
  EXPECT_EQ(calibrated.Pane(1).indexOf(QString::fromUtf8("推定")), -1);
}

TEST(ViewerGui, TheWindowsScreenChoosesTheCalibration) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, {MakeRegistration(100, 100, 500, 100, 100)}));
  const std::string ini = dir.File("Kovalindra.ini");
  std::string reason;
  const DisplayCalibration primary{100, 500, 500, 500, 100};
  const DisplayCalibration other{100, 500, 900, 500, 100};
  const ScreenId elsewhere{"elsewhere", "", "", 640, 480, 169, 127};
  ASSERT_TRUE(WriteCalibration(ini, primary, reason)) << reason;
  ASSERT_TRUE(WriteScreenCalibration(ini, MonitorKey(elsewhere), other, 640, 480, reason))
      << reason;
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  QScreen* screen = app.widget->screen();
  ASSERT_TRUE(screen);
  ASSERT_EQ(screen, QGuiApplication::primaryScreen());
  KovalindraDoc& doc = app.parts->Doc();
  EXPECT_TRUE(doc.OnPrimaryScreen());
  EXPECT_EQ(doc.Calibration(), primary);
  // The five keys were tied to the screen they were read on.
  EXPECT_EQ(platform::GetPrivateProfileString(kSettingsSection, kMonitorKeyName, "", ini, 256)
                .rfind(MonitorKey(ScreenIdOf(screen)) + "@", 0),
            0u);
  // Whatever the window last heard, its screen's changes and a move bring
  // back the screen it is really on, and pane 1 follows.
  auto away = [&] {
    app.View().OnScreenChanged(elsewhere, ScreenIdOf(screen), std::nullopt);
    ASSERT_EQ(doc.Calibration(), other);
    app.frame->DispatchCommand(c::kNextPoint);
    ASSERT_EQ(app.Pane(1), QString::fromUtf8("倍率:等倍(2.00)"));
  };
  away();
  emit screen->geometryChanged(screen->geometry());
  EXPECT_TRUE(doc.OnPrimaryScreen());
  EXPECT_EQ(doc.Calibration(), primary);
  EXPECT_EQ(app.Pane(1), QString::fromUtf8("倍率:等倍(1.00)"));
  away();
  emit screen->logicalDotsPerInchChanged(screen->logicalDotsPerInch());
  EXPECT_EQ(doc.Calibration(), primary);
  away();
  QEvent moved(QEvent::ScreenChangeInternal);
  QApplication::sendEvent(app.widget, &moved);
  EXPECT_EQ(doc.Calibration(), primary);
  EXPECT_DOUBLE_EQ(app.View().Scale().zoom, 1.0);
}

// Run with two screens (the offscreen platform's configuration, see the
// tests' CMakeLists): A, the primary, calibrated; B, of pixel ratio 2, not.
// The window is moved between them and the real screen signals decide.
TEST(ViewerGui, TwoScreensEachWithItsOwnCalibration) {
  const QList<QScreen*> screens = QGuiApplication::screens();
  if (screens.size() < 2) GTEST_SKIP() << "one screen";
  QScreen* a = QGuiApplication::primaryScreen();
  QScreen* b = screens[0] == a ? screens[1] : screens[0];
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {MakeRegistration(1000, 1000, 1400, 1000, 100)}));
  std::string reason;
  // A: 100 mm over 400 device pixels, close to what it reports.
  const DisplayCalibration onA{100, 500, 100 + int(std::lround(100 / (a->physicalSize().width() /
                                                                 (a->geometry().width() *
                                                                  a->devicePixelRatio())))),
                               500, 100};
  ASSERT_TRUE(WriteCalibration(dir.File("Kovalindra.ini"), onA, reason)) << reason;
  App app(dir.Folder());
  app.frame->windowHandle()->setScreen(a);
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  KovalindraDoc& doc = app.parts->Doc();
  ASSERT_EQ(app.widget->screen(), a);
  EXPECT_EQ(doc.Calibration(), onA);
  app.frame->DispatchCommand(c::kNextPoint);
  EXPECT_TRUE(app.Pane(1).startsWith(QString::fromUtf8("倍率:等倍(")));
  EXPECT_EQ(app.Pane(1).indexOf(QString::fromUtf8("推定")), -1);
  app.View().ApplyZoom(1234, 888);
  const double onAZoom = app.View().Scale().zoom;
  const double px = app.View().Scale().WindowCentrePhotoX();
  const double py = app.View().Scale().WindowCentrePhotoY();

  // To B: never A's calibration; B's own report, marked; the same photo
  // point in the window's middle, at B's pixel ratio.
  app.frame->windowHandle()->setScreen(b);
  QApplication::processEvents();
  ASSERT_EQ(app.widget->screen(), b);
  EXPECT_TRUE(IsUncalibrated(doc.Calibration()));
  EXPECT_EQ(doc.ScreenCalibrationState(), CalibrationState::Uncalibrated);
  EXPECT_TRUE(app.View().IsRealSize());
  EXPECT_TRUE(app.Pane(1).startsWith(QString::fromUtf8("倍率:等倍(推定 ")));
  EXPECT_EQ(app.Pane(2), QString::fromUtf8(app.View().CalibrationNote().c_str()));
  const double ratio = b->devicePixelRatio();
  EXPECT_EQ(app.View().Scale().clientWidth, std::lround(app.widget->width() * ratio));
  const double bMm = EstimateFromScreen(b->physicalSize().width(), b->physicalSize().height(),
                                        int32_t(std::lround(b->geometry().width() * ratio)),
                                        int32_t(std::lround(b->geometry().height() * ratio)))
                         .value_or(FallbackMmPerDevicePixel(ratio));
  EXPECT_DOUBLE_EQ(app.View().Scale().mmPerScreenPixel, bMm);
  EXPECT_NEAR(app.View().Scale().WindowCentrePhotoX(), px, 1.0);
  EXPECT_NEAR(app.View().Scale().WindowCentrePhotoY(), py, 1.0);

  // Back to A: its calibration and scale again, the point still in the middle.
  app.frame->windowHandle()->setScreen(a);
  QApplication::processEvents();
  EXPECT_EQ(doc.Calibration(), onA);
  EXPECT_DOUBLE_EQ(app.View().Scale().zoom, onAZoom);
  EXPECT_NEAR(app.View().Scale().WindowCentrePhotoX(), px, 1.0);
  EXPECT_NEAR(app.View().Scale().WindowCentrePhotoY(), py, 1.0);
  EXPECT_EQ(app.Pane(1).indexOf(QString::fromUtf8("推定")), -1);
}

TEST(ViewerGui, ZoomCommandsFollowTheTable) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, {}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  app.View().MutableScale().zoom = 1.5;
  EXPECT_TRUE(app.frame->QueryCommand(c::kZoomIn).enabled);
  app.frame->DispatchCommand(c::kZoomIn);
  EXPECT_EQ(app.View().Scale().zoom, 1.75);
  EXPECT_EQ(app.Pane(1), QString::fromUtf8("倍率:1.75"));
  app.View().MutableScale().zoom = 4.0;
  EXPECT_FALSE(app.frame->QueryCommand(c::kZoomIn).enabled);
  app.View().MutableScale().zoom = 0.125;
  EXPECT_FALSE(app.frame->QueryCommand(c::kZoomOut).enabled);
  app.frame->DispatchCommand(c::kShowWhole);
  EXPECT_TRUE(app.frame->QueryCommand(c::kShowWhole).checked);
  // No registrations: real size is not offered, nor are its points.
  EXPECT_FALSE(app.frame->QueryCommand(c::kRealSize).enabled);
  EXPECT_FALSE(app.frame->QueryCommand(c::kNextPoint).enabled);
}

TEST(ViewerGui, LengthDialogRefusesWhatIsNotALength) {
  RecordingMessages m;
  DisplaySizeDialog dialog(&m);
  EXPECT_EQ(dialog.Edit()->text(), "210");
  for (const char* bad : {"0", "-5", "abc", "1000001", ""}) {
    dialog.Edit()->setText(bad);
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << bad;
  }
  EXPECT_EQ(m.shown.size(), 5u);
  EXPECT_NE(m.shown.back().find("０～９"), std::string::npos) << m.shown.back();
  dialog.Edit()->setText(" 150 ");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.SizeMm(), 150);
  // Full-width digits as an input method types them.
  DisplaySizeDialog wide(&m);
  wide.Edit()->setText(QString::fromUtf8("１５０"));
  wide.accept();
  EXPECT_EQ(wide.result(), QDialog::Accepted);
  EXPECT_EQ(wide.SizeMm(), 150);
  // Typed as a user types: digits go into the length, Enter takes them.
  DisplaySizeDialog typed(&m);
  typed.show();
  QApplication::setActiveWindow(&typed);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&typed));
  QTest::keyClicks(QApplication::focusWidget(), "100");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(typed.result(), QDialog::Accepted);
  EXPECT_EQ(typed.SizeMm(), 100);
}

// A wheel turn as the window system delivers it, at the view's centre.
void Wheel(QWidget* w, int delta, Qt::KeyboardModifiers mods = {}) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

TEST(ViewerGui, WheelKeysAndFullScreenKeepTheScaleHonest) {
  TempDir dir;
  const RegistrationList regs = {MakeRegistration(100, 100, 500, 100, 100),
                                 MakeRegistration(100, 300, 300, 300, 100)};
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, regs, 0));
  WriteKvi(dir.File("b.kvi"), MakeKvi(2000, 1500, {MakeRegistration(0, 0, 400, 0, 50)}, 1));
  {
    std::ofstream(dir.File("c.kvi"), std::ios::binary) << "broken";
  }
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  app.widget->setFocus();
  KovalindraView& v = app.View();
  v.MutableScale().zoom = 1.0;
  v.ApplyZoom(1500, 1000);
  Wheel(app.widget, 120);
  EXPECT_EQ(v.Scale().zoom, 1.25);
  EXPECT_EQ(app.Pane(1), QString::fromUtf8("倍率:1.25"));
  Wheel(app.widget, -120, Qt::ControlModifier);
  Wheel(app.widget, -120, Qt::ShiftModifier);
  EXPECT_EQ(v.Scale().zoom, 1.25);
  for (int i = 0; i < 5; ++i) Wheel(app.widget, -24);  // a touchpad: one notch in five
  EXPECT_EQ(v.Scale().zoom, 1.0);
  // Keys.
  const int32_t ox = v.Scale().originX;
  QTest::keyClick(app.widget, Qt::Key_Right);
  EXPECT_EQ(v.Scale().originX, ox + v.Scale().visibleWidth / 10);
  QTest::keyClick(app.widget, Qt::Key_Plus);
  EXPECT_EQ(v.Scale().zoom, 1.25);
  QTest::keyClick(app.widget, Qt::Key_Minus);
  EXPECT_EQ(v.Scale().zoom, 1.0);
  // F11 to full screen: the client grows, the scale does not.
  app.frame->DispatchCommand(c::kRealSize);
  const double real = v.Scale().zoom;
  const QRect placed = app.frame->geometry();
  QTest::keyClick(app.widget, Qt::Key_F11);
  EXPECT_TRUE(app.frame->IsFullScreen());
  QApplication::processEvents();
  EXPECT_EQ(v.Scale().zoom, real);
  EXPECT_TRUE(app.frame->QueryCommand(c::kRealSize).checked);
  EXPECT_EQ(app.widget->DeviceSize().width(), v.Scale().clientWidth);
  QTest::keyClick(app.widget, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_FALSE(app.frame->IsFullScreen());
  EXPECT_EQ(app.frame->geometry(), placed);
  EXPECT_TRUE(app.frame->statusBar()->isVisible());
  EXPECT_EQ(v.Scale().zoom, real);
  // A later point, then Page Down: the next file at its own first point.
  app.frame->DispatchCommand(c::kNextPoint);
  EXPECT_EQ(app.parts->Doc().currentPoint, 1);
  QTest::keyClick(app.widget, Qt::Key_PageDown);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 2000);
  EXPECT_EQ(app.parts->Doc().currentPoint, 0);
  EXPECT_DOUBLE_EQ(v.Scale().realSizeZoom, (50.0 / 400.0) / v.Scale().mmPerScreenPixel);
  // Page Down onto the broken file and past it, then back the other way.
  QTest::keyClick(app.widget, Qt::Key_PageDown);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 2000);
  EXPECT_TRUE(app.Pane(0).contains("c.kvi"));
  QTest::keyClick(app.widget, Qt::Key_PageDown);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 3000);  // wrapped to a
  QTest::keyClick(app.widget, Qt::Key_PageUp);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 3000);  // c again, refused
  QTest::keyClick(app.widget, Qt::Key_PageUp);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 2000);
  QTest::keyClick(app.widget, Qt::Key_Home);
  app.Settle();
  EXPECT_EQ(app.parts->View().Scale().photoWidth, 3000);
  EXPECT_TRUE(app.frame->windowTitle().contains("a.kvi"));
}

TEST(ViewerGui, ContextMenuRectangleAndCornerIcons) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {MakeRegistration(100, 100, 500, 100, 100)}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  KovalindraView& v = app.View();
  // The menu key opens the context menu at the view with the items' states.
  QStringList checked, greyed;
  QPoint shownAt;
  int menuHeight = 0;
  QTimer::singleShot(0, [&] {
    QMenu* m = app.frame->ContextMenu();
    shownAt = m->pos();
    menuHeight = m->height();
    for (QAction* a : m->actions()) {
      if (a->isChecked()) checked << a->text();
      if (!a->isEnabled()) greyed << a->text();
    }
    m->close();
  });
  // What the window system sends for the keyboard's menu key.
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(-1, -1), QPoint(-1, -1));
  QApplication::sendEvent(app.widget, &key);
  // At the view, not at the screen's corner. A screen too short for the
  // whole menu below that point lifts it; then only its left edge tells.
  const QRect view(app.widget->mapToGlobal(QPoint(0, 0)), app.widget->size());
  const bool lifted = shownAt.y() + menuHeight >= app.widget->screen()->geometry().bottom();
  EXPECT_TRUE(lifted ? view.left() < shownAt.x() && shownAt.x() <= view.right()
                     : view.contains(shownAt))
      << shownAt.x() << "," << shownAt.y();
  EXPECT_TRUE(checked.contains(QString::fromUtf8("全体を表示(&I)")));
  EXPECT_TRUE(checked.contains(QString::fromUtf8("ﾏｳｽでｽｸﾛｰﾙ(&S)")));
  EXPECT_TRUE(checked.contains(QString::fromUtf8("ｳｨﾝﾄﾞｩ表示(&W)")));
  EXPECT_TRUE(checked.contains(QString::fromUtf8("ﾂｰﾙﾎﾞｯｸｽの表示/非表示(&M)")));
  EXPECT_FALSE(checked.contains(QString::fromUtf8("原寸大で表示(&E)")));
  for (const char* on : {"拡大(&U)", "縮小(&D)", "原寸大で表示(&E)", "原寸大表示ﾎﾟｲﾝﾄ次へ(&N)"})
    EXPECT_FALSE(greyed.contains(QString::fromUtf8(on))) << on;
  EXPECT_TRUE(greyed.contains(QString::fromUtf8("次の画像表示(&A)")));  // one file in the folder

  // Zoom mode: a drag shows a dotted band over the photo, the release fits it.
  app.frame->DispatchCommand(c::kMouseZoom);
  v.MutableScale().zoom = 1.0;
  v.ApplyZoom(1500, 1000);
  const double r = app.widget->Ratio();
  const QPoint from(100, 100), to(140, 130);
  QTest::mousePress(app.widget, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), app.widget->mapToGlobal(QPointF(to)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(app.widget, &move);
  const int rebuilds = v.DisplayRebuilds();
  QImage img = app.Frame();
  EXPECT_EQ(v.DisplayRebuilds(), rebuilds);
  int black = 0, white = 0;
  const int top = int(std::floor(from.y() * r));
  for (int x = int(from.x() * r); x < int(to.x() * r); ++x) {
    black += IsColor(img, x, top, 0, 0, 0);
    white += IsColor(img, x, top, 255, 255, 255);
  }
  EXPECT_GT(black, 10);
  EXPECT_GT(white, 10);
  QTest::mouseRelease(app.widget, Qt::LeftButton, {}, to);
  // 40 x 30 logical pixels: the scale that fits them into the client.
  EXPECT_NEAR(v.Scale().zoom,
              std::min(v.Scale().clientWidth / (40 * r), v.Scale().clientHeight / (30 * r)), 0.5);
  EXPECT_FALSE(v.SelectionRect());

  // Hiding the toolbox shows the corner icons; the return icon shows the whole photo.
  app.frame->DispatchCommand(c::kToolbox);
  EXPECT_FALSE(app.frame->QueryCommand(c::kToolbox).checked);
  img = app.Frame();
  const ClientRect ret = v.ReturnIconRect();
  EXPECT_FALSE(IsColor(img, (ret.left + ret.right) / 2, (ret.top + ret.bottom) / 2, 255, 255, 255));
  QTest::mouseClick(app.widget, Qt::LeftButton, {}, QPoint(26, 26));
  EXPECT_TRUE(app.frame->QueryCommand(c::kToolbox).checked);
  EXPECT_TRUE(app.frame->QueryCommand(c::kShowWhole).checked);
  EXPECT_EQ(app.Pane(1), QString::fromUtf8(DoubleToText(v.Scale().zoom).c_str()));
}

TEST(ViewerGui, MeasuringDrawsTheLengthOnThePhotoAndCtrlCCopiesIt) {
  TempDir dir;
  // 500 photo pixels of 250 mm: half a millimetre per photo pixel.
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {MakeRegistration(100, 100, 600, 100, 250)}));
  // Calibrated, so no welcome panel stands over the photo.
  std::string reason;
  ASSERT_TRUE(WriteCalibration(dir.File("Kovalindra.ini"), {100, 500, 400, 500, 210}, reason));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  KovalindraView& v = app.View();
  // Chosen from the context menu by its mnemonic.
  QTimer::singleShot(0, [&] {
    QMenu* m = app.frame->ContextMenu();
    QTest::keyClick(m, Qt::Key_K);
    if (m->isVisible()) m->close();  // no such item: fail below, do not hang
  });
  app.frame->ShowContextMenu(app.widget->mapToGlobal(QPoint(300, 300)));
  ASSERT_TRUE(app.frame->QueryCommand(c::kMouseMeasure).checked);
  EXPECT_FALSE(app.frame->QueryCommand(c::kMouseScroll).checked);
  EXPECT_EQ(app.Pane(2), QString::fromUtf8("計測: ｻｲｽﾞ情報 1 (250 mm) の縮尺"));
  EXPECT_FALSE(app.frame->QueryCommand(c::kEditCopy).enabled);  // nothing measured yet
  v.MutableScale().zoom = 1.0;
  v.ApplyZoom(0, 0);

  const double r = app.widget->Ratio();
  const QPoint from(60, 200), to(260, 200);
  QTest::mouseMove(app.widget, from);
  EXPECT_EQ(app.widget->cursor().hotSpot(), QPoint(15, 15));  // the crosshair
  QTest::mousePress(app.widget, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(160, 200), app.widget->mapToGlobal(QPointF(160, 200)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(app.widget, &move);
  QTest::mouseRelease(app.widget, Qt::LeftButton, {}, to);
  // At scale 1.0 a device pixel is a photo pixel.
  const int x1 = int(std::floor(from.x() * r)), x2 = int(std::floor(to.x() * r));
  const int y = int(std::floor(from.y() * r));
  const std::string expected =
      MeasureCaption(Measurement{{double(x1), double(y)}, {double(x2), double(y)}},
                     v.CurrentMeasureScale());
  EXPECT_NE(expected.find(" mm ("), std::string::npos);
  EXPECT_EQ(v.LastMeasureText(), expected);

  // The line is on the picture in the measuring colour, all along.
  auto measured = [&](const QImage& img) {
    int n = 0;
    for (int x = x1 + 8; x < x2 - 8; ++x) n += IsColor(img, x, y, 255, 110, 0);
    return n;
  };
  QImage img = app.Frame();
  EXPECT_EQ(measured(img), x2 - x1 - 16);
  // Its caption sits above it, dark text on white.
  int dark = 0;
  for (int yy = y - int(30 * r); yy < y - int(4 * r); ++yy)
    for (int x = (x1 + x2) / 2 - int(20 * r); x < (x1 + x2) / 2 + int(20 * r); ++x)
      dark += At(img, x, yy).lightness() < 100;
  EXPECT_GT(dark, 10);

  // Ctrl+C puts it on the clipboard.
  QApplication::setActiveWindow(app.frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(app.frame.get()));
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(app.widget, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
  // Esc takes it off the photo; leaving the mode empties the pane.
  QTest::keyClick(app.widget, Qt::Key_Escape);
  EXPECT_EQ(measured(app.Frame()), 0);
  EXPECT_FALSE(app.frame->QueryCommand(c::kEditCopy).enabled);
  app.frame->DispatchCommand(c::kMouseScroll);
  EXPECT_TRUE(app.Pane(2).isEmpty());
  EXPECT_FALSE(app.parts->Doc().IsModified());
}

TEST(ViewerGui, ToolboxNavigatorButtonsAndPlace) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(480, 240, {MakeRegistration(0, 120, 480, 120, 100)}));
  App app(dir.Folder(), QSize(800, 600), RectToText(30, 40, 300, 280));
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  ToolboxWindow* box = app.parts->Toolbox();
  ASSERT_TRUE(box);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->frameGeometry().topLeft(), QPoint(30, 40));  // from the profile
  EXPECT_EQ(box->windowTitle().toStdString(), dir.File("a.kvi"));
  KovalindraView& v = app.View();
  // The navigator: the thumbnail at the screen's density, the line across it.
  const QImage nav = box->ComposeNavigator();
  EXPECT_EQ(nav.width(), std::lround(240 * app.widget->Ratio()));
  // A press and drag move the view; out of the square it waits; the release clamps.
  v.MutableScale().zoom = 4.0;
  v.ApplyZoom(0, 0);
  NavigatorWidget* n = box->Navigator();
  QTest::mousePress(n, Qt::LeftButton, {}, QPoint(120, 120));
  const int32_t cx = v.Scale().CentreX();
  EXPECT_NEAR(cx, 240, 2);
  QMouseEvent out(QEvent::MouseMove, QPointF(300, 300), n->mapToGlobal(QPointF(300, 300)),
                  Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(n, &out);
  EXPECT_EQ(v.Scale().CentreX(), cx);
  QTest::mouseRelease(n, Qt::LeftButton, {}, QPoint(239, 239));
  EXPECT_EQ(v.Scale().originX, std::max(0, 480 - v.Scale().visibleWidth));
  EXPECT_EQ(v.Scale().originY, std::max(0, 240 - v.Scale().visibleHeight));
  // Buttons are the commands: zoom out, guides (pushed while shown), reset.
  QTest::mouseClick(box->Button(toolbox::kZoomOut), Qt::LeftButton);
  EXPECT_EQ(v.Scale().zoom, 3.75);
  QTest::mouseClick(box->Button(toolbox::kGuides), Qt::LeftButton);
  EXPECT_TRUE(v.showGuides);
  EXPECT_TRUE(box->Button(toolbox::kGuides)->isChecked());
  QTest::mouseClick(box->Button(toolbox::kResetView), Qt::LeftButton);
  EXPECT_TRUE(v.IsWhole());
  EXPECT_TRUE(box->Button(toolbox::kResetView)->isChecked());
  QTest::mouseClick(box->Button(toolbox::kRealSize), Qt::LeftButton);
  EXPECT_TRUE(v.IsRealSize());
  EXPECT_FALSE(box->Button(toolbox::kResetView)->isChecked());
  // Enter leaves it open; Esc hides it and the corner icons appear.
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_TRUE(box->isVisible());
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_FALSE(box->isVisible());
  EXPECT_TRUE(v.ShowsHotIcons());
  EXPECT_FALSE(app.frame->QueryCommand(c::kToolbox).checked);
  app.frame->DispatchCommand(c::kToolbox);
  EXPECT_TRUE(box->isVisible());
  // The place goes back to the profile when the program ends.
  box->move(50, 60);
  app.parts->OnFrameClosing();
  const Rect saved = TextToRect(app.frame->Profile().GetString("settings", "DlgMenu", ""));
  EXPECT_EQ(QPoint(saved.left, saved.top), box->frameGeometry().topLeft());

  // A place off every screen is not used: the default one is.
  App other(dir.Folder(), QSize(640, 480), RectToText(-30000, -30000, -29700, -29700));
  const QPoint at = other.parts->Toolbox()->pos();
  if (platform::IsPointOnAnyScreen(640, 0))
    EXPECT_EQ(other.parts->Toolbox()->frameGeometry().topLeft(), QPoint(640, 0));
  else  // a small screen: beside the main window, still on the screen
    EXPECT_TRUE(platform::IsPointOnAnyScreen(at.x(), at.y()));
}

// Where a key goes now: the focus of the active window, as the desktop
// would deliver it.
void KeyToActiveWindow(int key) {
  QWindow* w = QGuiApplication::focusWindow();
  ASSERT_TRUE(w);
  QTest::keyClick(w, Qt::Key(key));
}

bool ShowsCursor(const QWidget* w, ViewerCursorId id, double ratio) {
  return w->cursor().pixmap().toImage() == ViewerCursor(id, ratio).pixmap().toImage();
}

TEST(ViewerGui, KeysStayWithTheViewAfterToolboxButtonsMenusAndAlt) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {}));
  // The toolbox was left with only a sliver on the screen: not used.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  App app(dir.Folder(), QSize(800, 600),
          RectToText(screen.right() - 19, screen.bottom() - 9, screen.right() + 300,
                     screen.bottom() + 300));
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  ToolboxWindow* box = app.parts->Toolbox();
  ASSERT_TRUE(box);
  EXPECT_TRUE(platform::IsTitleAreaOnAnyScreen(box->frameGeometry()));
  KovalindraView& v = app.View();
  // A click on a toolbox button makes the toolbox the active window; the
  // keys come back to the view all the same.
  box->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(box));
  const double before = v.Scale().zoom;
  QTest::mouseClick(box->Button(toolbox::kZoomIn), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == app.frame.get(); }));
  EXPECT_GT(v.Scale().zoom, before);
  const double zoomed = v.Scale().zoom;
  KeyToActiveWindow(Qt::Key_Plus);
  EXPECT_GT(v.Scale().zoom, zoomed);
  // An Alt tap in zoom mode: the minus cursor while it is down, the plus
  // cursor back when it is up, also when the menu bar takes the release
  // (and the keys with it, as an Alt tap does).
  app.frame->DispatchCommand(c::kMouseZoom);
  QCursor::setPos(app.widget->mapToGlobal(QPoint(200, 200)));
  const double r = app.widget->Ratio();
  QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);  // the state before it
  QKeyEvent altUp(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
  QApplication::sendEvent(app.widget, &altDown);
  EXPECT_TRUE(ShowsCursor(app.widget, ViewerCursorId::ZoomOut, r));
  QApplication::sendEvent(app.widget, &altUp);
  EXPECT_TRUE(ShowsCursor(app.widget, ViewerCursorId::ZoomIn, r));
  QApplication::sendEvent(app.widget, &altDown);
  app.frame->menuBar()->setFocus();
  EXPECT_TRUE(ShowsCursor(app.widget, ViewerCursorId::ZoomIn, r));
  app.frame->DispatchCommand(c::kMouseScroll);
  // Esc on an open menu: one Esc closes it and the keys are the view's again.
  app.widget->setFocus();
  QMenu* menu = app.frame->menuBar()->actions()[1]->menu();
  app.frame->menuBar()->setActiveAction(menu->menuAction());
  ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
  QTest::keyClick(menu, Qt::Key_Escape);
  QTest::qWait(50);
  EXPECT_EQ(app.frame->focusWidget(), app.widget);
  const double atMenu = v.Scale().zoom;
  QTest::keyClick(app.frame->windowHandle(), Qt::Key_Minus);
  EXPECT_LT(v.Scale().zoom, atMenu);
}

TEST(ViewerGui, TheOpenDialogStartsWithThePatternAndNamesKviFilesItself) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(200, 100, {}));
  std::unique_ptr<QFileDialog> dialog =
      MakePhotoOpenDialog(nullptr, QString::fromStdString(dir.Folder()));
  auto* model = dialog->findChild<QFileSystemModel*>();
  ASSERT_TRUE(model);
  bool loaded = false;
  QObject::connect(model, &QFileSystemModel::directoryLoaded, [&] { loaded = true; });
  dialog->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 10000));
  QApplication::processEvents();
  const QModelIndex a = model->index(QString::fromStdString(dir.File("a.kvi")));
  ASSERT_TRUE(a.isValid());
  EXPECT_EQ(model->data(a.siblingAtColumn(2)).toString().toStdString(), "kviﾌｧｲﾙ");
  auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->text().toStdString(), "*.kvi");
  // Every column wide enough for what it shows.
  auto* tree = dialog->findChild<QTreeView*>("treeView");
  ASSERT_TRUE(tree);
  const QString type = QString::fromUtf8("kviﾌｧｲﾙ");
  EXPECT_GE(tree->columnWidth(2), tree->fontMetrics().horizontalAdvance(type));
  dialog->reject();
}

TEST(ViewerGui, BrightnessFollowsTheSliderAndCancelRestores) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, {}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  KovalindraView& v = app.View();
  auto centre = [&] {
    const QImage img = app.Frame();
    return At(img, 40, img.height() - 40).lightness();  // clear of the welcome panel
  };
  const int plain = centre();
  int during = -1;
  app.onAdjust = [&](AdjustDialog& d) {
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("調整"));
    d.Slider()->setValue(80);
    EXPECT_EQ(d.ValueEdit()->text(), "80");
    during = centre();
    d.reject();
  };
  app.frame->DispatchCommand(c::kBrightness);
  EXPECT_GT(during, plain + 40);  // live while the dialog is open
  EXPECT_EQ(v.Brightness(), 0);   // cancelled: as it was
  EXPECT_EQ(centre(), plain);
  app.onAdjust = [&](AdjustDialog& d) {
    QTest::keyClick(d.Slider(), Qt::Key_End);  // the far end, 100
    d.accept();
  };
  app.frame->DispatchCommand(c::kContrast);
  EXPECT_EQ(v.Contrast(), 100);
  app.onAdjust = [&](AdjustDialog& d) {
    EXPECT_EQ(d.Slider()->value(), 100);  // reopens at the confirmed value
    d.accept();
  };
  app.frame->DispatchCommand(c::kContrast);
  // Another photo keeps the values; the file is never touched.
  EXPECT_EQ(v.Contrast(), 100);
}

// On paper the registration's own scale counts, never the monitor's: a
// sideways photo larger than the sheet, shown at real size, exported and
// printed; the pages rasterised at 300 dpi and measured.
TEST(ViewerGui, PrintAndPdfPutTheRegistrationAtItsRealLengthAroundTheViewsCentre) {
  namespace t = kv::testing;
  constexpr int kDpi = 300;
  TempDir dir;
  // Stored 3000 x 2000 and turned a quarter clockwise: upright 2000 x 3000
  // at 0.1 mm a pixel, 200 x 300 mm, more than an A4 sheet either way.
  ActualSizeFile f = MakeKvi(10, 10, {MakeRegistration(1200, 800, 1700, 800, 50)});
  f.jpegBytes = t::WithExif(
      EncodeJpeg(t::MarkedPhoto(3000, 2000, {{1200, 800, t::Mark::kRed}, {1700, 800, t::Mark::kBlue}}),
                 90),
      6, false);
  WriteKvi(dir.File("side.kvi"), f);
  WriteKvi(dir.File("bare.kvi"), MakeKvi(300, 200, {}));

  App app(dir.Folder());
  // Nothing to print before a photo is open.
  EXPECT_FALSE(app.frame->QueryCommand(c::kPrint).enabled);
  EXPECT_FALSE(app.frame->QueryCommand(c::kExportPdf).enabled);
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("side.kvi"))));
  app.Settle();
  app.frame->DispatchCommand(c::kRealSize);
  const ViewScale& s = app.View().Scale();
  ASSERT_EQ(s.photoWidth, 2000);
  // The page is centred on the photo point in the middle of the window:
  // with white beside a photo narrower than the window that is the
  // photo's middle, not the middle of the visible part.
  const int32_t cx = int32_t(std::lround(s.WindowCentrePhotoX()));
  const int32_t cy = int32_t(std::lround(s.WindowCentrePhotoY()));
  if (s.offsetX > 0) {
    EXPECT_NEAR(cx, 1000, 1);
  }
  // The marks upright, and where a page centred on the view puts them.
  int32_t rx = 1200, ry = 800, bx = 1700, by = 800;
  StoredToShown(6, {3000, 2000}, rx, ry);
  StoredToShown(6, {3000, 2000}, bx, by);
  auto measure = [&](const std::string& pdf, const print::PageSpec& page) {
    SCOPED_TRACE(pdf);
    const print::PageLayout l = print::LayOutPage(page, 0.1, 2000, 3000, cx, cy);
    ASSERT_EQ(l.refusal, print::Refusal::kNone);
    ASSERT_LT(l.crop.height, 3000);  // cropped, not shrunk
    auto at = [&](int32_t x, int32_t y) {
      return t::Point{t::PixelsFor(l.photo.x + (x - l.crop.x + 0.5) * 0.1, kDpi),
                      t::PixelsFor(l.photo.y + (y - l.crop.y + 0.5) * 0.1, kDpi)};
    };
    std::string why;
    const auto raster = t::RasterisePdf(pdf, kDpi, why);
    ASSERT_TRUE(raster) << why;
    const auto red = t::FindMark(*raster, t::Mark::kRed, at(rx, ry), 40);
    const auto blue = t::FindMark(*raster, t::Mark::kBlue, at(bx, by), 40);
    ASSERT_TRUE(red && blue);
    EXPECT_NEAR(t::Distance(*red, *blue), t::PixelsFor(50, kDpi), 2);
    EXPECT_NEAR(t::DarkSpan(*raster, int(t::PixelsFor(l.scaleBar.y + 1, kDpi))),
                t::PixelsFor(100, kDpi), 2);
  };

  app.choosePdf = dir.File("side.pdf");
  app.frame->DispatchCommand(c::kExportPdf);
  EXPECT_TRUE(app.messages.shown.empty());
  EXPECT_TRUE(app.Pane(0).contains("side.pdf"));
  const bool landscape = print::PrefersLandscape(print::PaperSize::kA4, 0.1, 2000, 3000);
  measure(dir.File("side.pdf"), print::PdfPage(print::PaperSize::kA4, landscape));

  // Ctrl+P, with the printer writing a file at its own resolution, on the
  // sheet and margins it reports.
  std::optional<QPageLayout> printerPage;
  app.setUpPrinter = [&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(QString::fromStdString(dir.File("printed.pdf")));
    printerPage = p.pageLayout();
    return true;
  };
  QApplication::setActiveWindow(app.frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(app.frame.get()));
  QTest::keyClick(app.widget, Qt::Key_P, Qt::ControlModifier);
  ASSERT_TRUE(printerPage);
  EXPECT_TRUE(app.messages.shown.empty());
  const QRectF full = printerPage->fullRect(QPageLayout::Millimeter);
  const QRectF paint = printerPage->paintRect(QPageLayout::Millimeter);
  measure(dir.File("printed.pdf"),
          {full.width(), full.height(), {paint.x(), paint.y(), paint.width(), paint.height()}});

  // A photo without a registration: told why, before any dialog, no file.
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("bare.kvi"))));
  app.Settle();
  EXPECT_TRUE(app.frame->QueryCommand(c::kExportPdf).enabled);
  printerPage.reset();
  app.choosePdf = dir.File("bare.pdf");
  app.pdfAsked = 0;
  app.frame->DispatchCommand(c::kExportPdf);
  app.frame->DispatchCommand(c::kPrint);
  EXPECT_EQ(app.pdfAsked, 0);
  EXPECT_FALSE(printerPage);
  EXPECT_FALSE(std::filesystem::exists(dir.File("bare.pdf")));
  ASSERT_EQ(app.messages.shown.size(), 2u);
  EXPECT_EQ(app.messages.shown[0].rfind("PDFに出力できません。\rこの写真にはｻｲｽﾞ登録", 0), 0u);
  EXPECT_EQ(app.messages.shown[1].rfind("実寸で印刷できません。\r", 0), 0u);
}

// The PDF and a print to a file are written like every other file: a link
// is kept and its target written; a read-only file is refused, said so,
// and left byte for byte.
TEST(ViewerGui, PdfAndPrintToFileFollowLinksAndRefuseReadOnlyFiles) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(800, 600, {MakeRegistration(100, 100, 500, 100, 100)}));
  App app(dir.Folder());
  ASSERT_TRUE(app.frame->OpenDocumentFile(QString::fromStdString(dir.File("a.kvi"))));
  app.Settle();
  std::filesystem::create_directory(dir.File("real"));
  auto bytes = [](const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto printTo = [&](const std::string& path) {
    app.setUpPrinter = [path](QPrinter& p) {
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(QString::fromStdString(path));
      return true;
    };
    app.frame->DispatchCommand(c::kPrint);
  };
  auto exportTo = [&](const std::string& path) {
    app.choosePdf = path;
    app.frame->DispatchCommand(c::kExportPdf);
  };
  for (const auto& [what, write] :
       {std::pair<const char*, std::function<void(const std::string&)>>{"pdf", exportTo},
        {"print", printTo}}) {
    SCOPED_TRACE(what);
    const std::string target = dir.File(std::string("real/") + what + ".pdf");
    const std::string link = dir.File(std::string(what) + ".pdf");
    { std::ofstream(target) << "old"; }
    std::filesystem::create_symlink(target, link);
    app.messages.shown.clear();
    write(link);
    EXPECT_TRUE(app.messages.shown.empty());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(bytes(target).rfind("%PDF-", 0), 0u);
    // Read-only: refused with the reason, not one byte changed.
    const std::string kept = bytes(target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
    for (const std::string& path : {target, link}) {
      app.messages.shown.clear();
      write(path);
      ASSERT_EQ(app.messages.shown.size(), 1u);
      EXPECT_NE(app.messages.shown[0].find("読み取り専用"), std::string::npos);
      EXPECT_EQ(bytes(target), kept);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
  }
}

}  // namespace
}  // namespace kv::viewer
