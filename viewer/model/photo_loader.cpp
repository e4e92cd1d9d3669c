#include "viewer/model/photo_loader.h"

#include <cstring>

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
  if (client.width > 0 && client.height > 0) {
    const Image* level = out.image.get();
    const double fit = FitScale(level->Width() << shift, level->Height() << shift, client.width,
                                client.height);
    for (int k = shift; HalvesAgain(fit, k, level->Width(), level->Height()) && !Stopped(cancel); ++k) {
      IplImageSlot next;
      // A spare block of the size wanted is written over, wherever it was.
      for (IplImageSlot& block : spare.levels)
        if (block && block->Width() == level->Width() / 2 && block->Height() == level->Height() / 2) {
          if (HalveImage(*level, *block)) next = std::move(block);
          break;
        }
      if (!next) next = HalvedCopy(*level);
      if (!next) break;
      out.levels.push_back(std::move(next));
      level = out.levels.back().get();
    }
  }
  // Sampled from the smallest copy still larger than the navigator's
  // square and of exactly the photo's proportions: the same picture from a
  // fraction of the memory.
  const Image* sampled = out.image.get();
  for (size_t k = 0; k < out.levels.size(); ++k) {
    const Image& level = *out.levels[k];
    if (level.Width() >= kThumbnailSide && level.Height() >= kThumbnailSide &&
        (level.Width() << (k + 1)) == out.image->Width() &&
        (level.Height() << (k + 1)) == out.image->Height())
      sampled = &level;
  }
  out.thumbnail = ThumbnailOf(*sampled);
  // All of them stay: the window may have another size by the time the
  // photo is shown, and its view keeps the one it reads.
  return out;
}

void KeepLevelForFit(DecodedPhoto& photo, PixelSize client) {
  if (!photo.image || client.width <= 0 || client.height <= 0) return;
  const Image* level = photo.image.get();
  const double fit = FitScale(level->Width() << photo.shift, level->Height() << photo.shift,
                              client.width, client.height);
  size_t used = 0;
  for (int k = photo.shift; used < photo.levels.size() && photo.levels[used] &&
                            HalvesAgain(fit, k, level->Width(), level->Height());
       ++k)
    level = photo.levels[used++].get();
  photo.levels.resize(used);
  for (size_t k = 0; k + 1 < photo.levels.size(); ++k) photo.levels[k].reset();
}

int FirstFrameShift(double zoom, double bytesPerPixel) {
  if (!(zoom > 0.0) || bytesPerPixel > kFirstFrameMaxBytesPerPixel) return 0;
  int shift = 0;
  while (shift < 3 && zoom * double(2 << shift) <= 1.0) ++shift;
  return shift >= kFirstFrameMinShift ? shift : 0;
}

}  // namespace kv::viewer
