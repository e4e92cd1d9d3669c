// The photo session: files read, folders listed and photos decoded on
// workers, the neighbour read ahead and taken over, failures told after the
// delivery. The thread-checking tree runs these repeatedly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "kvi/upright.h"
#include "viewer/model/photo_loader.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"
#include "viewer/tests/test_files.h"

namespace kv::viewer {
namespace {

using testing::BlankPhoto;
using testing::MakeKvi;
using testing::RecordingMessages;
using testing::TempDir;
using testing::WriteKvi;

class RecordingHost : public ViewHost {
 public:
  void Repaint() override { ++repaints; }
  void SetStatusPaneText(int pane, const std::string& t) override {
    if (pane == 0) message = t;
  }
  void TitleChanged() override { ++titles; }
  void PhotoPending(bool p) override { pending = p; }
  int repaints = 0, titles = 0;
  bool pending = false;
  std::string message;
};

const RegistrationList kThree = {MakeRegistration(100, 100, 500, 100, 100),
                                 MakeRegistration(10, 10, 10, 310, 50),
                                 MakeRegistration(700, 500, 790, 590, 30)};

// Holds workers at a stage until released; counts who came by.
class Gate {
 public:
  void Close(WorkerStage stage, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_[{stage, path}] = true;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_.clear();
    changed_.notify_all();
  }
  void Pass(WorkerStage stage, const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++passed_[{stage, path}];
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !closed_[{stage, path}]; });
    --waiting_;
  }
  int Passed(WorkerStage stage, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return passed_[{stage, path}];
  }
  // Someone is held (or has passed) at the stage.
  bool Reached(WorkerStage stage, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return passed_[{stage, path}] > 0;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::pair<WorkerStage, std::string>, bool> closed_;
  std::map<std::pair<WorkerStage, std::string>, int> passed_;
  int waiting_ = 0;
};

// The red of the photo's centre pixel as the display image shows it whole.
uint8_t RedAtCentre(const KovalindraView& view) {
  const ViewScale& s = view.Scale();
  const Image* d = view.DisplayImage();
  const int32_t x = std::min(d->Width() - 1, int32_t(s.photoWidth * s.zoom) / 2);
  const int32_t y = std::min(d->Height() - 1, int32_t(s.photoHeight * s.zoom) / 2);
  return d->Row(y)[x * 4 + 2];
}

// --- decoding on a worker ---

// White with a black square whose top-left corner is (x, y).
ActualSizeFile SquareKvi(int32_t w, int32_t h, int32_t x, int32_t y, RegistrationList regs) {
  DibImage img = BlankPhoto(w, h);
  std::memset(img.pixels.get(), 255, img.byteSize);
  for (int32_t r = y; r < y + 64; ++r) std::memset(img.Row(r) + x * 3, 0, 64 * 3);
  ActualSizeFile f = MakeKvi(8, 8, std::move(regs));
  f.jpegBytes = EncodeJpeg(img, 95);
  return f;
}

// The dark pixels' bounding box in the display image: left, top, right, bottom.
std::array<int32_t, 4> DarkBox(const Image& im) {
  std::array<int32_t, 4> box{im.Width(), im.Height(), -1, -1};
  for (int32_t y = 0; y < im.Height(); ++y)
    for (int32_t x = 0; x < im.Width(); ++x)
      if (im.Row(y)[x * 4 + 1] < 128) {
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
      }
  return box;
}

// The display on show is the one the view composes itself at the same
// place, byte for byte (a display composed on a worker included).
void ExpectDisplayAsComposedHere(KovalindraView& view) {
  ASSERT_NE(view.DisplayImage(), nullptr);
  auto bytes = [&] {
    const Image& d = *view.DisplayImage();
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < d.Height(); ++y) out.insert(out.end(), d.Row(y), d.Row(y) + d.Width() * 4);
    return out;
  };
  const std::vector<uint8_t> shown = bytes();
  // Composed over other pixels: every one of them is drawn again.
  FillImage(const_cast<Image&>(*view.DisplayImage()), 90);
  view.InvalidateDisplay();
  view.OnNotify("", code::kRebuildDisplay);
  EXPECT_TRUE(shown == bytes());
}

