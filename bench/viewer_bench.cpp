// The viewer's display path: rebuilding the client-sized display image from
// a 24-megapixel photo, and opening a ".kvi" file up to the first finished
// back buffer, against decoding its JPEG alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include <turbojpeg.h>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/image/thumbnail.h"
#include "foundation/core/util/parallel.h"
#include "kvi/actual_size_file.h"
#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"
#include "viewer/tests/test_files.h"

namespace {

using namespace kv;
using namespace kv::viewer;

constexpr int32_t kPhotoW = 6000, kPhotoH = 4000;
constexpr int32_t kClientW = 1920, kClientH = 1080;

// Smooth shading with fine noise, so the JPEG costs what a photo costs.
DibImage SyntheticPhoto() {
  DibImage img(kPhotoW, kPhotoH);
  img.padBytes = DibPadBytes(kPhotoW);
  img.byteSize = uint32_t(img.Stride() * size_t(kPhotoH));
  img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
  std::minstd_rand rng(7);
  for (int32_t y = 0; y < kPhotoH; ++y) {
    uint8_t* row = img.Row(y);
    for (int32_t x = 0; x < kPhotoW; ++x) {
      const int n = int(rng() % 24);
      row[x * 3 + 0] = uint8_t((x * 255 / kPhotoW + n) & 0xFF);
      row[x * 3 + 1] = uint8_t((y * 255 / kPhotoH + n) & 0xFF);
      row[x * 3 + 2] = uint8_t(((x + y) / 40 * 13 + n) & 0xFF);
    }
  }
  return img;
}

IplImageSlot Bgra(const DibImage& photo) {
  IplImageSlot out;
  MakeColorIplImage(out, photo.width, photo.height);
  ConvertFromDib(photo, *out);
  return out;
}

const std::vector<uint8_t>& PhotoJpeg() {
  static const std::vector<uint8_t> jpeg = EncodeJpeg(SyntheticPhoto(), 90);
  return jpeg;
}

// A photo of smooth shading without noise: few bits per pixel, so the
// decode's time goes to the pixels rather than to the coded data.
const std::vector<uint8_t>& SmoothJpeg() {
  static const std::vector<uint8_t> jpeg = [] {
    DibImage img = SyntheticPhoto();
    for (int32_t y = 0; y < kPhotoH; ++y) {
      uint8_t* row = img.Row(y);
      for (int32_t x = 0; x < kPhotoW; ++x) {
        row[x * 3 + 0] = uint8_t(x * 255 / kPhotoW);
        row[x * 3 + 1] = uint8_t(y * 255 / kPhotoH);
        row[x * 3 + 2] = uint8_t((x + y) * 255 / (kPhotoW + kPhotoH));
      }
    }
    return EncodeJpeg(img, 90);
  }();
  return jpeg;
}

// orientation: the Exif tag of the photo (1: none written; 0: the smooth
// photo, without a tag). Each file in a
// folder of its own, with `name`, so that no other photo is read ahead.
std::string KviPath(uint16_t orientation = 1, const std::string& name = "") {
  static std::map<std::string, std::string> paths;
  const std::string folder = "kv_viewer_bench_" + std::to_string(::getpid()) + "_" +
                             std::to_string(orientation) + (name.empty() ? "" : "_pair");
  std::string& path = paths[folder + "/" + name];
  if (path.empty()) path = [&] {
    ActualSizeFile f;
    f.jpegName = "bench.jpg";
    f.registrations = {MakeRegistration(2800, 2000, 3200, 2000, 100)};
    // 0: the smooth photo, upright.
    f.jpegBytes = orientation == 0   ? SmoothJpeg()
                  : orientation == 1 ? PhotoJpeg()
                                     : kv::testing::WithExif(PhotoJpeg(), orientation, true);
    f.logoWidth = 64;
    f.logoHeight = 24;
    f.logoBytes.assign(64 * 24 * 3, 90);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / folder;
    std::filesystem::create_directories(dir);
    const std::string p = (dir / ((name.empty() ? "photo" : name) + ".kvi")).string();
    std::string reason;
    WriteActualSizeFile(p, f, reason);
    return p;
  }();
  return path;
}

// Resident now (what the system holds for the process), not its peak.
double RssMb() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0.0;
  char line[256];
  double kb = 0.0;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmRSS:", 6) == 0) kb = std::atof(line + 6);
  std::fclose(f);
  return kb / 1024.0;
}

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// Threads the resizes share out their work to: 1, or 0 for all cores.
class Threads {
 public:
  explicit Threads(int64_t n) { pool::SetThreads(int(n)); }
  ~Threads() { pool::SetThreads(0); }
};

