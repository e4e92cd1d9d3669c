#pragma once
// Internal: rectangles clipped to images, shared by the pixel operations.
#include <cstddef>
#include <cstdint>

#include "foundation/core/imageops/image.h"

namespace kv {

// Bytes every image block holds beyond its last row.
inline constexpr size_t kReadSlack = 64;

struct Rect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// The part of `r` inside a width x height image (empty when none).
Rect ClipToImage(const Roi& r, int32_t width, int32_t height);
// The destination's ROI clipped to it, or the whole image.
Rect TargetRegion(const Image& dst);
// For a one-to-one operation: the source pixels read (`from`, inside the
// source image) and where they land (`to`, inside the destination region).
// False when nothing overlaps.
bool PairRegions(const Image& src, const Image& dst, Rect& from, Rect& to);

}  // namespace kv
