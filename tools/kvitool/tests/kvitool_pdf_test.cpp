// "kvitool pdf" end to end: the bundled sample, with marks painted on its
// registrations' ends, written as PDF, rasterised at 300 dpi and measured;
// and the program run from a shell without a display.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/jpeg_encode.h"
#include "kvi/actual_size_file.h"
#include "print/print_layout.h"
#include "print/tests/pdf_raster.h"
#include "tools/kvitool/kvitool.h"

namespace kv {
namespace {

using kv::testing::Mark;
using kv::testing::PixelsFor;
using kv::testing::Point;

constexpr int kDpi = 300;

class KvitoolPdf : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("KV_BIN_DIR");
    ASSERT_NE(bin, nullptr);
    std::string reason;
    ASSERT_TRUE(ReadActualSizeFile(std::string(bin) + "/sample.kvi", sample_, reason)) << reason;
    dir_ = std::filesystem::temp_directory_path() / ("kvitool_pdf_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // The sample with red and blue discs on the ends of every registration.
  std::string MarkedSample() {
    DibImage photo;
    EXPECT_EQ(DecodeJpegBuffer(sample_.jpegBytes.data(), sample_.jpegBytes.size(), photo), 1);
    std::vector<kv::testing::MarkAt> marks;
    for (const SizeRegistration& r : sample_.registrations) {
      marks.push_back({r.startX, r.startY, Mark::kRed});
      marks.push_back({r.endX, r.endY, Mark::kBlue});
    }
    kv::testing::PaintMarks(photo, marks, 8);
    ActualSizeFile f = sample_;
    f.jpegBytes = EncodeJpeg(photo, 95);
    const std::string path = Path("marked.kvi");
    std::string reason;
    EXPECT_TRUE(WriteActualSizeFile(path, f, reason)) << reason;
    return path;
  }

  struct Result {
    int status;
    std::string out, err;
  };
  static Result Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunKvitool(args, out, err);
    return {status, out.str(), err.str()};
  }

