#pragma once
// Photos of a printed marker without a camera: a grey picture of the sheet
// (rasterised from its PDF, or one marker drawn from the library's own
// picture of it) placed into a photo through a known projection, with the
// blur, noise and compression a camera adds.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"

namespace kv::authoring::testing {

struct Grey {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;  // rows without padding
  uint8_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// A binary PGM as pdftoppm -gray writes it; empty when it is none.
Grey ReadPgm(const std::string& path);

// Marker `id` of the sheet's family, `modulePx` pixels a cell, on white
// with `marginPx` round its own white border.
Grey MarkerPicture(int id, int32_t modulePx, int32_t marginPx);

// Maps a point of the sheet (pixel edges, x right, y down) into the photo.
struct Projection {
  double h[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  // Turned by `degrees` and scaled by `scale` about the origin, then moved.
  static Projection Similarity(double scale, double degrees, double dx, double dy);
  // The same with the far side (sheet y = 0) shrunk by `tilt` (0.05: 5%),
  // as a camera that is not straight over the sheet sees it.
  static Projection Tilted(double scale, double degrees, double dx, double dy, double tilt,
                           double sheetHeight);
  void Apply(double x, double y, double& u, double& v) const;
  Projection Inverse() const;
};

struct CameraEffects {
  int blurPasses = 1;      // passes of a 1-2-1 filter each way
  double noiseSigma = 3;   // grey levels, Gaussian
  int jpegQuality = 90;    // 0: not compressed
  uint32_t seed = 1;
};

// A width x height colour photo: a textured table, the sheet on it where
// the projection puts it, then the camera's effects (after JPEG, decoded
// back). Upright, 24-bit BGR.
DibImage PhotographSheet(const Grey& sheet, int32_t width, int32_t height,
                         const Projection& sheetToPhoto, const CameraEffects& effects);

}  // namespace kv::authoring::testing
