#include "foundation/core/image/shown_photo.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <utility>
#include <optional>
#include <vector>

#include "foundation/core/image/icc.h"
#include "foundation/core/util/parallel.h"

namespace kv {
namespace {

bool Sideways(Orientation o) { return o >= 2 && o <= 8; }

// Band buffers: one being decoded into, one being turned by the worker,
// one to spare.
constexpr size_t kBandBuffers = 3;

// Decoded bands are turned into place while the decoder goes on with the
// next: a band is handed to a worker of the pool when the worker is
// waiting for one, and otherwise turned by the decoding thread at once,
// while it is still in that core's cache. So on an idle second core a
// photo stored sideways takes about as long as an upright one, and on a
// busy machine, where the worker would come late and read the band from
// another core's cache, it costs a turn from the cache and nothing more.
// The decoding thread never waits for the worker until the end.
class BandTurner {
 public:
  using Turn = std::function<void(uint32_t first, uint32_t rows, const uint8_t* pixels, size_t stride)>;

  explicit BandTurner(Turn turn) : turn_(std::move(turn)) {}

  // Room for the bands; false when memory is short.
  bool Allocate(size_t stride) {
    stride_ = stride;
    for (size_t i = 0; i < kBandBuffers; ++i) {
      std::unique_ptr<uint8_t[]> b(new (std::nothrow) uint8_t[stride * kJpegBandRows]);
      if (!b) return false;
      free_.push_back(b.get());
      owned_.push_back(std::move(b));
    }
    return true;
  }

  // The decoder's buffer for its next band: the last one again when it
  // kept it, else a free one.
  uint8_t* Buffer() {
    if (kept_) return std::exchange(kept_, nullptr);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !free_.empty(); });
    uint8_t* p = free_.back();
    free_.pop_back();
    return p;
  }

  // A band decoded: to the worker if it is waiting, else turned here.
  void Decoded(uint32_t first, uint32_t rows, uint8_t* pixels) {
    bool given = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (idle_ && !given_) {
        given_ = Band{first, rows, pixels};
        idle_ = false;
        given = true;
      }
    }
    if (given) {
      changed_.notify_all();
      return;
    }
    turn_(first, rows, pixels, stride_);
    kept_ = pixels;
  }

  // The decoding thread, after the last band: waits for the worker's band,
  // then lets the worker go.
  void Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !given_ && !turning_; });
    done_ = true;
    lock.unlock();
    changed_.notify_all();
  }

  // The worker: turns the bands it is given until the decoding thread is
  // done.
  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      idle_ = !given_;
      changed_.wait(lock, [&] { return done_ || given_; });
      if (!given_) return;
      const Band b = *given_;
      given_.reset();
      turning_ = true;
      lock.unlock();
      turn_(b.first, b.rows, b.pixels, stride_);
      lock.lock();
      turning_ = false;
      free_.push_back(b.pixels);
      changed_.notify_all();
    }
  }

 private:
  struct Band {
    uint32_t first;
    uint32_t rows;
    uint8_t* pixels;
  };
  Turn turn_;
  size_t stride_ = 0;
  std::vector<std::unique_ptr<uint8_t[]>> owned_;
  uint8_t* kept_ = nullptr;     // turned here, so decoded into again
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t*> free_;
  std::optional<Band> given_;
  bool idle_ = false;
  bool turning_ = false;
  bool done_ = false;
};

// The photo decoded a band at a time, each band turned by `o` into the
// target `prepare` makes: it is called with the stored size once the
// header has passed its bounds, and answers where the area of the upright
// photo the caller wants is held (no pixels: no memory; an empty area: the
// one asked for is not inside the photo, and `outside` is set).
struct TurnedTarget {
  uint8_t* pixels = nullptr;
  size_t stride = 0;
  ImageRect area;  // of the upright photo; empty: a crop outside it
};
int DecodeTurned(const uint8_t* jpeg, size_t count, Orientation o, int shift, int pixelBytes,
                 const std::function<TurnedTarget(PixelSize stored)>& prepare, bool& outside,
                 std::string& reason, const std::atomic<bool>* stop) {
  PixelSize stored;
  TurnedTarget target;
  const auto turn = [&](uint32_t first, uint32_t rows, const uint8_t* pixels, size_t stride) {
    CopyUpright(o, stored, pixelBytes, pixels, stride, {0, int32_t(first), stored.width, int32_t(rows)},
                target.pixels, target.stride, target.area, stop, 1);
  };
  BandTurner turner(turn);
  JpegBands bands;
  bands.pixelBytes = pixelBytes;
  bands.begin = [&](uint32_t w, uint32_t h, size_t stride) -> uint32_t {
    stored = {int32_t(w), int32_t(h)};
    target = prepare(stored);
    if (target.area.width <= 0) {
      outside = true;
      return 0;
    }
    if (target.pixels == nullptr || (bands.buffer && !turner.Allocate(stride))) return 0;
    // The decode ends after the lowest stored row the area shows.
    const ImageRect& a = target.area;
    int32_t ax = a.x, ay = a.y, bx = a.x + a.width - 1, by = a.y + a.height - 1;
    ShownToStored(o, stored, ax, ay);
    ShownToStored(o, stored, bx, by);
    return uint32_t(std::max(ay, by)) + 1;
  };
  // The header's size, for whether a worker is worth asking for.
  const std::optional<PixelSize> size = ReadJpegSize(jpeg, count);
  const int threads = std::min(2, pool::ThreadsFor(size ? int64_t(size->width) * size->height : 0));
  int decoded = 0;
  if (threads < 2) {
    // Alone: each band turned as soon as it is decoded, from the
    // decoder's own buffer.
    bands.band = [&](uint32_t first, uint32_t rows, uint8_t* pixels, size_t stride) {
      turn(first, rows, pixels, stride);
      return !StopRequested(stop);
    };
    decoded = DecodeJpegBands(jpeg, count, shift, bands, reason, stop);
  } else {
    bands.buffer = [&](uint32_t) { return turner.Buffer(); };
    bands.band = [&](uint32_t first, uint32_t rows, uint8_t* pixels, size_t) {
      turner.Decoded(first, rows, pixels);
      return !StopRequested(stop);
    };
    pool::ParallelFor(2, threads, [&](int task) {
      if (task == 1) {
        turner.Work();
        return;
      }
      // The worker is let go whatever happens to the decode.
      struct Finish {
        BandTurner& turner;
        ~Finish() { turner.Finish(); }
      } finish{turner};
      decoded = DecodeJpegBands(jpeg, count, shift, bands, reason, stop);
    });
  }
  if (decoded == 1 && StopRequested(stop)) {
    reason = kStoppedReason;
    return 0;
  }
  return decoded;
}

