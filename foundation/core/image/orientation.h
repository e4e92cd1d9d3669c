#pragma once
// Photos from phones and cameras are often stored sideways with an Exif
// orientation tag saying how to turn them upright. Here the tag is read and
// pixels are turned; registrations are turned where files are read and
// written (kvi/upright.h).
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

// Visits the upright photo in runs along its rows: for each run of up to
// 64 shown pixels starting at (x0, y), `run` gets the byte offset of the
// stored pixel under the first one and the step in bytes to the next
// (storedStride: bytes per stored row, 3 bytes a pixel). Runs come in tiles,
// so that the columns read for a quarter turn stay in the cache, and bands
// of tiles go to the cores: `run` is called from several threads at once,
// each time for rows no other call writes.
using UprightRun = void (*)(void* context, int32_t y, int32_t x0, int32_t count, ptrdiff_t at,
                            ptrdiff_t step);
void ForEachUprightRun(PixelSize stored, size_t storedStride, Orientation o, UprightRun run,
                       void* context);

// The decoded photo turned upright in place (1: nothing is done). Copies in
// tiles, so that the columns read for a quarter turn stay in the cache.
// False, leaving the photo as it was, when memory for the turned copy is
// not there.
bool OrientImage(DibImage& image, Orientation o);

}  // namespace kv