struct AsyncViewer {
  explicit AsyncViewer(const std::string& folder)
      : doc(platform::Services{&messages, nullptr, nullptr, queue}, SettingsLocation{folder, ""}),
        view(doc, &host) {
    view.OnSize(600, 400);
    view.OnInitialUpdate();
  }
  bool Open(const std::string& path) {
    if (!doc.OpenDocument(path)) return false;
    view.OnInitialUpdate();
    return true;
  }
  bool Settle() { return queue->RunUntil([&] { return view.Session().Settled(); }); }
  std::shared_ptr<testing::QueueDispatcher> queue = std::make_shared<testing::QueueDispatcher>();
  RecordingMessages messages;
  RecordingHost host;
  KovalindraDoc doc;
  KovalindraView view;
};

TEST(ViewerDecoding, AReducedFirstFrameLandsWhereTheWholePhotoDoes) {
  EXPECT_EQ(FirstFrameShift(1.0), 0);
  EXPECT_EQ(FirstFrameShift(0.51), 0);
  EXPECT_EQ(FirstFrameShift(0.5), 0);  // a half-size decode is most of the work
  EXPECT_EQ(FirstFrameShift(0.3), 0);
  EXPECT_EQ(FirstFrameShift(0.25), 2);
  EXPECT_EQ(FirstFrameShift(0.05), 3);
  EXPECT_EQ(FirstFrameShift(0.25, 0.1), 2);
  EXPECT_EQ(FirstFrameShift(0.25, 0.4), 0);  // the coded data is most of the work
  TempDir dir;
  WriteKvi(dir.File("big.kvi"),
           SquareKvi(2400, 1600, 1000, 600, {MakeRegistration(1000, 600, 1400, 600, 100)}));
  for (double zoom : {0.0, 0.4}) {  // 0: the fit the first frame is made for
    SCOPED_TRACE(zoom);
    Gate gate;  // the whole decode waits for the first frame to be on show
    gate.Close(WorkerStage::Decode, dir.File("big.kvi"));
    AsyncViewer v(dir.Folder());
    v.doc.Session().SetWorkerHook([&](WorkerStage s, const std::string& p) { gate.Pass(s, p); });
    ASSERT_TRUE(v.Open(dir.File("big.kvi")));
    ASSERT_TRUE(v.queue->RunUntil([&] { return v.view.Photo() != nullptr; }));
    EXPECT_EQ(v.view.PhotoShift(), 2);  // fit is 0.25
    EXPECT_EQ(v.view.Scale().photoWidth, 2400);
    EXPECT_TRUE(v.view.Decoding());
    // Both pictures come with the display they open at, composed on the
    // worker; the interface thread only swaps it in.
    EXPECT_EQ(v.view.DisplaysTakenOver(), 1);
    if (zoom == 0) ExpectDisplayAsComposedHere(v.view);
    if (zoom > 0) {
      // A command while the rest decodes acts on the frame on show.
      v.view.MutableScale().zoom = zoom;
      v.view.ApplyZoom(1200, 700);
    }
    v.view.showGuides = true;
    const std::vector<GuideLine> lines = v.view.GuideLines();
    const std::array<int32_t, 4> first = DarkBox(*v.view.DisplayImage());
    gate.Open();
    ASSERT_TRUE(v.Settle());
    EXPECT_EQ(v.view.PhotoShift(), 0);
    // Zoomed in meanwhile, the view composes its own.
    EXPECT_EQ(v.view.DisplaysTakenOver(), zoom == 0 ? 2 : 1);
    ExpectDisplayAsComposedHere(v.view);
    const std::array<int32_t, 4> whole = DarkBox(*v.view.DisplayImage());
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(first[size_t(k)], whole[size_t(k)], 1) << k;
    // The registration starts at the square's corner on both.
    ASSERT_EQ(v.view.GuideLines().size(), 1u);
    EXPECT_EQ(v.view.GuideLines()[0].x1, lines[0].x1);
    EXPECT_NEAR(lines[0].x1, whole[0] + v.view.Scale().offsetX, 1);
    EXPECT_TRUE(v.messages.shown.empty());
  }
}

