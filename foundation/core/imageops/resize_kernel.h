#pragma once
// Internal: the cubic convolution kernel used by the resampler.
#include <cmath>

namespace kv {

inline constexpr double kCubicA = -0.5;
inline constexpr double kCubicRadius = 2.0;

// Keys' cubic convolution with a = -0.5: interpolating, exact on quadratics.
inline double CubicKernel(double t) {
  t = std::fabs(t);
  if (t < 1.0) return ((kCubicA + 2.0) * t - (kCubicA + 3.0)) * t * t + 1.0;
  if (t < 2.0) return ((kCubicA * t - 5.0 * kCubicA) * t + 8.0 * kCubicA) * t - 4.0 * kCubicA;
  return 0.0;
}

}  // namespace kv
