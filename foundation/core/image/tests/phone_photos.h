#pragma once
// Phone-style photo files made by the tests themselves: HEIC through
// libheif's x265 encoder (with a rotation box and a colour profile, as
// phones write them) and PNG through libpng.
#include <cstdint>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv::test {

struct HeicOptions {
  int orientation = 1;              // 1..8, written as rotation/mirror boxes
  std::vector<uint8_t> icc;         // embedded as a "prof" profile when set
  bool alpha = false;               // adds an alpha plane: left half transparent
  int quality = 90;
  bool nclxP3 = false;              // Display P3 said with code points instead
};
// The upright picture is `upright`; the file stores it turned so that the
// boxes bring it back. Empty when the encoder is missing or fails.
std::vector<uint8_t> EncodeHeic(const DibImage& upright, const HeicOptions& options = {});

struct PngOptions {
  int channels = 3;                 // 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
  int bitDepth = 8;                 // 8 or 16
  bool interlaced = false;
  std::vector<uint8_t> icc;
  // With alpha: the left half transparent, the rest opaque.
};
std::vector<uint8_t> EncodePng(const DibImage& picture, const PngOptions& options = {});

// The picture turned as a stored photo with Exif orientation `o` would hold
// it (the inverse of turning upright).
DibImage StoredForOrientation(const DibImage& upright, int o);

}  // namespace kv::test