TEST(ViewerDecoding, TheFirstFrameDoesNotWaitForTheInterfaceThread) {
  // At a program's start the interface thread puts the window up while the
  // photo is read: the first frame starts all the same.
  TempDir dir;
  WriteKvi(dir.File("big.kvi"), SquareKvi(2400, 1600, 1000, 600, kThree));
  AsyncViewer v(dir.Folder());
  std::atomic<bool> firstStarted{false};
  v.doc.Session().SetWorkerHook([&](WorkerStage s, const std::string&) {
    if (s == WorkerStage::FirstFrame) firstStarted = true;
  });
  ASSERT_TRUE(v.Open(dir.File("big.kvi")));
  for (int i = 0; i < 5000 && !firstStarted; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_TRUE(firstStarted);
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.view.PhotoShift(), 0);
}

TEST(ViewerDecoding, SteppingDuringDecodesShowsTheLastPhotoAskedFor) {
  TempDir dir;
  WriteKvi(dir.File("a.kvi"), MakeKvi(1600, 1200, kThree, 0));
  WriteKvi(dir.File("b.kvi"), MakeKvi(1280, 960, kThree, 1));
  WriteKvi(dir.File("c.kvi"), MakeKvi(1440, 1080, kThree, 2));
  std::ofstream(dir.File("d.kvi")) << "not a photo";
  AsyncViewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.view.Session().AheadPath(), dir.File("b.kvi"));
  // On to b and at once to c, while b's decode (or its read-ahead) runs.
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.doc.PathName(), dir.File("c.kvi"));
  EXPECT_EQ(v.view.Scale().photoWidth, 1440);
  EXPECT_NEAR(v.view.DisplayImage()->Row(200)[300 * 4 + 2], 240, 3);  // red of tag 2
  // The broken neighbour is read ahead without a word...
  EXPECT_EQ(v.view.Session().AheadPath(), dir.File("d.kvi"));
  ASSERT_TRUE(v.queue->RunUntil([&] { return !v.view.Session().AheadInFlight(); }));
  EXPECT_FALSE(v.view.Session().AheadReady());
  EXPECT_TRUE(v.messages.shown.empty());
  EXPECT_TRUE(v.host.message.empty());
  // c opened again starts new workers while the failed one is still named.
  ASSERT_TRUE(v.Open(dir.File("c.kvi")));
  ASSERT_TRUE(v.Settle());
  // ...and says why when stepped to; c stays.
  ASSERT_TRUE(v.view.StepPhoto(+1));  // read on a worker
  ASSERT_TRUE(v.queue->RunUntil([&] { return !v.host.message.empty(); }));
  EXPECT_NE(v.host.message.find("d.kvi"), std::string::npos);
  EXPECT_EQ(v.doc.Session().State(), PhotoState::Failed);
  EXPECT_EQ(v.view.Scale().photoWidth, 1440);
  // A neighbour decoded ahead shows within the step, without waiting.
  ASSERT_TRUE(v.view.StepPhoto(+1));  // past d to a
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.view.Session().AheadReady(); }));
  ASSERT_TRUE(v.view.StepPhoto(+1));
  EXPECT_FALSE(v.view.Decoding());
  EXPECT_EQ(v.view.Scale().photoWidth, 1280);
  EXPECT_NEAR(v.view.DisplayImage()->Row(200)[300 * 4 + 2], 140, 3);
  // A neighbour changed on disk since it was read is read again.
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.view.Session().AheadReady(); }));
  WriteKvi(dir.File("c.kvi"), MakeKvi(1000, 750, kThree, 0));
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.view.Scale().photoWidth, 1000);
  // Another file opened, and the viewer closed, in the middle of a decode.
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  ASSERT_TRUE(v.Open(dir.File("b.kvi")));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.view.Scale().photoWidth, 1280);
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  EXPECT_TRUE(v.view.Decoding());
}


