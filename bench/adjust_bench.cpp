// Brightness and contrast on the display image, the toolbox navigator's
// refresh: both run after every change of the view.
#include <benchmark/benchmark.h>

#include <random>

#include "foundation/core/imageops/image.h"
#include "viewer/model/adjust.h"

namespace {

using namespace kv;
using namespace kv::viewer;

// Arg: 0 for 1920 x 1080, 1 for 3840 x 2160.
void BM_AdjustBrightnessContrast(benchmark::State& state) {
  const int32_t w = state.range(0) ? 3840 : 1920, h = state.range(0) ? 2160 : 1080;
  Image display(w, h, PixelFormat::kBgra, 0), adjusted(w, h, PixelFormat::kBgra, 0);
  std::minstd_rand rng(3);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * 4; ++x) display.Row(y)[x] = uint8_t(rng());
  int32_t b = 30;
  for (auto _ : state) {
    b = -b;  // a new value pair each time, as the slider moves
    if (!ApplyAdjustment(display, adjusted, b, 40)) state.SkipWithError("adjust failed");
    benchmark::DoNotOptimize(adjusted.Row(0));
  }
  state.counters["MPix"] = double(w) * h / 1e6;
}
BENCHMARK(BM_AdjustBrightnessContrast)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
