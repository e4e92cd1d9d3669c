#pragma once
// Decoding a photo for the viewer: upright, in sRGB, four bytes a pixel, with
// its navigator bitmap and the halved copies a view of the whole photo
// needs; and the rule for a reduced first frame. The photo session runs
// these on its workers.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/imageops/image.h"
#include "viewer/model/display_compose.h"

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
  // The display a view opens it at, when the decode knew the view's size.
  PreparedDisplay display;
  std::string reason;  // why there is no image
};

// The navigator's bitmap of an upright photo, drawn at the destination's
// size, and made at its usual 240 x 240. `stop` ends the drawing early
// (the bitmap then is not to be shown).
void DrawThumbnailOf(const Image& upright, DibImage& destination,
                     const std::atomic<bool>* stop = nullptr);
DibImage ThumbnailOf(const Image& upright, const std::atomic<bool>* stop = nullptr);

// A 2 x 2 box average of a BGRA image at least 2 x 2 (odd last rows and
// columns dropped), or nothing (also once `stop` is set).
IplImageSlot HalvedCopy(const Image& src, const std::atomic<bool>* stop = nullptr);

// The sizes of the halved copies of an image (the photo at 1 / 2^shift)
// that a view of `client` device pixels reads to show it whole: none for
// 0 x 0.
std::vector<PixelSize> LevelSizesFor(PixelSize image, int shift, PixelSize client);

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

// Lets go of the halved copies but the one a view of `client` device pixels
// reads to show the whole photo (a neighbour held for a step to it).
void KeepLevelForFit(DecodedPhoto& photo, PixelSize client);

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

// A half-size decode still does a good part of the whole one's work: on a
// 6000 x 4000 photo 0.41 of it in smooth shading (0.023 bytes a pixel) and
// 0.72 at 0.07, with pages of its own to fill and a display of its own to
// build beside the whole photo. Where the view shows the photo at more than
// a quarter, the whole photo comes nearly as soon, and sooner without it.
inline constexpr int kFirstFrameMinShift = 2;

// The reduction a first frame shown at `zoom` is decoded at: the strongest
// the library offers (1/4, 1/8) that still gives at least one image pixel
// per screen pixel; 0 (no first frame) from a zoom above one quarter, or
// for a file of more than kFirstFrameMaxBytesPerPixel.
int FirstFrameShift(double zoom, double bytesPerPixel = 0.0);

}  // namespace kv::viewer