TEST(ViewerDecoding, StepsThroughPhotosOfOneSizeWriteOverThePhotoLetGo) {
  // Fresh pages cost the system their clearing: a neighbour read ahead is
  // decoded into the blocks of the photo the step let go.
  TempDir dir;
  for (int i = 0; i < 3; ++i)
    WriteKvi(dir.File(std::string(1, char('a' + i)) + ".kvi"), MakeKvi(800, 600, kThree, i));
  AsyncViewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  ASSERT_TRUE(v.Settle());
  const Image* a = v.view.Photo();
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.view.Session().AheadReady(); }));
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.view.Session().AheadReady(); }));
  ASSERT_TRUE(v.view.StepPhoto(+1));
  EXPECT_FALSE(v.view.Decoding());
  EXPECT_EQ(v.doc.PathName(), dir.File("c.kvi"));
  EXPECT_EQ(v.view.Photo(), a);
  EXPECT_NEAR(v.view.DisplayImage()->Row(200)[300 * 4 + 2], 240, 3);  // c's own red
}

TEST(ViewerDecoding, TheHalvedCopiesAreWrittenIntoBlocksMadeOrFoundBeforeTheDecode) {
  const std::vector<uint8_t> jpeg = MakeKvi(1203, 901, kThree, 1).jpegBytes;
  const PixelSize client{100, 80};
  const std::vector<PixelSize> sizes = LevelSizesFor({1203, 901}, 0, client);
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_EQ(sizes[0], (PixelSize{601, 450}));
  EXPECT_EQ(sizes[2], (PixelSize{150, 112}));
  EXPECT_TRUE(LevelSizesFor({1203, 901}, 0, {0, 0}).empty());
  EXPECT_EQ(LevelSizesFor({601, 450}, 1, client), std::vector<PixelSize>(sizes.begin() + 1, sizes.end()));
  const auto same = [](const Image& a, const Image& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
      if (std::memcmp(a.Row(y), b.Row(y), size_t(a.Width()) * 4) != 0) return false;
    return true;
  };
  DecodedPhoto fresh = DecodePhoto(jpeg, 1, 0, nullptr, client);
  ASSERT_TRUE(fresh.image);
  ASSERT_EQ(fresh.levels.size(), sizes.size());
  const Image* above = fresh.image.get();
  for (const IplImageSlot& level : fresh.levels) {
    IplImageSlot halved = HalvedCopy(*above);
    EXPECT_TRUE(same(*level, *halved));
    above = level.get();
  }
  // The blocks of a photo of the size are written over, whatever they held.
  DecodedPhoto other = DecodePhoto(MakeKvi(1203, 901, kThree, 2).jpegBytes, 1, 0, nullptr, client);
  ASSERT_EQ(other.levels.size(), sizes.size());
  const Image* blocks[] = {other.image.get(), other.levels[0].get(), other.levels[2].get()};
  Spare spare{std::move(other.image), std::move(other.levels)};
  DecodedPhoto again = DecodePhoto(jpeg, 1, 0, nullptr, client, std::move(spare));
  ASSERT_TRUE(again.image);
  ASSERT_EQ(again.levels.size(), sizes.size());
  EXPECT_EQ(again.image.get(), blocks[0]);
  EXPECT_EQ(again.levels[0].get(), blocks[1]);
  EXPECT_EQ(again.levels[2].get(), blocks[2]);
  EXPECT_TRUE(same(*again.image, *fresh.image));
  for (size_t k = 0; k < sizes.size(); ++k) EXPECT_TRUE(same(*again.levels[k], *fresh.levels[k])) << k;
  // A neighbour read ahead keeps only the copy its view reads.
  const Image* smallest = again.levels[2].get();
  KeepLevelForFit(again, client);
  ASSERT_EQ(again.levels.size(), 3u);
  EXPECT_FALSE(again.levels[0] || again.levels[1]);
  EXPECT_EQ(again.levels[2].get(), smallest);
  const Image* half = fresh.levels[0].get();
  KeepLevelForFit(fresh, {400, 300});
  ASSERT_EQ(fresh.levels.size(), 1u);
  EXPECT_EQ(fresh.levels[0].get(), half);
}

