#pragma once
// Photos from phones and cameras are often stored sideways with an Exif
// orientation tag saying how to turn them upright. Here the tag is read and
// pixels are turned; registrations are turned where files are read and
// written (kvi/upright.h).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "foundation/core/image/dib_image.h"

namespace kv {

// 1: as stored; 2: mirrored left-right; 3: turned half round; 4: mirrored
// top-bottom; 5: mirrored along the main diagonal; 6: turned a quarter
// clockwise; 7: mirrored along the other diagonal; 8: turned a quarter
// anticlockwise.
using Orientation = int;

// The orientation tag of the first Exif segment, read with bounds checks
// over the JPEG's marker segments up to the first scan. A missing,
// unknown or malformed tag means 1; nothing outside the bytes is read.
Orientation ReadExifOrientation(const uint8_t* bytes, size_t count);

// The stored width and height from the JPEG's frame header, without
// decoding; nullopt when there is none before the first scan.
struct PixelSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const PixelSize&) const = default;
};
std::optional<PixelSize> ReadJpegSize(const uint8_t* bytes, size_t count);

// The turn the programs show a photo with: its tag, believed only of a
// photo whose header gives its size (1 otherwise), since the registrations
// are turned with that size.
Orientation ShownOrientation(const uint8_t* bytes, size_t count);

// True for 5 to 8: the shown photo is as wide as the stored one is high.
bool SwapsSides(Orientation o);
PixelSize ShownSize(PixelSize stored, Orientation o);

// One pixel between the stored photo (stored size given) and the shown one.
void StoredToShown(Orientation o, PixelSize stored, int32_t& x, int32_t& y);
void ShownToStored(Orientation o, PixelSize stored, int32_t& x, int32_t& y);

// A rectangle of a photo's pixels.
struct ImageRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const ImageRect&) const = default;
};

// Pixels of `pixelBytes` bytes (3 or 4, the same on both sides) copied
// from part of the stored photo (of size `stored`) to where they show
// upright by `o`. `from` holds the stored pixels of `fromArea`, its
// top-left one first, rows `fromStride` bytes apart; `to` holds the shown
// pixels of `toArea` the same way. Every pixel of `toArea` whose stored
// pixel lies in `fromArea` is written, no other byte. Both areas must lie
// inside their photos. Copies in tiles of 64 x 64, so that the columns a
// quarter turn reads stay in the cache, shared out on the worker pool (on
// at most `threads` threads; 0: as many as the pool uses); no tile is
// started once `stop` is set, and then the answer is false.
bool CopyUpright(Orientation o, PixelSize stored, int pixelBytes, const uint8_t* from,
                 size_t fromStride, ImageRect fromArea, uint8_t* to, size_t toStride,
                 ImageRect toArea, const std::atomic<bool>* stop = nullptr, int threads = 0);

// The decoded photo turned upright in place (1: nothing is done), through
// CopyUpright. False, leaving the photo as it was, when memory for the
// turned copy is not there or `stop` was set.
bool OrientImage(DibImage& image, Orientation o, const std::atomic<bool>* stop = nullptr);

}  // namespace kv
