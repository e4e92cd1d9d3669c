// A folder of phone photos (HEIC and JPEG, some stored sideways, a PNG) with
// a printed marker in each, published in one step; the real size the
// files give is checked as the viewer computes it. Then a fixed rig's
// project registrations, existing files, clashing names, cancelling, and
// kvitool batch from a shell.
#include "authoring/model/batch_publish.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>

#include "authoring/model/marker_detect.h"
#include "authoring/tests/marker_photos.h"
#include "authoring/tests/support.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/image/tests/exif_writer.h"
#include "foundation/core/image/tests/phone_photos.h"
#include "foundation/core/util/geometry.h"
#include "kvi/actual_size_file.h"
#include "tools/kvitool/kvitool.h"

namespace kv::authoring {
namespace {

using namespace testing;
namespace fs = std::filesystem;

constexpr int32_t kModulePx = 12;  // the black square: 96 px on the sheet picture

// An upright photo with marker `id` whose square is 96 x scale pixels.
DibImage Photo(double scale, double degrees, int id, int32_t w, int32_t h) {
  const Grey sheet = MarkerPicture(id, kModulePx, 30);
  Projection p = Projection::Similarity(scale, degrees, 0, 0);
  double cx, cy;
  p.Apply(sheet.width / 2.0, sheet.height / 2.0, cx, cy);
  p.h[2] += w / 2.0 - cx + 0.3;
  p.h[5] += h / 2.0 - cy + 0.6;
  return PhotographSheet(sheet, w, h, p, {1, 2, 0, uint32_t(id + 1)});
}

void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteText(path, std::string(bytes.begin(), bytes.end()));
}

double MmPerPixel(const SizeRegistration& r) {
  return r.lengthMm / PointDistance(r.startX, r.startY, r.endX, r.endY);
}

class BatchTest : public ::testing::Test {
 protected:
  // The folder: what each photo's true scale is, by name.
  void MakeFolder() {
    struct Shot {
      std::string name;
      double scale, degrees;
      int orientation;  // how the file stores it
    } shots[] = {
        {"IMG_0001.HEIC", 4.4, 8, 1},
        {"IMG_0002.HEIC", 4.0, 95, 6},  // stored sideways, turned by its box
        {"DSC_0003.JPG", 4.2, 200, 1},
        {"DSC_0004.jpg", 3.9, 31, 8},   // stored sideways, Exif orientation 8
    };
    int id = 0;
    for (const Shot& s : shots) {
      const DibImage upright = Photo(s.scale, s.degrees, id++, 760, 600);
      const std::string path = in.File(s.name);
      if (s.name.find(".HEIC") != std::string::npos) {
        Put(path, test::EncodeHeic(upright, {s.orientation, {}, false, 92}));
      } else {
        const DibImage stored = test::StoredForOrientation(upright, s.orientation);
        std::vector<uint8_t> jpeg = EncodeJpeg(stored, 92);
        if (s.orientation != 1) jpeg = kv::testing::WithExif(jpeg, uint16_t(s.orientation), true);
        Put(path, jpeg);
      }
      truth[s.name] = 50.0 / (8 * kModulePx * s.scale);
    }
    // A photo without a marker, and something that is not a photo at all.
    Put(in.File("table.png"), test::EncodePng(Photo(0.01, 0, 0, 200, 150)));
    WriteText(in.File("notes.txt"), "not a photo");
  }

