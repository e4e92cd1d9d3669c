#pragma once
// Display-side images: 8-bit pixel-interleaved BGRA colour images and 1-channel
// grey images with an optional region of interest, plus the pixel operations
// the viewer needs (fill, copy, cubic resize, halving, lookup-table stretch,
// pixel access, conversion to and from 24-bit bitmap bits).
//
// Geometry conventions used throughout:
// - Origin top-left, rows top-down; rows start 8-byte aligned (Stride() is a
//   multiple of 8).
// - A region of interest (ROI) selects the source rectangle of copy, resize
//   and stretch, and the target rectangle when set on the destination. A
//   source ROI may reach beyond the image: only the part inside the image is
//   read, and destination pixels whose source lies outside the image are left
//   as they were (so a destination filled white beforehand shows white there).
// - Pixel (x, y) covers the area [x, x+1) x [y, y+1). Resizing maps areas:
//   destination pixel dx of a resize by factor s = dstNum / srcNum covers the
//   source span [roi.x + dx / s, roi.x + (dx + 1) / s), i.e. pixel centres map
//   as src = roi.x + (dx + 0.5) / s - 0.5. So a screen point x shows the photo
//   point trunc(x / s + roi.x), which is what real-size geometry relies on.
// - Taps outside the image read the nearest edge pixel (edge replication);
//   taps outside the ROI but inside the image read the real neighbours, so
//   panning shows no seams.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "foundation/core/image/dib_image.h"
#include "foundation/core/image/orientation.h"

namespace kv {

enum class PixelFormat : uint8_t {
  kBgra,  // 4 channels in memory order blue, green, red, alpha
  kGray,  // 1 channel
};

// A rectangle in image pixels. The viewer keeps one per view, made at
// (0, 0, 100, 100) and moved and resized afterwards.
struct Roi {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 100;
  int32_t height = 100;
  friend bool operator==(const Roi&, const Roi&) = default;
};

// Largest image accepted, in pixels (beyond it creation fails cleanly).
inline constexpr int64_t kMaxImagePixels = int64_t(1) << 28;

class Image {
 public:
  Image() = default;  // empty: no pixels, 0 x 0
  // Allocates width x height pixels set to `fill` in every channel. Sizes
  // below 1 or above kMaxImagePixels, or a failed allocation, give an empty
  // image (IsEmpty()).
  Image(int32_t width, int32_t height, PixelFormat format, uint8_t fill = 255);
  // The same with the pixels left as allocated, for a writer that fills
  // every row itself (a decoder): a large photo is not written twice.
  struct NoFill {};
  Image(int32_t width, int32_t height, PixelFormat format, NoFill);

