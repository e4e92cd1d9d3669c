#pragma once
#include <atomic>
#include <cstddef>
#include <functional>
#include <cstdint>
#include <string>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/util/stop.h"

namespace kv {

// What a JPEG may ask of the decoder. A file is refused before anything large
// is allocated when its header asks for more.
//
// Pixels: no photo beyond this.
inline constexpr uint64_t kJpegMaxPixels = uint64_t(1) << 28;
// Pixels per byte of file. Single-colour pictures are the flattest JPEGs:
// measured at 1024 x 1024 to 8192 x 8192, our encoder (baseline, 4:2:0)
// makes 64 pixels per byte of them, optimised tables up to 255 (progressive
// mid-grey); noise makes about 1, photographs 2 to 10. No JPEG with Huffman
// tables can pass 512, one bit for each 8 x 8 block. 4096 is 16 times the
// flattest measured, while a header of a few hundred bytes that claims a
// quarter-gigapixel photo is out by a factor of hundreds.
inline constexpr uint64_t kJpegMaxPixelsPerByte = 4096;
// Scans. Encoders write 1 (baseline), 6 to 10 (progressive grey or colour)
// or 18 (progressive four-colour); each scan is a pass over the whole photo,
// so many of them are a way to make the decoder spend seconds on a small
// file.
inline constexpr int kJpegMaxScans = 32;
// Memory for one decode, the library's buffers and the decoded record
// together. A photo of kJpegMaxPixels needs 768 MiB of pixels, plus, when it
// comes in several scans, its coefficients: 768 MiB at 4:2:0, 1.5 GiB for
// three components without subsampling, 2 GiB for four. All but the last
// fit; a progressive four-colour photo without subsampling opens up to about
// 244 million pixels as three bytes a pixel, and up to about 223 million as
// the viewer's four (4 + 8 bytes a pixel: a 232-megapixel one is refused).
inline constexpr uint64_t kJpegDecodeBudget = uint64_t(5) << 29;  // 2.5 GiB

// Decodes a JPEG into a top-down 24-bit BGR record with rows padded to 4.
// Returns 1 on success, 0 on failure. A failure before the pixels are
// decoded (not a JPEG, or a header that asks for more than the bounds above)
// leaves a photo already in `out` intact; a later failure leaves `out`
// without pixels. The second form also says why, in Japanese.
int DecodeJpegBuffer(const uint8_t* bytes, size_t count, DibImage& out);
// `shift` and `cancel` as for DecodeJpegBgra below.
int DecodeJpegBuffer(const uint8_t* bytes, size_t count, DibImage& out, std::string& reason,
                     int shift = 0, const std::atomic<bool>* cancel = nullptr);
int DecodeJpegFile(const std::string& path, DibImage& out);

// Where a decode writes its pixels: the first row and the distance between
// rows (at least width x 4 bytes), or no pixels when it cannot be had.
struct JpegTarget {
  uint8_t* pixels = nullptr;
  size_t stride = 0;
};
// Called once, after the header has passed every bound, with the size of
// the output and the smallest stride; may throw std::bad_alloc.
using JpegAllocator = std::function<JpegTarget(uint32_t width, uint32_t height, size_t stride)>;

// What a decode stopped by its caller says.
inline constexpr const char* kJpegDecodeCancelled = kStoppedReason;

// Decodes into blue-green-red-alpha pixels (alpha 255), the library writing
// the four bytes itself, reduced by 2^shift (0 to 3) with its scaled inverse
// transform: pixel (x, y) of the output covers the photo's pixels
// [x * 2^shift, (x + 1) * 2^shift), the last row and column partly. The same
// bounds and reasons as above. `cancel` may be set from another thread; the
// decode then stops within a row group and says kJpegDecodeCancelled. On
// failure after the allocation the pixels are incomplete.
int DecodeJpegBgra(const uint8_t* bytes, size_t count, int shift, const JpegAllocator& allocate,
                   std::string& reason, const std::atomic<bool>* cancel = nullptr);

// Rows a band holds: a multiple of every row group the library decodes in,
// and of the tiles photos are turned in.
inline constexpr uint32_t kJpegBandRows = 32;

// For a caller that puts the rows elsewhere (turned upright, or cut to a
// part): the photo decoded a band of kJpegBandRows rows at a time into a
// buffer of the decoder's, so that only a band is held besides what the
// caller keeps.
struct JpegBands {
  int pixelBytes = 4;  // 3: blue-green-red; 4: with a fourth byte of 255
  // Called once, where an allocator would be, with the output's size and
  // the bytes between rows of a band: answers how many rows from the top
  // are needed (the decode ends after them), or 0 when the caller cannot
  // take the photo (memory). May throw std::bad_alloc.
  std::function<uint32_t(uint32_t width, uint32_t height, size_t stride)> begin;
  // Optional: where the band starting at row `first` is decoded to, room
  // for kJpegBandRows rows of the stride given to `begin`; null stops the
  // decode as cancelled. Without it the decoder's own buffer is used.
  std::function<uint8_t*(uint32_t first)> buffer;
  // Rows [first, first + rows) of the output, top-down, `stride` bytes
  // apart, the band's buffer not written again until it returns (the
  // decoder's own) or the caller gives it again (the caller's); false stops
  // the decode as cancelled.
  std::function<bool(uint32_t first, uint32_t rows, uint8_t* pixels, size_t stride)> band;
};
// The same bounds and reasons as above.
int DecodeJpegBands(const uint8_t* bytes, size_t count, int shift, const JpegBands& bands,
                    std::string& reason, const std::atomic<bool>* cancel = nullptr);

}  // namespace kv
