// Real-size pages as paper shows them: PDFs written for photos stored
// upright and sideways, rasterised at 300 dpi, with the registration's ends
// and the check bar measured in the raster.
#include "print/print_page.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/util/file_io.h"
#include "print/tests/pdf_raster.h"

namespace kv::print {
namespace {

using kv::testing::Mark;
using kv::testing::Point;

constexpr int kDpi = 300;

class PrintPage : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kv_print_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Where a photo pixel's centre lands in the raster.
  static Point OnRaster(const PrintOutcome& r, double mmPerPixel, int32_t x, int32_t y) {
    const PageLayout& l = r.layout;
    return {kv::testing::PixelsFor(l.photo.x + (x - l.crop.x + 0.5) * mmPerPixel, kDpi),
            kv::testing::PixelsFor(l.photo.y + (y - l.crop.y + 0.5) * mmPerPixel, kDpi)};
  }

  std::filesystem::path dir_;
};

// The same photo stored upright and turned by the camera both ways: on the
// page it stands upright, the registration spans its length and the bar
// 100 mm, measured in a 300 dpi raster.
TEST_F(PrintPage, PdfMeasuresTheRegistrationAndTheBarTrueForUprightAndSidewaysPhotos) {
  // Marks in stored pixels; 650 pixels apart for 130 mm: 0.2 mm a pixel.
  const int32_t sx = 150, sy = 200, ex = 750, ey = 450;
  const double mm = 130.0 / 650.0;
  for (Orientation o : {1, 6, 8}) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    ActualSizeFile f;
    f.registrations = {MakeRegistration(sx, sy, ex, ey, 130)};
    f.jpegBytes = kv::testing::WithExif(
        EncodeJpeg(kv::testing::MarkedPhoto(900, 600, {{sx, sy, Mark::kRed}, {ex, ey, Mark::kBlue}}),
                   95),
        uint16_t(o), true);
    const std::string pdf = Path("o" + std::to_string(o) + ".pdf");
    const PrintOutcome r =
        WriteRealSizePdf({Unowned(f), "写真.kvi", 0, {}, {}}, PaperSize::kA4, pdf);
    ASSERT_TRUE(r.Done()) << RefusalText(r.refusal) << r.failure;
    const PixelSize shown = ShownSize({900, 600}, o);
    EXPECT_EQ(r.photoWidth, shown.width);
    // Small enough to go whole on an upright sheet.
    EXPECT_FALSE(r.landscape);
    EXPECT_EQ(r.layout.crop, (ImageRect{0, 0, shown.width, shown.height}));

    std::string why;
    const std::optional<kv::testing::Raster> page = kv::testing::RasterisePdf(pdf, kDpi, why);
    ASSERT_TRUE(page) << why;
    // Qt's sheets are whole points, a fraction of a millimetre over.
    EXPECT_NEAR(page->width, kv::testing::PixelsFor(210, kDpi), 3);
    EXPECT_NEAR(page->height, kv::testing::PixelsFor(297, kDpi), 3);

    int32_t rx = sx, ry = sy, bx = ex, by = ey;
    StoredToShown(o, {900, 600}, rx, ry);
    StoredToShown(o, {900, 600}, bx, by);
    const Point wantRed = OnRaster(r, mm, rx, ry), wantBlue = OnRaster(r, mm, bx, by);
    const auto red = kv::testing::FindMark(*page, Mark::kRed, wantRed, 60);
    const auto blue = kv::testing::FindMark(*page, Mark::kBlue, wantBlue, 60);
    ASSERT_TRUE(red && blue);
    // Where the upright photo puts them (the margins may round by a
    // fraction of a point), and exactly as far apart as the registration says.
    EXPECT_LT(kv::testing::Distance(*red, wantRed), 4);
    EXPECT_LT(kv::testing::Distance(*blue, wantBlue), 4);
    EXPECT_NEAR(kv::testing::Distance(*red, *blue), kv::testing::PixelsFor(130, kDpi), 2);

    const int barRow = int(kv::testing::PixelsFor(r.layout.scaleBar.y + 1.0, kDpi));
    EXPECT_NEAR(kv::testing::DarkSpan(*page, barRow), kv::testing::PixelsFor(100, kDpi), 2);
    // The caption line has been written.
    const int captionRow = int(kv::testing::PixelsFor(r.layout.caption.y + 1.5, kDpi));
    EXPECT_GT(kv::testing::DarkSpan(*page, captionRow), kv::testing::PixelsFor(30, kDpi));
  }
}

