#pragma once
// Matching a point of the full-size photo against the registrations: near an
// end point, or near the line between them. The near box is the 12 x 12
// square around the point, left and top edges inside.
#include <cstddef>
#include <cstdint>

#include "kvi/size_registration.h"

namespace kv {

struct RegistrationHit {
  SizeRegistration registration;
  size_t index = 0;   // list position, counted from 0
  int endFlag = 0;    // end test only: 0 start point, 1 end point
};

// 1 when some registration has its start or end point in the near box (the
// first in list order, its start tested before its end), else 0.
int HitTestRegistrationEnd(const RegistrationList& list, int32_t x, int32_t y, RegistrationHit& hit);

// 1 when the line of some registration crosses the near box and the point
// lies strictly between its ends along the segment's longer axis, else 0.
int HitTestRegistrationLine(const RegistrationList& list, int32_t x, int32_t y, RegistrationHit& hit);

}  // namespace kv
