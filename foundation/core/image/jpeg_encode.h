#pragma once
// JPEG encoding for our own generated pictures (the sample photo, test
// images). The programs themselves never re-encode a user's photo.
#include <cstdint>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv {

// Encodes a 24-bit BGR record (top-down); empty on failure.
std::vector<uint8_t> EncodeJpeg(const DibImage& image, int quality = 90);

}  // namespace kv