// The colours turned into sRGB where the photo says it has another space;
// false only when stopped.
template <typename Convert>
bool ToSrgb(const std::optional<std::vector<uint8_t>>& profile, const std::atomic<bool>* stop,
            std::string& reason, const Convert& convert) {
  // A profile that cannot be used leaves the photo as decoded, read as sRGB.
  if (profile) convert(*profile);
  if (!StopRequested(stop)) return true;
  reason = kStoppedReason;
  return false;
}

}  // namespace

int DecodeShownSrgb(const uint8_t* jpeg, size_t count, Orientation o, int shift,
                    const JpegAllocator& allocate, std::string& reason,
                    const std::atomic<bool>* stop) {
  if (StopRequested(stop)) {
    reason = kStoppedReason;
    return 0;
  }
  const std::optional<std::vector<uint8_t>> profile = ReadIccProfile(jpeg, count);
  JpegTarget target;
  PixelSize shown;
  if (!Sideways(o)) {
    // As stored: the library writes where the caller reads.
    const JpegAllocator into = [&](uint32_t w, uint32_t h, size_t stride) {
      shown = {int32_t(w), int32_t(h)};
      target = allocate(w, h, stride);
      return target;
    };
    if (DecodeJpegBgra(jpeg, count, shift, into, reason, stop) != 1) return 0;
  } else {
    bool outside = false;
    const auto prepare = [&](PixelSize stored) {
      shown = ShownSize(stored, o);
      target = allocate(uint32_t(shown.width), uint32_t(shown.height), size_t(shown.width) * 4);
      return TurnedTarget{target.pixels, target.stride, {0, 0, shown.width, shown.height}};
    };
    if (DecodeTurned(jpeg, count, o, shift, 4, prepare, outside, reason, stop) != 1) return 0;
  }
  return ToSrgb(profile, stop, reason, [&](const std::vector<uint8_t>& p) {
    ConvertToSrgb(target.pixels, shown.width, shown.height, target.stride, p, stop);
  });
}

int DecodeShownSrgb(const uint8_t* jpeg, size_t count, Orientation o, DibImage& out,
                    std::string& reason, const ImageRect* crop, int shift,
                    const std::atomic<bool>* stop) {
  if (StopRequested(stop)) {
    reason = kStoppedReason;
    return 0;
  }
  const std::optional<std::vector<uint8_t>> profile = ReadIccProfile(jpeg, count);
  DibImage image;
  if (!Sideways(o) && crop == nullptr) {
    if (DecodeJpegBuffer(jpeg, count, image, reason, shift, stop) != 1) return 0;
  } else {
    if (!Sideways(o)) o = 1;
    bool outside = false;
    const auto prepare = [&](PixelSize stored) {
      const PixelSize shown = ShownSize(stored, o);
      const ImageRect area = crop ? *crop : ImageRect{0, 0, shown.width, shown.height};
      if (area.width <= 0 || area.height <= 0 || area.x < 0 || area.y < 0 ||
          area.x > shown.width - area.width || area.y > shown.height - area.height)
        return TurnedTarget{};
      if (!AllocateDib(image, area.width, area.height)) return TurnedTarget{nullptr, 0, area};
      return TurnedTarget{image.pixels.get(), image.Stride(), area};
    };
    if (DecodeTurned(jpeg, count, o, shift, 3, prepare, outside, reason, stop) != 1) {
      if (outside) reason = "切り出す範囲が写真の外です";
      return 0;
    }
  }
  if (!ToSrgb(profile, stop, reason, [&](const std::vector<uint8_t>& p) { ConvertToSrgb(image, p, stop); }))
    return 0;
  out = std::move(image);
  return 1;
}

}  // namespace kv