// A folder of photos told apart by their red (40, 140, 240 for tags 0, 1, 2).
struct Folder {
  Folder() {
    for (int i = 0; i < 3; ++i)
      WriteKvi(dir.File(std::string(1, char('a' + i)) + ".kvi"), MakeKvi(640 + 40 * i, 480, kThree, i));
  }
  std::string File(char c) const { return dir.File(std::string(1, c) + ".kvi"); }
  TempDir dir;
};

TEST(PhotoSession, FilesAndFoldersAreReadOnWorkersWhileThePhotoOnShowStays) {
  Folder f;
  Gate gate;  // outlives the workers that pass it
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  v.doc.Session().SetWorkerHook([&](WorkerStage s, const std::string& p) { gate.Pass(s, p); });
  gate.Close(WorkerStage::List, f.dir.Folder());
  // The opening returns at once; the folder is being listed on a worker
  // (a slow network folder) while the photo before stays whole on show.
  ASSERT_TRUE(v.Open(f.File('c')));
  ASSERT_TRUE(v.queue->RunUntil([&] { return gate.Reached(WorkerStage::List, f.dir.Folder()); }));
  EXPECT_TRUE(v.doc.Session().Pending());
  EXPECT_TRUE(v.host.pending);
  EXPECT_EQ(v.doc.PathName(), f.File('a'));
  EXPECT_EQ(v.view.Scale().photoWidth, 640);
  EXPECT_NEAR(RedAtCentre(v.view), 40, 3);
  EXPECT_TRUE(v.view.ZoomIn());  // and answers
  gate.Open();
  ASSERT_TRUE(v.Settle());
  // Everything changes together when the picture is there.
  EXPECT_FALSE(v.host.pending);
  EXPECT_EQ(v.doc.PathName(), f.File('c'));
  EXPECT_EQ(v.doc.Folder().size(), 3u);
  EXPECT_EQ(v.doc.FolderIndex(), 2u);
  EXPECT_EQ(v.view.Scale().photoWidth, 720);
  EXPECT_TRUE(v.view.IsWhole());
  EXPECT_NEAR(RedAtCentre(v.view), 240, 3);
}

TEST(PhotoSession, ANamedPipeIsRefusedWithoutBlocking) {
  Folder f;
  const std::string pipe = f.dir.File("pipe.kvi");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.Open(pipe));
  ASSERT_TRUE(v.Settle());
  ASSERT_EQ(v.messages.shown.size(), 1u);
  EXPECT_NE(v.messages.shown[0].find("pipe.kvi"), std::string::npos);
  EXPECT_EQ(v.doc.PathName(), f.File('a'));
  EXPECT_EQ(v.doc.Folder().size(), 3u);  // neither listed nor a photo
}

