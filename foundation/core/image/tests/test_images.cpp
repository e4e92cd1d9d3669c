#include "test_images.h"

#include <turbojpeg.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

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

namespace kv::test {
namespace {

struct EncodeError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void OnEncodeError(j_common_ptr cinfo) {
  std::longjmp(static_cast<EncodeError*>(cinfo->client_data)->jump, 1);
}

void NoMessages(j_common_ptr, int) {}

int ComponentsOf(Colours colours) {
  switch (colours) {
    case Colours::kGrey: return 1;
    case Colours::kRgb: return 3;
    default: return 4;
  }
}

// Four-colour photos store inverted inks (255 is none), as those with an
// Adobe marker do: cyan, magenta, yellow and black per quadrant, one of
// them grey through black alone and one with black lowering all three.
// Every value stays clear of 0 and 255 by more than the grain.
constexpr uint8_t kInks[4][4] = {{200, 40, 40, 235}, {235, 235, 235, 120}, {50, 60, 200, 235}, {235, 215, 100, 200}};
constexpr Rgb kColours[4] = {{200, 40, 40}, {40, 170, 60}, {50, 60, 200}, {230, 210, 70}};
constexpr uint8_t kGreys[4] = {40, 100, 160, 220};

// Only plain data lives in this frame: the library's error path jumps here.
bool Compress(const Coding& c, const uint8_t* pixels, unsigned char** out, unsigned long* size) {
  jpeg_compress_struct cinfo;
  EncodeError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnEncodeError;
  err.mgr.emit_message = NoMessages;
  cinfo.client_data = &err;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, size);
  cinfo.image_width = JDIMENSION(c.width);
  cinfo.image_height = JDIMENSION(c.height);
  cinfo.input_components = ComponentsOf(c.colours);
  cinfo.in_color_space = c.colours == Colours::kGrey  ? JCS_GRAYSCALE
                         : c.colours == Colours::kRgb ? JCS_RGB
                                                      : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  if (c.colours == Colours::kYcck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  if (c.colours == Colours::kRgb) {
    cinfo.comp_info[0].h_samp_factor = c.lumaH;
    cinfo.comp_info[0].v_samp_factor = c.lumaV;
  }
  jpeg_set_quality(&cinfo, 92, TRUE);
  if (c.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = c.arithmetic ? TRUE : FALSE;
  cinfo.restart_interval = unsigned(c.restartInterval);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t stride = size_t(c.width) * size_t(cinfo.input_components);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels) + size_t(cinfo.next_scanline) * stride;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

int QuadrantSplitX(const Coding& coding) { return std::max(16, coding.width / 32 * 16); }
int QuadrantSplitY(const Coding& coding) { return std::max(16, coding.height / 32 * 16); }

Rgb QuadrantColour(const Coding& coding, int quadrant) {
  switch (coding.colours) {
    case Colours::kGrey: {
      const uint8_t v = kGreys[quadrant];
      return {v, v, v};
    }
    case Colours::kRgb:
      return kColours[quadrant];
    default: {
      const uint8_t* ink = kInks[quadrant];
      auto times = [&](int i) { return uint8_t((ink[i] * ink[3] + 127) / 255); };
      return {times(0), times(1), times(2)};
    }
  }
}

std::vector<uint8_t> QuadrantsJpeg(const Coding& coding) {
  const int components = ComponentsOf(coding.colours);
  const int splitX = QuadrantSplitX(coding), splitY = QuadrantSplitY(coding);
  std::vector<uint8_t> pixels(size_t(coding.width) * size_t(coding.height) * size_t(components));
  for (int y = 0; y < coding.height; ++y) {
    for (int x = 0; x < coding.width; ++x) {
      const int q = (y < splitY ? 0 : 2) + (x < splitX ? 0 : 1);
      uint8_t base[4] = {kGreys[q]};
      if (coding.colours == Colours::kRgb) {
        base[0] = kColours[q].r, base[1] = kColours[q].g, base[2] = kColours[q].b;
      } else if (coding.colours != Colours::kGrey) {
        std::copy(kInks[q], kInks[q] + 4, base);
      }
      uint8_t* p = &pixels[(size_t(y) * size_t(coding.width) + size_t(x)) * size_t(components)];
      // Grain of up to 18 levels either way, averaging out over a quadrant:
      // flat blocks would leave everything but the first coefficient of
      // each block untried, and make scans too short to cut inside.
      for (int i = 0; i < components; ++i) {
        uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(i + 1) * 83492791u;
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        p[i] = uint8_t(base[i] + int(h % 37) - 18);
      }
    }
  }
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> out;
  if (Compress(coding, pixels.data(), &jpeg, &size)) out.assign(jpeg, jpeg + size);
  std::free(jpeg);
  return out;
}

std::vector<uint8_t> WithExifThumbnail(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& thumbnail,
                                       uint16_t orientation, bool little) {
  std::vector<uint8_t> tiff;
  auto u16 = [&](uint16_t x) {
    if (little) {
      tiff.insert(tiff.end(), {uint8_t(x), uint8_t(x >> 8)});
    } else {
      tiff.insert(tiff.end(), {uint8_t(x >> 8), uint8_t(x)});
    }
  };
  auto u32 = [&](uint32_t x) {
    if (little) {
      u16(uint16_t(x)), u16(uint16_t(x >> 16));
    } else {
      u16(uint16_t(x >> 16)), u16(uint16_t(x));
    }
  };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag), u16(type), u32(count);
    if (type == 3 && count == 1) {
      u16(uint16_t(value)), u16(0);  // a short sits in the first half
    } else {
      u32(value);
    }
  };
  // Every offset is known up front: header 8, first directory (3 entries)
  // 42, maker name 8, Exif directory (2 entries) 30, second directory
  // (3 entries) 42, then the maker note and the thumbnail.
  const char make[8] = {'K', 'V', ' ', 'T', 'E', 'S', 'T', '\0'};
  std::vector<uint8_t> note = {'K', 'V', 'N', 'O', 'T', 'E', 0, 0};
  note.insert(note.end(), {0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 1, 0x22, 0, 2,
                           0x11, 1, 3, 0x11, 1});                        // a frame, 65535 x 65535
  note.insert(note.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 63, 0});  // a scan
  uint32_t state = 12345;
  for (int i = 0; i < 200; ++i) {
    state = state * 1103515245u + 12345u;
    const uint8_t b = uint8_t(state >> 24);
    note.push_back(i % 17 == 0 ? 0xFF : b);
  }
  note.insert(note.end(), {0xFF, 0xFF, 0xD9, 0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x02});
  const uint32_t makeAt = 8 + 42, exifAt = makeAt + 8, secondAt = exifAt + 30, noteAt = secondAt + 42;
  const uint32_t thumbAt = noteAt + uint32_t(note.size());
  tiff.insert(tiff.end(), {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M')});
  u16(42), u32(8);
  u16(3);
  entry(0x010F, 2, 8, makeAt);
  entry(0x0112, 3, 1, orientation);
  entry(0x8769, 4, 1, exifAt);
  u32(secondAt);
  tiff.insert(tiff.end(), make, make + 8);
  u16(2);
  u16(0x9000), u16(7), u32(4), tiff.insert(tiff.end(), {'0', '2', '3', '0'});
  entry(0x927C, 7, uint32_t(note.size()), noteAt);
  u32(0);
  u16(3);
  entry(0x0103, 3, 1, 6);  // compressed thumbnail
  entry(0x0201, 4, 1, thumbAt);
  entry(0x0202, 4, 1, uint32_t(thumbnail.size()));
  u32(0);
  tiff.insert(tiff.end(), note.begin(), note.end());
  tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
  std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  const size_t length = segment.size() - 2;
  segment[2] = uint8_t(length >> 8);
  segment[3] = uint8_t(length);
  if (length > 0xFFFF) return {};
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

}  // namespace kv::test