TEST_F(PrintPage, ALargePhotoIsCroppedAroundTheAskedCentreAtFullScale) {
  // 0.1 mm a pixel: 400 x 300 mm, more than an A4 sheet either way.
  const int32_t cx = 2500, cy = 1500;
  ActualSizeFile f;
  f.registrations = {MakeRegistration(cx, cy, cx, cy + 500, 50)};
  f.jpegBytes = EncodeJpeg(
      kv::testing::MarkedPhoto(4000, 3000, {{cx, cy, Mark::kRed}, {cx, cy + 500, Mark::kBlue}}),
      90);
  const std::string pdf = Path("large.pdf");
  const PrintOutcome r =
      WriteRealSizePdf({Unowned(f), "large.kvi", 0, cx, cy}, PaperSize::kA4, pdf);
  ASSERT_TRUE(r.Done()) << RefusalText(r.refusal) << r.failure;
  const PageLayout& l = r.layout;
  EXPECT_LT(l.crop.width, 4000);
  EXPECT_LT(l.crop.height, 3000);
  EXPECT_EQ(l.crop.x, cx - l.crop.width / 2);
  EXPECT_EQ(l.crop.y, cy - l.crop.height / 2);
  EXPECT_NEAR(l.photo.width, l.crop.width * 0.1, 1e-9);

  std::string why;
  const auto page = kv::testing::RasterisePdf(pdf, kDpi, why);
  ASSERT_TRUE(page) << why;
  const Point middle{kv::testing::PixelsFor(l.photo.x + l.photo.width / 2, kDpi),
                     kv::testing::PixelsFor(l.photo.y + l.photo.height / 2, kDpi)};
  const auto red = kv::testing::FindMark(*page, Mark::kRed, middle, 60);
  const auto blue = kv::testing::FindMark(*page, Mark::kBlue, OnRaster(r, 0.1, cx, cy + 500), 60);
  ASSERT_TRUE(red && blue);
  EXPECT_LT(kv::testing::Distance(*red, middle), 4);
  EXPECT_NEAR(kv::testing::Distance(*red, *blue), kv::testing::PixelsFor(50, kDpi), 2);
}

TEST_F(PrintPage, RefusalsAndFailuresLeaveTheTargetAlone) {
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(Path("out.pdf"), old, reason));
  ActualSizeFile f;
  f.jpegBytes = EncodeJpeg(kv::testing::MarkedPhoto(300, 200, {}), 90);
  auto write = [&](const std::string& path) {
    return WriteRealSizePdf({Unowned(f), "a.kvi", 0, {}, {}}, PaperSize::kA4, path);
  };

  PrintOutcome r = write(Path("out.pdf"));
  EXPECT_EQ(r.refusal, Refusal::kNoRegistration);
  f.registrations = {MakeRegistration(5, 5, 5, 5, 10)};
  EXPECT_EQ(write(Path("out.pdf")).refusal, Refusal::kBadRegistration);
  f.registrations = {MakeRegistration(5, 5, 105, 5, 10)};
  const std::vector<uint8_t> good = f.jpegBytes;
  f.jpegBytes.resize(40);  // a header fragment: the size is there, the pixels are not
  EXPECT_EQ(write(Path("out.pdf")).refusal, Refusal::kNoPhoto);
  f.jpegBytes.clear();
  EXPECT_EQ(write(Path("out.pdf")).refusal, Refusal::kNoPhoto);
  EXPECT_EQ(kv::testing::FileBytes(Path("out.pdf")), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1)
      << "no temporary file is left behind";

  // A folder that is not there: a failure, said as one.
  f.jpegBytes = good;
  r = write(Path("no/such/out.pdf"));
  EXPECT_FALSE(r.Done());
  EXPECT_EQ(r.refusal, Refusal::kNone);
  EXPECT_FALSE(r.failure.empty());

  // Done replaces the old file with a whole PDF.
  ASSERT_TRUE(write(Path("out.pdf")).Done());
  const std::vector<uint8_t> pdf = kv::testing::FileBytes(Path("out.pdf"));
  ASSERT_GT(pdf.size(), 5u);
  EXPECT_EQ(std::string(pdf.begin(), pdf.begin() + 5), "%PDF-");
  EXPECT_NE(std::string(pdf.end() - 16, pdf.end()).find("%%EOF"), std::string::npos);
}

}  // namespace
}  // namespace kv::print