  TempDir in, out;
  std::map<std::string, double> truth;
};

TEST_F(BatchTest, AFolderOfPhonePhotosWithMarkersPublishesInOneStepAtTheRightSize) {
  MakeFolder();
  const std::vector<std::string> photos = ListPhotos(in.Folder());
  ASSERT_EQ(photos.size(), 5u);  // the text file is no photo
  BatchRequest request;
  request.targetFolder = out.File("kvi");
  request.markerMm = 50;
  request.link = "https://example.com/";
  request.logoWidth = 1, request.logoHeight = 1, request.logoBytes = {1, 2, 3};
  std::vector<size_t> seen;
  const std::vector<BatchItem> items =
      PublishFolder(request, photos, nullptr, [&](size_t done, size_t total, const BatchItem&) {
        EXPECT_EQ(total, 5u);
        seen.push_back(done);
      });
  EXPECT_EQ(seen, (std::vector<size_t>{1, 2, 3, 4, 5}));
  ASSERT_EQ(items.size(), 5u);
  for (const BatchItem& item : items) {
    const std::string name = fs::path(item.photo).filename().string();
    SCOPED_TRACE(name);
    if (name == "table.png") {
      EXPECT_FALSE(item.done);
      EXPECT_NE(item.reason.find("ﾏｰｶｰが見つかりません"), std::string::npos);
      EXPECT_FALSE(fs::exists(item.target));
      continue;
    }
    ASSERT_TRUE(item.done) << item.reason;
    EXPECT_EQ(item.target, out.File("kvi/" + fs::path(name).stem().string() + ".kvi"));
    ActualSizeFile f;
    std::string reason;
    ASSERT_TRUE(ReadActualSizeFile(item.target, f, reason)) << reason;
    ASSERT_EQ(f.registrations.size(), 1u);
    EXPECT_EQ(f.link, "https://example.com/");
    // The viewer's scale: length over pixel distance, the same stored or shown.
    const double error = MmPerPixel(f.registrations[0]) / truth[name] - 1;
    EXPECT_LT(std::abs(error), 0.003) << error;
    // Stored points land on the marker in the photo as the viewer turns it.
    const Orientation o = ShownOrientation(f.jpegBytes.data(), f.jpegBytes.size());
    EXPECT_EQ(o, name == "DSC_0004.jpg" ? 8 : 1);
  }
  const std::string report = BatchReport(items);
  EXPECT_NE(report.find("5 枚中 4 枚"), std::string::npos) << report;
  EXPECT_NE(report.find("table.png: ﾏｰｶｰが見つかりません"), std::string::npos) << report;
}

TEST_F(BatchTest, AFixedRigGivesTheProjectsRegistrationsToPhotosOfItsSize) {
  Put(in.File("a.jpg"), EncodeJpeg(Photo(3, 0, 1, 400, 300), 90));
  Put(in.File("b.jpg"), kv::testing::WithExif(EncodeJpeg(Photo(3, 0, 1, 300, 400), 90), 6, true));
  Put(in.File("c.jpg"), EncodeJpeg(Photo(3, 0, 1, 500, 300), 90));
  Put(in.File("a.png"), test::EncodePng(Photo(3, 0, 1, 400, 300)));  // a.kvi again
  BatchRequest request;
  request.targetFolder = out.Folder();
  request.fixed = BatchRequest::Fixed{{MakeRegistration(10, 20, 110, 20, 30)}, {400, 300}};
  // b.kvi is there already and is not to be replaced.
  WriteText(out.File("b.kvi"), "mine");
  const std::vector<BatchItem> items = PublishFolder(request, ListPhotos(in.Folder()));
  ASSERT_EQ(items.size(), 4u);  // a.jpg, a.png, b.jpg, c.jpg
  EXPECT_TRUE(items[0].done) << items[0].reason;
  EXPECT_NE(items[1].reason.find("a.jpg と同じ名前"), std::string::npos) << items[1].reason;
  EXPECT_NE(items[2].reason.find("既にあります"), std::string::npos) << items[2].reason;
  EXPECT_EQ(ReadText(out.File("b.kvi")), "mine");
  EXPECT_NE(items[3].reason.find("500 x 300"), std::string::npos) << items[3].reason;
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(out.File("a.kvi"), f, reason));
  EXPECT_EQ(f.registrations, (RegistrationList{MakeRegistration(10, 20, 110, 20, 30)}));

  // Asked once for all: replaced, and the sideways photo keeps the points
  // where the shown photo has them.
  request.overwrite = true;
  const std::vector<BatchItem> again = PublishFolder(request, ListPhotos(in.Folder()));
  ASSERT_TRUE(again[2].done) << again[2].reason;
  ASSERT_TRUE(ReadActualSizeFile(out.File("b.kvi"), f, reason));
  EXPECT_EQ(RegistrationsToShown(f.registrations, 6, {300, 400}),
            (RegistrationList{MakeRegistration(10, 20, 110, 20, 30)}));

  // Cancelled before it starts: nothing is written, each photo says so.
  std::atomic<bool> cancel{true};
  request.targetFolder = out.File("none");
  for (const BatchItem& item : PublishFolder(request, ListPhotos(in.Folder()), &cancel)) {
    EXPECT_FALSE(item.done);
    EXPECT_FALSE(item.reason.empty());
  }
  EXPECT_TRUE(fs::is_empty(out.File("none")));
}

