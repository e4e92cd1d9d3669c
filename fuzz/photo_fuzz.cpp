// The PNG and HEIF readers, and the import that turns what they decode into
// a JPEG. Every input ends in a clean success or failure: a decoded record
// is as large as its fields say and within the bounds on pixels, a failure
// has a reason and leaves the output as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/photo_import.h"
#include "fuzz/fuzz_check.h"

namespace {

void CheckDecoded(int ok, const kv::DecodedPhoto& photo, const std::string& reason, size_t size,
                  uint64_t perByte) {
  if (ok != 1) {
    FUZZ_CHECK(!reason.empty());
    FUZZ_CHECK(!photo.image.HasImage() && photo.iccProfile.empty());
    return;
  }
  const kv::DibImage& im = photo.image;
  FUZZ_CHECK(im.HasImage() && im.width > 0 && im.height > 0);
  const uint64_t pixels = uint64_t(im.width) * uint64_t(im.height);
  FUZZ_CHECK(pixels <= kv::kJpegMaxPixels && pixels <= size * perByte);
  FUZZ_CHECK(im.padBytes == kv::DibPadBytes(im.width));
  FUZZ_CHECK(im.byteSize == im.Stride() * size_t(im.height));
  volatile uint8_t last = im.pixels[im.byteSize - 1];
  (void)last;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reason;
  kv::DecodedPhoto png;
  CheckDecoded(kv::DecodePng(data, size, png, reason), png, reason, size, kv::kPngMaxPixelsPerByte);
  kv::DecodedPhoto heif;
  reason.clear();
  CheckDecoded(kv::DecodeHeif(data, size, heif, reason), heif, reason, size,
               kv::kHeifMaxPixelsPerByte);

  std::vector<uint8_t> jpeg = {7};
  reason.clear();
  const bool wasJpeg = kv::SniffPhotoFormat(data, size) == kv::PhotoFormat::kJpeg;
  if (kv::PhotoToJpeg(std::vector<uint8_t>(data, data + size), jpeg, reason)) {
    FUZZ_CHECK(!jpeg.empty());
    if (!wasJpeg) {
      // What the import made is a JPEG that decodes, upright as stored.
      kv::DibImage back;
      FUZZ_CHECK(kv::DecodeJpegBuffer(jpeg.data(), jpeg.size(), back) == 1);
    }
  } else {
    FUZZ_CHECK(!reason.empty() && jpeg == std::vector<uint8_t>{7});
  }
  return 0;
}
