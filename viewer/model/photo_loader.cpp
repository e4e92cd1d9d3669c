#include "viewer/model/photo_loader.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/shown_photo.h"
#include "foundation/core/image/thumbnail.h"
#include "foundation/core/util/memory.h"
#include "viewer/model/scale_model.h"

namespace kv::viewer {
namespace {

bool Stopped(const std::atomic<bool>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed);
}

}  // namespace

void DrawThumbnailOf(const Image& upright, DibImage& destination, const std::atomic<bool>* stop) {
  ImageScaler().ResampleToThumbnail(
      BgraPixels{upright.Row(0), upright.Width(), upright.Height(), upright.Stride()}, destination,
      stop);
}

DibImage ThumbnailOf(const Image& upright, const std::atomic<bool>* stop) {
  DibSectionImage section;
  CreateThumbnailDib(section);
  DrawThumbnailOf(upright, section.image, stop);
  return std::move(section.image);
}

IplImageSlot HalvedCopy(const Image& src, const std::atomic<bool>* stop) {
  IplImageSlot out;
  if (src.IsEmpty() || src.Width() < 2 || src.Height() < 2) return out;
  auto half = std::make_unique<Image>(src.Width() / 2, src.Height() / 2, PixelFormat::kBgra,
                                      Image::NoFill{});
  if (!half->IsEmpty() && HalveImage(src, *half, stop)) out = std::move(half);
  return out;
}

DecodedPhoto DecodePhoto(const std::vector<uint8_t>& jpeg, Orientation o, int shift,
                         const std::atomic<bool>* cancel, PixelSize client, Spare spare) {
  DecodedPhoto out;
  out.shift = shift;
  // Upright and in sRGB in one pass; a photo stored sideways is turned band
  // by band as it is decoded, into the one four-byte copy.
  auto image = std::make_unique<Image>();
  // The halved copies' blocks are found or made with the photo's, so that
  // their fresh pages too are mapped while the decoder works.
  std::vector<IplImageSlot> halves;
  std::optional<PrefaultPages> prefault;
  const JpegAllocator into = [&](uint32_t w, uint32_t h, size_t) {
    std::vector<PrefaultPages::Block> fresh;
    // The photo shown before, when it was of this size, is written over:
    // memory already in use costs nothing to touch again.
    if (spare.image && spare.image->Width() == int32_t(w) && spare.image->Height() == int32_t(h)) {
      image = std::move(spare.image);
    } else {
      *image = Image(int32_t(w), int32_t(h), PixelFormat::kBgra, Image::NoFill{});
      if (!image->IsEmpty()) fresh.push_back({image->Row(0), image->Stride() * size_t(h)});
    }
    if (image->IsEmpty()) return JpegTarget{};
    for (const PixelSize size : LevelSizesFor({int32_t(w), int32_t(h)}, shift, client)) {
      IplImageSlot block;
      // A spare block of the size wanted is written over, wherever it was.
      for (IplImageSlot& old : spare.levels)
        if (old && old->Width() == size.width && old->Height() == size.height) {
          block = std::move(old);
          break;
        }
      if (!block) {
        block = std::make_unique<Image>(size.width, size.height, PixelFormat::kBgra, Image::NoFill{});
        if (block->IsEmpty()) break;  // made after the decode, or refused then
        fresh.push_back({block->Row(0), block->Stride() * size_t(size.height)});
      }
      halves.push_back(std::move(block));
    }
    // Cleared on the other core while the decoder fills the rows above.
    if (!fresh.empty()) prefault.emplace(std::move(fresh));
    const size_t used = size_t(w) * 4;
    if (image->Stride() > used)
      for (uint32_t y = 0; y < h; ++y) std::memset(image->Row(int32_t(y)) + used, 0, image->Stride() - used);
    return JpegTarget{image->Row(0), image->Stride()};
  };
  const int decoded = DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shift, into, out.reason, cancel);
  prefault.reset();
  if (decoded != 1) return out;
  out.image = std::move(image);
  if (Stopped(cancel)) {
    out.image.reset();
    out.reason = kJpegDecodeCancelled;
    return out;
  }
  const Image* level = out.image.get();
  for (const PixelSize size : LevelSizesFor({level->Width(), level->Height()}, shift, client)) {
    if (Stopped(cancel)) break;
    const size_t k = out.levels.size();
    IplImageSlot next;
    if (k < halves.size() && HalveImage(*level, *halves[k], cancel)) next = std::move(halves[k]);
    if (!next && k >= halves.size()) next = HalvedCopy(*level, cancel);
    if (!next || next->Width() != size.width || next->Height() != size.height) break;
    out.levels.push_back(std::move(next));
    level = out.levels.back().get();
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
  out.thumbnail = ThumbnailOf(*sampled, cancel);
  // All of them stay: the window may have another size by the time the
  // photo is shown, and its view keeps the one it reads.
  if (Stopped(cancel)) {
    out.image.reset();
    out.levels.clear();
    out.reason = kJpegDecodeCancelled;
  }
  return out;
}

std::vector<PixelSize> LevelSizesFor(PixelSize image, int shift, PixelSize client) {
  std::vector<PixelSize> sizes;
  if (client.width <= 0 || client.height <= 0 || image.width <= 0 || image.height <= 0) return sizes;
  const double fit = FitScale(image.width << shift, image.height << shift, client.width, client.height);
  for (int k = shift; HalvesAgain(fit, k, image.width, image.height); ++k) {
    image = {image.width / 2, image.height / 2};
    sizes.push_back(image);
  }
  return sizes;
}

void KeepLevelForFit(DecodedPhoto& photo, PixelSize client) {
  if (!photo.image || client.width <= 0 || client.height <= 0) return;
  const size_t wanted =
      std::min(photo.levels.size(),
               LevelSizesFor({photo.image->Width(), photo.image->Height()}, photo.shift, client).size());
  size_t used = 0;
  while (used < wanted && photo.levels[used]) ++used;
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
