#include "authoring/model/marker_detect.h"

#include <apriltag/apriltag.h>
#include <apriltag/tag36h11.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace kv::authoring {

double DetectedMarker::Side(int i) const {
  const int j = (i + 1) % 4;
  return std::hypot(x[j] - x[i], y[j] - y[i]);
}

double DetectedMarker::MeanSide() const { return (Side(0) + Side(1) + Side(2) + Side(3)) / 4; }

double DetectedMarker::SideSpread() const {
  double lo = Side(0), hi = lo;
  for (int i = 1; i < 4; ++i) {
    lo = std::min(lo, Side(i));
    hi = std::max(hi, Side(i));
  }
  return lo > 0 ? (hi - lo) / lo : 1e9;
}

struct MarkerDetector::Library {
  apriltag_family_t* family = nullptr;
  apriltag_detector_t* detector = nullptr;
  std::vector<uint8_t> grey;
};

MarkerDetector::MarkerDetector() : lib_(std::make_unique<Library>()) {
  lib_->family = tag36h11_create();
  lib_->detector = apriltag_detector_create();
  apriltag_detector_add_family(lib_->detector, lib_->family);
  // The library's own worker pool is not safe: its workers read the task
  // list while the caller still grows it, and a worker that starts late is
  // counted as finished, so now and then a worker calls through a stale
  // task and the process dies. Its work runs on the calling thread; callers
  // with many photos run one detector per thread.
  lib_->detector->nthreads = 1;
  // Quads are found on a photo halved (or more, for large ones) and then
  // snapped to the edges of the full one: as exact, several times faster.
  lib_->detector->quad_decimate = 2;
  lib_->detector->quad_sigma = 0;
  lib_->detector->refine_edges = true;
  lib_->detector->decode_sharpening = 0.25;
}

MarkerDetector::~MarkerDetector() {
  apriltag_detector_destroy(lib_->detector);
  tag36h11_destroy(lib_->family);
}

std::vector<DetectedMarker> MarkerDetector::Detect(const DibImage& photo) {
  std::vector<DetectedMarker> found;
  if (!photo.HasImage() || photo.width <= 0 || photo.height <= 0 || photo.bitsPerPixel != 24)
    return found;
  const int32_t w = photo.width, h = photo.height;
  // The library's grey rows, aligned as its own images are.
  const int32_t stride = (w + 95) / 96 * 96;
  lib_->grey.assign(size_t(stride) * size_t(h), 0);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = photo.Row(y);
    uint8_t* d = lib_->grey.data() + size_t(y) * size_t(stride);
    for (int32_t x = 0; x < w; ++x, s += 3) d[x] = uint8_t((s[0] * 29 + s[1] * 150 + s[2] * 77) >> 8);
  }
  image_u8_t image = {w, h, stride, lib_->grey.data()};
  // Larger photos are searched on a coarser grid; the edges are refined on
  // the full photo all the same.
  const double megapixels = double(w) * double(h) / 1e6;
  lib_->detector->quad_decimate = megapixels > 12 ? 4.0f : megapixels > 3 ? 3.0f : 2.0f;
  zarray_t* detections = apriltag_detector_detect(lib_->detector, &image);
  for (int i = 0; i < zarray_size(detections); ++i) {
    apriltag_detection_t* d = nullptr;
    zarray_get(detections, i, &d);
    if (d->hamming > 0) continue;  // a guess is no measurement
    DetectedMarker m;
    m.id = d->id;
    for (int k = 0; k < 4; ++k) {
      m.x[k] = d->p[k][0];
      m.y[k] = d->p[k][1];
    }
    found.push_back(m);
  }
  apriltag_detections_destroy(detections);
  lib_->grey = {};
  std::sort(found.begin(), found.end(), [](const DetectedMarker& a, const DetectedMarker& b) {
    if (a.id != b.id) return a.id < b.id;
    return std::tie(a.y[0], a.x[0]) < std::tie(b.y[0], b.x[0]);
  });
  return found;
}

SizeRegistration MarkerRegistration(const DetectedMarker& m, int32_t sizeMm) {
  const double mean = m.MeanSide();
  int best = 0;
  for (int i = 1; i < 4; ++i)
    if (std::abs(m.Side(i) - mean) < std::abs(m.Side(best) - mean)) best = i;
  const int next = (best + 1) % 4;
  // Corners lie on pixel edges; the pixel whose centre is nearest holds them.
  auto pixel = [](double v) { return int32_t(std::lround(v - 0.5)); };
  return MakeRegistration(pixel(m.x[best]), pixel(m.y[best]), pixel(m.x[next]), pixel(m.y[next]),
                          sizeMm);
}

std::string CheckMarkerSize(int32_t sizeMm) {
  if (sizeMm >= kMinMarkerMm && sizeMm <= kMaxMarkerMm) return {};
  return "ﾏｰｶｰの大きさは" + std::to_string(kMinMarkerMm) + "から" + std::to_string(kMaxMarkerMm) +
         "までの整数(mm)で入力して下さい。";
}

MarkerOutcome RegistrationsFromMarkers(const std::vector<DetectedMarker>& markers, int32_t sizeMm) {
  MarkerOutcome out;
  out.refusal = CheckMarkerSize(sizeMm);
  if (!out.Ok()) return out;
  if (markers.empty()) {
    out.refusal = "ﾏｰｶｰが見つかりません。\rﾏｰｶｰ用紙のﾏｰｶｰが周りの白い余白まで全部写るように、"
                  "明るい所で撮影して下さい。";
    return out;
  }
  char text[400];
  for (size_t i = 0; i < markers.size(); ++i) {
    const DetectedMarker& m = markers[i];
    const double side = m.MeanSide();
    if (side < kMarkerMinSidePx) {
      // The marker's image grows as the camera comes nearer.
      std::snprintf(text, sizeof text,
                    "ﾏｰｶｰ(番号 %d)が小さすぎて正確に測れません。\r"
                    "写真の上で一辺 %.0f ﾋﾟｸｾﾙですが、%.0f ﾋﾟｸｾﾙ以上必要です。\r"
                    "今の約 %.0f%% の距離まで近づくか、大きいﾏｰｶｰで撮影して下さい。",
                    m.id, side, kMarkerMinSidePx, std::floor(side / kMarkerMinSidePx * 100));
      out.refusal = text;
      out.registrations.clear();
      return out;
    }
    if (m.SideSpread() > kMarkerMaxSideSpread) {
      std::snprintf(text, sizeof text,
                    "ﾏｰｶｰ(番号 %d)の辺の長さが %.1f%% 違います(許容は %.0f%% まで)。\r"
                    "写真が正面から撮られていません。ﾏｰｶｰを商品と同じ面に平らに置き、"
                    "真上から傾けずに撮影して下さい。",
                    m.id, m.SideSpread() * 100, kMarkerMaxSideSpread * 100);
      out.refusal = text;
      out.registrations.clear();
      return out;
    }
    out.registrations.push_back(MarkerRegistration(m, sizeMm));
  }
  return out;
}

}  // namespace kv::authoring
