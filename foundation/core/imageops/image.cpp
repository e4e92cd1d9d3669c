#include "foundation/core/imageops/image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/core/imageops/region.h"
#include "foundation/core/util/memory.h"

namespace kv {

void Image::FreeDeleter::operator()(uint8_t* p) const { std::free(p); }

Image::Image(int32_t width, int32_t height, PixelFormat format, uint8_t fill) : format_(format) {
  Allocate(width, height, &fill);
}

Image::Image(int32_t width, int32_t height, PixelFormat format, NoFill) : format_(format) {
  Allocate(width, height, nullptr);
}

void Image::Allocate(int32_t width, int32_t height, const uint8_t* fill) {
  if (width < 1 || height < 1 || int64_t(width) * height > kMaxImagePixels) return;
  const size_t stride = (size_t(width) * Channels() + 7) & ~size_t(7);
  // Cache-line aligned so that vector loads of row starts never straddle.
  // The slack lets vector loops read a few bytes past the last row's end
  // (always multiplied by zero weights) without leaving the block.
  const size_t used = stride * size_t(height);
  // A photo-sized block starts on a huge page, so that all of it can be one.
  const size_t align = used >= kHugePageBytes ? kHugePageBytes : 64;
  const size_t bytes = (used + kReadSlack + align - 1) & ~(align - 1);
  auto* p = static_cast<uint8_t*>(std::aligned_alloc(align, bytes));
  if (!p) return;
  AdviseHugePages(p, bytes);
  if (fill) {
    std::memset(p, *fill, bytes);
  } else {
    std::memset(p + used, 0, bytes - used);
  }
  data_.reset(p);
  width_ = width;
  height_ = height;
  stride_ = stride;
}

namespace {

void MakeImage(IplImageSlot& slot, int32_t width, int32_t height, PixelFormat format) {
  ReleaseIplImage(slot);
  auto image = std::make_unique<Image>(width, height, format, 255);
  if (!image->IsEmpty()) slot = std::move(image);
}

}  // namespace

void MakeColorIplImage(IplImageSlot& slot, int32_t width, int32_t height) {
  MakeImage(slot, width, height, PixelFormat::kBgra);
}

void MakeGrayIplImage(IplImageSlot& slot, int32_t width, int32_t height) {
  MakeImage(slot, width, height, PixelFormat::kGray);
}

void ReleaseIplImage(IplImageSlot& slot) { slot.reset(); }

Rect ClipToImage(const Roi& r, int32_t width, int32_t height) {
  // 64-bit so that a ROI near INT32_MAX cannot overflow.
  const int64_t x0 = std::max<int64_t>(r.x, 0), y0 = std::max<int64_t>(r.y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t(r.x) + std::max(r.width, 0), width);
  const int64_t y1 = std::min<int64_t>(int64_t(r.y) + std::max(r.height, 0), height);
  if (x1 <= x0 || y1 <= y0) return Rect{};
  return Rect{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
}

Rect TargetRegion(const Image& dst) { return ClipToImage(dst.GetRoi(), dst.Width(), dst.Height()); }

bool PairRegions(const Image& src, const Image& dst, Rect& from, Rect& to) {
  const Roi roi = src.GetRoi();
  const Rect target = TargetRegion(dst);
  // The source part inside the image, and where it lands in the target.
  const Rect inside = ClipToImage(roi, src.Width(), src.Height());
  if (inside.width == 0 || target.width == 0) return false;
  const int64_t offX = int64_t(inside.x) - roi.x, offY = int64_t(inside.y) - roi.y;
  const int64_t w = std::min<int64_t>(inside.width, int64_t(target.width) - offX);
  const int64_t h = std::min<int64_t>(inside.height, int64_t(target.height) - offY);
  if (w <= 0 || h <= 0) return false;
  from = Rect{inside.x, inside.y, int32_t(w), int32_t(h)};
  to = Rect{int32_t(target.x + offX), int32_t(target.y + offY), int32_t(w), int32_t(h)};
  return true;
}

void FillImage(Image& image, uint8_t value) {
  if (image.IsEmpty()) return;
  const Rect r = TargetRegion(image);
  const size_t bytes = size_t(r.width) * image.Channels();
  for (int32_t y = r.y; y < r.y + r.height; ++y)
    std::memset(image.Row(y) + size_t(r.x) * image.Channels(), value, bytes);
}

bool CopyImage(const Image& src, Image& dst) {
  if (src.IsEmpty() || dst.IsEmpty() || src.Format() != dst.Format()) return false;
  Rect from, to;
  if (!PairRegions(src, dst, from, to)) return true;
  const int ch = src.Channels();
  for (int32_t j = 0; j < from.height; ++j)
    std::memmove(dst.Row(to.y + j) + size_t(to.x) * ch, src.Row(from.y + j) + size_t(from.x) * ch,
                 size_t(from.width) * ch);
  return true;
}

LookupTable IdentityTable() {
  LookupTable t;
  for (int i = 0; i < 256; ++i) t[i] = uint8_t(i);
  return t;
}

bool ContrastStretch(const Image& src, Image& dst, std::span<const LookupTable> tables) {
  if (src.IsEmpty() || dst.IsEmpty() || src.Format() != dst.Format()) return false;
  const bool gray = src.Format() == PixelFormat::kGray;
  if (gray ? tables.size() != 1 : (tables.size() != 1 && tables.size() != 3 && tables.size() != 4))
    return false;
  Rect from, to;
  if (!PairRegions(src, dst, from, to)) return true;
  if (gray) {
    const LookupTable& t = tables[0];
    for (int32_t j = 0; j < from.height; ++j) {
      const uint8_t* s = src.Row(from.y + j) + from.x;
      uint8_t* d = dst.Row(to.y + j) + to.x;
      for (int32_t i = 0; i < from.width; ++i) d[i] = t[s[i]];
    }
    return true;
  }
  const LookupTable identity = IdentityTable();
  const LookupTable& tb = tables[0];
  const LookupTable& tg = tables.size() >= 3 ? tables[1] : tables[0];
  const LookupTable& tr = tables.size() >= 3 ? tables[2] : tables[0];
  const LookupTable& ta = tables.size() == 4 ? tables[3] : identity;
  for (int32_t j = 0; j < from.height; ++j) {
    const uint8_t* s = src.Row(from.y + j) + size_t(from.x) * 4;
    uint8_t* d = dst.Row(to.y + j) + size_t(to.x) * 4;
    for (int32_t i = 0; i < from.width; ++i, s += 4, d += 4) {
      const uint8_t b = tb[s[0]], g = tg[s[1]], r = tr[s[2]], a = ta[s[3]];
      d[0] = b;
      d[1] = g;
      d[2] = r;
      d[3] = a;
    }
  }
  return true;
}

bool ExtractChannel(const Image& color, int channel, Image& gray) {
  if (color.IsEmpty() || gray.IsEmpty() || color.Format() != PixelFormat::kBgra ||
      gray.Format() != PixelFormat::kGray || channel < 0 || channel > 3)
    return false;
  const int32_t w = std::min(color.Width(), gray.Width()), h = std::min(color.Height(), gray.Height());
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = color.Row(y) + channel;
    uint8_t* d = gray.Row(y);
    for (int32_t x = 0; x < w; ++x) d[x] = s[size_t(x) * 4];
  }
  return true;
}

bool InsertChannel(const Image& gray, int channel, Image& color) {
  if (color.IsEmpty() || gray.IsEmpty() || color.Format() != PixelFormat::kBgra ||
      gray.Format() != PixelFormat::kGray || channel < 0 || channel > 3)
    return false;
  const int32_t w = std::min(color.Width(), gray.Width()), h = std::min(color.Height(), gray.Height());
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = gray.Row(y);
    uint8_t* d = color.Row(y) + channel;
    for (int32_t x = 0; x < w; ++x) d[size_t(x) * 4] = s[x];
  }
  return true;
}

