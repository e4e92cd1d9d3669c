#include "kvi/hit_test.h"

#include <utility>

#include "foundation/core/util/geometry.h"

namespace kv {
namespace {

constexpr int64_t kNear = 6;

bool InNearBox(int64_t px, int64_t py, int64_t x, int64_t y) {
  return px >= x - kNear && px < x + kNear && py >= y - kNear && py < y + kNear;
}

}  // namespace

int HitTestRegistrationEnd(const RegistrationList& list, int32_t x, int32_t y, RegistrationHit& hit) {
  for (size_t i = 0; i < list.size(); ++i) {
    const SizeRegistration& r = list[i];
    for (int end = 0; end < 2; ++end) {
      const int32_t px = end == 0 ? r.startX : r.endX;
      const int32_t py = end == 0 ? r.startY : r.endY;
      if (InNearBox(px, py, x, y)) {
        hit.registration = r;
        hit.index = i;
        hit.endFlag = end;
        return 1;
      }
    }
  }
  return 0;
}

int HitTestRegistrationLine(const RegistrationList& list, int32_t x, int32_t y, RegistrationHit& hit) {
  for (size_t i = 0; i < list.size(); ++i) {
    const SizeRegistration& r = list[i];
    const double angle = SegmentAngle(r.startX, r.startY, r.endX, r.endY);
    const bool steep = (angle > 45 && angle < 135) || (angle > 225 && angle < 315);
    // (s, t): s along the axis the segment runs farther on.
    double sA = r.startX, tA = r.startY, sB = r.endX, tB = r.endY;
    double s = x, t = y;
    if (steep) {
      std::swap(sA, tA);
      std::swap(sB, tB);
      std::swap(s, t);
    }
    if (sB == sA) continue;  // coinciding points: never hit
    const double m = (tB - tA) / (sB - sA);
    const double b = (sB * tA - sA * tB) / (sB - sA);
    auto side = [&](double cs, double ct) { return m * cs + b - ct; };
    // The box's corners in (s, t); the swap maps the box onto itself.
    const bool crossesA = side(s + kNear, t - kNear) * side(s - kNear, t + kNear) < 0;
    const bool crossesB = side(s - kNear, t - kNear) * side(s + kNear, t + kNear) < 0;
    const bool between = (s > sA && s < sB) || (s > sB && s < sA);
    if ((crossesA || crossesB) && between) {
      hit.registration = r;
      hit.index = i;
      hit.endFlag = 0;
      return 1;
    }
  }
  return 0;
}

}  // namespace kv
