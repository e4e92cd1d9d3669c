// The JPEG decoder. Every stream ends in a clean success or failure: a
// decoded record is as large as its fields say and within the bounds on
// pixels; a failure has a reason and leaves either the photo held before
// (refused from the header) or no photo. The four-byte decode, reduced as
// the viewer's first frames are, writes only inside the block it was given,
// at the size rounded up from the photo's. So does the photo decoded as
// shown, turned band by band, whole or a part of it.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/shown_photo.h"
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

  const int shift = int(size % 4);
  std::vector<uint8_t> bgra;
  uint32_t w = 0, h = 0;
  const kv::JpegAllocator into = [&](uint32_t width, uint32_t height, size_t stride) {
    w = width;
    h = height;
    FUZZ_CHECK(stride == size_t(width) * 4);
    bgra.resize(stride * height);  // exactly: a write beyond it is caught
    return kv::JpegTarget{bgra.data(), stride};
  };
  if (kv::DecodeJpegBgra(data, size, shift, into, reason) == 1) {
    FUZZ_CHECK(w == ((uint32_t(image.width) + (1u << shift) - 1) >> shift));
    FUZZ_CHECK(h == ((uint32_t(image.height) + (1u << shift) - 1) >> shift));
  } else {
    FUZZ_CHECK(!reason.empty());
  }

  const kv::Orientation o = kv::Orientation(2 + size % 7);
  const bool swaps = kv::SwapsSides(o);
  const uint32_t rw = (uint32_t(image.width) + (1u << shift) - 1) >> shift;
  const uint32_t rh = (uint32_t(image.height) + (1u << shift) - 1) >> shift;
  const kv::JpegAllocator shown = [&](uint32_t width, uint32_t height, size_t stride) {
    FUZZ_CHECK(width == (swaps ? rh : rw) && height == (swaps ? rw : rh));
    bgra.assign(stride * height, 0);
    return kv::JpegTarget{bgra.data(), stride};
  };
  if (kv::DecodeShownSrgb(data, size, o, shift, shown, reason) != 1) FUZZ_CHECK(!reason.empty());
  kv::DibImage part;
  const kv::ImageRect crop{int32_t(size % 3), 1, int32_t(rw / 2), int32_t(rh / 3)};
  if (kv::DecodeShownSrgb(data, size, o, part, reason, &crop, shift) == 1) {
    FUZZ_CHECK(part.width == crop.width && part.height == crop.height);
    FUZZ_CHECK(part.byteSize == part.Stride() * size_t(part.height));
  } else {
    FUZZ_CHECK(!reason.empty() && !part.HasImage());
  }
  return 0;
}
