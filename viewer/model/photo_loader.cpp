#include "viewer/model/photo_loader.h"

#include <cstring>
#include <system_error>

#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/thumbnail.h"
#include "viewer/model/scale_model.h"

namespace kv::viewer {
namespace {

bool Stopped(const std::atomic<bool>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed);
}

}  // namespace

void DrawThumbnailOf(const Image& upright, DibImage& destination) {
  ImageScaler().ResampleToThumbnail(
      BgraPixels{upright.Row(0), upright.Width(), upright.Height(), upright.Stride()}, destination);
}

DibImage ThumbnailOf(const Image& upright) {
  DibSectionImage section;
  CreateThumbnailDib(section);
  DrawThumbnailOf(upright, section.image);
  return std::move(section.image);
}

IplImageSlot HalvedCopy(const Image& src) {
  IplImageSlot out;
  if (src.IsEmpty() || src.Width() < 2 || src.Height() < 2) return out;
  auto half = std::make_unique<Image>(src.Width() / 2, src.Height() / 2, PixelFormat::kBgra,
                                      Image::NoFill{});
  if (!half->IsEmpty() && HalveImage(src, *half)) out = std::move(half);
  return out;
}

DecodedPhoto DecodePhoto(const std::vector<uint8_t>& jpeg, Orientation o, int shift,
                         const std::atomic<bool>* cancel, PixelSize client, Spare spare) {
  DecodedPhoto out;
  out.shift = shift;
  const std::optional<std::vector<uint8_t>> profile = ReadIccProfile(jpeg.data(), jpeg.size());
  if (o < 2 || o > 8) {
    // Upright as stored: the library writes the four bytes where the view
    // reads them, and this is the only copy.
    auto image = std::make_unique<Image>();
    const JpegAllocator into = [&](uint32_t w, uint32_t h, size_t) {
      // The photo shown before, when it was of this size, is written over:
      // memory already in use costs nothing to touch again.
      if (spare.image && spare.image->Width() == int32_t(w) && spare.image->Height() == int32_t(h))
        image = std::move(spare.image);
      else
        *image = Image(int32_t(w), int32_t(h), PixelFormat::kBgra, Image::NoFill{});
      if (image->IsEmpty()) return JpegTarget{};
      const size_t used = size_t(w) * 4;
      if (image->Stride() > used)
        for (uint32_t y = 0; y < h; ++y) std::memset(image->Row(int32_t(y)) + used, 0, image->Stride() - used);
      return JpegTarget{image->Row(0), image->Stride()};
    };
    if (DecodeJpegBgra(jpeg.data(), jpeg.size(), shift, into, out.reason, cancel) != 1) return out;
    // A profile that cannot be used leaves the photo as decoded, read as sRGB.
    if (profile) ConvertToSrgb(image->Row(0), image->Width(), image->Height(), image->Stride(), *profile);
    out.image = std::move(image);
  } else {
    // Stored sideways: the three-byte record is turned into the four-byte
    // copy in one pass and let go, which needs less memory at its peak
    // than a four-byte record turned into another.
    DibImage stored;
    if (DecodeJpegBuffer(jpeg.data(), jpeg.size(), stored, out.reason, shift, cancel) != 1) return out;
    if (Stopped(cancel)) {
      out.reason = kJpegDecodeCancelled;
      return out;
    }
    if (profile) ConvertToSrgb(stored, *profile);
    const PixelSize shown = ShownSize({stored.width, stored.height}, o);
    auto image = std::make_unique<Image>(shown.width, shown.height, PixelFormat::kBgra, Image::NoFill{});
    if (image->IsEmpty() || !ConvertFromDibUpright(stored, o, *image)) {
      out.reason = "ﾒﾓﾘが足りません";
      return out;
    }
    out.image = std::move(image);
  }
  if (Stopped(cancel)) {
    out.image.reset();
    out.reason = kJpegDecodeCancelled;
    return out;
  }
  out.thumbnail = ThumbnailOf(*out.image);
  if (client.width > 0 && client.height > 0) {
    const Image* level = out.image.get();
    const double fit = FitScale(level->Width() << shift, level->Height() << shift, client.width,
                                client.height);
    for (int k = shift; HalvesAgain(fit, k, level->Width(), level->Height()) && !Stopped(cancel); ++k) {
      IplImageSlot next;
      const size_t at = out.levels.size();
      if (at < spare.levels.size() && spare.levels[at] &&
          spare.levels[at]->Width() == level->Width() / 2 &&
          spare.levels[at]->Height() == level->Height() / 2 && HalveImage(*level, *spare.levels[at]))
        next = std::move(spare.levels[at]);
      else
        next = HalvedCopy(*level);
      if (!next) break;
      out.levels.push_back(std::move(next));
      level = out.levels.back().get();
    }
  }
  return out;
}

int FirstFrameShift(double zoom, double bytesPerPixel) {
  if (!(zoom > 0.0) || bytesPerPixel > kFirstFrameMaxBytesPerPixel) return 0;
  int shift = 0;
  while (shift < 3 && zoom * double(2 << shift) <= 1.0) ++shift;
  return shift;
}

PhotoLoader::PhotoLoader(platform::Dispatcher* dispatcher) : dispatcher_(dispatcher) {}

PhotoLoader::~PhotoLoader() {
  for (auto& job : jobs_) job->cancel = true;
  for (auto& job : jobs_)
    if (job->thread.joinable()) job->thread.join();
}

PhotoLoader::Job* PhotoLoader::Launch(std::function<void(Job&)> work) {
  Reap();
  auto job = std::make_unique<Job>();
  Job* raw = job.get();
  try {
    raw->thread = std::thread([raw, work = std::move(work)] {
      work(*raw);
      raw->done = true;
    });
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had: the caller works in the call
  }
  jobs_.push_back(std::move(job));
  return raw;
}