TEST(PhotoSession, ANeighbourInFlightIsTakenOverByTheStepNotReadAgain) {
  Folder f;
  Gate gate;
  AsyncViewer v(f.dir.Folder());
  v.doc.Session().SetWorkerHook([&](WorkerStage s, const std::string& p) { gate.Pass(s, p); });
  gate.Close(WorkerStage::Decode, f.File('b'));
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  // b is read ahead and held in its decode.
  ASSERT_TRUE(v.queue->RunUntil([&] { return gate.Reached(WorkerStage::Decode, f.File('b')); }));
  EXPECT_TRUE(v.doc.Session().AheadInFlight());
  ASSERT_TRUE(v.view.StepPhoto(+1));
  EXPECT_FALSE(v.doc.Session().AheadInFlight());
  EXPECT_TRUE(v.view.Decoding());
  EXPECT_EQ(v.view.Scale().photoWidth, 640);  // a stays until b has a picture
  gate.Open();
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.view.Scale().photoWidth, 680);
  EXPECT_NEAR(RedAtCentre(v.view), 140, 3);
  EXPECT_EQ(gate.Passed(WorkerStage::Read, f.File('b')), 1);
  EXPECT_EQ(gate.Passed(WorkerStage::Decode, f.File('b')), 1);
  // Backwards: the neighbour read ahead is the one before.
  ASSERT_TRUE(v.view.StepPhoto(-1));
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().AheadReady(); }));
  EXPECT_EQ(v.doc.Session().AheadPath(), f.File('c'));  // a's previous wraps to c
  EXPECT_LE(v.doc.Session().MostLiveJobs(), 3u);
}

TEST(PhotoSession, AReadAheadNoLongerWantedIsDroppedAtOnce) {
  Folder f;
  TempDir lone;
  WriteKvi(lone.File("x.kvi"), MakeKvi(300, 200, kThree, 2));
  ActualSizeFile broken = MakeKvi(64, 64, {});
  broken.jpegBytes.assign(100, 0x42);
  WriteKvi(f.dir.File("b.kvi"), broken);
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('c')));
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().AheadReady(); }));
  EXPECT_EQ(v.doc.Session().AheadPath(), f.File('a'));
  EXPECT_GT(v.doc.Session().AheadBytes(), 0u);
  // Another file opened: the neighbour goes at once; a lone file has none.
  ASSERT_TRUE(v.Open(lone.File("x.kvi")));
  EXPECT_EQ(v.doc.Session().AheadBytes(), 0u);
  EXPECT_EQ(v.doc.Session().AheadPath(), "");
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.doc.Session().AheadPath(), "");
  EXPECT_EQ(v.doc.Session().AheadBytes(), 0u);
  // A decode that fails drops the neighbour too.
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.doc.Session().AheadPath(), f.File('b'));  // broken: read ahead quietly
  ASSERT_TRUE(v.view.StepPhoto(-1));  // to c, then its neighbour b (backwards)...
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.view.StepPhoto(-1));  // ...which fails: nothing is read ahead
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.doc.Session().State(), PhotoState::Failed);
  EXPECT_EQ(v.doc.Session().AheadPath(), "");
  EXPECT_EQ(v.doc.Session().AheadBytes(), 0u);
  ASSERT_EQ(v.messages.shown.size(), 1u);
  EXPECT_NE(v.messages.shown[0].find("b.kvi"), std::string::npos);
  EXPECT_EQ(v.view.Scale().photoWidth, 720);  // c stays
}

TEST(PhotoSession, WorkersThatThrowReportInJapaneseAndTheProgramGoesOn) {
  Folder f;
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  v.doc.Session().SetWorkerHook([&](WorkerStage s, const std::string& p) {
    if (s == WorkerStage::Read && p == f.File('b')) throw std::bad_alloc();
    if (s == WorkerStage::Decode && p == f.File('c')) throw std::runtime_error("boom");
  });
  v.doc.Session().DropAhead();
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.Settle());
  EXPECT_NE(v.host.message.find("ﾒﾓﾘが足りません"), std::string::npos);
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.Settle());
  ASSERT_EQ(v.messages.shown.size(), 2u);
  EXPECT_NE(v.messages.shown[0].find("ﾒﾓﾘに収まりません"), std::string::npos);
  EXPECT_NE(v.messages.shown[1].find("予期しないｴﾗｰ"), std::string::npos);
  EXPECT_EQ(v.view.Scale().photoWidth, 640);  // a stays through both
  EXPECT_EQ(v.doc.PathName(), f.File('a'));
}

