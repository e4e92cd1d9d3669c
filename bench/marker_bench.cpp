// Finding the printed marker on a 24-megapixel photo (6000 x 4000, the
// marker's square about 500 pixels a side, turned, blurred, noisy, JPEG),
// on one thread: what "ﾏｰｶｰで自動登録" and each photo of a folder batch
// spend on it. The detector is made once, as
// the batch does per worker. Beside it, a phone photo's import: a 12-
// megapixel HEIC decoded and encoded into the JPEG a ".kvi" carries.
#include <benchmark/benchmark.h>

#include "authoring/model/marker_detect.h"
#include "authoring/tests/marker_photos.h"
#include "foundation/core/image/photo_import.h"
#include "foundation/core/image/tests/phone_photos.h"

namespace {

using kv::authoring::testing::Projection;

const kv::DibImage& MarkerPhoto(int32_t w, int32_t h) {
  static const kv::DibImage photo = [&] {
    const kv::authoring::testing::Grey sheet = kv::authoring::testing::MarkerPicture(0, 64, 40);
    // 512-pixel square at scale 1, shown at 0.98 and turned 21 degrees.
    Projection p = Projection::Similarity(0.98, 21, 0, 0);
    double cx, cy;
    p.Apply(sheet.width / 2.0, sheet.height / 2.0, cx, cy);
    p.h[2] += w * 0.62 - cx;
    p.h[5] += h * 0.41 - cy;
    return kv::authoring::testing::PhotographSheet(sheet, w, h, p, {1, 3, 90, 1});
  }();
  return photo;
}

void BM_DetectMarker24Mp(benchmark::State& state) {
  const kv::DibImage& photo = MarkerPhoto(6000, 4000);
  kv::authoring::MarkerDetector detector;
  size_t found = 0;
  for (auto _ : state) found = detector.Detect(photo).size();
  if (found != 1) state.SkipWithError("the marker was not found");
}
BENCHMARK(BM_DetectMarker24Mp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ImportHeic12Mp(benchmark::State& state) {
  static const std::vector<uint8_t> heic = [] {
    kv::DibImage picture(4032, 3024);
    picture.padBytes = kv::DibPadBytes(4032);
    picture.byteSize = uint32_t(picture.Stride() * 3024);
    picture.pixels.reset(new uint8_t[picture.byteSize]);
    uint32_t s = 1;
    for (int32_t y = 0; y < 3024; ++y)
      for (int32_t x = 0; x < 4032 * 3; ++x) {
        s = s * 1664525u + 1013904223u;
        picture.Row(y)[x] = uint8_t(((x / 3) * 255 / 4032 + (y * 200 / 3024) + (s >> 31)) & 0xFF);
      }
    // Gradients with a bit of grain: about 3.5 MB, as a phone's file.
    return kv::test::EncodeHeic(picture, {6, {}, false, 80});
  }();
  if (heic.empty()) {
    state.SkipWithError("no HEVC encoder");
    return;
  }
  std::string reason;
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> jpeg;
    if (!kv::PhotoToJpeg(heic, jpeg, reason)) state.SkipWithError("import failed");
    bytes = jpeg.size();
  }
  state.counters["jpeg_bytes"] = double(bytes);
}
BENCHMARK(BM_ImportHeic12Mp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace
