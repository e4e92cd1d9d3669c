#include "foundation/core/image/jpeg_decode.h"

#include <algorithm>
#include <atomic>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

#include "foundation/core/util/file_io.h"
#include "foundation/core/util/memory.h"

namespace kv {
namespace {

// Recoverable corrupt-data warnings tolerated before the stream counts as
// broken.
constexpr int kMaxWarnings = 100;

// Why decoding stopped, where the library's own error says less.
enum class Stop { kBroken, kFileEnds, kDataEnds, kScans, kCancelled };

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
  Stop stop;
  const std::atomic<bool>* cancel;
};

bool Cancelled(const Decoder* d) { return d->cancel && d->cancel->load(std::memory_order_relaxed); }

[[noreturn]] void OnError(j_common_ptr cinfo) {
  Decoder* d = static_cast<Decoder*>(cinfo->client_data);
  std::longjmp(d->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  Decoder* d = static_cast<Decoder*>(cinfo->client_data);
  const int code = cinfo->err->msg_code;
  // A stream that ends early is a truncated file, not a photo.
  if (code == JWRN_JPEG_EOF) {
    d->stop = Stop::kFileEnds;
    std::longjmp(d->jump, 1);
  }
  // Entropy data that stops before the photo does, as in a cut file closed
  // with an end marker: the library would go on with zeros and report a
  // photo whose rest is flat grey. A marker met where the next restart
  // marker belongs says the same; a restart marker with the wrong number is
  // damage the library gets past. Arithmetic-coded data reads a marker as
  // zeros by its own rules, without a word: there only a cut that ends the
  // file is caught.
  const int found = cinfo->err->msg_parm.i[0];
  if (code == JWRN_HIT_MARKER || (code == JWRN_MUST_RESYNC && (found < 0xD0 || found > 0xD7))) {
    d->stop = Stop::kDataEnds;
    std::longjmp(d->jump, 1);
  }
  if (++d->warnings > kMaxWarnings) std::longjmp(d->jump, 1);
}

void OnProgress(j_common_ptr cinfo) {
  j_decompress_ptr dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  // The count made before decoding walks the bytes; this one is the
  // library's own, for a stream the walk misread.
  Decoder* d = static_cast<Decoder*>(cinfo->client_data);
  if (dinfo->is_decompressor && dinfo->input_scan_number > kJpegMaxScans) {
    d->stop = Stop::kScans;
    std::longjmp(d->jump, 1);
  }
  // A progressive photo is read whole inside one library call; a photo
  // nobody wants any more stops here too.
  if (Cancelled(d)) {
    d->stop = Stop::kCancelled;
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
  d->progress.progress_monitor = OnProgress;
  d->cinfo.progress = &d->progress;
  jpeg_mem_src(&d->cinfo, bytes, static_cast<unsigned long>(count));
  if (jpeg_read_header(&d->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  return true;
}

// Converts one row of 4-component output (CMYK or YCCK decoded to CMYK) to
// blue-green-red, with a fourth byte of 255 when `bytes` is 4. Files with an
// APP14 colour-transform marker store the inks inverted.
void CmykRowToBgr(const uint8_t* in, uint8_t* out, int width, bool inverted, int bytes) {
  for (int x = 0; x < width; ++x, in += 4, out += bytes) {
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
    if (bytes == 4) out[3] = 255;
  }
}

// Where the pixels go: plain data, so the jumps below skip no destructor.
struct Output {
  uint8_t* pixels;
  size_t stride;
  int bytes;  // per pixel, 3 or 4
  uint32_t width, height;
  // Bands: `pixels` holds kJpegBandRows rows, handed to bands->band each
  // time they are decoded; rows from `endRow` on are not decoded. Null:
  // `pixels` holds the whole output.
  const JpegBands* bands;
  uint32_t endRow;
};

// The output size at 1 / 2^shift, worked out by the library.
bool SetScale(Decoder* d, int shift) {
  if (setjmp(d->jump)) return false;
  d->cinfo.scale_num = 1;
  d->cinfo.scale_denom = 1u << shift;
  jpeg_calc_output_dimensions(&d->cinfo);
  return true;
}

bool ReadPixels(Decoder* d, const Output& o, uint8_t* cmykRow, JSAMPROW* rowPointers) {
  if (setjmp(d->jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  const bool cmyk = d->cinfo.out_color_space == JCS_CMYK;
  const bool inverted = d->cinfo.saw_Adobe_marker;
  // The record was sized from the header; the output must be that size.
  if (d->cinfo.output_height != o.height || d->cinfo.output_width != o.width) return false;
  if (cmyk) {
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
      if (Cancelled(d)) {
        d->stop = Stop::kCancelled;
        return false;
      }
      uint8_t* row = o.pixels + size_t(d->cinfo.output_scanline) * o.stride;
      JSAMPROW target = cmykRow;
      if (jpeg_read_scanlines(&d->cinfo, &target, 1) != 1) return false;
      CmykRowToBgr(cmykRow, row, int(d->cinfo.output_width), inverted, o.bytes);
    }
  } else {
    // Every row at once, straight into the record: the library then writes
    // whole row groups without its own intermediate buffer.
    for (JDIMENSION y = 0; y < d->cinfo.output_height; ++y) rowPointers[y] = o.pixels + size_t(y) * o.stride;
    while (d->cinfo.output_scanline < d->cinfo.output_height) {
      if (Cancelled(d)) {
        d->stop = Stop::kCancelled;
        return false;
      }
      const JDIMENSION first = d->cinfo.output_scanline;
      if (jpeg_read_scanlines(&d->cinfo, rowPointers + first, d->cinfo.output_height - first) == 0)
        return false;
    }
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

// The same a band at a time. The band's rows are handed over as soon as
// they are decoded, from this frame: the caller's code never runs inside
// the library, so nothing it throws crosses the library's frames.
bool ReadBands(Decoder* d, const Output& o, uint8_t* cmykRow, JSAMPROW* rowPointers) {
  if (setjmp(d->jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  const bool cmyk = d->cinfo.out_color_space == JCS_CMYK;
  const bool inverted = d->cinfo.saw_Adobe_marker;
  if (d->cinfo.output_height != o.height || d->cinfo.output_width != o.width) return false;
  const JDIMENSION end = std::min<JDIMENSION>(o.endRow, d->cinfo.output_height);
  JDIMENSION bandStart = 0;
  uint8_t* pixels = nullptr;
  while (d->cinfo.output_scanline < end) {
    if (Cancelled(d)) {
      d->stop = Stop::kCancelled;
      return false;
    }
    if (pixels == nullptr) {
      // A band begins: in the caller's buffer when it gives one.
      pixels = o.bands->buffer ? o.bands->buffer(bandStart) : o.pixels;
      if (pixels == nullptr) {
        d->stop = Stop::kCancelled;
        return false;
      }
      for (uint32_t r = 0; r < kJpegBandRows; ++r) rowPointers[r] = pixels + size_t(r) * o.stride;
    }
    const JDIMENSION at = d->cinfo.output_scanline - bandStart;
    if (cmyk) {
      JSAMPROW target = cmykRow;
      if (jpeg_read_scanlines(&d->cinfo, &target, 1) != 1) return false;
      CmykRowToBgr(cmykRow, rowPointers[at], int(d->cinfo.output_width), inverted, o.bytes);
    } else if (jpeg_read_scanlines(&d->cinfo, rowPointers + at, kJpegBandRows - at) == 0) {
      return false;
    }
    const JDIMENSION done = d->cinfo.output_scanline;
    if (done - bandStart == kJpegBandRows || done >= end) {
      if (!o.bands->band(bandStart, done - bandStart, pixels, o.stride)) {
        d->stop = Stop::kCancelled;
        return false;
      }
      bandStart = done;
      pixels = nullptr;
    }
  }
  // Rows left undecoded are not looked at: the library is let go as it is.
  if (end == d->cinfo.output_height) jpeg_finish_decompress(&d->cinfo);
  return true;
}

// Counts the scans before the end of the image, stopping once past `limit`.
// Marker segments are stepped over by their lengths, so a thumbnail inside
// the metadata does not count; entropy-coded data is searched for the next
// marker the way the library does. Every read is checked against `count`.
int CountScans(const uint8_t* b, size_t count, int limit) {
  if (count < 2 || b[0] != 0xFF || b[1] != 0xD8) return 0;
  int scans = 0;
  size_t i = 2;
  while (i < count) {
    if (b[i] != 0xFF) {
      ++i;
      continue;
    }
    size_t m = i + 1;
    while (m < count && b[m] == 0xFF) ++m;  // fill bytes
    if (m >= count) break;
    const uint8_t marker = b[m];
    i = m + 1;
    // Stuffed zero, restart markers and the other markers without a length.
    if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7))
      continue;
    if (marker == 0xD9) break;  // end of image: the library reads no further
    if (count - i < 2) break;
    const size_t length = (size_t(b[i]) << 8) | b[i + 1];
    if (length < 2) break;
    if (marker == 0xDA && ++scans > limit) break;
    i += length;
  }
  return scans;
}

constexpr uint64_t RoundUp(uint64_t v, uint64_t step) { return (v + step - 1) / step * step; }

// What the library allocates beyond the header, from the header. Rows of
// every component at full width (measured: at most 56 bytes per pixel of
// width, for four components subsampled vertically, so 32 per component and
// sampling row is a wide margin), plus, when the photo comes in several scans,
// the coefficients of the whole photo.
uint64_t LibraryBytes(const jpeg_decompress_struct& c, bool wholeImage) {
  uint64_t bytes = uint64_t(1) << 20;
  bytes += RoundUp(c.image_width, 64) * uint64_t(c.num_components) *
           uint64_t(std::max(c.max_v_samp_factor, 1)) * 32;
  if (wholeImage) {
    for (int ci = 0; ci < c.num_components; ++ci) {
      const jpeg_component_info& comp = c.comp_info[ci];
      bytes += RoundUp(comp.width_in_blocks, uint64_t(std::max(comp.h_samp_factor, 1))) *
               RoundUp(comp.height_in_blocks, uint64_t(std::max(comp.v_samp_factor, 1))) *
               sizeof(JBLOCK);
    }
  }
  return bytes;
}

// Encodings the library does not decode are named, so that a photo it
// refuses is not taken for a broken file.
std::string HeaderFailure(const Decoder& d) {
  if (d.stop == Stop::kFileEnds) return "JPEGﾃﾞｰﾀが途中で切れています (ﾍｯﾀﾞｰの途中で終わっています)";
  const int parameter = d.err.msg_parm.i[0];
  switch (d.err.msg_code) {
    case JERR_BAD_PRECISION:
      return "対応していないﾋﾞｯﾄ深度です (" + std::to_string(parameter) + " ﾋﾞｯﾄ、対応は 8 ﾋﾞｯﾄのみ)";
    case JERR_SOF_UNSUPPORTED:
      switch (parameter) {
        case 0xC3:
        case 0xCB:
          return "対応していない圧縮方式です (ﾛｽﾚｽ)";
        case 0xC5:
        case 0xC6:
        case 0xC7:
        case 0xCD:
        case 0xCE:
        case 0xCF:
          return "対応していない圧縮方式です (階層型)";
        default:
          return "対応していない圧縮方式です";
      }
    default:
      return "JPEGﾃﾞｰﾀではないか、ﾍｯﾀﾞｰが壊れています";
  }
}

std::string Mib(uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; }

}  // namespace

namespace {

// Header checks, bounds and the decode itself, shared by both records.
// `allocate` is called once the header has passed every bound.
// With `bands`, a band at a time instead of into what `allocate` gives.
int Decode(const uint8_t* bytes, size_t count, int shift, int pixelBytes,
           const JpegAllocator& allocate, const JpegBands* bands, std::string& reason,
           const std::atomic<bool>* cancel) {
  if (bytes == nullptr || count == 0) {
    reason = "JPEGﾃﾞｰﾀがありません";
    return 0;
  }
  if (count > 0xffffffffu) {
    reason = "JPEGﾃﾞｰﾀが大きすぎます";
    return 0;
  }
  Decoder d{};
  d.cancel = cancel;
  struct Cleanup {
    Decoder& d;
    ~Cleanup() {
      if (d.created) jpeg_destroy_decompress(&d.cinfo);
    }
  } cleanup{d};

  // The caller's record stays untouched until the header has passed every bound.
  if (!ReadHeader(&d, bytes, count)) {
    reason = HeaderFailure(d);
    return 0;
  }

  switch (d.cinfo.num_components) {
    case 1:
    case 3:
      // Grey expands to three equal bytes.
      d.cinfo.out_color_space = pixelBytes == 4 ? JCS_EXT_BGRA : JCS_EXT_BGR;
      break;
    case 4:
      d.cinfo.out_color_space = JCS_CMYK;  // YCCK is converted to CMYK too
      break;
    default:
      reason = "対応していない色の構成です (成分数 " + std::to_string(d.cinfo.num_components) + ")";
      return 0;
  }
  const uint32_t fullWidth = d.cinfo.image_width;
  const uint32_t fullHeight = d.cinfo.image_height;
  const uint64_t pixels = uint64_t(fullWidth) * fullHeight;
  const std::string size = std::to_string(fullWidth) + " x " + std::to_string(fullHeight) + " ﾋﾟｸｾﾙ";
  if (pixels == 0) {
    reason = "画像の幅か高さが0です";
    return 0;
  }
  if (pixels > kJpegMaxPixels) {
    reason = "画像が大きすぎます (" + size + ")";
    return 0;
  }
  if (pixels > uint64_t(count) * kJpegMaxPixelsPerByte) {
    reason = "画像の大きさ (" + size + ") がﾌｧｲﾙの大きさ (" + std::to_string(count) +
             " ﾊﾞｲﾄ) に比べて大きすぎます";
    return 0;
  }
  // A sequential photo whose first scan holds every component has no other
  // (the library stops on one more anyway): the search through all of its
  // coded data, 5 ms on a 10 MB photo, is for the others.
  const bool oneScan = !d.cinfo.progressive_mode && d.cinfo.comps_in_scan == d.cinfo.num_components;
  const int scans = oneScan ? 1 : CountScans(bytes, count, kJpegMaxScans);
  if (scans > kJpegMaxScans) {
    reason = "ｽｷｬﾝが多すぎます (" + std::to_string(kJpegMaxScans) + "を超えています)";
    return 0;
  }
  if (!SetScale(&d, std::clamp(shift, 0, 3))) {
    reason = HeaderFailure(d);
    return 0;
  }
  const uint32_t width = d.cinfo.output_width;
  const uint32_t height = d.cinfo.output_height;

  const size_t stride = pixelBytes == 4 ? size_t(width) * 4 : size_t(width) * 3 + DibPadBytes(int32_t(width));
  const size_t byteSize = stride * height;
  const bool cmyk = d.cinfo.num_components == 4;
  // With bands the caller's pixels are counted as a whole record, which a
  // turned photo is and a part of it is less than.
  const uint64_t ours = byteSize + (cmyk ? uint64_t(width) * 4 : uint64_t(height) * sizeof(JSAMPROW)) +
                        (bands ? stride * kJpegBandRows : 0);
  const bool wholeImage = d.cinfo.progressive_mode || scans > 1 ||
                          d.cinfo.comps_in_scan < d.cinfo.num_components;
  const uint64_t need = ours + LibraryBytes(d.cinfo, wholeImage);
  if (need > kJpegDecodeBudget) {
    reason = "復号に必要なﾒﾓﾘ (" + Mib(need) + ") が上限 (" + Mib(kJpegDecodeBudget) + ") を超えます";
    return 0;
  }
  // The library's whole-photo buffers are held to what our record leaves;
  // beyond that it fails through OnError instead of allocating.
  d.cinfo.mem->max_memory_to_use = long(kJpegDecodeBudget - ours);

  std::vector<uint8_t> cmykRow;
  std::vector<JSAMPROW> rowPointers;
  std::vector<uint8_t> band;
  JpegTarget target;
  uint32_t endRow = height;
  bool ready = false;
  try {
    if (cmyk) cmykRow.resize(size_t(width) * 4);
    if (bands) {
      rowPointers.resize(kJpegBandRows);
      if (!bands->buffer) band.resize(stride * kJpegBandRows);
      // The header is sound: from here on the caller's previous photo may go.
      endRow = bands->begin(width, height, stride);
      target = JpegTarget{band.data(), stride};
      ready = endRow != 0;
    } else {
      if (!cmyk) rowPointers.resize(height);
      target = allocate(width, height, stride);
      ready = target.pixels != nullptr;
    }
  } catch (const std::bad_alloc&) {
    ready = false;
  }
  if (!ready) {
    reason = "ﾒﾓﾘが足りません (" + Mib(need) + ")";
    return 0;
  }
  const Output o{target.pixels, target.stride, pixelBytes, width, height, bands, endRow};
  if (!(bands ? ReadBands(&d, o, cmykRow.data(), rowPointers.data())
              : ReadPixels(&d, o, cmykRow.data(), rowPointers.data()))) {
    switch (d.stop) {
      case Stop::kFileEnds:
        reason = "JPEGﾃﾞｰﾀが途中で切れています (画像ﾃﾞｰﾀが最後までありません)";
        break;
      case Stop::kDataEnds:
        reason = "画像ﾃﾞｰﾀが途中で終わっています (JPEGﾃﾞｰﾀが切れているか壊れています)";
        break;
      case Stop::kScans:
        reason = "ｽｷｬﾝが多すぎます (" + std::to_string(kJpegMaxScans) + "を超えています)";
        break;
      case Stop::kCancelled:
        reason = kJpegDecodeCancelled;
        break;
      case Stop::kBroken:
        reason = "画像ﾃﾞｰﾀが壊れているか、途中で終わっています";
        break;
    }
    return 0;
  }
  reason.clear();
  return 1;
}

}  // namespace

int DecodeJpegBuffer(const uint8_t* bytes, size_t count, DibImage& out, std::string& reason,
                     int shift, const std::atomic<bool>* cancel) {
  std::unique_ptr<uint8_t[]> block;
  uint32_t width = 0, height = 0;
  size_t byteSize = 0;
  const JpegAllocator allocate = [&](uint32_t w, uint32_t h, size_t stride) {
    out.Reset();
    width = w;
    height = h;
    byteSize = stride * h;
    block.reset(new (std::nothrow) uint8_t[byteSize]);
    if (!block) return JpegTarget{};
    AdviseHugePages(block.get(), byteSize);
    const uint32_t pad = DibPadBytes(int32_t(w));
    if (pad != 0)
      for (uint32_t y = 0; y < h; ++y) std::memset(block.get() + y * stride + w * 3, 0, pad);
    return JpegTarget{block.get(), stride};
  };
  if (Decode(bytes, count, shift, 3, allocate, nullptr, reason, cancel) != 1) return 0;
  out.pixels = std::move(block);
  out.width = int32_t(width);
  out.height = int32_t(height);
  out.byteSize = uint32_t(byteSize);
  out.bitsPerPixel = 24;
  out.padBytes = DibPadBytes(int32_t(width));
  return 1;
}

int DecodeJpegBgra(const uint8_t* bytes, size_t count, int shift, const JpegAllocator& allocate,
                   std::string& reason, const std::atomic<bool>* cancel) {
  return Decode(bytes, count, shift, 4, allocate, nullptr, reason, cancel);
}

int DecodeJpegBands(const uint8_t* bytes, size_t count, int shift, const JpegBands& bands,
                    std::string& reason, const std::atomic<bool>* cancel) {
  return Decode(bytes, count, shift, bands.pixelBytes == 3 ? 3 : 4, {}, &bands, reason, cancel);
}

int DecodeJpegBuffer(const uint8_t* bytes, size_t count, DibImage& out) {
  std::string reason;
  return DecodeJpegBuffer(bytes, count, out, reason);
}

int DecodeJpegFile(const std::string& path, DibImage& out) {
  std::vector<uint8_t> bytes;
  std::string reason;
  // No JPEG within the pixel budget needs more than this many bytes.
  if (!ReadWholeFile(path, bytes, reason, uint64_t(1) << 31)) return 0;
  return DecodeJpegBuffer(bytes.data(), bytes.size(), out);
}

}  // namespace kv
