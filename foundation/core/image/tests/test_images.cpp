#include "test_images.h"

#include <turbojpeg.h>

#include <algorithm>

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

namespace kv::test {
namespace {

void Marker(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 2;
  out.insert(out.end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
  out.insert(out.end(), body.begin(), body.end());
}

// Zero bits are the one code of both tables: DC difference 0, end of block.
void EntropyData(std::vector<uint8_t>& out, uint64_t bits) {
  const uint64_t bytes = std::min<uint64_t>((bits + 7) / 8, 64);
  out.insert(out.end(), size_t(bytes), 0x00);
}

}  // namespace

std::vector<uint8_t> HandMadeJpeg(const HandMade& shape) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  for (size_t left = shape.padding; left > 0;) {
    const size_t body = std::min<size_t>(left > 4 ? left - 4 : 0, 65533);
    Marker(out, 0xE1, std::vector<uint8_t>(body, 'p'));
    left -= std::min(left, body + 4);
  }
  std::vector<uint8_t> dqt(65, 1);
  dqt[0] = 0;
  Marker(out, 0xDB, dqt);
  std::vector<uint8_t> sof = {8, uint8_t(shape.height >> 8), uint8_t(shape.height),
                              uint8_t(shape.width >> 8), uint8_t(shape.width), uint8_t(shape.components)};
  for (int c = 0; c < shape.components; ++c) sof.insert(sof.end(), {uint8_t(c + 1), 0x11, 0});
  Marker(out, shape.progressive ? 0xC2 : 0xC0, sof);
  for (uint8_t tableClass : {0x00, 0x10}) {
    std::vector<uint8_t> dht(18, 0);
    dht[0] = tableClass;
    dht[1] = 1;  // one code of length 1, for symbol 0
    Marker(out, 0xC4, dht);
  }
  const uint64_t blocks = uint64_t((shape.width + 7) / 8) * uint64_t((shape.height + 7) / 8);
  std::vector<uint8_t> sos = {uint8_t(shape.components)};
  for (int c = 0; c < shape.components; ++c) sos.insert(sos.end(), {uint8_t(c + 1), 0x00});
  if (shape.progressive) {
    sos.insert(sos.end(), {0, 0, 0});
    Marker(out, 0xDA, sos);
    EntropyData(out, blocks * uint64_t(shape.components));
    for (int k = 1; k <= shape.acScans && k < 64; ++k) {
      Marker(out, 0xDA, {1, 1, 0x00, uint8_t(k), uint8_t(k), 0});
      EntropyData(out, blocks);
    }
  } else {
    sos.insert(sos.end(), {0, 63, 0});
    Marker(out, 0xDA, sos);
    EntropyData(out, blocks * uint64_t(shape.components) * 2);
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace kv::test
