// The fixed-point resampler against a slow double-precision reference that
// shares no code with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "foundation/core/imageops/image.h"
#include "foundation/core/imageops/tests/test_images.h"

namespace kv {
namespace {

using testing::NoiseImage;
using testing::PixelAt;
using testing::SameBytes;

double Keys(double t) {
  const double a = -0.5;
  t = std::fabs(t);
  if (t < 1) return (a + 2) * t * t * t - (a + 3) * t * t + 1;
  if (t < 2) return a * t * t * t - 5 * a * t * t + 8 * a * t - 4 * a;
  return 0;
}

// Normalised weights of source pixels 0..size-1 (edge taps folded) for the
// output whose pixel centre maps to `centre`.
std::vector<double> ReferenceWeights(double centre, double scale, int size) {
  const double widen = scale < 1 ? 1 / scale : 1;
  std::vector<double> w(size_t(size), 0.0);
  double sum = 0;
  for (int p = int(std::floor(centre - 2 * widen)) - 1; p <= int(std::ceil(centre + 2 * widen)) + 1; ++p) {
    const double v = Keys((p - centre) / widen);
    w[size_t(std::clamp(p, 0, size - 1))] += v;
    sum += v;
  }
  for (double& v : w) v /= sum;
  return w;
}

// Expected output of ResizeImage, written where the resampler may write;
// `written` marks those pixels.
struct Reference {
  std::vector<double> values;  // outW * outH * channels
  std::vector<bool> written;   // outW * outH
  int outW = 0, outH = 0;
};

Reference ResizeReference(const Image& src, int outW, int outH, int nx, int dx, int ny, int dy) {
  Reference ref;
  ref.outW = outW;
  ref.outH = outH;
  const int ch = src.Channels();
  const Roi roi = src.GetRoi();
  ref.values.assign(size_t(outW) * outH * ch, 0.0);
  ref.written.assign(size_t(outW) * outH, false);
  const double sx = double(nx) / dx, sy = double(ny) / dy;
  for (int oy = 0; oy < outH; ++oy) {
    const double cy = roi.y + (oy + 0.5) / sy - 0.5;
    if (cy + 0.5 < 0 || cy + 0.5 >= src.Height()) continue;
    const std::vector<double> wy = ReferenceWeights(cy, sy, src.Height());
    for (int ox = 0; ox < outW; ++ox) {
      const double cx = roi.x + (ox + 0.5) / sx - 0.5;
      if (cx + 0.5 < 0 || cx + 0.5 >= src.Width()) continue;
      const std::vector<double> wx = ReferenceWeights(cx, sx, src.Width());
      ref.written[size_t(oy) * outW + ox] = true;
      for (int c = 0; c < ch; ++c) {
        double acc = 0;
        for (int y = 0; y < src.Height(); ++y) {
          if (wy[size_t(y)] == 0) continue;
          double row = 0;
          for (int x = 0; x < src.Width(); ++x) row += wx[size_t(x)] * PixelAt(src, x, y)[c];
          acc += wy[size_t(y)] * row;
        }
        ref.values[(size_t(oy) * outW + ox) * ch + c] = std::clamp(acc, 0.0, 255.0);
      }
    }
  }
  return ref;
}

struct Case {
  int srcW, srcH;
  Roi roi;
  int nx, dx, ny, dy;
  PixelFormat format;
};

// Runs one case into a destination pre-filled with 7 and checks every pixel:
// within 1 level of the reference where written, untouched elsewhere.
void CheckCase(const Case& c, uint32_t seed) {
  SCOPED_TRACE(::testing::Message() << c.srcW << "x" << c.srcH << " roi " << c.roi.x << "," << c.roi.y << " "
                                    << c.roi.width << "x" << c.roi.height << " factors " << c.nx << "/" << c.dx
                                    << ", " << c.ny << "/" << c.dy);
  Image src = NoiseImage(c.srcW, c.srcH, c.format, seed);
  src.SetRoi(c.roi);
  const int outW = int(int64_t(c.roi.width) * c.nx / c.dx), outH = int(int64_t(c.roi.height) * c.ny / c.dy);
  Image dst(outW + 3, outH + 2, c.format, 7);
  ASSERT_TRUE(ResizeImage(src, dst, c.nx, c.dx, c.ny, c.dy));
  const Reference ref = ResizeReference(src, outW, outH, c.nx, c.dx, c.ny, c.dy);
  const int ch = src.Channels();
  int worst = 0, writtenCount = 0;
  for (int y = 0; y < dst.Height(); ++y)
    for (int x = 0; x < dst.Width(); ++x) {
      const bool inOut = x < outW && y < outH;
      const bool written = inOut && ref.written[size_t(y) * outW + x];
      writtenCount += written;
      for (int k = 0; k < ch; ++k) {
        const int got = PixelAt(dst, x, y)[k];
        if (written) {
          const double want = ref.values[(size_t(y) * outW + x) * ch + k];
          worst = std::max(worst, int(std::ceil(std::fabs(got - want) - 0.5)));
        } else {
          ASSERT_EQ(got, 7) << "pixel " << x << "," << y << " should be untouched";
        }
      }
    }
  EXPECT_LE(worst, 1);
  EXPECT_GT(writtenCount, 0);
}

TEST(ResizeImage, MatchesReferenceWhenEnlarging) {
  const Case cases[] = {
      {40, 30, {0, 0, 40, 30}, 3, 2, 3, 2, PixelFormat::kBgra},       // 1.5
      {17, 13, {0, 0, 17, 13}, 3, 1, 3, 1, PixelFormat::kBgra},       // 3, odd sizes
      {37, 23, {5, 4, 19, 11}, 101, 19, 59, 11, PixelFormat::kBgra},  // odd factors, inner ROI
      {33, 21, {0, 0, 33, 21}, 7, 3, 5, 4, PixelFormat::kGray},       // different factors, grey
  };
  uint32_t seed = 1;
  for (const Case& c : cases) CheckCase(c, seed++);
}

TEST(ResizeImage, MatchesReferenceWhenShrinkingWithWidenedKernel) {
  const Case cases[] = {
      {80, 60, {0, 0, 80, 60}, 1, 2, 1, 2, PixelFormat::kBgra},      // 0.5
      {111, 74, {0, 0, 111, 74}, 27, 100, 27, 100, PixelFormat::kBgra},  // the fit scale
      {97, 61, {0, 0, 97, 61}, 1, 10, 1, 7, PixelFormat::kBgra},     // strong, unequal
      {64, 64, {0, 0, 64, 64}, 3, 4, 2, 3, PixelFormat::kGray},
  };
  uint32_t seed = 11;
  for (const Case& c : cases) CheckCase(c, seed++);
}

TEST(ResizeImage, RegionAtAndBeyondThePhotoEdge) {
  const Case cases[] = {
      // Flush with the right and bottom edges: taps beyond replicate the edge.
      {50, 40, {30, 25, 20, 15}, 5, 2, 5, 2, PixelFormat::kBgra},
      {50, 40, {30, 25, 20, 15}, 2, 5, 2, 5, PixelFormat::kBgra},
      // Larger than the photo (shrunk below the fit scale): only the photo's
      // part is written, the rest keeps the destination's fill.
      {40, 30, {0, 0, 57, 30}, 20, 57, 20, 57, PixelFormat::kBgra},
      {40, 30, {0, 0, 40, 49}, 3, 2, 3, 2, PixelFormat::kBgra},
      // Starting before the photo.
      {40, 30, {-6, -3, 30, 20}, 2, 1, 2, 1, PixelFormat::kBgra},
  };
  uint32_t seed = 21;
  for (const Case& c : cases) CheckCase(c, seed++);
}

TEST(ResizeImage, TinySources) {
  const Case cases[] = {
      {1, 1, {0, 0, 1, 1}, 7, 1, 5, 1, PixelFormat::kBgra},
      {1, 9, {0, 0, 1, 9}, 4, 1, 1, 3, PixelFormat::kBgra},
      {2, 3, {0, 0, 2, 3}, 9, 2, 11, 3, PixelFormat::kBgra},
      {3, 1, {0, 0, 3, 1}, 1, 3, 6, 1, PixelFormat::kGray},
  };
  uint32_t seed = 31;
  for (const Case& c : cases) CheckCase(c, seed++);
}

TEST(ResizeImage, EqualFactorsCopyExactlyAndOneAxisAtOneIsExact) {
  Image src = NoiseImage(30, 20, PixelFormat::kBgra, 5);
  src.SetRoi({4, 3, 20, 12});
  Image dst(20, 12, PixelFormat::kBgra, 0);
  ASSERT_TRUE(ResizeImage(src, dst, 20, 20, 12, 12));
  for (int y = 0; y < 12; ++y)
    ASSERT_EQ(0, std::memcmp(dst.Row(y), PixelAt(src, 4, 3 + y), 20 * 4)) << "row " << y;

  // Horizontal factor 1, vertical 2: every column is a 1-D resample of the
  // matching source column, and rows at integer source positions are exact.
  Image wide(20, 24, PixelFormat::kBgra, 0);
  ASSERT_TRUE(ResizeImage(src, wide, 7, 7, 2, 1));
  const Reference ref = ResizeReference(src, 20, 24, 7, 7, 2, 1);
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 20 * 4; ++x)
      ASSERT_NEAR(wide.Row(y)[x], ref.values[size_t(y) * 80 + x], 1.0) << x << "," << y;
}

TEST(ResizeImage, FlatImagesStayFlatAtEveryScale) {
  Image src(123, 77, PixelFormat::kBgra, 0);
  const uint8_t px[4] = {0, 255, 128, 1};
  for (int y = 0; y < 77; ++y)
    for (int x = 0; x < 123; ++x) PutPixel(src, x, y, px);
  const int factors[][2] = {{1, 9}, {27, 100}, {1, 2}, {3, 4}, {5, 4}, {3, 1}, {17, 3}};
  for (const auto& f : factors) {
    Image dst(500, 400, PixelFormat::kBgra, 9);
    ASSERT_TRUE(ResizeImage(src, dst, f[0], f[1], f[0], f[1]));
    const int w = std::min(500, 123 * f[0] / f[1]), h = std::min(400, 77 * f[0] / f[1]);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(0, std::memcmp(PixelAt(dst, x, y), px, 4)) << f[0] << "/" << f[1] << " at " << x << "," << y;
  }
}

TEST(ResizeImage, WritesIntoTheDestinationRegionClipped) {
  Image src = NoiseImage(10, 10, PixelFormat::kBgra, 3);
  Image dst(30, 30, PixelFormat::kBgra, 7);
  dst.SetRoi({5, 6, 12, 50});  // taller than the image: clipped
  ASSERT_TRUE(ResizeImage(src, dst, 2, 1, 2, 1));
  Image whole(20, 20, PixelFormat::kBgra, 7);
  ASSERT_TRUE(ResizeImage(src, whole, 2, 1, 2, 1));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool inside = x >= 5 && x < 17 && y >= 6 && y < 26;
      if (inside)
        ASSERT_EQ(0, std::memcmp(PixelAt(dst, x, y), PixelAt(whole, x - 5, y - 6), 4)) << x << "," << y;
      else
        ASSERT_EQ(PixelAt(dst, x, y)[0], 7) << x << "," << y;
    }
}

