// Display-image work: the cubic resize of the visible part of a 24-megapixel
// photo into a full-HD client, and the lookup-table stretch.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <span>
#include <cstdint>

#include "foundation/core/imageops/image.h"

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