  Image(Image&&) noexcept = default;
  Image& operator=(Image&&) noexcept = default;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  bool IsEmpty() const { return data_ == nullptr; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  PixelFormat Format() const { return format_; }
  int Channels() const { return format_ == PixelFormat::kBgra ? 4 : 1; }
  size_t Stride() const { return stride_; }  // bytes from one row to the next
  uint8_t* Row(int32_t y) { return data_.get() + size_t(y) * stride_; }
  const uint8_t* Row(int32_t y) const { return data_.get() + size_t(y) * stride_; }

  // Region of interest; without one the whole image is the region.
  void SetRoi(const Roi& roi) { roi_ = roi; hasRoi_ = true; }
  void ClearRoi() { hasRoi_ = false; }
  bool HasRoi() const { return hasRoi_; }
  Roi GetRoi() const { return hasRoi_ ? roi_ : Roi{0, 0, width_, height_}; }

 private:
  void Allocate(int32_t width, int32_t height, const uint8_t* fill);
  struct FreeDeleter {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t[], FreeDeleter> data_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t stride_ = 0;
  PixelFormat format_ = PixelFormat::kBgra;
  bool hasRoi_ = false;
  Roi roi_;
};

// An image slot: null when empty. Its owner keeps the image until it remakes
// the slot or releases it.
using IplImageSlot = std::unique_ptr<Image>;

// Releases what the slot holds, then makes a BGRA image of the given size
// filled with 255 (white, opaque), edges replicated when resized. Invalid
// sizes or a failed allocation leave the slot empty.
void MakeColorIplImage(IplImageSlot& slot, int32_t width, int32_t height);
// The same for a 1-channel grey image filled with 255.
void MakeGrayIplImage(IplImageSlot& slot, int32_t width, int32_t height);
// Frees the slot's image, if any, and leaves the slot null.
void ReleaseIplImage(IplImageSlot& slot);

// Sets every channel of the region (the ROI, or the whole image) to `value`.
void FillImage(Image& image, uint8_t value);

// Copies the source region to the top-left of the destination region,
// clipped to both; formats must match. Returns false (and does nothing) when
// either image is empty or the formats differ.
bool CopyImage(const Image& src, Image& dst);

enum class Interpolation : uint8_t { kCubic };

// Scales the source region by dstNumX / srcNumX horizontally and
// dstNumY / srcNumY vertically into the top-left of the destination region.
// The viewer passes (clientWidth, visibleWidth, clientHeight, visibleHeight).
// Enlarging uses the cubic convolution kernel with a = -0.5; shrinking widens
// the kernel by the reduction factor so fine detail does not alias. Equal
// numerators and denominators copy exactly. Writes at most
// min(destination region, trunc(region size x factor)) pixels per axis, and
// only those whose source centre lies inside the image. Returns false when an
// image is empty, the formats differ or a factor is not above 0.
bool ResizeImage(const Image& src, Image& dst, int32_t dstNumX, int32_t srcNumX, int32_t dstNumY,
                 int32_t srcNumY, Interpolation interpolation = Interpolation::kCubic);

// Halves a BGRA image by averaging each 2 x 2 block, (a + b + c + d + 2) / 4
// per channel, into an image of half the size rounded down (an odd last row
// or column is dropped). ROIs are ignored: the whole source goes into the
// whole of `dst`, which is reused when it already has that size and format
// and remade otherwise. Returns false, leaving `dst` as it was, when the
// source is empty, grey or narrower or lower than 2 pixels, or the
// allocation fails. Bands of rows are halved on the worker pool; once
// `stop` is set no band is started and the answer is false, `dst` then
// holding a part (when it was reused) or left as it was.
bool HalveImage(const Image& src, Image& dst, const std::atomic<bool>* stop = nullptr);

// The resize and the halving share out their work on the core's worker
// pool (foundation/core/util/parallel.h, whose pool::SetThreads sets how
// many threads); they may be called from several threads at once.

// One output level for each input level 0..255.
using LookupTable = std::array<uint8_t, 256>;

// Builds the table out[i] = i (identity).
LookupTable IdentityTable();

// Replaces each channel value of the source region through its table and
// writes it to the top-left of the destination region (clipped to both;
// src and dst may be the same image). Grey: tables[0]. BGRA: with one table
// it applies to blue, green and red; with three, tables[0..2] apply to blue,
// green and red; with four, alpha too. Alpha without a table is copied.
// Returns false when an image is empty, formats differ or the table count
// does not fit.
bool ContrastStretch(const Image& src, Image& dst, std::span<const LookupTable> tables);

// Copies one channel (0 blue, 1 green, 2 red, 3 alpha) of a BGRA image into
// a grey image and back, over the overlapping size (ROIs are ignored).
bool ExtractChannel(const Image& color, int channel, Image& gray);
bool InsertChannel(const Image& gray, int channel, Image& color);

// Reads or writes all channels of one pixel (Channels() bytes). Returns false
// and touches nothing when (x, y) is outside the image.
bool GetPixel(const Image& image, int32_t x, int32_t y, uint8_t* pixel);
bool PutPixel(Image& image, int32_t x, int32_t y, const uint8_t* pixel);

// Describes 24-bit bitmap bits: rows of width x 3 bytes padded to a multiple
// of 4, blue-green-red. A negative height means top-down rows (row 0 in
// memory is the top), a positive one bottom-up.
struct DibLayout {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bitsPerPixel = 24;
};

// Bytes one row of the layout occupies, and the whole block (0 for layouts
// that are not 24-bit or have a side of 0).
size_t DibStride(const DibLayout& layout);
size_t DibByteSize(const DibLayout& layout);

// Copies bitmap bits into the image over the overlapping size, top-left
// aligned (ROIs are ignored). Grey images receive the luma of each pixel,
// BGRA images get alpha 255. Returns false, changing nothing, when the
// layout is not 24-bit, `byteCount` is smaller than DibByteSize(layout) or
// the image is empty.
bool ConvertFromDib(const DibLayout& layout, const uint8_t* bits, size_t byteCount, Image& dst);
// Convenience for a decoded photo (top-down).
bool ConvertFromDib(const DibImage& photo, Image& dst);

// Copies the image into bitmap bits over the overlapping size; grey pixels
// become three equal bytes, alpha is dropped; pad bytes are zeroed. Same
// refusals as ConvertFromDib.
bool ConvertToDib(const Image& src, const DibLayout& layout, uint8_t* bits, size_t byteCount);

}  // namespace kv
