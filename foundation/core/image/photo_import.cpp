#include "foundation/core/image/photo_import.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_segments.h"

namespace kv {
namespace {

void PutSegment(std::vector<uint8_t>& to, uint8_t marker, const std::vector<uint8_t>& payload) {
  const size_t length = payload.size() + 2;
  to.push_back(0xFF);
  to.push_back(marker);
  to.push_back(uint8_t(length >> 8));
  to.push_back(uint8_t(length));
  to.insert(to.end(), payload.begin(), payload.end());
}

// Exif with one entry, Orientation = 1: the pixels are upright as stored,
// whatever a reader assumed of the original.
std::vector<uint8_t> ExifUpright() {
  return {'E', 'x', 'i', 'f', 0, 0,
          'I', 'I', 42, 0, 8, 0, 0, 0,         // TIFF header, first directory at 8
          1, 0,                                // one entry
          0x12, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,  // Orientation, SHORT, 1, value 1
          0, 0, 0, 0};                         // no next directory
}

// The profile in numbered APP2 chunks, as many as it needs.
void PutIccChunks(std::vector<uint8_t>& to, const std::vector<uint8_t>& icc) {
  constexpr size_t kChunk = 65535 - 2 - 14;
  const size_t chunks = (icc.size() + kChunk - 1) / kChunk;
  if (icc.empty() || chunks > 255) return;
  for (size_t i = 0; i < chunks; ++i) {
    static constexpr char kTag[] = "ICC_PROFILE";  // with its terminating zero
    std::vector<uint8_t> payload(kTag, kTag + sizeof kTag);
    payload.push_back(uint8_t(i + 1));
    payload.push_back(uint8_t(chunks));
    const size_t from = i * kChunk;
    const size_t n = std::min(kChunk, icc.size() - from);
    payload.insert(payload.end(), icc.begin() + ptrdiff_t(from), icc.begin() + ptrdiff_t(from + n));
    PutSegment(to, 0xE2, payload);
  }
}

}  // namespace

PhotoFormat SniffPhotoFormat(const uint8_t* b, size_t n) {
  if (!b) return PhotoFormat::kUnknown;
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return PhotoFormat::kJpeg;
  static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n >= 8 && std::memcmp(b, kPng, 8) == 0) return PhotoFormat::kPng;
  if (n >= 12 && std::memcmp(b + 4, "ftyp", 4) == 0) return PhotoFormat::kHeif;
  return PhotoFormat::kUnknown;
}

std::vector<uint8_t> EncodeImportJpeg(const DibImage& image, const std::vector<uint8_t>& icc) {
  std::vector<uint8_t> result;
  if (!image.HasImage() || image.width <= 0 || image.height <= 0 || image.bitsPerPixel != 24)
    return result;
  tjhandle handle = tjInitCompress();
  if (!handle) return result;
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(handle, image.pixels.get(), image.width, int(image.Stride()),
                             image.height, TJPF_BGR, &jpeg, &size, TJSAMP_444, kImportJpegQuality,
                             TJFLAG_ACCURATEDCT);
  if (rc == 0 && jpeg && size >= 4) {
    // Our segments go after SOI and the JFIF segment the library wrote.
    size_t at = 2;
    ForEachJpegHeaderSegment(jpeg, size_t(size), [&](uint8_t marker, const uint8_t*, size_t length) {
      if (marker != 0xE0) return false;
      at += 4 + length;
      return true;
    });
    try {
      result.reserve(size_t(size) + icc.size() + 256);
      result.assign(jpeg, jpeg + at);
      PutSegment(result, 0xE1, ExifUpright());
      PutIccChunks(result, icc);
      result.insert(result.end(), jpeg + at, jpeg + size);
    } catch (const std::bad_alloc&) {
      result.clear();
    }
  }
  tjFree(jpeg);
  tjDestroy(handle);
  return result;
}

bool PhotoToJpeg(std::vector<uint8_t> bytes, std::vector<uint8_t>& jpeg, std::string& reason) {
  DecodedPhoto photo;
  switch (SniffPhotoFormat(bytes.data(), bytes.size())) {
    case PhotoFormat::kJpeg:
      jpeg = std::move(bytes);
      return true;
    case PhotoFormat::kPng:
      if (DecodePng(bytes.data(), bytes.size(), photo, reason) != 1) return false;
      break;
    case PhotoFormat::kHeif:
      if (DecodeHeif(bytes.data(), bytes.size(), photo, reason) != 1) return false;
      break;
    case PhotoFormat::kUnknown:
      reason = "JPEG、HEIC(HEIF)、PNGのどれでもありません";
      return false;
  }
  bytes = {};
  std::vector<uint8_t> encoded = EncodeImportJpeg(photo.image, photo.iccProfile);
  if (encoded.empty()) {
    reason = "JPEGに変換できませんでした";
    return false;
  }
  jpeg = std::move(encoded);
  return true;
}

bool IsPhotoFileName(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == "jpg" || ext == "jpeg" || ext == "jpe" || ext == "png" || ext == "heic" ||
         ext == "heif" || ext == "hif";
}

int PixelsOnWhite(const uint8_t* pixels, size_t stride, int32_t width, int32_t height,
                  int channels, bool redFirst, const char* tooLarge, DibImage& out,
                  std::string& reason) {
  if (DibBytes(width, height) > UINT32_MAX) {
    reason = tooLarge;
    return 0;
  }
  DibImage image;
  if (!AllocateDib(image, width, height)) {
    reason = "ﾒﾓﾘが足りません";
    return 0;
  }
  const bool alpha = channels == 4;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = pixels + size_t(y) * stride;
    uint8_t* d = image.Row(y);
    for (int32_t x = 0; x < width; ++x, s += channels, d += 3) {
      const uint32_t a = alpha ? s[3] : 255;
      for (int c = 0; c < 3; ++c)
        d[c] = uint8_t((s[redFirst ? 2 - c : c] * a + 255 * (255 - a) + 127) / 255);
    }
  }
  out = std::move(image);
  return 1;
}

}  // namespace kv
