#pragma once
// Phones and cameras increasingly store photos in gamuts wider than sRGB
// and say so with an embedded colour profile. The programs draw decoded
// pixels as sRGB, so such photos looked dull until turned into sRGB here.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv {

// Far above any real photo's profile (a few hundred bytes to some tens of
// kilobytes for table-based ones), low enough that a crafted file cannot
// make the reader hold much.
inline constexpr size_t kIccMaxProfileBytes = size_t(4) << 20;

// The profile carried in the JPEG's APP2 "ICC_PROFILE" chunks, read with
// bounds checks over the marker segments up to the first scan and put
// together by sequence number whatever order the chunks come in. nullopt
// when there is none, or when the chunks do not make exactly one whole
// profile: a number missing, repeated, zero or beyond the count, counts
// that disagree, a chunk too short for its header, a total beyond
// kIccMaxProfileBytes, or a profile whose own header gives another size.
// Nothing outside the bytes is read.
std::optional<std::vector<uint8_t>> ReadIccProfile(const uint8_t* jpeg, size_t count);

// The 24-bit BGR pixels turned in place from `profile` into sRGB. False,
// with the pixels untouched, for a profile that is not RGB, is not a device
// or colour space profile, or that the colour engine cannot read; also for
// a record without pixels. Transforms are kept for the last few profiles,
// so a folder of photos from one camera builds one. Safe to call from
// several threads at once. Bands of rows are converted on the worker pool,
// and no band is started once `stop` is set: then false too, with the
// pixels partly converted (not to be shown).
bool ConvertToSrgb(DibImage& image, const std::vector<uint8_t>& profile,
                   const std::atomic<bool>* stop = nullptr);
// The same for blue-green-red-alpha pixels, rows `stride` bytes apart;
// alpha is kept.
bool ConvertToSrgb(uint8_t* bgra, int32_t width, int32_t height, size_t stride,
                   const std::vector<uint8_t>& profile, const std::atomic<bool>* stop = nullptr);

// How many transforms ConvertToSrgb has built since the program started,
// refused profiles included: lets the tests see a profile that comes again
// find its transform.
size_t IccTransformsBuilt();

}  // namespace kv