int32_t ClientWidth(const benchmark::State& state) { return state.range(1) ? 3840 : kClientW; }
int32_t ClientHeight(const benchmark::State& state) { return state.range(1) ? 2160 : kClientH; }

// Args: scale (0 fit, 1 real size 0.952, 2 scale 1.0, 3 scale 4.0), client
// (0: 1920 x 1080, 1: 3840 x 2160), threads (1, or 0 for all).
void BM_ViewRebuild(benchmark::State& state) {
  const Threads threads(state.range(2));
  KovalindraDoc doc(platform::Services{}, SettingsLocation{"/nonexistent/", ""});
  KovalindraView view(doc, nullptr);
  view.ShowPhoto(Bgra(SyntheticPhoto()));
  const int32_t cw = ClientWidth(state), ch = ClientHeight(state);
  view.OnSize(cw, ch);
  doc.NotifyViews("", code::kBuffers);
  const double scales[] = {FitScale(kPhotoW, kPhotoH, cw, ch), 0.25 / 0.2625, 1.0, 4.0};
  view.MutableScale().zoom = scales[state.range(0)];
  int32_t cx = kPhotoW / 2;
  // The halved copy a reduced view needs is made once, as the view keeps it.
  doc.NotifyViews("", code::kRebuildDisplay);
  for (auto _ : state) {
    // A one-pixel pan each time (and, for the whole photo, which cannot
    // pan, a forced rebuild), so every call really rebuilds.
    cx ^= 1;
    view.MutableScale().PlaceCentredOn(cx, kPhotoH / 2);
    view.InvalidateDisplay();
    doc.NotifyViews("", code::kOffsets);
    doc.NotifyViews("", code::kRebuildDisplay);
  }
  state.counters["rebuilds"] = view.DisplayRebuilds();
}
BENCHMARK(BM_ViewRebuild)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}, {1, 0}})
    ->ArgNames({"scale", "4k", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One step of a scroll drag: the origin follows the pointer, the display
// image is rebuilt and composed into the back buffer (no adjustment).
// Args: scale (0: real size 0.952, 1: 2.0), client (0: 1920 x 1080, 1: 3840 x 2160),
// threads (1, or 0 for all).
void BM_DragStep(benchmark::State& state) {
  const Threads threads(state.range(2));
  KovalindraDoc doc(platform::Services{}, SettingsLocation{"/nonexistent/", ""});
  KovalindraView view(doc, nullptr);
  view.ShowPhoto(Bgra(SyntheticPhoto()));
  const int32_t cw = ClientWidth(state), ch = ClientHeight(state);
  view.OnSize(cw, ch);
  doc.NotifyViews("", code::kBuffers);
  view.MutableScale().zoom = state.range(0) ? 2.0 : 0.25 / 0.2625;
  view.ApplyZoom(kPhotoW / 2, kPhotoH / 2);
  view.OnLeftButtonDown(cw / 2, ch / 2);
  int32_t x = cw / 2;
  for (auto _ : state) {
    // Back and forth by 16 device pixels: every step moves the photo.
    x = x == cw / 2 ? cw / 2 - 16 : cw / 2;
    view.OnMouseMove(x, ch / 2 - 3);
    view.RenderBackBuffer();
    benchmark::DoNotOptimize(view.BackBuffer());
  }
  view.OnLeftButtonUp(x, ch / 2 - 3);
  state.counters["rebuilds"] = view.DisplayRebuilds();
}
BENCHMARK(BM_DragStep)
    ->ArgsProduct({{0, 1}, {0, 1}, {1, 0}})
    ->ArgNames({"scale2", "4k", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A viewer whose decodes run on workers, as in the program, with the
// benchmark running the interface thread's queue.
struct AsyncViewer {
  AsyncViewer() { view.OnSize(kClientW, kClientH); }
  std::shared_ptr<kv::viewer::testing::QueueDispatcher> queue =
      std::make_shared<kv::viewer::testing::QueueDispatcher>();
  KovalindraDoc doc{platform::Services{nullptr, nullptr, nullptr, queue},
                    SettingsLocation{"/nonexistent/", ""}};
  KovalindraView view{doc, nullptr};
};

// Held for the photo: what grows with it (its copy, the halved ones, the
// thumbnail); the window's buffers grow with the window instead. Then,
// every worker ended, what the process really holds: the counted bytes
// miss blocks freed but kept by the allocator.
void Counters(benchmark::State& state, KovalindraView& view, KovalindraDoc& doc,
              kv::viewer::testing::QueueDispatcher& queue) {
  state.counters["photo32_MB"] = double(kPhotoW) * kPhotoH * 4 / 1048576.0;
  // The neighbour read ahead counts: it is held too.
  state.counters["held_MB"] =
      double(view.PhotoBytes() + doc.thumbnail.image.byteSize + doc.Session().AheadBytes()) /
      1048576.0;
  state.counters["window_MB"] = double(view.WindowBytes()) / 1048576.0;
  state.counters["file_MB"] = double(doc.File().jpegBytes.size()) / 1048576.0;
  state.counters["peak_rss_MB"] = PeakRssMb();
  queue.RunUntil([&] { return doc.Session().Settled() && doc.Session().LiveJobs() == 0; });
  state.counters["rss_settled_MB"] = RssMb();
}

// Read to the first frame on screen at fit: a reduced decode on a worker
// where it pays, in a window that shows the photo at a fifth (at 1920 x
// 1080 the half-size frame would not pay). Arg: 1 the benchmark's photo,
// 0 the smooth one.
void BM_OpenKviFirstFrame(benchmark::State& state) {
  const std::string path = KviPath(uint16_t(state.range(0)));
  AsyncViewer v;
  auto& [queue, doc, view] = v;
  view.OnSize(1280, 800);
  int shift = 0;
  for (auto _ : state) {
    if (!doc.OpenDocument(path)) state.SkipWithError("open failed");
    view.OnInitialUpdate();
    queue->RunUntil([&] { return view.Photo() && !view.Session().Pending(); });
    view.RenderBackBuffer();
    benchmark::DoNotOptimize(view.BackBuffer());
    shift = view.PhotoShift();
    state.PauseTiming();
    queue->RunUntil([&] { return !view.Decoding(); });
    state.ResumeTiming();
  }
  state.counters["first_frame_shift"] = shift;
  Counters(state, view, doc, *queue);
}
BENCHMARK(BM_OpenKviFirstFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Read to the whole photo on screen. Arg: the photo's Exif orientation
// (6: stored a quarter turn sideways; 0: the smooth photo).
void BM_OpenKvi(benchmark::State& state) {
  const std::string path = KviPath(uint16_t(state.range(0)));
  AsyncViewer v;
  auto& [queue, doc, view] = v;
  // The first open of a viewer maps all of its memory fresh; the ones after
  // it reuse what the one before let go. Both are in the mean; the first is
  // also reported alone.
  double firstMs = -1;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!doc.OpenDocument(path)) state.SkipWithError("open failed");
    view.OnInitialUpdate();
    queue->RunUntil([&] { return view.Session().State() == kv::viewer::PhotoState::Whole; });
    view.RenderBackBuffer();
    benchmark::DoNotOptimize(view.BackBuffer());
    if (firstMs < 0) firstMs = Since(t0);
  }
  state.counters["first_open_ms"] = firstMs;
  Counters(state, view, doc, *queue);
}
BENCHMARK(BM_OpenKvi)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The same photo stored sideways: what turning it upright adds.
void BM_OpenKviRotated(benchmark::State& state) { BM_OpenKvi(state); }
BENCHMARK(BM_OpenKviRotated)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// A step to the neighbour decoded ahead, to its first finished frame at fit.
void BM_StepPrefetched(benchmark::State& state) {
  const std::string a = KviPath(1, "a"), b = KviPath(1, "b");
  (void)b;
  AsyncViewer v;
  auto& [queue, doc, view] = v;
  if (!doc.OpenDocument(a)) state.SkipWithError("open failed");
  view.OnInitialUpdate();
  int prefetched = 0;
  for (auto _ : state) {
    state.PauseTiming();
    queue->RunUntil([&] { return !view.Decoding() && view.Session().AheadReady(); });
    state.ResumeTiming();
    if (!view.StepPhoto(+1)) state.SkipWithError("step failed");
    prefetched += view.Photo() && !view.Decoding();
    view.RenderBackBuffer();
    benchmark::DoNotOptimize(view.BackBuffer());
  }
  state.counters["prefetched"] = prefetched;
  Counters(state, view, doc, *queue);
}
BENCHMARK(BM_StepPrefetched)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The interface thread's queue, timed: how long each task it runs keeps it
// from answering the user.
class TimedQueue : public platform::Dispatcher {
 public:
  void Post(std::function<void()> task) override {
    queue.Post([this, task = std::move(task)] {
      const auto t0 = std::chrono::steady_clock::now();
      task();
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      busyMs += ms;
      longestMs = std::max(longestMs, ms);
    });
  }
  kv::viewer::testing::QueueDispatcher queue;
  double busyMs = 0, longestMs = 0;
};

// A folder of `count` copies of the benchmark's photo.
std::string StepFolder(int count) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kv_viewer_bench_" + std::to_string(::getpid()) + "_steps");
  if (!std::filesystem::exists(dir / "p00.kvi")) {
    std::filesystem::create_directories(dir);
    ActualSizeFile f;
    f.jpegName = "bench.jpg";
    f.registrations = {MakeRegistration(2800, 2000, 3200, 2000, 100)};
    f.jpegBytes = PhotoJpeg();
    std::string reason;
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "p%02d.kvi", i);
      WriteActualSizeFile((dir / name).string(), f, reason);
    }
  }
  return dir.string() + "/";
}

