// Photos coded every way cameras and phones code them either decode to the
// picture that was coded or are refused with a reason; a photo whose data
// stops early is never shown with a flat grey or black rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/shown_photo.h"
#include "foundation/core/util/parallel.h"
#include "test_images.h"

namespace kv {
namespace {

using test::Coding;
using test::Colours;

// What is done to the coded bytes before they are decoded.
enum class Change {
  kNone,
  kExifLittle,      // Exif with a thumbnail and a maker note, orientation 6
  kExifBig,         // the same in the other byte order, orientation 3
  kTrailing,        // bytes after the end of the image
  kExtended,        // the frame marked extended sequential, still 8 bits
  kTwelveBits,      // the frame marked extended sequential with 12 bits
  kLossless,        // the frame marked lossless
};

size_t FirstFrame(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 4 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i;
  return 0;
}

// Where the coded data of the first scan starts, past its header.
size_t FirstScanData(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 3 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((size_t(jpeg[i + 2]) << 8) | jpeg[i + 3]);
  return 0;
}

// A thumbnail of other colours and size than the photo, so that decoding it
// in the photo's place shows.
std::vector<uint8_t> Thumbnail() {
  Coding c;
  c.width = 40;
  c.height = 32;
  c.colours = Colours::kGrey;
  return test::QuadrantsJpeg(c);
}

std::vector<uint8_t> Apply(Change change, std::vector<uint8_t> jpeg) {
  const size_t frame = FirstFrame(jpeg);
  switch (change) {
    case Change::kNone:
      break;
    case Change::kExifLittle:
      return test::WithExifThumbnail(jpeg, Thumbnail(), 6, true);
    case Change::kExifBig:
      return test::WithExifThumbnail(jpeg, Thumbnail(), 3, false);
    case Change::kTrailing: {
      // What some phones append: another picture, then padding.
      const std::vector<uint8_t> more = Thumbnail();
      jpeg.insert(jpeg.end(), more.begin(), more.end());
      jpeg.insert(jpeg.end(), {0x00, 0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xFF});
      jpeg.insert(jpeg.end(), 300, 0x00);
      break;
    }
    case Change::kExtended:
      jpeg.at(frame + 1) = 0xC1;
      break;
    case Change::kTwelveBits:
      // The library here is built for 8 bits and encodes no other
      // precision; the frame header is what a decoder meets first of a
      // 12-bit photo, and all it needs to refuse one.
      jpeg.at(frame + 1) = 0xC1;
      jpeg.at(frame + 4) = 12;
      break;
    case Change::kLossless:
      jpeg.at(frame + 1) = 0xC3;
      break;
  }
  return jpeg;
}

// Mean of blue, green and red over one quadrant, four pixels clear of where
// the quadrants meet and of the edges.
test::Rgb QuadrantMean(const DibImage& im, const Coding& c, int quadrant) {
  const int splitX = test::QuadrantSplitX(c), splitY = test::QuadrantSplitY(c);
  const int x0 = quadrant % 2 == 0 ? 4 : splitX + 4, x1 = quadrant % 2 == 0 ? splitX - 4 : c.width - 4;
  const int y0 = quadrant < 2 ? 4 : splitY + 4, y1 = quadrant < 2 ? splitY - 4 : c.height - 4;
  uint64_t sum[3] = {0, 0, 0};
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int i = 0; i < 3; ++i) sum[i] += im.Row(y)[3 * x + i];
  const uint64_t n = uint64_t(x1 - x0) * uint64_t(y1 - y0);
  return {uint8_t((sum[2] + n / 2) / n), uint8_t((sum[1] + n / 2) / n), uint8_t((sum[0] + n / 2) / n)};
}

struct Case {
  const char* name;
  Coding coding;
  Change change;
  const char* refusal;  // a word of the reason; null when the photo decodes
};

Coding Sampled(int h, int v) {
  Coding c;
  c.lumaH = h;
  c.lumaV = v;
  return c;
}
Coding Progressive(Coding c) {
  c.progressive = true;
  return c;
}
Coding Arithmetic(Coding c) {
  c.arithmetic = true;
  return c;
}
Coding Restarts(Coding c, int interval) {
  c.restartInterval = interval;
  return c;
}
Coding In(Colours colours) {
  Coding c;
  c.colours = colours;
  return c;
}

DibImage CopyOf(const DibImage& im) {
  DibImage c(im.width, im.height);
  c.padBytes = im.padBytes;
  c.byteSize = im.byteSize;
  c.pixels = std::make_unique<uint8_t[]>(im.byteSize);
  std::memcpy(c.pixels.get(), im.pixels.get(), im.byteSize);
  return c;
}

// The photo as shown, decoded a band at a time and turned as the bands
// come, is the whole record turned afterwards, byte for byte, in three
// bytes and four, whole and in part, for every orientation and reduced;
// with the bands handed to a worker (even on small photos) and without.
void ExpectShownAsTurned(const std::vector<uint8_t>& jpeg) {
  pool::SetMinParallelPixels(1);
  for (int threads : {1, 2})
  for (int shift : {0, 1}) {
    pool::SetThreads(threads);
    DibImage stored;
    std::string reason;
    ASSERT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), stored, reason, shift), 1) << reason;
    for (Orientation o = 1; o <= 8; ++o) {
      SCOPED_TRACE(::testing::Message() << threads << " threads, shift " << shift << ", orientation " << o);
      DibImage want = CopyOf(stored);
      ASSERT_TRUE(OrientImage(want, o));
      DibImage shown;
      ASSERT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shown, reason, nullptr, shift), 1) << reason;
      ASSERT_EQ(shown.width, want.width);
      ASSERT_EQ(shown.byteSize, want.byteSize);
      EXPECT_EQ(0, std::memcmp(shown.pixels.get(), want.pixels.get(), want.byteSize));
      std::vector<uint8_t> bgra;
      size_t stride = 0;
      const JpegAllocator into = [&](uint32_t w, uint32_t h, size_t least) {
        EXPECT_EQ(int32_t(w), want.width);
        EXPECT_EQ(int32_t(h), want.height);
        stride = least + 8;
        bgra.assign(stride * h, 0);
        return JpegTarget{bgra.data(), stride};
      };
      ASSERT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, shift, into, reason), 1) << reason;
      bool same = true;
      for (int32_t y = 0; y < want.height && same; ++y)
        for (int32_t x = 0; x < want.width && same; ++x) {
          const uint8_t* a = want.Row(y) + x * 3;
          const uint8_t* b = &bgra[size_t(y) * stride + size_t(x) * 4];
          same = std::memcmp(a, b, 3) == 0 && b[3] == 255;
        }
      EXPECT_TRUE(same);
      const ImageRect part{want.width / 3, want.height / 4, want.width / 2, want.height / 2};
      DibImage cut;
      ASSERT_EQ(DecodeShownSrgb(jpeg.data(), jpeg.size(), o, cut, reason, &part, shift), 1) << reason;
      ASSERT_EQ(cut.width, part.width);
      ASSERT_EQ(cut.height, part.height);
      for (int32_t y = 0; y < part.height; ++y) {
        ASSERT_EQ(0, std::memcmp(cut.Row(y), want.Row(part.y + y) + part.x * 3, size_t(part.width) * 3)) << y;
        for (uint32_t p = 0; p < cut.padBytes; ++p) ASSERT_EQ(cut.Row(y)[part.width * 3 + p], 0);
      }
    }
  }
  pool::SetMinParallelPixels(0);
  pool::SetThreads(0);
}

