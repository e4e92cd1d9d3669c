#include "foundation/core/image/icc.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <type_traits>

#include "foundation/core/image/jpeg_segments.h"
#include "foundation/core/util/parallel.h"
#include "foundation/core/util/stop.h"

namespace kv {
namespace {

constexpr uint8_t kIccTag[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// Tag, then the chunk's number and the count of chunks, one byte each.
constexpr size_t kChunkHeader = sizeof kIccTag + 2;
// The fixed header every profile starts with; its first four bytes give
// the profile's size.
constexpr size_t kIccHeaderBytes = 128;

// Relative colorimetric keeps every colour that sRGB can show exactly as
// the camera measured it and clips only those beyond sRGB; perceptual
// would shift in-gamut colours too, and for the matrix profiles photos
// carry (and for the sRGB side) it falls back to colorimetric anyway, so
// only some table profiles would answer differently. Black point
// compensation keeps the shadows of a profile whose black is not zero from
// being crushed; where both blacks are zero it changes nothing.
constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;
constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION;

void Silent(cmsContext, cmsUInt32Number, const char*) {}

using Transform = std::shared_ptr<std::remove_pointer_t<cmsHTRANSFORM>>;

// One engine context for this reader, whose errors go nowhere: a broken
// profile in a photo is an ordinary event, answered by false, not by text
// on the terminal. Transforms for the last few profiles are kept, keyed by
// the profile's bytes; a refused profile is kept too (as no transform), so
// that it is not read again for every photo.
class TransformCache {
 public:
  TransformCache() : context_(cmsCreateContext(nullptr, nullptr)) {
    if (context_) cmsSetLogErrorHandlerTHR(context_, Silent);
  }
  ~TransformCache() {
    entries_.clear();  // transforms belong to the context, so go first
    if (context_) cmsDeleteContext(context_);
  }
  size_t Built() const { return built_; }
  TransformCache(const TransformCache&) = delete;
  TransformCache& operator=(const TransformCache&) = delete;

  Transform For(const std::vector<uint8_t>& profile, bool fourBytes) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (const Transform* t = Find(profile, fourBytes)) return *t;
    }
    // Built without the lock, so that a photo with a known profile is not
    // kept waiting behind a new one; two threads with the same new profile
    // may both build, and the first to store wins.
    Transform built = Build(profile, fourBytes);
    std::lock_guard<std::mutex> lock(mutex_);
    if (const Transform* t = Find(profile, fourBytes)) return *t;
    if (entries_.size() == kEntries) entries_.pop_back();
    entries_.insert(entries_.begin(), Entry{profile, fourBytes, built});
    return built;
  }

 private:
  static constexpr size_t kEntries = 4;
  struct Entry {
    std::vector<uint8_t> key;
    bool fourBytes;  // blue-green-red-alpha pixels rather than three bytes
    Transform transform;  // null: the profile was refused
  };

  // Moves a hit to the front, so the least recently used goes first.
  const Transform* Find(const std::vector<uint8_t>& profile, bool fourBytes) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].fourBytes != fourBytes || entries_[i].key != profile) continue;
      std::rotate(entries_.begin(), entries_.begin() + std::ptrdiff_t(i),
                  entries_.begin() + std::ptrdiff_t(i) + 1);
      return &entries_.front().transform;
    }
    return nullptr;
  }

  Transform Build(const std::vector<uint8_t>& profile, bool fourBytes) {
    ++built_;
    if (!context_ || profile.empty() || profile.size() > UINT32_MAX) return nullptr;
    cmsHPROFILE in = cmsOpenProfileFromMemTHR(context_, profile.data(), cmsUInt32Number(profile.size()));
    if (!in) return nullptr;
    const cmsProfileClassSignature kind = cmsGetDeviceClass(in);
    const bool usable = cmsGetColorSpace(in) == cmsSigRgbData &&
                        (kind == cmsSigInputClass || kind == cmsSigDisplayClass ||
                         kind == cmsSigOutputClass || kind == cmsSigColorSpaceClass);
    cmsHTRANSFORM t = nullptr;
    if (usable) {
      cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context_);
      if (srgb) {
        const cmsUInt32Number format = fourBytes ? TYPE_BGRA_8 : TYPE_BGR_8;
        t = cmsCreateTransformTHR(context_, in, format, srgb, format, kIntent,
                                  kFlags | (fourBytes ? cmsFLAGS_COPY_ALPHA : 0));
        cmsCloseProfile(srgb);
      }
    }
    cmsCloseProfile(in);
    if (!t) return nullptr;
    return Transform(t, cmsDeleteTransform);
  }

  cmsContext context_;
  std::atomic<size_t> built_{0};
  std::mutex mutex_;
  std::vector<Entry> entries_;  // most recently used first
};