void PhotoLoader::Retire(Job*& job) {
  if (job) job->cancel = true;
  job = nullptr;
}

void PhotoLoader::Reap() {
  for (size_t i = 0; i < jobs_.size();) {
    if (jobs_[i]->done) {
      // A finished job may still be named here (its result not yet taken,
      // or a neighbour that failed): the name goes with it.
      for (Job** named : {&current_, &first_, &aheadJob_})
        if (*named == jobs_[i].get()) *named = nullptr;
      jobs_[i]->thread.join();
      jobs_.erase(jobs_.begin() + std::ptrdiff_t(i));
    } else {
      ++i;
    }
  }
}

void PhotoLoader::Cancel() {
  Retire(current_);
  Retire(first_);
  ++currentId_;
  deliver_ = nullptr;
  busy_ = false;
}

void PhotoLoader::Start(std::shared_ptr<const ActualSizeFile> file, Orientation o, int firstShift,
                        PixelSize client, Deliver deliver, Spare spare) {
  Cancel();
  const uint64_t id = currentId_;
  deliver_ = std::move(deliver);
  busy_ = true;
  // The first frame and the whole photo decode side by side: the whole one
  // is then as soon as it would be alone, the first frame sooner.
  // The whole photo is handed over after the first frame has been (or has
  // failed), so the two always arrive in that order.
  auto firstDone = std::make_shared<std::atomic<bool>>(firstShift <= 0);
  auto spareBox = std::make_shared<Spare>(std::move(spare));
  auto decode = [this, id, file, o, firstDone, client, spareBox, alive = std::weak_ptr<int>(alive_),
                 dispatcher = dispatcher_](Job& job, int shift) {
    struct Signal {
      std::atomic<bool>* done;
      ~Signal() {
        if (done) {
          done->store(true);
          done->notify_all();
        }
      }
    } signal{shift > 0 ? firstDone.get() : nullptr};
    // Only the whole photo's job touches the spare.
    DecodedPhoto photo = DecodePhoto(file->jpegBytes, o, shift, &job.cancel, client,
                                     shift == 0 ? std::move(*spareBox) : Spare{});
    if (job.cancel) return;
    // A first frame that fails says nothing: the whole photo will say why.
    if (shift > 0 && !photo.image) return;
    if (shift == 0) firstDone->wait(false);
    auto box = std::make_shared<DecodedPhoto>(std::move(photo));
    dispatcher->Post([this, id, alive, box, shift] {
      // Too late for a first frame once the whole photo is there.
      if (!alive.lock() || id != currentId_ || !deliver_ || (shift > 0 && !busy_)) return;
      Deliver deliver = deliver_;
      if (shift == 0) {
        busy_ = false;
        current_ = nullptr;
        Retire(first_);
      } else {
        first_ = nullptr;
      }
      deliver(std::move(*box));
    });
  };
  if (dispatcher_) {
    if (firstShift > 0) first_ = Launch([decode, firstShift](Job& job) { decode(job, firstShift); });
    if (!first_) firstDone->store(true);
    current_ = Launch([decode](Job& job) { decode(job, 0); });
  }
  if (!current_) {
    Retire(first_);
    busy_ = false;
    Deliver now = std::move(deliver_);
    deliver_ = nullptr;
    now(DecodePhoto(file->jpegBytes, o, 0, nullptr, client, std::move(*spareBox)));
  }
}

std::optional<PhotoLoader::Stamp> PhotoLoader::StampOf(const std::string& path) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  const auto time = std::filesystem::last_write_time(path, ec);
  if (ec) return std::nullopt;
  return Stamp{size, time};
}

void PhotoLoader::DropPrefetched() {
  Retire(aheadJob_);
  ++aheadId_;
  aheadPath_.clear();
  ahead_.reset();
  aheadStamp_.reset();
}

void PhotoLoader::Prefetch(const std::string& path, PixelSize client) {
  if (!dispatcher_) return;
  if (path == aheadPath_) return;  // already there or on its way
  DropPrefetched();
  aheadPath_ = path;
  // Taken before the read: a file written while it is read looks changed.
  aheadStamp_ = StampOf(path);
  const uint64_t id = aheadId_;
  auto run = [this, id, path, client, alive = std::weak_ptr<int>(alive_),
              dispatcher = dispatcher_](Job& job) {
    auto file = std::make_shared<ActualSizeFile>();
    std::string reason;
    if (!ReadActualSizeFile(path, *file, reason) || job.cancel) return;
    const Orientation o = ShownOrientation(file->jpegBytes.data(), file->jpegBytes.size());
    DecodedPhoto photo = DecodePhoto(file->jpegBytes, o, 0, &job.cancel, client);
    if (job.cancel || !photo.image) return;
    auto box = std::make_shared<Prefetched>(Prefetched{path, std::move(file), std::move(photo)});
    dispatcher->Post([this, id, alive, box] {
      if (!alive.lock() || id != aheadId_) return;
      aheadJob_ = nullptr;
      ahead_ = std::move(*box);
    });
  };
  aheadJob_ = Launch(run);
  if (!aheadJob_) aheadPath_.clear();
}

std::optional<Prefetched> PhotoLoader::TakePrefetched(const std::string& path) {
  std::optional<Prefetched> out;
  if (ahead_ && ahead_->path == path && aheadStamp_ && StampOf(path) == aheadStamp_)
    out = std::move(ahead_);
  DropPrefetched();
  return out;
}

}  // namespace kv::viewer
