// Display-image work: the cubic resize of the visible part of a 24-megapixel
// photo into a full-HD client, and the lookup-table stretch.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "foundation/core/imageops/image.h"
#include "foundation/core/util/parallel.h"

#if defined(KV_HAVE_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kPhotoW = 6000, kPhotoH = 4000, kClientW = 1920, kClientH = 1080;

// Photo-like content: smooth gradients with fine noise, so the filter's
// arithmetic is exercised on varied values.
const kv::Image& Photo() {
  static const kv::Image photo = [] {
    kv::Image img(kPhotoW, kPhotoH, kv::PixelFormat::kBgra, 255);
    uint32_t s = 12345;
    for (int y = 0; y < kPhotoH; ++y) {
      uint8_t* p = img.Row(y);
      for (int x = 0; x < kPhotoW; ++x, p += 4) {
        s = s * 1664525u + 1013904223u;
        const int n = int(s >> 28) - 8;
        p[0] = uint8_t(std::clamp(x * 255 / kPhotoW + n, 0, 255));
        p[1] = uint8_t(std::clamp(y * 255 / kPhotoH + n, 0, 255));
        p[2] = uint8_t(std::clamp(((x ^ y) & 255) + n, 0, 255));
        p[3] = 255;
      }
    }
    return img;
  }();
  return photo;
}

// The visible part the viewer would hand to the resize at a scale (by
// hundredths), centred on the photo, and the output size it gets.
struct ViewCase {
  kv::Roi roi;
  int outW, outH;
};

ViewCase CaseFor(int scaleHundredths) {
  const double zoom = scaleHundredths / 100.0;
  const int visW = int(kClientW / zoom), visH = int(kClientH / zoom);
  const int ox = std::max(0, std::min(kPhotoW - visW, kPhotoW / 2 - visW / 2));
  const int oy = std::max(0, std::min(kPhotoH - visH, kPhotoH / 2 - visH / 2));
  ViewCase c{{visW > kPhotoW ? 0 : ox, visH > kPhotoH ? 0 : oy, visW, visH}, 0, 0};
  // Pixels written: the part of the client covered by the photo.
  c.outW = int(std::min<int64_t>(kClientW, int64_t(std::min(visW, kPhotoW)) * kClientW / visW));
  c.outH = int(std::min<int64_t>(kClientH, int64_t(std::min(visH, kPhotoH)) * kClientH / visH));
  return c;
}

