#pragma once
#include <cstdint>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv::test {

// A top-down BGR record whose pixel (x, y) is a smooth gradient.
DibImage Gradient(int32_t width, int32_t height);
// JPEG bytes in the given TurboJPEG pixel format and subsampling.
std::vector<uint8_t> EncodeWith(const std::vector<uint8_t>& pixels, int width, int height,
                                int pixelFormat, int subsampling, int flags = 0);

}  // namespace kv::test
