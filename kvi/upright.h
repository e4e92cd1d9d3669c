#pragma once
// Both programs show a photo upright by its Exif orientation tag, while the
// registrations in files stay in the coordinates of the photo as stored, so
// that files keep their meaning for readers that ignore the tag. Points are
// mapped here, where files are read and written; turning pixels is the
// image layer's.
#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/core/image/orientation.h"
#include "kvi/size_registration.h"

namespace kv {

// Registrations both ways. Orientation 1 returns them untouched (centres as
// stored included); otherwise the two points are mapped and the centre is
// made from them again, so that a shown registration stored and read back
// is the same.
RegistrationList RegistrationsToShown(const RegistrationList& stored, Orientation o,
                                      PixelSize storedSize);
RegistrationList RegistrationsToStored(const RegistrationList& shown, Orientation o,
                                       PixelSize storedSize);

// A photo as the programs show it, from its JPEG bytes alone (no decoding).
struct UprightPhoto {
  // The tag, believed only of a photo whose header gives its size.
  Orientation orientation = 1;
  // The size as stored, from the header; nullopt when it has none.
  std::optional<PixelSize> stored;
  // The size as shown; 0 x 0 without a stored size.
  PixelSize shown;
  // The registrations given, in the shown photo's pixels; as given when
  // there is no stored size to turn them with.
  RegistrationList registrations;
};
UprightPhoto ShowUpright(const std::vector<uint8_t>& jpeg, const RegistrationList& stored = {});

}  // namespace kv
