#include "authoring/tests/marker_photos.h"

#include <apriltag/apriltag.h>
#include <apriltag/tag36h11.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"

namespace kv::authoring::testing {

Grey ReadPgm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int32_t w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  Grey g;
  if (magic != "P5" || w <= 0 || h <= 0 || maxval != 255) return g;
  g.pixels.resize(size_t(w) * size_t(h));
  in.read(reinterpret_cast<char*>(g.pixels.data()), std::streamsize(g.pixels.size()));
  if (!in) return Grey{};
  g.width = w;
  g.height = h;
  return g;
}

Grey MarkerPicture(int id, int32_t modulePx, int32_t marginPx) {
  apriltag_family_t* family = tag36h11_create();
  image_u8_t* tag = apriltag_to_image(family, uint32_t(id));
  Grey g;
  g.width = g.height = tag->width * modulePx + 2 * marginPx;
  g.pixels.assign(size_t(g.width) * size_t(g.height), 255);
  for (int32_t y = 0; y < tag->height * modulePx; ++y)
    for (int32_t x = 0; x < tag->width * modulePx; ++x)
      g.pixels[size_t(y + marginPx) * size_t(g.width) + size_t(x + marginPx)] =
          tag->buf[(y / modulePx) * tag->stride + x / modulePx];
  // The library exports no image functions; its images are two calloc blocks.
  std::free(tag->buf);
  std::free(tag);
  tag36h11_destroy(family);
  return g;
}

Projection Projection::Similarity(double scale, double degrees, double dx, double dy) {
  const double a = degrees * M_PI / 180;
  Projection p;
  const double c = std::cos(a) * scale, s = std::sin(a) * scale;
  const double m[9] = {c, -s, dx, s, c, dy, 0, 0, 1};
  std::copy(m, m + 9, p.h);
  return p;
}

Projection Projection::Tilted(double scale, double degrees, double dx, double dy, double tilt,
                              double sheetHeight) {
  // A perspective along y: the near edge (y = sheetHeight) as it is, the
  // far one (y = 0) shrunk by `tilt`; then the similarity.
  const double k = tilt / ((1 - tilt) * sheetHeight);
  const double persp[9] = {1, 0, 0, 0, 1, 0, 0, -k, 1 + k * sheetHeight};
  const Projection sim = Similarity(scale, degrees, dx, dy);
  Projection out;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double v = 0;
      for (int i = 0; i < 3; ++i) v += sim.h[r * 3 + i] * persp[i * 3 + c];
      out.h[r * 3 + c] = v;
    }
  return out;
}

void Projection::Apply(double x, double y, double& u, double& v) const {
  const double w = h[6] * x + h[7] * y + h[8];
  u = (h[0] * x + h[1] * y + h[2]) / w;
  v = (h[3] * x + h[4] * y + h[5]) / w;
}

Projection Projection::Inverse() const {
  const double* m = h;
  Projection p;
  double* r = p.h;
  r[0] = m[4] * m[8] - m[5] * m[7];
  r[1] = m[2] * m[7] - m[1] * m[8];
  r[2] = m[1] * m[5] - m[2] * m[4];
  r[3] = m[5] * m[6] - m[3] * m[8];
  r[4] = m[0] * m[8] - m[2] * m[6];
  r[5] = m[2] * m[3] - m[0] * m[5];
  r[6] = m[3] * m[7] - m[4] * m[6];
  r[7] = m[1] * m[6] - m[0] * m[7];
  r[8] = m[0] * m[4] - m[1] * m[3];
  const double det = m[0] * r[0] + m[1] * r[3] + m[2] * r[6];
  for (double& v : p.h) v /= det;
  return p;
}

