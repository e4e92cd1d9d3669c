#pragma once
// Both programs show a photo upright by its Exif orientation tag, while the
// registrations in files stay in the coordinates of the photo as stored, so
// that files keep their meaning for readers that ignore the tag. Points are
// mapped here, where files are read and written; turning pixels is the
// image layer's.
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

}  // namespace kv