TEST(PhotoSession, AWholePhotoFailingAfterItsFirstFrameLeavesNothingOfIt) {
  TempDir dir;
  WriteKvi(dir.File("big.kvi"), SquareKvi(2400, 1600, 1000, 600, kThree));
  std::atomic<bool> firstShown{false};
  AsyncViewer v(dir.Folder());
  v.doc.Session().SetWorkerHook([&](WorkerStage s, const std::string&) {
    if (s != WorkerStage::Decode) return;
    while (!firstShown) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    throw std::runtime_error("after the first frame");
  });
  ASSERT_TRUE(v.Open(dir.File("big.kvi")));
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().State() == PhotoState::FirstFrame; }));
  EXPECT_EQ(v.view.PhotoShift(), 2);
  EXPECT_GT(v.view.Navigator().scale, 0.0);
  firstShown = true;
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.doc.Session().State(), PhotoState::Failed);
  EXPECT_EQ(v.view.Photo(), nullptr);
  EXPECT_EQ(v.view.Scale().photoWidth, 0);
  EXPECT_EQ(v.view.Navigator().scale, 0.0);  // the navigator agrees
  DibImage bitmap(240, 240);
  EXPECT_FALSE(v.view.DrawThumbnail(bitmap));
  ASSERT_EQ(v.messages.shown.size(), 1u);
  EXPECT_NE(v.messages.shown[0].find("表示できませんでした"), std::string::npos);
}

TEST(PhotoSession, CancelAloneKeepsThePhotoAndDeliversNothingLater) {
  Folder f;
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.Open(f.File('b')));
  v.doc.Session().Cancel();
  EXPECT_FALSE(v.view.Decoding());
  const uint64_t generation = v.view.PhotoGeneration();
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().LiveJobs() == 0; }));
  EXPECT_EQ(v.view.PhotoGeneration(), generation);
  EXPECT_EQ(v.doc.PathName(), f.File('a'));
  EXPECT_EQ(v.view.Scale().photoWidth, 640);
  EXPECT_TRUE(v.messages.shown.empty());
}

TEST(PhotoSession, APostedTaskRunAfterTheSessionIsGoneDoesNothing) {
  Folder f;
  std::shared_ptr<testing::QueueDispatcher> queue = std::make_shared<testing::QueueDispatcher>();
  {
    RecordingMessages messages;
    KovalindraDoc doc(platform::Services{&messages, nullptr, nullptr, queue},
                      SettingsLocation{f.dir.Folder(), ""});
    KovalindraView view(doc, nullptr);
    view.OnSize(600, 400);
    ASSERT_TRUE(doc.OpenDocument(f.File('a')));
    ASSERT_TRUE(queue->RunUntil([&] { return doc.Session().LiveJobs() == 0 || !doc.Session().Busy(); }));
    doc.OpenDocument(f.File('b'));
    // Leaves with its workers' reports still queued.
  }
  queue->RunUntil([] { return false; }, std::chrono::milliseconds(50));

  // Its owner lets go of the queue first: the session keeps it for the
  // workers still posting to it, and lets go when it ends.
  std::weak_ptr<testing::QueueDispatcher> watch = queue;
  {
    RecordingMessages messages;
    KovalindraDoc doc(platform::Services{&messages, nullptr, nullptr, queue},
                      SettingsLocation{f.dir.Folder(), ""});
    queue.reset();
    ASSERT_TRUE(doc.OpenDocument(f.File('a')));
    EXPECT_FALSE(watch.expired());
  }
  EXPECT_TRUE(watch.expired());
}

