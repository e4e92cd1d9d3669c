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

namespace kv::test {

// A photo of four flat quadrants, coded by libjpeg's compression API the
// ways cameras and phones code theirs. The quadrants meet on 16-pixel
// boundaries, so that subsampled colour stays flat inside each of them.
enum class Colours { kRgb, kGrey, kCmyk, kYcck };
struct Coding {
  int width = 100;
  int height = 70;
  Colours colours = Colours::kRgb;
  // Sampling of the first component, the others taking one sample each:
  // 1 x 1 is 4:4:4, 2 x 1 4:2:2, 2 x 2 4:2:0, 1 x 2 4:4:0. Colour only.
  int lumaH = 2;
  int lumaV = 2;
  bool progressive = false;
  bool arithmetic = false;
  int restartInterval = 0;  // in MCUs; 0 for none
};
struct Rgb {
  uint8_t r, g, b;
};
// Where the quadrants meet, and the colour each should show (0 top left,
// 1 top right, 2 bottom left, 3 bottom right).
int QuadrantSplitX(const Coding& coding);
int QuadrantSplitY(const Coding& coding);
Rgb QuadrantColour(const Coding& coding, int quadrant);
// Empty when the library refuses the coding.
std::vector<uint8_t> QuadrantsJpeg(const Coding& coding);

// An Exif segment as cameras write it, inserted right after SOI: the first
// directory with a maker name, the orientation and a link to the Exif
// directory, which holds a maker note of bytes that look like JPEG markers
// (a frame claiming a huge size, scans, an end of image); the second
// directory points to `thumbnail`, a whole JPEG.
std::vector<uint8_t> WithExifThumbnail(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& thumbnail,
                                       uint16_t orientation, bool little);

}  // namespace kv::test