TEST(ResizeImage, RefusesWhatItCannotDo) {
  Image a(8, 8, PixelFormat::kBgra), g(8, 8, PixelFormat::kGray), empty;
  EXPECT_FALSE(ResizeImage(a, g, 2, 1, 2, 1));
  EXPECT_FALSE(ResizeImage(empty, a, 2, 1, 2, 1));
  EXPECT_FALSE(ResizeImage(a, empty, 2, 1, 2, 1));
  EXPECT_FALSE(ResizeImage(a, a, 0, 1, 2, 1));
  EXPECT_FALSE(ResizeImage(a, a, 2, -1, 2, 1));
  // A ROI entirely off the photo writes nothing.
  Image dst(8, 8, PixelFormat::kBgra, 7);
  a.SetRoi({100, 100, 8, 8});
  EXPECT_TRUE(ResizeImage(a, dst, 3, 2, 3, 2));
  EXPECT_EQ(PixelAt(dst, 0, 0)[0], 7);
}

TEST(ResizeImage, ViewerSizedShrinkOfALargePhotoHasNoSeams) {
  // A horizontal ramp shrunk by a large factor stays monotonic: a window slid
  // or folded wrongly at a tile of the table shows as a step backwards.
  Image src(2000, 8, PixelFormat::kBgra, 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 2000; ++x) {
      const uint8_t v = uint8_t(x * 255 / 1999);
      const uint8_t px[4] = {v, v, v, 255};
      PutPixel(src, x, y, px);
    }
  Image dst(540, 2, PixelFormat::kBgra, 0);
  ASSERT_TRUE(ResizeImage(src, dst, 27, 100, 27, 100));
  for (int x = 1; x < 540; ++x) ASSERT_GE(PixelAt(dst, x, 1)[0], PixelAt(dst, x - 1, 1)[0]) << x;
}

