#pragma once
#include <cstdint>
#include <vector>

namespace kv {

// One registration on one photo, in full-size photo pixels (x right, y down).
// Memory order is length before centre; the file holds centre before length.
struct SizeRegistration {
  int32_t startX = 0;
  int32_t startY = 0;
  int32_t endX = 0;
  int32_t endY = 0;
  int32_t lengthMm = 0;
  int32_t centerX = 0;
  int32_t centerY = 0;
  bool operator==(const SizeRegistration&) const = default;
};

// The centre is start + (end - start) / 2, truncating toward zero; computed
// in 64 bits so extreme coordinates cannot overflow.
SizeRegistration MakeRegistration(int32_t startX, int32_t startY, int32_t endX, int32_t endY,
                                  int32_t lengthMm);

using RegistrationList = std::vector<SizeRegistration>;

}  // namespace kv
