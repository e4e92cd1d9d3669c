// The embedded colour profile: chunks put together from any JPEG headers.
// What comes out is one whole profile within the bound, as long as its own
// header says; turning a small picture with it either succeeds or leaves
// every pixel as it was.
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "foundation/core/image/icc.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<std::vector<uint8_t>> profile = kv::ReadIccProfile(data, size);
  if (!profile) return 0;
  const std::vector<uint8_t>& p = *profile;
  FUZZ_CHECK(p.size() >= 128 && p.size() <= kv::kIccMaxProfileBytes);
  FUZZ_CHECK((uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]) == p.size());

  // Three by two, so that rows carry padding that must stay.
  kv::DibImage image(3, 2);
  image.padBytes = kv::DibPadBytes(3);
  image.byteSize = uint32_t(image.Stride() * 2);
  image.pixels.reset(new uint8_t[image.byteSize]);
  for (uint32_t i = 0; i < image.byteSize; ++i) image.pixels[i] = uint8_t(i * 37 + 11);
  std::vector<uint8_t> before(image.pixels.get(), image.pixels.get() + image.byteSize);
  const bool converted = kv::ConvertToSrgb(image, p);
  if (!converted) FUZZ_CHECK(std::memcmp(image.pixels.get(), before.data(), before.size()) == 0);
  for (int32_t y = 0; y < 2; ++y)
    FUZZ_CHECK(std::memcmp(image.Row(y) + 9, before.data() + image.Stride() * size_t(y) + 9, image.padBytes) == 0);
  return 0;
}