bool GetPixel(const Image& image, int32_t x, int32_t y, uint8_t* pixel) {
  if (image.IsEmpty() || x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) return false;
  std::memcpy(pixel, image.Row(y) + size_t(x) * image.Channels(), size_t(image.Channels()));
  return true;
}

bool PutPixel(Image& image, int32_t x, int32_t y, const uint8_t* pixel) {
  if (image.IsEmpty() || x < 0 || y < 0 || x >= image.Width() || y >= image.Height()) return false;
  std::memcpy(image.Row(y) + size_t(x) * image.Channels(), pixel, size_t(image.Channels()));
  return true;
}

size_t DibStride(const DibLayout& layout) {
  if (layout.bitsPerPixel != 24 || layout.width <= 0) return 0;
  return (size_t(layout.width) * 3 + 3) & ~size_t(3);
}

size_t DibByteSize(const DibLayout& layout) {
  if (layout.height == 0 || layout.height == INT32_MIN) return 0;
  return DibStride(layout) * size_t(layout.height < 0 ? -int64_t(layout.height) : layout.height);
}

namespace {

// Row r (0 = top of the picture) of the bits.
size_t DibRowOffset(const DibLayout& layout, int32_t r) {
  const int64_t rows = layout.height < 0 ? -int64_t(layout.height) : layout.height;
  const int64_t memRow = layout.height < 0 ? r : rows - 1 - r;
  return size_t(memRow) * DibStride(layout);
}

}  // namespace

