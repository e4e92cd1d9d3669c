#include "foundation/core/image/tests/phone_photos.h"

#include <libheif/heif.h>
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "foundation/core/image/orientation.h"

namespace kv::test {

DibImage StoredForOrientation(const DibImage& upright, int o) {
  const PixelSize shown{upright.width, upright.height};
  const PixelSize stored = SwapsSides(o) ? PixelSize{shown.height, shown.width} : shown;
  DibImage out(stored.width, stored.height);
  out.padBytes = DibPadBytes(stored.width);
  out.byteSize = uint32_t(out.Stride() * size_t(stored.height));
  out.pixels.reset(new uint8_t[out.byteSize]());
  for (int32_t y = 0; y < shown.height; ++y)
    for (int32_t x = 0; x < shown.width; ++x) {
      int32_t sx = x, sy = y;
      ShownToStored(o, stored, sx, sy);
      std::memcpy(out.Row(sy) + sx * 3, upright.Row(y) + x * 3, 3);
    }
  return out;
}

namespace {

heif_error WriteToVector(heif_context*, const void* data, size_t size, void* userdata) {
  auto* v = static_cast<std::vector<uint8_t>*>(userdata);
  const auto* b = static_cast<const uint8_t*>(data);
  v->insert(v->end(), b, b + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

}  // namespace

std::vector<uint8_t> EncodeHeic(const DibImage& upright, const HeicOptions& options) {
  std::vector<uint8_t> out;
  heif_init(nullptr);
  // libheif writes boxes that turn the stored picture to the upright one.
  const DibImage stored = StoredForOrientation(upright, options.orientation);
  heif_context* ctx = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code ==
      heif_error_Ok) {
    heif_encoder_set_lossy_quality(encoder, options.quality);
    heif_image* image = nullptr;
    const heif_chroma chroma =
        options.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    heif_image_create(stored.width, stored.height, heif_colorspace_RGB, chroma, &image);
    heif_image_add_plane(image, heif_channel_interleaved, stored.width, stored.height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int n = options.alpha ? 4 : 3;
    for (int32_t y = 0; y < stored.height; ++y)
      for (int32_t x = 0; x < stored.width; ++x) {
        const uint8_t* s = stored.Row(y) + x * 3;
        uint8_t* d = plane + ptrdiff_t(y) * stride + x * n;
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        if (options.alpha) {
          // Transparent on the left half of the upright picture.
          int32_t ux = x, uy = y;
          StoredToShown(options.orientation, {stored.width, stored.height}, ux, uy);
          d[3] = ux < upright.width / 2 ? 0 : 255;
        }
      }
    if (!options.icc.empty())
      heif_image_set_raw_color_profile(image, "prof", options.icc.data(), options.icc.size());
    if (options.nclxP3) {
      heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
      heif_nclx_color_profile_set_color_primaries(nclx, 12);           // SMPTE EG 432-1
      heif_nclx_color_profile_set_transfer_characteristics(nclx, 13);  // the sRGB curve
      heif_nclx_color_profile_set_matrix_coefficients(nclx, 6);
      nclx->full_range_flag = 1;
      heif_image_set_nclx_color_profile(image, nclx);
      heif_nclx_color_profile_free(nclx);
    }
    heif_encoding_options* eo = heif_encoding_options_alloc();
    eo->image_orientation = heif_orientation(options.orientation);
    // The library leaves out the code points unless told, for an old
    // viewer's sake; phones write them.
    if (options.nclxP3) eo->macOS_compatibility_workaround_no_nclx_profile = 0;
    heif_image_handle* handle = nullptr;
    if (heif_context_encode_image(ctx, image, encoder, eo, &handle).code == heif_error_Ok) {
      heif_writer writer{1, WriteToVector};
      if (heif_context_write(ctx, &writer, &out).code != heif_error_Ok) out.clear();
      heif_image_handle_release(handle);
    }
    heif_encoding_options_free(eo);
    heif_image_release(image);
    heif_encoder_release(encoder);
  }
  heif_context_free(ctx);
  heif_deinit();
  return out;
}

namespace {

void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWrite(png_structp png, png_bytep data, size_t n) {
  auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  v->insert(v->end(), data, data + n);
}
void PngFlush(png_structp) {}

bool WritePng(std::vector<uint8_t>* out, const std::vector<uint8_t>* rowsBytes, int width,
              int height, const PngOptions* o) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngWrite, PngFlush);
  const int type = o->channels == 1   ? PNG_COLOR_TYPE_GRAY
                   : o->channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                   : o->channels == 3 ? PNG_COLOR_TYPE_RGB
                                      : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), o->bitDepth, type,
               o->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!o->icc.empty())
    png_set_iCCP(png, info, "icc", 0, o->icc.data(), png_uint_32(o->icc.size()));
  png_write_info(png, info);
  if (o->bitDepth == 16) png_set_swap(png);
  const size_t rowBytes = rowsBytes->size() / size_t(height);
  const int passes = png_set_interlace_handling(png);
  for (int p = 0; p < passes; ++p)
    for (int y = 0; y < height; ++y)
      png_write_row(png, const_cast<png_bytep>(rowsBytes->data() + size_t(y) * rowBytes));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const DibImage& picture, const PngOptions& o) {
  const int bytesPer = o.bitDepth / 8;
  std::vector<uint8_t> rows(size_t(picture.width) * picture.height * o.channels * bytesPer);
  size_t at = 0;
  for (int32_t y = 0; y < picture.height; ++y)
    for (int32_t x = 0; x < picture.width; ++x) {
      const uint8_t* s = picture.Row(y) + x * 3;
      const uint8_t grey = uint8_t((s[0] + s[1] + s[2]) / 3);
      uint8_t v[4];
      int n = 0;
      if (o.channels <= 2) {
        v[n++] = grey;
      } else {
        v[n++] = s[2];
        v[n++] = s[1];
        v[n++] = s[0];
      }
      if (o.channels == 2 || o.channels == 4) v[n++] = x < picture.width / 2 ? 0 : 255;
      for (int k = 0; k < n; ++k)
        for (int b = 0; b < bytesPer; ++b) rows[at++] = v[k];  // 16 bits: the byte twice
    }
  std::vector<uint8_t> out;
  if (!WritePng(&out, &rows, picture.width, picture.height, &o)) out.clear();
  return out;
}

}  // namespace kv::test

// The HEVC encoder keeps a few blocks per encoder thread to the end of the
// process; they are the library's, not ours, so the leak check passes over
// them in the programs that make HEIC files.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
