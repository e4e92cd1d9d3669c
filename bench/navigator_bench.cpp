// The toolbox navigator's refresh: thumbnail copy, registration lines and
// the visible-part frame, as every view change repaints it.
#ifdef KV_BENCH_GUI
#include <benchmark/benchmark.h>

#include <QApplication>
#include <random>

#include "viewer/model/viewer_document.h"
#include "viewer/model/viewer_view.h"
#include "viewer/widgets/toolbox_window.h"

namespace {

using namespace kv;
using namespace kv::viewer;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "kv_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

void BM_NavigatorRefresh(benchmark::State& state) {
  Application();
  KovalindraDoc doc(platform::Services{}, SettingsLocation{"/nonexistent/", ""});
  KovalindraView view(doc, nullptr);
  // A 6000 x 4000 photo's thumbnail, three registrations, a part of it on show.
  DibImage photo(6000, 4000);
  photo.padBytes = DibPadBytes(6000);
  photo.byteSize = uint32_t(photo.Stride() * 4000);
  photo.pixels = std::make_unique<uint8_t[]>(photo.byteSize);
  std::minstd_rand rng(1);
  for (uint32_t i = 0; i < photo.byteSize; i += 97) photo.pixels[i] = uint8_t(rng());
  IplImageSlot upright;
  MakeColorIplImage(upright, 6000, 4000);
  ConvertFromDib(photo, *upright);
  view.ShowPhoto(std::move(upright));
  view.OnSize(1920, 1080);
  view.MutableScale().zoom = 0.952;
  view.ApplyZoom(3000, 2000);
  ToolboxWindow box(doc, view, ToolboxWindow::Hooks{}, nullptr);
  for (auto _ : state) {
    QImage img = box.ComposeNavigator();
    benchmark::DoNotOptimize(img.constBits());
  }
}
BENCHMARK(BM_NavigatorRefresh)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
#endif
