#include "viewer/model/adjust.h"

#include <algorithm>
#include <array>

namespace kv::viewer {

int32_t ClampAdjust(int32_t value) { return std::clamp(value, kMinAdjust, kMaxAdjust); }

LookupTable BrightnessTable(int32_t b) {
  b = ClampAdjust(b);
  LookupTable t{};
  for (int i = 0; i < 256; ++i) {
    if (b > 0)
      t[size_t(i)] = uint8_t(i >= 255 - b ? 255 : i + b);
    else
      t[size_t(i)] = uint8_t(i <= -b ? 0 : i + b);
  }
  return t;
}

LookupTable ContrastTable(int32_t k) {
  k = ClampAdjust(k);
  LookupTable t{};
  if (k > 0) {
    const double s = 127.0 / (127 - k);
    const double o = 127.0 - 127.0 * s;
    for (int i = 0; i < 256; ++i) {
      if (i <= k)
        t[size_t(i)] = 0;
      else if (i >= 255 - k)
        t[size_t(i)] = 255;
      else
        t[size_t(i)] = uint8_t(int32_t(i * s + o) & 0xFF);
    }
  } else {
    const double s = (127 + k) * (1.0 / 127);
    const double o = -k;
    for (int i = 0; i < 256; ++i) t[size_t(i)] = uint8_t(int32_t(i * s + o) & 0xFF);
  }
  return t;
}

LookupTable AdjustTable(int32_t brightness, int32_t contrast) {
  const LookupTable b = BrightnessTable(brightness);
  const LookupTable c = ContrastTable(contrast);
  const bool contrastFirst = ClampAdjust(contrast) <= 0;
  LookupTable t{};
  for (size_t i = 0; i < 256; ++i) t[i] = contrastFirst ? b[c[i]] : c[b[i]];
  return t;
}

bool ApplyAdjustment(const Image& display, Image& adjusted, int32_t brightness, int32_t contrast) {
  if (display.IsEmpty() || adjusted.Width() != display.Width() ||
      adjusted.Height() != display.Height())
    return false;
  const std::array<LookupTable, 1> table = {AdjustTable(brightness, contrast)};
  return ContrastStretch(display, adjusted, table);
}

}  // namespace kv::viewer