// A step to a photo that was not read ahead: how long the interface thread
// is busy in the step and in the deliveries (it stays free while the file
// is read and decoded), and the step's time to the whole photo.
void BM_StepNotReadAhead(benchmark::State& state) {
  const std::string folder = StepFolder(11);
  auto queue = std::make_shared<TimedQueue>();
  KovalindraDoc doc{platform::Services{nullptr, nullptr, nullptr, queue},
                    SettingsLocation{"/nonexistent/", ""}};
  KovalindraView view{doc, nullptr};
  view.OnSize(kClientW, kClientH);
  if (!doc.OpenDocument(folder + "p00.kvi")) state.SkipWithError("open failed");
  view.OnInitialUpdate();
  queue->queue.RunUntil([&] { return doc.Session().State() == PhotoState::Whole; });
  double busy = 0, longest = 0, stepMs = 0;
  int64_t n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    queue->queue.RunUntil([&] { return doc.Session().LiveJobs() == 0 || doc.Session().AheadReady(); });
    doc.Session().DropAhead();  // the step misses the read-ahead
    queue->queue.RunUntil([&] { return doc.Session().LiveJobs() == 0; });
    queue->busyMs = queue->longestMs = 0;
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    if (!view.StepPhoto(+1)) state.SkipWithError("step failed");
    const double inStep = Since(t0);
    queue->queue.RunUntil([&] { return doc.Session().State() == PhotoState::Whole; });
    stepMs += Since(t0);
    busy += inStep + queue->busyMs;
    longest = std::max({longest, inStep, queue->longestMs});
    ++n;
  }
  state.counters["ui_busy_ms"] = busy / double(std::max<int64_t>(n, 1));
  state.counters["ui_longest_ms"] = longest;
  state.counters["to_whole_ms"] = stepMs / double(std::max<int64_t>(n, 1));
  Counters(state, view, doc, queue->queue);
}
BENCHMARK(BM_StepNotReadAhead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Ten Page Downs 30 ms apart from the first photo of a folder: the time
// from the first key to the tenth photo whole on screen, with what the
// interface thread was busy for in between.
void BM_QuickSteps(benchmark::State& state) {
  const std::string folder = StepFolder(11);
  double landed = 0, busy = 0, longest = 0;
  int64_t n = 0;
  size_t mostJobs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto queue = std::make_shared<TimedQueue>();
    auto doc = std::make_unique<KovalindraDoc>(platform::Services{nullptr, nullptr, nullptr, queue},
                                               SettingsLocation{"/nonexistent/", ""});
    auto view = std::make_unique<KovalindraView>(*doc, nullptr);
    view->OnSize(kClientW, kClientH);
    doc->OpenDocument(folder + "p00.kvi");
    view->OnInitialUpdate();
    queue->queue.RunUntil([&] { return doc->Session().State() == PhotoState::Whole; });
    queue->busyMs = queue->longestMs = 0;
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    double inSteps = 0;
    for (int k = 0; k < 10; ++k) {
      const auto s0 = std::chrono::steady_clock::now();
      view->StepPhoto(+1);
      inSteps += Since(s0);
      longest = std::max(longest, Since(s0));
      if (k < 9) queue->queue.RunUntil([] { return false; }, std::chrono::milliseconds(30));
    }
    queue->queue.RunUntil([&] {
      return doc->Session().State() == PhotoState::Whole && doc->PathName() == folder + "p10.kvi";
    });
    landed += Since(t0);
    busy += inSteps + queue->busyMs;
    longest = std::max(longest, queue->longestMs);
    mostJobs = std::max(mostJobs, doc->Session().MostLiveJobs());
    ++n;
    state.PauseTiming();
    view.reset();
    doc.reset();
    state.ResumeTiming();
  }
  state.counters["landed_ms"] = landed / double(std::max<int64_t>(n, 1));
  state.counters["ui_busy_ms"] = busy / double(std::max<int64_t>(n, 1));
  state.counters["ui_longest_ms"] = longest;
  state.counters["most_live_jobs"] = double(mostJobs);
}
BENCHMARK(BM_QuickSteps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

// Closing the window while a 100-megapixel photo decodes: the time the
// document and the view take to go, workers stopped and joined.
void BM_CloseWhileDecoding(benchmark::State& state) {
  static const std::string path = [] {
    DibImage img(10000, 10000);
    img.padBytes = DibPadBytes(10000);
    img.byteSize = uint32_t(img.Stride() * size_t(10000));
    img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
    std::minstd_rand rng(3);
    for (int32_t y = 0; y < 10000; ++y) {
      uint8_t* row = img.Row(y);
      for (int32_t x = 0; x < 10000 * 3; ++x) row[x] = uint8_t((x / 3 + y) / 50 + rng() % 24);
    }
    ActualSizeFile f;
    f.jpegName = "big.jpg";
    f.jpegBytes = EncodeJpeg(img, 90);
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kv_viewer_bench_" + std::to_string(::getpid()) + "_big");
    std::filesystem::create_directories(dir);
    const std::string p = (dir / "big.kvi").string();
    std::string reason;
    WriteActualSizeFile(p, f, reason);
    return p;
  }();
  double worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::shared_ptr<kv::viewer::testing::QueueDispatcher> queue =
      std::make_shared<kv::viewer::testing::QueueDispatcher>();
    auto doc = std::make_unique<KovalindraDoc>(platform::Services{nullptr, nullptr, nullptr, queue},
                                               SettingsLocation{"/nonexistent/", ""});
    auto view = std::make_unique<KovalindraView>(*doc, nullptr);
    view->OnSize(kClientW, kClientH);
    std::atomic<bool> decoding{false};
    doc->Session().SetWorkerHook([&](WorkerStage s, const std::string&) {
      if (s == WorkerStage::Decode) decoding = true;
    });
    doc->OpenDocument(path);
    queue->RunUntil([&] { return decoding.load(); });
    // Well into the decode.
    std::this_thread::sleep_for(std::chrono::milliseconds(200 * (state.iterations() % 3 + 1)));
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    view.reset();
    doc.reset();
    worst = std::max(worst, Since(t0));
  }
  state.counters["worst_ms"] = worst;
}
BENCHMARK(BM_CloseWhileDecoding)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