// ---- the split over threads and the instruction sets ----

struct Job {
  int srcW, srcH;
  Roi roi;
  int nx, dx, ny, dy;
  PixelFormat format;
};

// The whole destination (pre-filled, larger than the output) after one
// resize, so stray writes beside the output show too; with `inset` the
// output goes to a destination region off the corner.
Image RunJob(const Job& j, const Image& src, bool inset = false) {
  const int outW = int(int64_t(j.roi.width) * j.nx / j.dx), outH = int(int64_t(j.roi.height) * j.ny / j.dy);
  Image dst(outW + 9, outH + 6, j.format, 7);
  if (inset) dst.SetRoi({4, 3, outW + 2, outH + 1});
  EXPECT_TRUE(ResizeImage(src, dst, j.nx, j.dx, j.ny, j.dy));
  return dst;
}

std::vector<Job> SplitJobs() {
  std::vector<Job> jobs = {
      {300, 200, {0, 0, 300, 200}, 20, 21, 20, 21, PixelFormat::kBgra},  // real size, K = 5
      {300, 200, {0, 0, 300, 200}, 27, 50, 27, 50, PixelFormat::kBgra},  // fit, K = 8
      {257, 131, {13, 7, 200, 100}, 3, 2, 5, 3, PixelFormat::kBgra},     // enlarging, inner ROI
      {97, 61, {-5, -3, 120, 80}, 1, 7, 1, 5, PixelFormat::kBgra},       // K = 28 and 20, beyond edges
      {64, 300, {0, 0, 64, 300}, 17, 9, 1, 3, PixelFormat::kBgra},       // few columns, many rows
      {150, 90, {0, 0, 150, 90}, 2, 3, 2, 3, PixelFormat::kGray},
      {5, 3, {0, 0, 5, 3}, 31, 1, 29, 1, PixelFormat::kBgra},            // windows wider than the image
  };
  // And random ones: every window size, ROI offset and row count.
  uint32_t seed = 77;
  auto next = [&](int lo, int hi) { return lo + int(testing::NextRandom(seed) % uint32_t(hi - lo + 1)); };
  for (int i = 0; i < 16; ++i) {
    Job j{next(1, 220), next(1, 160), {}, next(1, 40), next(1, 40), next(1, 40), next(1, 40), PixelFormat::kBgra};
    if (i % 5 == 4) j.format = PixelFormat::kGray;
    j.roi = {next(-10, j.srcW - 1), next(-10, j.srcH - 1), next(1, j.srcW + 10), next(1, j.srcH + 10)};
    // Keep outputs small enough to run every combination quickly.
    j.dx = std::max(j.dx, j.nx * j.roi.width / 300 + 1);
    j.dy = std::max(j.dy, j.ny * j.roi.height / 300 + 1);
    jobs.push_back(j);
  }
  return jobs;
}

