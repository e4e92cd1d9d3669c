#pragma once
// Decoding photos away from the interface thread, so that the window never
// freezes while a photo opens: a reduced first frame, then the whole photo,
// and the neighbour in the direction the user is stepping, decoded ahead.
// Workers are plain threads; what they make reaches the view through the
// platform's dispatcher on the interface thread, and only while it is still
// wanted. Without a dispatcher everything runs in the call (tests, tools).
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/imageops/image.h"
#include "kvi/actual_size_file.h"
#include "platform/services.h"

namespace kv::viewer {

struct DecodedPhoto {
  // Upright, in sRGB, four bytes a pixel; null when the photo cannot be shown.
  IplImageSlot image;
  // The image is the photo reduced by 2^shift (its pixel x covers the
  // photo's pixels [x * 2^shift, (x + 1) * 2^shift)).
  int shift = 0;
  // The image halved once, twice...: what a view of the client size the
  // decode was asked for needs to show the whole photo.
  std::vector<IplImageSlot> levels;
  // The navigator's 240 x 240 bitmap of it.
  DibImage thumbnail;
  std::string reason;  // why there is no image
};

// The navigator's bitmap of an upright photo, drawn at the destination's
// size, and made at its usual 240 x 240.
void DrawThumbnailOf(const Image& upright, DibImage& destination);
DibImage ThumbnailOf(const Image& upright);

// A 2 x 2 box average of a BGRA image at least 2 x 2 (odd last rows and
// columns dropped), or nothing.
IplImageSlot HalvedCopy(const Image& src);

// Blocks a decode may write into instead of new ones: the photo shown
// before, and its halved copies, when they have the sizes needed.
struct Spare {
  IplImageSlot image;
  std::vector<IplImageSlot> levels;
};

// The photo in `jpeg` at 1 / 2^shift, turned upright by `o`, converted from
// its colour profile, with its thumbnail and the halved levels showing it
// whole in a client of `client` device pixels needs (none for 0 x 0).
// `cancel` stops it early (the result then has no image).
DecodedPhoto DecodePhoto(const std::vector<uint8_t>& jpeg, Orientation o, int shift,
                         const std::atomic<bool>* cancel = nullptr, PixelSize client = {0, 0},
                         Spare spare = {});

// Whether a view at `zoom` halves an image of the given size once more.
inline bool HalvesAgain(double zoom, int shift, int32_t width, int32_t height) {
  return std::ldexp(zoom, shift + 1) <= 1.0 && width >= 64 && height >= 64;
}

// A reduced decode saves the inverse transform, upsampling and colour work
// of the pixels left out, never the reading of the coded data, which costs
// in proportion to the file's bytes. Measured on a 6000 x 4000 photo with
// the library here: the coded data about 8.7 ms a megabyte, the pixels
// about 1 ms a megapixel. At 0.41 bytes a pixel (fine noise) a half-size
// decode took 0.89 of the whole and an eighth 0.74; at 0.024 (smooth
// shading) a half-size one 0.53. Decoded beside the whole photo a first
// frame also slows the whole one down (by 13 % at 0.41 bytes a pixel on
// two cores), so it is made only where it comes at about two thirds of
// the whole photo's time or sooner: up to this many bytes a pixel.
inline constexpr double kFirstFrameMaxBytesPerPixel = 0.15;

// The reduction a first frame shown at `zoom` is decoded at: the strongest
// the library offers (1/2, 1/4, 1/8) that still gives at least one image
// pixel per screen pixel; 0 (no first frame) from a zoom above one half,
// or for a file of more than kFirstFrameMaxBytesPerPixel.
int FirstFrameShift(double zoom, double bytesPerPixel = 0.0);

// A neighbour decoded ahead, with the file it came from.
struct Prefetched {
  std::string path;
  std::shared_ptr<const ActualSizeFile> file;
  DecodedPhoto photo;
};

class PhotoLoader {
 public:
  using Deliver = std::function<void(DecodedPhoto)>;

  explicit PhotoLoader(platform::Dispatcher* dispatcher);
  // Stops every worker and waits for it (each stops within a row group).
  ~PhotoLoader();
  PhotoLoader(const PhotoLoader&) = delete;
  PhotoLoader& operator=(const PhotoLoader&) = delete;

  bool Async() const { return dispatcher_ != nullptr; }

  // Decodes the photo on show whole and, when firstShift is above 0, at
  // 1 / 2^firstShift beside it for a first frame. `deliver` gets each result
  // on the interface thread: the first frame only while the whole photo is
  // not there, the whole photo (or its failure) last; never after Cancel,
  // another Start or the loader's end. Without a dispatcher the whole photo
  // is decoded and delivered before Start returns.
  void Start(std::shared_ptr<const ActualSizeFile> file, Orientation o, int firstShift,
             PixelSize client, Deliver deliver, Spare spare = {});
  void Cancel();
  // The photo on show is still being decoded.
  bool Busy() const { return busy_; }

  // Reads and decodes the file at `path` in the background, dropping any
  // other neighbour. A file that cannot be read or decoded is forgotten
  // without a word: the step to it reads it again and says why.
  void Prefetch(const std::string& path, PixelSize client);
  // The neighbour when it is `path`, decoded and unchanged on disk since it
  // was read; handed over. Nothing otherwise (a neighbour still in the
  // works for `path` is stopped: the caller decodes it as the photo on show).
  std::optional<Prefetched> TakePrefetched(const std::string& path);
  void DropPrefetched();
  // What is being read ahead, or has been ("" for nothing).
  const std::string& PrefetchPath() const { return aheadPath_; }
  bool PrefetchReady() const { return ahead_.has_value(); }
  // A neighbour is still being read or decoded.
  bool PrefetchInFlight() const { return aheadJob_ && !aheadJob_->done; }

 private:
  struct Job {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::thread thread;
  };
  struct Stamp {
    uintmax_t size = 0;
    std::filesystem::file_time_type time;
    bool operator==(const Stamp&) const = default;
  };
  static std::optional<Stamp> StampOf(const std::string& path);
  Job* Launch(std::function<void(Job&)> work);
  void Retire(Job*& job);
  void Reap();

  platform::Dispatcher* dispatcher_;
  // Tasks posted by workers check this before touching the loader.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::vector<std::unique_ptr<Job>> jobs_;  // running or finished, not yet joined
  Job* current_ = nullptr;  // the whole photo on show
  Job* first_ = nullptr;    // its first frame
  uint64_t currentId_ = 0;
  Deliver deliver_;
  bool busy_ = false;
  Job* aheadJob_ = nullptr;
  uint64_t aheadId_ = 0;
  std::string aheadPath_;
  std::optional<Prefetched> ahead_;
  std::optional<Stamp> aheadStamp_;
};

}  // namespace kv::viewer
