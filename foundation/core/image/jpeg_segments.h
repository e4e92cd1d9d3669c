#pragma once
// The marker segments of a JPEG's header, for readers of what is stored
// there (orientation, colour profile) without decoding anything.
#include <cstddef>
#include <cstdint>

namespace kv {

// Hands each marker segment after SOI up to the first scan to
// visit(marker, payload, payloadLength); a false from visit, or a segment
// that would run past the bytes, ends the walk. Nothing outside the bytes
// is read.
template <typename Visit>
void ForEachJpegHeaderSegment(const uint8_t* b, size_t n, Visit visit) {
  if (!b || n < 4 || b[0] != 0xFF || b[1] != 0xD8) return;
  size_t i = 2;
  while (i + 4 <= n) {
    if (b[i] != 0xFF) return;
    const uint8_t marker = b[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return;  // scan or end: no more headers
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      i += 2;
      continue;
    }
    const size_t length = size_t((b[i + 2] << 8) | b[i + 3]);
    if (length < 2 || length - 2 > n - (i + 4)) return;
    if (!visit(marker, b + i + 4, length - 2)) return;
    i += 2 + length;
  }
}

}  // namespace kv
