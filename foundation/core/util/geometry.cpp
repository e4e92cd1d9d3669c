#include "foundation/core/util/geometry.h"

#include <cmath>

namespace kv {

double PointDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const double dx = double(x1) - double(x2);
  const double dy = double(y1) - double(y2);
  return std::sqrt(dx * dx + dy * dy);
}

double SegmentAngle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (PointDistance(x1, y1, x2, y2) < 0.05) return 0.0;
  double angle = -std::atan2(double(y2) - double(y1), double(x2) - double(x1)) * 180.0 / kPi;
  if (angle < 0) angle += 360.0;
  // -0.0 and a tiny negative angle plus 360 can round to exactly 360.
  if (angle >= 360.0) angle = 0.0;
  return angle;
}

}  // namespace kv
