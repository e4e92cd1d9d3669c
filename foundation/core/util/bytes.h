#pragma once
#include <cstdint>

namespace kv {

// Four bytes, least significant first.
inline void PutInt32LE(uint32_t value, uint8_t* out) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
  out[2] = static_cast<uint8_t>(value >> 16);
  out[3] = static_cast<uint8_t>(value >> 24);
}

inline int32_t GetInt32LE(const uint8_t* in) {
  const uint32_t v = uint32_t(in[0]) | (uint32_t(in[1]) << 8) | (uint32_t(in[2]) << 16) |
                     (uint32_t(in[3]) << 24);
  return static_cast<int32_t>(v);
}

}  // namespace kv
