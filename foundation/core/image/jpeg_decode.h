#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/core/image/dib_image.h"

namespace kv {

// Decodes a JPEG into a top-down 24-bit BGR record with rows padded to 4.
// Returns 1 on success, 0 on failure. A failure before the header is read
// leaves a photo already in `out` intact; a later failure leaves `out`
// without pixels. Refuses images beyond a sane pixel budget before
// allocating, and bounds the work spent on hostile progressive streams.
int DecodeJpegBuffer(const uint8_t* bytes, size_t count, DibImage& out);
int DecodeJpegFile(const std::string& path, DibImage& out);

}  // namespace kv