TEST(ResizeImage, SameBytesWhateverTheThreadsAndInstructionSet) {
  testing::SplitEverything split;
  uint32_t seed = 41;
  for (const Job& j : SplitJobs()) {
    const bool inset = seed % 2 == 0;
    SCOPED_TRACE(::testing::Message() << j.srcW << "x" << j.srcH << " roi " << j.roi.x << "," << j.roi.y << " "
                                      << j.roi.width << "x" << j.roi.height << " factors " << j.nx << "/" << j.dx
                                      << ", " << j.ny << "/" << j.dy);
    Image src = NoiseImage(j.srcW, j.srcH, j.format, seed++);
    src.SetRoi(j.roi);
    imageops_internal::ForceIsa(imageops_internal::Isa::kGeneric);
    pool::SetThreads(1);
    const Image expected = RunJob(j, src, inset);
    for (const imageops_internal::Isa isa : testing::kAllIsas)
      for (const int threads : testing::kThreadCounts) {
        imageops_internal::ForceIsa(isa);
        pool::SetThreads(threads);
        ASSERT_TRUE(SameBytes(RunJob(j, src, inset), expected)) << "set " << int(isa) << ", " << threads << " threads";
      }
  }
}

TEST(ResizeImage, CallsFromSeveralThreadsAtOnceEachGetTheirOwnResult) {
  // The viewer resizes on its interface thread while a worker makes the
  // halved copies: both share the pool.
  testing::SplitEverything split;
  pool::SetThreads(3);
  const Image src = NoiseImage(180, 120, PixelFormat::kBgra, 9);
  const int factors[][2] = {{20, 21}, {27, 50}, {3, 2}, {1, 3}};
  std::vector<Image> expected;
  for (const auto& f : factors) expected.push_back(RunJob({180, 120, {0, 0, 180, 120}, f[0], f[1], f[0], f[1],
                                                          PixelFormat::kBgra}, src));
  Image halfExpected;
  ASSERT_TRUE(HalveImage(src, halfExpected));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t)
    callers.emplace_back([&, t] {
      for (int round = 0; round < 12; ++round) {
        const int k = (t + round) % 4;
        const Image got = RunJob({180, 120, {0, 0, 180, 120}, factors[k][0], factors[k][1], factors[k][0],
                                  factors[k][1], PixelFormat::kBgra}, src);
        Image half;
        if (!SameBytes(got, expected[size_t(k)]) || !HalveImage(src, half) || !SameBytes(half, halfExpected))
          ++mismatches;
      }
    });
  for (std::thread& c : callers) c.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace kv
