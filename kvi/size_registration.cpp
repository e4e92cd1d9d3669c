#include "kvi/size_registration.h"

namespace kv {

SizeRegistration MakeRegistration(int32_t startX, int32_t startY, int32_t endX, int32_t endY,
                                  int32_t lengthMm) {
  // C++ integer division truncates toward zero, as the stored centre must.
  const int64_t cx = int64_t(startX) + (int64_t(endX) - int64_t(startX)) / 2;
  const int64_t cy = int64_t(startY) + (int64_t(endY) - int64_t(startY)) / 2;
  return SizeRegistration{startX, startY, endX, endY, lengthMm, int32_t(cx), int32_t(cy)};
}

}  // namespace kv
