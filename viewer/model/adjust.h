#pragma once
// Brightness and contrast for viewing: level tables applied channel by
// channel to the display image, never to the photo or any file.
#include <cstdint>

#include "foundation/core/imageops/image.h"

namespace kv::viewer {

inline constexpr int32_t kMinAdjust = -100;
inline constexpr int32_t kMaxAdjust = 100;

// Whatever a dialog or caller sends, the tables only see -100 to 100.
int32_t ClampAdjust(int32_t value);

// Adds b, clipped at 0 and 255.
LookupTable BrightnessTable(int32_t b);
// A line through (127, 127): steeper for k > 0 (levels up to k black, from
// 255 - k white), flatter toward the middle for k < 0; outputs truncated.
LookupTable ContrastTable(int32_t k);
// Both in one table, in the order that keeps a lowered contrast from
// eating the brightness shift: contrast first when lowering, last when
// raising.
LookupTable AdjustTable(int32_t brightness, int32_t contrast);

// The display image through the combined table into `adjusted` (same size;
// alpha copied). False when the images do not match.
bool ApplyAdjustment(const Image& display, Image& adjusted, int32_t brightness, int32_t contrast);

}  // namespace kv::viewer
