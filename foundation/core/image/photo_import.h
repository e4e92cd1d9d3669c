#pragma once
// Photos that do not come as JPEG: phones store HEIC, screenshots and
// scans PNG. A ".kvi" file carries JPEG bytes, so such a photo is turned
// into a JPEG once, when it is read: upright (orientation 1), its colour
// profile kept as it came, transparency laid on white. The same file and
// the same libraries always give the same bytes, so a project that names
// the original file publishes reproducibly. JPEGs are never re-encoded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv {

enum class PhotoFormat { kUnknown, kJpeg, kPng, kHeif };

// From the first bytes, whatever the file's name says.
PhotoFormat SniffPhotoFormat(const uint8_t* bytes, size_t count);

// PNG compresses at best about 1000 : 1 and a pixel takes at least one bit,
// so no real PNG has more than about 8300 pixels per byte of file; a header
// that claims more is refused before anything is allocated.
inline constexpr uint64_t kPngMaxPixelsPerByte = 8300;
// HEVC codes a flat 64 x 64 block in a few bits; 65536 pixels a byte is far
// beyond any photo and still stops a small file from claiming gigapixels.
inline constexpr uint64_t kHeifMaxPixelsPerByte = 65536;

// A decoded photo that is not a JPEG: upright BGR pixels (alpha already
// laid on white) and the ICC profile it carried (empty: none).
struct DecodedPhoto {
  DibImage image;
  std::vector<uint8_t> iccProfile;
};

// Each returns 1 with `out` filled, or 0 with a reason in Japanese and
// `out` untouched. Bounded by kJpegMaxPixels and the per-byte limits above.
int DecodePng(const uint8_t* bytes, size_t count, DecodedPhoto& out, std::string& reason);
// The primary image, its rotation and mirroring applied.
int DecodeHeif(const uint8_t* bytes, size_t count, DecodedPhoto& out, std::string& reason);

// The decoders' last step: interleaved 8-bit pixels (red or blue first; with
// alpha when `channels` is 4) laid on white paper in a fresh 24-bit record.
// 1 with `out` replaced, or 0 with a reason (`tooLarge` for a record over
// 4 GiB) and `out` untouched.
int PixelsOnWhite(const uint8_t* pixels, size_t stride, int32_t width, int32_t height,
                  int channels, bool redFirst, const char* tooLarge, DibImage& out,
                  std::string& reason);

// The import JPEG: quality 95, no chroma subsampling, an Exif orientation
// of 1 and the profile in APP2 chunks. Empty on failure.
inline constexpr int kImportJpegQuality = 95;
std::vector<uint8_t> EncodeImportJpeg(const DibImage& upright, const std::vector<uint8_t>& icc);

// Any photo file's bytes to the JPEG bytes a ".kvi" file carries: a JPEG
// as it is (the same vector handed back), PNG and HEIF decoded and encoded
// as above. False with a reason in Japanese.
bool PhotoToJpeg(std::vector<uint8_t> bytes, std::vector<uint8_t>& jpeg, std::string& reason);

// The file-name patterns of the photos the programs import.
bool IsPhotoFileName(const std::string& name);

}  // namespace kv