void SetRate(benchmark::State& state, int64_t pixels) {
  state.counters["out_MP/s"] =
      benchmark::Counter(double(pixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_ResizeCubic(benchmark::State& state) {
  const ViewCase c = CaseFor(int(state.range(0)));
  kv::Image& src = const_cast<kv::Image&>(Photo());
  kv::Image dst(kClientW, kClientH, kv::PixelFormat::kBgra, 255);
  src.SetRoi(c.roi);
  for (auto _ : state) {
    kv::ResizeImage(src, dst, kClientW, c.roi.width, kClientH, c.roi.height);
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
  src.ClearRoi();
  SetRate(state, int64_t(c.outW) * c.outH);
}
BENCHMARK(BM_ResizeCubic)->Arg(27)->Arg(50)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

#if defined(KV_HAVE_OPENCV)
void ResizeOpenCv(benchmark::State& state, int interpolation) {
  cv::setNumThreads(1);
  const ViewCase c = CaseFor(int(state.range(0)));
  kv::Image& src = const_cast<kv::Image&>(Photo());
  const cv::Mat photo(kPhotoH, kPhotoW, CV_8UC4, src.Row(0), src.Stride());
  cv::Mat client(kClientH, kClientW, CV_8UC4, cv::Scalar::all(255));
  const cv::Rect inside(c.roi.x, c.roi.y, std::min(c.roi.width, kPhotoW), std::min(c.roi.height, kPhotoH));
  cv::Mat out = client(cv::Rect(0, 0, c.outW, c.outH));
  for (auto _ : state) {
    cv::resize(photo(inside), out, cv::Size(c.outW, c.outH), 0, 0, interpolation);
    benchmark::DoNotOptimize(out.data);
    benchmark::ClobberMemory();
  }
  SetRate(state, int64_t(c.outW) * c.outH);
}
void BM_ResizeCubicOpenCV(benchmark::State& state) { ResizeOpenCv(state, cv::INTER_CUBIC); }
void BM_ResizeAreaOpenCV(benchmark::State& state) { ResizeOpenCv(state, cv::INTER_AREA); }
BENCHMARK(BM_ResizeCubicOpenCV)->Arg(27)->Arg(50)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResizeAreaOpenCV)->Arg(27)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// ---- the viewer's rebuilds, ours against OpenCV at equal thread counts ----
//
// Real size: the photo at 20/21 (0.952), a centred part into the client.
// Fit: 0.54, which at full HD the viewer draws from the photo halved once
// (3000 x 2000 into 1620 x 1080) and at 4K from the photo itself (6000 x 4000
// into 3240 x 2160). Threads: 1, or 0 for all.

const kv::Image& HalfPhoto() {
  static const kv::Image half = [] {
    kv::Image img;
    kv::HalveImage(Photo(), img);
    return img;
  }();
  return half;
}

struct RebuildCase {
  const char* name;
  bool fromHalf;
  int clientW, clientH, num, den;
};
constexpr RebuildCase kRebuilds[] = {
    {"real_1080", false, 1920, 1080, 20, 21},
    {"real_2160", false, 3840, 2160, 20, 21},
    {"fit_1080", true, 1920, 1080, 27, 50},
    {"fit_2160", false, 3840, 2160, 27, 50},
};

struct RebuildGeometry {
  kv::Roi roi;  // inside the source
  int outW, outH;
};

RebuildGeometry GeometryFor(const RebuildCase& c, const kv::Image& src) {
  const int visW = std::min(src.Width(), int(int64_t(c.clientW) * c.den / c.num));
  const int visH = std::min(src.Height(), int(int64_t(c.clientH) * c.den / c.num));
  return {{(src.Width() - visW) / 2, (src.Height() - visH) / 2, visW, visH},
          int(int64_t(visW) * c.num / c.den), int(int64_t(visH) * c.num / c.den)};
}

void RebuildOurs(benchmark::State& state, const RebuildCase& c, int threads) {
  kv::pool::SetThreads(threads);
  kv::Image& src = const_cast<kv::Image&>(c.fromHalf ? HalfPhoto() : Photo());
  const RebuildGeometry g = GeometryFor(c, src);
  kv::Image dst(c.clientW, c.clientH, kv::PixelFormat::kBgra, 255);
  src.SetRoi(g.roi);
  for (auto _ : state) {
    kv::ResizeImage(src, dst, c.num, c.den, c.num, c.den);
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
  src.ClearRoi();
  kv::pool::SetThreads(0);
  SetRate(state, int64_t(g.outW) * g.outH);
}

void HalveOurs(benchmark::State& state, int threads) {
  kv::pool::SetThreads(threads);
  kv::Image half;
  for (auto _ : state) {
    kv::HalveImage(Photo(), half);
    benchmark::DoNotOptimize(half.Row(0));
    benchmark::ClobberMemory();
  }
  kv::pool::SetThreads(0);
  SetRate(state, int64_t(kPhotoW / 2) * (kPhotoH / 2));
}

#if defined(KV_HAVE_OPENCV)
cv::Mat MatOf(const kv::Image& img) {
  return cv::Mat(img.Height(), img.Width(), CV_8UC4, const_cast<uint8_t*>(img.Row(0)), img.Stride());
}

void RebuildOpenCv(benchmark::State& state, const RebuildCase& c, int threads, int interpolation) {
  cv::setNumThreads(threads == 0 ? cv::getNumberOfCPUs() : threads);
  const kv::Image& src = c.fromHalf ? HalfPhoto() : Photo();
  const RebuildGeometry g = GeometryFor(c, src);
  const cv::Mat photo = MatOf(src);
  cv::Mat client(c.clientH, c.clientW, CV_8UC4, cv::Scalar::all(255));
  cv::Mat out = client(cv::Rect(0, 0, g.outW, g.outH));
  const cv::Rect visible(g.roi.x, g.roi.y, g.roi.width, g.roi.height);
  for (auto _ : state) {
    cv::resize(photo(visible), out, out.size(), 0, 0, interpolation);
    benchmark::DoNotOptimize(out.data);
    benchmark::ClobberMemory();
  }
  cv::setNumThreads(1);
  SetRate(state, int64_t(g.outW) * g.outH);
}

void HalveOpenCv(benchmark::State& state, int threads) {
  cv::setNumThreads(threads == 0 ? cv::getNumberOfCPUs() : threads);
  const cv::Mat photo = MatOf(Photo());
  cv::Mat half;
  for (auto _ : state) {
    cv::resize(photo, half, cv::Size(kPhotoW / 2, kPhotoH / 2), 0, 0, cv::INTER_AREA);
    benchmark::DoNotOptimize(half.data);
    benchmark::ClobberMemory();
  }
  cv::setNumThreads(1);
  SetRate(state, int64_t(kPhotoW / 2) * (kPhotoH / 2));
}
#endif

const bool kRebuildsRegistered = [] {
  for (const int threads : {1, 0}) {
    const std::string t = threads == 1 ? "/threads:1" : "/threads:all";
    for (const RebuildCase& c : kRebuilds) {
      const std::string n = std::string(c.name) + t;
      benchmark::RegisterBenchmark(("BM_Rebuild/" + n).c_str(), RebuildOurs, c, threads)
          ->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(KV_HAVE_OPENCV)
      benchmark::RegisterBenchmark(("BM_RebuildCubicOpenCV/" + n).c_str(), RebuildOpenCv, c, threads, int(cv::INTER_CUBIC))
          ->Unit(benchmark::kMillisecond)->UseRealTime();
      benchmark::RegisterBenchmark(("BM_RebuildAreaOpenCV/" + n).c_str(), RebuildOpenCv, c, threads, int(cv::INTER_AREA))
          ->Unit(benchmark::kMillisecond)->UseRealTime();
#endif
    }
    benchmark::RegisterBenchmark(("BM_Halve" + t).c_str(), HalveOurs, threads)
        ->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(KV_HAVE_OPENCV)
    benchmark::RegisterBenchmark(("BM_HalveAreaOpenCV" + t).c_str(), HalveOpenCv, threads)
        ->Unit(benchmark::kMillisecond)->UseRealTime();
#endif
  }
  return true;
}();

std::array<kv::LookupTable, 3> StretchTables() {
  std::array<kv::LookupTable, 3> t;
  for (int i = 0; i < 256; ++i) {
    t[0][i] = uint8_t(std::clamp(i + 40, 0, 255));
    t[1][i] = uint8_t(std::clamp((i - 127) * 3 / 2 + 127, 0, 255));
    t[2][i] = uint8_t(255 - i);
  }
  return t;
}

// The display-sized image through three tables in one pass.
void BM_ContrastStretch(benchmark::State& state) {
  const ViewCase c = CaseFor(int(state.range(0)));
  kv::Image src(c.outW, c.outH, kv::PixelFormat::kBgra, 255);
  kv::Image dst(c.outW, c.outH, kv::PixelFormat::kBgra, 255);
  const auto tables = StretchTables();
  for (auto _ : state) {
    kv::ContrastStretch(src, dst, tables);
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
  SetRate(state, int64_t(c.outW) * c.outH);
}
BENCHMARK(BM_ContrastStretch)->Arg(27)->Arg(50)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

// One grey plane through one table, as the per-channel adjustment does it.
void BM_ContrastStretchGrayPlane(benchmark::State& state) {
  kv::Image src(kClientW, kClientH, kv::PixelFormat::kGray, 100);
  kv::Image dst(kClientW, kClientH, kv::PixelFormat::kGray, 0);
  const auto tables = StretchTables();
  for (auto _ : state) {
    kv::ContrastStretch(src, dst, std::span(tables).first(1));
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
  SetRate(state, int64_t(kClientW) * kClientH);
}
BENCHMARK(BM_ContrastStretchGrayPlane)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
