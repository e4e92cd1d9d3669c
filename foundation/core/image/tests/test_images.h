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

namespace kv::test {

// A JPEG built byte by byte, every block flat grey: `components` (1, 3 or 4)
// components without subsampling, one quantisation table of ones, Huffman
// tables of a single one-bit code. Sequential, or progressive with one DC
// scan then `acScans` scans of one AC coefficient each of the first
// component. The entropy data of a scan stops after 64 bytes, so a large
// claimed size is mostly missing data, which the library fills in.
// `padding` bytes of application segments come before the frame.
struct HandMade {
  uint16_t width = 8;
  uint16_t height = 8;
  int components = 1;
  bool progressive = false;
  int acScans = 0;
  size_t padding = 0;
};
std::vector<uint8_t> HandMadeJpeg(const HandMade& shape);

}  // namespace kv::test
