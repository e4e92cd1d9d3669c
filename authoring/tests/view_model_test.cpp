#include "authoring/model/kovasand_view.h"

#include <gtest/gtest.h>

#include "authoring/tests/support.h"

namespace kv::authoring {
namespace {

using namespace testing;

class ViewModelTest : public ::testing::Test {
 protected:
  ViewModelTest() {
    WriteProgramFiles(program);
    EXPECT_TRUE(doc.OnNewDocument());
  }
  void Import(int32_t w, int32_t h) {
    ASSERT_TRUE(doc.ImportJpeg(WritePhoto(work, "p" + std::to_string(w) + "x" + std::to_string(h) + ".jpg", w, h)));
  }

  TempDir program, work, temp;
  RecordingMessages messages;
  KovasandDoc doc{platform::Services{&messages, nullptr, nullptr}, program.Folder(), temp.Folder()};
  RecordingHost host;
  KovasandView view{doc, host};
};

TEST(NavigatorMapping, ScalesAndCentresInTheSquare) {
  const NavigatorMapping wide = ComputeNavigatorMapping(480, 240);
  EXPECT_DOUBLE_EQ(wide.navScale, 2.0);
  EXPECT_EQ(wide.navOffsetX, 0);
  EXPECT_EQ(wide.navOffsetY, 60);
  const NavigatorMapping tall = ComputeNavigatorMapping(240, 480);
  EXPECT_DOUBLE_EQ(tall.navScale, 2.0);
  EXPECT_EQ(tall.navOffsetX, 60);
  EXPECT_EQ(tall.navOffsetY, 0);
  const NavigatorMapping square = ComputeNavigatorMapping(960, 960);
  EXPECT_DOUBLE_EQ(square.navScale, 4.0);
  EXPECT_EQ(square.navOffsetX, 0);
  EXPECT_EQ(square.navOffsetY, 0);
  EXPECT_EQ(wide.PhotoToThumb(479, 239), (IntPoint{239, 179}));
  // Empty photos and absurd points stay finite.
  EXPECT_DOUBLE_EQ(ComputeNavigatorMapping(0, 10).navScale, 1.0);
  const NavigatorMapping tiny = ComputeNavigatorMapping(1, 100000);
  EXPECT_GT(tiny.PhotoToThumb(2147483647, -2147483647 - 1).x, 0);
}

TEST(ListRow, FormatsPointsWithoutBlanks) {
  const ListRow row = MakeListRow(MakeRegistration(120, 340, 880, -352, 250), 2);
  EXPECT_EQ(row.number, "3");
  EXPECT_EQ(row.start, "(120,340)");
  EXPECT_EQ(row.end, "(880,-352)");
  EXPECT_EQ(row.length, "250");
  EXPECT_EQ(row.center, "(500,-6)");
}

TEST_F(ViewModelTest, SmallPhotosAreCentredAndLargeOnesScroll) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(50, 40);
  EXPECT_EQ(view.DisplayWidth(), 200);
  EXPECT_EQ(view.DisplayOffsetX(), 75);
  EXPECT_EQ(view.DisplayOffsetY(), 30);
  EXPECT_EQ(view.MaxScrollX(), 0);
  EXPECT_EQ(view.ClientToPhoto(75, 30), (IntPoint{0, 0}));
  EXPECT_EQ(view.PhotoToClient(49, 39), (IntPoint{124, 69}));

