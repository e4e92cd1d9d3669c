#pragma once
// A decoded photo: 24-bit blue-green-red pixels, rows padded to a multiple of
// 4 bytes. Decoded photos are top-down; the navigator thumbnail is bottom-up.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace kv {

struct DibImage {
  // Owned pixel block; null means the record holds no image, whatever the
  // other fields say.
  std::unique_ptr<uint8_t[]> pixels;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t byteSize = 0;      // Stride() * height
  uint32_t bitsPerPixel = 24;
  uint32_t padBytes = 0;      // 0..3

  DibImage() = default;
  DibImage(int32_t w, int32_t h) : width(w), height(h) {}
  DibImage(DibImage&&) noexcept = default;
  DibImage& operator=(DibImage&&) noexcept = default;
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  bool HasImage() const { return pixels != nullptr; }
  size_t Stride() const { return size_t(width) * 3 + padBytes; }
  uint8_t* Row(int32_t y) { return pixels.get() + size_t(y) * Stride(); }
  const uint8_t* Row(int32_t y) const { return pixels.get() + size_t(y) * Stride(); }

  // Drops the pixels and keeps the given nominal size.
  void Reset(int32_t w = 0, int32_t h = 0) {
    pixels.reset();
    width = w;
    height = h;
    byteSize = 0;
    bitsPerPixel = 24;
    padBytes = 0;
  }
};

// Bytes appended to a row of `width` 24-bit pixels to reach a multiple of 4.
constexpr uint32_t DibPadBytes(int32_t width) { return (4u - (uint32_t(width) * 3u) % 4u) % 4u; }

// The bytes of a record of w x h pixels, padding included.
constexpr uint64_t DibBytes(int32_t width, int32_t height) {
  return (uint64_t(uint32_t(width)) * 3u + DibPadBytes(width)) * uint64_t(uint32_t(height));
}

// Makes `image` a record of its own of w x h pixels, the padding of each
// row zero (a record is written whole to files), the pixels not set.
// False, with no pixels, when a side is not positive, the record would not
// fit its 32-bit size, or the memory is not there.
inline bool AllocateDib(DibImage& image, int32_t width, int32_t height) {
  image.Reset(width, height);
  const uint64_t bytes = DibBytes(width, height);
  if (width <= 0 || height <= 0 || bytes > UINT32_MAX) return false;
  image.pixels.reset(new (std::nothrow) uint8_t[bytes]);
  if (!image.pixels) return false;
  image.byteSize = uint32_t(bytes);
  image.padBytes = DibPadBytes(width);
  if (image.padBytes)
    for (int32_t y = 0; y < height; ++y) std::memset(image.Row(y) + size_t(width) * 3, 0, image.padBytes);
  return true;
}

}  // namespace kv
