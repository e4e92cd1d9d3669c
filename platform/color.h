#pragma once
// Colours as 24-bit values with red in the lowest byte, green in the next and
// blue in the third, the form stored settings and the drawing code use.
#include <cstdint>

namespace kv::platform {

using ColorRef = uint32_t;

constexpr ColorRef Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return ColorRef(r) | (ColorRef(g) << 8) | (ColorRef(b) << 16);
}
constexpr uint8_t RedOf(ColorRef c) { return uint8_t(c & 0xFF); }
constexpr uint8_t GreenOf(ColorRef c) { return uint8_t((c >> 8) & 0xFF); }
constexpr uint8_t BlueOf(ColorRef c) { return uint8_t((c >> 16) & 0xFF); }

constexpr ColorRef kWhite = Rgb(255, 255, 255);
constexpr ColorRef kBlack = Rgb(0, 0, 0);

}  // namespace kv::platform
