// HEIF (phones' HEIC) through libheif with its HEVC decoder.
#include <lcms2.h>
#include <libheif/heif.h>

#include <memory>
#include <mutex>
#include <new>

#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/photo_import.h"

namespace kv {
namespace {

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void InitLibheif() {
  static std::once_flag once;
  std::call_once(once, [] { heif_init(nullptr); });
}

// Phones that describe colour with code points (an "nclx" box) instead of
// a profile: the same colours as an ICC profile, so the JPEG carries what
// the viewer converts. Empty for sRGB's own primaries, for high dynamic
// range curves (already brought to 8 bits by the library) and for anything
// the colour engine cannot build.
std::vector<uint8_t> ProfileFromCodePoints(const heif_image_handle* handle) {
  std::vector<uint8_t> icc;
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
    return icc;
  const int primaries = int(nclx->color_primaries);
  const int transfer = int(nclx->transfer_characteristics);
  const cmsCIExyY white{nclx->color_primary_white_x, nclx->color_primary_white_y, 1.0};
  const cmsCIExyYTRIPLE rgb{{nclx->color_primary_red_x, nclx->color_primary_red_y, 1.0},
                            {nclx->color_primary_green_x, nclx->color_primary_green_y, 1.0},
                            {nclx->color_primary_blue_x, nclx->color_primary_blue_y, 1.0}};
  heif_nclx_color_profile_free(nclx);
  // 1: BT.709 (sRGB's), 2: unspecified; 16 and 18: PQ and HLG.
  if (primaries == 1 || primaries == 2 || transfer == 16 || transfer == 18) return icc;
  if (white.x <= 0 || white.y <= 0 || rgb.Red.y <= 0 || rgb.Green.y <= 0 || rgb.Blue.y <= 0)
    return icc;
  // BT.709's camera curve for 1, 6, 14 and 15; the sRGB curve otherwise.
  const bool bt709 = transfer == 1 || transfer == 6 || transfer == 14 || transfer == 15;
  const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  const cmsFloat64Number rec709[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, bt709 ? rec709 : srgb);
  if (!curve) return icc;
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &rgb, curves);
  cmsFreeToneCurve(curve);
  if (!profile) return icc;
  cmsUInt32Number n = 0;
  if (cmsSaveProfileToMem(profile, nullptr, &n) && n > 0) {
    icc.resize(n);
    if (!cmsSaveProfileToMem(profile, icc.data(), &n)) icc.clear();
  }
  cmsCloseProfile(profile);
  return icc;
}

}  // namespace

int DecodeHeif(const uint8_t* bytes, size_t count, DecodedPhoto& out, std::string& reason) {
  if (!bytes || count < 12 || count > size_t(INT32_MAX) ||
      heif_check_filetype(bytes, int(count)) == heif_filetype_no) {
    reason = "HEIFﾌｧｲﾙではありません";
    return 0;
  }
  InitLibheif();
  std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
  if (!ctx) {
    reason = "ﾒﾓﾘが足りません";
    return 0;
  }
  // libheif refuses sides beyond this itself, before it allocates.
  heif_context_set_maximum_image_size_limit(ctx.get(), 1 << 16);
  heif_error e = heif_context_read_from_memory_without_copy(ctx.get(), bytes, count, nullptr);
  if (e.code != heif_error_Ok) {
    reason = "HEIFﾌｧｲﾙが壊れているか、対応していない形式です";
    return 0;
  }
  heif_image_handle* rawHandle = nullptr;
  e = heif_context_get_primary_image_handle(ctx.get(), &rawHandle);
  std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);
  if (e.code != heif_error_Ok || !handle) {
    reason = "HEIFﾌｧｲﾙに画像がありません";
    return 0;
  }
  const int w = heif_image_handle_get_width(handle.get());
  const int h = heif_image_handle_get_height(handle.get());
  const uint64_t pixels = uint64_t(w > 0 ? w : 0) * uint64_t(h > 0 ? h : 0);
  if (pixels == 0 || pixels > kJpegMaxPixels || pixels > uint64_t(count) * kHeifMaxPixelsPerByte) {
    reason = "HEIFﾌｧｲﾙの画像が大きすぎるか、大きさが正しくありません";
    return 0;
  }
  std::vector<uint8_t> icc;
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle.get());
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    const size_t n = heif_image_handle_get_raw_color_profile_size(handle.get());
    if (n > 0 && n <= kIccMaxProfileBytes) {
      icc.resize(n);
      if (heif_image_handle_get_raw_color_profile(handle.get(), icc.data()).code != heif_error_Ok)
        icc.clear();
    }
  }
  if (icc.empty()) icc = ProfileFromCodePoints(handle.get());
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
  if (!options) {
    reason = "ﾒﾓﾘが足りません";
    return 0;
  }
  options->ignore_transformations = 0;  // rotation and mirroring applied: upright
  options->convert_hdr_to_8bit = 1;
  heif_image* rawImage = nullptr;
  e = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                        options.get());
  std::unique_ptr<heif_image, ImageFree> decoded(rawImage);
  if (e.code != heif_error_Ok || !decoded) {
    reason = e.code == heif_error_Memory_allocation_error ? "ﾒﾓﾘが足りません"
                                                          : "HEIFﾌｧｲﾙの画像を復号できません";
    return 0;
  }
  const int dw = heif_image_get_width(decoded.get(), heif_channel_interleaved);
  const int dh = heif_image_get_height(decoded.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
  const int channels = alpha ? 4 : 3;
  if (!plane || dw <= 0 || dh <= 0 || uint64_t(dw) * uint64_t(dh) > kJpegMaxPixels ||
      stride < dw * channels) {
    reason = "HEIFﾌｧｲﾙの画像を復号できません";
    return 0;
  }
  // Transparent parts on white.
  if (!PixelsOnWhite(plane, size_t(stride), dw, dh, channels, true, "HEIFﾌｧｲﾙの画像が大きすぎます",
                     out.image, reason))
    return 0;
  out.iccProfile = std::move(icc);
  reason.clear();
  return 1;
}

}  // namespace kv
