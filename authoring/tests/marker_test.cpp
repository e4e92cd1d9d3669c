// Registration from printed markers, on photos made here: what is found,
// what a registration is made of, and when the tool refuses and why.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "authoring/model/marker_detect.h"
#include "authoring/model/marker_registration.h"
#include "authoring/tests/marker_photos.h"
#include "authoring/tests/support.h"
#include "foundation/core/image/jpeg_encode.h"
#include "foundation/core/image/tests/phone_photos.h"
#include "foundation/core/util/geometry.h"
#include "kvi/actual_size_file.h"

namespace kv::authoring {
namespace {

using namespace testing;

class MemoryProfile : public platform::Profile {
 public:
  std::string GetString(const std::string& s, const std::string& k, const std::string& f) override {
    const auto it = values.find(s + "/" + k);
    return it == values.end() ? f : it->second;
  }
  bool WriteString(const std::string& s, const std::string& k, const std::string& v) override {
    values[s + "/" + k] = v;
    return true;
  }
  int32_t GetInt(const std::string& s, const std::string& k, int32_t f) override {
    const auto it = values.find(s + "/" + k);
    return it == values.end() ? f : std::stoi(it->second);
  }
  bool WriteInt(const std::string& s, const std::string& k, int32_t v) override {
    return WriteString(s, k, std::to_string(v));
  }
  std::map<std::string, std::string> values;
};

// One marker of 12 px a cell (black square 96 px) on the sheet picture; in
// the photo at `scale`, so its square is 96 x scale pixels a side.
DibImage MarkerPhoto(double scale, double degrees, int id = 3, double tilt = 0,
                     int32_t w = 1100, int32_t h = 900) {
  const Grey sheet = MarkerPicture(id, 12, 30);
  const double half = sheet.width * scale / 2;
  const Projection p = tilt > 0 ? Projection::Tilted(scale, degrees, w / 2.0 - half, h / 2.0 - half,
                                                     tilt, sheet.height)
                                : Projection::Similarity(scale, degrees, w / 2.0, h / 2.0);
  // A similarity turns about the sheet's corner: move its centre to the photo's.
  Projection centred = p;
  if (tilt == 0) {
    double cx, cy;
    p.Apply(sheet.width / 2.0, sheet.height / 2.0, cx, cy);
    centred.h[2] += w / 2.0 - cx;
    centred.h[5] += h / 2.0 - cy;
  }
  return PhotographSheet(sheet, w, h, centred, {1, 2, 92, 7});
}

TEST(Markers, EachMarkerGivesOneRegistrationAlongTheSideNearestTheMean) {
  for (double degrees : {0.0, 12.5, 45.0, 131.0}) {
    SCOPED_TRACE(degrees);
    const DibImage photo = MarkerPhoto(3.5, degrees);  // a 336-pixel square
    MarkerDetector detector;
    const std::vector<DetectedMarker> found = detector.Detect(photo);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, 3);
    EXPECT_NEAR(found[0].MeanSide(), 336, 1.5);
    const MarkerOutcome out = RegistrationsFromMarkers(found, 50);
    ASSERT_TRUE(out.Ok()) << out.refusal;
    ASSERT_EQ(out.registrations.size(), 1u);
    const SizeRegistration& r = out.registrations[0];
    EXPECT_EQ(r.lengthMm, 50);
    // Whole pixels, within a pixel of the sub-pixel corners, and the side
    // chosen is the one nearest the mean.
    const double px = PointDistance(r.startX, r.startY, r.endX, r.endY);
    EXPECT_NEAR(px, 336, 2.0);
    int side = -1;
    for (int i = 0; i < 4; ++i)
      if (std::abs(found[0].x[i] - 0.5 - r.startX) <= 0.5 && std::abs(found[0].y[i] - 0.5 - r.startY) <= 0.5)
        side = i;
    ASSERT_GE(side, 0);
    for (int i = 0; i < 4; ++i)
      EXPECT_LE(std::abs(found[0].Side(side) - found[0].MeanSide()),
                std::abs(found[0].Side(i) - found[0].MeanSide()) + 1e-9);
    EXPECT_EQ(r.centerX, r.startX + (r.endX - r.startX) / 2);
  }
}

TEST(Markers, RefusesNoMarkerASmallOneAndOneSeenAtASlantSayingWhy) {
  MarkerDetector detector;
  // Nothing but the table.
  Grey blank;
  blank.width = blank.height = 10;
  blank.pixels.assign(100, 255);
  const MarkerOutcome none =
      RegistrationsFromMarkers(detector.Detect(PhotographSheet(blank, 400, 300, {}, {})), 50);
  EXPECT_FALSE(none.Ok());
  EXPECT_NE(none.refusal.find("ﾏｰｶｰが見つかりません"), std::string::npos);

  // 96 x 1.4 = 134 pixels a side: 67% of the distance is close enough.
  const MarkerOutcome small = RegistrationsFromMarkers(detector.Detect(MarkerPhoto(1.4, 20)), 50);
  EXPECT_FALSE(small.Ok());
  EXPECT_TRUE(small.registrations.empty());
  EXPECT_NE(small.refusal.find("小さすぎ"), std::string::npos) << small.refusal;
  EXPECT_NE(small.refusal.find("約 67%"), std::string::npos) << small.refusal;

  // The far side 6 % shorter: not straight on.
  const MarkerOutcome slanted =
      RegistrationsFromMarkers(detector.Detect(MarkerPhoto(4, 0, 3, 0.06)), 50);
  EXPECT_FALSE(slanted.Ok());
  EXPECT_NE(slanted.refusal.find("正面から撮られていません"), std::string::npos) << slanted.refusal;
  // 2 % is within what is accepted.
  const MarkerOutcome slight = RegistrationsFromMarkers(detector.Detect(MarkerPhoto(4, 0, 3, 0.02)), 50);
  EXPECT_TRUE(slight.Ok()) << slight.refusal;

  // Sizes the user may type.
  EXPECT_TRUE(CheckMarkerSize(kMinMarkerMm).empty());
  EXPECT_TRUE(CheckMarkerSize(kMaxMarkerMm).empty());
  EXPECT_FALSE(CheckMarkerSize(kMinMarkerMm - 1).empty());
  EXPECT_FALSE(CheckMarkerSize(kMaxMarkerMm + 1).empty());
  EXPECT_FALSE(RegistrationsFromMarkers({}, 0).Ok());
}

class MarkerDocumentTest : public ::testing::Test {
 protected:
  MarkerDocumentTest() { WriteProgramFiles(program); }
  std::unique_ptr<KovasandDoc> MakeDoc() {
    auto doc = std::make_unique<KovasandDoc>(platform::Services{&messages, nullptr, nullptr},
                                             program.Folder(), temp.Folder());
    EXPECT_TRUE(doc->OnNewDocument());
    return doc;
  }
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteText(work.File(name), std::string(bytes.begin(), bytes.end()));
    return work.File(name);
  }
  TempDir program, work, temp;
  RecordingMessages messages;
};