  Import(500, 300);
  EXPECT_EQ(view.DisplayOffsetX(), 0);
  EXPECT_EQ(view.MaxScrollX(), 300);
  EXPECT_EQ(view.MaxScrollY(), 200);
  view.SetScroll(1000, -5);
  EXPECT_EQ(view.ScrollX(), 300);
  EXPECT_EQ(view.ScrollY(), 0);
  EXPECT_EQ(view.ClientToPhoto(10, 10), (IntPoint{310, 10}));
  // A larger window clamps the scroll position.
  view.SetClientSize(450, 300);
  EXPECT_EQ(view.ScrollX(), 50);
  EXPECT_EQ(view.PageStepX(), 250);
  EXPECT_EQ(view.LineStepX(), 10);
}

TEST_F(ViewModelTest, TwoClicksAndALengthMakeTheSevenValues) {
  view.SetClientSize(100, 100);
  view.OnInitialUpdate();
  Import(60, 40);  // offsets 20, 30
  doc.BeginRegistration();
  host.answer = 250;
  view.OnLeftButtonDown(20 + 15, 30 + 10);
  EXPECT_EQ(doc.drawMode, kDrawEnd);
  EXPECT_EQ(view.PendingRegistration().startX, 15);
  view.OnLeftButtonDown(20 + 10, 30 + 10);
  EXPECT_EQ(doc.drawMode, kDrawIdle);
  ASSERT_EQ(host.asked, std::vector<int32_t>{5});
  ASSERT_EQ(doc.registrations.size(), 1u);
  const SizeRegistration r = doc.registrations[0];
  EXPECT_EQ(r, (SizeRegistration{15, 10, 10, 10, 250, 13, 10}));

  // (0,0) to (3,4) shows 5 dot; (0,0) to (1,1) shows 1.
  for (auto [x, y, want] : {std::tuple{3, 4, 5}, std::tuple{1, 1, 1}}) {
    doc.BeginRegistration();
    view.OnLeftButtonDown(20, 30);
    view.OnLeftButtonDown(20 + x, 30 + y);
    EXPECT_EQ(host.asked.back(), want);
  }
  EXPECT_EQ(doc.registrations.size(), 3u);

  // Cancelled: nothing added; the next click does nothing.
  host.answer = std::nullopt;
  doc.BeginRegistration();
  view.OnLeftButtonDown(25, 35);
  view.OnLeftButtonDown(45, 35);
  EXPECT_EQ(doc.registrations.size(), 3u);
  view.OnLeftButtonDown(50, 50);
  EXPECT_EQ(doc.drawMode, kDrawIdle);
}

TEST_F(ViewModelTest, BadClicksKeepTheRegistrationPending) {
  view.SetClientSize(100, 100);
  view.OnInitialUpdate();
  Import(60, 40);
  doc.BeginRegistration();
  view.OnLeftButtonDown(5, 5);  // grey area
  EXPECT_EQ(doc.drawMode, kDrawStart);
  view.OnLeftButtonDown(30, 40);
  view.OnLeftButtonDown(30, 40);  // the start point again
  EXPECT_EQ(doc.drawMode, kDrawEnd);
  view.OnLeftButtonDown(99, 99);  // outside
  EXPECT_EQ(doc.drawMode, kDrawEnd);
  EXPECT_TRUE(host.asked.empty());
  // A right click abandons it.
  view.OnRightButtonDown();
  EXPECT_EQ(doc.drawMode, kDrawIdle);
  view.OnLeftButtonDown(40, 40);
  EXPECT_TRUE(doc.registrations.empty());
}

TEST_F(ViewModelTest, AMissingPhotoIsToldAndNothingOfTheOldOneSurvives) {
  view.SetClientSize(100, 100);
  view.OnInitialUpdate();
  Import(300, 200);
  ASSERT_TRUE(doc.AddRegistration(MakeRegistration(1, 1, 50, 50, 20)));
  ASSERT_TRUE(doc.OnSaveDocument(work.File("p.kvp")));
  const std::string photo = doc.jpegPath;
  std::filesystem::remove(photo);
  ASSERT_TRUE(doc.OnOpenDocument(work.File("p.kvp")));
  view.OnInitialUpdate();
  ASSERT_FALSE(messages.shown.empty());
  EXPECT_EQ(messages.shown.back(), photo + text::kPhotoNotFound);
  EXPECT_FALSE(doc.HasPhoto());
  EXPECT_EQ(doc.jpegPath, photo);  // saving again keeps the reference
  EXPECT_EQ(doc.registrations.size(), 1u);
  EXPECT_EQ(view.DisplayWidth(), 100);
  EXPECT_EQ(view.MaxScrollX(), 0);
  EXPECT_FALSE(view.NavigatorFrame().drawLeft);
  std::string reason;
  EXPECT_FALSE(doc.CheckPublishable());
}

TEST_F(ViewModelTest, TheNavigatorFramesTheVisiblePartAndScrollsTheView) {
  view.SetClientSize(200, 100);
  view.OnInitialUpdate();
  Import(960, 480);  // navScale 4, offset y 60
  EXPECT_DOUBLE_EQ(view.Navigator().navScale, 4.0);
  VisibleFrame f = view.NavigatorFrame();
  EXPECT_FALSE(f.drawLeft);
  EXPECT_FALSE(f.drawTop);  // the photo's own top edge
  EXPECT_TRUE(f.drawRight);
  EXPECT_TRUE(f.drawBottom);
  EXPECT_EQ(f.right, 50);
  EXPECT_EQ(f.bottom, 85);
  view.NavigatorPress(120, 120);  // photo (480, 240) to the middle
  EXPECT_EQ(view.ScrollX(), 380);
  EXPECT_EQ(view.ScrollY(), 190);
  f = view.NavigatorFrame();
  EXPECT_TRUE(f.drawLeft);
  EXPECT_EQ(f.left, 95);
  view.NavigatorPress(-1000, 1000);
  EXPECT_EQ(view.ScrollX(), 0);
  EXPECT_EQ(view.ScrollY(), 380);
  // The whole photo visible: no edge inside the square.
  view.SetClientSize(2000, 1000);
  f = view.NavigatorFrame();
  EXPECT_FALSE(f.drawLeft || f.drawTop || f.drawRight || f.drawBottom);
}

}  // namespace
}  // namespace kv::authoring
