// PNG through libpng. libpng reports errors by longjmp: the function that
// calls setjmp holds no object with a destructor that is changed after it,
// and everything it fills lives in its caller.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/photo_import.h"
#include "foundation/core/image/icc.h"

namespace kv {
namespace {

struct PngSource {
  const uint8_t* bytes;
  size_t count;
  size_t at;
};

struct PngRead {
  PngSource source;
  char message[200];
  // Filled in stages; the caller owns the memory.
  uint32_t width = 0, height = 0;
  bool sized = false;
  std::vector<uint8_t>* bgra = nullptr;
  std::vector<uint8_t*>* rows = nullptr;
  std::vector<uint8_t>* icc = nullptr;
  bool tooLarge = false;
  bool noMemory = false;
};

void OnPngError(png_structp png, png_const_charp text) {
  auto* r = static_cast<PngRead*>(png_get_error_ptr(png));
  std::snprintf(r->message, sizeof r->message, "%s", text ? text : "");
  png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

void OnPngRead(png_structp png, png_bytep to, size_t n) {
  auto* r = static_cast<PngRead*>(png_get_io_ptr(png));
  if (n > r->source.count - r->source.at) png_error(png, "truncated");
  std::memcpy(to, r->source.bytes + r->source.at, n);
  r->source.at += n;
}

// Everything libpng does, in one frame that longjmp returns to.
bool RunLibpng(PngRead* r) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r, OnPngError, OnPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, r, OnPngRead);
  // Bounds for what libpng itself holds: side lengths and ancillary chunks.
  png_set_user_limits(png, 1u << 20, 1u << 20);
  png_set_chunk_malloc_max(png, kIccMaxProfileBytes + 4096);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info);
  const png_uint_32 h = png_get_image_height(png, info);
  const uint64_t pixels = uint64_t(w) * uint64_t(h);
  if (pixels == 0 || pixels > kJpegMaxPixels ||
      pixels > uint64_t(r->source.count) * kPngMaxPixelsPerByte) {
    r->tooLarge = true;
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 profileLength = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) && profile &&
      profileLength > 0) {
    try {
      r->icc->assign(profile, profile + profileLength);
    } catch (const std::bad_alloc&) {
      r->noMemory = true;
      png_destroy_read_struct(&png, &info, nullptr);
      return false;
    }
  }

  // Every kind of PNG to 8-bit blue, green, red, alpha.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "unexpected row layout");
  r->width = w;
  r->height = h;
  r->sized = true;
  // Allocation failures are told apart from a broken file.
  try {
    r->bgra->resize(size_t(pixels) * 4);
    r->rows->resize(h);
  } catch (const std::bad_alloc&) {
    r->noMemory = true;
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  for (png_uint_32 y = 0; y < h; ++y) (*r->rows)[y] = r->bgra->data() + size_t(y) * w * 4;
  png_read_image(png, r->rows->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

int DecodePng(const uint8_t* bytes, size_t count, DecodedPhoto& out, std::string& reason) {
  if (!bytes || count < 8 || png_sig_cmp(bytes, 0, 8) != 0) {
    reason = "PNGﾌｧｲﾙではありません";
    return 0;
  }
  std::vector<uint8_t> bgra;
  std::vector<uint8_t*> rows;
  std::vector<uint8_t> icc;
  PngRead r{{bytes, count, 0}, {}, 0, 0, false, &bgra, &rows, &icc, false, false};
  if (!RunLibpng(&r)) {
    if (r.tooLarge)
      reason = "PNGﾌｧｲﾙの画像が大きすぎるか、大きさが正しくありません";
    else if (r.noMemory)
      reason = "ﾒﾓﾘが足りません";
    else
      reason = "PNGﾌｧｲﾙが壊れています";
    return 0;
  }
  rows = {};
  // Transparent parts on white paper, as a page would show them.
  if (!PixelsOnWhite(bgra.data(), size_t(r.width) * 4, int32_t(r.width), int32_t(r.height), 4, false,
                     "PNGﾌｧｲﾙの画像が大きすぎます", out.image, reason))
    return 0;
  out.iccProfile = std::move(icc);
  reason.clear();
  return 1;
}

}  // namespace kv