DibImage PhotographSheet(const Grey& sheet, int32_t width, int32_t height,
                         const Projection& sheetToPhoto, const CameraEffects& fx) {
  const Projection back = sheetToPhoto.Inverse();
  std::vector<float> grey(size_t(width) * size_t(height));
  for (int32_t v = 0; v < height; ++v)
    for (int32_t u = 0; u < width; ++u) {
      double x, y;
      back.Apply(u + 0.5, v + 0.5, x, y);
      // Bilinear between the sheet's pixel centres.
      const double fx0 = x - 0.5, fy0 = y - 0.5;
      const int32_t x0 = int32_t(std::floor(fx0)), y0 = int32_t(std::floor(fy0));
      float value;
      if (x0 < 0 || y0 < 0 || x0 + 1 >= sheet.width || y0 + 1 >= sheet.height) {
        // A table with a coarse grain: bands that wander slowly.
        const int32_t band = (u + ((v * 7) >> 5)) >> 4;
        value = float(100 + ((band * 37) & 31) + ((v >> 3) & 7));
      } else {
        const double ax = fx0 - x0, ay = fy0 - y0;
        value = float((1 - ay) * ((1 - ax) * sheet.At(x0, y0) + ax * sheet.At(x0 + 1, y0)) +
                      ay * ((1 - ax) * sheet.At(x0, y0 + 1) + ax * sheet.At(x0 + 1, y0 + 1)));
        // Paper under room light is not pure white nor ink pure black.
        value = 25 + value * (215.0f / 255.0f);
      }
      grey[size_t(v) * size_t(width) + size_t(u)] = value;
    }
  std::vector<float> tmp(grey.size());
  for (int pass = 0; pass < fx.blurPasses; ++pass) {
    for (int32_t v = 0; v < height; ++v)
      for (int32_t u = 0; u < width; ++u) {
        const size_t i = size_t(v) * size_t(width) + size_t(u);
        const float l = grey[u > 0 ? i - 1 : i], r = grey[u + 1 < width ? i + 1 : i];
        tmp[i] = (l + 2 * grey[i] + r) / 4;
      }
    for (int32_t v = 0; v < height; ++v)
      for (int32_t u = 0; u < width; ++u) {
        const size_t i = size_t(v) * size_t(width) + size_t(u);
        const float t = tmp[v > 0 ? i - size_t(width) : i], b = tmp[v + 1 < height ? i + size_t(width) : i];
        grey[i] = (t + 2 * tmp[i] + b) / 4;
      }
  }
  // Nearly Gaussian: the sum of four uniform draws, scaled to the sigma.
  uint32_t state = fx.seed * 2654435761u + 1;
  auto noise = [&]() {
    float sum = 0;
    for (int k = 0; k < 4; ++k) {
      state ^= state << 13, state ^= state >> 17, state ^= state << 5;
      sum += float(state & 0xFFFF) / 65535.0f - 0.5f;
    }
    return sum * float(fx.noiseSigma) * 1.7320508f;  // 4 draws: variance 1/3
  };
  DibImage photo(width, height);
  photo.padBytes = DibPadBytes(width);
  photo.byteSize = uint32_t(photo.Stride() * size_t(height));
  photo.pixels.reset(new uint8_t[photo.byteSize]());
  for (int32_t v = 0; v < height; ++v) {
    uint8_t* row = photo.Row(v);
    for (int32_t u = 0; u < width; ++u) {
      const float g = grey[size_t(v) * size_t(width) + size_t(u)];
      // A warm cast, each channel with its own noise.
      const float tint[3] = {0.92f, 1.0f, 1.04f};
      for (int c = 0; c < 3; ++c) {
        const float value = g * tint[c] + (fx.noiseSigma > 0 ? noise() : 0.0f);
        row[u * 3 + c] = uint8_t(std::lround(std::clamp(value, 0.0f, 255.0f)));
      }
    }
  }
  if (fx.jpegQuality <= 0) return photo;
  const std::vector<uint8_t> jpeg = EncodeJpeg(photo, fx.jpegQuality);
  DibImage decoded;
  DecodeJpegBuffer(jpeg.data(), jpeg.size(), decoded);
  return decoded;
}

}  // namespace kv::authoring::testing
