#pragma once
// Photos with an Exif orientation, made by the tests themselves.
#include <cstdint>
#include <vector>

namespace kv::testing {

// An APP1 Exif segment with one orientation entry, in either byte order,
// inserted right after SOI.
inline std::vector<uint8_t> WithExif(std::vector<uint8_t> jpeg, uint16_t orientation, bool little,
                              uint32_t ifdOffset = 8) {
  auto u16 = [&](std::vector<uint8_t>& v, uint16_t x) {
    if (little) {
      v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8));
    } else {
      v.push_back(uint8_t(x >> 8)), v.push_back(uint8_t(x));
    }
  };
  auto u32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (little) {
      u16(v, uint16_t(x)), u16(v, uint16_t(x >> 16));
    } else {
      u16(v, uint16_t(x >> 16)), u16(v, uint16_t(x));
    }
  };
  std::vector<uint8_t> tiff = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M')};
  u16(tiff, 42);
  u32(tiff, ifdOffset);
  u16(tiff, 2);                   // two entries: another tag first
  u16(tiff, 0x010F), u16(tiff, 2), u32(tiff, 4), u32(tiff, 0x00414243);
  u16(tiff, 0x0112), u16(tiff, 3), u32(tiff, 1), u16(tiff, orientation), u16(tiff, 0);
  u32(tiff, 0);  // no next directory
  std::vector<uint8_t> seg = {0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  seg.push_back(uint8_t(length >> 8));
  seg.push_back(uint8_t(length));
  for (char c : {'E', 'x', 'i', 'f', '\0', '\0'}) seg.push_back(uint8_t(c));
  seg.insert(seg.end(), tiff.begin(), tiff.end());
  jpeg.insert(jpeg.begin() + 2, seg.begin(), seg.end());
  return jpeg;
}

}  // namespace kv::testing