// Reading the ".kvi" file alone: what opening adds before any decode.
void BM_ReadKvi(benchmark::State& state) {
  const std::string path = KviPath(1);
  for (auto _ : state) {
    ActualSizeFile f;
    std::string reason;
    if (!ReadActualSizeFile(path, f, reason)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(f.jpegBytes.data());
  }
}
BENCHMARK(BM_ReadKvi)->Unit(benchmark::kMillisecond)->UseRealTime();

// The viewer's decode on its own: the library writing four-byte pixels, at
// 1 / 2^shift (first arg), with the thumbnail; what a first frame costs.
// Second arg: 0 the benchmark's photo, 1 the smooth one.
void BM_DecodePhoto(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = state.range(1) ? SmoothJpeg() : PhotoJpeg();
  state.counters["bytes_per_pixel"] = double(jpeg.size()) / (double(kPhotoW) * kPhotoH);
  for (auto _ : state) {
    DecodedPhoto photo = DecodePhoto(jpeg, 1, int(state.range(0)));
    if (!photo.image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(photo.image.get());
  }
}
BENCHMARK(BM_DecodePhoto)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The same whole decode of the photo shown upright: what a photo stored
// sideways adds, without the rest of opening. Args: the orientation it is
// turned by (1 for none), threads (1, or 0 for all).
void BM_DecodePhotoTurned(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  Threads threads(state.range(1));
  for (auto _ : state) {
    DecodedPhoto photo = DecodePhoto(jpeg, Orientation(state.range(0)), 0);
    if (!photo.image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(photo.image.get());
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_DecodePhotoTurned)->ArgsProduct({{1, 6, 3}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Our decoder: header checks, pixel budget, scan bound, padded BGR record.
void BM_DecodeJpeg(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  DibImage out;
  for (auto _ : state) {
    out.Reset();
    if (DecodeJpegBuffer(jpeg.data(), jpeg.size(), out) != 1) state.SkipWithError("decode failed");
  }
  state.counters["jpeg_MB"] = double(jpeg.size()) / 1048576.0;
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The library alone into a buffer allocated once: what our decoder is
// measured against.
// Arg: 0 the benchmark's photo, 1 the smooth one.
void BM_DecodeJpegRaw(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = state.range(0) ? SmoothJpeg() : PhotoJpeg();
  tjhandle tj = tjInitDecompress();
  const int pitch = int(size_t(kPhotoW) * 3 + DibPadBytes(kPhotoW));
  std::vector<uint8_t> buffer(size_t(pitch) * kPhotoH);
  for (auto _ : state) {
    if (tjDecompress2(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), buffer.data(),
                      kPhotoW, pitch, kPhotoH, TJPF_BGR, 0) != 0)
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(buffer.data());
  }
  tjDestroy(tj);
}
BENCHMARK(BM_DecodeJpegRaw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The same with a fresh buffer per photo, as a decoder that hands out a new
// record must have: the difference is the cost of the memory itself.
void BM_DecodeJpegRawFreshBuffer(benchmark::State& state) {
  const std::vector<uint8_t>& jpeg = PhotoJpeg();
  tjhandle tj = tjInitDecompress();
  const int pitch = int(size_t(kPhotoW) * 3 + DibPadBytes(kPhotoW));
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(pitch) * kPhotoH]);
    if (tjDecompress2(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), buffer.get(),
                      kPhotoW, pitch, kPhotoH, TJPF_BGR, 0) != 0)
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(buffer.get());
  }
  tjDestroy(tj);
}
BENCHMARK(BM_DecodeJpegRawFreshBuffer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// The navigator's 240 x 240 overview of the photo.
void BM_Thumbnail(benchmark::State& state) {
  static const DibImage photo = SyntheticPhoto();
  DibSectionImage section;
  CreateThumbnailDib(section);
  ImageScaler scaler;
  for (auto _ : state) {
    scaler.ResampleToThumbnail(photo, section.image);
    benchmark::DoNotOptimize(section.image.pixels.get());
  }
}
BENCHMARK(BM_Thumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

// Turning a decoded 24-megapixel photo upright. Arg: the orientation.
void BM_OrientImage(benchmark::State& state) {
  static const DibImage photo = SyntheticPhoto();
  for (auto _ : state) {
    state.PauseTiming();
    DibImage copy(photo.width, photo.height);
    copy.padBytes = photo.padBytes;
    copy.byteSize = photo.byteSize;
    copy.pixels = std::make_unique<uint8_t[]>(photo.byteSize);
    std::memcpy(copy.pixels.get(), photo.pixels.get(), photo.byteSize);
    state.ResumeTiming();
    OrientImage(copy, Orientation(state.range(0)));
    benchmark::DoNotOptimize(copy.pixels.get());
  }
}
BENCHMARK(BM_OrientImage)->Arg(3)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
