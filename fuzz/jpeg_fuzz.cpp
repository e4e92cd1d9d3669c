// The JPEG decoder. Every stream ends in a clean success or failure: a
// decoded record is as large as its fields say and within the bounds on
// pixels; a failure has a reason and leaves either the photo held before
// (refused from the header) or no photo.
#include <cstdint>
#include <string>

#include "foundation/core/image/jpeg_decode.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::DibImage image(1, 1);
  image.padBytes = kv::DibPadBytes(1);
  image.byteSize = 4;
  image.pixels.reset(new uint8_t[4]());
  const uint8_t* before = image.pixels.get();

  std::string reason;
  if (kv::DecodeJpegBuffer(data, size, image, reason) != 1) {
    FUZZ_CHECK(!reason.empty());
    FUZZ_CHECK(!image.HasImage() || (image.pixels.get() == before && image.width == 1));
    return 0;
  }
  FUZZ_CHECK(reason.empty());
  FUZZ_CHECK(image.HasImage() && image.width > 0 && image.height > 0);
  const uint64_t pixels = uint64_t(image.width) * uint64_t(image.height);
  FUZZ_CHECK(pixels <= kv::kJpegMaxPixels && pixels <= size * kv::kJpegMaxPixelsPerByte);
  FUZZ_CHECK(image.bitsPerPixel == 24 && image.padBytes == kv::DibPadBytes(image.width));
  FUZZ_CHECK(image.byteSize == image.Stride() * size_t(image.height));
  // The block really is that long (AddressSanitizer checks the touch).
  volatile uint8_t last = image.pixels[image.byteSize - 1];
  (void)last;
  return 0;
}
