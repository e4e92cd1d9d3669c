#include "viewer/model/measure.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "foundation/core/util/geometry.h"

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

std::optional<double> MmPerPhotoPixel(const SizeRegistration& r) {
  const double d = PointDistance(r.startX, r.startY, r.endX, r.endY);
  if (r.lengthMm <= 0 || !(d > 0.0)) return std::nullopt;
  return double(r.lengthMm) / d;
}

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

}  // namespace kv::viewer