TEST(PhotoSession, SidewaysPhotosThroughTheWorkersAndAResizeBeforeTheStep) {
  TempDir dir;
  for (int i = 0; i < 2; ++i) {
    ActualSizeFile f = MakeKvi(800, 400, {MakeRegistration(100, 50, 300, 50, 100)}, i);
    f.jpegBytes = kv::testing::WithExif(f.jpegBytes, 6, true);
    WriteKvi(dir.File(std::string(1, char('a' + i)) + ".kvi"), f);
  }
  AsyncViewer v(dir.Folder());
  ASSERT_TRUE(v.Open(dir.File("a.kvi")));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.view.Scale().photoWidth, 400);
  EXPECT_EQ(v.view.Scale().photoHeight, 800);
  const int taken = v.view.DisplaysTakenOver();
  EXPECT_GE(taken, 1);
  ExpectDisplayAsComposedHere(v.view);
  EXPECT_EQ(v.doc.Registrations()[0], RegistrationsToShown({MakeRegistration(100, 50, 300, 50, 100)},
                                                           6, PixelSize{800, 400})[0]);
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().AheadReady(); }));
  // Read ahead for 600 x 400; the window is smaller by the step.
  v.view.OnSize(200, 150);
  ASSERT_TRUE(v.view.StepPhoto(+1));
  EXPECT_FALSE(v.view.Decoding());  // shown within the step
  EXPECT_EQ(v.view.Scale().photoWidth, 400);
  EXPECT_TRUE(v.view.IsWhole());
  EXPECT_NEAR(RedAtCentre(v.view), 140, 3);
  // The display follows the new client (and holds the drag's spare pixel):
  // the one composed ahead for the old client is not used.
  EXPECT_EQ(v.view.Scale().clientWidth, 200);
  EXPECT_LE(v.view.DisplayImage()->Width() - 200, 2);
  EXPECT_EQ(v.view.DisplaysTakenOver(), taken);
  ExpectDisplayAsComposedHere(v.view);
  // Read ahead for this client, the next step swaps its display in.
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().AheadReady(); }));
  ASSERT_TRUE(v.view.StepPhoto(-1));
  EXPECT_EQ(v.view.DisplaysTakenOver(), taken + 1);
  ExpectDisplayAsComposedHere(v.view);
}

TEST(PhotoSession, ASameSizeRewriteIsReadAgain) {
  Folder f;
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().AheadReady(); }));
  // b rewritten with another link of the same length: the same byte count,
  // and the same modification time, as on a file system that counts whole
  // seconds.
  const auto when = std::filesystem::last_write_time(f.File('b'));
  const auto size = std::filesystem::file_size(f.File('b'));
  ActualSizeFile other = MakeKvi(680, 480, kThree, 1);
  other.link = "https://example.net/";
  WriteKvi(f.File('b'), other);
  ASSERT_EQ(std::filesystem::file_size(f.File('b')), size);
  std::filesystem::last_write_time(f.File('b'), when);
  ASSERT_TRUE(v.view.StepPhoto(+1));
  ASSERT_TRUE(v.Settle());
  EXPECT_EQ(v.doc.Link(), "https://example.net/");
}

TEST(PhotoSession, FiftyStepsWithoutDrainingTheQueueKeepJobsAndMemoryBounded) {
  Folder f;
  AsyncViewer v(f.dir.Folder());
  ASSERT_TRUE(v.Open(f.File('a')));
  ASSERT_TRUE(v.Settle());
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(v.view.StepPhoto(+1));
    EXPECT_LE(v.doc.Session().LiveJobs(), 3u);
  }
  // Each step goes on from the one before, shown or not: 50 from a is c.
  EXPECT_EQ(v.doc.FolderIndex(), 2u);
  ASSERT_TRUE(v.Settle());
  EXPECT_LE(v.doc.Session().MostLiveJobs(), 3u);
  EXPECT_EQ(v.doc.PathName(), f.File('c'));
  EXPECT_NEAR(RedAtCentre(v.view), 240, 3);
  ASSERT_TRUE(v.queue->RunUntil([&] { return v.doc.Session().LiveJobs() == 0; }));
  EXPECT_LE(v.view.PhotoBytes() + v.doc.Session().AheadBytes(), kReadAheadBudget);
  EXPECT_TRUE(v.messages.shown.empty());
}

}  // namespace
}  // namespace kv::viewer
