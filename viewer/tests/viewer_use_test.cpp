// Faults found by using the viewer: what a drag, a failed step, a pipe, a
// refused file and full screen leave behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <regex>

#include "viewer/model/centre_keeper.h"
#include "viewer/model/measure.h"
#include "viewer/model/open_messages.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"
#include "viewer/tests/test_files.h"

namespace kv::viewer {
namespace {

using testing::MakeKvi;
using testing::RecordingMessages;
using testing::TempDir;
using testing::WriteKvi;

class Host : public ViewHost {
 public:
  void Repaint() override { ++repaints; }
  void SetStatusPaneText(int pane, const std::string& t) override { panes[pane] = t; }
  int repaints = 0;
  std::map<int, std::string> panes;
};

struct Viewer {
  explicit Viewer(const std::string& folder)
      : doc(platform::Services{&messages, nullptr, nullptr}, SettingsLocation{folder, ""}),
        view(doc, &host) {
    view.OnSize(1000, 700);
    view.OnInitialUpdate();
  }
  bool Open(const std::string& path) {
    if (!doc.OpenDocument(path)) return false;
    view.OnInitialUpdate();
    return true;
  }
  std::string LastMessage() const { return messages.shown.empty() ? "" : messages.shown.back(); }
  RecordingMessages messages;
  Host host;
  KovalindraDoc doc;
  KovalindraView view;
};

// The first half of a good file, as a copy in progress leaves it.
void WriteHalf(const std::string& path, const ActualSizeFile& f) {
  const std::vector<uint8_t> bytes = SerializeActualSizeFile(f);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size() / 2));
}

TEST(ViewerUse, TheReleaseOfAScrollDragShowsTheAdjustedPhoto) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {}));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  v.view.SetAdjustment(40, 20);
  v.view.MutableScale().zoom = 2.0;
  v.view.ApplyZoom(1500, 1000);
  v.view.OnLeftButtonDown(500, 300);
  v.view.OnMouseMove(420, 280);
  EXPECT_FALSE(v.view.AdjustsNow());  // the drag shows the plain image
  // Released where the last move was: nothing moved, but the adjusted
  // image must come back at once.
  const int before = v.host.repaints;
  v.view.OnLeftButtonUp(420, 280);
  EXPECT_TRUE(v.view.AdjustsNow());
  EXPECT_GT(v.host.repaints, before);
}

TEST(ViewerUse, AtHighScalesTheDraggedPhotoFollowsEveryDevicePixel) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {}));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  for (double zoom : {8.0, 3.25, 40.0}) {
    SCOPED_TRACE(zoom);
    v.view.MutableScale().zoom = zoom;
    v.view.ApplyZoom(1500, 1000);
    v.view.RenderBackBuffer();
    const Image& back = *v.view.BackBuffer();
    std::vector<uint8_t> before(back.Stride() * size_t(back.Height()));
    for (int32_t y = 0; y < back.Height(); ++y)
      std::memcpy(before.data() + back.Stride() * size_t(y), back.Row(y), back.Stride());
    const PhotoPointF under = PhotoPointAt(v.view.Scale(), 500, 300);
    // A few device pixels left and up, less than one photo pixel.
    v.view.OnLeftButtonDown(500, 300);
    v.view.OnMouseMove(497, 298);
    v.view.OnLeftButtonUp(497, 298);
    const PhotoPointF now = PhotoPointAt(v.view.Scale(), 497, 298);
    EXPECT_NEAR(now.x, under.x, 0.5 / zoom + 1e-9);
    EXPECT_NEAR(now.y, under.y, 0.5 / zoom + 1e-9);
    // The picture moved with the pointer, pixel for pixel.
    v.view.RenderBackBuffer();
    const Image& after = *v.view.BackBuffer();
    int differ = 0;
    for (int32_t y = 100; y < 600; y += 7)
      for (int32_t x = 100; x < 900; x += 11)
        differ += std::memcmp(after.Row(y - 2) + (x - 3) * 4,
                              before.data() + back.Stride() * size_t(y) + x * 4, 3) != 0;
    EXPECT_EQ(differ, 0);
    // The next drag starts from there, not from the whole pixel before it.
    v.view.OnLeftButtonDown(497, 298);
    v.view.OnLeftButtonUp(494, 298);
    EXPECT_NEAR(PhotoPointAt(v.view.Scale(), 494, 298).x, under.x, 0.5 / zoom + 1e-9);
  }
}

TEST(ViewerUse, AnExplicitMoveAfterAFailedStepPutsThePositionOnThePhotoShown) {
  TempDir dir;
  const ActualSizeFile b = MakeKvi(220, 100, {}, 1);
  WriteKvi(dir.File("a.kvi"), MakeKvi(200, 100, {}, 0));
  WriteHalf(dir.File("b.kvi"), b);
  WriteKvi(dir.File("c.kvi"), MakeKvi(240, 100, {}, 2));
  Viewer v(dir.Folder());
  for (const char* move : {"Home", "open", "End"}) {
    SCOPED_TRACE(move);
    ASSERT_TRUE(v.Open(dir.File(std::string(move) == "End" ? "c.kvi" : "a.kvi")));
    WriteHalf(dir.File("b.kvi"), b);
    const int direction = std::string(move) == "End" ? -1 : +1;
    EXPECT_FALSE(v.view.StepPhoto(direction));  // b is still being copied
    EXPECT_NE(v.host.panes[0].find("b.kvi"), std::string::npos);
    WriteKvi(dir.File("b.kvi"), b);  // the copy finished
    if (std::string(move) == "Home")
      EXPECT_FALSE(v.view.StepPhotoToEnd(false));  // a is on show already
    else if (std::string(move) == "End")
      EXPECT_FALSE(v.view.StepPhotoToEnd(true));
    else
      EXPECT_FALSE(v.Open(dir.File("gone.kvi")));
    ASSERT_TRUE(v.view.StepPhoto(direction));
    EXPECT_EQ(v.view.Scale().photoWidth, 220);  // b, not skipped
    // The line about b's failure went with the photo it was shown over.
    EXPECT_EQ(v.host.panes[0], "");
  }
}

