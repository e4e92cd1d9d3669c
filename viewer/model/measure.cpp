#include "viewer/model/measure.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace kv::viewer {
namespace {

// Fixed decimals without the C library's locale: the toolkit sets the
// user's locale at start-up, and a German one would write "150,0".
std::string Fixed(double value, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) return "?";
  return std::string(buf, r.ptr);
}

int32_t ToClient(double scaled, int32_t offset) {
  // A point mapped in from a device pixel comes back a hair short of it;
  // the nudge returns it to that pixel and leaves integral values alone.
  const double nudged = scaled + (scaled >= 0 ? 1e-7 : -1e-7);
  const int64_t v = int64_t(TruncToInt(nudged)) + offset;
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

double ZoomOf(const ViewScale& s) { return s.HasScale() ? s.zoom : 1.0; }

}  // namespace

MeasureScale MeasureScaleFor(const RegistrationList& registrations, int32_t currentPoint) {
  MeasureScale s;
  if (registrations.empty()) return s;
  if (currentPoint < 0 || size_t(currentPoint) >= registrations.size()) {
    s.source = MeasureScale::Source::NoCurrentPoint;
    return s;
  }
  const SizeRegistration& r = registrations[size_t(currentPoint)];
  s.index = currentPoint;
  s.lengthMm = r.lengthMm;
  const std::optional<double> mm = MmPerPhotoPixel(r);
  if (!mm) {
    s.source = MeasureScale::Source::Unusable;
    return s;
  }
  s.source = MeasureScale::Source::Registration;
  s.mmPerPixel = *mm;
  return s;
}

double Measurement::Pixels() const { return std::hypot(to.x - from.x, to.y - from.y); }

std::optional<double> Measurement::Millimetres(const MeasureScale& scale) const {
  if (!scale.HasMillimetres()) return std::nullopt;
  return Pixels() * scale.mmPerPixel;
}

std::string MeasureCaption(const Measurement& m, const MeasureScale& scale) {
  const std::string px = Fixed(m.Pixels(), 0) + " px";
  const std::optional<double> mm = m.Millimetres(scale);
  return mm ? Fixed(*mm, 1) + " mm (" + px + ")" : px;
}

std::string MeasureScaleText(const MeasureScale& scale) {
  const std::string number = std::to_string(int64_t(scale.index) + 1);
  switch (scale.source) {
    case MeasureScale::Source::Registration:
      return "計測: ｻｲｽﾞ情報 " + number + " (" + std::to_string(scale.lengthMm) + " mm) の縮尺";
    case MeasureScale::Source::NoRegistrations: return "ｻｲｽﾞ情報がないためﾋﾟｸｾﾙで計測";
    case MeasureScale::Source::NoCurrentPoint: return "原寸大表示ﾎﾟｲﾝﾄがないためﾋﾟｸｾﾙで計測";
    case MeasureScale::Source::Unusable: return "ｻｲｽﾞ情報 " + number + " が使えないためﾋﾟｸｾﾙで計測";
  }
  return {};
}

PhotoPointF PhotoPointAt(const ViewScale& s, int32_t x, int32_t y) {
  const double z = ZoomOf(s);
  return {(double(x) - s.offsetX) / z + s.originX, (double(y) - s.offsetY) / z + s.originY};
}

int32_t MeasureClientX(const ViewScale& s, double photoX) {
  return ToClient((photoX - s.originX) * ZoomOf(s), s.offsetX);
}
int32_t MeasureClientY(const ViewScale& s, double photoY) {
  return ToClient((photoY - s.originY) * ZoomOf(s), s.offsetY);
}

std::optional<PhotoPointF> SnapToRegistrationEnd(const RegistrationList& registrations,
                                                 const ViewScale& s, int32_t x, int32_t y,
                                                 double radius) {
  std::optional<PhotoPointF> best;
  double bestDistance = radius;
  auto consider = [&](int32_t px, int32_t py) {
    // Measured to the pixel the guide line ends on, which is what the user aims at.
    const double d = std::hypot(double(s.ClientX(px)) - x, double(s.ClientY(py)) - y);
    if (d < bestDistance || (!best && d <= bestDistance)) {
      bestDistance = d;
      best = PhotoPointF{double(px), double(py)};
    }
  };
  for (const SizeRegistration& r : registrations) {
    consider(r.startX, r.startY);
    consider(r.endX, r.endY);
  }
  return best;
}

void MeasureList::Begin(PhotoPointF at) {
  pending_ = Measurement{at, at};
  dragging_ = true;
}