TEST_F(MarkerDocumentTest, TheCommandAddsAfterTheUsersOwnOnceAndCanBeUndone) {
  auto doc = MakeDoc();
  EXPECT_EQ(RegisterByMarkers(*doc, 50), 0);  // no photo: told
  EXPECT_NE(messages.shown.back().find("写真がありません"), std::string::npos);
  ASSERT_TRUE(doc->ImportJpeg(WriteFile("m.jpg", EncodeJpeg(MarkerPhoto(3, 30), 95))));
  ASSERT_TRUE(doc->AddRegistration(MakeRegistration(10, 10, 200, 10, 40)));
  EXPECT_EQ(RegisterByMarkers(*doc, 50), 1);
  ASSERT_EQ(doc->registrations.size(), 2u);
  EXPECT_EQ(doc->registrations[0].lengthMm, 40);  // the user's own stays first
  EXPECT_EQ(doc->registrations[1].lengthMm, 50);
  // Again: nothing new, and said so.
  EXPECT_EQ(RegisterByMarkers(*doc, 50), 0);
  EXPECT_EQ(doc->registrations.size(), 2u);
  EXPECT_TRUE(doc->Undo());
  EXPECT_EQ(doc->registrations.size(), 1u);
  // A photo without a usable marker is refused, nothing added.
  ASSERT_TRUE(doc->ImportJpeg(WriteFile("s.jpg", EncodeJpeg(MarkerPhoto(1.2, 0), 95))));
  const size_t told = messages.shown.size();
  EXPECT_EQ(RegisterByMarkers(*doc, 50), 0);
  EXPECT_EQ(messages.shown.size(), told + 1);
  EXPECT_TRUE(doc->registrations.empty());
}

