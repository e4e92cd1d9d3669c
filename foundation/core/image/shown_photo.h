#pragma once
// A photo decoded as the programs show it: upright by its orientation tag
// and in sRGB. The viewer wants four bytes a pixel for its display, the
// authoring tool and the printed page three; all of them turn the photo
// the same way and convert its colours with the same engine, here.
//
// A photo stored sideways is decoded in bands of rows, each turned into
// place as soon as it is decoded, so that it needs no more memory than an
// upright one (no turned copy of the whole photo) and costs little more
// time: the band is still in the cache while it is turned, on the pool's
// workers.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/orientation.h"

namespace kv {

// The photo in `jpeg`, reduced by 2^shift (0 to 3) as DecodeJpegBgra does,
// turned upright by `o` (1, or anything outside 2..8: as stored) and
// converted into sRGB from the profile it carries (one that cannot be used
// leaves the colours as decoded, read as sRGB). `allocate` is called once,
// with the upright size, where DecodeJpegBgra would call it; alpha is 255.
// 1 on success; 0 with a reason in Japanese otherwise, kStoppedReason when
// `stop` was set (the pixels then are incomplete and not to be used).
int DecodeShownSrgb(const uint8_t* jpeg, size_t count, Orientation o, int shift,
                    const JpegAllocator& allocate, std::string& reason,
                    const std::atomic<bool>* stop = nullptr);

// The same into a top-down three-byte record (rows padded to 4, padding
// zero), whole, or only the part `crop` of the upright photo (in the
// pixels of the reduced photo) when one is given: only that part is ever held, besides a
// band of rows, and the decode ends after the last row it needs. A crop
// not wholly inside the upright photo is refused. `out` is replaced only
// on success.
int DecodeShownSrgb(const uint8_t* jpeg, size_t count, Orientation o, DibImage& out,
                    std::string& reason, const ImageRect* crop = nullptr, int shift = 0,
                    const std::atomic<bool>* stop = nullptr);

}  // namespace kv