TEST(JpegVariety, EveryCodingDecodesToItsPictureOrIsRefusedWithAReason) {
  const Coding c420 = Sampled(2, 2);
  const Case cases[] = {
      {"baseline 4:2:0", c420, Change::kNone, nullptr},
      {"baseline 4:4:4", Sampled(1, 1), Change::kNone, nullptr},
      {"baseline 4:2:2", Sampled(2, 1), Change::kNone, nullptr},
      {"baseline 4:4:0", Sampled(1, 2), Change::kNone, nullptr},
      {"baseline 4:1:1", Sampled(4, 1), Change::kNone, nullptr},
      {"progressive 4:2:0", Progressive(c420), Change::kNone, nullptr},
      {"progressive 4:4:0", Progressive(Sampled(1, 2)), Change::kNone, nullptr},
      {"arithmetic 4:2:0", Arithmetic(c420), Change::kNone, nullptr},
      {"arithmetic progressive 4:2:2", Arithmetic(Progressive(Sampled(2, 1))), Change::kNone, nullptr},
      {"restarts every 3 MCUs", Restarts(c420, 3), Change::kNone, nullptr},
      {"restarts, progressive 4:4:4", Restarts(Progressive(Sampled(1, 1)), 2), Change::kNone, nullptr},
      {"restarts, arithmetic", Restarts(Arithmetic(c420), 5), Change::kNone, nullptr},
      {"grey", In(Colours::kGrey), Change::kNone, nullptr},
      {"grey progressive", Progressive(In(Colours::kGrey)), Change::kNone, nullptr},
      {"CMYK", In(Colours::kCmyk), Change::kNone, nullptr},
      {"YCCK", In(Colours::kYcck), Change::kNone, nullptr},
      {"YCCK progressive", Progressive(In(Colours::kYcck)), Change::kNone, nullptr},
      {"Exif, little-endian", c420, Change::kExifLittle, nullptr},
      {"Exif, big-endian, progressive", Progressive(c420), Change::kExifBig, nullptr},
      {"trailing bytes", c420, Change::kTrailing, nullptr},
      {"extended sequential, 8 bits", c420, Change::kExtended, nullptr},
      {"12 bits", c420, Change::kTwelveBits, "ﾋﾞｯﾄ深度"},
      {"lossless", c420, Change::kLossless, "ﾛｽﾚｽ"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::vector<uint8_t> coded = test::QuadrantsJpeg(k.coding);
    ASSERT_FALSE(coded.empty()) << "the library refused to encode";
    const std::vector<uint8_t> jpeg = Apply(k.change, coded);
    ASSERT_FALSE(jpeg.empty());
    DibImage im;
    std::string reason;
    const int decoded = DecodeJpegBuffer(jpeg.data(), jpeg.size(), im, reason);
    if (k.refusal != nullptr) {
      EXPECT_EQ(decoded, 0);
      EXPECT_FALSE(im.HasImage());
      EXPECT_NE(reason.find(k.refusal), std::string::npos) << reason;
      continue;
    }
    ASSERT_EQ(decoded, 1) << reason;
    ASSERT_EQ(im.width, k.coding.width);
    ASSERT_EQ(im.height, k.coding.height);
    for (int q = 0; q < 4; ++q) {
      const test::Rgb want = test::QuadrantColour(k.coding, q);
      const test::Rgb got = QuadrantMean(im, k.coding, q);
      EXPECT_NEAR(got.r, want.r, 4) << "quadrant " << q;
      EXPECT_NEAR(got.g, want.g, 4) << "quadrant " << q;
      EXPECT_NEAR(got.b, want.b, 4) << "quadrant " << q;
    }
    // The viewer's four-byte record holds the same pixels; reduced by the
    // library, it keeps the picture at the size rounded up.
    for (int shift : {0, 2}) {
      SCOPED_TRACE(shift);
      std::vector<uint8_t> bgra;
      uint32_t w = 0, h = 0;
      const JpegAllocator into = [&](uint32_t width, uint32_t height, size_t stride) {
        w = width;
        h = height;
        bgra.assign(stride * height, 0);
        return JpegTarget{bgra.data(), stride};
      };
      ASSERT_EQ(DecodeJpegBgra(jpeg.data(), jpeg.size(), shift, into, reason), 1) << reason;
      ASSERT_EQ(w, uint32_t((k.coding.width + (1 << shift) - 1) >> shift));
      ASSERT_EQ(h, uint32_t((k.coding.height + (1 << shift) - 1) >> shift));
      if (shift == 0) {
        bool same = true;
        for (int32_t y = 0; y < im.height && same; ++y)
          for (int32_t x = 0; x < im.width && same; ++x) {
            const uint8_t* a = im.Row(y) + x * 3;
            const uint8_t* b = &bgra[(size_t(y) * w + size_t(x)) * 4];
            same = a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && b[3] == 255;
          }
        EXPECT_TRUE(same);
      } else {
        // Each reduced pixel stands for the block of photo pixels it covers
        // (on average: edges between quadrants come out softer or harder).
        int64_t total = 0;
        for (uint32_t y = 0; y < h; ++y)
          for (uint32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
              int sum = 0, n = 0;
              for (int32_t py = int32_t(y << shift); py < std::min<int32_t>(im.height, int32_t((y + 1) << shift)); ++py)
                for (int32_t px = int32_t(x << shift); px < std::min<int32_t>(im.width, int32_t((x + 1) << shift)); ++px, ++n)
                  sum += im.Row(py)[px * 3 + c];
              total += std::abs(bgra[(size_t(y) * w + x) * 4 + size_t(c)] - (sum + n / 2) / n);
            }
        EXPECT_LE(double(total) / (double(w) * h * 3), 4.0);
      }
    }
    ExpectShownAsTurned(jpeg);
    // The viewer reads the size and the orientation from the same bytes.
    EXPECT_EQ(ReadJpegSize(jpeg.data(), jpeg.size()), (PixelSize{k.coding.width, k.coding.height}));
    const Orientation orientation =
        k.change == Change::kExifLittle ? 6 : k.change == Change::kExifBig ? 3 : 1;
    EXPECT_EQ(ReadExifOrientation(jpeg.data(), jpeg.size()), orientation);
  }
}

// Cut anywhere in the coded data, or cut and closed with an end marker as a
// program saving an unfinished file might, a photo is refused.
TEST(JpegVariety, CutPhotosAreRefused) {
  const Coding c420 = Sampled(2, 2);
  struct Cut {
    const char* name;
    Coding coding;
    bool closable;
  };
  // Arithmetic-coded data may meet a marker before it ends (the decoder
  // goes on with zeros by the coding's own convention), so a cut closed
  // with an end marker cannot be told from a whole scan there; only the
  // plain cut is checked for it.
  const Cut cuts[] = {
      {"baseline", c420, true},
      {"progressive", Progressive(c420), true},
      {"restarts", Restarts(c420, 3), true},
      {"restarts, progressive", Restarts(Progressive(Sampled(1, 1)), 2), true},
      {"grey progressive", Progressive(In(Colours::kGrey)), true},
      {"YCCK progressive", Progressive(In(Colours::kYcck)), true},
      {"CMYK", In(Colours::kCmyk), true},
      {"arithmetic", Arithmetic(c420), false},
      {"arithmetic progressive", Arithmetic(Progressive(c420)), false},
  };
  for (const Cut& k : cuts) {
    const std::vector<uint8_t> whole = test::QuadrantsJpeg(k.coding);
    const size_t scan = FirstScanData(whole);
    ASSERT_NE(scan, 0u) << k.name;
    const size_t data = whole.size() - 2 - scan;
    // Eighths of the way through the coded data, and all but the end marker.
    for (const size_t keep : {scan + data / 8, scan + data / 2, scan + data * 7 / 8, whole.size() - 2}) {
      for (const bool closed : {false, true}) {
        if (closed && (!k.closable || keep == whole.size() - 2)) continue;
        SCOPED_TRACE(std::string(k.name) + ", kept " + std::to_string(keep) + " of " +
                     std::to_string(whole.size()) + (closed ? ", closed" : ""));
        std::vector<uint8_t> jpeg(whole.begin(), whole.begin() + std::ptrdiff_t(keep));
        if (closed) jpeg.insert(jpeg.end(), {0xFF, 0xD9});
        DibImage im;
        std::string reason;
        EXPECT_EQ(DecodeJpegBuffer(jpeg.data(), jpeg.size(), im, reason), 0);
        EXPECT_FALSE(im.HasImage());
        EXPECT_NE(reason.find("途中で"), std::string::npos) << reason;
      }
    }
  }
}

}  // namespace
}  // namespace kv
