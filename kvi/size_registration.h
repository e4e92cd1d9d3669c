#pragma once
#include <cstdint>
#include <optional>
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

// Millimetres per photo pixel: the length over the distance between the
// ends (the same whether the photo is upright or as stored, as turning
// keeps distances). None without a length or when the ends coincide. The
// real-size display, measuring and paper all take their scale from here.
std::optional<double> MmPerPhotoPixel(const SizeRegistration& r);

// Why a registration can never give a scale on a photo of this size
// (photo pixels as the registration counts them; a size of 0 x 0 skips the
// photo's bounds).
enum class RegistrationFault { None, NoLength, SamePoints, OutsidePhoto };
RegistrationFault FindRegistrationFault(const SizeRegistration& r, int32_t photoWidth,
                                        int32_t photoHeight);
// The centre as the two ends give it: a stored centre that differs was not
// written by this format's writers.
inline bool CentreMatches(const SizeRegistration& r) {
  return MakeRegistration(r.startX, r.startY, r.endX, r.endY, r.lengthMm) == r;
}

}  // namespace kv