TEST(ViewerUse, RefusalsNameTheFileAndSayWhyInTheUsersWords) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(200, 100, {}));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  // A named pipe: refused at once, never waited on.
  ASSERT_EQ(::mkfifo(dir.File("pipe.kvi").c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [&] { return v.doc.OpenDocument(dir.File("pipe.kvi")); });
  if (opened.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    std::ofstream(dir.File("pipe.kvi")) << "x";  // lets the blocked read go
    FAIL() << "opening a pipe waited for a writer";
  }
  EXPECT_FALSE(opened.get());
  EXPECT_NE(v.LastMessage().find("pipe.kvi"), std::string::npos);
  EXPECT_NE(v.LastMessage().find("名前付きﾊﾟｲﾌﾟ"), std::string::npos) << v.LastMessage();
  EXPECT_EQ(v.view.Scale().photoWidth, 200);
  // Missing: said to be missing, not damaged.
  EXPECT_FALSE(v.Open(dir.File("none.kvi")));
  EXPECT_NE(v.LastMessage().find("none.kvi\rﾌｧｲﾙが見つかりません"), std::string::npos) << v.LastMessage();
  EXPECT_EQ(v.LastMessage().find("壊れている"), std::string::npos);
  // A folder named with a trailing '/': its name is on the name line.
  std::filesystem::create_directory(dir.File("photos"));
  EXPECT_FALSE(v.Open(dir.File("photos") + "/"));
  EXPECT_NE(v.LastMessage().find("\rphotos\rﾌｫﾙﾀﾞです"), std::string::npos) << v.LastMessage();
  // A header with a nonsense count: its number is not the user's business.
  const ActualSizeFile good = MakeKvi(200, 100, {});
  std::vector<uint8_t> bytes = SerializeActualSizeFile(good);
  const size_t count = 12 + good.magic.size() + good.formatVersion.size() + good.jpegName.size();
  bytes[count] = 0x01, bytes[count + 1] = 0x02, bytes[count + 2] = 0xFF, bytes[count + 3] = 0xE0;
  std::ofstream(dir.File("bad.kvi"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  EXPECT_FALSE(v.Open(dir.File("bad.kvi")));
  EXPECT_NE(v.LastMessage().find("bad.kvi\rﾌｧｲﾙが壊れているか"), std::string::npos);
  EXPECT_FALSE(std::regex_search(v.LastMessage(), std::regex("[0-9]{4,}"))) << v.LastMessage();
  // A photo that does not decode: the box names the file.
  ActualSizeFile broken = MakeKvi(200, 100, {});
  broken.jpegBytes.resize(broken.jpegBytes.size() / 3);
  std::fill(broken.jpegBytes.begin() + 200, broken.jpegBytes.end(), uint8_t(0x5A));
  WriteKvi(dir.File("jpeg.kvi"), broken);
  // Not taken on: the photo before stays, and the box names the file.
  EXPECT_FALSE(v.Open(dir.File("jpeg.kvi")));
  EXPECT_NE(v.LastMessage().find("写真(JPEG)を表示できませんでした。\rjpeg.kvi\r"), std::string::npos)
      << v.LastMessage();
  EXPECT_EQ(ShownFileName("/a/b/c.kvi"), "c.kvi");
  EXPECT_EQ(ShownFileName("/a/b//"), "b");
  EXPECT_EQ(ShownFileName("c.kvi"), "c.kvi");
}

TEST(ViewerUse, FullScreenAndBackKeepTheCentreAndTheScale) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(3000, 2000, {}));
  Viewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  struct Case {
    double zoom;
    int32_t cx, cy;
  };
  // In the middle; and near the corner at a scale the full screen shows
  // whole, where the larger window clamps the view and the way back must
  // still return to where the user was.
  for (const Case& c : {Case{2.0, 1234, 567}, Case{0.5, 2600, 1500}}) {
    SCOPED_TRACE(c.zoom);
    v.view.MutableScale().zoom = c.zoom;
    v.view.ApplyZoom(c.cx, c.cy);
    const ViewScale before = v.view.Scale();
    v.view.KeepCentreThroughResize();
    v.view.OnSize(1920, 1040);  // the menu bar and status bar go first
    v.view.OnSize(1920, 1080);
    EXPECT_EQ(v.view.Scale().zoom, c.zoom);
    if (c.zoom == 2.0) {
      EXPECT_EQ(CentreOf(v.view.Scale()), CentreOf(before));
    }
    v.view.KeepCentreThroughResize();
    v.view.OnSize(1000, 700);
    EXPECT_EQ(v.view.Scale().zoom, c.zoom);
    EXPECT_EQ(v.view.Scale().originX, before.originX);
    EXPECT_EQ(v.view.Scale().originY, before.originY);
  }
  // Moved by the user in between: the new place is kept, not the old one.
  v.view.MutableScale().zoom = 2.0;
  v.view.ApplyZoom(1500, 1000);
  v.view.KeepCentreThroughResize();
  v.view.OnSize(1920, 1080);
  v.view.ScrollByTenth(1, 0);
  const ViewCentre moved = CentreOf(v.view.Scale());
  v.view.KeepCentreThroughResize();
  v.view.OnSize(1000, 700);
  EXPECT_EQ(CentreOf(v.view.Scale()), moved);
}

}  // namespace
}  // namespace kv::viewer