TEST_F(BatchTest, KvitoolBatchWritesOneLinePerPhotoAndFailsWhenAnyFailed) {
  Put(in.File("m.jpg"), EncodeJpeg(Photo(3.5, 12, 2, 600, 500), 92));
  Put(in.File("n.jpg"), EncodeJpeg(Photo(3.5, 12, 2, 600, 500), 92));
  std::ostringstream o, e;
  EXPECT_EQ(RunKvitool({"batch", in.Folder(), "--marker", "50", "-o", out.Folder()}, o, e), kToolOk)
      << e.str();
  EXPECT_NE(o.str().find("ok      " + in.File("m.jpg") + " -> " + out.File("m.kvi") + " (1 registration)"),
            std::string::npos)
      << o.str();
  EXPECT_NE(o.str().find("2 of 2 photos published"), std::string::npos) << o.str();
  // Existing files: refused as a whole unless --overwrite.
  o.str(""), e.str("");
  EXPECT_EQ(RunKvitool({"batch", in.Folder(), "--marker", "50", "-o", out.Folder()}, o, e), kToolRefused);
  EXPECT_NE(e.str().find("--overwrite"), std::string::npos) << e.str();
  // A photo without a marker: its line says why, the exit status is 1.
  Put(in.File("x.png"), test::EncodePng(Photo(0.01, 0, 0, 100, 80)));
  o.str(""), e.str("");
  EXPECT_EQ(RunKvitool({"batch", in.Folder(), "--marker", "50", "-o", out.Folder(), "--overwrite"}, o, e),
            kToolRefused);
  EXPECT_NE(o.str().find("failed  " + in.File("x.png") + ": ﾏｰｶｰが見つかりません"), std::string::npos)
      << o.str();
  EXPECT_NE(o.str().find("2 of 3 photos published, 1 failed"), std::string::npos) << o.str();

  // A project of a fixed rig: its registrations on every photo of its size.
  fs::remove(in.File("x.png"));
  WriteText(in.File("rig.kvp"), "[KOVASAND]\nVERSION1.0\n[COUNT]\n1\n[JPEG]\nm.jpg\n[DATA]\n"
                                "1\n2\n301\n2\n151\n2\n40\nEOF\n");
  o.str(""), e.str("");
  EXPECT_EQ(RunKvitool({"batch", in.Folder(), "--project", in.File("rig.kvp"), "-o", out.File("rig")}, o, e),
            kToolOk)
      << o.str() << e.str();
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(out.File("rig/n.kvi"), f, reason));
  EXPECT_EQ(f.registrations, (RegistrationList{MakeRegistration(1, 2, 301, 2, 40)}));
  // Usage errors.
  for (std::vector<std::string> bad :
       {std::vector<std::string>{"batch", in.Folder(), "-o", out.Folder()},
        {"batch", in.Folder(), "--marker", "50", "--project", "p.kvp", "-o", out.Folder()},
        {"batch", in.Folder(), "--marker", "5", "-o", out.Folder()},
        {"batch", "--marker", "50", "-o", out.Folder()}})
    EXPECT_EQ(RunKvitool(bad, o, e), kToolUsage) << bad.size();
}

TEST_F(BatchTest, KvitoolMakeTakesAnyPhotoAndRegistersByItsMarker) {
  const std::string heic = in.File("p.heic");
  Put(heic, test::EncodeHeic(Photo(3.2, 40, 4, 640, 480), {3, {}, false, 92}));
  std::ostringstream o, e;
  ASSERT_EQ(RunKvitool({"make", "--photo", heic, "--marker", "50", "-o", out.File("p.kvi")}, o, e), kToolOk)
      << e.str();
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(out.File("p.kvi"), f, reason));
  EXPECT_EQ(f.jpegName, "p.heic");
  ASSERT_EQ(f.registrations.size(), 1u);
  EXPECT_LT(std::abs(MmPerPixel(f.registrations[0]) / (50.0 / (8 * kModulePx * 3.2)) - 1), 0.003);
  // --jpeg is the same option; no marker is a refusal with the reason.
  Put(in.File("blank.jpg"), EncodeJpeg(Photo(0.01, 0, 0, 100, 80), 90));
  EXPECT_EQ(RunKvitool({"make", "--jpeg", in.File("blank.jpg"), "--marker", "50", "-o", out.File("b.kvi")}, o, e),
            kToolRefused);
  EXPECT_NE(e.str().find("ﾏｰｶｰが見つかりません"), std::string::npos) << e.str();
  EXPECT_FALSE(fs::exists(out.File("b.kvi")));
}

}  // namespace
}  // namespace kv::authoring