TEST_F(MarkerDocumentTest, TheSizeIsRememberedAndAnOddOneFallsBackToTheDefault) {
  MemoryProfile profile;
  EXPECT_EQ(RememberedMarkerSize(&profile), kDefaultMarkerMm);
  RememberMarkerSize(&profile, 80);
  EXPECT_EQ(RememberedMarkerSize(&profile), 80);
  RememberMarkerSize(&profile, 5000);  // not a size: not kept
  EXPECT_EQ(RememberedMarkerSize(&profile), 80);
  profile.WriteInt(kMarkerSizeSection, kMarkerSizeKey, -3);
  EXPECT_EQ(RememberedMarkerSize(&profile), kDefaultMarkerMm);
  EXPECT_EQ(RememberedMarkerSize(nullptr), kDefaultMarkerMm);
}

TEST_F(MarkerDocumentTest, AHeicPhotoIsWorkedUprightAndPublishedAsTheSameJpegFromTheProject) {
  // A phone photo stored sideways (rotation box), marker in it.
  const DibImage upright = MarkerPhoto(2.5, 10, 5, 0, 700, 520);
  const std::string heic = WriteFile("IMG_0001.HEIC", test::EncodeHeic(upright, {6, {}, false, 90}));
  auto doc = MakeDoc();
  ASSERT_TRUE(doc->ImportJpeg(heic));
  EXPECT_EQ(doc->jpegPath, heic);
  EXPECT_EQ(doc->jpegName, "IMG_0001.HEIC");
  EXPECT_EQ(doc->image.width, 700);
  EXPECT_EQ(doc->image.height, 520);
  EXPECT_EQ(doc->PhotoOrientation(), 1);
  EXPECT_EQ(RegisterByMarkers(*doc, 50), 1);
  const std::string project = work.File("p.kvp");
  ASSERT_TRUE(doc->OnSaveDocument(project));
  EXPECT_NE(ReadText(project).find("IMG_0001.HEIC"), std::string::npos);
  ASSERT_TRUE(doc->WriteKvi(work.File("a.kvi")));

  // Opened again, the project re-encodes from the original: the same bytes.
  auto again = MakeDoc();
  ASSERT_TRUE(again->OnOpenDocument(project));
  ASSERT_EQ(again->LoadJpeg(again->jpegPath), 1);
  ASSERT_TRUE(again->WriteKvi(work.File("b.kvi")));
  EXPECT_EQ(ReadText(work.File("a.kvi")), ReadText(work.File("b.kvi")));
  ActualSizeFile f;
  std::string reason;
  ASSERT_TRUE(ReadActualSizeFile(work.File("a.kvi"), f, reason)) << reason;
  ASSERT_EQ(f.registrations.size(), 1u);
  EXPECT_NEAR(PointDistance(f.registrations[0].startX, f.registrations[0].startY,
                            f.registrations[0].endX, f.registrations[0].endY),
              240, 2.5);

  // A PNG comes in the same way; a file that is no photo is refused whole.
  ASSERT_TRUE(doc->ImportJpeg(WriteFile("scan.png", test::EncodePng(upright))));
  EXPECT_EQ(doc->image.width, 700);
  WriteText(work.File("broken.heic"), std::string(heic.size() / 2, 'x'));
  EXPECT_FALSE(doc->ImportJpeg(work.File("broken.heic")));
  EXPECT_EQ(doc->jpegName, "scan.png");
}

}  // namespace
}  // namespace kv::authoring
