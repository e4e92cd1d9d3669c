#include "test_images.h"

#include <turbojpeg.h>

namespace kv::test {

DibImage Gradient(int32_t width, int32_t height) {
  DibImage im(width, height);
  im.padBytes = DibPadBytes(width);
  im.byteSize = uint32_t(im.Stride() * height);
  im.pixels.reset(new uint8_t[im.byteSize]());
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = im.Row(y) + x * 3;
      p[0] = uint8_t(x * 255 / (width > 1 ? width - 1 : 1));
      p[1] = uint8_t(y * 255 / (height > 1 ? height - 1 : 1));
      p[2] = 128;
    }
  }
  return im;
}

std::vector<uint8_t> EncodeWith(const std::vector<uint8_t>& pixels, int width, int height,
                                int pixelFormat, int subsampling, int flags) {
  tjhandle h = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (tjCompress2(h, pixels.data(), width, 0, height, pixelFormat, &jpeg, &size, subsampling, 95,
                  flags) == 0) {
    out.assign(jpeg, jpeg + size);
  }
  tjFree(jpeg);
  tjDestroy(h);
  return out;
}

}  // namespace kv::test
