#include "kvi/size_registration.h"

#include "foundation/core/util/geometry.h"

namespace kv {

SizeRegistration MakeRegistration(int32_t startX, int32_t startY, int32_t endX, int32_t endY,
                                  int32_t lengthMm) {
  // C++ integer division truncates toward zero, as the stored centre must.
  const int64_t cx = int64_t(startX) + (int64_t(endX) - int64_t(startX)) / 2;
  const int64_t cy = int64_t(startY) + (int64_t(endY) - int64_t(startY)) / 2;
  return SizeRegistration{startX, startY, endX, endY, lengthMm, int32_t(cx), int32_t(cy)};
}

std::optional<double> MmPerPhotoPixel(const SizeRegistration& r) {
  const double distance = PointDistance(r.startX, r.startY, r.endX, r.endY);
  if (r.lengthMm <= 0 || !(distance > 0.0)) return std::nullopt;
  return double(r.lengthMm) / distance;
}

RegistrationFault FindRegistrationFault(const SizeRegistration& r, int32_t photoWidth,
                                        int32_t photoHeight) {
  if (r.lengthMm <= 0) return RegistrationFault::NoLength;
  if (r.startX == r.endX && r.startY == r.endY) return RegistrationFault::SamePoints;
  if (photoWidth > 0 && photoHeight > 0) {
    const auto inside = [&](int32_t x, int32_t y) {
      return x >= 0 && y >= 0 && x < photoWidth && y < photoHeight;
    };
    if (!inside(r.startX, r.startY) || !inside(r.endX, r.endY))
      return RegistrationFault::OutsidePhoto;
  }
  return RegistrationFault::None;
}

}  // namespace kv
