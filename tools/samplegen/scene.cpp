#include "tools/samplegen/scene.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kv::sample {
namespace {

struct Rgb {
  float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scale(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Coverage of a pixel by a shape whose signed distance (negative inside) at
// the pixel centre is d, with an edge `soft` pixels wide.
float Cover(float d, float soft = 1.0f) { return Clamp01(0.5f - d / soft); }

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(size_t(w) * size_t(h)) {}
  int Width() const { return w_; }
  int Height() const { return h_; }
  Rgb& At(int x, int y) { return px_[size_t(y) * size_t(w_) + size_t(x)]; }
  void Blend(int x, int y, Rgb c, float alpha) {
    if (alpha <= 0) return;
    Rgb& p = At(x, y);
    p = Mix(p, c, std::min(alpha, 1.0f));
  }
  void Darken(int x, int y, float amount) {
    if (amount <= 0) return;
    Rgb& p = At(x, y);
    p = Scale(p, 1.0f - amount);
  }
  // Calls f(x, y, cx, cy) for every pixel of the box, clipped, where (cx, cy)
  // is the pixel centre.
  template <class F>
  void ForBox(double x0, double y0, double x1, double y1, F&& f) {
    const int ax = std::max(0, int(std::floor(x0))), ay = std::max(0, int(std::floor(y0)));
    const int bx = std::min(w_, int(std::ceil(x1))), by = std::min(h_, int(std::ceil(y1)));
    for (int y = ay; y < by; ++y)
      for (int x = ax; x < bx; ++x) f(x, y, float(x) + 0.5f, float(y) + 0.5f);
  }

 private:
  int w_, h_;
  std::vector<Rgb> px_;
};

// Deterministic value noise: the picture is the same on every build.
float Hash(int x, int y) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return float((h ^ (h >> 16)) & 0xffffff) / float(0xffffff);
}

float Noise(float x, float y) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int ix = int(fx), iy = int(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const float a = Hash(ix, iy), b = Hash(ix + 1, iy);
  const float c = Hash(ix, iy + 1), d = Hash(ix + 1, iy + 1);
  return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
}

float Fbm(float x, float y, int octaves = 4) {
  float sum = 0, amp = 0.5f, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * Noise(x, y);
    norm += amp;
    x = x * 2.03f + 17.1f;
    y = y * 2.03f + 5.3f;
    amp *= 0.5f;
  }
  return sum / norm;
}

