// The Exif orientation and the stored size, read from the headers of any
// bytes before a photo is decoded. Offsets inside the Exif segment come
// from the file, so every read is bounds-checked (AddressSanitizer sees one
// byte past the input); what comes out is an orientation the programs know
// and a size a frame header can hold, and the points of that size map to
// the upright photo and back to themselves.
#include <cstdint>
#include <optional>

#include "foundation/core/image/orientation.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kv::Orientation o = kv::ReadExifOrientation(data, size);
  FUZZ_CHECK(o >= 1 && o <= 8);
  const std::optional<kv::PixelSize> stored = kv::ReadJpegSize(data, size);
  if (!stored) return 0;
  FUZZ_CHECK(stored->width >= 0 && stored->width <= 65535);
  FUZZ_CHECK(stored->height >= 0 && stored->height <= 65535);
  const kv::PixelSize shown = kv::ShownSize(*stored, o);
  FUZZ_CHECK(uint64_t(shown.width) * uint64_t(shown.height) ==
             uint64_t(stored->width) * uint64_t(stored->height));
  const int32_t corners[4][2] = {{0, 0},
                                 {stored->width - 1, 0},
                                 {0, stored->height - 1},
                                 {stored->width - 1, stored->height - 1}};
  for (const auto& c : corners) {
    int32_t x = c[0], y = c[1];
    kv::StoredToShown(o, *stored, x, y);
    if (stored->width > 0 && stored->height > 0)
      FUZZ_CHECK(x >= 0 && y >= 0 && x < shown.width && y < shown.height);
    kv::ShownToStored(o, *stored, x, y);
    FUZZ_CHECK(x == c[0] && y == c[1]);
  }
  return 0;
}