  ActualSizeFile sample_;
  std::filesystem::path dir_;
};

TEST_F(KvitoolPdf, TheSampleMeasuresItsRegisteredLengthsAndTheBar100mm) {
  const std::string kvi = MarkedSample();
  struct Case {
    int number;
    const char* page;
    print::PaperSize paper;
    double widthMm, heightMm;  // the sheet as the tool turns it
  } cases[] = {
      // Cropped upright, whole on its side: the tool turns the sheet.
      {1, nullptr, print::PaperSize::kA4, 297, 210},
      {3, "A3", print::PaperSize::kA3, 297, 420},
      {2, "letter", print::PaperSize::kLetter, 279.4, 215.9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("registration " + std::to_string(c.number));
    const std::string pdf = Path("sample" + std::to_string(c.number) + ".pdf");
    std::vector<std::string> args = {"pdf", kvi, pdf, "--registration", std::to_string(c.number)};
    if (c.page) args.insert(args.end(), {"--page", c.page});
    const Result r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    EXPECT_NE(r.out.find("registration " + std::to_string(c.number) + " of 3"), std::string::npos)
        << r.out;

    std::string why;
    const auto page = kv::testing::RasterisePdf(pdf, kDpi, why);
    ASSERT_TRUE(page) << why;
    // Qt's sheets are whole points, a fraction of a millimetre over.
    EXPECT_NEAR(page->width, PixelsFor(c.widthMm, kDpi), 3);
    EXPECT_NEAR(page->height, PixelsFor(c.heightMm, kDpi), 3);

    // Where the marks should be, from the same layout the tool uses.
    const SizeRegistration& reg = sample_.registrations[size_t(c.number - 1)];
    const double mm = print::ScaleOf(sample_.registrations, c.number - 1).mmPerPixel;
    const bool landscape = c.widthMm > c.heightMm;
    const print::PageLayout l =
        print::LayOutPage(print::PdfPage(c.paper, landscape), mm, 1600, 1200, 800, 600);
    auto at = [&](int32_t x, int32_t y) {
      return Point{PixelsFor(l.photo.x + (x - l.crop.x + 0.5) * mm, kDpi),
                   PixelsFor(l.photo.y + (y - l.crop.y + 0.5) * mm, kDpi)};
    };
    const auto red = kv::testing::FindMark(*page, Mark::kRed, at(reg.startX, reg.startY), 40);
    const auto blue = kv::testing::FindMark(*page, Mark::kBlue, at(reg.endX, reg.endY), 40);
    ASSERT_TRUE(red && blue);
    EXPECT_NEAR(kv::testing::Distance(*red, *blue), PixelsFor(reg.lengthMm, kDpi), 2);
    const int barRow = int(PixelsFor(l.scaleBar.y + 1.0, kDpi));
    EXPECT_NEAR(kv::testing::DarkSpan(*page, barRow), PixelsFor(100, kDpi), 2);
  }
}

// From a shell with no display, even one that asks for a desktop platform.
TEST_F(KvitoolPdf, TheProgramWritesWithoutADisplayAndSaysWhatItRefuses) {
  const std::string kvi = MarkedSample();
  auto run = [&](const std::string& args) {
    const std::string cmd = std::string("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '") +
                            KV_KVITOOL_PATH + "' " + args + " >'" + Path("stdout") + "' 2>'" +
                            Path("stderr") + "'";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  EXPECT_EQ(run("pdf '" + kvi + "' '" + Path("out.pdf") + "'"), 0);
  const std::vector<uint8_t> pdf = kv::testing::FileBytes(Path("out.pdf"));
  ASSERT_GT(pdf.size(), 1000u);
  EXPECT_EQ(std::string(pdf.begin(), pdf.begin() + 5), "%PDF-");
  EXPECT_TRUE(kv::testing::FileBytes(Path("stderr")).empty());

  // A photo without registrations: exit 1, one line why, the old file kept.
  ActualSizeFile bare = sample_;
  bare.registrations.clear();
  std::string reason;
  ASSERT_TRUE(WriteActualSizeFile(Path("bare.kvi"), bare, reason)) << reason;
  EXPECT_EQ(run("pdf '" + Path("bare.kvi") + "' '" + Path("out.pdf") + "'"), 1);
  EXPECT_EQ(kv::testing::FileBytes(Path("out.pdf")), pdf);
  const std::vector<uint8_t> err = kv::testing::FileBytes(Path("stderr"));
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  // A folder that is not there: the write fails, and says so.
  EXPECT_EQ(run("pdf '" + kvi + "' '" + Path("no/such.pdf") + "'"), 1);
  EXPECT_FALSE(std::filesystem::exists(Path("no")));

  // Over a link: the link stays, its target gets the page.
  std::filesystem::create_directory(Path("real"));
  { std::ofstream(Path("real/page.pdf")) << "old"; }
  std::filesystem::create_symlink("real/page.pdf", Path("link.pdf"));
  EXPECT_EQ(run("pdf '" + kvi + "' '" + Path("link.pdf") + "'"), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(Path("link.pdf")));
  const std::vector<uint8_t> page = kv::testing::FileBytes(Path("real/page.pdf"));
  EXPECT_EQ(std::string(page.begin(), page.begin() + 5), "%PDF-");
  // A read-only target, named or behind the link: exit 1, one line, the
  // file byte for byte as it was.
  std::filesystem::permissions(Path("real/page.pdf"), std::filesystem::perms::owner_read);
  for (const char* name : {"real/page.pdf", "link.pdf"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(run("pdf '" + kvi + "' '" + Path(name) + "' --registration 2"), 1);
    EXPECT_EQ(kv::testing::FileBytes(Path("real/page.pdf")), page);
    const std::vector<uint8_t> why = kv::testing::FileBytes(Path("stderr"));
    EXPECT_EQ(std::count(why.begin(), why.end(), '\n'), 1);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(Path("link.pdf")));
}

}  // namespace
}  // namespace kv
