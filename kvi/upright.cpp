#include "kvi/upright.h"

namespace kv {
namespace {

RegistrationList MapAll(const RegistrationList& in, Orientation o, PixelSize s, bool toShown) {
  if (o < 2 || o > 8) return in;
  RegistrationList out;
  out.reserve(in.size());
  for (const SizeRegistration& r : in) {
    int32_t sx = r.startX, sy = r.startY, ex = r.endX, ey = r.endY;
    if (toShown) {
      StoredToShown(o, s, sx, sy);
      StoredToShown(o, s, ex, ey);
    } else {
      ShownToStored(o, s, sx, sy);
      ShownToStored(o, s, ex, ey);
    }
    out.push_back(MakeRegistration(sx, sy, ex, ey, r.lengthMm));
  }
  return out;
}

}  // namespace

RegistrationList RegistrationsToShown(const RegistrationList& stored, Orientation o,
                                      PixelSize storedSize) {
  return MapAll(stored, o, storedSize, true);
}

RegistrationList RegistrationsToStored(const RegistrationList& shown, Orientation o,
                                       PixelSize storedSize) {
  return MapAll(shown, o, storedSize, false);
}

UprightPhoto ShowUpright(const std::vector<uint8_t>& jpeg, const RegistrationList& stored) {
  UprightPhoto p;
  p.stored = ReadJpegSize(jpeg.data(), jpeg.size());
  p.orientation = ShownOrientation(jpeg.data(), jpeg.size());
  if (p.stored) {
    p.shown = ShownSize(*p.stored, p.orientation);
    p.registrations = RegistrationsToShown(stored, p.orientation, *p.stored);
  } else {
    p.registrations = stored;
  }
  return p;
}

}  // namespace kv
