#pragma once
#include <cstdint>

namespace kv {

constexpr double kPi = 3.14159265358979323846;

// sqrt((x1-x2)^2 + (y1-y2)^2) in double precision (no 32-bit overflow).
double PointDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Direction of the segment in degrees, counter-clockwise on a screen whose
// y axis points down, 0 <= angle < 360; a segment shorter than 0.05 gives 0.
double SegmentAngle(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace kv
