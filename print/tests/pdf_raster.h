#pragma once
// Checking real-size PDFs as paper would show them: photos with coloured
// marks on a registration's ends, the page rasterised by pdftoppm, and the
// marks and the check bar found again in the raster. Shared by the tests of
// the page drawing, the viewer's commands and kvitool.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv::testing {

// A registration's start is marked red, its end blue.
enum class Mark { kRed, kBlue };
struct MarkAt {
  int32_t x, y;
  Mark mark;
};

// Discs painted over a photo (BGR).
inline void PaintMarks(DibImage& img, const std::vector<MarkAt>& marks, int32_t radius = 10) {
  for (const MarkAt& m : marks) {
    for (int32_t y = m.y - radius; y <= m.y + radius; ++y) {
      for (int32_t x = m.x - radius; x <= m.x + radius; ++x) {
        if (x < 0 || y < 0 || x >= img.width || y >= img.height) continue;
        if ((x - m.x) * (x - m.x) + (y - m.y) * (y - m.y) > radius * radius) continue;
        uint8_t* p = img.Row(y) + x * 3;
        p[0] = m.mark == Mark::kBlue ? 255 : 0;
        p[1] = 0;
        p[2] = m.mark == Mark::kRed ? 255 : 0;
      }
    }
  }
}

// A light grey photo with filled discs of `radius` pixels.
inline DibImage MarkedPhoto(int32_t w, int32_t h, const std::vector<MarkAt>& marks,
                            int32_t radius = 10) {
  DibImage img(w, h);
  img.padBytes = DibPadBytes(w);
  img.byteSize = uint32_t(img.Stride() * size_t(h));
  img.pixels = std::make_unique<uint8_t[]>(img.byteSize);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = img.Row(y);
    for (int32_t x = 0; x < w; ++x) row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = 210;
  }
  PaintMarks(img, marks, radius);
  return img;
}

struct Raster {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* At(int x, int y) const { return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3; }
  bool Dark(int x, int y) const {
    const uint8_t* p = At(x, y);
    return p[0] + p[1] + p[2] < 3 * 128;
  }
};

// Page 1 at `dpi` through pdftoppm (poppler-utils, installed by setup.sh).
inline std::optional<Raster> RasterisePdf(const std::string& pdf, int dpi, std::string& why) {
  const std::string prefix = pdf + ".raster";
  const std::string cmd = "pdftoppm -r " + std::to_string(dpi) + " -f 1 -l 1 -singlefile '" +
                          pdf + "' '" + prefix + "' 2>&1";
  const int rc = std::system(cmd.c_str());
  if (!WIFEXITED(rc) || WEXITSTATUS(rc) != 0) {
    why = "pdftoppm failed (exit " + std::to_string(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1) +
          "); ./setup.sh installs poppler-utils";
    return std::nullopt;
  }
  std::ifstream in(prefix + ".ppm", std::ios::binary);
  std::string magic;
  int maxval = 0;
  Raster r;
  in >> magic >> r.width >> r.height >> maxval;
  in.get();
  if (magic != "P6" || r.width <= 0 || r.height <= 0 || maxval != 255) {
    why = "pdftoppm wrote no 8-bit PPM";
    return std::nullopt;
  }
  r.rgb.resize(size_t(r.width) * size_t(r.height) * 3);
  in.read(reinterpret_cast<char*>(r.rgb.data()), std::streamsize(r.rgb.size()));
  if (!in) {
    why = "the PPM is short";
    return std::nullopt;
  }
  std::remove((prefix + ".ppm").c_str());
  return r;
}

struct Point {
  double x = 0, y = 0;
};
inline double Distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The centre of the pixels of one mark's colour within `within` raster
// pixels of `near` (a photo may have colours of its own elsewhere).
inline std::optional<Point> FindMark(const Raster& r, Mark mark, Point near, double within) {
  double sx = 0, sy = 0;
  size_t n = 0;
  const int y0 = std::max(0, int(near.y - within)), y1 = std::min(r.height, int(near.y + within) + 1);
  const int x0 = std::max(0, int(near.x - within)), x1 = std::min(r.width, int(near.x + within) + 1);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = r.At(x, y);
      const bool red = p[0] > 150 && p[1] < 90 && p[2] < 90;
      const bool blue = p[2] > 150 && p[0] < 90 && p[1] < 90;
      if (mark == Mark::kRed ? red : blue) {
        sx += x + 0.5;
        sy += y + 0.5;
        ++n;
      }
    }
  }
  if (n == 0) return std::nullopt;
  return Point{sx / double(n), sy / double(n)};
}

// Pixels from the first dark one to the last along a row (0 for none).
inline int DarkSpan(const Raster& r, int y) {
  int first = -1, last = -1;
  for (int x = 0; x < r.width; ++x) {
    if (!r.Dark(x, y)) continue;
    if (first < 0) first = x;
    last = x;
  }
  return first < 0 ? 0 : last - first + 1;
}

inline double PixelsFor(double mm, int dpi) { return mm * dpi / 25.4; }

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kv::testing
