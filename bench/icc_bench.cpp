// Turning a 24-megapixel photo with a wide-gamut profile into sRGB, as
// both programs do after decoding, the transform already built. Beside it
// the decode of the same size (BM_DecodeJpeg) says what the conversion adds
// to opening a photo.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "foundation/core/image/icc.h"

namespace {

constexpr int kPhotoW = 6000, kPhotoH = 4000;

// Display P3: wider primaries, D65, the sRGB curve.
std::vector<uint8_t> P3Profile() {
  const cmsCIExyY d65{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgbCurve);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&d65, &p3, curves);
  cmsFreeToneCurve(curve);
  cmsUInt32Number n = 0;
  std::vector<uint8_t> bytes;
  if (p && cmsSaveProfileToMem(p, nullptr, &n)) {
    bytes.resize(n);
    cmsSaveProfileToMem(p, bytes.data(), &n);
  }
  if (p) cmsCloseProfile(p);
  return bytes;
}

// Photo-like content: gradients with fine noise, so that the tables are
// read all over rather than at one entry.
kv::DibImage Photo() {
  kv::DibImage img(kPhotoW, kPhotoH);
  img.padBytes = kv::DibPadBytes(kPhotoW);
  img.byteSize = uint32_t(img.Stride() * size_t(kPhotoH));
  img.pixels.reset(new uint8_t[img.byteSize]());
  uint32_t s = 12345;
  for (int y = 0; y < kPhotoH; ++y) {
    uint8_t* p = img.Row(y);
    for (int x = 0; x < kPhotoW; ++x, p += 3) {
      s = s * 1664525u + 1013904223u;
      const int n = int(s >> 28) - 8;
      p[0] = uint8_t(std::clamp(x * 255 / kPhotoW + n, 0, 255));
      p[1] = uint8_t(std::clamp(y * 255 / kPhotoH + n, 0, 255));
      p[2] = uint8_t(std::clamp(((x ^ y) & 255) + n, 0, 255));
    }
  }
  return img;
}

void BM_ConvertToSrgb(benchmark::State& state) {
  const std::vector<uint8_t> profile = P3Profile();
  kv::DibImage image = Photo();
  // The first call builds the transform; what is measured is every photo
  // after it.
  if (!kv::ConvertToSrgb(image, profile)) state.SkipWithError("profile refused");
  for (auto _ : state) {
    // In place again and again: the colours drift towards sRGB's edge, but
    // the work per pixel stays the same.
    if (!kv::ConvertToSrgb(image, profile)) state.SkipWithError("profile refused");
    benchmark::DoNotOptimize(image.pixels.get());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(double(kPhotoW) * kPhotoH / 1e6 * double(state.iterations()),
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertToSrgb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