TransformCache& Cache() {
  static TransformCache cache;
  return cache;
}

// Pixels in a band of rows: small enough that a stop is seen within a
// millisecond or so, large enough that handing bands out costs nothing
// next to the conversion.
constexpr int64_t kBandPixels = int64_t(1) << 16;

}  // namespace

std::optional<std::vector<uint8_t>> ReadIccProfile(const uint8_t* jpeg, size_t count) {
  std::array<const uint8_t*, 256> chunk{};
  std::array<size_t, 256> chunkBytes{};
  int total = 0;  // the count the chunks give; 0 until the first
  size_t sum = 0;
  bool broken = false;
  ForEachJpegHeaderSegment(jpeg, count, [&](uint8_t marker, const uint8_t* seg, size_t n) {
    if (marker != 0xE2 || n < sizeof kIccTag || std::memcmp(seg, kIccTag, sizeof kIccTag) != 0)
      return true;  // other uses of APP2 are not ours
    if (n < kChunkHeader) {
      broken = true;
      return false;
    }
    const int number = seg[12], of = seg[13];
    if (number == 0 || of == 0 || number > of || (total != 0 && of != total) || chunk[number]) {
      broken = true;
      return false;
    }
    total = of;
    chunk[number] = seg + kChunkHeader;
    chunkBytes[number] = n - kChunkHeader;
    sum += n - kChunkHeader;
    if (sum > kIccMaxProfileBytes) {
      broken = true;
      return false;
    }
    return true;
  });
  if (broken || total == 0 || sum < kIccHeaderBytes) return std::nullopt;
  for (int k = 1; k <= total; ++k)
    if (!chunk[k]) return std::nullopt;
  std::vector<uint8_t> profile;
  profile.reserve(sum);
  for (int k = 1; k <= total; ++k) profile.insert(profile.end(), chunk[k], chunk[k] + chunkBytes[k]);
  const uint32_t declared = uint32_t(profile[0]) << 24 | uint32_t(profile[1]) << 16 |
                            uint32_t(profile[2]) << 8 | uint32_t(profile[3]);
  if (declared != profile.size()) return std::nullopt;
  return profile;
}

size_t IccTransformsBuilt() { return Cache().Built(); }

namespace {

bool ConvertRows(uint8_t* pixels, int32_t w, int32_t h, size_t stride, bool fourBytes,
                 const std::vector<uint8_t>& profile, const std::atomic<bool>* stop) {
  if (StopRequested(stop)) return false;
  const Transform t = Cache().For(profile, fourBytes);
  if (!t) return false;
  // Rows in place; each pixel is read before it is written, and padding
  // between rows is left alone.
  auto rows = [&](int32_t first, int32_t end) {
    if (end <= first) return;
    uint8_t* p = pixels + size_t(first) * stride;
    cmsDoTransformLineStride(t.get(), p, p, cmsUInt32Number(w), cmsUInt32Number(end - first),
                             cmsUInt32Number(stride), cmsUInt32Number(stride), 0, 0);
  };
  // Every pixel goes through the same table whoever converts it, so the
  // result does not depend on how the rows are shared out.
  const int64_t count = int64_t(w) * h;
  const int32_t bandRows = int32_t(std::clamp<int64_t>(kBandPixels / w, 1, h));
  const int bands = int((h + bandRows - 1) / bandRows);
  return pool::ParallelFor(bands, pool::ThreadsFor(count), stop, [&](int b) {
    rows(int32_t(b) * bandRows, std::min(h, int32_t(b + 1) * bandRows));
  });
}

}  // namespace

bool ConvertToSrgb(DibImage& image, const std::vector<uint8_t>& profile,
                   const std::atomic<bool>* stop) {
  if (!image.HasImage() || image.bitsPerPixel != 24 || image.width <= 0 || image.height <= 0 ||
      image.byteSize < image.Stride() * size_t(image.height))
    return false;
  return ConvertRows(image.pixels.get(), image.width, image.height, image.Stride(), false, profile,
                     stop);
}

bool ConvertToSrgb(uint8_t* bgra, int32_t width, int32_t height, size_t stride,
                   const std::vector<uint8_t>& profile, const std::atomic<bool>* stop) {
  if (bgra == nullptr || width <= 0 || height <= 0 || stride < size_t(width) * 4) return false;
  return ConvertRows(bgra, width, height, stride, true, profile, stop);
}

}  // namespace kv