// Signed distance to a rectangle with rounded corners.
float RoundRect(float x, float y, float left, float top, float right, float bottom, float radius) {
  const float cx = (left + right) / 2, cy = (top + bottom) / 2;
  const float hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
  const float qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
  const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
  return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float SegmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
  t = Clamp01(t);
  const float ex = px - (ax + t * dx), ey = py - (ay + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

// Stroke digits on a 4 x 6 grid, as the engraving on a ruler or the
// embossing on a card would show them.
struct Stroke {
  int8_t x0, y0, x1, y1;
};
const std::vector<Stroke>& Glyph(char c) {
  static const std::array<std::vector<Stroke>, 10> digits = {{
      {{0, 0, 4, 0}, {4, 0, 4, 6}, {4, 6, 0, 6}, {0, 6, 0, 0}},
      {{1, 1, 2, 0}, {2, 0, 2, 6}, {1, 6, 3, 6}},
      {{0, 0, 4, 0}, {4, 0, 4, 3}, {4, 3, 0, 3}, {0, 3, 0, 6}, {0, 6, 4, 6}},
      {{0, 0, 4, 0}, {4, 0, 4, 6}, {1, 3, 4, 3}, {0, 6, 4, 6}},
      {{0, 0, 0, 3}, {0, 3, 4, 3}, {4, 0, 4, 6}},
      {{4, 0, 0, 0}, {0, 0, 0, 3}, {0, 3, 4, 3}, {4, 3, 4, 6}, {4, 6, 0, 6}},
      {{4, 0, 0, 0}, {0, 0, 0, 6}, {0, 6, 4, 6}, {4, 6, 4, 3}, {4, 3, 0, 3}},
      {{0, 0, 4, 0}, {4, 0, 1, 6}},
      {{0, 0, 4, 0}, {4, 0, 4, 6}, {4, 6, 0, 6}, {0, 6, 0, 0}, {0, 3, 4, 3}},
      {{4, 3, 0, 3}, {0, 3, 0, 0}, {0, 0, 4, 0}, {4, 0, 4, 6}, {4, 6, 0, 6}},
  }};
  static const std::vector<Stroke> none;
  return c >= '0' && c <= '9' ? digits[size_t(c - '0')] : none;
}

// Draws text of digits and blanks with its top-left corner at (x, y);
// `height` is the glyph height in pixels.
void DrawDigits(Canvas& cv, const std::string& text, float x, float y, float height, float stroke,
                Rgb ink, float alpha = 1) {
  const float unit = height / 6;
  const float advance = unit * 6.2f;
  for (size_t i = 0; i < text.size(); ++i) {
    const std::vector<Stroke>& g = Glyph(text[i]);
    if (g.empty()) continue;
    const float gx = x + float(i) * advance;
    cv.ForBox(gx - stroke, y - stroke, gx + 4 * unit + stroke, y + height + stroke,
              [&](int px, int py, float cx, float cy) {
                float d = 1e9f;
                for (const Stroke& s : g)
                  d = std::min(d, SegmentDistance(cx, cy, gx + s.x0 * unit, y + s.y0 * unit,
                                                  gx + s.x1 * unit, y + s.y1 * unit));
                cv.Blend(px, py, ink, alpha * Cover(d - stroke / 2));
              });
  }
}

float TextWidth(const std::string& text, float height) {
  const float unit = height / 6;
  return text.empty() ? 0 : float(text.size() - 1) * unit * 6.2f + 4 * unit;
}

void DrawDesk(Canvas& cv) {
  const Rgb light{0.74f, 0.52f, 0.32f}, dark{0.47f, 0.29f, 0.16f};
  constexpr int kBoard = 410;
  for (int y = 0; y < cv.Height(); ++y) {
    const int board = (y + 37) / kBoard;
    const float yy = float(y + board * 1733);
    const float tint = (Hash(board, 7) - 0.5f) * 0.12f;
    const int seam = std::abs((y + 37) - board * kBoard);
    for (int x = 0; x < cv.Width(); ++x) {
      const float fx = float(x);
      const float warp = Fbm(fx * 0.0025f, yy * 0.012f, 3) * 60.0f;
      const float ring = 0.5f + 0.5f * std::sin((yy + warp) * 0.21f);
      const float lines = ring * ring * ring * ring;
      const float fibre = Fbm(fx * 0.008f, yy * 0.45f, 3);
      float t = Clamp01(0.25f + 0.45f * lines + 0.45f * (fibre - 0.5f) + tint);
      Rgb c = Mix(light, dark, t);
      if (seam < 3) c = Scale(c, 0.55f + 0.15f * float(seam));
      cv.At(x, y) = c;
    }
  }
}

// Soft shadow of a shape under a light from the upper left.
template <class Sdf>
void DrawShadow(Canvas& cv, double x0, double y0, double x1, double y1, Sdf&& sdf) {
  constexpr float dx = 9, dy = 13, soft = 26, depth = 0.5f;
  cv.ForBox(x0 + dx - soft, y0 + dy - soft, x1 + dx + soft, y1 + dy + soft,
            [&](int px, int py, float cx, float cy) {
              const float d = sdf(cx - dx, cy - dy);
              const float k = Clamp01(0.5f - d / soft);
              cv.Darken(px, py, depth * k * k * (3 - 2 * k));
            });
}

void DrawRuler(Canvas& cv) {
  const float left = kRulerLeft, top = kRulerTop;
  const float right = left + kRulerLengthMm * kPixelsPerMm;
  const float bottom = top + kRulerWidthMm * kPixelsPerMm;
  auto body = [&](float x, float y) { return RoundRect(x, y, left, top, right, bottom, 10); };
  DrawShadow(cv, left, top, right, bottom, body);
  cv.ForBox(left - 1, top - 1, right + 1, bottom + 1, [&](int px, int py, float cx, float cy) {
    const float a = Cover(body(cx, cy));
    if (a <= 0) return;
    // Brushed steel: fine streaks along the length, a broad reflection
    // across it, a bright bevel at the top edge and a dark one below.
    const float across = (cy - top) / (bottom - top);
    float v = 0.80f - 0.18f * across + 0.10f * std::exp(-40 * (across - 0.3f) * (across - 0.3f));
    v += 0.06f * (Fbm(cx * 0.004f, cy * 0.9f, 3) - 0.5f);
    const float edge = -body(cx, cy);
    if (edge < 4) v += (0.10f * (1 - across) - 0.22f * across) * (1 - edge / 4);
    cv.Blend(px, py, Rgb{v * 0.97f, v * 0.99f, v}, a);
  });
  // Engraved millimetre lines hanging from the top edge: 3 mm, 5 mm at
  // every fifth, 7 mm at every tenth. Line k is centred on column
  // kRulerZeroX + 8k.
  const Rgb ink{0.06f, 0.06f, 0.07f};
  for (int k = 0; k <= kRulerScaleMm; ++k) {
    const float mm = k % 10 == 0 ? 7.0f : k % 5 == 0 ? 5.0f : 3.0f;
    const float cx0 = float(kRulerZeroX + k * kPixelsPerMm) + 0.5f;
    const float len = mm * kPixelsPerMm;
    cv.ForBox(cx0 - 3, top, cx0 + 3, top + len + 2, [&](int px, int py, float cx, float cy) {
      const float d = std::max(std::abs(cx - cx0) - 0.8f, cy - (top + len));
      cv.Blend(px, py, ink, 0.92f * Cover(d));
    });
  }
  for (int cm = 0; cm <= kRulerScaleMm / 10; ++cm) {
    const std::string text = std::to_string(cm);
    const float h = 4.0f * kPixelsPerMm;
    const float cx0 = float(kRulerZeroX + cm * 10 * kPixelsPerMm) + 0.5f;
    DrawDigits(cv, text, cx0 - TextWidth(text, h) / 2, top + 9.0f * kPixelsPerMm, h, 3.0f, ink,
               0.9f);
  }
}

void DrawCard(Canvas& cv) {
  const float left = float(kCardLeft), top = float(kCardTop);
  const float right = left + float(kCardWidthMm * kPixelsPerMm);
  const float bottom = top + float(kCardHeightMm * kPixelsPerMm);
  const float radius = 3.18f * kPixelsPerMm;
  auto body = [&](float x, float y) { return RoundRect(x, y, left, top, right, bottom, radius); };
  DrawShadow(cv, left, top, right, bottom, body);
  const Rgb deep{0.05f, 0.16f, 0.38f}, teal{0.10f, 0.45f, 0.55f};
  cv.ForBox(left - 1, top - 1, right + 1, bottom + 1, [&](int px, int py, float cx, float cy) {
    const float a = Cover(body(cx, cy));
    if (a <= 0) return;
    const float u = (cx - left) / (right - left), v = (cy - top) / (bottom - top);
    Rgb c = Mix(deep, teal, Clamp01(0.2f + 0.6f * u - 0.3f * v));
    // Guilloche waves and a glossy band, as printed cards have.
    const float wave = std::sin(u * 38 + 3 * std::sin(v * 9)) * std::sin(v * 31 + 2 * std::sin(u * 7));
    c = Scale(c, 1.0f + 0.05f * wave);
    const float gloss = std::exp(-std::pow((u + 0.6f * v - 0.55f) * 7.0f, 2.0f));
    c = Mix(c, Rgb{0.9f, 0.95f, 1.0f}, 0.16f * gloss);
    const float edge = -body(cx, cy);
    if (edge < 2) c = Scale(c, 0.7f + 0.15f * edge);
    cv.Blend(px, py, c, a);
  });
  // The contact chip.
  const float chipL = left + 9 * kPixelsPerMm, chipT = top + 18 * kPixelsPerMm;
  const float chipR = chipL + 11 * kPixelsPerMm, chipB = chipT + 9 * kPixelsPerMm;
  cv.ForBox(chipL - 1, chipT - 1, chipR + 1, chipB + 1, [&](int px, int py, float cx, float cy) {
    const float d = RoundRect(cx, cy, chipL, chipT, chipR, chipB, 9);
    const float a = Cover(d);
    if (a <= 0) return;
    const float u = (cx - chipL) / (chipR - chipL), v = (cy - chipT) / (chipB - chipT);
    Rgb c = Mix(Rgb{0.93f, 0.80f, 0.47f}, Rgb{0.70f, 0.54f, 0.25f}, Clamp01(0.3f + 0.5f * v - 0.2f * u));
    const bool line = std::abs(v - 0.5f) < 0.02f || std::abs(u - 0.33f) < 0.012f ||
                      std::abs(u - 0.67f) < 0.012f;
    if (line) c = Scale(c, 0.7f);
    cv.Blend(px, py, c, a);
  });
  // Embossed number: a dark lower-right edge, then the silver face.
  const float h = 3.6f * kPixelsPerMm;
  const float nx = left + 8 * kPixelsPerMm, ny = top + 33 * kPixelsPerMm;
  const std::string number = "4000 1234 5678 9010";
  DrawDigits(cv, number, nx + 1.5f, ny + 1.5f, h, 3.0f, Rgb{0.02f, 0.05f, 0.12f}, 0.6f);
  DrawDigits(cv, number, nx, ny, h, 3.0f, Rgb{0.86f, 0.88f, 0.90f}, 0.95f);
  DrawDigits(cv, "12 30", nx + 38 * kPixelsPerMm, ny + 8 * kPixelsPerMm, 2.4f * kPixelsPerMm, 2.2f,
             Rgb{0.86f, 0.88f, 0.90f}, 0.9f);
}

void DrawPencil(Canvas& cv) {
  const float ex = kPencilEndX, ey = kPencilEndY, tx = kPencilTipX, ty = kPencilTipY;
  const float len = std::hypot(tx - ex, ty - ey);
  const float ux = (tx - ex) / len, uy = (ty - ey) / len;
  const float half = 3.5f * kPixelsPerMm;
  const float eraserEnd = 8 * kPixelsPerMm, ferruleEnd = 15 * kPixelsPerMm;
  const float woodStart = len - 18 * kPixelsPerMm, leadStart = len - 4 * kPixelsPerMm;
  auto halfWidth = [&](float u) {
    if (u < woodStart) return half;
    return half * (len - u) / (len - woodStart);
  };
  auto sdf = [&](float x, float y) {
    const float u = (x - ex) * ux + (y - ey) * uy;
    const float v = -(x - ex) * uy + (y - ey) * ux;
    return std::max({std::abs(v) - halfWidth(std::clamp(u, 0.0f, len)), -u, u - len});
  };
  const float x0 = std::min(ex, tx) - half - 2, x1 = std::max(ex, tx) + half + 2;
  const float y0 = std::min(ey, ty) - half - 2, y1 = std::max(ey, ty) + half + 2;
  DrawShadow(cv, x0, y0, x1, y1, sdf);
  cv.ForBox(x0, y0, x1, y1, [&](int px, int py, float cx, float cy) {
    const float a = Cover(sdf(cx, cy));
    if (a <= 0) return;
    const float u = (cx - ex) * ux + (cy - ey) * uy;
    const float v = (-(cx - ex) * uy + (cy - ey) * ux) / half;  // -1..1 across
    // Three visible facets of the hexagonal body, lit from the upper left.
    const float facet = v < -0.35f ? 1.08f : v < 0.35f ? 0.95f : 0.72f;
    Rgb c;
    if (u < eraserEnd) {
      c = Scale(Rgb{0.88f, 0.52f, 0.52f}, 1.05f - 0.3f * std::abs(v));
    } else if (u < ferruleEnd) {
      const float ridge = 0.85f + 0.15f * std::sin(u * 1.3f);
      c = Scale(Rgb{0.80f, 0.80f, 0.78f}, ridge * (1.1f - 0.45f * (v + 1) / 2));
    } else if (u < woodStart) {
      c = Scale(Rgb{0.96f, 0.74f, 0.12f}, facet);
    } else if (u < leadStart) {
      // Shaved wood with the scalloped edge left by the sharpener.
      const float scallop = std::abs(std::sin(std::atan2(v, 1.0f) * 6));
      c = Scale(Rgb{0.88f, 0.72f, 0.52f}, 0.9f + 0.1f * scallop - 0.15f * v);
    } else {
      c = Scale(Rgb{0.22f, 0.22f, 0.24f}, 1.1f - 0.4f * (v + 1) / 2);
    }
    cv.Blend(px, py, c, a);
  });
}

// Light from the upper left falls off across the desk; the lens darkens
// the corners; the sensor adds a little grain.
void Expose(Canvas& cv, DibImage& out) {
  const float w = float(cv.Width()), h = float(cv.Height());
  for (int y = 0; y < cv.Height(); ++y) {
    uint8_t* row = out.Row(y);
    for (int x = 0; x < cv.Width(); ++x) {
      const float lx = (float(x) - 0.3f * w) / w, ly = (float(y) - 0.2f * h) / h;
      const float vx = (float(x) - w / 2) / w, vy = (float(y) - h / 2) / h;
      const float light = 1.12f - 0.35f * (lx * lx + ly * ly) - 0.5f * (vx * vx + vy * vy) * (vx * vx + vy * vy) * 4;
      const Rgb c = Scale(cv.At(x, y), light);
      const float grain = (Hash(x * 3 + 1, y * 7 + 2) - 0.5f) * 0.018f;
      auto to8 = [&](float v) { return uint8_t(std::lround(Clamp01(v + grain) * 255.0f)); };
      row[3 * x + 0] = to8(c.b);
      row[3 * x + 1] = to8(c.g);
      row[3 * x + 2] = to8(c.r);
    }
  }
}

}  // namespace

DibImage DrawPhoto() {
  Canvas cv(kWidth, kHeight);
  DrawDesk(cv);
  DrawCard(cv);
  DrawPencil(cv);
  DrawRuler(cv);
  DibImage out(kWidth, kHeight);
  out.padBytes = DibPadBytes(kWidth);
  out.byteSize = uint32_t(out.Stride() * size_t(kHeight));
  out.pixels = std::make_unique<uint8_t[]>(out.byteSize);
  Expose(cv, out);
  return out;
}

std::vector<uint8_t> DrawLogo() {
  Canvas cv(kLogoWidth, kLogoHeight);
  const float w = kLogoWidth, h = kLogoHeight;
  cv.ForBox(0, 0, w, h, [&](int px, int py, float, float cy) {
    cv.At(px, py) = Mix(Rgb{0.16f, 0.22f, 0.32f}, Rgb{0.07f, 0.10f, 0.16f}, cy / h);
  });
  // A small ruler with millimetre lines, and three discs growing to their
  // true size: the idea of the program.
  cv.ForBox(6, 8, 58, 32, [&](int px, int py, float cx, float cy) {
    cv.Blend(px, py, Rgb{0.92f, 0.93f, 0.95f}, Cover(RoundRect(cx, cy, 6, 10, 58, 30, 2)));
  });
  for (int k = 0; k <= 12; ++k) {
    const float x0 = 10.5f + 4.0f * float(k);
    const float l = k % 5 == 0 ? 9.0f : 5.0f;
    cv.ForBox(x0 - 2, 10, x0 + 2, 10 + l + 1, [&](int px, int py, float cx, float cy) {
      cv.Blend(px, py, Rgb{0.1f, 0.1f, 0.12f}, Cover(std::max(std::abs(cx - x0) - 0.5f, cy - (10 + l))));
    });
  }
  const float radii[] = {4, 7, 10};
  const float centres[] = {70, 84, 104};
  for (int i = 0; i < 3; ++i) {
    const float r = radii[i], cx0 = centres[i], cy0 = h - 8 - r;
    cv.ForBox(cx0 - r - 1, cy0 - r - 1, cx0 + r + 1, cy0 + r + 1, [&](int px, int py, float cx, float cy) {
      const float d = std::hypot(cx - cx0, cy - cy0) - r;
      cv.Blend(px, py, Mix(Rgb{0.98f, 0.72f, 0.20f}, Rgb{0.95f, 0.45f, 0.15f}, float(i) / 2), Cover(d));
    });
  }
  std::vector<uint8_t> rgb;
  rgb.reserve(size_t(kLogoWidth) * kLogoHeight * 3);
  for (int y = 0; y < kLogoHeight; ++y) {
    for (int x = 0; x < kLogoWidth; ++x) {
      const Rgb c = cv.At(x, y);
      for (float v : {c.r, c.g, c.b}) rgb.push_back(uint8_t(std::lround(Clamp01(v) * 255.0f)));
    }
  }
  return rgb;
}

RegistrationList Registrations() {
  const int32_t cardX = int32_t(kCardLeft) + 12 * kPixelsPerMm;
  const int32_t cardTop = int32_t(kCardTop);
  return {
      MakeRegistration(kRulerZeroX, kRulerTickRow, kRulerZeroX + 100 * kPixelsPerMm, kRulerTickRow,
                       100),
      MakeRegistration(cardX, cardTop, cardX, cardTop + 54 * kPixelsPerMm, 54),
      MakeRegistration(kPencilEndX, kPencilEndY, kPencilTipX, kPencilTipY, kPencilLengthMm),
  };
}

ActualSizeFile MakeFile(std::vector<uint8_t> jpegBytes) {
  ActualSizeFile f;
  f.jpegName = "sample.jpg";
  f.registrations = Registrations();
  f.jpegBytes = std::move(jpegBytes);
  f.link = "https://example.com/";
  f.logoWidth = kLogoWidth;
  f.logoHeight = kLogoHeight;
  f.logoBytes = DrawLogo();
  return f;
}

}  // namespace kv::sample
