#pragma once
// The navigator's overview: the whole photo, proportions kept, centred in a
// 240 x 240 bitmap with a bevelled frame. The bitmap's rows are bottom-up in
// memory, as the navigator draws it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"

namespace kv {

constexpr int32_t kThumbnailSide = 240;

// Where a photo sits in a box of the thumbnail's kind: proportions kept,
// the whole photo shown, centred the short way. The navigators map between
// photo and box with the same numbers the bitmap is drawn with.
struct ThumbnailPlacement {
  double scale = 1.0;   // photo pixels per box pixel
  int32_t offsetX = 0;  // the box pixel where the photo starts
  int32_t offsetY = 0;
};
// Computed in 64 bits, so photos of any size place; none for an empty photo
// or box.
std::optional<ThumbnailPlacement> PlaceInThumbnail(int32_t photoWidth, int32_t photoHeight,
                                                   int32_t boxWidth = kThumbnailSide,
                                                   int32_t boxHeight = kThumbnailSide);

// The navigator bitmap, plain memory owned by the record.
struct DibSectionImage {
  DibImage image;
};

// Makes (or remakes) the black 240 x 240 bottom-up bitmap.
void CreateThumbnailDib(DibSectionImage& section);

// Colour packed with the pixel's first byte in bits 16-23, its second in
// 8-15 and its third in 0-7: for blue-green-red, 0x00BBGGRR.
uint32_t GetPackedPixel(const DibImage& image, int32_t x, int32_t y);
void PutPackedPixel(DibImage& image, int32_t x, int32_t y, uint32_t packed);

// Four-byte blue-green-red-alpha pixels someone else owns.
struct BgraPixels {
  const uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  size_t stride = 0;
};

class ImageScaler {
 public:
  // The same from an upright photo of four-byte pixels. Looks at `stop`
  // between rows: false when it was set (the bitmap then partly drawn).
  bool ResampleToThumbnail(const BgraPixels& upright, DibImage& destination,
                           const std::atomic<bool>* stop = nullptr) const;
  // Centres the photo and draws it with its frame; a photo stored sideways
  // (orientation above 1) is drawn upright.
  void ResampleToThumbnail(const DibImage& source, DibImage& destination,
                           Orientation orientation = 1) const;
  // Frame and point-sampled photo at the given offsets.
  void DrawThumbnail(const DibImage& source, DibImage& destination, int32_t offsetX,
                     int32_t offsetY, Orientation orientation = 1) const;
};

}  // namespace kv