void MeasureList::MoveTo(PhotoPointF at) {
  if (dragging_) pending_.to = at;
}

bool MeasureList::End(PhotoPointF at) {
  if (!dragging_) return false;
  dragging_ = false;
  pending_.to = at;
  if (pending_.from == pending_.to) return false;
  done_.push_back(pending_);
  return true;
}

void MeasureList::Clear() {
  done_.clear();
  dragging_ = false;
}

std::optional<Measurement> MeasureList::Pending() const {
  if (!dragging_) return std::nullopt;
  return pending_;
}

std::vector<MeasureLine> MeasureLines(const MeasureList& list, const ViewScale& s,
                                      const MeasureScale& scale) {
  std::vector<MeasureLine> out;
  auto add = [&](const Measurement& m, bool pending) {
    out.push_back({MeasureClientX(s, m.from.x), MeasureClientY(s, m.from.y),
                   MeasureClientX(s, m.to.x), MeasureClientY(s, m.to.y), MeasureCaption(m, scale),
                   pending});
  };
  for (const Measurement& m : list.Done()) add(m, false);
  if (const std::optional<Measurement> p = list.Pending()) add(*p, true);
  return out;
}

bool SegmentTouchesBox(double x1, double y1, double x2, double y2, double halfWidth,
                       const LabelBox& box) {
  // Clip the segment against the box grown by the half width (Liang-Barsky).
  const double left = box.x - halfWidth, right = box.x + box.width + halfWidth;
  const double top = box.y - halfWidth, bottom = box.y + box.height + halfWidth;
  const double dx = x2 - x1, dy = y2 - y1;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - left, right - x1, y1 - top, bottom - y1};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
  }
  return t0 <= t1;
}

std::vector<LabelBox> PlaceMeasureLabels(const std::vector<MeasureLine>& lines,
                                         const std::vector<std::pair<double, double>>& sizes,
                                         double viewWidth, double viewHeight, double lineWidth,
                                         double clearance) {
  std::vector<LabelBox> placed;
  const size_t n = std::min(lines.size(), sizes.size());
  placed.reserve(n);
  const double halfLine = lineWidth / 2 + clearance;
  for (size_t i = 0; i < n; ++i) {
    const MeasureLine& m = lines[i];
    const auto [w, h] = sizes[i];
    const double ax = m.x1 + 0.5, ay = m.y1 + 0.5, bx = m.x2 + 0.5, by = m.y2 + 0.5;
    const double dx = bx - ax, dy = by - ay, length = std::hypot(dx, dy);
    // Across the line, the upper side first; straight up for a dot.
    double nx = length > 0 ? -dy / length : 0.0, ny = length > 0 ? dx / length : -1.0;
    if (ny > 0 || (ny == 0 && nx > 0)) {
      nx = -nx;
      ny = -ny;
    }
    // How far the box reaches along the normal from its centre.
    const double reach = std::fabs(nx) * w / 2 + std::fabs(ny) * h / 2;
    auto cover = [&](const LabelBox& b) {
      int hits = 0;
      for (const MeasureLine& l : lines)
        if (SegmentTouchesBox(l.x1 + 0.5, l.y1 + 0.5, l.x2 + 0.5, l.y2 + 0.5, halfLine, b))
          ++hits;
      for (const LabelBox& o : placed) {
        const LabelBox grown{o.x - clearance, o.y - clearance, o.width + 2 * clearance,
                             o.height + 2 * clearance};
        if (grown.Overlaps(b)) ++hits;
      }
      return hits;
    };
    std::optional<LabelBox> best;
    int bestHits = 0;
    for (double out : {0.0, 1.0, 2.5, 4.0}) {
      for (double t : {0.5, 0.35, 0.65, 0.2, 0.8}) {
        for (int side : {1, -1}) {
          const double d = halfLine + reach + 1.0 + out * h;
          const double cx = ax + dx * t + side * nx * d, cy = ay + dy * t + side * ny * d;
          LabelBox b{cx - w / 2, cy - h / 2, w, h};
          b.x = std::clamp(b.x, 0.0, std::max(0.0, viewWidth - w));
          b.y = std::clamp(b.y, 0.0, std::max(0.0, viewHeight - h));
          const int hits = cover(b);
          if (!best || hits < bestHits) {
            best = b;
            bestHits = hits;
          }
          if (hits == 0) break;
        }
        if (bestHits == 0) break;
      }
      if (bestHits == 0) break;
    }
    placed.push_back(*best);
  }
  return placed;
}

}  // namespace kv::viewer