bool ConvertFromDib(const DibLayout& layout, const uint8_t* bits, size_t byteCount, Image& dst) {
  const size_t need = DibByteSize(layout);
  if (need == 0 || bits == nullptr || byteCount < need || dst.IsEmpty()) return false;
  const int32_t rows = int32_t(layout.height < 0 ? -int64_t(layout.height) : layout.height);
  const int32_t w = std::min(layout.width, dst.Width()), h = std::min(rows, dst.Height());
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = bits + DibRowOffset(layout, y);
    uint8_t* d = dst.Row(y);
    if (dst.Format() == PixelFormat::kBgra) {
      for (int32_t x = 0; x < w; ++x, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
      }
    } else {
      for (int32_t x = 0; x < w; ++x, s += 3)
        d[x] = uint8_t((29 * s[0] + 150 * s[1] + 77 * s[2] + 128) >> 8);
    }
  }
  return true;
}

bool ConvertFromDib(const DibImage& photo, Image& dst) {
  if (!photo.HasImage() || photo.bitsPerPixel != 24 || photo.width <= 0 || photo.height <= 0 ||
      photo.padBytes != DibPadBytes(photo.width))
    return false;
  const DibLayout layout{photo.width, -photo.height, 24};
  return ConvertFromDib(layout, photo.pixels.get(), photo.byteSize, dst);
}

bool ConvertToDib(const Image& src, const DibLayout& layout, uint8_t* bits, size_t byteCount) {
  const size_t need = DibByteSize(layout);
  if (need == 0 || bits == nullptr || byteCount < need || src.IsEmpty()) return false;
  const int32_t rows = int32_t(layout.height < 0 ? -int64_t(layout.height) : layout.height);
  const int32_t w = std::min(layout.width, src.Width()), h = std::min(rows, src.Height());
  const size_t rowBytes = size_t(layout.width) * 3, stride = DibStride(layout);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = bits + DibRowOffset(layout, y);
    const uint8_t* s = src.Row(y);
    if (src.Format() == PixelFormat::kBgra) {
      for (int32_t x = 0; x < w; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    } else {
      for (int32_t x = 0; x < w; ++x, d += 3) d[0] = d[1] = d[2] = s[x];
    }
    std::memset(bits + DibRowOffset(layout, y) + rowBytes, 0, stride - rowBytes);
  }
  return true;
}

}  // namespace kv
