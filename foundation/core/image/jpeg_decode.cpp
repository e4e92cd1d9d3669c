#include "foundation/core/image/jpeg_decode.h"

#include <algorithm>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

#include "foundation/core/util/file_io.h"

namespace kv {
namespace {

// A photo larger than this is refused before anything is allocated.
constexpr uint64_t kMaxPixels = uint64_t(1) << 28;
// Ordinary progressive photos have about ten scans; a stream with hundreds is
// built to make the decoder spend minutes.
constexpr int kMaxScans = 100;
// Recoverable corrupt-data warnings tolerated before the stream counts as
// broken.
constexpr int kMaxWarnings = 100;

// Everything the library's error path touches is plain data: the only jumps
// land in the two functions below, whose frames hold no C++ objects with
// destructors, so no destructor is ever skipped.
struct Decoder {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  int warnings;
  bool created;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  Decoder* d = static_cast<Decoder*>(cinfo->client_data);
  std::longjmp(d->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  Decoder* d = static_cast<Decoder*>(cinfo->client_data);
  // A stream that ends early is a truncated file, not a photo.
  if (cinfo->err->msg_code == JWRN_JPEG_EOF || ++d->warnings > kMaxWarnings) {
    std::longjmp(d->jump, 1);
  }
}

void OnProgress(j_common_ptr cinfo) {
  j_decompress_ptr dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->is_decompressor && dinfo->input_scan_number > kMaxScans) {
    Decoder* d = static_cast<Decoder*>(cinfo->client_data);
    std::longjmp(d->jump, 1);
  }
}

bool ReadHeader(Decoder* d, const uint8_t* bytes, size_t count) {
  d->cinfo.err = jpeg_std_error(&d->err);
  d->err.error_exit = OnError;
  d->err.emit_message = OnMessage;
  d->cinfo.client_data = d;
  if (setjmp(d->jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  // Progressive streams buffer a whole photo of coefficients; the library
  // refuses (through OnError) what would exceed this.
  d->cinfo.mem->max_memory_to_use = 2000L * 1024 * 1024;
  d->progress.progress_monitor = OnProgress;
  d->cinfo.progress = &d->progress;
  jpeg_mem_src(&d->cinfo, bytes, static_cast<unsigned long>(count));
  if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  return true;
}

// Converts one row of 4-component output (CMYK or YCCK decoded to CMYK) to
// blue-green-red. Photoshop-style files store the inks inverted.
void CmykRowToBgr(const uint8_t* in, uint8_t* out, int width, bool inverted) {
  for (int x = 0; x < width; ++x, in += 4, out += 3) {
    int c = in[0], m = in[1], y = in[2], k = in[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    out[0] = uint8_t((y * k + 127) / 255);
    out[1] = uint8_t((m * k + 127) / 255);
    out[2] = uint8_t((c * k + 127) / 255);
  }
}

bool ReadPixels(Decoder* d, uint8_t* pixels, size_t stride, uint8_t* cmykRow,
                JSAMPROW* rowPointers) {
  if (setjmp(d->jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  const bool cmyk = d->cinfo.out_color_space == JCS_CMYK;
  const bool inverted = d->cinfo.saw_Adobe_marker;
  // The record was sized from the header; the output must be that size.
  if (d->cinfo.output_height != d->cinfo.image_height || d->cinfo.output_width != d->cinfo.image_width)
    return false;
  if (cmyk) {
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
      uint8_t* row = pixels + size_t(d->cinfo.output_scanline) * stride;
      JSAMPROW target = cmykRow;
      if (jpeg_read_scanlines(&d->cinfo, &target, 1) != 1) return false;
      CmykRowToBgr(cmykRow, row, int(d->cinfo.output_width), inverted);
    }
  } else {
    // Every row at once, straight into the record: the library then writes
    // whole row groups without its own intermediate buffer.
    for (JDIMENSION y = 0; y < d->cinfo.output_height; ++y) rowPointers[y] = pixels + size_t(y) * stride;
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
      const JDIMENSION first = d->cinfo.output_scanline;
      if (jpeg_read_scanlines(&d->cinfo, rowPointers + first, d->cinfo.output_height - first) == 0)
        return false;
    }
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

}  // namespace

int DecodeJpegBuffer(const uint8_t* bytes, size_t count, DibImage& out) {
  if (bytes == nullptr || count == 0 || count > 0xffffffffu) return 0;
  Decoder d{};
  struct Cleanup {
    Decoder& d;
    ~Cleanup() {
      if (d.created) jpeg_destroy_decompress(&d.cinfo);
    }
  } cleanup{d};

  if (!ReadHeader(&d, bytes, count)) return 0;  // `out` untouched so far

  switch (d.cinfo.num_components) {
    case 1:
    case 3:
      // Grey expands to three equal bytes.
      d.cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case 4:
      d.cinfo.out_color_space = JCS_CMYK;  // YCCK is converted to CMYK too
      break;
    default:
      return 0;
  }
  const uint32_t width = d.cinfo.image_width;
  const uint32_t height = d.cinfo.image_height;
  if (width == 0 || height == 0 || uint64_t(width) * height > kMaxPixels) return 0;
  const uint32_t pad = DibPadBytes(int32_t(width));
  const size_t stride = size_t(width) * 3 + pad;
  const size_t byteSize = stride * height;

  // The header is sound: from here on the previous photo is replaced.
  out.Reset();
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[byteSize]);
  if (!pixels) return 0;
  std::vector<uint8_t> cmykRow;
  std::vector<JSAMPROW> rowPointers;
  try {
    if (d.cinfo.num_components == 4) {
      cmykRow.resize(size_t(width) * 4);
    } else {
      rowPointers.resize(height);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  if (pad != 0) {
    for (uint32_t y = 0; y < height; ++y) std::memset(pixels.get() + y * stride + width * 3, 0, pad);
  }
  if (!ReadPixels(&d, pixels.get(), stride, cmykRow.data(), rowPointers.data())) return 0;

  out.pixels = std::move(pixels);
  out.width = int32_t(width);
  out.height = int32_t(height);
  out.byteSize = uint32_t(byteSize);
  out.bitsPerPixel = 24;
  out.padBytes = pad;
  return 1;
}

int DecodeJpegFile(const std::string& path, DibImage& out) {
  std::vector<uint8_t> bytes;
  std::string reason;
  // No JPEG within the pixel budget needs more than this many bytes.
  if (!ReadWholeFile(path, bytes, reason, uint64_t(1) << 31)) return 0;
  return DecodeJpegBuffer(bytes.data(), bytes.size(), out);
}

}  // namespace kv
